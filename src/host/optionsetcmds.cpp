// nxs optionset: make option sets.
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "projectfiles/optionsets.h"
#include "projectfiles/startup.h"
#include "shared/format.h"

namespace nxs::host {

static int RunOptionSetNew(const TCommandLine& Cmd) {
  if (!Cmd.Has("--personality") || Cmd.Get("--personality").empty())
    Cmd.Fail(Format(res::SMissingOption, "--personality"));
  StartProjectFiles();
  WriteNewOptionSet(Cmd[0], Cmd.Get("--personality"));
  return 0;
}

TCommand OptionSetCommand() {
  return Group("optionset", "create option sets",
               {Leaf("new", "a new option set", "nxs optionset new FILE --personality NAME",
                     "Writes an empty option set for the personality to FILE, which must not exist.",
                     {{"--personality", true}}, 1, 1, RunOptionSetNew)});
}

}  // namespace nxs::host
