// nxs optionset: make option sets.
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/projectctx.h"
#include "projectfiles/optionsets.h"
#include "projectfiles/resstrings.h"
#include "shared/fileio.h"
#include "shared/filelock.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs::host {

static int RunOptionSetNew(const TCommandLine& Cmd) {
  if (!Cmd.Has("--personality") || Cmd.Get("--personality").empty()) Cmd.Fail("missing --personality");
  StartProjectLayer();
  std::string File = ExpandFileName(Cmd[0]);
  TFileLock Lock(File);  // two that make it take turns: the second finds the first's
  if (FileSystem().Stat(File).Exists) throw Exception(Format(res::SOptionSetExists, Cmd[0]));
  NewOptionSet(File, Cmd.Get("--personality"))->SaveToFile();
  return 0;
}

TCommand OptionSetCommand() {
  return Group("optionset", "create option sets",
               {Leaf("new", "a new option set", "nxs optionset new FILE --personality NAME",
                     "Writes an empty option set for the personality to FILE, which must not exist.",
                     {{"--personality", true}}, 1, 1, RunOptionSetNew)});
}

}  // namespace nxs::host
