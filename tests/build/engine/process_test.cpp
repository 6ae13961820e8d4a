// Running tools: merged output line by line, directories and environment, exit codes, and a
// cancel that takes the whole process group down without leaving a zombie.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "build/engine/tasks.h"
#include "support/files.h"
#include "support/tempdir.h"
#include "support/wait.h"

namespace nxs::engine {
namespace {

std::vector<std::string> RunScript(const std::string& Script, int& Code, const std::string& Dir = {},
                             std::vector<std::pair<std::string, std::string>> Env = {}) {
  std::vector<std::string> Lines;
  TProcessOptions O;
  O.Argv = {"/bin/sh", "-c", Script};
  O.WorkingDirectory = Dir;
  O.Environment = std::move(Env);
  O.OnLine = [&](const std::string& L) { Lines.push_back(L); };
  Code = RunProcess(O);
  return Lines;
}

bool Alive(pid_t Pid) { return kill(Pid, 0) == 0; }

TEST(RunProcess, MergesOutputLineByLineAndGivesTheExitCode) {
  int Code;
  auto Lines = RunScript("echo one; echo two >&2; printf 'three\\r\\nlast without end'; exit 3", Code);
  EXPECT_EQ(Code, 3);
  EXPECT_EQ(Lines, (std::vector<std::string>{"one", "two", "three", "last without end"}));

  Lines = RunScript("kill -TERM $$", Code);
  EXPECT_EQ(Code, 128 + SIGTERM);
}

// Lines as wide as a message line may be arrive whole, across many reads of the pipe; a wider
// one is cut at that width, marked with how much was left out (its CR LF not counted), and a
// character the width would split goes whole; the next line is not disturbed.
TEST(RunProcess, LinesWiderThanTheMessageWidthAreCutAndMarked) {
  auto Xs = [](size_t N) { return "head -c " + std::to_string(N) + " /dev/zero | tr '\\0' x; "; };
  int Code;
  auto Lines = RunScript(Xs(MaxToolLineBytes) + "printf '\\r\\n'; " + Xs(300000) + "printf '\\r\\nafter\\n'; " +
                             Xs(MaxToolLineBytes - 1) + "printf '\\303\\251tail\\r\\n'; " + Xs(MaxToolLineBytes) +
                             "printf 'ab'",
                         Code);
  ASSERT_EQ(Lines.size(), 5u);
  const std::string Full(MaxToolLineBytes, 'x');
  EXPECT_EQ(Full, Lines[0]);
  EXPECT_EQ(Full + " [... 234464 more bytes of this line not shown]", Lines[1]);
  EXPECT_EQ("after", Lines[2]);
  EXPECT_EQ(Full.substr(1) + " [... 6 more bytes of this line not shown]", Lines[3]);
  EXPECT_EQ(Full + " [... 2 more bytes of this line not shown]", Lines[4]);
}

TEST(RunProcess, RunsInItsDirectoryWithTheAddedEnvironment) {
  nxs::test::TTempDir Dir;
  nxs::test::WriteText(Dir / "a file", "");
  int Code;
  setenv("NXS_PROCESS_TEST_KEPT", "kept", 1);
  setenv("NXS_PROCESS_TEST_REPLACED", "old", 1);
  auto Lines = RunScript("pwd; ls; echo $NXS_PROCESS_TEST_KEPT $NXS_PROCESS_TEST_REPLACED $NXS_PROCESS_TEST_NEW", Code,
                   Dir.Path(), {{"NXS_PROCESS_TEST_REPLACED", "new"}, {"NXS_PROCESS_TEST_NEW", "added"}});
  EXPECT_EQ(Code, 0);
  EXPECT_EQ(Lines, (std::vector<std::string>{Dir.Path(), "a file", "kept new added"}));

  // A directory that is not there, a program that is not there: not started.
  Lines = RunScript("echo never", Code, Dir / "missing");
  EXPECT_EQ(Code, -1);
  EXPECT_TRUE(Lines.empty());
  TProcessOptions O;
  O.Argv = {"/nonexistent/tool"};
  EXPECT_EQ(RunProcess(O), -1);
  // The program is looked up on the PATH the child is given.
  O.Argv = {"true"};
  O.Environment = {{"PATH", "/nonexistent"}};
  EXPECT_EQ(RunProcess(O), -1);
}

TEST(RunProcess, CancelKillsTheWholeGroupPromptlyAndReapsTheChild) {
  nxs::test::TTempDir Dir;
  std::atomic<bool> Cancel{false};
  std::vector<std::string> Lines;
  TProcessOptions O;
  // A grandchild that ignores SIGTERM: only the group kill ends it.
  O.Argv = {"/bin/sh", "-c", "echo $$; (trap '' TERM; sleep 30) & echo $!; wait"};
  O.Cancel = &Cancel;
  O.OnLine = [&](const std::string& L) {
    Lines.push_back(L);
    if (Lines.size() == 2) Cancel = true;
  };
  auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProcess(O), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
  ASSERT_EQ(Lines.size(), 2u);
  pid_t Shell = std::stoi(Lines[0]), Sleeper = std::stoi(Lines[1]);
  // The shell was our child and is reaped: no such process any more (not even a zombie).
  EXPECT_EQ(waitpid(Shell, nullptr, WNOHANG), -1);
  EXPECT_FALSE(Alive(Shell));
  // The grandchild was reparented and gets reaped by init; give it a moment.
  EXPECT_TRUE(nxs::test::WaitUntil([&] { return !Alive(Sleeper); }));

  // Set before the start: nothing runs.
  Lines.clear();
  O.Argv = {"/bin/sh", "-c", "echo ran"};
  EXPECT_EQ(RunProcess(O), -1);
  EXPECT_TRUE(Lines.empty());
}

TEST(RunProcess, ABackgroundProcessHoldingTheOutputDoesNotHoldTheCaller) {
  int Code;
  auto Start = std::chrono::steady_clock::now();
  auto Lines = RunScript("sleep 5 & echo started", Code);
  EXPECT_EQ(Code, 0);
  EXPECT_EQ(Lines, std::vector<std::string>{"started"});
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(3));

  // And a child that closed its output is still cancellable.
  nxs::test::TTempDir Dir;
  const std::string Closed = Dir / "closed";
  std::atomic<bool> Cancel{false};
  TProcessOptions O;
  O.Argv = {"/bin/sh", "-c", "exec >/dev/null 2>&1; touch '" + Closed + "'; sleep 30"};
  O.Cancel = &Cancel;
  std::thread Canceller([&] {
    nxs::test::WaitUntil([&] { return std::filesystem::exists(Closed); });
    Cancel = true;
  });
  Start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProcess(O), -1);
  Canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace nxs::engine
