// Autorecover in a command session: the session's modules are kept by autorecover on a real
// clock, and the commands AutoRecoverTick (the timer's work now, answering how many modules
// it wrote), Wait SECONDS (the session stays, and its timer runs) and Recover FILE (the
// recovered text of FILE into its editor, FILE current).
#pragma once

#include <string>

namespace nxs::script {

class TEdModules;

// Called with every command before the others: starts autorecover with the first, runs the
// timer's work when it fell due since the last, and runs a command of its own. False when
// Word names none of them.
bool RunRecoverCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest);

}  // namespace nxs::script
