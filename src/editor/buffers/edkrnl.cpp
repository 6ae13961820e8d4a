// The kernel command layer: each operation is the script the kernel runs for it.
#include "editor/buffers/edkrnl.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "editor/buffers/briefexpr.h"
#include "editor/buffers/charwidth.h"
#include "editor/buffers/edoptions.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/resstrings.h"
#include "shared/format.h"

namespace nxs {

std::atomic<bool> ExplicitUndoGroupSet{false};

namespace {

uint8_t EvalOne(PEkView View, TEkOp Op, TEkOp EndOp = ekEndScript) { return EvalOne(View, Op, TEkNoArgs{}, EndOp); }

TStringArgs StringArgs(std::string_view Text) { return TStringArgs{Text.data(), static_cast<uint32_t>(Text.size())}; }

// A reader over a text in memory for the kernel's read procedures.
struct TTextReader {
  std::string_view Text;
  size_t Pos = 0;
  static int32_t Read(void* Context, char* Buffer, int32_t Count) {
    auto* R = static_cast<TTextReader*>(Context);
    if (Count <= 0) return 0;
    const size_t N = std::min(static_cast<size_t>(Count), R->Text.size() - R->Pos);
    std::memcpy(Buffer, R->Text.data() + R->Pos, N);
    R->Pos += N;
    return static_cast<int32_t>(N);
  }
};

struct TFnReader {
  const std::function<int32_t(char*, int32_t)>* Fn;
  static int32_t Read(void* Context, char* Buffer, int32_t Count) {
    try {
      return (*static_cast<TFnReader*>(Context)->Fn)(Buffer, Count);
    } catch (...) {
      return -1;  // an exception never crosses the kernel
    }
  }
};

int32_t AppendWriter(void* Context, const char* Buffer, int32_t Count) {
  try {
    static_cast<std::string*>(Context)->append(Buffer, static_cast<size_t>(Count));
    return Count;
  } catch (...) {
    return -1;
  }
}

void CursorMotion(PEkView View, TEkOp Op) {
  SetupUndoGroup(ugGroupWithMotion, View);
  TEkScript S;
  S.Add(ekDropMatch);
  S.Add(Op);
  S.End();
  EvalScript(View, S);
}

struct TClipboard {
  std::mutex Lock;
  std::string Text;
  bool Column = false;
};
TClipboard& Clipboard() {
  static TClipboard C;
  return C;
}

}  // namespace

uint16_t EvalScript(PEkView View, TEkScript& Script) { return EkEval(View, Script.Data(), Script.Length()); }

void EndMac(PEkView View) {
  TEkScript S;
  S.EndMacroStep();
  EvalScript(View, S);
}

void SetupUndoGroup(TUndoGroup Group, PEkView View) {
  if (ExplicitUndoGroupSet || Group == ugGroupDefault) return;
  uint8_t Current = ugGroupDefault, Started = 0;
  EvalOne(View, ekGetUndoGroup, TGetUndoGroupArgs{&Current, &Started});
  if (Group != ugGroupWithAny && Group != Current && Current != ugGroupWithNone) {
    EndMac(View);
    Started = 0;
  }
  if (Group != Current && !Started) {
    TEkScript S;
    S.Add(ekSetUndoGroup, TUndoGroupArgs{Group});
    S.Add(ekStartUndoGroup);
    S.End();
    EvalScript(View, S);
  }
}

// -- Undo ---------------------------------------------------------------------------------------

void Undo(PEkView View) {
  TEkScript S;
  S.Add(ekUndo);
  S.Add(ekFixScreenPos);
  S.EndMacroStep();
  EvalScript(View, S);
}

void Redo(PEkView View) {
  TEkScript S;
  S.Add(ekRedo);
  S.Add(ekFixScreenPos);
  S.EndMacroStep();
  EvalScript(View, S);
}

void UndoAndCenter(PEkView View) {
  EvalOne(View, ekUndo, ekEndMacroStep);
  EvalOne(View, ekCenterFixScreenPos, ekEndMacroStep);
}

void StartUndoGroup(PEkView View) { EvalOne(View, ekStartUndoGroup, ekEndMacroStep); }

void SetUndoGroup(PEkView View, TUndoGroup Group) {
  SetupUndoGroup(Group, View);
  EvalOne(View, ekStartUndoGroup, ekEndMacroStep);
}

void ClearUndoBuffer(PEkView View) {
  // The limit is read into the argument of the third command: set to 0 (which empties the
  // history) and restored within one script.
  TEkScript S;
  const size_t Get = S.Add(ekGetUndoLimit, TGetLimitArgs{nullptr});
  S.Add(ekSetUndoLimit, TSetLimitArgs{0});
  const size_t Restore = S.Add(ekSetUndoLimit, TSetLimitArgs{0});
  S.EndMacroStep();
  uint32_t* Target = &S.Args<TSetLimitArgs>(Restore)->Limit;
  std::memcpy(&S.Args<TGetLimitArgs>(Get)->Limit, &Target, sizeof Target);
  EvalScript(View, S);
}

uint32_t GetUndoLimit(PEkView View) {
  uint32_t Limit = 0;
  EvalOne(View, ekGetUndoLimit, TGetLimitArgs{&Limit});
  return Limit;
}

void SetUndoLimit(PEkView View, uint32_t Limit) { EvalOne(View, ekSetUndoLimit, TSetLimitArgs{Limit}); }

void AddClientUndoProc(PEkView View, TUndoGroup Group, TClientUndoProc Proc, void* Context) {
  TEkScript S;
  S.Add(ekSetUndoGroup, TUndoGroupArgs{Group});
  S.Add(ekAddClientUndoProc, TClientUndoArgs{Proc, Context});
  S.End();
  EvalScript(View, S);
}

void AddClientUndoStep(PEkView View, TClientUndoProc Proc, void* Context) {
  TEkScript S;
  S.Add(ekAddClientUndoStep, TClientUndoArgs{Proc, Context});
  S.EndMacroStep();
  EvalScript(View, S);
}

// -- Commands of the command map -------------------------------------------------------------

TUndoGroup MapCommandUndoGroup(const TEkCommandRef& Ref) {
  switch (Ref.Class) {
    case ccMotion:
    case ccSkip:
    case ccMatchPair:
      return ugGroupWithMotion;
    case ccBookmark:
      return Ref.Code == ekMoveToMark ? ugGroupWithMotion : ugGroupWithAny;
    case ccIndent:
      return ugGroupWithNone;
    case ccOperation:
      switch (Ref.Code) {
        case mpDeleteBlock: return ugGroupWithDataChangeDelete;
        case mpForeTab: return ugGroupWithDataChangeAdd;
        case mpBackTab: return ugGroupWithMotion;
        default: return ugGroupDefault;
      }
    case ccEdit:
      switch (Ref.Code) {
        case ekDeleteChar:
        case ekBackspaceDelete:
          return ugGroupWithDataChangeDelete;
        case ekHomeCursor:
          return ugGroupWithMotion;
        case ekCopyBlock:
        case ekMoveBlock:
        case ekUpperCaseBlock:
        case ekLowerCaseBlock:
        case ekToggleCase:
          return ugGroupWithNone;
        default:
          return ugGroupDefault;
      }
    default:
      return ugGroupDefault;
  }
}

TMapCommandResult RunMapCommand(PEkView View, const TEkCommandRef& Ref, uint16_t Bookmark, uint8_t* Answer) {
  TMapCommandResult R;
  if (Ref.Class == ccOperation && (Ref.Code == mpUndo || Ref.Code == mpRedo)) {
    Ref.Code == mpUndo ? Undo(View) : Redo(View);
    R.Known = true;
    R.Op = Ref.Code == mpUndo ? ekUndo : ekRedo;
    return R;
  }
  TEkScript S;
  if (!S.AddMapCommand(Ref)) return R;
  R.Known = true;
  if (Ref.Class == ccBookmark) S.Args<TMarkArgs>(0)->MarkIndex = Bookmark;
  uint8_t Ignored = 0;
  if (Ref.Class == ccQuery || Ref.Class == ccBlockQuery || Ref.Class == ccCharQuery)
    S.Args<TQueryArgs>(0)->Result = Answer ? Answer : &Ignored;
  SetupUndoGroup(MapCommandUndoGroup(Ref), View);
  S.EndMacroStep();
  EvalScript(View, S);
  R.Status = S.Result(0);
  R.Op = S.Data()->eOp;
  return R;
}

// -- Inserting and deleting ------------------------------------------------------------------

void InsertString(PEkView View, std::string_view Text) {
  std::string Typed;
  Typed.reserve(Text.size());
  for (char C : Text)
    if (C != '\n') Typed += C;
  if (Typed.empty()) return;
  SetupUndoGroup(ugGroupWithDataChangeAdd, View);
  EvalOne(View, ekInsertString, StringArgs(Typed), ekEndMacroStep);
}

void InsertAtCursor(PEkView View, std::string_view Text) {
  SetupUndoGroup(ugGroupWithDataChangeAdd, View);
  TTextReader Reader{Text};
  TEkScript S;
  S.Add(ekStartUndoGroup);
  S.Add(ekDropMatch);
  S.Add(ekInsertFromReader, TReadBufferArgs{&TTextReader::Read, &Reader});
  S.End();
  EvalScript(View, S);
}

void InsertBlock(PEkView View, std::string_view Text, TUndoGroup Group) {
  SetupUndoGroup(Group, View);
  if (Text.find('\n') == std::string_view::npos) {
    EvalOne(View, ekInsertString, StringArgs(Text));
    return;
  }
  TTextReader Reader{Text};
  TEkScript S;
  S.Add(ekInsertFromReader, TReadBufferArgs{&TTextReader::Read, &Reader});
  S.Add(ekHideBlock);
  S.End();
  EvalScript(View, S);
}

void InsertAt(PEkView View, uint32_t Offset, std::string_view Text, TUndoGroup Group) {
  if (Text.empty()) return;
  SetupUndoGroup(Group, View);
  EvalOne(View, ekInsertAt, TInsertAtArgs{Offset, Text.data(), static_cast<uint32_t>(Text.size())});
}

void InsertLiteral(PEkView View, std::string_view Text) {
  SetupUndoGroup(ugGroupWithDataChangeAdd, View);
  TEkScript S;
  S.Add(ekStartUndoGroup);
  S.Add(ekDropMatch);
  S.Add(ekInsertLiteral, StringArgs(Text));
  S.EndMacroStep();
  EvalScript(View, S);
  FixEd(View);
}

void InsertTextAtTop(PEkView View, std::string_view Text) {
  SetupUndoGroup(ugGroupWithDataChangeAdd, View);
  TEkScript S;
  S.Add(ekStartUndoGroup);
  S.Add(ekHomeCursor);
  S.Add(ekInsertString, StringArgs(Text));
  S.EndMacroStep();
  EvalScript(View, S);
}

void BreakLine(PEkView View) {
  // The new break takes the form of the line it splits, so that a file keeps its line ends.
  const TLineBreakStyle Style = GetLineBreakStyle(View, View->Cursor.LineNum);
  const char* Break = Style == lbsCRLF ? "\r\n" : Style == lbsCR ? "\r" : "\n";
  TEkScript S;
  S.Add(ekDropMatch);
  S.Add(ekInsertLiteral, StringArgs(Break));
  S.Add(ekCursorCharLeft);
  S.End();
  EvalScript(View, S);
}

bool Delete(PEkView View) {
  SetupUndoGroup(ugGroupWithDataChangeDelete, View);
  TEkScript S;
  S.Add(ekDropMatch);
  const size_t At = S.Add(ekDeleteChar);
  S.End();
  const uint16_t Status = EvalScript(View, S);
  return Status == 0 && S.Result(At) == 0;
}

void DeleteBlock(PEkView View) {
  SetupUndoGroup(ugGroupWithDataChangeDelete, View);
  EvalOne(View, ekDeleteBlock, TDeleteBlockArgs{0});
}

void DeleteTempBlock(PEkView View) { EvalOne(View, ekDeleteBlock, TDeleteBlockArgs{1}); }

void DeleteTo(PEkView View, const TEdFile& File, int32_t Count) {
  if (Count <= 0) return;
  TEdFile End = File;
  if (!SeekTo(View, End, File.Pos + static_cast<uint32_t>(Count))) {
    // Past the end: delete to the end of the text.
    char Buf[4096];
    End = File;
    while (ReadChars(View, End, Buf, sizeof Buf) > 0) {
    }
  }
  // The temporary block's markers go by byte offset: a character position cannot count past
  // the 32,767th character of a long line, and a block cut there would take the wrong text.
  TEkScript S;
  S.Add(ekSetMarkerOffset, TSetMarkerOffsetArgs{mkTempPos, File.Pos});
  S.Add(ekSetMarkerOffset, TSetMarkerOffsetArgs{mkTempEnd, End.Pos});
  S.Add(ekDeleteBlock, TDeleteBlockArgs{1});
  S.End();
  EvalScript(View, S);
}

// -- Search -----------------------------------------------------------------------------------

namespace {
std::string KernelPattern(std::string_view Pattern, bool Brief) {
  if (Brief && EditorOptionsSource().BriefRegExp()) return BriefToEk(Pattern);
  return std::string(Pattern);
}
}  // namespace

TSearchResult SearchString(PEkView View, TSearchFlags Flags, bool Brief, std::string_view Pattern,
                           std::string_view Text, int32_t& MatchStart, int32_t& MatchLength) {
  const std::string P = KernelPattern(Pattern, Brief);
  MatchStart = -1;
  MatchLength = 0;
  TSearchStringArgs A{Flags.Bits(), Text.data(), static_cast<uint32_t>(Text.size()), P.data(),
                      static_cast<uint32_t>(P.size()), &MatchStart, &MatchLength};
  return static_cast<TSearchResult>(EvalOne(View, ekSearchString, A));
}

bool DoOneSearch(PEkView View, TSearchFlags Flags, bool Brief, std::string_view Pattern, TEkSearchState& State,
                 TSearchResult* Result) {
  const std::string P = KernelPattern(Pattern, Brief);
  State.Found = 0;
  TEkScript S;
  S.Add(ekDropMatch);
  const size_t At = S.Add(ekSearch, TSearchArgs{Flags.Bits(), P.data(), static_cast<uint32_t>(P.size()), &State});
  S.Add(ekFixScreenPos);
  S.End();
  EvalScript(View, S);
  if (Result) *Result = static_cast<TSearchResult>(S.Result(At) == erNotFound ? uint8_t{SearchOk} : S.Result(At));
  return State.Found != 0;
}

bool SearchAgain(PEkView View, TEkSearchState& State) {
  State.Found = 0;
  EvalOne(View, ekSearchAgain, TSearchAgainArgs{&State});
  return State.Found != 0;
}

void EndSearch(PEkView View, TEkSearchState& State) {
  TEkScript S;
  S.Add(ekEndSearch);
  S.Add(ekCenterFixScreenPos);
  S.End();
  EvalScript(View, S);
  State.Found = 0;
}

uint16_t ReplaceString(PEkView View, std::string_view Text, TEkSearchState& State) {
  return EvalOne(View, ekReplace, TReplaceArgs{&State, Text.data(), static_cast<uint32_t>(Text.size())});
}

int32_t ReplaceAll(PEkView View, TSearchFlags Flags, bool Brief, std::string_view Pattern, std::string_view Replacement,
                   TSearchResult* Result) {
  const std::string P = KernelPattern(Pattern, Brief);
  // Every replacement undoes as one step of its own.
  EndMac(View);
  int32_t Count = 0;
  TEkScript S;
  S.Add(ekDropMatch);
  S.Add(ekStartUndoGroup);
  const size_t At = S.Add(ekReplaceAll, TReplaceAllArgs{Flags.Bits(), P.data(), static_cast<uint32_t>(P.size()), Replacement.data(),
                                                        static_cast<uint32_t>(Replacement.size()), &Count});
  S.Add(ekFixScreenPos);
  S.EndMacroStep();
  EvalScript(View, S);
  const uint8_t Status = S.Result(At);
  if (Result) *Result = static_cast<TSearchResult>(Status == erNotFound ? uint8_t{SearchOk} : Status);
  return Count;
}

std::string SearchErrorMessage(PEkView View, std::string_view Pattern, bool Brief, TSearchResult Result) {
  const std::string P = KernelPattern(Pattern, Brief);
  std::string Text(256, '\0');
  uint32_t Length = 0;
  int32_t Offset = -1;
  const uint8_t Status = EvalOne(View, ekGetSearchError, TSearchErrorArgs{Text.data(), static_cast<uint32_t>(Text.size()), &Length, &Offset});
  if ((Status != 0 && Status != erTooLong) || Length == 0) Length = 0;
  Text.resize(std::min<size_t>(Length, Text.size()));
  return SearchErrorMessage(P, Result, Text, Offset);
}

std::string SearchErrorMessage(std::string_view KernelPattern, TSearchResult Result, std::string_view Reason, int32_t Offset) {
  const std::string P(KernelPattern);
  if (Reason.empty()) return Format(res::SBadSearchExpression, P, static_cast<int>(Result));
  return Format(res::SSearchExpressionError, P, std::string(Reason), Offset);
}

int32_t MatchCharLength(PEkView View, const TEkSearchState& State) {
  if (!State.Found || State.MatchLength <= 0) return 0;
  const int32_t Offset = ConvertCharPosToPos(View, State.MatchPos);
  if (Offset < 0) return 0;
  TEdFile F{};
  OpenReadFile(View, F);
  std::string Bytes(static_cast<size_t>(State.MatchLength), '\0');
  if (SeekTo(View, F, static_cast<uint32_t>(Offset)))
    Bytes.resize(ReadChars(View, F, Bytes.data(), static_cast<uint32_t>(Bytes.size())));
  else
    Bytes.clear();
  CloseReadFile(View, F);
  int32_t N = 0;
  std::string_view Rest = Bytes;
  while (!Rest.empty()) {
    uint32_t Ch;
    bool Valid;
    Rest.remove_prefix(static_cast<size_t>(DecodeUtf8(Rest, Ch, Valid)));
    ++N;
  }
  return N;
}

// -- Cursor -----------------------------------------------------------------------------------

void GotoLineCol(PEkView View, int32_t Line, int32_t Col, bool Motion, bool UnElide, bool DropMatch) {
  SetupUndoGroup(Motion ? ugGroupWithMotion : ugGroupDefault, View);
  TEkScript S;
  if (DropMatch) S.Add(ekDropMatch);
  S.Add(ekGotoLineCol, TGotoLineColArgs{TEdPos{Col, Line}, static_cast<uint8_t>(UnElide)});
  S.Add(ekFixScreenPos);
  S.End();
  EvalScript(View, S);
}

void GotoCharPos(PEkView View, TCharPos Pos, bool UnElide) {
  EvalOne(View, ekGotoCharPos, TGotoCharPosArgs{Pos, static_cast<uint8_t>(UnElide)});
}

void CursorUp(PEkView View) { CursorMotion(View, ekCursorUp); }
void CursorDown(PEkView View) { CursorMotion(View, ekCursorDown); }
void CursorLineStart(PEkView View) { CursorMotion(View, ekLeftOfLine); }
void CursorLineEnd(PEkView View) { CursorMotion(View, ekRightOfLine); }
void CursorCharRight(PEkView View) { CursorMotion(View, ekCursorCharRight); }
void CursorCharLeft(PEkView View) { CursorMotion(View, ekCursorCharLeft); }
void CursorBufferTop(PEkView View) { CursorMotion(View, ekHomeCursor); }
void CursorBufferBottom(PEkView View) { CursorMotion(View, ekEndCursor); }

void CursorSkip(PEkView View, TSkipCode Skip) {
  SetupUndoGroup(ugGroupWithMotion, View);
  TEkScript S;
  S.Add(ekDropMatch);
  S.Add(ekSkip, TSkipArgs{Skip});
  S.End();
  EvalScript(View, S);
}

// -- Blocks and marks -------------------------------------------------------------------------

uint16_t MarkOp(PEkView View, uint8_t Op) { return EvalOne(View, ekMarkOp, TMarkOpArgs{Op}); }

void SetMarkedRange(PEkView View, bool EdPos, bool Special, TCharPos Start, TCharPos After) {
  EvalOne(View, ekSetMarkedRange,
          TSetMarkedRangeArgs{static_cast<uint8_t>(EdPos), static_cast<uint8_t>(Special), Start, After});
}

void GetMarkedRange(PEkView View, bool EdPos, bool Special, TCharPos& Start, TCharPos& After) {
  Start = TCharPos{0, 0};
  After = TCharPos{0, 0};
  EvalOne(View, ekGetMarkedRange,
          TGetMarkedRangeArgs{static_cast<uint8_t>(EdPos), static_cast<uint8_t>(Special), &Start, &After});
}

void SetBlockType(PEkView View, TBlockType Type) { EvalOne(View, ekSetBlockType, TBlockTypeArgs{Type}); }

TBlockType GetBlockType(PEkView View) {
  uint8_t T = btInclusive;
  EvalOne(View, ekGetBlockType, TGetByteArgs{&T});
  return static_cast<TBlockType>(T);
}

void HideBlock(PEkView View) { EvalOne(View, ekHideBlock); }
void UnHideBlock(PEkView View) { EvalOne(View, ekHighlightBlock); }

void HideUnhideBlock(PEkView View, bool Show, bool Special) {
  EvalOne(View, ekHideUnhideBlock, THideUnhideArgs{static_cast<uint8_t>(Show), static_cast<uint8_t>(Special)});
}

uint8_t Query(PEkView View, uint8_t Q, uint16_t Value) {
  uint8_t Result = 0;
  EvalOne(View, ekQuery, TQueryArgs{Q, Value, &Result});
  return Result;
}

bool BlockIsMarked(PEkView View) { return Query(View, qValidBlock) != 0; }
bool CursorInBlock(PEkView View) { return Query(View, qCursorInBlock) != 0; }
bool BlockVisible(PEkView View) { return BlockIsMarked(View) && Query(View, qBlockHidden) == 0; }

uint16_t IndentBlock(PEkView View, bool Outdent, int16_t Columns) {
  SetupUndoGroup(ugGroupWithNone, View);
  return EvalOne(View, ekIndentBlock, TIndentArgs{static_cast<uint8_t>(Outdent), Columns}, ekEndMacroStep);
}

void MarkWord(PEkView View) {
  SetupUndoGroup(ugGroupWithAny, View);
  TEkScript S;
  S.Add(ekStartUndoGroup);
  S.Add(ekDropMatch);
  S.Add(ekSetBlockType, TBlockTypeArgs{btNonInclusive});
  // Off a word: go to the start of the next one.
  S.Add(ekIf, TIfArgs{qCursorOnWordChar, 1, 0, 1});
  S.Add(ekSkip, TSkipArgs{skRightNonWord});
  // Inside a word: back to its start.
  S.Add(ekIf, TIfArgs{qCursorAtBOW, 1, 0, 1});
  S.Add(ekSkip, TSkipArgs{skLeftWord});
  S.Add(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  S.Add(ekSkip, TSkipArgs{skRightWord});
  S.Add(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  S.Add(ekHighlightBlock);
  S.Add(ekFixScreenPos);
  S.EndMacroStep();
  EvalScript(View, S);
}

void MarkCurrentLine(PEkView View) {
  SetupUndoGroup(ugGroupWithAny, View);
  TEkScript S;
  S.Add(ekStartUndoGroup);
  S.Add(ekDropMatch);
  S.Add(ekSetBlockType, TBlockTypeArgs{btNonInclusive});
  S.Add(ekMarkOp, TMarkOpArgs{moSetPrevPos});
  S.Add(ekHideBlock);
  S.Add(ekRightOfLine);
  S.Add(ekCursorCharRight);
  S.Add(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  S.Add(ekCursorCharLeft);
  S.Add(ekLeftOfLine);
  S.Add(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  S.Add(ekHighlightBlock);
  S.Add(ekMarkOp, TMarkOpArgs{moMoveToBlockEnd});
  S.Add(ekFixScreenPos);
  S.EndMacroStep();
  EvalScript(View, S);
}

// -- Bookmarks --------------------------------------------------------------------------------

bool BookmarkGoto(PEkView View, int Index) {
  if (Index < 0 || Index > 9) return false;
  SetupUndoGroup(ugGroupWithMotion, View);
  return EvalOne(View, ekMoveToMark, TMarkArgs{static_cast<uint16_t>(Index)}) == 0;
}

bool BookmarkRecord(PEkView View, int Index, bool Toggle) {
  if (Index < 0 || Index > 9) return false;
  SetupUndoGroup(ugGroupWithAny, View);
  if (Toggle) {
    const TCharPos Pos = GetMarkerPos(View, mkBookmark0 + static_cast<uint32_t>(Index));
    if (Pos.LineNum > 0 && Pos.LineNum == View->Cursor.LineNum) {
      SetMarkerPos(View, mkBookmark0 + static_cast<uint32_t>(Index), TCharPos{0, 0});
      return false;
    }
  }
  return EvalOne(View, ekSetMark, TMarkArgs{static_cast<uint16_t>(Index)}) == 0;
}

void SetMarkerPos(PEkView View, uint32_t ID, TCharPos Pos) { EvalOne(View, ekSetMarkerPos, TSetMarkerArgs{ID, Pos}); }

void SetMarkerPosEx(PEkView View, uint32_t ID, TCharPos Pos, bool ScreenPos) {
  EvalOne(View, ekSetMarkerPosEx, TSetMarkerExArgs{ID, Pos, static_cast<uint8_t>(ScreenPos)});
}

TCharPos GetMarkerPos(PEkView View, uint32_t ID) {
  TCharPos Pos{0, 0};
  if (EvalOne(View, ekGetMarkerPos, TGetMarkerArgs{ID, &Pos}) != 0) return TCharPos{0, 0};
  return Pos;
}

uint32_t UserMarkToInternalMark(PEkView View, int Index) {
  uint32_t Result = 0;
  EvalOne(View, ekUserMarkToInternalMark, TUserMarkArgs{static_cast<uint16_t>(Index), &Result});
  return Result;
}

// -- Lines ------------------------------------------------------------------------------------

uint32_t GetLineFlags(PEkView View, int32_t Line) {
  uint32_t Flags = 0;
  EvalOne(View, ekGetLineFlags, TGetLineFlagsArgs{Line, &Flags});
  return Flags;
}

namespace {
void ChangeLineFlags(PEkView View, int32_t Line, uint32_t Set, uint32_t Clear) {
  const uint32_t Flags = (GetLineFlags(View, Line) & ~Clear) | Set;
  TEkScript S;
  S.Add(ekSetLineFlags, TSetLineFlagsArgs{Line, Flags});
  S.Add(ekRepaintLine, TLineArgs{Line});
  S.End();
  EvalScript(View, S);
}
}  // namespace

void SetLineFlag(PEkView View, int32_t Line, uint32_t Flags) { ChangeLineFlags(View, Line, Flags, 0); }
void ClearLineFlag(PEkView View, int32_t Line, uint32_t Flags) { ChangeLineFlags(View, Line, 0, Flags); }
void ClearLineModifiedFlags(PEkView View) { EvalOne(View, ekClearLineModifiedFlags); }

int32_t GetLineLength(PEkView View, int32_t Line) {
  int32_t Length = -1;
  if (EvalOne(View, ekGetLineLength, TLineLengthArgs{Line, &Length}) != 0) return -1;
  return Length;
}

int32_t TotalLinesInBuffer(PEkView View) {
  int32_t Count = 0;
  EvalOne(View, ekTotalLines, TCountArgs{&Count});
  return Count;
}

std::string GetLineText(PEkView View, int32_t Line) {
  std::string Text(256, '\0');
  uint32_t Length = 0;
  for (;;) {
    // "Too long" is no failure: the length is known and the next try has room.
    const uint8_t Status = EvalOne(View, ekGetLineText, TGetLineTextArgs{Line, Text.data(), static_cast<uint32_t>(Text.size()), &Length});
    if (Status != 0 && Status != erTooLong) return {};
    if (Length <= Text.size()) break;
    Text.resize(Length);
  }
  Text.resize(Length);
  return Text;
}

TLineBreakStyle GetLineBreakStyle(PEkView View, int32_t Line) {
  uint8_t Style = lbsNone;
  EvalOne(View, ekGetLineBreakStyle, TGetLineBreakArgs{Line, &Style});
  return static_cast<TLineBreakStyle>(Style);
}

void SetLineBreakStyle(PEkView View, int32_t Line, TLineBreakStyle Style) {
  EvalOne(View, ekSetLineBreakStyle, TSetLineBreakArgs{Line, Style});
}

TCharPos ConvertPos(PEkView View, TEdPos Pos) {
  TCharPos Result{0, 0};
  EvalOne(View, ekConvertPos, TConvertPosArgs{cdEdToChar, &Pos, &Result});
  return Result;
}

TEdPos ConvertPos(PEkView View, TCharPos Pos) {
  TEdPos Result{0, 0};
  EvalOne(View, ekConvertPos, TConvertPosArgs{cdCharToEd, &Result, &Pos});
  return Result;
}

int32_t ConvertCharPosToPos(PEkView View, TCharPos Pos) {
  int32_t Result = -1;
  EvalOne(View, ekConvertCharPosToPos, TCharPosToPosArgs{Pos, &Result});
  return Result;
}

// -- Buffer settings --------------------------------------------------------------------------

void SetSyntaxHilighter(PEkView View, uint8_t Lang) { EvalOne(View, ekSetSyntaxLang, TByteArgs{Lang}); }

uint8_t GetSyntaxHilighter(PEkView View) {
  uint8_t Lang = 0;
  EvalOne(View, ekGetSyntaxLang, TGetByteArgs{&Lang});
  return Lang;
}

void SetTabRack(PEkView View, const TTabRack& Rack) {
  TTabRack Copy = Rack;
  EvalOne(View, ekSetTabRack, TTabRackArgs{&Copy});
}

TTabRack GetTabRack(PEkView View) {
  TTabRack Rack{};
  EvalOne(View, ekGetTabRack, TTabRackArgs{&Rack});
  return Rack;
}

void SetEdModes(PEkView View, uint32_t Mask, uint32_t Value) { EvalOne(View, ekSetModes, TModesArgs{Mask, Value}); }

void SetBlockIndent(PEkView View, int Columns) {
  if (Columns > 0) EvalOne(View, ekSetBlockIndent, TBlockIndentArgs{static_cast<uint16_t>(std::min(Columns, 0xFFFF))});
}

void AttachTrackTable(PEkView View, void* Table, uint16_t ElementSize, TEkTrackProc Proc, void* Context) {
  // Character indices count from 0 here as everywhere in TCharPos; lines from 1, and a
  // deleted line's entry gets line 0 (free).
  EvalOne(View, ekAttachTrackTable, TAddTrackTableArgs{0, 1, 0, ElementSize, Table, Proc, Context});
}

void DetachTrackTable(PEkView View, void* Table) { EvalOne(View, ekDetachTrackTable, TTrackTableArgs{Table}); }

// -- Frozen lines -----------------------------------------------------------------------------

void FreezeLineNumbers(PEkView View) {
  TEkScript S;
  S.Add(ekFreezeLineNumbers);
  S.Add(ekResetFrozenLines);
  S.EndMacroStep();
  EvalScript(View, S);
}

void GotoFrozenLine(PEkView View, int32_t Line) { EvalOne(View, ekGotoFrozenLine, TLineArgs{Line}); }

int32_t RealToFrozen(PEkView View, int32_t Line) {
  int32_t Result = 0;
  EvalOne(View, ekRealToFrozen, TLineResultArgs{Line, &Result});
  return Result;
}

void FreezeBuffer(PEkView View, bool Freeze) { EvalOne(View, Freeze ? ekFreezeBuffer : ekUnfreezeBuffer); }

// -- Transfer ---------------------------------------------------------------------------------

void ReadFromStream(PEkView View, const std::function<int32_t(char*, int32_t)>& Reader) {
  // The kernel empties the text before it reads: a stream that fails half way would leave
  // nothing of the old text and only part of the new. So the stream is read whole first.
  std::string Text;
  char Chunk[1 << 16];
  TFnReader Context{&Reader};
  for (;;) {
    const int32_t N = TFnReader::Read(&Context, Chunk, static_cast<int32_t>(sizeof Chunk));
    if (N < 0 || N > static_cast<int32_t>(sizeof Chunk)) throw EEditorError(res::SCannotLoadFile);
    if (N == 0) break;
    Text.append(Chunk, static_cast<size_t>(N));
  }
  ReadFromText(View, Text);
}

void ReadFromText(PEkView View, std::string_view Text) {
  TTextReader Reader{Text};
  TEkScript S;
  const size_t At = S.Add(ekReadBuffer, TReadBufferArgs{&TTextReader::Read, &Reader});
  S.Add(ekResetFrozenLines);
  S.End();
  EvalScript(View, S);
  if (S.Result(At) != 0) throw EEditorError(res::SCannotLoadFile);
}

void ReadFromBuffer(PEkView View, char* Data, size_t Size, size_t Skip) {
  TEkScript S;
  const size_t At = S.Add(ekAdoptBuffer, TAdoptBufferArgs{Data, Size, static_cast<uint32_t>(std::min<size_t>(Skip, UINT32_MAX))});
  S.Add(ekResetFrozenLines);
  S.End();
  EvalScript(View, S);
  if (S.Result(At) != 0) throw EEditorError(res::SCannotLoadFile);
}

bool WriteToStream(PEkView View, std::string& Out, bool PreserveEnds) {
  SetupUndoGroup(ugGroupWithAny, View);
  return EvalOne(View, ekWriteBuffer, TWriteBufferArgs{&AppendWriter, &Out, static_cast<uint8_t>(PreserveEnds), 0}) == 0;
}

bool WriteToProc(PEkView View, TEkWriteProc Proc, void* Context, bool PreserveEnds) {
  SetupUndoGroup(ugGroupWithAny, View);
  return EvalOne(View, ekWriteBuffer, TWriteBufferArgs{Proc, Context, static_cast<uint8_t>(PreserveEnds), 0}) == 0;
}

bool WriteBlockToStream(PEkView View, std::string& Out) {
  SetupUndoGroup(ugGroupWithAny, View);
  return EvalOne(View, ekWriteBuffer, TWriteBufferArgs{&AppendWriter, &Out, 1, 1}) == 0;
}

std::string GetBufferText(PEkView View) {
  std::string Out;
  if (EvalOne(View, ekWriteBuffer, TWriteBufferArgs{&AppendWriter, &Out, wbLineFeeds, 0}) != 0) return {};
  return Out;
}

namespace {

// Every CR LF or lone CR becomes a line feed, as the kernel writes the text with wbLineFeeds.
void BreaksToLineFeeds(std::string& Text) {
  const size_t First = Text.find('\r');
  if (First == std::string::npos) return;
  size_t To = First;
  for (size_t From = First; From < Text.size(); ++From) {
    if (Text[From] != '\r') {
      Text[To++] = Text[From];
      continue;
    }
    Text[To++] = '\n';
    if (From + 1 < Text.size() && Text[From + 1] == '\n') ++From;
  }
  Text.resize(To);
}

}  // namespace

bool ReadBufferTextInSlices(PEkView View, std::string& Out, const std::function<bool()>& Stop) {
  // A quarter of a megabyte copies in well under a tenth of a millisecond.
  constexpr uint64_t SliceBytes = 1u << 18;
  Out.clear();
  uint64_t Length = 0, Changes = 0;
  if (EvalOne(View, ekReadSlice, TReadSliceArgs{0, nullptr, 0, nullptr, &Changes, &Length}) != erOk) return false;
  Out.resize(Length);
  for (uint64_t Pos = 0; Pos < Length;) {
    if (Stop && Stop()) return false;
    const auto Want = static_cast<uint32_t>(std::min(SliceBytes, Length - Pos));
    uint32_t Read = 0;
    uint64_t Now = 0;
    if (EvalOne(View, ekReadSlice, TReadSliceArgs{Pos, Out.data() + Pos, Want, &Read, &Now, nullptr}) != erOk) return false;
    // A change in between: the slices read so far belong to another text.
    if (Now != Changes || Read != Want) return false;
    Pos += Read;
  }
  BreaksToLineFeeds(Out);
  return true;
}

void InsertFromStream(PEkView View, std::string_view Text) {
  const size_t Zero = Text.find('\0');
  if (Zero != std::string_view::npos) Text = Text.substr(0, Zero);
  if (Text.empty()) return;
  InsertAtCursor(View, Text);
}

void OpenReadFile(PEkView View, TEdFile& File) { EvalOne(View, ekOpenReadFile, TFileArgs{&File}); }

bool SeekTo(PEkView View, TEdFile& File, uint32_t Offset) { return EvalOne(View, ekSeekTo, TSeekArgs{&File, Offset}) == 0; }

uint32_t ReadChars(PEkView View, TEdFile& File, char* Buffer, uint32_t Count) {
  uint32_t Read = 0;
  if (EvalOne(View, ekReadChars, TReadCharsArgs{&File, Buffer, Count, &Read}) != 0) return 0;
  return Read;
}

void CloseReadFile(PEkView View, TEdFile& File) { EvalOne(View, ekCloseReadFile, TFileArgs{&File}); }

void ClearBuffer(PEkView View) { EvalOne(View, ekClearBuffer); }
void FixEd(PEkView View) { EvalOne(View, ekFixScreenPos); }
void FixCursor(PEkView View) { EvalOne(View, ekFixCursorPos); }
void CenterFixEd(PEkView View) { EvalOne(View, ekCenterFixScreenPos); }
void StartPlayback(PEkView View) { EvalOne(View, ekStartPlayback, ekEndMacroStep); }
void StopPlayback(PEkView View) { EvalOne(View, ekStopPlayback, ekEndMacroStep); }

// -- Folded regions ---------------------------------------------------------------------------

bool AddElisionBlock(PEkView View, TCharPos Start, TCharPos End, bool Fold, std::string_view Description,
                     uint16_t Type) {
  const int32_t Lines = TotalLinesInBuffer(View);
  auto LineOk = [Lines](int32_t L) { return L >= 1 && L <= Lines; };
  if (!LineOk(Start.LineNum) || !LineOk(End.LineNum)) return false;
  if (End.LineNum < Start.LineNum || (End.LineNum == Start.LineNum && End.Index <= Start.Index)) return false;
  TElision E{};
  E.Range.ElisionStart = Start;
  E.Range.ElisionEnd = End;
  E.Range.NumLines = End.LineNum - Start.LineNum + 1;
  E.Context.State = Fold ? 4 : 0;
  E.Description.ElisionType = Type;
  E.Description.DescLen = static_cast<int32_t>(Description.size());
  E.Description.BlockDesc = const_cast<char*>(Description.data());  // read, never written
  return EvalOne(View, ekElisionBlock, TElisionBlockArgs{E, ebAdd, nullptr}) == 0;
}

void ForEachFoldedElision(PEkView View, const std::function<void(const TElision&)>& Visit, bool ByteIndexes) {
  for (int32_t Done = 0;;) {
    TElisionArray Array{};
    Array.All = 1 | (ByteIndexes ? eaByteIndexes : 0);
    Array.NumElisions = Done;  // how many to leave out
    if (EvalOne(View, ekElisionArray, TElisionArrayArgs{eaGetFoldedFrom, TElisionRange{}, &Array}) != 0) return;
    const int32_t Got = Array.NumElisions;
    for (int32_t I = 0; I < Got; ++I) {
      TElision E;
      std::memcpy(&E, reinterpret_cast<const uint8_t*>(Array.ElisionVec) + static_cast<size_t>(I) * sizeof E,
                  sizeof E);
      Visit(E);
    }
    EvalOne(View, ekElisionArray, TElisionArrayArgs{eaRelease, TElisionRange{}, &Array});
    if (Got < EkMaxElisions) return;
    Done += Got;
  }
}

std::string PrintElisions(PEkView View, const TSavedLineMap& MapLine) {
  std::string Out;
  ForEachFoldedElision(View, [&](const TElision& E) {
    int32_t StartLine = E.Range.ElisionStart.LineNum, EndLine = E.Range.ElisionEnd.LineNum;
    if (MapLine && (!(StartLine = MapLine(StartLine)) || !(EndLine = MapLine(EndLine)))) return;
    std::string Quoted = "'";
    for (int32_t J = 0; J < E.Description.DescLen; ++J) {
      const char C = E.Description.BlockDesc[J];
      if (C != '\0' && std::strchr("'()\\{}", C)) Quoted += '\\';
      Quoted += C;
    }
    Quoted += '\'';
    Out += "{{" + std::to_string(StartLine) + "," + std::to_string(E.Range.ElisionStart.Index) + "},{" +
           std::to_string(EndLine) + "," + std::to_string(E.Range.ElisionEnd.Index) + "},{" + Quoted + "}}";
  });
  return Out;
}

namespace {

// Reads the saved form entry by entry: "{{sl,si},{el,ei},{'description'}}".
class TElisionScanner {
 public:
  explicit TElisionScanner(std::string_view Text) : FText(Text) {}
  bool Next(TCharPos& Start, TCharPos& End, std::string& Description) {
    const size_t At = FText.find("{{", FPos);
    if (At == std::string_view::npos) return false;
    FPos = At + 2;
    Start.LineNum = Number();
    Start.Index = Number();
    End.LineNum = Number();
    End.Index = Number();
    Description.clear();
    while (FPos < FText.size() && FText[FPos] != '\'' && FText[FPos] != '{' && FText[FPos] != '}') ++FPos;
    if (FPos < FText.size() && FText[FPos] == '{') ++FPos;
    if (FPos < FText.size() && FText[FPos] == '\'') {
      for (++FPos; FPos < FText.size() && FText[FPos] != '\''; ++FPos) {
        if (FText[FPos] == '\\' && FPos + 1 < FText.size()) ++FPos;
        Description += FText[FPos];
      }
      ++FPos;
    }
    return true;
  }

 private:
  // A number up to the next "," or "}"; one that does not read is 0.
  int32_t Number() {
    while (FPos < FText.size() && FText[FPos] == '{') ++FPos;
    const size_t From = FPos;
    while (FPos < FText.size() && FText[FPos] != ',' && FText[FPos] != '}') ++FPos;
    const std::string Word(FText.substr(From, FPos - From));
    while (FPos < FText.size() && (FText[FPos] == ',' || FText[FPos] == '}')) {
      ++FPos;
      if (FText[FPos - 1] == ',') break;
    }
    char* EndPtr = nullptr;
    const long V = std::strtol(Word.c_str(), &EndPtr, 10);
    if (Word.empty() || *EndPtr != '\0' || V < INT32_MIN || V > INT32_MAX) return 0;
    return static_cast<int32_t>(V);
  }
  std::string_view FText;
  size_t FPos = 0;
};

}  // namespace

void InsertSavedElisions(PEkView View, std::string_view Text) {
  TElisionScanner Scanner(Text);
  TCharPos Start{}, End{};
  std::string Description;
  while (Scanner.Next(Start, End, Description)) AddElisionBlock(View, Start, End, true, Description);
}

// -- Clipboard --------------------------------------------------------------------------------

void SetClipboardText(std::string_view Text, bool ColumnBlock) {
  TClipboard& C = Clipboard();
  std::lock_guard<std::mutex> G(C.Lock);
  C.Text = std::string(Text);
  C.Column = ColumnBlock;
}

std::string ClipboardText() {
  TClipboard& C = Clipboard();
  std::lock_guard<std::mutex> G(C.Lock);
  return C.Text;
}

void ClipCopy(PEkView View) {
  if (!BlockIsMarked(View)) return;
  std::string Text;
  if (!WriteBlockToStream(View, Text)) return;
  SetClipboardText(Text, GetBlockType(View) == btColumn);
}

void ClipAppend(PEkView View) {
  if (!BlockIsMarked(View)) return;
  std::string Text;
  if (!WriteBlockToStream(View, Text)) return;
  TClipboard& C = Clipboard();
  std::lock_guard<std::mutex> G(C.Lock);
  C.Text += Text;
}

void ClipCut(PEkView View) {
  if (!BlockIsMarked(View)) return;
  ClipCopy(View);
  DeleteBlock(View);
}

void ClipPaste(PEkView View) {
  std::string Text;
  bool Column;
  {
    TClipboard& C = Clipboard();
    std::lock_guard<std::mutex> G(C.Lock);
    Text = C.Text;
    Column = C.Column;
  }
  InsertFromStream(View, Text);
  if (Column) SetBlockType(View, btColumn);
}

}  // namespace nxs
