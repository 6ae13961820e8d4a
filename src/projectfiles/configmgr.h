// TBuildConfigurations: one project's configuration tree, platform list and active
// configuration and platform, loaded from and saved to the project document as property
// groups whose conditions encode the tree.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "projectfiles/conditions.h"
#include "projectfiles/configs.h"
#include "shared/event.h"

namespace nxs {

class IProjectContext;
class TNode;

// One platform of a project's list.
struct TPlatformInfo {
  std::string Name;
  bool Enabled = true;
  std::string Profile;  // empty while the platform uses its default profile
  std::string PlatformSDK;
  std::string ActiveMobileDevice;
};

// The project's platforms; an owning list, sorted by name before saving.
class TPlatformList {
 public:
  TPlatformInfo& Add(const std::string& Name);
  bool Contains(const std::string& Name) const { return IndexOfName(Name) >= 0; }
  TPlatformInfo* GetPlatformInfo(const std::string& Name);
  const TPlatformInfo* GetPlatformInfo(const std::string& Name) const;
  int IndexOfName(const std::string& Name) const;
  std::vector<std::string> NamesToArray() const;
  void Remove(const std::string& Name);
  void Clear() { FItems.clear(); }
  void Sort();
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::vector<TPlatformInfo>& Items() const { return FItems; }

 private:
  std::vector<TPlatformInfo> FItems;
};

// Listeners of a manager; called only while it is not loading.
class IConfigurationNotifier {
 public:
  virtual ~IConfigurationNotifier() = default;
  virtual void ItemAdded(TBuildConfiguration& Config) {}
  virtual void ItemRemoved(const std::string& Name, const std::string& Key) {}
  virtual void ItemRenamed(TBuildConfiguration& Config, const std::string& OldName) {}
  virtual void ItemMoved(TBuildConfiguration& Config) {}
  virtual void ActiveConfigurationChanged(const std::string& Name, const std::string& Platform) {}
  virtual void OptionValueChanged(TBuildConfiguration& Config, const std::string& Name) {}
};

class TEvOptionValueChanged : public TEvArgs {
 public:
  TEvOptionValueChanged(TBuildConfiguration& Config, std::string Name) : Config(Config), Name(std::move(Name)) {}
  TBuildConfiguration& Config;
  std::string Name;
};

struct TConfigManagerOptions {
  // Report stored values their option cannot read while loading (they are kept as they are).
  bool CheckValuesOnLoad = true;
};

class TBuildConfigurations {
 public:
  // Project may be null (an option set's own manager); then paths are taken as given.
  explicit TBuildConfigurations(IProjectContext* Project);
  ~TBuildConfigurations();
  TBuildConfigurations(const TBuildConfigurations&) = delete;  // owns the tree
  TBuildConfigurations& operator=(const TBuildConfigurations&) = delete;

  IProjectContext* Project() const { return FProject; }
  // The directory the project's relative paths start from, with its trailing delimiter.
  std::string ProjectDir() const;
  bool Loading() const { return FLoading; }
  TConfigManagerOptions& Options() { return FOptions; }

  TBuildConfiguration& GetBaseConfiguration();
  // Raises EDuplicateConfiguration for a name in use, EInvalidName for a name MSBuild
  // cannot hold. Parent defaults to "Base".
  TBuildConfiguration& AddConfiguration(const std::string& Name, TBuildConfiguration* Parent = nullptr);
  // By name without regard to case; with a platform that configuration's sub-configuration
  // of it. Null when there is none.
  TBuildConfiguration* GetConfiguration(const std::string& Name, const std::string& Platform = {}) const;
  // As GetConfiguration, raising EUnknownConfiguration.
  TBuildConfiguration& Configuration(const std::string& Name, const std::string& Platform = {}) const;
  TBuildConfiguration* GetConfigurationByKey(const std::string& Key) const;
  TLocalOverride* GetLocalConfiguration(const std::string& Key, const std::string& FileName) const;
  std::vector<TLocalOverride*> GetLocalConfigurations(const std::string& FileName) const;
  // Every configuration without platform, depth first from "Base".
  std::vector<TBuildConfiguration*> GetGlobalConfigurations() const;
  std::vector<std::string> GetNames() const;
  // With Confirm the user is asked first; false when the user said no.
  bool Remove(TBuildConfiguration& Configuration, bool Confirm);
  void RemoveLocalOverrides(const std::string& FileName);
  // Renames a configuration (not "Base"); EDuplicateConfiguration for a name in use.
  void Rename(TBuildConfiguration& Configuration, const std::string& NewName);

  // The active configuration: the stored name when such a configuration exists, else the
  // first configuration other than "Base", else "Base".
  TBuildConfiguration& GetActiveConfiguration();
  void SetActiveConfiguration(const std::string& Name);
  std::string GetActivePlatform() const;
  // Raises EUnknownPlatform for a platform the registry does not know.
  void SetActivePlatform(const std::string& Name);

  const TPlatformList& PlatformList() const { return FPlatformList; }
  std::vector<std::string> GetEnabledPlatforms() const;
  std::vector<std::string> GetSupportedPlatforms() const;
  bool GetPlatformEnabled(const std::string& Platform) const;
  void SetPlatformEnabled(const std::string& Platform, bool Enabled);
  bool GetPlatformSupported(const std::string& Platform) const { return FPlatformList.Contains(Platform); }
  void SetPlatformSupported(const std::string& Platform, bool Supported);
  bool GetPlatformAvailable(const std::string& Platform) const;
  std::string GetPlatformProfile(const std::string& Platform) const;
  // Profiles and SDK versions must be among the known ones (none are known on this machine
  // unless registered); an empty value returns to the default.
  void SetPlatformProfile(const std::string& Platform, const std::string& Profile);
  std::string GetPlatformSDK(const std::string& Platform) const;
  void SetPlatformSDK(const std::string& Platform, const std::string& SDK);
  bool UsingDefaultProfile(const std::string& Platform) const { return GetPlatformProfile(Platform).empty(); }
  std::string GetActiveMobileDevice(const std::string& Platform) const;
  void SetActiveMobileDevice(const std::string& Platform, const std::string& Device);
  void ClearActiveMobileDevice(const std::string& Platform);
  // The profiles and SDK versions that SetPlatformProfile and SetPlatformSDK accept.
  void SetKnownProfiles(std::vector<std::string> Profiles) { FKnownProfiles = std::move(Profiles); }
  void SetKnownSDKs(std::vector<std::string> SDKs) { FKnownSDKs = std::move(SDKs); }

  void AddNotifier(IConfigurationNotifier* Notifier);
  void RemoveNotifier(IConfigurationNotifier* Notifier);
  TEvent<TEvOptionValueChanged>& OnOptionValueChanged() { return FOnOptionValueChanged; }

  void Load(IMSProjectFile& ProjectFile);
  void Save(IMSProjectFile& ProjectFile);
  // Saves the configurations as the defaults of new projects (no project-level properties).
  void SaveAsDefaults(IMSProjectFile& ProjectFile);
  bool IsModified() const;
  void MarkModified() { FModified = true; }
  void MarkModifiedForRebuild() { FModified = true; }
  void ModuleRemoved(const std::string& FileName);
  void ProjectModuleRenamed(const std::string& OldName, const std::string& NewName);

  // Called by configurations.
  void OptionValueChanged(TBuildConfiguration& Config, const std::string& Name);
  void Register(TBuildConfiguration& Config);
  void Unregister(TBuildConfiguration& Config);
  // Remembers a group the next save must remove.
  void ForgetGroup(const std::string& Condition);
  // The option sets opened for this project, shared by the configurations that refer to them.
  std::shared_ptr<TNamedOptionSet> OpenOptionSet(const std::string& FileName);
  // What the last Load reported: option sets that could not be opened, stored values their
  // option cannot read. Load also shows them to the user, in one message.
  const std::vector<std::string>& LoadMessages() const { return FLoadMessages; }
  // The condition of the import that brings an option set into a configuration.
  static std::string ImportCondition(const std::string& Key, const std::string& StoredPath);

 private:
  std::string NewKey();
  void ReserveKeysIn(const std::vector<std::string>& Conditions);
  TBuildConfiguration& MakeChild(TBuildConfiguration& Parent, const std::string& Name, const std::string& Key);
  TNode* PlaceGroup(IMSProjectFile& ProjectFile, const std::string& Condition, TNode* After);
  TNode* WriteDefinition(IMSProjectFile& ProjectFile, TBuildConfiguration& Config, TNode* After);
  // False when the group holds no build-event property (it is then no build-event group).
  bool LoadBuildEvents(IMSProjectFile& ProjectFile, const std::string& Condition, TBuildConfiguration& Target);
  void ValidateName(const std::string& Name) const;
  // Returns the groups whose condition names a configuration and a platform or a file: the
  // build-event groups among them are read once the platforms are known.
  std::vector<std::pair<TConditionInfo, std::string>> LoadDefinitions(IMSProjectFile& ProjectFile,
                                                                      const std::vector<std::string>& Conditions);
  void LoadBuildEventGroups(IMSProjectFile& ProjectFile,
                            const std::vector<std::pair<TConditionInfo, std::string>>& Groups);
  void WriteBuildEvents(IMSProjectFile& ProjectFile, const std::string& Condition, const TBuildConfiguration* Source);
  void LoadPlatformList(IMSProjectFile& ProjectFile);
  void SavePlatformList(IMSProjectFile& ProjectFile);
  void SaveProjectProperties(IMSProjectFile& ProjectFile);
  void SaveBuildEvents(IMSProjectFile& ProjectFile);
  void SaveImports(IMSProjectFile& ProjectFile);
  void SaveTree(IMSProjectFile& ProjectFile, bool AsDefaults);
  void NotifyRemoved(const std::string& Name, const std::string& Key);
  std::string RelativeToProject(const std::string& FileName) const;
  std::string AbsoluteFromProject(const std::string& Stored) const;

  std::string FActiveCfg;
  std::string FActivePlatform;
  std::unique_ptr<TBuildConfiguration> FBaseConfiguration;
  std::unordered_map<std::string, TBuildConfiguration*, CaseInsensitiveHash, CaseInsensitiveEqual> FItems;
  // The configurations other than platform ones and local overrides by name, the first in
  // tree order for a name; rebuilt after a removal or a rename.
  mutable std::unordered_map<std::string, TBuildConfiguration*, CaseInsensitiveHash, CaseInsensitiveEqual> FNameIndex;
  mutable bool FNameIndexValid = false;
  int FKeyIndex = 0;
  bool FLoading = false;
  bool FModified = false;
  bool FLoadChanged = false;  // the load itself changed what the next save writes
  TEvent<TEvOptionValueChanged> FOnOptionValueChanged;
  TConfigManagerOptions FOptions;
  TPlatformList FPlatformList;
  IProjectContext* FProject;
  std::vector<IConfigurationNotifier*> FNotifiers;
  std::vector<std::string> FStaleGroups;         // groups of removed and renamed configurations
  std::vector<std::string> FBuildEventGroups;    // build-event groups last read or written
  std::vector<std::pair<std::string, std::string>> FImports;  // option-set imports last read or written
  std::vector<std::string> FLoadMessages;
  std::vector<std::string> FKnownProfiles;
  std::vector<std::string> FKnownSDKs;
  std::unordered_map<std::string, std::shared_ptr<TNamedOptionSet>, CaseInsensitiveHash, CaseInsensitiveEqual>
      FOpenSets;
  friend class TBuildConfiguration;
  friend class TNamedOptionSet;
};

}  // namespace nxs
