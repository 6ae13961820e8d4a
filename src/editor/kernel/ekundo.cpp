// Undo groups: which steps join, and how the history is trimmed to its limit.
#include "editor/kernel/ekundo.h"

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
    if (FRecords[I - 1].Kind != TUndoRecord::ukClient) return false;
  return true;
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
  if (!FStarted || FFresh || Last.Group != FGroup) return false;
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
    case ugGroupWithDataChangeAdd:
      return Typing;
    case ugGroupWithDataChangeDelete:
      return Erasing;
    case ugGroupDefault:
      return FGroupLike && (Typing || Erasing);
  }
  return false;
}

void TUndoHistory::Record(TUndoRecord Rec) {
  ClearRedo();
  if (Rec.Kind == TUndoRecord::ukClient) {
    // A client procedure neither opens a step nor changes what the next change joins.
    if (!FStepOpen && !Joins(Rec)) ++FGroup;
  } else if (!FStepOpen) {
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
  for (const TUndoRecord& R : FRecords) {
    Total += R.Text.capacity() > 15 ? R.Text.capacity() : 0;
    if (R.Batch) Total += sizeof(TReplacements) + R.Batch->MemoryUse();
  }
  return Total;
}

}  // namespace nxs::ek
