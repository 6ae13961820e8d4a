// TEdTracker: a table of text positions that the kernel moves as the text changes, with
// events that report the moves (breakpoint lines, the execution point, plug-ins' markers).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "editor/kernel/ek.h"

namespace nxs {

class TEditBuffer;

#pragma pack(push, 1)
// One entry of the table the kernel shares: the position it moves, the position last
// reported to the tracker's clients, and the client's data.
struct TEdTrackEntry {
  TCharPos Pos;
  TCharPos Reported;
  uint32_t Data;
};
#pragma pack(pop)
static_assert(sizeof(TEdTrackEntry) == 20);

class TEdTracker {
 public:
  static constexpr int MaxEntries = 32767;

  explicit TEdTracker(TEditBuffer* Buffer = nullptr);
  virtual ~TEdTracker();
  TEdTracker(const TEdTracker&) = delete;  // the kernel holds the table's address
  TEdTracker& operator=(const TEdTracker&) = delete;

  std::function<void(int32_t OldLine, int32_t NewLine, uint32_t Data)> FOnLineMoved;
  std::function<void(TCharPos OldPos, TCharPos NewPos, uint32_t Data)> FOnPosMoved;

  // Line from 1, character index from 0. Returns the entry's index, -1 when the table is full.
  int Add(int32_t Line, int32_t CharIndex, uint32_t Data) { return AddPos(TCharPos{CharIndex, Line}, Data); }
  int AddPos(TCharPos Pos, uint32_t Data);
  void Delete(int Index);
  // Frees every entry.
  void Clear();
  // Frees the entries whose line was deleted.
  void ClearTrackPos();
  // The first entry at Pos, or -1.
  int IndexOf(TCharPos Pos) const;
  int IndexOfData(uint32_t Data) const;
  // Index bounds: 0 to Count() - 1; free entries have a line below 1.
  int Count() const;
  bool InUse(int Index) const { return GetLineNum(Index) >= 1; }

  TCharPos GetPosition(int Index) const;
  // Moves the entry; the move is not reported.
  void SetPosition(int Index, TCharPos Pos);
  int32_t GetLineNum(int Index) const { return GetPosition(Index).LineNum; }
  void SetLineNum(int Index, int32_t Line);
  int32_t GetCharIndex(int Index) const { return GetPosition(Index).Index; }
  void SetCharIndex(int Index, int32_t CharIndex);
  uint32_t GetData(int Index) const;
  void SetData(int Index, uint32_t Data);
  // The position last reported for the entry.
  TCharPos GetTrackPos(int Index) const;

  // Hands the table to the buffer's kernel; positions move from then on.
  void Attach();
  void Detach();
  bool Attached() const { return FAttached; }
  // Reports every entry whose position moved since the last report, last entry first.
  void TableChanged();
  void SetEditBuffer(TEditBuffer* Buffer);
  TEditBuffer* EditBuffer() const { return FEditBuffer; }
  void SetCapacity(int Capacity);
  int Capacity() const { return FCapacity; }

 private:
  static void TrackProc(void* Context, void* Table);
  TEdTrackEntry* Entries();
  const TEdTrackEntry* Entries() const;
  uint16_t StoredCount() const;
  void SetStoredCount(uint16_t N);
  bool ValidIndex(int Index) const { return Index >= 0 && Index < Count(); }

  std::vector<uint8_t> FLineBuffer;  // 16-bit count, then FCapacity entries
  int FCapacity = 0;
  TEditBuffer* FEditBuffer = nullptr;
  int FFirstEmptyIndex = 0;
  bool FAttached = false;
  bool FPending = false;
};

}  // namespace nxs
