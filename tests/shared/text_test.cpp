#include <gtest/gtest.h>

#include "shared/dosdate.h"
#include "shared/exceptions.h"
#include "shared/filenames.h"
#include "shared/guid.h"
#include "shared/text.h"

using namespace nxs;

TEST(FileNames, CompareExactlyAcrossSeparators) {
  EXPECT_TRUE(SameFileName("src\\Main.PAS", "src/Main.PAS"));
  // Two files on this platform.
  EXPECT_FALSE(SameFileName("src\\Main.PAS", "src/main.pas"));
  EXPECT_FALSE(SameFileName("README.md", "Readme.md"));
  EXPECT_FALSE(SameFileName("a.pas", "a.pa"));
  EXPECT_LT(CompareFileNames("B.pas", "a.pas"), 0);
  EXPECT_GT(CompareFileNames("a.pas", "B.pas"), 0);
  EXPECT_EQ(CompareFileNames("a\\b", "a/b"), 0);
}

TEST(FileNames, PartsOfANameWithEitherSeparator) {
  EXPECT_EQ(ExtractFileName("dir\\sub/name.ext"), "name.ext");
  EXPECT_EQ(ExtractFilePath("dir\\sub/name.ext"), "dir\\sub/");
  EXPECT_EQ(ExtractFileDir("/a/b/c.txt"), "/a/b");
  EXPECT_EQ(ExtractFileDir("/c.txt"), "/");
  EXPECT_EQ(ExtractFileExt("dir.d/name"), "");
  EXPECT_EQ(ExtractFileExt("name.tar.gz"), ".gz");
  EXPECT_EQ(ChangeFileExt("dir.d/name", ".bak"), "dir.d/name.bak");
  EXPECT_EQ(ChangeFileExt("a/b.pas", ".o"), "a/b.o");
  EXPECT_EQ(ChangeFileExt("a/b.pas", ""), "a/b");
}

TEST(FileNames, ExpandAndRelate) {
  EXPECT_EQ(ExpandFileName("..\\lib\\x.pas", "/work/proj"), "/work/lib/x.pas");
  EXPECT_EQ(ExpandFileName("./a/../b", "/r"), "/r/b");
  EXPECT_EQ(ExpandFileName("/abs/./x"), "/abs/x");
  EXPECT_EQ(ExtractRelativePath("/work/proj/", "/work/proj/src/a.pas"), "src/a.pas");
  EXPECT_EQ(ExtractRelativePath("/work/proj", "/work/lib/a.pas"), "../lib/a.pas");
  EXPECT_EQ(ToProjectPath("src/a.pas"), "src\\a.pas");
}

TEST(Text, NumbersAndTrimming) {
  EXPECT_EQ(TryStrToInt("42"), 42);
  EXPECT_EQ(TryStrToInt("-7"), -7);
  EXPECT_EQ(TryStrToInt("$FF"), 255);
  EXPECT_EQ(TryStrToInt("0x10"), 16);
  EXPECT_FALSE(TryStrToInt(" 1"));
  EXPECT_FALSE(TryStrToInt("1a"));
  EXPECT_FALSE(TryStrToInt(""));
  EXPECT_FALSE(TryStrToInt("99999999999999999999"));
  EXPECT_EQ(Trim("\r\n  x y \t"), "x y");
  EXPECT_TRUE(IsWholeNumber("012"));
  EXPECT_FALSE(IsWholeNumber("-1"));
  EXPECT_EQ(Split("a;;b", ';').size(), 3u);
  EXPECT_EQ(FindText("Hello World", "WORLD"), 6u);
}

TEST(Text, HexDigitsInEitherCaseAndNothingBesideThem) {
  std::string Seen;
  for (int C = 0; C < 256; ++C) {
    const int V = HexDigitValue(static_cast<char>(C));
    if (V < 0) continue;
    Seen += static_cast<char>(C);
    EXPECT_EQ(V, C <= '9' ? C - '0' : (C | 0x20) - 'a' + 10) << C;
  }
  EXPECT_EQ(Seen, "0123456789ABCDEFabcdef");
  EXPECT_EQ(MSBuildUnescape("%41%7e%7E%4g%"), "A~~%4g%");
}

TEST(Text, LinesEndAtLfOrCrLfAndTheLastNeedsNoBreak) {
  auto Lines = [](std::string_view Text) {
    std::vector<std::string> R;
    size_t Pos = 0;
    for (std::string_view Line; NextLine(Text, Pos, Line);) R.emplace_back(Line);
    return R;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines(""), V{});
  EXPECT_EQ(Lines("\n"), V{""});
  EXPECT_EQ(Lines("a\r\nb"), (V{"a", "b"}));
  EXPECT_EQ(Lines("a\n\nb\n"), (V{"a", "", "b"}));
  // Only the CR before the LF belongs to the break; a CR elsewhere is text.
  EXPECT_EQ(Lines("a\r\r\nb\rc\r"), (V{"a\r", "b\rc"}));
}

TEST(DosDate, RoundTripsAtTwoSecondResolution) {
  time_t T = 1700000000;  // 2023-11-14
  int32_t D = UnixToFileDate(T);
  ASSERT_NE(D, -1);
  EXPECT_EQ(FileDateToUnix(D), T - (T % 2));
  EXPECT_EQ(DateTimeToUnix(UnixToDateTime(T)), T);
  EXPECT_EQ(UnixToFileDate(0), -1) << "1970 is before the DOS epoch";
  EXPECT_EQ(FileDateToUnix(0), -1) << "month 0 is not a date";
  // The date is in the high word.
  EXPECT_EQ((static_cast<uint32_t>(D) >> 25) + 1980u, 2023u);
}

TEST(Guid, TextFormRoundTripsAndBadTextIsRefused) {
  TGUID G = CreateGUID();
  EXPECT_EQ(StringToGUID(GUIDToString(G)), G);
  EXPECT_EQ(GUIDToString(StringToGUID("{12345678-9abc-DEF0-1234-56789ABCDEF0}")),
            "{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
  TGUID Out;
  EXPECT_FALSE(TryStringToGUID("12345678-9abc-DEF0-1234-56789ABCDEF0", Out));
  EXPECT_FALSE(TryStringToGUID("{12345678-9abc-DEF0-1234-56789ABCDEFG}", Out));
  EXPECT_THROW(StringToGUID(""), Exception);
}
