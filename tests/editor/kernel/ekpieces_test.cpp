// The piece tree and line index against a plain string model.
#include "editor/kernel/ekpieces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

#include "editor/kernel/eklines.h"
#include "editor/kernel/ektext.h"
#include "editor/kernel/ekutf8.h"

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
  // The one-descent lookup agrees with the two it stands for at every offset.
  for (uint64_t Pos = 0; Pos <= Model.size(); ++Pos) {
    uint64_t Start = ~0ull;
    const uint64_t Line = Tree.LineAt(Pos, Start);
    ASSERT_EQ(Line, Tree.BreaksBefore(Pos)) << "offset " << Pos;
    ASSERT_EQ(Start, Tree.BreakEnd(Line)) << "offset " << Pos;
  }
  ASSERT_TRUE(Tree.Validate());
}

// Line and byte column of an offset in a plain string, by the tree's rule (an offset between
// CR and LF belongs to the CR's line).
TTextPos ModelPos(const std::string& S, uint64_t Offset) {
  std::vector<uint64_t> Starts = ModelLineStarts(S);
  uint64_t Line = static_cast<uint64_t>(std::upper_bound(Starts.begin(), Starts.end(), Offset) - Starts.begin()) - 1;
  return {Line, Offset - Starts[Line]};
}

uint64_t ModelChars(const std::string& S, TTextPos P) {
  const uint64_t Start = ModelLineStarts(S)[P.Line];
  return Utf8CountChars(std::string_view(S).substr(Start, P.Col), P.Col);
}

TEST(TextBuffer, ChangesReportWhereTheyHappenedInBytesAndCharacters) {
  // Watchers hear the positions before and after each change, undo and redo included; the
  // cheap paths for plain text must agree with looking them up in a copy of the text.
  struct TCheck : ITextWatcher {
    const TTextBuffer* T = nullptr;
    std::string Model;  // the text before the change
    int Seen = 0;
    void TextChanged(const TChange& C) override {
      ++Seen;
      const std::string Before = Model;
      std::string After = Model;
      if (C.Insert) After.insert(C.Pos, T->Text(C.Pos, C.Len));
      else After.erase(C.Pos, C.Len);
      EXPECT_EQ(C.Before, ModelPos(Before, C.Pos));
      EXPECT_EQ(C.BeforeEnd, ModelPos(Before, C.Pos + (C.Insert ? 0 : C.Len)));
      EXPECT_EQ(C.After, ModelPos(After, C.Pos));
      EXPECT_EQ(C.AfterEnd, ModelPos(After, C.Pos + (C.Insert ? C.Len : 0)));
      EXPECT_EQ(C.BeforeChars, ModelChars(Before, C.Before));
      EXPECT_EQ(C.BeforeEndChars, ModelChars(Before, C.BeforeEnd));
      EXPECT_EQ(C.AfterChars, ModelChars(After, C.After));
      EXPECT_EQ(C.AfterEndChars, ModelChars(After, C.AfterEnd));
      EXPECT_EQ(C.LineDelta, static_cast<int64_t>(ModelLineStarts(After).size()) -
                                 static_cast<int64_t>(ModelLineStarts(Before).size()));
      Model = After;
    }
    void TextReset() override {}
    void TextReplaced(const TReplacements& R, const std::vector<TTextPos>& At) override {
      ++Seen;
      ASSERT_EQ(At.size(), R.Items.size());
      std::string After;
      size_t From = 0, OldAt = 0, NewAt = 0;
      for (size_t I = 0; I < R.Items.size(); ++I) {
        const TReplacements::TItem& It = R.Items[I];
        EXPECT_EQ(At[I], ModelPos(Model, It.Pos)) << I;
        EXPECT_EQ(R.Old.substr(OldAt, It.OldLen), Model.substr(It.Pos, It.OldLen)) << I;
        After += Model.substr(From, It.Pos - From);
        After += R.New.substr(NewAt, It.NewLen);
        From = It.Pos + It.OldLen;
        OldAt += It.OldLen;
        NewAt += It.NewLen;
      }
      After += Model.substr(From);
      EXPECT_EQ(ModelLineStarts(After).size(), ModelLineStarts(Model).size()) << "a replacement moved lines";
      Model = After;
    }
  } Check;
  TTextBuffer T;
  Check.T = &T;
  T.AddWatcher(&Check);
  T.SetNeedCharColumns(true);
  std::mt19937 Rng(11);
  const char* Pieces[] = {"ab", "x", "\r", "\n", "\r\n", "\xc3\xa9", "\xe6\x97\xa5", "\t", "q\r"};
  // Replacements at once: mostly plain; one that takes or makes a break is refused whole.
  const char* Plain[] = {"", "yz", "\xc3\xa9", "\xe6\x97\xa5", "\t", "\n"};
  int Replaced = 0, Refused = 0;
  for (int Step = 0; Step < 1500; ++Step) {
    const uint64_t Len = T.Length();
    const unsigned Choice = Rng() % 9;
    uint64_t Where;
    TEdPos Cursor;
    if (Choice == 0 && T.History().CanUndo()) {
      ASSERT_TRUE(T.Undo(Where, Cursor));
    } else if (Choice == 1 && T.History().CanRedo()) {
      ASSERT_TRUE(T.Redo(Where));
    } else if (Choice == 8 && Len > 0) {
      TReplacements R;
      for (uint64_t P = Rng() % 5; P <= Len && R.Items.size() < 3; P += 1 + Rng() % 6) {
        const auto Old = static_cast<uint32_t>(std::min<uint64_t>(Rng() % 3, Len - P));
        const std::string_view New = Plain[Rng() % std::size(Plain)];
        R.Items.push_back({P, Old, static_cast<uint32_t>(New.size())});
        R.New += New;
        P += Old;
      }
      const std::string Was = Check.Model;
      if (T.Replace(R)) {
        ++Replaced;
      } else {
        ++Refused;
        ASSERT_EQ(T.Text(0, T.Length()), Was);
      }
    } else if (Len == 0 || Choice < 6) {
      T.Insert(Rng() % (Len + 1), Pieces[Rng() % std::size(Pieces)]);
    } else {
      uint64_t Pos = Rng() % Len;
      T.Delete(Pos, std::min<uint64_t>(1 + Rng() % 3, Len - Pos));
    }
    T.History().EndStep();
    ASSERT_EQ(T.Text(0, T.Length()), Check.Model);
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(Check.Seen, 1200);
  EXPECT_GT(Replaced, 20);
  EXPECT_GT(Refused, 20);
  ASSERT_TRUE(T.Tree().Validate());
  T.RemoveWatcher(&Check);
}

TEST(TextBuffer, ReplacingMuchOfTheTextAgainAndAgainKeepsOneCopyOfIt) {
  // Each replace, undo and redo writes the span anew: the blocks no piece shows go.
  std::string Text;
  while (Text.size() < (4u << 20)) Text += "one two three\n";
  TTextBuffer T;
  size_t At = 0;
  ASSERT_TRUE(T.Load([&](char* Out, size_t N) {
    const size_t K = std::min(N, Text.size() - At);
    std::copy_n(Text.data() + At, K, Out);
    At += K;
    return static_cast<int64_t>(K);
  }));
  TReplacements R;
  for (size_t P = Text.find("two"); P != std::string::npos; P = Text.find("two", P + 3)) {
    R.Items.push_back({P, 3, 2});
    R.New += "22";
  }
  const size_t Loaded = T.Tree().MemoryUse();
  ASSERT_TRUE(T.Replace(R));
  uint64_t Where;
  TEdPos Cursor;
  for (int I = 0; I < 5; ++I) {  // undo, redo, undo, redo, undo
    EXPECT_LT(T.Tree().MemoryUse(), Loaded + Loaded / 4) << I;
    ASSERT_TRUE(I % 2 ? T.Redo(Where) : T.Undo(Where, Cursor));
  }
  EXPECT_TRUE(T.Text(0, T.Length()) == Text);  // (a diff of megabytes would not help)
  EXPECT_TRUE(T.Tree().Validate());
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
