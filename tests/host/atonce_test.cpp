// Every command that changes a file, run several times at once on one file, round after
// round: each change that succeeded is in the file read back afterwards (or, where changes
// replace each other, exactly one stands), and a run that lost said so. The commands are the
// rows of the one table in changers.cpp.
#include <gtest/gtest.h>

#include <memory>

#include "changers.h"

namespace nxs::test {
namespace {

constexpr int Rounds = 20;
constexpr int AtOnce = 3;

class ChangesAtOnce : public ::testing::TestWithParam<TChangeRow> {};

TEST_P(ChangesAtOnce, KeepEveryChangeOrSayWhichFailed) {
  const TChangeRow& Row = GetParam();
  if (Row.Pending && !RunPendingRows()) GTEST_SKIP() << "waits for the mend of " << Row.Pending;
  TBench B(Rounds, AtOnce);
  Row.Prepare(B);
  std::vector<int> Succeeded(AtOnce);
  for (int Round = 0; Round < Rounds; ++Round) {
    std::vector<std::unique_ptr<TNxsProcess>> Runs;
    for (int Slot = 0; Slot < AtOnce; ++Slot)
      Runs.push_back(std::make_unique<TNxsProcess>(Row.Args(B, {Round, Slot}), B.Options()));
    std::vector<TRunResult> Results;
    for (auto& R : Runs) Results.push_back(R->Wait());
    for (int Slot = 0; Slot < AtOnce; ++Slot) {
      const TRunResult& R = Results[Slot];
      ASSERT_TRUE(R.Status == 0 || SaidItFailed(R))
          << "change " << TChange{Round, Slot}.Tag() << " ended with status " << R.Status << ": " << R.Err << R.Out;
      Succeeded[Slot] += R.Status == 0;
    }
    const std::string Lost = Row.Check(B, Round, Results);
    ASSERT_EQ(Lost, "") << "round " << Round << "; what the runs said:\n"
                        << Results[0].Err << Results[1].Err << Results[2].Err << Results[0].Out << Results[1].Out
                        << Results[2].Out;
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

INSTANTIATE_TEST_SUITE_P(Commands, ChangesAtOnce, ::testing::ValuesIn(ChangeRows()),
                         [](const ::testing::TestParamInfo<TChangeRow>& Info) { return RowTestName(Info.param); });

}  // namespace
}  // namespace nxs::test
