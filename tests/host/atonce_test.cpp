// Every command that changes a file, run three at a time on one file for twenty rounds: each
// change that succeeded is in the file read back after its round (or, where changes replace
// each other, exactly one stands), and a run that lost said that it failed. The commands are
// the rows of the one table in changers.cpp, all rows at once.
#include <gtest/gtest.h>

#include <memory>

#include "changers.h"

namespace nxs::test {
namespace {

constexpr int Rounds = HarnessRounds(20);
constexpr int AtOnce = 3;

void RunRowAtOnce(const TChangeRow& Row) {
  TBench B(Rounds, AtOnce);
  Row.Prepare(B);
  std::vector<int> Succeeded(AtOnce);
  for (int Round = 0; Round < Rounds; ++Round) {
    std::vector<std::unique_ptr<TNxsProcess>> Runs;
    for (int Slot = 0; Slot < AtOnce; ++Slot)
      Runs.push_back(std::make_unique<TNxsProcess>(Row.Args(B, {Round, Slot}), B.Options()));
    std::vector<TRunResult> Results;
    for (auto& R : Runs) Results.push_back(R->Wait());
    std::string Said;
    for (int Slot = 0; Slot < AtOnce; ++Slot) {
      const TRunResult& R = Results[Slot];
      ASSERT_TRUE(R.Status == 0 || SaidItFailed(R))
          << "change " << TChange{Round, Slot}.Tag() << " ended with status " << R.Status << ": " << R.Err << R.Out;
      Succeeded[Slot] += R.Status == 0;
      Said += R.Err + R.Out;
    }
    ASSERT_EQ(Row.Check(B, Round, Results), "") << "round " << Round << "; what the runs said:\n" << Said;
    if (Row.Intact) {
      ASSERT_EQ(Row.Intact(B), "") << "round " << Round;
    }
  }
  // A change that never succeeds proves nothing (those that make one file take turns at it).
  for (int Slot = 0; Slot < AtOnce && !Row.Makes; ++Slot)
    EXPECT_GT(Succeeded[Slot], 0) << "the changes of slot " << Slot << " never succeeded";
  TRunResult Loaded = B.Nxs(Row.Load(B, {Rounds - 1, 0}));
  EXPECT_EQ(Loaded.Status, 0) << "the file does not load: " << Loaded.Err;
  EXPECT_EQ(TemporaryFiles(B), std::vector<std::string>{});
}

TEST(ChangesAtOnce, KeepEveryChangeOrSayWhichFailed) { ForEveryRow(RunRowAtOnce); }

}  // namespace
}  // namespace nxs::test
