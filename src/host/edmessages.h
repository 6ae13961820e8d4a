// nxs ed: the commands that read files as a compiler does and drive the message lines.
#pragma once

#include <string>

namespace nxs::host {

class TEdModules;

// Runs ReadThrough, Message, Messages, GotoMessage or Build; false when Word names none of them.
bool RunMessageCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest);

}  // namespace nxs::host
