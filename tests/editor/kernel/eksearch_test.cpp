// Search and replace through scripts, and the literal scanner on its own.
#include "editor/kernel/eksearch.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <gtest/gtest.h>
#include <pcre2.h>

#include <random>
#include <tuple>
#include <utility>
#include <vector>

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
  // Braces repeat what stands before them; each new pattern is its own, though the flags stay.
  const auto Search = [&](std::string_view Pattern, std::string_view In) {
    EXPECT_EQ(K.Run(ekSearchString, TSearchStringArgs{TSearchFlags{sfRegExp}.Bits(), In.data(),
                                                      static_cast<uint32_t>(In.size()), Pattern.data(),
                                                      static_cast<uint32_t>(Pattern.size()), &Start, &Len}),
              0);
    return std::pair(Start, Len);
  };
  EXPECT_EQ(Search("a{5}", "aaaa baaaaaa"), std::pair(6, 5));
  EXPECT_EQ(Search("[0-9]{2,4}", "x1 y123456"), std::pair(4, 4));
  EXPECT_EQ(Search("[0-9]{2,4}", "x1 y"), std::pair(-1, 0));
  EXPECT_EQ(Search("b{2,}", "ab abbb"), std::pair(4, 3));
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

// The last pattern's error as GetSearchError gives it: the text, and the offset (-1 for none).
std::pair<std::string, int32_t> SearchError(TKernelView& K) {
  char Text[256];
  uint32_t Length = 0;
  int32_t Offset = -2;
  EXPECT_EQ(K.Run(ekGetSearchError, TSearchErrorArgs{Text, sizeof Text, &Length, &Offset}), 0);
  return {std::string(Text, Length), Offset};
}

TEST(KernelSearch, AMalformedExpressionIsExplainedInTheEnginesWordsAtItsByte) {
  TKernelView K;
  K.Load("x(y\r\n");
  using TError = std::pair<std::string, int32_t>;
  EXPECT_EQ(Find(K, "x(y", {sfGoForward, sfRegExp}), SearchUnmatchedParen);
  EXPECT_EQ(SearchError(K), TError("missing closing parenthesis", 3));
  // The byte is the user's, though \r\n goes to the engine rewritten.
  int32_t Count = 0;
  EXPECT_NE(ReplaceAll(K, "\\r\\n{2,1}", "", {sfGoForward, sfRegExp}, &Count), 0);
  EXPECT_EQ(SearchError(K), TError("numbers out of order in {} quantifier", 8));
  std::string Text = "abc", Pat = "[b";
  int32_t Start = 0, Len = 0;
  EXPECT_EQ(K.Run(ekSearchString, TSearchStringArgs{TSearchFlags{sfRegExp}.Bits(), Text.data(), 3, Pat.data(), 2, &Start, &Len}),
            SearchUnmatchedBracket);
  EXPECT_EQ(SearchError(K), TError("missing terminating ] for character class", 2));
  // A pattern that compiles clears it; a short buffer gets the length and erTooLong.
  EXPECT_EQ(Find(K, "x\\(", {sfGoForward, sfRegExp}), 0);
  EXPECT_EQ(SearchError(K), TError("", -1));
  EXPECT_EQ(Find(K, "(", {sfGoForward, sfRegExp}), SearchUnmatchedParen);
  char Two[2];
  uint32_t Length = 0;
  EXPECT_EQ(K.Run(ekGetSearchError, TSearchErrorArgs{Two, sizeof Two, &Length, nullptr}), erTooLong);
  EXPECT_EQ(Length, std::string("missing closing parenthesis").size());
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
  // Where breaks are mixed, \r\n takes only a pair, \r a pair or a lone CR, \n a pair or a
  // lone LF.
  const std::string CrLf = "ab  \r\ncd\t\r\nef ", Mixed = "a\r\nb\nc\rd";
  const std::vector<std::tuple<std::string, std::string, std::string>> Cases = {
      {CrLf, "\\r\\n", "ab  ;cd\t;ef "}, {CrLf, "\\r", "ab  ;cd\t;ef "}, {CrLf, "\\n", "ab  ;cd\t;ef "},
      {CrLf, "\\s+$", "ab;\r\ncd;\r\nef;"}, {CrLf, "$", "ab  ;\r\ncd\t;\r\nef ;"},
      {CrLf, "^", ";ab  \r\n;cd\t\r\n;ef "}, {Mixed, "\\r\\n", "a;b\nc\rd"}, {Mixed, "\\r", "a;b\nc;d"},
      {Mixed, "\\n", "a;b;c\rd"}, {Mixed, "[\\r\\n]", "a;b;c;d"}};
  for (const auto& [Text, Pattern, Want] : Cases) {
    K.Load(Text);
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

// ---- CR LF text seen as its LF twin ----

using TSpans = std::vector<std::pair<size_t, size_t>>;

// The expression engine run directly on a text with the options the editor's search gives it:
// every match in order, none overlapping, the next tried a character after an empty one.
TSpans EngineMatches(const std::string& Pattern, std::string_view Text, bool Caseless = false) {
  int Error = 0;
  PCRE2_SIZE Offset = 0;
  pcre2_compile_context* Ctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(Ctx, PCRE2_NEWLINE_ANYCRLF);
  pcre2_code* Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(Pattern.data()), Pattern.size(),
                                   PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE | (Caseless ? PCRE2_CASELESS : 0),
                                   &Error, &Offset, Ctx);
  pcre2_compile_context_free(Ctx);
  EXPECT_NE(Code, nullptr) << Pattern;
  TSpans Out;
  if (!Code) return Out;
  pcre2_jit_compile(Code, PCRE2_JIT_COMPLETE);
  pcre2_match_data* Data = pcre2_match_data_create_from_pattern(Code, nullptr);
  for (size_t At = 0; At <= Text.size();) {
    // The text is valid UTF-8: checking it again at every match would make the loop quadratic.
    if (pcre2_match(Code, reinterpret_cast<PCRE2_SPTR>(Text.data()), Text.size(), At, PCRE2_NO_UTF_CHECK, Data, nullptr) < 0)
      break;
    const PCRE2_SIZE* V = pcre2_get_ovector_pointer(Data);
    Out.emplace_back(V[0], V[1]);
    if (V[1] > V[0]) {
      At = V[1];
      continue;
    }
    At = V[0] + 1;
    while (At < Text.size() && (static_cast<unsigned char>(Text[At]) & 0xC0) == 0x80) ++At;
  }
  pcre2_match_data_free(Data);
  pcre2_code_free(Code);
  return Out;
}

// Lines of words, blanks, tabs, accented and wide characters, and empty lines, ended mostly by
// CR LF, now and then by a lone LF or a lone CR; over a megabyte, so that a scan takes more
// than one window.
std::string MixedBreakText() {
  std::mt19937 Rng(11);
  static const char* const Parts[] = {"alpha", "x", "caf\xC3\xA9", "\xE4\xB8\xAD\xE6\x96\x87", "  ", "\t", "end", "e", "a1",
                                      "x\xE2\x84\xAA" /* Kelvin sign */};
  std::string Text;
  while (Text.size() < (1050u << 10)) {
    const int Words = static_cast<int>(Rng() % 6);
    for (int I = 0; I < Words; ++I) Text += Parts[Rng() % std::size(Parts)];
    const unsigned Kind = Rng() % 20;
    Text += Kind == 0 ? "\n" : Kind == 1 ? "\r" : "\r\n";
  }
  return Text;
}

std::string LfTwin(std::string_view Text) {
  std::string Out;
  for (size_t I = 0; I < Text.size(); ++I)
    if (!(Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n')) Out += Text[I];
  return Out;
}

// Maps offsets of a text to its LF twin; an offset between the CR and LF of a pair has none.
struct TTwinMap {
  std::vector<size_t> PairCRs;  // offsets of the CRs that begin a pair
  explicit TTwinMap(std::string_view Text) {
    for (size_t I = 0; I + 1 < Text.size(); ++I)
      if (Text[I] == '\r' && Text[I + 1] == '\n') PairCRs.push_back(I);
  }
  // Spans in order, so that one pass over the pairs maps both ends.
  TSpans ToTwin(const TSpans& S) const {
    TSpans Out;
    size_t KB = 0, KE = 0;  // the pairs whose CR lies before a span's start, and before its end
    for (auto [B, E] : S) {
      while (KB < PairCRs.size() && PairCRs[KB] < B) ++KB;
      while (KE < PairCRs.size() && PairCRs[KE] < E) ++KE;
      const bool Splits = (KB > 0 && PairCRs[KB - 1] + 1 == B) || (KE > 0 && PairCRs[KE - 1] + 1 == E);
      EXPECT_FALSE(Splits) << "a match starts or ends inside a CR LF pair: " << B << ".." << E;
      Out.emplace_back(B - KB, E - KE);
    }
    return Out;
  }
};

// Reports the first match that differs, with the text around it.
void ExpectSameSpans(const TSpans& Got, const TSpans& Want, std::string_view Twin, const std::string& What) {
  size_t I = 0;
  while (I < Got.size() && I < Want.size() && Got[I] == Want[I]) ++I;
  if (I == Got.size() && I == Want.size()) return;
  const size_t At = I < Want.size() ? Want[I].first : I < Got.size() ? Got[I].first : 0;
  const std::string_view Around = Twin.substr(At > 20 ? At - 20 : 0, 40);
  ADD_FAILURE() << What << ": match " << I << " of " << Want.size() << " is "
                << (I < Got.size() ? std::to_string(Got[I].first) + ".." + std::to_string(Got[I].second) : "missing") << ", want "
                << (I < Want.size() ? std::to_string(Want[I].first) + ".." + std::to_string(Want[I].second) : "none")
                << ", near " << ::testing::PrintToString(std::string(Around));
}

// Loads the text in many pieces: read in small steps, then cut by edits.
void LoadInPieces(ek::TTextBuffer& Buffer, std::string_view Text) {
  size_t At = 0;
  ASSERT_TRUE(Buffer.Load([&](char* Out, size_t N) {
    const size_t K = std::min({N, Text.size() - At, size_t{7000}});
    std::copy_n(Text.data() + At, K, Out);
    At += K;
    return static_cast<int64_t>(K);
  }));
  for (uint64_t P = 1000; P + 1 < Text.size(); P += 40009) {
    Buffer.Insert(P, "#");
    Buffer.Delete(P, 1);
  }
}

TEST(KernelSearch, ACrLfTextMatchesAsItsLfTwinDoes) {
  // Every pattern on the first lines, as a text and as a string handed over (find in files,
  // match after match); some on the whole text too, across the windows its scan reads.
  const std::string Whole = MixedBreakText();
  const std::string_view Head = std::string_view(Whole).substr(0, Whole.find('\n', 60000) + 1);
  struct TTarget {
    std::string_view Text;
    std::string Twin;
    TTwinMap Map;
    ek::TTextBuffer Buffer;
    explicit TTarget(std::string_view T) : Text(T), Twin(LfTwin(T)), Map(T) { LoadInPieces(Buffer, T); }
  };
  TTarget Small(Head), Large(Whole);
  // Patterns with a literal in front are found by scanning for it first: their matches must
  // be the same, optional characters, Unicode case folds and all.
  struct TCase {
    std::string Pattern;
    bool Caseless = false, OnWhole = false;
  };
  const std::vector<TCase> Cases = {
      {"[^\\n]\\n", false, true}, {"[\\s\\S]", false, true}, {"(?s).", false, false}, {"\\v", false, false},
      {"\\R", false, true}, {"\\s+", false, false}, {"$", false, true}, {"^", false, false}, {"^$", false, false},
      {".$", false, false}, {"\\n", false, false}, {"\\n^", false, false}, {"[^a]{2}", false, false},
      {"(?<=\\n).", false, false}, {"\\h*$", false, false}, {"\\N+", false, true}, {"x*", false, false},
      {"\\b", false, false}, {"(?s)e.{3}", false, true}, {"\\X", false, false}, {"\\Z", false, false},
      {".\\z", false, true}, {"(?!\\n)", false, false}, {"[[:space:]]+", false, false}, {"\\W+", false, false},
      {"^.*?$", false, false}, {"\\D{3}", false, false}, {"\xC3\xA9|\\n\\n", false, false},
      {"alpha\\s", false, true}, {"alphx?", false, false}, {"caf\xC3\xA9?", false, false},
      {"end\\.?\\s+x", false, true}, {"ALPHA", true, false}, {"xKa1", true, true}, {"CAF\xC3\x89\\R", true, false}};
  for (const TCase& C : Cases) {
    ek::TSearcher S;
    ASSERT_EQ(S.Prepare(C.Pattern, C.Caseless ? TSearchFlags{sfRegExp} : TSearchFlags{sfRegExp, sfCase}), SearchOk) << C.Pattern;
    for (TTarget* T : {&Small, &Large}) {
      if (T == &Large && !C.OnWhole) continue;
      const TSpans Want = EngineMatches(C.Pattern, T->Twin, C.Caseless);
      TSpans Found;
      S.FindAll(T->Buffer, 0, T->Buffer.Length(), [&](uint64_t P, uint64_t L) {
        Found.emplace_back(P, P + L);
        return true;
      });
      ExpectSameSpans(T->Map.ToTwin(Found), Want, T->Twin, (T == &Large ? "the whole text, " : "a text, ") + C.Pattern);
      if (T == &Large) continue;
      Found.clear();
      for (size_t From = 0; From <= T->Text.size();) {
        size_t P = 0, L = 0;
        if (!S.FindIn(T->Text, From, P, L)) break;
        Found.emplace_back(P, P + L);
        From = L ? P + L : S.NextStart(T->Buffer, P);
      }
      ExpectSameSpans(T->Map.ToTwin(Found), Want, T->Twin, "a string, " + C.Pattern);
    }
  }
}

TEST(KernelSearch, ACharacterAcrossTheEndOfAScanWindowIsMatchedWhole) {
  // The scan reads the text in windows of a megabyte; one ends inside the wide character.
  TKernelView K;
  std::string Text(size_t{1} << 20, 'x');
  Text.insert(Text.size() - 1, "\xE4\xB8\xAD");
  K.Load(Text);
  EXPECT_EQ(ReplaceAllCount(K, "[^x]", "<\\0>", {sfGoForward, sfRegExp, sfCase}), 1);
  EXPECT_EQ(K.Save().substr(Text.size() - 4), "<\xE4\xB8\xAD>x");
}

TEST(KernelSearch, ReplacingTheLastCharacterOfEveryLineKeepsBlankCrLfLines) {
  TKernelView K;
  K.Load("ab\r\n\r\ncd\r\n\r\n\r\n");
  EXPECT_EQ(ReplaceAllCount(K, "[^\\n]\\n", "!\\n", {sfGoForward, sfRegExp}), 2);
  EXPECT_EQ(K.Save(), "a!\r\n\r\nc!\r\n\r\n\r\n");
  K.Run(ekUndo);
  // A character class, (?s) and \v take a whole break as one character.
  EXPECT_EQ(ReplaceAllCount(K, "d[\\s\\S]", "D", {sfGoForward, sfRegExp}), 1);
  EXPECT_EQ(K.Save(), "ab\r\n\r\ncD\r\n\r\n");
  K.Run(ekUndo);
  EXPECT_EQ(ReplaceAllCount(K, "(?s)b.", "B", {sfGoForward, sfRegExp}), 1);
  EXPECT_EQ(ReplaceAllCount(K, "\\v\\v", "|", {sfGoForward, sfRegExp}), 1);
  EXPECT_EQ(K.Save(), "aB\r\ncd|\r\n");
}

TEST(KernelSearch, FindAgainAfterAnEmptyMatchStepsOverAWholeCharacter) {
  TKernelView K;
  K.Load("\xC3\xA9\xE4\xB8\xADz\r\nq");
  TEkSearchState S{};
  std::vector<std::pair<int, int>> Seen;
  ASSERT_EQ(Find(K, "x*", {sfGoForward, sfFromCursor, sfRegExp}, &S), 0);
  Seen.emplace_back(int{S.MatchPos.LineNum}, int{S.MatchPos.Index});
  for (int I = 0; I < 6 && K.Run(ekSearchAgain, TSearchAgainArgs{&S}) == 0; ++I) Seen.emplace_back(int{S.MatchPos.LineNum}, int{S.MatchPos.Index});
  // One empty match before each character and at each line's end, each found once.
  const std::vector<std::pair<int, int>> Want = {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}, {2, 1}};
  EXPECT_EQ(Seen, Want);
}

TEST(KernelSearch, EveryOccurrenceIsFoundAcrossShortAndLongPieces) {
  // Short pieces are scanned gathered, long ones in place: occurrences close together, so
  // that some straddle every kind of seam, in a text cut into pieces of every size.
  std::mt19937 Rng(3);
  std::string Text;
  static const char* const Words[] = {"needle.", "NeedLE", "pin,", "x"};
  std::vector<size_t> Needles;  // where each "needle" starts, in either case
  while (Text.size() < 1500000) {
    const unsigned W = Rng() % 4;
    if (W < 2) Needles.push_back(Text.size());
    Text += Words[W];
  }
  // Loaded without some of its characters, each then put back by an edit of its own: a
  // piece of one character, an occurrence running across it. The characters are taken at
  // every place of a "needle" in turn, at steps long and short.
  std::vector<size_t> Cuts;
  auto Next = Needles.begin();
  for (size_t At = 0, Turn = 0;; ++Turn) {
    At += Rng() % 300 == 0 ? 17000 + Rng() % 20000 : 1 + Rng() % 200;
    Next = std::lower_bound(Next, Needles.end(), At);
    if (Next == Needles.end()) break;
    At = *Next + Turn % 7;
    if (At >= Text.size()) break;
    Cuts.push_back(At);
  }
  std::string Loaded;
  for (size_t I = 0, K = 0; I < Text.size(); ++I)
    if (K < Cuts.size() && Cuts[K] == I) ++K;
    else Loaded += Text[I];
  ek::TTextBuffer Buffer;
  size_t Read = 0;
  ASSERT_TRUE(Buffer.Load([&](char* Out, size_t N) {
    const size_t K = std::min(N, Loaded.size() - Read);
    std::copy_n(Loaded.data() + Read, K, Out);
    Read += K;
    return static_cast<int64_t>(K);
  }));
  for (size_t At : Cuts) Buffer.Insert(At, Text.substr(At, 1));
  ASSERT_EQ(Buffer.Text(0, Buffer.Length()), Text);
  ASSERT_GT(Buffer.Tree().PieceCount(), 1000u);
  struct TCase {
    std::string Pattern;
    TSearchFlags Flags;
    std::vector<std::string> Each;  // what the matches are, in the text's case folded when the flags say so
  };
  const std::vector<TCase> Cases = {{"needle", {sfCase}, {"needle"}},
                                    {"needle", {}, {"needle"}},
                                    {"needle|pin", {sfRegExp, sfCase}, {"needle", "pin"}},
                                    {"NEEDLE|PIN", {sfRegExp}, {"needle", "pin"}}};
  for (const TCase& C : Cases) {
    const bool Fold = !C.Flags.Contains(sfCase);
    std::string Seen = Text;
    if (Fold) std::transform(Seen.begin(), Seen.end(), Seen.begin(), [](unsigned char Ch) { return static_cast<char>(std::tolower(Ch)); });
    std::vector<uint64_t> Want;
    for (size_t P = 0; P < Seen.size(); ++P)
      for (const auto& E : C.Each)
        if (Seen.compare(P, E.size(), E) == 0) Want.push_back(P);
    ek::TSearcher S;
    ASSERT_EQ(S.Prepare(C.Pattern, C.Flags), SearchOk);
    std::vector<uint64_t> Got;
    S.FindAll(Buffer, 0, Buffer.Length(), [&](uint64_t P, uint64_t) {
      Got.push_back(P);
      return true;
    });
    EXPECT_EQ(Got, Want) << C.Pattern;
  }
}

// ---- Expressions tried only where a leading literal stands ----

// A text of words that begin the patterns below and words that nearly do, in both cases, with
// CR LF, LF and lone CR breaks, characters beyond ASCII (among them the two that fold to k
// and s) and one line of some 100,000 characters; loaded in pieces, then edited at scattered
// places (the same edits made to Mirror). Broken, the edits may insert inside a character:
// the text is no longer valid UTF-8 there.
void EditedText(ek::TTextBuffer& Buffer, std::string& Mirror, unsigned Seed, bool Broken) {
  std::mt19937 Rng(Seed);
  static const char* const Words[] = {"near", "Near", "NEAR", "nea", "close", "to", "close to", "the", "end", "End",
                                      "tail", "inc(", "Dec(", "dec (", "abc, 12)", "_x", "k", "\xE2\x84\xAA", "s",
                                      "\xC5\xBF", "caf\xC3\xA9", "\xE4\xB8\xAD", " ", " ", "  ", "\t", "0", "ok"};
  static const char* const Breaks[] = {"\r\n", "\n", "\r"};
  auto Some = [&](size_t Size, bool Lines) {
    std::string Out;
    while (Out.size() < Size) {
      Out += Words[Rng() % std::size(Words)];
      if (Lines && Rng() % 6 == 0) Out += Breaks[Rng() % 3];
    }
    return Out;
  };
  Mirror = Some(150000, true) + "\n" + Some(100000, false) + "\r\n" + Some(50000, true);
  LoadInPieces(Buffer, Mirror);
  // Never inside a CR LF pair (the pairs stay as they are), and unless Broken never inside a
  // character.
  auto Inside = [&](uint64_t P) {
    return P > 0 && P < Mirror.size() &&
           ((!Broken && (static_cast<unsigned char>(Mirror[P]) & 0xC0) == 0x80) || (Mirror[P - 1] == '\r' && Mirror[P] == '\n'));
  };
  for (int I = 0; I < 3000; ++I) {
    uint64_t At = Rng() % (Mirror.size() + 1);
    if (Rng() % 2) {
      while (Inside(At)) --At;
      const std::string Word = Some(1, Rng() % 2 == 0);
      Buffer.Insert(At, Word);
      Mirror.insert(At, Word);
    } else {
      uint64_t From = At, To = std::min<uint64_t>(Mirror.size(), At + 1 + Rng() % 5);
      while (Inside(From)) --From;
      while (Inside(To)) ++To;
      if (To <= From) continue;
      Buffer.Delete(From, To - From);
      Mirror.erase(From, To - From);
    }
  }
  ASSERT_EQ(Buffer.Text(0, Buffer.Length()), Mirror);
}

TEST(KernelSearch, ExpressionsTriedAtTheirLeadingLiteralsFindWhatAWholeScanFinds) {
  struct TCase {
    std::string Pattern;
    bool Caseless = false;
  };
  // Alternations without a common start, optional and repeated pieces, small classes, anchors
  // and word boundaries, look-behind, \K, matches across breaks and across a long line,
  // case folded (k and s fold beyond ASCII), and patterns with no leading literal at all.
  const std::vector<TCase> Cases = {
      {"(?:near|close to) the end"}, {"(?:near|close to) ?the\\s+end", true}, {"(inc|dec)\\([a-z_]+, *[0-9]+\\)", true},
      {"(inc|dec) ?\\("}, {"\\bnear\\b"}, {"^(?:near|close)"}, {"(?:near|end)$"}, {"ne\\Kar"}, {"(?<=the )end"},
      {"clo(?:se)? ?to"}, {"[Nn]ear|[Ee]nd"}, {"NEAR|CLOSE|TAIL", true}, {"near[\\s\\S]{0,300}?end"},
      {"near(?:[^\\n]|\\n){20,40}"}, {"end\\R"}, {"tail\\r\\n"}, {"ok|as", true}, {"nea(?:r|\\n)"},
      {"near\\z"}, {"\\Gnear"}, {"(?:near)?"}, {"caf\\x{e9}|to\\s"}, {"toClose", true}, {"near[^x]{2000}"}};
  for (bool Broken : {false, true}) {
    ek::TTextBuffer Buffer;
    std::string Text;
    EditedText(Buffer, Text, 23, Broken);
    const std::string Twin = LfTwin(Text);
    const TTwinMap Map(Text);
    for (const TCase& C : Cases) {
      ek::TSearcher Leads, Whole;
      const TSearchFlags Flags = C.Caseless ? TSearchFlags{sfRegExp} : TSearchFlags{sfRegExp, sfCase};
      ASSERT_EQ(Leads.Prepare(C.Pattern, Flags), SearchOk) << C.Pattern;
      ASSERT_EQ(Whole.Prepare(C.Pattern, Flags), SearchOk) << C.Pattern;
      Whole.SetLeadScan(false);
      auto All = [&](ek::TSearcher& S) {
        TSpans Found;
        S.FindAll(Buffer, 0, Buffer.Length(), [&](uint64_t P, uint64_t L) {
          Found.emplace_back(P, P + L);
          return true;
        });
        return Found;
      };
      const TSpans Got = All(Leads);
      // The engine on the LF twin where that twin means the same: valid UTF-8, and no \r in
      // the pattern (which stands for a whole CR LF pair).
      if (!Broken && C.Pattern.find("\\r") == std::string::npos)
        ExpectSameSpans(Map.ToTwin(Got), EngineMatches(C.Pattern, Twin, C.Caseless), Twin, "all of " + C.Pattern);
      ExpectSameSpans(Got, All(Whole), Text, "all of " + C.Pattern + ", a whole scan");
      // From places here and there, forward, backward, and in the text as one string.
      std::mt19937 Rng(static_cast<unsigned>(C.Pattern.size()));
      for (int I = 0; I < 12; ++I) {
        const uint64_t From = Rng() % Buffer.Length();
        uint64_t P1 = 0, L1 = 0, P2 = 0, L2 = 0;
        const bool F1 = Leads.FindForward(Buffer, From, Buffer.Length(), P1, L1);
        const bool F2 = Whole.FindForward(Buffer, From, Buffer.Length(), P2, L2);
        EXPECT_EQ(std::tie(F1, P1, L1), std::tie(F2, P2, L2)) << C.Pattern << " forward from " << From;
        const bool B1 = Leads.FindBackward(Buffer, 0, From, P1, L1);
        const bool B2 = Whole.FindBackward(Buffer, 0, From, P2, L2);
        EXPECT_EQ(std::tie(B1, P1, L1), std::tie(B2, P2, L2)) << C.Pattern << " backward from " << From;
        size_t S1 = 0, N1 = 0, S2 = 0, N2 = 0;
        const bool I1 = Leads.FindIn(Text, From, S1, N1);
        const bool I2 = Whole.FindIn(Text, From, S2, N2);
        EXPECT_EQ(std::tie(I1, S1, N1), std::tie(I2, S2, N2)) << C.Pattern << " in the string from " << From;
      }
    }
  }
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
