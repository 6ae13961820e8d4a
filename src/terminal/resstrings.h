// The terminal IDE's own texts.
#pragma once

namespace nxs::term::res {

inline constexpr const char* STermNotASourceFile = "%s does not open in an editor";
inline constexpr const char* STermRecording = "Recording a key macro";
inline constexpr const char* STermSyncEditNothing = "Mark a block that holds an identifier more than once";
inline constexpr const char* STermUnknownCommand = "Unknown command \"%s\"";
inline constexpr const char* STermNoFileOpen = "No file is open. F10 opens the prompt: Open FILE, Quit.";
inline constexpr const char* STermNoProject = "No project holds %s";
inline constexpr const char* STermBuildMode = "Unknown build mode \"%s\": make, build or clean";
inline constexpr const char* STermBuilding = "Building %s";
inline constexpr const char* STermSearching = "Searching: %d found";
inline constexpr const char* STermSearchStopped = "Search stopped";
inline constexpr const char* STermReadOnly = "%s is read-only";
inline constexpr const char* STermNotAProject = "%s is not a project";
inline constexpr const char* STermPromptGroup = "Prompt";
inline constexpr const char* STermCallStack = "Call Stack";
inline constexpr const char* STermLocals = "Local Variables";
inline constexpr const char* STermBreakpoints = "Breakpoints";
inline constexpr const char* STermThreads = "Threads";
inline constexpr const char* STermEventLog = "Event Log";
inline constexpr const char* STermDisabled = "disabled";
inline constexpr const char* STermNoLine = "The cursor is on no line of a file";
inline constexpr const char* STermNoDebugProject = "No project to run: open a project or a group";
inline constexpr const char* STermRecoverTitle =
    "Recovered Files: Enter recovers, Delete discards, Escape closes";
inline constexpr const char* STermCannotStart = "cannot start the terminal: %s";

}  // namespace nxs::term::res
