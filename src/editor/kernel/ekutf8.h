// UTF-8 helpers of the kernel: sequence lengths, decoding, character counts. Malformed bytes
// count as one character each, so every byte string has a well-defined character index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nxs::ek {

// Length of the sequence that the lead byte B begins (1 for a stray or invalid byte).
inline int Utf8SeqLength(unsigned char B) {
  if (B < 0xC2) return 1;
  if (B < 0xE0) return 2;
  if (B < 0xF0) return 3;
  if (B < 0xF5) return 4;
  return 1;
}

// The length of the well-formed character at S[I] (1 for malformed bytes).
inline int Utf8CharLength(std::string_view S, size_t I) {
  int N = Utf8SeqLength(static_cast<unsigned char>(S[I]));
  if (N == 1 || I + N > S.size()) return 1;
  for (int K = 1; K < N; ++K)
    if ((static_cast<unsigned char>(S[I + K]) & 0xC0) != 0x80) return 1;
  return N;
}

// Decodes the character at S[I] and sets Len; a malformed byte decodes as itself.
inline uint32_t Utf8Decode(std::string_view S, size_t I, int& Len) {
  Len = Utf8CharLength(S, I);
  auto B = [&](size_t K) { return static_cast<uint32_t>(static_cast<unsigned char>(S[I + K])); };
  switch (Len) {
    case 2: return ((B(0) & 0x1F) << 6) | (B(1) & 0x3F);
    case 3: return ((B(0) & 0x0F) << 12) | ((B(1) & 0x3F) << 6) | (B(2) & 0x3F);
    case 4: return ((B(0) & 0x07) << 18) | ((B(1) & 0x3F) << 12) | ((B(2) & 0x3F) << 6) | (B(3) & 0x3F);
    default: return B(0);
  }
}

inline void Utf8Append(std::string& Out, uint32_t Ch) {
  if (Ch < 0x80) {
    Out += static_cast<char>(Ch);
  } else if (Ch < 0x800) {
    Out += static_cast<char>(0xC0 | (Ch >> 6));
    Out += static_cast<char>(0x80 | (Ch & 0x3F));
  } else if (Ch < 0x10000) {
    Out += static_cast<char>(0xE0 | (Ch >> 12));
    Out += static_cast<char>(0x80 | ((Ch >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Ch & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Ch >> 18));
    Out += static_cast<char>(0x80 | ((Ch >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Ch >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Ch & 0x3F));
  }
}

// Characters in S[0, Bytes).
inline size_t Utf8CountChars(std::string_view S, size_t Bytes) {
  size_t Count = 0;
  for (size_t I = 0; I < Bytes && I < S.size(); I += Utf8CharLength(S, I)) ++Count;
  return Count;
}

// Byte offset of character Index in S (S.size() when S has fewer characters).
inline size_t Utf8ByteOfChar(std::string_view S, size_t Index) {
  size_t I = 0;
  for (; Index > 0 && I < S.size(); --Index) I += Utf8CharLength(S, I);
  return I;
}

}  // namespace nxs::ek
