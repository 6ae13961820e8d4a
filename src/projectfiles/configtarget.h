// Requests that address one level of a project's configurations: a configuration (the active
// one unless named), its sub-configuration for a platform, and a source file's local override
// on either. Reading takes the most specific level that exists; writing makes the level it
// names. Also the checks on a value before it is stored, activation, and the configurations a
// new project starts with.
#pragma once

#include <string>

namespace nxs {

class TBuildConfiguration;
class TBuildConfigurations;

struct TConfigAddress {
  std::string Config;    // a configuration's name; empty: the active configuration
  std::string Platform;  // a platform's name (any letter case); empty: none
  std::string File;      // a source file's absolute name; empty: none
};

// The level a read addresses: the file's local override on the platform's sub-configuration,
// else the file's local override on the configuration, else the platform's sub-configuration
// (a file named without an override reads from there), else the configuration.
TBuildConfiguration& FindConfigLevel(TBuildConfigurations& Configs, const TConfigAddress& Address);
// The level a write addresses, made when missing.
TBuildConfiguration& MakeConfigLevel(TBuildConfigurations& Configs, const TConfigAddress& Address);

// The value of option Name as the addressed level gives it for the platform (default: the
// active one), inherited values and option defaults included.
std::string GetConfigValue(TBuildConfigurations& Configs, const TConfigAddress& Address, const std::string& Name);
// Raises when Name is not a property name or Value is not a value of the registered option.
void CheckConfigValue(const std::string& Name, const std::string& Value);
// Checks, then stores Value on the addressed level (made when missing). An empty value removes
// the entry; Merge makes a list value extend the inherited list.
void SetConfigValue(TBuildConfigurations& Configs, const TConfigAddress& Address, const std::string& Name,
                    const std::string& Value, bool Merge);
// Makes Name the active configuration and, when given, Platform (which the project must
// support) the active platform.
void ActivateConfiguration(TBuildConfigurations& Configs, const std::string& Name, const std::string& Platform = {});

// A new project's configurations: Base, Debug and Release, Debug active, with the host's
// platform supported, enabled and active.
void AddStandardConfigurations(TBuildConfigurations& Configs);

}  // namespace nxs
