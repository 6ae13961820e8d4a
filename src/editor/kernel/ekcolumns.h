// Character classes and display columns inside the kernel: the callbacks EK_INIT was given
// (or the kernel's own), tab stops from the tab rack, and screen column <-> byte conversions.
#pragma once

#include <cstdint>
#include <string_view>

#include "editor/kernel/ek.h"

namespace nxs::ek {

struct TCallbacks {
  TEkMalloc Malloc = nullptr;
  TEkFree Free = nullptr;
  TEkMemMove MemMove = nullptr;
  TEkCharMap ToUpper = nullptr;
  TEkCharMap ToLower = nullptr;
  TEkCharTest IsUpper = nullptr;
  TEkCharTest IsWordChar = nullptr;
  TEkCharTest IsWhiteSpace = nullptr;
  TEkCharTest IsSpecialChar = nullptr;
  TEkCharProbe GetMbcsLength = nullptr;
  TEkCharProbe GetCharWidth = nullptr;
};

// The process-wide callbacks (set by EK_INIT).
TCallbacks& Callbacks();

void* KernelAlloc(size_t Size);
void KernelFree(void* P);
uint32_t ToUpper(uint32_t Ch);
uint32_t ToLower(uint32_t Ch);
bool IsWordChar(uint32_t Ch);
bool IsWhite(uint32_t Ch);
// Display columns of the character at S[I] (a tab is not asked here).
int CharWidth(std::string_view S, size_t I);

// The first tab stop after Col (columns from 1).
int64_t NextTabStop(const TTabRack& Rack, int64_t Col);
int64_t PrevTabStop(const TTabRack& Rack, int64_t Col);
// A rack is valid when its length fits and its stops increase from 1 up.
bool ValidTabRack(const TTabRack& Rack);

// Screen column (from 1) at which byte Col of the line begins; past the end a byte counts one column.
int64_t ColumnOfByte(std::string_view Line, uint64_t Col, const TTabRack& Rack);
// The byte at screen column Column: the start of the character covering it. Past the line's
// end gives Line.size() and sets Beyond to the columns left over.
// Start, when given, gets the column at which that character begins.
uint64_t ByteOfColumn(std::string_view Line, int64_t Column, const TTabRack& Rack, int64_t& Beyond,
                      int64_t* Start = nullptr);

}  // namespace nxs::ek
