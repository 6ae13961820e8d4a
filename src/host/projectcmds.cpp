// nxs project: format and show project documents, and make new ones.
#include <cstdio>

#include "host/cmdline.h"
#include "host/commands.h"
#include "projectfiles/projectfile.h"
#include "shared/filelock.h"
#include "shared/filenames.h"
#include "shared/guid.h"

namespace nxs::host {

namespace {

int RunProjectFormat(const TCommandLine& Cmd) {
  const std::string Out = Cmd.Has("-o") ? Cmd.Get("-o") : Cmd[0];
  TFileLock Lock(ExpandFileName(Out));
  std::shared_ptr<IMSProjectFile> Doc = MSBuildOpenProject(Cmd[0]);
  Doc->SaveToFile(Out);
  return 0;
}

int RunProjectShow(const TCommandLine& Cmd) {
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

}  // namespace

TCommand ProjectCommand() {
  std::vector<TCommand> Commands = {
               Leaf("format", "write a project document in the system's layout", "nxs project format FILE [-o OUT]",
                     "Reads FILE as a project document and writes it in the system's layout to OUT,\n"
                     "or over FILE. The project file version is checked and stamped.",
                     {{"-o", true}}, 1, 1, RunProjectFormat),
                Leaf("show", "print what a project document says of itself", "nxs project show FILE",
                     "Prints the personality, project type, project GUID, project file version and\n"
                     "targets of a project document. Writes nothing.",
                     {}, 1, 1, RunProjectShow),
                ProjectNewCommand()};
  for (auto& C : ProjectFileCommands()) Commands.push_back(std::move(C));
  return Group("project", "format, show and create project documents, change their files", std::move(Commands));
}

}  // namespace nxs::host
