// A terminal for tests: a size that a test sets, the events it queues, and the frames shown.
#pragma once

#include <deque>

#include "terminal/screen.h"

namespace nxs::term::test {

class TFakeTerminal : public ITerminal {
 public:
  int Rows() const override { return FRows; }
  int Cols() const override { return FCols; }
  int Colors() const override { return 256; }
  void Present(const TCellGrid& Frame, int CursorRow, int CursorCol) override {
    Shown = Frame;
    this->CursorRow = CursorRow;
    this->CursorCol = CursorCol;
    ++Presents;
  }
  void Invalidate() override { ++Invalidations; }
  // The next queued event; Escape when the queue is empty, so that a dialog a test did not
  // expect ends instead of waiting.
  TInputEvent Read(int) override {
    if (Events.empty()) {
      ++ReadsPastEnd;
      return TInputEvent{TInputKind::Key, 0x1B};
    }
    TInputEvent E = Events.front();
    Events.pop_front();
    return E;
  }
  void Wake() override {}

  void Resize(int Rows, int Cols) { FRows = Rows, FCols = Cols; }
  std::string Row(int R) const { return Shown.RowText(R); }

  std::deque<TInputEvent> Events;
  TCellGrid Shown;
  int CursorRow = -1, CursorCol = -1;
  int Presents = 0, Invalidations = 0, ReadsPastEnd = 0;

 private:
  int FRows = 24, FCols = 80;
};

inline TInputEvent Key(uint32_t K) { return TInputEvent{TInputKind::Key, K}; }

}  // namespace nxs::term::test
