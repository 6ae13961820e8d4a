// Cursor motion, marks, the window and the queries of a view.
#include <algorithm>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekeditor.h"
#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

TEkEditor::TEkEditor(TEkView* View, TEkDocument& Doc) : FView(View), FDoc(Doc) {}

uint64_t TEkEditor::CursorLine() const {
  int64_t L = static_cast<int64_t>(FView->Cursor.LineNum) - 1;
  if (L < 0) return 0;
  return std::min<uint64_t>(static_cast<uint64_t>(L), FDoc.LineCount() - 1);
}

TTextPos TEkEditor::PosOfColumn(uint64_t Line, int64_t Col, int64_t* Beyond, bool* Exact) const {
  int64_t Over = 0, Start = Col;
  uint64_t Byte = ByteOfColumn(LineText(Line), Col, FDoc.Rack, Over, &Start);
  if (Beyond) *Beyond = Over;
  if (Exact) *Exact = Over == 0 && Start == Col;
  return {Line, Byte};
}

TTextPos TEkEditor::CursorPos(int64_t* Beyond, bool* Exact) const {
  auto& C = static_cast<TEkViewState*>(FView->ViewData)->Cursor;
  if (C.Changes == FDoc.Text().ChangeCount() && C.Layout == FDoc.LayoutGeneration && C.Line == FView->Cursor.LineNum &&
      C.Col == FView->Cursor.Col) {
    if (Beyond) *Beyond = 0;
    if (Exact) *Exact = true;
    return C.Pos;
  }
  int64_t Over = 0;
  bool OnStart = false;
  TTextPos P = PosOfColumn(CursorLine(), FView->Cursor.Col, &Over, &OnStart);
  if (Beyond) *Beyond = Over;
  const bool InText = FView->Cursor.LineNum >= 1 && static_cast<uint64_t>(FView->Cursor.LineNum) <= FDoc.LineCount();
  if (Exact) *Exact = OnStart && InText;
  // Only a cursor on a character's first column (or the line end) maps back to itself.
  if (OnStart && InText) C = {FDoc.Text().ChangeCount(), FDoc.LayoutGeneration, FView->Cursor.LineNum, FView->Cursor.Col, P};
  return P;
}

void TEkEditor::KnowCursor(TTextPos P) {
  static_cast<TEkViewState*>(FView->ViewData)->Cursor = {FDoc.Text().ChangeCount(), FDoc.LayoutGeneration,
                                                         FView->Cursor.LineNum, FView->Cursor.Col, P};
}

int64_t TEkEditor::ColumnOf(TTextPos P) const { return ColumnOfByte(LineText(P.Line), P.Col, FDoc.Rack); }

void TEkEditor::SetScreen(int64_t Line, int64_t Col) {
  FView->Cursor.LineNum = static_cast<int32_t>(std::clamp<int64_t>(Line, 1, INT32_MAX));
  FView->Cursor.Col = static_cast<int32_t>(std::clamp<int64_t>(Col, 1, INT32_MAX));
}

void TEkEditor::MoveTo(TTextPos P) {
  P.Line = std::min(P.Line, FDoc.LineCount() - 1);
  SetScreen(static_cast<int64_t>(P.Line) + 1, ColumnOf(P));
}

void TEkEditor::FixCursor() {
  int64_t Lines = static_cast<int64_t>(FDoc.LineCount());
  int64_t Line = FView->Cursor.LineNum;
  if (!(Modes() & emCursorBeyondEOF)) Line = std::min(Line, Lines);
  Line = std::max<int64_t>(Line, 1);
  if (Line <= Lines && FDoc.Elisions().LineHidden(static_cast<uint64_t>(Line - 1)))
    Line = static_cast<int64_t>(FDoc.Elisions().PrevVisible(static_cast<uint64_t>(Line - 1))) + 1;
  SetScreen(Line, FView->Cursor.Col);
}

void TEkEditor::FixScreen(bool Center) {
  int64_t Line = FView->Cursor.LineNum;
  int64_t Top = std::max<int64_t>(FView->WinTopLine, 1);
  int64_t Len = WinLength();
  bool Visible = Line >= Top && Line < Top + Len;
  if (!Visible) Top = Center ? std::max<int64_t>(1, Line - Len / 2) : (Line < Top ? Line : Line - Len + 1);
  FView->WinTopLine = static_cast<int32_t>(std::max<int64_t>(Top, 1));
  int64_t Left = std::max<int64_t>(FView->WinLeftCol, 1);
  int64_t Width = FView->WinWidth > 0 ? FView->WinWidth : 1;
  int64_t Col = FView->Cursor.Col;
  if (Col < Left) Left = Col;
  else if (Col >= Left + Width) Left = Col - Width + 1;
  FView->WinLeftCol = static_cast<int32_t>(std::clamp<int64_t>(Left, 1, INT32_MAX));
}

uint8_t TEkEditor::Motion(uint8_t Op) {
  const int64_t Lines = static_cast<int64_t>(FDoc.LineCount());
  int64_t Line = FView->Cursor.LineNum;
  int64_t Col = FView->Cursor.Col;
  const int64_t MaxLine = (Modes() & emCursorBeyondEOF) ? INT32_MAX : Lines;
  auto LineEndCol = [&](int64_t L) {
    uint64_t L0 = static_cast<uint64_t>(std::clamp<int64_t>(L, 1, Lines) - 1);
    return ColumnOf({L0, LineText(L0).size()});
  };
  auto Vertical = [&](int64_t Steps) {
    int64_t L = std::clamp<int64_t>(Line, 1, Lines);
    for (; Steps > 0 && L < MaxLine; --Steps) {
      uint64_t Next = L <= Lines ? FDoc.Elisions().NextVisible(static_cast<uint64_t>(L - 1), static_cast<uint64_t>(Lines)) : L;
      if (static_cast<int64_t>(Next) >= MaxLine && Next >= static_cast<uint64_t>(Lines)) break;
      L = static_cast<int64_t>(Next) + 1;
    }
    for (; Steps < 0 && L > 1; ++Steps) L = static_cast<int64_t>(FDoc.Elisions().PrevVisible(static_cast<uint64_t>(L - 1))) + 1;
    Line = L;
  };
  switch (Op) {
    case ekCursorRight: ++Col; break;
    case ekCursorLeft: Col = std::max<int64_t>(1, Col - 1); break;
    case ekCursorSwitchedRight:
      if (!(Modes() & emCursorThroughTabs)) return Motion(ekCursorRight);
      [[fallthrough]];
    case ekCursorCharRight: {
      int64_t Beyond;
      TTextPos P = CursorPos(&Beyond);
      std::string Text = LineText(P.Line);
      if (Beyond > 0 || P.Col >= Text.size()) {
        if (Line >= Lines) return erOk;
        Line = Line + 1;
        Col = 1;
        break;
      }
      P.Col += Utf8CharLength(Text, P.Col);
      MoveTo(P);
      return erOk;
    }
    case ekCursorSwitchedLeft:
      if (!(Modes() & emCursorThroughTabs)) return Motion(ekCursorLeft);
      [[fallthrough]];
    case ekCursorCharLeft: {
      int64_t Beyond;
      TTextPos P = CursorPos(&Beyond);
      if (Beyond > 0 || Line > Lines) {
        Col = std::max<int64_t>(1, Col - 1);
        break;
      }
      if (P.Col == 0) {
        if (Line <= 1) return erOk;
        Line = Line - 1;
        Col = LineEndCol(Line);
        break;
      }
      std::string Text = LineText(P.Line);
      size_t B = P.Col - 1;
      while (B > 0 && (static_cast<unsigned char>(Text[B]) & 0xC0) == 0x80 && P.Col - B < 4) --B;
      MoveTo({P.Line, B});
      return erOk;
    }
    case ekCursorUp: Vertical(-1); break;
    case ekCursorDown: Vertical(1); break;
    case ekScrollScreenUp:
      FView->WinTopLine = static_cast<int32_t>(std::max<int64_t>(1, FView->WinTopLine - 1));
      if (Line >= FView->WinTopLine + WinLength()) Line = FView->WinTopLine + WinLength() - 1;
      break;
    case ekScrollScreenDown:
      if (FView->WinTopLine < Lines) ++FView->WinTopLine;
      if (Line < FView->WinTopLine) Line = FView->WinTopLine;
      break;
    case ekLeftOfLine: Col = 1; break;
    case ekRightOfLine: Col = LineEndCol(Line); break;
    case ekTopOfScreen: Line = std::max<int64_t>(FView->WinTopLine, 1); break;
    case ekBottomOfScreen: Line = std::min<int64_t>(std::max<int64_t>(FView->WinTopLine, 1) + WinLength() - 1, Lines); break;
    case ekHomeCursor:
      FDoc.SetMarker(mkPrevPos, CursorPos());
      Line = 1;
      Col = 1;
      break;
    case ekEndCursor:
      FDoc.SetMarker(mkPrevPos, CursorPos());
      Line = Lines;
      Col = LineEndCol(Lines);
      break;
    case ekPageUp:
      Vertical(-(WinLength() - 1 > 0 ? WinLength() - 1 : 1));
      FView->WinTopLine = static_cast<int32_t>(std::max<int64_t>(1, FView->WinTopLine - std::max<int64_t>(WinLength() - 1, 1)));
      break;
    case ekPageDown:
      Vertical(WinLength() - 1 > 0 ? WinLength() - 1 : 1);
      FView->WinTopLine = static_cast<int32_t>(std::clamp<int64_t>(FView->WinTopLine + std::max<int64_t>(WinLength() - 1, 1), 1, Lines));
      break;
    case ekCursorLineToWindowTop: FView->WinTopLine = static_cast<int32_t>(Line); return erOk;
    case ekCursorLineToWindowBottom:
      FView->WinTopLine = static_cast<int32_t>(std::max<int64_t>(1, Line - WinLength() + 1));
      return erOk;
    case ekCenterLineInWindow:
      FView->WinTopLine = static_cast<int32_t>(std::max<int64_t>(1, Line - WinLength() / 2));
      return erOk;
    case ekLeftOfScreen: Col = std::max<int64_t>(FView->WinLeftCol, 1); break;
    case ekRightOfScreen: Col = std::max<int64_t>(FView->WinLeftCol, 1) + std::max<int64_t>(FView->WinWidth, 1) - 1; break;
    case ekFirstNonBlank: {
      uint64_t L0 = CursorLine();
      std::string Text = LineText(L0);
      size_t I = 0;
      while (I < Text.size() && (Text[I] == ' ' || Text[I] == '\t')) ++I;
      MoveTo({L0, I});
      return erOk;
    }
    case ekMoveToRightMargin: Col = FDoc.Rec()->RightMargin > 0 ? FDoc.Rec()->RightMargin : 80; break;
    default: return erBadArgument;
  }
  SetScreen(Line, Col);
  return erOk;
}

uint8_t TEkEditor::Skip(uint8_t Code) {
  bool Right = Code & 0x10;
  bool Stream = Code & 0x20;
  int Kind = Code & 0x0F;
  if (Kind > 3 || (Stream && Kind != 0)) return erBadArgument;
  auto Test = [&](uint32_t Ch) {
    switch (Kind) {
      case 0: return IsWordChar(Ch);
      case 1: return !IsWordChar(Ch);
      case 2: return IsWhite(Ch);
      default: return !IsWhite(Ch);
    }
  };
  TTextPos P = CursorPos();
  std::string Text = LineText(P.Line);
  auto CharBefore = [&](size_t At, size_t& Start) {
    Start = At - 1;
    while (Start > 0 && (static_cast<unsigned char>(Text[Start]) & 0xC0) == 0x80 && At - Start < 4) --Start;
    int L;
    return Utf8Decode(Text, Start, L);
  };
  if (!Stream) {
    size_t At = P.Col;
    if (Right) {
      int L;
      while (At < Text.size() && Test(Utf8Decode(Text, At, L))) At += L;
    } else {
      size_t S;
      while (At > 0 && Test(CharBefore(At, S))) At = S;
    }
    MoveTo({P.Line, At});
    return erOk;
  }
  // Word stream: to the start of the next (previous) word, across lines.
  uint64_t Line = P.Line;
  size_t At = P.Col;
  const uint64_t Lines = FDoc.LineCount();
  if (Right) {
    int L;
    while (At < Text.size() && IsWordChar(Utf8Decode(Text, At, L))) At += L;
    for (;;) {
      while (At < Text.size() && !IsWordChar(Utf8Decode(Text, At, L))) At += L;
      if (At < Text.size() || Line + 1 >= Lines) break;
      ++Line;
      Text = LineText(Line);
      At = 0;
    }
  } else {
    size_t S;
    for (;;) {
      while (At > 0 && !IsWordChar(CharBefore(At, S))) At = S;
      if (At > 0 || Line == 0) break;
      --Line;
      Text = LineText(Line);
      At = Text.size();
    }
    while (At > 0 && IsWordChar(CharBefore(At, S))) At = S;
  }
  MoveTo({Line, At});
  return erOk;
}

uint8_t TEkEditor::MarkOp(uint8_t Code) {
  if (Code >= moMoveToPrevPos && Code <= moMoveToTempEnd) {
    uint32_t Id = Code;
    if (!FDoc.MarkerSet(Id)) return erNotFound;
    TTextPos Target = FDoc.Marker(Id);
    FDoc.SetMarker(mkPrevPos, CursorPos());  // moving to the previous position swaps with it
    FDoc.Elisions().OpenAround(Target.Line);
    MoveTo(Target);
    return erOk;
  }
  if (Code >= moSetPrevPos && Code <= moSetTempEndPos) {
    uint32_t Id = Code - 0x10;
    FDoc.SetMarker(Id, CursorPos());
    if (Id == mkBlockBeg || Id == mkBlockEnd) FDoc.SendEvent(eeBlockChanged, 0, 0);
    return erOk;
  }
  return erBadArgument;
}

uint8_t TEkEditor::GotoLineCol(TEdPos Pos, bool UnElide) {
  FDoc.SetMarker(mkPrevPos, CursorPos());
  int64_t Lines = static_cast<int64_t>(FDoc.LineCount());
  int64_t Line = std::clamp<int64_t>(Pos.LineNum, 1, (Modes() & emCursorBeyondEOF) ? INT32_MAX : Lines);
  if (Line <= Lines && FDoc.Elisions().LineHidden(static_cast<uint64_t>(Line - 1))) {
    if (UnElide) FDoc.Elisions().OpenAround(static_cast<uint64_t>(Line - 1));
    else Line = static_cast<int64_t>(FDoc.Elisions().PrevVisible(static_cast<uint64_t>(Line - 1))) + 1;
  }
  SetScreen(Line, Pos.Col);
  return erOk;
}

uint8_t TEkEditor::GotoCharPos(TCharPos Pos, bool UnElide) {
  TTextPos P = FDoc.FromCharPos(Pos);
  if (UnElide) FDoc.Elisions().OpenAround(P.Line);
  MoveTo(P);
  return erOk;
}

uint8_t TEkEditor::MatchPair(bool Forward) {
  const TEditorBuffer* Rec = FDoc.Rec();
  if (!Rec->PairTable || Rec->NPairs == 0) return erNotFound;
  uint64_t Pos = CursorOffset();
  int Ch = FDoc.Text().Tree().ByteAt(Pos);
  if (Ch < 0) return erNotFound;
  const TTextBuffer& T = FDoc.Text();
  for (uint16_t I = 0; I < Rec->NPairs; ++I) {
    const TPairDesc& D = Rec->PairTable[I];
    bool AtStart = Ch == D.StartFirst && (!D.TwoChars || T.Tree().ByteAt(Pos + 1) == D.StartSecond);
    bool AtEnd = Ch == D.EndFirst && (!D.TwoChars || T.Tree().ByteAt(Pos + 1) == D.EndSecond);
    if (!AtStart && !AtEnd) continue;
    bool Fwd = AtStart && AtEnd ? Forward : AtStart;
    if (!D.ImpliedDir && Fwd != Forward && !(AtStart && AtEnd)) continue;
    int Depth = 0;
    uint64_t Found = UINT64_MAX;
    auto Scan = [&](uint64_t At) {
      int B = T.Tree().ByteAt(At);
      bool IsStart = B == D.StartFirst && (!D.TwoChars || T.Tree().ByteAt(At + 1) == D.StartSecond);
      bool IsEnd = B == D.EndFirst && (!D.TwoChars || T.Tree().ByteAt(At + 1) == D.EndSecond);
      if (Fwd ? IsEnd : IsStart) {
        if (Depth == 0) {
          Found = At;
          return false;
        }
        --Depth;
      } else if ((Fwd ? IsStart : IsEnd) && D.Nestable) {
        ++Depth;
      }
      return true;
    };
    // Pair matching looks at most a few megabytes away.
    constexpr uint64_t Reach = 1 << 22;
    if (Fwd) {
      uint64_t End = std::min(T.Length(), Pos + Reach);
      for (uint64_t At = Pos + (D.TwoChars ? 2 : 1); At < End && Scan(At); ++At) {}
    } else {
      uint64_t Lo = Pos > Reach ? Pos - Reach : 0;
      for (uint64_t At = Pos; At > Lo && Scan(At - 1); --At) {}
    }
    if (Found == UINT64_MAX) return erNotFound;
    FDoc.SetMarker(mkPrevPos, CursorPos());
    MoveToOffset(Found);
    return erOk;
  }
  return erNotFound;
}

uint16_t TEkEditor::Answer(uint8_t Query, bool& Known) {
  Known = true;
  int64_t Beyond = 0;
  TTextPos P = CursorPos(&Beyond);
  std::string Text = LineText(P.Line);
  bool PastEOF = FView->Cursor.LineNum > static_cast<int64_t>(FDoc.LineCount());
  auto CharAt = [&](size_t At) -> uint32_t {
    int L;
    return At < Text.size() ? Utf8Decode(Text, At, L) : 0;
  };
  auto Before = [&]() -> uint32_t {
    if (P.Col == 0 || Beyond > 0) return 0;
    size_t S = P.Col - 1;
    while (S > 0 && (static_cast<unsigned char>(Text[S]) & 0xC0) == 0x80 && P.Col - S < 4) --S;
    return CharAt(S);
  };
  bool OnChar = Beyond == 0 && P.Col < Text.size() && !PastEOF;
  uint64_t From, To;
  switch (Query) {
    case qCursorAtBOL: return FView->Cursor.Col <= 1;
    case qCursorAtEOL: return Beyond == 0 && P.Col >= Text.size();
    case qCursorAtBOW: return OnChar && IsWordChar(CharAt(P.Col)) && !IsWordChar(Before());
    case qCursorAtEOW: return !OnChar ? IsWordChar(Before()) : (!IsWordChar(CharAt(P.Col)) && IsWordChar(Before()));
    case qAutoIndent: return (Modes() & emAutoIndent) != 0;
    case qAutoOutdent: return (Modes() & emAutoOutdent) != 0;
    case qOvertype: return (Modes() & emInsert) == 0;
    case qValidBlock: return FDoc.BlockValid();
    case qEmptyLine: return Text.find_first_not_of(" \t") == std::string::npos;
    case qValidTempBlock: return FDoc.MarkerSet(mkTempPos) && FDoc.MarkerSet(mkTempEnd);
    case qCursorPastEOL: return Beyond > 0;
    case qCursorPastEOF: return PastEOF;
    case qCursorInBlock: {
      if (!FDoc.BlockValid()) return 0;
      if (FDoc.BlockType == btColumn) {
        TTextPos B = FDoc.Marker(mkBlockBeg), E = FDoc.Marker(mkBlockEnd);
        int64_t C1 = ColumnOf(B), C2 = ColumnOf(E);
        if (C2 < C1) std::swap(C1, C2);
        uint64_t L1 = std::min(B.Line, E.Line), L2 = std::max(B.Line, E.Line);
        return P.Line >= L1 && P.Line <= L2 && FView->Cursor.Col >= C1 && FView->Cursor.Col < C2;
      }
      if (!BlockStream(From, To)) return 0;
      uint64_t At = CursorOffset();
      return At >= From && At < To;
    }
    case qCursorPastRightMargin: return FView->Cursor.Col > (FDoc.Rec()->RightMargin > 0 ? FDoc.Rec()->RightMargin : 80);
    case qValidEmptyBlock: return FDoc.BlockValid() && FDoc.Marker(mkBlockBeg) == FDoc.Marker(mkBlockEnd);
    case qBlockHidden: return FDoc.BlockHidden;
    case qInclusiveBlock: case qLineBlock: case qColumnBlock: case qNonInclusiveBlock:
      return FDoc.BlockType == Query - qInclusiveBlock;
    case qCharAtCursor: return OnChar ? static_cast<uint16_t>(CharAt(P.Col)) : 0;
    case qCursorOnWordChar: return OnChar && IsWordChar(CharAt(P.Col));
    case qCursorOnWhite: return OnChar && IsWhite(CharAt(P.Col));
    case qCursorAtBOF: return FView->Cursor.LineNum <= 1 && FView->Cursor.Col <= 1;
    case qCursorAtEOF: return P.Line + 1 >= FDoc.LineCount() && P.Col >= Text.size();
    case qModified: return (FDoc.Rec()->ModifyFlags & (mfModified | mfModifiedNotify)) != 0;
    case qUndoAvailable: return FDoc.Text().History().CanUndo();
    case qRedoAvailable: return FDoc.Text().History().CanRedo();
    case qCursorOnChar: return OnChar;
    case qValidIndentBlock: return FDoc.BlockValid() && FDoc.BlockType != btColumn;
  }
  Known = false;
  return 0;
}

}  // namespace nxs::ek
