#include "shared/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "shared/exceptions.h"

using nxs::Format;

TEST(Format, ConversionsAndLiterals) {
  EXPECT_EQ(Format("%s (%s)", "msg", std::string("file.vproj")), "msg (file.vproj)");
  EXPECT_EQ(Format("%d items", -42), "-42 items");
  EXPECT_EQ(Format("%u", 7u), "7");
  EXPECT_EQ(Format("%x", 255), "FF");
  EXPECT_EQ(Format("%x", -1), "FFFFFFFF");
  EXPECT_EQ(Format("100%%"), "100%");
  EXPECT_EQ(Format("no placeholders"), "no placeholders");
  EXPECT_EQ(Format("%s", ""), "");
  EXPECT_EQ(Format("%d", INT64_MIN), "-9223372036854775808");
}

TEST(Format, WidthPrecisionAndAlignment) {
  EXPECT_EQ(Format("%.2d", 5), "05");
  EXPECT_EQ(Format("%.2d", 123), "123");
  EXPECT_EQ(Format("%.3d", -7), "-007");
  EXPECT_EQ(Format("%8.2x", 10), "      0A");
  EXPECT_EQ(Format("%-5s|", "ab"), "ab   |");
  EXPECT_EQ(Format("%5s|", "ab"), "   ab|");
  EXPECT_EQ(Format("%.3s", "abcdef"), "abc");
  EXPECT_EQ(Format("%*d", 4, 7), "   7");
  EXPECT_EQ(Format("%.2f", 3.14159), "3.14");
  EXPECT_EQ(Format("%n", 1234567.0), "1,234,567.00");
}

TEST(Format, IndexSpecifiersContinueFromTheIndex) {
  EXPECT_EQ(Format("%1:s %0:s", "a", "b"), "b a");
  EXPECT_EQ(Format("%1:s %s", "a", "b", "c"), "b c");
  EXPECT_EQ(Format("<%s><%s></%s></%s>", "TarvosProject", "P", "P", "TarvosProject"),
            "<TarvosProject><P></P></TarvosProject>");
  EXPECT_EQ(Format("%0:s-%0:s", "x"), "x-x");
}

TEST(Format, WrongArgumentsRaiseAClearError) {
  try {
    (void)Format("%d", "text");
    FAIL();
  } catch (const nxs::EConvertError& E) {
    EXPECT_STREQ(E.what(), "Format '%d' invalid or incompatible with argument");
  }
  EXPECT_THROW((void)Format("%s", 5), nxs::EConvertError);
  EXPECT_THROW((void)Format("%s %s", "one"), nxs::EConvertError);
  EXPECT_THROW((void)Format("%q", 1), nxs::EConvertError);
  EXPECT_THROW((void)Format("trailing %"), nxs::EConvertError);
  EXPECT_THROW((void)Format("%f", 1), nxs::EConvertError);
  EXPECT_THROW((void)Format("%5:s", "a"), nxs::EConvertError);
  EXPECT_THROW((void)Format("%999999999d", 1), nxs::EConvertError);
}

// Cases at the edges of each conversion, where a small slip (a dropped group separator, a
// sign extended into 64 bits, a zero precision read as "no precision") shows.
TEST(Format, EdgesOfNumbersAndPrecision) {
  EXPECT_EQ(Format("%n", 123456.0), "123,456.00");
  EXPECT_EQ(Format("%n", 999.999), "1,000.00");
  EXPECT_EQ(Format("%n", -1234567.5), "-1,234,567.50");
  EXPECT_EQ(Format("%x", INT32_MIN), "80000000");
  EXPECT_EQ(Format("%x", int32_t{INT32_MAX}), "7FFFFFFF");
  EXPECT_EQ(Format("%.0s", "abc"), "");
  EXPECT_EQ(Format("%.0s|%s", "abc", "d"), "|d");
}
