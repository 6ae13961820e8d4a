#include "projects/project.h"

#include <signal.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "modules/modulelist.h"
#include "projectfiles/msbnodes.h"
#include "projectfiles/platforms.h"
#include "projects/projectgroup.h"
#include "projects/resstrings.h"
#include "shared/dialogs.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

namespace {

// Items of the project file that are no files of the project.
bool IsFileItemType(std::string_view Type) {
  for (const char* T : {"BuildConfiguration", "Reference", "ProjectReference", "PackageReference", "VirtualFolder"})
    if (SameText(Type, T)) return false;
  return true;
}

std::function<bool(TUpgradeSettings&)>& UpgradeDialog() {
  static std::function<bool(TUpgradeSettings&)> D;
  return D;
}

std::string GlobalProperty(IMSProjectFile& Doc, const std::string& Name) {
  std::string Value, Condition;
  Doc.GetGlobalProperty(Name, Value, Condition);
  return Value;
}

msb::TProjectNode* RootOf(IMSProjectFile& Doc) {
  auto* Access = dynamic_cast<IProjectNodeAccess*>(&Doc);
  return Access ? Access->GetProjectNode() : nullptr;
}

}  // namespace

TEvent<TEvProjectModule>& EvProjectClosing() {
  static TEvent<TEvProjectModule> E(TEventOrder::LastToFirst);
  return E;
}

TEvent<TEvProjectModule>& EvProjectMessage() {
  static TEvent<TEvProjectModule> E;
  return E;
}

TUpgradeSettings ReadUpgradeSettings() {
  TUpgradeSettings S;
  S.BackupType = static_cast<int>(SettingsStore().ReadInteger("ProjectUpgrade", "BackupType", btCopy));
  if (S.BackupType < btCopy || S.BackupType > btNone) S.BackupType = btCopy;
  S.BackupSuffix = SettingsStore().ReadString("ProjectUpgrade", "BackupSuffix", ".bak");
  if (S.BackupSuffix.empty()) S.BackupSuffix = ".bak";
  S.ShowDialog = SettingsStore().ReadBool("ProjectUpgrade", "ShowDialog", false);
  return S;
}

void SetUpgradeDialog(std::function<bool(TUpgradeSettings&)> Dialog) { UpgradeDialog() = std::move(Dialog); }

std::string SanitizedTargetName(const std::string& FileName) {
  std::string Name = ChangeFileExt(ExtractFileName(FileName), "");
  // What separates target names (";", ",", blanks), names a target's kind (":"), or reads as
  // a property, an item list or a wildcard never stands in one; letters of other scripts do.
  for (char& C : Name) {
    const unsigned char U = static_cast<unsigned char>(C);
    if (U < 0x80 && !std::isalnum(U) && C != '_' && C != '-') C = '_';
  }
  return Name.empty() ? "_" : Name;
}

std::string ItemTypeForFile(const std::string& FileName, const std::string& Personality) {
  const std::string Ext = LowerCase(ExtractFileExt(FileName));
  if (Ext == ".pas" || Ext == ".pp") return "UnitReference";
  if (Ext == ".c" || Ext == ".cpp" || Ext == ".cc" || Ext == ".cxx")
    return SameText(Personality, "Vellum.Personality") ? "None" : "KestrelCompile";
  if (Ext == ".vfm") return "FormResources";
  if (Ext == ".rc") return "ResourceCompile";
  return "None";
}

// -- Construction ------------------------------------------------------------------------------------

TBaseProject::TBaseProject(const std::string& FileName) : TDocModule(ExpandFileName(FileName)) {
  SetFileSystem(res::SFileFilterUTF8);
  LoadDocuments();
}

TBaseProject::~TBaseProject() {
  if (FContainer) FContainer->ClearChildList();
  ProjectSortOrderManager().Forget(this);
}

void TBaseProject::LoadDocuments() {
  const std::string Name = GetFileName();
  // The time noted is the one before the read, as the document notes its version: a change
  // made while or just after the file is read shows at the next check of its date.
  const int64_t Time = FileSystem().Stat(Name).ModifiedTimeNs;
  FDocument = MSBuildOpenProject(Name);
  FFileTime = Time;
  bool NeedsGuid = false;
  try {
    FGuid = FDocument->GetProjectGuid();
    NeedsGuid = FGuid.IsEmpty();
  } catch (const EConvertError&) {
    NeedsGuid = true;  // text that is no GUID: the project gets a proper one
  }
  GuidChanged();
  if (NeedsGuid) GenerateNewGuid();
  FConfigs = std::make_unique<TBuildConfigurations>(this);
  FConfigs->Load(*FDocument);
  // The local document: per-user data. One that cannot be read is left alone on disk.
  FLocalReadable = true;
  FLocal.reset();
  if (FileSystem().FileExists(LocalFileName())) {
    try {
      FLocal = MSBuildOpenProject(LocalFileName());
    } catch (const Exception&) {
      FLocalReadable = false;
    }
  }
  if (!FLocal)
    FLocal = MSBuildCreateProjectFromXml(LocalFileName(), "<Project xmlns=\"" + std::string(msb::MSBuildNamespace) +
                                                              "\"></Project>");
  ReadEntries();
}

void TBaseProject::AfterConstruction() {
  FCleanupExtensions.push_back(".identcache");
  TDocModule::AfterConstruction();
  int Major = 0, Minor = 0;
  if (!GlobalProperty(*FDocument, "ProjectVersion").empty()) {
    ReadProjectVersion(Major, Minor);
    if (Major < CurrentProjectVersionMajor) UpgradeProject();
  }
  ProjectSortOrderManager().Get(this);  // the storage listeners read their sections
}

void TBaseProject::BeforeDestruction() {
  TEvProjectModule Args(this, GetFileName());
  EvProjectClosing().Send(Args);
  TDocModule::BeforeDestruction();
}

// -- Identity ------------------------------------------------------------------------------------------

std::string TBaseProject::GetPersonality() const { return FDocument->GetPersonality(); }
std::string TBaseProject::GetProjectType() const { return FDocument->GetProjectType(); }
std::string TBaseProject::GetApplicationType() const { return GlobalProperty(*FDocument, "AppType"); }
std::string TBaseProject::GetFrameworkType() const { return GlobalProperty(*FDocument, "FrameworkType"); }

void TBaseProject::SetFrameworkType(const std::string& Value) {
  FDocument->SetGlobalProperty("FrameworkType", Value, false, {});
  Modified();
}

std::string TBaseProject::GetSaveFilter() const {
  if (SameText(ExtractFileExt(GetFileName()), ".nxsproj")) return res::SLegacyProjectFilter;
  return TDocModule::GetSaveFilter();
}

// -- GUID and version ------------------------------------------------------------------------------------

void TBaseProject::GenerateNewGuid() {
  FGuid = CreateGUID();
  FDocument->SetProjectGuid(FGuid);
  FIsModified = true;
  GuidChanged();
}

void TBaseProject::GuidChanged() {
  for (int I = 0; I < GetOwnerCount(); ++I)
    if (auto* G = dynamic_cast<TProjectGroup*>(GetOwner(I))) G->ProjectGuidChanged();
}

void TBaseProject::ReadProjectVersion(int& Major, int& Minor) const {
  const std::string Text = GlobalProperty(*FDocument, "ProjectVersion");
  auto Num = [](std::string_view S) {
    auto V = TryStrToInt(S);
    return V && *V >= 0 && *V <= INT_MAX ? static_cast<int>(*V) : 0;
  };
  size_t Dot = Text.find('.');
  Major = Num(std::string_view(Text).substr(0, Dot));
  Minor = Dot == std::string::npos ? 0 : Num(std::string_view(Text).substr(Dot + 1));
}

void TBaseProject::WriteProjectVersion(int Major, int Minor) {
  FDocument->SetGlobalProperty("ProjectVersion", IntToStr(Major) + "." + IntToStr(Minor), false, {});
  Modified();
}

void TBaseProject::BackupProject(const TUpgradeSettings& Settings) {
  const std::string Name = GetFileName();
  const std::string Backup = Name + Settings.BackupSuffix;
  std::string Message;
  switch (Settings.BackupType) {
    case btCopy:
      FileSystem().CopyFile(Name, Backup);
      Message = Format(res::SConvertedBackup, Name, Backup);
      break;
    case btRename:
      // The old file goes to the backup name; the converted project takes the file's name.
      FileSystem().Rename(Name, Backup);
      Message = Format(res::SConvertedRenamed, Name, Backup, Backup);
      break;
    default:
      Message = Format(res::SConvertedInPlace, Name);
      break;
  }
  TEvProjectModule Args(this, Message);
  EvProjectMessage().Send(Args);
}

void TBaseProject::UpgradeProject() {
  TUpgradeSettings Settings = ReadUpgradeSettings();
  if (Settings.ShowDialog && UpgradeDialog() && !UpgradeDialog()(Settings)) throw EAbort();
  const std::string Name = GetFileName();
  const std::string Original = FileSystem().ReadFile(Name);
  BackupProject(Settings);
  try {
    WriteProjectVersion(CurrentProjectVersionMajor, CurrentProjectVersionMinor);
    FConfigs->Save(*FDocument);
    FDocument->SaveToFile(Name);
  } catch (...) {
    // A conversion that could not be written leaves the old file where it was.
    if (!FileSystem().FileExists(Name)) WriteFileAtomic(Name, Original);
    throw;
  }
  FIsModified = false;
  FFileTime = FileSystem().Stat(Name).ModifiedTimeNs;
}

// -- Files ------------------------------------------------------------------------------------------------

std::vector<TProjectFileItem> ReadProjectFileItems(IMSProjectFile& Doc, const std::string& ProjectFile) {
  std::vector<TProjectFileItem> Items;
  msb::TProjectNode* Root = RootOf(Doc);
  if (!Root) return Items;
  std::unordered_set<std::string> Names;
  const std::string Dir = ExtractFilePath(ProjectFile);
  const std::string MainSource = GlobalProperty(Doc, "MainSource");
  for (msb::TItemGroup* G : Root->GetItemGroups()) {
    if (!G->GetCondition().empty()) continue;
    for (msb::TItem* I : G->GetItems()) {
      if (!IsFileItemType(I->NameView())) continue;
      std::string Include = ReplaceAllText(I->Include(), "$(MainSource)", MainSource);
      if (Include.empty() || Include.find("$(") != std::string::npos) continue;
      Include = MSBuildUnescape(Include);
      TProjectFileItem E;
      E.FileName = ExpandFileName(ToDiskPath(Include), Dir);
      if (!Names.insert(E.FileName).second) continue;
      E.ItemType = I->GetName();
      for (int M = 0; M < I->Count(); ++M) {
        TNode* Meta = I->GetNode(M);
        if (SameText(Meta->NameView(), "VirtualFolder")) E.VirtualFolder = Meta->GetValue();
        else if (SameText(Meta->NameView(), "ContainerId")) E.ContainerId = Meta->GetValue();
        else if (SameText(Meta->NameView(), "LocalCommand")) E.LocalCommand = Meta->GetValue();
      }
      Items.push_back(std::move(E));
    }
  }
  return Items;
}

bool FindProjectFileEntry(const std::vector<TProjectFileItem>& Items, const std::string& FileName,
                          TProjectFileEntry& Entry) {
  const std::string Name = ExpandFileName(FileName);
  for (const auto& E : Items)
    if (SameFileName(E.FileName, Name)) {
      Entry.FileName = E.FileName;
      Entry.LocalCommand = E.LocalCommand;
      return true;
    }
  return false;
}

std::string ProjectOutputFileName(const std::string& ProjectFile, TBuildConfigurations& Configs) {
  const std::string Platform = Configs.GetActivePlatform();
  const std::string Dir = Configs.GetActiveConfiguration().GetPlatformValue("OutputDir", Platform);
  std::string Name = ChangeFileExt(ExtractFileName(ProjectFile), "");
  if (auto P = PlatformManager().GetPlatform(Platform)) Name += P->GetFileExtension(ftExecutable);
  return ExpandFileName(ToDiskPath(IncludeTrailingPathDelimiter(Dir.empty() ? "." : Dir)) + Name,
                        ExtractFilePath(ProjectFile));
}

void TBaseProject::ReadEntries() {
  FEntries = ReadProjectFileItems(*FDocument, GetFileName());
  FEntryNames.clear();
  FEntryHashes.clear();
  for (const auto& E : FEntries) {
    FEntryNames.insert(E.FileName);
    FEntryHashes.insert(FileNameHash(E.FileName));
  }
  DeclareHeldFiles({FEntryHashes.begin(), FEntryHashes.end()});
}

std::vector<TVirtualFolder> TBaseProject::GetVirtualFolders() {
  std::vector<TVirtualFolder> Folders;
  msb::TProjectNode* Root = RootOf(*FDocument);
  if (!Root) return Folders;
  for (msb::TItemGroup* G : Root->GetItemGroups())
    for (msb::TItem* I : G->GetItems())
      if (SameText(I->NameView(), "VirtualFolder")) {
        TNode* Name = I->FindFirstChild("Name");
        Folders.push_back({I->Include(), Name ? Name->GetValue() : I->Include()});
      }
  return Folders;
}

std::vector<std::string> TBaseProject::GetProjectFileList() const {
  std::vector<std::string> L{GetFileName()};
  for (const auto& E : FEntries) L.push_back(E.FileName);
  return L;
}

bool TBaseProject::FileInProject(const std::string& FileName) const {
  // The entries' names are expanded, with "/" between their parts.
  if (FileName.find('\\') == std::string::npos) return FEntryNames.count(FileName) != 0;
  std::string Name = FileName;
  std::replace(Name.begin(), Name.end(), '\\', '/');
  return FEntryNames.count(Name) != 0;
}

bool TBaseProject::FindFileEntry(const std::string& FileName, TProjectFileEntry& Entry) {
  return FindProjectFileEntry(FEntries, FileName, Entry);
}

void TBaseProject::RenameModuleAsTyped(const std::string& OldName, const std::string& NewName) {
  const std::string Old = ExpandFileName(OldName);
  const bool HasDir = NewName.find_first_of("/\\") != std::string::npos;
  RenameModule(Old, HasDir ? ExpandFileName(NewName) : ExtractFilePath(Old) + NewName);
}

std::string TBaseProject::GetOutputFileName() { return ProjectOutputFileName(GetFileName(), *FConfigs); }

msb::TItem* TBaseProject::FindItem(const std::string& FileName) const {
  msb::TProjectNode* Root = RootOf(*FDocument);
  if (!Root) return nullptr;
  const std::string Dir = ExtractFilePath(GetFileName());
  const std::string MainSource = GlobalProperty(*FDocument, "MainSource");
  for (msb::TItemGroup* G : Root->GetItemGroups()) {
    if (!G->GetCondition().empty()) continue;
    for (msb::TItem* I : G->GetItems()) {
      if (!IsFileItemType(I->NameView())) continue;
      const std::string Include = MSBuildUnescape(ReplaceAllText(I->Include(), "$(MainSource)", MainSource));
      if (SameFileName(ExpandFileName(ToDiskPath(Include), Dir), FileName)) return I;
    }
  }
  return nullptr;
}

std::string TBaseProject::RelativeInclude(const std::string& FileName) const {
  return MSBuildEscape(ToProjectPath(ExtractRelativePath(ExtractFilePath(GetFileName()), FileName)));
}

void TBaseProject::AddFile(const std::string& FileName, const std::string& Folder) {
  const std::string Name = ExpandFileName(FileName);
  if (FileInProject(Name)) throw Exception(Format(res::SAlreadyInProject, Name, GetModuleName()));
  if (!FileSystem().FileExists(Name)) throw Exception(Format(res::SNoSuchSource, Name));
  std::string FolderId;
  if (!Folder.empty()) {
    for (const auto& V : GetVirtualFolders())
      if (V.Name == Folder) FolderId = V.Id;
    if (FolderId.empty()) {
      FolderId = GUIDToString(CreateGUID());
      FDocument->AddItem("VirtualFolder", FolderId, {});
      FDocument->AddItemMetadata("Name", Folder);
      FDocument->EndItem();
    }
  }
  FDocument->AddItem(ItemTypeForFile(Name, GetPersonality()), RelativeInclude(Name), {});
  if (!FolderId.empty()) FDocument->AddItemMetadata("VirtualFolder", FolderId);
  FDocument->EndItem();
  ReadEntries();
  if (FContainer && FContainer->Filled()) FContainer->ReconcileChildren();
  Modified();
  TEvModuleAdded Args(this, Name);
  OnModuleAdded.Send(Args);
}

void TBaseProject::RemoveFile(const std::string& FileName) {
  const std::string Name = ExpandFileName(FileName);
  msb::TItem* Item = FindItem(Name);
  if (!Item) throw Exception(Format(res::SNotInProject, Name, GetModuleName()));
  // A hand-written file may name the file more than once ("src\a.pas" and "src/a.pas"): each
  // reference goes, or the file would stay in the project.
  for (; Item; Item = FindItem(Name)) Item->GetParent()->RemoveNode(Item);
  ReadEntries();
  if (FContainer && FContainer->Filled()) FContainer->RemoveProjectItem(Name);
  FConfigs->RemoveLocalOverrides(Name);
  Modified();
  TEvModuleRemoved Args(this, Name);
  OnModuleRemoved.Send(Args);
}

void TBaseProject::RenameModule(const std::string& OldName, const std::string& NewName) {
  const std::string Old = ExpandFileName(OldName);
  const std::string New = ExpandFileName(NewName);
  if (Old == New) return;
  if (!FindItem(Old)) throw Exception(Format(res::SNotInProject, Old, GetModuleName()));
  if (!FileSystem().FileExists(Old)) throw Exception(Format(res::SNoSuchSource, Old));

  FTransactions.push_back({TFileTransaction::ftRename, Old, New, std::time(nullptr)});
  TEvTransactionListChanged Changed(this, Old, New);
  OnTransactionListChanged.Send(Changed);

  // Every move on disk is heard, so that a failure can put each file back.
  std::vector<std::pair<std::string, std::string>> Moves;
  const int Listener = 0;
  EvFileRenamed().Add(&Listener, [&](TEvFileRenamed& A) { Moves.emplace_back(A.OldFileName, A.FileName); });
  TDocModule* Module = FindDocModule(Old);
  bool OpenedHere = false;
  std::string ModuleOld;
  std::vector<std::string> MadeFolders;  // deepest first
  try {
    // A new name in a folder that does not exist yet makes the folder.
    for (std::string Dir = ExtractFileDir(New); !Dir.empty() && !FileSystem().Stat(Dir).Exists;
         Dir = ExtractFileDir(Dir)) {
      MadeFolders.push_back(Dir);
      if (ExtractFileDir(Dir) == Dir) break;
    }
    if (!MadeFolders.empty()) FileSystem().ForceDirectories(MadeFolders.front());
    if (!Module) {
      Module = CallDefaultOpenProc(Old, false, this);
      OpenedHere = Module != nullptr;
    }
    if (!Module) throw Exception(Format(res::SNoSuchSource, Old));
    ModuleOld = Module->GetFileName();
    if (!Module->RenameModule(New)) throw EAbort();
    EvFileRenamed().Remove(&Listener);
    // The reference of the file and of each companion that moved with it, and the entries
    // whose parent was the old file.
    if (Moves.empty()) Moves.emplace_back(Old, Module->GetFileName());
    const std::string Dir = ExtractFilePath(GetFileName());
    for (const auto& [From, To] : Moves) {
      if (msb::TItem* Moved = FindItem(From)) Moved->SetInclude(RelativeInclude(To));
      for (msb::TItemGroup* G : RootOf(*FDocument)->GetItemGroups())
        for (msb::TItem* I : G->GetItems())
          if (TNode* Dep = I->FindFirstChild("DependentOn");
              Dep && SameFileName(ExpandFileName(ToDiskPath(MSBuildUnescape(Dep->GetValue())), Dir), From))
            Dep->SetValue(RelativeInclude(To));
    }
  } catch (...) {
    EvFileRenamed().Remove(&Listener);
    for (auto It = Moves.rbegin(); It != Moves.rend(); ++It)
      if (FileSystem().FileExists(It->second) && !FileSystem().FileExists(It->first))
        FileSystem().Rename(It->second, It->first);
    if (Module && ModuleList().Contains(Module) && !ModuleOld.empty() && Module->GetFileName() != ModuleOld) {
      Module->DoRename(ModuleOld);
      Module->UnModifySource();
    }
    if (OpenedHere && Module && ModuleList().Contains(Module)) Module->Close(false);
    for (const auto& Dir : MadeFolders) {
      std::error_code Ignored;  // a folder something else was put into stays
      if (FileSystem().DirectoryExists(Dir)) std::filesystem::remove(Dir, Ignored);
    }
    FTransactions.pop_back();
    TEvTransactionListChanged Back(this, New, Old);
    OnTransactionListChanged.Send(Back);
    throw;
  }
  // The options a configuration keeps for one file stay with it under its new name.
  for (const auto& [From, To] : Moves) FConfigs->ProjectModuleRenamed(From, To);
  ReadEntries();
  if (FContainer && FContainer->Filled())
    for (const auto& [From, To] : Moves) FContainer->RenameProjectItem(From, To);
  Modified();
  for (const auto& [From, To] : Moves) {
    TEvModuleRenamed Args(this, From, To);
    OnModuleRenamed.Send(Args);
  }
}

// -- Tree and storage -------------------------------------------------------------------------------------

TStdProjectContainer& TBaseProject::ProjectContainer() {
  if (!FContainer) {
    PContainer Node = GetProjectContainer(this);
    FContainer = std::dynamic_pointer_cast<TStdProjectContainer>(Node);
    if (!FContainer) FContainer = std::make_shared<TStdProjectContainer>(this);
  }
  return *FContainer;
}

TNode* TBaseProject::GetStorageSection(const std::string& Name, bool Create) {
  msb::TProjectNode* Root = RootOf(*FDocument);
  if (!Root) return nullptr;
  if (!Create) {
    for (TNode* C : Root->FindChildren("ProjectExtensions"))
      if (TNode* S = C->FindFirstChild(Name)) return S;
    return nullptr;
  }
  TNode* Ext = Root->GetProjectExtensions();
  TNode* S = Ext->FindFirstChild(Name);
  return S ? S : Ext->CreateChildNode(Name);
}

void TBaseProject::NotifyStorageSaving() {
  // The sort order writes its section when its order is its own (auto sort off).
  TProjectSortOrder& Order = ProjectSortOrderManager().Get(this);
  if (!Order.GetAutoSort() && FContainer && FContainer->Filled()) Order.Store(FContainer.get());
}

// -- Processes and closing -------------------------------------------------------------------------------

bool TBaseProject::IsProcessProject() const {
  return std::any_of(FProcessIds.begin(), FProcessIds.end(), [](int Pid) { return Pid > 0 && ::kill(Pid, 0) == 0; });
}

std::vector<TDocModule*> TBaseProject::GetDependentModules() {
  std::vector<TDocModule*> L;
  for (TDocModule* M : ModuleList().Snapshot())
    if (M != this && M->IsOwnedBy(this) && M->GetOwnerCount() == 1) L.push_back(M);
  return L;
}

bool TBaseProject::HideOrClose() {
  if (IsProcessProject()) throw Exception(Format(res::SCannotCloseRunning, GetModuleName()));
  for (TDocModule* M : GetDependentModules())
    if (ModuleList().Contains(M) && !M->Close(false)) return false;
  return Close(true);
}

bool TBaseProject::CheckFileDate() {
  TFileInfo I = FileSystem().Stat(GetFileName());
  return (I.Exists && I.ModifiedTimeNs != FFileTime) || TDocModule::CheckFileDate();
}

void TBaseProject::ReloadFile() {
  LoadDocuments();
  FIsModified = false;
  ProjectSortOrderManager().Forget(this);
  ProjectSortOrderManager().Get(this);
  if (FContainer && FContainer->Filled()) FContainer->ReconcileChildren();
  TDocModule::ReloadFile();
}

// -- Saving --------------------------------------------------------------------------------------------------

void TBaseProject::SaveFile() {
  NotifyStorageSaving();
  FConfigs->Save(*FDocument);
  FDocument->SaveToFile(GetFileName());
  FFileTime = FileSystem().Stat(GetFileName()).ModifiedTimeNs;
}

void TBaseProject::SaveLocalFile() {
  if (!FLocalReadable) return;  // never over a file we could not read
  FLocal->SaveToFile(LocalFileName());
}

bool TCustomProject::Save(bool ChangeName, bool ForceSave) {
  if (!AllowSave()) return true;
  bool Write = true;
  if (!ForceSave && GetModified()) {
    const int Answer = Questions().MessageDlg(Format(res::SSaveProjectChanges, GetModuleName()),
                                              TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, mrCancel);
    if (Answer == mrNo) Write = false;
    else if (Answer != mrYes) return false;
  }
  if (Write && (ForceSave || GetModified() || ChangeName)) {
    if (!TDocModule::Save(ChangeName, true)) return false;
    TEvProjectSaved Args(this, GetFileName());
    OnProjectSaved.Send(Args);
  }
  // Per-user data is kept even when the project's own changes are declined.
  SaveLocalFile();
  return true;
}

// -- The face ------------------------------------------------------------------------------------------------

std::string TCustomCodeIProject::GetCurrentConfiguration() {
  return GetConfigurations()->GetActiveConfiguration().Name();
}
void TCustomCodeIProject::SetCurrentConfiguration(const std::string& Name) {
  GetConfigurations()->SetActiveConfiguration(Name);
  Modified();
}
std::string TCustomCodeIProject::GetCurrentPlatform() { return GetConfigurations()->GetActivePlatform(); }
void TCustomCodeIProject::SetCurrentPlatform(const std::string& Name) {
  GetConfigurations()->SetActivePlatform(Name);
  Modified();
}
std::vector<std::string> TCustomCodeIProject::SupportedPlatforms() {
  return GetConfigurations()->GetSupportedPlatforms();
}
std::string TCustomCodeIProject::GetTargetName() const { return SanitizedTargetName(GetFileName()); }

// -- Opening ----------------------------------------------------------------------------------------------------

bool TProjectOpenHandler::CanOpen(int /*FilterID*/, const std::string& FileName) {
  const std::string Ext = ExtractFileExt(FileName);
  return Ext == ".vproj" || Ext == ".kzproj";
}

void TProjectOpenHandler::GetFilters(std::vector<TFilterItem>& List, bool /*ProjectOnly*/) {
  List.push_back({"Project (*.vproj;*.kzproj)|*.vproj;*.kzproj", this, 0, true});
}

TDocModule* TProjectOpenHandler::DoFileOpen(int /*FilterID*/, const std::string& FileName, bool /*Show*/,
                                            TDocModule* AOwnerModule) {
  const std::string Name = ExpandFileName(FileName);
  TDocModule* M = FindDocModule(Name);
  if (!M) M = TDocModule::Create<TCustomProject>(Name);
  if (AOwnerModule && AOwnerModule != M && !M->IsOwnedBy(AOwnerModule)) M->AddOwner(AOwnerModule);
  return M;
}

}  // namespace nxs
