// Running a tool as a user would, for benchmarks that set a whole process beside its peer:
// the nxs of this build, and a command's wall and CPU (user + system) time.
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

struct TRunTimes {
  double WallMs = 0, CpuMs = 0;
  bool Ok = false;  // exited with status 0
};

// Runs Args in Dir with its output thrown away.
inline TRunTimes RunTimed(std::vector<std::string> Args, const std::string& Dir) {
  const auto T0 = std::chrono::steady_clock::now();
  const pid_t Pid = ::fork();
  if (Pid == 0) {
    const int Null = ::open("/dev/null", O_WRONLY);
    ::dup2(Null, 1);
    ::dup2(Null, 2);
    if (::chdir(Dir.c_str()) != 0) ::_exit(126);
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
  T.Ok = WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  return T;
}

}  // namespace nxs::bench
