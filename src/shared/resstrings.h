// The user-visible texts of the shared layer.
#pragma once

namespace nxs::res {

inline constexpr const char* SInvalidFormat = "Format '%s' invalid or incompatible with argument";
inline constexpr const char* SArgumentMissing = "No argument for format '%s'";
inline constexpr const char* SCannotReadFile = "Cannot read file \"%s\": %s";
inline constexpr const char* SCannotWriteFile = "Cannot write file \"%s\": %s";
inline constexpr const char* SFileReadOnly = "Cannot write file \"%s\": the file is read-only";
inline constexpr const char* SCannotCreateDir = "Cannot create directory \"%s\": %s";
inline constexpr const char* SCannotRenameFile = "Cannot rename \"%s\" to \"%s\": %s";
inline constexpr const char* SCannotDeleteFile = "Cannot delete file \"%s\": %s";
inline constexpr const char* SSettingsDamaged =
    "The settings file \"%s\" is damaged; a copy was kept as \"%s\" and defaults are used where it could not be read.";
inline constexpr const char* SSettingsUnreadable =
    "The settings file \"%s\" cannot be read, so nothing is saved to it: %s";
inline constexpr const char* SCannotLockFile = "Cannot lock file \"%s\": %s";
inline constexpr const char* SNumberFrom = "%s takes a number from %d";
inline constexpr const char* SNumberFromTo = "%s takes a number from %d to %d";
inline constexpr const char* SInvalidGuid = "'%s' is not a valid GUID value";

}  // namespace nxs::res
