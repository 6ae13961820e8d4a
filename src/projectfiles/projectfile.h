// The project document: IMSProjectFile, the interface through which the rest of the system
// reads and writes a project's property groups, items, imports, targets and extension
// section; TNativeMSBuildProject, its implementation over the node tree; opening, creating
// and loading documents; and the hooks that higher layers fill in (the build engine's view
// of a document, the text of a file open in an editor buffer).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "projectfiles/errors.h"
#include "projectfiles/msbnodes.h"
#include "shared/fileio.h"
#include "shared/guid.h"

namespace nxs {

// Called back by ReadPropertyGroup, ReadGroupProperty, ReadPropertyInAllGroups and
// ReadGlobalProperty, once per property.
class IPropertyReader {
 public:
  virtual ~IPropertyReader() = default;
  virtual void ReadProperty(const std::string& Name, const std::string& Value, const std::string& Condition) = 0;
};

// Called back by ReadItems: BeginItem, one ItemMetadata per metadata entry, EndItem.
class IItemReader {
 public:
  virtual ~IItemReader() = default;
  virtual void BeginItem(const std::string& ItemType, const std::string& Include, const std::string& Condition) = 0;
  virtual void ItemMetadata(const std::string& Name, const std::string& Value) = 0;
  virtual void EndItem() = 0;
};

// Called back by ReadTargets: BeginTarget, DependsOnTargets, then per task BeginTask and
// one TaskParameter per parameter.
class ITargetReader {
 public:
  virtual ~ITargetReader() = default;
  virtual void BeginTarget(const std::string& Name, const std::string& Condition) = 0;
  virtual void DependsOnTargets(const std::string& Value) = 0;
  virtual void BeginTask(const std::string& Name, const std::string& Condition) = 0;
  virtual void TaskParameter(const std::string& Name, const std::string& Value) = 0;
};

// The project document. The global group is the first property group without condition,
// created as the first child of the project when missing. Names and conditions compare
// without regard to case. The document's own checks raise EProjectFileException with
// "<message> (<file name>)" and leave the document unchanged.
class IMSProjectFile {
 public:
  virtual ~IMSProjectFile() = default;

  virtual void ClearUnconditionedItemGroups() = 0;                        // 1
  virtual std::string GetPersonality() = 0;                               // 2
  virtual void SetPersonality(const std::string& Value) = 0;              // 3
  virtual std::string GetPersonalityVersion() = 0;                        // 4
  virtual void SetPersonalityVersion(const std::string& Value) = 0;       // 5
  virtual std::string GetProjectType() = 0;                               // 6
  virtual void SetProjectType(const std::string& Value) = 0;              // 7
  virtual std::string GetExtensionXml() = 0;                              // 8
  // Appends the "Name" of every target, separated by ";".
  virtual void GetTargetNames(std::string& Names) = 0;                    // 9
  virtual void SetExtensionXml(const std::string& Xml) = 0;               // 10
  // Raises EProjectFileException while no engine view factory is registered.
  virtual bool EngineBuild(const std::string& Targets, const std::string& Properties, int Verbosity) = 0;  // 11
  virtual void AddItem(const std::string& ItemType, const std::string& Include, const std::string& Condition) = 0;  // 12
  virtual void EndItem() = 0;                                             // 13
  virtual void ReadItems(IItemReader& Reader) = 0;                        // 14
  virtual void AddItemMetadata(const std::string& Name, const std::string& Value) = 0;  // 15
  // The UTF-8 byte-order mark and the tree. The text goes out in pieces and the file is
  // replaced atomically at the end; a failed save leaves the file as it was. Saved over the
  // file it was read from, it raises EProjectFileException ("... changed on disk after it
  // was read ...") when another process replaced or changed that file since.
  virtual void SaveToFile(const std::string& FileName) = 0;               // 16
  virtual void BeginPropertyGroup(const std::string& Condition) = 0;      // 17
  virtual void WriteProperty(const std::string& Name, const std::string& Value, bool WriteEmpty,
                             const std::string& Condition) = 0;           // 18
  virtual void EndPropertyGroup() = 0;                                    // 19
  virtual void ReadPropertyGroup(const std::string& GroupCondition, IPropertyReader& Reader) = 0;  // 20
  virtual void ReadGroupProperty(const std::string& Name, const std::string& GroupCondition,
                                 IPropertyReader& Reader) = 0;            // 21
  virtual void ReadPropertyInAllGroups(const std::string& Name, IPropertyReader& Reader) = 0;  // 22
  virtual void ReadGlobalProperty(const std::string& Name, IPropertyReader& Reader) = 0;  // 23
  virtual void GetGroupConditions(std::vector<std::string>& Strings) = 0;  // 24
  virtual void GetGroupPropertyNames(const std::string& GroupCondition, std::vector<std::string>& Strings) = 0;  // 25
  virtual void AddImport(const std::string& Project, const std::string& Condition) = 0;  // 26
  virtual void InsertImport(const std::string& Project, int Index, const std::string& Condition) = 0;  // 27
  virtual void MoveImport(const std::string& Project, const std::string& Condition, int Index) = 0;  // 28
  virtual bool HasImport(const std::string& Project, const std::string& Condition) = 0;  // 29
  virtual int RemoveImport(const std::string& Project, const std::string& Condition) = 0;  // 30
  virtual void RemoveAllImports() = 0;                                    // 31
  // The last property of that name in the global group; false when there is none.
  virtual bool GetGlobalProperty(const std::string& Name, std::string& Value, std::string& Condition) = 0;  // 32
  virtual void SetGlobalProperty(const std::string& Name, const std::string& Value, bool WriteEmpty,
                                 const std::string& Condition) = 0;       // 33
  virtual void SetConditionedProperty(const std::string& Name, const std::string& Value,
                                      const std::string& Condition) = 0;  // 34
  virtual bool IsModified() = 0;                                          // 35
  virtual void Preserve() = 0;                                            // 36
  virtual void Restore() = 0;                                             // 37
  virtual void DiscardPreserved() = 0;                                    // 38
  virtual void RemovePropertyGroups(const std::string& Condition) = 0;    // 39
  // An empty GUID when the property is missing; EConvertError when its text is no GUID.
  virtual TGUID GetProjectGuid() = 0;                                     // 40
  virtual void SetProjectGuid(const TGUID& Guid) = 0;                     // 41
  virtual void RemoveGroupProperty(const std::string& GroupCondition, const std::string& Name) = 0;  // 42
  virtual bool HasUnconditionedProperty(const std::string& Name) = 0;     // 43
  virtual bool EngineQuery(const std::string& Text, std::string& Result) = 0;  // 44
  virtual void ClearPropertyGroups(const std::string& Condition) = 0;     // 45
  virtual void RemoveGlobalProperty(const std::string& Name) = 0;         // 46
  virtual void BeginWriteTarget(const std::string& Name, const std::string& DependsOnTargets) = 0;  // 47
  virtual void EndWriteTarget() = 0;                                      // 48
  virtual void BeginWriteTask(const std::string& Name) = 0;               // 49
  virtual void EndWriteTask() = 0;                                        // 50
  virtual void SetTaskParameter(const std::string& Name, const std::string& Value) = 0;  // 51
  virtual void SetTaskCondition(const std::string& Condition) = 0;        // 52
  virtual void RemoveTarget(const std::string& Name) = 0;                 // 53
  virtual void RemoveConditionedPropertyGroups(const std::string& Condition) = 0;  // 54
  virtual std::string GetXml() = 0;                                       // 55
  virtual void Reserved() = 0;                                            // 56
  virtual void ReadTargets(ITargetReader& Reader) = 0;                    // 57
  virtual void ClearCurrentTarget() = 0;                                  // 58
  virtual void ResetDocument() = 0;                                       // 59
  virtual void RebuildTree() = 0;                                         // 60
  virtual void Reload() = 0;                                              // 61
  virtual void SetFileName(const std::string& FileName) = 0;              // 62
  virtual void CacheEngineProject() = 0;                                  // 63
  virtual void ReleaseEngineProject() = 0;                                // 64
};

// Access to the tree behind a document.
class IProjectNodeAccess {
 public:
  virtual ~IProjectNodeAccess() = default;
  virtual msb::TProjectNode* GetProjectNode() = 0;
};

// The build engine's view of one document, made from the document's XML text and file
// name. The build layer registers the factory at start-up.
class IEngineProjectView {
 public:
  virtual ~IEngineProjectView() = default;
  virtual bool Build(const std::string& Targets, const std::string& Properties, int Verbosity) = 0;
  virtual bool Query(const std::string& Text, std::string& Result) = 0;
};

struct TEngineViewHooks {
  std::function<std::shared_ptr<IEngineProjectView>(const std::string& Xml, const std::string& FileName)> MakeView;
  // True while a background compile runs: engine calls then use the cached view.
  std::function<bool()> BackgroundCompileActive;
  // A view that reads the file itself, for a document that is the file on disk as it was
  // read (unmodified, the file unchanged since): the engine's parse of the file stands, and
  // its places are the file's. Without it every view is made from the text.
  std::function<std::shared_ptr<IEngineProjectView>(const std::string& FileName)> MakeFileView;
};
// Registers (or, with empty hooks, removes) the engine-view factory.
void SetEngineViewHooks(TEngineViewHooks Hooks);

// Fills Text with the current text of the editor buffer that holds FileName and returns
// true; false when the file is not open. The editor layer sets it at start-up.
using TOpenBufferTextHook = std::function<bool(const std::string& FileName, std::string& Text)>;
void SetOpenBufferTextHook(TOpenBufferTextHook Hook);

class TNativeMSBuildProject;

// The tree read from XML text; its root must be the MSBuild "Project" element, else
// EProjectFileException. Raises EParseException for text that is not well-formed.
std::unique_ptr<msb::TProjectNode> LoadProjectFromText(std::string_view Xml);
// The tree of a file: the editor buffer's text when the file is open in the editor, else
// the file read from disk.
std::unique_ptr<msb::TProjectNode> LoadProject(const std::string& FileName);

// Loads the file, checks and stamps the project file version.
std::shared_ptr<IMSProjectFile> MSBuildOpenProject(const std::string& FileName);
// A new document for a file name, a personality and a project type; ExtensionXml receives
// the "TarvosProject" section as XML.
std::shared_ptr<IMSProjectFile> MSBuildCreateProject(const std::string& FileName, const std::string& Personality,
                                                     const std::string& ProjectType, std::string& ExtensionXml);
// A document parsed from XML text, optionally given a personality.
std::shared_ptr<IMSProjectFile> MSBuildCreateProjectFromXml(const std::string& FileName, std::string_view Xml,
                                                            const std::string& Personality = {});

// The implementation of IMSProjectFile over a TProjectNode tree.
class TNativeMSBuildProject : public IMSProjectFile, public IProjectNodeAccess {
 public:
  // Takes over Root (a new empty one when null).
  explicit TNativeMSBuildProject(std::string FileName, std::unique_ptr<msb::TProjectNode> Root = nullptr);
  TNativeMSBuildProject(const TNativeMSBuildProject&) = delete;  // owns a tree and listens to it
  TNativeMSBuildProject& operator=(const TNativeMSBuildProject&) = delete;
  ~TNativeMSBuildProject() override;

  const std::string& FileName() const { return FFileName; }
  // Raises EProjectFileException for a "ProjectFileVersion" that is not a number or is newer
  // than 12, then sets it to 12.
  void CheckProjectFileVersion();

  // IProjectNodeAccess
  msb::TProjectNode* GetProjectNode() override { return FProjectNode.get(); }
  // The property groups whose condition means Condition, in document order.
  std::vector<msb::TPropertyGroup*> GroupsWith(const std::string& Condition);

  // IMSProjectFile
  void ClearUnconditionedItemGroups() override;
  std::string GetPersonality() override;
  void SetPersonality(const std::string& Value) override;
  std::string GetPersonalityVersion() override;
  void SetPersonalityVersion(const std::string& Value) override;
  std::string GetProjectType() override;
  void SetProjectType(const std::string& Value) override;
  std::string GetExtensionXml() override;
  void GetTargetNames(std::string& Names) override;
  void SetExtensionXml(const std::string& Xml) override;
  bool EngineBuild(const std::string& Targets, const std::string& Properties, int Verbosity) override;
  void AddItem(const std::string& ItemType, const std::string& Include, const std::string& Condition) override;
  void EndItem() override;
  void ReadItems(IItemReader& Reader) override;
  void AddItemMetadata(const std::string& Name, const std::string& Value) override;
  void SaveToFile(const std::string& FileName) override;
  void BeginPropertyGroup(const std::string& Condition) override;
  void WriteProperty(const std::string& Name, const std::string& Value, bool WriteEmpty,
                     const std::string& Condition) override;
  void EndPropertyGroup() override;
  void ReadPropertyGroup(const std::string& GroupCondition, IPropertyReader& Reader) override;
  void ReadGroupProperty(const std::string& Name, const std::string& GroupCondition, IPropertyReader& Reader) override;
  void ReadPropertyInAllGroups(const std::string& Name, IPropertyReader& Reader) override;
  void ReadGlobalProperty(const std::string& Name, IPropertyReader& Reader) override;
  void GetGroupConditions(std::vector<std::string>& Strings) override;
  void GetGroupPropertyNames(const std::string& GroupCondition, std::vector<std::string>& Strings) override;
  void AddImport(const std::string& Project, const std::string& Condition) override;
  void InsertImport(const std::string& Project, int Index, const std::string& Condition) override;
  void MoveImport(const std::string& Project, const std::string& Condition, int Index) override;
  bool HasImport(const std::string& Project, const std::string& Condition) override;
  int RemoveImport(const std::string& Project, const std::string& Condition) override;
  void RemoveAllImports() override;
  bool GetGlobalProperty(const std::string& Name, std::string& Value, std::string& Condition) override;
  void SetGlobalProperty(const std::string& Name, const std::string& Value, bool WriteEmpty,
                         const std::string& Condition) override;
  void SetConditionedProperty(const std::string& Name, const std::string& Value, const std::string& Condition) override;
  bool IsModified() override;
  void Preserve() override;
  void Restore() override;
  void DiscardPreserved() override;
  void RemovePropertyGroups(const std::string& Condition) override;
  TGUID GetProjectGuid() override;
  void SetProjectGuid(const TGUID& Guid) override;
  void RemoveGroupProperty(const std::string& GroupCondition, const std::string& Name) override;
  bool HasUnconditionedProperty(const std::string& Name) override;
  bool EngineQuery(const std::string& Text, std::string& Result) override;
  void ClearPropertyGroups(const std::string& Condition) override;
  void RemoveGlobalProperty(const std::string& Name) override;
  void BeginWriteTarget(const std::string& Name, const std::string& DependsOnTargets) override;
  void EndWriteTarget() override;
  void BeginWriteTask(const std::string& Name) override;
  void EndWriteTask() override;
  void SetTaskParameter(const std::string& Name, const std::string& Value) override;
  void SetTaskCondition(const std::string& Condition) override;
  void RemoveTarget(const std::string& Name) override;
  void RemoveConditionedPropertyGroups(const std::string& Condition) override;
  std::string GetXml() override;
  void Reserved() override {}
  void ReadTargets(ITargetReader& Reader) override;
  void ClearCurrentTarget() override;
  void ResetDocument() override;
  void RebuildTree() override;
  void Reload() override;
  void SetFileName(const std::string& FileName) override;
  void CacheEngineProject() override;
  void ReleaseEngineProject() override;

 private:
  // Clears the cached group references when their node leaves the tree.
  class TNodeChangeListener : public INodeChangeListener {
   public:
    explicit TNodeChangeListener(TNativeMSBuildProject& Owner) : FOwner(Owner) {}
    void NodeChanged(TNodeChangeType ChangeType, TNode* Node) override;

   private:
    TNativeMSBuildProject& FOwner;
  };

  [[noreturn]] void Fail(const std::string& Message) const;
  void SetRoot(std::unique_ptr<msb::TProjectNode> Root);
  void ClearCachedReferences();
  msb::TProjectExtensions* Extensions();
  msb::TPropertyGroup* GlobalGroup();
  msb::TPropertyGroup* FirstGroup(const std::string& Condition) const;
  msb::TItemGroup* ItemGroupFor(bool References);
  void WriteGroupProperty(msb::TPropertyGroup* Group, const std::string& Name, const std::string& Value,
                          bool WriteEmpty, const std::string& Condition);
  void CheckNoXml(const std::string& Value, const char* Message) const;
  std::shared_ptr<IEngineProjectView> EngineView(bool MayReadFile = true);
  // True when the engine reads the document as the file on disk: the file is the version the
  // document was read from or written to, and nothing the engine reads has changed since.
  bool IsAsOnDisk();

  std::shared_ptr<IEngineProjectView> FProjectInterop;
  std::shared_ptr<IEngineProjectView> FCachedProjectInterop;
  std::unique_ptr<msb::TProjectNode> FProjectNode;
  std::unique_ptr<msb::TProjectNode> FPreservedProject;
  bool FDirtyWhenPreserved = false;
  msb::TItem* FCurrentBuildItem = nullptr;
  msb::TPropertyGroup* FCurrentPropertyGroup = nullptr;
  msb::TTarget* FCurrentTarget = nullptr;
  msb::TTask* FCurrentTask = nullptr;
  msb::TItemGroup* FItemGroup = nullptr;
  msb::TItemGroup* FReferenceGroup = nullptr;
  msb::TPropertyGroup* FGlobalPropertyGroup = nullptr;
  msb::TProjectExtensions* FProjectExtensions = nullptr;
  std::string FFileName;
  // The file the tree was last read from or written to (empty for a new document or one
  // read from an editor buffer), and that file's version then: a save over it refuses to
  // replace a version another process wrote since.
  std::string FReadFrom;
  TFileInfo FReadVersion;
  TNodeChangeListener FNodeListener{*this};
};

}  // namespace nxs
