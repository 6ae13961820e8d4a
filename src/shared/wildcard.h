// Wildcard patterns over one name: the one matcher of the tree. "*" matches any run of bytes
// and "?" any one byte; a "/" is a byte like any other, so callers that match paths split
// them into names first. Bracket sets and the backslash are literal unless asked for.
#pragma once

#include <string_view>

namespace nxs {

enum TWildcardFlag : unsigned {
  // ASCII letters match either case (in a set's ranges too: "[A-Z]" takes "q").
  wfIgnoreCase = 1,
  // Sets as a shell reads them: "[abc]", "[a-z]", "[!x]" or "[^x]", "[[:digit:]]" (the class
  // tests the byte as it stands, without folding); "]" first in a set is a member, and a "["
  // that no "]" closes is literal. "\" makes the next character literal, and a pattern
  // ending in a lone "\" matches nothing.
  wfClasses = 2,
};

// Whether Name matches Pattern as a whole. Flags combine TWildcardFlag values.
bool MatchesWildcard(std::string_view Pattern, std::string_view Name, unsigned Flags = 0);

// Whether Pattern holds anything but literal text: "*" or "?", and "[" with wfClasses.
bool HasWildcards(std::string_view Pattern, unsigned Flags = 0);

}  // namespace nxs
