// The environment's own texts: find in files, desktops and layouts.
#pragma once

namespace nxs::res {

inline constexpr const char* SSearchForTitle = "Search for '%s'";
inline constexpr const char* SSearchTerminated = "* Search terminated by user *";
inline constexpr const char* SSearchNotFound = "Search string '%s' not found";
inline constexpr const char* SCannotFindPath = "Cannot find the specified path: \"%s\"";
inline constexpr const char* SCannotReadFolder = "Cannot read folder \"%s\": %s";
inline constexpr const char* SLineNotSearched = "line %d is longer than %d MB and was not searched";
inline constexpr const char* SEmptySearchText = "The search text is empty";
inline constexpr const char* SDirectoryGroupCycle =
    "The directory group '%s' refers back to itself; the reference is not followed";
inline constexpr const char* SFindInFilesThread = "Find in Files Thread";

// The places a search is asked to look in that exclude each other.
inline constexpr const char* SProjectAndGroupExclusive = "A project and a group exclude each other";
inline constexpr const char* SDirectoriesAndProjectsExclusive = "Directories and a project or a group exclude each other";

// Desktops.
inline constexpr const char* SDesktopNotSaved = "Cannot save the desktop \"%s\": %s";
inline constexpr const char* SDesktopValueNotStorable =
    "The desktop value \"%s\" of \"%s\" cannot be stored: it holds a line break, or its name would read back "
    "as another";
inline constexpr const char* SDesktopEntriesSkipped =
    "Some entries of the desktop \"%s\" could not be restored and were skipped:\n%s";
inline constexpr const char* SDesktopFileMissing = "%s: the file does not exist";
inline constexpr const char* SDesktopNoHandler = "%s: no desktop handler named \"%s\" is registered";
inline constexpr const char* SDesktopOpenFailed = "%s: %s";
inline constexpr const char* SDesktopNotOpened = "the file could not be opened";
inline constexpr const char* SBreakpointsSection = "Breakpoints";
inline constexpr const char* SDesktopEntryDamaged = "%s: the entry is damaged";

// Layouts and the session.
// (The start-up and default layouts' names are the module layer's, which asks for them.)
inline constexpr const char* SDebugLayout = "Debug Layout";
inline constexpr const char* SClassicUndocked = "Classic Undocked";
inline constexpr const char* SLayoutNotFound = "There is no layout named \"%s\"";
inline constexpr const char* SInvalidLayoutName = "\"%s\" is not a valid layout name";
inline constexpr const char* SSessionSection = "Session";
inline constexpr const char* SSessionProject = "Project";
inline constexpr const char* SSessionDesktopName = "DesktopName";
inline constexpr const char* SSessionStartupDesktop = "StartupDesktopName";
inline constexpr const char* SSessionDefaultDesktop = "DefaultDesktopName";
inline constexpr const char* SSessionRuntimeDesktop = "RuntimeDesktopName";
inline constexpr const char* SSessionFirstRun = "FirstIDERun";

}  // namespace nxs::res
