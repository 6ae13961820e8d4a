// What an expression requires, worked out piece by piece from its syntax: for each piece the
// strings it matches when they are few (Exact), the strings every match starts and ends with
// (Prefix, Suffix), and the best set of strings one of which every match holds (Need).
#include "shared/prefilter.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace nxs {

namespace {

constexpr size_t MaxSet = 16;       // strings in a set
constexpr size_t MaxLength = 64;    // bytes in one of them
constexpr size_t MinNeedle = 2;     // a scan for single bytes finds too many places to gain

using TSet = std::vector<std::string>;  // sorted, each string once

struct TInfo {
  bool Exact = false;            // every match is one of Prefix
  std::optional<TSet> Prefix;    // every match starts with one of these
  std::optional<TSet> Suffix;    // every match ends with one of these
  std::optional<TSet> Need;      // every match holds one of these (none empty)
};

TSet Normal(TSet S) {
  std::sort(S.begin(), S.end());
  S.erase(std::unique(S.begin(), S.end()), S.end());
  return S;
}

std::optional<TSet> Product(const TSet& A, const TSet& B) {
  if (A.size() * B.size() > MaxSet) return std::nullopt;
  TSet Out;
  for (const auto& X : A)
    for (const auto& Y : B) {
      if (X.size() + Y.size() > MaxLength) return std::nullopt;
      Out.push_back(X + Y);
    }
  return Normal(std::move(Out));
}

std::optional<TSet> Union(const std::optional<TSet>& A, const std::optional<TSet>& B) {
  if (!A || !B) return std::nullopt;
  TSet Out = *A;
  Out.insert(Out.end(), B->begin(), B->end());
  Out = Normal(std::move(Out));
  if (Out.size() > MaxSet) return std::nullopt;
  return Out;
}

bool Usable(const TSet& S) {
  return !S.empty() && S.size() <= MaxSet && std::none_of(S.begin(), S.end(), [](const std::string& X) { return X.empty(); });
}

// Longer needles find fewer places; beyond a few bytes, fewer needles scan faster.
long Score(const std::optional<TSet>& S) {
  if (!S || !Usable(*S)) return -1;
  size_t Min = SIZE_MAX;
  for (const auto& X : *S) Min = std::min(Min, X.size());
  return static_cast<long>(std::min<size_t>(Min, 6) * 100) - static_cast<long>(S->size());
}

void Consider(std::optional<TSet>& Best, const std::optional<TSet>& Candidate) {
  if (Score(Candidate) > Score(Best)) Best = Candidate;
}

TInfo ExactInfo(TSet S) {
  TInfo I;
  I.Exact = true;
  I.Prefix = I.Suffix = S;
  if (Usable(S)) I.Need = std::move(S);
  return I;
}

TInfo EmptyInfo() { return ExactInfo({""}); }
TInfo AnyInfo() { return {}; }

// A construct the scan cannot see through: the expression gets no needles.
struct TGiveUp {};

class TParser {
 public:
  TParser(std::string_view P, bool Fold) : P(P), Fold(Fold) {}

  TInfo Alternation() {
    TInfo Result = Sequence();
    while (I < P.size() && P[I] == '|') {
      ++I;
      TInfo Next = Sequence();
      TInfo U;
      U.Exact = Result.Exact && Next.Exact;
      U.Prefix = Union(Result.Prefix, Next.Prefix);
      U.Suffix = Union(Result.Suffix, Next.Suffix);
      if (U.Exact && !U.Prefix) U.Exact = false;
      U.Need = Union(Result.Need, Next.Need);
      if (U.Need && !Usable(*U.Need)) U.Need.reset();
      Result = std::move(U);
    }
    return Result;
  }

  bool AtEnd() const { return I >= P.size(); }
  // Whether the pattern holds \G, which ties a match to the place the search starts from, or
  // \K, which starts the match found elsewhere than where the engine began it.
  bool StartBound() const { return FStartBound; }

 private:
  TInfo Sequence() {
    // The exact run since the last piece that was not exact; each run ends as a candidate.
    TSet Run{""};
    std::optional<TSet> Best, Prefix;
    bool Exact = true;
    while (I < P.size() && P[I] != '|' && P[I] != ')') {
      TInfo Item = Quantified();
      if (Item.Exact) {
        if (auto Longer = Product(Run, *Item.Prefix)) {
          Run = std::move(*Longer);
          continue;
        }
        Consider(Best, Run);
        if (Exact) Prefix = Run;
        Exact = false;
        Run = *Item.Prefix;
        continue;
      }
      // The run goes on into what the piece starts with, and starts again with what it ends with.
      std::optional<TSet> Through = Item.Prefix ? Product(Run, *Item.Prefix) : std::nullopt;
      Consider(Best, Through ? Through : std::optional<TSet>(Run));
      if (Exact) Prefix = Through ? Through : std::optional<TSet>(Run);
      Exact = false;
      Consider(Best, Item.Need);
      Run = Item.Suffix ? *Item.Suffix : TSet{""};
    }
    if (Exact) return ExactInfo(Run);
    Consider(Best, Run);
    TInfo Out;
    Out.Prefix = Prefix;
    Out.Suffix = Run;
    Out.Need = Best;
    return Out;
  }

  TInfo Quantified() {
    TInfo A = Atom();
    size_t Min, Max;
    if (!Quantifier(Min, Max)) return A;
    if (Min == 0) {
      if (Max == 1 && A.Exact) {
        TSet S = *A.Prefix;
        S.push_back("");
        S = Normal(std::move(S));
        if (S.size() <= MaxSet) return ExactInfo(std::move(S));
      }
      return AnyInfo();
    }
    if (A.Exact && Min == Max && Min <= MaxLength) {
      std::optional<TSet> S = TSet{""};
      for (size_t K = 0; K < Min && S; ++K) S = Product(*S, *A.Prefix);
      if (S) return ExactInfo(std::move(*S));
    }
    // At least one copy: the first starts it, the last ends it.
    TInfo Out;
    Out.Prefix = A.Prefix;
    Out.Suffix = A.Suffix;
    Out.Need = A.Need;
    return Out;
  }

  // A quantifier after an atom, with its lazy or possessive mark.
  bool Quantifier(size_t& Min, size_t& Max) {
    if (I >= P.size()) return false;
    const char C = P[I];
    if (C == '?' || C == '*' || C == '+') {
      Min = C == '+' ? 1 : 0;
      Max = C == '?' ? 1 : SIZE_MAX;
      ++I;
    } else if (C == '{') {
      // {n}, {n,} or {n,m}; anything else is a literal brace.
      size_t J = I + 1;
      auto Number = [&](size_t& Out) {
        const size_t From = J;
        Out = 0;
        while (J < P.size() && std::isdigit(static_cast<unsigned char>(P[J]))) Out = std::min<size_t>(Out * 10 + static_cast<size_t>(P[J++] - '0'), 1u << 20);
        return J > From;
      };
      if (!Number(Min)) return false;
      Max = Min;
      if (J < P.size() && P[J] == ',') {
        ++J;
        if (!Number(Max)) Max = SIZE_MAX;
      }
      if (J >= P.size() || P[J] != '}') return false;
      I = J + 1;
    } else {
      return false;
    }
    if (I < P.size() && (P[I] == '?' || P[I] == '+')) ++I;
    return true;
  }

  TInfo Atom() {
    const char C = P[I];
    switch (C) {
      case '(': return Group();
      case '[': return Class();
      case '\\': return Escape();
      case '.': ++I; return AnyInfo();
      case '^':
      case '$': ++I; return EmptyInfo();
      case '*':
      case '+':
      case '?': throw TGiveUp{};  // a quantifier with nothing before it
      default: return Literal();
    }
  }

  // One character as it stands, a whole UTF-8 sequence for a character beyond ASCII.
  TInfo Literal() {
    const size_t From = I;
    I = From + 1;
    if (static_cast<unsigned char>(P[From]) >= 0x80)
      while (I < P.size() && (static_cast<unsigned char>(P[I]) & 0xC0) == 0x80) ++I;
    return Char(P.substr(From, I - From));
  }

  TInfo Char(std::string_view Ch) {
    if (Fold) {
      // These fold to characters beyond ASCII too, which a scan that folds ASCII misses.
      if (static_cast<unsigned char>(Ch[0]) >= 0x80 || std::strchr("kKsS", Ch[0])) return AnyInfo();
      return ExactInfo({std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(Ch[0]))))});
    }
    return ExactInfo({std::string(Ch)});
  }

  TInfo Escape() {
    ++I;
    if (I >= P.size()) throw TGiveUp{};
    const char N = P[I++];
    if (!std::isalnum(static_cast<unsigned char>(N))) return Char(P.substr(I - 1, 1));
    switch (N) {
      case 'G':
      case 'K':
        FStartBound = true;
        return EmptyInfo();
      case 'b': case 'B': case 'A': case 'z': case 'Z': case 'E':
        return EmptyInfo();
      case 'Q': {
        // Characters as they stand up to \E; a quantifier after it takes the last.
        const size_t End = std::min(P.find("\\E", I), P.size());
        std::string_view Quoted = P.substr(I, End - I);
        I = End < P.size() ? End + 2 : End;
        TParser Inner(Quoted, Fold);
        TSet Run{""};
        for (size_t K = 0; K < Quoted.size(); ++K) {
          const TInfo Ch = Inner.Char(Quoted.substr(K, 1));
          auto Longer = Ch.Exact ? Product(Run, *Ch.Prefix) : std::nullopt;
          if (!Longer) return AnyInfo();
          Run = std::move(*Longer);
        }
        return ExactInfo(Run);
      }
      case 'p': case 'P': case 'x': case 'o': case 'g': case 'k':
        // \p{..}, \x{..}, \o{..}, \g{..}, \k<..>: the braces or the name go with it.
        if (I < P.size() && (P[I] == '{' || P[I] == '<' || P[I] == '\'')) {
          const char Close = P[I] == '{' ? '}' : P[I] == '<' ? '>' : '\'';
          const size_t End = P.find(Close, I + 1);
          I = End == std::string_view::npos ? P.size() : End + 1;
        }
        return AnyInfo();
      case 'c':
        if (I < P.size()) ++I;
        return AnyInfo();
      default:
        // Classes (\d, \w, \s...), controls, references by number: some character or other.
        while (std::isdigit(static_cast<unsigned char>(N)) && I < P.size() && std::isdigit(static_cast<unsigned char>(P[I]))) ++I;
        return AnyInfo();
    }
  }

  TInfo Class() {
    ++I;
    bool Negated = false, Known = true;
    TSet Members;
    if (I < P.size() && P[I] == '^') {
      Negated = true;
      ++I;
    }
    bool First = true;
    auto Add = [&](unsigned char C) {
      if (C >= 0x80 || (Fold && std::strchr("kKsS", C))) Known = false;
      Members.emplace_back(1, static_cast<char>(Fold ? std::tolower(C) : C));
      if (Members.size() > 4 * MaxSet) Known = false;
    };
    while (I < P.size() && (P[I] != ']' || First)) {
      First = false;
      unsigned char C = static_cast<unsigned char>(P[I]);
      if (C == '[' && I + 1 < P.size() && (P[I + 1] == ':' || P[I + 1] == '.' || P[I + 1] == '=')) {
        const size_t End = P.find(']', I + 2);
        I = End == std::string_view::npos ? P.size() : End + 1;
        Known = false;
        continue;
      }
      if (C == '\\') {
        if (I + 1 >= P.size()) throw TGiveUp{};
        const auto N = static_cast<unsigned char>(P[I + 1]);
        I += 2;
        if (std::isalnum(N)) {
          Known = false;  // \d, \w, \x.. and the like
          if ((N == 'p' || N == 'P' || N == 'x' || N == 'o') && I < P.size() && P[I] == '{') {
            const size_t End = P.find('}', I);
            I = End == std::string_view::npos ? P.size() : End + 1;
          }
          continue;
        }
        C = N;
      } else {
        ++I;
      }
      // A range: both ends plain characters.
      if (I + 1 < P.size() && P[I] == '-' && P[I + 1] != ']') {
        auto To = static_cast<unsigned char>(P[I + 1]);
        I += 2;
        if (To == '\\') {
          Known = false;
          if (I < P.size()) ++I;
          continue;
        }
        if (To < C) throw TGiveUp{};
        for (unsigned V = C; V <= To && Known; ++V) Add(static_cast<unsigned char>(V));
        continue;
      }
      Add(C);
    }
    if (I >= P.size()) throw TGiveUp{};
    ++I;  // ]
    if (Negated || !Known) return AnyInfo();
    TSet S = Normal(std::move(Members));
    if (S.empty() || S.size() > MaxSet) return AnyInfo();
    return ExactInfo(std::move(S));
  }

  TInfo Group() {
    ++I;
    bool Zero = false;  // a look-around: it takes no characters
    if (I < P.size() && P[I] == '*') throw TGiveUp{};  // verbs
    if (I < P.size() && P[I] == '?') {
      const std::string_view After = P.substr(I + 1);
      if (After.starts_with(':') || After.starts_with('|') || After.starts_with('>')) {
        I += 2;
      } else if (After.starts_with('=') || After.starts_with('!')) {
        I += 2;
        Zero = true;
      } else if (After.starts_with("<=") || After.starts_with("<!")) {
        I += 3;
        Zero = true;
      } else if (After.starts_with('#')) {
        const size_t End = P.find(')', I);
        if (End == std::string_view::npos) throw TGiveUp{};
        I = End + 1;
        return EmptyInfo();
      } else if (After.starts_with('<') || After.starts_with('\'') || After.starts_with("P<")) {
        // A named group.
        const char Close = After.starts_with('\'') ? '\'' : '>';
        const size_t End = P.find(Close, I + 2);
        if (End == std::string_view::npos) throw TGiveUp{};
        I = End + 1;
      } else {
        // Options, conditions, recursion, callouts: the rest reads differently.
        throw TGiveUp{};
      }
    }
    TInfo Inner = Alternation();
    if (I >= P.size() || P[I] != ')') throw TGiveUp{};
    ++I;
    return Zero ? EmptyInfo() : Inner;
  }

  std::string_view P;
  bool Fold;
  size_t I = 0;
  bool FStartBound = false;
};

// What the whole pattern requires; nullopt when it is malformed or cannot be seen through.
std::optional<TInfo> Analyse(std::string_view Pattern, bool Fold, bool& StartBound) {
  try {
    TParser Parser(Pattern, Fold);
    TInfo Info = Parser.Alternation();
    if (!Parser.AtEnd()) return std::nullopt;  // an unmatched ")"
    StartBound = Parser.StartBound();
    return Info;
  } catch (const TGiveUp&) {
    return std::nullopt;
  }
}

}  // namespace

std::vector<std::string> RequiredLiterals(std::string_view Pattern, bool Fold) {
  bool StartBound = false;
  const std::optional<TInfo> Info = Analyse(Pattern, Fold, StartBound);
  if (!Info || !Info->Need || !Usable(*Info->Need)) return {};
  TSet S = *Info->Need;
  // A needle that holds another finds nothing the other does not.
  std::sort(S.begin(), S.end(), [](const std::string& A, const std::string& B) { return A.size() < B.size(); });
  TSet Out;
  for (const auto& X : S) {
    if (X.size() < MinNeedle) return {};
    if (std::none_of(Out.begin(), Out.end(), [&](const std::string& Y) { return X.find(Y) != std::string::npos; }))
      Out.push_back(X);
  }
  return Out;
}

std::vector<std::string> LeadingLiterals(std::string_view Pattern, bool Fold) {
  bool StartBound = false;
  const std::optional<TInfo> Info = Analyse(Pattern, Fold, StartBound);
  if (!Info || StartBound || !Info->Prefix || !Usable(*Info->Prefix)) return {};
  // Sorted, a string comes right after the ones it starts with: a scan for the shorter finds
  // every place where the longer starts.
  TSet Out;
  for (const auto& X : Normal(*Info->Prefix)) {
    if (X.size() < MinNeedle) return {};
    if (Out.empty() || !X.starts_with(Out.back())) Out.push_back(X);
  }
  return Out;
}

}  // namespace nxs
