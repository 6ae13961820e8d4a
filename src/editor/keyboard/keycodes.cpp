#include "editor/keyboard/keycodes.h"

#include <strings.h>

#include <algorithm>
#include <functional>
#include <map>

namespace nxs {

namespace {

struct TNamedKey {
  const char* Name;
  uint32_t Code;
};
constexpr TNamedKey NamedKeys[] = {
    {"Backspace", 0x08}, {"Tab", 0x09},    {"Enter", 0x0D},  {"Esc", 0x1B},      {"Space", 0x20},
    {"PgUp", 0x21},      {"PgDn", 0x22},   {"End", 0x23},    {"Home", 0x24},     {"Left", 0x25},
    {"Up", 0x26},        {"Right", 0x27},  {"Down", 0x28},   {"Ins", 0x2D},      {"Del", 0x2E},
    {"Num*", 0x6A},      {"Num+", 0x6B},   {"Num-", 0x6D},   {";", 0xBA},        {"=", 0xBB},
    {",", 0xBC},         {"-", 0xBD},      {".", 0xBE},      {"/", 0xBF},        {"`", 0xC0},
    {"[", 0xDB},         {"\\", 0xDC},     {"]", 0xDD},      {"'", 0xDE},
};

bool Same(std::string_view A, const char* B) {
  return A.size() == std::char_traits<char>::length(B) && strncasecmp(A.data(), B, A.size()) == 0;
}

void Put16(std::vector<uint8_t>& R, size_t At, uint16_t V) {
  R[At] = static_cast<uint8_t>(V & 0xFF);
  R[At + 1] = static_cast<uint8_t>(V >> 8);
}
uint16_t Get16(const uint8_t* D) { return static_cast<uint16_t>(D[0] | (D[1] << 8)); }

}  // namespace

std::optional<uint32_t> ParseKey(std::string_view Text) {
  uint32_t Mods = 0;
  while (true) {
    size_t Plus = Text.find('+');
    if (Plus == std::string_view::npos || Plus + 1 >= Text.size()) break;  // "Num+" and "+" keep theirs
    std::string_view Mod = Text.substr(0, Plus);
    if (Same(Mod, "Ctrl")) Mods |= kcCtrl;
    else if (Same(Mod, "Shift")) Mods |= kcShift;
    else if (Same(Mod, "Alt")) Mods |= kcAlt;
    else break;
    Text.remove_prefix(Plus + 1);
  }
  if (Text.size() == 1) {
    const char C = Text[0];
    if (C >= 'a' && C <= 'z') return Mods | static_cast<uint32_t>(C - 32);
    if ((C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9')) return Mods | static_cast<uint32_t>(C);
  }
  if (Text.size() >= 2 && (Text[0] == 'F' || Text[0] == 'f')) {
    int N = 0;
    for (char C : Text.substr(1)) N = (C >= '0' && C <= '9' && N < 100) ? N * 10 + (C - '0') : 1000;
    if (N >= 1 && N <= 12) return Mods | static_cast<uint32_t>(0x6F + N);
  }
  for (const auto& K : NamedKeys)
    if (Same(Text, K.Name)) return Mods | K.Code;
  return std::nullopt;
}

std::string KeyName(uint32_t Key) {
  std::string R;
  if (Key & kcCtrl) R += "Ctrl+";
  if (Key & kcShift) R += "Shift+";
  if (Key & kcAlt) R += "Alt+";
  const uint32_t VK = Key & 0xFF;
  if ((VK >= 'A' && VK <= 'Z') || (VK >= '0' && VK <= '9')) return R + static_cast<char>(VK);
  if (VK >= 0x70 && VK <= 0x7B) return R + "F" + std::to_string(VK - 0x6F);
  for (const auto& K : NamedKeys)
    if (K.Code == VK) return R + K.Name;
  return R + "#" + std::to_string(VK);
}

std::optional<std::vector<uint32_t>> ParseKeySequence(std::string_view Text) {
  std::vector<uint32_t> Keys;
  size_t I = 0;
  while (I < Text.size()) {
    while (I < Text.size() && (Text[I] == ' ' || Text[I] == '\t')) ++I;
    size_t J = I;
    while (J < Text.size() && Text[J] != ' ' && Text[J] != '\t') ++J;
    if (J == I) break;
    auto K = ParseKey(Text.substr(I, J - I));
    if (!K) return std::nullopt;
    Keys.push_back(*K);
    I = J;
  }
  if (Keys.empty()) return std::nullopt;
  return Keys;
}

std::string SequenceName(const std::vector<uint32_t>& Keys) {
  std::string R;
  for (uint32_t K : Keys) R += (R.empty() ? "" : " ") + KeyName(K);
  return R;
}

std::vector<uint8_t> CompileKeymap(const std::vector<TKeyBinding>& Bindings, std::string& Error, size_t* ConflictIndex) {
  // Tables as a tree: each prefix key opens a table of its own.
  struct TTable {
    std::map<uint32_t, std::pair<uint8_t, uint16_t>> Entries;
  };
  std::vector<TTable> Tables(1);
  std::vector<size_t> Owner;  // which binding made each command entry, for error reports
  for (size_t B = 0; B < Bindings.size(); ++B) {
    const auto& Keys = Bindings[B].Keys;
    if (Keys.empty()) continue;
    size_t T = 0;
    for (size_t K = 0; K + 1 < Keys.size(); ++K) {
      auto It = Tables[T].Entries.find(Keys[K]);
      if (It == Tables[T].Entries.end()) {
        Tables.emplace_back();
        Tables[T].Entries[Keys[K]] = {kePrefix, static_cast<uint16_t>(Tables.size() - 1)};
        T = Tables.size() - 1;
        continue;
      }
      if (It->second.first != kePrefix) {
        Error = SequenceName({Keys.begin(), Keys.begin() + static_cast<std::ptrdiff_t>(K + 1)}) +
                " is bound to a command and cannot start " + SequenceName(Keys);
        if (ConflictIndex) *ConflictIndex = B;
        return {};
      }
      T = It->second.second;
    }
    auto [It, Added] = Tables[T].Entries.try_emplace(Keys.back(), keCommand, Bindings[B].Command);
    if (!Added) {
      Error = It->second.first == kePrefix ? SequenceName(Keys) + " starts other sequences and cannot be bound"
                                           : SequenceName(Keys) + " is bound twice";
      if (ConflictIndex) *ConflictIndex = B;
      return {};
    }
  }
  std::vector<uint8_t> R(6 + 4 * Tables.size());
  for (size_t T = 0; T < Tables.size(); ++T) {
    Put16(R, 6 + 4 * T, static_cast<uint16_t>(T));
    Put16(R, 8 + 4 * T, static_cast<uint16_t>(std::min<size_t>(R.size(), 0xFFFF)));
    R.push_back(static_cast<uint8_t>(Tables[T].Entries.size() & 0xFF));
    R.push_back(static_cast<uint8_t>(Tables[T].Entries.size() >> 8));
    for (const auto& [Key, E] : Tables[T].Entries) {
      for (int S = 0; S < 32; S += 8) R.push_back(static_cast<uint8_t>(Key >> S));
      R.push_back(E.first);
      R.push_back(static_cast<uint8_t>(E.second & 0xFF));
      R.push_back(static_cast<uint8_t>(E.second >> 8));
    }
  }
  if (R.size() > 0xFFFF || Tables.size() > 0xFFFF) {
    Error = "the keymap is larger than 65,535 bytes";
    return {};
  }
  Put16(R, 0, static_cast<uint16_t>(R.size()));
  Put16(R, 2, KeymapVersion);
  Put16(R, 4, static_cast<uint16_t>(Tables.size()));
  return R;
}

std::optional<TKeymapTables> ReadKeymap(const uint8_t* D, size_t Size) {
  if (!D || Size < 6 || Get16(D) != Size || Get16(D + 2) != KeymapVersion) return std::nullopt;
  const size_t N = Get16(D + 4);
  if (6 + 4 * N > Size) return std::nullopt;
  TKeymapTables M;
  M.Tables.resize(N);
  std::vector<bool> Seen(N, false);
  for (size_t T = 0; T < N; ++T) {
    const size_t Id = Get16(D + 6 + 4 * T), At = Get16(D + 8 + 4 * T);
    if (Id >= N || Seen[Id] || At + 2 > Size) return std::nullopt;
    Seen[Id] = true;
    const size_t Count = Get16(D + At);
    if (At + 2 + Count * 7 > Size) return std::nullopt;
    for (size_t E = 0; E < Count; ++E) {
      const uint8_t* P = D + At + 2 + E * 7;
      TKeyEntry K{static_cast<uint32_t>(P[0] | (P[1] << 8) | (P[2] << 16) | (uint32_t(P[3]) << 24)), P[4], Get16(P + 5)};
      if (K.Kind > kePrefix || (K.Kind == kePrefix && (K.Value >= N || K.Value == 0))) return std::nullopt;
      M.Tables[Id].push_back(K);
    }
  }
  return M;
}

std::vector<TKeyBinding> KeymapBindings(const TKeymapTables& Map) {
  std::vector<TKeyBinding> R;
  std::vector<uint32_t> Path;
  std::vector<bool> Open(Map.Tables.size(), false);
  std::function<void(size_t)> Walk = [&](size_t T) {
    if (T >= Map.Tables.size() || Open[T]) return;  // a table reached again would loop
    Open[T] = true;
    for (const TKeyEntry& E : Map.Tables[T]) {
      Path.push_back(E.Key);
      if (E.Kind == kePrefix) Walk(E.Value);
      else R.push_back(TKeyBinding{Path, E.Value});
      Path.pop_back();
    }
    Open[T] = false;
  };
  if (!Map.Tables.empty()) Walk(0);
  return R;
}

}  // namespace nxs
