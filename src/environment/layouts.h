// Layouts: named arrangements of the tool windows, one ".dst" file each in the user's data
// folder, and the rules by which the environment switches between them: a start-up layout
// while nothing is open, a default layout for editing, a debug layout while a program runs
// under the debugger.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shared/event.h"

namespace nxs {

class TCustomIniFile;

// $XDG_DATA_HOME/Orvanti/NXS/20.0, else ~/.local/share/Orvanti/NXS/20.0: where layouts and the
// environment's desktop live.
std::string LayoutsDirectory();
// The shipped layouts, copied into LayoutsDirectory() on first use.
std::string InstalledLayoutsDirectory();

// The display text of a layout name: the predefined names have resource texts of their own;
// any other name is shown as it is.
std::string LayoutDisplayName(std::string_view Name);
// A layout name the user may give: not empty, no path delimiter, not "." or "..", no line
// break. Raises Exception otherwise.
void CheckLayoutName(std::string_view Name);

// One layout.
class TDesktopState {
 public:
  explicit TDesktopState(std::string FileName);
  TDesktopState(const TDesktopState&) = delete;  // the list and the selection point at it
  TDesktopState& operator=(const TDesktopState&) = delete;

  const std::string& FileName() const { return FFileName; }
  // The name without folder and extension: the layout's key.
  std::string GetFileNameBody() const;
  const std::string& GetDisplayName() const { return FDisplayName; }
  // The display name with every "&" doubled, for a menu.
  std::string GetNoPrefix() const;
  // Moves the layout to Name (its file renamed when there is one) and names it so.
  void SetDisplayName(const std::string& Name);

  // Reads the file into the window loaders, when it exists.
  void Load();
  // Writes the windows to the file: temporary file, single-copy backup, atomic replace.
  // Raises Exception when that fails, with the file as it was.
  void Save();
  void Delete();
  // Keeps the windows' present state, to be put back when the layout is selected again.
  void SaveRuntimeInfo();
  // Puts the kept state back; false when nothing was kept.
  bool RestoreRuntimeInfo();

 private:
  std::string FFileName;
  std::string FDisplayName;
  std::string FRuntimeInfo;  // the windows as the window loaders wrote them
};

class TEvDesktopChanged : public TEvArgs {
 public:
  explicit TEvDesktopChanged(TDesktopState* Selected) : Selected(Selected) {}
  TDesktopState* Selected;
};

// What the host and the other parts bring to switching: each may be left empty.
struct TLayoutHooks {
  // The background parser stops while a layout loads.
  std::function<void()> LockParser, UnlockParser;
  // The window that has the focus, and giving it back after debugging.
  std::function<std::string()> FocusedWindow;
  std::function<void(const std::string&)> RestoreFocus;
  // Checks the files of open modules for changes on disk (after a debugged process ended).
  std::function<void()> CheckFileDates;
};

class TDesktopStates {
 public:
  TDesktopStates() = default;
  TDesktopStates(const TDesktopStates&) = delete;  // the selection points into the list
  TDesktopStates& operator=(const TDesktopStates&) = delete;

  // The layout of that name, made (without a file yet) when there is none.
  TDesktopState& Add(const std::string& Name);
  // Copies the shipped layouts that are missing into the user's folder, then lists every
  // layout file there; the list is read afresh at each call.
  const std::vector<std::unique_ptr<TDesktopState>>& GetDesktops();
  // By key or by display name, without regard to case; nullptr when none.
  TDesktopState* FindFileNameBody(std::string_view Name);
  TDesktopState* FindDisplayName(std::string_view Name);
  // By key, else by display name; raises Exception when there is no such layout.
  TDesktopState& FindLayout(std::string_view Name);
  // The layout the session last selected ("DesktopName"); nullptr when it names none.
  TDesktopState* SessionSelected();
  void Remove(TDesktopState* State);

  TDesktopState* Selected() const { return FSelected; }
  // Selects the layout, stored in the session ("DesktopName") unless the debug layout is
  // being put in force.
  void SetSelected(TDesktopState* State);
  // Loads a layout: the parser waits, the present layout's windows are kept, the new one's
  // kept state and file are read in, and it is selected.
  void LoadDesktop(TDesktopState* State);
  // Loads the layout remembered before debugging again from its file, or, without reloading,
  // puts back the state it had.
  void RestoreDesktop();
  void RestoreDesktopWithoutReloading();
  TDesktopState* SavedDesktop() const { return FSavedDesktop; }

  // The session's start-up, default and debug layouts, by the names the session records (the
  // predefined names when it records none); nullptr when that layout does not exist.
  TDesktopState* GetStartupDesktop();
  TDesktopState* GetDefaultDesktop();
  TDesktopState* GetRuntimeDesktop();
  void SetStartupDesktop(const std::string& Name);
  void SetDefaultDesktop(const std::string& Name);
  void SetRuntimeDesktop(const std::string& Name);
  void LoadRuntimeDesktop();

  // The debugger manager's calls: a process was created (FirstProcess: none ran before it;
  // Stepping: the debugger is stepping into it), a process ended (LastProcess: none runs).
  void ProcessCreated(bool FirstProcess, bool Stepping);
  void ProcessTerminated(bool LastProcess);

  bool Loading() const { return FLoading; }
  TEvent<TEvDesktopChanged>& OnDesktopChanged() { return FOnChanged; }
  TLayoutHooks Hooks;

  // Forgets the list, the selection and the remembered layout (shutdown, tests).
  void Clear();

 private:
  TDesktopState* SessionDesktop(const char* Key, const char* Default);

  std::vector<std::unique_ptr<TDesktopState>> FStates;
  TDesktopState* FSelected = nullptr;
  TDesktopState* FSavedDesktop = nullptr;
  std::string FSavedFocus;
  bool FLoading = false;
  bool FPuttingDebugInForce = false;
  TEvent<TEvDesktopChanged> FOnChanged;
};

TDesktopStates& DesktopStates();

// The first-run step and the layout to start with: the start-up layout when no project is to
// be opened (ProjectName empty or not an existing file), else the session's layout (the
// default layout in place of the start-up one). LoadEnvironmentDesktop then reads the
// environment's desktop file when there is one.
void LoadDefaultDesktopState(const std::string& ProjectName, bool LoadEnvironmentDesktop = true);
// First run: the flag cleared and the three session layouts set to the predefined ones.
void SetDefaultDesktopState();
// The switching rules (the module layer asks for "Default Layout" when it opens a file and for
// "Startup Layout" when it closes one).
void SwitchDesktopLayout(const std::string& Name);
// True when a file module (not a project or group) is open.
bool FileDocModuleOpened();

}  // namespace nxs
