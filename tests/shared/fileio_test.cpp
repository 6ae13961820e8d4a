#include "shared/fileio.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "shared/exceptions.h"
#include "support/errorof.h"
#include "support/run.h"
#include "support/tempdir.h"

using namespace nxs;
using nxs::test::ErrorOf;
using nxs::test::TTempDir;

namespace {

// Collects what a read puts into it, in rooms of at most MaxRoom bytes.
class TCollect : public IReadTarget {
 public:
  explicit TCollect(size_t MaxRoom = SIZE_MAX, size_t StopAfter = SIZE_MAX) : FMaxRoom(MaxRoom), FStopAfter(StopAfter) {}
  std::span<char> Room(size_t Wanted) override {
    Wanteds.push_back(Wanted);
    FRoom.assign(std::min(Wanted, FMaxRoom), '#');
    return FRoom;
  }
  bool Filled(size_t Count, bool AtEnd) override {
    Text.append(FRoom.data(), Count);
    Ends.push_back(AtEnd);
    return Ends.size() < FStopAfter;
  }
  std::string Text;
  std::vector<size_t> Wanteds;
  std::vector<bool> Ends;

 private:
  size_t FMaxRoom, FStopAfter;
  std::string FRoom;
};

// A file system that only knows how to read one text whole.
class TTextFileSystem : public TDiskFileSystem {
 public:
  std::string Content;
  std::string ReadFile(const std::string&) override { return Content; }
};

}  // namespace

TEST(ReadFileInto, DiskFileArrivesInOneRoomOrInPiecesAndStopsWhenTold) {
  TTempDir Dir;
  std::string Data;
  for (int I = 0; I < 1000; ++I) Data += "line " + std::to_string(I) + "\r\n";
  WriteFileAtomic(Dir / "a.txt", Data);
  TDiskFileSystem Disk;

  TCollect Whole;
  Disk.ReadFileInto(Dir / "a.txt", Whole);
  EXPECT_EQ(Whole.Text, Data);
  EXPECT_EQ(Whole.Wanteds, std::vector<size_t>{Data.size() + 1});
  EXPECT_EQ(Whole.Ends, std::vector<bool>{true});

  // A target that gives less room than asked gets the rest in further rooms.
  TCollect Small(1000);
  Disk.ReadFileInto(Dir / "a.txt", Small);
  EXPECT_EQ(Small.Text, Data);
  ASSERT_EQ(Small.Ends.size(), Data.size() / 1000 + 1);
  EXPECT_TRUE(Small.Ends.back());
  EXPECT_EQ(std::count(Small.Ends.begin(), Small.Ends.end(), true), 1);

  TCollect Stopping(1000, 2);
  Disk.ReadFileInto(Dir / "a.txt", Stopping);
  EXPECT_EQ(Stopping.Text, Data.substr(0, 2000));

  WriteFileAtomic(Dir / "empty.txt", "");
  TCollect Empty;
  Disk.ReadFileInto(Dir / "empty.txt", Empty);
  EXPECT_EQ(Empty.Text, "");
  EXPECT_EQ(Empty.Ends, std::vector<bool>{true});
}

TEST(ReadFileInto, FailsLikeReadFile) {
  TTempDir Dir;
  TDiskFileSystem Disk;
  for (std::string Name : {Dir / "missing.txt", Dir.Path()}) {
    std::string Expected;
    try {
      Disk.ReadFile(Name);
    } catch (const EInOutError& E) {
      Expected = E.what();
    }
    ASSERT_FALSE(Expected.empty());
    TCollect Target;
    try {
      Disk.ReadFileInto(Name, Target);
      ADD_FAILURE() << "no error for " << Name;
    } catch (const EInOutError& E) {
      EXPECT_EQ(std::string(E.what()), Expected);
    }
    EXPECT_TRUE(Target.Wanteds.empty());
  }
}

TEST(ReadFileInto, FileSystemThatOnlyReadsWholeFilesHandsOverItsText) {
  TTextFileSystem Fs;
  Fs.Content = std::string(2500, 'x') + "end";
  IFileSystem& Base = Fs;
  TCollect Small(1000);
  Base.IFileSystem::ReadFileInto("any", Small);
  EXPECT_EQ(Small.Text, Fs.Content);
  EXPECT_EQ(Small.Ends, (std::vector<bool>{false, false, true}));

  Fs.Content.clear();
  TCollect Empty;
  Base.IFileSystem::ReadFileInto("any", Empty);
  EXPECT_EQ(Empty.Ends, std::vector<bool>{true});
}

TEST(FileWriter, PiecesReachTheFileOnlyAtCommit) {
  TTempDir Dir;
  std::string Name = Dir / "out.txt";
  WriteFileAtomic(Name, "old");
  TDiskFileSystem Disk;
  {
    std::unique_ptr<IFileWriter> File = Disk.CreateFileWriter(Name);
    File->Write("new ");
    File->Write("text");
    EXPECT_EQ(ReadWholeFile(Name), "old");
    File->Commit();
  }
  EXPECT_EQ(ReadWholeFile(Name), "new text");
  {
    // Given up on the way: the file stays as it was and nothing is left beside it.
    std::unique_ptr<IFileWriter> File = Disk.CreateFileWriter(Name);
    File->Write("half");
  }
  EXPECT_EQ(ReadWholeFile(Name), "new text");
  EXPECT_EQ(Disk.ListDirectory(Dir.Path()), std::vector<std::string>{"out.txt"});

  std::string Missing = Dir / "no/such/dir/x.txt";
  std::string Expected;
  try {
    Disk.WriteFile(Missing, "x");
  } catch (const EInOutError& E) {
    Expected = E.what();
  }
  ASSERT_FALSE(Expected.empty());
  try {
    Disk.CreateFileWriter(Missing);
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& E) {
    EXPECT_EQ(std::string(E.what()), Expected);
  }
}

TEST(FileWriter, FileSystemThatOnlyWritesWholeFilesGetsThePiecesAtCommit) {
  struct TRecording : TTextFileSystem {
    std::vector<std::pair<std::string, std::string>> Writes;
    void WriteFile(const std::string& Name, std::string_view Data) override { Writes.emplace_back(Name, Data); }
  } Fs;
  std::unique_ptr<IFileWriter> File = Fs.IFileSystem::CreateFileWriter("p.vproj");
  File->Write("a");
  File->Write("b");
  EXPECT_TRUE(Fs.Writes.empty());
  File->Commit();
  EXPECT_EQ(Fs.Writes, (std::vector<std::pair<std::string, std::string>>{{"p.vproj", "ab"}}));
  // Given up on the way: nothing is written.
  Fs.IFileSystem::CreateFileWriter("q.vproj")->Write("c");
  EXPECT_EQ(Fs.Writes.size(), 1u);
}

namespace {

mode_t ModeOf(const std::string& Name) {
  struct stat St;
  return ::stat(Name.c_str(), &St) == 0 ? St.st_mode & 07777 : 0;
}

bool IsLink(const std::string& Name) {
  struct stat St;
  return ::lstat(Name.c_str(), &St) == 0 && S_ISLNK(St.st_mode);
}

}  // namespace

// Every writer ends in the same helper, whole or in pieces; each way is tried.
TEST(AtomicWrite, ThroughLinksReplacesTheLinkedFileAndKeepsTheLinks) {
  TTempDir Dir;
  std::filesystem::create_directory(Dir / "real");
  WriteFileAtomic(Dir / "real/p.vproj", "old");
  // A relative link to an absolute link to the file.
  ASSERT_EQ(::symlink((Dir / "real/p.vproj").c_str(), (Dir / "abs").c_str()), 0);
  ASSERT_EQ(::symlink("abs", (Dir / "rel").c_str()), 0);
  TDiskFileSystem Disk;

  WriteFileAtomic(Dir / "rel", "whole");
  EXPECT_EQ(ReadWholeFile(Dir / "real/p.vproj"), "whole");
  Disk.WriteFile(Dir / "abs", "seam");
  EXPECT_EQ(ReadWholeFile(Dir / "real/p.vproj"), "seam");
  std::unique_ptr<IFileWriter> File = Disk.CreateFileWriter(Dir / "rel");
  File->Write("pie");
  File->Write("ces");
  File->Commit();
  EXPECT_EQ(ReadWholeFile(Dir / "real/p.vproj"), "pieces");
  EXPECT_TRUE(IsLink(Dir / "rel"));
  EXPECT_TRUE(IsLink(Dir / "abs"));
  // Nothing was left beside the link or the file.
  EXPECT_EQ(Disk.ListDirectory(Dir / "real"), std::vector<std::string>{"p.vproj"});

  // A link to a file not made yet makes it.
  ASSERT_EQ(::symlink("real/new.txt", (Dir / "dangling").c_str()), 0);
  WriteFileAtomic(Dir / "dangling", "made");
  EXPECT_TRUE(IsLink(Dir / "dangling"));
  EXPECT_EQ(ReadWholeFile(Dir / "real/new.txt"), "made");

  // A loop of links is an error naming the file, not a hang.
  ASSERT_EQ(::symlink("loop2", (Dir / "loop1").c_str()), 0);
  ASSERT_EQ(::symlink("loop1", (Dir / "loop2").c_str()), 0);
  EXPECT_EQ(ErrorOf<EInOutError>([&] { WriteFileAtomic(Dir / "loop1", "x"); }),
            "Cannot write file \"" + Dir / "loop1" + "\": Too many levels of symbolic links");
}

TEST(AtomicWrite, KeepsTheModeOfTheFileItReplaces) {
  TTempDir Dir;
  TDiskFileSystem Disk;
  mode_t Old = ::umask(022);
  for (mode_t Mode : {mode_t(0600), mode_t(0664), mode_t(0755)}) {
    std::string Name = Dir / ("f" + std::to_string(Mode));
    WriteFileAtomic(Name, "a");
    ASSERT_EQ(::chmod(Name.c_str(), Mode), 0);
    WriteFileAtomic(Name, "b");
    EXPECT_EQ(ModeOf(Name), Mode) << Name;
    std::unique_ptr<IFileWriter> File = Disk.CreateFileWriter(Name);
    File->Write("c");
    File->Commit();
    EXPECT_EQ(ModeOf(Name), Mode) << Name;
  }
  // A new file gets what the umask leaves of read and write for all.
  WriteFileAtomic(Dir / "new", "n");
  EXPECT_EQ(ModeOf(Dir / "new"), mode_t(0644));
  ::umask(Old);
}

TEST(AtomicWrite, RefusesWhatTheUserMayNotWriteAndChangesNothing) {
  TTempDir Dir;
  TDiskFileSystem Disk;
  std::string Name = Dir / "p.vproj";
  WriteFileAtomic(Name, "keep");
  ASSERT_EQ(::chmod(Name.c_str(), 0444), 0);
  ASSERT_EQ(::symlink("p.vproj", (Dir / "link").c_str()), 0);
  const std::string Refused = "Cannot write file \"" + Name + "\": the file is read-only";
  EXPECT_EQ(ErrorOf<EInOutError>([&] { WriteFileAtomic(Name, "lost"); }), Refused);
  EXPECT_EQ(ErrorOf<EInOutError>([&] { Disk.WriteFile(Name, "lost"); }), Refused);
  EXPECT_EQ(ErrorOf<EInOutError>([&] { Disk.CreateFileWriter(Name); }), Refused);
  // The message names the file as the caller named it.
  EXPECT_EQ(ErrorOf<EInOutError>([&] { WriteFileAtomic(Dir / "link", "lost"); }),
            "Cannot write file \"" + Dir / "link" + "\": the file is read-only");
  EXPECT_EQ(ReadWholeFile(Name), "keep");
  EXPECT_EQ(ModeOf(Name), mode_t(0444));
  EXPECT_EQ(Disk.ListDirectory(Dir.Path()).size(), 2u);

  // A file and a folder of another user, writable only by that user.
  ASSERT_EQ(::chmod(Name.c_str(), 0644), 0);
  std::filesystem::create_directory(Dir / "locked");
  ASSERT_EQ(::chmod((Dir / "locked").c_str(), 0755), 0);
  Dir.OpenToAll();
  if (::geteuid() != 0) GTEST_SKIP() << "needs another user's files: run as the superuser";
  std::string Seen = nxs::test::RunUnprivileged([&] {
    return ErrorOf<EInOutError>([&] { WriteFileAtomic(Name, "lost"); }) + "\n" +
           ErrorOf<EInOutError>([&] { WriteFileAtomic(Dir / "locked/new.txt", "lost"); });
  });
  EXPECT_EQ(Seen, "Cannot write file \"" + Name + "\": the file is read-only\nCannot write file \"" + Dir /
                      "locked/new.txt" + "\": Permission denied");
  EXPECT_EQ(ReadWholeFile(Name), "keep");
  EXPECT_TRUE(Disk.ListDirectory(Dir / "locked").empty());
}

TEST(AtomicWrite, TakesAwayTheTemporaryFilesOfWritersThatWereKilled) {
  TTempDir Dir;
  pid_t Gone = ::fork();
  if (Gone == 0) ::_exit(0);
  ASSERT_GT(Gone, 0);
  ASSERT_EQ(::waitpid(Gone, nullptr, 0), Gone);
  const std::string Left = "f.txt.tmp" + std::to_string(Gone) + ".3";
  const std::vector<std::string> Kept = {"f.txt.tmp" + std::to_string(::getpid()) + ".9",  // a writer that runs
                                         "g.txt.tmp" + std::to_string(Gone) + ".1",        // another file's
                                         "f.txt.tmpx.1", "f.txt.tmp12"};
  for (const auto& Name : Kept) WriteFileAtomic(Dir / Name, "");
  ::rename((Dir / Kept[1]).c_str(), (Dir / Left).c_str());
  WriteFileAtomic(Dir / Kept[1], "");
  WriteFileAtomic(Dir / "f.txt", "new");
  std::vector<std::string> Names = FileSystem().ListDirectory(Dir.Path());
  std::sort(Names.begin(), Names.end());
  std::vector<std::string> Want = Kept;
  Want.push_back("f.txt");
  std::sort(Want.begin(), Want.end());
  EXPECT_EQ(Names, Want);
}

namespace {

ino_t InodeOf(const std::string& Name) {
  struct stat St;
  return ::stat(Name.c_str(), &St) == 0 ? St.st_ino : 0;
}

}  // namespace

TEST(AtomicWrite, AFileWithSeveralNamesIsRewrittenSoThatEveryNameSeesIt) {
  TTempDir Dir;
  TDiskFileSystem Disk;
  const std::string Name = Dir / "u.pas";
  WriteFileAtomic(Name, "old text, longer than the new");
  ASSERT_EQ(::chmod(Name.c_str(), 0640), 0);
  std::filesystem::create_directory(Dir / "other");
  ASSERT_EQ(::link(Name.c_str(), (Dir / "other/alias.pas").c_str()), 0);
  const ino_t Inode = InodeOf(Name);

  WriteFileAtomic(Name, "new");
  EXPECT_EQ(ReadWholeFile(Dir / "other/alias.pas"), "new");
  Disk.WriteFile(Dir / "other/alias.pas", "through the other name, and longer");
  EXPECT_EQ(ReadWholeFile(Name), "through the other name, and longer");
  std::unique_ptr<IFileWriter> File = Disk.CreateFileWriter(Name);
  File->Write("in ");
  File->Write("pieces");
  EXPECT_EQ(ReadWholeFile(Dir / "other/alias.pas"), "through the other name, and longer") << "before Commit";
  File->Commit();
  EXPECT_EQ(ReadWholeFile(Dir / "other/alias.pas"), "in pieces");
  // Still one file with two names, its mode as it was, nothing left beside it.
  EXPECT_EQ(InodeOf(Name), Inode);
  EXPECT_EQ(InodeOf(Dir / "other/alias.pas"), Inode);
  EXPECT_EQ(ModeOf(Name), mode_t(0640));
  EXPECT_EQ(Disk.ListDirectory(Dir.Path()).size(), 2u);
  // Emptied too.
  WriteFileAtomic(Dir / "other/alias.pas", "");
  EXPECT_EQ(ReadWholeFile(Name), "");

  // A file with one name is replaced as always: a reader holding the old file keeps it whole.
  WriteFileAtomic(Dir / "single.txt", "first");
  const ino_t Before = InodeOf(Dir / "single.txt");
  WriteFileAtomic(Dir / "single.txt", "second");
  EXPECT_NE(InodeOf(Dir / "single.txt"), Before);
}

TEST(AtomicWrite, ACopyIsMadeOnlyUnderAFreeName) {
  TTempDir Dir;
  TDiskFileSystem Disk;
  std::string Text(3 << 20, 'x');  // beyond one step of any copy
  Text[0] = 'A';
  Text.back() = 'Z';
  WriteFileAtomic(Dir / "a.pas", Text);
  EXPECT_TRUE(Disk.CopyToNewFile(Dir / "a.pas", Dir / "a.~1~"));
  EXPECT_EQ(ReadWholeFile(Dir / "a.~1~"), Text);
  EXPECT_NE(InodeOf(Dir / "a.~1~"), InodeOf(Dir / "a.pas"));
  WriteFileAtomic(Dir / "b.pas", "second");
  EXPECT_FALSE(Disk.CopyToNewFile(Dir / "b.pas", Dir / "a.~1~"));
  EXPECT_EQ(ReadWholeFile(Dir / "a.~1~"), Text);
  WriteFileAtomic(Dir / "empty", "");
  EXPECT_TRUE(Disk.CopyToNewFile(Dir / "empty", Dir / "e.~1~"));
  EXPECT_EQ(ReadWholeFile(Dir / "e.~1~"), "");
  // A file that cannot be read makes no copy and leaves no temporary file.
  EXPECT_THROW(Disk.CopyToNewFile(Dir / "missing", Dir / "m.~1~"), EInOutError);
  EXPECT_EQ(Disk.ListDirectory(Dir.Path()).size(), 5u);
}

TEST(AtomicWrite, ANewFileIsMadeOnlyUnderAFreeName) {
  TTempDir Dir;
  TDiskFileSystem Disk;
  EXPECT_TRUE(Disk.CreateNewFile(Dir / "b.~1~", "first"));
  EXPECT_FALSE(Disk.CreateNewFile(Dir / "b.~1~", "second"));
  EXPECT_EQ(ReadWholeFile(Dir / "b.~1~"), "first");
  // A link in the way counts as taken, even one that leads nowhere.
  ASSERT_EQ(::symlink("nowhere", (Dir / "b.~2~").c_str()), 0);
  EXPECT_FALSE(Disk.CreateNewFile(Dir / "b.~2~", "x"));
  EXPECT_FALSE(std::filesystem::exists(Dir / "nowhere"));
  EXPECT_EQ(Disk.ListDirectory(Dir.Path()).size(), 2u) << "a temporary file was left";

  // Processes that race for the same names: each name goes to exactly one of them, whole.
  constexpr int Processes = 6, Names = 30;
  const std::string Payload(64 * 1024, 'x');
  ASSERT_TRUE(nxs::test::RunInProcesses(Processes, [&](int P) {
    for (int N = 0; N < Names; ++N) {
      if (!Disk.CreateNewFile(Dir / ("race" + std::to_string(N)), std::to_string(P) + Payload)) continue;
      WriteFileAtomic(Dir / ("won" + std::to_string(N) + "." + std::to_string(P)), "");
    }
  }));
  for (int N = 0; N < Names; ++N) {
    int Winners = 0;
    for (int P = 0; P < Processes; ++P) Winners += std::filesystem::exists(Dir / ("won" + std::to_string(N) + "." + std::to_string(P)));
    EXPECT_EQ(Winners, 1) << "name " << N;
    const std::string Text = ReadWholeFile(Dir / ("race" + std::to_string(N)));
    EXPECT_EQ(Text.size(), Payload.size() + 1);
  }
}

TEST(FileInfo, AFileWithoutWritePermissionIsReadOnlyForEveryone) {
  TTempDir Dir;
  TDiskFileSystem Disk;
  WriteFileAtomic(Dir / "f", "x");
  EXPECT_FALSE(Disk.Stat(Dir / "f").ReadOnly);
  ASSERT_EQ(::chmod((Dir / "f").c_str(), 0444), 0);
  EXPECT_TRUE(Disk.Stat(Dir / "f").ReadOnly);  // the superuser too: the writer refuses it
  EXPECT_EQ(Disk.Stat(Dir / "f").Inode, static_cast<uint64_t>(InodeOf(Dir / "f")));
}
