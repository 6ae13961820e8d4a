// The C++ compile task with the real compiler and ninja: programs, libraries and archives,
// diagnostics with their notes, make after touching a header, unsaved editor text, odd names.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <signal.h>
#include <thread>

#include <gtest/gtest.h>

#include "build/compilers/compilers.h"
#include "support/taskfakes.h"
#include "support/tempdir.h"
#include "support/wait.h"

namespace nxs::compilers {
namespace {

namespace fs = std::filesystem;
using engine::ekError;
using engine::ekMessage;
using engine::ekWarning;

struct TCppProject {
  test::TTempDir Root;
  std::string Dir = Root / "my project";
  test::TFakeProject Project{Dir + "/demo.kzproj"};
  test::TFakeHost Host{Root.Path()};
  std::vector<std::string> Sources;

  TCppProject() {
    fs::create_directories(Dir + "/src dir");
    fs::create_directories(Dir + "/include");
    Project.Properties["OutputDir"] = "out";
    Project.Properties["IntermediateDir"] = "out/obj";
    Project.Properties["IncludePath"] = "include";
    Project.Properties["ParallelJobs"] = "2";
  }
  void Write(const std::string& Rel, const std::string& Text) { test::WriteText(Dir + "/" + Rel, Text); }
  // Runs the task; the context stays for inspection.
  std::unique_ptr<test::TFakeContext> Build(bool Clean = false, std::function<void(test::TFakeContext&)> Before = {}) {
    RegisterCompilerTasks();
    engine::TTaskFunction Task;
    EXPECT_TRUE(engine::FindTask("CppCompiler", Task));
    auto C = std::make_unique<test::TFakeContext>("CppCompiler", Project, &Host);
    C->SetItems("Sources", Sources);
    if (Clean) C->Set("Clean", "true");
    if (Before) Before(*C);
    LastResult = Task(*C);
    return C;
  }
  std::vector<std::string> Compiled(const test::TFakeContext& C) const {
    std::vector<std::string> Files;
    for (const auto& [Kind, File] : Host.Progress)
      if (Kind == progCompiling) Files.push_back(ExtractFileName(File));
    return Files;
  }
  bool LastResult = false;
};

TEST(CppCompileTask, BuildsAProgramAndMakeRecompilesOnlyTheDependantsOfATouchedHeader) {
  TCppProject P;
  P.Write("include/greet.h", "#pragma once\nconst char* Greet();\n");
  P.Write("include/other.h", "#pragma once\nint Other();\n");
  P.Write("src dir/greet one.cpp", "#include \"greet.h\"\nconst char* Greet() { return \"hello\"; }\n");
  P.Write("src dir/other.cpp", "#include \"other.h\"\nint Other() { return 7; }\n");
  P.Write("main.cpp",
          "#include <cstdio>\n#include \"greet.h\"\n#include \"other.h\"\n"
          "int main() { std::printf(\"%s %d\\n\", Greet(), Other()); }\n");
  P.Sources = {"main.cpp", "src dir/greet one.cpp", "src dir/other.cpp"};
  auto C = P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "hello 7\n");
  EXPECT_EQ(P.Compiled(*C).size(), 3u);

  // Nothing changed: nothing compiles, and the ninja file is not written again.
  struct stat Before, After;
  stat((P.Dir + "/out/obj/build.ninja").c_str(), &Before);
  P.Host.Progress.clear();
  // So that a ninja file written again would show by its time.
  ASSERT_TRUE(test::WaitForFileClockTick(P.Dir));
  C = P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_TRUE(P.Compiled(*C).empty());
  stat((P.Dir + "/out/obj/build.ninja").c_str(), &After);
  EXPECT_EQ(Before.st_mtim.tv_nsec, After.st_mtim.tv_nsec);

  // A header touched: the sources that include it, and only those.
  ASSERT_TRUE(test::WaitForFileClockTick(P.Dir));
  P.Write("include/greet.h", "#pragma once\n// changed\nconst char* Greet();\n");
  P.Host.Progress.clear();
  C = P.Build();
  ASSERT_TRUE(P.LastResult);
  auto Files = P.Compiled(*C);
  std::sort(Files.begin(), Files.end());
  EXPECT_EQ(Files, (std::vector<std::string>{"greet one.cpp", "main.cpp"}));

  // Clean takes every output away and leaves the sources, also an overlay that a compile that
  // did not finish left behind, without following its links.
  fs::create_directories(P.Dir + "/out/obj/unsaved-x1/src dir");
  fs::create_symlink(P.Dir + "/src dir/other.cpp", P.Dir + "/out/obj/unsaved-x1/src dir/other.cpp");
  C = P.Build(true);
  EXPECT_TRUE(P.LastResult);
  EXPECT_FALSE(fs::exists(P.Dir + "/out/demo"));
  EXPECT_FALSE(fs::exists(P.Dir + "/out/obj"));
  EXPECT_TRUE(fs::exists(P.Dir + "/out"));  // not made by the objects alone
  EXPECT_TRUE(fs::exists(P.Dir + "/src dir/other.cpp"));
  EXPECT_TRUE(fs::exists(P.Dir + "/include/greet.h"));
}

TEST(CppCompileTask, ErrorsGiveTheirPlaceAndNotesNestUnderThem) {
  TCppProject P;
  P.Write("include/f.h", "#pragma once\nint f(int);\n");
  P.Write("src dir/bad.cpp", "#include \"f.h\"\nint g() {\n  return f(\"a\");\n}\n");
  P.Sources = {"src dir/bad.cpp"};
  auto C = P.Build();
  EXPECT_FALSE(P.LastResult);
  auto Errors = C->OfKind(ekError);
  ASSERT_GE(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].File, P.Dir + "/src dir/bad.cpp");
  EXPECT_EQ(Errors[0].Line, 3);
  EXPECT_EQ(Errors[0].Column, 12);
  EXPECT_EQ(P.Host.Errors, static_cast<int>(Errors.size()));
  bool NoteNested = false;
  for (const auto& E : C->OfKind(ekMessage))
    if (E.Text.rfind("note:", 0) == 0 && E.ParentId == Errors[0].Id && E.File == P.Dir + "/include/f.h" && E.Line == 2)
      NoteNested = true;
  EXPECT_TRUE(NoteNested);
  // The failed compile is no reason for a second error of its own.
  for (const auto& E : Errors) EXPECT_EQ(E.Text.find("exited with code"), std::string::npos) << E.Text;
}

TEST(CppCompileTask, ACompilerThatCannotRunIsNamedWithTheShellsReason) {
  TCppProject P;
  P.Write("a.cpp", "int main() {}\n");
  P.Sources = {"a.cpp"};
  P.Project.Properties["Cpp_Compiler"] = "nxs-no-such-compiler";
  auto C = P.Build();
  EXPECT_FALSE(P.LastResult);
  auto Errors = C->OfKind(ekError);
  ASSERT_EQ(Errors.size(), 1u);
  // dash says "not found", bash "command not found".
  EXPECT_EQ(Errors[0].Text.rfind("nxs-no-such-compiler: ", 0), 0u) << Errors[0].Text;
  EXPECT_NE(Errors[0].Text.find("not found"), std::string::npos) << Errors[0].Text;
  EXPECT_EQ(Errors[0].Sender, "g++");
  EXPECT_EQ(P.Host.Errors, 1);

  P.Write("cc", "not a program\n");
  P.Project.Properties["Cpp_Compiler"] = P.Dir + "/cc";
  C = P.Build();
  Errors = C->OfKind(ekError);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].Text, P.Dir + "/cc: Permission denied");
}

TEST(CppCompileTask, SharedAndStaticLibraries) {
  TCppProject P;
  P.Write("lib.cpp", "int Answer() { return 42; }\n");
  P.Sources = {"lib.cpp"};
  P.Project.Properties["AppType"] = "Library";
  P.Project.Properties["OutputName"] = "answer";
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_TRUE(fs::exists(P.Dir + "/out/libanswer.so"));
  EXPECT_NE(test::ReadText(P.Dir + "/out/obj/build.ninja").find("-fPIC"), std::string::npos);

  P.Project.Properties["AppType"] = "StaticLibrary";
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_TRUE(fs::exists(P.Dir + "/out/libanswer.a"));
  EXPECT_NE(test::ProgramOutput({"nm", P.Dir + "/out/libanswer.a"}).find("Answer"), std::string::npos);
}

// The switches a user writes pass whole through the ninja file and the shell: words in
// quotes, quotes of the other kind inside them, apostrophes and dollars, in the extra options,
// the defines and the names of files. A relative path in the extra options is the project's,
// as it is for a check. A library named "lib..." is not named "liblib...".
TEST(CppCompileTask, SwitchesAndNamesWithQuotesApostrophesAndDollarsReachTheCompilerWhole) {
  TCppProject P;
  P.Write("odd 'name' $1.h", "#define ODD 3\n");
  P.Write("it's $5.cpp", "int Other() { return 7; }\n");
  P.Write("main.cpp",
          "#include <cstdio>\nint Other();\n"
          "#ifdef __OPTIMIZE_SIZE__\nconst char* Size = \"small\";\n#else\nconst char* Size = \"fast\";\n#endif\n"
          "int main() { std::printf(\"%d|%s|%c|%s|%c|%d|%s\\n\", TWO_WORDS, MSG, CH, PRICE, QUOTE, ODD + Other(), Size); }\n");
  P.Sources = {"main.cpp", "it's $5.cpp"};
  P.Project.Properties["ExtraOptions"] = R"(-DTWO_WORDS="2 + 3"  '-DMSG="it is"' "-DCH='x'" -include "odd 'name' $1.h")";
  P.Project.Properties["Defines"] = "PRICE=\"$5\"; QUOTE='q'";
  P.Project.Properties["Optimize"] = "true";
  P.Project.Properties["Cpp_OptimizationLevel"] = "s";
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "5|it is|x|$5|q|10|small\n");

  P.Write("lib.cpp", "int Answer() { return 42; }\n");
  P.Sources = {"lib.cpp"};
  P.Project.Properties = {{"OutputDir", "out"}, {"AppType", "Library"}, {"OutputName", "libanswer"}};
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_TRUE(fs::exists(P.Dir + "/out/libanswer.so"));
}

// A source outside the project's folder compiles to an object below the intermediate folder,
// never beside the source or among the outputs.
TEST(CppCompileTask, ObjectsOfSourcesOutsideTheProjectStayInTheIntermediateFolder) {
  TCppProject P;
  test::WriteText(P.Root / "shared.cpp", "int Shared() { return 4; }\n");
  P.Write("main.cpp", "#include <cstdio>\nint Shared();\nint main() { std::printf(\"%d\\n\", Shared()); }\n");
  P.Sources = {"main.cpp", "../shared.cpp"};
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "4\n");
  std::vector<std::string> Made;
  for (const auto& E : fs::directory_iterator(P.Dir + "/out")) Made.push_back(E.path().filename());
  std::sort(Made.begin(), Made.end());
  EXPECT_EQ(Made, (std::vector<std::string>{"demo", "obj"}));
}

// A source or header saved in the clock tick in which the last make wrote the object has the
// object's time to the nanosecond: the next make compiles it all the same.
TEST(CppCompileTask, AnEditSavedInTheTickTheObjectWasWrittenIsCompiled) {
  TCppProject P;
  P.Write("include/word.h", "#define WORD \"one\"\n");
  P.Write("main.cpp", "#include <cstdio>\n#include \"word.h\"\nint main() { std::puts(WORD); }\n");
  P.Sources = {"main.cpp"};
  P.Build();
  ASSERT_TRUE(P.LastResult);
  const std::string Object = P.Dir + "/out/obj/main.cpp.o";
  auto SavedInTheSameTick = [&](const std::string& Rel, const std::string& Text) {
    P.Write(Rel, Text);
    fs::last_write_time(P.Dir + "/" + Rel, fs::last_write_time(Object));
  };
  SavedInTheSameTick("main.cpp", "#include <cstdio>\n#include \"word.h\"\nint main() { std::puts(WORD \"!\"); }\n");
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "one!\n");
  SavedInTheSameTick("include/word.h", "#define WORD \"two\"\n");
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "two!\n");
}

// A linker warning beside the linker's errors stays a warning, and each is counted as what it
// is.
TEST(CppCompileTask, ALinkerWarningBesideLinkerErrorsIsAWarning) {
  TCppProject P;
  P.Write("old.cpp", "extern \"C\" int old_api() { return 1; }\n"
                     "__attribute__((used, section(\".gnu.warning.old_api\")))\n"
                     "static const char Warn[] = \"old_api is going away\";\n");
  P.Write("main.cpp", "extern \"C\" int old_api();\nint missing();\nint main() { return old_api() + missing(); }\n");
  P.Sources = {"main.cpp", "old.cpp"};
  auto C = P.Build();
  EXPECT_FALSE(P.LastResult);
  auto Warnings = C->OfKind(ekWarning);
  ASSERT_EQ(Warnings.size(), 1u);
  EXPECT_NE(Warnings[0].Text.find("old_api is going away"), std::string::npos) << Warnings[0].Text;
  EXPECT_EQ(P.Host.Warnings, 1);
  EXPECT_TRUE(C->Logged("undefined reference to `missing()'"));
  for (const auto& E : C->OfKind(ekError)) EXPECT_EQ(E.Text.find("old_api"), std::string::npos) << E.Text;
}

TEST(CppCompileTask, ALinkCutShortLeavesTheLastProgramWhole) {
  TCppProject P;
  P.Write("main.cpp", "#include <cstdio>\nint main() { std::puts(\"one\"); }\n");
  P.Sources = {"main.cpp"};
  // A compiler driver whose link, while the file "cut" exists, writes part of the program
  // and is killed.
  const std::string Cut = P.Root / "cut";
  test::WriteScript(P.Dir + "/cutcc", "case \" $* \" in *\" -c \"*) exec g++ \"$@\";; esac\n"
                                      "if [ -e '" + Cut + "' ]; then\n  while [ \"$1\" != -o ]; do shift; done\n"
                                      "  printf partial > \"$2\"\n  kill -KILL $$\nfi\nexec g++ \"$@\"\n");
  P.Project.Properties["Cpp_Compiler"] = P.Dir + "/cutcc";
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "one\n");

  ASSERT_TRUE(test::WaitForFileClockTick(P.Dir));
  P.Write("main.cpp", "#include <cstdio>\nint main() { std::puts(\"two\"); }\n");
  test::WriteText(Cut, "");
  P.Build();
  EXPECT_FALSE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "one\n");

  fs::remove(Cut);
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "two\n");
}

TEST(CppCompileTask, CompilesTheEditorsUnsavedTextWithoutTouchingTheDisk) {
  TCppProject P;
  P.Write("src dir/value.h", "#pragma once\n#define VALUE 1\n");
  P.Write("src dir/main.cpp", "#include <cstdio>\n#include \"value.h\"\nint main() { std::printf(\"%d\\n\", VALUE); }\n");
  P.Sources = {"src dir/main.cpp"};
  P.Host.Unsaved[P.Dir + "/src dir/value.h"] = "#pragma once\n#define VALUE 2\n";
  P.Host.Unsaved[P.Dir + "/src dir/main.cpp"] =
      "#include <cstdio>\n#include \"value.h\"\nint main() { std::printf(\"unsaved %d\\n\", VALUE); }\n";
  auto C = P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "unsaved 2\n");
  EXPECT_EQ(test::ReadText(P.Dir + "/src dir/value.h"), "#pragma once\n#define VALUE 1\n");
  EXPECT_EQ(P.Host.Temporaries.size(), 2u);
  EXPECT_EQ(P.Host.Deleted, P.Host.Temporaries);
  for (const auto& E : fs::directory_iterator(P.Dir + "/out/obj"))
    EXPECT_EQ(E.path().filename().string().rfind("unsaved-", 0), std::string::npos);

  // An error in the unsaved header names the real header.
  P.Host.Unsaved[P.Dir + "/src dir/value.h"] = "#pragma once\n#define VALUE 2 +\n";
  C = P.Build();
  EXPECT_FALSE(P.LastResult);
  auto Errors = C->OfKind(ekError);
  ASSERT_FALSE(Errors.empty());
  EXPECT_EQ(Errors[0].File, P.Dir + "/src dir/main.cpp");
  bool Mapped = true;
  for (const auto& E : C->Events) Mapped &= E.File.find("unsaved-") == std::string::npos;
  EXPECT_TRUE(Mapped);

  // Saved again: the disk's text is compiled, not what the unsaved compile left behind.
  P.Host.Unsaved.clear();
  C = P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/out/demo"}), "1\n");
}

TEST(CppCompileTask, CancellingKillsTheCompiler) {
  TCppProject P;
  // A compiler that announces itself and then takes its time.
  test::WriteSlowTool(P.Dir + "/slowcc", P.Root / "pid", "");
  P.Write("a.cpp", "int main() {}\n");
  P.Sources = {"a.cpp"};
  P.Project.Properties["Cpp_Compiler"] = P.Dir + "/slowcc";
  std::thread Canceller;
  auto Start = std::chrono::steady_clock::now();
  auto C = P.Build(false, [&](test::TFakeContext& Context) {
    // The build is cancelled once the compiler runs.
    Canceller = std::thread([&P, &Context] {
      test::WaitUntil([&P] { return !test::ReadText(P.Root / "pid").empty(); });
      Context.Cancel = true;
    });
  });
  Canceller.join();
  EXPECT_FALSE(P.LastResult);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(10));
  EXPECT_TRUE(test::ProcessGone(P.Root / "pid"));
  EXPECT_TRUE(C->Logged("The compile was cancelled."));
}

}  // namespace
}  // namespace nxs::compilers
