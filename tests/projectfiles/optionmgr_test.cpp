#include <gtest/gtest.h>

#include "cfgsupport.h"
#include "projectfiles/msbtask.h"
#include "projectfiles/optionmgr.h"
#include "shared/fileio.h"

namespace nxs::test {
namespace {

TEST(OptionRegistry, PlatformValidity) {
  TTestProject One("/p/one.vproj", ""), Two("/p/two.vproj", "");
  One.Configs.SetPlatformSupported("Linux64", true);
  Two.Configs.SetPlatformSupported("Linux64", true);
  Two.Configs.SetPlatformSupported("Win32", true);
  EXPECT_TRUE(PlatformIsValid("Anything", {}, nullptr));
  std::vector<std::string> Listed{"Linux64", "Win32"};
  EXPECT_TRUE(PlatformIsValid("Linux64", Listed, nullptr));
  EXPECT_TRUE(PlatformIsValid("Win32", Listed, nullptr));
  EXPECT_FALSE(PlatformIsValid("linux64", Listed, nullptr));  // an exact comparison
  EXPECT_FALSE(PlatformIsValid("Mars32", Listed, nullptr));
  EXPECT_TRUE(PlatformIsValid("", {"Linux64"}, &One));
  EXPECT_FALSE(PlatformIsValid("", {"Linux64"}, &Two));
  EXPECT_FALSE(PlatformIsValid("", {"Linux64"}, nullptr));
}

TEST(OptionRegistry, OptionsApplyWhereTheirGroupAndTaskApply) {
  auto Task = std::make_shared<TCustomTask>("ValidityTask");
  Task->SetPlatforms({"Linux64"});
  auto Group = std::make_shared<TMSBuildOptionGroup>("Validity.Group", "Group", "ValidityTask");
  auto Everywhere = std::make_shared<TProjectOption>("Validity_All");
  Everywhere->SetGroupName("Validity.Group");
  Everywhere->SetTaskName("ValidityTask");
  Group->AddOption(Everywhere);
  Task->AddGroup(Group);
  OptionManager().RegisterTask(Task);
  EXPECT_TRUE(Everywhere->SupportsPlatform("Linux64"));
  EXPECT_FALSE(Everywhere->SupportsPlatform("Win32"));
  EXPECT_FALSE(Group->SupportsPlatform("Win32"));
  EXPECT_EQ(OptionManager().FilterTasks("Win32").size(), OptionManager().AllTasks().size() - 1);
  OptionManager().UnregisterTask("ValidityTask");
  EXPECT_EQ(OptionManager().GetOption("Validity_All"), nullptr);
  EXPECT_EQ(OptionManager().GetGroup("Validity.Group"), nullptr);
}

TEST(OptionRegistry, RegistrationFailuresLeaveTheRegistryUnchanged) {
  StartLayer();  // the tool descriptions' groups must be there for the clash below
  auto First = std::make_shared<TCustomTask>("TwiceTask", "first");
  First->AddOption(std::make_shared<TProjectOption>("Twice_Option"));
  OptionManager().RegisterTask(First);
  try {
    OptionManager().RegisterTask(std::make_shared<TCustomTask>("twicetask", "second"));
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Task with name \"twicetask\" is already registered");
  }
  EXPECT_EQ(OptionManager().GetTask("TwiceTask")->Description(), "first");

  try {
    First->AddOption(std::make_shared<TProjectOption>("TWICE_OPTION"));
    FAIL();
  } catch (const EOptionAlreadyExists& E) {
    EXPECT_STREQ(E.what(), "An option named \"TWICE_OPTION\" is already registered");
  }
  auto Clash = std::make_shared<TCustomTask>("ClashTask");
  Clash->AddGroup(std::make_shared<TOptionGroup>("Pascal.Compiling"));
  try {
    OptionManager().RegisterTask(Clash);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "OptionGroup with name \"Pascal.Compiling\" is already registered");
  }
  EXPECT_EQ(OptionManager().GetTask("ClashTask"), nullptr);
  try {
    First->GetOption("Missing");
    FAIL();
  } catch (const EOptionNotFound& E) {
    EXPECT_STREQ(E.what(), "Option \"Missing\" not found");
  }
  EXPECT_EQ(OptionManager().GetOption("Missing"), nullptr);
  OptionManager().UnregisterTask("TwiceTask");
}

TEST(ToolDescriptions, CompilersDescribeTheirOptions) {
  StartLayer();
  TCustomTask* Pascal = OptionManager().GetTask("PascalCompiler");
  TCustomTask* Cpp = OptionManager().GetTask("CppCompiler");
  ASSERT_NE(Pascal, nullptr);
  ASSERT_NE(Cpp, nullptr);
  for (TCustomTask* Task : {Pascal, Cpp}) {
    for (const char* Name : {"Defines", "IncludePath", "OutputDir", "IntermediateDir", "Optimize", "DebugInfo",
                             "WarningsAsErrors", "ExtraOptions", "VerInfo_IncludeVerInfo", "VerInfo_AutoIncVersion",
                             "VerInfo_MajorVer", "VerInfo_MinorVer", "VerInfo_Release", "VerInfo_Build", "VerInfo_Keys"})
      EXPECT_NE(Task->FindOption(Name), nullptr) << Task->Name() << " " << Name;
  }
  TProjectOption& Defines = Pascal->GetOption("Defines");
  ASSERT_NE(Defines.ListArgument(), nullptr);
  EXPECT_TRUE(Defines.ListArgument()->AllowsMerging());
  EXPECT_EQ(Defines.ListArgument()->ValueDelimiter(), ';');
  EXPECT_EQ(Pascal->GetOption("IncludePath").Argument()->GetType(), atDirectoryList);
  EXPECT_EQ(Pascal->GetOption("OutputDir").Argument()->GetType(), atDirectory);
  EXPECT_EQ(Pascal->GetOption("Optimize").DefaultValue(), "false");
  EXPECT_EQ(Pascal->GetOption("DebugInfo").DefaultValue(), "true");
  EXPECT_EQ(Cpp->GetOption("VerInfo_MajorVer").DefaultValue(), "1");
  EXPECT_EQ(Cpp->GetOption("VerInfo_Build").DefaultValue(), "0");
  EXPECT_EQ(Cpp->GetOption("VerInfo_MajorVer").CheckValue("x"), "'x' is not a valid integer value");
  EXPECT_EQ(Cpp->GetOption("Cpp_LanguageStandard").CheckValue("c++20"), "");
  EXPECT_EQ(Cpp->GetOption("Cpp_LanguageStandard").CheckValue("c++99"), "'c++99' is not one of the allowed values");
  EXPECT_EQ(Pascal->GetOption("Optimize").CheckValue("yes"), "'yes' is not a valid Boolean value");
  TProjectOption& Optimize = Pascal->GetOption("Optimize");
  ASSERT_EQ(Optimize.ChildCount(), 1);
  EXPECT_EQ(Optimize.Child(0)->Name(), "Pascal_OptimizationLevel");
  EXPECT_TRUE(Pascal->ValidFor("Linux64", "Vellum.Personality"));
  EXPECT_FALSE(Pascal->ValidFor("Linux64", "Kestrel.Personality"));
  EXPECT_EQ(Pascal->GetFileExtensions().front(), ".pas");
}

TEST(ToolDescriptions, ABrokenDescriptionIsReportedAndSkipped) {
  TQuestionsScope Q;
  std::string Dir = ScratchDir("tools");
  FileSystem().WriteFile(Dir + "/Broken.xml", "<ToolDescription Name=\"Broken\"><Group Name=\"B.G\">"
                                              "<Option Name=\"N\" Type=\"Number\" Default=\"x\"/></Group></ToolDescription>");
  FileSystem().WriteFile(Dir + "/Other.xml", "<ToolDescription Name=\"Different\"/>");
  FileSystem().WriteFile(Dir + "/Bad.xml", "<ToolDescription");
  RegisterMSBuildTasks(Dir);
  EXPECT_EQ(OptionManager().GetTask("Broken"), nullptr);
  EXPECT_EQ(OptionManager().GetTask("Other"), nullptr);
  EXPECT_EQ(OptionManager().GetTask("Bad"), nullptr);
  ASSERT_EQ(Q->Shown.size(), 3u);
  EXPECT_EQ(Q->Shown[1], "Tool description \"" + Dir + "/Broken.xml\": Error reading value for option \"N\": "
                         "'x' is not a valid integer value");
  EXPECT_EQ(Q->Shown[2], "Tool description \"" + Dir + "/Other.xml\": the file describes \"Different\", not \"Other\"");
}

}  // namespace
}  // namespace nxs::test
