#include "terminal/debugpanes.h"

#include <filesystem>

#include "debugger/breakpoints.h"
#include "debugger/debugmgr.h"
#include "debugger/debugproject.h"
#include "debugger/debugscript.h"
#include "debugger/resstrings.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "environment/desktop.h"
#include "environment/layouts.h"
#include "modules/inifile.h"
#include "modules/modulelist.h"
#include "modules/sourcemodule.h"
#include "shared/exceptions.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"
#include "terminal/resstrings.h"

namespace nxs::term {

namespace {

constexpr const char* LayoutSection = "TerminalPanes";
constexpr const char* LayoutKey = "Debug";
constexpr const char* PaneNames[TDebugPanes::dpCount] = {"CallStack", "Locals", "Breakpoints", "Threads", "EventLog"};

bool IsStopped(TOTAProcessState S) { return S == psStopped || S == psFault || S == psException; }

std::string Place(const std::string& FileName, int Line) {
  return FileName.empty() ? std::string("??") : ExtractFileName(FileName) + ":" + std::to_string(Line);
}

}  // namespace

void TRowsPane::Activate(int Index) {
  const TRow& R = Rows.at(static_cast<size_t>(Index));
  if (FShow && !R.FileName.empty() && R.Line > 0) FShow(R.FileName, R.Line);
}

// Keeps which panes show in the desktop's layouts. A layout without the section leaves the
// arrangement as it is.
class TDebugPanes::TLayoutLoader : public TDesktopWindowLoader {
 public:
  explicit TLayoutLoader(TDebugPanes& Panes) : FPanes(Panes) {}
  void LoadWindows(TCustomIniFile& Ini) override {
    Read = !Ini.ReadSection(LayoutSection).empty();
    if (Read) FPanes.SetArrangement(Ini.ReadString(LayoutSection, LayoutKey, ""));
  }
  void SaveWindows(TCustomIniFile& Ini) override { Ini.WriteString(LayoutSection, LayoutKey, FPanes.Arrangement()); }
  bool Read = false;  // whether the last layout loaded held the arrangement

 private:
  TDebugPanes& FPanes;
};

TDebugPanes::TDebugPanes(TDebuggerMgr& Mgr, THost Host) : FMgr(Mgr), FHost(std::move(Host)) {
  const char* Titles[dpCount] = {res::STermCallStack, res::STermLocals, res::STermBreakpoints, res::STermThreads,
                                 res::STermEventLog};
  for (int K = 0; K < dpCount; ++K) FPanes[K] = std::make_unique<TRowsPane>(PaneNames[K], Titles[K], FHost.ShowSource);
  FScript = std::make_unique<TDebugScript>(
      FMgr,
      [this](const std::string& Line) {
        if (FCollect) FCollect->append(Line).push_back('\n');
        else if (FHost.Message) FHost.Message(Line);
      },
      [] {
        std::error_code Ec;  // a folder removed under the IDE leaves names as they are given
        return std::filesystem::current_path(Ec).string();
      }());
  FMgr.FEvProcessCreated.Add(this, &TDebugPanes::ProcessCreated);
  FMgr.FEvProcessDestroyed.Add(this, &TDebugPanes::ProcessDestroyed);
  FMgr.FEvProcessStateChanged.Add(this, &TDebugPanes::StateChanged);
  FMgr.FEvLogStringListChanged.Add(this, [this](TEvDebugNotify& Ev) { LogChanged(Ev); });
  FMgr.FEvThreadListChanged.Add(this, [this](TEvProcessEvent&) { Snapshot(); });
  FMgr.Breakpoints().EvSourceBreakpointAdded().Add(this, &TDebugPanes::BreakpointsChanged);
  FMgr.Breakpoints().EvSourceBreakpointChanged().Add(this, &TDebugPanes::BreakpointsChanged);
  FMgr.Breakpoints().EvSourceBreakpointDeleted().Add(this, &TDebugPanes::BreakpointsChanged);
  FLoader = std::make_shared<TLayoutLoader>(*this);
  DesktopWindowLoaders().RegisterDesktopWindowLoader(FLoader);
  UpdateBreakpoints();
}

TDebugPanes::~TDebugPanes() {
  // The program goes with the IDE: nothing it started outlives it.
  FScript->Finish();
  DesktopWindowLoaders().UnRegisterDesktopWindowLoader(FLoader.get());
  FMgr.Breakpoints().EvSourceBreakpointAdded().Remove(this, &TDebugPanes::BreakpointsChanged);
  FMgr.Breakpoints().EvSourceBreakpointChanged().Remove(this, &TDebugPanes::BreakpointsChanged);
  FMgr.Breakpoints().EvSourceBreakpointDeleted().Remove(this, &TDebugPanes::BreakpointsChanged);
  FMgr.FEvProcessCreated.Remove(this, &TDebugPanes::ProcessCreated);
  FMgr.FEvProcessDestroyed.Remove(this, &TDebugPanes::ProcessDestroyed);
  FMgr.FEvProcessStateChanged.Remove(this, &TDebugPanes::StateChanged);
  FMgr.FEvLogStringListChanged.Remove(this);
  FMgr.FEvThreadListChanged.Remove(this);
  FScript.reset();
  if (FMgr.ProjectHost() == FProjectHost.get()) FMgr.SetProjectHost(nullptr);
}

// ---- the arrangement ----

std::vector<TRowsPane*> TDebugPanes::Visible() {
  std::vector<TRowsPane*> V;
  for (int K = 0; K < dpCount; ++K)
    if (FShown[K]) V.push_back(FPanes[K].get());
  return V;
}

std::string TDebugPanes::Arrangement() const {
  std::string Names;
  for (int K = 0; K < dpCount; ++K)
    if (FShown[K]) Names += (Names.empty() ? "" : ",") + std::string(PaneNames[K]);
  return Names;
}

void TDebugPanes::SetArrangement(const std::string& Names) {
  FShown.fill(false);
  for (const std::string& N : Split(Names, ','))
    for (int K = 0; K < dpCount; ++K)
      if (SameText(Trim(N), PaneNames[K])) FShown[K] = true;
}

// ---- the manager's events ----

void TDebugPanes::ProcessCreated(TEvProcessEvent&) {
  // The first program of a session puts the debug layout in force; without a layout in
  // force, every pane shows while programs run.
  TDesktopStates& States = DesktopStates();
  FLoader->Read = false;
  if (States.Selected()) {
    try {
      States.ProcessCreated(FMgr.GetProcessCount() == 1, false);
    } catch (const Exception& E) {
      if (FHost.Message) FHost.Message(E.Message());
    }
  }
  if (!States.Selected() || (!FLoader->Read && Visible().empty())) {
    FShownWithoutLayout = true;
    FShown.fill(true);
  }
  Snapshot();
}

void TDebugPanes::ProcessDestroyed(TEvProcessEvent&) {
  if (FMgr.GetProcessCount() > 0) return Snapshot();
  Ended();
}

void TDebugPanes::Ended() {
  ShowExecutionPoint("", 0);
  Snapshot();
  if (FShownWithoutLayout) {
    FShownWithoutLayout = false;
    FShown.fill(false);
  }
  try {
    DesktopStates().ProcessTerminated(true);
  } catch (const Exception& E) {
    if (FHost.Message) FHost.Message(E.Message());
  }
}

void TDebugPanes::StateChanged(TEvProcessEvent& Ev) {
  const TOTAProcessState S = Ev.Process->GetState();
  if (S == psTerminated) {
    if (FMgr.GetProcessCount() <= 1) {
      ShowExecutionPoint("", 0);
      Snapshot();
    }
    return;
  }
  Snapshot();
  if (!IsStopped(S)) return ShowExecutionPoint("", 0);
  std::shared_ptr<IOTAThread> T = Ev.Process->GetCurrentThread();
  if (!T) return;
  const std::string File = T->GetCurrentFile();
  const int Line = T->GetCurrentLine();
  if (File.empty() || Line < 1) return ShowExecutionPoint("", 0);
  if (FHost.ShowSource) {
    try {
      FHost.ShowSource(File, Line);
    } catch (const Exception& E) {
      if (FHost.Message) FHost.Message(E.Message());
    }
  }
  ShowExecutionPoint(File, Line);
}

void TDebugPanes::LogChanged(TEvArgs&) {
  TRowsPane& P = *FPanes[dpEventLog];
  P.Rows.clear();
  for (int I = 0; I < FMgr.GetLogCount(); ++I) P.Rows.push_back({FMgr.GetLogItem(I).LogItem, "", 0});
  P.Select(P.Count() - 1);  // the log follows its end
}

void TDebugPanes::BreakpointsChanged(TEvSourceBreakpoint&) { UpdateBreakpoints(); }

void TDebugPanes::Snapshot() {
  std::vector<TRowsPane::TRow> Stack, Vars, Threads;
  std::shared_ptr<IOTAProcess> P = FMgr.GetCurrentProcess();
  if (P && IsStopped(P->GetState())) {
    if (std::shared_ptr<IOTAThread> T = P->GetCurrentThread()) {
      for (const TOTAStackFrame& F : T->GetStackFrames(-1))
        Stack.push_back({"#" + std::to_string(F.Level) + " " + F.Function + " " + Place(F.FileName, F.LineNumber),
                         F.FileName, F.LineNumber});
      for (const TOTAVariable& V : T->GetArguments(0)) Vars.push_back({V.Name + " = " + V.Value, "", 0});
      for (const TOTAVariable& V : T->GetLocals(0)) Vars.push_back({V.Name + " = " + V.Value, "", 0});
    }
  }
  if (P && P->GetState() != psTerminated) {
    std::shared_ptr<IOTAThread> Current = P->GetCurrentThread();
    for (int I = 0; I < P->GetThreadCount(); ++I) {
      std::shared_ptr<IOTAThread> T = P->GetThread(I);
      if (!T) continue;
      Threads.push_back({std::string(T == Current ? "* " : "  ") + std::to_string(T->GetThreadId()) + " " + T->GetName() +
                             " " + ProcessStateName(T->GetState()) + " " + Place(T->GetCurrentFile(), T->GetCurrentLine()),
                         T->GetCurrentFile(), T->GetCurrentLine()});
    }
  }
  FPanes[dpCallStack]->Rows = std::move(Stack);
  FPanes[dpLocals]->Rows = std::move(Vars);
  FPanes[dpThreads]->Rows = std::move(Threads);
}

// ---- the gutter ----

void TDebugPanes::ShowExecutionPoint(const std::string& FileName, int Line) {
  if (!FCpuFile.empty() && (FCpuFile != FileName || FCpuLine != Line))
    if (std::shared_ptr<TEditBuffer> B = TEditBuffer::FindBuffer(FCpuFile)) B->ClearCPULine();
  FCpuFile = FileName;
  FCpuLine = Line;
  if (!FileName.empty())
    if (std::shared_ptr<TEditBuffer> B = TEditBuffer::FindBuffer(FileName)) B->SetCPULine(Line);
}

void TDebugPanes::MarkBuffer(TEditBuffer& Buffer) {
  TBreakpointManager& M = FMgr.Breakpoints();
  std::vector<int32_t> Lines;
  for (int I = 0; I < M.GetCount(); ++I)
    if (M.GetBreakpoint(I)->GetFileName() == Buffer.FileName()) Lines.push_back(M.GetBreakpoint(I)->GetLineNumber());
  Buffer.SetBreakMarks(Lines);
  if (!FCpuFile.empty() && FCpuFile == Buffer.FileName()) Buffer.SetCPULine(FCpuLine);
}

void TDebugPanes::UpdateBreakpoints() {
  TBreakpointManager& M = FMgr.Breakpoints();
  TRowsPane& P = *FPanes[dpBreakpoints];
  P.Rows.clear();
  for (int I = 0; I < M.GetCount(); ++I) {
    const TBreakpoint& B = *M.GetBreakpoint(I);
    std::string Hint = ReplaceAllText(B.GetHintText(), nxs::res::SBpActionSeparator, ", ");
    Hint = ReplaceAllText(Hint, "\n", " | ");
    P.Rows.push_back({Place(B.GetFileName(), B.GetLineNumber()) + (B.GetEnabled() ? "" : std::string(" ") + res::STermDisabled) +
                          " | " + Hint,
                      B.GetFileName(), B.GetLineNumber()});
  }
  for (TDocModule* D : ModuleList().Snapshot())
    if (auto* S = dynamic_cast<TSourceModule*>(D))
      if (TEditBuffer* B = S->GetMainSource()) MarkBuffer(*B);
}

// ---- commands ----

bool TDebugPanes::Command(const std::string& Word, const std::string& Rest, TEditView* View, std::string& Output) {
  static const char* const Words[] = {"Run",   "Debug",       "StepOver", "StepInto",  "StepOut",     "RunToCursor",
                                      "Pause", "Reset",       "Eval",     "Stack",     "Locals",      "Threads",
                                      "Toggle", "Break",      "Breakpoints", "Log",    "EnableGroup", "DisableGroup",
                                      "SetNext"};
  bool Known = false;
  for (const char* W : Words) Known = Known || Word == W;
  if (!Known) return false;
  std::string Line = (Word == "Debug" ? std::string("Run") : Word) + (Rest.empty() ? "" : " " + Rest);
  if ((Word == "Toggle" || Word == "RunToCursor" || Word == "SetNext") && Rest.empty()) {
    // The line of the cursor in the file shown.
    if (!View || View->Buffer().FileName().empty()) throw Exception(res::STermNoLine);
    Line = Word + " " + View->Buffer().FileName() + ":" + std::to_string(View->Cursor().LineNum);
  }
  if (Line == "Run" && FMgr.GetProcessCount() == 0) {
    // A new run: the project to run is the one the IDE builds.
    TCustomCodeIProject* Project = FHost.Project ? FHost.Project() : nullptr;
    if (!Project) throw Exception(res::STermNoDebugProject);
    FProjectHost = std::make_shared<TDebugProjectHost>(*Project, "");
    FMgr.SetProjectHost(FProjectHost);
  }
  FCollect = &Output;
  try {
    FScript->Execute(Line);
  } catch (...) {
    FCollect = nullptr;
    throw;
  }
  FCollect = nullptr;
  return true;
}

}  // namespace nxs::term
