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

namespace nxs::gdbmi {

// The kernel's lines in the event log and its refusals.
inline constexpr const char* SLogProcessStarted = "Process %s (%d)";
inline constexpr const char* SLogProcessExited = "Process %s (%d) exited with code %d";
inline constexpr const char* SLogThreadStart = "Thread Start: Thread ID: %d. Process %s (%d)";
inline constexpr const char* SLogThreadExit = "Thread Exit: Thread ID: %d. Process %s (%d)";
inline constexpr const char* SLogModuleLoad = "Module Load: %s. Process %s (%d)";
inline constexpr const char* SLogModuleUnload = "Module Unload: %s. Process %s (%d)";
inline constexpr const char* SLogNoDebugInfo =
    "%s has no debugging information: breakpoints in it cannot stop, and steps run whole functions";
inline constexpr const char* SLogBreakpointMessage = "Breakpoint Message: %s Process %s (%d)";
inline constexpr const char* SLogBreakpointExpression = "Breakpoint Expression: %s: %s Process %s (%d)";
inline constexpr const char* SLogStackFrame = "  %s %s:%d";
inline constexpr const char* SLogBreakpointInvalid = "The breakpoint at %s:%d cannot be set: %s";
inline constexpr const char* SLogFault = "Process %s (%d) stopped: %s at %s:%d";
inline constexpr const char* SLogException = "Process %s (%d) raised exception class %s at %s:%d";
inline constexpr const char* SLogExceptionIgnored = "Process %s (%d) raised exception class %s at %s:%d (ignored)";
inline constexpr const char* SUnknownExceptionClass = "(unknown)";
inline constexpr const char* SLogOutputDropped = "(%u bytes of program output were dropped)";
inline constexpr const char* SLogGdbEnded = "The debugger ended: %s";
inline constexpr const char* SNotInCurrentFunction = "%s:%d is not in the current function";
inline constexpr const char* SNoProcessToStep = "The process is not stopped";

}  // namespace nxs::gdbmi
