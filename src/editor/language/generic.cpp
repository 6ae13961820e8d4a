#include "editor/language/generic.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "editor/language/symtables.h"
#include "editor/language/tokens.h"

namespace nxs {

size_t TGenericHighlighter::HashWord(const char* Word, size_t Length, bool CaseSensitive) {
  size_t Sum = 0;
  for (size_t I = 0; I < Length; ++I) {
    auto C = static_cast<unsigned char>(Word[I]);
    Sum += CaseSensitive ? C : (C | 0x20u);
  }
  return Sum & (TableSize - 1);
}

void TGenericHighlighter::EnterReservedWord(const std::string& Word, bool CaseSensitive, uint8_t Class, void* Data) {
  auto E = std::make_unique<TReservedWord>();
  E->Word = Word;
  E->Class = Class;
  E->Data = Data;
  auto& Head = FTable[HashWord(Word.data(), Word.size(), CaseSensitive)];
  E->Next = std::move(Head);
  Head = std::move(E);
}

const TGenericHighlighter::TReservedWord* TGenericHighlighter::FindReservedWord(const char* Text, size_t Length,
                                                                                bool CaseSensitive) const {
  for (const TReservedWord* E = FTable[HashWord(Text, Length, CaseSensitive)].get(); E; E = E->Next.get()) {
    if (E->Word.size() != Length) continue;
    if (CaseSensitive ? std::memcmp(E->Word.data(), Text, Length) == 0 : strncasecmp(E->Word.data(), Text, Length) == 0)
      return E;
  }
  return nullptr;
}

namespace {

inline unsigned char At(const char* S, size_t I) { return static_cast<unsigned char>(S[I]); }
inline bool IsBlank(unsigned char C) { return CharClass[C] == ccsBlank || C == '\n'; }
inline bool IsNameChar(unsigned char C) { return IsWordChar(C) || CharClass[C] == ccsHigh; }

bool StartsWithNoCase(const char* S, size_t I, size_t N, const char* Word) {
  size_t L = std::strlen(Word);
  return I + L <= N && strncasecmp(S + I, Word, L) == 0;
}

// Where Needle first occurs in [From, N), or N.
size_t FindText(const char* S, size_t From, size_t N, const char* Needle, bool IgnoreCase = false) {
  const size_t L = std::strlen(Needle);
  for (size_t I = From; I + L <= N; ++I)
    if (IgnoreCase ? strncasecmp(S + I, Needle, L) == 0 : std::memcmp(S + I, Needle, L) == 0) return I;
  return N;
}

// A sample's marked block: the searched word, where the text first has it.
THighlighterSample MarkSearchText(THighlighterSample S) {
  const size_t At = S.Text.find(S.SearchText);
  if (At == std::string::npos) return S;
  const size_t LineStart = S.Text.rfind('\n', At) + 1;  // npos + 1 is 0: the first line
  S.BlockLine = 1 + static_cast<int>(std::count(S.Text.begin(), S.Text.begin() + static_cast<std::ptrdiff_t>(At), '\n'));
  S.BlockStartCol = 1 + static_cast<int>(At - LineStart);
  S.BlockEndCol = S.BlockStartCol + static_cast<int>(S.SearchText.size());
  return S;
}

// Script code shared by JavaScript and PHP: comments, quoted strings, numbers and words. States:
// 0 code, 2 block comment, 3 and 4 a double- or single-quoted string that runs on. PHP strings run
// on by themselves, JavaScript ones only after a backslash at the line's end. Scans [I, Stop).
constexpr uint8_t scCode = 0, scComment = 2, scDouble = 3, scSingle = 4;

struct TScriptScan {
  const TGenericHighlighter& Words;
  bool Php;
  const char* S;
  size_t Stop;
  uint8_t* C;

  size_t QuotedEnd(size_t I, char Quote, uint8_t& State) const {
    while (I < Stop) {
      if (S[I] == Quote) {
        State = scCode;
        return I + 1;
      }
      if (S[I] == '\\') {
        if (I + 1 >= Stop) {
          State = Quote == '"' ? scDouble : scSingle;
          return Stop;
        }
        I += 2;
        continue;
      }
      ++I;
    }
    State = Php ? (Quote == '"' ? scDouble : scSingle) : scCode;
    return Stop;
  }

  size_t Run(uint8_t& State, size_t I) const {
    if (State == scComment) {
      size_t End = FindText(S, I, Stop, "*/");
      if (End < Stop) {
        End += 2;
        State = scCode;
      }
      Paint(C, I, End, tcComment);
      I = End;
    } else if (State == scDouble || State == scSingle) {
      size_t End = QuotedEnd(I, State == scDouble ? '"' : '\'', State);
      Paint(C, I, End, tcString);
      I = End;
    }
    while (I < Stop) {
      const unsigned char Ch = At(S, I);
      if (IsBlank(Ch)) {
        Paint(C, I, I + 1, tcWhitespace);
        ++I;
        continue;
      }
      const char Next = I + 1 < Stop ? S[I + 1] : '\0';
      if ((Ch == '/' && Next == '/') || (Php && Ch == '#')) {
        Paint(C, I, Stop, tcComment);
        return Stop;
      }
      if (Ch == '/' && Next == '*') {
        size_t End = FindText(S, I + 2, Stop, "*/");
        State = End < Stop ? scCode : scComment;
        End = End < Stop ? End + 2 : Stop;
        Paint(C, I, End, tcComment);
        I = End;
        continue;
      }
      if (Ch == '"' || Ch == '\'') {
        size_t End = QuotedEnd(I + 1, static_cast<char>(Ch), State);
        Paint(C, I, End, tcString);
        I = End;
        continue;
      }
      if (CharClass[Ch] == ccsDigit) {
        size_t J = I + 1;
        uint8_t Code = tcNumber;
        if (Ch == '0' && (Next | 0x20) == 'x') {
          Code = tcHex;
          J = I + 2;
          while (J < Stop && IsHexDigit(At(S, J))) ++J;
        } else {
          while (J < Stop && (CharClass[At(S, J)] == ccsDigit || S[J] == '.')) {
            if (S[J] == '.') Code = tcFloat;
            ++J;
          }
        }
        Paint(C, I, J, Code);
        I = J;
        continue;
      }
      if (CharClass[Ch] == ccsLetter || CharClass[Ch] == ccsHigh || Ch == '$') {
        size_t J = I + 1;
        while (J < Stop && IsNameChar(At(S, J))) ++J;
        uint8_t Code = tcIdentifier;
        if (Ch != '$')
          if (const auto* W = Words.FindReservedWord(S + I, J - I, !Php)) Code = W->Class;
        Paint(C, I, J, Code);
        I = J;
        continue;
      }
      Paint(C, I, I + 1, tcSymbol);
      ++I;
    }
    return Stop;
  }
};

// ---- JavaScript ----

const char* const JavaScriptWords[] = {
    "abstract", "boolean", "break", "byte", "case", "catch", "char", "class", "const", "continue", "default",
    "delete", "do", "double", "else", "extends", "false", "final", "finally", "float", "for", "function", "goto",
    "if", "implements", "import", "in", "instanceof", "int", "interface", "long", "native", "new", "null",
    "package", "private", "protected", "public", "return", "short", "static", "super", "switch", "synchronized",
    "this", "throw", "throws", "transient", "true", "try", "typeof", "var", "void", "while", "with",
};

class TJavaScriptHighlighter : public TGenericHighlighter {
 public:
  TJavaScriptHighlighter() : TGenericHighlighter("Tarvos.Highlighter.JavaScript", "Java Script") {
    for (const char* W : JavaScriptWords) EnterReservedWord(W, true, tcReserved);
  }
  uint8_t Tokenize(uint8_t Start, const char* Line, int32_t Length, uint8_t* Codes) override {
    uint8_t State = Start <= scSingle && Start != 1 ? Start : scCode;
    if (!Line || Length <= 0) return State == scComment ? State : scCode;
    TScriptScan{*this, false, Line, static_cast<size_t>(Length), Codes}.Run(State, 0);
    return State;
  }
  THighlighterSample GetSample() const override {
    THighlighterSample S;
    S.Text =
        "/* Syntax Highlighting */\nfunction sample(text) {\n  var n = 123, f = 1.5, h = 0x1F; // search Match\n"
        "  return n + 'text';\n}\n";
    return MarkSearchText(S);
  }
};

// ---- PHP ----

const char* const PHPWords[] = {
    "abstract", "array", "and", "as", "break", "case", "catch", "class", "clone", "const", "continue", "declare",
    "default", "die", "do", "echo", "else", "elseif", "empty", "enddeclare", "endfor", "endforeach", "endif",
    "endswitch", "endwhile", "eval", "E_ALL", "E_PARSE", "E_ERROR", "E_WARNING", "exception", "exit", "extends",
    "FALSE", "final", "for", "foreach", "function", "if", "unset", "implements", "include", "include_once",
    "interface", "isset", "global", "list", "new", "not", "or", "PHP_OS", "PHP_VERSION", "php_user_filter",
    "print", "private", "protected", "public", "require", "require_once", "return", "static", "switch", "this",
    "throw", "try", "TRUE", "use", "var", "xor", "virtual", "while", "__FUNCTION__", "__CLASS__", "__METHOD__",
    "__FILE__", "__LINE__",
};

// PHP classes: the script states above plus 8 while inside "<?php ... ?>"; 0 is text outside.
constexpr uint8_t phpInCode = 8;

class TPHPHighlighter : public TGenericHighlighter {
 public:
  TPHPHighlighter() : TGenericHighlighter("Tarvos.Highlighter.PHP", "PHP") {
    for (const char* W : PHPWords) EnterReservedWord(W, false, tcReserved);
  }
  uint8_t Tokenize(uint8_t Start, const char* S, int32_t Length, uint8_t* C) override {
    bool InCode = (Start & phpInCode) != 0;
    uint8_t State = Start & 7;
    if (State == 1 || State > scSingle || !InCode) State = scCode;
    const size_t N = S && Length > 0 ? static_cast<size_t>(Length) : 0;
    size_t I = 0;
    while (I < N) {
      if (!InCode) {
        size_t Open = FindText(S, I, N, "<?");
        Paint(C, I, Open, tcPlainText);
        if (Open == N) break;
        size_t End = StartsWithNoCase(S, Open, N, "<?php") ? Open + 5 : Open + 2;
        Paint(C, Open, End, tcTags);
        I = End;
        InCode = true;
        State = scCode;
        continue;
      }
      if (State == scDouble || State == scSingle) {
        // A string from the line before; "?>" inside it is text.
        size_t End = TScriptScan{*this, true, S, N, C}.QuotedEnd(I, State == scDouble ? '"' : '\'', State);
        Paint(C, I, End, tcString);
        I = End;
        continue;
      }
      // Code runs to "?>", which closes the block even inside a line comment.
      size_t Close = FindText(S, I, N, "?>");
      I = TScriptScan{*this, true, S, Close, C}.Run(State, I);
      if (Close < N && State == scCode) {
        Paint(C, Close, Close + 2, tcTags);
        I = Close + 2;
        InCode = false;
      } else if (Close < N) {
        // "?>" inside a block comment or string belongs to it; go on after it.
        Paint(C, Close, Close + 2, State == scComment ? tcComment : tcString);
        I = Close + 2;
      }
    }
    return InCode ? static_cast<uint8_t>(phpInCode | State) : 0;
  }
  THighlighterSample GetSample() const override {
    THighlighterSample S;
    S.Text =
        "<html>\n<?php\n  // Syntax Highlighting\n  $n = 123 + 1.5 + 0x1F; /* search Match */\n  echo \"text\";\n?>\n"
        "</html>\n";
    return MarkSearchText(S);
  }
};

// ---- style sheets ----

const char* const StyleSheetWords[] = {
    "azimuth", "background", "background-attachment", "background-color", "background-image",
    "background-position", "background-repeat", "border", "border-collapse", "border-color", "border-spacing",
    "border-style", "border-top", "border-right", "border-bottom", "border-left", "border-top-color",
    "border-right-color", "border-bottom-color", "border-left-color", "border-top-style", "border-right-style",
    "border-bottom-style", "border-left-style", "border-top-width", "border-right-width", "border-bottom-width",
    "border-left-width", "border-width", "bottom", "caption-side", "clear", "clip", "color", "content",
    "counter-increment", "counter-reset", "cue", "cue-after", "cue-before", "cursor", "direction", "display",
    "elevation", "empty-cells", "float", "font", "font-family", "font-size", "font-size-adjust", "font-stretch",
    "font-style", "font-variant", "font-weight", "height", "left", "letter-spacing", "line-height", "list-style",
    "list-style-image", "list-style-position", "list-style-type", "margin", "margin-top", "margin-right",
    "margin-bottom", "margin-left", "marker-offset", "marks", "max-height", "max-width", "min-height", "min-width",
    "orphans", "outline", "outline-color", "outline-style", "outline-width", "overflow", "padding", "padding-top",
    "padding-right", "padding-bottom", "padding-left", "page", "page-break-after", "page-break-before",
    "page-break-inside", "pause", "pause-after", "pause-before", "pitch", "pitch-range", "play-during", "position",
    "quotes", "richness", "right", "size", "speak", "speak-header", "speak-numeral", "speak-punctuation",
    "speech-rate", "stress", "table-layout", "text-align", "text-decoration", "text-indent", "text-shadow",
    "text-transform", "top", "unicode-bidi", "vertical-align", "visibility", "voice-family", "volume",
    "white-space", "widows", "width", "word-spacing", "z-index",
    // Vendor properties.
    "behavior", "ime-mode", "layout-grid", "layout-grid-char", "layout-grid-line", "layout-grid-mode",
    "layout-grid-type", "line-break", "text-autospace", "text-justify", "text-kashida-space",
    "text-underline-position", "word-break", "word-wrap", "writing-mode", "background-position-x",
    "background-position-y", "layout-flow", "scrollbar-3dlight-color", "scrollbar-arrow-color",
    "scrollbar-base-color", "scrollbar-darkshadow-color", "scrollbar-face-color", "scrollbar-highlight-color",
    "scrollbar-shadow-color", "scrollbar-track-color", "zoom", "overflow-x", "overflow-y", "filter",
};

// Style-sheet classes: 0 selectors, 1 a declaration's property, 2 its value; 4 added inside a
// comment. They fit three bits, which the HTML highlighter keeps for its STYLE elements.
constexpr uint8_t cssSelector = 0, cssProperty = 1, cssValue = 2, cssComment = 4;

class TCSSHighlighter : public TGenericHighlighter {
 public:
  TCSSHighlighter() : TGenericHighlighter("Tarvos.Highlighter.StyleSheet", "Style Sheet") {
    for (const char* W : StyleSheetWords) EnterReservedWord(W, false, tcReserved);
  }
  uint8_t Tokenize(uint8_t Start, const char* S, int32_t Length, uint8_t* C) override {
    uint8_t State = Start & 7;
    if ((State & 3) == 3) State = cssSelector;
    const size_t N = S && Length > 0 ? static_cast<size_t>(Length) : 0;
    size_t I = 0;
    while (I < N) {
      if (State & cssComment) {
        size_t End = FindText(S, I, N, "*/");
        if (End < N) {
          End += 2;
          State &= static_cast<uint8_t>(~cssComment);
        }
        Paint(C, I, End, tcComment);
        I = End;
        continue;
      }
      const unsigned char Ch = At(S, I);
      const char Next = I + 1 < N ? S[I + 1] : '\0';
      if (IsBlank(Ch)) {
        Paint(C, I, I + 1, tcWhitespace);
        ++I;
        continue;
      }
      if (Ch == '/' && Next == '*') {
        State |= cssComment;
        Paint(C, I, I + 2, tcComment);
        I += 2;
        continue;
      }
      if (Ch == '"' || Ch == '\'') {
        size_t J = I + 1;
        while (J < N && S[J] != static_cast<char>(Ch)) J += S[J] == '\\' ? 2 : 1;
        J = J < N ? J + 1 : N;
        Paint(C, I, J, tcString);
        I = J;
        continue;
      }
      if (Ch == '{') State = cssProperty;
      else if (Ch == '}') State = cssSelector;
      else if (Ch == ':' && State == cssProperty) State = cssValue;
      else if (Ch == ';' && State == cssValue) State = cssProperty;
      if (std::strchr("{}:;,", Ch)) {
        Paint(C, I, I + 1, tcSymbol);
        ++I;
        continue;
      }
      size_t J = I + 1;
      while (J < N && (IsNameChar(At(S, J)) || S[J] == '-' || S[J] == '.' || S[J] == '#' || S[J] == '%')) ++J;
      uint8_t Code = tcIdentifier;
      if (State == cssProperty) Code = FindReservedWord(S + I, J - I, false) ? tcReserved : tcIdentifier;
      else if (State == cssValue) Code = CharClass[Ch] == ccsDigit ? tcNumber : tcAttributeValue;
      else Code = tcTags;
      Paint(C, I, J, Code);
      I = J;
    }
    return State;
  }
  THighlighterSample GetSample() const override {
    THighlighterSample S;
    S.Text =
        "/* Syntax Highlighting */\nbody {\n  color: black; /* search Match */\n  margin: 0px;\n"
        "  font-family: \"Courier New\";\n  custom-property: 1;\n}\n";
    return MarkSearchText(S);
  }
};

// ---- HTML ----

// HTML classes: three bits of markup state, a bit each for being inside a STYLE or a SCRIPT
// element (or its opening tag), and the style-sheet class of the STYLE element's text above.
enum : uint8_t {
  htText = 0,
  htTag = 1,
  htComment = 2,
  htDouble = 3,  // an attribute value in double quotes
  htSingle = 4,
  htStyle = 8,
  htScript = 16,
};
constexpr int htCssShift = 5;

class THTMLHighlighter : public TGenericHighlighter {
 public:
  THTMLHighlighter() : TGenericHighlighter("Tarvos.Highlighter.HTML", "HTML") {}
  uint8_t Tokenize(uint8_t Start, const char* S, int32_t Length, uint8_t* C) override {
    uint8_t State = Start & 7;
    if (State > htSingle) State = htText;
    bool Style = (Start & htStyle) != 0, Script = (Start & htScript) != 0 && !Style;
    uint8_t Css = static_cast<uint8_t>((Start >> htCssShift) & 7);
    const size_t N = S && Length > 0 ? static_cast<size_t>(Length) : 0;
    size_t I = 0;
    while (I < N) {
      if (State == htComment) {
        size_t End = FindText(S, I, N, "-->");
        if (End < N) {
          End += 3;
          State = htText;
        }
        Paint(C, I, End, tcComment);
        I = End;
        continue;
      }
      if (State == htDouble || State == htSingle) {
        const void* P = std::memchr(S + I, State == htDouble ? '"' : '\'', N - I);
        size_t End = P ? static_cast<size_t>(static_cast<const char*>(P) - S) + 1 : N;
        Paint(C, I, End, tcAttributeValue);
        if (P) State = htTag;
        I = End;
        continue;
      }
      if (State == htText && (Style || Script)) {
        // The element's text runs to its closing tag.
        size_t Close = FindText(S, I, N, Style ? "</style" : "</script", true);
        if (Style) {
          Css = FStyleSheet.Tokenize(Css, S + I, static_cast<int32_t>(Close - I), C ? C + I : nullptr);
        } else {
          Paint(C, I, Close, tcScripts);
        }
        I = Close;
        if (Close == N) break;
        Style = Script = false;
        Css = 0;
      }
      const unsigned char Ch = At(S, I);
      if (State == htText) {
        if (Ch == '<' && StartsWithNoCase(S, I, N, "<!--")) {
          Paint(C, I, I + 4, tcComment);
          I += 4;
          State = htComment;
          continue;
        }
        if (Ch == '<' && I + 1 < N && (CharClass[At(S, I + 1)] == ccsLetter || S[I + 1] == '/' || S[I + 1] == '!' ||
                                       S[I + 1] == '?')) {
          size_t J = I + 1;
          if (S[J] == '/' || S[J] == '!' || S[J] == '?') ++J;
          const size_t Name = J;
          while (J < N && (IsNameChar(At(S, J)) || S[J] == '-' || S[J] == ':')) ++J;
          const bool Closing = S[I + 1] == '/';
          if (!Closing && J - Name == 5 && strncasecmp(S + Name, "style", 5) == 0) Style = true;
          if (!Closing && J - Name == 6 && strncasecmp(S + Name, "script", 6) == 0) Script = true;
          Paint(C, I, J, tcTags);
          I = J;
          State = htTag;
          continue;
        }
        size_t J = I + 1;
        if (Ch == '&') {
          while (J < N && IsNameChar(At(S, J))) ++J;
          if (J < N && S[J] == ';') {
            Paint(C, I, J + 1, tcCharacter);
            I = J + 1;
            continue;
          }
        }
        J = I + 1;
        while (J < N && S[J] != '<' && S[J] != '&') ++J;
        Paint(C, I, J, tcPlainText);
        I = J;
        continue;
      }
      // Inside a tag.
      if (IsBlank(Ch)) {
        Paint(C, I, I + 1, tcWhitespace);
        ++I;
        continue;
      }
      if (Ch == '>' || (Ch == '/' && I + 1 < N && S[I + 1] == '>')) {
        size_t End = Ch == '>' ? I + 1 : I + 2;
        Paint(C, I, End, tcTags);
        I = End;
        State = htText;
        if (Ch == '/') Style = Script = false;  // <style/> has no text
        continue;
      }
      if (Ch == '"' || Ch == '\'') {
        Paint(C, I, I + 1, tcAttributeValue);
        ++I;
        State = Ch == '"' ? htDouble : htSingle;
        continue;
      }
      if (Ch == '=') {
        Paint(C, I, I + 1, tcSymbol);
        ++I;
        // An unquoted value runs to a blank or the tag's end.
        size_t J = I;
        while (J < N && !IsBlank(At(S, J)) && S[J] != '>' && S[J] != '"' && S[J] != '\'') ++J;
        Paint(C, I, J, tcAttributeValue);
        I = J;
        continue;
      }
      size_t J = I + 1;
      while (J < N && !IsBlank(At(S, J)) && S[J] != '=' && S[J] != '>' && S[J] != '"' && S[J] != '\'' &&
             !(S[J] == '/' && J + 1 < N && S[J + 1] == '>'))
        ++J;
      Paint(C, I, J, tcAttributeName);
      I = J;
    }
    uint8_t Result = State;
    if (Style) Result |= static_cast<uint8_t>(htStyle | (Css << htCssShift));
    else if (Script) Result |= htScript;
    return Result;
  }
  THighlighterSample GetSample() const override {
    THighlighterSample S;
    S.Text =
        "<!-- Syntax Highlighting -->\n<html>\n<head>\n<style type=\"text/css\">\n  body { color: black; }\n</style>\n"
        "<script>var x = 1;</script>\n</head>\n<body bgcolor=\"#FFFFFF\">\n<p>search Match &amp; text</p>\n</body>\n"
        "</html>\n";
    return MarkSearchText(S);
  }

 private:
  TCSSHighlighter FStyleSheet;
};

// ---- INI files ----

class TIniHighlighter : public TGenericHighlighter {
 public:
  TIniHighlighter() : TGenericHighlighter("Tarvos.Highlighter.INI", "INI File") {}
  uint8_t Tokenize(uint8_t, const char* S, int32_t Length, uint8_t* C) override {
    const size_t N = S && Length > 0 ? static_cast<size_t>(Length) : 0;
    size_t I = 0;
    while (I < N && IsBlank(At(S, I))) ++I;
    Paint(C, 0, I, tcWhitespace);
    if (I == N) return 0;
    if (S[I] == ';' || S[I] == '#') {
      Paint(C, I, N, tcComment);
      return 0;
    }
    if (S[I] == '[') {
      Paint(C, I, N, tcReserved);
      return 0;
    }
    const void* Eq = std::memchr(S + I, '=', N - I);
    if (!Eq) {
      Paint(C, I, N, tcIdentifier);
      return 0;
    }
    const size_t E = static_cast<size_t>(static_cast<const char*>(Eq) - S);
    Paint(C, I, E, tcAttributeName);
    Paint(C, E, E + 1, tcSymbol);
    Paint(C, E + 1, N, tcString);
    return 0;
  }
  THighlighterSample GetSample() const override {
    THighlighterSample S;
    S.Text = "; Syntax Highlighting\n[Section]\nName=search Match\n  Value=123\nFlag\n";
    return MarkSearchText(S);
  }
};

}  // namespace

std::unique_ptr<TGenericHighlighter> MakeHTMLHighlighter() { return std::make_unique<THTMLHighlighter>(); }
std::unique_ptr<TGenericHighlighter> MakeStyleSheetHighlighter() { return std::make_unique<TCSSHighlighter>(); }
std::unique_ptr<TGenericHighlighter> MakePHPHighlighter() { return std::make_unique<TPHPHighlighter>(); }
std::unique_ptr<TGenericHighlighter> MakeJavaScriptHighlighter() { return std::make_unique<TJavaScriptHighlighter>(); }
std::unique_ptr<TGenericHighlighter> MakeIniHighlighter() { return std::make_unique<TIniHighlighter>(); }

void AddGenericHighlighters(THighlightManager& Manager) {
  for (auto Make : {&MakeHTMLHighlighter, &MakeStyleSheetHighlighter, &MakePHPHighlighter, &MakeJavaScriptHighlighter,
                    &MakeIniHighlighter}) {
    std::unique_ptr<TGenericHighlighter> H = Make();
    // A kernel started again offers them again: those the manager has stay as they are.
    if (Manager.LookupHighlighter(std::string_view(H->GetIDString())) < 0) Manager.AddHighlighter(std::move(H));
  }
}

}  // namespace nxs
