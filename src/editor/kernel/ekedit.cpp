// Typing, deleting, blocks, undo and search of a view.
#include <algorithm>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekeditor.h"
#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

namespace {

constexpr int64_t MaxPadLines = 10000;
// Likewise a cursor far past the end of its line would fill memory with blanks.
constexpr int64_t MaxPadColumns = 1 << 16;

// Whether replacing Count matches over [From, To) as one change of the copied span costs less
// than a change per line: one change costs about as much as copying a few kilobytes.
bool ReplaceAtOnce(size_t Count, uint64_t From, uint64_t To) { return (To - From) / 4096 <= Count; }

// A typed or pasted line break: CR LF, LF or CR.
size_t BreakLength(std::string_view S, size_t I) {
  if (S[I] == '\r') return I + 1 < S.size() && S[I + 1] == '\n' ? 2 : 1;
  return S[I] == '\n' ? 1 : 0;
}

}  // namespace

void TEkEditor::Change(uint64_t Pos, uint64_t Count, std::string_view Text) {
  FDoc.Text().SetCursorForUndo(FView->Cursor);
  if (Count) FDoc.Text().Delete(Pos, Count);
  if (!Text.empty()) FDoc.Text().Insert(Pos, Text);
}

std::string TEkEditor::Normalize(std::string_view Text) const {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size();) {
    size_t B = BreakLength(Text, I);
    if (B) {
      Out += FDoc.DefaultBreak;
      I += B;
    } else {
      Out += Text[I++];
    }
  }
  return Out;
}

uint64_t TEkEditor::Materialize() {
  int64_t Beyond = 0;
  int64_t Line = FView->Cursor.LineNum;
  int64_t Lines = static_cast<int64_t>(FDoc.LineCount());
  if (Line > Lines) {
    // A cursor far past the end would fill memory with empty lines.
    if (Line - Lines > MaxPadLines) throw TRangeError();
    std::string Pad;
    for (int64_t I = Lines; I < Line; ++I) Pad += FDoc.DefaultBreak;
    Change(FDoc.Text().Length(), 0, Pad);
  }
  TTextPos P = CursorPos(&Beyond);
  uint64_t At = FDoc.Text().OffsetOf(P);
  if (Beyond > 0) {
    // Blanks up to the cursor's column; tabs first when the buffer fills with tabs.
    std::string Pad;
    int64_t Col = ColumnOf(P);
    if (FView->Cursor.Col - Col > MaxPadColumns) throw TRangeError();
    if ((Modes() & emUseTabChar) && (Modes() & emOptimalFill)) {
      for (int64_t Next = NextTabStop(FDoc.Rack, Col); Next <= FView->Cursor.Col; Next = NextTabStop(FDoc.Rack, Col)) {
        Pad += '\t';
        Col = Next;
      }
    }
    Pad.append(static_cast<size_t>(std::max<int64_t>(0, FView->Cursor.Col - Col)), ' ');
    Change(At, 0, Pad);
    At += Pad.size();
  }
  return At;
}

std::string TEkEditor::IndentFor(uint64_t Line) const {
  // The indent of the line, or of the nearest line above that is not blank.
  for (uint64_t L = Line + 1; L-- > 0;) {
    std::string Text = LineText(L);
    size_t I = Text.find_first_not_of(" \t");
    if (I != std::string::npos) return Text.substr(0, I);
    if (L + 50 < Line) break;
  }
  return {};
}

uint8_t TEkEditor::InsertTyped(std::string_view Text) {
  // Carriage returns break lines (indented after the auto-indent mode); line feeds are dropped.
  std::string Clean;
  for (char C : Text)
    if (C != '\n') Clean += C;
  if (Clean.empty()) return erOk;
  uint64_t Line0 = CursorLine();
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(Line0 + 1), 0)) return R;
  if ((Modes() & emOverwriteBlocks) && !(Modes() & emWriter) && FDoc.BlockValid() && !FDoc.BlockHidden) {
    uint64_t From, To;
    if (BlockStream(From, To) && To > From) {
      Change(From, To - From, {});
      MoveToOffset(From);
      FDoc.ClearMarker(mkBlockBeg);
      FDoc.ClearMarker(mkBlockEnd);
    }
  }
  uint64_t At = Materialize();
  bool Overwrite = !(Modes() & emInsert) && !(Modes() & emWriter);
  // Printable ASCII typed in insert mode moves the cursor one column a byte: the line the
  // cursor is on need not be read to place it.
  bool Exact = false;
  const TTextPos Typed = CursorPos(nullptr, &Exact);
  const bool Plain = Exact && !Overwrite && FDoc.Text().OffsetOf(Typed) == At &&
                     std::all_of(Clean.begin(), Clean.end(), [](char C) { return C >= 0x20 && C < 0x7F; });
  bool Indent = (Modes() & emAutoIndent) && !(Modes() & emWriter);
  // Without overwriting, the typed text goes in as one change, so that a line typed before
  // another one moves that line's marks, flags and frozen number as a whole.
  std::string Pending;
  auto Flush = [&](uint64_t Remove) {
    Change(At, Remove, Pending);
    At += Pending.size();
    Pending.clear();
  };
  size_t I = 0;
  while (I < Clean.size()) {
    size_t Cr = Clean.find('\r', I);
    std::string_view Part = std::string_view(Clean).substr(I, Cr == std::string::npos ? std::string::npos : Cr - I);
    if (!Part.empty()) {
      if (Overwrite) {
        // Replaces as many characters as are typed, never the line break.
        Flush(0);
        TTextPos P = FDoc.Text().PosOf(At);
        std::string Line = LineText(P.Line);
        size_t Chars = Utf8CountChars(Part, Part.size());
        size_t End = P.Col;
        for (; Chars > 0 && End < Line.size(); --Chars) End += Utf8CharLength(Line, End);
        Pending.assign(Part);
        Flush(End - P.Col);
      } else {
        Pending.append(Part);
      }
    }
    if (Cr == std::string::npos) break;
    if (!(Modes() & (emKeepTrailingBlanks | emWriter))) {
      // The line being ended loses its trailing blanks, typed or already there.
      const size_t Last = Pending.find_last_of("\r\n");
      const size_t LineFrom = Last == std::string::npos ? 0 : Last + 1;
      while (Pending.size() > LineFrom && (Pending.back() == ' ' || Pending.back() == '\t')) Pending.pop_back();
      if (Pending.empty()) {
        TTextPos P = FDoc.Text().PosOf(At);
        uint64_t Blanks = 0;
        FDoc.Text().Tree().ForEachChunkBackward(At - P.Col, P.Col, [&](const char* C, size_t N) {
          for (size_t K = N; K > 0; --K) {
            if (C[K - 1] != ' ' && C[K - 1] != '\t') return false;
            ++Blanks;
          }
          return true;
        });
        if (Blanks) {
          Change(At - Blanks, Blanks, {});
          At -= Blanks;
        }
      }
    }
    Pending += FDoc.DefaultBreak;
    if (Indent) {
      // The indent of the line being broken, as it will read once the pending text is in.
      TTextPos P = FDoc.Text().PosOf(At);
      std::string Line = LineText(P.Line).substr(0, P.Col);
      size_t LastBreak = Pending.find_last_of("\r\n", Pending.size() - FDoc.DefaultBreak.size() - 1);
      std::string Current = LastBreak == std::string::npos ? Line + Pending.substr(0, Pending.size() - FDoc.DefaultBreak.size())
                                                           : Pending.substr(LastBreak + 1, Pending.size() - FDoc.DefaultBreak.size() - LastBreak - 1);
      size_t N = Current.find_first_not_of(" \t");
      if (N != std::string::npos) {
        Pending += Current.substr(0, N);
      } else if (!Current.empty()) {
        Pending += Current;
      } else {
        // A blank line: the indent of the nearest line above that is not, typed or not.
        std::string Indent = IndentFor(P.Line);
        const std::string Before = Line + Pending.substr(0, Pending.size() - FDoc.DefaultBreak.size());
        for (size_t End = Before.size();;) {
          const size_t Begin = End == 0 ? std::string::npos : Before.find_last_of("\r\n", End - 1);
          const size_t From = Begin == std::string::npos ? 0 : Begin + 1;
          const size_t K = Before.find_first_not_of(" \t", From);
          if (K != std::string::npos && K < End) {
            Indent = Before.substr(From, K - From);
            break;
          }
          if (Begin == std::string::npos) break;
          End = Begin > 0 && Before[Begin] == '\n' && Before[Begin - 1] == '\r' ? Begin - 1 : Begin;
        }
        Pending += Indent;
      }
    }
    I = Cr + 1;
  }
  Flush(0);
  if (Plain) {
    SetScreen(FView->Cursor.LineNum, int64_t{FView->Cursor.Col} + static_cast<int64_t>(Clean.size()));
    KnowCursor({Typed.Line, Typed.Col + Clean.size()});
    return erOk;
  }
  MoveToOffset(At);
  return erOk;
}

uint8_t TEkEditor::InsertLiteral(std::string_view Text) {
  if (Text.empty()) return erOk;
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(CursorLine() + 1), 0)) return R;
  std::string Norm = Normalize(Text);
  uint64_t At = Materialize();
  Change(At, 0, Norm);
  MoveToOffset(At + Norm.size());
  return erOk;
}

uint8_t TEkEditor::InsertRaw(std::string_view Text) {
  if (Text.empty()) return erOk;
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(CursorLine() + 1), 0)) return R;
  uint64_t At = Materialize();
  Change(At, 0, Text);
  MoveToOffset(At + Text.size());
  return erOk;
}

uint8_t TEkEditor::InsertAt(uint64_t Pos, std::string_view Text) {
  if (Text.empty()) return erOk;
  const uint64_t Line = FDoc.Text().PosOf(Pos).Line;
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(std::min<uint64_t>(Line + 1, INT32_MAX)), 0)) return R;
  Change(Pos, 0, Text);
  return erOk;
}

uint8_t TEkEditor::DeleteChar() {
  int64_t Beyond = 0;
  TTextPos P = CursorPos(&Beyond);
  if (FView->Cursor.LineNum > static_cast<int64_t>(FDoc.LineCount())) return erOk;
  std::string Text = LineText(P.Line);
  bool AtEnd = Beyond > 0 || P.Col >= Text.size();
  if (AtEnd && P.Line + 1 >= FDoc.LineCount()) return erOk;
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(P.Line + 1), AtEnd ? -1 : 0)) return R;
  uint64_t At = Materialize();
  if (AtEnd) {
    uint64_t Next = FDoc.Text().Lines().LineStart(P.Line + 1);
    Change(At, Next - At, {});
  } else {
    Change(At, static_cast<uint64_t>(Utf8CharLength(Text, P.Col)), {});
  }
  MoveToOffset(At);
  return erOk;
}

uint8_t TEkEditor::Backspace() {
  int64_t Beyond = 0;
  TTextPos P = CursorPos(&Beyond);
  if (Beyond > 0 || FView->Cursor.LineNum > static_cast<int64_t>(FDoc.LineCount())) {
    SetScreen(FView->Cursor.LineNum, FView->Cursor.Col - 1);
    return erOk;
  }
  if (P.Col == 0 && P.Line == 0) return erOk;
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(P.Line + 1), P.Col == 0 ? -1 : 0)) return R;
  uint64_t At = FDoc.Text().OffsetOf(P);
  if (P.Col == 0) {
    uint64_t PrevEnd = FDoc.Text().Lines().LineEnd(P.Line - 1);
    Change(PrevEnd, At - PrevEnd, {});
    MoveToOffset(PrevEnd);
    return erOk;
  }
  std::string Text = LineText(P.Line);
  if ((Modes() & emBackspaceUnindents) && Text.find_first_not_of(" \t") >= P.Col) {
    // In the indent: back to the previous tab stop.
    int64_t Col = ColumnOf(P);
    int64_t Target = PrevTabStop(FDoc.Rack, Col);
    TTextPos T = PosOfColumn(P.Line, Target);
    uint64_t From = FDoc.Text().OffsetOf(T);
    Change(From, At - From, {});
    MoveToOffset(From);
    return erOk;
  }
  size_t S = P.Col - 1;
  while (S > 0 && (static_cast<unsigned char>(Text[S]) & 0xC0) == 0x80 && P.Col - S < 4) --S;
  uint64_t From = At - (P.Col - S);
  Change(From, At - From, {});
  MoveToOffset(From);
  return erOk;
}

uint8_t TEkEditor::ForeTab() {
  int64_t Next = NextTabStop(FDoc.Rack, FView->Cursor.Col);
  if (Modes() & emSmartTab) {
    // To the start of the next word of the nearest line above that reaches past the cursor.
    for (uint64_t L = CursorLine(), Tried = 0; L-- > 0 && Tried < 50; ++Tried) {
      std::string Above = LineText(L);
      TTextPos P = PosOfColumn(L, FView->Cursor.Col);
      if (P.Col >= Above.size()) continue;
      size_t I = P.Col;
      while (I < Above.size() && Above[I] != ' ' && Above[I] != '\t') ++I;
      while (I < Above.size() && (Above[I] == ' ' || Above[I] == '\t')) ++I;
      if (I < Above.size()) Next = ColumnOf({L, I});
      break;
    }
  }
  if (!(Modes() & emInsert)) {
    SetScreen(FView->Cursor.LineNum, Next);
    return erOk;
  }
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(CursorLine() + 1), 0)) return R;
  std::string Fill = (Modes() & emUseTabChar) ? std::string("\t")
                                              : std::string(static_cast<size_t>(Next - FView->Cursor.Col), ' ');
  uint64_t At = Materialize();
  Change(At, 0, Fill);
  MoveToOffset(At + Fill.size());
  return erOk;
}

uint8_t TEkEditor::BackTab() {
  SetScreen(FView->Cursor.LineNum, PrevTabStop(FDoc.Rack, FView->Cursor.Col));
  return erOk;
}

uint8_t TEkEditor::Undo() {
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(CursorLine() + 1), 0)) return R;
  uint64_t Where = 0;
  // A group that changed no text (a client's step of its own) leaves the cursor alone.
  TEdPos Cursor = FView->Cursor;
  if (!FDoc.Text().Undo(Where, Cursor)) return erNotFound;
  FView->Cursor = Cursor;
  FixCursor();
  FDoc.SendEvent(eeUndoRedo, 0, 0);
  return erOk;
}

uint8_t TEkEditor::Redo() {
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(CursorLine() + 1), 0)) return R;
  constexpr uint64_t NoChange = UINT64_MAX;
  uint64_t Where = NoChange;
  if (!FDoc.Text().Redo(Where)) return erNotFound;
  if (Where != NoChange) MoveToOffset(Where);
  FDoc.SendEvent(eeUndoRedo, 0, 0);
  return erOk;
}

uint8_t TEkEditor::SetLineBreak(uint64_t Line, uint8_t Style) {
  if (Style > lbsCR) return erBadArgument;
  const TLineIndex& L = FDoc.Text().Lines();
  bool Last = Line + 1 >= FDoc.LineCount();
  if (Style == lbsNone && !Last) return erBadArgument;
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(Line + 1), 0)) return R;
  uint64_t End = L.LineEnd(Line);
  uint64_t Next = Last ? End : L.LineStart(Line + 1);
  Change(End, Next - End, LineBreakText(static_cast<TLineBreakStyle>(Style)));
  return erOk;
}

// ---------------------------------------------------------------------------------------------
// Blocks

bool TEkEditor::BlockStream(uint64_t& From, uint64_t& To) const {
  if (!FDoc.BlockValid()) return false;
  TTextPos B = FDoc.Marker(mkBlockBeg), E = FDoc.Marker(mkBlockEnd);
  if (E < B) std::swap(B, E);
  const TTextBuffer& T = FDoc.Text();
  switch (FDoc.BlockType) {
    case btLine:
      From = T.Lines().LineStart(B.Line);
      To = E.Line + 1 < FDoc.LineCount() ? T.Lines().LineStart(E.Line + 1) : T.Length();
      return true;
    case btInclusive: {
      From = T.OffsetOf(B);
      To = T.OffsetOf(E);
      std::string Line = LineText(E.Line);
      if (E.Col < Line.size()) To += static_cast<uint64_t>(Utf8CharLength(Line, E.Col));
      return true;
    }
    default:
      From = T.OffsetOf(B);
      To = T.OffsetOf(E);
      return true;
  }
}

bool TEkEditor::TempBlock(uint64_t& From, uint64_t& To) const {
  if (!FDoc.MarkerSet(mkTempPos) || !FDoc.MarkerSet(mkTempEnd)) return false;
  From = FDoc.Text().OffsetOf(FDoc.Marker(mkTempPos));
  To = FDoc.Text().OffsetOf(FDoc.Marker(mkTempEnd));
  if (To < From) std::swap(From, To);
  return true;
}

std::vector<TEkEditor::TColumnSpan> TEkEditor::ColumnSpans() const {
  std::vector<TColumnSpan> Spans;
  TTextPos B = FDoc.Marker(mkBlockBeg), E = FDoc.Marker(mkBlockEnd);
  int64_t C1 = ColumnOf(B), C2 = ColumnOf(E);
  if (C2 < C1) std::swap(C1, C2);
  uint64_t L1 = std::min(B.Line, E.Line), L2 = std::max(B.Line, E.Line);
  for (uint64_t L = L1; L <= L2; ++L) {
    TTextPos F = PosOfColumn(L, C1), T = PosOfColumn(L, C2);
    Spans.push_back({L, F.Col, T.Col});
  }
  return Spans;
}

std::string TEkEditor::BlockText() const {
  if (!FDoc.BlockValid()) return {};
  if (FDoc.BlockType == btColumn) {
    std::string Out;
    std::vector<TColumnSpan> Spans = ColumnSpans();
    for (size_t I = 0; I < Spans.size(); ++I) {
      std::string Line = LineText(Spans[I].Line);
      Out += Line.substr(Spans[I].From, Spans[I].To - Spans[I].From);
      if (I + 1 < Spans.size()) Out += FDoc.DefaultBreak;
    }
    return Out;
  }
  uint64_t From, To;
  BlockStream(From, To);
  return FDoc.Text().Text(From, To - From);
}

void TEkEditor::BlockBounds(bool Special, TEdPos& Start, TEdPos& After) const {
  Start = After = TEdPos{0, 0};
  uint32_t BegId = Special ? mkSpecialBeg : mkBlockBeg, EndId = Special ? mkSpecialEnd : mkBlockEnd;
  if (!FDoc.MarkerSet(BegId) || !FDoc.MarkerSet(EndId)) return;
  if (Special ? !FDoc.SpecialShown : FDoc.BlockHidden) return;
  TTextPos B = FDoc.Marker(BegId), E = FDoc.Marker(EndId);
  if (E < B) std::swap(B, E);
  if (!Special && FDoc.BlockType == btLine) {
    B.Col = 0;
    E = {E.Line + 1, 0};
  } else if (!Special && FDoc.BlockType == btInclusive) {
    std::string Line = LineText(E.Line);
    if (E.Col < Line.size()) E.Col += static_cast<uint64_t>(Utf8CharLength(Line, E.Col));
  }
  auto Screen = [&](TTextPos P) {
    int64_t Col = P.Line < FDoc.LineCount() ? ColumnOf(P) : 1;
    return TEdPos{static_cast<int32_t>(std::min<int64_t>(Col, INT32_MAX)),
                  static_cast<int32_t>(std::min<uint64_t>(P.Line + 1, INT32_MAX))};
  };
  Start = Screen(B);
  After = Screen(E);
  if (!Special && FDoc.BlockType == btColumn && After.Col < Start.Col) {
    int32_t Col = Start.Col;  // packed fields: no references
    Start.Col = After.Col;
    After.Col = Col;
  }
}

uint8_t TEkEditor::DeleteBlock(bool Temp) {
  uint64_t From, To;
  if (Temp) {
    if (!TempBlock(From, To)) return erNoBlock;
  } else {
    if (!FDoc.BlockValid()) return erNoBlock;
    if (FDoc.BlockType == btColumn) {
      if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(CursorLine() + 1), 0)) return R;
      std::vector<TColumnSpan> Spans = ColumnSpans();
      for (auto It = Spans.rbegin(); It != Spans.rend(); ++It) {
        uint64_t Start = FDoc.Text().Lines().LineStart(It->Line);
        Change(Start + It->From, It->To - It->From, {});
      }
      MoveTo({Spans.front().Line, Spans.front().From});
      return erOk;
    }
    BlockStream(From, To);
  }
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(FDoc.Text().PosOf(From).Line + 1), 0)) return R;
  Change(From, To - From, {});
  MoveToOffset(From);
  if (!Temp && !(Modes() & emPersistentBlocks)) {
    FDoc.ClearMarker(mkBlockBeg);
    FDoc.ClearMarker(mkBlockEnd);
  }
  return erOk;
}

uint8_t TEkEditor::CopyBlock(bool Move) {
  if (!FDoc.BlockValid()) return erNoBlock;
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(CursorLine() + 1), 0)) return R;
  if (FDoc.BlockType == btColumn) {
    std::vector<TColumnSpan> Spans = ColumnSpans();
    std::vector<std::string> Parts;
    for (const TColumnSpan& S : Spans) Parts.push_back(LineText(S.Line).substr(S.From, S.To - S.From));
    // The target is where the cursor is now; moving, the columns left of it on the block's
    // lines close up first.
    int64_t Line = FView->Cursor.LineNum, Col = FView->Cursor.Col;
    if (Move) {
      TTextPos B = FDoc.Marker(mkBlockBeg), E = FDoc.Marker(mkBlockEnd);
      int64_t C1 = ColumnOf(B), C2 = ColumnOf(E);
      if (C2 < C1) std::swap(C1, C2);
      const int64_t L1 = static_cast<int64_t>(std::min(B.Line, E.Line)) + 1, L2 = static_cast<int64_t>(std::max(B.Line, E.Line)) + 1;
      const bool OnLines = Line >= L1 && Line <= L2;
      if (OnLines && Col > C1 && Col < C2) return erBadArgument;  // into itself
      if (OnLines && Col >= C2) Col -= C2 - C1;
      DeleteBlock(false);
    }
    for (size_t I = 0; I < Parts.size(); ++I) {
      SetScreen(Line + static_cast<int64_t>(I), Col);
      uint64_t At = Materialize();
      Change(At, 0, Parts[I]);
    }
    SetScreen(Line, Col);
    FDoc.SetMarker(mkBlockBeg, CursorPos());
    TTextPos Last = PosOfColumn(static_cast<uint64_t>(Line - 1 + static_cast<int64_t>(Parts.size()) - 1), Col);
    Last.Col += Parts.back().size();
    FDoc.SetMarker(mkBlockEnd, Last);
    return erOk;
  }
  uint64_t From, To;
  BlockStream(From, To);
  std::string Text = FDoc.Text().Text(From, To - From);
  uint64_t At = Materialize();
  if (Move && At > From && At < To) return erBadArgument;  // into itself
  if (Move) {
    Change(From, To - From, {});
    if (At >= To) At -= To - From;
  }
  Change(At, 0, Text);
  MoveToOffset(At);
  FDoc.SetMarker(mkBlockBeg, FDoc.Text().PosOf(At));
  FDoc.SetMarker(mkBlockEnd, FDoc.Text().PosOf(At + Text.size()));
  if (FDoc.BlockType == btInclusive) FDoc.BlockType = btNonInclusive;
  FDoc.BlockHidden = false;
  return erOk;
}

uint8_t TEkEditor::ChangeCase(int Mode) {
  auto Convert = [&](std::string_view S) {
    std::string Out;
    for (size_t I = 0; I < S.size();) {
      int L;
      uint32_t Ch = Utf8Decode(S, I, L);
      uint32_t Up = ToUpper(Ch), Low = ToLower(Ch);
      uint32_t To = Mode == 0 ? Up : Mode == 1 ? Low : (Ch == Up ? Low : Up);
      // Bytes that are not the UTF-8 of what they decode to (a stray byte, an over-long or
      // surrogate form) stay as they are: only text is changed, never other data.
      std::string Own;
      Utf8Append(Own, Ch);
      if (Own != S.substr(I, static_cast<size_t>(L))) Out.append(S.substr(I, static_cast<size_t>(L)));
      else Utf8Append(Out, To);
      I += static_cast<size_t>(L);
    }
    return Out;
  };
  auto Apply = [&](uint64_t From, uint64_t To) {
    std::string Old = FDoc.Text().Text(From, To - From);
    std::string New = Convert(Old);
    if (New == Old) return;
    // Replacing the text would fold the block onto one point; it keeps its place instead.
    bool Had = FDoc.BlockValid();
    TTextPos B = FDoc.Marker(mkBlockBeg), E = FDoc.Marker(mkBlockEnd);
    Change(From, To - From, New);
    if (Had) {
      FDoc.SetMarker(mkBlockBeg, B);
      FDoc.SetMarker(mkBlockEnd, E);
    }
  };
  if (!FDoc.BlockValid()) {
    if (Mode != 2) return erNoBlock;
    // ToggleCase without a block: the character at the cursor.
    TTextPos P = CursorPos();
    std::string Line = LineText(P.Line);
    if (P.Col >= Line.size()) return erOk;
    if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(P.Line + 1), 0)) return R;
    uint64_t At = FDoc.Text().OffsetOf(P);
    uint64_t Len = static_cast<uint64_t>(Utf8CharLength(Line, P.Col));
    Apply(At, At + Len);
    MoveToOffset(At + Len);
    return erOk;
  }
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(CursorLine() + 1), 0)) return R;
  if (FDoc.BlockType == btColumn) {
    for (const TColumnSpan& S : ColumnSpans()) {
      uint64_t Start = FDoc.Text().Lines().LineStart(S.Line);
      Apply(Start + S.From, Start + S.To);
    }
    return erOk;
  }
  uint64_t From, To;
  BlockStream(From, To);
  Apply(From, To);
  return erOk;
}

uint8_t TEkEditor::IndentBlock(bool Outdent, int Columns) {
  if (!FDoc.BlockValid()) return erNoBlock;
  if (Columns <= 0) Columns = FDoc.BlockIndent;
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(CursorLine() + 1), 0)) return R;
  TTextPos B = FDoc.Marker(mkBlockBeg), E = FDoc.Marker(mkBlockEnd);
  uint32_t First = mkBlockBeg;
  if (E < B) {
    std::swap(B, E);
    First = mkBlockEnd;
  }
  uint64_t Last = E.Line;
  if (E.Col == 0 && E.Line > B.Line && FDoc.BlockType != btLine) --Last;  // a block ending at a line start
  for (uint64_t L = B.Line; L <= Last; ++L) {
    uint64_t Start = FDoc.Text().Lines().LineStart(L);
    std::string Text = LineText(L);
    if (Text.empty()) continue;
    if (!Outdent) {
      Change(Start, 0, std::string(static_cast<size_t>(Columns), ' '));
      continue;
    }
    size_t N = 0;
    int64_t Col = 1;
    while (N < Text.size() && (Text[N] == ' ' || Text[N] == '\t') && Col <= Columns) {
      Col = Text[N] == '\t' ? NextTabStop(FDoc.Rack, Col) : Col + 1;
      ++N;
    }
    if (N) Change(Start, N, {});
  }
  // The blanks go in at the line start, after a block start there: a block of whole lines
  // would lose its first indent, and deleting it would leave those blanks behind.
  if (B.Col == 0) FDoc.SetMarker(First, TTextPos{B.Line, 0});
  return erOk;
}

// ---------------------------------------------------------------------------------------------
// Search

uint8_t TEkEditor::Prepare(TSearcher& S, std::string_view Pattern, TSearchFlags Flags) {
  const uint8_t R = S.Prepare(Pattern, Flags);
  State().PatternError = S.ErrorText();
  State().PatternErrorOffset = S.ErrorOffset();
  return R;
}

void TEkEditor::SearchScope(TSearchFlags F, uint64_t& Lo, uint64_t& Hi) const {
  Lo = 0;
  Hi = FDoc.Text().Length();
  if (F.Contains(sfWholeFile) || !FDoc.BlockValid() || FDoc.BlockHidden || FDoc.BlockType == btColumn) return;
  uint64_t From, To;
  BlockStream(From, To);
  if (To > From) {
    Lo = From;
    Hi = To;
  }
}

uint8_t TEkEditor::Search(uint16_t Flags, std::string_view Pattern, TEkSearchState* Out, bool Again) {
  TSearchFlags F = TSearchFlags::FromBits(Flags);
  if (Again) {
    if (!FDoc.HaveSearch) return erNotFound;
    F = TSearchFlags::FromBits(FDoc.LastFlags);
    F.Include(sfFromCursor);
  }
  TSearcher& S = State().Searcher;
  std::string Pat = Again ? FDoc.LastPattern : std::string(Pattern);
  if (uint8_t R = Prepare(S, Pat, F)) return R;
  FDoc.LastPattern = Pat;
  FDoc.LastFlags = F.Bits();
  FDoc.HaveSearch = true;
  const TTextBuffer& T = FDoc.Text();
  uint64_t Lo, Hi;
  SearchScope(F, Lo, Hi);
  bool Forward = F.Contains(sfGoForward);
  uint64_t Cursor = std::clamp(CursorOffset(), Lo, Hi);
  uint64_t From = F.Contains(sfFromCursor) ? Cursor : (Forward ? Lo : Hi);
  // Starting on the match found last would find it again; an empty one would stay put. The
  // next start is a whole character on (a byte on could land inside one).
  if (State().MatchValid && FDoc.MarkerSet(mkSpecialBeg)) {
    uint64_t Last = T.OffsetOf(FDoc.Marker(mkSpecialBeg));
    if (Forward && From == Last) From = TSearcher::NextStart(T, From);
  }
  uint64_t Pos = 0, Len = 0;
  bool Found = Forward ? S.FindForward(T, From, Hi, Pos, Len) : S.FindBackward(T, Lo, From, Pos, Len);
  if (!Found && F.Contains(sfWrapAround))
    Found = Forward ? S.FindForward(T, Lo, std::min(Hi, From), Pos, Len) : S.FindBackward(T, From, Hi, Pos, Len);
  if (Out) Out->Found = Found;
  if (!Found) {
    State().MatchValid = false;
    return erNotFound;
  }
  FDoc.SetMarker(mkPrevPos, CursorPos());
  FDoc.SetMarker(mkSpecialBeg, T.PosOf(Pos));
  FDoc.SetMarker(mkSpecialEnd, T.PosOf(Pos + Len));
  FDoc.SpecialShown = true;
  State().MatchValid = true;
  FDoc.Elisions().OpenAround(T.PosOf(Pos).Line);
  MoveToOffset(Forward && !F.Contains(sfMatchBack) ? Pos + Len : Pos);
  if (Out) {
    Out->MatchPos = FDoc.ToCharPos(T.PosOf(Pos));
    Out->MatchLength = static_cast<int32_t>(std::min<uint64_t>(Len, INT32_MAX));
  }
  return erOk;
}

uint8_t TEkEditor::Replace(std::string_view Replacement, TEkSearchState* Out) {
  if (!State().MatchValid || !FDoc.MarkerSet(mkSpecialBeg) || !FDoc.MarkerSet(mkSpecialEnd)) return erNotFound;
  const TTextBuffer& T = FDoc.Text();
  uint64_t From = T.OffsetOf(FDoc.Marker(mkSpecialBeg)), To = T.OffsetOf(FDoc.Marker(mkSpecialEnd));
  if (To < From) return erNotFound;
  if (uint8_t R = FDoc.CheckEditable(static_cast<int32_t>(T.PosOf(From).Line + 1), 0)) return R;
  // The match as the text stands now gives the groups of the replacement.
  TSearcher& S = State().Searcher;
  uint64_t Pos = 0, Len = 0;
  const bool Same = S.FindForward(T, From, From + 1, Pos, Len) && Pos == From && Len == To - From;
  std::string New = Normalize(Same ? S.Expand(T, Replacement) : std::string(Replacement));
  Change(From, To - From, New);
  State().MatchValid = false;
  FDoc.SpecialShown = false;
  bool Forward = TSearchFlags::FromBits(FDoc.LastFlags).Contains(sfGoForward);
  MoveToOffset(Forward ? From + New.size() : From);
  // The next search must not stop inside the replacement.
  if (Forward) FDoc.SetMarker(mkSpecialBeg, T.PosOf(From + New.size()));
  if (Out) ++Out->ReplaceCount;
  return erOk;
}

uint8_t TEkEditor::ReplaceAllMatches(uint16_t Flags, std::string_view Pattern, std::string_view Replacement, int32_t* Count) {
  if (Count) *Count = 0;
  TSearchFlags F = TSearchFlags::FromBits(Flags);
  TSearcher& S = State().Searcher;
  if (uint8_t R = Prepare(S, Pattern, F)) return R;
  FDoc.LastPattern.assign(Pattern);
  FDoc.LastFlags = F.Bits();
  FDoc.HaveSearch = true;
  TTextBuffer& T = FDoc.Text();
  uint64_t Lo, Hi;
  SearchScope(F, Lo, Hi);
  const bool Forward = F.Contains(sfGoForward);
  if (F.Contains(sfFromCursor) && !F.Contains(sfWrapAround)) {
    const uint64_t Cursor = std::clamp(CursorOffset(), Lo, Hi);
    (Forward ? Lo : Hi) = Cursor;
  }
  // Every match first, as offsets into the text as it is, with its replacement; then the
  // changes.
  TReplacements R;
  const bool Varies = F.Contains(sfRegExp) && Replacement.find('\\') != std::string_view::npos;
  const std::string Constant = Varies ? std::string() : Normalize(Replacement);
  bool Fits = Constant.size() <= UINT32_MAX;  // every length goes in 32 bits
  S.FindAll(T, Lo, Hi, [&](uint64_t Pos, uint64_t Len) {
    const size_t Before = R.New.size();
    R.New += Varies ? Normalize(S.Expand(T, Replacement)) : Constant;
    Fits = Fits && Len <= UINT32_MAX && R.New.size() - Before <= UINT32_MAX;
    R.Items.push_back({Pos, static_cast<uint32_t>(Len), static_cast<uint32_t>(R.New.size() - Before)});
    return R.Items.size() < INT32_MAX;
  });
  State().MatchValid = false;
  FDoc.SpecialShown = false;
  FDoc.ClearMarker(mkSpecialBeg);
  FDoc.ClearMarker(mkSpecialEnd);
  if (R.Items.empty()) return erNotFound;
  if (!Fits) return erTooLong;
  const std::vector<TReplacements::TItem>& Items = R.Items;
  const size_t Matches = Items.size();
  if (uint8_t E = FDoc.CheckEditable(static_cast<int32_t>(std::min<uint64_t>(T.PosOf(Items.front().Pos).Line + 1, INT32_MAX)), 0))
    return E;
  int64_t Growth = 0;
  for (const TReplacements::TItem& I : Items) Growth += static_cast<int64_t>(I.NewLen) - static_cast<int64_t>(I.OldLen);
  const uint64_t First = Items.front().Pos, Last = Items.back().Pos + Items.back().OldLen;
  const uint64_t CursorAt = Forward ? static_cast<uint64_t>(static_cast<int64_t>(Last) + Growth) : First;
  // Dense matches go in as one change: the text they span is copied once. The text buffer
  // refuses when a line break is taken or made; then they go in line by line.
  T.SetCursorForUndo(FView->Cursor);
  if (!ReplaceAtOnce(Matches, First, Last) || !T.Replace(R)) ReplaceLineByLine(R);
  MoveToOffset(CursorAt);
  if (Count) *Count = static_cast<int32_t>(Matches);
  return erOk;
}

void TEkEditor::ReplaceLineByLine(const TReplacements& R) {
  const TTextBuffer& T = FDoc.Text();
  const std::vector<TReplacements::TItem>& Items = R.Items;
  std::vector<uint64_t> NewAt(Items.size() + 1, 0);  // where each replacement starts in R.New
  std::vector<int64_t> Growth(Items.size() + 1, 0);  // what the items before each add
  for (size_t I = 0; I < Items.size(); ++I) {
    NewAt[I + 1] = NewAt[I] + Items[I].NewLen;
    Growth[I + 1] = Growth[I] + static_cast<int64_t>(Items[I].NewLen) - static_cast<int64_t>(Items[I].OldLen);
  }
  // Where a marker lands: after the growth of the matches before it; inside a match, at the
  // start of its replacement.
  auto Map = [&](uint64_t Offset) {
    const size_t I = static_cast<size_t>(std::upper_bound(Items.begin(), Items.end(), Offset,
                                                          [](uint64_t O, const TReplacements::TItem& M) { return O < M.Pos; }) -
                                         Items.begin());
    // Items[I - 1] is the last one starting at or before Offset.
    if (I > 0 && Offset < Items[I - 1].Pos + Items[I - 1].OldLen)
      return static_cast<uint64_t>(static_cast<int64_t>(Items[I - 1].Pos) + Growth[I - 1]);
    return static_cast<uint64_t>(static_cast<int64_t>(Offset) + Growth[I]);
  };
  std::vector<std::pair<uint32_t, uint64_t>> Kept;
  for (uint32_t Id = 0; Id < MaxMarkers; ++Id)
    if (FDoc.MarkerSet(Id)) Kept.push_back({Id, Map(T.OffsetOf(FDoc.Marker(Id)))});
  // Matches on one line go in as one change (a long line with many matches costs one change,
  // not one per match); a line break between two matches ends a change, so that lines keep
  // their flags, marks and folds.
  struct TRun {
    uint64_t From, To;
    std::string Text;
  };
  std::vector<TRun> Runs;
  for (size_t I = 0; I < Items.size(); ++I) {
    const std::string_view New = std::string_view(R.New).substr(NewAt[I], Items[I].NewLen);
    if (!Runs.empty()) {
      TRun& Run = Runs.back();
      const std::string Gap = T.Text(Run.To, Items[I].Pos - Run.To);
      if (Gap.find_first_of("\r\n") == std::string::npos) {
        Run.Text += Gap;
        Run.Text += New;
        Run.To = Items[I].Pos + Items[I].OldLen;
        continue;
      }
    }
    Runs.push_back({Items[I].Pos, Items[I].Pos + Items[I].OldLen, std::string(New)});
  }
  for (auto It = Runs.rbegin(); It != Runs.rend(); ++It) Change(It->From, It->To - It->From, It->Text);
  for (const auto& [Id, At] : Kept) FDoc.SetMarker(Id, T.PosOf(At));
}

}  // namespace nxs::ek
