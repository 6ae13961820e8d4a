// nxs options: not built yet.
#include "host/cmdline.h"
#include "host/commands.h"

namespace nxs::host {

int RunOptionsCommand(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 0, 100, "nxs options ...");
  throw Exception("'options' is not available in this build");
}

}  // namespace nxs::host
