#include "gdbmi/misession.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <future>
#include <thread>

#include "gdbmi/gdbstrings.h"
#include "shared/format.h"

namespace nxs::gdbmi {

namespace {

// A line of gdb's output longer than this is no record the session needs (gdb bounds what it
// prints); its rest is dropped up to the next line break, so that a runaway line cannot use
// memory without bound.
constexpr size_t MaxLine = 64u << 20;

void CloseFd(int& Fd) {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

// Program as found in PATH (as execvp would look); empty when there is none to run.
std::string FindProgram(const std::string& Program) {
  if (Program.find('/') != std::string::npos) return ::access(Program.c_str(), X_OK) == 0 ? Program : std::string();
  const char* Path = std::getenv("PATH");
  std::string_view Dirs = Path ? Path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const size_t Colon = Dirs.find(':');
    std::string Dir(Dirs.substr(0, Colon));
    if (Dir.empty()) Dir = ".";
    const std::string Candidate = Dir + "/" + Program;
    struct stat St {};
    if (::stat(Candidate.c_str(), &St) == 0 && S_ISREG(St.st_mode) && ::access(Candidate.c_str(), X_OK) == 0)
      return Candidate;
    if (Colon == std::string_view::npos) return {};
    Dirs.remove_prefix(Colon + 1);
  }
}

std::string DescribeExit(int Status) {
  if (WIFSIGNALED(Status)) return Format(SGdbKilled, WTERMSIG(Status));
  return Format(SGdbExited, WIFEXITED(Status) ? WEXITSTATUS(Status) : -1);
}

}  // namespace

TGdbSession::TGdbSession(TRecordHandler OnRecord, TOutputHandler OnOutput, TGdbOptions Options)
    : FOnRecord(std::move(OnRecord)), FOnOutput(std::move(OnOutput)), FOptions(std::move(Options)) {}

TGdbSession::~TGdbSession() { Stop(); }

void TGdbSession::Start() {
  // The program's terminal: raw, so that its output arrives as written, and held open on
  // both sides, so that it outlives each run of the program.
  FTerminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char Name[128] = {};
  if (FTerminal < 0 || ::grantpt(FTerminal) != 0 || ::unlockpt(FTerminal) != 0 ||
      ::ptsname_r(FTerminal, Name, sizeof Name) != 0)
    throw EGdbError(Format(SNoTerminal, std::strerror(errno)));
  FTerminalName = Name;
  termios Raw{};
  if (::tcgetattr(FTerminal, &Raw) == 0) {
    ::cfmakeraw(&Raw);
    ::tcsetattr(FTerminal, TCSANOW, &Raw);
  }
  FTerminalSlave = ::open(Name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  ::fcntl(FTerminal, F_SETFL, ::fcntl(FTerminal, F_GETFL) | O_NONBLOCK);
  if (::pipe2(FWake, O_CLOEXEC) != 0) throw EGdbError(Format(SNoTerminal, std::strerror(errno)));

  // gdb is started by the reader thread: the kernel kills a child whose parent thread ends,
  // and that thread lives exactly as long as the session.
  std::promise<void> Started;
  std::future<void> Result = Started.get_future();
  FReader = std::thread([this, &Started] { ReaderMain(&Started); });
  try {
    Result.get();
  } catch (...) {
    FReader.join();
    throw;
  }
  // What every session needs: commands accepted while the program runs (so that it can be
  // interrupted), no questions, no pages, programs started without a shell, on their terminal.
  for (const std::string& Setup :
       {std::string("-gdb-set mi-async on"), std::string("-gdb-set confirm off"),
        std::string("-gdb-set pagination off"), std::string("-gdb-set startup-with-shell off"),
        std::string("-gdb-set width 0"), "-inferior-tty-set " + QuoteMIString(FTerminalName)})
    Execute(Setup);
}

void TGdbSession::Spawn() {
  const std::string Path = FindProgram(FOptions.Program);
  if (Path.empty()) throw EGdbError(Format(SGdbNotFound, FOptions.Program));

  int In[2], Out[2], Err[2], Exec[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, In) != 0)
    throw EGdbError(Format(SGdbNotStarted, Path, std::strerror(errno)));
  if (::pipe2(Out, O_CLOEXEC) != 0 || ::pipe2(Err, O_CLOEXEC) != 0 || ::pipe2(Exec, O_CLOEXEC) != 0)
    throw EGdbError(Format(SGdbNotStarted, Path, std::strerror(errno)));

  // Everything the child needs is made before fork: after it, only calls that are safe in a
  // copy of a threaded process.
  std::vector<std::string> Args = {Path, "--interpreter=mi3", "-nx", "-q"};
  std::vector<char*> Argv;
  for (std::string& A : Args) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  const pid_t Parent = ::getpid();

  const pid_t Pid = ::fork();
  if (Pid < 0) throw EGdbError(Format(SGdbNotStarted, Path, std::strerror(errno)));
  if (Pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != Parent) ::_exit(127);
    ::setpgid(0, 0);
    ::dup2(In[1], 0);
    ::dup2(Out[1], 1);
    ::dup2(Err[1], 2);
    // Descriptors the rest of the process opened without O_CLOEXEC stay out of gdb.
#ifdef CLOSE_RANGE_CLOEXEC
    ::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);
#endif
    sigset_t All;
    ::sigemptyset(&All);
    ::sigprocmask(SIG_SETMASK, &All, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::execv(Path.c_str(), Argv.data());
    const int Error = errno;
    (void)!::write(Exec[1], &Error, sizeof Error);
    ::_exit(127);
  }
  ::close(In[1]);
  ::close(Out[1]);
  ::close(Err[1]);
  ::close(Exec[1]);
  int Error = 0;
  ssize_t N;
  do N = ::read(Exec[0], &Error, sizeof Error);
  while (N < 0 && errno == EINTR);
  ::close(Exec[0]);
  if (N > 0) {
    ::waitpid(Pid, nullptr, 0);
    ::close(In[0]);
    ::close(Out[0]);
    ::close(Err[0]);
    throw EGdbError(Format(SGdbNotStarted, Path, std::strerror(Error)));
  }
  FGdbPid = Pid;
  FToGdb = In[0];
  FFromGdb = Out[0];
  FGdbErrors = Err[0];
}

void TGdbSession::ReaderMain(std::promise<void>* Started) {
  ::pthread_setname_np(::pthread_self(), "gdb MI reader");
  try {
    Spawn();
  } catch (...) {
    Started->set_exception(std::current_exception());
    return;
  }
  Started->set_value();

  char Buffer[65536];
  while (true) {
    pollfd Fds[4] = {{FFromGdb, POLLIN, 0}, {FGdbErrors, POLLIN, 0}, {FTerminal, POLLIN, 0}, {FWake[0], POLLIN, 0}};
    if (::poll(Fds, 4, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (Fds[3].revents) break;
    // The program's output first: a program that prints fast must not stall behind gdb.
    if (Fds[2].revents & POLLIN) ReadProgramOutput();
    if (Fds[1].revents) {
      const ssize_t N = ::read(FGdbErrors, Buffer, sizeof Buffer);
      if (N > 0) {
        FPartialError.append(Buffer, N);
        for (size_t Eol; (Eol = FPartialError.find('\n')) != std::string::npos;) {
          TMIRecord R;
          R.Kind = TMIRecordKind::LogStream;
          R.Text = FPartialError.substr(0, Eol + 1);
          FPartialError.erase(0, Eol + 1);
          if (FOnRecord) FOnRecord(&R);
        }
        if (FPartialError.size() > MaxLine) FPartialError.clear();
      } else if (N == 0 || errno != EINTR) {
        CloseFd(FGdbErrors);
      }
    }
    if (Fds[0].revents) {
      const ssize_t N = ::read(FFromGdb, Buffer, sizeof Buffer);
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) {
        GdbEnded();
        break;
      }
      size_t Start = 0;
      for (size_t I = 0; I < static_cast<size_t>(N); ++I) {
        if (Buffer[I] != '\n') continue;
        if (FPartialLine.empty()) {
          HandleLine(std::string_view(Buffer + Start, I - Start));
        } else {
          FPartialLine.append(Buffer + Start, I - Start);
          HandleLine(FPartialLine);
          FPartialLine.clear();
        }
        Start = I + 1;
      }
      if (FPartialLine.size() < MaxLine) FPartialLine.append(Buffer + Start, N - Start);
      // gdb writes a record in many small pieces: while one is incomplete, a moment's pause
      // lets the rest arrive for one read, instead of a wake-up for each piece.
      if (!FPartialLine.empty()) std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  }
  // Output the program wrote just before it ended is still taken.
  ReadProgramOutput();
}

void TGdbSession::ReadProgramOutput() {
  char Buffer[65536];
  while (true) {
    const ssize_t N = ::read(FTerminal, Buffer, sizeof Buffer);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return;
    bool WasEmpty;
    {
      std::lock_guard Lock(FMutex);
      WasEmpty = FOutput.empty();
      FOutput.append(Buffer, N);
      // Trimmed to the bound once it holds twice as much: each byte is moved at most once.
      if (FOutput.size() > 2 * FOptions.OutputLimit) {
        const size_t Excess = FOutput.size() - FOptions.OutputLimit;
        FOutput.erase(0, Excess);
        FDropped += Excess;
      }
    }
    if (WasEmpty && FOnOutput) FOnOutput();
  }
}

void TGdbSession::HandleLine(std::string_view Line) {
  TMIRecord R = ParseMIRecord(Line);
  if (R.Kind == TMIRecordKind::Prompt) return;
  if (R.Kind == TMIRecordKind::Result && R.Token) {
    std::lock_guard Lock(FMutex);
    const auto It = FWaiters.find(*R.Token);
    if (It != FWaiters.end()) {
      It->second->Answer = std::move(R);
      It->second->Answered = true;
      FWaiters.erase(It);
      FChanged.notify_all();
    }
    return;
  }
  if (R.Kind == TMIRecordKind::Result) return;  // an answer to a command sent without a token
  if (FOnRecord) FOnRecord(&R);
}

void TGdbSession::GdbEnded() {
  int Status = 0;
  pid_t Reaped;
  do Reaped = ::waitpid(FGdbPid, &Status, 0);
  while (Reaped < 0 && errno == EINTR);
  {
    std::lock_guard Lock(FMutex);
    FEnded = true;
    FReaped = true;
    FEndReason = Reaped == FGdbPid ? DescribeExit(Status) : std::string();
    FChanged.notify_all();
  }
  if (FOnRecord) FOnRecord(nullptr);
}

bool TGdbSession::Write(const std::string& Text) {
  std::lock_guard Lock(FWriteMutex);
  size_t Done = 0;
  while (Done < Text.size()) {
    const ssize_t N = ::send(FToGdb, Text.data() + Done, Text.size() - Done, MSG_NOSIGNAL);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    Done += N;
  }
  return true;
}

TMIRecord TGdbSession::Execute(std::string_view Command) {
  TWaiter Waiter;
  uint64_t Token;
  {
    std::lock_guard Lock(FMutex);
    if (FEnded || FToGdb < 0) throw EGdbError(Format(SGdbGone, FEndReason));
    Token = FNextToken++;
    FWaiters[Token] = &Waiter;
  }
  const bool Sent = Write(std::to_string(Token) + std::string(Command) + "\n");
  std::unique_lock Lock(FMutex);
  const bool InTime = Sent && FChanged.wait_for(Lock, FOptions.Timeout, [&] { return Waiter.Answered || FEnded; });
  FWaiters.erase(Token);
  if (!Waiter.Answered) {
    if (FEnded || !Sent) throw EGdbError(Format(SGdbGone, FEndReason));
    (void)InTime;
    throw EGdbError(Format(SGdbNoAnswer, std::string(Command)));
  }
  if (Waiter.Answer.Class == "error") throw EGdbCommandError(Waiter.Answer.Results.Get("msg"));
  return std::move(Waiter.Answer);
}

bool TGdbSession::Post(std::string_view Command) {
  {
    std::lock_guard Lock(FMutex);
    if (FEnded || FToGdb < 0) return false;
  }
  return Write(std::string(Command) + "\n");
}

void TGdbSession::Stop() {
  if (FReader.joinable()) {
    bool Ended;
    {
      std::lock_guard Lock(FMutex);
      Ended = FEnded;
    }
    // gdb kills the programs it started and detaches from those it attached to as it exits.
    if (!Ended && Post("-gdb-exit")) {
      std::unique_lock Lock(FMutex);
      FChanged.wait_for(Lock, std::chrono::seconds(3), [&] { return FEnded; });
    }
    {
      std::lock_guard Lock(FMutex);
      // The group goes with its leader, as long as the leader is not reaped (until then its
      // id cannot name another process).
      if (!FReaped && FGdbPid > 0) ::kill(-FGdbPid, SIGKILL);
    }
    // The reader sees gdb's output end once it has gone, and reaps it.
    {
      std::unique_lock Lock(FMutex);
      FChanged.wait_for(Lock, std::chrono::seconds(10), [&] { return FEnded; });
    }
    const char Byte = 0;
    (void)!::write(FWake[1], &Byte, 1);
    FReader.join();
  }
  CloseFd(FToGdb);
  CloseFd(FFromGdb);
  CloseFd(FGdbErrors);
  CloseFd(FTerminal);
  CloseFd(FTerminalSlave);
  CloseFd(FWake[0]);
  CloseFd(FWake[1]);
}

bool TGdbSession::Alive() const {
  std::lock_guard Lock(FMutex);
  return FGdbPid > 0 && !FEnded;
}

std::string TGdbSession::TakeOutput(size_t* Dropped) {
  std::lock_guard Lock(FMutex);
  if (Dropped) *Dropped = FDropped;
  FDropped = 0;
  std::string Out;
  Out.swap(FOutput);
  if (Out.size() > FOptions.OutputLimit) {
    if (Dropped) *Dropped += Out.size() - FOptions.OutputLimit;
    Out.erase(0, Out.size() - FOptions.OutputLimit);
  }
  return Out;
}

std::string TGdbSession::EndReason() const {
  std::lock_guard Lock(FMutex);
  return FEndReason;
}

}  // namespace nxs::gdbmi
