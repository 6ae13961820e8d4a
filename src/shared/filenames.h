// File-name helpers. Both "\" and "/" separate directories in names the system is given;
// names on disk use "/". File names compare through SameFileName, exactly as this platform's
// file systems do: "README.md" and "Readme.md" are two files.
#pragma once

#include <string>
#include <string_view>

namespace nxs {

inline bool IsPathDelimiter(char C) { return C == '/' || C == '\\'; }

// The one file-name comparison of the system: separators are equal, case counts.
bool SameFileName(std::string_view A, std::string_view B);
// A hash under which names that SameFileName takes for one file are equal.
size_t FileNameHash(std::string_view Name);
int CompareFileNames(std::string_view A, std::string_view B);

// "dir/name.ext" -> "name.ext"
std::string ExtractFileName(std::string_view Name);
// "dir/name.ext" -> "dir/" (with the trailing separator, as the name had it)
std::string ExtractFilePath(std::string_view Name);
// "dir/name.ext" -> "dir" (no trailing separator; "/" stays for the root)
std::string ExtractFileDir(std::string_view Name);
// "dir/name.ext" -> ".ext"; empty when the name has no extension
std::string ExtractFileExt(std::string_view Name);
// Replaces the extension (Ext includes its dot, or is empty to drop it).
std::string ChangeFileExt(std::string_view Name, std::string_view Ext);
std::string IncludeTrailingPathDelimiter(std::string_view Dir);
std::string ExcludeTrailingPathDelimiter(std::string_view Dir);
bool IsAbsolutePath(std::string_view Name);
// Makes Name absolute against Dir (the current directory when Dir is empty), folds "." and
// "..", and returns it with "/" separators.
std::string ExpandFileName(std::string_view Name, std::string_view Dir = {});
// Name relative to BaseDir when it lies below it or beside it, else Name unchanged; uses "/".
std::string ExtractRelativePath(std::string_view BaseDir, std::string_view Name);
// Separators as the disk wants them ("/").
std::string ToDiskPath(std::string_view Name);
// Separators in the form project files keep ("\").
std::string ToProjectPath(std::string_view Name);

}  // namespace nxs
