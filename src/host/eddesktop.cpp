#include "host/eddesktop.h"

#include "environment/desktop.h"
#include "host/resstrings.h"
#include "modules/docmodule.h"
#include "options/envoptions.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs::host {

TEdDesktop::TEdDesktop(const std::string& FileName) : FFileName(FileName.empty() ? "" : ExpandFileName(FileName)) {
  if (FFileName.empty()) return;
  FOptions = std::make_unique<TEnvironmentOptions>(SettingsStore());
  FOptions->SourceOptionGroups().WriteBuiltIns = false;
  FOptions->LoadOptions();
}

TEdDesktop::~TEdDesktop() = default;

std::string TEdDesktop::Load() {
  if (FFileName.empty()) return {};
  const TDesktopLoadReport Report = LoadSessionDesktop(FFileName, *FOptions);
  return Report.Current ? Report.Current->GetFileName() : std::string();
}

bool TEdDesktop::Run(const std::string& Word, const std::string& Rest) {
  if (Word != "SaveDesktop") return false;
  const std::string Arg = Trim(Rest);
  if (Arg.empty() && FFileName.empty()) throw Exception(Format(res::SEdExpectedArgument, Word, "FILE"));
  SaveSessionDesktop(Arg.empty() ? FFileName : ExpandFileName(Arg));
  return true;
}

void TEdDesktop::Finish() {
  if (!FFileName.empty() && AutoSaveDesktop(*FOptions)) SaveSessionDesktop(FFileName);
}

}  // namespace nxs::host
