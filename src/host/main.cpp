// nxs: the command-line host. It starts the system, answers its questions from flags and
// prints what a window would show.
#include <cstdio>
#include <exception>
#include <string>

#include "build/messages/kibitz.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/edfolding.h"
#include "shared/mainthread.h"
#include "shared/terminal.h"
#include "startup/startup.h"

namespace nxs::host {

const TCommand& RootCommand() {
  static const TCommand Root = Group("nxs", "",
                                     {ProjectCommand(), ConfigCommand(), OptionSetCommand(), MacrosCommand(),
                                      PlatformsCommand(), OptionsCommand(), HistoryCommand(), EdCommand(),
                                       HighlightCommand(), KeysCommand(), GroupCommand(), GrepCommand(), OutlineCommand(),
                                      EvalCommand(), BuildCommand()});
  return Root;
}

// The cancel key of a terminal host: Escape, when there is a terminal.
class TTerminalCancelKey : public ICancelKey {
 public:
  bool Available() override { return FKeys.Available(); }
  bool Pressed() override { return FKeys.EscapePressed(); }
  void Watch(bool On) override { FKeys.Watch(On); }

 private:
  TTerminalKeys FKeys;
};

static int Main(int Argc, char** Argv) {
  MainThreadQueue().SetMainThread();
  TSystemStartup System({.CancelKey = std::make_shared<TTerminalCancelKey>()});
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
