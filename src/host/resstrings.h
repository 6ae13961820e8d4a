// The user-visible texts of the command-line host: its usage errors and its own messages.
// Messages a library raises live in that library's resource strings.
#pragma once

namespace nxs::res {

// -- Project commands: group, project, config, optionset, options, answers ------------------

inline constexpr const char* SMissingOption = "missing %s";
inline constexpr const char* SMissingArguments = "missing arguments";
inline constexpr const char* SOptionsGoTogether = "%s and %s go together";
inline constexpr const char* SGiveOneOf = "give one of %s and %s";
inline constexpr const char* SNotLegacyGroup = "not a legacy group file: %s";
inline constexpr const char* SUnknownSortOrder = "unknown sort order %s";
inline constexpr const char* SNotAnAnswer = "'%s' is not an answer";
inline constexpr const char* SNotAnAnswerAtLine = "answers line %d: '%s' is not an answer";
inline constexpr const char* SQuestionAnswered = "question: %s -> %s";

// -- End of the project commands' texts ------------------------------------------------------

}  // namespace nxs::res
