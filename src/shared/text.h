// String helpers used everywhere: comparisons without regard to case (ASCII letters fold;
// other bytes compare as they are), trimming, number conversion, splitting and joining.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

inline char AsciiLower(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C; }
inline char AsciiUpper(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C; }
// The value of a hexadecimal digit in either case, or -1 for any other character.
inline int HexDigitValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

bool SameText(std::string_view A, std::string_view B);
// <0, 0, >0 like strcmp, without regard to case.
int CompareText(std::string_view A, std::string_view B);
bool StartsText(std::string_view Prefix, std::string_view S);
bool EndsText(std::string_view Suffix, std::string_view S);
// Position of Needle in S without regard to case, or npos.
size_t FindText(std::string_view S, std::string_view Needle, size_t From = 0);
bool ContainsText(std::string_view S, std::string_view Needle);

std::string UpperCase(std::string_view S);
std::string LowerCase(std::string_view S);

// Trim removes characters up to and including the blank (control characters too).
std::string Trim(std::string_view S);
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);

std::string IntToStr(int64_t Value);
// Decimal, optional sign, optional "$" or "0x" hexadecimal prefix; surrounding blanks refused.
std::optional<int64_t> TryStrToInt(std::string_view S);
int64_t StrToIntDef(std::string_view S, int64_t Default);
// True for a non-empty run of decimal digits.
bool IsWholeNumber(std::string_view S);
// Text as a number from Min to Max, blanks around it ignored; anything else raises Exception
// in the one wording commands use for numbers: "WHAT takes a number from MIN to MAX", without
// "to MAX" when Open (the type's own limit).
int64_t CheckedNumber(const std::string& What, std::string_view Text, int64_t Min, int64_t Max, bool Open);
// A number given as a word of a command (a script's LINE, N), as CheckedNumber reads it.
template <class T>
T IntArgument(std::string_view Text, const std::string& What, T Min, T Max = std::numeric_limits<T>::max()) {
  return static_cast<T>(CheckedNumber(What, Text, Min, Max, Max == std::numeric_limits<T>::max()));
}

std::vector<std::string> Split(std::string_view S, char Separator);
// The line of Text that starts at Pos, without its break (LF or CR LF), and Pos moved past it;
// false once Pos is at the end. A last line without a break is a line; an empty text has none.
// The readers of the line-based files go through it: for (std::string_view L; NextLine(T, Pos, L);)
bool NextLine(std::string_view Text, size_t& Pos, std::string_view& Line);
std::string Join(const std::vector<std::string>& Parts, std::string_view Separator);
// Every occurrence of From in S, left to right, as To: plain text, no pattern (the editor's
// ReplaceAll replaces the matches of a search pattern in a view).
std::string ReplaceAllText(std::string_view S, std::string_view From, std::string_view To);
// S in double quotes with C-style escapes for the backslash, the quote and every control
// character ("\n", "\x01"): one line, whatever S holds.
std::string CQuoted(std::string_view S);
// S as it is when it is one line that cannot be taken for quoted text; else CQuoted(S).
std::string OneLine(std::string_view S);

// Hash and equality for unordered containers keyed without regard to case.
struct CaseInsensitiveHash {
  size_t operator()(std::string_view S) const noexcept;
};
struct CaseInsensitiveEqual {
  bool operator()(std::string_view A, std::string_view B) const noexcept { return SameText(A, B); }
};
struct CaseInsensitiveLess {
  bool operator()(std::string_view A, std::string_view B) const noexcept { return CompareText(A, B) < 0; }
};

// MSBuild's escaping of a literal text, such as a file name, in an item's include, a
// metadata value or a task parameter: each of % * ? @ $ ( ) ; ' as "%" and two upper-case
// hexadecimal digits, so that the engine takes it as it stands and not as a property, an
// item list, a wildcard or a list separator.
std::string MSBuildEscape(std::string_view Text);
// The reverse: each "%" followed by two hexadecimal digits is that character; any other
// "%" stays as it is.
std::string MSBuildUnescape(std::string_view Text);

}  // namespace nxs
