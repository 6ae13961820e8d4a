// The kibitzing monitor: the cancel key stops a code-insight compile, with nothing to watch a
// compile that runs too long is stopped, and one that ends in time is left alone.
#include "build/messages/kibitz.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "build/messages/filesvc.h"
#include "shared/settings.h"
#include "support/threads.h"
#include "support/wait.h"

namespace nxs {
namespace {

class TFakeKey : public ICancelKey {
 public:
  explicit TFakeKey(bool Available) : FAvailable(Available) {}
  bool Available() override { return FAvailable; }
  bool Pressed() override {
    Looks.fetch_add(1);
    return Down.exchange(false);
  }
  void Watch(bool On) override { Watching = On; }
  std::atomic<bool> Down{false};
  std::atomic<bool> Watching{false};
  std::atomic<int> Looks{0};  // how often the monitor looked at the key

 private:
  bool FAvailable;
};

class Kibitzing : public ::testing::Test {
 protected:
  void SetUp() override { ReleaseKibitzingMonitor(); }
  void TearDown() override {
    ReleaseKibitzingMonitor();
    SetCancelKey(nullptr);
  }
  // Records the callbacks' calls: 1 at the cancel, the kept answer at the end.
  void Register(TKibitzingMonitor& M) {
    M.RegisterCancelState([this](int State) {
      std::lock_guard G(Lock);
      Calls.push_back(State);
      return State == 1 ? 42 : 0;
    });
  }
  std::vector<int> CallsSoFar() {
    std::lock_guard G(Lock);
    return Calls;
  }
  std::mutex Lock;
  std::vector<int> Calls;
};

TEST_F(Kibitzing, TheMonitorThreadRunsBelowTheThreadThatStartsIt) {
  TKibitzingMonitor& M = KibitzingMonitor();
  M.Start(0);
  int Nice = -100;
  // Named once it runs below: a thread seen by its name has its place.
  ASSERT_TRUE(test::WaitUntil([&] { return (Nice = test::ThreadNice("Kibitz Monitor Thread")) != -100; }));
  EXPECT_EQ(Nice, std::min(19, ::getpriority(PRIO_PROCESS, 0) + 1));
  M.Finished();
  EXPECT_FALSE(M.Canceled());
}

TEST_F(Kibitzing, TheCancelKeyCancelsUntilTheCompileFinishes) {
  auto Key = std::make_shared<TFakeKey>(true);
  SetCancelKey(Key);
  TKibitzingMonitor& M = KibitzingMonitor();
  Register(M);
  EXPECT_TRUE(M.UserCanCancelKibitzing());
  M.Start(kmCancelKey);
  M.Start(kmCancelKey);  // nested: one cycle
  EXPECT_TRUE(test::WaitUntil([&] { return Key->Watching.load(); }));
  // Looked at twice: what the first look found has been acted on.
  test::WaitUntil([&] { return Key->Looks.load() >= 2 || M.Canceled(); });
  EXPECT_FALSE(M.Canceled());  // watching, nothing pressed
  Key->Down = true;
  ASSERT_TRUE(test::WaitUntil([&] { return M.Canceled(); }));
  EXPECT_EQ(BPROGRESS(0, "kibitz", 0, 0), 0);  // no progress window: only the cancel flag
  EXPECT_EQ(CallsSoFar(), std::vector<int>{1});
  M.Finished();
  // Not a wait: a monitor that stays canceled gives no sign, so this is the time a wrong end
  // of the cycle has to show.
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_TRUE(M.Canceled());  // one start is still counted
  M.Finished();
  ASSERT_TRUE(test::WaitUntil([&] { return !M.Canceled(); }));
  EXPECT_TRUE(test::WaitUntil([&] { return CallsSoFar().size() == 2; }));
  EXPECT_EQ(CallsSoFar(), (std::vector<int>{1, 42}));
  EXPECT_FALSE(Key->Watching);  // the terminal is given back
}

TEST_F(Kibitzing, WithNothingToWatchALongCompileTimesOutAndAShortOneIsLeftAlone) {
  SetCancelKey(std::make_shared<TFakeKey>(false));  // no terminal
  TKibitzingMonitor& M = KibitzingMonitor();
  EXPECT_FALSE(M.UserCanCancelKibitzing());
  M.SetTimeoutMs(300);
  Register(M);
  M.Start(kmCancelKey);
  // Not waits: a compile that runs a while, then longer than the timeout for a wrong cancel
  // to show.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  M.Finished();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_FALSE(M.Canceled());
  EXPECT_TRUE(CallsSoFar().empty());

  M.SetTimeoutMs(30);
  M.Start(kmMouse | kmCancelKey);
  ASSERT_TRUE(test::WaitUntil([&] { return M.Canceled(); }));
  M.Finished();
  ASSERT_TRUE(test::WaitUntil([&] { return !M.Canceled() && CallsSoFar().size() == 2; }));
}

TEST_F(Kibitzing, TheSettingTurnsTheMonitorOff) {
  SettingsStore().WriteBool("Globals", "DisableKibitzMonitor", true);
  TKibitzingMonitor& M = KibitzingMonitor();
  M.SetTimeoutMs(10);
  M.Start(0);
  // Not a wait: a monitor turned off gives no sign, so this is the time, six timeouts, a
  // wrong cancel has to show.
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_FALSE(M.Canceled());
  SettingsStore().WriteBool("Globals", "DisableKibitzMonitor", false);
}

}  // namespace
}  // namespace nxs
