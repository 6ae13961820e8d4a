#include "shared/text.h"

#include <charconv>
#include <cstdio>

#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/resstrings.h"

namespace nxs {

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (AsciiLower(A[I]) != AsciiLower(B[I])) return false;
  return true;
}

int CompareText(std::string_view A, std::string_view B) {
  size_t N = A.size() < B.size() ? A.size() : B.size();
  for (size_t I = 0; I < N; ++I) {
    unsigned char X = static_cast<unsigned char>(AsciiLower(A[I]));
    unsigned char Y = static_cast<unsigned char>(AsciiLower(B[I]));
    if (X != Y) return X < Y ? -1 : 1;
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -1 : 1;
}

bool StartsText(std::string_view Prefix, std::string_view S) {
  return S.size() >= Prefix.size() && SameText(S.substr(0, Prefix.size()), Prefix);
}

bool EndsText(std::string_view Suffix, std::string_view S) {
  return S.size() >= Suffix.size() && SameText(S.substr(S.size() - Suffix.size()), Suffix);
}

size_t FindText(std::string_view S, std::string_view Needle, size_t From) {
  if (Needle.empty()) return From <= S.size() ? From : std::string_view::npos;
  for (size_t I = From; I + Needle.size() <= S.size(); ++I)
    if (SameText(S.substr(I, Needle.size()), Needle)) return I;
  return std::string_view::npos;
}

bool ContainsText(std::string_view S, std::string_view Needle) {
  return FindText(S, Needle) != std::string_view::npos;
}

std::string UpperCase(std::string_view S) {
  std::string R(S);
  for (char& C : R) C = AsciiUpper(C);
  return R;
}

std::string LowerCase(std::string_view S) {
  std::string R(S);
  for (char& C : R) C = AsciiLower(C);
  return R;
}

static bool IsBlank(char C) { return static_cast<unsigned char>(C) <= ' '; }

std::string Trim(std::string_view S) {
  size_t B = 0, E = S.size();
  while (B < E && IsBlank(S[B])) ++B;
  while (E > B && IsBlank(S[E - 1])) --E;
  return std::string(S.substr(B, E - B));
}

std::string TrimLeft(std::string_view S) {
  size_t B = 0;
  while (B < S.size() && IsBlank(S[B])) ++B;
  return std::string(S.substr(B));
}

std::string TrimRight(std::string_view S) {
  size_t E = S.size();
  while (E > 0 && IsBlank(S[E - 1])) --E;
  return std::string(S.substr(0, E));
}

std::string IntToStr(int64_t Value) { return std::to_string(Value); }

std::optional<int64_t> TryStrToInt(std::string_view S) {
  if (S.empty()) return std::nullopt;
  bool Neg = false;
  size_t I = 0;
  if (S[0] == '-' || S[0] == '+') {
    Neg = S[0] == '-';
    I = 1;
  }
  int Base = 10;
  if (I < S.size() && S[I] == '$') {
    Base = 16;
    ++I;
  } else if (I + 1 < S.size() && S[I] == '0' && (S[I + 1] == 'x' || S[I + 1] == 'X')) {
    Base = 16;
    I += 2;
  }
  if (I >= S.size()) return std::nullopt;
  uint64_t V = 0;
  auto [Ptr, Ec] = std::from_chars(S.data() + I, S.data() + S.size(), V, Base);
  if (Ec != std::errc() || Ptr != S.data() + S.size()) return std::nullopt;
  if (Base == 16 && !Neg && V <= UINT32_MAX && V > INT32_MAX) return static_cast<int32_t>(static_cast<uint32_t>(V));
  if (Neg) {
    if (V > static_cast<uint64_t>(INT64_MAX) + 1) return std::nullopt;
    return static_cast<int64_t>(0 - V);
  }
  if (V > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
  return static_cast<int64_t>(V);
}

int64_t StrToIntDef(std::string_view S, int64_t Default) {
  auto V = TryStrToInt(S);
  return V ? *V : Default;
}

bool IsWholeNumber(std::string_view S) {
  if (S.empty()) return false;
  for (char C : S)
    if (C < '0' || C > '9') return false;
  return true;
}

int64_t CheckedNumber(const std::string& What, std::string_view Text, int64_t Min, int64_t Max, bool Open) {
  const std::optional<int64_t> N = TryStrToInt(Trim(Text));
  if (N && *N >= Min && *N <= Max) return *N;
  throw Exception(Open ? Format(res::SNumberFrom, What, Min) : Format(res::SNumberFromTo, What, Min, Max));
}

std::vector<std::string> Split(std::string_view S, char Separator) {
  std::vector<std::string> R;
  size_t Start = 0;
  for (;;) {
    size_t P = S.find(Separator, Start);
    if (P == std::string_view::npos) {
      R.emplace_back(S.substr(Start));
      return R;
    }
    R.emplace_back(S.substr(Start, P - Start));
    Start = P + 1;
  }
}

std::string Join(const std::vector<std::string>& Parts, std::string_view Separator) {
  std::string R;
  for (size_t I = 0; I < Parts.size(); ++I) {
    if (I) R += Separator;
    R += Parts[I];
  }
  return R;
}

std::string ReplaceAllText(std::string_view S, std::string_view From, std::string_view To) {
  if (From.empty()) return std::string(S);
  std::string R;
  size_t Start = 0;
  for (;;) {
    size_t P = S.find(From, Start);
    if (P == std::string_view::npos) break;
    R.append(S.substr(Start, P - Start));
    R.append(To);
    Start = P + From.size();
  }
  R.append(S.substr(Start));
  return R;
}

size_t CaseInsensitiveHash::operator()(std::string_view S) const noexcept {
  // FNV-1a over the folded bytes.
  uint64_t H = 1469598103934665603ull;
  for (char C : S) {
    H ^= static_cast<unsigned char>(AsciiLower(C));
    H *= 1099511628211ull;
  }
  return static_cast<size_t>(H);
}

std::string CQuoted(std::string_view S) {
  std::string R = "\"";
  for (char C : S) {
    switch (C) {
      case '\\': R += "\\\\"; break;
      case '"': R += "\\\""; break;
      case '\n': R += "\\n"; break;
      case '\r': R += "\\r"; break;
      case '\t': R += "\\t"; break;
      default:
        if (static_cast<unsigned char>(C) < 0x20 || C == 0x7f) {
          char Buf[8];
          std::snprintf(Buf, sizeof Buf, "\\x%02x", static_cast<unsigned char>(C));
          R += Buf;
        } else {
          R += C;
        }
    }
  }
  return R + "\"";
}

bool NextLine(std::string_view Text, size_t& Pos, std::string_view& Line) {
  if (Pos >= Text.size()) return false;
  size_t End = Text.find('\n', Pos);
  if (End == std::string_view::npos) End = Text.size();
  Line = Text.substr(Pos, End - Pos);
  Pos = End + 1;
  if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
  return true;
}

std::string OneLine(std::string_view S) {
  bool Plain = S.empty() || S.front() != '"';
  for (char C : S) Plain = Plain && static_cast<unsigned char>(C) >= 0x20 && C != 0x7f;
  return Plain ? std::string(S) : CQuoted(S);
}

std::string MSBuildEscape(std::string_view Text) {
  static constexpr std::string_view Special = "%*?@$();'";
  static constexpr char Hex[] = "0123456789ABCDEF";
  if (Text.find_first_of(Special) == std::string_view::npos) return std::string(Text);
  std::string R;
  R.reserve(Text.size() + 8);
  for (char C : Text) {
    if (Special.find(C) == std::string_view::npos) {
      R += C;
      continue;
    }
    R += '%';
    R += Hex[(static_cast<unsigned char>(C) >> 4) & 15];
    R += Hex[static_cast<unsigned char>(C) & 15];
  }
  return R;
}

std::string MSBuildUnescape(std::string_view Text) {
  size_t P = Text.find('%');
  if (P == std::string_view::npos) return std::string(Text);
  std::string R(Text.substr(0, P));
  for (size_t I = P; I < Text.size(); ++I) {
    int High, Low;
    if (Text[I] == '%' && I + 2 < Text.size() && (High = HexDigitValue(Text[I + 1])) >= 0 &&
        (Low = HexDigitValue(Text[I + 2])) >= 0) {
      R += static_cast<char>(High * 16 + Low);
      I += 2;
    } else {
      R += Text[I];
    }
  }
  return R;
}

}  // namespace nxs
