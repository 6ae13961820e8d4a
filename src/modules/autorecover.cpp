#include "modules/autorecover.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <thread>

#include "modules/modulelist.h"
#include "modules/recoverini.h"
#include "modules/resstrings.h"
#include "options/envoptions.h"
#include "options/resstrings.h"
#include "editor/buffers/editbuffer.h"
#include "shared/dialogs.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

// -- The timer ---------------------------------------------------------------------------------

int64_t SteadyClockMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TRecoverTimer::TRecoverTimer(TClock Clock) : FClock(std::move(Clock)) {}

void TRecoverTimer::Restart() { FDue = FClock() + FInterval; }

void TRecoverTimer::SetInterval(int64_t Ms) {
  std::lock_guard G(FLock);
  FInterval = std::max<int64_t>(1, Ms);
  Restart();
}

void TRecoverTimer::SetEnabled(bool Enabled) {
  std::lock_guard G(FLock);
  if (Enabled && !FEnabled) Restart();
  FEnabled = Enabled;
}

int64_t TRecoverTimer::Interval() const {
  std::lock_guard G(FLock);
  return FInterval;
}

bool TRecoverTimer::Enabled() const {
  std::lock_guard G(FLock);
  return FEnabled;
}

int64_t TRecoverTimer::MsToNextTick() const {
  std::lock_guard G(FLock);
  if (!FEnabled) return -1;
  return std::max<int64_t>(0, FDue - FClock());
}

bool TRecoverTimer::Poll() {
  {
    std::lock_guard G(FLock);
    if (!FEnabled || FClock() < FDue) return false;
    Restart();
  }
  if (OnTimer) OnTimer();
  return true;
}

namespace {

class TMainThreadTimerDriver : public ITimerDriver {
 public:
  explicit TMainThreadTimerDriver(TRecoverTimer& Timer) : FTimer(Timer), FThread([this] { Run(); }) {}
  ~TMainThreadTimerDriver() override {
    {
      std::lock_guard G(FLock);
      FStop = true;
    }
    FWake.notify_all();
    FThread.join();
    FShared->Timer = nullptr;
  }
  TMainThreadTimerDriver(const TMainThreadTimerDriver&) = delete;  // its thread points at it
  TMainThreadTimerDriver& operator=(const TMainThreadTimerDriver&) = delete;

 private:
  // What a queued poll finds: the timer while the driver lives (both live on the main
  // thread), and whether a poll is queued already.
  struct TShared {
    explicit TShared(TRecoverTimer* T) : Timer(T) {}
    TRecoverTimer* Timer;
    std::atomic<bool> Queued{false};
  };

  void Run() {
    SetCurrentThreadName("AutoRecover Timer");
    std::unique_lock G(FLock);
    while (!FStop) {
      const int64_t Due = FTimer.MsToNextTick();
      if (Due == 0 && !FShared->Queued.exchange(true))
        Queue([Shared = FShared] {
          Shared->Queued = false;
          if (Shared->Timer) Shared->Timer->Poll();
        });
      // The interval may change meanwhile: look again at least every second.
      const int64_t Sleep = Due < 0 ? 1000 : std::clamp<int64_t>(Due, 1, 1000);
      FWake.wait_for(G, std::chrono::milliseconds(Sleep), [this] { return FStop; });
    }
  }

  TRecoverTimer& FTimer;
  std::shared_ptr<TShared> FShared = std::make_shared<TShared>(&FTimer);
  std::mutex FLock;
  std::condition_variable FWake;
  bool FStop = false;
  std::thread FThread;
};

}  // namespace

std::unique_ptr<ITimerDriver> MakeMainThreadTimerDriver(TRecoverTimer& Timer) {
  return std::make_unique<TMainThreadTimerDriver>(Timer);
}

// -- "Recover Files" and save times --------------------------------------------------------------

std::vector<std::string> ReadRecoverFolders(TSettingsStore& Store) {
  std::vector<std::string> Dirs;
  for (const std::string& Name : Store.ReadValueNames(res::SRecoverFilesSection)) {
    std::string Dir = Store.ReadString(res::SRecoverFilesSection, Name);
    if (!Dir.empty() && std::find(Dirs.begin(), Dirs.end(), Dir) == Dirs.end()) Dirs.push_back(std::move(Dir));
  }
  return Dirs;
}

// The folders are the values, numbered: value names compare without regard to case, and two
// folders whose names differ only in case are two folders here.
void AddRecoverFolder(TSettingsStore& Store, const std::string& Dir) {
  const std::vector<std::string> Names = Store.ReadValueNames(res::SRecoverFilesSection);
  for (const std::string& Name : Names)
    if (Store.ReadString(res::SRecoverFilesSection, Name) == Dir) return;
  for (int I = 0;; ++I) {
    const std::string Key = Format(res::SRecoverFilesKey, I);
    if (!Store.ValueExists(res::SRecoverFilesSection, Key)) {
      Store.WriteString(res::SRecoverFilesSection, Key, Dir);
      return;
    }
  }
}

void RemoveRecoverFolder(TSettingsStore& Store, const std::string& Dir) {
  for (const std::string& Name : Store.ReadValueNames(res::SRecoverFilesSection))
    if (Store.ReadString(res::SRecoverFilesSection, Name) == Dir) Store.DeleteValue(res::SRecoverFilesSection, Name);
}

std::string RecoverSaveTimeText(time_t Time) {
  struct tm T;
  if (!localtime_r(&Time, &T)) return {};
  char Buf[32];
  std::strftime(Buf, sizeof Buf, "%Y-%m-%d %H:%M:%S", &T);
  return Buf;
}

time_t ParseRecoverSaveTime(const std::string& Text) {
  struct tm T = {};
  char Tail = 0;
  if (std::sscanf(Text.c_str(), "%d-%d-%d %d:%d:%d%c", &T.tm_year, &T.tm_mon, &T.tm_mday, &T.tm_hour, &T.tm_min,
                  &T.tm_sec, &Tail) != 6)
    return -1;
  if (T.tm_mon < 1 || T.tm_mon > 12 || T.tm_mday < 1 || T.tm_mday > 31 || T.tm_hour > 23 || T.tm_min > 59 ||
      T.tm_sec > 60 || T.tm_hour < 0 || T.tm_min < 0 || T.tm_sec < 0)
    return -1;
  T.tm_year -= 1900;
  T.tm_mon -= 1;
  T.tm_isdst = -1;
  return mktime(&T);
}

std::string FormatRecoverSaveTime(time_t Time) {
  struct tm T;
  if (Time < 0 || !localtime_r(&Time, &T)) return {};
  char Buf[80];
  std::strftime(Buf, sizeof Buf, "%H:%M %A, %B %d, %Y", &T);
  return Buf;
}

bool IsInRecoveryFolder(const std::string& FileName) {
  return ExtractFileName(ExcludeTrailingPathDelimiter(ExtractFileDir(FileName))) == res::SRecoveryDirectory;
}

// -- The storage ---------------------------------------------------------------------------------

TAutoRecoverStorage::TAutoRecoverStorage(TSettingsStore& Store, std::string FileName)
    : FStore(Store), FFileName(std::move(FileName)), FBackupDir(ExtractFilePath(FFileName) + res::SRecoveryDirectory) {}

std::string TAutoRecoverStorage::IniFileName() const { return FBackupDir + "/" + res::SRecoveryIni; }

void TAutoRecoverStorage::AddFile(const std::string& FileName) {
  if (std::find(FFiles.begin(), FFiles.end(), FileName) == FFiles.end()) FFiles.push_back(FileName);
}

std::string TAutoRecoverStorage::GetRecoveryFileName(const std::string& FileName) const {
  return FBackupDir + "/" + ExtractFileName(FileName);
}

void TAutoRecoverStorage::ForceBackupDir() {
  try {
    if (!FileSystem().DirectoryExists(FBackupDir)) FileSystem().ForceDirectories(FBackupDir);
  } catch (const EInOutError&) {
    throw Exception(Format(res::SCouldNotCreateAutoRecoverBackup, FFileName));
  }
}

// The record as it is on disk now; empty when there is none. A record that cannot be read
// raises: writing over it would drop the other modules' sections.
static TRecoveryIni ReadRecord(const std::string& IniName) {
  if (!FileSystem().FileExists(IniName)) return {};
  return TRecoveryIni::Parse(FileSystem().ReadFile(IniName));
}

void TAutoRecoverStorage::Save(time_t SaveTime) {
  ForceBackupDir();
  const std::string Ini = IniFileName();
  std::vector<std::pair<std::string, std::string>> Values{{res::SRecoverySaveTime, RecoverSaveTimeText(SaveTime)},
                                                          {res::SRecoveryFileCount, IntToStr(static_cast<int64_t>(FFiles.size()))}};
  for (size_t I = 0; I < FFiles.size(); ++I) Values.emplace_back(Format(res::SRecoveryFileKey, static_cast<int>(I)), FFiles[I]);
  FStore.Locked([&] {
    TRecoveryIni Record = ReadRecord(Ini);
    Record.WriteSection(ExtractFileName(FFileName), std::move(Values));
    FileSystem().WriteFile(Ini, Record.Text());
    AddRecoverFolder(FStore, FBackupDir);
  });
}

bool TAutoRecoverStorage::Load() {
  TRecoveryIni Record = ReadRecord(IniFileName());
  const std::string Section = ExtractFileName(FFileName);
  if (!Record.Find(Section)) return false;
  FFiles.clear();
  const int64_t Count = StrToIntDef(Record.Read(Section, res::SRecoveryFileCount, "0"), 0);
  for (int64_t I = 0; I < Count && I < 10000; ++I) {
    const std::string F = Record.Read(Section, Format(res::SRecoveryFileKey, static_cast<int>(I)));
    if (!F.empty()) AddFile(F);
  }
  return true;
}

void TAutoRecoverStorage::DeleteTempFile(const std::string& FileName) {
  const std::string Copy = GetRecoveryFileName(FileName);
  try {
    if (FileSystem().FileExists(Copy)) FileSystem().DeleteFile(Copy);
  } catch (const EInOutError&) {
    // A copy that cannot be removed is harmless once its record is gone.
  }
}

void TAutoRecoverStorage::DeleteTempFiles() {
  for (const std::string& F : FFiles) DeleteTempFile(F);
  DeleteTempFile(FFileName);
}

void TAutoRecoverStorage::Delete() {
  if (!FileSystem().DirectoryExists(FBackupDir)) return;
  const std::string Ini = IniFileName();
  // The record goes before the copies: a record never names a copy that is gone.
  FStore.Locked([&] {
    TRecoveryIni Record = ReadRecord(Ini);
    const bool Had = Record.EraseSection(ExtractFileName(FFileName));
    if (Record.Sections().empty()) {
      RemoveRecoverFolder(FStore, FBackupDir);
      if (FileSystem().FileExists(Ini)) FileSystem().DeleteFile(Ini);
    } else if (Had) {
      FileSystem().WriteFile(Ini, Record.Text());
    }
  });
  DeleteTempFiles();
}

// -- A tracked module ----------------------------------------------------------------------------

TAutoRecoverModule::TAutoRecoverModule(TAutoRecoverIDENotifier& Owner, TDocModule& Module)
    : FOwner(Owner), FModule(Module), FStorage(std::make_unique<TAutoRecoverStorage>(Owner.Store(), Module.GetFileName())) {}

void TAutoRecoverModule::Attach(std::shared_ptr<TAutoRecoverModule> Self) {
  FNotifierIndex = FModule.CodeIModule().AddNotifier(std::move(Self));
}

void TAutoRecoverModule::Detach() {
  if (FNotifierIndex < 0) return;
  if (TCodeIDocModule* C = FModule.CodeIModuleIfAny()) C->RemoveNotifier(FNotifierIndex);
  FNotifierIndex = -1;
}

void TAutoRecoverModule::UpdateMap() {
  FStorage->ClearFiles();
  for (const std::string& F : FModule.ModuleFileNames()) FStorage->AddFile(F);
}

std::string TAutoRecoverModule::GetMappedTempFileName(const std::string& FileName) const {
  return FStorage->GetRecoveryFileName(FileName);
}

void TAutoRecoverModule::DeleteMapKey(const std::string& FileName) { FStorage->DeleteTempFile(FileName); }

// The module tells of a change both ways: a module made unmodified (an undo back to the
// saved text, a reload) has nothing left to recover.
void TAutoRecoverModule::Modified() { SetModified(FModule.GetModified()); }

void TAutoRecoverModule::SetModified(bool Value) {
  FModified = Value;
  if (Value) return;
  try {
    FStorage->Delete();
  } catch (const Exception& E) {
    FOwner.Report(E.Message());
  }
}

void TAutoRecoverModule::AfterSave() { SetModified(false); }

void TAutoRecoverModule::ModuleRenamed(const std::string& NewName) {
  if (NewName == FStorage->FileName()) return;
  auto Renamed = std::make_unique<TAutoRecoverStorage>(FOwner.Store(), NewName);
  std::swap(FStorage, Renamed);
  UpdateMap();
  try {
    Renamed->Delete();
  } catch (const Exception& E) {
    FOwner.Report(E.Message());
  }
}

void TAutoRecoverModule::Destroyed() {
  Detach();
  try {
    FStorage->Delete();
  } catch (const Exception& E) {
    FOwner.Report(E.Message());
  }
  FOwner.Untrack(this);
}

void TAutoRecoverModule::OptionsChanged(bool Enabled) {
  if (Enabled) return;
  try {
    FStorage->Delete();
  } catch (const Exception& E) {
    FOwner.Report(E.Message());
  }
}

void TAutoRecoverModule::SaveTempFiles() {
  if (!FModule.GetEditorBuffer(FModule.GetFileName())) {
    try {
      FStorage->Delete();
    } catch (const Exception& E) {
      FOwner.Report(E.Message());
    }
    return;
  }
  UpdateMap();
  try {
    FStorage->ForceBackupDir();
    // The copies first, then the record that names them: a session killed between the two
    // leaves the previous record, whose copies are still whole.
    for (const std::string& F : FStorage->Files()) {
      TEditBuffer* B = FModule.GetEditorBuffer(F);
      if (!B) continue;
      FileSystem().WriteFile(FStorage->GetRecoveryFileName(F), B->Text());
    }
    FStorage->Save(FOwner.WallClock ? FOwner.WallClock() : time(nullptr));
  } catch (const Exception&) {
    // The user is told which module has no copy; the reason (a folder the user may not
    // write) is the same for every module of the folder, and the next tick tries again.
    FOwner.Report(Format(res::SCouldNotCreateAutoRecoverBackup, FStorage->FileName()));
  }
}

// -- The notifier --------------------------------------------------------------------------------

namespace {

class TFileNotifierLink : public IFileNotifier {
 public:
  explicit TFileNotifierLink(TAutoRecoverIDENotifier& Owner) : FOwner(Owner) {}
  void FileNotification(TFileNotification Operation, const std::string& FileName, bool&) override {
    FOwner.FileNotification(Operation, FileName);
  }

 private:
  TAutoRecoverIDENotifier& FOwner;
};

}  // namespace

TAutoRecoverIDENotifier::TAutoRecoverIDENotifier(TSettingsStore* Store, TRecoverTimer::TClock Clock)
    : FStore(Store), FTimer(std::move(Clock)) {
  FTimer.OnTimer = [this] { TimerExecute(); };
}

TAutoRecoverIDENotifier::~TAutoRecoverIDENotifier() {
  ProductExit();
  UntrackAll(false);
}

TSettingsStore& TAutoRecoverIDENotifier::Store() { return FStore ? *FStore : SettingsStore(); }

void TAutoRecoverIDENotifier::Report(const std::string& Message) {
  if (OnMessage) OnMessage(Message);
  else Questions().ShowMessage(Message);
}

void TAutoRecoverIDENotifier::ProductStarted(TEnvironmentOptions& Options) {
  if (FOptions) return;
  FOptions = &Options;
  ApplyOptions();
  FOptions->OnChange().Add(this, &TAutoRecoverIDENotifier::OptionsChanged);
  FFileNotifier = std::make_shared<TFileNotifierLink>(*this);
  FFileNotifierIndex = AddFileNotifier(FFileNotifier);
  if (FEnabled) TrackOpenModules();
  CheckRecoveredFiles();
}

void TAutoRecoverIDENotifier::ProductExit() {
  FTimerDriver.reset();
  if (!FOptions) return;
  FOptions->OnChange().Remove(this, &TAutoRecoverIDENotifier::OptionsChanged);
  RemoveFileNotifier(FFileNotifierIndex);
  FFileNotifierIndex = -1;
  FFileNotifier.reset();
  FTimer.SetEnabled(false);
  FOptions = nullptr;
}

void TAutoRecoverIDENotifier::ApplyOptions() {
  TOptionSet& Set = FOptions->AutoRecoverOptions();
  FEnabled = Set.GetBool(res::opt::AutoRecoverEnabled);
  FTimer.SetEnabled(false);
  FTimer.SetInterval(Set.GetInt(res::opt::AutoRecoverInterval) * 60 * 1000);
  FTimer.SetEnabled(FEnabled);
}

void TAutoRecoverIDENotifier::OptionsChanged(TEvOptionsChanged& Args) {
  if (!FOptions || (Args.Set && Args.Set != &FOptions->AutoRecoverOptions())) return;
  const bool Was = FEnabled;
  ApplyOptions();
  if (FEnabled && !Was) TrackOpenModules();
  if (!FEnabled && Was) UntrackAll(true);
}

void TAutoRecoverIDENotifier::TrackOpenModules() {
  if (TModuleList* L = ModuleListIfAny())
    for (TDocModule* M : L->Snapshot()) TryTrackModule(M);
}

void TAutoRecoverIDENotifier::UntrackAll(bool DeleteBackups) {
  // Last to first, as they were registered.
  while (!FModules.empty()) {
    std::shared_ptr<TAutoRecoverModule> M = FModules.back().lock();
    FModules.pop_back();
    if (!M) continue;
    if (DeleteBackups) M->OptionsChanged(false);
    M->Detach();
  }
}

void TAutoRecoverIDENotifier::FileNotification(TFileNotification Operation, const std::string& FileName) {
  if (Operation != TFileNotification::fnFileOpened || !FEnabled) return;
  TryTrackModule(FindDocModule(FileName));
}

void TAutoRecoverIDENotifier::TryTrackModule(TDocModule* Module) {
  if (!Module || ModuleIsTracked(Module)) return;
  if (IsInRecoveryFolder(Module->GetFileName())) return;
  if (Module->GetEditorBufferCount() == 0) return;
  auto Made = std::make_shared<TAutoRecoverModule>(*this, *Module);
  Made->Attach(Made);
  FModules.push_back(Made);
  Made->UpdateMap();
  // A module that is modified already (autorecover switched on in the middle of the work)
  // has text to keep from the first tick on.
  if (Module->GetModified()) Made->SetModified(true);
}

TAutoRecoverModule* TAutoRecoverIDENotifier::ModuleForModule(const TDocModule* Module) const {
  for (const auto& M : Tracked())
    if (&M->Module() == Module) return M.get();
  return nullptr;
}

void TAutoRecoverIDENotifier::Untrack(TAutoRecoverModule* Module) {
  std::erase_if(FModules, [&](const std::weak_ptr<TAutoRecoverModule>& W) {
    const std::shared_ptr<TAutoRecoverModule> M = W.lock();
    return !M || M.get() == Module;
  });
}

std::vector<std::shared_ptr<TAutoRecoverModule>> TAutoRecoverIDENotifier::Tracked() const {
  std::vector<std::shared_ptr<TAutoRecoverModule>> Live;
  for (const auto& W : FModules)
    if (auto M = W.lock()) Live.push_back(std::move(M));
  return Live;
}

int TAutoRecoverIDENotifier::TimerExecute() {
  int Written = 0;
  // A copy: a module may go while another is written (a question on the way).
  const std::vector<std::shared_ptr<TAutoRecoverModule>> Modules = Tracked();
  for (const auto& M : Modules) {
    if (!M->IsModified() || !ModuleForModule(&M->Module())) continue;
    M->SaveTempFiles();
    ++Written;
  }
  return Written;
}

bool TAutoRecoverIDENotifier::CheckRecoveredFiles() {
  if (ReadRecoverFolders(Store()).empty()) return false;
  if (OnRecoveredFiles) OnRecoveredFiles();
  return true;
}

// -- The process's notifier ----------------------------------------------------------------------

static std::unique_ptr<TAutoRecoverIDENotifier>& ProcessNotifier() {
  static std::unique_ptr<TAutoRecoverIDENotifier> N;
  return N;
}

TAutoRecoverIDENotifier* AutoRecover() { return ProcessNotifier().get(); }

void AutoRecoverRegister(TRecoverTimer::TClock Clock) {
  if (!ProcessNotifier()) ProcessNotifier() = std::make_unique<TAutoRecoverIDENotifier>(nullptr, std::move(Clock));
}

void AutoRecoverUnregister() {
  // The timer's driver stops before the notifier leaves: its thread looks the notifier up.
  if (ProcessNotifier()) ProcessNotifier()->ProductExit();
  ProcessNotifier().reset();
}

}  // namespace nxs
