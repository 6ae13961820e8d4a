// The project group: the ordered set of open projects kept in a group file. It decides the
// build order, keeps the build dependencies between its projects (by project GUID, never a
// cycle), knows the active project, and reads and writes the ".groupproj" layout (items, the
// three targets per project, the aggregate targets and the group targets import) and the
// legacy ".nxsgroup" format, which it can upgrade.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "modules/docmodule.h"
#include "modules/openhandlers.h"
#include "projectfiles/projectfile.h"
#include "projects/containers.h"
#include "shared/event.h"

namespace nxs {

class TBaseProject;

// A group file that cannot be read.
class EInvalidProjectGroup : public Exception {
 public:
  using Exception::Exception;
};

class TProjectGroupProjectAdded : public TEvArgs {
 public:
  explicit TProjectGroupProjectAdded(TBaseProject* Project) : Project(Project) {}
  TBaseProject* Project;
};

// A group option: a named value typed "String", "Boolean" or "Integer".
struct TGroupOption {
  std::string Name;
  std::string Type;
  std::string Value;
};

// What another layer keeps in the group file (the build groups): the group owns it, drops it
// with itself, and lets it write its part after the project items.
class IProjectGroupExtension {
 public:
  virtual ~IProjectGroupExtension() = default;
  // Root is the group file's node tree; Items the item group of the "Projects" items.
  virtual void Write(msb::TProjectNode& Root, msb::TItemGroup& Items) = 0;
};

// Where the group targets file lives: the environment's MSBuild targets location.
inline constexpr const char* MSBTargetLocation = "$(NXS)\\data\\targets\\";
inline constexpr const char* GroupTargetsFile = "Meldrin.Group.Targets";
inline constexpr const char* OldGroupTargetsFile = "Tarvos.Group.Targets";

class TProjectGroup : public TDocModule, public IContainerProject {
 public:
  ~TProjectGroup() override;

  // A new, empty group for FileName (nothing is written until Save). The format follows the
  // extension: ".nxsgroup" is the legacy format.
  static TProjectGroup* NewGroup(const std::string& FileName);
  // Opens a group file; the projects it lists open through the default open routine. Those
  // that are missing or fail are reported and left out.
  static TProjectGroup* OpenGroup(const std::string& FileName);

  bool GetIsProjectGroup() const override { return true; }
  bool GetIsFileModule() const override { return false; }
  std::string ModuleClassName() const override { return "TProjectGroup"; }
  std::string GetFileName() const override { return TDocModule::GetFileName(); }
  std::string GetPersonality() const override { return "Default.Personality"; }
  std::string GetSaveFilter() const override;
  bool IsLegacy() const { return FLegacy; }

  // -- Projects, in build order
  int GetProjectCount() const { return static_cast<int>(FProjects.size()); }
  TBaseProject* GetProject(int Index) const { return FProjects.at(static_cast<size_t>(Index)); }
  const std::vector<TBaseProject*>& Projects() const { return FProjects; }
  int GetProjectIndex(const TBaseProject* Project) const;
  // By file name (as a file name) or by module name.
  TBaseProject* FindProject(const std::string& NameOrFile) const;
  bool IsProjectInProjectGroup(const std::string& FileName) const;
  // Adds the project at the end of the build order; a GUID that repeats another project's is
  // replaced (UniqueGuid).
  void AddTarget(TBaseProject* Project);
  // One of the group's projects took another GUID.
  void ProjectGuidChanged() { FGuidCountsStale = true; }
  void RemoveProject(TBaseProject* Project);
  void SetProjectIndex(int OldIndex, int NewIndex);
  // Moves the project one place earlier / later; false for the first / the last.
  bool PromoteProject(TBaseProject* Project);
  bool DemoteProject(TBaseProject* Project);

  // -- The active project
  TBaseProject* ActiveProject() const { return FActive; }
  void ActivateProject(TBaseProject* Project);
  void ActivateNextTarget();
  void ClearActiveProject() { FActive = nullptr; }

  // -- Dependencies
  std::vector<TBaseProject*> GetProjectDependencies(const TBaseProject* Project) const;
  // Raises when a dependency would make a cycle (naming it) or is not in the group.
  void SetProjectDependencies(TBaseProject* Project, const std::vector<TBaseProject*>& List);
  // Every project of the group except Project and those that depend on it, directly or not.
  std::vector<TBaseProject*> GetValidProjectDependencies(const TBaseProject* Project) const;
  // The chain "A -> B -> ... -> A" that Project depending on Dependency would close; empty
  // when there is none.
  std::vector<TBaseProject*> CycleThrough(const TBaseProject* Project, const TBaseProject* Dependency) const;
  void UniqueGuid(TBaseProject* Project);
  TEvent<TProjectGroupProjectAdded> OnProjectAdded;
  TEvent<TProjectGroupProjectAdded> OnDependenciesModified;

  // -- Options
  const std::vector<TGroupOption>& GetOptions() const { return FOptions; }
  std::string GetOption(const std::string& Name) const;
  void SetOption(const std::string& Name, const std::string& Type, const std::string& Value);

  // -- The group file's node tree, for the layers that keep their own part in it; nullptr for a
  // legacy group.
  msb::TProjectNode* GetProjectNode();
  IProjectGroupExtension* GetExtension() const { return FExtension.get(); }
  void SetExtension(std::unique_ptr<IProjectGroupExtension> Extension) { FExtension = std::move(Extension); }

  // -- Saving
  // Asks "Save changes to project group %s?" unless ForceSave.
  bool Save(bool ChangeName, bool ForceSave) override;
  // Writes FILE.groupproj beside a legacy group and becomes that group.
  void UpgradeProjectToMSBuild();
  // The messages of the projects that could not be opened, in order.
  const std::vector<std::string>& OpenErrors() const { return FOpenErrors; }
  // The project files the group lists that could not be opened (missing or unreadable), in
  // order; a build of the group fails on them.
  const std::vector<std::string>& UnopenedProjects() const { return FUnopened; }
  // The text the group file would have now.
  std::string GroupFileText();

  const std::vector<TProjectFileItem>& GetProjectFileEntries() override { return FNoEntries; }
  TNode* GetStorageSection(const std::string& /*Name*/, bool /*Create*/) override { return nullptr; }

  // The default file name "ProjectGroup%d" + extension in Dir: the first number free.
  static std::string DefaultGroupFileName(const std::string& Dir, bool Legacy);

 protected:
  friend class TDocModule;
  explicit TProjectGroup(const std::string& FileName);
  void SaveFile() override;

 private:
  struct TEntry {
    std::string TargetName;
    std::string FileName;
    std::string Guid;
    std::vector<std::string> Dependencies;  // target names (or GUIDs in the legacy format)
  };
  void Load();
  void LoadMSBuild(std::vector<TEntry>& Entries, std::vector<std::string>& Order, std::string& Active);
  void LoadLegacy(std::vector<TEntry>& Entries, std::vector<std::string>& Order, std::string& Active);
  void OpenProjects(const std::vector<TEntry>& Entries, const std::vector<std::string>& Order, const std::string& Active,
                    bool ByGuid);
  void Report(const std::string& Message);
  void MSBSaveProjectGroup(IMSProjectFile& Doc);
  std::string LegacyText();
  std::string RelativePath(const TBaseProject* Project) const;
  void ProjectClosing(TBaseProject* Project);
  bool DependsOn(const TBaseProject* From, const TBaseProject* To, std::vector<TBaseProject*>* Path) const;

  std::vector<TBaseProject*> FProjects;
  // How many of the projects have each GUID, for UniqueGuid: counted again after a project
  // leaves or takes another GUID, kept up as projects join.
  std::unordered_map<std::string, int> FGuidCounts;
  bool FGuidCountsStale = true;
  TBaseProject* FActive = nullptr;
  std::map<std::string, std::vector<std::string>> FDependencies;  // GUID -> GUIDs
  std::vector<TGroupOption> FOptions;
  std::shared_ptr<IMSProjectFile> FDocument;
  std::vector<std::string> FOpenErrors;
  std::vector<std::string> FUnopened;
  std::vector<TProjectFileItem> FNoEntries;
  bool FLegacy = false;
  std::unique_ptr<IProjectGroupExtension> FExtension;
};

// The group open handlers, ".groupproj" and the legacy ".nxsgroup".
class TProjectGroupOpenHandler : public TFileOpenHandler {
 public:
  explicit TProjectGroupOpenHandler(bool Legacy) : FLegacy(Legacy) {}
  bool CanOpen(int FilterID, const std::string& FileName) override;
  void GetFilters(std::vector<TFilterItem>& List, bool ProjectOnly) override;

 protected:
  TDocModule* DoFileOpen(int FilterID, const std::string& FileName, bool Show, TDocModule* AOwnerModule) override;

 private:
  bool FLegacy;
};

// Where the group reports what it cannot open; the user-questions seam by default.
void SetProjectGroupReporter(std::function<void(const std::string&)> Reporter);

}  // namespace nxs
