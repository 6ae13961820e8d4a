// Replace over a whole file: a generated 100 MB text with about 1.3 million matches of a
// common word. `nxs ed` opens it, replaces every match and saves it, beside `sed -i` on a copy
// of the same file, runs alternated and the best of each kept (wall and CPU time; the machine
// may be shared), and the two results compared byte for byte. Then the kernel's ReplaceAll
// alone on that text in a view that tracks positions as an edit buffer does, with the undo
// that takes it back.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "benchrun.h"
#include "editor/kernel/ek.h"

namespace {

using namespace nxs;
namespace fs = std::filesystem;

const char* const Word = "value";
const char* const Replacement = "amount";

// A scratch folder that goes with the process.
struct TScratch {
  fs::path Dir = fs::temp_directory_path() / ("nxs-bench-replace-" + std::to_string(::getpid()));
  TScratch() { fs::create_directories(Dir); }
  ~TScratch() { fs::remove_all(Dir); }
};

const TScratch& Scratch() {
  static TScratch S;
  return S;
}

// Lines of four to eleven words; one word in sixteen is the one replaced.
const fs::path& Original() {
  static const fs::path Path = [] {
    fs::path P = Scratch().Dir / "original.txt";
    static const char* const Words[] = {"alpha", "beta", "gamma", "delta", "begin", "end", "if", "then", "result",
                                        "index", "count", "procedure", "var", "x", "y", "the", "of", "and",
                                        "to", "with", "for", "while"};
    std::mt19937 Rng(3);
    std::string Text;
    Text.reserve((100u << 20) + 100);
    while (Text.size() < (100u << 20)) {
      const int N = 4 + static_cast<int>(Rng() % 8);
      for (int I = 0; I < N; ++I) {
        if (I) Text += ' ';
        Text += Rng() % 16 == 0 ? Word : Words[Rng() % std::size(Words)];
      }
      Text += '\n';
    }
    std::ofstream(P, std::ios::binary).write(Text.data(), static_cast<std::streamsize>(Text.size()));
    return P;
  }();
  return Path;
}

std::string ReadAll(const fs::path& P) {
  std::ifstream In(P, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

void BM_ReplaceFileBesideSed(benchmark::State& State) {
  const fs::path Dir = Scratch().Dir;
  const fs::path Mine = Dir / "mine.txt", Sed = Dir / "sed.txt", Script = Dir / "replace.ed";
  std::ofstream(Script) << "ReplaceAll c /" << Word << "/" << Replacement << "/\nSaveFile\n";
  ::setenv("NXS_SETTINGS_DIR", (Dir / "settings").c_str(), 1);
  const std::string SedExpr = std::string("s/") + Word + "/" + Replacement + "/g";
  bench::TRunTimes BestMine{1e18, 1e18}, BestSed{1e18, 1e18};
  bool Ok = true;
  for (auto _ : State) {
    for (int Run = 0; Run < 5; ++Run) {
      fs::copy_file(Original(), Mine, fs::copy_options::overwrite_existing);
      fs::remove_all(Dir / "__history");  // the backup each save keeps
      const bench::TRunTimes M = bench::RunTimed({bench::NxsBinary(), "ed", Mine.string(), "--script", Script.string()}, Dir);
      fs::copy_file(Original(), Sed, fs::copy_options::overwrite_existing);
      const bench::TRunTimes S = bench::RunTimed({"sed", "-i", SedExpr, Sed.string()}, Dir);
      Ok = Ok && M.Ok && S.Ok;
      BestMine.WallMs = std::min(BestMine.WallMs, M.WallMs);
      BestMine.CpuMs = std::min(BestMine.CpuMs, M.CpuMs);
      BestSed.WallMs = std::min(BestSed.WallMs, S.WallMs);
      BestSed.CpuMs = std::min(BestSed.CpuMs, S.CpuMs);
    }
  }
  fs::remove_all(Dir / "__history");
  if (!Ok) State.SkipWithError("nxs ed or sed failed");
  State.counters["nxs_wall_ms"] = BestMine.WallMs;
  State.counters["nxs_cpu_ms"] = BestMine.CpuMs;
  State.counters["sed_wall_ms"] = BestSed.WallMs;
  State.counters["sed_cpu_ms"] = BestSed.CpuMs;
  State.counters["wall_ratio"] = BestMine.WallMs / BestSed.WallMs;
  State.counters["cpu_ratio"] = BestMine.CpuMs / BestSed.CpuMs;
  State.counters["identical"] = ReadAll(Mine) == ReadAll(Sed) ? 1 : 0;
}
BENCHMARK(BM_ReplaceFileBesideSed)->Unit(benchmark::kMillisecond)->Iterations(1);

int32_t ReadFd(void* Context, char* Buffer, int32_t Count) {
  return static_cast<int32_t>(::read(*static_cast<int*>(Context), Buffer, static_cast<size_t>(Count)));
}

// Wall and CPU time of a step in milliseconds; the CPU time suffers less from a shared machine.
struct TStopwatch {
  std::chrono::steady_clock::time_point Wall = std::chrono::steady_clock::now();
  double Cpu = CpuMs();
  static double CpuMs() {
    timespec T{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return static_cast<double>(T.tv_sec) * 1e3 + static_cast<double>(T.tv_nsec) / 1e6;
  }
  double WallMs() const { return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Wall).count(); }
  double CpuMsSince() const { return CpuMs() - Cpu; }
};

void BM_KernelReplaceAllAndUndo(benchmark::State& State) {
  TEkInstance* Kernel = EK_INIT(EkKernelVersion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr);
  double ReplaceWall = 1e18, ReplaceCpu = 1e18, UndoWall = 1e18, UndoCpu = 1e18;  // the best runs
  for (auto _ : State) {
    TEkView View{};
    Kernel->EkNew(nullptr, &View, 0);
    int Fd = ::open(Original().c_str(), O_RDONLY);
    TEkScript Load;
    Load.Add(ekReadBuffer, TReadBufferArgs{ReadFd, &Fd});
    Load.End();
    Kernel->EkEval(&View, Load.Data(), Load.Length());
    ::close(Fd);
    // What an edit buffer keeps: a track table with a few lines in it, and a bookmark.
    std::vector<uint8_t> Table(2 + 8 * sizeof(TTrackPos), 0);
    const uint16_t Entries = 8;
    std::memcpy(Table.data(), &Entries, sizeof Entries);
    for (uint16_t I = 0; I < Entries; ++I) {
      const TCharPos P{5, 1 + I * 100000};
      std::memcpy(Table.data() + 2 + I * sizeof(TTrackPos), &P, sizeof P);
    }
    TEkScript Setup;
    Setup.Add(ekAttachTrackTable, TAddTrackTableArgs{0, 0, 0, sizeof(TTrackPos), Table.data(), nullptr, nullptr});
    Setup.Add(ekGotoLineCol, TGotoLineColArgs{TEdPos{3, 500000}, 0});
    Setup.Add(ekSetMark, TMarkArgs{1});
    Setup.Add(ekHomeCursor);
    Setup.End();
    Kernel->EkEval(&View, Setup.Data(), Setup.Length());

    int32_t Count = 0;
    const std::string Pattern = Word, Rep = Replacement;
    TEkScript Replace;
    Replace.Add(ekStartUndoGroup);
    Replace.Add(ekReplaceAll, TReplaceAllArgs{TSearchFlags{sfGoForward, sfCase}.Bits(), Pattern.data(),
                                              static_cast<uint32_t>(Pattern.size()), Rep.data(),
                                              static_cast<uint32_t>(Rep.size()), &Count});
    Replace.EndMacroStep();
    const TStopwatch R;
    Kernel->EkEval(&View, Replace.Data(), Replace.Length());
    ReplaceWall = std::min(ReplaceWall, R.WallMs());
    ReplaceCpu = std::min(ReplaceCpu, R.CpuMsSince());
    State.counters["matches"] = Count;
    TEkScript Undo;
    Undo.Add(ekUndo);
    Undo.EndMacroStep();
    const TStopwatch U;
    Kernel->EkEval(&View, Undo.Data(), Undo.Length());
    UndoWall = std::min(UndoWall, U.WallMs());
    UndoCpu = std::min(UndoCpu, U.CpuMsSince());
    Kernel->EkEnd(&View);
  }
  State.counters["replace_wall_ms"] = ReplaceWall;
  State.counters["replace_cpu_ms"] = ReplaceCpu;
  State.counters["undo_wall_ms"] = UndoWall;
  State.counters["undo_cpu_ms"] = UndoCpu;
}
BENCHMARK(BM_KernelReplaceAllAndUndo)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
