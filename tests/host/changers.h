// The nxs commands that change files, in one table for the two harnesses that run them at
// once (atonce_test.cpp) and interrupt them (interrupted_test.cpp): a command added to the
// table is covered by both. A row says how to prepare the files, what its change number
// (Round, Slot) runs, how the file shows that change, how it is read back, and how changes
// made at once must combine.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/checked.h"
#include "support/files.h"
#include "support/run.h"
#include "support/tempdir.h"
#include "support/wait.h"

namespace nxs::test {

// One change of a row: rounds follow each other, the slots of a round run at once.
struct TChange {
  int Round = 0;
  int Slot = 0;
  // "<round>_<slot>", for the names the change makes or touches.
  std::string Tag() const { return std::to_string(Round) + "_" + std::to_string(Slot); }
};

// The slots of a round: no harness runs more at once.
inline constexpr int MaxSlots = 3;

// How many of Full rounds a harness runs: all of them in the plain build, where the timing of
// many runs finds the races; a quarter under AddressSanitizer, where every start of nxs costs
// many times as much and what is looked for (memory errors) lies on the same paths.
constexpr int HarnessRounds(int Full) {
#ifdef NXS_TEST_ASAN
  return Full / 4;
#else
  return Full;
#endif
}

// A scratch folder with settings of its own, and nxs run there.
class TBench {
 public:
  // Rows prepare for the changes of Rounds rounds of Slots slots.
  TBench(int Rounds, int Slots)
      : Rounds(Rounds), Slots(Slots), FOptions{{}, {{"NXS_SETTINGS_DIR", FDir / "settings"}}, false} {}
  const int Rounds, Slots;
  template <class F>
  void ForEachChange(F Fn) const {
    for (int R = 0; R < Rounds; ++R)
      for (int S = 0; S < Slots; ++S) Fn(TChange{R, S});
  }
  std::string operator/(const std::string& Name) const { return FDir / Name; }
  const std::string& Path() const { return FDir.Path(); }
  const TRunOptions& Options() const { return FOptions; }
  TRunResult Nxs(const std::vector<std::string>& Args) const { return RunNxs(Args, FOptions); }
  // For preparing: raises with what nxs said when it fails.
  void Ok(const std::vector<std::string>& Args) const {
    TRunResult R = Nxs(Args);
    if (R.Status != 0) throw std::runtime_error("nxs " + (Args.empty() ? "" : Args[0]) + " failed: " + R.Err);
  }
  std::string Text(const std::string& Name) const { return ReadText(FDir / Name); }
  bool Has(const std::string& Name, const std::string& Needle) const {
    return Text(Name).find(Needle) != std::string::npos;
  }
  bool Exists(const std::string& Name) const { return std::filesystem::exists(FDir / Name); }
  void Write(const std::string& Name, const std::string& Text) const {
    std::filesystem::create_directories(std::filesystem::path(FDir / Name).parent_path());
    WriteText(FDir / Name, Text);
  }
  // A Pascal project as "nxs project new" makes it, with a GUID of its own, and Extra put
  // into its first item group.
  void Project(const std::string& Name, const std::string& Extra = {}) {
    if (FTemplate.empty()) {
      std::filesystem::create_directories(FDir / "template");
      Ok({"project", "new", FDir / "template/t.vproj", "--personality", "Vellum.Personality"});
      FTemplate = Text("template/t.vproj");
    }
    static int Serial = 0;
    char Guid[64];
    std::snprintf(Guid, sizeof Guid, "{00000000-0000-4000-8000-%012d}", ++Serial);
    std::string T = FTemplate;
    const size_t G = T.find("<ProjectGuid>") + 13;
    T.replace(G, T.find("</ProjectGuid>") - G, Guid);
    T.insert(T.find("</ItemGroup>"), Extra);
    Write(Name, T);
  }

 private:
  TTempDir FDir;
  TRunOptions FOptions;
  std::string FTemplate;
};

// How the changes of one round, run at once, must stand in the file afterwards.
using TCheck = std::function<std::string(TBench&, int Round, const std::vector<TRunResult>& Runs)>;

struct TChangeRow {
  const char* Name;
  // The file the change makes or changes, relative to the bench.
  std::function<std::string(const TChange&)> File;
  std::function<void(TBench&)> Prepare;
  std::function<std::vector<std::string>(TBench&, const TChange&)> Args;
  // True when the file shows the change; none where any version that loads will do.
  std::function<bool(TBench&, const TChange&)> Shows;
  TCheck Check;
  // A command that reads the change's file back; it succeeds when the file loads.
  std::function<std::vector<std::string>(TBench&, const TChange&)> Load;
  // What must hold of the bench whatever happened ("" when it does).
  std::function<std::string(TBench&)> Intact = nullptr;
  // The command makes its file and refuses one that exists.
  bool Makes = false;
};

// A run that failed said so: status 1 with a message, on standard error, or as the build's
// closing "Failed".
inline bool SaidItFailed(const TRunResult& R) {
  return R.Status == 1 && (R.Err.starts_with("nxs: ") || R.Out.starts_with("Failed\n") ||
                           R.Out.find("\nFailed\n") != std::string::npos);
}

// -- How changes made at once combine ------------------------------------------------------------

// Every change that succeeded is there.
inline TCheck EveryStays(std::function<bool(TBench&, const TChange&)> Shows) {
  return [Shows](TBench& B, int Round, const std::vector<TRunResult>& Runs) -> std::string {
    for (int Slot = 0; Slot < static_cast<int>(Runs.size()); ++Slot)
      if (Runs[Slot].Status == 0 && !Shows(B, {Round, Slot}))
        return "the change " + TChange{Round, Slot}.Tag() + " is lost";
    return {};
  };
}

// The changes replace each other: the file shows exactly one of them, made by a run that
// succeeded.
inline TCheck OneStands(std::function<bool(TBench&, const TChange&)> Shows) {
  return [Shows](TBench& B, int Round, const std::vector<TRunResult>& Runs) -> std::string {
    int Shown = 0;
    for (int Slot = 0; Slot < static_cast<int>(Runs.size()); ++Slot)
      if (Shows(B, {Round, Slot})) {
        if (Runs[Slot].Status != 0) return "the change " + TChange{Round, Slot}.Tag() + " failed, yet it stands";
        ++Shown;
      }
    return Shown == 1 ? std::string() : std::to_string(Shown) + " changes stand at once";
  };
}

// The runs make one file: one of them succeeds, the others say that it exists.
inline TCheck OneMakesIt(std::function<bool(TBench&, const TChange&)> Shows) {
  return [Shows](TBench& B, int Round, const std::vector<TRunResult>& Runs) -> std::string {
    const auto Made = std::count_if(Runs.begin(), Runs.end(), [](const TRunResult& R) { return R.Status == 0; });
    if (Made != 1) return std::to_string(Made) + " runs made the file";
    return Shows(B, {Round, 0}) ? std::string() : "the file is not there";
  };
}

// -- Reading files back ---------------------------------------------------------------------------

// The part of Text from the first Start on up to the next End; "" without Start.
inline std::string Between(const std::string& Text, const std::string& Start, const std::string& End) {
  const size_t S = Text.find(Start);
  if (S == std::string::npos) return {};
  const size_t E = Text.find(End, S + Start.size());
  return Text.substr(S, E == std::string::npos ? std::string::npos : E - S);
}

// The includes of a group file's "Projects" items, in order.
inline std::vector<std::string> GroupProjects(const std::string& Text) {
  std::vector<std::string> Out;
  const std::string Key = "<Projects Include=\"";
  for (size_t P = Text.find(Key); P != std::string::npos; P = Text.find(Key, P + 1)) {
    const size_t S = P + Key.size();
    Out.push_back(Text.substr(S, Text.find('"', S) - S));
  }
  return Out;
}

// The names of the files in a folder of the bench (none when it is missing).
inline std::vector<std::string> FilesIn(const TBench& B, const std::string& Folder) {
  std::vector<std::string> Names;
  std::error_code Ec;
  for (const auto& E : std::filesystem::directory_iterator(B / Folder, Ec)) Names.push_back(E.path().filename());
  return Names;
}

// The processes (other than this one) whose working folder lies in Dir: what a command left
// running there.
inline std::vector<pid_t> ProcessesIn(const std::string& Dir) {
  std::vector<pid_t> Found;
  DIR* D = ::opendir("/proc");
  if (!D) return Found;
  while (struct dirent* E = ::readdir(D)) {
    const pid_t Pid = static_cast<pid_t>(std::atoi(E->d_name));
    if (Pid <= 0 || Pid == ::getpid()) continue;
    std::error_code Ec;
    const std::string Cwd = std::filesystem::read_symlink("/proc/" + std::string(E->d_name) + "/cwd", Ec).string();
    if (!Ec && (Cwd == Dir || Cwd.starts_with(Dir + "/"))) Found.push_back(Pid);
  }
  ::closedir(D);
  return Found;
}

// Waits, up to a bound, until nothing runs in Dir any more; false when something still does.
inline bool NothingRunsIn(const std::string& Dir) {
  return WaitUntil([&] { return ProcessesIn(Dir).empty(); });
}

// The temporary files an atomic write makes ("NAME.tmp<pid>.<n>") anywhere in the bench.
inline std::vector<std::string> TemporaryFiles(const TBench& B) {
  std::vector<std::string> Found;
  std::error_code Ec;
  for (auto It = std::filesystem::recursive_directory_iterator(B.Path(), Ec);
       !Ec && It != std::filesystem::recursive_directory_iterator(); It.increment(Ec)) {
    const std::string Name = It->path().filename();
    const size_t T = Name.rfind(".tmp");
    if (T != std::string::npos && T + 4 < Name.size() && std::isdigit(static_cast<unsigned char>(Name[T + 4])))
      Found.push_back(It->path().string());
  }
  return Found;
}

// The table.
std::vector<TChangeRow> ChangeRows();

// Runs Body for the rows of the table all at once, each in a thread of its own (a row works
// in a bench of its own), failures traced to their row. NXS_TEST_ROW names one row to run
// alone.
inline void ForEveryRow(const std::function<void(const TChangeRow&)>& Body) {
  const char* Only = std::getenv("NXS_TEST_ROW");
  std::vector<std::thread> Threads;
  for (const TChangeRow& Row : ChangeRows()) {
    if (Only && *Only && Row.Name != std::string(Only)) continue;
    Threads.emplace_back([Row, &Body] {
      SCOPED_TRACE(std::string("row ") + Row.Name);
      Body(Row);
    });
  }
  for (auto& T : Threads) T.join();
}

}  // namespace nxs::test
