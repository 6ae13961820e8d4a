// nxs ed: not built yet.
#include "host/cmdline.h"
#include "host/commands.h"

namespace nxs::host {

int RunEdCommand(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 0, 100, "nxs ed ...");
  throw Exception("'ed' is not available in this build");
}

}  // namespace nxs::host
