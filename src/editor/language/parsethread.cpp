#include "editor/language/parsethread.h"

#include <cassert>
#include <utility>

#include "shared/mainthread.h"

namespace nxs {

namespace {

std::atomic<int32_t> GCancelState{0};

// Waits on the main thread in slices, serving the main-thread queue between them; on other
// threads waits once. Wait(ms) returns true when the awaited state is reached.
template <class TWaitFn>
bool WaitServingMainThread(int TimeoutMs, bool Serve, TWaitFn Wait) {
  if (!Serve || !MainThreadQueue().IsMainThread()) return Wait(TimeoutMs);
  auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    MainThreadQueue().ProcessPending();
    int Left = TimeoutMs < 0 ? 5 : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                        Deadline - std::chrono::steady_clock::now())
                                                        .count());
    if (Wait(std::max(0, std::min(Left, 5)))) return true;
    if (TimeoutMs >= 0 && Left <= 0) return false;
  }
}

}  // namespace

// --- TManualResetEvent ---

void TManualResetEvent::Set() {
  std::lock_guard G(FMutex);
  FSet = true;
  FChanged.notify_all();
}

void TManualResetEvent::Reset() {
  std::lock_guard G(FMutex);
  FSet = false;
}

bool TManualResetEvent::IsSet() const {
  std::lock_guard G(FMutex);
  return FSet;
}

bool TManualResetEvent::WaitFor(int TimeoutMs) {
  std::unique_lock L(FMutex);
  if (TimeoutMs < 0) {
    FChanged.wait(L, [&] { return FSet; });
    return true;
  }
  return FChanged.wait_for(L, std::chrono::milliseconds(TimeoutMs), [&] { return FSet; });
}

// --- TRecursiveLock ---

bool TRecursiveLock::TryLockFor(int TimeoutMs) {
  std::unique_lock L(FMutex);
  const std::thread::id Me = std::this_thread::get_id();
  if (FDepth > 0 && FOwner == Me) {
    ++FDepth;
    return true;
  }
  auto IsFree = [&] { return FDepth == 0; };
  if (TimeoutMs < 0)
    FFree.wait(L, IsFree);
  else if (!FFree.wait_for(L, std::chrono::milliseconds(TimeoutMs), IsFree))
    return false;
  FOwner = Me;
  FDepth = 1;
  return true;
}

void TRecursiveLock::Unlock() {
  std::lock_guard G(FMutex);
  assert(FDepth > 0 && FOwner == std::this_thread::get_id() && "unlocked by a thread that does not hold it");
  if (--FDepth == 0) {
    FOwner = {};
    FFree.notify_all();
  }
}

// --- TParserTask ---

TParserTask::TParserTask(TParserTaskAction Action, TParseThread* Thread)
    : FAction(std::move(Action)), FThread(Thread) {}

void TParserTask::Execute() {
  FRunning.store(true);
  FAction(*this);
  FDone.Set();
}

void TParserTask::Cancel() {
  FCanceled.store(true);
  if (FRunning.load() && !FDone.IsSet() && FThread) {
    FThread->CancelAndLock();
    FThread->Unlock();
  }
}

bool TParserTask::WaitFor(int TimeoutMs) {
  return WaitServingMainThread(TimeoutMs, true, [&](int Ms) { return FDone.WaitFor(Ms); });
}

void TParserTask::SetValue(const std::string& Name, std::any Value) {
  std::lock_guard G(FValuesMutex);
  FValues[Name] = std::move(Value);
}

std::any TParserTask::GetValue(const std::string& Name) const {
  std::lock_guard G(FValuesMutex);
  auto It = FValues.find(Name);
  return It == FValues.end() ? std::any() : It->second;
}

// --- TParseThread ---

TParseThread::TParseThread(TClock Clock) : FClock(std::move(Clock)) {
  FThread = std::thread([this] { Body(); });
}

TParseThread::~TParseThread() {
  Terminate();
  if (FThread.joinable()) FThread.join();
  // The flag is the process's; the next thread starts uncanceled.
  SetCancelState(0);
}

std::chrono::steady_clock::time_point TParseThread::Now() const {
  return FClock ? FClock() : std::chrono::steady_clock::now();
}

void TParseThread::Add(std::shared_ptr<IParseThreadParser> Parser) {
  if (!Parser) return;
  CancelAndLock();
  FParsers.push_back(std::move(Parser));
  Unlock();
}

void TParseThread::Remove(const IParseThreadParser* Parser) {
  CancelAndLock();
  std::erase_if(FParsers, [&](const auto& P) { return P.get() == Parser; });
  Unlock();
}

void TParseThread::Modified() {
  bool Wake;
  {
    std::lock_guard G(FTimeMutex);
    FLastModified = Now();
    ++FModifiedSeq;
    Wake = std::exchange(FSleepsUntilChanged, false);
  }
  // Only a thread that sleeps until something changes needs waking: one that waits out the
  // quiet period or parses looks at the time stamp again when it is done, so a keystroke
  // costs the thread no wake-up while the typing goes on.
  if (Wake) FWake.Set();
}

void TParseThread::SetDelay(int Milliseconds) {
  {
    std::lock_guard G(FTimeMutex);
    FDelay = std::max(0, Milliseconds);
  }
  ParseNow();
}

int TParseThread::Delay() const {
  std::lock_guard G(FTimeMutex);
  return FDelay;
}

void TParseThread::ParseNow() {
  {
    std::lock_guard G(FTimeMutex);
    FLastModified = Now();
    ++FModifiedSeq;
    FSleepsUntilChanged = false;
  }
  FWake.Set();
}

bool TParseThread::WaitForParse(bool RunSynchronized, int TimeoutMs) {
  FLowerPriority.store(false);
  uint64_t Wanted;
  {
    std::lock_guard G(FTimeMutex);
    Wanted = FModifiedSeq + 1;
  }
  ParseNow();
  SetPriority(TParsePriority::AboveNormal);
  // Waits for a parse that started from this request or a later one: a done signal left
  // over from an earlier quiet period must not answer it.
  bool Ok = WaitServingMainThread(TimeoutMs, RunSynchronized, [&](int Ms) {
    std::unique_lock L(FTimeMutex);
    return FParsedChanged.wait_for(L, std::chrono::milliseconds(Ms), [&] { return FParsedSeq >= Wanted; });
  });
  FParseDone.Reset();
  return Ok;
}

std::shared_ptr<TParserTask> TParseThread::StartTask(bool LockNow, TParserTaskAction Action) {
  if (!Action) return nullptr;
  auto Task = std::make_shared<TParserTask>(std::move(Action), this);
  FLowerPriority.store(false);
  if (LockNow) CancelAndLock();
  {
    std::lock_guard G(FQueueMutex);
    FTasks.push_back(Task);
  }
  if (LockNow) Unlock();
  ParseNow();
  return Task;
}

void TParseThread::Lock() {
  if (MainThreadQueue().IsMainThread()) {
    while (!FLock.TryLockFor(1)) MainThreadQueue().ProcessPending();
  } else {
    FLock.Lock();
  }
  FLockCount.fetch_add(1);
}

void TParseThread::Unlock() {
  FLockCount.fetch_sub(1);
  FLock.Unlock();
}

void TParseThread::CancelAndLock() {
  int32_t Previous = SetCancelState(1);
  SetPriority(TParsePriority::AboveNormal);
  Lock();
  SetCancelState(Previous);
}

int32_t TParseThread::SetCancelState(int32_t Value) { return GCancelState.exchange(Value); }

int32_t TParseThread::GetCancelState() { return GCancelState.load(); }

void TParseThread::Terminate() {
  FTerminated.store(true);
  FWake.Set();
  SetCancelState(1);
}

void TParseThread::Body() {
  SetCurrentThreadName("Parser Thread");
  while (!FTerminated.load()) {
    RunTasks();
    int Remaining;
    bool Due;
    {
      std::lock_guard G(FTimeMutex);
      auto Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Now() - FLastModified).count();
      // A stamp from the far past (or a clock that stepped back) counts as long quiet.
      if (Elapsed < 0 || Elapsed >= 24LL * 3600 * 1000) Elapsed = FDelay + 1;
      Remaining = static_cast<int>(FDelay - Elapsed);
      Due = FModifiedSeq != FParsedSeq;
    }
    if (Remaining < 1) {
      if (FLowerPriority.load() && FPriority.load() != TParsePriority::Lower) SetPriority(TParsePriority::Lower);
      if (Due) DoParse();
      FParseDone.Set();
      FLowerPriority.store(true);
      SetPriority(TParsePriority::AboveNormal);
      Remaining = Delay();
    }
    if (FTerminated.load()) break;
    {
      std::lock_guard G(FTimeMutex);
      // Nothing to parse: sleep until a change or a task wakes the thread, rather than
      // polling (with a delay of 0 polling would spin).
      if (FModifiedSeq == FParsedSeq) Remaining = -1;
      FSleepsUntilChanged = Remaining < 0;
    }
    if (FWake.WaitFor(Remaining)) FWake.Reset();
  }
}

void TParseThread::RunTasks() {
  for (;;) {
    if (GetCancelState() != 0) return;
    std::shared_ptr<TParserTask> Task;
    {
      std::lock_guard G(FQueueMutex);
      if (FTasks.empty()) return;
      Task = std::move(FTasks.front());
      FTasks.pop_front();
    }
    if (Task->IsCanceled()) continue;
    Lock();
    // Canceled while this thread waited for the lock: it must still never run.
    if (Task->IsCanceled()) {
      Unlock();
      continue;
    }
    FParsing.store(true);
    Task->Execute();
    FParsing.store(false);
    Unlock();
  }
}

void TParseThread::DoParse() {
  Lock();
  RunTasks();
  FParsing.store(true);
  {
    std::lock_guard G(FTimeMutex);
    FLastParseStart = Now();
    FStartedSeq = FModifiedSeq;
  }
  bool Canceled = false;
  for (auto& Parser : FParsers) {
    if (GetCancelState() != 0) {
      Canceled = true;
      break;
    }
    Parser->Parse();
  }
  if (GetCancelState() != 0) Canceled = true;
  FParsing.store(false);
  // A canceled parse is not a result: the text it read is about to change, and the next
  // quiet period parses again.
  if (!Canceled) {
    std::lock_guard G(FTimeMutex);
    FParsedSeq = FStartedSeq;
    FParseCount.fetch_add(1);
    FParsedChanged.notify_all();
  }
  Unlock();
}

namespace {
std::unique_ptr<TParseThread> GParseThread;
std::mutex GParseThreadMutex;
}  // namespace

TParseThread& ParseThread() {
  std::lock_guard G(GParseThreadMutex);
  if (!GParseThread) GParseThread = std::make_unique<TParseThread>();
  return *GParseThread;
}

bool ParseThreadRunning() {
  std::lock_guard G(GParseThreadMutex);
  return GParseThread != nullptr;
}

void ShutdownParseThread() {
  std::unique_ptr<TParseThread> Old;
  {
    std::lock_guard G(GParseThreadMutex);
    Old = std::move(GParseThread);
  }
}

}  // namespace nxs
