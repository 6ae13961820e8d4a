// The literals an expression requires: the sets worked out for the kinds of expression a
// user writes, and, over random lines, that no line the kernel finds a match on lacks them.
#include "shared/prefilter.h"

#include <gtest/gtest.h>

#include <random>

#include "editor/kernel/ek.h"
#include "shared/text.h"

namespace nxs {
namespace {

using Strings = std::vector<std::string>;

Strings Sorted(Strings S) {
  std::sort(S.begin(), S.end());
  return S;
}

TEST(RequiredLiterals, EachBranchAndEachSmallChoiceGivesItsOwnNeedles) {
  EXPECT_EQ(Sorted(RequiredLiterals("[a-z]+Error\\(", false)), (Strings{"Error("}));
  EXPECT_EQ(Sorted(RequiredLiterals("(inc|dec)\\([A-Za-z_]+, *[0-9]+\\)", true)), (Strings{"dec(", "inc("}));
  EXPECT_EQ(Sorted(RequiredLiterals("foo|bar", false)), (Strings{"bar", "foo"}));
  EXPECT_EQ(Sorted(RequiredLiterals("colou?r", false)), (Strings{"color", "colour"}));
  EXPECT_EQ(Sorted(RequiredLiterals("[Ee]rror", false)), (Strings{"Error", "error"}));
  EXPECT_EQ(Sorted(RequiredLiterals("[Ee]rror", true)), (Strings{"error"}));
  EXPECT_EQ(Sorted(RequiredLiterals("x{2}y", false)), (Strings{"xxy"}));
  EXPECT_EQ(Sorted(RequiredLiterals("\\Qa.b\\E+", false)), (Strings{"a.b"}));
  EXPECT_EQ(Sorted(RequiredLiterals("(?:ab|cd)+e", false)), (Strings{"abe", "cde"}));
  // A needle that holds another is left out: "foobar" holds "bar".
  EXPECT_EQ(Sorted(RequiredLiterals("(foo)?bar", false)), (Strings{"bar"}));
  // Runs that a piece of no fixed text breaks: the longest.
  EXPECT_EQ(Sorted(RequiredLiterals("xy+z", false)), (Strings{"xy"}));
  EXPECT_EQ(Sorted(RequiredLiterals("(?<name>abc)\\d(?=q)de", false)), (Strings{"abc"}));
}

TEST(RequiredLiterals, NoNeedlesWhereAScanCannotBeTrusted) {
  // k and s fold to characters beyond ASCII too; so does anything beyond ASCII.
  EXPECT_EQ(RequiredLiterals("task", true), (Strings{"ta"}));
  EXPECT_EQ(RequiredLiterals("\xC3\xA9t\xC3\xA9", true), Strings{});
  EXPECT_EQ(RequiredLiterals("\xC3\xA9t\xC3\xA9", false), (Strings{"\xC3\xA9t\xC3\xA9"}));
  // Options and verbs change how the rest reads; an empty branch or an optional whole
  // matches anywhere; single characters find too many places.
  for (const char* P : {"(?i)foo", "(?x)f o o", "(*UCP)foo", "foo|", "(foo)?", "a.c", "[0-9]{5}", "\\d+", "x*",
                        "(?(1)a|b)foo", "foo(?1)", "[^abc]+", "(a|b|c|d|e|f|g|h|i|j|l|m|n|o|p|q|r)z"})
    EXPECT_EQ(RequiredLiterals(P, false), Strings{}) << P;
  // Malformed: no needles, no crash.
  for (const char* P : {"(abc", "abc)", "[abc", "\\", "+abc", "a{2,1}"}) RequiredLiterals(P, false);
}

TEST(LeadingLiterals, WhatEveryMatchStartsWith) {
  EXPECT_EQ(Sorted(LeadingLiterals("(?:near|close to) the end\\ntail", false)), (Strings{"close to the end", "near the end"}));
  EXPECT_EQ(Sorted(LeadingLiterals("(inc|dec)\\([A-Za-z_]+, *[0-9]+\\)", true)), (Strings{"dec(", "inc("}));
  EXPECT_EQ(Sorted(LeadingLiterals("[Ee]rror\\d", false)), (Strings{"Error", "error"}));
  EXPECT_EQ(Sorted(LeadingLiterals("x?abc", false)), (Strings{"abc", "xabc"}));
  // A needle that starts with another adds no place: "abcd" starts with "abc".
  EXPECT_EQ(Sorted(LeadingLiterals("abc|abcd|xy", false)), (Strings{"abc", "xy"}));
  // Anchors, boundaries and look-arounds take no characters.
  EXPECT_EQ(Sorted(LeadingLiterals("^\\bfoo(?<=o)bar", false)), (Strings{"foobar"}));
  // Where a match starts unknown, or the needles not to be trusted: none.
  for (const char* P : {"[a-z]+Error", "\\w+foo", "foo|\\d", "(?:foo)?x*bar", "x*abc", "a\\w", "\\Gfoo", "fo\\Ko",
                        "(?i)foo", "foo|"})
    EXPECT_EQ(LeadingLiterals(P, false), Strings{}) << P;
  EXPECT_EQ(LeadingLiterals("skip|kin", true), Strings{});
}

TEST(RequiredLiterals, EveryLineWithAMatchHoldsANeedle) {
  std::mt19937 Random(7);
  const char* Pieces[] = {"inc", "Dec", "(", ")", "x", "ab", "cd", "e", ", ", " ", "1", "0", "Error", "rror", "colo", "u", "r", "_"};
  const Strings Patterns = {"(inc|dec)\\([a-z_]+, *[0-9]+\\)", "colou?r", "[Ee]rror\\(", "(?:ab|cd)+e", "x{2}y|incx",
                            "(ab)?cd\\b", "\\bdec\\s*\\(", "([0-9]|x)ab", "^inc|e$", "(inc|(ab|cd)e)\\)"};
  for (int Round = 0; Round < 300; ++Round) {
    std::string Line;
    const size_t Size = Random() % 40;
    while (Line.size() < Size) Line += Pieces[Random() % std::size(Pieces)];
    for (bool Fold : {false, true})
      for (const auto& P : Patterns) {
        ek::TStringSearch S;
        TSearchFlags Flags{sfRegExp, sfGoForward};
        Flags.Set(sfCase, !Fold);
        ASSERT_EQ(S.Prepare(P, Flags), 0) << P;
        size_t Pos, Len;
        if (!S.Find(Line, 0, Pos, Len)) continue;
        const Strings Needles = RequiredLiterals(P, Fold);
        if (Needles.empty()) continue;
        const std::string Seen = Fold ? LowerCase(Line) : Line;
        EXPECT_TRUE(std::any_of(Needles.begin(), Needles.end(), [&](const std::string& N) { return Seen.find(N) != std::string::npos; }))
            << P << " on \"" << Line << "\"";
      }
  }
}

}  // namespace
}  // namespace nxs
