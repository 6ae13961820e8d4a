// Keys and keymaps in this system's compiled format. A key code is a virtual key in the low
// byte with the Shift (0x2000), Ctrl (0x4000) and Alt (0x8000) bits of a shortcut; a sequence is
// one or more keys ("Ctrl+K B"). A compiled keymap starts with the header the engine checks
// (total length, format version 3, number of key tables, each 16-bit little-endian), then a
// directory of 16-bit table identifiers and offsets, then the tables: a 16-bit entry count and
// entries of a 32-bit key, a kind byte (a command of the command map, or a prefix leading to
// another table) and a 16-bit value. Table 0 is where every sequence starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

inline constexpr uint32_t kcShift = 0x2000, kcCtrl = 0x4000, kcAlt = 0x8000;
inline constexpr uint16_t KeymapVersion = 3;

// "Ctrl+Shift+K", "F5", "Alt+Left", "A": nothing for a text that names no key.
std::optional<uint32_t> ParseKey(std::string_view Text);
std::string KeyName(uint32_t Key);
// Keys separated by blanks; nothing when one of them is not a key.
std::optional<std::vector<uint32_t>> ParseKeySequence(std::string_view Text);
std::string SequenceName(const std::vector<uint32_t>& Keys);

struct TKeyBinding {
  std::vector<uint32_t> Keys;
  uint16_t Command;  // index in the command map
};

enum : uint8_t { keCommand = 0, kePrefix = 1 };

// Compiles bindings into a keymap; empty with Error set when they conflict (a sequence bound
// twice, or a key both bound and a prefix) or the map outgrows the 16-bit length.
std::vector<uint8_t> CompileKeymap(const std::vector<TKeyBinding>& Bindings, std::string& Error,
                                   size_t* ConflictIndex = nullptr);

// A compiled keymap read back: table per identifier.
struct TKeyEntry {
  uint32_t Key;
  uint8_t Kind;
  uint16_t Value;
};
struct TKeymapTables {
  std::vector<std::vector<TKeyEntry>> Tables;  // by identifier
};
// Nothing when the data is not a keymap of this format (wrong length or version, a table or
// entry outside the data, a prefix to a missing table).
std::optional<TKeymapTables> ReadKeymap(const uint8_t* Data, size_t Size);
// Every binding of a keymap, depth first in key order.
std::vector<TKeyBinding> KeymapBindings(const TKeymapTables& Map);

}  // namespace nxs
