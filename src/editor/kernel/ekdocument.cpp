// The kernel document: what moves with the text, and the record kept current.
#include "editor/kernel/ekdocument.h"

#include <algorithm>
#include <cstring>

#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

bool MovePosition(uint64_t& Line, uint64_t& Col, const TChange& C, TTextPos Before, TTextPos BeforeEnd,
                  TTextPos After, TTextPos AfterEnd) {
  TTextPos P{Line, Col};
  if (C.Insert) {
    if (P.Line == Before.Line && P.Col >= Before.Col) {
      Line = AfterEnd.Line;
      Col = AfterEnd.Col + (P.Col - Before.Col);
    } else if (P.Line > Before.Line) {
      Line = static_cast<uint64_t>(static_cast<int64_t>(P.Line) + C.LineDelta);
    }
    return true;
  }
  if (P < Before) return true;
  if (P < BeforeEnd) {
    bool LineGone = (P.Line > Before.Line && P.Line < BeforeEnd.Line) ||
                    (P.Line == Before.Line && Before.Col == 0 && BeforeEnd.Line > Before.Line);
    Line = After.Line;
    Col = After.Col;
    return !LineGone;
  }
  if (P.Line == BeforeEnd.Line) {
    Line = After.Line;
    Col = After.Col + (P.Col - BeforeEnd.Col);
    return true;
  }
  Line = static_cast<uint64_t>(static_cast<int64_t>(P.Line) + C.LineDelta);
  return true;
}

TEkDocument::TEkDocument(TEditorBuffer* Rec) : FRec(Rec) {
  FText.AddWatcher(this);
  Rack.Length = 0;
  Rack.TabWidth = 8;
}

TEkDocument::~TEkDocument() { FText.RemoveWatcher(this); }

void TEkDocument::SetMarker(uint32_t Id, TTextPos P) {
  if (Id >= MaxMarkers) return;
  P.Line = std::min(P.Line, LineCount() - 1);
  FMarkers[Id] = {true, P};
}

void TEkDocument::ClearMarker(uint32_t Id) {
  if (Id < MaxMarkers) FMarkers[Id] = {false, TTextPos{}};
}

uint32_t TEkDocument::LineFlags(uint64_t Line) const { return FLineFlags.Get(Line); }

void TEkDocument::SetLineFlags(uint64_t Line, uint32_t Flags) { FLineFlags.Set(Line, Flags); }

void TEkDocument::ClearFlagBits(uint32_t Bits) { FLineFlags.ClearBits(Bits); }

bool TEkDocument::AttachTrackTable(const TAddTrackTableArgs& Args) {
  if (!Args.Table || Args.ElementSize < sizeof(TCharPos)) return false;
  for (TTracker& T : FTrackers)
    if (T.Args.Table == Args.Table) {
      T.Args = Args;
      return true;
    }
  FTrackers.push_back({Args, false});
  FText.SetNeedCharColumns(true);
  return true;
}

bool TEkDocument::DetachTrackTable(void* Table) {
  auto It = std::find_if(FTrackers.begin(), FTrackers.end(), [&](const TTracker& T) { return T.Args.Table == Table; });
  if (It == FTrackers.end()) return false;
  FTrackers.erase(It);
  FText.SetNeedCharColumns(!FTrackers.empty());
  return true;
}

void TEkDocument::MoveTrackers(const std::function<bool(uint64_t& Line, uint64_t& Col)>& Move) {
  for (TTracker& T : FTrackers) {
    auto* Base = static_cast<uint8_t*>(T.Args.Table);
    uint16_t Count;
    std::memcpy(&Count, Base, sizeof Count);
    int64_t LineBase = T.Args.ZeroBasedLineNum ? 0 : 1;
    int64_t IndexBase = T.Args.ZeroBasedIndex ? 0 : 1;
    bool Moved = false;
    for (uint16_t I = 0; I < Count; ++I) {
      uint8_t* Entry = Base + sizeof(uint16_t) + size_t(I) * T.Args.ElementSize;
      TCharPos P;
      std::memcpy(&P, Entry, sizeof P);
      // Only the line tells a free entry; an index below the base reads as the line start.
      if (P.LineNum < LineBase) continue;
      const uint64_t OldLine = static_cast<uint64_t>(P.LineNum - LineBase);
      const uint64_t OldCol = static_cast<uint64_t>(std::max<int64_t>(P.Index - IndexBase, 0));
      uint64_t Line = OldLine, Col = OldCol;
      if (!Move(Line, Col)) {
        P.LineNum = T.Args.DeletedLineValue;
      } else if (Line == OldLine && Col == OldCol) {
        continue;
      } else {
        P.LineNum = static_cast<int32_t>(std::min<uint64_t>(Line + LineBase, INT32_MAX));
        if (Col != OldCol) P.Index = static_cast<int32_t>(std::min<uint64_t>(Col + IndexBase, INT32_MAX));
      }
      std::memcpy(Entry, &P, sizeof P);
      Moved = true;
    }
    T.Moved |= Moved;
  }
}

void TEkDocument::FlushTrackReports() {
  // A procedure may attach or detach tables: work on a copy of what is to be told.
  std::vector<TAddTrackTableArgs> Tell;
  for (TTracker& T : FTrackers)
    if (T.Moved) {
      T.Moved = false;
      if (T.Args.TrackProc) Tell.push_back(T.Args);
    }
  for (const TAddTrackTableArgs& A : Tell) A.TrackProc(A.Context, A.Table);
}

void TEkDocument::MoveLineFlags(const TChange& C) {
  // Lines move with their text: a change at a line's start carries the line's flags along.
  const uint32_t Changed = lfModified | lfUnsaved;
  if (C.Insert) {
    uint64_t From = C.Before.Col == 0 ? C.Before.Line : C.Before.Line + 1;
    FLineFlags.Shift(From, C.LineDelta);
    for (uint64_t L = C.Before.Line; L <= C.AfterEnd.Line; ++L) FLineFlags.Or(L, Changed);
    return;
  }
  uint64_t L1 = C.Before.Line, L2 = C.BeforeEnd.Line;
  if (L2 > L1 && C.LineDelta != -static_cast<int64_t>(L2 - L1)) {
    FLineFlags.Shift(L2 + 1, C.LineDelta);  // a CR LF pair split or joined: no line went away
  } else if (L2 > L1) {
    // Line L1 keeps the flags of the line whose text survives at its start.
    uint32_t Kept = C.Before.Col == 0 ? FLineFlags.Get(L2) : FLineFlags.Get(L1);
    FLineFlags.Erase(L1, L2);
    FLineFlags.Shift(L2 + 1, -static_cast<int64_t>(L2 - L1));
    FLineFlags.Set(L1, Kept);
  }
  FLineFlags.Or(C.After.Line, Changed);
}

void TEkDocument::FreezeLines() {
  FFrozen = true;
  FShifts.clear();
}

void TEkDocument::RecordFrozenShift(const TChange& C) {
  if (!FFrozen || C.LineDelta == 0) return;
  if (C.Insert) {
    int64_t After = C.Before.Col == 0 ? static_cast<int64_t>(C.Before.Line) - 1 : static_cast<int64_t>(C.Before.Line);
    FShifts.push_back({After, C.LineDelta});
    return;
  }
  bool FromStart = C.Before.Col == 0 && C.BeforeEnd.Line > C.Before.Line;
  int64_t After = FromStart ? static_cast<int64_t>(C.Before.Line) - 1 : static_cast<int64_t>(C.Before.Line);
  FShifts.push_back({After, C.LineDelta});
}

int64_t TEkDocument::RealToFrozen(int64_t Line) const {
  if (!FFrozen) return Line;
  for (auto It = FShifts.rbegin(); It != FShifts.rend(); ++It) {
    if (It->Delta > 0) {
      if (Line > It->After + It->Delta) Line -= It->Delta;
      else if (Line > It->After) return -1;
    } else if (Line > It->After) {
      Line -= It->Delta;
    }
  }
  return Line;
}

int64_t TEkDocument::FrozenToReal(int64_t Line) const {
  if (!FFrozen) return Line;
  for (const TShift& S : FShifts) {
    if (S.Delta > 0) {
      if (Line > S.After) Line += S.Delta;
    } else if (Line > S.After) {
      if (Line <= S.After - S.Delta) return -1;
      Line += S.Delta;
    }
  }
  return Line;
}

TTextPos TEkDocument::FromCharPos(const TCharPos& P) const {
  uint64_t Line = P.LineNum < 1 ? 0 : std::min<uint64_t>(static_cast<uint64_t>(P.LineNum) - 1, LineCount() - 1);
  uint64_t Index = P.Index < 0 ? 0 : static_cast<uint64_t>(P.Index);
  if (Index == 0) return {Line, 0};  // a line's start needs no look at its text
  return {Line, Utf8ByteOfChar(LineText(Line), Index)};
}

TCharPos TEkDocument::ToCharPos(TTextPos P) const {
  std::string Text = LineText(std::min(P.Line, LineCount() - 1));
  uint64_t Chars = Utf8CountChars(Text, std::min<uint64_t>(P.Col, Text.size()));
  if (P.Col > Text.size()) Chars += P.Col - Text.size();
  TCharPos R;
  if (Chars > INT32_MAX || P.Line >= INT32_MAX) throw TRangeError();  // no field can hold it
  R.Index = static_cast<int32_t>(Chars);
  R.LineNum = static_cast<int32_t>(P.Line + 1);
  return R;
}

uint8_t TEkDocument::CheckEditable(int32_t Line, int32_t Count) {
  if (FRec->LockRefCount > 0) return erReadOnly;
  for (const TEdQueryEvent& Q : FRec->QueryEventHandlers)
    if (Q.EventProc && (Q.Mask & eeTextChanged) && !Q.EventProc(Q.Context, FRec, eeTextChanged, Line, Count))
      return erVetoed;
  return erOk;
}

void TEkDocument::SendEvent(uint16_t Event, int32_t Line, int32_t Count) {
  for (const TEdEvent& E : FRec->EventHandlers)
    if (E.EventProc && (E.Mask & Event)) E.EventProc(E.Context, FRec, Event, Line, Count);
}

void TEkDocument::SyncRecord() {
  uint64_t Lines = LineCount();
  FRec->NLines = static_cast<int32_t>(std::min<uint64_t>(Lines, INT32_MAX));
  FRec->UndoAvailable = FText.History().CanUndo();
  FRec->RedoAvailable = FText.History().CanRedo();
}

void TEkDocument::MarkModified() {
  // At the change itself, not at the end of the script: a client undo procedure that runs
  // later in the same undo or redo (a buffer's saved-state object) has the last word.
  const bool WasModified = FRec->ModifyFlags & mfModified;
  FRec->ModifyFlags |= mfModified | mfModifiedNotify | mfModifiedSince;
  if (!WasModified) SendEvent(eeModified, 0, 0);
}

void TEkDocument::TextChanged(const TChange& C) {
  MarkModified();
  for (auto& M : FMarkers)
    if (M.first) MovePosition(M.second.Line, M.second.Col, C, C.Before, C.BeforeEnd, C.After, C.AfterEnd);
  for (TCarried& P : Carried) {
    const TTextPos Old = P.Pos;
    MovePosition(P.Pos.Line, P.Pos.Col, C, C.Before, C.BeforeEnd, C.After, C.AfterEnd);
    P.Moved |= P.Pos != Old;
  }
  if (!FTrackers.empty()) {
    const TTextPos B{C.Before.Line, C.BeforeChars}, BE{C.BeforeEnd.Line, C.BeforeEndChars};
    const TTextPos A{C.After.Line, C.AfterChars}, AE{C.AfterEnd.Line, C.AfterEndChars};
    MoveTrackers([&](uint64_t& Line, uint64_t& Col) { return MovePosition(Line, Col, C, B, BE, A, AE); });
  }
  MoveLineFlags(C);
  RecordFrozenShift(C);
  FElisions.Move(C);
  LineClasses.Changed(C.Before.Line, C.LineDelta, C.AfterEnd.Line);
  if (C.LineDelta != 0 || RepaintLines.size() > 256) {
    RepaintAll = true;
  } else if (!RepaintAll) {
    RepaintLines.push_back(C.After.Line);
  }
  SendEvent(eeTextChanged, static_cast<int32_t>(std::min<uint64_t>(C.Before.Line + 1, INT32_MAX)),
            static_cast<int32_t>(C.LineDelta));
}

namespace {

// Where positions go through a set of replacements that kept every line: one inside a
// replaced text or at its start goes to the start of the replacement, one after it moves with
// the text of its line. Each position walks the items of its line.
class TReplaceMap {
 public:
  TReplaceMap(const TReplacements& R, const std::vector<TTextPos>& At) : FR(R), FAt(At) {}

  // A position in byte columns.
  TTextPos Map(TTextPos P) const {
    int64_t Growth = 0;  // what the items before on the line added
    for (size_t K = FirstOnLine(P.Line); K < FAt.size() && FAt[K].Line == P.Line && FAt[K].Col <= P.Col; ++K) {
      const TReplacements::TItem& I = FR.Items[K];
      if (P.Col < FAt[K].Col + I.OldLen) return {P.Line, Shifted(FAt[K].Col, Growth)};
      Growth += static_cast<int64_t>(I.NewLen) - static_cast<int64_t>(I.OldLen);
    }
    return {P.Line, Shifted(P.Col, Growth)};
  }

  // A position in characters, on a line whose text is now Now.
  uint64_t MapChars(uint64_t Line, uint64_t Col, std::string_view Now) {
    size_t K = FirstOnLine(Line);
    if (K == FAt.size() || FAt[K].Line != Line) return Col;
    if (FOldAt.empty()) {
      // Where each item's texts start in R.Old and R.New.
      FOldAt.assign(FAt.size() + 1, 0);
      FNewAt.assign(FAt.size() + 1, 0);
      for (size_t I = 0; I < FAt.size(); ++I) {
        FOldAt[I + 1] = FOldAt[I] + FR.Items[I].OldLen;
        FNewAt[I + 1] = FNewAt[I] + FR.Items[I].NewLen;
      }
    }
    const auto Chars = [](std::string_view S, uint64_t From, uint64_t To) {
      return static_cast<int64_t>(Utf8CountChars(S.substr(From, To - From), To - From));
    };
    int64_t Growth = 0, CharGrowth = 0;  // bytes and characters the items before added
    uint64_t Byte = 0, CharsBefore = 0;  // a byte of the line now, and the characters before it
    for (; K < FAt.size() && FAt[K].Line == Line; ++K) {
      const uint64_t NewByte = std::min<uint64_t>(Shifted(FAt[K].Col, Growth), Now.size());
      CharsBefore += static_cast<uint64_t>(Chars(Now, Byte, NewByte));
      Byte = NewByte;
      const uint64_t OldChar = Shifted(CharsBefore, -CharGrowth);
      if (Col < OldChar) break;
      const int64_t OldChars = Chars(FR.Old, FOldAt[K], FOldAt[K + 1]), NewChars = Chars(FR.New, FNewAt[K], FNewAt[K + 1]);
      if (Col < OldChar + static_cast<uint64_t>(OldChars)) return CharsBefore;
      Growth += static_cast<int64_t>(FR.Items[K].NewLen) - static_cast<int64_t>(FR.Items[K].OldLen);
      CharGrowth += NewChars - OldChars;
    }
    return Shifted(Col, CharGrowth);
  }

 private:
  static uint64_t Shifted(uint64_t Col, int64_t By) { return static_cast<uint64_t>(static_cast<int64_t>(Col) + By); }
  size_t FirstOnLine(uint64_t Line) const {
    return static_cast<size_t>(std::lower_bound(FAt.begin(), FAt.end(), TTextPos{Line, 0}) - FAt.begin());
  }

  const TReplacements& FR;
  const std::vector<TTextPos>& FAt;
  std::vector<uint64_t> FOldAt, FNewAt;
};

}  // namespace

void TEkDocument::TextReplaced(const TReplacements& R, const std::vector<TTextPos>& At) {
  MarkModified();
  TReplaceMap Map(R, At);
  for (auto& M : FMarkers)
    if (M.first) M.second = Map.Map(M.second);
  for (TCarried& P : Carried) {
    const TTextPos Old = P.Pos;
    P.Pos = Map.Map(P.Pos);
    P.Moved |= P.Pos != Old;
  }
  if (!FTrackers.empty()) {
    MoveTrackers([&](uint64_t& Line, uint64_t& Col) {
      if (Line < LineCount()) Col = Map.MapChars(Line, Col, LineText(Line));
      return true;
    });
  }
  FElisions.MoveColumns([&](TTextPos P) { return Map.Map(P); });
  std::vector<uint64_t> Lines;
  for (const TTextPos& P : At)
    if (Lines.empty() || Lines.back() != P.Line) Lines.push_back(P.Line);
  FLineFlags.OrLines(Lines, lfModified | lfUnsaved);
  LineClasses.LinesChanged(Lines);
  RepaintAll = true;
  for (uint64_t Line : Lines) SendEvent(eeTextChanged, static_cast<int32_t>(std::min<uint64_t>(Line + 1, INT32_MAX)), 0);
}

void TEkDocument::TextReset() {
  for (auto& M : FMarkers) M = {false, TTextPos{}};
  FLineFlags.Clear();
  FShifts.clear();
  FElisions.Clear();
  LineClasses.Reset();
  RepaintAll = true;
  // Track tables keep their entries: their owners set them again after a reload.
  SendEvent(eeReloaded, 1, 0);
}

}  // namespace nxs::ek
