#include "debugger/debugscript.h"

#include <gtest/gtest.h>

#include "debugtest.h"
#include "support/errorof.h"

namespace nxs::test {
namespace {

class DebugScriptTest : public DebuggerTest {
 protected:
  void SetUp() override {
    DebuggerTest::SetUp();
    Kernel = AddKernel();
    Script = std::make_unique<TDebugScript>(*Mgr, [this](const std::string& L) { Out.push_back(L); }, Dir.Path());
  }
  void TearDown() override {
    Script.reset();
    DebuggerTest::TearDown();
  }
  // Starts the program and runs the script's lines; returns what they wrote.
  std::vector<std::string> RunProgram(const std::string& ProgramText, const std::string& Lines) {
    Mgr->LoadProcess({Program(ProgramText), "", "", {}, true});
    Script->RunScript(Lines);
    return Out;
  }

  std::shared_ptr<TFakeKernel> Kernel;
  std::unique_ptr<TDebugScript> Script;
  std::vector<std::string> Out;
};

// A loop of five passes over a.c:3, calling b.c:10..11 from a.c:2.
const char* Loop =
    "a.c:1\n"
    "a.c:2 i=1\n  b.c:10 n=1\n  b.c:11 n=1\na.c:3 i=1\n"
    "a.c:2 i=2\n  b.c:10 n=2\n  b.c:11 n=2\na.c:3 i=2\n"
    "a.c:2 i=3\n  b.c:10 n=3\n  b.c:11 n=3\na.c:3 i=3\n"
    "print done\n"
    "exit 4\n";

TEST_F(DebugScriptTest, StopsStepsAndAnswersArePrintedOnePerLine) {
  const std::string A = Dir.Path() + "/a.c";
  const std::string B = Dir.Path() + "/b.c";
  auto Got = RunProgram(Loop,
                        "Break a.c:2\n"
                        "Run\nWait\n"
                        "StepInto\nWait\nLocals\nEval n\nEval zz\nStack\n"
                        "StepOut\nWait\n"
                        "StepOver\nWait\nThreads\n"
                        "Toggle a.c:2\nRunToCursor a.c:3\nWait\n"
                        "Run\nWait\nLog\n");
  EXPECT_EQ(Got, (std::vector<std::string>{
                     "stopped a.c:2 breakpoint",
                     "stopped b.c:10 step",
                     "n = 1",
                     "n = 1",
                     "zz: No symbol \"zz\" in current context.",
                     "#0 depth1 b.c:10",
                     "#1 depth0 a.c:2",
                     "stopped a.c:3 step",
                     "stopped a.c:2 breakpoint",
                     "* 1 main stopped",
                     "stopped a.c:3 cursor",
                     "ended 4",
                     "done",
                 }));
  EXPECT_EQ(Mgr->Breakpoints().Find(A, 2), -1) << "the toggle took it away";
  (void)B;
}

TEST_F(DebugScriptTest, ConditionsPassCountsLogsAndGroupActionsDecideTheStops) {
  // A condition stops only when it holds; a pass count of 2 stops on the second hit.
  auto Got = RunProgram(Loop,
                        "Break a.c:3 condition=i==2\n"
                        "Break b.c:11 pass=2\n"
                        "Run\nWait\nEval n\nRun\nWait\nEval i\nRun\nWait\n");
  EXPECT_EQ(Got, (std::vector<std::string>{"stopped b.c:11 breakpoint", "n = 2", "stopped a.c:3 breakpoint", "i = 2",
                                           "ended 4"}));
  Out.clear();
  Mgr->Breakpoints().Clear();

  // A log message with nobreak logs every hit and never stops; a breakpoint whose action
  // disables a group keeps the group's breakpoints from stopping, until one enables it.
  Mgr->ClearLog();
  Got = RunProgram(Loop,
                   "Break a.c:1 nobreak disablegroup=loop\n"
                   "Break a.c:3 group=loop\n"
                   "Break b.c:11 condition=n==3 nobreak enablegroup=loop\n"
                   "Run\nWait\nEval i\nRun\nWait\n");
  EXPECT_EQ(Got, (std::vector<std::string>{"stopped a.c:3 breakpoint", "i = 3", "ended 4"}));
  Out.clear();
  Mgr->Breakpoints().Clear();
  Mgr->ClearLog();
  Got = RunProgram(Loop,
                   "Break b.c:10 log=called nobreak\n"
                   "Break a.c:1 nobreak group=first\n"
                   "Break a.c:3 group=loop\n"
                   "DisableGroup loop\n"
                   "Run\nWait\nLog\n");
  EXPECT_EQ(Got, (std::vector<std::string>{"ended 4", "called", "called", "called", "done"}));
}

TEST_F(DebugScriptTest, AFaultStopsAtItsSourceLine) {
  auto Got = RunProgram("a.c:1\na.c:7 p=0\nfault SIGSEGV\na.c:8\n", "Run\nWait\nStack\nRun\nWait\n");
  EXPECT_EQ(Got, (std::vector<std::string>{"stopped a.c:7 fault", "#0 depth0 a.c:7", "ended 0"}));
}

TEST_F(DebugScriptTest, BreakpointsListTheirHintsAndBadCommandsSayWhatIsWrong) {
  Script->RunScript("Break a.c:5 condition=s == 'x' pass=3 group=g log=here eval=s\nToggle b.c:1\n"
                    "Break d.c:2 nobreak ignoreexceptions\nBreak d.c:3 condition=i handleexceptions\n");
  Script->AddBreakpointText("c.c:9:i > 2 && j:k");
  Script->Execute("Breakpoints");
  const std::string D = Dir.Path();
  EXPECT_EQ(Out, (std::vector<std::string>{
                     D + "/a.c:5 enabled | Condition: s == 'x' | Action: Break, Log Message 'here', Log Expression 's' "
                         "| Group: g | Pass Count: 0 of 3",
                     D + "/b.c:1 enabled | Action: Break | Pass Count: 0",
                     D + "/d.c:2 enabled | Action: Ignore Subsequent Exceptions | Pass Count: 0",
                     D + "/d.c:3 enabled | Condition: i | Action: Break, Handle Subsequent Exceptions | Pass Count: 0",
                     D + "/c.c:9 enabled | Condition: i > 2 && j:k | Action: Break | Pass Count: 0",
                 }));

  EXPECT_EQ(ErrorOf([&] { Script->RunScript("Toggle a.c:1\nJump a.c:2\n"); }), "Line 2: Unknown debug command: Jump");
  EXPECT_EQ(ErrorOf([&] { Script->Execute("Toggle a.c"); }), "Not a location (FILE:LINE): a.c");
  EXPECT_EQ(ErrorOf([&] { Script->Execute("Toggle a.c:0"); }), "Not a location (FILE:LINE): a.c:0");
  EXPECT_EQ(ErrorOf([&] { Script->Execute("Break a.c:1 pass=x"); }), "Not a breakpoint option: pass=x");
  EXPECT_EQ(ErrorOf([&] { Script->Execute("Break a.c:1 stop"); }), "Not a breakpoint option: stop");
  EXPECT_EQ(ErrorOf([&] { Script->Execute("Eval i"); }), "No process is being debugged");
  EXPECT_EQ(ErrorOf([&] { Script->Execute("Wait x"); }), "Wait needs a number of seconds");
}

TEST_F(DebugScriptTest, FinishLeavesNoProcessBehind) {
  RunProgram(Loop, "Run\nWait\n");
  Out.clear();
  Mgr->LoadProcess({Program(Loop), "", "", {}, true});
  EXPECT_EQ(Mgr->GetProcessCount(), 1);
  Script->Finish();
  EXPECT_EQ(Mgr->GetProcessCount(), 0);
  EXPECT_EQ(Out, (std::vector<std::string>{"ended -1"}));
}

}  // namespace
}  // namespace nxs::test
