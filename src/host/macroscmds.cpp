// nxs macros: expand IDE macros for a project and a file.
#include <cstdio>

#include "host/cmdline.h"
#include "host/commands.h"
#include "host/projectctx.h"
#include "projectfiles/macros.h"

namespace nxs::host {

static int RunMacrosExpand(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"--project", true}, {"--file", true}}, 1, 1,
                   "nxs macros expand TEXT --project FILE [--file SOURCE]",
                   "Prints TEXT with its $(NAME) macros expanded for the project and the source file.\n"
                   "\"$$\" stands for one \"$\"; names no macro has stay as they are.");
  if (!Cmd.Has("--project")) Cmd.Fail("missing --project");
  auto Project = TCommandProject::Open(Cmd.Get("--project"));
  std::printf("%s\n", IDEMacros().ExpandMacros(Cmd[0], Cmd.Get("--file"), Project.get()).c_str());
  return 0;
}

int RunMacrosCommand(const TArgs& Args) {
  const char* Usage = "nxs macros expand ...";
  if (!Args.empty() && (Args[0] == "--help" || Args[0] == "-h"))
    throw EHelp("usage: nxs macros COMMAND ...\ncommands:\n  expand\nEvery command takes --help.");
  std::string Word = Args.empty() ? std::string() : Args[0];
  if (Word == "expand") return RunMacrosExpand(TArgs(Args.begin() + 1, Args.end()));
  UnknownSubcommand("macros", Word, Usage);
}

}  // namespace nxs::host
