// The internal tokenizers: token classes, the line classes each language carries from one
// line to the next, and the scanners behind the kernel's tokenize and line-class procedures.
//
// A scanner reads text that may hold whole lines separated by "\n" (a file read from the top)
// or one line without its break (what the kernel paints). Everything a scanner knows at the end
// of a line is in the class it returns, so a line tokenized from the class carried on the line
// before it gets the same codes as the same line inside the whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "editor/kernel/ek.h"

namespace nxs {

// Token classes are the indices of the display elements that colour them.
inline constexpr uint8_t tcWhitespace = 0;
inline constexpr uint8_t tcComment = 1;
inline constexpr uint8_t tcReserved = 2;
inline constexpr uint8_t tcIdentifier = 3;
inline constexpr uint8_t tcSymbol = 4;
inline constexpr uint8_t tcString = 5;
inline constexpr uint8_t tcCharacter = 6;
inline constexpr uint8_t tcNumber = 7;
inline constexpr uint8_t tcFloat = 8;
inline constexpr uint8_t tcOctal = 9;
inline constexpr uint8_t tcHex = 10;
inline constexpr uint8_t tcAssembler = 11;
inline constexpr uint8_t tcHotLink = 12;
inline constexpr uint8_t tcTags = 13;
inline constexpr uint8_t tcAttributeName = 14;
inline constexpr uint8_t tcAttributeValue = 15;
inline constexpr uint8_t tcScripts = 16;
inline constexpr uint8_t tcPreprocessor = 19;
inline constexpr uint8_t tcIllegalChar = 20;
inline constexpr uint8_t tcPlainText = 21;

// The class no tokenizer returns: a line whose start class is not known yet.
inline constexpr uint8_t UnknownLineClass = 0xFF;

// Pascal line-class bits.
enum : uint8_t {
  pcBraceComment = 1,   // inside "{ ... }"
  pcParenComment = 2,   // inside "(* ... *)"
  pcPackage = 4,        // a package source: CONTAINS and REQUIRES are reserved
  pcProperty = 8,       // a property declaration, up to the next ";"
  pcAsm = 16,           // inside an asm block, up to its END
  pcExternal = 32,      // an external declaration, up to the next ";"
  pcDirective = 64,     // the open comment is a compiler directive ("{$" or "(*$")
};

// C-family line classes. C# adds its verbatim strings ("@" quoted), which run across lines.
// C, C++ and IDL go through the C preprocessor, which joins a line ending in a backslash to
// the next one: a "//" comment or a directive so ended goes on. A C++ raw string runs on to its
// own delimiter; its class is ccRawString plus the delimiter's number in the raw-string table
// (RawStringClass). Classes no tokenizer gave (1, 5 to 127 in C and C++, a raw-string number
// the table does not hold) read as normal text.
enum : uint8_t {
  ccNormal = 0,
  ccComment = 2,
  ccString = 3,         // a double-quoted string continued by a backslash at the line's end
  ccCharacter = 4,      // a single-quoted literal continued likewise
  ccVerbatim = 5,       // C# only
  ccLineComment = 128,  // a "//" comment continued by a backslash
  ccDirective = 129,    // a preprocessor line continued by a backslash
  ccRawString = 130,    // up to 254: a raw string running on
};
// The line class of a raw string whose delimiter is Delimiter (what stands between the quote
// and the parenthesis), entered in the process's raw-string table when it is new; ccNormal
// when the table is full. The table is shared by every buffer: a tokenizer is not told which
// buffer it reads, and a number means the same delimiter wherever it is carried.
uint8_t RawStringClass(std::string_view Delimiter);

// SQL line classes.
enum : uint8_t { sqNormal = 0, sqComment = 2 };
// SQL dialect options (SQLSETOPTIONS): double-quoted text is a string, not a quoted name.
inline constexpr uint32_t sqoDoubleQuotedStrings = 1;

enum class TCFamily : uint8_t { Cpp, CSharp, IDL };

// The scanners. Codes (one per byte of Text, may be nullptr) receive token classes; the result
// is the class the next line starts in. Classes a language does not know read as its normal
// state.
uint8_t ScanPascal(uint8_t Class, const char* Text, size_t Length, uint8_t* Codes);
uint8_t ScanC(TCFamily Family, uint8_t Class, const char* Text, size_t Length, uint8_t* Codes);
uint8_t ScanSQL(uint8_t Class, const char* Text, size_t Length, uint8_t* Codes);

// Word lists of the built-in tables.
struct TWordList {
  const char* const* Words;
  int32_t Count;
};
TWordList PascalReservedWords();
TWordList PascalPropertyWords();
TWordList PascalPackageWords();
TWordList PascalExternalWords();
TWordList CppReservedWords();
TWordList CSharpReservedWords();
TWordList IDLReservedWords();
// The SQL words as length-prefixed entries, ended by a zero length.
const unsigned char* SQLReservedWords();
int SQLReservedWordCount();

// Kernel registration, in the order start-up makes it. Each builds its symbol tables from the
// words given, or from its built-in lists when there are none, and registers its procedures.
bool REGISTERPASTOKENIZER(TEkInstance& Instance, const char* const* Words = nullptr, int32_t Count = 0);
bool REGISTERCTOKENIZER(TEkInstance& Instance, const char* const* Words = nullptr, int32_t Count = 0);
bool REGISTERIDLTOKENIZER(TEkInstance& Instance, const char* const* Words = nullptr, int32_t Count = 0);
bool REGISTERCSHARPTOKENIZER(TEkInstance& Instance, const char* const* Words = nullptr, int32_t Count = 0);
void SQLSETOPTIONS(uint32_t Options);
uint8_t SQLTOKENPROC(TTokenizer* Tokenizer, uint8_t StartClass, const char* Line, int32_t Length, uint8_t* Codes);
uint8_t SQLLINECLASS(TTokenizer* Tokenizer, uint8_t StartClass, const char* Line, int32_t Length);
// The SQL tokenizer record (code 3, no symbol tables).
TTokenizer& SQLTokenizer();
// Drops the tokenizers' tables (the kernel stopped).
void FreeInternalTokenizers();

// Fixed syntax codes of the internal tokenizers.
enum : uint8_t {
  slNone = 0,
  slCpp = 1,
  slPascal = 2,
  slSQL = 3,
  slIDL = 5,
  slCSharp = 6,
};

}  // namespace nxs
