// Layouts: the shipped ones copied on first use, their names, saving and deleting, the
// session's first run and start, and every rule by which the environment switches layouts.
#include "environment/layouts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "environment/deskini.h"
#include "environment/desktop.h"
#include "environment/desktoptest.h"
#include "shared/format.h"
#include "shared/install.h"
#include "shared/settings.h"
#include "shared/text.h"
#include "support/errorof.h"

namespace nxs::test {
namespace {

namespace fs = std::filesystem;

// Keeps one value of the windows, as a host's pane arrangement would.
struct TPaneLoader : TDesktopWindowLoader {
  std::string Height = "10";
  void LoadWindows(TCustomIniFile& Ini) override { Height = Ini.ReadString("Panes", "Height", Height); }
  void SaveWindows(TCustomIniFile& Ini) override { Ini.WriteString("Panes", "Height", Height); }
};

class Layouts : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    Panes = std::make_shared<TPaneLoader>();
    DesktopWindowLoaders().RegisterDesktopWindowLoader(Panes);
    UserDir = Dir / "data/Orvanti/NXS/20.0";
  }
  void TearDown() override {
    DesktopWindowLoaders().UnRegisterDesktopWindowLoader(Panes.get());
    DesktopTest::TearDown();
  }
  std::string Session(const char* Key) { return SettingsStore().ReadString("Session", Key, "-"); }
  // A user layout whose file keeps the pane height given.
  void UserLayout(const std::string& Name, const std::string& Height) {
    fs::create_directories(UserDir);
    WriteText(UserDir + "/" + Name + ".dst", "[Panes]\nHeight=" + Height + "\n");
  }
  std::string SelectedName() {
    return DesktopStates().Selected() ? DesktopStates().Selected()->GetFileNameBody() : "(none)";
  }

  std::shared_ptr<TPaneLoader> Panes;
  std::string UserDir;
};

TEST_F(Layouts, ShippedLayoutsAreCopiedOnceAndNamedForDisplay) {
  EXPECT_EQ(LayoutsDirectory(), UserDir);
  UserLayout("Default Layout", "33");  // the user's own copy is never replaced
  UserLayout("Tom & Jerry", "5");
  std::vector<std::string> Names, Menu;
  for (const auto& S : DesktopStates().GetDesktops()) {
    Names.push_back(S->GetFileNameBody());
    Menu.push_back(S->GetNoPrefix());
  }
  EXPECT_EQ(Names, (std::vector<std::string>{"Classic Undocked", "Debug Layout", "Default Layout", "Startup Layout", "Tom & Jerry"}));
  EXPECT_EQ(Menu.back(), "Tom && Jerry");
  EXPECT_EQ(ReadText(UserDir + "/Default Layout.dst"), "[Panes]\nHeight=33\n");
  EXPECT_EQ(ReadText(UserDir + "/Debug Layout.dst"), ReadText(InstalledLayoutsDirectory() + "/Debug Layout.dst"));
  EXPECT_EQ(DesktopStates().FindFileNameBody("default layout")->GetDisplayName(), "Default Layout");
  EXPECT_EQ(DesktopStates().FindDisplayName("TOM & JERRY")->GetFileNameBody(), "Tom & Jerry");
  // Without XDG_DATA_HOME the layouts live below the home folder.
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(LayoutsDirectory(), HomeDir() + "/.local/share/Orvanti/NXS/20.0");
  setenv("XDG_DATA_HOME", (Dir / "data").c_str(), 1);
}

TEST_F(Layouts, ALayoutIsSavedRenamedAndDeletedInItsOwnFolderOnly) {
  TDesktopState& Mine = DesktopStates().Add("Mine");
  Panes->Height = "42";
  Mine.Save();
  EXPECT_EQ(TDesktopIniFile(ReadText(UserDir + "/Mine.dst")).ReadString("Panes", "Height", ""), "42");
  Panes->Height = "43";
  Mine.Save();  // the copy it replaced is kept once, beside it
  EXPECT_EQ(TDesktopIniFile(ReadText(UserDir + "/Mine.~dst")).ReadString("Panes", "Height", ""), "42");
  Mine.SetDisplayName("Ours");
  EXPECT_FALSE(fs::exists(UserDir + "/Mine.dst"));
  EXPECT_TRUE(fs::exists(UserDir + "/Ours.dst"));
  Panes->Height = "1";
  Mine.Load();
  EXPECT_EQ(Panes->Height, "43");
  Mine.Delete();
  EXPECT_FALSE(fs::exists(UserDir + "/Ours.dst"));
  for (const char* Bad : {"", "..", "../x", "a/b", "a\\b", "two\nlines"})
    EXPECT_EQ(ErrorOf([&] { DesktopStates().Add(Bad); }), Format("\"%s\" is not a valid layout name", OneLine(Bad))) << Bad;
}

TEST_F(Layouts, TheFirstRunSetsTheSessionAndTheStartPicksTheLayoutForWhatOpens) {
  LoadDefaultDesktopState("", false);
  EXPECT_EQ(Session("FirstIDERun"), "-");  // a Boolean: read as a string it is missing
  EXPECT_FALSE(SettingsStore().ReadBool("Session", "FirstIDERun", true));
  EXPECT_EQ(Session("StartupDesktopName"), "Startup Layout");
  EXPECT_EQ(Session("DefaultDesktopName"), "Default Layout");
  EXPECT_EQ(Session("RuntimeDesktopName"), "Debug Layout");
  EXPECT_EQ(SelectedName(), "Startup Layout");
  EXPECT_EQ(Session("DesktopName"), "Startup Layout");

  // A project to open: the default layout, in place of the start-up one the session names.
  WriteText(Dir / "p.vproj", "<Project/>\n");
  LoadDefaultDesktopState(Dir / "p.vproj", false);
  EXPECT_EQ(SelectedName(), "Default Layout");
  UserLayout("Mine", "7");
  SettingsStore().WriteString("Session", "DesktopName", "Mine");
  DesktopStates().GetDesktops();
  LoadDefaultDesktopState(Dir / "p.vproj", false);
  EXPECT_EQ(SelectedName(), "Mine");
  EXPECT_EQ(Panes->Height, "7");
  // The session's own choice of default layout.
  SettingsStore().WriteString("Session", "DesktopName", "Startup Layout");
  SettingsStore().WriteString("Session", "DefaultDesktopName", "Mine");
  LoadDefaultDesktopState(Dir / "p.vproj", false);
  EXPECT_EQ(SelectedName(), "Mine");
  // A project file that is gone: nothing opens, the start-up layout.
  LoadDefaultDesktopState(Dir / "gone.vproj", false);
  EXPECT_EQ(SelectedName(), "Startup Layout");
}

TEST_F(Layouts, OpeningAndClosingFilesSwitchBetweenTheStartupAndDefaultLayouts) {
  // Before a layout is in force nothing switches, and the session is left alone.
  WriteText(Dir / "a.txt", "a\n");
  WriteText(Dir / "b.txt", "b\n");
  TSourceModule* A = Open("a.txt");
  EXPECT_EQ(SelectedName(), "(none)");
  EXPECT_EQ(Session("DesktopName"), "-");
  ASSERT_TRUE(A->Close(false));
  FreeModules(true);

  LoadDefaultDesktopState("", false);
  A = Open("a.txt");
  EXPECT_EQ(SelectedName(), "Default Layout");
  EXPECT_EQ(Session("DesktopName"), "Default Layout");
  TSourceModule* B = Open("b.txt");
  ASSERT_TRUE(A->SaveAndClose());
  EXPECT_EQ(SelectedName(), "Default Layout");  // b.txt is still open
  ASSERT_TRUE(B->SaveAndClose());
  EXPECT_EQ(SelectedName(), "Startup Layout");
  FreeModules(true);

  // Another layout chosen by the user stays when a file opens; a project keeps the start-up
  // layout away when the last file closes.
  UserLayout("Mine", "3");
  DesktopStates().GetDesktops();
  SwitchDesktopLayout("Mine");
  EXPECT_EQ(SelectedName(), "Mine");
  A = Open("a.txt");
  EXPECT_EQ(SelectedName(), "Mine");
  SwitchDesktopLayout("Default Layout");
  EXPECT_EQ(SelectedName(), "Mine");
  ASSERT_TRUE(A->SaveAndClose());
  EXPECT_EQ(SelectedName(), "Startup Layout");
  FreeModules(true);
  EXPECT_FALSE(FileDocModuleOpened());
}

TEST_F(Layouts, TheDebugLayoutHoldsWhileAProcessRunsAndTheLayoutBeforeComesBack) {
  UserLayout("Debug Layout", "99");
  LoadDefaultDesktopState("", false);
  WriteText(Dir / "a.txt", "a\n");
  Open("a.txt");
  ASSERT_EQ(SelectedName(), "Default Layout");
  Panes->Height = "20";  // the user moved a pane
  bool Checked = false;
  std::string Focus;
  DesktopStates().Hooks.FocusedWindow = [] { return std::string("Editor"); };
  DesktopStates().Hooks.RestoreFocus = [&](const std::string& W) { Focus = W; };
  DesktopStates().Hooks.CheckFileDates = [&] { Checked = true; };

  DesktopStates().ProcessCreated(true, true);  // stepping into it: no switch
  EXPECT_EQ(SelectedName(), "Default Layout");
  DesktopStates().ProcessCreated(true, false);
  EXPECT_EQ(SelectedName(), "Debug Layout");
  EXPECT_EQ(Panes->Height, "99");
  EXPECT_EQ(Session("DesktopName"), "Default Layout");  // the debug layout is not the user's choice
  DesktopStates().ProcessCreated(false, false);          // a second process changes nothing
  DesktopStates().ProcessTerminated(false);
  EXPECT_EQ(SelectedName(), "Debug Layout");
  DesktopStates().ProcessTerminated(true);
  EXPECT_EQ(SelectedName(), "Default Layout");
  EXPECT_EQ(Panes->Height, "20");  // from memory, as the user left it
  EXPECT_EQ(Focus, "Editor");
  EXPECT_TRUE(Checked);
}

}  // namespace
}  // namespace nxs::test
