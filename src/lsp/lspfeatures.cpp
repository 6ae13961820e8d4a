#include "lsp/lspfeatures.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "editor/buffers/attributes.h"
#include "editor/buffers/editbuffer.h"
#include "editor/language/highlight.h"
#include "editor/language/regions.h"
#include "editor/language/render.h"
#include "editor/language/syncedit.h"
#include "projectfiles/msbnodes.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/xmlio.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/text.h"
#include "shared/utf8.h"

namespace nxs::lsp {

using json = nlohmann::json;

namespace {

// The classes a tokenizer gives, all below "Plain text"'s successor.
constexpr int TokenClassCount = dePlainText + 1;

// A text split into its lines ("\n" ends them, as the kernel hands the text out).
class TLines {
 public:
  explicit TLines(std::string Text) : FText(std::move(Text)) {
    FStarts.push_back(0);
    for (size_t I = FText.find('\n'); I != std::string::npos; I = FText.find('\n', I + 1)) FStarts.push_back(I + 1);
  }
  const std::string& Text() const { return FText; }
  int32_t Count() const { return static_cast<int32_t>(FStarts.size()); }
  // Line L (from 1) without its break; empty past the end.
  std::string_view Line(int32_t L) const {
    if (L < 1 || L > Count()) return {};
    const size_t Start = FStarts[static_cast<size_t>(L - 1)];
    const size_t End = L < Count() ? FStarts[static_cast<size_t>(L)] - 1 : FText.size();
    return std::string_view(FText).substr(Start, End - Start);
  }

 private:
  std::string FText;
  std::vector<size_t> FStarts;
};

json Position(const TLines& Lines, int32_t Line, size_t Byte, TPosEncoding Encoding) {
  return {{"line", Line - 1}, {"character", BytesToUnits(Lines.Line(Line), Byte, Encoding)}};
}

json RegionRange(const TLines& Lines, const TRegion& R, TPosEncoding Encoding) {
  return {{"start", Position(Lines, R.StartLine, static_cast<size_t>(R.StartIndex), Encoding)},
          {"end", Position(Lines, R.EndLine, static_cast<size_t>(R.EndIndex), Encoding)}};
}

// The region parser of the personality that owns the file, as the folding finds it.
std::shared_ptr<IRegionParser> RegionParserFor(const std::string& FileName) {
  static const std::shared_ptr<IRegionServices> Services[] = {MakePascalRegionServices(), MakeCppRegionServices()};
  for (const auto& S : Services)
    if (S->HandlesFile(FileName)) return S->RegionParser();
  return nullptr;
}

TRegionResult ParseRegions(const std::string& FileName, const std::string& Text) {
  auto Parser = RegionParserFor(FileName);
  if (!Parser) return {};
  return Parser->Parse(Text, {});
}

// The symbol kind of a region of the outline; 0 for the kinds that fold but name nothing
// (comments, conditionals, statements).
// Whether a declaration names a member: its name (the word before the parameters) is
// qualified, "TShape.Area" or "Shape::Area"; a qualified return type does not count.
bool IsQualified(const std::string& Declaration) {
  std::string_view Head = std::string_view(Declaration).substr(0, Declaration.find('('));
  while (!Head.empty() && Head.back() == ' ') Head.remove_suffix(1);
  const size_t Blank = Head.find_last_of(" \t*&");
  const std::string_view Name = Blank == std::string_view::npos ? Head : Head.substr(Blank + 1);
  return Name.find('.') != std::string_view::npos || Name.find("::") != std::string_view::npos;
}

// The protocol's symbol kinds that an outline holds.
enum : int { skModule = 2, skNamespace = 3, skClass = 5, skMethod = 6, skFunction = 12, skStruct = 23 };

int SymbolKind(const TRegion& R) {
  const std::string& K = R.Kind;
  if (K == "routine" || K == "function") return IsQualified(R.Description) ? skMethod : skFunction;
  if (K == "class") return skClass;
  if (K == "record") return skStruct;
  if (K == "namespace") return skNamespace;
  if (K == "interface" || K == "implementation" || K == "initialization" || K == "finalization") return skModule;
  return 0;
}

bool Contains(const TRegion& Outer, const TRegion& Inner) {
  auto Before = [](int32_t L1, int32_t I1, int32_t L2, int32_t I2) { return L1 < L2 || (L1 == L2 && I1 <= I2); };
  return Before(Outer.StartLine, Outer.StartIndex, Inner.StartLine, Inner.StartIndex) &&
         Before(Inner.EndLine, Inner.EndIndex, Outer.EndLine, Outer.EndIndex);
}

}  // namespace

std::string TokenTypeName(const char* Element) {
  std::string Name;
  bool Upper = false;
  for (const char* P = Element; *P; ++P) {
    if (*P == ' ') {
      Upper = !Name.empty();
      continue;
    }
    Name += Upper ? AsciiUpper(*P) : Name.empty() ? AsciiLower(*P) : *P;
    Upper = false;
  }
  return Name;
}

std::string SemanticTokensLegend() {
  json Types = json::array();
  for (int C = 0; C < TokenClassCount; ++C) Types.push_back(TokenTypeName(DisplayElements[static_cast<size_t>(C)]));
  return json{{"tokenTypes", Types}, {"tokenModifiers", json::array()}}.dump();
}

std::string FoldingRanges(TLspDocument& Doc, TPosEncoding Encoding) {
  const TLines Lines(Doc.Text());
  const TRegionResult R = ParseRegions(Doc.FileName(), Lines.Text());
  json Out = json::array();
  for (const TRegion& G : R.Regions) {
    if (G.EndLine <= G.StartLine) continue;
    json Range = {{"startLine", G.StartLine - 1},
                  {"startCharacter", BytesToUnits(Lines.Line(G.StartLine), static_cast<size_t>(G.StartIndex), Encoding)},
                  {"endLine", G.EndLine - 1},
                  {"endCharacter", BytesToUnits(Lines.Line(G.EndLine), static_cast<size_t>(G.EndIndex), Encoding)}};
    if (G.Kind == "comment") Range["kind"] = "comment";
    if (G.Kind == "includes") Range["kind"] = "imports";
    if (G.Kind == "region") Range["kind"] = "region";
    Out.push_back(std::move(Range));
  }
  return Out.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string DocumentSymbols(TLspDocument& Doc, TPosEncoding Encoding) {
  const TLines Lines(Doc.Text());
  const TRegionResult R = ParseRegions(Doc.FileName(), Lines.Text());
  // Each symbol hangs below the innermost symbol that holds it; the regions come by start,
  // the longer first, so the holders of a region are on the stack when it comes.
  struct TOpen {
    const TRegion* Region;
    json Symbol;
  };
  std::vector<TOpen> Stack;
  json Top = json::array();
  auto CloseOne = [&] {
    TOpen Done = std::move(Stack.back());
    Stack.pop_back();
    (Stack.empty() ? Top : Stack.back().Symbol["children"]).push_back(std::move(Done.Symbol));
  };
  for (const TRegion& G : R.Regions) {
    const int Kind = SymbolKind(G);
    if (Kind == 0) continue;
    while (!Stack.empty() && !Contains(*Stack.back().Region, G)) CloseOne();
    const json Range = RegionRange(Lines, G, Encoding);
    // The name is what the declaration's first line shows; it is selected where it stands.
    json Selection = {{"start", Range["start"]}, {"end", Range["start"]}};
    const std::string_view First = Lines.Line(G.StartLine);
    const std::string Name = G.Description.empty() ? G.Kind : G.Description;
    const size_t At = First.find(Name, static_cast<size_t>(G.StartIndex));
    if (At != std::string_view::npos && (G.EndLine > G.StartLine || At + Name.size() <= static_cast<size_t>(G.EndIndex)))
      Selection = {{"start", Position(Lines, G.StartLine, At, Encoding)},
                   {"end", Position(Lines, G.StartLine, At + Name.size(), Encoding)}};
    Stack.push_back({&G, {{"name", Name}, {"detail", G.Kind}, {"kind", Kind}, {"range", Range},
                          {"selectionRange", Selection}, {"children", json::array()}}});
  }
  while (!Stack.empty()) CloseOne();
  return Top.dump(-1, ' ', false, json::error_handler_t::replace);
}

namespace {

uint64_t MixHash(uint64_t H, uint64_t V) {
  H = (H ^ V) * 0x9E3779B97F4A7C15u;
  return H ^ (H >> 29);
}
constexpr uint64_t HashSeed = 0xCBF29CE484222325u;

// A line with tokens: the hash of its integers and their count.
struct TTokenLine {
  uint64_t Hash;
  uint32_t Count;
};

// Groups the lines into runs (see TTokenRuns), from the first line or from the last.
void MakeRuns(const std::vector<TTokenLine>& Lines, bool FromEnd, std::vector<uint64_t>& Hashes,
              std::vector<uint32_t>& Counts) {
  constexpr size_t RunLines = 32;
  uint64_t Hash = HashSeed;
  uint32_t Count = 0;
  size_t InRun = 0;
  for (size_t K = 0; K < Lines.size(); ++K) {
    const TTokenLine& L = Lines[FromEnd ? Lines.size() - 1 - K : K];
    Hash = MixHash(Hash, L.Hash);
    Count += L.Count;
    if ((L.Hash & 7) == 0 || ++InRun >= RunLines || K + 1 == Lines.size()) {
      Hashes.push_back(Hash);
      Counts.push_back(Count);
      Hash = HashSeed;
      Count = 0;
      InRun = 0;
    }
  }
}

// The protocol's integers of a text's semantic tokens, five a token, and their runs.
void TokenData(std::string_view Text, THighlighter& H, TPosEncoding Encoding, std::vector<uint32_t>& Data,
               TTokenRuns& Runs) {
  // Five integers a token, and a token every few bytes of source: growing the vector as it
  // fills would copy it over and over.
  Data.reserve(Text.size() + Text.size() / 2);
  std::vector<TTokenLine> Lines;
  std::vector<TToken> Tokens;
  uint8_t Class = 0;
  uint32_t PrevLine = 0, PrevStart = 0, LineNo = 0;
  for (size_t From = 0;;) {
    const size_t Break = Text.find('\n', From);
    const std::string_view Line = Text.substr(From, Break == std::string_view::npos ? std::string_view::npos : Break - From);
    Class = TokenizeLine(H, Class, Line, Tokens);
    size_t AtByte = 0;
    uint32_t AtUnits = 0;
    uint64_t LineHash = HashSeed;
    for (const TToken& T : Tokens) {
      AtUnits += static_cast<uint32_t>(BytesToUnits(Line.substr(AtByte), T.Start - AtByte, Encoding));
      AtByte = T.Start;
      const auto Length = static_cast<uint32_t>(BytesToUnits(Line.substr(T.Start), T.Length, Encoding));
      const uint32_t Type = T.Class < TokenClassCount ? uint32_t{T.Class} : uint32_t{dePlainText};
      const uint32_t DeltaLine = LineNo - PrevLine;
      const uint32_t DeltaStart = DeltaLine == 0 ? AtUnits - PrevStart : AtUnits;
      for (const uint32_t V : {DeltaLine, DeltaStart, Length, Type, uint32_t{0}}) {
        Data.push_back(V);
        LineHash = MixHash(LineHash, V);
      }
      PrevLine = LineNo;
      PrevStart = AtUnits;
    }
    if (!Tokens.empty()) Lines.push_back({LineHash, static_cast<uint32_t>(Tokens.size() * 5)});
    if (Break == std::string_view::npos) break;
    From = Break + 1;
    ++LineNo;
  }
  MakeRuns(Lines, false, Runs.Hashes, Runs.Counts);
  MakeRuns(Lines, true, Runs.BackHashes, Runs.BackCounts);
}

void AppendNumbers(std::string& Out, const uint32_t* Begin, const uint32_t* End) {
  char Number[16];
  for (const uint32_t* P = Begin; P != End; ++P) {
    if (P != Begin) Out += ',';
    const auto [To, Ec] = std::to_chars(Number, Number + sizeof Number, *P);
    Out.append(Number, To);
  }
}

std::string TokensJson(const std::vector<uint32_t>& Data, uint64_t ResultId) {
  std::string Out;
  Out.reserve(Data.size() * 3 + 64);
  Out += "{";
  if (ResultId) Out += "\"resultId\":\"" + std::to_string(ResultId) + "\",";
  Out += "\"data\":[";
  AppendNumbers(Out, Data.data(), Data.data() + Data.size());
  Out += "]}";
  return Out;
}

uint64_t NextResultId() {
  static uint64_t Last = 0;
  return ++Last;
}

}  // namespace

std::string SemanticTokensOfText(std::string_view Text, const std::string& FileName, TSourceOptionGroups& Groups,
                                 TPosEncoding Encoding) {
  std::vector<uint32_t> Data;
  TTokenRuns Runs;
  if (THighlighter* H = HighlighterForFile(Groups, FileName)) TokenData(Text, *H, Encoding, Data, Runs);
  return TokensJson(Data, 0);
}

std::string SemanticTokensFull(TLspDocument& Doc, TSourceOptionGroups& Groups, TPosEncoding Encoding) {
  std::vector<uint32_t> Data;
  TTokenRuns Runs;
  if (THighlighter* H = HighlighterForFile(Groups, Doc.FileName())) TokenData(Doc.Text(), *H, Encoding, Data, Runs);
  Runs.ResultId = NextResultId();
  Doc.Tokens = std::move(Runs);
  return TokensJson(Data, Doc.Tokens.ResultId);
}

std::string SemanticTokensDelta(TLspDocument& Doc, const std::string& PreviousId, TSourceOptionGroups& Groups,
                                TPosEncoding Encoding) {
  if (Doc.Tokens.ResultId == 0 || PreviousId != std::to_string(Doc.Tokens.ResultId))
    return SemanticTokensFull(Doc, Groups, Encoding);
  std::vector<uint32_t> Data;
  TTokenRuns Runs;
  if (THighlighter* H = HighlighterForFile(Groups, Doc.FileName())) TokenData(Doc.Text(), *H, Encoding, Data, Runs);
  Runs.ResultId = NextResultId();
  const TTokenRuns& Old = Doc.Tokens;
  // The integers the two results share at their start, then at their end, in whole runs.
  uint64_t Start = 0;
  for (size_t I = 0; I < Old.Hashes.size() && I < Runs.Hashes.size() && Old.Hashes[I] == Runs.Hashes[I] &&
                     Old.Counts[I] == Runs.Counts[I];
       ++I)
    Start += Old.Counts[I];
  uint64_t Kept = 0;
  for (size_t I = 0; I < Old.BackHashes.size() && I < Runs.BackHashes.size() && Old.BackHashes[I] == Runs.BackHashes[I] &&
                     Old.BackCounts[I] == Runs.BackCounts[I];
       ++I)
    Kept += Old.BackCounts[I];
  uint64_t OldTotal = 0;
  for (const uint32_t C : Old.Counts) OldTotal += C;
  // Where the two overlap (text taken out or put in that repeats what is beside it), the end
  // keeps what the start leaves.
  Kept = std::min(Kept, std::min<uint64_t>(OldTotal, Data.size()) - Start);
  const uint64_t Deleted = OldTotal - Start - Kept, NewFrom = Start, NewTo = Data.size() - Kept;
  std::string Out = "{\"resultId\":\"" + std::to_string(Runs.ResultId) + "\",\"edits\":[";
  if (Deleted > 0 || NewTo > NewFrom) {
    Out += "{\"start\":" + std::to_string(Start) + ",\"deleteCount\":" + std::to_string(Deleted) + ",\"data\":[";
    AppendNumbers(Out, Data.data() + NewFrom, Data.data() + NewTo);
    Out += "]}";
  }
  Doc.Tokens = std::move(Runs);
  Out += "]}";
  return Out;
}

std::string LinkedEditingRanges(TLspDocument& Doc, TLspPos Pos, TPosEncoding Encoding) {
  const TCharPos At = Doc.ToCharPos(Pos, Encoding);
  const TLines Lines(Doc.Text());
  // The block: the innermost routine or type that holds the position.
  TCharPos Start{0, 1};
  TCharPos After{static_cast<int32_t>(Utf8CharCount(Lines.Line(Lines.Count()))), Lines.Count()};
  const TRegionResult R = ParseRegions(Doc.FileName(), Lines.Text());
  for (const TRegion& G : R.Regions) {
    if (SymbolKind(G) == 0) continue;
    const TCharPos S{static_cast<int32_t>(Utf8CharCount(Lines.Line(G.StartLine).substr(0, static_cast<size_t>(G.StartIndex)))),
                     G.StartLine};
    const TCharPos E{static_cast<int32_t>(Utf8CharCount(Lines.Line(G.EndLine).substr(0, static_cast<size_t>(G.EndIndex)))),
                     G.EndLine};
    auto NotAfter = [](TCharPos A, TCharPos B) { return A.LineNum < B.LineNum || (A.LineNum == B.LineNum && A.Index <= B.Index); };
    if (NotAfter(S, At) && NotAfter(At, E)) {
      Start = S;
      After = E;
    }
  }
  auto Points = CollectSyncEditPoints(Doc.View(), Start, After, btNonInclusive, SyncEditLanguageOf(Doc.Buffer()));
  if (!Points) return "null";
  for (const TSyncEditPoint& P : Points->Points) {
    bool Here = false;
    for (const TSyncEditOccurrence& O : P.Occurrences)
      Here = Here || (O.Start.LineNum == At.LineNum && O.Start.Index <= At.Index && At.Index <= O.End.Index);
    if (!Here) continue;
    json Ranges = json::array();
    for (const TSyncEditOccurrence& O : P.Occurrences) {
      const TLspPos S = Doc.FromCharPos(O.Start, Encoding), E = Doc.FromCharPos(O.End, Encoding);
      Ranges.push_back({{"start", {{"line", S.Line}, {"character", S.Character}}},
                        {"end", {{"line", E.Line}, {"character", E.Character}}}});
    }
    return json{{"ranges", Ranges}}.dump(-1, ' ', false, json::error_handler_t::replace);
  }
  return "null";
}

std::string WorkspaceSymbols(const std::vector<std::string>& Files, const std::string& Query, TLspDocuments& Docs,
                             TPosEncoding Encoding) {
  constexpr size_t MaxSymbols = 5000;
  auto Lower = [](std::string S) {
    for (char& C : S) C = AsciiLower(C);
    return S;
  };
  const std::string Wanted = Lower(Query);
  json Out = json::array();
  for (const std::string& File : Files) {
    std::string Text;
    bool Open = false;
    for (const auto& [Uri, Doc] : Docs.All())
      if (Doc->FileName() == File) {
        Text = Doc->Text();
        Open = true;
      }
    if (!Open) {
      try {
        Text = FileSystem().ReadFile(File);
      } catch (const std::exception&) {
        continue;
      }
    }
    const TLines Lines(std::move(Text));
    const TRegionResult R = ParseRegions(File, Lines.Text());
    const std::string Uri = UriOfFileName(File);
    std::vector<const TRegion*> Holders;
    for (const TRegion& G : R.Regions) {
      const int Kind = SymbolKind(G);
      if (Kind == 0) continue;
      while (!Holders.empty() && !Contains(*Holders.back(), G)) Holders.pop_back();
      const std::string Name = G.Description.empty() ? G.Kind : G.Description;
      const std::string Container = Holders.empty() ? std::string() : Holders.back()->Description;
      Holders.push_back(&G);
      // A unit's sections hold the symbols; they are none themselves.
      if (Kind == skModule) continue;
      if (!Wanted.empty() && Lower(Name).find(Wanted) == std::string::npos) continue;
      json Symbol = {{"name", Name}, {"kind", Kind}, {"location", {{"uri", Uri}, {"range", RegionRange(Lines, G, Encoding)}}}};
      if (!Container.empty()) Symbol["containerName"] = Container;
      Out.push_back(std::move(Symbol));
      if (Out.size() >= MaxSymbols) return Out.dump(-1, ' ', false, json::error_handler_t::replace);
    }
  }
  return Out.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string FormatProjectFile(TLspDocument& Doc, TPosEncoding Encoding) {
  static constexpr std::string_view Extensions[] = {".groupproj", ".vproj", ".kzproj"};
  const std::string Ext = ExtractFileExt(Doc.FileName());
  if (std::find(std::begin(Extensions), std::end(Extensions), Ext) == std::end(Extensions)) return "[]";
  const std::string Text = Doc.Text();
  std::shared_ptr<IMSProjectFile> Project = MSBuildCreateProjectFromXml(Doc.FileName(), Text);
  auto* Access = dynamic_cast<IProjectNodeAccess*>(Project.get());
  if (!Access) return "[]";
  std::string Formatted;
  TXmlWriter Writer(Formatted, xeUTF8, false);
  Writer.Write(*Access->GetProjectNode());
  Writer.Flush();
  // The kernel hands lines out with "\n"; the edit compares and replaces in the same terms.
  std::string Plain;
  Plain.reserve(Formatted.size());
  for (size_t I = 0; I < Formatted.size(); ++I)
    if (Formatted[I] != '\r' || I + 1 >= Formatted.size() || Formatted[I + 1] != '\n') Plain += Formatted[I];
  if (Plain == Text) return "[]";
  const TLines Lines(Text);
  const int32_t Last = Lines.Count();
  const json Edit = {{"range", {{"start", {{"line", 0}, {"character", 0}}},
                                {"end", Position(Lines, Last, Lines.Line(Last).size(), Encoding)}}},
                     {"newText", Plain}};
  return json::array({Edit}).dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace nxs::lsp
