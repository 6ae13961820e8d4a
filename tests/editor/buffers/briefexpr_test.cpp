// BRIEF pattern conversion.
#include "editor/buffers/briefexpr.h"

#include <gtest/gtest.h>

namespace nxs {
namespace {

TEST(BriefToEk, ConvertsEachOperator) {
  EXPECT_EQ(BriefToEk(""), "");
  EXPECT_EQ(BriefToEk("%begin"), "^begin");
  EXPECT_EQ(BriefToEk("<begin>"), "^begin$");
  EXPECT_EQ(BriefToEk("end$"), "end$");
  EXPECT_EQ(BriefToEk("a*b"), "a.*b");
  EXPECT_EQ(BriefToEk("a?b"), "a.b");
  EXPECT_EQ(BriefToEk("a@"), "a*");
  EXPECT_EQ(BriefToEk("f(x).y"), "f\\(x\\)\\.y");
  EXPECT_EQ(BriefToEk("[~a-z]~"), "[^a-z]~");
  EXPECT_EQ(BriefToEk("\\<\\>\\d"), "\\x3C\\x3E\\x64");
}

TEST(BriefToEk, OtherEscapesAndMultiByteCharactersPassThroughWhole) {
  EXPECT_EQ(BriefToEk("\\*"), "\\*");
  EXPECT_EQ(BriefToEk("\\"), "\\");
  EXPECT_EQ(BriefToEk("\xE6\x97\xA5*"), "\xE6\x97\xA5.*");
}

TEST(BriefToEk, LongPatternsAreCutAt255BytesWithoutSplittingAPiece) {
  EXPECT_EQ(BriefToEk(std::string(300, 'a')), std::string(255, 'a'));
  // 254 bytes, then "*" would need two more: it is left out rather than cut to ".".
  EXPECT_EQ(BriefToEk(std::string(254, 'a') + "*"), std::string(254, 'a'));
  EXPECT_EQ(BriefToEk(std::string(253, 'a') + "\xE6\x97\xA5"), std::string(253, 'a'));
}

}  // namespace
}  // namespace nxs
