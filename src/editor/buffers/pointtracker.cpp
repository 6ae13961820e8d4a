#include "editor/buffers/pointtracker.h"

#include <algorithm>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/ekinit.h"

namespace nxs {

TPointTracker::TPointTracker(TEditBuffer* Buffer) : TEdTracker(Buffer) {
  FOnPosMoved = [this](TCharPos OldPos, TCharPos NewPos, uint32_t Data) { PosMoved(OldPos, NewPos, Data); };
}

TPointTracker::~TPointTracker() {
  FOnPosMoved = nullptr;
  CancelAfterEval(this);
  Detach();
}

void TPointTracker::Track(std::shared_ptr<TSyncEditPoints> Points) {
  FPoints = std::move(Points);
  size_t Entries = 0;
  for (TSyncEditPoint& P : FPoints->Points) {
    Entries += 3 * P.Occurrences.size();
    // Points copied from another sync edit name that tracker's entries.
    for (TSyncEditOccurrence& O : P.Occurrences) O.StartEntry = O.EndEntry = O.AnchorEntry = -1;
  }
  SetCapacity(static_cast<int>(std::min<size_t>(Entries + 4, MaxEntries)));
  for (size_t P = 0; P < FPoints->Points.size(); ++P) {
    std::vector<TSyncEditOccurrence>& List = FPoints->Points[P].Occurrences;
    for (size_t I = 0; I < List.size(); ++I) {
      Store(List[I], static_cast<int>(P), static_cast<int>(I));
      if (List[I].StartEntry < 0 || List[I].EndEntry < 0 || (List[I].AnchorEntry < 0 && !SamePos(List[I].Start, {0, 1}))) {
        // The table is full: this occurrence and the rest of the point stay out.
        for (size_t J = I; J < List.size(); ++J) Forget(List[J]);
        List.resize(I);
        break;
      }
    }
  }
  Attach();
}

bool TPointTracker::Refresh(TSyncEditOccurrence& O) {
  const TCharPos S = GetPosition(O.StartEntry), E = GetPosition(O.EndEntry);
  if (S.LineNum < 1 || E.LineNum < 1) return false;
  TCharPos Start = S;
  if (O.AnchorEntry < 0) {
    Start = TCharPos{0, 1};  // nothing can come before the text's first position
  } else if (const TCharPos A = GetPosition(O.AnchorEntry); A.LineNum >= 1) {
    // The anchor stood on the character before the start; text inserted at the start went
    // between them and belongs to the occurrence.
    const TCharPos After = AfterAnchor(A, S);
    if (PosBefore(After, Start)) Start = After;
  }
  O.Start = Start;
  O.End = PosBefore(E, Start) ? Start : E;
  // The entries now say what the occurrence says: nothing is left for PosMoved to report
  // from a move the bounds already took in.
  SetPosition(O.StartEntry, O.Start);
  SetPosition(O.EndEntry, O.End);
  if (O.AnchorEntry >= 0) SetPosition(O.AnchorEntry, GetPosition(O.AnchorEntry));
  return true;
}

void TPointTracker::Store(TSyncEditOccurrence& O, int Point, int Occurrence) {
  const uint32_t Data = PackPointData(Point, Occurrence);
  auto Put = [&](int& Entry, TCharPos Pos) {
    if (Entry >= 0) {
      SetPosition(Entry, Pos);
      SetData(Entry, Data);
    } else {
      Entry = AddPos(Pos, Data);
    }
  };
  Put(O.StartEntry, O.Start);
  Put(O.EndEntry, O.End);
  if (O.Start.LineNum <= 1 && O.Start.Index <= 0) {
    if (O.AnchorEntry >= 0) Delete(O.AnchorEntry);
    O.AnchorEntry = -1;
    return;
  }
  TCharPos Anchor{O.Start.Index - 1, O.Start.LineNum};
  if (O.Start.Index <= 0) {
    const int32_t Length = GetLineLength(EditBuffer()->EkView(), O.Start.LineNum - 1);
    Anchor = TCharPos{Length < 0 ? 0 : Length, O.Start.LineNum - 1};
  }
  Put(O.AnchorEntry, Anchor);
}

void TPointTracker::Forget(TSyncEditOccurrence& O) {
  for (int* Entry : {&O.StartEntry, &O.EndEntry, &O.AnchorEntry}) {
    if (*Entry >= 0) Delete(*Entry);
    *Entry = -1;
  }
}

bool TPointTracker::AnchorSwallowed(const TSyncEditOccurrence& O) const {
  if (O.AnchorEntry < 0) return false;
  const TCharPos A = GetPosition(O.AnchorEntry), S = GetPosition(O.StartEntry);
  return A.LineNum >= 1 && S.LineNum >= 1 && PosBefore(S, AfterAnchor(A, S));
}

void TPointTracker::PosMoved(TCharPos OldPos, TCharPos NewPos, uint32_t Data) {
  if (!FPoints) return;
  const int P = PointOfData(Data), I = OccurrenceOfData(Data);
  if (P >= FPoints->Count() || I >= static_cast<int>(FPoints->Points[static_cast<size_t>(P)].Occurrences.size())) return;
  TSyncEditOccurrence& O = FPoints->Points[static_cast<size_t>(P)].Occurrences[static_cast<size_t>(I)];
  if (SamePos(O.Start, OldPos)) O.Start = NewPos;
  if (SamePos(O.End, OldPos)) O.End = NewPos;
}

}  // namespace nxs
