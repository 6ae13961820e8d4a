// Running nxs from a test as a user would (its exit status, both outputs and the memory it
// held; several at once, or interrupted), and running a piece of a test as an unprivileged user, which a test
// started by the superuser needs to see permissions at work.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

inline int Scratch() {
  char Name[] = "/tmp/nxs-run-XXXXXX";
  int Fd = ::mkstemp(Name);
  ::unlink(Name);
  return Fd;
}

// The peak resident size of a running process since its exec; 0 once it is gone.
inline long PeakKBOf(pid_t Pid) {
  std::ifstream In("/proc/" + std::to_string(Pid) + "/status");
  for (std::string Line; std::getline(In, Line);)
    if (Line.rfind("VmHWM:", 0) == 0) return std::strtol(Line.c_str() + 6, nullptr, 10);
  return 0;
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

namespace detail {

// True when the unprivileged user can run Program and read the data it needs.
inline bool ReachableUnprivileged(const std::string& Program, const std::string& Data) {
  std::fflush(nullptr);
  pid_t Pid = ::fork();
  if (Pid == 0) {
    DropPrivileges();
    ::_exit(::access(Program.c_str(), X_OK) == 0 && (Data.empty() || ::access(Data.c_str(), R_OK | X_OK) == 0) ? 0 : 1);
  }
  int Status = 0;
  return Pid > 0 && ::waitpid(Pid, &Status, 0) == Pid && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

// Puts From at To as a hard link where both are on one file system, else as a copy.
inline void LinkOrCopy(const std::filesystem::path& From, const std::filesystem::path& To) {
  std::error_code Ec;
  std::filesystem::create_hard_link(From, To, Ec);
  if (Ec) std::filesystem::copy_file(From, To, std::filesystem::copy_options::overwrite_existing, Ec);
}

// A folder under the temporary folder that every user may enter, holding nxs as an
// installation lays it out (bin/nxs and share/nxs/data, where nxs looks for its data), for
// as long as the test process runs.
class TReachableInstall {
 public:
  TReachableInstall() {
    std::string Base = std::filesystem::temp_directory_path().string() + "/nxs-install-XXXXXX";
    if (!::mkdtemp(Base.data())) return;
    FRoot = Base;
    namespace fs = std::filesystem;
    std::error_code Ec;
    fs::create_directories(FRoot / "bin", Ec);
    LinkOrCopy(NxsBinary(), FRoot / "bin/nxs");
#ifdef NXS_SOURCE_DATA_DIR
    const fs::path Data = NXS_SOURCE_DATA_DIR;
    for (auto It = fs::recursive_directory_iterator(Data, Ec); !Ec && It != fs::recursive_directory_iterator();
         It.increment(Ec)) {
      const fs::path To = FRoot / "share/nxs/data" / fs::relative(It->path(), Data);
      if (It->is_directory()) fs::create_directories(To, Ec);
      else LinkOrCopy(It->path(), To);
    }
#endif
    for (auto It = fs::recursive_directory_iterator(FRoot, Ec); !Ec && It != fs::recursive_directory_iterator();
         It.increment(Ec))
      if (It->is_directory()) ::chmod(It->path().c_str(), 0755);
    ::chmod(FRoot.c_str(), 0755);
  }
  ~TReachableInstall() {
    std::error_code Ec;
    if (!FRoot.empty()) std::filesystem::remove_all(FRoot, Ec);
  }
  TReachableInstall(const TReachableInstall&) = delete;  // owns the folder
  TReachableInstall& operator=(const TReachableInstall&) = delete;
  std::string Program() const { return (FRoot / "bin/nxs").string(); }

 private:
  std::filesystem::path FRoot;
};

}  // namespace detail

// The nxs to run as the unprivileged user. A checkout may lie in a folder only its owner may
// enter (a home folder of mode 0700, a folder made by mktemp -d), where that user reaches
// neither the program nor its data; then they are linked (or copied) once into a folder
// every user may enter, and run from there.
inline std::string UnprivilegedNxsBinary() {
#ifdef NXS_SOURCE_DATA_DIR
  const std::string Data = NXS_SOURCE_DATA_DIR;
#else
  const std::string Data;
#endif
  static const bool Reachable = ::geteuid() != 0 || detail::ReachableUnprivileged(NxsBinary(), Data);
  if (Reachable) return NxsBinary();
  static detail::TReachableInstall Install;
  return Install.Program();
}

// nxs started and not yet waited for: for runs at once, and for runs that are interrupted.
class TNxsProcess {
 public:
  explicit TNxsProcess(const std::vector<std::string>& Args, const TRunOptions& Options = {}) {
    FIn = detail::Scratch();
    FOut = detail::Scratch();
    FErr = detail::Scratch();
    if (::write(FIn, Options.Input.data(), Options.Input.size()) < 0) return;
    ::lseek(FIn, 0, SEEK_SET);
    std::string Program = Options.Unprivileged ? UnprivilegedNxsBinary() : NxsBinary();
    // Everything the child needs is made before the fork: tests start nxs from several
    // threads, and a child of a threaded process may not allocate.
    std::vector<std::string> Copy = Args;
    std::vector<char*> Argv{Program.data()};
    for (auto& A : Copy) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    std::vector<std::string> Env;
    for (char** E = environ; *E; ++E) {
      const std::string_view Var = *E;
      if (std::none_of(Options.Env.begin(), Options.Env.end(),
                       [&](const auto& Set) { return Var.starts_with(Set.first + "="); }))
        Env.emplace_back(Var);
    }
    for (const auto& [Name, Value] : Options.Env) Env.push_back(Name + "=" + Value);
    std::vector<char*> Envp;
    for (auto& E : Env) Envp.push_back(E.data());
    Envp.push_back(nullptr);
    int Pipe[2] = {-1, -1};
    if (Options.OnLine && ::pipe(Pipe) != 0) return;
    std::fflush(nullptr);
    FPid = ::fork();
    if (FPid == 0) {
      ::dup2(FIn, 0);
      ::dup2(Options.OnLine ? Pipe[1] : FOut, 1);
      ::dup2(FErr, 2);
      if (Options.OnLine) ::close(Pipe[0]);
      if (Options.Unprivileged) detail::DropPrivileges();
      ::execve(Program.c_str(), Argv.data(), Envp.data());
      ::_exit(127);
    }
    if (Options.OnLine) {
      ::close(Pipe[1]);
      FLines = Pipe[0];
      FOnLine = Options.OnLine;
    }
  }
  ~TNxsProcess() {
    if (FPid > 0 && !FDone) {
      ::kill(FPid, SIGKILL);
      Wait();
    }
    for (int Fd : {FIn, FOut, FErr, FLines})
      if (Fd >= 0) ::close(Fd);
  }
  TNxsProcess(const TNxsProcess&) = delete;  // one child, waited for once
  TNxsProcess& operator=(const TNxsProcess&) = delete;

  pid_t Pid() const { return FPid; }
  void Signal(int Sig) {
    if (FPid > 0 && !FDone) ::kill(FPid, Sig);
  }
  // Waits for the end; the result's Status is -1 when nxs did not exit normally, and
  // KilledBy() then names the signal.
  TRunResult Wait() {
    if (FDone || FPid <= 0) return FResult;
    if (FLines >= 0) ReadLines();
    int Status = 0;
    while (::waitpid(FPid, &Status, 0) < 0 && errno == EINTR) {
    }
    FDone = true;
    if (WIFEXITED(Status)) FResult.Status = WEXITSTATUS(Status);
    if (WIFSIGNALED(Status)) FSignal = WTERMSIG(Status);
    FResult.Out = detail::Slurp(FOut);
    FResult.Err = detail::Slurp(FErr);
    return FResult;
  }
  int KilledBy() const { return FSignal; }

 private:
  void ReadLines() {
    std::string Pending;
    char Buf[1 << 16];
    for (ssize_t N; (N = ::read(FLines, Buf, sizeof Buf)) > 0;) {
      FResult.PeakKB = std::max(FResult.PeakKB, detail::PeakKBOf(FPid));
      Pending.append(Buf, static_cast<size_t>(N));
      size_t Start = 0;
      for (size_t End; (End = Pending.find('\n', Start)) != std::string::npos; Start = End + 1)
        FOnLine(std::string_view(Pending).substr(Start, End - Start));
      Pending.erase(0, Start);
    }
    ::close(FLines);
    FLines = -1;
  }

  pid_t FPid = -1;
  int FIn = -1, FOut = -1, FErr = -1, FLines = -1;
  std::function<void(std::string_view)> FOnLine;
  bool FDone = false;
  int FSignal = 0;
  TRunResult FResult;
};

inline TRunResult RunNxs(const std::vector<std::string>& Args, const TRunOptions& Options = {}) {
  return TNxsProcess(Args, Options).Wait();
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
