// Backups of saved files: the name under which the current file is kept before it is
// overwritten, either one "~" copy beside it or numbered copies in a "__history" folder
// beside it, of which at most FileBackupLevel are kept.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/exceptions.h"

namespace nxs {

class TEnvironmentOptions;
class TEvOptionsChanged;

// Given the existing backups (lowest number first) when the limit is reached; it decides
// which to remove, instead of the oldest being deleted.
using TDeleteOldBackupFileEvent = std::function<void(const std::vector<std::string>& Backups)>;

struct TFileHistorySettings {
  int FileBackupLevel = 10;  // the most numbered backups kept per file
  bool CreateBackup = true;  // numbered backups in the history folder; else one "~" copy
  TDeleteOldBackupFileEvent DeleteOldBackupFile;
};

// The process's settings; FollowEnvironmentOptions keeps them in step with the options.
TFileHistorySettings& FileHistorySettings();

// Keeps FileHistorySettings() equal to the options "File Backup Level" and "Create Backup
// File" from now on, until it is destroyed.
class TFileHistoryOptionsLink {
 public:
  explicit TFileHistoryOptionsLink(TEnvironmentOptions& Options);
  ~TFileHistoryOptionsLink();
  TFileHistoryOptionsLink(const TFileHistoryOptionsLink&) = delete;  // subscribed by address
  TFileHistoryOptionsLink& operator=(const TFileHistoryOptionsLink&) = delete;

 private:
  void Changed(TEvOptionsChanged& Args);
  TEnvironmentOptions& FOptions;
};

// The name under which FileName's current contents should be kept. With AllowHistory clear
// or CreateBackup off: the same folder, "~" after the extension's dot ("a.txt" ->
// "a.~txt", "a" -> "a.~"). Otherwise the history folder is made when missing (raising
// Exception naming it when it cannot be) and the name carries the next number
// ("dir/__history/u.txt.~4~"). Nothing is removed here.
std::string MakeBackupFileName(const std::string& FileName, bool AllowHistory);
// Once NewBackup exists: when the file's other numbered backups have reached the limit,
// removes the oldest (or hands them to DeleteOldBackupFile). Removing before the new
// backup is written would cost a backup whenever writing it fails.
void RemoveOldBackups(const std::string& FileName, const std::string& NewBackup);

// The backups of a file, given as its name inside the history folder, lowest number first.
std::vector<std::string> GetBackupFiles(const std::string& HistoryFileName);
// The number of a backup name: the run of digits before its last "~" (non-digits between
// skipped), looked for only inside the name's last "~...~" part; 0 when there is none.
int GetBackupNumber(std::string_view BackupName);
// The tail of a backup name after its number ("u.txt.~4~" -> "~").
std::string GetBackupIdent(std::string_view BackupName);

// What saving does to the file already on disk: keeps a copy under MakeBackupFileName's name,
// then removes the oldest backup beyond the limit, and returns the new name; empty when
// there is no file yet. The file itself is never touched: a backup that cannot be written
// raises Exception naming it, and every older backup is still there.
std::string BackupExistingFile(const std::string& FileName, bool AllowHistory = true);
// Keeps the backup, then replaces the file's contents atomically.
void WriteFileWithBackup(const std::string& FileName, std::string_view Data, bool AllowHistory = true);

}  // namespace nxs
