#include "terminal/curses.h"

#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <term.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <cwchar>

#include "editor/keyboard/keycodes.h"
#include "shared/exceptions.h"
#include "terminal/keys.h"
#include "terminal/resstrings.h"
#include "shared/format.h"
#include "terminal/restore.h"

#undef Columns
#undef Lines

namespace nxs::term {

struct TCursesTerminal::TScreen {
  SCREEN* Screen = nullptr;
};

namespace {

// A capability's string, empty when the terminal lacks it.
std::string Capability(const char* Name) {
  char* S = tigetstr(const_cast<char*>(Name));
  if (S == nullptr || S == reinterpret_cast<char*>(-1)) return {};
  return S;
}

}  // namespace

TCursesTerminal::TCursesTerminal(FILE* In, FILE* Out, const char* Type) : F(std::make_unique<TScreen>()) {
  In = In ? In : stdin;
  Out = Out ? Out : stdout;
  FInFd = fileno(In);
  // Curses reads and writes characters in the locale's encoding: without the user's, every
  // character beyond ASCII is lost on the way in and shown as "?" on the way out.
  std::setlocale(LC_CTYPE, "");
  const char* Codeset = nl_langinfo(CODESET);
  FUtf8 = Codeset && std::strcmp(Codeset, "UTF-8") == 0;
  // Escape alone must not wait long for the key it might begin.
  ESCDELAY = 25;
  F->Screen = newterm(Type, Out, In);
  if (!F->Screen) throw Exception(Format(res::STermCannotStart, Type ? Type : (getenv("TERM") ? getenv("TERM") : "")));
  set_term(F->Screen);
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  meta(stdscr, TRUE);
  intrflush(stdscr, FALSE);
  if (has_colors()) {
    start_color();
    use_default_colors();
    FColors = COLORS;
  }
  mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED | BUTTON4_PRESSED | BUTTON5_PRESSED, nullptr);
  mouseinterval(0);
  // The modified arrows and editing keys the terminal describes: kUP5 is Ctrl+Up, and so on.
  static const struct {
    const char* Name;
    uint32_t VK;
  } Extended[] = {{"kUP", 0x26}, {"kDN", 0x28}, {"kLFT", 0x25}, {"kRIT", 0x27}, {"kHOM", 0x24},
                  {"kEND", 0x23}, {"kPRV", 0x21}, {"kNXT", 0x22}, {"kDC", 0x2E}, {"kIC", 0x2D}};
  static constexpr uint32_t Mods[] = {0, 0, kcShift, kcAlt, kcShift | kcAlt, kcCtrl, kcCtrl | kcShift, kcCtrl | kcAlt};
  for (const auto& E : Extended)
    for (int M = 2; M <= 7; ++M) {
      const std::string Seq = Capability((std::string(E.Name) + std::to_string(M)).c_str());
      const int Code = Seq.empty() ? 0 : key_defined(Seq.c_str());
      if (Code > 0) FExtendedKeys[Code] = E.VK | Mods[M];
    }
  int Pipe[2];
  if (::pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) == 0) FWakeRead = Pipe[0], FWakeWrite = Pipe[1];
  FShown.Resize(0, 0);
  // What puts the terminal back if the program ends without the destructor.
  std::string Restore = Capability("rmkx") + Capability("sgr0") + Capability("cnorm") + Capability("rmcup");
  if (!Capability("kmous").empty()) Restore += "\x1b[?1000l\x1b[?1002l\x1b[?1006l";
  ArmTerminalRestore(fileno(Out), Restore);
}

TCursesTerminal::~TCursesTerminal() {
  endwin();
  DisarmTerminalRestore();
  delscreen(F->Screen);
  if (FWakeRead >= 0) ::close(FWakeRead);
  if (FWakeWrite >= 0) ::close(FWakeWrite);
}

int TCursesTerminal::Rows() const { return LINES; }
int TCursesTerminal::Cols() const { return COLS; }

int TCursesTerminal::Pair(int16_t Fg, int16_t Bg) {
  if (FColors == 0 || (Fg < 0 && Bg < 0)) return 0;
  auto It = FPairs.find({Fg, Bg});
  if (It != FPairs.end()) return It->second;
  const int P = alloc_pair(Fg, Bg);
  FPairs[{Fg, Bg}] = P < 0 ? 0 : P;
  return P < 0 ? 0 : P;
}

void TCursesTerminal::DrawCell(int Row, int Col, const TCell& Cell) {
  attr_t A = A_NORMAL;
  if (Cell.Style.Attr & caBold) A |= A_BOLD;
  if (Cell.Style.Attr & caUnderline) A |= A_UNDERLINE;
  if (Cell.Style.Attr & caReverse) A |= A_REVERSE;
  if (Cell.Style.Attr & caItalic) A |= A_ITALIC;
  int P = Pair(Cell.Style.Fg, Cell.Style.Bg);
  wchar_t W[2] = {static_cast<wchar_t>(Cell.Ch), 0};
  // What the terminal's own width table would place otherwise than the editor's does not go
  // out as itself: a disagreement would move every cell after it.
  const int Want = Cell.Kind == TCellKind::WideLead ? 2 : 1;
  if ((!FUtf8 && Cell.Ch >= 0x80) || (Cell.Ch >= 0x80 && wcwidth(W[0]) != Want)) W[0] = L'?';
  cchar_t C;
  setcchar(&C, W, A, static_cast<short>(P > 0x7FFF ? 0 : P), &P);
  mvwadd_wch(stdscr, Row, Col, &C);
  if (Want == 2 && W[0] == L'?') {
    W[0] = L' ';
    setcchar(&C, W, A, static_cast<short>(P > 0x7FFF ? 0 : P), &P);
    mvwadd_wch(stdscr, Row, Col + 1, &C);
  }
}

void TCursesTerminal::Present(const TCellGrid& Frame, int CursorRow, int CursorCol) {
  const bool Whole = FShown.Rows() != Frame.Rows() || FShown.Cols() != Frame.Cols();
  for (int R = 0; R < Frame.Rows() && R < LINES; ++R) {
    const TCell* Row = Frame.Row(R);
    const TCell* Old = Whole ? nullptr : FShown.Row(R);
    for (int C = 0; C < Frame.Cols() && C < COLS; ++C) {
      if (Row[C].Kind == TCellKind::WideTail) continue;
      if (Old && Row[C] == Old[C] && (Row[C].Kind != TCellKind::WideLead || Row[C + 1] == Old[C + 1])) continue;
      // The last cell of the screen is left alone: writing it scrolls some terminals.
      if (R == LINES - 1 && C == COLS - 1) continue;
      DrawCell(R, C, Row[C]);
    }
  }
  FShown = Frame;
  if (CursorRow >= 0) {
    curs_set(1);
    wmove(stdscr, CursorRow, CursorCol);
  } else {
    curs_set(0);
  }
  wnoutrefresh(stdscr);
  doupdate();
}

void TCursesTerminal::Invalidate() {
  FShown.Resize(0, 0);
  clearok(curscr, TRUE);
}

void TCursesTerminal::Wake() {
  if (FWakeWrite < 0) return;
  const char B = 1;
  [[maybe_unused]] const ssize_t N = ::write(FWakeWrite, &B, 1);
}

TInputEvent TCursesTerminal::Translate(int Result, unsigned Ch) {
  TInputEvent E;
  if (Result == KEY_CODE_YES) {
    const int Code = static_cast<int>(Ch);
    if (Code == KEY_RESIZE) {
      E.Kind = TInputKind::Resize;
      return E;
    }
    if (Code == KEY_MOUSE) {
      MEVENT M{};
      if (getmouse(&M) != OK) return E;
      E.Kind = TInputKind::Mouse;
      E.Row = M.y, E.Col = M.x;
      E.Button = (M.bstate & BUTTON4_PRESSED) ? 4 : (M.bstate & BUTTON5_PRESSED) ? 5 : 1;
      return E;
    }
    auto It = FExtendedKeys.find(Code);
    const uint32_t Key = It != FExtendedKeys.end() ? It->second : CursesKey(Code);
    if (Key) E.Kind = TInputKind::Key, E.Key = Key;
    return E;
  }
  if (Ch == 0x1B) {
    // Escape then a character at once is that character with Alt.
    wtimeout(stdscr, ESCDELAY);
    wint_t Next = 0;
    const int R = wget_wch(stdscr, &Next);
    if (R == OK) return CharEvent(static_cast<char32_t>(Next), true);
    if (R == KEY_CODE_YES) {
      TInputEvent K = Translate(R, static_cast<unsigned>(Next));
      if (K.Kind == TInputKind::Key) K.Key |= kcAlt;
      return K;
    }
  }
  return CharEvent(static_cast<char32_t>(Ch), false);
}

TInputEvent TCursesTerminal::Read(int TimeoutMs) {
  wint_t Ch = 0;
  // Curses may hold keys already read from the descriptor: take those before waiting on it.
  wtimeout(stdscr, 0);
  int R = wget_wch(stdscr, &Ch);
  if (R == ERR) {
    pollfd P[2] = {{FInFd, POLLIN, 0}, {FWakeRead, POLLIN, 0}};
    const int N = ::poll(P, FWakeRead >= 0 ? 2 : 1, TimeoutMs);
    if (N > 0 && FWakeRead >= 0 && (P[1].revents & POLLIN)) {
      char Drain[64];
      while (::read(FWakeRead, Drain, sizeof Drain) > 0) {
      }
      return TInputEvent{TInputKind::Wake};
    }
    // A resize interrupts the wait; curses reports it as a key.
    wtimeout(stdscr, 0);
    R = wget_wch(stdscr, &Ch);
    if (R == ERR) return TInputEvent{};
  }
  return Translate(R, static_cast<unsigned>(Ch));
}

}  // namespace nxs::term
