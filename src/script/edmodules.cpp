#include "script/edmodules.h"
#include "script/resstrings.h"

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "options/envoptions.h"
#include "options/resstrings.h"
#include "modules/closedfiles.h"
#include "modules/modulescope.h"
#include "modules/inifile.h"
#include "modules/modulelist.h"
#include "modules/sourcemodule.h"
#include "shared/exceptions.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs::script {

TEdModules::TEdModules(const std::vector<std::string>& Files, TPrintFn Print)
    : FScope(std::make_unique<TSourceModuleScope>()), FPrint(Print ? std::move(Print) : StdoutPrinter()) {
  DocModuleHooks().AskToReloadModifiedFiles = FScope->Options().EditorOptions().GetBool(res::opt::AskToReloadModifiedFiles);
  TSettingsIniFile Ini(SettingsStore());
  ClosedFiles().LoadClosedHistory(Ini, true, false);
  for (const auto& F : Files) OpenModule(F);
  if (!Files.empty()) {
    TDocModule* First = FindDocModule(ExpandFileName(Files.front()));
    MakeCurrent(dynamic_cast<TSourceModule*>(First));
  }
}

TEdModules::~TEdModules() {
  FScope.reset();
  ClosedFiles().FreeClosedFileLists();
}

void TEdModules::Finish() {
  // Files closed here join the stored list; files opened here leave it.
  TClosedFileList& L = ClosedFiles().ClosedFileList();
  if (L.Closed().empty() && L.Removed().empty()) return;
  TSettingsIniFile Ini(SettingsStore());
  ClosedFiles().StoreClosedHistory(Ini, true);
}

void TEdModules::OpenModule(const std::string& FileName) {
  const std::string Name = ExpandFileName(FileName);
  const TFileInfo Info = FileSystem().Stat(Name);
  if (!Info.Exists || Info.IsDirectory)
    throw EInOutError(Format(res::SCannotReadFile, Name, Info.Exists ? res::SEdIsADirectory : res::SEdNoSuchFileOrDirectory));
  auto* M = dynamic_cast<TSourceModule*>(OpenFile(Name, false, true));
  if (!M) throw Exception(Format(res::SEdNotOpenAsSourceModule, Name));
  MakeCurrent(M);
}

void TEdModules::MakeCurrent(TSourceModule* Module) {
  FCurrent = Module;
  if (Module) Module->Activate();
}

TSourceModule& TEdModules::Current() {
  if (!FCurrent) throw Exception(res::SEdNoModuleOpen);
  return *FCurrent;
}

TEnvironmentOptions& TEdModules::Options() { return FScope->Options(); }

PEkView TEdModules::View() { return Current().ShowEditor().EkView(); }

TEditBuffer& TEdModules::Buffer() { return *Current().GetMainSource(); }

bool TEdModules::Run(const std::string& Word, const std::string& Rest) {
  const std::string Arg = Trim(Rest);
  auto NoArgument = [&] {
    if (!Arg.empty()) throw Exception(Format(res::SEdTakesNoArgument, Word));
  };
  auto NeedsArgument = [&](const char* What) {
    if (Arg.empty()) throw Exception(Format(res::SEdExpectedArgument, Word, What));
  };
  if (Word == "Open") {
    NeedsArgument("FILE");
    OpenModule(Arg);
  } else if (Word == "Switch") {
    NeedsArgument("FILE");
    auto* M = dynamic_cast<TSourceModule*>(FindDocModule(ExpandFileName(Arg)));
    if (!M) throw Exception(Format(res::SEdNotOpen, ExpandFileName(Arg)));
    MakeCurrent(M);
  } else if (Word == "Modules") {
    NoArgument();
    for (TDocModule* M : ModuleList().Snapshot())
      Print(M->GetFileName() + (M->GetModified() ? " modified\n" : " saved\n"));
  } else if (Word == "SaveFile") {
    NoArgument();
    Current().Save(false, true);
  } else if (Word == "SaveAll") {
    NoArgument();
    SaveModifiedModules();
  } else if (Word == "Close") {
    NoArgument();
    TSourceModule& M = Current();
    if (!M.Save(false, false)) return true;  // cancelled: the module stays open
    if (!M.Close(true)) return true;
    FCurrent = nullptr;
    if (ModuleList().Count()) MakeCurrent(dynamic_cast<TSourceModule*>(ModuleList().Item(0)));
  } else if (Word == "Rename") {
    NeedsArgument("NEWNAME");
    Current().RenameModule(Arg);
  } else if (Word == "Reload") {
    NoArgument();
    CheckFileDates(false);
  } else {
    return false;
  }
  return true;
}

}  // namespace nxs::script
