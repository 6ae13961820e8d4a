// The lexers of sync edit: TSyncEditParser reads the copy of a marked block token by token
// (identifiers, strings, numbers, single characters) with the line and column of each, and
// TSyncEditTemplateParser finds the delimited point names of a code template.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

// Token kinds NextToken returns; any other character comes back as itself.
inline constexpr char toEOF = 0;
inline constexpr char toSymbol = 1;  // an identifier
inline constexpr char toString = 2;
inline constexpr char toInteger = 3;
inline constexpr char toFloat = 4;

class TSyncEditParser {
 public:
  // The text is read as it is: lines end with "\n", "\r\n" or "\r". The parser keeps a view:
  // the text must outlive it.
  explicit TSyncEditParser(std::string_view Text, bool CStyleStrings = false);
  virtual ~TSyncEditParser() = default;
  TSyncEditParser(const TSyncEditParser&) = delete;  // holds positions into the text
  TSyncEditParser& operator=(const TSyncEditParser&) = delete;

  virtual char NextToken();
  char Token() const { return FToken; }
  // The current token's text as it stands in the source.
  std::string TokenString() const;
  // Where the current token starts: line from 1, byte column and character (code point)
  // column from 0.
  int32_t SourceLine() const { return FTokenLine; }
  int32_t GetLinePos() const { return static_cast<int32_t>(FTokenPtr - FTokenLineStart); }
  int32_t DisplayPos() const { return FDisplayPos; }
  size_t TokenOffset() const { return FTokenPtr; }
  size_t TokenLength() const { return FSourcePtr - FTokenPtr; }
  // 'E', 'C' or 'D' after a float with that suffix, else 0.
  char FloatType() const { return FFloatType; }

  // An unterminated string ends at its line's end and is reported here; without a handler
  // the parser goes on silently (a block may cut a string in two).
  std::function<void(const std::string& Message, int32_t Line, int32_t Col)> FOnError;

 protected:
  void SkipBlanks();
  void Error(const std::string& Message);
  void ErrorStr(const std::string& Message, const std::string& Arg);
  char Peek(size_t Ahead = 0) const { return FSourcePtr + Ahead < FSourceEnd ? FText[FSourcePtr + Ahead] : '\0'; }
  bool AtEnd() const { return FSourcePtr >= FSourceEnd; }
  // Moves past one byte, counting lines and characters.
  void Advance();
  void StartToken();

  std::string_view FText;
  size_t FSourcePtr = 0;
  size_t FSourceEnd = 0;
  size_t FTokenPtr = 0;
  size_t FLineStart = 0;       // of the line FSourcePtr is on
  size_t FTokenLineStart = 0;  // of the line the token starts on
  int32_t FSourceLine = 1;
  int32_t FTokenLine = 1;
  int32_t FCharCol = 0;  // characters from the line start to FSourcePtr
  int32_t FDisplayPos = 0;
  char FToken = toEOF;
  char FFloatType = 0;
  bool FCStyleStrings;

 private:
  void ReadString();
  void ReadNumber();
};

// Reads the names between delimiters: "for $i$ := 1 to $n$" gives "i" and "n". A delimiter
// doubled ("$$") is not a point.
class TSyncEditTemplateParser : public TSyncEditParser {
 public:
  explicit TSyncEditTemplateParser(std::string_view Text, char Delimiter = '$');
  // Skips to the next opening delimiter; toSymbol with the name as TokenString (delimiters
  // left out), toEOF when no delimited name is left. An opening delimiter without a closing
  // one on its line is not a point.
  char NextToken() override;
  std::string TokenString() const { return std::string(FText.substr(FNameStart, FNameEnd - FNameStart)); }
  // Byte offsets of the delimited text, delimiters included: [start, end).
  size_t GetTokenStart() const { return FTokenPtr; }
  size_t GetTokenEnd() const { return FSourcePtr; }
  void SetDelimiter(char Delimiter) { FDelimiter = Delimiter; }
  char Delimiter() const { return FDelimiter; }

 private:
  char FDelimiter;
  size_t FNameStart = 0, FNameEnd = 0;
};

// A code template with its points taken out: the text to insert, and for each named point the
// places (line from 0 relative to the insertion, character index from the line start, or from
// the insertion point on the first line) where its name stands.
struct TTemplatePoint {
  std::string Name;
  struct TPlace {
    int32_t Line;
    int32_t Index;
  };
  std::vector<TPlace> Places;
};
struct TExpandedTemplate {
  std::string Text;
  std::vector<TTemplatePoint> Points;  // in the order of their first place
};
// "$$" stands for one delimiter. Line breaks are "\r\n", "\n" or "\r".
TExpandedTemplate ExpandTemplate(std::string_view Template, char Delimiter = '$');

}  // namespace nxs
