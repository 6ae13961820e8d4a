// Whether standard output goes to a terminal (commands colour their output only there).
#pragma once

namespace nxs {

bool StdoutIsTerminal();

}  // namespace nxs
