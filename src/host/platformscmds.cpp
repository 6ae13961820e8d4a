// nxs platforms: the registered platforms, one per line: name, display name (quoted) and the
// personalities the platform is available for ("-" for none).
#include <cstdio>

#include "host/cmdline.h"
#include "host/commands.h"
#include "projectfiles/linuxplatform.h"
#include "projectfiles/platforms.h"
#include "projectfiles/startup.h"

namespace nxs::host {

static int RunPlatforms(const TCommandLine&) {
  StartProjectFiles();
  for (const auto& Name : PlatformManager().AllPlatforms()) {
    auto P = PlatformManager().GetPlatform(Name);
    std::string Personalities;
    for (const char* Personality : {SPersonalityCpp, SPersonalityDefault, SPersonalityPascal})
      if (P->IsAvailable(Personality)) Personalities += std::string(Personalities.empty() ? "" : " ") + Personality;
    std::printf("%s \"%s\" %s\n", P->GetName().c_str(), P->GetDisplayName().c_str(),
                Personalities.empty() ? "-" : Personalities.c_str());
  }
  return 0;
}

TCommand PlatformsCommand() {
  return Leaf("platforms", "list the registered platforms", "nxs platforms",
              "Lists the registered platforms: name, display name and the personalities each\n"
              "is available for.",
              {}, 0, 0, RunPlatforms);
}

}  // namespace nxs::host
