#include "shared/condparse.h"

#include <cstdlib>

#include "shared/text.h"

namespace nxs {

namespace {

class TReader {
 public:
  TReader(std::string_view Text, const TConditionGrammar& G, TConditionActions& A) : FS(Text), FG(G), FA(A) {}

  TConditionValue Run() {
    TConditionValue V = Or(true);
    TConditionScan T = Scan();
    if (T.Kind != clEnd) Fail(cfTrailing, T, {});
    return V;
  }

 private:
  std::string_view FS;
  const TConditionGrammar& FG;
  TConditionActions& FA;
  size_t FP = 0;
  int FDepth = 0;

  // "(" and "!" nest by recursion; where the grammar says so, a condition nesting deeper is refused.
  [[noreturn]] void Fail(TConditionFault Fault, const TConditionScan& At, std::string_view Name) {
    FA.Malformed(Fault, At, Name);
    std::abort();  // the actions raise
  }

  struct TNest {
    TReader& R;
    TNest(TReader& Reader, const TConditionScan& At) : R(Reader) {
      if (++R.FDepth > R.FG.MaxDepth && R.FG.MaxDepth > 0) R.Fail(cfNesting, At, {});
    }
    ~TNest() { --R.FDepth; }
  };

  TConditionScan Scan() const { return ScanCondition(FS, FP, FG.Dialect); }

  static TConditionValue Bool(bool B) {
    TConditionValue V;
    V.IsBool = true;
    V.Bool = B;
    return V;
  }

  static bool IsKeyword(const TConditionScan& T) {
    return T.Kind == clWord && (SameText(T.Text, "and") || SameText(T.Text, "or"));
  }

  bool Keyword(std::string_view K) {
    TConditionScan T = Scan();
    if (T.Kind != clWord || !SameText(T.Text, K)) return false;
    FP = T.End;
    return true;
  }

  void Close() {
    TConditionScan T = Scan();
    if (T.Kind != clClose) Fail(cfMissingClose, T, {});
    FP = T.End;
  }

  TConditionValue Or(bool Eval) {
    TConditionValue L = And(Eval);
    while (Keyword("or")) {
      bool LB = Eval ? FA.Truth(L) : false;
      TConditionValue R = And(Eval && !LB);
      bool RB = (Eval && !LB) ? FA.Truth(R) : false;
      L = Bool(LB || RB);
    }
    return L;
  }

  TConditionValue And(bool Eval) {
    TConditionValue L = Not(Eval);
    while (Keyword("and")) {
      bool LB = Eval ? FA.Truth(L) : false;
      TConditionValue R = Not(Eval && LB);
      bool RB = (Eval && LB) ? FA.Truth(R) : false;
      L = Bool(LB && RB);
    }
    return L;
  }

  TConditionValue Not(bool Eval) {
    TConditionScan T = Scan();
    if (T.Kind == clNot) {
      TNest N(*this, T);
      FP = T.End;
      TConditionValue V = Not(Eval);
      return Bool(Eval ? !FA.Truth(V) : false);
    }
    if (T.Kind == clOpen && !FG.GroupOperands) return Group(T, Eval);
    return Relation(Eval);
  }

  TConditionValue Group(const TConditionScan& Open, bool Eval) {
    TNest N(*this, Open);
    FP = Open.End;
    TConditionValue V = Or(Eval);
    Close();
    return V;
  }

  TConditionValue Relation(bool Eval) {
    TConditionValue L = Operand(Eval);
    TConditionScan Op = Scan();
    if (Op.Kind != clCompare) return L;
    FP = Op.End;
    TConditionValue R = Operand(Eval);
    return FA.Compare(L, Op, R, Eval);
  }

  // Where an operand belongs: a quoted text, a reference, a word or a call, and in the
  // grammar that allows them a group or a negation.
  TConditionValue Operand(bool Eval) {
    TConditionScan T = Scan();
    switch (T.Kind) {
      case clEnd:
        Fail(cfMissingOperand, T, {});
      case clOpen:
        if (FG.GroupOperands) return Group(T, Eval);
        break;
      case clNot:
        if (FG.GroupOperands) return Not(Eval);
        break;
      case clInvalid:
        if (T.Unterminated) Fail(cfUnterminated, T, {});
        break;
      case clQuoted:
      case clReference:
        FP = T.End;
        return FA.Operand(T, Eval);
      case clWord: {
        // With argument lists "and" and "or" never name a call.
        if (FG.ArgumentLists && IsKeyword(T)) break;
        FP = T.End;
        TConditionScan Next = Scan();
        if (Next.Kind == clOpen) return Call(T, Next, Eval);
        if (IsKeyword(T)) Fail(cfUnexpected, T, {});
        return FA.Operand(T, Eval);
      }
      default:
        break;
    }
    Fail(cfUnexpected, T, {});
  }

  TConditionValue Call(const TConditionScan& Name, const TConditionScan& Open, bool Eval) {
    if (!FA.KnownFunction(Name.Text)) Fail(cfUnknownFunction, Name, Name.Text);
    FP = Open.End;
    std::vector<TConditionValue> Args;
    if (FG.ArgumentLists) {
      if (Scan().Kind != clClose) {
        Args.push_back(Operand(Eval));
        for (TConditionScan T = Scan(); T.Kind == clComma; T = Scan()) {
          FP = T.End;
          Args.push_back(Operand(Eval));
        }
      }
      Close();
    } else {
      TConditionScan T = Scan();
      if (T.Kind == clEnd) Fail(cfMissingClose, T, {});
      Args.push_back(Operand(Eval));
      T = Scan();
      if (T.Kind != clClose) Fail(cfArguments, T, Name.Text);
      FP = T.End;
    }
    return FA.Call(Name, Args, Eval);
  }
};

}  // namespace

TConditionValue ReadCondition(std::string_view Text, const TConditionGrammar& G, TConditionActions& A) {
  return TReader(Text, G, A).Run();
}

}  // namespace nxs
