#include "build/engine/conditions.h"

#include <charconv>

#include "build/engine/expand.h"
#include "build/engine/items.h"
#include "build/engine/resstrings.h"
#include "shared/condparse.h"
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

// The engine's grammar: single quotes, all six comparisons, item lists and metadata, nested
// property references; groups and negations as operands; one argument to a call; nesting
// refused past 500.
constexpr TConditionGrammar EngineGrammar{{"'", true, true, true, true, false}, true, false, 500};

// Evaluates a condition as the shared reader reads it, so that expansions (and what they
// report) happen in the order the condition is written.
class TConditionEvaluator : public TConditionActions {
 public:
  TConditionEvaluator(std::string_view Cond, const TExpandContext& Ctx) : FS(Cond), FCtx(Ctx) {}

  bool Run() { return Truth(ReadCondition(FS, EngineGrammar, *this)); }

 private:
  std::string_view FS;
  const TExpandContext& FCtx;

  static TConditionValue Bool(bool B) {
    TConditionValue V;
    V.IsBool = true;
    V.Bool = B;
    return V;
  }

  [[noreturn]] void Bad(const std::string& Why, size_t Pos) {
    Fail(FCtx.Where, Format(res::SBadCondition, FS, Why, static_cast<int>(Pos + 1)));
  }

  [[noreturn]] void Malformed(TConditionFault Fault, const TConditionScan& T, std::string_view Name) override {
    switch (Fault) {
      case cfNesting:
        Bad("parentheses nested too deeply", T.Start);
      case cfMissingOperand:
        Bad("an operand is missing", T.Start);
      case cfMissingClose:
        Bad("a \")\" is missing", T.Start);
      case cfUnterminated:
        Bad(FS[T.Start] == '\'' ? "an unterminated quoted string" : "a \")\" is missing", T.Start);
      case cfUnknownFunction:
        Fail(FCtx.Where, Format(res::SConditionUnknownFunction, FS, Name, static_cast<int>(T.Start + 1)));
      case cfArguments:
        Bad(Format("%s takes one argument and a \")\"", Name), T.Start);
      case cfUnexpected:
        // A misplaced "and" or "or" is named whole.
        if (T.Kind == clWord) Bad(Format("unexpected \"%s\"", T.Text), T.Start);
        break;
      case cfTrailing:
        break;
    }
    Bad(Format("unexpected \"%s\"", T.Text.substr(0, 1)), T.Start);
  }

  bool Truth(const TConditionValue& V) override {
    if (V.IsBool) return V.Bool;
    bool B = false;
    if (!ParseBool(V.Text, B))
      Fail(FCtx.Where, Format(res::SConditionNotBoolean, FS, V.Token.Text, V.Text, static_cast<int>(V.Token.Start + 1)));
    return B;
  }

  TConditionValue Operand(const TConditionScan& T, bool Eval) override {
    TConditionValue V;
    V.Token = T;
    if (T.Kind == clWord)
      V.Text = std::string(T.Text);
    else if (Eval)
      V.Text = MSBuildUnescape(ExpandString(T.Kind == clQuoted ? T.Inner : T.Text, FCtx));
    return V;
  }

  TConditionValue Compare(const TConditionValue& L, const TConditionScan& OpToken, const TConditionValue& R,
                          bool Eval) override {
    if (!Eval) return Bool(false);
    std::string_view Op = OpToken.Text;
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
        const TConditionValue& Bad = ParseConditionNumber(A, NA) ? R : L;
        const std::string& BadText = &Bad == &L ? A : B;
        size_t Pos = Bad.Token.Text.empty() ? OpToken.Start : Bad.Token.Start;
        Fail(FCtx.Where, Format(res::SConditionNotNumber, FS, Bad.Token.Text, BadText, static_cast<int>(Pos + 1)));
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
    return Bool(Result);
  }

  bool KnownFunction(std::string_view Name) override {
    return SameText(Name, "Exists") || SameText(Name, "HasTrailingSlash");
  }

  TConditionValue Call(const TConditionScan& Name, const std::vector<TConditionValue>& Args, bool Eval) override {
    if (!Eval) return Bool(false);
    const TConditionValue& Arg = Args.front();
    std::string Text = Trim(Arg.IsBool ? BoolText(Arg.Bool) : Arg.Text);
    if (SameText(Name.Text, "HasTrailingSlash")) return Bool(!Text.empty() && IsPathDelimiter(Text.back()));
    if (Text.empty()) return Bool(false);
    std::string Base = FCtx.ExistsBesideThisFile && FCtx.ThisFile ? DirectoryOf(*FCtx.ThisFile) : FCtx.Project->Directory();
    TFileInfo Info = FileSystem().Stat(FullPathOf(Text, Base));
    return Bool(Info.Exists);
  }
};

}  // namespace

bool EvaluateCondition(std::string_view Condition, const TExpandContext& Ctx) {
  size_t I = 0;
  while (I < Condition.size() && IsBlank(Condition[I])) ++I;
  if (I == Condition.size()) return true;
  return TConditionEvaluator(Condition, Ctx).Run();
}

}  // namespace nxs::engine
