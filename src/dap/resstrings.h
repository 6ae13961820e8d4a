// The debug adapter's own texts: faults of the client's messages and the answers to requests
// it cannot serve.
#pragma once

namespace nxs::res {

inline constexpr const char* SDapFault = "nxs dap: %s\n";
inline constexpr const char* SDapParseError = "The message is not JSON: %s";
inline constexpr const char* SDapNotARequest = "The message is not a request";
inline constexpr const char* SDapBadRequest = "A request needs a number \"seq\" and a text \"command\"";
inline constexpr const char* SDapUnknownCommand = "Unrecognized request \"%s\"";
inline constexpr const char* SDapNotInitialized = "The adapter is not initialized";
inline constexpr const char* SDapInitializedTwice = "The adapter is initialized already";
inline constexpr const char* SDapBadArgument = "The argument \"%s\" is missing or not %s";
inline constexpr const char* SDapSessionStarted = "A program is being debugged already";
inline constexpr const char* SDapNothingToLaunch = "launch needs a \"program\" or a \"project\"";
inline constexpr const char* SDapNotAProject = "%s holds no project to run";
inline constexpr const char* SDapNoProgram = "There is no program %s to run";
inline constexpr const char* SDapNotMade = "The project %s could not be made";
inline constexpr const char* SDapNoProcess = "No process is being debugged";
inline constexpr const char* SDapNotStopped = "The process is not stopped";
inline constexpr const char* SDapNoThread = "No thread %d";
inline constexpr const char* SDapNoFrame = "No stack frame %d";
inline constexpr const char* SDapNoVariables = "No variables %d";
inline constexpr const char* SDapBadHitCondition = "The hit condition must be a pass count (a whole number): %s";
inline constexpr const char* SDapNotPlanted = "No code at or after this line";
inline constexpr const char* SDapPending = "Planted when its library loads";
inline constexpr const char* SDapEvaluateFailed = "%s";
inline constexpr const char* SDapLocals = "Locals";
inline constexpr const char* SDapArguments = "Arguments";

}  // namespace nxs::res
