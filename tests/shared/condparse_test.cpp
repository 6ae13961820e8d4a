// The shared condition reader: what it hands its actions and in which order, what each
// grammar lets in, and which fault it reports where.
#include "shared/condparse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/text.h"

namespace nxs {
namespace {

// One grammar with groups as operands, one argument and a nesting limit; one with argument
// lists and neither.
constexpr TConditionGrammar Nested{{"'", true, true, true, true, false}, true, false, 3};
constexpr TConditionGrammar Lists{{"'\"", false, false, false, false, true}, false, true, 0};

struct TFault {
  TConditionFault Fault;
  std::string Token;
  size_t Start;
};

// Records each call as "what:text", with "-" for one made while not evaluating; words read
// as Booleans, a comparison is true when its sides match.
class TRecorder : public TConditionActions {
 public:
  std::vector<std::string> Log;

  [[noreturn]] void Malformed(TConditionFault Fault, const TConditionScan& T, std::string_view) override {
    throw TFault{Fault, std::string(T.Text), T.Start};
  }
  TConditionValue Operand(const TConditionScan& T, bool Eval) override {
    Note("operand:" + std::string(T.Text), Eval);
    TConditionValue V;
    V.Token = T;
    V.Text = std::string(T.Kind == clQuoted ? T.Inner : T.Text);
    return V;
  }
  TConditionValue Compare(const TConditionValue& L, const TConditionScan& Op, const TConditionValue& R,
                          bool Eval) override {
    Note("compare:" + std::string(Op.Text), Eval);
    TConditionValue V;
    V.IsBool = true;
    V.Bool = (L.IsBool ? L.Bool ? "true" : "false" : L.Text) == (R.IsBool ? R.Bool ? "true" : "false" : R.Text);
    return V;
  }
  bool KnownFunction(std::string_view Name) override { return SameText(Name, "f"); }
  TConditionValue Call(const TConditionScan& Name, const std::vector<TConditionValue>& Args, bool Eval) override {
    Note("call:" + std::string(Name.Text) + "/" + std::to_string(Args.size()), Eval);
    TConditionValue V;
    V.IsBool = true;
    V.Bool = true;
    return V;
  }
  bool Truth(const TConditionValue& V) override { return V.IsBool ? V.Bool : V.Text == "true"; }

 private:
  void Note(std::string What, bool Eval) { Log.push_back(Eval ? What : What + "-"); }
};

bool Read(std::string_view Text, const TConditionGrammar& G, std::vector<std::string>* Log = nullptr) {
  TRecorder R;
  bool B = R.Truth(ReadCondition(Text, G, R));
  if (Log) *Log = R.Log;
  return B;
}

TFault FaultOf(std::string_view Text, const TConditionGrammar& G) {
  try {
    Read(Text, G);
  } catch (const TFault& F) {
    return F;
  }
  ADD_FAILURE() << "no fault for " << Text;
  return {};
}

TEST(ConditionReader, HandsOnEachPartInOrderAndSkippedSidesUnevaluated) {
  std::vector<std::string> Log;
  EXPECT_TRUE(Read("true or 'a'=='b' and f('x')", Nested, &Log));
  EXPECT_EQ(Log, (std::vector<std::string>{"operand:true", "operand:'a'-", "operand:'b'-", "compare:==-",
                                           "operand:'x'-", "call:f/1-"}));
  EXPECT_FALSE(Read("'a'=='b' and !(x)", Nested, &Log));
  EXPECT_EQ(Log, (std::vector<std::string>{"operand:'a'", "operand:'b'", "compare:==", "operand:x-"}));
  EXPECT_TRUE(Read("!false and (false or true)", Nested));
}

TEST(ConditionReader, EachGrammarTakesItsOwnOperandsAndCalls) {
  // Groups and negations as operands.
  EXPECT_TRUE(Read("(true) == !false", Nested));
  EXPECT_EQ(FaultOf("(true) == true", Lists).Token, "==");
  EXPECT_EQ(FaultOf("a == !b", Lists).Token, "!");
  // Calls: any number of simple arguments, or a known name and exactly one.
  std::vector<std::string> Log;
  Read("f() and F(a, $(B), f(c))", Lists, &Log);
  EXPECT_EQ(Log, (std::vector<std::string>{"call:f/0", "operand:a", "operand:$(B)", "operand:c", "call:f/1",
                                           "call:F/3"}));
  EXPECT_EQ(FaultOf("f(a, b)", Nested).Fault, cfArguments);
  EXPECT_EQ(FaultOf("f()", Nested).Fault, cfUnexpected);
  EXPECT_TRUE(Read("f((false))", Nested));
  // An unknown name is refused before its arguments are read.
  TRecorder R;
  try {
    ReadCondition("g('x')", Nested, R);
    ADD_FAILURE();
  } catch (const TFault& F) {
    EXPECT_EQ(F.Fault, cfUnknownFunction);
    EXPECT_TRUE(R.Log.empty());
  }
  // "and" and "or" are never operands; with argument lists, never names either.
  EXPECT_EQ(FaultOf("a == and", Nested).Fault, cfUnexpected);
  EXPECT_EQ(FaultOf("and(x)", Nested).Fault, cfUnknownFunction);
  EXPECT_EQ(FaultOf("Or(x)", Lists).Fault, cfUnexpected);
}

TEST(ConditionReader, NamesEachFaultAtItsToken) {
  struct {
    std::string_view Text;
    TConditionFault Fault;
    std::string Token;
    size_t Start;
  } Cases[] = {
      {"  ", cfMissingOperand, "", 2},        {"a ==", cfMissingOperand, "", 4},
      {"a b", cfTrailing, "b", 2},            {"'a' == 'b", cfUnterminated, "'", 7},
      {"$(A == b", cfUnterminated, "$", 0},   {"(a == b", cfMissingClose, "", 7},
      {"(a b)", cfMissingClose, "b", 3},      {"f(", cfMissingClose, "", 2},
      {"f(a b)", cfArguments, "b", 4},        {"a == <", cfUnexpected, "<", 5},
      {"!!!!a", cfNesting, "!", 3},           {"((((a))))", cfNesting, "(", 3},
  };
  for (const auto& C : Cases) {
    TFault F = FaultOf(C.Text, Nested);
    EXPECT_EQ(F.Fault, C.Fault) << C.Text;
    EXPECT_EQ(F.Token, C.Token) << C.Text;
    EXPECT_EQ(F.Start, C.Start) << C.Text;
  }
  // Without a limit, nesting is only bounded by the text.
  EXPECT_TRUE(Read("!!!!true", Lists));
}

}  // namespace
}  // namespace nxs
