// The nxs command groups. Each group lives in its own source file and receives the words
// after its name.
#pragma once

#include <string>
#include <vector>

namespace nxs::host {

using TArgs = std::vector<std::string>;

struct TCommandGroup {
  const char* Name;
  const char* Summary;
  int (*Run)(const TArgs& Args);
};

int RunProjectCommand(const TArgs& Args);    // project document: format, show, new
int RunConfigCommand(const TArgs& Args);     // build configurations
int RunOptionSetCommand(const TArgs& Args);  // option sets
int RunMacrosCommand(const TArgs& Args);     // IDE macros
int RunPlatformsCommand(const TArgs& Args);  // registered platforms
int RunOptionsCommand(const TArgs& Args);    // environment options
int RunHistoryCommand(const TArgs& Args);    // backups, closed files, favourites
int RunEdCommand(const TArgs& Args);         // scripted editing
int RunGroupCommand(const TArgs& Args);      // project groups

// "nxs project new", kept with the configuration commands (configcmds.cpp).
int RunProjectNew(const TArgs& Args);
// "nxs project add|remove|rename|tree", the project's files as a module (projfilecmds.cpp).
int RunProjectAdd(const TArgs& Args);
int RunProjectRemove(const TArgs& Args);
int RunProjectRename(const TArgs& Args);
int RunProjectTree(const TArgs& Args);

const std::vector<TCommandGroup>& CommandGroups();

// Raised by a group whose subcommand word is unknown.
[[noreturn]] void UnknownSubcommand(const std::string& Group, const std::string& Word, const std::string& Usage);

}  // namespace nxs::host
