#include "dap/dapvalues.h"

#include <cctype>
#include <optional>

namespace nxs::dap {

namespace {

// Walks a printed value character by character, telling which characters stand outside every
// quote and every pair of brackets. Quotes hide what they hold; a backslash inside one hides
// the next character. An angle bracket nests ("<repeats 4 times>", a base class's name with
// its template's arguments); a closing one without its opener (as in "->") counts for nothing.
class TScanner {
 public:
  explicit TScanner(std::string_view Text) : FText(Text) {}

  // Steps over the character at I; false when a bracket closes what it does not open.
  bool Step(size_t I) {
    const char C = FText[I];
    if (FQuote) {
      if (FEscaped) FEscaped = false;
      else if (C == '\\') FEscaped = true;
      else if (C == FQuote) FQuote = 0;
      return true;
    }
    switch (C) {
      case '"':
      case '\'':
        FQuote = C;
        return true;
      case '{':
      case '(':
      case '[':
      case '<':
        FOpen.push_back(C);
        return true;
      case '>':
        if (!FOpen.empty() && FOpen.back() == '<') FOpen.pop_back();
        return true;
      case '}':
      case ')':
      case ']': {
        // An angle bracket left open inside ("a < b") ends with the pair around it.
        while (!FOpen.empty() && FOpen.back() == '<') FOpen.pop_back();
        const char Opener = C == '}' ? '{' : C == ')' ? '(' : '[';
        if (FOpen.empty() || FOpen.back() != Opener) return false;
        FOpen.pop_back();
        return true;
      }
      default:
        return true;
    }
  }
  // Whether the scan stands outside every quote and bracket (after the last step).
  bool Outside() const { return !FQuote && FOpen.empty(); }
  size_t Depth() const { return FOpen.size(); }
  bool Quoted() const { return FQuote != 0; }

 private:
  std::string_view FText;
  std::vector<char> FOpen;
  char FQuote = 0;
  bool FEscaped = false;
};

std::string_view Trim(std::string_view S) {
  while (!S.empty() && std::isspace(static_cast<unsigned char>(S.front()))) S.remove_prefix(1);
  while (!S.empty() && std::isspace(static_cast<unsigned char>(S.back()))) S.remove_suffix(1);
  return S;
}

// The text between the braces of the aggregate Value ends with: the first brace outside every
// quote whose pair is the last character.
std::optional<std::string_view> AggregateBody(std::string_view Value) {
  if (Value.empty() || Value.back() != '}') return std::nullopt;
  TScanner Scan(Value);
  std::optional<size_t> Open;
  for (size_t I = 0; I < Value.size(); ++I) {
    const bool Before = !Scan.Quoted();
    const size_t Depth = Scan.Depth();
    if (!Scan.Step(I)) return std::nullopt;
    if (Before && Value[I] == '{' && Depth == 0 && !Open) Open = I;
    // The first brace must close at the very end: "{a} {b}" is no one aggregate.
    if (Open && Scan.Outside() && Value[I] == '}' && I + 1 != Value.size()) return std::nullopt;
  }
  if (!Open || !Scan.Outside()) return std::nullopt;
  return Value.substr(*Open + 1, Value.size() - *Open - 2);
}

// The elements of an aggregate's body, split at the commas outside every quote and bracket.
std::optional<std::vector<std::string_view>> Elements(std::string_view Body) {
  std::vector<std::string_view> Out;
  TScanner Scan(Body);
  size_t From = 0;
  for (size_t I = 0; I < Body.size(); ++I) {
    const bool Outside = Scan.Outside();
    if (!Scan.Step(I)) return std::nullopt;
    if (Outside && Body[I] == ',') {
      Out.push_back(Trim(Body.substr(From, I - From)));
      From = I + 1;
    }
  }
  if (!Scan.Outside()) return std::nullopt;
  const std::string_view Last = Trim(Body.substr(From));
  if (!Last.empty() || !Out.empty()) Out.push_back(Last);
  return Out;
}

// Whether Name is what the debugger prints before " = " for a member: a name (with "::" and
// "~"), a base class in angle brackets, or an index or key in square brackets.
bool IsMemberName(std::string_view Name) {
  if (Name.empty()) return false;
  if ((Name.front() == '<' && Name.back() == '>') || (Name.front() == '[' && Name.back() == ']')) return true;
  for (const char C : Name)
    if (!std::isalnum(static_cast<unsigned char>(C)) && C != '_' && C != ':' && C != '~' && C != '$') return false;
  return !std::isdigit(static_cast<unsigned char>(Name.front()));
}

// Where " = " first stands outside every quote and bracket in Element; npos when nowhere.
size_t MemberEquals(std::string_view Element) {
  TScanner Scan(Element);
  for (size_t I = 0; I + 2 < Element.size(); ++I) {
    if (Scan.Outside() && Element.compare(I, 3, " = ") == 0) return I;
    if (!Scan.Step(I)) return std::string_view::npos;
  }
  return std::string_view::npos;
}

// The count of "VALUE <repeats N times>", and VALUE; 1 and the element otherwise.
size_t Repeats(std::string_view& Element) {
  constexpr std::string_view Head = " <repeats ", Tail = " times>";
  if (Element.size() < Head.size() + Tail.size() + 1 || Element.substr(Element.size() - Tail.size()) != Tail) return 1;
  const size_t At = Element.rfind(Head);
  if (At == std::string_view::npos) return 1;
  const std::string_view Digits = Element.substr(At + Head.size(), Element.size() - Tail.size() - At - Head.size());
  if (Digits.empty() || Digits.size() > 9) return 1;
  size_t N = 0;
  for (const char C : Digits) {
    if (!std::isdigit(static_cast<unsigned char>(C))) return 1;
    N = N * 10 + static_cast<size_t>(C - '0');
  }
  if (N == 0) return 1;
  Element = Element.substr(0, At);
  return N;
}

}  // namespace

std::vector<TValuePart> ValueParts(std::string_view Value) {
  const std::optional<std::string_view> Body = AggregateBody(Trim(Value));
  if (!Body) return {};
  const std::optional<std::vector<std::string_view>> List = Elements(*Body);
  if (!List) return {};
  std::vector<TValuePart> Parts;
  Parts.reserve(List->size());
  size_t Index = 0;
  for (std::string_view Element : *List) {
    const size_t Equals = MemberEquals(Element);
    if (Equals != std::string_view::npos && IsMemberName(Element.substr(0, Equals))) {
      Parts.push_back({std::string(Element.substr(0, Equals)), std::string(Element.substr(Equals + 3))});
      continue;
    }
    const size_t N = Repeats(Element);
    std::string Name = "[" + std::to_string(Index);
    if (N > 1) Name += ".." + std::to_string(Index + N - 1);
    Parts.push_back({Name + "]", std::string(Element)});
    Index += N;
  }
  return Parts;
}

}  // namespace nxs::dap
