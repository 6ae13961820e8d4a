// The undo history on its own: which steps join a group, trimming, playback.
#include "editor/kernel/ekundo.h"

#include <gtest/gtest.h>

#include <vector>

namespace nxs::ek {
namespace {

TUndoRecord Insert(uint64_t Pos, std::string Text) {
  TUndoRecord R;
  R.Kind = TUndoRecord::ukInsert;
  R.Pos = Pos;
  R.Text = std::move(Text);
  return R;
}

TUndoRecord Erase(uint64_t Pos, std::string Text) {
  TUndoRecord R = Insert(Pos, std::move(Text));
  R.Kind = TUndoRecord::ukDelete;
  return R;
}

std::vector<TUndoRecord*> TakeUndoGroup(TUndoHistory& H) {
  std::vector<TUndoRecord*> Out;
  H.UndoGroup([&](TUndoRecord& R) { Out.push_back(&R); });
  return Out;
}

std::vector<TUndoRecord*> TakeRedoGroup(TUndoHistory& H) {
  std::vector<TUndoRecord*> Out;
  H.RedoGroup([&](TUndoRecord& R) { Out.push_back(&R); });
  return Out;
}

// Records each change as its own step and counts the groups that undo takes back.
int Groups(TUndoHistory& H) {
  int N = 0;
  while (!TakeUndoGroup(H).empty()) ++N;
  return N;
}

TEST(UndoHistory, AddGroupJoinsOnlyContiguousTyping) {
  TUndoHistory H;
  H.SetKind(ugGroupWithDataChangeAdd);
  for (uint64_t I = 0; I < 3; ++I) {
    H.Record(Insert(I, "x"));
    H.EndStep();
  }
  H.Record(Insert(10, "y"));  // typing elsewhere starts a new group
  H.EndStep();
  H.Record(Erase(10, "y"));  // and so does a deletion
  H.EndStep();
  EXPECT_EQ(Groups(H), 3);
}

TEST(UndoHistory, DeleteGroupJoinsBackspacesAndDeletes) {
  TUndoHistory H;
  H.SetKind(ugGroupWithDataChangeDelete);
  H.Record(Erase(5, "a"));  // delete at 5
  H.EndStep();
  H.Record(Erase(5, "b"));  // delete again at 5
  H.EndStep();
  H.Record(Erase(4, "c"));  // backspace before it
  H.EndStep();
  EXPECT_EQ(Groups(H), 1);
}

TEST(UndoHistory, AnyJoinsEverythingNoneNothingAndStartGroupCuts) {
  TUndoHistory Any;
  Any.SetKind(ugGroupWithAny);
  Any.Record(Insert(0, "a"));
  Any.EndStep();
  Any.Record(Erase(7, "b"));
  Any.EndStep();
  Any.StartGroup();
  Any.Record(Insert(3, "c"));
  Any.EndStep();
  EXPECT_EQ(Groups(Any), 2);

  TUndoHistory None;
  None.SetKind(ugGroupWithNone);
  None.Record(Insert(0, "a"));
  None.Record(Insert(1, "b"));  // same step: same group
  None.EndStep();
  None.Record(Insert(2, "c"));
  None.EndStep();
  EXPECT_EQ(Groups(None), 2);
  EXPECT_FALSE(None.Started());
}

TEST(UndoHistory, DefaultGroupFollowsTheGroupUndoSwitch) {
  for (bool Like : {true, false}) {
    TUndoHistory H;
    H.SetKind(ugGroupDefault);
    H.SetGroupLikeChanges(Like);
    H.Record(Insert(0, "a"));
    H.EndStep();
    H.Record(Insert(1, "b"));
    H.EndStep();
    EXPECT_EQ(Groups(H), Like ? 1 : 2);
  }
}

TEST(UndoHistory, PlaybackUndoesAsOneGroup) {
  TUndoHistory H;
  H.SetKind(ugGroupWithNone);
  H.Record(Insert(5, "before"));
  H.EndStep();
  H.BeginPlayback();
  H.Record(Insert(0, "a"));
  H.EndStep();
  H.Record(Erase(9, "b"));
  H.EndStep();
  H.EndPlayback();
  H.Record(Insert(0, "c"));
  H.EndStep();
  EXPECT_EQ(Groups(H), 3);
}

TUndoRecord Client() {
  TUndoRecord R;
  R.Kind = TUndoRecord::ukClient;
  return R;
}

TEST(UndoHistory, ClientProceduresGoWithTheChangeBeforeThemOrElseTheNextOne) {
  // Alone in the history it waits: nothing to undo until a change joins it.
  TUndoHistory H;
  H.SetKind(ugGroupWithAny);
  H.Record(Client());
  EXPECT_FALSE(H.CanUndo());
  EXPECT_TRUE(TakeUndoGroup(H).empty());
  H.SetKind(ugGroupWithDataChangeAdd);
  H.StartGroup();
  H.Record(Insert(0, "a"));
  H.EndStep();
  // After a change it joins that change, even once a new group was started, and leaves the
  // next change a group of its own.
  H.StartGroup();
  H.SetKind(ugGroupWithAny);
  H.Record(Client());
  H.SetKind(ugGroupWithDataChangeAdd);
  H.StartGroup();
  H.Record(Insert(1, "b"));
  H.EndStep();
  std::vector<TUndoRecord*> Last = TakeUndoGroup(H);
  ASSERT_EQ(Last.size(), 1u);
  EXPECT_EQ(Last[0]->Text, "b");
  std::vector<TUndoRecord*> First = TakeUndoGroup(H);
  ASSERT_EQ(First.size(), 3u);  // newest first: the second client, "a", the first client
  EXPECT_EQ(First[0]->Kind, TUndoRecord::ukClient);
  EXPECT_EQ(First[1]->Text, "a");
  EXPECT_EQ(First[2]->Kind, TUndoRecord::ukClient);
  EXPECT_FALSE(H.CanUndo());
}

TEST(UndoHistory, AClientStepIsUndoneAloneAndClientsWaitingForAChangeWaitPastIt) {
  TUndoHistory H;
  H.SetKind(ugGroupWithAny);
  H.Record(Client());  // made when the text was loaded: waits for the first change
  TUndoRecord Step = Client();
  Step.OwnStep = true;
  H.Record(Step);
  EXPECT_TRUE(H.CanUndo());  // a step of its own, though it changes no text
  H.SetKind(ugGroupWithDataChangeAdd);
  H.StartGroup();
  H.Record(Insert(0, "a"));
  H.EndStep();
  H.Record(Insert(1, "b"));  // typing on joins the typing, not the step before it
  H.EndStep();
  H.SetKind(ugGroupWithAny);
  H.Record(Client());  // made when the text was saved: goes with the last change
  std::vector<TUndoRecord*> Typing = TakeUndoGroup(H);
  ASSERT_EQ(Typing.size(), 4u);  // newest first: the client, "b", "a", the waiting client
  EXPECT_EQ(Typing[1]->Text, "b");
  EXPECT_EQ(Typing[3]->Kind, TUndoRecord::ukClient);
  EXPECT_FALSE(Typing[3]->OwnStep);
  std::vector<TUndoRecord*> Alone = TakeUndoGroup(H);
  ASSERT_EQ(Alone.size(), 1u);
  EXPECT_TRUE(Alone[0]->OwnStep);
  EXPECT_FALSE(H.CanUndo());
  // A client recorded after a step of its own goes with the change before that step.
  ASSERT_EQ(TakeRedoGroup(H).size(), 1u);
  ASSERT_EQ(TakeRedoGroup(H).size(), 4u);
  H.Record(Step);
  H.Record(Client());
  EXPECT_EQ(TakeUndoGroup(H).size(), 1u);
  EXPECT_EQ(TakeUndoGroup(H).size(), 5u);
}

TEST(UndoHistory, TrimmingDropsWholeGroupsAndRedoComesBack) {
  TUndoHistory H;
  H.SetKind(ugGroupWithAny);
  H.Record(Insert(0, "a"));
  H.Record(Insert(1, "b"));
  H.EndStep();
  H.StartGroup();
  H.Record(Insert(2, "c"));
  H.EndStep();
  H.SetLimit(2);  // three records: the first group (two records) goes as a whole
  EXPECT_EQ(H.RecordCount(), 1u);
  std::vector<TUndoRecord*> Undone = TakeUndoGroup(H);
  ASSERT_EQ(Undone.size(), 1u);
  EXPECT_EQ(Undone[0]->Text, "c");
  EXPECT_TRUE(H.CanRedo());
  std::vector<TUndoRecord*> Redone = TakeRedoGroup(H);
  ASSERT_EQ(Redone.size(), 1u);
  EXPECT_TRUE(H.CanUndo());
  H.Record(Insert(3, "d"));
  EXPECT_FALSE(H.CanRedo());
  H.SetLimit(0);
  EXPECT_FALSE(H.CanUndo());
}

}  // namespace
}  // namespace nxs::ek
