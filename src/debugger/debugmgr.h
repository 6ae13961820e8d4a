// The debugger manager: the one object through which the environment talks to debugging.
// It keeps the registered kernels and the current one, forwards the run, step, pause and
// reset commands, turns kernel notifications into environment events, carries kernels'
// work onto the main thread, keeps the event log and the registries of visualizers and
// evaluators, and owns the breakpoint manager.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "debugger/actionqueue.h"
#include "debugger/debugoptions.h"
#include "debugger/kernel.h"
#include "debugger/visualizers.h"
#include "shared/event.h"

namespace nxs {

class TBreakpointManager;
class TSettingsStore;

// What the manager asks of the project it runs: the active project of the main group, and
// the three things the build answers or accepts about it (whether it must be rebuilt,
// whether its sources changed, a mark not to rebuild it). The host fills it in; with none,
// there is no active project.
class IDebugProjectHost {
 public:
  virtual ~IDebugProjectHost() = default;
  virtual bool HasActiveProject() = 0;
  virtual std::string GetActiveProjectName() = 0;
  virtual bool MustRebuild() = 0;
  virtual bool SourcesChanged() = 0;
  virtual void MarkNotToRebuild() = 0;
  // Builds the project through the host; true when it succeeded.
  virtual bool BuildProject() = 0;
  // Whether the group's dependencies changed since the project's last build, and the mark
  // that makes the project out of date.
  virtual bool DependenciesChanged() { return false; }
  virtual void MarkOutOfDate() {}
  // Saves the modified files (the environment option "Editor Files" asks for it first).
  virtual bool SaveModifiedFiles() { return true; }
  virtual void SetBackgroundCompile(bool /*Enabled*/) {}
  // The program to run, with its run parameters and working directory.
  virtual bool GetLoadParams(TOTALoadParams& Params) = 0;
};

class TEvDebugNotify : public TEvArgs {};

class TEvProcessEvent : public TEvArgs {
 public:
  explicit TEvProcessEvent(std::shared_ptr<IOTAProcess> Process) : Process(std::move(Process)) {}
  std::shared_ptr<IOTAProcess> Process;
};

class TEvThreadEvent : public TEvArgs {
 public:
  TEvThreadEvent(std::shared_ptr<IOTAProcess> Process, std::shared_ptr<IOTAThread> Thread)
      : Process(std::move(Process)), Thread(std::move(Thread)) {}
  std::shared_ptr<IOTAProcess> Process;
  std::shared_ptr<IOTAThread> Thread;
};

class TEvMemChangedEvent : public TEvArgs {
 public:
  TEvMemChangedEvent(std::shared_ptr<IOTAProcess> Process, uint64_t Address, uint64_t Size)
      : Process(std::move(Process)), Address(Address), Size(Size) {}
  std::shared_ptr<IOTAProcess> Process;
  uint64_t Address;
  uint64_t Size;
};

class TEvProcessModuleEvent : public TEvArgs {
 public:
  TEvProcessModuleEvent(std::shared_ptr<IOTAProcess> Process, std::shared_ptr<IOTAModule> Module)
      : Process(std::move(Process)), Module(std::move(Module)) {}
  std::shared_ptr<IOTAProcess> Process;
  std::shared_ptr<IOTAModule> Module;
};

class TEvDebuggerEvent : public TEvArgs {
 public:
  explicit TEvDebuggerEvent(std::shared_ptr<IOTADebugger> Debugger) : Debugger(std::move(Debugger)) {}
  std::shared_ptr<IOTADebugger> Debugger;
};

class TEvProjectEvent : public TEvArgs {
 public:
  explicit TEvProjectEvent(std::string ProjectName) : ProjectName(std::move(ProjectName)) {}
  std::string ProjectName;
};

// A callback carried to the main thread. DebuggerIndex -1: Proc is called; otherwise
// WParam goes to the kernel at that index through its message hook.
struct TDebugMessageParam {
  int DebuggerIndex = -1;
  intptr_t WParam = 0;
  std::function<void()> Proc;
  // The kernel the index named when the message was posted: a kernel removed since (and
  // the one that took its index) does not get it.
  std::weak_ptr<IOTADebugger> Debugger;
};

// One line of the event log.
struct TLogItem {
  TOTALogItemType LogItemType = litDefault;
  std::string LogItem;
};

// A line the event log kept, told as it comes: a listener that forwards the log elsewhere
// sees every line, however many the log's length has dropped since.
class TEvLogString : public TEvArgs {
 public:
  explicit TEvLogString(TLogItem Item) : Item(std::move(Item)) {}
  TLogItem Item;
};

// The message the manager's deferred window handles: the log changed.
inline constexpr int WM_LOGCHANGED = 1025;
// The main window's message for debugger callbacks.
inline constexpr int WM_DEBUGMESSAGE = 1300;

class TDebuggerMgr : public IOTADebuggerServices {
 public:
  // Store: the settings store the options and the visualizer flags live in.
  explicit TDebuggerMgr(TSettingsStore& Store);
  ~TDebuggerMgr() override;
  TDebuggerMgr(const TDebuggerMgr&) = delete;  // kernels, processes and queued work point at it
  TDebuggerMgr& operator=(const TDebuggerMgr&) = delete;

  // -- Kernels ----------------------------------------------------------------------------
  // Registers a kernel (once); the first one registered becomes current. Returns its index.
  int AddDebugger(const std::shared_ptr<IOTADebugger>& Debugger);
  void RemoveDebugger(const IOTADebugger* Debugger);
  std::shared_ptr<IOTADebugger> GetDebugger(int Index) const;
  int GetDebuggerCount() const;
  int IndexOfDebugger(const IOTADebugger* Debugger) const;
  // Null when FCurIndex is out of range.
  std::shared_ptr<IOTADebugger> GetCurrentDebugger() const;
  void SetCurrentDebugger(int Index);

  // -- Commands: with no current kernel each does nothing ---------------------------------
  // Checks the project's dependencies and prepares it (MakeCurrentProject); then resumes
  // the current process, or starts the project's program. False when nothing ran.
  bool Run();
  void RunNoDebug();
  void Pause();
  void Reset();
  // Asks every kernel to reset its processes, in order; false at the first refusal.
  bool ResetAll();
  void Detach();
  void DetachAll();
  void StepInto();
  void StepOver();
  void StepOut();
  void StepToNextSource();
  void InstructionStepInto();
  void InstructionStepOver();
  void RunToCursor(const std::string& FileName, int LineNumber);
  // Starts a program under the current kernel, or attaches to a running process; raises
  // the kernel's message when it cannot.
  std::shared_ptr<IOTAProcess> LoadProcess(const TOTALoadParams& Params);
  std::shared_ptr<IOTAProcess> AttachToProcess(int64_t ProcessId);
  // Sends FEvDebuggerFocusIDE so that the views show where execution stopped.
  void ShowCurrentLocation();
  void ShowException();
  void ShowFault();
  // Raises Exception "Unable to set the next statement to this location: %s." when the
  // kernel refuses.
  void SetNextStatement(const std::string& FileName, int LineNumber);
  void ProcessDebugEvents();
  void ClearLog();

  // -- Queries ----------------------------------------------------------------------------
  int GetProcessCount() const;
  std::shared_ptr<IOTAProcess> GetProcess(int Index) const;
  std::shared_ptr<IOTAProcess> GetCurrentProcess() const;
  // The current process's state; psNoProcess without one.
  TOTAProcessState GetProcessState() const;
  // Reflects a state the environment set (a view that shows "stopping" at once).
  void SetProcessState(TOTAProcessState State);
  bool GetStepping() const;
  uint32_t GetSupportedDebugCommands() const;
  uint32_t GetEnabledDebugCommands() const;
  uint32_t GetSupportedWatchFormats() const;
  bool GetAllowCallsInWatchesDefault() const;
  bool IsLoadProcessEnabled() const;
  bool IsAttachToProcessEnabled() const;
  std::string GetDebugSearchPath();
  std::string GetDebugSourcePath() override;
  bool GetIntegratedDebuggingOption() const { return FDebugOptions.FIntegratedDebugging; }
  bool InspectingSupported() const;
  bool CanInspect(const std::string& Expression);
  int GetTotalBreakpointCount() const;
  // Every kernel's module load breakpoints, kernels in registration order.
  std::vector<std::shared_ptr<IOTABreakpoint>> GetModuleBreakpoints() const;
  int GetModuleLoadBreakpointCount() const;
  std::shared_ptr<IOTABreakpoint> GetModuleLoadBreakpoint(int Index) const;
  // True when the current kernel supports module load breakpoints; when only another one
  // does, the user is asked whether to set it anyway.
  bool CanAddModuleLoadBreakpoint();
  // The add-module dialog's filter: "Modules (MASKS)|MASKS|Any file (*.*)|*.*".
  std::string GetAddModuleFilters() const;
  // The identifier given by "-debugger=" (empty when none).
  std::string GetCommandLineInfo() const { return FCommandLineDebugger; }
  // Every kernel-held breakpoint of every kernel, kernels in registration order.
  std::vector<std::shared_ptr<IOTABreakpoint>> KernelBreakpoints() const;

  // -- The command line -------------------------------------------------------------------
  // Finds "-debugger=ID" among Args and makes that kernel current; raises Exception with
  // the list of registered kernels when ID names none.
  void ParseCommandLine(const std::vector<std::string>& Args);
  void InternalProcessCommandLine(const std::string& Identifier);

  // -- Preparing a run --------------------------------------------------------------------
  void SetProjectHost(std::shared_ptr<IDebugProjectHost> Host) { FProjectHost = std::move(Host); }
  IDebugProjectHost* ProjectHost() const { return FProjectHost.get(); }
  // Saves, asks and rebuilds as the project needs; false when the run must not go on.
  bool MakeCurrentProject();
  void CheckProjectDependencies();

  // -- Options ----------------------------------------------------------------------------
  TDebugMgrOptions& DebugOptions() { return FDebugOptions; }
  // Tells every kernel, sends FEvDebugOptionsChanged and puts the debugger key mapping in
  // force (or takes it back) while processes exist.
  void DebugOptionsChanged();
  void LoadOptions();
  void SaveOptions();
  // A project's own options, overriding the global ones for its program.
  void SetLocalOptions(const TDebugMgrOptions& Options);
  const TDebugMgrOptions* FindLocalOptions(const std::string& ExeName) const;
  // The breakpoints are saved with the desktop (on by default).
  bool GetVDGoodies() const { return FVDGoodies; }
  void SetVDGoodies(bool Value) { FVDGoodies = Value; }
  // The emulation in force before the debugger key mapping replaced it; empty when none.
  const std::string& OriginalKeymap() const { return FOriginalKeymap; }

  // -- The event log ----------------------------------------------------------------------
  // Adds a line (dropped when the options do not keep its kind); the oldest go beyond the
  // options' length.
  void LogString(const std::string& Text, TOTALogItemType Kind) override;
  int GetLogCount() const { return static_cast<int>(FLogStringList.size()); }
  const TLogItem& GetLogItem(int Index) const { return FLogStringList.at(static_cast<size_t>(Index)); }
  // Called after every change of the log: one FEvLogStringListChanged however many come
  // before the main thread drains the action queue, or at once when the log became empty.
  void LogStringListChanged();

  // -- Main-thread callbacks (any thread) -------------------------------------------------
  void RequestCallback(std::function<void()> Proc) override;
  void PostDebugMessage(IOTADebugger& Debugger, intptr_t WParam, intptr_t LParam) override;
  // The main window's handler of the debug message.
  void HandleDebugMessage(TDebugMessageParam& Param, intptr_t LParam);
  TDebuggerActionQueue& ActionQueue() { return FDebuggerActionQueue; }

  // -- Breakpoints ------------------------------------------------------------------------
  TBreakpointManager& Breakpoints() { return *FBreakpointList; }
  int GetSourceBreakpointCount() const override;
  std::shared_ptr<IOTASourceBreakpoint> GetSourceBreakpoint(int Index) const override;
  void EnableBreakpointGroup(const std::string& GroupName, bool Enable) override;
  // The breakpoint manager's notices, handed to every kernel.
  void SourceBreakpointAdded(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint);
  void SourceBreakpointChanged(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint);
  void SourceBreakpointDeleted(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint);

  // -- Visualizers and evaluators ---------------------------------------------------------
  TVisualizerList& Visualizers() { return *FDebuggerVisualizerList; }
  void RegisterVisualizer(const std::shared_ptr<IOTADebuggerVisualizer>& Visualizer);
  void UnregisterVisualizer(const IOTADebuggerVisualizer* Visualizer);
  void SetVisualizerEnabled(const IOTADebuggerVisualizer* Visualizer, bool Enabled);
  TEvaluatorList& Evaluators() { return FEvaluatorList; }

  // -- Hooks the host sets ----------------------------------------------------------------
  std::function<bool(const std::string& FileName)> FOnCheckFileExists;
  std::function<std::string()> FOnGetDebugSourcePath;
  std::function<std::string()> FOnGetDebugSearchPath;
  std::function<void()> FWatchViewClearList;
  std::function<void(const std::string& Expression)> FAddWatchExpression;
  std::function<bool(const std::string& Expression)> FCanInspect;

  // -- Events -----------------------------------------------------------------------------
  TEvent<TEvDebugNotify> FEvCurrentDebuggerChanged;
  TEvent<TEvProcessEvent> FEvCurrentProcessChanged;
  TEvent<TEvProcessEvent> FEvProcessCreated;
  TEvent<TEvProcessEvent> FEvProcessDestroyed;
  TEvent<TEvProcessEvent> FEvProcessStateChanged;
  TEvent<TEvProcessEvent> FEvThreadListChanged;
  TEvent<TEvProcessEvent> FEvRootScopeChanged;
  TEvent<TEvThreadEvent> FEvThreadStateChanged;
  TEvent<TEvThreadEvent> FEvCurrentThreadChanged;
  TEvent<TEvThreadEvent> FEvThreadCreated;
  TEvent<TEvThreadEvent> FEvThreadDestroyed;
  TEvent<TEvMemChangedEvent> FEvProcessMemoryChanged;
  TEvent<TEvProcessModuleEvent> FEvProcessModuleCreated;
  TEvent<TEvProcessModuleEvent> FEvProcessModuleDestroyed;
  TEvent<TEvDebuggerEvent> FEvDebuggerAdded;
  TEvent<TEvDebuggerEvent> FEvDebuggerRemoved;
  TEvent<TEvDebugNotify> FEvDebugOptionsChanged;
  TEvent<TEvDebugNotify> FEvLogStringListChanged;
  TEvent<TEvDebugNotify> FEvDebuggerFocusIDE;
  TEvent<TEvDebugNotify> FEvVisualizerListChanged;
  TEvent<TEvProjectEvent> FEvBeforeProgramLaunch;
  TEvent<TEvLogString> FEvLogStringAdded;

 private:
  class TDebuggerNotifier;
  class TProcessNotifier;
  class TDeferredWnd : public IDebugMessageTarget {
   public:
    explicit TDeferredWnd(TDebuggerMgr& Owner) : FOwner(Owner) {}
    void HandleMessage(int Msg, intptr_t WParam, intptr_t LParam) override;

   private:
    TDebuggerMgr& FOwner;
  };
  struct TProcessNotifierWrapper {
    std::weak_ptr<IOTAProcess> FProcess;
    IOTAProcess* FKey = nullptr;
    int FNotifierIndex = -1;
  };

  void HookProcess(const std::shared_ptr<IOTAProcess>& Process);
  void UnhookProcess(const IOTAProcess* Process);
  void ProcessCreated(const std::shared_ptr<IOTAProcess>& Process);
  void ProcessDestroyed(const std::shared_ptr<IOTAProcess>& Process);
  void ProcessStateChanged(const std::shared_ptr<IOTAProcess>& Process);
  // Puts the debugger key mapping in force while processes exist and the option asks for
  // it; restores the remembered emulation otherwise.
  void UpdateKeymap();
  void AskLocalOptions();
  bool KeepsLogKind(TOTALogItemType Kind) const;
  // The current kernel and its current process, both set, or false.
  bool Current(std::shared_ptr<IOTADebugger>& Debugger, std::shared_ptr<IOTAProcess>& Process) const;

  TSettingsStore& FStore;
  mutable std::mutex FListLock;  // FDebuggerList, for PostDebugMessage from kernels' threads
  std::vector<std::shared_ptr<IOTADebugger>> FDebuggerList;
  std::unique_ptr<TBreakpointManager> FBreakpointList;
  int FCurIndex = -1;
  TDebugMgrOptions FDebugOptions;
  std::string FOriginalKeymap;
  std::vector<int> FDebugNotifierIndexList;  // parallel to FDebuggerList
  std::vector<TProcessNotifierWrapper> FProcessNotifierIndexList;
  std::unique_ptr<TVisualizerList> FDebuggerVisualizerList;
  TEvaluatorList FEvaluatorList;
  std::deque<TLogItem> FLogStringList;
  std::vector<TDebugMgrOptions> FLocalOptionsList;
  TDebuggerActionQueue FDebuggerActionQueue;
  bool FLogStringListChangedSent = false;
  TDeferredWnd FDeferredWnd{*this};
  std::shared_ptr<IDebugProjectHost> FProjectHost;
  bool FVDGoodies = true;
  std::string FCommandLineDebugger;
  bool FHasProcessState = false;
  TOTAProcessState FProcessState = psNoProcess;
  // Work queued on the main thread checks it: the manager may be gone when it runs.
  std::shared_ptr<bool> FAlive;
  // Kernels' messages being handled on the main thread. A DoneDebug that one of them leads
  // to (a listener of a stop ends the session) waits, FDelayDestruct set, until the
  // outermost has returned: the kernel's and the manager's frames still use the manager.
  int FDispatchDepth = 0;
  bool FDelayDestruct = false;
  friend void DoneDebug();
};

// The process's manager: made by InitDebug (or on first use) and freed by DoneDebug.
TDebuggerMgr& DebugMgr();
bool DebugMgrExists();
void InitDebug();
void DoneDebug();

// Called with the undo of each RegisterDebugger: start-up hands it to the package that is
// registering, so that unloading the package takes its kernel back before its code goes.
using TDebuggerRegistrationHook = std::function<void(std::function<void()> Undo)>;
void SetDebuggerRegistrationHook(TDebuggerRegistrationHook Hook);

}  // namespace nxs
