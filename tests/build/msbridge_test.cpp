// The bridge to the build engine as the environment uses it: builds of files and documents
// with their messages, evaluation runs through the shipped targets or straight from the
// engine, the engine view behind the project document, and MSBuild macros.
#include "build/msbridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "build/compilers/compilers.h"
#include "build/engine/tasks.h"
#include "build/hostobject.h"
#include "build/progress.h"
#include "hostsupport.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/macros.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "support/errorof.h"
#include "shared/mainthread.h"
#include "shared/text.h"
#include "support/files.h"

namespace nxs::test {
namespace {

const char* Plain = R"xml(<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <PropertyGroup>
    <Config Condition="'$(Config)'==''">Release</Config>
    <A>alpha</A>
    <B>$(Config)-beta</B>
  </PropertyGroup>
  <ItemGroup>
    <Compile Include="a.c"><Kind>main</Kind></Compile>
    <Compile Include="b.c"><Kind>lib</Kind></Compile>
  </ItemGroup>
</Project>
)xml";

// A project with its own evaluation target: the task hands back the values of the names it is
// given, separated by "|", through its host object, as the shipped targets do.
const char* WithTargets = R"xml(<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <PropertyGroup>
    <A>alpha</A>
    <B>$(Config)-beta</B>
  </PropertyGroup>
  <Target Name="_EvaluateProperties">
    <TestEvaluate Names="$(_EvaluatePropertyNames)"/>
  </Target>
  <Target Name="Where">
    <TestWhere/>
  </Target>
  <Target Name="Fails">
    <TestFail/>
  </Target>
  <Target Name="Nested">
    <TestNested/>
  </Target>
</Project>
)xml";

class MSBridgeTest : public BuildHostTest {
 protected:
  void SetUp() override {
    BuildHostTest::SetUp();
    InitBuildHost();
    compilers::RegisterCompilerTasks();
    engine::RegisterTask("TestEvaluate", [](engine::TTaskContext& C) {
      std::string Result;
      for (const std::string& Name : Split(C.Parameter("Names").Text, ';')) {
        if (!Result.empty()) Result += '|';
        Result += C.Project().GetPropertyValue(Name);
      }
      if (!C.HostObject()) return false;
      C.HostObject()->KibitzResult("TestEvaluate", Result);
      return true;
    });
    engine::RegisterTask("TestWhere", [this](engine::TTaskContext& C) {
      Where = std::filesystem::current_path().string();
      return true;
    });
    engine::RegisterTask("TestFail", [](engine::TTaskContext& C) {
      engine::TBuildEvent E;
      E.Kind = engine::ekError;
      E.Text = "no such name";
      E.File = "unit.cpp";
      E.Line = 4;
      E.Sender = "g++";
      E.Id = 501;
      C.Log(E);
      E.Kind = engine::ekMessage;
      E.Text = "declared here";
      E.Id = 502;
      E.ParentId = 501;
      C.Log(E);
      return false;
    });
    // Has the main thread evaluate a project while the build that runs it waits.
    engine::RegisterTask("TestNested", [this](engine::TTaskContext& C) {
      MainThreadQueue().Synchronize([&] {
        std::vector<std::string> Values;
        if (EvaluateMSBuildProperties(C.Project().FullPath(), {"A"}, "", "Debug", "", "", "", Values))
          Nested = Values;
      });
      return true;
    });
    RegisterHostObjectClass("TestEvaluate", [](const std::string& P) { return std::make_shared<TNXSHostObject>(P); });
  }
  void TearDown() override {
    UnregisterHostObjectClass("TestEvaluate");
    for (const char* T : {"TestEvaluate", "TestWhere", "TestFail", "TestNested"}) engine::UnregisterTask(T);
    compilers::UnregisterCompilerTasks();
    DoneBuildHost();
    BuildHostTest::TearDown();
  }
  std::string Write(const std::string& Name, const std::string& Text) {
    std::filesystem::create_directories(std::filesystem::path(Dir / Name).parent_path());
    WriteText(Dir / Name, Text);
    return Dir / Name;
  }
  std::string Where;
  std::vector<std::string> Nested;
};

TEST(EvaluationStrings, PropertiesAreHandedOverExactly) {
  EXPECT_EQ(EvaluatePropertiesString("A;B", "ResolveFiles", "Debug", "Linux64", "", ""),
            "_EvaluatePropertyNames=A;B;_EvaluatePropertyDependsOnTargets=ResolveFiles;Config=Debug;Platform=Linux64");
  EXPECT_EQ(EvaluatePropertiesString("A", "", "Debug", "Linux64", "/src/my unit.pas", "X=1;Y=2"),
            "_EvaluatePropertyNames=A;_EvaluatePropertyDependsOnTargets=;Config=Debug;Platform=Linux64;"
            "FileToCompile=\"/src/my unit.pas\";X=1;Y=2");
  EXPECT_EQ(EvaluateString("Compile", "Debug", "Linux64", "", "", ""),
            "_EvaluateName=Compile;Config=Debug;Platform=Linux64");
  EXPECT_EQ(EvaluateString("Compile", "Debug", "Linux64", "a.c", "X=1", "Kind"),
            "_EvaluateName=Compile;Config=Debug;Platform=Linux64;FileToCompile=\"a.c\";X=1;__MetadataName=Kind");
}

TEST_F(MSBridgeTest, TwoNamesThroughTheEvaluationTargetComeBackInTheirOrder) {
  const std::string File = Write("app/app.vproj", WithTargets);
  std::vector<std::string> Values;
  ASSERT_TRUE(EvaluateMSBuildProperties(File, {"B", "A"}, "", "Debug", "Linux64", "", "", Values));
  EXPECT_EQ(Values, (std::vector<std::string>{"Debug-beta", "alpha"}));
  EXPECT_EQ(GetMSBuildKibitzResult(), "Debug-beta|alpha");
}

TEST_F(MSBridgeTest, AFileWithoutTheTargetsIsEvaluatedDirectly) {
  const std::string File = Write("plain.proj", Plain);
  std::vector<std::string> Values;
  ASSERT_TRUE(EvaluateMSBuildProperties(File, {"A", "B", "Undefined"}, "", "Debug", "", "", "", Values));
  EXPECT_EQ(Values, (std::vector<std::string>{"alpha", "Debug-beta", ""}));
  // Without a configuration the project's own default applies.
  ASSERT_TRUE(EvaluateMSBuildProperties(File, {"B"}, "", "", "", "", "", Values));
  EXPECT_EQ(Values, std::vector<std::string>{"Release-beta"});
  std::string Value;
  ASSERT_TRUE(EvaluateMSBuild(File, "Compile", true, "", "", "", "", "", Value));
  EXPECT_EQ(Value, "a.c;b.c");
  ASSERT_TRUE(EvaluateMSBuild(File, "Compile", true, "", "", "", "", "Kind", Value));
  EXPECT_EQ(Value, "main;lib");
  ASSERT_TRUE(EvaluateMSBuild(File, "B", false, "", "", "", "Config=Odd", "", Value));
  EXPECT_EQ(Value, "Odd-beta");
}

TEST_F(MSBridgeTest, BuildOfAFileRunsInItsDirectoryAndRestoresTheCurrentOne) {
  const std::string File = Write("deep/dir/app.vproj", WithTargets);
  const std::string Before = std::filesystem::current_path().string();
  const TBuildControl C = TBuildControl::Create(cmMake, true, true, false, false, false, false);
  EXPECT_TRUE(InvokeMSBuild(File, "Where", "", C, vNormal));
  EXPECT_EQ(Where, std::filesystem::path(File).parent_path().string());
  EXPECT_EQ(std::filesystem::current_path().string(), Before);
  EXPECT_EQ(GroupLines("Build")[0], "Success");
}

TEST_F(MSBridgeTest, FailingBuildReportsNestedMessagesAndCountsOneMoreError) {
  const std::string File = Write("app.vproj", WithTargets);
  const TBuildControl C = TBuildControl::Create(cmMake, true, true, false, false, false, false);
  EXPECT_FALSE(InvokeMSBuild(File, "Fails", "", C, vNormal));
  std::vector<std::string> Lines = GroupLines("Build");
  ASSERT_GE(Lines.size(), 4u);
  EXPECT_EQ(Lines[0], "[g++ Error] unit.cpp(4): no such name");
  EXPECT_EQ(Lines[1], "  unit.cpp(4): declared here");
  EXPECT_EQ(Lines[Lines.size() - 2], "Failed");
  // The failed run counts one; the task counted nothing through a host object.
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgError), 1);
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgFatal), 0);
  EXPECT_FALSE(BackgroundCompileDisabled());
}

// The "Output" group shows a project's messages as the verbosity asks: none when quiet, the
// important ones when minimal, the normal ones too by default, everything when detailed.
TEST_F(MSBridgeTest, MessagesReachTheOutputGroupAsTheVerbosityAsks) {
  const std::string File = Write("talk.vproj", R"xml(<Project>
  <Target Name="Talk">
    <Message Text="high" Importance="high"/><Message Text="normal"/><Message Text="low" Importance="low"/>
  </Target>
</Project>
)xml");
  const TBuildControl C = TBuildControl::Create(cmMake, true, true, false, false, false, false);
  auto Said = [&](TMSBuildVerbosity V) {
    EXPECT_TRUE(InvokeMSBuild(File, "Talk", "", C, V));
    std::string Lines;
    for (const std::string& L : GroupLines("Output"))
      if (L == "high" || L == "normal" || L == "low") Lines += (Lines.empty() ? "" : "|") + L;
    return Lines;
  };
  EXPECT_EQ(Said(vQuiet), "");
  EXPECT_EQ(Said(vMinimal), "high");
  EXPECT_EQ(Said(vNormal), "high|normal");
  EXPECT_EQ(Said(vDefault), "high|normal");
  EXPECT_EQ(Said(vDiagnostic), "high|normal|low");
  EXPECT_EQ(Said(vDetailed), "high|normal|low");
  // From the detailed verbosity on, the targets say when they start.
  const std::vector<std::string> Detailed = GroupLines("Output");
  EXPECT_NE(std::find(Detailed.begin(), Detailed.end(), "Talk"), Detailed.end());
}

TEST_F(MSBridgeTest, ARunTheMainThreadStartsWhileABuildWaitsOnItRunsAtOnce) {
  // The build's engine thread is busy with the build; the evaluation gets a thread of its own
  // rather than waiting for the build, which waits for it.
  const std::string File = Write("app.vproj", WithTargets);
  const TBuildControl C = TBuildControl::Create(cmMake, true, true, false, false, false, false);
  for (int Run = 0; Run < 2; ++Run) {
    Nested.clear();
    EXPECT_TRUE(InvokeMSBuild(File, "Nested", "", C, vNormal));
    EXPECT_EQ(Nested, std::vector<std::string>{"alpha"});
  }
}

TEST_F(MSBridgeTest, SilentRunsAndKibitzRunsLeaveTheMessageViewAlone) {
  const std::string File = Write("app.vproj", WithTargets);
  EXPECT_FALSE(InvokeMSBuildSilent(File, "Fails", ""));
  std::string Result = "stale";
  EXPECT_FALSE(RunMSBuildKibitzer(File, "Nothing", "", Result));  // no "_Kibitz" target
  EXPECT_EQ(Result, "");
  MainThreadQueue().ProcessPending();
  EXPECT_TRUE(GroupLines("Build").empty());
  EXPECT_EQ(ProgressMonitor().GetErrorCounts({msgError, msgFatal}), 0);
}

TEST_F(MSBridgeTest, UnreadableProjectIsAnUnknownReadError) {
  const std::string Missing = Dir / "none.vproj";
  EXPECT_EQ(ErrorOf([&] { InvokeMSBuildSilent(Missing, "Build", ""); }),
            "An unknown error occurred reading \"" + Missing + "\"");
}

TEST_F(MSBridgeTest, TheProjectDocumentAsksTheEngineView) {
  const std::string File = Dir / "doc.vproj";
  std::shared_ptr<IMSProjectFile> Doc = MSBuildCreateProjectFromXml(File, WithTargets);
  std::string Result;
  ASSERT_TRUE(Doc->EngineQuery("$(A)/$(B)", Result));
  EXPECT_EQ(Result, "alpha/-beta");
  // Unsaved changes are what the engine sees.
  Doc->SetGlobalProperty("A", "changed", false, "");
  ASSERT_TRUE(Doc->EngineQuery("$(A)", Result));
  EXPECT_EQ(Result, "changed");
  EXPECT_FALSE(Doc->EngineBuild("Fails", "", vSTFU));
  DoneBuildHost();
  EXPECT_EQ(ErrorOf([&] { Doc->EngineQuery("$(A)", Result); }),
            "The build engine is not available: no engine view is registered for project documents");
}

class TDocProject : public IProjectContext {
 public:
  explicit TDocProject(std::shared_ptr<IMSProjectFile> Doc, std::string File)
      : FDoc(std::move(Doc)), FFile(std::move(File)) {}
  std::string GetFileName() const override { return FFile; }
  std::string GetPersonality() const override { return "Vellum.Personality"; }
  IMSProjectFile* GetProjectFile() override { return FDoc.get(); }

 private:
  std::shared_ptr<IMSProjectFile> FDoc;
  std::string FFile;
};

TEST_F(MSBridgeTest, MSBuildMacrosTakeTheEngineValue) {
  const std::string File = Dir / "doc.vproj";
  TDocProject P(MSBuildCreateProjectFromXml(File, Plain), File);
  RegisterMSBuildMacros({"TestMSBuildB"});
  TIDEMacro* Macro = IDEMacros().FindMacro("TestMSBuildB", &P);
  ASSERT_NE(Macro, nullptr);
  EXPECT_EQ(Macro->Desc(), "The MSBuild variable $(TestMSBuildB)");
  P.GetProjectFile()->SetGlobalProperty("TestMSBuildB", "[$(B)]", false, "");
  EXPECT_EQ(IDEMacros().ExpandMacros("x $(TestMSBuildB) y", "", &P), "x [Release-beta] y");
  DoneBuildHost();
  EXPECT_EQ(IDEMacros().FindMacro("TestMSBuildB", &P), nullptr);
}

}  // namespace
}  // namespace nxs::test
