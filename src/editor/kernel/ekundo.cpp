// Undo groups: which steps join, and how the history is trimmed to its limit.
#include "editor/kernel/ekundo.h"

#include <algorithm>

namespace nxs::ek {

TUndoHistory::~TUndoHistory() { Clear(); }

void TUndoHistory::StartGroup() {
  FStarted = true;
  FFresh = true;
}

void TUndoHistory::EndStep() {
  FStepOpen = false;
  if (FKind == ugGroupWithNone && !FPlayback) FStarted = false;
}

void TUndoHistory::EndPlayback() {
  if (FPlayback > 0) --FPlayback;
  if (!FPlayback) FStarted = false;
}

bool TUndoHistory::LastGroupIsClientOnly() const {
  if (FCursor == 0) return false;
  const uint32_t Group = FRecords[FCursor - 1].Group;
  for (size_t I = FCursor; I > 0 && FRecords[I - 1].Group == Group; --I)
    if (FRecords[I - 1].Kind != TUndoRecord::ukClient || FRecords[I - 1].OwnStep) return false;
  return true;
}

void TUndoHistory::TakeWaitingClients() {
  if (FPlayback) return;
  size_t Own = FCursor;
  while (Own > 0 && IsOwnStep(Own - 1)) --Own;
  if (Own == FCursor || Own == 0) return;
  size_t From = Own;
  const uint32_t Group = FRecords[Own - 1].Group;
  while (From > 0 && FRecords[From - 1].Group == Group) {
    const TUndoRecord& R = FRecords[From - 1];
    if (R.Kind != TUndoRecord::ukClient || R.OwnStep) return;  // a change: nothing waits
    --From;
  }
  // After the steps of their own, in a group of their own, which the change joins.
  std::rotate(FRecords.begin() + static_cast<std::ptrdiff_t>(From), FRecords.begin() + static_cast<std::ptrdiff_t>(Own),
              FRecords.begin() + static_cast<std::ptrdiff_t>(FCursor));
  ++FGroup;
  for (size_t I = FCursor - (Own - From); I < FCursor; ++I) FRecords[I].Group = FGroup;
}

bool TUndoHistory::IsOwnStep(size_t I) const {
  const uint32_t Group = FRecords[I].Group;
  return FRecords[I].OwnStep && (I == 0 || FRecords[I - 1].Group != Group) &&
         (I + 1 == FRecords.size() || FRecords[I + 1].Group != Group);
}

// Whether the first record of a step joins the last group.
bool TUndoHistory::Joins(const TUndoRecord& Rec) const {
  if (FPlayback) return !FPlaybackFirst && FCursor > 0;
  if (FCursor == 0) return false;
  // Client procedures alone change nothing that undoing could show: the next change joins
  // them (a buffer's modified-state object made when its text was loaded goes with the first
  // edit, so that undoing every edit gives the unmodified state back).
  if (LastGroupIsClientOnly()) return true;
  // A client procedure acts when the change before it is undone or redone (a buffer's
  // modified-state object made when its text was saved goes with the last edit before it).
  if (Rec.Kind == TUndoRecord::ukClient) return FKind != ugGroupWithNone;
  const TUndoRecord& Last = FRecords[FCursor - 1];
  if (!FStarted || FFresh || Last.Group != FGroup || Last.OwnStep) return false;
  bool Typing = Rec.Kind == TUndoRecord::ukInsert && Last.Kind == TUndoRecord::ukInsert &&
                Rec.Pos == Last.Pos + Last.Text.size();
  bool Erasing = Rec.Kind == TUndoRecord::ukDelete && Last.Kind == TUndoRecord::ukDelete &&
                 (Rec.Pos == Last.Pos || Rec.Pos + Rec.Text.size() == Last.Pos);
  switch (FKind) {
    case ugGroupWithAny:
    case ugGroupWithMotion:
      return true;
    case ugGroupWithNone:
      return false;
    // Runs of typing and of erasing join only with Group Undo on: off, every keystroke undoes
    // alone. The explicit groups above are compound operations and always join.
    case ugGroupWithDataChangeAdd:
      return FGroupLike && Typing;
    case ugGroupWithDataChangeDelete:
      return FGroupLike && Erasing;
    case ugGroupDefault:
      return FGroupLike && (Typing || Erasing);
  }
  return false;
}

void TUndoHistory::Record(TUndoRecord Rec) {
  ClearRedo();
  if (Rec.OwnStep && !FPlayback) {
    Rec.Group = ++FGroup;
    FRecords.push_back(std::move(Rec));
    FCursor = FRecords.size();
    GroupTaken();
    Trim();
    return;
  }
  if (Rec.Kind == TUndoRecord::ukClient && !Rec.OwnStep) {
    size_t At = FCursor;
    while (At > 0 && IsOwnStep(At - 1)) --At;
    if (At < FCursor) {
      // Into the group of the change before the steps of their own, or a group of its own
      // before them when there is none.
      Rec.Group = At > 0 ? FRecords[At - 1].Group : ++FGroup;
      FRecords.insert(FRecords.begin() + static_cast<std::ptrdiff_t>(At), std::move(Rec));
      FCursor = FRecords.size();
      Trim();
      return;
    }
    // A client procedure neither opens a step nor changes what the next change joins.
    if (!FStepOpen && !Joins(Rec)) ++FGroup;
  } else if (!FStepOpen) {
    TakeWaitingClients();
    if (!Joins(Rec)) ++FGroup;
    FStarted = true;
    FFresh = false;
    FStepOpen = true;
    FPlaybackFirst = false;
  }
  Rec.Group = FGroup;
  FRecords.push_back(std::move(Rec));
  FCursor = FRecords.size();
  Trim();
}

void TUndoHistory::Drop(TUndoRecord& Rec) {
  if (Rec.Kind == TUndoRecord::ukClient && Rec.Proc) {
    TEkClientUndoProc Proc = Rec.Proc;
    Rec.Proc = nullptr;
    Proc(Rec.Context, EKExecuteOpDestroy);
  }
}

void TUndoHistory::Trim() {
  // Whole groups go, oldest first, so that no group is undone in part.
  while (FCursor > FLimit) {
    uint32_t Group = FRecords.front().Group;
    if (Group == FGroup && FRecords[FCursor - 1].Group == Group && FLimit > 0) break;  // never the open group
    while (FCursor > 0 && FRecords.front().Group == Group) {
      Drop(FRecords.front());
      FRecords.pop_front();
      --FCursor;
    }
  }
}

void TUndoHistory::ClearRedo() {
  for (size_t I = FCursor; I < FRecords.size(); ++I) Drop(FRecords[I]);
  FRecords.erase(FRecords.begin() + static_cast<std::ptrdiff_t>(FCursor), FRecords.end());
}

void TUndoHistory::SetLimit(uint32_t Limit) {
  FLimit = Limit;
  if (Limit == 0) {
    Clear();
    return;
  }
  Trim();
}

void TUndoHistory::Clear() {
  for (TUndoRecord& R : FRecords) Drop(R);
  FRecords.clear();
  FCursor = 0;
  FStarted = false;
  FStepOpen = false;
}

size_t TUndoHistory::MemoryUse() const {
  size_t Total = FRecords.size() * sizeof(TUndoRecord);
  for (const TUndoRecord& R : FRecords) Total += R.Text.capacity() > 15 ? R.Text.capacity() : 0;
  return Total;
}

}  // namespace nxs::ek
