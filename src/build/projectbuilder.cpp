#include "build/projectbuilder.h"

#include <vector>

#include "build/hostobject.h"
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
  if (Entry.Switches.Jobs > 0) Properties += Format(";ParallelJobs=%d", Entry.Switches.Jobs);
  if (!Entry.Switches.WaitForOtherBuilds) Properties += ";WaitForBuildLock=false";
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

namespace {

// The compile tasks read the editor's unsaved text, report progress and count messages
// through a host object. Start-up may have offered them one already; only the missing ones
// are registered here, and only those are taken back.
const char* const CompileTasks[] = {"PascalCompiler", "CppCompiler"};
std::vector<std::string>& RegisteredHere() {
  static std::vector<std::string> Names;
  return Names;
}

}  // namespace

void InitProjectBuilders() {
  SetProjectBuilderFactory([](TCustomCodeIProject&) { return std::make_shared<TMSBuildProjectBuilder>(); });
  const auto Known = HostObjects();
  for (const char* Task : CompileTasks) {
    if (Known.count(Task)) continue;
    RegisterHostObjectClass(Task, [](const std::string& ProjectFile) {
      return std::make_shared<TNXSHostObject>(ProjectFile);
    });
    RegisteredHere().push_back(Task);
  }
}

void DoneProjectBuilders() {
  SetProjectBuilderFactory(nullptr);
  for (const auto& Task : RegisteredHere()) UnregisterHostObjectClass(Task);
  RegisteredHere().clear();
}

}  // namespace nxs
