// The editor kernel's search flag set, shared by editor search, find in files and the
// environment options. The kernel stores the set as a 16-bit word, bit N for the flag of
// ordinal N, so the enumeration's order is part of the kernel's record layout.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace nxs {

enum TSearchFlag : uint8_t {
  sfWholeFile,
  sfFromCursor,
  sfGoForward,
  sfCase,
  sfWord,
  sfRegExp,
  sfNoPrompting,
  sfMatchBack,
  sfForceWordSet2,
  sfWrapAround,
};

inline constexpr int SearchFlagCount = 10;

inline constexpr std::array<std::string_view, SearchFlagCount> SearchFlagNames = {
    "sfWholeFile", "sfFromCursor",  "sfGoForward", "sfCase",          "sfWord",
    "sfRegExp",    "sfNoPrompting", "sfMatchBack", "sfForceWordSet2", "sfWrapAround"};

// A set of TSearchFlag; Bits() is the kernel's 16-bit word.
class TSearchFlags {
 public:
  constexpr TSearchFlags() = default;
  constexpr TSearchFlags(std::initializer_list<TSearchFlag> Flags) {
    for (TSearchFlag F : Flags) Include(F);
  }
  static constexpr TSearchFlags FromBits(uint16_t Bits) {
    TSearchFlags S;
    S.FBits = Bits & ((1u << SearchFlagCount) - 1);
    return S;
  }

  constexpr uint16_t Bits() const { return FBits; }
  constexpr bool Contains(TSearchFlag F) const { return (FBits >> F) & 1u; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr void Include(TSearchFlag F) { FBits = static_cast<uint16_t>(FBits | (1u << F)); }
  constexpr void Exclude(TSearchFlag F) { FBits = static_cast<uint16_t>(FBits & ~(1u << F)); }
  constexpr void Set(TSearchFlag F, bool On) { On ? Include(F) : Exclude(F); }

  constexpr TSearchFlags operator+(TSearchFlags O) const { return FromBits(FBits | O.FBits); }
  constexpr TSearchFlags operator-(TSearchFlags O) const { return FromBits(FBits & ~O.FBits); }
  constexpr TSearchFlags operator*(TSearchFlags O) const { return FromBits(FBits & O.FBits); }
  constexpr bool operator==(const TSearchFlags&) const = default;

 private:
  uint16_t FBits = 0;
};

}  // namespace nxs
