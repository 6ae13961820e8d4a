#include "modules/sourcemodule.h"

#include <gtest/gtest.h>

#include "modules/filehist.h"
#include "modules/moduletest.h"

using namespace nxs;
using namespace nxs::test;
namespace fs = std::filesystem;

namespace {

using SourceModule = ModuleTest;

}  // namespace

TEST_F(SourceModule, ThreeSavesOfAnEditedModuleLeaveThreeNumberedBackups) {
  WriteText(Dir / "u.pas", "v0\n");
  TSourceModule* M = Open("u.pas");
  ASSERT_NE(M, nullptr);
  for (int I = 1; I <= 3; ++I) {
    TypeInto(*M, "x");
    ASSERT_TRUE(M->GetModified());
    ASSERT_TRUE(M->Save(false, true));
    EXPECT_FALSE(M->GetModified());
  }
  EXPECT_EQ(ReadText(Dir / "u.pas"), "xxxv0\n");
  EXPECT_EQ(ReadText(Dir / "__history/u.pas.~1~"), "v0\n");
  EXPECT_EQ(ReadText(Dir / "__history/u.pas.~2~"), "xv0\n");
  EXPECT_EQ(ReadText(Dir / "__history/u.pas.~3~"), "xxv0\n");
  EXPECT_FALSE(fs::exists(Dir / "__history/u.pas.~4~"));
}
