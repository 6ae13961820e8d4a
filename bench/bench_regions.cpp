// Region parsing speed: the largest Pascal and C++ sources installed on the machine, and
// whole corpora of each, counting files whose regions would not nest or lie outside them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "editor/editbuffer.h"
#include "editor/edkrnl.h"
#include "editor/elisions.h"
#include "editor/regions.h"
#include "shared/mainthread.h"

namespace {

namespace fs = std::filesystem;

const char* const PascalRoot = "/usr/share/fpcsrc";
const char* const CppRoot = "/usr/include/c++/12";

std::vector<fs::path> Corpus(const char* Root, bool Pascal) {
  std::vector<fs::path> Files;
  std::error_code Ec;
  for (fs::recursive_directory_iterator It(Root, fs::directory_options::skip_permission_denied, Ec), End;
       It != End; It.increment(Ec)) {
    if (Ec || !It->is_regular_file(Ec)) continue;
    auto P = nxs::RegionParserForFile(It->path().string());
    std::string Ext = It->path().extension().string();
    bool IsPascal = Ext == ".pas" || Ext == ".pp" || Ext == ".inc";
    bool IsCpp = !P && It->path().string().find("/c++/") != std::string::npos;  // headers without extension
    if (Pascal ? IsPascal : (IsCpp || (P && !IsPascal))) Files.push_back(It->path());
  }
  return Files;
}

std::string Read(const fs::path& P) {
  std::ifstream In(P, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

// Regions start before they end, lie in the file, and nest.
bool Sound(const nxs::TRegionResult& R, int32_t Lines) {
  using TAt = std::pair<int32_t, int32_t>;
  std::vector<TAt> Ends;
  for (const nxs::TRegion& G : R.Regions) {
    TAt Start{G.StartLine, G.StartIndex}, End{G.EndLine, G.EndIndex};
    if (!(Start < End) || G.StartLine < 1 || G.EndLine > Lines) return false;
    while (!Ends.empty() && Ends.back() < Start) Ends.pop_back();
    if (static_cast<size_t>(G.Level) != Ends.size() || (!Ends.empty() && Ends.back() < End)) return false;
    Ends.push_back(End);
  }
  return true;
}

void ParseLargest(benchmark::State& State, const char* Root, bool Pascal) {
  auto Files = Corpus(Root, Pascal);
  if (Files.empty()) {
    State.SkipWithError("corpus not installed");
    return;
  }
  auto Largest = *std::max_element(Files.begin(), Files.end(), [](const fs::path& A, const fs::path& B) {
    return fs::file_size(A) < fs::file_size(B);
  });
  std::string Text = Read(Largest);
  auto Parser = Pascal ? nxs::MakePascalRegionParser() : nxs::MakeCppRegionParser();
  for (auto _ : State) benchmark::DoNotOptimize(Parser->Parse(Text, {}));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Text.size()));
  State.SetLabel(Largest.string());
}

void ParseCorpus(benchmark::State& State, const char* Root, bool Pascal) {
  auto Files = Corpus(Root, Pascal);
  std::vector<std::string> Texts;
  for (const auto& F : Files) Texts.push_back(Read(F));
  auto Parser = Pascal ? nxs::MakePascalRegionParser() : nxs::MakeCppRegionParser();
  int64_t Bytes = 0, Unsound = 0, Regions = 0;
  for (auto _ : State) {
    for (const std::string& T : Texts) {
      auto R = Parser->Parse(T, {});
      Unsound += !Sound(R, static_cast<int32_t>(std::count(T.begin(), T.end(), '\n') + 1));
      Regions += static_cast<int64_t>(R.Regions.size());
      Bytes += static_cast<int64_t>(T.size());
    }
  }
  State.SetBytesProcessed(Bytes);
  State.counters["files"] = static_cast<double>(Texts.size());
  State.counters["unsound"] = static_cast<double>(Unsound);
  State.counters["regions"] = static_cast<double>(Regions);
}

// From a keystroke in a 100,000-line file to its folding applied, with no quiet period.
void KeystrokeToFolding(benchmark::State& State) {
  nxs::MainThreadQueue().SetMainThread();
  const std::string Path = (fs::temp_directory_path() / ("bench-regions-" + std::to_string(::getpid()) + ".pas")).string();
  {
    std::ofstream Out(Path, std::ios::binary);
    for (int I = 0; I < 20000; ++I) Out << "procedure P" << I << ";\nbegin\n  x := " << I << ";\nend;\n\n";
  }
  auto Buffer = nxs::TEditBuffer::Create(Path, true);
  nxs::PEkView V = Buffer->EkView();
  auto Module = std::make_shared<nxs::TElisionModule>(V, Path, nxs::MakePascalRegionParser());
  auto Parser = std::make_shared<nxs::TElisionParser>();
  Parser->AddModule(Module);
  nxs::TParseThread Thread;
  Thread.SetDelay(0);
  Thread.Add(Parser);
  for (auto _ : State) {
    Thread.CancelAndLock();
    nxs::InsertString(V, "y");
    ++nxs::ElisionGeneration();
    Thread.Unlock();
    Thread.WaitForParse(true, 10000);
    nxs::MainThreadQueue().ProcessPending();
  }
  Thread.Remove(Parser.get());
  Buffer.reset();
  fs::remove(Path);
}

BENCHMARK(KeystrokeToFolding)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ParseLargest, Pascal, PascalRoot, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ParseLargest, Cpp, CppRoot, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ParseCorpus, Pascal, PascalRoot, true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(ParseCorpus, Cpp, CppRoot, false)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
