// Sync edit: one keystroke in an occurrence replicated to the other 999 occurrences of an
// identifier (typing a character and taking it back with backspace, each timed as one
// keystroke with its replication), and entering the mode on that block.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/language/syncedit.h"

namespace {

namespace fs = std::filesystem;

constexpr int Occurrences = 1000;

// 500 lines, each with two occurrences of "Total" and identifiers that appear once; or all of
// it on one line of some 25,000 characters.
std::string WriteSource(bool OneLine = false) {
  const fs::path Dir = fs::temp_directory_path() / ("bench-syncedit-" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  ::setenv("NXS_SETTINGS_DIR", Dir.c_str(), 1);
  const std::string Path = (Dir / "sum.pas").string();
  std::ofstream Out(Path, std::ios::binary);
  for (int I = 0; I < Occurrences / 2; ++I)
    Out << "  Total := Total + Item" << I << "; { step " << I << " }" << (OneLine ? "" : "\n");
  if (OneLine) Out << "\n";
  return Path;
}

struct TSession {
  explicit TSession(bool OneLine = false) : Path(WriteSource(OneLine)), Buffer(nxs::TEditBuffer::Create(Path, true)), View(Buffer->OpenNewView()) {}
  ~TSession() {
    nxs::SyncEditManager().CancelSyncEdit();
    View.reset();
    Buffer.reset();
    nxs::ResetSyncEditManager();
    fs::remove_all(fs::path(Path).parent_path());
  }
  void MarkAll() {
    nxs::SetMarkedRange(View->EkView(), false, false, nxs::TCharPos{0, 1},
                        nxs::TCharPos{0, nxs::TotalLinesInBuffer(View->EkView())});
  }
  std::string Path;
  std::shared_ptr<nxs::TEditBuffer> Buffer;
  std::unique_ptr<nxs::TEditView> View;
};

void ReplicateKeystroke(benchmark::State& State) {
  const bool OneLine = State.range(0) != 0;
  TSession S(OneLine);
  S.MarkAll();
  if (!nxs::SyncEditManager().SyncEditBlock(*S.View)) {
    State.SkipWithError("sync edit did not start");
    return;
  }
  nxs::PEkView V = S.View->EkView();
  nxs::GotoCharPos(V, nxs::TCharPos{7, 1});  // the end of the first "Total"
  bool Typed = false;
  for (auto _ : State) {
    if (!Typed) {
      nxs::InsertString(V, "s");
    } else {
      nxs::TEkScript K;
      K.Add(nxs::ekBackspaceDelete);
      K.EndMacroStep();
      nxs::EvalScript(V, K);
    }
    Typed = !Typed;
  }
  const nxs::TSyncEditPoints* P = nxs::SyncEditManager().GetPoints().get();
  State.counters["occurrences"] = P && P->Count() ? static_cast<double>(P->Points[0].Occurrences.size()) : 0;
  // Every occurrence must hold what the last keystroke left.
  const std::string Want = Typed ? "Totals" : "Total";
  std::string Text;
  for (int32_t L = 1; L <= nxs::TotalLinesInBuffer(V); ++L) Text += nxs::GetLineText(V, L);
  size_t Found = 0;
  for (size_t At = Text.find("  " + Want + " := " + Want + " +"); At != std::string::npos;
       At = Text.find("  " + Want + " := " + Want + " +", At + 1))
    ++Found;
  if (Found != Occurrences / 2) State.SkipWithError("an occurrence was not replicated");
}

void EnterSyncEdit(benchmark::State& State) {
  TSession S;
  for (auto _ : State) {
    S.MarkAll();
    if (!nxs::SyncEditManager().SyncEditBlock(*S.View)) State.SkipWithError("sync edit did not start");
    nxs::SyncEditManager().CancelSyncEdit();
  }
}

}  // namespace

// Argument 1: every occurrence on one line.
BENCHMARK(ReplicateKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(EnterSyncEdit)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
