#include "shared/largeblock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace nxs {

TLargeBlock::TLargeBlock(size_t Size) {
  Size = (Size + Granule - 1) & ~(Granule - 1);
  if (Size == 0) return;
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
  FData = reinterpret_cast<char*>(Aligned);
  FSize = Size;
#ifdef MADV_HUGEPAGE
  // Only a request: without huge pages the block works the same, with small pages.
  ::madvise(FData, FSize, MADV_HUGEPAGE);
#endif
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
  if (FData) ::munmap(FData, FSize);
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

}  // namespace nxs
