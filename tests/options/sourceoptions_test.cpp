#include "options/sourceoptions.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <thread>

#include "options/envoptions.h"
#include "shared/settings.h"
#include "optionsfixture.h"
#include "support/files.h"
#include "support/run.h"
#include "support/wait.h"

using namespace nxs;
using nxs::test::TTempDir;

namespace {

using nxs::test::ErrorOf;


struct TFixture : nxs::test::TOptionsFixture {
  TSourceOptionGroups& Groups() { return Options.SourceOptionGroups(); }
  std::string Chosen(const std::string& File) {
    int I = Options.MoveToOptionsForFileType(File);
    return I < 0 ? "" : Groups().Group(I).IDString;
  }
};

void WriteText(const std::string& Name, const std::string& Text) { std::ofstream(Name) << Text; }

// Whether the thread sleeps (waits for a lock, say), from its state in /proc.
bool Sleeping(pid_t Tid) {
  const std::string Stat = nxs::test::ReadText("/proc/self/task/" + std::to_string(Tid) + "/stat");
  const size_t Close = Stat.rfind(')');
  return Close != std::string::npos && Close + 2 < Stat.size() && Stat[Close + 2] == 'S';
}

}  // namespace

TEST(SourceOptions, FreshStoreGetsTheBuiltInGroupsWritten) {
  TFixture F;
  F.Options.LoadOptions();
  ASSERT_EQ(F.Groups().Count(), 14);
  EXPECT_EQ(F.Store.ReadSubKeys("Editor\\Source Options").size(), 14u);

  TEditorSourceOptions C = F.Groups().Group(F.Groups().IndexOf("Tarvos.EditOptions.C"));
  EXPECT_EQ(C.DisplayName, "Tarvos.EditOptions.C");
  EXPECT_EQ(C.TabRack, "4");
  EXPECT_EQ(C.BlockIndent, 4);
  EXPECT_EQ(C.SyntaxLangID, "Tarvos.Highlighter.Cpp");
  EXPECT_EQ(C.EdModes, 0x10002056u);
  ASSERT_EQ(C.NumPairs(), 7);
  EXPECT_EQ(PairToString(C.PairTable[0]), "2,1,1,/*,*/");
  EXPECT_EQ(PairToString(C.PairTable[6]), "0,0,0,\",\"");
  TOptionSet& Set = F.Options.EditorSourceOptions();
  int CI = F.Groups().IndexOf("Tarvos.EditOptions.C");
  EXPECT_TRUE(Set.GetBoolAt(CI, "Tab Character"));
  EXPECT_TRUE(Set.GetBoolAt(CI, "Optimal Fill"));
  EXPECT_FALSE(Set.GetBoolAt(CI, "Smart Tab"));
  int D = F.Groups().IndexOf("Tarvos.EditOptions.Default");
  EXPECT_FALSE(Set.GetBoolAt(D, "Use Syntax Highlight"));
  EXPECT_EQ(F.Groups().Group(D).PairTable.size(), 6u);
  EXPECT_EQ(F.Store.ReadString("Editor\\Source Options\\Tarvos.EditOptions.Pascal\\Pair Table", "Pair1"),
            "0,1,1,(*,*)");
  EXPECT_EQ(F.Options.GetExtensionsForTypeID("tarvos.editoptions.xml").substr(0, 8), "xml;xsl;");
  // The mode word follows the options it stands for and keeps its other bits.
  F.Options.SetOption(Set, CI, "Tab Character", false);
  EXPECT_EQ(F.Groups().Group(CI).EdModes, 0x10002052u);
}

TEST(SourceOptions, StoredGroupsLoadInOrderWithTheirPairTables) {
  TFixture F;
  F.Store.WriteString("Editor\\Source Options\\Mine", "File Extensions", "txt;log");
  F.Store.WriteString("Editor\\Source Options\\Mine\\Pair Table", "Pair1", "1,1,0,(,)");
  F.Store.WriteString("Editor\\Source Options\\Mine\\Pair Table", "Pair2", "0,0,0,,,,");
  F.Store.WriteString("Editor\\Source Options\\Mine\\Pair Table", "Pair3", "garbage");
  F.Store.WriteString("Editor\\Source Options\\Tarvos.EditOptions.Pascal", "Source Option Name", "Old name");
  F.Store.WriteString("Editor\\Source Options\\Tarvos.EditOptions.Pascal", "File Extensions", "pas");
  F.Options.LoadOptions();
  ASSERT_EQ(F.Groups().Count(), 2);
  TEditorSourceOptions Mine = F.Groups().Group(0);
  EXPECT_EQ(Mine.IDString, "Mine");
  ASSERT_EQ(Mine.NumPairs(), 2);
  EXPECT_EQ(Mine.PairTable[1].StartFirst, ',');
  EXPECT_EQ(Mine.PairTable[1].EndFirst, ',');
  // A built-in group read without a pair table gets the built-in one and its own name back.
  TEditorSourceOptions Pascal = F.Groups().Group(1);
  EXPECT_EQ(Pascal.DisplayName, "Tarvos.EditOptions.Pascal");
  EXPECT_EQ(Pascal.NumPairs(), 7);
  EXPECT_EQ(F.Chosen("x.LOG"), "Mine");
  // No group with an empty list: the first group takes what nobody claims.
  EXPECT_EQ(F.Chosen("x.cpp"), "Mine");
}

TEST(SourceOptions, StoredPascalGroupWithTheOldDefaultsGainsTheNewExtensionsOnly) {
  TFixture F;
  const char* Key = "Editor\\Source Options\\Tarvos.EditOptions.Pascal";
  F.Store.WriteString(Key, "File Extensions", "pas;vpr;vpk;inc;vfm;xfm;cfx;lfm;nfm;vpkw");
  F.Store.WriteString("Editor\\Source Options\\Tarvos.EditOptions.C", "File Extensions", "cpp");
  F.Options.LoadOptions();
  EXPECT_EQ(F.Chosen("unit.pp"), "Tarvos.EditOptions.Pascal");
  EXPECT_EQ(F.Options.GetExtensionsForTypeID("Tarvos.EditOptions.Pascal"), "pas;vpr;vpk;inc;vfm;xfm;cfx;lfm;nfm;vpkw;pp;lpr");
  F.Options.SaveOptions();
  EXPECT_EQ(F.Store.ReadString(Key, "File Extensions"), "pas;vpr;vpk;inc;vfm;xfm;cfx;lfm;nfm;vpkw;pp;lpr");

  // A list of the user's own is left as it is.
  TFixture G;
  G.Store.WriteString(Key, "File Extensions", "pas;inc");
  G.Options.LoadOptions();
  EXPECT_EQ(G.Options.GetExtensionsForTypeID("Tarvos.EditOptions.Pascal"), "pas;inc");
}

TEST(SourceOptions, ChoosingTheGroupForAFile) {
  TFixture F;
  F.Options.LoadOptions();
  EXPECT_EQ(F.Chosen("/src/unit1.pas"), "Tarvos.EditOptions.Pascal");
  EXPECT_EQ(F.Chosen("/fpc/rtl/sysutils.pp"), "Tarvos.EditOptions.Pascal");
  EXPECT_EQ(F.Chosen("project1.lpr"), "Tarvos.EditOptions.Pascal");
  EXPECT_EQ(F.Chosen("C:\\src\\Main.CPP"), "Tarvos.EditOptions.C");
  EXPECT_EQ(F.Chosen("readme.unknownext"), "Tarvos.EditOptions.Default");
  EXPECT_EQ(F.Chosen("a.pas2"), "Tarvos.EditOptions.Default");
  EXPECT_EQ(F.Chosen("web.config"), "Tarvos.EditOptions.XML");
  EXPECT_EQ(F.Chosen("script.mm"), "Tarvos.EditOptions.ObjectiveC++");
  // Files without an extension: standard headers through the shipped list of expressions.
  EXPECT_EQ(F.Chosen("/usr/include/c++/12/vector"), "Tarvos.EditOptions.C");
  EXPECT_EQ(F.Chosen("cstdio"), "Tarvos.EditOptions.C");
  EXPECT_EQ(F.Chosen("Makefile"), "Tarvos.EditOptions.Default");
  EXPECT_EQ(F.Options.SourceOptionGroups().Current(), F.Groups().IndexOf("Tarvos.EditOptions.Default"));
  EXPECT_EQ(F.Options.GetTabRackPtr()->TabWidth, 8);
  F.Chosen("x.pas");
  EXPECT_EQ(F.Options.GetTabRackPtr()->TabWidth, 2);
}

TEST(SourceOptions, FilesWithoutExtensionMatchWholeNamesAndTheCacheRespectsThat) {
  TFixture F;
  F.Options.LoadOptions();
  int Ini = F.Groups().IndexOf("Tarvos.EditOptions.INI");
  F.Options.SetOption(F.Options.EditorSourceOptions(), Ini, "File Extensions", std::string("ini; Make file ;Doxyfile"));
  EXPECT_EQ(F.Chosen("Doxyfile"), "Tarvos.EditOptions.INI");
  EXPECT_EQ(F.Chosen("doxyFILE"), "Tarvos.EditOptions.INI");
  EXPECT_EQ(F.Chosen("Makefile"), "Tarvos.EditOptions.INI");
  // Same (empty) extension as the call before, but a different name: chosen afresh.
  EXPECT_EQ(F.Chosen("README"), "Tarvos.EditOptions.Default");
  // An entry is an extension all the same.
  EXPECT_EQ(F.Chosen("x.doxyfile"), "Tarvos.EditOptions.INI");
}

TEST(SourceOptions, SameExtensionChoosesOnceAndAppliesCodeInsightOnce) {
  TFixture F;
  F.Options.LoadOptions();
  std::vector<std::string> Applied;
  F.Groups().OnApplyCodeInsight = [&](const TEditorSourceOptions& G) { Applied.push_back(G.IDString); };
  F.Chosen("a.pas");
  F.Chosen("B.PAS");
  F.Chosen("c.cpp");
  F.Chosen("highlite.pas");
  EXPECT_EQ(Applied, (std::vector<std::string>{"Tarvos.EditOptions.Pascal", "Tarvos.EditOptions.C"}));
  // Changing a list forgets the last choice.
  int C = F.Groups().IndexOf("Tarvos.EditOptions.C");
  F.Options.SetOption(F.Options.EditorSourceOptions(), C, "File Extensions", std::string("cpp;h"));
  EXPECT_EQ(F.Chosen("x.pas"), "Tarvos.EditOptions.Pascal");
  EXPECT_EQ(Applied.size(), 3u);
}

TEST(SourceOptions, ListsOfExpressionsAreFoundInTheDataThenTheSettingsDirectory) {
  TFixture F;
  TTempDir Data, User;
  WriteText(Data / "build.txt", "# build files\n^CMakeLists\\.txt$\n[unclosed\n");
  WriteText(User / "build.txt", "^never$\n");
  WriteText(User / "mine.txt", "^notes-.*\n");
  F.Groups().FileTypeLists().SetDirectories({Data.Path(), User.Path()});
  F.Store.WriteString("Editor\\Source Options\\Build", "File Extensions", "&build.txt");
  F.Store.WriteString("Editor\\Source Options\\Notes", "File Extensions", "&mine.txt;&missing.txt;&../x");
  F.Store.WriteString("Editor\\Source Options\\Plain", "File Extensions", "");
  F.Options.LoadOptions();
  EXPECT_EQ(F.Chosen("/p/CMakeLists.txt"), "Build");
  EXPECT_EQ(F.Chosen("/p/notes-monday.md"), "Notes");
  EXPECT_EQ(F.Chosen("/p/other.txt"), "Plain");
}

TEST(SourceOptions, ExtensionListValidation) {
  TFixture F;
  F.Options.LoadOptions();
  TOptionSet& Set = F.Options.EditorSourceOptions();
  int Pascal = F.Groups().IndexOf("Tarvos.EditOptions.Pascal");
  auto SetExt = [&](const std::string& L) { F.Options.SetOption(Set, Pascal, "File Extensions", L); };
  EXPECT_EQ(ErrorOf([&] { SetExt("pas;;vpr"); }), "An empty extension is not allowed");
  EXPECT_EQ(ErrorOf([&] { SetExt("pas; "); }), "An empty extension is not allowed");
  EXPECT_EQ(ErrorOf([&] { SetExt("pas;CPP"); }),
            "Ambiguous file extension - CPP already exists in the group Tarvos.EditOptions.C");
  EXPECT_EQ(Set.GetStrAt(Pascal, "File Extensions"), "pas;vpr;vpk;inc;vfm;xfm;cfx;lfm;nfm;vpkw;pp;lpr");
  EXPECT_EQ(ErrorOf([&] { SetExt("pas;pas;pp"); }), "(no error)");
  EXPECT_EQ(ErrorOf([&] { SetExt(""); }), "(no error)");
  // A group's own entries may repeat (the XML group names "config" twice).
  int Xml = F.Groups().IndexOf("Tarvos.EditOptions.XML");
  EXPECT_EQ(ErrorOf([&] { F.Groups().ValidateExtensions(Xml, F.Options.GetExtensionsForTypeID("Tarvos.EditOptions.XML")); }),
            "(no error)");
  EXPECT_EQ(ErrorOf([&] { F.Options.SetOption(Set, Pascal, "Tab Stops", std::string("4 2")); }),
            "Tab Stops must be ascending column numbers between 1 and 1024 separated by blanks, not '4 2'");
}

TEST(SourceOptions, AddingAndDeletingGroups) {
  TFixture F;
  F.Options.LoadOptions();
  int I = F.Options.AddEditorSourceOption("Tarvos.EditOptions.Markdown");
  EXPECT_EQ(I, 14);
  EXPECT_EQ(ErrorOf([&] { F.Options.AddEditorSourceOption("tarvos.editoptions.markdown"); }),
            "An editor source option named 'tarvos.editoptions.markdown' already exists");
  F.Options.SetOption(F.Options.EditorSourceOptions(), I, "File Extensions", std::string("md"));
  EXPECT_EQ(F.Chosen("a.md"), "Tarvos.EditOptions.Markdown");
  EXPECT_EQ(ErrorOf([&] { F.Options.DeleteEditorSourceOption(F.Groups().IndexOf("Tarvos.EditOptions.Default")); }),
            "The default editor source option cannot be deleted");
  F.Options.DeleteEditorSourceOption(F.Groups().IndexOf("Tarvos.EditOptions.PHP"));
  F.Options.SaveOptions();
  EXPECT_EQ(F.Chosen("a.php"), "Tarvos.EditOptions.Default");

  TSettingsStore Again(F.Dir / "settings.ini");
  TEnvironmentOptions O2(Again);
  O2.LoadOptions();
  EXPECT_EQ(O2.SourceOptionGroups().Count(), 14);
  EXPECT_LT(O2.SourceOptionGroups().IndexOf("Tarvos.EditOptions.PHP"), 0);
  EXPECT_EQ(O2.GetExtensionsForTypeID("Tarvos.EditOptions.Markdown"), "md");
}

TEST(SourceOptions, PairDescriptorText) {
  auto P = PairFromString("1,1,1,(.,.)");
  ASSERT_TRUE(P);
  EXPECT_TRUE(P->TwoChars);
  EXPECT_EQ(P->StartSecond, '.');
  EXPECT_EQ(PairToString(*P), "1,1,1,(.,.)");
  for (const char* Bad : {"", "1,1", "1,1,0,(", "1,1,0,((,))", "x,1,0,(,)", "300,1,0,(,)", "1,1,1,(,)"})
    EXPECT_FALSE(PairFromString(Bad)) << Bad;
}

TEST(SourceOptions, AWholeNameChoiceIsNotCarriedToAnotherFileOfTheSameExtension) {
  TFixture F;
  TTempDir Data;
  WriteText(Data / "build.txt", "^CMakeLists\\.txt$\n");
  F.Groups().FileTypeLists().SetDirectories({Data.Path()});
  F.Store.WriteString("Editor\\Source Options\\Build", "File Extensions", "&build.txt");
  F.Store.WriteString("Editor\\Source Options\\Text", "File Extensions", "txt");
  F.Options.LoadOptions();
  // In each order.
  EXPECT_EQ(F.Chosen("/p/CMakeLists.txt"), "Build");
  EXPECT_EQ(F.Chosen("/p/other.txt"), "Text");
  EXPECT_EQ(F.Chosen("/q/CMakeLists.txt"), "Build");
  EXPECT_EQ(F.Chosen("/q/notes.txt"), "Text");
  EXPECT_EQ(F.Chosen("/q/notes.txt"), "Text");
}

// The first load of a store without groups decides under the settings file's lock that the
// built-in groups are to be written: groups another process wrote (and changed) while this one
// was reading are kept, and this one reads them.
TEST(SourceOptions, AFirstLoadWritesTheBuiltInGroupsOnlyWhereNoneWereWrittenMeanwhile) {
  TTempDir Dir;
  const std::string File = Dir / "settings.ini";
  const std::string C = "Editor\\Source Options\\Tarvos.EditOptions.C";
  std::atomic<pid_t> LoaderTid{0};
  std::string LoadedExtensions;
  std::optional<std::thread> Loader;
  // Another process holds the settings file's lock: the loader, having found no groups, waits
  // for it, and the other process writes its groups meanwhile.
  TSettingsStore Holder(File);
  Holder.Locked([&] {
    Loader.emplace([&] {
      LoaderTid = static_cast<pid_t>(::syscall(SYS_gettid));
      TSettingsStore Store(File);
      TEnvironmentOptions Options(Store);
      Options.LoadOptions();
      LoadedExtensions = Options.GetExtensionsForTypeID("Tarvos.EditOptions.C");
    });
    nxs::test::WaitUntil([&] { return LoaderTid != 0 && Sleeping(LoaderTid); });
    TSettingsStore Theirs(File);
    TEnvironmentOptions Other(Theirs);
    Other.LoadOptions();
    Other.SetOptionFromText(C, "File Extensions", "c;zz");
  });
  Loader->join();
  EXPECT_EQ(LoadedExtensions, "c;zz");
  TSettingsStore Fresh(File);
  EXPECT_EQ(Fresh.ReadString(C, "File Extensions"), "c;zz");
}

TEST(SourceOptions, ProcessesClaimingOneNewExtensionLeaveItToOneGroup) {
  TTempDir Dir;
  const int kRounds = 25;
  const char* Groups[] = {"Tarvos.EditOptions.Pascal", "Tarvos.EditOptions.C"};
  {
    // A store that has been used: the built-in groups are written on the first load.
    TSettingsStore Store(Dir / "settings.ini");
    TEnvironmentOptions(Store).LoadOptions();
  }
  ASSERT_TRUE(nxs::test::RunInProcesses(2, [&](int P) {
    for (int N = 0; N < kRounds; ++N) {
      // As `nxs options set` does: a fresh process's options, one value set and stored.
      TSettingsStore Store(Dir / "settings.ini");
      TEnvironmentOptions Options(Store);
      Options.LoadOptions();
      int G = Options.SourceOptionGroups().IndexOf(Groups[P]);
      std::string List = Options.EditorSourceOptions().GetStrAt(G, "File Extensions") + ";new" + std::to_string(N);
      try {
        Options.SetAndStoreOption(Options.EditorSourceOptions(), G, "File Extensions", List);
      } catch (const Exception&) {
        // The other process claimed it first.
      }
    }
  }));
  TSettingsStore Store(Dir / "settings.ini");
  TEnvironmentOptions Options(Store);
  Options.LoadOptions();
  std::string Lists[2];
  for (int P = 0; P < 2; ++P) Lists[P] = ";" + Options.GetExtensionsForTypeID(Groups[P]) + ";";
  for (int N = 0; N < kRounds; ++N) {
    std::string Ext = ";new" + std::to_string(N) + ";";
    int Holders = (Lists[0].find(Ext) != std::string::npos) + (Lists[1].find(Ext) != std::string::npos);
    EXPECT_EQ(Holders, 1) << Ext;
  }
}
