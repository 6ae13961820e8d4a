// Waiting in tests for what another thread or process brings about: polled, up to a bound, so
// that a loaded machine makes a test neither fail nor slower than it needs to be.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "shared/mainthread.h"
#include "support/files.h"

namespace nxs::test {

// Polls Pred until it holds, at first often, then every 20 ms; false when it still does not
// hold once Bound has passed.
template <class TPred>
bool WaitUntil(TPred&& Pred, std::chrono::milliseconds Bound = std::chrono::seconds(10)) {
  using namespace std::chrono;
  const auto Until = steady_clock::now() + Bound;
  for (auto Pause = microseconds(200); !Pred(); Pause = std::min<microseconds>(Pause * 2, milliseconds(20))) {
    if (steady_clock::now() >= Until) return Pred();
    std::this_thread::sleep_for(Pause);
  }
  return true;
}

// Runs the queue's work, as the main thread's loop does, until Pred holds: the main thread's
// side of a wait for a thread that hands it work. False when Pred still does not hold once
// Bound has passed, so that a thread that never gets there fails the test rather than hangs it.
template <class TPred>
bool PumpUntil(TPred&& Pred, std::chrono::milliseconds Bound = std::chrono::seconds(30),
               TMainThreadQueue& Queue = MainThreadQueue()) {
  const auto Until = std::chrono::steady_clock::now() + Bound;
  while (!Pred()) {
    if (std::chrono::steady_clock::now() >= Until) return false;
    Queue.WaitAndProcess(10);
  }
  return true;
}

// Waits until the file system's clock has moved on: a file written in Dir after this returns
// is newer than any written before it was called. False when the clock stands still.
inline bool WaitForFileClockTick(const std::string& Dir) {
  const std::string Probe = (std::filesystem::path(Dir) / ".clock-probe").string();
  WriteText(Probe, "");
  // Stamped with the clock that stamps every write.
  auto Written = [&] {
    ::utimensat(AT_FDCWD, Probe.c_str(), nullptr, 0);
    struct stat S {};
    ::stat(Probe.c_str(), &S);
    return S.st_mtim;
  };
  const timespec Before = Written();
  const bool Moved = WaitUntil([&] {
    const timespec Now = Written();
    return Now.tv_sec != Before.tv_sec || Now.tv_nsec != Before.tv_nsec;
  });
  std::filesystem::remove(Probe);
  return Moved;
}

}  // namespace nxs::test
