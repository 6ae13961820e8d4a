// The debugger kernel interface: what a kernel (a plug-in that does the debugging, usually
// a package loaded with dlopen) implements, and what the debugger manager offers it.
//
// Protocol:
// - A kernel registers with the manager and is handed the manager's services
//   (IOTADebuggerServices) in Registered; it lets go of them in Unregistered.
// - Every call into a kernel, a process, a thread or a module comes from the main thread.
//   Commands (Run, the steps, Pause, Reset, Detach) return at once; what they lead to
//   arrives later through the notifiers.
// - A kernel's own threads never touch the environment. They hand their work to the main
//   thread with IOTADebuggerServices::PostDebugMessage, which comes back on the main thread
//   as a call of the kernel's DebugMessageHook, or with RequestCallback.
// - Notifiers are called on the main thread only. Their methods have empty defaults, so a
//   listener overrides what it wants, and the interface grows by adding methods.
// - Failures of an operation (no debugger program, a file that cannot run) are raised as
//   std::exception whose what() is the message to show the user.
//
// Only standard types cross this boundary, and every object is held by std::shared_ptr, so
// that a kernel built as a separate shared library shares no allocator or template state
// with the environment beyond the C++ runtime.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nxs {

class TCustomIniFile;

class IOTADebugger;
class IOTAProcess;
class IOTAThread;
class IOTAModule;
class IOTABreakpoint;
class IOTASourceBreakpoint;

// The state of a debugged process. A manager with no process answers psNoProcess.
enum TOTAProcessState : int {
  psCreated = 0,       // loaded or attached, not yet run
  psRunning = 1,
  psStepping = 2,      // running one step
  psStopping = 3,      // asked to pause, not yet stopped
  psStopped = 4,       // at a breakpoint, after a step or a pause
  psFault = 5,         // stopped by a fault (a signal such as SIGSEGV)
  psException = 6,     // stopped by a language exception
  psTerminated = 7,    // ended; the process's exit code is known
  psNoProcess = 8,
};

// Why a process stopped last, as a kernel reports it.
enum TOTAStopReason : int {
  srNone = 0,
  srBreakpoint,
  srStep,          // a step or step-out finished
  srCursor,        // run to cursor reached its line
  srPause,
  srFault,
  srException,
  srEntry,         // the program's entry point, when a load stops there
  srOther,
};

// The debugger commands, as bits of a set.
enum TOTADebugCommand : uint32_t {
  dcRun = 1u << 0,
  dcRunNoDebug = 1u << 1,
  dcPause = 1u << 2,
  dcReset = 1u << 3,
  dcDetach = 1u << 4,
  dcStepInto = 1u << 5,
  dcStepOver = 1u << 6,
  dcStepOut = 1u << 7,
  dcStepToNextSource = 1u << 8,
  dcInstructionStepInto = 1u << 9,
  dcInstructionStepOver = 1u << 10,
  dcRunToCursor = 1u << 11,
  dcSetNextStatement = 1u << 12,
  dcLoadProcess = 1u << 13,
  dcAttachToProcess = 1u << 14,
  dcEvaluate = 1u << 15,
  dcInspect = 1u << 16,
};

// Kinds of event log lines; the debugger options choose which ones are kept.
enum TOTALogItemType : int {
  litDefault = 0,   // kept always
  litProcess,       // process created, ended, state
  litThread,
  litModule,
  litBreakpoint,    // hits, and the messages of breakpoint actions
  litOutput,        // the debuggee's standard output and error
  litKernel,        // the kernel's own messages (warnings, the debugger program's notes)
};

// Where a source breakpoint stands with a kernel that plants it.
enum TOTABreakpointPlanting : int {
  bpUnplanted = 0,   // no process, or not yet handed to the kernel
  bpPending,         // its file belongs to a library not loaded yet; plants when it loads
  bpPlanted,         // planted, at the verified line
  bpInvalid,         // the kernel could not plant it (no code at or after the line)
};

// What a breakpoint notifier's Trigger answers when it leaves the hit to the default.
constexpr int btDefault = 2;

// How a kernel loads a program.
struct TOTALoadParams {
  std::string ExeName;            // the program, an absolute path
  std::string Parameters;         // the run parameters, as one command-line string
  std::string WorkingDirectory;   // empty: the program's folder
  std::vector<std::string> Environment;  // "NAME=VALUE" added to the environment
  bool StopAtEntry = false;       // stop at the program's entry before it runs
};

struct TOTAStackFrame {
  int Level = 0;                  // 0 is the innermost frame
  std::string Function;
  std::string FileName;           // empty when the frame has no source
  int LineNumber = 0;             // 0 when the frame has no source
  uint64_t Address = 0;
  std::string ModuleName;
};

struct TOTAVariable {
  std::string Name;
  std::string Value;
  std::string TypeName;
};

struct TOTAEvaluateResult {
  bool Ok = false;
  std::string Value;              // the result when Ok
  std::string TypeName;
  std::string Error;              // the reason when not Ok
};

// ---------------------------------------------------------------------------------------
// Notifiers a kernel, a process and a breakpoint call.

class IOTADebuggerNotifier {
 public:
  virtual ~IOTADebuggerNotifier() = default;
  virtual void ProcessCreated(const std::shared_ptr<IOTAProcess>& /*Process*/) {}
  virtual void ProcessDestroyed(const std::shared_ptr<IOTAProcess>& /*Process*/) {}
  virtual void CurrentProcessChanged(const std::shared_ptr<IOTAProcess>& /*Process*/) {}
  // Breakpoints the kernel holds itself (address, data, module load).
  virtual void BreakpointAdded(const std::shared_ptr<IOTABreakpoint>& /*Breakpoint*/) {}
  virtual void BreakpointChanged(const std::shared_ptr<IOTABreakpoint>& /*Breakpoint*/) {}
  virtual void BreakpointDeleted(const std::shared_ptr<IOTABreakpoint>& /*Breakpoint*/) {}
};

class IOTAProcessNotifier {
 public:
  virtual ~IOTAProcessNotifier() = default;
  // The state moved; for a stop, the current thread's top frame is the place.
  virtual void ProcessStateChanged(const std::shared_ptr<IOTAProcess>& /*Process*/) {}
  virtual void ThreadCreated(const std::shared_ptr<IOTAProcess>& /*Process*/, const std::shared_ptr<IOTAThread>& /*Thread*/) {}
  virtual void ThreadDestroyed(const std::shared_ptr<IOTAProcess>& /*Process*/, const std::shared_ptr<IOTAThread>& /*Thread*/) {}
  virtual void ThreadStateChanged(const std::shared_ptr<IOTAProcess>& /*Process*/, const std::shared_ptr<IOTAThread>& /*Thread*/) {}
  virtual void CurrentThreadChanged(const std::shared_ptr<IOTAProcess>& /*Process*/, const std::shared_ptr<IOTAThread>& /*Thread*/) {}
  virtual void ThreadListChanged(const std::shared_ptr<IOTAProcess>& /*Process*/) {}
  virtual void ModuleCreated(const std::shared_ptr<IOTAProcess>& /*Process*/, const std::shared_ptr<IOTAModule>& /*Module*/) {}
  virtual void ModuleDestroyed(const std::shared_ptr<IOTAProcess>& /*Process*/, const std::shared_ptr<IOTAModule>& /*Module*/) {}
  virtual void MemoryChanged(const std::shared_ptr<IOTAProcess>& /*Process*/, uint64_t /*Address*/, uint64_t /*Size*/) {}
  virtual void RootScopeChanged(const std::shared_ptr<IOTAProcess>& /*Process*/) {}
};

class IOTABreakpointNotifier {
 public:
  virtual ~IOTABreakpointNotifier() = default;
  // A hit: below btDefault decides what the kernel does (the kernel gives 0 and 1 their
  // meaning); btDefault leaves it to the breakpoint's own actions.
  virtual int Trigger(IOTABreakpoint& /*Breakpoint*/) { return btDefault; }
  // The user asks to edit the breakpoint; true when the notifier showed its own editor.
  virtual bool Edit(IOTABreakpoint& /*Breakpoint*/, bool /*AllowKeyChanges*/) { return false; }
  virtual void Modified(IOTABreakpoint& /*Breakpoint*/) {}
  virtual void Destroyed(IOTABreakpoint& /*Breakpoint*/) {}
};

// ---------------------------------------------------------------------------------------
// Breakpoints. Source breakpoints belong to the manager and are handed to every kernel;
// a kernel keeps its own planted copy in step through the source-breakpoint notices of
// IOTADebugger. Kernel-held breakpoints implement IOTABreakpoint themselves.

class IOTABreakpoint {
 public:
  virtual ~IOTABreakpoint() = default;

  virtual int AddNotifier(std::shared_ptr<IOTABreakpointNotifier> Notifier) = 0;
  virtual void RemoveNotifier(int Index) = 0;
  // Asks the notifiers in order; the first answer below btDefault is the result.
  virtual int Trigger() = 0;
  virtual int DefaultTrigger() = 0;
  virtual bool Edit(bool AllowKeyChanges) = 0;

  virtual bool GetEnabled() const = 0;
  virtual void SetEnabled(bool Value) = 0;
  // The condition: stop only when it is true. Empty: always.
  virtual std::string GetExpression() const = 0;
  virtual void SetExpression(const std::string& Value) = 0;
  // Stop only on this pass (0: every pass). The kernel counts the passes and keeps
  // CurPassCount up to date when it stops or when asked.
  virtual int GetPassCount() const = 0;
  virtual void SetPassCount(int Value) = 0;
  virtual int GetCurPassCount() const = 0;
  virtual void SetCurPassCount(int Value) = 0;
  // Lowers the passes so far by one; true when they reached 0.
  virtual bool DecPassCount() = 0;
  virtual void ResetPassCount() = 0;
  virtual std::string GetThreadCondition() const = 0;
  virtual void SetThreadCondition(const std::string& Value) = 0;
  virtual std::string GetGroupName() const = 0;
  virtual void SetGroupName(const std::string& Value) = 0;

  // Actions on a hit.
  virtual bool GetDoBreak() const = 0;
  virtual void SetDoBreak(bool Value) = 0;
  virtual std::string GetLogMessage() const = 0;
  virtual void SetLogMessage(const std::string& Value) = 0;
  virtual std::string GetEvalExpression() const = 0;
  virtual void SetEvalExpression(const std::string& Value) = 0;
  virtual bool GetLogResult() const = 0;
  virtual void SetLogResult(bool Value) = 0;
  virtual std::string GetEnableGroup() const = 0;
  virtual void SetEnableGroup(const std::string& Value) = 0;
  virtual std::string GetDisableGroup() const = 0;
  virtual void SetDisableGroup(const std::string& Value) = 0;
  virtual bool GetDoHandleExceptions() const = 0;
  virtual void SetDoHandleExceptions(bool Value) = 0;
  virtual bool GetDoIgnoreExceptions() const = 0;
  virtual void SetDoIgnoreExceptions(bool Value) = 0;
  // -1: every frame; 0: none.
  virtual int GetStackFramesToLog() const = 0;
  virtual void SetStackFramesToLog(int Value) = 0;

  // Groups many changes into one change notice.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;

  // Whether the breakpoint applies in Process (false without one).
  virtual bool ValidInProcess(const std::shared_ptr<IOTAProcess>& Process) = 0;
  virtual bool ValidInCurrentProcess() = 0;
  // The text that describes the breakpoint's condition, actions, group and passes.
  virtual std::string GetHintText() const = 0;
};

class IOTASourceBreakpoint : public IOTABreakpoint {
 public:
  virtual std::string GetFileName() const = 0;
  virtual void SetFileName(const std::string& Value) = 0;
  // Counted from 1.
  virtual int GetLineNumber() const = 0;
  virtual void SetLineNumber(int Value) = 0;

  // What the kernel reports after planting: where it stands and the line it actually
  // uses (which may follow the given one when that line has no code). Not a change of the
  // breakpoint: it sends no change notice.
  virtual void Verified(TOTABreakpointPlanting Planting, int VerifiedLine) = 0;
  virtual TOTABreakpointPlanting GetPlanting() const = 0;
  // 0 until a kernel verified the breakpoint.
  virtual int GetVerifiedLine() const = 0;
};

// ---------------------------------------------------------------------------------------
// The debugged program's objects.

class IOTAModule {
 public:
  virtual ~IOTAModule() = default;
  virtual std::string GetModuleName() const = 0;   // the short name
  virtual std::string GetFileName() const = 0;     // the full path
  virtual uint64_t GetBaseAddress() const = 0;
  virtual bool GetHasSymbols() const = 0;
};

class IOTAThread {
 public:
  virtual ~IOTAThread() = default;
  virtual int GetThreadId() const = 0;             // the kernel's number for the thread
  virtual int64_t GetOSThreadId() const = 0;
  virtual std::string GetName() const = 0;
  virtual TOTAProcessState GetState() const = 0;
  // Where the thread stands: its top frame's source, when it has one.
  virtual std::string GetCurrentFile() const = 0;
  virtual int GetCurrentLine() const = 0;

  // The following ask a stopped thread; a running one gives nothing (or Ok false).
  virtual std::vector<TOTAStackFrame> GetStackFrames(int MaxFrames) = 0;   // MaxFrames -1: all
  virtual std::vector<TOTAVariable> GetLocals(int Frame) = 0;
  virtual std::vector<TOTAVariable> GetArguments(int Frame) = 0;
  virtual TOTAEvaluateResult Evaluate(const std::string& Expression, int Frame, bool AllowSideEffects) = 0;
};

class IOTAProcess {
 public:
  virtual ~IOTAProcess() = default;
  virtual int AddNotifier(std::shared_ptr<IOTAProcessNotifier> Notifier) = 0;
  virtual void RemoveNotifier(int Index) = 0;

  virtual int64_t GetProcessId() const = 0;
  virtual std::string GetExeName() const = 0;
  virtual TOTAProcessState GetState() const = 0;
  virtual TOTAStopReason GetStopReason() const = 0;
  // The exit code once the state is psTerminated.
  virtual int GetExitCode() const = 0;
  // What stopped the process at a fault or exception ("SIGSEGV, Segmentation fault").
  virtual std::string GetStopMessage() const = 0;
  // The breakpoint the process stopped at, when it stopped at a source breakpoint.
  virtual std::shared_ptr<IOTASourceBreakpoint> GetStopBreakpoint() const = 0;

  virtual int GetThreadCount() const = 0;
  virtual std::shared_ptr<IOTAThread> GetThread(int Index) const = 0;
  virtual std::shared_ptr<IOTAThread> GetCurrentThread() const = 0;
  virtual void SetCurrentThread(const std::shared_ptr<IOTAThread>& Thread) = 0;
  virtual int GetModuleCount() const = 0;
  virtual std::shared_ptr<IOTAModule> GetModule(int Index) const = 0;

  // Whether the breakpoint can be planted in this process (its file is part of it).
  virtual bool IsBreakpointValid(const IOTABreakpoint& Breakpoint) = 0;
};

// The manager as a kernel sees it. PostDebugMessage and RequestCallback may be called from
// any thread; everything else from the main thread only.
class IOTADebuggerServices {
 public:
  virtual ~IOTADebuggerServices() = default;
  // Comes back on the main thread as Debugger's DebugMessageHook(WParam, LParam).
  virtual void PostDebugMessage(IOTADebugger& Debugger, intptr_t WParam, intptr_t LParam) = 0;
  // Runs Proc on the main thread.
  virtual void RequestCallback(std::function<void()> Proc) = 0;
  // Adds a line to the event log (the options decide whether a kind is kept).
  virtual void LogString(const std::string& Text, TOTALogItemType Kind) = 0;
  // The source breakpoints, in creation order.
  virtual int GetSourceBreakpointCount() const = 0;
  virtual std::shared_ptr<IOTASourceBreakpoint> GetSourceBreakpoint(int Index) const = 0;
  // Enables or disables every breakpoint of a group (a breakpoint action).
  virtual void EnableBreakpointGroup(const std::string& GroupName, bool Enable) = 0;
  // The folders where sources are looked for, separated by ";".
  virtual std::string GetDebugSourcePath() = 0;
};

// A kernel. Every command acts on the current process unless it names one.
class IOTADebugger {
 public:
  virtual ~IOTADebugger() = default;

  // The identifier "-debugger=" names (compared without regard to case), a display name
  // and a version for lists.
  virtual std::string GetIdentifier() const = 0;
  virtual std::string GetDisplayName() const = 0;
  virtual std::string GetVersion() const { return ""; }

  virtual void Registered(IOTADebuggerServices& /*Services*/) {}
  // The kernel goes (its package may be unloaded next): it ends its processes and threads
  // and removes every notifier it added to the environment's objects (breakpoints), since
  // the environment would otherwise call into code that is gone.
  virtual void Unregistered() {}

  virtual int AddNotifier(std::shared_ptr<IOTADebuggerNotifier> Notifier) = 0;
  virtual void RemoveNotifier(int Index) = 0;

  // Processes.
  virtual int GetProcessCount() const = 0;
  virtual std::shared_ptr<IOTAProcess> GetProcess(int Index) const = 0;
  virtual std::shared_ptr<IOTAProcess> GetCurrentProcess() const = 0;
  virtual void SetCurrentProcess(const std::shared_ptr<IOTAProcess>& Process) = 0;

  // Starts the program under the debugger, stopped at the entry when asked, else running
  // towards the first breakpoint. Raises std::exception when it cannot start.
  virtual std::shared_ptr<IOTAProcess> LoadProcess(const TOTALoadParams& Params) = 0;
  virtual std::shared_ptr<IOTAProcess> AttachToProcess(int64_t ProcessId) = 0;
  // Runs the program without the debugger.
  virtual void RunNoDebug(const TOTALoadParams& /*Params*/) {}

  // Commands on a process.
  virtual void Run(IOTAProcess& Process) = 0;
  virtual void Pause(IOTAProcess& Process) = 0;
  // Terminates the process; false when the kernel refuses.
  virtual bool Reset(IOTAProcess& Process) = 0;
  virtual void Detach(IOTAProcess& Process) = 0;
  virtual void StepInto(IOTAProcess& Process) = 0;
  virtual void StepOver(IOTAProcess& Process) = 0;
  virtual void StepOut(IOTAProcess& Process) = 0;
  virtual void StepToNextSource(IOTAProcess& Process) = 0;
  virtual void InstructionStepInto(IOTAProcess& Process) = 0;
  virtual void InstructionStepOver(IOTAProcess& Process) = 0;
  virtual void RunToCursor(IOTAProcess& Process, const std::string& FileName, int LineNumber) = 0;
  // Moves the execution point; false with the reason in Error when it cannot.
  virtual bool SetNextStatement(IOTAProcess& Process, const std::string& FileName, int LineNumber,
                                std::string& Error) = 0;

  // Handles the kernel's pending debug events now.
  virtual void ProcessDebugEvents() {}
  // The main-thread end of PostDebugMessage.
  virtual void DebugMessageHook(intptr_t WParam, intptr_t LParam) = 0;

  // What the kernel offers.
  virtual uint32_t GetSupportedDebugCommands() const = 0;
  // The commands that make sense now (a stopped process steps, a running one pauses).
  virtual uint32_t GetEnabledDebugCommands() const = 0;
  virtual uint32_t GetSupportedWatchFormats() const { return 0; }
  virtual bool GetAllowCallsInWatchesDefault() const { return false; }
  virtual bool InspectingSupported() const { return false; }

  // The debugger options changed.
  virtual void DebugOptionsChanged() {}

  // Source breakpoints: plant, re-plant and remove the kernel's copy.
  virtual void SourceBreakpointAdded(const std::shared_ptr<IOTASourceBreakpoint>& /*Breakpoint*/) {}
  virtual void SourceBreakpointChanged(const std::shared_ptr<IOTASourceBreakpoint>& /*Breakpoint*/) {}
  virtual void SourceBreakpointDeleted(const std::shared_ptr<IOTASourceBreakpoint>& /*Breakpoint*/) {}

  // Breakpoints the kernel holds itself (address, data, module load), for the group and
  // all-breakpoint commands.
  virtual int GetBreakpointCount() const { return 0; }
  virtual std::shared_ptr<IOTABreakpoint> GetBreakpoint(int /*Index*/) const { return nullptr; }
  // Module load breakpoints.
  virtual bool SupportsModuleLoadBreakpoints() const { return false; }
  virtual int GetModuleLoadBreakpointCount() const { return 0; }
  virtual std::shared_ptr<IOTABreakpoint> GetModuleLoadBreakpoint(int /*Index*/) const { return nullptr; }
  virtual void AddModuleLoadBreakpoint(const std::string& /*ModuleName*/) {}
  // The file masks of the modules it debugs ("*.so"), for the add-module dialog.
  virtual std::vector<std::string> GetModuleFileMasks() const { return {}; }
  // Stores and restores its own breakpoints in the desktop file.
  virtual void SaveBreakpoints(TCustomIniFile& /*Ini*/) {}
  virtual void LoadBreakpoints(TCustomIniFile& /*Ini*/) {}
};

// The names of the process states, as the event log and `nxs debug` print them ("running",
// "stopped", "no process").
const char* ProcessStateName(TOTAProcessState State);

// Registers a kernel with the debugger manager (a package calls it from its registration
// procedure) and takes it back. A kernel registered twice is kept once.
void RegisterDebugger(std::shared_ptr<IOTADebugger> Debugger);
void UnregisterDebugger(const std::shared_ptr<IOTADebugger>& Debugger);

}  // namespace nxs
