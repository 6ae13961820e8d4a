// Autorecover: copies of the unsaved text of modified modules, written at an interval into a
// "__recovery" folder beside each module's file and recorded in "__recovery.ini" there and in
// the settings section "Recover Files", so that a session that died can be picked up again
// (see recoverwindow.h). Saving, closing or renaming a module removes its copies.
//
// Every record change (the folder's "__recovery.ini" and "Recover Files" together) is made
// under the settings store's lock, which every process shares: two sessions editing files of
// one folder keep each other's sections. A copy is written before its record names it, so a
// session killed at any moment leaves a record whose copies are there.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "modules/docmodule.h"

namespace nxs {

class TEnvironmentOptions;
class TEvOptionsChanged;
class TSettingsStore;
class TAutoRecoverIDENotifier;

// A timer driven by a clock that is handed in: the host polls it on its main thread with a
// real clock, tests with one they move by hand. Changing the interval or switching it on
// starts the count again, as a window timer does.
class TRecoverTimer {
 public:
  // Milliseconds on a clock that never goes back.
  using TClock = std::function<int64_t()>;

  explicit TRecoverTimer(TClock Clock);
  TRecoverTimer(const TRecoverTimer&) = delete;  // the host's thread watches it by address
  TRecoverTimer& operator=(const TRecoverTimer&) = delete;

  void SetInterval(int64_t Ms);
  void SetEnabled(bool Enabled);
  int64_t Interval() const;
  bool Enabled() const;
  // How long until the timer is due; -1 while it is off. Any thread may ask.
  int64_t MsToNextTick() const;
  // Runs OnTimer when the timer is due, and counts the next interval from now. Main thread.
  bool Poll();

  std::function<void()> OnTimer;

 private:
  void Restart();

  TClock FClock;
  mutable std::mutex FLock;
  int64_t FInterval = 0;
  int64_t FDue = 0;
  bool FEnabled = false;
};

// Runs a timer's polls while it lives; stops when destroyed.
class ITimerDriver {
 public:
  virtual ~ITimerDriver() = default;
};

// Runs Timer through the main-thread queue: a thread sleeps until the timer is due and hands
// the poll to the main thread, which runs it the next time it looks at its queue. The timer
// must outlive the driver; a poll still queued when the driver goes does nothing.
std::unique_ptr<ITimerDriver> MakeMainThreadTimerDriver(TRecoverTimer& Timer);

// The steady clock, in milliseconds: what the host's timer runs on.
int64_t SteadyClockMs();

// The record of one module's copies: the module's file name, its recovery folder and the
// files that make up the module.
class TAutoRecoverStorage {
 public:
  TAutoRecoverStorage(TSettingsStore& Store, std::string FileName);
  TAutoRecoverStorage(const TAutoRecoverStorage&) = delete;  // one record, one owner
  TAutoRecoverStorage& operator=(const TAutoRecoverStorage&) = delete;

  const std::string& FileName() const { return FFileName; }
  // The folder of the file with "__recovery" added, without a trailing delimiter.
  const std::string& BackupDir() const { return FBackupDir; }
  std::string IniFileName() const;
  const std::vector<std::string>& Files() const { return FFiles; }
  void AddFile(const std::string& FileName);
  void ClearFiles() { FFiles.clear(); }

  // The copy of one of the module's files: the recovery folder and the file's name.
  std::string GetRecoveryFileName(const std::string& FileName) const;
  // Makes the recovery folder when it is missing; raises Exception with the autorecover
  // message when it cannot be made.
  void ForceBackupDir();
  // Records the module's section (SaveTime, FileCount, File%d) and the folder in "Recover
  // Files". Raises Exception when either cannot be written; nothing is half written.
  void Save(time_t SaveTime);
  // Reads the file list of the module's section; false when the record has none.
  bool Load();
  // Removes the module's copies and its section; with the last section the record and the
  // folder's entry in "Recover Files" go too. The folder itself stays. Nothing happens when
  // the folder does not exist.
  void Delete();
  void DeleteTempFile(const std::string& FileName);
  void DeleteTempFiles();

 private:
  TSettingsStore& FStore;
  std::string FFileName;
  std::string FBackupDir;
  std::vector<std::string> FFiles;
};

// "Recover Files": the recovery folders that hold copies, in the order they were added.
std::vector<std::string> ReadRecoverFolders(TSettingsStore& Store);
// Both change the store; call them under its lock.
void AddRecoverFolder(TSettingsStore& Store, const std::string& Dir);
void RemoveRecoverFolder(TSettingsStore& Store, const std::string& Dir);
// "2026-12-08 11:42:07" in local time, and back; -1 for text that is no such time.
std::string RecoverSaveTimeText(time_t Time);
time_t ParseRecoverSaveTime(const std::string& Text);
// The recovery window's form of a save time: the short time, then the long date.
std::string FormatRecoverSaveTime(time_t Time);
// True when FileName lies in a recovery folder: copies opened to look at are not copied again.
bool IsInRecoveryFolder(const std::string& FileName);

// One tracked module: told of the module's changes as its notifier, it keeps the module's
// modified flag and its storage.
class TAutoRecoverModule : public IModuleNotifier {
 public:
  TAutoRecoverModule(TAutoRecoverIDENotifier& Owner, TDocModule& Module);
  TAutoRecoverModule(const TAutoRecoverModule&) = delete;  // registered with its module
  TAutoRecoverModule& operator=(const TAutoRecoverModule&) = delete;

  TDocModule& Module() const { return FModule; }
  bool IsModified() const { return FModified; }
  TAutoRecoverStorage& Storage() const { return *FStorage; }

  // -- IModuleNotifier
  void Modified() override;
  void AfterSave() override;
  void ModuleRenamed(const std::string& NewName) override;
  void Destroyed() override;

  // Writes the copies and the record now; reports a failure and raises nothing.
  void SaveTempFiles();
  // Cleared, the copies go.
  void SetModified(bool Value);
  // Fills the storage's file list from the module's files.
  void UpdateMap();
  std::string GetMappedTempFileName(const std::string& FileName) const;
  void DeleteMapKey(const std::string& FileName);
  // The options changed: switched off, the copies go.
  void OptionsChanged(bool Enabled);

  // Registers with the module, or takes the registration back (without touching the copies).
  void Attach(std::shared_ptr<TAutoRecoverModule> Self);
  void Detach();

 private:
  TAutoRecoverIDENotifier& FOwner;
  TDocModule& FModule;
  std::unique_ptr<TAutoRecoverStorage> FStorage;
  int FNotifierIndex = -1;
  bool FModified = false;
};

// The one autorecover notifier of the process: the timer, the tracked modules, and the
// tracking of every module that opens while autorecover is on.
class TAutoRecoverIDENotifier {
 public:
  // Store: the settings the records are kept in; nullptr for the process's, as it is at
  // each use.
  TAutoRecoverIDENotifier(TSettingsStore* Store, TRecoverTimer::TClock Clock);
  ~TAutoRecoverIDENotifier();
  TAutoRecoverIDENotifier(const TAutoRecoverIDENotifier&) = delete;  // modules point back at it
  TAutoRecoverIDENotifier& operator=(const TAutoRecoverIDENotifier&) = delete;

  // The session begins (the main window is shown): the options set the timer and are
  // followed from now on, the modules open now are tracked and those that open later will
  // be, and the recovered files are checked.
  void ProductStarted(TEnvironmentOptions& Options);
  // The session ends: no more tracking, no more following the options. Tracked modules
  // keep their copies.
  void ProductExit();
  bool Started() const { return FOptions != nullptr; }

  void FileNotification(TFileNotification Operation, const std::string& FileName);
  void OptionsChanged(TEvOptionsChanged& Args);
  // The timer's work: the copies of every tracked module that was changed since its save.
  // Returns how many modules were written.
  int TimerExecute();
  // Tracks the module unless it is tracked already, lies in a recovery folder or keeps no
  // text in edit buffers.
  void TryTrackModule(TDocModule* Module);
  TAutoRecoverModule* ModuleForModule(const TDocModule* Module) const;
  bool ModuleIsTracked(const TDocModule* Module) const { return ModuleForModule(Module) != nullptr; }
  // True when "Recover Files" names folders; then the host is told (OnRecoveredFiles).
  bool CheckRecoveredFiles();

  bool Enabled() const { return FEnabled; }
  TRecoverTimer& Timer() { return FTimer; }
  // What runs the timer on a real clock (the host's): owned from now until the session
  // ends, and stopped first then, before anything it could reach goes.
  void SetTimerDriver(std::unique_ptr<ITimerDriver> Driver) { FTimerDriver = std::move(Driver); }
  TSettingsStore& Store();
  int TrackedCount() const { return static_cast<int>(Tracked().size()); }

  // What a tick could not write goes here; the default shows it through the questions seam.
  std::function<void(const std::string& Message)> OnMessage;
  // The host shows the recovery window when a session starts with copies waiting.
  std::function<void()> OnRecoveredFiles;
  // The wall clock that stamps a record's save time.
  std::function<time_t()> WallClock;

  // For the tracked modules.
  void Report(const std::string& Message);
  void Untrack(TAutoRecoverModule* Module);

 private:
  void ApplyOptions();
  void TrackOpenModules();
  void UntrackAll(bool DeleteBackups);

  TSettingsStore* FStore;
  TRecoverTimer FTimer;
  std::unique_ptr<ITimerDriver> FTimerDriver;
  TEnvironmentOptions* FOptions = nullptr;
  std::shared_ptr<IFileNotifier> FFileNotifier;
  int FFileNotifierIndex = -1;
  bool FEnabled = false;
  // The tracked modules, last tracked last. Each is owned by its module's notifier list: a
  // module freed without its destruction notice (the module list at the end of the process)
  // takes its tracker with it, and the entry here expires.
  std::vector<std::shared_ptr<TAutoRecoverModule>> Tracked() const;
  std::vector<std::weak_ptr<TAutoRecoverModule>> FModules;
};

// The process's notifier, made by AutoRecoverRegister at start-up and freed by
// AutoRecoverUnregister at shutdown; nullptr outside that time.
TAutoRecoverIDENotifier* AutoRecover();
void AutoRecoverRegister(TRecoverTimer::TClock Clock = &SteadyClockMs);
void AutoRecoverUnregister();

}  // namespace nxs
