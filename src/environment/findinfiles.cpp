#include "environment/findinfiles.h"

#include "options/envoptions.h"
#include "shared/mainthread.h"
#include "shared/settings.h"

namespace nxs {

namespace {

std::unique_ptr<TThreadSearch>& Running() {
  static std::unique_ptr<TThreadSearch> Search;
  return Search;
}

// The request with the files of a project, group or open-files scope filled in.
TFindRequest ResolveScope(const TFindRequest& Request) {
  TFindRequest R = Request;
  if ((R.Scope == asProjectFiles || R.Scope == asProjectGroup) && R.Files.empty()) {
    const TSearchProjects P = SearchProjects();
    if (R.Scope == asProjectFiles && P.Active) R.Files = ProjectSearchFiles(*P.Active);
    if (R.Scope == asProjectGroup && P.Group) R.Files = GroupSearchFiles(*P.Group);
    if (R.Scope == asProjectGroup && !P.Group && P.Active) R.Files = ProjectSearchFiles(*P.Active);
  }
  if (R.Scope == asOpenFiles && R.Files.empty()) R.Files = OpenFileNames();
  return R;
}

}  // namespace

void DoFindInFiles(const TFindRequest& Request) {
  TerminateFindInFiles();
  MainThreadQueue().ProcessPending();
  if (Request.Scope == asNone) return;
  auto Search = std::make_unique<TThreadSearch>(ResolveScope(Request));  // a missing path raises here
  Running() = std::move(Search);
  Running()->Start();
}

void RunFindInFiles(const TFindRequest& Request, const std::function<void(TFileHits&)>& Sink) {
  if (Request.Scope == asNone) return;
  TFindEngine Engine(ResolveScope(Request));
  CaptureOpenTexts();
  Engine.Run(Sink);
}

namespace {

std::function<bool()>& FindDialog() {
  static std::function<bool()> Dialog;
  return Dialog;
}

}  // namespace

void SetFindInFilesDialog(std::function<bool()> Dialog) { FindDialog() = std::move(Dialog); }

TAdvancedSearchFlags GetAdvancedSearchFlags() {
  TOptionSet& O = EnvironmentOptions().SearchOptions();
  TAdvancedSearchFlags F = 0;
  if (O.GetBool("Include Sub Dirs")) F |= AdvFlag(asfIncludeSubDirs);
  if (O.GetBool("Display results in separate tab in message view")) F |= AdvFlag(asfSeparateResults);
  if (O.GetBool("Group results by file")) F |= AdvFlag(asfGroupByFile);
  return F;
}

void PerformFindInFiles() {
  if (!FindDialog() || !FindDialog()()) return;
  TEnvironmentOptions& Env = EnvironmentOptions();
  TFindRequest R;
  const auto& Texts = Env.HistoryLists().Items(hlSearchText);
  R.Text = Texts.empty() ? std::string() : Texts.front();
  R.Flags = Env.GetSearchFlags();
  const int64_t Scope = SettingsStore().ReadInteger(FindInFilesScopeSection, FindInFilesScopeValue, asFileMask);
  R.Scope = Scope >= asNone && Scope <= asProjectGroup ? static_cast<TAdvancedSearch>(Scope) : asFileMask;
  R.Advanced = GetAdvancedSearchFlags();
  R.Masks = Env.SearchOptions().GetStr("File Mask");
  R.Directories = Env.SearchOptions().GetStr("Search Directory");
  if (R.Text.empty()) return;
  DoFindInFiles(R);
}

bool TerminateFindInFiles() {
  if (Running()) {
    Running()->Terminate();
    Running()->WaitFor();
    Running().reset();
  }
  return true;
}

void ResetFindInFiles() {
  TerminateFindInFiles();
  ForgetSearchGroups();
}

TThreadSearch* RunningSearch() { return Running().get(); }

}  // namespace nxs
