// The debugger options: what the manager and the kernels read (integrated debugging, the
// debugger key mapping, the rebuild question, what the event log keeps), stored in the
// settings store, with one change notification per update.
#pragma once

#include <functional>
#include <string>

namespace nxs {

class TSettingsStore;

class TDebugMgrOptions {
 public:
  TDebugMgrOptions() = default;

  // Changes between BeginUpdate and EndUpdate give one call of the change callback.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  // Marks the options changed and, outside an update, calls the change callback.
  void Changed();
  void SetOnChange(std::function<void()> OnChange) { FOnChange = std::move(OnChange); }

  void Load(TSettingsStore& Store, const std::string& Section);
  void Save(TSettingsStore& Store, const std::string& Section) const;
  // Copies the option values (not the update state or callback) from Source.
  void AssignValues(const TDebugMgrOptions& Source);

  bool FChanged = false;
  int FUpdateCount = 0;
  bool FIntegratedDebugging = true;
  bool FMapVD32Keys = false;
  bool FReadOnlyOnRun = false;
  bool FRearrangeLocalMenu = true;
  bool FPromptToRebuild = true;
  std::string FLogColors;
  bool FUseLogColors = true;
  // The event log keeps at most this many lines unless it is unlimited.
  int FLogLength = 10000;
  bool FLogUnlimited = false;
  bool FLogClearOnStartup = true;
  bool FLogAutoScroll = true;
  bool FLogIncludeProcessInfo = true;
  bool FLogProcessMessages = true;
  bool FLogThreadMessages = true;
  bool FLogBPMessages = true;
  bool FLogModuleMessages = true;
  std::string FAdditionalEventLogTypes;
  std::string FAdditionalEventLogColors;
  // Set on a project's local copy: its options override the global ones.
  bool FLocalOverride = false;
  // The program the local copy belongs to.
  std::string FProcess;
  int FOverridePromptResult = 0;
  bool FAutoCompleteExpressionDialogs = true;
  bool FAllowSideEffectsInWatches = false;
  bool FAutoCloseDebuggerViews = false;

 private:
  std::function<void()> FOnChange;
};

}  // namespace nxs
