// Where the system is installed and what the process environment holds: the installation
// directory that "$(NXS)" names, the shipped data below it, and the environment variables
// the system reads and publishes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nxs {

// The shipped data ("tools/", targets files, keymaps): $NXS_DATA_DIR when set; else the
// installed layout "<prefix>/share/nxs/data" beside "<prefix>/bin/nxs" when it exists; else
// the source tree's "data/", so that the build tree runs without installing. No trailing
// delimiter.
std::string DataDir();
// The installation directory: the directory that holds DataDir().
std::string InstallDir();
// The running program's file; empty where the system does not say.
std::string ExecutableFile();
// The words the process was started with, the program's name first.
std::vector<std::string> ProcessArguments();

// The process environment. A variable that is not set reads as nothing; set to the empty
// string it reads as "".
std::optional<std::string> GetEnvironmentVariable(const std::string& Name);
void SetEnvironmentVariable(const std::string& Name, const std::string& Value);
// Every "NAME=VALUE" entry of the process environment, in the environment's order.
std::vector<std::string> EnvironmentEntries();

// The user's home directory ($HOME, else the password database, else "/").
std::string HomeDir();

}  // namespace nxs
