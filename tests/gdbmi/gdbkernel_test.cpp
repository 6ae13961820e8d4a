// The gdb kernel behind the debugger manager, on programs compiled here: breakpoints with
// their conditions, passes and actions, steps, evaluation, faults, threads, libraries loaded
// late, and the faults a session must survive.
#include "gdbmi/gdbkernel.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "debugger/breakpoints.h"
#include "debugger/debugmgr.h"
#include "gdbtest.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "support/tempdir.h"
#include "support/wait.h"

namespace nxs::gdbmi {
namespace {

class GdbKernelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::Debuggee().empty()) GTEST_SKIP() << "g++ is missing";
    MainThreadQueue().SetMainThread();
    Store = std::make_unique<TSettingsStore>(Dir / "settings.ini");
    Mgr = std::make_unique<TDebuggerMgr>(*Store);
    Kernel = std::make_shared<TGdbKernel>(Options);
    Mgr->AddDebugger(Kernel);
  }
  void TearDown() override {
    if (Mgr) Mgr->ResetAll();
    Mgr.reset();
    while (MainThreadQueue().ProcessPending() > 0) {
    }
  }

  // A breakpoint at the line of Marker in the C++ test program.
  TBreakpointProps At(const std::string& Marker, const std::string& Source = "debuggee.cpp") {
    TBreakpointProps P;
    P.FileName = test::GdbTestData(Source);
    P.LineNumber = test::MarkerLine(Source, Marker);
    return P;
  }
  std::shared_ptr<TBreakpoint> Add(const TBreakpointProps& Props) {
    return Mgr->Breakpoints().GetBreakpoint(Mgr->Breakpoints().Add(Props));
  }

  void Load(const std::string& Args, std::string Program = {}) {
    TOTALoadParams Params;
    Params.ExeName = Program.empty() ? test::Debuggee() : Program;
    Params.Parameters = Args;
    ASSERT_TRUE(Mgr->LoadProcess(Params));
    Process = Mgr->GetCurrentProcess();
  }
  // Pumps the main thread until the process stopped or ended; its state then.
  TOTAProcessState WaitForStop() {
    const bool Settled = test::PumpUntil([&] {
      if (!Mgr->GetCurrentProcess()) return true;
      const TOTAProcessState S = Mgr->GetProcessState();
      return S != psRunning && S != psStepping && S != psStopping;
    });
    EXPECT_TRUE(Settled) << "the process neither stopped nor ended";
    return Mgr->GetCurrentProcess() ? Mgr->GetProcessState() : psTerminated;
  }
  // Where the current thread stands: "file:line" with the file's name only.
  std::string Location() {
    auto P = Mgr->GetCurrentProcess();
    auto T = P ? P->GetCurrentThread() : nullptr;
    if (!T) return "nowhere";
    const std::string File = T->GetCurrentFile();
    return File.substr(File.rfind('/') + 1) + ":" + std::to_string(T->GetCurrentLine());
  }
  std::string Line(const std::string& Marker, const std::string& Source = "debuggee.cpp") {
    return Source + ":" + std::to_string(test::MarkerLine(Source, Marker));
  }
  std::string Eval(const std::string& Expression) {
    const TOTAEvaluateResult R = Mgr->GetCurrentProcess()->GetCurrentThread()->Evaluate(Expression, 0, false);
    return R.Ok ? R.Value : "error: " + R.Error;
  }
  std::vector<std::string> LogLines(TOTALogItemType Kind) {
    std::vector<std::string> Lines;
    for (int I = 0; I < Mgr->GetLogCount(); ++I)
      if (Mgr->GetLogItem(I).LogItemType == Kind) Lines.push_back(Mgr->GetLogItem(I).LogItem);
    return Lines;
  }
  // Runs on until the process ends; its exit code.
  int RunToEnd() {
    std::weak_ptr<IOTAProcess> Watched = Process;
    Mgr->Run();
    EXPECT_TRUE(test::PumpUntil([&] { return Watched.expired() || Watched.lock()->GetState() == psTerminated; }));
    return ExitCode();
  }
  int ExitCode() { return Process ? Process->GetExitCode() : -99; }

  test::TTempDir Dir;
  TGdbOptions Options;
  std::unique_ptr<TSettingsStore> Store;
  std::unique_ptr<TDebuggerMgr> Mgr;
  std::shared_ptr<TGdbKernel> Kernel;
  std::shared_ptr<IOTAProcess> Process;
};

TEST_F(GdbKernelTest, ABreakpointStopsAndStepsEnterAndLeaveAFunctionWhoseLocalsAndArgumentsRead) {
  auto B = Add(At("loop"));
  Load("");
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("loop"));
  EXPECT_EQ(Process->GetStopReason(), srBreakpoint);
  EXPECT_EQ(Process->GetStopBreakpoint(), B);
  EXPECT_EQ(B->GetPlanting(), bpPlanted);
  EXPECT_EQ(B->GetVerifiedLine(), test::MarkerLine("debuggee.cpp", "loop"));

  Mgr->StepInto();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("square"));
  EXPECT_EQ(Process->GetStopReason(), srStep);
  EXPECT_EQ(Eval("N * 10"), "10");
  EXPECT_EQ(Eval("NoSuchName"), "error: No symbol \"NoSuchName\" in current context.");
  auto Thread = Process->GetCurrentThread();
  const auto Args = Thread->GetArguments(0);
  ASSERT_EQ(Args.size(), 1u);
  EXPECT_EQ(Args[0].Name, "N");
  EXPECT_EQ(Args[0].Value, "1");
  const auto Locals = Thread->GetLocals(0);
  ASSERT_EQ(Locals.size(), 1u);
  EXPECT_EQ(Locals[0].Name, "Result");
  const auto Frames = Thread->GetStackFrames(-1);
  ASSERT_EQ(Frames.size(), 2u);
  EXPECT_EQ(Frames[0].Function, "Square");
  EXPECT_EQ(Frames[1].Function, "main");
  EXPECT_EQ(Frames[1].LineNumber, test::MarkerLine("debuggee.cpp", "loop"));
  EXPECT_EQ(Thread->GetStackFrames(1).size(), 1u);

  Mgr->StepOut();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("loop"));
  Mgr->StepOver();  // over the rest of the loop, which is all one line
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("print"));
  EXPECT_EQ(Process->GetStopReason(), srStep);
  EXPECT_EQ(Eval("Total"), "30");
  // One instruction: still on the line, stopped by the step.
  Mgr->InstructionStepOver();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("print"));
  EXPECT_EQ(Process->GetStopReason(), srStep);

  Mgr->Breakpoints().Clear();
  EXPECT_EQ(RunToEnd(), 0);
  const auto Output = LogLines(litOutput);
  EXPECT_NE(std::find(Output.begin(), Output.end(), "total 30"), Output.end());
  EXPECT_FALSE(Mgr->GetCurrentProcess());
  EXPECT_EQ(Mgr->GetProcessState(), psNoProcess);
}

TEST_F(GdbKernelTest, PassCountsConditionsAndTheirChangesArePlantedInGdb) {
  TBreakpointProps Third = At("tick");
  Third.PassCount = 3;
  auto B = Add(Third);
  Load("hot 40");
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Eval("I"), "2") << "the third pass";
  EXPECT_EQ(B->GetCurPassCount(), 3);
  Mgr->Run();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Eval("I"), "5") << "three passes on";

  // Changed while the process lives: a condition replaces the passes.
  B->BeginUpdate();
  B->SetPassCount(0);
  B->SetExpression("I == 31");
  B->EndUpdate();
  Mgr->Run();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Eval("I"), "31");
  B->SetEnabled(false);
  EXPECT_EQ(RunToEnd(), (39 * 40 / 2) % 100);
}

TEST_F(GdbKernelTest, ActionsLogWithoutStoppingAndSwitchGroups) {
  // Each pass through the loop logs and evaluates, without a stop, and disables the group
  // whose breakpoint would stop in Square.
  TBreakpointProps Logger = At("loop");
  Logger.DoBreak = false;
  Logger.LogMessage = "looping";
  Logger.EvalExpression = "Total";
  Logger.DisableGroup = "inner";
  Logger.StackFramesToLog = 1;
  Add(Logger);
  TBreakpointProps Inner = At("square");
  Inner.GroupName = "inner";
  auto InnerB = Add(Inner);
  Load("");
  EXPECT_EQ(RunToEnd(), 0) << "nothing stopped";
  EXPECT_FALSE(InnerB->GetEnabled());
  const auto Lines = LogLines(litBreakpoint);
  ASSERT_GE(Lines.size(), 3u);
  EXPECT_EQ(Lines[0], "Breakpoint Message: looping Process debuggee (" + std::to_string(Process->GetProcessId()) + ")");
  EXPECT_EQ(Lines[1].substr(0, 29), "Breakpoint Expression: Total:");
  EXPECT_EQ(Lines[2], "  main " + test::GdbTestData("debuggee.cpp") + ":" +
                          std::to_string(test::MarkerLine("debuggee.cpp", "loop")));
}

TEST_F(GdbKernelTest, ANullDereferenceStopsWithAFaultAtItsLine) {
  Load("crash");
  ASSERT_EQ(WaitForStop(), psFault);
  EXPECT_EQ(Location(), Line("fault"));
  EXPECT_EQ(Process->GetStopReason(), srFault);
  EXPECT_EQ(Process->GetStopMessage(), "SIGSEGV, Segmentation fault");
  const pid_t Pid = static_cast<pid_t>(Process->GetProcessId());
  Mgr->Reset();
  EXPECT_EQ(Mgr->GetProcessState(), psNoProcess);
  EXPECT_EQ(Process->GetState(), psTerminated);
  EXPECT_EQ(Process->GetExitCode(), -1) << "a reset program gave no exit code";
  EXPECT_TRUE(test::WaitUntil([&] { return test::ProcessGone(Pid); }));
}

TEST_F(GdbKernelTest, AThrownExceptionStopsAtTheLineThatThrewItWithItsClass) {
  Load("throw");
  ASSERT_EQ(WaitForStop(), psException);
  EXPECT_EQ(Process->GetStopReason(), srException);
  EXPECT_EQ(Process->GetStopMessage(), "std::runtime_error");
  // The runtime's frames are beneath the one that threw: the stop reads as that one.
  EXPECT_EQ(Location(), Line("throw"));
  EXPECT_EQ(Eval("N"), "2");
  auto Frames = Process->GetCurrentThread()->GetStackFrames(-1);
  ASSERT_GE(Frames.size(), 2u);
  EXPECT_EQ(Frames[0].Function, "Check");
  EXPECT_EQ(Frames[1].Function, "main");
  Mgr->Run();
  ASSERT_EQ(WaitForStop(), psException);
  EXPECT_EQ(Eval("N"), "4");
  EXPECT_EQ(RunToEnd(), 2) << "both were caught";
}

TEST_F(GdbKernelTest, BreakpointActionsIgnoreAndHandleTheExceptionsThatFollow) {
  // Exceptions are ignored from the loop's first pass on and handled again once one was
  // caught: the first runs through, logged, and the second stops.
  TBreakpointProps Ignore = At("check");
  Ignore.Expression = "I == 1";
  Ignore.DoBreak = false;
  Ignore.DoIgnoreExceptions = true;
  Add(Ignore);
  TBreakpointProps Handle = At("caught");
  Handle.DoBreak = false;
  Handle.DoHandleExceptions = true;
  Add(Handle);
  Load("throw");
  ASSERT_EQ(WaitForStop(), psException);
  EXPECT_EQ(Eval("N"), "4");
  const std::string Raised = "Process debuggee (" + std::to_string(Process->GetProcessId()) +
                             ") raised exception class std::runtime_error at " + test::GdbTestData(Line("throw"));
  const std::vector<std::string> Lines = LogLines(litProcess);
  EXPECT_EQ(Lines.back(), Raised);
  EXPECT_NE(std::find(Lines.begin(), Lines.end(), Raised + " (ignored)"), Lines.end());
  EXPECT_EQ(RunToEnd(), 2);
}

TEST_F(GdbKernelTest, AnIgnoredExceptionLeavesARunToTheCursorWaiting) {
  TBreakpointProps Ignore = At("check");
  Ignore.Expression = "I == 1";
  Ignore.DoBreak = false;
  Ignore.DoIgnoreExceptions = true;
  Add(Ignore);
  TBreakpointProps First = At("throw");
  First.Expression = "N == 1";
  auto FirstB = Add(First);
  Load("throw");
  ASSERT_EQ(WaitForStop(), psStopped);
  FirstB->SetEnabled(false);
  // On to the handler: the exception thrown on the way is ignored.
  Mgr->RunToCursor(test::GdbTestData("debuggee.cpp"), test::MarkerLine("debuggee.cpp", "caught"));
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Process->GetStopReason(), srCursor);
  EXPECT_EQ(Location(), Line("caught"));
  EXPECT_EQ(Eval("I"), "2");
}

TEST_F(GdbKernelTest, AStepThatMeetsALoggingBreakpointOrAnIgnoredExceptionEndsWhereTheStepWould) {
  // Logging breakpoints inside the function stepped over and on the line the step ends on.
  TBreakpointProps InSquare = At("square");
  InSquare.DoBreak = false;
  InSquare.LogMessage = "squaring";
  Add(InSquare);
  TBreakpointProps OnPrint = At("print");
  OnPrint.DoBreak = false;
  OnPrint.LogMessage = "printing";
  Add(OnPrint);
  Add(At("loop"));
  Load("");
  ASSERT_EQ(WaitForStop(), psStopped);
  Mgr->StepOver();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("print"));
  EXPECT_EQ(Process->GetStopReason(), srStep);
  EXPECT_EQ(LogLines(litBreakpoint).size(), 5u) << "four squares and the print";
  Mgr->Reset();

  // Stepped over, a call whose exception is ignored ends where gdb's own step ends, past the
  // handler, in the same pass of the loop.
  Mgr->Breakpoints().Clear();
  TBreakpointProps Ignore = At("check");
  Ignore.Expression = "I == 2";
  Ignore.DoIgnoreExceptions = true;
  Add(Ignore);
  Load("throw");
  ASSERT_EQ(WaitForStop(), psStopped);
  Mgr->StepOver();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Process->GetStopReason(), srStep);
  EXPECT_EQ(Process->GetCurrentThread()->GetStackFrames(1).at(0).Function, "main");
  EXPECT_EQ(Eval("I"), "2");
  EXPECT_EQ(Eval("Caught"), "1");
}

TEST_F(GdbKernelTest, ThreadsAndForkedChildren) {
  auto B = Add(At("square"));
  Load("threads");
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Eval("N"), "7") << "the call in the second thread";
  EXPECT_EQ(Process->GetThreadCount(), 2);
  EXPECT_EQ(Process->GetCurrentThread()->GetThreadId(), 2);
  Mgr->Breakpoints().Clear();
  EXPECT_EQ(RunToEnd(), 4) << "the forked child ran free and gave its result";

  // Only in the main thread, which never calls Square: no stop.
  TBreakpointProps MainOnly = At("square");
  MainOnly.ThreadCondition = "1";
  Add(MainOnly);
  Load("threads");
  EXPECT_EQ(RunToEnd(), 4);
}

TEST_F(GdbKernelTest, ABreakpointInALibraryWaitsUntilTheLibraryLoads) {
  if (test::Plugin().empty()) GTEST_SKIP() << "the library does not compile";
  auto B = Add(At("cube", "plugin.cpp"));
  Load("plugin " + test::Plugin());
  EXPECT_EQ(B->GetPlanting(), bpPending);
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("cube", "plugin.cpp"));
  EXPECT_EQ(B->GetPlanting(), bpPlanted);
  EXPECT_EQ(B->GetVerifiedLine(), test::MarkerLine("plugin.cpp", "cube"));
  EXPECT_EQ(RunToEnd(), 8);
  const auto Modules = LogLines(litModule);
  EXPECT_TRUE(std::any_of(Modules.begin(), Modules.end(),
                          [](const std::string& L) { return L.starts_with("Module Load: plugin.so. Process debuggee ("); }))
      << Modules.size();
}

TEST_F(GdbKernelTest, RunToCursorAndSetNextStatementStayInTheFunction) {
  Add(At("square"));
  Load("");
  ASSERT_EQ(WaitForStop(), psStopped);
  // Out of Square into main: refused, with the reason.
  try {
    Mgr->SetNextStatement(test::GdbTestData("debuggee.cpp"), test::MarkerLine("debuggee.cpp", "return"));
    ADD_FAILURE() << "moved";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Unable to set the next statement to this location: " + test::GdbTestData("debuggee.cpp") +
                               ":" + std::to_string(test::MarkerLine("debuggee.cpp", "return")) +
                               " is not in the current function.");
  }
  EXPECT_EQ(Location(), Line("square"));
  Mgr->Breakpoints().Clear();
  Mgr->StepOut();
  ASSERT_EQ(WaitForStop(), psStopped);

  Mgr->RunToCursor(test::GdbTestData("debuggee.cpp"), test::MarkerLine("debuggee.cpp", "return"));
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("return"));
  EXPECT_EQ(Process->GetStopReason(), srCursor);
  // Back to the loop: it runs again from where Total stands.
  Mgr->SetNextStatement(test::GdbTestData("debuggee.cpp"), test::MarkerLine("debuggee.cpp", "loop"));
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("loop"));
  EXPECT_EQ(RunToEnd(), 1) << "the loop ran twice: the total is not 30";
}

TEST_F(GdbKernelTest, PauseStopsARunningProgram) {
  Load("wait");
  test::PumpUntil([&] { return Process->GetProcessId() > 0; });
  Mgr->Pause();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Process->GetStopReason(), srPause);
  Mgr->Run();
  EXPECT_EQ(Mgr->GetProcessState(), psRunning);
}

TEST_F(GdbKernelTest, ProgramsThatEndAtOnceOrHaveNoDebugInformation) {
  Load("mi");
  EXPECT_TRUE(test::PumpUntil([&] { return !Mgr->GetCurrentProcess(); }));
  EXPECT_EQ(ExitCode(), 3);

  const std::string Bare = test::DebuggeeWithoutDebugInfo();
  ASSERT_FALSE(Bare.empty());
  auto B = Add(At("loop"));
  Load("", Bare);
  EXPECT_EQ(B->GetPlanting(), bpPending);
  EXPECT_TRUE(test::PumpUntil([&] { return !Mgr->GetCurrentProcess(); })) << "ran to its end";
  EXPECT_EQ(ExitCode(), 0);
  const auto Notes = LogLines(litKernel);
  EXPECT_NE(std::find(Notes.begin(), Notes.end(),
                      Bare + " has no debugging information: breakpoints in it cannot stop, and steps run whole functions"),
            Notes.end());
}

TEST_F(GdbKernelTest, PascalProgramsStopStepAndEvaluate) {
  const std::string Program = test::PascalDebuggee();
  if (Program.empty()) GTEST_SKIP() << "fpc is missing";
  Add(At("call", "pasprog.pas"));
  Load("", Program);
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("call", "pasprog.pas"));
  Mgr->StepInto();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("twice", "pasprog.pas"));
  EXPECT_EQ(Eval("N"), "1");
  const auto Locals = Process->GetCurrentThread()->GetLocals(0);
  EXPECT_TRUE(std::any_of(Locals.begin(), Locals.end(), [](const TOTAVariable& V) { return V.Name == "R"; }));
  Mgr->StepOut();
  ASSERT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Location(), Line("call", "pasprog.pas"));
  Mgr->Breakpoints().Clear();
  EXPECT_EQ(RunToEnd(), 12);
}

TEST_F(GdbKernelTest, AttachingStopsARunningProgramAndDetachingLeavesItRunning) {
  const pid_t Child = ::fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    ::execl(test::Debuggee().c_str(), "debuggee", "wait", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  Process = Mgr->AttachToProcess(Child);
  ASSERT_TRUE(Process);
  EXPECT_EQ(WaitForStop(), psStopped);
  EXPECT_EQ(Process->GetStopReason(), srPause);
  EXPECT_EQ(Process->GetProcessId(), Child);
  EXPECT_EQ(Process->GetExeName(), test::Debuggee());
  Mgr->Detach();
  EXPECT_EQ(Mgr->GetProcessState(), psNoProcess);
  int Status = 0;
  EXPECT_EQ(::waitpid(Child, &Status, WNOHANG), 0) << "the program still runs";
  ::kill(Child, SIGKILL);
  ::waitpid(Child, &Status, 0);
}

TEST(GdbKernel, AMissingGdbIsReportedAndNothingRuns) {
  MainThreadQueue().SetMainThread();
  test::TTempDir Dir;
  TSettingsStore Store(Dir / "settings.ini");
  TDebuggerMgr Mgr(Store);
  Mgr.AddDebugger(std::make_shared<TGdbKernel>(TGdbOptions{.Program = "nxs-no-such-gdb"}));
  TOTALoadParams Params;
  Params.ExeName = "/bin/true";
  try {
    Mgr.LoadProcess(Params);
    ADD_FAILURE() << "loaded";
  } catch (const std::exception& E) {
    EXPECT_STREQ(E.what(),
                 "The debugger program \"nxs-no-such-gdb\" was not found on the path. Install gdb to debug programs.");
  }
  EXPECT_EQ(Mgr.GetProcessCount(), 0);
  EXPECT_EQ(Mgr.GetProcessState(), psNoProcess);
}

}  // namespace
}  // namespace nxs::gdbmi
