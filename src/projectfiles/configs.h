// Build configurations: the property bag every configuration is (TPropertyGroup), the
// configuration with its children, platform sub-configurations, local overrides and option
// set references (TBuildConfiguration), and the value lookup through option sets and
// ancestors.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "shared/exceptions.h"
#include "shared/text.h"

namespace nxs {

class IMSProjectFile;
class TBuildConfigurations;
class TNamedOptionSet;
class TProjectOption;
class TLocalOverride;
class TPlatformConfiguration;

class EDuplicateConfiguration : public Exception {
 public:
  using Exception::Exception;
};
class EUnknownConfiguration : public Exception {
 public:
  using Exception::Exception;
};
class ERequiresListArgument : public Exception {
 public:
  using Exception::Exception;
};
class EMergeNotAllowed : public Exception {
 public:
  using Exception::Exception;
};
class EInvalidOptionValue : public Exception {
 public:
  using Exception::Exception;
};

// One stored property: value, its own condition, the order it was read or added in, and
// whether a list value extends the inherited list.
struct TPropData {
  std::string Value;
  std::string Condition;
  int LoadPosition = 0;
  bool Merged = false;
};

enum TPropertyAssignType {
  patReplaceAll,       // the target is cleared, then every entry copied
  patReplaceExisting,  // every entry copied over the target's
  patPreserve,         // only entries the target does not have are copied
};

// A property bag stored as one MSBuild property group. The configuration layer's own
// TPropertyGroup; the document's node of the same name is msb::TPropertyGroup.
class TPropertyGroup {
 public:
  explicit TPropertyGroup(std::string Name);
  virtual ~TPropertyGroup() = default;
  // One property as the groups of the bag hold it.
  struct TStoredProperty {
    int Group = 0;  // among the groups of the bag's condition, in document order
    std::string Name, Value, Condition;
    bool Owned = true;  // it makes up the entry (false: another condition, kept as it is)
  };
  TPropertyGroup(const TPropertyGroup&) = delete;  // configurations are identities in a tree
  TPropertyGroup& operator=(const TPropertyGroup&) = delete;

  // The own entry; empty when there is none.
  std::string GetValue(const std::string& Name) const;
  // An empty value removes the entry. A change marks the bag modified and calls ValueChanged.
  void SetValue(const std::string& Name, const std::string& Value);
  bool HasValue(const std::string& Name) const;
  std::string GetCondition(const std::string& Name) const;
  void SetCondition(const std::string& Name, const std::string& Condition);
  bool GetMerged(const std::string& Name) const;
  void SetMerged(const std::string& Name, bool Merged);
  void Remove(const std::string& Name);
  virtual void Rename(const std::string& NewName);
  // Keeps an entry with an empty value.
  void WriteEmptyValue(const std::string& Name);
  // In load order.
  std::vector<std::string> GetPropertyNames() const;
  bool IsEmpty() const { return FProperties.empty(); }
  bool IsModified() const { return FModified; }
  void MarkModified() { FModified = true; }
  void ClearModified() { FModified = false; }
  void Clear();
  const std::string& GroupCondition() const { return FGroupCondition; }
  virtual std::string Name() const { return FName; }

  // Reads every property of every group whose condition means GroupCondition, in file
  // order, as the build engine evaluates them: a later unconditioned property replaces an
  // earlier one and sees it as "$(Name)".
  void Load(IMSProjectFile& ProjectFile, const std::string& GroupCondition);
  // Writes the entries back into the groups they were read from: a property whose entry did
  // not change stays as the file holds it (every occurrence, in its place); a changed entry
  // takes the place of its first occurrence; new entries go to the end of the first group.
  virtual void Save(IMSProjectFile& ProjectFile);
  void AssignTo(TPropertyGroup& Target, TPropertyAssignType AssignType) const;

 protected:
  virtual void ValueChanged(const std::string& Name) {}
  // Turns a property as the file holds it into an entry (list merging, CDATA).
  virtual void ReadStoredProperty(const std::string& Name, const std::string& Value, const std::string& Condition);
  // The text written for an entry.
  virtual std::string StoredValue(const std::string& Name, const TPropData& Data) const;
  // Writes the entries (and Extra, at the end of the first group) into the groups of the
  // bag's condition, changing only what differs.
  void WriteGroups(IMSProjectFile& ProjectFile, const std::vector<TStoredProperty>& Extra);
  TPropData& Entry(const std::string& Name);
  const TPropData* Find(const std::string& Name) const;

  bool FModified = false;
  std::string FGroupCondition;
  std::string FName;
  std::unordered_map<std::string, TPropData, CaseInsensitiveHash, CaseInsensitiveEqual> FProperties;
  // Every property of the bag's groups as last read or written, so that a save changes only
  // what the bag changed and a hand-edited group loses nothing.
  std::vector<TStoredProperty> FStored;
  // The entries as last read or written.
  std::unordered_map<std::string, TPropData, CaseInsensitiveHash, CaseInsensitiveEqual> FLoaded;
  int FNextPosition = 0;
};

// The settings of one build event ("PreBuildEvent", "PreLinkEvent", "PostBuildEvent"), kept as
// the text the file holds.
struct TBuildEvent {
  std::string Command;
  std::string ExecuteWhen;
  std::string CancelOnError;
  std::string IgnoreExitCode;  // written only when set
  bool operator==(const TBuildEvent&) const = default;
};

// A reference to an option set, with the path as the project file holds it.
struct TOptionSetReference {
  std::shared_ptr<TNamedOptionSet> OptionSet;
  std::string StoredPath;
};

class TBuildConfiguration : public TPropertyGroup {
 public:
  using TTempListener = std::function<void(TBuildConfiguration& Config, const std::string& Name)>;

  TBuildConfiguration(TBuildConfigurations* Owner, std::string Name, std::string Key, TBuildConfiguration* Parent);
  ~TBuildConfiguration() override;

  const std::string& Key() const { return FKey; }
  TBuildConfiguration* Parent() const { return FParent; }
  TBuildConfigurations* Owner() const { return FOwner; }
  const std::vector<std::unique_ptr<TBuildConfiguration>>& Children() const { return FChildren; }
  TBuildConfiguration* GetChild(int Index) const { return FChildren.at(static_cast<size_t>(Index)).get(); }
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  // The platform of a platform sub-configuration; empty otherwise.
  const std::string& Platform() const { return FPlatform; }
  // The platform a value lookup of this configuration is for.
  virtual std::string GetEffectivePlatform() const { return FPlatform; }

  // The platform sub-configurations, sorted by platform.
  std::vector<TPlatformConfiguration*> Platforms() const;
  // Null when missing and not to be made.
  TPlatformConfiguration* GetPlatformConfiguration(const std::string& Platform, bool Create = false);
  bool HasPlatformConfiguration(const std::string& Platform) const;
  // FileName absolute. Null when missing.
  TLocalOverride* GetLocalOverride(const std::string& FileName) const;
  // Sorted by file name.
  std::vector<TLocalOverride*> GetLocalOverrides() const;
  bool HasLocalOverride(const std::string& FileName) const { return GetLocalOverride(FileName) != nullptr; }
  // The override of FileName, made when missing.
  TLocalOverride* SetLocalOverride(const std::string& FileName);
  void RemoveOverride(const std::string& FileName);

  // Values. GetValue follows the lookup order: own entry (a merged list joined with the
  // inherited list), option sets, ancestors, the option's default. Without Inherited only
  // the own entry.
  std::string GetValue(const std::string& Name, bool Inherited = true) const;
  // As GetValue for the given platform (a local override's lookup climbs into its
  // configuration's sub-configuration of that platform).
  std::string GetPlatformValue(const std::string& Name, const std::string& Platform) const;
  using TPropertyGroup::SetValue;
  std::vector<std::string> GetValues(const std::string& Name, bool Inherited = true) const;
  void SetValues(const std::string& Name, const std::vector<std::string>& Values);
  void InsertValues(const std::string& Name, const std::vector<std::string>& Values, int Index);
  void RemoveValues(const std::string& Name, const std::vector<std::string>& Values);
  // Sets the own list value and whether it extends the inherited list. Raises
  // ERequiresListArgument or EMergeNotAllowed for options that do not allow it.
  void SetListValue(const std::string& Name, const std::string& Value, bool Merged);
  std::string GetInheritedValue(const std::string& Name) const;
  std::vector<std::string> GetInheritedValues(const std::string& Name) const;
  bool ParentHasValue(const std::string& Name) const;
  bool ContainsValue(const std::string& Name, const std::string& Value) const;
  // The own entry replaces a value the levels above give.
  bool IsOverride(const std::string& Name) const;
  // False unless the text is "true" (without regard to case).
  bool GetBoolean(const std::string& Name) const;
  void SetBoolean(const std::string& Name, bool Value);
  // Raises EInvalidOptionValue when the value is not a whole number.
  int64_t GetInteger(const std::string& Name) const;
  void SetInt(const std::string& Name, int64_t Value);

  // Option sets, in order of reference.
  void AddReference(std::shared_ptr<TNamedOptionSet> OptionSet, int Index = -1, const std::string& StoredPath = {});
  // With Confirm the user is asked first; false when the user said no or there was no such reference.
  bool RemoveReference(const TNamedOptionSet& OptionSet, bool Confirm);
  bool HasReference(const std::string& FileName) const;
  const std::vector<TOptionSetReference>& GetReferences() const { return FOptionSets; }
  int OptionSetIndex(const std::string& FileName) const;
  std::vector<std::shared_ptr<TNamedOptionSet>> GetOptionSets() const;
  bool HasOptionSets() const { return !FOptionSets.empty(); }

  // Values held only while the program runs.
  std::string GetTempValue(const std::string& Name) const;
  void SetTempValue(const std::string& Name, const std::string& Value);
  void CleanAllTempValues();
  void AddTempNotifer(const void* Owner, TTempListener Listener);
  void RemoveTempNotifer(const void* Owner);

  // Build events by name; an event with an empty command is removed.
  const std::map<std::string, TBuildEvent, CaseInsensitiveLess>& BuildEvents() const { return FBuildEvents; }
  void SetBuildEvent(const std::string& EventName, const TBuildEvent& Event);

  // Takes the configuration out of its manager (and its parent, which destroys it).
  void Delete();
  // Removes every child (last first).
  void DeleteChildren();
  // Empties the values of the children.
  void EmptyChildren();
  void Load(IMSProjectFile& ProjectFile, const std::string& Condition);
  void Save(IMSProjectFile& ProjectFile) override;
  void SaveAsDefaults(IMSProjectFile& ProjectFile);

  // The configuration's own key tests, for definition groups: "Base", then the ancestors'.
  std::vector<std::string> AncestorKeys() const;
  bool IsLocalOverride() const;

 protected:
  friend class TBuildConfigurations;
  void ValueChanged(const std::string& Name) override;
  void ReadStoredProperty(const std::string& Name, const std::string& Value, const std::string& Condition) override;
  std::string StoredValue(const std::string& Name, const TPropData& Data) const override;
  // The lookup without the own entry: option sets, then ancestors, then nothing.
  std::string LookupInherited(const std::string& Name, const std::string& Platform, const TProjectOption* Option) const;
  std::string Lookup(const std::string& Name, const std::string& Platform, const TProjectOption* Option) const;
  std::string Walk(const std::string& Name, const std::string& Platform, const TProjectOption* Option, bool Own) const;
  // The next level up for a lookup of Platform.
  const TBuildConfiguration* NextLevel(const std::string& Platform) const;
  void LoadReferences(IMSProjectFile& ProjectFile);
  TBuildConfiguration* AdoptChild(std::unique_ptr<TBuildConfiguration> Child);
  std::unique_ptr<TBuildConfiguration> ReleaseChild(TBuildConfiguration* Child);

  TBuildConfiguration* FParent;
  std::vector<std::unique_ptr<TBuildConfiguration>> FChildren;
  std::map<std::string, std::unique_ptr<TPlatformConfiguration>, CaseInsensitiveLess> FPlatforms;
  std::vector<std::unique_ptr<TLocalOverride>> FLocals;
  std::string FPlatform;
  std::string FKey;
  std::unordered_map<std::string, std::string, CaseInsensitiveHash, CaseInsensitiveEqual> FTemproraryValues;
  std::vector<std::pair<const void*, TTempListener>> FTemproraryValuesListeners;
  std::vector<TOptionSetReference> FOptionSets;
  TBuildConfigurations* FOwner;
  bool FSaveToDefaults = false;
  std::map<std::string, TBuildEvent, CaseInsensitiveLess> FBuildEvents;
  // The condition of the build-event group the events were read from, as the file spells it.
  std::string FEventGroupCondition;
};

// The sub-configuration of a configuration for one platform: key "<parent key>_<platform>",
// the parent's name, no children.
class TPlatformConfiguration : public TBuildConfiguration {
 public:
  TPlatformConfiguration(TBuildConfigurations* Owner, TBuildConfiguration* Parent, const std::string& Platform);
  std::string Name() const override;
};

// The values of one source file under a configuration.
class TLocalOverride : public TBuildConfiguration {
 public:
  TLocalOverride(TBuildConfigurations* Owner, TBuildConfiguration* Parent, std::string TargetFilename);
  std::string Name() const override;
  const std::string& TargetFilename() const { return FTargetFilename; }
  void SetTargetFilename(std::string FileName) { FTargetFilename = std::move(FileName); }
  // The file as the project file names it (relative, in the file's own form).
  const std::string& StoredFilename() const { return FStoredFilename; }
  void SetStoredFilename(std::string Name) { FStoredFilename = std::move(Name); }

 private:
  std::string FTargetFilename;
  std::string FStoredFilename;
};

}  // namespace nxs
