#include "projectfiles/nodes.h"

#include <algorithm>
#include <cassert>
#include <mutex>
#include <unordered_map>

#include "projectfiles/resstrings.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

struct TNode::TExtras {
  std::string Id;
  std::vector<INodeChangeListener*> Listeners;
};

// ---------------------------------------------------------------------------------------
// Attribute list

int TNode::TAttributeList::IndexOfName(std::string_view Name) const {
  for (size_t I = 0; I < FList.size(); ++I)
    if (FList[I].first == Name) return static_cast<int>(I);
  return -1;
}

std::string TNode::TAttributeList::GetValue(std::string_view Name) const {
  int I = IndexOfName(Name);
  return I < 0 ? std::string() : FList[static_cast<size_t>(I)].second;
}

void TNode::TAttributeList::SetValue(std::string_view Name, std::string_view Value) {
  int I = IndexOfName(Name);
  if (I < 0 && Value.empty()) return;
  if (I >= 0 && FList[static_cast<size_t>(I)].second == Value) return;
  FNode->Notify(ncBeforeAttributeChange, FNode);
  // The index is looked up again: a listener may have changed the list.
  I = IndexOfName(Name);
  if (Value.empty()) {
    if (I >= 0) FList.erase(FList.begin() + I);
  } else if (I >= 0) {
    FList[static_cast<size_t>(I)].second.assign(Value);
  } else {
    FList.emplace_back(std::string(Name), std::string(Value));
  }
  FNode->FModified = true;
  FNode->Notify(ncAfterAttributeChange, FNode);
}

std::vector<std::string> TNode::TAttributeList::GetAttributeNames() const {
  std::vector<std::string> Names;
  Names.reserve(FList.size());
  for (const auto& [N, V] : FList) Names.push_back(N);
  return Names;
}

std::vector<std::string> TNode::TAttributeList::GetAttributeNames(const std::vector<std::string>& Excluded) const {
  std::vector<std::string> Names;
  for (const auto& [N, V] : FList)
    if (std::find(Excluded.begin(), Excluded.end(), N) == Excluded.end()) Names.push_back(N);
  return Names;
}

void TNode::TAttributeList::Assign(const TAttributeList& Other) {
  if (&Other == this) return;
  for (const auto& [N, V] : Other.FList) SetValue(N, V);
}

// ---------------------------------------------------------------------------------------
// Node

static const TNodeClass& NodeClassInfoOfTNode();

static std::unique_ptr<TNode> MakePlainNode(std::string Name) { return std::make_unique<TNode>(std::move(Name)); }

static const TNodeClass& NodeClassInfoOfTNode() {
  static const TNodeClass Class{"TNode", "Project", "", "", &NodeClassInfoOfTNode, &MakePlainNode};
  return Class;
}

const TNodeClass& TNode::ClassInfo() { return NodeClassInfoOfTNode(); }

TNode::TNode(std::string Name) : FName(std::move(Name)) {}

TNode::~TNode() {
  // Children go first, without telling this node; then whoever listens hears that this
  // node is gone, so that no one keeps a reference to it.
  FNodes.reset();
  if (FExtras && !FExtras->Listeners.empty()) {
    std::vector<INodeChangeListener*> Listeners = FExtras->Listeners;
    for (INodeChangeListener* L : Listeners) L->NodeChanged(ncDestroyed, this);
  }
}

void TNode::ChildChange(TNodeChangeType, TNode*) {}

bool TNode::GetIsModified() const {
  if (FModified) return true;
  if (FNodes)
    for (const auto& Child : FNodes->FItems)
      if (Child->GetIsModified()) return true;
  return false;
}

void TNode::AfterRead() { FModified = false; }
void TNode::AfterWrite() { FModified = false; }
void TNode::BeforeWrite() {}

void TNode::Clear() {
  while (Count() > 0) RemoveNode(Count() - 1);
}

void TNode::DetachAndDestroyChildren() {
  if (!FNodes || FNodes->FItems.empty()) return;
  std::vector<std::unique_ptr<TNode>> Old;
  Old.swap(FNodes->FItems);
  for (auto& Child : Old) Child->FParent = nullptr;
  FModified = true;
  Old.clear();
}

void TNode::CopyInto(TNode& Copy, bool Deep) const {
  Copy.FName = (FName.empty() && Copy.NodeName() != NodeName()) ? std::string(NodeName()) : FName;
  if (FExtras && !FExtras->Id.empty()) Copy.SetId(FExtras->Id);
  Copy.FValue = FValue;
  Copy.FValueIsCData = FValueIsCData;
  if (HasAttributes()) {
    Copy.Attributes().FList = FAttributes->FList;
  }
  if (Deep && FNodes)
    for (const auto& Child : FNodes->FItems) {
      std::unique_ptr<TNode> ChildCopy = Child->CreateCopy(true);
      TNode* Raw = ChildCopy.get();
      Copy.InsertNode(std::move(ChildCopy));
      Raw->FModified = false;  // being inserted is not a change of the copy
    }
  Copy.FModified = false;
}

std::unique_ptr<TNode> TNode::CreateCopy(bool Deep) const {
  const TNodeClass* Class = &NodeClass();
  if (FParent)
    Class = &GetNodeClass(Namespace(), NameView(), FParent);
  else if (const TNodeClass* Registered = NodeClassRegistry().Find(Namespace(), NameView()))
    Class = Registered;
  std::unique_ptr<TNode> Copy = Class->Make(std::string());
  CopyInto(*Copy, Deep);
  return Copy;
}

bool TNode::HasChildren() const { return FNodes && !FNodes->FItems.empty(); }

int TNode::InsertNode(std::unique_ptr<TNode> Node, int Index) {
  assert(Node && !Node->FParent && "a node is inserted once, detached");
  if (!FNodes) FNodes = std::make_unique<TNodeList>();
  auto& Items = FNodes->FItems;
  TNode* Raw = Node.get();
  Raw->FParent = this;
  int Pos;
  if (Index < 0 || Index >= static_cast<int>(Items.size())) {
    Items.push_back(std::move(Node));
    Pos = static_cast<int>(Items.size()) - 1;
  } else {
    Items.insert(Items.begin() + Index, std::move(Node));
    Pos = Index;
  }
  FModified = true;
  Raw->Notify(ncAdded, Raw);
  return Pos;
}

TNode* TNode::AddNode(std::unique_ptr<TNode> Node, TNode* After) {
  TNode* Raw = Node.get();
  int Index = -1;
  if (After && After->FParent == this) Index = After->Index() + 1;
  InsertNode(std::move(Node), Index);
  return Raw;
}

void TNode::RemoveNode(int Index) {
  if (!FNodes || Index < 0 || Index >= Count()) return;
  TNode* Child = (*FNodes)[Index];
  Child->Notify(ncDeleted, Child);
  // A listener may have moved things: find the child again before destroying it.
  auto& Items = FNodes->FItems;
  auto It = std::find_if(Items.begin(), Items.end(), [Child](const auto& P) { return P.get() == Child; });
  if (It == Items.end()) return;
  std::unique_ptr<TNode> Doomed = std::move(*It);
  Items.erase(It);
  Doomed->FParent = nullptr;
  FModified = true;
  Doomed.reset();
}

int TNode::RemoveNode(TNode* Node) {
  if (!Node || Node->FParent != this) return -1;
  int Index = Node->Index();
  RemoveNode(Index);
  return Index;
}

void TNode::RemoveNodes(std::string_view Name) {
  for (int I = Count() - 1; I >= 0; --I)
    if (SameText(GetNode(I)->NameView(), Name)) RemoveNode(I);
}

void TNode::RemoveNodes(std::string_view Name, std::string_view Condition) {
  for (int I = Count() - 1; I >= 0; --I) {
    TNode* N = GetNode(I);
    if (SameText(N->NameView(), Name) && SameText(N->GetAttributeView("Condition"), Condition)) RemoveNode(I);
  }
}

void TNode::GetNodeNames(std::vector<std::string>& Names) const {
  if (FNodes)
    for (const auto& Child : FNodes->FItems) Names.push_back(Child->GetName());
}

int TNode::Index() const {
  if (!FParent) return -1;
  const auto& Items = FParent->FNodes->FItems;
  for (size_t I = 0; I < Items.size(); ++I)
    if (Items[I].get() == this) return static_cast<int>(I);
  return -1;
}

void TNode::SetIndex(int NewIndex) {
  if (!FParent) return;
  auto& Items = FParent->FNodes->FItems;
  int Old = Index();
  NewIndex = std::clamp(NewIndex, 0, static_cast<int>(Items.size()) - 1);
  if (Old == NewIndex) return;
  std::unique_ptr<TNode> Self = std::move(Items[static_cast<size_t>(Old)]);
  Items.erase(Items.begin() + Old);
  Items.insert(Items.begin() + NewIndex, std::move(Self));
  FParent->FModified = true;
  Notify(ncMoved, this);
}

// ---------------------------------------------------------------------------------------
// Search

static bool ConditionMatches(const TNode& Node, std::string_view Condition, bool UseCondition) {
  if (!UseCondition) return true;
  return SameText(Node.GetAttributeView("Condition"), Condition);
}

TNode* TNode::FindFirstChild(std::string_view Name, std::string_view Condition, bool UseCondition) {
  FFindIndex = -1;
  return FindNextChild(Name, Condition, UseCondition);
}

TNode* TNode::FindNextChild(std::string_view Name, std::string_view Condition, bool UseCondition) {
  std::string_view First = Name, Rest;
  bool HasRest = false;
  if (size_t P = Name.find('\\'); P != std::string_view::npos) {
    First = Name.substr(0, P);
    Rest = Name.substr(P + 1);
    HasRest = true;
  }
  int N = Count();
  for (int I = FFindIndex + 1; I < N; ++I) {
    FFindIndex = I;
    TNode* Child = GetNode(I);
    if (!SameText(Child->NameView(), First)) continue;
    if (!HasRest) {
      if (ConditionMatches(*Child, Condition, UseCondition)) return Child;
      continue;
    }
    if (Child->HasChildren())
      if (TNode* Found = Child->FindFirstChild(Rest, Condition, UseCondition)) return Found;
  }
  return nullptr;
}

void TNode::FindChildren(std::vector<TNode*>& List, std::string_view Name, bool UseCondition,
                         std::string_view Condition) const {
  if (!FNodes) return;
  for (const auto& Child : FNodes->FItems)
    if (SameText(Child->NameView(), Name) && ConditionMatches(*Child, Condition, UseCondition))
      List.push_back(Child.get());
}

std::vector<TNode*> TNode::FindChildren(std::string_view Name, bool UseCondition, std::string_view Condition) const {
  std::vector<TNode*> List;
  FindChildren(List, Name, UseCondition, Condition);
  return List;
}

TNode* TNode::FindOrCreateNode(std::string_view Name, std::string_view Condition, bool UseCondition) {
  if (TNode* Found = FindFirstChild(Name, Condition, UseCondition)) return Found;
  return CreateChildNode(Name, UseCondition ? Condition : std::string_view());
}

TNode* TNode::GetChildByIndex(std::string_view Name, int Index) const {
  if (!FNodes || Index < 0) return nullptr;
  for (const auto& Child : FNodes->FItems)
    if (SameText(Child->NameView(), Name) && Index-- == 0) return Child.get();
  return nullptr;
}

int TNode::GetChildCount(std::string_view Name) const {
  int N = 0;
  if (FNodes)
    for (const auto& Child : FNodes->FItems)
      if (SameText(Child->NameView(), Name)) ++N;
  return N;
}

TNode* TNode::CreateChildNode(std::string_view Name, std::string_view Condition, TNode* After) {
  const TNodeClass& Class = GetNodeClass(Namespace(), Name, this);
  std::unique_ptr<TNode> Child = Class.Make(Name == Class.NodeName ? std::string() : std::string(Name));
  if (!Condition.empty()) Child->Attributes().FList.emplace_back("Condition", std::string(Condition));
  TNode* Raw = Child.get();
  InsertNode(std::move(Child));
  if (After && After->FParent == this) {
    int Target = After->Index() + 1;
    if (Target < Raw->Index()) Raw->SetIndex(Target);
  }
  return Raw;
}

// ---------------------------------------------------------------------------------------
// Content and state

void TNode::SetName(std::string_view Name) {
  if (NameView() == Name) return;
  Notify(ncBeforeRename, this);
  FName.assign(Name);
  Notify(ncAfterRename, this);
}

std::string TNode::GetId() const { return FExtras ? FExtras->Id : std::string(); }

void TNode::SetId(std::string_view Id) {
  if (Id.empty() && !FExtras) return;
  if (!FExtras) FExtras = std::make_unique<TExtras>();
  if (FExtras->Id == Id) return;
  FExtras->Id.assign(Id);
  FModified = true;
}

void TNode::SetValue(std::string_view Value) {
  if (FValue == Value) return;
  if (FParent) FParent->ChildChange(ncValueChanging, this);
  FValue.assign(Value);
  FModified = true;
  if (FParent) FParent->ChildChange(ncValueChanged, this);
}

void TNode::SetValueSilently(std::string Value) { FValue = std::move(Value); }

void TNode::SetValueIsCData(bool IsCData) {
  if (FValueIsCData == IsCData) return;
  if (FParent) FParent->ChildChange(ncValueChanging, this);
  FValueIsCData = IsCData;
  FModified = true;
  if (FParent) FParent->ChildChange(ncValueChanged, this);
}

TNode::TAttributeList& TNode::Attributes() {
  if (!FAttributes) FAttributes = std::make_unique<TAttributeList>(this);
  return *FAttributes;
}

std::vector<std::string> TNode::GetAttributeNames() const {
  return FAttributes ? FAttributes->GetAttributeNames() : std::vector<std::string>();
}

std::string_view TNode::GetAttributeView(std::string_view Name) const {
  if (!FAttributes) return {};
  int I = FAttributes->IndexOfName(Name);
  return I < 0 ? std::string_view() : std::string_view(FAttributes->FList[static_cast<size_t>(I)].second);
}

std::string TNode::GetAttribute(std::string_view Name) const {
  return FAttributes ? FAttributes->GetValue(Name) : std::string();
}

void TNode::SetAttribute(std::string_view Name, std::string_view Value) {
  if (Value.empty() && !FAttributes) return;
  Attributes().SetValue(Name, Value);
}

void TNode::AddListener(INodeChangeListener* Listener) {
  if (!FExtras) FExtras = std::make_unique<TExtras>();
  auto& L = FExtras->Listeners;
  if (std::find(L.begin(), L.end(), Listener) == L.end()) L.push_back(Listener);
}

void TNode::RemoveListener(INodeChangeListener* Listener) {
  if (!FExtras) return;
  auto& L = FExtras->Listeners;
  L.erase(std::remove(L.begin(), L.end(), Listener), L.end());
}

void TNode::Notify(TNodeChangeType ChangeType, TNode* Node) {
  if (FParent) FParent->ChildChange(ChangeType, Node);
  if (FExtras && !FExtras->Listeners.empty()) {
    std::vector<INodeChangeListener*> Listeners = FExtras->Listeners;
    for (INodeChangeListener* L : Listeners) L->NodeChanged(ChangeType, Node);
  }
  switch (ChangeType) {
    case ncAdded:
    case ncDeleted:
    case ncMoved:
    case ncAfterRename:
      FModified = true;
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------
// Registry

namespace {
struct TStringHash {
  using is_transparent = void;
  size_t operator()(std::string_view S) const noexcept { return std::hash<std::string_view>()(S); }
};
using TNameTable = std::unordered_map<std::string, const TNodeClass*, TStringHash, std::equal_to<>>;
}  // namespace

struct TNodeClassRegistry::TImpl {
  mutable std::mutex Lock;
  std::unordered_map<std::string, TNameTable, TStringHash, std::equal_to<>> Namespaces;
};

TNodeClassRegistry::TNodeClassRegistry() : FImpl(std::make_unique<TImpl>()) {}
TNodeClassRegistry::~TNodeClassRegistry() = default;

void TNodeClassRegistry::Register(const TNodeClass& Class) {
  std::lock_guard<std::mutex> Guard(FImpl->Lock);
  TNameTable& Table = FImpl->Namespaces[Class.Namespace];
  auto It = Table.find(Class.Key());
  if (It != Table.end())
    throw Exception(Format(res::SNodePathRegistered, Class.Key(), It->second->ClassName));
  Table.emplace(std::string(Class.Key()), &Class);
}

void TNodeClassRegistry::Unregister(const TNodeClass& Class) {
  std::lock_guard<std::mutex> Guard(FImpl->Lock);
  auto Ns = FImpl->Namespaces.find(std::string_view(Class.Namespace));
  if (Ns == FImpl->Namespaces.end()) return;
  auto It = Ns->second.find(Class.Key());
  if (It != Ns->second.end() && It->second == &Class) Ns->second.erase(It);
}

const TNodeClass* TNodeClassRegistry::Find(std::string_view Namespace, std::string_view Name) const {
  std::lock_guard<std::mutex> Guard(FImpl->Lock);
  auto Ns = FImpl->Namespaces.find(Namespace);
  if (Ns == FImpl->Namespaces.end()) return nullptr;
  auto It = Ns->second.find(Name);
  return It == Ns->second.end() ? nullptr : It->second;
}

TNodeClassRegistry& NodeClassRegistry() {
  static TNodeClassRegistry* Registry = [] {
    static TNodeClassRegistry R;
    detail::RegisterStandardNodeClasses(R);
    return &R;
  }();
  return *Registry;
}

void RegisterNodeClass(const TNodeClass& Class) { NodeClassRegistry().Register(Class); }

const TNodeClass& GetNodeClass(std::string_view Namespace, std::string_view Name, const TNode* Parent) {
  if (Parent && Parent->FixedChildClass()) return Parent->DefaultNodeClass();
  if (const TNodeClass* Class = NodeClassRegistry().Find(Namespace, Name)) return *Class;
  if (Parent) return Parent->DefaultNodeClass();
  return TNode::ClassInfo();
}

}  // namespace nxs
