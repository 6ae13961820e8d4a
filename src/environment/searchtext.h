// The texts of a search: the search text's form-text form, the lists a user types (masks,
// directories), the file mask match and the search group's title.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nxs {

// The form-text form of a search text: each character above 127 as "#" and its decimal code,
// a "'" at every switch between those and plain characters.
std::string FormTextOf(std::string_view Text);

// Splits at "," and ";", trimming blanks and tabs; empty items are dropped.
std::vector<std::string> SplitSearchList(std::string_view Text);
// Wildcard match of a name against a mask ("*", "?"), without regard to case; "*.*" takes
// every name, those without a dot too.
bool MatchesSearchMask(std::string_view Name, std::string_view Mask);

// The group title of a search text: cut to 20 characters with "...", "&" doubled.
std::string SearchGroupTitle(std::string_view Text);

}  // namespace nxs
