#include "shared/guid.h"

#include <cstdio>
#include <random>

#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/text.h"

namespace nxs {

TGUID CreateGUID() {
  static thread_local std::mt19937_64 Gen{std::random_device{}()};
  uint64_t A = Gen(), B = Gen();
  TGUID G;
  G.D1 = static_cast<uint32_t>(A);
  G.D2 = static_cast<uint16_t>(A >> 32);
  G.D3 = static_cast<uint16_t>(((A >> 48) & 0x0FFF) | 0x4000);
  for (int I = 0; I < 8; ++I) G.D4[I] = static_cast<uint8_t>(B >> (8 * I));
  G.D4[0] = static_cast<uint8_t>((G.D4[0] & 0x3F) | 0x80);
  return G;
}

std::string GUIDToString(const TGUID& G) {
  char Buf[40];
  std::snprintf(Buf, sizeof Buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", G.D1, G.D2, G.D3, G.D4[0],
                G.D4[1], G.D4[2], G.D4[3], G.D4[4], G.D4[5], G.D4[6], G.D4[7]);
  return Buf;
}

bool TryStringToGUID(std::string_view S, TGUID& G) {
  static const char kShape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  if (S.size() != sizeof kShape - 1) return false;
  uint8_t Bytes[16];
  int N = 0;
  for (size_t I = 0; I < S.size(); ++I) {
    if (kShape[I] != 'X') {
      if (S[I] != kShape[I]) return false;
      continue;
    }
    int Hi = HexDigitValue(S[I]), Lo = HexDigitValue(S[I + 1]);
    if (Hi < 0 || Lo < 0) return false;
    Bytes[N++] = static_cast<uint8_t>(Hi * 16 + Lo);
    ++I;
  }
  G.D1 = (uint32_t(Bytes[0]) << 24) | (uint32_t(Bytes[1]) << 16) | (uint32_t(Bytes[2]) << 8) | Bytes[3];
  G.D2 = static_cast<uint16_t>((Bytes[4] << 8) | Bytes[5]);
  G.D3 = static_cast<uint16_t>((Bytes[6] << 8) | Bytes[7]);
  for (int I = 0; I < 8; ++I) G.D4[I] = Bytes[8 + I];
  return true;
}

TGUID StringToGUID(std::string_view S) {
  TGUID G;
  if (!TryStringToGUID(S, G)) throw EConvertError(Format(res::SInvalidGuid, S));
  return G;
}

}  // namespace nxs
