#include "build/progress.h"

#include "build/resstrings.h"
#include "shared/filenames.h"
#include "shared/mainthread.h"

namespace nxs {

namespace {

std::mutex& MonitorLock() {
  static std::mutex Lock;
  return Lock;
}
std::shared_ptr<TProgressMonitor>& MonitorSlot() {
  static std::shared_ptr<TProgressMonitor> Monitor;
  return Monitor;
}
std::shared_ptr<IProgressWindow>& WindowSlot() {
  static std::shared_ptr<IProgressWindow> Window;
  return Window;
}

bool ValidKind(TMsgKind Kind) { return Kind >= msgHint && Kind <= msgInfo; }

}  // namespace

void TProgressMonitor::Reset() {
  for (auto& C : FCounts) C = 0;
  FFileLines = 0;
  FTotalLines = 0;
  FCancelled = false;
  FContinue = true;
  std::lock_guard G(FLock);
  FTitle.clear();
  FAction.clear();
  FFileName.clear();
  FProject.clear();
}

void TProgressMonitor::MainThreadUpdate() {
  TUpdateHandler Handler;
  {
    std::lock_guard G(FLock);
    Handler = FOnUpdate;
  }
  if (!Handler) return;
  bool Continue = true;
  Handler(*this, Continue);
  if (!Continue) FContinue = false;
}

bool TProgressMonitor::DoUpdate() {
  bool HasHandler;
  {
    std::lock_guard G(FLock);
    HasHandler = static_cast<bool>(FOnUpdate);
  }
  // A thread that is not the main one waits while the handler runs there, then reads back
  // what it decided.
  if (HasHandler) MainThreadQueue().Synchronize([this] { MainThreadUpdate(); });
  return FContinue && !FCancelled;
}

void TProgressMonitor::IncErrorCount(TMsgKind Kind) {
  if (ValidKind(Kind)) ++FCounts[Kind];
}

int TProgressMonitor::GetErrorCount(TMsgKind Kind) const { return ValidKind(Kind) ? FCounts[Kind].load() : 0; }

int TProgressMonitor::GetErrorCounts(std::initializer_list<TMsgKind> Kinds) const {
  int Sum = 0;
  for (TMsgKind K : Kinds) Sum += GetErrorCount(K);
  return Sum;
}

void TProgressMonitor::SetErrorCount(TMsgKind Kind, int Count) {
  if (ValidKind(Kind)) FCounts[Kind] = Count;
}

void TProgressMonitor::IncBuildTime(double Seconds) {
  std::lock_guard G(FLock);
  FBuildTime += Seconds;
}

double TProgressMonitor::BuildTime() const {
  std::lock_guard G(FLock);
  return FBuildTime;
}

#define NXS_PROGRESS_TEXT(Field, Setter, Getter)         \
  void TProgressMonitor::Setter(const std::string& Value) { \
    std::lock_guard G(FLock);                            \
    Field = Value;                                       \
  }                                                      \
  std::string TProgressMonitor::Getter() const {         \
    std::lock_guard G(FLock);                            \
    return Field;                                        \
  }
NXS_PROGRESS_TEXT(FTitle, SetTitle, Title)
NXS_PROGRESS_TEXT(FAction, SetAction, Action)
NXS_PROGRESS_TEXT(FFileName, SetFileName, FileName)
NXS_PROGRESS_TEXT(FProject, SetProject, Project)
#undef NXS_PROGRESS_TEXT

void TProgressMonitor::SetOnUpdate(TUpdateHandler Handler) {
  std::lock_guard G(FLock);
  FOnUpdate = std::move(Handler);
}

void TProgressMonitor::Update(int Kind, const std::string& Text, int32_t Count1, int32_t Count2) {
  if (Kind < progLoading || Kind > progCleaning) return;
  CompilerUpdateProgress(static_cast<TProgKind>(Kind), Text, Count1, Count2);
}

std::shared_ptr<TProgressMonitor> ProgressMonitorPtr() {
  std::lock_guard G(MonitorLock());
  if (!MonitorSlot()) {
    MonitorSlot() = std::make_shared<TProgressMonitor>();
    SetProgressMonitor(MonitorSlot());
  }
  return MonitorSlot();
}

TProgressMonitor& ProgressMonitor() { return *ProgressMonitorPtr(); }

void ResetProgressMonitor() {
  std::lock_guard G(MonitorLock());
  if (MonitorSlot()) SetProgressMonitor(nullptr);
  MonitorSlot().reset();
}

bool CompilerUpdateProgress(TProgKind Kind, const std::string& FileName, int Lines, int TotalLines) {
  TProgressMonitor& M = ProgressMonitor();
  switch (Kind) {
    case progCompiling:
      M.SetAction(res::SProgCompiling);
      M.SetFileName(ExtractFileName(FileName));
      M.SetFileLineCount(Lines);
      M.SetTotalLineCount(TotalLines);
      break;
    case progLinking:
      M.SetAction(res::SProgLinking);
      M.SetFileName(FileName);
      break;
    case progChecking:
      M.SetAction(res::SProgChecking);
      M.SetFileName(FileName);
      break;
    case progCleaning:
      M.SetAction(res::SProgCleaning);
      M.SetFileName(FileName);
      break;
    default:
      break;
  }
  return M.DoUpdate();
}

void SetProgressWindow(std::shared_ptr<IProgressWindow> Window) { WindowSlot() = std::move(Window); }
IProgressWindow* ProgressWindow() { return WindowSlot().get(); }

}  // namespace nxs
