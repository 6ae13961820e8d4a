// Builds: target order, each target once, tasks with conditions, outputs and errors, and
// what the logger hears.
#include <atomic>
#include <chrono>
#include <stdexcept>

#include "build/engine/filetimes.h"
#include "build/engine/readahead.h"
#include "build/engine/tasks.h"
#include "enginefixture.h"
#include "shared/text.h"

namespace nxs::engine::test {
namespace {

TEST_F(EngineTest, TargetsRunInDependencyOrderOnce) {
  EXPECT_TRUE(Build(R"P(
  <Target Name="Build" DependsOnTargets="Compile ; Link">
    <Message Text="build" />
  </Target>
  <Target Name="Compile" DependsOnTargets="Prepare">
    <Message Text="compile" />
  </Target>
  <Target Name="Link" DependsOnTargets="Prepare;Compile">
    <Message Text="link" />
  </Target>
  <Target Name="Prepare"><Message Text="prepare" /></Target>
  <Target Name="Before" BeforeTargets="Link"><Message Text="before link" /></Target>
  <Target Name="After" AfterTargets="Build"><Message Text="after build" /></Target>
  <Target Name="Unused"><Message Text="unused" /></Target>)P"));
  EXPECT_EQ("prepare|compile|before link|link|build|after build", Log.Messages());
}

TEST_F(EngineTest, DefaultAndInitialTargets) {
  EXPECT_TRUE(Build(R"P(
  <Target Name="First"><Message Text="first" /></Target>
  <Target Name="Init"><Message Text="init" /></Target>
  <Target Name="Second"><Message Text="second" /></Target>)P"));
  EXPECT_EQ("first", Log.Messages());
  Log.Events.clear();
  Write("defaults.props", R"P(<Project DefaultTargets="First"><Target Name="Imported"/></Project>)P");
  EXPECT_TRUE(Engine.Build(Write("d.proj", R"P(<Project DefaultTargets="Second;First" InitialTargets="Init">
  <Import Project="defaults.props" />
  <Target Name="First"><Message Text="first" /></Target>
  <Target Name="Init"><Message Text="init" /></Target>
  <Target Name="Second"><Message Text="second" /></Target>
</Project>)P"), "", Request));
  EXPECT_EQ("init|second|first", Log.Messages());
}

TEST_F(EngineTest, AFalseTargetConditionSkipsItsDependenciesButNotItsBeforeTargets) {
  EXPECT_TRUE(Build(R"P(
  <PropertyGroup><Skip>true</Skip></PropertyGroup>
  <Target Name="Build" DependsOnTargets="Dep" Condition="'$(Skip)' != 'true'"><Message Text="build" /></Target>
  <Target Name="Dep"><Message Text="dep" /></Target>
  <Target Name="Hook" BeforeTargets="Build"><Message Text="hook" /></Target>)P"));
  EXPECT_EQ("hook", Log.Messages());
}

TEST_F(EngineTest, ACycleOfTargetsIsAnErrorNotAHang) {
  EXPECT_FALSE(Build(R"P(
  <Target Name="A" DependsOnTargets="B"><Message Text="a" /></Target>
  <Target Name="B" DependsOnTargets="C"><Message Text="b" /></Target>
  <Target Name="C" DependsOnTargets="A"><Message Text="c" /></Target>)P"));
  EXPECT_EQ("The target \"A\" depends on itself: A -> B -> C -> A", Log.Errors());
  EXPECT_EQ("", Log.Messages());
  const TBuildEvent* E = Log.First(ekError);
  ASSERT_NE(nullptr, E);
  EXPECT_EQ(Dir / "p.proj", E->File);
  EXPECT_EQ(3, E->Line);
}

TEST_F(EngineTest, ErrorsStopTheBuildAndNameTheirPlace) {
  EXPECT_FALSE(Build(R"P(
  <Target Name="Build" DependsOnTargets="Fail;Never" />
  <Target Name="Fail">
    <Message Text="before" />
    <Error Text="it broke" Code="NX1234" File="src/a.c" Condition="'a' == 'A'" />
    <Message Text="after" />
  </Target>
  <Target Name="Never"><Message Text="never" /></Target>)P"));
  EXPECT_EQ("before", Log.Messages());
  EXPECT_EQ("it broke", Log.Errors());
  const TBuildEvent* E = Log.First(ekError);
  EXPECT_EQ("NX1234", E->Code);
  EXPECT_EQ("src/a.c", E->File);
}

// A hand-written file (a mark, comments, tabs, CR LF line ends, attributes on several lines)
// handed over re-written in another layout, as a project document writes it, with a change
// not yet saved: messages name the places of the file on disk, counted by hand there (lines
// from 1, columns in characters from 1, a tab one character); the element that is not on disk
// yet takes its parent's place.
TEST_F(EngineTest, MessagesNameThePlacesOfTheFileOnDiskWhenItsTextIsHandedOverRewritten) {
  std::string Disk =
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n"          // 1
      "<!-- written by hand:\r\n"                        // 2
      "     two lines of comment -->\r\n"                // 3
      "<Project DefaultTargets=\"Build\">\r\n"           // 4
      "\t<Target\r\n"                                    // 5
      "\t\tName=\"Build\">\r\n"                          // 6
      "\t\t<!-- \xC3\xA9t\xC3\xA9 --> <Warning\r\n"          // 7: "<Warning" at column 16
      "\t\t\tText=\"look here\" />\r\n"                  // 8
      "\t\t<Error Text=\"and here\" ContinueOnError=\"true\"/>\t<Message Text=\"m\"/>\r\n"  // 9: "<Error" at column 3
      "\t</Target>\r\n"                                  // 10
      "\t<Target Name=\"Other\">\r\n"                    // 11
      "\t\t<Message\r\n"                                 // 12
      "\t\t\tText=\"x\"\r\n"                              // 13
      "\t\t\tCondition=\"'a' == \" />\r\n"                 // 14
      "\t</Target>\r\n"
      "</Project>\r\n";
  std::string File = Write("hand.proj", Disk);
  Request.UseProjectText = true;
  Request.ProjectText = R"P(<Project DefaultTargets="Build">
    <Target Name="Build">
        <Warning Text="look here"/>
        <Error Text="and here" ContinueOnError="true"/>
        <Message Text="m"/>
        <Warning Text="not saved yet"/>
    </Target>
    <Target Name="Other">
        <Message Text="x" Condition="'a' == "/>
    </Target>
</Project>
)P";
  EXPECT_TRUE(Engine.Build(File, "Build", Request));
  std::vector<std::string> Places;
  for (const auto& E : Log.Events)
    if (E.Kind == ekWarning)
      Places.push_back(E.Text + " " + E.File + "(" + std::to_string(E.Line) + "," + std::to_string(E.Column) + ")");
  EXPECT_EQ((std::vector<std::string>{"look here " + File + "(7,16)", "and here " + File + "(9,3)",
                                      "not saved yet " + File + "(5,2)"}),
            Places);
  Log.Events.clear();
  EXPECT_FALSE(Engine.Build(File, "Other", Request));
  const TBuildEvent* E = Log.First(ekError);
  ASSERT_NE(nullptr, E);
  EXPECT_EQ(12, E->Line) << E->Text;
  EXPECT_EQ(3, E->Column);
}

TEST_F(EngineTest, UnknownTasksAndTargetsAreErrorsNamingThem) {
  EXPECT_FALSE(Build("<Target Name=\"Build\">\n    <Frobnicate Text=\"x\" />\n  </Target>"));
  EXPECT_EQ("The task \"Frobnicate\" was not found", Log.Errors());
  EXPECT_EQ(3, Log.First(ekError)->Line);
  EXPECT_EQ(5, Log.First(ekError)->Column);
  Log.Events.clear();
  EXPECT_FALSE(Build("<Target Name=\"Build\" DependsOnTargets=\"Missing\" />"));
  EXPECT_EQ("The target \"Missing\" does not exist in the project \"" + (Dir / "p.proj") + "\"", Log.Errors());
  Log.Events.clear();
  EXPECT_FALSE(Build("<Target Name=\"Build\" />", "Other"));
  EXPECT_EQ("The target \"Other\" does not exist in the project \"" + (Dir / "p.proj") + "\"", Log.Errors());
}

TEST_F(EngineTest, ContinueOnErrorTurnsErrorsIntoWarningsOrKeepsGoing) {
  EXPECT_TRUE(Build(R"P(<Target Name="Build">
    <Error Text="soft" ContinueOnError="true" />
    <Error Text="softer" ContinueOnError="WarnAndContinue" />
    <Message Text="went on" />
  </Target>)P"));
  EXPECT_EQ("soft|softer", Log.Warnings());
  EXPECT_EQ("", Log.Errors());
  EXPECT_EQ("went on", Log.Messages());
  Log.Events.clear();
  EXPECT_FALSE(Build(R"P(<Target Name="Build">
    <Error Text="hard" ContinueOnError="ErrorAndContinue" />
    <Message Text="went on" />
  </Target>)P"));
  EXPECT_EQ("hard", Log.Errors());
  EXPECT_EQ("went on", Log.Messages());
}

TEST_F(EngineTest, PropertiesAndItemsInsideTargetsAreSetWhenTheTargetRuns) {
  EXPECT_TRUE(Build(R"P(
  <PropertyGroup><List>@(Src)</List><Late>$(Mode)</Late></PropertyGroup>
  <ItemGroup><Src Include="a.c;b.c" /></ItemGroup>
  <Target Name="Build" DependsOnTargets="Setup">
    <Message Text="list=$(List) mode=$(Mode) late=$(Late)" />
    <Message Text="objs=@(Obj)" />
  </Target>
  <Target Name="Setup">
    <PropertyGroup><Mode>fast</Mode></PropertyGroup>
    <ItemGroup>
      <Obj Include="@(Src->'%(Filename).o')" />
      <Src Remove="b.c" />
    </ItemGroup>
  </Target>)P"));
  EXPECT_EQ("list=a.c mode=fast late=|objs=a.o;b.o", Log.Messages());
}

TEST_F(EngineTest, TasksBatchOverMetadata) {
  EXPECT_TRUE(Build(R"P(
  <ItemGroup>
    <C Include="a.c" Lang="c" />
    <C Include="b.cpp" Lang="cpp" />
    <C Include="c.c" Lang="C" />
    <H Include="x.h" />
  </ItemGroup>
  <Target Name="Build">
    <Message Text="%(C.Lang): @(C)" />
    <Message Text="%(Extension) @(C, ',')" />
    <Message Text="one %(C.Identity) with @(H)" Condition="'%(C.Lang)' == 'cpp'" />
  </Target>)P"));
  EXPECT_EQ("c: a.c;c.c|cpp: b.cpp|.c a.c,c.c|.cpp b.cpp|one b.cpp with x.h", Log.Messages());
  Log.Events.clear();
  // Unqualified custom metadata must be defined by every item it batches over.
  EXPECT_FALSE(Build(R"P(<ItemGroup><C Include="a.c" Lang="c" /><H Include="x.h" /></ItemGroup>
  <Target Name="Build"><Message Text="@(C) @(H)" Condition="'%(Lang)' == 'c'" /></Target>)P"));
  EXPECT_EQ("The item \"x.h\" of the list \"H\" has no metadata \"Lang\": qualify the reference as "
            "%(H.Lang) or give every item of the list that metadata",
            Log.Errors());
}

TEST_F(EngineTest, TargetsBatchOverTheirOutputs) {
  EXPECT_TRUE(Build(R"P(
  <ItemGroup>
    <C Include="a.c" Dir="one" />
    <C Include="b.c" Dir="two" />
    <C Include="c.c" Dir="one" />
  </ItemGroup>
  <Target Name="Build" Outputs="%(C.Dir)">
    <Message Text="@(C) in %(C.Dir)" />
  </Target>)P"));
  EXPECT_EQ("a.c;c.c in one|b.c in two", Log.Messages());
}

class TRecordingTask {
 public:
  static void Register() {
    RegisterTask("TestOutputs", [](TTaskContext& Ctx) {
      std::vector<TTaskItem> Items;
      for (auto& I : Ctx.Parameter("Inputs").Items) {
        TTaskItem T = I;
        T.ItemSpec = "out/" + I.ItemSpec;
        T.Metadata["Seen"] = "yes";
        Items.push_back(T);
      }
      Ctx.SetOutput("Made", Items);
      Ctx.SetOutput("Text", Ctx.Parameter("Text").Text + "!");
      return true;
    });
  }
};

TEST_F(EngineTest, OutputElementsFillPropertiesAndItems) {
  TRecordingTask::Register();
  EXPECT_TRUE(Build(R"P(
  <ItemGroup><In Include="a.c" Kind="k" /><In Include="b.c" /></ItemGroup>
  <Target Name="Build">
    <TestOutputs Inputs="@(In)" Text="hi">
      <Output TaskParameter="Made" ItemName="Out" />
      <Output TaskParameter="Made" PropertyName="OutList" />
      <Output TaskParameter="Text" PropertyName="Said" />
      <Output TaskParameter="Missing" PropertyName="Untouched" />
      <Output TaskParameter="Text" PropertyName="Never" Condition="false" />
    </TestOutputs>
    <Message Text="@(Out) %(Out.Kind)" />
    <Message Text="$(OutList) $(Said) [$(Untouched)] [$(Never)] @(Out->'%(Seen)')" />
  </Target>)P"));
  EXPECT_EQ("out/a.c k|out/b.c |out/a.c;out/b.c hi! [] [] yes;yes", Log.Messages());
  UnregisterTask("TestOutputs");
}

TEST_F(EngineTest, WithinAMakeATaskThatMayWriteMakesTheChecksAfterItAskTheDiskAgain) {
  // A checking task that says the time a check finds; another task touches the file between.
  RegisterCheckingTask("TestTime", [](TTaskContext& Ctx) {
    Ctx.LogMessage(IntToStr(KnownModifiedTimeNs(Ctx.Parameter("File").Text)));
    return true;
  });
  const std::string File = Write("f.txt", "text");
  std::filesystem::last_write_time(File, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  const TKnownFileTimes Make;
  EXPECT_TRUE(Build(R"P(
  <Target Name="Build">
    <TestTime File="$(MSBuildProjectDirectory)/f.txt" />
    <TestTime File="$(MSBuildProjectDirectory)/f.txt" />
    <Touch Files="f.txt" />
    <TestTime File="$(MSBuildProjectDirectory)/f.txt" />
  </Target>)P")) << Log.Errors();
  const std::vector<std::string> Times = Split(Log.Messages(), '|');
  ASSERT_EQ(Times.size(), 3u) << Log.Messages();
  EXPECT_EQ(Times[0], Times[1]);
  EXPECT_NE(Times[1], Times[2]);
  UnregisterTask("TestTime");
}

TEST_F(EngineTest, WithinAMakeAnImportIsReadOnceUntilAToolMayHaveChangedIt) {
  const std::string Targets = Write("t.targets", R"T(<Project>
  <Target Name="Build"><Message Text="one" /></Target>
</Project>
)T");
  const std::string Body = "<Import Project=\"t.targets\" />";
  const TKnownFileTimes Make;
  EXPECT_TRUE(Build(Body)) << Log.Errors();
  // Changed by no tool, the file is the one this make read.
  Write("t.targets", "<Project><Target Name=\"Build\"><Message Text=\"two\" /></Target></Project>\n");
  EXPECT_TRUE(Build(Body)) << Log.Errors();
  // Changed by a tool, it is read again.
  TProcessOptions Tool;
  Tool.Argv = {"/bin/sh", "-c", "sed -i s/two/three/ \"$0\"", Targets};
  ASSERT_EQ(RunProcess(Tool), 0);
  EXPECT_TRUE(Build(Body)) << Log.Errors();
  EXPECT_EQ(Log.Messages(), "one|one|three");
}

TEST_F(EngineTest, WithinAMakeAProjectReadAheadServesUntilAToolMayHaveChangedIt) {
  auto Body = [](const char* Word) { return std::string("<Target Name=\"Build\"><Message Text=\"") + Word + "\" /></Target>"; };
  const std::string File = Project("q.proj", Body("one"));
  // Outside a make nothing is read ahead: the engine reads the file as it finds it.
  TReadAhead({File}).Finish();
  Project("q.proj", Body("two"));
  const TKnownFileTimes Make;
  TReadAhead({File}).Finish();
  // Changed by no tool, the project is the one read ahead.
  Project("q.proj", Body("three"));
  EXPECT_TRUE(Engine.Build(File, "Build", Request)) << Log.Errors();
  // Changed by a tool, it is read again, whatever was read ahead.
  TReadAhead({File}).Finish();
  TProcessOptions Tool;
  Tool.Argv = {"/bin/sh", "-c", "sed -i s/three/four/ \"$0\"", File};
  ASSERT_EQ(RunProcess(Tool), 0);
  EXPECT_TRUE(Engine.Build(File, "Build", Request)) << Log.Errors();
  EXPECT_EQ(Log.Messages(), "two|four");
}

TEST_F(EngineTest, ATaskThatThrowsIsAnErrorNotACrash) {
  RegisterTask("TestThrows", [](TTaskContext&) -> bool { throw std::runtime_error("bad state"); });
  RegisterTask("TestFalse", [](TTaskContext&) { return false; });
  EXPECT_FALSE(Build("<Target Name=\"Build\"><TestThrows /></Target>"));
  EXPECT_EQ("The task \"TestThrows\" failed unexpectedly: bad state", Log.Errors());
  Log.Events.clear();
  EXPECT_FALSE(Build("<Target Name=\"Build\"><TestFalse /></Target>"));
  EXPECT_EQ("The task \"TestFalse\" returned false but did not log an error", Log.Errors());
  UnregisterTask("TestThrows");
  UnregisterTask("TestFalse");
}

class TFakeHost : public ITaskHostObject {
 public:
  double GetFileTime(const std::string&) override { return 42; }
  bool CreateTemporaryFile(const std::string&, std::string&) override { return false; }
  void DeleteTemporaryFile(const std::string&) override {}
  bool UpdateProgress(int, const std::string&, int, int) override { return true; }
  void IncErrorCount() override {}
  void IncWarningCount() override {}
  void IncHintCount() override {}
  void ShowCommandLine(const std::string&, const std::string&, const std::string&) override {}
  void KibitzResult(const std::string& Task, const std::string& Result) override { Got = Task + "=" + Result; }
  void IncBuildNumber(const std::string&, const std::string&, const std::string&) override {}
  std::string Got;
};

TEST_F(EngineTest, TasksReachTheHostObjectRegisteredForTheirName) {
  RegisterTask("TestKibitz", [](TTaskContext& Ctx) {
    if (!Ctx.HostObject()) return false;
    Ctx.HostObject()->KibitzResult(Ctx.TaskName(), Ctx.Parameter("Value").Text);
    return true;
  });
  auto Host = std::make_shared<TFakeHost>();
  Request.HostObjects["testkibitz"] = Host;
  EXPECT_TRUE(Build("<Target Name=\"Build\"><TestKibitz Value=\"$(MSBuildProjectName)\" /></Target>"));
  EXPECT_EQ("TestKibitz=p", Host->Got);
  UnregisterTask("TestKibitz");
}

TEST_F(EngineTest, CancelStopsTheBuildBetweenTasks) {
  std::atomic<bool> Cancel{false};
  Request.Cancel = &Cancel;
  RegisterTask("TestCancel", [&](TTaskContext&) {
    Cancel = true;
    return true;
  });
  EXPECT_FALSE(Build(R"P(<Target Name="Build" DependsOnTargets="One"><Message Text="never" /></Target>
  <Target Name="One"><Message Text="one" /><TestCancel /><Message Text="not after cancel" /></Target>)P"));
  EXPECT_EQ("one", Log.Messages());
  EXPECT_EQ("The build was cancelled", Log.Errors());
  UnregisterTask("TestCancel");
}

TEST_F(EngineTest, MessagesAreFilteredByVerbosityAndEventsFrameTheBuild) {
  Request.Verbosity = vbNormal;
  const char* Body = R"P(<Target Name="Build">
    <Message Text="hi" Importance="high" /><Message Text="normal" /><Message Text="lo" Importance="low" />
    <Warning Text="careful" Code="W1" />
  </Target>)P";
  // What each verbosity lets through: messages, warnings, target starts, task starts.
  struct {
    TVerbosity Verbosity;
    const char *Messages, *Warnings, *Targets, *Tasks;
  } Levels[] = {
      {vbQuiet, "", "careful", "", ""},
      {vbMinimal, "hi", "careful", "", ""},
      {vbNormal, "hi|normal", "careful", "Build", ""},
      {vbDetailed, "hi|normal|lo", "careful", "Build", "Message|Message|Message|Warning"},
      {vbDiagnostic, "hi|normal|lo", "careful", "Build", "Message|Message|Message|Warning"},
  };
  for (const auto& L : Levels) {
    Log.Events.clear();
    Request.Verbosity = L.Verbosity;
    EXPECT_TRUE(Build(Body));
    EXPECT_EQ(L.Messages, Log.Messages()) << L.Verbosity;
    EXPECT_EQ(L.Warnings, Log.Warnings()) << L.Verbosity;
    EXPECT_EQ(L.Targets, Log.Texts(ekTargetStarted)) << L.Verbosity;
    EXPECT_EQ(L.Tasks, Log.Texts(ekTaskStarted)) << L.Verbosity;
    EXPECT_EQ(L.Tasks, Log.Texts(ekTaskFinished)) << L.Verbosity;
  }
  EXPECT_EQ(Dir / "p.proj", Log.Texts(ekProjectStarted));
  Log.Events.clear();
  Request.Verbosity = vbSilent;
  EXPECT_TRUE(Build(Body));
  EXPECT_TRUE(Log.Events.empty());
}

TEST_F(EngineTest, TheMSBuildTaskBuildsOtherProjectsOncePerGlobalProperties) {
  Write("lib/lib.proj", R"P(<Project InitialTargets="Init">
  <PropertyGroup><Config Condition="'$(Config)' == ''">Debug</Config></PropertyGroup>
  <Target Name="Build" Returns="@(Made)">
    <Message Text="lib $(Config)" />
    <ItemGroup><Made Include="lib-$(Config).a" /></ItemGroup>
  </Target>
  <Target Name="Init"><Message Text="init $(Config)" /></Target>
</Project>)P");
  EXPECT_TRUE(Build(R"P(
  <ItemGroup><Ref Include="lib\lib.proj" /></ItemGroup>
  <Target Name="Build">
    <MSBuild Projects="@(Ref)" Targets="Build">
      <Output TaskParameter="TargetOutputs" ItemName="Libs" />
    </MSBuild>
    <MSBuild Projects="@(Ref)" Properties="Config=Release" BuildInParallel="true">
      <Output TaskParameter="TargetOutputs" ItemName="Libs" />
    </MSBuild>
    <MSBuild Projects="@(Ref)" />
    <Message Text="@(Libs) from %(Libs.MSBuildSourceTargetName)" />
  </Target>)P"));
  // The third call builds the first instance again: its initial and built targets do not run twice.
  EXPECT_EQ("init Debug|lib Debug|init Release|lib Release|lib-Debug.a;lib-Release.a from Build", Log.Messages());
}

TEST_F(EngineTest, TheMSBuildTaskStopsAtTheFirstFailingProjectOnlyWhenAsked) {
  Write("bad.proj", R"P(<Project><Target Name="Build"><Error Text="bad" /></Target></Project>)P");
  Write("good.proj", R"P(<Project><Target Name="Build"><Message Text="good" /></Target></Project>)P");
  EXPECT_FALSE(Build(R"P(<Target Name="Build"><MSBuild Projects="bad.proj;good.proj" /></Target>)P"));
  EXPECT_EQ("good", Log.Messages());
  Log.Events.clear();
  EXPECT_FALSE(Build(R"P(<Target Name="Build">
    <MSBuild Projects="bad.proj;good.proj" StopOnFirstFailure="true" />
  </Target>)P"));
  EXPECT_EQ("", Log.Messages());
  EXPECT_EQ("bad", Log.Errors());
  Log.Events.clear();
  EXPECT_TRUE(Build(R"P(<Target Name="Build">
    <MSBuild Projects="missing.proj;good.proj" SkipNonexistentProjects="true" />
  </Target>)P"));
  EXPECT_EQ("good", Log.Messages());
}

// A target that failed stays failed: asked for again in the same build, it fails again
// without running a second time, so that what depends on it does not run either.
TEST_F(EngineTest, ATargetThatFailedFailsAgainWhenAskedForAgain) {
  EXPECT_FALSE(Build(R"P(<Target Name="Build">
    <CallTarget Targets="Broken" ContinueOnError="true" />
    <Message Text="went on" />
    <CallTarget Targets="Broken" />
    <Message Text="never" />
  </Target>
  <Target Name="Broken"><Message Text="broken runs" /><Error Text="broken" /></Target>)P"));
  EXPECT_EQ("broken runs|went on", Log.Messages());
  EXPECT_EQ("broken|The task \"CallTarget\" returned false but did not log an error", Log.Errors());
}

TEST_F(EngineTest, CallTargetRunsTargetsOfTheSameProject) {
  EXPECT_TRUE(Build(R"P(
  <Target Name="Build">
    <CallTarget Targets="Helper;Helper">
      <Output TaskParameter="TargetOutputs" PropertyName="Got" />
    </CallTarget>
    <Message Text="got $(Got)" />
  </Target>
  <Target Name="Helper" Outputs="helper.out"><Message Text="helper" /></Target>)P"));
  EXPECT_EQ("helper|got helper.out;helper.out", Log.Messages());
}

}  // namespace
}  // namespace nxs::engine::test

namespace nxs::engine::test {
namespace {

TEST_F(EngineTest, ItemElementsBatchOverMetadataInAndOutsideTargets) {
  EXPECT_TRUE(Build(R"P(
  <ItemGroup>
    <X Include="a.c" Kind="a" />
    <X Include="b.c" Kind="b" />
    <X Include="c.c" Kind="a" />
    <OnlyA Include="@(X)" Condition="'%(X.Kind)' == 'a'" />
  </ItemGroup>
  <Target Name="Build">
    <ItemGroup>
      <ByKind Include="%(X.Kind)" Files="@(X)" />
      <X Remove="@(X)" Condition="'%(Kind)' == 'b'" />
      <X Condition="'%(Filename)' == 'c'"><Kind>changed</Kind></X>
    </ItemGroup>
    <PropertyGroup><Last>%(X.Kind)</Last></PropertyGroup>
    <Message Text="@(OnlyA)|@(ByKind->'%(Identity)=%(Files)')|@(X->'%(Identity):%(Kind)')|$(Last)" />
  </Target>)P")) << Log.Errors();
  EXPECT_EQ("a.c;c.c|a=a.c;c.c;b=b.c|a.c:a;c.c:changed|changed", Log.Messages());
}

}  // namespace
}  // namespace nxs::engine::test

namespace nxs::engine::test {
namespace {

TEST_F(EngineTest, OnErrorRunsItsTargetsWhenATaskFails) {
  EXPECT_FALSE(Build(R"P(
  <Target Name="Build">
    <Error Text="failed" />
    <OnError ExecuteTargets="Report;Cleanup" />
  </Target>
  <Target Name="Report"><Message Text="report" /></Target>
  <Target Name="Cleanup"><Message Text="cleanup" /></Target>)P"));
  EXPECT_EQ("report|cleanup", Log.Messages());
  EXPECT_EQ("failed", Log.Errors());
}

TEST_F(EngineTest, TargetsReturnTheirReturnsOrElseTheirOutputs) {
  std::vector<TTaskItem> Out;
  std::string OnlyOutputs = Project("o.proj", R"P(<Target Name="Build" Outputs="a.o;b.o" />)P");
  EXPECT_TRUE(Engine.Build(OnlyOutputs, "Build", Request, &Out));
  EXPECT_EQ("a.o;b.o", Specs(Out));
  Out.clear();
  // Once any target of the project has Returns, a target without it returns nothing.
  std::string Mixed = Project("m.proj", R"P(<Target Name="Build" Outputs="a.o" />
  <Target Name="Other" Returns="r.o" Outputs="x.o" />)P");
  EXPECT_TRUE(Engine.Build(Mixed, "Build;Other", Request, &Out));
  EXPECT_EQ("r.o", Specs(Out));
  EXPECT_EQ(Mixed, Out[0].GetMetadata("MSBuildSourceProjectFile"));
  EXPECT_EQ("Other", Out[0].GetMetadata("MSBuildSourceTargetName"));
}

TEST_F(EngineTest, ProjectsInDirectoriesWithSemicolonsAndSpacesBuild) {
  Write("semi;colon dir/src/one.c", "");
  Write("semi;colon dir/src/two words.c", "");
  std::string File = Write("semi;colon dir/odd name.proj", R"P(<Project   DefaultTargets = "Build" >
  <ItemGroup>
    <C   Include = "$(MSBuildProjectDirectory)\src\*.c"   />
  </ItemGroup>
  <Target Name="Build" Condition=" Exists( '$(MSBuildProjectDirectory)' ) ">
    <Message Text="@(C->'%(Filename)%(Extension)', ' + ') in $(MSBuildProjectDirectory)" />
    <Copy SourceFiles="@(C)" DestinationFolder="out" />
  </Target>
</Project>)P");
  EXPECT_TRUE(Engine.Build(File, "", Request)) << Log.Errors();
  EXPECT_EQ("one.c + two words.c in " + (Dir / "semi;colon dir"), Log.Messages().substr(0, Log.Messages().find('|')));
  EXPECT_TRUE(std::filesystem::exists(Dir / "semi;colon dir/out/two words.c"));
}

}  // namespace
}  // namespace nxs::engine::test
