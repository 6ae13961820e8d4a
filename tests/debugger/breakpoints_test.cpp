#include "debugger/breakpoints.h"

#include <gtest/gtest.h>

#include "debugtest.h"
#include "modules/inifile.h"

namespace nxs::test {
namespace {

using BreakpointsTest = DebuggerTest;

TEST_F(BreakpointsTest, TogglingAddsDeletesOrFlipsTheEnabledState) {
  TBreakpointManager& M = Mgr->Breakpoints();
  M.Toggle("/src/a.c", 10);
  M.Toggle("/src/a.c", 10);
  EXPECT_EQ(M.GetCount(), 0) << "toggling twice leaves none";

  M.Toggle("/src/a.c", 10, true);
  ASSERT_EQ(M.GetCount(), 1);
  EXPECT_FALSE(M.GetBreakpoint(0)->GetEnabled()) << "the flag on an empty line makes a disabled one";
  M.Toggle("/src/a.c", 10, true);
  ASSERT_EQ(M.GetCount(), 1);
  EXPECT_TRUE(M.GetBreakpoint(0)->GetEnabled());
}

TEST_F(BreakpointsTest, FileNamesCompareExactly) {
  TBreakpointManager& M = Mgr->Breakpoints();
  M.Toggle("/src/README.c", 3);
  EXPECT_EQ(M.Find("/src/README.c", 3), 0);
  EXPECT_EQ(M.Find("/src/Readme.c", 3), -1) << "another file on a case-sensitive file system";
  EXPECT_EQ(M.Find("/src/README.c", 4), -1);
  M.Toggle("/src/Readme.c", 3);
  EXPECT_EQ(M.GetCount(), 2) << "toggling in the other file adds; it does not delete the first";
}

TEST_F(BreakpointsTest, KernelsAndListenersGetOneNoticePerUpdate) {
  auto K = AddKernel();
  TBreakpointManager& M = Mgr->Breakpoints();
  int Changed = 0;
  M.EvSourceBreakpointChanged().Add(this, [&](TEvSourceBreakpoint&) { ++Changed; });
  M.Toggle("a.c", 1);
  auto B = M.GetBreakpoint(0);
  B->BeginUpdate();
  B->SetExpression("i==3");
  B->SetPassCount(4);
  B->SetGroupName("g");
  B->SetDoBreak(false);
  EXPECT_EQ(Changed, 0);
  B->EndUpdate();
  EXPECT_EQ(Changed, 1);
  B->SetGroupName("g");  // no change: no notice
  B->SetCurPassCount(2);  // the kernel's count: no notice either
  EXPECT_EQ(Changed, 1);
  M.Delete(0);
  EXPECT_EQ(K->Notices, (std::vector<std::string>{"added a.c:1", "changed a.c:1", "deleted a.c:1"}));
  B->SetEnabled(false);  // a deleted breakpoint tells nobody
  EXPECT_EQ(K->Notices.size(), 3u);

  // A kernel registered later plants what exists already.
  M.Toggle("b.c", 2);
  auto Late = AddKernel("late");
  EXPECT_EQ(Late->Notices, (std::vector<std::string>{"added b.c:2"}));
}

TEST_F(BreakpointsTest, HintTextsAreWordedAsTheViewsShowThem) {
  TBreakpointManager& M = Mgr->Breakpoints();
  M.Toggle("a.c", 1);
  auto B = M.GetBreakpoint(0);
  EXPECT_EQ(B->GetHintText(), "Action: Break\nPass Count: 0");

  B->SetExpression("i > 2");
  B->SetThreadCondition("7");
  B->SetDoIgnoreExceptions(true);
  B->SetDoHandleExceptions(true);
  B->SetLogMessage("here");
  B->SetEvalExpression("i");
  B->SetEnableGroup("on");
  B->SetDisableGroup("off");
  B->SetStackFramesToLog(-1);
  B->SetGroupName("mine");
  B->SetPassCount(5);
  B->SetCurPassCount(2);
  EXPECT_EQ(B->GetHintText(),
            "Condition: i > 2\n"
            "Thread: 7\n"
            "Action: Break,\n"
            "  Ignore Subsequent Exceptions,\n"
            "  Handle Subsequent Exceptions,\n"
            "  Log Message 'here',\n"
            "  Log Expression 'i',\n"
            "  Enable Group 'on',\n"
            "  Disable Group 'off',\n"
            "  Log all stack frames\n"
            "Group: mine\n"
            "Pass Count: 2 of 5");

  B->SetDoBreak(false);
  B->SetDoIgnoreExceptions(false);
  B->SetDoHandleExceptions(false);
  B->SetLogMessage("");
  B->SetLogResult(false);
  B->SetEnableGroup("");
  B->SetDisableGroup("");
  B->SetStackFramesToLog(1);
  EXPECT_NE(B->GetHintText().find("Action: Evaluate Expression 'i',\n  Log 1 stack frame\n"), std::string::npos);
  B->SetStackFramesToLog(3);
  EXPECT_NE(B->GetHintText().find("  Log 3 stack frames\n"), std::string::npos);
  B->SetEvalExpression("");
  B->SetStackFramesToLog(0);
  EXPECT_EQ(B->GetHintText(), "Condition: i > 2\nThread: 7\nGroup: mine\nPass Count: 2 of 5")
      << "no action, no action line";
}

TEST_F(BreakpointsTest, GroupsSwitchSourceAndKernelBreakpointsIgnoringTheAccelerator) {
  auto K = AddKernel();
  TBreakpointManager& M = Mgr->Breakpoints();
  M.Toggle("a.c", 1);
  M.Toggle("a.c", 2);
  M.Toggle("a.c", 3);
  M.GetBreakpoint(0)->SetGroupName("Loop");
  M.GetBreakpoint(1)->SetGroupName("L&oop");
  M.GetBreakpoint(2)->SetGroupName("Other");
  auto Held = std::make_shared<TBreakpoint>("kernel", 0);
  Held->SetGroupName("Loop");
  K->Held.push_back(Held);

  M.EnableGroup("&Loop", false);
  EXPECT_FALSE(M.GetBreakpoint(0)->GetEnabled());
  EXPECT_FALSE(M.GetBreakpoint(1)->GetEnabled());
  EXPECT_TRUE(M.GetBreakpoint(2)->GetEnabled());
  EXPECT_FALSE(Held->GetEnabled());
  EXPECT_EQ(M.GroupNames(), (std::vector<std::string>{"Loop", "L&oop", "Other"}));
  EXPECT_EQ(Mgr->GetTotalBreakpointCount(), 4);

  M.EnableAll(false);
  EXPECT_FALSE(M.GetBreakpoint(2)->GetEnabled());
  M.EnableAll(true);
  EXPECT_TRUE(Held->GetEnabled());

  Q->Answers = {mrNo, mrYes};
  EXPECT_FALSE(M.DeleteAll());
  EXPECT_EQ(Q->Asked.back(), "Delete all breakpoints?");
  EXPECT_EQ(M.GetCount(), 3);
  EXPECT_TRUE(M.DeleteAll());
  EXPECT_EQ(M.GetCount(), 0);
}

class TAnswer : public IOTABreakpointNotifier {
 public:
  explicit TAnswer(int A) : FAnswer(A) {}
  int Trigger(IOTABreakpoint&) override {
    ++Asked;
    return FAnswer;
  }
  int FAnswer;
  int Asked = 0;
};

TEST_F(BreakpointsTest, TriggerTakesTheFirstDecidingNotifierAndPassesCountDown) {
  TBreakpoint B("a.c", 1);
  EXPECT_EQ(B.Trigger(), 2);
  auto Default = std::make_shared<TAnswer>(2);
  auto Decides = std::make_shared<TAnswer>(1);
  auto Later = std::make_shared<TAnswer>(0);
  B.AddNotifier(Default);
  const int Index = B.AddNotifier(Decides);
  B.AddNotifier(Later);
  EXPECT_EQ(B.Trigger(), 1);
  EXPECT_EQ(Later->Asked, 0);
  B.RemoveNotifier(Index);
  EXPECT_EQ(B.Trigger(), 0);

  B.SetCurPassCount(2);
  EXPECT_FALSE(B.DecPassCount());
  EXPECT_TRUE(B.DecPassCount());
  B.SetCurPassCount(5);
  B.ResetPassCount();
  EXPECT_EQ(B.GetCurPassCount(), 0);
  EXPECT_FALSE(B.ValidInProcess(nullptr));
}

TEST_F(BreakpointsTest, BreakpointsSurviveTheDesktopFileWithEveryProperty) {
  TBreakpointManager& M = Mgr->Breakpoints();
  TBreakpointProps P;
  P.FileName = "/src/it's here, really.c";
  P.LineNumber = 42;
  P.Expression = "s == 'x'";
  P.PassCount = 3;
  P.Enabled = false;
  P.GroupName = "g,1";
  P.DoBreak = false;
  P.DoIgnoreExceptions = true;
  P.LogMessage = "hit ''twice''";
  P.LogResult = false;
  P.EvalExpression = "a[1]";
  P.EnableGroup = "on";
  P.DisableGroup = "off";
  P.StackFramesToLog = -1;
  P.ThreadCondition = "2";
  M.Add(P);
  M.Toggle("/src/b.c", 7);
  EXPECT_TRUE(M.GetModified());

  TSettingsIniFile Ini(*Store);
  M.SaveBreakpoints(Ini, false);
  EXPECT_FALSE(M.GetModified());
  EXPECT_EQ(Store->ReadString("Breakpoints", "Breakpoint0"),
            "'/src/it''s here, really.c',42,'s == ''x''',3,0,'g,1',0,1,0,'hit ''''twice''''',0,'a[1]','on','off',-1,"
            "'2'");
  EXPECT_EQ(Store->ReadString("Breakpoints", "Breakpoint1"), "'/src/b.c',7,'',0,1,'',1,0,0,'',1,'','','',0,''");

  TDebuggerMgr Next(*Store);
  TBreakpointManager& N = Next.Breakpoints();
  N.Toggle("/src/stale.c", 1);
  N.LoadBreakpoints(Ini);
  ASSERT_EQ(N.GetCount(), 2) << "loading replaces what was there";
  auto B = N.GetBreakpoint(0);
  EXPECT_EQ(B->GetFileName(), P.FileName);
  EXPECT_EQ(B->GetExpression(), P.Expression);
  EXPECT_EQ(B->GetLogMessage(), P.LogMessage);
  EXPECT_EQ(B->GetGroupName(), P.GroupName);
  EXPECT_EQ(TBreakpointManager::FormatBreakpoint(*B), TBreakpointManager::FormatBreakpoint(*M.GetBreakpoint(0)));
  EXPECT_FALSE(N.GetModified());
}

TEST_F(BreakpointsTest, ADamagedEntryIsSkippedAndTheOthersLoad) {
  Store->WriteInteger("Breakpoints", "Count", 5);
  Store->WriteString("Breakpoints", "Breakpoint0", "'/src/a.c',1,'',0,1,'',1,0,0,'',1,'','','',0,''");
  Store->WriteString("Breakpoints", "Breakpoint1", "'/src/cut.c',2,'unterminated");
  Store->WriteString("Breakpoints", "Breakpoint2", "'/src/short.c',3");
  // Breakpoint3 is missing.
  Store->WriteString("Breakpoints", "Breakpoint4", "'/src/e.c',5,'',0,0,'',1,0,0,'',1,'','','',0,''");
  TSettingsIniFile Ini(*Store);
  TBreakpointManager& M = Mgr->Breakpoints();
  M.LoadBreakpoints(Ini);
  ASSERT_EQ(M.GetCount(), 2);
  EXPECT_EQ(M.GetBreakpoint(0)->GetFileName(), "/src/a.c");
  EXPECT_EQ(M.GetBreakpoint(1)->GetFileName(), "/src/e.c");
  EXPECT_FALSE(M.GetBreakpoint(1)->GetEnabled());

  for (const char* Bad : {"", "'a.c',0,'',0,1,'',1,0,0,'',1,'','','',0,''", "'a.c',1,'',0,2,'',1,0,0,'',1,'','','',0,''",
                          "'a.c',1,'',0,1,'',1,0,0,'',1,'','','',0", "'a.c',99999999999,'',0,1,'',1,0,0,'',1,'','','',0,''"}) {
    TBreakpointProps P;
    EXPECT_FALSE(TBreakpointManager::ParseBreakpoint(Bad, P)) << Bad;
  }
  TBreakpointProps Later;
  EXPECT_TRUE(TBreakpointManager::ParseBreakpoint("'a.c',1,'',0,1,'',1,0,0,'',1,'','','',0,'','a later field'", Later))
      << "fields a later version adds do not damage the entry";
}

TEST_F(BreakpointsTest, SavingWithTheDesktopCanBeSwitchedOffButAForcedSaveWrites) {
  TBreakpointManager& M = Mgr->Breakpoints();
  M.Toggle("a.c", 1);
  TSettingsIniFile Ini(*Store);
  Mgr->SetVDGoodies(false);
  M.SaveBreakpoints(Ini, false);
  EXPECT_FALSE(Store->ValueExists("Breakpoints", "Count"));
  M.SaveBreakpoints(Ini, true);
  EXPECT_EQ(Store->ReadInteger("Breakpoints", "Count", -1), 1);

  // Fewer breakpoints than last time leave no stale entries behind.
  Mgr->SetVDGoodies(true);
  M.Clear();
  M.SaveBreakpoints(Ini, false);
  EXPECT_EQ(Store->ReadInteger("Breakpoints", "Count", -1), 0);
  EXPECT_FALSE(Store->ValueExists("Breakpoints", "Breakpoint0"));
}

}  // namespace
}  // namespace nxs::test
