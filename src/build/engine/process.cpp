// Running a tool: a child in a process group of its own, its stdout and stderr merged into
// one pipe and handed over line by line. Cancelling kills the whole group (a compiler driver
// and the compilers it started), and the child is always reaped.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "build/engine/resstrings.h"
#include "build/engine/tasks.h"
#include "shared/format.h"

extern char** environ;

namespace nxs::engine {

namespace {

// The environment as the child gets it: the process's own variables with the additions
// replacing those of the same name.
std::vector<std::string> ChildEnvironment(const std::vector<std::pair<std::string, std::string>>& Additions) {
  std::vector<std::string> Env;
  for (char** E = environ; E && *E; ++E) {
    std::string_view Var(*E);
    std::string_view Name = Var.substr(0, Var.find('='));
    bool Replaced = false;
    for (const auto& [N, V] : Additions)
      if (N == Name) Replaced = true;
    if (!Replaced) Env.emplace_back(Var);
  }
  for (const auto& [N, V] : Additions) Env.push_back(N + "=" + V);
  return Env;
}

std::vector<char*> Pointers(std::vector<std::string>& Strings) {
  std::vector<char*> P;
  for (auto& S : Strings) P.push_back(S.data());
  P.push_back(nullptr);
  return P;
}

// Splits what the pipe delivers into lines, looking at each byte once; a carriage return
// before the line feed goes. A line longer than MaxToolLineBytes is kept up to that width (at a
// character's start) and marked where it was cut; the rest is counted, not held, so a tool
// that prints without line breaks neither fills memory nor the message view.
class TLineSplitter {
 public:
  explicit TLineSplitter(const std::function<void(const std::string&)>& OnLine) : FOnLine(OnLine) {}
  void Add(const char* Data, size_t Size) {
    const char* End = Data + Size;
    while (Data < End) {
      const char* Nl = static_cast<const char*>(std::memchr(Data, '\n', static_cast<size_t>(End - Data)));
      Take(Data, static_cast<size_t>((Nl ? Nl : End) - Data));
      if (!Nl) return;
      Emit();
      Data = Nl + 1;
    }
  }
  void Finish() {
    if (!FLine.empty() || FCut > 0) Emit();
  }

 private:
  void Take(const char* Data, size_t Size) {
    size_t Room = MaxToolLineBytes - FLine.size();
    if (Size <= Room) {
      FLine.append(Data, Size);
      return;
    }
    FLine.append(Data, Room);
    if (FCut == 0) FFirstCut = Data[Room];
    FCut += Size - Room;
    FLastCut = Data[Size - 1];
  }
  void Emit() {
    if (FCut == 1 && FLastCut == '\r') FCut = 0;  // only the carriage return went
    if (FCut == 0) {
      if (!FLine.empty() && FLine.back() == '\r') FLine.pop_back();
    } else {
      // A character that the width splits goes whole.
      if ((FFirstCut & 0xC0) == 0x80) {
        size_t Keep = FLine.size();
        while (Keep > 0 && (FLine[Keep - 1] & 0xC0) == 0x80) --Keep;
        if (Keep > 0) --Keep;
        FCut += FLine.size() - Keep;
        FLine.resize(Keep);
      }
      if (FLastCut == '\r') --FCut;
      FLine = Format(res::SToolLineCut, FLine, static_cast<uint64_t>(FCut));
    }
    if (FOnLine) FOnLine(FLine);
    FLine.clear();
    FCut = 0;
  }
  const std::function<void(const std::string&)>& FOnLine;
  std::string FLine;
  size_t FCut = 0;  // bytes of the line beyond the width
  char FFirstCut = 0, FLastCut = 0;
};

// Where the program may be: itself when named with a directory, else each directory of the
// PATH the child gets (execvpe would search the caller's PATH instead).
std::vector<std::string> Candidates(const std::string& Program, const std::vector<std::string>& Env) {
  if (Program.find('/') != std::string::npos) return {Program};
  std::string Path = "/usr/local/bin:/usr/bin:/bin";
  for (const auto& V : Env)
    if (V.compare(0, 5, "PATH=") == 0) Path = V.substr(5);
  std::vector<std::string> L;
  size_t Start = 0;
  while (Start <= Path.size()) {
    size_t End = Path.find(':', Start);
    if (End == std::string::npos) End = Path.size();
    std::string Dir = Path.substr(Start, End - Start);
    L.push_back((Dir.empty() ? "." : Dir) + "/" + Program);
    Start = End + 1;
  }
  return L;
}

bool Cancelled(const TProcessOptions& Options) { return Options.Cancel && Options.Cancel->load(); }

// Ends the group: a polite request first, then, after a short grace, the hard way. The
// child itself is reaped here.
void KillGroup(pid_t Pid) {
  kill(-Pid, SIGTERM);
  auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  int Status;
  while (std::chrono::steady_clock::now() < Deadline) {
    if (waitpid(Pid, &Status, WNOHANG) == Pid) {
      kill(-Pid, SIGKILL);  // whatever the child left behind in its group
      return;
    }
    usleep(5000);
  }
  kill(-Pid, SIGKILL);
  while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
  }
}

int ExitCodeOf(int Status) {
  if (WIFEXITED(Status)) return WEXITSTATUS(Status);
  if (WIFSIGNALED(Status)) return 128 + WTERMSIG(Status);
  return -1;
}

}  // namespace

int RunProcess(const TProcessOptions& Options) {
  if (Options.Argv.empty() || Cancelled(Options)) return -1;
  // Everything the child needs is made before the fork: after it, only calls that are safe
  // in a child of a threaded process.
  std::vector<std::string> ArgStrings = Options.Argv;
  std::vector<char*> Argv = Pointers(ArgStrings);
  std::vector<std::string> EnvStrings = ChildEnvironment(Options.Environment);
  std::vector<char*> Envp = Pointers(EnvStrings);
  std::vector<std::string> Programs = Candidates(Options.Argv[0], EnvStrings);
  const char* Dir = Options.WorkingDirectory.empty() ? nullptr : Options.WorkingDirectory.c_str();

  int Out[2], Err[2];
  if (pipe2(Out, O_CLOEXEC) != 0) return -1;
  // The child reports a failed chdir or exec through this pipe; it closes unread on exec.
  if (pipe2(Err, O_CLOEXEC) != 0) {
    close(Out[0]);
    close(Out[1]);
    return -1;
  }
  pid_t Pid = fork();
  if (Pid < 0) {
    for (int Fd : {Out[0], Out[1], Err[0], Err[1]}) close(Fd);
    return -1;
  }
  if (Pid == 0) {
    setpgid(0, 0);
    sigset_t All;
    sigemptyset(&All);
    sigprocmask(SIG_SETMASK, &All, nullptr);
    signal(SIGPIPE, SIG_DFL);
    int Null = open("/dev/null", O_RDONLY);
    if (Null >= 0) dup2(Null, 0);
    dup2(Out[1], 1);
    dup2(Out[1], 2);
    int Error = 0;
    if (Dir && chdir(Dir) != 0) Error = errno;
    for (size_t I = 0; !Error && I < Programs.size(); ++I) {
      execve(Programs[I].c_str(), Argv.data(), Envp.data());
      // A program that is there but cannot run is the answer; a missing one is looked for on.
      if (errno != ENOENT && errno != ENOTDIR) Error = errno;
    }
    if (!Error) Error = ENOENT;
    ssize_t Ignored = write(Err[1], &Error, sizeof Error);
    (void)Ignored;
    _exit(127);
  }
  setpgid(Pid, Pid);  // also here, so that a cancel right after the fork reaches the group
  close(Out[1]);
  close(Err[1]);
  int ChildError = 0;
  ssize_t Got;
  while ((Got = read(Err[0], &ChildError, sizeof ChildError)) < 0 && errno == EINTR) {
  }
  close(Err[0]);
  if (Got == sizeof ChildError) {
    close(Out[0]);
    int Status;
    while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
    }
    return -1;
  }

  TLineSplitter Lines(Options.OnLine);
  char Buffer[65536];  // a pipe holds 64 KB: one read empties it
  bool Exited = false;
  int Status = 0;
  for (;;) {
    if (Cancelled(Options)) {
      close(Out[0]);
      KillGroup(Pid);
      return -1;
    }
    pollfd P{Out[0], POLLIN, 0};
    // Once the child is gone, only what is in the pipe already is read: a process it left
    // running in the background may hold the pipe open for ever.
    int Ready = poll(&P, 1, Exited ? 0 : 20);
    if (Ready < 0 && errno != EINTR) break;
    if (Ready > 0) {
      ssize_t N = read(Out[0], Buffer, sizeof Buffer);
      if (N > 0) {
        Lines.Add(Buffer, static_cast<size_t>(N));
        continue;
      }
      if (N < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      break;  // end of output
    }
    if (Exited) break;
    if (Ready == 0 && waitpid(Pid, &Status, WNOHANG) == Pid) Exited = true;
  }
  close(Out[0]);
  Lines.Finish();
  // A child that closed its output may still run: it is waited for, and still cancellable.
  // Most are ending as they close it, so the first looks come soon after one another.
  for (useconds_t Pause = 250; !Exited; Pause = std::min<useconds_t>(Pause * 2, 10000)) {
    if (Cancelled(Options)) {
      KillGroup(Pid);
      return -1;
    }
    pid_t R = waitpid(Pid, &Status, WNOHANG);
    if (R == Pid || (R < 0 && errno != EINTR)) break;
    usleep(Pause);
  }
  return ExitCodeOf(Status);
}

}  // namespace nxs::engine
