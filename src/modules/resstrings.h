// The user-visible texts of the modules subsystem, and the settings names it uses.
#pragma once

namespace nxs::res {

// File history and backups.
inline constexpr const char* SBackupDirectory = "__history";
inline constexpr const char* SUnableToCreateBackupFolder = "Unable to create backup folder '%s'";
inline constexpr const char* SUnableToWriteBackup = "Unable to write backup file '%s': %s";
inline constexpr const char* SBackupExtension = "%s~%d~";

// Closed files and favourites.
inline constexpr const char* SClosedFilesSection = "Closed Files";
inline constexpr const char* SClosedProjectsSection = "Closed Projects";
inline constexpr const char* SMaxClosedFiles = "Max Closed Files";
inline constexpr const char* SClosedFileKey = "File_%d";
inline constexpr const char* SClosedFileValue = "%s,%s,%d";
inline constexpr const char* SSourceClosedFileValue = "%s,%d,%d,%d,%d,%d,%d,%s,%s";
inline constexpr const char* SFavoritesSection = "Favorites";
inline constexpr const char* SNotAFavorite = "%s is not one of the favourite files";
inline constexpr const char* SSourceModuleHandler = "TSourceModule";
inline constexpr const char* SDefaultLayout = "Default Layout";
inline constexpr const char* SReopenCaption = "&%s %s";

}  // namespace nxs::res
