// The Exec task: exit codes and how they fail a build, output captured and parsed, the
// working directory, and a cancel that stops the command.
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "build/engine/process.h"
#include "support/taskfakes.h"
#include "support/tempdir.h"
#include "support/wait.h"

namespace nxs::engine {
namespace {

struct TExecRun {
  nxs::test::TTempDir Dir;
  nxs::test::TFakeProject Project{Dir / "p.vproj"};
  nxs::test::TFakeHost Host{Dir.Path()};
  nxs::test::TFakeContext Context{"Exec", Project, &Host};
  bool Run(const std::string& Command) {
    RegisterExecTask();
    TTaskFunction Exec;
    EXPECT_TRUE(FindTask("Exec", Exec));
    Context.Set("Command", Command);
    return Exec(Context);
  }
};

TEST(ExecTask, ExitCodesFailTheTaskWithOneErrorUnlessIgnored) {
  TExecRun R;
  EXPECT_FALSE(R.Run("echo hello; exit 4"));
  EXPECT_EQ(R.Context.TextOutputs["ExitCode"], "4");
  auto Errors = R.Context.OfKind(ekError);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].Text, "The command \"echo hello; exit 4\" exited with code 4.");
  EXPECT_EQ(R.Host.Errors, 1);
  EXPECT_TRUE(R.Context.Logged("hello"));

  TExecRun Ignored;
  Ignored.Context.Set("IgnoreExitCode", "true");
  EXPECT_TRUE(Ignored.Run("exit 2"));
  EXPECT_EQ(Ignored.Context.TextOutputs["ExitCode"], "2");
  EXPECT_TRUE(Ignored.Context.OfKind(ekError).empty());
}

TEST(ExecTask, DiagnosticsInTheOutputAreErrorsAndWarningsWithoutASecondError) {
  TExecRun R;
  R.Context.Set("ConsoleToMSBuild", "true");
  R.Context.Set("EchoOff", "true");
  EXPECT_FALSE(R.Run("echo 'src/a.c:3:4: warning: careful'; echo 'src/a.c:5:1: error: broken' >&2; echo done; exit 1"));
  auto Errors = R.Context.OfKind(ekError);
  ASSERT_EQ(Errors.size(), 1u);  // the tool's error stands for the exit code
  EXPECT_EQ(Errors[0].File, R.Dir / "src/a.c");
  EXPECT_EQ(Errors[0].Line, 5);
  EXPECT_EQ(Errors[0].Column, 1);
  EXPECT_EQ(R.Context.OfKind(ekWarning).size(), 1u);
  EXPECT_EQ(R.Host.Errors, 1);  // counted through the host object
  EXPECT_EQ(R.Host.Warnings, 1);
  auto& Console = R.Context.ItemOutputs["ConsoleOutput"];
  ASSERT_EQ(Console.size(), 3u);
  EXPECT_EQ(Console[2].ItemSpec, "done");
  EXPECT_FALSE(R.Context.Logged("echo"));  // the command itself is not echoed

  // An error line fails the task even when the command exits with 0.
  TExecRun Zero;
  EXPECT_FALSE(Zero.Run("echo 'x.c:1:1: error: no'"));
  EXPECT_EQ(Zero.Context.OfKind(ekError).size(), 1u);
}

TEST(ExecTask, WorkingDirectoryIsRelativeToTheProject) {
  TExecRun R;
  std::filesystem::create_directory(R.Dir / "sub dir");
  R.Context.Set("WorkingDirectory", "sub dir");
  R.Context.Set("ConsoleToMSBuild", "true");
  EXPECT_TRUE(R.Run("pwd"));
  EXPECT_EQ(R.Context.ItemOutputs["ConsoleOutput"].at(0).ItemSpec, R.Dir / "sub dir");

  TExecRun Missing;
  Missing.Context.Set("WorkingDirectory", "nowhere");
  EXPECT_FALSE(Missing.Run("true"));
  ASSERT_EQ(Missing.Context.OfKind(ekError).size(), 1u);
  EXPECT_EQ(Missing.Context.OfKind(ekError)[0].Text,
            "The working directory \"" + (Missing.Dir / "nowhere") + "\" does not exist.");
}

// A cancelled command stops; what it printed before stays, with a line that says it was
// cancelled, and no error of its own (the cancelled build says why it failed).
TEST(ExecTask, ACancelledBuildStopsTheCommandAndKeepsWhatItSaid) {
  TExecRun R;
  R.Context.Set("EchoOff", "true");
  const std::string Ready = R.Dir / "ready";
  std::thread Canceller([&] {
    nxs::test::WaitUntil([&] { return std::filesystem::exists(Ready); });
    R.Context.Cancel = true;
  });
  const std::string Command = "echo \"a.c: In function 'int main()':\"; echo started; touch ready; sleep 30";
  auto Start = std::chrono::steady_clock::now();
  EXPECT_FALSE(R.Run(Command));
  Canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(10));
  EXPECT_EQ(R.Context.TextOutputs["ExitCode"], "-1");
  std::vector<std::string> Said;
  for (const auto& E : R.Context.OfKind(ekMessage)) Said.push_back(E.Text);
  // The context line was held for an error that never came.
  EXPECT_EQ(Said, (std::vector<std::string>{"started", "a.c: In function 'int main()'",
                                            "The command \"" + Command + "\" was cancelled."}));
  EXPECT_TRUE(R.Context.Logged("The command \"" + Command + "\" was cancelled."));
  EXPECT_TRUE(R.Context.OfKind(ekError).empty());
  EXPECT_EQ(R.Host.Errors, 0);
}

}  // namespace
}  // namespace nxs::engine
