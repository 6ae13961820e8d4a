// Colours of the editor's display elements (0x00BBGGRR) on a terminal: the nearest entry of the
// 256-colour palette where the terminal has it, of the eight basic colours otherwise.
#pragma once

#include <cstdint>

#include "terminal/cells.h"

namespace nxs {
class TAttributeArray;
}

namespace nxs::term {

class TPalette {
 public:
  // Colours: what the terminal offers (8, 16, 256 or more); fewer than 8 shows no colour.
  explicit TPalette(int Colors) : FColors(Colors) {}
  int Colors() const { return FColors; }
  // The palette index nearest to the colour; -1 without colours.
  int16_t Index(int32_t BGR) const;
  // The cell style of a display element: its colours and its font style as attributes. On a
  // terminal without colours the marked elements show reversed.
  TCellStyle ElementStyle(const TAttributeArray& Colors, int Element) const;

 private:
  int FColors;
};

}  // namespace nxs::term
