// Building the project tree of a large project: 10,000 files in 1,000 folders (100 folders
// of 10 subfolders each, 10 files per subfolder), turned into nodes level by level and sorted
// by name, then by type.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "projectfiles/nodes.h"
#include "projects/containers.h"
#include "shared/settings.h"

namespace {

class TBenchProject : public nxs::IContainerProject {
 public:
  TBenchProject() : FStorage("ProjectExtensions") {
    for (int Top = 0; Top < 100; ++Top)
      for (int Sub = 0; Sub < 10; ++Sub)
        for (int F = 0; F < 10; ++F)
          FEntries.push_back({"/work/big/src/pkg" + std::to_string(Top) + "/sub" + std::to_string(Sub) + "/unit" +
                                  std::to_string(9 - F) + (F % 2 ? ".pas" : ".inc"),
                              "None", {}, {}, {}});
  }
  std::string GetFileName() const override { return "/work/big/big.vproj"; }
  std::string GetPersonality() const override { return "Vellum.Personality"; }
  const std::vector<nxs::TProjectFileItem>& GetProjectFileEntries() override { return FEntries; }
  nxs::TNode* GetStorageSection(const std::string& Name, bool Create) override {
    if (nxs::TNode* S = FStorage.FindFirstChild(Name)) return S;
    return Create ? FStorage.CreateChildNode(Name) : nullptr;
  }

 private:
  std::vector<nxs::TProjectFileItem> FEntries;
  nxs::TNode FStorage;
};

size_t Walk(nxs::TBaseContainer& N) {
  size_t Count = 1;
  for (const auto& C : N.GetChildren()) Count += Walk(*C);
  return Count;
}

void BM_BuildTree(benchmark::State& State) {
  ::setenv("NXS_SETTINGS_DIR", "/tmp", 0);
  TBenchProject Project;
  for (auto _ : State) {
    auto Tree = std::make_shared<nxs::TStdProjectContainer>(&Project);
    size_t Nodes = Walk(*Tree);  // fills, makes the directories and sorts every level
    benchmark::DoNotOptimize(Nodes);
    State.counters["nodes"] = static_cast<double>(Nodes);
    State.PauseTiming();
    Tree.reset();
    nxs::ResetProjectSortOrderManager();
    State.ResumeTiming();
  }
}
BENCHMARK(BM_BuildTree)->Unit(benchmark::kMillisecond);

void BM_ResortByType(benchmark::State& State) {
  TBenchProject Project;
  auto Tree = std::make_shared<nxs::TStdProjectContainer>(&Project);
  Walk(*Tree);
  int Type = nxs::stType;
  for (auto _ : State) {
    Tree->Sort(Type);
    Type = Type == nxs::stType ? nxs::stName : nxs::stType;
  }
}
BENCHMARK(BM_ResortByType)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
