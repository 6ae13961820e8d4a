// Several needles looked for in one pass. Each needle is known by two of its bytes at fixed
// places (its two rarest, as the one-needle scan picks them); needles that share both bytes
// and places share one probe. A block of 32 places is tested against every probe with two
// compares; only places where a probe holds are compared with its needles.
#include "editor/kernel/ek.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "shared/linescan.h"

namespace nxs::ek {

namespace {

inline unsigned char Lower(unsigned char C) { return C >= 'A' && C <= 'Z' ? static_cast<unsigned char>(C + 32) : C; }
inline bool IsLetter(unsigned char C) { return (C | 0x20) >= 'a' && (C | 0x20) <= 'z'; }

// The vector scan keeps a mask per probe; more probes than this are tested one place at a time.
constexpr size_t MaxVectorProbes = 16;

}  // namespace

struct TNeedles::TImpl {
  struct TProbe {
    size_t I1, I2;
    unsigned char B1, B2;
    std::vector<uint32_t> Needles;
  };
  std::vector<std::string> Needles;
  std::vector<TProbe> Probes;
  bool Fold = false;
  size_t MinLen = 0;
  size_t Reach = 0;  // the furthest place from a needle's start that a probe compares

  bool Matches(const char* P, size_t Avail, const std::string& N) const {
    if (N.size() > Avail) return false;
    if (!Fold) return std::memcmp(P, N.data(), N.size()) == 0;
    for (size_t K = 0; K < N.size(); ++K)
      if (Lower(static_cast<unsigned char>(P[K])) != static_cast<unsigned char>(N[K])) return false;
    return true;
  }

  bool Verify(const TProbe& Pr, const char* Hay, size_t HayLen, size_t Pos) const {
    for (uint32_t N : Pr.Needles)
      if (Matches(Hay + Pos, HayLen - Pos, Needles[N])) return true;
    return false;
  }

  size_t Scalar(const char* Hay, size_t From, size_t HayLen) const {
    for (size_t Pos = From; Pos + MinLen <= HayLen; ++Pos)
      for (const auto& Pr : Probes) {
        if (Pos + Pr.I2 >= HayLen) continue;
        auto C1 = static_cast<unsigned char>(Hay[Pos + Pr.I1]), C2 = static_cast<unsigned char>(Hay[Pos + Pr.I2]);
        if (Fold) {
          C1 = Lower(C1);
          C2 = Lower(C2);
        }
        if (C1 == Pr.B1 && C2 == Pr.B2 && Verify(Pr, Hay, HayLen, Pos)) return Pos;
      }
    return std::string_view::npos;
  }

#if defined(__x86_64__)
  // The probes as vectors: each probe's two bytes, and the case bits to set before comparing.
  struct TVectors {
    __m256i V1[MaxVectorProbes], V2[MaxVectorProbes], F1[MaxVectorProbes], F2[MaxVectorProbes];
  };

  // Tests the 32 places from Block (their bytes read from Bytes) of which the first Places
  // count (those before Skip left out): the first where a needle starts, as an offset from
  // Block, or npos.
  __attribute__((target("avx2"), always_inline)) inline size_t Test(const TVectors& W, const char* Bytes, size_t Block,
                                                                    size_t Places, const char* Hay, size_t HayLen,
                                                                    size_t Skip = 0) const {
    const size_t Count = Probes.size();
    uint32_t Masks[MaxVectorProbes];
    uint32_t Any = 0;
    for (size_t P = 0; P < Count; ++P) {
      const TProbe& Pr = Probes[P];
      __m256i A = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Bytes + Pr.I1)), W.F1[P]);
      __m256i B = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Bytes + Pr.I2)), W.F2[P]);
      Masks[P] = static_cast<uint32_t>(
          _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(A, W.V1[P]), _mm256_cmpeq_epi8(B, W.V2[P]))));
      Any |= Masks[P];
    }
    if (Places < 32) Any &= (uint32_t{1} << Places) - 1;
    Any &= ~((uint32_t{1} << Skip) - 1);
    // Places in order: the first needle found is the first in the text.
    while (Any) {
      const unsigned Bit = static_cast<unsigned>(__builtin_ctz(Any));
      for (size_t P = 0; P < Count; ++P)
        if ((Masks[P] >> Bit) & 1u && Verify(Probes[P], Hay, HayLen, Block + Bit)) return Bit;
      Any &= Any - 1;
    }
    return std::string_view::npos;
  }

  __attribute__((target("avx2"))) size_t Vector(const char* Hay, size_t HayLen) const {
    TVectors W;
    for (size_t P = 0; P < Probes.size(); ++P) {
      const TProbe& Pr = Probes[P];
      W.V1[P] = _mm256_set1_epi8(static_cast<char>(Pr.B1));
      W.V2[P] = _mm256_set1_epi8(static_cast<char>(Pr.B2));
      W.F1[P] = _mm256_set1_epi8(Fold && IsLetter(Pr.B1) ? 0x20 : 0);
      W.F2[P] = _mm256_set1_epi8(Fold && IsLetter(Pr.B2) ? 0x20 : 0);
    }
    size_t I = 0;
    for (; I + Reach + 32 <= HayLen; I += 32)
      if (const size_t Hit = Test(W, Hay + I, I, 32, Hay, HayLen); Hit != std::string_view::npos) return I + Hit;
    // The last places are tested the same way, as a scan over many short runs (pieces of an
    // edited text) ends every run there: those whose probes read inside the run in the last
    // whole block (the places before I left out), the rest in a copy padded with zeros.
    if (I > 0 && I + Reach < HayLen) {
      const size_t Last = HayLen - Reach - 32;
      if (const size_t Hit = Test(W, Hay + Last, Last, 32, Hay, HayLen, I - Last); Hit != std::string_view::npos)
        return Last + Hit;
      I = HayLen - Reach;
    }
    if (I + MinLen > HayLen) return std::string_view::npos;
    alignas(32) char Tail[256];
    if (2 * Reach + 96 > sizeof Tail) return Scalar(Hay, I, HayLen);
    std::memset(Tail, 0, std::min(sizeof Tail, HayLen - I + Reach + 64));
    std::memcpy(Tail, Hay + I, HayLen - I);
    for (size_t J = 0; I + J < HayLen; J += 32)
      if (const size_t Hit = Test(W, Tail + J, I + J, HayLen - I - J, Hay, HayLen); Hit != std::string_view::npos)
        return I + J + Hit;
    return std::string_view::npos;
  }
#endif
};

TNeedles::TNeedles(std::vector<std::string> Needles, bool Fold) : F(std::make_unique<TImpl>()) {
  std::sort(Needles.begin(), Needles.end());
  Needles.erase(std::unique(Needles.begin(), Needles.end()), Needles.end());
  std::erase_if(Needles, [](const std::string& N) { return N.empty(); });
  F->Needles = std::move(Needles);
  F->Fold = Fold;
  F->MinLen = SIZE_MAX;
  for (uint32_t N = 0; N < F->Needles.size(); ++N) {
    const std::string& Needle = F->Needles[N];
    size_t I1, I2;
    RarePositions(Needle, I1, I2);
    const auto B1 = static_cast<unsigned char>(Needle[I1]), B2 = static_cast<unsigned char>(Needle[I2]);
    auto It = std::find_if(F->Probes.begin(), F->Probes.end(), [&](const TImpl::TProbe& P) {
      return P.I1 == I1 && P.I2 == I2 && P.B1 == B1 && P.B2 == B2;
    });
    if (It == F->Probes.end()) It = F->Probes.insert(F->Probes.end(), TImpl::TProbe{I1, I2, B1, B2, {}});
    It->Needles.push_back(N);
    F->MinLen = std::min(F->MinLen, Needle.size());
    F->Reach = std::max(F->Reach, I2);
  }
}

TNeedles::~TNeedles() = default;

size_t TNeedles::Find(const char* Hay, size_t HayLen) const {
  if (F->Needles.empty() || HayLen < F->MinLen) return std::string_view::npos;
  if (F->Needles.size() == 1) {
    const TImpl::TProbe& P = F->Probes.front();
    return FindLiteral(Hay, HayLen, F->Needles.front(), F->Fold, P.I1, P.I2);
  }
#if defined(__x86_64__)
  if (CpuHasAvx2() && F->Probes.size() <= MaxVectorProbes) return F->Vector(Hay, HayLen);
#endif
  return F->Scalar(Hay, 0, HayLen);
}

}  // namespace nxs::ek
