// Per-line flags that move with their lines. Kept in sorted chunks, each with a pending line
// offset, so that shifting every line after an edit costs one addition per chunk rather than
// one per flagged line: an edit stays cheap when many lines carry flags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace nxs::ek {

class TLineFlagTable {
 public:
  uint32_t Get(uint64_t Line) const;
  void Set(uint64_t Line, uint32_t Flags);  // 0 removes the entry
  // Adds Bits to the line's flags with one lookup (the common case: the line has them already).
  void Or(uint64_t Line, uint32_t Bits);
  // The same for many lines (ascending) at once, in one pass over the table.
  void OrLines(const std::vector<uint64_t>& Lines, uint32_t Bits);
  // Lines at or after From move by Delta (From + Delta stays at or above 0).
  void Shift(uint64_t From, int64_t Delta);
  // Removes the entries of lines First..Last.
  void Erase(uint64_t First, uint64_t Last);
  void ClearBits(uint32_t Bits);
  void Clear() { FChunks.clear(); }
  size_t Size() const;

 private:
  // A chunk keeps its first and last line beside its offset, so that finding a chunk reads the
  // chunk array alone and never the entries behind it.
  struct TChunk {
    int64_t Offset = 0;  // added to every line of the chunk
    uint64_t FirstKey = 0, LastKey = 0;  // the first and last entries' lines, before the offset
    std::vector<std::pair<uint64_t, uint32_t>> Lines;
    uint64_t First() const { return static_cast<uint64_t>(static_cast<int64_t>(FirstKey) + Offset); }
    uint64_t Last() const { return static_cast<uint64_t>(static_cast<int64_t>(LastKey) + Offset); }
    void Keys() {
      FirstKey = Lines.front().first;
      LastKey = Lines.back().first;
    }
  };
  size_t ChunkFor(uint64_t Line) const;
  void Settle(TChunk& C);
  // Adds an entry for a line that has none, in chunk I (or a new last chunk).
  void Add(size_t I, uint64_t Line, uint32_t Flags);
  // Drops the chunk when it has no entry left, else refreshes its keys.
  void Tidy(size_t I);

  std::vector<TChunk> FChunks;  // in line order, none empty
};

}  // namespace nxs::ek
