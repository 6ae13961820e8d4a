// The terminal's keys: non-canonical mode while watching, reads that never wait.
#include "shared/terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace nxs {

struct TTerminalKeys::TSavedMode {
  termios Mode;
};

TTerminalKeys::TTerminalKeys(const std::string& Device) {
  const int Fd = ::open(Device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Fd < 0) return;
  if (!::isatty(Fd)) {
    ::close(Fd);
    return;
  }
  FFd = Fd;
}

TTerminalKeys::~TTerminalKeys() {
  Watch(false);
  if (FFd >= 0) ::close(FFd);
}

void TTerminalKeys::Watch(bool On) {
  std::lock_guard G(FLock);
  if (FFd < 0 || On == (FSaved != nullptr)) return;
  if (!On) {
    ::tcsetattr(FFd, TCSANOW, &FSaved->Mode);
    FSaved.reset();
    return;
  }
  auto Saved = std::make_unique<TSavedMode>();
  if (::tcgetattr(FFd, &Saved->Mode) != 0) return;
  termios Raw = Saved->Mode;
  Raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  Raw.c_cc[VMIN] = 0;
  Raw.c_cc[VTIME] = 0;
  if (::tcsetattr(FFd, TCSANOW, &Raw) != 0) return;
  FSaved = std::move(Saved);
}

bool TTerminalKeys::EscapePressed() {
  std::lock_guard G(FLock);
  if (FFd < 0) return false;
  bool Escape = false;
  unsigned char Buf[64];
  for (ssize_t N; (N = ::read(FFd, Buf, sizeof Buf)) > 0;) {
    for (ssize_t I = 0; I < N; ++I) {
      if (Buf[I] != 0x1B) continue;
      const bool Sequence = I + 1 < N && (Buf[I + 1] == '[' || Buf[I + 1] == 'O');
      if (!Sequence) Escape = true;
    }
  }
  return Escape;
}

}  // namespace nxs
