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
  // Lines at or after From move by Delta (From + Delta stays at or above 0).
  void Shift(uint64_t From, int64_t Delta);
  // Removes the entries of lines First..Last.
  void Erase(uint64_t First, uint64_t Last);
  void ClearBits(uint32_t Bits);
  void Clear() { FChunks.clear(); }
  size_t Size() const;

 private:
  struct TChunk {
    int64_t Offset = 0;  // added to every line of the chunk
    std::vector<std::pair<uint64_t, uint32_t>> Lines;
    uint64_t First() const { return Lines.front().first + Offset; }
    uint64_t Last() const { return Lines.back().first + Offset; }
  };
  size_t ChunkFor(uint64_t Line) const;
  void Settle(TChunk& C);

  std::vector<TChunk> FChunks;  // in line order, none empty
};

}  // namespace nxs::ek
