// Finding the file a tool's name stands for, as a shell does: a name with a "/" is the file it
// names; any other name is looked for in each folder of PATH in turn, and the first regular
// file there that may be run is the program. A file that may not be run, a folder of that
// name and a folder that cannot be entered are passed over, and named when nothing is found.
#pragma once

#include <optional>
#include <string>

namespace nxs::engine {

struct TProgramLookup {
  // The file to run; empty when none was found.
  std::string Program;
  // When none was found: each place tried and why it would not do, as a part of a sentence
  // ("/opt/fpc/bin/fpc: Permission denied; no "fpc" in /usr/bin, /bin").
  std::string Failure;
};

// Path: the PATH the program will run with; without one, the shell's default folders. A
// relative name or folder is relative to BaseDir, the folder it will run in. What
// was found is remembered for the process, keyed by name and PATH: a later lookup asks the
// disk once whether it may still be run, where a search would ask every folder before it.
// What was not found is looked for again each time.
TProgramLookup FindProgram(const std::string& Name, const std::optional<std::string>& Path,
                           const std::string& BaseDir = {});

// The same on the PATH of this process.
TProgramLookup FindProgramOnPath(const std::string& Name, const std::string& BaseDir = {});

// Forgets what was found, so that a program put on PATH since is seen (a build starting).
void ForgetPrograms();

}  // namespace nxs::engine
