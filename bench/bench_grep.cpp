// Find in files against rg on the Free Pascal sources, warm cache, output to /dev/null: a
// literal, a case-insensitive literal and a regular expression, with one thread and with all
// cores (skipped where rg or the sources are missing); the line matcher alone over texts in
// memory; and a search group of many hits in one file made and taken down, which grows with
// the number of hits alone.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "benchrun.h"
#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "environment/findinfiles.h"

namespace {

const char* const Tree = "/usr/share/fpcsrc/3.2.2";

std::string Nxs() { return nxs::bench::NxsBinary(); }

// True when the command ran: with hits (0) or without (1).
bool Run(std::vector<std::string> Args, double* CpuMs = nullptr) {
  int Status = nxs::bench::RunQuiet(std::move(Args), CpuMs);
  return Status == 0 || Status == 1;
}

bool Available() {
  struct stat St;
  return ::stat(Tree, &St) == 0 && ::system("command -v rg >/dev/null 2>&1") == 0;
}

enum TKind { kLiteral, kNoCase, kRegex };

std::vector<std::string> NxsArgs(TKind K, int Threads) {
  std::vector<std::string> A{Nxs(), "grep"};
  if (K == kLiteral) A.insert(A.end(), {"procedure", "-c"});
  if (K == kNoCase) A.insert(A.end(), {"writeln"});
  if (K == kRegex) A.insert(A.end(), {"[a-z]+Error\\(", "-r", "-c"});
  A.insert(A.end(), {Tree, "--subdirs", "--format", "gcc", "-j", std::to_string(Threads)});
  return A;
}

std::vector<std::string> RgArgs(TKind K, int Threads) {
  std::vector<std::string> A{"rg", "-a", "-n", "--no-heading", "--no-ignore", "-j", std::to_string(Threads)};
  if (K == kLiteral) A.insert(A.end(), {"-s", "procedure"});
  if (K == kNoCase) A.insert(A.end(), {"-i", "writeln"});
  if (K == kRegex) A.insert(A.end(), {"-s", "[a-z]+Error\\("});
  A.push_back(Tree);
  return A;
}

void Search(benchmark::State& State, bool Mine, TKind K, bool AllCores) {
  if (!Available()) {
    State.SkipWithError("rg or the Free Pascal sources are not installed");
    return;
  }
  int Threads = AllCores ? static_cast<int>(std::thread::hardware_concurrency()) : 1;
  auto Args = Mine ? NxsArgs(K, Threads) : RgArgs(K, Threads);
  Run(Args);  // warm the cache
  double CpuMs = 0;
  for (auto _ : State)
    if (!Run(Args, &CpuMs)) State.SkipWithError("the search failed");
  State.counters["cpu_ms"] = benchmark::Counter(CpuMs / static_cast<double>(State.iterations()));
}

// The texts of the run-time library's sources, read once: the matcher's work without the disk.
const std::vector<std::string>& Texts() {
  static const std::vector<std::string> List = [] {
    std::vector<std::string> Out;
    nxs::TFindRequest R;
    R.Text = "x";
    R.Directories = std::string(Tree) + "/rtl";
    R.Masks = "*.pp;*.pas;*.inc";
    R.Advanced = nxs::AdvFlag(nxs::asfIncludeSubDirs);
    for (const auto& Name : nxs::TFindEngine(R).CollectFiles()) {
      std::string Text;
      if (nxs::CReadWholeFile(Name, Text)) Out.push_back(std::move(Text));
    }
    return Out;
  }();
  return List;
}

// The line matcher alone over those texts.
void Matcher(benchmark::State& State, TKind K) {
  struct stat St;
  if (::stat(Tree, &St) != 0) {
    State.SkipWithError("the Free Pascal sources are not installed");
    return;
  }
  nxs::TSearchFlags Flags;
  if (K != kNoCase) Flags.Set(nxs::sfCase, true);
  if (K == kRegex) Flags.Set(nxs::sfRegExp, true);
  nxs::TLineMatcher M(K == kLiteral ? "procedure" : K == kNoCase ? "writeln" : "[a-z]+Error\\(", Flags, false);
  size_t Bytes = 0, Hits = 0;
  std::vector<nxs::TFindHit> Found;
  for (auto _ : State) {
    for (const auto& T : Texts()) {
      Found.clear();
      M.Search(T, Found);
      Bytes += T.size();
      Hits += Found.size();
    }
  }
  State.SetBytesProcessed(static_cast<int64_t>(Bytes));
  State.counters["hits"] = benchmark::Counter(static_cast<double>(Hits) / static_cast<double>(State.iterations()));
}

// N hit lines of one file added to a search group and the group removed.
void HitLines(benchmark::State& State) {
  const int N = static_cast<int>(State.range(0));
  auto Name = std::make_shared<const std::string>("/src/unit1.pas");
  for (auto _ : State) {
    nxs::TLineBufferList List;
    List.AddList("Build");
    nxs::TSearchLineBuffer* G = List.AddSearchList("Search for 'x'");
    for (int I = 0; I < N; ++I)
      G->AddFileLine(std::make_unique<nxs::TFileFindLine>(Name, I % 30000 + 1, 5, "    x := x + 1;", 5, 1, G));
    List.RemoveList(G);
  }
  State.SetItemsProcessed(State.iterations() * N);
}

}  // namespace

BENCHMARK_CAPTURE(Matcher, literal, kLiteral)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Matcher, nocase, kNoCase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Matcher, regex, kRegex)->Unit(benchmark::kMillisecond);
BENCHMARK(HitLines)->Arg(8000)->Arg(32000)->Arg(128000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, nxs_literal_j1, true, kLiteral, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, rg_literal_j1, false, kLiteral, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, nxs_nocase_j1, true, kNoCase, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, rg_nocase_j1, false, kNoCase, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, nxs_regex_j1, true, kRegex, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, rg_regex_j1, false, kRegex, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, nxs_literal_all, true, kLiteral, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, rg_literal_all, false, kLiteral, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, nxs_nocase_all, true, kNoCase, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, rg_nocase_all, false, kNoCase, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, nxs_regex_all, true, kRegex, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Search, rg_regex_all, false, kRegex, true)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
