// Search patterns written in the BRIEF regular-expression dialect, converted to the
// kernel's own regular-expression syntax.
#pragma once

#include <string>
#include <string_view>

namespace nxs {

// The kernel accepts patterns of at most this many bytes.
inline constexpr size_t MaxKernelPatternLength = 255;

// Converts a BRIEF pattern. The result never exceeds MaxKernelPatternLength bytes: the
// conversion stops before the first piece that would not fit whole, so an escape or a
// multi-byte character is never cut in half. An empty pattern comes back empty.
std::string BriefToEk(std::string_view Pattern);

}  // namespace nxs
