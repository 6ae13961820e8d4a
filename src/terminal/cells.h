// The screen as the terminal IDE draws it: a grid of cells, each one character with its
// colours, that every pane paints into and that a terminal then shows. Drawing and showing
// are apart so that only the cells that changed since the last frame reach the terminal.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace nxs::term {

// Cell attributes.
enum : uint8_t { caBold = 1, caUnderline = 2, caReverse = 4, caItalic = 8 };

// Colours are terminal palette indexes (0..255); -1 is the terminal's own default.
struct TCellStyle {
  int16_t Fg = -1;
  int16_t Bg = -1;
  uint8_t Attr = 0;
  bool operator==(const TCellStyle&) const = default;
};

// A wide character fills two cells: the first holds it, the second is its tail.
enum class TCellKind : uint8_t { Normal, WideLead, WideTail };

struct TCell {
  char32_t Ch = U' ';
  TCellStyle Style{};
  TCellKind Kind = TCellKind::Normal;
  bool operator==(const TCell&) const = default;
};

struct TRect {
  int Row = 0, Col = 0, Rows = 0, Cols = 0;
  int Bottom() const { return Row + Rows; }
  int Right() const { return Col + Cols; }
  bool Contains(int R, int C) const { return R >= Row && R < Bottom() && C >= Col && C < Right(); }
};

class TCellGrid {
 public:
  TCellGrid() = default;
  TCellGrid(int Rows, int Cols) { Resize(Rows, Cols); }

  // Every cell blank in the default style.
  void Resize(int Rows, int Cols);
  int Rows() const { return FRows; }
  int Cols() const { return FCols; }
  // A cell outside the grid reads as a blank.
  const TCell& At(int Row, int Col) const;
  TCell* Row(int Row) { return FCells.data() + static_cast<size_t>(Row) * static_cast<size_t>(FCols); }
  const TCell* Row(int Row) const { return FCells.data() + static_cast<size_t>(Row) * static_cast<size_t>(FCols); }

  void Fill(const TRect& R, TCellStyle Style, char32_t Ch = U' ');
  // Writes UTF-8 text from (Row, Col), at most MaxCols columns (-1: to the grid's edge), and
  // returns the columns it took. Widths are the editor's; a wide character that would be cut
  // by the limit becomes a blank, and control characters show as '?' so that nothing the
  // text holds can move the terminal's cursor.
  int Put(int Row, int Col, std::string_view Text, TCellStyle Style, int MaxCols = -1);
  // One character of a known width (1 or 2).
  void PutChar(int Row, int Col, char32_t Ch, int Width, TCellStyle Style);
  // Changes the style of cells already written (a highlight over text).
  void Restyle(int Row, int Col, int Cols, TCellStyle Style);

  // The row's characters as text, trailing blanks kept: what a test reads back.
  std::string RowText(int Row) const;

  bool operator==(const TCellGrid&) const = default;

 private:
  int FRows = 0, FCols = 0;
  std::vector<TCell> FCells;
};

// A character the terminal must not see as it is (controls, malformed bytes) as what is shown.
char32_t ShownChar(char32_t Ch);

}  // namespace nxs::term
