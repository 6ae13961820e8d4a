#include "debugger/debugmgr.h"

#include <gtest/gtest.h>

#include <thread>

#include "debugger/resstrings.h"
#include "debugtest.h"
#include "options/envoptions.h"
#include "options/resstrings.h"
#include "support/errorof.h"

namespace nxs::test {
namespace {

class TRecordingTarget : public IDebugMessageTarget {
 public:
  std::vector<std::string> Got;
  void HandleMessage(int Msg, intptr_t W, intptr_t L) override {
    Got.push_back(std::to_string(Msg) + ":" + std::to_string(W) + ":" + std::to_string(L));
  }
};

TEST(DebuggerActionQueue, AnEqualMessageWaitsOnceAndTheQueueDrainsInOrderWhenIdle) {
  MainThreadQueue().SetMainThread();
  TDebuggerActionQueue Queue;
  TRecordingTarget A, B;
  Queue.Add(&A, 1025, 0, 0);
  Queue.Add(&A, 1025, 0, 0);  // the same message again: still one
  Queue.Add(&A, 1025, 1, 0);  // another parameter: another message
  Queue.Add(&B, 1025, 0, 0);  // another window
  EXPECT_EQ(Queue.Count(), 3);
  EXPECT_TRUE(A.Got.empty()) << "nothing is posted before the main thread goes idle";
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  EXPECT_EQ(A.Got, (std::vector<std::string>{"1025:0:0", "1025:1:0"}));
  EXPECT_EQ(B.Got, (std::vector<std::string>{"1025:0:0"}));
  EXPECT_EQ(Queue.Count(), 0);

  // Cleared items are never posted, and the next Add installs the idle handler afresh.
  Queue.Add(&A, 7, 0, 0);
  Queue.Clear();
  Queue.Add(&B, 8, 0, 0);
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  EXPECT_EQ(A.Got.size(), 2u);
  EXPECT_EQ(B.Got.back(), "8:0:0");
}

TEST(DebuggerActionQueue, ThreadsAddingAtOnceGiveOneMessage) {
  MainThreadQueue().SetMainThread();
  TDebuggerActionQueue Queue;
  TRecordingTarget A;
  std::vector<std::thread> Threads;
  for (int T = 0; T < 4; ++T)
    Threads.emplace_back([&] {
      for (int I = 0; I < 200; ++I) Queue.Add(&A, 1025, 0, 0);
    });
  for (auto& T : Threads) T.join();
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  EXPECT_EQ(A.Got.size(), 1u);
}

using DebugMgrTest = DebuggerTest;

TEST_F(DebugMgrTest, ManyLogChangesGiveOneEventAndEmptyingTheLogOneAtOnce) {
  int Events = 0;
  Mgr->FEvLogStringListChanged.Add(this, [&](TEvDebugNotify&) { ++Events; });
  for (int I = 0; I < 50; ++I) Mgr->LogString("line " + std::to_string(I), litDefault);
  EXPECT_EQ(Events, 0);
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  EXPECT_EQ(Events, 1);
  Mgr->LogString("more", litDefault);
  Mgr->ClearLog();
  EXPECT_EQ(Events, 2) << "a log that became empty is announced at once";
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  const int AfterDrain = Events;
  for (int I = 0; I < 3; ++I) Mgr->LogString("after", litDefault);
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  EXPECT_EQ(Events, AfterDrain + 1) << "changes after a clear are announced again, once";
}

TEST_F(DebugMgrTest, TheLogKeepsItsLengthAndTheKindsTheOptionsAskFor) {
  Mgr->DebugOptions().FLogLength = 3;
  Mgr->DebugOptions().FLogThreadMessages = false;
  for (int I = 0; I < 5; ++I) Mgr->LogString(std::to_string(I), litOutput);
  Mgr->LogString("thread", litThread);
  ASSERT_EQ(Mgr->GetLogCount(), 3);
  EXPECT_EQ(Mgr->GetLogItem(0).LogItem, "2");
  EXPECT_EQ(Mgr->GetLogItem(2).LogItem, "4");
}

TEST_F(DebugMgrTest, ResetAllAsksEveryKernelAndStopsAtTheFirstRefusal) {
  EXPECT_TRUE(Mgr->ResetAll()) << "no kernels: nothing refuses";
  auto A = AddKernel("a");
  auto B = AddKernel("b");
  A->LoadProcess({Program("f.c:1\nf.c:2\n"), "", "", {}, true});
  B->LoadProcess({Program("g.c:1\n", "other"), "", "", {}, true});
  A->RefuseReset = true;
  EXPECT_FALSE(Mgr->ResetAll());
  EXPECT_EQ(B->ResetCount, 0) << "the kernels after a refusal are not asked";
  A->RefuseReset = false;
  EXPECT_TRUE(Mgr->ResetAll());
  EXPECT_EQ(Mgr->GetProcessCount(), 0);
}

TEST_F(DebugMgrTest, TheDebuggerSwitchChoosesAKernelOrListsTheRegisteredOnes) {
  EXPECT_EQ(ErrorOf([&] { Mgr->ParseCommandLine({"-debugger=gdb"}); }),
            "The specified debugger 'gdb' is not registered.  There are no registered debuggers");
  AddKernel("first");
  AddKernel("Second");
  EXPECT_EQ(Mgr->GetCurrentDebugger()->GetIdentifier(), "first") << "the first registered is current";
  Mgr->ParseCommandLine({"nxs", "-DEBUGGER=second"});
  EXPECT_EQ(Mgr->GetCurrentDebugger()->GetIdentifier(), "Second");
  EXPECT_EQ(Mgr->GetCommandLineInfo(), "second");
  EXPECT_EQ(ErrorOf([&] { Mgr->ParseCommandLine({"-debugger=lldb"}); }),
            "The specified debugger 'lldb' is not registered.  Use one of the following registered debuggers:\n"
            "  first (Fake debugger 1.0)\n"
            "  Second (Fake debugger 1.0)");
}

TEST_F(DebugMgrTest, CommandsWithoutAKernelDoNothingAndStatesReadNoProcess) {
  EXPECT_FALSE(Mgr->Run());
  Mgr->StepOver();
  Mgr->Pause();
  Mgr->SetNextStatement("a.c", 1);
  EXPECT_EQ(Mgr->GetProcessState(), psNoProcess);
  EXPECT_EQ(static_cast<int>(psNoProcess), 8);
  EXPECT_EQ(Mgr->GetSupportedDebugCommands(), 0u);
}

TEST_F(DebugMgrTest, KernelEventsReachTheMainThreadAndBecomeManagerEvents) {
  auto K = AddKernel();
  std::vector<std::string> Seen;
  Mgr->FEvProcessCreated.Add(this, [&](TEvProcessEvent&) { Seen.push_back("created"); });
  Mgr->FEvProcessStateChanged.Add(this, [&](TEvProcessEvent& E) { Seen.push_back(ProcessStateName(E.Process->GetState())); });
  Mgr->FEvProcessDestroyed.Add(this, [&](TEvProcessEvent&) { Seen.push_back("destroyed"); });
  Mgr->LoadProcess({Program("a.c:1\na.c:2 i=7\nexit 3\n"), "", "", {}, true});
  Mgr->Breakpoints().Toggle("a.c", 2);
  Mgr->Run();
  EXPECT_EQ(Mgr->GetProcessState(), psRunning) << "the stop comes later, through the kernel's thread";
  ASSERT_TRUE(WaitForStop());
  EXPECT_EQ(Mgr->GetProcessState(), psStopped);
  EXPECT_EQ(K->MessagesHandled, 1);
  EXPECT_EQ(Mgr->GetCurrentProcess()->GetCurrentThread()->Evaluate("i", 0, false).Value, "7");
  Mgr->Run();
  ASSERT_TRUE(WaitForStop());
  EXPECT_EQ(Seen, (std::vector<std::string>{"created", "running", "stopped", "running", "terminated", "destroyed"}));
  EXPECT_EQ(Mgr->GetProcessState(), psNoProcess);
}

TEST_F(DebugMgrTest, AMessageForARemovedKernelReachesNoKernel) {
  auto A = AddKernel("a");
  auto B = AddKernel("b");
  Mgr->PostDebugMessage(*A, 5, 0);
  Mgr->RemoveDebugger(A.get());  // b now holds index 0
  std::thread([&] { Mgr->PostDebugMessage(*B, 5, 0); }).join();
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  EXPECT_EQ(A->MessagesHandled, 0);
  EXPECT_EQ(B->MessagesHandled, 1);

  int Called = 0;
  std::thread([&] { Mgr->RequestCallback([&] { ++Called; }); }).join();
  EXPECT_EQ(Called, 0);
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  EXPECT_EQ(Called, 1);
}

TEST_F(DebugMgrTest, WorkQueuedForAManagerThatIsGoneIsDropped) {
  auto K = AddKernel();
  int Called = 0;
  Mgr->RequestCallback([&] { ++Called; });
  Mgr->PostDebugMessage(*K, 5, 0);
  Mgr->LogString("x", litDefault);
  Mgr.reset();
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  EXPECT_EQ(Called, 0);
  EXPECT_EQ(K->MessagesHandled, 0);
}

TEST_F(DebugMgrTest, DoneDebugFromAStopListenerWaitsUntilTheKernelsMessageIsHandled) {
  // The process-wide manager.
  auto K = std::make_shared<TFakeKernel>();
  DebugMgr().AddDebugger(K);
  bool AliveInListener = false;
  DebugMgr().FEvProcessStateChanged.Add(this, [&](TEvProcessEvent& E) {
    if (E.Process->GetState() != psStopped) return;
    DoneDebug();
    AliveInListener = DebugMgrExists();
  });
  DebugMgr().LoadProcess({Program("a.c:1\na.c:2\nexit 0\n"), "", "", {}, true});
  DebugMgr().Breakpoints().Toggle("a.c", 2);
  DebugMgr().Run();
  EXPECT_TRUE(PumpUntil([] { return !DebugMgrExists(); }));
  EXPECT_TRUE(AliveInListener) << "the manager went while its kernel's message was handled";
  DoneDebug();
}

TEST_F(DebugMgrTest, SetNextStatementReportsTheKernelsRefusal) {
  AddKernel();
  Mgr->LoadProcess({Program("a.c:1\na.c:2\n"), "", "", {}, true});
  EXPECT_EQ(ErrorOf([&] { Mgr->SetNextStatement("a.c", 9); }),
            "Unable to set the next statement to this location: line 9 is not in the current function.");
  EXPECT_EQ(ErrorOf([&] { Mgr->SetNextStatement("a.c", 2); }), "(no error)");
}

// A project whose answers a test sets.
class TFakeProject : public IDebugProjectHost {
 public:
  bool Active = true, Must = false, Changed = false, BuildOk = true, DepsChanged = false;
  int Builds = 0, MarkedNotToRebuild = 0, MarkedOutOfDate = 0;
  std::string Exe;
  bool HasActiveProject() override { return Active; }
  std::string GetActiveProjectName() override { return "proj.kzproj"; }
  bool MustRebuild() override { return Must; }
  bool SourcesChanged() override { return Changed; }
  void MarkNotToRebuild() override {
    ++MarkedNotToRebuild;
    Changed = false;
  }
  bool BuildProject() override {
    ++Builds;
    Changed = Must = false;
    return BuildOk;
  }
  bool DependenciesChanged() override { return DepsChanged; }
  void MarkOutOfDate() override {
    ++MarkedOutOfDate;
    Changed = true;
  }
  bool GetLoadParams(TOTALoadParams& P) override {
    P.ExeName = Exe;
    P.Parameters = "--fast";
    return true;
  }
};

TEST_F(DebugMgrTest, ARunAsksToRebuildChangedSourcesAndFollowsTheAnswer) {
  auto K = AddKernel();
  auto P = std::make_shared<TFakeProject>();
  P->Exe = Program("a.c:1\n");
  Mgr->SetProjectHost(P);
  const unsigned Buttons = mbYes | mbNo | mbNever | mbCancel | mbHelp;

  P->Changed = true;
  Q->Answers = {mrCancel};
  EXPECT_FALSE(Mgr->Run());
  EXPECT_EQ(Q->Asked.back(), "Source has been modified. Rebuild?");
  EXPECT_EQ(Q->Buttons.back(), Buttons);
  EXPECT_EQ(K->LoadCount, 0);

  Q->Answers = {mrYes};
  P->BuildOk = false;
  EXPECT_FALSE(Mgr->Run()) << "a failed build runs nothing";
  EXPECT_EQ(P->Builds, 1);

  P->Changed = true;
  P->BuildOk = true;
  Q->Answers = {mrNo};
  EXPECT_TRUE(Mgr->Run());
  EXPECT_EQ(P->MarkedNotToRebuild, 1);
  EXPECT_EQ(K->LoadCount, 1);
  EXPECT_EQ(K->LastLoad.Parameters, "--fast");
  ASSERT_TRUE(WaitForStop());

  // Never: as No, and the question is not asked again, in this session or the next.
  P->Changed = true;
  Q->Answers = {mrNever};
  EXPECT_TRUE(Mgr->Run());
  ASSERT_TRUE(WaitForStop());
  EXPECT_FALSE(Mgr->DebugOptions().FPromptToRebuild);
  const size_t Asked = Q->Asked.size();
  P->Changed = true;
  EXPECT_TRUE(Mgr->Run());
  ASSERT_TRUE(WaitForStop());
  EXPECT_EQ(Q->Asked.size(), Asked);
  TDebuggerMgr Next(*Store);
  Next.LoadOptions();
  EXPECT_FALSE(Next.DebugOptions().FPromptToRebuild);
}

TEST_F(DebugMgrTest, ARebuildWhileAnotherProcessIsDebuggedAsksToResetThemAll) {
  auto K = AddKernel();
  auto P = std::make_shared<TFakeProject>();
  P->Exe = Program("a.c:1\na.c:2\n");
  Mgr->SetProjectHost(P);
  Mgr->LoadProcess({P->Exe, "", "", {}, true});
  P->Must = true;
  Q->Answers = {mrNo};
  EXPECT_FALSE(Mgr->MakeCurrentProject());
  EXPECT_EQ(Q->Asked.back(),
            "This project cannot be compiled while another process is being debugged.  Use Project|Compile All "
            "Projects to make sure all projects are compiled before debugging multiple processes.  Continue and "
            "reset all processes?");
  EXPECT_EQ(P->Builds, 0);
  Q->Answers = {mrYes};
  EXPECT_TRUE(Mgr->MakeCurrentProject());
  EXPECT_EQ(K->ResetCount, 1);
  EXPECT_EQ(P->Builds, 1);

  // Changed dependencies make the project out of date before the run is prepared.
  P->DepsChanged = true;
  Mgr->DebugOptions().FPromptToRebuild = false;
  EXPECT_TRUE(Mgr->Run());
  EXPECT_EQ(P->MarkedOutOfDate, 1);
  EXPECT_EQ(P->MarkedNotToRebuild, 1);
}

TEST_F(DebugMgrTest, TheDebuggerKeymapIsInForceWhileProcessesExist) {
  TEnvironmentOptions& Env = EnvironmentOptions();
  TOptionSet& Editor = Env.EditorOptions();
  Env.SetOption(Editor, Editor.KeyIndex(), res::opt::EditorEmulation, std::string("Tarvos.Brief"));
  AddKernel();
  Mgr->DebugOptions().FMapVD32Keys = true;
  Mgr->LoadProcess({Program("a.c:1\na.c:2\n"), "", "", {}, true});
  EXPECT_EQ(Editor.GetStr(res::opt::EditorEmulation), "Tarvos.VD32");
  EXPECT_EQ(Mgr->OriginalKeymap(), "Tarvos.Brief");
  // Switching the option off while the process runs gives the user's mapping back.
  Mgr->DebugOptions().FMapVD32Keys = false;
  Mgr->DebugOptions().Changed();
  EXPECT_EQ(Editor.GetStr(res::opt::EditorEmulation), "Tarvos.Brief");
  Mgr->DebugOptions().FMapVD32Keys = true;
  Mgr->DebugOptions().Changed();
  EXPECT_EQ(Editor.GetStr(res::opt::EditorEmulation), "Tarvos.VD32");
  Mgr->Reset();
  EXPECT_EQ(Editor.GetStr(res::opt::EditorEmulation), "Tarvos.Brief") << "the process is gone";
  EXPECT_EQ(Mgr->OriginalKeymap(), "");
}

TEST_F(DebugMgrTest, OptionChangesReachEveryKernelOnceAnUpdateEnds) {
  auto K = AddKernel();
  int Sent = 0;
  Mgr->FEvDebugOptionsChanged.Add(this, [&](TEvDebugNotify&) { ++Sent; });
  Mgr->DebugOptions().BeginUpdate();
  Mgr->DebugOptions().Changed();
  Mgr->DebugOptions().Changed();
  EXPECT_EQ(Sent, 0);
  Mgr->DebugOptions().EndUpdate();
  EXPECT_EQ(Sent, 1);
  EXPECT_EQ(K->OptionsChangedCount, 1);

  // A program whose options were set locally: the user decides whether the global ones win.
  Mgr->LoadProcess({Program("a.c:1\na.c:2\n"), "", "", {}, true});
  TDebugMgrOptions Local;
  Local.FProcess = K->LastLoad.ExeName;
  Mgr->SetLocalOptions(Local);
  Q->Answers = {mrYes};
  Mgr->DebugOptions().Changed();
  EXPECT_EQ(Q->Asked.back(), "The options for " + Local.FProcess +
                                 " have been set locally.  Do you want to overwrite these local options with the "
                                 "global debugger options?");
  EXPECT_EQ(Mgr->FindLocalOptions(Local.FProcess), nullptr);
}

TEST_F(DebugMgrTest, ModuleLoadBreakpointsAskWhenOnlyAnotherKernelHasThem) {
  auto A = AddKernel("a");
  EXPECT_FALSE(Mgr->CanAddModuleLoadBreakpoint());
  EXPECT_TRUE(Q->Asked.empty()) << "no kernel has them: nothing to ask";
  auto B = AddKernel("b");
  B->ModuleLoadBreakpoints = true;
  Q->Answers = {mrNo, mrYes};
  EXPECT_FALSE(Mgr->CanAddModuleLoadBreakpoint());
  EXPECT_EQ(Q->Asked.back(),
            "The active debugger (Fake debugger) does not support module load breakpoints.  However, at least one "
            "other installed debugger does support them.  Do you still want to set this module load breakpoint?");
  EXPECT_TRUE(Mgr->CanAddModuleLoadBreakpoint());
  Mgr->SetCurrentDebugger(1);
  EXPECT_TRUE(Mgr->CanAddModuleLoadBreakpoint());

  EXPECT_EQ(Mgr->GetAddModuleFilters(), "Any file (*.*)|*.*");
  A->Masks = {"*.so"};
  B->Masks = {"*.so", "*.so.*"};
  EXPECT_EQ(Mgr->GetAddModuleFilters(), "Modules (*.so;*.so.*)|*.so;*.so.*|Any file (*.*)|*.*");
}

class TFakeVisualizer : public IOTADebuggerVisualizer {
 public:
  TFakeVisualizer(std::string Id, std::string Type, bool All) : FId(std::move(Id)), FType(std::move(Type)), FAll(All) {}
  std::string GetVisualizerIdentifier() const override { return FId; }
  std::string GetVisualizerName() const override { return FId; }
  TOTAVisualizerKind GetKind() const override { return vkValueReplacer; }
  int GetSupportedTypeCount() const override { return 1; }
  void GetSupportedType(int, std::string& TypeName, bool& AllDescendants) const override {
    TypeName = FType;
    AllDescendants = FAll;
  }

 private:
  std::string FId, FType;
  bool FAll;
};

TEST_F(DebugMgrTest, AVisualizersEnabledFlagIsStoredAndDecidesWhetherItIsFound) {
  auto Dates = std::make_shared<TFakeVisualizer>("Dates", "TDateTime", false);
  auto Lists = std::make_shared<TFakeVisualizer>("Lists", "TList<T>", true);
  Mgr->RegisterVisualizer(Dates);
  Mgr->RegisterVisualizer(Lists);
  EXPECT_EQ(Mgr->Visualizers().Find(vkValueReplacer, "TDateTime").size(), 1u);
  EXPECT_EQ(Mgr->Visualizers().Find(vkValueReplacer, "TList<int>").size(), 1u);
  EXPECT_EQ(Mgr->Visualizers().Find(vkValueReplacer, "TMyList", {"TList<T>"}).size(), 1u) << "a descendant";
  EXPECT_EQ(Mgr->Visualizers().GetGenericTypeNameCount(), 1);

  Mgr->SetVisualizerEnabled(Dates.get(), false);
  EXPECT_TRUE(Mgr->Visualizers().Find(vkValueReplacer, "TDateTime").empty());
  EXPECT_FALSE(Store->ReadBool("Debugging\\Visualizers", "Dates", true));

  // The next session reads the flag back.
  TDebuggerMgr Next(*Store);
  Next.RegisterVisualizer(Dates);
  EXPECT_FALSE(Next.Visualizers().GetEnabled(Dates.get()));
  EXPECT_TRUE(Next.Visualizers().Find(vkValueReplacer, "TDateTime").empty());
  Next.SetVisualizerEnabled(Dates.get(), true);
  EXPECT_EQ(Next.Visualizers().Find(vkValueReplacer, "TDateTime").size(), 1u);
}

}  // namespace
}  // namespace nxs::test
