// The command layer's scripts, checked against a recording kernel: undo-group preparation,
// the edge cases of inserting and deleting, and the undo-limit round trip.
#include "editor/edkrnl.h"

#include <gtest/gtest.h>

#include "fakekernel.h"

namespace nxs {
namespace {

using Ops = std::vector<uint8_t>;

class CommandLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    K.Start();
    NewEditor(nullptr, &View);
    K.Scripts.clear();
  }
  void TearDown() override {
    KillEditor(&View);
    K.Stop();
    ExplicitUndoGroupSet = false;
  }
  test::TFakeKernel& K = test::TFakeKernel::Get();
  TEkView View{};
};

TEST_F(CommandLayer, InsertStringDropsLineFeedsAndSkipsAnEmptyResult) {
  InsertString(&View, "\n\n\n");
  EXPECT_TRUE(K.Scripts.empty());
  InsertString(&View, "a\r\nb");
  ASSERT_FALSE(K.Scripts.empty());
  const auto& Last = K.Scripts.back();
  ASSERT_EQ(Last.front().Op, ekInsertString);
  TStringArgs A;
  std::memcpy(&A, Last.front().Args.data(), sizeof A);
  EXPECT_EQ(A.Len, 3u);  // "a\rb"
}

TEST_F(CommandLayer, UndoGroupChangesCloseTheOpenGroupUnlessItIsNone) {
  // Typing after motion: the motion group is closed and an insert group started.
  K.UndoGroup = ugGroupWithMotion;
  K.GroupStarted = 1;
  SetupUndoGroup(ugGroupWithDataChangeAdd, &View);
  EXPECT_EQ(K.AllOps(), (Ops{ekGetUndoGroup, ekEndScript, ekEndMacroStep, ekSetUndoGroup, ekStartUndoGroup, ekEndScript}));
  // The same group again: only the question.
  K.Scripts.clear();
  SetupUndoGroup(ugGroupWithDataChangeAdd, &View);
  EXPECT_EQ(K.AllOps(), (Ops{ekGetUndoGroup, ekEndScript}));
  // Inside a "none" group (a writer's) nothing is closed.
  K.Scripts.clear();
  K.UndoGroup = ugGroupWithNone;
  K.GroupStarted = 1;
  SetupUndoGroup(ugGroupWithDataChangeDelete, &View);
  EXPECT_EQ(K.AllOps(), (Ops{ekGetUndoGroup, ekEndScript}));
}

TEST_F(CommandLayer, ExplicitGroupsAndTheDefaultGroupLeaveTheGroupAlone) {
  SetupUndoGroup(ugGroupDefault, &View);
  ExplicitUndoGroupSet = true;
  SetupUndoGroup(ugGroupWithMotion, &View);
  EXPECT_TRUE(K.Scripts.empty());
}

TEST_F(CommandLayer, DeleteReportsFailureForAnyStatus) {
  EXPECT_TRUE(Delete(&View));
  K.StatusForOp[ekDeleteChar] = erReadOnly;
  EXPECT_FALSE(Delete(&View));
  K.StatusForOp[ekDeleteChar] = erNotFound;
  EXPECT_FALSE(Delete(&View));
}

TEST_F(CommandLayer, ClearUndoBufferRestoresTheLimitItRead) {
  K.UndoLimit = 250;
  ClearUndoBuffer(&View);
  EXPECT_EQ(K.LimitsSet, (std::vector<uint32_t>{0, 250}));
  EXPECT_EQ(K.Ops(0), (Ops{ekGetUndoLimit, ekSetUndoLimit, ekSetUndoLimit, ekEndMacroStep}));
}

TEST_F(CommandLayer, ReadFailureRaisesCannotLoadFile) {
  K.StatusForOp[ekReadBuffer] = FileReadError;
  try {
    ReadFromText(&View, "text");
    FAIL() << "expected an error";
  } catch (const EEditorError& E) {
    EXPECT_EQ(E.Message(), "Cannot load file");
  }
}

TEST_F(CommandLayer, MarkCurrentLineRunsItsFixedScript) {
  K.UndoGroup = ugGroupWithAny;
  MarkCurrentLine(&View);
  const auto& S = K.Scripts.back();
  Ops Got;
  for (const auto& C : S) Got.push_back(C.Op);
  EXPECT_EQ(Got, (Ops{0x55, 0x71, 0x51, 0x5D, 0x38, 0x1B, 0x12, 0x5D, 0x13, 0x1A, 0x5D, 0x24, 0x5D, 0x31, 0x01}));
}

}  // namespace
}  // namespace nxs
