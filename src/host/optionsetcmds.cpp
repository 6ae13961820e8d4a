// nxs optionset: not built yet.
#include "host/cmdline.h"
#include "host/commands.h"

namespace nxs::host {

int RunOptionSetCommand(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 0, 100, "nxs optionset ...");
  throw Exception("'optionset' is not available in this build");
}

}  // namespace nxs::host
