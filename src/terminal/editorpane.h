// An editor view on the screen: the kernel view's window painted into a rectangle of cells,
// a gutter (marks, line numbers, fold marks) and the text with its syntax colours, the block,
// the search match, the marked lines and decorations such as sync edit points.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "editor/kernel/ek.h"
#include "terminal/cells.h"

namespace nxs {
class TAttributeArray;
class TEditView;
}  // namespace nxs

namespace nxs::term {

class TPalette;

// A run of a line shown in a display element's colours over the text's own: character
// indexes from 0, End exclusive.
struct TDecoration {
  int32_t Line = 0;
  int32_t Start = 0, End = 0;
  int Element = 0;
};
// Fills the decorations of the lines First..Last.
using TDecorationSource = std::function<void(int32_t First, int32_t Last, std::vector<TDecoration>& Out)>;

class TEditorPane {
 public:
  TEditorPane(TEditView& View, const TAttributeArray& Colors, const TPalette& Palette);
  TEditorPane(const TEditorPane&) = delete;  // holds the view by reference
  TEditorPane& operator=(const TEditorPane&) = delete;

  TEditView& View() const { return FView; }
  void SetDecorations(TDecorationSource Source) { FDecorations = std::move(Source); }
  void SetShowLineNumbers(bool On) { FLineNumbers = On; }

  // Sizes the kernel view's window to the rectangle, scrolls it so that the cursor shows and
  // paints it.
  void Draw(TCellGrid& Grid, const TRect& R);
  // Where the cursor is on the screen after the last Draw; false when it is not on the pane.
  bool CursorCell(int& Row, int& Col) const;
  // The text position under a screen cell (a click); false outside the text.
  bool PositionAt(int Row, int Col, TEdPos& Pos) const;
  int GutterWidth() const { return FGutter; }
  // The buffer line each row showed at the last Draw (0 for rows past the end).
  const std::vector<int32_t>& RowLines() const { return FRowLines; }

 private:
  void DrawGutter(TCellGrid& Grid, int Row, int32_t Line, int32_t Hidden, uint32_t Flags, char Bookmark);
  TCellStyle Element(int E) const;

  TEditView& FView;
  const TAttributeArray& FColors;
  const TPalette& FPalette;
  TDecorationSource FDecorations;
  bool FLineNumbers = true;
  TRect FRect{};
  int FGutter = 0;
  std::vector<int32_t> FRowLines;
  std::vector<char> FLineBuffer;
  std::vector<TAttrEntry> FAttrs;
};

}  // namespace nxs::term
