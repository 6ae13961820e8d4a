#include "projectfiles/configtarget.h"

#include "projectfiles/configmgr.h"
#include "projectfiles/linuxplatform.h"
#include "projectfiles/names.h"
#include "projectfiles/optionmgr.h"
#include "projectfiles/platforms.h"
#include "projectfiles/resstrings.h"
#include "shared/format.h"

namespace nxs {

namespace {

// The registry's spelling of a platform name; raises for a platform it does not know.
std::string PlatformName(const std::string& Name) { return PlatformManager().Platform(Name)->GetName(); }

TBuildConfiguration& NamedOrActive(TBuildConfigurations& Configs, const TConfigAddress& A) {
  return A.Config.empty() ? Configs.GetActiveConfiguration() : Configs.Configuration(A.Config);
}

}  // namespace

TBuildConfiguration& FindConfigLevel(TBuildConfigurations& Configs, const TConfigAddress& A) {
  TBuildConfiguration& Config = NamedOrActive(Configs, A);
  TBuildConfiguration* Level = &Config;
  if (!A.Platform.empty())
    if (auto* Sub = Config.GetPlatformConfiguration(PlatformName(A.Platform))) Level = Sub;
  if (A.File.empty()) return *Level;
  if (TLocalOverride* Local = Level->GetLocalOverride(A.File)) return *Local;
  if (Level != &Config)
    if (TLocalOverride* Local = Config.GetLocalOverride(A.File)) return *Local;
  return *Level;
}

TBuildConfiguration& MakeConfigLevel(TBuildConfigurations& Configs, const TConfigAddress& A) {
  TBuildConfiguration* Config = &NamedOrActive(Configs, A);
  if (!A.Platform.empty()) Config = Config->GetPlatformConfiguration(PlatformName(A.Platform), true);
  if (!A.File.empty()) return *Config->SetLocalOverride(A.File);
  return *Config;
}

std::string GetConfigValue(TBuildConfigurations& Configs, const TConfigAddress& A, const std::string& Name) {
  const std::string Platform = A.Platform.empty() ? Configs.GetActivePlatform() : PlatformName(A.Platform);
  TBuildConfiguration* Config = &FindConfigLevel(Configs, A);
  // The lookup of a configuration for a platform starts at its sub-configuration.
  if (Config->Platform().empty() && !Config->IsLocalOverride())
    if (auto* Sub = Config->GetPlatformConfiguration(Platform)) Config = Sub;
  return Config->GetPlatformValue(Name, Platform);
}

void CheckConfigValue(const std::string& Name, const std::string& Value) {
  ValidPropertyName(Name);
  const TProjectOption* Option = OptionManager().GetOption(Name);
  if (!Option) return;
  const std::string Problem = Option->CheckValue(Value);
  if (!Problem.empty()) throw EInvalidOptionValue(Format(res::SInvalidOptionValue, Name, Problem));
}

void SetConfigValue(TBuildConfigurations& Configs, const TConfigAddress& A, const std::string& Name,
                    const std::string& Value, bool Merge) {
  CheckConfigValue(Name, Value);
  MakeConfigLevel(Configs, A).SetListValue(Name, Value, Merge);
}

void ActivateConfiguration(TBuildConfigurations& Configs, const std::string& Name, const std::string& Platform) {
  // Both are checked before either changes.
  Configs.Configuration(Name);
  std::string Resolved;
  if (!Platform.empty()) {
    Resolved = PlatformName(Platform);
    if (!Configs.GetPlatformSupported(Resolved))
      throw EPlatformNotSupported(Format(res::SPlatformNotSupported, Resolved));
  }
  Configs.SetActiveConfiguration(Name);
  if (!Resolved.empty()) Configs.SetActivePlatform(Resolved);
}

void AddStandardConfigurations(TBuildConfigurations& Configs) {
  Configs.GetBaseConfiguration();
  Configs.AddConfiguration("Debug");
  Configs.AddConfiguration("Release");
  Configs.SetPlatformSupported(SPlatformLinux64, true);
  Configs.SetPlatformEnabled(SPlatformLinux64, true);
  Configs.SetActivePlatform(SPlatformLinux64);
  Configs.SetActiveConfiguration("Debug");
}

}  // namespace nxs
