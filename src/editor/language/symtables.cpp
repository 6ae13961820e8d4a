#include "editor/language/symtables.h"

#include <cstring>

namespace nxs {

namespace {

constexpr std::array<uint8_t, 256> MakeCharClasses() {
  std::array<uint8_t, 256> T{};
  for (int C = 0; C < 256; ++C) {
    uint8_t K = ccsOther;
    if (C < 32 || C == ' ' || C == 127) K = ccsBlank;
    if (C == '\n') K = ccsBreak;
    if ((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_') K = ccsLetter;
    if (C >= '0' && C <= '9') K = ccsDigit;
    if (C >= 128) K = ccsHigh;
    T[static_cast<size_t>(C)] = K;
  }
  return T;
}

unsigned char Lower(unsigned char C) { return (C >= 'A' && C <= 'Z') ? static_cast<unsigned char>(C + 32) : C; }

}  // namespace

const std::array<uint8_t, 256> CharClass = MakeCharClasses();

uint8_t FindSymbol(const TEkSymbolTable& Table, const char* Word, size_t Length, uint32_t Sum) {
  if (!Table.HashTable || Length < Table.MinLength || Length > Table.MaxLength || Length == 0) return 0;
  for (uint16_t N = Table.HashTable[SymbolBucket(Sum, Table.NBuckets)].NextCode; N;
       N = Table.HashTable[N - 1].NextCode) {
    const THashEntry& E = Table.HashTable[N - 1];
    if (E.SymLength != Length) continue;
    if (Table.CaseSignificant) {
      if (std::memcmp(E.Symbol, Word, Length) == 0) return Table.SyntaxCode;
      continue;
    }
    size_t I = 0;
    while (I < Length && Lower(static_cast<unsigned char>(E.Symbol[I])) == Lower(static_cast<unsigned char>(Word[I])))
      ++I;
    if (I == Length) return Table.SyntaxCode;
  }
  return 0;
}

uint8_t FindSymbol(const TEkSymbolTable& Table, const char* Word, size_t Length) {
  uint32_t Sum = 0;
  for (size_t I = 0; I < Length; ++I) {
    auto C = static_cast<unsigned char>(Word[I]);
    Sum += Table.CaseSignificant ? C : (C | 0x20u);
  }
  return FindSymbol(Table, Word, Length, Sum);
}

TEkSymbolTable TSymbolTableStore::Build(const char* const* Words, int32_t Count, uint16_t NBuckets,
                                        bool CaseSignificant, uint8_t SyntaxCode) {
  // Bucket heads first, then one entry per word, as the kernel lays its tables out. The words
  // themselves are the caller's static strings.
  size_t Entries = size_t(NBuckets) + size_t(Count);
  auto Storage = std::make_unique<THashEntry[]>(Entries);
  TEkSymbolTable T{};
  T.HashTable = Storage.get();
  T.NBuckets = NBuckets;
  T.MinLength = 0xFFFF;
  T.MaxLength = 0;
  T.CaseSignificant = CaseSignificant;
  T.SyntaxCode = SyntaxCode;
  for (int32_t I = 0; I < Count; ++I) {
    const char* W = Words[I];
    size_t Len = std::strlen(W);
    uint32_t Sum = 0;
    for (size_t K = 0; K < Len; ++K) Sum += CaseSignificant ? static_cast<unsigned char>(W[K]) : (static_cast<unsigned char>(W[K]) | 0x20u);
    THashEntry& E = Storage[NBuckets + I];
    E.Symbol = const_cast<char*>(W);  // never written: the table only reads its words
    E.SymLength = static_cast<uint16_t>(Len);
    uint32_t B = SymbolBucket(Sum, NBuckets);
    E.NextCode = Storage[B].NextCode;
    Storage[B].NextCode = static_cast<uint16_t>(NBuckets + I + 1);
    if (Len < T.MinLength) T.MinLength = static_cast<uint16_t>(Len);
    if (Len > T.MaxLength) T.MaxLength = static_cast<uint16_t>(Len);
  }
  if (Count == 0) T.MinLength = 0;
  FEntries.push_back(std::move(Storage));
  return T;
}

size_t StarCommentEnd(const char* Text, size_t From, size_t Length, char Last, bool& Closed) {
  Closed = false;
  while (From < Length) {
    const void* P = std::memchr(Text + From, '*', Length - From);
    if (!P) return Length;
    const size_t After = static_cast<size_t>(static_cast<const char*>(P) - Text) + 1;
    if (After < Length && Text[After] == Last) {
      Closed = true;
      return After + 1;
    }
    From = After;
  }
  return Length;
}

size_t LineEnd(const char* Text, size_t From, size_t Length) {
  const void* P = From < Length ? std::memchr(Text + From, '\n', Length - From) : nullptr;
  return P ? static_cast<size_t>(static_cast<const char*>(P) - Text) : Length;
}

}  // namespace nxs
