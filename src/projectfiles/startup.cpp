#include "projectfiles/startup.h"

#include <memory>

#include "projectfiles/linuxplatform.h"
#include "projectfiles/macros.h"
#include "projectfiles/msbtask.h"
#include "shared/filenames.h"
#include "shared/install.h"
#include "shared/settings.h"

namespace nxs {

static std::unique_ptr<TLinuxPlatformPackage>& PlatformPackage() {
  static std::unique_ptr<TLinuxPlatformPackage> Package;
  return Package;
}

// A value the user has put into the environment wins over the computed default.
static std::string FromEnvironment(const char* Name, const std::string& Default) {
  auto V = GetEnvironmentVariable(Name);
  return V && !V->empty() ? *V : Default;
}

void PublishStartupVariables() {
  std::string Documents = IncludeTrailingPathDelimiter(HomeDir()) + "Documents/NXS/";
  SetPublishedVariable("NXS", InstallDir());
  std::string Projects = ExpandRootMacros(SettingsStore().ReadString("Globals", "DefaultProjectsDirectory"));
  if (Projects.empty()) Projects = Documents + "Projects";
  SetPublishedVariable("NXSPROJECTSDIR", FromEnvironment("NXSPROJECTSDIR", Projects));
  SetPublishedVariable("NXSUSERDIR", FromEnvironment("NXSUSERDIR", Documents + "20.0"));
  SetPublishedVariable("NXSCOMMONDIR", FromEnvironment("NXSCOMMONDIR", "/usr/local/share/NXS/20.0"));
  SetPublishedVariable("NXSLIB", FromEnvironment("NXSLIB", InstallDir() + "/lib"));
  SetPublishedVariable("NXSINCLUDE", FromEnvironment("NXSINCLUDE", InstallDir() + "/include"));
  SetPublishedVariable("ProductVersion", "20.0");
}

void StartProjectFiles() {
  static bool Started = false;
  if (Started) return;
  Started = true;
  PublishStartupVariables();
  PlatformPackage() = std::make_unique<TLinuxPlatformPackage>(PlatformManager());
  RegisterMSBuildTasks(DataDir() + "/tools");
}

void StopProjectFiles() { PlatformPackage().reset(); }

}  // namespace nxs
