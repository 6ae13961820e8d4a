#include "projectfiles/configtarget.h"

#include <gtest/gtest.h>

#include "cfgsupport.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/linuxplatform.h"
#include "projectfiles/platforms.h"

namespace nxs::test {
namespace {

class ConfigTarget : public ::testing::Test {
 protected:
  void SetUp() override {
    StartLayer();
    AddStandardConfigurations(P.Configs);
  }
  TTestProject P{"/p/app.vproj", ""};
};

TEST_F(ConfigTarget, ANewProjectHasBaseDebugAndReleaseOnTheHostPlatform) {
  EXPECT_EQ(P.Configs.GetNames(), (std::vector<std::string>{"Base", "Debug", "Release"}));
  EXPECT_EQ(P.Configs.GetActiveConfiguration().Name(), "Debug");
  EXPECT_EQ(P.Configs.GetActivePlatform(), SPlatformLinux64);
  EXPECT_TRUE(P.Configs.GetPlatformEnabled(SPlatformLinux64));
}

TEST_F(ConfigTarget, WritesMakeTheLevelTheyNameAndReadsTakeTheMostSpecificThatExists) {
  const std::string File = "/p/src/u.pas";
  SetConfigValue(P.Configs, {"Release", "", ""}, "Defines", "REL", false);
  SetConfigValue(P.Configs, {"Release", "linux64", ""}, "Defines", "REL64", false);
  SetConfigValue(P.Configs, {"Release", "", File}, "Defines", "FILE", false);
  TBuildConfiguration& Release = P.Configs.Configuration("Release");
  ASSERT_NE(Release.GetPlatformConfiguration(SPlatformLinux64), nullptr);

  // The platform's sub-configuration, found in any letter case.
  EXPECT_EQ(GetConfigValue(P.Configs, {"Release", "LINUX64", ""}, "Defines"), "REL64");
  // The file's override on the configuration, even asked through the platform.
  EXPECT_EQ(GetConfigValue(P.Configs, {"Release", "", File}, "Defines"), "FILE");
  EXPECT_EQ(GetConfigValue(P.Configs, {"Release", "Linux64", File}, "Defines"), "FILE");
  // An override on the sub-configuration comes first.
  SetConfigValue(P.Configs, {"Release", "Linux64", File}, "Defines", "FILE64", false);
  EXPECT_EQ(GetConfigValue(P.Configs, {"Release", "Linux64", File}, "Defines"), "FILE64");
  // Another file reads the configuration; the active configuration is Debug.
  EXPECT_EQ(GetConfigValue(P.Configs, {"Release", "", "/p/other.pas"}, "Defines"), "REL64");
  EXPECT_EQ(&FindConfigLevel(P.Configs, {"", "", ""}), &P.Configs.Configuration("Debug"));
  EXPECT_EQ(&FindConfigLevel(P.Configs, {"Release", "Linux64", ""}),
            Release.GetPlatformConfiguration(SPlatformLinux64));
  EXPECT_EQ(&FindConfigLevel(P.Configs, {"Debug", "Linux64", ""}), &P.Configs.Configuration("Debug"));
}

TEST_F(ConfigTarget, BadNamesValuesAndPlatformsChangeNothing) {
  EXPECT_ANY_THROW(SetConfigValue(P.Configs, {}, "not a name", "x", false));
  EXPECT_ANY_THROW(SetConfigValue(P.Configs, {"Debug", "NoSuchPlatform", ""}, "Defines", "x", false));
  EXPECT_EQ(P.Configs.Configuration("Debug").Platforms().size(), 0u);
  // Activation checks both names before it changes either.
  EXPECT_ANY_THROW(ActivateConfiguration(P.Configs, "Release", "NoSuchPlatform"));
  EXPECT_ANY_THROW(ActivateConfiguration(P.Configs, "Nope"));
  EXPECT_EQ(P.Configs.GetActiveConfiguration().Name(), "Debug");
  ActivateConfiguration(P.Configs, "Release", "linux64");
  EXPECT_EQ(P.Configs.GetActiveConfiguration().Name(), "Release");
  EXPECT_EQ(P.Configs.GetActivePlatform(), SPlatformLinux64);
}

}  // namespace
}  // namespace nxs::test
