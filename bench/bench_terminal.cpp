// The terminal IDE on a 100 MB Pascal file: opening it to its first screen, a typed character
// in the middle of a line in the middle of the file to the updated screen, and the bytes the
// terminal is sent for it. In process, the IDE draws through curses onto a virtual terminal
// (a file that takes what curses writes); then nxs edit, vim and nano each run as a whole
// program on the same pseudo-terminal, 120x40, driven by the same keys.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "benchrun.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/language/parsethread.h"
#include "startup/startup.h"
#include "terminal/app.h"
#include "terminal/curses.h"
#include "terminal/keys.h"

namespace {

using namespace nxs;
using Clock = std::chrono::steady_clock;
constexpr int Rows = 40, Cols = 120;

double Ms(Clock::duration D) { return std::chrono::duration<double, std::milli>(D).count(); }

// The calling thread's CPU time: a key that took long on the clock but not here waited, for a
// lock or for the processor.
double ThreadCpuMs() {
  timespec T{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
  return static_cast<double>(T.tv_sec) * 1e3 + static_cast<double>(T.tv_nsec) / 1e6;
}

const std::string& BigFile() {
  static const std::string Path = [] {
    std::string P = "/tmp/nxs-bench-terminal-" + std::to_string(getpid()) + ".pas";
    std::mt19937 Rng(7);
    static const char* Words[] = {"alpha", "beta", "gamma", "delta", "value", "result", "index", "count"};
    std::string Text = "unit big;\n\ninterface\n\nimplementation\n\n";
    Text.reserve((100u << 20) + 200);
    while (Text.size() < (100u << 20) - 100) {
      Text += "  ";
      Text += Words[Rng() % 8];
      Text += " := ";
      Text += Words[Rng() % 8];
      Text += " + ";
      Text += std::to_string(Rng() % 1000);
      Text += (Rng() % 4 == 0) ? "; { a comment }\n" : ";\n";
    }
    Text += "end.\n";
    FILE* F = std::fopen(P.c_str(), "wb");
    std::fwrite(Text.data(), 1, Text.size(), F);
    std::fclose(F);
    return P;
  }();
  return Path;
}

int MiddleLine() {
  static const int Line = [] {
    FILE* F = std::fopen(BigFile().c_str(), "rb");
    int N = 0;
    char Buf[1 << 16];
    for (size_t Got; (Got = std::fread(Buf, 1, sizeof Buf, F)) > 0;) N += static_cast<int>(std::count(Buf, Buf + Got, '\n'));
    std::fclose(F);
    return N / 2;
  }();
  return Line;
}

// A virtual terminal: curses writes into a file, whose growth counts the bytes sent.
struct TVirtualTerminal {
  TVirtualTerminal() {
    setenv("LINES", std::to_string(Rows).c_str(), 1);
    setenv("COLUMNS", std::to_string(Cols).c_str(), 1);
    OutName = "/tmp/nxs-bench-screen-" + std::to_string(getpid());
    Out = std::fopen(OutName.c_str(), "w+");
    if (::pipe(Pipe) != 0) std::abort();
    In = ::fdopen(Pipe[0], "r");
    Terminal = std::make_unique<term::TCursesTerminal>(In, Out, "xterm-256color");
  }
  ~TVirtualTerminal() {
    Terminal.reset();
    std::fclose(Out);
    std::fclose(In);
    ::close(Pipe[1]);
    ::unlink(OutName.c_str());
  }
  long Bytes() const {
    std::fflush(Out);
    struct stat St {};
    ::fstat(fileno(Out), &St);
    return St.st_size;
  }
  std::string OutName;
  FILE* Out;
  FILE* In;
  int Pipe[2];
  std::unique_ptr<term::TCursesTerminal> Terminal;
};

void BM_OpenToFirstScreen(benchmark::State& State) {
  BigFile();
  TVirtualTerminal V;
  for (auto _ : State) {
    term::TTerminalIDE Ide(*V.Terminal);
    const auto T0 = Clock::now();
    Ide.Open(BigFile());
    const auto T1 = Clock::now();
    Ide.Render();
    const auto T2 = Clock::now();
    State.SetIterationTime(Ms(T2 - T0) / 1000);
    State.counters["open_ms"] = Ms(T1 - T0);
    State.counters["render_ms"] = Ms(T2 - T1);
  }
}
BENCHMARK(BM_OpenToFirstScreen)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

// Quiet: the parse thread waits for the typing to pause, as it does for a person. Parsing: its
// delay is 0, so every keystroke starts a parse of the whole file at once and the keys meet
// the parse thread reading and parsing the 100 MB all the time.
void BM_KeystrokeToScreen(benchmark::State& State) {
  const bool Parsing = State.range(0) != 0;
  State.SetLabel(Parsing ? "parsing" : "quiet");
  TVirtualTerminal V;
  term::TTerminalIDE Ide(*V.Terminal);
  const int Delay = ParseThread().Delay();
  if (Parsing) ParseThread().SetDelay(0);
  Ide.Open(BigFile());
  Ide.Render();
  const int Middle = MiddleLine();
  const auto Jump = Clock::now();
  GotoLineCol(Ide.CurrentView()->EkView(), Middle, 8);
  Ide.Render();
  State.counters["jump_to_middle_ms"] = Ms(Clock::now() - Jump);
  std::vector<double> Times, Cpu;
  std::vector<long> Bytes;
  for (auto _ : State) {
    const long Before = V.Bytes();
    const auto T0 = Clock::now();
    const double C0 = ThreadCpuMs();
    Ide.Dispatch(term::CharEvent(U'x', false));
    Ide.Render();
    Cpu.push_back(ThreadCpuMs() - C0);
    const double T = Ms(Clock::now() - T0);
    Bytes.push_back(V.Bytes() - Before);
    Times.push_back(T);
    State.SetIterationTime(T / 1000);
  }
  std::sort(Times.begin(), Times.end());
  std::sort(Bytes.begin(), Bytes.end());
  State.counters["median_ms"] = Times[Times.size() / 2];
  State.counters["p99_ms"] = Times[Times.size() * 99 / 100];
  std::sort(Cpu.begin(), Cpu.end());
  State.counters["cpu_p99_ms"] = Cpu[Cpu.size() * 99 / 100];
  State.counters["bytes_per_char"] = static_cast<double>(Bytes[Bytes.size() / 2]);
  State.counters["parses"] = static_cast<double>(ParseThread().ParseCount());
  ParseThread().SetDelay(Delay);
}
BENCHMARK(BM_KeystrokeToScreen)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->Iterations(200)->UseManualTime();

// How long a background reader of the whole text holds the kernel's lock, which the screen
// waits for: the text copied at once, or a slice at a time (the longest slice).
void BM_ReaderHoldsKernelLock(benchmark::State& State) {
  TVirtualTerminal V;
  term::TTerminalIDE Ide(*V.Terminal);
  const int Delay = ParseThread().Delay();
  ParseThread().SetDelay(1 << 30);  // no parse of its own meanwhile
  Ide.Open(BigFile());
  PEkView View = Ide.CurrentView()->EkView();
  for (auto _ : State) {
    auto T0 = Clock::now();
    const std::string Whole = GetBufferText(View);
    const double WholeMs = Ms(Clock::now() - T0);
    std::string Sliced;
    // Between two questions lies one slice; the first question comes after the text's room
    // was made, outside the lock.
    std::vector<double> Gaps;
    T0 = Clock::now();
    Clock::time_point Last{};
    const bool Ok = ReadBufferTextInSlices(View, Sliced, [&] {
      const auto Now = Clock::now();
      if (Last != Clock::time_point{}) Gaps.push_back(Ms(Now - Last));
      Last = Now;
      return false;
    });
    std::sort(Gaps.begin(), Gaps.end());
    const double Longest = Gaps.empty() ? 0 : Gaps.back();
    State.counters["median_slice_lock_ms"] = Gaps.empty() ? 0 : Gaps[Gaps.size() / 2];
    State.counters["sliced_total_ms"] = Ms(Clock::now() - T0);
    State.SetIterationTime(Ms(Clock::now() - T0) / 1000);
    if (!Ok || Sliced != Whole) State.SkipWithError("the sliced text differs");
    State.counters["whole_text_lock_ms"] = WholeMs;
    State.counters["longest_slice_lock_ms"] = Longest;
  }
  ParseThread().SetDelay(Delay);
}
BENCHMARK(BM_ReaderHoldsKernelLock)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

// ---- whole programs on a pseudo-terminal ----

struct TPtyProgram {
  explicit TPtyProgram(std::vector<std::string> Args) {
    struct winsize W {};
    W.ws_row = Rows, W.ws_col = Cols;
    Pid = ::forkpty(&Master, nullptr, nullptr, &W);
    if (Pid == 0) {
      setenv("TERM", "xterm-256color", 1);
      setenv("LANG", "C.UTF-8", 1);
      std::vector<char*> Argv;
      for (auto& A : Args) Argv.push_back(A.data());
      Argv.push_back(nullptr);
      ::execvp(Argv[0], Argv.data());
      ::_exit(127);
    }
  }
  ~TPtyProgram() {
    if (Pid > 0) {
      ::kill(Pid, SIGKILL);
      ::waitpid(Pid, nullptr, 0);
    }
    ::close(Master);
  }
  // Reads what comes until nothing has come for QuietMs; the bytes and when the last came.
  long Drain(int QuietMs, Clock::time_point* Last = nullptr) {
    long N = 0;
    char Buf[65536];
    for (;;) {
      pollfd P{Master, POLLIN, 0};
      if (::poll(&P, 1, QuietMs) <= 0) return N;
      const ssize_t R = ::read(Master, Buf, sizeof Buf);
      if (R <= 0) return N;
      N += R;
      Seen.append(Buf, static_cast<size_t>(R));
      if (Seen.size() > (1u << 16)) Seen.erase(0, Seen.size() - (1u << 15));
      if (Last) *Last = Clock::now();
    }
  }
  // Waits until Text has come (up to BoundMs); the time it took.
  double WaitFor(const std::string& Text, int BoundMs) {
    const auto T0 = Clock::now();
    while (Seen.find(Text) == std::string::npos && Ms(Clock::now() - T0) < BoundMs) Drain(20);
    return Ms(Clock::now() - T0);
  }
  // Reads until Text has come (up to BoundMs), checking after each read rather than waiting
  // for the screen to fall still; the time from From until it came.
  double SeenAfter(const std::string& Text, Clock::time_point From, int BoundMs) {
    char Buf[65536];
    while (Seen.find(Text) == std::string::npos && Ms(Clock::now() - From) < BoundMs) {
      pollfd P{Master, POLLIN, 0};
      if (::poll(&P, 1, 100) <= 0) continue;
      const ssize_t R = ::read(Master, Buf, sizeof Buf);
      if (R <= 0) break;
      Seen.append(Buf, static_cast<size_t>(R));
    }
    return Ms(Clock::now() - From);
  }
  // CPU time of the program's main thread so far (its scheduler's count, in nanoseconds).
  double MainThreadCpuMs() const {
    FILE* F = std::fopen(("/proc/" + std::to_string(Pid) + "/schedstat").c_str(), "r");
    unsigned long long Ns = 0;
    if (F) {
      if (std::fscanf(F, "%llu", &Ns) != 1) Ns = 0;
      std::fclose(F);
    }
    return static_cast<double>(Ns) / 1e6;
  }
  void Send(const std::string& Keys) {
    if (::write(Master, Keys.data(), Keys.size()) < 0) std::abort();
  }
  pid_t Pid = -1;
  int Master = -1;
  std::string Seen;
};

struct TPeer {
  const char* Name;
  std::vector<std::string> Args;
  std::string FirstScreen;  // what its first screen sends as one run
  std::string GoToMiddle;  // keys that put the cursor in the middle line, at column 8, ready to type
  std::string Jumped;      // what shows once it is there (empty: the screen falls still)
};

std::vector<TPeer> Peers() {
  const std::string Line = std::to_string(MiddleLine());
  return {
      // The status line's position: the text is sent token by token, in its colours.
      {"nxs", {bench::NxsBinary(), "--no-packages", "edit", BigFile()}, "1:1", "\x1b[21~GoToLine " + Line + " 8\r", Line + ":8"},
      {"vim", {"vim", "-u", "NONE", "-i", "NONE", "-n", BigFile()}, "unit big;", ":" + Line + "\r07li", ""},
      {"nano", {"nano", "--ignorercfiles", BigFile()}, "unit big;", "\x1f" + Line + ",8\r", ""},
  };
}

void BM_ProgramOnPty(benchmark::State& State) {
  const TPeer Peer = Peers()[static_cast<size_t>(State.range(0))];
  State.SetLabel(Peer.Name);
  for (auto _ : State) {
    const auto T0 = Clock::now();
    TPtyProgram P(Peer.Args);
    const double First = P.WaitFor(Peer.FirstScreen, 60000);
    P.Drain(500);
    // The jump is done when the screen has been still for a while: the first jump into the
    // middle of a file may take the editor seconds.
    P.Send(Peer.GoToMiddle);
    const double Jump = Peer.Jumped.empty() ? 0 : P.WaitFor(Peer.Jumped, 60000);
    P.Drain(1500);
    std::vector<double> Times;
    std::vector<long> Bytes;
    const double Cpu0 = P.MainThreadCpuMs();
    constexpr int Keys = 100;
    for (int I = 0; I < Keys; ++I) {
      Clock::time_point Last = Clock::now();
      const auto K = Clock::now();
      P.Send("x");
      Bytes.push_back(P.Drain(60, &Last));
      Times.push_back(Ms(Last - K));
    }
    const double Cpu = P.MainThreadCpuMs() - Cpu0;
    std::sort(Times.begin(), Times.end());
    std::sort(Bytes.begin(), Bytes.end());
    State.counters["first_screen_ms"] = First;
    State.counters["key_p99_ms"] = Times[Times.size() * 99 / 100];
    State.counters["main_cpu_per_key_ms"] = Cpu / Keys;
    if (Jump > 0) State.counters["jump_ms"] = Jump;
    State.counters["key_to_last_byte_ms"] = Times[Times.size() / 2];
    State.counters["bytes_per_char"] = static_cast<double>(Bytes[Bytes.size() / 2]);
    State.SetIterationTime(Ms(Clock::now() - T0) / 1000);
  }
}
BENCHMARK(BM_ProgramOnPty)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// Opening to the first screen, several times, the programs taking turns so that a busy
// moment of a shared machine falls on each alike: the best and the median of the wall time
// and of the processor time (user and system, all threads, until the program was killed
// on seeing its first screen).
void BM_OpenOnPtyInTurns(benchmark::State& State) {
  const std::vector<TPeer> All = Peers();
  constexpr int Rounds = 7;
  std::vector<std::vector<double>> Wall(All.size()), Cpu(All.size());
  for (auto _ : State) {
    const auto T0 = Clock::now();
    for (int Round = 0; Round < Rounds; ++Round)
      for (size_t I = 0; I < All.size(); ++I) {
        const auto Start = Clock::now();
        TPtyProgram P(All[I].Args);
        Wall[I].push_back(P.SeenAfter(All[I].FirstScreen, Start, 60000));
        ::kill(P.Pid, SIGKILL);
        rusage Usage{};
        ::wait4(P.Pid, nullptr, 0, &Usage);
        P.Pid = -1;
        Cpu[I].push_back(Ms(std::chrono::seconds(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
                            std::chrono::microseconds(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec)));
      }
    State.SetIterationTime(Ms(Clock::now() - T0) / 1000);
  }
  for (size_t I = 0; I < All.size(); ++I) {
    std::sort(Wall[I].begin(), Wall[I].end());
    std::sort(Cpu[I].begin(), Cpu[I].end());
    const std::string Name = All[I].Name;
    State.counters[Name + "_wall_best_ms"] = Wall[I].front();
    State.counters[Name + "_wall_median_ms"] = Wall[I][Wall[I].size() / 2];
    State.counters[Name + "_cpu_best_ms"] = Cpu[I].front();
    State.counters[Name + "_cpu_median_ms"] = Cpu[I][Cpu[I].size() / 2];
  }
}
BENCHMARK(BM_OpenOnPtyInTurns)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// Opening to the moment keys are taken: a key typed as soon as the first screen shows, and
// the time until the screen shows it applied (for nxs, which shows a large file's first
// screen before the whole file is in; the others take keys once they show anything).
void BM_OpenToKeysTaken(benchmark::State& State) {
  const TPeer Nxs = Peers()[0];
  constexpr int Rounds = 7;
  std::vector<double> First, Taken;
  for (auto _ : State) {
    const auto T0 = Clock::now();
    for (int Round = 0; Round < Rounds; ++Round) {
      const auto Start = Clock::now();
      TPtyProgram P(Nxs.Args);
      First.push_back(P.SeenAfter(Nxs.FirstScreen, Start, 60000));
      P.Seen.clear();
      P.Send("x");
      Taken.push_back(P.SeenAfter("Modified", Start, 60000));
      ::kill(P.Pid, SIGKILL);
      ::waitpid(P.Pid, nullptr, 0);
      P.Pid = -1;
    }
    State.SetIterationTime(Ms(Clock::now() - T0) / 1000);
  }
  std::sort(First.begin(), First.end());
  std::sort(Taken.begin(), Taken.end());
  State.counters["first_screen_best_ms"] = First.front();
  State.counters["first_screen_median_ms"] = First[First.size() / 2];
  State.counters["key_taken_best_ms"] = Taken.front();
  State.counters["key_taken_median_ms"] = Taken[Taken.size() / 2];
}
BENCHMARK(BM_OpenToKeysTaken)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  // The IDE in process runs on the system as nxs starts it.
  TStartupOptions Options;
  Options.LoadPackages = false;
  TSystemStartup System(Options);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  unlink(BigFile().c_str());
  return 0;
}
