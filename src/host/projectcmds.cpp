// nxs project: not built yet.
#include "host/cmdline.h"
#include "host/commands.h"

namespace nxs::host {

int RunProjectCommand(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 0, 100, "nxs project ...");
  throw Exception("'project' is not available in this build");
}

}  // namespace nxs::host
