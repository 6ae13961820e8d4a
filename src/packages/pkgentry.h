// The label a package's registration procedure is defined under. The loader looks for the
// exact name "@Unit@IDERegister$qqrv" (see RegistrationEntryName). GCC writes an assembler
// label as it is given, so the name goes in quotes for the assembler to take "@" and "$"; clang
// takes the label itself as the symbol's name, quotes and all, so it gets the bare name.
// GCC may move a function's unlikely blocks to a part named after the label with ".cold"
// appended, which the assembler cannot spell when the label is quoted (a sanitizer's unwinding
// cleanup is enough to make one): the entry is kept whole.
#pragma once

#if defined(__clang__)
#define NXS_ENTRY_LABEL(Symbol) __asm__(Symbol)
#else
#define NXS_ENTRY_LABEL(Symbol) \
  __asm__("\"" Symbol "\"") __attribute__((optimize("no-reorder-blocks-and-partition")))
#endif
