// Fuzzes the reader of gdb's machine-interface output: any bytes, split into lines as the
// session splits them, read without a crash; a line kept as text is kept unchanged, and every
// record that reads writes back to a line that reads as the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gdbmi/mioutput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
  while (!Bytes.empty()) {
    const size_t End = Bytes.find('\n');
    std::string_view Line = Bytes.substr(0, End);
    Bytes.remove_prefix(End == std::string_view::npos ? Bytes.size() : End + 1);
    const nxs::gdbmi::TMIRecord Record = nxs::gdbmi::ParseMIRecord(Line);
    if (Record.Kind == nxs::gdbmi::TMIRecordKind::Text) {
      if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
      if (Record.Text != Line) std::abort();
      continue;
    }
    if (nxs::gdbmi::ParseMIRecord(nxs::gdbmi::FormatMIRecord(Record)) != Record) std::abort();
  }
  return 0;
}
