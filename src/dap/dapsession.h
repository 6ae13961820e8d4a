// The debugger side of a debug adapter session: each request's work on the debugger manager
// and its current kernel (launch or attach, breakpoints, execution, threads, frames and
// variables), and the events the manager's changes become. Requests arrive on the main thread
// and so do the manager's notices; the session raises Exception with the message to answer
// when a request cannot be served.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "debugger/kernel.h"

namespace nxs {
class TBreakpoint;
class TDebuggerMgr;
class TEvLogString;
class TEvProcessEvent;
class TProjectSession;
class TCustomCodeIProject;
}  // namespace nxs

namespace nxs::dap {

using json = nlohmann::json;

class TDapSession {
 public:
  // Emit sends one event: its name and body.
  using TEmit = std::function<void(const std::string& Event, json Body)>;
  TDapSession(TDebuggerMgr& Mgr, TEmit Emit);
  ~TDapSession();
  TDapSession(const TDapSession&) = delete;  // the manager's events and breakpoints point at it
  TDapSession& operator=(const TDapSession&) = delete;

  // The requests: each takes the request's arguments and returns its response's body.
  json Initialize(const json& Args);
  json Launch(const json& Args);
  json Attach(const json& Args);
  json SetBreakpoints(const json& Args);
  // The adapter offers no exception filters: a client that sends them anyway is answered.
  json SetExceptionBreakpoints(const json& Args);
  json ConfigurationDone(const json& Args);
  json Continue(const json& Args);
  json Next(const json& Args);
  json StepIn(const json& Args);
  json StepOut(const json& Args);
  json Pause(const json& Args);
  json Threads(const json& Args);
  json StackTrace(const json& Args);
  json Scopes(const json& Args);
  json Variables(const json& Args);
  json Evaluate(const json& Args);
  json Terminate(const json& Args);
  // Resets (or detaches from) what runs, keeps the breakpoints and ends the session's events.
  json Disconnect(const json& Args);

  // Tells the client of the breakpoints that changed since the last call: planted or moved
  // by the kernel ("changed"), added ("new") or deleted ("removed") by anyone else.
  void SyncBreakpoints();
  // The client went without a disconnect: what runs is reset, the breakpoints are kept.
  void Abandon();

 private:
  struct TKnownBreakpoint {
    int Id = 0;
    std::weak_ptr<TBreakpoint> Breakpoint;
    bool Verified = false;
    int Line = 0;
  };
  struct TFrameRef {
    int ThreadId = 0;
    int Level = 0;
  };
  // A scope of a frame, or a value whose parts the client may open (Parts).
  struct TScopeRef {
    int ThreadId = 0;
    int Level = 0;
    bool Arguments = false;
    bool Parts = false;
    std::string Value;
  };
  class TLogPointNotifier;
  class TBuildLines;

  void Emit(const std::string& Event, json Body);
  void StateChanged(TEvProcessEvent& Ev);
  void ProcessGone(TEvProcessEvent& Ev);
  void Logged(TEvLogString& Ev);
  // A log point's hit: its message with each "{expression}" evaluated where the program stands.
  void LogPointHit(IOTABreakpoint& Breakpoint);

  std::shared_ptr<IOTAProcess> Process() const;
  std::shared_ptr<IOTAProcess> StoppedProcess() const;
  std::shared_ptr<IOTAThread> Thread(int ThreadId) const;
  // The thread the arguments' "threadId" names made current, so that a step moves it.
  void SelectThread(const json& Args);
  void ForgetStop();
  // Makes the kernel ready and the session's project or program known: shared by launch and
  // attach.
  void Prepare();
  void LoadDesktopBreakpoints();
  void SaveBreakpoints();
  void WaitForProcesses();

  int ClientLine(int Line) const { return Line - 1 + FLineBase; }
  int OwnLine(int Line) const { return Line + 1 - FLineBase; }
  json Source(const std::string& FileName) const;
  json BreakpointBody(const TBreakpoint& Breakpoint, int Id) const;
  int Register(const std::shared_ptr<TBreakpoint>& Breakpoint);
  // The reference by which the client opens Value's parts; 0 when it has none.
  int ValueReference(const std::string& Value);

  TDebuggerMgr& FMgr;
  TEmit FEmit;
  int FLineBase = 1;
  int FColumnBase = 1;
  bool FStarted = false;   // launch or attach was served
  bool FRunning = false;   // the process was loaded or attached at configurationDone
  bool FAttach = false;
  bool FEntryPending = false;  // the launch stops at the entry, and has not stopped yet
  bool FEventsOff = false;  // after a disconnect
  int64_t FAttachId = 0;
  TOTALoadParams FLoadParams;
  std::unique_ptr<TProjectSession> FProjects;
  bool FBuildersStarted = false;
  std::string FDesktop;  // the project's desktop file; empty for a program
  std::set<std::string> FClientFiles;  // the files whose breakpoints the client set
  std::map<const IOTASourceBreakpoint*, TKnownBreakpoint> FKnown;
  int FNextBreakpointId = 1;
  std::vector<TFrameRef> FFrames;  // by frame id - 1, until the program runs on
  std::vector<TScopeRef> FScopes;  // by variables reference - 1, likewise, with the values opened
  bool FStopped = false;
  const IOTAProcess* FEnded = nullptr;  // the process whose end was told
  std::shared_ptr<TDapSession*> FSelf;  // cleared when the session goes: log points check it
};

}  // namespace nxs::dap
