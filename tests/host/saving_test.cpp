// nxs saving a user's files where links and permissions are in play: a command that cannot
// write says which file and exits 1, and every byte stays as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
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

class Saving : public ::testing::Test {
 protected:
  TTempDir Dir;
  TRunOptions Options{{}, {{"NXS_SETTINGS_DIR", Dir / "settings"}}, false};

  TRunResult Nxs(std::vector<std::string> Args) { return RunNxs(Args, Options); }
  void NewProject(const std::string& Name) {
    TRunResult R = Nxs({"project", "new", Name, "--personality", "Vellum.Personality"});
    ASSERT_EQ(R.Status, 0) << R.Err;
  }
};

}  // namespace

TEST_F(Saving, ProjectThroughALinkChangesTheLinkedFile) {
  std::filesystem::create_directory(Dir / "real");
  NewProject(Dir / "real/p.vproj");
  ASSERT_EQ(::symlink("real/p.vproj", (Dir / "p.vproj").c_str()), 0);
  ASSERT_EQ(::chmod((Dir / "real/p.vproj").c_str(), 0640), 0);

  TRunResult R = Nxs({"config", "set", Dir / "p.vproj", "Defines", "LINKED", "--config", "Debug"});
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_TRUE(std::filesystem::is_symlink(Dir / "p.vproj"));
  EXPECT_NE(ReadText(Dir / "real/p.vproj").find("LINKED"), std::string::npos);
  EXPECT_EQ(std::filesystem::status(Dir / "real/p.vproj").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
  R = Nxs({"config", "get", Dir / "real/p.vproj", "Defines", "--config", "Debug"});
  EXPECT_EQ(R.Out.find("LINKED") != std::string::npos, true) << R.Out;
}

TEST_F(Saving, ReadOnlyProjectIsRefusedAndKeepsEveryByte) {
  NewProject(Dir / "p.vproj");
  ASSERT_EQ(::chmod((Dir / "p.vproj").c_str(), 0444), 0);
  std::string Before = ReadText(Dir / "p.vproj");
  const auto Entries = [&] { return std::distance(std::filesystem::directory_iterator(Dir.Path()), {}); };
  const auto EntriesBefore = Entries();
  TRunResult R = Nxs({"config", "set", Dir / "p.vproj", "Defines", "LOST", "--config", "Debug"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err, "nxs: Cannot write file \"" + Dir / "p.vproj" + "\": the file is read-only\n");
  EXPECT_EQ(ReadText(Dir / "p.vproj"), Before);
  R = Nxs({"project", "format", Dir / "p.vproj"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(ReadText(Dir / "p.vproj"), Before);
  EXPECT_EQ(Entries(), EntriesBefore) << "a temporary file was left";
}

TEST_F(Saving, ProjectInAFolderTheUserMayNotWriteIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs another user's folder: run as the superuser";
  std::filesystem::create_directory(Dir / "theirs");
  NewProject(Dir / "theirs/p.vproj");
  ASSERT_EQ(::chmod((Dir / "theirs").c_str(), 0755), 0);
  ASSERT_EQ(::chmod((Dir / "theirs/p.vproj").c_str(), 0666), 0);
  Dir.OpenToAll();
  std::filesystem::create_directory(Dir / "settings");
  ASSERT_EQ(::chmod((Dir / "settings").c_str(), 0777), 0);
  std::string Before = ReadText(Dir / "theirs/p.vproj");
  Options.Unprivileged = true;
  TRunResult R = Nxs({"config", "set", Dir / "theirs/p.vproj", "Defines", "LOST", "--config", "Debug"});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err, "nxs: Cannot write file \"" + Dir / "theirs/p.vproj" + "\": Permission denied\n");
  EXPECT_EQ(ReadText(Dir / "theirs/p.vproj"), Before);
  R = Nxs({"project", "new", Dir / "theirs/q.vproj", "--personality", "Vellum.Personality"});
  EXPECT_EQ(R.Status, 1);
  // The main source goes first, so that a project file never stands without it.
  EXPECT_EQ(R.Err, "nxs: Cannot write file \"" + Dir / "theirs/q.vpr" + "\": Permission denied\n");
  EXPECT_FALSE(std::filesystem::exists(Dir / "theirs/q.vproj"));
}
