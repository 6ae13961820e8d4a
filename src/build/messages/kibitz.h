// The kibitzing monitor: a thread that lets the user cancel a long code-insight compile. This
// host has no mouse; the monitor watches the host's cancel key, and where it can watch
// nothing it cancels once the compile has run too long.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace nxs {

// The host's cancel key (Escape in a terminal host). Called from the monitor's thread.
class ICancelKey {
 public:
  virtual ~ICancelKey() = default;
  // False when the host cannot watch the key (no terminal).
  virtual bool Available() = 0;
  // True when the key is down or was pressed since the last call.
  virtual bool Pressed() = 0;
  // A cycle begins (true) or ends (false): a terminal takes its keys one by one meanwhile.
  virtual void Watch(bool On) {}
};
void SetCancelKey(std::shared_ptr<ICancelKey> Key);

// Start flags: what may cancel.
enum : unsigned { kmMouse = 1, kmCancelKey = 2 };

class TKibitzingMonitor {
 public:
  static constexpr int SliceMs = 50;
  static constexpr int DefaultTimeoutMs = 6000;

  TKibitzingMonitor() = default;
  ~TKibitzingMonitor() { Release(); }
  TKibitzingMonitor(const TKibitzingMonitor&) = delete;  // its thread holds it
  TKibitzingMonitor& operator=(const TKibitzingMonitor&) = delete;

  // Counts a start; the first of a cycle begins watching. Nothing happens when the settings
  // value "DisableKibitzMonitor" of "Globals" is true.
  void Start(unsigned Flags);
  // Counts an end; the last one ends the cycle (and the wait of a cancel).
  void Finished();
  bool Canceled() const { return FCanceled.load() == 1; }
  // Stops the thread.
  void Release();
  // Called with 1 when a cancel begins, and again with what it answered when the cycle ends.
  int RegisterCancelState(std::function<int(int)> Callback);
  void UnregisterCancelState(int Index);
  // True when the user has a way to cancel (the host's cancel key can be watched).
  bool UserCanCancelKibitzing();
  // How long a cycle may run before it is cancelled when nothing can be watched.
  void SetTimeoutMs(int Ms) { FTimeoutMs = Ms; }

 private:
  void Run();
  // Waits for the end of the cycle up to Ms (forever when negative); true when it came.
  bool WaitEvent(std::unique_lock<std::mutex>& L, int Ms);

  std::mutex FLock;
  std::condition_variable FSignal;
  std::thread FThread;
  bool FQuit = false;
  bool FCycle = false;
  bool FEvent = false;  // resets itself when a wait takes it
  int FStarts = 0;
  unsigned FFlags = 0;
  int FDisabled = -1;  // -1: not read yet
  std::atomic<int> FTimeoutMs{DefaultTimeoutMs};
  std::atomic<int> FCanceled{0};
  std::vector<std::function<int(int)>> FCallbacks;
};

TKibitzingMonitor& KibitzingMonitor();
// Stops and frees the process's monitor (tests, shutdown).
void ReleaseKibitzingMonitor();

}  // namespace nxs
