// Tools run from tasks: the Exec task, and the cancel flag a task hands to RunProcess.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "build/engine/tasks.h"

namespace nxs::engine {

// A cancel flag for RunProcess that a task can also set itself (a progress update that the
// user answered with cancel). While it lives, a watcher sets it once the build is cancelled.
class TTaskCancel {
 public:
  explicit TTaskCancel(const TTaskContext& Context);
  ~TTaskCancel();
  TTaskCancel(const TTaskCancel&) = delete;  // the watcher holds its address
  TTaskCancel& operator=(const TTaskCancel&) = delete;
  const std::atomic<bool>* Flag() const { return &FFlag; }
  void Set() { FFlag = true; }
  bool IsSet() const { return FFlag; }

 private:
  std::atomic<bool> FFlag{false};
  std::mutex FMutex;
  std::condition_variable FWake;
  bool FStop = false;
  std::thread FWatcher;
};

// Registers "Exec": Command (run by /bin/sh), WorkingDirectory, IgnoreExitCode, EchoOff,
// ConsoleToMSBuild; outputs ExitCode and ConsoleOutput.
void RegisterExecTask();

}  // namespace nxs::engine
