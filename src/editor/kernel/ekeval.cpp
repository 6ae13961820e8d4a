// The script evaluator: walks a command script, checks every header and argument record
// against the operation table, runs conditionals, and hands each command to the view's
// editor. A command that fails stops the script; its eResult is the status.
#include "editor/kernel/ekeval.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>
#include <vector>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekeditor.h"
#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

namespace {

constexpr int MaxIfDepth = 32;

// ---------------------------------------------------------------------------------------------
// The operations' handlers, one per operation and named after it, in the order of the
// operation list. A handler takes the view's editor and, unless its header stands alone, a
// copy of the argument record the list names for it, and returns the eResult. The dispatch
// table below is made from the list, so an operation without a handler does not compile, and
// a handler that reads another record than its operation's does not either.

// The walker handles the ends and conditionals before they would get here.
uint8_t WalkerOnly(TEkEditor&) { return erInternal; }
uint8_t DoIf(TEkEditor&, const TIfArgs&) { return erInternal; }
constexpr auto DoEnd = WalkerOnly, DoEndMacroStep = WalkerOnly, DoEndScript = WalkerOnly;

uint8_t DoStartPlayback(TEkEditor& E) {
  E.Doc().Text().History().BeginPlayback();
  E.Doc().Playback = true;
  return erOk;
}

uint8_t DoStopPlayback(TEkEditor& E) {
  E.Doc().Text().History().EndPlayback();
  E.Doc().Playback = false;
  return erOk;
}

uint8_t DoReadBuffer(TEkEditor& E, const TReadBufferArgs& A) { return E.ReadBuffer(A); }
uint8_t DoAdoptBuffer(TEkEditor& E, const TAdoptBufferArgs& A) { return E.AdoptBuffer(A); }
uint8_t DoInsertFromReader(TEkEditor& E, const TReadBufferArgs& A) { return E.InsertFromReader(A); }
uint8_t DoWriteBuffer(TEkEditor& E, const TWriteBufferArgs& A) { return E.WriteBuffer(A); }

uint8_t DoPaintScreen(TEkEditor& E) {
  E.Doc().RepaintAll = true;
  return erOk;
}

uint8_t DoSearch(TEkEditor& E, const TSearchArgs& A) {
  bool Ok;
  std::string_view Pattern = StringArg(A.Pattern, A.PatternLen, Ok);
  if (!Ok) return erBadArgument;
  return E.Search(A.Flags, Pattern, A.State, false);
}

uint8_t DoSearchAgain(TEkEditor& E, const TSearchAgainArgs& A) { return E.Search(0, {}, A.State, true); }

uint8_t DoResetFrozenLines(TEkEditor& E) {
  E.Doc().FreezeLines();
  return erOk;
}
constexpr auto DoFreezeLineNumbers = DoResetFrozenLines;

uint8_t DoClearBuffer(TEkEditor& E) {
  E.Doc().Text().Clear();
  E.View()->Cursor = TEdPos{1, 1};
  E.View()->WinTopLine = 1;
  return erOk;
}

uint8_t DoGotoFrozenLine(TEkEditor& E, const TLineArgs& A) {
  TEkDocument& D = E.Doc();
  int64_t Real = D.FrozenToReal(static_cast<int64_t>(A.Line) - 1);
  if (Real < 0 || static_cast<uint64_t>(Real) >= D.LineCount()) return erNotFound;
  return E.GotoLineCol(TEdPos{1, static_cast<int32_t>(Real + 1)}, true);
}

uint8_t DoRealToFrozen(TEkEditor& E, const TLineResultArgs& A) {
  if (!E.LineInText(A.Line)) return erRange;
  int64_t Frozen = E.Doc().RealToFrozen(A.Line - 1);
  Put<int32_t>(A.Result, static_cast<int32_t>(Frozen < 0 ? 0 : Frozen + 1));
  return erOk;
}

// The cursor motions: the editor moves by the operation's own code.
template <TEkOp Op>
uint8_t Motion(TEkEditor& E) {
  return E.Motion(Op);
}
constexpr auto DoCursorRight = Motion<ekCursorRight>, DoCursorLeft = Motion<ekCursorLeft>,
               DoCursorCharRight = Motion<ekCursorCharRight>, DoCursorCharLeft = Motion<ekCursorCharLeft>,
               DoCursorUp = Motion<ekCursorUp>, DoCursorDown = Motion<ekCursorDown>,
               DoScrollScreenUp = Motion<ekScrollScreenUp>, DoScrollScreenDown = Motion<ekScrollScreenDown>,
               DoLeftOfLine = Motion<ekLeftOfLine>, DoRightOfLine = Motion<ekRightOfLine>,
               DoTopOfScreen = Motion<ekTopOfScreen>, DoBottomOfScreen = Motion<ekBottomOfScreen>,
               DoHomeCursor = Motion<ekHomeCursor>, DoEndCursor = Motion<ekEndCursor>,
               DoCursorSwitchedRight = Motion<ekCursorSwitchedRight>,
               DoCursorSwitchedLeft = Motion<ekCursorSwitchedLeft>, DoPageUp = Motion<ekPageUp>,
               DoPageDown = Motion<ekPageDown>, DoCursorLineToWindowTop = Motion<ekCursorLineToWindowTop>,
               DoCursorLineToWindowBottom = Motion<ekCursorLineToWindowBottom>,
               DoLeftOfScreen = Motion<ekLeftOfScreen>, DoRightOfScreen = Motion<ekRightOfScreen>,
               DoCenterLineInWindow = Motion<ekCenterLineInWindow>, DoFirstNonBlank = Motion<ekFirstNonBlank>,
               DoMoveToRightMargin = Motion<ekMoveToRightMargin>;

uint8_t DoDeleteChar(TEkEditor& E) { return E.DeleteChar(); }
uint8_t DoBackspaceDelete(TEkEditor& E) { return E.Backspace(); }

// Shows or hides the block and tells the document's watchers.
uint8_t SetBlockHidden(TEkDocument& D, bool Hidden) {
  D.BlockHidden = Hidden;
  D.SendEvent(eeBlockChanged, 0, 0);
  return erOk;
}

uint8_t DoHighlightBlock(TEkEditor& E) { return SetBlockHidden(E.Doc(), false); }
uint8_t DoHideBlock(TEkEditor& E) { return SetBlockHidden(E.Doc(), true); }
uint8_t DoToggleHideBlock(TEkEditor& E) { return SetBlockHidden(E.Doc(), !E.Doc().BlockHidden); }
uint8_t DoCopyBlock(TEkEditor& E) { return E.CopyBlock(false); }
uint8_t DoMoveBlock(TEkEditor& E) { return E.CopyBlock(true); }
uint8_t DoDeleteBlock(TEkEditor& E, const TDeleteBlockArgs& A) { return E.DeleteBlock(A.TempBlock != 0); }

uint8_t DoSwapPrevPos(TEkEditor& E) {
  TEkDocument& D = E.Doc();
  TTextPos Here = E.CursorPos();
  if (!D.MarkerSet(mkPrevPos)) return erNotFound;
  E.MoveTo(D.Marker(mkPrevPos));
  D.SetMarker(mkPrevPos, Here);
  return erOk;
}

uint8_t DoMoveToMark(TEkEditor& E, const TMarkArgs& A) {
  TEkDocument& D = E.Doc();
  if (A.MarkIndex > 9) return erBadArgument;
  if (!D.MarkerSet(mkBookmark0 + A.MarkIndex)) return erNotFound;
  D.SetMarker(mkPrevPos, E.CursorPos());
  TTextPos Target = D.Marker(mkBookmark0 + A.MarkIndex);
  D.Elisions().OpenAround(Target.Line);
  E.MoveTo(Target);
  return erOk;
}

uint8_t DoSetMark(TEkEditor& E, const TMarkArgs& A) {
  if (A.MarkIndex > 9) return erBadArgument;
  E.Doc().SetMarker(mkBookmark0 + A.MarkIndex, E.CursorPos());
  return erOk;
}

uint8_t DoInsertLiteral(TEkEditor& E, const TStringArgs& A) {
  bool Ok;
  std::string_view Text = StringArg(A.Str, A.Len, Ok);
  return Ok ? E.InsertLiteral(Text) : uint8_t(erBadArgument);
}

uint8_t DoSeekTo(TEkEditor& E, const TSeekArgs& A) { return E.SeekTo(A); }
uint8_t DoReadChars(TEkEditor& E, const TReadCharsArgs& A) { return E.ReadChars(A); }

uint8_t DoTotalLines(TEkEditor& E, const TCountArgs& A) {
  TEkDocument& D = E.Doc();
  D.Rec()->NLines = static_cast<int32_t>(std::min<uint64_t>(D.LineCount(), INT32_MAX));
  Put<int32_t>(A.Count, D.Rec()->NLines);
  return erOk;
}

uint8_t DoFixCursorPos(TEkEditor& E) {
  E.FixCursor();
  return erOk;
}

uint8_t DoFixScreenPos(TEkEditor& E) {
  E.FixScreen(false);
  return erOk;
}

uint8_t DoCenterFixScreenPos(TEkEditor& E) {
  E.FixScreen(true);
  return erOk;
}

uint8_t DoReplace(TEkEditor& E, const TReplaceArgs& A) {
  bool Ok;
  std::string_view Text = StringArg(A.Replace, A.ReplaceLen, Ok);
  return Ok ? E.Replace(Text, A.State) : uint8_t(erBadArgument);
}

uint8_t DoInsertString(TEkEditor& E, const TStringArgs& A) {
  bool Ok;
  std::string_view Text = StringArg(A.Str, A.Len, Ok);
  return Ok ? E.InsertTyped(Text) : uint8_t(erBadArgument);
}

uint8_t DoEndSearch(TEkEditor& E) {
  TEkDocument& D = E.Doc();
  D.SpecialShown = false;
  D.ClearMarker(mkSpecialBeg);
  D.ClearMarker(mkSpecialEnd);
  return erOk;
}

uint8_t DoGetSyntaxLang(TEkEditor& E, const TGetByteArgs& A) {
  Put<uint8_t>(A.Result, E.Doc().SyntaxLang);
  return erOk;
}

uint8_t DoSetSyntaxLang(TEkEditor& E, const TByteArgs& A) {
  E.Doc().SyntaxLang = A.Value;
  E.Doc().RepaintAll = true;
  return erOk;
}

uint8_t DoUndo(TEkEditor& E) { return E.Undo(); }
uint8_t DoRedo(TEkEditor& E) { return E.Redo(); }

uint8_t DoOpenReadFile(TEkEditor&, const TFileArgs& A) {
  TEdFile F{};
  F.CharPos.LineNum = 1;
  Put(A.File, F);
  return erOk;
}

uint8_t DoCloseReadFile(TEkEditor&, const TFileArgs&) { return erOk; }

uint8_t DoGotoLineCol(TEkEditor& E, const TGotoLineColArgs& A) { return E.GotoLineCol(A.Pos, A.UnElide != 0); }

// Sets a block end at the cursor and shows the block.
template <uint32_t Marker>
uint8_t ExtendBlock(TEkEditor& E) {
  E.Doc().SetMarker(Marker, E.CursorPos());
  return SetBlockHidden(E.Doc(), false);
}
constexpr auto DoExtendBlockBeg = ExtendBlock<mkBlockBeg>, DoExtendBlockEnd = ExtendBlock<mkBlockEnd>;

uint8_t DoFreezeBuffer(TEkEditor& E) {
  E.Doc().BufferFrozen = true;
  E.Doc().RepaintAll = true;
  return erOk;
}

uint8_t DoUnfreezeBuffer(TEkEditor& E) {
  E.Doc().BufferFrozen = false;
  E.Doc().RepaintAll = true;
  return erOk;
}

uint8_t DoGetTabRack(TEkEditor& E, const TTabRackArgs& A) {
  Put(A.Rack, E.Doc().Rack);
  return erOk;
}

uint8_t DoSetTabRack(TEkEditor& E, const TTabRackArgs& A) {
  if (!A.Rack) return erBadArgument;
  TTabRack Rack;
  std::memcpy(&Rack, A.Rack, sizeof Rack);
  if (!ValidTabRack(Rack)) return erBadArgument;
  TEkDocument& D = E.Doc();
  D.Rack = Rack;
  ++D.LayoutGeneration;
  D.RepaintAll = true;
  return erOk;
}

uint8_t DoUpperCaseBlock(TEkEditor& E) { return E.ChangeCase(0); }
uint8_t DoLowerCaseBlock(TEkEditor& E) { return E.ChangeCase(1); }

uint8_t DoSetBlockType(TEkEditor& E, const TBlockTypeArgs& A) {
  if (A.BType > btNonInclusive) return erBadArgument;
  E.Doc().BlockType = A.BType;
  E.Doc().SendEvent(eeBlockChanged, 0, 0);
  return erOk;
}

uint8_t DoGetUndoLimit(TEkEditor& E, const TGetLimitArgs& A) {
  Put<uint32_t>(A.Limit, E.Doc().Text().History().Limit());
  return erOk;
}

uint8_t DoSetUndoLimit(TEkEditor& E, const TSetLimitArgs& A) {
  E.Doc().Text().History().SetLimit(A.Limit);
  return erOk;
}

uint8_t DoStartUndoGroup(TEkEditor& E) {
  E.Doc().Text().History().StartGroup();
  return erOk;
}

uint8_t DoAttachTrackTable(TEkEditor& E, const TAddTrackTableArgs& A) {
  return E.Doc().AttachTrackTable(A) ? erOk : erBadArgument;
}

uint8_t DoDetachTrackTable(TEkEditor& E, const TTrackTableArgs& A) {
  return E.Doc().DetachTrackTable(A.Table) ? erOk : erNotFound;
}

uint8_t DoGotoCharPos(TEkEditor& E, const TGotoCharPosArgs& A) { return E.GotoCharPos(A.Pos, A.UnElide != 0); }
uint8_t DoMarkOp(TEkEditor& E, const TMarkOpArgs& A) { return E.MarkOp(A.MarkOp); }
uint8_t DoSkip(TEkEditor& E, const TSkipArgs& A) { return E.Skip(A.Skip); }

uint8_t DoGetMarkerPos(TEkEditor& E, const TGetMarkerArgs& A) {
  TEkDocument& D = E.Doc();
  if (A.ID >= MaxMarkers) return erBadArgument;
  TCharPos Pos{0, 0};
  if (D.MarkerSet(A.ID)) Pos = D.ToCharPos(D.Marker(A.ID));
  Put(A.Pos, Pos);
  return erOk;
}

uint8_t DoSetMarkerPos(TEkEditor& E, const TSetMarkerArgs& A) { return E.SetMarkerPos(A.ID, A.Pos, false); }
uint8_t DoToggleCase(TEkEditor& E) { return E.ChangeCase(2); }

// A client's undo procedure: joined to the last change's group, or (Step) an undo step of its own.
template <bool Step>
uint8_t AddClientUndo(TEkEditor& E, const TClientUndoArgs& A) {
  if (!A.UndoRedoProc) return erBadArgument;
  TTextBuffer& T = E.Doc().Text();
  T.SetCursorForUndo(E.View()->Cursor);
  T.AddClientUndo(A.UndoRedoProc, A.Context, Step);
  return erOk;
}
constexpr auto DoAddClientUndoProc = AddClientUndo<false>, DoAddClientUndoStep = AddClientUndo<true>;

uint8_t DoGetBlockType(TEkEditor& E, const TGetByteArgs& A) {
  Put<uint8_t>(A.Result, E.Doc().BlockType);
  return erOk;
}

uint8_t DoGetLineFlags(TEkEditor& E, const TGetLineFlagsArgs& A) {
  if (!E.LineInText(A.Line)) return erRange;
  Put<uint32_t>(A.Flags, E.Doc().LineFlags(static_cast<uint64_t>(A.Line - 1)));
  return erOk;
}

uint8_t DoSetLineFlags(TEkEditor& E, const TSetLineFlagsArgs& A) {
  if (!E.LineInText(A.Line)) return erRange;
  E.Doc().SetLineFlags(static_cast<uint64_t>(A.Line - 1), A.Flags);
  return erOk;
}

uint8_t DoUserMarkToInternalMark(TEkEditor&, const TUserMarkArgs& A) {
  if (A.MarkIndex > 9) return erBadArgument;
  Put<uint32_t>(A.Result, mkBookmark0 + A.MarkIndex);
  return erOk;
}

uint8_t DoRepaintLine(TEkEditor& E, const TLineArgs& A) {
  if (!E.LineInText(A.Line)) return erRange;
  E.Doc().RepaintLines.push_back(static_cast<uint64_t>(A.Line - 1));
  return erOk;
}

uint8_t DoGetLineLength(TEkEditor& E, const TLineLengthArgs& A) {
  if (!E.LineInText(A.InLin)) return erRange;
  std::string Text = E.Doc().LineText(static_cast<uint64_t>(A.InLin - 1));
  Put<int32_t>(A.length, static_cast<int32_t>(std::min<size_t>(Utf8CountChars(Text, Text.size()), INT32_MAX)));
  return erOk;
}

uint8_t DoSearchString(TEkEditor& E, const TSearchStringArgs& A) { return E.SearchString(A); }

uint8_t DoDropMatch(TEkEditor& E) {
  E.Doc().SpecialShown = false;
  return erOk;
}

uint8_t DoQuery(TEkEditor& E, const TQueryArgs& A) {
  bool Known;
  uint16_t Answer = E.Answer(A.Query, Known);
  if (!Known) return erBadArgument;
  if (!A.Result) return Answer == A.Value ? erOk : erFailed;
  Put<uint8_t>(A.Result, Answer == A.Value);
  return erOk;
}

uint8_t DoSetUndoGroup(TEkEditor& E, const TUndoGroupArgs& A) {
  if (A.Group > ugGroupDefault) return erBadArgument;
  E.Doc().Text().History().SetKind(static_cast<TUndoGroup>(A.Group));
  return erOk;
}

uint8_t DoGetMarkedRange(TEkEditor& E, const TGetMarkedRangeArgs& A) { return E.GetMarkedRange(A); }
uint8_t DoSetMarkedRange(TEkEditor& E, const TSetMarkedRangeArgs& A) { return E.SetMarkedRange(A); }
uint8_t DoConvertPos(TEkEditor& E, const TConvertPosArgs& A) { return E.ConvertPos(A); }

// The folding commands read their record again from its bytes.
template <TEkOp Op, class TArgs>
uint8_t Elision(TEkEditor& E, const TArgs& A) {
  return ExecuteElision(E, Op, reinterpret_cast<const uint8_t*>(&A));
}
constexpr auto DoElideLines = Elision<ekElideLines, TElideLinesArgs>;
constexpr auto DoElisionBlock = Elision<ekElisionBlock, TElisionBlockArgs>;
constexpr auto DoElisionArray = Elision<ekElisionArray, TElisionArrayArgs>;
constexpr auto DoElisionQuery = Elision<ekElisionQuery, TElisionLineQueryArgs>;

uint8_t DoGetLineBreakStyle(TEkEditor& E, const TGetLineBreakArgs& A) {
  if (!E.LineInText(A.Line)) return erRange;
  Put<uint8_t>(A.Style, E.Doc().Text().Lines().BreakStyle(static_cast<uint64_t>(A.Line - 1)));
  return erOk;
}

uint8_t DoSetLineBreakStyle(TEkEditor& E, const TSetLineBreakArgs& A) {
  if (!E.LineInText(A.Line)) return erRange;
  return E.SetLineBreak(static_cast<uint64_t>(A.Line - 1), A.Style);
}

uint8_t DoConvertCharPosToPos(TEkEditor& E, const TCharPosToPosArgs& A) {
  if (!E.LineInText(A.chPos.LineNum)) return erRange;
  uint64_t Offset = E.Doc().Text().OffsetOf(E.Doc().FromCharPos(A.chPos));
  if (Offset > INT32_MAX) return erTooLong;
  Put<int32_t>(A.Result, static_cast<int32_t>(Offset));
  return erOk;
}

uint8_t DoSetMarkerPosEx(TEkEditor& E, const TSetMarkerExArgs& A) {
  return E.SetMarkerPos(A.ID, A.Pos, A.ScreenPos != 0);
}

uint8_t DoGetUndoGroup(TEkEditor& E, const TGetUndoGroupArgs& A) {
  TUndoHistory& History = E.Doc().Text().History();
  Put<uint8_t>(A.Group, History.Kind());
  Put<uint8_t>(A.Started, History.Started());
  return erOk;
}

uint8_t DoClearLineModifiedFlags(TEkEditor& E) {
  E.Doc().ClearFlagBits(lfUnsaved);
  E.Doc().RepaintAll = true;
  return erOk;
}

uint8_t DoHideUnhideBlock(TEkEditor& E, const THideUnhideArgs& A) {
  TEkDocument& D = E.Doc();
  if (A.Special) D.SpecialShown = A.Show != 0;
  else D.BlockHidden = A.Show == 0;
  D.SendEvent(eeBlockChanged, 0, 0);
  return erOk;
}

uint8_t DoBackTab(TEkEditor& E) { return E.BackTab(); }
uint8_t DoForeTab(TEkEditor& E) { return E.ForeTab(); }

uint8_t DoSetModes(TEkEditor& E, const TModesArgs& A) {
  TEditorBuffer* Rec = E.Doc().Rec();
  Rec->EdModes = (Rec->EdModes & ~A.Mask) | (A.Value & A.Mask);
  return erOk;
}

uint8_t DoToggleModes(TEkEditor& E, const TModesArgs& A) {
  E.Doc().Rec()->EdModes ^= A.Mask;
  return erOk;
}

uint8_t DoMatchPair(TEkEditor& E, const TMatchPairArgs& A) { return E.MatchPair(A.Forward != 0); }
uint8_t DoIndentBlock(TEkEditor& E, const TIndentArgs& A) { return E.IndentBlock(A.Outdent != 0, A.Columns); }

uint8_t DoGetLineText(TEkEditor& E, const TGetLineTextArgs& A) {
  if (!E.LineInText(A.Line)) return erRange;
  if (!A.Buffer && A.Size > 0) return erBadArgument;
  std::string Text = E.Doc().LineText(static_cast<uint64_t>(A.Line - 1));
  size_t N = std::min<size_t>(Text.size(), A.Size);
  if (N) std::memcpy(A.Buffer, Text.data(), N);
  Put<uint32_t>(A.Length, static_cast<uint32_t>(std::min<size_t>(Text.size(), UINT32_MAX)));
  return Text.size() > A.Size ? erTooLong : erOk;
}

uint8_t DoSetMarkerOffset(TEkEditor& E, const TSetMarkerOffsetArgs& A) {
  TEkDocument& D = E.Doc();
  if (A.ID >= MaxMarkers) return erBadArgument;
  if (A.Pos > D.Text().Length()) return erRange;
  D.SetMarker(A.ID, D.Text().PosOf(A.Pos));
  if (A.ID == mkBlockBeg || A.ID == mkBlockEnd) D.SendEvent(eeBlockChanged, 0, 0);
  return erOk;
}

uint8_t DoInsertAt(TEkEditor& E, const TInsertAtArgs& A) {
  bool Ok;
  std::string_view Text = StringArg(A.Str, A.Len, Ok);
  if (!Ok) return erBadArgument;
  if (A.Pos > E.Doc().Text().Length()) return erRange;
  return E.InsertAt(A.Pos, Text);
}

uint8_t DoReplaceAll(TEkEditor& E, const TReplaceAllArgs& A) {
  bool PatternOk, ReplaceOk;
  std::string_view Pattern = StringArg(A.Pattern, A.PatternLen, PatternOk);
  std::string_view Replace = StringArg(A.Replace, A.ReplaceLen, ReplaceOk);
  if (!PatternOk || !ReplaceOk) return erBadArgument;
  return E.ReplaceAllMatches(A.Flags, Pattern, Replace, A.Count);
}

uint8_t DoSetBlockIndent(TEkEditor& E, const TBlockIndentArgs& A) {
  if (A.Columns == 0) return erBadArgument;
  E.Doc().BlockIndent = A.Columns;
  return erOk;
}

uint8_t DoGetSearchError(TEkEditor& E, const TSearchErrorArgs& A) {
  if (!A.Buffer && A.Size > 0) return erBadArgument;
  const std::string& Text = E.SearchError();
  const size_t N = std::min<size_t>(Text.size(), A.Size);
  if (N) std::memcpy(A.Buffer, Text.data(), N);
  Put<uint32_t>(A.Length, static_cast<uint32_t>(Text.size()));
  Put<int32_t>(A.Offset, Text.empty() ? -1 : static_cast<int32_t>(E.SearchErrorOffset()));
  return Text.size() > A.Size ? erTooLong : erOk;
}

uint8_t DoReadSlice(TEkEditor& E, const TReadSliceArgs& A) {
  if (!A.Buffer && A.Count > 0) return erBadArgument;
  const TTextBuffer& Text = E.Doc().Text();
  const uint64_t Length = Text.Length();
  if (A.Pos > Length) return erRange;
  uint64_t Copied = 0;
  Text.Tree().ForEachChunk(A.Pos, std::min<uint64_t>(A.Count, Length - A.Pos), [&](const char* C, size_t K) {
    std::memcpy(A.Buffer + Copied, C, K);
    Copied += K;
    return true;
  });
  Put<uint32_t>(A.Read, static_cast<uint32_t>(Copied));
  Put<uint64_t>(A.Changes, Text.ChangeCount());
  Put<uint64_t>(A.Length, Length);
  return erOk;
}

// ---------------------------------------------------------------------------------------------
// The dispatch table: the handler of every listed code, nil for a code the list does not have.

using THandler = uint8_t (*)(TEkEditor& E, const uint8_t* Args);

// Copies the operation's record out of the script (records are packed) and calls its handler.
template <class TArgs, auto Handler>
uint8_t Unpack(TEkEditor& E, const uint8_t* Args) {
  if constexpr (std::is_empty_v<TArgs>) {
    return Handler(E);
  } else {
    return Handler(E, ArgsOf<TArgs>(Args));
  }
}

constexpr std::array<THandler, 256> MakeHandlers() {
  std::array<THandler, 256> Table{};
#define EK_OP(Name, Code, Args) Table[Code] = &Unpack<Args, Do##Name>;
#include "editor/kernel/ekops.def"
#undef EK_OP
  return Table;
}

constexpr std::array<THandler, 256> Handlers = MakeHandlers();

class TEvaluator {
 public:
  TEvaluator(TEkEditor& Editor, uint8_t* Script, uint32_t Length) : E(Editor), S(Script), Len(Length) {}

  uint16_t Run() {
    uint32_t At = 0;
    uint16_t Status = 0;
    RunCommands(At, -1, Status, 0);
    return Status;
  }

 private:
  enum TFlow { flNext, flEnd, flStop };

  // Parses the header at At: the operation and its argument size; false (Status set) when the
  // script is cut short or the operation unknown.
  bool Header(uint32_t At, uint8_t& Op, uint32_t& Size, uint16_t& Status) {
    if (At >= Len || Len - At < sizeof(TEdCmd)) {
      Status = erTruncated;
      return false;
    }
    Op = S[At];
    int Arg = EkArgumentSize(Op);
    if (Arg < 0) {
      S[At + 1] = erUnknownOp;
      Status = erUnknownOp;
      return false;
    }
    Size = static_cast<uint32_t>(Arg);
    if (Len - At - sizeof(TEdCmd) < Size) {
      S[At + 1] = erTruncated;
      Status = erTruncated;
      return false;
    }
    return true;
  }

  // Runs Count commands (-1: until an end) from At; an If with its branches counts as one.
  TFlow RunCommands(uint32_t& At, int Count, uint16_t& Status, int Depth) {
    for (int Done = 0; Count < 0 || Done < Count; ++Done) {
      uint8_t Op;
      uint32_t Size;
      if (!Header(At, Op, Size, Status)) return flStop;
      uint32_t Here = At;
      At += sizeof(TEdCmd) + Size;
      if (Op == ekIf) {
        TFlow F = RunIf(Here, At, Status, Depth);
        if (F != flNext) return F;
        continue;
      }
      if (Op == ekEnd || Op == ekEndScript || Op == ekEndMacroStep) {
        S[Here + 1] = 0;
        if (Op == ekEndMacroStep) E.Doc().Text().History().EndStep();
        return flEnd;
      }
      uint8_t Result;
      try {
        Result = Execute(Op, S + Here + sizeof(TEdCmd));
      } catch (const TRangeError&) {
        Result = erRange;
      }
      S[Here + 1] = Result;
      if (Result != erOk) {
        Status = Result;
        return flStop;
      }
    }
    return flNext;
  }

  // Steps over Count commands without running them.
  bool SkipCommands(uint32_t& At, int Count, uint16_t& Status, int Depth) {
    for (int Done = 0; Done < Count; ++Done) {
      uint8_t Op;
      uint32_t Size;
      if (!Header(At, Op, Size, Status)) return false;
      uint32_t Here = At;
      At += sizeof(TEdCmd) + Size;
      if (Op == ekIf) {
        if (Depth >= MaxIfDepth) {
          S[Here + 1] = erBadArgument;
          Status = erBadArgument;
          return false;
        }
        TIfArgs A = ArgsOf<TIfArgs>(S + Here + sizeof(TEdCmd));
        if (!SkipCommands(At, A.NOpsThen + A.NOpsElse, Status, Depth + 1)) return false;
      }
    }
    return true;
  }

  TFlow RunIf(uint32_t Here, uint32_t& At, uint16_t& Status, int Depth) {
    if (Depth >= MaxIfDepth) {
      S[Here + 1] = erBadArgument;
      Status = erBadArgument;
      return flStop;
    }
    TIfArgs A = ArgsOf<TIfArgs>(S + Here + sizeof(TEdCmd));
    bool Known;
    uint16_t Answer = E.Answer(A.Query, Known);
    if (!Known) {
      S[Here + 1] = erBadArgument;
      Status = erBadArgument;
      return flStop;
    }
    S[Here + 1] = 0;
    if (Answer == A.Result) {
      TFlow F = RunCommands(At, A.NOpsThen, Status, Depth + 1);
      if (F != flNext) return F;
      return SkipCommands(At, A.NOpsElse, Status, Depth + 1) ? flNext : flStop;
    }
    if (!SkipCommands(At, A.NOpsThen, Status, Depth + 1)) return flStop;
    return RunCommands(At, A.NOpsElse, Status, Depth + 1);
  }

  uint8_t Execute(uint8_t Op, const uint8_t* P) {
    THandler Handler = Handlers[Op];
    return Handler ? Handler(E, P) : uint8_t(erUnknownOp);
  }

  TEkEditor& E;
  uint8_t* S;
  uint32_t Len;
};

}  // namespace

uint16_t Evaluate(TEkEditor& Editor, uint8_t* Script, uint32_t Length) {
  TEvaluator Ev(Editor, Script, Length);
  TTextBuffer& T = Editor.Doc().Text();
  T.SetRecordUndo(!(Editor.Doc().Rec()->EdModes & emNoUndo));
  T.History().SetGroupLikeChanges((Editor.Doc().Rec()->EdModes & emGroupUndo) != 0);
  return Ev.Run();
}

}  // namespace nxs::ek
