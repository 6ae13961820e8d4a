// Line breaks found with vector instructions: the one scanner of CR and LF bytes, and the one
// check of what the processor offers. Callers decide what a break is (CR LF as one break, a
// CR at the end of a block waiting for the next); this finds the bytes, fast.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace nxs {

// Whether the processor runs AVX2 code; asked once per process.
inline bool CpuHasAvx2() {
#if defined(__x86_64__)
  static const bool Has = __builtin_cpu_supports("avx2");
  return Has;
#else
  return false;
#endif
}

namespace detail {

#if defined(__x86_64__)
// The vector parts of ForEachBreakByte: blocks of 32 (or 16) bytes from I on; I is left where
// fewer than a block remain.
template <typename TVisit>
__attribute__((target("avx2"))) void BreakBytesAvx2(const char* Data, size_t& I, size_t To, TVisit& Visit) {
  const __m256i LF = _mm256_set1_epi8('\n');
  const __m256i CR = _mm256_set1_epi8('\r');
  for (; I + 32 <= To; I += 32) {
    __m256i V = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Data + I));
    uint32_t Mask = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(V, LF), _mm256_cmpeq_epi8(V, CR))));
    while (Mask) {
      Visit(I + static_cast<size_t>(__builtin_ctz(Mask)));
      Mask &= Mask - 1;
    }
  }
}

template <typename TVisit>
void BreakBytesSse2(const char* Data, size_t& I, size_t To, TVisit& Visit) {
  const __m128i LF = _mm_set1_epi8('\n');
  const __m128i CR = _mm_set1_epi8('\r');
  for (; I + 16 <= To; I += 16) {
    __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + I));
    uint32_t Mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(V, LF), _mm_cmpeq_epi8(V, CR))));
    while (Mask) {
      Visit(I + static_cast<size_t>(__builtin_ctz(Mask)));
      Mask &= Mask - 1;
    }
  }
}
#endif

}  // namespace detail

// Calls Visit(Offset) for every CR or LF byte in Data[From, To), in order.
template <typename TVisit>
void ForEachBreakByte(const char* Data, size_t From, size_t To, TVisit&& Visit) {
  size_t I = From;
#if defined(__x86_64__)
  if (CpuHasAvx2()) detail::BreakBytesAvx2(Data, I, To, Visit);
  else detail::BreakBytesSse2(Data, I, To, Visit);
#endif
  for (; I < To; ++I)
    if (Data[I] == '\n' || Data[I] == '\r') Visit(I);
}

// The LF bytes in Data[0, Size); HasCr is set when a CR is among them (left as it was when
// none is), so that a caller can count lines by LFs alone where no CR can pair with one.
size_t CountLineFeeds(const char* Data, size_t Size, bool& HasCr);

// How many bytes at the start of Data[0, Size) are ASCII (below 0x80): where the first byte
// that takes a closer look is, Size when there is none.
size_t AsciiPrefix(const char* Data, size_t Size);

}  // namespace nxs
