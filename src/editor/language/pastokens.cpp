// The Pascal tokenizer, with what the Free Pascal dialects add: "//" comments, "{$mode ...}"
// and other directives, generic/specialize, "&" escaped identifiers and octal numbers, "#"
// character codes, "$" hex and "%" binary literals.
#include <cstring>

#include "editor/language/symtables.h"
#include "editor/language/tokens.h"

namespace nxs {

namespace {

const char* const ReservedWords[] = {
    "ABSOLUTE",  "ABSTRACT",     "AND",        "ARRAY",          "AS",          "ASM",          "ASSEMBLER",
    "AUTOMATED", "BEGIN",        "CASE",       "CDECL",          "CLASS",       "CONST",        "CONSTRUCTOR",
    "DEPRECATED", "DESTRUCTOR",  "DISPID",     "DISPINTERFACE",  "DIV",         "DO",           "DOWNTO",
    "DYNAMIC",   "ELSE",         "END",        "EXCEPT",         "EXPERIMENTAL", "EXPORT",      "EXPORTS",
    "EXTERNAL",  "FAR",          "FILE",       "FINAL",          "FINALIZATION", "FINALLY",     "FOR",
    "FORWARD",   "FUNCTION",     "GOTO",       "IF",             "IMPLEMENTATION", "IN",        "INLINE",
    "INHERITED", "INITIALIZATION", "INTERFACE", "IS",            "LABEL",       "LIBRARY",      "MESSAGE",
    "MOD",       "NEAR",         "NIL",        "NOT",            "OBJECT",      "OF",           "ON",
    "OPERATOR",  "OR",           "OUT",        "OVERLOAD",       "OVERRIDE",    "PACKED",       "PASCAL",
    "PRIVATE",   "PLATFORM",     "PROCEDURE",  "PROGRAM",        "PROPERTY",    "PROTECTED",    "PUBLIC",
    "PUBLISHED", "RAISE",        "RECORD",     "REGISTER",       "REINTRODUCE", "REPEAT",       "RESOURCESTRING",
    "SET",       "SHL",          "SHR",        "SAFECALL",       "SEALED",      "STATIC",       "STDCALL",
    "STRICT",    "STRING",       "THEN",       "THREADVAR",      "TO",          "TRY",          "TYPE",
    "UNIT",      "UNSAFE",       "UNTIL",      "USES",           "VAR",         "VARARGS",      "VIRTUAL",
    "WHILE",     "WITH",         "XOR",
    // What the Free Pascal dialects add.
    "GENERIC",   "SPECIALIZE",
};
const char* const PropertyWords[] = {"ADD",      "READ",      "INDEX",     "WRITE",      "REMOVE",    "STORED",
                                     "DEFAULT",  "READONLY",  "NODEFAULT", "WRITEONLY",  "IMPLEMENTS"};
const char* const PackageWords[] = {"CONTAINS", "REQUIRES"};
const char* const ExternalWords[] = {"NAME", "INDEX"};

constexpr uint16_t PascalBuckets = 101;
constexpr uint16_t ContextBuckets = 16;

// The tables the scanner consults: reserved words, then the words of the property, package
// and external contexts (absent when a caller registered only its own reserved words).
struct TPasTables {
  const TEkSymbolTable* Tables = nullptr;
  int Count = 0;
};

const TPasTables& BuiltInTables() {
  static TSymbolTableStore Store;
  static TEkSymbolTable Tables[4] = {
      Store.Build(ReservedWords, std::size(ReservedWords), PascalBuckets, false, tcReserved),
      Store.Build(PropertyWords, std::size(PropertyWords), ContextBuckets, false, tcReserved),
      Store.Build(PackageWords, std::size(PackageWords), ContextBuckets, false, tcReserved),
      Store.Build(ExternalWords, std::size(ExternalWords), ContextBuckets, false, tcReserved),
  };
  static const TPasTables T{Tables, 4};
  return T;
}

bool SameWord(const char* Text, size_t Length, const char* Upper) {
  size_t N = std::strlen(Upper);
  if (N != Length) return false;
  for (size_t I = 0; I < N; ++I)
    if ((Text[I] & ~0x20) != Upper[I]) return false;
  return true;
}

uint8_t Scan(const TPasTables& T, uint8_t Class, const char* S, size_t N, uint8_t* C) {
  Class &= 0x7F;
  size_t I = 0;
  bool LineStart = true;  // nothing but blanks so far on this line
  while (I < N) {
    if (Class & pcBraceComment) {
      uint8_t Code = (Class & pcDirective) ? tcPreprocessor : tcComment;
      const void* P = std::memchr(S + I, '}', N - I);
      size_t End = P ? static_cast<size_t>(static_cast<const char*>(P) - S) + 1 : N;
      Paint(C, I, End, Code);
      I = End;
      LineStart = false;
      if (P) Class &= static_cast<uint8_t>(~(pcBraceComment | pcDirective));
      continue;
    }
    if (Class & pcParenComment) {
      uint8_t Code = (Class & pcDirective) ? tcPreprocessor : tcComment;
      bool Closed;
      const size_t J = StarCommentEnd(S, I, N, ')', Closed);
      Paint(C, I, J, Code);
      I = J;
      LineStart = false;
      if (Closed) Class &= static_cast<uint8_t>(~(pcParenComment | pcDirective));
      continue;
    }
    const auto Ch = static_cast<unsigned char>(S[I]);
    const uint8_t K = CharClass[Ch];
    const bool InAsm = (Class & pcAsm) != 0;
    if (K == ccsBlank || K == ccsBreak) {
      size_t J = I + 1;
      while (J < N && (CharClass[static_cast<unsigned char>(S[J])] == ccsBlank || S[J] == '\n')) {
        if (S[J] == '\n') LineStart = true;
        ++J;
      }
      if (K == ccsBreak) LineStart = true;
      Paint(C, I, J, tcWhitespace);
      I = J;
      continue;
    }
    const bool WasLineStart = LineStart;
    LineStart = false;
    if (K == ccsLetter) {
      size_t J = I + 1;
      uint32_t Sum = Ch | 0x20u;
      while (J < N && IsWordChar(static_cast<unsigned char>(S[J]))) Sum += static_cast<unsigned char>(S[J++]) | 0x20u;
      const size_t Len = J - I;
      uint8_t Code = tcIdentifier;
      if (InAsm) {
        Code = tcAssembler;
        if (SameWord(S + I, Len, "END")) {
          Code = tcReserved;
          Class &= static_cast<uint8_t>(~pcAsm);
        }
      } else if (T.Count > 0 && FindSymbol(T.Tables[0], S + I, Len, Sum)) {
        Code = tcReserved;
        if (SameWord(S + I, Len, "PROPERTY")) Class |= pcProperty;
        else if (SameWord(S + I, Len, "EXTERNAL")) Class |= pcExternal;
        else if (SameWord(S + I, Len, "ASM")) Class |= pcAsm;
      } else if (((Class & pcProperty) && T.Count > 1 && FindSymbol(T.Tables[1], S + I, Len, Sum)) ||
                 ((Class & pcPackage) && T.Count > 2 && FindSymbol(T.Tables[2], S + I, Len, Sum)) ||
                 ((Class & pcExternal) && T.Count > 3 && FindSymbol(T.Tables[3], S + I, Len, Sum))) {
        Code = tcReserved;
      } else if (WasLineStart && SameWord(S + I, Len, "PACKAGE")) {
        // A package source opens with this word; from here CONTAINS and REQUIRES are reserved.
        Code = tcReserved;
        Class |= pcPackage;
      }
      Paint(C, I, J, Code);
      I = J;
      continue;
    }
    if (K == ccsDigit) {
      size_t J = I + 1;
      while (J < N && CharClass[static_cast<unsigned char>(S[J])] == ccsDigit) ++J;
      uint8_t Code = tcNumber;
      // "1.5" is a real number, "1..5" a range.
      if (J + 1 < N && S[J] == '.' && CharClass[static_cast<unsigned char>(S[J + 1])] == ccsDigit) {
        Code = tcFloat;
        J += 2;
        while (J < N && CharClass[static_cast<unsigned char>(S[J])] == ccsDigit) ++J;
      }
      if (J < N && (S[J] | 0x20) == 'e') {
        size_t E = J + 1;
        if (E < N && (S[E] == '+' || S[E] == '-')) ++E;
        if (E < N && CharClass[static_cast<unsigned char>(S[E])] == ccsDigit) {
          Code = tcFloat;
          J = E;
          while (J < N && CharClass[static_cast<unsigned char>(S[J])] == ccsDigit) ++J;
        }
      }
      Paint(C, I, J, InAsm ? tcAssembler : Code);
      I = J;
      continue;
    }
    if (K == ccsHigh) {
      size_t J = I + 1;
      while (J < N && CharClass[static_cast<unsigned char>(S[J])] == ccsHigh) ++J;
      Paint(C, I, J, InAsm ? tcAssembler : tcIllegalChar);
      I = J;
      continue;
    }
    const char Next = I + 1 < N ? S[I + 1] : '\0';
    switch (Ch) {
      case '{': {
        Class |= pcBraceComment;
        if (Next == '$') Class |= pcDirective;
        continue;  // the comment state paints it
      }
      case '(':
        if (Next == '*') {
          Class |= pcParenComment;
          if (I + 2 < N && S[I + 2] == '$') Class |= pcDirective;
          // The opening "(*" must not close itself as "*)": paint it and go on after it.
          Paint(C, I, I + 2, (Class & pcDirective) ? tcPreprocessor : tcComment);
          I += 2;
          continue;
        }
        break;
      case '/':
        if (Next == '/') {
          size_t End = LineEnd(S, I, N);
          Paint(C, I, End, tcComment);
          I = End;
          continue;
        }
        break;
      case '\'': {
        // Quotes inside are doubled; an unclosed string ends with its line.
        size_t J = I + 1;
        while (J < N && S[J] != '\n') {
          if (S[J] == '\'') {
            if (J + 1 < N && S[J + 1] == '\'') {
              J += 2;
              continue;
            }
            ++J;
            break;
          }
          ++J;
        }
        Paint(C, I, J, tcString);
        I = J;
        continue;
      }
      case '#': {
        size_t J = I + 1;
        if (J < N && S[J] == '$') {
          ++J;
          while (J < N && IsHexDigit(static_cast<unsigned char>(S[J]))) ++J;
        } else {
          while (J < N && CharClass[static_cast<unsigned char>(S[J])] == ccsDigit) ++J;
        }
        if (J == I + 1 || (J == I + 2 && S[I + 1] == '$')) break;
        Paint(C, I, J, InAsm ? tcAssembler : tcCharacter);
        I = J;
        continue;
      }
      case '$': {
        size_t J = I + 1;
        while (J < N && IsHexDigit(static_cast<unsigned char>(S[J]))) ++J;
        if (J == I + 1) break;
        Paint(C, I, J, InAsm ? tcAssembler : tcHex);
        I = J;
        continue;
      }
      case '%': {
        size_t J = I + 1;
        while (J < N && (S[J] == '0' || S[J] == '1' || S[J] == '_')) ++J;
        if (J == I + 1) break;
        Paint(C, I, J, InAsm ? tcAssembler : tcNumber);
        I = J;
        continue;
      }
      case '&': {
        size_t J = I + 1;
        if (J < N && S[J] >= '0' && S[J] <= '7') {
          while (J < N && S[J] >= '0' && S[J] <= '7') ++J;
          Paint(C, I, J, InAsm ? tcAssembler : tcOctal);
          I = J;
          continue;
        }
        if (J < N && CharClass[static_cast<unsigned char>(S[J])] == ccsLetter) {
          // An escaped identifier is never a reserved word: "&begin" names a variable.
          while (J < N && IsWordChar(static_cast<unsigned char>(S[J]))) ++J;
          Paint(C, I, J, InAsm ? tcAssembler : tcIdentifier);
          I = J;
          continue;
        }
        break;
      }
      case ';':
        Class &= static_cast<uint8_t>(~(pcProperty | pcExternal));
        break;
      default:
        break;
    }
    Paint(C, I, I + 1, InAsm ? tcAssembler : tcSymbol);
    ++I;
  }
  return Class;
}

TTokenizer PasTokenizer{};
TPasTables RegisteredTables;

uint8_t FindReserved(TTokenizer* T, const char* Symbol, int32_t Length) {
  if (!T || T->NTables == 0 || Length <= 0) return 0;
  return FindSymbol(T->SymTables[0], Symbol, static_cast<size_t>(Length));
}

uint8_t TokenizeProc(TTokenizer* T, uint8_t Start, const char* Line, int32_t Length, uint8_t* Codes) {
  if (!Line || Length <= 0) return Scan(RegisteredTables, Start, "", 0, nullptr);
  (void)T;
  return Scan(RegisteredTables, Start, Line, static_cast<size_t>(Length), Codes);
}

uint8_t LineClassProc(TTokenizer* T, uint8_t Start, const char* Line, int32_t Length) {
  return TokenizeProc(T, Start, Line, Length, nullptr);
}

void DestroyProc(TTokenizer*) {}

}  // namespace

uint8_t ScanPascal(uint8_t Class, const char* Text, size_t Length, uint8_t* Codes) {
  return Scan(BuiltInTables(), Class, Text, Length, Codes);
}

TWordList PascalReservedWords() { return {ReservedWords, static_cast<int32_t>(std::size(ReservedWords))}; }
TWordList PascalPropertyWords() { return {PropertyWords, static_cast<int32_t>(std::size(PropertyWords))}; }
TWordList PascalPackageWords() { return {PackageWords, static_cast<int32_t>(std::size(PackageWords))}; }
TWordList PascalExternalWords() { return {ExternalWords, static_cast<int32_t>(std::size(ExternalWords))}; }

bool REGISTERPASTOKENIZER(TEkInstance& Instance, const char* const* Words, int32_t Count) {
  static TEkSymbolTable CallerTable{};
  if (Words && Count > 0) {
    // A caller's own reserved words replace the built-in ones; the context words go with them.
    if (CallerTable.HashTable && Instance.EkFreeTables) Instance.EkFreeTables(&CallerTable, 1);
    if (!Instance.EkBuildTables || !Instance.EkBuildTables(&CallerTable, Words, Count, PascalBuckets, false, tcReserved))
      return false;
    RegisteredTables = TPasTables{&CallerTable, 1};
  } else {
    RegisteredTables = BuiltInTables();
  }
  PasTokenizer = TTokenizer{};
  PasTokenizer.SyntaxLang = slPascal;
  PasTokenizer.NTables = static_cast<uint8_t>(RegisteredTables.Count);
  PasTokenizer.SymTables = const_cast<TEkSymbolTable*>(RegisteredTables.Tables);
  PasTokenizer.FindReservedSymbol = FindReserved;
  PasTokenizer.Tokenize = TokenizeProc;
  PasTokenizer.CalcLineClass = LineClassProc;
  PasTokenizer.DestroyTokenizer = DestroyProc;
  PasTokenizer.EkInst = &Instance;
  return Instance.EkRegisterTokenizer && Instance.EkRegisterTokenizer(&PasTokenizer);
}

}  // namespace nxs
