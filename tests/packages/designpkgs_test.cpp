#include "packages/designpkgs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "packages/idepkgs.h"
#include "packages/pkgtest.h"
#include "support/errorof.h"
#include "support/tempdir.h"

namespace nxs::test {
namespace {

// The events of a package list, as "Name:package" lines.
struct TEventLog {
  explicit TEventLog(TDesignPackages& List) : List(List) {
    auto Log = [this](const char* What) {
      return [this, What](TEvPackage& A) { Lines.push_back(std::string(What) + ":" + (A.Package ? A.Package->GetDisplayName() : "")); };
    };
    List.EvBeginUpdate.Add(this, Log("begin"));
    List.EvEndUpdate.Add(this, Log("end"));
    List.EvInstalled.Add(this, Log("installed"));
    List.EvUninstalling.Add(this, Log("uninstalling"));
    List.EvUninstalled.Add(this, Log("uninstalled"));
  }
  ~TEventLog() {
    for (auto* E : {&List.EvBeginUpdate, &List.EvEndUpdate, &List.EvInstalled, &List.EvUninstalling, &List.EvUninstalled})
      E->Remove(this);
  }
  TEventLog(const TEventLog&) = delete;  // its handlers name it
  TEventLog& operator=(const TEventLog&) = delete;
  TDesignPackages& List;
  std::vector<std::string> Lines;
};

TEST(DesignPackages, FindPackageByDisplayNameBaseNameOrSymbolFileWithoutRegardToCase) {
  TDesignPackages List;
  TDesignPackage* Ok = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_ok")));
  TDesignPackage* Targets = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_targets")));
  Ok->Load();
  EXPECT_EQ(List.FindPackage("TESTPKG_OK.so"), Ok);
  EXPECT_EQ(List.FindPackage("testpkg_targets"), Targets);
  EXPECT_EQ(List.FindPackage("Testpkg_OK.vcp"), Ok);  // its symbol file
  EXPECT_EQ(List.FindPackage("testpkg_ok"), Ok);
  EXPECT_EQ(List.FindPackage("other"), nullptr);
  EXPECT_EQ(List.FindPackageByHandle(Ok->Handle()), Ok);
  List.RemovePackage(Ok);
  EXPECT_EQ(List.FindPackage("testpkg_ok"), nullptr);  // not the cached one
  EXPECT_EQ(List.GetCount(), 1);
}

TEST(DesignPackages, UnloadForCompileTakesTheRequirersAlongAndReloadBringsThemBack) {
  TDesignPackages List;
  TEventLog Log(List);
  TDesignPackage* Base = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_ok")));
  TDesignPackage* User = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_user")));
  TDesignPackage* Other = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_targets")));
  Base->Load();
  User->Load();
  Other->Load();
  EXPECT_EQ(Base->RequiredBy(), std::vector<TDesignPackage*>{User});
  Log.Lines.clear();

  List.UnloadForCompile(Base);
  EXPECT_FALSE(Base->IsLoaded());
  EXPECT_FALSE(User->IsLoaded());
  EXPECT_TRUE(Other->IsLoaded());
  EXPECT_TRUE(Base->Compiling());
  EXPECT_EQ(List.UnloadedPackages(), (std::vector<TDesignPackage*>{User, Base}));
  // The requirer goes first, inside one update.
  EXPECT_EQ(Log.Lines, (std::vector<std::string>{"begin:", "uninstalling:testpkg_user.so", "uninstalled:testpkg_user.so",
                                                 "uninstalling:testpkg_ok.so", "uninstalled:testpkg_ok.so", "end:"}));
  Log.Lines.clear();

  List.ReloadPackages();
  EXPECT_TRUE(Base->GetInstalled());
  EXPECT_TRUE(User->GetInstalled());
  EXPECT_FALSE(Base->Compiling());
  EXPECT_EQ(Base->RequiredBy(), std::vector<TDesignPackage*>{User});
  EXPECT_TRUE(List.UnloadedPackages().empty());
  EXPECT_EQ(Log.Lines, (std::vector<std::string>{"begin:", "installed:testpkg_ok.so", "installed:testpkg_user.so", "end:"}));
}

TEST(DesignPackages, NestedUpdatesSendOneBeginAndOneEnd) {
  TDesignPackages List;
  TEventLog Log(List);
  List.BeginUpdate();
  List.BeginUpdate();
  List.EndUpdate();
  EXPECT_TRUE(List.Updating());
  List.EndUpdate();
  List.EndUpdate();  // one too many does nothing
  EXPECT_EQ(Log.Lines, (std::vector<std::string>{"begin:", "end:"}));
}

TEST(DesignPackages, AFailedRegistrationLeavesThePackageUnloadedWithItsRegistrationsUndone) {
  TDesignPackages List;
  TDesignPackage* P = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_raises")));
  int Undone = 0;
  // What the package registered before it raised.
  P->AddUnregistration([&] { ++Undone; });
  EXPECT_EQ(ErrorOf<EPackageRegistrationException>([&] { P->Load(); }),
            "Registration procedure, Testpkg.IDERegister in package " + TestPackage("testpkg_raises") +
                " raised exception class std::runtime_error: broken on purpose");
  EXPECT_FALSE(P->IsLoaded());
  EXPECT_FALSE(P->GetInstalled());
  EXPECT_EQ(Undone, 1);
}

TEST(DesignPackages, ComponentRegistrationsAreFoundThroughTheirModulesUntilTheyUnload) {
  TDesignPackages List;
  TDesignPackage* P = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_ok")));
  P->Load();
  TRegModule& M = P->AddModule("Grids");
  M.AddClass("TStringGrid", "Additional");
  EXPECT_EQ(List.FindComponentModule("tstringgrid"), &M);
  ASSERT_NE(List.GetComponentClass("TStringGrid"), nullptr);
  EXPECT_EQ(List.GetComponentClass("TStringGrid")->Page(), "Additional");
  EXPECT_EQ(List.GetComponentClass("TStringGrid")->Module()->Package(), P);
  P->Unload();
  EXPECT_EQ(List.GetComponentClass("TStringGrid"), nullptr);
}


TEST(DesignPackages, APendingPackageRunsNothingUntilItsFirstUseLoadsIt) {
  TTempDir Dir;
  const std::string Mark = Dir / "constructor-ran";
  ::setenv("NXS_TEST_PACKAGE_MARK", Mark.c_str(), 1);
  TDesignPackages List;
  TDesignPackage* Plain = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_ok")));
  TDesignPackage* Class = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_class")));
  TDesignPackage* Targets = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_targets")));
  std::vector<std::string> Splash;
  SetPackageSplash([&](const std::string& Text) { Splash.push_back(Text); });
  for (TDesignPackage* P : {Plain, Class, Targets}) P->DelayLoad();
  EXPECT_FALSE(std::filesystem::exists(Mark));
  EXPECT_TRUE(Splash.empty());
  EXPECT_TRUE(Class->Pending());
  EXPECT_FALSE(Class->IsLoaded());
  // Its information is read: the list finds it by its symbol file.
  EXPECT_EQ(List.FindPackage("testpkg_ok.vcp"), Plain);

  // A class no loaded package registered: the pending packages load in order until one does;
  // the ones after it stay pending.
  const TRegClass* C = List.LoadCustomModuleClass("TTestModule");
  ASSERT_NE(C, nullptr);
  EXPECT_EQ(C->Page(), "Tests");
  EXPECT_EQ(C->Module()->Package(), Class);
  EXPECT_TRUE(Plain->GetInstalled());
  EXPECT_TRUE(Class->GetInstalled());
  EXPECT_FALSE(Class->Pending());
  EXPECT_TRUE(Targets->Pending());
  EXPECT_TRUE(std::filesystem::exists(Mark));
  SetPackageSplash(nullptr);
  EXPECT_EQ(Splash, (std::vector<std::string>{"Loading package " + TestPackage("testpkg_ok"),
                                              "Loading package " + TestPackage("testpkg_class")}));
  ::unsetenv("NXS_TEST_PACKAGE_MARK");

  EXPECT_EQ(List.LoadDelayLoadPackage("TESTPKG_TARGETS.so"), Targets);
  EXPECT_TRUE(Targets->GetInstalled());
  EXPECT_EQ(List.LoadDelayLoadPackage("other"), nullptr);
  // Every package is loaded now and none registers it.
  EXPECT_EQ(List.LoadCustomModuleClass("TOther"), nullptr);
}

TEST(DesignPackages, APendingPackageThatFailsToLoadRaisesOnceAndIsNoLongerPending) {
  TDesignPackages List;
  TDesignPackage* P = List.AddPackage(std::make_unique<TIDEPackage>(TestPackage("testpkg_raises")));
  P->DelayLoad();
  EXPECT_EQ(ErrorOf<EPackageRegistrationException>([&] { List.LoadDelayLoadPackage("testpkg_raises"); }),
            "Registration procedure, Testpkg.IDERegister in package " + TestPackage("testpkg_raises") +
                " raised exception class std::runtime_error: broken on purpose");
  EXPECT_FALSE(P->Pending());
  EXPECT_FALSE(P->IsLoaded());
  EXPECT_EQ(List.LoadCustomModuleClass("TTestModule"), nullptr);

  TTempDir Dir;
  const std::string NoPackage = Dir / "plain.so";
  std::filesystem::copy_file("/proc/self/exe", NoPackage);
  TDesignPackage* Q = List.AddPackage(std::make_unique<TIDEPackage>(NoPackage));
  EXPECT_EQ(ErrorOf<EPackageLoadError>([&] { Q->DelayLoad(); }),
            "Can't load package " + NoPackage + ".\n" + NoPackage + " holds no package information");
  EXPECT_FALSE(Q->Pending());
}

}  // namespace
}  // namespace nxs::test
