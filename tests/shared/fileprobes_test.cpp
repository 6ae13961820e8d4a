// The files a run looked at: noted through the disk file system while collected, each once by
// its full name, missing ones too; and the stamps that tell one version of a file from another.
#include "shared/fileprobes.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "shared/fileio.h"
#include "support/files.h"
#include "support/tempdir.h"

namespace nxs {
namespace {

namespace fs = std::filesystem;

TEST(FileProbes, TheDiskNotesWhatItLooksAtOnceEachByFullNameOnlyWhileCollected) {
  test::TTempDir Dir;
  test::WriteText(Dir / "a.txt", "a");
  TDiskFileSystem Disk;
  (void)Disk.Stat(Dir / "before.txt");
  StartFileProbes();
  (void)Disk.ReadFile(Dir / "a.txt");
  (void)Disk.ModifiedTimeNs(Dir / "a.txt");
  (void)Disk.Stat(Dir / "missing.txt");
  (void)Disk.ListDirectory(Dir.Path());
  const fs::path Was = fs::current_path();
  fs::current_path(Dir.Path());
  (void)Disk.Stamp("relative.txt");
  fs::current_path(Was);
  // Several threads at once, as a group's projects are read.
  std::vector<std::thread> Threads;
  for (int T = 0; T < 4; ++T)
    Threads.emplace_back([&, T] {
      for (int I = 0; I < 50; ++I) NoteFileProbe(Dir / ("t" + std::to_string((T + I) % 8)));
    });
  for (auto& T : Threads) T.join();
  std::vector<std::string> Want{Dir.Path(), Dir / "a.txt", Dir / "missing.txt", Dir / "relative.txt"};
  for (int I = 0; I < 8; ++I) Want.push_back(Dir / ("t" + std::to_string(I)));
  std::sort(Want.begin(), Want.end());
  EXPECT_EQ(FileProbes(), Want);
  StopFileProbes();
  (void)Disk.Stat(Dir / "after.txt");
  EXPECT_TRUE(FileProbes().empty());
}

TEST(FileProbes, AStampTellsAFileRenamedOverWithItsSizeAndTimeKept) {
  test::TTempDir Dir;
  const std::string A = Dir / "a.txt", B = Dir / "b.txt";
  test::WriteText(A, "one");
  const TFileStamp Before = FileStampOf(A);
  EXPECT_TRUE(Before.Exists);
  EXPECT_FALSE(Before.Directory);
  EXPECT_EQ(Before.Size, 3u);
  EXPECT_EQ(FileStampOf(A), Before);
  test::WriteText(B, "two");
  fs::last_write_time(B, fs::last_write_time(A));
  fs::rename(B, A);
  const TFileStamp After = FileStampOf(A);
  EXPECT_EQ(After.ModifiedNs, Before.ModifiedNs);
  EXPECT_EQ(After.Size, Before.Size);
  EXPECT_NE(After, Before);
  EXPECT_FALSE(FileStampOf(B).Exists);
  EXPECT_TRUE(FileStampOf(Dir.Path()).Directory);
  // A file changed now is stamped at or after the file system's clock read before.
  const int64_t Now = FileClockNowNs();
  test::WriteText(B, "three");
  EXPECT_GE(FileStampOf(B).ChangedNs, Now);
}

}  // namespace
}  // namespace nxs
