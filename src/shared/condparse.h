// One reader for the condition language: or, and, !, parentheses, comparisons and function
// calls, read by recursive descent over the tokens of condscan.h. The reader does not know
// what a condition means: it hands each operand, comparison and call to its actions as it
// meets them (so a caller that evaluates keeps its side effects and messages in order), and
// reports a malformed condition through the actions, which raise their own error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "shared/condscan.h"

namespace nxs {

// The rules besides the tokens.
struct TConditionGrammar {
  TConditionDialect Dialect;
  bool GroupOperands = false;  // "(..)" and "!.." may stand where a comparison's operand does
  bool ArgumentLists = false;  // a call takes zero or more comma-separated simple operands, not exactly one
  int MaxDepth = 0;            // how deep "(" and "!" may nest; 0 for no limit
};

// A value on its way through the reader: a Boolean, or the text of an operand with the token
// it came from (for a call, its name).
struct TConditionValue {
  bool IsBool = false;
  bool Bool = false;
  std::string Text;
  TConditionScan Token;
};

enum TConditionFault {
  cfTrailing,         // Token follows a whole condition
  cfNesting,          // too deep at Token
  cfMissingOperand,   // the condition ends where an operand belongs
  cfMissingClose,     // a ")" belongs at Token
  cfUnterminated,     // Token opens a quote or reference left open
  cfUnexpected,       // Token where an operand belongs
  cfUnknownFunction,  // Token names no function
  cfArguments,        // the call named by Name does not close after its one argument at Token
};

class TConditionActions {
 public:
  virtual ~TConditionActions() = default;
  // Never returns.
  [[noreturn]] virtual void Malformed(TConditionFault Fault, const TConditionScan& Token, std::string_view Name) = 0;
  // Eval is false on the side "and"/"or" skip: the actions check, and need not compute.
  virtual TConditionValue Operand(const TConditionScan& Token, bool Eval) = 0;
  virtual TConditionValue Compare(const TConditionValue& L, const TConditionScan& Op, const TConditionValue& R,
                                  bool Eval) = 0;
  virtual bool KnownFunction(std::string_view Name) = 0;
  virtual TConditionValue Call(const TConditionScan& Name, const std::vector<TConditionValue>& Args,
                               bool Eval) = 0;
  // A value read as a Boolean; only asked while evaluating.
  virtual bool Truth(const TConditionValue& V) = 0;
};

// Reads Text whole (it may not be empty) and returns its value.
TConditionValue ReadCondition(std::string_view Text, const TConditionGrammar& G, TConditionActions& A);

}  // namespace nxs
