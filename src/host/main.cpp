// nxs: the command-line host. It starts the system, answers its questions from flags and
// prints what a window would show.
#include <cstdio>
#include <exception>
#include <string>

#include "build/messages/kibitz.h"
#include "editor/buffers/readahead.h"
#include "host/answers.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "shared/fileprobes.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/terminal.h"
#include "startup/startup.h"

namespace nxs::host {

static TCommand MakeRoot() {
  TCommand Root = Group("nxs", "",
                                     {ProjectCommand(), ConfigCommand(), OptionSetCommand(), MacrosCommand(),
                                      PlatformsCommand(), OptionsCommand(), HistoryCommand(), EdCommand(),
                                       HighlightCommand(), KeysCommand(), GroupCommand(), GrepCommand(), OutlineCommand(),
                                      EvalCommand(), BuildCommand(), PackagesCommand(), LspCommand(), DapCommand(),
                                      DesktopCommand(), LayoutCommand(), RecoverCommand(),
                                      DebugCommand(), EditCommand()});
  Root.Help =
      "Options before the command shape the start-up:\n"
      "  --no-packages   start without the IDE and design packages\n"
      "  --answer WORD   the answer (yes, no, ...) to the questions asked while packages load";
  return Root;
}

const TCommand& RootCommand() {
  static const TCommand Root = MakeRoot();
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

// The one handler of what a command raises: wrong usage is told with the usage line and ends
// with status 2; any other error is told after what the command printed, and ends with the
// command's error status (1, or 2 for a command whose 1 means something else).
static int Main(int Argc, char** Argv) {
  const TCommand* Reached = nullptr;
  try {
    MainThreadQueue().SetMainThread();
    TArgs Args(Argv + 1, Argv + Argc);
    TStartupOptions Options;
    Options.CancelKey = std::make_shared<TTerminalCancelKey>();
    Options.LoadPackages = true;
    // Options of the whole process come before the command: they shape the start-up.
    while (!Args.empty() && (Args[0] == "--no-packages" || Args[0] == "--answer")) {
      if (Args[0] == "--no-packages") {
        Options.LoadPackages = false;
        Args.erase(Args.begin());
        continue;
      }
      if (Args.size() < 2 || TScriptAnswers::ResultOf(Args[1]) == mrNone)
        throw EUsage(CommandUsage(RootCommand(), "nxs"), res::SStartupAnswerWords);
      SetQuestions(std::make_shared<TScriptAnswers>("", Args[1]));
      Args.erase(Args.begin(), Args.begin() + 2);
    }
    // A make records every file it depended on, those start-up reads (packages, settings,
    // tool descriptions) included.
    if (!Args.empty() && Args[0] == "build") StartFileProbes();
    // A large file to edit is read while the system starts.
    const auto ReadAhead = ReadEditFilesAhead(Args);
    TSystemStartup System(Options);
    return RunCommand(RootCommand(), Args, "nxs", &Reached);
  } catch (const EUsage& U) {
    std::fputs(Format(res::SCliUsageError, U.what(), U.Usage()).c_str(), stderr);
    return 2;
  } catch (const std::exception& E) {
    std::fflush(stdout);
    std::fputs(Format(res::SCliErrorLine, E.what()).c_str(), stderr);
    return Reached ? Reached->ErrorStatus : 1;
  }
}

}  // namespace nxs::host

int main(int Argc, char** Argv) { return nxs::host::Main(Argc, Argv); }
