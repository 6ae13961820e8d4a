// The node tree of a project document: TNode (element name, text, attributes, children),
// change notification to the parent and to listeners, and the registry that maps an XML
// namespace and element name to the node class that represents it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shared/largeblock.h"

namespace nxs {

class TNode;

enum TNodeChangeType {
  ncAdded,
  ncDeleted,
  ncDestroyed,
  ncMoved,
  ncBeforeRename,
  ncAfterRename,
  ncBeforeAttributeChange,
  ncAfterAttributeChange,
  ncValueChanging,
  ncValueChanged
};

// Told about changes of the node it is registered on. The listener is borrowed: whoever
// registers it removes it before it goes away.
class INodeChangeListener {
 public:
  virtual ~INodeChangeListener() = default;
  virtual void NodeChanged(TNodeChangeType ChangeType, TNode* Node) = 0;
};

// What a node class is, apart from its instances: the "class operations" of a node. Every
// node class has one static TNodeClass, returned by its static ClassInfo() and by the
// virtual TNode::NodeClass().
struct TNodeClass {
  const char* ClassName;  // "TPropertyGroup"
  const char* NodeName;   // the element name the class stands for; "" for classes named per node
  const char* Namespace;  // the XML namespace URI; "" for none
  const char* NodePath;   // the registry key's path part; "" for every class of this layer
  // The class used for a child element whose name has no registered class.
  const TNodeClass& (*DefaultNodeClass)();
  // Makes a detached node of the class with the given element name.
  std::unique_ptr<TNode> (*Make)(std::string Name);
  // Constructs a node of the class in Memory (of at least Size bytes), for the reader's arena.
  TNode* (*Construct)(void* Memory);
  size_t Size;

  // The registry key: the node path when there is one, else the node name.
  std::string_view Key() const { return *NodePath ? NodePath : NodeName; }
};

// Text held by a node: either its own copy on the heap or a view of the arena that the
// reader filled for the tree the node belongs to. Copies are always owned. Twelve bytes, so
// that a node's name and value and an attribute's name and value pack tightly.
class __attribute__((packed, aligned(4))) TNodeText {
 public:
  TNodeText() : FData(""), FSize(0), FOwned(0) {}
  TNodeText(const TNodeText& Other) : TNodeText() { Assign(Other.View()); }
  TNodeText& operator=(const TNodeText& Other) {
    if (this != &Other) Assign(Other.View());
    return *this;
  }
  TNodeText(TNodeText&& Other) noexcept : FData(Other.FData), FSize(Other.FSize), FOwned(Other.FOwned) {
    Other.FData = "";
    Other.FSize = 0;
    Other.FOwned = 0;
  }
  TNodeText& operator=(TNodeText&& Other) noexcept;
  ~TNodeText() {
    if (FOwned) delete[] FData;
  }

  std::string_view View() const { return {FData, FSize}; }
  bool Empty() const { return FSize == 0; }
  // Makes an owned copy of Text.
  void Assign(std::string_view Text);
  // Refers to Text, which lives in an arena at least as long as this object.
  void Borrow(std::string_view Text) {
    if (Text.size() > MaxSize) TooLong();
    Release();
    FData = Text.data();
    FSize = static_cast<uint32_t>(Text.size());
  }

  static constexpr uint32_t MaxSize = 0x7FFFFFFF;

 private:
  [[noreturn]] static void TooLong();
  void Release() {
    if (FOwned) delete[] FData;
    FData = "";
    FSize = 0;
    FOwned = 0;
  }
  const char* FData;
  uint32_t FSize : 31;
  uint32_t FOwned : 1;
};

// Bump allocation for the nodes and texts of one tree that the reader builds: nothing is
// freed one by one; the arena goes with the node that owns it (the root of what was read),
// after all the nodes below that node. A small tree lives in heap blocks; a large one goes
// on in large blocks (huge pages), at most one granule of which stays unused.
class TNodeArena {
 public:
  TNodeArena() = default;
  TNodeArena(const TNodeArena&) = delete;  // owns its blocks
  TNodeArena& operator=(const TNodeArena&) = delete;
  void* Allocate(size_t Size) {
    Size = (Size + 7) & ~size_t(7);
    if (static_cast<size_t>(FEnd - FPos) < Size) return AllocateInNewBlock(Size);
    void* P = FPos;
    FPos += Size;
    return P;
  }
  std::string_view Copy(std::string_view Text);
  // Text A followed by text B, as one piece.
  std::string_view Concat(std::string_view A, std::string_view B);
  // The tree is complete: what the last large block has left goes back to the system.
  void ReleaseUnused();

 private:
  void* AllocateInNewBlock(size_t Size);

  std::vector<std::unique_ptr<char[]>> FBlocks;
  std::vector<TLargeBlock> FLargeBlocks;
  size_t FTaken = 0;  // the bytes of the blocks so far
  char* FPos = nullptr;
  char* FEnd = nullptr;
};

// The children of a node, in document order; owns them.
class TNodeList {
 public:
  TNodeList() = default;
  TNodeList(const TNodeList&) = delete;  // owns the children
  TNodeList& operator=(const TNodeList&) = delete;
  ~TNodeList();
  int Count() const { return static_cast<int>(FCount); }
  TNode* operator[](int Index) const { return FItems[Index].get(); }
  const std::unique_ptr<TNode>* begin() const { return FItems; }
  const std::unique_ptr<TNode>* end() const { return FItems + FCount; }

 private:
  friend class TNode;
  friend class TXmlReader;
  void Insert(size_t Index, std::unique_ptr<TNode> Node);
  std::unique_ptr<TNode> Take(size_t Index);
  void Destroy();
  // Starts an empty list in arena memory (room for Capacity children); it moves to the
  // heap when it outgrows that.
  void UseArena(TNodeArena& Arena, uint32_t Capacity);
  // Appends Node to a list that UseArena started, growing it within the arena while it is
  // short (most lists a document has are) and on the heap after that.
  void AppendInArena(std::unique_ptr<TNode> Node, TNodeArena& Arena);

  std::unique_ptr<TNode>* FItems = nullptr;
  uint32_t FCount = 0;
  uint32_t FCapacity : 31 = 0;
  uint32_t FInArena : 1 = 0;
};

class TNode {
 public:
  // The attributes of a node: names compared with regard to case, kept in insertion order.
  // Setting a value to the empty string removes the attribute; a missing one reads as "".
  // A view of the node's own storage.
  class TAttributeList {
   public:
    explicit TAttributeList(TNode* Node) : FNode(Node) {}
    TAttributeList(const TAttributeList&) = delete;  // bound to its node
    TAttributeList& operator=(const TAttributeList&) = delete;

    std::string GetValue(std::string_view Name) const { return std::string(FNode->GetAttributeView(Name)); }
    // Tells the node before and after the change (ncBeforeAttributeChange,
    // ncAfterAttributeChange); setting the value it already has changes nothing.
    void SetValue(std::string_view Name, std::string_view Value) { FNode->SetAttribute(Name, Value); }
    int Count() const { return static_cast<int>(FNode->FAttrCount); }
    std::string Names(int Index) const { return std::string(NameView(Index)); }
    std::string ValueFromIndex(int Index) const { return std::string(ValueView(Index)); }
    std::string_view NameView(int Index) const { return FNode->FAttrs[Index].Name.View(); }
    std::string_view ValueView(int Index) const { return FNode->FAttrs[Index].Value.View(); }
    std::vector<std::string> GetAttributeNames() const;
    std::vector<std::string> GetAttributeNames(const std::vector<std::string>& Excluded) const;
    // Takes over every name and value of Other (through SetValue, so the node hears of it).
    void Assign(const TAttributeList& Other);
    // The position of Name, or -1.
    int IndexOfName(std::string_view Name) const { return FNode->AttributeIndex(Name); }

   private:
    TNode* FNode;
  };

  // A detached node; InsertNode or AddNode gives it a parent. Name may be empty for classes
  // whose NodeName names the element.
  explicit TNode(std::string_view Name = {});
  TNode(const TNode&) = delete;  // nodes are identities in a tree; CreateCopy copies
  TNode& operator=(const TNode&) = delete;
  // Detaches the children (without notifications) and destroys them.
  virtual ~TNode();
  // Nodes the reader placed in an arena are destroyed but not freed one by one.
  void operator delete(TNode* Node, std::destroying_delete_t);
  static void* operator new(std::size_t Size);
  static void* operator new(std::size_t, void* Place) noexcept { return Place; }
  // Class operations.
  static const TNodeClass& ClassInfo();
  virtual const TNodeClass& NodeClass() const { return ClassInfo(); }
  const TNodeClass& DefaultNodeClass() const { return NodeClass().DefaultNodeClass(); }
  std::string_view NodeName() const { return NodeClass().NodeName; }
  std::string_view NodePath() const { return NodeClass().NodePath; }
  std::string_view Namespace() const { return NodeClass().Namespace; }
  // True when this node is of class C or one derived from it.
  template <class C>
  bool Is() const { return dynamic_cast<const C*>(this) != nullptr; }

  // Virtual operations.
  // Called on the parent when one of its children changes.
  virtual void ChildChange(TNodeChangeType ChangeType, TNode* Node);
  // True when this node or any descendant is modified.
  virtual bool GetIsModified() const;
  // The reader reached the end tag. Clears the modified flag.
  virtual void AfterRead();
  virtual void AfterWrite();
  virtual void BeforeWrite();
  // Removes and destroys every child.
  virtual void Clear();
  // A node of the class registered for this node's namespace and name (or of the parent's
  // default child class), with the same name, identifier, value and attributes; with Deep
  // also copies of all children. The copy is not modified.
  virtual std::unique_ptr<TNode> CreateCopy(bool Deep) const;
  virtual bool HasChildren() const;
  // True for nodes whose children are always of DefaultNodeClass(), whatever their names
  // (the properties of a property group, the items of an item group, metadata).
  virtual bool FixedChildClass() const { return false; }

  // Children.
  TNode* GetParent() const { return FParent; }
  int Count() const { return FNodes.Count(); }
  TNode* GetNode(int Index) const { return FNodes[Index]; }
  TNode* operator[](int Index) const { return GetNode(Index); }
  // Null when the node has no children.
  const TNodeList* Nodes() const { return FNodes.FCount ? &FNodes : nullptr; }
  // Inserts Node at Index (an index outside 0..Count-1 appends), makes this node its parent,
  // sends ncAdded from it; returns the position and keeps ownership in the tree.
  int InsertNode(std::unique_ptr<TNode> Node, int Index = -1);
  // Inserts Node just behind After (a child of this node), or appends without After.
  TNode* AddNode(std::unique_ptr<TNode> Node, TNode* After = nullptr);
  // Makes a node of class T, appends it and returns it.
  template <class T, class... TArgs>
  T* Append(TArgs&&... Args) {
    auto Node = std::make_unique<T>(std::forward<TArgs>(Args)...);
    T* Raw = Node.get();
    InsertNode(std::move(Node));
    return Raw;
  }
  // Removes and destroys the child; sends ncDeleted from it first.
  void RemoveNode(int Index);
  // Returns the former index, or -1 when Node is not a child.
  int RemoveNode(TNode* Node);
  // Every child of that name (and condition), compared without regard to case.
  void RemoveNodes(std::string_view Name);
  void RemoveNodes(std::string_view Name, std::string_view Condition);
  void GetNodeNames(std::vector<std::string>& Names) const;
  // The position in the parent, -1 without parent.
  int Index() const;
  // Moves the node within its parent, clamped to the parent's children; sends ncMoved.
  void SetIndex(int Index);

  // Search. Name may be a path "A\B": A is matched here, B below the match. With
  // UseCondition the "Condition" attribute must equal Condition (both without regard to
  // case); an empty Condition then matches only a child without condition. The find cursor
  // belongs to this node: two scans of one node must not be interleaved.
  TNode* FindFirstChild(std::string_view Name, std::string_view Condition = {}, bool UseCondition = false);
  TNode* FindNextChild(std::string_view Name, std::string_view Condition = {}, bool UseCondition = false);
  void FindChildren(std::vector<TNode*>& List, std::string_view Name, bool UseCondition = false,
                    std::string_view Condition = {}) const;
  std::vector<TNode*> FindChildren(std::string_view Name, bool UseCondition = false,
                                   std::string_view Condition = {}) const;
  TNode* FindOrCreateNode(std::string_view Name, std::string_view Condition = {}, bool UseCondition = false);
  // The Index-th child of that name, or null.
  TNode* GetChildByIndex(std::string_view Name, int Index) const;
  int GetChildCount(std::string_view Name) const;

  // Creation: the class is looked up by this node's namespace and Name, falling back to
  // DefaultNodeClass(); the child gets Condition when it is not empty and stands just
  // behind After when given (else at the end).
  TNode* CreateChildNode(std::string_view Name, std::string_view Condition = {}, TNode* After = nullptr);

  // Content.
  std::string GetName() const { return std::string(NameView()); }
  std::string_view NameView() const { return FName.Empty() ? NodeName() : FName.View(); }
  // Sends ncBeforeRename and ncAfterRename.
  void SetName(std::string_view Name);
  std::string GetId() const;
  std::string_view IdView() const;
  void SetId(std::string_view Id);
  std::string GetValue() const { return std::string(FValue.View()); }
  std::string_view ValueView() const { return FValue.View(); }
  void SetValue(std::string_view Value);
  bool HasValue() const { return !FValue.Empty(); }
  bool GetValueIsCData() const { return FValueIsCData; }
  void SetValueIsCData(bool IsCData);
  std::string GetCondition() const { return GetAttribute("Condition"); }
  void SetCondition(std::string_view Condition) { SetAttribute("Condition", Condition); }
  // The attribute list, made on first use.
  TAttributeList& Attributes();
  bool HasAttributes() const { return FAttrCount != 0; }
  std::vector<std::string> GetAttributeNames() const;
  // At most this many attributes on one node.
  static constexpr int MaxAttributes = 0xFFFF;
  // The attributes by position, without making the attribute list.
  int AttributeCount() const { return static_cast<int>(FAttrCount); }
  std::string_view AttributeNameAt(int Index) const { return FAttrs[Index].Name.View(); }
  std::string_view AttributeValueAt(int Index) const { return FAttrs[Index].Value.View(); }
  std::string GetAttribute(std::string_view Name) const;
  // The attribute's value as a view, valid until the attributes change.
  std::string_view GetAttributeView(std::string_view Name) const;
  void SetAttribute(std::string_view Name, std::string_view Value);

  // State.
  bool IsModified() const { return GetIsModified(); }
  bool GetModifiedFlag() const { return FModified; }
  void MarkModified() { FModified = true; }
  // Adding a listener twice keeps one entry.
  void AddListener(INodeChangeListener* Listener);
  void RemoveListener(INodeChangeListener* Listener);

 protected:
  // Tells the parent (ChildChange) and then this node's listeners; marks this node
  // modified for ncAdded, ncDeleted, ncMoved and ncAfterRename.
  void Notify(TNodeChangeType ChangeType, TNode* Node);
  // Copies name, identifier, value and attributes into Copy, and with Deep the children.
  void CopyInto(TNode& Copy, bool Deep) const;
  void ClearModified() { FModified = false; }
  // Replaces the text without notifications or modified mark: for changes of form only
  // (the personality's version suffix).
  void SetValueSilently(std::string Value);
  // Removes every child without telling anyone (used by groups that keep their own index).
  void DetachAndDestroyChildren();

 private:
  friend class TXmlReader;
  struct TAttr {
    TNodeText Name;
    TNodeText Value;
  };
  // The identifier, the listeners, the find cursor, the attribute view and an owned arena:
  // all rare, so kept apart.
  struct TExtras;

  TExtras& Extras();
  void AdoptArena(std::unique_ptr<TNodeArena> Arena);
  // Refers to an identifier in the reader's arena.
  void BorrowId(std::string_view Id);
  int AttributeIndex(std::string_view Name) const;
  // Makes the attribute array the node's own (it may be the reader's, in its arena) with
  // room for one more.
  void OwnAttributes();

  TNode* FParent = nullptr;
  TNodeList FNodes;
  TAttr* FAttrs = nullptr;
  std::unique_ptr<TExtras> FExtras;
  TNodeText FName;
  TNodeText FValue;
  uint16_t FAttrCount = 0;
  // 0 while the array lives in the reader's arena.
  uint16_t FAttrCapacity = 0;
  bool FModified = false;
  bool FValueIsCData = false;
  bool FInArena = false;
};

// The node-class registry: namespace -> key (the class's NodeName) -> class. The MSBuild
// classes are registered on first use of the registry.
class TNodeClassRegistry {
 public:
  TNodeClassRegistry();
  TNodeClassRegistry(const TNodeClassRegistry&) = delete;  // process-wide, by reference
  TNodeClassRegistry& operator=(const TNodeClassRegistry&) = delete;
  ~TNodeClassRegistry();

  // Raises Exception "Node path %s already registered by %s" when the key is taken.
  void Register(const TNodeClass& Class);
  void Unregister(const TNodeClass& Class);
  // The class registered for the namespace and name, or null.
  const TNodeClass* Find(std::string_view Namespace, std::string_view Name) const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

TNodeClassRegistry& NodeClassRegistry();
void RegisterNodeClass(const TNodeClass& Class);
// The class for an element: the registered one, else Parent's default child class, else TNode.
const TNodeClass& GetNodeClass(std::string_view Namespace, std::string_view Name, const TNode* Parent);

namespace detail {
// Defined with the MSBuild classes; fills a fresh registry.
void RegisterStandardNodeClasses(TNodeClassRegistry& Registry);
}  // namespace detail

}  // namespace nxs
