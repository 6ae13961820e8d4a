#include "shared/format.h"

#include <gtest/gtest.h>

#include "shared/exceptions.h"

using nxs::Format;

TEST(Format, Conversions) {
  EXPECT_EQ(Format("%s (%s)", "msg", "file.vproj"), "msg (file.vproj)");
  EXPECT_EQ(Format("%d items", -42), "-42 items");
  EXPECT_EQ(Format("%u", 7u), "7");
  EXPECT_EQ(Format("%x", 255), "FF");
  EXPECT_EQ(Format("%x", -1), "FFFFFFFF");
  EXPECT_EQ(Format("100%%"), "100%");
}
