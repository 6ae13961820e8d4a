// UTF-8 as the kernel frames it: the shared decoder under its framing policy, so that a
// malformed byte counts as one character and every byte string has a well-defined character
// index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shared/utf8.h"

namespace nxs::ek {

// Length of the sequence that the lead byte B begins (1 for a stray or invalid byte).
inline int Utf8SeqLength(unsigned char B) { return Utf8SequenceLength(B); }

// The length of the well-formed character at S[I] (1 for malformed bytes).
inline int Utf8CharLength(std::string_view S, size_t I) { return nxs::Utf8CharLength(S, I, TUtf8Policy::Framing); }

// Decodes the character at S[I] and sets Len; a malformed byte decodes as itself.
inline uint32_t Utf8Decode(std::string_view S, size_t I, int& Len) {
  uint32_t Ch;
  bool Valid;
  Len = DecodeUtf8(S.substr(I), Ch, Valid, TUtf8Policy::Framing);
  return Ch;
}

inline void Utf8Append(std::string& Out, uint32_t Ch) { AppendUtf8(Out, Ch); }

// Characters in S[0, Bytes).
inline size_t Utf8CountChars(std::string_view S, size_t Bytes) {
  return nxs::Utf8CountChars(S, Bytes, TUtf8Policy::Framing);
}

// Byte offset of character Index in S (S.size() when S has fewer characters).
inline size_t Utf8ByteOfChar(std::string_view S, size_t Index) {
  return nxs::Utf8ByteOfChar(S, Index, TUtf8Policy::Framing);
}

}  // namespace nxs::ek
