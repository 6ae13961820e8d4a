// The search engine.
#include "editor/kernel/eksearch.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekutf8.h"

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
  return FindScalar(Hay, I, HayLen, Needle, DoFold, I1, I2);
}

bool HasAvx2() {
  static const bool Has = __builtin_cpu_supports("avx2");
  return Has;
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
  if (HasAvx2()) return FindAvx2(Hay, HayLen, Needle, DoFold, I1, I2);
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
  TRegex() {
    // A pattern that backtracks without end gives up (as no match) instead of hanging.
    Context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(Context, 1000000);
    pcre2_set_depth_limit(Context, 10000);
  }
  ~TRegex() {
    if (Match) pcre2_match_data_free(Match);
    if (Code) pcre2_code_free(Code);
    if (Context) pcre2_match_context_free(Context);
  }
  // Matches in Subject from Start; sets the match's bounds.
  bool Run(const char* Subject, size_t Length, size_t Start, size_t& MatchStart, size_t& MatchEnd) {
    int Rc = pcre2_match(Code, reinterpret_cast<PCRE2_SPTR>(Subject), Length, Start, 0, Match, Context);
    if (Rc < 0) return false;
    PCRE2_SIZE* V = pcre2_get_ovector_pointer(Match);
    MatchStart = V[0];
    MatchEnd = V[1];
    return true;
  }
};

TSearcher::TSearcher() = default;
TSearcher::~TSearcher() = default;

uint8_t TSearcher::Prepare(std::string_view Pattern, TSearchFlags Flags) {
  if (Pattern.empty()) return SearchEmptyString;
  if (Pattern.size() > 0xFFFF) return SearchPatternTooBig;
  FPattern.assign(Pattern);
  FFlags = Flags;
  FRegex.reset();
  bool Caseless = !Flags.Contains(sfCase);
  bool Ascii = std::all_of(Pattern.begin(), Pattern.end(), [](char C) { return static_cast<unsigned char>(C) < 0x80; });
  FUseRegex = Flags.Contains(sfRegExp) || (Caseless && !Ascii);
  FFolded.clear();
  if (!FUseRegex) {
    if (Caseless)
      for (char C : Pattern) FFolded += static_cast<char>(Fold(static_cast<unsigned char>(C)));
    return SearchOk;
  }
  uint32_t Options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE;
  if (!Flags.Contains(sfRegExp)) Options |= PCRE2_LITERAL;
  if (Caseless) Options |= PCRE2_CASELESS;
  pcre2_compile_context* Ctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(Ctx, PCRE2_NEWLINE_ANYCRLF);
  int Error = 0;
  PCRE2_SIZE Offset = 0;
  auto R = std::make_unique<TRegex>();
  R->Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(Pattern.data()), Pattern.size(), Options, &Error, &Offset, Ctx);
  pcre2_compile_context_free(Ctx);
  if (!R->Code) return MapRegexError(Error);
  pcre2_jit_compile(R->Code, PCRE2_JIT_COMPLETE);
  R->Match = pcre2_match_data_create_from_pattern(R->Code, nullptr);
  FRegex = std::move(R);
  return SearchOk;
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

bool TSearcher::LiteralForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos) {
  std::string_view Needle = FFolded.empty() ? std::string_view(FPattern) : std::string_view(FFolded);
  bool DoFold = !FFolded.empty();
  size_t M = Needle.size();
  if (To < From + M) return false;
  size_t I1, I2;
  RarePositions(Needle, I1, I2);
  std::string Joint;
  Joint.reserve(2 * M);
  // Each chunk is searched in place; a match that straddles two chunks is found in the
  // joint of the previous chunk's last M-1 bytes and the next chunk's first M-1.
  std::string Carry;
  uint64_t CarryPos = From;  // offset of Carry[0]
  uint64_t ChunkPos = From;
  bool Found = false;
  Text.Tree().ForEachChunk(From, To - From, [&](const char* P, size_t N) {
    if (!Carry.empty()) {
      Joint.assign(Carry);
      Joint.append(P, std::min(N, M - 1));
      for (size_t At = 0;;) {
        size_t Hit = FindLiteral(Joint.data() + At, Joint.size() - At, Needle, DoFold, I1, I2);
        if (Hit == std::string_view::npos || At + Hit >= Carry.size()) break;
        if (WordAt(Text, CarryPos + At + Hit, M)) {
          Pos = CarryPos + At + Hit;
          Found = true;
          return false;
        }
        At += Hit + 1;
      }
    }
    for (size_t At = 0;;) {
      size_t Hit = FindLiteral(P + At, N - At, Needle, DoFold, I1, I2);
      if (Hit == std::string_view::npos) break;
      if (WordAt(Text, ChunkPos + At + Hit, M)) {
        Pos = ChunkPos + At + Hit;
        Found = true;
        return false;
      }
      At += Hit + 1;
    }
    // Only the last M-1 bytes can begin a match that the next chunk completes.
    if (N >= M - 1) {
      Carry.assign(P + N - (M - 1), M - 1);
    } else {
      Carry.append(P, N);
      if (Carry.size() > M - 1) Carry.erase(0, Carry.size() - (M - 1));
    }
    ChunkPos += N;
    CarryPos = ChunkPos - Carry.size();
    return true;
  });
  return Found;
}

bool TSearcher::RegexForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos, uint64_t& Len,
                             bool Last) {
  // The subject handed to PCRE2 is a run of whole lines inside one chunk (no copy); a line
  // that straddles chunks is copied together. Scanning starts at the line start so that
  // anchors see the line.
  uint64_t Start = Text.Lines().LineStart(Text.Lines().LineOf(From));
  uint64_t End = To;
  if (End < Text.Length()) End = Text.Lines().LineStart(Text.Lines().LineOf(End) + 1);
  bool Found = false;
  auto Scan = [&](const char* S, size_t N, uint64_t Base) -> bool {
    size_t At = 0;
    while (At <= N) {
      size_t MS, ME;
      if (!FRegex->Run(S, N, At, MS, ME)) return true;
      uint64_t Abs = Base + MS;
      if (Abs >= To) return false;
      if (Abs >= From && ME > MS && WordAtIn(std::string_view(S, N), MS, ME - MS)) {
        Pos = Abs;
        Len = ME - MS;
        Found = true;
        if (!Last) return false;
      }
      At = ME > MS ? ME : MS + 1;
      while (At < N && (static_cast<unsigned char>(S[At]) & 0xC0) == 0x80) ++At;
    }
    return true;
  };
  std::string Partial;
  uint64_t PartialPos = Start, ChunkPos = Start;
  bool Go = true;
  Text.Tree().ForEachChunk(Start, End - Start, [&](const char* P, size_t N) {
    size_t FirstBreak = N, LastBreak = N;
    for (size_t I = 0; I < N; ++I)
      if (P[I] == '\n' || P[I] == '\r') {
        FirstBreak = I + 1;
        break;
      }
    for (size_t I = N; I > 0; --I)
      if (P[I - 1] == '\n' || P[I - 1] == '\r') {
        LastBreak = I;
        break;
      }
    if (FirstBreak == N && LastBreak == N && !(N > 0 && (P[N - 1] == '\n' || P[N - 1] == '\r'))) {
      Partial.append(P, N);
      ChunkPos += N;
      return true;
    }
    Partial.append(P, FirstBreak);
    Go = Scan(Partial.data(), Partial.size(), PartialPos);
    if (!Go || (Found && !Last)) return false;
    if (LastBreak > FirstBreak) {
      Go = Scan(P + FirstBreak, LastBreak - FirstBreak, ChunkPos + FirstBreak);
      if (!Go || (Found && !Last)) return false;
    }
    Partial.assign(P + LastBreak, N - LastBreak);
    ChunkPos += N;
    PartialPos = ChunkPos - Partial.size();
    return true;
  });
  if (Go && !(Found && !Last) && !Partial.empty()) Scan(Partial.data(), Partial.size(), PartialPos);
  return Found;
}

bool TSearcher::FindForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos, uint64_t& Len) {
  To = std::min(To, Text.Length());
  if (From >= To) return false;
  if (FUseRegex) return RegexForward(Text, From, To, Pos, Len, false);
  if (!LiteralForward(Text, From, To, Pos)) return false;
  Len = FPattern.size();
  return true;
}

bool TSearcher::FindBackward(const TTextBuffer& Text, uint64_t Lo, uint64_t From, uint64_t& Pos, uint64_t& Len) {
  From = std::min(From, Text.Length());
  if (Lo >= From) return false;
  if (FUseRegex) return RegexForward(Text, Lo, From, Pos, Len, true);
  // Literal: search forward in windows that step back from From, keeping the last hit of the
  // nearest window that has one.
  uint64_t M = FPattern.size();
  uint64_t Window = 1 << 16;
  uint64_t Hi = From;
  while (Hi > Lo) {
    uint64_t WLo = Hi - Lo > Window ? Hi - Window : Lo;
    uint64_t Best = UINT64_MAX, At = WLo, Hit;
    while (At < Hi && LiteralForward(Text, At, std::min(Text.Length(), Hi + M - 1), Hit) && Hit < Hi) {
      Best = Hit;
      At = Hit + 1;
    }
    if (Best != UINT64_MAX) {
      Pos = Best;
      Len = M;
      return true;
    }
    Hi = WLo;
    Window *= 2;
  }
  return false;
}

bool TSearcher::FindIn(std::string_view Text, size_t From, size_t& Pos, size_t& Len) {
  if (FUseRegex) {
    size_t At = From;
    while (At <= Text.size()) {
      size_t MS, ME;
      if (!FRegex->Run(Text.data(), Text.size(), At, MS, ME)) return false;
      if (WordAtIn(Text, MS, ME - MS)) {
        Pos = MS;
        Len = ME - MS;
        return true;
      }
      At = ME > MS ? ME : MS + 1;
    }
    return false;
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

std::string TSearcher::Expand(std::string_view Subject, std::string_view Replace) {
  if (!FUseRegex || !FFlags.Contains(sfRegExp)) return std::string(Replace);
  // Subject is the matched text; the pattern runs on it again for its groups (\N).
  std::string Out;
  size_t MS, ME;
  bool Have = FRegex->Run(Subject.data(), Subject.size(), 0, MS, ME);
  PCRE2_SIZE* V = pcre2_get_ovector_pointer(FRegex->Match);
  uint32_t Groups = pcre2_get_ovector_count(FRegex->Match);
  for (size_t I = 0; I < Replace.size(); ++I) {
    if (Replace[I] == '\\' && I + 1 < Replace.size()) {
      char C = Replace[I + 1];
      if (C >= '0' && C <= '9') {
        uint32_t G = static_cast<uint32_t>(C - '0');
        if (Have && G < Groups && V[2 * G] != PCRE2_UNSET) Out.append(Subject.substr(V[2 * G], V[2 * G + 1] - V[2 * G]));
        ++I;
        continue;
      }
      if (C == 'n') { Out += '\n'; ++I; continue; }
      if (C == 't') { Out += '\t'; ++I; continue; }
      Out += C;
      ++I;
      continue;
    }
    Out += Replace[I];
  }
  return Out;
}

}  // namespace nxs::ek
