// The window's line vector and one painted line.
#include "editor/kernel/ekpaint.h"

#include <algorithm>
#include <string>
#include <vector>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekeditor.h"
#include "editor/kernel/ektokens.h"
#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

bool BeginPaint(TEkEditor& E, TPaintContext* Context) {
  TEkView* V = E.View();
  TEkDocument& D = E.Doc();
  auto& State = *static_cast<TEkViewState*>(V->ViewData);
  const uint64_t Lines = D.LineCount();
  int64_t Rows = V->FWinLength > 0 ? V->FWinLength : 1;
  uint64_t Line = static_cast<uint64_t>(std::clamp<int64_t>(V->WinTopLine, 1, static_cast<int64_t>(Lines)) - 1);
  if (D.Elisions().LineHidden(Line)) Line = D.Elisions().PrevVisible(Line);
  std::sort(D.RepaintLines.begin(), D.RepaintLines.end());
  State.LVec.clear();
  uint64_t First = Line, Last = Line;
  for (int64_t Row = 0; Row < Rows && Line < Lines; ++Row) {
    uint64_t Next = D.Elisions().NextVisible(Line, Lines);
    TEkLineView LV{};
    LV.LineDelta = static_cast<int16_t>(std::min<uint64_t>(Next - Line - 1, INT16_MAX));
    bool Dirty = D.RepaintAll || std::binary_search(D.RepaintLines.begin(), D.RepaintLines.end(), Line);
    LV.RepaintFlags = Dirty ? rfLine : 0;
    State.LVec.push_back(LV);
    Last = Next - 1;
    Line = Next;
  }
  V->LVec = State.LVec.data();
  V->VisibleLines = static_cast<int32_t>(State.LVec.size());
  V->LVecFirst = static_cast<int32_t>(First + 1);
  V->LineRange = static_cast<int32_t>(std::min<uint64_t>(Last - First + 1, INT32_MAX));
  D.RepaintAll = false;
  D.RepaintLines.clear();
  if (Context) {
    E.BlockBounds(false, Context->MarkedStart, Context->MarkedAfter);
    E.BlockBounds(true, Context->SpecialStart, Context->SpecialAfter);
  }
  return true;
}

namespace {

bool Within(int64_t Line, int64_t Col, const TEdPos& S, const TEdPos& A, bool Column) {
  if (S.LineNum == 0) return false;
  if (Column) return Line >= S.LineNum && Line <= A.LineNum && Col >= S.Col && Col < A.Col;
  auto Key = [](int64_t L, int64_t C) { return (L << 16) | (C & 0xFFFF); };
  return Key(Line, Col) >= Key(S.LineNum, S.Col) && Key(Line, Col) < Key(A.LineNum, A.Col);
}

}  // namespace

bool GetLineContents(TEkEditor& E, int32_t Line, TPaintContext& Ctx) {
  TEkView* V = E.View();
  TEkDocument& D = E.Doc();
  if (Line < 1 || static_cast<uint64_t>(Line) > D.LineCount()) return false;
  std::string Text = D.LineText(static_cast<uint64_t>(Line - 1));
  const int64_t Left = std::max<int64_t>(V->WinLeftCol, 1);
  const int64_t Width = Ctx.ColumnWidth > 0 ? Ctx.ColumnWidth : std::max<int64_t>(V->WinWidth, 1);
  const int64_t Right = Left + Width;  // exclusive

  // Syntax codes per byte from the buffer's tokenizer, when highlighting.
  std::vector<uint8_t> Codes;
  TTokenizer* Tok = Ctx.Highlighting ? FindTokenizer(D.SyntaxLang) : nullptr;
  if (Tok && Tok->Tokenize && Text.size() < (1u << 24)) {
    Codes.assign(Text.size() + 1, 0);
    const uint8_t Start = D.LineClasses.StartClass(D, *Tok, static_cast<uint64_t>(Line - 1));
    Tok->Tokenize(Tok, Start, Text.data(), static_cast<int32_t>(Text.size()), Codes.data());
  }
  TEdPos BS, BA, SS, SA;
  E.BlockBounds(false, BS, BA);
  E.BlockBounds(true, SS, SA);
  const bool ColumnBlock = D.BlockType == btColumn;

  std::string Out;
  std::vector<TAttrEntry> Runs;
  auto AddColumn = [&](int64_t Col, uint8_t Syntax) {
    uint8_t Mark = Within(Line, Col, SS, SA, false) ? maSpecial : Within(Line, Col, BS, BA, ColumnBlock) ? maBlock : maNone;
    uint16_t To = static_cast<uint16_t>(Col - Left + 1);
    if (!Runs.empty() && Runs.back().MarkAttr == Mark && Runs.back().SyntaxCode == Syntax) Runs.back().ToCol = To;
    else Runs.push_back(TAttrEntry{Mark, Syntax, To});
  };
  int64_t Col = 1;
  for (size_t I = 0; I < Text.size() && Col < Right;) {
    uint8_t Syntax = I < Codes.size() ? Codes[I] : 0;
    if (Text[I] == '\t') {
      int64_t Next = NextTabStop(D.Rack, Col);
      for (int64_t C = Col; C < Next && C < Right; ++C) {
        if (C < Left) continue;
        if (C == Col && Ctx.TabChar) Utf8Append(Out, Ctx.TabChar);
        else Out += ' ';
        AddColumn(C, Syntax);
      }
      Col = Next;
      ++I;
      continue;
    }
    int W = CharWidth(Text, I);
    int L = Utf8CharLength(Text, I);
    if (Col >= Left && Col + W <= Right) {
      if (Text[I] == ' ' && Ctx.SpaceChar) Utf8Append(Out, Ctx.SpaceChar);
      else Out.append(Text, I, static_cast<size_t>(L));
      for (int K = 0; K < W; ++K) AddColumn(Col + K, Syntax);
    } else {
      // A wide character cut by the window's edge shows as blanks.
      for (int K = 0; K < W; ++K)
        if (Col + K >= Left && Col + K < Right) {
          Out += ' ';
          AddColumn(Col + K, Syntax);
        }
    }
    Col += W;
    I += static_cast<size_t>(L);
  }
  // Past the line's end the block still shows up to the window's edge.
  for (int64_t C = std::max(Col, Left); C < Right; ++C) {
    uint8_t Mark = Within(Line, C, SS, SA, false) ? maSpecial : Within(Line, C, BS, BA, ColumnBlock) ? maBlock : maNone;
    if (Mark == maNone) break;
    AddColumn(C, 0);
  }

  size_t N = 0;
  if (Ctx.LineBuffer && Ctx.LineBufferSize > 0) {
    N = std::min<size_t>(Out.size(), Ctx.LineBufferSize);
    while (N > 0 && N < Out.size() && (static_cast<unsigned char>(Out[N]) & 0xC0) == 0x80) --N;  // whole characters
    std::copy(Out.begin(), Out.begin() + static_cast<std::ptrdiff_t>(N), Ctx.LineBuffer);
  }
  Ctx.LineLength = static_cast<uint32_t>(N);
  size_t K = 0;
  if (Ctx.Attrs) {
    K = std::min<size_t>({Runs.size(), Ctx.AttrCapacity, static_cast<size_t>(EkMaxAttrEntries)});
    std::copy(Runs.begin(), Runs.begin() + static_cast<std::ptrdiff_t>(K), Ctx.Attrs);
  }
  Ctx.NAttrs = static_cast<uint16_t>(K);
  Ctx.LineFlags = D.LineFlags(static_cast<uint64_t>(Line - 1));
  int64_t Frozen = D.RealToFrozen(Line - 1);
  Ctx.FrozenLine = static_cast<int32_t>(Frozen < 0 ? 0 : Frozen + 1);
  return true;
}

}  // namespace nxs::ek
