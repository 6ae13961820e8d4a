// The directories of a directory search: typed lists and folder groups unwound, macros
// expanded, each checked before the search starts.
#pragma once

#include <string>
#include <vector>

#include "shared/exceptions.h"

namespace nxs {

// The directories of a directory search, unwound, expanded, each with a trailing "/", the
// current directory when none is given; a file named where a directory is expected stays a
// file (no trailing "/"), searched whatever the masks. Raises Exception for a path that does
// not exist, EInOutError with the system's text for a directory that cannot be read. List,
// when not empty, takes the place of Directories (see TFindRequest::DirectoryList).
std::vector<std::string> PrepareSearchDirectories(const std::string& Directories,
                                                  const std::vector<std::string>& List = {});

// Whether Path is a directory, links followed.
bool IsDirectory(const std::string& Path);

}  // namespace nxs
