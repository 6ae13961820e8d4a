// Fuzzes the form-text reader: any text either reads or is refused with EFormFileError, and
// what reads converts to binary and back to a text that reads to the same binary and writes
// the same text again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "modules/formfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
  std::string Binary;
  try {
    Binary = nxs::FormTextToBinary(Text);
  } catch (const nxs::EFormFileError&) {
    return 0;
  }
  const std::string Written = nxs::FormBinaryToText(Binary);
  if (nxs::FormTextToBinary(Written) != Binary) std::abort();
  if (nxs::FormBinaryToText(nxs::FormTextToBinary(Written)) != Written) std::abort();
  return 0;
}
