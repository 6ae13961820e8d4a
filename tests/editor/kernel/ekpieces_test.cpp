// The piece tree and line index against a plain string model.
#include "editor/kernel/ekpieces.h"

#include <gtest/gtest.h>

#include <random>

#include "editor/kernel/eklines.h"
#include "editor/kernel/ektext.h"

namespace nxs::ek {
namespace {

// Line starts of a string by the same rule: CR LF, LF and CR each end a line.
std::vector<uint64_t> ModelLineStarts(const std::string& S) {
  std::vector<uint64_t> Starts{0};
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] == '\r' && I + 1 < S.size() && S[I + 1] == '\n') continue;
    if (S[I] == '\n' || S[I] == '\r') Starts.push_back(I + 1);
  }
  return Starts;
}

void ExpectSameLines(const TPieceTree& Tree, const std::string& Model) {
  ASSERT_EQ(Tree.Text(0, Tree.Length()), Model);
  std::vector<uint64_t> Starts = ModelLineStarts(Model);
  ASSERT_EQ(Tree.BreakCount() + 1, Starts.size());
  TLineIndex Lines(Tree);
  for (size_t L = 0; L < Starts.size(); ++L) {
    ASSERT_EQ(Lines.LineStart(L), Starts[L]) << "line " << L;
    ASSERT_EQ(Lines.LineOf(Starts[L]), L);
  }
  ASSERT_TRUE(Tree.Validate());
}

TEST(PieceTree, RandomEditsKeepTextAndLineStarts) {
  std::mt19937 Rng(7);
  const char Alphabet[] = "ab\r\n\xc3\xa9\t";
  TPieceTree Tree;
  std::string Model;
  for (int Step = 0; Step < 3000; ++Step) {
    if (Model.empty() || Rng() % 3 != 0) {
      std::string Text;
      int N = 1 + Rng() % 4;
      for (int I = 0; I < N; ++I) Text += Alphabet[Rng() % (sizeof(Alphabet) - 1)];
      uint64_t Pos = Rng() % (Model.size() + 1);
      Tree.Insert(Pos, Text);
      Model.insert(Pos, Text);
    } else {
      uint64_t Pos = Rng() % Model.size();
      uint64_t Count = 1 + Rng() % 5;
      Tree.Erase(Pos, Count);
      Model.erase(Pos, Count);
    }
    if (Step % 97 == 0) ExpectSameLines(Tree, Model);
  }
  ExpectSameLines(Tree, Model);
}

TEST(PieceTree, CarriageReturnAndLineFeedJoinAcrossPieces) {
  TPieceTree Tree;
  Tree.Insert(0, "a\rb");
  EXPECT_EQ(Tree.BreakCount(), 1u);
  Tree.Insert(2, "\n");  // "a\r\nb": still one break
  EXPECT_EQ(Tree.BreakCount(), 1u);
  EXPECT_EQ(Tree.BreakEnd(1), 3u);
  Tree.Insert(2, "x");  // "a\rx\nb": two
  EXPECT_EQ(Tree.BreakCount(), 2u);
  Tree.Erase(2, 1);  // the pair meets again
  EXPECT_EQ(Tree.BreakCount(), 1u);
  EXPECT_TRUE(Tree.Validate());
}

TEST(PieceTree, ChunksForwardAndBackwardCoverTheRange) {
  TPieceTree Tree;
  std::string Model;
  for (int I = 0; I < 50; ++I) {
    std::string Part = std::to_string(I) + ",";
    Tree.Insert(Model.size() / 2, Part);
    Model.insert(Model.size() / 2, Part);
  }
  std::string Forward, Backward;
  Tree.ForEachChunk(5, 60, [&](const char* P, size_t N) {
    Forward.append(P, N);
    return true;
  });
  Tree.ForEachChunkBackward(5, 60, [&](const char* P, size_t N) {
    Backward.insert(0, std::string(P, N));
    return true;
  });
  EXPECT_EQ(Forward, Model.substr(5, 60));
  EXPECT_EQ(Backward, Model.substr(5, 60));
}

TEST(LineIndex, BreakStylesAndLineEndsPerLine) {
  TPieceTree Tree;
  Tree.Insert(0, "one\r\ntwo\nthree\rfour");
  TLineIndex Lines(Tree);
  ASSERT_EQ(Lines.LineCount(), 4u);
  EXPECT_EQ(Lines.BreakStyle(0), lbsCRLF);
  EXPECT_EQ(Lines.BreakStyle(1), lbsLF);
  EXPECT_EQ(Lines.BreakStyle(2), lbsCR);
  EXPECT_EQ(Lines.BreakStyle(3), lbsNone);
  EXPECT_EQ(Lines.LineText(0), "one");
  EXPECT_EQ(Lines.LineText(2), "three");
  EXPECT_EQ(Lines.LineText(3), "four");
}

TEST(TextBuffer, LoadSplitsBlocksWithoutBreakingCarriageReturnLineFeed) {
  // A reader that hands out the text a few bytes at a time.
  std::string Source;
  for (int I = 0; I < 1000; ++I) Source += (I % 3 == 0) ? "line\r\n" : (I % 3 == 1 ? "x\r" : "yy\n");
  TTextBuffer Buffer;
  size_t At = 0;
  ASSERT_TRUE(Buffer.Load([&](char* Dest, size_t Room) -> int64_t {
    size_t N = std::min<size_t>({Room, 7, Source.size() - At});
    std::memcpy(Dest, Source.data() + At, N);
    At += N;
    return static_cast<int64_t>(N);
  }));
  ExpectSameLines(Buffer.Tree(), Source);
}

TEST(TextBuffer, LoadReportsReaderErrors) {
  TTextBuffer Buffer;
  EXPECT_FALSE(Buffer.Load([](char*, size_t) -> int64_t { return -1; }));
  EXPECT_EQ(Buffer.Length(), 0u);
}

}  // namespace
}  // namespace nxs::ek
