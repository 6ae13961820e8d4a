// Sync edit on real buffers: which identifiers become points in each language, edits of every
// kind made in one occurrence reaching all of them, undo and redo across the entry, template
// mode and navigation, and the edits that must not spread.
#include "editor/language/syncedit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edfixture.h"

namespace nxs {
namespace {

class SyncEdit : public test::EditorFiles {
 protected:
  void TearDown() override {
    V.reset();
    B.reset();
    ResetSyncEditManager();
  }
  void Open(const std::string& Name, const std::string& Text) {
    B = TEditBuffer::Create(Write(Name, Text), true);
    V = B->OpenNewView();
  }
  PEkView K() { return V->EkView(); }
  std::string Text() { return B->SavedText(); }
  void Mark(TCharPos Start, TCharPos After) { SetMarkedRange(K(), false, false, Start, After); }
  bool Start() { return SyncEditManager().SyncEditBlock(*V); }
  // "TEXT×COUNT" per point.
  std::vector<std::string> Groups() {
    std::vector<std::string> R;
    if (TSyncEditPoints* P = SyncEditManager().GetPoints().get())
      for (const TSyncEditPoint& G : P->Points) R.push_back(G.Text + "x" + std::to_string(G.Occurrences.size()));
    return R;
  }
  void Goto(int32_t Line, int32_t Index) { GotoCharPos(K(), TCharPos{Index, Line}); }
  void Key(TEkOp Op) {
    TEkScript S;
    S.Add(Op);
    S.EndMacroStep();
    EvalScript(K(), S);
  }

  std::shared_ptr<TEditBuffer> B;
  std::unique_ptr<TEditView> V;
};

TEST_F(SyncEdit, IdentifierCaseFollowsTheLanguage) {
  // Pascal ignores case: Foo, foo and FOO are one point; reserved words, comments, strings and
  // identifiers seen once are no points.
  Open("u.pas", "var Foo: Integer;\nbegin\n  foo := FOO + 1; { Foo } 'Foo';\n  Bar(Bar);\nend;\n");
  Mark({0, 1}, {0, 5});
  ASSERT_TRUE(Start());
  EXPECT_EQ(Groups(), (std::vector<std::string>{"Foox3", "Barx2"}));
  EXPECT_EQ(SyncEditManager().GetMode(), semSyncEdit);

  // C++ keeps case: two points of two, and nothing of "int" or the comment.
  Open("u.cpp", "int Foo = foo + 1; // Foo\nint g() { return Foo * foo; }\n");
  Mark({0, 1}, {0, 3});
  ASSERT_TRUE(Start());
  EXPECT_EQ(Groups(), (std::vector<std::string>{"Foox2", "foox2"}));

  // Only the marked part counts: "Foo" outside the block stays out.
  Open("w.cpp", "Foo(a, a);\nFoo(a);\n");
  Mark({4, 1}, {0, 2});
  ASSERT_TRUE(Start());
  EXPECT_EQ(Groups(), (std::vector<std::string>{"ax2"}));
  // A block without repeated identifiers starts nothing.
  Mark({0, 2}, {4, 2});
  EXPECT_FALSE(Start());
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
}

TEST_F(SyncEdit, EveryEditInsideAPointReachesEveryOccurrence) {
  Open("e.pas", "x := Val;\nif Val > 0 then Writeln(Val, ValX);\nVal := 0;\n");
  Mark({0, 1}, {0, 4});
  ASSERT_TRUE(Start());
  ASSERT_EQ(Groups(), (std::vector<std::string>{"Valx4"}));
  const std::string Expect = "x := %;\nif % > 0 then Writeln(%, ValX);\n% := 0;\n";
  auto Each = [&](const std::string& Word) {
    std::string R = Expect;
    for (size_t At = R.find('%'); At != std::string::npos; At = R.find('%')) R.replace(At, 1, Word);
    return R;
  };

  Goto(2, 6);  // typing at the end of the second occurrence
  InsertString(K(), "ue");
  EXPECT_EQ(Text(), Each("Value"));
  Goto(1, 5);  // typing at the start of the first
  InsertString(K(), "My");
  EXPECT_EQ(Text(), Each("MyValue"));
  Goto(3, 7);  // backspace at the end of the last
  Key(ekBackspaceDelete);
  EXPECT_EQ(Text(), Each("MyValu"));
  Goto(3, 0);  // delete at the start of the last
  ASSERT_TRUE(Delete(K()));
  EXPECT_EQ(Text(), Each("yValu"));
  Goto(2, 4);  // a paste in the middle
  SetClipboardText("--");
  ClipPaste(K());
  EXPECT_EQ(Text(), Each("y--Valu"));
  // A replacement of one occurrence's whole text.
  Goto(1, 0);
  TEkSearchState State{};
  ASSERT_TRUE(DoOneSearch(K(), TSearchFlags{sfFromCursor, sfGoForward, sfCase}, false, "y--Valu", State));
  ASSERT_EQ(ReplaceString(K(), "Count", State), 0);
  EXPECT_EQ(Text(), Each("Count"));
  // Every occurrence is still followed: an edit in the last one spreads too.
  Goto(3, 5);
  InsertString(K(), "s");
  EXPECT_EQ(Text(), Each("Counts"));
  EXPECT_EQ(Groups(), (std::vector<std::string>{"Countsx4"}));
  // The cursor stays where the typing left it.
  EXPECT_EQ(ConvertPos(K(), K()->Cursor).Index, 6);
  EXPECT_EQ(K()->Cursor.LineNum, 3);

  // One undo takes back the edit with its copies.
  Undo(K());
  EXPECT_EQ(Text(), Each("Count"));
  EXPECT_EQ(SyncEditManager().GetMode(), semSyncEdit);

  // Cancelled: edits stay where they are made.
  SyncEditManager().CancelSyncEdit();
  Goto(1, 10);
  InsertString(K(), "!");
  EXPECT_EQ(Text(), "x := Count!;\nif Count > 0 then Writeln(Count, ValX);\nCount := 0;\n");
}

TEST_F(SyncEdit, UndoingPastTheEntryLeavesTheModeWithTheBlockAndRedoEntersAgain) {
  // The entry is the first change since the file was opened.
  Open("d.pas", "a := b + b;\nc := a;\n");
  Mark({0, 1}, {6, 2});
  SetBlockType(K(), btNonInclusive);
  ASSERT_TRUE(Start());
  EXPECT_FALSE(BlockVisible(K()));
  Goto(1, 10);
  InsertString(K(), "2");
  EXPECT_EQ(Text(), "a := b2 + b2;\nc := a;\n");
  // The first edit in the mode undoes on its own: the mode stays.
  Undo(K());
  EXPECT_EQ(Text(), "a := b + b;\nc := a;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semSyncEdit);
  EXPECT_FALSE(B->GetIsModified());
  // The entry is the next step: the mode ends, the block is back, nothing is left to undo.
  Undo(K());
  EXPECT_EQ(Text(), "a := b + b;\nc := a;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
  EXPECT_FALSE(B->GetEditorState().UndoAvailable);
  EXPECT_FALSE(B->GetIsModified());
  ASSERT_TRUE(BlockVisible(K()));
  TCharPos S, A;
  GetMarkedRange(K(), false, false, S, A);
  EXPECT_EQ(S.LineNum, 1);
  EXPECT_EQ(S.Index, 0);
  EXPECT_EQ(A.LineNum, 2);
  EXPECT_EQ(A.Index, 6);
  // Redo enters again, on the same points, then brings the edit back, and typing spreads
  // once more.
  Redo(K());
  EXPECT_EQ(Text(), "a := b + b;\nc := a;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semSyncEdit);
  Redo(K());
  EXPECT_EQ(Text(), "a := b2 + b2;\nc := a;\n");
  EXPECT_EQ(Groups(), (std::vector<std::string>{"ax2", "b2x2"}));
  Goto(2, 6);
  InsertString(K(), "x");
  EXPECT_EQ(Text(), "ax := b2 + b2;\nc := ax;\n");
  // The other point moved with the copy made before it on its line.
  SyncEditManager().Current()->NextPoint();
  EXPECT_EQ(ConvertPos(K(), K()->Cursor).Index, 6);
  EXPECT_EQ(SyncEditManager().GetPoints()->Points[1].Occurrences[0].Start.Index, 6);
}

TEST_F(SyncEdit, TheEntryIsAStepOfItsOwnBetweenTheTypingBeforeAndAfterIt) {
  // The typing before the entry ends where the first point starts, so that the first
  // keystroke in the mode goes on where it stopped.
  Open("p.c", "xy = xy * r;\n");
  InsertString(K(), "(");
  Mark({1, 1}, {13, 1});
  ASSERT_TRUE(Start());
  EXPECT_EQ(ConvertPos(K(), K()->Cursor).Index, 1);
  InsertString(K(), "z");
  EXPECT_EQ(Text(), "(zxy = zxy * r;\n");
  Undo(K());  // the copies go with the keystroke; the mode stays
  EXPECT_EQ(Text(), "(xy = xy * r;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semSyncEdit);
  Undo(K());  // the entry alone
  EXPECT_EQ(Text(), "(xy = xy * r;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
  TCharPos S, A;
  GetMarkedRange(K(), false, false, S, A);
  EXPECT_EQ(S.Index, 1);
  EXPECT_EQ(A.Index, 13);
  Undo(K());  // the typing before it
  EXPECT_EQ(Text(), "xy = xy * r;\n");
  EXPECT_FALSE(B->GetIsModified());
  // The block is marked where its text is now, the undone edit taken out.
  GetMarkedRange(K(), false, false, S, A);
  EXPECT_EQ(S.Index, 0);
  EXPECT_EQ(A.Index, 12);
  Redo(K());
  EXPECT_EQ(Text(), "(xy = xy * r;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
  Redo(K());
  EXPECT_EQ(SyncEditManager().GetMode(), semSyncEdit);
  EXPECT_EQ(Groups(), (std::vector<std::string>{"xyx2"}));
  Redo(K());
  EXPECT_EQ(Text(), "(zxy = zxy * r;\n");
}

TEST_F(SyncEdit, SavingInTheModeLeavesTheEntryUndoneUnmodified) {
  Open("s.pas", "k := k + 1;\n");
  InsertString(K(), " ");
  Mark({0, 1}, {0, 2});
  ASSERT_TRUE(Start());
  B->SaveFile();
  EXPECT_FALSE(B->GetIsModified());
  Undo(K());  // the entry: the text is still the one saved
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
  EXPECT_FALSE(B->GetIsModified());
  Undo(K());
  EXPECT_EQ(Text(), "k := k + 1;\n");
  EXPECT_TRUE(B->GetIsModified());
  Redo(K());
  Redo(K());
  EXPECT_EQ(SyncEditManager().GetMode(), semSyncEdit);
  EXPECT_FALSE(B->GetIsModified());
}

TEST_F(SyncEdit, ChangesReachingFromOutsideDoNotSpread) {
  Open("o.pas", "k := m + m + m;\nm := 1;\n");
  Mark({0, 1}, {0, 3});
  ASSERT_TRUE(Start());
  ASSERT_EQ(Groups(), (std::vector<std::string>{"mx4"}));
  // A block deleted from before an occurrence into it leaves the others alone; the occurrence
  // leaves its point.
  SetMarkedRange(K(), false, false, TCharPos{2, 1}, TCharPos{6, 1});
  EvalOne(K(), ekDeleteBlock, TDeleteBlockArgs{0}, ekEndMacroStep);
  EXPECT_EQ(Text(), "k  + m + m;\nm := 1;\n");
  EXPECT_EQ(Groups(), (std::vector<std::string>{"mx3"}));
  // A deleted line takes its occurrence out of the point.
  SetMarkedRange(K(), false, false, TCharPos{0, 2}, TCharPos{0, 3});
  EvalOne(K(), ekDeleteBlock, TDeleteBlockArgs{0}, ekEndMacroStep);
  EXPECT_EQ(Text(), "k  + m + m;\n");
  EXPECT_EQ(Groups(), (std::vector<std::string>{"mx2"}));
  // Typing before an occurrence, outside it, changes nothing else.
  Goto(1, 4);
  InsertString(K(), "(");
  EXPECT_EQ(Text(), "k  +( m + m;\n");
  Goto(1, 7);
  InsertString(K(), "n");
  EXPECT_EQ(Text(), "k  +( mn + mn;\n");
}

// Every point's occurrences hold the point's text, and the point's bounds read it from the buffer.
::testing::AssertionResult Consistent(PEkView View) {
  const TSyncEditPoints* Ps = SyncEditManager().GetPoints().get();
  if (!Ps) return ::testing::AssertionFailure() << "no points";
  for (const TSyncEditPoint& P : Ps->Points)
    for (const TSyncEditOccurrence& O : P.Occurrences) {
      if (O.Start.LineNum != O.End.LineNum) return ::testing::AssertionFailure() << P.Text << " spans lines";
      const std::string Line = GetLineText(View, O.Start.LineNum);
      auto Byte = [&](int32_t Index) {
        size_t B = 0;
        for (int32_t I = 0; I < Index && B < Line.size(); ++I)
          for (++B; B < Line.size() && (static_cast<unsigned char>(Line[B]) & 0xC0) == 0x80;) ++B;
        return B;
      };
      const std::string Held = Line.substr(Byte(O.Start.Index), Byte(O.End.Index) - Byte(O.Start.Index));
      if (Held != P.Text)
        return ::testing::AssertionFailure() << "line " << O.Start.LineNum << " column " << O.Start.Index << " holds ["
                                             << Held << "], the point [" << P.Text << "]";
    }
  return ::testing::AssertionSuccess();
}

TEST_F(SyncEdit, PointsSharingALineFollowEachOthersEdits) {
  Open("s.pas", "Foo(Foo, Bar, Foo, Bar);\nBar := Foo;\n");
  Mark({0, 1}, {0, 3});
  ASSERT_TRUE(Start());
  ASSERT_EQ(Groups(), (std::vector<std::string>{"Foox4", "Barx3"}));
  Goto(1, 7);  // the end of the second Foo
  InsertString(K(), "X");
  EXPECT_EQ(Text(), "FooX(FooX, Bar, FooX, Bar);\nBar := FooX;\n");
  Goto(1, 22);  // the start of the last Bar on the first line
  InsertString(K(), "Q");
  EXPECT_EQ(Text(), "FooX(FooX, QBar, FooX, QBar);\nQBar := FooX;\n");
  EXPECT_TRUE(Consistent(K()));
  Goto(1, 4);  // backspace in the first Foo
  Key(ekBackspaceDelete);
  EXPECT_EQ(Text(), "Foo(Foo, QBar, Foo, QBar);\nQBar := Foo;\n");
  EXPECT_TRUE(Consistent(K()));
  EXPECT_EQ(ConvertPos(K(), K()->Cursor).Index, 3);
}

TEST_F(SyncEdit, AnEmptiedOccurrenceEmptiesTheOthersAndTypingFillsThemAgain) {
  Open("m.pas", "v := w + w;\nw := v;\n");
  Mark({0, 1}, {0, 3});
  ASSERT_TRUE(Start());
  // The whole of the second w on the first line, marked and deleted.
  SetMarkedRange(K(), false, false, TCharPos{9, 1}, TCharPos{10, 1});
  EvalOne(K(), ekDeleteBlock, TDeleteBlockArgs{0}, ekEndMacroStep);
  EXPECT_EQ(Text(), "v :=  + ;\n := v;\n");
  EXPECT_EQ(Groups(), (std::vector<std::string>{"vx2", "x3"}));
  Goto(1, 8);
  InsertString(K(), "zz");
  EXPECT_EQ(Text(), "v := zz + zz;\nzz := v;\n");
  EXPECT_TRUE(Consistent(K()));
  // Backspace to nothing, then type again: the start of the text too.
  Goto(2, 2);
  Key(ekBackspaceDelete);
  Key(ekBackspaceDelete);
  EXPECT_EQ(Text(), "v :=  + ;\n := v;\n");
  InsertString(K(), "n");
  EXPECT_EQ(Text(), "v := n + n;\nn := v;\n");
  EXPECT_TRUE(Consistent(K()));
}

TEST_F(SyncEdit, PointsLosingTheirOccurrencesGoAndTheModeEndsWithTheLast) {
  Open("l.pas", "a := b;\nb := a;\na := 0;\n");
  Mark({0, 1}, {0, 4});
  ASSERT_TRUE(Start());
  ASSERT_EQ(Groups(), (std::vector<std::string>{"ax3", "bx2"}));
  SetMarkedRange(K(), false, false, TCharPos{0, 2}, TCharPos{0, 3});
  EvalOne(K(), ekDeleteBlock, TDeleteBlockArgs{0}, ekEndMacroStep);
  EXPECT_EQ(Groups(), (std::vector<std::string>{"ax2"}));
  Goto(1, 1);
  InsertString(K(), "1");
  EXPECT_EQ(Text(), "a1 := b;\na1 := 0;\n");
  SetMarkedRange(K(), false, false, TCharPos{0, 2}, TCharPos{0, 3});
  EvalOne(K(), ekDeleteBlock, TDeleteBlockArgs{0}, ekEndMacroStep);
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
  Goto(1, 2);
  InsertString(K(), "2");
  EXPECT_EQ(Text(), "a12 := b;\n");
}

TEST_F(SyncEdit, OccurrencesFarIntoALongLineFollow) {
  const std::string Filler = "{" + std::string(100000, '.') + "}";
  Open("long.pas", "Idx := Idx + 1; " + Filler + " Idx := 0;\n");
  Mark({0, 1}, {0, 2});
  ASSERT_TRUE(Start());
  ASSERT_EQ(Groups(), (std::vector<std::string>{"Idxx3"}));
  Goto(1, 16 + 100002 + 4);  // the end of the last Idx
  InsertString(K(), "é");
  EXPECT_EQ(test::Difference(Text(), "Idxé := Idxé + 1; " + Filler + " Idxé := 0;\n"), "");
  EXPECT_TRUE(Consistent(K()));
  Goto(1, 0);
  Delete(K());
  EXPECT_EQ(test::Difference(Text(), "dxé := dxé + 1; " + Filler + " dxé := 0;\n"), "");
  EXPECT_EQ(SyncEditManager().GetPoints()->Points[0].Occurrences[2].Start.Index, 16 + 100002 + 1);
}

TEST_F(SyncEdit, UndoAndRedoInsideTheModeKeepEveryOccurrenceAlike) {
  Open("u.pas", "t := t + u;\nu := t;\n");
  Mark({0, 1}, {0, 3});
  ASSERT_TRUE(Start());
  InsertString(K(), "x");  // the cursor is at the start of the first t: the typing goes in
  Goto(1, 2);
  InsertString(K(), "1");
  Goto(2, 8);
  InsertString(K(), "2");
  EXPECT_EQ(Text(), "xt12 := xt12 + u;\nu := xt12;\n");
  Undo(K());
  EXPECT_EQ(Text(), "xt1 := xt1 + u;\nu := xt1;\n");
  EXPECT_TRUE(Consistent(K()));
  Undo(K());
  EXPECT_EQ(Text(), "xt := xt + u;\nu := xt;\n");
  Redo(K());
  EXPECT_EQ(Text(), "xt1 := xt1 + u;\nu := xt1;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semSyncEdit);
  EXPECT_TRUE(Consistent(K()));
  // Typing after the undo goes on spreading, in every point.
  Goto(2, 1);
  InsertString(K(), "v");
  Goto(1, 3);
  Key(ekBackspaceDelete);
  EXPECT_EQ(Text(), "xt := xt + uv;\nuv := xt;\n");
  EXPECT_TRUE(Consistent(K()));
}

struct TRecorder : ISyncEditNotifier {
  std::vector<std::string> Seen;
  void SyncEditModeChanged(TEditView&, int Mode) override { Seen.push_back("mode " + std::to_string(Mode)); }
  void PointActivated(TEditView&, int Point) override { Seen.push_back("point " + std::to_string(Point)); }
};

TEST_F(SyncEdit, TemplatesEditTheirFieldsAndNavigationCyclesThroughPoints) {
  auto Recorder = std::make_shared<TRecorder>();
  const int Index = SyncEditManager().AddNotifier(Recorder);
  Open("t.pas", "begin\n  \nend.\n");
  Goto(2, 2);
  ASSERT_TRUE(InsertTemplate(*V, "for $i$ := 0 to $n$ do\r    Sum := Sum + A[$i$];"));
  EXPECT_EQ(Text(), "begin\n  for i := 0 to n do\n    Sum := Sum + A[i];\nend.\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semTemplate);
  EXPECT_EQ(Groups(), (std::vector<std::string>{"ix2", "nx1"}));
  // The first field is active, the cursor at its start.
  EXPECT_EQ(ConvertPos(K(), K()->Cursor).Index, 6);
  Delete(K());
  InsertString(K(), "Idx");
  EXPECT_EQ(Text(), "begin\n  for Idx := 0 to n do\n    Sum := Sum + A[Idx];\nend.\n");
  TSyncEditController& C = *SyncEditManager().Current();
  C.NextPoint();
  EXPECT_EQ(C.ActivePoint(), 1);
  EXPECT_EQ(ConvertPos(K(), K()->Cursor).Index, 18);
  C.NextPoint();  // round the end
  EXPECT_EQ(C.ActivePoint(), 0);
  C.PrevPoint();
  EXPECT_EQ(C.ActivePoint(), 1);
  Delete(K());
  InsertString(K(), "High(A)");
  EXPECT_EQ(Text(), "begin\n  for Idx := 0 to High(A) do\n    Sum := Sum + A[Idx];\nend.\n");
  // A template without fields is just text.
  SyncEditManager().CancelSyncEdit();
  Goto(4, 4);
  ASSERT_TRUE(InsertTemplate(*V, " $$"));
  EXPECT_EQ(Text(), "begin\n  for Idx := 0 to High(A) do\n    Sum := Sum + A[Idx];\nend. $\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
  EXPECT_EQ(Recorder->Seen, (std::vector<std::string>{"point 0", "mode 2", "point 1", "point 0", "point 1", "mode 0"}));
  SyncEditManager().RemoveNotifier(Index);
}

TEST_F(SyncEdit, TemplatesUndoAndRedoWithTheirInsertion) {
  Open("t.pas", "ab := ab;\nab := 1;\n");
  // A sync edit still on is ended first: the template does not go into every occurrence.
  Mark({0, 1}, {0, 3});
  ASSERT_TRUE(Start());
  Goto(1, 1);
  ASSERT_TRUE(InsertTemplate(*V, "[$x$]"));
  EXPECT_EQ(Text(), "a[x]b := ab;\nab := 1;\n");
  EXPECT_EQ(Groups(), (std::vector<std::string>{"xx1"}));
  Undo(K());
  EXPECT_EQ(Text(), "ab := ab;\nab := 1;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
  Redo(K());
  EXPECT_EQ(Text(), "a[x]b := ab;\nab := 1;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semTemplate);
  EXPECT_EQ(Groups(), (std::vector<std::string>{"xx1"}));
  EXPECT_EQ(ConvertPos(K(), K()->Cursor).Index, 2);
  InsertString(K(), "y");
  EXPECT_EQ(Text(), "a[yx]b := ab;\nab := 1;\n");
  EXPECT_EQ(Groups(), (std::vector<std::string>{"yxx1"}));
  // The first keystroke undoes on its own.
  Undo(K());
  EXPECT_EQ(Text(), "a[x]b := ab;\nab := 1;\n");
  EXPECT_EQ(SyncEditManager().GetMode(), semTemplate);
}

TEST_F(SyncEdit, TypingInAnotherViewOfTheBufferSpreadsToo) {
  Open("v.pas", "n := n + n;\n");
  Mark({0, 1}, {0, 2});
  ASSERT_TRUE(Start());
  std::unique_ptr<TEditView> Other = B->OpenNewView();
  GotoCharPos(Other->EkView(), TCharPos{10, 1});  // the end of the last n
  InsertString(Other->EkView(), "um");
  EXPECT_EQ(Text(), "num := num + num;\n");
  EXPECT_TRUE(Consistent(K()));
  EXPECT_EQ(ConvertPos(Other->EkView(), Other->EkView()->Cursor).Index, 16);
  // The view's end leaves the sync edit of the other view alone.
  Other.reset();
  Goto(1, 3);
  InsertString(K(), "s");
  EXPECT_EQ(Text(), "nums := nums + nums;\n");
}

TEST_F(SyncEdit, ClosingTheViewEndsItsSyncEditAndTheBufferStaysEditable) {
  Open("c.pas", "k := k + 1;\n");
  Mark({0, 1}, {0, 2});
  ASSERT_TRUE(Start());
  auto Recorder = std::make_shared<TRecorder>();
  const int Index = SyncEditManager().AddNotifier(Recorder);
  std::unique_ptr<TEditView> Other = B->OpenNewView();
  V.reset();
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
  EXPECT_EQ(SyncEditManager().Current(), nullptr);
  GotoCharPos(Other->EkView(), TCharPos{1, 1});
  InsertString(Other->EkView(), "2");
  EXPECT_EQ(Text(), "k2 := k + 1;\n");
  InsertString(Other->EkView(), "3");
  EXPECT_EQ(Text(), "k23 := k + 1;\n");
  // No event names the closed view.
  EXPECT_TRUE(Recorder->Seen.empty());
  SyncEditManager().RemoveNotifier(Index);
}

TEST_F(SyncEdit, UndoingTheEntryAfterItsViewClosedMarksTheBlockInAnotherView) {
  Open("w.pas", "k := k + 1;\n");
  std::unique_ptr<TEditView> Other = B->OpenNewView();
  Mark({0, 1}, {0, 2});
  ASSERT_TRUE(Start());
  Goto(1, 1);
  InsertString(K(), "2");
  EXPECT_EQ(Text(), "k2 := k2 + 1;\n");
  V.reset();
  Undo(Other->EkView());  // the keystroke
  EXPECT_EQ(Text(), "k := k + 1;\n");
  Undo(Other->EkView());  // the entry
  ASSERT_TRUE(BlockVisible(Other->EkView()));
  TCharPos S, A;
  GetMarkedRange(Other->EkView(), false, false, S, A);
  EXPECT_EQ(S.LineNum, 1);
  EXPECT_EQ(A.LineNum, 2);
  Redo(Other->EkView());
  EXPECT_EQ(SyncEditManager().GetMode(), semSyncEdit);
  EXPECT_EQ(&SyncEditManager().Current()->View(), Other.get());
  Redo(Other->EkView());
  EXPECT_EQ(Text(), "k2 := k2 + 1;\n");
}

TEST_F(SyncEdit, AReadOnlyBufferHasNoSyncEdit) {
  Open("r.pas", "a := a;\n");
  Mark({0, 1}, {0, 2});
  B->SetReadOnly(true);
  EXPECT_FALSE(Start());
  EXPECT_FALSE(InsertTemplate(*V, "$x$"));
  EXPECT_EQ(SyncEditManager().GetMode(), semNone);
}

}  // namespace
}  // namespace nxs
