// The debugger's commands of a command session: Toggle sets or clears a breakpoint on a line
// of the current file, Breakpoints lists them, LineMarks lists the current file's marked lines.
#pragma once

#include <string>

namespace nxs::script {

class TEdModules;

// Runs Word when it is one of the debugger's commands; false otherwise.
bool RunDebugCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest);

}  // namespace nxs::script
