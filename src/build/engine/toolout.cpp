// Reading compiler and linker output as diagnostics. The gcc family prints the context of an
// error before it ("In file included from", "In function", "required from"): those lines are
// held until the error comes and then nest under it, as do the notes that follow it. Hints
// and notes travel as messages and keep the tool's own word ("note:", "Hint:") before their
// text, since nothing else tells them from plain output.
#include <atomic>
#include <cctype>
#include <string>
#include <string_view>

#include "build/engine/tasks.h"
#include "shared/filenames.h"

namespace nxs::engine {

int NextMessageId() {
  static std::atomic<int> Last{0};
  int Id = ++Last;
  while (Id <= 0) {  // after wrapping round: ids stay positive
    int Expected = Id;
    Last.compare_exchange_strong(Expected, 1);
    Id = ++Last;
  }
  return Id;
}

namespace {

// Colour escapes ("ESC [ ... m") that a tool may print although asked not to.
std::string StripEscapes(std::string_view Line) {
  std::string Out;
  Out.reserve(Line.size());
  for (size_t I = 0; I < Line.size(); ++I) {
    if (Line[I] == '\x1b' && I + 1 < Line.size() && Line[I + 1] == '[') {
      I += 2;
      while (I < Line.size() && !std::isalpha(static_cast<unsigned char>(Line[I]))) ++I;
      continue;
    }
    Out += Line[I];
  }
  return Out;
}

bool ParseNumber(std::string_view S, int& Value) {
  if (S.empty() || S.size() > 9) return false;
  Value = 0;
  for (char C : S) {
    if (C < '0' || C > '9') return false;
    Value = Value * 10 + (C - '0');
  }
  return true;
}

// "file:line:col", "file:line" or "file": the location before a gcc diagnostic. A file name
// may hold blanks and colons; the numbers are taken from the right.
struct TLocation {
  std::string File;
  int Line = 0;
  int Column = 0;
};
TLocation SplitLocation(std::string_view Prefix) {
  TLocation L;
  int N;
  size_t Colon = Prefix.rfind(':');
  if (Colon != std::string_view::npos && ParseNumber(Prefix.substr(Colon + 1), N)) {
    std::string_view Rest = Prefix.substr(0, Colon);
    size_t Colon2 = Rest.rfind(':');
    int M;
    if (Colon2 != std::string_view::npos && ParseNumber(Rest.substr(Colon2 + 1), M)) {
      L.File = Rest.substr(0, Colon2);
      L.Line = M;
      L.Column = N;
    } else {
      L.File = Rest;
      L.Line = N;
    }
    return L;
  }
  L.File = Prefix;
  return L;
}

bool IsSourceEcho(std::string_view Line) {
  // "    3 |   int x = ;" and "      |           ^": the source line gcc quotes.
  size_t I = 0;
  while (I < Line.size() && Line[I] == ' ') ++I;
  while (I < Line.size() && std::isdigit(static_cast<unsigned char>(Line[I]))) ++I;
  return I + 1 < Line.size() && Line[I] == ' ' && Line[I + 1] == '|';
}

std::string_view TrimRightOf(std::string_view S, std::string_view Chars) {
  while (!S.empty() && Chars.find(S.back()) != std::string_view::npos) S.remove_suffix(1);
  return S;
}

// The linker's name before its messages: "/usr/bin/ld: ", "ld: ", "ld.gold: ".
bool StripLinkerPrefix(std::string_view& Line) {
  size_t Colon = Line.find(": ");
  if (Colon == std::string_view::npos) return false;
  std::string_view Tool = Line.substr(0, Colon);
  std::string_view Base = Tool.substr(Tool.rfind('/') == std::string_view::npos ? 0 : Tool.rfind('/') + 1);
  if (Base != "ld" && Base.substr(0, 3) != "ld.") return false;
  Line.remove_prefix(Colon + 2);
  return true;
}

}  // namespace

TToolOutputParser::TToolOutputParser(TStyle Style, std::string Sender, std::string BaseDirectory)
    : FStyle(Style), FSender(std::move(Sender)), FBase(std::move(BaseDirectory)) {}

void TToolOutputParser::Flush(std::vector<TBuildEvent>& Events) {
  for (auto& E : FPending) Events.push_back(std::move(E));
  FPending.clear();
}

bool TToolOutputParser::Parse(const std::string& RawLine, std::vector<TBuildEvent>& Events) {
  const std::string Line = StripEscapes(RawLine);
  TBuildEvent E;
  E.Importance = imHigh;
  E.Sender = FSender;
  auto FileName = [&](std::string_view F) -> std::string {
    if (F.empty() || F.front() == '<') return std::string(F);  // "<command-line>"
    return ExpandFileName(F, FBase);
  };
  // A diagnostic of its own: nests what was held under it and becomes the parent of what
  // follows. A note nests under the last error or warning, with what was held.
  auto Emit = [&](bool IsParent) {
    E.Id = NextMessageId();
    int Parent = IsParent ? E.Id : FLastErrorId;
    if (!IsParent) E.ParentId = FLastErrorId;
    else FLastErrorId = E.Id;
    Events.push_back(E);
    for (auto& P : FPending) {
      P.ParentId = Parent;
      Events.push_back(std::move(P));
    }
    FPending.clear();
    return true;
  };
  auto Hold = [&](std::string_view Text, const TLocation& L) {
    E.Kind = ekMessage;
    E.Text = Text;
    E.File = FileName(L.File);
    E.Line = L.Line;
    E.Column = L.Column;
    E.Id = NextMessageId();
    FPending.push_back(E);
    return true;
  };

  if (FStyle == tsFpc) {
    // "file(line,col) Kind: (code) text", "file(line) Kind: text" or "Kind: text".
    std::string_view S = Line;
    static const struct {
      std::string_view Word;
      TEventKind Kind;
    } Kinds[] = {{"Error: ", ekError}, {"Fatal: ", ekError}, {"Warning: ", ekWarning},
                 {"Note: ", ekMessage}, {"Hint: ", ekMessage}};
    auto KindAt = [&](std::string_view Rest) -> const auto* {
      for (const auto& K : Kinds)
        if (Rest.substr(0, K.Word.size()) == K.Word) return &K;
      return static_cast<decltype(&Kinds[0])>(nullptr);
    };
    std::string_view Rest = S;
    const auto* K = KindAt(Rest);
    if (!K) {
      size_t Close = S.find(") ");
      size_t Open = Close == std::string_view::npos ? Close : S.rfind('(', Close);
      if (Open == std::string_view::npos || Open == 0) return false;
      std::string_view Pos = S.substr(Open + 1, Close - Open - 1);
      size_t Comma = Pos.find(',');
      int L = 0, C = 0;
      if (!ParseNumber(Pos.substr(0, Comma), L) ||
          (Comma != std::string_view::npos && !ParseNumber(Pos.substr(Comma + 1), C)))
        return false;
      Rest = S.substr(Close + 2);
      K = KindAt(Rest);
      if (!K) return false;
      E.File = FileName(S.substr(0, Open));
      E.Line = L;
      E.Column = C;
    }
    std::string_view Text = Rest.substr(K->Word.size());
    if (Text.size() > 2 && Text.front() == '(') {
      size_t End = Text.find(") ");
      int Code;
      if (End != std::string_view::npos && ParseNumber(Text.substr(1, End - 1), Code)) {
        E.Code = Text.substr(1, End - 1);
        Text.remove_prefix(End + 2);
      }
    }
    E.Kind = K->Kind;
    E.Text = K->Kind == ekMessage ? std::string(K->Word) + std::string(Text) : std::string(Text);
    E.Id = NextMessageId();
    Events.push_back(E);
    return true;
  }

  if (Line.empty() || IsSourceEcho(Line)) return false;
  std::string_view S = Line;

  // "In file included from a.h:3," and its "                 from b.cpp:1:" continuations.
  std::string_view Trimmed = S.substr(S.find_first_not_of(' ') == std::string_view::npos ? 0 : S.find_first_not_of(' '));
  for (std::string_view Lead : {std::string_view("In file included from "), std::string_view("from ")}) {
    if (Trimmed.substr(0, Lead.size()) != Lead) continue;
    if (Lead == "from " && (FPending.empty() || S.front() != ' ')) break;
    std::string_view Where = TrimRightOf(Trimmed.substr(Lead.size()), ":,");
    return Hold(TrimRightOf(Trimmed, ":,"), SplitLocation(Where));
  }

  // The linker: "in function" context, unresolved and duplicate symbols, missing libraries.
  std::string_view Linker = S;
  bool FromLinker = StripLinkerPrefix(Linker);
  for (std::string_view Marker : {std::string_view("undefined reference to "), std::string_view("multiple definition of "),
                                  std::string_view("first defined here")}) {
    size_t At = Linker.find(Marker);
    if (At == std::string_view::npos) continue;
    std::string_view Where = Linker.substr(0, At);
    size_t Section = Where.find(":(");
    TLocation L = SplitLocation(TrimRightOf(Section == std::string_view::npos ? Where : Where.substr(0, Section), ": "));
    E.File = FileName(L.File);
    E.Line = L.Line;
    E.Column = L.Column;
    bool IsNote = Marker == "first defined here";
    E.Kind = IsNote ? ekMessage : ekError;
    E.Text = IsNote ? "note: " + std::string(Linker.substr(At)) : std::string(Linker.substr(At));
    return Emit(!IsNote);
  }
  if (FromLinker) {
    if (Linker.size() > 2 && Linker.substr(Linker.size() - 2) == "':" && Linker.find(": in function ") != std::string_view::npos)
      return Hold(TrimRightOf(Linker, ":"), SplitLocation(Linker.substr(0, Linker.find(": in function "))));
    E.Kind = ekError;
    if (Linker.substr(0, 9) == "warning: ") {
      E.Kind = ekWarning;
      Linker.remove_prefix(9);
    }
    E.Text = Linker;
    return Emit(true);
  }

  // "location: kind: text".
  static const struct {
    std::string_view Word;
    TEventKind Kind;
    bool Parent;
  } Kinds[] = {{"error: ", ekError, true},
               {"fatal error: ", ekError, true},
               {"warning: ", ekWarning, true},
               {"note: ", ekMessage, false}};
  for (size_t At = S.find(": "); At != std::string_view::npos; At = S.find(": ", At + 1)) {
    std::string_view After = S.substr(At + 2);
    for (const auto& K : Kinds) {
      if (After.substr(0, K.Word.size()) != K.Word) continue;
      TLocation L = SplitLocation(S.substr(0, At));
      std::string Text(After.substr(K.Word.size()));
      if (L.Line == 0) {
        // "cc1plus: error: ...", "collect2: error: ld returned 1 exit status": the tool's name.
        Text = L.File + ": " + Text;
        L.File.clear();
      }
      E.Kind = K.Kind;
      E.File = FileName(L.File);
      E.Line = L.Line;
      E.Column = L.Column;
      E.Text = K.Parent ? Text : "note: " + Text;
      return Emit(K.Parent);
    }
  }
  // Context before an error: "a.cpp: In function 'int main()':", "a.cpp:2:14:   required
  // from here".
  if (size_t At = S.find(": In "); At != std::string_view::npos && S.back() == ':')
    return Hold(TrimRightOf(S, ":"), SplitLocation(S.substr(0, At)));
  if (size_t At = S.find(":   "); At != std::string_view::npos) {
    TLocation L = SplitLocation(S.substr(0, At));
    if (L.Line > 0) return Hold(S, L);
  }
  if (size_t At = S.find(": At global scope:"); At != std::string_view::npos)
    return Hold(TrimRightOf(S, ":"), SplitLocation(S.substr(0, At)));
  return false;
}

}  // namespace nxs::engine
