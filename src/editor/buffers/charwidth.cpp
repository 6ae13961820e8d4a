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

int Utf8SequenceLength(unsigned char Lead) {
  if (Lead >= 0xC2 && Lead <= 0xDF) return 2;
  if (Lead >= 0xE0 && Lead <= 0xEF) return 3;
  if (Lead >= 0xF0 && Lead <= 0xF4) return 4;
  return 1;
}

int DecodeUtf8(std::string_view Text, uint32_t& Ch, bool& Valid) {
  Valid = false;
  Ch = 0;
  if (Text.empty()) return 0;
  const auto* P = reinterpret_cast<const unsigned char*>(Text.data());
  Ch = P[0];
  if (P[0] < 0x80) {
    Valid = true;
    return 1;
  }
  const int Len = Utf8SequenceLength(P[0]);
  if (Len == 1 || static_cast<size_t>(Len) > Text.size()) return 1;
  uint32_t C = P[0] & (0xFF >> (Len + 1));
  for (int I = 1; I < Len; ++I) {
    if ((P[I] & 0xC0) != 0x80) return 1;
    C = (C << 6) | (P[I] & 0x3F);
  }
  // Overlong forms, surrogates and values beyond the last plane are not characters.
  static constexpr uint32_t Min[] = {0, 0, 0x80, 0x800, 0x10000};
  if (C < Min[Len] || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) return 1;
  Ch = C;
  Valid = true;
  return Len;
}

void AppendUtf8(std::string& Out, uint32_t Ch) {
  if (Ch < 0x80) {
    Out += static_cast<char>(Ch);
  } else if (Ch < 0x800) {
    Out += static_cast<char>(0xC0 | (Ch >> 6));
    Out += static_cast<char>(0x80 | (Ch & 0x3F));
  } else if (Ch < 0x10000) {
    Out += static_cast<char>(0xE0 | (Ch >> 12));
    Out += static_cast<char>(0x80 | ((Ch >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Ch & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Ch >> 18));
    Out += static_cast<char>(0x80 | ((Ch >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Ch >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Ch & 0x3F));
  }
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

size_t Utf8CharCount(std::string_view Text) {
  size_t N = 0;
  for (char C : Text) N += IsUtf8Lead(C);
  return N;
}

}  // namespace nxs
