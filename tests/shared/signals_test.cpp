#include "shared/signals.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/tempdir.h"

using namespace nxs;
using nxs::test::TTempDir;
namespace fs = std::filesystem;

namespace {

void Touch(const std::string& Name) { ::close(::open(Name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)); }

// Runs Fn in a child process; its wait status. The child ends with status 0 when Fn returns.
int InChild(const std::function<void()>& Fn) {
  std::fflush(nullptr);
  const pid_t Pid = ::fork();
  if (Pid == 0) {
    Fn();
    ::_exit(0);
  }
  int Status = -1;
  ::waitpid(Pid, &Status, 0);
  return Status;
}

bool KilledBy(int Status, int Signal) { return WIFSIGNALED(Status) && WTERMSIG(Status) == Signal; }

std::atomic<int> HookSaw{0};
void RecordingHook(int Signal) { HookSaw = Signal; }

}  // namespace

TEST(SignalHandlers, EachSignalRemovesTheRegisteredFilesAndEndsTheProgram) {
  // A file of this process, which the children below inherit in the table but do not own.
  TTempDir Parent;
  Touch(Parent / "mine.tmp");
  const int Mine = RegisterTempFile((Parent / "mine.tmp").c_str());
  for (int Signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(Signal);
    TTempDir Dir;
    const int Status = InChild([&] {
      Touch(Dir / "a.tmp1");
      Touch(Dir / "done.tmp2");
      Touch(Dir / "b.tmp3");
      const int A = RegisterTempFile((Dir / "a.tmp1").c_str());
      const int Done = RegisterTempFile((Dir / "done.tmp2").c_str());
      const int B = RegisterTempFile((Dir / "b.tmp3").c_str());
      if (A < 0 || Done < 0 || B < 0) ::_exit(3);
      UnregisterTempFile(Done);  // renamed into place: no longer ours to remove
      ::raise(Signal);
      ::_exit(4);  // not reached: the signal ends the program as it would have
    });
    EXPECT_TRUE(KilledBy(Status, Signal)) << "status " << Status;
    EXPECT_FALSE(fs::exists(Dir / "a.tmp1"));
    EXPECT_FALSE(fs::exists(Dir / "b.tmp3"));
    EXPECT_TRUE(fs::exists(Dir / "done.tmp2"));
  }
  EXPECT_TRUE(fs::exists(Parent / "mine.tmp")) << "a child removed its parent's file";
  UnregisterTempFile(Mine);
}

TEST(SignalHandlers, ACancelHookKeepsTheProgramRunningUntilItIsRemoved) {
  TTempDir Dir;
  const int Status = InChild([&] {
    SetSignalCancelHook(RecordingHook);
    Touch(Dir / "x.tmp");
    const int Slot = RegisterTempFile((Dir / "x.tmp").c_str());
    ::raise(SIGINT);
    if (HookSaw != SIGINT || fs::exists(Dir / "x.tmp")) ::_exit(3);
    UnregisterTempFile(Slot);
    if (SetSignalCancelHook(nullptr) != RecordingHook) ::_exit(4);
    ::raise(SIGHUP);
    ::_exit(5);
  });
  EXPECT_TRUE(KilledBy(Status, SIGHUP)) << "status " << Status;
}

TEST(SignalHandlers, AHeldSignalActsWhenTheLastHoldEnds) {
  TTempDir Dir;
  const int Status = InChild([&] {
    Touch(Dir / "x.tmp");
    [[maybe_unused]] const int Slot = RegisterTempFile((Dir / "x.tmp").c_str());
    {
      THoldSignals Outer;
      {
        THoldSignals Inner;
        ::raise(SIGTERM);
        ::raise(SIGINT);
      }
      // Still held: the program runs on and the file is still there.
      if (!fs::exists(Dir / "x.tmp")) ::_exit(3);
      Touch(Dir / "ran-on");
    }
    ::_exit(4);
  });
  EXPECT_TRUE(KilledBy(Status, SIGTERM)) << "status " << Status;  // the first that came
  EXPECT_TRUE(fs::exists(Dir / "ran-on"));
  EXPECT_FALSE(fs::exists(Dir / "x.tmp"));
}

TEST(SignalHandlers, AFullTableOrALongNameIsRefusedNotOverrun) {
  const std::string Long(5000, 'n');
  EXPECT_EQ(RegisterTempFile(Long.c_str()), -1);
  std::vector<int> Slots;
  for (int I = 0; I < 1000; ++I) {
    const int S = RegisterTempFile(("/nonexistent/" + std::to_string(I)).c_str());
    if (S < 0) break;
    Slots.push_back(S);
  }
  EXPECT_LT(Slots.size(), 1000u);
  for (int S : Slots) UnregisterTempFile(S);
  UnregisterTempFile(-1);
  const int Again = RegisterTempFile("/nonexistent/again");
  EXPECT_GE(Again, 0);
  UnregisterTempFile(Again);
}

TEST(SignalHandlers, WritersOnManyThreadsNeverShareASlot) {
  constexpr int Threads = 8, Rounds = 2000;
  std::atomic<int> Holder[64] = {};
  std::atomic<bool> Shared{false};
  std::vector<std::thread> Pool;
  for (int T = 1; T <= Threads; ++T)
    Pool.emplace_back([&, T] {
      const std::string Name = "/nonexistent/writer" + std::to_string(T);
      for (int R = 0; R < Rounds; ++R) {
        const int Slot = RegisterTempFile(Name.c_str());
        if (Slot < 0) continue;
        int Free = 0;
        if (!Holder[Slot].compare_exchange_strong(Free, T)) Shared = true;
        Holder[Slot] = 0;
        UnregisterTempFile(Slot);
      }
    });
  for (auto& T : Pool) T.join();
  EXPECT_FALSE(Shared);
}
