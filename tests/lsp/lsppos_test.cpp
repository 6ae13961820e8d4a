#include "lsp/lsppos.h"

#include <gtest/gtest.h>

using namespace nxs::lsp;

namespace {

// "a\t😀é\tb": a tab, a character beyond the basic plane (4 bytes, 2 UTF-16 units), one of
// two bytes, a tab and a letter.
const std::string Line = "a\t\xF0\x9F\x98\x80\xC3\xA9\tb";

}  // namespace

TEST(LspPositions, EachEncodingCountsTheCharactersOfALineItsOwnWay) {
  // Character index: a=0 tab=1 emoji=2 é=3 tab=4 b=5 end=6.
  const int64_t Utf16[] = {0, 1, 2, 4, 5, 6, 7};
  const int64_t Utf8[] = {0, 1, 2, 6, 8, 9, 10};
  for (int32_t I = 0; I <= 6; ++I) {
    EXPECT_EQ(IndexToUnits(Line, I, TPosEncoding::Utf16), Utf16[I]) << I;
    EXPECT_EQ(IndexToUnits(Line, I, TPosEncoding::Utf8), Utf8[I]) << I;
    EXPECT_EQ(IndexToUnits(Line, I, TPosEncoding::Utf32), I) << I;
    EXPECT_EQ(UnitsToIndex(Line, Utf16[I], TPosEncoding::Utf16), I) << I;
    EXPECT_EQ(UnitsToIndex(Line, Utf8[I], TPosEncoding::Utf8), I) << I;
    EXPECT_EQ(UnitsToIndex(Line, I, TPosEncoding::Utf32), I) << I;
    // Bytes and units agree at every boundary.
    EXPECT_EQ(BytesToUnits(Line, static_cast<size_t>(Utf8[I]), TPosEncoding::Utf16), Utf16[I]) << I;
    EXPECT_EQ(UnitsToBytes(Line, Utf16[I], TPosEncoding::Utf16), static_cast<size_t>(Utf8[I])) << I;
  }
}

TEST(LspPositions, APositionInsideACharacterReadsAsItsStartAndOnePastTheEndAsTheEnd) {
  // Between the halves of the surrogate pair, and inside the UTF-8 sequences.
  EXPECT_EQ(UnitsToIndex(Line, 3, TPosEncoding::Utf16), 2);
  EXPECT_EQ(UnitsToBytes(Line, 3, TPosEncoding::Utf16), 2u);
  for (int64_t B = 3; B <= 5; ++B) EXPECT_EQ(UnitsToIndex(Line, B, TPosEncoding::Utf8), 2) << B;
  EXPECT_EQ(UnitsToIndex(Line, 7, TPosEncoding::Utf8), 3);
  EXPECT_EQ(BytesToUnits(Line, 4, TPosEncoding::Utf16), 2);

  EXPECT_EQ(UnitsToIndex(Line, 1000, TPosEncoding::Utf16), 6);
  EXPECT_EQ(UnitsToBytes(Line, 1000, TPosEncoding::Utf8), Line.size());
  EXPECT_EQ(IndexToUnits(Line, 1000, TPosEncoding::Utf16), 7);
  EXPECT_EQ(BytesToUnits(Line, 1000, TPosEncoding::Utf16), 7);
  EXPECT_EQ(UnitsToIndex("", 5, TPosEncoding::Utf16), 0);
}

TEST(LspPositions, AMalformedByteIsOneCharacterAsTheKernelFramesIt) {
  // A lone continuation byte and a lead byte cut short, then "x".
  const std::string Bad = "\x80\xE2\x82x";
  EXPECT_EQ(IndexToUnits(Bad, 3, TPosEncoding::Utf16), 3);
  EXPECT_EQ(UnitsToIndex(Bad, 3, TPosEncoding::Utf16), 3);
  EXPECT_EQ(UnitsToBytes(Bad, 3, TPosEncoding::Utf16), 3u);
  EXPECT_EQ(IndexToUnits(Bad, 4, TPosEncoding::Utf8), 4);
}
