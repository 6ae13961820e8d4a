// The condition language of project files: ==, !=, <, >, <=, >=, and, or, !, parentheses,
// Exists() and HasTrailingSlash(). Strings compare without regard to case, numbers (decimal
// and hexadecimal) as numbers, Booleans as the engine reads them (true/on/yes, false/off/no,
// each negated by a leading "!"). "and" and "or" stop early, so the unevaluated side is only
// checked for its syntax.
#pragma once

#include <string_view>

#include "build/engine/project.h"

namespace nxs::engine {

// True for an empty condition. A malformed one raises EEngineError naming the place, the
// condition and the position in it; it never reads as false.
bool EvaluateCondition(std::string_view Condition, const TExpandContext& Ctx);

}  // namespace nxs::engine
