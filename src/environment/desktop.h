// Desktop files: which modules were open and how their editor windows looked, saved for the
// environment as a whole and beside each project and project group, and read back to put the
// files back as they were. Other parts add their own data through the registries here: form
// handlers open a kind of module, window loaders keep windows of their own, desktop
// procedures (the breakpoints) store sections of their own, and desktop notifiers hear of
// every save and load.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shared/exceptions.h"

namespace nxs {

class TCustomIniFile;
class TDocModule;
class TEnvironmentOptions;

// A desktop file could not be saved; the one on disk is as it was.
class EDesktopError : public Exception {
 public:
  using Exception::Exception;
};

// -- Form handlers -------------------------------------------------------------------------------

// Opens one kind of module from a desktop and keeps that kind's forms there.
class TDesktopFormHandler {
 public:
  virtual ~TDesktopFormHandler() = default;
  virtual bool CanHandleModule(const TDocModule& Module) const = 0;
  // The name stored in desktop files ("ModuleType"); compared without regard to case.
  virtual std::string GetHandlerName() const = 0;
  // Opens FileName (on the named file system; empty for the disk) as a module of this kind;
  // nullptr when it cannot. Raises what opening raises.
  virtual TDocModule* CreateModule(const std::string& FileName, const std::string& FileSystem) = 0;
  virtual void LoadModuleForms(const std::vector<TDocModule*>& /*Modules*/, TCustomIniFile& /*Ini*/) {}
  virtual void SaveModuleForms(const std::vector<TDocModule*>& /*Modules*/, TCustomIniFile& /*Ini*/, bool /*IsProject*/) {}
  // Opens FileName and, with Show, shows it: the closed-files list and the reopen menu ask this.
  virtual TDocModule* OpenModule(const std::string& FileName, bool Show);
  int GetCurrentDesktopId() const { return FDesktopId; }
  void SetCurrentDesktopId(int Id) { FDesktopId = Id; }

 private:
  int FDesktopId = 0;
};

// The base of handlers whose modules are shown in editor windows: it has no name of its own
// and accepts no module.
class TModuleFormHandler : public TDesktopFormHandler {
 public:
  bool CanHandleModule(const TDocModule&) const override { return false; }
  std::string GetHandlerName() const override { return {}; }
  TDocModule* CreateModule(const std::string&, const std::string&) override { return nullptr; }
};

// Source modules, named "TSourceModule".
class TSourceModuleFormHandler : public TModuleFormHandler {
 public:
  bool CanHandleModule(const TDocModule& Module) const override;
  std::string GetHandlerName() const override;
  TDocModule* CreateModule(const std::string& FileName, const std::string& FileSystem) override;
};

class TDesktopFormHandlers {
 public:
  // A handler registered twice is kept once.
  void RegisterDesktopFormHandler(std::shared_ptr<TDesktopFormHandler> Handler);
  void UnRegisterDesktopFormHandler(const TDesktopFormHandler* Handler);
  // The first registered handler that accepts the module, or nullptr.
  TDesktopFormHandler* FindHandler(const TDocModule& Module) const;
  TDesktopFormHandler* FindHandlerByName(std::string_view Name) const;
  // "" when no handler accepts the module.
  std::string GetHandlerName(const TDocModule& Module) const;
  // Opens FileName through the handler of that name; nullptr when there is none.
  TDocModule* DoCreateModule(std::string_view HandlerName, const std::string& FileName, const std::string& FileSystem);
  // Each handler gets the modules it accepts.
  void DoLoadModuleForms(const std::vector<TDocModule*>& Modules, TCustomIniFile& Ini);
  void DoSaveModuleForms(const std::vector<TDocModule*>& Modules, TCustomIniFile& Ini, bool IsProject);
  int Count() const { return static_cast<int>(FHandlers.size()); }

 private:
  std::vector<std::shared_ptr<TDesktopFormHandler>> FHandlers;
};
TDesktopFormHandlers& DesktopFormHandlers();

// -- Window loaders --------------------------------------------------------------------------------

// A part that keeps windows of its own in the desktop (and in layouts).
class TDesktopWindowLoader {
 public:
  virtual ~TDesktopWindowLoader() = default;
  virtual void LoadWindows(TCustomIniFile& Ini) = 0;
  virtual void SaveWindows(TCustomIniFile& Ini) = 0;
};

class TDesktopWindowLoaders {
 public:
  void RegisterDesktopWindowLoader(std::shared_ptr<TDesktopWindowLoader> Loader);
  void UnRegisterDesktopWindowLoader(const TDesktopWindowLoader* Loader);
  void DoLoadWindows(TCustomIniFile& Ini);
  void DoSaveWindows(TCustomIniFile& Ini);

 private:
  std::vector<std::shared_ptr<TDesktopWindowLoader>> FLoaders;
};
TDesktopWindowLoaders& DesktopWindowLoaders();

// -- Desktop procedures and notifiers ----------------------------------------------------------------

// A pair called on every desktop load and save, after the module forms.
struct TDesktopProcs {
  std::function<void(TCustomIniFile&)> Load;
  std::function<void(TCustomIniFile&)> Save;
  // True while the part holds changes its section does not have yet (breakpoints set since
  // the last load or save): the end of a session then saves its desktop. None: never.
  std::function<bool()> Modified = nullptr;
};
// Returns the registration's index for UnregisterDesktopProcs.
int RegisterDesktopProcs(TDesktopProcs Procs);
void UnregisterDesktopProcs(int Index);
// Whether a registered part holds changes to keep in the desktop.
bool DesktopProcsModified();

// Told of desktop saves and loads. A save names the temporary file, complete and flushed,
// so that the plug-in may add sections of its own before it takes the desktop's name.
class IDesktopNotifier {
 public:
  virtual ~IDesktopNotifier() = default;
  virtual void ProjectDesktopSave(const std::string& /*FileName*/) {}
  virtual void DefaultDesktopSave(const std::string& /*FileName*/) {}
  virtual void DesktopLoad(const std::string& /*FileName*/) {}
};
int AddDesktopNotifier(std::shared_ptr<IDesktopNotifier> Notifier);
void RemoveDesktopNotifier(int Index);

// -- Desktop updates -----------------------------------------------------------------------------------

// While a desktop or a layout is read or written, desktop updates are suspended: nothing
// switches layouts or stores the selection on the way.
bool DesktopUpdating();
class TDesktopUpdate {
 public:
  TDesktopUpdate();
  ~TDesktopUpdate();
  TDesktopUpdate(const TDesktopUpdate&) = delete;  // one suspension, one resumption
  TDesktopUpdate& operator=(const TDesktopUpdate&) = delete;
};

// -- Reading and writing ---------------------------------------------------------------------------------

// What a load put back and what it had to leave.
struct TDesktopLoadReport {
  std::vector<TDocModule*> Opened;  // modules the desktop opened, in its order
  std::vector<std::string> Skipped;  // one line per entry left out: what and why
  TDocModule* Current = nullptr;     // the module of the current editor view
};

// Writes the desktop of the open modules to FileName: a temporary file beside it first, then
// the backup the options ask for, then the desktop replaced atomically. Raises EDesktopError
// when any step fails; the desktop file is then as it was and no temporary file is left.
void SaveDeskFile(const std::string& FileName, bool IsProject);
// The save steps of desktops and layouts: Text goes to a temporary file beside FileName (".$$$"),
// Written is told its name and may add to it, the backup is kept when the option asks for one
// (numbered, else a single "~" copy), and FileName is replaced atomically. Raises EDesktopError
// when a step fails, with FileName as it was and the temporary file removed.
void ReplaceDesktopFile(const std::string& FileName, const std::string& Text, bool NumberedBackup,
                        const std::function<void(const std::string& Temp)>& Written);
// The desktop's text, as SaveDeskFile would write it.
std::string DesktopText(bool IsProject);
// Reopens the modules FileName records, with their editor views. An entry that cannot be
// put back (a file that is gone, a handler not registered, a damaged value, a file that
// fails to open) is left out and the rest is loaded; the entries left out are told in one
// message. Raises EInOutError when the file cannot be read.
TDesktopLoadReport LoadDeskFile(const std::string& FileName);

// What a desktop file records, for showing it: each module entry with its handler and the
// views the editor windows keep of it, and the sections other parts store ("Breakpoints").
struct TDesktopListing {
  struct TModule {
    std::string FileName, Handler, FileSystem;
    std::vector<std::map<std::string, std::string>> Views;  // the view state keys
  };
  std::vector<TModule> Modules;
  // The values of the breakpoints section, in file order.
  std::vector<std::pair<std::string, std::string>> Breakpoints;
};
// FileName may be the desktop or the project or group it lies beside.
TDesktopListing ReadDesktopListing(const std::string& FileName);
// The desktop that FileName stands for: FileName itself for a ".dsk", else the desktop beside
// the project or group.
std::string DesktopFileFor(const std::string& FileName);

// The desktop file of a project or group file: the same name with ".dsk".
std::string ProjectDesktopFileName(const std::string& ProjectFileName);
// The environment's desktop file: "nxs.dsk" in the layouts' folder.
std::string EnvironmentDesktopFileName();
// Saves the project's desktop when the project file exists.
void SaveProjectDesktop(const std::string& ProjectFileName);
// Loads the project's desktop when there is one; with the option "Desktop" of "Auto Save"
// on, the project is recorded in the session ("Session", "Project") to open next time.
TDesktopLoadReport LoadProjectDesktop(const std::string& ProjectFileName, TEnvironmentOptions& Options);
inline void SaveProjectGroupDesktop(const std::string& GroupFileName) { SaveProjectDesktop(GroupFileName); }
inline TDesktopLoadReport LoadProjectGroupDesktop(const std::string& GroupFileName, TEnvironmentOptions& Options) {
  return LoadProjectDesktop(GroupFileName, Options);
}
void SaveDesktop();
TDesktopLoadReport LoadDesktop();
// The desktop of a session that names one: FileName is a ".dsk" file (loaded when it exists)
// or a project or group (its desktop, as LoadProjectDesktop reads it).
TDesktopLoadReport LoadSessionDesktop(const std::string& FileName, TEnvironmentOptions& Options);
// Saves the session's desktop; a project or group's only when the project file exists.
void SaveSessionDesktop(const std::string& FileName);
// The end of a session with a desktop: saved when the option "Desktop" of "Auto Save" is on,
// and whenever a part that stores a section of its own changed it (a breakpoint set in the
// session is never lost for want of the option).
void FinishSessionDesktop(const std::string& FileName, TEnvironmentOptions& Options);
// Whether the session's desktop is saved when the session ends ("Auto Save", "Desktop").
bool AutoSaveDesktop(TEnvironmentOptions& Options);
// The project or group file recorded by its base name: tried with ".groupproj", the project
// extensions, then the older group extensions; the first that exists, or "".
std::string FindRecordedProjectFile(const std::string& BaseName);
// True for the file names of projects and groups, which a desktop never opens as modules.
bool IsProjectOrGroupFileName(const std::string& FileName);

// The start-up step: registers the source-module handler and lets the module layer switch
// layouts; DoneDesktop undoes what InitDesktop did.
void InitDesktop();
void DoneDesktop();

}  // namespace nxs
