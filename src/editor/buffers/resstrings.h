// The user-visible texts of the source editor.
#pragma once

namespace nxs::res {

// Kernel start-up and the command layer.
inline constexpr const char* SCantCreateEditorBuffer = "Can't create new editor buffer";
inline constexpr const char* SCantLoadEditorKernel = "Can't load %s.";
inline constexpr const char* SCantGetEkInit = "Can't get EK_INIT";
inline constexpr const char* SWrongEditorKernelVersion = "Loaded wrong version of %s";
inline constexpr const char* SCannotLoadFile = "Cannot load file";

// Search patterns the kernel refuses: with the expression engine's reason and the byte of
// the expression where it stopped, or with the kernel's status alone.
inline constexpr const char* SSearchExpressionError = "Invalid search expression '%s': %s at offset %d";
inline constexpr const char* SBadSearchExpression = "Invalid search expression '%s' (error %d)";

// Edit buffers and views.
inline constexpr const char* SLinesTruncated = "One or more lines were too long and have been truncated";
inline constexpr const char* SEditBufferReadOnly = "The edit buffer of '%s' is marked read-only";
inline constexpr const char* SSaveInUtf8 =
    "%s holds characters that its 8-bit encoding cannot store. Save it as UTF-8 instead?";
inline constexpr const char* SEditorLineIndexOutOfBounds = "Editor line index out of bounds";
inline constexpr const char* SUnableToOpenEditorForReading = "Unable to open editor for reading";
inline constexpr const char* SIntegerOutOfRange = "%s must be an integer between %d and %d";
inline constexpr const char* SLeftGutterWidth = "Left Gutter Width";
inline constexpr const char* SRightMargin = "RightMargin";

// Highlighters.
inline constexpr const char* SHighlighterNotInitialized =
    "Adding new syntax highlighter failed: the IDE has not initialized";

// Sync edit.
inline constexpr const char* SSyncEditMode = "Sync Edit Mode";
inline constexpr const char* SSyncEditModeDetail = " (%s)";
inline constexpr const char* SSyncEditHint = "<tab> or <shift + tab> to navigate";

// Keyboard services.
inline constexpr const char* SKbdCantFind = "Cannot find the keymap %s in %s";
inline constexpr const char* SKbdCantLoad = "Cannot load the keymap %s in %s";
inline constexpr const char* SKbdWrongVersion = "Wrong keyboard engine version in %s";
inline constexpr const char* SDuplicateKeyBinding = "Can't register duplicate keybinding, %s";
inline constexpr const char* SKeyProcConflict = "Key binding %s: %s";

// Code folding.
inline constexpr const char* SFoldedRegion = "Folded Region";
inline constexpr const char* SUnmatchedEnd = "'end' without a matching begin";
inline constexpr const char* SUnmatchedBrace = "'}' without a matching '{'";
inline constexpr const char* SUnclosedBlock = "'%s' is never closed";
inline constexpr const char* SUnterminatedComment = "Unterminated comment";
inline constexpr const char* SUnterminatedString = "Unterminated string";
inline constexpr const char* SUnmatchedDirective = "'%s' without a matching opening directive";

// Commands run by name, typed text and search requests, as scripts give them.
inline constexpr const char* SUnknownEditorCommand = "unknown command '%s'";
inline constexpr const char* SCommandTakesNoArgument = "'%s' takes no argument";
inline constexpr const char* SNotAnEditorCommand = "'%s' is not an editor command";
inline constexpr const char* SBookmarkNotNumber = "the bookmark must be a number: '%s'";
inline constexpr const char* SBookmarkRange = "bookmarks are numbered 0 to 9";
inline constexpr const char* SBookmarkNotSet = "bookmark %d is not set";
inline constexpr const char* SEditorCommandFailed = "%s failed (%s)";
inline constexpr const char* SUnknownEscape = "unknown escape '\\%s'";
inline constexpr const char* SExpectedSearchRequest = "expected FLAGS /TEXT/";
inline constexpr const char* SUnknownSearchFlag = "unknown search flag '%s'";
inline constexpr const char* SMissingClosingDelimiter = "missing closing '%s'";
inline constexpr const char* STextAfterPattern = "unexpected text after the pattern";

}  // namespace nxs::res
