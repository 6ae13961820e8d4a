// Where a command session's answers go: standard output for nxs ed, a pane of the terminal
// IDE. Each call passes whole lines, each ending in a line break.
#pragma once

#include <functional>
#include <string_view>

namespace nxs::script {

using TPrintFn = std::function<void(std::string_view Text)>;

// Writes to standard output and flushes, so that a program that drives a session through a
// pipe sees each answer as it is made.
TPrintFn StdoutPrinter();

}  // namespace nxs::script
