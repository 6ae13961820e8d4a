// The debugger's marks on the lines of open edit buffers: each enabled source breakpoint's
// line carries the breakpoint flag, and the line where the current process stopped carries
// the execution point. They follow every breakpoint notice, every change of the process's
// state and every module opened, so that each editor's gutter shows them as they are.
#pragma once

#include <string>
#include <vector>

namespace nxs {

class TDebuggerMgr;
class TDocModule;
class TEditBuffer;
class TEvModuleSender;
class TEvProcessEvent;
class TEvSourceBreakpoint;

class TDebugLineMarks {
 public:
  // Marks the buffers open now and follows Mgr's notices until it goes.
  explicit TDebugLineMarks(TDebuggerMgr& Mgr);
  ~TDebugLineMarks();
  TDebugLineMarks(const TDebugLineMarks&) = delete;  // the manager's events point at it
  TDebugLineMarks& operator=(const TDebugLineMarks&) = delete;

  // Puts the marks of every open buffer in step with the breakpoints and the execution point.
  void UpdateAll();

 private:
  void BreakpointNotice(TEvSourceBreakpoint& Ev);
  void ProcessNotice(TEvProcessEvent& Ev);
  void ModuleCreated(TEvModuleSender& Ev);
  void UpdateModule(TDocModule& Module);
  void UpdateBuffer(TEditBuffer& Buffer);

  TDebuggerMgr& FMgr;
  // Where the current process stopped; empty while it runs or when there is none.
  std::string FStopFile;
  int FStopLine = 0;
};

// The marked lines of a buffer, one record each in line order: "LINE" and the marks it
// carries ("breakpoint", "execution-point", "error"), as the gutter shows them.
std::vector<std::string> LineMarkRecords(TEditBuffer& Buffer);

}  // namespace nxs
