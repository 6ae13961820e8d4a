#include "terminal/hooks.h"

#include <algorithm>

#include "build/buildhost.h"
#include "build/messages/msglines.h"
#include "build/orchestration.h"
#include "build/progress.h"
#include "build/projectbuilder.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/elisions.h"
#include "editor/language/folding.h"
#include "editor/language/highlight.h"
#include "editor/language/parsethread.h"
#include "editor/language/render.h"
#include "editor/language/syncedit.h"
#include "environment/findinfiles.h"
#include "modules/autorecover.h"
#include "modules/docmodule.h"
#include "modules/sourcemodule.h"
#include "options/envoptions.h"
#include "script/eddesktop.h"
#include "script/edmodules.h"
#include "script/edsession.h"
#include "projectfiles/startup.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "shared/exceptions.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "shared/utf8.h"
#include "terminal/app.h"
#include "terminal/resstrings.h"

namespace nxs::term {

// ---- helpers ----

bool IsGroupOrProjectFile(const std::string& FileName) {
  const std::string Ext = ExtractFileExt(FileName);
  return Ext == ".groupproj" || Ext == ".nxsgroup" || Ext == ".vproj" || Ext == ".kzproj";
}

std::string WordAtCursor(TEditView& View) {
  PEkView V = View.EkView();
  const TCharPos At = ConvertPos(V, V->Cursor);
  const std::string Line = GetLineText(V, At.LineNum);
  // Character index to byte offset.
  size_t Byte = 0;
  for (int32_t I = 0; I < At.Index && Byte < Line.size(); ++I) Byte += static_cast<size_t>(Utf8CharLength(Line, Byte, TUtf8Policy::Framing));
  auto Word = [&](size_t I) {
    const unsigned char C = static_cast<unsigned char>(Line[I]);
    return std::isalnum(C) || C == '_' || C >= 0x80;
  };
  size_t Start = std::min(Byte, Line.size());
  if ((Start == Line.size() || !Word(Start)) && Start > 0 && Word(Start - 1)) --Start;
  if (Start >= Line.size() || !Word(Start)) return {};
  while (Start > 0 && Word(Start - 1)) --Start;
  size_t End = Start;
  while (End < Line.size() && Word(End)) ++End;
  return Line.substr(Start, End - Start);
}

TDecorationSource SyncEditDecorations(TEditView& View) {
  constexpr int deSyncEditBackground = 33, deSyncEditHighlight = 34;
  return [&View](int32_t First, int32_t Last, std::vector<TDecoration>& Out) {
    TSyncEditController* C = SyncEditManager().ControllerOf(View);
    if (!C || !C->Points()) return;
    const TSyncEditPoints& Ps = *C->Points();
    for (int P = 0; P < Ps.Count(); ++P)
      for (const TSyncEditOccurrence& O : Ps.Points[static_cast<size_t>(P)].Occurrences) {
        if (O.Start.LineNum < First || O.Start.LineNum > Last) continue;
        const int32_t End = O.End.LineNum == O.Start.LineNum ? O.End.Index : INT32_MAX / 2;
        // An empty point still shows where it is.
        Out.push_back(TDecoration{O.Start.LineNum, O.Start.Index, std::max(End, O.Start.Index + 1),
                                  P == C->ActivePoint() ? deSyncEditHighlight : deSyncEditBackground});
      }
  };
}

// ---- the build's progress, on the status line ----

class TIdeHooks::TProgress : public IProgressWindow {
 public:
  void Open(TProgressMonitor& Monitor, bool) override { FMonitor = &Monitor; }
  void Close() override { FMonitor = nullptr; }
  void SetWaitCursor(bool) override {}
  TProgressMonitor* Monitor() const { return FMonitor; }

 private:
  TProgressMonitor* FMonitor = nullptr;
};

// Told when a module with a tab goes, before its views do.
struct TIdeHooks::TModuleWatch : IModuleNotifier {
  TModuleWatch(TIdeHooks& Hooks, TSourceModule& Module) : Hooks(Hooks), Module(&Module) {}
  void Destroyed() override { Hooks.Forget(Module); }
  TIdeHooks& Hooks;
  TSourceModule* Module;
};

// ---- life ----

TIdeHooks::TIdeHooks(TTerminalIDE& Ide) : FIde(Ide) {
  StartProjectFiles();
  // The module layer is the command session's, so that the prompt's commands and the tabs
  // work on the same modules.
  FModules = std::make_unique<script::TEdModules>(std::vector<std::string>{},
                                                  [this](std::string_view Text) { FOutput.append(Text); });
  FSession = std::make_unique<script::TEdSession>(*FModules);
  InitProjects();
  SetProjectGroupReporter([this](const std::string& M) { FIde.ShowMessage(M); });
  FFolding = std::make_unique<TElisionParserEditorHooks>(ParseThread());
  SetShowSourceHook([this](const std::string& File, int32_t Line, int32_t Column, int32_t, bool) {
    FIde.ShowSource(File, Line, Column);
  });
  FProgress = std::make_shared<TProgress>();
  SetProgressWindow(FProgress);
  SetSearchProjectsHook([this] { return TSearchProjects{FGroup ? FGroup->ActiveProject() : FProject, FGroup}; });
  EvEditBufferChangeRefused().Add(this, &TIdeHooks::ChangeRefused);
}

TIdeHooks::~TIdeHooks() {
  EvEditBufferChangeRefused().Remove(this, &TIdeHooks::ChangeRefused);
  ResetFindInFiles();
  // A build still running is stopped and waited for: its thread reads the modules.
  if (BuildHost().Building()) {
    ProgressMonitor().Cancel();
    BuildHost().WaitForBuild();
  }
  SetSearchProjectsHook(nullptr);
  SetProgressWindow(nullptr);
  SetShowSourceHook(nullptr);
  for (auto& [Module, Elision] : FElisions)
    if (Elision) FFolding->EditorClosed(Elision.get());
  FElisions.clear();
  FFolding.reset();
  if (FBuildersStarted) DoneProjectBuilders();
  SetProjectGroupReporter(nullptr);
  // The desktop records the modules still open; autorecover stops before they close, and
  // the copies of what was never saved stay for the next session.
  if (FDesktop) {
    try {
      FDesktop->Finish();
    } catch (const Exception&) {
      // The desktop file stays as it was; the session ends anyway.
    }
    FDesktop.reset();
  }
  if (FAutoRecover) {
    FAutoRecover->SetTimerDriver(nullptr);
    FAutoRecover->ProductExit();
    FAutoRecover->OnRecoveredFiles = nullptr;
  }
  FSession.reset();
  FModules->Finish();
  FModules.reset();
  DoneProjects();
}

TKeyboardServices& TIdeHooks::Keyboard() { return FSession->Keyboard(); }

TSourceModule* TIdeHooks::RunScript(const std::string& Line, TSourceModule* Current, std::string& Output) {
  FOutput.clear();
  if (Current) FModules->Run("Switch", Current->GetFileName());
  try {
    FSession->Run(Line);
  } catch (...) {
    Output = std::move(FOutput);
    throw;
  }
  Output = std::move(FOutput);
  try {
    return &FModules->Current();
  } catch (const Exception&) {
    return nullptr;  // every module was closed
  }
}

void TIdeHooks::ChangeRefused(TEvEditBufferModified& Args) {
  if (const TEditBuffer* B = TEditBuffer::FromKernelBuffer(Args.Buffer))
    FIde.ShowMessage(Format(res::STermReadOnly, B->FileName()));
}

void TIdeHooks::Prepare(TSourceModule& Module) {
  TEditBuffer* B = Module.GetMainSource();
  if (!B) return;
  Highlight(*B);
  FElisions[&Module] = FFolding->EditorOpened(Module.ShowEditor().EkView(), B->FileName());
  Module.CodeIModule().AddNotifier(std::make_shared<TModuleWatch>(*this, Module));
}

void TIdeHooks::Highlight(TEditBuffer& Buffer) {
  if (THighlighter* H = HighlighterForFile(FModules->Options().SourceOptionGroups(), Buffer.FileName())) {
    const int I = HighlightManager().LookupHighlighter(H->GetIDString());
    if (I >= 0) Buffer.SetSyntaxLang(HighlightManager().GetSyntaxCode(I));
  }
}

void TIdeHooks::Forget(TSourceModule* Module) {
  auto It = FElisions.find(Module);
  if (It == FElisions.end()) return;
  if (It->second) FFolding->EditorClosed(It->second.get());
  FElisions.erase(It);
}

TProjectGroup* TIdeHooks::OpenGroup(const std::string& FileName, TBaseProject*& Project) {
  const std::string Ext = ExtractFileExt(FileName);
  Project = nullptr;
  if (Ext == ".groupproj" || Ext == ".nxsgroup") {
    FGroup = TProjectGroup::OpenGroup(FileName);
    return FGroup;
  }
  FProject = dynamic_cast<TBaseProject*>(CallDefaultOpenProc(FileName, false, nullptr));
  if (!FProject) throw Exception(Format(res::STermNotAProject, FileName));
  Project = FProject;
  return nullptr;
}

TSourceModule* TIdeHooks::OpenDesktop(const std::string& FileName) {
  FDesktop = std::make_unique<script::TEdDesktop>(*FModules, FileName, true);
  try {
    return &FModules->Current();
  } catch (const Exception&) {
    return nullptr;  // the desktop opened nothing
  }
}

void TIdeHooks::StartAutoRecover(std::function<void()> Offer) {
  TAutoRecoverIDENotifier* N = AutoRecover();
  if (!N || N->Started()) return;
  FAutoRecover = N;
  N->OnRecoveredFiles = std::move(Offer);
  N->ProductStarted(FModules->Options());
  N->SetTimerDriver(MakeMainThreadTimerDriver(N->Timer()));
}

// ---- builds and searches ----

TCustomCodeIProject* TIdeHooks::CurrentProject() {
  TCustomCodeIProject* Project = nullptr;
  const std::string File = FIde.CurrentModule() ? FIde.CurrentModule()->GetFileName() : std::string();
  if (!File.empty()) Project = ProjectOfFile(File);
  if (!Project && FGroup) Project = dynamic_cast<TCustomCodeIProject*>(FGroup->ActiveProject());
  if (!Project) Project = dynamic_cast<TCustomCodeIProject*>(FProject);
  if (!Project) throw Exception(Format(res::STermNoProject, File));
  StartBuilders();
  return Project;
}

TCustomCodeIProject* TIdeHooks::ProjectToRun() {
  if (FGroup || FProject) {
    auto* Project = dynamic_cast<TCustomCodeIProject*>(FGroup ? FGroup->ActiveProject() : FProject);
    if (!Project) throw Exception(Format(res::STermNotAProject, FGroup ? FGroup->GetFileName() : FProject->GetFileName()));
    StartBuilders();
    return Project;
  }
  return CurrentProject();
}

void TIdeHooks::StartBuilders() {
  if (FBuildersStarted) return;
  InitProjectBuilders();
  FBuildersStarted = true;
}

void TIdeHooks::Build(const std::string& ModeWord) {
  TCompileMode Mode = cmMake;
  if (!ModeWord.empty() && !CompileModeFromWord(ModeWord, Mode)) throw Exception(Format(res::STermBuildMode, ModeWord));
  TCustomCodeIProject* Project = CurrentProject();
  // In the background: the editor stays in the user's hands, and the compiler reads the
  // unsaved text from copies the build makes, never from a save.
  TProjectBuildList List(TEngineRunSwitches{0, true, true});
  List.Add(Project);
  FWantMessages = true;
  BuildProjects(List, TBuildControl::Create(Mode, false, true, false, false, true, false));
}

void TIdeHooks::Grep(const std::string& Text) {
  TFindRequest R;
  R.Text = Text;
  R.Scope = FGroup ? asProjectGroup : FProject ? asProjectFiles : asFileMask;
  R.Masks = "*.*";
  R.Directories = ".";
  R.Advanced = AdvFlag(asfIncludeSubDirs) | AdvFlag(asfGroupByFile);
  StartFind(std::move(R));
}

void TIdeHooks::StartFind(TFindRequest Request) {
  FWantMessages = true;
  DoFindInFiles(Request);
  if (TThreadSearch* S = RunningSearch(); S && S->Group()) LineBufferList().SetCurrentGroup(S->Group());
}

bool TIdeHooks::StopFind() {
  TThreadSearch* S = RunningSearch();
  if (!S || S->Finished()) return false;
  TerminateFindInFiles();
  FIde.ShowMessage(res::STermSearchStopped);
  return true;
}

bool TIdeHooks::Busy() const {
  const TThreadSearch* S = RunningSearch();
  return BuildHost().Building() || (S && !S->Finished());
}

bool TIdeHooks::MessagesWanted() { return std::exchange(FWantMessages, false); }

std::string TIdeHooks::ProgressText() const {
  if (BuildHost().Building()) {
    const TProgressMonitor& M = ProgressMonitor();
    std::string T = Format(res::STermBuilding, M.Project().empty() ? M.Title() : ExtractFileName(M.Project()));
    if (!M.FileName().empty()) T += ": " + ExtractFileName(M.FileName());
    return T;
  }
  const TThreadSearch* S = RunningSearch();
  if (S && !S->Finished()) return Format(res::STermSearching, S->HitCount());
  return {};
}

// ---- editing ----

void TIdeHooks::ToggleFold(TEditView& View) { ToggleElide(View.EkView()); }

bool TIdeHooks::SyncEdit(TEditView& View) {
  if (!BlockIsMarked(View.EkView())) return false;
  return SyncEditManager().SyncEditBlock(View);
}

}  // namespace nxs::term
