// What the gdb kernel's tests share: the programs they debug, compiled once per test binary
// with debug information, the lines their markers name, and a thread-safe log of what a
// session hands on.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
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
    const size_t At = Line.find("@" + Marker);
    if (At == std::string::npos) continue;
    const size_t After = At + 1 + Marker.size();
    if (After >= Line.size() || !(std::isalnum(static_cast<unsigned char>(Line[After])) || Line[After] == '_'))
      return Number;
  }
  ADD_FAILURE() << "no marker " << Marker << " in " << Source;
  return 0;
}

// Compiles a program of the test data once per build: Command is the compiler's command line
// with {src}, {out} and {dir} for the source, the program and a scratch folder. The program
// is kept in the build's test folder, in a folder whose name holds the source's size and time, so
// that the tests' processes share it and a changed source compiles afresh; each compiles
// into a folder of its own and renames, so that processes that compile at once never see
// half a program. Empty when it does not compile (the compiler missing); the caller skips.
inline std::string CompiledProgram(const std::string& Key, const std::string& Source, std::string Command) {
  namespace fs = std::filesystem;
  static std::mutex Lock;
  std::lock_guard Guard(Lock);
  std::error_code Ec;
  const std::string Src = GdbTestData(Source);
  const auto Stamp = fs::last_write_time(Src, Ec).time_since_epoch().count();
  const std::string Dir = std::string(NXS_TEST_TMP) + "/gdbmi-programs";
  const std::string Folder = Dir + "/" + Key + "-" + std::to_string(fs::file_size(Src, Ec)) + "-" + std::to_string(Stamp);
  const std::string Out = Folder + "/" + Key;
  if (fs::exists(Out, Ec)) return Out;
  fs::create_directories(Folder, Ec);
  TTempDir Scratch;
  const std::string Made = Scratch / Key;
  for (const auto& [From, To] :
       {std::pair<std::string, std::string>{"{src}", Src}, {"{out}", Made}, {"{dir}", Scratch.Path()}})
    for (size_t At; (At = Command.find(From)) != std::string::npos;) Command.replace(At, From.size(), To);
  if (std::system((Command + " >/dev/null 2>&1").c_str()) != 0) return {};
  fs::rename(Made, Out, Ec);
  if (Ec) fs::copy_file(Made, Out, fs::copy_options::overwrite_existing, Ec);
  return fs::exists(Out, Ec) ? Out : std::string();
}

// The C++ test program with full debug information, and without any.
inline std::string Debuggee() {
  return CompiledProgram("debuggee", "debuggee.cpp", "g++ -g -O0 -pthread -o {out} {src}");
}
inline std::string DebuggeeWithoutDebugInfo() {
  return CompiledProgram("debuggee-nodebug", "debuggee.cpp", "g++ -O0 -pthread -o {out} {src}");
}
// The library the test program loads in its "plugin" mode.
inline std::string Plugin() {
  return CompiledProgram("plugin.so", "plugin.cpp", "g++ -g -O0 -shared -fPIC -o {out} {src}");
}
// The Pascal test program; empty without fpc.
inline std::string PascalDebuggee() {
  return CompiledProgram("pasprog", "pasprog.pas", "fpc -g -O- -FU{dir} -o{out} {src}");
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
