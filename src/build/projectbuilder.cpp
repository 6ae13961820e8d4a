#include "build/projectbuilder.h"

#include "projects/project.h"
#include "shared/format.h"

namespace nxs {

std::string MSBuildTargetsFor(TCompileMode Mode) {
  switch (Mode) {
    case cmMake: return "Make";
    case cmBuild: return "Build";
    case cmClean: return "Clean";
    case cmCheck: return "Check";
    case cmLink: return "Link";
    case cmKibitz: return {};
  }
  return {};
}

std::string MSBuildPropertiesFor(const TProjectBuildInfo& Entry) {
  return Format("Config=%s;Platform=%s", Entry.Configuration, Entry.Platform);
}

void TMSBuildProjectBuilder::PreBuild(TProjectBuildInfo& Entry, const TBuildControl&) { Entry.Success = true; }
void TMSBuildProjectBuilder::PostBuild(TProjectBuildInfo&, const TBuildControl&) {}

void TMSBuildProjectBuilder::Build(TProjectBuildInfo& Entry, const TBuildControl&) {
  // The bridge to the engine is the build host's; until it answers, nothing is built.
  Entry.Success = false;
}

void TMSBuildProjectBuilder::BuildFile(TProjectBuildInfo& Entry, const std::string&, const TBuildControl&) {
  Entry.Success = false;
}

std::shared_ptr<IProjectBuilder> MakeMSBuildProjectBuilder(TCustomCodeIProject&) {
  return std::make_shared<TMSBuildProjectBuilder>();
}

}  // namespace nxs
