#include <gtest/gtest.h>

#include "cfgsupport.h"
#include "projectfiles/linuxplatform.h"
#include "projectfiles/platforms.h"

namespace nxs::test {
namespace {

TEST(PlatformManager, AvailabilityFollowsRegisteredCompilers) {
  StartLayer();
  TPlatformManager& M = PlatformManager();
  EXPECT_EQ(M.AllPlatforms(), (std::vector<std::string>{"Linux64", "Win32"}));
  EXPECT_EQ(M.AvailablePlatforms("Vellum.Personality"), std::vector<std::string>{"Linux64"});
  EXPECT_EQ(M.AvailablePlatforms("Kestrel.Personality"), std::vector<std::string>{"Linux64"});
  EXPECT_EQ(M.AvailablePlatforms(""), (std::vector<std::string>{"Linux64", "Win32"}));
  EXPECT_FALSE(M.PlatformAvailable("Win32", "Vellum.Personality"));
  EXPECT_TRUE(M.PlatformExists("win32"));
  EXPECT_EQ(M.GetCompiler("Linux64", "Vellum.Personality")->GetCommand(), "fpc");
  EXPECT_EQ(M.GetCompiler("Linux64", "Kestrel.Personality")->GetCommand(), "g++");
  EXPECT_EQ(M.GetCompiler("Win32", "Vellum.Personality"), nullptr);
  EXPECT_EQ(PlatformPersonalityKey("Linux64", "Vellum.Personality"), "Linux64.Vellum.Personality");
}

TEST(PlatformManager, FailuresCarryTheirMessages) {
  StartLayer();
  try {
    PlatformManager().Platform("Mars32");
    FAIL();
  } catch (const EUnknownPlatform& E) {
    EXPECT_STREQ(E.what(), "Unknown platform: \"Mars32\"");
  }
  try {
    PlatformManager().Compiler("Win32", "Vellum.Personality");
    FAIL();
  } catch (const ECompilerNotSupported& E) {
    EXPECT_STREQ(E.what(), "No compiler registered for platform \"Win32\" and personality \"Vellum.Personality\"");
  }
  TTestProject Project("/p/app.vproj", "", "Vellum.Personality");
  std::vector<std::string> Messages;
  EXPECT_FALSE(PlatformManager().Platform("Win32")->CheckProject(Project, Messages));
  EXPECT_EQ(Messages, std::vector<std::string>{"Platform \"Win32\" does not support the \"Vellum.Personality\" personality."});
  EXPECT_TRUE(PlatformManager().Platform("Linux64")->CheckProject(Project, Messages));
}

TEST(PlatformManager, IdentifiersAndLookups) {
  StartLayer();
  EXPECT_EQ(PlatformManager().PlatformFromId(1)->GetName(), "Win32");
  EXPECT_EQ(PlatformManager().PlatformFromId(Linux64PlatformId)->GetName(), "Linux64");
  EXPECT_EQ(PlatformManager().PlatformFromId(0x4000), nullptr);
  EXPECT_EQ(PlatformManager().GetPlatformFromDisplayName("64-BIT LINUX")->GetName(), "Linux64");
  EXPECT_EQ(PlatformManager().PlatformsFromNamespace("Posix"), std::vector<std::string>{"Linux64"});
  EXPECT_EQ(PlatformManager().PlatformsFromNamespace("System"), (std::vector<std::string>{"Win32", "Linux64"}));
}

TEST(BasePlatform, FileTypesCompareExtensionsWithoutCase) {
  StartLayer();
  auto Linux = PlatformManager().Platform("Linux64");
  EXPECT_EQ(Linux->GetPathDelim(), "/");
  EXPECT_EQ(Linux->GetFileType("/src/Main.PAS"), ftPascalSource);
  EXPECT_EQ(Linux->GetFileType("unit.Cpp"), ftCppSource);
  EXPECT_EQ(Linux->GetFileType("x.o"), ftObject);
  EXPECT_EQ(Linux->GetFileType("README"), ftNone);
  EXPECT_EQ(Linux->GetFileType("notes.txt"), ftNone);
  EXPECT_EQ(Linux->GetFileExtension(ftPascalSource), ".pas");  // the first match wins
  EXPECT_EQ(Linux->GetOutputExtension(".CPP"), ".o");
  EXPECT_EQ(Linux->GetOutputType("a.cc"), ftObject);
  EXPECT_EQ(Linux->GetPlatformRemoteDir(), "./");
  EXPECT_EQ(PlatformManager().Platform("Win32")->GetPlatformRemoteDir(), ".\\");
}

class TTestSignable : public TBaseSignablePlatform {
 public:
  TTestSignable() : TBaseSignablePlatform("Signable", "Signable test platform", "/", 3) {}
  uint16_t GetId() const override { return 0x2000; }
};

TEST(BaseSignablePlatform, BuildTypes) {
  auto P = TBasePlatform::Create<TTestSignable>();
  auto Store = std::make_unique<TBuildType>("Store", "Store package", 4);
  Store->AddProperty("Certificate", {"Env\\Cert", "Store_Cert"});
  P->AddBuildType(std::move(Store));
  P->AddBuildType(std::make_unique<TBuildType>("Debug", "Development", 5));
  EXPECT_EQ(P->AllBuildTypes(), (std::vector<std::string>{"Store", "Debug"}));
  EXPECT_EQ(P->GetBuildTypeDisplayName("store"), "Store package");
  EXPECT_EQ(P->GetEnvironmentKey("Store", "certificate"), "Env\\Cert");
  EXPECT_EQ(P->GetProjectOptionKey("Store", "Certificate"), "Store_Cert");
  EXPECT_EQ(P->AllBuildTypeProperties("Debug"), std::vector<std::string>{});
  EXPECT_THROW(P->GetBuildTypeImageIndex("Ad hoc"), Exception);
}

TEST(PlatformManager, PackageRegistrationsEndWithThePackage) {
  TPlatformManager M;
  {
    TLinuxPlatformPackage Package(M);
    EXPECT_EQ(M.GetCount(), 2);
  }
  EXPECT_EQ(M.GetCount(), 0);
  EXPECT_EQ(M.GetCompiler("Linux64", "Vellum.Personality"), nullptr);
}

TEST(PlatformManager, ComboItemsAndGathering) {
  StartLayer();
  EXPECT_EQ(PlatformComboItems({"Linux64", "Win32"}, "Win32", true),
            (std::vector<std::string>{"All platforms", "64-bit Linux", "32-bit Windows (active)"}));
  TTestProject A("/p/a.vproj", ""), B("/p/b.vproj", "");
  A.Configs.SetPlatformSupported("Win32", true);
  B.Configs.SetPlatformSupported("Linux64", true);
  EXPECT_EQ(GatherPlatforms({&A, &B}), (std::vector<std::string>{"Linux64", "Win32"}));
  PlatformManager().Remove(A, "Win32");
  EXPECT_TRUE(A.Configs.GetSupportedPlatforms().empty());
}

}  // namespace
}  // namespace nxs::test
