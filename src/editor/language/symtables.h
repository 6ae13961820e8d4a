// Reserved-word tables in the kernel's symbol-table layout, built and searched by the
// tokenizers without a running kernel, and the character classes the scanners share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "editor/kernel/ek.h"

namespace nxs {

// Bucket of a word: the sum of its bytes (each OR 0x20 when case does not matter), reduced to
// the table's size. The kernel hashes its tables the same way.
inline uint32_t SymbolBucket(uint32_t Sum, uint16_t NBuckets) {
  return (NBuckets & (NBuckets - 1)) == 0 ? (Sum & (NBuckets - 1u)) : Sum % NBuckets;
}

// The syntax code of the word whose byte sum is Sum, 0 when the table does not hold it.
uint8_t FindSymbol(const TEkSymbolTable& Table, const char* Word, size_t Length, uint32_t Sum);
uint8_t FindSymbol(const TEkSymbolTable& Table, const char* Word, size_t Length);

// Owns the storage of tables it builds; a table stays valid as long as its builder.
class TSymbolTableStore {
 public:
  TSymbolTableStore() = default;
  TSymbolTableStore(const TSymbolTableStore&) = delete;  // tables point into it
  TSymbolTableStore& operator=(const TSymbolTableStore&) = delete;
  TEkSymbolTable Build(const char* const* Words, int32_t Count, uint16_t NBuckets, bool CaseSignificant,
                       uint8_t SyntaxCode);

 private:
  std::vector<std::unique_ptr<THashEntry[]>> FEntries;
};

// Character classes of the scanners.
enum : uint8_t {
  ccsOther = 0,
  ccsBlank = 1,   // space, tab, control characters
  ccsLetter = 2,  // letters and "_"
  ccsDigit = 3,
  ccsHigh = 4,    // bytes of multi-byte characters
  ccsBreak = 5,   // "\n"
};
extern const std::array<uint8_t, 256> CharClass;

inline bool IsWordChar(unsigned char C) {
  uint8_t K = CharClass[C];
  return K == ccsLetter || K == ccsDigit;
}
inline bool IsHexDigit(unsigned char C) {
  return (C >= '0' && C <= '9') || ((C | 0x20) >= 'a' && (C | 0x20) <= 'f');
}

// Fills Codes[From, To) with Code when Codes is given.
inline void Paint(uint8_t* Codes, size_t From, size_t To, uint8_t Code) {
  if (Codes && To > From) __builtin_memset(Codes + From, Code, To - From);
}

// The end of a comment closed by "*" and Last ("*/", "*)") whose body starts at From: just past
// the closer, or Length when the comment runs on (Closed tells which).
size_t StarCommentEnd(const char* Text, size_t From, size_t Length, char Last, bool& Closed);

// The end of the line that holds From: the next "\n" or Length.
size_t LineEnd(const char* Text, size_t From, size_t Length);

}  // namespace nxs
