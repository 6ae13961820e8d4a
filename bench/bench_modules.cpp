// Finding open modules among many: with 1,000 to 8,000 modules open (each a file on disk), a
// lookup of a file that no module has open, and a lookup of an open one through a symbolic
// link. Each lookup should cost the same however many modules are open.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "modules/docmodule.h"
#include "modules/modulelist.h"

namespace {

namespace fs = std::filesystem;

class TBenchModule : public nxs::TDocModule {
 protected:
  friend class nxs::TDocModule;
  explicit TBenchModule(const std::string& Name) : TDocModule(Name) {}
  void SaveFile() override {}
};

// A scratch folder holding Count files, each open as a module, and a link to the last.
class TOpenModules {
 public:
  explicit TOpenModules(int Count) {
    char Template[] = "/tmp/nxs-bench-modules-XXXXXX";
    FDir = ::mkdtemp(Template);
    nxs::InitDocModules();
    for (int I = 0; I < Count; ++I) {
      std::string Name = FDir + "/unit" + std::to_string(I) + ".pas";
      std::fclose(std::fopen(Name.c_str(), "w"));
      nxs::TDocModule::Create<TBenchModule>(Name);
    }
    std::fclose(std::fopen((FDir + "/closed.pas").c_str(), "w"));
    fs::create_symlink(FDir + "/unit" + std::to_string(Count - 1) + ".pas", FDir + "/link.pas");
  }
  ~TOpenModules() {
    nxs::DoneDocModules();
    std::error_code Ec;
    fs::remove_all(FDir, Ec);
  }
  const std::string& Dir() const { return FDir; }

 private:
  std::string FDir;
};

void BM_FindModuleMissed(benchmark::State& State) {
  TOpenModules Open(static_cast<int>(State.range(0)));
  const std::string Name = Open.Dir() + "/closed.pas";
  for (auto _ : State) benchmark::DoNotOptimize(nxs::FindDocModule(Name));
  State.counters["modules"] = static_cast<double>(State.range(0));
}
BENCHMARK(BM_FindModuleMissed)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Unit(benchmark::kMicrosecond);

void BM_FindModuleThroughLink(benchmark::State& State) {
  TOpenModules Open(static_cast<int>(State.range(0)));
  const std::string Name = Open.Dir() + "/link.pas";
  for (auto _ : State) {
    nxs::ModuleList().ClearIndex();  // asked afresh, not answered from the last lookup
    benchmark::DoNotOptimize(nxs::FindDocModule(Name));
  }
  State.counters["modules"] = static_cast<double>(State.range(0));
}
BENCHMARK(BM_FindModuleThroughLink)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("NXS_SETTINGS_DIR", "/tmp", 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
