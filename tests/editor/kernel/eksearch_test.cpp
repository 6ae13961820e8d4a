// Search and replace through scripts, and the literal scanner on its own.
#include "editor/kernel/eksearch.h"

#include <gtest/gtest.h>

#include "editor/kernel/ekfixture.h"

namespace nxs::ektest {
namespace {

uint16_t Find(TKernelView& K, std::string_view Pattern, TSearchFlags Flags, TEkSearchState* State = nullptr) {
  TEkSearchState Local{};
  return K.Run(ekSearch, TSearchArgs{Flags.Bits(), Pattern.data(), static_cast<uint32_t>(Pattern.size()), State ? State : &Local});
}

TEST(KernelSearch, LiteralCaseAndWholeWord) {
  TKernelView K;
  K.Load("Alpha beta\nalphabet ALPHA\n");
  TEkSearchState S{};
  ASSERT_EQ(Find(K, "alpha", {sfGoForward, sfFromCursor, sfCase}, &S), 0);
  EXPECT_EQ(+S.MatchPos.LineNum, 2);
  EXPECT_EQ(+S.MatchPos.Index, 0);
  K.Run(ekHomeCursor);
  ASSERT_EQ(Find(K, "alpha", {sfGoForward, sfFromCursor}, &S), 0);
  EXPECT_EQ(+S.MatchPos.LineNum, 1);
  ASSERT_EQ(K.Run(ekSearchAgain, TSearchAgainArgs{&S}), 0);
  EXPECT_EQ(+S.MatchPos.LineNum, 2);
  EXPECT_EQ(+S.MatchPos.Index, 0);
  ASSERT_EQ(Find(K, "alpha", {sfGoForward, sfFromCursor, sfWord}, &S), 0);  // skips "alphabet"
  EXPECT_EQ(+S.MatchPos.Index, 9);
  EXPECT_EQ(Find(K, "alpha", {sfGoForward, sfFromCursor, sfWord}, &S), erNotFound);
  EXPECT_EQ(+S.Found, 0);
}

TEST(KernelSearch, BackwardAndWrapAround) {
  TKernelView K;
  K.Load("x one x two x");
  K.Run(ekEndCursor);
  TEkSearchState S{};
  ASSERT_EQ(Find(K, "x", {sfFromCursor}, &S), 0);  // backward
  EXPECT_EQ(+S.MatchPos.Index, 12);
  ASSERT_EQ(Find(K, "x", {sfFromCursor}, &S), 0);
  EXPECT_EQ(+S.MatchPos.Index, 6);
  K.Goto(1, 8);
  ASSERT_EQ(Find(K, "one", {sfGoForward, sfFromCursor, sfWrapAround}, &S), 0);
  EXPECT_EQ(+S.MatchPos.Index, 2);
  K.Goto(1, 8);
  EXPECT_EQ(Find(K, "one", {sfGoForward, sfFromCursor}, &S), erNotFound);
}

TEST(KernelSearch, RegularExpressionsAndTheirErrors) {
  TKernelView K;
  K.Load("id = 42;\r\nname = 7;\r\n");
  TEkSearchState S{};
  ASSERT_EQ(Find(K, "^name\\s*=\\s*(\\d+)", {sfGoForward, sfRegExp}, &S), 0);
  EXPECT_EQ(+S.MatchPos.LineNum, 2);
  EXPECT_EQ(+S.MatchLength, 8);
  std::string Rep = "value = \\1\\1";
  ASSERT_EQ(K.Run(ekReplace, TReplaceArgs{&S, Rep.data(), static_cast<uint32_t>(Rep.size())}), 0);
  EXPECT_EQ(K.Save(), "id = 42;\r\nvalue = 77;\r\n");
  EXPECT_EQ(+S.ReplaceCount, 1);
  EXPECT_EQ(K.Run(ekReplace, TReplaceArgs{&S, Rep.data(), 1}), erNotFound);  // no current match
  EXPECT_EQ(Find(K, "(ab", {sfGoForward, sfRegExp}), SearchUnmatchedParen);
  EXPECT_EQ(Find(K, "[ab", {sfGoForward, sfRegExp}), SearchUnmatchedBracket);
  EXPECT_EQ(Find(K, "*a", {sfGoForward, sfRegExp}), SearchFollowsNothing);
  EXPECT_EQ(Find(K, "", {sfGoForward}), SearchEmptyString);
}

TEST(KernelSearch, ReplaceAllLoopsWithoutFindingItsOwnReplacement) {
  TKernelView K;
  K.Load("aa aa aa");
  TEkSearchState S{};
  std::string Rep = "aaa";
  while (Find(K, "aa", {sfGoForward, sfFromCursor, sfWholeFile}, &S) == 0)
    ASSERT_EQ(K.Run(ekReplace, TReplaceArgs{&S, Rep.data(), 3}), 0);
  EXPECT_EQ(K.Save(), "aaa aaa aaa");
  EXPECT_EQ(+S.ReplaceCount, 3);
}

TEST(KernelSearch, SearchStringLooksInTheGivenText) {
  TKernelView K;
  std::string Text = "find the Needle here", Pat = "needle";
  int32_t Start = 0, Len = 0;
  ASSERT_EQ(K.Run(ekSearchString, TSearchStringArgs{0, Text.data(), static_cast<uint32_t>(Text.size()), Pat.data(),
                                                    static_cast<uint32_t>(Pat.size()), &Start, &Len}),
            0);
  EXPECT_EQ(Start, 9);
  EXPECT_EQ(Len, 6);
  ASSERT_EQ(K.Run(ekSearchString, TSearchStringArgs{TSearchFlags{sfCase}.Bits(), Text.data(),
                                                    static_cast<uint32_t>(Text.size()), Pat.data(), 6, &Start, &Len}),
            0);
  EXPECT_EQ(Start, -1);
}

TEST(KernelSearch, MatchesAcrossPieceBoundariesAreFound) {
  // Edits cut the text into many pieces; the pattern straddles them.
  TKernelView K;
  K.Load("0123456789");
  for (int I = 0; I < 5; ++I) {
    K.Goto(1, 2 + 2 * I);
    K.Type("-");
    K.Run(ekBackspaceDelete);
  }
  TEkSearchState S{};
  ASSERT_EQ(Find(K, "2345678", {sfGoForward}, &S), 0);
  EXPECT_EQ(+S.MatchPos.Index, 2);
  ASSERT_EQ(Find(K, "345", {sfFromCursor}, &S), 0);  // backward from the match's end
  EXPECT_EQ(+S.MatchPos.Index, 3);
}

uint16_t ReplaceAll(TKernelView& K, std::string_view Pattern, std::string_view Rep, TSearchFlags Flags, int32_t* Count) {
  return K.Run(ekReplaceAll, TReplaceAllArgs{Flags.Bits(), Pattern.data(), static_cast<uint32_t>(Pattern.size()), Rep.data(),
                                             static_cast<uint32_t>(Rep.size()), Count});
}

int32_t ReplaceAllCount(TKernelView& K, std::string_view Pattern, std::string_view Rep, TSearchFlags Flags) {
  int32_t Count = -1;
  const uint16_t R = ReplaceAll(K, Pattern, Rep, Flags, &Count);
  EXPECT_TRUE(R == 0 || R == erNotFound) << R;
  return Count;
}

TEST(KernelSearch, CaseFoldsInEveryScriptLiteralOrNotAndWholeWordsNeedBothBoundaries) {
  TKernelView K;
  K.Load("Caf\xC3\xA9 au lait, CAF\xC3\x89\nxfoo foox foo \xCE\xA3\xCE\xB5\xCE\xBB\xCE\xAE\xCE\xBD\xCE\xB7 Zed\n");
  TEkSearchState S{};
  for (TSearchFlags Extra : {TSearchFlags{}, TSearchFlags{sfRegExp}}) {
    TSearchFlags F = Extra;
    F.Include(sfGoForward);
    F.Include(sfFromCursor);
    K.Run(ekEndSearch);  // the last match no longer counts as found
    K.Run(ekHomeCursor);
    ASSERT_EQ(Find(K, "caf\xC3\xA9", F, &S), 0);
    EXPECT_EQ(+S.MatchPos.Index, 0);
    EXPECT_EQ(+S.MatchLength, 5);
    ASSERT_EQ(Find(K, "caf\xC3\xA9", F, &S), 0);
    EXPECT_EQ(+S.MatchPos.Index, 14);
    ASSERT_EQ(Find(K, "\xCF\x83\xCE\x95\xCE\x9B\xCE\x89\xCE\x9D\xCE\x97", F, &S), 0);  // Greek, folded
    EXPECT_EQ(+S.MatchPos.Index, 14);
    K.Run(ekHomeCursor);
    ASSERT_EQ(Find(K, "zed", F, &S), 0);
    EXPECT_EQ(+S.MatchPos.Index, 21);
    TSearchFlags W = F;
    W.Include(sfWord);
    K.Run(ekHomeCursor);
    ASSERT_EQ(Find(K, "foo", W, &S), 0);  // not in "xfoo" nor in "foox"
    EXPECT_EQ(+S.MatchPos.LineNum, 2);
    EXPECT_EQ(+S.MatchPos.Index, 10);
    K.Run(ekHomeCursor);
    ASSERT_EQ(Find(K, "CAF\xC3\x89", W, &S), 0);
    EXPECT_EQ(+S.MatchPos.Index, 0);
  }
  // With case: only the exact spelling.
  K.Run(ekHomeCursor);
  ASSERT_EQ(Find(K, "CAF\xC3\x89", {sfGoForward, sfFromCursor, sfCase}, &S), 0);
  EXPECT_EQ(+S.MatchPos.Index, 14);
  EXPECT_EQ(Find(K, "zed", {sfGoForward, sfCase}), erNotFound);
}

TEST(KernelSearch, ALiteralWithOnlyItsFirstByteInTheEarlierPieceIsFound) {
  for (bool Fold : {false, true}) {
    TKernelView K;
    K.Load("xxxxN");
    K.Run(ekEndCursor);
    K.Type("eedle xx");  // the typed text is a piece of its own
    TEkSearchState S{};
    TSearchFlags F{sfGoForward};
    if (!Fold) F.Include(sfCase);
    ASSERT_EQ(Find(K, Fold ? "needle" : "Needle", F, &S), 0) << Fold;
    EXPECT_EQ(+S.MatchPos.Index, 4);
    K.Run(ekEndCursor);
    ASSERT_EQ(Find(K, Fold ? "NEEDLE" : "Needle", Fold ? TSearchFlags{sfFromCursor} : TSearchFlags{sfFromCursor, sfCase}, &S), 0);
    EXPECT_EQ(+S.MatchPos.Index, 4);
  }
}

TEST(KernelSearch, ExpressionsRunAcrossLinesAndPiecesAndNeverSplitACrLfPair) {
  TKernelView K;
  K.Load("a\nb\n");
  TEkSearchState S{};
  ASSERT_EQ(Find(K, "a\\nb", {sfGoForward, sfRegExp}, &S), 0);
  EXPECT_EQ(+S.MatchLength, 3);
  // In a file of CR LF lines \n, \r and \r\n each match the whole break; $ stops before it.
  const std::string CrLf = "ab  \r\ncd\t\r\nef ";
  const std::vector<std::pair<std::string, std::string>> Cases = {
      {"\\r\\n", "ab  ;cd\t;ef "}, {"\\r", "ab  ;cd\t;ef "}, {"\\n", "ab  ;cd\t;ef "},
      {"\\s+$", "ab;\r\ncd;\r\nef;"}, {"$", "ab  ;\r\ncd\t;\r\nef ;"}, {"^", ";ab  \r\n;cd\t\r\n;ef "}};
  for (const auto& [Pattern, Want] : Cases) {
    K.Load(CrLf);
    ReplaceAllCount(K, Pattern, ";", {sfGoForward, sfRegExp});
    EXPECT_EQ(K.Save(), Want) << Pattern;
  }
  // A match that spans pieces and lines, and one longer than the window the scan starts with.
  K.Load("begin\r\n" + std::string(3 << 20, 'x') + "\r\nend\r\n");
  K.Goto(2, 5);
  K.Type("-");
  K.Goto(1, 3);
  K.Type("+");
  ASSERT_EQ(Find(K, "g.n\\r\\nx+-x+\\r\\ne", {sfGoForward, sfRegExp}, &S), 0);
  EXPECT_EQ(+S.MatchPos.Index, 3);
  EXPECT_EQ(+S.MatchLength, 3 + 2 + (3 << 20) + 1 + 2 + 1);
}

TEST(KernelSearch, BackwardExpressionAndLiteralFindTheSameMatch) {
  TKernelView K;
  K.Load("aaa baaab");
  for (TSearchFlags F : {TSearchFlags{sfFromCursor}, TSearchFlags{sfFromCursor, sfRegExp}}) {
    K.Run(ekEndCursor);
    TEkSearchState S{};
    ASSERT_EQ(Find(K, "aa", F, &S), 0);
    EXPECT_EQ(+S.MatchPos.Index, 6);
    ASSERT_EQ(Find(K, "aa", F, &S), 0);
    EXPECT_EQ(+S.MatchPos.Index, 5);
    ASSERT_EQ(Find(K, "aa", F, &S), 0);
    EXPECT_EQ(+S.MatchPos.Index, 1);
  }
}

TEST(KernelSearch, ReplaceAllAdvancesPastEmptyAndReCreatedMatchesAndUndoesAsOneStep) {
  TKernelView K;
  const std::string Text = "x-xx\r\nyx\r\n";
  K.Load(Text);
  EXPECT_EQ(ReplaceAllCount(K, "x", "xx", {sfGoForward, sfCase}), 4);
  EXPECT_EQ(K.Save(), "xx-xxxx\r\nyxx\r\n");
  K.Run(ekUndo);
  EXPECT_EQ(K.Save(), Text);
  EXPECT_EQ(ReplaceAllCount(K, "x*", "<\\0>", {sfGoForward, sfRegExp, sfCase}), 8);
  EXPECT_EQ(K.Save(), "<x><>-<xx><>\r\n<>y<x><>\r\n<>");
  K.Run(ekUndo);
  // Only from the cursor on; a bookmark keeps its place among the replaced text.
  K.Goto(2, 1);
  K.Run(ekSetMark, TMarkArgs{1});
  EXPECT_EQ(ReplaceAllCount(K, "x", "XYZ", {sfGoForward, sfFromCursor, sfCase}), 1);
  EXPECT_EQ(K.Save(), "x-xx\r\nyXYZ\r\n");
  TCharPos Mark{0, 0};
  K.Run(ekGetMarkerPos, TGetMarkerArgs{mkBookmark0 + 1, &Mark});
  EXPECT_EQ(+Mark.LineNum, 2);
  EXPECT_EQ(+Mark.Index, 0);
  EXPECT_EQ(ReplaceAllCount(K, "q", "z", {sfGoForward}), 0);
  EXPECT_EQ(ReplaceAll(K, "(", "z", {sfGoForward, sfRegExp}, nullptr), SearchUnmatchedParen);
}

TEST(KernelSearch, ReplaceAllOnOneLongLineReplacesEveryMatchWhereItIs) {
  TKernelView K;
  std::string Line;
  for (int I = 0; I < 40000; ++I) Line += "ab";
  K.Load(Line + "\n");
  K.Goto(1, 50000);
  K.Run(ekSetMark, TMarkArgs{2});
  EXPECT_EQ(ReplaceAllCount(K, "b", "cd", {sfGoForward, sfCase}), 40000);
  std::string Want;
  for (int I = 0; I < 40000; ++I) Want += "acd";
  EXPECT_EQ(K.Save(), Want + "\n");
  TCharPos Mark{0, 0};
  K.Run(ekGetMarkerPos, TGetMarkerArgs{mkBookmark0 + 2, &Mark});
  EXPECT_EQ(+Mark.Index, 74998);  // the bookmark stayed on its "b", now the "c" of its replacement
}

TEST(KernelSearch, ReplaceAllLeavesLinesBetweenMatchesAsTheyWere) {
  TKernelView K;
  K.Load("a x\nb\nc\na\n");
  K.Run(ekClearLineModifiedFlags);
  ASSERT_EQ(K.Run(ekSetLineFlags, TSetLineFlagsArgs{2, 0x100}), 0);
  ASSERT_EQ(K.Run(ekSetLineFlags, TSetLineFlagsArgs{3, 0}), 0);
  EXPECT_EQ(ReplaceAllCount(K, "a", "zz", {sfGoForward, sfCase}), 2);
  EXPECT_EQ(K.Save(), "zz x\nb\nc\nzz\n");
  auto Flags = [&](int32_t Line) {
    uint32_t F = 0;
    K.Run(ekGetLineFlags, TGetLineFlagsArgs{Line, &F});
    return F;
  };
  EXPECT_EQ(Flags(2), 0x100u);
  EXPECT_EQ(Flags(3), 0u);
  EXPECT_NE(Flags(1) & lfUnsaved, 0u);
  EXPECT_NE(Flags(4) & lfUnsaved, 0u);
}

TEST(LiteralScan, FoldedScanAgreesWithAPlainOne) {
  std::string Hay(5000, 'a');
  Hay.replace(4321, 6, "NeEdLe");
  EXPECT_EQ(ek::FindLiteral(Hay.data(), Hay.size(), "needle", true), 4321u);
  EXPECT_EQ(ek::FindLiteral(Hay.data(), Hay.size(), "NeEdLe", false), 4321u);
  EXPECT_EQ(ek::FindLiteral(Hay.data(), Hay.size(), "needle", false), std::string::npos);
  EXPECT_EQ(ek::FindLiteral(Hay.data(), 4326, "needle", true), std::string::npos);  // cut short
  EXPECT_EQ(ek::FindLiteral(Hay.data(), Hay.size(), "e", true), 4322u);
}

}  // namespace
}  // namespace nxs::ektest
