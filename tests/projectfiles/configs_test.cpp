#include <gtest/gtest.h>

#include "cfgsupport.h"
#include "projectfiles/conditions.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/errors.h"
#include "projectfiles/optionmgr.h"
#include "projectfiles/optionsets.h"
#include "shared/fileio.h"

namespace nxs::test {
namespace {

const char* Header = "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\n";

std::string Doc(const std::string& Body) { return std::string(Header) + Body + "</Project>\n"; }

TEST(BuildConfigurations, NewProjectHasOnlyBaseWithItsTwoGroups) {
  TTestProject P("/p/app.vproj", "");
  P.Configs.GetBaseConfiguration();
  std::string Xml = P.Save();
  EXPECT_EQ(GroupText(Xml, "'$(Config)'=='Base' or '$(Base)'!=''"),
            "<PropertyGroup Condition=\"'$(Config)'=='Base' or '$(Base)'!=''\">\r\n"
            "        <Base>true</Base>\r\n    </PropertyGroup>");
  EXPECT_EQ(GroupText(Xml, "'$(Base)'!=''"), "<PropertyGroup Condition=\"'$(Base)'!=''\"/>");
  EXPECT_EQ(P.Configs.GetNames(), std::vector<std::string>{"Base"});
}

TEST(BuildConfigurations, DefinitionGroupsCarryKeyParentAndAncestorsInOrder) {
  TTestProject P("/p/app.vproj", "");
  TBuildConfiguration& Debug = P.Configs.AddConfiguration("Debug");
  ASSERT_EQ(Debug.Key(), "Cfg_1");
  TBuildConfiguration* Win = Debug.GetPlatformConfiguration("Win32", true);
  EXPECT_EQ(Win->Key(), "Cfg_1_Win32");
  EXPECT_EQ(Win->Name(), "Debug");
  TBuildConfiguration& Child = P.Configs.AddConfiguration("Child", &Debug);
  std::string Xml = P.Save();
  EXPECT_NE(GroupText(Xml, "'$(Config)'=='Debug' or '$(Cfg_1)'!=''")
                .find("<Cfg_1>true</Cfg_1>\r\n        <CfgParent>Base</CfgParent>\r\n        <Base>true</Base>"),
            std::string::npos);
  EXPECT_NE(GroupText(Xml, "('$(Platform)'=='Win32' and '$(Cfg_1)'=='true') or '$(Cfg_1_Win32)'!=''")
                .find("<Cfg_1_Win32>true</Cfg_1_Win32>\r\n        <CfgParent>Cfg_1</CfgParent>\r\n"
                      "        <Cfg_1>true</Cfg_1>\r\n        <Base>true</Base>"),
            std::string::npos);
  EXPECT_NE(GroupText(Xml, DefinitionCondition("Child", Child.Key())).find("<CfgParent>Cfg_1</CfgParent>"),
            std::string::npos);
  // Definitions first (depth first), then the value groups in the same order.
  size_t Defs = Xml.find(PlatformDefinitionCondition("Win32", "Cfg_1", "Cfg_1_Win32"));
  size_t ChildDef = Xml.find(DefinitionCondition("Child", "Cfg_2"));
  size_t BaseValues = Xml.find("\"'$(Base)'!=''\"");
  EXPECT_LT(Defs, ChildDef);
  EXPECT_LT(ChildDef, BaseValues);
}

TEST(BuildConfigurations, NewKeysSkipKeysAlreadyLoaded) {
  TTestProject P("/p/app.vproj", Doc(
      "<PropertyGroup Condition=\"'$(Config)'=='Debug' or '$(Cfg_1)'!=''\"><Cfg_1>true</Cfg_1></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Config)'=='Release' or '$(Cfg_2)'!=''\"><Cfg_2>true</Cfg_2></PropertyGroup>\n"));
  P.Load();
  EXPECT_EQ(P.Configs.AddConfiguration("Third").Key(), "Cfg_3");
  P.Configs.Remove(*P.Configs.GetConfiguration("Third"), false);
  // The counter does not go back: keys handed out once are not reused while the manager lives.
  EXPECT_EQ(P.Configs.AddConfiguration("Fourth").Key(), "Cfg_4");
}

TEST(BuildConfigurations, NewKeysSkipKeysThatOnlyAGroupLeftAsItStandsNames) {
  // The platform group names a parent key no configuration has: it stays in the file, and a
  // new configuration must not take that key and adopt it on the next load.
  TTestProject P("/p/app.vproj", Doc(
      "<PropertyGroup Condition=\"('$(Platform)'=='Linux64' and '$(Cfg_4)'=='true') or '$(Cfg_4_Linux64)'!=''\">"
      "<Cfg_4_Linux64>true</Cfg_4_Linux64><CfgParent>Cfg_4</CfgParent></PropertyGroup>\n"));
  P.Load();
  EXPECT_EQ(P.Configs.AddConfiguration("Fresh").Key(), "Cfg_5");
}

TEST(BuildConfigurations, MergedListsReadWithoutTheirOwnEntryAndWriteItBack) {
  TTestProject P("/p/app.vproj", Doc(
      "<PropertyGroup Condition=\"'$(Base)'!=''\"><Defines>A;B;$(Defines)</Defines></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Config)'=='Debug' or '$(Cfg_1)'!=''\"><Cfg_1>true</Cfg_1></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Cfg_1)'!=''\"><Defines>C;$(DEFINES);D</Defines><IncludePath>x;y</IncludePath></PropertyGroup>\n"));
  P.Load();
  TBuildConfiguration& Base = P.Configs.GetBaseConfiguration();
  TBuildConfiguration& Debug = P.Configs.Configuration("Debug");
  EXPECT_EQ(Base.GetValue("Defines", false), "A;B");
  EXPECT_TRUE(Base.GetMerged("Defines"));
  EXPECT_EQ(Debug.GetValue("Defines", false), "C;D");
  EXPECT_TRUE(Debug.GetMerged("Defines"));
  EXPECT_FALSE(Debug.GetMerged("IncludePath"));
  EXPECT_EQ(Debug.GetValue("Defines"), "C;D;A;B");
  EXPECT_EQ(Debug.GetValues("Defines"), (std::vector<std::string>{"C", "D", "A", "B"}));
  std::string Xml = P.Save();
  EXPECT_NE(Xml.find("<Defines>A;B;$(Defines)</Defines>"), std::string::npos);
  // An unchanged value keeps the file's own spelling; a changed one is written in ours.
  EXPECT_NE(Xml.find("<Defines>C;$(DEFINES);D</Defines>"), std::string::npos);
  EXPECT_NE(Xml.find("<IncludePath>x;y</IncludePath>"), std::string::npos);
  Debug.SetListValue("Defines", "E", true);
  Xml = P.Save();
  EXPECT_NE(Xml.find("<Defines>E;$(Defines)</Defines>"), std::string::npos);
}

TEST(BuildConfigurations, MergingNeedsAListThatAllowsIt) {
  TTestProject P("/p/app.vproj", "");
  TBuildConfiguration& Base = P.Configs.GetBaseConfiguration();
  EXPECT_THROW(
      {
        try {
          Base.SetListValue("Optimize", "true", true);
        } catch (const ERequiresListArgument& E) {
          EXPECT_STREQ(E.what(), "Option \"Optimize\" requires a list argument");
          throw;
        }
      },
      ERequiresListArgument);
  EXPECT_THROW(Base.GetValues("OutputDir"), ERequiresListArgument);
}

TEST(BuildConfigurations, LookupGoesOwnThenOptionSetsThenAncestorsThenDefault) {
  std::string Dir = ScratchDir("lookup");
  auto Set = NewOptionSet(Dir + "/shared.optset", "Vellum.Personality");
  Set->SetValue("ExtraOptions", "from-set");
  Set->SetValue("OutputDir", "set-out");
  Set->SaveToFile();
  // Read back and saved again, the set keeps its GUID in the file and out of its values.
  auto Again = OpenNamedOptionSet(Dir + "/shared.optset");
  EXPECT_FALSE(Again->HasValue("ProjectGuid"));
  EXPECT_EQ(Again->GetValue("OutputDir", false), "set-out");
  Again->SaveToFile();
  EXPECT_NE(ReadWholeFile(Dir + "/shared.optset").find("<ProjectGuid>"), std::string::npos);

  TTestProject P(Dir + "/app.vproj", "");
  TBuildConfigurations& C = P.Configs;
  TBuildConfiguration& Base = C.GetBaseConfiguration();
  TBuildConfiguration& Debug = C.AddConfiguration("Debug");
  Base.SetValue("ExtraOptions", "from-base");
  Base.SetValue("IntermediateDir", "base-obj");
  Base.GetPlatformConfiguration("Linux64", true)->SetValue("IntermediateDir", "base-linux-obj");
  Debug.SetValue("OutputDir", "debug-out");
  Debug.AddReference(C.OpenOptionSet(Dir + "/shared.optset"));

  EXPECT_EQ(Debug.GetValue("OutputDir"), "debug-out");          // own entry first
  EXPECT_EQ(Debug.GetValue("ExtraOptions"), "from-set");        // then the option sets
  EXPECT_EQ(Debug.GetValue("IntermediateDir"), "base-obj");     // then the ancestors
  EXPECT_EQ(Debug.GetPlatformValue("IntermediateDir", "Linux64"), "base-linux-obj");
  EXPECT_EQ(Debug.GetValue("VerInfo_MajorVer"), "1");           // then the option's default
  EXPECT_EQ(Debug.GetValue("ExtraOptions", false), "");
  EXPECT_TRUE(Debug.IsOverride("OutputDir"));

  // Setting the empty string removes the entry, so the level above shows through.
  Debug.SetValue("OutputDir", "");
  EXPECT_FALSE(Debug.HasValue("OutputDir"));
  EXPECT_EQ(Debug.GetValue("OutputDir"), "set-out");
}

TEST(BuildConfigurations, PlatformSubConfigurationComesBeforeItsConfiguration) {
  TTestProject P("/p/app.vproj", "");
  TBuildConfiguration& Base = P.Configs.GetBaseConfiguration();
  TBuildConfiguration& Debug = P.Configs.AddConfiguration("Debug");
  Base.SetValues("Defines", {"BASE"});
  Base.GetPlatformConfiguration("Linux64", true)->SetListValue("Defines", "BASELNX", true);
  Debug.SetListValue("Defines", "DBG", true);
  Debug.GetPlatformConfiguration("Linux64", true)->SetListValue("Defines", "DBGLNX", true);
  EXPECT_EQ(Debug.GetPlatformValue("Defines", "Linux64"), "DBGLNX;DBG;BASELNX;BASE");
  EXPECT_EQ(Debug.GetValue("Defines"), "DBG;BASE");
}

TEST(BuildConfigurations, LocalOverridesInheritUnlessTheOptionPreventsIt) {
  auto Task = std::make_shared<TCustomTask>("LocalTestTask");
  auto Sticky = std::make_shared<TProjectOption>("LocalTest_Sticky");
  Sticky->SetLocalPreventMerge(true);
  Task->AddOption(Sticky);
  Task->AddOption(std::make_shared<TProjectOption>("LocalTest_Plain"));
  OptionManager().RegisterTask(Task);

  TTestProject P("/p/app.vproj", "");
  TBuildConfiguration& Debug = P.Configs.AddConfiguration("Debug");
  Debug.SetValue("LocalTest_Sticky", "cfg");
  Debug.SetValue("LocalTest_Plain", "cfg");
  TLocalOverride* Local = Debug.SetLocalOverride("/p/src/a.pas");
  EXPECT_EQ(Local->GetValue("LocalTest_Plain"), "cfg");
  EXPECT_EQ(Local->GetValue("LocalTest_Sticky"), "");

  std::string Xml = P.Save();
  Local->SetValue("LocalTest_Plain", "file");
  Xml = P.Save();
  EXPECT_NE(GroupText(Xml, "'$(Cfg_1)'!='' And '$(FileToCompile)'=='src\\a.pas'").find("<LocalTest_Plain>file<"),
            std::string::npos);

  TTestProject Again("/p/app.vproj", Xml);
  Again.Load();
  TLocalOverride* Loaded = Again.Configs.GetLocalConfiguration("Cfg_1", "/p/src/a.pas");
  ASSERT_NE(Loaded, nullptr);
  EXPECT_EQ(Loaded->GetValue("LocalTest_Plain"), "file");
  OptionManager().UnregisterTask("LocalTestTask");
}

TEST(BuildConfigurations, CDataValuesAreWrappedAndUnwrapped) {
  auto Task = std::make_shared<TCustomTask>("CDataTestTask");
  auto Script = std::make_shared<TProjectOption>("CDataTest_Script");
  auto Arg = std::make_shared<TArgumentInfo>(atString);
  Arg->SetValueIsCDATA(true);
  Script->SetArgument(Arg);
  Task->AddOption(Script);
  OptionManager().RegisterTask(Task);

  TTestProject P("/p/app.vproj", "");
  P.Configs.GetBaseConfiguration().SetValue("CDataTest_Script", "a < b && c");
  P.Configs.GetBaseConfiguration().SetValue("ExtraOptions", "<![CDATA[odd");
  std::string Xml = P.Save();
  EXPECT_NE(Xml.find("<CDataTest_Script><![CDATA[a < b && c]]></CDataTest_Script>"), std::string::npos);

  TTestProject Again("/p/app.vproj", Xml);
  Again.Load();
  EXPECT_EQ(Again.Configs.GetBaseConfiguration().GetValue("CDataTest_Script", false), "a < b && c");
  // A value that merely starts like a CDATA section comes back as it was set.
  EXPECT_EQ(Again.Configs.GetBaseConfiguration().GetValue("ExtraOptions", false), "<![CDATA[odd");

  // A section followed by more text is no section: it is written escaped and comes back whole,
  // for an option stored as CDATA and for any other.
  for (const char* Option : {"CDataTest_Script", "ExtraOptions"}) {
    TTestProject Mixed("/p/app.vproj", "");
    Mixed.Configs.GetBaseConfiguration().SetValue(Option, "<![CDATA[a]]>b<c");
    TTestProject Back("/p/app.vproj", Mixed.Save());
    Back.Load();
    EXPECT_EQ(Back.Configs.GetBaseConfiguration().GetValue(Option, false), "<![CDATA[a]]>b<c") << Option;
  }
  OptionManager().UnregisterTask("CDataTestTask");
}

TEST(BuildConfigurations, UnknownPlatformGroupsAreSkippedAndKept) {
  std::string Mars = "('$(Platform)'=='Mars32' and '$(Base)'=='true') or '$(Base_Mars32)'!=''";
  TTestProject P("/p/app.vproj", Doc(
      "<PropertyGroup Condition=\"" + Mars + "\"><Base_Mars32>true</Base_Mars32></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Base_Mars32)'!=''\"><Defines>MARS</Defines></PropertyGroup>\n"));
  P.Load();
  EXPECT_FALSE(P.Configs.GetBaseConfiguration().HasPlatformConfiguration("Mars32"));
  std::string Xml = P.Save();
  EXPECT_NE(GroupText(Xml, Mars).find("<Base_Mars32>true</Base_Mars32>"), std::string::npos);
  EXPECT_NE(Xml.find("<Defines>MARS</Defines>"), std::string::npos);
}

TEST(BuildConfigurations, ParentCyclesAndMissingParentsFallBackToBase) {
  TTestProject P("/p/app.vproj", Doc(
      "<PropertyGroup Condition=\"'$(Config)'=='A' or '$(Cfg_1)'!=''\"><CfgParent>Cfg_2</CfgParent></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Config)'=='B' or '$(Cfg_2)'!=''\"><CfgParent>Cfg_1</CfgParent></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Config)'=='C' or '$(Cfg_3)'!=''\"><CfgParent>Cfg_3</CfgParent></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Config)'=='D' or '$(Cfg_4)'!=''\"><CfgParent>Cfg_9</CfgParent></PropertyGroup>\n"));
  P.Load();
  TBuildConfigurations& C = P.Configs;
  ASSERT_NE(C.GetConfiguration("A"), nullptr);
  ASSERT_NE(C.GetConfiguration("B"), nullptr);
  // One of the pair hangs under Base, the other under it.
  bool AUnderB = C.Configuration("A").Parent() == C.GetConfiguration("B");
  bool BUnderA = C.Configuration("B").Parent() == C.GetConfiguration("A");
  EXPECT_NE(AUnderB, BUnderA);
  EXPECT_EQ(C.Configuration("C").Parent(), &C.GetBaseConfiguration());
  EXPECT_EQ(C.Configuration("D").Parent(), &C.GetBaseConfiguration());
}

TEST(BuildConfigurations, OldStyleDefinitionsBecomeConfigurations) {
  TTestProject P("/p/app.vproj", Doc(
      "<PropertyGroup Condition=\"'$(Config)'=='Debug' or '$(Cfg_1)'!=''\"><Cfg_1>true</Cfg_1></PropertyGroup>\n"
      "<PropertyGroup Condition=\" '$(Configuration)|$(Platform)' == 'Legacy|AnyCPU' \">"
      "<DebugInfo>false</DebugInfo></PropertyGroup>\n"));
  P.Load();
  TBuildConfiguration& Legacy = P.Configs.Configuration("Legacy");
  EXPECT_EQ(Legacy.Key(), "Cfg_2");
  EXPECT_EQ(Legacy.GetValue("DebugInfo", false), "false");
  std::string Xml = P.Save();
  EXPECT_EQ(Xml.find("$(Configuration)|$(Platform)"), std::string::npos);
  EXPECT_NE(GroupText(Xml, "'$(Cfg_2)'!=''").find("<DebugInfo>false</DebugInfo>"), std::string::npos);
}

TEST(BuildConfigurations, ProblemsOfAHandEditedFileAreShownAndTheRestLoads) {
  TQuestionsScope Q;
  std::string Dir = ScratchDir("problems");
  TTestProject P(Dir + "/app.vproj", Doc(
      "<PropertyGroup Condition=\"'$(Config)'=='Debug' or '$(Cfg_1)'!=''\"><Cfg_1>true</Cfg_1></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Cfg_1)'!=''\"><CfgDependentOn>gone.optset</CfgDependentOn>"
      "<VerInfo_MajorVer>abc</VerInfo_MajorVer><Optimize>true</Optimize></PropertyGroup>\n"
      "<Import Project=\"gone.optset\" Condition=\"'$(Cfg_1)'!='' And Exists('gone.optset')\"/>\n"));
  P.Load();
  ASSERT_EQ(Q->Shown.size(), 1u);
  EXPECT_NE(Q->Shown[0].find("Error reading value for option \"VerInfo_MajorVer\": 'abc' is not a valid integer value"),
            std::string::npos);
  EXPECT_NE(Q->Shown[0].find("Option set \"gone.optset\" cannot be loaded. It has been removed from project "
                             "\"app.vproj\".\nError message: "),
            std::string::npos);
  TBuildConfiguration& Debug = P.Configs.Configuration("Debug");
  EXPECT_EQ(Debug.GetValue("Optimize"), "true");
  EXPECT_EQ(Debug.GetValue("VerInfo_MajorVer"), "abc");  // kept as it was
  EXPECT_THROW(Debug.GetInteger("VerInfo_MajorVer"), EInvalidOptionValue);
  EXPECT_FALSE(Debug.HasOptionSets());
  std::string Xml = P.Save();
  EXPECT_EQ(Xml.find("gone.optset"), std::string::npos);
  EXPECT_NE(Xml.find("<VerInfo_MajorVer>abc</VerInfo_MajorVer>"), std::string::npos);
}

TEST(BuildConfigurations, OptionSetReferencesWriteImportAndDependency) {
  std::string Dir = ScratchDir("refs");
  FileSystem().ForceDirectories(Dir + "/sets");
  NewOptionSet(Dir + "/sets/common.optset", "Vellum.Personality")->SaveToFile();
  TTestProject P(Dir + "/app.vproj", "");
  TBuildConfiguration& Debug = P.Configs.AddConfiguration("Debug");
  Debug.AddReference(P.Configs.OpenOptionSet(Dir + "/sets/common.optset"));
  std::string Xml = P.Save();
  EXPECT_NE(Xml.find("<CfgDependentOn>sets\\common.optset</CfgDependentOn>"), std::string::npos);
  EXPECT_NE(Xml.find("<Import Project=\"sets\\common.optset\" Condition=\"'$(Cfg_1)'!='' And "
                     "Exists('sets\\common.optset')\"/>"),
            std::string::npos);

  TTestProject Again(Dir + "/app.vproj", Xml);
  Again.Load();
  TBuildConfiguration& Loaded = Again.Configs.Configuration("Debug");
  ASSERT_EQ(Loaded.GetReferences().size(), 1u);
  EXPECT_EQ(Loaded.GetReferences()[0].OptionSet->GetFilename(), Dir + "/sets/common.optset");
  EXPECT_FALSE(Loaded.HasValue("CfgDependentOn"));

  TQuestionsScope Q;
  Q->Answer = mrNo;
  EXPECT_FALSE(Loaded.RemoveReference(*Loaded.GetReferences()[0].OptionSet, true));
  EXPECT_EQ(Q->Asked, std::vector<std::string>{"Remove reference to \"common.optset\"?"});
  Q->Answer = mrYes;
  EXPECT_TRUE(Loaded.RemoveReference(*Loaded.GetReferences()[0].OptionSet, true));
  Xml = Again.Save();
  EXPECT_EQ(Xml.find("common.optset"), std::string::npos);
}

TEST(BuildConfigurations, RemovingConfigurations) {
  TQuestionsScope Q;
  TTestProject P("/p/app.vproj", "");
  TBuildConfigurations& C = P.Configs;
  TBuildConfiguration& Debug = C.AddConfiguration("Debug");
  C.AddConfiguration("Child", &Debug);
  C.AddConfiguration("Release");
  C.SetActiveConfiguration("child");
  EXPECT_EQ(C.GetActiveConfiguration().Name(), "Child");
  std::string Before = P.Save();
  ASSERT_NE(Before.find("'$(Cfg_2)'!=''"), std::string::npos);

  Q->Answer = mrNo;
  EXPECT_FALSE(C.Remove(Debug, true));
  EXPECT_EQ(Q->Asked.back(), "Delete build configuration \"Debug\"?");
  Q->Answer = mrYes;
  EXPECT_TRUE(C.Remove(Debug, true));
  EXPECT_EQ(C.GetNames(), (std::vector<std::string>{"Base", "Release"}));
  EXPECT_EQ(C.GetActiveConfiguration().Name(), "Release");
  std::string After = P.Save();
  EXPECT_EQ(After.find("Cfg_1"), std::string::npos);
  EXPECT_EQ(After.find("Cfg_2"), std::string::npos);

  try {
    C.Remove(C.GetBaseConfiguration(), false);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Cannot remove a project's base configuration");
  }
}

TEST(BuildConfigurations, NamesAreCheckedAndUnique) {
  TTestProject P("/p/app.vproj", "");
  P.Configs.AddConfiguration("Debug");
  try {
    P.Configs.AddConfiguration("DEBUG");
    FAIL();
  } catch (const EDuplicateConfiguration& E) {
    EXPECT_STREQ(E.what(), "Duplicate configuration \"DEBUG\"");
  }
  EXPECT_THROW(P.Configs.AddConfiguration("a'b"), EInvalidName);
  try {
    P.Configs.SetActiveConfiguration("Nope");
    FAIL();
  } catch (const EUnknownConfiguration& E) {
    EXPECT_STREQ(E.what(), "Unknown configuration \"Nope\"");
  }
}

TEST(BuildConfigurations, RenameReplacesTheDefinitionGroup) {
  TTestProject P("/p/app.vproj", "");
  TBuildConfiguration& Debug = P.Configs.AddConfiguration("Debug");
  P.Save();
  P.Configs.Rename(Debug, "Checked");
  std::string Xml = P.Save();
  EXPECT_EQ(Xml.find("'$(Config)'=='Debug'"), std::string::npos);
  EXPECT_NE(Xml.find(DefinitionCondition("Checked", "Cfg_1")), std::string::npos);
}

TEST(BuildConfigurations, ProjectPropertiesAndPlatformList) {
  TTestProject P("/p/app.vproj", "");
  TBuildConfigurations& C = P.Configs;
  C.AddConfiguration("Debug");
  C.SetPlatformSupported("Linux64", true);
  C.SetPlatformSupported("Win32", true);
  C.SetPlatformEnabled("Win32", false);
  C.SetActivePlatform("Linux64");
  try {
    C.SetPlatformProfile("Linux64", "remote");
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Unknown profile: \"remote\".");
  }
  C.SetKnownProfiles({"remote"});
  C.SetPlatformProfile("Linux64", "remote");
  std::string Xml = P.Save();
  EXPECT_NE(Xml.find("<Base>True</Base>\r\n        <Config Condition=\"'$(Config)'==''\">Debug</Config>\r\n"
                     "        <Platform Condition=\"'$(Platform)'==''\">Linux64</Platform>\r\n"
                     "        <TargetedPlatforms>128</TargetedPlatforms>"),
            std::string::npos);
  EXPECT_NE(Xml.find("<Profile Condition=\"'$(Platform)'=='Linux64'\">remote</Profile>"), std::string::npos);
  EXPECT_NE(Xml.find("<Platforms>\r\n                <Platform value=\"Linux64\" Profile=\"remote\">True</Platform>\r\n"
                     "                <Platform value=\"Win32\">False</Platform>"),
            std::string::npos);

  TTestProject Again("/p/app.vproj", Xml);
  Again.Load();
  EXPECT_EQ(Again.Configs.GetEnabledPlatforms(), std::vector<std::string>{"Linux64"});
  EXPECT_EQ(Again.Configs.GetSupportedPlatforms(), (std::vector<std::string>{"Linux64", "Win32"}));
  EXPECT_EQ(Again.Configs.GetPlatformProfile("Linux64"), "remote");
  EXPECT_EQ(Again.Configs.GetActivePlatform(), "Linux64");
}

TEST(BuildConfigurations, WithoutPlatformSectionTheProjectHasWin32) {
  TTestProject P("/p/app.vproj", Doc(""));
  P.Load();
  EXPECT_EQ(P.Configs.GetSupportedPlatforms(), std::vector<std::string>{"Win32"});
  EXPECT_EQ(P.Configs.GetActivePlatform(), "Win32");
}

TEST(BuildConfigurations, BuildEventsRoundTrip) {
  TTestProject P("/p/app.vproj", "");
  TBuildConfiguration& Debug = P.Configs.AddConfiguration("Debug");
  Debug.GetPlatformConfiguration("Linux64", true)->SetBuildEvent("PostBuildEvent", {"strip app", "Always", "True", ""});
  std::string Xml = P.Save();
  EXPECT_EQ(GroupText(Xml, "'$(Config)'=='Debug' And '$(Platform)'=='Linux64'"),
            "<PropertyGroup Condition=\"'$(Config)'=='Debug' And '$(Platform)'=='Linux64'\">\r\n"
            "        <PostBuildEvent>strip app</PostBuildEvent>\r\n"
            "        <PostBuildEventExecuteWhen>Always</PostBuildEventExecuteWhen>\r\n"
            "        <PostBuildEventCancelOnError>True</PostBuildEventCancelOnError>\r\n    </PropertyGroup>");
  TTestProject Again("/p/app.vproj", Xml);
  Again.Load();
  auto* Sub = Again.Configs.GetConfiguration("Debug", "Linux64");
  ASSERT_NE(Sub, nullptr);
  ASSERT_EQ(Sub->BuildEvents().count("PostBuildEvent"), 1u);
  EXPECT_EQ(Sub->BuildEvents().at("PostBuildEvent").Command, "strip app");
  EXPECT_EQ(Again.Save(), Xml);
}

TEST(BuildConfigurations, SavingALoadedProjectAgainChangesNothing) {
  TTestProject P("/p/app.vproj", "");
  TBuildConfigurations& C = P.Configs;
  TBuildConfiguration& Debug = C.AddConfiguration("Debug");
  C.AddConfiguration("Release");
  C.AddConfiguration("Checked", &Debug);
  C.SetPlatformSupported("Linux64", true);
  C.SetActivePlatform("Linux64");
  C.GetBaseConfiguration().SetValues("Defines", {"A", "B"});
  Debug.SetListValue("Defines", "DEBUG", true);
  Debug.GetPlatformConfiguration("Linux64", true)->SetValue("Optimize", "false");
  Debug.SetLocalOverride("/p/src/unit.pas")->SetValue("ExtraOptions", "-Sa");
  std::string First = P.Save();

  TTestProject Again("/p/app.vproj", First);
  Again.Load();
  EXPECT_FALSE(Again.Configs.IsModified());
  EXPECT_EQ(Again.Save(), First);
  EXPECT_EQ(Again.Configs.Configuration("Checked").Parent(), Again.Configs.GetConfiguration("Debug"));
  EXPECT_EQ(Again.Configs.Configuration("Checked").Key(), "Cfg_3");
  EXPECT_TRUE(Again.Configs.Configuration("Debug").GetMerged("Defines"));
}

TEST(BuildConfigurations, PropertiesSharingANameInOneValueGroupAreAllKept) {
  const std::string Group =
      "<PropertyGroup Condition=\"'$(Base)'!=''\">\r\n"
      "        <Defines Condition=\"'$(X)'=='0'\">ZERO</Defines>\r\n"
      "        <Defines>R1</Defines>\r\n"
      "        <Defines Condition=\"'$(X)'=='1'\">ONE</Defines>\r\n"
      "        <Defines>$(Defines);R2</Defines>\r\n"
      "        <Optimize>false</Optimize>\r\n"
      "        <Optimize>true</Optimize>\r\n";
  TTestProject P("/p/app.vproj", Doc(
      "<PropertyGroup Condition=\"'$(Config)'=='Base' or '$(Base)'!=''\"><Base>true</Base></PropertyGroup>\n" +
      Group + "</PropertyGroup>\n"));
  P.Load();
  TBuildConfiguration& Base = P.Configs.GetBaseConfiguration();
  // As the build engine reads the group: each later property sees the earlier ones.
  EXPECT_EQ(Base.GetValue("Defines"), "R1;R2");
  EXPECT_FALSE(Base.GetMerged("Defines"));
  EXPECT_EQ(Base.GetValue("Optimize"), "true");
  // A change elsewhere writes every one of them back, in its place, with its value.
  Base.SetValue("ExtraOptions", "-v");
  std::string Xml = P.Save();
  EXPECT_EQ(GroupText(Xml, "'$(Base)'!=''"),
            Group + "        <ExtraOptions>-v</ExtraOptions>\r\n    </PropertyGroup>");
  TTestProject Again("/p/app.vproj", Xml);
  Again.Load();
  EXPECT_EQ(Again.Configs.GetBaseConfiguration().GetValue("Defines"), "R1;R2");
  // Setting the value itself replaces what made it up, at the place of its first part.
  Base.SetValue("Defines", "NEW");
  EXPECT_EQ(GroupText(P.Save(), "'$(Base)'!=''"),
            "<PropertyGroup Condition=\"'$(Base)'!=''\">\r\n"
            "        <Defines Condition=\"'$(X)'=='0'\">ZERO</Defines>\r\n"
            "        <Defines>NEW</Defines>\r\n"
            "        <Defines Condition=\"'$(X)'=='1'\">ONE</Defines>\r\n"
            "        <Optimize>false</Optimize>\r\n"
            "        <Optimize>true</Optimize>\r\n"
            "        <ExtraOptions>-v</ExtraOptions>\r\n    </PropertyGroup>");
}

TEST(BuildConfigurations, ASecondValueGroupOfACondition) {
  TTestProject P("/p/app.vproj", Doc(
      "<PropertyGroup Condition=\"'$(Config)'=='Debug' or '$(Cfg_1)'!=''\"><Cfg_1>true</Cfg_1></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Cfg_1)'!=''\"><Defines>FIRST</Defines><Optimize>false</Optimize></PropertyGroup>\n"
      "<ItemGroup><Compile Include=\"a.pas\"/></ItemGroup>\n"
      "<PropertyGroup Condition=\"'$(Cfg_1)' != ''\"><Optimize>true</Optimize><Warnings>on</Warnings></PropertyGroup>\n"));
  P.Load();
  TBuildConfiguration& Debug = P.Configs.Configuration("Debug");
  EXPECT_EQ(Debug.GetValue("Defines"), "FIRST");
  EXPECT_EQ(Debug.GetValue("Optimize"), "true");  // the later group wins
  EXPECT_EQ(Debug.GetValue("Warnings"), "on");
  Debug.SetValue("Defines", "CHANGED");
  std::string Xml = P.Save();
  EXPECT_EQ(GroupText(Xml, "'$(Cfg_1)'!=''"),
            "<PropertyGroup Condition=\"'$(Cfg_1)'!=''\">\r\n"
            "        <Defines>CHANGED</Defines>\r\n"
            "        <Optimize>false</Optimize>\r\n    </PropertyGroup>");
  size_t Items = Xml.find("<ItemGroup>");
  size_t Second = Xml.find("<PropertyGroup Condition=\"'$(Cfg_1)' != ''\">\r\n"
                           "        <Optimize>true</Optimize>\r\n"
                           "        <Warnings>on</Warnings>\r\n    </PropertyGroup>");
  ASSERT_NE(Second, std::string::npos) << Xml;
  EXPECT_LT(Items, Second);
  TTestProject Again("/p/app.vproj", Xml);
  Again.Load();
  EXPECT_EQ(Again.Configs.Configuration("Debug").GetValue("Optimize"), "true");
  EXPECT_EQ(Again.Save(), Xml);
}

TEST(BuildConfigurations, NotifiersHearChangesButNotLoading) {
  struct TCounter : IConfigurationNotifier {
    int Added = 0, Removed = 0, Values = 0;
    void ItemAdded(TBuildConfiguration&) override { ++Added; }
    void ItemRemoved(const std::string&, const std::string&) override { ++Removed; }
    void OptionValueChanged(TBuildConfiguration&, const std::string&) override { ++Values; }
  } Counter;
  TTestProject P("/p/app.vproj", "");
  P.Configs.AddNotifier(&Counter);
  TBuildConfiguration& Debug = P.Configs.AddConfiguration("Debug");
  Debug.SetValue("Optimize", "true");
  Debug.SetValue("Optimize", "true");
  P.Configs.Remove(Debug, false);
  EXPECT_EQ(Counter.Added, 1);
  EXPECT_EQ(Counter.Values, 1);
  EXPECT_EQ(Counter.Removed, 1);
  std::string Xml = P.Save();
  P.Configs.Load(*P.Document);
  EXPECT_EQ(Counter.Added, 1);
  P.Configs.RemoveNotifier(&Counter);
}

}  // namespace
}  // namespace nxs::test
