// Evaluating a generated group of 1,000 projects, each with 20 sources, an item definition,
// conditions and property functions, all importing one shared targets file (as every
// project imports the shipped targets). One engine evaluates them all, as a group build
// does; BM_EvaluateOne is a single project in a fresh engine, as `nxs eval` pays for it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "build/engine/engine.h"

namespace {

constexpr int ProjectCount = 1000;
constexpr int SourcesPerProject = 20;

const char* const SharedTargets = R"X(<Project>
  <PropertyGroup>
    <Config Condition="'$(Config)' == ''">Debug</Config>
    <Platform Condition="'$(Platform)' == ''">Linux64</Platform>
    <OutDir>$([MSBuild]::EnsureTrailingSlash('$(MSBuildProjectDirectory)/bin/$(Config)'))</OutDir>
    <ObjDir>obj/$(Config)/</ObjDir>
    <Optimize Condition="'$(Config)' == 'Release' and '$(Platform)' != 'Win32'">true</Optimize>
    <TargetName>$(MSBuildProjectName.ToLower())</TargetName>
  </PropertyGroup>
  <ItemDefinitionGroup>
    <Compile><Warnings>all</Warnings><Standard>c++20</Standard></Compile>
  </ItemDefinitionGroup>
  <Target Name="Build" DependsOnTargets="Compile;Link" Returns="$(OutDir)$(TargetName)" />
  <Target Name="Compile" Inputs="@(Compile)" Outputs="@(Compile->'$(ObjDir)%(Filename).o')">
    <Message Text="%(Compile.Identity)" />
  </Target>
  <Target Name="Link" Inputs="@(Compile->'$(ObjDir)%(Filename).o')" Outputs="$(OutDir)$(TargetName)">
    <Message Text="link" />
  </Target>
  <Target Name="Clean"><Delete Files="@(Compile->'$(ObjDir)%(Filename).o')" /></Target>
</Project>
)X";

struct TGroup {
  std::string Root;
  std::vector<std::string> Projects;
  TGroup() {
    Root = std::filesystem::temp_directory_path().string() + "/nxs-bench-engine";
    std::filesystem::remove_all(Root);
    std::filesystem::create_directories(Root + "/shared");
    std::ofstream(Root + "/shared/common.targets") << SharedTargets;
    for (int P = 0; P < ProjectCount; ++P) {
      std::string Dir = Root + "/p" + std::to_string(P);
      std::filesystem::create_directories(Dir);
      std::string Text = "<Project DefaultTargets=\"Build\">\n  <PropertyGroup>\n    <ProjectGuid>{" +
                         std::to_string(P) + "}</ProjectGuid>\n    <Defines>NDEBUG;P" + std::to_string(P) +
                         "</Defines>\n  </PropertyGroup>\n  <ItemGroup>\n";
      for (int S = 0; S < SourcesPerProject; ++S)
        Text += "    <Compile Include=\"src\\unit" + std::to_string(S) + ".cpp\">\n      <Optimize>" +
                (S % 2 ? "true" : "false") + "</Optimize>\n    </Compile>\n";
      Text += "  </ItemGroup>\n  <Import Project=\"..\\shared\\common.targets\" />\n</Project>\n";
      std::string File = Dir + "/p" + std::to_string(P) + ".kzproj";
      std::ofstream(File) << Text;
      Projects.push_back(File);
    }
  }
  ~TGroup() { std::filesystem::remove_all(Root); }
};

TGroup& Group() {
  static TGroup G;
  return G;
}

void BM_EvaluateGroup(benchmark::State& State) {
  TGroup& G = Group();
  nxs::engine::TBuildRequest Request;
  Request.GlobalProperties["Config"] = "Release";
  size_t Items = 0;
  for (auto _ : State) {
    nxs::engine::TEngine Engine;
    for (const auto& P : G.Projects) {
      auto E = Engine.Evaluate(P, Request);
      Items += E->GetItems("Compile").size();
    }
  }
  State.counters["projects/s"] =
      benchmark::Counter(static_cast<double>(State.iterations()) * ProjectCount, benchmark::Counter::kIsRate);
  benchmark::DoNotOptimize(Items);
}
BENCHMARK(BM_EvaluateGroup)->Unit(benchmark::kMillisecond);

void BM_EvaluateOne(benchmark::State& State) {
  TGroup& G = Group();
  nxs::engine::TBuildRequest Request;
  for (auto _ : State) {
    nxs::engine::TEngine Engine;
    auto E = Engine.Evaluate(G.Projects[0], Request);
    benchmark::DoNotOptimize(E->GetPropertyValue("OutDir"));
  }
}
BENCHMARK(BM_EvaluateOne)->Unit(benchmark::kMicrosecond);

// A build of every project's default targets with everything up to date apart from the
// missing outputs: the target graph, batching and incremental checks, without processes.
void BM_BuildGroup(benchmark::State& State) {
  TGroup& G = Group();
  nxs::engine::TBuildRequest Request;
  Request.Verbosity = nxs::engine::vbQuiet;
  for (auto _ : State) {
    nxs::engine::TEngine Engine;
    for (const auto& P : G.Projects) benchmark::DoNotOptimize(Engine.Build(P, "", Request));
  }
}
BENCHMARK(BM_BuildGroup)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
