// nxs history: not built yet.
#include "host/cmdline.h"
#include "host/commands.h"

namespace nxs::host {

int RunHistoryCommand(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 0, 100, "nxs history ...");
  throw Exception("'history' is not available in this build");
}

}  // namespace nxs::host
