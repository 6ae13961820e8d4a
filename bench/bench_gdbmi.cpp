// The gdb kernel behind the debugger manager, as a user's session drives it, beside gdb driven
// directly by the same machine-interface commands from a script (bench/gdbmi_peer.py):
// - from Run to the first breakpoint hit, on the C++ example (gdb's start included);
// - one step over, of a thousand in a loop;
// - a breakpoint with a pass count of 10,000 on a hot line: gdb's ignore count does the
//   counting, and the benchmark fails when any stop but the last reaches the manager.
// Each "ours" case also reports cpu_ms: this process's own CPU time per iteration, which
// leaves out gdb's.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "debugger/breakpoints.h"
#include "debugger/debugmgr.h"
#include "gdbmi/gdbkernel.h"
#include "shared/mainthread.h"
#include "shared/settings.h"

namespace {

using namespace nxs;
namespace fs = std::filesystem;

const std::string Source = NXS_SOURCE_DIR;
const std::string Work = fs::temp_directory_path().string() + "/nxs-bench-gdbmi";

// The C++ example, and the kernel tests' program, compiled once with debug information.
const std::string& Example() {
  static const std::string Program = [] {
    fs::create_directories(Work);
    const std::string Lib = Source + "/examples/group/cpplib";
    const std::string Out = Work + "/cppapp";
    const std::string Command = "g++ -g -O0 -I" + Lib + "/include " + Source + "/examples/group/cppapp/src/main.cpp " +
                                Lib + "/src/area.cpp " + Lib + "/src/describe.cpp -o " + Out;
    return std::system(Command.c_str()) == 0 ? Out : std::string();
  }();
  return Program;
}

const std::string& Looper() {
  static const std::string Program = [] {
    fs::create_directories(Work);
    const std::string Out = Work + "/debuggee";
    const std::string Command = "g++ -g -O0 -pthread " + Source + "/tests/gdbmi/data/debuggee.cpp -o " + Out;
    return std::system(Command.c_str()) == 0 ? Out : std::string();
  }();
  return Program;
}

const std::string LooperSource = Source + "/tests/gdbmi/data/debuggee.cpp";
const std::string AreaSource = Source + "/examples/group/cpplib/src/area.cpp";

int LineOf(const std::string& File, const std::string& Text) {
  std::ifstream In(File);
  int N = 0;
  for (std::string Line; std::getline(In, Line);) {
    ++N;
    if (Line.find(Text) != std::string::npos) return N;
  }
  return 0;
}

// This process's CPU time, all its threads (gdb and the program are other processes).
double CpuMs() {
  timespec T{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
  return T.tv_sec * 1e3 + T.tv_nsec / 1e6;
}

// A manager with the gdb kernel, over a scratch settings file.
struct TSession {
  TSession() : Store(Work + "/settings.ini"), Mgr(Store) {
    MainThreadQueue().SetMainThread();
    Mgr.AddDebugger(std::make_shared<gdbmi::TGdbKernel>());
    Mgr.FEvProcessStateChanged.Add(this, [this](TEvProcessEvent& Ev) {
      if (Ev.Process->GetState() == psStopped) ++Stops;
    });
  }
  ~TSession() {
    Mgr.ResetAll();
    Mgr.FEvProcessStateChanged.Remove(this);
  }
  void Break(const std::string& File, int Line, int PassCount = 0) {
    TBreakpointProps P;
    P.FileName = File;
    P.LineNumber = Line;
    P.PassCount = PassCount;
    Mgr.Breakpoints().Add(P);
  }
  bool Load(const std::string& Program) {
    TOTALoadParams Params;
    Params.ExeName = Program;
    Params.Parameters = "hot 1000000";
    return Mgr.LoadProcess(Params) != nullptr;
  }
  bool WaitForStop() {
    const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (std::chrono::steady_clock::now() < Until) {
      MainThreadQueue().WaitAndProcess(50);
      if (Mgr.GetProcessState() == psStopped) return true;
      if (!Mgr.GetCurrentProcess()) return false;
    }
    return false;
  }
  TSettingsStore Store;
  TDebuggerMgr Mgr;
  int Stops = 0;
};

// Runs the peer script; the milliseconds it measured.
double Peer(const std::string& Args) {
  const std::string Command = "python3 " + Source + "/bench/gdbmi_peer.py " + Args;
  FILE* Out = ::popen(Command.c_str(), "r");
  if (!Out) return -1;
  char Line[128] = {};
  const bool Got = std::fgets(Line, sizeof Line, Out) != nullptr;
  ::pclose(Out);
  return Got ? std::atof(Line) : -1;
}

void BM_RunToFirstBreakpoint_Ours(benchmark::State& State) {
  if (Example().empty()) return State.SkipWithError("g++ did not compile the example");
  double Cpu = 0;
  for (auto _ : State) {
    TSession S;
    S.Break(AreaSource, LineOf(AreaSource, "double Area"));
    const double Cpu0 = CpuMs();
    const auto T0 = std::chrono::steady_clock::now();
    if (!S.Load(Example()) || !S.WaitForStop()) return State.SkipWithError("no stop");
    State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count());
    Cpu += CpuMs() - Cpu0;
  }
  State.counters["cpu_ms"] = Cpu / State.iterations();
}
BENCHMARK(BM_RunToFirstBreakpoint_Ours)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_RunToFirstBreakpoint_Gdb(benchmark::State& State) {
  if (Example().empty()) return State.SkipWithError("g++ did not compile the example");
  for (auto _ : State) {
    const double Ms = Peer("break " + Example() + " " + AreaSource + " " + std::to_string(LineOf(AreaSource, "double Area")));
    if (Ms < 0) return State.SkipWithError("the peer failed");
    State.SetIterationTime(Ms / 1e3);
  }
}
BENCHMARK(BM_RunToFirstBreakpoint_Gdb)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

constexpr int Steps = 1000;

void BM_StepOver_Ours(benchmark::State& State) {
  if (Looper().empty()) return State.SkipWithError("g++ did not compile the program");
  for (auto _ : State) {
    TSession S;
    S.Break(LooperSource, LineOf(LooperSource, "@tick"));
    if (!S.Load(Looper()) || !S.WaitForStop()) return State.SkipWithError("no stop");
    const double Cpu0 = CpuMs();
    const auto T0 = std::chrono::steady_clock::now();
    for (int I = 0; I < Steps; ++I) {
      S.Mgr.StepOver();
      if (!S.WaitForStop()) return State.SkipWithError("a step did not stop");
    }
    State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count() / Steps);
    State.counters["cpu_ms"] = (CpuMs() - Cpu0) / Steps;
  }
}
BENCHMARK(BM_StepOver_Ours)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(3);

void BM_StepOver_Gdb(benchmark::State& State) {
  if (Looper().empty()) return State.SkipWithError("g++ did not compile the program");
  for (auto _ : State) {
    const double Ms = Peer("step " + Looper() + " " + LooperSource + " " + std::to_string(LineOf(LooperSource, "@tick")) +
                           " " + std::to_string(Steps));
    if (Ms < 0) return State.SkipWithError("the peer failed");
    State.SetIterationTime(Ms / 1e3);
  }
}
BENCHMARK(BM_StepOver_Gdb)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(3);

constexpr int Passes = 10000;

void BM_PassCount10000_Ours(benchmark::State& State) {
  if (Looper().empty()) return State.SkipWithError("g++ did not compile the program");
  for (auto _ : State) {
    TSession S;
    S.Break(LooperSource, LineOf(LooperSource, "@tick"), Passes);
    const double Cpu0 = CpuMs();
    const auto T0 = std::chrono::steady_clock::now();
    if (!S.Load(Looper()) || !S.WaitForStop()) return State.SkipWithError("no stop");
    State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count());
    State.counters["cpu_ms"] = CpuMs() - Cpu0;
    const TOTAEvaluateResult I = S.Mgr.GetCurrentProcess()->GetCurrentThread()->Evaluate("I", 0, false);
    if (S.Stops != 1 || I.Value != std::to_string(Passes - 1))
      return State.SkipWithError(("stops reached the manager: " + std::to_string(S.Stops) + ", I = " + I.Value).c_str());
  }
}
BENCHMARK(BM_PassCount10000_Ours)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_PassCount10000_Gdb(benchmark::State& State) {
  if (Looper().empty()) return State.SkipWithError("g++ did not compile the program");
  for (auto _ : State) {
    const double Ms = Peer("pass " + Looper() + " " + LooperSource + " " + std::to_string(LineOf(LooperSource, "@tick")) +
                           " " + std::to_string(Passes));
    if (Ms < 0) return State.SkipWithError("the peer failed");
    State.SetIterationTime(Ms / 1e3);
  }
}
BENCHMARK(BM_PassCount10000_Gdb)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
