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
