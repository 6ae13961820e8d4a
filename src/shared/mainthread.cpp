#include "shared/mainthread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include <exception>

namespace nxs {

struct TWait {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  std::exception_ptr Error;
};

TMainThreadQueue::TMainThreadQueue() : FMainThread(std::this_thread::get_id()) {}

void TMainThreadQueue::SetMainThread(std::thread::id Id) {
  std::lock_guard G(FMutex);
  FMainThread = Id;
}

bool TMainThreadQueue::IsMainThread() const {
  std::lock_guard G(FMutex);
  return FMainThread == std::this_thread::get_id();
}

void TMainThreadQueue::Synchronize(const std::function<void()>& Fn) {
  if (IsMainThread()) {
    Fn();
    return;
  }
  TWait Wait;
  std::function<void()> Wake;
  {
    std::lock_guard G(FMutex);
    FItems.push_back(TItem{Fn, &Wait});
    Wake = FWakeHook;
  }
  FWork.notify_all();
  if (Wake) Wake();
  std::unique_lock L(Wait.Mutex);
  Wait.Done.wait(L, [&] { return Wait.Finished; });
  if (Wait.Error) std::rethrow_exception(Wait.Error);
}

void TMainThreadQueue::Queue(std::function<void()> Fn) {
  std::function<void()> Wake;
  {
    std::lock_guard G(FMutex);
    FItems.push_back(TItem{std::move(Fn), nullptr});
    Wake = FWakeHook;
  }
  FWork.notify_all();
  if (Wake) Wake();
}

void TMainThreadQueue::SetWakeHook(std::function<void()> Hook) {
  std::lock_guard G(FMutex);
  FWakeHook = std::move(Hook);
}

int TMainThreadQueue::ProcessPending() {
  int Ran = 0;
  for (;;) {
    TItem Item;
    {
      std::lock_guard G(FMutex);
      if (FItems.empty()) return Ran;
      Item = std::move(FItems.front());
      FItems.pop_front();
    }
    ++Ran;
    if (!Item.Wait) {
      Item.Fn();
      continue;
    }
    std::exception_ptr Error;
    try {
      Item.Fn();
    } catch (...) {
      Error = std::current_exception();
    }
    std::lock_guard L(Item.Wait->Mutex);
    Item.Wait->Error = Error;
    Item.Wait->Finished = true;
    Item.Wait->Done.notify_all();
  }
}

int TMainThreadQueue::WaitAndProcess(int TimeoutMs) {
  {
    std::unique_lock L(FMutex);
    FWork.wait_for(L, std::chrono::milliseconds(TimeoutMs), [&] { return !FItems.empty(); });
  }
  return ProcessPending();
}

bool TMainThreadQueue::HasPending() const {
  std::lock_guard G(FMutex);
  return !FItems.empty();
}

TMainThreadQueue& MainThreadQueue() {
  static TMainThreadQueue Queue;
  return Queue;
}

void SetCurrentThreadName(const std::string& Name) {
  pthread_setname_np(pthread_self(), Name.substr(0, 15).c_str());
}

void LowerCurrentThreadPriority() {
  // A thread's nice value is its own on Linux: the process's other threads keep theirs.
  const auto Self = static_cast<id_t>(::syscall(SYS_gettid));
  errno = 0;
  const int Nice = ::getpriority(PRIO_PROCESS, Self);
  if (errno == 0 && Nice < 19) ::setpriority(PRIO_PROCESS, Self, Nice + 1);
}

}  // namespace nxs
