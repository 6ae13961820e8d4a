// Debug scripts: the commands of a debugging session as lines of text (Run, StepOver,
// Break FILE:LINE condition=..., Eval EXPR, Wait, ...) run against the debugger manager, with
// every answer written as one record per line: each stop as "stopped FILE:LINE REASON",
// each end as "ended EXITCODE". The command line host and the editor sessions run them.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "debugger/debugmgr.h"

namespace nxs {

class TBreakpoint;

// A breakpoint as one line: "FILE:LINE enabled | " and its hint text, line breaks made " | ".
std::string BreakpointRecord(const TBreakpoint& Breakpoint);

class TDebugScript {
 public:
  using TWriteLine = std::function<void(const std::string& Line)>;

  // BaseDir: what relative file names are relative to.
  TDebugScript(TDebuggerMgr& Mgr, TWriteLine Out, std::string BaseDir);
  ~TDebugScript();
  TDebugScript(const TDebugScript&) = delete;  // the manager's events point at it
  TDebugScript& operator=(const TDebugScript&) = delete;

  // A breakpoint from "FILE:LINE[:CONDITION]".
  void AddBreakpointText(const std::string& Text);
  // Runs one command; raises Exception for an unknown command, bad arguments or what the
  // command itself raises.
  void Execute(const std::string& Line);
  // Runs every line of Text; an error names its line.
  void RunScript(const std::string& Text);
  // Runs the main thread's work until the current process stops or ends; raises Exception
  // when it still runs after Seconds.
  void Wait(double Seconds);
  // Resets every process that is left and waits (bounded) for it to go, so that nothing the
  // session started outlives it.
  void Finish();

  // "FILE:LINE" (and what follows a further colon, in Rest) with FILE made absolute;
  // false when Text is not one.
  [[nodiscard]] bool ParseLocation(const std::string& Text, std::string& FileName, int& Line, std::string* Rest) const;

 private:
  void StateChanged(TEvProcessEvent& Ev);
  void Ended(TEvProcessEvent& Ev);
  void Break(const std::string& Args);
  std::shared_ptr<IOTAThread> StoppedThread();

  TDebuggerMgr& FMgr;
  TWriteLine FOut;
  std::string FBaseDir;
  // The process whose end was written, so that a state change and its destruction give one
  // "ended" line.
  const IOTAProcess* FEnded = nullptr;
};

}  // namespace nxs
