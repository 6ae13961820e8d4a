#include "debugger/debugproject.h"

#include <sys/stat.h>

#include <set>
#include <vector>

#include "build/orchestration.h"
#include "modules/modulelist.h"
#include "projectfiles/configmgr.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "shared/filenames.h"

namespace nxs {

namespace {

// The file's modification time in nanoseconds; -1 when it cannot be read.
int64_t ModifiedAt(const std::string& FileName) {
  struct stat S {};
  if (::stat(FileName.c_str(), &S) != 0) return -1;
  return static_cast<int64_t>(S.st_mtim.tv_sec) * 1000000000 + S.st_mtim.tv_nsec;
}

// Whether the project file or one of the project's files is newer than Time.
bool NewerFiles(TCustomCodeIProject& Project, int64_t Time) {
  if (ModifiedAt(Project.GetFileName()) > Time) return true;
  for (const TProjectFileItem& Item : Project.GetProjectFileEntries())
    if (ModifiedAt(Item.FileName) > Time) return true;
  return false;
}

std::string OutputOf(TCustomCodeIProject& Project) {
  return ProjectOutputFileName(Project.GetFileName(), *Project.GetConfigurations());
}

}  // namespace

TDebugProjectHost::TDebugProjectHost(TCustomCodeIProject& Project, std::string Configuration)
    : FProject(Project), FConfiguration(std::move(Configuration)) {
  if (!FConfiguration.empty()) FProject.GetConfigurations()->SetActiveConfiguration(FConfiguration);
}

std::string TDebugProjectHost::GetActiveProjectName() { return FProject.GetFileName(); }

std::string TDebugProjectHost::ProgramFileName() { return OutputOf(FProject); }

bool TDebugProjectHost::MustRebuild() { return FOutOfDate || (!FNotToRebuild && ModifiedAt(ProgramFileName()) < 0); }

bool TDebugProjectHost::SourcesChanged() {
  if (FNotToRebuild) return false;
  const int64_t Built = ModifiedAt(ProgramFileName());
  return Built < 0 || NewerFiles(FProject, Built);
}

bool TDebugProjectHost::DependenciesChanged() {
  TProjectGroup* Group = GroupOfProject(&FProject);
  if (!Group) return false;
  const int64_t Built = ModifiedAt(ProgramFileName());
  // Each project once: a hand-edited group may depend on itself in a cycle.
  std::set<TBaseProject*> Seen{&FProject};
  std::vector<TBaseProject*> Pending = Group->GetProjectDependencies(&FProject);
  while (!Pending.empty()) {
    TBaseProject* P = Pending.back();
    Pending.pop_back();
    if (!Seen.insert(P).second) continue;
    if (auto* D = dynamic_cast<TCustomCodeIProject*>(P)) {
      const int64_t Output = ModifiedAt(OutputOf(*D));
      if (Output < 0 || Output > Built || NewerFiles(*D, Output)) return true;
    }
    for (TBaseProject* Next : Group->GetProjectDependencies(P)) Pending.push_back(Next);
  }
  return false;
}

bool TDebugProjectHost::BuildProject() {
  TBuildCommand Command;
  Command.Mode = cmMake;
  Command.Configuration = FConfiguration;
  FNotToRebuild = false;
  FOutOfDate = false;
  return RunBuildCommand(Command, nullptr, &FProject) == crSucceeded;
}

bool TDebugProjectHost::SaveModifiedFiles() { return SaveModifiedModules(); }

bool TDebugProjectHost::GetLoadParams(TOTALoadParams& Params) {
  Params.ExeName = ProgramFileName();
  Params.WorkingDirectory = ExtractFileDir(FProject.GetFileName());
  return true;
}

}  // namespace nxs
