// The kernel's text storage: a balanced tree of pieces over read-only text blocks and one
// append-only block for added text. Each node knows the bytes and line breaks of its subtree,
// so an offset or a line is found in O(log n) and an edit splits at most one piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shared/largeblock.h"

namespace nxs::ek {

// The positions of a block's line breaks: millions for a large file, in memory that takes
// huge pages where it can.
using TBreakList = std::vector<uint32_t, THugePageAllocator<uint32_t>>;

// A block of text and the positions of its line breaks. A line break is CR LF, LF or CR; Breaks
// holds, for each, the index of its last byte. A CR that ends a block is never followed by an
// LF of the same block appended later (the append block pads between them), so a break never
// changes its meaning once recorded.
class TTextBlock {
 public:
  TTextBlock() = default;
  // Takes a malloc'd buffer.
  TTextBlock(char* Data, size_t Size);
  ~TTextBlock();
  TTextBlock(const TTextBlock&) = delete;  // owns its buffer
  TTextBlock& operator=(const TTextBlock&) = delete;

  const char* Data() const { return FData; }
  size_t Size() const { return FSize; }
  const TBreakList& Breaks() const { return FBreaks; }
  // Appends text to an append block; returns the index where the text starts.
  size_t Append(std::string_view Text);
  size_t MemoryUse() const;

  // Filling a loaded block: an empty block of the given capacity, the room left, and Commit
  // for bytes written at Tail(), whose breaks are found at once (while they are in the cache).
  static std::unique_ptr<TTextBlock> ForFilling(size_t Capacity);
  // A block over text read elsewhere into a malloc'd buffer, taken as it is (no copy) and
  // scanned; Size under 4 GB.
  static std::unique_ptr<TTextBlock> Adopt(char* Data, size_t Size);
  char* Tail() { return FData + FSize; }
  size_t Room() const { return FCapacity - FSize; }
  void Commit(size_t Count);
  // Ends filling and gives back the unused capacity. When more text follows, a final CR is
  // taken off (Carry set) so that it can pair with an LF that starts the next block.
  void Seal(bool MoreFollows, bool& Carry);

 private:
  // A CR at To-1 is left pending until the next call shows whether an LF follows.
  void ScanBreaks(size_t From, size_t To);
  void FinishScan();

 public:

 private:
  char* FData = nullptr;
  size_t FSize = 0;
  size_t FCapacity = 0;
  TBreakList FBreaks;
  bool FPendingCR = false;
};

class TPieceTree {
 public:
  TPieceTree();
  ~TPieceTree();
  TPieceTree(const TPieceTree&) = delete;  // owns its blocks and nodes
  TPieceTree& operator=(const TPieceTree&) = delete;

  // Drops all text.
  void Clear();
  // Appends a loaded block at the end of the text (the block is scanned already); the text
  // begins From bytes into the block.
  void AppendBlock(std::unique_ptr<TTextBlock> Block, size_t From = 0);

  uint64_t Length() const;
  uint64_t BreakCount() const;  // line breaks in the text; lines are one more

  void Insert(uint64_t Pos, std::string_view Text);
  void Erase(uint64_t Pos, uint64_t Count);
  // Replaces [Pos, Pos + Count) with the text of a block (scanned already) as one piece, and
  // frees the blocks that no piece shows any more.
  void ReplaceSpan(uint64_t Pos, uint64_t Count, std::unique_ptr<TTextBlock> Block);

  // Calls Sink with the contiguous chunks of [Pos, Pos + Count) in order until it returns false.
  void ForEachChunk(uint64_t Pos, uint64_t Count,
                    const std::function<bool(const char*, size_t)>& Sink) const;
  // The same, last chunk first.
  void ForEachChunkBackward(uint64_t Pos, uint64_t Count,
                            const std::function<bool(const char*, size_t)>& Sink) const;
  std::string Text(uint64_t Pos, uint64_t Count) const;
  // The byte at Pos, or -1 past the end.
  int ByteAt(uint64_t Pos) const;

  // Offset just past the N-th line break (N from 1), or 0 for N = 0; past the last break: Length.
  uint64_t BreakEnd(uint64_t N) const;
  // Line breaks that end at or before Pos.
  uint64_t BreaksBefore(uint64_t Pos) const;
  // The same, and in Start the offset just past the last of them (BreakEnd of the count), in
  // about one descent instead of two.
  uint64_t LineAt(uint64_t Pos, uint64_t& Start) const;

  size_t PieceCount() const;
  size_t MemoryUse() const;
  // Checks the tree's aggregates and the CR LF rule; for tests.
  bool Validate() const;

 private:
  struct TNode;
  uint32_t NewNode(uint32_t Block, uint32_t Start, uint32_t Len);
  void FreeTree(uint32_t N);
  void SetPiece(uint32_t N, uint32_t Start, uint32_t Len);
  void Update(uint32_t N);
  void Split(uint32_t T, uint64_t Pos, uint32_t& A, uint32_t& B);
  uint32_t Merge(uint32_t A, uint32_t B);
  void EnsureBoundary(uint64_t Pos);
  // Frees the pieces of [Pos, Pos + Count) and gives the trees before and after them.
  void CutOut(uint64_t Pos, uint64_t Count, uint32_t& Before, uint32_t& After);
  // Frees the blocks that no piece shows any more.
  void DropUnusedBlocks();
  // Puts node N in at Pos; false (nothing done) when Pos falls inside a piece.
  bool InsertNode(uint64_t Pos, uint32_t N);
  // Erases [Pos, Pos + Count) when it is exactly one piece; false (nothing done) otherwise.
  // AfterCR tells whether a CR ends the text before it.
  bool EraseNode(uint64_t Pos, uint64_t Count, bool& AfterCR);
  uint64_t BreakEndInPiece(uint32_t N, uint32_t K) const;
  uint32_t BreaksInPieceBefore(uint32_t N, uint32_t Offset) const;
  bool TryExtend(uint64_t Pos, std::string_view Text);
  void MendCRLF(uint64_t Pos);
  bool IsPieceBoundary(uint64_t Pos) const;
  uint32_t Random();

  std::vector<TNode> FNodes;
  std::vector<uint32_t> FFree;

  std::vector<std::unique_ptr<TTextBlock>> FBlocks;  // 0 is the append block; freed ones are null
  uint32_t FRoot = 0;
  std::vector<uint32_t> FPath;  // scratch for EnsureBoundary and FreeTree
  uint32_t FSeed = 0x9E3779B9u;
  uint64_t FTypingEnd = UINT64_MAX;  // where the last insert ended, while nothing else changed
};

}  // namespace nxs::ek
