// The search engine.
#include "editor/kernel/eksearch.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekutf8.h"
#include "shared/linescan.h"
#include "shared/prefilter.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace nxs::ek {

namespace {

inline unsigned char Fold(unsigned char C) { return (C >= 'A' && C <= 'Z') ? C + 32 : C; }
inline bool IsAsciiLetter(unsigned char C) { return (C | 0x20) >= 'a' && (C | 0x20) <= 'z'; }

bool SameAt(const char* P, std::string_view Needle, bool DoFold) {
  if (!DoFold) return std::memcmp(P, Needle.data(), Needle.size()) == 0;
  for (size_t I = 0; I < Needle.size(); ++I)
    if (Fold(static_cast<unsigned char>(P[I])) != static_cast<unsigned char>(Needle[I])) return false;
  return true;
}

size_t FindScalar(const char* Hay, size_t From, size_t HayLen, std::string_view Needle, bool DoFold,
                  size_t I1 = 0, size_t I2 = 0) {
  size_t M = Needle.size();
  auto B1 = static_cast<unsigned char>(Needle[I1]), B2 = static_cast<unsigned char>(Needle[I2]);
  for (size_t I = From; I + M <= HayLen; ++I) {
    auto C1 = static_cast<unsigned char>(Hay[I + I1]), C2 = static_cast<unsigned char>(Hay[I + I2]);
    if (DoFold) {
      C1 = Fold(C1);
      C2 = Fold(C2);
    }
    if (C1 == B1 && C2 == B2 && SameAt(Hay + I, Needle, DoFold)) return I;
  }
  return std::string_view::npos;
}

// How common a byte is in source text (higher: more common). The scan tests the two rarest
// bytes of the needle, so that few places need a full comparison.
int Commonness(unsigned char C) {
  static const char Common[] = " etaoinsrhldcu\n;()mfpgwyb=.,v_kx\t\"jqz";
  if (C >= 'A' && C <= 'Z') C = static_cast<unsigned char>(C + 32);
  const char* P = std::strchr(Common, C);
  if (C && P) return 100 - static_cast<int>(P - Common);
  if (C >= '0' && C <= '9') return 40;
  return 10;
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) size_t FindAvx2(const char* Hay, size_t HayLen, std::string_view Needle,
                                                bool DoFold, size_t I1, size_t I2) {
  size_t M = Needle.size();
  auto B1 = static_cast<unsigned char>(Needle[I1]);
  auto B2 = static_cast<unsigned char>(Needle[I2]);
  const __m256i V1 = _mm256_set1_epi8(static_cast<char>(B1));
  const __m256i V2 = _mm256_set1_epi8(static_cast<char>(B2));
  const __m256i F1 = _mm256_set1_epi8(DoFold && IsAsciiLetter(B1) ? 0x20 : 0);
  const __m256i F2 = _mm256_set1_epi8(DoFold && IsAsciiLetter(B2) ? 0x20 : 0);
  size_t I = 0;
  for (; I + M + 32 <= HayLen; I += 32) {
    __m256i A = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Hay + I + I1)), F1);
    __m256i B = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Hay + I + I2)), F2);
    uint32_t Mask = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(A, V1), _mm256_cmpeq_epi8(B, V2))));
    while (Mask) {
      size_t At = I + static_cast<size_t>(__builtin_ctz(Mask));
      if (SameAt(Hay + At, Needle, DoFold)) return At;
      Mask &= Mask - 1;
    }
  }
  // The last places (fewer than 33) are compared the same way, as a scan over many short runs
  // (pieces of an edited text) ends every run there: in the last whole block, the places
  // before I left out, or in a copy padded with zeros when the run is shorter than a block.
  if (I + M > HayLen) return std::string_view::npos;
  if (I > 0) {
    const size_t Last = HayLen - M + 1 - 32;
    __m256i A = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Hay + Last + I1)), F1);
    __m256i B = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Hay + Last + I2)), F2);
    uint32_t Mask = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(A, V1), _mm256_cmpeq_epi8(B, V2))));
    Mask &= ~((uint32_t{1} << (I - Last)) - 1);
    while (Mask) {
      size_t At = Last + static_cast<size_t>(__builtin_ctz(Mask));
      if (SameAt(Hay + At, Needle, DoFold)) return At;
      Mask &= Mask - 1;
    }
    return std::string_view::npos;
  }
  alignas(32) char Tail[256];
  if (M + 64 > sizeof Tail) return FindScalar(Hay, I, HayLen, Needle, DoFold, I1, I2);
  const size_t Places = HayLen - M + 1 - I;
  std::memset(Tail, 0, sizeof Tail);
  std::memcpy(Tail, Hay + I, HayLen - I);
  for (size_t J = 0; J < Places; J += 32) {
    __m256i A = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Tail + J + I1)), F1);
    __m256i B = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Tail + J + I2)), F2);
    uint32_t Mask = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(A, V1), _mm256_cmpeq_epi8(B, V2))));
    if (Places - J < 32) Mask &= (uint32_t{1} << (Places - J)) - 1;
    while (Mask) {
      size_t At = I + J + static_cast<size_t>(__builtin_ctz(Mask));
      if (SameAt(Hay + At, Needle, DoFold)) return At;
      Mask &= Mask - 1;
    }
  }
  return std::string_view::npos;
}

#endif

uint8_t MapRegexError(int Code) {
  switch (Code) {
    case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
    case PCRE2_ERROR_UNMATCHED_CLOSING_PARENTHESIS: return SearchUnmatchedParen;
    case PCRE2_ERROR_MISSING_SQUARE_BRACKET: return SearchUnmatchedBracket;
    case PCRE2_ERROR_CLASS_RANGE_ORDER: return SearchInvalidBracketRange;
    case PCRE2_ERROR_QUANTIFIER_INVALID: return SearchFollowsNothing;
    case PCRE2_ERROR_QUANTIFIER_OUT_OF_ORDER: return SearchUnmatchedBrace;
    case PCRE2_ERROR_END_BACKSLASH: return SearchTrailingSlash;
    case PCRE2_ERROR_PATTERN_TOO_LARGE:
    case PCRE2_ERROR_PARENTHESES_NEST_TOO_DEEP: return SearchPatternTooBig;
    case PCRE2_ERROR_TOO_MANY_CAPTURES: return SearchTooManySubPatterns;
    default: return SearchInternalError;
  }
}

}  // namespace

void RarePositions(std::string_view Needle, size_t& I1, size_t& I2) {
  size_t M = Needle.size();
  I1 = 0;
  I2 = M ? M - 1 : 0;
  if (M <= 2) return;
  size_t A = 0, B = 1;  // the rarest and the next rarest
  auto C = [&](size_t K) { return Commonness(static_cast<unsigned char>(Needle[K])); };
  if (C(B) < C(A)) std::swap(A, B);
  for (size_t K = 2; K < M; ++K) {
    if (C(K) < C(A)) {
      B = A;
      A = K;
    } else if (C(K) < C(B)) {
      B = K;
    }
  }
  I1 = std::min(A, B);
  I2 = std::max(A, B);
}

size_t FindLiteral(const char* Hay, size_t HayLen, std::string_view Needle, bool DoFold) {
  size_t I1, I2;
  RarePositions(Needle, I1, I2);
  return FindLiteral(Hay, HayLen, Needle, DoFold, I1, I2);
}

size_t FindLiteral(const char* Hay, size_t HayLen, std::string_view Needle, bool DoFold, size_t I1, size_t I2) {
  size_t M = Needle.size();
  if (M == 0 || M > HayLen) return std::string_view::npos;
#if defined(__x86_64__)
  if (CpuHasAvx2()) return FindAvx2(Hay, HayLen, Needle, DoFold, I1, I2);
#endif
  if (!DoFold) {
    const void* P = memmem(Hay, HayLen, Needle.data(), M);
    return P ? static_cast<size_t>(static_cast<const char*>(P) - Hay) : std::string_view::npos;
  }
  return FindScalar(Hay, 0, HayLen, Needle, DoFold, I1, I2);
}

struct TSearcher::TRegex {
  pcre2_code* Code = nullptr;
  pcre2_match_data* Match = nullptr;
  pcre2_match_context* Context = nullptr;
  // The LFs of the subject being matched that stand for a CR LF pair (callout 1 asks).
  const std::vector<uint64_t>* Joined = nullptr;
  TRegex() {
    // A pattern that backtracks without end gives up (as no match) instead of hanging.
    Context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(Context, 1000000);
    pcre2_set_depth_limit(Context, 10000);
    pcre2_set_callout(Context, &Callout, this);
  }
  ~TRegex() {
    if (Match) pcre2_match_data_free(Match);
    if (Code) pcre2_code_free(Code);
    if (Context) pcre2_match_context_free(Context);
  }
  TRegex(const TRegex&) = delete;  // owns the compiled pattern; the context points at it
  TRegex& operator=(const TRegex&) = delete;
  // Matches in Subject from Start: the status of pcre2_match.
  int Run(const char* Subject, size_t Length, size_t Start, uint32_t Options) {
    return pcre2_match(Code, reinterpret_cast<PCRE2_SPTR>(Subject), Length, Start, Options, Match, Context);
  }
  PCRE2_SIZE* Vector() const { return pcre2_get_ovector_pointer(Match); }

  // Callout 1 follows an LF of the pattern (from \r or \r\n): it holds only where that LF
  // stands for a CR LF pair. Other callouts of the user's pattern pass.
  static int Callout(pcre2_callout_block* Block, void* Data) {
    if (Block->callout_number != 1) return 0;
    const auto* R = static_cast<const TRegex*>(Data);
    const uint64_t At = Block->current_position - 1;
    return R->Joined && std::binary_search(R->Joined->begin(), R->Joined->end(), At) ? 0 : 1;
  }
};

// What an expression runs over: the text, or a string that a caller hands over.
class TSearcher::TSource {
 public:
  TSource(const TSearcher& Searcher, const TTextBuffer& Text) : FSearcher(Searcher), FText(&Text) {}
  TSource(const TSearcher& Searcher, std::string_view Str) : FSearcher(Searcher), FStr(Str) {}

  uint64_t Length() const { return FText ? FText->Length() : FStr.size(); }
  int ByteAt(uint64_t Pos) const {
    if (FText) return FText->Tree().ByteAt(Pos);
    return Pos < FStr.size() ? static_cast<unsigned char>(FStr[Pos]) : -1;
  }
  void ForEachChunk(uint64_t Pos, uint64_t Count, const std::function<bool(const char*, size_t)>& Sink) const {
    if (FText) FText->Tree().ForEachChunk(Pos, Count, Sink);
    else if (Count > 0) Sink(FStr.data() + Pos, Count);
  }
  bool WordAt(uint64_t Pos, uint64_t Len) const {
    return FText ? FSearcher.WordAt(*FText, Pos, Len) : FSearcher.WordAtIn(FStr, Pos, Len);
  }

 private:
  const TSearcher& FSearcher;
  const TTextBuffer* FText = nullptr;
  std::string_view FStr;
};

// A window of the source as the expression sees it: one run of bytes in which every CR LF
// pair is one LF. A window without a CR that one piece holds is used in place.
struct TSearcher::TSubject {
  uint64_t Start = 0;  // the source offset of View[0]
  std::string_view View;
  std::vector<uint64_t> Joined;  // indexes in View of the LFs that stand for a pair, ascending
  std::string Buf;

  void Build(const TSource& Src, uint64_t From, uint64_t To) {
    Start = From;
    Buf.clear();
    Joined.clear();
    const char* Only = nullptr;
    size_t OnlyLen = 0;
    bool Copying = false, PendingCR = false;
    Src.ForEachChunk(From, To - From, [&](const char* P, size_t N) {
      if (!Copying) {
        if (!Only && !std::memchr(P, '\r', N)) {
          Only = P;
          OnlyLen = N;
          return true;
        }
        Copying = true;
        Buf.reserve(To - From);
        if (Only) Buf.assign(Only, OnlyLen);
      }
      Append(P, N, PendingCR);
      return true;
    });
    if (PendingCR) Buf += '\r';
    View = Copying ? std::string_view(Buf) : Only ? std::string_view(Only, OnlyLen) : std::string_view();
  }
  // The source offset of a place in View. A place at a joined LF is its pair's CR.
  uint64_t ToSource(uint64_t At) const {
    return Start + At + static_cast<uint64_t>(std::lower_bound(Joined.begin(), Joined.end(), At) - Joined.begin());
  }
  // The place in View of a source offset (never one between a CR and its LF).
  uint64_t ToView(uint64_t Offset) const {
    uint64_t Rel = Offset - Start;
    // The pair K's CR was at Joined[K] + K: count the pairs whose CR lies before Offset.
    size_t Lo = 0, Hi = Joined.size();
    while (Lo < Hi) {
      const size_t Mid = (Lo + Hi) / 2;
      if (Joined[Mid] + Mid < Rel) Lo = Mid + 1;
      else Hi = Mid;
    }
    return Rel - Lo;
  }

 private:
  // Copies a chunk, each CR LF pair as its LF. A CR that ends the chunk waits for the next one.
  void Append(const char* P, size_t N, bool& PendingCR) {
    size_t I = 0;
    if (PendingCR && N > 0) {
      PendingCR = false;
      if (P[0] == '\n') {
        Joined.push_back(Buf.size());
        Buf += '\n';
        I = 1;
      } else {
        Buf += '\r';
      }
    }
    while (I < N) {
      const auto* CR = static_cast<const char*>(std::memchr(P + I, '\r', N - I));
      if (!CR) {
        Buf.append(P + I, N - I);
        return;
      }
      const size_t K = static_cast<size_t>(CR - P);
      Buf.append(P + I, K - I);
      if (K + 1 == N) {
        PendingCR = true;
        return;
      }
      if (P[K + 1] == '\n') {
        Joined.push_back(Buf.size());
        Buf += '\n';
        I = K + 2;
      } else {
        Buf += '\r';
        I = K + 1;
      }
    }
  }
};

namespace {

// A pattern to match literally: every ASCII character that is not a letter or digit escaped.
std::string EscapeLiteral(std::string_view Pattern) {
  std::string Out;
  for (char C : Pattern) {
    auto U = static_cast<unsigned char>(C);
    if (U < 0x80 && !std::isalnum(U)) {
      if (C == '\0') {
        Out += "\\x{0}";
        continue;
      }
      if (C == '\r' || C == '\n' || C == '\t') {
        Out += C == '\r' ? "\\r" : C == '\n' ? "\\n" : "\\t";
        continue;
      }
      Out += '\\';
    }
    Out += C;
  }
  return Out;
}

// The pattern as the kernel hands it to PCRE2, which sees every CR LF pair as one LF. Outside
// character classes \r becomes "a CR, or an LF that stands for a pair" and \r\n the latter
// alone (callout 1 tells those LFs); the rest goes as it is. Map receives, for every byte of
// the result and one past its end, the byte of Pattern it comes from.
std::string KernelRegex(std::string_view Pattern, std::vector<uint32_t>& Map) {
  std::string Out;
  Map.clear();
  auto Put = [&](std::string_view S, size_t From) {
    Out += S;
    Map.insert(Map.end(), S.size(), static_cast<uint32_t>(From));
  };
  bool InClass = false, Quoted = false;
  for (size_t I = 0; I < Pattern.size(); ++I) {
    const size_t At = I;
    const char C = Pattern[I];
    if (Quoted) {
      if (C == '\\' && I + 1 < Pattern.size() && Pattern[I + 1] == 'E') {
        Quoted = false;
        ++I;
        Put("\\E", At);
      } else {
        Put(std::string_view(&Pattern[I], 1), At);
      }
      continue;
    }
    if (C == '\\' && I + 1 < Pattern.size()) {
      const char N = Pattern[++I];
      if (N == 'Q') Quoted = true;
      if (!InClass && N == 'r' && Pattern.substr(I + 1, 2) == "\\n") {
        I += 2;
        Put("(?:\\n(?C1))", At);
      } else if (!InClass && N == 'r') {
        Put("(?:\\r|\\n(?C1))", At);
      } else if (N == 'c' && I + 1 < Pattern.size()) {
        Put(Pattern.substr(At, 3), At);  // a control character: the next one is its letter
        ++I;
      } else {
        Put(Pattern.substr(At, 2), At);
      }
      continue;
    }
    if (!InClass && C == '[') {
      InClass = true;
      Put("[", At);
      // A ] first in the class (after ^) is a member.
      if (I + 1 < Pattern.size() && Pattern[I + 1] == '^') Put("^", ++I);
      if (I + 1 < Pattern.size() && Pattern[I + 1] == ']') Put("]", ++I);
      continue;
    }
    if (InClass && C == '[' && I + 1 < Pattern.size() && Pattern[I + 1] == ':') {
      const size_t End = Pattern.find(":]", I + 2);
      if (End != std::string_view::npos) {
        Put(Pattern.substr(I, End + 2 - I), At);
        I = End + 1;
        continue;
      }
    }
    if (InClass && C == ']') InClass = false;
    Put(std::string_view(&Pattern[I], 1), At);
  }
  Map.push_back(static_cast<uint32_t>(Pattern.size()));
  return Out;
}

}  // namespace

TSearcher::TSearcher() = default;
TSearcher::~TSearcher() = default;

uint8_t TSearcher::Prepare(std::string_view Pattern, TSearchFlags Flags) {
  FErrorText.clear();
  FErrorOffset = 0;
  if (Pattern.empty()) return SearchEmptyString;
  if (Pattern.size() > 0xFFFF) return SearchPatternTooBig;
  FPattern.assign(Pattern);
  FFlags = Flags;
  FRegex.reset();
  FLeadRegex.reset();
  FLeads.reset();
  FLeadLongest = 0;
  FGroups.clear();
  bool Caseless = !Flags.Contains(sfCase);
  bool Ascii = std::all_of(Pattern.begin(), Pattern.end(), [](char C) { return static_cast<unsigned char>(C) < 0x80; });
  FUseRegex = Flags.Contains(sfRegExp) || (Caseless && !Ascii);
  FFolded.clear();
  if (!FUseRegex) {
    if (Caseless)
      for (char C : Pattern) FFolded += static_cast<char>(Fold(static_cast<unsigned char>(C)));
    return SearchOk;
  }
  // Case folds for every script PCRE2 knows (UTF with Unicode properties). A literal pattern
  // goes in escaped rather than with the literal option, which takes neither the multi-line
  // nor the Unicode-property option.
  std::vector<uint32_t> Map;
  const std::string Source = KernelRegex(Flags.Contains(sfRegExp) ? std::string(Pattern) : EscapeLiteral(Pattern), Map);
  uint32_t Options = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE;
  if (Caseless) Options |= PCRE2_CASELESS;
  pcre2_compile_context* Ctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(Ctx, PCRE2_NEWLINE_ANYCRLF);
  int Error = 0;
  PCRE2_SIZE Offset = 0;
  bool Jit = true;  // every form compiled to machine code
  auto Compile = [&](uint32_t With) {
    auto R = std::make_unique<TRegex>();
    R->Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(Source.data()), Source.size(), With, &Error, &Offset, Ctx);
    if (R->Code) {
      Jit = pcre2_jit_compile(R->Code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD) == 0 && Jit;
      R->Match = pcre2_match_data_create_from_pattern(R->Code, nullptr);
    }
    return R;
  };
  auto R = Compile(Options);
  if (!R->Code) {
    pcre2_compile_context_free(Ctx);
    PCRE2_UCHAR Message[256];
    if (pcre2_get_error_message(Error, Message, sizeof Message) > 0) FErrorText = reinterpret_cast<const char*>(Message);
    FErrorOffset = Flags.Contains(sfRegExp) ? Map[std::min<size_t>(Offset, Map.size() - 1)] : 0;
    return MapRegexError(Error);
  }
  uint32_t Behind = 0;
  pcre2_pattern_info(R->Code, PCRE2_INFO_MAXLOOKBEHIND, &Behind);
  // Lookbehind counts characters; a word boundary or \R looks at one more.
  FBehind = std::min<uint64_t>(4 * (uint64_t{Behind} + 2), 1 << 16);
  FRegex = std::move(R);
  // The leading needles come from the pattern as the user wrote it: the kernel's own form
  // adds constructs the extractor does not see through. A needle with a line break in it
  // would not be found where the text breaks with a CR LF pair.
  std::vector<std::string> Leads =
      LeadingLiterals(Flags.Contains(sfRegExp) ? std::string(Pattern) : EscapeLiteral(Pattern), Caseless);
  if (!Leads.empty() && std::none_of(Leads.begin(), Leads.end(), [](const std::string& L) {
        return L.find_first_of("\r\n") != std::string::npos;
      })) {
    // Tried at each needle, anchored: compiled so (when a text long enough asks for it), it
    // runs compiled to machine code as the expression does elsewhere (an anchored search
    // asked for at match time would not). Only so do both agree where the text is not valid
    // UTF-8, which the engine matches in valid runs: its interpreter, tried anchored, may go
    // on to the start of the next run.
    if (Jit) {
      for (const auto& L : Leads) FLeadLongest = std::max(FLeadLongest, L.size());
      FLeads = std::make_unique<TNeedles>(std::move(Leads), Caseless);
      FSource = Source;
      FOptions = Options;
    }
  }
  pcre2_compile_context_free(Ctx);
  return SearchOk;
}

bool TSearcher::PrepareLeadRegex() {
  if (FLeadRegex) return true;
  pcre2_compile_context* Ctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(Ctx, PCRE2_NEWLINE_ANYCRLF);
  int Error = 0;
  PCRE2_SIZE Offset = 0;
  auto R = std::make_unique<TRegex>();
  R->Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(FSource.data()), FSource.size(), FOptions | PCRE2_ANCHORED, &Error,
                          &Offset, Ctx);
  pcre2_compile_context_free(Ctx);
  if (!R->Code || pcre2_jit_compile(R->Code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD) != 0) {
    FLeads.reset();
    return false;
  }
  R->Match = pcre2_match_data_create_from_pattern(R->Code, nullptr);
  FLeadRegex = std::move(R);
  return true;
}

bool TSearcher::WordAtIn(std::string_view S, size_t Pos, size_t Len) const {
  if (!FFlags.Contains(sfWord)) return true;
  if (Pos > 0) {
    size_t P = Pos - 1;
    while (P > 0 && (static_cast<unsigned char>(S[P]) & 0xC0) == 0x80 && Pos - P < 4) --P;
    int L;
    if (IsWordChar(Utf8Decode(S, P, L))) return false;
  }
  if (Pos + Len < S.size()) {
    int L;
    if (IsWordChar(Utf8Decode(S, Pos + Len, L))) return false;
  }
  return true;
}

bool TSearcher::WordAt(const TTextBuffer& Text, uint64_t Pos, uint64_t Len) const {
  if (!FFlags.Contains(sfWord)) return true;
  // Four bytes on each side hold any neighbouring character.
  uint64_t From = Pos >= 4 ? Pos - 4 : 0;
  std::string Around = Text.Text(From, (Pos - From) + Len + 4);
  return WordAtIn(Around, Pos - From, Len);
}

void TSearcher::LiteralScan(const TSource& Src, std::string_view Needle, bool Fold, bool Words, uint64_t From, uint64_t To,
                            const std::function<uint64_t(uint64_t)>& OnMatch) const {
  if (Needle.empty()) return;
  size_t I1, I2;
  RarePositions(Needle, I1, I2);
  NeedleScan(
      Src, [&](const char* Hay, size_t Len) { return FindLiteral(Hay, Len, Needle, Fold, I1, I2); }, Needle.size(),
      Words, From, To, OnMatch);
}

void TSearcher::NeedleScan(const TSource& Src, const std::function<size_t(const char*, size_t)>& Find, size_t Longest,
                           bool Words, uint64_t From, uint64_t To, const std::function<uint64_t(uint64_t)>& OnMatch) const {
  const size_t M = Longest;
  const uint64_t End = std::min(Src.Length(), To + M - 1);
  if (M == 0 || From >= To || End <= From) return;
  uint64_t Next = From;  // no match may start before it
  // Offers the hit at Pos, Local bytes into Around (which holds it); false ends the scan.
  auto Offer = [&](uint64_t Pos, std::string_view Around, size_t Local) {
    if (Pos >= To) return false;
    if (Words) {
      // The neighbours are read in place when the run holds them.
      const bool Inside = Local >= 4 && Local + M + 4 <= Around.size();
      if (!(Inside ? WordAtIn(Around, Local, M) : Src.WordAt(Pos, M))) return true;
    }
    const uint64_t After = OnMatch(Pos);
    if (After == UINT64_MAX) return false;
    Next = std::max(After, Pos + 1);
    return true;
  };
  // Scans a run of bytes that starts at the source offset RunPos; false once the scan ends.
  auto ScanRun = [&](const char* P, size_t N, uint64_t RunPos) {
    for (uint64_t At = Next > RunPos ? Next - RunPos : 0; At < N;) {
      const size_t Hit = Find(P + At, N - At);
      if (Hit == std::string_view::npos) break;
      if (!Offer(RunPos + At + Hit, std::string_view(P, N), At + Hit)) return false;
      At = std::max(At + Hit + 1, Next > RunPos ? Next - RunPos : 0);
    }
    return true;
  };
  // Short chunks (the pieces of an edited text) are gathered into a stage and scanned there
  // together; a long one is scanned in place, after the stage with its first M-1 bytes. Each
  // stage begins with the last M-1 bytes before it, where a needle may start that the stage
  // completes. A needle that an earlier scan held whole was offered already: Next skips it.
  constexpr size_t StageSize = 32 << 10;
  std::string& Stage = FStage;
  Stage.clear();
  uint64_t StagePos = From, ChunkPos = From;
  const auto KeepTail = [&](const char* P, size_t N, uint64_t RunEnd) {
    const size_t Keep = std::min(N, M - 1);
    Stage.assign(P + N - Keep, Keep);
    StagePos = RunEnd - Keep;
  };
  bool Ended = false;
  Src.ForEachChunk(From, End - From, [&](const char* P, size_t N) {
    if (N < StageSize / 2) {
      if (Stage.size() + N > StageSize) {
        if (!ScanRun(Stage.data(), Stage.size(), StagePos)) return !(Ended = true);
        // A copy of the tail, as assign may not take its own bytes.
        const std::string Tail = Stage.substr(Stage.size() - std::min(Stage.size(), M - 1));
        KeepTail(Tail.data(), Tail.size(), ChunkPos);
      }
      Stage.append(P, N);
    } else {
      if (!Stage.empty()) {
        Stage.append(P, std::min(N, M - 1));
        if (!ScanRun(Stage.data(), Stage.size(), StagePos)) return !(Ended = true);
      }
      if (!ScanRun(P, N, ChunkPos)) return !(Ended = true);
      KeepTail(P, N, ChunkPos + N);
    }
    ChunkPos += N;
    return true;
  });
  if (!Ended && !Stage.empty()) ScanRun(Stage.data(), Stage.size(), StagePos);
}

void TSearcher::LiteralScan(const TTextBuffer& Text, uint64_t From, uint64_t To,
                            const std::function<uint64_t(uint64_t)>& OnMatch) {
  const bool Fold = !FFolded.empty();
  LiteralScan(TSource(*this, Text), Fold ? FFolded : FPattern, Fold, FFlags.Contains(sfWord), From, To, OnMatch);
}

bool TSearcher::LiteralForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos) {
  bool Found = false;
  LiteralScan(Text, From, To, [&](uint64_t At) {
    Pos = At;
    Found = true;
    return UINT64_MAX;
  });
  return Found;
}

void TSearcher::KeepGroups(const TRegex& R, const TSubject& S) {
  PCRE2_SIZE* V = R.Vector();
  uint32_t N = pcre2_get_ovector_count(R.Match);
  FGroups.resize(2 * size_t{N});
  for (size_t I = 0; I < 2 * size_t{N}; ++I) FGroups[I] = V[I] == PCRE2_UNSET ? UINT64_MAX : S.ToSource(V[I]);
}

uint64_t TSearcher::NextStart(const TTextBuffer& Text, uint64_t Pos) {
  const TPieceTree& Tree = Text.Tree();
  const uint64_t N = Text.Length();
  ++Pos;
  for (int K = 0; K < 3 && Pos < N && (Tree.ByteAt(Pos) & 0xC0) == 0x80; ++K) ++Pos;
  return Pos > 0 && Pos < N && Tree.ByteAt(Pos - 1) == '\r' && Tree.ByteAt(Pos) == '\n' ? Pos + 1 : Pos;
}

void TSearcher::RegexScan(const TSource& Src, uint64_t From, uint64_t To, bool Anchored, uint64_t Window,
                          const std::function<uint64_t(uint64_t, uint64_t)>& OnMatch) {
  const uint64_t N = Src.Length();
  auto InPair = [&](uint64_t P) { return P > 0 && P < N && Src.ByteAt(P - 1) == '\r' && Src.ByteAt(P) == '\n'; };
  // The next place a match may start: a character on, never inside a CR LF pair.
  auto Advance = [&](uint64_t P) {
    ++P;
    for (int K = 0; K < 3 && P < N && (Src.ByteAt(P) & 0xC0) == 0x80; ++K) ++P;
    return InPair(P) ? P + 1 : P;
  };
  // When every match starts with one of a few needles, the expression is tried (anchored)
  // only where one stands: the scan for them runs over the window it already has, and over
  // the source beyond it. A needle holds no line break and starts a character, so that such
  // a place is never inside a CR LF pair nor a character.
  // A short text is left to the expression alone: a caller that matches line after line
  // with a new pattern each time does not pay for a second compiled form.
  constexpr uint64_t MinLeadText = 4096;
  const bool Leads = FLeads && FLeadScan && !Anchored && N - std::min(N, From) >= MinLeadText && PrepareLeadRegex();
  TRegex& R = Leads ? *FLeadRegex : *FRegex;
  // The subject is a window of the source that runs across pieces and lines. It starts a
  // little before the first place a match may start (for lookbehind and word boundaries) and
  // never ends inside a CR LF pair. A match that reaches its end comes back partial, and the
  // window widens until the match is whole: a match may span the whole text. A window without
  // a match doubles the next one, up to a megabyte: a match nearby costs little to find. With
  // leading needles a window only needs to hold the match tried at one of them.
  constexpr uint64_t MaxWindow = uint64_t{1} << 20;
  if (Leads) Window = std::min<uint64_t>(Window, 16 << 10);
  const uint64_t FirstWindow = Window;
  if (!FSubject) FSubject = std::make_unique<TSubject>();
  TSubject& S = *FSubject;
  uint64_t At = From;
  uint64_t WS = 0, WE = 0;
  bool Have = false;
  uint32_t Options = 0;
  while (At < To) {
    if (Leads) {
      uint64_t Lead = UINT64_MAX;
      if (Have && At < WE) {
        const uint64_t V = S.ToView(At);
        const size_t Hit = FLeads->Find(S.View.data() + V, S.View.size() - V);
        if (Hit != std::string_view::npos) Lead = S.ToSource(V + Hit);
        // A needle that the window does not hold whole starts among its last bytes, or after.
        else At = std::max(At, WE - std::min<uint64_t>(WE, FLeadLongest - 1));
      }
      if (Lead == UINT64_MAX)
        NeedleScan(
            Src, [&](const char* Hay, size_t Len) { return FLeads->Find(Hay, Len); }, FLeadLongest, false, At, To,
            [&](uint64_t P) {
              Lead = P;
              return UINT64_MAX;
            });
      if (Lead >= To) return;
      At = Lead;
    }
    if (!Have || At >= WE) {
      // Both ends on a character's first byte (a character cut in two would not match) and
      // outside a CR LF pair.
      WS = At > FBehind ? At - FBehind : 0;
      for (int K = 0; K < 3 && WS > 0 && (Src.ByteAt(WS) & 0xC0) == 0x80; ++K) --WS;
      if (InPair(WS)) --WS;
      WE = std::min(N, At + Window);
      for (int K = 0; K < 3 && WE < N && (Src.ByteAt(WE) & 0xC0) == 0x80; ++K) ++WE;
      if (InPair(WE)) ++WE;
      S.Build(Src, WS, WE);
      Options = 0;
      if (WS > 0 && Src.ByteAt(WS - 1) != '\r' && Src.ByteAt(WS - 1) != '\n') Options |= PCRE2_NOTBOL;
      if (WE < N) Options |= PCRE2_PARTIAL_HARD;
      Have = true;
    }
    R.Joined = &S.Joined;
    const int Rc = R.Run(S.View.data(), S.View.size(), S.ToView(At), Options | (Anchored ? PCRE2_ANCHORED : 0));
    if (Rc == PCRE2_ERROR_PARTIAL) {
      const uint64_t PS = S.ToSource(R.Vector()[0]);
      if (PS >= To) return;
      // A match that outgrew a window begun just before it needs a wider one.
      Window = PS - WS <= FBehind + 4 ? Window * 2 : FirstWindow;
      At = std::max(At, PS);
      Have = false;
      continue;
    }
    if (Rc == PCRE2_ERROR_NOMATCH && Leads) {
      // No match starts at this needle: on to the next.
      ++At;
      continue;
    }
    if (Rc < 0) {
      // No match starts before the window's end (or the pattern gave up).
      if (Rc != PCRE2_ERROR_NOMATCH || WE >= N || Anchored) return;
      At = WE;
      if (Window < MaxWindow) Window *= 2;
      Have = false;
      continue;
    }
    PCRE2_SIZE* V = R.Vector();
    const uint64_t MS = S.ToSource(V[0]), ME = S.ToSource(V[1]);
    if (MS >= To) return;
    KeepGroups(R, S);
    if (MS >= From && Src.WordAt(MS, ME - MS)) {
      const uint64_t Next = OnMatch(MS, ME);
      if (Next == UINT64_MAX) return;
      At = Next > MS ? Next : Advance(MS);
    } else {
      At = Advance(MS);
    }
    if (Anchored) return;
  }
}

bool TSearcher::FindForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos, uint64_t& Len) {
  const uint64_t N = Text.Length();
  To = std::min(To, N);
  if (FUseRegex) {
    // An empty match at the very end is found too, as FindAll finds it.
    if (From > To || (From == To && To < N)) return false;
    bool Found = false;
    RegexScan(TSource(*this, Text), From, To == N ? N + 1 : To, false, 4096, [&](uint64_t MS, uint64_t ME) {
      Pos = MS;
      Len = ME - MS;
      Found = true;
      return UINT64_MAX;
    });
    return Found;
  }
  if (From >= To || !LiteralForward(Text, From, To, Pos)) return false;
  Len = FPattern.size();
  return true;
}

bool TSearcher::FindBackward(const TTextBuffer& Text, uint64_t Lo, uint64_t From, uint64_t& Pos, uint64_t& Len) {
  From = std::min(From, Text.Length());
  if (Lo >= From) return false;
  // Windows that step back from From, keeping the last match of the nearest window that has
  // one. Within a window the scan goes forward without overlapping; a later start can then
  // only lie inside the last match found, and is tried there from the right.
  const TSource Src(*this, Text);
  uint64_t M = FPattern.size();
  uint64_t Window = 1 << 16;
  uint64_t Hi = From;
  while (Hi > Lo) {
    uint64_t WLo = Hi - Lo > Window ? Hi - Window : Lo;
    uint64_t Best = UINT64_MAX, BestEnd = 0;
    if (FUseRegex) {
      RegexScan(Src, WLo, Hi, false, uint64_t{1} << 20, [&](uint64_t MS, uint64_t ME) {
        Best = MS;
        BestEnd = ME;
        return ME;
      });
      if (Best != UINT64_MAX) {
        const std::vector<uint64_t> Kept = FGroups;
        bool Later = false;
        for (uint64_t P = std::min(BestEnd, Hi); P > Best + 1 && !Later;) {
          --P;
          if ((Text.Tree().ByteAt(P) & 0xC0) == 0x80) continue;
          RegexScan(Src, P, P + 1, true, 4096, [&](uint64_t MS, uint64_t ME) {
            if (MS == P) {
              Best = MS;
              BestEnd = ME;
              Later = true;
            }
            return UINT64_MAX;
          });
        }
        if (!Later) FGroups = Kept;
      }
    } else {
      // Matches may overlap here: the last start is wanted, not a set of replacements.
      LiteralScan(Text, WLo, Hi, [&](uint64_t Hit) {
        Best = Hit;
        BestEnd = Hit + M;
        return Hit + 1;
      });
    }
    if (Best != UINT64_MAX) {
      Pos = Best;
      Len = BestEnd - Best;
      return true;
    }
    Hi = WLo;
    Window *= 2;
  }
  return false;
}

void TSearcher::FindAll(const TTextBuffer& Text, uint64_t From, uint64_t To,
                        const std::function<bool(uint64_t Pos, uint64_t Len)>& Sink) {
  const uint64_t N = Text.Length();
  To = std::min(To, N);
  if (From > To || (From == To && (!FUseRegex || To < N))) return;
  if (FUseRegex) {
    // An empty match at the very end counts too ("$" marks the last line's end as well).
    RegexScan(TSource(*this, Text), From, To == N ? N + 1 : To, false, uint64_t{1} << 20, [&](uint64_t MS, uint64_t ME) {
      if (!Sink(MS, ME - MS)) return UINT64_MAX;
      return ME;  // an empty match: the scan moves a character on
    });
    return;
  }
  const uint64_t M = FPattern.size();
  LiteralScan(Text, From, To, [&](uint64_t Hit) { return Sink(Hit, M) ? Hit + M : UINT64_MAX; });
}

bool TSearcher::FindIn(std::string_view Text, size_t From, size_t& Pos, size_t& Len) {
  if (FUseRegex) {
    bool Found = false;
    // Callers look for match after match in one string: a first window that costs little to
    // copy when the next match is near, which doubles while none is found.
    RegexScan(TSource(*this, Text), From, Text.size() + 1, false, 256, [&](uint64_t MS, uint64_t ME) {
      Pos = MS;
      Len = ME - MS;
      Found = true;
      return UINT64_MAX;
    });
    return Found;
  }
  std::string_view Needle = FFolded.empty() ? std::string_view(FPattern) : std::string_view(FFolded);
  for (size_t At = From; At < Text.size();) {
    size_t Hit = FindLiteral(Text.data() + At, Text.size() - At, Needle, !FFolded.empty());
    if (Hit == std::string_view::npos) return false;
    if (WordAtIn(Text, At + Hit, Needle.size())) {
      Pos = At + Hit;
      Len = Needle.size();
      return true;
    }
    At += Hit + 1;
  }
  return false;
}

std::string TSearcher::Expand(const TTextBuffer& Text, std::string_view Replace) const {
  if (!FUseRegex || !FFlags.Contains(sfRegExp)) return std::string(Replace);
  std::string Out;
  const size_t Groups = FGroups.size() / 2;
  for (size_t I = 0; I < Replace.size(); ++I) {
    if (Replace[I] == '\\' && I + 1 < Replace.size()) {
      char C = Replace[++I];
      if (C >= '0' && C <= '9') {
        size_t G = static_cast<size_t>(C - '0');
        if (G < Groups && FGroups[2 * G] != UINT64_MAX && FGroups[2 * G + 1] >= FGroups[2 * G])
          Out += Text.Text(FGroups[2 * G], FGroups[2 * G + 1] - FGroups[2 * G]);
      } else if (C == 'n') {
        Out += '\n';
      } else if (C == 't') {
        Out += '\t';
      } else {
        Out += C;
      }
      continue;
    }
    Out += Replace[I];
  }
  return Out;
}

}  // namespace nxs::ek
