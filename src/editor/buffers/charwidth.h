// Display width of characters in the editor: how many screen columns (1 or 2) a character
// takes in the editor font, with a per-process cache for the Basic Multilingual Plane.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shared/utf8.h"  // the decoder and encoder the editor measures with

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

}  // namespace nxs
