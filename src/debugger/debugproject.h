// The project a debug session runs: a project opened alone or a group's active project,
// answering the manager's questions about it from its files. It must be rebuilt when its
// program is missing or it was marked out of date; its sources changed when one of its files
// is newer than the program; its dependencies changed when a project of its group that it
// depends on (directly or through others) is unbuilt, older than its own files or newer than
// the program.
#pragma once

#include <string>

#include "debugger/debugmgr.h"

namespace nxs {

class TCustomCodeIProject;

class TDebugProjectHost : public IDebugProjectHost {
 public:
  // Configuration: the configuration to run and build; empty for the project's active one.
  TDebugProjectHost(TCustomCodeIProject& Project, std::string Configuration);

  bool HasActiveProject() override { return true; }
  std::string GetActiveProjectName() override;
  bool MustRebuild() override;
  bool SourcesChanged() override;
  void MarkNotToRebuild() override { FNotToRebuild = true; }
  bool DependenciesChanged() override;
  void MarkOutOfDate() override { FOutOfDate = true; }
  // A make of the project (and what it depends on) through the build host.
  bool BuildProject() override;
  bool SaveModifiedFiles() override;
  bool GetLoadParams(TOTALoadParams& Params) override;

  // The program the project builds, absolute.
  std::string ProgramFileName();

 private:
  TCustomCodeIProject& FProject;
  std::string FConfiguration;
  bool FNotToRebuild = false;
  bool FOutOfDate = false;
};

}  // namespace nxs
