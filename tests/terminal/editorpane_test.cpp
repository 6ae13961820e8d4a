// The editor view on the screen: what the cells show for a buffer's lines (tabs, wide
// characters, horizontal scrolling, the block, syntax colours, folds and marked lines), read
// back from the cell grid the terminal would be given.
#include "terminal/editorpane.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/buffers/attributes.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/elisions.h"
#include "editor/language/generic.h"
#include "editor/language/highlight.h"
#include "support/files.h"
#include "support/tempdir.h"
#include "terminal/palette.h"

namespace nxs::term {
namespace {

class EditorPane : public ::testing::Test {
 protected:
  EditorPane() {
    ResetHighlightManager();
    InstallHighlighters(&AddGenericHighlighters);
    InitEditorKernel();
  }
  ~EditorPane() override {
    View.reset();
    Buffer.reset();
    DoneEditorKernel();
    SetEditorKernelStartupHook(nullptr);
    ResetHighlightManager();
  }
  // Opens the text as a file of that name with one view, painted on a grid of Rows x Cols.
  void Open(const std::string& Text, const std::string& Name = "u.pas") {
    const std::string Path = Temp.Path() + "/" + Name;
    nxs::test::WriteText(Path, Text);
    Buffer = TEditBuffer::Create(Path, true);
    View = Buffer->OpenNewView();
    Pane = std::make_unique<TEditorPane>(*View, Colors, Palette);
  }
  void Draw(int Rows = 6, int Cols = 30) {
    Grid.Resize(Rows, Cols);
    Pane->Draw(Grid, TRect{0, 0, Rows, Cols});
  }
  // The text part of a row, without the gutter.
  std::string Text(int Row) { return Grid.RowText(Row).substr(static_cast<size_t>(Pane->GutterWidth())); }
  const TCell& TextCell(int Row, int Col) { return Grid.At(Row, Pane->GutterWidth() + Col); }
  PEkView V() { return View->EkView(); }

  nxs::test::TTempDir Temp;
  TAttributeArray Colors;
  TPalette Palette{256};
  TCellGrid Grid;
  std::shared_ptr<TEditBuffer> Buffer;
  std::unique_ptr<TEditView> View;
  std::unique_ptr<TEditorPane> Pane;
};

TEST_F(EditorPane, TabsAndWideCharactersTakeTheKernelsColumnsAndTheGutterNumbersLines) {
  Open("a\tb\n\xE6\x97\xA5\xE6\x9C\xAC|x\nctl\x01z\n");
  Draw();
  EXPECT_EQ(Grid.RowText(0).substr(0, 7), "   1  a");
  // The tab reaches the kernel's next stop, wherever the buffer's tab rack puts it.
  const int32_t B = ConvertPos(V(), TCharPos{2, 1}).Col;
  ASSERT_GT(B, 2);
  EXPECT_EQ(Text(0).substr(0, static_cast<size_t>(B)), "a" + std::string(static_cast<size_t>(B - 2), ' ') + "b");
  // Two wide characters take four columns; the bar stands in the fifth.
  EXPECT_EQ(TextCell(1, 0).Kind, TCellKind::WideLead);
  EXPECT_EQ(TextCell(1, 1).Kind, TCellKind::WideTail);
  EXPECT_EQ(TextCell(1, 4).Ch, U'|');
  // A control character never reaches the terminal as itself.
  EXPECT_EQ(Text(2).substr(0, 5), "ctl?z");
  // Rows past the end are blank, gutter included.
  EXPECT_EQ(Grid.RowText(5), std::string(30, ' '));
  int Row = -1, Col = -1;
  GotoLineCol(V(), 2, 5);
  Draw();
  ASSERT_TRUE(Pane->CursorCell(Row, Col));
  EXPECT_EQ(Row, 1);
  EXPECT_EQ(Col, Pane->GutterWidth() + 4);
}

TEST_F(EditorPane, ALongLineScrollsHorizontallyToTheCursor) {
  std::string Long(100000, 'x');
  Long.replace(60000, 6, "marker");
  Open("short\n" + Long + "\n");
  GotoLineCol(V(), 2, 60004);
  Draw(4, 40);
  int Row = -1, Col = -1;
  ASSERT_TRUE(Pane->CursorCell(Row, Col));
  EXPECT_EQ(Row, 1);
  const int At = Col - Pane->GutterWidth();
  EXPECT_EQ(Text(1).substr(static_cast<size_t>(At - 3), 4), "mark");
  EXPECT_GE(V()->WinLeftCol, 59000);
  // The short line is scrolled out of sight with the long one.
  EXPECT_EQ(Text(0), std::string(static_cast<size_t>(40 - Pane->GutterWidth()), ' '));
  // Back at the start the window returns.
  GotoLineCol(V(), 1, 1);
  Draw(4, 40);
  EXPECT_EQ(Text(0).substr(0, 6), "short ");
}

TEST_F(EditorPane, StreamAndColumnBlocksShowInTheMarkedBlockColours) {
  Open("0123456789\n0123456789\n0123456789\n");
  const TCellStyle Marked = Palette.ElementStyle(Colors, deMarkedBlock);
  SetMarkedRange(V(), false, false, TCharPos{3, 1}, TCharPos{5, 2});
  Draw();
  EXPECT_NE(TextCell(0, 2).Style, Marked);
  EXPECT_EQ(TextCell(0, 3).Style, Marked);
  EXPECT_EQ(TextCell(0, 9).Style, Marked);
  EXPECT_EQ(TextCell(1, 0).Style, Marked);
  EXPECT_EQ(TextCell(1, 4).Style, Marked);
  EXPECT_NE(TextCell(1, 5).Style, Marked);
  SetBlockType(V(), btColumn);
  SetMarkedRange(V(), false, false, TCharPos{2, 1}, TCharPos{4, 3});
  Draw();
  for (int Row = 0; Row < 3; ++Row) {
    EXPECT_NE(TextCell(Row, 1).Style, Marked) << Row;
    EXPECT_EQ(TextCell(Row, 2).Style, Marked) << Row;
    EXPECT_EQ(TextCell(Row, 3).Style, Marked) << Row;
    EXPECT_NE(TextCell(Row, 4).Style, Marked) << Row;
  }
}

TEST_F(EditorPane, SyntaxColoursComeFromTheBuffersHighlighter) {
  Open("begin { note }\n  x := 'text';\nend.\n");
  const int I = HighlightManager().LookupHighlighter("Tarvos.Highlighter.Pascal");
  ASSERT_GE(I, 0);
  Buffer->SetSyntaxLang(HighlightManager().GetSyntaxCode(I));
  Draw();
  EXPECT_EQ(TextCell(0, 0).Style, Palette.ElementStyle(Colors, 2));  // reserved word
  EXPECT_EQ(TextCell(0, 8).Style, Palette.ElementStyle(Colors, 1));  // comment
  EXPECT_EQ(TextCell(1, 8).Style, Palette.ElementStyle(Colors, 5));  // string
  EXPECT_NE(Palette.ElementStyle(Colors, 2), Palette.ElementStyle(Colors, 1));
}

TEST_F(EditorPane, AFoldedBlockShowsAsOneMarkedRowAndMarkedLinesInTheirColours) {
  Open("one\ntwo\nthree\nfour\nfive\nsix\n");
  ASSERT_TRUE(AddElisionBlock(V(), TCharPos{0, 2}, TCharPos{4, 4}, true, ""));
  Buffer->SetErrorLine(6);
  Buffer->ToggleBreakpoint(5);
  ASSERT_TRUE(View->BookmarkRecord(3, false));
  Draw();
  EXPECT_EQ(Pane->RowLines()[1], 2);
  EXPECT_EQ(Pane->RowLines()[2], 5);
  EXPECT_EQ(Grid.RowText(1)[Pane->GutterWidth() - 2], '+');
  EXPECT_NE(Text(1).find("two ..."), std::string::npos);
  EXPECT_EQ(Grid.RowText(2)[0], '*');
  EXPECT_EQ(Grid.RowText(3)[0], '!');
  EXPECT_EQ(Grid.RowText(0)[0], '3');
  EXPECT_EQ(TextCell(3, 0).Style, Palette.ElementStyle(Colors, 28));
  EXPECT_EQ(TextCell(2, 0).Style, Palette.ElementStyle(Colors, 25));
  UnElideAll(V());
  Draw();
  EXPECT_EQ(Pane->RowLines()[2], 3);
  EXPECT_EQ(Grid.RowText(1)[Pane->GutterWidth() - 2], '-');
}

TEST_F(EditorPane, DecorationsCoverCharactersNotColumns) {
  Open("\tab cd\n");
  Pane->SetDecorations([](int32_t First, int32_t Last, std::vector<TDecoration>& Out) {
    Out.push_back(TDecoration{1, 1, 3, 23});  // "ab", after the tab
  });
  Draw();
  TCellStyle Sync = Palette.ElementStyle(Colors, 23);
  Sync.Attr |= caUnderline;
  const int32_t A = ConvertPos(V(), TCharPos{1, 1}).Col - 1;
  EXPECT_NE(TextCell(0, A - 1).Style, Sync);
  EXPECT_EQ(TextCell(0, A).Style, Sync);
  EXPECT_EQ(TextCell(0, A + 1).Style, Sync);
  EXPECT_NE(TextCell(0, A + 2).Style, Sync);
}

}  // namespace
}  // namespace nxs::term
