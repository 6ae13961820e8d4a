#include "build/projectbuilder.h"

#include "build/msbridge.h"
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
  std::string Properties = Format("Config=%s;Platform=%s", Entry.Configuration, Entry.Platform);
  if (BuildJobs() > 0) Properties += Format(";ParallelJobs=%d", BuildJobs());
  return Properties;
}

void TMSBuildProjectBuilder::PreBuild(TProjectBuildInfo& Entry, const TBuildControl&) { Entry.Success = true; }
void TMSBuildProjectBuilder::PostBuild(TProjectBuildInfo&, const TBuildControl&) {}

void TMSBuildProjectBuilder::Build(TProjectBuildInfo& Entry, const TBuildControl& Control) {
  Entry.Success = InvokeMSBuild(TMSBuildSource(*Entry.Project), MSBuildTargetsFor(Control.FMode),
                                MSBuildPropertiesFor(Entry), Control, vNormal);
}

void TMSBuildProjectBuilder::BuildFile(TProjectBuildInfo& Entry, const std::string& FileName,
                                       const TBuildControl& Control) {
  // One file: the make target told which file, so that nothing is linked.
  Entry.Success = InvokeMSBuild(TMSBuildSource(*Entry.Project), MSBuildTargetsFor(cmMake),
                                MSBuildPropertiesFor(Entry) + ";FileToCompile=" + FileName, Control, vNormal, FileName);
}

void InitProjectBuilders() {
  SetProjectBuilderFactory([](TCustomCodeIProject&) { return std::make_shared<TMSBuildProjectBuilder>(); });
}

void DoneProjectBuilders() { SetProjectBuilderFactory(nullptr); }

}  // namespace nxs
