#include "script/eddesktop.h"

#include <map>

#include "environment/desktop.h"
#include "modules/docmodule.h"
#include "script/edmodules.h"
#include "script/resstrings.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::script {

namespace {

// The desktop of each running session.
std::map<const TEdModules*, TEdDesktop*>& SessionDesktops() {
  static std::map<const TEdModules*, TEdDesktop*> Desktops;
  return Desktops;
}

}  // namespace

TEdDesktop::TEdDesktop(TEdModules& Modules, const std::string& Desktop, bool MakeCurrent)
    : FModules(Modules), FFileName(ExpandFileName(Desktop)) {
  SessionDesktops()[&Modules] = this;
  const TDesktopLoadReport Report = LoadSessionDesktop(FFileName, Modules.Options());
  if (MakeCurrent && Report.Current) Modules.Run("Switch", Report.Current->GetFileName());
}

TEdDesktop::~TEdDesktop() {
  auto It = SessionDesktops().find(&FModules);
  if (It != SessionDesktops().end() && It->second == this) SessionDesktops().erase(It);
}

void TEdDesktop::Finish() {
  FinishSessionDesktop(FFileName, FModules.Options());
}

bool RunDesktopCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest) {
  if (Word != "SaveDesktop") return false;
  const std::string Arg = Trim(Rest);
  auto It = SessionDesktops().find(&Modules);
  if (Arg.empty() && It == SessionDesktops().end()) throw Exception(Format(res::SEdExpectedArgument, Word, "FILE"));
  SaveSessionDesktop(Arg.empty() ? It->second->FileName() : ExpandFileName(Arg));
  return true;
}

}  // namespace nxs::script
