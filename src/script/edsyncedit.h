// The session's sync edit commands: SyncEdit, Template, NextPoint, PrevPoint, CancelSyncEdit
// and Points. Edits typed inside a point while the mode is on reach every occurrence through
// the buffer, as they would in a window.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace nxs::script {

class TEdModules;

// Runs a sync edit command on the current module; false when Word names none of them. Unescape
// turns the escapes of a template text into its characters.
bool RunSyncEditCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest,
                        const std::function<std::string(std::string_view)>& Unescape);

}  // namespace nxs::script
