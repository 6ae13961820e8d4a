// The undo history of a kernel buffer: changes are recorded in steps (closed by the end of a
// macro step) and steps join into groups after the undo-group kind; Undo takes back one group.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "editor/kernel/ek.h"

namespace nxs::ek {

struct TUndoRecord {
  enum TKind : uint8_t { ukInsert, ukDelete, ukClient };
  TKind Kind = ukInsert;
  uint64_t Pos = 0;
  std::string Text;  // inserted or deleted bytes
  TEkClientUndoProc Proc = nullptr;
  void* Context = nullptr;
  uint32_t Group = 0;
  TEdPos CursorBefore{1, 1};
  // A client record that is an undo step of its own (outside playback): never joined by
  // what comes before or after it, and undoable though it changes no text.
  bool OwnStep = false;
};

class TUndoHistory {
 public:
  TUndoHistory() = default;
  ~TUndoHistory();
  TUndoHistory(const TUndoHistory&) = delete;  // client procedures are told once when dropped
  TUndoHistory& operator=(const TUndoHistory&) = delete;

  // Group control (SetUndoGroup, StartUndoGroup, the end of a macro step, playback).
  void SetKind(TUndoGroup Kind) { FKind = Kind; }
  TUndoGroup Kind() const { return FKind; }
  bool Started() const { return FStarted; }
  void StartGroup();
  void EndStep();
  // Every step from here to the matching EndPlayback undoes as one group of its own.
  void BeginPlayback() {
    if (FPlayback++ == 0) FPlaybackFirst = true;
  }
  void EndPlayback();
  // Like changes join when GroupUndo is on and the group kind is ugGroupDefault.
  void SetGroupLikeChanges(bool On) { FGroupLike = On; }

  // Records a change done by the buffer; drops the redo list. A client procedure that is no
  // step of its own goes with the last change: steps of their own recorded since (a mode
  // entered after the change) are passed over, so that it never rides with them.
  void Record(TUndoRecord Rec);
  // A group of client procedures alone is not undone by itself: it waits for a change.
  bool CanUndo() const { return FCursor > 0 && !LastGroupIsClientOnly(); }
  bool CanRedo() const { return FCursor < FRecords.size(); }
  bool Empty() const { return FRecords.empty(); }
  // Undoes the last group: Apply gets its records newest first, and they become the first
  // ones to redo. False when there is nothing to undo. Records stay where they are, so a step
  // costs no allocation; Apply must not record changes.
  template <class TApply>
  bool UndoGroup(TApply&& Apply) {
    if (!CanUndo()) return false;
    const uint32_t Group = FRecords[FCursor - 1].Group;
    while (FCursor > 0 && FRecords[FCursor - 1].Group == Group) Apply(FRecords[--FCursor]);
    GroupTaken();
    return true;
  }
  // Redoes the next group: Apply gets its records oldest first.
  template <class TApply>
  bool RedoGroup(TApply&& Apply) {
    if (!CanRedo()) return false;
    const uint32_t Group = FRecords[FCursor].Group;
    while (FCursor < FRecords.size() && FRecords[FCursor].Group == Group) Apply(FRecords[FCursor++]);
    GroupTaken();
    return true;
  }

  uint32_t Limit() const { return FLimit; }
  // 0 empties the history.
  void SetLimit(uint32_t Limit);
  void Clear();
  size_t RecordCount() const { return FCursor; }
  size_t MemoryUse() const;

 private:
  bool Joins(const TUndoRecord& Rec) const;
  bool LastGroupIsClientOnly() const;
  // Whether the record at I is a step of its own, a group by itself.
  bool IsOwnStep(size_t I) const;
  // Client procedures that wait for a change (made when the text was loaded) and have steps of
  // their own after them go after those steps, where the change about to be recorded joins
  // them: they go with the first change, not with a mode entered before it.
  void TakeWaitingClients();
  void Drop(TUndoRecord& Rec);
  void Trim();
  void ClearRedo();
  // The next change starts a group of its own.
  void GroupTaken() {
    FStarted = false;
    FStepOpen = false;
  }

  // Oldest first; the records before FCursor are undone next (the last one first), those from
  // FCursor on are redone next (FCursor first).
  std::deque<TUndoRecord> FRecords;
  size_t FCursor = 0;
  TUndoGroup FKind = ugGroupWithNone;
  bool FStarted = false;   // a group is open that the next step may join
  bool FFresh = false;     // StartGroup was called and the group has no change yet
  bool FStepOpen = false;  // the current step already has a change
  bool FGroupLike = true;
  int FPlayback = 0;
  bool FPlaybackFirst = false;  // the playback has recorded no change yet
  uint32_t FGroup = 0;
  uint32_t FLimit = 32767;
};

}  // namespace nxs::ek
