// Fuzzes the package library reader: any bytes either read as a library with its package
// information, or are refused with EElfError; nothing reads outside the bytes given. What
// reads encodes to a text that reads to the same information.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "packages/elfread.h"
#include "packages/pkginfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
  try {
    nxs::TElfFile File(nxs::ElfMemoryBytes(Bytes), "fuzz.so");
    (void)File.FindSymbol("@Fuzz@IDERegister$qqrv");
    const nxs::TPackageInfoRecord Info = nxs::ReadPackageInfo(File, "fuzz.so");
    if (nxs::DecodePackageInfo(nxs::EncodePackageInfo(Info), "fuzz.so") != Info) std::abort();
  } catch (const nxs::EElfError&) {
  }
  return 0;
}
