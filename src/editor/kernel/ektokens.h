// The kernel's tokenizer registry and keyword tables. Tokenizers register here; painting asks
// them for syntax codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "editor/kernel/ek.h"
#include "shared/largeblock.h"

namespace nxs::ek {

bool RegisterTokenizer(TTokenizer* Tokenizer);
bool TokenizerIsRegistered(uint8_t SyntaxLang);
uint8_t MakeSyntaxID();
void EnumRegisteredTokenizers(TEkEnumTokenizerProc Proc, void* Context);
TTokenizer* FindTokenizer(uint8_t SyntaxLang);
bool BuildTables(TEkSymbolTable* Table, const char* const* Words, int32_t Count, uint16_t NBuckets,
                 bool CaseSignificant, uint8_t SyntaxCode);
void FreeTables(TEkSymbolTable* Tables, int32_t Count);
// The syntax code of Symbol in the table, 0 when it is not there.
uint8_t LookupSymbol(const TEkSymbolTable& Table, const char* Symbol, int32_t Length);

}  // namespace nxs::ek

namespace nxs::ek {

class TEkDocument;

// The class each line of a document starts in, one byte a line, for the document's tokenizer.
// An edit marks its first line stale; bringing a line up to date re-tokenizes from the first
// stale line before it and stops as soon as a line ends in the class the next line already had
// (the rest of the text is as it was). Lines nobody asked about stay unknown.
class TLineClasses {
 public:
  // Forget everything: the text was replaced or the tokenizer changed.
  void Reset();
  // The text of Line (from 0) changed and LineDelta lines were added after it (removed when
  // negative); LastLine is the last line the change touched, after it.
  void Changed(uint64_t Line, int64_t LineDelta, uint64_t LastLine);
  // The texts of Lines (ascending) changed, and no line was added or removed.
  void LinesChanged(const std::vector<uint64_t>& Lines);
  // The class Line starts in, re-tokenizing what an edit made stale before it.
  uint8_t StartClass(TEkDocument& Doc, TTokenizer& Tokenizer, uint64_t Line);
  // Lines re-tokenized by the last StartClass, and the bytes the classes take.
  uint64_t LastRetokenized() const { return FLastRetokenized; }
  size_t MemoryBytes() const { return FClasses.capacity() + FStale.capacity() * sizeof(uint64_t); }

 private:
  void MarkStale(uint64_t Line);
  // A class is kept inverted, so that the zero bytes a fresh list starts with read as
  // unknown: the first screen of a long text does not write a byte for each of its lines.
  static uint8_t Stored(uint8_t Class) { return static_cast<uint8_t>(~Class); }
  uint8_t ClassOf(uint64_t Line) const { return static_cast<uint8_t>(~FClasses[Line]); }
  std::vector<uint8_t, THugePageAllocator<uint8_t>> FClasses;  // empty until a tokenizer first asks
  std::vector<uint64_t> FStale;   // ascending: lines whose end class must be worked out again
  uint8_t FLang = 0;
  uint64_t FLastRetokenized = 0;
};

}  // namespace nxs::ek
