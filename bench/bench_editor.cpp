// Editor kernel benchmarks on a generated 100 MB file of about 2.5 million lines: loading,
// typing, random edits with their line lookups, undo, line lookups, searching, replacing all
// matches and writing.
// Loading, typing and writing run through EkEval scripts; random edits, undo, line lookups,
// searches and memory use the kernel's storage classes directly (the pure storage figures).
// Each case runs once and reports the median and 99th percentile of its single operations.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "editor/kernel/ek.h"
#include "editor/kernel/ekdocument.h"
#include "editor/kernel/eksearch.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "benchrun.h"

namespace {

using namespace nxs;
using Clock = std::chrono::steady_clock;

constexpr size_t TargetBytes = 100u << 20;

const std::string& FilePath() {
  static const std::string Path = [] {
    std::string P = "/tmp/nxs-bench-editor-" + std::to_string(getpid()) + ".txt";
    std::mt19937 Rng(1);
    static const char* Words[] = {"alpha", "beta", "gamma", "delta", "begin", "end", "if", "then",
                                  "value", "result", "index", "count", "procedure", "var", "x", "y"};
    std::string Text;
    Text.reserve(TargetBytes + 100);
    while (Text.size() < TargetBytes - 200) {
      int N = 4 + static_cast<int>(Rng() % 8);
      for (int I = 0; I < N; ++I) {
        if (I) Text += ' ';
        Text += Words[Rng() % 16];
      }
      Text += (Rng() % 10 == 0) ? "\r\n" : "\n";
    }
    Text += "the needleword, the \xCF\x89mega and zq12345x are near the end\n";
    Text += "tail line\n";
    FILE* F = std::fopen(P.c_str(), "wb");
    std::fwrite(Text.data(), 1, Text.size(), F);
    std::fclose(F);
    return P;
  }();
  return Path;
}

size_t FileSize() {
  FILE* F = std::fopen(FilePath().c_str(), "rb");
  std::fseek(F, 0, SEEK_END);
  size_t N = static_cast<size_t>(std::ftell(F));
  std::fclose(F);
  return N;
}

struct TStats {
  double Median = 0, P99 = 0;
};

TStats Percentiles(std::vector<double>& Ns) {
  std::sort(Ns.begin(), Ns.end());
  if (Ns.empty()) return {};
  return {Ns[Ns.size() / 2], Ns[std::min(Ns.size() - 1, Ns.size() * 99 / 100)]};
}

double Elapsed(Clock::time_point From) { return std::chrono::duration<double>(Clock::now() - From).count(); }

int32_t ReadFd(void* Context, char* Buffer, int32_t Count) {
  return static_cast<int32_t>(read(*static_cast<int*>(Context), Buffer, static_cast<size_t>(Count)));
}

struct TView {
  TEkInstance* Kernel = EK_INIT(EkKernelVersion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr);
  TEkView View{};
  TView() { Kernel->EkNew(nullptr, &View, 0); }
  ~TView() { Kernel->EkEnd(&View); }
  ek::TEkDocument& Doc() { return *static_cast<ek::TEkDocument*>(View.Editor->EditorData); }
  uint16_t Load() {
    int Fd = open(FilePath().c_str(), O_RDONLY);
    TEkScript S;
    S.Add(ekReadBuffer, TReadBufferArgs{ReadFd, &Fd});
    S.End();
    uint16_t R = Kernel->EkEval(&View, S.Data(), S.Length());
    close(Fd);
    return R;
  }
};

void BM_PlainRead(benchmark::State& State) {
  size_t Size = FileSize();
  std::vector<char> Buf(Size);
  for (auto _ : State) {
    int Fd = open(FilePath().c_str(), O_RDONLY);
    size_t Got = 0;
    while (Got < Size) Got += static_cast<size_t>(read(Fd, Buf.data() + Got, Size - Got));
    close(Fd);
    benchmark::DoNotOptimize(Buf.data());
  }
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadScript(benchmark::State& State) {
  size_t Size = FileSize();
  for (auto _ : State) {
    TView V;
    auto T0 = Clock::now();
    V.Load();
    double S = Elapsed(T0);
    State.SetIterationTime(S);
    State.counters["lines"] = V.View.Editor->NLines;
    State.counters["mem_ratio"] = static_cast<double>(V.Doc().Text().MemoryUse()) / static_cast<double>(Size);
  }
}
BENCHMARK(BM_LoadScript)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

void BM_TypingScript(benchmark::State& State) {
  TView V;
  V.Load();
  for (auto _ : State) {
    // As the command layer types: one character and the end of its macro step.
    TEkScript S;
    std::string Ch = "q";
    S.Add(ekInsertString, TStringArgs{Ch.data(), 1});
    S.EndMacroStep();
    TEkScript Go;
    Go.Add(ekGotoLineCol, TGotoLineColArgs{TEdPos{5, 1250000}, 0});
    Go.End();
    V.Kernel->EkEval(&V.View, Go.Data(), Go.Length());
    std::vector<double> Ns;
    for (int I = 0; I < 20000; ++I) {
      auto T0 = Clock::now();
      V.Kernel->EkEval(&V.View, S.Data(), S.Length());
      Ns.push_back(Elapsed(T0) * 1e9);
      if (I % 60 == 59) {  // a new line now and then, so that lines stay ordinary
        TEkScript Nl;
        std::string Cr = "\r";
        Nl.Add(ekInsertString, TStringArgs{Cr.data(), 1});
        Nl.EndMacroStep();
        V.Kernel->EkEval(&V.View, Nl.Data(), Nl.Length());
      }
    }
    TStats St = Percentiles(Ns);
    State.counters["median_us"] = St.Median / 1000;
    State.counters["p99_us"] = St.P99 / 1000;
  }
}
BENCHMARK(BM_TypingScript)->Unit(benchmark::kMillisecond)->Iterations(1);

// Random edits, undo, lookups, searches and memory on the storage classes.
void BM_StorageEditsUndoAndSearch(benchmark::State& State) {
  size_t Size = FileSize();
  for (auto _ : State) {
    TView V;
    V.Load();
    ek::TTextBuffer& T = V.Doc().Text();
    T.History().SetLimit(1000000);  // room for every edit's undo step
    std::mt19937_64 Rng(5);

    // Searches on the loaded text (one piece per block).
    auto Search = [&](std::string_view Pattern, TSearchFlags Flags, const char* Name) {
      ek::TSearcher S;
      (void)S.Prepare(Pattern, Flags);
      uint64_t Pos = 0, Len = 0;
      auto T0 = Clock::now();
      bool Found = S.FindForward(T, 0, T.Length(), Pos, Len);
      double Secs = Elapsed(T0);
      State.counters[Name] = Found ? static_cast<double>(Pos) / Secs / 1e9 : -1;
    };
    Search("needleword", {sfCase}, "lit_case_GBps");
    Search("NEEDLEWORD", {}, "lit_nocase_GBps");
    Search("\xCE\xA9MEGA", {}, "nonascii_nocase_GBps");  // folds to the Greek word near the end
    Search("zq[0-9]+x", {sfRegExp, sfCase}, "regex_GBps");

    // Line lookups.
    std::vector<double> Ns;
    uint64_t Lines = T.Lines().LineCount();
    uint64_t Sum = 0;
    for (int I = 0; I < 200000; ++I) {
      uint64_t L = Rng() % Lines;
      auto T0 = Clock::now();
      Sum += T.Lines().LineStart(L);
      Ns.push_back(Elapsed(T0) * 1e9);
    }
    benchmark::DoNotOptimize(Sum);
    TStats Look = Percentiles(Ns);
    State.counters["line_lookup_median_ns"] = Look.Median;
    State.counters["line_lookup_p99_ns"] = Look.P99;

    // 100,000 single-character inserts and deletes at uniformly random places, each with its line lookup.
    Ns.clear();
    for (int I = 0; I < 100000; ++I) {
      uint64_t Pos = Rng() % T.Length();
      auto T0 = Clock::now();
      uint64_t Line = T.Lines().LineOf(Pos);
      uint64_t Start = T.Lines().LineStart(Line);
      benchmark::DoNotOptimize(Start);
      if (I % 2 == 0) {
        T.Insert(Pos, "k");
      } else {
        T.Delete(Pos, 1);
      }
      T.History().EndStep();
      Ns.push_back(Elapsed(T0) * 1e9);
      if (I == 9999)
        State.counters["mem_ratio_10k_edits"] = static_cast<double>(T.MemoryUse()) / static_cast<double>(Size);
    }
    TStats Edit = Percentiles(Ns);
    State.counters["edit_median_us"] = Edit.Median / 1000;
    State.counters["edit_p99_us"] = Edit.P99 / 1000;
    State.counters["pieces"] = static_cast<double>(T.Tree().PieceCount());

    Search("needleword", {sfCase}, "lit_case_edited_GBps");
    Search("NEEDLEWORD", {}, "lit_nocase_edited_GBps");
    Search("near the end\\ntail line", {sfRegExp, sfCase}, "regex_lines_edited_GBps");  // across a line break

    // Undoing all of them, one step each.
    Ns.clear();
    uint64_t Where;
    TEdPos Cursor;
    for (;;) {
      auto T0 = Clock::now();
      if (!T.Undo(Where, Cursor)) break;
      Ns.push_back(Elapsed(T0) * 1e9);
    }
    TStats Undo = Percentiles(Ns);
    State.counters["undo_steps"] = static_cast<double>(Ns.size());
    State.counters["undo_median_us"] = Undo.Median / 1000;
    State.counters["undo_p99_us"] = Undo.P99 / 1000;
  }
}
BENCHMARK(BM_StorageEditsUndoAndSearch)->Unit(benchmark::kMillisecond)->Iterations(1);

// An expression across a line break, found near the end of the text after 100,000 scattered
// edits (the text in some 150,000 pieces), beside its peers on the same text: the expression
// engine alone over the text in one piece, and rg reading the file (-U for matches across
// lines). Two expressions: one that every match begins with a literal of, and one whose
// alternation begins each match with one of two literals (the kernel scans for both at once
// and tries the expression only where one stands). Each the best of several runs; the
// machine may be shared.
void BM_RegexAcrossLinesAfterEdits(benchmark::State& State) {
  const std::pair<const char*, std::string> Patterns[] = {{"near the end\\ntail line", ""},
                                                          {"(?:near|close to) the end\\ntail line", "_alt"}};
  for (auto _ : State) {
    TView V;
    V.Load();
    ek::TTextBuffer& T = V.Doc().Text();
    std::mt19937_64 Rng(5);
    for (int I = 0; I < 100000; ++I) {
      const uint64_t Pos = Rng() % T.Length();
      if (I % 2 == 0) T.Insert(Pos, "k");
      else T.Delete(Pos, 1);
    }
    State.counters["pieces"] = static_cast<double>(T.Tree().PieceCount());
    const std::string Flat = T.Text(0, T.Length());
    for (const auto& [Pattern, Suffix] : Patterns) {
      ek::TSearcher S;
      (void)S.Prepare(Pattern, {sfRegExp, sfCase});
      double Best = 1e18;
      uint64_t Pos = 0, Len = 0;
      for (int Run = 0; Run < 5; ++Run) {
        const auto T0 = Clock::now();
        if (!S.FindForward(T, 0, T.Length(), Pos, Len)) State.SkipWithError("no match");
        Best = std::min(Best, Elapsed(T0));
      }
      State.counters["kernel" + Suffix + "_MBps"] = static_cast<double>(Pos) / Best / 1e6;
      // The engine alone: the same expression over the text as one string.
      int Error = 0;
      PCRE2_SIZE Offset = 0;
      pcre2_code* Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(Pattern), PCRE2_ZERO_TERMINATED,
                                       PCRE2_UTF | PCRE2_UCP | PCRE2_MULTILINE, &Error, &Offset, nullptr);
      pcre2_jit_compile(Code, PCRE2_JIT_COMPLETE);
      pcre2_match_data* Data = pcre2_match_data_create_from_pattern(Code, nullptr);
      Best = 1e18;
      for (int Run = 0; Run < 5; ++Run) {
        const auto T0 = Clock::now();
        pcre2_match(Code, reinterpret_cast<PCRE2_SPTR>(Flat.data()), Flat.size(), 0, 0, Data, nullptr);
        Best = std::min(Best, Elapsed(T0));
      }
      State.counters["engine" + Suffix + "_MBps"] =
          static_cast<double>(pcre2_get_ovector_pointer(Data)[0]) / Best / 1e6;
      pcre2_match_data_free(Data);
      pcre2_code_free(Code);
      // rg on the file as it was before the edits.
      if (std::system("command -v rg >/dev/null 2>&1") == 0) {
        Best = 1e18;
        for (int Run = 0; Run < 5; ++Run) {
          const bench::TRunTimes R = bench::RunTimed({"rg", "-U", "-c", Pattern, FilePath()}, "/");
          Best = std::min(Best, R.WallMs / 1e3);
        }
        State.counters["rg" + Suffix + "_MBps"] = static_cast<double>(FileSize()) / Best / 1e6;
      }
    }
  }
}
BENCHMARK(BM_RegexAcrossLinesAfterEdits)->Unit(benchmark::kMillisecond)->Iterations(1);

// SearchString line after line, as a caller that matches each line of a listing does: one
// expression over 20,000 lines (its compiled form kept from call to call), the same with two
// expressions taking turns (each call compiles, as every call did before the kernel kept it),
// and the expression engine alone matching the same lines with one compiled expression.
void BM_SearchStringPerLine(benchmark::State& State) {
  std::vector<std::string> Lines;
  for (int I = 0; I < 20000; ++I) Lines.push_back("  Result := Table[" + std::to_string(I) + "].Value + Offset;");
  const std::string Patterns[2] = {"Table\\[[0-9]+7\\]", "Offset[0-9]+;"};
  TView V;
  const auto Run = [&](bool Alternate) {
    const auto T0 = Clock::now();
    int32_t Start = 0, Length = 0;
    for (size_t I = 0; I < Lines.size(); ++I) {
      const std::string& P = Patterns[Alternate ? I % 2 : 0];
      TEkScript S;
      S.Add(ekSearchString, TSearchStringArgs{TSearchFlags{sfRegExp, sfCase}.Bits(), Lines[I].data(),
                                              static_cast<uint32_t>(Lines[I].size()), P.data(),
                                              static_cast<uint32_t>(P.size()), &Start, &Length});
      S.End();
      V.Kernel->EkEval(&V.View, S.Data(), S.Length());
    }
    return Elapsed(T0);
  };
  for (auto _ : State) {
    double Kept = 1e18, Compiled = 1e18, Engine = 1e18;
    for (int Round = 0; Round < 5; ++Round) {
      Kept = std::min(Kept, Run(false));
      Compiled = std::min(Compiled, Run(true));
      int Error = 0;
      PCRE2_SIZE Offset = 0;
      pcre2_code* Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>("Table\\[[0-9]+7\\]"), PCRE2_ZERO_TERMINATED,
                                       PCRE2_UTF | PCRE2_UCP, &Error, &Offset, nullptr);
      pcre2_jit_compile(Code, PCRE2_JIT_COMPLETE);
      pcre2_match_data* Data = pcre2_match_data_create_from_pattern(Code, nullptr);
      const auto T0 = Clock::now();
      for (const std::string& L : Lines) pcre2_match(Code, reinterpret_cast<PCRE2_SPTR>(L.data()), L.size(), 0, 0, Data, nullptr);
      Engine = std::min(Engine, Elapsed(T0));
      pcre2_match_data_free(Data);
      pcre2_code_free(Code);
    }
    const double N = static_cast<double>(Lines.size());
    State.counters["kept_us_per_line"] = Kept / N * 1e6;
    State.counters["compiled_us_per_line"] = Compiled / N * 1e6;
    State.counters["engine_us_per_line"] = Engine / N * 1e6;
  }
}
BENCHMARK(BM_SearchStringPerLine)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WriteScript(benchmark::State& State) {
  TView V;
  V.Load();
  std::string Out = FilePath() + ".out";
  for (auto _ : State) {
    int Fd = open(Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    auto Write = [](void* C, const char* B, int32_t N) -> int32_t {
      return static_cast<int32_t>(write(*static_cast<int*>(C), B, static_cast<size_t>(N)));
    };
    TEkScript S;
    S.Add(ekWriteBuffer, TWriteBufferArgs{Write, &Fd, 1, 0});
    S.End();
    auto T0 = Clock::now();
    V.Kernel->EkEval(&V.View, S.Data(), S.Length());
    State.SetIterationTime(Elapsed(T0));
    close(Fd);
  }
  unlink(Out.c_str());
}
// ReplaceAll through a script: every match of one line of 1 MB, and about a million matches
// spread over the whole file.
double ReplaceAllSeconds(TView& V, std::string_view Pattern, std::string_view Rep, int32_t& Count) {
  TEkScript S;
  S.Add(ekStartUndoGroup);
  S.Add(ekReplaceAll, TReplaceAllArgs{TSearchFlags{sfGoForward, sfCase}.Bits(), Pattern.data(),
                                      static_cast<uint32_t>(Pattern.size()), Rep.data(), static_cast<uint32_t>(Rep.size()), &Count});
  S.EndMacroStep();
  auto T0 = Clock::now();
  V.Kernel->EkEval(&V.View, S.Data(), S.Length());
  return Elapsed(T0);
}

void BM_ReplaceAllScript(benchmark::State& State) {
  for (auto _ : State) {
    TView Line;
    std::string Text;
    for (int I = 0; I < 100000; ++I) Text += "abcd efgh ";
    Text += "\n";
    auto Read = [](void* C, char* B, int32_t N) -> int32_t {
      auto* S = static_cast<std::string_view*>(C);
      size_t K = std::min(S->size(), static_cast<size_t>(N));
      std::memcpy(B, S->data(), K);
      S->remove_prefix(K);
      return static_cast<int32_t>(K);
    };
    std::string_view Source = Text;
    TEkScript L;
    L.Add(ekReadBuffer, TReadBufferArgs{Read, &Source});
    L.End();
    Line.Kernel->EkEval(&Line.View, L.Data(), L.Length());
    int32_t Count = 0;
    State.counters["one_line_ms"] = ReplaceAllSeconds(Line, "efgh", "EFGHI", Count) * 1000;
    State.counters["one_line_matches"] = Count;
    TView File;
    File.Load();
    State.counters["spread_ms"] = ReplaceAllSeconds(File, "procedure", "function", Count) * 1000;
    State.counters["spread_matches"] = Count;
  }
}
BENCHMARK(BM_ReplaceAllScript)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK(BM_WriteScript)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  unlink(FilePath().c_str());
  return 0;
}
