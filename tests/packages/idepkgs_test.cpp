#include "packages/idepkgs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "packages/pkgtest.h"
#include "projectfiles/macros.h"
#include "shared/settings.h"
#include "support/errorof.h"
#include "support/questions.h"
#include "support/tempdir.h"

namespace nxs::test {
namespace {

TEST(IDEPackages, RegistrationEntryNamesRaiseTheFirstLetterOfEachDottedSegmentAndAfterUnderscores) {
  EXPECT_EQ(RegistrationEntryName("Testpkg", "IDERegister"), "@Testpkg@IDERegister$qqrv");
  // Undotted: only the first letter is raised, underscores or not.
  EXPECT_EQ(RegistrationEntryName("MY_UNIT_name", "IDERegister"), "@My_unit_name@IDERegister$qqrv");
  EXPECT_EQ(RegistrationEntryName("__lead", "Register"), "@__Lead@Register$qqrv");
  // Dotted: every segment, and every letter after an underscore.
  EXPECT_EQ(RegistrationEntryName("Test.more_units", "IDERegister"), "@Test@More_Units@IDERegister$qqrv");
  EXPECT_EQ(RegistrationEntryName("KIT.db_grids.x_1", "IDERegister"), "@Kit@Db_Grids@X_1@IDERegister$qqrv");
}

class IDEPackagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    User = std::make_shared<TScriptedQuestions>();
    SetQuestions(User);
    SetPackageTerminate(&RecordExit);
    ExitStatus = -1;
    Store = std::make_unique<TSettingsStore>(Dir / "settings.ini");
  }
  void TearDown() override {
    DonePackages();
    SetPackageTerminate(nullptr);
    SetQuestions(nullptr);
  }
  static void RecordExit(int Status) { ExitStatus = Status; }
  // Loads the settings' list into a fresh package list, as a start of the environment does.
  std::vector<std::string> Start(const std::vector<std::string>& Personalities = {}) {
    DonePackages();
    TIDEPackageList List(*Store);
    LoadIDEPackages(List, Personalities);
    std::vector<std::string> Loaded;
    for (int I = 0; I < Packages().GetCount(); ++I) Loaded.push_back(Packages().GetPackages(I)->GetDisplayName());
    return Loaded;
  }

  static inline int ExitStatus = -1;
  TTempDir Dir;
  std::shared_ptr<TScriptedQuestions> User;
  std::unique_ptr<TSettingsStore> Store;
};

TEST_F(IDEPackagesTest, PackagesLoadInOrderAndTheirRegistrationsRunLastUnitFirst) {
  Store->WriteString("IDEPackages", TestPackage("testpkg_ok"), "Test package");
  Store->WriteString("IDEPackages", TestPackage("testpkg_targets"), "");
  EXPECT_EQ(Start(), (std::vector<std::string>{"testpkg_ok.so", "testpkg_targets.so"}));
  TDesignPackage* Ok = Packages().GetPackages(0);
  EXPECT_TRUE(Ok->GetInstalled());
  EXPECT_TRUE(Ok->OfIDE());
  // Testpkg's entry counts 1, Test.more_units' 10; the other units have none.
  EXPECT_EQ(Registrations(*Ok), 11);
  EXPECT_TRUE(User->Asked.empty());
}

TEST_F(IDEPackagesTest, APackageOutsideThePersonalityFilterIsNotLoaded) {
  Store->WriteString("IDEPackages\\Kestrel.Personality", TestPackage("testpkg_ok"), "");
  Store->WriteString("IDEPackages\\Vellum.Personality", TestPackage("testpkg_targets"), "");
  Store->WriteString("IDEPackages\\Default.Personality", TestPackage("testpkg_targets"), "");
  EXPECT_EQ(Start({"Kestrel.Personality"}), std::vector<std::string>{"testpkg_ok.so"});
  EXPECT_EQ(Start({"Default.Personality"}), std::vector<std::string>{"testpkg_targets.so"});
  EXPECT_EQ(Start({"Other.Personality"}), std::vector<std::string>{});
  // No filter: every package.
  EXPECT_EQ(Start(), (std::vector<std::string>{"testpkg_ok.so", "testpkg_targets.so"}));
}

TEST_F(IDEPackagesTest, ARaisingRegistrationIsReportedAndNoDisablesThePackageForTheNextStart) {
  const std::string Raises = TestPackage("testpkg_raises");
  Store->WriteString("IDEPackages", Raises, "Raises");
  Store->WriteString("IDEPackages", TestPackage("testpkg_ok"), "");
  User->Answers = {mrNo};
  // The failing package is dropped, the next one still loads.
  EXPECT_EQ(Start(), std::vector<std::string>{"testpkg_ok.so"});
  ASSERT_EQ(User->Asked.size(), 1u);
  EXPECT_EQ(User->Asked[0], "Registration procedure, Testpkg.IDERegister in package " + Raises +
                                " raised exception class std::runtime_error: broken on purpose\n"
                                "Do you want to attempt to load this IDE package the next time nxs is run?");
  EXPECT_EQ(User->Buttons[0], unsigned{mbYes | mbNo});
  EXPECT_EQ(Store->ReadString("Disabled IDE Packages", Raises), "Raises");
  // The next start skips it without asking.
  TSettingsStore Again(Dir / "settings.ini");
  TIDEPackageList List(Again);
  EXPECT_TRUE(List.IsDisabled(0));
  User->Asked.clear();
  EXPECT_EQ(Start(), std::vector<std::string>{"testpkg_ok.so"});
  EXPECT_TRUE(User->Asked.empty());
}

TEST_F(IDEPackagesTest, YesKeepsThePackageAndAMessageWithoutItsNameIsPrefixed) {
  const std::string Int = TestPackage("testpkg_raises_int");
  Store->WriteString("IDEPackages", Int, "");
  User->Answers = {mrYes};
  EXPECT_EQ(Start(), std::vector<std::string>{});
  ASSERT_EQ(User->Asked.size(), 1u);
  EXPECT_EQ(User->Asked[0], "Registration procedure, Testpkg.IDERegister in package " + Int +
                                " raised exception class int: <No Message>\n"
                                "Do you want to attempt to load this IDE package the next time nxs is run?");
  EXPECT_FALSE(Store->SectionExists("Disabled IDE Packages"));

  // An error that does not name the package gets its description and file name in front.
  TIDEPackageList List(*Store);
  User->Asked.clear();
  Store->WriteString("IDEPackages", Int, "Throws an int");
  TIDEPackageList Described(*Store);
  Described.HandleError(std::make_exception_ptr(Exception("out of luck")), 0);
  EXPECT_EQ(User->Asked.at(0), "Can't load package Throws an int (" + Int + ").\nout of luck\n"
                               "Do you want to attempt to load this IDE package the next time nxs is run?");
}

TEST_F(IDEPackagesTest, ARequiredPackageThatFailsEndsTheProcessAfterTheMessage) {
  const std::string Raises = TestPackage("testpkg_raises");
  Store->WriteString("IDEPackages", Raises, "");
  Store->WriteString("Required IDE Packages", Raises, "");
  Start();
  EXPECT_EQ(ExitStatus, 1);
  ASSERT_EQ(User->Asked.size(), 1u);
  EXPECT_EQ(User->Asked[0], "Registration procedure, Testpkg.IDERegister in package " + Raises +
                                " raised exception class std::runtime_error: broken on purpose\n"
                                "nxs requires the above package be present and load without error. Please verify "
                                "that nxs is installed correctly.\nnxs will now exit.");
  EXPECT_EQ(User->Buttons[0], unsigned{mbOK});
  EXPECT_FALSE(Store->SectionExists("Disabled IDE Packages"));
}

TEST_F(IDEPackagesTest, OutOfMemoryIsShownAsItIsAndNothingElseHappens) {
  Store->WriteString("IDEPackages", TestPackage("testpkg_ok"), "");
  Store->WriteString("Required IDE Packages", TestPackage("testpkg_ok"), "");
  TIDEPackageList List(*Store);
  List.HandleError(std::make_exception_ptr(std::bad_alloc()), 0);
  EXPECT_EQ(User->Asked, std::vector<std::string>{"std::bad_alloc"});
  EXPECT_EQ(ExitStatus, -1);
  EXPECT_FALSE(Store->SectionExists("Disabled IDE Packages"));
}

TEST_F(IDEPackagesTest, AnUnsafePackageIsRefusedWithTheReasonAndTheNextOneLoads) {
  const std::string Shared = CopyPackage(Dir, "testpkg_ok", 0666);
  Store->WriteString("IDEPackages", Shared, "");
  Store->WriteString("IDEPackages", TestPackage("testpkg_targets"), "");
  EXPECT_EQ(Start(), std::vector<std::string>{"testpkg_targets.so"});
  ASSERT_EQ(User->Asked.size(), 1u);
  EXPECT_EQ(User->Asked[0], "Refusing to load package " + Shared + ": " + Shared +
                                " may be written by other users (mode 0666)\n"
                                "Do you want to attempt to load this IDE package the next time nxs is run?");
}

TEST_F(IDEPackagesTest, EntriesExpandPublishedVariablesAndTheShippedListStandsInForNone) {
  SetPublishedVariable("NXS_TEST_PACKAGES", NXS_TEST_PACKAGES_DIR);
  TIDEPackageList Defaults(*Store, {{"$(NXS_TEST_PACKAGES)/testpkg_ok.so", "Shipped", {}}});
  ASSERT_EQ(Defaults.Count(), 1);
  EXPECT_EQ(Defaults.FileName(0), TestPackage("testpkg_ok"));
  // A list in the settings replaces the shipped one, even an empty one.
  Store->EraseSection("IDEPackages");
  Store->WriteString("IDEPackages", "$(NXS_TEST_PACKAGES)/testpkg_targets.so", "");
  TIDEPackageList Own(*Store, {{"$(NXS_TEST_PACKAGES)/testpkg_ok.so", "Shipped", {}}});
  ASSERT_EQ(Own.Count(), 1);
  EXPECT_EQ(Own.FileName(0), TestPackage("testpkg_targets"));
}


TEST_F(IDEPackagesTest, InstalledIDEPackagesLoadAfterTheListWhicheverListItIs) {
  Store->WriteString("Known IDE Packages", TestPackage("testpkg_targets"), "Installed");
  Store->WriteString("Known IDE Packages", TestPackage("testpkg_ok"), "");
  // Shipped list: the installed ones follow it, each once.
  TIDEPackageList Shipped(*Store, {{TestPackage("testpkg_ok"), "Shipped", {}}});
  ASSERT_EQ(Shipped.Count(), 2);
  EXPECT_EQ(Shipped.FileName(1), TestPackage("testpkg_targets"));
  EXPECT_EQ(Shipped.Entry(1).Source, TIDEPackageEntry::psInstalled);
  EXPECT_EQ(Shipped.Entry(0).Source, TIDEPackageEntry::psShipped);
  EXPECT_EQ(Shipped.Entry(0).Description, "Shipped");
  // The settings' own list.
  Store->WriteString("IDEPackages", TestPackage("testpkg_user"), "");
  EXPECT_EQ(Start(), (std::vector<std::string>{"testpkg_user.so", "testpkg_targets.so", "testpkg_ok.so"}));
  // Disabled, an installed one is skipped as a listed one is.
  Store->WriteString("Disabled IDE Packages", TestPackage("testpkg_targets"), "");
  EXPECT_EQ(Start(), (std::vector<std::string>{"testpkg_user.so", "testpkg_ok.so"}));
}

TEST_F(IDEPackagesTest, LoadingIsTimedByStageAndTheHostsLibrariesAreCollectedAfterwards) {
  std::vector<std::string> Stages;
  SetPackageTimer([&](const std::string& Label, const std::string& Subject, double Ms) {
    EXPECT_GE(Ms, 0.0);
    Stages.push_back(Label + ": " + Subject);
  });
  Store->WriteString("IDEPackages", TestPackage("testpkg_ok"), "");
  Start();
  SetPackageTimer(nullptr);
  EXPECT_EQ(Stages, (std::vector<std::string>{"TPackage.Load: " + TestPackage("testpkg_ok"),
                                              "IDERegister Procedure: Test.more_units",
                                              "IDERegister Procedure: Testpkg", "Startup: IDE Package Load"}));
  const std::vector<std::string>& Host = Packages().GetHostPackages();
  auto Has = [&](const std::string& Part) {
    for (const std::string& File : Host)
      if (File.find(Part) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(Has("libc.so"));
  EXPECT_FALSE(Has("testpkg_ok.so"));
}

TEST_F(IDEPackagesTest, AMissingShippedPackageIsPassedByAndAMissingListedOneIsAskedAboutOnce) {
  std::vector<std::string> Splash;
  SetPackageSplash([&](const std::string& Text) { Splash.push_back(Text); });
  const std::string Gone = Dir / "gone.so";
  // Shipped (the settings list none): no question, one line on the splash.
  DonePackages();
  TIDEPackageList Shipped(*Store, {{Gone, "Shipped", {}}, {TestPackage("testpkg_ok"), "", {}}});
  LoadIDEPackages(Shipped, {});
  EXPECT_TRUE(User->Asked.empty());
  EXPECT_EQ(Splash, (std::vector<std::string>{"Loading package " + Gone, "Package " + Gone + " is missing; it is left out",
                                              "Loading package " + TestPackage("testpkg_ok"), "All IDE packages loaded"}));
  EXPECT_EQ(Packages().GetCount(), 1);

  // Listed by the user: asked once; Yes is kept while the file stays missing.
  Store->WriteString("IDEPackages", Gone, "Mine");
  User->Answers = {mrYes};
  EXPECT_EQ(Start(), std::vector<std::string>{});
  ASSERT_EQ(User->Asked.size(), 1u);
  EXPECT_EQ(User->Asked[0], "Refusing to load package " + Gone + ": " + Gone +
                                " does not exist\nDo you want to attempt to load this IDE package the next time nxs is run?");
  EXPECT_EQ(Start(), std::vector<std::string>{});
  EXPECT_EQ(User->Asked.size(), 1u);
  // Back, it loads, and the kept answer is forgotten: missing again, it is asked about again.
  CopyPackage(Dir, "testpkg_ok", 0755, "gone.so");
  EXPECT_EQ(Start(), std::vector<std::string>{"gone.so"});
  EXPECT_FALSE(Store->SectionExists("Missing IDE Packages") && Store->ValueExists("Missing IDE Packages", Gone));
  std::filesystem::remove(Gone);
  User->Answers = {mrNo};
  EXPECT_EQ(Start(), std::vector<std::string>{});
  EXPECT_EQ(User->Asked.size(), 2u);
  EXPECT_TRUE(Store->ValueExists("Disabled IDE Packages", Gone));
  SetPackageSplash(nullptr);
}

TEST(IDEPackages, WizardsGoToTheProcTheHostSet) {
  struct TWizard : IOTAWizard {
    std::string GetIDString() const override { return "Test.Wizard"; }
    std::string GetName() const override { return "Test"; }
    void Execute() override {}
  };
  WizardRegistered(std::make_shared<TWizard>());  // no proc: nothing happens
  std::vector<std::string> Told;
  WizardRegisteredProc = [&](const std::shared_ptr<IOTAWizard>& W) { Told.push_back(W->GetIDString()); };
  WizardRegistered(std::make_shared<TWizard>());
  WizardRegisteredProc = nullptr;
  EXPECT_EQ(Told, std::vector<std::string>{"Test.Wizard"});
}

}  // namespace
}  // namespace nxs::test
