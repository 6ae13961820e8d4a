#include "build/engine/conditions.h"

#include <charconv>

#include "build/engine/expand.h"
#include "build/engine/items.h"
#include "build/engine/resstrings.h"
#include "shared/condscan.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::engine {

namespace {

bool ParseConditionNumber(std::string_view S, double& V) {
  while (!S.empty() && IsBlank(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back())) S.remove_suffix(1);
  if (S.empty()) return false;
  bool Neg = false;
  if (S[0] == '-' || S[0] == '+') {
    Neg = S[0] == '-';
    S.remove_prefix(1);
  }
  if (S.empty()) return false;
  if (S.size() > 2 && S[0] == '0' && (S[1] == 'x' || S[1] == 'X')) {
    uint64_t H = 0;
    auto R = std::from_chars(S.data() + 2, S.data() + S.size(), H, 16);
    if (R.ec != std::errc() || R.ptr != S.data() + S.size()) return false;
    V = Neg ? -static_cast<double>(H) : static_cast<double>(H);
    return true;
  }
  for (char C : S)
    if (!((C >= '0' && C <= '9') || C == '.')) return false;
  auto R = std::from_chars(S.data(), S.data() + S.size(), V);
  if (R.ec != std::errc() || R.ptr != S.data() + S.size()) return false;
  if (Neg) V = -V;
  return true;
}

// A value on the way through the parser: a Boolean from a comparison or a function, or the
// text of an operand (with its source, for messages).
struct TValue {
  bool IsBool = false;
  bool Bool = false;
  std::string Text;
  std::string_view Source;
  size_t Pos = 0;
};

// The engine's dialect: single quotes, all six comparisons, item lists and metadata, and
// nested property references.
constexpr TConditionDialect EngineDialect{"'", true, true, true, true, false};

class TConditionParser {
 public:
  TConditionParser(std::string_view Cond, const TExpandContext& Ctx) : FS(Cond), FCtx(Ctx) {}

  bool Run() {
    TValue V = Or(true);
    Blanks();
    if (FP < FS.size()) Malformed(Format("unexpected \"%s\"", FS.substr(FP, 1)), FP);
    return AsBool(V);
  }

 private:
  std::string_view FS;
  size_t FP = 0;
  int FDepth = 0;

  // Parentheses and "!" nest by recursion; a condition nesting thousands is refused.
  struct TNest {
    TConditionParser& P;
    TNest(TConditionParser& Parser, size_t Pos) : P(Parser) {
      if (++P.FDepth > 500) P.Malformed("parentheses nested too deeply", Pos);
    }
    ~TNest() { --P.FDepth; }
  };
  const TExpandContext& FCtx;

  [[noreturn]] void Malformed(const std::string& Why, size_t Pos) {
    Fail(FCtx.Where, Format(res::SBadCondition, FS, Why, static_cast<int>(Pos + 1)));
  }

  void Blanks() {
    while (FP < FS.size() && IsBlank(FS[FP])) ++FP;
  }

  TConditionScan Scan() const { return ScanCondition(FS, FP, EngineDialect); }

  // A keyword ("and", "or") at the cursor as a whole word.
  bool Keyword(std::string_view K) {
    Blanks();
    TConditionScan T = Scan();
    if (T.Kind != clWord || !SameText(T.Text, K)) return false;
    FP = T.End;
    return true;
  }

  bool AsBool(const TValue& V) {
    if (V.IsBool) return V.Bool;
    bool B = false;
    if (!ParseBool(V.Text, B)) Fail(FCtx.Where, Format(res::SConditionNotBoolean, FS, V.Source, V.Text,
                                                        static_cast<int>(V.Pos + 1)));
    return B;
  }

  TValue Or(bool Eval) {
    TValue L = And(Eval);
    while (Keyword("or")) {
      bool LB = Eval ? AsBool(L) : false;
      TValue R = And(Eval && !LB);
      bool RB = (Eval && !LB) ? AsBool(R) : false;
      L = TValue{true, LB || RB, {}, {}, 0};
    }
    return L;
  }

  TValue And(bool Eval) {
    TValue L = Not(Eval);
    while (Keyword("and")) {
      bool LB = Eval ? AsBool(L) : false;
      TValue R = Not(Eval && LB);
      bool RB = (Eval && LB) ? AsBool(R) : false;
      L = TValue{true, LB && RB, {}, {}, 0};
    }
    return L;
  }

  TValue Not(bool Eval) {
    Blanks();
    if (Scan().Kind == clNot) {
      TNest N(*this, FP);
      ++FP;
      TValue V = Not(Eval);
      return TValue{true, Eval ? !AsBool(V) : false, {}, {}, 0};
    }
    return Relation(Eval);
  }

  TValue Relation(bool Eval) {
    TValue L = Factor(Eval);
    Blanks();
    TConditionScan T = Scan();
    if (T.Kind != clCompare) return L;
    std::string_view Op = T.Text;
    size_t OpPos = FP;
    FP = T.End;
    TValue R = Factor(Eval);
    if (!Eval) return TValue{true, false, {}, {}, 0};
    std::string A = L.IsBool ? BoolText(L.Bool) : L.Text;
    std::string B = R.IsBool ? BoolText(R.Bool) : R.Text;
    double NA = 0, NB = 0;
    bool Numbers = ParseConditionNumber(A, NA) && ParseConditionNumber(B, NB);
    bool Result;
    if (Op == "==" || Op == "!=") {
      bool BA = false, BB = false;
      bool Equal;
      if (Numbers)
        Equal = NA == NB;
      else if (ParseBool(A, BA) && ParseBool(B, BB))
        Equal = BA == BB;
      else
        Equal = SameText(A, B);
      Result = Op == "==" ? Equal : !Equal;
    } else {
      if (!Numbers) {
        const TValue& Bad = ParseConditionNumber(A, NA) ? R : L;
        const std::string& BadText = &Bad == &L ? A : B;
        Fail(FCtx.Where, Format(res::SConditionNotNumber, FS, Bad.Source, BadText,
                                static_cast<int>((Bad.Source.empty() ? OpPos : Bad.Pos) + 1)));
      }
      if (Op == "<")
        Result = NA < NB;
      else if (Op == ">")
        Result = NA > NB;
      else if (Op == "<=")
        Result = NA <= NB;
      else
        Result = NA >= NB;
    }
    return TValue{true, Result, {}, {}, 0};
  }

  std::string ExpandOperand(std::string_view Text) {
    return MSBuildUnescape(ExpandString(Text, FCtx));
  }

  TValue Factor(bool Eval) {
    Blanks();
    if (FP >= FS.size()) Malformed("an operand is missing", FP);
    size_t Start = FP;
    TConditionScan T = Scan();
    if (T.Kind == clOpen) {
      TNest N(*this, FP);
      ++FP;
      TValue V = Or(Eval);
      Blanks();
      if (FP >= FS.size() || FS[FP] != ')') Malformed("a \")\" is missing", FP);
      ++FP;
      return V;
    }
    if (T.Kind == clInvalid && T.Unterminated)
      Malformed(FS[FP] == '\'' ? "an unterminated quoted string" : "a \")\" is missing", FP);
    if (T.Kind == clQuoted || T.Kind == clReference) {
      FP = T.End;
      TValue V;
      V.Source = T.Text;
      V.Pos = Start;
      if (Eval) V.Text = ExpandOperand(T.Kind == clQuoted ? T.Inner : T.Text);
      return V;
    }
    if (T.Kind == clWord) {
      FP = T.End;
      std::string_view Word = T.Text;
      size_t AfterWord = FP;
      Blanks();
      if (FP < FS.size() && FS[FP] == '(') return Function(Word, Start, Eval);
      FP = AfterWord;
      if (SameText(Word, "and") || SameText(Word, "or")) Malformed(Format("unexpected \"%s\"", Word), Start);
      TValue V;
      V.Source = Word;
      V.Pos = Start;
      V.Text = std::string(Word);
      return V;
    }
    if (T.Kind == clNot) {
      // "!true" and the like: a negated Boolean word. ("!=" here is an operator where an
      // operand belongs.)
      return Not(Eval);
    }
    Malformed(Format("unexpected \"%s\"", FS.substr(FP, 1)), FP);
  }

  TValue Function(std::string_view Name, size_t Start, bool Eval) {
    bool IsExists = SameText(Name, "Exists");
    bool IsSlash = SameText(Name, "HasTrailingSlash");
    if (!IsExists && !IsSlash)
      Fail(FCtx.Where, Format(res::SConditionUnknownFunction, FS, Name, static_cast<int>(Start + 1)));
    ++FP;  // "("
    Blanks();
    if (FP >= FS.size()) Malformed("a \")\" is missing", FP);
    TValue Arg = Factor(Eval);
    Blanks();
    if (FP >= FS.size() || FS[FP] != ')') Malformed(Format("%s takes one argument and a \")\"", Name), FP);
    ++FP;
    if (!Eval) return TValue{true, false, {}, {}, 0};
    std::string Text = Trim(Arg.IsBool ? BoolText(Arg.Bool) : Arg.Text);
    if (IsSlash) return TValue{true, !Text.empty() && IsPathDelimiter(Text.back()), {}, {}, 0};
    if (Text.empty()) return TValue{true, false, {}, {}, 0};
    std::string Base = FCtx.ExistsBesideThisFile && FCtx.ThisFile ? DirectoryOf(*FCtx.ThisFile) : FCtx.Project->Directory();
    TFileInfo Info = FileSystem().Stat(FullPathOf(Text, Base));
    return TValue{true, Info.Exists, {}, {}, 0};
  }
};

}  // namespace

bool EvaluateCondition(std::string_view Condition, const TExpandContext& Ctx) {
  size_t I = 0;
  while (I < Condition.size() && IsBlank(Condition[I])) ++I;
  if (I == Condition.size()) return true;
  TConditionParser P(Condition, Ctx);
  return P.Run();
}

}  // namespace nxs::engine
