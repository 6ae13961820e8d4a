// nxs config: not built yet.
#include "host/cmdline.h"
#include "host/commands.h"

namespace nxs::host {

int RunConfigCommand(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 0, 100, "nxs config ...");
  throw Exception("'config' is not available in this build");
}

}  // namespace nxs::host
