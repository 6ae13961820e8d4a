// Tab stops of a source option group: the "Tab Stops" text parsed into the rack that the
// editor kernel takes (the number of stops, the width of every tab past the last stop, and
// the stop columns).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace nxs {

// The largest column a stop may name; the kernel keeps columns in 16 bits, but lines are far
// shorter than this.
inline constexpr int MaxTabStopColumn = 1024;
inline constexpr int MaxTabStops = 64;

struct TTabStops {
  int16_t Length = 0;    // number of stops
  int16_t TabWidth = 0;  // distance between stops past the last one
  std::vector<int16_t> Stops;
};

// "8" sets a stop every eight columns; "3 5 9" sets stops at those columns and goes on
// every four (the last distance) after 9. Numbers are separated by blanks, tabs or commas
// and must ascend. Nothing for a text that does not parse.
std::optional<TTabStops> ParseTabStops(std::string_view Text);
bool TabStopsValidate(std::string_view Text);

}  // namespace nxs
