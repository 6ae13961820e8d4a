// Tracked positions: the table, its growth, and the reports of moved entries.
#include "editor/buffers/edtracker.h"

#include <algorithm>
#include <cstring>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/ekinit.h"

namespace nxs {

TEdTracker::TEdTracker(TEditBuffer* Buffer) : FEditBuffer(Buffer) {
  FLineBuffer.assign(sizeof(uint16_t), 0);
}

TEdTracker::~TEdTracker() {
  // Cancelled before detaching: detaching runs a script, and the end of the outermost script
  // runs what was queued, this table's report among it, into a half-destroyed tracker.
  CancelAfterEval(this);
  FOnLineMoved = nullptr;
  FOnPosMoved = nullptr;
  Detach();
}

TEdTrackEntry* TEdTracker::Entries() { return reinterpret_cast<TEdTrackEntry*>(FLineBuffer.data() + sizeof(uint16_t)); }
const TEdTrackEntry* TEdTracker::Entries() const {
  return reinterpret_cast<const TEdTrackEntry*>(FLineBuffer.data() + sizeof(uint16_t));
}

uint16_t TEdTracker::StoredCount() const {
  uint16_t N;
  std::memcpy(&N, FLineBuffer.data(), sizeof N);
  return N;
}

void TEdTracker::SetStoredCount(uint16_t N) { std::memcpy(FLineBuffer.data(), &N, sizeof N); }

int TEdTracker::Count() const { return StoredCount(); }

void TEdTracker::SetCapacity(int Capacity) {
  if (Capacity > MaxEntries) Capacity = MaxEntries;
  if (Capacity < Count()) Capacity = Count();
  if (Capacity == FCapacity) return;
  // The kernel holds the table's address: hand it back while the storage moves.
  const bool WasAttached = FAttached;
  if (WasAttached) Detach();
  FLineBuffer.resize(sizeof(uint16_t) + static_cast<size_t>(Capacity) * sizeof(TEdTrackEntry), 0);
  FCapacity = Capacity;
  if (WasAttached) Attach();
}

int TEdTracker::AddPos(TCharPos Pos, uint32_t Data) {
  int Index = -1;
  for (int I = FFirstEmptyIndex; I < Count(); ++I)
    if (!InUse(I)) {
      Index = I;
      break;
    }
  if (Index < 0) {
    Index = Count();
    if (Index >= MaxEntries) return -1;
    if (Index >= FCapacity) SetCapacity(FCapacity < 9 ? FCapacity + 4 : FCapacity < 65 ? FCapacity + 16 : FCapacity + FCapacity / 4);
  }
  TEdTrackEntry& E = Entries()[Index];
  {
    TEdModesLock G;  // the kernel reads the table during scripts
    E.Pos = Pos;
    E.Reported = Pos;
    E.Data = Data;
    if (Index >= Count()) SetStoredCount(static_cast<uint16_t>(Index + 1));
  }
  FFirstEmptyIndex = Index + 1;
  return Index;
}

void TEdTracker::Delete(int Index) {
  if (!ValidIndex(Index)) return;
  TEdModesLock G;
  TEdTrackEntry& E = Entries()[Index];
  E.Pos = TCharPos{0, 0};
  E.Reported = E.Pos;
  E.Data = 0;
  if (Index < FFirstEmptyIndex) FFirstEmptyIndex = Index;
}

void TEdTracker::Clear() {
  TEdModesLock G;
  SetStoredCount(0);
  FFirstEmptyIndex = 0;
}

void TEdTracker::ClearTrackPos() {
  for (int I = 0; I < Count(); ++I)
    if (!InUse(I)) Delete(I);
}

int TEdTracker::IndexOf(TCharPos Pos) const {
  for (int I = 0; I < Count(); ++I) {
    const TCharPos P = GetPosition(I);
    if (P.LineNum >= 1 && P.LineNum == Pos.LineNum && P.Index == Pos.Index) return I;
  }
  return -1;
}

int TEdTracker::IndexOfData(uint32_t Data) const {
  for (int I = 0; I < Count(); ++I)
    if (InUse(I) && GetData(I) == Data) return I;
  return -1;
}

TCharPos TEdTracker::GetPosition(int Index) const {
  if (!ValidIndex(Index)) return TCharPos{0, 0};
  TEdModesLock G;
  return Entries()[Index].Pos;
}

void TEdTracker::SetPosition(int Index, TCharPos Pos) {
  if (!ValidIndex(Index)) return;
  TEdModesLock G;
  Entries()[Index].Pos = Pos;
  Entries()[Index].Reported = Pos;
  if (Pos.LineNum < 1) FFirstEmptyIndex = std::min(FFirstEmptyIndex, Index);
}

void TEdTracker::SetLineNum(int Index, int32_t Line) {
  TCharPos P = GetPosition(Index);
  P.LineNum = Line;
  SetPosition(Index, P);
}

void TEdTracker::SetCharIndex(int Index, int32_t CharIndex) {
  TCharPos P = GetPosition(Index);
  P.Index = CharIndex;
  SetPosition(Index, P);
}

uint32_t TEdTracker::GetData(int Index) const { return ValidIndex(Index) ? Entries()[Index].Data : 0; }

void TEdTracker::SetData(int Index, uint32_t Data) {
  if (ValidIndex(Index)) Entries()[Index].Data = Data;
}

TCharPos TEdTracker::GetTrackPos(int Index) const {
  if (!ValidIndex(Index)) return TCharPos{0, 0};
  TEdModesLock G;
  return Entries()[Index].Reported;
}

void TEdTracker::TrackProc(void* Context, void* /*Table*/) {
  // Called inside a script: the report waits until the kernel is done, because clients
  // may edit the text in answer.
  auto* Self = static_cast<TEdTracker*>(Context);
  if (Self->FPending) return;
  Self->FPending = true;
  QueueAfterEval(Self, [Self] { Self->TableChanged(); });
}

void TEdTracker::Attach() {
  if (FAttached || !FEditBuffer) return;
  if (FCapacity == 0) SetCapacity(4);
  AttachTrackTable(FEditBuffer->EkView(), FLineBuffer.data(), sizeof(TEdTrackEntry), &TrackProc, this);
  FAttached = true;
}

void TEdTracker::Detach() {
  if (!FAttached) return;
  FAttached = false;
  if (FEditBuffer) DetachTrackTable(FEditBuffer->EkView(), FLineBuffer.data());
}

void TEdTracker::SetEditBuffer(TEditBuffer* Buffer) {
  if (Buffer == FEditBuffer) return;
  const bool WasAttached = FAttached;
  Detach();
  FEditBuffer = Buffer;
  if (WasAttached && Buffer) Attach();
}

void TEdTracker::TableChanged() {
  FPending = false;
  // The search for a free entry starts at the first one freed here (entries before the hint
  // are in use): from 0, every entry added after an edit would read the whole table.
  int FirstFreed = FFirstEmptyIndex;
  for (int I = Count() - 1; I >= 0; --I) {
    TCharPos Old, New;
    {
      TEdModesLock G;
      TEdTrackEntry& E = Entries()[I];
      if (E.Pos.LineNum == E.Reported.LineNum && E.Pos.Index == E.Reported.Index) continue;
      if (E.Reported.LineNum < 1 && E.Pos.LineNum < 1) continue;
      if (E.Pos.LineNum == 0) E.Pos.LineNum = -1;  // its line was deleted
      if (E.Pos.LineNum < 1) FirstFreed = I;
      Old = E.Reported;
      New = E.Pos;
      E.Reported = E.Pos;
    }
    const uint32_t Data = GetData(I);
    if (Old.LineNum != New.LineNum && FOnLineMoved) FOnLineMoved(Old.LineNum, New.LineNum, Data);
    if (FOnPosMoved) FOnPosMoved(Old, New, Data);
  }
  FFirstEmptyIndex = std::min(FFirstEmptyIndex, FirstFreed);
}

}  // namespace nxs
