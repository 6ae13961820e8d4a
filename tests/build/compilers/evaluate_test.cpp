// The small tasks behind the evaluation targets: values handed back to the host object in
// the order of the names asked for.
#include <gtest/gtest.h>

#include "build/compilers/compilers.h"
#include "support/taskfakes.h"
#include "support/tempdir.h"

namespace nxs::compilers {
namespace {

engine::TTaskFunction Find(const std::string& Name) {
  RegisterCompilerTasks();
  engine::TTaskFunction Task;
  EXPECT_TRUE(engine::FindTask(Name, Task));
  return Task;
}

TEST(EvaluateTasks, PropertiesInTheOrderOfTheirNamesAndItemsWithTheirMetadata) {
  test::TFakeProject Project("/p/app.kzproj");
  Project.Properties["OutputDir"] = "bin";
  Project.Properties["Defines"] = "A;B";
  engine::TTaskItem Main{"main.cpp", {}, {}}, Other{"other.cpp", {}, {}};
  Main.Metadata["BuildOrder"] = "0";
  Other.Metadata["BuildOrder"] = "1";
  Project.Items["KestrelCompile"] = {Main, Other};
  test::TFakeHost Host("/tmp");

  test::TFakeContext Props("EvaluateProperties", Project, &Host);
  Props.Set("Names", "Defines;Missing;OutputDir");
  EXPECT_TRUE(Find("EvaluateProperties")(Props));
  EXPECT_EQ(Host.Kibitz["EvaluateProperties"], "A;B||bin");

  test::TFakeContext Items("EvaluateItem", Project, &Host);
  Items.Set("ItemType", "KestrelCompile");
  EXPECT_TRUE(Find("EvaluateItem")(Items));
  EXPECT_EQ(Host.Kibitz["EvaluateItem"], "main.cpp;other.cpp");
  Items.Set("MetadataName", "BuildOrder");
  EXPECT_TRUE(Find("EvaluateItem")(Items));
  EXPECT_EQ(Host.Kibitz["EvaluateItem"], "0;1");

  test::TFakeContext Kibitz("KibitzResult", Project, &Host);
  Kibitz.Set("Task", "Other");
  Kibitz.Set("Result", "text");
  EXPECT_TRUE(Find("KibitzResult")(Kibitz));
  EXPECT_EQ(Host.Kibitz["Other"], "text");
}

TEST(EvaluateTasks, CodeInsightGetsTheCompilersSwitchesWithoutTouchingTheDisk) {
  test::TTempDir Root;
  const std::string Dir = Root / "p q";
  test::TFakeProject Project(Dir + "/app.kzproj");
  Project.Properties["IncludePath"] = "inc;/abs";
  Project.Properties["Defines"] = "X=1";
  test::TFakeHost Host("/tmp");
  test::TFakeContext C("CppCompiler", Project, &Host);
  C.SetItems("Sources", {"main.cpp"});
  C.Set("Kibitz", "true");
  EXPECT_TRUE(Find("CppCompiler")(C));
  const std::string& Switches = Host.Kibitz["CppCompiler"];
  EXPECT_NE(Switches.find("\n-DX=1\n"), std::string::npos) << Switches;
  EXPECT_NE(Switches.find("\n-I" + Dir + "/inc\n-I/abs"), std::string::npos) << Switches;
  EXPECT_FALSE(std::filesystem::exists(Dir));
}

}  // namespace
}  // namespace nxs::compilers
