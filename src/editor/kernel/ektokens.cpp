// Tokenizer registrations and keyword hash tables.
#include "editor/kernel/ektokens.h"

#include <algorithm>
#include <array>
#include <string>
#include <cstring>
#include <iterator>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekdocument.h"

namespace nxs::ek {

namespace {

struct TTokenizerTable {
  std::array<TTokenizer*, 256> ByCode{};
  int HighestGiven = 0;  // syntax codes handed out by MakeSyntaxID
};

TTokenizerTable& Tokenizers() {
  static TTokenizerTable T;
  return T;
}

unsigned char Lower(unsigned char C) { return (C >= 'A' && C <= 'Z') ? C + 32 : C; }

uint32_t HashOf(const char* Symbol, int32_t Length, bool CaseSignificant, uint16_t NBuckets) {
  uint32_t H = 0;
  for (int32_t I = 0; I < Length; ++I) {
    auto C = static_cast<unsigned char>(Symbol[I]);
    H += CaseSignificant ? C : (C | 0x20);
  }
  return (NBuckets & (NBuckets - 1)) == 0 ? (H & (NBuckets - 1u)) : H % NBuckets;
}

}  // namespace

bool RegisterTokenizer(TTokenizer* Tokenizer) {
  if (!Tokenizer) return false;
  Tokenizers().ByCode[Tokenizer->SyntaxLang] = Tokenizer;
  return true;
}

bool TokenizerIsRegistered(uint8_t SyntaxLang) { return Tokenizers().ByCode[SyntaxLang] != nullptr; }

TTokenizer* FindTokenizer(uint8_t SyntaxLang) { return Tokenizers().ByCode[SyntaxLang]; }

uint8_t MakeSyntaxID() {
  // The next code above every code registered or handed out.
  TTokenizerTable& T = Tokenizers();
  int Highest = T.HighestGiven;
  for (int I = 0; I < 256; ++I)
    if (T.ByCode[I] && I > Highest) Highest = I;
  if (Highest >= 255) return 0;
  T.HighestGiven = Highest + 1;
  return static_cast<uint8_t>(Highest + 1);
}

void EnumRegisteredTokenizers(TEkEnumTokenizerProc Proc, void* Context) {
  if (!Proc) return;
  for (TTokenizer* T : Tokenizers().ByCode)
    if (T) Proc(Context, T);
}

bool BuildTables(TEkSymbolTable* Table, const char* const* Words, int32_t Count, uint16_t NBuckets,
                 bool CaseSignificant, uint8_t SyntaxCode) {
  if (!Table || Count < 0 || (Count > 0 && !Words) || NBuckets == 0 || Count > 65535 - NBuckets) return false;
  // Bucket heads first, then one entry per word; NextCode links entries (1-based, 0 ends).
  size_t Entries = size_t(NBuckets) + size_t(Count);
  auto* Hash = static_cast<THashEntry*>(KernelAlloc(Entries * sizeof(THashEntry)));
  if (!Hash) return false;
  std::memset(Hash, 0, Entries * sizeof(THashEntry));
  Table->HashTable = Hash;
  Table->NBuckets = NBuckets;
  Table->MinLength = 0xFFFF;
  Table->MaxLength = 0;
  Table->CaseSignificant = CaseSignificant;
  Table->SyntaxCode = SyntaxCode;
  for (int32_t I = 0; I < Count; ++I) {
    const char* W = Words[I] ? Words[I] : "";
    size_t Len = std::strlen(W);
    if (Len > 0xFFFF) Len = 0xFFFF;
    THashEntry& E = Hash[NBuckets + I];
    E.Symbol = static_cast<char*>(KernelAlloc(Len + 1));
    if (!E.Symbol) return false;
    std::memcpy(E.Symbol, W, Len);
    E.Symbol[Len] = 0;
    E.SymLength = static_cast<uint16_t>(Len);
    uint32_t B = HashOf(W, static_cast<int32_t>(Len), CaseSignificant, NBuckets);
    E.NextCode = Hash[B].NextCode;
    Hash[B].NextCode = static_cast<uint16_t>(NBuckets + I + 1);
    if (Len < Table->MinLength) Table->MinLength = static_cast<uint16_t>(Len);
    if (Len > Table->MaxLength) Table->MaxLength = static_cast<uint16_t>(Len);
  }
  if (Count == 0) Table->MinLength = 0;
  return true;
}

void FreeTables(TEkSymbolTable* Tables, int32_t Count) {
  if (!Tables) return;
  for (int32_t T = 0; T < Count; ++T) {
    TEkSymbolTable& Table = Tables[T];
    if (!Table.HashTable) continue;
    // Entries follow the heads; a head has no symbol of its own.
    for (uint32_t B = 0; B < Table.NBuckets; ++B)
      for (uint16_t N = Table.HashTable[B].NextCode; N; N = Table.HashTable[N - 1].NextCode) {
        KernelFree(Table.HashTable[N - 1].Symbol);
        Table.HashTable[N - 1].Symbol = nullptr;
      }
    KernelFree(Table.HashTable);
    Table.HashTable = nullptr;
  }
}

uint8_t LookupSymbol(const TEkSymbolTable& Table, const char* Symbol, int32_t Length) {
  if (!Table.HashTable || Length <= 0 || Length < Table.MinLength || Length > Table.MaxLength) return 0;
  uint32_t B = HashOf(Symbol, Length, Table.CaseSignificant, Table.NBuckets);
  for (uint16_t N = Table.HashTable[B].NextCode; N; N = Table.HashTable[N - 1].NextCode) {
    const THashEntry& E = Table.HashTable[N - 1];
    if (E.SymLength != Length) continue;
    bool Same = true;
    for (int32_t I = 0; I < Length && Same; ++I)
      Same = Table.CaseSignificant ? E.Symbol[I] == Symbol[I]
                                   : Lower(static_cast<unsigned char>(E.Symbol[I])) == Lower(static_cast<unsigned char>(Symbol[I]));
    if (Same) return Table.SyntaxCode;
  }
  return 0;
}

// ---- line classes ----

namespace {
constexpr uint8_t UnknownClass = 0xFF;  // no tokenizer gives it
}

void TLineClasses::Reset() {
  FClasses.clear();
  FClasses.shrink_to_fit();
  FStale.clear();
}

void TLineClasses::MarkStale(uint64_t Line) {
  auto It = std::lower_bound(FStale.begin(), FStale.end(), Line);
  if (It == FStale.end() || *It != Line) FStale.insert(It, Line);
}

void TLineClasses::Changed(uint64_t Line, int64_t LineDelta, uint64_t LastLine) {
  if (FClasses.empty()) return;
  if (Line >= FClasses.size()) {
    Reset();
    return;
  }
  const auto At = FClasses.begin() + static_cast<std::ptrdiff_t>(Line + 1);
  uint64_t Removed = 0;
  if (LineDelta > 0) {
    FClasses.insert(At, static_cast<size_t>(LineDelta), Stored(UnknownClass));
  } else if (LineDelta < 0) {
    Removed = std::min<uint64_t>(static_cast<uint64_t>(-LineDelta), FClasses.size() - Line - 1);
    FClasses.erase(At, At + static_cast<std::ptrdiff_t>(Removed));
  }
  std::vector<uint64_t> Moved;
  Moved.reserve(FStale.size() + 2);
  for (uint64_t S : FStale) {
    if (S <= Line) Moved.push_back(S);
    else if (LineDelta >= 0) Moved.push_back(S + static_cast<uint64_t>(LineDelta));
    else if (S > Line + Removed) Moved.push_back(S - Removed);
  }
  FStale = std::move(Moved);
  MarkStale(Line);
  if (LastLine > Line && LastLine < FClasses.size()) MarkStale(LastLine);
}

void TLineClasses::LinesChanged(const std::vector<uint64_t>& Lines) {
  if (FClasses.empty()) return;
  std::vector<uint64_t> Stale;
  Stale.reserve(FStale.size() + Lines.size());
  std::set_union(FStale.begin(), FStale.end(), Lines.begin(), Lines.end(), std::back_inserter(Stale));
  while (!Stale.empty() && Stale.back() >= FClasses.size()) Stale.pop_back();
  FStale = std::move(Stale);
}

uint8_t TLineClasses::StartClass(TEkDocument& Doc, TTokenizer& Tokenizer, uint64_t Line) {
  const uint64_t Lines = Doc.LineCount();
  FLastRetokenized = 0;
  if (FClasses.size() != Lines || FLang != Tokenizer.SyntaxLang) {
    // Fresh memory, all unknown without being written.
    FClasses = decltype(FClasses)(Lines);
    if (!FClasses.empty()) FClasses[0] = Stored(0);
    FStale.assign(1, 0);
    FLang = Tokenizer.SyntaxLang;
  }
  if (Line >= Lines || !Tokenizer.CalcLineClass) return 0;
  // Every unknown line has a stale line before it, so walking the stale lines in order reaches
  // each line with its start class known.
  while (!FStale.empty() && FStale.front() < Line) {
    const uint64_t D = FStale.front();
    FStale.erase(FStale.begin());
    const std::string Text = Doc.LineText(D);
    const int32_t Length = static_cast<int32_t>(std::min<size_t>(Text.size(), INT32_MAX));
    uint8_t End = Tokenizer.CalcLineClass(&Tokenizer, ClassOf(D), Text.data(), Length);
    if (End == UnknownClass) End = 0;
    ++FLastRetokenized;
    if (D + 1 < Lines && ClassOf(D + 1) != End) {
      FClasses[D + 1] = Stored(End);
      MarkStale(D + 1);
    }
  }
  return ClassOf(Line);
}

}  // namespace nxs::ek
