// Tab stops and screen columns.
#include "editor/kernel/ekcolumns.h"

#include <gtest/gtest.h>

namespace nxs::ek {
namespace {

TTabRack Rack(std::initializer_list<uint16_t> Stops, uint16_t Width = 0) {
  TTabRack R{};
  R.TabWidth = Width;
  for (uint16_t S : Stops) R.Stops[R.Length++] = S;
  return R;
}

TEST(TabRack, StopsThenRepeatsTheLastDistance) {
  TTabRack R = Rack({5, 9});
  EXPECT_EQ(NextTabStop(R, 1), 5);
  EXPECT_EQ(NextTabStop(R, 5), 9);
  EXPECT_EQ(NextTabStop(R, 9), 13);
  EXPECT_EQ(NextTabStop(R, 14), 17);
  EXPECT_EQ(PrevTabStop(R, 13), 9);
  EXPECT_EQ(NextTabStop(Rack({}, 4), 2), 5);
  EXPECT_EQ(NextTabStop(Rack({}), 1), 9);
  EXPECT_TRUE(ValidTabRack(Rack({3, 7})));
  EXPECT_FALSE(ValidTabRack(Rack({7, 3})));
  EXPECT_FALSE(ValidTabRack(Rack({0})));
}

// The stop before a column is the last of the stops NextTabStop walks through, also two billion
// columns out, where walking them would take seconds.
TEST(TabRack, PreviousStopAgreesWithWalkingTheStops) {
  for (const TTabRack& R : {Rack({5, 9}), Rack({}, 4), Rack({}), Rack({}, 1), Rack({3}, 5), Rack({2, 3, 10})}) {
    int64_t Walked = 1;
    int64_t Stop = NextTabStop(R, 0);
    for (int64_t Col = 1; Col <= 300; ++Col) {
      while (Stop < Col) {
        Walked = Stop;
        Stop = NextTabStop(R, Stop);
      }
      ASSERT_EQ(PrevTabStop(R, Col), Walked) << "column " << Col;
    }
  }
  EXPECT_EQ(PrevTabStop(Rack({}, 4), 2'000'000'001), 1'999'999'997);
}

TEST(Columns, TabsWideCharactersAndPositionsPastTheEnd) {
  TTabRack R = Rack({}, 4);
  std::string Line = "a\tb\xE6\x97\xA5" "c";  // a, tab to 5, b, wide, c
  EXPECT_EQ(ColumnOfByte(Line, 1, R), 2);
  EXPECT_EQ(ColumnOfByte(Line, 2, R), 5);
  EXPECT_EQ(ColumnOfByte(Line, 3, R), 6);
  EXPECT_EQ(ColumnOfByte(Line, 6, R), 8);
  EXPECT_EQ(ColumnOfByte(Line, Line.size() + 2, R), 11);
  int64_t Beyond = 0;
  EXPECT_EQ(ByteOfColumn(Line, 3, R, Beyond), 1u);  // inside the tab: its start
  EXPECT_EQ(ByteOfColumn(Line, 7, R, Beyond), 3u);  // the second half of the wide character
  EXPECT_EQ(ByteOfColumn(Line, 12, R, Beyond), Line.size());
  EXPECT_EQ(Beyond, 3);
}

TEST(KernelColumns, EastAsianWidthTable) {
  struct TCase {
    uint32_t Ch;
    int Width;
  };
  for (TCase C : {
           TCase{'A', 1},       TCase{0xE9, 1},      TCase{0x1100, 2},   // hangul leading consonant
           TCase{0x115F, 2},    TCase{0x1160, 1},    TCase{0x65E5, 2},   // a CJK ideograph
           TCase{0xAC00, 2},    TCase{0xD7A3, 2},    TCase{0xD7A4, 1},   // hangul syllables end
           TCase{0xFF21, 2},    TCase{0xFF61, 1},    TCase{0x3000, 2},   // full-width, half-width
           TCase{0x1F600, 2},   TCase{0x2FFC, 2},    TCase{0x31EF, 2},   // emoji, newest ideographic
           TCase{0x301, 1},     TCase{0x3099, 1},    TCase{0x302A, 1},   // marks, wide ones included
           TCase{0x378, 1},     TCase{0x590, 1},     TCase{0x1FBFA, 1},  // unassigned
           TCase{0xE0000, 1},   TCase{0x50000, 1},   TCase{0x10FFFF, 1},
           TCase{0x20000, 2},   TCase{0x2FFFD, 2},   TCase{0x3FFFD, 2},  // ideograph planes
           TCase{0x9FFF, 2},    TCase{0xFA6E, 2},                        // reserved in CJK blocks
       })
    EXPECT_EQ(EkEastAsianWidth(C.Ch), C.Width) << std::hex << C.Ch;
}

}  // namespace
}  // namespace nxs::ek
