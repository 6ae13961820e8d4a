// Hand-written and converted project files: a configuration change saves what it owns and
// leaves every other group, property and spelling of the file as it stood.
#include <gtest/gtest.h>

#include "cfgsupport.h"
#include "projectfiles/conditions.h"
#include "projectfiles/configmgr.h"

namespace nxs::test {
namespace {

std::string Doc(const std::string& Body, const std::string& ActivePlatform = "Linux64") {
  return "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\n"
         "<PropertyGroup><Platform Condition=\"'$(Platform)'==''\">" + ActivePlatform + "</Platform></PropertyGroup>\n"
         "<PropertyGroup Condition=\"'$(Config)'=='Base' or '$(Base)'!=''\"><Base>true</Base></PropertyGroup>\n"
         "<PropertyGroup Condition=\"'$(Config)'=='Debug' or '$(Cfg_1)'!=''\"><Cfg_1>true</Cfg_1>"
         "<CfgParent>Base</CfgParent><Base>true</Base></PropertyGroup>\n"
         "<PropertyGroup Condition=\"'$(Base)'!=''\"/>\n"
         "<PropertyGroup Condition=\"'$(Cfg_1)'!=''\"/>\n" + Body +
         "<ProjectExtensions><TarvosProject><Platforms><Platform value=\"Linux64\">True</Platform>"
         "<Platform value=\"Win32\">True</Platform></Platforms></TarvosProject></ProjectExtensions>\n"
         "</Project>\n";
}

size_t Occurrences(const std::string& Text, const std::string& Part) {
  size_t N = 0;
  for (size_t P = Text.find(Part); P != std::string::npos; P = Text.find(Part, P + 1)) ++N;
  return N;
}

TEST(HandWrittenProjects, GroupsShapedLikeBuildEventsKeepWhatTheyHold) {
  const std::string Own = "'$(Config)'=='Debug' And '$(Platform)'=='Linux64'";
  const std::string Empty = "'$(Config)'=='Debug' And '$(Platform)'=='Win32'";
  TTestProject P("/p/app.vproj", Doc(
      "<PropertyGroup Condition=\"" + Own + "\"><OutputDir>out</OutputDir><Optimize>false</Optimize></PropertyGroup>\n"
      "<PropertyGroup Condition=\"" + Empty + "\"/>\n"));
  P.Load();
  TBuildConfiguration& Debug = P.Configs.Configuration("Debug");
  EXPECT_TRUE(Debug.BuildEvents().empty());
  EXPECT_TRUE(Debug.Platforms().empty()) << "no sub-configuration is made for a group without events";
  EXPECT_FALSE(P.Configs.IsModified());

  Debug.SetValue("Defines", "D");
  std::string Xml = P.Save();
  EXPECT_EQ(GroupText(Xml, Own), "<PropertyGroup Condition=\"" + Own + "\">\r\n"
                                 "        <OutputDir>out</OutputDir>\r\n"
                                 "        <Optimize>false</Optimize>\r\n    </PropertyGroup>");
  EXPECT_EQ(GroupText(Xml, Empty), "<PropertyGroup Condition=\"" + Empty + "\"/>");
  EXPECT_EQ(Xml.find("Cfg_1_Linux64"), std::string::npos);

  // Events written into such a group change only the event properties.
  TTestProject Again("/p/app.vproj", Xml);
  Again.Load();
  TBuildConfiguration& D2 = Again.Configs.Configuration("Debug");
  D2.SetBuildEvent("PostBuildEvent", {"strip app", "Always", "", ""});
  Xml = Again.Save();
  EXPECT_EQ(GroupText(Xml, Own), "<PropertyGroup Condition=\"" + Own + "\">\r\n"
                                 "        <OutputDir>out</OutputDir>\r\n"
                                 "        <Optimize>false</Optimize>\r\n"
                                 "        <PostBuildEvent>strip app</PostBuildEvent>\r\n"
                                 "        <PostBuildEventExecuteWhen>Always</PostBuildEventExecuteWhen>\r\n"
                                 "    </PropertyGroup>");
  // Removing them again takes only them away; the group stays for what else it holds.
  TTestProject Third("/p/app.vproj", Xml);
  Third.Load();
  TBuildConfiguration& D3 = Third.Configs.Configuration("Debug");
  ASSERT_EQ(D3.BuildEvents().count("PostBuildEvent"), 1u);
  D3.SetBuildEvent("PostBuildEvent", {});
  Xml = Third.Save();
  EXPECT_EQ(GroupText(Xml, Own), "<PropertyGroup Condition=\"" + Own + "\">\r\n"
                                 "        <OutputDir>out</OutputDir>\r\n"
                                 "        <Optimize>false</Optimize>\r\n    </PropertyGroup>");
}

TEST(HandWrittenProjects, EventsOfAnInactivePlatformWithoutSubConfigurationStayAsTheyAre) {
  const std::string Win = "'$(Config)'=='Debug' And '$(Platform)'=='Win32'";
  TTestProject P("/p/app.vproj", Doc("<PropertyGroup Condition=\"" + Win + "\"><PreBuildEvent>make gen</PreBuildEvent>"
                                     "<Note>kept</Note></PropertyGroup>\n"));
  P.Load();
  EXPECT_TRUE(P.Configs.Configuration("Debug").BuildEvents().empty());
  P.Configs.Configuration("Debug").SetValue("Defines", "D");
  std::string Xml = P.Save();
  EXPECT_NE(GroupText(Xml, Win).find("<PreBuildEvent>make gen</PreBuildEvent>\r\n        <Note>kept</Note>"),
            std::string::npos);
  EXPECT_EQ(Xml.find("Cfg_1_Win32"), std::string::npos);
}

TEST(HandWrittenProjects, ConditionsMatchByMeaningAndKeepTheirSpelling) {
  const std::string Def = " '$(Config)' == 'Release' Or \"$(Cfg_2)\" != '' ";
  const std::string Values = " '$(Cfg_2)' != '' ";
  std::string Xml = Doc("<PropertyGroup Condition=\"" + std::string(" '$(Config)' == 'Release' Or &quot;$(Cfg_2)&quot; != '' ") +
                        "\"><Cfg_2>true</Cfg_2><CfgParent>Base</CfgParent><Base>true</Base></PropertyGroup>\n"
                        "<PropertyGroup Condition=\"" + Values + "\"><Defines>REL</Defines></PropertyGroup>\n");
  TTestProject P("/p/app.vproj", Xml);
  P.Load();
  ASSERT_NE(P.Configs.GetConfiguration("Release"), nullptr);
  TBuildConfiguration& Release = P.Configs.Configuration("Release");
  EXPECT_EQ(Release.Key(), "Cfg_2");
  EXPECT_EQ(Release.GetValue("Defines"), "REL");
  Release.SetValue("Optimize", "true");
  std::string Saved = P.Save();
  // One value group, spelled as the user wrote it, holding both values; no second one.
  EXPECT_EQ(Occurrences(Saved, "Cfg_2)' != ''"), 1u);
  EXPECT_EQ(Occurrences(Saved, "'$(Cfg_2)'!=''"), 0u);
  EXPECT_NE(GroupText(Saved, Values).find("<Defines>REL</Defines>\r\n        <Optimize>true</Optimize>"),
            std::string::npos);
  EXPECT_EQ(Occurrences(Saved, "<Cfg_2>true</Cfg_2>"), 1u);

  TTestProject Again("/p/app.vproj", Saved);
  Again.Load();
  EXPECT_EQ(Again.Configs.Configuration("Release").GetValue("Optimize"), "true");
  EXPECT_TRUE(Again.Configs.Remove(Again.Configs.Configuration("Release"), false));
  std::string Removed = Again.Save();
  EXPECT_EQ(Removed.find("Cfg_2"), std::string::npos);
  TTestProject Third("/p/app.vproj", Removed);
  Third.Load();
  EXPECT_EQ(Third.Configs.GetConfiguration("Release"), nullptr);
}

TEST(HandWrittenProjects, ConditionMeaning) {
  EXPECT_TRUE(SameConditionMeaning("'$(Cfg_2)'!=''", " \"$(CFG_2)\"  !=  '' "));
  EXPECT_TRUE(SameConditionMeaning("'$(Cfg_2)'!='' And '$(A)'=='x'", "'$(Cfg_2)'!='' and $(A)=='x'"));
  EXPECT_TRUE(SameConditionMeaning("'$(FileToCompile)'=='it%27s.pas'", "'$(FileToCompile)'==\"it's.pas\""));
  EXPECT_FALSE(SameConditionMeaning("'$(Cfg_2)'!=''", "'$(Cfg_3)'!=''"));
  EXPECT_FALSE(SameConditionMeaning("'$(A)'=='x' or '$(B)'=='y'", "'$(A)'=='x' and '$(B)'=='y'"));
  EXPECT_FALSE(SameConditionMeaning("'$(A)'=='x'", "'$(A)'=='x y'"));
  EXPECT_FALSE(SameConditionMeaning("", "'$(A)'=='x'"));
  EXPECT_TRUE(SameConditionMeaning("  ", ""));
}

TEST(HandWrittenProjects, QuotesInFileNamesOfLocalOverrides) {
  TTestProject P("/p/app.vproj", "");
  TBuildConfiguration& Debug = P.Configs.AddConfiguration("Debug");
  Debug.SetLocalOverride("/p/src/it's 100%.pas")->SetValue("Defines", "QUOTED");
  Debug.SetBuildEvent("PostBuildEvent", {"echo", "", "", ""});
  Debug.GetLocalOverride("/p/src/it's 100%.pas")->SetBuildEvent("PreBuildEvent", {"touch it", "", "", ""});
  std::string Xml = P.Save();
  EXPECT_NE(Xml.find("'$(FileToCompile)'=='src\\it%27s 100%25.pas'"), std::string::npos) << Xml;
  TTestProject Again("/p/app.vproj", Xml);
  Again.Load();
  TLocalOverride* Local = Again.Configs.Configuration("Debug").GetLocalOverride("/p/src/it's 100%.pas");
  ASSERT_NE(Local, nullptr);
  EXPECT_EQ(Local->GetValue("Defines"), "QUOTED");
  EXPECT_EQ(Local->BuildEvents().at("PreBuildEvent").Command, "touch it");
  EXPECT_EQ(Again.Save(), Xml);
}

TEST(HandWrittenProjects, KeysThatCannotBeElementNamesAreNoConfigurations) {
  const std::string Odd = "'$(Config)'=='Odd' or '$(1fg_1)'!=''";
  TTestProject P("/p/app.vproj", Doc("<PropertyGroup Condition=\"" + Odd + "\"><Note>mine</Note></PropertyGroup>\n"));
  P.Load();
  EXPECT_EQ(P.Configs.GetConfiguration("Odd"), nullptr);
  P.Configs.Configuration("Debug").SetValue("Defines", "D");
  std::string Xml = P.Save();
  EXPECT_NE(GroupText(Xml, Odd).find("<Note>mine</Note>"), std::string::npos);
  TTestProject Again("/p/app.vproj", Xml);  // well-formed: it reads
  Again.Load();
  EXPECT_EQ(Again.Save(), Xml);
}

}  // namespace
}  // namespace nxs::test
