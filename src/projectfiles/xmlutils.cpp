#include "projectfiles/xmlutils.h"

#include "projectfiles/errors.h"
#include "projectfiles/resstrings.h"
#include "shared/format.h"

namespace nxs {

std::string CollapseWhitespace(std::string_view Text) {
  std::string Result;
  size_t I = 0, N = Text.size();
  while (I < N) {
    while (I < N && (Text[I] == ' ' || Text[I] == '\t')) ++I;
    size_t Start = I;
    while (I < N && Text[I] != ' ' && Text[I] != '\t') ++I;
    if (I > Start) {
      if (!Result.empty()) Result += ' ';
      Result.append(Text.substr(Start, I - Start));
    }
  }
  return Result;
}

TNode* FindNode(TNode* Node, std::string_view Name) {
  if (!Node) return nullptr;
  if (Node->NameView() == Name) return Node;
  if (Node->Nodes())
    for (const auto& Child : *Node->Nodes())
      if (TNode* Found = FindNode(Child.get(), Name)) return Found;
  return nullptr;
}

void FindNodes(TNode* Node, std::string_view Name, std::vector<TNode*>& List) {
  if (!Node) return;
  if (Node->NameView() == Name) {
    List.push_back(Node);
    return;
  }
  if (Node->Nodes())
    for (const auto& Child : *Node->Nodes()) FindNodes(Child.get(), Name, List);
}

TNode* FindChildNode(TNode* Node, std::string_view Name) {
  if (!Node || !Node->Nodes()) return nullptr;
  for (const auto& Child : *Node->Nodes())
    if (Child->NameView() == Name) return Child.get();
  return nullptr;
}

std::string NodeValueToString(const TNode* Node) { return Node ? Node->GetValue() : std::string(); }

std::optional<std::string> FindAttributeNode(const TNode* Node, std::string_view Name) {
  if (!Node || !Node->HasAttributes()) return std::nullopt;
  const auto& Attrs = const_cast<TNode*>(Node)->Attributes();
  int I = Attrs.IndexOfName(Name);
  if (I < 0) return std::nullopt;
  return Attrs.ValueFromIndex(I);
}

TNode& Expect(TNode* Node, std::string_view Name) {
  if (!Node) throw EProjectFileException(Format(res::SSectionNotFound, Name));
  return *Node;
}

std::string ExpectAttributeNode(const TNode& Node, std::string_view Name) {
  std::optional<std::string> Value = FindAttributeNode(&Node, Name);
  if (!Value) throw EProjectFileException(Format(res::SAttributeNotFound, Name, Node.NameView()));
  return *Value;
}

static void CollectByTagName(TNode* Node, std::string_view Name, std::vector<TNode*>& List) {
  if (!Node->Nodes()) return;
  for (const auto& Child : *Node->Nodes()) {
    if (Child->NameView() == Name) List.push_back(Child.get());
    CollectByTagName(Child.get(), Name, List);
  }
}

std::vector<TNode*> GetElementsByTagName(TNode* Node, std::string_view Name) {
  std::vector<TNode*> List;
  if (Node) CollectByTagName(Node, Name, List);
  return List;
}

TNode* CopyNode(const TNode& Source, TNode& Target) {
  std::unique_ptr<TNode> Copy = Source.CreateCopy(true);
  TNode* Raw = Copy.get();
  Target.InsertNode(std::move(Copy));
  return Raw;
}

}  // namespace nxs
