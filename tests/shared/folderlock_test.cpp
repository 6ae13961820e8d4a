// The folder lock: one holder at a time, turns passed on when the holder lets go (also to a
// taker that was already looking at the file the holder removed), nothing left behind in a
// folder that holds nothing else.
#include "shared/folderlock.h"

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/tempdir.h"

namespace nxs {
namespace {

namespace fs = std::filesystem;

TEST(FolderLock, OneHolderAtATimeAndTheNextTakesItWhenTheFirstLetsGo) {
  test::TTempDir Root;
  const std::string Folder = Root / "obj/Debug";
  std::string Error;
  auto First = std::make_unique<TFolderLock>(Folder);
  ASSERT_EQ(First->TryLock(Error), TFolderLock::flLocked) << Error;
  EXPECT_TRUE(fs::is_directory(Folder));

  // The second looks at the file the first holds, and is turned away while it holds it.
  TFolderLock Second(Folder);
  EXPECT_EQ(Second.TryLock(Error), TFolderLock::flBusy);
  EXPECT_EQ(Second.TryLock(Error), TFolderLock::flBusy);
  EXPECT_FALSE(Second.Locked());

  // The first lets go (its file and the empty folder go); the second takes the lock on a
  // file of its own, which a third then finds held.
  test::WriteText(Root / "obj/other.txt", "stays");
  First.reset();
  EXPECT_FALSE(fs::exists(Folder));
  ASSERT_EQ(Second.TryLock(Error), TFolderLock::flLocked) << Error;
  EXPECT_TRUE(fs::exists(Folder + "/.nxs-lock"));
  TFolderLock Third(Folder);
  EXPECT_EQ(Third.TryLock(Error), TFolderLock::flBusy);
  EXPECT_EQ(test::ReadText(Root / "obj/other.txt"), "stays");
}

TEST(FolderLock, AFolderWithTheBuildsFilesInItStaysWithTheLocksFileForTheNextHolder) {
  test::TTempDir Root;
  const std::string Folder = Root / "obj";
  std::string Error;
  {
    TFolderLock Lock(Folder);
    ASSERT_EQ(Lock.TryLock(Error), TFolderLock::flLocked) << Error;
    test::WriteText(Folder + "/main.o", "object");
  }
  EXPECT_EQ(test::ReadText(Folder + "/main.o"), "object");
  EXPECT_TRUE(fs::exists(Folder + "/.nxs-lock"));

  // The file that stayed is the lock again: one holder at a time.
  {
    TFolderLock Next(Folder);
    ASSERT_EQ(Next.TryLock(Error), TFolderLock::flLocked) << Error;
    TFolderLock Other(Folder);
    EXPECT_EQ(Other.TryLock(Error), TFolderLock::flBusy);
    // A clean takes the build's files: the lock's file and the folder go with them.
    fs::remove(Folder + "/main.o");
  }
  EXPECT_FALSE(fs::exists(Folder));

  // A folder that cannot be made is a failure with the reason, not a wait.
  test::WriteText(Root / "file", "");
  TFolderLock Under(Root / "file/obj");
  EXPECT_EQ(Under.TryLock(Error), TFolderLock::flFailed);
  EXPECT_EQ(Error, "Not a directory");
}

}  // namespace
}  // namespace nxs
