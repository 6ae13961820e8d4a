// The debugger's action queue: messages that wait for the main thread to go idle, each
// posted once however often it was added before then. Kernels' threads add to it; the
// main thread drains it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace nxs {

// What a queued message is posted to: the main-thread end of a debugger window.
class IDebugMessageTarget {
 public:
  virtual ~IDebugMessageTarget() = default;
  virtual void HandleMessage(int Msg, intptr_t WParam, intptr_t LParam) = 0;
};

class TDebuggerActionQueueItem {
 public:
  IDebugMessageTarget* FhWnd = nullptr;
  int FMsg = 0;
  intptr_t FwParam = 0;
  intptr_t FlParam = 0;
};

class TDebuggerActionQueue {
 public:
  TDebuggerActionQueue();
  ~TDebuggerActionQueue();
  TDebuggerActionQueue(const TDebuggerActionQueue&) = delete;  // its idle handler points at it
  TDebuggerActionQueue& operator=(const TDebuggerActionQueue&) = delete;

  // Queues a message unless an equal one (same target, message and parameters) waits
  // already. The first item installs the idle handler: a drain queued on the main thread.
  // Any thread.
  void Add(IDebugMessageTarget* hWnd, int Msg, intptr_t wParam, intptr_t lParam);
  // Drops every waiting item and the idle handler.
  void Clear();
  // Posts every waiting message, in queue order, and empties the queue. Main thread.
  void InvokeItems();
  int Count() const;

 private:
  mutable std::mutex FLock;
  std::vector<std::unique_ptr<TDebuggerActionQueueItem>> FItems;
  // The installed idle handler's token: a drain queued on the main thread runs only while
  // it is the current one, so a cleared queue (or a gone one) ignores it.
  std::shared_ptr<int> FIdleToken;
  std::shared_ptr<bool> FAlive;
};

}  // namespace nxs
