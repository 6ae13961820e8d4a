// GUIDs and their text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nxs {

struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  uint8_t D4[8] = {};
  bool operator==(const TGUID&) const = default;
  bool IsEmpty() const { return *this == TGUID{}; }
};

// A random (version 4) GUID.
TGUID CreateGUID();
std::string GUIDToString(const TGUID& G);
// Raises EConvertError with "'%s' is not a valid GUID value" for anything but the text form.
TGUID StringToGUID(std::string_view S);
bool TryStringToGUID(std::string_view S, TGUID& G);

}  // namespace nxs
