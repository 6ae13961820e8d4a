// nxs and the user's settings: what could not be read is never replaced, links and
// permissions are respected, lists survive commands run at once, and what is printed
// cannot be mistaken for other lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/files.h"
#include "support/run.h"
#include "support/tempdir.h"

using nxs::test::RunNxs;
using nxs::test::TRunOptions;
using nxs::test::TRunResult;
using nxs::test::ReadText;
using nxs::test::TTempDir;

namespace {

class Settings : public ::testing::Test {
 protected:
  TTempDir Dir;
  std::string SettingsFile = Dir / "settings/settings.ini";
  TRunOptions Options{{}, {{"NXS_SETTINGS_DIR", Dir / "settings"}}, false};

  TRunResult Nxs(std::vector<std::string> Args) { return RunNxs(Args, Options); }
  void Ok(std::vector<std::string> Args) {
    TRunResult R = Nxs(Args);
    ASSERT_EQ(R.Status, 0) << R.Err;
  }
  // From here on nxs runs as a user without the superuser's way around permissions.
  void AsUnprivileged() {
    Dir.OpenToAll();
    Options.Unprivileged = true;
  }
};

}  // namespace

TEST_F(Settings, AnUnreadableFileIsReportedAndKeepsEverySetting) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a file its owner cannot read: run as the superuser";
  AsUnprivileged();
  Ok({"options", "set", "Editor\\Options", "Undo Limit", "100"});
  Ok({"history", "favorites", "add", "/p/a.vproj"});
  std::string Before = ReadText(SettingsFile);
  ASSERT_EQ(::chmod(SettingsFile.c_str(), 0200), 0);
  const std::string Cause = "Cannot read file \"" + SettingsFile + "\": Permission denied";

  TRunResult R = Nxs({"options", "show", "Editor\\Options"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(R.Err, "nxs: " + Cause + "\n");
  R = Nxs({"options", "set", "Editor\\Options", "Tab Width", "3"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err, "nxs: " + Cause + "\n");
  R = Nxs({"history", "favorites", "add", "/p/b.vproj"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err, "nxs: The settings file \"" + SettingsFile + "\" cannot be read, so nothing is saved to it: " + Cause + "\n");
  EXPECT_EQ(ReadText(SettingsFile), Before);
}

TEST_F(Settings, ALinkedSettingsFileIsFollowedAndAReadOnlyOneRefused) {
  std::filesystem::create_directories(Dir / "settings");
  std::filesystem::create_directories(Dir / "dotfiles");
  ASSERT_EQ(::symlink((Dir / "dotfiles/settings.ini").c_str(), SettingsFile.c_str()), 0);
  Ok({"options", "set", "Editor\\Options", "Undo Limit", "100"});
  Ok({"history", "favorites", "add", "/p/a.vproj"});
  EXPECT_TRUE(std::filesystem::is_symlink(SettingsFile));
  EXPECT_NE(ReadText(Dir / "dotfiles/settings.ini").find("int:100"), std::string::npos);

  ASSERT_EQ(::chmod((Dir / "dotfiles/settings.ini").c_str(), 0444), 0);
  std::string Before = ReadText(SettingsFile);
  TRunResult R = Nxs({"options", "set", "Editor\\Options", "Undo Limit", "200"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err, "nxs: Cannot write file \"" + SettingsFile + "\": the file is read-only\n");
  EXPECT_EQ(ReadText(SettingsFile), Before);
  R = Nxs({"options", "show", "Editor\\Options"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Out.find("\nUndo Limit=100\n"), std::string::npos);
}

TEST_F(Settings, AValueWithALineBreakIsShownOnOneLine) {
  Ok({"options", "set", "Editor\\Options", "Editor Font", "Mono\n[Editor\\Fake]\nInsert=False"});
  Ok({"options", "set", "Editor\\Options", "Editor SpeedSetting", "\"quoted\""});
  TRunResult R = Nxs({"options", "show", "Editor\\Options"});
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Out.find("\nEditor Font=\"Mono\\n[Editor\\\\Fake]\\nInsert=False\"\n"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("\nEditor SpeedSetting=\"\\\"quoted\\\"\"\n"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find("\n[Editor\\Fake]"), std::string::npos);
  EXPECT_NE(R.Out.find("\nInsert=True\n"), std::string::npos);
  EXPECT_EQ(R.Out.find("\nInsert=False\n"), std::string::npos);
}

TEST_F(Settings, FavouritesAddedByCommandsRunAtOnceAreAllKept) {
  const int kEach = 12;
  ASSERT_TRUE(nxs::test::RunInProcesses(2, [&](int P) {
    for (int I = 0; I < kEach; ++I)
      if (RunNxs({"history", "favorites", "add", "/p/" + std::to_string(P) + "-" + std::to_string(I)}, Options).Status != 0)
        throw 1;
  }));
  TRunResult R = Nxs({"history", "favorites"});
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(std::count(R.Out.begin(), R.Out.end(), '\n'), 2 * kEach) << R.Out;
}

TEST_F(Settings, ABackupThatCannotBeMadeCostsNoOlderBackup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a file its owner cannot read: run as the superuser";
  AsUnprivileged();
  Ok({"options", "set", "Editor\\Options", "File Backup Level", "2"});
  std::filesystem::create_directories(Dir / "src");
  ::chmod((Dir / "src").c_str(), 0777);
  std::string File = Dir / "src/main.pas";
  for (const char* Text : {"one", "two"}) {
    std::ofstream(File) << Text;
    Ok({"history", "backup", File});
  }
  ::chmod(File.c_str(), 0200);
  TRunResult R = Nxs({"history", "backup", File});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(ReadText(Dir / "src/__history/main.pas.~1~"), "one");
  EXPECT_EQ(ReadText(Dir / "src/__history/main.pas.~2~"), "two");
}
