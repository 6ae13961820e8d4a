#include "shared/fileio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "shared/exceptions.h"
#include "testdir.h"

using namespace nxs;
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
