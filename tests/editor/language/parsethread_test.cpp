#include "editor/language/parsethread.h"

#include <gtest/gtest.h>

#include "shared/mainthread.h"
#include "support/wait.h"

namespace nxs {
namespace {

using namespace std::chrono_literals;

// A parser that counts its runs; with Block set it spins until the parse is canceled.
class TCountingParser : public IParseThreadParser {
 public:
  void Parse() override {
    Started.fetch_add(1);
    while (Block.load() && TParseThread::GetCancelState() == 0) std::this_thread::sleep_for(1ms);
    if (TParseThread::GetCancelState() != 0) SawCancel.store(true);
    Finished.fetch_add(1);
  }
  std::atomic<bool> Block{false};
  std::atomic<bool> SawCancel{false};
  std::atomic<int> Started{0};
  std::atomic<int> Finished{0};
};

using test::WaitUntil;

// A clock the test moves by hand; the thread reads it under its own lock. It counts the reads
// made off the test's thread: the parse thread looking at the time.
struct TFakeClock {
  std::atomic<int64_t> Ms{1'000'000};
  std::atomic<int> ThreadReads{0};
  const std::thread::id TestThread = std::this_thread::get_id();
  TParseThread::TClock Fn() {
    return [this] {
      if (std::this_thread::get_id() != TestThread) ThreadReads.fetch_add(1);
      return std::chrono::steady_clock::time_point(std::chrono::milliseconds(Ms.load()));
    };
  }
};

class ParseThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { MainThreadQueue().SetMainThread(); }
};

TEST_F(ParseThreadTest, ParsesOnlyAfterTheTextWasQuietForTheDelay) {
  TFakeClock Clock;
  TParseThread Thread(Clock.Fn());
  auto Parser = std::make_shared<TCountingParser>();
  Thread.Add(Parser);
  Thread.SetDelay(40);
  // Keystrokes 10 ms apart on the thread's clock, each one waking it and seen by it.
  for (int I = 0; I < 30; ++I) {
    const int Seen = Clock.ThreadReads.load();
    Clock.Ms += 10;
    Thread.ParseNow();
    ASSERT_TRUE(WaitUntil([&] { return Clock.ThreadReads.load() > Seen; }));
  }
  EXPECT_EQ(0, Parser->Started.load());
  Clock.Ms += 41;  // the typing pauses
  EXPECT_TRUE(WaitUntil([&] { return Parser->Finished.load() == 1; }));
  // Nothing changed since: the next quiet periods do not parse again.
  Clock.Ms += 500;
  // Not a wait: an idle thread gives no sign, so this is the time a wrong parse has to show.
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(1, Parser->Started.load());
}

TEST_F(ParseThreadTest, KeystrokesWakeTheThreadOnlyWhenItHadNothingToDo) {
  TFakeClock Clock;
  TParseThread Thread(Clock.Fn());
  auto Parser = std::make_shared<TCountingParser>();
  Thread.Add(Parser);
  // A new delay wakes the thread, which then waits out a quiet period of a minute.
  Thread.SetDelay(60'000);
  ASSERT_TRUE(WaitUntil([&] { return Clock.ThreadReads.load() >= 2; }));
  std::this_thread::sleep_for(50ms);  // lets it settle into that wait
  int Seen = Clock.ThreadReads.load();
  for (int I = 0; I < 20; ++I) {
    Clock.Ms += 10;
    Thread.Modified();
  }
  // Not a wait: a thread left alone gives no sign, so this is the time a wake-up has to show.
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Seen, Clock.ThreadReads.load());
  Thread.SetDelay(0);
  ASSERT_TRUE(WaitUntil([&] { return Parser->Finished.load() == 1; }));
  // Now it has nothing to do: the next keystroke wakes it to measure the quiet period.
  ASSERT_TRUE(WaitUntil([&] { return !Thread.IsParsing(); }));
  std::this_thread::sleep_for(50ms);
  Seen = Clock.ThreadReads.load();
  Thread.Modified();
  EXPECT_TRUE(WaitUntil([&] { return Clock.ThreadReads.load() > Seen; }));
}

TEST_F(ParseThreadTest, WaitForParseTriggersAParseEvenWhenNothingChanged) {
  TParseThread Thread;
  auto Parser = std::make_shared<TCountingParser>();
  Thread.Add(Parser);
  Thread.SetDelay(0);
  ASSERT_TRUE(Thread.WaitForParse(true, 5000));
  int After = Parser->Finished.load();
  EXPECT_GE(After, 1);
  // A second wait is not answered by the first parse's done signal.
  ASSERT_TRUE(Thread.WaitForParse(false, 5000));
  EXPECT_GT(Parser->Finished.load(), After);
}

TEST_F(ParseThreadTest, CancelAndLockStopsTheParseAndTheCanceledParseIsRepeated) {
  TParseThread Thread;
  auto Parser = std::make_shared<TCountingParser>();
  Parser->Block = true;
  Thread.Add(Parser);
  Thread.SetDelay(0);
  Thread.ParseNow();
  ASSERT_TRUE(WaitUntil([&] { return Parser->Started.load() == 1; }));
  EXPECT_TRUE(Thread.IsParsing());
  Thread.CancelAndLock();
  EXPECT_TRUE(Parser->SawCancel.load());
  EXPECT_EQ(1, Thread.LockCount());
  EXPECT_EQ(0, TParseThread::GetCancelState());  // restored once the lock is held
  EXPECT_EQ(0, Thread.ParseCount());              // a canceled parse is no result
  Parser->Block = false;
  Thread.Unlock();
  EXPECT_TRUE(WaitUntil([&] { return Thread.ParseCount() == 1; }));
  EXPECT_GE(Parser->Started.load(), 2);
}

TEST_F(ParseThreadTest, AddingAParserCancelsTheRunningParseAndTheNextParseIncludesIt) {
  TParseThread Thread;
  auto First = std::make_shared<TCountingParser>();
  First->Block = true;
  Thread.Add(First);
  Thread.SetDelay(0);
  Thread.ParseNow();
  ASSERT_TRUE(WaitUntil([&] { return First->Started.load() == 1; }));
  auto Second = std::make_shared<TCountingParser>();
  First->Block = false;
  Thread.Add(Second);
  EXPECT_TRUE(First->SawCancel.load());
  ASSERT_TRUE(Thread.WaitForParse(true, 5000));
  EXPECT_GE(Second->Finished.load(), 1);
  Thread.Remove(Second.get());
  int Before = Second->Started.load();
  ASSERT_TRUE(Thread.WaitForParse(true, 5000));
  EXPECT_EQ(Before, Second->Started.load());
}

TEST_F(ParseThreadTest, TasksRunInOrderAndHandBackValues) {
  TParseThread Thread;
  EXPECT_EQ(nullptr, Thread.StartTask(false, nullptr));
  std::vector<int> Order;  // written on the parse thread only while tasks run in turn
  auto A = Thread.StartTask(false, [&](TParserTask& T) {
    Order.push_back(1);
    T.SetValue("Answer", 42);
  });
  auto B = Thread.StartTask(true, [&](TParserTask& T) {
    Order.push_back(2);
    T.SetValue("Name", std::string("unit1.pas"));
  });
  ASSERT_TRUE(B->WaitFor(5000));
  ASSERT_TRUE(A->WaitFor(5000));
  EXPECT_EQ((std::vector<int>{1, 2}), Order);
  EXPECT_EQ(42, std::any_cast<int>(A->GetValue("Answer")));
  EXPECT_EQ("unit1.pas", std::any_cast<std::string>(B->GetValue("Name")));
  EXPECT_FALSE(A->GetValue("Missing").has_value());
  EXPECT_TRUE(A->IsFinished());
}

TEST_F(ParseThreadTest, ATaskCanceledBeforeItStartsNeverRuns) {
  TParseThread Thread;
  Thread.SetDelay(0);
  std::atomic<bool> Ran{false};
  // Holding the lock keeps the thread from starting the task, even if it already took it
  // off the queue.
  Thread.Lock();
  auto Task = Thread.StartTask(false, [&](TParserTask&) { Ran = true; });
  // Not a wait: time for the thread to take the task and block on the lock, which the test
  // means to catch it doing, though it passes either way.
  std::this_thread::sleep_for(20ms);
  Task->Cancel();
  Thread.Unlock();
  ASSERT_TRUE(Thread.WaitForParse(true, 5000));
  EXPECT_FALSE(Ran.load());
  EXPECT_FALSE(Task->IsFinished());
  EXPECT_FALSE(Task->WaitFor(10));
}

TEST_F(ParseThreadTest, CancelingARunningTaskWaitsUntilItStopped) {
  TParseThread Thread;
  std::atomic<bool> Started{false}, Stopped{false};
  auto Task = Thread.StartTask(false, [&](TParserTask&) {
    Started = true;
    while (TParseThread::GetCancelState() == 0) std::this_thread::sleep_for(1ms);
    Stopped = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return Started.load(); }));
  Task->Cancel();
  EXPECT_TRUE(Stopped.load());
  EXPECT_TRUE(Task->IsCanceled());
}

TEST_F(ParseThreadTest, TheMainThreadServesHandOversWhileWaitingForTheLock) {
  TParseThread Thread;
  std::atomic<bool> Started{false};
  bool HandedOver = false;  // set on the main thread, read there after the lock
  auto Task = Thread.StartTask(false, [&](TParserTask&) {
    Started = true;
    Synchronize([&] { HandedOver = true; });  // waits for the main thread, lock held
  });
  ASSERT_TRUE(WaitUntil([&] { return Started.load(); }));
  Thread.Lock();  // would deadlock if the wait did not serve the queue
  EXPECT_TRUE(HandedOver);
  Thread.Unlock();
  EXPECT_TRUE(Task->WaitFor(5000));
}

TEST_F(ParseThreadTest, TheProcessThreadStartsOnFirstUseAndStops) {
  ParseThread().SetDelay(0);
  EXPECT_EQ(0, ParseThread().Delay());
  EXPECT_TRUE(ParseThread().WaitForParse(true, 5000));
  ShutdownParseThread();
  EXPECT_EQ(500, ParseThread().Delay());  // a fresh thread
  ShutdownParseThread();
}

}  // namespace
}  // namespace nxs
