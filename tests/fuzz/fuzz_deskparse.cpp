// Fuzzes the desktop value parser: any text reads as strings and integers, or a string is
// refused with EDesktopParserError; the position only moves forward and never passes the
// end. Every string read, quoted again, reads back as itself.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shared/deskparse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  // The first byte chooses which reads to make; the rest is the value.
  const uint8_t Plan = Data[0];
  nxs::TDesktopParser P(std::string(reinterpret_cast<const char*>(Data + 1), Size - 1));
  const int Limit = static_cast<int>(Size);  // one past the end, 1-based
  for (int Step = 0; Step < 64; ++Step) {
    const int Before = P.Position();
    if (Plan >> (Step % 8) & 1) {
      try {
        const std::string S = P.GetString();
        nxs::TDesktopParser Back(nxs::DesktopQuoted(S));
        if (Back.GetString() != S || !Back.AtEnd()) std::abort();
      } catch (const nxs::EDesktopParserError&) {
        return 0;
      }
    } else {
      (void)P.GetInteger();
    }
    if (P.Position() < Before || P.Position() > Limit + 1) std::abort();
    if (P.AtEnd()) return 0;
  }
  return 0;
}
