#include "terminal/keys.h"

#include <curses.h>

#include "editor/keyboard/keycodes.h"

namespace nxs::term {

namespace {

constexpr uint32_t vkBack = 0x08, vkTab = 0x09, vkReturn = 0x0D, vkEscape = 0x1B, vkSpace = 0x20, vkPrior = 0x21,
                   vkNext = 0x22, vkEnd = 0x23, vkHome = 0x24, vkLeft = 0x25, vkUp = 0x26, vkRight = 0x27,
                   vkDown = 0x28, vkInsert = 0x2D, vkDelete = 0x2E, vkF1 = 0x70;

// Punctuation by its key: the plain character and the shifted one (a US layout, as the
// keymaps assume).
struct TPunct {
  uint32_t VK;
  char Plain, Shifted;
};
constexpr TPunct Punctuation[] = {{0xBA, ';', ':'}, {0xBB, '=', '+'}, {0xBC, ',', '<'},  {0xBD, '-', '_'},
                                  {0xBE, '.', '>'}, {0xBF, '/', '?'}, {0xC0, '`', '~'},  {0xDB, '[', '{'},
                                  {0xDC, '\\', '|'}, {0xDD, ']', '}'}, {0xDE, '\'', '"'}};
constexpr char ShiftedDigits[] = ")!@#$%^&*(";

uint32_t AsciiKey(char C) {
  if (C >= 'a' && C <= 'z') return static_cast<uint32_t>(C - 32);
  if (C >= 'A' && C <= 'Z') return static_cast<uint32_t>(C) | kcShift;
  if (C >= '0' && C <= '9') return static_cast<uint32_t>(C);
  if (C == ' ') return vkSpace;
  for (int D = 0; D < 10; ++D)
    if (ShiftedDigits[D] == C) return static_cast<uint32_t>('0' + D) | kcShift;
  for (const TPunct& P : Punctuation) {
    if (P.Plain == C) return P.VK;
    if (P.Shifted == C) return P.VK | kcShift;
  }
  return 0;
}

}  // namespace

TInputEvent CharEvent(char32_t Ch, bool Alt) {
  TInputEvent E;
  E.Kind = TInputKind::Key;
  const uint32_t AltBit = Alt ? kcAlt : 0;
  switch (Ch) {
    // The terminal sends Enter as a carriage return; a line feed is Ctrl+J.
    case 0x0D: E.Key = vkReturn | AltBit; return E;
    case 0x09: E.Key = vkTab | AltBit; return E;
    case 0x1B: E.Key = vkEscape | AltBit; return E;
    case 0x08:
    case 0x7F: E.Key = vkBack | AltBit; return E;
    case 0x00: E.Key = vkSpace | kcCtrl | AltBit; return E;
    case 0x1C: E.Key = 0xDC | kcCtrl | AltBit; return E;
    case 0x1D: E.Key = 0xDD | kcCtrl | AltBit; return E;
    case 0x1E: E.Key = '6' | kcCtrl | kcShift | AltBit; return E;
    case 0x1F: E.Key = 0xBD | kcCtrl | kcShift | AltBit; return E;
    default: break;
  }
  if (Ch < 0x20) {
    E.Key = (static_cast<uint32_t>(Ch) + 0x40) | kcCtrl | AltBit;
    return E;
  }
  if (Ch < 0x80) {
    if (const uint32_t K = AsciiKey(static_cast<char>(Ch))) {
      E.Key = K | AltBit;
      return E;
    }
  }
  E.Kind = TInputKind::Char;
  E.Char = Ch;
  return E;
}

char32_t KeyChar(uint32_t Key) {
  if (Key & (kcCtrl | kcAlt)) return 0;
  const bool Shift = (Key & kcShift) != 0;
  const uint32_t VK = Key & 0xFF;
  if (VK >= 'A' && VK <= 'Z') return Shift ? VK : VK + 32;
  if (VK >= '0' && VK <= '9') return Shift ? static_cast<char32_t>(ShiftedDigits[VK - '0']) : VK;
  if (VK == vkSpace) return U' ';
  for (const TPunct& P : Punctuation)
    if (P.VK == VK) return static_cast<char32_t>(Shift ? P.Shifted : P.Plain);
  return 0;
}

uint32_t CursesKey(int Code) {
  if (Code >= KEY_F(1) && Code <= KEY_F(60)) {
    // F13 and up are the function keys with modifiers, twelve to a modifier.
    static constexpr uint32_t Mods[] = {0, kcShift, kcCtrl, kcCtrl | kcShift, kcAlt};
    const int N = Code - KEY_F(1);
    return (vkF1 + static_cast<uint32_t>(N % 12)) | Mods[N / 12];
  }
  switch (Code) {
    case KEY_UP: return vkUp;
    case KEY_DOWN: return vkDown;
    case KEY_LEFT: return vkLeft;
    case KEY_RIGHT: return vkRight;
    case KEY_HOME: return vkHome;
    case KEY_END: return vkEnd;
    case KEY_PPAGE: return vkPrior;
    case KEY_NPAGE: return vkNext;
    case KEY_IC: return vkInsert;
    case KEY_DC: return vkDelete;
    case KEY_BACKSPACE: return vkBack;
    case KEY_ENTER: return vkReturn;
    case KEY_BTAB: return vkTab | kcShift;
    case KEY_SR: return vkUp | kcShift;
    case KEY_SF: return vkDown | kcShift;
    case KEY_SLEFT: return vkLeft | kcShift;
    case KEY_SRIGHT: return vkRight | kcShift;
    case KEY_SHOME: return vkHome | kcShift;
    case KEY_SEND: return vkEnd | kcShift;
    case KEY_SPREVIOUS: return vkPrior | kcShift;
    case KEY_SNEXT: return vkNext | kcShift;
    case KEY_SDC: return vkDelete | kcShift;
    case KEY_SIC: return vkInsert | kcShift;
    default: return 0;
  }
}

}  // namespace nxs::term
