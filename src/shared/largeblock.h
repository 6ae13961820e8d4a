// Large blocks of memory for arenas that fill them from start to end: taken straight from
// the system and backed by huge pages where the system offers them on request, so that
// filling tens of megabytes costs a few dozen page faults instead of thousands.
#pragma once

#include <cstddef>

namespace nxs {

class TLargeBlock {
 public:
  // The granule of a block's size: a huge page.
  static constexpr size_t Granule = size_t(2) << 20;

  TLargeBlock() = default;
  // A block of Size bytes (rounded up to the granule), aligned to the granule; its pages
  // are zero and take memory as they are first touched, a huge page at a time where the
  // system allows. Raises std::bad_alloc when the system has no room.
  explicit TLargeBlock(size_t Size);
  TLargeBlock(TLargeBlock&& Other) noexcept : FData(Other.FData), FSize(Other.FSize) {
    Other.FData = nullptr;
    Other.FSize = 0;
  }
  TLargeBlock& operator=(TLargeBlock&& Other) noexcept;
  TLargeBlock(const TLargeBlock&) = delete;  // owns its memory
  TLargeBlock& operator=(const TLargeBlock&) = delete;
  ~TLargeBlock() { Release(); }

  char* Data() const { return FData; }
  size_t Size() const { return FSize; }
  // Gives the memory from Offset to the end back to the system (whole small pages of it):
  // for the part of the last block an arena did not need. It reads as zero afterwards.
  void ReleaseFrom(size_t Offset);

 private:
  void Release();

  char* FData = nullptr;
  size_t FSize = 0;
};

// Asks for huge pages for the whole granules inside Size bytes at Data, memory from the heap
// that will all be written (a buffer a large file is read into). Only a request.
void AdviseHugePages(void* Data, size_t Size);

}  // namespace nxs
