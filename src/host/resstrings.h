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
inline constexpr const char* SCliNumberFrom = "%s takes a number from %d";
inline constexpr const char* SCliNumberFromTo = "%s takes a number from %d to %d";

// What the host writes to standard error: an error, and wrong usage with the usage line.
inline constexpr const char* SCliErrorLine = "nxs: %s\n";
inline constexpr const char* SCliUsageError = "nxs: %s\nusage: %s\n";

// nxs ed.
inline constexpr const char* SEdAnswerWords = "--answer takes yes, no or cancel";
inline constexpr const char* SStartupAnswerWords = "--answer takes an answer word: yes, no, cancel, ok, ...";
inline constexpr const char* SEdScriptLine = "line %d: %s";
inline constexpr const char* SDebugNoActiveProject = "%s has no project to run";
inline constexpr const char* SEdExpectedGoToLine = "expected GoToLine LINE [COLUMN]";
inline constexpr const char* SEdNotAKeySequence = "not a key sequence: '%s'";
inline constexpr const char* SEdUnknownKeymap = "unknown keymap '%s'";
inline constexpr const char* SEdNotOpenAsSourceModule = "%s is not open as a source module";
inline constexpr const char* SEdNoModuleOpen = "no module is open";
inline constexpr const char* SEdTakesNoArgument = "'%s' takes no argument";
inline constexpr const char* SEdExpectedArgument = "expected %s %s";
inline constexpr const char* SEdNotOpen = "%s is not open";
inline constexpr const char* SEdIsADirectory = "Is a directory";
inline constexpr const char* SEdNoSuchFileOrDirectory = "No such file or directory";
inline constexpr const char* SEdUnknownBuildMode = "unknown build mode '%s' (make, build or clean)";
inline constexpr const char* SEdNoProjectHolds = "no project holds %s";
inline constexpr const char* SEdNoMessage = "there is no message %d";
inline constexpr const char* SEdMessageWithoutFile = "message %d points at no file";
inline constexpr const char* SEdNoRegionParser = "no region parser for '%s' (Pascal and C/C++ files have one)";
inline constexpr const char* SEdCannotReadFile = "Cannot read file '%s'";
inline constexpr const char* SEdParseTimedOut = "the parse did not finish in time";
inline constexpr const char* SEdNoFoldableBlock = "no foldable block at line %d";
inline constexpr const char* SEdUnknownRegionKind = "unknown region kind '%s'";
inline constexpr const char* SEdNotInSyncEdit = "%s: not in sync edit mode";
inline constexpr const char* SEdSyncEditNoBlock = "SyncEdit: no block is marked";
inline constexpr const char* SEdSyncEditNoIdentifier = "SyncEdit: no identifier occurs more than once in the block";
inline constexpr const char* SEdExpectedTemplate = "expected Template TEXT";
inline constexpr const char* SEdTemplateFailed = "Template: the template could not be edited";

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
