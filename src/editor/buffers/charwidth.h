// Display width of characters in the editor: how many screen columns (1 or 2) a character
// takes in the editor font, with a per-process cache for the Basic Multilingual Plane.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nxs {

// Columns the code point takes: 1 or 2.
int GetUCS4CharWidth(uint32_t Ch);
// Sum of the widths of the characters of a UTF-8 text. Each code point counts once, also
// those outside the Basic Multilingual Plane; a byte that begins no valid sequence counts
// as one column.
int CalcDisplayWidth(std::string_view Text);
// Forgets every measured width (after the editor font changed).
void ClearCharWidthsCache();

// How a width is measured when it is neither fixed nor cached. The default reads the
// kernel's East Asian width table (EkEastAsianWidth): wide and fullwidth characters take two
// columns, everything else (combining marks included, which add no advance of their own) one.
using TCharWidthMeasure = int (*)(uint32_t Ch);
int MeasureCharWidth(uint32_t Ch);
// Replaces the measure (a font-based one, or a test's); nullptr restores the default.
// The cache is cleared.
void SetCharWidthMeasure(TCharWidthMeasure Measure);

// Decodes the UTF-8 sequence at the start of Text. Returns its length in bytes (0 for an
// empty text) and the code point in Ch; a byte that begins no valid sequence gives length 1
// and Ch = the byte's value with Valid = false.
int DecodeUtf8(std::string_view Text, uint32_t& Ch, bool& Valid);
// Appends the UTF-8 form of the code point (at most 0x10FFFF).
void AppendUtf8(std::string& Out, uint32_t Ch);
// Whether the byte begins a character: it is no continuation byte of a UTF-8 sequence.
inline bool IsUtf8Lead(char C) { return (static_cast<unsigned char>(C) & 0xC0) != 0x80; }
// The characters of a UTF-8 text, counted by the bytes that begin one.
size_t Utf8CharCount(std::string_view Text);

// The length of the UTF-8 sequence that a lead byte announces (1 for ASCII and for bytes
// that cannot begin a sequence).
int Utf8SequenceLength(unsigned char Lead);

}  // namespace nxs
