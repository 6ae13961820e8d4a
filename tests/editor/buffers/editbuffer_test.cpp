// Edit buffers on the real kernel: exact round trips, the modified state across saves and
// undo, reads from another thread, search and the facade's limits.
#include "editor/buffers/editbuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editsource.h"
#include "editor/buffers/editstream.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/ekinit.h"
#include "edfixture.h"
#include "support/errorof.h"

namespace nxs {
namespace {

class EditBufferTest : public test::EditorFiles {};
using test::Difference;

const std::string Mixed = "\xEF\xBB\xBF" "one\r\n\ttab\there\n\xE6\x97\xA5 e\xCC\x81 \xF0\x9F\x98\x80\r" +
                          std::string(100000, 'x') + "\r\nlast";

TEST_F(EditBufferTest, MixedTextSurvivesEditsSaveAndFullUndoByteForByte) {
  // CR LF, LF and CR breaks, tabs, a wide character, a combining mark, an emoji and a line of
  // 100,000 characters: whatever is not edited comes back byte for byte.
  const std::string File = Write("mixed.txt", Mixed);
  auto B = TEditBuffer::Create(File, true);
  auto V = B->OpenNewView();
  ASSERT_EQ(Difference(B->SavedText(), Mixed), "");
  ASSERT_EQ(B->LineCount(), 5);

  std::string Expected = Mixed.substr(3);
  GotoLineCol(V->EkView(), 3, 3);  // after the wide character
  InsertString(V->EkView(), "Q");
  Expected.insert(Expected.find("\xE6\x97\xA5") + 3, "Q");
  GotoLineCol(V->EkView(), 1, 1);
  InsertString(V->EkView(), "A\rB");  // a typed break takes the file's first form
  Expected.insert(0, "A\r\nB");
  GotoLineCol(V->EkView(), 4, 6);  // the combining mark after "e"
  ASSERT_TRUE(Delete(V->EkView()));
  Expected.erase(Expected.find("\xCC\x81"), 2);
  GotoLineCol(V->EkView(), 5, 30000);  // inside the long line
  InsertString(V->EkView(), "MID");
  Expected.insert(Expected.find('x') + 29999, "MID");
  {
    // A writer puts a lone CR as given past the 32,767th character of the long line, and joins
    // that line with the last one.
    auto W = B->CreateUndoableWriter();
    const uint32_t Far = static_cast<uint32_t>(Expected.find('x') + 70000);
    const uint32_t Join = static_cast<uint32_t>(Expected.rfind("\r\nlast"));
    W->CopyTo(Far);
    W->Insert("W\rW");
    W->CopyTo(Join);
    W->DeleteTo(Join + 2);
    Expected.erase(Join, 2);
    Expected.insert(Far, "W\rW");
  }
  Expected.insert(0, "\xEF\xBB\xBF");
  EXPECT_EQ(Difference(B->SavedText(), Expected), "");

  B->SaveFile();
  EXPECT_EQ(Difference(Read(File), Expected), "");
  EXPECT_FALSE(B->GetIsModified());
  int Steps = 0;
  for (; Steps < 10 && B->GetEditorState().UndoAvailable; ++Steps) Undo(V->EkView());
  EXPECT_EQ(Difference(B->SavedText(), Mixed), "");
  EXPECT_FALSE(B->GetEditorState().UndoAvailable);
  EXPECT_TRUE(B->GetIsModified());  // the disk holds the edited text
  EXPECT_GE(Steps, 5);
  while (Steps-- > 0) Redo(V->EkView());
  EXPECT_EQ(Difference(B->SavedText(), Expected), "");
  EXPECT_FALSE(B->GetIsModified());
}

TEST_F(EditBufferTest, UndoPastTheSavePointIsModifiedAndRedoIsNot) {
  const std::string File = Write("a.txt", "abc\n");
  auto B = TEditBuffer::Create(File, true);
  auto V = B->OpenNewView();
  EXPECT_FALSE(B->GetIsModified());
  InsertString(V->EkView(), "x");
  B->SaveFile();
  EXPECT_FALSE(B->GetIsModified());
  Undo(V->EkView());
  EXPECT_TRUE(B->GetIsModified());
  Redo(V->EkView());
  EXPECT_FALSE(B->GetIsModified());
  // Without UndoAfterSave the history goes with the save.
  B->EditSource().SetUndoAfterSave(false);
  InsertString(V->EkView(), "y");
  B->SaveFile();
  EXPECT_FALSE(B->GetEditorState().UndoAvailable);
}

class TCountingOwner : public IEditBufferOwner {
 public:
  void SourceModified(TEditBuffer&) override { ++Told; }
  int Told = 0;
};

TEST_F(EditBufferTest, TheModuleHearsOfUndoAndRedoAcrossTheSavePoint) {
  TCountingOwner Owner;
  auto B = TEditBuffer::Create(Write("owned.txt", "abc\n"), true, nullptr, &Owner);
  auto V = B->OpenNewView();
  InsertString(V->EkView(), "x");
  EXPECT_EQ(Owner.Told, 1);
  B->SaveFile();
  Owner.Told = 0;
  Undo(V->EkView());
  EXPECT_TRUE(B->GetIsModified());
  EXPECT_EQ(Owner.Told, 1);
  Redo(V->EkView());
  EXPECT_FALSE(B->GetIsModified());
  InsertString(V->EkView(), "y");
  EXPECT_EQ(Owner.Told, 2);
}

TEST_F(EditBufferTest, UndoingEveryEditAfterLoadingIsUnmodified) {
  auto B = TEditBuffer::Create(Write("b.txt", "line\n"), true);
  auto V = B->OpenNewView();
  InsertString(V->EkView(), "ab");
  GotoLineCol(V->EkView(), 2, 1);
  InsertString(V->EkView(), "cd");
  Undo(V->EkView());
  Undo(V->EkView());
  EXPECT_EQ(B->SavedText(), "line\n");
  EXPECT_FALSE(B->GetIsModified());
}

TEST_F(EditBufferTest, AnotherThreadReadsWholeEditsWhileTheTextChanges) {
  // The compiler's file services read open buffers from their own thread while the user types:
  // every read sees the text between two edits, never inside one.
  const std::string File = Write("threads.txt", "start\n");
  auto B = TEditBuffer::Create(File, true);
  auto V = B->OpenNewView();
  auto Other = TEditBuffer::Create(Write("other.txt", "x\n"), true);
  auto OtherView = Other->OpenNewView();
  std::atomic<bool> Done{false};
  std::atomic<int> Reads{0}, Torn{0};
  std::thread Reader([&] {
    std::string Text;
    while (!Done) {
      if (!GetOpenBufferText(File, Text) || Text.rfind("start\n", 0) != 0) {
        ++Torn;
        continue;
      }
      const std::string Typed = Text.substr(6);
      for (size_t I = 0; I < Typed.size(); ++I)
        if (Typed[I] != "ab"[I % 2] || Typed.size() % 2) ++Torn;
      ++Reads;
    }
  });
  std::thread Writer([&] {
    for (int I = 0; I < 200; ++I) InsertString(OtherView->EkView(), "y");
  });
  GotoLineCol(V->EkView(), 2, 1);
  for (int I = 0; I < 300; ++I) InsertString(V->EkView(), "ab");
  Writer.join();
  while (Reads < 3) std::this_thread::yield();
  Done = true;
  Reader.join();
  EXPECT_EQ(Torn, 0);
  EXPECT_EQ(B->SavedText(), "start\n" + [] {
    std::string S;
    for (int I = 0; I < 300; ++I) S += "ab";
    return S;
  }());
  EXPECT_EQ(Other->SavedText(), std::string(200, 'y') + "x\n");
}

TEST_F(EditBufferTest, SearchEdgeCases) {
  auto B = TEditBuffer::Create(Write("e.txt", "Foo foo food\nbar\n"), true);
  auto V = B->OpenNewView();
  TEkSearchState S{};
  TSearchResult R;
  EXPECT_TRUE(DoOneSearch(V->EkView(), {sfFromCursor, sfGoForward, sfCase, sfWord}, false, "foo", S, &R));
  EXPECT_EQ(+S.MatchPos.LineNum, 1);
  EXPECT_EQ(+S.MatchPos.Index, 4);
  EXPECT_FALSE(DoOneSearch(V->EkView(), {sfFromCursor, sfGoForward}, false, "", S, &R));
  EXPECT_FALSE(DoOneSearch(V->EkView(), {sfFromCursor, sfGoForward, sfRegExp}, false, "(", S, &R));
  EXPECT_NE(R, SearchOk);
  GotoLineCol(V->EkView(), 2, 1);
  EXPECT_FALSE(DoOneSearch(V->EkView(), {sfFromCursor, sfGoForward}, false, "Foo", S));
  EXPECT_TRUE(DoOneSearch(V->EkView(), {sfFromCursor, sfGoForward, sfWrapAround}, false, "Foo", S));
  EXPECT_EQ(+S.MatchPos.LineNum, 1);
}

TEST_F(EditBufferTest, FacadeRangesAndMissingFileAges) {
  auto B = TEditBuffer::Create((Dir / "never.txt").string(), false);
  EXPECT_EQ(test::ErrorOf<EEditorError>([&] { B->EditSource().SetRightMargin(5000); }),
            "RightMargin must be an integer between 0 and 4095");
  EXPECT_EQ(test::ErrorOf<EEditorError>([&] { B->EditSource().SetLeftGutterWidth(-1); }),
            "Left Gutter Width must be an integer between 0 and 4095");
  EXPECT_FALSE(B->CheckFileDate());  // no file: never a change
  EXPECT_EQ(test::ErrorOf<EEditorError>([&] { B->GetLine(5); }), "Editor line index out of bounds");
}

}  // namespace
}  // namespace nxs
