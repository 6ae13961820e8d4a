// Display widths: fixed ranges, the East Asian table, the cache and its clearing.
#include "editor/buffers/charwidth.h"

#include <gtest/gtest.h>

#include <atomic>

#include "editor/kernel/ek.h"

namespace nxs {
namespace {

std::atomic<int> MeasureCalls{0};
int CountingMeasure(uint32_t Ch) {
  ++MeasureCalls;
  return Ch == 0x00E9 ? 2 : 1;  // pretend the font draws "é" double wide
}

class CharWidthTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCharWidthMeasure(nullptr); }
};

TEST_F(CharWidthTest, AsciiAndTheCommonIdeographsAreFixed) {
  SetCharWidthMeasure(&CountingMeasure);
  MeasureCalls = 0;
  EXPECT_EQ(GetUCS4CharWidth('A'), 1);
  EXPECT_EQ(GetUCS4CharWidth(0x4E00), 2);
  EXPECT_EQ(GetUCS4CharWidth(0x9FA5), 2);
  EXPECT_EQ(MeasureCalls, 0);
}

TEST_F(CharWidthTest, EastAsianWideAndFullwidthTakeTwoColumns) {
  EXPECT_EQ(GetUCS4CharWidth(0x3042), 2);   // hiragana
  EXPECT_EQ(GetUCS4CharWidth(0xAC00), 2);   // hangul syllable
  EXPECT_EQ(GetUCS4CharWidth(0xFF21), 2);   // fullwidth A
  EXPECT_EQ(GetUCS4CharWidth(0x1F600), 2);  // emoji beyond the BMP
  EXPECT_EQ(GetUCS4CharWidth(0x20000), 2);
  EXPECT_EQ(GetUCS4CharWidth(0x00E9), 1);
  EXPECT_EQ(GetUCS4CharWidth(0x0301), 1);   // a combining mark still gets its column
  EXPECT_EQ(GetUCS4CharWidth(0xFF61), 1);   // halfwidth katakana
  EXPECT_EQ(GetUCS4CharWidth(0x0378), 1);   // unassigned: one column, as in the kernel
  EXPECT_EQ(GetUCS4CharWidth(0x3099), 1);   // a wide combining mark draws on its base
  for (uint32_t Ch = 0x80; Ch < 0x30000; Ch += 7) {
    if (Ch >= 0x4E00 && Ch <= 0x9FA5) continue;  // fixed at two without asking
    ASSERT_EQ(GetUCS4CharWidth(Ch), EkEastAsianWidth(Ch)) << std::hex << Ch;
  }
}

TEST_F(CharWidthTest, BmpWidthsAreMeasuredOnceUntilTheCacheIsCleared) {
  SetCharWidthMeasure(&CountingMeasure);
  MeasureCalls = 0;
  EXPECT_EQ(GetUCS4CharWidth(0x00E9), 2);
  EXPECT_EQ(GetUCS4CharWidth(0x00E9), 2);
  EXPECT_EQ(GetUCS4CharWidth(0x00EA), 1);
  EXPECT_EQ(GetUCS4CharWidth(0x00EA), 1);
  EXPECT_EQ(MeasureCalls, 2);
  ClearCharWidthsCache();
  EXPECT_EQ(GetUCS4CharWidth(0x00E9), 2);
  EXPECT_EQ(MeasureCalls, 3);
  // Beyond the BMP nothing is cached.
  GetUCS4CharWidth(0x10400);
  GetUCS4CharWidth(0x10400);
  EXPECT_EQ(MeasureCalls, 5);
}

TEST_F(CharWidthTest, DisplayWidthCountsCodePointsNotBytes) {
  EXPECT_EQ(CalcDisplayWidth(""), 0);
  EXPECT_EQ(CalcDisplayWidth("abc"), 3);
  EXPECT_EQ(CalcDisplayWidth("a\xE6\x97\xA5z"), 4);       // a 日 z
  EXPECT_EQ(CalcDisplayWidth("e\xCC\x81"), 2);            // e + combining acute
  EXPECT_EQ(CalcDisplayWidth("\xF0\x9F\x98\x80"), 2);     // one emoji, not two halves
  EXPECT_EQ(CalcDisplayWidth("\xFF\xC3"), 2);             // broken bytes count one each
}

}  // namespace
}  // namespace nxs
