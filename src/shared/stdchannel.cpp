#include "shared/stdchannel.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace nxs {

TStdioChannel::TStdioChannel() {
  std::fflush(stdout);
  FOut = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (FOut >= 0) ::dup2(STDERR_FILENO, STDOUT_FILENO);
  // A client that goes away must not take the process with it before it can clean up.
  std::signal(SIGPIPE, SIG_IGN);
}

TStdioChannel::~TStdioChannel() {
  if (FOut >= 0) ::close(FOut);
}

size_t TStdioChannel::Read(char* Buffer, size_t Size) {
  for (;;) {
    const ssize_t N = ::read(STDIN_FILENO, Buffer, Size);
    if (N >= 0) return static_cast<size_t>(N);
    if (errno != EINTR) return 0;
  }
}

bool TStdioChannel::Write(std::string_view Data) {
  if (FOut < 0) return false;
  while (!Data.empty()) {
    const ssize_t N = ::write(FOut, Data.data(), Data.size());
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    Data.remove_prefix(static_cast<size_t>(N));
  }
  return true;
}

}  // namespace nxs
