#include "terminal/cells.h"

#include <algorithm>
#include <string>

#include "editor/buffers/charwidth.h"
#include "shared/utf8.h"

namespace nxs::term {

char32_t ShownChar(char32_t Ch) {
  if (Ch < 0x20 || Ch == 0x7F || (Ch >= 0x80 && Ch < 0xA0)) return U'?';
  if ((Ch >= 0xD800 && Ch <= 0xDFFF) || Ch > 0x10FFFF) return U'?';
  return Ch;
}

void TCellGrid::Resize(int Rows, int Cols) {
  FRows = std::max(Rows, 0);
  FCols = std::max(Cols, 0);
  FCells.assign(static_cast<size_t>(FRows) * static_cast<size_t>(FCols), TCell{});
}

const TCell& TCellGrid::At(int R, int C) const {
  static const TCell Blank{};
  if (R < 0 || R >= FRows || C < 0 || C >= FCols) return Blank;
  return Row(R)[C];
}

void TCellGrid::Fill(const TRect& R, TCellStyle Style, char32_t Ch) {
  const int Top = std::max(R.Row, 0), Bottom = std::min(R.Bottom(), FRows);
  const int Left = std::max(R.Col, 0), Right = std::min(R.Right(), FCols);
  for (int Y = Top; Y < Bottom; ++Y)
    for (int X = Left; X < Right; ++X) Row(Y)[X] = TCell{Ch, Style, TCellKind::Normal};
}

void TCellGrid::PutChar(int R, int C, char32_t Ch, int Width, TCellStyle Style) {
  if (R < 0 || R >= FRows || C < 0 || C >= FCols) return;
  TCell* Line = Row(R);
  // Writing over half of a wide character leaves its other half a blank.
  if (Line[C].Kind == TCellKind::WideTail && C > 0) Line[C - 1] = TCell{U' ', Line[C - 1].Style, TCellKind::Normal};
  const int Last = C + std::max(Width, 1) - 1;
  if (Last < FCols && Line[Last].Kind == TCellKind::WideLead && Last + 1 < FCols)
    Line[Last + 1] = TCell{U' ', Line[Last + 1].Style, TCellKind::Normal};
  if (Width == 2 && C + 1 < FCols) {
    Line[C] = TCell{Ch, Style, TCellKind::WideLead};
    Line[C + 1] = TCell{U' ', Style, TCellKind::WideTail};
    return;
  }
  Line[C] = TCell{Width == 2 ? U' ' : Ch, Style, TCellKind::Normal};
}

int TCellGrid::Put(int R, int C, std::string_view Text, TCellStyle Style, int MaxCols) {
  if (R < 0 || R >= FRows) return 0;
  const int Limit = std::min(MaxCols < 0 ? FCols - C : MaxCols, FCols - C);
  int Used = 0;
  size_t I = 0;
  while (I < Text.size() && Used < Limit) {
    uint32_t Ch = 0;
    bool Valid = false;
    const int Len = DecodeUtf8(Text.substr(I), Ch, Valid, TUtf8Policy::Strict);
    I += static_cast<size_t>(std::max(Len, 1));
    const char32_t Shown = Valid ? ShownChar(Ch) : U'?';
    const int Width = Valid ? GetUCS4CharWidth(Ch) : 1;
    if (Used + Width > Limit) {
      PutChar(R, C + Used, U' ', 1, Style);
      ++Used;
      break;
    }
    PutChar(R, C + Used, Shown, Width, Style);
    Used += Width;
  }
  return Used;
}

void TCellGrid::Restyle(int R, int C, int Cols, TCellStyle Style) {
  if (R < 0 || R >= FRows) return;
  for (int X = std::max(C, 0); X < std::min(C + Cols, FCols); ++X) Row(R)[X].Style = Style;
}

std::string TCellGrid::RowText(int R) const {
  std::string Out;
  if (R < 0 || R >= FRows) return Out;
  for (int X = 0; X < FCols; ++X) {
    const TCell& Cell = Row(R)[X];
    if (Cell.Kind == TCellKind::WideTail) continue;
    AppendUtf8(Out, Cell.Ch);
  }
  return Out;
}

}  // namespace nxs::term
