#include "shared/condscan.h"

#include <cctype>

namespace nxs {

bool IsConditionBlank(char C, const TConditionDialect& D) {
  if (D.AnySpace) return std::isspace(static_cast<unsigned char>(C)) != 0;
  return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

bool IsConditionWordChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' || C == '-' ||
         C == '.';
}

static bool IsAnyQuote(char C) { return C == '\'' || C == '"' || C == '`'; }

size_t FindMatchingClose(std::string_view Text, size_t Open) {
  int Depth = 0;
  for (size_t I = Open; I < Text.size(); ++I) {
    char C = Text[I];
    if (IsAnyQuote(C) && Depth > 0) {
      size_t E = Text.find(C, I + 1);
      if (E == std::string_view::npos) return std::string_view::npos;
      I = E;
    } else if (C == '(') {
      ++Depth;
    } else if (C == ')') {
      if (--Depth == 0) return I;
    }
  }
  return std::string_view::npos;
}

TConditionScan ScanCondition(std::string_view S, size_t Pos, const TConditionDialect& D) {
  while (Pos < S.size() && IsConditionBlank(S[Pos], D)) ++Pos;
  TConditionScan T;
  T.Start = Pos;
  auto Done = [&](TConditionLexeme Kind, size_t End) {
    T.Kind = Kind;
    T.End = End;
    T.Text = S.substr(T.Start, End - T.Start);
    return T;
  };
  auto Open = [&]() {  // a quote or reference left open
    T.Unterminated = true;
    return Done(clInvalid, Pos + 1);
  };
  if (Pos >= S.size()) return Done(clEnd, Pos);
  char C = S[Pos];
  char Next = Pos + 1 < S.size() ? S[Pos + 1] : '\0';
  if (D.Quotes.find(C) != std::string_view::npos) {
    size_t E = S.find(C, Pos + 1);
    if (E == std::string_view::npos) return Open();
    T.Inner = S.substr(Pos + 1, E - Pos - 1);
    return Done(clQuoted, E + 1);
  }
  if ((C == '$' || (D.ListReferences && (C == '@' || C == '%'))) && Next == '(') {
    size_t E = D.NestedReferences && C != '%' ? FindMatchingClose(S, Pos + 1) : S.find(')', Pos + 2);
    if (E == std::string_view::npos) return Open();
    T.Inner = S.substr(Pos + 2, E - Pos - 2);
    return Done(clReference, E + 1);
  }
  if ((C == '=' || C == '!') && Next == '=') return Done(clCompare, Pos + 2);
  if (C == '!') return Done(clNot, Pos + 1);
  if (D.Relations && (C == '<' || C == '>')) return Done(clCompare, Next == '=' ? Pos + 2 : Pos + 1);
  if (C == '(') return Done(clOpen, Pos + 1);
  if (C == ')') return Done(clClose, Pos + 1);
  if (C == ',') return Done(clComma, Pos + 1);
  if (IsConditionWordChar(C) || (D.LeadingPlus && C == '+')) {
    size_t E = Pos + 1;
    while (E < S.size() && IsConditionWordChar(S[E])) ++E;
    return Done(clWord, E);
  }
  return Done(clInvalid, Pos + 1);
}

}  // namespace nxs
