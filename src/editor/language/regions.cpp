#include "editor/language/regions.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "editor/buffers/resstrings.h"
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

// Reads the text by offset and keeps the line count and the offset where the line began, so
// that positions cost nothing until a token asks for one. Both parsers read through it.
class TScanner {
 public:
  explicit TScanner(std::string_view T) : FText(T) {}
  size_t Offset() const { return FI; }
  bool AtEnd() const { return FI >= FText.size(); }
  unsigned char Peek(size_t Ahead = 0) const {
    return FI + Ahead < FText.size() ? static_cast<unsigned char>(FText[FI + Ahead]) : 0;
  }
  TPos Pos() const { return {FLine, static_cast<int32_t>(FI - FLineStart)}; }
  // Moves to To, counting the line breaks passed.
  void MoveTo(size_t To) {
    To = std::min(To, FText.size());
    for (const char* P = FText.data() + FI, *E = FText.data() + To;
         (P = static_cast<const char*>(std::memchr(P, '\n', static_cast<size_t>(E - P)))) != nullptr; ++P) {
      ++FLine;
      FLineStart = static_cast<size_t>(P - FText.data()) + 1;
    }
    FI = To;
  }
  // Steps over bytes within a line (no line break among them).
  void SkipInLine(size_t N) { FI += N; }
  // Steps over bytes of which Skip holds every one; the offset reached.
  size_t SkipRun(const bool (&Skip)[256]) {
    while (FI < FText.size() && Skip[static_cast<unsigned char>(FText[FI])]) ++FI;
    return FI;
  }
  // The offset of the next "*/" or "*)" (Close) at or after From; the text's size when none.
  size_t FindPair(char Close, size_t From) const {
    for (size_t At = Find('*', From); At < FText.size(); At = Find('*', At + 1))
      if (At + 1 < FText.size() && FText[At + 1] == Close) return At;
    return FText.size();
  }
  // The offset of the next Ch at or after From; the text's size when none.
  size_t Find(char Ch, size_t From) const {
    const void* P = From < FText.size() ? std::memchr(FText.data() + From, Ch, FText.size() - From) : nullptr;
    return P ? static_cast<size_t>(static_cast<const char*>(P) - FText.data()) : FText.size();
  }

 private:
  std::string_view FText;
  size_t FI = 0;
  int32_t FLine = 1;
  size_t FLineStart = 0;
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
    // By start, the longer first; equal ones in the order they came. The keys are sorted
    // rather than the regions, which carry their texts along.
    struct TKey {
      TPos Start, End;
      size_t At;
    };
    std::vector<TKey> Keys;
    Keys.reserve(FRegions.size());
    for (size_t I = 0; I < FRegions.size(); ++I)
      Keys.push_back({StartOf(FRegions[I]), EndOf(FRegions[I]), I});
    std::sort(Keys.begin(), Keys.end(), [](const TKey& A, const TKey& B) {
      if (A.Start < B.Start || B.Start < A.Start) return A.Start < B.Start;
      if (A.End < B.End || B.End < A.End) return B.End < A.End;
      return A.At < B.At;
    });
    std::vector<TRegion> Out;
    std::vector<TPos> Ends;
    for (const TKey& K : Keys) {
      TRegion& R = FRegions[K.At];
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

// Asks ShouldStop once the scan has gone another 64 KiB: often enough to give up within a
// millisecond or so, seldom enough to cost nothing.
bool TimeToStop(size_t Offset, size_t& NextPoll, const std::function<bool()>& ShouldStop) {
  if (Offset < NextPoll) return false;
  NextPoll = Offset + 65536;
  return ShouldStop && ShouldStop();
}

std::string FirstLine(std::string_view S) { return Trim(S.substr(0, S.find('\n'))); }

// Character classes by byte, as the C locale's isalpha/isalnum see them.
struct TCharClasses {
  bool IdentStart[256] = {};
  bool IdentChar[256] = {};
  constexpr TCharClasses() {
    for (int C = 0; C < 256; ++C) {
      const bool Alpha = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z');
      IdentStart[C] = Alpha || C == '_';
      IdentChar[C] = Alpha || C == '_' || (C >= '0' && C <= '9');
    }
  }
};
constexpr TCharClasses CharClasses;

bool IsIdentChar(char C) { return CharClasses.IdentChar[static_cast<unsigned char>(C)]; }

// The C++ scanner's classes: Blank for spaces within a line, Plain for every byte that
// never starts a directive, comment, string, brace or statement end.
struct TCppClasses {
  bool Blank[256] = {};
  bool Plain[256] = {};
  constexpr TCppClasses() {
    for (int C = 0; C < 256; ++C) Plain[C] = true;
    for (unsigned char C : std::string_view("\n \t\r#/\"'{};")) Plain[C] = false;
    for (unsigned char C : std::string_view(" \t\r")) Blank[C] = true;
  }
};
constexpr TCppClasses CppClasses;

// --- Pascal ---

// The words that open, close or qualify a region; every other identifier is kwIdent.
enum TKeyword : uint8_t {
  kwNone,  // a symbol or a string, not a word
  kwIdent,
  kwAsm, kwBegin, kwCase, kwClass, kwConstructor, kwDestructor, kwDispinterface, kwEnd, kwExternal,
  kwFinalization, kwForward, kwFunction, kwGeneric, kwImplementation, kwInitialization, kwInterface, kwLibrary,
  kwObject, kwOf, kwOperator, kwPacked, kwProcedure, kwProgram, kwRecord, kwReference, kwTo, kwTry, kwUnit,
};

struct TKeywordName {
  std::string_view Name;
  TKeyword Word;
};

constexpr TKeywordName KeywordNames[] = {
    {"asm", kwAsm},
    {"begin", kwBegin},
    {"case", kwCase},
    {"class", kwClass},
    {"constructor", kwConstructor},
    {"destructor", kwDestructor},
    {"dispinterface", kwDispinterface},
    {"end", kwEnd},
    {"external", kwExternal},
    {"finalization", kwFinalization},
    {"forward", kwForward},
    {"function", kwFunction},
    {"generic", kwGeneric},
    {"implementation", kwImplementation},
    {"initialization", kwInitialization},
    {"interface", kwInterface},
    {"library", kwLibrary},
    {"object", kwObject},
    {"of", kwOf},
    {"operator", kwOperator},
    {"packed", kwPacked},
    {"procedure", kwProcedure},
    {"program", kwProgram},
    {"record", kwRecord},
    {"reference", kwReference},
    {"to", kwTo},
    {"try", kwTry},
    {"unit", kwUnit},
};
constexpr size_t LongestKeyword = 14;


// Case-insensitive; identifiers are ASCII here, so folding bit 0x20 of letters lowers them.
TKeyword KeywordOf(std::string_view Word) {
  if (Word.size() < 2 || Word.size() > LongestKeyword) return kwIdent;
  char Low[LongestKeyword];
  for (size_t I = 0; I < Word.size(); ++I) Low[I] = static_cast<char>(Word[I] | (Word[I] >= 'A' && Word[I] <= 'Z' ? 0x20 : 0));
  const std::string_view W(Low, Word.size());
  for (const TKeywordName& K : KeywordNames)
    if (K.Name.size() == W.size() && K.Name[0] == W[0] && K.Name[1] == W[1] && K.Name == W) return K.Word;
  return kwIdent;
}

// A word, a symbol or a string; none spans lines.
struct TToken {
  size_t Offset = 0;  // of its first byte in the text
  TPos Start;
  uint32_t Length = 0;
  TKeyword Word = kwNone;
  char Symbol = 0;
  TPos End() const { return {Start.Line, Start.Index + static_cast<int32_t>(Length)}; }
};

class TPascalRegionParser : public IRegionParser {
 public:
  TRegionResult Parse(std::string_view Text, const std::function<bool()>& ShouldStop) const override {
    TRegionResult Result;
    TRegionSink Sink;
    std::vector<TToken> Tokens;
    std::vector<TOpen> Directives;
    TScanner C(Text);
    auto Error = [&](TPos P, std::string Msg) { Result.Errors.push_back({P.Line, P.Index + 1, std::move(Msg)}); };
    auto Symbol = [&](char Ch, TPos Start, size_t From) {
      Tokens.push_back({From, Start, static_cast<uint32_t>(C.Offset() - From), kwNone, Ch});
    };
    // Room for the tokens of dense code from the start (the pages are only touched as used),
    // up to 4 Mi of them; a larger text grows the list as it goes.
    Tokens.reserve(std::min<size_t>(Text.size() / 8, size_t{1} << 22));
    size_t NextPoll = 0;
    while (!C.AtEnd()) {
      if (TimeToStop(C.Offset(), NextPoll, ShouldStop)) {
        Result.Canceled = true;
        return Result;
      }
      const unsigned char Ch = C.Peek();
      const size_t From = C.Offset();
      if (CharClasses.IdentStart[Ch]) {
        const TPos Start = C.Pos();
        size_t To = From + 1;
        while (To < Text.size() && CharClasses.IdentChar[static_cast<unsigned char>(Text[To])]) ++To;
        C.SkipInLine(To - From);
        Tokens.push_back({From, Start, static_cast<uint32_t>(To - From), KeywordOf(Text.substr(From, To - From)), 0});
        continue;
      }
      switch (Ch) {
        case ' ': case '\t': case '\r':
          C.SkipInLine(1);
          continue;
        case '\n':
          C.MoveTo(From + 1);
          continue;
        case '{':
        case '(': {
          const bool Paren = Ch == '(';
          if (Paren && C.Peek(1) != '*') {
            const TPos Start = C.Pos();
            C.SkipInLine(1);
            Symbol('(', Start, From);
            continue;
          }
          const TPos Start = C.Pos();
          // The body starts after the opener; "(*)" does not close itself.
          const size_t Close = Paren ? C.FindPair(')', From + 2) : C.Find('}', From + 1);
          if (Close >= Text.size()) {
            C.MoveTo(Text.size());
            Error(Start, res::SUnterminatedComment);
            break;
          }
          C.MoveTo(Close + (Paren ? 2 : 1));
          std::string_view Body = Text.substr(From + (Paren ? 2 : 1), C.Offset() - From - (Paren ? 4 : 2));
          const TPos End = C.Pos();
          if (!Paren && !Body.empty() && Body[0] == '$')
            Directive(Body.substr(1), Start, End, Directives, Sink, Error);
          else if (Start.Line != End.Line)  // a comment within one line folds nothing
            Sink.Add(Start, End, "comment", FirstLine(Text.substr(From, std::min<size_t>(40, Body.size() + 2))));
          continue;
        }
        case '/':
          if (C.Peek(1) == '/') {
            C.SkipInLine(C.Find('\n', From) - From);
            continue;
          }
          C.SkipInLine(1);
          continue;
        case '\'': {
          const TPos Start = C.Pos();
          // A string ends at its quote or, unterminated, at the line's end.
          size_t To = From + 1;
          while (To < Text.size() && Text[To] != '\'' && Text[To] != '\n') ++To;
          if (To < Text.size() && Text[To] == '\'') {
            C.SkipInLine(To + 1 - From);
          } else {
            C.SkipInLine(To - From);
            Error(Start, res::SUnterminatedString);
          }
          Symbol('\'', Start, From);
          continue;
        }
        case '$': case '#':
        case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9': {
          // Numbers and character codes never open or close anything.
          size_t To = From + 1;
          while (To < Text.size() && CharClasses.IdentChar[static_cast<unsigned char>(Text[To])]) ++To;
          C.SkipInLine(To - From);
          continue;
        }
        case ';': case '=': case ':': case '.': case ')': {
          const TPos Start = C.Pos();
          C.SkipInLine(1);
          Symbol(static_cast<char>(Ch), Start, From);
          continue;
        }
        default:
          C.SkipInLine(1);
          continue;
      }
      break;  // an unterminated comment ends the scan
    }
    for (const TOpen& O : Directives) Error(O.Start, Format(res::SUnclosedBlock, O.Kind));
    if (!Blocks(Text, Tokens, Sink, Error, ShouldStop)) {
      Result.Canceled = true;
      return Result;
    }
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

  // Pairs the words that open and close blocks; false when ShouldStop said to stop.
  template <class TError>
  static bool Blocks(std::string_view Text, const std::vector<TToken>& T, TRegionSink& Sink, TError& Error,
                     const std::function<bool()>& ShouldStop) {
    std::vector<TOpen> Open;
    bool InImplementation = true;  // programs and libraries have no interface part
    bool InAsm = false;
    TPos Section{};
    std::string SectionKind;
    size_t NextPoll = 0;
    for (size_t I = 0; I < T.size(); ++I) {
      const TToken& K = T[I];
      if (TimeToStop(K.Offset, NextPoll, ShouldStop)) return false;
      const TKeyword W = K.Word;
      if (InAsm) {
        if (W != kwEnd) continue;
        InAsm = false;
      }
      if (W == kwNone || W == kwIdent) continue;
      const TToken* P = I > 0 ? &T[I - 1] : nullptr;
      const TToken* N = I + 1 < T.size() ? &T[I + 1] : nullptr;
      const bool AfterEquals = P && (P->Symbol == '=' || P->Word == kwPacked);
      switch (W) {
        case kwUnit:
        case kwLibrary:
        case kwProgram:
          InImplementation = W != kwUnit;
          break;
        case kwInterface:
          if (AfterEquals) {
            OpenClass(Text, T, I, Open);
            break;
          }
          [[fallthrough]];
        case kwImplementation:
        case kwInitialization:
        case kwFinalization:
          if (!SectionKind.empty() && P) Sink.Add(Section, P->End(), SectionKind, SectionKind);
          Section = K.Start;
          SectionKind = NameOf(W);
          InImplementation = W != kwInterface;
          break;
        case kwOperator:
          // A word of a declaration only where a declaration starts.
          if (!(P && (P->Symbol == ';' || P->Word == kwClass || P->Word == kwImplementation))) break;
          [[fallthrough]];
        case kwProcedure:
        case kwFunction:
        case kwConstructor:
        case kwDestructor: {
          const bool InType = !Open.empty() && !Open.back().Routine;
          // "class procedure" and "generic function" start with the word before.
          const bool Qualified = P && (P->Word == kwClass || P->Word == kwGeneric);
          const bool Type = P && (P->Symbol == '=' || P->Symbol == ':' || P->Word == kwReference || P->Word == kwTo);
          if (InImplementation && !InType && !Type) {
            const TToken& First = Qualified ? *P : K;
            Open.push_back(TOpen{First.Start, "routine", HeaderText(Text, First.Offset), true});
          }
          break;
        }
        case kwForward:
        case kwExternal:
          if (!Open.empty() && Open.back().Routine && !Open.back().HasBody) Open.pop_back();
          break;
        case kwBegin:
        case kwAsm:
          if (!Open.empty() && Open.back().Routine && !Open.back().HasBody)
            Open.back().HasBody = true;
          else
            Open.push_back({K.Start, NameOf(W), NameOf(W)});
          InAsm = W == kwAsm;
          break;
        case kwTry:
          Open.push_back({K.Start, "try", "try"});
          break;
        case kwCase:
          if (Open.empty() || Open.back().Kind != "record") Open.push_back({K.Start, "case", "case"});
          break;
        case kwRecord:
          OpenClass(Text, T, I, Open);
          break;
        case kwClass:
        case kwObject:
        case kwDispinterface:
          if (AfterEquals) OpenClass(Text, T, I, Open);
          break;
        case kwEnd: {
          if (Open.empty()) {
            if (!(N && N->Symbol == '.')) Error(K.Start, res::SUnmatchedEnd);
            break;
          }
          TOpen O = std::move(Open.back());
          Open.pop_back();
          Sink.Add(O.Start, K.End(), O.Kind, O.Desc);
          break;
        }
        default:
          break;
      }
    }
    if (!SectionKind.empty()) {
      TPos End{};
      if (!T.empty()) End = T.back().End();
      Sink.Add(Section, End, SectionKind, SectionKind);
    }
    for (const TOpen& O : Open)
      if (!O.Routine || O.HasBody) Error(O.Start, Format(res::SUnclosedBlock, O.Kind));
    return true;
  }

  // A record, or a class-like type described by its declaration: "TFoo = class(TObject)",
  // "generic TBox<T> = class(TObject)". Types declared without a body open nothing: forward
  // declarations ("class;"), metaclasses ("class of") and classes that only name their
  // ancestors ("EError = class(Exception);").
  static void OpenClass(std::string_view Text, const std::vector<TToken>& T, size_t I, std::vector<TOpen>& Open) {
    const TToken* P = I > 0 ? &T[I - 1] : nullptr;
    const bool Record = T[I].Word == kwRecord;
    const bool AfterEquals = P && (P->Symbol == '=' || P->Word == kwPacked);
    size_t After = I + 1;
    if (!Record && After < T.size() && T[After].Symbol == '(') {
      // An ancestor list is short: one that does not close soon is no list, and a body follows.
      const size_t Limit = std::min(T.size(), After + 64);
      size_t Close = After;
      for (int Depth = 0; Close < Limit; ++Close) {
        if (T[Close].Symbol == '(') ++Depth;
        else if (T[Close].Symbol == ')' && --Depth == 0) break;
      }
      if (Close < Limit) After = Close + 1;
    }
    const TToken* N = After < T.size() ? &T[After] : nullptr;
    if (!Record && !(AfterEquals && N && N->Symbol != ';' && N->Word != kwOf)) return;
    const TToken* Equals = !AfterEquals ? nullptr : P->Symbol == '=' ? P : I >= 2 ? &T[I - 2] : nullptr;
    const size_t Start = Equals && Equals->Symbol == '=' ? DeclarationStart(Text, Equals->Offset) : std::string_view::npos;
    Open.push_back({T[I].Start, Record ? "record" : "class",
                    Start != std::string_view::npos ? HeaderText(Text, Start) : NameOf(T[I].Word)});
  }

  // Where the name that "=" at Equals declares starts: "TFoo", "TBox<T>" or "generic
  // TBox<K, V>"; npos when no name stands before it on its line.
  static size_t DeclarationStart(std::string_view Text, size_t Equals) {
    size_t At = Equals;
    auto SkipBlanks = [&] {
      while (At > 0 && (Text[At - 1] == ' ' || Text[At - 1] == '\t')) --At;
    };
    auto SkipWord = [&] {
      while (At > 0 && IsIdentChar(Text[At - 1])) --At;
    };
    SkipBlanks();
    if (At > 0 && Text[At - 1] == '>') {
      // The type parameters, with their constraints: back to the "<" that opens them.
      int Depth = 0;
      for (size_t Limit = At > 512 ? At - 512 : 0; At > Limit;) {
        const char C = Text[--At];
        if (C == '\n') return std::string_view::npos;
        if (C == '>') ++Depth;
        if (C == '<' && --Depth == 0) break;
      }
      if (Depth != 0) return std::string_view::npos;
      SkipBlanks();
    }
    const size_t NameEnd = At;
    SkipWord();
    if (At == NameEnd) return std::string_view::npos;
    const size_t Name = At;
    SkipBlanks();
    const size_t WordEnd = At;
    SkipWord();
    return KeywordOf(Text.substr(At, WordEnd - At)) == kwGeneric ? At : Name;
  }

  static std::string NameOf(TKeyword W) {
    for (const TKeywordName& K : KeywordNames)
      if (K.Word == W) return std::string(K.Name);
    return {};
  }

  // The rest of the line from Offset: "procedure TForm1.Button1Click(Sender: TObject);".
  // Looks no further than it keeps, so a long line of many headers costs no more than a short one.
  static std::string HeaderText(std::string_view Text, size_t Offset) {
    const std::string_view Head = Text.substr(Offset, 120);
    return Trim(Head.substr(0, Head.find('\n')));
  }
};

// --- C and C++ ---

class TCppRegionParser : public IRegionParser {
 public:
  TRegionResult Parse(std::string_view Text, const std::function<bool()>& ShouldStop) const override {
    TRegionResult Result;
    TRegionSink Sink;
    std::vector<TOpen> Braces, Directives;
    TScanner C(Text);
    auto Error = [&](TPos P, std::string Msg) { Result.Errors.push_back({P.Line, P.Index + 1, std::move(Msg)}); };
    bool LineStart = true;
    TPos IncludeFirst{}, IncludeLast{};
    int Includes = 0;
    auto EndIncludes = [&] {
      if (Includes >= 2) Sink.Add(IncludeFirst, IncludeLast, "includes", "#include ...");
      Includes = 0;
    };
    // Code that is no directive, comment, string or brace: a line's first such byte ends a
    // run of includes and its line's chance of holding a directive.
    auto Code = [&](unsigned char Ch) {
      if (Includes > 0 && Ch != '/') EndIncludes();
      LineStart = false;
    };
    // A directive at the cursor runs to the end of its line, continued by a backslash.
    auto Directive = [&] {
      const TPos Start = C.Pos();
      const size_t From = C.Offset();
      size_t End = C.Find('\n', From);
      while (End < Text.size() && Text[End - 1] == '\\') End = C.Find('\n', End + 1);
      C.MoveTo(End);
      std::string Line = Trim(Text.substr(From + 1, End - From - 1));
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
        if (Directives.empty() || Directives.back().Kind != Want) {
          Error(Start, Format(res::SUnmatchedDirective, "#" + Name));
        } else {
          Sink.Add(Directives.back().Start, C.Pos(), Want, Directives.back().Desc);
          Directives.pop_back();
        }
      }
    };
    size_t StatementStart = 0;  // where the text before the next "{" begins
    // The comments and directives in that text, which its description leaves out: a directive
    // may stand inside a declaration ("#if" around a class's base).
    std::vector<std::pair<size_t, size_t>> Skipped;
    auto NewStatement = [&] {
      StatementStart = C.Offset();
      Skipped.clear();
    };
    size_t NextPoll = 0;
    while (!C.AtEnd()) {
      if (TimeToStop(C.Offset(), NextPoll, ShouldStop)) {
        Result.Canceled = true;
        return Result;
      }
      const unsigned char Ch = C.Peek();
      const size_t From = C.Offset();
      if (CppClasses.Plain[Ch]) {
        Code(Ch);
        C.SkipRun(CppClasses.Plain);
        continue;
      }
      const TPos Start = C.Pos();
      switch (Ch) {
        case '\n':
          LineStart = true;
          C.MoveTo(From + 1);
          continue;
        case ' ': case '\t': case '\r':
          C.SkipRun(CppClasses.Blank);
          continue;
        case '#':
          if (LineStart) {
            Directive();
            Skipped.emplace_back(From, C.Offset());
            continue;
          }
          break;
        case '/':
          Code(Ch);
          if (C.Peek(1) == '/') {
            C.SkipInLine(C.Find('\n', From) - From);
            Skipped.emplace_back(From, C.Offset());
            continue;
          }
          if (C.Peek(1) == '*') {
            const size_t Close = C.FindPair('/', From + 2);
            if (Close >= Text.size()) {
              C.MoveTo(Text.size());
              Error(Start, res::SUnterminatedComment);
              break;
            }
            C.MoveTo(Close + 2);
            Skipped.emplace_back(From, C.Offset());
            Sink.Add(Start, C.Pos(), "comment", "/* ... */");
            continue;
          }
          C.SkipInLine(1);
          continue;
        case '"':
        case '\'': {
          Code(Ch);
          if (const size_t Raw = Ch == '"' ? RawStringEnd(Text, From) : 0; Raw > 0) {
            C.MoveTo(Raw);
            continue;
          }
          // A backslash escapes the next byte, a line break too.
          size_t To = From + 1;
          while (To < Text.size() && Text[To] != static_cast<char>(Ch) && Text[To] != '\n') {
            if (Text[To] == '\\') ++To;
            if (To < Text.size()) ++To;
          }
          C.MoveTo(To);
          if (C.Peek() != Ch) Error(Start, res::SUnterminatedString);
          else C.SkipInLine(1);
          continue;
        }
        case '{': {
          Code(Ch);
          const std::string Head = HeadText(Text, StatementStart, From, Skipped);
          const size_t Key = ClassKeyAt(Head);
          const std::string Kind = BraceKind(Head, Key);
          std::string Desc = Kind == "class" ? Head.substr(Key) : Head;
          if (Desc.size() > 120) Desc.resize(120);
          Braces.push_back({Start, Kind, std::move(Desc)});
          C.SkipInLine(1);
          NewStatement();
          continue;
        }
        case '}':
          Code(Ch);
          if (Braces.empty()) {
            Error(Start, res::SUnmatchedBrace);
          } else {
            Sink.Add(Braces.back().Start, TPos{Start.Line, Start.Index + 1}, Braces.back().Kind, Braces.back().Desc);
            Braces.pop_back();
          }
          C.SkipInLine(1);
          NewStatement();
          continue;
        case ';':
          Code(Ch);
          C.SkipInLine(1);
          NewStatement();
          continue;
        default:
          break;
      }
      if (C.Offset() >= Text.size()) break;  // an unterminated comment ends the scan
      // A "#" within a line.
      Code(Ch);
      C.SkipInLine(1);
    }
    EndIncludes();
    for (const TOpen& O : Braces) Error(O.Start, Format(res::SUnclosedBlock, "{"));
    for (const TOpen& O : Directives) Error(O.Start, Format(res::SUnclosedBlock, "#" + O.Kind));
    Result.Regions = Sink.Finish();
    return Result;
  }

 private:
  // The offset after R"delim( ... )delim" when the quote at Quote opens one (the text's end
  // when it never closes); 0 when it opens an ordinary string.
  static size_t RawStringEnd(std::string_view Text, size_t Quote) {
    if (Quote == 0 || Text[Quote - 1] != 'R') return 0;
    // The delimiter is at most 16 characters.
    const size_t Open = Text.substr(Quote, 18).find('(');
    if (Open == std::string_view::npos) return 0;
    const std::string Close = ")" + std::string(Text.substr(Quote + 1, Open - 1)) + "\"";
    const size_t End = Text.find(Close, Quote + Open);
    return End == std::string_view::npos ? Text.size() : End + Close.size();
  }

  // The text of [From, To) without the Skipped ranges, every run of blanks and line breaks
  // one blank: "template<typename T> class X : public Y".
  static std::string HeadText(std::string_view Text, size_t From, size_t To,
                              const std::vector<std::pair<size_t, size_t>>& Skipped) {
    std::string Head;
    Head.reserve(std::min<size_t>(To - From, 256));
    bool Blank = false;
    auto Skip = Skipped.begin();
    for (size_t I = From; I < To; ++I) {
      if (Skip != Skipped.end() && I == Skip->first) {
        I = Skip++->second - 1;
        Blank = true;
        continue;
      }
      const char Ch = Text[I];
      if (Ch == ' ' || Ch == '\t' || Ch == '\r' || Ch == '\n') {
        Blank = true;
        continue;
      }
      if (Blank && !Head.empty()) Head += ' ';
      Blank = false;
      Head += Ch;
    }
    return Head;
  }

  // Where a class's head starts, at its class key past the template head and the macros
  // before it ("class vector : protected _Vector_base<_Tp, _Alloc>"); npos when no class key
  // stands outside angle brackets. Of heads that directives choose between, the last.
  static size_t ClassKeyAt(const std::string& Head) {
    size_t Key = std::string::npos;
    bool AfterEnum = false;  // "enum class" is one key
    int Depth = 0;
    for (size_t I = 0; I < Head.size(); ++I) {
      if (Head[I] == '<') ++Depth;
      else if (Head[I] == '>' && Depth > 0) --Depth;
      if (Depth > 0 || (I > 0 && IsIdentChar(Head[I - 1])) || !CharClasses.IdentStart[static_cast<unsigned char>(Head[I])])
        continue;
      size_t E = I;
      while (E < Head.size() && IsIdentChar(Head[E])) ++E;
      const std::string_view Word(Head.data() + I, E - I);
      const bool IsKey = Word == "class" || Word == "struct" || Word == "union" || Word == "enum";
      if (IsKey && !AfterEnum) Key = I;
      AfterEnum = Word == "enum";
      I = E - 1;
    }
    return Key;
  }

  // What a "{" opens, by the text before it: a class when a class key stands there and no
  // parenthesis follows it (what comes before, a macro's arguments, does not count).
  static std::string BraceKind(const std::string& Head, size_t ClassKey) {
    auto HasWord = [&](std::string_view W) {
      for (size_t P = Head.find(W); P != std::string::npos; P = Head.find(W, P + 1)) {
        bool Before = P == 0 || !IsIdentChar(Head[P - 1]);
        bool After = P + W.size() >= Head.size() || !IsIdentChar(Head[P + W.size()]);
        if (Before && After) return true;
      }
      return false;
    };
    if (HasWord("namespace")) return "namespace";
    if (ClassKey != std::string::npos && Head.find('(', ClassKey) == std::string::npos) return "class";
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

void TRegionServicesRegistry::Add(std::shared_ptr<IRegionServices> Services) {
  if (!Services) return;
  std::lock_guard G(FMutex);
  FServices.push_back(std::move(Services));
}

void TRegionServicesRegistry::Remove(const IRegionServices* Services) {
  std::lock_guard G(FMutex);
  std::erase_if(FServices, [&](const auto& S) { return S.get() == Services; });
}

std::shared_ptr<IRegionServices> TRegionServicesRegistry::ServicesForFile(std::string_view FileName) const {
  std::lock_guard G(FMutex);
  for (auto It = FServices.rbegin(); It != FServices.rend(); ++It)
    if ((*It)->HandlesFile(FileName)) return *It;
  return nullptr;
}

int TRegionServicesRegistry::Count() const {
  std::lock_guard G(FMutex);
  return static_cast<int>(FServices.size());
}

TRegionServicesRegistry& RegionServicesRegistry() {
  static TRegionServicesRegistry Registry;
  return Registry;
}

}  // namespace nxs
