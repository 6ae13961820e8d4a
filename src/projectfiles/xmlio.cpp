#include "projectfiles/xmlio.h"

#include <expat.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <cstdio>
#include <atomic>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>

#include "projectfiles/resstrings.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/format.h"
#include "shared/hashsalt.h"
#include "shared/largeblock.h"
#include "shared/text.h"
#include "shared/utf8.h"

namespace nxs {

namespace {

// Separates the namespace URI from the local name in the names expat reports. No XML name
// or namespace URI can hold U+0001.
constexpr char NamespaceSeparator = '\x01';
// Project files are a handful of levels deep; far deeper documents are refused.
constexpr size_t MaxNestingLevel = 1000;

// One parser for the whole process, taken by whoever finds it free; others make their own.
class TSharedParser {
 public:
  ~TSharedParser() {
    if (FParser) XML_ParserFree(FParser);
  }
  XML_Parser TryTake() {
    bool Expected = false;
    if (!FInUse.compare_exchange_strong(Expected, true)) return nullptr;
    if (!FParser) FParser = XML_ParserCreateNS(nullptr, NamespaceSeparator);
    if (!FParser) FInUse = false;
    if (FParser) XML_SetHashSalt(FParser, ProcessHashSalt());  // a reset forgets it
    return FParser;
  }
  void Release(XML_Parser P) {
    XML_ParserReset(P, nullptr);
    FInUse = false;
  }

 private:
  std::atomic<bool> FInUse{false};
  XML_Parser FParser = nullptr;
};

TSharedParser& SharedParser() {
  static TSharedParser Shared;
  return Shared;
}

// A parser for one read: the shared one when it is free, else a private one.
class TParserLease {
 public:
  explicit TParserLease(bool MayShare) {
    FParser = MayShare ? SharedParser().TryTake() : nullptr;
    FShared = FParser != nullptr;
    if (!FParser) FParser = XML_ParserCreateNS(nullptr, NamespaceSeparator);
    if (!FParser) throw std::bad_alloc();
    XML_SetHashSalt(FParser, ProcessHashSalt());
  }
  ~TParserLease() {
    if (FShared)
      SharedParser().Release(FParser);
    else
      XML_ParserFree(FParser);
  }
  TParserLease(const TParserLease&) = delete;  // owns the lease
  TParserLease& operator=(const TParserLease&) = delete;
  XML_Parser Get() const { return FParser; }

 private:
  XML_Parser FParser;
  bool FShared;
};

// Whether expat reads Name as an element name in UTF-8 text. Names from documents in other
// encodings (ISO-8859-1) may hold characters that its UTF-8 tables refuse, and a name the
// writer cannot write readably must not get into a tree.
bool IsUtf8Name(std::string_view Name) {
  XML_Parser P = XML_ParserCreate("UTF-8");
  if (!P) return false;
  XML_SetHashSalt(P, ProcessHashSalt());
  std::string Doc = "<" + std::string(Name) + "/>";
  bool Ok = XML_Parse(P, Doc.data(), static_cast<int>(Doc.size()), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(P);
  return Ok;
}

// Reads a file straight into the parser's buffer and parses it there.
class TParserTarget : public IReadTarget {
 public:
  explicit TParserTarget(XML_Parser P) : FParser(P) {}
  std::span<char> Room(size_t Wanted) override {
    // The parser counts its buffer in int.
    int Len = static_cast<int>(std::min<size_t>(Wanted, size_t(1) << 30));
    void* Buffer = XML_GetBuffer(FParser, Len);
    if (!Buffer) throw std::bad_alloc();
    AdviseHugePages(Buffer, static_cast<size_t>(Len));
    return {static_cast<char*>(Buffer), static_cast<size_t>(Len)};
  }
  bool Filled(size_t Count, bool AtEnd) override {
    FStatus = XML_ParseBuffer(FParser, static_cast<int>(Count), AtEnd ? XML_TRUE : XML_FALSE);
    return FStatus == XML_STATUS_OK;
  }
  XML_Status Status() const { return FStatus; }

 private:
  XML_Parser FParser;
  XML_Status FStatus = XML_STATUS_OK;
};

// The names a document uses, as expat reports them ("uri\x01local"), with what the reader
// made of each: a document has a handful of names and uses each many times, mostly the
// same one at the same place (the items of a group, the first attribute of an item). So a
// name is first compared with the one last seen at its place (its depth, its position),
// then looked up: open addressing over a hash of the whole name, eight bytes at a time.
template <class T, size_t Places>
class TNameTable {
 public:
  // The entry of Name (zero-terminated) seen at Place, or null. Valid until the next call.
  const T* Find(const char* Name, size_t Place) {
    TRecent* R = Place < Places ? &FRecent[Place] : nullptr;
    if (R && !R->Key.empty() && std::strncmp(Name, R->Key.data(), R->Key.size()) == 0 && !Name[R->Key.size()])
      return &R->Value;
    std::string_view N(Name);
    if (FSlots.empty()) return nullptr;
    uint32_t H = Hash(N);
    for (size_t I = H & FMask; !FSlots[I].Key.empty(); I = (I + 1) & FMask)
      if (FSlots[I].Hash == H && FSlots[I].Key == N) {
        if (!R) return &FSlots[I].Value;
        *R = TRecent{FSlots[I].Key, FSlots[I].Value};
        return &R->Value;
      }
    return nullptr;
  }
  // Adds Name, which is not in the table and not empty.
  const T* Add(const char* Name, size_t Place, T Value) {
    if ((FCount + 1) * 2 > FSlots.size()) Grow();
    ++FCount;
    std::string_view Key = FKeys.emplace_back(Name);
    TSlot& Slot = Put(TSlot{Key, Hash(Key), std::move(Value)});
    if (Place >= Places) return &Slot.Value;
    FRecent[Place] = TRecent{Slot.Key, Slot.Value};
    return &FRecent[Place].Value;
  }

 private:
  struct TSlot {
    std::string_view Key;  // in FKeys; empty: a free slot
    uint32_t Hash = 0;
    T Value{};
  };
  struct TRecent {
    std::string_view Key;
    T Value{};
  };

  static uint32_t Hash(std::string_view Name) {
    uint64_t H = Name.size() * 0x9E3779B97F4A7C15ull;
    size_t I = 0;
    for (; I + 8 <= Name.size(); I += 8) {
      uint64_t W;
      std::memcpy(&W, Name.data() + I, 8);
      H = (H ^ W) * 0xFF51AFD7ED558CCDull;
      H ^= H >> 29;
    }
    uint64_t W = 0;
    std::memcpy(&W, Name.data() + I, Name.size() - I);
    H = (H ^ W) * 0xC4CEB9FE1A85EC53ull;
    return static_cast<uint32_t>(H >> 32);
  }
  TSlot& Put(TSlot Slot) {
    size_t I = Slot.Hash & FMask;
    while (!FSlots[I].Key.empty()) I = (I + 1) & FMask;
    FSlots[I] = std::move(Slot);
    return FSlots[I];
  }
  void Grow() {
    std::vector<TSlot> Old = std::move(FSlots);
    FSlots = std::vector<TSlot>(Old.empty() ? 16 : Old.size() * 2);
    FMask = FSlots.size() - 1;
    for (TSlot& Slot : Old)
      if (!Slot.Key.empty()) Put(std::move(Slot));
  }

  std::deque<std::string> FKeys;  // never moved
  std::vector<TSlot> FSlots;
  std::array<TRecent, Places> FRecent{};
  size_t FMask = 0;
  size_t FCount = 0;
};

std::string_view LocalName(const char* Name) {
  const char* Sep = std::strchr(Name, NamespaceSeparator);
  return Sep ? std::string_view(Sep + 1) : std::string_view(Name);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Checks

namespace {

// The length of the UTF-8 sequence at Text[Pos] (a character XML allows), or 0.
size_t Utf8Length(std::string_view Text, size_t Pos, uint32_t& Code) {
  bool Valid;
  const int Len = DecodeUtf8(Text.substr(Pos), Code, Valid, TUtf8Policy::Strict);
  if (!Valid || Code == 0xFFFE || Code == 0xFFFF) return 0;
  return static_cast<size_t>(Len);
}

bool IsAsciiNameStart(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_'; }
bool IsAsciiNameChar(char C) { return IsAsciiNameStart(C) || (C >= '0' && C <= '9') || C == '-' || C == '.'; }

}  // namespace

std::string PrintableText(std::string_view Text) {
  std::string R;
  size_t Pos = 0;
  while (Pos < Text.size() && R.size() < 100) {
    uint32_t Code = 0;
    size_t Len = Utf8Length(Text, Pos, Code);
    if (Len == 0 || Code < 0x20 || Code == 0x7F) {
      char Hex[8];
      std::snprintf(Hex, sizeof Hex, "\\x%02x", static_cast<unsigned>(static_cast<unsigned char>(Text[Pos])));
      R += Hex;
      ++Pos;
    } else {
      R.append(Text.substr(Pos, Len));
      Pos += Len;
    }
  }
  if (Pos < Text.size()) R += "...";
  return R;
}

void CheckXmlText(std::string_view Text) {
  for (size_t Pos = 0; Pos < Text.size();) {
    unsigned char C = static_cast<unsigned char>(Text[Pos]);
    if (C >= 0x20 && C < 0x80) {
      ++Pos;
      continue;
    }
    if (C < 0x20) {
      if (C == '\t' || C == '\n' || C == '\r') {
        ++Pos;
        continue;
      }
      char Code[8];
      std::snprintf(Code, sizeof Code, "U+%04X", static_cast<unsigned>(C));
      throw EInvalidXmlText(Format(res::STextControlChar, PrintableText(Text), std::string(Code)));
    }
    uint32_t Code = 0;
    size_t Len = Utf8Length(Text, Pos, Code);
    if (!Len) throw EInvalidXmlText(Format(res::STextNotUtf8, PrintableText(Text), static_cast<int>(Pos + 1)));
    Pos += Len;
  }
}

void CheckXmlName(std::string_view Name) {
  if (Name.empty()) return;  // the class names the element
  bool Ascii = true;
  for (char C : Name)
    if (static_cast<unsigned char>(C) >= 0x80) Ascii = false;
  if (Ascii) {
    if (!IsAsciiNameStart(Name[0])) throw EInvalidTagName(Format(res::SBadXmlName, PrintableText(Name), res::SBadXmlNameStart));
    for (char C : Name)
      if (!IsAsciiNameChar(C)) throw EInvalidTagName(Format(res::SBadXmlName, PrintableText(Name), res::SBadXmlNameChar));
    return;
  }
  CheckXmlText(Name);
  if (Name.find(':') != std::string_view::npos || !IsUtf8Name(Name))
    throw EInvalidTagName(Format(res::SBadXmlName, PrintableText(Name), res::SBadXmlNameChar));
}

bool IsXmlName(std::string_view Name) {
  try {
    CheckXmlName(Name);
    return !Name.empty();
  } catch (const EInvalidTagName&) {
    return false;
  } catch (const EInvalidXmlText&) {
    return false;
  }
}

// ---------------------------------------------------------------------------------------
// Reader

struct TXmlReader::TState {
  // What is known about an element name as expat reports it ("uri\x01local").
  struct TElementName {
    const TNodeClass* Registered;  // null: the parent's default class
    std::string_view Local;        // in the arena
  };

  XML_Parser Parser = nullptr;
  bool IdComments = false;
  // Until the root exists the arena is held here; then the root owns it.
  std::unique_ptr<TNodeArena> OwnArena = std::make_unique<TNodeArena>();
  TNodeArena* Arena = OwnArena.get();
  std::unique_ptr<TNode> Root;
  std::vector<TNode*> Stack;
  TNode* LastPopped = nullptr;
  // The run of character data since the last markup event.
  std::string Text;
  // The run began with a control character: its white space at both ends goes (at the
  // start as it comes, at the end when the run ends).
  bool TrimRun = false;
  bool InCData = false;
  bool HasPendingId = false;
  std::string PendingId;
  std::exception_ptr Error;
  std::string Refusal;  // why the reader stopped the parser itself
  TNameTable<TElementName, 16> Elements;
  // The namespace of each open element; the URIs of elements in another namespace than the
  // one around them, kept for their "xmlns" attribute.
  std::vector<std::string_view> Namespaces;
  std::deque<std::string> ForeignNamespaces;
  // Attribute names by expat's name; an empty view: an attribute that is not kept.
  TNameTable<std::string_view, 8> AttributeNames;
  // Scratch for the attributes of one element.
  std::vector<std::pair<std::string_view, const char*>> Attrs;

  void Stop(std::exception_ptr E) {
    if (!Error) Error = E;
    XML_StopParser(Parser, XML_FALSE);
  }

  void Refuse(std::string Why) {
    if (Refusal.empty()) Refusal = std::move(Why);
    XML_StopParser(Parser, XML_FALSE);
  }

  // False for a name that could not be written back readably.
  static bool IsWritableName(std::string_view Name) {
    for (char C : Name)
      if (static_cast<unsigned char>(C) >= 0x80) return IsUtf8Name(Name);
    return true;
  }

  // The text rule: a run that begins with a control character (a line break, a tab) is
  // trimmed at both ends; CDATA and runs that begin with a space or above count whole.
  void FlushText() {
    bool Trim = TrimRun;
    TrimRun = false;
    if (Text.empty()) return;
    if (!Stack.empty()) {
      TNode* Top = Stack.back();
      if (!HasChildNodes(*Top)) {
        std::string_view V = Text;
        if (Trim)
          while (!V.empty() && static_cast<unsigned char>(V.back()) <= 0x20) V.remove_suffix(1);
        if (!V.empty()) AppendValue(*Top, V, *Arena);
      }
    }
    Text.clear();
  }

  void AddText(const char* Chars, size_t Len) {
    if (Text.empty() && !InCData) {
      if (!TrimRun) TrimRun = static_cast<unsigned char>(Chars[0]) < 0x20;
      if (TrimRun) {
        while (Len && static_cast<unsigned char>(*Chars) <= 0x20) ++Chars, --Len;
        if (!Len) return;
      }
    }
    Text.append(Chars, Len);
  }

  // Place: the depth of the element. Null after refusing the name.
  const TElementName* ElementName(const char* ExpatName, size_t Place) {
    if (const TElementName* Known = Elements.Find(ExpatName, Place)) return Known;
    const char* Sep = std::strchr(ExpatName, NamespaceSeparator);
    std::string_view Ns = Sep ? std::string_view(ExpatName, static_cast<size_t>(Sep - ExpatName)) : "";
    std::string_view Local = Sep ? std::string_view(Sep + 1) : std::string_view(ExpatName);
    if (!IsWritableName(Local)) {
      Refuse(Format(res::SNameNotUtf8, Local));
      return nullptr;
    }
    return Elements.Add(ExpatName, Place, TElementName{NodeClassRegistry().Find(Ns, Local), Arena->Copy(Local)});
  }

  // Place: the attribute's position in its element. False after refusing the name; Kept is
  // empty for an attribute that is left out.
  bool AttributeName(const char* ExpatName, size_t Place, std::string_view& Kept) {
    const std::string_view* Known = AttributeNames.Find(ExpatName, Place);
    if (!Known) {
      std::string_view Local = LocalName(ExpatName);
      if (!IsWritableName(Local)) {
        Refuse(Format(res::SNameNotUtf8, Local));
        return false;
      }
      // A prefixed attribute named "xmlns" would come back as a namespace declaration.
      Known = AttributeNames.Add(ExpatName, Place, Local == "xmlns" ? std::string_view() : Arena->Copy(Local));
    }
    Kept = *Known;
    return true;
  }

  static void XMLCALL OnStart(void* Data, const XML_Char* Name, const XML_Char** Atts) {
    auto* S = static_cast<TState*>(Data);
    try {
      S->FlushText();
      // Every walk over the tree (writing, copying, destroying) recurses once per level.
      if (S->Stack.size() >= MaxNestingLevel) {
        S->Refuse(Format(res::SNestedTooDeep, static_cast<int>(MaxNestingLevel)));
        return;
      }
      TNode* Parent = S->Stack.empty() ? nullptr : S->Stack.back();
      const TElementName* E = S->ElementName(Name, S->Stack.size());
      if (!E) return;
      const TNodeClass* Class = E->Registered;
      if (!Class || (Parent && Parent->FixedChildClass()))
        Class = Parent ? &Parent->DefaultNodeClass() : &TNode::ClassInfo();

      // Namespace declarations never arrive here: expat consumes them. Two prefixed
      // attributes may share a local name; the first one is kept so that the node never
      // holds one name twice.
      S->Attrs.clear();
      for (size_t I = 0; Atts[I]; I += 2) {
        std::string_view AttrName;
        if (!S->AttributeName(Atts[I], I / 2, AttrName)) return;
        if (AttrName.empty() || !*Atts[I + 1]) continue;
        bool Seen = false;
        for (const auto& A : S->Attrs)
          if (A.first == AttrName) Seen = true;
        if (!Seen) S->Attrs.emplace_back(AttrName, Atts[I + 1]);
      }

      // An element in another namespace than the one around it keeps its namespace as an
      // "xmlns" attribute, so that it is written back where it was and not read back as an
      // element of the project (a nested "Project" of another namespace stays a plain node).
      const char* Sep = std::strchr(Name, NamespaceSeparator);
      std::string_view Uri = Sep ? std::string_view(Name, static_cast<size_t>(Sep - Name)) : std::string_view();
      std::string_view Around = S->Namespaces.empty() ? std::string_view(Class->Namespace) : S->Namespaces.back();
      // An element without namespace inside one with a namespace is written back inside
      // it, and read back in that namespace: refused only where that would make it another
      // kind of node.
      bool Foreign = Uri != Around && !Uri.empty();
      if (Uri != Around && Uri.empty() && NodeClassRegistry().Find(Around, E->Local)) {
        S->Refuse(Format(res::SForeignNamespaceLeft, E->Local));
        return;
      }
      if (Foreign) {
        S->ForeignNamespaces.emplace_back(Uri);
        S->Attrs.insert(S->Attrs.begin(), {std::string_view("xmlns"), S->ForeignNamespaces.back().c_str()});
      }
      if (S->Attrs.size() > static_cast<size_t>(TNode::MaxAttributes)) {
        S->Refuse(Format(res::SAttributeLimit, TNode::MaxAttributes));
        return;
      }
      // The root lives on the heap and owns the arena; everything below it lives in it.
      std::unique_ptr<TNode> Node;
      if (Parent) {
        Node.reset(Construct(*Class, *S->Arena));
      } else {
        Node = Class->Make(std::string());
        AdoptArena(*Node, std::move(S->OwnArena));
      }
      SetContent(*Node, Local(*E, *Class), S->Attrs, *S->Arena);
      if (S->HasPendingId) {
        SetId(*Node, S->PendingId, *S->Arena);
        S->HasPendingId = false;
        S->PendingId.clear();
      }
      TNode* Raw = Node.get();
      // Text of an element that has child elements is dropped, also what came before them.
      if (Parent && !HasChildNodes(*Parent)) {
        ClearValue(*Parent);
        StartChildren(*Parent, *S->Arena);
      }
      if (Parent)
        AppendChild(*Parent, std::move(Node), *S->Arena);
      else if (!S->Root)
        S->Root = std::move(Node);
      S->Stack.push_back(Raw);
      S->Namespaces.push_back(Foreign ? std::string_view(S->ForeignNamespaces.back()) : Around);
    } catch (...) {
      S->Stop(std::current_exception());
    }
  }

  // The element name the node stores: none when the class names the element itself.
  static std::string_view Local(const TElementName& E, const TNodeClass& Class) {
    return E.Local == Class.NodeName ? std::string_view() : E.Local;
  }

  static void XMLCALL OnEnd(void* Data, const XML_Char*) {
    auto* S = static_cast<TState*>(Data);
    try {
      S->FlushText();
      if (S->Stack.empty()) return;
      TNode* Node = S->Stack.back();
      S->Stack.pop_back();
      S->Namespaces.pop_back();
      S->LastPopped = Node;
      Node->AfterRead();
    } catch (...) {
      S->Stop(std::current_exception());
    }
  }

  static void XMLCALL OnText(void* Data, const XML_Char* Chars, int Len) {
    auto* S = static_cast<TState*>(Data);
    // Text of an element that has child elements is dropped without collecting it: most
    // calls are the white space between elements, and return here at little cost.
    if (S->Stack.empty() || (!S->InCData && HasChildNodes(*S->Stack.back()))) return;
    S->CollectText(Chars, static_cast<size_t>(Len));
  }

  [[gnu::noinline]] void CollectText(const char* Chars, size_t Len) {
    try {
      AddText(Chars, Len);
    } catch (...) {
      Stop(std::current_exception());
    }
  }

  static void XMLCALL OnComment(void* Data, const XML_Char* Chars) {
    auto* S = static_cast<TState*>(Data);
    try {
      S->FlushText();
      if (!S->IdComments) return;
      std::string T = Trim(Chars);
      if (T.size() >= 2 && T[0] == '_' && T[1] == '_') {
        S->PendingId = T.substr(2);
        S->HasPendingId = true;
      }
    } catch (...) {
      S->Stop(std::current_exception());
    }
  }

  static void XMLCALL OnStartCData(void* Data) {
    auto* S = static_cast<TState*>(Data);
    try {
      S->FlushText();
      if (!S->Stack.empty()) SetCData(*S->Stack.back());
      S->InCData = true;
    } catch (...) {
      S->Stop(std::current_exception());
    }
  }

  static void XMLCALL OnEndCData(void* Data) {
    auto* S = static_cast<TState*>(Data);
    try {
      S->FlushText();
      S->InCData = false;
    } catch (...) {
      S->Stop(std::current_exception());
    }
  }

  static void XMLCALL OnProcessingInstruction(void* Data, const XML_Char*, const XML_Char*) {
    auto* S = static_cast<TState*>(Data);
    try {
      S->FlushText();
    } catch (...) {
      S->Stop(std::current_exception());
    }
  }

  // A document type declaration could pull in external subsets and entity definitions:
  // such a document is refused before anything of it is used.
  static void XMLCALL OnDoctype(void* Data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto* S = static_cast<TState*>(Data);
    if (S->Refusal.empty()) S->Refusal = res::SExternalEntity;
    XML_StopParser(S->Parser, XML_FALSE);
  }

  static void XMLCALL OnEntityDecl(void* Data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                   const XML_Char*, const XML_Char*, const XML_Char*) {
    OnDoctype(Data, nullptr, nullptr, nullptr, 0);
  }
};

void TXmlReader::AppendValue(TNode& Node, std::string_view Text, TNodeArena& Arena) {
  std::string_view Old = Node.FValue.View();
  Node.FValue.Borrow(Old.empty() ? Arena.Copy(Text) : Arena.Concat(Old, Text));
}
void TXmlReader::SetCData(TNode& Node) { Node.FValueIsCData = true; }
// A node that is being read is no change of its parent: no notification, no modified mark.
void TXmlReader::AppendChild(TNode& Parent, std::unique_ptr<TNode> Child, TNodeArena& Arena) {
  Child->FParent = &Parent;
  Parent.FNodes.AppendInArena(std::move(Child), Arena);
}
void TXmlReader::SetId(TNode& Node, std::string_view Id, TNodeArena& Arena) { Node.BorrowId(Arena.Copy(Id)); }
// Most elements that have children have one (an item and its metadata); the list grows in
// the arena from there.
void TXmlReader::StartChildren(TNode& Node, TNodeArena& Arena) { Node.FNodes.UseArena(Arena, 1); }
void TXmlReader::ClearValue(TNode& Node) { Node.FValue = TNodeText(); }

TNode* TXmlReader::Construct(const TNodeClass& Class, TNodeArena& Arena) {
  TNode* Node = Class.Construct(Arena.Allocate(Class.Size));
  Node->FInArena = true;
  return Node;
}

void TXmlReader::AdoptArena(TNode& Root, std::unique_ptr<TNodeArena> Arena) { Root.AdoptArena(std::move(Arena)); }

void TXmlReader::SetContent(TNode& Node, std::string_view Name,
                            const std::vector<std::pair<std::string_view, const char*>>& Attrs, TNodeArena& Arena) {
  if (!Name.empty()) Node.FName.Borrow(Name);
  if (Attrs.empty()) return;
  auto* Items = static_cast<TNode::TAttr*>(Arena.Allocate(sizeof(TNode::TAttr) * Attrs.size()));
  for (size_t I = 0; I < Attrs.size(); ++I) {
    auto* A = new (&Items[I]) TNode::TAttr();
    A->Name.Borrow(Attrs[I].first);
    A->Value.Borrow(Arena.Copy(Attrs[I].second));
  }
  Node.FAttrs = Items;
  Node.FAttrCount = static_cast<uint16_t>(Attrs.size());
  Node.FAttrCapacity = 0;
}

TXmlReader::TXmlReader() = default;
TXmlReader::~TXmlReader() = default;

// How the parser gets its input, and whether the process's shared parser may take it: not
// a large input, whose buffer the shared parser would keep.
class TXmlReader::TFeed {
 public:
  bool MayShareParser;
  std::function<XML_Status(XML_Parser)> Run;
};

void CheckRegularProjectFile(const std::string& FileName) {
  TFileInfo Info = FileSystem().Stat(FileName);
  if (Info.IsDirectory || Info.IsSpecial)
    throw EInOutError(Format(res::SCannotReadProjectFile, FileName, res::SNotARegularFile));
}

std::unique_ptr<TNode> TXmlReader::ReadFile(const std::string& FileName) {
  CheckRegularProjectFile(FileName);
  // The whole file in one buffer and one final parse: a parse that is not the final one
  // makes the parser count lines and columns over everything it took.
  TFeed Feed{false, [&](XML_Parser P) {
                TParserTarget Target(P);
                FileSystem().ReadFileInto(FileName, Target);
                return Target.Status();
              }};
  return Parse(Feed);
}

std::unique_ptr<TNode> TXmlReader::Read(std::string_view Xml) {
  // The parser copies what it is given into its own buffer: a large text goes in pieces, so
  // that it is not held twice; a small one in one piece, which spares the line counting.
  constexpr size_t OnePiece = 1 << 20, Piece = 256 << 10;
  TFeed Feed{Xml.size() <= (64 << 10), [Xml](XML_Parser P) {
                size_t Step = Xml.size() <= OnePiece ? OnePiece : Piece;
                XML_Status Status = XML_STATUS_OK;
                size_t Pos = 0;
                do {
                  size_t Len = std::min(Step, Xml.size() - Pos);
                  bool Final = Pos + Len == Xml.size();
                  Status = XML_Parse(P, Xml.data() + Pos, static_cast<int>(Len), Final ? XML_TRUE : XML_FALSE);
                  Pos += Len;
                } while (Status == XML_STATUS_OK && Pos < Xml.size());
                return Status;
              }};
  return Parse(Feed);
}

std::unique_ptr<TNode> TXmlReader::Parse(TFeed& Feed) {
  FWarnings.clear();
  TParserLease Lease(Feed.MayShareParser);
  XML_Parser P = Lease.Get();
  TState S;
  S.Parser = P;
  S.IdComments = ReadsIdentifierComments();
  S.Text.reserve(256);
  XML_SetUserData(P, &S);
  XML_SetElementHandler(P, &TState::OnStart, &TState::OnEnd);
  XML_SetCharacterDataHandler(P, &TState::OnText);
  XML_SetCommentHandler(P, &TState::OnComment);
  XML_SetCdataSectionHandler(P, &TState::OnStartCData, &TState::OnEndCData);
  XML_SetProcessingInstructionHandler(P, &TState::OnProcessingInstruction);
  XML_SetStartDoctypeDeclHandler(P, &TState::OnDoctype);
  XML_SetEntityDeclHandler(P, &TState::OnEntityDecl);
  XML_SetParamEntityParsing(P, XML_PARAM_ENTITY_PARSING_NEVER);
  XML_Status Status = Feed.Run(P);

  if (S.Error) std::rethrow_exception(S.Error);
  auto Report = [&](const std::string& Message, int Code) {
    return EParseException(res::SParseFatalError +
                           Format(res::SParseErrorDetail, Code, Message,
                                  static_cast<int64_t>(XML_GetCurrentLineNumber(P)),
                                  static_cast<int64_t>(XML_GetCurrentColumnNumber(P)) + 1));
  };
  if (!S.Refusal.empty()) throw Report(S.Refusal, static_cast<int>(XML_ERROR_EXTERNAL_ENTITY_HANDLING));
  if (Status != XML_STATUS_OK) {
    XML_Error Code = XML_GetErrorCode(P);
    const XML_LChar* Message = XML_ErrorString(Code);
    throw Report(Message ? Message : "", static_cast<int>(Code));
  }
  if (!S.Root) throw EParseException(res::SEmptyDocument);
  S.Arena->ReleaseUnused();
  return std::move(S.Root);
}

// ---------------------------------------------------------------------------------------
// Writer

namespace {

constexpr std::string_view CDataOpen = "<![CDATA[";
constexpr std::string_view CDataClose = "]]>";
constexpr std::string_view LineBreak = "\r\n";

// True when Text is one or more complete CDATA sections and nothing else: only such text
// can go out unchanged and still read back as what it says.
bool IsCDataSections(std::string_view Text) {
  size_t Pos = 0;
  while (Pos < Text.size()) {
    if (Text.compare(Pos, CDataOpen.size(), CDataOpen) != 0) return false;
    size_t End = Text.find(CDataClose, Pos + CDataOpen.size());
    if (End == std::string_view::npos) return false;
    Pos = End + CDataClose.size();
  }
  return Pos > 0;
}

enum TEscapeMode { emText, emAttribute };

struct TEscapeTable {
  const char* Replacement[2][256] = {};
  TEscapeTable() {
    for (int M = 0; M < 2; ++M) {
      Replacement[M][static_cast<unsigned char>('&')] = "&amp;";
      Replacement[M][static_cast<unsigned char>('<')] = "&lt;";
      Replacement[M][static_cast<unsigned char>('>')] = "&gt;";
      Replacement[M][static_cast<unsigned char>('"')] = "&quot;";
      // A carriage return would come back as a line feed, and in an attribute line feeds
      // and tabs would come back as spaces: they go out as character references.
      Replacement[M][static_cast<unsigned char>('\r')] = "&#13;";
    }
    Replacement[emText][static_cast<unsigned char>('\'')] = "&apos;";
    Replacement[emAttribute][static_cast<unsigned char>('\n')] = "&#10;";
    Replacement[emAttribute][static_cast<unsigned char>('\t')] = "&#9;";
  }
};

const TEscapeTable& EscapeTable() {
  static const TEscapeTable Table;
  return Table;
}

// The position of the first byte from Pos on that Mode replaces, or N. Most text has
// nothing to replace: sixteen bytes are compared at a time where the processor can, with the
// same characters the table replaces.
template <TEscapeMode Mode>
size_t NextEscaped(const char* Data, size_t Pos, size_t N, const char* const* Table) {
#if defined(__SSE2__)
  const __m128i Amp = _mm_set1_epi8('&'), Lt = _mm_set1_epi8('<'), Gt = _mm_set1_epi8('>'),
                Quot = _mm_set1_epi8('"'), Cr = _mm_set1_epi8('\r'),
                Own1 = _mm_set1_epi8(Mode == emText ? '\'' : '\n'), Own2 = _mm_set1_epi8(Mode == emText ? '\'' : '\t');
  for (; Pos + 16 <= N; Pos += 16) {
    __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + Pos));
    __m128i Hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(V, Amp), _mm_cmpeq_epi8(V, Lt)),
                               _mm_or_si128(_mm_cmpeq_epi8(V, Gt), _mm_cmpeq_epi8(V, Quot)));
    Hit = _mm_or_si128(Hit, _mm_or_si128(_mm_cmpeq_epi8(V, Cr),
                                         _mm_or_si128(_mm_cmpeq_epi8(V, Own1), _mm_cmpeq_epi8(V, Own2))));
    if (int Mask = _mm_movemask_epi8(Hit)) return Pos + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(Mask)));
  }
#endif
  for (; Pos < N; ++Pos)
    if (Table[static_cast<unsigned char>(Data[Pos])]) return Pos;
  return N;
}

template <TEscapeMode Mode>
void Escape(std::string& Out, std::string_view Text) {
  const auto& Table = EscapeTable().Replacement[Mode];
  const char* Data = Text.data();
  size_t Start = 0, N = Text.size();
  for (size_t I; (I = NextEscaped<Mode>(Data, Start, N, Table)) < N; Start = I + 1) {
    Out.append(Data + Start, I - Start);
    Out.append(Table[static_cast<unsigned char>(Data[I])]);
  }
  Out.append(Data + Start, N - Start);
}

void WriteCData(std::string& Out, std::string_view Text) {
  // "]]>" cannot stand inside a section: the section is closed after "]]" and a new one
  // opened for the ">".
  Out.append(CDataOpen);
  size_t Pos = 0;
  for (size_t Hit; (Hit = Text.find(CDataClose, Pos)) != std::string_view::npos; Pos = Hit + 2) {
    Out.append(Text.substr(Pos, Hit + 2 - Pos));
    Out.append("]]><![CDATA[");
  }
  Out.append(Text.substr(Pos));
  Out.append(CDataClose);
}

void AppendIndent(std::string& Out, size_t Width) {
  static const std::string Spaces(256, ' ');
  while (Width > Spaces.size()) {
    Out.append(Spaces);
    Width -= Spaces.size();
  }
  Out.append(Spaces.data(), Width);
}

}  // namespace

TXmlWriter::TXmlWriter(std::string& Stream, TXmlEncoding Encoding, bool MarkWritten)
    : FStream(Stream), FEncoding(Encoding), FMarkWritten(MarkWritten) {}

void TXmlWriter::EscapeText(std::string& Out, std::string_view Text) {
  if (Text.starts_with(CDataOpen) && IsCDataSections(Text)) {
    Out.append(Text);
    return;
  }
  Escape<emText>(Out, Text);
}

void TXmlWriter::EscapeAttribute(std::string& Out, std::string_view Text) {
  // No CDATA section can stand in an attribute value, so nothing goes out unescaped.
  Escape<emAttribute>(Out, Text);
}

void TXmlWriter::Write(TNode& Node) { WriteNode(Node); }

void TXmlWriter::Flush() {
  if (!FFile || FStream.empty()) return;
  FFile->Write(FStream);
  FStream.clear();
}

void TXmlWriter::WriteNode(TNode& Node) {
  ++FNestingLevel;
  size_t Indent = static_cast<size_t>(FNestingLevel) * static_cast<size_t>(FIndentSize);
  Node.BeforeWrite();
  std::string& Out = FStream;
  std::string_view Name = Node.NameView();
  AppendIndent(Out, Indent);
  Out += '<';
  Out.append(Name);
  if (!Node.GetParent() && !Node.Namespace().empty()) {
    Out.append(" xmlns=\"");
    EscapeAttribute(Out, Node.Namespace());
    Out += '"';
  }
  for (int I = 0, N = Node.AttributeCount(); I < N; ++I) {
    std::string_view V = Node.AttributeValueAt(I);
    if (V.empty()) continue;
    Out += ' ';
    Out.append(Node.AttributeNameAt(I));
    Out.append("=\"");
    EscapeAttribute(Out, V);
    Out += '"';
  }
  bool HasChildren = Node.HasChildren();
  if (!HasChildren && !Node.HasValue()) {
    Out.append("/>");
    Out.append(LineBreak);
  } else {
    Out += '>';
    if (!HasChildren) {
      if (Node.GetValueIsCData())
        WriteCData(Out, Node.ValueView());
      else
        EscapeText(Out, Node.ValueView());
    } else {
      Out.append(LineBreak);
      for (const auto& Child : *Node.Nodes()) {
        std::string_view Id = Child->IdView();
        if (!Id.empty()) {
          AppendIndent(Out, Indent + static_cast<size_t>(FIndentSize));
          Out.append("<!-- __");
          Out.append(Id);
          Out.append(" -->");
          Out.append(LineBreak);
        }
        WriteNode(*Child);
      }
      AppendIndent(Out, Indent);
    }
    Out.append("</");
    Out.append(Name);
    Out += '>';
    Out.append(LineBreak);
  }
  if (FMarkWritten) {
    if (FWasModified && Node.GetModifiedFlag()) FWasModified->push_back(&Node);
    Node.AfterWrite();
  }
  --FNestingLevel;
  if (FFile && FStream.size() >= FFlushAt) Flush();
}

static size_t EstimateNode(const TNode& Node, size_t Indent) {
  size_t Size = Indent * 2 + Node.NameView().size() * 2 + 12 + Node.ValueView().size() + Node.IdView().size();
  for (int I = 0, N = Node.AttributeCount(); I < N; ++I)
    Size += Node.AttributeNameAt(I).size() + Node.AttributeValueAt(I).size() + 4;
  if (Node.Nodes())
    for (const auto& Child : *Node.Nodes()) Size += EstimateNode(*Child, Indent + 4);
  return Size;
}

size_t TXmlWriter::EstimateSize(const TNode& Node) { return EstimateNode(Node, 0) + 64; }

std::string WriteXmlText(TNode& Node) {
  std::string Text;
  Text.reserve(TXmlWriter::EstimateSize(Node));
  TXmlWriter Writer(Text, xeUTF16, false);
  Writer.Write(Node);
  return Text;
}

}  // namespace nxs
