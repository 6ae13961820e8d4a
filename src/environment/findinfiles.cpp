#include "environment/findinfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "editor/editbuffer.h"
#include "environment/dirgroups.h"
#include "options/envoptions.h"
#include "environment/resstrings.h"
#include "modules/formfile.h"
#include "modules/modulelist.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projectfiles/macros.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/resstrings.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

// ---- texts ----

std::string FormTextOf(std::string_view Text) {
  // Plain runs as they are, each character above 127 as "#" and its code, a "'" at every
  // switch between the two: "ab\u00e9" becomes "ab'#233", as a form's text form holds it.
  std::string Out;
  int Last = 0;  // 0: nothing yet, 1: plain, 2: coded
  for (size_t I = 0; I < Text.size();) {
    unsigned char C = static_cast<unsigned char>(Text[I]);
    const int Kind = C < 0x80 ? 1 : 2;
    if (Last && Kind != Last) Out += '\'';
    Last = Kind;
    if (Kind == 1) {
      Out += static_cast<char>(C);
      ++I;
      continue;
    }
    // One UTF-8 sequence: its code point (a stray byte stands for itself).
    size_t N = C >= 0xF0 ? 4 : C >= 0xE0 ? 3 : C >= 0xC0 ? 2 : 1;
    uint32_t Code = N == 1 ? C : C & (0x7Fu >> N);
    for (size_t K = 1; K < N && I + K < Text.size(); ++K) Code = (Code << 6) | (static_cast<unsigned char>(Text[I + K]) & 0x3Fu);
    Out += '#' + std::to_string(Code);
    I += N;
  }
  return Out;
}

std::string SearchGroupTitle(std::string_view Text) {
  // Cut at 20 characters, not bytes.
  size_t Bytes = 0, Chars = 0;
  while (Bytes < Text.size() && Chars < 20) {
    ++Bytes;
    while (Bytes < Text.size() && (static_cast<unsigned char>(Text[Bytes]) & 0xC0) == 0x80) ++Bytes;
    ++Chars;
  }
  std::string Shown(Text.substr(0, Bytes));
  if (Bytes < Text.size()) Shown += "...";
  std::string Doubled;
  for (char C : Shown) {
    Doubled += C;
    if (C == '&') Doubled += '&';
  }
  return Format(res::SSearchForTitle, Doubled);
}

std::vector<std::string> SplitSearchList(std::string_view Text) {
  std::vector<std::string> Out;
  size_t Start = 0;
  for (size_t I = 0; I <= Text.size(); ++I) {
    if (I < Text.size() && Text[I] != ',' && Text[I] != ';') continue;
    std::string_view Item = Text.substr(Start, I - Start);
    while (!Item.empty() && (Item.front() == ' ' || Item.front() == '\t')) Item.remove_prefix(1);
    while (!Item.empty() && (Item.back() == ' ' || Item.back() == '\t')) Item.remove_suffix(1);
    if (!Item.empty()) Out.emplace_back(Item);
    Start = I + 1;
  }
  return Out;
}

bool MatchesSearchMask(std::string_view Name, std::string_view Mask) {
  if (Mask == "*.*" || Mask == "*") return true;
  // Iterative wildcard match with one back-track point.
  size_t N = 0, M = 0, StarM = std::string_view::npos, StarN = 0;
  while (N < Name.size()) {
    if (M < Mask.size() && (Mask[M] == '?' || Mask[M] == Name[N])) {
      ++N;
      ++M;
    } else if (M < Mask.size() && Mask[M] == '*') {
      StarM = M++;
      StarN = N;
    } else if (StarM != std::string_view::npos) {
      M = StarM + 1;
      N = ++StarN;
    } else {
      return false;
    }
  }
  while (M < Mask.size() && Mask[M] == '*') ++M;
  return M == Mask.size();
}

// ---- directories ----

namespace {

bool IsDirectory(const std::string& Path) {
  struct stat St;
  return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

}  // namespace

std::vector<std::string> PrepareSearchDirectories(const std::string& Directories, const std::vector<std::string>& List) {
  std::vector<std::string> Items, Cycles, Out;
  if (List.empty()) {
    for (auto& Item : SplitSearchList(Directories)) {
      if (TDirectoryGroups::IsDirectoryGroup(Item))
        DirectoryGroups().Unwind(Item, Items, true, &Cycles);
      else
        Items.push_back(Item);
    }
  } else {
    // Names as they are; the entries of a group are a list of its own, split and expanded.
    std::vector<std::string> Grouped;
    for (const auto& Item : List) {
      if (!DirectoryGroups().IsValidGroup(Item)) {
        if (!Item.empty()) Out.push_back(ExpandFileName(Item));
        continue;
      }
      Grouped.clear();
      DirectoryGroups().Unwind(Item, Grouped, true, &Cycles);
      for (auto& G : Grouped)
        if (std::string Dir = Trim(ExpandRootMacros(G)); !Dir.empty()) Out.push_back(ExpandFileName(Dir));
    }
  }
  // The search goes on with what the groups name outside the cycle.
  for (const auto& Name : Cycles)
    Questions().MessageDlg(Format(res::SDirectoryGroupCycle, Name), TMsgDlgType::mtWarning, mbOK, mbOK);
  for (auto& Item : Items) {
    std::string Dir = Trim(ExpandRootMacros(Item));
    if (!Dir.empty()) Out.push_back(ExpandFileName(Dir));
  }
  if (Out.empty()) Out.push_back(ExpandFileName("."));
  for (auto& Path : Out) {
    struct stat St;
    if (::stat(ExcludeTrailingPathDelimiter(Path).c_str(), &St) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) throw Exception(Format(res::SCannotFindPath, IncludeTrailingPathDelimiter(Path)));
      throw EInOutError(std::strerror(errno));
    }
    // A file where a directory is expected is searched itself.
    if (!S_ISDIR(St.st_mode)) {
      Path = ExcludeTrailingPathDelimiter(Path);
      continue;
    }
    Path = IncludeTrailingPathDelimiter(Path);
    // The probe of the directory's entries: one that cannot be read stops the search here.
    DIR* D = ::opendir(Path.c_str());
    if (!D) throw EInOutError(std::strerror(errno));
    ::closedir(D);
  }
  return Out;
}

// ---- file texts ----

namespace {

std::mutex OpenTextsLock;
std::map<std::string, std::string>& OpenTexts() {
  static std::map<std::string, std::string> Texts;
  return Texts;
}
std::function<std::vector<std::string>()>& OpenNamesHook() {
  static std::function<std::vector<std::string>()> Hook;
  return Hook;
}

// Captures, on the main thread, the editor's text of every open file through CFileOpen.
void CaptureOpenTexts() {
  std::map<std::string, std::string> Texts;
  for (const auto& Name : OpenFileNames()) {
    std::string Text;
    if (CReadWholeFile(Name, Text)) Texts[Name] = std::move(Text);
  }
  std::lock_guard<std::mutex> G(OpenTextsLock);
  OpenTexts() = std::move(Texts);
}

// The editor's text of a file open in it, when captured.
bool CapturedText(const std::string& Name, std::string_view& Text) {
  std::lock_guard<std::mutex> G(OpenTextsLock);
  auto It = OpenTexts().find(Name);
  if (It == OpenTexts().end()) return false;
  // The captured texts stay as they are until the next search starts.
  Text = It->second;
  return true;
}

}  // namespace

void SetOpenFileNamesHook(std::function<std::vector<std::string>()> Hook) { OpenNamesHook() = std::move(Hook); }

std::vector<std::string> OpenFileNames() {
  if (OpenNamesHook()) return OpenNamesHook()();
  // Every file module gives its file and the files of its edit buffers (a unit's form), each
  // name once.
  std::vector<std::string> Names;
  std::set<std::string> Taken;
  auto Take = [&](const std::string& Name) {
    if (!Name.empty() && Taken.insert(Name).second) Names.push_back(Name);
  };
  for (TDocModule* M : ModuleList().Snapshot()) {
    if (!M->GetIsFileModule() || M->GetIsProjectGroup()) continue;
    Take(M->GetFileName());
    for (int I = 0; I < M->GetEditorBufferCount(); ++I)
      if (TEditBuffer* B = M->GetEditorBufferAt(I)) Take(B->FileName());
  }
  return Names;
}

// ---- the engine ----

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
    std::string Lower = Name;
    for (char& C : Lower) C = AsciiLower(C);
    for (const auto& M : Masks)
      if (MatchesSearchMask(Lower, M)) {
        Add({Dir + Name, {}});
        break;
      }
  }
  if (ReadError) Add({Dir, Format(res::SCannotReadFolder, Dir, std::strerror(ReadError))});
}

void TFindEngine::WalkAll(std::vector<TEntry>& Out, const TPublish* Publish) {
  std::vector<std::string> Masks = SplitSearchList(FRequest.Masks);
  if (Masks.empty()) Masks.push_back("*.*");
  for (auto& M : Masks)
    for (char& C : M) C = AsciiLower(C);
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
                             std::vector<TFindHit>& Hits, const THitRun& Emit) {
  M.Text->Search(Text, Hits, &FStop, FirstLine, &Emit);
  // A form that a designer shows keeps non-ASCII characters of its strings coded: the
  // form-text form of the search text finds them there.
  if (FSecondPass && IsFormFileName(Name)) {
    if (!M.Form) M.Form = std::make_unique<TLineMatcher>(FFormText, FRequest.Flags, FRequest.Brief);
    M.Form->Search(Text, Hits, &FStop, FirstLine, &Emit);
  }
}

std::string TFindEngine::SearchFile(const std::string& Name, TMatchers& M, TScanBuffer& Buffer, const THitRun& Emit) {
  std::vector<TFindHit> Hits;
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
  if (!Walking && Threads == 1) {
    // One thread searches and hands over in turn.
    TMatchers M;
    M.Text = std::make_unique<TLineMatcher>(FRequest.Text, FRequest.Flags, FRequest.Brief);
    TScanBuffer Buffer;
    for (const auto& Name : Listed) {
      if (FStop) break;
      if (OnFile) OnFile(Name);
      // The sink may take what it is given.
      const THitRun Emit = [&](std::vector<TFindHit>& Hits) {
        if (!FStop && !Hits.empty()) {
          TFileHits Out{Name, std::move(Hits), {}};
          Sink(Out);
        }
        Hits.clear();
      };
      std::string Problem;
      try {
        Problem = SearchFile(Name, M, Buffer, Emit);
      } catch (const std::exception& E) {
        Problem = Failed(Name, E);
        Buffer = TScanBuffer();
      }
      if (FStop) break;
      if (!Problem.empty()) {
        TFileHits P{Name, {}, std::move(Problem)};
        Sink(P);
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
    std::vector<std::vector<TFindHit>> Runs;  // hits waiting for the hand-over (nothing held while none)
    size_t Waiting = 0;                      // in Runs
    std::string Problem;
    bool Done = false;
    bool Folder = false;   // a folder the walk could not read
    bool Started = false;  // told to OnFile
  };
  std::deque<TSlot> Slots;
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
    std::unique_lock<std::mutex> G(FLock);
    for (;;) {
      FFound.wait(G, [&] { return Next < Slots.size() || Complete || FStop; });
      if (FStop || Next >= Slots.size()) break;
      const size_t I = Next++;
      TSlot& S = Slots[I];
      if (S.Folder) continue;
      G.unlock();
      const THitRun Emit = [&](std::vector<TFindHit>& Hits) {
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
        Problem = SearchFile(S.Name, M, Buffer, Emit);
      } catch (const std::exception& E) {
        Problem = Failed(S.Name, E);
        Buffer = TScanBuffer();
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
        WalkAll(Run, &Publish);
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
      std::vector<std::vector<TFindHit>> Runs = std::move(S.Runs);
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
        TFileHits Out{S.Name, std::move(Run), {}};
        Sink(Out);
      }
      if (!Problem.empty() && !FStop) {
        TFileHits Out{S.Name, {}, std::move(Problem)};
        Sink(Out);
      }
      G.lock();
      if (Done) ++Head;
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

// ---- the files of projects ----

namespace {

std::function<TSearchProjects()>& ProjectsHook() {
  static std::function<TSearchProjects()> Hook;
  return Hook;
}

bool FileExists(const std::string& Name) {
  struct stat St;
  return ::stat(Name.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

}  // namespace

void SetSearchProjectsHook(std::function<TSearchProjects()> Hook) { ProjectsHook() = std::move(Hook); }

TSearchProjects SearchProjects() { return ProjectsHook() ? ProjectsHook()() : TSearchProjects{}; }

std::vector<std::string> ProjectSearchFiles(const TBaseProject& Project) {
  std::vector<std::string> Out = Project.GetProjectFileList();
  std::set<std::string> Taken(Out.begin(), Out.end());
  // The form beside each unit, which the project lists only through its unit.
  const size_t Listed = Out.size();
  for (size_t I = 1; I < Listed; ++I) {
    if (IsFormFileName(Out[I])) continue;
    for (const char* Ext : FormFileExtensions) {
      std::string Form = ChangeFileExt(Out[I], Ext);
      if (!Taken.count(Form) && FileExists(Form)) {
        Taken.insert(Form);
        Out.push_back(std::move(Form));
      }
    }
  }
  return Out;
}

std::vector<std::string> GroupSearchFiles(const TProjectGroup& Group) {
  std::vector<std::string> Out;
  std::set<std::string> Taken;
  for (const TBaseProject* P : Group.Projects())
    for (auto& Name : ProjectSearchFiles(*P))
      if (Taken.insert(Name).second) Out.push_back(std::move(Name));
  return Out;
}

// ---- the progress window ----

void TSearchProgress::Show(std::function<void()> OnCancel) {
  std::lock_guard<std::mutex> G(FLock);
  FVisible = true;
  FFileName.clear();
  FHitCount = 0;
  FOnCancel = std::move(OnCancel);
}

void TSearchProgress::Close() {
  std::lock_guard<std::mutex> G(FLock);
  FVisible = false;
  FOnCancel = nullptr;
}

bool TSearchProgress::Visible() const {
  std::lock_guard<std::mutex> G(FLock);
  return FVisible;
}

std::string TSearchProgress::FileName() const {
  std::lock_guard<std::mutex> G(FLock);
  return FFileName;
}

int32_t TSearchProgress::HitCount() const {
  std::lock_guard<std::mutex> G(FLock);
  return FHitCount;
}

void TSearchProgress::SetFileName(const std::string& Name) {
  std::lock_guard<std::mutex> G(FLock);
  FFileName = Name;
}

void TSearchProgress::SetHitCount(int32_t Count) {
  std::lock_guard<std::mutex> G(FLock);
  FHitCount = Count;
}

void TSearchProgress::Cancel() {
  std::function<void()> Fn;
  {
    std::lock_guard<std::mutex> G(FLock);
    Fn = FOnCancel;
  }
  if (Fn) Fn();
}

TSearchProgress& SearchProgress() {
  static TSearchProgress Progress;
  return Progress;
}

// ---- the search thread and its message group ----

namespace {

std::unique_ptr<TThreadSearch>& Running() {
  static std::unique_ptr<TThreadSearch> Search;
  return Search;
}
std::vector<TSearchLineBuffer*>& Groups() {
  static std::vector<TSearchLineBuffer*> List;
  return List;
}
std::atomic<bool> SearchRunningFlag{false};

// The search buffer manager: forgets a group the message view removed. It listens to the
// group list of the day (tests make new ones).
struct TSearchBufferMgr {
  void Listen() {
    auto& Ev = LineBufferList().EvGroupRemoved();
    if (Ev.IndexOf(this, &TSearchBufferMgr::Removed) < 0) Ev.Add(this, &TSearchBufferMgr::Removed);
  }
  void Removed(TEvMessageGroup& A) { std::erase(Groups(), &A.Group); }
};
TSearchBufferMgr& SearchBufferMgr() {
  static TSearchBufferMgr Mgr;
  return Mgr;
}

}  // namespace

TThreadSearch::TThreadSearch(TFindRequest Request) : FRequest(Request), FEngine(std::move(Request)) {
  SearchBufferMgr().Listen();
  if (!(FRequest.Advanced & AdvFlag(asfSeparateResults)) && !Groups().empty()) {
    TSearchLineBuffer* Last = Groups().back();
    LineBufferList().RemoveList(Last);
    std::erase(Groups(), Last);
  }
  LineBufferList().EvGroupRemoved().Add(this, &TThreadSearch::GroupRemoved);
}

TThreadSearch::~TThreadSearch() {
  Terminate();
  WaitFor();
  LineBufferList().EvGroupRemoved().Remove(this, &TThreadSearch::GroupRemoved);
}

void TThreadSearch::Start() {
  CaptureOpenTexts();
  SearchProgress().Show([this] { Terminate(); });
  FThread = std::thread([this] { Execute(); });
}

void TThreadSearch::Terminate() { FEngine.Cancel(); }

void TThreadSearch::WaitFor() {
  if (!FThread.joinable()) return;
  // Hand-overs the thread waits on run meanwhile when this is the main thread.
  while (!FFinished) {
    if (MainThreadQueue().IsMainThread())
      MainThreadQueue().WaitAndProcess(10);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  FThread.join();
}

void TThreadSearch::GroupRemoved(TEvMessageGroup& A) {
  if (&A.Group != FGroup) return;
  FGroupRemoved = true;
  FGroup = nullptr;
  FFileTitle = nullptr;
  Terminate();
}

TSearchLineBuffer& TThreadSearch::MakeGroup() {
  if (FGroup) return *FGroup;
  FGroup = LineBufferList().AddSearchList(SearchGroupTitle(FRequest.Text));
  // A group of the same title left by an earlier search is emptied and becomes current.
  if (std::find(Groups().begin(), Groups().end(), FGroup) != Groups().end()) {
    LineBufferList().ClearList(FGroup);
    std::erase(Groups(), FGroup);
  }
  FGroup->SearchString = FRequest.Text;
  FGroup->SearchFlags = FRequest.Flags;
  FGroup->AdvancedMode = FRequest.Scope;
  FGroup->AdvancedFlags = FRequest.Advanced;
  if (FRequest.Scope == asFileMask) {
    FGroup->Directory = FRequest.DirectoryList.empty() ? FRequest.Directories : Join(FRequest.DirectoryList, ";");
    FGroup->FileMasks = FRequest.Masks;
  }
  Groups().push_back(FGroup);
  OpenMsgView(FGroup, false);
  return *FGroup;
}

void TThreadSearch::ReportFile(TFileHits& File) {
  // Nothing is added once the search was stopped.
  if (FGroupRemoved || FEngine.Cancelled()) return;
  TSharedFileName Name;  // one for the file's lines
  for (auto& Hit : File.Hits) {
    TSearchLineBuffer& G = MakeGroup();
    TLine* Parent = nullptr;
    if (FRequest.Advanced & AdvFlag(asfGroupByFile)) {
      // The title of the file whose hits come is the group's last line, unless the group was
      // cleared meanwhile (the title went with it).
      const bool TitleHeld = FFileTitle && G.GetCount() > 0 && G.GetLines(G.GetCount() - 1) == FFileTitle;
      if (!TitleHeld || FFileTitleName != File.FileName) {
        FFileTitle = G.Add(std::make_unique<TFindTitleLine>(&G, File.FileName, true));
        FFileTitleName = File.FileName;
      }
      Parent = FFileTitle;
    }
    if (!Name) Name = std::make_shared<const std::string>(File.FileName);
    // The last hit of a line takes its text.
    auto Line = std::make_unique<TFileFindLine>(Name, Hit.Line, Hit.CharColumn, TakeLineText(Hit), Hit.TextColumn,
                                                Hit.MatchLength, &G);
    G.AddFileLine(std::move(Line), Parent);
    ++FHitCount;
  }
  if (!File.Problem.empty()) {
    TSearchLineBuffer& G = MakeGroup();
    G.Add(std::make_unique<TSearchProblemLine>(&G, File.Problem));
    // The file's hits are all in: its title takes no more.
    FFileTitle = nullptr;
    FProblems.push_back(std::move(File.Problem));
  }
  SearchProgress().SetHitCount(FHitCount);
}

void TThreadSearch::Execute() {
  SetCurrentThreadName(res::SFindInFilesThread);
  // Below the threads that keep the environment answering; the threads it starts inherit it.
  if (FRequest.LowerPriority) {
    const pid_t Self = static_cast<pid_t>(::syscall(SYS_gettid));
    errno = 0;
    const int Nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(Self));
    if (errno == 0 && Nice < 19) ::setpriority(PRIO_PROCESS, static_cast<id_t>(Self), Nice + 1);
  }
  SearchRunningFlag = true;
  // Hits go to the main thread in batches that it takes in turn while the search goes on; a
  // few batches at most wait there, and the final step below runs after all of them.
  std::mutex Lock;
  std::condition_variable Taken;
  int Waiting = 0;
  constexpr int MaxWaiting = 4;
  try {
    auto Batch = std::make_shared<std::vector<TFileHits>>();
    size_t BatchHits = 0;
    auto Flush = [&] {
      if (Batch->empty()) return;
      {
        std::unique_lock<std::mutex> G(Lock);
        Taken.wait(G, [&] { return Waiting < MaxWaiting || FEngine.Cancelled(); });
        ++Waiting;
      }
      Queue([this, B = std::move(Batch), &Lock, &Taken, &Waiting] {
        for (auto& F : *B) ReportFile(F);
        if (FOnReported) FOnReported();
        std::lock_guard<std::mutex> G(Lock);
        --Waiting;
        Taken.notify_all();
      });
      Batch = std::make_shared<std::vector<TFileHits>>();
      BatchHits = 0;
    };
    FEngine.Run(
        [&](TFileHits& Hits) {
          BatchHits += Hits.Hits.size();
          Batch->push_back(std::move(Hits));
          if (BatchHits >= 4096 || Batch->size() >= 256) Flush();
        },
        [](const std::string& Name) { SearchProgress().SetFileName(Name); });
    if (!FEngine.Cancelled()) Flush();
  } catch (const std::exception&) {
    FEngine.Cancel();
  }
  const bool Cancelled = FEngine.Cancelled();
  // After every batch (the queue keeps its order): the terminated line, the progress window.
  Synchronize([this, Cancelled] {
    if (Cancelled && !FGroupRemoved) {
      TSearchLineBuffer& G = MakeGroup();
      G.Add(std::make_unique<TTitleLine>(&G, res::SSearchTerminated));
    }
    SearchProgress().Close();
  });
  {
    // A batch queued before a cancel has run too (its lock is this frame's).
    std::unique_lock<std::mutex> G(Lock);
    Taken.wait(G, [&] { return Waiting == 0; });
  }
  SearchRunningFlag = false;
  if (!Cancelled && FHitCount == 0)
    Synchronize([this] {
      Questions().MessageDlg(Format(res::SSearchNotFound, FRequest.Text), TMsgDlgType::mtInformation, mbOK, mbOK);
    });
  FFinished = true;
  // A main thread that waits for work learns at once that the search is over.
  Queue([] {});
}

namespace {

// The request with the files of a project, group or open-files scope filled in.
TFindRequest ResolveScope(const TFindRequest& Request) {
  TFindRequest R = Request;
  if ((R.Scope == asProjectFiles || R.Scope == asProjectGroup) && R.Files.empty()) {
    const TSearchProjects P = SearchProjects();
    if (R.Scope == asProjectFiles && P.Active) R.Files = ProjectSearchFiles(*P.Active);
    if (R.Scope == asProjectGroup && P.Group) R.Files = GroupSearchFiles(*P.Group);
    if (R.Scope == asProjectGroup && !P.Group && P.Active) R.Files = ProjectSearchFiles(*P.Active);
  }
  if (R.Scope == asOpenFiles && R.Files.empty()) R.Files = OpenFileNames();
  return R;
}

}  // namespace

void DoFindInFiles(const TFindRequest& Request) {
  TerminateFindInFiles();
  MainThreadQueue().ProcessPending();
  if (Request.Scope == asNone) return;
  auto Search = std::make_unique<TThreadSearch>(ResolveScope(Request));  // a missing path raises here
  Running() = std::move(Search);
  Running()->Start();
}

void RunFindInFiles(const TFindRequest& Request, const std::function<void(TFileHits&)>& Sink) {
  if (Request.Scope == asNone) return;
  TFindEngine Engine(ResolveScope(Request));
  CaptureOpenTexts();
  Engine.Run(Sink);
}

namespace {

std::function<bool()>& FindDialog() {
  static std::function<bool()> Dialog;
  return Dialog;
}

}  // namespace

void SetFindInFilesDialog(std::function<bool()> Dialog) { FindDialog() = std::move(Dialog); }

TAdvancedSearchFlags GetAdvancedSearchFlags() {
  TOptionSet& O = EnvironmentOptions().SearchOptions();
  TAdvancedSearchFlags F = 0;
  if (O.GetBool("Include Sub Dirs")) F |= AdvFlag(asfIncludeSubDirs);
  if (O.GetBool("Display results in separate tab in message view")) F |= AdvFlag(asfSeparateResults);
  if (O.GetBool("Group results by file")) F |= AdvFlag(asfGroupByFile);
  return F;
}

void PerformFindInFiles() {
  if (!FindDialog() || !FindDialog()()) return;
  TEnvironmentOptions& Env = EnvironmentOptions();
  TFindRequest R;
  const auto& Texts = Env.HistoryLists().Items(hlSearchText);
  R.Text = Texts.empty() ? std::string() : Texts.front();
  R.Flags = Env.GetSearchFlags();
  const int64_t Scope = SettingsStore().ReadInteger(FindInFilesScopeSection, FindInFilesScopeValue, asFileMask);
  R.Scope = Scope >= asNone && Scope <= asProjectGroup ? static_cast<TAdvancedSearch>(Scope) : asFileMask;
  R.Advanced = GetAdvancedSearchFlags();
  R.Masks = Env.SearchOptions().GetStr("File Mask");
  R.Directories = Env.SearchOptions().GetStr("Search Directory");
  if (R.Text.empty()) return;
  DoFindInFiles(R);
}

bool TerminateFindInFiles() {
  if (Running()) {
    Running()->Terminate();
    Running()->WaitFor();
    Running().reset();
  }
  return true;
}

void ResetFindInFiles() {
  TerminateFindInFiles();
  LineBufferList().EvGroupRemoved().Remove(&SearchBufferMgr(), &TSearchBufferMgr::Removed);
  Groups().clear();
}

TThreadSearch* RunningSearch() { return Running().get(); }
bool SearchRunning() { return SearchRunningFlag; }
std::vector<TSearchLineBuffer*> SearchGroups() { return Groups(); }

}  // namespace nxs
