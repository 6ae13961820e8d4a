// What the gdb kernel's tests share: the programs they debug, compiled once per test binary
// with debug information, the lines their markers name, and a thread-safe log of what a
// session hands on.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "gdbmi/mioutput.h"
#include "support/tempdir.h"

namespace nxs::test {

inline std::string GdbTestData(const std::string& Name) { return std::string(NXS_GDBMI_TEST_DATA) + "/" + Name; }

// The line of Source (a file in the test data) whose comment holds "@Marker".
inline int MarkerLine(const std::string& Source, const std::string& Marker) {
  std::ifstream In(GdbTestData(Source));
  int Number = 0;
  for (std::string Line; std::getline(In, Line);) {
    ++Number;
    if (Line.find("@" + Marker + ":") != std::string::npos || Line.ends_with("@" + Marker)) return Number;
  }
  ADD_FAILURE() << "no marker " << Marker << " in " << Source;
  return 0;
}

// Compiles a program of the test data once per test binary: Command is the compiler's command
// line with {src} and {out} for the source and the program. Empty when it does not compile
// (the compiler missing); the caller skips.
inline std::string CompiledProgram(const std::string& Key, const std::string& Source, std::string Command) {
  static TTempDir Dir;
  static std::mutex Lock;
  std::lock_guard Guard(Lock);
  const std::string Out = Dir / Key;
  if (std::ifstream(Out).good()) return Out;
  for (const auto& [From, To] : {std::pair<std::string, std::string>{"{src}", GdbTestData(Source)}, {"{out}", Out},
                                 {"{dir}", Dir.Path()}})
    for (size_t At; (At = Command.find(From)) != std::string::npos;) Command.replace(At, From.size(), To);
  if (std::system((Command + " >/dev/null 2>&1").c_str()) != 0) return {};
  return Out;
}

// The C++ test program with full debug information.
inline std::string Debuggee() {
  return CompiledProgram("debuggee", "debuggee.cpp", "g++ -g -O0 -pthread -o {out} {src}");
}

inline bool ProcessGone(pid_t Pid) {
  // A zombie no parent reaps counts as gone: it runs no code.
  std::ifstream Stat("/proc/" + std::to_string(Pid) + "/stat");
  std::string Text;
  if (!std::getline(Stat, Text)) return true;
  const size_t Close = Text.rfind(')');
  return Close != std::string::npos && Close + 2 < Text.size() && Text[Close + 2] == 'Z';
}

// The records a session hands on, kept for the test thread to wait on.
class TRecordLog {
 public:
  void Add(const gdbmi::TMIRecord* Record) {
    std::lock_guard Guard(FLock);
    if (Record)
      FRecords.push_back(*Record);
    else
      FEnded = true;
    FChanged.notify_all();
  }
  // The first record, from From on, for which Pred holds; waits up to Bound for it.
  template <class TPred>
  std::optional<gdbmi::TMIRecord> WaitFor(TPred Pred, size_t* From = nullptr,
                                          std::chrono::milliseconds Bound = std::chrono::seconds(20)) {
    std::unique_lock Guard(FLock);
    size_t Next = From ? *From : 0;
    std::optional<gdbmi::TMIRecord> Found;
    FChanged.wait_for(Guard, Bound, [&] {
      for (; Next < FRecords.size(); ++Next)
        if (Pred(FRecords[Next])) {
          Found = FRecords[Next];
          if (From) *From = Next + 1;
          return true;
        }
      return false;
    });
    return Found;
  }
  bool WaitEnded(std::chrono::milliseconds Bound = std::chrono::seconds(20)) {
    std::unique_lock Guard(FLock);
    return FChanged.wait_for(Guard, Bound, [&] { return FEnded; });
  }
  std::vector<gdbmi::TMIRecord> Records() {
    std::lock_guard Guard(FLock);
    return FRecords;
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<gdbmi::TMIRecord> FRecords;
  bool FEnded = false;
};

inline auto IsStop(const std::string& Reason) {
  return [Reason](const gdbmi::TMIRecord& R) {
    return R.Kind == gdbmi::TMIRecordKind::ExecAsync && R.Class == "stopped" && R.Results.Get("reason") == Reason;
  };
}

}  // namespace nxs::test
