#include "packages/package.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "packages/pkgtest.h"
#include "support/errorof.h"
#include "support/tempdir.h"

namespace nxs::test {
namespace {

TEST(Package, InformationIsReadFromTheFileWithoutRunningTheLibrary) {
  TTempDir Dir;
  const std::string Mark = Dir / "constructor-ran";
  ::setenv("NXS_TEST_PACKAGE_MARK", Mark.c_str(), 1);
  const TPackageInfo Info(TestPackage("testpkg_ok"));
  EXPECT_FALSE(std::filesystem::exists(Mark));
  EXPECT_FALSE(Info.IsLoaded());
  EXPECT_EQ(Info.GetDescription(), "Test package");
  EXPECT_EQ(Info.SymbolFileName(), "testpkg_ok.vcp");
  EXPECT_EQ(Info.GetImplicitUnits(), std::vector<std::string>{"Implicit.Unit"});  // not the main unit
  EXPECT_EQ(Info.Contains().size(), 4u);
  // No targets named: the mask is 1.
  EXPECT_EQ(Info.TargetedPlatforms(), 1u);
  EXPECT_EQ(Info.GetDisplayName(), "testpkg_ok.so");

  // Loading runs the library's constructor, as the mark shows: the test above would see it.
  TPackage Loaded(TestPackage("testpkg_ok"));
  Loaded.Load();
  EXPECT_TRUE(std::filesystem::exists(Mark));
  ::unsetenv("NXS_TEST_PACKAGE_MARK");
}

TEST(Package, FlagsWordGivesTheFlagsProducerAndConsumer) {
  TPackageInfo Info(TestPackage("testpkg_targets"));
  EXPECT_EQ(Info.TargetedPlatforms(), 6u);
  EXPECT_EQ(Info.Flags(), 0x0a100005u);
  EXPECT_TRUE(Info.GetNeverBuild());
  EXPECT_FALSE(Info.GetDesigntimeOnly());
  EXPECT_TRUE(Info.GetRuntimeOnly());
  EXPECT_EQ(Info.GetProducer(), 2);
  EXPECT_EQ(Info.GetConsumer(), 1);
  // A consumer other than 1 or 2 follows the producer: 2 for producer 2, else 0.
  Info.SetFlags(0x08300000);
  EXPECT_EQ(Info.GetConsumer(), 2);
  Info.SetFlags(0x04300000);
  EXPECT_EQ(Info.GetProducer(), 1);
  EXPECT_EQ(Info.GetConsumer(), 0);
  Info.SetDesigntimeOnly(true);
  Info.SetRuntimeOnly(false);
  EXPECT_EQ(Info.Flags(), 0x04300002u);
}

TEST(Package, InformationOfAFileThatIsNoPackageIsRefusedWithTheReason) {
  TTempDir Dir;
  const std::string Text = Dir / "text.so";
  { std::FILE* F = std::fopen(Text.c_str(), "w"); std::fputs("not a library", F); std::fclose(F); }
  EXPECT_EQ(ErrorOf([&] { TPackageInfo Info(Text); }),
            "Can't load package " + Text + ".\n" + Text + " is not a package library: the file ends inside its header");
}

TEST(Package, AFileThatCannotBeReadIsRefusedWithTheSystemsReason) {
  TTempDir Dir;
  const std::string Missing = Dir / "missing.so";
  EXPECT_EQ(ErrorOf([&] { TPackageInfo Info(Missing); }),
            "Can't load package " + Missing + ".\nCannot open " + Missing + ": No such file or directory");
  std::filesystem::create_directory(Dir / "folder.so");
  EXPECT_EQ(ErrorOf([&] { TPackageInfo Info(Dir / "folder.so"); }),
            "Can't load package " + Dir / "folder.so" + ".\nCannot open " + Dir / "folder.so" + ": Is a directory");
  if (::geteuid() == 0) return;  // root reads what its mode forbids
  const std::string Locked = CopyPackage(Dir, "testpkg_ok", 0000);
  EXPECT_EQ(ErrorOf([&] { TPackageInfo Info(Locked); }),
            "Can't load package " + Locked + ".\nCannot open " + Locked + ": Permission denied");
}

TEST(Package, LoadsFindsEntriesTheLinkerCannotExportAndUnloads) {
  TPackage P(TestPackage("testpkg_ok"));
  P.Load();
  ASSERT_TRUE(P.IsLoaded());
  EXPECT_EQ(P.GetDescription(), "Test package");
  auto Count = reinterpret_cast<int (*)()>(P.FindSymbol("TestPackageRegistrations"));
  auto Entry = reinterpret_cast<void (*)()>(P.FindSymbol("@Testpkg@IDERegister$qqrv"));
  auto Dotted = reinterpret_cast<void (*)()>(P.FindSymbol("@Test@More_Units@IDERegister$qqrv"));
  ASSERT_TRUE(Count && Entry && Dotted);
  const int Before = Count();
  Entry();
  Dotted();
  EXPECT_EQ(Count(), Before + 11);
  EXPECT_EQ(P.FindSymbol("@Nothing@IDERegister$qqrv"), nullptr);
  P.Unload();
  EXPECT_FALSE(P.IsLoaded());
  EXPECT_EQ(P.FindSymbol("TestPackageRegistrations"), nullptr);
}

TEST(Package, AFileOrFolderOthersMayWriteIsRefusedBeforeItLoads) {
  TTempDir Dir;
  ::chmod(Dir.Path().c_str(), 0755);
  const std::string Mark = Dir / "constructor-ran";
  ::setenv("NXS_TEST_PACKAGE_MARK", Mark.c_str(), 1);
  const std::string Shared = CopyPackage(Dir, "testpkg_ok", 0664);
  EXPECT_EQ(ErrorOf([&] { TPackage(Shared).Load(); }),
            "Refusing to load package " + Shared + ": " + Shared + " may be written by other users (mode 0664)");
  const std::string Open = CopyPackage(Dir, "testpkg_targets", 0757);
  EXPECT_EQ(ErrorOf([&] { TPackage(Open).Load(); }),
            "Refusing to load package " + Open + ": " + Open + " may be written by other users (mode 0757)");
  // The folder, and the folder of a link that leads to a safe file.
  std::filesystem::create_directory(Dir / "shared");
  ::chmod((Dir / "shared").c_str(), 0777);
  const std::string InShared = Dir / "shared/testpkg_ok.so";
  std::filesystem::copy_file(TestPackage("testpkg_ok"), InShared);
  ::chmod(InShared.c_str(), 0755);
  EXPECT_EQ(ErrorOf([&] { TPackage(InShared).Load(); }), "Refusing to load package " + InShared + ": " + Dir / "shared" +
                                                             " may be written by other users (mode 0777)");
  const std::string Link = Dir / "shared/link.so";
  std::filesystem::create_symlink(TestPackage("testpkg_ok"), Link);
  EXPECT_EQ(ErrorOf([&] { TPackage(Link).Load(); }),
            "Refusing to load package " + Link + ": " + Dir / "shared" + " may be written by other users (mode 0777)");
  EXPECT_FALSE(std::filesystem::exists(Mark));
  ::unsetenv("NXS_TEST_PACKAGE_MARK");
  // A safe copy loads.
  const std::string Safe = CopyPackage(Dir, "testpkg_user", 0755);
  TPackage P(Safe);
  P.Load();
  EXPECT_TRUE(P.IsLoaded());
}

}  // namespace
}  // namespace nxs::test
