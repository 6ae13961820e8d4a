// nxs ed's module side: the files of the command line opened as modules, the current module
// whose view the editor commands act on, and the module commands (Open, Switch, Modules,
// SaveFile, SaveAll, Close, Rename, Reload).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/kernel/ek.h"

namespace nxs {
class TEditBuffer;
class TEnvironmentOptions;
class TFileHistoryOptionsLink;
class TSourceModule;
}  // namespace nxs

namespace nxs::host {

class TEdModules {
 public:
  // Opens each file through the default open routine; the first is current.
  explicit TEdModules(const std::vector<std::string>& Files);
  ~TEdModules();
  TEdModules(const TEdModules&) = delete;  // owns the module layer for the run
  TEdModules& operator=(const TEdModules&) = delete;

  // The current module; raises an error when every module was closed.
  TSourceModule& Current();
  PEkView View();
  TEditBuffer& Buffer();

  // Runs a module command; false when Word names none.
  bool Run(const std::string& Word, const std::string& Rest);
  // Keeps the closed-file list in the settings when a module was closed.
  void Finish();

 private:
  void OpenModule(const std::string& FileName);
  void MakeCurrent(TSourceModule* Module);

  std::unique_ptr<TEnvironmentOptions> FOptions;
  std::unique_ptr<TFileHistoryOptionsLink> FHistoryLink;
  TSourceModule* FCurrent = nullptr;
  bool FClosedAny = false;
};

}  // namespace nxs::host
