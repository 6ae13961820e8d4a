// The fold store on its own: the hidden lines it keeps beside the blocks must always say
// what the blocks say, whatever sequence of adds, folds, moves and removals came before.
#include "editor/kernel/ekelision.h"

#include <gtest/gtest.h>

#include <random>

namespace nxs::ek {
namespace {

TFold Fold(uint64_t Start, uint64_t End, bool Folded, std::string Desc = "d") {
  TFold F;
  F.Start = {Start, 0};
  F.End = {End, 1};
  F.Folded = Folded;
  F.Desc = std::move(Desc);
  return F;
}

// One byte typed at the start of Line, ending at End: a line break or a character.
TChange TypedAtLineStart(uint64_t Line, TTextPos End) {
  TChange C;
  C.Len = 1;
  C.Before = C.BeforeEnd = C.After = {Line, 0};
  C.AfterEnd = End;
  C.LineDelta = static_cast<int64_t>(End.Line - Line);
  return C;
}

// What the blocks say, worked out the slow way: each line hidden or not.
std::vector<bool> HiddenByModel(const TElisions& E, uint64_t Lines) {
  std::vector<bool> H(Lines, false);
  for (const TFold& F : E.Folds())
    if (F.Hides())
      for (uint64_t L = F.Start.Line + 1; L <= F.End.Line && L < Lines; ++L) H[L] = true;
  return H;
}

void ExpectAgreesWithModel(const TElisions& E, uint64_t Lines, const std::string& Step) {
  const std::vector<bool> H = HiddenByModel(E, Lines);
  uint64_t Hidden = 0;
  for (uint64_t L = 0; L < Lines; ++L) {
    Hidden += H[L];
    ASSERT_EQ(H[L], E.LineHidden(L)) << Step << ", line " << L;
    uint64_t Next = L + 1;
    while (Next < Lines && H[Next]) ++Next;
    ASSERT_EQ(Next, E.NextVisible(L, Lines)) << Step << ", line " << L;
    uint64_t Prev = L == 0 ? 0 : L - 1;
    while (Prev > 0 && H[Prev]) --Prev;
    ASSERT_EQ(Prev, E.PrevVisible(L)) << Step << ", line " << L;
  }
  ASSERT_EQ(Hidden, E.HiddenLines()) << Step;
}

TEST(FoldStore, ASameRangeReplacesTheBlockInItsPlace) {
  TElisions E;
  E.Add(Fold(1, 4, false, "a"));
  E.Add(Fold(6, 9, false, "b"));
  E.Add(Fold(1, 4, true, "a2"));
  ASSERT_EQ(2u, E.Folds().size());
  EXPECT_EQ("a2", E.Folds()[0].Desc);
  EXPECT_TRUE(E.LineHidden(2));
  // After a removal the index is rebuilt: the next add still finds its twin.
  EXPECT_TRUE(E.RemoveRange({1, 0}, {4, 1}));
  E.Add(Fold(6, 9, true, "b2"));
  ASSERT_EQ(1u, E.Folds().size());
  EXPECT_EQ("b2", E.Folds()[0].Desc);
  EXPECT_EQ(3u, E.HiddenLines());
}

TEST(FoldStore, HiddenLinesFollowEveryKindOfChange) {
  std::mt19937 Rng(7);
  const uint64_t Lines = 60;
  auto Pick = [&](uint64_t N) { return std::uniform_int_distribution<uint64_t>(0, N - 1)(Rng); };
  TElisions E;
  for (int Step = 0; Step < 600; ++Step) {
    const uint64_t A = Pick(Lines - 1), B = A + 1 + Pick(Lines - 1 - A);
    std::string What;
    switch (Pick(9)) {
      case 0: case 1: case 2:
        E.Add(Fold(A, B, Pick(2) == 0));
        What = "add";
        break;
      case 3:
        E.SetFolded(A, B, Pick(2) == 0);
        What = "set folded";
        break;
      case 4:
        E.OpenAround(A);
        What = "open around";
        break;
      case 5:
        E.RemoveAt({A, 0});
        What = "remove at";
        break;
      case 6:
        // A line break typed at the start of line A moves every block below it down.
        E.Move(TypedAtLineStart(A, {A + 1, 0}));
        What = "line inserted";
        break;
      case 7:
        // Typing within a line moves columns only.
        E.Move(TypedAtLineStart(A, {A, 1}));
        What = "typed";
        break;
      default:
        if (Pick(4) == 0) E.ResetTemporary(), What = "reset";
        else E.FoldType(0), What = "fold type";
        break;
    }
    ExpectAgreesWithModel(E, Lines + 700, "step " + std::to_string(Step) + " (" + What + ")");
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace nxs::ek
