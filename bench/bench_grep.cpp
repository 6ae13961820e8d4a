// Find in files against rg on the Free Pascal sources, warm cache, output read through a pipe
// and its distinct (file, line) places counted (both tools must find the same): a literal, a
// case-insensitive literal, a whole word, an expression with a required run of characters, a
// case-insensitive expression with an alternation and classes, an expression with no fixed
// run of characters, an alternation of literals and an expression that starts with classes
// before its literal, with one thread and with all cores (skipped where rg or the sources
// are missing); the line matcher alone over texts in memory; and a search group of many hits
// in one file made and taken down, which grows with the number of hits alone.
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
#include <unordered_set>
#include <vector>

#include "benchrun.h"
#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/edkrnl.h"
#include "environment/findinfiles.h"

namespace {

const char* const Tree = "/usr/share/fpcsrc/3.2.2";

std::string Nxs() { return nxs::bench::NxsBinary(); }

// Runs the command; CpuMs gets its user and system time, which a loaded machine distorts less
// than the wall time, and Places the distinct "file:line" prefixes of what it printed.
bool Run(std::vector<std::string> Args, double* CpuMs = nullptr, size_t* Places = nullptr) {
  int Pipe[2];
  if (::pipe(Pipe) != 0) return false;
  pid_t Pid = ::fork();
  if (Pid == 0) {
    int Null = ::open("/dev/null", O_WRONLY);
    ::dup2(Pipe[1], 1);
    ::dup2(Null, 2);
    ::close(Pipe[0]);
    std::vector<char*> Argv;
    for (auto& A : Args) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    ::execvp(Argv[0], Argv.data());
    ::_exit(127);
  }
  ::close(Pipe[1]);
  std::unordered_set<std::string> Seen;
  std::string Pending;
  char Buf[1 << 16];
  for (ssize_t N; (N = ::read(Pipe[0], Buf, sizeof Buf)) > 0;) {
    if (!Places) continue;
    Pending.append(Buf, static_cast<size_t>(N));
    size_t Start = 0;
    for (size_t End; (End = Pending.find('\n', Start)) != std::string::npos; Start = End + 1) {
      const size_t A = Pending.find(':', Start);
      const size_t B = A < End ? Pending.find(':', A + 1) : std::string::npos;
      if (B < End) Seen.emplace(Pending, Start, B - Start);
    }
    Pending.erase(0, Start);
  }
  ::close(Pipe[0]);
  int Status = 0;
  struct rusage Use {};
  ::wait4(Pid, &Status, 0, &Use);
  if (CpuMs)
    *CpuMs += (Use.ru_utime.tv_sec + Use.ru_stime.tv_sec) * 1e3 + (Use.ru_utime.tv_usec + Use.ru_stime.tv_usec) / 1e3;
  if (Places) *Places = Seen.size();
  return WIFEXITED(Status) && WEXITSTATUS(Status) <= 1;
}

bool Available() {
  struct stat St;
  return ::stat(Tree, &St) == 0 && ::system("command -v rg >/dev/null 2>&1") == 0;
}

enum TKind { kLiteral, kNoCase, kWord, kRegex, kAlternation, kNoLiteral, kLiterals, kClassLed };

// Each kind's pattern as nxs grep takes it and as rg does.
struct TPattern {
  std::vector<std::string> Nxs, Rg;
};
TPattern PatternOf(TKind K) {
  switch (K) {
    case kLiteral: return {{"procedure", "-c"}, {"-s", "procedure"}};
    case kNoCase: return {{"writeln"}, {"-i", "writeln"}};
    case kWord: return {{"result", "-w", "-c"}, {"-s", "-w", "result"}};
    case kRegex: return {{"[a-z]+Error\\(", "-r", "-c"}, {"-s", "[a-z]+Error\\("}};
    case kAlternation:
      return {{"(inc|dec)\\([A-Za-z_]+, *[0-9]+\\)", "-r"}, {"-i", "(inc|dec)\\([A-Za-z_]+, *[0-9]+\\)"}};
    case kNoLiteral: return {{"[0-9][0-9][0-9][0-9][0-9]", "-r", "-c"}, {"-s", "[0-9][0-9][0-9][0-9][0-9]"}};
    case kLiterals: return {{"writeln|readln|inherited", "-r", "-c"}, {"-s", "writeln|readln|inherited"}};
    case kClassLed: return {{"[A-Z][a-z]+Error", "-r", "-c"}, {"-s", "[A-Z][a-z]+Error"}};
  }
  return {};
}

std::vector<std::string> NxsArgs(TKind K, int Threads) {
  std::vector<std::string> A{Nxs(), "grep"};
  const auto P = PatternOf(K).Nxs;
  A.insert(A.end(), P.begin(), P.end());
  A.insert(A.end(), {Tree, "--subdirs", "--format", "gcc", "-j", std::to_string(Threads)});
  return A;
}

std::vector<std::string> RgArgs(TKind K, int Threads) {
  std::vector<std::string> A{"rg", "-a", "-n", "--no-heading", "--no-ignore", "--crlf", "-j", std::to_string(Threads)};
  const auto P = PatternOf(K).Rg;
  A.insert(A.end(), P.begin(), P.end());
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
  size_t Places = 0;
  Run(Args, nullptr, &Places);  // warm the cache
  double CpuMs = 0;
  for (auto _ : State)
    if (!Run(Args, &CpuMs)) State.SkipWithError("the search failed");
  State.counters["cpu_ms"] = benchmark::Counter(CpuMs / static_cast<double>(State.iterations()));
  State.counters["places"] = benchmark::Counter(static_cast<double>(Places));
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
  const auto P = PatternOf(K).Nxs;
  nxs::TSearchFlags Flags;
  for (const auto& A : P) {
    if (A == "-c") Flags.Set(nxs::sfCase, true);
    if (A == "-w") Flags.Set(nxs::sfWord, true);
    if (A == "-r") Flags.Set(nxs::sfRegExp, true);
  }
  nxs::TLineMatcher M(P[0], Flags, false);
  size_t Bytes = 0, Hits = 0;
  nxs::TFoundHits Found;
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

// The same with the file open in an edit buffer of 30,000 lines, opened before the search
// (Early) or while its hits are shown: the hits' places are tracked in the buffer (as many as
// its table takes), one edit above them moves them all, and the group's removal hands every
// tracker entry back.
void HitLinesOpen(benchmark::State& State, bool Early) {
  const int N = static_cast<int>(State.range(0));
  auto Name = std::make_shared<const std::string>("/src/unit1.pas");
  std::string Text;
  for (int I = 0; I < 30000; ++I) Text += "    x := x + 1;\n";
  for (auto _ : State) {
    std::shared_ptr<nxs::TEditBuffer> Buffer;
    const auto Open = [&] {
      Buffer = nxs::TEditBuffer::Create(*Name, false);
      Buffer->ReadFromStreamUTF8(Text);
    };
    if (Early) Open();
    nxs::TLineBufferList List;
    List.AddList("Build");
    nxs::TSearchLineBuffer* G = List.AddSearchList("Search for 'x'");
    for (int I = 0; I < N; ++I)
      G->AddFileLine(std::make_unique<nxs::TFileFindLine>(Name, I % 30000 + 1, 5, "    x := x + 1;", 5, 1, G));
    if (!Early) Open();
    nxs::InsertTextAtTop(Buffer->EkView(), "\r");
    List.RemoveList(G);
  }
  State.SetItemsProcessed(State.iterations() * N);
}

}  // namespace

BENCHMARK_CAPTURE(Matcher, literal, kLiteral)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Matcher, nocase, kNoCase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Matcher, word, kWord)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Matcher, regex, kRegex)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Matcher, alternation, kAlternation)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Matcher, noliteral, kNoLiteral)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Matcher, literals, kLiterals)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Matcher, classled, kClassLed)->Unit(benchmark::kMillisecond);
BENCHMARK(HitLines)->Arg(8000)->Arg(32000)->Arg(128000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HitLinesOpen, before, true)->Arg(8000)->Arg(32000)->Arg(128000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HitLinesOpen, after, false)->Arg(8000)->Arg(32000)->Arg(128000)->Unit(benchmark::kMillisecond);
// Each pair side by side: nxs, then rg, at one thread and at all cores.
#define NXS_SEARCH_PAIR(Name, Kind)                                                                         \
  BENCHMARK_CAPTURE(Search, nxs_##Name##_j1, true, Kind, false)->Unit(benchmark::kMillisecond)->UseRealTime(); \
  BENCHMARK_CAPTURE(Search, rg_##Name##_j1, false, Kind, false)->Unit(benchmark::kMillisecond)->UseRealTime(); \
  BENCHMARK_CAPTURE(Search, nxs_##Name##_all, true, Kind, true)->Unit(benchmark::kMillisecond)->UseRealTime(); \
  BENCHMARK_CAPTURE(Search, rg_##Name##_all, false, Kind, true)->Unit(benchmark::kMillisecond)->UseRealTime()
NXS_SEARCH_PAIR(literal, kLiteral);
NXS_SEARCH_PAIR(nocase, kNoCase);
NXS_SEARCH_PAIR(word, kWord);
NXS_SEARCH_PAIR(regex, kRegex);
NXS_SEARCH_PAIR(alternation, kAlternation);
NXS_SEARCH_PAIR(noliteral, kNoLiteral);
NXS_SEARCH_PAIR(literals, kLiterals);
NXS_SEARCH_PAIR(classled, kClassLed);

BENCHMARK_MAIN();
