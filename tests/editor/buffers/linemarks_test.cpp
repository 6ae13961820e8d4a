// Custom line marks per line.
#include "editor/buffers/linemarks.h"

#include <gtest/gtest.h>

namespace nxs {
namespace {

TEST(EditorLineMarks, KeepsMarksPerLineAndDropsEmptyLines) {
  TEditorLineMarks Marks;
  auto A = std::make_shared<TCustomEditorLineMark>();
  auto B = std::make_shared<TExtendedCustomEditorLineMark>();
  Marks.AddLineMark(10, A);
  Marks.AddLineMark(3, B);
  Marks.AddLineMark(10, B);
  Marks.AddLineMark(10, A);  // already there
  EXPECT_EQ(Marks.GetMarkCount(10), 2);
  EXPECT_EQ(Marks.GetMarkCount(3), 1);
  EXPECT_EQ(Marks.GetMarkCount(4), 0);
  EXPECT_EQ(Marks.GetMark(10, 1), B);
  EXPECT_EQ(Marks.GetMark(10, 2), nullptr);
  EXPECT_EQ(Marks.Lines(), (std::vector<int>{3, 10}));

  Marks.RemoveLineMark(3, B.get());
  EXPECT_FALSE(Marks.Exists(3));
  EXPECT_EQ(Marks.GetMarkCount(10), 2);
  Marks.DeleteItem(Marks.Find(10));
  EXPECT_EQ(Marks.GetMarkCount(10), 0);
  EXPECT_TRUE(Marks.Lines().empty());
}

}  // namespace
}  // namespace nxs
