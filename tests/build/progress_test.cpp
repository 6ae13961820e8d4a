// The progress monitor as tools and the progress window use it: texts by kind, the handler on
// the main thread, and a cancel that reaches the next update and the compilers.
#include "build/progress.h"

#include <gtest/gtest.h>

#include <thread>

#include "build/messages/filesvc.h"
#include "hostsupport.h"
#include "shared/mainthread.h"
#include "support/wait.h"

namespace nxs::test {
namespace {

using ProgressTest = BuildHostTest;

TEST_F(ProgressTest, ActionTextsByKind) {
  TProgressMonitor& M = ProgressMonitor();
  EXPECT_TRUE(CompilerUpdateProgress(progCompiling, "/work/src/unit.pas", 120, 4000));
  EXPECT_EQ(M.Action(), "Compiling: ");
  EXPECT_EQ(M.FileName(), "unit.pas");
  EXPECT_EQ(M.FileLineCount(), 120);
  EXPECT_EQ(M.TotalLineCount(), 4000);
  CompilerUpdateProgress(progLinking, "/work/bin/app", 0, 0);
  EXPECT_EQ(M.Action(), "Linking: ");
  EXPECT_EQ(M.FileName(), "/work/bin/app");
  CompilerUpdateProgress(progChecking, "/work/src/b.pas", 0, 0);
  EXPECT_EQ(M.Action(), "Checking: ");
  CompilerUpdateProgress(progCleaning, "/work/app.vproj", 0, 0);
  EXPECT_EQ(M.Action(), "Cleaning: ");
  EXPECT_EQ(M.FileName(), "/work/app.vproj");
}

TEST_F(ProgressTest, HandlerRunsOnTheMainThreadAndItsContinueFlagStopsTheTool) {
  std::thread::id Ran;
  int Calls = 0;
  ProgressMonitor().SetOnUpdate([&](TProgressMonitor& M, bool& Continue) {
    Ran = std::this_thread::get_id();
    Continue = ++Calls < 2;
  });
  std::atomic<int> Answers{0};
  std::atomic<bool> First{true}, Second{true};
  std::thread Tool([&] {
    First = CompilerUpdateProgress(progCompiling, "a.pas", 1, 1);
    Second = CompilerUpdateProgress(progCompiling, "a.pas", 2, 2);
    Answers = 2;
  });
  ASSERT_TRUE(PumpUntil([&] { return Answers >= 2; })) << "the tool was not answered";
  Tool.join();
  EXPECT_EQ(Ran, std::this_thread::get_id());
  EXPECT_TRUE(First);
  EXPECT_FALSE(Second);
}

TEST_F(ProgressTest, CancelReachesTheNextUpdateAndTheCompilersUntilReset) {
  TProgressMonitor& M = ProgressMonitor();
  M.IncErrorCount(msgWarn);
  M.Cancel();
  EXPECT_TRUE(M.CancelFlag());
  EXPECT_FALSE(CompilerUpdateProgress(progCompiling, "a.pas", 1, 1));
  // A compiler's progress call asks it to stop, on any thread.
  EXPECT_NE(BPROGRESS(progCompiling, "a.pas", 1, 1), 0);
  int32_t FromThread = 0;
  std::thread([&] { FromThread = BPROGRESS(progCompiling, "a.pas", 1, 1); }).join();
  EXPECT_NE(FromThread, 0);
  M.Reset();
  EXPECT_TRUE(CompilerUpdateProgress(progCompiling, "a.pas", 1, 1));
  EXPECT_EQ(BPROGRESS(progCompiling, "b.pas", 1, 1), 0);
  EXPECT_EQ(M.GetErrorCount(msgWarn), 0);
}

TEST_F(ProgressTest, CompilerMessagesAndErrorCountReachTheMonitor) {
  ProgressMonitor();  // made, and handed to the file services
  BMSG(msgHint, "a.pas", 1, 1, "unused");
  BMSG(msgWarn, "a.pas", 1, 1, "odd");
  BSETERRORCOUNT(4);
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgHint), 1);
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgWarn), 1);
  EXPECT_EQ(ProgressMonitor().GetErrorCounts({msgError, msgFatal}), 4);
  ProgressMonitor().IncBuildTime(1.5);
  ProgressMonitor().IncBuildTime(0.25);
  EXPECT_DOUBLE_EQ(ProgressMonitor().BuildTime(), 1.75);
}

}  // namespace
}  // namespace nxs::test
