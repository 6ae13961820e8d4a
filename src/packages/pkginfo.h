// Reading the package information (shared/pkgformat.h) from a package library's section,
// without loading the library, so that inspecting a package runs none of its code.
#pragma once

#include <string>
#include <string_view>

#include "packages/elfread.h"
#include "shared/pkgformat.h"

namespace nxs {

// Reads the section's text; FileName names the package in messages. Raises EElfError.
TPackageInfoRecord DecodePackageInfo(std::string_view Text, const std::string& FileName);

// Reads the information of the package library FileName from its section. Raises EElfError
// for a file that is no library or holds no information.
TPackageInfoRecord ReadPackageInfo(TElfFile& File, const std::string& FileName);
TPackageInfoRecord ReadPackageInfo(const std::string& FileName);

}  // namespace nxs
