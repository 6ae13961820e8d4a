// nxs eval: the values of a project file's properties or items as the build engine computes
// them, one per line.
#include <cstdint>
#include <cstdio>

#include "build/msbridge.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "projectfiles/startup.h"

namespace nxs::host {

static int RunEval(const TCommandLine& Cmd) {
  // The published variables ($(NXS) among them) are those a build of the project sees.
  StartProjectFiles();
  TEvaluateRequest R;
  R.FileName = Cmd[0];
  R.Names.assign(Cmd.Positional().begin() + 1, Cmd.Positional().end());
  R.Config = Cmd.Get("--config");
  R.Platform = Cmd.Get("--platform");
  R.FileToCompile = Cmd.Get("--file");
  R.Items = Cmd.Has("--item");
  R.Metadata = Cmd.Get("--metadata");
  R.Properties = Cmd.GetAll("--property");
  for (const std::string& Value : EvaluateForCommandLine(R)) std::printf("%s\n", Value.c_str());
  return 0;
}

TCommand EvalCommand() {
  return Leaf("eval", "evaluate properties or items of a project file",
              "nxs eval FILE NAME... [--config NAME] [--platform NAME] [--file SOURCE] [--item] "
              "[--metadata NAME] [--property NAME=VALUE]...",
              "Prints the value of each NAME, one per line, as the build engine evaluates FILE for the\n"
              "configuration and platform (the project's defaults when not given). With --item each NAME is\n"
              "an item type and its items are printed separated by \";\"; --metadata prints that metadata of\n"
              "each item instead. --file names the source file to compile; --property adds a global property.\n"
              "Projects that import the shipped evaluation targets are evaluated through them; any other\n"
              "MSBuild file is evaluated directly.",
              {{"--config", true},
               {"--platform", true},
               {"--file", true},
               {"--item", false},
               {"--metadata", true},
               {"--property", true}},
              2, SIZE_MAX, RunEval);
}

}  // namespace nxs::host
