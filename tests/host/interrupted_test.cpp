// Every command that changes a file, killed at moments spread over its run, twenty times with
// SIGTERM and twenty with SIGKILL: the file is then its old version or its new one, whole, and
// it loads; nothing the command started runs on; the next command succeeds; and no temporary
// file is left (after SIGTERM at once, after SIGKILL once the next write of the file has taken
// away what the killed one could not). The commands are the rows of the one table in
// changers.cpp, all rows at once.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <thread>

#include "changers.h"

namespace nxs::test {
namespace {

constexpr int Points = HarnessRounds(20);  // per signal

void InterruptRow(const TChangeRow& Row) {
  TBench B(2 * Points + 1, 2);  // at each point the killed change and the next; then the measuring run
  Row.Prepare(B);
  // How long a run takes uninterrupted: the kills fall anywhere in that time.
  const auto Start = std::chrono::steady_clock::now();
  TRunResult Measured = B.Nxs(Row.Args(B, {2 * Points, 0}));
  ASSERT_EQ(Measured.Status, 0) << Measured.Err;
  const auto Span = std::chrono::steady_clock::now() - Start;
  const unsigned Seed = std::random_device()();
  std::mt19937 Random(Seed);
  SCOPED_TRACE("seed " + std::to_string(Seed));

  for (int Point = 0; Point < 2 * Points; ++Point) {
    const int Signal = Point < Points ? SIGTERM : SIGKILL;
    SCOPED_TRACE(std::string(Signal == SIGTERM ? "SIGTERM" : "SIGKILL") + " at point " + std::to_string(Point));
    const TChange Killed{Point, 0}, Next{Point, 1};
    const std::string File = Row.File(Killed);
    const bool Existed = B.Exists(File);
    const std::string Before = B.Text(File);

    TNxsProcess Run(Row.Args(B, Killed), B.Options());
    // Spread over the run: each point somewhere in its own share of it. Not a wait: the moment
    // of the signal is what varies, and any moment is one the command must survive.
    std::uniform_real_distribution<double> Within(Point % Points, Point % Points + 1);
    std::this_thread::sleep_for(Span * (Within(Random) / Points));
    Run.Signal(Signal);
    Run.Wait();
    ASSERT_TRUE(NothingRunsIn(B.Path())) << "what the command started runs on";

    if (B.Exists(File) != Existed || B.Text(File) != Before) {
      ASSERT_TRUE(B.Exists(File)) << File << " is gone";
      TRunResult Loaded = B.Nxs(Row.Load(B, Killed));
      ASSERT_EQ(Loaded.Status, 0) << File << " is neither the old version nor one that loads: " << Loaded.Err;
      if (Row.Shows) {
        ASSERT_TRUE(Row.Shows(B, Killed)) << File << " is neither the old nor the new version";
      }
    }
    if (Row.Intact) {
      ASSERT_EQ(Row.Intact(B), "");
    }
    // After SIGTERM the writer's signal handler has taken its temporary file away already.
    if (Signal == SIGTERM) {
      ASSERT_EQ(TemporaryFiles(B), std::vector<std::string>{});
    }

    // A command that makes its file reads it back once it is there, and makes it otherwise.
    const bool ReadBack = Row.Makes && B.Exists(File);
    TRunResult After = B.Nxs(ReadBack ? Row.Load(B, Next) : Row.Args(B, Next));
    ASSERT_EQ(After.Status, 0) << "the next command failed: " << After.Err << After.Out;
    ASSERT_EQ(TemporaryFiles(B), std::vector<std::string>{});
  }
}

TEST(ChangesInterrupted, LeaveTheOldOrTheNewFileAndNothingBehind) { ForEveryRow(InterruptRow); }

}  // namespace
}  // namespace nxs::test
