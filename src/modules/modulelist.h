// The modules open in the environment: the module list (most recently activated first), its
// index by file name, the module events, and the operations over all modules (finding,
// saving, checking files changed on disk, freeing, naming new modules).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "shared/event.h"

namespace nxs {

class TDocModule;

// -- Events (each sends to its listeners from the last added to the first) ----------------------

class TEvFileNotification : public TEvArgs {
 public:
  TEvFileNotification(int Operation, std::string Filename) : Operation(Operation), Filename(std::move(Filename)) {}
  int Operation;  // 1 opened, 2 a module is being destroyed
  std::string Filename;
};

class TEvModuleModified : public TEvArgs {
 public:
  TEvModuleModified(TDocModule* Sender, std::string ModuleName) : Sender(Sender), ModuleName(std::move(ModuleName)) {}
  TDocModule* Sender;
  std::string ModuleName;
};

class TEvModuleSaved : public TEvArgs {
 public:
  TEvModuleSaved(TDocModule* Sender, std::string OldModuleName, std::string ModuleName)
      : Sender(Sender), OldModuleName(std::move(OldModuleName)), ModuleName(std::move(ModuleName)) {}
  TDocModule* Sender;
  std::string OldModuleName;
  std::string ModuleName;
};

class TEvModuleSender : public TEvArgs {
 public:
  explicit TEvModuleSender(TDocModule* Sender) : Sender(Sender) {}
  TDocModule* Sender;
};
using TEvModuleActivated = TEvModuleSender;
using TEvModuleCreated = TEvModuleSender;

// A file or folder renamed or copied: the old name and the new.
class TEvFileRenamed : public TEvArgs {
 public:
  TEvFileRenamed(void* Sender, std::string OldFileName, std::string FileName)
      : Sender(Sender), OldFileName(std::move(OldFileName)), FileName(std::move(FileName)) {}
  void* Sender;
  std::string OldFileName;
  std::string FileName;
};
using TEvFolderRenamed = TEvFileRenamed;
using TEvFileCopied = TEvFileRenamed;

class TEvFileDeleted : public TEvArgs {
 public:
  TEvFileDeleted(void* Sender, std::string FileName) : Sender(Sender), FileName(std::move(FileName)) {}
  void* Sender;
  std::string FileName;
};
using TEvFolderDeleted = TEvFileDeleted;

class TEvModuleListArgs : public TEvArgs {
 public:
  explicit TEvModuleListArgs(const std::vector<TDocModule*>& Modules) : Modules(Modules) {}
  const std::vector<TDocModule*>& Modules;
};

TEvent<TEvFileNotification>& EvFileNotification();
TEvent<TEvModuleModified>& EvModuleModified();
TEvent<TEvModuleSaved>& EvModuleSaved();
TEvent<TEvModuleActivated>& EvModuleActivated();
TEvent<TEvModuleCreated>& EvModuleCreated();
TEvent<TEvFolderRenamed>& EvFolderRenamed();
TEvent<TEvFileRenamed>& EvFileRenamed();
TEvent<TEvFolderDeleted>& EvFolderDeleted();
TEvent<TEvFileDeleted>& EvFileDeleted();
TEvent<TEvFileCopied>& EvFileCopied();
TEvent<TEvModuleListArgs>& EvSavingModifiedModules();
TEvent<TEvModuleListArgs>& EvSavedModifiedModules();

// -- The list ------------------------------------------------------------------------------------

// Owns every open module. The front is the most recently activated; new modules go to the end.
class TModuleList {
 public:
  TModuleList();
  ~TModuleList();
  TModuleList(const TModuleList&) = delete;  // modules point into it
  TModuleList& operator=(const TModuleList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  TDocModule* Item(int Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
  int IndexOf(const TDocModule* Module) const;
  bool Contains(const TDocModule* Module) const { return FMembers.count(Module) != 0; }
  // A copy of the order, for walks during which modules may come and go.
  std::vector<TDocModule*> Snapshot() const;

  void Append(std::unique_ptr<TDocModule> Module);
  // Moves the module to the front; false when it was there already.
  bool MoveToFront(TDocModule* Module);
  // Frees the module: its destruction notices first (a plug-in's veto raises EModuleAbort and
  // keeps it), then it leaves the list and the name index.
  void Free(TDocModule* Module);
  // Frees without asking anyone: a module whose construction failed.
  void Discard(TDocModule* Module);

  // The index from exact file name to module.
  void IndexName(const std::string& Key, TDocModule* Module);
  void UnindexName(const std::string& Key);
  TDocModule* IndexedModule(const std::string& Key) const;
  void ClearIndex();

  // Beside the list, the modules by the files they name, so that a lookup or an opening asks
  // the few modules that may answer rather than every one (a group of a thousand projects
  // opens in linear time). Each module's names are read when it joins the list and again
  // when it says they changed (TDocModule::ModuleNamesChanged); names relative to the current
  // folder are not indexed, their modules are asked on every lookup.
  //
  // The modules that may name FileName (by an equal name, its expansion, or the file it leads
  // to on disk), in list order: every module that FindDocModule would find is among them.
  // (A module's names are resolved on disk once, as FindDocModule resolves them.)
  std::vector<TDocModule*> ModulesNaming(const std::string& FileName);
  // The projects that may hold a file whose FileNameHash is Hash, in list order: those that
  // declared holding it (TDocModule::DeclareHeldFiles) and those that declared nothing. Every
  // project whose HoldsFileHashed answers yes is among them.
  std::vector<TDocModule*> ProjectsHolding(size_t Hash) const;
  void ModuleNamesChanged(TDocModule* Module);
  void HeldFilesChanged(TDocModule* Module);

 private:
  struct TLookupIndex;
  std::unique_ptr<TDocModule> Extract(TDocModule* Module);
  std::vector<TDocModule*> InListOrder(std::vector<TDocModule*> Modules) const;

  std::vector<std::unique_ptr<TDocModule>> FItems;
  std::unordered_set<const TDocModule*> FMembers;
  std::unordered_map<std::string, TDocModule*> FIndex;
  std::unique_ptr<TLookupIndex> FLookup;
};

// The process's module list, made by InitDocModules (or on first use) and freed, with its
// modules, by DoneDocModules.
TModuleList& ModuleList();
// The list when there is one (none while DoneDocModules frees it): for modules telling it of
// changes, which must not make a new list.
TModuleList* ModuleListIfAny();
void InitDocModules();
void DoneDocModules();

// -- Finding -------------------------------------------------------------------------------------

// The open module of FileName, or nullptr; with Owner, only a module it owns.
TDocModule* FindDocModule(const std::string& FileName, const TDocModule* Owner = nullptr);
// The first module of kind T.
template <class T>
T* FindDocModuleClass() {
  for (TDocModule* M : ModuleList().Snapshot())
    if (T* Found = dynamic_cast<T*>(M)) return Found;
  return nullptr;
}
// The first module whose form is named FormName (letter case aside, as identifiers are);
// nullptr for an empty name.
TDocModule* FindFormModule(const std::string& FormName);
TDocModule* ActiveModule();
std::vector<TDocModule*> GetProjectList();

// -- All modules ---------------------------------------------------------------------------------

// Closes modules without owners until a pass closes nothing (All: not only file modules).
void FreeModules(bool All);
bool AnyModuleModified();
// Asks about each modified module outside the projects; false at the first Cancel.
bool SaveModules();
// Saves every modified module without asking, then the projects and the main group.
bool SaveModifiedModules();
void UpdateModules();
// KibbitzUpdate for every open module that is not closed, in list order.
void KibbitzUpdateModules();
bool AllModulesDormant();
void MakeModulesDormant();
// Asks about each module whose file changed on disk and reloads it when the answer is yes;
// with Silent set, reloads without asking.
void CheckFileDates(bool Silent);

// Set true while a save must not be cancelled (the question then has Yes and No only).
extern bool NoCancelOnSave;
extern bool SaveForCompile;

// -- Names ---------------------------------------------------------------------------------------

// Raises EModuleError "'%s' is not a valid identifier" or "'%s' is a reserved word".
void ValidateIdent(const std::string& Name, bool AllowReserved = false);
// The folder new modules go to when none is given: the active project's, else the first open
// project's, else the start-up folder.
std::string DefaultModuleDirectory();
// The first free name BaseName with a number ("Unit%d" -> "Unit1", "Unit2", ...) in Dir (else
// DefaultModuleDirectory): free of open projects and modules, and of files Dir + name + Ext
// for the unit source extension and each extra one.
std::string MakeUniqueModuleName(const std::string& BaseName, const std::string& Dir = {},
                                 const std::vector<std::string>& ExtraExtensions = {});
// The names of a new module.
struct TNewModuleNames {
  std::string UnitIdent;  // "Unit3"
  std::string FormName;   // "Form3"; empty for a module without a form
  std::string FileName;   // Dir + UnitIdent + the unit source extension
};
// The unit name as above and the file name its source gets.
void MakeUniqueModuleName(TNewModuleNames& Names, const std::string& BaseName, const std::string& Dir);
// A unit with a form: one number for both names ("Unit%d" and "Form%d" -> "Unit3", "Form3"),
// the first for which the unit name is free as above and the form name too: no open module's
// form has it, and no form file of the unit's name is in Dir.
void MakeUniqueModuleName(TNewModuleNames& Names, const std::string& BaseName, const std::string& FormBaseName,
                          const std::string& Dir);
// The expanded new name for a rename of OldName to NewName; empty when nothing is to be done
// (the same file, or the user declined an extension change). Raises EModuleError.
std::string ExpandRenameFileName(const TDocModule& Module, const std::string& OldName, const std::string& NewName);
// Multi-part extensions that count as one (".vproj.local"); ".ext" otherwise.
void RegisterCompoundExtension(const std::string& Ext);
std::string ExtractCompoundExt(const std::string& FileName);

// True when A and B name the same file: equal names, or the same file on disk reached by
// another spelling of its path. Names that differ only in letter case are different files.
bool SameModuleFile(const std::string& A, const std::string& B);

// -- Hooks the host sets -------------------------------------------------------------------------

struct TDocModuleHooks {
  std::function<void()> ProjectChanged;
  std::function<void(const std::string&)> SourceModified;
  std::function<void()> ResetSourceModified;
  std::function<void()> UpdateModuleDisplay;
  // Asks the build subsystem to cancel a background compile; false when it refuses.
  std::function<bool()> CancelBackgroundCompile;
  // The main project group, when there is one.
  std::function<TDocModule*()> MainProjectGroup;
  // The directory the save dialog starts in for modules with no other.
  std::function<std::string()> DefaultDirectory;
  // Told the directory an unnamed module was first saved in.
  std::function<void(const std::string&)> LastSaveDirectory;
  // The unit source extension of new modules (".pas").
  std::string UnitSourceExtension = ".pas";
  // The environment option "Ask To Reload Modified Files": an unmodified module whose file
  // changed on disk is asked about, rather than reloaded at once.
  bool AskToReloadModifiedFiles = true;
};
TDocModuleHooks& DocModuleHooks();

void ProjectChanged();
void SourceModified(const std::string& FileName);
void ResetSourceModified();
void UpdateModuleDisplay();

}  // namespace nxs
