// Reading and writing a large project document (about 20 MB: 100,000 items with metadata,
// conditions, CDATA sections and identifier comments), side by side with `xmllint --format`
// on the same file. Peak memory is measured in fresh processes: this binary started again
// with --peak-rss for the project document, and xmllint as a child.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "projectfiles/projectfile.h"
#include "shared/fileio.h"

namespace {

constexpr int ItemCount = 100000;

struct TBenchFiles {
  std::string Input;
  std::string Output;
  double InputMB = 0;
  double XmllintSeconds = 0;
  double XmllintPeakMB = 0;
  double OwnPeakMB = 0;
  double BaselinePeakMB = 0;
};

TBenchFiles& Files() {
  static TBenchFiles F;
  return F;
}

void AppendNumber(std::string& Out, int N, int Width) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%0*d", Width, N);
  Out += Buf;
}

// A project in the system's own layout.
std::string GenerateProject() {
  std::string X;
  X.reserve(21 << 20);
  X += "\xEF\xBB\xBF<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n";
  X += "    <PropertyGroup>\r\n"
       "        <ProjectGuid>{6A1C2F4E-8B3D-4E5F-9A7B-1C2D3E4F5A6B}</ProjectGuid>\r\n"
       "        <MainSource>big.vpr</MainSource>\r\n"
       "        <Config Condition=\"'$(Config)'==''\">Debug</Config>\r\n"
       "        <Platform Condition=\"'$(Platform)'==''\">Win32</Platform>\r\n"
       "    </PropertyGroup>\r\n"
       "    <PropertyGroup Condition=\"'$(Base)'!=''\">\r\n"
       "        <VC_Define>DEBUG;$(VC_Define)</VC_Define>\r\n"
       "        <PostBuildEvent><![CDATA[copy \"$(OUTPUTPATH)\" \"..\\bin\" > nul]]></PostBuildEvent>\r\n"
       "    </PropertyGroup>\r\n"
       "    <ItemGroup>\r\n";
  // Each item: a source file with the file it depends on; every fourth one only for one
  // platform, every eighth with notes in a CDATA section, every tenth with an identifier.
  for (int I = 0; I < ItemCount; ++I) {
    if (I % 10 == 0) {
      X += "        <!-- __";
      AppendNumber(X, I, 8);
      X += "-4E5F-9A7B-1C2D3E4F5A6B -->\r\n";
    }
    X += "        <UnitReference Include=\"source\\module";
    AppendNumber(X, I / 100, 4);
    X += "\\forms\\unit";
    AppendNumber(X, I, 6);
    X += ".pas\"";
    if (I % 4 == 0) X += " Condition=\"'$(Platform)'=='Win64'\"";
    X += ">\r\n            <DependentOn>source\\module";
    AppendNumber(X, I / 100, 4);
    X += "\\forms\\unit";
    AppendNumber(X, I, 6);
    X += ".vfm</DependentOn>\r\n";
    if (I % 8 == 0) {
      X += "            <Notes><![CDATA[generated <unit> & form ";
      AppendNumber(X, I, 6);
      X += "]]></Notes>\r\n";
    }
    X += "        </UnitReference>\r\n";
  }
  X += "    </ItemGroup>\r\n"
       "    <Import Project=\"$(NXS)\\Bin\\Vellum.Common.Targets\"/>\r\n"
       "    <ProjectExtensions>\r\n"
       "        <Tarvos.Personality>Vellum.Personality.12</Tarvos.Personality>\r\n"
       "        <Tarvos.ProjectType>Application</Tarvos.ProjectType>\r\n"
       "        <ProjectFileVersion>12</ProjectFileVersion>\r\n"
       "    </ProjectExtensions>\r\n"
       "</Project>\r\n";
  return X;
}

double Seconds(std::chrono::steady_clock::duration D) { return std::chrono::duration<double>(D).count(); }

// Runs a shell command and returns its wall time; the peak memory of the largest child so
// far goes to PeakKB.
double RunTimed(const std::string& Command, long& PeakKB) {
  auto Start = std::chrono::steady_clock::now();
  int Status = std::system(Command.c_str());
  double T = Seconds(std::chrono::steady_clock::now() - Start);
  if (Status != 0) std::fprintf(stderr, "bench: '%s' failed (%d)\n", Command.c_str(), Status);
  rusage U{};
  getrusage(RUSAGE_CHILDREN, &U);
  PeakKB = U.ru_maxrss;
  return T;
}

long PeakOfSelfChild(const std::string& Mode) {
  char Self[4096];
  ssize_t N = readlink("/proc/self/exe", Self, sizeof Self - 1);
  if (N <= 0) return 0;
  Self[N] = 0;
  std::string Command = "'" + std::string(Self) + "' --peak-rss " + Mode + " '" + Files().Input + "' '" +
                        Files().Output + "'";
  FILE* P = popen(Command.c_str(), "r");
  if (!P) return 0;
  long KB = 0;
  if (std::fscanf(P, "%ld", &KB) != 1) KB = 0;
  pclose(P);
  return KB;
}

void Prepare() {
  auto& F = Files();
  std::string Dir = std::filesystem::temp_directory_path().string();
  F.Input = Dir + "/nxs-bench-projectdoc-" + std::to_string(getpid()) + ".vproj";
  F.Output = F.Input + ".out";
  {
    std::string Text = GenerateProject();
    F.InputMB = static_cast<double>(Text.size()) / (1 << 20);
    nxs::WriteFileAtomic(F.Input, Text);
  }
  // xmllint first, so that the largest child measured so far is xmllint itself.
  long PeakKB = 0;
  double Best = 1e9;
  for (int I = 0; I < 3; ++I) Best = std::min(Best, RunTimed("xmllint --format '" + F.Input + "' > /dev/null", PeakKB));
  F.XmllintSeconds = Best;
  F.XmllintPeakMB = PeakKB / 1024.0;
  F.OwnPeakMB = PeakOfSelfChild("readwrite") / 1024.0;
  F.BaselinePeakMB = PeakOfSelfChild("none") / 1024.0;
  std::fprintf(stderr,
               "bench: %.1f MB document; xmllint --format %.0f ms, peak %.1f MB (%.2f x file); "
               "read+write peak %.1f MB (%.2f x file; process baseline %.1f MB)\n",
               F.InputMB, F.XmllintSeconds * 1000, F.XmllintPeakMB, F.XmllintPeakMB / F.InputMB, F.OwnPeakMB,
               F.OwnPeakMB / F.InputMB, F.BaselinePeakMB);
}

void SetBytes(benchmark::State& State) {
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(Files().Input)));
}

void BM_Read(benchmark::State& State) {
  for (auto _ : State) {
    std::unique_ptr<nxs::msb::TProjectNode> Root = nxs::LoadProject(Files().Input);
    benchmark::DoNotOptimize(Root.get());
    State.PauseTiming();
    Root.reset();
    State.ResumeTiming();
  }
  SetBytes(State);
}
BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_Write(benchmark::State& State) {
  std::shared_ptr<nxs::IMSProjectFile> Doc = nxs::MSBuildOpenProject(Files().Input);
  for (auto _ : State) Doc->SaveToFile(Files().Output);
  SetBytes(State);
}
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond)->MinTime(2);

// What `nxs project format` does: open (read, check and stamp the version), save, free.
void BM_ReadWrite(benchmark::State& State) {
  double Total = 0;
  for (auto _ : State) {
    auto Start = std::chrono::steady_clock::now();
    nxs::MSBuildOpenProject(Files().Input)->SaveToFile(Files().Output);
    Total += Seconds(std::chrono::steady_clock::now() - Start);
  }
  SetBytes(State);
  const auto& F = Files();
  double Ours = Total / static_cast<double>(State.iterations());
  State.counters["xmllint_ms"] = F.XmllintSeconds * 1000;
  State.counters["speedup_vs_xmllint"] = F.XmllintSeconds / Ours;
  State.counters["peak_MB"] = F.OwnPeakMB;
  State.counters["peak_x_file"] = F.OwnPeakMB / F.InputMB;
  State.counters["xmllint_peak_x_file"] = F.XmllintPeakMB / F.InputMB;
}
BENCHMARK(BM_ReadWrite)->Unit(benchmark::kMillisecond)->MinTime(2);

// The same file through xmllint, timed from here.
void BM_XmllintFormat(benchmark::State& State) {
  std::string Command = "xmllint --format '" + Files().Input + "' > /dev/null";
  long PeakKB = 0;
  for (auto _ : State) State.SetIterationTime(RunTimed(Command, PeakKB));
  SetBytes(State);
}
BENCHMARK(BM_XmllintFormat)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The child started by PeakOfSelfChild: one read and write, then its own peak in KB.
int PeakChild(const std::string& Mode, const std::string& In, const std::string& Out) {
  if (Mode == "readwrite") nxs::MSBuildOpenProject(In)->SaveToFile(Out);
  rusage U{};
  getrusage(RUSAGE_SELF, &U);
  std::printf("%ld\n", U.ru_maxrss);
  return 0;
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc == 5 && std::string(Argv[1]) == "--peak-rss") return PeakChild(Argv[2], Argv[3], Argv[4]);
  // The generated document alone, for looking at it or profiling with other tools.
  if (Argc == 3 && std::string(Argv[1]) == "--write-sample") {
    nxs::WriteFileAtomic(Argv[2], GenerateProject());
    return 0;
  }
  benchmark::Initialize(&Argc, Argv);
  Prepare();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(Files().Input.c_str());
  std::remove(Files().Output.c_str());
  return 0;
}
