// A make of a C++ project that has nothing to do starts no tool; each kind of change to what
// the objects and the output are made from (a source, a header a source includes, an option,
// the compiler, an object or the output gone) still makes what it must, and a compile that
// failed is never taken for done.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "build/compilers/compilers.h"
#include "build/engine/filetimes.h"
#include "build/engine/tasks.h"
#include "support/taskfakes.h"
#include "support/tempdir.h"

namespace nxs::compilers {
namespace {

namespace fs = std::filesystem;
using TFiles = std::vector<std::string>;

// A C++ program whose ninja and compiler are scripts that note each run in a log and hand
// over to the real tools.
struct TMadeProject {
  test::TTempDir Root;
  std::string Dir = Root / "made";
  test::TFakeProject Project{Dir + "/made.kzproj"};
  test::TFakeHost Host{Root.Path()};
  std::string Log = Root / "runs.log";
  bool LastResult = false;

  TMadeProject() {
    fs::create_directories(Dir + "/include");
    Project.Properties["OutputDir"] = "out";
    Project.Properties["IncludePath"] = "include";
    Project.Properties["Ninja"] = Tool("ninja", "ninja");
    Project.Properties["Cpp_Compiler"] = Tool("cc", "g++");
    Write("include/greet.h", "#pragma once\nconst char* Greet();\n");
    Write("greet.cpp", "#include \"greet.h\"\nconst char* Greet() { return \"hello\"; }\n");
    Write("main.cpp", "#include <cstdio>\n#include \"greet.h\"\nint main() { std::puts(Greet()); }\n");
  }
  // A script in the root that logs "Name" and runs Real with its arguments.
  std::string Tool(const std::string& Name, const std::string& Real, const std::string& Note = {}) {
    const std::string Path = Root / Name;
    test::WriteText(Path, "#!/bin/sh\n# " + Note + "\necho " + Name + " >> '" + Log + "'\nexec " + Real + " \"$@\"\n");
    fs::permissions(Path, fs::perms::owner_all);
    return Path;
  }
  void Write(const std::string& Rel, const std::string& Text) { test::WriteText(Dir + "/" + Rel, Text); }
  // Makes the project (one phase when given); the files compiled, by name.
  std::vector<std::string> Make(const std::string& Phase = {}) {
    RegisterCompilerTasks();
    engine::TTaskFunction Task;
    EXPECT_TRUE(engine::FindTask("CppCompiler", Task));
    test::TFakeContext C("CppCompiler", Project, &Host);
    C.SetItems("Sources", {"main.cpp", "greet.cpp"});
    if (!Phase.empty()) C.Set("Phase", Phase);
    Host.Progress.clear();
    fs::remove(Log);
    LastResult = Task(C);
    std::vector<std::string> Compiled;
    for (const auto& [Kind, File] : Host.Progress)
      if (Kind == progCompiling) Compiled.push_back(ExtractFileName(File));
    std::sort(Compiled.begin(), Compiled.end());
    return Compiled;
  }
  // How often the tool ran in the last make.
  int Runs(const std::string& Name) const {
    std::ifstream In(Log);
    int N = 0;
    for (std::string Line; std::getline(In, Line);) N += Line == Name;
    return N;
  }
  bool NinjaRan() const { return fs::exists(Log); }
  // A make that succeeds without starting a tool.
  bool MakesNothing() {
    const TFiles Compiled = Make();
    return LastResult && Compiled.empty() && !NinjaRan();
  }
};

TEST(CppMake, NothingToDoStartsNoToolAndEachChangedInputMakesWhatDependsOnIt) {
  TMadeProject P;
  EXPECT_EQ(P.Make(), (TFiles{"greet.cpp", "main.cpp"}));
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/made"}), "hello\n");
  EXPECT_TRUE(P.MakesNothing());

  // A source: it alone.
  P.Write("greet.cpp", "#include \"greet.h\"\nconst char* Greet() { return \"hi\"; }\n");
  EXPECT_EQ(P.Make(), TFiles{"greet.cpp"});
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/made"}), "hi\n");
  EXPECT_TRUE(P.MakesNothing());

  // A header: the sources that include it.
  P.Write("include/greet.h", "#pragma once\n// changed\nconst char* Greet();\n");
  EXPECT_EQ(P.Make(), (TFiles{"greet.cpp", "main.cpp"}));
  EXPECT_TRUE(P.MakesNothing());

  // An option.
  P.Project.Properties["Defines"] = "LOUD";
  EXPECT_EQ(P.Make(), (TFiles{"greet.cpp", "main.cpp"}));
  EXPECT_TRUE(P.MakesNothing());

  // The compiler, put in its place under the same name.
  P.Tool("cc", "g++", "another compiler");
  EXPECT_EQ(P.Make(), (TFiles{"greet.cpp", "main.cpp"}));
  EXPECT_EQ(P.Runs("cc"), 3);  // two compiles and the link
  EXPECT_TRUE(P.MakesNothing());

  // An object gone: it; the output gone: the link alone.
  fs::remove(P.Dir + "/out/obj/main.cpp.o");
  EXPECT_EQ(P.Make(), TFiles{"main.cpp"});
  fs::remove(P.Dir + "/out/made");
  EXPECT_EQ(P.Make(), TFiles{});
  EXPECT_TRUE(P.NinjaRan());
  EXPECT_TRUE(fs::exists(P.Dir + "/out/made"));
  EXPECT_TRUE(P.MakesNothing());
}

TEST(CppMake, AFailedCompileIsNeverTakenForDone) {
  TMadeProject P;
  P.Write("greet.cpp", "const char* Greet() { return 1; }\n");
  P.Make();
  EXPECT_FALSE(P.LastResult);
  P.Make();
  EXPECT_FALSE(P.LastResult);
  EXPECT_TRUE(P.NinjaRan());
}

TEST(CppMake, ALinkPhaseAfterAnotherTaskLooksAtTheFilesAgain) {
  TMadeProject P;
  P.Make();
  ASSERT_TRUE(P.LastResult);
  // The engine counts each task it starts: the compile phase finds nothing to do; a task run
  // before the link phase (a pre-link command) changes a source; the link phase must see it.
  engine::NoteTaskStarted();
  EXPECT_EQ(P.Make("Compile"), TFiles{});
  EXPECT_FALSE(P.NinjaRan());
  P.Write("greet.cpp", "#include \"greet.h\"\nconst char* Greet() { return \"pre-link\"; }\n");
  engine::NoteTaskStarted();
  engine::NoteTaskStarted();
  EXPECT_EQ(P.Make("Link"), TFiles{"greet.cpp"});
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/made"}), "pre-link\n");
}

TEST(CppMake, OneMakeAsksForEachTimeOnceAndSeesWhatAToolChangedMeanwhile) {
  TMadeProject P;
  P.Make();
  ASSERT_TRUE(P.LastResult);
  const engine::TKnownFileTimes Make;
  EXPECT_TRUE(P.MakesNothing());
  // A tool the make runs (a pre-build command, say) changes the header: the projects checked
  // after it see the change.
  engine::TProcessOptions Tool;
  Tool.Argv = {"/bin/sh", "-c", "echo '// the tool' >> include/greet.h"};
  Tool.WorkingDirectory = P.Dir;
  ASSERT_EQ(engine::RunProcess(Tool), 0);
  EXPECT_EQ(P.Make(), (TFiles{"greet.cpp", "main.cpp"}));
  EXPECT_TRUE(P.MakesNothing());
  // What changes outside any tool or task while the make runs waits for the next make, as it
  // does for a build tool that looks at each file once.
  P.Write("main.cpp", "#include <cstdio>\n#include \"greet.h\"\nint main() { std::puts(\"later\"); }\n");
  EXPECT_TRUE(P.MakesNothing());
}

}  // namespace
}  // namespace nxs::compilers
