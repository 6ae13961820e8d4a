// nxs macros: expand IDE macros for a project and a file.
#include <cstdio>

#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "projectfiles/macros.h"
#include "projects/projectsession.h"

namespace nxs::host {

static int RunMacrosExpand(const TCommandLine& Cmd) {
  if (!Cmd.Has("--project")) Cmd.Fail(res::SMacrosMissingProject);
  TProjectSession Session;
  TProjectDocument& Project = Session.OpenDocument(Cmd.Get("--project"));
  std::printf("%s\n", IDEMacros().ExpandMacros(Cmd[0], Cmd.Get("--file"), &Project).c_str());
  return 0;
}

TCommand MacrosCommand() {
  return Group("macros", "expand IDE macros",
               {Leaf("expand", "expand the macros of a text", "nxs macros expand TEXT --project FILE [--file SOURCE]",
                     "Prints TEXT with its $(NAME) macros expanded for the project and the source file.\n"
                     "\"$$\" stands for one \"$\"; names no macro has stay as they are.",
                     {{"--project", true}, {"--file", true}}, 1, 1, RunMacrosExpand)});
}

}  // namespace nxs::host
