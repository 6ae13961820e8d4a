// The debugger kernel on gdb: each debugged process is a gdb session of its own. What gdb
// reports arrives on the session's reader thread, is queued, and is handled on the main
// thread (through the manager's PostDebugMessage), where the process, its threads, modules
// and planted breakpoints change and the notifiers hear of it.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "debugger/kernel.h"
#include "gdbmi/misession.h"

namespace nxs::gdbmi {

class TGdbKernel;
class TGdbProcess;

class TGdbModule : public IOTAModule {
 public:
  TGdbModule(std::string FileName, uint64_t Base, bool HasSymbols)
      : FFileName(std::move(FileName)), FBase(Base), FHasSymbols(HasSymbols) {}
  std::string GetModuleName() const override;
  std::string GetFileName() const override { return FFileName; }
  uint64_t GetBaseAddress() const override { return FBase; }
  bool GetHasSymbols() const override { return FHasSymbols; }

 private:
  std::string FFileName;
  uint64_t FBase;
  bool FHasSymbols;
};

class TGdbThread : public IOTAThread {
 public:
  TGdbThread(TGdbProcess& Process, int Id) : FProcess(&Process), FId(Id) {}
  int GetThreadId() const override { return FId; }
  int64_t GetOSThreadId() const override { return FOSId; }
  std::string GetName() const override { return FName; }
  TOTAProcessState GetState() const override;
  std::string GetCurrentFile() const override { return FFile; }
  int GetCurrentLine() const override { return FLine; }
  std::vector<TOTAStackFrame> GetStackFrames(int MaxFrames) override;
  std::vector<TOTAVariable> GetLocals(int Frame) override;
  std::vector<TOTAVariable> GetArguments(int Frame) override;
  TOTAEvaluateResult Evaluate(const std::string& Expression, int Frame, bool AllowSideEffects) override;

 private:
  friend class TGdbProcess;
  std::vector<TOTAVariable> Variables(int Frame, bool Arguments);
  TGdbProcess* FProcess;  // the process owns its threads; cleared when it goes
  int FId;
  int64_t FOSId = 0;
  std::string FName;
  std::string FFile;
  int FLine = 0;
  // gdb's level of the frame that is frame 0 here: at an exception, the frame that threw,
  // above those of the runtime that throws it.
  int FFrameBase = 0;
};

// Where one source breakpoint stands in one gdb session.
struct TPlantedBreakpoint {
  int Number = 0;  // gdb's number; 0 when planting failed
  std::string FileName;
  int LineNumber = 0;
  std::string ThreadCondition;
  bool Enabled = true;
  std::string Condition;
  int PassCount = 0;
};

class TGdbProcess : public IOTAProcess, public std::enable_shared_from_this<TGdbProcess> {
 public:
  TGdbProcess(TGdbKernel& Kernel, int Serial, TGdbOptions Options);
  ~TGdbProcess() override;
  TGdbProcess(const TGdbProcess&) = delete;  // its session's reader points at it
  TGdbProcess& operator=(const TGdbProcess&) = delete;

  int AddNotifier(std::shared_ptr<IOTAProcessNotifier> Notifier) override;
  void RemoveNotifier(int Index) override;
  int64_t GetProcessId() const override { return FPid; }
  std::string GetExeName() const override { return FExeName; }
  TOTAProcessState GetState() const override { return FState; }
  TOTAStopReason GetStopReason() const override { return FStopReason; }
  int GetExitCode() const override { return FExitCode; }
  std::string GetStopMessage() const override { return FStopMessage; }
  std::shared_ptr<IOTASourceBreakpoint> GetStopBreakpoint() const override { return FStopBreakpoint.lock(); }
  int GetThreadCount() const override { return static_cast<int>(FThreads.size()); }
  std::shared_ptr<IOTAThread> GetThread(int Index) const override;
  std::shared_ptr<IOTAThread> GetCurrentThread() const override;
  void SetCurrentThread(const std::shared_ptr<IOTAThread>& Thread) override;
  int GetModuleCount() const override { return static_cast<int>(FModules.size()); }
  std::shared_ptr<IOTAModule> GetModule(int Index) const override;
  bool IsBreakpointValid(const IOTABreakpoint& Breakpoint) override;

  int Serial() const { return FSerial; }
  TGdbSession& Session() { return *FSession; }
  // Starts gdb on the program and runs it (or attaches): raises EGdbError.
  void Load(const TOTALoadParams& Params);
  void Attach(int64_t ProcessId);
  // Resumes with an execution command ("-exec-continue", "-exec-next", ...); Stepping
  // marks the run as a step.
  void Resume(const std::string& Command, bool Stepping);
  void Interrupt();
  void RunToCursor(const std::string& FileName, int LineNumber);
  bool SetNextStatement(const std::string& FileName, int LineNumber, std::string& Error);
  void Detach();
  // Ends gdb and the program: the process is gone afterwards.
  void Terminate();

  // Source breakpoints, kept in step with the manager's.
  void PlantBreakpoint(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint);
  void ReplantBreakpoint(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint);
  void RemoveBreakpoint(const IOTASourceBreakpoint* Breakpoint);

  // The main thread's side: handles what the reader queued.
  void HandleQueued();
  void HandleOutput();
  bool Gone() const { return FGone; }
  // Stopped, so that threads can be asked (also while a breakpoint's actions run).
  bool Inspectable() const;

 private:
  friend class TGdbThread;
  void Queue(const TMIRecord* Record);
  void Handle(const TMIRecord& Record);
  void HandleStopped(const TMIValue& Results);
  void HandleExited(int ExitCode, const std::string& Message);
  void HandleBreakpointHit(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint, bool& Stop);
  // A C++ exception thrown: its class and the source line that threw it become the stop's,
  // and it is logged. False when exceptions are ignored now: the program then runs on.
  bool HandleException();
  // A breakpoint that does not stop was hit in the middle of a step: the step goes on toward
  // where it was headed. False when the step ends here (it reached another line of the
  // function it started in, or left it).
  bool ResumeStep();
  // The current thread's stack depth; -1 when gdb cannot tell.
  int StackDepth();
  // The class of the exception being thrown, from the throw probe of the C++ runtime.
  std::string ExceptionClass();
  // Stops at every C++ exception thrown, through gdb's throw catchpoint.
  void CatchExceptions();
  void SetState(TOTAProcessState State);
  std::shared_ptr<TGdbThread> FindThread(int Id) const;
  std::shared_ptr<IOTASourceBreakpoint> BreakpointOfNumber(int Number) const;
  void PlantAll();
  // Sends a command whose failure is only worth a line in the event log.
  std::optional<TMIRecord> TryExecute(const std::string& Command);
  void Log(const std::string& Text, TOTALogItemType Kind);
  void Notify(const std::function<void(IOTAProcessNotifier&)>& Call);

  TGdbKernel& FKernel;
  const int FSerial;
  int64_t FPid = 0;
  std::string FExeName;
  TOTAProcessState FState = psCreated;
  TOTAStopReason FStopReason = srNone;
  int FExitCode = 0;
  std::string FStopMessage;
  std::weak_ptr<IOTASourceBreakpoint> FStopBreakpoint;
  bool FStepping = false;
  // The step under way: its command, thread, line and stack depth (-1 while no breakpoint
  // that runs on could interrupt it), and the step command that follows a finish made to
  // climb back out of a function the step entered.
  std::string FStepCommand;
  int FStepThread = 0;
  std::string FStepFile;
  int FStepLine = 0;
  int FStepDepth = -1;
  std::string FStepResume;
  // The throw catchpoint is silenced while a step runs with exceptions ignored.
  bool FCatchMuted = false;
  bool FPauseRequested = false;
  bool FJumping = false;
  bool FInActions = false;
  int FCursorBreakpoint = 0;  // the temporary breakpoint of a run to cursor
  int FThrowCatchpoint = 0;   // gdb's number of the catchpoint of thrown exceptions; 0 without
  // Set by a breakpoint's action "ignore subsequent exceptions", cleared by "handle ...".
  bool FIgnoreExceptions = false;
  bool FGone = false;
  bool FExited = false;  // the program ended by itself, with FExitCode
  bool FAttached = false;
  std::vector<std::shared_ptr<TGdbThread>> FThreads;
  int FCurrentThread = 0;
  std::vector<std::shared_ptr<TGdbModule>> FModules;
  std::map<const IOTASourceBreakpoint*, std::pair<std::weak_ptr<IOTASourceBreakpoint>, TPlantedBreakpoint>> FPlanted;
  std::vector<std::pair<int, std::shared_ptr<IOTAProcessNotifier>>> FNotifiers;
  int FNextNotifier = 0;
  std::string FPartialOutput;  // the program's last line until its line break

  std::map<std::string, std::string> FBreakpointStands;  // the reader thread's own
  std::mutex FQueueLock;  // FQueue, FEnded: filled by the reader thread
  std::deque<TMIRecord> FQueue;
  bool FEnded = false;
  std::unique_ptr<TGdbSession> FSession;  // last: its reader stops before the queue goes
};

class TGdbKernel : public IOTADebugger, public std::enable_shared_from_this<TGdbKernel> {
 public:
  explicit TGdbKernel(TGdbOptions Options = {}) : FOptions(std::move(Options)) {}
  ~TGdbKernel() override;

  std::string GetIdentifier() const override { return "gdb"; }
  std::string GetDisplayName() const override { return "GNU gdb"; }
  void Registered(IOTADebuggerServices& Services) override;
  void Unregistered() override;
  int AddNotifier(std::shared_ptr<IOTADebuggerNotifier> Notifier) override;
  void RemoveNotifier(int Index) override;

  int GetProcessCount() const override { return static_cast<int>(FProcesses.size()); }
  std::shared_ptr<IOTAProcess> GetProcess(int Index) const override;
  std::shared_ptr<IOTAProcess> GetCurrentProcess() const override;
  void SetCurrentProcess(const std::shared_ptr<IOTAProcess>& Process) override;
  std::shared_ptr<IOTAProcess> LoadProcess(const TOTALoadParams& Params) override;
  std::shared_ptr<IOTAProcess> AttachToProcess(int64_t ProcessId) override;

  void Run(IOTAProcess& Process) override;
  void Pause(IOTAProcess& Process) override;
  bool Reset(IOTAProcess& Process) override;
  void Detach(IOTAProcess& Process) override;
  void StepInto(IOTAProcess& Process) override;
  void StepOver(IOTAProcess& Process) override;
  void StepOut(IOTAProcess& Process) override;
  void StepToNextSource(IOTAProcess& Process) override;
  void InstructionStepInto(IOTAProcess& Process) override;
  void InstructionStepOver(IOTAProcess& Process) override;
  void RunToCursor(IOTAProcess& Process, const std::string& FileName, int LineNumber) override;
  bool SetNextStatement(IOTAProcess& Process, const std::string& FileName, int LineNumber,
                        std::string& Error) override;
  void DebugMessageHook(intptr_t WParam, intptr_t LParam) override;
  uint32_t GetSupportedDebugCommands() const override;
  uint32_t GetEnabledDebugCommands() const override;

  void SourceBreakpointAdded(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) override;
  void SourceBreakpointChanged(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) override;
  void SourceBreakpointDeleted(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) override;

  // The process side's ways back: from any thread, and on the main thread.
  enum TMessage : intptr_t { wmRecords = 1, wmOutput = 2 };
  void Post(TMessage Message, int Serial);
  IOTADebuggerServices* Services() const { return FServices; }
  void ProcessEnded(TGdbProcess& Process);
  // The source breakpoints the manager handed over, planted in each new process.
  std::vector<std::shared_ptr<IOTASourceBreakpoint>> SourceBreakpoints() const;

 private:
  TGdbProcess* Find(IOTAProcess& Process) const;
  void NotifyAll(const std::function<void(IOTADebuggerNotifier&)>& Call);

  TGdbOptions FOptions;
  IOTADebuggerServices* FServices = nullptr;
  std::mutex FServicesLock;  // FServices for the readers' posts
  std::vector<std::shared_ptr<TGdbProcess>> FProcesses;
  std::weak_ptr<TGdbProcess> FCurrent;
  std::vector<std::pair<int, std::shared_ptr<IOTADebuggerNotifier>>> FNotifiers;
  int FNextNotifier = 0;
  int FNextSerial = 1;
  std::vector<std::weak_ptr<IOTASourceBreakpoint>> FBreakpoints;
};

}  // namespace nxs::gdbmi
