// Helpers of the tokenizer tests: class maps that read as text, lines tokenized from carried
// classes, and the check that a whole text and its lines tokenize alike.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "editor/language/tokens.h"

namespace nxs::tokentest {

using TScan = uint8_t (*)(uint8_t Class, const char* Text, size_t Length, uint8_t* Codes);

inline uint8_t Pascal(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanPascal(K, T, N, C); }
inline uint8_t Cpp(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanC(TCFamily::Cpp, K, T, N, C); }
inline uint8_t CSharp(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanC(TCFamily::CSharp, K, T, N, C); }
inline uint8_t IDL(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanC(TCFamily::IDL, K, T, N, C); }
inline uint8_t SQL(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanSQL(K, T, N, C); }

// One letter per class: blank for whitespace, c comment, r reserved word, i identifier, s symbol,
// S string, C character, n number, f float, o octal, h hex, a assembler, p preprocessor,
// x illegal character, t tag, N attribute name, V attribute value, j script, . plain text.
inline char Letter(uint8_t Code) {
  switch (Code) {
    case tcWhitespace: return ' ';
    case tcComment: return 'c';
    case tcReserved: return 'r';
    case tcIdentifier: return 'i';
    case tcSymbol: return 's';
    case tcString: return 'S';
    case tcCharacter: return 'C';
    case tcNumber: return 'n';
    case tcFloat: return 'f';
    case tcOctal: return 'o';
    case tcHex: return 'h';
    case tcAssembler: return 'a';
    case tcPreprocessor: return 'p';
    case tcIllegalChar: return 'x';
    case tcTags: return 't';
    case tcAttributeName: return 'N';
    case tcAttributeValue: return 'V';
    case tcScripts: return 'j';
    case tcPlainText: return '.';
    default: return '?';
  }
}

inline std::string Letters(const std::vector<uint8_t>& Codes, size_t From, size_t To) {
  std::string R;
  for (size_t I = From; I < To; ++I) R += Letter(Codes[I]);
  return R;
}

inline std::string Map(TScan Scan, std::string_view Line, uint8_t Start = 0) {
  std::vector<uint8_t> Codes(Line.size() + 1, 0xEE);
  Scan(Start, Line.data(), Line.size(), Codes.data());
  return Letters(Codes, 0, Line.size());
}

inline uint8_t EndClass(TScan Scan, uint8_t Start, std::string_view Line) {
  return Scan(Start, Line.data(), Line.size(), nullptr);
}

// Each line tokenized from the class the one before it left.
inline std::vector<std::string> Lines(TScan Scan, const std::vector<std::string>& Text, uint8_t Start = 0) {
  std::vector<std::string> R;
  for (const auto& L : Text) {
    R.push_back(Map(Scan, L, Start));
    Start = EndClass(Scan, Start, L);
  }
  return R;
}

// Tokenizes Text whole and line by line (lines split at "\n", a "\r" before it dropped) and
// expects the same classes for every byte, the same carried classes with and without codes,
// and the same class at the end.
inline void ExpectAgreement(TScan Scan, std::string_view Raw, const std::string& Name) {
  std::vector<std::string> Lines;
  size_t From = 0;
  while (true) {
    size_t Break = Raw.find('\n', From);
    std::string L(Raw.substr(From, Break == std::string_view::npos ? std::string_view::npos : Break - From));
    if (!L.empty() && L.back() == '\r') L.pop_back();
    Lines.push_back(std::move(L));
    if (Break == std::string_view::npos) break;
    From = Break + 1;
  }
  std::string Whole;
  for (size_t I = 0; I < Lines.size(); ++I) {
    if (I) Whole += '\n';
    Whole += Lines[I];
  }
  std::vector<uint8_t> WholeCodes(Whole.size() + 1, 0xEE);
  const uint8_t WholeEnd = Scan(0, Whole.data(), Whole.size(), WholeCodes.data());
  uint8_t Class = 0;
  size_t Offset = 0;
  for (size_t I = 0; I < Lines.size(); ++I) {
    const std::string& L = Lines[I];
    std::vector<uint8_t> Codes(L.size() + 1, 0xEE);
    const uint8_t Next = Scan(Class, L.data(), L.size(), Codes.data());
    const uint8_t Bare = Scan(Class, L.data(), L.size(), nullptr);
    ASSERT_EQ(+Next, +Bare) << Name << " line " << I + 1 << ": " << L;
    ASSERT_EQ(Letters(Codes, 0, L.size()), Letters(WholeCodes, Offset, Offset + L.size()))
        << Name << " line " << I + 1 << " from class " << +Class << ": " << L;
    Class = Next;
    Offset += L.size() + 1;
  }
  EXPECT_EQ(+Class, +WholeEnd) << Name;
}

}  // namespace nxs::tokentest
