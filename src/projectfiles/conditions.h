// MSBuild conditions as the configurations write them: the tokenizer (TConditionParser) and
// the reading of a group condition as a configuration definition, a local override, a value
// group or a build-event group (TConfigurationConditionParser).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nxs {

enum TConditionTokenKind {
  tkEnd,
  tkVariable,              // $(X), quoted or not; X in Text
  tkConfigVariable,        // $(Config)
  tkConfigurationVariable, // $(Configuration)
  tkPlatformVariable,      // $(Platform)
  tkConfigurationPlatform, // a quoted text holding both $(Configuration) and $(Platform)
  tkLiteral,               // any other quoted text, in Text
  tkIdentifier,            // a bare word (a function name, true, false)
  tkEqual,                 // ==
  tkNotEqual,              // !=
  tkAnd,
  tkOr,
  tkNot,                   // !
  tkOpenParen,
  tkCloseParen,
  tkComma,
};

struct TConditionToken {
  TConditionTokenKind Kind = tkEnd;
  std::string Text;
};

// Splits a condition into tokens. Raises EInvalidToken ("Invalid token: %s") for a
// character no token starts with and for an unterminated quote or variable.
class TConditionParser {
 public:
  explicit TConditionParser(std::string_view Condition);
  const std::vector<TConditionToken>& Tokens() const { return FTokens; }

 private:
  void Tokenize();

  std::string FText;
  std::vector<TConditionToken> FTokens;
};

// One comparison found in a condition: Left Op Right.
struct TConditionComparison {
  TConditionToken Left;
  TConditionTokenKind Op = tkEqual;
  TConditionToken Right;
};

enum TConditionKind {
  ckOther,               // nothing the configurations know
  ckDefinition,          // Name, Key, and Platform when it names one
  ckPlatformDefinition,  // Platform, ParentKey, Key
  ckOldStyleDefinition,  // Name (and Platform) from one literal compared with $(Configuration)|$(Platform)
  ckLocalOverride,       // Key, FileName
  ckValues,              // Key
  ckBuildEvent,          // Name, Platform
  ckLocalBuildEvent,     // Name, FileName
};

struct TConditionInfo {
  TConditionKind Kind = ckOther;
  std::string Name;
  std::string Key;
  std::string ParentKey;
  std::string Platform;
  std::string FileName;
};

class TConfigurationConditionParser {
 public:
  // Never raises: a condition that does not parse reads as ckOther.
  static TConditionInfo Parse(std::string_view Condition);
  // The comparisons of a condition, in order; raises EInvalidToken as the tokenizer does.
  static std::vector<TConditionComparison> Comparisons(std::string_view Condition);
};

// The conditions the configurations write.
std::string DefinitionCondition(const std::string& Name, const std::string& Key);
std::string PlatformDefinitionCondition(const std::string& Platform, const std::string& ParentKey,
                                        const std::string& Key);
std::string ValuesCondition(const std::string& Key);
std::string LocalOverrideCondition(const std::string& Key, const std::string& RelativeFile);
std::string BuildEventCondition(const std::string& Name, const std::string& Platform);
std::string LocalBuildEventCondition(const std::string& Name, const std::string& RelativeFile);

// A text as a condition's quoted literal holds it: quotes and "%" as "%XX".
std::string EscapeConditionLiteral(std::string_view Text);
// "%XX" (two hex digits) read as the character XX; the tokenizer does this for literals.
std::string UnescapeConditionLiteral(std::string_view Text);
// The meaning of a condition as one text: equal for conditions that differ only in blanks,
// the case of words and names, quote style and escaping. A condition that does not
// tokenize has its trimmed text in lower case as its key.
std::string ConditionKey(std::string_view Condition);
// The same condition, spelled alike or not.
bool SameConditionMeaning(std::string_view A, std::string_view B);

}  // namespace nxs
