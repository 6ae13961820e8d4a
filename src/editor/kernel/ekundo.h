// The undo history of a kernel buffer: changes are recorded in steps (closed by the end of a
// macro step) and steps join into groups after the undo-group kind; Undo takes back one group.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

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

  // Records a change done by the buffer; drops the redo list.
  void Record(TUndoRecord Rec);
  // A group of client procedures alone is not undone by itself: it waits for a change.
  bool CanUndo() const { return !FUndo.empty() && !LastGroupIsClientOnly(); }
  bool Empty() const { return FUndo.empty() && FRedo.empty(); }
  bool CanRedo() const { return !FRedo.empty(); }
  // Moves the last group to the redo list and returns its records, newest first.
  std::vector<TUndoRecord*> TakeUndoGroup();
  // Moves the first redo group back and returns its records, oldest first.
  std::vector<TUndoRecord*> TakeRedoGroup();

  uint32_t Limit() const { return FLimit; }
  // 0 empties the history.
  void SetLimit(uint32_t Limit);
  void Clear();
  size_t RecordCount() const { return FUndo.size(); }
  size_t MemoryUse() const;

 private:
  bool Joins(const TUndoRecord& Rec) const;
  bool LastGroupIsClientOnly() const;
  void Drop(TUndoRecord& Rec);
  void Trim();
  void ClearRedo();

  std::deque<TUndoRecord> FUndo;  // oldest first
  std::deque<TUndoRecord> FRedo;  // next to redo first
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
