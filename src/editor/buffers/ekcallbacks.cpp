// Kernel callbacks: letters, digits and case come from the C library's classification in a
// UTF-8 locale (ASCII only when the process cannot get one).
#include "editor/buffers/ekcallbacks.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <locale.h>
#include <string_view>
#include <wctype.h>

#include "editor/buffers/charwidth.h"

namespace nxs {

namespace {

locale_t Utf8Locale() {
  static const locale_t L = [] {
    locale_t Loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!Loc) Loc = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
    return Loc;
  }();
  return L;
}

bool IsAlnum(uint32_t Ch) {
  if (Ch < 0x80) return (Ch >= '0' && Ch <= '9') || ((Ch | 0x20) >= 'a' && (Ch | 0x20) <= 'z');
  locale_t L = Utf8Locale();
  return L && iswalnum_l(static_cast<wint_t>(Ch), L);
}

// The UTF-8 length of a code point.
int Utf8Length(uint32_t Ch) { return Ch < 0x80 ? 1 : Ch < 0x800 ? 2 : 3; }

// A one-character case mapping is kept only when it does not change the character's byte
// length: the kernel maps text in place.
uint32_t KeepLength(uint32_t Ch, uint32_t Mapped) { return Utf8Length(Mapped) == Utf8Length(Ch) ? Mapped : Ch; }

}  // namespace

void* EKMALLOC(size_t Size) { return std::malloc(Size ? Size : 1); }

void EKFREE(void* P) { std::free(P); }

void* EKMEMMOVE(void* Dest, const void* Src, size_t Count) { return std::memmove(Dest, Src, Count); }

uint32_t EKTOUPPER(uint32_t Ch) {
  if (Ch > 0xFFFF) return Ch;
  if (Ch < 0x80) return (Ch >= 'a' && Ch <= 'z') ? Ch - 32 : Ch;
  locale_t L = Utf8Locale();
  return L ? KeepLength(Ch, static_cast<uint32_t>(towupper_l(static_cast<wint_t>(Ch), L))) : Ch;
}

uint32_t EKTOLOWER(uint32_t Ch) {
  if (Ch > 0xFFFF) return Ch;
  if (Ch < 0x80) return (Ch >= 'A' && Ch <= 'Z') ? Ch + 32 : Ch;
  locale_t L = Utf8Locale();
  return L ? KeepLength(Ch, static_cast<uint32_t>(towlower_l(static_cast<wint_t>(Ch), L))) : Ch;
}

bool EKISUPPER(uint32_t Ch) {
  if (Ch > 0xFFFF) return false;
  if (Ch < 0x80) return Ch >= 'A' && Ch <= 'Z';
  locale_t L = Utf8Locale();
  return L && iswupper_l(static_cast<wint_t>(Ch), L);
}

bool EKISWORDCHAR(uint32_t Ch) {
  if (Ch > 0xFFFF) return false;
  if (Ch == '_' || IsAlnum(Ch)) return true;
  return (Ch >= 0x3041 && Ch <= 0x3094) || (Ch >= 0x30A1 && Ch <= 0x30FE) || (Ch >= 0x3400 && Ch <= 0x9FA5);
}

bool EKISWHITESPACE(uint32_t Ch) { return Ch == 9 || Ch == 32; }

bool EKISSPECIALCHAR(uint32_t Ch) { return !EKISWORDCHAR(Ch) && Ch != 9 && Ch != 32; }

int32_t EKGETMBCSLENGTH(const char* P) {
  if (!P) return 0;
  return Utf8SequenceLength(static_cast<unsigned char>(*P));
}

int32_t EKGETCHARWIDTH(const char* P) {
  if (!P) return 0;
  const auto Lead = static_cast<unsigned char>(*P);
  if (Lead < 0x80) return 1;
  const int Len = Utf8SequenceLength(Lead);
  if (Len == 1) return GetUCS4CharWidth(0x20);
  uint32_t Ch;
  bool Valid;
  // Stop at a terminating zero: a sequence is never read past it.
  size_t Avail = 0;
  while (Avail < static_cast<size_t>(Len) && P[Avail] != 0) ++Avail;
  DecodeUtf8(std::string_view(P, Avail), Ch, Valid);
  return GetUCS4CharWidth(Valid ? Ch : 0x20);
}

}  // namespace nxs
