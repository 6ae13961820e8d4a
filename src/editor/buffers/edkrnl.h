// The kernel command layer: every editor operation that buffers and views need, as a short
// command script evaluated on one kernel view. Each operation first prepares the undo group
// it belongs to, so that consecutive typing, deleting or moving undoes as one step.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "editor/kernel/ek.h"
#include "shared/searchflags.h"

namespace nxs {

// Set by whoever manages undo groups explicitly (a writer, sync edit); while it is set the
// operations leave the current group alone. One switch for the process.
extern std::atomic<bool> ExplicitUndoGroupSet;

// Evaluates a finished script on the view under the kernel lock; returns the status.
uint16_t EvalScript(PEkView View, TEkScript& Script);
// Runs a script of one command and its end; returns the command's status.
template <class TArgs>
uint8_t EvalOne(PEkView View, TEkOp Op, const TArgs& Args, TEkOp EndOp = ekEndScript) {
  TEkScript S;
  const size_t At = S.Add(Op, Args);
  S.Add(EndOp);
  EvalScript(View, S);
  return S.Result(At);
}
// Closes the current macro step: the next change starts a new undo step.
void EndMac(PEkView View);
void SetupUndoGroup(TUndoGroup Group, PEkView View);

// Undo.
void Undo(PEkView View);
void Redo(PEkView View);
void UndoAndCenter(PEkView View);
void StartUndoGroup(PEkView View);
void SetUndoGroup(PEkView View, TUndoGroup Group);
void ClearUndoBuffer(PEkView View);
uint32_t GetUndoLimit(PEkView View);
void SetUndoLimit(PEkView View, uint32_t Limit);
using TClientUndoProc = TEkClientUndoProc;
void AddClientUndoProc(PEkView View, TUndoGroup Group, TClientUndoProc Proc, void* Context);
// A client procedure that is an undo step of its own: undone and redone alone though it
// changes no text, and never joined by the change before or after it.
void AddClientUndoStep(PEkView View, TClientUndoProc Proc, void* Context);

// Commands of the command map. Each edits under its undo group: cursor motions group with
// motions; erasing (DeleteChar, BackspaceDelete, DeleteBlock) joins a run of erasing and a
// typed tab a run of typing; setting a bookmark groups with any; a command that changes a
// block (copying, moving, changing case, indenting) is an undo step of its own. The others
// (ugGroupDefault) leave the current group as it is.
TUndoGroup MapCommandUndoGroup(const TEkCommandRef& Ref);
struct TMapCommandResult {
  bool Known = false;  // a command the kernel carries out
  uint8_t Status = 0;  // of its first operation
  uint8_t Op = 0;      // its first operation
};
// Runs a command of the command map as one macro step, under its undo group; UnDo and ReDo
// are Undo and Redo. A bookmark command works on bookmark Bookmark; a query's answer goes to
// Answer.
TMapCommandResult RunMapCommand(PEkView View, const TEkCommandRef& Ref, uint16_t Bookmark = 0,
                                uint8_t* Answer = nullptr);

// Inserting and deleting. Texts are UTF-8.
// As typed: line feeds are dropped and carriage returns break lines. A text of nothing but
// line feeds evaluates nothing.
void InsertString(PEkView View, std::string_view Text);
// Inserts the text as it is (any line break form) at the cursor.
void InsertAtCursor(PEkView View, std::string_view Text);
void InsertBlock(PEkView View, std::string_view Text, TUndoGroup Group);
// Inserts the text as it is at a byte offset of the text (any column of any line); the cursor
// stays where it is.
void InsertAt(PEkView View, uint32_t Offset, std::string_view Text, TUndoGroup Group);
void InsertLiteral(PEkView View, std::string_view Text);
void InsertTextAtTop(PEkView View, std::string_view Text);
void BreakLine(PEkView View);
// Deletes the character at the cursor; false for any non-zero status.
bool Delete(PEkView View);
void DeleteBlock(PEkView View);
void DeleteTempBlock(PEkView View);
// Deletes Count characters from the read position File on.
void DeleteTo(PEkView View, const TEdFile& File, int32_t Count);

// Search. Patterns in the BRIEF dialect are converted first when Brief is set and the
// environment's search options have the BRIEF switch on.
TSearchResult SearchString(PEkView View, TSearchFlags Flags, bool Brief, std::string_view Pattern,
                           std::string_view Text, int32_t& MatchStart, int32_t& MatchLength);
// One search in the buffer from the cursor; the cursor moves to the match. True when found;
// Result gets the kernel's status.
bool DoOneSearch(PEkView View, TSearchFlags Flags, bool Brief, std::string_view Pattern,
                 TEkSearchState& State, TSearchResult* Result = nullptr);
bool SearchAgain(PEkView View, TEkSearchState& State);
void EndSearch(PEkView View, TEkSearchState& State);
// Replaces the current match; the status (0 when replaced).
uint16_t ReplaceString(PEkView View, std::string_view Text, TEkSearchState& State);
// Replaces every match as one undo step and gives their number: from the cursor to the end of
// the scope (the shown block, else the text), or from its start up to the cursor searching
// backward; the whole scope with sfWrapAround. Matches are found in one pass as byte offsets
// before anything changes, so the time is linear in the text and the matches, and what a
// replacement makes is never matched again. Result gets the kernel's status.
int32_t ReplaceAll(PEkView View, TSearchFlags Flags, bool Brief, std::string_view Pattern, std::string_view Replacement,
                   TSearchResult* Result = nullptr);
// The message for a pattern that the kernel refused with Result: the expression engine's
// reason and the byte of the expression where it stopped, when the kernel gives them (a
// BRIEF pattern is shown as the expression it was converted to, which the byte counts in).
std::string SearchErrorMessage(PEkView View, std::string_view Pattern, bool Brief, TSearchResult Result);
// The same for a pattern as the kernel was given it (after any BRIEF conversion), with the
// engine's reason and byte as a search of one's own reports them (no reason: the status).
std::string SearchErrorMessage(std::string_view KernelPattern, TSearchResult Result, std::string_view Reason, int32_t Offset);
// The length in characters (code points; a byte that is not UTF-8 counts as one) of the match
// that State holds.
int32_t MatchCharLength(PEkView View, const TEkSearchState& State);

// Cursor.
void GotoLineCol(PEkView View, int32_t Line, int32_t Col, bool Motion = true, bool UnElide = true,
                 bool DropMatch = true);
void GotoCharPos(PEkView View, TCharPos Pos, bool UnElide = true);
void CursorUp(PEkView View);
void CursorDown(PEkView View);
void CursorLineStart(PEkView View);
void CursorLineEnd(PEkView View);
void CursorCharRight(PEkView View);
void CursorCharLeft(PEkView View);
void CursorBufferTop(PEkView View);
void CursorBufferBottom(PEkView View);
void CursorSkip(PEkView View, TSkipCode Skip);

// Blocks and marks.
// Moves to or sets a fixed mark (TMarkOpCode); the status.
uint16_t MarkOp(PEkView View, uint8_t Op);
// Positions are TEdPos (screen) when EdPos is set, else TCharPos; both 6 bytes.
void SetMarkedRange(PEkView View, bool EdPos, bool Special, TCharPos Start, TCharPos After);
void GetMarkedRange(PEkView View, bool EdPos, bool Special, TCharPos& Start, TCharPos& After);
void SetBlockType(PEkView View, TBlockType Type);
TBlockType GetBlockType(PEkView View);
void HideBlock(PEkView View);
void UnHideBlock(PEkView View);
void HideUnhideBlock(PEkView View, bool Show, bool Special);
bool BlockIsMarked(PEkView View);
bool CursorInBlock(PEkView View);
// A block is marked and shown.
bool BlockVisible(PEkView View);
// Query code q with the value 1: the byte the kernel answers.
uint8_t Query(PEkView View, uint8_t Q, uint16_t Value = 1);
void MarkWord(PEkView View);
// Shifts the block's lines by Columns (0: the block indent), as an undo step of its own;
// erNoBlock without a block.
uint16_t IndentBlock(PEkView View, bool Outdent, int16_t Columns);
void MarkCurrentLine(PEkView View);

// Bookmarks 0..9.
bool BookmarkGoto(PEkView View, int Index);
// Sets bookmark Index at the cursor; with Toggle set and the bookmark already on the cursor
// line, clears it instead and gives false.
bool BookmarkRecord(PEkView View, int Index, bool Toggle);
void SetMarkerPos(PEkView View, uint32_t ID, TCharPos Pos);
void SetMarkerPosEx(PEkView View, uint32_t ID, TCharPos Pos, bool ScreenPos);
// Line 0 when the marker is not set.
TCharPos GetMarkerPos(PEkView View, uint32_t ID);
uint32_t UserMarkToInternalMark(PEkView View, int Index);

// Lines.
uint32_t GetLineFlags(PEkView View, int32_t Line);
void SetLineFlag(PEkView View, int32_t Line, uint32_t Flags);
void ClearLineFlag(PEkView View, int32_t Line, uint32_t Flags);
void ClearLineModifiedFlags(PEkView View);
// Characters of the line without its break; -1 for a line outside the text.
int32_t GetLineLength(PEkView View, int32_t Line);
int32_t TotalLinesInBuffer(PEkView View);
std::string GetLineText(PEkView View, int32_t Line);
TLineBreakStyle GetLineBreakStyle(PEkView View, int32_t Line);
void SetLineBreakStyle(PEkView View, int32_t Line, TLineBreakStyle Style);
TCharPos ConvertPos(PEkView View, TEdPos Pos);
TEdPos ConvertPos(PEkView View, TCharPos Pos);
// Byte offset of a character position.
int32_t ConvertCharPosToPos(PEkView View, TCharPos Pos);

// Settings of the buffer.
void SetSyntaxHilighter(PEkView View, uint8_t Lang);
uint8_t GetSyntaxHilighter(PEkView View);
void SetTabRack(PEkView View, const TTabRack& Rack);
TTabRack GetTabRack(PEkView View);
void SetEdModes(PEkView View, uint32_t Mask, uint32_t Value);
// The columns IndentBlock shifts by without a count (the "Block Indent" option).
void SetBlockIndent(PEkView View, int Columns);

// Track tables: the kernel moves the TCharPos at the head of each element with the text and
// calls Proc after a script that moved any.
void AttachTrackTable(PEkView View, void* Table, uint16_t ElementSize, TEkTrackProc Proc, void* Context);
void DetachTrackTable(PEkView View, void* Table);

// Frozen line numbers.
void FreezeLineNumbers(PEkView View);
void GotoFrozenLine(PEkView View, int32_t Line);
int32_t RealToFrozen(PEkView View, int32_t Line);
void FreezeBuffer(PEkView View, bool Freeze);

// Whole-text transfer. The reader returns bytes read, 0 at the end; an exception it raises
// reads as an error. A failed read raises EEditorError "Cannot load file".
void ReadFromStream(PEkView View, const std::function<int32_t(char*, int32_t)>& Reader);
void ReadFromText(PEkView View, std::string_view Text);
// The text becomes the Size bytes at Data, from malloc, which the kernel takes over and keeps
// where they lie; the first Skip bytes (a byte-order mark) are left out. Raises EEditorError
// when the kernel refuses them (the text is then as it was; Data is freed all the same).
void ReadFromBuffer(PEkView View, char* Data, size_t Size, size_t Skip);
// Appends the text to Out; false when the kernel failed.
[[nodiscard]] bool WriteToStream(PEkView View, std::string& Out, bool PreserveEnds);
[[nodiscard]] bool WriteBlockToStream(PEkView View, std::string& Out);
// The whole text as WriteToStream gives it, handed to Proc piece by piece instead of collected.
[[nodiscard]] bool WriteToProc(PEkView View, TEkWriteProc Proc, void* Context, bool PreserveEnds);
// The whole text with every line break as "\n", for readers such as the background parsers:
// it leaves the undo groups alone, so reading between two keystrokes never splits their undo.
std::string GetBufferText(PEkView View);
// The same text read a slice at a time, the kernel's lock held for one slice only, so that a
// thread reading a long text never keeps the editor waiting for more than a slice. False (Out
// unspecified) when the text changed between two slices, the kernel failed, or Stop asked to
// stop; Stop is asked before each slice.
[[nodiscard]] bool ReadBufferTextInSlices(PEkView View, std::string& Out, const std::function<bool()>& Stop = {});
// Inserts the text at the cursor up to its first zero byte.
void InsertFromStream(PEkView View, std::string_view Text);

// Reading with a TEdFile cursor.
void OpenReadFile(PEkView View, TEdFile& File);
// False past the end of the text.
bool SeekTo(PEkView View, TEdFile& File, uint32_t Offset);
uint32_t ReadChars(PEkView View, TEdFile& File, char* Buffer, uint32_t Count);
void CloseReadFile(PEkView View, TEdFile& File);

void ClearBuffer(PEkView View);
void FixEd(PEkView View);
void FixCursor(PEkView View);
void CenterFixEd(PEkView View);
void StartPlayback(PEkView View);
void StopPlayback(PEkView View);

// Folded regions ("elisions"). A block runs from Start to End (lines from 1, indices from 0);
// one whose lines lie outside the text or whose end does not follow its start is refused
// (false).
bool AddElisionBlock(PEkView View, TCharPos Start, TCharPos End, bool Fold, std::string_view Description,
                     uint16_t Type = 0);
// Gives the line a saved position takes in place of Line, or 0 to leave the position out.
using TSavedLineMap = std::function<int32_t(int32_t Line)>;
// The folded blocks as a view saves them: "{{%d,%d},{%d,%d},{%s}}" per block with start line
// and index, end line and index and the description in single quotes, in which "'", "(", ")",
// "\", "{" and "}" carry a backslash. With MapLine, the lines are saved as it maps them and a
// block whose start or end it leaves out is left out.
std::string PrintElisions(PEkView View, const TSavedLineMap& MapLine = {});
// Calls Visit with every folded block, in the order they were added, fetching them from the
// kernel one array (at most EkMaxElisions) at a time. ByteIndexes: the indexes count bytes of
// the line instead of characters.
void ForEachFoldedElision(PEkView View, const std::function<void(const TElision&)>& Visit,
                          bool ByteIndexes = false);
// Folds again the blocks of a saved text; a bad number reads as 0, and a block outside the
// text is left out.
void InsertSavedElisions(PEkView View, std::string_view Text);

// The clipboard of the process (the host's clipboard is not reached from here).
void ClipCopy(PEkView View);
void ClipAppend(PEkView View);
void ClipCut(PEkView View);
void ClipPaste(PEkView View);
std::string ClipboardText();
void SetClipboardText(std::string_view Text, bool ColumnBlock = false);

}  // namespace nxs
