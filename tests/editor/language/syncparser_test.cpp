// The sync edit lexer and the template parser: token kinds and where they start, Pascal and C
// strings, and the points a code template names.
#include "editor/language/syncparser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nxs {
namespace {

// "KIND:TEXT@LINE:COL" per token, COL the character column from 0.
std::vector<std::string> Lex(const std::string& Text, bool CStyle = false) {
  TSyncEditParser P(Text, CStyle);
  std::vector<std::string> R;
  while (P.NextToken() != toEOF) {
    const char K = P.Token();
    const std::string Kind = K == toSymbol ? "id" : K == toString ? "str" : K == toInteger ? "int" : K == toFloat ? "float" : "ch";
    R.push_back(Kind + ":" + P.TokenString() + "@" + std::to_string(P.SourceLine()) + ":" + std::to_string(P.DisplayPos()));
  }
  return R;
}

TEST(SyncEditParser, TokensCarryTheirKindLineAndCharacterColumn) {
  EXPECT_EQ(Lex("x := _a1 + $1F;\r\n  \xC3\xA9t\xC3\xA9 := 1.5e-3 * 10\n"),
            (std::vector<std::string>{"id:x@1:0", "ch::@1:2", "ch:=@1:3", "id:_a1@1:5", "ch:+@1:9", "int:$1F@1:11", "ch:;@1:14",
                                      "id:\xC3\xA9t\xC3\xA9@2:2", "ch::@2:6", "ch:=@2:7", "float:1.5e-3@2:9", "ch:*@2:16",
                                      "int:10@2:18"}));
  // A number takes its suffix and radix letters: no identifier starts inside one.
  EXPECT_EQ(Lex("0x1Fu 10UL 2.5f", true), (std::vector<std::string>{"int:0x1Fu@1:0", "int:10UL@1:6", "float:2.5f@1:11"}));
  // A line break of a lone carriage return counts as one.
  EXPECT_EQ(Lex("a\rb\r\nc"), (std::vector<std::string>{"id:a@1:0", "id:b@2:0", "id:c@3:0"}));
}

TEST(SyncEditParser, StringsFollowTheLanguage) {
  // Pascal joins quoted parts and character codes; a doubled quote stays inside.
  EXPECT_EQ(Lex("s := 'it''s'#13#$0A'x' + y"),
            (std::vector<std::string>{"id:s@1:0", "ch::@1:2", "ch:=@1:3", "str:'it''s'#13#$0A'x'@1:5", "ch:+@1:23", "id:y@1:25"}));
  // C: a backslash escapes the quote, and "#" is no string.
  EXPECT_EQ(Lex("f(\"a\\\"b\", 'c') #x", true),
            (std::vector<std::string>{"id:f@1:0", "ch:(@1:1", "str:\"a\\\"b\"@1:2", "ch:,@1:8", "str:'c'@1:10", "ch:)@1:13",
                                      "ch:#@1:15", "id:x@1:16"}));
  // Unterminated: the string ends with its line, the next line is read as code.
  TSyncEditParser P("a 'open\nb", false);
  std::vector<std::string> Errors;
  P.FOnError = [&](const std::string& M, int32_t L, int32_t C) { Errors.push_back(M + "@" + std::to_string(L) + ":" + std::to_string(C)); };
  std::vector<std::string> Tokens;
  while (P.NextToken() != toEOF) Tokens.push_back(P.TokenString());
  EXPECT_EQ(Tokens, (std::vector<std::string>{"a", "'open", "b"}));
  EXPECT_EQ(Errors, (std::vector<std::string>{"Unterminated string at 'open@1:2"}));
}

TEST(SyncEditTemplateParser, NamesBetweenDelimiters) {
  TSyncEditTemplateParser P("a $i$ $$ $b\n$n$ $end", '$');
  std::vector<std::string> Names;
  std::vector<size_t> Bounds;
  while (P.NextToken() == toSymbol) {
    Names.push_back(P.TokenString());
    Bounds.push_back(P.GetTokenStart());
    Bounds.push_back(P.GetTokenEnd());
  }
  // "$$" is text, "$b" has no closing delimiter on its line, neither has "$end".
  EXPECT_EQ(Names, (std::vector<std::string>{"i", "n"}));
  EXPECT_EQ(Bounds, (std::vector<size_t>{2, 5, 12, 15}));

  TSyncEditTemplateParser Other("<x> <<y>", '<');
  Other.SetDelimiter('|');
  EXPECT_EQ(Other.NextToken(), toEOF);
}

TEST(SyncEditTemplateParser, ExpandingGivesTheTextAndThePlacesOfEachPoint) {
  const TExpandedTemplate T = ExpandTemplate("for $i$ := 0 to $n$ do\r\n  s := s + a[$i$]; { $$ }\r\n$n$");
  EXPECT_EQ(T.Text, "for i := 0 to n do\r\n  s := s + a[i]; { $ }\r\nn");
  ASSERT_EQ(T.Points.size(), 2u);
  EXPECT_EQ(T.Points[0].Name, "i");
  ASSERT_EQ(T.Points[0].Places.size(), 2u);
  EXPECT_EQ(T.Points[0].Places[0].Line, 0);
  EXPECT_EQ(T.Points[0].Places[0].Index, 4);
  EXPECT_EQ(T.Points[0].Places[1].Line, 1);
  EXPECT_EQ(T.Points[0].Places[1].Index, 13);
  EXPECT_EQ(T.Points[1].Name, "n");
  EXPECT_EQ(T.Points[1].Places[1].Line, 2);
  EXPECT_EQ(T.Points[1].Places[1].Index, 0);
}

}  // namespace
}  // namespace nxs
