// Running nxs from a test as a user would (its exit status, both outputs and the memory it
// held), and running a piece of a test as an unprivileged user, which a test started by the
// superuser needs to see permissions at work.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nxs::test {

struct TRunResult {
  int Status = -1;  // the exit status; -1 when nxs did not exit normally
  std::string Out, Err;
  // With OnLine: the most memory nxs held (its peak resident size), read from /proc as its
  // output comes. (Its rusage would count the test process it was forked from.)
  long PeakKB = 0;
};

struct TRunOptions {
  std::string Input;                                      // standard input
  std::vector<std::pair<std::string, std::string>> Env;   // set in the child
  bool Unprivileged = false;                              // as "nobody" when started as root
  std::string Program{};                                  // another nxs (a copy the user can reach)
  // Each line of standard output as it comes, in place of Out: output too large to keep.
  std::function<void(std::string_view)> OnLine{};
};

namespace detail {

inline std::string Slurp(int Fd) {
  std::string Text;
  ::lseek(Fd, 0, SEEK_SET);
  char Buf[4096];
  for (ssize_t N; (N = ::read(Fd, Buf, sizeof Buf)) > 0;) Text.append(Buf, static_cast<size_t>(N));
  return Text;
}

// The peak resident size of a running process since its exec; 0 once it is gone.
inline long PeakKBOf(pid_t Pid) {
  std::ifstream In("/proc/" + std::to_string(Pid) + "/status");
  for (std::string Line; std::getline(In, Line);)
    if (Line.rfind("VmHWM:", 0) == 0) return std::strtol(Line.c_str() + 6, nullptr, 10);
  return 0;
}

inline int Scratch() {
  char Name[] = "/tmp/nxs-run-XXXXXX";
  int Fd = ::mkstemp(Name);
  ::unlink(Name);
  return Fd;
}

// In a child: become the unprivileged user where the process is the superuser.
inline void DropPrivileges() {
  if (::geteuid() != 0) return;
  const gid_t Nobody = 65534;
  if (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0) ::_exit(126);
}

}  // namespace detail

// The nxs this build made; NXS_BINARY is set by the build for every test binary.
inline std::string NxsBinary() {
#ifdef NXS_BINARY
  return NXS_BINARY;
#else
  return "nxs";
#endif
}

// A copy of this build's nxs in Dir (a folder another user can reach); its path.
inline std::string CopyNxsInto(const std::string& Dir) {
  const std::string To = Dir + "/nxs";
  std::ifstream In(NxsBinary(), std::ios::binary);
  std::ofstream(To, std::ios::binary) << In.rdbuf();
  ::chmod(To.c_str(), 0755);
  return To;
}

inline TRunResult RunNxs(const std::vector<std::string>& Args, const TRunOptions& Options = {}) {
  int In = detail::Scratch(), Out = detail::Scratch(), Err = detail::Scratch();
  if (::write(In, Options.Input.data(), Options.Input.size()) < 0) return {};
  ::lseek(In, 0, SEEK_SET);
  int Pipe[2] = {-1, -1};
  if (Options.OnLine && ::pipe(Pipe) != 0) return {};
  std::string Program = Options.Program.empty() ? NxsBinary() : Options.Program;
  pid_t Pid = ::fork();
  if (Pid == 0) {
    ::dup2(In, 0);
    ::dup2(Options.OnLine ? Pipe[1] : Out, 1);
    ::dup2(Err, 2);
    if (Options.OnLine) ::close(Pipe[0]);
    for (const auto& [Name, Value] : Options.Env) ::setenv(Name.c_str(), Value.c_str(), 1);
    if (Options.Unprivileged) detail::DropPrivileges();
    std::vector<char*> Argv{Program.data()};
    std::vector<std::string> Copy = Args;
    for (auto& A : Copy) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    ::execv(Program.c_str(), Argv.data());
    ::_exit(127);
  }
  TRunResult R;
  if (Options.OnLine) {
    ::close(Pipe[1]);
    std::string Pending;
    char Buf[1 << 16];
    for (ssize_t N; (N = ::read(Pipe[0], Buf, sizeof Buf)) > 0;) {
      R.PeakKB = std::max(R.PeakKB, detail::PeakKBOf(Pid));
      Pending.append(Buf, static_cast<size_t>(N));
      size_t Start = 0;
      for (size_t End; (End = Pending.find('\n', Start)) != std::string::npos; Start = End + 1)
        Options.OnLine(std::string_view(Pending).substr(Start, End - Start));
      Pending.erase(0, Start);
    }
    ::close(Pipe[0]);
  }
  int Status = 0;
  if (Pid > 0 && ::waitpid(Pid, &Status, 0) == Pid && WIFEXITED(Status)) R.Status = WEXITSTATUS(Status);
  R.Out = detail::Slurp(Out);
  R.Err = detail::Slurp(Err);
  ::close(In);
  ::close(Out);
  ::close(Err);
  return R;
}

// Runs Fn in a child process as the unprivileged user (as is, when the test is not the
// superuser) and returns what Fn returned; a crash or exception in Fn reads as "(failed)".
inline std::string RunUnprivileged(const std::function<std::string()>& Fn) {
  int Out = detail::Scratch();
  std::fflush(nullptr);
  pid_t Pid = ::fork();
  if (Pid == 0) {
    detail::DropPrivileges();
    int Code = 1;
    try {
      std::string Text = Fn();
      Code = ::write(Out, Text.data(), Text.size()) == static_cast<ssize_t>(Text.size()) ? 0 : 1;
    } catch (...) {
    }
    ::_exit(Code);
  }
  int Status = 0;
  bool Ok = Pid > 0 && ::waitpid(Pid, &Status, 0) == Pid && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  std::string Text = detail::Slurp(Out);
  ::close(Out);
  return Ok ? Text : "(failed)";
}

// Runs Fn(0) ... Fn(Count - 1) in as many child processes at once, for tests of processes
// that share files; true when every child ran through (an exception fails it).
inline bool RunInProcesses(int Count, const std::function<void(int)>& Fn) {
  std::fflush(nullptr);
  std::vector<pid_t> Children;
  for (int I = 0; I < Count; ++I) {
    pid_t Pid = ::fork();
    if (Pid == 0) {
      // The child leaves by _exit: what it holds must be gone by then, or a leak checker
      // counts it against the child.
      std::vector<pid_t>().swap(Children);
      int Code = 0;
      try {
        Fn(I);
      } catch (...) {
        Code = 1;
      }
      ::_exit(Code);
    }
    Children.push_back(Pid);
  }
  bool Ok = true;
  for (pid_t Pid : Children) {
    int Status = 0;
    Ok = Pid > 0 && ::waitpid(Pid, &Status, 0) == Pid && WIFEXITED(Status) && WEXITSTATUS(Status) == 0 && Ok;
  }
  return Ok;
}

}  // namespace nxs::test
