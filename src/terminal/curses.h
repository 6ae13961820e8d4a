// The terminal through curses: frames shown by sending only the cells that changed, keys read
// as key codes (with the modified arrows and function keys the terminal describes), the mouse
// where the terminal reports it, and a wake-up pipe through which other threads interrupt a
// wait for input.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "terminal/screen.h"

namespace nxs::term {

class TCursesTerminal : public ITerminal {
 public:
  // The terminal on In and Out (the process's standard streams by default), of type Type
  // (nullptr: $TERM). Raises Exception when curses cannot start on it.
  explicit TCursesTerminal(FILE* In = nullptr, FILE* Out = nullptr, const char* Type = nullptr);
  ~TCursesTerminal() override;
  TCursesTerminal(const TCursesTerminal&) = delete;  // owns the curses screen
  TCursesTerminal& operator=(const TCursesTerminal&) = delete;

  int Rows() const override;
  int Cols() const override;
  int Colors() const override { return FColors; }
  void Present(const TCellGrid& Frame, int CursorRow, int CursorCol) override;
  void Invalidate() override;
  TInputEvent Read(int TimeoutMs) override;
  void Wake() override;

 private:
  TInputEvent Translate(int Result, unsigned Ch);
  void DrawCell(int Row, int Col, const TCell& Cell);
  int Pair(int16_t Fg, int16_t Bg);

  struct TScreen;
  std::unique_ptr<TScreen> F;
  TCellGrid FShown;
  int FColors = 0;
  bool FUtf8 = false;
  int FWakeRead = -1, FWakeWrite = -1;
  int FInFd = 0;
  std::map<int, uint32_t> FExtendedKeys;  // curses codes of modified keys
  std::map<std::pair<int16_t, int16_t>, int> FPairs;
};

}  // namespace nxs::term
