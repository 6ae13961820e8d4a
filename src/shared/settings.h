// The settings store: an INI-style file that stands for the environment's registry key
// "Software\Orvanti\NXS\20.0". Sections are key paths ("Editor\Options"); values are typed
// (string, integer, Boolean); section and value names compare without regard to case.
//
// Every change is journalled and written at once (or at the end of a BeginUpdate/EndUpdate
// batch): under a file lock the file is read again, the journal is replayed onto it and the
// result replaces the file atomically, so two processes that save at once keep each other's
// changes. A damaged file is copied aside and reported once; what could be read is kept.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

class TSettingsStore {
 public:
  enum class TValueType { String, Integer, Boolean };

  // Opens (does not create) the store in FileName; the file is made on the first write.
  explicit TSettingsStore(std::string FileName);
  ~TSettingsStore();
  TSettingsStore(const TSettingsStore&) = delete;  // owns the journal and the lock
  TSettingsStore& operator=(const TSettingsStore&) = delete;

  // $NXS_SETTINGS_DIR, else $XDG_CONFIG_HOME/Orvanti/NXS/20.0, else ~/.config/Orvanti/NXS/20.0.
  static std::string DefaultDirectory();
  static std::string DefaultFileName();
  const std::string& FileName() const { return FFileName; }

  // A missing value, or one of another type, reads as Default.
  std::string ReadString(std::string_view Section, std::string_view Name, std::string_view Default = {});
  int64_t ReadInteger(std::string_view Section, std::string_view Name, int64_t Default);
  bool ReadBool(std::string_view Section, std::string_view Name, bool Default);
  bool ValueExists(std::string_view Section, std::string_view Name);
  // The type of a stored value; false when there is none.
  bool GetValueType(std::string_view Section, std::string_view Name, TValueType& Type);

  void WriteString(std::string_view Section, std::string_view Name, std::string_view Value);
  void WriteInteger(std::string_view Section, std::string_view Name, int64_t Value);
  void WriteBool(std::string_view Section, std::string_view Name, bool Value);
  void DeleteValue(std::string_view Section, std::string_view Name);
  // Erases the section and every section below it.
  void EraseSection(std::string_view Section);

  // A section exists when it holds a value or a section below it does.
  bool SectionExists(std::string_view Section);
  // Names of the keys directly below KeyPath (the top level for an empty path), in file order.
  std::vector<std::string> ReadSubKeys(std::string_view KeyPath);
  std::vector<std::string> ReadValueNames(std::string_view Section);

  // Batches writes into one save; nests.
  void BeginUpdate();
  void EndUpdate();
  // While a hold is on, reads look at the file once rather than once each: a start-up that
  // reads hundreds of values reads them all from the file as it stood at the first of them.
  // Writes, Locked and Flush look at the file as ever. Nests.
  void HoldReads();
  void ReleaseReads();
  // Saves pending changes now. Raises Exception when the file cannot be written; the
  // changes stay pending and are tried again at the next save.
  void Flush();

  // Runs Fn holding the file lock, on the file as it is now, and saves what Fn changed
  // before the lock goes (also inside a batch). A check Fn makes against stored values (a
  // list's entries, the extensions other groups hold) thus stays true until its change is
  // stored, and a list that another process changed meanwhile keeps that change. Nests.
  // When Fn raises, what it changed is dropped. Raises Exception as Flush does.
  void Locked(const std::function<void()>& Fn);

  // Why the file could not be read, empty when it could (or does not exist). While it
  // cannot be read, values read as their defaults and every save fails with Exception,
  // so that what could not be read is never replaced.
  std::string ReadError();

  // Called once per damaged file with the message to show; the default writes to stderr.
  void SetDamageReporter(std::function<void(const std::string&)> Reporter);

 public:
  struct TImpl;  // the file's contents and the journal, kept out of this header

 private:

  std::string FFileName;
  std::unique_ptr<TImpl> FImpl;
  std::recursive_mutex FLock;
};

// The process's store, made on first use in DefaultFileName().
TSettingsStore& SettingsStore();
// Drops the process's store (tests, and after NXS_SETTINGS_DIR changed).
void ResetSettingsStore();

// RAII hold of the reads (TSettingsStore::HoldReads).
class TSettingsReadHold {
 public:
  explicit TSettingsReadHold(TSettingsStore& Store) : FStore(Store) { FStore.HoldReads(); }
  ~TSettingsReadHold() { FStore.ReleaseReads(); }
  TSettingsReadHold(const TSettingsReadHold&) = delete;
  TSettingsReadHold& operator=(const TSettingsReadHold&) = delete;

 private:
  TSettingsStore& FStore;
};

// RAII batch.
class TSettingsUpdate {
 public:
  explicit TSettingsUpdate(TSettingsStore& Store);
  // A failed save raises unless an exception is already on its way out.
  ~TSettingsUpdate() noexcept(false);
  TSettingsUpdate(const TSettingsUpdate&) = delete;  // one batch, one end
  TSettingsUpdate& operator=(const TSettingsUpdate&) = delete;

 private:
  TSettingsStore& FStore;
  int FExceptions;
};

}  // namespace nxs
