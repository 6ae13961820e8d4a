// nxs: the command-line host. It starts the system, answers its questions from flags and
// prints what a window would show.
#include <cstdio>
#include <exception>
#include <string>

#include "editor/editbuffer.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "projectfiles/projectfile.h"
#include "shared/mainthread.h"

namespace nxs::host {

const TCommand& RootCommand() {
  static const TCommand Root = Group("nxs", "",
                                     {ProjectCommand(), ConfigCommand(), OptionSetCommand(), MacrosCommand(),
                                      PlatformsCommand(), OptionsCommand(), HistoryCommand(), EdCommand(), GroupCommand()});
  return Root;
}

// Connects the libraries that may not include one another: the project document reads the
// text of a file open in an edit buffer rather than the disk copy.
static void ConnectSubsystems() { SetOpenBufferTextHook(&GetOpenBufferText); }

static int Main(int Argc, char** Argv) {
  MainThreadQueue().SetMainThread();
  ConnectSubsystems();
  return RunCommand(RootCommand(), TArgs(Argv + 1, Argv + Argc));
}

}  // namespace nxs::host

int main(int Argc, char** Argv) {
  using namespace nxs::host;
  try {
    return Main(Argc, Argv);
  } catch (const EUsage& U) {
    std::fprintf(stderr, "nxs: %s\nusage: %s\n", U.what(), U.Usage().c_str());
    return 2;
  } catch (const std::exception& E) {
    std::fflush(stdout);
    std::fprintf(stderr, "nxs: %s\n", E.what());
    return 1;
  }
}
