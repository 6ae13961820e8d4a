// The main-thread queue: how background threads hand their visible effects to the main
// thread, in place of window messages. The host's loop pumps it; tests pump it too.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace nxs {

class TMainThreadQueue {
 public:
  TMainThreadQueue();
  TMainThreadQueue(const TMainThreadQueue&) = delete;  // threads wait on its state
  TMainThreadQueue& operator=(const TMainThreadQueue&) = delete;

  // The thread that made the queue is the main thread until another one claims it.
  void SetMainThread(std::thread::id Id = std::this_thread::get_id());
  bool IsMainThread() const;

  // Runs Fn on the main thread and waits for it; an exception Fn raises is raised again in
  // the caller. On the main thread Fn runs at once.
  void Synchronize(const std::function<void()>& Fn);
  // Runs Fn later on the main thread.
  void Queue(std::function<void()> Fn);
  // Runs what is waiting; returns how many ran. Called by the main thread only.
  int ProcessPending();
  // Waits up to TimeoutMs for work, then runs it; returns how many ran.
  int WaitAndProcess(int TimeoutMs);
  bool HasPending() const;
  // Called, on the thread that adds work, after each Queue and each Synchronize that waits:
  // how a host whose loop waits on something else (a terminal) is woken. It must be safe on
  // any thread and quick; nullptr removes it.
  void SetWakeHook(std::function<void()> Hook);

 private:
  struct TItem {
    std::function<void()> Fn;
    // Set for Synchronize: the waiting thread's completion slot.
    struct TWait* Wait = nullptr;
  };
  mutable std::mutex FMutex;
  std::condition_variable FWork;
  std::deque<TItem> FItems;
  std::thread::id FMainThread;
  std::function<void()> FWakeHook;  // under FMutex
};

// The process's queue.
TMainThreadQueue& MainThreadQueue();

inline void Synchronize(const std::function<void()>& Fn) { MainThreadQueue().Synchronize(Fn); }
inline void Queue(std::function<void()> Fn) { MainThreadQueue().Queue(std::move(Fn)); }

// Names the calling thread (cut to the 15 characters the system keeps).
void SetCurrentThreadName(const std::string& Name);
// Runs the calling thread one step below where it ran, under the threads that keep the
// environment answering; the threads it starts inherit it. Nothing at the lowest step.
void LowerCurrentThreadPriority();

}  // namespace nxs
