// The desktop value parser: what a stored value reads back as, and how a damaged one fails.
#include "shared/deskparse.h"

#include <gtest/gtest.h>

#include <string>

namespace nxs {
namespace {

TEST(DesktopParser, ReadsStringsWithDoubledQuotesAndNumbersBetweenBlanksAndCommas) {
  TDesktopParser P("'it''s, here',12 ,  'b' , ,'',-3,$1F");
  EXPECT_EQ(P.GetString(), "it's, here");
  EXPECT_EQ(P.GetInteger(), 12);
  EXPECT_EQ(P.GetString(), "b");
  EXPECT_EQ(P.GetString(), "");
  EXPECT_EQ(P.GetInteger(), -3);
  EXPECT_EQ(P.GetInteger(), 31);
  EXPECT_TRUE(P.AtEnd());
  EXPECT_EQ(P.GetInteger(), 0);  // past the end reads as 0

  TDesktopParser Two("'a' ,'b'");
  EXPECT_EQ(Two.GetString(), "a");
  EXPECT_EQ(Two.GetString(), "b");
  Two.Reset();
  EXPECT_EQ(Two.Position(), 1);
  EXPECT_EQ(Two.GetString(), "a");
  EXPECT_EQ(Two.Position(), 4);
}

TEST(DesktopParser, AnythingButANumberReadsAsZeroAndLeavesTheNextValue) {
  TDesktopParser P("x1,,99999999999,'s',7");
  EXPECT_EQ(P.GetInteger(), 0);
  EXPECT_EQ(P.GetInteger(), 99999999999);  // the empty field between the commas is skipped
  EXPECT_EQ(P.GetString(), "s");
  EXPECT_EQ(P.GetInteger(), 7);
  TDesktopParser Q("'s',7");
  EXPECT_EQ(Q.GetInteger(), 0);  // a string where a number is expected is not a number
  EXPECT_EQ(Q.GetInteger(), 7);
}

TEST(DesktopParser, AStringThatIsNotQuotedOrNotClosedIsAnError) {
  TDesktopParser P("12,'a'");
  try {
    P.GetString();
    FAIL();
  } catch (const EDesktopParserError& E) {
    EXPECT_STREQ(E.what(), "Desktop value \"12,'a'\": a quoted string is expected at position 1");
  }
  TDesktopParser Empty("");
  EXPECT_THROW(Empty.GetString(), EDesktopParserError);
  for (const char* Cut : {"'abc", "'abc''", "'"}) {
    TDesktopParser C(Cut);
    EXPECT_THROW(C.GetString(), EDesktopParserError) << Cut;
  }
  TDesktopParser Late("1, 'ok', 'cut");
  EXPECT_EQ(Late.GetInteger(), 1);
  EXPECT_EQ(Late.GetString(), "ok");
  try {
    Late.GetString();
    FAIL();
  } catch (const EDesktopParserError& E) {
    EXPECT_STREQ(E.what(), "Desktop value \"1, 'ok', 'cut\": the string that starts at position 10 has no closing quote");
  }
}

TEST(DesktopParser, QuotedTextReadsBackAsItWas) {
  const std::string Texts[] = {"", "'", "''", "a,b c", "it's", "tab\there", "x'", std::string("nul\0in", 6)};
  for (const std::string& S : Texts) {
    TDesktopParser P(DesktopQuoted(S) + "," + DesktopQuoted(S));
    EXPECT_EQ(P.GetString(), S);
    EXPECT_EQ(P.GetString(), S);
    EXPECT_TRUE(P.AtEnd());
  }
  EXPECT_EQ(DesktopQuoted("it's"), "'it''s'");
}

}  // namespace
}  // namespace nxs
