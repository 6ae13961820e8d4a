// The condition scanner: each token kind, and what each dialect rule lets in or keeps out.
#include "shared/condscan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nxs {
namespace {

constexpr TConditionDialect Plain{"'\"", false, false, false, false, true};
constexpr TConditionDialect Full{"'", true, true, true, true, false};

// The tokens of Text as "kind:text" until the end or the first invalid one.
std::vector<std::string> Scan(std::string_view Text, const TConditionDialect& D) {
  std::vector<std::string> R;
  size_t Pos = 0;
  for (;;) {
    TConditionScan T = ScanCondition(Text, Pos, D);
    if (T.Kind == clEnd) return R;
    R.push_back(std::to_string(T.Kind) + ":" + std::string(T.Text));
    if (T.Kind == clInvalid) return R;
    Pos = T.End;
  }
}

std::string K(TConditionLexeme Kind, std::string_view Text) { return std::to_string(Kind) + ":" + std::string(Text); }

TEST(ConditionScan, ReadsEveryTokenKindAndSkipsBlanks) {
  EXPECT_EQ(Scan(" !Exists( '$(A)' , x.y-z_1 ) and\t$(B)!='' ", Plain),
            (std::vector<std::string>{K(clNot, "!"), K(clWord, "Exists"), K(clOpen, "("), K(clQuoted, "'$(A)'"),
                                      K(clComma, ","), K(clWord, "x.y-z_1"), K(clClose, ")"), K(clWord, "and"),
                                      K(clReference, "$(B)"), K(clCompare, "!="), K(clQuoted, "''")}));
  TConditionScan T = ScanCondition("  'ab' ", 0, Plain);
  EXPECT_EQ(T.Start, 2u);
  EXPECT_EQ(T.End, 6u);
  EXPECT_EQ(T.Inner, "ab");
  T = ScanCondition("$(Name)", 0, Plain);
  EXPECT_EQ(T.Inner, "Name");
  EXPECT_EQ(ScanCondition("   ", 0, Plain).Kind, clEnd);
}

TEST(ConditionScan, QuotesAreTheDialectsAndEndAtTheQuoteThatOpened) {
  EXPECT_EQ(Scan("\"a'b\"", Plain), (std::vector<std::string>{K(clQuoted, "\"a'b\"")}));
  EXPECT_EQ(Scan("\"a\"", Full), (std::vector<std::string>{K(clInvalid, "\"")}));
  TConditionScan T = ScanCondition(" 'open", 0, Full);
  EXPECT_EQ(T.Kind, clInvalid);
  EXPECT_TRUE(T.Unterminated);
  EXPECT_EQ(T.Start, 1u);
  EXPECT_FALSE(ScanCondition("#", 0, Full).Unterminated);
}

TEST(ConditionScan, ComparisonsBeyondEqualityOnlyWhereTheDialectHasThem) {
  EXPECT_EQ(Scan("a==b", Plain), (std::vector<std::string>{K(clWord, "a"), K(clCompare, "=="), K(clWord, "b")}));
  EXPECT_EQ(Scan("a<b", Plain), (std::vector<std::string>{K(clWord, "a"), K(clInvalid, "<")}));
  EXPECT_EQ(Scan("a=b", Full), (std::vector<std::string>{K(clWord, "a"), K(clInvalid, "=")}));
  EXPECT_EQ(Scan("<=>=<>", Full),
            (std::vector<std::string>{K(clCompare, "<="), K(clCompare, ">="), K(clCompare, "<"), K(clCompare, ">")}));
  EXPECT_EQ(Scan("!!=", Full), (std::vector<std::string>{K(clNot, "!"), K(clCompare, "!=")}));
}

TEST(ConditionScan, ReferencesCloseByTheDialectsRule) {
  // The first ")" closes a reference unless references nest; quoted text inside a nested one
  // may hold ")".
  EXPECT_EQ(Scan("$(A.B('x)'))", Plain), (std::vector<std::string>{K(clReference, "$(A.B('x)"),
                                                                       K(clInvalid, "'")}));
  EXPECT_EQ(Scan("$(A.B('x)'))", Full), (std::vector<std::string>{K(clReference, "$(A.B('x)'))")}));
  EXPECT_EQ(Scan("@(I->'%(F)')", Full), (std::vector<std::string>{K(clReference, "@(I->'%(F)')")}));
  EXPECT_EQ(Scan("%(I.M)", Full), (std::vector<std::string>{K(clReference, "%(I.M)")}));
  EXPECT_EQ(Scan("%(I(x))", Full), (std::vector<std::string>{K(clReference, "%(I(x)"), K(clClose, ")")}));
  EXPECT_EQ(Scan("@(I)", Plain), (std::vector<std::string>{K(clInvalid, "@")}));
  EXPECT_EQ(Scan("$A", Full), (std::vector<std::string>{K(clInvalid, "$")}));
  TConditionScan T = ScanCondition("$(A", 0, Full);
  EXPECT_EQ(T.Kind, clInvalid);
  EXPECT_TRUE(T.Unterminated);
  EXPECT_TRUE(ScanCondition("$((A)", 0, Full).Unterminated);
  EXPECT_EQ(ScanCondition("$((A)", 0, Plain).Kind, clReference);
}

TEST(ConditionScan, WordsSignsAndBlanks) {
  EXPECT_EQ(Scan("+1.5 -2", Full), (std::vector<std::string>{K(clWord, "+1.5"), K(clWord, "-2")}));
  EXPECT_EQ(Scan("1+2", Full), (std::vector<std::string>{K(clWord, "1"), K(clWord, "+2")}));
  EXPECT_EQ(Scan("+1", Plain), (std::vector<std::string>{K(clInvalid, "+")}));
  EXPECT_EQ(Scan("a\fb", Plain), (std::vector<std::string>{K(clWord, "a"), K(clWord, "b")}));
  EXPECT_EQ(Scan("a\fb", Full), (std::vector<std::string>{K(clWord, "a"), K(clInvalid, "\f")}));
}

}  // namespace
}  // namespace nxs
