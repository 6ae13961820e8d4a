#include "options/tabstops.h"

#include <string>

#include "shared/text.h"

namespace nxs {

std::optional<TTabStops> ParseTabStops(std::string_view Text) {
  TTabStops R;
  std::string Word;
  auto Flush = [&]() -> bool {
    if (Word.empty()) return true;
    auto N = IsWholeNumber(Word) && Word.size() <= 5 ? TryStrToInt(Word) : std::nullopt;
    Word.clear();
    if (!N || *N < 1 || *N > MaxTabStopColumn) return false;
    if (!R.Stops.empty() && *N <= R.Stops.back()) return false;
    if (R.Stops.size() >= MaxTabStops) return false;
    R.Stops.push_back(static_cast<int16_t>(*N));
    return true;
  };
  for (char C : Text) {
    if (C == ' ' || C == '\t' || C == ',') {
      if (!Flush()) return std::nullopt;
      continue;
    }
    Word += C;
  }
  if (!Flush() || R.Stops.empty()) return std::nullopt;
  R.Length = static_cast<int16_t>(R.Stops.size());
  size_t N = R.Stops.size();
  R.TabWidth = N == 1 ? R.Stops[0] : static_cast<int16_t>(R.Stops[N - 1] - R.Stops[N - 2]);
  return R;
}

bool TabStopsValidate(std::string_view Text) { return ParseTabStops(Text).has_value(); }

}  // namespace nxs
