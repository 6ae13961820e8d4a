// Reading and changing a buffer from outside the editor: writers that patch by offsets of
// the original text, readers by offset, the read-only stream, and the facade's content, undo
// and notifications.
#include "editor/buffers/editstream.h"

#include <gtest/gtest.h>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editsource.h"
#include "editor/buffers/editview.h"
#include "edfixture.h"
#include "shared/exceptions.h"

namespace nxs {
namespace {

using test::Difference;

class EditStreams : public test::EditorFiles {
 protected:
  std::shared_ptr<TEditBuffer> Open(const std::string& Text) { return TEditBuffer::Create(Write("s.txt", Text), true); }
};

TEST_F(EditStreams, WriterPatchesByOriginalOffsetsAcrossLinesAndCharacters) {
  // "é" is two bytes, "日" three; offsets count bytes of the text as it was.
  const std::string Text = "caf\xC3\xA9\r\n\xE6\x97\xA5 day\r\nkeep\r\n";
  auto B = Open(Text);
  {
    auto W = B->CreateUndoableWriter();
    W->CopyTo(3);
    W->DeleteTo(5);  // "é"
    W->Insert("e");
    W->CopyTo(7);
    W->Insert("[");
    W->CopyTo(10);  // after "日"
    W->Insert("]");
    W->CopyTo(14);
    W->DeleteTo(17);  // " day\r\n" loses "\r\nk" ... joins the lines
    EXPECT_EQ(W->Position(), 17u);
    W->CopyTo(static_cast<uint32_t>(Text.size()));
    W->Insert("tail");
  }
  EXPECT_EQ(Difference(B->SavedText(), "cafe\r\n[\xE6\x97\xA5] dayeep\r\ntail"), "");
  EXPECT_TRUE(B->GetIsModified());
  // An undoable writer's changes undo as one step.
  B->EditSource().Undo();
  EXPECT_EQ(Difference(B->SavedText(), Text), "");
  EXPECT_FALSE(B->GetIsModified());
}

TEST_F(EditStreams, WriterKeepsOtherViewsOnTheirTextAndTheBlankModesOut) {
  auto B = Open("alpha\nbeta\ngamma   \n");
  auto V = B->OpenNewView();
  GotoLineCol(V->EkView(), 3, 3);  // on "mma"
  {
    auto W = B->CreateWriter();
    W->Insert("new line\nand more\n");  // two lines above the view's cursor
    W->CopyTo(10);
    W->Insert("    ");  // blanks at a line end stay as given
  }
  EXPECT_EQ(B->SavedText(), "new line\nand more\nalpha\nbeta    \ngamma   \n");
  EXPECT_EQ(V->Cursor().LineNum, 5);
  EXPECT_EQ(V->Cursor().Col, 3);
  // Not undoable: no history is left to undo into a state the writer never saw.
  EXPECT_FALSE(B->GetEditorState().UndoAvailable);
}

TEST_F(EditStreams, AWriterThatIsNotUndoableLeavesNoHistoryToUndoInto) {
  auto B = Open("saved\n");
  auto V = B->OpenNewView();
  InsertString(V->EkView(), "typed ");
  B->SaveFile();  // unmodified, with its history kept
  ASSERT_TRUE(B->GetEditorState().UndoAvailable);
  {
    auto W = B->CreateWriter();
    W->Insert("written ");
  }
  EXPECT_FALSE(B->GetEditorState().UndoAvailable);
  B->EditSource().Undo();
  EXPECT_EQ(B->SavedText(), "written typed saved\n");
}

TEST_F(EditStreams, WriterInsertsIntoAnEmptyBufferAndAfterTheLastByte) {
  auto B = TEditBuffer::Create((Dir / "empty.txt").string(), false);
  {
    auto W = B->CreateUndoableWriter();
    W->Insert("");
    W->Insert("first\r\n");
    W->Insert("second");
  }
  EXPECT_EQ(B->EditSource().GetContent(), "first\r\nsecond");
  {
    auto W = B->CreateUndoableWriter();
    W->CopyTo(13);
    W->Insert("!");
    W->DeleteTo(100);  // past the end: deletes what there is
  }
  EXPECT_EQ(B->EditSource().GetContent(), "first\r\nsecond!");
}

TEST_F(EditStreams, ReaderReadsAnyOffsetInAnyChunkSize) {
  std::string Text;
  for (int I = 0; I < 2000; ++I) Text += "line " + std::to_string(I) + (I % 3 ? "\r\n" : "\n");
  auto B = Open(Text);
  auto R = B->CreateReader();
  for (int Chunk : {1, 7, 4096}) {
    std::string Got;
    std::string Buf(static_cast<size_t>(Chunk), '\0');
    for (uint32_t At = 0;;) {
      const int N = R->GetText(At, Buf.data(), Chunk);
      if (N <= 0) break;
      Got.append(Buf.data(), static_cast<size_t>(N));
      At += static_cast<uint32_t>(N);
    }
    EXPECT_EQ(Difference(Got, Text), "") << "chunk " << Chunk;
  }
  char Buf[8];
  ASSERT_EQ(R->GetText(100, Buf, 8), 8);
  EXPECT_EQ(std::string(Buf, 8), Text.substr(100, 8));
  ASSERT_EQ(R->GetText(3, Buf, 2), 2);  // backwards
  EXPECT_EQ(std::string(Buf, 2), Text.substr(3, 2));
  EXPECT_EQ(R->GetText(static_cast<uint32_t>(Text.size()), Buf, 8), 0);
  EXPECT_EQ(R->GetText(static_cast<uint32_t>(Text.size()) + 10, Buf, 8), 0);
  EXPECT_EQ(R->GetText(0, Buf, 0), 0);
}

TEST_F(EditStreams, EditorStreamReadsTheTextOnceWithOrWithoutAByteOrderMark) {
  auto B = Open("a\r\nb\rc");
  auto S = OpenEditorStream(*B, true);
  EXPECT_EQ(S->Size(), 9u);
  char Buf[16];
  ASSERT_EQ(S->Read(Buf, 4), 4);
  EXPECT_EQ(std::string(Buf, 4), "\xEF\xBB\xBF" "a");
  ASSERT_EQ(S->Read(Buf, 16), 5);
  EXPECT_EQ(std::string(Buf, 5), "\r\nb\rc");
  EXPECT_EQ(S->Read(Buf, 16), 0);
  EXPECT_EQ(S->Write("x", 1), 0);
  S->Seek(100);
  EXPECT_EQ(S->Position(), 9u);
  auto Plain = OpenEditorStream(*B, false);
  ASSERT_EQ(Plain->Read(Buf, 16), 6);
  EXPECT_EQ(std::string(Buf, 6), "a\r\nb\rc");
  EXPECT_EQ(B->SavedText(), "a\r\nb\rc");  // writing to the stream changed nothing
}

TEST_F(EditStreams, SetContentReplacesEverythingAsOneUndoStep) {
  auto B = Open("one\r\ntwo\r\n");
  B->EditSource().SetContent("three\r\n");
  EXPECT_EQ(B->EditSource().GetContent(), "three\r\n");
  B->EditSource().Undo();
  EXPECT_EQ(B->EditSource().GetContent(), "one\r\ntwo\r\n");
  B->EditSource().Redo();
  EXPECT_EQ(B->EditSource().GetContent(), "three\r\n");
  B->EditSource().SetContent("");
  EXPECT_EQ(B->EditSource().GetContent(), "");
}

TEST_F(EditStreams, SetContentReplacesEverythingWhenLineEndsAreNotPreserved) {
  // GetContent then gives one break form: the text it replaces is still all of the buffer.
  auto B = Open("a\nb\r\nc\rd\n");
  B->SetPreserveLineEnds(false);
  EXPECT_EQ(B->EditSource().GetContent(), "a\nb\nc\nd\n");
  B->EditSource().SetContent("x\r\ny\r\n");
  B->SetPreserveLineEnds(true);
  EXPECT_EQ(B->EditSource().GetContent(), "x\r\ny\r\n");
}

class TRecorder : public IEditSourceNotifier {
 public:
  std::string* Log;
  std::string Name;
  TRecorder(std::string* Log, std::string Name) : Log(Log), Name(std::move(Name)) {}
  void BeforeSave() override { *Log += Name + ":before "; }
  void AfterSave() override { *Log += Name + ":after "; }
  void Modified() override { *Log += Name + ":modified "; }
};

TEST_F(EditStreams, NotifiersHearChangesAndSavesUntilRemoved) {
  auto B = Open("text\n");
  auto V = B->OpenNewView();
  std::string Log;
  const int A = B->EditSource().AddNotifier(std::make_shared<TRecorder>(&Log, "a"));
  const int Second = B->EditSource().AddNotifier(std::make_shared<TRecorder>(&Log, "b"));
  InsertString(V->EkView(), "x");
  EXPECT_EQ(Log, "a:modified b:modified ");
  Log.clear();
  B->EditSource().RemoveNotifier(A);
  B->SaveFile();
  EXPECT_EQ(Log, "b:before b:after ");
  // A freed slot is taken again.
  EXPECT_EQ(B->EditSource().AddNotifier(std::make_shared<TRecorder>(&Log, "c")), A);
  B->EditSource().RemoveNotifier(Second);
  B->EditSource().RemoveNotifier(99);
  Log.clear();
  InsertString(V->EkView(), "y");
  EXPECT_EQ(Log, "c:modified ");
}

TEST_F(EditStreams, FacadeBlockAndOptionsReachTheKernel) {
  auto B = Open("abcdef\nghijkl\n");
  TEditSource& S = B->EditSource();
  S.SetBlock(TCharPos{2, 1}, TCharPos{3, 2}, btNonInclusive);
  EXPECT_TRUE(S.BlockVisible());
  EXPECT_EQ(S.BlockStart().Index, 2);
  EXPECT_EQ(S.BlockAfter().LineNum, 2);
  EXPECT_EQ(S.BlockType(), btNonInclusive);
  std::string Block;
  ASSERT_TRUE(WriteBlockToStream(B->EkView(), Block));
  EXPECT_EQ(Block, "cdef\nghi");
  S.SetTabStops("4 10");
  EXPECT_EQ(S.GetTabStops(), "4 10");
  S.SetTabStops("10 4");  // not rising: ignored
  EXPECT_EQ(S.GetTabStops(), "4 10");
  S.SetUndoLimit(-5);
  EXPECT_EQ(S.GetUndoLimit(), 0);
  S.SetRightMargin(4095);
  EXPECT_EQ(S.GetRightMargin(), 4095);
  S.SetInsertMode(false);
  EXPECT_FALSE(S.GetInsertMode());
  EXPECT_TRUE(S.GetAutoIndent());
}

}  // namespace
}  // namespace nxs
