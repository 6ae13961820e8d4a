#include "projectfiles/conditions.h"


#include "projectfiles/errors.h"
#include "projectfiles/resstrings.h"
#include "shared/condscan.h"
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

void TConditionParser::AddQuoted(std::string_view Text) {
  std::string Var = WholeVariable(Text);
  if (!Var.empty()) {
    FTokens.push_back(VariableToken(Var));
    return;
  }
  if (ContainsText(Text, "$(Configuration)") && ContainsText(Text, "$(Platform)")) {
    FTokens.push_back({tkConfigurationPlatform, std::string(Text)});
    return;
  }
  FTokens.push_back({tkLiteral, UnescapeConditionLiteral(Text)});
}

// The project files' dialect: either quote style, == and != only, $(Name) closing at the
// first ")".
static constexpr TConditionDialect ProjectDialect{"'\"", false, false, false, false, true};

void TConditionParser::Tokenize() {
  const std::string& S = FText;
  size_t I = 0;
  for (;;) {
    TConditionScan T = ScanCondition(S, I, ProjectDialect);
    I = T.End;
    switch (T.Kind) {
      case clEnd:
        FTokens.push_back({tkEnd, {}});
        return;
      case clQuoted:
        AddQuoted(T.Inner);
        break;
      case clReference:
        FTokens.push_back(VariableToken(T.Inner));
        break;
      case clCompare:
        FTokens.push_back({T.Text == "==" ? tkEqual : tkNotEqual, std::string(T.Text)});
        break;
      case clNot:
        FTokens.push_back({tkNot, "!"});
        break;
      case clOpen:
        FTokens.push_back({tkOpenParen, "("});
        break;
      case clClose:
        FTokens.push_back({tkCloseParen, ")"});
        break;
      case clComma:
        FTokens.push_back({tkComma, ","});
        break;
      case clWord:
        if (SameText(T.Text, "and"))
          FTokens.push_back({tkAnd, std::string(T.Text)});
        else if (SameText(T.Text, "or"))
          FTokens.push_back({tkOr, std::string(T.Text)});
        else
          FTokens.push_back({tkIdentifier, std::string(T.Text)});
        break;
      case clInvalid:
        // An open quote or reference names the rest of the condition.
        InvalidToken(T.Unterminated ? std::string_view(S).substr(T.Start) : T.Text);
    }
  }
}

// ---- comparisons ----------------------------------------------------------------------

namespace {

// Walks the expression grammar (or, and, not, parentheses, comparisons, function calls) and
// collects every comparison. What the configurations need is which comparisons a condition
// holds, so the Boolean structure itself is only checked, not kept.
class TComparisonCollector {
 public:
  explicit TComparisonCollector(const std::vector<TConditionToken>& Tokens) : FTokens(Tokens) {}

  std::vector<TConditionComparison> Run() {
    OrExpr();
    if (Peek().Kind != tkEnd) InvalidToken(Peek().Text);
    return std::move(FResult);
  }

 private:
  const TConditionToken& Peek() const { return FTokens[FPos]; }
  const TConditionToken& Next() { return FTokens[FPos < FTokens.size() - 1 ? FPos++ : FPos]; }
  void Expect(TConditionTokenKind Kind) {
    if (Peek().Kind != Kind) InvalidToken(Peek().Kind == tkEnd ? std::string("end") : Peek().Text);
    Next();
  }

  void OrExpr() {
    AndExpr();
    while (Peek().Kind == tkOr) {
      Next();
      AndExpr();
    }
  }
  void AndExpr() {
    Unary();
    while (Peek().Kind == tkAnd) {
      Next();
      Unary();
    }
  }
  void Unary() {
    if (Peek().Kind == tkNot) {
      Next();
      Unary();
      return;
    }
    if (Peek().Kind == tkOpenParen) {
      Next();
      OrExpr();
      Expect(tkCloseParen);
      return;
    }
    TConditionToken Left = Operand();
    if (Peek().Kind == tkEqual || Peek().Kind == tkNotEqual) {
      TConditionTokenKind Op = Next().Kind;
      TConditionToken Right = Operand();
      FResult.push_back({Left, Op, Right});
    }
  }
  TConditionToken Operand() {
    const TConditionToken& T = Peek();
    switch (T.Kind) {
      case tkVariable:
      case tkConfigVariable:
      case tkConfigurationVariable:
      case tkPlatformVariable:
      case tkConfigurationPlatform:
      case tkLiteral:
        return Next();
      case tkIdentifier: {
        TConditionToken Id = Next();
        if (Peek().Kind == tkOpenParen) {  // a function call: Exists('file')
          Next();
          if (Peek().Kind != tkCloseParen) {
            Operand();
            while (Peek().Kind == tkComma) {
              Next();
              Operand();
            }
          }
          Expect(tkCloseParen);
        }
        return Id;
      }
      default:
        InvalidToken(T.Kind == tkEnd ? std::string("end") : T.Text);
    }
  }

  const std::vector<TConditionToken>& FTokens;
  size_t FPos = 0;
  std::vector<TConditionComparison> FResult;
};

bool IsVariableKind(TConditionTokenKind K) {
  return K == tkVariable || K == tkConfigVariable || K == tkConfigurationVariable || K == tkPlatformVariable ||
         K == tkConfigurationPlatform;
}

}  // namespace

std::vector<TConditionComparison> TConfigurationConditionParser::Comparisons(std::string_view Condition) {
  TConditionParser Tokens(Condition);
  std::vector<TConditionComparison> List = TComparisonCollector(Tokens.Tokens()).Run();
  // Put the variable on the left: 'Debug'=='$(Config)' reads as $(Config)=='Debug'.
  for (auto& C : List)
    if (!IsVariableKind(C.Left.Kind) && IsVariableKind(C.Right.Kind)) std::swap(C.Left, C.Right);
  return List;
}

TConditionInfo TConfigurationConditionParser::Parse(std::string_view Condition) {
  TConditionInfo Info;
  std::vector<TConditionComparison> List;
  try {
    List = Comparisons(Condition);
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
  TConditionParser Tokens(Condition);
  for (const auto& T : Tokens.Tokens()) {
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
