#include "environment/findengine.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

#include "environment/opentexts.h"
#include "environment/resstrings.h"
#include "environment/searchdirs.h"
#include "environment/searchtext.h"
#include "modules/formfile.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/resstrings.h"
#include "shared/text.h"

namespace nxs {

TFindEngine::TFindEngine(TFindRequest Request) : FRequest(std::move(Request)) {
  if (FRequest.Scope == asFileMask) FDirectories = PrepareSearchDirectories(FRequest.Directories, FRequest.DirectoryList);
  FFormText = FormTextOf(FRequest.Text);
  FSecondPass = FRequest.Scope == asFileMask && FFormText != FRequest.Text;
}

TFindEngine::~TFindEngine() = default;

void TFindEngine::Cancel() {
  {
    std::lock_guard<std::mutex> G(FLock);
    FStop = true;
  }
  FFound.notify_all();
  FFilled.notify_all();
  FDrained.notify_all();
}

void TFindEngine::Walk(const std::string& Dir, const std::vector<std::string>& Masks, std::vector<TEntry>& Out,
                       TVisited& Visited, const TPublish* Publish) {
  auto Add = [&](TEntry E) {
    Out.push_back(std::move(E));
    if (Publish && Out.size() >= PublishRun) (*Publish)(Out);
  };
  DIR* D = ::opendir(Dir.c_str());
  if (!D) {
    // Reported in its place; the rest of the tree is searched.
    if (errno != ENOENT && errno != ENOTDIR) Add({Dir, Format(res::SCannotReadFolder, Dir, std::strerror(errno))});
    return;
  }
  // Each directory once, however it is reached (two list entries, a link).
  struct stat St;
  if (::fstat(::dirfd(D), &St) != 0 || !Visited.emplace(St.st_dev, St.st_ino).second) {
    ::closedir(D);
    return;
  }
  std::vector<std::pair<std::string, bool>> Entries;
  int ReadError = 0;
  for (;;) {
    errno = 0;
    const dirent* E = ::readdir(D);
    if (!E) {
      ReadError = errno;
      break;
    }
    std::string Name = E->d_name;
    if (Name == "." || Name == "..") continue;
    bool IsDir = E->d_type == DT_DIR;
    if (E->d_type == DT_UNKNOWN || E->d_type == DT_LNK) IsDir = IsDirectory(Dir + Name);
    Entries.emplace_back(std::move(Name), IsDir);
  }
  ::closedir(D);
  std::sort(Entries.begin(), Entries.end());
  for (auto& [Name, IsDir] : Entries) {
    if (FStop) return;
    if (IsDir) {
      if (Name[0] != '.' && (FRequest.Advanced & AdvFlag(asfIncludeSubDirs)))
        Walk(Dir + Name + "/", Masks, Out, Visited, Publish);
      continue;
    }
    for (const auto& M : Masks)
      if (MatchesSearchMask(Name, M)) {
        Add({Dir + Name, {}});
        break;
      }
  }
  if (ReadError) Add({Dir, Format(res::SCannotReadFolder, Dir, std::strerror(ReadError))});
}

void TFindEngine::WalkAll(std::vector<TEntry>& Out, const TPublish* Publish) {
  std::vector<std::string> Masks = SplitSearchList(FRequest.Masks);
  if (Masks.empty()) Masks.push_back("*.*");
  TVisited Visited;
  std::set<std::string> Named;
  for (const auto& Path : FDirectories) {
    if (FStop) break;
    if (!Path.empty() && Path.back() == '/') {
      Walk(Path, Masks, Out, Visited, Publish);
    } else if (Named.insert(Path).second) {
      // A file named among the directories, whatever the masks.
      Out.push_back({Path, {}});
      if (Publish && Out.size() >= PublishRun) (*Publish)(Out);
    }
  }
  if (Publish && !Out.empty()) (*Publish)(Out);
}

std::vector<std::string> TFindEngine::CollectFiles() {
  std::vector<std::string> Out;
  if (FRequest.Scope != asFileMask) {
    // A list names each file once, where it first comes: a file named twice is not searched
    // twice.
    std::set<std::string_view> Taken;
    for (const auto& Name : FRequest.Files)
      if (Taken.insert(Name).second) Out.push_back(Name);
    return Out;
  }
  std::vector<TEntry> Entries;
  WalkAll(Entries, nullptr);
  for (auto& E : Entries)
    if (E.Problem.empty()) Out.push_back(std::move(E.Name));
  return Out;
}

void TFindEngine::SearchText(const std::string& Name, std::string_view Text, int32_t FirstLine, TMatchers& M,
                             TFoundHits& Hits, const THitRun& Emit) {
  M.Text->Search(Text, Hits, &FStop, FirstLine, &Emit);
  // A form that a designer shows keeps non-ASCII characters of its strings coded: the
  // form-text form of the search text finds them there.
  if (FSecondPass && IsFormFileName(Name)) {
    if (!M.Form) M.Form = std::make_unique<TLineMatcher>(FFormText, FRequest.Flags, FRequest.Brief);
    M.Form->Search(Text, Hits, &FStop, FirstLine, &Emit);
  }
}

std::string TFindEngine::SearchFile(const std::string& Name, TMatchers& M, TScanBuffer& Buffer, TFoundHits& Hits,
                                    const THitRun& Emit) {
  auto Whole = [&](std::string_view Text) {
    if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
    SearchText(Name, Text, 1, M, Hits, Emit);
    Emit(Hits);
  };
  std::string_view Captured;
  if (CapturedText(Name, Captured)) {
    Whole(Captured);
    return {};
  }
  TFileScan Scan(Buffer);
  std::string Error;
  switch (Scan.Open(Name, Error)) {
    case TFileScan::foNoFile: return {};
    case TFileScan::foFailed: return Format(res::SCannotReadFile, Name, Error);
    case TFileScan::foOpened: break;
  }
  if (IsFormFileName(Name)) {
    // A form is read whole: one stored in binary is searched in its text form.
    std::string Text;
    if (!Scan.ReadAll(Text, Error)) return Format(res::SCannotReadFile, Name, Error);
    if (IsBinaryForm(Text)) {
      try {
        Text = FormBinaryToText(Text);
      } catch (const EFormFileError&) {
        // A damaged form is searched byte for byte.
      }
    }
    Whole(Text);
    return {};
  }
  int32_t Line = 1, LongLine = 0;
  bool First = true, TooLong;
  std::string_view Lines;
  while (!FStop && Scan.Next(Lines, TooLong, Error)) {
    if (TooLong) {
      if (!LongLine) LongLine = Line;
      ++Line;
      continue;
    }
    if (First && Lines.substr(0, 3) == "\xEF\xBB\xBF") Lines.remove_prefix(3);
    First = false;
    SearchText(Name, Lines, Line, M, Hits, Emit);
    if (!Scan.AtEnd()) Line = LineAfter(Lines, Line);
  }
  Emit(Hits);
  if (!Error.empty()) return Format(res::SCannotReadFile, Name, Error);
  if (LongLine)
    return Format(res::SCannotReadFile, Name, Format(res::SLineNotSearched, LongLine, static_cast<int>(MaxSearchedLine >> 20)));
  return {};
}

unsigned SearchThreadCount(unsigned Requested, size_t Files) {
  // No more threads than files, nor than a few per core: a request for thousands would
  // only exhaust the process.
  const unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned Threads = std::min(Requested ? Requested : Cores, MaxThreadsPerCore * Cores);
  return static_cast<unsigned>(std::min<size_t>(Threads, std::max<size_t>(1, Files)));
}

bool TFindEngine::Run(const std::function<void(TFileHits&)>& Sink, const std::function<void(const std::string&)>& OnFile) {
  const bool Walking = FRequest.Scope == asFileMask;
  std::vector<std::string> Listed;
  if (!Walking) Listed = CollectFiles();
  const unsigned Threads = SearchThreadCount(FRequest.Threads, Walking ? SIZE_MAX : Listed.size());
  auto Failed = [](const std::string& Name, const std::exception& E) { return Format(res::SCannotReadFile, Name, E.what()); };
  if (Threads == 1) {
    // One thread walks, searches and hands over in turn.
    TMatchers M;
    M.Text = std::make_unique<TLineMatcher>(FRequest.Text, FRequest.Flags, FRequest.Brief);
    TScanBuffer Buffer;
    TFoundHits Gathered;
    auto SearchOne = [&](const std::string& Name) {
      if (OnFile) OnFile(Name);
      // The sink may take what it is given; what it leaves is gathered into again.
      const THitRun Emit = [&](TFoundHits& Hits) {
        if (!FStop && !Hits.empty()) {
          TFileHits Out(Name, std::move(Hits), {});
          Sink(Out);
          Hits = std::move(static_cast<TFoundHits&>(Out));
        }
        Hits.clear();
      };
      std::string Problem;
      try {
        Problem = SearchFile(Name, M, Buffer, Gathered, Emit);
      } catch (const std::exception& E) {
        Problem = Failed(Name, E);
        Buffer = TScanBuffer();
        Gathered.clear();
      }
      if (!FStop && !Problem.empty()) {
        TFileHits P(Name, {}, std::move(Problem));
        Sink(P);
      }
    };
    if (Walking) {
      // Each entry as the walk finds it: a folder that could not be read in its place.
      const TPublish Search = [&](std::vector<TEntry>& Run) {
        for (auto& E : Run) {
          if (FStop) break;
          if (E.Problem.empty()) {
            SearchOne(E.Name);
          } else {
            TFileHits P(E.Name, {}, std::move(E.Problem));
            Sink(P);
          }
        }
        Run.clear();
      };
      std::vector<TEntry> Run;
      WalkAll(Run, &Search);
    } else {
      for (const auto& Name : Listed) {
        if (FStop) break;
        SearchOne(Name);
      }
    }
    return !FStop;
  }
  // A walking thread hands the entries it finds to the workers in runs as it goes; the
  // workers take them in order and fill their slots; this thread hands each slot's runs of
  // hits over in file order as they come. What follows is under FLock; a slot stays where it
  // is while more are added.
  struct TSlot {
    std::string Name;
    std::vector<TFoundHits> Runs;  // hits waiting for the hand-over (nothing held while none)
    size_t Waiting = 0;                      // in Runs
    std::string Problem;
    bool Done = false;
    bool Folder = false;   // a folder the walk could not read
    bool Started = false;  // told to OnFile
  };
  // The slots by their place in the file order; those handed over are let go, so that a long
  // search holds only the slots from the head on.
  struct TSlots {
    std::deque<TSlot> Held;
    size_t First = 0;  // the place of Held's first
    TSlot& operator[](size_t I) { return Held[I - First]; }
    size_t size() const { return First + Held.size(); }
    TSlot& emplace_back() { return Held.emplace_back(); }
    void DropBefore(size_t I) {
      for (; First < I; ++First) Held.pop_front();
    }
  } Slots;
  size_t Next = 0, Head = 0;  // the next slot to search; the slot being handed over
  size_t Buffered = 0;        // hits waiting in every slot
  int Pressed = 0;            // threads waiting for room
  bool Complete = false;      // no more entries come
  size_t WaitingFor = SIZE_MAX;
  constexpr size_t HandOverRun = 64;
  auto Work = [&] {
    SetCurrentThreadName(res::SFindInFilesThread);
    TMatchers M;
    M.Text = std::make_unique<TLineMatcher>(FRequest.Text, FRequest.Flags, FRequest.Brief);
    TScanBuffer Buffer;
    TFoundHits Gathered;
    std::unique_lock<std::mutex> G(FLock);
    for (;;) {
      FFound.wait(G, [&] { return Next < Slots.size() || Complete || FStop; });
      if (FStop || Next >= Slots.size()) break;
      const size_t I = Next++;
      TSlot& S = Slots[I];
      if (S.Folder) continue;
      G.unlock();
      const THitRun Emit = [&](TFoundHits& Hits) {
        if (Hits.empty()) return;
        std::unique_lock<std::mutex> L(FLock);
        S.Waiting += Hits.size();
        Buffered += Hits.size();
        // A full run is a file's hits streaming: the hand-over takes it at once when it is
        // at this file. The rest comes with the file's end.
        const bool Streaming = Hits.size() >= TLineMatcher::FlushAt;
        S.Runs.push_back(std::move(Hits));
        Hits.clear();
        if (Streaming && I == Head) FFilled.notify_all();
        // Room for more: the file being handed over may hold HeadRoom hits, the files after
        // it AheadRoom together.
        auto Room = [&] { return FStop || (I == Head ? S.Waiting < HeadRoom : Buffered < AheadRoom); };
        if (Room()) return;
        ++Pressed;
        FFilled.notify_all();
        FDrained.wait(L, Room);
        --Pressed;
      };
      std::string Problem;
      try {
        Problem = SearchFile(S.Name, M, Buffer, Gathered, Emit);
      } catch (const std::exception& E) {
        Problem = Failed(S.Name, E);
        Buffer = TScanBuffer();
        Gathered.clear();
      }
      G.lock();
      S.Problem = std::move(Problem);
      S.Done = true;
      if (I == WaitingFor) FFilled.notify_all();
    }
    // Wake the hand-over when stopping.
    FFilled.notify_all();
  };
  const TPublish Publish = [&](std::vector<TEntry>& Run) {
    {
      std::lock_guard<std::mutex> G(FLock);
      const size_t Before = Slots.size();
      for (auto& E : Run) {
        TSlot& S = Slots.emplace_back();
        S.Name = std::move(E.Name);
        S.Problem = std::move(E.Problem);
        S.Done = S.Folder = !S.Problem.empty();
      }
      // The hand-over may wait for an entry that had not been found yet (and a folder that
      // could not be read is done as it is found).
      if (WaitingFor != SIZE_MAX && WaitingFor >= Before && WaitingFor < Slots.size()) FFilled.notify_all();
    }
    Run.clear();
    FFound.notify_all();
  };
  // The walk keeps at most WalkAhead entries ahead of the hand-over, then waits for it to come
  // half way: a search over a large tree holds the names of a part of it at a time. (More
  // than HandOverRun, so that the hand-over never waits for an entry the walk holds back.)
  constexpr size_t WalkAhead = 1024;
  static_assert(WalkAhead / 2 > HandOverRun);
  bool WalkWaits = false;
  const TPublish PublishFound = [&](std::vector<TEntry>& Run) {
    Publish(Run);
    std::unique_lock<std::mutex> G(FLock);
    if (Slots.size() - Head <= WalkAhead) return;
    WalkWaits = true;
    FDrained.wait(G, [&] { return FStop || Slots.size() - Head <= WalkAhead / 2; });
    WalkWaits = false;
  };
  auto Finish = [&] {
    {
      std::lock_guard<std::mutex> G(FLock);
      Complete = true;
    }
    FFound.notify_all();
    FFilled.notify_all();
    FDrained.notify_all();
  };
  std::exception_ptr WalkFailure;
  std::thread Walker;
  if (Walking) {
    Walker = std::thread([&] {
      SetCurrentThreadName(res::SFindInFilesThread);
      try {
        std::vector<TEntry> Run;
        WalkAll(Run, &PublishFound);
      } catch (...) {
        WalkFailure = std::current_exception();
        Cancel();
      }
      Finish();
    });
  } else {
    std::vector<TEntry> Run;
    for (auto& Name : Listed) Run.push_back({std::move(Name), {}});
    Publish(Run);
    Finish();
  }
  std::vector<std::thread> Pool;
  for (unsigned T = 0; T < Threads; ++T) Pool.emplace_back(Work);
  std::exception_ptr Failure;
  try {
    std::unique_lock<std::mutex> G(FLock);
    for (;;) {
      // Woken once per run of files rather than once per file: while the head's file is
      // searched it waits for the slot a run ahead (the last, once the walk is over) to be
      // done, then hands over every file done by then. A thread that needs room has it wait
      // for the head itself.
      for (;;) {
        if (FStop || (Complete && Head >= Slots.size())) break;
        if (Head < Slots.size() && (!Slots[Head].Runs.empty() || Slots[Head].Done)) break;
        size_t Target = Head;
        if (Pressed == 0) {
          const size_t Ahead = Head + HandOverRun;
          const size_t Last = Ahead < Slots.size() || !Complete ? Ahead : Slots.size() - 1;
          if (Last >= Slots.size() || !Slots[Last].Done) Target = Last;
        }
        WaitingFor = Target;
        FFilled.wait(G);
      }
      WaitingFor = SIZE_MAX;
      if (FStop || Head >= Slots.size()) break;
      TSlot& S = Slots[Head];
      const bool First = !S.Started && !S.Folder;
      S.Started = true;
      std::vector<TFoundHits> Runs = std::move(S.Runs);
      S.Runs.clear();
      Buffered -= S.Waiting;
      S.Waiting = 0;
      const bool Done = S.Done;
      std::string Problem = Done ? std::move(S.Problem) : std::string();
      if (Pressed > 0) FDrained.notify_all();
      G.unlock();
      // The name is written once, before the slot is found.
      if (First && OnFile) OnFile(S.Name);
      // The sink may take what it is given.
      for (auto& Run : Runs) {
        if (FStop) break;
        TFileHits Out(S.Name, std::move(Run), {});
        Sink(Out);
      }
      if (!Problem.empty() && !FStop) {
        TFileHits Out(S.Name, {}, std::move(Problem));
        Sink(Out);
      }
      G.lock();
      if (Done) Slots.DropBefore(++Head);
      if (WalkWaits && Slots.size() - Head <= WalkAhead / 2) FDrained.notify_all();
    }
  } catch (...) {
    Failure = std::current_exception();
    Cancel();
  }
  const bool Stopped = FStop;
  Finish();
  if (Walker.joinable()) Walker.join();
  for (auto& T : Pool) T.join();
  if (Failure) std::rethrow_exception(Failure);
  if (WalkFailure) std::rethrow_exception(WalkFailure);
  return !Stopped;
}

}  // namespace nxs
