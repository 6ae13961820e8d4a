// What the terminal's keys become: the key codes the keymaps bind (a virtual key with the
// Shift, Ctrl and Alt bits), or a character that no key code spells.
#pragma once

#include <cstdint>

#include "terminal/screen.h"

namespace nxs::term {

// The event a typed character makes: a key code for ASCII and the control characters
// (Ctrl+letters, Enter, Tab, Backspace, Escape), with Alt when the terminal sent Escape before
// it; a Char event for what lies beyond ASCII.
TInputEvent CharEvent(char32_t Ch, bool Alt);

// The character a plain or shifted key code types, 0 for none: the reverse of CharEvent, as
// the prompt and the dialogs take text.
char32_t KeyChar(uint32_t Key);

// A function key of the curses key set (KEY_F(n), KEY_UP, KEY_SLEFT, KEY_BTAB ...) as a key
// code; 0 for one the keymaps cannot name.
uint32_t CursesKey(int Code);

}  // namespace nxs::term
