// Display width of characters: the fixed ranges, the two-bit cache and the East Asian table.
#include "editor/charwidth.h"

#include <algorithm>
#include <array>
#include <atomic>

namespace nxs {

namespace {

struct TRange {
  uint32_t First, Last;
};

// Wide (W) and fullwidth (F) ranges of the East Asian width property, sorted.
constexpr TRange WideRanges[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x2E99},
    {0x2E9B, 0x2EF3},   {0x2F00, 0x2FD5},   {0x2FF0, 0x2FFF},   {0x3000, 0x303E},
    {0x3041, 0x3096},   {0x3099, 0x30FF},   {0x3105, 0x312F},   {0x3131, 0x318E},
    {0x3190, 0x31E3},   {0x31EF, 0x321E},   {0x3220, 0x3247},   {0x3250, 0x4DBF},
    {0x4E00, 0xA48C},   {0xA490, 0xA4C6},   {0xA960, 0xA97C},   {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE52},   {0xFE54, 0xFE66},
    {0xFE68, 0xFE6B},   {0xFF01, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4},
    {0x16FF0, 0x16FF1}, {0x17000, 0x187F7}, {0x18800, 0x18CD5}, {0x18D00, 0x18D08},
    {0x1AFF0, 0x1AFFE}, {0x1B000, 0x1B122}, {0x1B132, 0x1B132}, {0x1B150, 0x1B152},
    {0x1B155, 0x1B155}, {0x1B164, 0x1B167}, {0x1B170, 0x1B2FB}, {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F202},
    {0x1F210, 0x1F23B}, {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265},
    {0x1F300, 0x1F320}, {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393},
    {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4},
    {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D},
    {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596},
    {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC},
    {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D7}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC},
    {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB}, {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A},
    {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FA7C}, {0x1FA80, 0x1FA88},
    {0x1FA90, 0x1FABD}, {0x1FABF, 0x1FAC5}, {0x1FACE, 0x1FADB}, {0x1FAE0, 0x1FAE8},
    {0x1FAF0, 0x1FAF8}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

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

bool IsEastAsianWide(uint32_t Ch) {
  auto It = std::upper_bound(std::begin(WideRanges), std::end(WideRanges), Ch,
                             [](uint32_t C, const TRange& R) { return C < R.First; });
  if (It == std::begin(WideRanges)) return false;
  --It;
  return Ch <= It->Last;
}

int MeasureCharWidth(uint32_t Ch) { return IsEastAsianWide(Ch) ? 2 : 1; }

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
