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

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "editor/briefexpr.h"
#include "editor/edkrnl.h"
#include "editor/ekinit.h"
#include "editor/kernel/ek.h"
#include "environment/dirgroups.h"
#include "environment/options/envoptions.h"
#include "environment/resstrings.h"
#include "editor/editbuffer.h"
#include "modules/formfile.h"
#include "modules/modulelist.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projectfiles/macros.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
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

std::vector<std::string> PrepareSearchDirectories(const std::string& Directories) {
  std::vector<std::string> Items, Cycles;
  for (auto& Item : SplitSearchList(Directories)) {
    if (TDirectoryGroups::IsDirectoryGroup(Item))
      DirectoryGroups().Unwind(Item, Items, true, &Cycles);
    else
      Items.push_back(Item);
  }
  // The search goes on with what the groups name outside the cycle.
  for (const auto& Name : Cycles)
    Questions().MessageDlg(Format(res::SDirectoryGroupCycle, Name), TMsgDlgType::mtWarning, mbOK, mbOK);
  std::vector<std::string> Out;
  for (auto& Item : Items) {
    std::string Dir = Trim(ExpandRootMacros(Item));
    if (!Dir.empty()) Out.push_back(IncludeTrailingPathDelimiter(ExpandFileName(Dir)));
  }
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

#if defined(__x86_64__)
// CountLf's blocks of 32 bytes, from I on; I is left where fewer than 32 remain.
__attribute__((target("avx2"))) size_t CountLfWide(const char* P, size_t N, size_t& I, bool& HasCr) {
  size_t Count = 0;
  const __m256i Lf = _mm256_set1_epi8('\n'), Cr = _mm256_set1_epi8('\r');
  __m256i AnyCr = _mm256_setzero_si256();
  while (I + 32 <= N) {
    __m256i Lanes = _mm256_setzero_si256();
    const size_t Stop = std::min(N - 31, I + 255 * 32);
    for (; I < Stop; I += 32) {
      __m256i V = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P + I));
      Lanes = _mm256_sub_epi8(Lanes, _mm256_cmpeq_epi8(V, Lf));
      AnyCr = _mm256_or_si256(AnyCr, _mm256_cmpeq_epi8(V, Cr));
    }
    __m256i Sums = _mm256_sad_epu8(Lanes, _mm256_setzero_si256());
    Count += static_cast<size_t>(_mm256_extract_epi64(Sums, 0) + _mm256_extract_epi64(Sums, 1) +
                                 _mm256_extract_epi64(Sums, 2) + _mm256_extract_epi64(Sums, 3));
  }
  if (_mm256_movemask_epi8(AnyCr)) HasCr = true;
  return Count;
}

bool HasAvx2() {
  static const bool Has = __builtin_cpu_supports("avx2");
  return Has;
}
#endif

// The LF bytes in [P, P + N); HasCr is set when a CR is among the bytes.
size_t CountLf(const char* P, size_t N, bool& HasCr) {
  size_t Count = 0, I = 0;
#if defined(__x86_64__)
  if (HasAvx2()) Count = CountLfWide(P, N, I, HasCr);
  const __m128i Lf = _mm_set1_epi8('\n'), Cr = _mm_set1_epi8('\r');
  __m128i AnyCr = _mm_setzero_si128();
  while (I + 16 <= N) {
    // Per byte lane, up to 255 blocks are counted before the lanes are summed.
    __m128i Lanes = _mm_setzero_si128();
    const size_t Stop = std::min(N - 15, I + 255 * 16);
    for (; I < Stop; I += 16) {
      __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + I));
      Lanes = _mm_sub_epi8(Lanes, _mm_cmpeq_epi8(V, Lf));
      AnyCr = _mm_or_si128(AnyCr, _mm_cmpeq_epi8(V, Cr));
    }
    __m128i Sums = _mm_sad_epu8(Lanes, _mm_setzero_si128());
    Count += static_cast<size_t>(_mm_cvtsi128_si64(Sums)) + static_cast<size_t>(_mm_extract_epi16(Sums, 4));
  }
  if (_mm_movemask_epi8(AnyCr)) HasCr = true;
#endif
  for (; I < N; ++I) {
    Count += P[I] == '\n';
    HasCr |= P[I] == '\r';
  }
  return Count;
}

// Moves LineStart (the start of line LineNo) on to the start of the line that holds Pos; a
// position at a break belongs to the line the break ends.
void SeekLine(std::string_view T, size_t Pos, size_t& LineStart, int32_t& LineNo) {
  bool HasCr = false;
  const size_t Lfs = CountLf(T.data() + LineStart, Pos - LineStart, HasCr);
  if (!HasCr) {
    if (Lfs == 0) return;
    const void* Last = memrchr(T.data() + LineStart, '\n', Pos - LineStart);
    LineStart = static_cast<size_t>(static_cast<const char*>(Last) - T.data()) + 1;
    LineNo += static_cast<int32_t>(Lfs);
    return;
  }
  for (size_t B = NextBreak(T, LineStart); B < Pos; B = NextBreak(T, LineStart)) {
    LineStart = AfterBreak(T, B);
    ++LineNo;
  }
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
  FKernelPattern = FBrief && FFlags.Contains(sfRegExp) ? BriefToEk(FPattern) : FPattern;
  const bool Fold = !FFlags.Contains(sfCase);
  if (FFlags.Contains(sfRegExp)) {
    FLiteral = RequiredLiteral(FKernelPattern, Fold);
  } else if (!FPattern.empty()) {
    // The kernel finds a literal as its bytes, with the case of ASCII letters folded when
    // case does not count; a pattern with other characters it folds by its expression
    // engine, which this scan leaves to it.
    const bool Ascii = std::all_of(FPattern.begin(), FPattern.end(), [](char C) { return (C & 0x80) == 0; });
    if (!Fold || Ascii) {
      FLiteral = FPattern;
      // Its matches are exactly its occurrences: no kernel call at all.
      FBytesOnly = !FFlags.Contains(sfWord) && FLiteral.find_first_of("\r\n") == std::string::npos;
    }
  }
  FFoldLiteral = Fold;
  if (FFoldLiteral)
    for (char& C : FLiteral) C = AsciiLower(C);
  if (!FLiteral.empty()) ek::RarePositions(FLiteral, FRare1, FRare2);
}

TLineMatcher::~TLineMatcher() = default;

std::string TLineMatcher::StatusMessage() const {
  return SearchErrorMessage(&FView->View, FKernelPattern, false, static_cast<TSearchResult>(FStatus));
}

size_t TLineMatcher::FindCandidate(std::string_view Text) const {
  return ek::FindLiteral(Text.data(), Text.size(), FLiteral, FFoldLiteral, FRare1, FRare2);
}

bool TLineMatcher::Find(std::string_view Text, size_t& Pos, size_t& Len) {
  int32_t Start = -1, Length = 0;
  FStatus = SearchString(&FView->View, FFlags, false, FKernelPattern, Text, Start, Length);
  if (Start < 0) return false;
  Pos = static_cast<size_t>(Start);
  Len = static_cast<size_t>(Length);
  return true;
}

namespace {

// The hit of the match at Pos (Len bytes) in Line.
void AddHit(std::string_view Line, int32_t LineNo, size_t Pos, size_t Len, std::vector<TFindHit>& Hits) {
  TFindHit& H = Hits.emplace_back();
  H.Line = LineNo;
  H.ByteColumn = static_cast<int32_t>(Pos + 1);
  H.CharColumn = CharCount(Line.substr(0, Pos)) + 1;
  H.MatchLength = Utf16Count(Line.substr(Pos, Len));
  H.LineText.assign(Line);
}

// The window one kernel call or scan covers: the kernel measures texts in 31 bits, and a
// cancel is seen between windows. It ends at a line break (or the text's end) at or after
// From + Window.
constexpr size_t Window = size_t{1} << 24;
size_t WindowEnd(std::string_view Text, size_t From) {
  size_t End = std::min(Text.size(), From + Window);
  return End < Text.size() ? NextBreak(Text, End) : End;
}

}  // namespace

void TLineMatcher::SearchLine(std::string_view Line, int32_t LineNo, std::vector<TFindHit>& Hits) {
  size_t From = 0;
  while (From <= Line.size()) {
    size_t Pos, Len;
    if (!Find(Line.substr(From), Pos, Len)) return;
    Pos += From;
    AddHit(Line, LineNo, Pos, Len, Hits);
    From = Pos + (Len ? Len : 1);
    if (Len == 0)
      while (From < Line.size() && (static_cast<unsigned char>(Line[From]) & 0xC0) == 0x80) ++From;
  }
}

bool TLineMatcher::SearchBytes(std::string_view Text, std::vector<TFindHit>& Hits, const std::atomic<bool>* Stop) {
  // The pattern holds no line break, so no occurrence spans one: the next occurrence is on
  // the current line or on a later one, which the break count finds.
  const size_t Len = FLiteral.size();
  size_t LineStart = 0, LineEnd = std::string_view::npos;  // of line LineNo once it had a hit
  int32_t LineNo = 1;
  size_t From = 0;
  while (From < Text.size()) {
    if (Stop && Stop->load(std::memory_order_relaxed)) return false;
    const size_t End = WindowEnd(Text, From);
    const size_t At = FindCandidate(Text.substr(From, End - From));
    if (At == std::string_view::npos) {
      From = End;
      continue;
    }
    const size_t Cand = From + At;
    if (LineEnd == std::string_view::npos || Cand > LineEnd) {
      if (LineEnd != std::string_view::npos) {
        LineStart = AfterBreak(Text, LineEnd);
        ++LineNo;
      }
      SeekLine(Text, Cand, LineStart, LineNo);
      LineEnd = NextBreak(Text, LineStart);
    }
    AddHit(Text.substr(LineStart, LineEnd - LineStart), LineNo, Cand - LineStart, Len, Hits);
    From = Cand + Len;
  }
  return true;
}

bool TLineMatcher::Search(std::string_view Text, std::vector<TFindHit>& Hits, const std::atomic<bool>* Stop) {
  if (FPattern.empty() || Text.empty()) return true;
  if (FBytesOnly) return SearchBytes(Text, Hits, Stop);
  size_t LineStart = 0;  // start of line LineNo
  int32_t LineNo = 1;
  size_t From = 0;
  while (From < Text.size()) {
    if (Stop && Stop->load(std::memory_order_relaxed)) return false;
    const size_t End = WindowEnd(Text, From);
    std::string_view Part = Text.substr(From, End - From);
    size_t At, Len;
    if (!FLiteral.empty()) {
      At = FindCandidate(Part);
    } else if (!Find(Part, At, Len)) {
      At = std::string_view::npos;
    }
    if (At == std::string_view::npos) {
      if (End >= Text.size()) return true;
      From = End;
      continue;
    }
    const size_t Cand = From + At;
    // Nothing follows a final line break: a match there is on no line.
    if (Cand >= Text.size() && IsBreak(Text.back())) return true;
    SeekLine(Text, Cand, LineStart, LineNo);
    size_t LineEnd = NextBreak(Text, LineStart);
    SearchLine(Text.substr(LineStart, LineEnd - LineStart), LineNo, Hits);
    if (LineEnd >= Text.size()) return true;
    LineStart = AfterBreak(Text, LineEnd);
    ++LineNo;
    From = LineStart;
  }
  return true;
}

void CheckSearchPattern(const std::string& Pattern, TSearchFlags Flags, bool Brief) {
  if (Pattern.empty()) throw Exception(res::SEmptySearchText);
  if (!Flags.Contains(sfRegExp)) return;
  TLineMatcher R(Pattern, Flags, Brief);
  std::vector<TFindHit> Hits;
  R.Search("x", Hits);
  if (R.Status() != 0) throw Exception(R.StatusMessage());
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
// storage that is kept from file to file and never cleared. A form stored in binary is
// searched in its text form.
bool ReadSearchText(const std::string& Name, TSearchText& Text) {
  bool Found = false;
  {
    std::lock_guard<std::mutex> G(OpenTextsLock);
    auto It = OpenTexts().find(Name);
    if (It != OpenTexts().end()) {
      // The captured texts stay as they are until the next search starts.
      Text.View = It->second;
      Found = true;
    }
  }
  if (!Found) {
    // Not blocking: a pipe reached through a link reads as empty instead of waiting.
    int Fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (Fd < 0) return false;
    if (!Text.Data) {
      Text.Capacity = size_t{1} << 18;
      Text.Data.reset(new char[Text.Capacity]);
    }
    // Most files fit what the storage holds already; a file that fills it is asked for its
    // size (and whether it is a file at all: a device never ends).
    size_t Got = 0;
    bool Sized = false;
    for (;;) {
      if (Got == Text.Capacity) {
        size_t Cap = Text.Capacity * 2;
        if (!Sized) {
          struct stat St;
          if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
            ::close(Fd);
            return false;
          }
          Sized = true;
          Cap = std::max(Cap, static_cast<size_t>(St.st_size) + 1);
        }
        std::unique_ptr<char[]> Data(new char[Cap]);
        std::memcpy(Data.get(), Text.Data.get(), Got);
        Text.Data = std::move(Data);
        Text.Capacity = Cap;
      }
      ssize_t N = ::read(Fd, Text.Data.get() + Got, Text.Capacity - Got);
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) break;
      Got += static_cast<size_t>(N);
    }
    ::close(Fd);
    Text.View = std::string_view(Text.Data.get(), Got);
  }
  if (IsFormFileName(Name) && IsBinaryForm(Text.View)) {
    try {
      Text.Converted = FormBinaryToText(Text.View);
      Text.View = Text.Converted;
    } catch (const EFormFileError&) {
      // A damaged form is searched byte for byte.
    }
  }
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
  if (FRequest.Scope == asFileMask) FDirectories = PrepareSearchDirectories(FRequest.Directories);
  FFormText = FormTextOf(FRequest.Text);
  FSecondPass = FRequest.Scope == asFileMask && FFormText != FRequest.Text;
}

TFindEngine::~TFindEngine() = default;

void TFindEngine::Walk(const std::string& Dir, const std::vector<std::string>& Masks, std::vector<std::string>& Out,
                       TVisited& Visited, const TPublish* Publish) {
  DIR* D = ::opendir(Dir.c_str());
  if (!D) return;
  // Each directory once, however it is reached (two list entries, a link).
  struct stat St;
  if (::fstat(::dirfd(D), &St) != 0 || !Visited.emplace(St.st_dev, St.st_ino).second) {
    ::closedir(D);
    return;
  }
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
      if (Name[0] != '.' && (FRequest.Advanced & AdvFlag(asfIncludeSubDirs)))
        Walk(Dir + Name + "/", Masks, Out, Visited, Publish);
      continue;
    }
    std::string Lower = Name;
    for (char& C : Lower) C = AsciiLower(C);
    for (const auto& M : Masks)
      if (MatchesSearchMask(Lower, M)) {
        Out.push_back(Dir + Name);
        if (Publish && Out.size() >= PublishRun) (*Publish)(Out);
        break;
      }
  }
}

void TFindEngine::WalkAll(std::vector<std::string>& Out, const TPublish* Publish) {
  std::vector<std::string> Masks = SplitSearchList(FRequest.Masks);
  if (Masks.empty()) Masks.push_back("*.*");
  for (auto& M : Masks)
    for (char& C : M) C = AsciiLower(C);
  TVisited Visited;
  for (const auto& Dir : FDirectories) Walk(Dir, Masks, Out, Visited, Publish);
  if (Publish && !Out.empty()) (*Publish)(Out);
}

std::vector<std::string> TFindEngine::CollectFiles() {
  if (FRequest.Scope != asFileMask) {
    // A list names each file once, where it first comes: a file named twice is not searched
    // twice.
    std::vector<std::string> Out;
    std::set<std::string_view> Taken;
    for (const auto& Name : FRequest.Files)
      if (Taken.insert(Name).second) Out.push_back(Name);
    return Out;
  }
  std::vector<std::string> Out;
  WalkAll(Out, nullptr);
  return Out;
}

void TFindEngine::SearchFile(const std::string& Name, TMatchers& M, TSearchText& Text, TFileHits& Hits) {
  if (!ReadSearchText(Name, Text)) return;
  std::string_view View = Text.View;
  if (View.size() >= 3 && View.substr(0, 3) == "\xEF\xBB\xBF") View.remove_prefix(3);
  M.Text->Search(View, Hits.Hits, &FStop);
  // A form that a designer shows keeps non-ASCII characters of its strings coded: the
  // form-text form of the search text finds them there.
  if (FSecondPass && IsFormFileName(Name)) {
    if (!M.Form) M.Form = std::make_unique<TLineMatcher>(FFormText, FRequest.Flags, FRequest.Brief);
    M.Form->Search(View, Hits.Hits, &FStop);
  }
  if (!Hits.Hits.empty()) Hits.FileName = Name;
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
  if (!Walking && Threads == 1) {
    // One thread searches and hands over in turn.
    TMatchers M;
    M.Text = std::make_unique<TLineMatcher>(FRequest.Text, FRequest.Flags, FRequest.Brief);
    TSearchText Text;
    for (const auto& Name : Listed) {
      if (FStop) break;
      if (OnFile) OnFile(Name);
      TFileHits Hits;
      SearchFile(Name, M, Text, Hits);
      if (FStop) break;
      if (!Hits.Hits.empty()) Sink(Hits);
    }
    return !FStop;
  }
  // A walking thread hands the files it finds to the workers in runs as it goes; the workers
  // take them in order and fill their slots; this thread hands the slots over in file order
  // as they fill. What follows is under Lock; a file's name and slot stay where they are
  // while more are added.
  std::deque<std::string> Files;
  std::deque<TFileHits> Slots;
  std::deque<char> Done;
  size_t Next = 0;
  bool Complete = false;  // no more files come
  size_t WaitingFor = SIZE_MAX;
  std::mutex Lock;
  std::condition_variable Found, Filled;
  constexpr size_t HandOverRun = 64;
  auto Work = [&] {
    SetCurrentThreadName(res::SFindInFilesThread);
    TMatchers M;
    M.Text = std::make_unique<TLineMatcher>(FRequest.Text, FRequest.Flags, FRequest.Brief);
    TSearchText Text;
    std::unique_lock<std::mutex> G(Lock);
    for (;;) {
      Found.wait(G, [&] { return Next < Files.size() || Complete || FStop; });
      if (FStop || Next >= Files.size()) break;
      const size_t I = Next++;
      const std::string& Name = Files[I];
      G.unlock();
      TFileHits Hits;
      try {
        SearchFile(Name, M, Text, Hits);
      } catch (const std::exception&) {
        // A file that cannot be read (one too large to hold, say) is skipped like one that
        // cannot be opened; the thread goes on.
        Hits = TFileHits();
        Text = TSearchText();
      }
      G.lock();
      Slots[I] = std::move(Hits);
      Done[I] = 1;
      // Only the slot the hand-over waits for wakes it.
      if (I == WaitingFor) Filled.notify_all();
    }
    // Wake the hand-over when stopping.
    Filled.notify_all();
  };
  const TPublish Publish = [&](std::vector<std::string>& Run) {
    {
      std::lock_guard<std::mutex> G(Lock);
      const size_t Before = Files.size();
      for (auto& Name : Run) {
        Files.push_back(std::move(Name));
        Slots.emplace_back();
        Done.push_back(0);
      }
      // The hand-over may wait for a file that had not been found yet.
      if (WaitingFor != SIZE_MAX && WaitingFor >= Before) Filled.notify_all();
    }
    Run.clear();
    Found.notify_all();
  };
  auto Finish = [&] {
    {
      std::lock_guard<std::mutex> G(Lock);
      Complete = true;
    }
    Found.notify_all();
    Filled.notify_all();
  };
  std::exception_ptr WalkFailure;
  std::thread Walker;
  if (Walking) {
    Walker = std::thread([&] {
      SetCurrentThreadName(res::SFindInFilesThread);
      try {
        std::vector<std::string> Run;
        WalkAll(Run, &Publish);
      } catch (...) {
        WalkFailure = std::current_exception();
        FStop = true;
      }
      Finish();
    });
  } else {
    Publish(Listed);
    Finish();
  }
  std::vector<std::thread> Pool;
  for (unsigned T = 0; T < Threads; ++T) Pool.emplace_back(Work);
  std::exception_ptr Failure;
  try {
    for (size_t I = 0;; ++I) {
      TFileHits Hits;
      const std::string* Name;
      {
        std::unique_lock<std::mutex> G(Lock);
        // Woken once per run of files rather than once per file: it waits for a slot some
        // way ahead when there is one, else for its own (or for more files to be found).
        for (;;) {
          if (FStop || (I < Files.size() && Done[I]) || (Complete && I >= Files.size())) break;
          size_t Target = I;
          if (I < Files.size()) {
            const size_t Ahead = std::min(I + HandOverRun, Files.size() - 1);
            if (!Done[Ahead]) Target = Ahead;
          }
          WaitingFor = Target;
          Filled.wait(G);
        }
        WaitingFor = SIZE_MAX;
        if (FStop || I >= Files.size()) break;
        Hits = std::move(Slots[I]);
        Name = &Files[I];
      }
      if (OnFile) OnFile(*Name);
      if (!Hits.Hits.empty()) Sink(Hits);
    }
  } catch (...) {
    Failure = std::current_exception();
    FStop = true;
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

void TThreadSearch::ReportFile(TFileHits& File) {
  // Nothing is added once the search was stopped.
  if (FGroupRemoved || FEngine.Cancelled()) return;
  TSharedFileName Name;  // one for the file's lines
  for (auto& Hit : File.Hits) {
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
    if (!Name) Name = std::make_shared<const std::string>(File.FileName);
    auto Line = std::make_unique<TFileFindLine>(Name, Hit.Line, Hit.CharColumn, std::move(Hit.LineText),
                                                Hit.CharColumn, Hit.MatchLength, FGroup);
    FGroup->AddFileLine(std::move(Line), Parent);
    ++FHitCount;
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
      if (!FGroup) {
        FGroup = LineBufferList().AddSearchList(SearchGroupTitle(FRequest.Text));
        Groups().push_back(FGroup);
      }
      FGroup->Add(std::make_unique<TTitleLine>(FGroup, res::SSearchTerminated));
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

void DoFindInFiles(const TFindRequest& Request) {
  TerminateFindInFiles();
  MainThreadQueue().ProcessPending();
  if (Request.Scope == asNone) return;
  TFindRequest R = Request;
  if ((R.Scope == asProjectFiles || R.Scope == asProjectGroup) && R.Files.empty()) {
    const TSearchProjects P = SearchProjects();
    if (R.Scope == asProjectFiles && P.Active) R.Files = ProjectSearchFiles(*P.Active);
    if (R.Scope == asProjectGroup && P.Group) R.Files = GroupSearchFiles(*P.Group);
    if (R.Scope == asProjectGroup && !P.Group && P.Active) R.Files = ProjectSearchFiles(*P.Active);
  }
  if (R.Scope == asOpenFiles && R.Files.empty()) R.Files = OpenFileNames();
  auto Search = std::make_unique<TThreadSearch>(std::move(R));  // a missing path raises here
  Running() = std::move(Search);
  Running()->Start();
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
