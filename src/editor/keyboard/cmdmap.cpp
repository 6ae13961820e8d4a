#include "editor/keyboard/cmdmap.h"

#include <strings.h>

namespace nxs {

const std::vector<TCmdMapEntry>& CommandMapEntries() {
  static const std::vector<TCmdMapEntry> Entries = {
#define NXS_CMD(Name, Class, Code) {#Name, Class, Code, static_cast<int16_t>((Class) == 0x0C ? -1 : 0)},
#include "editor/keyboard/cmdmap.def"
#undef NXS_CMD
  };
  return Entries;
}

std::vector<uint8_t> CommandMapResource() {
  std::vector<uint8_t> R;
  auto Put16 = [&](uint16_t V) {
    R.push_back(static_cast<uint8_t>(V & 0xFF));
    R.push_back(static_cast<uint8_t>(V >> 8));
  };
  Put16(static_cast<uint16_t>(CommandMapEntries().size()));
  for (const TCmdMapEntry& E : CommandMapEntries()) {
    Put16(static_cast<uint16_t>(E.Name.size()));
    R.insert(R.end(), E.Name.begin(), E.Name.end());
    R.push_back(E.Class);
    Put16(E.Code);
    Put16(static_cast<uint16_t>(E.Extra));
  }
  return R;
}

bool TCmdMapManager::Load(const std::vector<uint8_t>& R) {
  size_t At = 0;
  auto Get16 = [&](uint16_t& V) {
    if (At + 2 > R.size()) return false;
    V = static_cast<uint16_t>(R[At] | (R[At + 1] << 8));
    At += 2;
    return true;
  };
  uint16_t Count;
  if (!Get16(Count)) return false;
  std::vector<TCmdMapEntry> Entries;
  for (uint16_t I = 0; I < Count; ++I) {
    uint16_t Length, Code, Extra;
    if (!Get16(Length) || At + Length + 1 > R.size()) return false;
    TCmdMapEntry E;
    E.Name.assign(reinterpret_cast<const char*>(R.data() + At), Length);
    At += Length;
    E.Class = R[At++];
    if (!Get16(Code) || !Get16(Extra)) return false;
    E.Code = Code;
    E.Extra = static_cast<int16_t>(Extra);
    Entries.push_back(std::move(E));
  }
  if (At != R.size()) return false;
  FEntries = std::move(Entries);
  return true;
}

int TCmdMapManager::IndexOf(std::string_view Name) const {
  for (size_t I = 0; I < FEntries.size(); ++I)
    if (FEntries[I].Name.size() == Name.size() && strncasecmp(FEntries[I].Name.data(), Name.data(), Name.size()) == 0)
      return static_cast<int>(I);
  return -1;
}

TCmdMapManager& CmdMapManager() {
  static TCmdMapManager M = [] {
    TCmdMapManager R;
    [[maybe_unused]] bool Ok = R.Load(CommandMapResource());
    return R;
  }();
  return M;
}

}  // namespace nxs
