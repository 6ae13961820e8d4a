// The project tree: the containers that the project manager shows (the group at the root,
// each project, its directories, virtual folders, categories and files), how a project's file
// entries become nodes, how siblings sort (with the per-project sort-order state kept in the
// project file's "ProjectSortOrder" section), the container creators that make the node for a
// file, and the local-menu verbs and captions that a host draws.
#pragma once

#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace nxs {

class TNode;
class TBaseContainer;
class TStdProjectContainer;
using PContainer = std::shared_ptr<TBaseContainer>;

inline constexpr int NoStaticSortIndex = INT_MAX;
// The item kind of a node that has none of its own.
inline constexpr int NoItemKind = 13;

// Container flag bits.
enum TContainerFlag : uint8_t {
  cfNoRemove = 1,     // on a project node: nothing below it may be removed
  cfNeverSort = 16,   // the node keeps its children in insertion order
};

// Sort types of the sort-order state.
enum TProjectSortType : int { stCustom = 0, stName = 1, stModified = 2, stType = 3, stPath = 4 };

// One file of a project as the tree sees it.
struct TProjectFileItem {
  std::string FileName;       // absolute, "/" separated
  std::string ItemType;       // the item's element name in the project file
  std::string VirtualFolder;  // the ID of the virtual folder that holds it, or empty
  std::string ContainerId;    // the preferred container creator, or empty
  std::string LocalCommand;
};

struct TVirtualFolder {
  std::string Id;
  std::string Name;
};

// What a project node needs of its project.
class IContainerProject {
 public:
  virtual ~IContainerProject() = default;
  virtual std::string GetFileName() const = 0;
  virtual std::string GetPersonality() const = 0;
  virtual const std::vector<TProjectFileItem>& GetProjectFileEntries() = 0;
  virtual std::vector<TVirtualFolder> GetVirtualFolders() { return {}; }
  // A named section of the project file's extension storage; null when missing and not Create.
  virtual TNode* GetStorageSection(const std::string& Name, bool Create) = 0;
  // A section was changed: the project is modified.
  virtual void StorageChanged() {}
};

// -- Nodes ---------------------------------------------------------------------------------------

using TContainerCompare = std::function<int(const TBaseContainer&, const TBaseContainer&)>;

class TBaseContainer : public std::enable_shared_from_this<TBaseContainer> {
 public:
  TBaseContainer(IContainerProject* Project, TBaseContainer* Parent, std::string Ident, std::string Caption,
                 int ImageIndex = -1, uint8_t Flags = 0);
  virtual ~TBaseContainer() = default;
  TBaseContainer(const TBaseContainer&) = delete;  // a node is an identity in one tree
  TBaseContainer& operator=(const TBaseContainer&) = delete;

  virtual const char* ClassName() const { return "TBaseContainer"; }

  // -- Tree
  TBaseContainer* GetParent() const { return FParent; }
  // The children, sorted first when they need it.
  const std::vector<PContainer>& GetChildren();
  // The children as they stand, without sorting or filling.
  const std::vector<PContainer>& Children() const { return FChildren; }
  bool HasChildren() { return !GetChildren().empty(); }
  int GetIndex() const;
  int GetChildIndex(const TBaseContainer* Child) const;
  PContainer FindChild(const std::string& Ident) const;
  void AddChild(PContainer Child) { InsertChild(std::move(Child), -1); }
  // An index from 0 to the count inserts there; any other appends.
  void InsertChild(PContainer Child, int Index);
  void RemoveChild(const TBaseContainer* Child);
  // Moves the node below NewParent at Index.
  void Reparent(TBaseContainer* NewParent, int Index);
  virtual void Reparented() {}
  void ClearChildList();
  // Breaks the links of a node that is dropped.
  void FreeReference();

  // -- Presentation
  virtual std::string GetString() const { return FCaption; }
  void SetCaption(std::string Caption) { FCaption = std::move(Caption); }
  const std::string& GetIdent() const { return FIdent; }
  int GetImageIndex() const { return FImageIndex; }
  virtual int GetOverlayIndex() const { return -1; }
  bool FocusedState = false;
  bool ExpandedState = false;

  // -- Ordering
  virtual int StaticSortIndex() const { return NoStaticSortIndex; }
  virtual TContainerCompare GetCompareProc() const;
  void SortChildren();
  bool ChildrenSorted() const { return FChildrenSorted; }
  void InvalidateSort() { FChildrenSorted = false; }

  // -- Kinds
  virtual bool IsFileItem() const { return false; }
  virtual bool IsDirectory() const { return false; }
  virtual bool IsVirtualFolder() const { return false; }
  virtual bool IsBuildConfiguration() const { return false; }
  // Directories, categories and virtual folders manage children of their own.
  virtual bool IsChildManager() const { return false; }
  virtual bool CanInplaceRename() const { return false; }
  virtual bool CanDelete() const { return false; }
  // Asked whether the node stands for the item named Name (a file name or an identity).
  virtual bool MatchesItem(const std::string& Name) const;
  // What kind of item the node stands for, as categories gather them (NoItemKind: none).
  virtual int ItemKind() const { return NoItemKind; }
  // A node that stays where it is made, whatever category would gather it.
  virtual bool BelongsToNoCategory() const { return false; }

  // -- Drag and drop
  // True when Item may be dropped onto this node.
  virtual bool CanParent(const TBaseContainer& Item) const;
  // Reparents the items below this node; false when one of them may not go here.
  bool AcceptContainers(const std::vector<PContainer>& Items);

  IContainerProject* Project() const { return FProject; }
  uint8_t Flags() const { return FFlags; }
  void SetFlags(uint8_t Flags) { FFlags = Flags; }
  // The project node above this one (this one when it is one), or null.
  TStdProjectContainer* OwningProjectNode();

 protected:
  IContainerProject* FProject;
  TBaseContainer* FParent;
  std::string FIdent;
  std::string FCaption;
  int FImageIndex;
  uint8_t FFlags;
  std::vector<PContainer> FChildren;
  bool FChildrenSorted = false;
};

class TStdContainer : public TBaseContainer {
 public:
  using TBaseContainer::TBaseContainer;
  const char* ClassName() const override { return "TStdContainer"; }
};

class TStdFileContainer : public TStdContainer {
 public:
  TStdFileContainer(IContainerProject* Project, TBaseContainer* Parent, std::string FileName, int ImageIndex = -1);
  const char* ClassName() const override { return "TStdFileContainer"; }
  const std::string& GetFileName() const { return FFileName; }
  void SetFileName(const std::string& FileName);
  std::string GetPathName() const;
  size_t GetPathHash() const { return FPathHash; }
  bool IsFileItem() const override { return true; }
  bool CanInplaceRename() const override;
  bool CanDelete() const override { return true; }
  bool MatchesItem(const std::string& Name) const override;
  TContainerCompare GetCompareProc() const override;
  std::function<void(const std::string& OldName, const std::string& NewName)> OnRename;
  std::string ContainerId;  // the creator that made it, or empty
  int TextColor = -1;

 protected:
  std::string FFileName;
  size_t FPathHash = 0;
};

class TDefaultFileContainer : public TStdFileContainer {
 public:
  using TStdFileContainer::TStdFileContainer;
  const char* ClassName() const override { return "TDefaultFileContainer"; }
};

class TStdDirectoryContainer : public TStdFileContainer {
 public:
  // RelativePath: the directory relative to the project directory, with a trailing "/".
  TStdDirectoryContainer(IContainerProject* Project, TBaseContainer* Parent, std::string Directory,
                         std::string RelativePath, std::string Caption);
  const char* ClassName() const override { return "TStdDirectoryContainer"; }
  int StaticSortIndex() const override { return 20; }
  bool IsFileItem() const override { return false; }
  bool IsDirectory() const override { return true; }
  bool IsChildManager() const override { return true; }
  bool CanInplaceRename() const override { return false; }
  bool CanDelete() const override { return false; }
  bool MatchesItem(const std::string& Name) const override;
  const std::string& RelativePath() const { return FRelativePath; }

 private:
  std::string FRelativePath;
};

class TStdVirtualFolderContainer : public TStdContainer {
 public:
  TStdVirtualFolderContainer(IContainerProject* Project, TBaseContainer* Parent, const TVirtualFolder& Folder);
  const char* ClassName() const override { return "TStdVirtualFolderContainer"; }
  bool IsVirtualFolder() const override { return true; }
  bool IsChildManager() const override { return true; }
  TContainerCompare GetCompareProc() const override;
};

class TStdContainerCategory : public TStdContainer {
 public:
  // A category gathers the nodes of its tool (ToolId), or of its item kinds (ItemKinds), or,
  // given both, the nodes of its tool that are of its kinds.
  TStdContainerCategory(IContainerProject* Project, TBaseContainer* Parent, std::string Name, std::string ToolId,
                        bool HideWhenEmpty, std::vector<int> ItemKinds = {});
  const char* ClassName() const override { return "TStdContainerCategory"; }
  int StaticSortIndex() const override { return 40; }
  bool IsChildManager() const override { return true; }
  TContainerCompare GetCompareProc() const override;
  const std::string& CategoryName() const { return FName; }
  const std::string& ToolId() const { return FToolId; }
  bool HideWhenEmpty() const { return FHideWhenEmpty; }
  const std::vector<int>& ItemKinds() const { return FItemKinds; }
  virtual bool Accepts(int ItemKind, const std::string& ContainerId) const;
  bool Visible() const { return !FHideWhenEmpty || !FChildren.empty(); }

 private:
  std::string FName;
  std::string FToolId;
  bool FHideWhenEmpty;
  std::vector<int> FItemKinds;
};

// Nodes added by other layers that sort before the files.
class TSpecialContainer : public TStdContainer {
 public:
  TSpecialContainer(IContainerProject* Project, TBaseContainer* Parent, std::string Caption, int SortIndex,
                    bool IsBuildConfiguration = false);
  int StaticSortIndex() const override { return FSortIndex; }
  bool IsBuildConfiguration() const override { return FIsBuildConfiguration; }

 private:
  int FSortIndex;
  bool FIsBuildConfiguration;
};
inline constexpr int OptionSetSortIndex = 4;
inline constexpr int BuildConfigurationSortIndex = 5;
inline constexpr int PlatformSortIndex = 6;
inline constexpr int ProjectOutputsSortIndex = 7;

class TStdProjectContainer : public TStdFileContainer {
 public:
  explicit TStdProjectContainer(IContainerProject* Project, TBaseContainer* Parent = nullptr);
  ~TStdProjectContainer() override;
  const char* ClassName() const override { return "TStdProjectContainer"; }
  bool IsFileItem() const override { return false; }
  bool CanDelete() const override { return false; }

  // Fills the children from the project's file entries on first use.
  const std::vector<PContainer>& GetProjectChildren();
  // Adds nodes for new entries and drops nodes whose entries are gone.
  void ReconcileChildren();
  void Refresh() { ReconcileChildren(); }
  bool Filled() const { return FFilled; }

  // The node for one entry (made when the project has none that can serve).
  TBaseContainer* AddProjectItem(const TProjectFileItem& Entry);
  // Removes the node of the item (a file name, or the identity of another node); false when
  // none was removed.
  bool RemoveProjectItem(const std::string& FileName);
  // The file node of OldName takes NewName, moving under the directory node of its new place.
  bool RenameProjectItem(const std::string& OldName, const std::string& NewName);
  TStdFileContainer* FindFileNode(const std::string& FileName) const;
  // The directory node for an absolute directory (made level by level when missing); the
  // project node itself for the project directory.
  TBaseContainer* GetDirectoryParent(const std::string& Directory);

  // -- Sorting
  void Sort(int SortType);
  void ToggleAutoSort();
  void SortRecursive();

  // -- Categories
  TStdContainerCategory* AddContainerCategory(const std::string& Name, const std::string& ToolId, bool HideWhenEmpty,
                                              std::vector<int> ItemKinds = {});
  void RemoveContainerCategory(const std::string& Name);
  TStdContainerCategory* FindCategory(const std::string& Name) const;
  int GetCategoryCount() const { return static_cast<int>(FCategories.size()); }
  TStdContainerCategory* GetCategory(int Index) const { return FCategories.at(static_cast<size_t>(Index)).get(); }
  // The category that a node of that kind and container id belongs to, or null.
  TStdContainerCategory* FindProjectItemCategory(int ItemKind, const std::string& ContainerId) const;

  // Runs a local-menu verb of the project node; false when the verb is not one it handles
  // itself (the host then runs it).
  bool CommandHandler(const std::string& Verb);

  // Child key -> node: files by file name, directories by "dir:" + relative path, virtual
  // folders by "vf:" + ID.
  const std::unordered_map<std::string, TBaseContainer*>& GetChildItemHash() const { return FChildItemHash; }
  void ProjectRenamed(const std::string& NewFileName);

 private:
  friend class TBaseContainer;
  TBaseContainer* MakeNode(const TProjectFileItem& Entry);
  TBaseContainer* ParentFor(const TProjectFileItem& Entry);
  TBaseContainer* VirtualFolderNode(const std::string& Id);
  TBaseContainer* FindDirectoryParent(const std::string& Directory);
  void Forget(TBaseContainer* Node);
  bool RemoveBelow(TBaseContainer& Parent, const std::string& Name);

  std::vector<std::shared_ptr<TStdContainerCategory>> FCategories;
  std::unordered_map<std::string, TBaseContainer*> FChildItemHash;
  std::vector<TVirtualFolder> FVirtualFolders;
  std::unordered_map<std::string, TBaseContainer*> FDirectoryCache;  // absolute directory -> node
  std::string FProjectDir;  // with trailing "/"
  bool FFilled = false;
};

// -- Sort orders ---------------------------------------------------------------------------------

class TProjectSortOrder {
 public:
  explicit TProjectSortOrder(IContainerProject* Project);
  bool GetAutoSort() const { return FAutoSort; }
  // True turns sorting on; false sets the sort type to custom (the order stays as it is).
  void SetAutoSort(bool Value);
  int GetSortType() const { return FSortType; }
  // Sorting is on exactly when the type is not custom.
  void SetSortType(int Value);
  bool SortingActive() const { return FActive; }
  void SetSortingActive(bool Value) { FActive = Value; }
  // The position of a key in the custom order, INT_MAX when it has none.
  int CustomIndex(const std::string& Key) const;
  // The key of a node in the custom order: a file's name, a virtual folder's ID.
  static std::string KeyOf(const TBaseContainer& Node);
  // The compare function for the children of file and category nodes; empty when sorting is
  // off.
  TContainerCompare CompareProc() const;

  // Reads the "ProjectSortOrder" section (the defaults when it is missing or empty).
  void Load();
  // Writes the section, with the items of Root in their current order when auto sort is off.
  void Store(TBaseContainer* Root);

 private:
  IContainerProject* FProject;
  bool FAutoSort;
  int FSortType;
  bool FActive = true;
  std::unordered_map<std::string, int> FOrder;
  TBaseContainer* FRoot = nullptr;
};

class TProjectSortOrderManager {
 public:
  TProjectSortOrderManager();
  TProjectSortOrder& Get(IContainerProject* Project);
  void Forget(IContainerProject* Project) { FOrders.erase(Project); }
  bool DefaultAutoSort() const { return FAutoSort; }
  int DefaultSortType() const { return FSortType; }
  // Written back to the settings section "ProjectManager" at once.
  void SetDefaultAutoSort(bool Value);
  void SetDefaultSortType(int Value);
  // The project manager's view option that makes "Path" sort by name.
  bool PathSortsByName = false;

 private:
  std::map<IContainerProject*, std::unique_ptr<TProjectSortOrder>> FOrders;
  bool FAutoSort;
  int FSortType;
};
TProjectSortOrderManager& ProjectSortOrderManager();
void ResetProjectSortOrderManager();

int CompareStatic(const TBaseContainer& A, const TBaseContainer& B);
int CompareIStringObject(const TBaseContainer& A, const TBaseContainer& B);
int DefaultContainerCompareProc(const TBaseContainer& A, const TBaseContainer& B);

// -- Container creators -------------------------------------------------------------------------

class IContainerCreator {
 public:
  virtual ~IContainerCreator() = default;
  virtual std::string GetId() const = 0;
  // The extensions (".pas") or masks ("*_test.cpp") it serves by default.
  virtual std::vector<std::string> GetDefaultExtensions() const { return {}; }
  // Non-empty: the default extensions count only for projects of these personalities.
  virtual std::vector<std::string> GetPersonalities() const { return {}; }
  virtual bool CanHandle(const std::string& FileName, TBaseContainer* Parent) const = 0;
  virtual PContainer CreateContainer(const std::string& FileName, TStdProjectContainer& Project,
                                     TBaseContainer* Parent) = 0;
  // A tool that claims the parent of its files returns it; null leaves the choice.
  virtual TBaseContainer* GetParentFor(const std::string& /*FileName*/, TStdProjectContainer& /*Project*/) {
    return nullptr;
  }
  virtual void Initialize() {}
  // An internal tool keeps one list of extensions of its own.
  virtual bool IsInternalTool() const { return false; }
};
using PContainerCreator = std::shared_ptr<IContainerCreator>;

// Replaces the container id the manager reports for a file in some context.
class IContainerIdOverride {
 public:
  virtual ~IContainerIdOverride() = default;
  virtual std::string OverrideId(const std::string& FileName, const std::string& Id) = 0;
};

class TContainerManager {
 public:
  void RegisterItemContainerCreator(PContainerCreator Creator);
  void UnregisterItemContainerCreator(const PContainerCreator& Creator);
  void InitializeContainerCreators();
  bool Initialized() const { return FInitialized; }
  // An empty personality is the global list.
  void AddDefaultContainer(const std::string& Extension, const PContainerCreator& Creator,
                           const std::string& Personality = {});
  void RemoveDefaultContainer(const std::string& Extension, const std::string& Personality = {});
  PContainerCreator GetDefaultContainer(const std::string& FileName, const std::string& Personality) const;
  std::string GetContainerId(const std::string& FileName, IContainerIdOverride* Context,
                             const std::string& Personality) const;
  PContainerCreator GetContainer(const std::string& Id) const;
  bool ValidateContainer(const std::string& Id, const std::string& FileName, const std::string& Personality) const;
  // The node for a file; null when no creator makes one.
  PContainer GetItemProjectItemContainer(const std::string& FileName, TStdProjectContainer& Project,
                                         TBaseContainer* Parent, const std::string& PreferredId);
  int CreatorCount() const { return static_cast<int>(FCreators.size()); }

  [[noreturn]] static void PreCompile();
  [[noreturn]] static void Compile();
  [[noreturn]] static void PostCompile();
  [[noreturn]] static void ShouldCompile();

 private:
  using TExtList = std::map<std::string, PContainerCreator>;  // lower-case key
  PContainerCreator Lookup(const TExtList& List, const std::string& FileName) const;

  std::vector<PContainerCreator> FCreators;
  TExtList FGlobal;
  std::map<std::string, TExtList> FPerPersonality;
  std::map<std::string, std::vector<std::string>> FOwnExtensions;  // internal tool id -> extensions
  bool FInitialized = false;
};
TContainerManager& ContainerManager();
void ResetContainerManager();

// -- Project-container factories ------------------------------------------------------------------

using TProjectContainerFunction = PContainer (*)(IContainerProject* Project, TBaseContainer* ModelContainer);
// Registering the same function twice keeps one entry.
void RegisterContainerFunction(TProjectContainerFunction Fn);
void UnregisterContainerFunction(TProjectContainerFunction Fn);
int ContainerFunctionCount();
// The node for a whole project: the factories, most recently registered first, else a
// TStdProjectContainer.
PContainer GetProjectContainer(IContainerProject* Project, TBaseContainer* ModelContainer = nullptr);

// -- Local menus ----------------------------------------------------------------------------------

struct TMenuVerb {
  const char* Verb;
  const char* Caption;
};
// The verbs of a project node's local menu, in menu order.
const std::vector<TMenuVerb>& ProjectMenuVerbs();
// The caption of a verb of any local menu, or empty.
std::string FindLocalCommand(const std::string& Verb);

struct TLocalMenuItem {
  std::string Name;
  std::string Caption;
  std::string ParentName;  // empty at the top
  std::vector<TLocalMenuItem> Items;
};
// Builds the menu tree: each item goes below the item its ParentName names; a missing parent
// raises "Menu item with caption %s could not find its parent named %s.".
std::vector<TLocalMenuItem> CreateLocalMenu(const std::vector<TLocalMenuItem>& Flat);
// The "Sort By" submenu of a project node.
std::vector<TLocalMenuItem> CommonProjectSortMenus();

// The tree below Root as the project manager shows it: captions, two blanks per level.
std::string FormatContainerTree(TBaseContainer& Root);

}  // namespace nxs
