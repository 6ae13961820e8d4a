// A compiled regular expression (POSIX extended syntax) for matching names, such as the
// lists of file-name patterns that the source options name. Header-only: it wraps the C
// library's regcomp and regexec.
#pragma once

#include <regex.h>

#include <string>

namespace nxs {

class TTextPattern {
 public:
  // An expression that does not compile leaves the pattern invalid; it matches nothing.
  explicit TTextPattern(const std::string& Expression, bool IgnoreCase = true) {
    int Flags = REG_EXTENDED | REG_NOSUB | (IgnoreCase ? REG_ICASE : 0);
    FValid = ::regcomp(&FRegex, Expression.c_str(), Flags) == 0;
  }
  ~TTextPattern() {
    if (FValid) ::regfree(&FRegex);
  }
  TTextPattern(const TTextPattern&) = delete;  // owns the compiled expression
  TTextPattern& operator=(const TTextPattern&) = delete;

  bool Valid() const { return FValid; }
  // Whether the expression matches anywhere in Text (anchor it with ^ and $ for the whole).
  bool Search(const std::string& Text) const {
    return FValid && Text.find('\0') == std::string::npos && ::regexec(&FRegex, Text.c_str(), 0, nullptr, 0) == 0;
  }

 private:
  regex_t FRegex;
  bool FValid = false;
};

}  // namespace nxs
