// Document modules: construction and destruction notices, saving with its questions,
// renaming, modification, the disk-change test, closing, dormancy and dependency walks, and
// the plug-in face that combines the answers of module handlers.
#include "modules/docmodule.h"

#include <algorithm>

#include "modules/closedfiles.h"
#include "modules/openhandlers.h"
#include "modules/resstrings.h"
#include "shared/dialogs.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

void ModuleAbort() { throw EModuleAbort(); }

// -- File notifications to plug-ins ------------------------------------------------------------

namespace {

std::vector<std::shared_ptr<IFileNotifier>>& FileNotifiers() {
  static std::vector<std::shared_ptr<IFileNotifier>> List;
  return List;
}

int WalkCounter = 0;

}  // namespace

int AddFileNotifier(std::shared_ptr<IFileNotifier> Notifier) {
  FileNotifiers().push_back(std::move(Notifier));
  return static_cast<int>(FileNotifiers().size()) - 1;
}

void RemoveFileNotifier(int Index) {
  if (Index >= 0 && static_cast<size_t>(Index) < FileNotifiers().size())
    FileNotifiers()[static_cast<size_t>(Index)].reset();
}

bool SendFileNotification(TFileNotification Operation, const std::string& FileName) {
  bool Cancel = false;
  std::vector<std::shared_ptr<IFileNotifier>> Snapshot = FileNotifiers();
  for (auto& N : Snapshot)
    if (N) N->FileNotification(Operation, FileName, Cancel);
  return !Cancel;
}

// -- TCodeIDocModule ---------------------------------------------------------------------------

int TCodeIDocModule::AddNotifier(std::shared_ptr<IModuleNotifier> Notifier) {
  FNotifiers.push_back(std::move(Notifier));
  return static_cast<int>(FNotifiers.size()) - 1;
}

void TCodeIDocModule::RemoveNotifier(int Index) {
  if (Index >= 0 && static_cast<size_t>(Index) < FNotifiers.size()) FNotifiers[static_cast<size_t>(Index)].reset();
}

void TCodeIDocModule::AddModuleHandler(std::shared_ptr<IModuleHandler> Handler) {
  if (!Handler || std::find(FModuleHandlers.begin(), FModuleHandlers.end(), Handler) != FModuleHandlers.end()) return;
  FModuleHandlers.push_back(Handler);
  FModuleHandlersNotOnNotifyList.push_back(Handler);
}

void TCodeIDocModule::RemoveModuleHandler(const std::shared_ptr<IModuleHandler>& Handler) {
  auto It = std::find(FModuleHandlers.begin(), FModuleHandlers.end(), Handler);
  if (It == FModuleHandlers.end()) return;
  const auto I = It - FModuleHandlers.begin();
  FModuleHandlers.erase(It);
  FModuleHandlersNotOnNotifyList.erase(FModuleHandlersNotOnNotifyList.begin() + I);
}

void TCodeIDocModule::ModuleHandlerAlsoOnNotifyList(const std::shared_ptr<IModuleHandler>& Handler) {
  auto It = std::find(FModuleHandlers.begin(), FModuleHandlers.end(), Handler);
  if (It != FModuleHandlers.end())
    FModuleHandlersNotOnNotifyList[static_cast<size_t>(It - FModuleHandlers.begin())].reset();
}

void TCodeIDocModule::ModuleHandlerNoLongerOnNotifyList(const std::shared_ptr<IModuleHandler>& Handler) {
  auto It = std::find(FModuleHandlers.begin(), FModuleHandlers.end(), Handler);
  if (It != FModuleHandlers.end())
    FModuleHandlersNotOnNotifyList[static_cast<size_t>(It - FModuleHandlers.begin())] = Handler;
}

template <class TFn>
void TCodeIDocModule::ForEachNotifier(TFn Fn) {
  // Copies: a notifier may remove itself while it is called.
  std::vector<std::shared_ptr<IModuleNotifier>> Targets;
  for (auto& N : FNotifiers)
    if (N) Targets.push_back(N);
  for (size_t I = 0; I < FModuleHandlers.size(); ++I)
    if (!FModuleHandlersNotOnNotifyList[I]) Targets.push_back(FModuleHandlers[I]);
  for (auto& N : Targets) Fn(*N);
}

void TCodeIDocModule::NotifyBeforeSave() {
  ForEachNotifier([](IModuleNotifier& N) { N.BeforeSave(); });
}
void TCodeIDocModule::NotifyAfterSave() {
  ForEachNotifier([](IModuleNotifier& N) { N.AfterSave(); });
}
void TCodeIDocModule::NotifyModified() {
  ForEachNotifier([](IModuleNotifier& N) { N.Modified(); });
}
void TCodeIDocModule::NotifyRenamed(const std::string& NewName) {
  ForEachNotifier([&](IModuleNotifier& N) { N.ModuleRenamed(NewName); });
}
void TCodeIDocModule::NotifyBeforeRename(const std::string& O, const std::string& N2) {
  ForEachNotifier([&](IModuleNotifier& N) { N.BeforeRename(O, N2); });
}
void TCodeIDocModule::NotifyAfterRename(const std::string& O, const std::string& N2) {
  ForEachNotifier([&](IModuleNotifier& N) { N.AfterRename(O, N2); });
}
void TCodeIDocModule::NotifyRenameFiles(const std::string& O, const std::string& N2) {
  ForEachNotifier([&](IModuleNotifier& N) { N.RenameFiles(O, N2); });
}
void TCodeIDocModule::NotifyDestruction() {
  ForEachNotifier([](IModuleNotifier& N) { N.Destroyed(); });
}
void TCodeIDocModule::NotifyLoadDesktopData(const std::string& D) {
  ForEachNotifier([&](IModuleNotifier& N) { N.LoadDesktopData(D); });
}
void TCodeIDocModule::NotifySaveDesktopData(const std::string& D) {
  ForEachNotifier([&](IModuleNotifier& N) { N.SaveDesktopData(D); });
}

namespace {

// Every handler that answers must say yes.
template <class TAsk>
bool AllAgree(const std::vector<std::shared_ptr<IModuleHandler>>& Handlers, TAsk Ask) {
  std::vector<std::shared_ptr<IModuleHandler>> Copy = Handlers;
  for (auto& H : Copy) {
    std::optional<bool> A = Ask(*H);
    if (A && !*A) return false;
  }
  return true;
}

}  // namespace

bool TCodeIDocModule::AllowSave() {
  return AllAgree(FModuleHandlers, [](IModuleHandler& H) { return H.AllowSave(); });
}
bool TCodeIDocModule::CanReloadFile() {
  return AllAgree(FModuleHandlers, [](IModuleHandler& H) { return H.CanReloadFile(); });
}
bool TCodeIDocModule::CheckOverwrite() {
  return AllAgree(FModuleHandlers, [](IModuleHandler& H) { return H.CheckOverwrite(); });
}

bool TCodeIDocModule::CheckFileDate() {
  // Every handler is asked, so each sees the new date, even after one reported a change.
  bool Changed = false;
  std::vector<std::shared_ptr<IModuleHandler>> Copy = FModuleHandlers;
  for (auto& H : Copy) {
    std::optional<bool> A = H->CheckFileDate();
    if (A && *A) Changed = true;
  }
  return Changed;
}

void TCodeIDocModule::GetOverwriteFiles(const std::string& FileName, std::vector<std::string>& Files) {
  for (auto& H : std::vector<std::shared_ptr<IModuleHandler>>(FModuleHandlers)) H->GetOverwriteFiles(FileName, Files);
}

void TCodeIDocModule::ReloadFile() {
  for (auto& H : std::vector<std::shared_ptr<IModuleHandler>>(FModuleHandlers)) H->ReloadFile();
}

// -- TDocModule: life --------------------------------------------------------------------------

TDocModule::TDocModule(std::string FileName) : FFileName(std::move(FileName)) {}

TDocModule::~TDocModule() = default;

TCodeIDocModule& TDocModule::CodeIModule() {
  std::lock_guard<std::recursive_mutex> G(FQueryLock);
  if (!FCodeIModule) FCodeIModule = std::make_unique<TCodeIDocModule>(*this);
  return *FCodeIModule;
}

void TDocModule::AfterConstruction() {
  FInConstructor = false;
  ModuleHandlerGauntlet().RunGauntlet(*this);
  const std::string Name = GetFileName();
  if (!Name.empty()) {
    ModuleList().IndexName(Name, this);
    FModuleListHashKeys.insert(FModuleListHashKeys.begin(), Name);
  }
  NotifyFileOpened();
  AttachToOwners();
  TEvModuleCreated Args(this);
  EvModuleCreated().Send(Args);
}

void TDocModule::NotifyFileOpened() { nxs::NotifyFileOpened(GetFileName()); }

void TDocModule::BeforeDestruction() {
  if (!FCloseNotified && !SendFileNotification(TFileNotification::fnFileClosing, GetFileName())) ModuleAbort();
  FCloseNotified = true;
  TEvFileNotification Args(static_cast<int>(TFileNotification::fnFileClosing), GetFileName());
  EvFileNotification().Send(Args);
  if (IsDiscardable || GetFileName().empty() || !FileSystem().FileExists(GetFileName())) PerformModuleCleanup();
  if (FCodeIModule) FCodeIModule->NotifyDestruction();
}

void TDocModule::PerformModuleCleanup() {
  const std::string Name = GetFileName();
  if (Name.empty()) return;
  for (const auto& Ext : FCleanupExtensions) {
    const std::string Companion = ChangeFileExt(Name, Ext);
    try {
      if (FileSystem().FileExists(Companion)) FileSystem().DeleteFile(Companion);
    } catch (const EInOutError&) {
      // A companion that cannot be removed stays; the module goes all the same.
    }
  }
}

std::string TDocModule::GetModuleName() const { return ChangeFileExt(ExtractFileName(GetFileName()), ""); }

bool TDocModule::ModuleIs(const std::string& FileName) const {
  for (const std::string& Name : ModuleFileNames())
    if (SameModuleFile(Name, FileName)) return true;
  return false;
}

void TDocModule::ModuleNamesChanged() {
  if (TModuleList* L = ModuleListIfAny()) L->ModuleNamesChanged(this);
}

void TDocModule::DeclareHeldFiles(std::vector<size_t> Hashes) {
  FHeldFileHashes = std::move(Hashes);
  FDeclaresHeldFiles = true;
  if (TModuleList* L = ModuleListIfAny()) L->HeldFilesChanged(this);
}

void TDocModule::Activate(bool IsExternalViewer) {
  const bool Moved = ModuleList().MoveToFront(this);
  FExternalViewerActive = IsExternalViewer;
  ProjectChanged();
  if (!Moved) return;
  TEvModuleActivated Args(this);
  EvModuleActivated().Send(Args);
}

bool TDocModule::CanAddClosedFile() const {
  return !IsUnnamed && !GetFileName().empty() && FileSystem().FileExists(GetFileName());
}

bool TDocModule::Close(bool CanAddToClosedList) {
  if (IsClosed) return true;
  FCloseNotified = SendFileNotification(TFileNotification::fnFileClosing, GetFileName());
  if (!FCloseNotified) return false;
  if (CanAddToClosedList && GetFileSystemIdent().empty() && CanAddClosedFile()) ClosedFiles().AddClosedFile(*this);
  Hide();
  IsClosed = true;
  if (CanFreeOrGoDormant(true)) WalkDependencies(TWalkAction::waFree);
  return true;
}

bool TDocModule::GoDormant() {
  if (IsDormant || !HasForm()) return true;
  if (GoingDormant) return false;
  if (!Update()) return false;
  HideForm();
  GoingDormant = true;
  if (CanFreeOrGoDormant(false)) WalkDependencies(TWalkAction::waGoDormant);
  return true;
}

bool TDocModule::CanFreeOrGoDormant(bool Freeing) {
  const int Stamp = ++WalkCounter;
  std::vector<TDocModule*> Pending{this};
  while (!Pending.empty()) {
    TDocModule* M = Pending.back();
    Pending.pop_back();
    if (M->Walked == Stamp) continue;
    M->Walked = Stamp;
    const bool Ready = Freeing ? M->IsClosed : (M->IsDormant || M->GoingDormant);
    if (!Ready) return false;
    for (TDocModule* D : M->GetDependentModules())
      if (D && ModuleList().Contains(D)) Pending.push_back(D);
  }
  return true;
}

void TDocModule::WalkDependencies(TWalkAction Action) {
  const int Stamp = ++WalkCounter;
  std::vector<TDocModule*> Reached;
  std::vector<TDocModule*> Pending{this};
  while (!Pending.empty()) {
    TDocModule* M = Pending.back();
    Pending.pop_back();
    if (M->Walked == Stamp || !ModuleList().Contains(M)) continue;
    const bool Take = Action == TWalkAction::waFree ? M->IsClosed : M->GoingDormant;
    if (!Take) continue;
    M->Walked = Stamp;
    Reached.push_back(M);
    for (TDocModule* D : M->GetModuleDependencies())
      if (D) Pending.push_back(D);
  }
  for (TDocModule* M : Reached) {
    if (!ModuleList().Contains(M)) continue;
    if (Action == TWalkAction::waFree) {
      try {
        ModuleList().Free(M);
      } catch (const EAbort&) {
        // A plug-in kept the module; it stays closed.
      }
    } else {
      M->GoingDormant = false;
      M->IsDormant = true;
    }
  }
}

// -- Owners ------------------------------------------------------------------------------------

void TDocModule::AddOwner(TDocModule* AOwner) {
  if (AOwner && !IsOwnedBy(AOwner)) FOwners.push_back(AOwner);
}

void TDocModule::RemoveOwner(TDocModule* AOwner) { std::erase(FOwners, AOwner); }

bool TDocModule::IsOwnedBy(const TDocModule* AModule) const {
  return std::find(FOwners.begin(), FOwners.end(), AModule) != FOwners.end();
}

void TDocModule::AttachToOwners() {
  if (FAttachedToOwners) return;
  FAttachedToOwners = true;
  const std::string Name = GetFileName();
  const size_t Hash = FileNameHash(Name);
  for (TDocModule* P : ModuleList().ProjectsHolding(Hash))
    if (P != this && P->HoldsFileHashed(Name, Hash)) AddOwner(P);
}

// -- Modification ------------------------------------------------------------------------------

void TDocModule::Modified() {
  // The module's own flag: a buffer that tells of its change is modified already.
  const bool Was = FIsModified;
  FIsModified = true;
  IsDiscardable = false;
  if (FCodeIModule) FCodeIModule->NotifyModified();
  TEvModuleModified Args(this, GetFileName());
  EvModuleModified().Send(Args);
  if (!Was) UpdateModuleDisplay();
  SourceModified(GetFileName());
}

void TDocModule::UnModifySource() {
  const bool Was = FIsModified;
  FIsModified = false;
  ResetSourceModified();
  TEvModuleModified Args(this, GetFileName());
  EvModuleModified().Send(Args);
  if (Was) UpdateModuleDisplay();
  SourceModified(GetFileName());
  if (FCodeIModule) FCodeIModule->NotifyModified();
}

// -- Saving ------------------------------------------------------------------------------------

bool TDocModule::AllowSave() { return !FCodeIModule || FCodeIModule->AllowSave(); }

bool TDocModule::CheckOverwrite() {
  const std::string Target = FSaveDialogName.empty() ? GetFileName() : FSaveDialogName;
  std::vector<std::string> Files;
  GetOverwriteFiles(Target, Files);
  // Without the dialog's own overwrite prompt, another file of the chosen name is asked
  // about here rather than silently replaced.
  if (!(FModuleAttributes & maAutoOverwriteCheck) && !SameModuleFile(Target, GetFileName()) &&
      FileSystem().FileExists(Target) && std::find(Files.begin(), Files.end(), Target) == Files.end())
    Files.insert(Files.begin(), Target);
  if (Files.empty()) return true;
  std::string List;
  for (const auto& F : Files) List += "\n  " + F;
  return Questions().MessageDlg(Format(res::SOverwriteFiles, List), TMsgDlgType::mtConfirmation, mbYes | mbNo, mrNo) ==
         mrYes;
}

void TDocModule::GetOverwriteFiles(const std::string& FileName, std::vector<std::string>& Files) {
  if (FCodeIModule) FCodeIModule->GetOverwriteFiles(FileName, Files);
}

bool TDocModule::DoCheckOverwrite() {
  if (FCodeIModule && !FCodeIModule->CheckOverwrite()) return false;
  return CheckOverwrite();
}

std::string TDocModule::GetSaveFileDirectory() const {
  const bool NamedOwner = std::any_of(FOwners.begin(), FOwners.end(), [](TDocModule* O) { return !O->IsUnnamed; });
  if (!IsUnnamed || NamedOwner) return ExtractFilePath(GetFileName());
  if (!GetIsProject() && !FOwners.empty() && FOwners.front()->GetIsProject())
    return FOwners.front()->GetSaveFileDirectory();
  return DocModuleHooks().DefaultDirectory ? DocModuleHooks().DefaultDirectory() : std::string();
}

std::string TDocModule::GetSaveFilter() const { return res::SAnyFileFilter; }

bool TDocModule::Save(bool ChangeName, bool ForceSave) {
  if (!AllowSave()) return true;
  if (!ForceSave) {
    if (!GetModified()) return true;
    const unsigned Buttons = NoCancelOnSave ? (mbYes | mbNo) : (mbYes | mbNo | mbCancel);
    const int Answer = Questions().MessageDlg(Format(res::SSaveChanges, ExtractFileName(GetFileName())),
                                              TMsgDlgType::mtConfirmation, Buttons, mrCancel);
    if (Answer == mrNo) return true;
    // Anything but Yes and No is a Cancel; without a Cancel button it counts as No.
    if (Answer != mrYes) return NoCancelOnSave;
  }
  const std::string OldName = GetFileName();
  const std::string OldFileSystem = GetFileSystemIdent();
  const bool WasUnnamed = IsUnnamed;
  const bool SaveAs = ChangeName || MustPromptForSaveName();
  if (SaveAs) {
    if (DocModuleHooks().CancelBackgroundCompile && !DocModuleHooks().CancelBackgroundCompile()) return false;
    const std::string ModName = GetModuleName();
    const std::string Title = ModName.empty() ? std::string() : Format(res::SSaveAs, ModName);
    std::string Chosen = IncludeTrailingPathDelimiter(GetSaveFileDirectory()) + ExtractFileName(GetSaveFileName());
    if (GetSaveFileDirectory().empty()) Chosen = ExtractFileName(GetSaveFileName());
    if (!Questions().PromptForFileName(Chosen, Title, true) || Trim(Chosen).empty()) return false;
    std::string NewName = ExpandFileName(Chosen, GetSaveFileDirectory());
    if (ExtractFileExt(NewName).empty()) NewName += ExtractCompoundExt(OldName);
    // Refusing to overwrite cancels the save: the dialog is not shown again.
    FSaveDialogName = NewName;
    const bool MayOverwrite = DoCheckOverwrite();
    FSaveDialogName.clear();
    if (!MayOverwrite) return false;
    DoRename(NewName);
  }
  try {
    if (FCodeIModule) FCodeIModule->NotifyBeforeSave();
    SaveFile();
  } catch (...) {
    if (SaveAs && GetFileName() != OldName) {
      DoRename(OldName);
      SetFileSystem(OldFileSystem);
      IsUnnamed = WasUnnamed;
    }
    // A question on the way answered so that nothing is saved: the save is cancelled.
    try {
      throw;
    } catch (const EAbort&) {
      return false;
    }
  }
  if (WasUnnamed && DocModuleHooks().LastSaveDirectory)
    DocModuleHooks().LastSaveDirectory(ExtractFileDir(GetFileName()));
  IsUnnamed = false;
  IsDiscardable = false;
  if (FCodeIModule) FCodeIModule->NotifyAfterSave();
  const bool Was = FIsModified;
  FIsModified = false;
  if (Was) UpdateModuleDisplay();
  TEvModuleSaved Args(this, OldName, GetFileName());
  EvModuleSaved().Send(Args);
  return true;
}

bool TDocModule::SaveAndClose() {
  if (!Save(false, false)) return false;
  if (IsUnnamed && !CheckLinks()) return false;
  // Closing may free the module: nothing of it is used afterwards.
  Close(true);
  SwitchToLayout(res::SStartupLayout);
  return true;
}

// -- Renaming ----------------------------------------------------------------------------------

void TDocModule::DoRename(const std::string& NewName) {
  const std::string Old = GetFileName();
  if (FCodeIModule) FCodeIModule->NotifyBeforeRename(Old, NewName);
  BeforeRename(NewName);
  Rename(NewName);
  AfterRename(Old, NewName);
  if (FCodeIModule) FCodeIModule->NotifyAfterRename(Old, NewName);
}

void TDocModule::Rename(const std::string& NewName) {
  SetFileNameField(NewName);
  if (FCodeIModule) FCodeIModule->NotifyRenamed(NewName);
}

void TDocModule::RenameFiles(const std::string& OldName, const std::string& NewName) {
  if (FCodeIModule) FCodeIModule->NotifyRenameFiles(OldName, NewName);
}

bool TDocModule::RenameModule(const std::string& NewName) {
  const std::string Old = GetFileName();
  const std::string Expanded = ExpandRenameFileName(*this, Old, NewName);
  if (Expanded.empty()) return false;
  DoRename(Expanded);
  RenameFiles(Old, Expanded);
  return true;
}

// -- Disk changes ------------------------------------------------------------------------------

// Without handlers nobody saw the file change: an unchanged file must not be reported as
// changed (and reloaded or asked about on every pass).
bool TDocModule::CheckFileDate() { return FCodeIModule && FCodeIModule->CheckFileDate(); }

bool TDocModule::CanReloadFile() { return !FCodeIModule || FCodeIModule->CanReloadFile(); }

void TDocModule::ReloadFile() {
  if (FCodeIModule) FCodeIModule->ReloadFile();
  TEvModuleModified Args(this, GetFileName());
  EvModuleModified().Send(Args);
}

// -- The gauntlet ------------------------------------------------------------------------------

void TModuleHandlerGauntlet::Add(TModuleHandlerGauntletMember* AObject, int APriority) {
  auto It = std::find_if(FItems.rbegin(), FItems.rend(), [&](const auto& I) { return I.second <= APriority; });
  FItems.insert(It.base(), {AObject, APriority});
}

void TModuleHandlerGauntlet::Remove(TModuleHandlerGauntletMember* AObject) {
  std::erase_if(FItems, [&](const auto& I) { return I.first == AObject; });
}

void TModuleHandlerGauntlet::RunGauntlet(TDocModule& Module) {
  auto Copy = FItems;
  for (auto& I : Copy) I.first->AttachHandler(Module);
}

TModuleHandlerGauntlet& ModuleHandlerGauntlet() {
  static TModuleHandlerGauntlet G;
  return G;
}

}  // namespace nxs
