// The texts of the gdb kernel.
#pragma once

namespace nxs::gdbmi {

// The session with gdb.
inline constexpr const char* SGdbNotFound =
    "The debugger program \"%s\" was not found on the path. Install gdb to debug programs.";
inline constexpr const char* SGdbNotStarted = "The debugger program %s could not be started: %s";
inline constexpr const char* SGdbExited = "gdb ended with exit code %d";
inline constexpr const char* SGdbKilled = "gdb was killed by signal %d";
inline constexpr const char* SGdbGone = "The debugger has ended unexpectedly. %s";
inline constexpr const char* SGdbNoAnswer = "The debugger did not answer the command %s in time.";
inline constexpr const char* SNoTerminal = "No terminal could be made for the program under the debugger: %s";

}  // namespace nxs::gdbmi
