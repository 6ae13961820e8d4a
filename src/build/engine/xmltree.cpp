#include "build/engine/xmltree.h"

#include <expat.h>

#include <algorithm>
#include <cstdint>

#include "build/engine/engine.h"
#include "build/engine/resstrings.h"
#include "shared/format.h"
#include "shared/hashsalt.h"
#include "shared/text.h"

namespace nxs::engine {

const std::string* TXmlElement::Attribute(std::string_view AName) const {
  for (const auto& A : Attributes)
    if (SameText(A.Name, AName)) return &A.Value;
  return nullptr;
}

const std::string& TXmlElement::AttributeOr(std::string_view AName) const {
  static const std::string Empty;
  const std::string* V = Attribute(AName);
  return V ? *V : Empty;
}

bool TXmlElement::Is(std::string_view ElementName) const { return SameText(Name, ElementName); }

namespace {

// Project files nest a few levels; a file nesting thousands is refused rather than held.
constexpr int MaxDepth = 256;

struct TParseState {
  XML_Parser Parser = nullptr;
  std::unique_ptr<TXmlElement> Root;
  std::vector<TXmlElement*> Stack;
  std::string Refused;  // why the parse was stopped by a handler
  int RefusedLine = 0, RefusedColumn = 0;
};

// Names in the project namespace arrive without it: the parser is not namespace-aware, and
// a prefix-less default namespace does not change the element names.
void XMLCALL OnStart(void* Data, const XML_Char* Name, const XML_Char** Atts) {
  auto& S = *static_cast<TParseState*>(Data);
  if (S.Stack.size() >= MaxDepth) {
    S.Refused = Format(res::SXmlTooDeep, MaxDepth);
    S.RefusedLine = static_cast<int>(XML_GetCurrentLineNumber(S.Parser));
    S.RefusedColumn = static_cast<int>(XML_GetCurrentColumnNumber(S.Parser)) + 1;
    XML_StopParser(S.Parser, XML_FALSE);
    return;
  }
  auto E = std::make_unique<TXmlElement>();
  E->Name = Name;
  E->Line = static_cast<int>(XML_GetCurrentLineNumber(S.Parser));
  E->Column = static_cast<int>(XML_GetCurrentColumnNumber(S.Parser)) + 1;
  for (int I = 0; Atts[I]; I += 2) {
    if (std::string_view(Atts[I]) == "xmlns") continue;
    E->Attributes.push_back({Atts[I], Atts[I + 1]});
  }
  TXmlElement* Raw = E.get();
  if (S.Stack.empty()) {
    S.Root = std::move(E);
  } else {
    S.Stack.back()->Children.push_back(std::move(E));
  }
  S.Stack.push_back(Raw);
}

void XMLCALL OnEnd(void* Data, const XML_Char*) {
  auto& S = *static_cast<TParseState*>(Data);
  if (!S.Stack.empty()) S.Stack.pop_back();
}

void XMLCALL OnText(void* Data, const XML_Char* Text, int Len) {
  auto& S = *static_cast<TParseState*>(Data);
  if (!S.Stack.empty()) S.Stack.back()->Text.append(Text, static_cast<size_t>(Len));
}

void Refuse(TParseState& S) {
  if (!S.Refused.empty()) return;
  S.Refused = res::SXmlDoctype;
  S.RefusedLine = static_cast<int>(XML_GetCurrentLineNumber(S.Parser));
  S.RefusedColumn = static_cast<int>(XML_GetCurrentColumnNumber(S.Parser)) + 1;
  XML_StopParser(S.Parser, XML_FALSE);
}

void XMLCALL OnDoctype(void* Data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  Refuse(*static_cast<TParseState*>(Data));
}

void XMLCALL OnEntity(void* Data, const XML_Char*, int, const XML_Char*, int, const XML_Char*, const XML_Char*,
                      const XML_Char*, const XML_Char*) {
  Refuse(*static_cast<TParseState*>(Data));
}

}  // namespace

namespace {

void TakePlace(TXmlElement& E, const TXmlElement& Place) {
  E.Line = Place.Line;
  E.Column = Place.Column;
  for (auto& C : E.Children) TakePlace(*C, Place);
}

// Pairs of children of the same name in order: the common start and end first, then the
// longest common sequence of what is left between them when that is small enough to compute.
std::vector<std::pair<size_t, size_t>> PairChildren(const TXmlElement& A, const TXmlElement& B) {
  const auto& X = A.Children;
  const auto& Y = B.Children;
  auto Same = [&](size_t I, size_t J) { return X[I]->Is(Y[J]->Name); };
  std::vector<std::pair<size_t, size_t>> Pairs;
  size_t Start = 0;
  while (Start < X.size() && Start < Y.size() && Same(Start, Start)) {
    Pairs.emplace_back(Start, Start);
    ++Start;
  }
  size_t EndX = X.size(), EndY = Y.size();
  std::vector<std::pair<size_t, size_t>> Tail;
  while (EndX > Start && EndY > Start && Same(EndX - 1, EndY - 1)) Tail.emplace_back(--EndX, --EndY);
  const size_t N = EndX - Start, M = EndY - Start;
  // Thousands of items changed at once (a generated list) keep their parent's place instead.
  constexpr size_t MaxCells = 4'000'000;
  if (N > 0 && M > 0 && N * M <= MaxCells) {
    std::vector<uint32_t> L((N + 1) * (M + 1), 0);  // L[i][j]: common length of X[i..] and Y[j..]
    auto At = [&](size_t I, size_t J) -> uint32_t& { return L[I * (M + 1) + J]; };
    for (size_t I = N; I-- > 0;)
      for (size_t J = M; J-- > 0;)
        At(I, J) = Same(Start + I, Start + J) ? At(I + 1, J + 1) + 1 : std::max(At(I + 1, J), At(I, J + 1));
    for (size_t I = 0, J = 0; I < N && J < M;) {
      if (Same(Start + I, Start + J)) {
        Pairs.emplace_back(Start + I++, Start + J++);
      } else if (At(I + 1, J) >= At(I, J + 1)) {
        ++I;
      } else {
        ++J;
      }
    }
  }
  Pairs.insert(Pairs.end(), Tail.rbegin(), Tail.rend());
  return Pairs;
}

}  // namespace

void TakePositions(TXmlElement& Text, const TXmlElement& File) {
  Text.Line = File.Line;
  Text.Column = File.Column;
  std::vector<bool> Paired(Text.Children.size(), false);
  for (auto [I, J] : PairChildren(Text, File)) {
    TakePositions(*Text.Children[I], *File.Children[J]);
    Paired[I] = true;
  }
  for (size_t I = 0; I < Text.Children.size(); ++I)
    if (!Paired[I]) TakePlace(*Text.Children[I], File);
}

namespace {

// Each thread's parser, reset for each document rather than made anew: a make reads a document
// per project.
class TThreadParser {
 public:
  TThreadParser() = default;
  ~TThreadParser() {
    if (FParser) XML_ParserFree(FParser);
  }
  TThreadParser(const TThreadParser&) = delete;  // owns the parser
  TThreadParser& operator=(const TThreadParser&) = delete;
  // The parser, as if new; null when there is no memory for one.
  XML_Parser Fresh() {
    if (FParser && !XML_ParserReset(FParser, nullptr)) {
      XML_ParserFree(FParser);
      FParser = nullptr;
    }
    if (!FParser) FParser = XML_ParserCreate(nullptr);
    return FParser;
  }

 private:
  XML_Parser FParser = nullptr;
};

}  // namespace

std::unique_ptr<TXmlDocument> ParseProjectXml(const std::string& FileName, std::string_view Text) {
  thread_local TThreadParser Parser;
  TParseState S;
  S.Parser = Parser.Fresh();
  if (!S.Parser) throw EEngineError(Format(res::SXmlError, "out of memory"), FileName);
  XML_SetHashSalt(S.Parser, ProcessHashSalt());
  XML_SetUserData(S.Parser, &S);
  XML_SetElementHandler(S.Parser, OnStart, OnEnd);
  XML_SetCharacterDataHandler(S.Parser, OnText);
  XML_SetStartDoctypeDeclHandler(S.Parser, OnDoctype);
  XML_SetEntityDeclHandler(S.Parser, OnEntity);
  XML_SetParamEntityParsing(S.Parser, XML_PARAM_ENTITY_PARSING_NEVER);
  XML_Status St = XML_Parse(S.Parser, Text.data(), static_cast<int>(Text.size()), XML_TRUE);
  if (!S.Refused.empty())
    throw EEngineError(S.Refused, FileName, S.RefusedLine, S.RefusedColumn);
  if (St != XML_STATUS_OK) {
    throw EEngineError(Format(res::SXmlError, XML_ErrorString(XML_GetErrorCode(S.Parser))), FileName,
                       static_cast<int>(XML_GetCurrentLineNumber(S.Parser)),
                       static_cast<int>(XML_GetCurrentColumnNumber(S.Parser)) + 1);
  }
  if (!S.Root || !S.Root->Is("Project"))
    throw EEngineError(Format(res::SXmlNotProject, S.Root ? S.Root->Name : std::string()), FileName,
                       S.Root ? S.Root->Line : 1, S.Root ? S.Root->Column : 1);
  auto Doc = std::make_unique<TXmlDocument>();
  Doc->FileName = FileName;
  Doc->Root = std::move(S.Root);
  return Doc;
}

}  // namespace nxs::engine
