// nxs optionset: make option sets.
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/projectctx.h"
#include "projectfiles/optionsets.h"
#include "projectfiles/resstrings.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs::host {

static int RunOptionSetNew(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"--personality", true}}, 1, 1, "nxs optionset new FILE --personality NAME",
                   "Writes an empty option set for the personality to FILE, which must not exist.");
  if (!Cmd.Has("--personality") || Cmd.Get("--personality").empty()) Cmd.Fail("missing --personality");
  StartProjectLayer();
  std::string File = ExpandFileName(Cmd[0]);
  if (FileSystem().Stat(File).Exists) throw Exception(Format(res::SOptionSetExists, Cmd[0]));
  NewOptionSet(File, Cmd.Get("--personality"))->SaveToFile();
  return 0;
}

int RunOptionSetCommand(const TArgs& Args) {
  const char* Usage = "nxs optionset new ...";
  if (!Args.empty() && (Args[0] == "--help" || Args[0] == "-h"))
    throw EHelp("usage: nxs optionset COMMAND ...\ncommands:\n  new\nEvery command takes --help.");
  std::string Word = Args.empty() ? std::string() : Args[0];
  if (Word == "new") return RunOptionSetNew(TArgs(Args.begin() + 1, Args.end()));
  UnknownSubcommand("optionset", Word, Usage);
}

}  // namespace nxs::host
