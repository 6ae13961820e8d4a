#include "gdbmi/gdbkernel.h"

#include <algorithm>

namespace nxs::gdbmi {

TGdbKernel::~TGdbKernel() {
  // Sessions end before the kernel their readers post to.
  FProcesses.clear();
}

void TGdbKernel::Registered(IOTADebuggerServices& Services) {
  std::lock_guard Lock(FServicesLock);
  FServices = &Services;
}

void TGdbKernel::Unregistered() {
  // Every gdb ends before the services its readers post to go away.
  std::vector<std::shared_ptr<TGdbProcess>> Processes;
  Processes.swap(FProcesses);
  for (const auto& P : Processes) P->Terminate();
  Processes.clear();
  std::lock_guard Lock(FServicesLock);
  FServices = nullptr;
}

int TGdbKernel::AddNotifier(std::shared_ptr<IOTADebuggerNotifier> Notifier) {
  FNotifiers.emplace_back(FNextNotifier, std::move(Notifier));
  return FNextNotifier++;
}

void TGdbKernel::RemoveNotifier(int Index) {
  std::erase_if(FNotifiers, [&](const auto& N) { return N.first == Index; });
}

void TGdbKernel::NotifyAll(const std::function<void(IOTADebuggerNotifier&)>& Call) {
  // A copy: a notifier may remove itself.
  const auto Notifiers = FNotifiers;
  for (const auto& N : Notifiers) Call(*N.second);
}

std::shared_ptr<IOTAProcess> TGdbKernel::GetProcess(int Index) const {
  if (Index < 0 || Index >= GetProcessCount()) return nullptr;
  return FProcesses[static_cast<size_t>(Index)];
}

std::shared_ptr<IOTAProcess> TGdbKernel::GetCurrentProcess() const {
  // A process that ended is nobody's current one, whoever still holds it.
  const std::shared_ptr<TGdbProcess> P = FCurrent.lock();
  if (P && std::find(FProcesses.begin(), FProcesses.end(), P) != FProcesses.end()) return P;
  return FProcesses.empty() ? nullptr : FProcesses.front();
}

void TGdbKernel::SetCurrentProcess(const std::shared_ptr<IOTAProcess>& Process) {
  for (const auto& P : FProcesses)
    if (P.get() == Process.get()) {
      FCurrent = P;
      NotifyAll([&](IOTADebuggerNotifier& N) { N.CurrentProcessChanged(P); });
    }
}

std::vector<std::shared_ptr<IOTASourceBreakpoint>> TGdbKernel::SourceBreakpoints() const {
  std::vector<std::shared_ptr<IOTASourceBreakpoint>> List;
  for (const auto& Weak : FBreakpoints)
    if (auto B = Weak.lock()) List.push_back(std::move(B));
  return List;
}

std::shared_ptr<IOTAProcess> TGdbKernel::LoadProcess(const TOTALoadParams& Params) {
  std::erase_if(FBreakpoints, [](const auto& W) { return W.expired(); });
  auto P = std::make_shared<TGdbProcess>(*this, FNextSerial++, FOptions);
  P->Load(Params);
  FProcesses.push_back(P);
  FCurrent = P;
  NotifyAll([&](IOTADebuggerNotifier& N) { N.ProcessCreated(P); });
  NotifyAll([&](IOTADebuggerNotifier& N) { N.CurrentProcessChanged(P); });
  return P;
}

std::shared_ptr<IOTAProcess> TGdbKernel::AttachToProcess(int64_t ProcessId) {
  auto P = std::make_shared<TGdbProcess>(*this, FNextSerial++, FOptions);
  P->Attach(ProcessId);
  FProcesses.push_back(P);
  FCurrent = P;
  NotifyAll([&](IOTADebuggerNotifier& N) { N.ProcessCreated(P); });
  NotifyAll([&](IOTADebuggerNotifier& N) { N.CurrentProcessChanged(P); });
  return P;
}

TGdbProcess* TGdbKernel::Find(IOTAProcess& Process) const {
  for (const auto& P : FProcesses)
    if (P.get() == &Process && !P->Gone()) return P.get();
  return nullptr;
}

void TGdbKernel::Run(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Resume("-exec-continue", false);
}

void TGdbKernel::Pause(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Interrupt();
}

bool TGdbKernel::Reset(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Terminate();
  return true;
}

void TGdbKernel::Detach(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Detach();
}

void TGdbKernel::StepInto(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Resume("-exec-step", true);
}

void TGdbKernel::StepOver(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Resume("-exec-next", true);
}

void TGdbKernel::StepOut(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Resume("-exec-finish", true);
}

// gdb's step already runs through code without line information to the next source line.
void TGdbKernel::StepToNextSource(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Resume("-exec-step", true);
}

void TGdbKernel::InstructionStepInto(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Resume("-exec-step-instruction", true);
}

void TGdbKernel::InstructionStepOver(IOTAProcess& Process) {
  if (TGdbProcess* P = Find(Process)) P->Resume("-exec-next-instruction", true);
}

void TGdbKernel::RunToCursor(IOTAProcess& Process, const std::string& FileName, int LineNumber) {
  if (TGdbProcess* P = Find(Process)) P->RunToCursor(FileName, LineNumber);
}

bool TGdbKernel::SetNextStatement(IOTAProcess& Process, const std::string& FileName, int LineNumber,
                                  std::string& Error) {
  TGdbProcess* P = Find(Process);
  return P && P->SetNextStatement(FileName, LineNumber, Error);
}

void TGdbKernel::Post(TMessage Message, int Serial) {
  std::lock_guard Lock(FServicesLock);
  if (FServices) FServices->PostDebugMessage(*this, Message, Serial);
}

void TGdbKernel::DebugMessageHook(intptr_t WParam, intptr_t LParam) {
  std::shared_ptr<TGdbProcess> Target;
  for (const auto& P : FProcesses)
    if (P->Serial() == LParam) Target = P;
  if (!Target) return;  // ended since: what it queued went with it
  if (WParam == wmOutput) Target->HandleOutput();
  if (WParam == wmRecords) Target->HandleQueued();
}

void TGdbKernel::ProcessEnded(TGdbProcess& Process) {
  const auto It = std::find_if(FProcesses.begin(), FProcesses.end(), [&](const auto& P) { return P.get() == &Process; });
  if (It == FProcesses.end()) return;
  std::shared_ptr<TGdbProcess> Kept = *It;
  FProcesses.erase(It);
  NotifyAll([&](IOTADebuggerNotifier& N) { N.ProcessDestroyed(Kept); });
}

uint32_t TGdbKernel::GetSupportedDebugCommands() const {
  return dcRun | dcPause | dcReset | dcDetach | dcStepInto | dcStepOver | dcStepOut | dcStepToNextSource |
         dcInstructionStepInto | dcInstructionStepOver | dcRunToCursor | dcSetNextStatement | dcLoadProcess |
         dcAttachToProcess | dcEvaluate;
}

uint32_t TGdbKernel::GetEnabledDebugCommands() const {
  const std::shared_ptr<IOTAProcess> P = GetCurrentProcess();
  if (!P) return dcRun | dcLoadProcess | dcAttachToProcess;
  switch (P->GetState()) {
    case psRunning:
    case psStepping: return dcPause | dcReset | dcDetach;
    case psStopping: return dcReset | dcDetach;
    case psCreated:
    case psStopped:
    case psFault:
    case psException:
      return GetSupportedDebugCommands() & ~(dcPause | dcLoadProcess | dcAttachToProcess);
    case psTerminated:
    case psNoProcess: break;
  }
  return dcRun | dcLoadProcess | dcAttachToProcess;
}

void TGdbKernel::SourceBreakpointAdded(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) {
  FBreakpoints.push_back(Breakpoint);
  for (const auto& P : FProcesses) P->PlantBreakpoint(Breakpoint);
}

void TGdbKernel::SourceBreakpointChanged(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) {
  for (const auto& P : FProcesses) P->ReplantBreakpoint(Breakpoint);
}

void TGdbKernel::SourceBreakpointDeleted(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) {
  std::erase_if(FBreakpoints, [&](const auto& W) {
    auto B = W.lock();
    return !B || B == Breakpoint;
  });
  for (const auto& P : FProcesses) P->RemoveBreakpoint(Breakpoint.get());
}

}  // namespace nxs::gdbmi
