// What the benchmarks that run whole programs share: the nxs of this build, and running a
// command with its output thrown away while measuring the CPU time it took.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

namespace nxs::bench {

// The nxs of this build: bench/ and src/host/ are siblings in the build tree.
inline std::string NxsBinary() {
  char Self[PATH_MAX];
  ssize_t N = ::readlink("/proc/self/exe", Self, sizeof Self - 1);
  if (N <= 0) return "nxs";
  std::string Path(Self, static_cast<size_t>(N));
  Path = Path.substr(0, Path.rfind('/'));
  return Path.substr(0, Path.rfind('/')) + "/src/host/nxs";
}

// Runs Args (the program looked for on PATH) with standard output and error to /dev/null; CpuMs,
// when given, has the child's user and system time added, which a loaded machine distorts less
// than the wall time. The exit status, or -1 when the program did not exit.
inline int RunQuiet(std::vector<std::string> Args, double* CpuMs = nullptr) {
  pid_t Pid = ::fork();
  if (Pid == 0) {
    int Null = ::open("/dev/null", O_WRONLY);
    ::dup2(Null, 1);
    ::dup2(Null, 2);
    std::vector<char*> Argv;
    for (auto& A : Args) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    ::execvp(Argv[0], Argv.data());
    ::_exit(127);
  }
  int Status = 0;
  struct rusage Use {};
  ::wait4(Pid, &Status, 0, &Use);
  if (CpuMs)
    *CpuMs += (Use.ru_utime.tv_sec + Use.ru_stime.tv_sec) * 1e3 + (Use.ru_utime.tv_usec + Use.ru_stime.tv_usec) / 1e3;
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

}  // namespace nxs::bench
