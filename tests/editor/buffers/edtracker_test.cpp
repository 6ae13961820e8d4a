// Tracked positions on the real kernel: entries follow the text through edits, moves are
// reported once and last entry first, deleted lines free their entries, and the table keeps
// working while it grows.
#include "editor/buffers/edtracker.h"

#include <gtest/gtest.h>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/ekinit.h"

namespace nxs {
namespace {

class Tracker : public ::testing::Test {
 protected:
  void SetUp() override {
    Buffer = TEditBuffer::Create("/nonexistent/tracked.txt", false);
    std::string Text;
    for (int I = 1; I <= 30; ++I) Text += "line " + std::to_string(I) + "\n";
    Buffer->ReadFromStreamUTF8(Text);
    View = Buffer->OpenNewView();
    V = View->EkView();
  }
  void TearDown() override {
    View.reset();
    Buffer.reset();
  }
  void TypeAt(int32_t Line, int16_t Col, std::string_view Text) {
    GotoLineCol(V, Line, Col);
    InsertString(V, Text);
  }
  void DeleteLine(int32_t Line) {
    GotoLineCol(V, Line, 1);
    MarkCurrentLine(V);
    DeleteBlock(V);
  }
  std::shared_ptr<TEditBuffer> Buffer;
  std::unique_ptr<TEditView> View;
  PEkView V = nullptr;
};

TEST_F(Tracker, EntriesFollowTheirTextAndReportEachMoveOnce) {
  TEdTracker T(Buffer.get());
  T.Attach();
  const int A = T.Add(10, 2, 100), B = T.Add(20, 0, 200);
  std::vector<std::string> Log;
  T.FOnLineMoved = [&](int32_t Old, int32_t New, uint32_t Data) {
    Log.push_back("line " + std::to_string(Old) + "->" + std::to_string(New) + " " + std::to_string(Data));
  };
  T.FOnPosMoved = [&](TCharPos Old, TCharPos New, uint32_t Data) {
    Log.push_back("pos " + std::to_string(Old.Index) + "->" + std::to_string(New.Index) + " " + std::to_string(Data));
  };
  TypeAt(1, 1, "new\r");  // a line above both
  EXPECT_EQ(Log, (std::vector<std::string>{"line 20->21 200", "pos 0->0 200", "line 10->11 100", "pos 2->2 100"}));
  Log.clear();
  TypeAt(11, 1, "ab");  // before A on its line
  EXPECT_EQ(Log, (std::vector<std::string>{"pos 2->4 100"}));
  EXPECT_EQ(T.GetCharIndex(A), 4);
  Log.clear();
  TypeAt(11, 7, "zz");  // after A: no move, no report
  TypeAt(25, 1, "below\r");
  EXPECT_TRUE(Log.empty());
  DeleteLine(21);  // B's line goes
  EXPECT_EQ(Log, (std::vector<std::string>{"line 21->-1 200", "pos 0->0 200"}));
  EXPECT_FALSE(T.InUse(B));
  EXPECT_EQ(T.Add(3, 0, 300), B);  // the freed entry is taken again
  EXPECT_EQ(T.IndexOfData(300), B);
  EXPECT_EQ(T.IndexOf(TCharPos{4, 11}), A);
  Undo(V);  // the deleted line comes back; its entry does not
  EXPECT_EQ(T.GetData(B), 300u);
}

TEST_F(Tracker, SetPositionIsNotReportedAndADetachedTableStaysPut) {
  TEdTracker T(Buffer.get());
  T.Attach();
  const int I = T.Add(5, 0, 1);
  int Reports = 0;
  T.FOnPosMoved = [&](TCharPos, TCharPos, uint32_t) { ++Reports; };
  T.SetPosition(I, TCharPos{1, 7});
  TypeAt(20, 1, "x");
  EXPECT_EQ(Reports, 0);
  EXPECT_EQ(T.GetTrackPos(I).LineNum, 7);
  T.Detach();
  TypeAt(1, 1, "x\r");
  EXPECT_EQ(T.GetLineNum(I), 7);
  EXPECT_EQ(Reports, 0);
  T.Attach();
  TypeAt(1, 1, "y\r");
  EXPECT_EQ(T.GetLineNum(I), 8);
}

TEST_F(Tracker, AHandlerMayEditTheTextInAnswer) {
  TEdTracker T(Buffer.get());
  T.Attach();
  T.Add(10, 0, 7);
  int Calls = 0;
  T.FOnLineMoved = [&](int32_t, int32_t New, uint32_t) {
    if (++Calls == 1) TypeAt(New + 1, 1, "note\r");  // below: moves nothing
  };
  TypeAt(1, 1, "top\r");
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(T.GetLineNum(0), 11);
  EXPECT_EQ(Buffer->GetLine(11), "note");
}

TEST_F(Tracker, GoingAwayWithAReportQueuedNeverReports) {
  // A tracker whose handler reaches a member of its own.
  struct TOwnLog : TEdTracker {
    using TEdTracker::TEdTracker;
    std::vector<int32_t> Lines;
  };
  auto T = std::make_unique<TOwnLog>(Buffer.get());
  int Calls = 0;
  T->FOnLineMoved = [Self = T.get(), &Calls](int32_t, int32_t New, uint32_t) {
    ++Calls;
    Self->Lines.push_back(New);
  };
  T->Attach();
  T->Add(10, 0, 1);
  // Told of the change after the script, before the queued reports run, a listener ends it.
  const int Listener = 0;
  EvEditBufferModified().Add(&Listener, [&](TEvEditBufferModified&) { T.reset(); });
  TypeAt(1, 1, "new\r");
  EvEditBufferModified().Remove(&Listener);
  EXPECT_EQ(T, nullptr);
  EXPECT_EQ(Calls, 0);
}

TEST_F(Tracker, GrowsInStepsKeepsTrackingAndStopsAtTheLimit) {
  TEdTracker T(Buffer.get());
  T.Attach();
  for (int I = 0; I < 9; ++I) T.Add(I + 1, 0, static_cast<uint32_t>(I));
  EXPECT_EQ(T.Capacity(), 12);  // 4, 8, 12
  for (int I = 9; I < 70; ++I) T.Add(I % 30 + 1, 0, static_cast<uint32_t>(I));
  EXPECT_EQ(T.Capacity(), 76);  // ... 60, 76 (+16 below 65), then a quarter more
  // The kernel was handed the table each time it moved.
  TypeAt(1, 1, "x\r");
  EXPECT_EQ(T.GetLineNum(0), 2);
  EXPECT_EQ(T.GetLineNum(69), 11);
  while (T.Count() < TEdTracker::MaxEntries) ASSERT_GE(T.Add(1, 0, 0), 0);
  EXPECT_EQ(T.Add(1, 0, 0), -1);
  T.Clear();
  EXPECT_EQ(T.Count(), 0);
  EXPECT_EQ(T.Add(3, 0, 9), 0);
}

TEST_F(Tracker, BreakpointsAndLineMarksStayOnTheirLinesText) {
  GotoLineCol(V, 12, 1);
  View->ToggleBreakpoint();
  auto Mark = std::make_shared<TCustomEditorLineMark>();
  auto Other = std::make_shared<TCustomEditorLineMark>();
  TEditorLineMarks& Marks = Buffer->EditorLineMarks();
  Marks.AddLineMark(12, Mark);
  Marks.AddLineMark(20, Other);
  Marks.AddLineMark(25, Other);
  TypeAt(1, 1, "a\rb\r");
  EXPECT_EQ(Buffer->BreakMarks(), std::vector<int32_t>{14});
  EXPECT_EQ(Marks.Lines(), (std::vector<int>{14, 22, 27}));
  EXPECT_EQ(Marks.GetMark(14, 0), Mark);
  DeleteLine(22);
  EXPECT_EQ(Marks.Lines(), (std::vector<int>{14, 26}));
  // Lines joined: the marks of both end on the one line.
  GotoLineCol(V, 14, 1);
  CursorLineEnd(V);
  Marks.AddLineMark(15, Other);
  ASSERT_TRUE(Delete(V));
  EXPECT_EQ(Marks.Lines(), (std::vector<int>{14, 25}));
  EXPECT_EQ(Marks.GetMarkCount(14), 2);
  Marks.RemoveLineMark(14, Mark.get());
  Marks.RemoveLineMark(14, Other.get());
  EXPECT_EQ(Marks.Lines(), std::vector<int>{25});
}

}  // namespace
}  // namespace nxs
