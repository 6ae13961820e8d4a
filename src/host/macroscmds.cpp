// nxs macros: not built yet.
#include "host/cmdline.h"
#include "host/commands.h"

namespace nxs::host {

int RunMacrosCommand(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 0, 100, "nxs macros ...");
  throw Exception("'macros' is not available in this build");
}

}  // namespace nxs::host
