// The command layer on the real kernel: replacing everything, reading long lines, and
// setting the whole content of a buffer whose line ends are not preserved.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editsource.h"
#include "editor/buffers/edtracker.h"
#include "editor/buffers/linemarks.h"

namespace nxs {
namespace {

namespace fs = std::filesystem;

class CommandLayerOnKernel : public ::testing::Test {
 protected:
  void SetUp() override {
    Path = (fs::path(NXS_TEST_TMP) / ("edcommands-" + std::to_string(::getpid()) + "-" +
                                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt"))
               .string();
    fs::create_directories(fs::path(Path).parent_path());
  }
  void TearDown() override {
    Buffer.reset();
    fs::remove(Path);
  }
  PEkView Open(const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
    Buffer = TEditBuffer::Create(Path, true);
    return Buffer->EkView();
  }
  std::string Text() {
    std::string Out;
    EXPECT_TRUE(WriteToStream(Buffer->EkView(), Out, true));
    return Out;
  }
  std::string Path;
  std::shared_ptr<TEditBuffer> Buffer;
};

TEST_F(CommandLayerOnKernel, ReplaceAllUndoesAsOneStepAndCountsCharactersOfMatches) {
  PEkView V = Open("caf\xC3\xA9 x caf\xC3\xA9\r\nCAF\xC3\x89\r\n");
  TSearchResult R = SearchInternalError;
  EXPECT_EQ(ReplaceAll(V, {sfGoForward, sfWrapAround}, false, "caf\xC3\xA9", "tea", &R), 3);
  EXPECT_EQ(R, SearchOk);
  EXPECT_EQ(Text(), "tea x tea\r\ntea\r\n");
  Undo(V);
  EXPECT_EQ(Text(), "caf\xC3\xA9 x caf\xC3\xA9\r\nCAF\xC3\x89\r\n");
  EXPECT_EQ(ReplaceAll(V, {sfGoForward, sfRegExp}, false, "(", "", &R), 0);
  EXPECT_EQ(R, SearchUnmatchedParen);
  TEkSearchState S{};
  ASSERT_TRUE(DoOneSearch(V, {sfGoForward, sfFromCursor}, false, "CAF\xC3\x89 X", S));
  EXPECT_EQ(MatchCharLength(V, S), 6);  // five bytes of "café" count as four characters
}

TEST_F(CommandLayerOnKernel, AReplaceOfManyMatchesUndoesAsOneStepAndMarksKeepTheirPlaces) {
  // Some 60,000 matches, their replacement a character longer and a byte longer still.
  std::string Original;
  for (int I = 1; I <= 30000; ++I) Original += "value x value \xC3\xA9 " + std::to_string(I) + "\r\n";
  PEkView V = Open(Original);
  auto Mark = std::make_shared<TCustomEditorLineMark>();
  Buffer->EditorLineMarks().AddLineMark(5000, Mark);
  Buffer->EditorLineMarks().AddLineMark(29999, Mark);
  TEdTracker& Tracker = Buffer->EditSource().EditTracker();
  const int OnAccent = Tracker.Add(100, 14, 0), AtStart = Tracker.Add(20000, 0, 0), InMatch = Tracker.Add(7, 9, 0);
  GotoLineCol(V, 100, 15);  // on the accent
  ASSERT_TRUE(BookmarkRecord(V, 1, false));
  GotoLineCol(V, 1, 1);
  auto Bookmark = [&] { return GetMarkerPos(V, UserMarkToInternalMark(V, 1)); };
  auto Marks = [&] { return Buffer->EditorLineMarks().Lines(); };
  const TCharPos WasBookmark = Bookmark();

  TSearchResult R = SearchInternalError;
  EXPECT_EQ(ReplaceAll(V, {sfGoForward, sfCase}, false, "value", "ma\xC3\xB1" "ana", &R), 60000);
  EXPECT_EQ(R, SearchOk);
  EXPECT_EQ(GetLineText(V, 100), "ma\xC3\xB1" "ana x ma\xC3\xB1" "ana \xC3\xA9 100");
  EXPECT_EQ(Bookmark().LineNum, 100);
  EXPECT_EQ(Bookmark().Index, 16);  // still on the accent
  EXPECT_EQ(Tracker.GetPosition(OnAccent).Index, 16);
  EXPECT_EQ(Tracker.GetPosition(OnAccent).LineNum, 100);
  EXPECT_EQ(Tracker.GetPosition(AtStart).Index, 0);
  EXPECT_EQ(Tracker.GetPosition(InMatch).Index, 9);  // inside a match: at its replacement's start
  EXPECT_EQ(Marks(), (std::vector<int>{5000, 29999}));

  Undo(V);
  EXPECT_EQ(Text(), Original);
  EXPECT_EQ(Bookmark().LineNum, WasBookmark.LineNum);
  EXPECT_EQ(Bookmark().Index, WasBookmark.Index);
  EXPECT_EQ(Tracker.GetPosition(OnAccent).Index, 14);
  EXPECT_EQ(Marks(), (std::vector<int>{5000, 29999}));
  Redo(V);
  EXPECT_EQ(GetLineText(V, 30000), "ma\xC3\xB1" "ana x ma\xC3\xB1" "ana \xC3\xA9 30000");
  Undo(V);
  EXPECT_EQ(Text(), Original);
}

TEST_F(CommandLayerOnKernel, LinesLongerThanTheFirstGuessAreReadWhole) {
  const std::string Long(300, 'q');
  PEkView V = Open("short\n" + Long + "\n");
  EXPECT_EQ(GetLineText(V, 2), Long);
  EXPECT_EQ(Buffer->GetLine(1), Long);
  EXPECT_EQ(GetLineText(V, 1), "short");
  EXPECT_EQ(GetLineText(V, 9), "");
}

TEST_F(CommandLayerOnKernel, SetContentReplacesEverythingWhateverTheLineEnds) {
  Open("one\r\ntwo\r\nthree\r\n");
  Buffer->SetPreserveLineEnds(false);
  Buffer->EditSource().SetContent("new\ntext");
  EXPECT_EQ(Text(), "new\ntext");
}

}  // namespace
}  // namespace nxs
