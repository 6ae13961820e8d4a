// The user-visible texts of the environment options, and the key paths and value names that
// code outside the option tables refers to.
#pragma once

namespace nxs::res {

// Messages.
inline constexpr const char* SEmptyExtension = "An empty extension is not allowed";
inline constexpr const char* SAmbiguousExtension = "Ambiguous file extension - %s already exists in the group %s";
inline constexpr const char* SCannotDeleteDefaultSourceOption = "The default editor source option cannot be deleted";
inline constexpr const char* SOptionIntegerRange = "%s must be an integer between %d and %d";
inline constexpr const char* SOptionBoolean = "%s must be True or False";
inline constexpr const char* SOptionString = "%s must be a text";
inline constexpr const char* SOptionEnum = "%s must be an integer between %d and %d or one of %s";
inline constexpr const char* SOptionColor = "%s must be a colour name (clBlack, clWhite, ...) or a number";
inline constexpr const char* SOptionTabStops =
    "%s must be ascending column numbers between 1 and %d separated by blanks, not '%s'";
inline constexpr const char* SUnknownOptionKey = "No option set is stored at '%s'";
inline constexpr const char* SUnknownOption = "There is no option '%s' in '%s'";
inline constexpr const char* SSourceOptionExists = "An editor source option named '%s' already exists";
inline constexpr const char* SSourceOptionIndex = "Editor source option index %d out of bounds";
inline constexpr const char* SAddInOptionsRegistered = "Options at '%s' are already registered";

// Key paths of the option sets (below the environment's key).
inline constexpr const char* KeyEditorHighlight = "Editor\\Highlight";
inline constexpr const char* KeyEditorOptions = "Editor\\Options";
inline constexpr const char* KeyAutoSave = "Auto Save";
inline constexpr const char* KeyDebugging = "Debugging";
inline constexpr const char* KeyCompiling = "Compiling";
inline constexpr const char* KeyRepository = "Repository";
inline constexpr const char* KeyCodeInsight = "Code Insight";
inline constexpr const char* KeySearch = "Search";
inline constexpr const char* KeyReplace = "Replace";
inline constexpr const char* KeySourceOptions = "Editor\\Source Options";
inline constexpr const char* KeyStartupOptions = "Startup Options";
inline constexpr const char* KeyGlobals = "Globals";
// The project manager's set names no key of its own; it lives with the project manager's
// other settings.
inline constexpr const char* KeyProjectManager = "ProjectManager";
inline constexpr const char* KeyAutoRecover = "AutoRecover";
inline constexpr const char* KeyHistoryLists = "History Lists";
inline constexpr const char* SPairTableKey = "Pair Table";
inline constexpr const char* SPairValue = "Pair%d";
inline constexpr const char* SPairFormat = "%d,%d,%d,%s,%s";

// Value names that code refers to.
namespace opt {
inline constexpr const char* CaseSensitive = "Case Sensitive";
inline constexpr const char* WholeWords = "Whole Words";
inline constexpr const char* RegularExpression = "Regular Expression";
inline constexpr const char* SearchForward = "Search Forward";
inline constexpr const char* FromCursor = "From Cursor";
inline constexpr const char* Global = "Global";
inline constexpr const char* WrapAround = "Wrap Around";
inline constexpr const char* PromptOnReplace = "Prompt On Replace";

inline constexpr const char* EditorSpeedSetting = "Editor SpeedSetting";
inline constexpr const char* CreateBackupFile = "Create Backup File";
inline constexpr const char* FileBackupLevel = "File Backup Level";
inline constexpr const char* AutoSaveEditorFiles = "Editor Files";
inline constexpr const char* AutoSaveDesktop = "Desktop";
inline constexpr const char* AskToReloadModifiedFiles = "Ask To Reload Modified Files";
inline constexpr const char* EditorEmulation = "Editor Emulation";

inline constexpr const char* TabCharacter = "Tab Character";
inline constexpr const char* SmartTab = "Smart Tab";
inline constexpr const char* OptimalFill = "Optimal Fill";
inline constexpr const char* BackspaceUnindents = "Backspace Unindents";
inline constexpr const char* KeepTrailingBlanks = "Keep Trailing Blanks";
inline constexpr const char* UseSyntaxHighlight = "Use Syntax Highlight";
inline constexpr const char* TabStops = "Tab Stops";
inline constexpr const char* FileExtensions = "File Extensions";
inline constexpr const char* AutoIndent = "Auto Indent";
inline constexpr const char* BlockIndent = "Block Indent";
inline constexpr const char* SourceOptionName = "Source Option Name";
inline constexpr const char* SyntaxHighlighterID = "Syntax Highlighter ID";
inline constexpr const char* SourceOptInternalID = "Source Opt Internal ID";

inline constexpr const char* AutoRecoverEnabled = "Enabled";
inline constexpr const char* AutoRecoverInterval = "Interval";
}  // namespace opt

// Editor speed settings, by the number older versions stored.
inline constexpr const char* SSpeedDefault = "Tarvos.Default";
inline constexpr const char* SSpeedClassic = "Tarvos.Classic";
inline constexpr const char* SSpeedBrief = "Tarvos.Brief";
inline constexpr const char* SSpeedEpsilon = "Tarvos.Epsilon";
inline constexpr const char* SSpeedVisualStudio = "Tarvos.VisualStudio";
inline constexpr const char* SSpeedVisualBasic = "Tarvos.VisualBasic";

// The colour sample file for which choosing a group leaves code insight alone.
inline constexpr const char* SHighlightSampleFile = "HIGHLITE.PAS";

}  // namespace nxs::res
