// The environment's own texts: find in files.
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

}  // namespace nxs::res
