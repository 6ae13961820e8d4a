#include "modules/modulescope.h"

#include "modules/filehist.h"
#include "modules/sourcemodule.h"
#include "options/envoptions.h"
#include "shared/settings.h"

namespace nxs {

TSourceModuleScope::TSourceModuleScope() {
  FOptions = std::make_unique<TEnvironmentOptions>(SettingsStore());
  FOptions->SourceOptionGroups().WriteBuiltIns = false;
  FOptions->LoadOptions();
  FHistoryLink = std::make_unique<TFileHistoryOptionsLink>(*FOptions);
  InitSourceModules();
}

TSourceModuleScope::~TSourceModuleScope() {
  DoneSourceModules();
  FHistoryLink.reset();
}

}  // namespace nxs
