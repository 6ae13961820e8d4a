// The region parsers on real sources: every routine of a few Free Pascal units and every class
// of a few libstdc++ headers is a region whose description is its header. What to expect is
// found by a plain look at the lines of the file, not by parsing it the way the parsers do,
// so that a parser that loses its way (a type it takes for an open block, a description that
// starts too early) is caught. Skipped where the sources are not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "editor/language/regions.h"

namespace nxs {
namespace {

struct TExpected {
  int32_t Line;
  std::string Text;
};

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::istringstream In(Text);
  for (std::string L; std::getline(In, L);) Lines.push_back(L);
  return Lines;
}

std::string Lower(std::string S) {
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

bool IsWordChar(char C) { return std::isalnum(static_cast<unsigned char>(C)) || C == '_'; }

bool HasWord(const std::string& S, const std::string& W) {
  for (size_t P = S.find(W); P != std::string::npos; P = S.find(W, P + 1))
    if ((P == 0 || !IsWordChar(S[P - 1])) && (P + W.size() >= S.size() || !IsWordChar(S[P + W.size()]))) return true;
  return false;
}

// Blanks and line breaks at both ends cut off, runs of them inside made one blank.
std::string Squeeze(const std::string& S) {
  std::string Out;
  bool Blank = false;
  for (char C : S) {
    if (std::isspace(static_cast<unsigned char>(C))) {
      Blank = true;
      continue;
    }
    if (Blank && !Out.empty()) Out += ' ';
    Blank = false;
    Out += C;
  }
  return Out;
}

// The routines of a Pascal unit: after the line that opens its implementation part, every line
// outside comments that starts in its first column with the words of a routine. A declaration
// that says forward or external (on its line or the next) has no body and is left out.
std::vector<TExpected> PascalRoutines(const std::string& Source) {
  static const char* const Starts[] = {"procedure ",       "function ",       "constructor ",     "destructor ",
                                       "operator ",        "class procedure ", "class function ", "class operator ",
                                       "class constructor ", "class destructor ", "generic function ",
                                       "generic procedure "};
  const std::vector<std::string> Lines = SplitLines(Source);
  std::vector<TExpected> Out;
  bool Implementation = false;
  char InComment = 0;  // the character that closes the comment the line is in
  for (size_t I = 0; I < Lines.size(); ++I) {
    const std::string& L = Lines[I];
    const bool StartsInComment = InComment != 0;
    for (size_t J = 0; J < L.size(); ++J) {
      if (InComment == '}') {
        if (L[J] == '}') InComment = 0;
      } else if (InComment == ')') {
        if (L.compare(J, 2, "*)") == 0) InComment = 0, ++J;
      } else if (L[J] == '\'') {
        J = L.find('\'', J + 1);
        if (J == std::string::npos) break;
      } else if (L.compare(J, 2, "//") == 0) {
        break;
      } else if (L[J] == '{') {
        InComment = '}';
      } else if (L.compare(J, 2, "(*") == 0) {
        InComment = ')';
        ++J;
      }
    }
    if (StartsInComment) continue;
    const std::string Low = Lower(L);
    if (HasWord(Low, "implementation") && Low.rfind("implementation", 0) == 0) Implementation = true;
    if (!Implementation) continue;
    if (std::none_of(std::begin(Starts), std::end(Starts), [&](const char* S) { return Low.rfind(S, 0) == 0; }))
      continue;
    const std::string Next = I + 1 < Lines.size() ? Lower(Lines[I + 1]) : std::string();
    if (HasWord(Low, "forward") || HasWord(Low, "external") || HasWord(Next, "forward") || HasWord(Next, "external"))
      continue;
    std::string Text = L.substr(0, 120);
    while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.back()))) Text.pop_back();
    Out.push_back({static_cast<int32_t>(I + 1), Text});
  }
  return Out;
}

// The text of a C++ source with its comments, literals and preprocessor lines made blanks, the
// line breaks kept.
std::string CodeOnly(const std::string& S) {
  std::string Out = S;
  enum { Code, LineComment, BlockComment, Quoted } State = Code;
  char Quote = 0;
  bool LineStart = true, Directive = false;
  for (size_t I = 0; I < S.size(); ++I) {
    const char C = S[I];
    const bool Continued = I > 0 && S[I - 1] == '\\';
    if (C == '\n') {
      if (State == LineComment || (State == Quoted && !Continued)) State = Code;
      if (!Continued) Directive = false;
      LineStart = true;
      continue;
    }
    const char Next = I + 1 < S.size() ? S[I + 1] : '\0';
    switch (State) {
      case LineComment:
        Out[I] = ' ';
        continue;
      case BlockComment:
        Out[I] = ' ';
        if (C == '*' && Next == '/') Out[++I] = ' ', State = Code;
        continue;
      case Quoted:
        Out[I] = ' ';
        if (C == '\\' && Next != '\n') Out[++I] = ' ';
        else if (C == Quote) State = Code;
        continue;
      case Code:
        break;
    }
    if (C == '/' && Next == '/') {
      State = LineComment;
      Out[I] = ' ';
    } else if (C == '/' && Next == '*') {
      State = BlockComment;
      Out[I] = Out[I + 1] = ' ';
      ++I;
    } else if (C == '#' && LineStart) {
      Directive = true;
    } else if ((C == '"' || C == '\'') && !(C == '\'' && I > 0 && std::isalnum(static_cast<unsigned char>(S[I - 1])))) {
      State = Quoted;
      Quote = C;
      Out[I] = ' ';
    }
    if (Directive) Out[I] = ' ';
    if (C != ' ' && C != '\t') LineStart = false;
  }
  return Out;
}

// The classes of a C++ header defined over more than one line: a "class", "struct" or "union"
// that starts its line or follows a template head ending on its line, then a name, then up to
// the "{" no ";", "(", ")" or "=". Each with the line of its "{" and its head from the word to
// the "{".
std::vector<TExpected> CppClasses(const std::string& Source) {
  const std::string Code = CodeOnly(Source);
  std::vector<size_t> LineStarts{0};
  for (size_t I = 0; I < Code.size(); ++I)
    if (Code[I] == '\n') LineStarts.push_back(I + 1);
  auto LineOf = [&](size_t At) {
    return static_cast<int32_t>(std::upper_bound(LineStarts.begin(), LineStarts.end(), At) - LineStarts.begin());
  };
  std::vector<TExpected> Out;
  for (const char* Key : {"class", "struct", "union"}) {
    const std::string K = Key;
    for (size_t P = Code.find(K); P != std::string::npos; P = Code.find(K, P + 1)) {
      if ((P > 0 && IsWordChar(Code[P - 1])) || (P + K.size() < Code.size() && IsWordChar(Code[P + K.size()]))) continue;
      const size_t Line = LineStarts[static_cast<size_t>(LineOf(P) - 1)];
      const std::string Before = Squeeze(Code.substr(Line, P - Line));
      if (!Before.empty() && Before.back() != '>') continue;
      size_t N = P + K.size();
      while (N < Code.size() && std::isspace(static_cast<unsigned char>(Code[N]))) ++N;
      const size_t Name = N;
      while (N < Code.size() && IsWordChar(Code[N])) ++N;
      if (N == Name) continue;
      while (N < Code.size() && std::isspace(static_cast<unsigned char>(Code[N]))) ++N;
      if (N < Code.size() && (Code[N] == ',' || Code[N] == '>' || Code[N] == '=' || Code[N] == ')')) continue;
      const size_t Brace = Code.find_first_of("{;()=", P);
      if (Brace == std::string::npos || Code[Brace] != '{') continue;
      int Depth = 0;
      size_t Close = Brace;
      for (; Close < Code.size(); ++Close) {
        if (Code[Close] == '{') ++Depth;
        if (Code[Close] == '}' && --Depth == 0) break;
      }
      if (Close == Code.size() || LineOf(Close) == LineOf(Brace)) continue;  // one line folds nothing
      // A head that runs into another declaration is one of two that directives choose between:
      // the later one is the class's.
      const std::string Head = Squeeze(Code.substr(P, Brace - P));
      if (HasWord(Head, "template") || HasWord(Head.substr(K.size()), "class") || HasWord(Head.substr(K.size()), "struct"))
        continue;
      Out.push_back({LineOf(Brace), Head.substr(0, 120)});
    }
  }
  return Out;
}

// Empty when every expected region is there, with its kind, line and description; else the
// first ones missing, with what the parser gave on their lines.
std::string Missing(const TRegionResult& R, const std::vector<TExpected>& Expected, const std::string& Kind) {
  std::string Report;
  int Shown = 0;
  for (const TExpected& E : Expected) {
    const auto Found = std::find_if(R.Regions.begin(), R.Regions.end(), [&](const TRegion& G) {
      return G.Kind == Kind && G.StartLine == E.Line && G.Description == E.Text;
    });
    if (Found != R.Regions.end() || ++Shown > 8) continue;
    Report += "\n  line " + std::to_string(E.Line) + ": " + E.Text;
    for (const TRegion& G : R.Regions)
      if (G.StartLine == E.Line) Report += "\n    has " + G.Kind + ": " + G.Description;
  }
  return Report;
}

struct TSource {
  std::string Path;
  size_t AtLeast;  // expected regions: the look at the lines found something to check
};

// Parses each source found under Root and expects in it the regions of Kind that Expect finds;
// the number of sources read.
int ExpectRegions(const std::string& Root, const std::vector<TSource>& Sources, const IRegionParser& Parser,
                  std::vector<TExpected> (*Expect)(const std::string&), const std::string& Kind) {
  int Read = 0;
  for (const TSource& S : Sources) {
    const std::string Path = Root + S.Path;
    if (!std::filesystem::is_regular_file(Path)) continue;
    ++Read;
    const std::string Source = ReadFile(Path);
    const std::vector<TExpected> Expected = Expect(Source);
    EXPECT_GE(Expected.size(), S.AtLeast) << Path;
    EXPECT_EQ(Missing(Parser.Parse(Source, {}), Expected, Kind), "") << Path;
  }
  return Read;
}

TEST(RegionFiles, EveryRoutineOfFreePascalUnitsIsARegionWithItsHeader) {
  const std::string Root = "/usr/share/fpcsrc/3.2.2/";
  const std::vector<TSource> Units = {{"rtl/objpas/fgl.pp", 200},
                                      {"packages/rtl-objpas/src/inc/strutils.pp", 150},
                                      {"rtl/objpas/math.pp", 150},
                                      {"packages/fcl-base/src/contnrs.pp", 200}};
  if (ExpectRegions(Root, Units, *MakePascalRegionParser(), PascalRoutines, "routine") == 0)
    GTEST_SKIP() << "no Free Pascal sources under " << Root;
}

TEST(RegionFiles, EveryClassOfLibstdcxxHeadersIsARegionWithItsHead) {
  const std::string Root = "/usr/include/c++/12/";
  const std::vector<TSource> Headers = {
      {"bits/stl_vector.h", 10}, {"bits/unique_ptr.h", 10}, {"bits/stl_tree.h", 10}, {"bits/shared_ptr_base.h", 25}};
  if (ExpectRegions(Root, Headers, *MakeCppRegionParser(), CppClasses, "class") == 0)
    GTEST_SKIP() << "no libstdc++ headers under " << Root;
}

}  // namespace
}  // namespace nxs
