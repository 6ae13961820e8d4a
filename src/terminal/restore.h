// Giving the terminal back when the IDE ends without its orderly shutdown: on SIGTERM, SIGHUP
// and SIGINT (after the process's handler has removed the temporary files of writes in
// progress) and on a crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT). The mode the shell had
// and the sequences that leave the full-screen mode are stored before they are needed, so
// that the handlers only write them and set the mode back, which is safe in a signal
// handler; the signal then ends the program as it would have.
#pragma once

#include <string>

namespace nxs::term {

// Arms the restore for the terminal on Fd: its current mode and the sequences to send.
void ArmTerminalRestore(int Fd, const std::string& Sequences);
// The orderly shutdown has given the terminal back: the handlers do nothing more.
void DisarmTerminalRestore();

}  // namespace nxs::term

namespace nxs::term {

// Sends what the process writes to standard error into File (appended; /dev/null when
// empty) while it lives, and back where it went before when it goes: a message written to
// the terminal under the screen would scramble it.
class TStderrRedirect {
 public:
  explicit TStderrRedirect(const std::string& File);
  ~TStderrRedirect();
  TStderrRedirect(const TStderrRedirect&) = delete;  // owns the saved descriptor
  TStderrRedirect& operator=(const TStderrRedirect&) = delete;

 private:
  int FSaved = -1;
};

}  // namespace nxs::term
