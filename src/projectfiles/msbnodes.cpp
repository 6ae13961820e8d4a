#include "projectfiles/msbnodes.h"

#include <algorithm>
#include <climits>

#include "projectfiles/conditions.h"
#include "projectfiles/errors.h"
#include "projectfiles/resstrings.h"
#include "projectfiles/xmlio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {
namespace msb {

// The class operations of every MSBuild class: element name, default child class and a
// maker. Classes whose elements are named per node ("its property name") have an empty
// element name.
#define NXS_DEFINE_NODE_CLASS(Cls, ElementName, DefaultChild)                                         \
  const TNodeClass& Cls::ClassInfo() {                                                                  \
    static const TNodeClass Class{#Cls,                                                                 \
                                  ElementName,                                                          \
                                  MSBuildNamespace,                                                     \
                                  "",                                                                   \
                                  &DefaultChild::ClassInfo,                                             \
                                  [](std::string Name) -> std::unique_ptr<TNode> {                      \
                                    return std::make_unique<Cls>(Name);                                 \
                                  },                                                                    \
                                  [](void* Memory) -> TNode* { return new (Memory) Cls(); },            \
                                  sizeof(Cls)};                                                         \
    return Class;                                                                                       \
  }

NXS_DEFINE_NODE_CLASS(TMSBNode, "", TNode)
NXS_DEFINE_NODE_CLASS(TProperty, "", TNode)
NXS_DEFINE_NODE_CLASS(TPropertyGroup, "PropertyGroup", TProperty)
NXS_DEFINE_NODE_CLASS(TItem, "", TNode)
NXS_DEFINE_NODE_CLASS(TItemGroup, "ItemGroup", TItem)
NXS_DEFINE_NODE_CLASS(TImport, "Import", TNode)
NXS_DEFINE_NODE_CLASS(TTarget, "Target", TTask)
NXS_DEFINE_NODE_CLASS(TTask, "", TNode)
NXS_DEFINE_NODE_CLASS(TOutput, "Output", TNode)
NXS_DEFINE_NODE_CLASS(TMessageType, "", TNode)
NXS_DEFINE_NODE_CLASS(TError, "Error", TNode)
NXS_DEFINE_NODE_CLASS(TWarning, "Warning", TNode)
NXS_DEFINE_NODE_CLASS(TMessage, "Message", TNode)
NXS_DEFINE_NODE_CLASS(TOnError, "OnError", TNode)
NXS_DEFINE_NODE_CLASS(TUsingTask, "UsingTask", TNode)
NXS_DEFINE_NODE_CLASS(TChooseNode, "Choose", TNode)
NXS_DEFINE_NODE_CLASS(TWhenNode, "When", TNode)
NXS_DEFINE_NODE_CLASS(TOtherwiseNode, "Otherwise", TNode)
NXS_DEFINE_NODE_CLASS(TPersonalityNode, "Tarvos.Personality", TNode)
NXS_DEFINE_NODE_CLASS(TProjectExtensions, "ProjectExtensions", TNode)
NXS_DEFINE_NODE_CLASS(TProjectNode, "Project", TNode)

namespace {

template <class T>
T* NthChildOf(const TNode& Parent, int Index) {
  if (Index < 0 || !Parent.Nodes()) return nullptr;
  for (const auto& Child : *Parent.Nodes())
    if (auto* C = dynamic_cast<T*>(Child.get()))
      if (Index-- == 0) return C;
  return nullptr;
}

template <class T>
int CountChildrenOf(const TNode& Parent) {
  int N = 0;
  if (Parent.Nodes())
    for (const auto& Child : *Parent.Nodes())
      if (dynamic_cast<T*>(Child.get())) ++N;
  return N;
}

template <class T>
std::vector<T*> ChildrenOf(const TNode& Parent) {
  std::vector<T*> List;
  if (Parent.Nodes())
    for (const auto& Child : *Parent.Nodes())
      if (auto* C = dynamic_cast<T*>(Child.get())) List.push_back(C);
  return List;
}

// Makes a node of class T with the given element name (empty: the class's own), the
// condition and the value set before it enters the tree, and appends it.
template <class T>
T* AppendChild(TNode& Parent, std::string_view Name, std::string_view Condition = {}, TNode* After = nullptr) {
  auto Node = std::make_unique<T>(std::string(Name));
  if (!Condition.empty()) Node->SetAttribute("Condition", Condition);
  return static_cast<T*>(Parent.AddNode(std::move(Node), After));
}

size_t HashPair(std::string_view A, std::string_view B) {
  CaseInsensitiveHash H;
  return H(A) * 1000003u ^ H(B);
}

// Every child, also where there are none.
const TNodeList& ChildrenView(const TNode& Node) {
  static const TNodeList Empty;
  return Node.Nodes() ? *Node.Nodes() : Empty;
}

size_t PropertyKey(const TNode* P) { return HashPair(P->NameView(), P->GetAttributeView("Condition")); }
size_t ItemKey(const TNode* P) { return HashPair(P->GetAttributeView("Include"), P->GetAttributeView("Condition")); }

// Of the indexed nodes whose key matches, the first in document order.
template <class TMatch>
TNode* FirstInDocumentOrder(const detail::TNodeIndex& Index, size_t Hash, TMatch&& Match) {
  TNode* Best = nullptr;
  int BestIndex = -1;
  Index.Find(Hash, [&](TNode* N) {
    if (!Match(N)) return false;
    if (!Best) {
      Best = N;
      return false;
    }
    // Several nodes share the key: only then is the position worth finding.
    if (BestIndex < 0) BestIndex = Best->Index();
    int I = N->Index();
    if (I < BestIndex) {
      Best = N;
      BestIndex = I;
    }
    return false;
  });
  return Best;
}

TNode* FindProperty(const detail::TNodeIndex& Index, std::string_view Name, std::string_view Condition) {
  return FirstInDocumentOrder(Index, HashPair(Name, Condition), [&](TNode* N) {
    return SameText(N->NameView(), Name) && SameText(N->GetAttributeView("Condition"), Condition);
  });
}

TNode* FindItem(const detail::TNodeIndex& Index, std::string_view Include, std::string_view Condition) {
  return FirstInDocumentOrder(Index, HashPair(Include, Condition), [&](TNode* N) {
    return SameText(N->GetAttributeView("Include"), Include) && SameText(N->GetAttributeView("Condition"), Condition);
  });
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Properties

TProperty::TProperty(std::string_view Name, std::string_view Condition, std::string_view Value)
    : TMSBNode(Name) {
  if (!Condition.empty()) SetAttribute("Condition", Condition);
  if (!Value.empty()) SetValueSilently(std::string(Value));
}

TPropertyGroup::~TPropertyGroup() = default;

const detail::TNodeIndex& TPropertyGroup::KeyIndex() const {
  if (!FPropertyHash.Built()) {
    for (const auto& Child : ChildrenView(*this)) FPropertyHash.Insert(Child.get(), PropertyKey(Child.get()));
    FPropertyHash.MarkBuilt();
  }
  return FPropertyHash;
}

void TPropertyGroup::ChildChange(TNodeChangeType ChangeType, TNode* Node) {
  switch (ChangeType) {
    case ncAdded:
    case ncAfterRename:
    case ncAfterAttributeChange:
      if (FPropertyHash.Built()) FPropertyHash.Insert(Node, PropertyKey(Node));
      break;
    case ncDeleted:
    case ncBeforeRename:
    case ncBeforeAttributeChange:
      if (FPropertyHash.Built()) FPropertyHash.Erase(Node, PropertyKey(Node));
      break;
    default:
      break;
  }
}

void TPropertyGroup::Clear() {
  FPropertyHash.Clear();
  DetachAndDestroyChildren();
}

TProperty* TPropertyGroup::AddProperty(std::string_view Name, std::string_view Condition, std::string_view Value) {
  auto Node = std::make_unique<TProperty>(std::string(Name), Condition, Value);
  TProperty* Raw = Node.get();
  InsertNode(std::move(Node));
  return Raw;
}

TProperty* TPropertyGroup::GetProperty(int Index) const { return NthChildOf<TProperty>(*this, Index); }

TProperty* TPropertyGroup::GetProperty(std::string_view Name, std::string_view Condition, bool Create) {
  if (TNode* Found = FindProperty(KeyIndex(), Name, Condition)) return static_cast<TProperty*>(Found);
  return Create ? AddProperty(Name, Condition, {}) : nullptr;
}

std::vector<TProperty*> TPropertyGroup::GetProperties() const { return ChildrenOf<TProperty>(*this); }

int TPropertyGroup::PropertyCount() const { return CountChildrenOf<TProperty>(*this); }

TProperty* TPropertyGroup::SetProperty(std::string_view Name, std::string_view Condition, std::string_view Value) {
  TProperty* P = GetProperty(Name, Condition, true);
  P->SetValue(Value);
  return P;
}

void TPropertyGroup::RemoveProperty(std::string_view Name, std::string_view Condition) {
  if (TNode* Found = FindProperty(KeyIndex(), Name, Condition)) RemoveNode(Found);
}

// ---------------------------------------------------------------------------------------
// Items

TNode* TItem::AddMetadata(std::string_view Name, std::string_view Value, bool IsCData) {
  auto Node = std::make_unique<TNode>(std::string(Name));
  Node->SetValue(Value);
  Node->SetValueIsCData(IsCData);
  TNode* Raw = Node.get();
  InsertNode(std::move(Node));
  return Raw;
}

void TItem::RemoveMetadata(std::string_view Name) { RemoveNodes(Name); }

TItemGroup::~TItemGroup() = default;

const detail::TNodeIndex& TItemGroup::KeyIndex() const {
  if (!FItemHash.Built()) {
    for (const auto& Child : ChildrenView(*this)) FItemHash.Insert(Child.get(), ItemKey(Child.get()));
    FItemHash.MarkBuilt();
  }
  return FItemHash;
}

void TItemGroup::ChildChange(TNodeChangeType ChangeType, TNode* Node) {
  switch (ChangeType) {
    case ncAdded:
    case ncAfterAttributeChange:
      if (FItemHash.Built()) FItemHash.Insert(Node, ItemKey(Node));
      break;
    case ncDeleted:
    case ncBeforeAttributeChange:
      if (FItemHash.Built()) FItemHash.Erase(Node, ItemKey(Node));
      break;
    default:
      break;
  }
}

void TItemGroup::Clear() {
  FItemHash.Clear();
  DetachAndDestroyChildren();
}

TItem* TItemGroup::AddItem(std::string_view ItemType, std::string_view Include, std::string_view Condition) {
  auto Node = std::make_unique<TItem>(std::string(ItemType));
  if (!Include.empty()) Node->SetAttribute("Include", Include);
  if (!Condition.empty()) Node->SetAttribute("Condition", Condition);
  TItem* Raw = Node.get();
  InsertNode(std::move(Node));
  return Raw;
}

TItem* TItemGroup::GetItem(std::string_view Include, std::string_view Condition) const {
  return static_cast<TItem*>(FindItem(KeyIndex(), Include, Condition));
}

TItem* TItemGroup::GetItem(int Index) const { return NthChildOf<TItem>(*this, Index); }

std::vector<TItem*> TItemGroup::GetItems() const { return ChildrenOf<TItem>(*this); }

int TItemGroup::ItemCount() const { return CountChildrenOf<TItem>(*this); }

void TItemGroup::RemoveItem(std::string_view Include, std::string_view Condition) {
  if (TItem* Found = GetItem(Include, Condition)) RemoveNode(Found);
}

// ---------------------------------------------------------------------------------------
// Targets and tasks

std::vector<std::string> TTask::ParameterNames() const {
  std::vector<std::string> Names;
  for (std::string& N : GetAttributeNames())
    if (N != "Condition" && N != "ContinueOnError") Names.push_back(std::move(N));
  return Names;
}

bool TTask::ContinueOnError() const { return SameText(GetAttributeView("ContinueOnError"), "True"); }

void TTask::SetContinueOnError(bool Value) { SetAttribute("ContinueOnError", Value ? "True" : "False"); }

TOutput* TTask::AddOutput() { return AppendChild<TOutput>(*this, {}); }
TOutput* TTask::GetOutput(int Index) const { return NthChildOf<TOutput>(*this, Index); }
int TTask::OutputCount() const { return CountChildrenOf<TOutput>(*this); }

void TMessage::SetImportance(TMessageImportance Value) {
  FImportance = Value;
  SetAttribute("Importance", Value == miLow ? "low" : Value == miHigh ? "high" : "");
}

std::unique_ptr<TNode> TMessage::CreateCopy(bool Deep) const {
  std::unique_ptr<TNode> Copy = TNode::CreateCopy(Deep);
  if (auto* M = dynamic_cast<TMessage*>(Copy.get())) M->FImportance = FImportance;
  return Copy;
}

TTask* TTarget::GetTask(int Index) const { return NthChildOf<TTask>(*this, Index); }
int TTarget::GetTaskCount() const { return CountChildrenOf<TTask>(*this); }

TTask* TTarget::GetTask(std::string_view Name, bool Create) {
  if (Nodes())
    for (const auto& Child : *Nodes())
      if (auto* T = dynamic_cast<TTask*>(Child.get()); T && SameText(T->NameView(), Name)) return T;
  return Create ? AppendChild<TTask>(*this, Name) : nullptr;
}

std::vector<TTask*> TTarget::GetTasks() const { return ChildrenOf<TTask>(*this); }

TError* TTarget::AddError() { return AppendChild<TError>(*this, {}); }
TWarning* TTarget::AddWarning() { return AppendChild<TWarning>(*this, {}); }
TMessage* TTarget::AddMessage() { return AppendChild<TMessage>(*this, {}); }
TOnError* TTarget::AddOnError() { return AppendChild<TOnError>(*this, {}); }
TError* TTarget::GetError(int Index) const { return NthChildOf<TError>(*this, Index); }
int TTarget::GetErrorCount() const { return CountChildrenOf<TError>(*this); }
TWarning* TTarget::GetWarning(int Index) const { return NthChildOf<TWarning>(*this, Index); }
int TTarget::GetWarningCount() const { return CountChildrenOf<TWarning>(*this); }
TMessage* TTarget::GetMessage(int Index) const { return NthChildOf<TMessage>(*this, Index); }
int TTarget::GetMessageCount() const { return CountChildrenOf<TMessage>(*this); }
TOnError* TTarget::GetOnError(int Index) const { return NthChildOf<TOnError>(*this, Index); }

// ---------------------------------------------------------------------------------------
// Personality

void TPersonalityNode::AfterRead() {
  StripPersonalityVersion();
  TMSBNode::AfterRead();
}

void TPersonalityNode::BeforeWrite() {
  EnsurePersonalityVersion();
  TMSBNode::BeforeWrite();
}

void TPersonalityNode::StripPersonalityVersion() {
  const std::string& V = GetValue();
  size_t Dot = V.rfind('.');
  if (Dot == std::string::npos) return;
  std::string_view Suffix = std::string_view(V).substr(Dot + 1);
  if (!IsWholeNumber(Suffix)) return;
  // More digits than an int holds is a version from far in the future as well.
  int Version = INT_MAX;
  if (Suffix.size() <= 9) Version = static_cast<int>(StrToIntDef(Suffix, INT_MAX));
  if (Version > CurrentPersonalityVersion)
    throw EProjectFileException(
        Format(res::SPersonalityVersion, V.substr(0, Dot), std::string(Suffix), CurrentPersonalityVersion));
  SetValueSilently(V.substr(0, Dot));
}

void TPersonalityNode::EnsurePersonalityVersion() {
  const std::string& V = GetValue();
  size_t Dot = V.rfind('.');
  if (Dot == std::string::npos) return;
  if (IsWholeNumber(std::string_view(V).substr(Dot + 1))) return;
  SetValueSilently(V + "." + std::to_string(CurrentPersonalityVersion));
}

// ---------------------------------------------------------------------------------------
// Extension section

std::string TProjectExtensions::GetValue(std::string_view Name) {
  TNode* Child = GetChildByIndex(Name, 0);
  return Child ? Child->GetValue() : std::string();
}

void TProjectExtensions::SetValue(std::string_view Name, std::string_view Value) {
  std::lock_guard<std::recursive_mutex> Guard(FLockObject);
  TNode* Old = GetChildByIndex(Name, 0);
  // Writing the value a plain element already holds changes nothing (opening a project
  // stamps its version; that alone must not make it modified).
  if (Old && Old->GetValue() == Value && !Old->HasChildren() && !Old->HasAttributes() &&
      Old->GetId().empty() && !Old->GetValueIsCData())
    return;
  int Index = Old ? Old->Index() : -1;
  if (Old) RemoveNode(Index);
  const TNodeClass& Class = GetNodeClass(Namespace(), Name, this);
  std::unique_ptr<TNode> Node = Class.Make(Name == Class.NodeName ? std::string() : std::string(Name));
  Node->SetValue(Value);
  InsertNode(std::move(Node), Index);
}

std::string TProjectExtensions::GetXml(std::string_view Name) {
  TNode* Child = GetChildByIndex(Name, 0);
  if (!Child) return {};
  std::string Text;
  TXmlWriter Writer(Text, xeUTF16, false);
  Writer.Write(*Child);
  return Text;
}

void TProjectExtensions::SetXml(std::string_view Name, std::string_view Xml) {
  std::string Trimmed = Trim(Xml);
  std::unique_ptr<TNode> Root;
  if (!Trimmed.empty()) {
    TXmlReader Reader;
    Root = Reader.Read(Trimmed);
  }
  std::lock_guard<std::recursive_mutex> Guard(FLockObject);
  TNode* Old = GetChildByIndex(Name, 0);
  int Index = Old ? Old->Index() : -1;
  if (Old) RemoveNode(Index);
  if (Root) InsertNode(std::move(Root), Index);
}

// ---------------------------------------------------------------------------------------
// Project

TImport* TProjectNode::GetImport(int Index) const { return NthChildOf<TImport>(*this, Index); }

TImport* TProjectNode::GetImport(std::string_view Project, std::string_view Condition, bool Create) {
  for (TImport* I : GetImports())
    if (SameConditionMeaning(I->GetAttributeView("Condition"), Condition) &&
        SameFileName(I->GetAttributeView("Project"), Project))
      return I;
  return Create ? AddImport(Project, Condition) : nullptr;
}

int TProjectNode::ImportCount() const { return CountChildrenOf<TImport>(*this); }
std::vector<TImport*> TProjectNode::GetImports() const { return ChildrenOf<TImport>(*this); }

TItemGroup* TProjectNode::GetItemGroup(int Index) const { return NthChildOf<TItemGroup>(*this, Index); }

TItemGroup* TProjectNode::GetItemGroup(std::string_view Condition, bool Create) {
  for (TItemGroup* G : GetItemGroups())
    if (SameText(G->GetAttributeView("Condition"), Condition)) return G;
  return Create ? AddItemGroup(Condition) : nullptr;
}

int TProjectNode::ItemGroupCount() const { return CountChildrenOf<TItemGroup>(*this); }
std::vector<TItemGroup*> TProjectNode::GetItemGroups() const { return ChildrenOf<TItemGroup>(*this); }

TPropertyGroup* TProjectNode::GetPropertyGroup(int Index) const { return NthChildOf<TPropertyGroup>(*this, Index); }

TPropertyGroup* TProjectNode::GetPropertyGroup(std::string_view Condition, bool Create) {
  const std::vector<TPropertyGroup*>& Groups = PropertyGroupsWith(Condition);
  if (!Groups.empty()) return Groups.front();
  return Create ? AddPropertyGroup(Condition) : nullptr;
}

const std::string& TProjectNode::MeaningOf(std::string_view Condition) {
  auto& Keys = FGroupIndex.KeyOfText;
  auto It = Keys.find(std::string(Condition));
  if (It == Keys.end()) It = Keys.emplace(std::string(Condition), ConditionKey(Condition)).first;
  return It->second;
}

const std::vector<TPropertyGroup*>& TProjectNode::PropertyGroupsWith(std::string_view Condition) {
  static const std::vector<TPropertyGroup*> None;
  if (!FGroupIndex.Valid) {
    FGroupIndex.ByMeaning.clear();
    for (TPropertyGroup* G : GetPropertyGroups())
      FGroupIndex.ByMeaning[MeaningOf(G->GetAttributeView("Condition"))].push_back(G);
    FGroupIndex.Valid = true;
  }
  auto It = FGroupIndex.ByMeaning.find(MeaningOf(Condition));
  return It == FGroupIndex.ByMeaning.end() ? None : It->second;
}

// The index follows each change of a property group, so that a save that adds thousands of
// groups, looking each one's condition up before it adds it, stays linear. A group joins the
// others of its meaning in document order; it is nearly always the only one.
void TProjectNode::IndexGroup(TPropertyGroup* Group) {
  std::vector<TPropertyGroup*>& Same = FGroupIndex.ByMeaning[MeaningOf(Group->GetAttributeView("Condition"))];
  if (Same.empty()) {
    Same.push_back(Group);
    return;
  }
  const int At = Group->Index();
  auto Pos = std::find_if(Same.begin(), Same.end(), [At](TPropertyGroup* G) { return G->Index() > At; });
  Same.insert(Pos, Group);
}

void TProjectNode::UnindexGroup(TPropertyGroup* Group) {
  auto It = FGroupIndex.ByMeaning.find(MeaningOf(Group->GetAttributeView("Condition")));
  if (It != FGroupIndex.ByMeaning.end() && std::erase(It->second, Group)) return;
  FGroupIndex.Valid = false;  // not where its condition puts it: built again on the next lookup
}

void TProjectNode::ChildChange(TNodeChangeType ChangeType, TNode* Node) {
  auto* Group = dynamic_cast<TPropertyGroup*>(Node);
  if (FGroupIndex.Valid && Group) {
    switch (ChangeType) {
      case ncAdded:
      case ncAfterAttributeChange:
        IndexGroup(Group);
        break;
      case ncDeleted:
      case ncBeforeAttributeChange:
        UnindexGroup(Group);
        break;
      case ncMoved: {
        const auto& Same = PropertyGroupsWith(Group->GetAttributeView("Condition"));
        if (Same.size() > 1) FGroupIndex.Valid = false;  // its place among the others may have changed
        break;
      }
      default:
        break;
    }
  }
  TMSBNode::ChildChange(ChangeType, Node);
}

int TProjectNode::PropertyGroupCount() const { return CountChildrenOf<TPropertyGroup>(*this); }
std::vector<TPropertyGroup*> TProjectNode::GetPropertyGroups() const { return ChildrenOf<TPropertyGroup>(*this); }

TTarget* TProjectNode::GetTarget(int Index) const { return NthChildOf<TTarget>(*this, Index); }

TTarget* TProjectNode::GetTarget(std::string_view Name, bool Create) {
  for (TTarget* T : GetTargets())
    if (SameText(T->GetAttributeView("Name"), Name)) return T;
  if (!Create) return nullptr;
  auto Node = std::make_unique<TTarget>();
  Node->SetAttribute("Name", Name);
  return static_cast<TTarget*>(AddNode(std::move(Node)));
}

int TProjectNode::TargetCount() const { return CountChildrenOf<TTarget>(*this); }
std::vector<TTarget*> TProjectNode::GetTargets() const { return ChildrenOf<TTarget>(*this); }

TImport* TProjectNode::AddImport(std::string_view Project, std::string_view Condition, TNode* After) {
  auto Node = std::make_unique<TImport>();
  Node->SetAttribute("Project", Project);
  if (!Condition.empty()) Node->SetAttribute("Condition", Condition);
  return static_cast<TImport*>(AddNode(std::move(Node), After));
}

TItemGroup* TProjectNode::AddItemGroup(std::string_view Condition, TNode* After) {
  return AppendChild<TItemGroup>(*this, {}, Condition, After);
}

TPropertyGroup* TProjectNode::AddPropertyGroup(std::string_view Condition, TNode* After) {
  return AppendChild<TPropertyGroup>(*this, {}, Condition, After);
}

TProjectExtensions* TProjectNode::GetProjectExtensions() {
  std::lock_guard<std::recursive_mutex> Guard(FLockObject);
  if (TProjectExtensions* E = NthChildOf<TProjectExtensions>(*this, 0)) return E;
  return AppendChild<TProjectExtensions>(*this, {});
}

std::string TProjectNode::GetXml() {
  std::string Text;
  TXmlWriter Writer(Text, xeUTF16, false);
  Writer.Write(*this);
  return Text;
}

}  // namespace msb

namespace detail {

void RegisterStandardNodeClasses(TNodeClassRegistry& Registry) {
  using namespace msb;
  for (const TNodeClass* Class :
       {&TPropertyGroup::ClassInfo(), &TItemGroup::ClassInfo(), &TImport::ClassInfo(), &TTarget::ClassInfo(),
        &TOutput::ClassInfo(), &TError::ClassInfo(), &TWarning::ClassInfo(), &TMessage::ClassInfo(),
        &TOnError::ClassInfo(), &TUsingTask::ClassInfo(), &TChooseNode::ClassInfo(), &TWhenNode::ClassInfo(),
        &TOtherwiseNode::ClassInfo(), &TPersonalityNode::ClassInfo(), &TProjectExtensions::ClassInfo(),
        &TProjectNode::ClassInfo()})
    Registry.Register(*Class);
}

}  // namespace detail
}  // namespace nxs
