// The session's folding commands: Fold, Unfold, UnfoldAll, FoldType, Folds
// and Parse.
#pragma once

#include <string>

namespace nxs::script {

class TEdModules;

// Runs a folding command on the current module; false when Word names none of them.
bool RunFoldingCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest);

}  // namespace nxs::script
