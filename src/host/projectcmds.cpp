// nxs project: format and show project documents. Each subcommand is one entry of the
// table in RunProjectCommand.
#include <cstdio>

#include "host/cmdline.h"
#include "host/commands.h"
#include "projectfiles/projectfile.h"
#include "shared/guid.h"

namespace nxs::host {

namespace {

int RunProjectFormat(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"-o", true}}, 1, 1, "nxs project format FILE [-o OUT]",
                   "Reads FILE as a project document and writes it in the system's layout to OUT,\n"
                   "or over FILE. The project file version is checked and stamped.");
  std::shared_ptr<IMSProjectFile> Doc = MSBuildOpenProject(Cmd[0]);
  Doc->SaveToFile(Cmd.Has("-o") ? Cmd.Get("-o") : Cmd[0]);
  return 0;
}

int RunProjectShow(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 1, 1, "nxs project show FILE",
                   "Prints the personality, project type, project GUID, project file version and\n"
                   "targets of a project document. Writes nothing.");
  std::shared_ptr<IMSProjectFile> Doc = MSBuildOpenProject(Cmd[0]);
  std::string Guid, GuidCondition, Targets;
  Doc->GetGlobalProperty("ProjectGuid", Guid, GuidCondition);
  Doc->GetTargetNames(Targets);
  auto* Access = dynamic_cast<IProjectNodeAccess*>(Doc.get());
  std::string Version = Access ? Access->GetProjectNode()->GetProjectExtensions()->GetValue("ProjectFileVersion") : "";
  std::printf("Personality: %s\n", Doc->GetPersonality().c_str());
  std::printf("ProjectType: %s\n", Doc->GetProjectType().c_str());
  std::printf("ProjectGuid: %s\n", Guid.c_str());
  std::printf("ProjectFileVersion: %s\n", Version.c_str());
  std::printf("Targets: %s\n", Targets.c_str());
  return 0;
}

struct TSubcommand {
  const char* Name;
  int (*Run)(const TArgs& Args);
};

// One line per subcommand.
constexpr TSubcommand Subcommands[] = {
    {"format", RunProjectFormat},
    {"show", RunProjectShow},
    {"new", RunProjectNew},
    {"add", RunProjectAdd},
    {"remove", RunProjectRemove},
    {"rename", RunProjectRename},
    {"tree", RunProjectTree},
};

}  // namespace

int RunProjectCommand(const TArgs& Args) {
  std::string Usage = "nxs project ";
  for (const auto& S : Subcommands) Usage += std::string(&S == Subcommands ? "" : "|") + S.Name;
  Usage += " ...";
  if (!Args.empty() && (Args[0] == "--help" || Args[0] == "-h")) {
    std::string Help = "usage: nxs project COMMAND ...\ncommands:";
    for (const auto& S : Subcommands) Help += std::string("\n  ") + S.Name;
    throw EHelp(Help + "\nEvery command takes --help.");
  }
  std::string Word = Args.empty() ? std::string() : Args[0];
  for (const auto& S : Subcommands)
    if (Word == S.Name) return S.Run(TArgs(Args.begin() + 1, Args.end()));
  UnknownSubcommand("project", Word, Usage);
}

}  // namespace nxs::host
