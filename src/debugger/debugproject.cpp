#include "debugger/debugproject.h"

#include <sys/stat.h>

#include "build/orchestration.h"
#include "modules/modulelist.h"
#include "projectfiles/configmgr.h"
#include "projects/project.h"
#include "shared/filenames.h"

namespace nxs {

namespace {

// The file's modification time in nanoseconds; -1 when it cannot be read.
int64_t ModifiedAt(const std::string& FileName) {
  struct stat S {};
  if (::stat(FileName.c_str(), &S) != 0) return -1;
  return static_cast<int64_t>(S.st_mtim.tv_sec) * 1000000000 + S.st_mtim.tv_nsec;
}

}  // namespace

TDebugProjectHost::TDebugProjectHost(TCustomCodeIProject& Project, std::string Configuration)
    : FProject(Project), FConfiguration(std::move(Configuration)) {
  if (!FConfiguration.empty()) FProject.GetConfigurations()->SetActiveConfiguration(FConfiguration);
}

std::string TDebugProjectHost::GetActiveProjectName() { return FProject.GetFileName(); }

std::string TDebugProjectHost::ProgramFileName() {
  return ProjectOutputFileName(FProject.GetFileName(), *FProject.GetConfigurations());
}

bool TDebugProjectHost::MustRebuild() { return !FNotToRebuild && ModifiedAt(ProgramFileName()) < 0; }

bool TDebugProjectHost::SourcesChanged() {
  if (FNotToRebuild) return false;
  const int64_t Built = ModifiedAt(ProgramFileName());
  if (Built < 0) return true;
  if (ModifiedAt(FProject.GetFileName()) > Built) return true;
  for (const TProjectFileItem& Item : FProject.GetProjectFileEntries())
    if (ModifiedAt(Item.FileName) > Built) return true;
  return false;
}

bool TDebugProjectHost::BuildProject() {
  TBuildCommand Command;
  Command.Mode = cmMake;
  Command.Configuration = FConfiguration;
  FNotToRebuild = false;
  return RunBuildCommand(Command, nullptr, &FProject) == crSucceeded;
}

bool TDebugProjectHost::SaveModifiedFiles() { return SaveModifiedModules(); }

bool TDebugProjectHost::GetLoadParams(TOTALoadParams& Params) {
  Params.ExeName = ProgramFileName();
  Params.WorkingDirectory = ExtractFileDir(FProject.GetFileName());
  return true;
}

}  // namespace nxs
