#include "packages/pkgservices.h"

#include <gtest/gtest.h>

#include <string>

#include "editor/buffers/ekinit.h"
#include "editor/keyboard/cmdmap.h"
#include "editor/language/generic.h"
#include "packages/idepkgs.h"
#include "support/errorof.h"

namespace nxs::test {
namespace {

// The shipped Makefile package, loaded into this test: it reaches the registrations through
// the symbols the test exports, as it reaches them in nxs.
std::string MakefilePackage() { return std::string(NXS_SHIPPED_PACKAGES_DIR) + "/makehl.so"; }

bool HasMakefileHighlighter() {
  return HighlightManager().LookupHighlighter(std::string_view("Makefile.Highlighter.Make")) >= 0;
}

TEST(PackageServices, WhatAPackageRegistersGoesBeforeItsLibraryCloses) {
  InstallHighlighters(&AddPackageHighlighters);
  {
    TDesignPackages List;
    TDesignPackage* P = List.AddPackage(std::make_unique<TIDEPackage>(MakefilePackage()));
    P->Load();
    ASSERT_EQ(PackageKeyBindings().size(), 1u);
    EXPECT_EQ(PackageKeyBindings()[0].Name, "Makefile.Keys");
    // The kernel starts after the package registered: it adds the package's highlighter.
    InitEditorKernel();
    EXPECT_TRUE(HasMakefileHighlighter());
    ASSERT_NE(PackageHighlighterForFile("/src/GNUmakefile"), nullptr);
    EXPECT_EQ(PackageHighlighterForFile("/src/GNUmakefile")->GetIDString(), "Makefile.Highlighter.Make");
    EXPECT_EQ(PackageHighlighterForFile("/src/main.cpp"), nullptr);
    P->Unload();
    EXPECT_FALSE(HasMakefileHighlighter());
    EXPECT_TRUE(PackageKeyBindings().empty());
    EXPECT_EQ(PackageHighlighterForFile("/src/GNUmakefile"), nullptr);
    // Loaded while the kernel runs, the highlighter is added at once.
    P->Load();
    EXPECT_TRUE(HasMakefileHighlighter());
  }
  // The list going takes the package and what it registered with it.
  EXPECT_FALSE(HasMakefileHighlighter());
  DoneEditorKernel();
  InstallHighlighters(nullptr);
}

TEST(PackageServices, AHighlighterRegisteredWhileTheKernelIsStoppedJoinsItsNextStart) {
  InstallHighlighters(&AddPackageHighlighters);
  // A kernel that has run once: the manager holds the kernel's highlighters.
  InitEditorKernel();
  DoneEditorKernel();
  {
    TDesignPackages List;
    List.AddPackage(std::make_unique<TIDEPackage>(MakefilePackage()))->Load();
    InitEditorKernel();
    EXPECT_TRUE(HasMakefileHighlighter());
    EXPECT_NE(PackageHighlighterForFile("/src/Makefile"), nullptr);
    DoneEditorKernel();
    // Started again, the kernel finds it once.
    InitEditorKernel();
    int Found = 0;
    for (int I = 0; I < HighlightManager().GetHighlighterCount(); ++I)
      Found += HighlightManager().GetHighlighter(I)->GetIDString() == "Makefile.Highlighter.Make";
    EXPECT_EQ(Found, 1);
    DoneEditorKernel();
  }
  InstallHighlighters(nullptr);
  ResetHighlightManager();
}

// The keyboard's bindings, "NAME" each; and what the active keymap binds Keys to.
std::vector<std::string> BindingNames(const TKeyboardServices& Keyboard) {
  std::vector<std::string> Names;
  for (int I = 0; I < Keyboard.GetBindingCount(); ++I) Names.push_back(Keyboard.GetBindingName(I));
  return Names;
}

std::string ActiveCommand(const TKeyboardServices& Keyboard, const char* Keys) {
  for (const TKeyBinding& B : Keyboard.ActiveBindings())
    if (SequenceName(B.Keys) == Keys) return CmdMapManager().Entry(B.Command).Name;
  return "";
}

TEST(PackageServices, APackagesKeyTableJoinsTheConnectedKeyboardAndLeavesWithThePackage) {
  TDesignPackages List;
  TDesignPackage* P = List.AddPackage(std::make_unique<TIDEPackage>(MakefilePackage()));
  TKeyboardServices Keyboard;
  const size_t Builtin = BindingNames(Keyboard).size();
  {
    const TPackageKeyboard Connection(Keyboard);
    P->Load();
    ASSERT_EQ(BindingNames(Keyboard).size(), Builtin + 1);
    EXPECT_EQ(BindingNames(Keyboard).back(), "Makefile.Keys");
    Keyboard.SetBindingIndex(Keyboard.LookupKeyBinding("Makefile"));
    EXPECT_EQ(ActiveCommand(Keyboard, "Tab"), "ForeTab");
    EXPECT_EQ(ActiveCommand(Keyboard, "F9"), "MakeProject");
    EXPECT_EQ(ActiveCommand(Keyboard, "Ctrl+K B"), "SetBlockBeg");  // the rest is the default keymap
    // The package goes: its keymap with it, and the keyboard falls back to the default one.
    P->Unload();
    EXPECT_EQ(BindingNames(Keyboard).size(), Builtin);
    EXPECT_EQ(ActiveCommand(Keyboard, "Tab"), "SmartTab");
    P->Load();
  }
  // Connected after the package registered: it gets what is registered so far.
  TKeyboardServices Later;
  const TPackageKeyboard Connection(Later);
  EXPECT_GE(Later.LookupKeyBinding("Makefile.Keys"), 0);
}

TEST(PackageServices, OnlyARegistrationProcedureMayRegister) {
  EXPECT_EQ(ErrorOf([] { RegisterPackageHighlighter(nullptr); }),
            "Only a package's registration procedure may register a highlighter");
  EXPECT_EQ(ErrorOf([] { RegisterPackageKeyBinding({}); }),
            "Only a package's registration procedure may register a key binding");
  EXPECT_EQ(ErrorOf([] { AddPackageUnregistration([] {}); }),
            "Only a package's registration procedure may register a service");
}

TEST(PackageServices, ServicesArePublishedByNameUntilWithdrawn) {
  EXPECT_EQ(RegistrationService("Test.Registry"), nullptr);
  auto Registry = std::make_shared<std::vector<std::string>>();
  PublishRegistrationService("Test.Registry", Registry);
  EXPECT_EQ(RegistrationService<std::vector<std::string>>("Test.Registry"), Registry);
  WithdrawRegistrationService("Test.Registry");
  EXPECT_EQ(RegistrationService("Test.Registry"), nullptr);
}

}  // namespace
}  // namespace nxs::test
