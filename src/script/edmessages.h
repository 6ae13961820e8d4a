// The session's commands that read files as a compiler does and drive the message lines.
#pragma once

#include <string>

namespace nxs::script {

class TEdModules;

// Runs ReadThrough, Message, Messages, GotoMessage or Build; false when Word names none of them.
bool RunMessageCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest);

}  // namespace nxs::script
