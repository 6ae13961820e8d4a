// The command map "COMMANDMAP": the 256 commands that keymaps and key bindings name, each with
// its command class, code and extra value, in the resource's byte layout; and TCmdMapManager,
// which loads it and looks commands up by name or index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

struct TCmdMapEntry {
  std::string Name;
  uint8_t Class;
  uint16_t Code;
  int16_t Extra;  // -1 for the class 0C commands, 0 for the others
};

// The entries in the map's order.
const std::vector<TCmdMapEntry>& CommandMapEntries();
// The "COMMANDMAP" resource: a 16-bit little-endian count, then per entry a 16-bit name length,
// the name, a class byte, a 16-bit code and a 16-bit extra value.
std::vector<uint8_t> CommandMapResource();

class TCmdMapManager {
 public:
  // Reads a resource; false (and nothing loaded) when it is cut short or malformed.
  [[nodiscard]] bool Load(const std::vector<uint8_t>& Resource);
  int Count() const { return static_cast<int>(FEntries.size()); }
  const TCmdMapEntry& Entry(int Index) const { return FEntries.at(static_cast<size_t>(Index)); }
  // Index of the named command (names compare without case), -1 when there is none.
  int IndexOf(std::string_view Name) const;

 private:
  std::vector<TCmdMapEntry> FEntries;
};

// Loaded from the built-in resource on first use.
TCmdMapManager& CmdMapManager();

}  // namespace nxs
