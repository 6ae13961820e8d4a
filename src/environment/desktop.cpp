#include "environment/desktop.h"

#include <algorithm>
#include <map>
#include <set>

#include "editor/buffers/editview.h"
#include "environment/deskini.h"
#include "environment/layouts.h"
#include "environment/resstrings.h"
#include "modules/closedfiles.h"
#include "modules/docmodule.h"
#include "modules/filehist.h"
#include "modules/modulelist.h"
#include "modules/openhandlers.h"
#include "modules/resstrings.h"
#include "modules/sourcemodule.h"
#include "options/envoptions.h"
#include "options/resstrings.h"
#include "shared/dialogs.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

namespace {

constexpr const char* ModulesSection = "Modules";
constexpr const char* DockHostsSection = "DockHosts";
constexpr const char* EditViewType = "TEditView";

std::vector<std::shared_ptr<IDesktopNotifier>>& Notifiers() {
  static std::vector<std::shared_ptr<IDesktopNotifier>> List;
  return List;
}

std::vector<TDesktopProcs>& Procs() {
  static std::vector<TDesktopProcs> List;  // empty slots keep indexes stable
  return List;
}

int& UpdateCount() {
  static int Count = 0;
  return Count;
}

// A count of numbered entries ("Module0", "Module1", ...) read from a desktop, bounded by the
// highest number the section holds: a damaged count never makes a load walk through a
// billion empty entries, and an entry missing in the middle does not hide the ones after it.
int BoundedCount(TCustomIniFile& Ini, std::string_view Section, std::string_view Key, std::string_view Prefix) {
  int64_t Last = -1;
  for (const std::string& Name : Ini.ReadSection(Section))
    if (StartsText(Prefix, Name) && IsWholeNumber(std::string_view(Name).substr(Prefix.size())))
      Last = std::max<int64_t>(Last, StrToIntDef(std::string_view(Name).substr(Prefix.size()), -1));
  const int64_t N = Ini.ReadInteger(Section, Key, 0);
  return static_cast<int>(std::clamp<int64_t>(N, 0, Last + 1));
}

// The modules a desktop records: open, reopened by a registered handler, and (for source
// modules) shown in an editor view; in module-list order.
std::vector<TDocModule*> DesktopModules() {
  std::vector<TDocModule*> Modules;
  for (TDocModule* M : ModuleList().Snapshot()) {
    if (M->IsClosed || !DesktopFormHandlers().FindHandler(*M)) continue;
    if (auto* S = dynamic_cast<TSourceModule*>(M); S && S->ViewCount() == 0) continue;
    if (!TDesktopIniFile::Storable(M->GetReopenFileName())) continue;
    Modules.push_back(M);
  }
  return Modules;
}

void WriteClosedFiles(TCustomIniFile& Ini) {
  TClosedFileList& L = ClosedFiles().ClosedFileList();
  Ini.WriteInteger(res::SClosedFilesSection, res::SMaxClosedFiles, L.Capacity());
  for (int I = 0, Key = 0; I < L.Count(); ++I) {
    const std::string State = L.Item(I)->SaveState();
    if (TDesktopIniFile::Storable(State)) Ini.WriteString(res::SClosedFilesSection, Format(res::SClosedFileKey, Key++), State);
  }
}

void WriteModules(TCustomIniFile& Ini, const std::vector<TDocModule*>& Modules) {
  for (size_t I = 0; I < Modules.size(); ++I) {
    TDocModule& M = *Modules[I];
    const std::string Name = M.GetReopenFileName();
    Ini.WriteString(ModulesSection, Format("Module%d", I), Name);
    Ini.WriteString(Name, "ModuleType", DesktopFormHandlers().GetHandlerName(M));
    if (!M.GetFileSystemIdent().empty()) Ini.WriteString(Name, "FileSystem", M.GetFileSystemIdent());
  }
  Ini.WriteInteger(ModulesSection, "Count", static_cast<int64_t>(Modules.size()));
}

// One editor window holds the views of every source module, each view in a section of its
// own that the window names.
void WriteEditWindows(TCustomIniFile& Ini, const std::vector<TDocModule*>& Modules) {
  std::vector<TEditView*> Views;
  for (TDocModule* M : Modules)
    if (auto* S = dynamic_cast<TSourceModule*>(M))
      for (int I = 0; I < S->ViewCount(); ++I) Views.push_back(S->View(I));
  Ini.WriteInteger(ModulesSection, "EditWindowCount", Views.empty() ? 0 : 1);
  if (Views.empty()) return;
  const std::string Window = "EditWindow0";
  Ini.WriteString(Window, "CustomEditViewType", EditViewType);
  Ini.WriteInteger(Window, "ViewCount", static_cast<int64_t>(Views.size()));
  Ini.WriteInteger(Window, "CurrentView", 0);
  Ini.WriteString(Window, "CurrentEditView", Views.front()->Buffer().FileName());
  for (size_t I = 0; I < Views.size(); ++I) {
    const std::string Section = Format("%s.View%d", Window, I);
    Ini.WriteString(Window, Format("View%d", I), Section);
    TViewState State;
    Views[I]->SaveViewState(State);
    for (const auto& [Key, Value] : State)
      if (TDesktopIniFile::Storable(Value)) Ini.WriteString(Section, Key, Value);
  }
}

void NotifySaved(const std::string& TempName, bool IsProject) {
  for (const auto& N : std::vector(Notifiers()))
    if (N) IsProject ? N->ProjectDesktopSave(TempName) : N->DefaultDesktopSave(TempName);
}

void DeleteQuietly(const std::string& Name) {
  try {
    if (FileSystem().Stat(Name).Exists) FileSystem().DeleteFile(Name);
  } catch (const Exception&) {
    // A temporary file that cannot be removed is left; the desktop itself is as it was.
  }
}

// -- Loading ---------------------------------------------------------------------------------------

class TDesktopLoader {
 public:
  explicit TDesktopLoader(TCustomIniFile& Ini) : FIni(Ini) {}

  void LoadModules() {
    const int Count = BoundedCount(FIni, ModulesSection, "Count", "Module");
    for (int I = 0; I < Count; ++I) LoadModule(I);
  }

  void LoadEditWindows() {
    const int64_t Windows = std::clamp<int64_t>(FIni.ReadInteger(ModulesSection, "EditWindowCount", 0), 0, 64);
    for (int W = 0; W < Windows; ++W) {
      const std::string Window = Format("EditWindow%d", W);
      const int Views = BoundedCount(FIni, Window, "ViewCount", "View");
      const int64_t Current = FIni.ReadInteger(Window, "CurrentView", 0);
      for (int V = 0; V < Views; ++V) {
        TSourceModule* M = LoadView(FIni.ReadString(Window, Format("View%d", V), ""));
        if (M && V == Current && !FReport.Current) FReport.Current = M;
      }
    }
  }

  TDesktopLoadReport& Report() { return FReport; }

 private:
  void Skip(const std::string& Text) { FReport.Skipped.push_back(Text); }

  void LoadModule(int Index) {
    const std::string Name = FIni.ReadString(ModulesSection, Format("Module%d", Index), "");
    if (Name.empty()) return Skip(Format(res::SDesktopEntryDamaged, Format("Module%d", Index)));
    if (TDocModule* Open = FindDocModule(Name)) {
      FReport.Opened.push_back(Open);
      return;
    }
    if (IsProjectOrGroupFileName(Name)) return;
    std::string Type = FIni.ReadString(Name, "ModuleType", "SourceModule");
    const std::string FS = FIni.ReadString(Name, "FileSystem", FIni.ReadString(Format("Form%d", Index), "FileSystem", ""));
    TDesktopFormHandler* Handler = DesktopFormHandlers().FindHandlerByName(Type);
    // An entry written without a type is a plain source file.
    if (!Handler && SameText(Type, "SourceModule")) Handler = DesktopFormHandlers().FindHandlerByName(res::SSourceModuleHandler);
    if (!Handler) return Skip(Format(res::SDesktopNoHandler, Name, Type));
    if (FS.empty() && !FileSystem().FileExists(Name)) return Skip(Format(res::SDesktopFileMissing, Name));
    TDocModule* M = nullptr;
    try {
      M = Handler->CreateModule(Name, FS);
    } catch (const EAbort&) {
    } catch (const Exception& E) {
      return Skip(Format(res::SDesktopOpenFailed, Name, E.what()));
    }
    if (!M) return Skip(Format(res::SDesktopOpenFailed, Name, res::SDesktopNotOpened));
    FReport.Opened.push_back(M);
  }

  // Puts one recorded view back; the module it shows, or nullptr. A view of a module that is
  // not open is left out quietly: its module's own entry says why.
  TSourceModule* LoadView(const std::string& Section) {
    if (Section.empty() || FIni.ReadSection(Section).empty()) {
      Skip(Format(res::SDesktopEntryDamaged, Section));
      return nullptr;
    }
    TViewState State;
    for (const std::string& Key : FIni.ReadSection(Section)) State[Key] = FIni.ReadString(Section, Key, "");
    const std::string File = State["Module"];
    auto* M = File.empty() ? nullptr : dynamic_cast<TSourceModule*>(FindDocModule(File));
    if (!M || M->TDocModule::IsClosed) return nullptr;
    TEditBuffer* B = M->GetEditorBuffer(File);
    if (!B) B = M->GetMainSource();
    if (!B) return nullptr;
    try {
      const bool First = FViewed.insert(M).second;
      TEditView& V = First && B == M->GetMainSource() ? M->ShowEditor() : M->OpenView(*B);
      V.LoadViewState(State);
    } catch (const Exception& E) {
      Skip(Format(res::SDesktopOpenFailed, Section, E.what()));
    }
    return M;
  }

  TCustomIniFile& FIni;
  TDesktopLoadReport FReport;
  std::set<TSourceModule*> FViewed;
};

std::shared_ptr<TDesktopFormHandler>& SourceHandler() {
  static std::shared_ptr<TDesktopFormHandler> Handler;
  return Handler;
}

}  // namespace

// -- Form handlers ---------------------------------------------------------------------------------

TDocModule* TDesktopFormHandler::OpenModule(const std::string& FileName, bool Show) {
  TDocModule* M = CreateModule(FileName, "");
  if (M && Show) M->Activate();
  return M;
}

bool TSourceModuleFormHandler::CanHandleModule(const TDocModule& Module) const {
  return dynamic_cast<const TSourceModule*>(&Module) != nullptr;
}

std::string TSourceModuleFormHandler::GetHandlerName() const { return res::SSourceModuleHandler; }

TDocModule* TSourceModuleFormHandler::CreateModule(const std::string& FileName, const std::string& FileSystem) {
  // Only the disk is known here: a module of another file system is not opened.
  if (!FileSystem.empty()) return nullptr;
  if (TDocModule* Open = FindDocModule(FileName)) return Open;
  return TDocModule::Create<TSourceModule>(FileName, true);
}

void TDesktopFormHandlers::RegisterDesktopFormHandler(std::shared_ptr<TDesktopFormHandler> Handler) {
  if (!Handler || std::find(FHandlers.begin(), FHandlers.end(), Handler) != FHandlers.end()) return;
  FHandlers.push_back(std::move(Handler));
}

void TDesktopFormHandlers::UnRegisterDesktopFormHandler(const TDesktopFormHandler* Handler) {
  std::erase_if(FHandlers, [&](const auto& H) { return H.get() == Handler; });
}

TDesktopFormHandler* TDesktopFormHandlers::FindHandler(const TDocModule& Module) const {
  for (const auto& H : FHandlers)
    if (H->CanHandleModule(Module)) return H.get();
  return nullptr;
}

TDesktopFormHandler* TDesktopFormHandlers::FindHandlerByName(std::string_view Name) const {
  if (Name.empty()) return nullptr;
  for (const auto& H : FHandlers)
    if (SameText(H->GetHandlerName(), Name)) return H.get();
  return nullptr;
}

std::string TDesktopFormHandlers::GetHandlerName(const TDocModule& Module) const {
  TDesktopFormHandler* H = FindHandler(Module);
  return H ? H->GetHandlerName() : std::string();
}

TDocModule* TDesktopFormHandlers::DoCreateModule(std::string_view HandlerName, const std::string& FileName,
                                                 const std::string& FileSystem) {
  TDesktopFormHandler* H = FindHandlerByName(HandlerName);
  return H ? H->CreateModule(FileName, FileSystem) : nullptr;
}

void TDesktopFormHandlers::DoLoadModuleForms(const std::vector<TDocModule*>& Modules, TCustomIniFile& Ini) {
  for (const auto& H : std::vector(FHandlers)) {
    std::vector<TDocModule*> Mine;
    for (TDocModule* M : Modules)
      if (H->CanHandleModule(*M)) Mine.push_back(M);
    H->LoadModuleForms(Mine, Ini);
  }
}

void TDesktopFormHandlers::DoSaveModuleForms(const std::vector<TDocModule*>& Modules, TCustomIniFile& Ini, bool IsProject) {
  for (const auto& H : std::vector(FHandlers)) {
    std::vector<TDocModule*> Mine;
    for (TDocModule* M : Modules)
      if (H->CanHandleModule(*M)) Mine.push_back(M);
    H->SaveModuleForms(Mine, Ini, IsProject);
  }
}

TDesktopFormHandlers& DesktopFormHandlers() {
  static TDesktopFormHandlers Handlers;
  return Handlers;
}

// -- Window loaders -----------------------------------------------------------------------------------

void TDesktopWindowLoaders::RegisterDesktopWindowLoader(std::shared_ptr<TDesktopWindowLoader> Loader) {
  if (!Loader || std::find(FLoaders.begin(), FLoaders.end(), Loader) != FLoaders.end()) return;
  FLoaders.push_back(std::move(Loader));
}

void TDesktopWindowLoaders::UnRegisterDesktopWindowLoader(const TDesktopWindowLoader* Loader) {
  std::erase_if(FLoaders, [&](const auto& L) { return L.get() == Loader; });
}

void TDesktopWindowLoaders::DoLoadWindows(TCustomIniFile& Ini) {
  for (const auto& L : std::vector(FLoaders)) L->LoadWindows(Ini);
}

void TDesktopWindowLoaders::DoSaveWindows(TCustomIniFile& Ini) {
  for (const auto& L : std::vector(FLoaders)) L->SaveWindows(Ini);
}

TDesktopWindowLoaders& DesktopWindowLoaders() {
  static TDesktopWindowLoaders Loaders;
  return Loaders;
}

// -- Procedures, notifiers, updates ----------------------------------------------------------------

int RegisterDesktopProcs(TDesktopProcs P) {
  Procs().push_back(std::move(P));
  return static_cast<int>(Procs().size()) - 1;
}

void UnregisterDesktopProcs(int Index) {
  if (Index >= 0 && Index < static_cast<int>(Procs().size())) Procs()[static_cast<size_t>(Index)] = {};
}

int AddDesktopNotifier(std::shared_ptr<IDesktopNotifier> Notifier) {
  Notifiers().push_back(std::move(Notifier));
  return static_cast<int>(Notifiers().size()) - 1;
}

void RemoveDesktopNotifier(int Index) {
  if (Index >= 0 && Index < static_cast<int>(Notifiers().size())) Notifiers()[static_cast<size_t>(Index)].reset();
}

bool DesktopProcsModified() {
  for (const TDesktopProcs& P : Procs())
    if (P.Modified && P.Modified()) return true;
  return false;
}

bool DesktopUpdating() { return UpdateCount() > 0; }
TDesktopUpdate::TDesktopUpdate() { ++UpdateCount(); }
TDesktopUpdate::~TDesktopUpdate() { --UpdateCount(); }

// -- Saving --------------------------------------------------------------------------------------------

std::string DesktopText(bool IsProject) {
  TDesktopIniFile Ini;
  WriteClosedFiles(Ini);
  const std::vector<TDocModule*> Modules = DesktopModules();
  WriteModules(Ini, Modules);
  DesktopFormHandlers().DoSaveModuleForms(Modules, Ini, IsProject);
  for (const TDesktopProcs& P : std::vector(Procs()))
    if (P.Save) P.Save(Ini);
  DesktopWindowLoaders().DoSaveWindows(Ini);
  WriteEditWindows(Ini, Modules);
  Ini.WriteInteger(DockHostsSection, "DockHostCount", 0);
  return Ini.Text();
}

// The temporary file holds the whole desktop before anything else is touched; the backup is
// a copy, and the desktop is replaced in one atomic write. Whenever a step fails or the
// program stops, the desktop file holds the old desktop or the new one.
void ReplaceDesktopFile(const std::string& FileName, const std::string& Text, bool NumberedBackup,
                        const std::function<void(const std::string& Temp)>& Written) {
  TDesktopUpdate Update;
  std::string Temp = ChangeFileExt(FileName, ".$$$");
  if (Temp == FileName) Temp += ".$$$";
  IFileSystem& FS = FileSystem();
  try {
    FS.WriteFile(Temp, Text);
    std::string Final = Text;
    if (Written) {
      Written(Temp);
      Final = FS.ReadFile(Temp);
    }
    if (FileHistorySettings().CreateBackup) BackupExistingFile(FileName, NumberedBackup);
    FS.WriteFile(FileName, Final);
  } catch (const Exception& E) {
    DeleteQuietly(Temp);
    throw EDesktopError(Format(res::SDesktopNotSaved, FileName, E.what()));
  }
  DeleteQuietly(Temp);
}

void SaveDeskFile(const std::string& FileName, bool IsProject) {
  TDesktopUpdate Update;
  ReplaceDesktopFile(FileName, DesktopText(IsProject), true,
                     [&](const std::string& Temp) { NotifySaved(Temp, IsProject); });
}

TDesktopLoadReport LoadDeskFile(const std::string& FileName) {
  TDesktopUpdate Update;
  TDesktopIniFile Ini(FileSystem().ReadFile(FileName));
  // The closed-file lists live in the settings store, which every session shares and
  // merges; the copy a desktop keeps is not read back over them.
  TDesktopLoader Loader(Ini);
  Loader.LoadModules();
  TDesktopLoadReport& Report = Loader.Report();
  DesktopFormHandlers().DoLoadModuleForms(Report.Opened, Ini);
  for (const TDesktopProcs& P : std::vector(Procs()))
    if (P.Load) P.Load(Ini);
  DesktopWindowLoaders().DoLoadWindows(Ini);
  Loader.LoadEditWindows();
  if (!Report.Current && !Report.Opened.empty()) Report.Current = Report.Opened.front();
  if (Report.Current) Report.Current->Activate();
  for (const auto& N : std::vector(Notifiers()))
    if (N) N->DesktopLoad(FileName);
  if (!Report.Skipped.empty())
    Questions().ShowMessage(Format(res::SDesktopEntriesSkipped, FileName, Join(Report.Skipped, "\n")));
  return std::move(Report);
}

std::string DesktopFileFor(const std::string& FileName) {
  return ExtractFileExt(FileName) == ".dsk" ? FileName : ProjectDesktopFileName(FileName);
}

TDesktopListing ReadDesktopListing(const std::string& FileName) {
  TDesktopIniFile Ini(FileSystem().ReadFile(DesktopFileFor(FileName)));
  TDesktopListing L;
  const int Count = BoundedCount(Ini, ModulesSection, "Count", "Module");
  for (int I = 0; I < Count; ++I) {
    const std::string Name = Ini.ReadString(ModulesSection, Format("Module%d", I), "");
    if (Name.empty()) continue;
    L.Modules.push_back({Name, Ini.ReadString(Name, "ModuleType", "SourceModule"),
                         Ini.ReadString(Name, "FileSystem", Ini.ReadString(Format("Form%d", I), "FileSystem", "")), {}});
  }
  const int64_t Windows = std::clamp<int64_t>(Ini.ReadInteger(ModulesSection, "EditWindowCount", 0), 0, 64);
  for (int W = 0; W < Windows; ++W) {
    const std::string Window = Format("EditWindow%d", W);
    const int Views = BoundedCount(Ini, Window, "ViewCount", "View");
    for (int V = 0; V < Views; ++V) {
      const std::string Section = Ini.ReadString(Window, Format("View%d", V), "");
      if (Section.empty()) continue;
      TViewState State;
      for (const std::string& Key : Ini.ReadSection(Section)) State[Key] = Ini.ReadString(Section, Key, "");
      // A view of a module with a companion file names that file: it belongs to the entry
      // whose module holds it, the entry of the same name when there is one.
      auto It = std::find_if(L.Modules.begin(), L.Modules.end(), [&](const auto& M) { return M.FileName == State["Module"]; });
      if (It != L.Modules.end()) It->Views.push_back(std::move(State));
    }
  }
  for (const std::string& Key : Ini.ReadSection(res::SBreakpointsSection))
    L.Breakpoints.emplace_back(Key, Ini.ReadString(res::SBreakpointsSection, Key, ""));
  return L;
}

// -- Project, group and environment desktops ------------------------------------------------------

std::string ProjectDesktopFileName(const std::string& ProjectFileName) { return ChangeFileExt(ProjectFileName, ".dsk"); }

std::string EnvironmentDesktopFileName() { return IncludeTrailingPathDelimiter(LayoutsDirectory()) + "nxs.dsk"; }

void SaveProjectDesktop(const std::string& ProjectFileName) {
  if (!FileSystem().FileExists(ProjectFileName)) return;
  SaveDeskFile(ProjectDesktopFileName(ProjectFileName), true);
}

TDesktopLoadReport LoadProjectDesktop(const std::string& ProjectFileName, TEnvironmentOptions& Options) {
  TDesktopUpdate Update;
  TDesktopLoadReport Report;
  const std::string Desk = ProjectDesktopFileName(ProjectFileName);
  if (FileSystem().FileExists(Desk)) Report = LoadDeskFile(Desk);
  if (AutoSaveDesktop(Options))
    SettingsStore().WriteString(res::SSessionSection, res::SSessionProject, ProjectFileName);
  return Report;
}

void SaveDesktop() {
  FileSystem().ForceDirectories(LayoutsDirectory());
  SaveDeskFile(EnvironmentDesktopFileName(), false);
}

TDesktopLoadReport LoadDesktop() {
  const std::string Desk = EnvironmentDesktopFileName();
  if (!FileSystem().FileExists(Desk)) return {};
  return LoadDeskFile(Desk);
}

TDesktopLoadReport LoadSessionDesktop(const std::string& FileName, TEnvironmentOptions& Options) {
  if (ExtractFileExt(FileName) != ".dsk") return LoadProjectDesktop(FileName, Options);
  if (!FileSystem().FileExists(FileName)) return {};
  return LoadDeskFile(FileName);
}

void SaveSessionDesktop(const std::string& FileName) {
  if (ExtractFileExt(FileName) == ".dsk") return SaveDeskFile(FileName, false);
  SaveProjectDesktop(FileName);
}

void FinishSessionDesktop(const std::string& FileName, TEnvironmentOptions& Options) {
  if (AutoSaveDesktop(Options) || DesktopProcsModified()) SaveSessionDesktop(FileName);
}

bool AutoSaveDesktop(TEnvironmentOptions& Options) { return Options.AutoSave().GetBool(res::opt::AutoSaveDesktop); }

bool IsProjectOrGroupFileName(const std::string& FileName) {
  const std::string Ext = ExtractFileExt(FileName);
  for (const char* E : {".groupproj", ".vproj", ".kzproj", ".nxsgroup", ".tpg"})
    if (Ext == E) return true;
  return false;
}

std::string FindRecordedProjectFile(const std::string& BaseName) {
  for (const char* E : {".groupproj", ".vproj", ".kzproj", ".nxsgroup", ".tpg"}) {
    const std::string Name = BaseName + E;
    if (FileSystem().FileExists(Name)) return Name;
  }
  return {};
}

void InitDesktop() {
  if (SourceHandler()) return;
  SourceHandler() = std::make_shared<TSourceModuleFormHandler>();
  DesktopFormHandlers().RegisterDesktopFormHandler(SourceHandler());
  SetSwitchLayoutHook(&SwitchDesktopLayout);
}

void DoneDesktop() {
  if (!SourceHandler()) return;
  SetSwitchLayoutHook(nullptr);
  DesktopStates().Clear();
  DesktopFormHandlers().UnRegisterDesktopFormHandler(SourceHandler().get());
  SourceHandler().reset();
}

}  // namespace nxs
