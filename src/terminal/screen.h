// The terminal as the IDE sees it: a size, a number of colours, a way to show a frame of cells
// and a source of input events. The real one is the curses terminal (curses.h); tests and the
// benchmark drive the IDE through their own.
#pragma once

#include <cstdint>

#include "terminal/cells.h"

namespace nxs::term {

enum class TInputKind : uint8_t {
  None,    // nothing came in time
  Key,     // Key holds a key code (the keymaps' form: a virtual key with kcShift, kcCtrl, kcAlt)
  Char,    // Char holds a typed character no key code spells (beyond ASCII)
  Paste,   // (reserved) text pasted at once
  Mouse,   // Row, Col and Button (1 left, 4 wheel up, 5 wheel down)
  Resize,  // the terminal's size changed
  Wake,    // the main-thread queue has work
};

struct TInputEvent {
  TInputKind Kind = TInputKind::None;
  uint32_t Key = 0;
  char32_t Char = 0;
  int Row = 0, Col = 0, Button = 0;
};

class ITerminal {
 public:
  virtual ~ITerminal() = default;
  virtual int Rows() const = 0;
  virtual int Cols() const = 0;
  virtual int Colors() const = 0;
  // Shows the frame, sending only what differs from the frame shown before, and puts the
  // cursor at (Row, Col); a negative Row hides it.
  virtual void Present(const TCellGrid& Frame, int CursorRow, int CursorCol) = 0;
  // Forgets what the terminal shows, so that the next frame is sent whole (after a resize, or
  // when something else wrote to the terminal).
  virtual void Invalidate() = 0;
  // The next input event, waiting up to TimeoutMs (negative: until one comes).
  virtual TInputEvent Read(int TimeoutMs) = 0;
  // Makes a Read that waits return a Wake event; safe from any thread.
  virtual void Wake() = 0;
};

}  // namespace nxs::term
