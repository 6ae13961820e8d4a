// Fuzzes the desktop file reader: any bytes read as sections and values, and the text they
// are written back as reads as the same sections and values.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "environment/deskini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const nxs::TDesktopIniFile First(std::string(reinterpret_cast<const char*>(Data), Size));
  const std::string Text = First.Text();
  if (nxs::TDesktopIniFile(Text).Text() != Text) std::abort();
  return 0;
}
