// The editor kernel's one public header: the EK_INIT entry, its function table, the records
// the kernel shares with its callers, the enumerations and the operation codes of command
// scripts. Everything the rest of the system does with a kernel buffer goes through EkEval.
//
// Records are packed: fields in their fixed order and integer widths, pointers native width.
// The static_asserts document each record's size on this platform (64-bit Linux).
//
// Contract at the boundary: pointers in argument records are the caller's storage and are
// trusted; counts, lengths, indices, positions and codes are checked, and a bad one gives an
// error status, never a crash. No exception leaves the function table.
//
// Threads: the kernel has no lock and no thread of its own. Its functions may be called from
// any thread, one call at a time in the process: the command layer's wrappers (EkNew, EkEval,
// EkEnd, EkBeginPaint, EkGetLineContents in editor/buffers/ekinit.h) hold EkCriticalSection, one
// recursive lock, around each call, and nothing calls the table otherwise. The records
// (TEditorBuffer, TEkView, tables the kernel keeps) are read and written by callers under the
// same lock (LockEdModes). Event, query, track, client-undo, reader and writer procedures run
// on the calling thread with the lock held: they may read the records, must not evaluate
// scripts on the buffer (track procedures, told after the outermost script, may) and must not
// wait for another thread that could want the lock. EK_INIT's callbacks are process-wide and
// must be safe on any thread.
//
// Lock order of the editor: an edit buffer's lock, then EkCriticalSection, then the locks the
// kernel's callers take inside a call (the clipboard, the after-script queue). Holding
// EkCriticalSection, no thread takes an edit buffer's lock; the modified event and the queued
// after-script work run once the lock is left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "shared/searchflags.h"

namespace nxs {

inline constexpr uint32_t EkKernelVersion = 0x2040000;

// ---------------------------------------------------------------------------------------------
// Records

struct TEditorBuffer;
struct TEkView;
struct TTokenizer;
using PEditorBuffer = TEditorBuffer*;
using PEkView = TEkView*;

#pragma pack(push, 1)

// A screen position: Col counts display columns (tab expansion, wide characters), from 1.
struct TEdPos {
  int32_t Col;
  int32_t LineNum;
};
static_assert(sizeof(TEdPos) == 8);

// A character position: Index counts characters (code points) of the line from 0; LineNum from 1.
// Columns and indices are 32-bit, so every position of a line of any length is reachable; a
// position that does not fit (a line beyond 2^31 characters) is refused with erTooLong, never
// clamped.
struct TCharPos {
  int32_t Index;
  int32_t LineNum;
};
static_assert(sizeof(TCharPos) == 8);

// A read cursor over the text: byte offset, its character position, and whether the offset
// falls inside a multi-byte character.
struct TEdFile {
  uint32_t Pos;
  TCharPos CharPos;
  uint8_t MidChar;
};
static_assert(sizeof(TEdFile) == 13);

struct TTrackPos {
  TCharPos Pos;
  uint16_t Client;
};
static_assert(sizeof(TTrackPos) == 10);

// A track table: Length entries follow the count; each entry starts with a TCharPos that the
// kernel moves with the text (the element size is given when the table is attached).
struct TTrackTable {
  uint16_t Length;
  TTrackPos Positions[1];
};
static_assert(sizeof(TTrackTable) == 12);

inline constexpr int EkMaxTabStops = 64;

// Tab stops are 1-based columns in increasing order; past the last stop tabs repeat every
// TabWidth columns (every last-stop distance when TabWidth is 0, every 8 without stops).
struct TTabRack {
  uint16_t Length;
  uint16_t TabWidth;
  uint16_t Stops[EkMaxTabStops];
};
static_assert(sizeof(TTabRack) == 4 + 2 * EkMaxTabStops);

// A bracket or comment pair for pair matching.
struct TPairDesc {
  uint8_t Nestable;
  uint8_t ImpliedDir;
  uint8_t TwoChars;
  uint8_t StartFirst;
  uint8_t StartSecond;
  uint8_t EndFirst;
  uint8_t EndSecond;
};
static_assert(sizeof(TPairDesc) == 7);
using PPairDesc = TPairDesc*;

// Buffer events (TEdEvent.Mask bits and the Event argument of the procedures).
enum TEdEventCode : uint16_t {
  eeTextChanged = 0x0001,   // Line: first changed line, Count: lines added (negative: removed)
  eeModified = 0x0002,      // the buffer became modified
  eeBlockChanged = 0x0004,  // the marked block moved, was set or hidden
  eeUndoRedo = 0x0008,      // an undo or redo ran
  eeReloaded = 0x0010,      // the text was replaced by ReadBuffer or ClearBuffer
};

// Called while the script runs: it may read the record but must not evaluate scripts on the
// buffer or end its views.
using TEdEventProc = void (*)(void* Context, PEditorBuffer Buffer, uint16_t Event, int32_t Line,
                              int32_t Count);
// Asked before a change; false vetoes it (the command fails with erVetoed).
using TEdQueryEventProc = bool (*)(void* Context, PEditorBuffer Buffer, uint16_t Event,
                                   int32_t Line, int32_t Count);

struct TEdEvent {
  uint16_t Mask;
  TEdEventProc EventProc;
  void* Context;
};
static_assert(sizeof(TEdEvent) == 2 + 2 * sizeof(void*));

struct TEdQueryEvent {
  uint16_t Mask;
  TEdQueryEventProc EventProc;
  void* Context;
};
static_assert(sizeof(TEdQueryEvent) == 2 + 2 * sizeof(void*));

// ModifyFlags bits.
inline constexpr uint16_t mfModified = 0x0001;        // changed since the flags were last cleared
inline constexpr uint16_t mfModifiedNotify = 0x0002;  // changed since the last notification
inline constexpr uint16_t mfModifiedSince = 0x0200;   // set with the others, cleared with them

// EdModes bits. A source option group's mode word is handed over as it is, so its bits keep
// the option groups' meaning (bit 1 auto indent, 2 tab character, 4 backspace unindents, 5 keep
// trailing blanks, 6 optimal fill, 13 syntax highlight, 15 smart tab); the command map sets and
// toggles 0x1, 0x2, 0x4, 0x10, 0x40 and 0x80; writers set 0x800 (no undo) and 0x20001.
inline constexpr uint32_t emInsert = 0x00001;
inline constexpr uint32_t emAutoIndent = 0x00002;
inline constexpr uint32_t emUseTabChar = 0x00004;  // tabbing mode: indent with tab characters
// Backspace in a line's indent goes back to the previous tab stop. The command map calls the
// same bit auto outdent.
inline constexpr uint32_t emBackspaceUnindents = 0x00010;
inline constexpr uint32_t emAutoOutdent = emBackspaceUnindents;
inline constexpr uint32_t emKeepTrailingBlanks = 0x00020;
inline constexpr uint32_t emOptimalFill = 0x00040;
inline constexpr uint32_t emCursorThroughTabs = 0x00080;
inline constexpr uint32_t emGroupUndo = 0x00100;  // consecutive like changes undo together
inline constexpr uint32_t emPersistentBlocks = 0x00200;
inline constexpr uint32_t emOverwriteBlocks = 0x00400;  // typing replaces a visible block
inline constexpr uint32_t emNoUndo = 0x00800;           // changes are not recorded
inline constexpr uint32_t emCursorBeyondEOF = 0x01000;
inline constexpr uint32_t emSyntaxHighlight = 0x02000;  // kept for the painter's callers
inline constexpr uint32_t emUndoAfterSave = 0x04000;
inline constexpr uint32_t emSmartTab = 0x08000;
inline constexpr uint32_t emWriter = 0x20000;  // text comes from a program: no indenting, no overwrite

// The kernel buffer: one per text, shared by its views. The kernel sets the modify flags at
// each change and keeps the counters current after every script; callers may write ModifyFlags, EdModes, LockRefCount,
// EventHandlers, QueryEventHandlers, PairTable/NPairs and the margins.
struct TEditorBuffer {
  int32_t NLines;
  uint16_t ModifyFlags;
  uint32_t EdModes;
  uint8_t UndoAvailable;
  uint8_t RedoAvailable;
  uint16_t LockRefCount;  // above 0: read-only, every change fails with erReadOnly
  void* EditorData;       // the kernel's document
  TEdEvent EventHandlers[3];
  TEdQueryEvent QueryEventHandlers[3];
  PPairDesc PairTable;
  uint16_t NPairs;
  int16_t LeftMargin;
  int16_t RightMargin;
  uint16_t viewCount;
};
static_assert(sizeof(TEditorBuffer) == 4 + 2 + 4 + 1 + 1 + 2 + sizeof(void*) + 3 * sizeof(TEdEvent) +
                                           3 * sizeof(TEdQueryEvent) + sizeof(void*) + 2 + 2 + 2 + 2);
static_assert(sizeof(TEditorBuffer) == 146);

// Repaint flags of a TEkLineView.
inline constexpr uint32_t rfLine = 0x1;  // the line must be painted again

struct TEkLineView {
  int16_t LineDelta;  // buffer lines this screen line stands for beyond the first (a fold)
  uint32_t RepaintFlags;
  int16_t IsHidden;
};
static_assert(sizeof(TEkLineView) == 8);

// A kernel view: one cursor and window on a buffer. The caller owns the record; EkNew fills
// it and EkEnd releases what the kernel hung on it. WinTopLine, FWinLength (lines) and WinWidth
// (columns) describe the window and may be written by the caller.
struct TEkView {
  TEkView* PrevWin;  // other views on the same buffer
  TEkView* NextWin;
  void* ViewData;    // the kernel's view state
  TEditorBuffer* Editor;
  TEdPos Cursor;
  int32_t WinLeftCol;
  int32_t WinTopLine;
  int32_t FWinLength;
  int32_t WinWidth;
  int32_t splitcol;
  uint8_t ScrollRangeChanged;
  uint8_t InTrack;
  int32_t ElisionsAdjusted;
  int32_t ElisionOffset;
  int32_t VisibleLines;  // entries of LVec
  int32_t LineRange;     // buffer lines covered by LVec
  int32_t LVecFirst;     // buffer line of LVec[0]
  TEkLineView* LVec;     // kernel storage, valid until the next script or paint
};
static_assert(sizeof(TEkView) == 4 * sizeof(void*) + 8 + 4 + 4 + 4 + 4 + 4 + 1 + 1 + 4 * 5 + sizeof(void*));
static_assert(sizeof(TEkView) == 90);

// Mark attributes of TAttrEntry.
inline constexpr uint8_t maNone = 0;
inline constexpr uint8_t maBlock = 1;    // inside the marked block
inline constexpr uint8_t maSpecial = 2;  // inside the special block (the search match)

// One run of a painted line: the columns up to ToCol (exclusive, relative to the window's
// left column, 0-based) have these attributes.
struct TAttrEntry {
  uint8_t MarkAttr;
  uint8_t SyntaxCode;
  uint16_t ToCol;
};
static_assert(sizeof(TAttrEntry) == 4);
inline constexpr int EkMaxAttrEntries = 16383;

// What GetLineContents needs and gives. In: the buffers and their capacities, the characters
// that show tabs and spaces (0: as blanks), the column count wanted (0: the view's width), the
// highlighting switch. Out: the text (UTF-8, tabs expanded), the attribute runs, the line's
// flags and frozen number, and the block bounds (screen positions; Col 0 when no block).
struct TPaintContext {
  char* LineBuffer;
  uint32_t LineBufferSize;
  uint32_t LineLength;
  TAttrEntry* Attrs;
  uint16_t AttrCapacity;
  uint16_t NAttrs;
  uint32_t TabChar;
  uint32_t SpaceChar;
  uint16_t ColumnWidth;
  uint32_t LineFlags;
  int32_t FrozenLine;
  uint8_t Highlighting;
  TEdPos MarkedStart;
  TEdPos MarkedAfter;
  TEdPos SpecialStart;
  TEdPos SpecialAfter;
};
static_assert(sizeof(TPaintContext) == 8 + 4 + 4 + 8 + 2 + 2 + 4 + 4 + 2 + 4 + 4 + 1 + 4 * 8);

// Folding records.
struct TElisionRange {
  TCharPos ElisionStart;
  TCharPos ElisionEnd;
  int32_t NumLines;
};
static_assert(sizeof(TElisionRange) == 20);

struct TElisionContext {
  uint16_t State;  // 0 expanded, 4 folded
  uint16_t Nesting;
  uint16_t Cookie;
};
static_assert(sizeof(TElisionContext) == 6);

struct TElisionDescription {
  uint16_t ElisionType;
  int32_t DescLen;
  char* BlockDesc;
};
static_assert(sizeof(TElisionDescription) == 6 + sizeof(void*));

struct TElision {
  TElisionRange Range;
  TElisionContext Context;
  TElisionDescription Description;
};
static_assert(sizeof(TElision) == 26 + sizeof(TElisionDescription));

inline constexpr int EkMaxElisions = 2048;  // per TElisionArray

struct TElisionArray {
  int32_t NumElisions;
  TElision* ElisionVec;
  uint8_t All;
  TElisionRange Range;
};
static_assert(sizeof(TElisionArray) == 4 + sizeof(void*) + 1 + 20);

// Tokenizer records (the highlighters fill them in).
struct THashEntry {
  uint16_t NextCode;
  uint16_t SymLength;
  char* Symbol;
};
static_assert(sizeof(THashEntry) == 4 + sizeof(void*));

struct TEkSymbolTable {
  THashEntry* HashTable;  // NBuckets heads, then the chained entries (NextCode: 1-based index, 0 ends)
  uint16_t NBuckets;
  uint16_t MinLength;
  uint16_t MaxLength;
  uint8_t CaseSignificant;
  uint8_t SyntaxCode;
};
static_assert(sizeof(TEkSymbolTable) == sizeof(void*) + 8);

using TFindReservedSymbolProc = uint8_t (*)(TTokenizer* Tokenizer, const char* Symbol, int32_t Length);
// Writes one syntax code per byte of the line into Codes; returns the class the next line starts in.
using TTokenizeProc = uint8_t (*)(TTokenizer* Tokenizer, uint8_t StartClass, const char* Line,
                                  int32_t Length, uint8_t* Codes);
using TCalcLineClassProc = uint8_t (*)(TTokenizer* Tokenizer, uint8_t StartClass, const char* Line,
                                       int32_t Length);
using TDestroyTokenizerProc = void (*)(TTokenizer* Tokenizer);

struct TEkInstance;

struct TTokenizer {
  uint8_t SyntaxLang;
  uint8_t NTables;
  TEkSymbolTable* SymTables;
  TFindReservedSymbolProc FindReservedSymbol;
  TTokenizeProc Tokenize;
  TCalcLineClassProc CalcLineClass;
  TDestroyTokenizerProc DestroyTokenizer;
  TEkInstance* EkInst;
};
static_assert(sizeof(TTokenizer) == 2 + 6 * sizeof(void*));

// The search state a caller keeps across Search, SearchAgain and Replace: where the last
// match is (Found, position, length in bytes) and how many replacements were made.
struct TEkSearchState {
  uint8_t Found;
  TCharPos MatchPos;
  int32_t MatchLength;
  int32_t ReplaceCount;
};
static_assert(sizeof(TEkSearchState) == 17);

// ---------------------------------------------------------------------------------------------
// Enumerations

enum TUndoGroup : uint8_t {
  ugGroupWithAny,
  ugGroupWithNone,
  ugGroupWithDataChangeAdd,
  ugGroupWithDataChangeDelete,
  ugGroupWithMotion,
  ugGroupDefault,
};

enum TSearchResult : uint8_t {
  SearchOk,
  SearchCursorOutsideRange,
  SearchNoMarkedRange,
  SearchInvalidRange,
  SearchEmptyString,
  SearchPatternTooBig,
  SearchTooManySubPatterns,
  SearchUnmatchedParen,
  SearchUnmatchedBrace,
  SearchEmptyOperand,
  SearchNestedStarPlus,
  SearchInvalidBracketRange,
  SearchUnmatchedBracket,
  SearchFollowsNothing,
  SearchTrailingSlash,
  SearchInternalError,
};

enum TFileReadResult : uint8_t { FileReadOk, FileReadError };
enum TFileWriteResult : uint8_t { FileWriteOk, FileWriteError, FileWriteInvalidBlock };
enum TEkExecuteOp : uint8_t { EKExecuteOpUndo, EKExecuteOpRedo, EKExecuteOpDestroy };

// Block kinds.
enum TBlockType : uint8_t { btInclusive, btLine, btColumn, btNonInclusive };

enum TLineBreakStyle : uint8_t { lbsNone, lbsCRLF, lbsLF, lbsCR };

// Line flags kept by the kernel; the other bits belong to the caller and move with the line.
inline constexpr uint32_t lfModified = 0x1;  // changed since loading
inline constexpr uint32_t lfUnsaved = 0x2;   // changed since ClearLineModifiedFlags

// eResult values any operation can give (per-operation codes stay below 0x20).
enum TEkResult : uint8_t {
  erOk = 0,
  erFailed = 0x01,
  erNotFound = 0xF0,     // nothing matched, no mark, nothing to undo
  erNoBlock = 0xF1,      // the operation needs a marked block
  erReadOnly = 0xF2,     // LockRefCount is above 0
  erVetoed = 0xF3,       // a query event handler refused the change
  erTooLong = 0xF4,      // the result would not fit its field (a line beyond 2^31 characters, a short buffer)
  erRange = 0xFA,        // a line, index or length is outside the text or the record
  erBadArgument = 0xFB,  // a code or value the operation does not know
  erTruncated = 0xFC,    // the script ends inside this command's argument record
  erUnknownOp = 0xFD,    // no operation has this code
  erNoView = 0xFE,       // the view has no kernel buffer
  erInternal = 0xFF,     // the kernel failed; the text is unchanged past the last good command
};

// Marker identifiers (SetMarkerPos/GetMarkerPos); MarkOp codes use the same numbers.
inline constexpr uint32_t mkPrevPos = 1;
inline constexpr uint32_t mkBlockBeg = 2;
inline constexpr uint32_t mkBlockEnd = 3;
inline constexpr uint32_t mkTempPos = 4;
inline constexpr uint32_t mkTempEnd = 5;
inline constexpr uint32_t mkBookmark0 = 0x10;  // bookmark n is mkBookmark0 + n (n = 0..9)

// MarkOp codes (command-map class 06): below 0x10 move the cursor to the mark, from 0x11 set it.
enum TMarkOpCode : uint8_t {
  moMoveToPrevPos = 0x01,
  moMoveToBlockBeg = 0x02,
  moMoveToBlockEnd = 0x03,
  moMoveToTempPos = 0x04,
  moMoveToTempEnd = 0x05,
  moSetPrevPos = 0x11,
  moSetBlockBeg = 0x12,
  moSetBlockEnd = 0x13,
  moSetTempPos = 0x14,
  moSetTempEndPos = 0x15,
};

// Skip codes (command-map class 04): bit 0x10 moves right, 0x20 crosses lines.
enum TSkipCode : uint8_t {
  skLeftWord = 0x00,
  skLeftNonWord = 0x01,
  skLeftWhite = 0x02,
  skLeftNonWhite = 0x03,
  skLeftWordStream = 0x20,
  skRightWord = 0x10,
  skRightNonWord = 0x11,
  skRightWhite = 0x12,
  skRightNonWhite = 0x13,
  skRightWordStream = 0x30,
};

// Query codes (Query and If). 0x00-0x10 are the command map's class 08, 0x20-0x23 its class
// 09 (the block type is the one named), 0x24 its class 0A (the answer is the character).
enum TQueryCode : uint8_t {
  qCursorAtBOL = 0x00,
  qCursorAtEOL = 0x01,
  qCursorAtBOW = 0x02,
  qCursorAtEOW = 0x03,
  qAutoIndent = 0x04,
  qAutoOutdent = 0x05,
  qOvertype = 0x06,
  qValidBlock = 0x08,  // a block is marked
  qEmptyLine = 0x0A,
  qValidTempBlock = 0x0B,
  qCursorPastEOL = 0x0C,
  qCursorPastEOF = 0x0D,
  qCursorInBlock = 0x0E,
  qCursorPastRightMargin = 0x0F,
  qValidEmptyBlock = 0x10,  // a block is marked and empty
  qBlockHidden = 0x11,
  qInclusiveBlock = 0x20,
  qLineBlock = 0x21,
  qColumnBlock = 0x22,
  qNonInclusiveBlock = 0x23,
  qCharAtCursor = 0x24,     // the character under the cursor (its low 16 bits), 0 past the line end
  qCursorOnWordChar = 0x25,
  qCursorOnWhite = 0x26,
  qCursorAtBOF = 0x27,
  qCursorAtEOF = 0x28,
  qModified = 0x29,
  qUndoAvailable = 0x2A,
  qRedoAvailable = 0x2B,
  qCursorOnChar = 0x2C,     // the cursor stands on a character of its line
  qValidIndentBlock = 0x2D,
};

enum TConvertDirection : uint8_t { cdEdToChar, cdCharToEd };

// Folding sub-commands.
enum TElideCommand : uint8_t { ecFoldRange = 0x1F, ecUnfoldRange = 0x20, ecUnfoldAll = 0x21 };
enum TElisionBlockCommand : uint8_t {
  ebAdd = 0x00,
  ebRemoveRange = 0x01,
  ebRemoveAtPos = 0x1A,
  ebTreePresent = 0x0F,  // Result 1 when any block exists
  ebReconcile = 0x22,
  ebResetEphemerals = 0x23,
  ebFoldType = 0x24,
  ebClearAll = 0x25,     // removes every block, folded or not
};
enum TElisionArrayCommand : uint8_t {
  eaGetFolded = 0x1E,
  eaRelease = 0x0D,
  // Adds every block of the caller's array as ebAdd would one by one (State 4: folded), with
  // one cursor fix at the end. At most EkMaxElisions; a refused block gives its status
  // (erRange, erBadArgument) and the others are still added.
  eaAddAll = 0x26,
  // As eaGetFolded, leaving out as many blocks as the caller's NumElisions says: the blocks
  // past the first EkMaxElisions, one array at a time.
  eaGetFoldedFrom = 0x27,
};
// A bit of TElisionArray.All for eaAddAll and eaGetFoldedFrom: the indexes count bytes of the
// line, as a parser reading the text sees them, instead of characters.
inline constexpr uint8_t eaByteIndexes = 0x02;
enum TElisionQuestion : uint8_t {
  eqStartsOnLine = 0x01,   // a block starts on Line; ResultLine its end line
  eqBlockFolded = 0x03,    // the block starting on Line is folded
  eqFoldedLines = 0x04,    // ResultLine: lines hidden by folds
  eqEndsOnLine = 0x05,
  eqStartsOrEnds = 0x06,
  eqInsideBlock = 0x07,
  eqLineFolded = 0x08,     // Line is hidden inside a folded block
  eqBlocksAtLine = 0x09,   // ResultLine: blocks containing Line
  eqPointFolded = 0x10,    // (Line, Column) is inside a folded block
};

// ---------------------------------------------------------------------------------------------
// Script records

struct TEdCmd {
  uint8_t eOp;
  uint8_t eResult;
};
static_assert(sizeof(TEdCmd) == 2);

struct TEkNoArgs {};

using TEkReadProc = int32_t (*)(void* Context, char* Buffer, int32_t Count);        // bytes, 0 at end, -1 error
using TEkWriteProc = int32_t (*)(void* Context, const char* Buffer, int32_t Count); // bytes written, -1 error
// Told once the outermost script on the buffer has finished that positions of the table moved;
// it may evaluate scripts of its own.
using TEkTrackProc = void (*)(void* Context, void* Table);
// Op: TEkExecuteOp. Undo and redo call it in its place among the group's changes (the buffer
// is marked modified at each change); it may write the record's flags but must not evaluate
// scripts on the buffer.
using TEkClientUndoProc = void (*)(void* Context, uint8_t Op);

struct TMarkArgs { uint16_t MarkIndex; };
struct TQueryArgs { uint8_t Query; uint16_t Value; uint8_t* Result; };
struct TSetMarkerArgs { uint32_t ID; TCharPos Pos; };
struct TSetMarkerExArgs { uint32_t ID; TCharPos Pos; uint8_t ScreenPos; };  // ScreenPos: Pos is a TEdPos
struct TGetMarkerArgs { uint32_t ID; TCharPos* Pos; };
struct TSetMarkedRangeArgs { uint8_t edPos; uint8_t special; TCharPos startPos; TCharPos afterPos; };
struct TGetMarkedRangeArgs { uint8_t edPos; uint8_t special; TCharPos* startPos; TCharPos* afterPos; };
struct TSearchStringArgs {
  uint16_t flags;
  const char* str;
  uint32_t strLen;
  const char* pattern;
  uint32_t patternLen;
  int32_t* matchStart;  // byte offset in str, -1 when nothing matches
  int32_t* length;
};
struct TSearchArgs { uint16_t Flags; const char* Pattern; uint32_t PatternLen; TEkSearchState* State; };
struct TSearchAgainArgs { TEkSearchState* State; };
struct TReplaceArgs { TEkSearchState* State; const char* Replace; uint32_t ReplaceLen; };
struct TReplaceAllArgs {
  uint16_t Flags;
  const char* Pattern;
  uint32_t PatternLen;
  const char* Replace;
  uint32_t ReplaceLen;
  int32_t* Count;  // replacements made
};
struct TReadBufferArgs { TEkReadProc ReadProc; void* Context; };
// A text read into memory from malloc, handed over: the kernel keeps the bytes where they lie
// and frees them when it no longer needs them, also when it refuses them. Skip: bytes at the
// start that are no text (a byte-order mark). Size stays under 4 GB.
struct TAdoptBufferArgs { char* Data; uint64_t Size; uint32_t Skip; };
// PreserveEnds: 1 the bytes as stored; 0 every line break as the buffer's own; wbLineFeeds
// every line break as "\n" (what a parser reading the lines one by one would see).
inline constexpr uint8_t wbLineFeeds = 2;
struct TWriteBufferArgs { TEkWriteProc WriteProc; void* Context; uint8_t PreserveEnds; uint8_t BlockOnly; };
struct TAddTrackTableArgs {
  int32_t DeletedLineValue;
  uint8_t ZeroBasedIndex;
  uint8_t ZeroBasedLineNum;
  uint16_t ElementSize;
  void* Table;  // a 16-bit count, then the elements
  TEkTrackProc TrackProc;
  void* Context;
};
struct TTrackTableArgs { void* Table; };
// The next NOpsThen commands run when the query's answer equals Result, the NOpsElse commands
// after them otherwise. A nested If counts as one command together with its branches.
struct TIfArgs { uint8_t Query; uint16_t Result; uint8_t NOpsThen; uint8_t NOpsElse; };
struct TStringArgs { const char* Str; uint32_t Len; };
struct TDeleteBlockArgs { uint8_t TempBlock; };
struct TSeekArgs { TEdFile* File; uint32_t Pos; };
struct TReadCharsArgs { TEdFile* File; char* Buffer; uint32_t Count; uint32_t* Read; };
// A slice of the stored bytes at a byte offset. Changes counts every change of the text so far:
// a reader that takes a long text in several slices, so as to hold the kernel's lock only
// briefly, compares it between slices to know that they belong to one text.
struct TReadSliceArgs { uint64_t Pos; char* Buffer; uint32_t Count; uint32_t* Read; uint64_t* Changes; uint64_t* Length; };
struct TFileArgs { TEdFile* File; };
struct TCountArgs { int32_t* Count; };
struct TLineArgs { int32_t Line; };
struct TLineResultArgs { int32_t Line; int32_t* Result; };
struct TGetByteArgs { uint8_t* Result; };
struct TByteArgs { uint8_t Value; };
struct TGotoLineColArgs { TEdPos Pos; uint8_t UnElide; };
struct TGotoCharPosArgs { TCharPos Pos; uint8_t UnElide; };
struct TTabRackArgs { TTabRack* Rack; };
struct TBlockTypeArgs { uint8_t BType; };
struct TGetLimitArgs { uint32_t* Limit; };
struct TSetLimitArgs { uint32_t Limit; };
struct TMarkOpArgs { uint8_t MarkOp; };
struct TSkipArgs { uint8_t Skip; };
struct TClientUndoArgs { TEkClientUndoProc UndoRedoProc; void* Context; };
struct TGetLineFlagsArgs { int32_t Line; uint32_t* Flags; };
struct TSetLineFlagsArgs { int32_t Line; uint32_t Flags; };
struct TUserMarkArgs { uint16_t MarkIndex; uint32_t* Result; };
struct TLineLengthArgs { int32_t InLin; int32_t* length; };
struct TUndoGroupArgs { uint8_t Group; };
struct TGetUndoGroupArgs { uint8_t* Group; uint8_t* Started; };
struct TConvertPosArgs { uint8_t ebDt; TEdPos* edPos; TCharPos* chPos; };
struct TElideLinesArgs { TElisionRange Range; uint8_t Command; };
struct TElisionBlockArgs { TElision Elision; uint8_t Command; uint8_t* Result; };
struct TElisionArrayArgs { uint8_t Command; TElisionRange Range; TElisionArray* Array; };
struct TElisionLineQueryArgs {
  int32_t Line;
  int32_t Column;
  int32_t* ResultLine;
  uint8_t* ResultFlag;
  uint8_t Question;
};
struct TGetLineBreakArgs { int32_t Line; uint8_t* Style; };
struct TSetLineBreakArgs { int32_t Line; uint8_t Style; };
struct TCharPosToPosArgs { TCharPos chPos; int32_t* Result; };
struct THideUnhideArgs { uint8_t Show; uint8_t Special; };
struct TModesArgs { uint32_t Mask; uint32_t Value; };
struct TMatchPairArgs { uint8_t Forward; };
struct TIndentArgs { uint8_t Outdent; int16_t Columns; };  // Columns 0: the buffer's block indent (2 at first)
struct TBlockIndentArgs { uint16_t Columns; };
struct TGetLineTextArgs { int32_t Line; char* Buffer; uint32_t Size; uint32_t* Length; };
struct TSearchErrorArgs { char* Buffer; uint32_t Size; uint32_t* Length; int32_t* Offset; };
struct TSetMarkerOffsetArgs { uint32_t ID; uint32_t Pos; };
struct TInsertAtArgs { uint32_t Pos; const char* Str; uint32_t Len; };

#pragma pack(pop)

// ---------------------------------------------------------------------------------------------
// Operation codes

enum TEkOp : uint8_t {
#define EK_OP(Name, Code, Args) ek##Name = Code,
#include "editor/kernel/ekops.def"
#undef EK_OP
};

template <class TArgs>
inline constexpr uint32_t EkArgSize = std::is_empty_v<TArgs> ? 0 : sizeof(TArgs);

// The size of an operation's argument record, or -1 for an unknown code.
int EkArgumentSize(uint8_t Op);
// The operation's name ("InsertString"), or an empty view for an unknown code.
std::string_view EkOpName(uint8_t Op);

// ---------------------------------------------------------------------------------------------
// The command map (keymaps and `nxs ed` name editor commands this way)

// What a command-map entry's class says its code is. The numbers are the command map's own.
enum TEkCommandClass : uint8_t {
  ccEdit = 0x02,         // TEkOp: an operation without arguments (editing, blocks, the screen)
  ccMotion = 0x03,       // TEkOp: a cursor motion without arguments
  ccSkip = 0x04,         // TSkipCode
  ccUndoGroup = 0x05,    // TUndoGroup: sets the group and starts it
  ccMarkOp = 0x06,       // TMarkOpCode
  ccBookmark = 0x07,     // ekMoveToMark or ekSetMark; the caller adds the bookmark's number
  ccQuery = 0x08,        // TQueryCode
  ccBlockQuery = 0x09,   // TBlockType: whether the block is of that kind
  ccCharQuery = 0x0A,    // qCursorOnChar
  ccOperation = 0x0C,    // TEkMapOperation
  ccIndent = 0x0D,       // TEkIndentCode
  ccSetModes = 0x12,     // EdModes bits to set
  ccToggleModes = 0x13,  // EdModes bits to toggle
  ccMatchPair = 0x17,    // TEkPairDirection
};

// The codes of class ccOperation.
enum TEkMapOperation : uint8_t {
  mpDeleteBlock = 0x01,
  mpDeleteTempBlock = 0x02,
  mpSetInclusiveBlock = 0x03,  // to mpSetNonInclusiveBlock: the TBlockType in that order
  mpSetLineBlock = 0x04,
  mpSetColumnBlock = 0x05,
  mpSetNonInclusiveBlock = 0x06,
  mpUndo = 0x07,
  mpRedo = 0x08,
  mpBackTab = 0x09,
  mpForeTab = 0x0A,
};
enum TEkIndentCode : uint8_t { icIndent, icOutdent };
enum TEkPairDirection : uint8_t { pdBackward, pdForward };

struct TEkCommandRef {
  uint8_t Class;  // TEkCommandClass
  uint16_t Code;  // after the class
  int16_t Extra;  // -1 for the ccOperation commands
};

// Finds a command-map name, ignoring case ("CursorDown", "SetBlockBeg", "UnDo").
std::optional<TEkCommandRef> EkFindCommand(std::string_view Name);
// Every command-map name with its class and code, in the map's order.
struct TEkCommandMapEntry {
  std::string_view Name;
  TEkCommandRef Ref;
};
const std::vector<TEkCommandMapEntry>& EkCommandMap();

// ---------------------------------------------------------------------------------------------
// Scripts

// Builds a command script. Add returns the command's offset, which Result() and Args() take
// to read what the kernel wrote back.
class TEkScript {
 public:
  size_t Add(TEkOp Op) {
    size_t At = FBytes.size();
    FBytes.push_back(Op);
    FBytes.push_back(0);
    return At;
  }
  template <class TArgs>
  size_t Add(TEkOp Op, const TArgs& Args) {
    size_t At = Add(Op);
    if constexpr (!std::is_empty_v<TArgs>) {
      const auto* P = reinterpret_cast<const uint8_t*>(&Args);
      FBytes.insert(FBytes.end(), P, P + sizeof(TArgs));
    }
    return At;
  }
  // Appends the script that carries out a command-map command; false for classes that are
  // not the kernel's (0, 1, 1C-1F and the like).
  bool AddMapCommand(const TEkCommandRef& Ref);
  size_t End() { return Add(ekEndScript); }
  size_t EndMacroStep() { return Add(ekEndMacroStep); }

  uint8_t Result(size_t At) const { return FBytes.at(At + 1); }
  template <class TArgs>
  TArgs* Args(size_t At) {
    return reinterpret_cast<TArgs*>(FBytes.data() + At + sizeof(TEdCmd));
  }
  TEdCmd* Data() { return reinterpret_cast<TEdCmd*>(FBytes.data()); }
  uint32_t Length() const { return static_cast<uint32_t>(FBytes.size()); }
  void Clear() { FBytes.clear(); }

 private:
  std::vector<uint8_t> FBytes;
};

// ---------------------------------------------------------------------------------------------
// Callbacks and the function table

using TEkMalloc = void* (*)(size_t Size);
using TEkFree = void (*)(void* P);
using TEkMemMove = void* (*)(void* Dest, const void* Src, size_t Count);
using TEkCharMap = uint32_t (*)(uint32_t Ch);
using TEkCharTest = bool (*)(uint32_t Ch);
using TEkCharProbe = int32_t (*)(const char* P);

// EkNew(Share, View, Flags): fills View; Share nil makes a new empty buffer, otherwise the view
// joins that buffer. EkEval(View, Script, Length): runs the script (Length bytes at most) and
// returns 0, or the eResult of the command that stopped it. EkEnd(View): releases the view and,
// with its last view, the buffer. EkBeginPaint fills View->LVec for the window and the block
// bounds of Context; EkGetLineContents renders one line (1-based) into Context.
using TEkNewProc = bool (*)(PEditorBuffer Share, PEkView View, uint32_t Flags);
using TEkEvalProc = uint16_t (*)(PEkView View, TEdCmd* Script, uint32_t Length);
using TEkEndProc = void (*)(PEkView View);
using TEkBeginPaintProc = bool (*)(PEkView View, TPaintContext* Context);
using TEkGetLineContentsProc = bool (*)(PEkView View, int32_t Line, TPaintContext* Context);
using TEkRegisterTokenizerProc = bool (*)(TTokenizer* Tokenizer);
using TEkTokenizerIsRegisteredProc = bool (*)(uint8_t SyntaxLang);
using TEkMakeSyntaxIDProc = uint8_t (*)();  // the next free syntax code, 0 when none is left
using TEkEnumTokenizerProc = void (*)(void* Context, TTokenizer* Tokenizer);
using TEkEnumRegisteredTokenizersProc = void (*)(TEkEnumTokenizerProc Proc, void* Context);
// Builds a hash table of Count words (hash: sum of the low bytes, OR 0x20 when case does not
// matter, masked with NBuckets - 1; NBuckets a power of two, or taken modulo otherwise).
using TEkBuildTablesProc = bool (*)(TEkSymbolTable* Table, const char* const* Words, int32_t Count,
                                    uint16_t NBuckets, bool CaseSignificant, uint8_t SyntaxCode);
using TEkFreeTablesProc = void (*)(TEkSymbolTable* Tables, int32_t Count);

struct TEkInstance {
  uint32_t EkVersion;
  TEkNewProc EkNew;
  TEkEvalProc EkEval;
  TEkEndProc EkEnd;
  TEkBeginPaintProc EkBeginPaint;
  TEkGetLineContentsProc EkGetLineContents;
  TEkRegisterTokenizerProc EkRegisterTokenizer;
  TEkTokenizerIsRegisteredProc EkTokenizerIsRegistered;
  TEkMakeSyntaxIDProc EkMakeSyntaxID;
  TEkEnumRegisteredTokenizersProc EkEnumRegisteredTokenizers;
  TEkBuildTablesProc EkBuildTables;
  TEkFreeTablesProc EkFreeTables;
};

// The kernel's entry. Returns nil for any version but EkKernelVersion. Nil callbacks fall back
// to the kernel's own (ASCII classes, the C heap, widths from the East Asian Width table).
// Callbacks are process-wide: a second call replaces them and returns the same table.
TEkInstance* EK_INIT(uint32_t Version, TEkMalloc EKMALLOC, TEkFree EKFREE, TEkMemMove EKMEMMOVE,
                     TEkCharMap EKTOUPPER, TEkCharMap EKTOLOWER, TEkCharTest EKISUPPER,
                     TEkCharTest EKISWORDCHAR, TEkCharTest EKISWHITESPACE,
                     TEkCharTest EKISSPECIALCHAR, TEkCharProbe EKGETMBCSLENGTH,
                     TEkCharProbe EKGETCHARWIDTH);

// Display width (1 or 2) of a code point after the Unicode East Asian Width property: wide and
// full-width characters take two columns; marks, and unassigned code points outside the ranges
// kept for ideographs, one. The one table of the process: the command layer's width callback
// reads it too.
int EkEastAsianWidth(uint32_t Ch);

// The kernel's literal scans, which find in files runs over whole files before it asks the
// kernel about a line, and its string search for threads of their own.
namespace ek {
// Finds Needle in Hay (ASCII case folded when Fold); npos when absent.
size_t FindLiteral(const char* Hay, size_t HayLen, std::string_view Needle, bool Fold);
// The same with the two needle positions that the vector scan compares first.
size_t FindLiteral(const char* Hay, size_t HayLen, std::string_view Needle, bool Fold, size_t I1, size_t I2);
// The two rarest positions of the needle in source text.
void RarePositions(std::string_view Needle, size_t& I1, size_t& I2);

// Several needles looked for in one pass (the runs of characters one of which every match of
// an expression holds): the vector scan compares two rare bytes of each needle at once.
class TNeedles {
 public:
  // Needles not empty, in lower case when Fold (ASCII case folded in the text).
  TNeedles(std::vector<std::string> Needles, bool Fold);
  ~TNeedles();
  TNeedles(const TNeedles&) = delete;  // owns its tables
  TNeedles& operator=(const TNeedles&) = delete;
  // Where the first needle that occurs in Hay starts; npos when none does.
  size_t Find(const char* Hay, size_t HayLen) const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
};

class TSearcher;
// The kernel's string search (the one behind ekSearchString) for one caller, who prepares a
// pattern once and matches texts with it outside the kernel's lock: threads that each own
// one search at once.
class TStringSearch {
 public:
  TStringSearch();
  ~TStringSearch();
  TStringSearch(const TStringSearch&) = delete;  // owns the compiled pattern
  TStringSearch& operator=(const TStringSearch&) = delete;
  // A TSearchResult: SearchOk when the pattern is usable.
  [[nodiscard]] uint8_t Prepare(std::string_view Pattern, TSearchFlags Flags);
  // The first match in Text at or after From.
  bool Find(std::string_view Text, size_t From, size_t& Pos, size_t& Len);
  // Why the last Prepare failed: the expression engine's text (empty when it gave none) and
  // the byte of the pattern where it stopped.
  const std::string& ErrorText() const { return FErrorText; }
  uint32_t ErrorOffset() const { return FErrorOffset; }

 private:
  std::unique_ptr<TSearcher> F;
  std::string FErrorText;
  uint32_t FErrorOffset = 0;
};
}  // namespace ek

}  // namespace nxs
