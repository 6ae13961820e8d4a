#include "editor/language/syncparser.h"

#include <algorithm>

#include "editor/buffers/charwidth.h"
#include "shared/format.h"

namespace nxs {

namespace {

bool IsLetter(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_'; }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsHex(char C) { return IsDigit(C) || (C >= 'A' && C <= 'F') || (C >= 'a' && C <= 'f'); }
bool IsMultiByte(char C) { return static_cast<unsigned char>(C) >= 0x80; }
bool IsIdentChar(char C) { return IsLetter(C) || IsDigit(C) || IsMultiByte(C); }
bool IsLineEnd(char C) { return C == '\r' || C == '\n'; }

}  // namespace

TSyncEditParser::TSyncEditParser(std::string_view Text, bool CStyleStrings)
    : FText(Text), FSourceEnd(Text.size()), FCStyleStrings(CStyleStrings) {}

void TSyncEditParser::Advance() {
  const char C = FText[FSourcePtr++];
  if (C == '\n' || (C == '\r' && Peek() != '\n')) {
    ++FSourceLine;
    FLineStart = FSourcePtr;
    FCharCol = 0;
  } else if (IsUtf8Lead(C)) {
    ++FCharCol;
  }
}

void TSyncEditParser::SkipBlanks() {
  while (!AtEnd() && static_cast<unsigned char>(Peek()) <= ' ') Advance();
}

void TSyncEditParser::StartToken() {
  FTokenPtr = FSourcePtr;
  FTokenLine = FSourceLine;
  FTokenLineStart = FLineStart;
  FDisplayPos = FCharCol;
  FFloatType = 0;
}

void TSyncEditParser::Error(const std::string& Message) {
  if (FOnError) FOnError(Message, FTokenLine, GetLinePos());
}

void TSyncEditParser::ErrorStr(const std::string& Message, const std::string& Arg) { Error(Format(Message, Arg)); }

std::string TSyncEditParser::TokenString() const { return std::string(FText.substr(FTokenPtr, FSourcePtr - FTokenPtr)); }

void TSyncEditParser::ReadString() {
  // Pascal joins quoted parts and "#" character codes into one string ('a'#13'b', 'it''s');
  // with C rules a backslash escapes the next character and nothing joins.
  for (;;) {
    const char C = Peek();
    if (C == '\'' || C == '"') {
      const char Quote = C;
      Advance();
      for (;;) {
        if (AtEnd() || IsLineEnd(Peek())) {
          ErrorStr("Unterminated string at %s", TokenString());
          return;
        }
        const char D = Peek();
        if (FCStyleStrings && D == '\\') {
          Advance();
          if (!AtEnd() && !IsLineEnd(Peek())) Advance();
          continue;
        }
        Advance();
        if (D == Quote) break;
      }
      if (FCStyleStrings) return;
    } else if (C == '#' && !FCStyleStrings) {
      Advance();
      if (Peek() == '$') {
        Advance();
        while (IsHex(Peek())) Advance();
      } else {
        while (IsDigit(Peek())) Advance();
      }
    } else {
      return;
    }
  }
}

void TSyncEditParser::ReadNumber() {
  FToken = toInteger;
  while (IsDigit(Peek())) Advance();
  if (Peek() == '.' && IsDigit(Peek(1))) {
    FToken = toFloat;
    Advance();
    while (IsDigit(Peek())) Advance();
  }
  if ((Peek() == 'e' || Peek() == 'E') &&
      (IsDigit(Peek(1)) || ((Peek(1) == '+' || Peek(1) == '-') && IsDigit(Peek(2))))) {
    FToken = toFloat;
    Advance();
    if (!IsDigit(Peek())) Advance();
    while (IsDigit(Peek())) Advance();
  }
  if (FToken == toFloat) {
    const char S = Peek();
    if (S == 'c' || S == 'C' || S == 'd' || S == 'D') FFloatType = static_cast<char>(S & ~0x20);
  }
  // Suffixes and C's radix prefixes (10UL, 1.5f, 0x1F) belong to the number: a number never
  // runs into an identifier.
  while (IsIdentChar(Peek())) Advance();
}

char TSyncEditParser::NextToken() {
  SkipBlanks();
  StartToken();
  if (AtEnd()) return FToken = toEOF;
  const char C = Peek();
  if (IsLetter(C) || IsMultiByte(C)) {
    while (IsIdentChar(Peek())) Advance();
    return FToken = toSymbol;
  }
  if (C == '\'' || C == '"' || (C == '#' && !FCStyleStrings && (IsDigit(Peek(1)) || Peek(1) == '$'))) {
    ReadString();
    return FToken = toString;
  }
  if (C == '$' && IsHex(Peek(1))) {
    Advance();
    while (IsHex(Peek())) Advance();
    return FToken = toInteger;
  }
  if (IsDigit(C)) {
    ReadNumber();
    return FToken;
  }
  Advance();
  return FToken = C;
}

// ---- templates ----

TSyncEditTemplateParser::TSyncEditTemplateParser(std::string_view Text, char Delimiter)
    : TSyncEditParser(Text), FDelimiter(Delimiter) {}

char TSyncEditTemplateParser::NextToken() {
  while (!AtEnd()) {
    if (Peek() != FDelimiter) {
      Advance();
      continue;
    }
    StartToken();
    Advance();
    if (Peek() == FDelimiter) {  // a doubled delimiter is text
      Advance();
      continue;
    }
    const size_t Name = FSourcePtr;
    while (!AtEnd() && Peek() != FDelimiter && !IsLineEnd(Peek())) Advance();
    if (AtEnd() || Peek() != FDelimiter) continue;  // no closing delimiter on this line
    FNameStart = Name;
    FNameEnd = FSourcePtr;
    Advance();
    return FToken = toSymbol;
  }
  StartToken();
  return FToken = toEOF;
}

TExpandedTemplate ExpandTemplate(std::string_view Template, char Delimiter) {
  TExpandedTemplate R;
  int32_t Line = 0, Index = 0;
  auto Append = [&](std::string_view Text) {
    for (size_t I = 0; I < Text.size(); ++I) {
      const char C = Text[I];
      if (C == Delimiter && I + 1 < Text.size() && Text[I + 1] == Delimiter) ++I;
      R.Text += C;
      if (C == '\n' || (C == '\r' && (I + 1 >= Text.size() || Text[I + 1] != '\n'))) {
        ++Line;
        Index = 0;
      } else if (C != '\r' && IsUtf8Lead(C)) {
        ++Index;
      }
    }
  };
  TSyncEditTemplateParser P(Template, Delimiter);
  size_t Done = 0;
  while (P.NextToken() == toSymbol) {
    Append(Template.substr(Done, P.GetTokenStart() - Done));
    const std::string Name = P.TokenString();
    auto It = std::find_if(R.Points.begin(), R.Points.end(), [&](const TTemplatePoint& T) { return T.Name == Name; });
    if (It == R.Points.end()) {
      R.Points.push_back({Name, {}});
      It = std::prev(R.Points.end());
    }
    It->Places.push_back({Line, Index});
    Append(Name);
    Done = P.GetTokenEnd();
  }
  Append(Template.substr(Done));
  return R;
}

}  // namespace nxs
