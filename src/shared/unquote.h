// The reading side of CQuoted and OneLine (text.h): text they wrote, read back as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nxs {

// Reads what CQuoted wrote, starting at S[I] == '"'; leaves I behind the closing quote.
// False for text that is not such a string.
bool ReadCQuoted(std::string_view S, size_t& I, std::string& Out);
// The text OneLine wrote, back as it was: a whole quoted string unquoted, anything else as is.
std::string FromOneLine(std::string_view S);

}  // namespace nxs
