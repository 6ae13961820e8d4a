#include "shared/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "shared/mainthread.h"
#include "support/wait.h"

using namespace nxs;

namespace {

struct TEvNamed : TEvArgs {
  std::vector<std::string> Calls;
};

struct TSubscriber {
  std::string Name;
  TEvent<TEvNamed>* Event = nullptr;
  bool RemoveSelf = false;
  void Handle(TEvNamed& E) {
    E.Calls.push_back(Name);
    if (RemoveSelf) Event->Remove(this, &TSubscriber::Handle);
  }
  void Other(TEvNamed& E) { E.Calls.push_back(Name + "-other"); }
};

}  // namespace

TEST(Event, AddTwiceKeepsOneEntryAndOrderIsKept) {
  TEvent<TEvNamed> Ev;
  TSubscriber A{"a"}, B{"b"};
  Ev.Add(&A, &TSubscriber::Handle);
  Ev.Add(&B, &TSubscriber::Handle);
  Ev.Add(&A, &TSubscriber::Handle);
  Ev.Add(&A, &TSubscriber::Other);  // another method of the same object is another handler
  EXPECT_EQ(Ev.Count(), 3);
  EXPECT_EQ(Ev.IndexOf(&B, &TSubscriber::Handle), 1);
  TEvNamed Args;
  Ev.Send(Args);
  EXPECT_EQ(Args.Calls, (std::vector<std::string>{"a", "b", "a-other"}));
  Ev.Remove(&A, &TSubscriber::Handle);
  EXPECT_EQ(Ev.IndexOf(&A, &TSubscriber::Handle), -1);
  EXPECT_EQ(Ev.Count(), 2);
}

TEST(Event, LastToFirstOrderAndSelfRemovalDuringSend) {
  TEvent<TEvNamed> Ev(TEventOrder::LastToFirst);
  TSubscriber A{"a"}, B{"b"}, C{"c"};
  for (auto* S : {&A, &B, &C}) {
    S->Event = &Ev;
    Ev.Add(S, &TSubscriber::Handle);
  }
  B.RemoveSelf = true;
  TEvNamed First;
  Ev.Send(First);
  EXPECT_EQ(First.Calls, (std::vector<std::string>{"c", "b", "a"}));
  TEvNamed Second;
  Ev.Send(Second);
  EXPECT_EQ(Second.Calls, (std::vector<std::string>{"c", "a"}));
}

TEST(Event, AHandlerRemovingALaterOneSkipsIt) {
  TEvent<TEvNamed> Ev;
  int Token = 0, Later = 0;
  std::vector<int> Called;
  Ev.Add(&Token, [&](TEvNamed&) {
    Called.push_back(1);
    Ev.Remove(&Later);
  });
  Ev.Add(&Later, [&](TEvNamed&) { Called.push_back(2); });
  TEvNamed Args;
  Ev.Send(Args);
  EXPECT_EQ(Called, std::vector<int>{1});
}

TEST(MainThreadQueue, SynchronizeRunsOnTheMainThreadAndPassesExceptionsBack) {
  TMainThreadQueue Q;
  auto Main = std::this_thread::get_id();
  std::thread::id RanOn;
  bool Caught = false;
  std::atomic<bool> Finished{false};
  std::thread Worker([&] {
    Q.Synchronize([&] { RanOn = std::this_thread::get_id(); });
    try {
      Q.Synchronize([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error&) {
      Caught = true;
    }
    Q.Queue([] {});
    Finished = true;
  });
  ASSERT_TRUE(test::PumpUntil([&] { return Finished.load(); }, std::chrono::seconds(30), Q)) << "the worker did not finish";
  Worker.join();
  EXPECT_EQ(RanOn, Main);
  EXPECT_TRUE(Caught);
  bool Direct = false;
  Q.Synchronize([&] { Direct = true; });  // on the main thread: runs at once
  EXPECT_TRUE(Direct);
  EXPECT_FALSE(Q.HasPending());
}
