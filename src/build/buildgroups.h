// Build groups: named subsets of a project group's projects, each project with the
// configurations and platforms to build, kept in the group file as one item group per build
// group (condition "'$(BuildGroup)'=='name'") of "BuildGroupProject" items, and the active
// build group as the property "ActiveBuildGroup".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "build/buildhost.h"
#include "build/orchestration.h"
#include "projectfiles/configmgr.h"
#include "projects/projectgroup.h"
#include "shared/event.h"

namespace nxs {

class TBaseProject;

// One project of a build group.
struct TBuildGroupItem {
  std::string ProjectGuid;     // registry format
  std::string Configurations;  // names separated by ";"
  std::string Platforms;       // names separated by ";"
  bool Enabled = true;
};

class TBuildGroup {
 public:
  explicit TBuildGroup(std::string Name) : FName(std::move(Name)) {}
  const std::string& Name() const { return FName; }
  std::vector<TBuildGroupItem>& Items() { return FItems; }
  const std::vector<TBuildGroupItem>& Items() const { return FItems; }
  // By GUID without regard to case; nullptr when the project has no item.
  TBuildGroupItem* FindItem(const std::string& ProjectGuid);

 private:
  std::string FName;
  std::vector<TBuildGroupItem> FItems;
};

class TEvBuildGroupModified : public TEvArgs {
 public:
  explicit TEvBuildGroupModified(TBuildGroup* Group) : Group(Group) {}
  TBuildGroup* Group;
};
TEvent<TEvBuildGroupModified>& EvBuildGroupModified();

// The build groups of one project group: owned by it (its extension), written with it.
class TBuildGroups : public IProjectGroupExtension, private IConfigurationNotifier {
 public:
  explicit TBuildGroups(TProjectGroup& Group);
  ~TBuildGroups() override;
  TBuildGroups(const TBuildGroups&) = delete;  // registered with the projects' configurations
  TBuildGroups& operator=(const TBuildGroups&) = delete;

  // Reads the build groups of the group file; a project without an item in a build group
  // gets a default one (its active configuration and platform, enabled).
  void Load(msb::TProjectNode& Root);
  void Write(msb::TProjectNode& Root, msb::TItemGroup& Items) override;

  int Count() const { return static_cast<int>(FGroups.size()); }
  TBuildGroup& Get(int Index) { return *FGroups.at(static_cast<size_t>(Index)); }
  TBuildGroup* Find(const std::string& Name);
  // A new build group with one default item per project; one of that name is replaced.
  TBuildGroup& Add(const std::string& Name);
  void Remove(const std::string& Name);
  const std::string& ActiveBuildGroup() const { return FActive; }
  void SetActiveBuildGroup(const std::string& Name);
  // Tells the listeners and marks the project group modified.
  void Changed(TBuildGroup* Group);

  // The item of a project in a build group, added with defaults when it has none.
  TBuildGroupItem& ItemFor(TBuildGroup& Group, TBaseProject& Project);

 private:
  void ItemRenamed(TBuildConfiguration& Config, const std::string& OldName) override;
  void Watch(TBaseProject* Project);
  void Unwatch(TBaseProject* Project);
  TBaseProject* ProjectOfGuid(const std::string& Guid) const;

  TProjectGroup& FGroup;
  std::vector<std::unique_ptr<TBuildGroup>> FGroups;
  std::string FActive;
  std::vector<TBaseProject*> FWatched;
};

// The build groups of a group whose file is an MSBuild document, read from it and kept by
// the group (made once); nullptr for a legacy group.
TBuildGroups* CreateBuildGroups(TProjectGroup& Group);

// Builds the build group Name: for each project in build order whose item is enabled, every
// configuration of the item with every platform (configurations outer). crFailed without
// building for an empty name or one that is not a build group.
TCompileResult CompileBuildGroup(TProjectGroup& Group, const std::string& Name, const TBuildControl& Control,
                                 const TEngineRunSwitches& Switches = {});

}  // namespace nxs
