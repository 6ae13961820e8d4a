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
  TRegex(const TRegex&) = delete;  // owns the compiled pattern
  TRegex& operator=(const TRegex&) = delete;
  // Matches in Subject from Start: the status of pcre2_match.
  int Run(const char* Subject, size_t Length, size_t Start, uint32_t Options) {
    return pcre2_match(Code, reinterpret_cast<PCRE2_SPTR>(Subject), Length, Start, Options, Match, Context);
  }
  PCRE2_SIZE* Vector() const { return pcre2_get_ovector_pointer(Match); }
};

namespace {

// Bytes [From, To) of the text as one run: in place when one piece holds them, else copied.
std::string_view Contiguous(const TPieceTree& Tree, uint64_t From, uint64_t To, std::string& Buf) {
  const char* Only = nullptr;
  size_t OnlyLen = 0;
  bool Copying = false;
  Buf.clear();
  Tree.ForEachChunk(From, To - From, [&](const char* P, size_t N) {
    if (!Only && !Copying) {
      Only = P;
      OnlyLen = N;
      return true;
    }
    if (!Copying) {
      Buf.reserve(To - From);
      Buf.assign(Only, OnlyLen);
      Copying = true;
    }
    Buf.append(P, N);
    return true;
  });
  if (Copying) return Buf;
  return Only ? std::string_view(Only, OnlyLen) : std::string_view();
}

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

// The pattern as the kernel hands it to PCRE2. Outside character classes \n becomes "a line
// break that ends in LF" and \r "one that starts with CR", so that each matches a whole CR LF
// pair and \r\n the pair too; guards on both sides keep a match from starting or ending
// between the CR and the LF of a pair (where PCRE2 would let $ and ^ match).
std::string KernelRegex(std::string_view Pattern) {
  std::string Out = "(?!(?<=\\r)\\n)(?:";
  bool InClass = false, Quoted = false;
  for (size_t I = 0; I < Pattern.size(); ++I) {
    char C = Pattern[I];
    if (Quoted) {
      if (C == '\\' && I + 1 < Pattern.size() && Pattern[I + 1] == 'E') {
        Quoted = false;
        Out += "\\E";
        ++I;
      } else {
        Out += C;
      }
      continue;
    }
    if (C == '\\' && I + 1 < Pattern.size()) {
      char N = Pattern[++I];
      if (N == 'Q') Quoted = true;
      if (!InClass && N == 'r' && Pattern.substr(I + 1, 2) == "\\n") {
        Out += "\\r\\n";
        I += 2;
      } else if (!InClass && N == 'n') Out += "(?:\\r\\n|\\n)";
      else if (!InClass && N == 'r') Out += "(?:\\r\\n|\\r)";
      else (Out += '\\') += N;
      continue;
    }
    if (!InClass && C == '[') {
      InClass = true;
      Out += C;
      // A ] first in the class (after ^) is a member.
      if (I + 1 < Pattern.size() && Pattern[I + 1] == '^') Out += Pattern[++I];
      if (I + 1 < Pattern.size() && Pattern[I + 1] == ']') Out += Pattern[++I];
      continue;
    }
    if (InClass && C == '[' && I + 1 < Pattern.size() && Pattern[I + 1] == ':') {
      size_t End = Pattern.find(":]", I + 2);
      if (End != std::string_view::npos) {
        Out.append(Pattern.substr(I, End + 2 - I));
        I = End + 1;
        continue;
      }
    }
    if (InClass && C == ']') InClass = false;
    Out += C;
  }
  if (Quoted) Out += "\\E";
  Out += ")(?!(?<=\\r)\\n)";
  return Out;
}

}  // namespace

TSearcher::TSearcher() = default;
TSearcher::~TSearcher() = default;

uint8_t TSearcher::Prepare(std::string_view Pattern, TSearchFlags Flags) {
  if (Pattern.empty()) return SearchEmptyString;
  if (Pattern.size() > 0xFFFF) return SearchPatternTooBig;
  FPattern.assign(Pattern);
  FFlags = Flags;
  FRegex.reset();
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
  const std::string Source = KernelRegex(Flags.Contains(sfRegExp) ? std::string(Pattern) : EscapeLiteral(Pattern));
  uint32_t Options = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE;
  if (Caseless) Options |= PCRE2_CASELESS;
  pcre2_compile_context* Ctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(Ctx, PCRE2_NEWLINE_ANYCRLF);
  int Error = 0;
  PCRE2_SIZE Offset = 0;
  auto R = std::make_unique<TRegex>();
  R->Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(Source.data()), Source.size(), Options, &Error, &Offset, Ctx);
  pcre2_compile_context_free(Ctx);
  if (!R->Code) return MapRegexError(Error);
  pcre2_jit_compile(R->Code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD);
  R->Match = pcre2_match_data_create_from_pattern(R->Code, nullptr);
  uint32_t Behind = 0;
  pcre2_pattern_info(R->Code, PCRE2_INFO_MAXLOOKBEHIND, &Behind);
  // Lookbehind counts characters; a word boundary or \R looks at one more.
  FBehind = std::min<uint64_t>(4 * (uint64_t{Behind} + 2), 1 << 16);
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

void TSearcher::KeepGroups(uint64_t Base) {
  PCRE2_SIZE* V = FRegex->Vector();
  uint32_t N = pcre2_get_ovector_count(FRegex->Match);
  FGroups.resize(2 * size_t{N});
  for (size_t I = 0; I < 2 * size_t{N}; ++I) FGroups[I] = V[I] == PCRE2_UNSET ? UINT64_MAX : Base + V[I];
}

void TSearcher::RegexScan(const TTextBuffer& Text, uint64_t From, uint64_t To, bool Anchored,
                          const std::function<uint64_t(uint64_t, uint64_t)>& OnMatch) {
  const TPieceTree& Tree = Text.Tree();
  const uint64_t N = Text.Length();
  auto InPair = [&](uint64_t P) { return P > 0 && P < N && Tree.ByteAt(P - 1) == '\r' && Tree.ByteAt(P) == '\n'; };
  // The next place a match may start: a character on, never inside a CR LF pair.
  auto Advance = [&](uint64_t P) {
    ++P;
    for (int K = 0; K < 3 && P < N && (Tree.ByteAt(P) & 0xC0) == 0x80; ++K) ++P;
    return InPair(P) ? P + 1 : P;
  };
  // The subject is a window of the text that runs across pieces and lines. It starts a little
  // before the first place a match may start (for lookbehind and word boundaries) and never
  // ends inside a CR LF pair. A match that reaches its end comes back partial, and the window
  // widens until the match is whole: a match may span the whole text. Trying one place at a
  // time needs little text.
  const uint64_t FirstWindow = Anchored ? 4096 : uint64_t{1} << 20;
  uint64_t Window = FirstWindow;
  uint64_t At = From;
  uint64_t WS = 0, WE = 0;
  bool Have = false;
  std::string Buf;
  std::string_view S;
  uint32_t Options = 0;
  while (At < To) {
    if (!Have || At >= WE) {
      WS = At > FBehind ? At - FBehind : 0;
      if (InPair(WS)) --WS;
      WE = std::min(N, At + Window);
      if (InPair(WE)) ++WE;
      S = Contiguous(Tree, WS, WE, Buf);
      Options = 0;
      if (WS > 0 && Tree.ByteAt(WS - 1) != '\r' && Tree.ByteAt(WS - 1) != '\n') Options |= PCRE2_NOTBOL;
      if (WE < N) Options |= PCRE2_PARTIAL_HARD;
      Have = true;
    }
    int Rc = FRegex->Run(S.data(), S.size(), At - WS, Options | (Anchored ? PCRE2_ANCHORED : 0));
    if (Rc == PCRE2_ERROR_PARTIAL) {
      uint64_t PS = WS + FRegex->Vector()[0];
      if (PS >= To) return;
      // A match that outgrew a window begun just before it needs a wider one.
      Window = PS - WS <= FBehind + 4 ? Window * 2 : FirstWindow;
      At = std::max(At, PS);
      Have = false;
      continue;
    }
    if (Rc < 0) {
      // No match starts before the window's end (or the pattern gave up).
      if (Rc != PCRE2_ERROR_NOMATCH || WE >= N || Anchored) return;
      At = WE;
      Window = FirstWindow;
      Have = false;
      continue;
    }
    PCRE2_SIZE* V = FRegex->Vector();
    uint64_t MS = WS + V[0], ME = WS + V[1];
    if (MS >= To) return;
    const uint64_t Found = MS;
    KeepGroups(WS);
    if (MS >= From && WordAt(Text, MS, ME - MS)) {
      uint64_t Next = OnMatch(MS, ME);
      if (Next == UINT64_MAX) return;
      At = Next > Found ? Next : Advance(Found);
    } else {
      At = Advance(Found);
    }
    if (Anchored) return;
  }
}

bool TSearcher::FindForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos, uint64_t& Len) {
  To = std::min(To, Text.Length());
  if (From >= To) return false;
  if (FUseRegex) {
    bool Found = false;
    RegexScan(Text, From, To, false, [&](uint64_t MS, uint64_t ME) {
      Pos = MS;
      Len = ME - MS;
      Found = true;
      return UINT64_MAX;
    });
    return Found;
  }
  if (!LiteralForward(Text, From, To, Pos)) return false;
  Len = FPattern.size();
  return true;
}

bool TSearcher::FindBackward(const TTextBuffer& Text, uint64_t Lo, uint64_t From, uint64_t& Pos, uint64_t& Len) {
  From = std::min(From, Text.Length());
  if (Lo >= From) return false;
  // Windows that step back from From, keeping the last match of the nearest window that has
  // one. Within a window the scan goes forward without overlapping; a later start can then
  // only lie inside the last match found, and is tried there from the right.
  uint64_t M = FPattern.size();
  uint64_t Window = 1 << 16;
  uint64_t Hi = From;
  while (Hi > Lo) {
    uint64_t WLo = Hi - Lo > Window ? Hi - Window : Lo;
    uint64_t Best = UINT64_MAX, BestEnd = 0;
    if (FUseRegex) {
      RegexScan(Text, WLo, Hi, false, [&](uint64_t MS, uint64_t ME) {
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
          RegexScan(Text, P, P + 1, true, [&](uint64_t MS, uint64_t ME) {
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
      uint64_t At = WLo, Hit;
      while (At < Hi && LiteralForward(Text, At, std::min(Text.Length(), Hi + M - 1), Hit) && Hit < Hi) {
        Best = Hit;
        BestEnd = Hit + M;
        At = Hit + 1;
      }
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
    RegexScan(Text, From, To == N ? N + 1 : To, false, [&](uint64_t MS, uint64_t ME) {
      if (!Sink(MS, ME - MS)) return UINT64_MAX;
      return ME;  // an empty match: the scan moves a character on
    });
    return;
  }
  const uint64_t M = FPattern.size();
  for (uint64_t At = From, Hit; At < To && LiteralForward(Text, At, std::min(Text.Length(), To + M - 1), Hit) && Hit < To;
       At = Hit + M)
    if (!Sink(Hit, M)) return;
}

bool TSearcher::FindIn(std::string_view Text, size_t From, size_t& Pos, size_t& Len) {
  if (FUseRegex) {
    size_t At = From;
    while (At <= Text.size()) {
      if (FRegex->Run(Text.data(), Text.size(), At, 0) < 0) return false;
      size_t MS = FRegex->Vector()[0], ME = FRegex->Vector()[1];
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
