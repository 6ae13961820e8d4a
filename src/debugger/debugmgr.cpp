#include "debugger/debugmgr.h"

#include <algorithm>
#include <cassert>

#include "debugger/breakpoints.h"
#include "debugger/resstrings.h"
#include "options/envoptions.h"
#include "options/resstrings.h"
#include "shared/dialogs.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

// Turns one kernel's notices into the manager's events.
class TDebuggerMgr::TDebuggerNotifier : public IOTADebuggerNotifier {
 public:
  explicit TDebuggerNotifier(TDebuggerMgr& Owner) : FOwner(Owner) {}
  void ProcessCreated(const std::shared_ptr<IOTAProcess>& Process) override { FOwner.ProcessCreated(Process); }
  void ProcessDestroyed(const std::shared_ptr<IOTAProcess>& Process) override { FOwner.ProcessDestroyed(Process); }
  void CurrentProcessChanged(const std::shared_ptr<IOTAProcess>& Process) override {
    TEvProcessEvent Ev(Process);
    FOwner.FEvCurrentProcessChanged.Send(Ev);
  }
  void BreakpointAdded(const std::shared_ptr<IOTABreakpoint>& Breakpoint) override {
    TEvBreakpoint Ev(FOwner.FBreakpointList.get(), Breakpoint);
    FOwner.FBreakpointList->EvBreakpointAdded().Send(Ev);
  }
  void BreakpointChanged(const std::shared_ptr<IOTABreakpoint>& Breakpoint) override {
    TEvBreakpoint Ev(FOwner.FBreakpointList.get(), Breakpoint);
    FOwner.FBreakpointList->EvBreakpointChanged().Send(Ev);
  }
  void BreakpointDeleted(const std::shared_ptr<IOTABreakpoint>& Breakpoint) override {
    TEvBreakpoint Ev(FOwner.FBreakpointList.get(), Breakpoint);
    FOwner.FBreakpointList->EvBreakpointDeleted().Send(Ev);
  }

 private:
  TDebuggerMgr& FOwner;
};

// Turns one process's notices into the manager's events.
class TDebuggerMgr::TProcessNotifier : public IOTAProcessNotifier {
 public:
  explicit TProcessNotifier(TDebuggerMgr& Owner) : FOwner(Owner) {}
  void ProcessStateChanged(const std::shared_ptr<IOTAProcess>& Process) override { FOwner.ProcessStateChanged(Process); }
  void ThreadCreated(const std::shared_ptr<IOTAProcess>& P, const std::shared_ptr<IOTAThread>& T) override {
    Send(FOwner.FEvThreadCreated, P, T);
  }
  void ThreadDestroyed(const std::shared_ptr<IOTAProcess>& P, const std::shared_ptr<IOTAThread>& T) override {
    Send(FOwner.FEvThreadDestroyed, P, T);
  }
  void ThreadStateChanged(const std::shared_ptr<IOTAProcess>& P, const std::shared_ptr<IOTAThread>& T) override {
    Send(FOwner.FEvThreadStateChanged, P, T);
  }
  void CurrentThreadChanged(const std::shared_ptr<IOTAProcess>& P, const std::shared_ptr<IOTAThread>& T) override {
    Send(FOwner.FEvCurrentThreadChanged, P, T);
  }
  void ThreadListChanged(const std::shared_ptr<IOTAProcess>& P) override {
    TEvProcessEvent Ev(P);
    FOwner.FEvThreadListChanged.Send(Ev);
  }
  void ModuleCreated(const std::shared_ptr<IOTAProcess>& P, const std::shared_ptr<IOTAModule>& M) override {
    TEvProcessModuleEvent Ev(P, M);
    FOwner.FEvProcessModuleCreated.Send(Ev);
  }
  void ModuleDestroyed(const std::shared_ptr<IOTAProcess>& P, const std::shared_ptr<IOTAModule>& M) override {
    TEvProcessModuleEvent Ev(P, M);
    FOwner.FEvProcessModuleDestroyed.Send(Ev);
  }
  void MemoryChanged(const std::shared_ptr<IOTAProcess>& P, uint64_t Address, uint64_t Size) override {
    TEvMemChangedEvent Ev(P, Address, Size);
    FOwner.FEvProcessMemoryChanged.Send(Ev);
  }
  void RootScopeChanged(const std::shared_ptr<IOTAProcess>& P) override {
    TEvProcessEvent Ev(P);
    FOwner.FEvRootScopeChanged.Send(Ev);
  }

 private:
  static void Send(TEvent<TEvThreadEvent>& Event, const std::shared_ptr<IOTAProcess>& P,
                   const std::shared_ptr<IOTAThread>& T) {
    TEvThreadEvent Ev(P, T);
    Event.Send(Ev);
  }
  TDebuggerMgr& FOwner;
};

void TDebuggerMgr::TDeferredWnd::HandleMessage(int Msg, intptr_t, intptr_t) {
  if (Msg != WM_LOGCHANGED) return;
  FOwner.FLogStringListChangedSent = false;
  TEvDebugNotify Ev;
  FOwner.FEvLogStringListChanged.Send(Ev);
}

TDebuggerMgr::TDebuggerMgr(TSettingsStore& Store)
    : FStore(Store),
      FBreakpointList(std::make_unique<TBreakpointManager>(this)),
      FDebuggerVisualizerList(std::make_unique<TVisualizerList>(Store)),
      FAlive(std::make_shared<bool>(true)) {
  FDebugOptions.SetOnChange([this] { DebugOptionsChanged(); });
}

TDebuggerMgr::~TDebuggerMgr() {
  *FAlive = false;
  FDebuggerActionQueue.Clear();
  while (GetDebuggerCount() > 0) RemoveDebugger(GetDebugger(GetDebuggerCount() - 1).get());
  // The breakpoints go before the lists their notices reach.
  FBreakpointList.reset();
}

// -- Kernels -------------------------------------------------------------------------------

int TDebuggerMgr::AddDebugger(const std::shared_ptr<IOTADebugger>& Debugger) {
  if (!Debugger) return -1;
  const int Existing = IndexOfDebugger(Debugger.get());
  if (Existing >= 0) return Existing;
  {
    std::lock_guard Lock(FListLock);
    FDebuggerList.push_back(Debugger);
  }
  FDebugNotifierIndexList.push_back(Debugger->AddNotifier(std::make_shared<TDebuggerNotifier>(*this)));
  Debugger->Registered(*this);
  // The kernel plants the breakpoints that exist already.
  for (int I = 0; I < FBreakpointList->GetCount(); ++I) Debugger->SourceBreakpointAdded(FBreakpointList->GetBreakpoint(I));
  const int Index = GetDebuggerCount() - 1;
  TEvDebuggerEvent Ev(Debugger);
  FEvDebuggerAdded.Send(Ev);
  if (FCurIndex < 0 || FCurIndex >= GetDebuggerCount()) SetCurrentDebugger(Index);
  return Index;
}

void TDebuggerMgr::RemoveDebugger(const IOTADebugger* Debugger) {
  const int Index = IndexOfDebugger(Debugger);
  if (Index < 0) return;
  std::shared_ptr<IOTADebugger> Kept = GetDebugger(Index);
  for (int I = 0; I < Kept->GetProcessCount(); ++I) UnhookProcess(Kept->GetProcess(I).get());
  Kept->RemoveNotifier(FDebugNotifierIndexList[static_cast<size_t>(Index)]);
  FDebugNotifierIndexList.erase(FDebugNotifierIndexList.begin() + Index);
  {
    std::lock_guard Lock(FListLock);
    FDebuggerList.erase(FDebuggerList.begin() + Index);
  }
  Kept->Unregistered();
  TEvDebuggerEvent Ev(Kept);
  FEvDebuggerRemoved.Send(Ev);
  if (Index == FCurIndex) {
    FCurIndex = -1;
    if (GetDebuggerCount() > 0) {
      SetCurrentDebugger(0);
    } else {
      TEvDebugNotify Changed;
      FEvCurrentDebuggerChanged.Send(Changed);
    }
  } else if (Index < FCurIndex) {
    --FCurIndex;
  }
}

std::shared_ptr<IOTADebugger> TDebuggerMgr::GetDebugger(int Index) const {
  std::lock_guard Lock(FListLock);
  if (Index < 0 || static_cast<size_t>(Index) >= FDebuggerList.size()) return nullptr;
  return FDebuggerList[static_cast<size_t>(Index)];
}

int TDebuggerMgr::GetDebuggerCount() const {
  std::lock_guard Lock(FListLock);
  return static_cast<int>(FDebuggerList.size());
}

int TDebuggerMgr::IndexOfDebugger(const IOTADebugger* Debugger) const {
  std::lock_guard Lock(FListLock);
  for (size_t I = 0; I < FDebuggerList.size(); ++I)
    if (FDebuggerList[I].get() == Debugger) return static_cast<int>(I);
  return -1;
}

std::shared_ptr<IOTADebugger> TDebuggerMgr::GetCurrentDebugger() const { return GetDebugger(FCurIndex); }

void TDebuggerMgr::SetCurrentDebugger(int Index) {
  if (Index == FCurIndex) return;
  FCurIndex = Index;
  TEvDebugNotify Ev;
  FEvCurrentDebuggerChanged.Send(Ev);
}

bool TDebuggerMgr::Current(std::shared_ptr<IOTADebugger>& Debugger, std::shared_ptr<IOTAProcess>& Process) const {
  Debugger = GetCurrentDebugger();
  if (!Debugger) return false;
  Process = Debugger->GetCurrentProcess();
  return Process != nullptr;
}

// -- Commands ------------------------------------------------------------------------------

bool TDebuggerMgr::Run() {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  if (!D) return false;
  CheckProjectDependencies();
  if (!MakeCurrentProject()) return false;
  if (std::shared_ptr<IOTAProcess> P = D->GetCurrentProcess()) {
    D->Run(*P);
    return true;
  }
  TOTALoadParams Params;
  if (!FProjectHost || !FProjectHost->GetLoadParams(Params)) return false;
  return LoadProcess(Params) != nullptr;
}

void TDebuggerMgr::RunNoDebug() {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  if (!D || !MakeCurrentProject()) return;
  TOTALoadParams Params;
  if (FProjectHost && FProjectHost->GetLoadParams(Params)) D->RunNoDebug(Params);
}

#define NXS_FORWARD(Name)                    \
  void TDebuggerMgr::Name() {                \
    std::shared_ptr<IOTADebugger> D;         \
    std::shared_ptr<IOTAProcess> P;          \
    if (Current(D, P)) D->Name(*P);          \
  }
NXS_FORWARD(Pause)
NXS_FORWARD(Detach)
NXS_FORWARD(StepInto)
NXS_FORWARD(StepOver)
NXS_FORWARD(StepOut)
NXS_FORWARD(StepToNextSource)
NXS_FORWARD(InstructionStepInto)
NXS_FORWARD(InstructionStepOver)
#undef NXS_FORWARD

void TDebuggerMgr::Reset() {
  std::shared_ptr<IOTADebugger> D;
  std::shared_ptr<IOTAProcess> P;
  if (Current(D, P)) (void)D->Reset(*P);
}

bool TDebuggerMgr::ResetAll() {
  for (int I = 0; I < GetDebuggerCount(); ++I) {
    std::shared_ptr<IOTADebugger> D = GetDebugger(I);
    // Backwards: a reset may take the process out of the kernel's list at once.
    for (int J = D->GetProcessCount() - 1; J >= 0; --J) {
      std::shared_ptr<IOTAProcess> P = D->GetProcess(J);
      if (P && !D->Reset(*P)) return false;
    }
  }
  return true;
}

void TDebuggerMgr::DetachAll() {
  for (int I = 0; I < GetDebuggerCount(); ++I) {
    std::shared_ptr<IOTADebugger> D = GetDebugger(I);
    for (int J = D->GetProcessCount() - 1; J >= 0; --J)
      if (std::shared_ptr<IOTAProcess> P = D->GetProcess(J)) D->Detach(*P);
  }
}

void TDebuggerMgr::RunToCursor(const std::string& FileName, int LineNumber) {
  std::shared_ptr<IOTADebugger> D;
  std::shared_ptr<IOTAProcess> P;
  if (Current(D, P)) D->RunToCursor(*P, FileName, LineNumber);
}

std::shared_ptr<IOTAProcess> TDebuggerMgr::LoadProcess(const TOTALoadParams& Params) {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  if (!D) return nullptr;
  if (FDebugOptions.FLogClearOnStartup) ClearLog();
  TEvProjectEvent Ev(FProjectHost && FProjectHost->HasActiveProject() ? FProjectHost->GetActiveProjectName() : Params.ExeName);
  FEvBeforeProgramLaunch.Send(Ev);
  return D->LoadProcess(Params);
}

std::shared_ptr<IOTAProcess> TDebuggerMgr::AttachToProcess(int64_t ProcessId) {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  if (!D) return nullptr;
  return D->AttachToProcess(ProcessId);
}

void TDebuggerMgr::ShowCurrentLocation() {
  if (!GetCurrentDebugger()) return;
  TEvDebugNotify Ev;
  FEvDebuggerFocusIDE.Send(Ev);
}
void TDebuggerMgr::ShowException() { ShowCurrentLocation(); }
void TDebuggerMgr::ShowFault() { ShowCurrentLocation(); }

void TDebuggerMgr::SetNextStatement(const std::string& FileName, int LineNumber) {
  std::shared_ptr<IOTADebugger> D;
  std::shared_ptr<IOTAProcess> P;
  if (!Current(D, P)) return;
  std::string Error;
  if (!D->SetNextStatement(*P, FileName, LineNumber, Error)) throw Exception(Format(res::SUnableToSetNextStatement, Error));
}

void TDebuggerMgr::ProcessDebugEvents() {
  if (std::shared_ptr<IOTADebugger> D = GetCurrentDebugger()) D->ProcessDebugEvents();
}

// -- Queries -------------------------------------------------------------------------------

int TDebuggerMgr::GetProcessCount() const {
  int Count = 0;
  for (int I = 0; I < GetDebuggerCount(); ++I) Count += GetDebugger(I)->GetProcessCount();
  return Count;
}

std::shared_ptr<IOTAProcess> TDebuggerMgr::GetProcess(int Index) const {
  if (Index < 0) return nullptr;
  for (int I = 0; I < GetDebuggerCount(); ++I) {
    std::shared_ptr<IOTADebugger> D = GetDebugger(I);
    if (Index < D->GetProcessCount()) return D->GetProcess(Index);
    Index -= D->GetProcessCount();
  }
  return nullptr;
}

std::shared_ptr<IOTAProcess> TDebuggerMgr::GetCurrentProcess() const {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  return D ? D->GetCurrentProcess() : nullptr;
}

TOTAProcessState TDebuggerMgr::GetProcessState() const {
  std::shared_ptr<IOTAProcess> P = GetCurrentProcess();
  if (!P) return psNoProcess;
  return FHasProcessState ? FProcessState : P->GetState();
}

void TDebuggerMgr::SetProcessState(TOTAProcessState State) {
  std::shared_ptr<IOTAProcess> P = GetCurrentProcess();
  if (!P) return;
  FHasProcessState = true;
  FProcessState = State;
  TEvProcessEvent Ev(P);
  FEvProcessStateChanged.Send(Ev);
}

bool TDebuggerMgr::GetStepping() const { return GetProcessState() == psStepping; }

uint32_t TDebuggerMgr::GetSupportedDebugCommands() const {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  return D ? D->GetSupportedDebugCommands() : 0;
}

uint32_t TDebuggerMgr::GetEnabledDebugCommands() const {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  return D ? D->GetEnabledDebugCommands() & D->GetSupportedDebugCommands() : 0;
}

uint32_t TDebuggerMgr::GetSupportedWatchFormats() const {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  return D ? D->GetSupportedWatchFormats() : 0;
}

bool TDebuggerMgr::GetAllowCallsInWatchesDefault() const {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  return D && D->GetAllowCallsInWatchesDefault();
}

bool TDebuggerMgr::IsLoadProcessEnabled() const { return (GetEnabledDebugCommands() & dcLoadProcess) != 0; }
bool TDebuggerMgr::IsAttachToProcessEnabled() const { return (GetEnabledDebugCommands() & dcAttachToProcess) != 0; }

std::string TDebuggerMgr::GetDebugSearchPath() { return FOnGetDebugSearchPath ? FOnGetDebugSearchPath() : ""; }
std::string TDebuggerMgr::GetDebugSourcePath() { return FOnGetDebugSourcePath ? FOnGetDebugSourcePath() : ""; }

bool TDebuggerMgr::InspectingSupported() const {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  return D && D->InspectingSupported();
}

bool TDebuggerMgr::CanInspect(const std::string& Expression) {
  return InspectingSupported() && (!FCanInspect || FCanInspect(Expression));
}

std::vector<std::shared_ptr<IOTABreakpoint>> TDebuggerMgr::KernelBreakpoints() const {
  std::vector<std::shared_ptr<IOTABreakpoint>> List;
  for (int I = 0; I < GetDebuggerCount(); ++I) {
    std::shared_ptr<IOTADebugger> D = GetDebugger(I);
    for (int J = 0; J < D->GetBreakpointCount(); ++J)
      if (auto B = D->GetBreakpoint(J)) List.push_back(B);
  }
  return List;
}

int TDebuggerMgr::GetTotalBreakpointCount() const {
  return FBreakpointList->GetCount() + static_cast<int>(KernelBreakpoints().size());
}

std::vector<std::shared_ptr<IOTABreakpoint>> TDebuggerMgr::GetModuleBreakpoints() const {
  std::vector<std::shared_ptr<IOTABreakpoint>> List;
  for (int I = 0; I < GetDebuggerCount(); ++I) {
    std::shared_ptr<IOTADebugger> D = GetDebugger(I);
    for (int J = 0; J < D->GetModuleLoadBreakpointCount(); ++J)
      if (auto B = D->GetModuleLoadBreakpoint(J)) List.push_back(B);
  }
  return List;
}

int TDebuggerMgr::GetModuleLoadBreakpointCount() const { return static_cast<int>(GetModuleBreakpoints().size()); }

std::shared_ptr<IOTABreakpoint> TDebuggerMgr::GetModuleLoadBreakpoint(int Index) const {
  const auto List = GetModuleBreakpoints();
  if (Index < 0 || static_cast<size_t>(Index) >= List.size()) return nullptr;
  return List[static_cast<size_t>(Index)];
}

bool TDebuggerMgr::CanAddModuleLoadBreakpoint() {
  std::shared_ptr<IOTADebugger> D = GetCurrentDebugger();
  if (D && D->SupportsModuleLoadBreakpoints()) return true;
  bool Other = false;
  for (int I = 0; I < GetDebuggerCount(); ++I)
    if (GetDebugger(I) != D && GetDebugger(I)->SupportsModuleLoadBreakpoints()) Other = true;
  if (!D || !Other) return false;
  return Questions().MessageDlg(Format(res::SModuleLoadBreakpointsUnsupported, D->GetDisplayName()),
                                TMsgDlgType::mtConfirmation, mbYes | mbNo, mrNo) == mrYes;
}

std::string TDebuggerMgr::GetAddModuleFilters() const {
  std::vector<std::string> Masks;
  for (int I = 0; I < GetDebuggerCount(); ++I)
    for (const std::string& M : GetDebugger(I)->GetModuleFileMasks())
      if (std::find(Masks.begin(), Masks.end(), M) == Masks.end()) Masks.push_back(M);
  std::string Joined;
  for (const std::string& M : Masks) Joined += (Joined.empty() ? "" : ";") + M;
  std::string Filter;
  if (!Joined.empty()) Filter = Format(res::SModulesFilter, Joined) + "|";
  return Filter + res::SAnyFileFilter;
}

// -- The command line ----------------------------------------------------------------------

void TDebuggerMgr::ParseCommandLine(const std::vector<std::string>& Args) {
  const std::string Switch = res::SDebuggerSwitch;
  for (const std::string& A : Args) {
    if (A.size() < Switch.size() || !SameText(A.substr(0, Switch.size()), Switch)) continue;
    InternalProcessCommandLine(A.substr(Switch.size()));
  }
}

void TDebuggerMgr::InternalProcessCommandLine(const std::string& Identifier) {
  FCommandLineDebugger = Identifier;
  for (int I = 0; I < GetDebuggerCount(); ++I)
    if (SameText(GetDebugger(I)->GetIdentifier(), Identifier)) {
      SetCurrentDebugger(I);
      return;
    }
  if (GetDebuggerCount() == 0) throw Exception(Format(res::SNoRegisteredDebuggers, Identifier));
  std::string Message = Format(res::SDebuggerNotRegistered, Identifier);
  for (int I = 0; I < GetDebuggerCount(); ++I) {
    std::shared_ptr<IOTADebugger> D = GetDebugger(I);
    const std::string Version = D->GetVersion();
    Message += '\n' + Format(res::SDebuggerListEntry, "  ", D->GetIdentifier(), D->GetDisplayName(),
                             Version.empty() ? std::string() : " " + Version);
  }
  throw Exception(Message);
}

// -- Preparing a run -----------------------------------------------------------------------

void TDebuggerMgr::CheckProjectDependencies() {
  if (FProjectHost && FProjectHost->HasActiveProject() && FProjectHost->DependenciesChanged())
    FProjectHost->MarkOutOfDate();
}

bool TDebuggerMgr::MakeCurrentProject() {
  IDebugProjectHost* Host = FProjectHost.get();
  if (!Host || !Host->HasActiveProject()) return true;
  // No background build may start while the run is prepared.
  struct TBackgroundOff {
    IDebugProjectHost* Host;
    explicit TBackgroundOff(IDebugProjectHost* H) : Host(H) { Host->SetBackgroundCompile(false); }
    ~TBackgroundOff() { Host->SetBackgroundCompile(true); }
  } Off(Host);

  if (EnvironmentOptions().AutoSave().GetBool(res::opt::AutoSaveEditorFiles) && !Host->SaveModifiedFiles()) return false;

  if (Host->MustRebuild()) {
    if (GetProcessCount() > 0) {
      const std::string Command = StripHotkey(res::SCompileAllProjectsCommand);
      if (Questions().MessageDlg(Format(res::SCannotCompileWhileDebugging, Command), TMsgDlgType::mtConfirmation,
                                 mbYes | mbNo, mrNo) != mrYes)
        return false;
      if (!ResetAll()) return false;
    }
    if (!Host->BuildProject()) return false;
  }

  if (!Host->SourcesChanged()) return true;
  if (!FDebugOptions.FPromptToRebuild) {
    Host->MarkNotToRebuild();
    return true;
  }
  switch (Questions().MessageDlg(res::SSourceModifiedRebuild, TMsgDlgType::mtConfirmation,
                                 mbYes | mbNo | mbNever | mbCancel | mbHelp, mrYes)) {
    case mrYes:
      if (!ResetAll()) return false;
      return Host->BuildProject();
    case mrNo:
      Host->MarkNotToRebuild();
      return true;
    case mrNever:
      Host->MarkNotToRebuild();
      FDebugOptions.FPromptToRebuild = false;
      SaveOptions();
      return true;
    default:
      return false;
  }
}

// -- Options -------------------------------------------------------------------------------

void TDebuggerMgr::LoadOptions() { FDebugOptions.Load(FStore, res::SDebuggerOptionsSection); }

void TDebuggerMgr::SaveOptions() { FDebugOptions.Save(FStore, res::SDebuggerOptionsSection); }

void TDebuggerMgr::DebugOptionsChanged() {
  for (int I = 0; I < GetDebuggerCount(); ++I) GetDebugger(I)->DebugOptionsChanged();
  TEvDebugNotify Ev;
  FEvDebugOptionsChanged.Send(Ev);
  UpdateKeymap();
  AskLocalOptions();
}

void TDebuggerMgr::UpdateKeymap() {
  TEnvironmentOptions& Env = EnvironmentOptions();
  TOptionSet& Editor = Env.EditorOptions();
  const std::string InForce = Editor.GetStr(res::opt::EditorEmulation);
  if (GetProcessCount() > 0 && FDebugOptions.FMapVD32Keys) {
    if (InForce == res::SDebugKeymap) return;
    FOriginalKeymap = InForce;
    Env.SetOption(Editor, Editor.KeyIndex(), res::opt::EditorEmulation, std::string(res::SDebugKeymap));
    return;
  }
  if (FOriginalKeymap.empty()) return;
  const std::string Original = FOriginalKeymap;
  FOriginalKeymap.clear();
  Env.SetOption(Editor, Editor.KeyIndex(), res::opt::EditorEmulation, Original);
  Env.SaveOptions();
}

void TDebuggerMgr::SetLocalOptions(const TDebugMgrOptions& Options) {
  for (auto& L : FLocalOptionsList)
    if (L.FProcess == Options.FProcess) {
      L.AssignValues(Options);
      L.FLocalOverride = true;
      return;
    }
  FLocalOptionsList.emplace_back();
  FLocalOptionsList.back().AssignValues(Options);
  FLocalOptionsList.back().FLocalOverride = true;
}

const TDebugMgrOptions* TDebuggerMgr::FindLocalOptions(const std::string& ExeName) const {
  for (const auto& L : FLocalOptionsList)
    if (L.FLocalOverride && L.FProcess == ExeName) return &L;
  return nullptr;
}

void TDebuggerMgr::AskLocalOptions() {
  for (int I = 0; I < GetProcessCount(); ++I) {
    std::shared_ptr<IOTAProcess> P = GetProcess(I);
    if (!P) continue;
    const std::string Exe = P->GetExeName();
    auto It = std::find_if(FLocalOptionsList.begin(), FLocalOptionsList.end(),
                           [&](const TDebugMgrOptions& L) { return L.FLocalOverride && L.FProcess == Exe; });
    if (It == FLocalOptionsList.end()) continue;
    if (Questions().MessageDlg(Format(res::SOverwriteLocalOptions, Exe), TMsgDlgType::mtConfirmation, mbYes | mbNo,
                               mrNo) == mrYes)
      FLocalOptionsList.erase(It);
  }
}

// -- Processes -----------------------------------------------------------------------------

void TDebuggerMgr::HookProcess(const std::shared_ptr<IOTAProcess>& Process) {
  for (const auto& W : FProcessNotifierIndexList)
    if (W.FKey == Process.get()) return;
  TProcessNotifierWrapper W;
  W.FProcess = Process;
  W.FKey = Process.get();
  W.FNotifierIndex = Process->AddNotifier(std::make_shared<TProcessNotifier>(*this));
  FProcessNotifierIndexList.push_back(W);
}

void TDebuggerMgr::UnhookProcess(const IOTAProcess* Process) {
  for (auto It = FProcessNotifierIndexList.begin(); It != FProcessNotifierIndexList.end(); ++It) {
    if (It->FKey != Process) continue;
    if (std::shared_ptr<IOTAProcess> P = It->FProcess.lock()) P->RemoveNotifier(It->FNotifierIndex);
    FProcessNotifierIndexList.erase(It);
    return;
  }
}

void TDebuggerMgr::ProcessCreated(const std::shared_ptr<IOTAProcess>& Process) {
  HookProcess(Process);
  TEvProcessEvent Ev(Process);
  FEvProcessCreated.Send(Ev);
  UpdateKeymap();
}

void TDebuggerMgr::ProcessDestroyed(const std::shared_ptr<IOTAProcess>& Process) {
  UnhookProcess(Process.get());
  FHasProcessState = false;
  // Passes count from the start of each run.
  for (int I = 0; I < FBreakpointList->GetCount(); ++I) FBreakpointList->GetBreakpoint(I)->ResetPassCount();
  TEvProcessEvent Ev(Process);
  FEvProcessDestroyed.Send(Ev);
  UpdateKeymap();
}

void TDebuggerMgr::ProcessStateChanged(const std::shared_ptr<IOTAProcess>& Process) {
  FHasProcessState = false;
  TEvProcessEvent Ev(Process);
  FEvProcessStateChanged.Send(Ev);
}

// -- The event log -------------------------------------------------------------------------

bool TDebuggerMgr::KeepsLogKind(TOTALogItemType Kind) const {
  switch (Kind) {
    case litProcess: return FDebugOptions.FLogProcessMessages;
    case litThread: return FDebugOptions.FLogThreadMessages;
    case litModule: return FDebugOptions.FLogModuleMessages;
    case litBreakpoint: return FDebugOptions.FLogBPMessages;
    case litDefault:
    case litOutput:
    case litKernel: break;
  }
  return true;
}

void TDebuggerMgr::LogString(const std::string& Text, TOTALogItemType Kind) {
  if (!KeepsLogKind(Kind)) return;
  FLogStringList.push_back(TLogItem{Kind, Text});
  if (!FDebugOptions.FLogUnlimited)
    while (FLogStringList.size() > static_cast<size_t>(std::max(1, FDebugOptions.FLogLength))) FLogStringList.pop_front();
  LogStringListChanged();
  TEvLogString Ev(TLogItem{Kind, Text});
  FEvLogStringAdded.Send(Ev);
}

void TDebuggerMgr::ClearLog() {
  if (FLogStringList.empty()) return;
  FLogStringList.clear();
  LogStringListChanged();
}

void TDebuggerMgr::LogStringListChanged() {
  if (FLogStringList.empty()) {
    FLogStringListChangedSent = false;
    TEvDebugNotify Ev;
    FEvLogStringListChanged.Send(Ev);
    return;
  }
  const bool WasSent = FLogStringListChangedSent;
  FLogStringListChangedSent = true;
  if (!WasSent) FDebuggerActionQueue.Add(&FDeferredWnd, WM_LOGCHANGED, 0, 0);
}

// -- Main-thread callbacks -----------------------------------------------------------------

void TDebuggerMgr::RequestCallback(std::function<void()> Proc) {
  auto Param = std::make_shared<TDebugMessageParam>();
  Param->DebuggerIndex = -1;
  Param->Proc = std::move(Proc);
  std::weak_ptr<bool> Alive = FAlive;
  Queue([this, Param, Alive] {
    auto A = Alive.lock();
    if (A && *A) HandleDebugMessage(*Param, 0);
  });
}

void TDebuggerMgr::PostDebugMessage(IOTADebugger& Debugger, intptr_t WParam, intptr_t LParam) {
  auto Param = std::make_shared<TDebugMessageParam>();
  {
    std::lock_guard Lock(FListLock);
    for (size_t I = 0; I < FDebuggerList.size(); ++I)
      if (FDebuggerList[I].get() == &Debugger) {
        Param->DebuggerIndex = static_cast<int>(I);
        Param->Debugger = FDebuggerList[I];
      }
  }
  // A kernel that is not registered has no way back to the main thread.
  if (Param->DebuggerIndex < 0) return;
  Param->WParam = WParam;
  std::weak_ptr<bool> Alive = FAlive;
  Queue([this, Param, Alive, LParam] {
    auto A = Alive.lock();
    if (A && *A) HandleDebugMessage(*Param, LParam);
  });
}

namespace {
std::unique_ptr<TDebuggerMgr>& Instance();
}  // namespace

void TDebuggerMgr::HandleDebugMessage(TDebugMessageParam& Param, intptr_t LParam) {
  struct TDispatch {
    TDebuggerMgr& Mgr;
    explicit TDispatch(TDebuggerMgr& M) : Mgr(M) { ++Mgr.FDispatchDepth; }
    // The last thing the handler does: a destruction that waited for it happens here.
    ~TDispatch() {
      if (--Mgr.FDispatchDepth == 0 && Mgr.FDelayDestruct && Instance().get() == &Mgr) Instance().reset();
    }
  } Dispatch(*this);
  if (Param.DebuggerIndex == -1) {
    if (Param.Proc) Param.Proc();
    Param.Proc = nullptr;
    return;
  }
  std::shared_ptr<IOTADebugger> D = GetDebugger(Param.DebuggerIndex);
  if (D && D == Param.Debugger.lock()) D->DebugMessageHook(Param.WParam, LParam);
}

// -- Breakpoints ---------------------------------------------------------------------------

int TDebuggerMgr::GetSourceBreakpointCount() const { return FBreakpointList->GetCount(); }

std::shared_ptr<IOTASourceBreakpoint> TDebuggerMgr::GetSourceBreakpoint(int Index) const {
  return FBreakpointList->GetBreakpoint(Index);
}

void TDebuggerMgr::EnableBreakpointGroup(const std::string& GroupName, bool Enable) {
  FBreakpointList->EnableGroup(GroupName, Enable);
}

void TDebuggerMgr::SourceBreakpointAdded(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) {
  for (int I = 0; I < GetDebuggerCount(); ++I) GetDebugger(I)->SourceBreakpointAdded(Breakpoint);
}

void TDebuggerMgr::SourceBreakpointChanged(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) {
  for (int I = 0; I < GetDebuggerCount(); ++I) GetDebugger(I)->SourceBreakpointChanged(Breakpoint);
}

void TDebuggerMgr::SourceBreakpointDeleted(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) {
  for (int I = 0; I < GetDebuggerCount(); ++I) GetDebugger(I)->SourceBreakpointDeleted(Breakpoint);
}

// -- Visualizers ---------------------------------------------------------------------------

void TDebuggerMgr::RegisterVisualizer(const std::shared_ptr<IOTADebuggerVisualizer>& Visualizer) {
  FDebuggerVisualizerList->Add(Visualizer);
  TEvDebugNotify Ev;
  FEvVisualizerListChanged.Send(Ev);
}

void TDebuggerMgr::UnregisterVisualizer(const IOTADebuggerVisualizer* Visualizer) {
  FDebuggerVisualizerList->Remove(Visualizer);
  TEvDebugNotify Ev;
  FEvVisualizerListChanged.Send(Ev);
}

void TDebuggerMgr::SetVisualizerEnabled(const IOTADebuggerVisualizer* Visualizer, bool Enabled) {
  FDebuggerVisualizerList->SetEnabled(Visualizer, Enabled);
  TEvDebugNotify Ev;
  FEvVisualizerListChanged.Send(Ev);
}

// -- The process's manager -----------------------------------------------------------------

namespace {
std::unique_ptr<TDebuggerMgr>& Instance() {
  static std::unique_ptr<TDebuggerMgr> Mgr;
  return Mgr;
}
}  // namespace

TDebuggerMgr& DebugMgr() {
  if (!Instance()) {
    Instance() = std::make_unique<TDebuggerMgr>(SettingsStore());
    Instance()->LoadOptions();
  }
  return *Instance();
}

bool DebugMgrExists() { return Instance() != nullptr; }

void InitDebug() { (void)DebugMgr(); }

void DoneDebug() {
  if (Instance() && Instance()->FDispatchDepth > 0) {
    Instance()->FDelayDestruct = true;
    return;
  }
  Instance().reset();
}

namespace {
TDebuggerRegistrationHook& RegistrationHook() {
  static TDebuggerRegistrationHook Hook;
  return Hook;
}
}  // namespace

void SetDebuggerRegistrationHook(TDebuggerRegistrationHook Hook) { RegistrationHook() = std::move(Hook); }

void RegisterDebugger(std::shared_ptr<IOTADebugger> Debugger) {
  if (!Debugger || DebugMgr().IndexOfDebugger(Debugger.get()) >= 0) return;
  DebugMgr().AddDebugger(Debugger);
  // The undo keeps no reference: whatever it held would be freed by code of a package
  // that may be closed by then.
  const IOTADebugger* Key = Debugger.get();
  if (RegistrationHook())
    RegistrationHook()([Key] {
      if (DebugMgrExists()) DebugMgr().RemoveDebugger(Key);
    });
}

void UnregisterDebugger(const std::shared_ptr<IOTADebugger>& Debugger) {
  if (DebugMgrExists()) DebugMgr().RemoveDebugger(Debugger.get());
}

}  // namespace nxs
