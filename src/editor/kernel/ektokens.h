// The kernel's tokenizer registry and keyword tables. Tokenizers register here; painting asks
// them for syntax codes.
#pragma once

#include <cstdint>

#include "editor/kernel/ek.h"

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
