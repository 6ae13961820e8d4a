#include "modules/linemap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nxs;

namespace {

// The original line of each edited line, from line 1.
std::vector<int32_t> Lines(const TLineMap& Map, int32_t Count) {
  std::vector<int32_t> Out;
  for (int32_t L = 1; L <= Count; ++L) Out.push_back(Map.OriginalLine(L));
  return Out;
}

std::string Numbered(int From, int To) {
  std::string S;
  for (int I = From; I <= To; ++I) S += "line " + std::to_string(I) + "\n";
  return S;
}

}  // namespace

TEST(LineMap, LinesTypedChangedOrDeletedMoveTheRestToTheirPlaceOnDisk) {
  // Three lines typed above the first.
  TLineMap Inserted("a\nb\nc\n" + Numbered(1, 4), Numbered(1, 4));
  EXPECT_EQ(Lines(Inserted, 7), (std::vector<int32_t>{0, 0, 0, 1, 2, 3, 4}));
  EXPECT_EQ(Inserted.NearestOriginalLine(2), 1);
  // Two lines deleted in the middle, one changed near the end.
  TLineMap Edited(Numbered(1, 2) + Numbered(5, 7) + "changed\n" + Numbered(9, 9), Numbered(1, 9));
  EXPECT_EQ(Lines(Edited, 7), (std::vector<int32_t>{1, 2, 5, 6, 7, 0, 9}));
  EXPECT_EQ(Edited.NearestOriginalLine(6), 8);
  // Two lines typed in place of one: both stand on it.
  TLineMap Split(Numbered(1, 2) + "x\ny\n" + Numbered(4, 5), Numbered(1, 5));
  EXPECT_EQ(Split.NearestOriginalLine(3), 3);
  EXPECT_EQ(Split.NearestOriginalLine(4), 3);
  EXPECT_EQ(Split.NearestOriginalLine(5), 4);
  // Edits far apart in a long text: the lines between them are found, not given up.
  const std::string Long = Numbered(1, 5000);
  std::string Changed = Long;
  Changed.replace(Changed.find("line 10\n"), 8, "x\ny\n");
  Changed.replace(Changed.find("line 4990\n"), 10, "");
  TLineMap Far(Changed, Long);
  EXPECT_EQ(Far.OriginalLine(9), 9);
  EXPECT_EQ(Far.OriginalLine(10), 0);
  EXPECT_EQ(Far.OriginalLine(11), 0);
  EXPECT_EQ(Far.OriginalLine(12), 11);
  EXPECT_EQ(Far.OriginalLine(2500), 2499);
  EXPECT_EQ(Far.OriginalLine(4990), 4989);
  EXPECT_EQ(Far.OriginalLine(4991), 4991);
  // Outside the edited text: nothing.
  EXPECT_EQ(Far.OriginalLine(0), 0);
  EXPECT_EQ(Far.OriginalLine(1000000), 0);
}

TEST(LineMap, EveryLineBreakFormSplitsAsTheEditorSplits) {
  TLineMap Map("new\r\none\rtwo\nthree\r\n", "one\ntwo\r\nthree");
  EXPECT_EQ(Lines(Map, 5), (std::vector<int32_t>{0, 1, 2, 3, 0}));  // the disk has no empty last line
  TLineMap Same("", "");
  EXPECT_EQ(Same.OriginalLine(1), 1);
  TLineMap FromNothing("a\nb", "");
  EXPECT_EQ(Lines(FromNothing, 2), (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(FromNothing.NearestOriginalLine(2), 1);
}

TEST(LineMap, TooManyDifferencesKeepTheCommonEndsAndGiveUpBetween) {
  std::string Edited = "head\n", Original = "head\n";
  for (int I = 0; I < 3000; ++I) {
    Edited += "e" + std::to_string(I) + "\n";
    Original += "o" + std::to_string(I) + "\nsame\n";
  }
  Edited += "tail";
  Original += "tail";
  TLineMap Map(Edited, Original);
  EXPECT_EQ(Map.OriginalLine(1), 1);
  EXPECT_EQ(Map.OriginalLine(3002), 6002);
  EXPECT_EQ(Map.OriginalLine(2), 0);
  EXPECT_EQ(Map.NearestOriginalLine(1500), 1500);
  EXPECT_EQ(Map.NearestOriginalLine(3001), 3001);
}
