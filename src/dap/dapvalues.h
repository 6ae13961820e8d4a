// The parts of a value as the debugger prints it, so that a client can open a record, a class,
// an array or a container one level at a time: "{Width = 3, Height = 4}" has the members Width
// and Height, "{1, 2, 3}" the elements [0], [1] and [2], and a container's summary
// ("std::vector of length 3, capacity 3 = {1, 2, 3}") the elements after its " = ".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nxs::dap {

struct TValuePart {
  std::string Name;   // a member's name, "<Base>", "[2]", "[key]", or "[4..19]" for a run of repeats
  std::string Value;  // as printed, itself perhaps made of parts
};

// The parts of Value, none when it is no aggregate (a number, a pointer, a string, "{}") or
// when its braces, quotes or brackets do not pair up.
std::vector<TValuePart> ValueParts(std::string_view Value);

}  // namespace nxs::dap
