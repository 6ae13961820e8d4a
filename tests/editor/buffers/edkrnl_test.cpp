// The command layer on the real kernel: what each operation does to the text, the cursor,
// the block and the undo history, as the editor's commands rely on it.
#include "editor/buffers/edkrnl.h"

#include <gtest/gtest.h>

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/ekinit.h"
#include "support/errorof.h"

namespace nxs {
namespace {

class CommandLayer : public ::testing::Test {
 protected:
  void Load(std::string_view Text) {
    Buffer = TEditBuffer::Create("/nonexistent/commands.txt", false);
    Buffer->ReadFromStreamUTF8(Text);
    View = Buffer->OpenNewView();
    V = View->EkView();
  }
  void TearDown() override {
    View.reset();
    Buffer.reset();
    ExplicitUndoGroupSet = false;
  }
  std::string Text() const {
    std::string S;
    EXPECT_TRUE(WriteToStream(Buffer->EkView(), S, true));
    return S;
  }
  std::string Block() const {
    std::string S;
    EXPECT_TRUE(WriteBlockToStream(V, S));
    return S;
  }
  // Marks and shows a block from Start up to After.
  void MarkBlock(TBlockType Type, TCharPos Start, TCharPos After) {
    SetBlockType(V, Type);
    SetMarkedRange(V, false, false, Start, After);
    UnHideBlock(V);
  }
  bool CanUndo() const { return Buffer->GetEditorState().UndoAvailable; }
  int UndoSteps() {
    int N = 0;
    for (; N < 100 && CanUndo(); ++N) Undo(V);
    return N;
  }
  std::shared_ptr<TEditBuffer> Buffer;
  std::unique_ptr<TEditView> View;
  PEkView V = nullptr;
};

TEST_F(CommandLayer, InsertStringTypesLineBreaksInTheFilesFormAndIgnoresLineFeeds) {
  Load("one\r\ntwo\r\n");
  const uint64_t Calls = APICount;
  InsertString(V, "\n\n\n");
  EXPECT_EQ(APICount, Calls);  // nothing to type: the kernel is not even asked
  EXPECT_EQ(Text(), "one\r\ntwo\r\n");
  EXPECT_FALSE(CanUndo());
  EXPECT_FALSE(Buffer->GetIsModified());
  InsertString(V, "a\r\nb");
  EXPECT_EQ(Text(), "a\r\nbone\r\ntwo\r\n");
  EXPECT_EQ(V->Cursor.LineNum, 2);
  EXPECT_EQ(V->Cursor.Col, 2);
  // A literal is not indented; its breaks take the file's form too.
  InsertLiteral(V, "x\n  y");
  EXPECT_EQ(Text(), "a\r\nbx\r\n  yone\r\ntwo\r\n");
}

TEST_F(CommandLayer, TypingUndoesAsOneStepUntilTheCursorMovesOrTheKindChanges) {
  Load("text\n");
  for (char C : std::string("abc")) InsertString(V, std::string(1, C));
  CursorCharRight(V);
  InsertString(V, "d");
  InsertString(V, "e");
  ASSERT_TRUE(Delete(V));
  EXPECT_EQ(Text(), "abctdext\n");
  EXPECT_EQ(UndoSteps(), 3);  // "abc", "de", the deletion
  EXPECT_EQ(Text(), "text\n");
  EXPECT_FALSE(Buffer->GetIsModified());
}

TEST_F(CommandLayer, AnOpenGroupStaysUndoableWholeUnderASmallUndoLimit) {
  Load("");
  SetUndoLimit(V, 3);
  EXPECT_EQ(GetUndoLimit(V), 3u);
  for (char C : std::string("hello")) InsertString(V, std::string(1, C));
  Undo(V);
  EXPECT_EQ(Text(), "");
}

TEST_F(CommandLayer, ClearingTheHistoryKeepsTheLimitAndLaterEditsUndoable) {
  Load("abc\n");
  SetUndoLimit(V, 250);
  InsertString(V, "x");
  ClearUndoBuffer(V);
  EXPECT_FALSE(CanUndo());
  EXPECT_EQ(GetUndoLimit(V), 250u);
  CursorLineEnd(V);
  InsertString(V, "y");
  Undo(V);
  EXPECT_EQ(Text(), "xabc\n");
}

TEST_F(CommandLayer, DeleteFailsAtTheEndAndOnReadOnlyText) {
  Load("ab");
  CursorBufferBottom(V);
  Delete(V);  // nothing to delete
  EXPECT_EQ(Text(), "ab");
  EXPECT_FALSE(Buffer->GetIsModified());
  CursorBufferTop(V);
  Buffer->SetReadOnly(true);
  EXPECT_FALSE(Delete(V));
  InsertString(V, "x");
  EXPECT_EQ(Text(), "ab");
  Buffer->SetReadOnly(false);
  EXPECT_TRUE(Delete(V));
  EXPECT_EQ(Text(), "b");
}

TEST_F(CommandLayer, AReaderThatFailsRaisesCannotLoadFileAndKeepsTheText) {
  Load("kept\n");
  EXPECT_EQ(test::ErrorOf<EEditorError>([&] {
              ReadFromStream(V, [](char*, int32_t) -> int32_t { throw std::runtime_error("disk gone"); });
            }),
            "Cannot load file");
  EXPECT_EQ(Text(), "kept\n");
  // Read in small pieces, a text arrives whole.
  std::string Source = std::string(5000, 'a') + "\r\n" + std::string(70000, 'b');
  size_t At = 0;
  ReadFromStream(V, [&](char* Out, int32_t Count) {
    const size_t N = std::min<size_t>({static_cast<size_t>(Count), 3, Source.size() - At});
    std::memcpy(Out, Source.data() + At, N);
    At += N;
    return static_cast<int32_t>(N);
  });
  EXPECT_EQ(Text(), Source);
  EXPECT_EQ(GetLineLength(V, 2), 70000);
  EXPECT_EQ(GetLineLength(V, 3), -1);
}

TEST_F(CommandLayer, ClipboardCopiesCutsAppendsAndPastesBlocks) {
  Load("alpha beta\ngamma\n");
  SetClipboardText("before");
  ClipCopy(V);  // no block: the clipboard keeps what it had
  EXPECT_EQ(ClipboardText(), "before");
  EXPECT_TRUE(Buffer->GetEditorState().ClipboardDataValid);
  MarkWord(V);
  EXPECT_EQ(Block(), "alpha");
  ClipCopy(V);
  EXPECT_EQ(ClipboardText(), "alpha");
  GotoLineCol(V, 2, 1);
  MarkCurrentLine(V);
  EXPECT_EQ(Block(), "gamma\n");
  ClipAppend(V);
  EXPECT_EQ(ClipboardText(), "alphagamma\n");
  ClipCut(V);
  EXPECT_EQ(Text(), "alpha beta\n");
  GotoLineCol(V, 1, 7);
  ClipPaste(V);
  EXPECT_EQ(Text(), "alpha gamma\nbeta\n");  // the cut replaced what was appended
  Undo(V);
  EXPECT_EQ(Text(), "alpha beta\n");
  // A zero byte ends what is pasted.
  SetClipboardText(std::string("in\0out", 6));
  ClipPaste(V);
  EXPECT_EQ(Text(), "alpha inbeta\n");
  SetClipboardText("");
  ClipPaste(V);
  EXPECT_EQ(Text(), "alpha inbeta\n");
}

TEST_F(CommandLayer, ColumnBlocksGoToTheClipboardAndComeBackAsColumns) {
  Load("abcd\nefgh\nijkl\n");
  MarkBlock(btColumn, TCharPos{1, 1}, TCharPos{3, 2});
  ClipCut(V);
  EXPECT_EQ(Text(), "ad\neh\nijkl\n");
  GotoLineCol(V, 3, 1);
  SetBlockType(V, btNonInclusive);
  ClipPaste(V);
  EXPECT_EQ(GetBlockType(V), btColumn);
}

TEST_F(CommandLayer, BlocksAreMarkedShownHiddenAndIndented) {
  Load("one\ntwo\nthree\n");
  EXPECT_FALSE(BlockIsMarked(V));
  EXPECT_EQ(IndentBlock(V, false, 2), erNoBlock);
  MarkBlock(btNonInclusive, TCharPos{0, 1}, TCharPos{0, 3});
  EXPECT_TRUE(BlockVisible(V));
  GotoLineCol(V, 2, 2);
  EXPECT_TRUE(CursorInBlock(V));
  HideBlock(V);
  EXPECT_FALSE(BlockVisible(V));
  UnHideBlock(V);
  IndentBlock(V, false, 2);
  EXPECT_EQ(Text(), "  one\n  two\nthree\n");
  IndentBlock(V, true, 1);
  EXPECT_EQ(Text(), " one\n two\nthree\n");
}

// Kernel: indenting moves the block's start off the first column, so the block no longer
// holds whole lines.
TEST_F(CommandLayer, IndentedBlockStillHoldsWholeLines) {
  Load("one\ntwo\nthree\n");
  MarkBlock(btNonInclusive, TCharPos{0, 1}, TCharPos{0, 3});
  IndentBlock(V, false, 2);
  EXPECT_EQ(Block(), "  one\n  two\n");
  DeleteBlock(V);
  EXPECT_EQ(Text(), "three\n");
}

TEST_F(CommandLayer, CursorMovesStayInsideTheText) {
  Load("ab\n\tx\nlast");
  GotoLineCol(V, 99, 1);
  EXPECT_EQ(V->Cursor.LineNum, 3);
  CursorLineEnd(V);
  EXPECT_EQ(V->Cursor.Col, 5);
  CursorBufferTop(V);
  CursorCharLeft(V);
  EXPECT_EQ(V->Cursor.LineNum, 1);
  EXPECT_EQ(V->Cursor.Col, 1);
  CursorDown(V);
  CursorLineEnd(V);
  // A tab spans to the next stop: screen column and character index differ.
  const TCharPos P = ConvertPos(V, V->Cursor);
  EXPECT_EQ(P.Index, 2);
  EXPECT_EQ(ConvertPos(V, P).Col, V->Cursor.Col);
  EXPECT_EQ(ConvertCharPosToPos(V, TCharPos{1, 2}), 4);
  CursorCharRight(V);
  EXPECT_EQ(V->Cursor.LineNum, 3);
  BreakLine(V);
  EXPECT_EQ(Text(), "ab\n\tx\n\nlast");
  EXPECT_EQ(V->Cursor.LineNum, 3);  // the cursor stays before the break
  InsertTextAtTop(V, "top ");
  EXPECT_EQ(Text(), "top ab\n\tx\n\nlast");
}

TEST_F(CommandLayer, FrozenLineNumbersFindLinesAfterEdits) {
  Load("1\n2\n3\n4\n");
  FreezeLineNumbers(V);
  GotoLineCol(V, 1, 1);
  InsertString(V, "new\rnew\r");
  EXPECT_EQ(RealToFrozen(V, 5), 3);
  EXPECT_EQ(RealToFrozen(V, 1), 0);  // added since
  GotoFrozenLine(V, 4);
  EXPECT_EQ(V->Cursor.LineNum, 6);
}

TEST_F(CommandLayer, LineBreakStylesReadAndChangePerLine) {
  Load("a\r\nb\nc\rd");
  EXPECT_EQ(GetLineBreakStyle(V, 1), lbsCRLF);
  EXPECT_EQ(GetLineBreakStyle(V, 2), lbsLF);
  EXPECT_EQ(GetLineBreakStyle(V, 3), lbsCR);
  EXPECT_EQ(GetLineBreakStyle(V, 4), lbsNone);
  SetLineBreakStyle(V, 2, lbsCRLF);
  EXPECT_EQ(Text(), "a\r\nb\r\nc\rd");
}

TEST_F(CommandLayer, TheTextForParsersEndsEveryLineWithALineFeedAndKeepsTypingOneStep) {
  Load("a\r\nb\nc\rd\r\n");
  InsertString(V, "x");
  EXPECT_EQ(GetBufferText(V), "xa\nb\nc\nd\n");
  InsertString(V, "y");
  EXPECT_EQ(Text(), "xya\r\nb\nc\rd\r\n");  // the buffer keeps its own breaks
  EXPECT_EQ(UndoSteps(), 1);
  // A deletion brings a CR and an LF stored apart together: one break, one line feed.
  Load("a\rZ\nb\r");
  CursorDown(V);
  ASSERT_TRUE(Delete(V));
  EXPECT_EQ(Text(), "a\r\nb\r");
  EXPECT_EQ(GetBufferText(V), "a\nb\n");
  Load("");
  EXPECT_EQ(GetBufferText(V), "");
}

TEST_F(CommandLayer, TheTextReadInSlicesIsTheParsersTextAndFailsWhenItChangesOnTheWay) {
  // Several slices' worth, with a CR LF across the first slice boundary (a quarter megabyte).
  std::string Long(262143, 'a');
  for (size_t I = 100; I < Long.size(); I += 100) Long[I] = (I / 100) % 3 == 0 ? '\r' : '\n';
  Long += "\r\nb\rc\n";
  while (Long.size() < 700000) Long += "line\r\n";
  Load(Long);
  InsertString(V, "x");
  std::string Sliced;
  ASSERT_TRUE(ReadBufferTextInSlices(V, Sliced));
  EXPECT_TRUE(Sliced == GetBufferText(V));  // not printed: too long
  InsertString(V, "y");
  EXPECT_EQ(UndoSteps(), 1);  // reading between two keystrokes kept them one step

  int Asked = 0;
  EXPECT_FALSE(ReadBufferTextInSlices(V, Sliced, [&] { return ++Asked == 2; }));
  EXPECT_EQ(Asked, 2);
  // A change between two slices: what was read belongs to another text.
  Asked = 0;
  EXPECT_FALSE(ReadBufferTextInSlices(V, Sliced, [&] {
    if (++Asked == 2) InsertString(V, "z");
    return false;
  }));
  Load("");
  ASSERT_TRUE(ReadBufferTextInSlices(V, Sliced));
  EXPECT_EQ(Sliced, "");
}

}  // namespace
}  // namespace nxs
