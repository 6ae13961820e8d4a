// The cell grid and the palette: what reaches a cell from text, and which terminal colour a
// display element's colour becomes.
#include "terminal/cells.h"

#include <gtest/gtest.h>

#include "editor/buffers/attributes.h"
#include "terminal/palette.h"

namespace nxs::term {
namespace {

TEST(CellGrid, WideCharactersTakeTwoCellsAndOverwritingHalfOfOneBlanksTheOther) {
  TCellGrid G(1, 6);
  EXPECT_EQ(G.Put(0, 0, "\xE6\x97\xA5x", TCellStyle{}), 3);
  EXPECT_EQ(G.RowText(0), "\xE6\x97\xA5x   ");
  G.PutChar(0, 1, U'y', 1, TCellStyle{});
  EXPECT_EQ(G.RowText(0), " yx   ");
  EXPECT_EQ(G.At(0, 0).Kind, TCellKind::Normal);
  // A wide character that the limit would cut is a blank.
  EXPECT_EQ(G.Put(0, 4, "\xE6\x97\xA5", TCellStyle{}, 1), 1);
  EXPECT_EQ(G.At(0, 4).Ch, U' ');
  // Nothing is written outside the grid, whatever the position.
  G.Put(3, 0, "zz", TCellStyle{});
  G.PutChar(0, 9, U'z', 2, TCellStyle{});
  EXPECT_EQ(G.RowText(0), " yx   ");
}

TEST(CellGrid, ControlCharactersAndMalformedBytesShowAsQuestionMarks) {
  TCellGrid G(1, 8);
  G.Put(0, 0, "a\x1b[2J\x9b\xff", TCellStyle{});
  EXPECT_EQ(G.RowText(0), "a?[2J?? ");
}

TEST(Palette, ColoursFindTheirNearestEntryInTheTerminalsPalette) {
  TPalette P256(256), P8(8), None(2);
  EXPECT_EQ(P256.Index(0x000000), 16);
  EXPECT_EQ(P256.Index(0xFFFFFF), 231);
  EXPECT_EQ(P256.Index(0x0000FF), 196);  // red: the BGR order is read right
  EXPECT_EQ(P256.Index(0x808080), 244);  // a grey takes the grey ramp
  EXPECT_EQ(P8.Index(0x0000FF), 1);
  EXPECT_EQ(P8.Index(0x800000), 4);  // navy is blue, not black
  EXPECT_EQ(P8.Index(0xFFFFFF), 7);
  EXPECT_EQ(None.Index(0xFFFFFF), -1);
}

TEST(Palette, AnElementNeverShowsItsTextInItsBackgroundColour) {
  TAttributeArray Colors;
  Colors[5].ForegroundColor = 0x101010;
  Colors[5].BackgroundColor = 0x000000;
  Colors[5].DefaultFG = Colors[5].DefaultBG = false;
  for (int N : {8, 256}) {
    const TCellStyle S = TPalette(N).ElementStyle(Colors, 5);
    EXPECT_NE(S.Fg, S.Bg) << N;
  }
  // Without colours the block still shows.
  EXPECT_EQ(TPalette(2).ElementStyle(Colors, deMarkedBlock).Attr & caReverse, caReverse);
}

}  // namespace
}  // namespace nxs::term
