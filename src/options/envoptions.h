// The environment options object: every option set of the environment, loaded from and saved
// to the settings store, with the change notification that editors, autorecover and the other
// readers subscribe to, and the values derived from the options (search and replace flags,
// the tab rack, the source options for a file).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "options/historylists.h"
#include "options/optionset.h"
#include "options/optiontables.h"
#include "options/sourceoptions.h"
#include "options/tabstops.h"
#include "shared/event.h"
#include "shared/searchflags.h"

namespace nxs {

class TSettingsStore;

// Sent after options changed. Set is null when every set was read again.
class TEvOptionsChanged : public TEvArgs {
 public:
  TOptionSet* Set = nullptr;
  int SubKey = 0;
  std::string OptionName;  // empty when more than one option changed
};

// The name an older version's numeric "Editor SpeedSetting" stands for.
std::string SpeedSettingName(int64_t Value);

class TEnvironmentOptions {
 public:
  // Makes the sets with their defaults; LoadOptions reads them.
  explicit TEnvironmentOptions(TSettingsStore& Store);
  ~TEnvironmentOptions();
  TEnvironmentOptions(const TEnvironmentOptions&) = delete;  // subscribers and sets point into it
  TEnvironmentOptions& operator=(const TEnvironmentOptions&) = delete;

  TSettingsStore& Store() { return FStore; }

  void LoadOptions();
  void SaveOptions();
  bool GetIsModified() const;
  // Broadcasts a change of every set.
  void SendModified();
  TEvent<TEvOptionsChanged>& OnChange() { return FOnChange; }
  // Changes between BeginUpdate and EndUpdate send one notification at the end.
  void BeginUpdate();
  void EndUpdate();

  TOptionSet& EditorAttributes() { return *FSets.EditorAttributes; }
  TOptionSet& EditorOptions() { return *FSets.EditorOptions; }
  TOptionSet& AutoSave() { return *FSets.AutoSave; }
  TOptionSet& Debugging() { return *FSets.Debugging; }
  TOptionSet& Compiling() { return *FSets.Compiling; }
  TOptionSet& Repository() { return *FSets.Repository; }
  TOptionSet& CodeInsight() { return *FSets.CodeInsight; }
  TOptionSet& SearchOptions() { return *FSets.SearchOptions; }
  TOptionSet& ReplaceOptions() { return *FSets.ReplaceOptions; }
  TOptionSet& EditorSourceOptions() { return *FSets.EditorSourceOptions; }
  TOptionSet& StartupOptions() { return *FSets.StartupOptions; }
  TOptionSet& GlobalOptions() { return *FSets.GlobalOptions; }
  TOptionSet& ProjectManagerOptions() { return *FSets.ProjectManagerOptions; }
  TOptionSet& AutoRecoverOptions() { return *FSets.AutoRecoverOptions; }

  // Every set, the built-in ones first, then the add-ins in the order they registered.
  std::vector<TOptionSet*> Sets() const;
  // The set stored at KeyPath, or the set stored per subkey of which KeyPath names one
  // subkey (SubKey receives its index; -1 when KeyPath names the whole set).
  TOptionSet* FindSet(std::string_view KeyPath, int& SubKey) const;

  // Validates and changes one option, runs its on-change hook and sends the notification.
  // A refused value raises Exception and changes nothing.
  void SetOption(TOptionSet& Set, int SubKey, std::string_view Name, const TOptionValue& Value);
  // Writes one option's value to the store.
  void StoreOption(TOptionSet& Set, int SubKey, std::string_view Name);
  // SetOption and StoreOption as one step under the settings file's lock, with the option's
  // values in the set's other slots read afresh first: a check against them (no two source
  // option groups claim one extension) holds against what other processes stored, until
  // the value is stored. A refused value raises Exception and changes nothing.
  void SetAndStoreOption(TOptionSet& Set, int SubKey, std::string_view Name, const TOptionValue& Value);
  // One option set from the text a user typed for it: KeyPath names the set (one slot of a
  // set stored per subkey), Name the option. The value is parsed and checked before anything
  // is written, so a refused one leaves the store as it was; it is then checked again under
  // the lock, against the source option groups the store holds then (another process's,
  // written since this one found none), and only when it passes stored (SetAndStoreOption)
  // together with the built-in groups where the store still has none. Raises for a key path that names no slot or
  // an unknown option, and Exception for a refused value.
  void SetOptionFromText(std::string_view KeyPath, std::string_view Name, std::string_view Text);

  TSearchFlags GetSearchFlags() const;
  void SetSearchFlags(TSearchFlags Flags);
  TSearchFlags GetReplaceFlags() const;
  void SetReplaceFlags(TSearchFlags Flags);

  TSourceOptionGroups& SourceOptionGroups() { return *FGroups; }
  // The tab rack of the current source option group; null when its text does not parse.
  const TTabStops* GetTabRackPtr();
  int MoveToOptionsForFileType(std::string_view FileName) { return FGroups->MoveToOptionsForFileType(FileName); }
  std::string GetExtensionsForTypeID(std::string_view ID) const { return FGroups->GetExtensionsForTypeID(ID); }
  int AddEditorSourceOption(const std::string& ID) { return FGroups->AddEditorSourceOption(ID); }
  void DeleteEditorSourceOption(int Index) { FGroups->DeleteEditorSourceOption(Index); }
  void LoadEditorSourceOptions() { FGroups->LoadEditorSourceOptions(); }
  void LoadDefaultEditorSourceOptions() { FGroups->LoadDefaultEditorSourceOptions(); }
  void LoadPairTable(int Index) { FGroups->LoadPairTable(Index); }

  THistoryLists& HistoryLists() { return FHistoryLists; }

  // A plug-in's own options, loaded now and then loaded and saved with the rest. Raises
  // Exception when a set is already stored at the same key path.
  void RegisterAddInOptions(std::shared_ptr<TOptionSet> Options);
  void UnregisterAddInOptions(const TOptionSet* Options);

 private:
  void Notify(TOptionSet* Set, int SubKey, std::string_view Name);
  void LoadSet(TOptionSet& Set);

  TSettingsStore& FStore;
  TBuiltInOptionSets FSets;
  std::unique_ptr<TSourceOptionGroups> FGroups;
  THistoryLists FHistoryLists;
  std::vector<std::shared_ptr<TOptionSet>> FAddIns;
  TEvent<TEvOptionsChanged> FOnChange;
  int FUpdateCount = 0;
  bool FPendingNotify = false;
  bool FModified = false;
  TTabStops FTabRack;
};

// The options of Store as a command reads them, writing nothing: a store that could not be
// read raises Exception (its defaults would pass for the user's own settings), and the
// built-in source option groups are not written.
std::unique_ptr<TEnvironmentOptions> LoadStoredOptions(TSettingsStore& Store);

// The process's options, made and loaded from SettingsStore() on first use.
TEnvironmentOptions& EnvironmentOptions();
// Drops the process's options (tests, and after the settings store was reset).
void ResetEnvironmentOptions();

}  // namespace nxs
