#include "debugger/debugmarks.h"

#include <gtest/gtest.h>

#include "debugtest.h"
#include "editor/buffers/editbuffer.h"
#include "modules/closedfiles.h"
#include "modules/openhandlers.h"
#include "modules/sourcemodule.h"

namespace nxs::test {
namespace {

class DebugLineMarksTest : public DebuggerTest {
 protected:
  void SetUp() override {
    DebuggerTest::SetUp();
    InitSourceModules();
    Kernel = AddKernel();
    A = Dir.Path() + "/a.c";
    WriteText(A, "one\ntwo\nthree\nfour\n");
  }
  void TearDown() override {
    Marks.reset();
    DoneSourceModules();
    ClosedFiles().FreeClosedFileLists();
    DebuggerTest::TearDown();
  }
  TEditBuffer& Open(const std::string& File) {
    auto* M = dynamic_cast<TSourceModule*>(OpenFile(File, true, true));
    return *M->GetMainSource();
  }

  std::shared_ptr<TFakeKernel> Kernel;
  std::string A;
  std::unique_ptr<TDebugLineMarks> Marks;
};

using Records = std::vector<std::string>;

TEST_F(DebugLineMarksTest, BreakpointMarksFollowEveryNoticeAndReachFilesOpenedLater) {
  TBreakpointManager& B = Mgr->Breakpoints();
  Marks = std::make_unique<TDebugLineMarks>(*Mgr);
  B.Toggle(A, 3);
  // A file opened after its breakpoints were set shows them at once.
  TEditBuffer& Buf = Open(A);
  EXPECT_EQ(LineMarkRecords(Buf), Records{"3 breakpoint"});
  B.Toggle(A, 1);
  B.Toggle(Dir.Path() + "/A.c", 2);  // another file on Linux
  EXPECT_EQ(LineMarkRecords(Buf), (Records{"1 breakpoint", "3 breakpoint"}));
  // Disabled, a breakpoint stops nothing and its line is plain; a move takes the mark along.
  B.GetBreakpoint(B.Find(A, 1))->SetEnabled(false);
  B.GetBreakpoint(B.Find(A, 3))->SetLineNumber(4);
  EXPECT_EQ(LineMarkRecords(Buf), Records{"4 breakpoint"});
  B.Toggle(A, 4);
  B.Delete(B.Find(A, 1));
  EXPECT_EQ(LineMarkRecords(Buf), Records{});
}

TEST_F(DebugLineMarksTest, TheExecutionPointFollowsEachStopAndGoesWithTheProcess) {
  TEditBuffer& Buf = Open(A);
  Marks = std::make_unique<TDebugLineMarks>(*Mgr);
  Mgr->Breakpoints().Toggle(A, 2);
  // The fake kernel reports the file as the program names it, relative.
  Mgr->LoadProcess({Program("a.c:1\na.c:2\na.c:3\nexit 0\n"), "", "", {}, true});
  Mgr->Run();
  ASSERT_TRUE(WaitForStop());
  EXPECT_EQ(LineMarkRecords(Buf), Records{"2 breakpoint execution-point"});
  Mgr->StepOver();
  ASSERT_TRUE(WaitForStop());
  EXPECT_EQ(LineMarkRecords(Buf), (Records{"2 breakpoint", "3 execution-point"}));
  // The program's end takes the execution point away.
  Mgr->Run();
  ASSERT_TRUE(WaitForStop());
  EXPECT_EQ(LineMarkRecords(Buf), Records{"2 breakpoint"});
}

}  // namespace
}  // namespace nxs::test
