#include "projectfiles/readahead.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <map>

#include "projectfiles/projectfile.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "support/files.h"
#include "support/tempdir.h"

using namespace nxs;
using nxs::test::TTempDir;

namespace {

const std::string Ns = "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\"";

std::string ProjectText(const std::string& Value) {
  return "<Project " + Ns + "><PropertyGroup><A>" + Value + "</A></PropertyGroup></Project>";
}

std::string PropertyA(IMSProjectFile& D) {
  std::string V, C;
  D.GetGlobalProperty("A", V, C);
  return V;
}

// The disk, counting the files read whole by name.
class TCountingFileSystem : public TDiskFileSystem {
 public:
  void ReadFileInto(const std::string& Name, IReadTarget& Target) override {
    {
      std::lock_guard<std::mutex> L(FLock);
      ++FReads[Name];
    }
    TDiskFileSystem::ReadFileInto(Name, Target);
  }
  int Reads(const std::string& Name) {
    std::lock_guard<std::mutex> L(FLock);
    return FReads[Name];
  }

 private:
  std::mutex FLock;
  std::map<std::string, int> FReads;
};

class ProjectReadAheadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFileSystem(Disk);
    for (const char* N : {"a", "b", "c", "d"}) {
      Files.push_back(Dir / (std::string(N) + ".vproj"));
      FileSystem().WriteFile(Files.back(), ProjectText(std::string(N) + "1"));
    }
  }
  void TearDown() override { SetFileSystem(nullptr); }

  TTempDir Dir;
  std::shared_ptr<TCountingFileSystem> Disk = std::make_shared<TCountingFileSystem>();
  std::vector<std::string> Files;
};

}  // namespace

TEST_F(ProjectReadAheadTest, ADocumentTakesTheFileReadAheadOnlyWhileItIsTheVersionThatWasRead) {
  TProjectReadAhead Ahead(Files);
  Ahead.Finish();
  for (const auto& F : Files) EXPECT_EQ(Disk->Reads(F), 1) << F;
  // Changed in place with the same size, replaced by another file, and changed back to a
  // text of another size: each is read again as it is now.
  FileSystem().WriteFile(Files[1] + ".new", ProjectText("b2"));
  FileSystem().Rename(Files[1] + ".new", Files[1]);
  const std::string CPath = Files[2];
  {
    FILE* F = std::fopen(CPath.c_str(), "r+");
    ASSERT_NE(F, nullptr);
    const std::string Text = ProjectText("c2");
    std::fwrite(Text.data(), 1, Text.size(), F);
    std::fclose(F);
    struct stat St {};
    ASSERT_EQ(::stat(CPath.c_str(), &St), 0);
    const struct timespec Times[2] = {St.st_atim, {St.st_mtim.tv_sec + 5, St.st_mtim.tv_nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, CPath.c_str(), Times, 0), 0);
  }
  FileSystem().WriteFile(Files[3], ProjectText("a much longer value for d"));

  auto A = MSBuildOpenProject(Files[0]);
  EXPECT_EQ(PropertyA(*A), "a1");
  EXPECT_EQ(Disk->Reads(Files[0]), 1);  // the tree read ahead served
  EXPECT_EQ(PropertyA(*MSBuildOpenProject(Files[1])), "b2");
  EXPECT_EQ(PropertyA(*MSBuildOpenProject(Files[2])), "c2");
  EXPECT_EQ(PropertyA(*MSBuildOpenProject(Files[3])), "a much longer value for d");
  // A tree serves one document: a second one reads the file.
  EXPECT_EQ(PropertyA(*MSBuildOpenProject(Files[0])), "a1");
  EXPECT_EQ(Disk->Reads(Files[0]), 2);
}

TEST_F(ProjectReadAheadTest, AnOpenBufferComesFirstAndAFileThatDoesNotReadFailsAsItWouldHave) {
  FileSystem().WriteFile(Files[2], "<Project " + Ns + "><PropertyGroup>");
  std::string Unread;
  try {
    MSBuildOpenProject(Files[2]);
  } catch (const Exception& E) {
    Unread = E.what();
  }
  ASSERT_FALSE(Unread.empty());

  TProjectReadAhead Ahead(Files);
  Ahead.Finish();
  SetOpenBufferTextHook([&](const std::string& File, std::string& Text) {
    if (File != Files[0]) return false;
    Text = ProjectText("buffer");
    return true;
  });
  auto A = MSBuildOpenProject(Files[0]);
  SetOpenBufferTextHook(nullptr);
  EXPECT_EQ(PropertyA(*A), "buffer");
  try {
    MSBuildOpenProject(Files[2]);
    ADD_FAILURE() << "a file that is no well-formed project opened";
  } catch (const Exception& E) {
    EXPECT_EQ(std::string(E.what()), Unread);
  }
  EXPECT_EQ(PropertyA(*MSBuildOpenProject(Files[1])), "b1");
}

TEST_F(ProjectReadAheadTest, TheReadingKeepsABoundedWayAheadAndStopsWithItsOwner) {
  std::vector<std::string> Many;
  for (size_t I = 0; I < TProjectReadAhead::MostAhead + 10; ++I) {
    Many.push_back(Dir / ("p" + std::to_string(I) + ".vproj"));
    nxs::test::WriteText(Many.back(), ProjectText(std::to_string(I)));
  }
  {
    TProjectReadAhead Ahead(Many);
    Ahead.Finish();
    EXPECT_EQ(Disk->Reads(Many[TProjectReadAhead::MostAhead - 1]), 1);
    EXPECT_EQ(Disk->Reads(Many[TProjectReadAhead::MostAhead]), 0);
    // Asking for a file past the bound moves the reading on to it.
    const size_t Far = TProjectReadAhead::MostAhead + 5;
    EXPECT_EQ(PropertyA(*MSBuildOpenProject(Many[Far])), std::to_string(Far));
    EXPECT_EQ(Disk->Reads(Many[Far]), 1);
    // A second reading ahead while one is under way reads nothing.
    TProjectReadAhead Second({Files[0], Files[1]});
    Second.Finish();
    EXPECT_EQ(Disk->Reads(Files[0]), 0);
  }
  // Once its owner has gone nothing is taken from it.
  EXPECT_EQ(PropertyA(*MSBuildOpenProject(Many[6])), "6");
  EXPECT_EQ(Disk->Reads(Many[6]), 2);
}
