// nxs saving a user's files where links, permissions, other processes and signals are in
// play: a command that cannot write says which file and exits 1, and every byte stays as it
// was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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

namespace {

// Whether the file is one of the versions the racing sessions below write: lines "P<n>R<n>"
// typed by the sessions, then the text they all started from.
bool IsWholeVersion(const std::string& Text) {
  const std::string Base = "base\n";
  if (Text.size() < Base.size() || Text.compare(Text.size() - Base.size(), Base.size(), Base) != 0) return false;
  std::istringstream Lines(Text.substr(0, Text.size() - Base.size()));
  for (std::string L; std::getline(Lines, L);) {
    size_t R = L.find('R');
    if (L.size() < 4 || L[0] != 'P' || R == std::string::npos || R < 2 || R + 1 == L.size()) return false;
    if (L.find_first_not_of("0123456789", 1) != R || L.find_first_not_of("0123456789", R + 1) != std::string::npos)
      return false;
  }
  return true;
}

}  // namespace

TEST_F(Saving, SessionsSavingOneFileAtOnceAllSucceedAndKeepEveryBackupWhole) {
  constexpr int Sessions = 4, Rounds = 20;
  const std::string File = Dir / "f.txt";
  const auto Race = [&](int Level) {
    std::filesystem::remove_all(Dir / "__history");
    nxs::test::WriteText(File, "base\n");
    TRunResult R = Nxs({"options", "set", "Editor\\Options", "File Backup Level", std::to_string(Level)});
    ASSERT_EQ(R.Status, 0) << R.Err;
    ASSERT_TRUE(nxs::test::RunInProcesses(Sessions, [&](int P) {
      std::string Script;
      for (int Round = 1; Round <= Rounds; ++Round)
        Script += "InsertText P" + std::to_string(P) + "R" + std::to_string(Round) + "\\n\nSaveFile\n";
      TRunOptions Mine = Options;
      Mine.Input = Script;
      TRunResult Run = RunNxs({"ed", File}, Mine);
      if (Run.Status != 0) throw std::runtime_error(Run.Err);
    })) << "a save failed";
    EXPECT_TRUE(IsWholeVersion(ReadText(File))) << ReadText(File);
  };
  const auto Backups = [&] {
    std::vector<std::string> Names;
    for (const auto& E : std::filesystem::directory_iterator(Dir / "__history")) Names.push_back(E.path());
    return Names;
  };

  // Room for every backup: each save kept its own, under its own number.
  Race(90);
  std::vector<std::string> Kept = Backups();
  EXPECT_EQ(Kept.size(), static_cast<size_t>(Sessions * Rounds));
  for (const auto& B : Kept) EXPECT_TRUE(IsWholeVersion(ReadText(B))) << B;

  // Two at most: the sessions prune each other's oldest backups, and no save fails for it.
  Race(2);
  Kept = Backups();
  EXPECT_GE(Kept.size(), 2u);
  EXPECT_LE(Kept.size(), static_cast<size_t>(2 + Sessions));
  for (const auto& B : Kept) EXPECT_TRUE(IsWholeVersion(ReadText(B))) << B;
}

namespace {

// nxs ed running in the background on a script given at once.
struct TBackgroundEd {
  pid_t Pid = -1;
  TBackgroundEd(const std::string& File, const std::string& Script, const std::vector<std::pair<std::string, std::string>>& Env,
                int IgnoredSignal = 0) {
    const std::string ScriptFile = File + ".nxs";
    nxs::test::WriteText(ScriptFile, Script);
    std::fflush(nullptr);
    Pid = ::fork();
    if (Pid != 0) return;
    for (const auto& [Name, Value] : Env) ::setenv(Name.c_str(), Value.c_str(), 1);
    if (IgnoredSignal) ::signal(IgnoredSignal, SIG_IGN);
    const std::string Program = nxs::test::NxsBinary();
    ::execl(Program.c_str(), Program.c_str(), "ed", File.c_str(), "--script", ScriptFile.c_str(), nullptr);
    ::_exit(127);
  }
  int Wait() {
    int Status = -1;
    ::waitpid(Pid, &Status, 0);
    return Status;
  }
};

// The temporary files beside File (its name, ".tmp", then the writer's number).
std::vector<std::string> TemporaryFiles(const std::string& File) {
  std::vector<std::string> Found;
  const std::string Prefix = std::filesystem::path(File).filename().string() + ".tmp";
  for (const auto& E : std::filesystem::directory_iterator(std::filesystem::path(File).parent_path()))
    if (E.path().filename().string().rfind(Prefix, 0) == 0) Found.push_back(E.path());
  return Found;
}

}  // namespace

TEST_F(Saving, ASaveInterruptedBySignalLeavesTheFileWholeAndNoTemporaryFile) {
  // Large enough that writing it out takes a while after its temporary file appears.
  const std::string File = Dir / "big.txt";
  const std::string Line = std::string(999, 'x') + "\n";
  const int Lines = 32 * 1024;  // 32 MB
  const auto WriteOld = [&] {
    std::ofstream Out(File, std::ios::binary | std::ios::trunc);
    for (int I = 0; I < Lines; ++I) Out << Line;
  };
  const uintmax_t Size = static_cast<uintmax_t>(Lines) * Line.size();
  // The old text, or the new one with its "y" typed at the start.
  const auto Whole = [&] {
    std::ifstream In(File, std::ios::binary);
    char First = 0;
    In.get(First);
    const uintmax_t Now = std::filesystem::file_size(File);
    return (First == 'x' && Now == Size) || (First == 'y' && Now == Size + 1);
  };
  WriteOld();
  for (int Signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(Signal);
    // A signal that comes once the save is done interrupts nothing: then it is sent again to
    // a new save, a few times at most.
    bool Interrupted = false;
    int Status = -1;
    for (int Attempt = 0; Attempt < 5 && !Interrupted; ++Attempt) {
      TBackgroundEd Ed(File, "InsertText y\nSaveFile\n", Options.Env);
      const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
      bool Ended = false;
      while (!Ended && TemporaryFiles(File).empty() && std::chrono::steady_clock::now() < Deadline)
        Ended = ::waitpid(Ed.Pid, &Status, WNOHANG) == Ed.Pid;
      if (!Ended) {
        ::kill(Ed.Pid, Signal);
        Status = Ed.Wait();
      }
      EXPECT_TRUE(TemporaryFiles(File).empty()) << TemporaryFiles(File).front();
      EXPECT_TRUE(Whole()) << "the file is damaged";
      Interrupted = WIFSIGNALED(Status) && WTERMSIG(Status) == Signal && std::filesystem::file_size(File) == Size;
      if (!Interrupted) WriteOld();
    }
    EXPECT_TRUE(Interrupted) << "no save was interrupted; the last ended with status " << Status;
  }
  // Nothing was left in the history folder either, where each save kept its backup first.
  for (const auto& E : std::filesystem::directory_iterator(Dir / "__history"))
    EXPECT_EQ(E.path().string().find(".tmp"), std::string::npos) << E.path();
}
