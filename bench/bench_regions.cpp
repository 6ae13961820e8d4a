// Region parsing speed: the largest Pascal and C++ sources installed on the machine, and
// whole corpora of each, counting files whose regions would not nest or lie outside them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/elisions.h"
#include "editor/language/folding.h"
#include "editor/language/regions.h"
#include "shared/mainthread.h"

namespace {

namespace fs = std::filesystem;

const char* const PascalRoot = "/usr/share/fpcsrc";
const char* const CppRoot = "/usr/include/c++/12";

std::vector<fs::path> Corpus(const char* Root, bool Pascal) {
  static const auto CppFiles = nxs::MakeCppRegionServices();
  std::vector<fs::path> Files;
  std::error_code Ec;
  for (fs::recursive_directory_iterator It(Root, fs::directory_options::skip_permission_denied, Ec), End;
       It != End; It.increment(Ec)) {
    if (Ec || !It->is_regular_file(Ec)) continue;
    const std::string Name = It->path().string();
    std::string Ext = It->path().extension().string();
    bool IsPascal = Ext == ".pas" || Ext == ".pp" || Ext == ".inc";
    // The library's headers have no extension.
    bool IsCpp = CppFiles->HandlesFile(Name) || (Ext.empty() && Name.find("/c++/") != std::string::npos);
    if (Pascal ? IsPascal : IsCpp) Files.push_back(It->path());
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

// A 100,000-line Pascal file open in an editor, the folding parser on a parse thread of its
// own with no quiet period.
struct TFoldingEditor {
  explicit TFoldingEditor(const std::string& Tag)
      : Path((fs::temp_directory_path() / ("bench-" + Tag + "-" + std::to_string(::getpid()) + ".pas")).string()) {
    nxs::MainThreadQueue().SetMainThread();
    {
      std::ofstream Out(Path, std::ios::binary);
      for (int I = 0; I < 20000; ++I) Out << "procedure P" << I << ";\nbegin\n  x := " << I << ";\nend;\n\n";
    }
    Buffer = nxs::TEditBuffer::Create(Path, true);
    View = Buffer->EkView();
    Parser->AddModule(std::make_shared<nxs::TElisionModule>(View, Path, nxs::MakePascalRegionParser()));
    Thread.SetDelay(0);
    Thread.Add(Parser);
  }
  ~TFoldingEditor() {
    Thread.Remove(Parser.get());
    Buffer.reset();
    fs::remove(Path);
  }
  std::string Path;
  std::shared_ptr<nxs::TEditBuffer> Buffer;
  nxs::PEkView View = nullptr;
  std::shared_ptr<nxs::TElisionParser> Parser = std::make_shared<nxs::TElisionParser>();
  nxs::TParseThread Thread;
};

// From a keystroke to its folding applied. "cpu_ms" counts both threads' processor time, which
// a loaded machine does not inflate as it does the real time.
void KeystrokeToFolding(benchmark::State& State) {
  TFoldingEditor E("keystroke");
  // Typing in the first routine's body: every routine stays a routine.
  nxs::GotoLineCol(E.View, 3, 3);
  const std::clock_t Cpu = std::clock();
  for (auto _ : State) {
    E.Thread.CancelAndLock();
    nxs::InsertString(E.View, "y");
    ++nxs::ElisionGeneration();
    E.Thread.Unlock();
    E.Thread.WaitForParse(true, 10000);
    nxs::MainThreadQueue().ProcessPending();
  }
  State.counters["cpu_ms"] = 1000.0 * static_cast<double>(std::clock() - Cpu) / CLOCKS_PER_SEC /
                             static_cast<double>(std::max<benchmark::IterationCount>(State.iterations(), 1));
  if (!nxs::IsStartOfElisionBlock(E.View, 1)) State.SkipWithError("the folding was not applied");
}

// From the main thread's CancelAndLock to holding the lock while the folding parser works
// through the same file: how soon a canceled parse lets go.
void CancelToLock(benchmark::State& State) {
  TFoldingEditor E("cancel");
  for (auto _ : State) {
    State.PauseTiming();
    // A parse this thread was too late to see has ended: ask for another.
    E.Thread.ParseNow();
    for (int Spins = 1; !E.Thread.IsParsing(); ++Spins) {
      std::this_thread::yield();
      if (Spins % 4096 == 0) E.Thread.ParseNow();
    }
    State.ResumeTiming();
    E.Thread.CancelAndLock();
    State.PauseTiming();
    E.Thread.Unlock();
    nxs::MainThreadQueue().ProcessPending();
    State.ResumeTiming();
  }
}

BENCHMARK(KeystrokeToFolding)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CancelToLock)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(ParseLargest, Pascal, PascalRoot, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ParseLargest, Cpp, CppRoot, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ParseCorpus, Pascal, PascalRoot, true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(ParseCorpus, Cpp, CppRoot, false)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
