#include "environment/layouts.h"

#include <algorithm>

#include "environment/deskini.h"
#include "environment/desktop.h"
#include "environment/resstrings.h"
#include "modules/docmodule.h"
#include "modules/modulelist.h"
#include "modules/resstrings.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/install.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

namespace {

constexpr const char* LayoutExt = ".dst";
constexpr const char* Predefined[] = {res::SStartupLayout, res::SDefaultLayout, res::SDebugLayout, res::SClassicUndocked};

// Raises nothing: a folder that cannot be listed has no layouts.
std::vector<std::string> LayoutFilesIn(const std::string& Dir) {
  std::vector<std::string> Names;
  try {
    for (const std::string& N : FileSystem().ListDirectory(Dir))
      if (ExtractFileExt(N) == LayoutExt && FileSystem().FileExists(IncludeTrailingPathDelimiter(Dir) + N))
        Names.push_back(N);
  } catch (const Exception&) {
  }
  std::sort(Names.begin(), Names.end(), [](const std::string& A, const std::string& B) { return CompareText(A, B) < 0; });
  return Names;
}

// Every window loader's windows as one text.
std::string WindowsText() {
  TDesktopIniFile Ini;
  DesktopWindowLoaders().DoSaveWindows(Ini);
  return Ini.Text();
}

void LoadWindowsText(const std::string& Text) {
  TDesktopIniFile Ini(Text);
  DesktopWindowLoaders().DoLoadWindows(Ini);
}

}  // namespace

std::string LayoutsDirectory() {
  const std::string Data = GetEnvironmentVariable("XDG_DATA_HOME").value_or("");
  const std::string Base = IsAbsolutePath(Data) ? Data : IncludeTrailingPathDelimiter(HomeDir()) + ".local/share";
  return IncludeTrailingPathDelimiter(Base) + "Orvanti/NXS/20.0";
}

std::string InstalledLayoutsDirectory() { return IncludeTrailingPathDelimiter(DataDir()) + "layouts"; }

std::string LayoutDisplayName(std::string_view Name) {
  for (const char* P : Predefined)
    if (SameText(Name, P)) return P;
  return std::string(Name);
}

void CheckLayoutName(std::string_view Name) {
  if (Name.empty() || Name == "." || Name == ".." || Name.find_first_of("/\\\r\n") != std::string_view::npos ||
      Name.find('\0') != std::string_view::npos)
    throw Exception(Format(res::SInvalidLayoutName, OneLine(Name)));
}

// -- One layout ---------------------------------------------------------------------------------------

TDesktopState::TDesktopState(std::string FileName) : FFileName(std::move(FileName)) {
  FDisplayName = LayoutDisplayName(GetFileNameBody());
}

std::string TDesktopState::GetFileNameBody() const { return ChangeFileExt(ExtractFileName(FFileName), ""); }

std::string TDesktopState::GetNoPrefix() const { return ReplaceAllText(FDisplayName, "&", "&&"); }

void TDesktopState::SetDisplayName(const std::string& Name) {
  CheckLayoutName(Name);
  const std::string NewFile = IncludeTrailingPathDelimiter(LayoutsDirectory()) + Name + LayoutExt;
  if (NewFile != FFileName && FileSystem().FileExists(FFileName)) FileSystem().Rename(FFileName, NewFile);
  FFileName = NewFile;
  FDisplayName = LayoutDisplayName(Name);
}

void TDesktopState::Load() {
  if (!FileSystem().FileExists(FFileName)) return;
  LoadWindowsText(FileSystem().ReadFile(FFileName));
}

void TDesktopState::Save() {
  FileSystem().ForceDirectories(ExtractFileDir(FFileName));
  ReplaceDesktopFile(FFileName, WindowsText(), false, {});
}

void TDesktopState::Delete() {
  if (FileSystem().Stat(FFileName).Exists) FileSystem().DeleteFile(FFileName);
}

void TDesktopState::SaveRuntimeInfo() { FRuntimeInfo = WindowsText(); }

bool TDesktopState::RestoreRuntimeInfo() {
  if (FRuntimeInfo.empty()) return false;
  LoadWindowsText(FRuntimeInfo);
  return true;
}

// -- The layouts ------------------------------------------------------------------------------------------

TDesktopState& TDesktopStates::Add(const std::string& Name) {
  CheckLayoutName(Name);
  if (TDesktopState* S = FindFileNameBody(Name)) return *S;
  FStates.push_back(std::make_unique<TDesktopState>(IncludeTrailingPathDelimiter(LayoutsDirectory()) + Name + LayoutExt));
  return *FStates.back();
}

const std::vector<std::unique_ptr<TDesktopState>>& TDesktopStates::GetDesktops() {
  const std::string Dir = LayoutsDirectory();
  const std::vector<std::string> Shipped = LayoutFilesIn(InstalledLayoutsDirectory());
  try {
    if (!Shipped.empty()) FileSystem().ForceDirectories(Dir);
    for (const std::string& N : Shipped) {
      const std::string Target = IncludeTrailingPathDelimiter(Dir) + N;
      if (!FileSystem().Stat(Target).Exists)
        FileSystem().CreateNewFile(Target, FileSystem().ReadFile(IncludeTrailingPathDelimiter(InstalledLayoutsDirectory()) + N));
    }
  } catch (const Exception&) {
    // A folder the user cannot write keeps the layouts it has.
  }
  std::vector<std::unique_ptr<TDesktopState>> Fresh;
  for (const std::string& N : LayoutFilesIn(Dir)) {
    const std::string File = IncludeTrailingPathDelimiter(Dir) + N;
    auto Old = std::find_if(FStates.begin(), FStates.end(), [&](const auto& S) { return S && S->FileName() == File; });
    Fresh.push_back(Old != FStates.end() ? std::move(*Old) : std::make_unique<TDesktopState>(File));
  }
  // The layouts in use stay, with or without a file.
  for (auto& S : FStates)
    if (S && (S.get() == FSelected || S.get() == FSavedDesktop)) Fresh.push_back(std::move(S));
  FStates = std::move(Fresh);
  return FStates;
}

TDesktopState* TDesktopStates::FindFileNameBody(std::string_view Name) {
  for (const auto& S : FStates)
    if (SameText(S->GetFileNameBody(), Name)) return S.get();
  return nullptr;
}

TDesktopState* TDesktopStates::FindDisplayName(std::string_view Name) {
  for (const auto& S : FStates)
    if (SameText(S->GetDisplayName(), Name)) return S.get();
  return nullptr;
}

TDesktopState& TDesktopStates::FindLayout(std::string_view Name) {
  if (FStates.empty()) GetDesktops();
  if (TDesktopState* S = FindFileNameBody(Name)) return *S;
  if (TDesktopState* S = FindDisplayName(Name)) return *S;
  throw Exception(Format(res::SLayoutNotFound, OneLine(Name)));
}

TDesktopState* TDesktopStates::SessionSelected() {
  return SessionDesktop(res::SSessionDesktopName, res::SStartupLayout);
}

void TDesktopStates::Remove(TDesktopState* State) {
  if (FSelected == State) FSelected = nullptr;
  if (FSavedDesktop == State) FSavedDesktop = nullptr;
  std::erase_if(FStates, [&](const auto& S) { return S.get() == State; });
}

void TDesktopStates::SetSelected(TDesktopState* State) {
  FSelected = State;
  if (State && !FPuttingDebugInForce)
    SettingsStore().WriteString(res::SSessionSection, res::SSessionDesktopName, State->GetFileNameBody());
  TEvDesktopChanged Args(State);
  FOnChanged.Send(Args);
}

void TDesktopStates::LoadDesktop(TDesktopState* State) {
  if (!State || FLoading) return;
  TDesktopUpdate Update;
  FLoading = true;
  if (Hooks.LockParser) Hooks.LockParser();
  try {
    if (FSelected) FSelected->SaveRuntimeInfo();
    State->RestoreRuntimeInfo();
    State->Load();
    SetSelected(State);
  } catch (...) {
    FLoading = false;
    if (Hooks.UnlockParser) Hooks.UnlockParser();
    throw;
  }
  FLoading = false;
  if (Hooks.UnlockParser) Hooks.UnlockParser();
}

void TDesktopStates::RestoreDesktop() {
  TDesktopState* Saved = std::exchange(FSavedDesktop, nullptr);
  if (Saved) LoadDesktop(Saved);
}

void TDesktopStates::RestoreDesktopWithoutReloading() {
  TDesktopState* Saved = std::exchange(FSavedDesktop, nullptr);
  if (!Saved) return;
  TDesktopUpdate Update;
  if (FSelected) FSelected->SaveRuntimeInfo();
  if (!Saved->RestoreRuntimeInfo()) Saved->Load();
  SetSelected(Saved);
}

TDesktopState* TDesktopStates::SessionDesktop(const char* Key, const char* Default) {
  if (FStates.empty()) GetDesktops();
  return FindFileNameBody(SettingsStore().ReadString(res::SSessionSection, Key, Default));
}

TDesktopState* TDesktopStates::GetStartupDesktop() { return SessionDesktop(res::SSessionStartupDesktop, res::SStartupLayout); }
TDesktopState* TDesktopStates::GetDefaultDesktop() { return SessionDesktop(res::SSessionDefaultDesktop, res::SDefaultLayout); }
TDesktopState* TDesktopStates::GetRuntimeDesktop() { return SessionDesktop(res::SSessionRuntimeDesktop, res::SDebugLayout); }

void TDesktopStates::SetStartupDesktop(const std::string& Name) {
  SettingsStore().WriteString(res::SSessionSection, res::SSessionStartupDesktop, Name);
}
void TDesktopStates::SetDefaultDesktop(const std::string& Name) {
  SettingsStore().WriteString(res::SSessionSection, res::SSessionDefaultDesktop, Name);
}
void TDesktopStates::SetRuntimeDesktop(const std::string& Name) {
  SettingsStore().WriteString(res::SSessionSection, res::SSessionRuntimeDesktop, Name);
}

void TDesktopStates::LoadRuntimeDesktop() {
  TDesktopState* Runtime = GetRuntimeDesktop();
  if (!Runtime || Runtime == FSelected) return;
  FPuttingDebugInForce = true;
  try {
    LoadDesktop(Runtime);
  } catch (...) {
    FPuttingDebugInForce = false;
    throw;
  }
  FPuttingDebugInForce = false;
}

// Layouts switch only while the environment has put one in force: a session that never
// selected a layout (a command that edits files) keeps its settings untouched.
void TDesktopStates::ProcessCreated(bool FirstProcess, bool Stepping) {
  if (!FirstProcess || Stepping || !FSelected || FSavedDesktop) return;
  FSavedDesktop = FSelected;
  FSavedFocus = Hooks.FocusedWindow ? Hooks.FocusedWindow() : std::string();
  LoadRuntimeDesktop();
}

void TDesktopStates::ProcessTerminated(bool LastProcess) {
  if (!LastProcess || !FSavedDesktop) return;
  RestoreDesktopWithoutReloading();
  if (Hooks.RestoreFocus && !FSavedFocus.empty()) Hooks.RestoreFocus(FSavedFocus);
  FSavedFocus.clear();
  if (Hooks.CheckFileDates) Hooks.CheckFileDates();
}

void TDesktopStates::Clear() {
  FSelected = nullptr;
  FSavedDesktop = nullptr;
  FSavedFocus.clear();
  FStates.clear();
  Hooks = {};
}

TDesktopStates& DesktopStates() {
  static TDesktopStates States;
  return States;
}

// -- Start-up and switching ----------------------------------------------------------------------------------

void SetDefaultDesktopState() {
  TSettingsStore& S = SettingsStore();
  if (!S.ReadBool(res::SSessionSection, res::SSessionFirstRun, true)) return;
  TSettingsUpdate Batch(S);
  S.WriteBool(res::SSessionSection, res::SSessionFirstRun, false);
  S.WriteString(res::SSessionSection, res::SSessionStartupDesktop, res::SStartupLayout);
  S.WriteString(res::SSessionSection, res::SSessionDefaultDesktop, res::SDefaultLayout);
  S.WriteString(res::SSessionSection, res::SSessionRuntimeDesktop, res::SDebugLayout);
}

void LoadDefaultDesktopState(const std::string& ProjectName, bool LoadEnvironmentDesktop) {
  SetDefaultDesktopState();
  TDesktopStates& States = DesktopStates();
  States.GetDesktops();
  TDesktopState* Target = nullptr;
  if (ProjectName.empty() || !FileSystem().FileExists(ProjectName)) {
    Target = States.GetStartupDesktop();
  } else {
    std::string Name = SettingsStore().ReadString(res::SSessionSection, res::SSessionDesktopName, res::SStartupLayout);
    // A project will be open: the start-up layout gives way to the default one.
    if (SameText(Name, res::SStartupLayout)) Name = res::SDefaultLayout;
    Target = SameText(Name, res::SDefaultLayout) ? States.GetDefaultDesktop() : States.FindFileNameBody(Name);
  }
  if (Target) States.LoadDesktop(Target);
  if (LoadEnvironmentDesktop) LoadDesktop();
}

bool FileDocModuleOpened() {
  for (TDocModule* M : ModuleList().Snapshot())
    if (!M->IsClosed && M->GetIsFileModule() && !M->GetIsProject() && !M->GetIsProjectGroup()) return true;
  return false;
}

static bool ProjectOpened() {
  for (TDocModule* M : ModuleList().Snapshot())
    if (!M->IsClosed && (M->GetIsProject() || M->GetIsProjectGroup())) return true;
  return false;
}

void SwitchDesktopLayout(const std::string& Name) {
  TDesktopStates& States = DesktopStates();
  if (!States.Selected() || States.Loading() || DesktopUpdating()) return;
  TDesktopState* Target = nullptr;
  if (SameText(Name, res::SDefaultLayout)) {
    if (States.Selected() != States.GetStartupDesktop()) return;
    Target = States.GetDefaultDesktop();
  } else if (SameText(Name, res::SStartupLayout)) {
    if (ProjectOpened() || FileDocModuleOpened()) return;
    Target = States.GetStartupDesktop();
  } else {
    Target = States.FindFileNameBody(Name);
  }
  if (Target && Target != States.Selected()) States.LoadDesktop(Target);
}

}  // namespace nxs
