// The Pascal compile task with the real fpc: a program with a unit and switches from the
// options, errors with their place, unsaved editor text, clean, and a cancelled compile.
#include <signal.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "build/compilers/compilers.h"
#include "support/taskfakes.h"
#include "support/tempdir.h"

namespace nxs::compilers {
namespace {

namespace fs = std::filesystem;
using engine::ekError;

struct TPascalProject {
  test::TTempDir Root;
  std::string Dir;
  test::TFakeProject Project{Dir + "/hello.vproj"};
  test::TFakeHost Host{Root.Path()};
  std::vector<std::string> Units{"src/greeting.pas"};
  bool LastResult = false;

  explicit TPascalProject(const std::string& Folder = "pascal project") : Dir(Root / Folder) {
    fs::create_directories(Dir + "/src");
    Write("hello.vpr",
          "program hello;\nuses greeting;\nbegin\n  WriteLn(Greet('world'));\n{$IFDEF EXTRA}\n  WriteLn('extra');\n{$ENDIF}\nend.\n");
    Write("src/greeting.pas",
          "unit greeting;\ninterface\nfunction Greet(const S: string): string;\nimplementation\n"
          "function Greet(const S: string): string;\nbegin\n  Result := 'Hello, ' + S;\nend;\nend.\n");
    Project.Properties["OutputDir"] = "bin";
    Project.Properties["IntermediateDir"] = "bin/units";
  }
  void Write(const std::string& Rel, const std::string& Text) { test::WriteText(Dir + "/" + Rel, Text); }
  std::unique_ptr<test::TFakeContext> Build(bool Clean = false) {
    RegisterCompilerTasks();
    engine::TTaskFunction Task;
    EXPECT_TRUE(engine::FindTask("PascalCompiler", Task));
    auto C = std::make_unique<test::TFakeContext>("PascalCompiler", Project, &Host);
    C->SetItems("Sources", {"hello.vpr"});
    C->SetItems("Units", Units);
    if (Clean) C->Set("Clean", "true");
    LastResult = Task(*C);
    return C;
  }
};

TEST(PascalCompileTask, CompilesAProgramWithItsUnitsAndCleansWhatItMade) {
  TPascalProject P;
  P.Project.Properties["Defines"] = "EXTRA;OTHER";
  auto C = P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/bin/hello"}), "Hello, world\nextra\n");
  EXPECT_TRUE(fs::exists(P.Dir + "/bin/units/greeting.ppu"));
  ASSERT_EQ(P.Host.CommandLines.size(), 1u);
  EXPECT_NE(P.Host.CommandLines[0].find("-dEXTRA -dOTHER"), std::string::npos);
  EXPECT_NE(P.Host.CommandLines[0].find("'-FU" + P.Dir + "/bin/units'"), std::string::npos);
  bool Compiling = false;
  for (const auto& [Kind, File] : P.Host.Progress) Compiling |= Kind == progCompiling && File == P.Dir + "/src/greeting.pas";
  EXPECT_TRUE(Compiling);

  // Something the user put into the output directory stays.
  P.Write("bin/readme.txt", "mine");
  C = P.Build(true);
  EXPECT_TRUE(P.LastResult);
  EXPECT_FALSE(fs::exists(P.Dir + "/bin/hello"));
  EXPECT_FALSE(fs::exists(P.Dir + "/bin/units"));
  EXPECT_TRUE(fs::exists(P.Dir + "/bin/readme.txt"));
  EXPECT_TRUE(fs::exists(P.Dir + "/hello.vpr"));
  EXPECT_TRUE(fs::exists(P.Dir + "/src/greeting.pas"));
}

TEST(PascalCompileTask, ALinkCutShortLeavesTheLastProgramWholeAndTheNextMakeLinksAgain) {
  TPascalProject P;
  // fpc takes its linker (ld.bfd, in the folder where it finds ld) from -FD: one that, while
  // the file "cut" exists, writes part of the program and kills the compiler.
  const std::string Cut = P.Root / "cut";
  fs::create_directories(P.Root / "tools");
  test::WriteScript(P.Root / "tools/ld.bfd", "if [ -e '" + Cut + "' ]; then\n  while [ \"$1\" != -o ]; do shift; done\n"
                                             "  printf partial > \"$2\"\n  kill -KILL $PPID\n  exit 1\nfi\n"
                                             "exec /usr/bin/ld.bfd \"$@\"\n");
  fs::copy_file(P.Root / "tools/ld.bfd", P.Root / "tools/ld");  // what fpc looks for first
  P.Project.Properties["ExtraOptions"] = "-FD" + P.Root / "tools";
  P.Write("hello.vproj", "<Project/>\n");  // make asks whether it is older than the program
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/bin/hello"}), "Hello, world\n");

  // Cut short with new switches: the last program stays; the next make compiles with the
  // switches although the sources are older than the program.
  P.Project.Properties["Defines"] = "EXTRA";
  test::WriteText(Cut, "");
  P.Build();
  EXPECT_FALSE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/bin/hello"}), "Hello, world\n");

  fs::remove(Cut);
  auto C = P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/bin/hello"}), "Hello, world\nextra\n");
  for (const auto& E : fs::directory_iterator(P.Dir + "/bin")) EXPECT_NE(E.path().extension(), ".link");
}

TEST(PascalCompileTask, CleanDeletesWhatTheCompileWroteAndNotWhatTheUserSavedMeanwhile) {
  TPascalProject P;
  // The output goes to the project's folder, where the user saves while fpc runs.
  P.Project.Properties.erase("OutputDir");
  P.Project.Properties.erase("IntermediateDir");
  test::WriteScript(P.Dir + "/savingpc", "echo 'my notes' > notes.txt\ntouch hello.vpr src/greeting.pas\nexec fpc \"$@\"\n");
  P.Project.Properties["Pascal_Compiler"] = P.Dir + "/savingpc";
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/hello"}), "Hello, world\n");
  // A list of outputs as an earlier version wrote it, with a source in it.
  test::WriteText(P.Dir + "/obj/hello.outputs",
                  test::ReadText(P.Dir + "/obj/hello.outputs") + P.Dir + "/src/greeting.pas\n");

  P.Build(true);
  EXPECT_TRUE(P.LastResult);
  EXPECT_FALSE(fs::exists(P.Dir + "/hello"));
  EXPECT_FALSE(fs::exists(P.Dir + "/obj"));
  EXPECT_EQ(test::ReadText(P.Dir + "/notes.txt"), "my notes\n");
  EXPECT_TRUE(fs::exists(P.Dir + "/hello.vpr"));
  EXPECT_TRUE(fs::exists(P.Dir + "/src/greeting.pas"));
  EXPECT_TRUE(fs::exists(P.Dir + "/savingpc"));
}

TEST(PascalCompileTask, AFolderWithASemicolonInItsNameIsPassedWhole) {
  // fpc splits search paths at ";": below the project's folder they go relative to it.
  TPascalProject P("semi;colon project");
  auto C = P.Build();
  ASSERT_TRUE(P.LastResult) << (C->OfKind(ekError).empty() ? "" : C->OfKind(ekError)[0].Text);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/bin/hello"}), "Hello, world\n");
  EXPECT_TRUE(fs::exists(P.Dir + "/bin/units/greeting.ppu"));

  // A unit folder whose path from the project holds one too cannot be passed: the compile says
  // why instead of failing to find the unit.
  fs::create_directories(P.Root / "lib;more");
  fs::rename(P.Dir + "/src/greeting.pas", P.Root / "lib;more/greeting.pas");
  P.Units = {"../lib;more/greeting.pas"};
  C = P.Build();
  EXPECT_FALSE(P.LastResult);
  auto Errors = C->OfKind(ekError);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].Text, "fpc cannot be given \"" + P.Root / "lib;more" +
                                "\": it reads the \";\" in the name as a separator of paths.");
}

TEST(PascalCompileTask, ErrorsNameTheirFileLineAndColumnAndAreCounted) {
  TPascalProject P;
  P.Write("src/greeting.pas",
          "unit greeting;\ninterface\nfunction Greet(const S: string): string;\nimplementation\n"
          "function Greet(const S: string): string;\nbegin\n  Result := Undefined;\nend;\nend.\n");
  auto C = P.Build();
  EXPECT_FALSE(P.LastResult);
  auto Errors = C->OfKind(ekError);
  ASSERT_GE(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].File, P.Dir + "/src/greeting.pas");
  EXPECT_EQ(Errors[0].Line, 7);
  EXPECT_EQ(Errors[0].Column, 13);
  EXPECT_EQ(Errors[0].Code, "5000");
  EXPECT_EQ(P.Host.Errors, static_cast<int>(Errors.size()));
}

TEST(PascalCompileTask, CompilesTheEditorsUnsavedUnitAndLeavesTheDiskAlone) {
  TPascalProject P;
  const std::string Unit = P.Dir + "/src/greeting.pas";
  const std::string OnDisk = test::ReadText(Unit);
  P.Host.Unsaved[Unit] = "unit greeting;\ninterface\nfunction Greet(const S: string): string;\nimplementation\n"
                         "function Greet(const S: string): string;\nbegin\n  Result := 'Unsaved ' + S;\nend;\nend.\n";
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/bin/hello"}), "Unsaved world\n");
  EXPECT_EQ(test::ReadText(Unit), OnDisk);
  EXPECT_EQ(P.Host.Deleted, P.Host.Temporaries);

  // Saved (discarded): the next compile takes the disk's text again.
  P.Host.Unsaved.clear();
  P.Build();
  ASSERT_TRUE(P.LastResult);
  EXPECT_EQ(test::ProgramOutput({P.Dir + "/bin/hello"}), "Hello, world\n");
}

TEST(PascalCompileTask, ACancelAtAProgressReportKillsTheCompiler) {
  TPascalProject P;
  test::WriteSlowTool(P.Dir + "/slowpc", P.Root / "pid", "(3104) Compiling hello.vpr");
  P.Project.Properties["Pascal_Compiler"] = P.Dir + "/slowpc";
  P.Host.CancelOnProgress = true;
  auto Start = std::chrono::steady_clock::now();
  auto C = P.Build();
  EXPECT_FALSE(P.LastResult);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(10));
  EXPECT_TRUE(test::ProcessGone(P.Root / "pid"));
  EXPECT_TRUE(C->Logged("The compile was cancelled."));
}

}  // namespace
}  // namespace nxs::compilers
