// Views of a buffer: the state a desktop file keeps (cursor, scroll, folded regions,
// bookmarks) across a round trip, views side by side on one text, and the error and
// execution-point lines shown in them.
#include "editor/buffers/editview.h"

#include <gtest/gtest.h>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editsource.h"
#include "editor/buffers/elisions.h"
#include "edfixture.h"

namespace nxs {
namespace {

class EditViews : public test::EditorFiles {
 protected:
  std::shared_ptr<TEditBuffer> Open(const std::string& Text, const std::string& Name = "v.pas") {
    return TEditBuffer::Create(Write(Name, Text), true);
  }
  static std::string Lines(int N) {
    std::string S;
    for (int I = 1; I <= N; ++I) S += "line " + std::to_string(I) + "\n";
    return S;
  }
};

TEST_F(EditViews, ViewStateRoundTripsCursorScrollFoldsAndBookmarks) {
  auto B = Open(Lines(60));
  auto V = B->OpenNewView();
  ASSERT_TRUE(AddElisionBlock(V->EkView(), TCharPos{0, 10}, TCharPos{6, 20}, true, "it's {odd} (\\)"));
  ASSERT_TRUE(AddElisionBlock(V->EkView(), TCharPos{2, 30}, TCharPos{0, 35}, true, ""));
  ASSERT_TRUE(AddElisionBlock(V->EkView(), TCharPos{0, 40}, TCharPos{0, 45}, false, "open"));
  GotoLineCol(V->EkView(), 5, 4);
  ASSERT_TRUE(V->BookmarkRecord(0, false));
  GotoLineCol(V->EkView(), 50, 2);
  ASSERT_TRUE(V->BookmarkRecord(9, false));
  GotoLineCol(V->EkView(), 42, 3);
  V->FDefaultEditViewName = "Code";
  TViewState State;
  V->SaveViewState(State);
  EXPECT_EQ(State["Elisions"], "{{10,0},{20,6},{'it\\'s \\{odd\\} \\(\\\\\\)'}}{{30,2},{35,0},{''}}");
  EXPECT_EQ(State["Bookmarks"], "{0,5,3}{9,50,1}");
  EXPECT_EQ(State["CursorX"], "3");
  EXPECT_EQ(State["CursorY"], "42");
  EXPECT_EQ(State["EditViewName"], "Code");
  EXPECT_EQ(State["Module"], B->FileName());

  // A desktop read back into a new buffer on the same file.
  V.reset();
  B.reset();
  auto B2 = Open(Lines(60));
  auto V2 = B2->OpenNewView();
  V2->LoadViewState(State);
  TViewState Again;
  V2->SaveViewState(Again);
  EXPECT_EQ(Again, State);
  EXPECT_TRUE(V2->BookmarkGoto(9));
  EXPECT_EQ(V2->Cursor().LineNum, 50);
  EXPECT_EQ(V2->GetCaption(), "v.pas (Code)");
}

TEST_F(EditViews, EachViewKeepsItsPlaceAcrossAReloadAndHearsWhenItsBufferCloses) {
  auto B = Open(Lines(60));
  auto V = B->OpenNewView();
  auto W = B->OpenNewView();
  ASSERT_TRUE(AddElisionBlock(V->EkView(), TCharPos{0, 10}, TCharPos{6, 20}, true, "fold"));
  GotoLineCol(V->EkView(), 42, 3);
  ASSERT_TRUE(V->BookmarkRecord(1, false));
  GotoLineCol(W->EkView(), 7, 2);
  B->ReloadFile();
  EXPECT_EQ(V->Cursor().LineNum, 42);
  EXPECT_EQ(V->Cursor().Col, 3);
  EXPECT_EQ(W->Cursor().LineNum, 7);
  EXPECT_EQ(W->Cursor().Col, 2);
  EXPECT_EQ(V->BookmarksString(), "{1,42,2}");
  EXPECT_TRUE(BlockIsElided(V->EkView(), 10));
  EXPECT_FALSE(V->Destroying);
  B->Close();
  EXPECT_TRUE(V->Destroying);
  EXPECT_TRUE(W->Destroying);
}

TEST_F(EditViews, SavedStateBeyondTheTextIsLeftOutNotForced) {
  auto B = Open(Lines(5));
  auto V = B->OpenNewView();
  TViewState State{{"CursorX", "abc"},
                   {"CursorY", "999"},
                   {"TopLine", "-4"},
                   {"LeftCol", "99999999999"},
                   {"Elisions", "{{2,0},{4,0},{'ok'}}{{4,0},{2,0},{'backwards'}}{{3,0},{80,0},{'past'}}{{x,0},{3,0}}"},
                   {"Bookmarks", "{1,2,0}{12,1,0}{3,77,0}{4,3}{5,4,-1}{6,1,2"}};
  V->LoadViewState(State);
  EXPECT_GE(V->Cursor().LineNum, 1);
  EXPECT_LE(V->Cursor().LineNum, 6);
  EXPECT_EQ(PrintElisions(V->EkView()), "{{2,0},{4,0},{'ok'}}");
  EXPECT_EQ(V->BookmarksString(), "{1,2,0}");
}

TEST_F(EditViews, BookmarksMoveWithTheTextAndToggleOnTheirLine) {
  auto B = Open(Lines(10));
  auto V = B->OpenNewView();
  GotoLineCol(V->EkView(), 6, 3);
  ASSERT_TRUE(V->BookmarkRecord(2, false));
  GotoLineCol(V->EkView(), 1, 1);
  InsertString(V->EkView(), "above\r");
  EXPECT_EQ(V->BookmarksString(), "{2,7,2}");
  EXPECT_FALSE(V->BookmarkGoto(4));  // never set
  EXPECT_FALSE(V->BookmarkGoto(10));
  EXPECT_FALSE(V->BookmarkRecord(-1, false));
  ASSERT_TRUE(V->BookmarkGoto(2));
  EXPECT_EQ(V->Cursor().LineNum, 7);
  GotoLineCol(V->EkView(), 7, 1);
  EXPECT_FALSE(V->BookmarkRecord(2, true));  // on its line: cleared
  EXPECT_EQ(V->BookmarksString(), "");
  EXPECT_TRUE(V->BookmarkRecord(2, true));  // and set again
  EXPECT_EQ(V->BookmarksString(), "{2,7,0}");
}

TEST_F(EditViews, ViewsShareTextButKeepTheirOwnCursors) {
  auto B = Open(Lines(20));
  auto A = B->OpenNewView();
  auto C = A->CloneEditView();
  EXPECT_EQ(B->GetViewCount(), 2);
  GotoLineCol(A->EkView(), 10, 1);
  GotoLineCol(C->EkView(), 15, 2);
  InsertString(A->EkView(), "new\r");
  EXPECT_EQ(A->Cursor().LineNum, 11);
  EXPECT_EQ(C->Cursor().Col, 2);
  EXPECT_EQ(B->GetLine(9), "new");
  Undo(C->EkView());  // one history for the text
  EXPECT_EQ(B->GetLine(9), "line 10");
  EXPECT_TRUE(C->TryCloseView());
  InsertString(C->EkView(), "x");
  C.reset();
  EXPECT_EQ(B->GetViewCount(), 1);
  EXPECT_FALSE(A->TryCloseView());  // the last view of modified text
  auto Other = Open("other\n", "other.txt");
  A->SetEditBuffer(Other);
  EXPECT_EQ(B->GetViewCount(), 0);
  EXPECT_EQ(Other->GetViewCount(), 1);
  EXPECT_EQ(A->GetCaption(), "other.txt");
}

TEST_F(EditViews, ErrorAndExecutionLinesAreSingleAndFollowTheirText) {
  auto B = Open(Lines(10));
  auto V = B->OpenNewView();
  B->SetErrorLine(4);
  B->SetErrorLine(6);  // one error line at a time
  EXPECT_EQ(B->ErrorLine(), 6);
  EXPECT_EQ(GetLineFlags(B->EkView(), 4) & lfErrorLine, 0u);
  EXPECT_NE(GetLineFlags(B->EkView(), 6) & lfErrorLine, 0u);
  B->SetCPULine(3);
  GotoLineCol(V->EkView(), 1, 1);
  InsertString(V->EkView(), "a\rb\r");
  EXPECT_EQ(B->ErrorLine(), 8);
  EXPECT_EQ(B->CPULines(), std::vector<int32_t>{5});
  EXPECT_NE(GetLineFlags(B->EkView(), 8) & lfErrorLine, 0u);
  B->ClearErrorLine();
  EXPECT_EQ(B->ErrorLine(), 0);
  EXPECT_EQ(GetLineFlags(B->EkView(), 8) & lfErrorLine, 0u);
  B->ShowLineCol(2, 1, smExecutionPoint);
  EXPECT_EQ(B->CPULines(), std::vector<int32_t>{2});
  EXPECT_EQ(V->Cursor().LineNum, 2);
  B->ClearCPULine();
  EXPECT_TRUE(B->CPULines().empty());
  EXPECT_EQ(GetLineFlags(B->EkView(), 2) & lfExecutionPoint, 0u);
  // A line outside the text marks nothing and breaks nothing.
  B->SetErrorLine(500);
  B->SetCPULine(0);
  EXPECT_EQ(B->SavedText().substr(0, 4), "a\nb\n");
}

TEST_F(EditViews, BreakpointsToggleAndLeaveWithTheirLine) {
  auto B = Open(Lines(8));
  auto V = B->OpenNewView();
  B->SetBreakpointables({2, 4, 6});
  EXPECT_TRUE(V->IsBreakpointableLine(4));
  EXPECT_FALSE(V->IsBreakpointableLine(5));
  GotoLineCol(V->EkView(), 4, 1);
  V->ToggleBreakpoint();
  B->ToggleBreakpoint(6);
  EXPECT_EQ(B->BreakMarks(), (std::vector<int32_t>{4, 6}));
  V->ToggleBreakpoint();
  EXPECT_EQ(B->BreakMarks(), std::vector<int32_t>{6});
  EXPECT_EQ(GetLineFlags(B->EkView(), 4) & lfBreakpoint, 0u);
  // Deleting line 6 takes its breakpoint along.
  GotoLineCol(V->EkView(), 6, 1);
  MarkCurrentLine(V->EkView());
  DeleteBlock(V->EkView());
  EXPECT_TRUE(B->BreakMarks().empty());
}

}  // namespace
}  // namespace nxs
