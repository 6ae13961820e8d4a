// The value parser of desktop files: a value is a comma-separated list of strings in single
// quotes (an inner quote doubled) and bare integers, such as 'main.cpp',12,'a''b'.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shared/exceptions.h"

namespace nxs {

// A value where a string is expected does not hold one.
class EDesktopParserError : public Exception {
 public:
  using Exception::Exception;
};

// Reads one value from left to right. The position is 1-based, as stored values count it.
class TDesktopParser {
 public:
  explicit TDesktopParser(std::string Value) : FValue(std::move(Value)) {}

  void Reset() { FPos = 1; }
  int Position() const { return static_cast<int>(FPos); }
  // True when only blanks and commas are left.
  bool AtEnd();
  const std::string& Value() const { return FValue; }

  // Skips blanks and commas.
  void SkipWhite();
  // The next quoted string with each doubled quote read as one. Raises EDesktopParserError
  // when the next character is not a quote, or when the string has no closing quote: a
  // value cut short is damaged, and its text must not be taken for the string.
  std::string GetString();
  // The text up to the next comma or the end as a number; 0 when it is not one. Blanks
  // before the comma are not part of the number. The comma stays for the next SkipWhite.
  int64_t GetInteger();

 private:
  std::string FValue;
  size_t FPos = 1;
};

// S in single quotes with each inner quote doubled: what GetString reads back as S.
std::string DesktopQuoted(std::string_view S);

}  // namespace nxs
