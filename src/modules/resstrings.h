// The user-visible texts of the modules subsystem, and the settings names it uses.
#pragma once

namespace nxs::res {

// File history and backups.
inline constexpr const char* SBackupDirectory = "__history";
inline constexpr const char* SUnableToCreateBackupFolder = "Unable to create backup folder '%s'";
inline constexpr const char* SUnableToWriteBackup = "Unable to write backup file '%s': %s";
inline constexpr const char* SBackupExtension = "%s~%d~";

// Form files.
inline constexpr const char* SFormExpected = "Line %d: %s expected";
inline constexpr const char* SFormTextAfterEnd = "Line %d: text after the last end";
inline constexpr const char* SFormTooDeep = "Line %d: objects and values nested too deeply";
inline constexpr const char* SFormBadNumber = "Line %d: invalid number";
inline constexpr const char* SFormUnterminatedString = "Line %d: unterminated string";
inline constexpr const char* SFormBadCharCode = "Line %d: invalid character code";
inline constexpr const char* SFormBadBinary = "Line %d: invalid binary data";
inline constexpr const char* SFormNotBinary = "Not a binary form";
inline constexpr const char* SFormDamaged = "The binary form is damaged at offset %d";

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

// Document modules.
inline constexpr const char* SSaveChanges = "Save changes to %s?";
inline constexpr const char* SSaveAs = "Save %s As";
inline constexpr const char* SMustEnterName = "You must enter a name";
inline constexpr const char* SUnableToRename = "Unable to rename '%s' to '%s'";
inline constexpr const char* SChangeExtension =
    "Changing the file extension can have unintended side-effects.  Do you wish to continue?";
inline constexpr const char* SModifiedReload =
    "Module %s's time/date on disk has changed.  In-memory changes to this module have been detected as well.  "
    "Reloading the module from disk will overwrite these changes. Reload?";
inline constexpr const char* SReload = "Module %s's time/date changed. Reload?";
inline constexpr const char* SInvalidIdent = "'%s' is not a valid identifier";
inline constexpr const char* SReservedWord = "'%s' is a reserved word";
inline constexpr const char* SOverwriteFiles = "The following files will be overwritten:%s\nContinue?";
inline constexpr const char* SCombinedFilter = "%s %s File";
inline constexpr const char* SCombinedFilterMasks = " (%s)|%0:s";
inline constexpr const char* SAnyFileFilter = "Any file (*.*)|*.*";
inline constexpr const char* SMakerName = "Orvanti";
inline constexpr const char* SProductName = "NXS";
inline constexpr const char* SStartupLayout = "Startup Layout";
inline constexpr const char* SRetiredProjectExt = ".nxsproj";

// Source modules.
inline constexpr const char* SCreatorMustSupplySource = "Creator must supply a source file";

// Autorecover.
inline constexpr const char* SRecoveryDirectory = "__recovery";
inline constexpr const char* SRecoveryIni = "__recovery.ini";
inline constexpr const char* SRecoverFilesSection = "Recover Files";
inline constexpr const char* SRecoverFilesKey = "Dir%d";
inline constexpr const char* SRecoverySaveTime = "SaveTime";
inline constexpr const char* SRecoveryFileCount = "FileCount";
inline constexpr const char* SRecoveryFileKey = "File%d";
inline constexpr const char* SCouldNotCreateAutoRecoverBackup = "Could not create AutoRecover backup for %s";
inline constexpr const char* SAutoRecoverFolderNotFound = "AutoRecover folder not found: %s";
inline constexpr const char* SDiscardRecoveredFiles = "Discard remaining recovered files?";
inline constexpr const char* SNoRecoveredText = "no recovered text for %s";

}  // namespace nxs::res
