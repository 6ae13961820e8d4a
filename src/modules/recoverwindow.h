// The recovery window's model: the modules whose copies a session left behind, found through
// "Recover Files" and each folder's "__recovery.ini", to be recovered into editors or
// discarded.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "modules/autorecover.h"

namespace nxs {

class TDocModule;
class TSettingsStore;

struct TRecoveredFileInfo {
  std::string BackupFileName;  // the copy of the module's own file
  std::string FileName;        // the file it is a copy of
  time_t SaveTime = -1;        // -1 when the record holds no readable time
  std::unique_ptr<TAutoRecoverStorage> Storage;  // the module's record, its file list loaded

  // The window's line: the save time as the window shows it.
  std::string SaveTimeText() const { return FormatRecoverSaveTime(SaveTime); }
};

class TAutoRecoverWindow {
 public:
  // Store: where "Recover Files" is; Notifier, when autorecover runs, takes over a recovered
  // module at once. Messages (a folder that is gone) go to OnMessage, else to the questions
  // seam.
  explicit TAutoRecoverWindow(TSettingsStore& Store, TAutoRecoverIDENotifier* Notifier = nullptr);
  TAutoRecoverWindow(const TAutoRecoverWindow&) = delete;  // the entries own their records
  TAutoRecoverWindow& operator=(const TAutoRecoverWindow&) = delete;

  // Reads every folder of "Recover Files"; a folder that no longer exists is reported with
  // "AutoRecover folder not found: %s".
  void LoadRecoveredFiles();
  void RecoverDir(const std::string& Dir);
  // Puts the copies into the module's editors (the open module of the file, else the file
  // opened; a file that is gone is opened under its own name, empty, to be saved again) and
  // marks the module modified; then the copies go and the entry leaves the list. With
  // KeepBackups the copies and the entry stay, for a caller that saves the module and then
  // calls Discard: nothing is lost when that save fails. Returns the module.
  TDocModule* RecoverModule(TRecoveredFileInfo& Info, bool KeepBackups = false);
  // Removes the entry's copies and record, and the entry.
  void Discard(TRecoveredFileInfo& Info);
  // Closing the window while entries remain asks "Discard remaining recovered files?"; Yes
  // discards them all, No keeps them for the next session. True when they were discarded.
  bool Close();
  void ClearRecoveredFiles() { FItems.clear(); }
  bool HasRecoveryFiles() const { return !FItems.empty(); }

  const std::vector<std::unique_ptr<TRecoveredFileInfo>>& Items() const { return FItems; }
  // The entry of a file (its name or its copy's name), or nullptr.
  TRecoveredFileInfo* Find(const std::string& FileName) const;
  // The same; raises Exception "no recovered text for %s" when there is none.
  TRecoveredFileInfo& Get(const std::string& FileName) const;

  // A copy's name to the name of the file it copies: the copy's folder, "..", the name.
  static std::string BackupFileToRealFile(const std::string& BackupFileName);

  std::function<void(const std::string& Message)> OnMessage;

 private:
  void Remove(TRecoveredFileInfo& Info);

  TSettingsStore& FStore;
  TAutoRecoverIDENotifier* FNotifier;
  std::vector<std::unique_ptr<TRecoveredFileInfo>> FItems;
};

}  // namespace nxs
