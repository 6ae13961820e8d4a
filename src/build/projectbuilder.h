// The builder of MSBuild projects (".vproj", ".kzproj"): hands the project to the build host's
// MSBuild bridge with the targets of the compile mode and the entry's configuration and
// platform as global properties.
#pragma once

#include <memory>
#include <string>

#include "build/orchestration.h"

namespace nxs {

// The targets a compile mode runs: "Make", "Build", "Clean", "Check", "Link"; empty for the
// code-insight compile, which is not a build.
std::string MSBuildTargetsFor(TCompileMode Mode);
// "Config=...;Platform=..." for the entry, ";ParallelJobs=N" when the jobs are set, and
// ";WaitForBuildLock=false" when a build does not wait for another.
std::string MSBuildPropertiesFor(const TProjectBuildInfo& Entry);

class TMSBuildProjectBuilder : public IProjectBuilder {
 public:
  void PreBuild(TProjectBuildInfo& Entry, const TBuildControl& Control) override;
  void Build(TProjectBuildInfo& Entry, const TBuildControl& Control) override;
  void PostBuild(TProjectBuildInfo& Entry, const TBuildControl& Control) override;
  // Runs the compile target for one file ("FileToCompile").
  void BuildFile(TProjectBuildInfo& Entry, const std::string& FileName, const TBuildControl& Control) override;
};

// Every project is built by the MSBuild project builder; DoneProjectBuilders takes it back.
void InitProjectBuilders();
void DoneProjectBuilders();

}  // namespace nxs
