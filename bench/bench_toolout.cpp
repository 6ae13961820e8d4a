// A tool that prints one long line (5, 40 or 100 MB without a line break, then a short line),
// run alone with its output to /dev/null and through `nxs build` as the Exec task of a
// project, side by side: what the build adds is reading the pipe, splitting it into lines and
// keeping them in the messages. Wall time, and the CPU time of the whole process in cpu_ms.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "benchrun.h"

namespace {

std::string Command(int64_t Bytes) {
  return "head -c " + std::to_string(Bytes) + " /dev/zero | tr '\\0' x; echo; echo done";
}

// A scratch folder with a project whose make is the command, and settings of its own.
struct TScratch {
  std::string Root;
  TScratch() {
    Root = std::filesystem::temp_directory_path().string() + "/nxs-bench-toolout";
    std::filesystem::remove_all(Root);
    std::filesystem::create_directories(Root + "/settings");
    ::setenv("NXS_SETTINGS_DIR", (Root + "/settings").c_str(), 1);
  }
  ~TScratch() { std::filesystem::remove_all(Root); }
  std::string Project(int64_t Bytes) {
    std::string File = Root + "/line" + std::to_string(Bytes) + ".kzproj";
    std::ofstream(File) << "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\n"
                           "  <ProjectExtensions><Tarvos.Personality>Kestrel.Personality.12</Tarvos.Personality>"
                           "</ProjectExtensions>\n"
                           "  <Target Name=\"Make\"><Exec Command=\""
                        << Command(Bytes) << "\" /></Target>\n</Project>\n";
    return File;
  }
};

TScratch& Scratch() {
  static TScratch S;
  return S;
}

void LongLine(benchmark::State& State, bool ThroughBuild) {
  const int64_t Bytes = State.range(0) << 20;
  std::vector<std::string> Args = ThroughBuild ? std::vector<std::string>{nxs::bench::NxsBinary(), "build",
                                                                          Scratch().Project(Bytes)}
                                               : std::vector<std::string>{"/bin/sh", "-c", Command(Bytes)};
  double CpuMs = 0;
  for (auto _ : State)
    if (nxs::bench::RunQuiet(Args, &CpuMs) != 0) State.SkipWithError("the command failed");
  State.SetBytesProcessed(State.iterations() * Bytes);
  State.counters["cpu_ms"] = benchmark::Counter(CpuMs / static_cast<double>(State.iterations()));
}

}  // namespace

BENCHMARK_CAPTURE(LongLine, tool_alone, false)->Arg(5)->Arg(40)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(LongLine, nxs_build, true)->Arg(5)->Arg(40)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
