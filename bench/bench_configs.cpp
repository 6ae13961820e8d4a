// Loading the configurations of a project whose configurations form one long chain (each the
// parent of the next, each with a merged list value): the load and the resolved value of the
// last configuration, for chains of 10,000 and 40,000. Twice the chain should take about
// twice the time. And saving many configurations that are new to the document (each a new
// definition group and a new value group placed behind the last one written), for 2,000 to
// 16,000: twice as many should take about twice the time.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "projectfiles/configmgr.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/startup.h"

namespace {

struct TProject : nxs::IProjectContext {
  std::string GetFileName() const override { return "/bench/chain.vproj"; }
  std::string GetPersonality() const override { return "Vellum.Personality"; }
};

std::string Chain(int Count) {
  std::string X = "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\n"
                  "<PropertyGroup Condition=\"'$(Config)'=='Base' or '$(Base)'!=''\"><Base>true</Base></PropertyGroup>\n";
  for (int I = 1; I <= Count; ++I) {
    std::string N = std::to_string(I), Parent = I == 1 ? "Base" : "Cfg_" + std::to_string(I - 1);
    X += "<PropertyGroup Condition=\"'$(Config)'=='C" + N + "' or '$(Cfg_" + N + ")'!=''\"><Cfg_" + N +
         ">true</Cfg_" + N + "><CfgParent>" + Parent + "</CfgParent></PropertyGroup>\n";
  }
  for (int I = 1; I <= Count; ++I) {
    std::string N = std::to_string(I);
    X += "<PropertyGroup Condition=\"'$(Cfg_" + N + ")'!=''\"><Defines>D" + N + ";$(Defines)</Defines></PropertyGroup>\n";
  }
  return X + "</Project>\n";
}

void BM_LoadChain(benchmark::State& State) {
  nxs::StartProjectFiles();
  std::string Xml = Chain(static_cast<int>(State.range(0)));
  TProject Project;
  for (auto _ : State) {
    auto Doc = nxs::MSBuildCreateProjectFromXml(Project.GetFileName(), Xml);
    nxs::TBuildConfigurations Configs(&Project);
    Configs.Load(*Doc);
    benchmark::DoNotOptimize(Configs.GetGlobalConfigurations().size());
  }
  State.counters["configurations"] = static_cast<double>(State.range(0));
}
BENCHMARK(BM_LoadChain)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_ResolveEndOfChain(benchmark::State& State) {
  nxs::StartProjectFiles();
  int Count = static_cast<int>(State.range(0));
  TProject Project;
  auto Doc = nxs::MSBuildCreateProjectFromXml(Project.GetFileName(), Chain(Count));
  nxs::TBuildConfigurations Configs(&Project);
  Configs.Load(*Doc);
  nxs::TBuildConfiguration& Last = Configs.Configuration("C" + std::to_string(Count));
  for (auto _ : State) benchmark::DoNotOptimize(Last.GetValue("Defines").size());
}
BENCHMARK(BM_ResolveEndOfChain)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_SaveNewConfigurations(benchmark::State& State) {
  nxs::StartProjectFiles();
  const int Count = static_cast<int>(State.range(0));
  TProject Project;
  for (auto _ : State) {
    State.PauseTiming();
    auto Doc = nxs::MSBuildCreateProjectFromXml(
        Project.GetFileName(), "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\"></Project>");
    auto Configs = std::make_unique<nxs::TBuildConfigurations>(&Project);
    Configs->Load(*Doc);
    for (int I = 1; I <= Count; ++I)
      Configs->AddConfiguration("C" + std::to_string(I)).SetValue("Defines", "D" + std::to_string(I));
    State.ResumeTiming();
    Configs->Save(*Doc);
    State.PauseTiming();
    Configs.reset();
    Doc.reset();
    State.ResumeTiming();
  }
  State.counters["configurations"] = static_cast<double>(Count);
}
BENCHMARK(BM_SaveNewConfigurations)->Arg(2000)->Arg(4000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
