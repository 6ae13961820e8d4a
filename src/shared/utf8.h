// UTF-8: the one decoder and encoder of the tree. A malformed byte always stands for itself
// as one character of length 1, so every byte string has a well-defined character index;
// what counts as malformed is the caller's policy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nxs {

enum class TUtf8Policy {
  // A lead byte C2..F4 with the continuation bytes it announces is one character, whatever
  // value they spell. The editor kernel counts so: it never refuses text, and a sequence
  // keeps its length whether or not it spells a scalar value.
  Framing,
  // As Framing, and overlong forms, surrogates and values past U+10FFFF are malformed too:
  // for width tables, file formats and anything that must be a real character.
  Strict,
};

// The length of the sequence that a lead byte announces: 2 for C2..DF, 3 for E0..EF, 4 for
// F0..F4, and 1 for ASCII and for bytes that cannot begin a sequence.
inline int Utf8SequenceLength(unsigned char Lead) {
  if (Lead < 0xC2) return 1;
  if (Lead < 0xE0) return 2;
  if (Lead < 0xF0) return 3;
  if (Lead < 0xF5) return 4;
  return 1;
}

// Whether the byte begins a character: it is no continuation byte of a UTF-8 sequence.
inline bool IsUtf8Lead(char C) { return (static_cast<unsigned char>(C) & 0xC0) != 0x80; }

// Decodes the sequence at the start of Text. Returns its length in bytes (0 for an empty
// text) and the code point in Ch; a byte that begins no well-formed sequence under Policy
// gives length 1 and Ch = the byte's value, with Valid = false.
inline int DecodeUtf8(std::string_view Text, uint32_t& Ch, bool& Valid, TUtf8Policy Policy = TUtf8Policy::Strict) {
  Valid = false;
  Ch = 0;
  if (Text.empty()) return 0;
  const auto* P = reinterpret_cast<const unsigned char*>(Text.data());
  Ch = P[0];
  const int Len = Utf8SequenceLength(P[0]);
  if (Len == 1) {
    Valid = P[0] < 0x80;
    return 1;
  }
  if (static_cast<size_t>(Len) > Text.size()) return 1;
  uint32_t C = P[0] & (0xFFu >> (Len + 1));
  for (int I = 1; I < Len; ++I) {
    if ((P[I] & 0xC0) != 0x80) return 1;
    C = (C << 6) | (P[I] & 0x3Fu);
  }
  if (Policy == TUtf8Policy::Strict) {
    static constexpr uint32_t Min[] = {0, 0, 0x80, 0x800, 0x10000};
    if (C < Min[Len] || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) return 1;
  }
  Ch = C;
  Valid = true;
  return Len;
}

// The length of the character at S[I] under Policy (1 for a malformed byte). I < S.size().
inline int Utf8CharLength(std::string_view S, size_t I, TUtf8Policy Policy) {
  const int N = Utf8SequenceLength(static_cast<unsigned char>(S[I]));
  if (N == 1 || I + N > S.size()) return 1;
  for (int K = 1; K < N; ++K)
    if ((static_cast<unsigned char>(S[I + K]) & 0xC0) != 0x80) return 1;
  if (Policy == TUtf8Policy::Framing) return N;
  uint32_t Ch;
  bool Valid;
  return DecodeUtf8(S.substr(I, N), Ch, Valid, Policy);
}

// Appends the UTF-8 form of the code point (at most 0x10FFFF).
inline void AppendUtf8(std::string& Out, uint32_t Ch) {
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

// The characters of a UTF-8 text, counted by the bytes that begin one.
inline size_t Utf8CharCount(std::string_view Text) {
  size_t N = 0;
  for (char C : Text) N += IsUtf8Lead(C);
  return N;
}

// Characters in S[0, Bytes) as Policy frames them.
inline size_t Utf8CountChars(std::string_view S, size_t Bytes, TUtf8Policy Policy) {
  size_t Count = 0;
  for (size_t I = 0; I < Bytes && I < S.size(); I += Utf8CharLength(S, I, Policy)) ++Count;
  return Count;
}

// Byte offset of character Index in S as Policy frames them (S.size() when S has fewer).
inline size_t Utf8ByteOfChar(std::string_view S, size_t Index, TUtf8Policy Policy) {
  size_t I = 0;
  for (; Index > 0 && I < S.size(); --Index) I += Utf8CharLength(S, I, Policy);
  return I;
}

}  // namespace nxs
