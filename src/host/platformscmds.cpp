// nxs platforms: not built yet.
#include "host/cmdline.h"
#include "host/commands.h"

namespace nxs::host {

int RunPlatformsCommand(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 0, 100, "nxs platforms ...");
  throw Exception("'platforms' is not available in this build");
}

}  // namespace nxs::host
