// What the benchmarks that run whole programs share: the nxs of this build, and running a
// command as a user would, with its output thrown away, measuring its wall and CPU time.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <string>
#include <vector>

namespace nxs::bench {

// The nxs of this build: bench/ and src/host/ are siblings in the build tree.
inline std::string NxsBinary() {
  char Self[PATH_MAX];
  const ssize_t N = ::readlink("/proc/self/exe", Self, sizeof Self - 1);
  if (N <= 0) return "nxs";
  std::string Path(Self, static_cast<size_t>(N));
  Path = Path.substr(0, Path.rfind('/'));
  return Path.substr(0, Path.rfind('/')) + "/src/host/nxs";
}

// CpuMs is the child's user and system time, which a loaded machine distorts less than the
// wall time.
struct TRunTimes {
  double WallMs = 0, CpuMs = 0;
  bool Ok = false;   // exited with status 0
  int Status = -1;   // the exit status, or -1 when the program did not exit
};

// Runs Args (the program looked for on PATH) in Dir, or here when Dir is empty, with standard
// output and error to /dev/null.
inline TRunTimes RunTimed(std::vector<std::string> Args, const std::string& Dir = {}) {
  const auto T0 = std::chrono::steady_clock::now();
  const pid_t Pid = ::fork();
  if (Pid == 0) {
    const int Null = ::open("/dev/null", O_WRONLY);
    ::dup2(Null, 1);
    ::dup2(Null, 2);
    if (!Dir.empty() && ::chdir(Dir.c_str()) != 0) ::_exit(126);
    std::vector<char*> Argv;
    for (auto& A : Args) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    ::execvp(Argv[0], Argv.data());
    ::_exit(127);
  }
  int Status = 0;
  struct rusage Use {};
  ::wait4(Pid, &Status, 0, &Use);
  TRunTimes T;
  T.WallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
  T.CpuMs = (Use.ru_utime.tv_sec + Use.ru_stime.tv_sec) * 1e3 + (Use.ru_utime.tv_usec + Use.ru_stime.tv_usec) / 1e3;
  T.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  T.Ok = T.Status == 0;
  return T;
}

// RunTimed for callers that sum CPU time over runs: CpuMs, when given, has the child's time
// added. The exit status, or -1 when the program did not exit.
inline int RunQuiet(std::vector<std::string> Args, double* CpuMs = nullptr) {
  const TRunTimes T = RunTimed(std::move(Args));
  if (CpuMs) *CpuMs += T.CpuMs;
  return T.Status;
}

}  // namespace nxs::bench
