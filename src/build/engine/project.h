// The project as the engine holds it while it evaluates and builds: properties, items, item
// definitions and targets, and the context an expansion happens in. Internal to the engine.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "build/engine/engine.h"
#include "build/engine/xmltree.h"

namespace nxs::engine {

struct TNoCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view S) const noexcept;
};
struct TNoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view A, std::string_view B) const noexcept;
};
template <class T>
using TNoCaseMap = std::unordered_map<std::string, T, TNoCaseHash, TNoCaseEqual>;

// Custom metadata of an item, values escaped as written. Items carry a handful, so a vector
// searched in order beats a map.
class TMetadata {
 public:
  const std::string* Find(std::string_view Name) const;
  void Set(std::string_view Name, std::string Value);
  void Remove(std::string_view Name);
  // Values of Other that this one lacks.
  void AddDefaults(const TMetadata& Other);
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return FEntries; }
  bool Empty() const { return FEntries.empty(); }

 private:
  std::vector<std::pair<std::string, std::string>> FEntries;
};

struct TItem {
  std::string Spec;  // escaped
  TMetadata Meta;
};
using TItemList = std::vector<TItem>;

struct TProperty {
  std::string Value;  // escaped
  bool Global = false;
  bool Reserved = false;
};

// The process environment as properties (values escaped), shared read-only by the projects
// evaluated while the environment stays as it is: a group of a thousand projects need not copy
// it a thousand times. A project's own properties of the same names hide these.
struct TEnvironmentProperties {
  TNoCaseMap<std::string> Values;
  size_t Bytes = 0;  // of the values together
};
std::shared_ptr<const TEnvironmentProperties> EnvironmentProperties();

// No expanded value grows beyond this, nor do a project's property values together, nor its
// items together. Text that doubles itself a few dozen times (P1 = $(P0)$(P0), P2 =
// $(P1)$(P1), ...) would otherwise fill memory; real projects stay far below it.
inline constexpr size_t MaxExpansionBytes = size_t(256) << 20;
// What an item weighs against that bound: its text, its metadata and a little for itself.
size_t ItemBytes(const TItem& Item);

// Where an element sits, for error messages.
struct TLocation {
  const std::string* File = nullptr;
  int Line = 0;
  int Column = 0;
};
TLocation LocationOf(const TXmlDocument& Doc, const TXmlElement& E);
[[noreturn]] void Fail(const TLocation& Where, const std::string& Text);

struct TTargetDef {
  const TXmlElement* Element = nullptr;
  const TXmlDocument* Doc = nullptr;
};

// A batch: the items of each batched type that share the referenced metadata values, and
// those values.
struct TBucket {
  TNoCaseMap<TItemList> Items;
  struct TValue {
    std::string Type;  // empty for an unqualified %(Name)
    std::string Name;
    std::string Value;  // escaped
  };
  std::vector<TValue> Values;
  const std::string* Find(std::string_view Type, std::string_view Name) const;
};

class TProject;

// What an expansion may see.
struct TExpandContext {
  TProject* Project = nullptr;
  // The file the text comes from (MSBuildThisFile...).
  const std::string* ThisFile = nullptr;
  TLocation Where;
  // Item lists are expanded (false while properties are evaluated: "@(X)" stays as written).
  bool ExpandItems = true;
  // %(Name) of the item being defined or transformed.
  const TItem* MetaItem = nullptr;
  const TBucket* Bucket = nullptr;
  // Exists() takes relative paths from ThisFile's directory (the conditions of imports and
  // property groups while the project is evaluated), else from the project's.
  bool ExistsBesideThisFile = false;
  // The most bytes the expansion may make, and what it makes (a property, or items of a
  // type), named when it would make more.
  size_t Limit = MaxExpansionBytes;
  std::string_view Making;
  bool MakingItems = false;
};

// Parsed project files, shared by every project a TEngine evaluates: the same targets file
// is imported by all of them. A file changed on disk is read again.
class TDocumentCache {
 public:
  // Within a make, a file read since nothing changed files is not asked of the disk again.
  std::shared_ptr<const TXmlDocument> Load(const std::string& FullPath);
  // The text of a project file; a device or a pipe is refused (EEngineError), not read.
  static std::string ReadText(const std::string& FullPath);

 private:
  struct TEntry {
    int64_t ModifiedNs = 0;
    uint64_t Size = 0;
    std::shared_ptr<const TXmlDocument> Doc;
  };
  std::shared_ptr<const TXmlDocument> LoadFromDisk(const std::string& FullPath);
  std::mutex FLock;
  std::unordered_map<std::string, TEntry> FEntries;
};

// State of a target in one build of one project.
enum TTargetState { tsNotRun, tsRunning, tsSucceeded, tsFailed, tsSkipped };
struct TTargetResult {
  TTargetState State = tsNotRun;
  TItemList Outputs;
};

class TProject : public TEvaluatedProject {
 public:
  TProject(const std::string& FullPath, const TPropertyMap& Globals);
  TProject(const TProject&) = delete;  // targets and items point into documents it keeps
  TProject& operator=(const TProject&) = delete;

  const std::string& FullPath() const override { return FFullPath; }
  std::string GetPropertyValue(const std::string& Name) const override;
  bool HasProperty(const std::string& Name) const override;
  std::vector<TTaskItem> GetItems(const std::string& ItemType) const override;
  std::string Expand(const std::string& Text) const override;
  bool HasTarget(const std::string& Name) const override;

  const std::string& Directory() const { return FDirectory; }
  const TPropertyMap& GlobalProperties() const { return FGlobals; }
  // The escaped value; MSBuildThisFile... come from ThisFile.
  bool FindProperty(std::string_view Name, const std::string* ThisFile, std::string& Value) const;
  // The escaped value as stored, without a copy; null for a property that is not defined and
  // for the MSBuildThisFile... names, which FindProperty computes.
  const std::string* StoredProperty(std::string_view Name) const;
  // Raises EEngineError for a reserved name; a global property is left alone.
  void SetProperty(std::string_view Name, std::string Value, const TLocation& Where);
  // A global property the project may set after all (TreatAsLocalProperty).
  void TreatAsLocal(std::string_view Name);
  // For the environment and the engine itself.
  void InitProperty(std::string_view Name, std::string Value, bool Reserved);
  // Ctx made ready to expand the value of the property Name: no larger than the room the
  // project's other property values leave.
  TExpandContext ForProperty(std::string_view Name, TExpandContext Ctx) const;
  // Ctx made ready to expand items of Type: no more than the room the project's items leave.
  TExpandContext ForItems(std::string_view Type, TExpandContext Ctx) const;
  // Bookkeeping of the bytes the project's items take; Add raises EEngineError naming the
  // items of Type when they would outgrow the bound.
  void AddItemBytes(std::string_view Type, size_t Bytes, const TLocation& Where);
  void RemoveItemBytes(size_t Bytes);
  const TItemList* FindItems(std::string_view Type) const;
  TItemList& ItemsOf(std::string_view Type);
  TTaskItem ToTaskItem(const TItem& Item) const;

  TNoCaseMap<TMetadata> ItemDefinitions;
  TNoCaseMap<TTargetDef> Targets;
  std::string FirstTarget;
  // Targets that asked to run before or after the named target, in document order.
  TNoCaseMap<std::vector<std::string>> BeforeTargets, AfterTargets;
  std::vector<std::string> DefaultTargets, InitialTargets;
  bool DefaultTargetsSet = false;
  bool AnyTargetReturns = false;
  std::vector<std::shared_ptr<const TXmlDocument>> Documents;
  TNoCaseMap<TTargetResult> TargetResults;

 private:
  std::string FFullPath, FDirectory;
  TPropertyMap FGlobals;
  // The size of the value Name has now: its own, or the environment's it does not hide.
  size_t ValueSize(std::string_view Name, TNoCaseMap<TProperty>::const_iterator It) const;
  std::shared_ptr<const TEnvironmentProperties> FEnvironment;
  TNoCaseMap<TProperty> FProperties;
  size_t FPropertyBytes = 0;  // the environment's included
  TNoCaseMap<TItemList> FItems;
  size_t FItemBytes = 0;
};

// Applies an item element (Include, Remove, Update, or in a target none of them: the
// element's metadata set on every item of its type) to the project. The element's own
// Condition is the caller's, except for the per-item forms inside targets.
void ApplyItemElement(TProject& P, const TXmlElement& E, const TExpandContext& Ctx, bool InTarget);
// Sets the properties of a <PropertyGroup> whose condition held.
void ApplyPropertyGroup(TProject& P, const TXmlElement& Group, const TExpandContext& Ctx);

// Evaluates the project file FullPath (Text in place of the file when UseText) with the
// global properties. Warnings (a project imported twice) go to Logger when there is one.
std::shared_ptr<TProject> EvaluateProject(TDocumentCache& Cache, const std::string& FullPath,
                                          const TPropertyMap& Globals, const std::string* Text, ILogger* Logger);

}  // namespace nxs::engine
