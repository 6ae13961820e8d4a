#include "debugger/debugoptions.h"

#include "shared/settings.h"

namespace nxs {

namespace {

// The stored options, by the name each is stored under.
struct TBoolOption {
  const char* Name;
  bool TDebugMgrOptions::*Field;
};
struct TIntOption {
  const char* Name;
  int TDebugMgrOptions::*Field;
};
struct TStrOption {
  const char* Name;
  std::string TDebugMgrOptions::*Field;
};

constexpr TBoolOption BoolOptions[] = {
    {"Integrated Debugging", &TDebugMgrOptions::FIntegratedDebugging},
    {"Map Debugger Keys", &TDebugMgrOptions::FMapVD32Keys},
    {"Read Only On Run", &TDebugMgrOptions::FReadOnlyOnRun},
    {"Rearrange Local Menu", &TDebugMgrOptions::FRearrangeLocalMenu},
    {"Prompt To Rebuild", &TDebugMgrOptions::FPromptToRebuild},
    {"Use Log Colors", &TDebugMgrOptions::FUseLogColors},
    {"Log Unlimited", &TDebugMgrOptions::FLogUnlimited},
    {"Log Clear On Startup", &TDebugMgrOptions::FLogClearOnStartup},
    {"Log Auto Scroll", &TDebugMgrOptions::FLogAutoScroll},
    {"Log Include Process Info", &TDebugMgrOptions::FLogIncludeProcessInfo},
    {"Log Process Messages", &TDebugMgrOptions::FLogProcessMessages},
    {"Log Thread Messages", &TDebugMgrOptions::FLogThreadMessages},
    {"Log Breakpoint Messages", &TDebugMgrOptions::FLogBPMessages},
    {"Log Module Messages", &TDebugMgrOptions::FLogModuleMessages},
    {"Auto Complete Expression Dialogs", &TDebugMgrOptions::FAutoCompleteExpressionDialogs},
    {"Allow Side Effects In Watches", &TDebugMgrOptions::FAllowSideEffectsInWatches},
    {"Auto Close Debugger Views", &TDebugMgrOptions::FAutoCloseDebuggerViews},
};
constexpr TIntOption IntOptions[] = {
    {"Log Length", &TDebugMgrOptions::FLogLength},
    {"Override Prompt Result", &TDebugMgrOptions::FOverridePromptResult},
};
constexpr TStrOption StrOptions[] = {
    {"Log Colors", &TDebugMgrOptions::FLogColors},
    {"Additional Event Log Types", &TDebugMgrOptions::FAdditionalEventLogTypes},
    {"Additional Event Log Colors", &TDebugMgrOptions::FAdditionalEventLogColors},
};

}  // namespace

void TDebugMgrOptions::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0 && FChanged) Changed();
}

void TDebugMgrOptions::Changed() {
  FChanged = true;
  if (FUpdateCount > 0) return;
  FChanged = false;
  if (FOnChange) FOnChange();
}

void TDebugMgrOptions::Load(TSettingsStore& Store, const std::string& Section) {
  for (const auto& O : BoolOptions) this->*O.Field = Store.ReadBool(Section, O.Name, this->*O.Field);
  for (const auto& O : IntOptions)
    this->*O.Field = static_cast<int>(Store.ReadInteger(Section, O.Name, this->*O.Field));
  for (const auto& O : StrOptions) this->*O.Field = Store.ReadString(Section, O.Name, this->*O.Field);
  if (FLogLength < 1) FLogLength = 1;
}

void TDebugMgrOptions::Save(TSettingsStore& Store, const std::string& Section) const {
  TSettingsUpdate Update(Store);
  for (const auto& O : BoolOptions) Store.WriteBool(Section, O.Name, this->*O.Field);
  for (const auto& O : IntOptions) Store.WriteInteger(Section, O.Name, this->*O.Field);
  for (const auto& O : StrOptions) Store.WriteString(Section, O.Name, this->*O.Field);
}

void TDebugMgrOptions::AssignValues(const TDebugMgrOptions& Source) {
  for (const auto& O : BoolOptions) this->*O.Field = Source.*O.Field;
  for (const auto& O : IntOptions) this->*O.Field = Source.*O.Field;
  for (const auto& O : StrOptions) this->*O.Field = Source.*O.Field;
  FLocalOverride = Source.FLocalOverride;
  FProcess = Source.FProcess;
}

}  // namespace nxs
