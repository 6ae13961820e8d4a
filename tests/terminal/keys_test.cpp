// What the terminal's bytes and curses codes become as key codes, and back as typed text.
#include "terminal/keys.h"

#include <curses.h>
#include <gtest/gtest.h>

#include "editor/keyboard/keycodes.h"

namespace nxs::term {
namespace {

std::string Name(const TInputEvent& E) { return E.Kind == TInputKind::Key ? KeyName(E.Key) : "char"; }

TEST(TerminalKeys, ControlCharactersAndAltAreTheKeysTheKeymapsName) {
  EXPECT_EQ(Name(CharEvent(0x13, false)), "Ctrl+S");
  EXPECT_EQ(Name(CharEvent(0x0D, false)), "Enter");
  EXPECT_EQ(Name(CharEvent(0x0A, false)), "Ctrl+J");
  EXPECT_EQ(Name(CharEvent(0x09, false)), "Tab");
  EXPECT_EQ(Name(CharEvent(0x7F, false)), "Backspace");
  EXPECT_EQ(Name(CharEvent(0x1B, false)), "Esc");
  EXPECT_EQ(Name(CharEvent(0x00, false)), "Ctrl+Space");
  EXPECT_EQ(Name(CharEvent('x', true)), "Alt+X");
  EXPECT_EQ(Name(CharEvent('X', true)), "Shift+Alt+X");
  EXPECT_EQ(Name(CharEvent(0x0B, true)), "Ctrl+Alt+K");
  EXPECT_EQ(Name(CharEvent('{', false)), "Shift+[");
  EXPECT_EQ(CharEvent(U'\u00e9', false).Kind, TInputKind::Char);
}

TEST(TerminalKeys, EveryPrintableAsciiCharacterComesBackFromItsKey) {
  for (char32_t C = 0x20; C < 0x7F; ++C) {
    const TInputEvent E = CharEvent(C, false);
    ASSERT_EQ(E.Kind, TInputKind::Key) << static_cast<int>(C);
    EXPECT_EQ(KeyChar(E.Key), C) << static_cast<int>(C);
  }
  EXPECT_EQ(KeyChar(ParseKey("Ctrl+A").value()), 0u);
}

TEST(TerminalKeys, FunctionKeysCarryTheirModifiers) {
  EXPECT_EQ(KeyName(CursesKey(KEY_F(10))), "F10");
  EXPECT_EQ(KeyName(CursesKey(KEY_F(21))), "Shift+F9");
  EXPECT_EQ(KeyName(CursesKey(KEY_F(33))), "Ctrl+F9");
  EXPECT_EQ(KeyName(CursesKey(KEY_F(56))), "Alt+F8");
  EXPECT_EQ(KeyName(CursesKey(KEY_BTAB)), "Shift+Tab");
  EXPECT_EQ(KeyName(CursesKey(KEY_SRIGHT)), "Shift+Right");
  EXPECT_EQ(CursesKey(KEY_MOUSE), 0u);
}

}  // namespace
}  // namespace nxs::term
