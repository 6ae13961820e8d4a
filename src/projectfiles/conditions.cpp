#include "projectfiles/conditions.h"

#include <optional>

#include "projectfiles/errors.h"
#include "projectfiles/resstrings.h"
#include "shared/condparse.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

// ---- tokenizer ------------------------------------------------------------------------

TConditionParser::TConditionParser(std::string_view Condition) : FText(Condition) { Tokenize(); }

static TConditionToken VariableToken(std::string_view Name) {
  if (SameText(Name, "Config")) return {tkConfigVariable, std::string(Name)};
  if (SameText(Name, "Configuration")) return {tkConfigurationVariable, std::string(Name)};
  if (SameText(Name, "Platform")) return {tkPlatformVariable, std::string(Name)};
  return {tkVariable, std::string(Name)};
}

[[noreturn]] static void InvalidToken(std::string_view What) {
  throw EInvalidToken(Format(res::SInvalidToken, What));
}

// The name of "$(Name)" when Text is exactly that (blanks around allowed), else empty.
static std::string WholeVariable(std::string_view Text) {
  std::string T = Trim(Text);
  if (T.size() < 4 || T[0] != '$' || T[1] != '(' || T.back() != ')') return {};
  std::string Name = T.substr(2, T.size() - 3);
  for (char C : Name)
    if (!IsConditionWordChar(C)) return {};
  return Name;
}

static TConditionToken QuotedToken(std::string_view Text) {
  std::string Var = WholeVariable(Text);
  if (!Var.empty()) return VariableToken(Var);
  if (ContainsText(Text, "$(Configuration)") && ContainsText(Text, "$(Platform)"))
    return {tkConfigurationPlatform, std::string(Text)};
  return {tkLiteral, UnescapeConditionLiteral(Text)};
}

// The token a scanned one stands for; an invalid one raises.
static TConditionToken ClassifyToken(std::string_view S, const TConditionScan& T) {
  switch (T.Kind) {
    case clEnd:
      return {tkEnd, {}};
    case clQuoted:
      return QuotedToken(T.Inner);
    case clReference:
      return VariableToken(T.Inner);
    case clCompare:
      return {T.Text == "==" ? tkEqual : tkNotEqual, std::string(T.Text)};
    case clNot:
      return {tkNot, "!"};
    case clOpen:
      return {tkOpenParen, "("};
    case clClose:
      return {tkCloseParen, ")"};
    case clComma:
      return {tkComma, ","};
    case clWord:
      if (SameText(T.Text, "and")) return {tkAnd, std::string(T.Text)};
      if (SameText(T.Text, "or")) return {tkOr, std::string(T.Text)};
      return {tkIdentifier, std::string(T.Text)};
    case clInvalid:
      break;
  }
  // An open quote or reference names the rest of the condition.
  InvalidToken(T.Unterminated ? S.substr(T.Start) : T.Text);
}

// The project files' dialect: either quote style, == and != only, $(Name) closing at the
// first ")".
static constexpr TConditionDialect ProjectDialect{"'\"", false, false, false, false, true};

void TConditionParser::Tokenize() {
  size_t I = 0;
  for (;;) {
    TConditionScan T = ScanCondition(FText, I, ProjectDialect);
    I = T.End;
    FTokens.push_back(ClassifyToken(FText, T));
    if (T.Kind == clEnd) return;
  }
}

// ---- comparisons ----------------------------------------------------------------------

namespace {

// Collects every comparison of a condition as the shared reader meets them. What the
// configurations need is which comparisons a condition holds, so the Boolean structure
// itself is only checked, not kept.
class TComparisonCollector : public TConditionActions {
 public:
  explicit TComparisonCollector(std::string_view Text) : FText(Text) {}

  std::vector<TConditionComparison> Run() {
    // A hand-written condition may nest; thousands of levels are refused at the "(" or "!"
    // that goes too deep rather than read on a stack they would overflow.
    static constexpr TConditionGrammar Grammar{ProjectDialect, false, true, 500};
    ReadCondition(FText, Grammar, *this);
    return std::move(FResult);
  }

 private:
  [[noreturn]] void Malformed(TConditionFault, const TConditionScan& Token, std::string_view) override {
    InvalidToken(Token.Kind == clEnd ? std::string("end") : ClassifyToken(FText, Token).Text);
  }
  TConditionValue Operand(const TConditionScan& Token, bool) override {
    TConditionValue V;
    V.Token = Token;
    return V;
  }
  TConditionValue Compare(const TConditionValue& L, const TConditionScan& Op, const TConditionValue& R,
                          bool) override {
    FResult.push_back({ClassifyToken(FText, L.Token), ClassifyToken(FText, Op).Kind, ClassifyToken(FText, R.Token)});
    return {};
  }
  bool KnownFunction(std::string_view) override { return true; }
  TConditionValue Call(const TConditionScan& Name, const std::vector<TConditionValue>&, bool) override {
    return Operand(Name, false);
  }
  bool Truth(const TConditionValue&) override { return false; }

  std::string_view FText;
  std::vector<TConditionComparison> FResult;
};

bool IsVariableKind(TConditionTokenKind K) {
  return K == tkVariable || K == tkConfigVariable || K == tkConfigurationVariable || K == tkPlatformVariable ||
         K == tkConfigurationPlatform;
}

}  // namespace

namespace {

// The comparisons of a condition whose tokens Tokens has already checked.
std::vector<TConditionComparison> ReadComparisons(std::string_view Condition) {
  std::vector<TConditionComparison> List = TComparisonCollector(Condition).Run();
  // Put the variable on the left: 'Debug'=='$(Config)' reads as $(Config)=='Debug'.
  for (auto& C : List)
    if (!IsVariableKind(C.Left.Kind) && IsVariableKind(C.Right.Kind)) std::swap(C.Left, C.Right);
  return List;
}

}  // namespace

std::vector<TConditionComparison> TConfigurationConditionParser::Comparisons(std::string_view Condition) {
  TConditionParser Tokens(Condition);  // every token checked before the grammar
  return ReadComparisons(Condition);
}

TConditionInfo TConfigurationConditionParser::Parse(std::string_view Condition) {
  TConditionInfo Info;
  std::optional<TConditionParser> Tokens;
  std::vector<TConditionComparison> List;
  try {
    Tokens.emplace(Condition);  // every token checked before the grammar
    List = ReadComparisons(Condition);
  } catch (const EInvalidToken&) {
    return Info;
  }

  const TConditionComparison* Config = nullptr;        // $(Config)=='name'
  const TConditionComparison* Platform = nullptr;      // $(Platform)=='name'
  const TConditionComparison* File = nullptr;          // $(FileToCompile)=='file'
  const TConditionComparison* OldStyle = nullptr;      // '$(Configuration)|$(Platform)'=='a|b'
  const TConditionComparison* KeyTest = nullptr;       // $(X)!=''
  const TConditionComparison* ParentTest = nullptr;    // $(X)=='true'
  for (const auto& C : List) {
    if (C.Right.Kind != tkLiteral) continue;
    switch (C.Left.Kind) {
      case tkConfigVariable:
        if (C.Op == tkEqual && !C.Right.Text.empty() && !Config) Config = &C;
        break;
      case tkPlatformVariable:
        if (C.Op == tkEqual && !C.Right.Text.empty() && !Platform) Platform = &C;
        break;
      case tkConfigurationPlatform:
        if (C.Op == tkEqual && !OldStyle) OldStyle = &C;
        break;
      case tkVariable:
        if (SameText(C.Left.Text, "FileToCompile")) {
          if (C.Op == tkEqual && !File) File = &C;
        } else if (C.Op == tkNotEqual && C.Right.Text.empty()) {
          if (!KeyTest) KeyTest = &C;
        } else if (C.Op == tkEqual && SameText(C.Right.Text, "true")) {
          if (!ParentTest) ParentTest = &C;
        }
        break;
      default:
        break;
    }
  }

  // Only a condition made of the comparisons of its kind, joined as the kind joins them, is
  // one of ours: a hand-written extra test would be lost when the group is written back.
  int Ands = 0, Ors = 0, Nots = 0;
  for (const auto& T : Tokens->Tokens()) {
    Ands += T.Kind == tkAnd;
    Ors += T.Kind == tkOr;
    Nots += T.Kind == tkNot;
  }
  auto Shaped = [&](size_t Comparisons, int WantAnds, int WantOrs) {
    return List.size() == Comparisons && Ands == WantAnds && Ors == WantOrs && Nots == 0;
  };
  if (File) {
    if (!Shaped(2, 1, 0)) return Info;
    Info.FileName = File->Right.Text;
    if (KeyTest) {
      Info.Kind = ckLocalOverride;
      Info.Key = KeyTest->Left.Text;
    } else if (Config) {
      Info.Kind = ckLocalBuildEvent;
      Info.Name = Config->Right.Text;
    }
    return Info;
  }
  if (Config) {
    Info.Name = Config->Right.Text;
    if (Platform) Info.Platform = Platform->Right.Text;
    if (KeyTest && (Shaped(2, 0, 1) || (Platform && Shaped(3, 1, 1)))) {
      Info.Kind = ckDefinition;
      Info.Key = KeyTest->Left.Text;
    } else if (Platform && !KeyTest && Shaped(2, 1, 0)) {
      Info.Kind = ckBuildEvent;
    }
    return Info;
  }
  if (Platform && ParentTest && KeyTest && Shaped(3, 1, 1)) {
    Info.Kind = ckPlatformDefinition;
    Info.Platform = Platform->Right.Text;
    Info.ParentKey = ParentTest->Left.Text;
    Info.Key = KeyTest->Left.Text;
    return Info;
  }
  if (OldStyle && List.size() == 1 && Nots == 0) {
    // The literal pairs up with the variables: the part before "|" is the configuration's
    // name, the part after it the platform.
    Info.Kind = ckOldStyleDefinition;
    const std::string& Lit = OldStyle->Right.Text;
    size_t Bar = Lit.find('|');
    Info.Name = Trim(Lit.substr(0, Bar));
    if (Bar != std::string::npos) Info.Platform = Trim(Lit.substr(Bar + 1));
    if (Info.Name.empty()) Info.Kind = ckOther;
    return Info;
  }
  if (KeyTest && Shaped(1, 0, 0)) {
    Info.Kind = ckValues;
    Info.Key = KeyTest->Left.Text;
  }
  return Info;
}

// ---- the conditions written -----------------------------------------------------------

std::string DefinitionCondition(const std::string& Name, const std::string& Key) {
  return Format("'$(Config)'=='%s' or '$(%s)'!=''", EscapeConditionLiteral(Name), Key);
}

std::string PlatformDefinitionCondition(const std::string& Platform, const std::string& ParentKey,
                                        const std::string& Key) {
  return Format("('$(Platform)'=='%s' and '$(%s)'=='true') or '$(%s)'!=''", EscapeConditionLiteral(Platform),
                ParentKey, Key);
}

std::string ValuesCondition(const std::string& Key) { return Format("'$(%s)'!=''", Key); }

std::string LocalOverrideCondition(const std::string& Key, const std::string& RelativeFile) {
  return ValuesCondition(Key) + " And " + Format("'$(FileToCompile)'=='%s'", EscapeConditionLiteral(RelativeFile));
}

std::string BuildEventCondition(const std::string& Name, const std::string& Platform) {
  return Format("'$(Config)'=='%s' And '$(Platform)'=='%s'", EscapeConditionLiteral(Name),
                EscapeConditionLiteral(Platform));
}

std::string LocalBuildEventCondition(const std::string& Name, const std::string& RelativeFile) {
  return Format("'$(Config)'=='%s' And '$(FileToCompile)'=='%s'", EscapeConditionLiteral(Name),
                EscapeConditionLiteral(RelativeFile));
}

// ---- escaping and meaning -------------------------------------------------------------

// A literal cannot hold the quote that encloses it: the build engine reads "%XX" (two hex
// digits) as the character XX anywhere in a condition, so the quotes and "%" itself go out
// that way.
std::string EscapeConditionLiteral(std::string_view Text) {
  std::string R;
  R.reserve(Text.size());
  for (char C : Text) {
    if (C == '\'' || C == '"' || C == '%') {
      static constexpr char Hex[] = "0123456789ABCDEF";
      unsigned char U = static_cast<unsigned char>(C);
      R += '%';
      R += Hex[U >> 4];
      R += Hex[U & 15];
    } else
      R += C;
  }
  return R;
}

// The engine's unescaping, which reads "%XX" anywhere.
std::string UnescapeConditionLiteral(std::string_view Text) { return MSBuildUnescape(Text); }

std::string ConditionKey(std::string_view Condition) {
  std::string Key;
  try {
    TConditionParser Tokens(Condition);
    for (const auto& T : Tokens.Tokens()) {
      if (T.Kind == tkEnd) break;
      // Variables quoted or not, literals in either quote style, "and" in any case: one form.
      Key += static_cast<char>('A' + static_cast<int>(T.Kind));
      Key += LowerCase(T.Text);
      Key += '\0';
    }
  } catch (const EInvalidToken&) {
    return "?" + LowerCase(Trim(Condition));
  }
  return Key;
}

bool SameConditionMeaning(std::string_view A, std::string_view B) {
  if (SameText(A, B)) return true;
  bool NoneA = Trim(A).empty(), NoneB = Trim(B).empty();
  if (NoneA || NoneB) return NoneA == NoneB;
  return ConditionKey(A) == ConditionKey(B);
}

}  // namespace nxs
