// The character-class, case and memory callbacks that the editor kernel is started with:
// the kernel asks them whenever it classifies, maps or measures a character.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nxs {

void* EKMALLOC(size_t Size);
void EKFREE(void* P);
void* EKMEMMOVE(void* Dest, const void* Src, size_t Count);
uint32_t EKTOUPPER(uint32_t Ch);
uint32_t EKTOLOWER(uint32_t Ch);
bool EKISUPPER(uint32_t Ch);
bool EKISWORDCHAR(uint32_t Ch);
bool EKISWHITESPACE(uint32_t Ch);
bool EKISSPECIALCHAR(uint32_t Ch);
// Length of the UTF-8 sequence that the byte at P begins; 0 for nil.
int32_t EKGETMBCSLENGTH(const char* P);
// Screen columns of the UTF-8 character at P. Reads only as many bytes as the lead byte
// announces, so P must hold a whole sequence (the kernel passes whole lines).
int32_t EKGETCHARWIDTH(const char* P);

}  // namespace nxs
