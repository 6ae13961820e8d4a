// Tokenizer benchmarks: the installed Pascal sources and C++ headers tokenized line by line
// from the carried class, as the kernel paints them (MB/s, one thread); re-tokenizing a
// 100,000-line file after one character typed at its top, when the classes converge at once
// and when a comment opened there runs to the end; and the memory of the per-line classes.
// The whole-corpus agreement of file and line tokenizing runs here too (Consistency*).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "editor/kernel/ek.h"
#include "editor/kernel/ekdocument.h"
#include "editor/language/tokens.h"

namespace {

using namespace nxs;

struct TCorpus {
  std::vector<std::string> Files;
  size_t Bytes = 0;
};

TCorpus Load(const std::string& Root, const std::vector<std::string>& Extensions) {
  TCorpus C;
  std::error_code Ec;
  for (auto It = std::filesystem::recursive_directory_iterator(Root, Ec); !Ec && It != decltype(It)();
       It.increment(Ec)) {
    if (!It->is_regular_file(Ec)) continue;
    const std::string Ext = It->path().extension().string();
    if (!Extensions.empty() && std::find(Extensions.begin(), Extensions.end(), Ext) == Extensions.end()) continue;
    std::ifstream In(It->path(), std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    C.Bytes += S.str().size();
    C.Files.push_back(S.str());
  }
  return C;
}

const TCorpus& PascalCorpus() {
  static const TCorpus C = Load("/usr/share/fpcsrc", {".pas", ".pp", ".inc", ".lpr"});
  return C;
}
const TCorpus& CppCorpus() {
  static const TCorpus C = Load("/usr/include/c++/12", {});
  return C;
}

template <class TScan>
size_t TokenizeLines(const std::string& Text, std::vector<uint8_t>& Codes, TScan Scan) {
  uint8_t Class = 0;
  size_t From = 0, Tokens = 0;
  while (From <= Text.size()) {
    size_t Break = Text.find('\n', From);
    const size_t End = Break == std::string::npos ? Text.size() : Break;
    if (Codes.size() < End - From + 1) Codes.resize(End - From + 1);
    Class = Scan(Class, Text.data() + From, End - From, Codes.data());
    Tokens += Codes[0];
    if (Break == std::string::npos) break;
    From = Break + 1;
  }
  return Tokens;
}

template <class TScan>
void RunCorpus(benchmark::State& State, const TCorpus& C, TScan Scan) {
  if (C.Files.empty()) {
    State.SkipWithError("the corpus is not installed");
    return;
  }
  std::vector<uint8_t> Codes(1 << 16);
  for (auto _ : State)
    for (const auto& F : C.Files) benchmark::DoNotOptimize(TokenizeLines(F, Codes, Scan));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(C.Bytes));
  State.counters["files"] = static_cast<double>(C.Files.size());
  State.counters["MB"] = static_cast<double>(C.Bytes) / 1e6;
}

void BM_TokenizePascalSources(benchmark::State& State) {
  RunCorpus(State, PascalCorpus(), [](uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanPascal(K, T, N, C); });
}
BENCHMARK(BM_TokenizePascalSources)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_TokenizeCppHeaders(benchmark::State& State) {
  RunCorpus(State, CppCorpus(),
            [](uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanC(TCFamily::Cpp, K, T, N, C); });
}
BENCHMARK(BM_TokenizeCppHeaders)->Unit(benchmark::kMillisecond)->Iterations(5);

// Whether the text tokenizes alike whole (lines joined by "\n", a "\r" before a break dropped)
// and line by line from the carried class.
template <class TScan>
bool Agrees(const std::string& Raw, TScan Scan) {
  std::string Whole;
  Whole.reserve(Raw.size());
  for (size_t I = 0; I < Raw.size(); ++I)
    if (!(Raw[I] == '\r' && I + 1 < Raw.size() && Raw[I + 1] == '\n')) Whole += Raw[I];
  std::vector<uint8_t> All(Whole.size() + 1), Line;
  const uint8_t WholeEnd = Scan(0, Whole.data(), Whole.size(), All.data());
  uint8_t Class = 0;
  size_t From = 0;
  while (true) {
    size_t Break = Whole.find('\n', From);
    const size_t End = Break == std::string::npos ? Whole.size() : Break;
    Line.assign(End - From + 1, 0);
    Class = Scan(Class, Whole.data() + From, End - From, Line.data());
    if (!std::equal(Line.begin(), Line.begin() + static_cast<std::ptrdiff_t>(End - From),
                    All.begin() + static_cast<std::ptrdiff_t>(From)))
      return false;
    if (Break == std::string::npos) break;
    From = Break + 1;
  }
  return Class == WholeEnd;
}

template <class TScan>
void RunConsistency(benchmark::State& State, const TCorpus& C, TScan Scan) {
  if (C.Files.empty()) {
    State.SkipWithError("the corpus is not installed");
    return;
  }
  size_t Differing = 0;
  for (auto _ : State)
    for (const auto& F : C.Files) Differing += !Agrees(F, Scan);
  State.counters["differing files"] = static_cast<double>(Differing);
  if (Differing) State.SkipWithError("files tokenize differently whole and line by line");
}

void BM_ConsistencyPascalSources(benchmark::State& State) {
  RunConsistency(State, PascalCorpus(), [](uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanPascal(K, T, N, C); });
}
BENCHMARK(BM_ConsistencyPascalSources)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ConsistencyCppHeaders(benchmark::State& State) {
  RunConsistency(State, CppCorpus(),
                 [](uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanC(TCFamily::Cpp, K, T, N, C); });
}
BENCHMARK(BM_ConsistencyCppHeaders)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---- re-tokenizing after an edit ----

struct TSource {
  const std::string* Text;
  size_t At = 0;
  static int32_t Read(void* Context, char* Buffer, int32_t Count) {
    auto* S = static_cast<TSource*>(Context);
    size_t N = std::min(static_cast<size_t>(Count), S->Text->size() - S->At);
    std::copy(S->Text->begin() + static_cast<std::ptrdiff_t>(S->At),
              S->Text->begin() + static_cast<std::ptrdiff_t>(S->At + N), Buffer);
    S->At += N;
    return static_cast<int32_t>(N);
  }
};

struct TKernelFile {
  static constexpr int Lines = 100000;
  TEkInstance* Kernel;
  TEkView View{};
  TTokenizer* Pascal = nullptr;
  TKernelFile() {
    Kernel = EK_INIT(EkKernelVersion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    REGISTERPASTOKENIZER(*Kernel);
    Kernel->EkEnumRegisteredTokenizers(
        [](void* C, TTokenizer* T) {
          if (T->SyntaxLang == slPascal) *static_cast<TTokenizer**>(C) = T;
        },
        &Pascal);
    Kernel->EkNew(nullptr, &View, 0);
    std::string Text;
    for (int I = 0; I < Lines; ++I) Text += (I % 7 == 3) ? "  (* note *) x := y + 1; // c\n" : "  Value := Value * 2;\n";
    TSource S{&Text};
    Run(ekReadBuffer, TReadBufferArgs{&TSource::Read, &S});
    Run(ekSetSyntaxLang, TByteArgs{slPascal});
  }
  ~TKernelFile() { Kernel->EkEnd(&View); }
  template <class TArgs>
  void Run(TEkOp Op, const TArgs& Args) {
    TEkScript S;
    S.Add(Op, Args);
    S.EndMacroStep();
    Kernel->EkEval(&View, S.Data(), S.Length());
  }
  ek::TEkDocument& Doc() { return *static_cast<ek::TEkDocument*>(View.Editor->EditorData); }
  uint8_t LastLineClass() { return Doc().LineClasses.StartClass(Doc(), *Pascal, Lines - 1); }
  void Type(const char* Text) {
    Run(ekGotoLineCol, TGotoLineColArgs{TEdPos{1, 1}, 1});
    Run(ekInsertString, TStringArgs{Text, static_cast<uint32_t>(std::char_traits<char>::length(Text))});
  }
  void Undo() { Run(ekUndo, TEkNoArgs{}); }
};

void Retokenize(benchmark::State& State, const char* Typed) {
  TKernelFile F;
  F.LastLineClass();  // every line's class known before the first edit
  uint64_t Lines = 0;
  for (auto _ : State) {
    State.PauseTiming();
    F.Type(Typed);
    State.ResumeTiming();
    benchmark::DoNotOptimize(F.LastLineClass());
    State.PauseTiming();
    Lines += F.Doc().LineClasses.LastRetokenized();
    F.Undo();
    F.LastLineClass();
    State.ResumeTiming();
  }
  State.counters["lines"] = static_cast<double>(Lines) / static_cast<double>(State.iterations());
  State.counters["classbytes/line"] =
      static_cast<double>(F.Doc().LineClasses.MemoryBytes()) / static_cast<double>(TKernelFile::Lines);
}

void BM_RetokenizeConverging(benchmark::State& State) { Retokenize(State, "x"); }
BENCHMARK(BM_RetokenizeConverging)->Unit(benchmark::kMicrosecond)->Iterations(200);

void BM_RetokenizeCommentToTheEnd(benchmark::State& State) { Retokenize(State, "{"); }
BENCHMARK(BM_RetokenizeCommentToTheEnd)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
