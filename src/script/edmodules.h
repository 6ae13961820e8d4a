// The module side of a command session: the files it was given opened as modules, the
// current module whose view the editor commands act on, the module commands (Open, Switch,
// Modules, SaveFile, SaveAll, Close, Rename, Reload), and where the session's answers go.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/kernel/ek.h"
#include "script/output.h"

namespace nxs {
class TEditBuffer;
class TEnvironmentOptions;
class TSourceModule;
class TSourceModuleScope;
}  // namespace nxs

namespace nxs::script {

class TEdModules {
 public:
  // Opens each file through the default open routine; the first is current. Answers go to
  // Print (standard output when none is given).
  explicit TEdModules(const std::vector<std::string>& Files, TPrintFn Print = {});
  ~TEdModules();
  TEdModules(const TEdModules&) = delete;  // owns the module layer for the run
  TEdModules& operator=(const TEdModules&) = delete;

  // The current module; raises an error when every module was closed.
  TSourceModule& Current();
  PEkView View();
  TEditBuffer& Buffer();

  // The environment options the session read from the settings.
  TEnvironmentOptions& Options();

  // Runs a module command; false when Word names none.
  bool Run(const std::string& Word, const std::string& Rest);
  // Keeps the changes to the closed-file list in the settings.
  void Finish();
  // Passes a command's answer on (whole lines).
  void Print(std::string_view Text) const { FPrint(Text); }

 private:
  void OpenModule(const std::string& FileName);
  void MakeCurrent(TSourceModule* Module);

  std::unique_ptr<TSourceModuleScope> FScope;
  TPrintFn FPrint;
  TSourceModule* FCurrent = nullptr;
};

}  // namespace nxs::script
