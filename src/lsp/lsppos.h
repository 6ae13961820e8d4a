// Positions of the language server's protocol and of the editor kernel. The protocol counts a
// line's characters in the units of the encoding agreed at start-up (UTF-16 code units by
// default, so that a character beyond U+FFFF counts two; bytes under UTF-8; code points
// under UTF-32); the kernel counts code points, as its decoder frames them. A tab is one
// character in both.
#pragma once

#include <cstdint>
#include <string_view>

namespace nxs::lsp {

enum class TPosEncoding { Utf16, Utf8, Utf32 };

// The protocol's name of the encoding ("utf-16", "utf-8", "utf-32").
const char* EncodingName(TPosEncoding Encoding);

// The kernel's character index of the position Units along Line. A position past the line's
// end reads as the end; one that falls inside a character (between the halves of a surrogate
// pair, inside a UTF-8 sequence) reads as that character's start.
int32_t UnitsToIndex(std::string_view Line, int64_t Units, TPosEncoding Encoding);
// The protocol's units before the kernel's character Index of Line; an index past the end
// reads as the end.
int64_t IndexToUnits(std::string_view Line, int32_t Index, TPosEncoding Encoding);
// The protocol's units before byte Offset of Line (an offset past the end reads as the end).
int64_t BytesToUnits(std::string_view Line, size_t Offset, TPosEncoding Encoding);
// The byte offset of the position Units along Line, with the same reading as UnitsToIndex.
size_t UnitsToBytes(std::string_view Line, int64_t Units, TPosEncoding Encoding);

}  // namespace nxs::lsp
