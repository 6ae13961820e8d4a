// The user-visible texts of the debugger front end, and the settings names it uses.
#pragma once

namespace nxs::res {

// The manager.
inline constexpr const char* SUnableToSetNextStatement = "Unable to set the next statement to this location: %s.";
inline constexpr const char* SCannotCompileWhileDebugging =
    "This project cannot be compiled while another process is being debugged.  Use Project|%s to make sure all "
    "projects are compiled before debugging multiple processes.  Continue and reset all processes?";
inline constexpr const char* SCompileAllProjectsCommand = "Compil&e All Projects";
inline constexpr const char* SSourceModifiedRebuild = "Source has been modified. Rebuild?";
inline constexpr const char* SNeverButton = "Ne&ver";
inline constexpr int RebuildHelpContext = 5000;
inline constexpr const char* SDebuggerSwitch = "-debugger=";
inline constexpr const char* SDebuggerNotRegistered =
    "The specified debugger '%s' is not registered.  Use one of the following registered debuggers:";
inline constexpr const char* SDebuggerListEntry = "%s%s (%s%s)";
inline constexpr const char* SNoRegisteredDebuggers =
    "The specified debugger '%s' is not registered.  There are no registered debuggers";
inline constexpr const char* SDebugKeymap = "Tarvos.VD32";
inline constexpr const char* SOverwriteLocalOptions =
    "The options for %s have been set locally.  Do you want to overwrite these local options with the global "
    "debugger options?";
inline constexpr const char* SModuleLoadBreakpointsUnsupported =
    "The active debugger (%s) does not support module load breakpoints.  However, at least one other installed "
    "debugger does support them.  Do you still want to set this module load breakpoint?";
inline constexpr const char* SModulesFilter = "Modules (%s)|%0:s";
inline constexpr const char* SAnyFileFilter = "Any file (*.*)|*.*";
inline constexpr const char* SVisualizersSection = "Debugging\\Visualizers";
inline constexpr const char* SDebuggerOptionsSection = "Debugging\\Debugger";

// Breakpoints.
inline constexpr const char* SBpCondition = "Condition: ";
inline constexpr const char* SBpThread = "Thread: ";
inline constexpr const char* SBpAction = "Action: ";
inline constexpr const char* SBpActionSeparator = ",\n  ";
inline constexpr const char* SBpBreak = "Break";
inline constexpr const char* SBpIgnoreExceptions = "Ignore Subsequent Exceptions";
inline constexpr const char* SBpHandleExceptions = "Handle Subsequent Exceptions";
inline constexpr const char* SBpLogMessage = "Log Message '%s'";
inline constexpr const char* SBpLogExpression = "Log Expression '%s'";
inline constexpr const char* SBpEvalExpression = "Evaluate Expression '%s'";
inline constexpr const char* SBpEnableGroup = "Enable Group '%s'";
inline constexpr const char* SBpDisableGroup = "Disable Group '%s'";
inline constexpr const char* SBpLogAllFrames = "Log all stack frames";
inline constexpr const char* SBpLogOneFrame = "Log 1 stack frame";
inline constexpr const char* SBpLogFrames = "Log %d stack frames";
inline constexpr const char* SBpGroup = "Group: ";
inline constexpr const char* SBpPassCount = "Pass Count: ";
inline constexpr const char* SBpPassCountOf = "%d of %d";
inline constexpr const char* SDeleteAllBreakpoints = "Delete all breakpoints?";
inline constexpr const char* SInvalidFileName = "Invalid file name - %s";
inline constexpr const char* SBreakpointsSection = "Breakpoints";
inline constexpr const char* SBreakpointsCount = "Count";
inline constexpr const char* SBreakpointKey = "Breakpoint%d";
inline constexpr const char* SBreakpointValue = "%s,%u,%s,%u,%d,%s,%d,%d,%d,%s,%d,%s,%s,%s,%d,%s";

}  // namespace nxs::res

namespace nxs::res {

// Debug scripts.
inline constexpr const char* SDebugUnknownCommand = "Unknown debug command: %s";
inline constexpr const char* SDebugCommandNeeds = "%s needs %s";
inline constexpr const char* SDebugNotALocation = "Not a location (FILE:LINE): %s";
inline constexpr const char* SDebugBadOption = "Not a breakpoint option: %s";
inline constexpr const char* SDebugNoProcess = "No process is being debugged";
inline constexpr const char* SDebugNotStopped = "The process is not stopped";
inline constexpr const char* SDebugStillRunning = "The process is still running after %s seconds";
inline constexpr const char* SDebugNoKernel = "No debugger is registered";
inline constexpr const char* SDebugScriptLine = "Line %d: %s";
inline constexpr const char* SDebugStopped = "stopped %s:%d %s";
inline constexpr const char* SDebugEnded = "ended %d";

}  // namespace nxs::res
