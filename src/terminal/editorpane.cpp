#include "terminal/editorpane.h"

#include <algorithm>
#include <string>

#include "editor/buffers/attributes.h"
#include "editor/buffers/charwidth.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/elisions.h"
#include "editor/buffers/linemarks.h"
#include "shared/utf8.h"
#include "terminal/palette.h"

namespace nxs::term {

namespace {

// Display elements beyond those attributes.h names.
constexpr int deExecutionPoint = 24, deEnabledBreak = 25, deErrorLine = 28, deFoldedCode = 31, deLineNumber = 32;

int Digits(int32_t N) {
  int D = 1;
  while (N >= 10) N /= 10, ++D;
  return D;
}

}  // namespace

TEditorPane::TEditorPane(TEditView& View, const TAttributeArray& Colors, const TPalette& Palette)
    : FView(View), FColors(Colors), FPalette(Palette) {}

TCellStyle TEditorPane::Element(int E) const { return FPalette.ElementStyle(FColors, E); }

void TEditorPane::DrawGutter(TCellGrid& Grid, int Row, int32_t Line, int32_t Hidden, uint32_t Flags, char Bookmark) {
  const TCellStyle Style = Element(deLineNumber);
  Grid.Fill(TRect{Row, FRect.Col, 1, FGutter}, Style);
  if (Line <= 0) return;
  // The mark column: the execution point over a breakpoint over an error over a bookmark.
  char Mark = Bookmark;
  int MarkElement = deLineNumber;
  if (FView.Buffer().EditorLineMarks().GetMarkCount(Line) > 0) Mark = '#';
  if (Flags & lfErrorLine) Mark = '!', MarkElement = deErrorLine;
  if (Flags & lfBreakpoint) Mark = '*', MarkElement = deEnabledBreak;
  if (Flags & lfExecutionPoint) Mark = '>', MarkElement = deExecutionPoint;
  if (Mark) Grid.PutChar(Row, FRect.Col, static_cast<char32_t>(Mark), 1, Element(MarkElement));
  if (FLineNumbers) {
    const std::string Number = std::to_string(Line);
    Grid.Put(Row, FRect.Col + FGutter - 2 - static_cast<int>(Number.size()), Number, Style);
  }
  // The fold column: '+' on a folded block's first line, '-' where a block could fold.
  char Fold = 0;
  if (Hidden > 0) Fold = '+';
  else if (IsStartOfElisionBlock(FView.EkView(), Line)) Fold = '-';
  if (Fold) Grid.PutChar(Row, FRect.Col + FGutter - 2, static_cast<char32_t>(Fold), 1, Element(deFoldedCode));
}

void TEditorPane::Draw(TCellGrid& Grid, const TRect& R) {
  FRect = R;
  PEkView V = FView.EkView();
  const int32_t Total = TotalLinesInBuffer(V);
  // Three digits at least, so that the text does not move as a short file grows.
  FGutter = FLineNumbers ? std::max(Digits(Total), 3) + 3 : 3;
  if (FGutter >= R.Cols) FGutter = 0;
  const int TextCols = std::max(R.Cols - FGutter, 1);
  {
    TEdModesLock Lock;
    V->FWinLength = std::max(R.Rows, 1);
    V->WinWidth = TextCols;
  }
  FixEd(V);

  // Bookmarks by line, looked up once per frame.
  std::vector<std::pair<int32_t, char>> Bookmarks;
  for (int N = 0; N < 10; ++N) {
    const TCharPos P = GetMarkerPos(V, mkBookmark0 + static_cast<uint32_t>(N));
    if (P.LineNum > 0) Bookmarks.emplace_back(P.LineNum, static_cast<char>('0' + N));
  }

  TPaintContext Ctx{};
  if (!EkBeginPaint(V, &Ctx)) return;
  const int Rows = std::min(R.Rows, static_cast<int>(V->VisibleLines));
  const int32_t LeftCol = std::max<int32_t>(V->WinLeftCol, 1);
  std::vector<std::pair<int32_t, int16_t>> RowLines;  // line and the lines folded under it
  int32_t Line = V->LVecFirst;
  for (int I = 0; I < Rows; ++I) {
    RowLines.emplace_back(Line, V->LVec[I].LineDelta);
    Line += 1 + V->LVec[I].LineDelta;
  }
  std::vector<TDecoration> Decorations;
  if (FDecorations && !RowLines.empty()) FDecorations(RowLines.front().first, RowLines.back().first, Decorations);

  FLineBuffer.resize(static_cast<size_t>(TextCols) * 4 + 8);
  FAttrs.resize(static_cast<size_t>(TextCols) + 2);
  FRowLines.assign(static_cast<size_t>(R.Rows), 0);
  const TCellStyle Plain = Element(deWhitespace);
  for (int I = 0; I < R.Rows; ++I) {
    const int Row = R.Row + I;
    const TRect TextRect{Row, R.Col + FGutter, 1, TextCols};
    if (I >= Rows) {
      DrawGutter(Grid, Row, 0, 0, 0, 0);
      Grid.Fill(TextRect, Plain);
      continue;
    }
    const int32_t L = RowLines[static_cast<size_t>(I)].first;
    FRowLines[static_cast<size_t>(I)] = L;
    Ctx.LineBuffer = FLineBuffer.data();
    Ctx.LineBufferSize = static_cast<uint32_t>(FLineBuffer.size());
    Ctx.Attrs = FAttrs.data();
    Ctx.AttrCapacity = static_cast<uint16_t>(std::min<size_t>(FAttrs.size(), EkMaxAttrEntries));
    Ctx.ColumnWidth = static_cast<uint16_t>(std::min(TextCols, 0xFFFF));
    Ctx.Highlighting = 1;
    if (!EkGetLineContents(V, L, &Ctx)) {
      Grid.Fill(TextRect, Plain);
      continue;
    }
    char Bookmark = 0;
    for (const auto& B : Bookmarks)
      if (B.first == L) Bookmark = B.second;
    DrawGutter(Grid, Row, L, RowLines[static_cast<size_t>(I)].second, Ctx.LineFlags, Bookmark);

    // A marked line shows in its element's colours, which the block and the match still cover.
    int LineElement = -1;
    if (Ctx.LineFlags & lfErrorLine) LineElement = deErrorLine;
    if (Ctx.LineFlags & lfBreakpoint) LineElement = deEnabledBreak;
    if (Ctx.LineFlags & lfExecutionPoint) LineElement = deExecutionPoint;
    TCellStyle LineStyle = LineElement >= 0 ? Element(LineElement) : Plain;
    TLineMarkAttributes MarkAttrs;
    for (int M = 0, N = FView.Buffer().EditorLineMarks().GetMarkCount(L); M < N; ++M)
      if (auto* X = dynamic_cast<TExtendedCustomEditorLineMark*>(FView.Buffer().EditorLineMarks().GetMark(L, M).get()))
        X->SetLineAttributes(L, MarkAttrs);
    if (MarkAttrs.BackgroundColor >= 0) LineStyle.Bg = FPalette.Index(MarkAttrs.BackgroundColor);
    if (MarkAttrs.ForegroundColor >= 0) LineStyle.Fg = FPalette.Index(MarkAttrs.ForegroundColor);
    if (MarkAttrs.Bold) LineStyle.Attr |= caBold;
    const bool WholeLine = LineElement >= 0 || MarkAttrs.BackgroundColor >= 0 || MarkAttrs.ForegroundColor >= 0;
    Grid.Fill(TextRect, LineStyle);

    const std::string_view Text(FLineBuffer.data(), Ctx.LineLength);
    size_t Run = 0;
    auto StyleAt = [&](int Col) {
      while (Run < Ctx.NAttrs && Col >= FAttrs[Run].ToCol) ++Run;
      if (Run >= Ctx.NAttrs) return LineStyle;
      const TAttrEntry& A = FAttrs[Run];
      if (A.MarkAttr == maSpecial) return Element(deSearchMatch);
      if (A.MarkAttr == maBlock) return Element(deMarkedBlock);
      return WholeLine ? LineStyle : Element(A.SyntaxCode < DisplayElementCount ? static_cast<int>(A.SyntaxCode) : static_cast<int>(dePlainText));
    };
    int Col = 0;
    for (size_t At = 0; At < Text.size() && Col < TextCols;) {
      uint32_t Ch = 0;
      bool Valid = false;
      const int Len = std::max(DecodeUtf8(Text.substr(At), Ch, Valid, TUtf8Policy::Framing), 1);
      At += static_cast<size_t>(Len);
      const int Width = Valid ? GetUCS4CharWidth(Ch) : 1;
      Grid.PutChar(Row, TextRect.Col + Col, Valid ? ShownChar(Ch) : U'?', Width, StyleAt(Col));
      Col += Width;
    }
    // The block reaches past the line's end.
    for (; Col < TextCols && Run < Ctx.NAttrs; ++Col) {
      const TCellStyle S = StyleAt(Col);
      if (S == LineStyle) break;
      Grid.PutChar(Row, TextRect.Col + Col, U' ', 1, S);
    }
    if (RowLines[static_cast<size_t>(I)].second > 0 && Col + 4 <= TextCols)
      Grid.Put(Row, TextRect.Col + Col + 1, "...", Element(deFoldedCode));
    // Decorations: character indexes to screen columns of this line.
    for (const TDecoration& D : Decorations) {
      if (D.Line != L || D.End <= D.Start) continue;
      const int32_t From = ConvertPos(V, TCharPos{D.Start, L}).Col - LeftCol;
      const int32_t To = ConvertPos(V, TCharPos{D.End, L}).Col - LeftCol;
      // Underlined as well: a frame that shows even where the element keeps the plain colours.
      TCellStyle S = Element(D.Element);
      S.Attr |= caUnderline;
      Grid.Restyle(Row, TextRect.Col + std::max(From, 0), std::min(To, TextCols) - std::max(From, 0), S);
    }
  }
}

bool TEditorPane::CursorCell(int& Row, int& Col) const {
  PEkView V = const_cast<TEditView&>(FView).EkView();
  const TEdPos C = V->Cursor;
  for (size_t I = 0; I < FRowLines.size(); ++I) {
    if (FRowLines[I] != C.LineNum) continue;
    const int32_t X = C.Col - std::max<int32_t>(V->WinLeftCol, 1);
    if (X < 0 || X >= FRect.Cols - FGutter) return false;
    Row = FRect.Row + static_cast<int>(I);
    Col = FRect.Col + FGutter + X;
    return true;
  }
  return false;
}

bool TEditorPane::PositionAt(int Row, int Col, TEdPos& Pos) const {
  if (!FRect.Contains(Row, Col) || Col < FRect.Col + FGutter) return false;
  const int32_t Line = FRowLines[static_cast<size_t>(Row - FRect.Row)];
  if (Line <= 0) return false;
  PEkView V = const_cast<TEditView&>(FView).EkView();
  Pos = TEdPos{std::max<int32_t>(V->WinLeftCol, 1) + (Col - FRect.Col - FGutter), Line};
  return true;
}

}  // namespace nxs::term
