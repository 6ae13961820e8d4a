// nxs outline, and the folding commands of nxs ed: Fold, Unfold, UnfoldAll, FoldType, Folds
// and Parse.
#pragma once

#include <string>

#include "host/cmdline.h"

namespace nxs::host {

class TEdModules;

TCommand OutlineCommand();
// Runs a folding command on the current module; false when Word names none of them.
bool RunFoldingCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest);

}  // namespace nxs::host
