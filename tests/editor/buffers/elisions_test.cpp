// Folding on the real kernel: adding and refusing blocks, the saved form and its tolerant
// reader, and blocks that keep their places on long lines.
#include "editor/buffers/elisions.h"

#include <gtest/gtest.h>

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/foldfixture.h"

namespace nxs {
namespace {

using test::Folding;

TEST_F(Folding, BlocksOutsideTheBufferOrBackwardsAreRefused) {
  PEkView V = Open(Lines(10));
  EXPECT_FALSE(AddElisionBlock(V, {0, 5}, {0, 3}, true, "back"));
  EXPECT_FALSE(AddElisionBlock(V, {4, 5}, {2, 5}, true, "same line, backwards"));
  EXPECT_FALSE(AddElisionBlock(V, {0, 8}, {0, 40}, true, "past the end"));
  EXPECT_FALSE(AddElisionBlock(V, {0, 0}, {0, 3}, true, "line 0"));
  EXPECT_FALSE(IsElisionTreePresent(V));
  ASSERT_TRUE(AddElisionBlock(V, {0, 2}, {6, 5}, true, "body"));
  EXPECT_TRUE(IsElisionTreePresent(V));
  EXPECT_TRUE(LineIsElided(V, 3));
  EXPECT_FALSE(LineIsElided(V, 2));
  EXPECT_EQ(3, NumElidedLines(V));
  EXPECT_TRUE(IsStartOfElisionBlock(V, 2));
  EXPECT_TRUE(IsEndOfElisionBlock(V, 5));
  EXPECT_TRUE(ElideLine(V, 4, false));  // the block around line 4 opens
  EXPECT_EQ(0, NumElidedLines(V));
  V->Cursor = TEdPos{1, 2};
  EXPECT_TRUE(ToggleElide(V));
  EXPECT_TRUE(BlockIsElided(V, 2));
  EXPECT_TRUE(ToggleElide(V));
  EXPECT_FALSE(BlockIsElided(V, 2));
}

TEST_F(Folding, TheSavedFormQuotesDescriptionsAndRestoresThem) {
  PEkView V = Open(Lines(20));
  const std::string Odd = "it's {a} (b) \\c";
  ASSERT_TRUE(AddElisionBlock(V, {0, 2}, {3, 6}, true, Odd));
  ASSERT_TRUE(AddElisionBlock(V, {0, 10}, {0, 12}, true, ""));
  ASSERT_TRUE(AddElisionBlock(V, {0, 14}, {0, 16}, false, "open"));  // not folded: not saved
  std::string Saved = PrintElisions(V);
  EXPECT_EQ("{{2,0},{6,3},{'it\\'s \\{a\\} \\(b\\) \\\\c'}}{{10,0},{12,0},{''}}", Saved);
  ClearAllElisions(V);
  EXPECT_FALSE(IsElisionTreePresent(V));
  InsertSavedElisions(V, Saved);
  auto Blocks = GetAllElidedBlocks(V);
  ASSERT_EQ(2u, Blocks.size());
  EXPECT_EQ(Odd, Blocks[0].Desc);
  EXPECT_EQ(6, Blocks[0].End.LineNum);
  EXPECT_EQ(3, Blocks[0].End.Index);
}

TEST_F(Folding, TheSavedFormReaderForgivesDamage) {
  PEkView V = Open(Lines(10));
  // A bad number reads as 0, a block beyond the end is skipped, a cut tail stops quietly.
  InsertSavedElisions(V, "{{2,x},{4,0},{'a'}}{{5,0},{99,0},{'far'}}{{6,0},{8,0}}{{7,0},{9");
  auto Blocks = GetAllElidedBlocks(V);
  ASSERT_EQ(2u, Blocks.size());
  EXPECT_EQ("a", Blocks[0].Desc);
  EXPECT_EQ(0, Blocks[0].Start.Index);
  EXPECT_EQ(6, Blocks[1].Start.LineNum);
  InsertSavedElisions(V, "{'unterminated");
  InsertSavedElisions(V, "");
  EXPECT_EQ(2u, GetAllElidedBlocks(V).size());
}

TEST_F(Folding, FoldsSurviveSavingAndRestoringTheViewState) {
  Open(Lines(12));
  auto View = std::make_unique<TEditView>(Buffer);
  PEkView V = View->EkView();
  ASSERT_TRUE(AddElisionBlock(V, {0, 3}, {2, 7}, true, "{$REGION 'x'}"));
  TViewState State;
  View->SaveViewState(State);
  EXPECT_FALSE(State["Elisions"].empty());
  ClearAllElisions(V);
  View->LoadViewState(State);
  ASSERT_EQ(1u, GetAllElidedBlocks(V).size());
  EXPECT_EQ("{$REGION 'x'}", GetAllElidedBlocks(V)[0].Desc);
}

TEST_F(Folding, ManyBlocksGoInAtOnceAsTheyWouldOneByOne) {
  PEkView V = Open(Lines(5000));
  std::vector<TElidedBlock> Blocks;
  for (int32_t L = 1; L < 5000; L += 2) Blocks.push_back({{0, L}, {2, L + 1}, 3, "b" + std::to_string(L), false});
  Blocks[1].Folded = true;
  Blocks.push_back({{0, 4999}, {2, 6000}, 3, "past the end", true});  // refused, the rest still go in
  Blocks.push_back({{0, 1}, {2, 2}, 4, "again", true});                // the same range: replaces the first
  EXPECT_FALSE(AddElisionBlocks(V, Blocks));
  EXPECT_TRUE(IsStartOfElisionBlock(V, 4997));
  EXPECT_EQ(2, NumElidedLines(V));
  const std::vector<TElidedBlock> Folded = GetAllElidedBlocks(V);
  ASSERT_EQ(2u, Folded.size());
  EXPECT_EQ("again", Folded[0].Desc);  // kept its place before line 3's block
  EXPECT_EQ(3, Folded[1].Start.LineNum);
  EXPECT_TRUE(AddElisionBlocks(V, {}));
}

TEST_F(Folding, BlockPositionsFarOutOnLongLinesOfWideCharactersComeBackTheSame) {
  // Lines of two-byte characters, 10,000 of them; every block ends on the long last line.
  std::string Long;
  for (int I = 0; I < 10000; ++I) Long += "\xC3\xA9";
  PEkView V = Open("a\nb\nc\n" + Long + "\n");
  std::vector<TElidedBlock> Blocks;
  for (int32_t Index : {0, 1, 4095, 4096, 4097, 8192, 9999, 10000})
    Blocks.push_back({{Index % 2, 1 + Index % 3}, {Index, 4}, 0, std::to_string(Index), true});
  Blocks.push_back({{0, 1}, {12345, 4}, 0, "past the end", true});  // reads as the line's end
  ASSERT_TRUE(AddElisionBlocks(V, Blocks));
  const std::vector<TElidedBlock> Back = GetAllElidedBlocks(V);
  ASSERT_EQ(Blocks.size(), Back.size());
  for (size_t I = 0; I + 1 < Blocks.size(); ++I) {
    EXPECT_EQ(Blocks[I].Start.Index, Back[I].Start.Index) << Blocks[I].Desc;
    EXPECT_EQ(Blocks[I].End.Index, Back[I].End.Index) << Blocks[I].Desc;
  }
  EXPECT_EQ(10000, Back.back().End.Index);
}

}  // namespace
}  // namespace nxs
