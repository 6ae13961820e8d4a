#include "shared/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "testdir.h"

using namespace nxs;
using nxs::test::TTempDir;

namespace {

std::string Slurp(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
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

TEST(SettingsStore, AFailedSaveKeepsTheChangePendingAndTheOldFileIntact) {
  TTempDir Dir;
  TSettingsStore S(Dir / "settings.ini");
  S.WriteString("A", "v", "old");
  // A directory where the lock file belongs makes the save fail, even for root.
  std::filesystem::remove(Dir / "settings.ini.lock");
  std::filesystem::create_directory(Dir / "settings.ini.lock");
  EXPECT_THROW(S.WriteString("A", "v", "new"), ESettingsError);
  EXPECT_EQ(S.ReadString("A", "v"), "new") << "the change stays pending in this process";
  std::filesystem::remove(Dir / "settings.ini.lock");
  EXPECT_NE(Slurp(Dir / "settings.ini").find("\"old\""), std::string::npos);
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
  int Copies = 0;
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path()))
    if (E.path().filename().string().rfind("settings.ini.damaged-", 0) == 0) {
      ++Copies;
      EXPECT_EQ(Slurp(E.path().string()), Damaged) << "the copy keeps every byte";
    }
  EXPECT_EQ(Copies, 1);
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
  pid_t Children[2];
  for (int C = 0; C < 2; ++C) {
    Children[C] = fork();
    ASSERT_GE(Children[C], 0);
    if (Children[C] == 0) {
      TSettingsStore S(Name);
      for (int I = 0; I < kWrites; ++I)
        S.WriteInteger("Process" + std::to_string(C), "Value" + std::to_string(I), I);
      _exit(0);
    }
  }
  for (pid_t P : Children) {
    int Status = 0;
    waitpid(P, &Status, 0);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
  }
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

TEST(SettingsStore, LocationFollowsTheEnvironment) {
  ::setenv("NXS_SETTINGS_DIR", "/tmp/nxs-here", 1);
  EXPECT_EQ(TSettingsStore::DefaultFileName(), "/tmp/nxs-here/settings.ini");
  ::unsetenv("NXS_SETTINGS_DIR");
  ::setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(TSettingsStore::DefaultDirectory(), "/tmp/xdg/Orvanti/NXS/20.0");
}
