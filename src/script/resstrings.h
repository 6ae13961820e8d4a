// The user-visible texts of the command sessions: their errors, one per line of a script.
#pragma once

namespace nxs::res {

inline constexpr const char* SEdExpectedGoToLine = "expected GoToLine LINE [COLUMN]";
inline constexpr const char* SEdNotAKeySequence = "not a key sequence: '%s'";
inline constexpr const char* SEdUnknownKeymap = "unknown keymap '%s'";
inline constexpr const char* SEdNotOpenAsSourceModule = "%s is not open as a source module";
inline constexpr const char* SEdNoModuleOpen = "no module is open";
inline constexpr const char* SEdTakesNoArgument = "'%s' takes no argument";
inline constexpr const char* SEdExpectedArgument = "expected %s %s";
inline constexpr const char* SEdNotOpen = "%s is not open";
inline constexpr const char* SEdIsADirectory = "Is a directory";
inline constexpr const char* SEdNoSuchFileOrDirectory = "No such file or directory";
inline constexpr const char* SEdUnknownBuildMode = "unknown build mode '%s' (make, build or clean)";
inline constexpr const char* SEdNoProjectHolds = "no project holds %s";
inline constexpr const char* SEdNoMessage = "there is no message %d";
inline constexpr const char* SEdMessageWithoutFile = "message %d points at no file";
inline constexpr const char* SEdNoRegionParser = "no region parser for '%s' (Pascal and C/C++ files have one)";
inline constexpr const char* SEdCannotReadFile = "Cannot read file '%s'";
inline constexpr const char* SEdParseTimedOut = "the parse did not finish in time";
inline constexpr const char* SEdNoFoldableBlock = "no foldable block at line %d";
inline constexpr const char* SEdUnknownRegionKind = "unknown region kind '%s'";
inline constexpr const char* SEdNotInSyncEdit = "%s: not in sync edit mode";
inline constexpr const char* SEdSyncEditNoBlock = "SyncEdit: no block is marked";
inline constexpr const char* SEdSyncEditNoIdentifier = "SyncEdit: no identifier occurs more than once in the block";
inline constexpr const char* SEdExpectedTemplate = "expected Template TEXT";
inline constexpr const char* SEdTemplateFailed = "Template: the template could not be edited";

}  // namespace nxs::res
