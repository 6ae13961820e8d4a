#include "editor/regions.h"

#include <algorithm>
#include <cctype>

#include "editor/resstrings.h"
#include "shared/format.h"

namespace nxs {

namespace {

struct TPos {
  int32_t Line = 1, Index = 0;
  bool operator<(const TPos& O) const { return Line != O.Line ? Line < O.Line : Index < O.Index; }
};

std::string Lower(std::string_view S) {
  std::string Out(S);
  for (char& C : Out) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Out;
}

std::string Trim(std::string_view S) {
  size_t B = S.find_first_not_of(" \t\r");
  if (B == std::string_view::npos) return {};
  size_t E = S.find_last_not_of(" \t\r");
  return std::string(S.substr(B, E - B + 1));
}

// Walks the text keeping its line and index; every scanner below reads through it.
class TCursor {
 public:
  explicit TCursor(std::string_view T) : FText(T) {}
  bool AtEnd() const { return FI >= FText.size(); }
  char Peek(size_t Ahead = 0) const { return FI + Ahead < FText.size() ? FText[FI + Ahead] : '\0'; }
  void Next() {
    if (FText[FI] == '\n') {
      ++FPos.Line;
      FPos.Index = 0;
    } else {
      ++FPos.Index;
    }
    ++FI;
  }
  void Skip(size_t N) {
    for (size_t K = 0; K < N && !AtEnd(); ++K) Next();
  }
  TPos Pos() const { return FPos; }
  size_t Offset() const { return FI; }
  bool StartsWith(std::string_view S) const { return FText.substr(FI, S.size()) == S; }
  // The text of the line around the cursor.
  std::string_view LineText() const {
    size_t B = FText.rfind('\n', FI == 0 ? 0 : FI - 1);
    B = (B == std::string_view::npos || FI == 0) ? 0 : B + 1;
    if (FI > 0 && FText[FI - 1] == '\n') B = FI;
    size_t E = FText.find('\n', FI);
    return FText.substr(B, (E == std::string_view::npos ? FText.size() : E) - B);
  }
  std::string_view Text() const { return FText; }

 private:
  std::string_view FText;
  size_t FI = 0;
  TPos FPos;
};

struct TOpen {
  TPos Start;
  std::string Kind, Desc;
  bool Routine = false;   // a routine waiting for its body
  bool HasBody = false;
};

// Collects regions and drops those that would cross another, then numbers the levels.
class TRegionSink {
 public:
  void Add(TPos Start, TPos End, std::string Kind, std::string Desc) {
    if (!(Start < End) || Start.Line == End.Line) return;  // only what spans lines folds
    TRegion R;
    R.StartLine = Start.Line;
    R.StartIndex = Start.Index;
    R.EndLine = End.Line;
    R.EndIndex = End.Index;
    R.Type = RegionTypeOfKind(Kind);
    R.Kind = std::move(Kind);
    R.Description = std::move(Desc);
    FRegions.push_back(std::move(R));
  }
  std::vector<TRegion> Finish() {
    auto StartOf = [](const TRegion& R) { return TPos{R.StartLine, R.StartIndex}; };
    auto EndOf = [](const TRegion& R) { return TPos{R.EndLine, R.EndIndex}; };
    std::stable_sort(FRegions.begin(), FRegions.end(), [&](const TRegion& A, const TRegion& B) {
      if (StartOf(A) < StartOf(B) || StartOf(B) < StartOf(A)) return StartOf(A) < StartOf(B);
      return EndOf(B) < EndOf(A);
    });
    std::vector<TRegion> Out;
    std::vector<TPos> Ends;
    for (TRegion& R : FRegions) {
      while (!Ends.empty() && Ends.back() < StartOf(R)) Ends.pop_back();
      if (!Ends.empty() && Ends.back() < EndOf(R)) continue;  // crosses the enclosing region
      R.Level = static_cast<int>(Ends.size());
      Ends.push_back(EndOf(R));
      Out.push_back(std::move(R));
    }
    return Out;
  }

 private:
  std::vector<TRegion> FRegions;
};

// Asks ShouldStop every 64 Ki characters: often enough to give up within a millisecond or
// so, seldom enough to cost nothing.
bool TimeToStop(size_t& Polled, const std::function<bool()>& ShouldStop) {
  return ++Polled % 65536 == 0 && ShouldStop && ShouldStop();
}

std::string FirstLine(std::string_view S) { return Trim(S.substr(0, S.find('\n'))); }

bool IsIdentStart(char C) { return std::isalpha(static_cast<unsigned char>(C)) || C == '_'; }
bool IsIdentChar(char C) { return std::isalnum(static_cast<unsigned char>(C)) || C == '_'; }

// --- Pascal ---

struct TToken {
  std::string Word;  // lower case; empty for a symbol
  char Symbol = 0;
  TPos Start, End;
  size_t Offset = 0;  // of its first byte in the text
};

class TPascalRegionParser : public IRegionParser {
 public:
  TRegionResult Parse(std::string_view Text, const std::function<bool()>& ShouldStop) const override {
    TRegionResult Result;
    TRegionSink Sink;
    std::vector<TToken> Tokens;
    std::vector<TOpen> Directives;
    TCursor C(Text);
    auto Error = [&](TPos P, std::string Msg) { Result.Errors.push_back({P.Line, P.Index + 1, std::move(Msg)}); };
    size_t Polled = 0;
    while (!C.AtEnd()) {
      if (TimeToStop(Polled, ShouldStop)) {
        Result.Canceled = true;
        return Result;
      }
      char Ch = C.Peek();
      TPos Start = C.Pos();
      if (Ch == '{' || (Ch == '(' && C.Peek(1) == '*')) {
        bool Paren = Ch == '(';
        size_t From = C.Offset();
        C.Skip(Paren ? 2 : 1);
        while (!C.AtEnd() && !(Paren ? C.StartsWith("*)") : C.Peek() == '}')) C.Next();
        if (C.AtEnd()) {
          Error(Start, res::SUnterminatedComment);
          break;
        }
        C.Skip(Paren ? 2 : 1);
        std::string_view Body = Text.substr(From + (Paren ? 2 : 1), C.Offset() - From - (Paren ? 4 : 2));
        if (!Paren && !Body.empty() && Body[0] == '$')
          Directive(Body.substr(1), Start, C.Pos(), Directives, Sink, Error);
        else
          Sink.Add(Start, C.Pos(), "comment", FirstLine(C.Text().substr(From, std::min<size_t>(40, Body.size() + 2))));
        continue;
      }
      if (Ch == '/' && C.Peek(1) == '/') {
        while (!C.AtEnd() && C.Peek() != '\n') C.Next();
        continue;
      }
      if (Ch == '\'') {
        size_t From = C.Offset();
        C.Next();
        while (!C.AtEnd() && C.Peek() != '\'' && C.Peek() != '\n') C.Next();
        if (C.Peek() != '\'') Error(Start, res::SUnterminatedString);
        else C.Next();
        Tokens.push_back({"", '\'', Start, C.Pos(), From});
        continue;
      }
      if (IsIdentStart(Ch)) {
        size_t From = C.Offset();
        while (!C.AtEnd() && IsIdentChar(C.Peek())) C.Next();
        Tokens.push_back({Lower(Text.substr(From, C.Offset() - From)), 0, Start, C.Pos(), From});
        continue;
      }
      if (std::isdigit(static_cast<unsigned char>(Ch)) || Ch == '$' || Ch == '#') {
        // Numbers and character codes never open or close anything.
        C.Next();
        while (!C.AtEnd() && IsIdentChar(C.Peek())) C.Next();
        continue;
      }
      if (Ch == ';' || Ch == '=' || Ch == ':' || Ch == '.' || Ch == '(' || Ch == ')') {
        size_t From = C.Offset();
        C.Next();
        Tokens.push_back({"", Ch, Start, C.Pos(), From});
        continue;
      }
      C.Next();
    }
    for (const TOpen& O : Directives) Error(O.Start, Format(res::SUnclosedBlock, O.Kind));
    Blocks(Text, Tokens, Sink, Error);
    Result.Regions = Sink.Finish();
    return Result;
  }

 private:
  template <class TError>
  static void Directive(std::string_view Body, TPos Start, TPos End, std::vector<TOpen>& Open, TRegionSink& Sink,
                        TError& Error) {
    size_t N = 0;
    while (N < Body.size() && IsIdentChar(Body[N])) ++N;
    std::string Name = Lower(Body.substr(0, N));
    std::string Rest = Trim(Body.substr(N));
    if (Name == "region") {
      if (Rest.size() >= 2 && Rest.front() == '\'' && Rest.back() == '\'') Rest = Rest.substr(1, Rest.size() - 2);
      Open.push_back({Start, "region", Rest});
    } else if (Name == "ifdef" || Name == "ifndef" || Name == "if" || Name == "ifopt") {
      Open.push_back({Start, "ifdef", "{$" + std::string(Trim(Body)) + "}"});
    } else if (Name == "endregion" || Name == "endif" || Name == "ifend") {
      std::string Want = Name == "endregion" ? "region" : "ifdef";
      if (Open.empty() || Open.back().Kind != Want) {
        Error(Start, Format(res::SUnmatchedDirective, "{$" + Name + "}"));
        return;
      }
      Sink.Add(Open.back().Start, End, Open.back().Kind, Open.back().Desc);
      Open.pop_back();
    }
  }

  template <class TError>
  static void Blocks(std::string_view Text, const std::vector<TToken>& T, TRegionSink& Sink, TError& Error) {
    std::vector<TOpen> Open;
    bool InImplementation = true;  // programs and libraries have no interface part
    bool InAsm = false;
    TPos Section{};
    std::string SectionKind;
    auto Prev = [&](size_t I) -> const TToken* { return I > 0 ? &T[I - 1] : nullptr; };
    auto NextTok = [&](size_t I) -> const TToken* { return I + 1 < T.size() ? &T[I + 1] : nullptr; };
    for (size_t I = 0; I < T.size(); ++I) {
      const TToken& K = T[I];
      const std::string& W = K.Word;
      if (InAsm) {
        if (W != "end") continue;
        InAsm = false;
      }
      if (W.empty()) continue;
      const TToken* P = Prev(I);
      const TToken* N = NextTok(I);
      bool AfterEquals = P && (P->Symbol == '=' || P->Word == "packed");
      if (W == "unit" || W == "library" || W == "program") {
        InImplementation = W != "unit";
      } else if ((W == "interface" && !AfterEquals) || W == "implementation" || W == "initialization" ||
                 W == "finalization") {
        if (!SectionKind.empty() && P) Sink.Add(Section, P->End, SectionKind, SectionKind);
        Section = K.Start;
        SectionKind = W;
        InImplementation = W != "interface";
      } else if (W == "procedure" || W == "function" || W == "constructor" || W == "destructor" ||
                 (W == "operator" && P && P->Symbol == ';')) {
        bool InType = !Open.empty() && !Open.back().Routine;
        bool Method = P && P->Word == "class";
        bool Type = P && (P->Symbol == '=' || P->Symbol == ':' || P->Word == "reference" || P->Word == "to");
        if (InImplementation && !InType && !Type) {
          TOpen O{Method ? P->Start : K.Start, "routine", HeaderText(Text, K), true};
          Open.push_back(std::move(O));
        }
      } else if ((W == "forward" || W == "external") && !Open.empty() && Open.back().Routine && !Open.back().HasBody) {
        Open.pop_back();
      } else if (W == "begin" || W == "asm") {
        if (!Open.empty() && Open.back().Routine && !Open.back().HasBody) {
          Open.back().HasBody = true;
        } else {
          Open.push_back({K.Start, W, W});
        }
        InAsm = W == "asm";
      } else if (W == "try" || (W == "case" && (Open.empty() || Open.back().Kind != "record"))) {
        Open.push_back({K.Start, W, W});
      } else if (W == "record" || ((W == "class" || W == "object" || W == "interface" || W == "dispinterface") &&
                                   AfterEquals && N && N->Symbol != ';' && N->Word != "of")) {
        // Described by the declaration: "TFoo = class(TObject)".
        size_t Name = P && P->Word == "packed" ? 3 : 2;
        bool Named = AfterEquals && I >= Name && !T[I - Name].Word.empty();
        Open.push_back({K.Start, W == "record" ? "record" : "class", Named ? HeaderText(Text, T[I - Name]) : W});
      } else if (W == "end") {
        if (Open.empty()) {
          if (!(N && N->Symbol == '.')) Error(K.Start, res::SUnmatchedEnd);
          continue;
        }
        TOpen O = std::move(Open.back());
        Open.pop_back();
        Sink.Add(O.Start, K.End, O.Kind, O.Desc);
      }
    }
    if (!SectionKind.empty()) {
      TPos End{};
      if (!T.empty()) End = T.back().End;
      Sink.Add(Section, End, SectionKind, SectionKind);
    }
    for (const TOpen& O : Open)
      if (!O.Routine || O.HasBody) Error(O.Start, Format(res::SUnclosedBlock, O.Kind));
  }

  // The rest of the line from the token: "procedure TForm1.Button1Click(Sender: TObject);".
  static std::string HeaderText(std::string_view Text, const TToken& K) {
    size_t E = Text.find('\n', K.Offset);
    return Trim(Text.substr(K.Offset, std::min<size_t>((E == std::string_view::npos ? Text.size() : E) - K.Offset, 120)));
  }
};

// --- C and C++ ---

class TCppRegionParser : public IRegionParser {
 public:
  TRegionResult Parse(std::string_view Text, const std::function<bool()>& ShouldStop) const override {
    TRegionResult Result;
    TRegionSink Sink;
    std::vector<TOpen> Braces, Directives;
    TCursor C(Text);
    auto Error = [&](TPos P, std::string Msg) { Result.Errors.push_back({P.Line, P.Index + 1, std::move(Msg)}); };
    bool LineStart = true;
    TPos IncludeFirst{}, IncludeLast{};
    int Includes = 0;
    auto EndIncludes = [&] {
      if (Includes >= 2) Sink.Add(IncludeFirst, IncludeLast, "includes", "#include ...");
      Includes = 0;
    };
    size_t StatementStart = 0;  // where the text before the next "{" begins
    size_t Polled = 0;
    while (!C.AtEnd()) {
      if (TimeToStop(Polled, ShouldStop)) {
        Result.Canceled = true;
        return Result;
      }
      char Ch = C.Peek();
      TPos Start = C.Pos();
      if (Ch == '\n') {
        LineStart = true;
        C.Next();
        continue;
      }
      if (Ch == ' ' || Ch == '\t' || Ch == '\r') {
        C.Next();
        continue;
      }
      if (LineStart && Ch == '#') {
        size_t From = C.Offset();
        // A directive runs to the end of the line, continued by a backslash.
        while (!C.AtEnd() && C.Peek() != '\n') {
          if (C.Peek() == '\\' && C.Peek(1) == '\n') C.Next();
          C.Next();
        }
        std::string Line = Trim(Text.substr(From + 1, C.Offset() - From - 1));
        size_t N = 0;
        while (N < Line.size() && (Line[N] == ' ' || Line[N] == '\t')) ++N;
        size_t W = N;
        while (W < Line.size() && IsIdentChar(Line[W])) ++W;
        std::string Name = Line.substr(N, W - N);
        std::string Rest = Trim(std::string_view(Line).substr(W));
        if (Name == "include") {
          if (Includes == 0) IncludeFirst = Start;
          IncludeLast = C.Pos();
          ++Includes;
        } else {
          EndIncludes();
        }
        if (Name == "if" || Name == "ifdef" || Name == "ifndef") {
          Directives.push_back({Start, "if", "#" + Name + " " + Rest});
        } else if (Name == "pragma" && Rest.rfind("region", 0) == 0) {
          Directives.push_back({Start, "region", Trim(std::string_view(Rest).substr(6))});
        } else if (Name == "endif" || (Name == "pragma" && Rest.rfind("endregion", 0) == 0)) {
          std::string Want = Name == "endif" ? "if" : "region";
          if (Directives.empty() || Directives.back().Kind != Want)
            Error(Start, Format(res::SUnmatchedDirective, "#" + Name));
          else {
            Sink.Add(Directives.back().Start, C.Pos(), Want, Directives.back().Desc);
            Directives.pop_back();
          }
        }
        StatementStart = C.Offset();
        continue;
      }
      if (Includes > 0 && Ch != '/') EndIncludes();
      LineStart = false;
      if (Ch == '/' && C.Peek(1) == '/') {
        while (!C.AtEnd() && C.Peek() != '\n') C.Next();
        continue;
      }
      if (Ch == '/' && C.Peek(1) == '*') {
        C.Skip(2);
        while (!C.AtEnd() && !C.StartsWith("*/")) C.Next();
        if (C.AtEnd()) {
          Error(Start, res::SUnterminatedComment);
          break;
        }
        C.Skip(2);
        Sink.Add(Start, C.Pos(), "comment", "/* ... */");
        continue;
      }
      if (Ch == '"' || Ch == '\'') {
        if (Ch == '"' && RawString(C)) continue;
        C.Next();
        while (!C.AtEnd() && C.Peek() != Ch && C.Peek() != '\n') {
          if (C.Peek() == '\\') C.Next();
          if (!C.AtEnd()) C.Next();
        }
        if (C.Peek() != Ch) Error(Start, res::SUnterminatedString);
        else C.Next();
        continue;
      }
      if (Ch == '{') {
        std::string Head(Text.substr(StatementStart, C.Offset() - StatementStart));
        std::replace(Head.begin(), Head.end(), '\n', ' ');
        Head = Trim(Head);
        Braces.push_back({Start, BraceKind(Head), Head.size() > 120 ? Head.substr(0, 120) : Head});
        C.Next();
        StatementStart = C.Offset();
        continue;
      }
      if (Ch == '}') {
        if (Braces.empty()) {
          Error(Start, res::SUnmatchedBrace);
        } else {
          Sink.Add(Braces.back().Start, TPos{Start.Line, Start.Index + 1}, Braces.back().Kind, Braces.back().Desc);
          Braces.pop_back();
        }
        C.Next();
        StatementStart = C.Offset();
        continue;
      }
      if (Ch == ';') StatementStart = C.Offset() + 1;
      C.Next();
    }
    EndIncludes();
    for (const TOpen& O : Braces) Error(O.Start, Format(res::SUnclosedBlock, "{"));
    for (const TOpen& O : Directives) Error(O.Start, Format(res::SUnclosedBlock, "#" + O.Kind));
    Result.Regions = Sink.Finish();
    return Result;
  }

 private:
  // R"delim( ... )delim": skipped whole, across lines.
  static bool RawString(TCursor& C) {
    size_t Off = C.Offset();
    if (Off == 0 || C.Text()[Off - 1] != 'R') return false;
    size_t Open = C.Text().find('(', Off);
    if (Open == std::string_view::npos || Open - Off > 17) return false;
    std::string Close = ")" + std::string(C.Text().substr(Off + 1, Open - Off - 1)) + "\"";
    size_t End = C.Text().find(Close, Open);
    C.Skip((End == std::string_view::npos ? C.Text().size() : End + Close.size()) - Off);
    return true;
  }

  static std::string BraceKind(const std::string& Head) {
    auto HasWord = [&](std::string_view W) {
      for (size_t P = Head.find(W); P != std::string::npos; P = Head.find(W, P + 1)) {
        bool Before = P == 0 || !IsIdentChar(Head[P - 1]);
        bool After = P + W.size() >= Head.size() || !IsIdentChar(Head[P + W.size()]);
        if (Before && After) return true;
      }
      return false;
    };
    if (HasWord("namespace")) return "namespace";
    if (Head.find('(') == std::string::npos &&
        (HasWord("class") || HasWord("struct") || HasWord("union") || HasWord("enum")))
      return "class";
    if (!Head.empty() && Head.find('(') != std::string::npos && !HasWord("if") && !HasWord("for") &&
        !HasWord("while") && !HasWord("switch") && !HasWord("catch") && Head.back() != '=' && Head.back() != ',')
      return "function";
    return "block";
  }
};

}  // namespace

uint16_t RegionTypeOfKind(std::string_view Kind) {
  static constexpr std::string_view Kinds[] = {"comment", "region",  "routine", "function",  "class",
                                               "record",  "namespace", "ifdef", "if",        "includes",
                                               "interface", "implementation", "initialization", "finalization",
                                               "begin",   "try",     "case",    "asm",       "block"};
  for (size_t I = 0; I < std::size(Kinds); ++I)
    if (Kinds[I] == Kind) return static_cast<uint16_t>(I + 1);
  return 0;
}

std::unique_ptr<IRegionParser> MakePascalRegionParser() { return std::make_unique<TPascalRegionParser>(); }
std::unique_ptr<IRegionParser> MakeCppRegionParser() { return std::make_unique<TCppRegionParser>(); }

namespace {

// A personality's region services: its name, the extensions of its source files and its
// parser (one instance serves every file; parsing keeps no state in it).
class TRegionServices : public IRegionServices {
 public:
  TRegionServices(std::string Personality, std::vector<std::string_view> Extensions,
                  std::shared_ptr<IRegionParser> Parser)
      : FPersonality(std::move(Personality)), FExtensions(std::move(Extensions)), FParser(std::move(Parser)) {}
  std::string Personality() const override { return FPersonality; }
  bool HandlesFile(std::string_view FileName) const override {
    const size_t Slash = FileName.rfind('/');
    const std::string_view Name = Slash == std::string_view::npos ? FileName : FileName.substr(Slash + 1);
    const size_t Dot = Name.rfind('.');
    if (Dot == std::string_view::npos) return false;
    const std::string Ext = Lower(Name.substr(Dot + 1));
    return std::find(FExtensions.begin(), FExtensions.end(), Ext) != FExtensions.end();
  }
  std::shared_ptr<IRegionParser> RegionParser() const override { return FParser; }

 private:
  std::string FPersonality;
  std::vector<std::string_view> FExtensions;
  std::shared_ptr<IRegionParser> FParser;
};

}  // namespace

std::shared_ptr<IRegionServices> MakePascalRegionServices() {
  return std::make_shared<TRegionServices>("Vellum.Personality",
                                           std::vector<std::string_view>{"pas", "pp", "vpr", "lpr", "inc", "vpk"},
                                           MakePascalRegionParser());
}

std::shared_ptr<IRegionServices> MakeCppRegionServices() {
  return std::make_shared<TRegionServices>(
      "Kestrel.Personality",
      std::vector<std::string_view>{"c", "cc", "cpp", "cxx", "h", "hh", "hpp", "hxx", "tcc", "ipp"},
      MakeCppRegionParser());
}

}  // namespace nxs
