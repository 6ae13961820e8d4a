// The MSBuild node classes: one class per element kind of an MSBuild project file, with the
// typed accessors the project document uses, and the per-group hash indexes that find a
// property or an item without scanning.
//
// They live in nxs::msb because the configuration layer has its own TPropertyGroup (the
// property bag of a build configuration); both keep the name the system knows them by.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "projectfiles/nodeindex.h"
#include "projectfiles/nodes.h"

namespace nxs::msb {

// The MSBuild 2003 project namespace.
inline constexpr const char* MSBuildNamespace = "http://schemas.microsoft.com/developer/msbuild/2003";
// The current personality version and project file version.
inline constexpr int CurrentPersonalityVersion = 12;
inline constexpr int CurrentProjectFileVersion = 12;

// Declares the class operations of a node class: the static ClassInfo and its virtual.
#define NXS_NODE_CLASS()                  \
  static const ::nxs::TNodeClass& ClassInfo(); \
  const ::nxs::TNodeClass& NodeClass() const override { return ClassInfo(); }

class TMSBNode : public TNode {
 public:
  using TNode::TNode;
  NXS_NODE_CLASS()
};

class TProperty;
class TItem;
class TImport;
class TItemGroup;
class TPropertyGroup;
class TTarget;
class TTask;
class TOutput;
class TError;
class TWarning;
class TMessage;
class TOnError;
class TProjectExtensions;

// A property: element name = property name, text = value.
class TProperty : public TMSBNode {
 public:
  TProperty(std::string_view Name = {}, std::string_view Condition = {}, std::string_view Value = {});
  NXS_NODE_CLASS()
  bool FixedChildClass() const override { return true; }
};

// "PropertyGroup": properties, found by name and condition through FPropertyHash.
class TPropertyGroup : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  ~TPropertyGroup() override;
  NXS_NODE_CLASS()
  bool FixedChildClass() const override { return true; }

  void ChildChange(TNodeChangeType ChangeType, TNode* Node) override;
  void Clear() override;

  TProperty* AddProperty(std::string_view Name, std::string_view Condition, std::string_view Value);
  TProperty* GetProperty(int Index) const;
  // By name and condition, both without regard to case.
  TProperty* GetProperty(std::string_view Name, std::string_view Condition, bool Create);
  std::vector<TProperty*> GetProperties() const;
  int PropertyCount() const;
  TProperty* SetProperty(std::string_view Name, std::string_view Condition, std::string_view Value);
  void RemoveProperty(std::string_view Name, std::string_view Condition);

 private:
  const detail::TNodeIndex& KeyIndex() const;
  mutable detail::TNodeIndex FPropertyHash;
};

// An item: element name = item type; "Include", "Exclude"; each child is one metadata entry.
class TItem : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  bool FixedChildClass() const override { return true; }

  std::string Include() const { return GetAttribute("Include"); }
  void SetInclude(std::string_view Value) { SetAttribute("Include", Value); }
  std::string Exclude() const { return GetAttribute("Exclude"); }
  void SetExclude(std::string_view Value) { SetAttribute("Exclude", Value); }
  // Always appends a new metadata child.
  TNode* AddMetadata(std::string_view Name, std::string_view Value, bool IsCData = false);
  // Removes every metadata child of that name.
  void RemoveMetadata(std::string_view Name);
  void ClearMetadata() { Clear(); }
};

// "ItemGroup": items, found by include and condition through FItemHash.
class TItemGroup : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  ~TItemGroup() override;
  NXS_NODE_CLASS()
  bool FixedChildClass() const override { return true; }

  void ChildChange(TNodeChangeType ChangeType, TNode* Node) override;
  void Clear() override;

  TItem* AddItem(std::string_view ItemType, std::string_view Include, std::string_view Condition = {});
  // By include and condition (without regard to case); the first in document order when
  // several items share them.
  TItem* GetItem(std::string_view Include, std::string_view Condition) const;
  TItem* GetItem(int Index) const;
  std::vector<TItem*> GetItems() const;
  int ItemCount() const;
  void RemoveItem(std::string_view Include, std::string_view Condition);

 private:
  const detail::TNodeIndex& KeyIndex() const;
  mutable detail::TNodeIndex FItemHash;
};

// "Import": attribute "Project".
class TImport : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  std::string Project() const { return GetAttribute("Project"); }
  void SetProject(std::string_view Value) { SetAttribute("Project", Value); }
};

// "Output": attributes "ItemName", "PropertyName", "TaskParameter".
class TOutput : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  std::string ItemName() const { return GetAttribute("ItemName"); }
  void SetItemName(std::string_view V) { SetAttribute("ItemName", V); }
  std::string PropertyName() const { return GetAttribute("PropertyName"); }
  void SetPropertyName(std::string_view V) { SetAttribute("PropertyName", V); }
  std::string TaskParameter() const { return GetAttribute("TaskParameter"); }
  void SetTaskParameter(std::string_view V) { SetAttribute("TaskParameter", V); }
};

// A task inside a target: element name = task name; every attribute except "Condition" and
// "ContinueOnError" is a parameter; children "Output".
class TTask : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  std::string GetParameter(std::string_view Name) const { return GetAttribute(Name); }
  void SetParameter(std::string_view Name, std::string_view Value) { SetAttribute(Name, Value); }
  std::vector<std::string> ParameterNames() const;
  // "ContinueOnError" holds "True" or "False".
  bool ContinueOnError() const;
  void SetContinueOnError(bool Value);
  TOutput* AddOutput();
  TOutput* GetOutput(int Index) const;
  int OutputCount() const;
};

// Base of "Error", "Warning" and "Message": attribute "Text".
class TMessageType : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  std::string Text() const { return GetAttribute("Text"); }
  void SetText(std::string_view V) { SetAttribute("Text", V); }
};

class TError : public TMessageType {
 public:
  using TMessageType::TMessageType;
  NXS_NODE_CLASS()
};

class TWarning : public TMessageType {
 public:
  using TMessageType::TMessageType;
  NXS_NODE_CLASS()
};

enum TMessageImportance { miLow, miNormal, miHigh };

class TMessage : public TMessageType {
 public:
  using TMessageType::TMessageType;
  NXS_NODE_CLASS()
  // The last value set; miNormal for a node read from a file.
  TMessageImportance Importance() const { return FImportance; }
  // miLow writes "low" to "Importance", miHigh "high", miNormal removes the attribute.
  void SetImportance(TMessageImportance Value);
  std::unique_ptr<TNode> CreateCopy(bool Deep) const override;

 private:
  TMessageImportance FImportance = miNormal;
};

// "OnError": attribute "ExecuteTargets".
class TOnError : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  std::string ExecuteTargets() const { return GetAttribute("ExecuteTargets"); }
  void SetExecuteTargets(std::string_view V) { SetAttribute("ExecuteTargets", V); }
};

// "Target": "Name", "DependsOnTargets", "Inputs", "Outputs"; tasks and the children
// "Error", "Warning", "Message", "OnError".
class TTarget : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  std::string Name() const { return GetAttribute("Name"); }
  void SetTargetName(std::string_view V) { SetAttribute("Name", V); }
  std::string DependsOnTargets() const { return GetAttribute("DependsOnTargets"); }
  void SetDependsOnTargets(std::string_view V) { SetAttribute("DependsOnTargets", V); }
  std::string Inputs() const { return GetAttribute("Inputs"); }
  void SetInputs(std::string_view V) { SetAttribute("Inputs", V); }
  std::string Outputs() const { return GetAttribute("Outputs"); }
  void SetOutputs(std::string_view V) { SetAttribute("Outputs", V); }

  // Over the children of class TTask only.
  TTask* GetTask(int Index) const;
  int GetTaskCount() const;
  // By element name; created at the end when asked.
  TTask* GetTask(std::string_view Name, bool Create);
  std::vector<TTask*> GetTasks() const;

  TError* AddError();
  TWarning* AddWarning();
  TMessage* AddMessage();
  TOnError* AddOnError();
  TError* GetError(int Index) const;
  int GetErrorCount() const;
  TWarning* GetWarning(int Index) const;
  int GetWarningCount() const;
  TMessage* GetMessage(int Index) const;
  int GetMessageCount() const;
  TOnError* GetOnError(int Index) const;
};

// "UsingTask": "AssemblyFile", "AssemblyName", "TaskName".
class TUsingTask : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  std::string AssemblyFile() const { return GetAttribute("AssemblyFile"); }
  void SetAssemblyFile(std::string_view V) { SetAttribute("AssemblyFile", V); }
  std::string AssemblyName() const { return GetAttribute("AssemblyName"); }
  void SetAssemblyName(std::string_view V) { SetAttribute("AssemblyName", V); }
  std::string TaskName() const { return GetAttribute("TaskName"); }
  void SetTaskName(std::string_view V) { SetAttribute("TaskName", V); }
};

class TChooseNode : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
};

class TWhenNode : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
};

class TOtherwiseNode : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
};

// "Tarvos.Personality": the project's personality. A version suffix (".12") is removed
// after reading and added before writing.
class TPersonalityNode : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  // Raises EProjectFileException (message: the number) for a version above 12.
  void AfterRead() override;
  void BeforeWrite() override;
  void StripPersonalityVersion();
  void EnsurePersonalityVersion();
};

// "ProjectExtensions": named sections; plain values and nested XML sections.
class TProjectExtensions : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()
  // The text of the first child of that name, or "".
  std::string GetValue(std::string_view Name);
  // Replaces the child of that name by a plain node holding Value, at the same position
  // (at the end when there was none).
  void SetValue(std::string_view Name, std::string_view Value);
  // The named child written as XML text, or "".
  std::string GetXml(std::string_view Name);
  // Replaces the named child by the element parsed from Xml; raises EParseException for
  // text that is not XML and leaves the section unchanged then.
  void SetXml(std::string_view Name, std::string_view Xml);

 private:
  std::recursive_mutex FLockObject;
};

// "Project": the root of a project document.
class TProjectNode : public TMSBNode {
 public:
  using TMSBNode::TMSBNode;
  NXS_NODE_CLASS()

  TImport* GetImport(int Index) const;
  // Matches the "Project" attribute as a file name among the imports with that condition.
  TImport* GetImport(std::string_view Project, std::string_view Condition, bool Create);
  int ImportCount() const;
  std::vector<TImport*> GetImports() const;
  TItemGroup* GetItemGroup(int Index) const;
  TItemGroup* GetItemGroup(std::string_view Condition, bool Create);
  int ItemGroupCount() const;
  std::vector<TItemGroup*> GetItemGroups() const;
  TPropertyGroup* GetPropertyGroup(int Index) const;
  TPropertyGroup* GetPropertyGroup(std::string_view Condition, bool Create);
  int PropertyGroupCount() const;
  std::vector<TPropertyGroup*> GetPropertyGroups() const;
  TTarget* GetTarget(int Index) const;
  // By the "Name" attribute without regard to case; a created target gets the name.
  TTarget* GetTarget(std::string_view Name, bool Create);
  int TargetCount() const;
  std::vector<TTarget*> GetTargets() const;
  TImport* AddImport(std::string_view Project, std::string_view Condition = {}, TNode* After = nullptr);
  TItemGroup* AddItemGroup(std::string_view Condition = {}, TNode* After = nullptr);
  TPropertyGroup* AddPropertyGroup(std::string_view Condition = {}, TNode* After = nullptr);
  // Finds or creates the "ProjectExtensions" child.
  TProjectExtensions* GetProjectExtensions();
  std::string DefaultTargets() const { return GetAttribute("DefaultTargets"); }
  void SetDefaultTargets(std::string_view V) { SetAttribute("DefaultTargets", V); }
  std::string InitialTargets() const { return GetAttribute("InitialTargets"); }
  void SetInitialTargets(std::string_view V) { SetAttribute("InitialTargets", V); }
  // The document as text, without byte-order mark.
  std::string GetXml();
  // The property groups whose condition means Condition (spelled alike or not), in document
  // order; valid until a property group of the project is added, removed, moved or changes
  // an attribute.
  const std::vector<TPropertyGroup*>& PropertyGroupsWith(std::string_view Condition);
  void ChildChange(TNodeChangeType ChangeType, TNode* Node) override;

 private:
  std::recursive_mutex FLockObject;
  struct TGroupIndex {
    bool Valid = false;
    std::unordered_map<std::string, std::vector<TPropertyGroup*>> ByMeaning;
    std::unordered_map<std::string, std::string> KeyOfText;  // condition text -> its meaning
  };
  TGroupIndex FGroupIndex;
  const std::string& MeaningOf(std::string_view Condition);
  void IndexGroup(TPropertyGroup* Group);
  void UnindexGroup(TPropertyGroup* Group);
};

}  // namespace nxs::msb
