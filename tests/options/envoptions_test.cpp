#include "options/envoptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "options/resstrings.h"
#include "shared/settings.h"
#include "optionsfixture.h"
#include "support/files.h"
#include "support/run.h"

using namespace nxs;
using nxs::test::TTempDir;

namespace {

using nxs::test::ErrorOf;

using TFixture = nxs::test::TOptionsFixture;

}  // namespace

TEST(EnvironmentOptions, FreshStoreReadsDefaultsOfEveryKind) {
  TFixture F;
  F.Options.LoadOptions();
  TOptionSet& Ed = F.Options.EditorOptions();
  EXPECT_TRUE(Ed.GetBool("Insert"));
  EXPECT_FALSE(Ed.GetBool("Cursor Beyond EOF"));
  EXPECT_EQ(Ed.GetInt("Undo Limit"), 32767);
  EXPECT_EQ(Ed.GetInt("File Backup Level"), 10);
  EXPECT_EQ(Ed.GetStr("Editor Font"), "Courier New");
  EXPECT_EQ(Ed.GetStr("Editor SpeedSetting"), "Tarvos.Default");
  EXPECT_FALSE(Ed.IsStored(0, "Insert"));
  EXPECT_TRUE(Ed.ThreadSafe());
  EXPECT_TRUE(F.Options.CodeInsight().ThreadSafe());
  EXPECT_FALSE(F.Options.SearchOptions().ThreadSafe());
  EXPECT_EQ(F.Options.Compiling().GetInt("Verbosity"), 3);
  EXPECT_EQ(F.Options.AutoRecoverOptions().GetInt("Interval"), 10);

  TOptionSet& Attr = F.Options.EditorAttributes();
  ASSERT_EQ(Attr.SubKeys().size(), 17u);
  EXPECT_EQ(Attr.SubKeys().front(), "Whitespace");
  EXPECT_EQ(Attr.SubKeys().back(), "Right margin");
  EXPECT_EQ(Attr.SlotKeyPath(1), "Editor\\Highlight\\Comment");
  EXPECT_EQ(TOptionSet::FormatValue(*Attr.FindField("Background Color New"), Attr.ValueAt(3, "Background Color New")),
            "clWhite");
  EXPECT_FALSE(F.Options.GetIsModified());
}

TEST(EnvironmentOptions, RefusedValuesNameTheOptionAndKeepTheOldValue) {
  TFixture F;
  F.Options.LoadOptions();
  TOptionSet& Ed = F.Options.EditorOptions();
  EXPECT_EQ(ErrorOf([&] { F.Options.SetOption(Ed, 0, "Font Size", int64_t{73}); }),
            "Font Size must be an integer between 5 and 72");
  EXPECT_EQ(ErrorOf([&] { F.Options.SetOption(Ed, 0, "File Backup Level", int64_t{0}); }),
            "File Backup Level must be an integer between 1 and 90");
  EXPECT_EQ(ErrorOf([&] { F.Options.SetOption(Ed, 0, "Insert", std::string("yes")); }),
            "Insert must be True or False");
  EXPECT_EQ(ErrorOf([&] { Ed.ParseValue(*Ed.FindField("Insert"), "maybe"); }), "Insert must be True or False");
  EXPECT_EQ(ErrorOf([&] { Ed.ParseValue(*Ed.FindField("Right Margin"), "wide"); }),
            "Right Margin must be an integer between 0 and 1024");
  EXPECT_EQ(ErrorOf([&] { F.Options.SetOption(Ed, 0, "No Such Option", true); }),
            "There is no option 'No Such Option' in 'Editor\\Options'");
  TOptionSet& Comp = F.Options.Compiling();
  EXPECT_EQ(ErrorOf([&] { F.Options.SetOption(Comp, 0, "Verbosity", int64_t{5}); }),
            "Verbosity must be an integer between 0 and 4 or one of Quiet, Minimal, Normal, Detailed, Diagnostic");
  EXPECT_EQ(std::get<int64_t>(Comp.ParseValue(*Comp.FindField("Verbosity"), "normal")), 2);
  EXPECT_EQ(Ed.GetInt("Font Size"), 10);
  EXPECT_EQ(Ed.GetInt("File Backup Level"), 10);
  EXPECT_TRUE(Ed.GetBool("Insert"));
  EXPECT_FALSE(F.Options.GetIsModified());
}

TEST(EnvironmentOptions, StoredValuesOfTheWrongTypeOrOutOfRangeReadAsDefaults) {
  TFixture F;
  F.Store.WriteString("Editor\\Options", "Insert", "False");
  F.Store.WriteInteger("Editor\\Options", "Font Size", 200);
  F.Store.WriteBool("Editor\\Options", "Editor Font", true);
  F.Store.WriteInteger("Editor\\Options", "Right Margin", 100);
  F.Store.WriteInteger("Editor\\Highlight\\Comment", "Foreground Color New", 0xFF);
  F.Options.LoadOptions();
  TOptionSet& Ed = F.Options.EditorOptions();
  EXPECT_TRUE(Ed.GetBool("Insert"));
  EXPECT_EQ(Ed.GetInt("Font Size"), 10);
  EXPECT_EQ(Ed.GetStr("Editor Font"), "Courier New");
  EXPECT_EQ(Ed.GetInt("Right Margin"), 100);
  TOptionSet& Attr = F.Options.EditorAttributes();
  EXPECT_EQ(Attr.GetIntAt(1, "Foreground Color New"), 0xFF);
  EXPECT_EQ(Attr.GetIntAt(0, "Foreground Color New"), 0);
}

TEST(EnvironmentOptions, SavedOptionsLoadBackInAnotherObject) {
  TFixture F;
  F.Options.LoadOptions();
  F.Options.SetOption(F.Options.EditorOptions(), 0, "Right Margin", int64_t{120});
  F.Options.SetOption(F.Options.EditorAttributes(), 2, "Bold", true);
  F.Options.SetOption(F.Options.GlobalOptions(), 0, "DefaultProjectsDirectory", std::string("/home/u/Projects"));
  EXPECT_TRUE(F.Options.GetIsModified());
  F.Options.SaveOptions();
  EXPECT_FALSE(F.Options.GetIsModified());

  TSettingsStore Again(F.Dir / "settings.ini");
  TEnvironmentOptions O2(Again);
  O2.LoadOptions();
  EXPECT_EQ(O2.EditorOptions().GetInt("Right Margin"), 120);
  EXPECT_TRUE(O2.EditorAttributes().GetBoolAt(2, "Bold"));
  EXPECT_FALSE(O2.EditorAttributes().GetBoolAt(1, "Bold"));
  EXPECT_EQ(O2.GlobalOptions().GetStr("DefaultProjectsDirectory"), "/home/u/Projects");
  EXPECT_EQ(Again.ReadString("Globals", "DefaultProjectsDirectory"), "/home/u/Projects");
}

TEST(EnvironmentOptions, ChangeNotificationFollowsOnChangeAndBatches) {
  TFixture F;
  F.Options.LoadOptions();
  std::vector<std::string> Seen;
  F.Options.OnChange().Add(&Seen, [&](TEvOptionsChanged& A) { Seen.push_back(A.Set ? A.OptionName : "*"); });
  TOptionSet& Ed = F.Options.EditorOptions();
  F.Options.SetOption(Ed, 0, "Right Margin", int64_t{100});
  F.Options.SetOption(Ed, 0, "Right Margin", int64_t{100});  // no change, no notification
  try {
    F.Options.SetOption(Ed, 0, "Right Margin", int64_t{-1});
  } catch (const Exception&) {
  }
  F.Options.BeginUpdate();
  F.Options.SetOption(Ed, 0, "Gutter Width", int64_t{30});
  F.Options.SetOption(Ed, 0, "Font Size", int64_t{12});
  F.Options.EndUpdate();
  F.Options.SendModified();
  EXPECT_EQ(Seen, (std::vector<std::string>{"Right Margin", "*", "*"}));
  F.Options.OnChange().Remove(&Seen);
}

TEST(EnvironmentOptions, SearchAndReplaceFlags) {
  TFixture F;
  F.Options.LoadOptions();
  EXPECT_EQ(F.Options.GetSearchFlags(), (TSearchFlags{sfGoForward, sfFromCursor, sfWholeFile}));
  EXPECT_EQ(F.Options.GetReplaceFlags(), (TSearchFlags{sfGoForward, sfFromCursor, sfWholeFile}));

  F.Options.SetOption(F.Options.ReplaceOptions(), 0, "Prompt On Replace", false);
  EXPECT_TRUE(F.Options.GetReplaceFlags().Contains(sfNoPrompting));

  TSearchFlags Wanted{sfCase, sfRegExp, sfWrapAround};
  F.Options.SetSearchFlags(Wanted);
  EXPECT_EQ(F.Options.GetSearchFlags(), Wanted);
  EXPECT_FALSE(F.Options.SearchOptions().GetBool("Search Forward"));
  // Wrap-around belongs to searching only; prompting to replacing only.
  F.Options.SetReplaceFlags(TSearchFlags{sfWord, sfWrapAround});
  EXPECT_EQ(F.Options.GetReplaceFlags(), (TSearchFlags{sfWord}));
  EXPECT_TRUE(F.Options.ReplaceOptions().GetBool("Prompt On Replace"));
  EXPECT_EQ((TSearchFlags{sfCase, sfWord}).Bits(), 0x18);
}

TEST(EnvironmentOptions, NumericSpeedSettingBecomesItsName) {
  struct TCase {
    int64_t Stored;
    const char* Name;
  };
  for (TCase C : {TCase{2, "Tarvos.Brief"}, TCase{77, "Tarvos.Default"}, TCase{0x81, "Tarvos.Classic"},
                  TCase{5, "Tarvos.VisualBasic"}}) {
    TFixture F;
    F.Store.WriteInteger("Editor\\Options", "Editor SpeedSetting", C.Stored);
    F.Options.LoadOptions();
    EXPECT_EQ(F.Options.EditorOptions().GetStr("Editor SpeedSetting"), C.Name) << C.Stored;
    EXPECT_EQ(F.Store.ReadString("Editor\\Options", "Editor SpeedSetting"), C.Name);
  }
  TFixture F;
  F.Store.WriteString("Editor\\Options", "Editor SpeedSetting", "Tarvos.Epsilon");
  F.Options.LoadOptions();
  EXPECT_EQ(F.Options.EditorOptions().GetStr("Editor SpeedSetting"), "Tarvos.Epsilon");
}

TEST(EnvironmentOptions, FindSetByKeyPathAndSubkey) {
  TFixture F;
  F.Options.LoadOptions();
  int Sub;
  EXPECT_EQ(F.Options.FindSet("editor\\options", Sub), &F.Options.EditorOptions());
  EXPECT_EQ(Sub, 0);
  EXPECT_EQ(F.Options.FindSet("Editor\\Highlight", Sub), &F.Options.EditorAttributes());
  EXPECT_EQ(Sub, -1);
  EXPECT_EQ(F.Options.FindSet("Editor/Highlight/search match", Sub), &F.Options.EditorAttributes());
  EXPECT_EQ(Sub, 10);
  EXPECT_EQ(F.Options.FindSet("Editor\\Source Options\\Tarvos.EditOptions.C#", Sub),
            &F.Options.EditorSourceOptions());
  EXPECT_EQ(F.Options.SourceOptionGroups().Group(Sub).IDString, "Tarvos.EditOptions.C#");
  EXPECT_EQ(F.Options.FindSet("Editor\\Highlight\\Nothing", Sub), nullptr);
  EXPECT_EQ(F.Options.FindSet("Nowhere", Sub), nullptr);
}

TEST(EnvironmentOptions, AddInOptionsLoadAndSaveWithTheRest) {
  TFixture F;
  F.Store.WriteInteger("Plugins\\Lint", "Level", 3);
  F.Options.LoadOptions();
  auto Lint = std::make_shared<TOptionSet>("Lint", "Plugins\\Lint",
                                           std::vector<TOptionField>{IntOption("Level", 1, 0, 5), BoolOption("On", true)});
  F.Options.RegisterAddInOptions(Lint);
  EXPECT_EQ(Lint->GetInt("Level"), 3);
  EXPECT_EQ(F.Options.Sets().back(), Lint.get());
  auto Twice = std::make_shared<TOptionSet>("Other", "plugins\\lint", std::vector<TOptionField>{});
  EXPECT_EQ(ErrorOf([&] { F.Options.RegisterAddInOptions(Twice); }), "Options at 'plugins\\lint' are already registered");
  F.Options.SetOption(*Lint, 0, "On", false);
  F.Options.SaveOptions();
  EXPECT_FALSE(F.Store.ReadBool("Plugins\\Lint", "On", true));
  F.Options.UnregisterAddInOptions(Lint.get());
  int Sub;
  EXPECT_EQ(F.Options.FindSet("Plugins\\Lint", Sub), nullptr);
}

TEST(HistoryLists, MostRecentFirstWithoutRepeatsAndPersisted) {
  TFixture F;
  THistoryLists& H = F.Options.HistoryLists();
  H.Add(hlSearchText, "alpha");
  H.Add(hlSearchText, "beta");
  H.Add(hlSearchText, "alpha");
  H.Add(hlSearchText, "Alpha");
  H.Add(hlSearchText, "");
  for (int I = 0; I < 30; ++I) H.Add(hlGotoLine, std::to_string(I));
  EXPECT_EQ(H.Items(hlSearchText), (std::vector<std::string>{"Alpha", "alpha", "beta"}));
  EXPECT_EQ(H.Items(hlGotoLine).size(), size_t(THistoryLists::MaxEntries));
  EXPECT_EQ(H.Items(hlGotoLine).front(), "29");
  F.Options.SaveOptions();

  TSettingsStore Again(F.Dir / "settings.ini");
  THistoryLists H2(Again);
  H2.Load();
  EXPECT_EQ(H2.Items(hlSearchText), H.Items(hlSearchText));
  EXPECT_EQ(H2.Items(hlGotoLine), H.Items(hlGotoLine));
  EXPECT_TRUE(H2.Items(hlBPCondition).empty());
  EXPECT_EQ(THistoryLists::IndexOfName("HLSEARCHTEXT"), hlSearchText);
  EXPECT_EQ(HistoryListCount, 69);
}

TEST(OptionValues, ColoursAndTabStops) {
  int64_t C = 0;
  EXPECT_TRUE(TryStringToColor("clwhite", C));
  EXPECT_EQ(C, 0xFFFFFF);
  EXPECT_TRUE(TryStringToColor("$000000FF", C));
  EXPECT_EQ(ColorToString(C), "clRed");
  EXPECT_TRUE(TryStringToColor("$FF00000F", C));  // a system colour
  EXPECT_EQ(C, -16777201);
  EXPECT_EQ(ColorToString(C), "$FF00000F");
  EXPECT_EQ(ColorToString(0x123456), "$00123456");
  EXPECT_FALSE(TryStringToColor("reddish", C));
  EXPECT_FALSE(TryStringToColor("$1FFFFFFFF", C));

  auto Rack = ParseTabStops("8");
  ASSERT_TRUE(Rack);
  EXPECT_EQ(Rack->Length, 1);
  EXPECT_EQ(Rack->TabWidth, 8);
  Rack = ParseTabStops(" 3 5,\t9 ");
  ASSERT_TRUE(Rack);
  EXPECT_EQ(Rack->Stops, (std::vector<int16_t>{3, 5, 9}));
  EXPECT_EQ(Rack->TabWidth, 4);
  for (const char* Bad : {"", "  ", "0", "4 4", "9 3", "x", "4a", "-2", "1025", "99999999999"})
    EXPECT_FALSE(TabStopsValidate(Bad)) << Bad;
}

TEST(EnvironmentOptions, DamagedSettingsFileKeepsWhatCouldBeReadAndSaysWhichFile) {
  TTempDir Dir;
  {
    std::ofstream Out(Dir / "settings.ini");
    Out << "[Editor\\Options]\nRight Margin=int:96\nthis line is not a value\n[Search\nCase Sensitive=bool:True\n";
  }
  TSettingsStore Store(Dir / "settings.ini");
  std::vector<std::string> Reports;
  Store.SetDamageReporter([&](const std::string& M) { Reports.push_back(M); });
  TEnvironmentOptions Options(Store);
  Options.LoadOptions();
  EXPECT_EQ(Options.EditorOptions().GetInt("Right Margin"), 96);
  EXPECT_FALSE(Options.SearchOptions().GetBool("Case Sensitive"));
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_NE(Reports[0].find(Dir / "settings.ini"), std::string::npos);
  EXPECT_EQ(Options.SourceOptionGroups().Count(), 14);
}

TEST(EnvironmentOptions, EditorOptionsCanBeReadFromAnotherThreadWhileTheyChange) {
  TFixture F;
  F.Options.LoadOptions();
  TOptionSet& Ed = F.Options.EditorOptions();
  std::atomic<bool> Stop = false;
  std::atomic<int> Odd = 0;
  std::thread Reader([&] {
    while (!Stop) {
      std::string Font = Ed.GetStr("Editor Font");
      if (Font != "Courier New" && Font != "Mono Sans") ++Odd;
    }
  });
  for (int I = 0; I < 2000; ++I) Ed.SetValue("Editor Font", std::string(I % 2 ? "Mono Sans" : "Courier New"));
  Stop = true;
  Reader.join();
  EXPECT_EQ(Odd, 0);
}

TEST(EnvironmentOptions, SavingWritesOnlyWhatChangedHere) {
  TFixture F;
  F.Options.LoadOptions();
  // Another process, started at the same time, changes and saves first.
  TSettingsStore OtherStore(F.Dir / "settings.ini");
  TEnvironmentOptions Other(OtherStore);
  Other.LoadOptions();
  Other.SetOption(Other.EditorOptions(), 0, "Undo Limit", int64_t{100});
  Other.SaveOptions();

  F.Options.SetOption(F.Options.EditorOptions(), 0, "Font Size", int64_t{12});
  F.Options.SaveOptions();
  TSettingsStore Fresh(F.Dir / "settings.ini");
  EXPECT_EQ(Fresh.ReadInteger("Editor\\Options", "Undo Limit", 0), 100);
  EXPECT_EQ(Fresh.ReadInteger("Editor\\Options", "Font Size", 0), 12);
  // Saving again with nothing changed leaves a value another process stored since.
  Other.SetOption(Other.EditorOptions(), 0, "Font Size", int64_t{14});
  Other.SaveOptions();
  F.Options.SaveOptions();
  EXPECT_EQ(Fresh.ReadInteger("Editor\\Options", "Font Size", 0), 14);
}

TEST(HistoryLists, ProcessesSavingAtOnceKeepEachOthersEntries) {
  TTempDir Dir;
  const int kEach = 10;
  {
    TSettingsStore Store(Dir / "settings.ini");
    THistoryLists H(Store);
    H.Add(hlSearchText, "cleared");
    H.Add(hlGotoLine, "kept");
    H.Save();
  }
  {
    // A clear stored before the others start; cleared concurrently, it would rightly take the
    // entries the other process had stored before it.
    TSettingsStore Store(Dir / "settings.ini");
    THistoryLists H(Store);
    H.Load();
    H.Clear(hlSearchText);
    H.Save();
  }
  ASSERT_TRUE(nxs::test::RunInProcesses(2, [&](int P) {
    TSettingsStore Store(Dir / "settings.ini");
    THistoryLists H(Store);
    H.Load();
    for (int I = 0; I < kEach; ++I) {
      H.Add(hlSearchText, std::to_string(P) + "-" + std::to_string(I));
      H.Save();
    }
  }));
  TSettingsStore Store(Dir / "settings.ini");
  THistoryLists H(Store);
  H.Load();
  std::vector<std::string> Items = H.Items(hlSearchText);
  EXPECT_EQ(Items.size(), 2u * kEach);
  for (int P = 0; P < 2; ++P)
    for (int I = 0; I < kEach; ++I)
      EXPECT_NE(std::find(Items.begin(), Items.end(), std::to_string(P) + "-" + std::to_string(I)), Items.end());
  EXPECT_EQ(std::find(Items.begin(), Items.end(), "cleared"), Items.end());
  EXPECT_EQ(H.Items(hlGotoLine), std::vector<std::string>{"kept"}) << "a list nobody changed";
}

// An option set from its text as a user types it: a key path and name that name nothing and
// a refused value write nothing; a good value is stored, with the built-in source option
// groups when the store had none of them yet.
TEST(EnvironmentOptions, SetFromTextChecksBeforeItWritesAndStoresTheValue) {
  TTempDir Dir;
  const std::string File = Dir / "settings.ini";
  TSettingsStore Store(File);
  auto Options = LoadStoredOptions(Store);
  EXPECT_FALSE(std::filesystem::exists(File));  // loading wrote nothing, not even the built-ins
  EXPECT_EQ(ErrorOf([&] { Options->SetOptionFromText("Nowhere", "Insert", "False"); }),
            "No option set is stored at 'Nowhere'");
  // A set stored per subkey is set one subkey at a time.
  EXPECT_EQ(ErrorOf([&] { Options->SetOptionFromText("Editor\\Highlight", "Bold", "True"); }),
            "No option set is stored at 'Editor\\Highlight'");
  EXPECT_EQ(ErrorOf([&] { Options->SetOptionFromText("Editor\\Options", "Nope", "1"); }),
            "There is no option 'Nope' in 'Editor\\Options'");
  EXPECT_EQ(ErrorOf<Exception>([&] { Options->SetOptionFromText("Editor\\Options", "Undo Limit", "many"); }),
            "Undo Limit must be an integer between 0 and 2147483647");
  EXPECT_EQ(ErrorOf<Exception>([&] { Options->SetOptionFromText("editor/options", "File Backup Level", "0"); }),
            "File Backup Level must be an integer between 1 and 90");
  EXPECT_FALSE(std::filesystem::exists(File));

  Options->SetOptionFromText("editor/options", "file backup level", "7");
  Options->SetOptionFromText("Editor\\Highlight\\Comment", "Bold", "true");
  TSettingsStore Fresh(File);
  EXPECT_EQ(Fresh.ReadInteger("Editor\\Options", "File Backup Level", 0), 7);
  EXPECT_TRUE(Fresh.ReadBool("Editor\\Highlight\\Comment", "Bold", false));
  EXPECT_EQ(Fresh.ReadSubKeys("Editor\\Source Options").size(), 14u);
}

// A command that read a store without source option groups sets one while another process
// writes its groups: the value is checked against those groups, and a refused value writes
// nothing, neither the built-in groups this command made nor over the other process's.
TEST(EnvironmentOptions, SetFromTextChecksAgainstGroupsAnotherProcessWroteMeanwhile) {
  TTempDir Dir;
  const std::string File = Dir / "settings.ini";
  const std::string C = "Editor\\Source Options\\Tarvos.EditOptions.C";
  const std::string Pascal = "Editor\\Source Options\\Tarvos.EditOptions.Pascal";
  TSettingsStore Mine(File);
  auto Options = LoadStoredOptions(Mine);
  {
    TSettingsStore Theirs(File);
    TEnvironmentOptions Other(Theirs);
    Other.LoadOptions();
    Other.SetOptionFromText(C, "File Extensions", "c;zz");
  }
  const std::string Before = nxs::test::ReadText(File);
  EXPECT_EQ(ErrorOf<Exception>([&] { Options->SetOptionFromText(Pascal, "File Extensions", "pas;zz"); }),
            "Ambiguous file extension - zz already exists in the group Tarvos.EditOptions.C");
  EXPECT_TRUE(nxs::test::ReadText(File) == Before) << "a refused value wrote to the store";
  // A value nobody claims is stored beside the other process's groups.
  Options->SetOptionFromText(Pascal, "File Extensions", "pas;yy");
  TSettingsStore Fresh(File);
  EXPECT_EQ(Fresh.ReadString(C, "File Extensions"), "c;zz");
  EXPECT_EQ(Fresh.ReadString(Pascal, "File Extensions"), "pas;yy");
}

// A store that could not be read is not shown as defaults that would pass for the user's own.
TEST(EnvironmentOptions, LoadingAStoreThatCannotBeReadFails) {
  TTempDir Dir;
  std::filesystem::create_directory(Dir / "settings.ini");
  TSettingsStore Store(Dir / "settings.ini");
  ASSERT_FALSE(Store.ReadError().empty());
  EXPECT_EQ(ErrorOf<Exception>([&] { LoadStoredOptions(Store); }), Store.ReadError());
}
