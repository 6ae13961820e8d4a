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
  if (FUndo.empty()) return false;
  const uint32_t Group = FUndo.back().Group;
  for (auto It = FUndo.rbegin(); It != FUndo.rend() && It->Group == Group; ++It)
    if (It->Kind != TUndoRecord::ukClient) return false;
  return true;
}

// Whether the first record of a step joins the last group.
bool TUndoHistory::Joins(const TUndoRecord& Rec) const {
  if (FPlayback) return !FPlaybackFirst && !FUndo.empty();
  if (FUndo.empty()) return false;
  // Client procedures alone change nothing that undoing could show: the next change joins
  // them (a buffer's modified-state object made when its text was loaded goes with the first
  // edit, so that undoing every edit gives the unmodified state back).
  if (LastGroupIsClientOnly()) return true;
  // A client procedure acts when the change before it is undone or redone (a buffer's
  // modified-state object made when its text was saved goes with the last edit before it).
  if (Rec.Kind == TUndoRecord::ukClient) return FKind != ugGroupWithNone;
  if (!FStarted || FFresh || FUndo.back().Group != FGroup) return false;
  const TUndoRecord& Last = FUndo.back();
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
  FUndo.push_back(std::move(Rec));
  Trim();
}

std::vector<TUndoRecord*> TUndoHistory::TakeUndoGroup() {
  std::vector<TUndoRecord*> Out;
  if (!CanUndo()) return Out;
  uint32_t Group = FUndo.back().Group;
  while (!FUndo.empty() && FUndo.back().Group == Group) {
    FRedo.push_front(std::move(FUndo.back()));
    FUndo.pop_back();
    Out.push_back(&FRedo.front());
  }
  // The next change starts a group of its own.
  FStarted = false;
  FStepOpen = false;
  return Out;
}

std::vector<TUndoRecord*> TUndoHistory::TakeRedoGroup() {
  std::vector<TUndoRecord*> Out;
  if (FRedo.empty()) return Out;
  uint32_t Group = FRedo.front().Group;
  while (!FRedo.empty() && FRedo.front().Group == Group) {
    FUndo.push_back(std::move(FRedo.front()));
    FRedo.pop_front();
    Out.push_back(&FUndo.back());
  }
  FStarted = false;
  FStepOpen = false;
  return Out;
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
  while (FUndo.size() > FLimit) {
    uint32_t Group = FUndo.front().Group;
    if (Group == FGroup && FUndo.back().Group == Group && FLimit > 0) break;  // never the open group
    while (!FUndo.empty() && FUndo.front().Group == Group) {
      Drop(FUndo.front());
      FUndo.pop_front();
    }
  }
}

void TUndoHistory::ClearRedo() {
  for (TUndoRecord& R : FRedo) Drop(R);
  FRedo.clear();
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
  for (TUndoRecord& R : FUndo) Drop(R);
  FUndo.clear();
  ClearRedo();
  FStarted = false;
  FStepOpen = false;
}

size_t TUndoHistory::MemoryUse() const {
  size_t Total = (FUndo.size() + FRedo.size()) * sizeof(TUndoRecord);
  for (const TUndoRecord& R : FUndo) Total += R.Text.capacity() > 15 ? R.Text.capacity() : 0;
  for (const TUndoRecord& R : FRedo) Total += R.Text.capacity() > 15 ? R.Text.capacity() : 0;
  return Total;
}

}  // namespace nxs::ek
