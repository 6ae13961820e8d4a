// The option registry (TOptionManager, reached through OptionManager): every option a build
// configuration can store, organised in tasks (one per build tool) and option groups (the
// pages of the options dialog), and the platform checks that say where an option applies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "projectfiles/optionargs.h"
#include "shared/exceptions.h"
#include "shared/text.h"

namespace nxs {

class IProjectContext;
class TCustomTask;
class TOptionGroup;

class EOptionAlreadyExists : public Exception {
 public:
  using Exception::Exception;
};
class EOptionNotFound : public Exception {
 public:
  using Exception::Exception;
};
// Valid for Platform when Platforms is empty, or Platform is one of them (exact comparison);
// with no platform, when the project targets exactly one platform and it is listed.
bool PlatformIsValid(const std::string& Platform, const std::vector<std::string>& Platforms,
                     IProjectContext* Project);

// Personality filters: an empty list lets every personality through.
bool FiltersAllow(const std::vector<std::string>& Filters, const std::string& Personality);

class TProjectOption {
 public:
  explicit TProjectOption(std::string Name) : FName(std::move(Name)) {}
  TProjectOption(const TProjectOption&) = delete;  // registered by identity
  TProjectOption& operator=(const TProjectOption&) = delete;

  const std::string& Name() const { return FName; }
  const std::string& Description() const { return FDescription; }
  void SetDescription(std::string V) { FDescription = std::move(V); }
  const std::string& LongDescription() const { return FLongDescription; }
  void SetLongDescription(std::string V) { FLongDescription = std::move(V); }
  bool ArgumentRequired() const { return FArgumentRequired; }
  void SetArgumentRequired(bool V) { FArgumentRequired = V; }
  const std::string& DefaultValue() const { return FDefaultValue; }
  void SetDefaultValue(std::string V) { FDefaultValue = std::move(V); }
  // Never null: an option without a described argument takes a string.
  const IOTAOptionArgument* Argument() const { return FArgument.get(); }
  void SetArgument(std::shared_ptr<IOTAOptionArgument> V);
  bool ExcludeFromDefaultSave() const { return FExcludeFromDefaultSave; }
  void SetExcludeFromDefaultSave(bool V) { FExcludeFromDefaultSave = V; }
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  TProjectOption* Child(int Index) const { return FChildren.at(static_cast<size_t>(Index)); }
  void AddChild(TProjectOption* Child) { FChildren.push_back(Child); }
  const std::string& GroupName() const { return FGroupName; }
  void SetGroupName(std::string V) { FGroupName = std::move(V); }
  bool Hidden() const { return FHidden; }
  void SetHidden(bool V) { FHidden = V; }
  const std::string& EnabledText() const { return FEnabledText; }
  void SetEnabledText(std::string V) { FEnabledText = std::move(V); }
  const std::string& DisabledText() const { return FDisabledText; }
  void SetDisabledText(std::string V) { FDisabledText = std::move(V); }
  const std::string& TaskName() const { return FTaskName; }
  void SetTaskName(std::string V) { FTaskName = std::move(V); }
  const std::vector<std::string>& Filters() const { return FFilters; }
  void AddFilter(const std::string& Filter);
  void RemoveFilter(const std::string& Filter);
  const std::string& Parent() const { return FParentName; }
  void SetParent(std::string V) { FParentName = std::move(V); }
  const std::vector<std::string>& GetPlatforms() const { return FPlatforms; }
  void SetPlatforms(std::vector<std::string> V) { FPlatforms = std::move(V); }
  uint32_t GetPlatformMask() const { return FPlatformMask; }
  void SetPlatformMask(uint32_t V) { FPlatformMask = V; }
  // A local override of a source file does not inherit this option from its configuration.
  bool LocalPreventMerge() const { return FLocalPreventMerge; }
  void SetLocalPreventMerge(bool V) { FLocalPreventMerge = V; }
  // The compiler's command-line form of the option, for the task that runs the tool.
  const std::string& Switch() const { return FSwitch; }
  void SetSwitch(std::string V) { FSwitch = std::move(V); }

  // Whether a value may be set; the registry's listeners may refuse.
  bool Changing(const std::string& NewValue) const { return true; }
  // Valid for the option's own platforms, its group's and its task's.
  bool SupportsPlatform(const std::string& Platform, IProjectContext* Project = nullptr) const;
  bool ValidFor(const std::string& Platform, const std::string& Personality) const;
  bool ValidFor(IProjectContext& Project, const std::string& Platform) const;

  // Why Value cannot be read as this option's argument; empty when it can.
  std::string CheckValue(const std::string& Value) const { return FArgument->CheckValue(Value); }
  // The list face of the argument, or null.
  const IOTAListArgument* ListArgument() const { return AsListArgument(FArgument.get()); }

 private:
  std::string FName;
  std::string FDescription;
  std::string FLongDescription;
  bool FArgumentRequired = false;
  std::string FDefaultValue;
  std::shared_ptr<IOTAOptionArgument> FArgument = std::make_shared<TArgumentInfo>(atString);
  bool FExcludeFromDefaultSave = false;
  std::vector<TProjectOption*> FChildren;  // owned by the task that owns this option
  std::string FGroupName;
  bool FHidden = false;
  std::string FEnabledText;
  std::string FDisabledText;
  std::string FTaskName;
  std::vector<std::string> FFilters;
  std::string FParentName;
  std::vector<std::string> FPlatforms;
  bool FLocalPreventMerge = false;
  std::string FPlatform;
  uint32_t FPlatformMask = 0;
  std::string FSwitch;
};

using TOptionMap = std::unordered_map<std::string, std::shared_ptr<TProjectOption>, CaseInsensitiveHash, CaseInsensitiveEqual>;

class TOptionGroup {
 public:
  TOptionGroup(std::string Name, std::string Description = {}) : FName(std::move(Name)), FDescription(std::move(Description)) {}
  virtual ~TOptionGroup() = default;
  TOptionGroup(const TOptionGroup&) = delete;  // registered by identity
  TOptionGroup& operator=(const TOptionGroup&) = delete;

  const std::string& Name() const { return FName; }
  const std::string& Description() const { return FDescription; }
  const std::string& ParentName() const { return FParentName; }
  void SetParentName(std::string V) { FParentName = std::move(V); }
  const std::string& HelpKeyword() const { return FHelpKeyword; }
  void SetHelpKeyword(std::string V) { FHelpKeyword = std::move(V); }
  bool Hidden() const { return FHidden; }
  void SetHidden(bool V) { FHidden = V; }
  int PageIndex() const { return FPageIndex; }
  void SetPageIndex(int V) { FPageIndex = V; }
  const std::vector<std::string>& GetPlatforms() const { return FPlatforms; }
  void SetPlatforms(std::vector<std::string> V) { FPlatforms = std::move(V); }
  uint32_t GetPlatformMask() const { return FPlatformMask; }
  void SetPlatformMask(uint32_t V) { FPlatformMask = V; }
  const std::vector<std::string>& Filters() const { return FFilters; }
  void AddFilter(const std::string& Filter);
  void RemoveFilter(const std::string& Filter);

  // Raises EOptionAlreadyExists for a name the group already holds.
  void AddOption(std::shared_ptr<TProjectOption> Option);
  void AddGroup(std::shared_ptr<TOptionGroup> Group);
  // Raises EOptionNotFound for a name the group does not hold.
  TProjectOption& GetOption(const std::string& Name) const;
  TOptionGroup* GetGroup(const std::string& Name) const;
  // In the order they were added.
  const std::vector<std::shared_ptr<TProjectOption>>& Options() const { return FOptionList; }
  const std::vector<std::shared_ptr<TOptionGroup>>& Groups() const { return FGroupList; }

  virtual bool SupportsPlatform(const std::string& Platform, IProjectContext* Project = nullptr) const;
  bool ValidFor(const std::string& Platform, const std::string& Personality) const;
  bool ValidFor(IProjectContext& Project, const std::string& Platform) const;

 private:
  TOptionMap FOptions;
  std::vector<std::shared_ptr<TProjectOption>> FOptionList;
  std::vector<std::shared_ptr<TOptionGroup>> FGroupList;
  std::vector<std::string> FFilters;
  std::string FHelpKeyword;
  std::string FParentName;
  std::string FName;
  std::string FDescription;
  bool FHidden = false;
  std::vector<std::string> FPlatforms;
  int FPageIndex = 0;
  uint32_t FPlatformMask = 0;
};

// A group that a build tool's description made; it applies where its task applies.
class TMSBuildOptionGroup : public TOptionGroup {
 public:
  TMSBuildOptionGroup(std::string Name, std::string Description, std::string TaskName)
      : TOptionGroup(std::move(Name), std::move(Description)), FTaskName(std::move(TaskName)) {}
  const std::string& TaskName() const { return FTaskName; }
  bool SupportsPlatform(const std::string& Platform, IProjectContext* Project = nullptr) const override;

 private:
  std::string FTaskName;
};

class TCustomTask {
 public:
  explicit TCustomTask(std::string Name, std::string Description = {})
      : FName(std::move(Name)), FDescription(std::move(Description)) {}
  virtual ~TCustomTask() = default;
  TCustomTask(const TCustomTask&) = delete;  // registered by identity
  TCustomTask& operator=(const TCustomTask&) = delete;

  const std::string& Name() const { return FName; }
  const std::string& Description() const { return FDescription; }
  int PageIndex() const { return FPageIndex; }
  const std::vector<std::string>& Filters() const { return FFilters; }
  void AddFilter(const std::string& Filter);
  void RemoveFilter(const std::string& Filter);
  const std::vector<std::string>& GetFileExtensions() const { return FFileExtensions; }
  const std::vector<std::string>& GetPlatforms() const { return FPlatforms; }
  void SetPlatforms(std::vector<std::string> V) { FPlatforms = std::move(V); }

  // Raises EOptionAlreadyExists for a name the task already holds.
  void AddOption(std::shared_ptr<TProjectOption> Option);
  void AddGroup(std::shared_ptr<TOptionGroup> Group);
  // The task's own options first, then its groups' (depth first); null when none.
  TProjectOption* FindOption(const std::string& Name) const;
  // Raises EOptionNotFound for a name the task does not hold.
  TProjectOption& GetOption(const std::string& Name) const;
  TOptionGroup* GetGroup(const std::string& Name) const;
  const std::vector<std::shared_ptr<TOptionGroup>>& Groups() const { return FGroups; }
  std::vector<std::shared_ptr<TProjectOption>> GetAllOptions() const;
  std::vector<std::string> GetAllOptionNames() const;

  // Reads the task's description; nothing for a task registered with its options.
  virtual void Initialize() {}
  bool SupportsPlatform(const std::string& Platform, IProjectContext* Project = nullptr) const;
  bool ValidFor(const std::string& Platform, const std::string& Personality) const;
  bool ValidFor(IProjectContext& Project, const std::string& Platform) const;

 protected:
  std::string FName;
  int FPageIndex = 0;
  std::string FDescription;
  std::vector<std::string> FFilters;
  std::vector<std::string> FFileExtensions;
  std::vector<std::string> FPlatforms;
  TOptionMap FOptions;
  std::vector<std::shared_ptr<TProjectOption>> FOptionList;
  std::vector<std::shared_ptr<TOptionGroup>> FGroups;
};

// Told when tasks and groups come and go.
class IOptionManagerListener {
 public:
  virtual ~IOptionManagerListener() = default;
  virtual void TaskRegistered(TCustomTask& Task) {}
  virtual void TaskUnregistered(TCustomTask& Task) {}
  virtual void GroupRegistered(TOptionGroup& Group) {}
  virtual void GroupUnregistered(TOptionGroup& Group) {}
};

class TOptionManager {
 public:
  TOptionManager() = default;
  TOptionManager(const TOptionManager&) = delete;  // the process's one registry
  TOptionManager& operator=(const TOptionManager&) = delete;

  // Registry-wide options: the first option of a name is the one the registry answers with.
  void AddOption(std::shared_ptr<TProjectOption> Option);
  void RemoveOption(const std::string& Name);
  // Null for a name no task or group registered.
  TProjectOption* GetOption(const std::string& Name) const;
  bool OptionExists(const std::string& Name) const { return GetOption(Name) != nullptr; }
  // The names of a task's options; every registered name for an empty task name.
  std::vector<std::string> GetOptionNames(const std::string& TaskName = {}) const;
  TCustomTask* GetTask(const std::string& Name) const;
  TOptionGroup* GetGroup(const std::string& Name) const;
  std::vector<TCustomTask*> AllTasks() const;

  // Initializes the task and registers it with its groups and options. A name already
  // registered raises "Task with name ..." and leaves the registry unchanged.
  void RegisterTask(std::shared_ptr<TCustomTask> Task);
  void UnregisterTask(const std::string& Name);
  // A group name already registered raises "OptionGroup with name ..." and changes nothing.
  void RegisterGroup(std::shared_ptr<TOptionGroup> Group);
  void UnregisterGroup(const std::string& Name);

  std::vector<TCustomTask*> FilterTasks(const std::string& Platform) const;
  std::vector<TCustomTask*> FilterTasks(IProjectContext& Project, const std::string& Platform) const;
  std::vector<TOptionGroup*> FilterGroups(const std::string& Platform) const;
  std::vector<TOptionGroup*> FilterGroups(IProjectContext& Project, const std::string& Platform) const;

  void AddListener(IOptionManagerListener* Listener);
  void RemoveListener(IOptionManagerListener* Listener);

 private:
  void RemoveTaskOptions(const TCustomTask& Task);

  TOptionMap FOptions;
  std::vector<std::string> FOptionOrder;
  std::vector<std::shared_ptr<TCustomTask>> FTasks;
  std::vector<std::shared_ptr<TOptionGroup>> FGroups;
  std::vector<IOptionManagerListener*> FListeners;
};

// The process's registry, made on first use.
TOptionManager& OptionManager();

// Module operations over OptionManager().
void RegisterTask(std::shared_ptr<TCustomTask> Task);
void UnregisterTask(const std::string& Name);
void RegisterOptionGroup(std::shared_ptr<TOptionGroup> Group);
void UnregisterOptionGroup(const std::string& Name);

}  // namespace nxs
