#include "shared/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <new>

#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "support/errorof.h"
#include "support/files.h"
#include "support/run.h"
#include "support/tempdir.h"
#include "support/wait.h"

using namespace nxs;
using nxs::test::ErrorOf;
using nxs::test::ReadText;
using nxs::test::TTempDir;

namespace {

std::vector<std::string> DamagedCopies(const TTempDir& Dir) {
  std::vector<std::string> Copies;
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path()))
    if (E.path().filename().string().rfind("settings.ini.damaged-", 0) == 0) Copies.push_back(ReadText(E.path().string()));
  std::sort(Copies.begin(), Copies.end());
  return Copies;
}

}  // namespace

TEST(SettingsStore, TypedValuesDefaultsAndCaseInsensitiveNames) {
  TTempDir Dir;
  {
    TSettingsStore S(Dir / "settings.ini");
    EXPECT_EQ(S.ReadString("Editor\\Options", "Font", "Mono"), "Mono");
    S.WriteString("Editor\\Options", "Font", "Courier \"New\"\n=x");
    S.WriteInteger("Editor\\Options", "Size", -12);
    S.WriteBool("Editor\\Options", "Block Indent", true);
    S.WriteString("Editor\\Options", "", "default value");
    S.WriteString("Globals", "key=with;odd chars ", "v");
    EXPECT_EQ(S.ReadInteger("editor\\options", "SIZE", 0), -12);
    // A value of another type reads as the default.
    EXPECT_EQ(S.ReadInteger("Editor\\Options", "Font", 7), 7);
    EXPECT_FALSE(S.ReadBool("Editor\\Options", "Size", false));
    EXPECT_EQ(S.ReadString("Editor\\Options", "Block Indent", "d"), "d");
  }
  TSettingsStore Again(Dir / "settings.ini");
  EXPECT_EQ(Again.ReadString("EDITOR\\OPTIONS", "font"), "Courier \"New\"\n=x");
  EXPECT_EQ(Again.ReadInteger("Editor\\Options", "Size", 0), -12);
  EXPECT_TRUE(Again.ReadBool("Editor\\Options", "Block Indent", false));
  EXPECT_EQ(Again.ReadString("Editor\\Options", ""), "default value");
  EXPECT_EQ(Again.ReadString("Globals", "key=with;odd chars "), "v");
  EXPECT_EQ(Again.ReadValueNames("Editor\\Options"),
            (std::vector<std::string>{"Font", "Size", "Block Indent", ""}));
}

TEST(SettingsStore, KeysBelowAPathAndErasingATree) {
  TTempDir Dir;
  TSettingsStore S(Dir / "settings.ini");
  S.BeginUpdate();
  S.WriteString("Search\\DirectoryLists\\A", "x", "1");
  S.WriteString("Search\\DirectoryLists\\B\\Deep", "x", "1");
  S.WriteString("Search", "y", "1");
  S.WriteString("SearchOther", "z", "1");
  S.EndUpdate();
  EXPECT_EQ(S.ReadSubKeys("Search"), (std::vector<std::string>{"DirectoryLists"}));
  EXPECT_EQ(S.ReadSubKeys("search\\directorylists"), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(S.SectionExists("Search\\DirectoryLists\\B"));
  S.EraseSection("Search\\DirectoryLists");
  EXPECT_FALSE(S.SectionExists("Search\\DirectoryLists"));
  EXPECT_TRUE(S.ValueExists("Search", "y"));
  EXPECT_TRUE(S.ValueExists("SearchOther", "z")) << "a sibling with a common prefix is not below";
  S.DeleteValue("Search", "Y");
  EXPECT_FALSE(S.ValueExists("Search", "y"));
}

TEST(SettingsStore, WritesAreAtomicAndLeaveNoTemporaryFiles) {
  TTempDir Dir;
  TSettingsStore S(Dir / "sub/dir/settings.ini");
  S.WriteString("A", "v", "1");
  ASSERT_TRUE(std::filesystem::exists(Dir / "sub/dir/settings.ini"));
  for (const auto& E : std::filesystem::directory_iterator(Dir / "sub/dir")) {
    std::string Name = E.path().filename().string();
    EXPECT_TRUE(Name == "settings.ini" || Name == "settings.ini.lock") << Name;
  }
}

TEST(SettingsStore, AValueSetToWhatItWasLeavesTheFileAloneAndAChangeStillSaves) {
  TTempDir Dir;
  const std::string Name = Dir / "settings.ini";
  TSettingsStore S(Name);
  S.WriteString("A", "v", "same");
  // A time long past: any write would make it now.
  TDiskFileSystem().SetModifiedTime(Name, 1000000000);
  S.WriteString("A", "v", "same");
  S.WriteString("a", "V", "same");
  EXPECT_EQ(TDiskFileSystem().Stat(Name).ModifiedTime, 1000000000) << "the file was not written";
  // A damaged file reads as what could be parsed; writing that same value repairs the file.
  const std::string Damaged = "[A]\nv=\"same\"\ngarbage line\n";
  WriteFileAtomic(Name, Damaged);
  S.SetDamageReporter([](const std::string&) {});
  S.WriteString("A", "v", "same");
  EXPECT_EQ(ReadText(Name).find("garbage"), std::string::npos);
  S.WriteString("A", "v", "changed");
  EXPECT_EQ(TSettingsStore(Name).ReadString("A", "v"), "changed");
}

TEST(SettingsStore, AFailedSaveKeepsTheChangePendingAndTheOldFileIntact) {
  TTempDir Dir;
  TSettingsStore S(Dir / "settings.ini");
  S.WriteString("A", "v", "old");
  // A directory where the lock file belongs makes the save fail, even for root.
  std::filesystem::remove(Dir / "settings.ini.lock");
  std::filesystem::create_directory(Dir / "settings.ini.lock");
  EXPECT_THROW(S.WriteString("A", "v", "new"), Exception);
  EXPECT_EQ(S.ReadString("A", "v"), "new") << "the change stays pending in this process";
  std::filesystem::remove(Dir / "settings.ini.lock");
  EXPECT_NE(ReadText(Dir / "settings.ini").find("\"old\""), std::string::npos);
  S.Flush();
  EXPECT_EQ(TSettingsStore(Dir / "settings.ini").ReadString("A", "v"), "new");
}

TEST(SettingsStore, ADamagedFileIsCopiedAsideReportedOnceAndWhatCanBeReadIsKept) {
  TTempDir Dir;
  std::string Name = Dir / "settings.ini";
  const std::string Damaged = "[Good]\nA=\"kept\"\nthis line is garbage\nB=int:notanumber\n[Also]\nC=bool:True\n";
  WriteFileAtomic(Name, Damaged);
  std::vector<std::string> Reports;
  TSettingsStore S(Name);
  S.SetDamageReporter([&](const std::string& M) { Reports.push_back(M); });
  EXPECT_EQ(S.ReadString("Good", "A"), "kept");
  EXPECT_EQ(S.ReadInteger("Good", "B", 5), 5);
  EXPECT_TRUE(S.ReadBool("Also", "C", false));
  EXPECT_EQ(S.ReadString("Good", "A"), "kept");
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_NE(Reports[0].find("is damaged"), std::string::npos);
  EXPECT_EQ(DamagedCopies(Dir), std::vector<std::string>{Damaged}) << "one copy that keeps every byte";
  // Saving writes a clean file that keeps what was readable.
  S.WriteString("Good", "D", "new");
  TSettingsStore Fresh(Name);
  Fresh.SetDamageReporter([&](const std::string& M) { Reports.push_back(M); });
  EXPECT_EQ(Fresh.ReadString("Good", "A"), "kept");
  EXPECT_EQ(Fresh.ReadString("Good", "D"), "new");
  EXPECT_EQ(Reports.size(), 1u);
}

TEST(SettingsStore, TwoProcessesSavingAtOnceKeepEachOthersSections) {
  TTempDir Dir;
  std::string Name = Dir / "settings.ini";
  const int kWrites = 40;
  EXPECT_TRUE(nxs::test::RunInProcesses(2, [&](int C) {
    TSettingsStore S(Name);
    for (int I = 0; I < kWrites; ++I) S.WriteInteger("Process" + std::to_string(C), "Value" + std::to_string(I), I);
  }));
  TSettingsStore S(Name);
  for (int C = 0; C < 2; ++C)
    for (int I = 0; I < kWrites; ++I)
      EXPECT_EQ(S.ReadInteger("Process" + std::to_string(C), "Value" + std::to_string(I), -1), I);
}

TEST(SettingsStore, AnotherProcessesSaveIsSeenOnTheNextRead) {
  TTempDir Dir;
  TSettingsStore A(Dir / "settings.ini"), B(Dir / "settings.ini");
  EXPECT_EQ(A.ReadString("S", "v", "none"), "none");
  B.WriteString("S", "v", "from b");
  EXPECT_EQ(A.ReadString("S", "v", "none"), "from b");
}

TEST(SettingsStore, HeldReadsLookAtTheFileOnceAndWritesStillKeepAnotherProcessesSave) {
  TTempDir Dir;
  TSettingsStore A(Dir / "settings.ini"), B(Dir / "settings.ini");
  B.WriteString("S", "v", "one");
  {
    TSettingsReadHold Hold(A);
    EXPECT_EQ(A.ReadString("S", "v"), "one");
    B.WriteString("S", "v", "two");
    {
      TSettingsReadHold Inner(A);
    }
    EXPECT_EQ(A.ReadString("S", "v"), "one") << "the file as it stood at the first read";
    // A write looks at the file: B's save stays, and the read after it sees both.
    A.WriteString("S", "w", "from a");
    EXPECT_EQ(A.ReadString("S", "v"), "two");
    EXPECT_EQ(B.ReadString("S", "w"), "from a");
    B.WriteString("S", "v", "three");
  }
  B.WriteString("S", "v", "four");
  TSettingsReadHold Again(A);
  EXPECT_EQ(A.ReadString("S", "v"), "four") << "a hold begun afresh looks again";
}

TEST(SettingsStore, LocationFollowsTheEnvironment) {
  ::setenv("NXS_SETTINGS_DIR", "/tmp/nxs-here", 1);
  EXPECT_EQ(TSettingsStore::DefaultFileName(), "/tmp/nxs-here/settings.ini");
  ::unsetenv("NXS_SETTINGS_DIR");
  ::setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(TSettingsStore::DefaultDirectory(), "/tmp/xdg/Orvanti/NXS/20.0");
}

TEST(SettingsStore, DamageIsCopiedAsideOncePerDistinctContent) {
  TTempDir Dir;
  std::string Name = Dir / "settings.ini";
  const std::string First = "[A]\nbroken\n", Second = "[A]\nbroken too\n";
  auto ReadAsANewProcess = [&] {
    TSettingsStore S(Name);
    S.SetDamageReporter([](const std::string&) {});
    S.ReadString("A", "v");
  };
  WriteFileAtomic(Name, First);
  ReadAsANewProcess();
  // Other damage in the same second keeps its own copy and leaves the first one alone.
  WriteFileAtomic(Name, Second);
  ReadAsANewProcess();
  EXPECT_EQ(DamagedCopies(Dir), (std::vector<std::string>{First, Second}));
  // The same damage met again later, by another process, makes no further copy.
  const std::time_t Met = std::time(nullptr);
  ASSERT_TRUE(nxs::test::WaitUntil([&] { return std::time(nullptr) > Met; }));
  ReadAsANewProcess();
  WriteFileAtomic(Name, First);
  ReadAsANewProcess();
  EXPECT_EQ(DamagedCopies(Dir), (std::vector<std::string>{First, Second}));
}

TEST(SettingsStore, AnUnreadableFileIsNeverReplaced) {
  TTempDir Dir;
  Dir.OpenToAll();
  // Made and read by the unprivileged user, for whom a file without read permission is
  // unreadable (the superuser reads anything).
  std::string Seen = nxs::test::RunUnprivileged([&] {
    std::string Name = Dir / "own/settings.ini";
    {
      TSettingsStore Writer(Name);
      Writer.BeginUpdate();
      Writer.WriteString("Favorites", "0", "/p/a.vproj");
      Writer.WriteInteger("Editor\\Options", "Undo Limit", 77);
      Writer.EndUpdate();
    }
    std::string Before = ReadText(Name);
    ::chmod(Name.c_str(), 0200);
    TSettingsStore S(Name);
    std::string Out = std::to_string(S.ReadInteger("Editor\\Options", "Undo Limit", 5)) + "|" + S.ReadError() + "|";
    Out += ErrorOf([&] { S.WriteInteger("Editor\\Options", "Tab Width", 3); }) + "|";
    ::chmod(Name.c_str(), 0600);
    Out += ReadText(Name) == Before ? "unchanged" : "changed";
    return Out;
  });
  std::string Name = Dir / "own/settings.ini";
  const std::string Cause = "Cannot read file \"" + Name + "\": Permission denied";
  EXPECT_EQ(Seen, "5|" + Cause + "|The settings file \"" + Name + "\" cannot be read, so nothing is saved to it: " +
                      Cause + "|unchanged");
}

TEST(SettingsStore, ALinkedFileIsWrittenThroughTheLinkAndAReadOnlyOneIsRefused) {
  TTempDir Dir;
  std::filesystem::create_directory(Dir / "dotfiles");
  WriteFileAtomic(Dir / "dotfiles/settings.ini", "[Kept]\nv=\"1\"\n");
  ASSERT_EQ(::symlink("dotfiles/settings.ini", (Dir / "settings.ini").c_str()), 0);
  {
    TSettingsStore S(Dir / "settings.ini");
    S.WriteString("New", "v", "2");
  }
  EXPECT_TRUE(std::filesystem::is_symlink(Dir / "settings.ini"));
  TSettingsStore Real(Dir / "dotfiles/settings.ini");
  EXPECT_EQ(Real.ReadString("Kept", "v"), "1");
  EXPECT_EQ(Real.ReadString("New", "v"), "2");

  ::chmod((Dir / "dotfiles/settings.ini").c_str(), 0444);
  std::string Before = ReadText(Dir / "dotfiles/settings.ini");
  TSettingsStore S(Dir / "settings.ini");
  EXPECT_EQ(ErrorOf([&] { S.WriteString("New", "v", "3"); }),
            "Cannot write file \"" + Dir / "settings.ini" + "\": the file is read-only");
  EXPECT_EQ(ReadText(Dir / "dotfiles/settings.ini"), Before);
}

TEST(SettingsStore, DeletingOneValueKeepsTheOthersReadable) {
  TTempDir Dir;
  for (int Deleted = 0; Deleted < 3; ++Deleted) {
    TSettingsStore S(Dir / ("s" + std::to_string(Deleted) + ".ini"));
    S.BeginUpdate();
    const char* Names[] = {"First", "Second", "Third"};
    for (int I = 0; I < 3; ++I) S.WriteInteger("Section", Names[I], I + 10);
    S.DeleteValue("Section", Names[Deleted]);
    for (int I = 0; I < 3; ++I)
      EXPECT_EQ(S.ReadInteger("Section", Names[I], -1), I == Deleted ? -1 : I + 10) << Names[I] << " after " << Deleted;
    S.EndUpdate();
    S.WriteInteger("Section", Names[Deleted], 99);
    TSettingsStore Again(Dir / ("s" + std::to_string(Deleted) + ".ini"));
    for (int I = 0; I < 3; ++I) EXPECT_EQ(Again.ReadInteger("Section", Names[I], -1), I == Deleted ? 99 : I + 10);
  }
}

TEST(SettingsStore, PendingValuesAreWrittenWhenTheStoreGoes) {
  TTempDir Dir;
  {
    TSettingsStore S(Dir / "batch.ini");
    S.BeginUpdate();
    S.WriteString("A", "v", "in an open batch");
  }
  EXPECT_EQ(TSettingsStore(Dir / "batch.ini").ReadString("A", "v"), "in an open batch");
  {
    TSettingsStore S(Dir / "failed.ini");
    std::filesystem::create_directory(Dir / "failed.ini.lock");
    EXPECT_THROW(S.WriteString("A", "v", "after a failed save"), Exception);
    std::filesystem::remove(Dir / "failed.ini.lock");
  }
  EXPECT_EQ(TSettingsStore(Dir / "failed.ini").ReadString("A", "v"), "after a failed save");
}

TEST(SettingsStore, AFailedSaveAtTheEndOfABatchIsRaised) {
  TTempDir Dir;
  TSettingsStore S(Dir / "settings.ini");
  std::filesystem::create_directory(Dir / "settings.ini.lock");
  // The batch lives in memory that held other data before, as a stack slot would.
  alignas(TSettingsUpdate) unsigned char Slot[sizeof(TSettingsUpdate)];
  for (unsigned char& B : Slot) *static_cast<volatile unsigned char*>(&B) = 0xff;
  auto* Batch = new (Slot) TSettingsUpdate(S);
  S.WriteString("A", "v", "x");
  EXPECT_THROW(Batch->~TSettingsUpdate(), Exception);
  std::filesystem::remove(Dir / "settings.ini.lock");
}

TEST(SettingsStore, LockedChangesAreMadeOnTheFileAsItIsAndDroppedWhenRefused) {
  TTempDir Dir;
  TSettingsStore Mine(Dir / "settings.ini"), Theirs(Dir / "settings.ini");
  EXPECT_EQ(Mine.ReadInteger("List", "Count", 0), 0);
  Theirs.WriteInteger("List", "Count", 1);
  Mine.BeginUpdate();
  Mine.Locked([&] { Mine.WriteInteger("List", "Count", Mine.ReadInteger("List", "Count", 0) + 1); });
  // Saved at once, batch or not.
  EXPECT_EQ(Theirs.ReadInteger("List", "Count", 0), 2);
  EXPECT_THROW(Mine.Locked([&] {
    Mine.WriteInteger("List", "Count", 100);
    throw Exception("refused");
  }),
               Exception);
  EXPECT_EQ(Mine.ReadInteger("List", "Count", 0), 2);
  Mine.EndUpdate();
  EXPECT_EQ(TSettingsStore(Dir / "settings.ini").ReadInteger("List", "Count", 0), 2);
}
