// Large blocks of memory for arenas that fill them from start to end: taken straight from
// the system and backed by huge pages where the system offers them on request, so that
// filling tens of megabytes costs a few dozen page faults instead of thousands.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

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

// Heap memory that free and realloc take like any other, for a buffer that will all be
// written: from 8 MB on it starts on a granule and asks for huge pages for the whole of it,
// so that neither end falls back to small pages. Raises std::bad_alloc when there is no room.
void* AllocateLarge(size_t Size);

// Whole granules straight from the system, aligned and with huge pages asked for, zero until
// written; UnmapLarge takes the same Size back. Raise std::bad_alloc when there is no room.
void* MapLarge(size_t Size);
void UnmapLarge(void* Data, size_t Size);

// Memory for a vector that grows to millions of numbers, such as a text's line index: once
// large it is taken a granule at a time (MapLarge). Elements made without a value are not
// written: in memory the vector has not used before they are zero, as the pages come zero
// from the system (or from calloc), and the pages of a large one are only taken when written.
// (A vector cut short and grown again within its capacity shows the old values instead.)
template <class T>
class THugePageAllocator {
 public:
  using value_type = T;
  THugePageAllocator() = default;
  template <class U>
  THugePageAllocator(const THugePageAllocator<U>&) {}

  T* allocate(size_t N) {
    if (N * sizeof(T) >= LargeFrom) return static_cast<T*>(MapLarge(N * sizeof(T)));
    void* P = std::calloc(N ? N : 1, sizeof(T));
    if (!P) throw std::bad_alloc();
    return static_cast<T*>(P);
  }
  void deallocate(T* P, size_t N) {
    if (N * sizeof(T) >= LargeFrom) UnmapLarge(P, N * sizeof(T));
    else std::free(P);
  }
  // An element made without a value stays as allocate left it: zero.
  template <class U>
  void construct(U*) {}
  template <class U, class... A>
  void construct(U* P, A&&... Args) {
    ::new (static_cast<void*>(P)) U(std::forward<A>(Args)...);
  }
  friend bool operator==(const THugePageAllocator&, const THugePageAllocator&) { return true; }

  static constexpr size_t LargeFrom = size_t{8} << 20;
};

}  // namespace nxs
