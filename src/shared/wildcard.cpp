#include "shared/wildcard.h"

#include <cctype>
#include <cstring>

#include "shared/text.h"

namespace nxs {

namespace {

unsigned char Fold(unsigned char C, unsigned Flags) {
  return (Flags & wfIgnoreCase) ? static_cast<unsigned char>(AsciiLower(static_cast<char>(C))) : C;
}

// Whether C is in the named class ("alpha" and the rest of the C locale's classes); Known is
// false for a name that is none of them.
bool InClass(std::string_view Name, unsigned char C, bool& Known) {
  static constexpr struct {
    const char* Name;
    int (*Test)(int);
  } Classes[] = {{"alnum", isalnum}, {"alpha", isalpha}, {"blank", isblank}, {"cntrl", iscntrl},
                 {"digit", isdigit}, {"graph", isgraph}, {"lower", islower}, {"print", isprint},
                 {"punct", ispunct}, {"space", isspace}, {"upper", isupper}, {"xdigit", isxdigit}};
  Known = true;
  for (const auto& K : Classes)
    if (Name == K.Name) return C < 0x80 && K.Test(C);
  Known = false;
  return false;
}

// Matches the set that opens at P[I] ("[") against C. Returns false with End = npos when no
// "]" closes it (the "[" is then a literal), else sets End past the "]".
bool MatchSet(std::string_view P, size_t I, unsigned char C, unsigned Flags, size_t& End) {
  End = std::string_view::npos;
  ++I;
  bool Negate = false;
  if (I < P.size() && (P[I] == '!' || P[I] == '^')) {
    Negate = true;
    ++I;
  }
  const unsigned char FC = Fold(C, Flags);
  bool In = false, First = true, Broken = false;
  // One member at P[I], a character or a quoted one; false when the pattern ends there.
  auto Member = [&](unsigned char& M) {
    if (I >= P.size()) return false;
    if (P[I] == '\\' && I + 1 < P.size()) ++I;
    M = static_cast<unsigned char>(P[I++]);
    return true;
  };
  for (;;) {
    if (I >= P.size()) return false;
    if (P[I] == ']' && !First) break;
    First = false;
    if (P[I] == '[' && I + 1 < P.size() && P[I + 1] == ':') {
      const size_t Close = P.find(":]", I + 2);
      if (Close != std::string_view::npos) {
        bool Known;
        In = InClass(P.substr(I + 2, Close - I - 2), C, Known) || In;
        Broken = Broken || !Known;
        I = Close + 2;
        continue;
      }
    }
    unsigned char Lo, Hi;
    if (!Member(Lo)) return false;
    Hi = Lo;
    if (I + 1 < P.size() && P[I] == '-' && P[I + 1] != ']') {
      ++I;
      if (!Member(Hi)) return false;
    }
    if (Fold(Lo, Flags) <= FC && FC <= Fold(Hi, Flags)) In = true;
  }
  End = I + 1;
  return !Broken && In != Negate;  // a set naming an unknown class matches nothing
}

// Matches the element at P[I] (not "*") against C and sets Next past it.
bool MatchElement(std::string_view P, size_t I, unsigned char C, unsigned Flags, size_t& Next) {
  const char E = P[I];
  if (E == '?') {
    Next = I + 1;
    return true;
  }
  if (Flags & wfClasses) {
    if (E == '[') {
      const bool In = MatchSet(P, I, C, Flags, Next);
      if (Next != std::string_view::npos) return In;
    } else if (E == '\\') {
      if (I + 1 == P.size()) return false;
      Next = I + 2;
      return Fold(static_cast<unsigned char>(P[I + 1]), Flags) == Fold(C, Flags);
    }
  }
  Next = I + 1;
  return Fold(static_cast<unsigned char>(E), Flags) == Fold(C, Flags);
}

}  // namespace

bool MatchesWildcard(std::string_view Pattern, std::string_view Name, unsigned Flags) {
  // Greedy with one back-track point: a later "*" supersedes an earlier one, since whatever
  // the earlier one would still take, the later one can take as well.
  const std::string_view P = Pattern;
  size_t Pi = 0, Ni = 0, StarP = std::string_view::npos, StarN = 0;
  while (Ni < Name.size()) {
    if (Pi < P.size() && P[Pi] == '*') {
      StarP = ++Pi;
      StarN = Ni;
      continue;
    }
    size_t Next;
    if (Pi < P.size() && MatchElement(P, Pi, static_cast<unsigned char>(Name[Ni]), Flags, Next)) {
      Pi = Next;
      ++Ni;
      continue;
    }
    if (StarP == std::string_view::npos) return false;
    Pi = StarP;
    Ni = ++StarN;
  }
  while (Pi < P.size() && P[Pi] == '*') ++Pi;
  return Pi == P.size();
}

bool HasWildcards(std::string_view Pattern, unsigned Flags) {
  return Pattern.find_first_of((Flags & wfClasses) ? "*?[" : "*?") != std::string_view::npos;
}

}  // namespace nxs
