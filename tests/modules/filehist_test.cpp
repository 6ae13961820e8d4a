#include "modules/filehist.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "options/envoptions.h"
#include "modules/faultyfs.h"
#include "shared/settings.h"
#include "support/files.h"
#include "support/tempdir.h"

using namespace nxs;
using nxs::test::TTempDir;
namespace fs = std::filesystem;

namespace {

using nxs::test::ReadText;
using nxs::test::WriteText;

std::vector<std::string> Names(const std::vector<std::string>& Paths) {
  std::vector<std::string> R;
  for (const auto& P : Paths) R.push_back(fs::path(P).filename().string());
  return R;
}

// Each test starts from the initial settings and the disk.
class FileHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    FileHistorySettings() = TFileHistorySettings{};
    SetFileSystem(nullptr);
  }
  void TearDown() override {
    FileHistorySettings() = TFileHistorySettings{};
    SetFileSystem(nullptr);
  }
  TTempDir Dir;
};

}  // namespace

TEST_F(FileHistory, SingleCopyBesideTheFileWhenHistoryIsOffOrNotAllowed) {
  FileHistorySettings().CreateBackup = false;
  EXPECT_EQ(MakeBackupFileName(Dir / "a.txt", true), Dir / "a.~txt");
  EXPECT_EQ(MakeBackupFileName(Dir / "Makefile", true), Dir / "Makefile.~");
  FileHistorySettings().CreateBackup = true;
  EXPECT_EQ(MakeBackupFileName(Dir / "proj.dsk", false), Dir / "proj.~dsk");
  EXPECT_FALSE(fs::exists(Dir / "__history"));
}

TEST_F(FileHistory, NumberedBackupsInTheHistoryFolder) {
  WriteText(Dir / "u.txt", "v1");
  EXPECT_EQ(MakeBackupFileName(Dir / "u.txt", true), Dir / "__history/u.txt.~1~");
  EXPECT_TRUE(fs::is_directory(Dir / "__history"));
  for (int N : {1, 2, 3}) WriteText(Dir / ("__history/u.txt.~" + std::to_string(N) + "~"), "");
  EXPECT_EQ(MakeBackupFileName(Dir / "u.txt", true), Dir / "__history/u.txt.~4~");
  EXPECT_EQ(MakeBackupFileName(Dir / "noext", true), Dir / "__history/noext.~1~");
}

TEST_F(FileHistory, ElevenBackupsAtLimitTenLoseOnlyTheLowest) {
  fs::create_directories(Dir / "__history");
  for (int N = 2; N <= 12; ++N) WriteText(Dir / ("__history/x.pas.~" + std::to_string(N) + "~"), std::to_string(N));
  FileHistorySettings().FileBackupLevel = 10;
  WriteText(Dir / "x.pas", "13");
  EXPECT_EQ(BackupExistingFile(Dir / "x.pas"), Dir / "__history/x.pas.~13~");
  std::vector<std::string> Left = Names(GetBackupFiles(Dir / "__history/x.pas"));
  ASSERT_EQ(Left.size(), 11u);
  EXPECT_EQ(Left.front(), "x.pas.~3~");
  EXPECT_EQ(Left.back(), "x.pas.~13~");
}

TEST_F(FileHistory, BackupsSortByNumberAndOtherFilesAreNotBackups) {
  fs::create_directories(Dir / "__history");
  for (const char* N : {"u.txt.~10~", "u.txt.~2~", "U.TXT.~1~", "u.txt.bak", "u.txt.~3", "v.txt.~4~", "u.txt2.~5~",
                        "u.txt.~old~"})
    WriteText(Dir / (std::string("__history/") + N), "");
  fs::create_directories(Dir / "__history/u.txt.~7~");  // a folder is not a backup
  EXPECT_EQ(Names(GetBackupFiles(Dir / "__history/u.txt")),
            (std::vector<std::string>{"u.txt.~old~", "u.txt.~2~", "u.txt.~10~"}))
      << "U.TXT.~1~ belongs to another file";
  EXPECT_TRUE(GetBackupFiles(Dir / "missing/__history/u.txt").empty());

  EXPECT_EQ(GetBackupNumber("u.txt.~12~"), 12);
  EXPECT_EQ(GetBackupNumber("u.txt.~12x~"), 12);
  EXPECT_EQ(GetBackupNumber("u.txt.~~"), 0);
  EXPECT_EQ(GetBackupNumber("plain"), 0);
  // Neither the folders nor the file's own name lend a number.
  EXPECT_EQ(GetBackupNumber("/tmp/x9/__history/unit2.pas.~old~"), 0);
  EXPECT_EQ(GetBackupNumber("/tmp/x9/__history/unit2.pas.~7~"), 7);
  EXPECT_EQ(GetBackupNumber("u.txt.~99999999999999999999~"), 999999999);
  EXPECT_EQ(GetBackupIdent("u.txt.~4~"), "~");
  EXPECT_EQ(GetBackupIdent("u.txt.~4abc~"), "abc~");
}

TEST_F(FileHistory, DeleteOldBackupEventDecidesInsteadOfDeleting) {
  fs::create_directories(Dir / "__history");
  for (int N = 1; N <= 3; ++N) WriteText(Dir / ("__history/a.c.~" + std::to_string(N) + "~"), "");
  FileHistorySettings().FileBackupLevel = 3;
  std::vector<std::string> Given;
  FileHistorySettings().DeleteOldBackupFile = [&](const std::vector<std::string>& B) { Given = Names(B); };
  WriteText(Dir / "a.c", "4");
  EXPECT_EQ(BackupExistingFile(Dir / "a.c"), Dir / "__history/a.c.~4~");
  EXPECT_EQ(Given, (std::vector<std::string>{"a.c.~1~", "a.c.~2~", "a.c.~3~"}));
  EXPECT_EQ(GetBackupFiles(Dir / "__history/a.c").size(), 4u);
}

// A save killed by SIGKILL after its backup got its name, before the temporary file it was
// written to was removed, leaves that file behind; the next save makes the next number, so
// it is the next backup of the file that takes it away.
TEST_F(FileHistory, ABackupTakesAwayWhatAKilledBackupOfTheSameFileLeft) {
  pid_t Gone = ::fork();
  if (Gone == 0) ::_exit(0);
  ASSERT_GT(Gone, 0);
  ASSERT_EQ(::waitpid(Gone, nullptr, 0), Gone);
  fs::create_directories(Dir / "__history");
  const std::string Dead = std::to_string(Gone), Alive = std::to_string(::getpid());
  for (const std::string& N : {std::string("f.txt.~44~"), "f.txt.~44~.tmp" + Dead + ".0", "f.txt.~43~.tmp" + Alive + ".0",
                               "g.txt.~2~.tmp" + Dead + ".0", "f.txt.~44~.tmp" + Dead})
    WriteText(Dir / ("__history/" + N), "");
  WriteText(Dir / "f.txt", "45");
  EXPECT_EQ(BackupExistingFile(Dir / "f.txt"), Dir / "__history/f.txt.~45~");
  std::vector<std::string> Left;
  for (const auto& E : fs::directory_iterator(Dir / "__history")) Left.push_back(E.path().filename().string());
  std::sort(Left.begin(), Left.end());
  EXPECT_EQ(Left, (std::vector<std::string>{"f.txt.~43~.tmp" + Alive + ".0", "f.txt.~44~", "f.txt.~44~.tmp" + Dead,
                                            "f.txt.~45~", "g.txt.~2~.tmp" + Dead + ".0"}))
      << "only the dead writer's temporary file of this file's backups goes";
}

TEST_F(FileHistory, SavingKeepsTheOldContentsAsABackup) {
  WriteText(Dir / "m.pas", "old");
  WriteFileWithBackup(Dir / "m.pas", "new");
  EXPECT_EQ(ReadText(Dir / "m.pas"), "new");
  EXPECT_EQ(ReadText(Dir / "__history/m.pas.~1~"), "old");
  WriteFileWithBackup(Dir / "fresh.pas", "first");  // nothing to keep yet
  EXPECT_EQ(ReadText(Dir / "fresh.pas"), "first");
  EXPECT_FALSE(fs::exists(Dir / "__history/fresh.pas.~1~"));
}

TEST_F(FileHistory, FailuresNameTheFolderOrFileAndLeaveTheFileAsItWas) {
  WriteText(Dir / "m.pas", "precious");
  WriteText(Dir / "__history", "a file where the folder should be");
  try {
    WriteFileWithBackup(Dir / "m.pas", "new");
    FAIL() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(std::string(E.what()), "Unable to create backup folder '" + Dir.Path() + "/__history/'");
  }
  EXPECT_EQ(ReadText(Dir / "m.pas"), "precious");

  fs::remove(Dir / "__history");
  auto Faulty = std::make_shared<nxs::test::TFaultyFileSystem>();
  Faulty->FailWritesTo = ".~1~";
  SetFileSystem(Faulty);
  try {
    WriteFileWithBackup(Dir / "m.pas", "new");
    FAIL() << "no error";
  } catch (const Exception& E) {
    std::string Backup = Dir / "__history/m.pas.~1~";
    EXPECT_EQ(std::string(E.what()), "Unable to write backup file '" + Backup + "': Cannot write file \"" + Backup +
                                         "\": No space left on device");
  }
  EXPECT_EQ(ReadText(Dir / "m.pas"), "precious");
}

TEST_F(FileHistory, SettingsFollowTheEnvironmentOptions) {
  TSettingsStore Store(Dir / "settings.ini");
  TEnvironmentOptions Options(Store);
  Options.LoadOptions();
  {
    TFileHistoryOptionsLink Link(Options);
    Options.SetOption(Options.EditorOptions(), 0, "File Backup Level", int64_t{3});
    EXPECT_EQ(FileHistorySettings().FileBackupLevel, 3);
    Options.SetOption(Options.EditorOptions(), 0, "Create Backup File", false);
    EXPECT_FALSE(FileHistorySettings().CreateBackup);
    EXPECT_EQ(MakeBackupFileName(Dir / "a.txt", true), Dir / "a.~txt");
  }
  // Unlinked, changes no longer reach the settings.
  Options.SetOption(Options.EditorOptions(), 0, "File Backup Level", int64_t{7});
  EXPECT_EQ(FileHistorySettings().FileBackupLevel, 3);
}

TEST_F(FileHistory, ABackupThatFailsAtTheLimitCostsNoOlderBackup) {
  fs::create_directories(Dir / "__history");
  for (int N = 1; N <= 3; ++N) WriteText(Dir / ("__history/m.pas.~" + std::to_string(N) + "~"), std::to_string(N));
  FileHistorySettings().FileBackupLevel = 3;
  WriteText(Dir / "m.pas", "4");
  auto Faulty = std::make_shared<nxs::test::TFaultyFileSystem>();
  Faulty->FailWritesTo = ".~4~";
  SetFileSystem(Faulty);
  EXPECT_THROW(BackupExistingFile(Dir / "m.pas"), Exception);
  EXPECT_EQ(Names(GetBackupFiles(Dir / "__history/m.pas")), (std::vector<std::string>{"m.pas.~1~", "m.pas.~2~", "m.pas.~3~"}));
  // Once it can be written, the new backup is there before the oldest goes.
  Faulty->FailWritesTo.clear();
  EXPECT_EQ(BackupExistingFile(Dir / "m.pas"), Dir / "__history/m.pas.~4~");
  EXPECT_EQ(Names(GetBackupFiles(Dir / "__history/m.pas")), (std::vector<std::string>{"m.pas.~2~", "m.pas.~3~", "m.pas.~4~"}));
}

TEST_F(FileHistory, FilesWhoseNamesDifferInCaseKeepTheirOwnBackups) {
  FileHistorySettings().FileBackupLevel = 1;
  WriteText(Dir / "README.md", "upper");
  WriteText(Dir / "Readme.md", "mixed");
  for (int Round = 0; Round < 2; ++Round) {
    BackupExistingFile(Dir / "README.md");
    BackupExistingFile(Dir / "Readme.md");
  }
  std::vector<std::string> Upper = GetBackupFiles(Dir / "__history/README.md");
  std::vector<std::string> Mixed = GetBackupFiles(Dir / "__history/Readme.md");
  ASSERT_EQ(Upper.size(), 1u);
  ASSERT_EQ(Mixed.size(), 1u);
  EXPECT_EQ(ReadText(Upper[0]), "upper");
  EXPECT_EQ(ReadText(Mixed[0]), "mixed");
}

namespace {

// Another session saving the same file, acting just before this one: it takes the backup
// name this one chose, or prunes the backup this one is about to prune.
class TRacingFileSystem : public TDiskFileSystem {
 public:
  std::string OtherText = "the other session's";
  int Races = 1;

  bool CreateNewFile(const std::string& Name, std::string_view Data) override {
    if (Races-- > 0) WriteFileAtomic(Name, OtherText);
    return TDiskFileSystem::CreateNewFile(Name, Data);
  }
  void DeleteFile(const std::string& Name) override {
    std::filesystem::remove(Name);
    TDiskFileSystem::DeleteFile(Name);
  }
};

}  // namespace

TEST_F(FileHistory, AnotherSessionSavingTheSameFileCostsNoBackupAndNoSave) {
  fs::create_directories(Dir / "__history");
  for (int N = 1; N <= 3; ++N) WriteText(Dir / ("__history/m.pas.~" + std::to_string(N) + "~"), std::to_string(N));
  FileHistorySettings().FileBackupLevel = 3;
  WriteText(Dir / "m.pas", "mine");
  auto Racing = std::make_shared<TRacingFileSystem>();
  SetFileSystem(Racing);
  // The other session took number 4 and pruned number 1: this backup is number 5, and the
  // oldest being gone already counts as pruned.
  WriteFileWithBackup(Dir / "m.pas", "saved");
  EXPECT_EQ(ReadText(Dir / "m.pas"), "saved");
  EXPECT_EQ(Names(GetBackupFiles(Dir / "__history/m.pas")),
            (std::vector<std::string>{"m.pas.~2~", "m.pas.~3~", "m.pas.~4~", "m.pas.~5~"}));
  EXPECT_EQ(ReadText(Dir / "__history/m.pas.~4~"), "the other session's");
  EXPECT_EQ(ReadText(Dir / "__history/m.pas.~5~"), "mine");
  // A backup that cannot be deleted for another reason still stops the save.
  SetFileSystem(nullptr);
  auto Faulty = std::make_shared<nxs::test::TFaultyFileSystem>();
  Faulty->FailDeletesOf = ".~2~";
  SetFileSystem(Faulty);
  EXPECT_THROW(WriteFileWithBackup(Dir / "m.pas", "again"), EInOutError);
  EXPECT_EQ(ReadText(Dir / "m.pas"), "saved");
}
