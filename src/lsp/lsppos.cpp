#include "lsp/lsppos.h"

#include "shared/utf8.h"

namespace nxs::lsp {

namespace {

// The units of the character of Length bytes at Line[At] under Encoding. The kernel frames a
// malformed byte as a character of its own: the protocol sees it as U+FFFD, one unit in
// UTF-16 and UTF-32 and, since the byte is what the client's copy holds too, one byte.
int CharUnits(std::string_view Line, size_t At, int Length, TPosEncoding Encoding) {
  switch (Encoding) {
    case TPosEncoding::Utf8: return Length;
    case TPosEncoding::Utf32: return 1;
    case TPosEncoding::Utf16: break;
  }
  // Only a four-byte sequence lies beyond the basic plane and takes a surrogate pair.
  return Length == 4 ? 2 : 1;
}

// Walks Line a character at a time until Stop(units so far, bytes so far, characters so far)
// holds before the next character; returns what was reached.
struct TWalk {
  int64_t Units = 0;
  size_t Bytes = 0;
  int32_t Chars = 0;
};

template <class TStop>
TWalk Walk(std::string_view Line, TPosEncoding Encoding, TStop Stop) {
  TWalk W;
  while (W.Bytes < Line.size()) {
    const int Length = Utf8CharLength(Line, W.Bytes, TUtf8Policy::Framing);
    const int Units = CharUnits(Line, W.Bytes, Length, Encoding);
    if (Stop(W, Units, Length)) break;
    W.Units += Units;
    W.Bytes += static_cast<size_t>(Length);
    ++W.Chars;
  }
  return W;
}

}  // namespace

const char* EncodingName(TPosEncoding Encoding) {
  switch (Encoding) {
    case TPosEncoding::Utf8: return "utf-8";
    case TPosEncoding::Utf32: return "utf-32";
    case TPosEncoding::Utf16: break;
  }
  return "utf-16";
}

int32_t UnitsToIndex(std::string_view Line, int64_t Units, TPosEncoding Encoding) {
  return Walk(Line, Encoding, [&](const TWalk& W, int CharUnits, int) { return W.Units + CharUnits > Units; }).Chars;
}

size_t UnitsToBytes(std::string_view Line, int64_t Units, TPosEncoding Encoding) {
  return Walk(Line, Encoding, [&](const TWalk& W, int CharUnits, int) { return W.Units + CharUnits > Units; }).Bytes;
}

int64_t IndexToUnits(std::string_view Line, int32_t Index, TPosEncoding Encoding) {
  return Walk(Line, Encoding, [&](const TWalk& W, int, int) { return W.Chars >= Index; }).Units;
}

int64_t BytesToUnits(std::string_view Line, size_t Offset, TPosEncoding Encoding) {
  return Walk(Line, Encoding, [&](const TWalk& W, int, int Length) { return W.Bytes + static_cast<size_t>(Length) > Offset; })
      .Units;
}

}  // namespace nxs::lsp
