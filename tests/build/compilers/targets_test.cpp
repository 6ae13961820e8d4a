// The shipped targets files run by the engine as a project imports them through $(NXS):
// Make, Build and Clean of both personalities with their build events, and the evaluation
// targets the environment asks its questions through.
#include <algorithm>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "build/compilers/compilers.h"
#include "build/engine/engine.h"
#include "build/engine/filetimes.h"
#include "shared/install.h"
#include "support/taskfakes.h"
#include "support/tempdir.h"

namespace nxs::compilers {
namespace {

namespace fs = std::filesystem;
using namespace engine;

class TRecorder : public ILogger {
 public:
  void Event(const TBuildEvent& E) override {
    std::lock_guard Lock(FMutex);
    Events.push_back(E);
  }
  std::string Errors() const {
    std::string R;
    for (const auto& E : Events)
      if (E.Kind == ekError) R += E.Text + "\n";
    return R;
  }
  std::vector<TBuildEvent> Events;

 private:
  std::mutex FMutex;
};

struct TTargetsRun {
  test::TTempDir Root;
  std::string Dir = Root / "the project";
  std::shared_ptr<test::TFakeHost> Host = std::make_shared<test::TFakeHost>(Root.Path());
  TRecorder Log;
  TEngine Engine;

  TTargetsRun() { fs::create_directories(Dir); }
  void Write(const std::string& Rel, const std::string& Text) {
    fs::create_directories(fs::path(Dir + "/" + Rel).parent_path());
    test::WriteText(Dir + "/" + Rel, Text);
  }
  // A project as `nxs project new` makes it: properties, items, then the import.
  std::string Project(const std::string& Name, const std::string& Properties, const std::string& Items,
                      const std::string& Targets) {
    Write(Name, "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\n  <PropertyGroup>\n" +
                    Properties + "\n  </PropertyGroup>\n  <ItemGroup>\n" + Items +
                    "\n  </ItemGroup>\n  <Import Project=\"$(NXS)\\data\\targets\\" + Targets + "\"/>\n</Project>\n");
    return Dir + "/" + Name;
  }
  bool Build(const std::string& File, const std::string& Targets, TPropertyMap Properties = {}) {
    RegisterCompilerTasks();
    TBuildRequest R;
    R.Logger = &Log;
    R.GlobalProperties = std::move(Properties);
    R.GlobalProperties["NXS"] = InstallDir();
    for (const char* Task : {"PascalCompiler", "CppCompiler", "EvaluateProperties", "EvaluateItem", "KibitzResult"})
      R.HostObjects[Task] = Host;
    const bool Ok = Engine.Build(File, Targets, R);
    ReleaseBuildLocks();  // as the build host does when a project's build ends
    return Ok;
  }
};

TEST(ShippedTargets, CppMakeRunsTheBuildEventsAroundTheCompileAndCleanRemovesOnlyOutputs) {
  TTargetsRun R;
  R.Write("src/main.cpp", "#include <cstdio>\nint main() { std::puts(\"made\"); }\n");
  std::string P = R.Project("app.kzproj",
                            "<AppType>Application</AppType><OutputDir>bin</OutputDir>"
                            "<PreBuildEvent>echo pre &gt;&gt; events.txt</PreBuildEvent>"
                            "<PreLinkEvent>ls bin/obj/src/main.cpp.o &gt;/dev/null &amp;&amp; echo link &gt;&gt; events.txt</PreLinkEvent>"
                            "<PostBuildEvent>test -x bin/app &amp;&amp; echo post &gt;&gt; events.txt</PostBuildEvent>",
                            "<KestrelCompile Include=\"src\\main.cpp\"/>", "Kestrel.Common.Targets");
  ASSERT_TRUE(R.Build(P, "Make")) << R.Log.Errors();
  EXPECT_EQ(test::ProgramOutput({R.Dir + "/bin/app"}), "made\n");
  EXPECT_EQ(test::ReadText(R.Dir + "/events.txt"), "pre\nlink\npost\n");

  ASSERT_TRUE(R.Build(P, "Clean")) << R.Log.Errors();
  EXPECT_FALSE(fs::exists(R.Dir + "/bin/app"));
  EXPECT_FALSE(fs::exists(R.Dir + "/bin/obj"));
  EXPECT_TRUE(fs::exists(R.Dir + "/events.txt"));
  EXPECT_TRUE(fs::exists(R.Dir + "/src/main.cpp"));
  EXPECT_TRUE(fs::exists(R.Dir + "/app.kzproj"));
}

// A make that finds a project up to date leaves the lock's file in the folder for the next
// make without looking; a clean later in the same make empties the folder, and the lock's file
// and the folder go with it.
TEST(ShippedTargets, TheLocksFileStaysWithTheBuildsFilesAndGoesWithTheLastOfThem) {
  TTargetsRun R;
  R.Write("a.cpp", "int A() { return 1; }\n");
  std::string P = R.Project("lib.kzproj", "<AppType>StaticLibrary</AppType>", "<KestrelCompile Include=\"a.cpp\"/>",
                            "Kestrel.Common.Targets");
  ASSERT_TRUE(R.Build(P, "Make")) << R.Log.Errors();
  const TKnownFileTimes Make;
  ASSERT_TRUE(R.Build(P, "Make")) << R.Log.Errors();
  EXPECT_TRUE(fs::exists(R.Dir + "/obj/.nxs-lock"));
  ASSERT_TRUE(R.Build(P, "Make;Clean")) << R.Log.Errors();
  EXPECT_FALSE(fs::exists(R.Dir + "/obj"));
}

TEST(ShippedTargets, AFailingPreBuildEventStopsTheBuildUnlessItMayNot) {
  TTargetsRun R;
  R.Write("main.cpp", "int main() {}\n");
  std::string Props = "<OutputDir>bin</OutputDir><PreBuildEvent>exit 3</PreBuildEvent>";
  std::string P = R.Project("app.kzproj", Props, "<KestrelCompile Include=\"main.cpp\"/>", "Kestrel.Common.Targets");
  EXPECT_FALSE(R.Build(P, "Make"));
  EXPECT_NE(R.Log.Errors().find("exited with code 3"), std::string::npos) << R.Log.Errors();
  EXPECT_FALSE(fs::exists(R.Dir + "/bin/app"));

  P = R.Project("app.kzproj", Props + "<PreBuildEventIgnoreExitCode>true</PreBuildEventIgnoreExitCode>",
                "<KestrelCompile Include=\"main.cpp\"/>", "Kestrel.Common.Targets");
  EXPECT_TRUE(R.Build(P, "Make")) << R.Log.Errors();
  EXPECT_TRUE(fs::exists(R.Dir + "/bin/app"));
}

TEST(ShippedTargets, PascalBuildOfAProgramAndOfAnArchive) {
  TTargetsRun R;
  R.Write("hello.vpr", "program hello;\nuses greeting;\nbegin\n  WriteLn(Greet);\nend.\n");
  R.Write("units/greeting.pas",
          "unit greeting;\ninterface\nfunction Greet: string;\nimplementation\nfunction Greet: string;\nbegin\n"
          "  Greet := 'built';\nend;\nend.\n");
  std::string P = R.Project("hello.vproj", "<MainSource>hello.vpr</MainSource><OutputDir>out</OutputDir>",
                            "<VellumCompile Include=\"$(MainSource)\"><MainSource>MainSource</MainSource></VellumCompile>"
                            "<UnitReference Include=\"units\\greeting.pas\"/>",
                            "Vellum.Common.Targets");
  ASSERT_TRUE(R.Build(P, "Build")) << R.Log.Errors();
  EXPECT_EQ(test::ProgramOutput({R.Dir + "/out/hello"}), "built\n");
  ASSERT_TRUE(R.Build(P, "Clean")) << R.Log.Errors();
  EXPECT_FALSE(fs::exists(R.Dir + "/out/hello"));
  EXPECT_TRUE(fs::exists(R.Dir + "/units/greeting.pas"));

  std::string A = R.Project("greet.vproj",
                            "<MainSource>units\\greeting.pas</MainSource><OutputDir>lib</OutputDir>"
                            "<AppType>StaticLibrary</AppType><OutputName>greet</OutputName>",
                            "<VellumCompile Include=\"$(MainSource)\"><MainSource>MainSource</MainSource></VellumCompile>",
                            "Vellum.Common.Targets");
  ASSERT_TRUE(R.Build(A, "Make")) << R.Log.Errors();
  EXPECT_NE(test::ProgramOutput({"nm", R.Dir + "/lib/libgreet.a"}).find("GREETING_$$_GREET"), std::string::npos);
}

// The files below Dir, by name.
std::vector<std::string> FilesIn(const std::string& Dir) {
  std::vector<std::string> Names;
  std::error_code Ec;
  for (const auto& E : fs::recursive_directory_iterator(Dir, Ec))
    if (E.is_regular_file()) Names.push_back(E.path().lexically_relative(Dir).string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

TEST(ShippedTargets, CheckWritesNothingAndLinkCompilesNothingInBothPersonalities) {
  TTargetsRun R;
  R.Write("main.cpp", "#include <cstdio>\nint main() { std::puts(\"linked\"); }\n");
  std::string C = R.Project("app.kzproj", "<OutputDir>bin</OutputDir>", "<KestrelCompile Include=\"main.cpp\"/>",
                            "Kestrel.Common.Targets");
  R.Write("hello.vpr", "program hello;\nuses greeting;\nbegin\n  WriteLn(Greet);\nend.\n");
  R.Write("units/greeting.pas", "unit greeting;\ninterface\nfunction Greet: string;\nimplementation\n"
                                "function Greet: string;\nbegin\n  Greet := 'linked too';\nend;\nend.\n");
  std::string P = R.Project("hello.vproj", "<MainSource>hello.vpr</MainSource><OutputDir>out</OutputDir>",
                            "<VellumCompile Include=\"$(MainSource)\"><MainSource>MainSource</MainSource></VellumCompile>"
                            "<UnitReference Include=\"units\\greeting.pas\"/>",
                            "Vellum.Common.Targets");
  const std::vector<std::string> Before = FilesIn(R.Dir);
  ASSERT_TRUE(R.Build(C, "Check")) << R.Log.Errors();
  ASSERT_TRUE(R.Build(P, "Check")) << R.Log.Errors();
  EXPECT_EQ(FilesIn(R.Dir), Before);

  // Link from what a make left: the output made again, no object written.
  ASSERT_TRUE(R.Build(C, "Make")) << R.Log.Errors();
  ASSERT_TRUE(R.Build(P, "Make")) << R.Log.Errors();
  const auto Object = fs::last_write_time(R.Dir + "/bin/obj/main.cpp.o");
  const auto Unit = fs::last_write_time(R.Dir + "/out/obj/greeting.ppu");
  fs::remove(R.Dir + "/bin/app");
  fs::remove(R.Dir + "/out/hello");
  ASSERT_TRUE(R.Build(C, "Link")) << R.Log.Errors();
  ASSERT_TRUE(R.Build(P, "Link")) << R.Log.Errors();
  EXPECT_EQ(test::ProgramOutput({R.Dir + "/bin/app"}), "linked\n");
  EXPECT_EQ(test::ProgramOutput({R.Dir + "/out/hello"}), "linked too\n");
  EXPECT_EQ(fs::last_write_time(R.Dir + "/bin/obj/main.cpp.o"), Object);
  EXPECT_EQ(fs::last_write_time(R.Dir + "/out/obj/greeting.ppu"), Unit);

  // A check reports what is wrong; a link without objects says what to do first.
  R.Write("main.cpp", "int main() { return missing; }\n");
  R.Write("units/greeting.pas", "unit greeting;\ninterface\nfunction Greet: string;\nimplementation\n"
                                "function Greet: string;\nbegin\n  Greet := Missing;\nend;\nend.\n");
  EXPECT_FALSE(R.Build(C, "Check"));
  EXPECT_FALSE(R.Build(P, "Check"));
  EXPECT_NE(R.Log.Errors().find("was not declared in this scope"), std::string::npos) << R.Log.Errors();
  EXPECT_NE(R.Log.Errors().find("Identifier not found \"Missing\""), std::string::npos) << R.Log.Errors();
  ASSERT_TRUE(R.Build(C, "Clean"));
  EXPECT_FALSE(R.Build(C, "Link"));
  EXPECT_NE(R.Log.Errors().find("\"" + R.Dir + "/bin/obj/main.cpp.o\" has not been compiled"), std::string::npos)
      << R.Log.Errors();
}

TEST(ShippedTargets, EvaluationTargetsHandTheValuesBack) {
  TTargetsRun R;
  std::string P = R.Project("app.kzproj", "<OutputDir>bin</OutputDir><Defines>A;B</Defines>",
                            "<KestrelCompile Include=\"a.cpp\"><BuildOrder>3</BuildOrder></KestrelCompile>",
                            "Kestrel.Common.Targets");
  ASSERT_TRUE(R.Build(P, "_EvaluateProperties",
                      {{"_EvaluatePropertyNames", "Defines;OutputDir"}, {"_EvaluatePropertyDependsOnTargets", ""}}))
      << R.Log.Errors();
  EXPECT_EQ(R.Host->Kibitz["EvaluateProperties"], "A;B|bin");
  ASSERT_TRUE(R.Build(P, "_EvaluateItem", {{"_EvaluateName", "KestrelCompile"}, {"__MetadataName", "BuildOrder"}}));
  EXPECT_EQ(R.Host->Kibitz["EvaluateItem"], "3");
  ASSERT_TRUE(R.Build(P, "_Kibitz", {{"_KibitzTask", "CppCompiler"}}));
  EXPECT_NE(R.Host->Kibitz["CppCompiler"].find("-DA\n-DB"), std::string::npos);
  EXPECT_FALSE(fs::exists(R.Dir + "/bin"));
}

}  // namespace
}  // namespace nxs::compilers
