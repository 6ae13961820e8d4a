// The debugger in the terminal IDE: the panes that show a debugged program (its call stack,
// the arguments and locals of the stopped frame, the breakpoints with their hint texts, the
// threads, the event log), the gutter marks of the breakpoints and of the execution point,
// the debug commands of the prompt, and the panes' arrangement, which a layout keeps and which
// switches to the debug layout while a program runs.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "terminal/panes.h"

namespace nxs {
class TCustomCodeIProject;
class TDebugScript;
class TDebuggerMgr;
class TEditBuffer;
class TEvArgs;
class TEvProcessEvent;
class TEvSourceBreakpoint;
class TEditView;
class IDebugProjectHost;
}  // namespace nxs

namespace nxs::term {

// Rows read from a snapshot of the debugger; Enter on a row with a place shows it.
class TRowsPane : public TListPane {
 public:
  struct TRow {
    std::string Text;
    std::string FileName;
    int Line = 0;
  };
  using TShow = std::function<void(const std::string& FileName, int Line)>;
  TRowsPane(std::string Name, std::string Title, TShow Show)
      : FName(std::move(Name)), FTitle(std::move(Title)), FShow(std::move(Show)) {}
  const std::string& Name() const { return FName; }
  std::string Title() override { return FTitle; }
  int Count() override { return static_cast<int>(Rows.size()); }
  std::string RowText(int Index) override { return Rows.at(static_cast<size_t>(Index)).Text; }
  void Activate(int Index) override;
  std::vector<TRow> Rows;

 private:
  std::string FName, FTitle;
  TShow FShow;
};

class TDebugPanes {
 public:
  enum TKind { dpCallStack, dpLocals, dpBreakpoints, dpThreads, dpEventLog, dpCount };
  struct THost {
    // Shows a place: opens the file in a tab when needed and puts the cursor on the line.
    std::function<void(const std::string& FileName, int Line)> ShowSource;
    // The project the Run command starts: the current file's, else the active one.
    std::function<TCustomCodeIProject*()> Project;
    // What the debugger says between commands (a stop, the end): shown on the message line.
    std::function<void(const std::string& Text)> Message;
  };

  TDebugPanes(TDebuggerMgr& Mgr, THost Host);
  ~TDebugPanes();
  TDebugPanes(const TDebugPanes&) = delete;  // registered with the manager by address
  TDebugPanes& operator=(const TDebugPanes&) = delete;

  // A debug command of the prompt, by the names of debug scripts: Run (Debug), StepOver,
  // StepInto, StepOut, RunToCursor, Pause, Reset, Eval EXPR, Toggle [FILE:LINE], Break ...,
  // Stack, Locals, Threads, Breakpoints, Log. A Toggle without a place toggles the line of
  // View's cursor. False when Word names none; failures raise Exception.
  bool Command(const std::string& Word, const std::string& Rest, TEditView* View, std::string& Output);

  // The panes the layout shows, in their order.
  std::vector<TRowsPane*> Visible();
  TRowsPane& Pane(TKind Kind) { return *FPanes[Kind]; }
  // The arrangement as a layout keeps it: the names of the panes shown, comma-separated.
  std::string Arrangement() const;
  void SetArrangement(const std::string& Names);

  // Puts the breakpoints' marks (and the execution point, when it stands there) on a buffer
  // that just got a tab.
  void MarkBuffer(TEditBuffer& Buffer);

 private:
  class TLayoutLoader;
  void ProcessCreated(TEvProcessEvent& Ev);
  void ProcessDestroyed(TEvProcessEvent& Ev);
  void StateChanged(TEvProcessEvent& Ev);
  void LogChanged(TEvArgs& Ev);
  void BreakpointsChanged(TEvSourceBreakpoint& Ev);
  // Reads the stopped thread's stack, variables and the threads into the panes; with no
  // stopped process, empties them.
  void Snapshot();
  void ShowExecutionPoint(const std::string& FileName, int Line);
  void UpdateBreakpoints();
  void Ended();

  TDebuggerMgr& FMgr;
  THost FHost;
  std::array<std::unique_ptr<TRowsPane>, dpCount> FPanes;
  std::array<bool, dpCount> FShown{};
  std::unique_ptr<TDebugScript> FScript;
  std::string* FCollect = nullptr;  // where the script's lines go while a command runs
  std::shared_ptr<TLayoutLoader> FLoader;
  // The execution point as last shown.
  std::string FCpuFile;
  int FCpuLine = 0;
  // The panes came on without a layout to switch (none selected) and go when the program ends.
  bool FShownWithoutLayout = false;
  std::shared_ptr<IDebugProjectHost> FProjectHost;
};

}  // namespace nxs::term
