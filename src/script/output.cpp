#include "script/output.h"

#include <cstdio>

namespace nxs::script {

TPrintFn StdoutPrinter() {
  return [](std::string_view Text) {
    std::fwrite(Text.data(), 1, Text.size(), stdout);
    std::fflush(stdout);
  };
}

}  // namespace nxs::script
