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
#include <optional>
#include <string>
#include <vector>

#include "build/engine/filetimes.h"
#include "build/engine/programs.h"
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

// The PATH the child gets, when it gets one.
std::optional<std::string> PathOf(const std::vector<std::string>& Env) {
  for (const auto& V : Env)
    if (V.compare(0, 5, "PATH=") == 0) return V.substr(5);
  return std::nullopt;
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

int RunProcess(const TProcessOptions& Options, std::string* NotStarted) {
  auto Fail = [&](const std::string& Why) {
    if (NotStarted) *NotStarted = Why;
    return -1;
  };
  if (Options.Argv.empty() || Cancelled(Options)) return -1;
  // What a tool writes is seen by the checks made after it.
  const TFileChanges Changes;
  // Everything the child needs is made before the fork: after it, only calls that are safe
  // in a child of a threaded process.
  std::vector<std::string> ArgStrings = Options.Argv;
  std::vector<char*> Argv = Pointers(ArgStrings);
  std::vector<std::string> EnvStrings = ChildEnvironment(Options.Environment);
  std::vector<char*> Envp = Pointers(EnvStrings);
  // The program is looked for here, on the PATH the child gets (execvpe would search the
  // caller's), so that a failure can say what was tried.
  const TProgramLookup Lookup = FindProgram(Options.Argv[0], PathOf(EnvStrings), Options.WorkingDirectory);
  if (Lookup.Program.empty()) return Fail(Lookup.Failure);
  // A file that is no program the kernel knows is a script for the shell, as for a shell.
  std::vector<std::string> ScriptStrings{"/bin/sh", Lookup.Program};
  ScriptStrings.insert(ScriptStrings.end(), Options.Argv.begin() + 1, Options.Argv.end());
  std::vector<char*> ScriptArgv = Pointers(ScriptStrings);
  const char* Dir = Options.WorkingDirectory.empty() ? nullptr : Options.WorkingDirectory.c_str();

  int Out[2], Err[2];
  if (pipe2(Out, O_CLOEXEC) != 0) return Fail(std::strerror(errno));
  // The child reports a failed chdir or exec through this pipe; it closes unread on exec.
  if (pipe2(Err, O_CLOEXEC) != 0) {
    const int Error = errno;
    close(Out[0]);
    close(Out[1]);
    return Fail(std::strerror(Error));
  }
  pid_t Pid = fork();
  if (Pid < 0) {
    const int Error = errno;
    for (int Fd : {Out[0], Out[1], Err[0], Err[1]}) close(Fd);
    return Fail(std::strerror(Error));
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
    // What failed: 1 the working directory, 2 the program; and the error.
    int Error[2] = {1, 0};
    if (!Dir || chdir(Dir) == 0) {
      Error[0] = 2;
      execve(ScriptArgv[1], Argv.data(), Envp.data());
      if (errno == ENOEXEC) execve(ScriptArgv[0], ScriptArgv.data(), Envp.data());
    }
    Error[1] = errno;
    ssize_t Ignored = write(Err[1], Error, sizeof Error);
    (void)Ignored;
    _exit(127);
  }
  setpgid(Pid, Pid);  // also here, so that a cancel right after the fork reaches the group
  close(Out[1]);
  close(Err[1]);
  int ChildError[2] = {0, 0};
  ssize_t Got;
  while ((Got = read(Err[0], ChildError, sizeof ChildError)) < 0 && errno == EINTR) {
  }
  close(Err[0]);
  if (Got == sizeof ChildError) {
    close(Out[0]);
    int Status;
    while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
    }
    return Fail((ChildError[0] == 1 ? Options.WorkingDirectory : Lookup.Program) + ": " + std::strerror(ChildError[1]));
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
