// Locks between processes that change one file: counters that other processes raise at the
// same time lose no step, also across the rename that replaces the file, for a file made
// under the lock, and through a link; a pipe is never waited on.
#include "shared/filelock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "shared/fileio.h"
#include "support/files.h"
#include "support/run.h"
#include "support/tempdir.h"

using namespace nxs;
using nxs::test::ReadText;
using nxs::test::TTempDir;

namespace {

// Raises the number in File by one, Steps times, each step holding the lock from the read to
// the write; with Twice, a step writes twice under one lock (the second write over the file
// the first one made).
void Count(const std::string& File, int Steps, bool Twice) {
  for (int I = 0; I < Steps; ++I) {
    TFileLock Lock(File);
    std::string Text = ReadText(File);
    int N = Text.empty() ? 0 : std::stoi(Text);
    if (Twice) WriteFileAtomic(File, std::to_string(N + 1000));
    WriteFileAtomic(File, std::to_string(N + 1));
  }
}

// True when another process cannot take the lock of Name now (without waiting for it).
bool LockedElsewhere(const std::string& Name) {
  return nxs::test::RunInProcesses(1, [&](int) {
    int Fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0 || ::flock(Fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) throw 0;
  });
}

}  // namespace

TEST(FileLock, ProcessesThatChangeOneFileAtOnceLoseNoChange) {
  TTempDir Dir;
  // The file does not exist at first: the first writers take turns through its folder.
  const std::string File = Dir / "count";
  ASSERT_TRUE(nxs::test::RunInProcesses(4, [&](int) { Count(File, 10, false); }));
  EXPECT_EQ(ReadText(File), "40");
  // A holder that replaces the file and goes on writing keeps it locked: nobody reads the
  // file it wrote first.
  ASSERT_TRUE(nxs::test::RunInProcesses(4, [&](int) { Count(File, 10, true); }));
  EXPECT_EQ(ReadText(File), "80");
}

TEST(FileLock, IsReentrantInAThreadAndFollowsLinksToTheFileAWriteReplaces) {
  TTempDir Dir;
  const std::string File = Dir / "real";
  nxs::test::WriteText(File, "1");
  ASSERT_EQ(::symlink("real", (Dir / "link").c_str()), 0);
  {
    TFileLock Outer(Dir / "link");
    ASSERT_TRUE(Outer.Held());
    {
      TFileLock Inner(File);  // the same file: shared, no wait
      EXPECT_TRUE(Inner.Held());
    }
    EXPECT_TRUE(LockedElsewhere(File)) << "the inner lock took the outer one with it";
    WriteFileAtomic(Dir / "link", "2");
    EXPECT_TRUE(LockedElsewhere(File)) << "the file the write made is not locked";
  }
  EXPECT_FALSE(LockedElsewhere(File));
}

TEST(FileLock, APipeOrAFolderIsNotLockedAndNeverWaitedOn) {
  TTempDir Dir;
  ASSERT_EQ(::mkfifo((Dir / "pipe").c_str(), 0600), 0);
  EXPECT_FALSE(TFileLock(Dir / "pipe").Held());
  EXPECT_FALSE(TFileLock(Dir.Path()).Held());
  EXPECT_FALSE(TFileLock(Dir / "no/such/folder/file").Held());
  EXPECT_TRUE(TFileLock(Dir / "missing").Held());  // through its folder
}
