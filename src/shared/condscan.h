// The tokens of the condition language project files use, read one at a time. The project
// files library and the build engine read conditions with different rules (which quotes,
// which comparisons, which references), so a dialect names the rules and both read their
// tokens here.
#pragma once

#include <cstddef>
#include <string_view>

namespace nxs {

struct TConditionDialect {
  std::string_view Quotes = "'";  // the characters that open (and close) a quoted text
  bool Relations = false;         // <, >, <= and >= besides == and !=
  bool ListReferences = false;    // @(..) and %(..) besides $(..)
  bool NestedReferences = false;  // $(..) and @(..) close at their matching ")", quotes skipped
  bool LeadingPlus = false;       // a word may begin with "+" (a signed number)
  bool AnySpace = false;          // every isspace() character is a blank, not only space, tab and line ends
};

enum TConditionLexeme {
  clEnd,
  clQuoted,     // Inner is the text between the quotes
  clReference,  // $(..), @(..) or %(..); Inner is what the parentheses hold
  clCompare,    // ==, !=, <, >, <=, >=
  clNot,        // ! not followed by =
  clOpen,
  clClose,
  clComma,
  clWord,       // letters, digits, "_", "-" and "."
  clInvalid,    // a character no token starts with; Unterminated for a quote or reference left open
};

struct TConditionScan {
  TConditionLexeme Kind = clEnd;
  size_t Start = 0;  // where the token begins, after blanks
  size_t End = 0;    // one past it (for an unterminated one, one past its first character)
  std::string_view Text;   // the whole token
  std::string_view Inner;  // see TConditionLexeme
  bool Unterminated = false;
};

bool IsConditionBlank(char C, const TConditionDialect& D);
bool IsConditionWordChar(char C);
// The position of the ")" that closes the "(" at Open, skipping quoted text ('..', "..",
// `..`) inside; npos if none.
size_t FindMatchingClose(std::string_view Text, size_t Open);
// The token at or after Pos (blanks skipped); clEnd at the end of Text.
TConditionScan ScanCondition(std::string_view Text, size_t Pos, const TConditionDialect& D);

}  // namespace nxs
