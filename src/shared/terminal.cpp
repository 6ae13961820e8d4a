#include "shared/terminal.h"

#include <unistd.h>

namespace nxs {

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace nxs
