#include "environment/findinfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "editor/briefexpr.h"
#include "editor/edkrnl.h"
#include "editor/ekinit.h"
#include "environment/resstrings.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

// ---- texts ----

std::string FormTextOf(std::string_view Text) {
  std::string Out;
  bool Quoted = false;  // inside a run of plain characters
  bool First = true;
  for (size_t I = 0; I < Text.size();) {
    unsigned char C = static_cast<unsigned char>(Text[I]);
    if (C < 0x80) {
      if (!Quoted && !First) Out += '\'';
      if (!Quoted && First) Out += '\'';
      Quoted = true;
      Out += static_cast<char>(C);
      ++I;
    } else {
      // One UTF-8 sequence: its code point.
      size_t N = C >= 0xF0 ? 4 : C >= 0xE0 ? 3 : C >= 0xC0 ? 2 : 1;
      uint32_t Code = N == 1 ? C : C & (0x7Fu >> N);
      for (size_t K = 1; K < N && I + K < Text.size(); ++K) Code = (Code << 6) | (static_cast<unsigned char>(Text[I + K]) & 0x3Fu);
      if (Quoted) Out += '\'';
      Quoted = false;
      Out += '#' + std::to_string(Code);
      I += N;
    }
    First = false;
  }
  if (Quoted) Out += '\'';
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

// ---- directory groups ----

namespace {

constexpr const char* DirectoryListsSection = "Search\\DirectoryLists";
constexpr int MaxGroupDepth = 16;

// Unwinds "@name" into List; a group met again on the way down is not followed, so that a
// cycle of groups ends.
void UnwindGroup(std::string Name, std::vector<std::string>& List, std::vector<std::string>& Path) {
  if (!Name.empty() && Name[0] == '@') Name.erase(0, 1);
  if (Path.size() >= MaxGroupDepth || std::find(Path.begin(), Path.end(), Name) != Path.end()) return;
  if (!SettingsStore().ValueExists(DirectoryListsSection, Name)) return;
  Path.push_back(Name);
  for (auto& Item : SplitSearchList(SettingsStore().ReadString(DirectoryListsSection, Name))) {
    if (Item[0] == '@')
      UnwindGroup(Item, List, Path);
    else
      List.push_back(Item);
  }
  Path.pop_back();
}

bool IsDirectory(const std::string& Path) {
  struct stat St;
  return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

}  // namespace

std::vector<std::string> PrepareSearchDirectories(const std::string& Directories) {
  std::vector<std::string> Items;
  for (auto& Item : SplitSearchList(Directories)) {
    if (Item[0] == '@') {
      std::vector<std::string> Path;
      UnwindGroup(Item, Items, Path);
    } else {
      Items.push_back(Item);
    }
  }
  std::vector<std::string> Out;
  for (auto& Item : Items) Out.push_back(IncludeTrailingPathDelimiter(ExpandFileName(Item)));
  if (Out.empty()) Out.push_back(IncludeTrailingPathDelimiter(ExpandFileName(".")));
  for (auto& Dir : Out) {
    struct stat St;
    if (::stat(Dir.c_str(), &St) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) throw EFOpenError(Format(res::SCannotFindPath, Dir));
      throw EInOutError(std::strerror(errno));
    }
    if (!S_ISDIR(St.st_mode)) throw EFOpenError(Format(res::SCannotFindPath, Dir));
  }
  return Out;
}

// ---- line matcher ----

struct TLineMatcher::TView {
  TEkView View{};
  TView() {
    InitEditorKernel();
    NewEditor(nullptr, &View);
  }
  ~TView() {
    KillEditor(&View);
    DoneEditorKernel();
  }
};

namespace {

// Characters (UTF-8 lead bytes and single bytes) in S.
int32_t CharCount(std::string_view S) {
  int32_t N = 0;
  for (unsigned char C : S) N += (C & 0xC0) != 0x80;
  return N;
}

// UTF-16 units of S.
int32_t Utf16Count(std::string_view S) {
  int32_t N = 0;
  for (unsigned char C : S) {
    if ((C & 0xC0) != 0x80) ++N;
    if (C >= 0xF0) ++N;
  }
  return N;
}

// Needle (lower case ASCII) in Hay with ASCII case folded; npos when absent.
size_t FindFolded(std::string_view Hay, std::string_view Needle) {
  const char Lo = Needle[0], Up = AsciiUpper(Needle[0]);
  size_t NextLo = 0, NextUp = Lo == Up ? std::string_view::npos : 0;
  auto Next = [&](char C, size_t From) {
    const void* P = From < Hay.size() ? std::memchr(Hay.data() + From, C, Hay.size() - From) : nullptr;
    return P ? static_cast<size_t>(static_cast<const char*>(P) - Hay.data()) : std::string_view::npos;
  };
  NextLo = Next(Lo, 0);
  if (Lo != Up) NextUp = Next(Up, 0);
  for (;;) {
    size_t At = std::min(NextLo, NextUp);
    if (At == std::string_view::npos || At + Needle.size() > Hay.size()) return std::string_view::npos;
    size_t K = 1;
    while (K < Needle.size() && AsciiLower(Hay[At + K]) == Needle[K]) ++K;
    if (K == Needle.size()) return At;
    if (At == NextLo) NextLo = Next(Lo, At + 1);
    if (At == NextUp) NextUp = Next(Up, At + 1);
  }
}

inline bool IsBreak(char C) { return C == '\n' || C == '\r'; }

// Where the break at Pos ends (CR LF and LF CR are one break).
inline size_t AfterBreak(std::string_view T, size_t Pos) {
  if (Pos + 1 < T.size() && IsBreak(T[Pos + 1]) && T[Pos + 1] != T[Pos]) return Pos + 2;
  return Pos + 1;
}

// The next line break at or after From, or the size.
size_t NextBreak(std::string_view T, size_t From) {
  const char* B = T.data();
  const char* E = B + T.size();
  const char* Lf = static_cast<const char*>(std::memchr(B + From, '\n', T.size() - From));
  const char* Cr = static_cast<const char*>(std::memchr(B + From, '\r', (Lf ? Lf : E) - (B + From)));
  const char* P = Cr ? Cr : Lf;
  return P ? static_cast<size_t>(P - B) : T.size();
}

}  // namespace

// A run of characters that every match of the expression holds, for finding candidate lines
// without the kernel; empty when there is none that is safe to take. Only the top level of a
// plain sequence counts: alternatives, groups, classes and escapes other than quoted
// punctuation end a run, and a character with a quantifier leaves it. Folding case, "k" and
// "s" end a run too, since they match non-ASCII letters as well.
std::string RequiredLiteral(std::string_view P, bool Fold) {
  std::string Best, Run;
  int Depth = 0;
  auto End = [&] {
    if (Run.size() > Best.size()) Best = Run;
    Run.clear();
  };
  auto IsQuant = [](char C) { return C == '?' || C == '*' || C == '{' || C == '+'; };
  for (size_t I = 0; I < P.size(); ++I) {
    char C = P[I];
    if (C == '|' && Depth == 0) return {};
    if (C == '(') {
      if (I + 1 < P.size() && (P[I + 1] == '?' || P[I + 1] == '*')) return {};
      ++Depth;
      End();
      continue;
    }
    if (C == ')') {
      --Depth;
      End();
      continue;
    }
    if (C == '[') {
      End();
      size_t J = I + 1;
      if (J < P.size() && P[J] == '^') ++J;
      if (J < P.size() && P[J] == ']') ++J;
      for (; J < P.size() && P[J] != ']'; ++J)
        if (P[J] == '\\') ++J;
      I = J;
      continue;
    }
    char Lit = 0;
    if (C == '\\') {
      if (I + 1 >= P.size()) return {};
      char N = P[++I];
      if (std::isalnum(static_cast<unsigned char>(N))) {
        if (N == 'Q' || N == 'E') return {};
        End();
        continue;
      }
      Lit = N;
    } else if (std::isalnum(static_cast<unsigned char>(C)) || std::strchr(" _-,;:=<>'\"!@#%&/~`", C)) {
      Lit = C;
    }
    if (!Lit || Depth > 0 || (Lit & 0x80) || (Fold && std::strchr("kKsS", Lit))) {
      End();
      if (I + 1 < P.size() && IsQuant(P[I + 1])) { /* the quantifier applies to what ended the run */ }
      continue;
    }
    if (I + 1 < P.size() && IsQuant(P[I + 1])) {
      bool Plus = P[I + 1] == '+';
      if (Plus) Run += Lit;
      End();
      ++I;  // the quantifier
      continue;
    }
    Run += Lit;
  }
  End();
  return Best;
}

TLineMatcher::TLineMatcher(std::string Pattern, TSearchFlags Flags, bool Brief)
    : FPattern(std::move(Pattern)), FFlags(Flags + TSearchFlags{sfGoForward}), FBrief(Brief),
      FView(std::make_unique<TView>()) {
  // A case-sensitive literal may be looked for byte for byte before the kernel is asked:
  // the kernel's match is these bytes.
  if (!FFlags.Contains(sfRegExp) && FFlags.Contains(sfCase) && !FPattern.empty()) FLiteral = FPattern;
  FBytesOnly = !FLiteral.empty() && !FFlags.Contains(sfWord) && FLiteral.find_first_of("\r\n") == std::string::npos;
  FKernelPattern = FBrief && FFlags.Contains(sfRegExp) ? BriefToEk(FPattern) : FPattern;
  if (FFlags.Contains(sfRegExp)) {
    FLiteral = RequiredLiteral(FKernelPattern, !FFlags.Contains(sfCase));
    FFoldLiteral = !FFlags.Contains(sfCase);
    if (FFoldLiteral)
      for (char& C : FLiteral) C = AsciiLower(C);
  }
}

TLineMatcher::~TLineMatcher() = default;

bool TLineMatcher::Find(std::string_view Text, size_t& Pos, size_t& Len) {
  int32_t Start = -1, Length = 0;
  FStatus = SearchString(&FView->View, FFlags, false, FKernelPattern, Text, Start, Length);
  if (Start < 0) return false;
  Pos = static_cast<size_t>(Start);
  Len = static_cast<size_t>(Length);
  return true;
}

void TLineMatcher::SearchLine(std::string_view Line, int32_t LineNo, std::vector<TFindHit>& Hits) {
  size_t From = 0;
  while (From <= Line.size()) {
    size_t Pos, Len;
    if (FBytesOnly) {
      // The kernel's match of such a pattern is its bytes: no call is needed.
      const void* P = memmem(Line.data() + From, Line.size() - From, FLiteral.data(), FLiteral.size());
      if (!P) return;
      Pos = static_cast<size_t>(static_cast<const char*>(P) - Line.data()) - From;
      Len = FLiteral.size();
    } else if (!Find(Line.substr(From), Pos, Len)) {
      return;
    }
    Pos += From;
    TFindHit H;
    H.Line = LineNo;
    H.ByteColumn = static_cast<int32_t>(Pos + 1);
    H.CharColumn = CharCount(Line.substr(0, Pos)) + 1;
    H.MatchLength = Utf16Count(Line.substr(Pos, Len));
    H.LineText = std::string(Line);
    Hits.push_back(std::move(H));
    From = Pos + (Len ? Len : 1);
    if (Len == 0)
      while (From < Line.size() && (static_cast<unsigned char>(Line[From]) & 0xC0) == 0x80) ++From;
  }
}

bool TLineMatcher::Search(std::string_view Text, std::vector<TFindHit>& Hits, const std::atomic<bool>* Stop) {
  if (FPattern.empty()) return true;
  // The window one kernel call scans: the kernel measures texts in 31 bits.
  constexpr size_t Window = size_t{1} << 28;
  size_t LineStart = 0;  // start of line LineNo
  int32_t LineNo = 1;
  size_t From = 0;
  if (Text.empty()) return true;
  while (From < Text.size()) {
    if (Stop && Stop->load(std::memory_order_relaxed)) return false;
    size_t End = std::min(Text.size(), From + Window);
    if (End < Text.size()) End = NextBreak(Text, End);
    std::string_view Part = Text.substr(From, End - From);
    size_t Cand;
    if (!FLiteral.empty()) {
      size_t At = FFoldLiteral ? FindFolded(Part, FLiteral) : std::string_view::npos;
      if (!FFoldLiteral) {
        const void* P = memmem(Part.data(), Part.size(), FLiteral.data(), FLiteral.size());
        if (P) At = static_cast<size_t>(static_cast<const char*>(P) - Part.data());
      }
      if (At == std::string_view::npos) {
        if (End >= Text.size()) return true;
        From = End;
        continue;
      }
      Cand = From + At;
    } else {
      size_t Pos, Len;
      if (!Find(Part, Pos, Len)) {
        if (End >= Text.size()) return true;
        From = End;
        continue;
      }
      Cand = From + Pos;
    }
    // Nothing follows a final line break: a match there is on no line.
    if (Cand >= Text.size() && IsBreak(Text.back())) return true;
    // The line that holds the candidate (a match at a break belongs to the line it ends).
    for (size_t B = NextBreak(Text, LineStart); B < Cand; B = NextBreak(Text, LineStart)) {
      LineStart = AfterBreak(Text, B);
      ++LineNo;
    }
    size_t LineEnd = NextBreak(Text, LineStart);
    SearchLine(Text.substr(LineStart, LineEnd - LineStart), LineNo, Hits);
    if (LineEnd >= Text.size()) return true;
    LineStart = AfterBreak(Text, LineEnd);
    ++LineNo;
    From = LineStart;
    if (From >= Text.size()) return true;
  }
  return true;
}

void CheckSearchPattern(const std::string& Pattern, TSearchFlags Flags, bool Brief) {
  if (Pattern.empty()) throw Exception(res::SEmptySearchText);
  if (!Flags.Contains(sfRegExp)) return;
  TLineMatcher R(Pattern, Flags, Brief);
  std::vector<TFindHit> Hits;
  R.Search("x", Hits);
  if (R.Status() != 0) throw Exception(Format(res::SBadSearchPattern, Pattern, R.Status()));
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

// The text of a file: the editor's when captured, else the disk's, read with one copy into
// Text (which keeps its capacity from file to file).
bool ReadSearchText(const std::string& Name, std::string& Text) {
  {
    std::lock_guard<std::mutex> G(OpenTextsLock);
    auto It = OpenTexts().find(Name);
    if (It != OpenTexts().end()) {
      Text = It->second;
      return true;
    }
  }
  int Fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return false;
  struct stat St;
  if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
    ::close(Fd);
    return false;
  }
  Text.resize(static_cast<size_t>(St.st_size));
  size_t Got = 0;
  for (;;) {
    if (Got == Text.size()) Text.resize(Text.size() + 65536);  // the file grew
    ssize_t N = ::read(Fd, Text.data() + Got, Text.size() - Got);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Got += static_cast<size_t>(N);
  }
  ::close(Fd);
  Text.resize(Got);
  return true;
}

}  // namespace

void SetOpenFileNamesHook(std::function<std::vector<std::string>()> Hook) { OpenNamesHook() = std::move(Hook); }

std::vector<std::string> OpenFileNames() {
  if (OpenNamesHook()) return OpenNamesHook()();
  return {};
}

// ---- the engine ----

TFindEngine::TFindEngine(TFindRequest Request) : FRequest(std::move(Request)) {
  if (FRequest.Scope == asFileMask) FDirectories = PrepareSearchDirectories(FRequest.Directories);
}

void TFindEngine::Walk(const std::string& Dir, const std::vector<std::string>& Masks, std::vector<std::string>& Out,
                       std::vector<std::string>& Visited) {
  // Each directory once, however it is reached (two list entries, a link).
  char Real[PATH_MAX];
  std::string Key = ::realpath(Dir.c_str(), Real) ? std::string(Real) : Dir;
  auto It = std::lower_bound(Visited.begin(), Visited.end(), Key);
  if (It != Visited.end() && *It == Key) return;
  Visited.insert(It, Key);
  DIR* D = ::opendir(Dir.c_str());
  if (!D) return;
  std::vector<std::pair<std::string, bool>> Entries;
  while (dirent* E = ::readdir(D)) {
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
      if (Name[0] != '.' && (FRequest.Advanced & AdvFlag(asfIncludeSubDirs))) Walk(Dir + Name + "/", Masks, Out, Visited);
      continue;
    }
    std::string Lower = Name;
    for (char& C : Lower) C = AsciiLower(C);
    for (const auto& M : Masks)
      if (MatchesSearchMask(Lower, M)) {
        Out.push_back(Dir + Name);
        break;
      }
  }
}

std::vector<std::string> TFindEngine::CollectFiles() {
  if (FRequest.Scope != asFileMask) return FRequest.Files;
  std::vector<std::string> Masks = SplitSearchList(FRequest.Masks);
  if (Masks.empty()) Masks.push_back("*.*");
  for (auto& M : Masks)
    for (char& C : M) C = AsciiLower(C);
  std::vector<std::string> Out, Visited;
  for (const auto& Dir : FDirectories) Walk(Dir, Masks, Out, Visited);
  return Out;
}

bool TFindEngine::Run(const std::function<void(const TFileHits&)>& Sink) {
  const std::vector<std::string> Files = CollectFiles();
  unsigned Threads = FRequest.Threads ? FRequest.Threads : std::max(1u, std::thread::hardware_concurrency());
  Threads = static_cast<unsigned>(std::min<size_t>(Threads, std::max<size_t>(1, Files.size())));
  // Workers take files in order and fill their slots; the calling thread hands the slots
  // over in file order as they fill. A slot is done when Done[I] is set under the lock.
  std::vector<TFileHits> Slots(Files.size());
  std::vector<char> Done(Files.size(), 0);
  std::mutex Lock;
  std::condition_variable Filled;
  std::atomic<size_t> Next{0};
  auto Work = [&] {
    SetCurrentThreadName(res::SFindInFilesThread);
    TLineMatcher Matcher(FRequest.Text, FRequest.Flags, FRequest.Brief);
    std::string Text;
    for (;;) {
      size_t I = Next.fetch_add(1);
      if (I >= Files.size() || FStop) break;
      TFileHits Hits;
      if (ReadSearchText(Files[I], Text)) {
        std::string_view View = Text;
        if (View.size() >= 3 && View.substr(0, 3) == "\xEF\xBB\xBF") View.remove_prefix(3);
        Matcher.Search(View, Hits.Hits, &FStop);
      }
      if (!Hits.Hits.empty()) Hits.FileName = Files[I];
      std::lock_guard<std::mutex> G(Lock);
      Slots[I] = std::move(Hits);
      Done[I] = 1;
      Filled.notify_all();
    }
    // Wake the hand-over when stopping.
    std::lock_guard<std::mutex> G(Lock);
    Filled.notify_all();
  };
  std::vector<std::thread> Pool;
  if (Threads > 1)
    for (unsigned T = 0; T < Threads; ++T) Pool.emplace_back(Work);
  std::exception_ptr Failure;
  if (Threads == 1) {
    // One thread: search and hand over in turn on this one.
    try {
      Work();
    } catch (...) {
      Failure = std::current_exception();
    }
    for (size_t I = 0; I < Files.size() && !FStop && !Failure; ++I)
      if (Done[I] && !Slots[I].Hits.empty()) Sink(Slots[I]);
  } else {
    try {
      for (size_t I = 0; I < Files.size(); ++I) {
        TFileHits Hits;
        {
          std::unique_lock<std::mutex> G(Lock);
          Filled.wait(G, [&] { return Done[I] || FStop; });
          if (!Done[I]) break;
          Hits = std::move(Slots[I]);
        }
        if (FStop) break;
        if (!Hits.Hits.empty()) Sink(Hits);
      }
    } catch (...) {
      Failure = std::current_exception();
      FStop = true;
    }
  }
  bool Stopped = FStop;
  if (!Stopped) Next = Files.size();
  {
    std::lock_guard<std::mutex> G(Lock);
    Filled.notify_all();
  }
  for (auto& T : Pool) T.join();
  if (Failure) std::rethrow_exception(Failure);
  return !Stopped;
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

void TThreadSearch::ReportFile(const TFileHits& File) {
  if (FGroupRemoved) return;
  for (const auto& Hit : File.Hits) {
    if (!FGroup) {
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
        FGroup->Directory = FRequest.Directories;
        FGroup->FileMasks = FRequest.Masks;
      }
      Groups().push_back(FGroup);
      OpenMsgView(FGroup, false);
    }
    TLine* Parent = nullptr;
    if (FRequest.Advanced & AdvFlag(asfGroupByFile)) {
      if (!FFileTitle || FFileTitleName != File.FileName) {
        FFileTitle = FGroup->Add(std::make_unique<TFindTitleLine>(FGroup, File.FileName, true));
        FFileTitleName = File.FileName;
      }
      Parent = FFileTitle;
    }
    auto Line = std::make_unique<TFileFindLine>(File.FileName, Hit.Line, Hit.CharColumn, Hit.LineText,
                                                Hit.CharColumn, Hit.MatchLength, FGroup);
    FGroup->AddFileLine(std::move(Line), Parent);
    ++FHitCount;
  }
}

void TThreadSearch::Execute() {
  SetCurrentThreadName(res::SFindInFilesThread);
  SearchRunningFlag = true;
  try {
    // Files go to the main thread in batches: one hand-over per file costs more than the
    // search when hits are many.
    std::vector<TFileHits> Batch;
    size_t BatchHits = 0;
    auto Flush = [&] {
      if (Batch.empty()) return;
      Synchronize([&] {
        for (const auto& F : Batch) ReportFile(F);
      });
      Batch.clear();
      BatchHits = 0;
    };
    FEngine.Run([&](const TFileHits& Hits) {
      BatchHits += Hits.Hits.size();
      Batch.push_back(Hits);
      if (BatchHits >= 4096 || Batch.size() >= 256) Flush();
    });
    if (!FEngine.Cancelled()) Flush();
  } catch (const std::exception&) {
    FEngine.Cancel();
  }
  bool Cancelled = FEngine.Cancelled();
  if (Cancelled && !FGroupRemoved)
    Synchronize([this] {
      if (!FGroup) {
        FGroup = LineBufferList().AddSearchList(SearchGroupTitle(FRequest.Text));
        Groups().push_back(FGroup);
      }
      FGroup->Add(std::make_unique<TTitleLine>(FGroup, res::SSearchTerminated));
    });
  SearchRunningFlag = false;
  if (!Cancelled && FHitCount == 0)
    Synchronize([this] {
      Questions().MessageDlg(Format(res::SSearchNotFound, FRequest.Text), TMsgDlgType::mtInformation, mbOK, mbOK);
    });
  FFinished = true;
}

void DoFindInFiles(const TFindRequest& Request) {
  TerminateFindInFiles();
  MainThreadQueue().ProcessPending();
  if (Request.Scope == asNone) return;
  auto Search = std::make_unique<TThreadSearch>(Request);  // a missing path raises here
  Running() = std::move(Search);
  Running()->Start();
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
