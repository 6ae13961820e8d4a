#include "projectfiles/nodes.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <stdexcept>
#include <mutex>
#include <unordered_map>

#include "projectfiles/resstrings.h"
#include "projectfiles/xmlio.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

struct TNode::TExtras {
  TNodeText Id;
  std::vector<INodeChangeListener*> Listeners;
  std::unique_ptr<TAttributeList> AttributeView;
  int FindIndex = -1;
  // The arena of what the reader built below this node (this node being its root).
  std::unique_ptr<TNodeArena> Arena;
};

// ---------------------------------------------------------------------------------------
// Texts, arena, child list

TNodeText& TNodeText::operator=(TNodeText&& Other) noexcept {
  if (this == &Other) return *this;
  Release();
  FData = Other.FData;
  FSize = Other.FSize;
  FOwned = Other.FOwned;
  Other.FData = "";
  Other.FSize = 0;
  Other.FOwned = 0;
  return *this;
}

void TNodeText::TooLong() { throw Exception(res::STextTooLong); }

void TNodeText::Assign(std::string_view Text) {
  if (Text.size() > MaxSize) TooLong();
  if (Text.empty()) {
    Release();
    return;
  }
  char* Copy = new char[Text.size()];
  std::memcpy(Copy, Text.data(), Text.size());
  Release();
  FData = Copy;
  FSize = static_cast<uint32_t>(Text.size());
  FOwned = 1;
}

void* TNodeArena::AllocateInNewBlock(size_t Size) {
  constexpr size_t FirstBlockSize = 512, BlockSize = 256 * 1024;
  // Large pieces get a block of their own so that the current block goes on being used.
  if (Size > BlockSize / 4) {
    FBlocks.push_back(std::make_unique<char[]>(Size));
    return FBlocks.back().get();
  }
  if (FTaken >= TLargeBlock::Granule) {
    FPos = FLargeBlocks.emplace_back(TLargeBlock::Granule).Data();
    FEnd = FPos + TLargeBlock::Granule;
  } else {
    // A project file of a few elements fills a few kilobytes, and a project's empty local
    // document a few dozen bytes: the blocks start small and each is as large as all before
    // it, so that a group's thousand open documents do not each hold (and fault in) a block
    // larger than they need, while a large tree still takes few blocks.
    size_t Block = std::clamp(FTaken, FirstBlockSize, BlockSize);
    while (Block < Size) Block *= 2;
    FBlocks.push_back(std::make_unique_for_overwrite<char[]>(Block));
    FPos = FBlocks.back().get();
    FEnd = FPos + Block;
  }
  FTaken += static_cast<size_t>(FEnd - FPos);
  void* P = FPos;
  FPos += Size;
  return P;
}

void TNodeArena::ReleaseUnused() {
  if (FLargeBlocks.empty()) return;
  TLargeBlock& Last = FLargeBlocks.back();
  if (FPos < Last.Data() || FPos > Last.Data() + Last.Size()) return;  // a heap block is current
  Last.ReleaseFrom(static_cast<size_t>(FPos - Last.Data()));
  FPos = FEnd;
}

std::string_view TNodeArena::Copy(std::string_view Text) {
  if (Text.empty()) return {};
  char* P = static_cast<char*>(Allocate(Text.size()));
  std::memcpy(P, Text.data(), Text.size());
  return {P, Text.size()};
}

std::string_view TNodeArena::Concat(std::string_view A, std::string_view B) {
  char* P = static_cast<char*>(Allocate(A.size() + B.size()));
  std::memcpy(P, A.data(), A.size());
  std::memcpy(P + A.size(), B.data(), B.size());
  return {P, A.size() + B.size()};
}

TNodeList::~TNodeList() { Destroy(); }

void TNodeList::Destroy() {
  // The list is empty before the first child goes, so that nothing reached from a dying
  // child sees a half-destroyed list.
  std::unique_ptr<TNode>* Items = FItems;
  uint32_t N = FCount;
  bool InArena = FInArena;
  FItems = nullptr;
  FCount = FCapacity = 0;
  FInArena = 0;
  if (InArena) {
    // Nothing runs the slots' destructors: the arena just goes.
    for (uint32_t I = 0; I < N; ++I) delete Items[I].get();
    return;
  }
  for (uint32_t I = 0; I < N; ++I) Items[I].reset();
  delete[] Items;
}

void TNodeList::UseArena(TNodeArena& Arena, uint32_t Capacity) {
  assert(!FItems && "only an empty list moves into the arena");
  void* Memory = Arena.Allocate(sizeof(std::unique_ptr<TNode>) * Capacity);
  FItems = new (Memory) std::unique_ptr<TNode>[Capacity];
  FCapacity = Capacity;
  FInArena = 1;
}

void TNodeList::AppendInArena(std::unique_ptr<TNode> Node, TNodeArena& Arena) {
  if (FCount == FCapacity && FInArena && FCapacity < 64) {
    // The old slots stay behind in the arena, moved from.
    uint32_t Capacity = FCapacity * 2;
    void* Memory = Arena.Allocate(sizeof(std::unique_ptr<TNode>) * Capacity);
    auto* Items = new (Memory) std::unique_ptr<TNode>[Capacity];
    for (uint32_t I = 0; I < FCount; ++I) Items[I] = std::move(FItems[I]);
    FItems = Items;
    FCapacity = Capacity;
  }
  if (FCount < FCapacity) {
    FItems[FCount++] = std::move(Node);
    return;
  }
  Insert(FCount, std::move(Node));
}

void TNodeList::Insert(size_t Index, std::unique_ptr<TNode> Node) {
  if (FCount == FCapacity) {
    if (FCapacity >= 0x40000000) throw Exception(res::STooManyChildren);
    uint32_t Capacity = FCapacity ? FCapacity * 2 : 2;
    auto* Items = new std::unique_ptr<TNode>[Capacity];
    for (uint32_t I = 0; I < FCount; ++I) Items[I] = std::move(FItems[I]);
    if (!FInArena) delete[] FItems;
    FItems = Items;
    FCapacity = Capacity;
    FInArena = 0;
  }
  for (size_t I = FCount; I > Index; --I) FItems[I] = std::move(FItems[I - 1]);
  FItems[Index] = std::move(Node);
  ++FCount;
}

std::unique_ptr<TNode> TNodeList::Take(size_t Index) {
  std::unique_ptr<TNode> Node = std::move(FItems[Index]);
  for (size_t I = Index + 1; I < FCount; ++I) FItems[I - 1] = std::move(FItems[I]);
  --FCount;
  return Node;
}

// ---------------------------------------------------------------------------------------
// Attribute list

std::vector<std::string> TNode::TAttributeList::GetAttributeNames() const {
  std::vector<std::string> Names;
  Names.reserve(FNode->FAttrCount);
  for (uint32_t I = 0; I < FNode->FAttrCount; ++I) Names.emplace_back(FNode->FAttrs[I].Name.View());
  return Names;
}

std::vector<std::string> TNode::TAttributeList::GetAttributeNames(const std::vector<std::string>& Excluded) const {
  std::vector<std::string> Names;
  for (uint32_t I = 0; I < FNode->FAttrCount; ++I) {
    std::string_view N = FNode->FAttrs[I].Name.View();
    if (std::find(Excluded.begin(), Excluded.end(), N) == Excluded.end()) Names.emplace_back(N);
  }
  return Names;
}

void TNode::TAttributeList::Assign(const TAttributeList& Other) {
  if (Other.FNode == FNode) return;
  for (int I = 0; I < Other.Count(); ++I) SetValue(Other.NameView(I), Other.ValueView(I));
}

// ---------------------------------------------------------------------------------------
// Node

static const TNodeClass& NodeClassInfoOfTNode();

static std::unique_ptr<TNode> MakePlainNode(std::string Name) { return std::make_unique<TNode>(Name); }
static TNode* ConstructPlainNode(void* Memory) { return new (Memory) TNode(); }

static const TNodeClass& NodeClassInfoOfTNode() {
  static const TNodeClass Class{"TNode",          "Project",           "", "", &NodeClassInfoOfTNode,
                                &MakePlainNode, &ConstructPlainNode, sizeof(TNode)};
  return Class;
}

const TNodeClass& TNode::ClassInfo() { return NodeClassInfoOfTNode(); }

// Names and texts are checked where they enter a tree; the reader's come from a parser that
// has checked them already.
TNode::TNode(std::string_view Name) {
  if (!Name.empty()) {
    CheckXmlName(Name);
    FName.Assign(Name);
  }
}

TNode::~TNode() {
  // Children go first, without telling this node; then whoever listens hears that this
  // node is gone, so that no one keeps a reference to it. The arena (in the extras) goes
  // last of all, after everything that lives in it.
  FNodes.Destroy();
  if (FAttrCapacity) delete[] FAttrs;
  if (FExtras && !FExtras->Listeners.empty()) {
    FAttrs = nullptr;
    FAttrCount = FAttrCapacity = 0;
    std::vector<INodeChangeListener*> Listeners = FExtras->Listeners;
    for (INodeChangeListener* L : Listeners) L->NodeChanged(ncDestroyed, this);
  }
}

void* TNode::operator new(std::size_t Size) { return ::operator new(Size); }

void TNode::operator delete(TNode* Node, std::destroying_delete_t) {
  bool InArena = Node->FInArena;
  Node->~TNode();
  if (!InArena) ::operator delete(static_cast<void*>(Node));
}

TNode::TExtras& TNode::Extras() {
  if (!FExtras) FExtras = std::make_unique<TExtras>();
  return *FExtras;
}

void TNode::AdoptArena(std::unique_ptr<TNodeArena> Arena) { Extras().Arena = std::move(Arena); }

void TNode::BorrowId(std::string_view Id) { Extras().Id.Borrow(Id); }

void TNode::ChildChange(TNodeChangeType, TNode*) {}

bool TNode::GetIsModified() const {
  if (FModified) return true;
  for (const auto& Child : FNodes)
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
  if (!FNodes.FCount) return;
  for (const auto& Child : FNodes) Child->FParent = nullptr;
  FNodes.Destroy();
  FModified = true;
}

void TNode::CopyInto(TNode& Copy, bool Deep) const {
  if (!FName.Empty())
    Copy.FName.Assign(FName.View());
  else if (Copy.NodeName() != NodeName())
    Copy.FName.Assign(NodeName());
  if (FExtras && !FExtras->Id.Empty()) Copy.SetId(FExtras->Id.View());
  Copy.FValue.Assign(FValue.View());
  Copy.FValueIsCData = FValueIsCData;
  if (FAttrCount) {
    Copy.FAttrs = new TAttr[FAttrCount];
    Copy.FAttrCapacity = FAttrCount;
    Copy.FAttrCount = FAttrCount;
    for (uint32_t I = 0; I < FAttrCount; ++I) Copy.FAttrs[I] = FAttrs[I];  // owned copies
  }
  if (Deep)
    for (const auto& Child : FNodes) {
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

bool TNode::HasChildren() const { return FNodes.FCount != 0; }

int TNode::InsertNode(std::unique_ptr<TNode> Node, int Index) {
  assert(Node && !Node->FParent && "a node is inserted once, detached");
  TNode* Raw = Node.get();
  Raw->FParent = this;
  int Pos = (Index < 0 || Index >= Count()) ? Count() : Index;
  FNodes.Insert(static_cast<size_t>(Pos), std::move(Node));
  FModified = true;
  Raw->Notify(ncAdded, Raw);
  return Pos;
}

TNode* TNode::AddNode(std::unique_ptr<TNode> Node, TNode* After) {
  TNode* Raw = Node.get();
  int Index = -1;
  // Looked for from the end: a node goes in behind the last of its kind (a group behind the
  // groups written before it), near the end, and a writer that adds thousands stays linear.
  if (After && After->FParent == this)
    for (int I = Count() - 1; I >= 0; --I)
      if (FNodes[I] == After) {
        Index = I + 1;
        break;
      }
  InsertNode(std::move(Node), Index);
  return Raw;
}

void TNode::RemoveNode(int Index) {
  if (Index < 0 || Index >= Count()) return;
  TNode* Child = FNodes[Index];
  Child->Notify(ncDeleted, Child);
  // A listener may have moved things: find the child again before destroying it.
  int Now = Child->FParent == this ? Child->Index() : -1;
  if (Now < 0) return;
  std::unique_ptr<TNode> Doomed = FNodes.Take(static_cast<size_t>(Now));
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
  for (const auto& Child : FNodes) Names.push_back(Child->GetName());
}

int TNode::Index() const {
  if (!FParent) return -1;
  const TNodeList& Siblings = FParent->FNodes;
  for (int I = 0; I < Siblings.Count(); ++I)
    if (Siblings[I] == this) return I;
  return -1;
}

void TNode::SetIndex(int NewIndex) {
  if (!FParent) return;
  TNodeList& Siblings = FParent->FNodes;
  int Old = Index();
  NewIndex = std::clamp(NewIndex, 0, Siblings.Count() - 1);
  if (Old == NewIndex) return;
  std::unique_ptr<TNode> Self = Siblings.Take(static_cast<size_t>(Old));
  Siblings.Insert(static_cast<size_t>(NewIndex), std::move(Self));
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
  Extras().FindIndex = -1;
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
  int& FindIndex = Extras().FindIndex;
  for (int I = FindIndex + 1; I < N; ++I) {
    FindIndex = I;
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
  for (const auto& Child : FNodes)
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
  if (Index < 0) return nullptr;
  for (const auto& Child : FNodes)
    if (SameText(Child->NameView(), Name) && Index-- == 0) return Child.get();
  return nullptr;
}

int TNode::GetChildCount(std::string_view Name) const {
  int N = 0;
  for (const auto& Child : FNodes)
    if (SameText(Child->NameView(), Name)) ++N;
  return N;
}

TNode* TNode::CreateChildNode(std::string_view Name, std::string_view Condition, TNode* After) {
  const TNodeClass& Class = GetNodeClass(Namespace(), Name, this);
  std::unique_ptr<TNode> Child = Class.Make(Name == Class.NodeName ? std::string() : std::string(Name));
  if (!Condition.empty()) Child->SetAttribute("Condition", Condition);
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
  CheckXmlName(Name);
  Notify(ncBeforeRename, this);
  if (Name == NodeName())
    FName = TNodeText();
  else
    FName.Assign(Name);
  Notify(ncAfterRename, this);
}

std::string TNode::GetId() const { return std::string(IdView()); }
std::string_view TNode::IdView() const { return FExtras ? FExtras->Id.View() : std::string_view(); }

void TNode::SetId(std::string_view Id) {
  if (Id.empty() && !FExtras) return;
  if (Extras().Id.View() == Id) return;
  FExtras->Id.Assign(Id);
  FModified = true;
}

void TNode::SetValue(std::string_view Value) {
  if (FValue.View() == Value) return;
  CheckXmlText(Value);
  if (FParent) FParent->ChildChange(ncValueChanging, this);
  FValue.Assign(Value);
  FModified = true;
  if (FParent) FParent->ChildChange(ncValueChanged, this);
}

void TNode::SetValueSilently(std::string Value) {
  CheckXmlText(Value);
  FValue.Assign(Value);
}

void TNode::SetValueIsCData(bool IsCData) {
  if (FValueIsCData == IsCData) return;
  if (FParent) FParent->ChildChange(ncValueChanging, this);
  FValueIsCData = IsCData;
  FModified = true;
  if (FParent) FParent->ChildChange(ncValueChanged, this);
}

TNode::TAttributeList& TNode::Attributes() {
  TExtras& E = Extras();
  if (!E.AttributeView) E.AttributeView = std::make_unique<TAttributeList>(this);
  return *E.AttributeView;
}

std::vector<std::string> TNode::GetAttributeNames() const {
  std::vector<std::string> Names;
  for (uint32_t I = 0; I < FAttrCount; ++I) Names.emplace_back(FAttrs[I].Name.View());
  return Names;
}

int TNode::AttributeIndex(std::string_view Name) const {
  for (uint32_t I = 0; I < FAttrCount; ++I)
    if (FAttrs[I].Name.View() == Name) return static_cast<int>(I);
  return -1;
}

std::string_view TNode::GetAttributeView(std::string_view Name) const {
  int I = AttributeIndex(Name);
  return I < 0 ? std::string_view() : FAttrs[I].Value.View();
}

std::string TNode::GetAttribute(std::string_view Name) const { return std::string(GetAttributeView(Name)); }

void TNode::OwnAttributes() {
  if (FAttrCapacity > FAttrCount) return;
  if (FAttrCount >= MaxAttributes) throw Exception(Format(res::SAttributeLimit, MaxAttributes));
  uint32_t Capacity = std::min<uint32_t>(FAttrCount ? FAttrCount * 2u : 2u, MaxAttributes);
  TAttr* Items = new TAttr[Capacity];
  for (uint32_t I = 0; I < FAttrCount; ++I) Items[I] = std::move(FAttrs[I]);
  if (FAttrCapacity) delete[] FAttrs;
  FAttrs = Items;
  FAttrCapacity = static_cast<uint16_t>(Capacity);
}

void TNode::SetAttribute(std::string_view Name, std::string_view Value) {
  int I = AttributeIndex(Name);
  if (I < 0 && Value.empty()) return;
  if (I >= 0 && FAttrs[I].Value.View() == Value) return;
  if (I < 0) CheckXmlName(Name);
  CheckXmlText(Value);
  // Copied first: the texts may be this node's own, and the listeners may change them.
  std::string NewName(Name), NewValue(Value);
  Notify(ncBeforeAttributeChange, this);
  OwnAttributes();
  I = AttributeIndex(NewName);
  if (NewValue.empty()) {
    if (I >= 0) {
      for (uint32_t J = static_cast<uint32_t>(I) + 1; J < FAttrCount; ++J) FAttrs[J - 1] = std::move(FAttrs[J]);
      FAttrs[--FAttrCount] = TAttr();
    }
  } else if (I >= 0) {
    FAttrs[I].Value.Assign(NewValue);
  } else {
    FAttrs[FAttrCount].Name.Assign(NewName);
    FAttrs[FAttrCount].Value.Assign(NewValue);
    ++FAttrCount;
  }
  FModified = true;
  Notify(ncAfterAttributeChange, this);
}

void TNode::AddListener(INodeChangeListener* Listener) {
  auto& L = Extras().Listeners;
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
