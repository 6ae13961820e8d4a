// The C-family tokenizers: C and C++, C# and IDL share one scanner and differ in their words,
// C#'s verbatim strings and C++'s raw strings.
#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "editor/language/symtables.h"
#include "editor/language/tokens.h"

namespace nxs {

namespace {

const char* const CppWords[] = {
    "asm", "auto", "bool", "break", "case", "catch", "char", "class", "const", "const_cast", "continue", "default",
    "delete", "do", "double", "dynamic_cast", "else", "enum", "explicit", "extern", "export", "false", "float", "for",
    "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "operator", "private",
    "protected", "public", "register", "reinterpret_cast", "return", "short", "signed", "sizeof", "static",
    "static_cast", "struct", "switch", "template", "this", "throw", "true", "try", "typedef", "typeid", "typename",
    "union", "unsigned", "using", "virtual", "void", "volatile", "wchar_t", "while", "alignof", "decltype", "nullptr",
    "static_assert", "char16_t", "char32_t", "alignas", "constexpr", "thread_local", "override", "axiom", "concept",
    "concept_map", "requires", "late_check", "_Bool", "_Complex", "_Imaginary", "restrict", "cdecl", "pascal", "_asm",
    "_cdecl", "_export", "_fastcall", "_fortran", "_import", "_pascal", "_stdcall", "__asm", "__automated",
    "__cdecl", "__classid", "__closure", "__declspec", "__dispid", "__except", "__export", "__fastcall", "__fastthis",
    "__finally", "__fortran", "__inline", "__int8", "__int16", "__int32", "__int64", "__import", "__msfastcall",
    "__msreturn", "__pascal", "__property", "__published", "__rtti", "__slowthis", "__stdcall", "__thread", "__try",
    "__uuidof", "__classmethod", "__attribute__", "deleted", "__is_lvalue_expr", "__is_rvalue_expr",
    "__is_complete_type", "__is_void", "__is_integral", "__is_floating_point", "__is_array", "__is_enum",
    "__is_union", "__is_class", "__is_function", "__is_reference", "__is_lvalue_reference", "__is_rvalue_reference",
    "__is_arithmetic", "__is_fundamental", "__is_object", "__is_scalar", "__is_compound", "__is_pointer",
    "__is_member_object_pointer", "__is_member_function_pointer", "__is_member_pointer", "__is_const",
    "__is_volatile", "__is_empty", "__is_polymorphic", "__is_abstract", "__is_trivial", "__is_standard_layout",
    "__is_pod", "__has_trivial_default_constructor", "__has_trivial_copy_constructor", "__has_trivial_assign",
    "__has_trivial_destructor", "__has_nothrow_default_constructor", "__has_nothrow_copy_constructor",
    "__has_nothrow_assign", "__has_virtual_destructor", "__is_signed", "__is_unsigned", "__array_rank",
    "__array_extent", "__is_same", "__is_base_of", "__is_convertible",
};

const char* const CSharpWords[] = {
    "abstract", "add", "as", "base", "bool", "break", "byte", "case", "catch", "char", "checked", "class", "const",
    "continue", "decimal", "default", "delegate", "do", "double", "else", "enum", "event", "explicit", "extern",
    "false", "finally", "fixed", "float", "for", "foreach", "get", "goto", "if", "implicit", "in", "int",
    "interface", "internal", "is", "lock", "long", "namespace", "new", "null", "object", "operator", "out",
    "override", "params", "partial", "private", "protected", "public", "readonly", "ref", "remove", "return",
    "sbyte", "sealed", "set", "short", "sizeof", "stackalloc", "static", "string", "struct", "switch", "this",
    "throw", "true", "try", "typeof", "uint", "ulong", "unchecked", "unsafe", "ushort", "using", "virtual",
    "volatile", "void", "while",
};

const char* const IDLWords[] = {
    "any", "array", "attribute", "boolean", "case", "char", "coclass", "const", "context", "default",
    "dispinterface", "double", "enum", "exception", "FALSE", "fixed", "float", "in", "inout", "interface",
    "library", "long", "longlong", "module", "octet", "oneway", "out", "raises", "readonly", "retval", "sequence",
    "short", "string", "struct", "switch", "TRUE", "typedef", "ulong", "union", "unsigned", "void", "wchar",
    "wstring",
};

constexpr uint16_t CBuckets = 256;

struct TLanguage {
  TCFamily Family;
  uint8_t SyntaxLang;
  const char* const* Words;
  int32_t Count;
};
constexpr TLanguage Languages[] = {
    {TCFamily::Cpp, slCpp, CppWords, static_cast<int32_t>(std::size(CppWords))},
    {TCFamily::CSharp, slCSharp, CSharpWords, static_cast<int32_t>(std::size(CSharpWords))},
    {TCFamily::IDL, slIDL, IDLWords, static_cast<int32_t>(std::size(IDLWords))},
};

const TEkSymbolTable& BuiltInTable(TCFamily F) {
  static TSymbolTableStore Store;
  static const TEkSymbolTable Tables[3] = {
      Store.Build(CppWords, Languages[0].Count, CBuckets, true, tcReserved),
      Store.Build(CSharpWords, Languages[1].Count, CBuckets, true, tcReserved),
      Store.Build(IDLWords, Languages[2].Count, CBuckets, true, tcReserved),
  };
  return Tables[static_cast<int>(F)];
}

inline unsigned char At(const char* S, size_t I) { return static_cast<unsigned char>(S[I]); }

// Letters, digits, "_", "$" and the bytes of multi-byte characters continue an identifier.
constexpr std::array<bool, 256> MakeIdentifierChars() {
  std::array<bool, 256> T{};
  for (int C = 0; C < 256; ++C)
    T[static_cast<size_t>(C)] = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') ||
                                C == '_' || C == '$' || C >= 128;
  return T;
}
constexpr std::array<bool, 256> CIdentifierChar = MakeIdentifierChars();

// Whether a comment or literal that spans [From, To) crossed a line break: the line it ends on
// is no preprocessor line, as when that line is tokenized on its own.
inline bool CrossesLine(const char* S, size_t From, size_t To) {
  return To > From && std::memchr(S + From, '\n', To - From) != nullptr;
}

// A quoted literal from I (just past its opening quote) to its closing Quote. A backslash escapes
// the next byte; one before the line's end (or escaping its "\n") carries the literal to the next
// line. Returns the end and whether the literal goes on.
size_t QuotedEnd(const char* S, size_t I, size_t N, char Quote, bool& GoesOn) {
  GoesOn = false;
  while (I < N) {
    const char Ch = S[I];
    if (Ch == Quote) return I + 1;
    if (Ch == '\n') return I;  // an unclosed literal ends with its line
    if (Ch == '\\') {
      if (I + 1 >= N) {
        GoesOn = true;
        return N;
      }
      I += 2;
      continue;
    }
    ++I;
  }
  return N;
}

// C#'s verbatim string from I: doubled quotes stand for one, line breaks belong to it.
size_t VerbatimEnd(const char* S, size_t I, size_t N, bool& GoesOn) {
  GoesOn = false;
  while (I < N) {
    const void* P = std::memchr(S + I, '"', N - I);
    if (!P) break;
    size_t Q = static_cast<size_t>(static_cast<const char*>(P) - S);
    if (Q + 1 < N && S[Q + 1] == '"') {
      I = Q + 2;
      continue;
    }
    return Q + 1;
  }
  GoesOn = true;
  return N;
}

// The end of a block comment whose body starts at I; N when it does not end.
size_t CommentEnd(const char* S, size_t I, size_t N, bool& Closed) { return StarCommentEnd(S, I, N, '/', Closed); }

// A number from I: returns its end and sets its class.
size_t NumberEnd(const char* S, size_t I, size_t N, uint8_t& Code) {
  size_t J = I;
  Code = tcNumber;
  auto DigitOrSep = [&](size_t K, bool Hex) {
    unsigned char C = At(S, K);
    if (Hex ? IsHexDigit(C) : CharClass[C] == ccsDigit) return true;
    // A digit separator stands between two digits: 1'000'000.
    return C == '\'' && K > I && K + 1 < N && (Hex ? IsHexDigit(At(S, K + 1)) : CharClass[At(S, K + 1)] == ccsDigit);
  };
  if (S[J] == '0' && J + 1 < N && (S[J + 1] | 0x20) == 'x') {
    Code = tcHex;
    J += 2;
    while (J < N && (DigitOrSep(J, true) || S[J] == '.')) ++J;
    if (J < N && (S[J] | 0x20) == 'p') {
      Code = tcFloat;
      ++J;
      if (J < N && (S[J] == '+' || S[J] == '-')) ++J;
    }
  } else if (S[J] == '0' && J + 1 < N && (S[J + 1] | 0x20) == 'b') {
    J += 2;
    while (J < N && DigitOrSep(J, false)) ++J;
  } else {
    const bool LeadingZero = S[J] == '0';
    while (J < N && DigitOrSep(J, false)) ++J;
    if (J < N && S[J] == '.') {
      Code = tcFloat;
      ++J;
      while (J < N && DigitOrSep(J, false)) ++J;
    }
    if (J < N && (S[J] | 0x20) == 'e') {
      size_t E = J + 1;
      if (E < N && (S[E] == '+' || S[E] == '-')) ++E;
      if (E < N && CharClass[At(S, E)] == ccsDigit) {
        Code = tcFloat;
        J = E;
      }
    }
    if (Code == tcNumber && LeadingZero && J > I + 1) Code = tcOctal;
  }
  // Suffixes and whatever letters and digits follow belong to the number.
  while (J < N && IsWordChar(At(S, J))) ++J;
  return J;
}

// The delimiters of raw strings that run on past their line, numbered in the order first met.
class TRawDelimiters {
 public:
  static constexpr size_t Capacity = 255 - ccRawString;  // 255 is no tokenizer's class

  uint8_t ClassOf(std::string_view Delimiter) {
    std::lock_guard<std::mutex> G(FLock);
    for (size_t I = 0; I < FCount; ++I)
      if (FEntries[I] == Delimiter) return static_cast<uint8_t>(ccRawString + I);
    if (FCount == Capacity) return ccNormal;
    FEntries[FCount] = std::string(Delimiter);
    return static_cast<uint8_t>(ccRawString + FCount++);
  }
  // The closing sequence of the raw string of Class; false for a number not handed out.
  bool CloserOf(uint8_t Class, std::string& Closer) {
    std::lock_guard<std::mutex> G(FLock);
    const size_t I = static_cast<size_t>(Class - ccRawString);
    if (Class < ccRawString || I >= FCount) return false;
    Closer = ")" + FEntries[I] + "\"";
    return true;
  }

 private:
  std::mutex FLock;
  std::array<std::string, Capacity> FEntries;
  size_t FCount = 0;
};

TRawDelimiters& RawDelimiters() {
  static TRawDelimiters T;
  return T;
}

// The end of the raw string's body from From: just past Closer, or the end of the text when
// it runs on (Closed tells which).
size_t RawStringEnd(const char* S, size_t From, size_t N, std::string_view Closer, bool& Closed) {
  const std::string_view Body(S + From, N - From);
  const size_t At = Body.find(Closer);
  Closed = At != std::string_view::npos;
  return Closed ? From + At + Closer.size() : N;
}

// The end of the line that holds From, joined to the lines after it while it ends in a
// backslash.
size_t SplicedLineEnd(const char* S, size_t From, size_t N) {
  size_t End = LineEnd(S, From, N);
  while (End < N && End > From && S[End - 1] == '\\') End = LineEnd(S, End + 1, N);
  return End;
}

// Whether a line that ends at End (the text's end) goes on into the next line.
bool RunsOn(const char* S, size_t From, size_t End, size_t N) { return End == N && End > From && S[End - 1] == '\\'; }

uint8_t Scan(const TEkSymbolTable& Words, TCFamily Family, uint8_t Class, const char* S, size_t N, uint8_t* C) {
  // The C preprocessor joins a line that ends in a backslash to the next; C# has none.
  const bool Splices = Family != TCFamily::CSharp;
  std::string Closer;
  const bool Carried = Class == ccComment || Class == ccString || Class == ccCharacter ||
                       (Class == ccVerbatim && Family == TCFamily::CSharp) ||
                       (Splices && (Class == ccLineComment || Class == ccDirective)) ||
                       (Family == TCFamily::Cpp && RawDelimiters().CloserOf(Class, Closer));
  if (!Carried) Class = ccNormal;
  size_t I = 0;
  bool LineStart = true;
  bool Directive = false;  // the line is a preprocessor line
  bool GoesOn = false;
  // A literal or comment carried in from the line before.
  if (Class == ccComment) {
    bool Closed;
    size_t End = CommentEnd(S, 0, N, Closed);
    Paint(C, 0, End, tcComment);
    I = End;
    if (Closed) Class = ccNormal;
    LineStart = false;
  } else if (Class == ccString || Class == ccCharacter) {
    size_t End = QuotedEnd(S, 0, N, Class == ccString ? '"' : '\'', GoesOn);
    Paint(C, 0, End, Class == ccString ? tcString : tcCharacter);
    I = End;
    if (!GoesOn) Class = ccNormal;
    LineStart = false;
  } else if (Class == ccVerbatim) {
    size_t End = VerbatimEnd(S, 0, N, GoesOn);
    Paint(C, 0, End, tcString);
    I = End;
    if (!GoesOn) Class = ccNormal;
    LineStart = false;
  } else if (Class == ccLineComment) {
    const size_t End = SplicedLineEnd(S, 0, N);
    Paint(C, 0, End, tcComment);
    I = End;
    if (!RunsOn(S, 0, End, N)) Class = ccNormal;
    LineStart = false;
  } else if (Class == ccDirective) {
    Class = ccNormal;
    Directive = true;
    LineStart = false;
  } else if (Class >= ccRawString) {
    bool Closed;
    const size_t End = RawStringEnd(S, 0, N, Closer, Closed);
    Paint(C, 0, End, tcString);
    I = End;
    if (Closed) Class = ccNormal;
    LineStart = false;
  }
  while (I < N) {
    const unsigned char Ch = At(S, I);
    const uint8_t K = CharClass[Ch];
    if (K == ccsBlank || K == ccsBreak) {
      size_t J = I;
      while (J < N && (CharClass[At(S, J)] == ccsBlank || S[J] == '\n')) {
        // A directive whose line ends in a backslash goes on into the next line.
        if (S[J] == '\n' && !(Directive && Splices && J > 0 && S[J - 1] == '\\')) {
          LineStart = true;
          Directive = false;
        }
        ++J;
      }
      Paint(C, I, J, tcWhitespace);
      I = J;
      continue;
    }
    const bool WasLineStart = LineStart;
    LineStart = false;
    if (K == ccsLetter || K == ccsHigh || Ch == '$') {
      size_t J = I + 1;
      uint32_t Sum = Ch;
      while (J < N && CIdentifierChar[At(S, J)]) Sum += At(S, J++);
      const size_t Len = J - I;
      // Prefixed literals: L"..", u8"..", R"delim(..)delim", @"..".
      if (J < N && (S[J] == '"' || S[J] == '\'') && Len <= 3 && Family != TCFamily::IDL) {
        const bool Raw = S[J] == '"' && S[J - 1] == 'R' && Family == TCFamily::Cpp;
        const bool Prefix = Raw || (Len == 1 && (Ch == 'L' || Ch == 'u' || Ch == 'U')) ||
                            (Len == 2 && S[I] == 'u' && S[I + 1] == '8');
        if (Prefix && Raw && (Len == 1 || Len == 2 || Len == 3)) {
          // A raw string ends at ")delim\"", on its line or a later one; without a "(" on its
          // line it is malformed, and the rest of the line is string.
          size_t Open = J + 1, Paren = Open;
          const size_t End = LineEnd(S, Open, N);
          while (Paren < End && S[Paren] != '(' && Paren - Open < 16) ++Paren;
          size_t Stop = End;
          if (Paren < End && S[Paren] == '(') {
            const std::string_view Delimiter(S + Open, Paren - Open);
            const std::string Close = ")" + std::string(Delimiter) + "\"";
            bool Closed;
            Stop = RawStringEnd(S, Paren + 1, N, Close, Closed);
            // One that leaves its line needs a class to go on with, from the table; when it
            // is full, the string ends with its line, as it would line by line.
            if (!Closed || Stop > End) {
              const uint8_t RawClass = RawDelimiters().ClassOf(Delimiter);
              if (RawClass == ccNormal) Stop = End;
              else if (!Closed) Class = RawClass;
            }
          }
          // In a directive, its first line is the directive's; the lines after it are string,
          // as each is when tokenized on its own.
          const size_t Own = Directive ? std::min(Stop, End) : I;
          Paint(C, I, Own, tcPreprocessor);
          Paint(C, Own, Stop, tcString);
          if (CrossesLine(S, I, Stop)) Directive = false;
          I = Stop;
          continue;
        }
        if (Prefix) {
          const char Quote = S[J];
          size_t End = QuotedEnd(S, J + 1, N, Quote, GoesOn);
          Paint(C, I, End, Quote == '"' ? tcString : tcCharacter);
          if (CrossesLine(S, I, End)) Directive = false;
          I = End;
          if (GoesOn) Class = Quote == '"' ? ccString : ccCharacter;
          continue;
        }
      }
      uint8_t Code = Directive ? tcPreprocessor : tcIdentifier;
      if (!Directive && FindSymbol(Words, S + I, Len, Sum)) Code = tcReserved;
      Paint(C, I, J, Code);
      I = J;
      continue;
    }
    if (K == ccsDigit || (Ch == '.' && I + 1 < N && CharClass[At(S, I + 1)] == ccsDigit)) {
      uint8_t Code;
      size_t J = NumberEnd(S, I, N, Code);
      Paint(C, I, J, Directive ? uint8_t{tcPreprocessor} : Code);
      I = J;
      continue;
    }
    const char Next = I + 1 < N ? S[I + 1] : '\0';
    if (Ch == '/' && Next == '/') {
      const size_t End = Splices ? SplicedLineEnd(S, I, N) : LineEnd(S, I, N);
      Paint(C, I, End, tcComment);
      if (CrossesLine(S, I, End)) Directive = false;
      if (Splices && RunsOn(S, I, End, N)) Class = ccLineComment;
      I = End;
      continue;
    }
    if (Ch == '/' && Next == '*') {
      bool Closed;
      size_t End = CommentEnd(S, I + 2, N, Closed);
      Paint(C, I, End, tcComment);
      if (CrossesLine(S, I, End)) Directive = false;
      I = End;
      if (!Closed) Class = ccComment;
      continue;
    }
    if (Ch == '"' || Ch == '\'') {
      size_t End = QuotedEnd(S, I + 1, N, static_cast<char>(Ch), GoesOn);
      Paint(C, I, End, Ch == '"' ? tcString : tcCharacter);
      if (CrossesLine(S, I, End)) Directive = false;
      I = End;
      if (GoesOn) Class = Ch == '"' ? ccString : ccCharacter;
      continue;
    }
    if (Ch == '@' && Next == '"' && Family == TCFamily::CSharp) {
      size_t End = VerbatimEnd(S, I + 2, N, GoesOn);
      Paint(C, I, End, tcString);
      if (CrossesLine(S, I, End)) Directive = false;
      I = End;
      if (GoesOn) Class = ccVerbatim;
      continue;
    }
    if (Ch == '#' && WasLineStart) {
      Directive = true;
      Paint(C, I, I + 1, tcPreprocessor);
      ++I;
      continue;
    }
    Paint(C, I, I + 1, Directive ? tcPreprocessor : tcSymbol);
    ++I;
  }
  // Only a comment or literal that ran to the end set Class to carry it over; a directive
  // carries itself when its last byte is a backslash.
  if (Class == ccNormal && Directive && Splices && N > 0 && S[N - 1] == '\\') return ccDirective;
  return Class;
}

}  // namespace

uint8_t RawStringClass(std::string_view Delimiter) { return RawDelimiters().ClassOf(Delimiter); }

namespace {

struct TRegistered {
  TTokenizer Tokenizer{};
  TEkSymbolTable CallerTable{};
  const TEkSymbolTable* Table = nullptr;
};
TRegistered Registered[3];

TRegistered& Of(TTokenizer* T) {
  for (auto& R : Registered)
    if (&R.Tokenizer == T) return R;
  return Registered[0];
}

TCFamily FamilyOf(const TRegistered& R) { return static_cast<TCFamily>(&R - Registered); }

uint8_t FindReserved(TTokenizer* T, const char* Symbol, int32_t Length) {
  if (!T || Length <= 0) return 0;
  const TRegistered& R = Of(T);
  return R.Table ? FindSymbol(*R.Table, Symbol, static_cast<size_t>(Length)) : 0;
}

uint8_t TokenizeProc(TTokenizer* T, uint8_t Start, const char* Line, int32_t Length, uint8_t* Codes) {
  const TRegistered& R = Of(T);
  static const TEkSymbolTable Empty{};
  const TEkSymbolTable& Words = R.Table ? *R.Table : Empty;
  if (!Line || Length <= 0) return Scan(Words, FamilyOf(R), Start, "", 0, nullptr);
  return Scan(Words, FamilyOf(R), Start, Line, static_cast<size_t>(Length), Codes);
}

uint8_t LineClassProc(TTokenizer* T, uint8_t Start, const char* Line, int32_t Length) {
  return TokenizeProc(T, Start, Line, Length, nullptr);
}

void DestroyProc(TTokenizer*) {}

bool Register(TEkInstance& Instance, TCFamily F, const char* const* Words, int32_t Count) {
  TRegistered& R = Registered[static_cast<int>(F)];
  if (Words && Count > 0) {
    if (R.CallerTable.HashTable && Instance.EkFreeTables) Instance.EkFreeTables(&R.CallerTable, 1);
    if (!Instance.EkBuildTables || !Instance.EkBuildTables(&R.CallerTable, Words, Count, CBuckets, true, tcReserved))
      return false;
    R.Table = &R.CallerTable;
  } else {
    R.Table = &BuiltInTable(F);
  }
  R.Tokenizer = TTokenizer{};
  R.Tokenizer.SyntaxLang = Languages[static_cast<int>(F)].SyntaxLang;
  R.Tokenizer.NTables = 1;
  R.Tokenizer.SymTables = const_cast<TEkSymbolTable*>(R.Table);
  R.Tokenizer.FindReservedSymbol = FindReserved;
  R.Tokenizer.Tokenize = TokenizeProc;
  R.Tokenizer.CalcLineClass = LineClassProc;
  R.Tokenizer.DestroyTokenizer = DestroyProc;
  R.Tokenizer.EkInst = &Instance;
  return Instance.EkRegisterTokenizer && Instance.EkRegisterTokenizer(&R.Tokenizer);
}

}  // namespace

uint8_t ScanC(TCFamily Family, uint8_t Class, const char* Text, size_t Length, uint8_t* Codes) {
  return Scan(BuiltInTable(Family), Family, Class, Text, Length, Codes);
}

TWordList CppReservedWords() { return {CppWords, Languages[0].Count}; }
TWordList CSharpReservedWords() { return {CSharpWords, Languages[1].Count}; }
TWordList IDLReservedWords() { return {IDLWords, Languages[2].Count}; }

bool REGISTERCTOKENIZER(TEkInstance& Instance, const char* const* Words, int32_t Count) {
  return Register(Instance, TCFamily::Cpp, Words, Count);
}
bool REGISTERIDLTOKENIZER(TEkInstance& Instance, const char* const* Words, int32_t Count) {
  return Register(Instance, TCFamily::IDL, Words, Count);
}
bool REGISTERCSHARPTOKENIZER(TEkInstance& Instance, const char* const* Words, int32_t Count) {
  return Register(Instance, TCFamily::CSharp, Words, Count);
}

}  // namespace nxs
