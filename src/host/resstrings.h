// The user-visible texts of the command-line host: its usage errors, its errors and the lines
// it writes to standard error.
#pragma once

namespace nxs::res {

// ---- The command line, the top-level handler, the editor, find and build commands ----

// Parsing a command line.
inline constexpr const char* SUnknownCliOption = "unknown option %s";
inline constexpr const char* SCliOptionTakesNoValue = "option %s takes no value";
inline constexpr const char* SCliOptionNeedsValue = "option %s needs a value";
inline constexpr const char* SMissingCliArguments = "missing arguments";
inline constexpr const char* STooManyCliArguments = "too many arguments";
inline constexpr const char* SMissingCliCommand = "missing command";
inline constexpr const char* SUnknownCliCommand = "unknown command '%s'";
// A number given to a command, as an option's value or a word of a script.

// What the host writes to standard error: an error, and wrong usage with the usage line.
inline constexpr const char* SCliErrorLine = "nxs: %s\n";
inline constexpr const char* SCliUsageError = "nxs: %s\nusage: %s\n";

// nxs ed.
inline constexpr const char* SEdAnswerWords = "--answer takes yes, no or cancel";
inline constexpr const char* SStartupAnswerWords = "--answer takes an answer word: yes, no, cancel, ok, ...";
inline constexpr const char* SEdScriptLine = "line %d: %s";

// nxs grep.
inline constexpr const char* SGrepFormatWords = "--format is message or gcc";
inline constexpr const char* SGrepProjectAndGroup = "--project and --group exclude each other";
inline constexpr const char* SGrepDirectoriesAndProjects = "directories and --project or --group exclude each other";

// nxs build.
inline constexpr const char* SBuildUnknownMode = "unknown mode '%s' (make, build, clean, check or link)";
inline constexpr const char* SBuildMessagesWords = "--messages takes view or gcc";
inline constexpr const char* SBuildNeedsGroupFile = "--from and --buildgroup need a group file";
inline constexpr const char* SBuildFromOrBuildGroup = "give one of --from and --buildgroup";

// nxs highlight, keys, history, macros.
inline constexpr const char* SHighlightFormatsExclusive = "--tokens, --ansi and --html exclude one another";
inline constexpr const char* SUnknownHighlighterName = "unknown highlighter '%s'";
inline constexpr const char* SKeysUnknownKeymap = "unknown keymap '%s'";
inline constexpr const char* SHistoryNoSuchFile = "No such file";
inline constexpr const char* SHistoryFavoritesWords = "expected add FILE or remove FILE";
inline constexpr const char* SMacrosMissingProject = "missing --project";

// ---- end of the command line, editor, find and build commands ----

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
// A line of the configuration tree deeper than the indent goes.
inline constexpr const char* SConfigDepth = "(depth %d) ";

// -- End of the project commands' texts ------------------------------------------------------

}  // namespace nxs::res
