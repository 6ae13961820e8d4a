// Display width of characters: the fixed ranges and the two-bit cache over the kernel's East
// Asian width table.
#include "editor/buffers/charwidth.h"

#include <array>
#include <atomic>

#include "editor/kernel/ek.h"

namespace nxs {

namespace {

// Two bits per BMP code point: 0 not measured yet, else the width.
std::array<std::atomic<uint8_t>, 0x10000 / 4> WidthCache{};
std::atomic<TCharWidthMeasure> CurrentMeasure{&MeasureCharWidth};

int CachedWidth(uint32_t Ch) {
  uint8_t Byte = WidthCache[Ch >> 2].load(std::memory_order_relaxed);
  return (Byte >> ((Ch & 3) * 2)) & 3;
}

void StoreWidth(uint32_t Ch, int Width) {
  const int Shift = static_cast<int>(Ch & 3) * 2;
  std::atomic<uint8_t>& Slot = WidthCache[Ch >> 2];
  uint8_t Old = Slot.load(std::memory_order_relaxed);
  uint8_t New;
  do {
    New = static_cast<uint8_t>((Old & ~(3u << Shift)) | (static_cast<unsigned>(Width) << Shift));
  } while (!Slot.compare_exchange_weak(Old, New, std::memory_order_relaxed));
}

}  // namespace

int MeasureCharWidth(uint32_t Ch) { return EkEastAsianWidth(Ch); }

void SetCharWidthMeasure(TCharWidthMeasure Measure) {
  CurrentMeasure.store(Measure ? Measure : &MeasureCharWidth);
  ClearCharWidthsCache();
}

int GetUCS4CharWidth(uint32_t Ch) {
  if (Ch < 126) return 1;
  if (Ch >= 0x4E00 && Ch <= 0x9FA5) return 2;
  if (Ch > 0xFFFF) return CurrentMeasure.load()(Ch) > 1 ? 2 : 1;
  if (int W = CachedWidth(Ch)) return W;
  const int W = CurrentMeasure.load()(Ch) > 1 ? 2 : 1;
  StoreWidth(Ch, W);
  return W;
}

void ClearCharWidthsCache() {
  for (auto& Slot : WidthCache) Slot.store(0, std::memory_order_relaxed);
}

int CalcDisplayWidth(std::string_view Text) {
  int Width = 0;
  while (!Text.empty()) {
    uint32_t Ch;
    bool Valid;
    const int Len = DecodeUtf8(Text, Ch, Valid);
    Width += Valid ? GetUCS4CharWidth(Ch) : 1;
    Text.remove_prefix(static_cast<size_t>(Len));
  }
  return Width;
}

}  // namespace nxs
