// The desktop value parser.
#include "shared/deskparse.h"

#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/text.h"

namespace nxs {

void TDesktopParser::SkipWhite() {
  while (FPos <= FValue.size() && (FValue[FPos - 1] == ' ' || FValue[FPos - 1] == ',')) ++FPos;
}

bool TDesktopParser::AtEnd() {
  SkipWhite();
  return FPos > FValue.size();
}

std::string TDesktopParser::GetString() {
  SkipWhite();
  if (FPos > FValue.size() || FValue[FPos - 1] != '\'')
    throw EDesktopParserError(Format(res::SDesktopStringExpected, FValue, static_cast<int>(FPos)));
  const size_t Start = FPos;
  std::string R;
  size_t I = FPos;  // 0-based index of the character after the opening quote
  for (;;) {
    if (I >= FValue.size())
      throw EDesktopParserError(Format(res::SDesktopStringUnclosed, FValue, static_cast<int>(Start)));
    const char C = FValue[I];
    if (C != '\'') {
      R += C;
      ++I;
      continue;
    }
    if (I + 1 < FValue.size() && FValue[I + 1] == '\'') {
      R += '\'';
      I += 2;
      continue;
    }
    FPos = I + 2;  // past the closing quote, 1-based
    return R;
  }
}

int64_t TDesktopParser::GetInteger() {
  SkipWhite();
  const size_t From = FPos - 1;
  size_t To = FValue.find(',', From);
  if (To == std::string::npos) To = FValue.size();
  FPos = To + 1;
  std::string_view Text(FValue.data() + From, To - From);
  while (!Text.empty() && Text.back() == ' ') Text.remove_suffix(1);
  return StrToIntDef(Text, 0);
}

std::string DesktopQuoted(std::string_view S) {
  std::string R = "'";
  for (char C : S) {
    if (C == '\'') R += '\'';
    R += C;
  }
  R += '\'';
  return R;
}

}  // namespace nxs
