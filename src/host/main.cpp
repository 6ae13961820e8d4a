// nxs: the command-line host. It starts the system, answers its questions from flags and
// prints what a window would show.
#include <cstdio>
#include <exception>
#include <string>

#include "host/cmdline.h"
#include "host/commands.h"
#include "editor/editbuffer.h"
#include "projectfiles/projectfile.h"
#include "shared/mainthread.h"

namespace nxs::host {

const std::vector<TCommandGroup>& CommandGroups() {
  static const std::vector<TCommandGroup> Groups = {
      {"project", "format, show and create project documents", RunProjectCommand},
      {"config", "list, read and change build configurations", RunConfigCommand},
      {"optionset", "create option sets", RunOptionSetCommand},
      {"macros", "expand IDE macros", RunMacrosCommand},
      {"platforms", "list the registered platforms", RunPlatformsCommand},
      {"options", "show and change environment options", RunOptionsCommand},
      {"history", "file backups, closed files and favourites", RunHistoryCommand},
      {"ed", "edit a file with a command script", RunEdCommand},
      {"group", "make, change and show project groups", RunGroupCommand},
  };
  return Groups;
}

void UnknownSubcommand(const std::string& Group, const std::string& Word, const std::string& Usage) {
  throw EUsage(Usage, Word.empty() ? "missing command" : "unknown command '" + Group + " " + Word + "'");
}

static std::string MainUsage() {
  std::string U = "nxs COMMAND [ARGS...]\ncommands:";
  for (const auto& G : CommandGroups()) U += "\n  " + std::string(G.Name) + "  " + G.Summary;
  U += "\nEvery command takes --help.";
  return U;
}

// Connects the libraries that may not include one another: the project document reads the
// text of a file open in an edit buffer rather than the disk copy.
static void ConnectSubsystems() { SetOpenBufferTextHook(&GetOpenBufferText); }

static int Main(int Argc, char** Argv) {
  MainThreadQueue().SetMainThread();
  ConnectSubsystems();
  TArgs Args(Argv + 1, Argv + Argc);
  if (Args.empty()) throw EUsage(MainUsage(), "missing command");
  if (Args[0] == "--help" || Args[0] == "-h" || Args[0] == "help") throw EHelp("usage: " + MainUsage());
  for (const auto& G : CommandGroups())
    if (Args[0] == G.Name) return G.Run(TArgs(Args.begin() + 1, Args.end()));
  throw EUsage(MainUsage(), "unknown command '" + Args[0] + "'");
}

}  // namespace nxs::host

int main(int Argc, char** Argv) {
  using namespace nxs::host;
  try {
    return Main(Argc, Argv);
  } catch (const EHelp& H) {
    std::printf("%s\n", H.what());
    return 0;
  } catch (const EUsage& U) {
    std::fprintf(stderr, "nxs: %s\nusage: %s\n", U.what(), U.Usage().c_str());
    return 2;
  } catch (const std::exception& E) {
    std::fflush(stdout);
    std::fprintf(stderr, "nxs: %s\n", E.what());
    return 1;
  }
}
