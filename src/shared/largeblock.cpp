#include "shared/largeblock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace nxs {

namespace {

size_t RoundToGranule(size_t Size) { return (Size + TLargeBlock::Granule - 1) & ~(TLargeBlock::Granule - 1); }

}  // namespace

void* MapLarge(size_t Size) {
  constexpr size_t Granule = TLargeBlock::Granule;
  Size = RoundToGranule(Size);
  if (Size == 0) return nullptr;
  // The system aligns mappings to small pages only: map one granule more and give back
  // what lies outside the aligned block.
  size_t Mapped = Size + Granule;
  void* Raw = ::mmap(nullptr, Mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (Raw == MAP_FAILED) throw std::bad_alloc();
  auto Start = reinterpret_cast<uintptr_t>(Raw);
  uintptr_t Aligned = (Start + Granule - 1) & ~static_cast<uintptr_t>(Granule - 1);
  if (Aligned > Start) ::munmap(Raw, Aligned - Start);
  size_t Tail = Start + Mapped - (Aligned + Size);
  if (Tail) ::munmap(reinterpret_cast<void*>(Aligned + Size), Tail);
#ifdef MADV_HUGEPAGE
  // Only a request: without huge pages the block works the same, with small pages.
  ::madvise(reinterpret_cast<void*>(Aligned), Size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(Aligned);
}

void UnmapLarge(void* Data, size_t Size) {
  if (Data) ::munmap(Data, RoundToGranule(Size));
}

TLargeBlock::TLargeBlock(size_t Size) {
  FData = static_cast<char*>(MapLarge(Size));
  if (FData) FSize = RoundToGranule(Size);
}

TLargeBlock& TLargeBlock::operator=(TLargeBlock&& Other) noexcept {
  if (this == &Other) return *this;
  Release();
  FData = Other.FData;
  FSize = Other.FSize;
  Other.FData = nullptr;
  Other.FSize = 0;
  return *this;
}

void TLargeBlock::ReleaseFrom(size_t Offset) {
  static const size_t PageSize = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  Offset = (Offset + PageSize - 1) & ~(PageSize - 1);
  if (Offset < FSize) ::madvise(FData + Offset, FSize - Offset, MADV_DONTNEED);
}

void TLargeBlock::Release() {
  UnmapLarge(FData, FSize);
  FData = nullptr;
  FSize = 0;
}

void AdviseHugePages(void* Data, size_t Size) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t Mask = TLargeBlock::Granule - 1;
  auto Start = reinterpret_cast<uintptr_t>(Data);
  uintptr_t First = (Start + Mask) & ~Mask, Last = (Start + Size) & ~Mask;
  if (Last > First) ::madvise(reinterpret_cast<void*>(First), Last - First, MADV_HUGEPAGE);
#endif
}

void* AllocateLarge(size_t Size) {
  constexpr size_t LargeFrom = size_t{8} << 20;
  if (Size < LargeFrom) {
    void* P = std::malloc(Size ? Size : 1);
    if (!P) throw std::bad_alloc();
    return P;
  }
  // Rounded to whole granules, as aligned_alloc wants; the memory past Size is never touched
  // and so takes nothing.
  const size_t Rounded = RoundToGranule(Size);
  void* P = std::aligned_alloc(TLargeBlock::Granule, Rounded);
  if (!P) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  ::madvise(P, Rounded, MADV_HUGEPAGE);
#endif
  return P;
}

}  // namespace nxs
