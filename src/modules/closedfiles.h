// The lists of recently closed files and projects that the reopen menu shows and that
// survive restarts: the entries (TClosedFile and the classes registered per desktop form
// handler), the two lists with their capacity and move-to-front rule, their persistence in an
// INI-style file, and the reopen menu's model (the host draws it).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shared/event.h"

namespace nxs {

class TCustomIniFile;
class TClosedFileList;
class IClosedSourceState;

// What the closed-file lists need of a module; the document modules implement it.
class IClosedFileModule {
 public:
  virtual ~IClosedFileModule() = default;
  virtual std::string GetFileName() const = 0;
  // The name the reopen entry opens (a project group may reopen through another file).
  virtual std::string GetReopenFileName() const = 0;
  virtual bool GetIsProject() const = 0;
  // Empty for the default file system; modules on other file systems are not remembered.
  virtual std::string GetFileSystemIdent() const = 0;
  virtual bool CanAddClosedFile() const = 0;
  // The module's class name ("TSourceModule"): what entry classes accept.
  virtual std::string ModuleClassName() const = 0;
  // Source modules offer their editor state; others have none.
  virtual IClosedSourceState* SourceState() { return nullptr; }
};

// The environment's side of reopening: the desktop form handlers (by name), the main project
// group's open mode and the desktop layouts. Filled in by the environment at start-up.
class IReopenServices {
 public:
  virtual ~IReopenServices() = default;
  // The name of the handler that reopens the module ("" when none does).
  virtual std::string HandlerNameFor(const IClosedFileModule& Module) = 0;
  virtual bool HandlerExists(const std::string& HandlerName) = 0;
  virtual void OpenWithHandler(const std::string& HandlerName, const std::string& FileName) = 0;
  virtual void SetProjectOpenMode() = 0;
  virtual void SwitchToLayout(const std::string& LayoutName) = 0;
  virtual void LockScreen() {}
  virtual void UnlockScreen() {}
};

// One remembered file. Entries belong to one list at a time.
class TClosedFile {
 public:
  // CreateEmpty: an empty record for loading.
  TClosedFile() = default;
  // Create(Module): the handler from the reopen services, the reopen name and IsProject
  // from the module.
  explicit TClosedFile(const IClosedFileModule& Module);
  virtual ~TClosedFile();
  TClosedFile(const TClosedFile&) = delete;  // belongs to one list
  TClosedFile& operator=(const TClosedFile&) = delete;

  bool IsProject() const { return FIsProject; }
  const std::string& HandlerName() const { return FHandlerName; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string Name) { FFileName = std::move(Name); }
  // The file exists.
  bool Valid() const;
  TClosedFileList* List() const { return FList; }

  virtual bool CanHandleModule(const IClosedFileModule& Module) const;
  // Items of the split stored value: 0 handler, 1 file name, 2 project flag (default 0).
  virtual void LoadState(const std::vector<std::string>& Items);
  // Puts back the state saved at close into the reopened module.
  virtual void RestoreModule(IClosedFileModule& Module) = 0;
  virtual void SetOpenMode();
  // "handler,'file name',flag" (quotes inside the name doubled).
  virtual std::string SaveState() const;

  // The menu's click: reopens the file through its handler; an entry whose handler is gone is
  // dropped from its list (and freed: do not use it afterwards).
  void Open() { ReOpen(); }
  void ReOpen();

 protected:
  bool FIsProject = false;
  std::string FHandlerName;
  std::string FFileName;

 private:
  friend class TClosedFileList;
  TClosedFileList* FList = nullptr;
};

using TClosedFileFactory = std::function<std::unique_ptr<TClosedFile>()>;
// A class of entries: what the original calls a class reference, here its name, its
// acceptance test and its two constructors.
struct TClosedFileClass {
  std::string ClassName;
  std::function<bool(const IClosedFileModule&)> CanHandleModule;
  std::function<std::unique_ptr<TClosedFile>()> CreateEmpty;
  std::function<std::unique_ptr<TClosedFile>(const IClosedFileModule&)> Create;
};

// Most recent first; at most Capacity entries.
class TClosedFileList {
 public:
  TClosedFileList(bool Projects, int Capacity) : FProjects(Projects), FCapacity(Capacity) {}
  ~TClosedFileList();
  TClosedFileList(const TClosedFileList&) = delete;  // entries point back to it
  TClosedFileList& operator=(const TClosedFileList&) = delete;

  bool Projects() const { return FProjects; }
  int Capacity() const { return FCapacity; }
  // A smaller capacity drops the oldest entries.
  void SetCapacity(int Capacity);
  int Count() const { return static_cast<int>(FItems.size()); }
  TClosedFile* Item(int Index) const { return FItems.at(Index).get(); }
  int IndexOfFile(std::string_view FileName) const;

  void Insert(int Index, std::unique_ptr<TClosedFile> Entry);
  void Append(std::unique_ptr<TClosedFile> Entry) { Insert(Count(), std::move(Entry)); }
  void Move(int From, int To);
  std::unique_ptr<TClosedFile> Extract(TClosedFile* Entry);
  // Removes and frees.
  void Release(TClosedFile* Entry) { Extract(Entry).reset(); }
  void Clear();

  // Called after an entry dropped itself from the list (a reopen whose handler is gone).
  std::function<void()> Changed;

  // What this process did to the list since it was loaded or stored: the files it closed
  // (or closed again) and the files it took off the list. Storing applies just these to
  // the list as the file holds it then, so that another process's entries survive.
  void NoteClosed(std::string_view FileName);
  void NoteRemoved(std::string_view FileName);
  const std::vector<std::string>& Closed() const { return FClosed; }
  const std::vector<std::string>& Removed() const { return FRemoved; }
  void ForgetChanges() {
    FClosed.clear();
    FRemoved.clear();
  }

 private:
  bool FProjects;
  int FCapacity;
  std::vector<std::unique_ptr<TClosedFile>> FItems;
  std::vector<std::string> FClosed, FRemoved;
};

// One line of the reopen menu.
struct TReopenMenuItem {
  std::string Caption;  // empty for the separator
  int HelpContext = 0;
  TClosedFile* Entry = nullptr;
  bool IsSeparator() const { return Entry == nullptr; }
};

class TEvClosedFileListChanged : public TEvArgs {};

// Longest path shown in a reopen caption; longer paths lose folders in the middle.
inline constexpr size_t ReopenCaptionPathLength = 60;
inline constexpr int ReopenHelpContext = 1013;
// Appends a reopen entry per list entry, numbered on from Position (which it advances).
void AppendClosedFiles(std::vector<TReopenMenuItem>& Menu, TClosedFileList& List, int& Position);

// "&0 path" ... "&9 path", "&A path" ... "&Z path", then the bare path; "&" in the path
// doubled.
std::string ReopenCaption(int Position, std::string_view FileName, size_t MaxPathLength = ReopenCaptionPathLength);
// "/a/b/c/d/e.txt" -> "/a/.../d/e.txt": drops folders after the first until it fits.
std::string ShortenPath(std::string_view FileName, size_t MaxLength);

// The two lists, the registered entry classes and the reopen menu.
class TClosedFiles {
 public:
  static constexpr int DefaultMaxClosedFiles = 15;
  static constexpr int DefaultMaxClosedProjects = 10;
  // A stored maximum beyond this is taken as this.
  static constexpr int MaxClosedFilesLimit = 100;

  TClosedFiles();
  ~TClosedFiles();
  TClosedFiles(const TClosedFiles&) = delete;  // the menu points into the lists
  TClosedFiles& operator=(const TClosedFiles&) = delete;

  TClosedFileList& ClosedFileList() { return FFiles; }
  TClosedFileList& ClosedProjectList() { return FProjects; }

  // Registry of entry classes by handler name (compared without regard to case).
  void RegisterClosedFileClass(const std::string& HandlerName, TClosedFileClass Class);
  void UnregisterClosedFileClass(const std::string& HandlerName);
  const TClosedFileClass* FindClosedFileClass(std::string_view HandlerName) const;
  // Registers the source-module entries under "TSourceModule".
  void InitClosedFileTypeList();
  // The first registered class that accepts the module.
  const TClosedFileClass* GetClosedFileClass(const IClosedFileModule& Module) const;
  std::string GetHandlerName(const IClosedFileModule& Module) const;
  // Removes and frees every entry of the class from both lists.
  void CleanClosedFileLists(const std::string& ClassName);
  void FreeClosedFileList(TClosedFileList& List);
  void FreeClosedFileLists();

  void AddClosedFile(const IClosedFileModule& Module);
  // Restores the state kept for the module's file; with Remove the entry leaves its list and
  // is handed to the caller.
  std::unique_ptr<TClosedFile> CheckClosedFileList(IClosedFileModule& Module, bool Remove);

  // Files chooses the file list (set) or the project list (clear). KeepCapacity leaves the
  // list's maximum as it is instead of reading it.
  void LoadClosedHistory(TCustomIniFile& Ini, bool Files, bool KeepCapacity);
  // Applies the files this process closed and removed since the last load or store to the
  // list as the file holds it now (in one locked step), stores that, and loads it back.
  void StoreClosedHistory(TCustomIniFile& Ini, bool Files);
  // Copies of the project list's entries (through SaveState and LoadState) and back.
  std::vector<std::unique_ptr<TClosedFile>> SaveClosedProjectFiles() const;
  void SetClosedProjectFiles(const std::vector<std::unique_ptr<TClosedFile>>& Copy);

  void LockClosedFileUpdates();
  void UnlockClosedFileUpdates();
  void UpdateFileReopenMenu();
  const std::vector<TReopenMenuItem>& ReopenMenu() const { return FMenu; }
  TEvent<TEvClosedFileListChanged>& OnClosedFileListChanged() { return FOnChanged; }

 private:
  std::unique_ptr<TClosedFile> CopyEntry(const TClosedFile& Entry) const;

  TClosedFileList FFiles{false, DefaultMaxClosedFiles};
  TClosedFileList FProjects{true, DefaultMaxClosedProjects};
  std::vector<std::pair<std::string, TClosedFileClass>> FClasses;
  std::vector<TReopenMenuItem> FMenu;
  TEvent<TEvClosedFileListChanged> FOnChanged;
  int FLockCount = 0;
};

// The process's lists and the environment's reopen services.
TClosedFiles& ClosedFiles();
void SetReopenServices(IReopenServices* Services);
IReopenServices* ReopenServices();

// Splits a stored entry at commas; a part in single quotes is kept whole ("''" is a quote).
std::vector<std::string> SplitClosedFileValue(std::string_view Value);

}  // namespace nxs
