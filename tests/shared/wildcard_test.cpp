// The wildcard matcher: stars, marks, sets and quoting, case, and agreement with the C
// library's matcher on random patterns.
#include "shared/wildcard.h"

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

namespace nxs {
namespace {

TEST(Wildcard, StarsAndMarksMatchAnyBytesSeparatorsIncluded) {
  EXPECT_TRUE(MatchesWildcard("*.pas", "unit1.pas"));
  EXPECT_TRUE(MatchesWildcard("*.pas", ".pas"));
  EXPECT_FALSE(MatchesWildcard("*.pas", "unit1.pas.bak"));
  EXPECT_TRUE(MatchesWildcard("a*b*c", "aXbYbZc"));
  EXPECT_TRUE(MatchesWildcard("a*b*c", "abc"));
  EXPECT_FALSE(MatchesWildcard("a*b*c", "acb"));
  EXPECT_TRUE(MatchesWildcard("u?it", "unit"));
  EXPECT_FALSE(MatchesWildcard("u?it", "uit"));
  EXPECT_TRUE(MatchesWildcard("**", ""));
  EXPECT_FALSE(MatchesWildcard("?", ""));
  EXPECT_TRUE(MatchesWildcard("", ""));
  EXPECT_FALSE(MatchesWildcard("", "a"));
  EXPECT_TRUE(MatchesWildcard("a*", "a/b/c"));  // "/" is an ordinary byte here
  EXPECT_TRUE(MatchesWildcard("??", "\xC3\xA9"));  // "?" is one byte, not one character
  // A star in the name is a byte like any other: "*" takes it, a star in the pattern does
  // not stand for a literal one.
  EXPECT_TRUE(MatchesWildcard("*", "*x"));
  EXPECT_TRUE(MatchesWildcard("*x", "*x"));
  EXPECT_TRUE(MatchesWildcard("a*", "a*"));
}

TEST(Wildcard, CaseCountsUnlessIgnoredAndOnlyForAsciiLetters) {
  EXPECT_FALSE(MatchesWildcard("*.PAS", "unit1.pas"));
  EXPECT_TRUE(MatchesWildcard("*.PAS", "unit1.pas", wfIgnoreCase));
  EXPECT_TRUE(MatchesWildcard("Unit?.*", "uNITx.Pas", wfIgnoreCase));
  EXPECT_FALSE(MatchesWildcard("\xC3\x89", "\xC3\xA9", wfIgnoreCase));  // É and é stay apart
  EXPECT_TRUE(MatchesWildcard("[A-C]x", "bX", wfIgnoreCase | wfClasses));
  EXPECT_FALSE(MatchesWildcard("[A-C]x", "bX", wfClasses));
}

TEST(Wildcard, SetsAndQuotingOnlyWhenAskedFor) {
  EXPECT_TRUE(MatchesWildcard("[ab]c", "[ab]c"));  // literal without wfClasses
  EXPECT_FALSE(MatchesWildcard("[ab]c", "ac"));
  EXPECT_TRUE(MatchesWildcard("a\\b", "a\\b"));
  const unsigned C = wfClasses;
  EXPECT_TRUE(MatchesWildcard("[ab]c", "ac", C));
  EXPECT_FALSE(MatchesWildcard("[ab]c", "cc", C));
  EXPECT_TRUE(MatchesWildcard("[!ab]c", "cc", C));
  EXPECT_TRUE(MatchesWildcard("[^ab]c", "cc", C));
  EXPECT_FALSE(MatchesWildcard("[!ab]c", "ac", C));
  EXPECT_TRUE(MatchesWildcard("x[0-9]", "x7", C));
  EXPECT_TRUE(MatchesWildcard("[]]", "]", C));
  EXPECT_TRUE(MatchesWildcard("[!]]", "a", C));
  EXPECT_TRUE(MatchesWildcard("[a-]", "-", C));
  EXPECT_TRUE(MatchesWildcard("[a", "[a", C));  // no "]": the "[" is literal
  EXPECT_TRUE(MatchesWildcard("[[:digit:]][[:alpha:]]", "7q", C));
  EXPECT_FALSE(MatchesWildcard("[[:upper:]]", "a", C | wfIgnoreCase));  // classes do not fold
  EXPECT_FALSE(MatchesWildcard("[[:nosuch:]]", "a", C));
  EXPECT_TRUE(MatchesWildcard("\\*", "*", C));
  EXPECT_FALSE(MatchesWildcard("\\*", "x", C));
  EXPECT_FALSE(MatchesWildcard("a\\", "a\\", C));  // a lone trailing "\" matches nothing
  EXPECT_TRUE(HasWildcards("a[b]", C));
  EXPECT_FALSE(HasWildcards("a[b]"));
  EXPECT_TRUE(HasWildcards("a?"));
}

TEST(Wildcard, AgreesWithTheCLibraryOnRandomPatterns) {
  // The C library's matcher, case folded and without path or period rules, is what the
  // container lookup used before it had this one.
  std::mt19937 Rng(7);
  const std::string PatternBytes = "ab*?[]!-^\\:Ax";
  const std::string NameBytes = "abAB-]x[\\*";
  auto Pick = [&](const std::string& From, size_t Max) {
    std::string S(std::uniform_int_distribution<size_t>(0, Max)(Rng), ' ');
    for (char& Ch : S) Ch = From[std::uniform_int_distribution<size_t>(0, From.size() - 1)(Rng)];
    return S;
  };
  for (int K = 0; K < 50000; ++K) {
    const std::string P = Pick(PatternBytes, 7), N = Pick(NameBytes, 6);
    for (const bool Fold : {false, true}) {
      const bool Want = fnmatch(P.c_str(), N.c_str(), Fold ? FNM_CASEFOLD : 0) == 0;
      ASSERT_EQ(MatchesWildcard(P, N, wfClasses | (Fold ? wfIgnoreCase : 0u)), Want)
          << "pattern '" << P << "' name '" << N << "' fold " << Fold;
    }
  }
}

}  // namespace
}  // namespace nxs
