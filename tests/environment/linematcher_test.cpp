// The line matcher against the kernel's own line search: lines and their breaks, texts longer
// than one scan, columns, the places an expression's literals pick, the piece of a long line a
// hit shows, and hits handed over in runs.
#include "environment/linematcher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <random>

namespace nxs {
namespace {

// A hit with its line text as its run holds it.
struct TShown : TFindHit {
  std::string LineText;
};

std::vector<TShown> Shown(const TFoundHits& Run) {
  std::vector<TShown> Out;
  for (const auto& H : Run.Hits) Out.push_back({H, std::string(Run.LineText(H))});
  return Out;
}

std::vector<TShown> Match(std::string_view Text, const std::string& Pattern, TSearchFlags Flags = {}) {
  TLineMatcher M(Pattern, Flags, false);
  TFoundHits Hits;
  M.Search(Text, Hits);
  return Shown(Hits);
}

// "line:charcol" of every hit.
template <class THit>
std::vector<std::string> Places(const std::vector<THit>& Hits) {
  std::vector<std::string> Out;
  for (const auto& H : Hits) Out.push_back(std::to_string(H.Line) + ":" + std::to_string(H.CharColumn));
  return Out;
}

using Strings = std::vector<std::string>;

TEST(LineMatcher, LinesEndAtEveryKindOfBreakAndTheLastLineNeedsNone) {
  // LF, CR, CR LF and LF CR each end one line; the final line has no break.
  EXPECT_EQ(Places(Match("a x\nb x\rc x\r\nd x\n\re x", "x")), (Strings{"1:3", "2:3", "3:3", "4:3", "5:3"}));
  EXPECT_EQ(Places(Match("x\nx\rx\r\nx\n\rxx", "x")), (Strings{"1:1", "2:1", "3:1", "4:1", "5:1", "5:2"}));
  EXPECT_EQ(Places(Match("no break at the end: hit", "hit")), (Strings{"1:22"}));
  EXPECT_TRUE(Match("", "x").empty());
  // A hit right after the last break of a file with several empty lines.
  EXPECT_EQ(Places(Match("\n\n\nx", "x")), (Strings{"4:1"}));
}

TEST(LineMatcher, ALongLineIsSearchedWholeAndTheFileGoesOn) {
  std::string Long(100000, 'a');
  Long += "needle\nnext needle\n";
  EXPECT_EQ(Places(Match(Long, "needle", {sfCase})), (Strings{"1:100001", "2:6"}));
  EXPECT_EQ(Places(Match(Long, "NEEDLE")), (Strings{"1:100001", "2:6"}));
  EXPECT_EQ(Places(Match(Long, "ne+dle$", {sfRegExp})), (Strings{"1:100001", "2:6"}));
}

// The lines of Text split here by hand (LF, CR, CR LF and LF CR end one) with their
// numbers, and "line:charcol" of each match that Find gives in a line, from Pos on.
Strings PlacesLineByLine(const std::string& Text,
                         const std::function<bool(const std::string& Line, size_t From, size_t& Pos, size_t& Len)>& Find) {
  Strings Out;
  int LineNo = 1;
  size_t Start = 0;
  for (size_t I = 0; I <= Text.size(); ++I) {
    if (I < Text.size() && Text[I] != '\n' && Text[I] != '\r') continue;
    const std::string Line = Text.substr(Start, I - Start);
    for (size_t From = 0, Pos, Len; From <= Line.size() && Find(Line, From, Pos, Len);) {
      int Chars = 0;
      for (size_t K = 0; K < Pos; ++K) Chars += (static_cast<unsigned char>(Line[K]) & 0xC0) != 0x80;
      Out.push_back(std::to_string(LineNo) + ":" + std::to_string(Chars + 1));
      From = Pos + (Len ? Len : 1);
    }
    if (I == Text.size()) break;
    if (I + 1 < Text.size() && (Text[I + 1] == '\n' || Text[I + 1] == '\r') && Text[I + 1] != Text[I]) ++I;
    Start = I + 1;
    ++LineNo;
  }
  return Out;
}

// Every hit of Needle (ASCII, no break) line by line.
Strings ExpectedPlaces(const std::string& Text, const std::string& Needle, bool Fold) {
  auto Low = [&](std::string S) {
    if (Fold)
      for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return S;
  };
  return PlacesLineByLine(Text, [&](const std::string& Line, size_t From, size_t& Pos, size_t& Len) {
    Pos = Low(Line).find(Low(Needle), From);
    Len = Needle.size();
    return Pos != std::string::npos;
  });
}

TEST(LineMatcher, OneScanFindsWhatALineByLineSearchFinds) {
  // Long stretches without a hit (the break count runs over many blocks), every kind of
  // break, several hits on a line, characters of two bytes before a hit.
  std::mt19937 Random(14);
  const char* Pieces[] = {"x", "xx", "\n", "\r\n", "\r", "\n\r", "\xC3\xA9", "ab", "AB", "aB b"};
  for (int Round = 0; Round < 60; ++Round) {
    std::string Text;
    const bool Sparse = Round % 3 == 0;
    const size_t Size = Random() % (Sparse ? 200000 : 40000);
    while (Text.size() < Size) {
      const unsigned R = Random() % (Sparse ? 20000 : 1000);
      Text += R < 3 ? Pieces[7 + R] : Pieces[R % 7];
    }
    EXPECT_EQ(Places(Match(Text, "ab", {sfCase})), ExpectedPlaces(Text, "ab", false)) << Round;
    EXPECT_EQ(Places(Match(Text, "Ab")), ExpectedPlaces(Text, "ab", true)) << Round;
  }
}

TEST(LineMatcher, ATextLongerThanOneScanIsSearchedAcrossItsParts) {
  // Lines of 100 bytes past 16 MB, with hits on the lines around the 16 MB boundary.
  std::string Text;
  const std::string Line(99, 'x');
  while (Text.size() < (size_t{1} << 24) + 500) Text += Line + '\n';
  // The first hit spans the boundary itself.
  for (size_t At : {(size_t{1} << 24) - 1, (size_t{1} << 24) + 160, (size_t{1} << 24) + 250}) Text.replace(At, 2, "ab");
  const Strings Expected = ExpectedPlaces(Text, "ab", false);
  ASSERT_EQ(Expected.size(), 3u);
  EXPECT_EQ(Places(Match(Text, "ab", {sfCase})), Expected);
  EXPECT_EQ(Places(Match(Text, "a+b", {sfCase, sfRegExp})), Expected);
}

TEST(LineMatcher, EveryMatchOfALineWithColumnsInCharacters) {
  auto Hits = Match("\xC3\xA9t\xC3\xA9 ab ab\n", "ab");
  ASSERT_EQ(Hits.size(), 2u);
  EXPECT_EQ(Hits[0].ByteColumn, 7);
  EXPECT_EQ(Hits[0].CharColumn, 5);
  EXPECT_EQ(Hits[1].CharColumn, 8);
  EXPECT_EQ(Hits[1].LineText, "\xC3\xA9t\xC3\xA9 ab ab");
  // The match length counts UTF-16 units: one for é, two for a character beyond 16 bits.
  EXPECT_EQ(Match("x\xC3\xA9y", "\xC3\xA9", {sfCase})[0].MatchLength, 1);
  EXPECT_EQ(Match("x\xF0\x9F\x98\x80y", "\xF0\x9F\x98\x80", {sfCase})[0].MatchLength, 2);
}

TEST(LineMatcher, KeepsTheKernelsCaseWordAndExpressionRules) {
  const char* Text = "Begin\nbegin_x\nxbegin\nBEGIN end\n";
  EXPECT_EQ(Places(Match(Text, "begin")), (Strings{"1:1", "2:1", "3:2", "4:1"}));
  EXPECT_EQ(Places(Match(Text, "begin", {sfCase})), (Strings{"2:1", "3:2"}));
  EXPECT_EQ(Places(Match(Text, "begin", {sfWord})), (Strings{"1:1", "4:1"}));
  // Anchors hold per line, though one call scans the whole text.
  EXPECT_EQ(Places(Match(Text, "^begin", {sfRegExp})), (Strings{"1:1", "2:1", "4:1"}));
  EXPECT_EQ(Places(Match(Text, "end$", {sfRegExp})), (Strings{"4:7"}));
  // An expression that could run across lines is still a line search.
  EXPECT_EQ(Places(Match("ab\ncd\n", "b\\s*c", {sfRegExp})), Strings{});
  // Case folding beyond ASCII.
  EXPECT_EQ(Places(Match("\xC3\x89T\xC3\x89\n", "\xC3\xA9t\xC3\xA9")), (Strings{"1:1"}));
}

// Every hit the kernel's search finds line by line: the oracle of the matcher's one pass
// over the whole text.
Strings KernelPlaces(const std::string& Text, const std::string& Pattern, TSearchFlags Flags) {
  ek::TStringSearch S;
  if (S.Prepare(Pattern, Flags + TSearchFlags{sfGoForward}) != 0) return {"(bad pattern)"};
  return PlacesLineByLine(Text, [&](const std::string& Line, size_t From, size_t& Pos, size_t& Len) {
    return S.Find(Line, From, Pos, Len);
  });
}

TEST(LineMatcher, AnExpressionFindsOnlyLinesWithItsLiteralsAndMissesNoHit) {
  // Expressions whose literals pick the lines (an alternation, a small class, an optional
  // piece, case folded or not) and some that have none, over random lines of every break.
  std::mt19937 Random(22);
  const char* Pieces[] = {"inc(", "DEC(", "Inc(", "x", ", ", " ", "1", "23", ")", "(", "\n", "\r\n", "\r", "\xC3\xA9", "colour", "Color", "ab", "_"};
  const std::vector<std::pair<std::string, TSearchFlags>> Patterns = {
      {"(inc|dec)\\([a-z_]+, *[0-9]+\\)", {sfRegExp}},
      {"(inc|dec)\\(", {sfRegExp, sfCase}},
      {"colou?r", {sfRegExp}},
      {"[Cc]olor|ab\\)", {sfRegExp, sfCase}},
      {"\\bx\\b", {sfRegExp}},
      {"^inc|\\)$", {sfRegExp}},
      {"[0-9]{2}", {sfRegExp}},
      {"(?:ab|inc)+\\(", {sfRegExp}},
  };
  for (int Round = 0; Round < 40; ++Round) {
    std::string Text;
    const size_t Size = Random() % 30000;
    while (Text.size() < Size) Text += Pieces[Random() % std::size(Pieces)];
    for (const auto& [Pattern, Flags] : Patterns)
      EXPECT_EQ(Places(Match(Text, Pattern, Flags)), KernelPlaces(Text, Pattern, Flags)) << Pattern << " " << Round;
  }
}

// The characters of S from character Col (from 1) on.
std::string FromColumn(const std::string& S, int Col) {
  size_t I = 0;
  for (int C = 1; C < Col && I < S.size(); ++C) {
    ++I;
    while (I < S.size() && (static_cast<unsigned char>(S[I]) & 0xC0) == 0x80) ++I;
  }
  return S.substr(I);
}

int Chars(const std::string& S) {
  int N = 0;
  for (unsigned char C : S) N += (C & 0xC0) != 0x80;
  return N;
}

TEST(LineMatcher, ALongLineShowsAPieceAroundEachHitMarkedWhereItWasCut) {
  // Two-byte characters, so that a piece cut in bytes would split one.
  std::string Line;
  for (int I = 0; I < 1000; ++I) Line += "\xC3\xA9";
  for (size_t At : {size_t{20}, size_t{1000}, size_t{1990}}) Line.replace(At, 6, "needle");
  const auto Hits = Match(Line + "\nshort needle needle\n", "needle");
  ASSERT_EQ(Hits.size(), 5u);
  const int Width = ShownLineWidth, Mark = static_cast<int>(CutMark.size());
  // Near the start: the line's own start, cut at the end.
  EXPECT_EQ(Hits[0].LineText.substr(0, 2), "\xC3\xA9");
  EXPECT_EQ(Hits[0].LineText.substr(Hits[0].LineText.size() - 3), CutMark);
  EXPECT_EQ(Chars(Hits[0].LineText), Width + Mark);
  // In the middle: ShownBeforeMatch characters before the match, cut at both ends.
  EXPECT_EQ(Hits[1].LineText.substr(0, 3), CutMark);
  EXPECT_EQ(Chars(Hits[1].LineText), Width + 2 * Mark);
  EXPECT_EQ(Hits[1].TextColumn, Mark + ShownBeforeMatch + 1);
  // Near the end: the line's own end, the piece as wide as the others.
  EXPECT_EQ(Hits[2].LineText.substr(Hits[2].LineText.size() - 2), "\xC3\xA9");
  EXPECT_EQ(Chars(Hits[2].LineText), Width + Mark);
  for (int H = 0; H < 3; ++H) {
    EXPECT_EQ(FromColumn(Hits[H].LineText, Hits[H].TextColumn).substr(0, 6), "needle") << H;
    EXPECT_EQ(Hits[H].CharColumn, Chars(Line.substr(0, static_cast<size_t>(Hits[H].ByteColumn - 1))) + 1) << H;
  }
  // A short line is shown whole, one text for its hits.
  EXPECT_EQ(Hits[3].LineText, "short needle needle");
  EXPECT_EQ(Hits[3].TextStart, Hits[4].TextStart);
  EXPECT_EQ(Hits[4].TextColumn, Hits[4].CharColumn);
  // Width counts characters: 150 of two bytes is a short line.
  std::string Wide;
  for (int I = 0; I < 150; ++I) Wide += "\xC3\xA9";
  EXPECT_EQ(Match(Wide + "x", "x")[0].LineText, Wide + "x");
}

// Every hit of Text from line FirstLine, with its text read from the run that held it when
// that run was handed over (the run is taken apart as the engine takes it); Runs counts the
// full runs handed over.
std::vector<TShown> MatchInRuns(std::string_view Text, const std::string& Pattern, int32_t FirstLine, size_t& Runs) {
  TLineMatcher M(Pattern, {sfCase}, false);
  TFoundHits Hits;
  std::vector<TShown> All;
  const THitRun Flush = [&](TFoundHits& Run) {
    EXPECT_GE(Run.size(), TLineMatcher::FlushAt);
    ++Runs;
    for (auto& H : Shown(Run)) All.push_back(std::move(H));
    TFoundHits Taken = std::move(Run);
  };
  EXPECT_TRUE(M.Search(Text, Hits, nullptr, FirstLine, &Flush));
  for (auto& H : Shown(Hits)) All.push_back(std::move(H));
  return All;
}

TEST(LineMatcher, HitsComeInRunsNumberedFromTheLineGivenEachWithItsLineTexts) {
  std::string Text;
  for (int I = 0; I < 2000; ++I) Text += "x x x\n";  // runs end within lines
  size_t Runs = 0;
  auto All = MatchInRuns(Text, "x", 41, Runs);
  EXPECT_EQ(Runs, 6000 / TLineMatcher::FlushAt);
  ASSERT_EQ(All.size(), 6000u);
  EXPECT_EQ(All.front().Line, 41);
  EXPECT_EQ(All.back().Line, 2040);
  EXPECT_EQ(All.back().CharColumn, 5);
  for (const auto& H : All) ASSERT_EQ(H.LineText, "x x x") << H.Line << ":" << H.CharColumn;
  // A line whose hits fill several runs, shown whole and shown in pieces (the last 70 hits
  // of the long line show one piece, and a run ends among them): each run has the texts of
  // the hits it holds.
  for (const size_t Count : {size_t{50}, TLineMatcher::FlushAt + 16}) {
    std::string Line;
    for (size_t I = 0; I < Count; ++I) Line += "ab";
    const bool Whole = Line.size() <= static_cast<size_t>(ShownLineWidth);
    Runs = 0;
    All = MatchInRuns(Line + "\n" + Line, "b", 1, Runs);
    ASSERT_EQ(All.size(), 2 * Count);
    EXPECT_EQ(Runs, 2 * Count / TLineMatcher::FlushAt);
    for (const auto& H : All) {
      if (Whole) {
        ASSERT_EQ(H.LineText, Line);
        continue;
      }
      // The piece is the line's own around the hit, between the marks where it was cut.
      const size_t Lead = H.LineText.starts_with(CutMark) ? CutMark.size() : 0;
      const size_t Trail = H.LineText.ends_with(CutMark) ? CutMark.size() : 0;
      const std::string Piece = H.LineText.substr(Lead, H.LineText.size() - Lead - Trail);
      const size_t From = static_cast<size_t>(H.ByteColumn - H.TextColumn) + Lead;
      ASSERT_EQ(Piece, Line.substr(From, Piece.size())) << H.Line << ":" << H.CharColumn;
      ASSERT_EQ(Line[static_cast<size_t>(H.ByteColumn - 1)], 'b');
    }
  }
}

TEST(LineMatcher, AReaderSplitsPiecesOnlyAfterWholeBreaks) {
  // A CR or LF as the last byte may be the first half of a pair.
  EXPECT_EQ(WholeLinesEnd("a\r"), 0u);
  EXPECT_EQ(WholeLinesEnd("a\r\nb\r"), 3u);
  EXPECT_EQ(WholeLinesEnd("a\n\r"), 3u);
  EXPECT_EQ(WholeLinesEnd("\r\n\r\n\r"), 4u);
  EXPECT_EQ(WholeLinesEnd("ab"), 0u);
  EXPECT_EQ(FirstBreakEnd("ab\r", false), std::string_view::npos);
  EXPECT_EQ(FirstBreakEnd("ab\r", true), 3u);
  EXPECT_EQ(FirstBreakEnd("ab\r\nc", false), 4u);
  EXPECT_EQ(LineAfter("a\r\n\n\rb\r", 7), 10);
}

}  // namespace
}  // namespace nxs
