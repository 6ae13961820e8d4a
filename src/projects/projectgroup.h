// The project group: the ordered set of open projects kept in a group file. It decides the
// build order, keeps the build dependencies between its projects (by project GUID, never a
// cycle), knows the active project, and reads and writes the ".groupproj" layout (items, the
// three targets per project, the aggregate targets and the group targets import) and the
// legacy ".nxsgroup" format, which it can upgrade.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "modules/docmodule.h"
#include "modules/openhandlers.h"
#include "projectfiles/projectfile.h"
#include "projects/containers.h"
#include "shared/event.h"
#include "shared/fileio.h"

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
// The targets of the group targets file, which a project's target must not take the name of.
inline constexpr const char* GroupTargetsFileTargets[] = {"_Kibitz", "_EvaluateProperties", "_EvaluateProperty",
                                                          "_EvaluateItem"};

// The target name of each project of a group, for the project files in build order: the
// project's own target name (SanitizedTargetName), or, where that is taken, the first free
// of it followed by "_2", "_3" and so on. Taken (compared without regard to case) are the
// names earlier projects got, the aggregate targets "Build", "Clean" and "Make", the group
// targets file's targets, and Reserved (the targets a user wrote into the file).
std::vector<std::string> GroupTargetNames(const std::vector<std::string>& FileNames,
                                          const std::vector<std::string>& Reserved);

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
  // The projects the group file lists that could not be opened (a missing or unreadable
  // file), in build order. Each stays in the group where it stood, with its dependencies and
  // the dependencies on it, until it is removed; opening the group reported each once, and a
  // build of the group fails on them.
  std::vector<std::string> UnopenedProjects() const;
  // Removes the project NameOrFile names, as FindProject finds it or an unopened one by its
  // file or module name; raises "%s is not a project of group %s" when there is none.
  void RemoveProjectNamed(const std::string& NameOrFile);
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
  // Adds List to the project's dependencies (those it has already stay, once each); raises
  // as SetProjectDependencies does, and then changes nothing.
  void AddProjectDependencies(TBaseProject* Project, const std::vector<TBaseProject*>& List);
  // Takes Dependency out of the project's dependencies; nothing when it is none of them.
  void RemoveProjectDependency(TBaseProject* Project, const TBaseProject* Dependency);
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
  // The text the group file would have now.
  std::string GroupFileText();

  const std::vector<TProjectFileItem>& GetProjectFileEntries() override { return FNoEntries; }
  TNode* GetStorageSection(const std::string& /*Name*/, bool /*Create*/) override { return nullptr; }

  // The default file name "ProjectGroup%d" + extension in Dir: the first number free.
  static std::string DefaultGroupFileName(const std::string& Dir, bool Legacy);

  // -- The group file changed on disk
  // True when the file is not the one the group read or last wrote.
  bool CheckFileDate() override;
  // A group that has a readable file of its own can be read again.
  bool CanReloadFile() override;
  // Reads the file again: the projects it lists now, in its order, with its dependencies
  // and active project. A file that cannot be read raises and leaves the group as it was.
  void ReloadFile() override;

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
  // A listed project that could not be opened.
  struct TUnopened {
    std::string FileName;
    // How dependency lists name it: its GUID where the group file gives one, else
    // "file:" and its file name.
    std::string Key;
    std::vector<std::string> Dependencies;  // GUIDs of opened projects, keys of unopened ones
    const TBaseProject* After = nullptr;    // the opened project it follows; null: the first
  };
  // One place of the build order as the file holds it: an opened or an unopened project.
  struct TSlot {
    TBaseProject* Project = nullptr;
    const TUnopened* Unopened = nullptr;
    std::string FileName() const;
    std::string Key() const;
  };
  std::vector<TSlot> Slots() const;
  std::vector<std::string> DependencyKeys(const TSlot& Slot) const;
  // The unopened projects that followed Project follow its predecessor once it is gone.
  void Unanchor(const TBaseProject* Project);
  void ForgetDependencyKey(const std::string& Key);
  // True for the targets the group writes: the aggregates and its projects' three targets.
  bool OwnsTarget(std::string_view Name) const;
  void Load();
  void LoadMSBuild(std::vector<TEntry>& Entries, std::vector<std::string>& Order, std::string& Active);
  void LoadLegacy(std::vector<TEntry>& Entries, std::vector<std::string>& Order, std::string& Active);
  void OpenProjects(const std::vector<TEntry>& Entries, const std::vector<std::string>& Order, const std::string& Active,
                    bool ByGuid);
  void Report(const std::string& Message);
  void MSBSaveProjectGroup(IMSProjectFile& Doc);
  std::string LegacyText();
  std::string RelativePath(const std::string& FileName) const;
  void ProjectClosing(TBaseProject* Project);
  bool DependsOn(const TBaseProject* From, const TBaseProject* To, std::vector<TBaseProject*>* Path) const;

  std::vector<TBaseProject*> FProjects;
  std::vector<TUnopened> FUnopened;
  // How many of the projects have each GUID, for UniqueGuid: counted again after a project
  // leaves or takes another GUID, kept up as projects join.
  std::unordered_map<std::string, int> FGuidCounts;
  bool FGuidCountsStale = true;
  TBaseProject* FActive = nullptr;
  std::string FActiveUnopened;  // the key of the active project while that is an unopened one
  // The projects' target names in the file as last read or written: the group's targets.
  std::vector<std::string> FProjectTargets;
  // The file as it was read or last written: for the legacy save's check and CheckFileDate.
  TFileInfo FFileVersion;
  std::map<std::string, std::vector<std::string>> FDependencies;  // GUID -> GUIDs
  std::vector<TGroupOption> FOptions;
  std::shared_ptr<IMSProjectFile> FDocument;
  std::vector<std::string> FOpenErrors;
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

// What a host shows while a group file opens: a progress of the operation "Project
// Operation" under the caption "Open MSBuild Project Group: " (legacy: "Open Project Group: ")
// and the file name, and in the status area "Loading project %s" with each project's file
// name. Nothing is shown where a hook is not set.
struct TProjectGroupDisplay {
  std::function<void(const std::string& Operation, const std::string& Caption)> BeginProgress;
  std::function<void(const std::string& Operation)> EndProgress;
  std::function<void(const std::string& Text)> ShowStatus;
};
void SetProjectGroupDisplay(TProjectGroupDisplay Display);

}  // namespace nxs
