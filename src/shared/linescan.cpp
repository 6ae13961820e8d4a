#include "shared/linescan.h"

#include <algorithm>

namespace nxs {

namespace {

#if defined(__x86_64__)
// CountLineFeeds's blocks of 32 bytes, from I on; I is left where fewer than 32 remain.
__attribute__((target("avx2"))) size_t CountLfAvx2(const char* P, size_t N, size_t& I, bool& HasCr) {
  size_t Count = 0;
  const __m256i Lf = _mm256_set1_epi8('\n'), Cr = _mm256_set1_epi8('\r');
  __m256i AnyCr = _mm256_setzero_si256();
  while (I + 32 <= N) {
    // Per byte lane, up to 255 blocks are counted before the lanes are summed.
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

// AsciiPrefix's blocks of 128 bytes, then of 32, from I on.
__attribute__((target("avx2"))) void AsciiAvx2(const char* P, size_t N, size_t& I) {
  for (; I + 128 <= N; I += 128) {
    const __m256i A = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P + I));
    const __m256i B = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P + I + 32));
    const __m256i C = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P + I + 64));
    const __m256i D = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P + I + 96));
    if (_mm256_movemask_epi8(_mm256_or_si256(_mm256_or_si256(A, B), _mm256_or_si256(C, D)))) break;
  }
  for (; I + 32 <= N; I += 32) {
    const uint32_t Mask = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(P + I))));
    if (Mask) {
      I += static_cast<size_t>(__builtin_ctz(Mask));
      return;
    }
  }
}
#endif

}  // namespace

size_t AsciiPrefix(const char* P, size_t N) {
  size_t I = 0;
#if defined(__x86_64__)
  if (CpuHasAvx2()) {
    AsciiAvx2(P, N, I);
    if (I + 32 <= N) return I;  // stopped at a high byte
  }
  for (; I + 16 <= N; I += 16) {
    const uint32_t Mask =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + I))));
    if (Mask) return I + static_cast<size_t>(__builtin_ctz(Mask));
  }
#endif
  while (I < N && static_cast<unsigned char>(P[I]) < 0x80) ++I;
  return I;
}

size_t CountLineFeeds(const char* P, size_t N, bool& HasCr) {
  size_t Count = 0, I = 0;
#if defined(__x86_64__)
  if (CpuHasAvx2()) Count = CountLfAvx2(P, N, I, HasCr);
  const __m128i Lf = _mm_set1_epi8('\n'), Cr = _mm_set1_epi8('\r');
  __m128i AnyCr = _mm_setzero_si128();
  while (I + 16 <= N) {
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

}  // namespace nxs
