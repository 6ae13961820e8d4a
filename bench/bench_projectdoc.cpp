// Reading and writing a large project document (about 20 MB: 100,000 items with metadata,
// conditions, CDATA sections and identifier comments), side by side with `xmllint --format`
// on the same file. Peak memory is measured in fresh processes: this binary started again
// with --peak-rss for the project document, and xmllint as a child.
#include <benchmark/benchmark.h>
#include <fcntl.h>
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

// Two documents of about the same size: "text" items carry one or two metadata with longer
// values; "dense" items carry three or four short ones (twice the elements per megabyte).
bool DenseDocument = false;

struct TBenchFiles {
  std::string Input;
  std::string Output;
  double InputMB = 0;
  // Side by side, each the best of three runs in a fresh process.
  double XmllintSeconds = 0, XmllintCpuSeconds = 0;
  double OwnSeconds = 0, OwnCpuSeconds = 0;
  double XmllintPeakMB = 0;
  double OwnPeakMB = 0;
  double BaselinePeakMB = 0;
};

// The disk for reading; what is written goes to /dev/null, as xmllint's output does. (The
// real disk adds a temporary file, an fsync of the whole file and a rename; BM_ReadWriteDisk.)
class TDiscardWrites : public nxs::TDiskFileSystem {
 public:
  void WriteFile(const std::string&, std::string_view Data) override { ToNull(Data); }
  std::unique_ptr<nxs::IFileWriter> CreateFileWriter(const std::string&) override {
    struct TNullWriter : nxs::IFileWriter {
      void Write(std::string_view Data) override { ToNull(Data); }
      void Commit() override {}
    };
    return std::make_unique<TNullWriter>();
  }

 private:
  static void ToNull(std::string_view Data) {
    static int Null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    while (!Data.empty()) {
      ssize_t N = ::write(Null, Data.data(), Data.size());
      if (N <= 0) return;
      Data.remove_prefix(static_cast<size_t>(N));
    }
  }
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
    if (DenseDocument) {
      X += ">\r\n            <Form>Form";
      AppendNumber(X, I, 6);
      X += "</Form>\r\n            <FormType>vfm</FormType>\r\n            <BuildOrder>";
      AppendNumber(X, I, 6);
      X += "</BuildOrder>\r\n";
    } else {
      X += ">\r\n            <DependentOn>source\\module";
      AppendNumber(X, I / 100, 4);
      X += "\\forms\\unit";
      AppendNumber(X, I, 6);
      X += ".vfm</DependentOn>\r\n";
    }
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

double CpuSeconds(const rusage& U) {
  return static_cast<double>(U.ru_utime.tv_sec + U.ru_stime.tv_sec) +
         static_cast<double>(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

struct TRun {
  double Wall = 0, Cpu = 0;
  long PeakKB = 0;  // of the largest child so far
};

// Runs a shell command; its wall time and the processor time of the children it waited for.
TRun RunTimed(const std::string& Command) {
  rusage Before{}, After{};
  getrusage(RUSAGE_CHILDREN, &Before);
  auto Start = std::chrono::steady_clock::now();
  int Status = std::system(Command.c_str());
  TRun R;
  R.Wall = Seconds(std::chrono::steady_clock::now() - Start);
  if (Status != 0) std::fprintf(stderr, "bench: '%s' failed (%d)\n", Command.c_str(), Status);
  getrusage(RUSAGE_CHILDREN, &After);
  R.Cpu = CpuSeconds(After) - CpuSeconds(Before);
  R.PeakKB = After.ru_maxrss;
  return R;
}

std::string SelfCommand(const std::string& Mode) {
  char Self[4096];
  ssize_t N = readlink("/proc/self/exe", Self, sizeof Self - 1);
  if (N <= 0) return {};
  Self[N] = 0;
  return "'" + std::string(Self) + "' --peak-rss " + Mode + " '" + Files().Input + "' '" + Files().Output + "'";
}

long PeakOfSelfChild(const std::string& Mode) {
  FILE* P = popen(SelfCommand(Mode).c_str(), "r");
  if (!P) return 0;
  long KB = 0;
  if (std::fscanf(P, "%ld", &KB) != 1) KB = 0;
  pclose(P);
  return KB;
}

// Side by side in fresh processes, best of three each: xmllint, then this binary's
// read-and-write child. Fills the figures of F (whose Input is written first).
void Compare(TBenchFiles& F, const char* Shape) {
  {
    std::string Text = GenerateProject();
    F.InputMB = static_cast<double>(Text.size()) / (1 << 20);
    nxs::WriteFileAtomic(F.Input, Text);
  }
  auto Command = [&](const std::string& Mode) {
    TBenchFiles Saved = Files();
    Files().Input = F.Input;
    Files().Output = F.Output;
    std::string C = SelfCommand(Mode);
    Files() = Saved;
    return C;
  };
  // xmllint first: the largest child so far (RUSAGE_CHILDREN) is then an xmllint run, as
  // long as the documents measured grow.
  TRun Xml, Own;
  Xml.Wall = Xml.Cpu = Own.Wall = Own.Cpu = 1e9;
  for (int I = 0; I < 3; ++I) {
    TRun R = RunTimed("xmllint --format '" + F.Input + "' > /dev/null");
    Xml.Wall = std::min(Xml.Wall, R.Wall);
    Xml.Cpu = std::min(Xml.Cpu, R.Cpu);
    Xml.PeakKB = R.PeakKB;
  }
  for (int I = 0; I < 3; ++I) {
    TRun R = RunTimed(Command("readwrite") + " > /dev/null");
    Own.Wall = std::min(Own.Wall, R.Wall);
    Own.Cpu = std::min(Own.Cpu, R.Cpu);
  }
  F.XmllintPeakMB = Xml.PeakKB / 1024.0;
  F.XmllintSeconds = Xml.Wall;
  F.XmllintCpuSeconds = Xml.Cpu;
  F.OwnSeconds = Own.Wall;
  F.OwnCpuSeconds = Own.Cpu;
  FILE* P = popen(Command("readwrite").c_str(), "r");
  long KB = 0;
  if (P) {
    if (std::fscanf(P, "%ld", &KB) != 1) KB = 0;
    pclose(P);
  }
  F.OwnPeakMB = KB / 1024.0;
  std::fprintf(stderr,
               "bench: %s document %.1f MB, each in a fresh process, best of 3:\n"
               "  xmllint --format > /dev/null   %4.0f ms (processor %4.0f ms), peak %5.1f MB (%.2f x file)\n"
               "  read + write (output dropped)  %4.0f ms (processor %4.0f ms), peak %5.1f MB (%.2f x file)\n"
               "  speedup %.2f (processor %.2f)\n",
               Shape, F.InputMB, Xml.Wall * 1000, Xml.Cpu * 1000, F.XmllintPeakMB, F.XmllintPeakMB / F.InputMB,
               Own.Wall * 1000, Own.Cpu * 1000, F.OwnPeakMB, F.OwnPeakMB / F.InputMB, Xml.Wall / Own.Wall,
               Xml.Cpu / Own.Cpu);
}

void Prepare() {
  auto& F = Files();
  std::string Dir = std::filesystem::temp_directory_path().string();
  F.Input = Dir + "/nxs-bench-projectdoc-" + std::to_string(getpid()) + ".vproj";
  F.Output = F.Input + ".out";
  Compare(F, "text");
  F.BaselinePeakMB = PeakOfSelfChild("none") / 1024.0;
  std::fprintf(stderr, "bench: a process that reads nothing peaks at %.1f MB\n", F.BaselinePeakMB);
  // The same for the dense document; the benchmarks below run on the text document.
  TBenchFiles Dense;
  Dense.Input = F.Input + ".dense";
  Dense.Output = Dense.Input + ".out";
  DenseDocument = true;
  Compare(Dense, "dense");
  DenseDocument = false;
  std::remove(Dense.Input.c_str());
  std::remove(Dense.Output.c_str());
  nxs::SetFileSystem(std::make_shared<TDiscardWrites>());
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
  for (auto _ : State) nxs::MSBuildOpenProject(Files().Input)->SaveToFile(Files().Output);
  SetBytes(State);
  const auto& F = Files();
  State.counters["xmllint_ms"] = F.XmllintSeconds * 1000;
  State.counters["speedup_vs_xmllint"] = F.XmllintSeconds / F.OwnSeconds;
  State.counters["speedup_cpu"] = F.XmllintCpuSeconds / F.OwnCpuSeconds;
  State.counters["peak_MB"] = F.OwnPeakMB;
  State.counters["peak_x_file"] = F.OwnPeakMB / F.InputMB;
  State.counters["xmllint_peak_x_file"] = F.XmllintPeakMB / F.InputMB;
}
BENCHMARK(BM_ReadWrite)->Unit(benchmark::kMillisecond)->MinTime(2);

// The same with the file stored on disk (the atomic write syncs it).
void BM_ReadWriteDisk(benchmark::State& State) {
  auto Discard = std::make_shared<TDiscardWrites>();
  nxs::SetFileSystem(std::make_shared<nxs::TDiskFileSystem>());
  for (auto _ : State) nxs::MSBuildOpenProject(Files().Input)->SaveToFile(Files().Output);
  nxs::SetFileSystem(Discard);
  SetBytes(State);
}
BENCHMARK(BM_ReadWriteDisk)->Unit(benchmark::kMillisecond)->MinTime(2);

// The same file through xmllint, timed from here.
void BM_XmllintFormat(benchmark::State& State) {
  std::string Command = "xmllint --format '" + Files().Input + "' > /dev/null";
  for (auto _ : State) State.SetIterationTime(RunTimed(Command).Wall);
  SetBytes(State);
}
BENCHMARK(BM_XmllintFormat)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The child started by Prepare: one read and write, then its own peak in KB.
int PeakChild(const std::string& Mode, const std::string& In, const std::string& Out) {
  nxs::SetFileSystem(std::make_shared<TDiscardWrites>());
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
  if (Argc == 4 && std::string(Argv[1]) == "--write-sample") {
    DenseDocument = std::string(Argv[3]) == "dense";
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
