// Document modules: one file (or file family) open in the environment. TDocModule is the base
// of every kind of open document, with the save, save-as, rename, reload and close rules and
// their questions; TCodeIDocModule is its plug-in face, fanning calls out to module notifiers
// and module handlers and combining their answers.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modules/closedfiles.h"
#include "shared/event.h"
#include "shared/exceptions.h"

namespace nxs {

class TDocModule;
class TEditBuffer;
class TClosedFile;

// Bad input to a module operation ("You must enter a name", ...).
class EModuleError : public Exception {
 public:
  using Exception::Exception;
};

// The module layer's silent abort: the operation stops and nothing is shown.
class EModuleAbort : public EAbort {};
[[noreturn]] void ModuleAbort();

enum TModuleAttribute : uint8_t { maAutoOverwriteCheck = 1 << 0, maIgnorePath = 1 << 1 };
enum TModuleState : uint8_t { msContainerLookedUp = 1 << 0 };
enum class TWalkAction { waFree, waGoDormant };

// The operations of EvFileNotification and of the plug-ins' file notifications.
enum class TFileNotification : int {
  fnFileOpening = 0,
  fnFileOpened = 1,
  fnFileClosing = 2,
};

// -- Plug-in interfaces ----------------------------------------------------------------------

// Told of one module's lifecycle steps. Every method has an empty default.
class IModuleNotifier {
 public:
  virtual ~IModuleNotifier() = default;
  virtual void BeforeSave() {}
  virtual void AfterSave() {}
  virtual void Modified() {}
  virtual void ModuleRenamed(const std::string& /*NewName*/) {}
  virtual void BeforeRename(const std::string& /*OldFileName*/, const std::string& /*NewFileName*/) {}
  virtual void AfterRename(const std::string& /*OldFileName*/, const std::string& /*NewFileName*/) {}
  virtual void RenameFiles(const std::string& /*OldFileName*/, const std::string& /*NewFileName*/) {}
  virtual void Destroyed() {}
  virtual void LoadDesktopData(const std::string& /*Desktop*/) {}
  virtual void SaveDesktopData(const std::string& /*Desktop*/) {}
};

// A module handler answers questions about one module. An empty answer means the handler
// has no say in the matter. Handlers that are also on the notifier list get the notifier
// calls too.
class IModuleHandler : public IModuleNotifier {
 public:
  virtual std::optional<bool> AllowSave() { return std::nullopt; }
  // True: the handler saw the file change on disk.
  virtual std::optional<bool> CheckFileDate() { return std::nullopt; }
  virtual std::optional<bool> CanReloadFile() { return std::nullopt; }
  virtual std::optional<bool> CheckOverwrite() { return std::nullopt; }
  virtual void GetOverwriteFiles(const std::string& /*FileName*/, std::vector<std::string>& /*Files*/) {}
  // Reloading goes through the handlers: each may reload what it keeps of the file.
  virtual void ReloadFile() {}
};

// The environment's file notifications to plug-ins: a file is about to open, has opened, is
// closing. Setting Cancel vetoes opening or closing.
class IFileNotifier {
 public:
  virtual ~IFileNotifier() = default;
  virtual void FileNotification(TFileNotification Operation, const std::string& FileName, bool& Cancel) = 0;
};
int AddFileNotifier(std::shared_ptr<IFileNotifier> Notifier);
void RemoveFileNotifier(int Index);
// Sends the notification to every plug-in; false when one vetoed it.
bool SendFileNotification(TFileNotification Operation, const std::string& FileName);

// -- The plug-in face of one module ------------------------------------------------------------

class TCodeIDocModule {
 public:
  explicit TCodeIDocModule(TDocModule& Module) : FModule(Module) {}
  TCodeIDocModule(const TCodeIDocModule&) = delete;  // bound to its module
  TCodeIDocModule& operator=(const TCodeIDocModule&) = delete;

  int AddNotifier(std::shared_ptr<IModuleNotifier> Notifier);
  void RemoveNotifier(int Index);

  // A new handler starts off the notifier calls; adding one twice keeps one entry.
  void AddModuleHandler(std::shared_ptr<IModuleHandler> Handler);
  void RemoveModuleHandler(const std::shared_ptr<IModuleHandler>& Handler);
  void ModuleHandlerAlsoOnNotifyList(const std::shared_ptr<IModuleHandler>& Handler);
  void ModuleHandlerNoLongerOnNotifyList(const std::shared_ptr<IModuleHandler>& Handler);
  int ModuleHandlerCount() const { return static_cast<int>(FModuleHandlers.size()); }

  void NotifyBeforeSave();
  void NotifyAfterSave();
  void NotifyModified();
  void NotifyRenamed(const std::string& NewName);
  void NotifyBeforeRename(const std::string& AOldFileName, const std::string& ANewFileName);
  void NotifyAfterRename(const std::string& AOldFileName, const std::string& ANewFileName);
  void NotifyRenameFiles(const std::string& OldFileName, const std::string& NewFileName);
  void NotifyDestruction();
  void NotifyLoadDesktopData(const std::string& Desktop);
  void NotifySaveDesktopData(const std::string& Desktop);

  // True unless a handler that answers refuses.
  bool AllowSave();
  // True when any handler reports that the file changed on disk.
  bool CheckFileDate();
  bool CanReloadFile();
  bool CheckOverwrite();
  void GetOverwriteFiles(const std::string& FileName, std::vector<std::string>& Files);
  void ReloadFile();

  TDocModule& Module() const { return FModule; }

 private:
  // The notifiers, then the handlers that are on the notifier list.
  template <class TFn>
  void ForEachNotifier(TFn Fn);

  TDocModule& FModule;
  std::vector<std::shared_ptr<IModuleNotifier>> FNotifiers;  // empty slots keep indexes stable
  std::vector<std::shared_ptr<IModuleHandler>> FModuleHandlers;
  // At a handler's index: the handler while it is kept off the notifier calls.
  std::vector<std::shared_ptr<IModuleHandler>> FModuleHandlersNotOnNotifyList;
};

// -- The document module -----------------------------------------------------------------------

class TDocModule : public IClosedFileModule {
 public:
  virtual ~TDocModule();
  TDocModule(const TDocModule&) = delete;  // the module list and the index hold its address
  TDocModule& operator=(const TDocModule&) = delete;

  // Makes a module of kind T: constructs it, hands it to the module list (which owns it
  // from then on) and runs AfterConstruction. Returns the borrowed module.
  template <class T, class... TArgs>
  static T* Create(TArgs&&... Args);

  // -- Identity
  std::string GetFileName() const override { return FFileName; }
  std::string GetReopenFileName() const override { return GetFileName(); }
  bool GetIsProject() const override { return false; }
  virtual bool GetIsProjectGroup() const { return false; }
  virtual bool GetIsFileModule() const { return true; }
  std::string GetFileSystemIdent() const override { return FFileSystem; }
  void SetFileSystem(const std::string& Ident) { FFileSystem = Ident; }
  std::string ModuleClassName() const override { return "TDocModule"; }
  // True when FileName names one of this module's files: the same file by an exactly equal
  // name, or reached by another spelling of its path (".", "..", a symbolic link).
  bool ModuleIs(const std::string& FileName) const;
  // The names of the files the module answers to, its own first. The module list indexes
  // them: a module whose names change otherwise than through Rename calls ModuleNamesChanged.
  virtual std::vector<std::string> ModuleFileNames() const { return {GetFileName()}; }
  void ModuleNamesChanged();
  virtual std::string GetModuleName() const;
  virtual std::string GetTitle() const { return GetModuleName(); }
  // The edit buffer that holds FileName, when this module keeps it in one.
  virtual TEditBuffer* GetEditorBuffer(const std::string& /*FileName*/) { return nullptr; }
  virtual int GetEditorBufferCount() const { return 0; }
  virtual TEditBuffer* GetEditorBufferAt(int /*Index*/) { return nullptr; }

  // -- Modification
  virtual bool GetModified() const { return FIsModified; }
  // A project's options may be modified apart from its document.
  virtual bool GetOptionsModified() const { return false; }
  virtual void Modified();
  virtual void UnModifySource();

  // -- Saving
  // False when the user cancelled (a question on the way, raising EAbort, too); true when
  // saved, or not to be saved.
  virtual bool Save(bool ChangeName, bool ForceSave);
  virtual bool SaveAndClose();
  virtual bool MustPromptForSaveName() const { return IsUnnamed; }
  virtual std::string GetSaveFileName() const { return GetFileName(); }
  virtual std::string GetSaveFileDirectory() const;
  virtual std::string GetSaveFilter() const;
  virtual bool CheckOverwrite();
  virtual void GetOverwriteFiles(const std::string& FileName, std::vector<std::string>& Files);
  // The save dialog's can-close check: the plug-ins' and the module's own.
  bool DoCheckOverwrite();
  bool AllowSave();

  // -- Renaming
  // Renames the module (not the files on disk): the notifications around Rename.
  void DoRename(const std::string& NewName);
  // The user's rename: expands the name, renames the module and then its files on disk.
  // False when nothing was renamed (same file, or the user declined).
  bool RenameModule(const std::string& NewName);
  virtual bool OverrideExtension() const { return false; }
  virtual void BeforeRename(const std::string& /*NewName*/) {}
  virtual void Rename(const std::string& NewName);
  virtual void AfterRename(const std::string& /*OldName*/, const std::string& /*NewName*/) {}
  // Renames the files on disk after the module was renamed.
  virtual void RenameFiles(const std::string& OldName, const std::string& NewName);
  // The module's files that a rename to NewName renames on disk, each with its new name.
  virtual std::vector<std::pair<std::string, std::string>> RenamedFiles(const std::string& NewName) const {
    return {{GetFileName(), NewName}};
  }

  // -- Disk changes
  virtual bool CheckFileDate();
  virtual bool CanReloadFile();
  virtual void ReloadFile();

  // -- Life
  virtual void Activate(bool IsExternalViewer = false);
  virtual bool CanAddClosedFile() const override;
  // Closes the module; false when a plug-in vetoed it.
  virtual bool Close(bool CanAddToClosedList);
  virtual bool CheckLinks() { return true; }
  virtual void Show() {}
  virtual void Hide() {}
  virtual bool HasForm() const { return false; }
  virtual void HideForm() {}
  // The name of the module's form ("Form1"); empty when it has none.
  virtual std::string GetFormName() const { return {}; }
  virtual bool Update() { return true; }
  // Before a code-insight compile: what the compiler reads of the module is brought up to
  // date, without saving or asking anything (a designer writes its form into the source).
  virtual void KibbitzUpdate() {}
  virtual bool GoDormant();
  virtual std::vector<TDocModule*> GetDependentModules() { return {}; }
  virtual std::vector<TDocModule*> GetModuleDependencies() { return {}; }
  virtual void PerformModuleCleanup();

  // -- Owners
  void AddOwner(TDocModule* AOwner);
  void RemoveOwner(TDocModule* AOwner);
  int GetOwnerCount() const { return static_cast<int>(FOwners.size()); }
  TDocModule* GetOwner(int Index) const { return FOwners.at(static_cast<size_t>(Index)); }
  bool IsOwned() const { return !FOwners.empty(); }
  bool IsOwnedBy(const TDocModule* AModule) const;
  void AttachToOwners();
  // A project holds a file of that name (only project modules hold files).
  virtual bool HoldsFile(const std::string& /*FileName*/) const { return false; }
  // The same, given FileNameHash of the name, which a caller asking many projects makes once.
  virtual bool HoldsFileHashed(const std::string& FileName, size_t /*Hash*/) const { return HoldsFile(FileName); }
  // The FileNameHash of each file HoldsFile may answer yes to, once the module has declared
  // them (nullptr before): the module list finds a new module's owners through them.
  const std::vector<size_t>* DeclaredHeldFiles() const { return FDeclaresHeldFiles ? &FHeldFileHashes : nullptr; }

  // -- The plug-in face, made on first use
  TCodeIDocModule& CodeIModule();
  TCodeIDocModule* CodeIModuleIfAny() const { return FCodeIModule.get(); }

  // -- Dependency walks
  bool CanFreeOrGoDormant(bool Freeing);
  // Frees or makes dormant the modules no longer needed, starting here. With waFree this
  // module may be freed: do not use it afterwards.
  void WalkDependencies(TWalkAction Action);

  uint8_t ModuleAttributes() const { return FModuleAttributes; }
  void SetModuleAttributes(uint8_t A) { FModuleAttributes = A; }
  const std::vector<std::string>& ModuleListHashKeys() const { return FModuleListHashKeys; }
  std::vector<std::string> FCleanupExtensions;

  int Walked = 0;
  bool GoingDormant = false;
  bool IsDiscardable = false;
  bool IsUnnamed = false;
  bool IsClosed = false;
  bool IsDormant = false;
  bool IsLocked = false;
  bool CantRemove = false;

 protected:
  explicit TDocModule(std::string FileName);
  // Runs once the module is in the module list: the handler gauntlet, the name index, the
  // file-opened notification, the owners, EvModuleCreated.
  virtual void AfterConstruction();
  // Before the module is freed: the file-closing notification (a veto raises EModuleAbort),
  // EvFileNotification, cleanup of companion files, the plug-ins' destruction notice.
  virtual void BeforeDestruction();
  virtual void NotifyFileOpened();
  // Writes the module's file(s).
  virtual void SaveFile() {}
  void SetFileNameField(const std::string& Name) {
    FFileName = Name;
    ModuleNamesChanged();
  }
  // A module that holds files declares them, and again whenever they change.
  void DeclareHeldFiles(std::vector<size_t> Hashes);

  bool FIsModified = false;
  bool FInConstructor = true;

 private:
  friend class TModuleList;
  friend TDocModule* FindDocModule(const std::string& FileName, const TDocModule* Owner);
  bool FAttachedToOwners = false;
  bool FExternalViewerActive = false;
  bool FCloseNotified = false;
  bool FDeclaresHeldFiles = false;
  uint8_t FModuleAttributes = 0;
  uint8_t FModuleStates = 0;
  std::string FFileName;
  std::string FFileSystem;
  std::string FSaveDialogName;  // the name chosen in the save dialog, while it is checked
  std::vector<std::string> FModuleListHashKeys;
  std::vector<size_t> FHeldFileHashes;
  std::vector<TDocModule*> FOwners;
  std::unique_ptr<TCodeIDocModule> FCodeIModule;
  std::recursive_mutex FQueryLock;
};

// -- The gauntlet of module handlers -------------------------------------------------------------

class TModuleHandlerGauntletMember {
 public:
  virtual ~TModuleHandlerGauntletMember() = default;
  virtual void AttachHandler(TDocModule& Module) = 0;
};

// Members in ascending priority, equal priorities in insertion order.
class TModuleHandlerGauntlet {
 public:
  void Add(TModuleHandlerGauntletMember* AObject, int APriority);
  void Remove(TModuleHandlerGauntletMember* AObject);
  void RunGauntlet(TDocModule& Module);
  int Count() const { return static_cast<int>(FItems.size()); }

 private:
  std::vector<std::pair<TModuleHandlerGauntletMember*, int>> FItems;
};
TModuleHandlerGauntlet& ModuleHandlerGauntlet();

}  // namespace nxs

#include "modules/modulelist.h"

namespace nxs {

template <class T, class... TArgs>
T* TDocModule::Create(TArgs&&... Args) {
  std::unique_ptr<T> Made(new T(std::forward<TArgs>(Args)...));
  T* Raw = Made.get();
  ModuleList().Append(std::move(Made));
  try {
    static_cast<TDocModule*>(Raw)->AfterConstruction();
  } catch (...) {
    ModuleList().Discard(Raw);
    throw;
  }
  return Raw;
}

}  // namespace nxs
