// The runs of characters a regular expression requires: a scan for them finds the lines that
// may hold a match, or the places where one may start, so that the expression runs there only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nxs {

// Needles one of which every match of Pattern (the kernel's expression syntax) holds, each
// of at least two bytes and none holding another; in lower case when Fold (the scan then
// folds ASCII letters). Each branch of an alternation gives its own needles, and a small
// class or an optional piece multiplies them, up to a few dozen. Empty when no such set is
// known: a construct that changes how the rest reads (options, verbs, recursion) gives up,
// and where case is folded a character that folds beyond ASCII ("k", "s", non-ASCII) ends a
// run.
std::vector<std::string> RequiredLiterals(std::string_view Pattern, bool Fold);

// Needles one of which every match of Pattern starts with, each of at least two bytes and
// none starting with another; as for RequiredLiterals in lower case when Fold. Empty when no
// such set is known, and for a pattern with \G (its matches depend on where the search
// starts) or \K (a match starts elsewhere than where the engine began it).
std::vector<std::string> LeadingLiterals(std::string_view Pattern, bool Fold);

}  // namespace nxs
