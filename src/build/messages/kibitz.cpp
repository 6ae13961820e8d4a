// The kibitzing monitor's thread: one cycle per code-insight compile, watching the cancel key
// in short slices or, with nothing to watch, timing the compile out.
#include "build/messages/kibitz.h"

#include <chrono>

#include "shared/mainthread.h"
#include "shared/settings.h"

namespace nxs {

namespace {

std::mutex KeyLock;
std::shared_ptr<ICancelKey>& Key() {
  static std::shared_ptr<ICancelKey> K;
  return K;
}

std::shared_ptr<ICancelKey> CurrentKey() {
  std::lock_guard G(KeyLock);
  return Key();
}

std::unique_ptr<TKibitzingMonitor>& TheMonitor() {
  static std::unique_ptr<TKibitzingMonitor> M;
  return M;
}

}  // namespace

void SetCancelKey(std::shared_ptr<ICancelKey> K) {
  std::lock_guard G(KeyLock);
  Key() = std::move(K);
}

void TKibitzingMonitor::Start(unsigned Flags) {
  std::lock_guard G(FLock);
  if (FDisabled < 0) FDisabled = SettingsStore().ReadBool("Globals", "DisableKibitzMonitor", false) ? 1 : 0;
  if (FDisabled == 1) return;
  if (!FThread.joinable()) {
    FQuit = false;
    FThread = std::thread([this] { Run(); });
  }
  if (++FStarts != 1) return;
  FFlags = Flags;
  FEvent = false;
  FCycle = true;
  FSignal.notify_all();
}

void TKibitzingMonitor::Finished() {
  std::lock_guard G(FLock);
  if (--FStarts >= 1) return;
  FStarts = 0;
  FEvent = true;
  FSignal.notify_all();
}

void TKibitzingMonitor::Release() {
  {
    std::lock_guard G(FLock);
    if (!FThread.joinable()) return;
    FQuit = true;
    FSignal.notify_all();
  }
  FThread.join();
}

int TKibitzingMonitor::RegisterCancelState(std::function<int(int)> Callback) {
  std::lock_guard G(FLock);
  for (size_t I = 0; I < FCallbacks.size(); ++I)
    if (!FCallbacks[I]) {
      FCallbacks[I] = std::move(Callback);
      return static_cast<int>(I);
    }
  FCallbacks.push_back(std::move(Callback));
  return static_cast<int>(FCallbacks.size()) - 1;
}

void TKibitzingMonitor::UnregisterCancelState(int Index) {
  std::lock_guard G(FLock);
  if (Index >= 0 && Index < static_cast<int>(FCallbacks.size())) FCallbacks[static_cast<size_t>(Index)] = nullptr;
}

bool TKibitzingMonitor::UserCanCancelKibitzing() {
  std::shared_ptr<ICancelKey> K = CurrentKey();
  return K && K->Available();
}

bool TKibitzingMonitor::WaitEvent(std::unique_lock<std::mutex>& L, int Ms) {
  auto Ready = [this] { return FEvent || FQuit; };
  if (Ms < 0) FSignal.wait(L, Ready);
  else FSignal.wait_for(L, std::chrono::milliseconds(Ms), Ready);
  if (!FEvent) return FQuit;
  FEvent = false;
  return true;
}

void TKibitzingMonitor::Run() {
  // It only watches: below the compile it watches, and named once it runs there.
  LowerCurrentThreadPriority();
  SetCurrentThreadName("Kibitz Monitor Thread");
  std::unique_lock L(FLock);
  for (;;) {
    FSignal.wait(L, [this] { return FCycle || FQuit; });
    if (FQuit) return;
    FCycle = false;
    std::shared_ptr<ICancelKey> K = (FFlags & kmCancelKey) ? CurrentKey() : nullptr;
    bool Cancel = false;
    if (K && K->Available()) {
      K->Watch(true);
      for (;;) {
        if (WaitEvent(L, SliceMs)) break;
        L.unlock();
        const bool Pressed = K->Pressed();
        L.lock();
        if (Pressed) {
          Cancel = true;
          break;
        }
      }
      L.unlock();
      K->Watch(false);
      L.lock();
    } else {
      Cancel = !WaitEvent(L, FTimeoutMs.load());
    }
    if (!Cancel || FQuit) continue;
    ++FCanceled;
    std::vector<std::function<int(int)>> Callbacks = FCallbacks;
    std::vector<int> Kept(Callbacks.size());
    L.unlock();
    for (size_t I = 0; I < Callbacks.size(); ++I)
      if (Callbacks[I]) Kept[I] = Callbacks[I](1);
    L.lock();
    WaitEvent(L, -1);
    L.unlock();
    for (size_t I = 0; I < Callbacks.size(); ++I)
      if (Callbacks[I]) Callbacks[I](Kept[I]);
    L.lock();
    --FCanceled;
  }
}

TKibitzingMonitor& KibitzingMonitor() {
  if (!TheMonitor()) TheMonitor() = std::make_unique<TKibitzingMonitor>();
  return *TheMonitor();
}

void ReleaseKibitzingMonitor() { TheMonitor().reset(); }

}  // namespace nxs
