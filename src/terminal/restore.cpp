#include "terminal/restore.h"

#include <signal.h>
#include <termios.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "shared/signals.h"

namespace nxs::term {

namespace {

constexpr int CrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t MaxSequence = 512;

struct TRestoreState {
  std::atomic<bool> Armed{false};
  int Fd = -1;
  termios Mode{};
  bool HaveMode = false;
  char Sequence[MaxSequence] = {};
  size_t Length = 0;
  struct sigaction Previous[std::size(CrashSignals)] = {};
  TSignalCancelHook PreviousHook = nullptr;
};
TRestoreState State;

// Async-signal-safe: write and tcsetattr only.
void RestoreNow() {
  if (!State.Armed.exchange(false)) return;
  size_t Done = 0;
  while (Done < State.Length) {
    const ssize_t N = ::write(State.Fd, State.Sequence + Done, State.Length - Done);
    if (N <= 0) break;
    Done += static_cast<size_t>(N);
  }
  if (State.HaveMode) ::tcsetattr(State.Fd, TCSANOW, &State.Mode);
}

void OnCrash(int Signal) {
  RestoreNow();
  for (size_t I = 0; I < std::size(CrashSignals); ++I)
    if (CrashSignals[I] == Signal) ::sigaction(Signal, &State.Previous[I], nullptr);
  ::raise(Signal);
}

// After the process's handler removed its temporary files: the terminal back, then the
// signal's own end.
void OnStop(int Signal) {
  RestoreNow();
  ::signal(Signal, SIG_DFL);
  ::raise(Signal);
}

}  // namespace

void ArmTerminalRestore(int Fd, const std::string& Sequences) {
  State.Fd = Fd;
  State.HaveMode = ::tcgetattr(Fd, &State.Mode) == 0;
  State.Length = std::min(Sequences.size(), MaxSequence);
  std::memcpy(State.Sequence, Sequences.data(), State.Length);
  InstallSignalHandlers();
  State.PreviousHook = SetSignalCancelHook(OnStop);
  for (size_t I = 0; I < std::size(CrashSignals); ++I) {
    struct sigaction A {};
    A.sa_handler = OnCrash;
    sigemptyset(&A.sa_mask);
    A.sa_flags = SA_RESETHAND | SA_NODEFER;
    ::sigaction(CrashSignals[I], &A, &State.Previous[I]);
  }
  State.Armed = true;
}

void DisarmTerminalRestore() {
  if (!State.Armed.exchange(false)) return;
  SetSignalCancelHook(State.PreviousHook);
  for (size_t I = 0; I < std::size(CrashSignals); ++I) ::sigaction(CrashSignals[I], &State.Previous[I], nullptr);
}

}  // namespace nxs::term

namespace nxs::term {

TStderrRedirect::TStderrRedirect(const std::string& File) {
  const int Fd = ::open(File.empty() ? "/dev/null" : File.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (Fd < 0) return;
  std::fflush(stderr);
  FSaved = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
  ::dup2(Fd, 2);
  ::close(Fd);
}

TStderrRedirect::~TStderrRedirect() {
  if (FSaved < 0) return;
  std::fflush(stderr);
  ::dup2(FSaved, 2);
  ::close(FSaved);
}

}  // namespace nxs::term
