// The script evaluator: walks a command script, checks every header and argument record
// against the operation table, runs conditionals, and hands each command to the view's
// editor. A command that fails stops the script; its eResult is the status.
#include "editor/kernel/ekeval.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekeditor.h"
#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

namespace {

constexpr int MaxIfDepth = 32;


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

  uint8_t Execute(uint8_t Op, const uint8_t* P);

  TEkEditor& E;
  uint8_t* S;
  uint32_t Len;
};

uint8_t TEvaluator::Execute(uint8_t Op, const uint8_t* P) {
  TEkDocument& D = E.Doc();
  TEkView* V = E.View();
  TTextBuffer& T = D.Text();
  bool Ok = true;
  auto LineOk = [&](int32_t Line) { return E.LineInText(Line); };
  // Every operation has its case (no default): the compiler names one that is not handled.
  switch (static_cast<TEkOp>(Op)) {
    case ekEnd:
    case ekEndScript:
    case ekEndMacroStep:
    case ekIf:
      return erInternal;  // the walker handles ends and conditionals before they get here
    case ekStartPlayback:
      T.History().BeginPlayback();
      D.Playback = true;
      return erOk;
    case ekStopPlayback:
      T.History().EndPlayback();
      D.Playback = false;
      return erOk;
    case ekReadBuffer: return E.ReadBuffer(ArgsOf<TReadBufferArgs>(P));
    case ekInsertFromReader: return E.InsertFromReader(ArgsOf<TReadBufferArgs>(P));
    case ekWriteBuffer: return E.WriteBuffer(ArgsOf<TWriteBufferArgs>(P));
    case ekPaintScreen:
      D.RepaintAll = true;
      return erOk;
    case ekSearch: {
      auto A = ArgsOf<TSearchArgs>(P);
      std::string_view Pat = StringArg(A.Pattern, A.PatternLen, Ok);
      if (!Ok) return erBadArgument;
      return E.Search(A.Flags, Pat, A.State, false);
    }
    case ekSearchAgain:
      return E.Search(0, {}, ArgsOf<TSearchAgainArgs>(P).State, true);
    case ekResetFrozenLines:
    case ekFreezeLineNumbers:
      D.FreezeLines();
      return erOk;
    case ekClearBuffer:
      T.Clear();
      V->Cursor = TEdPos{1, 1};
      V->WinTopLine = 1;
      return erOk;
    case ekGotoFrozenLine: {
      int64_t Real = D.FrozenToReal(static_cast<int64_t>(ArgsOf<TLineArgs>(P).Line) - 1);
      if (Real < 0 || static_cast<uint64_t>(Real) >= D.LineCount()) return erNotFound;
      return E.GotoLineCol(TEdPos{1, static_cast<int32_t>(Real + 1)}, true);
    }
    case ekRealToFrozen: {
      auto A = ArgsOf<TLineResultArgs>(P);
      if (!LineOk(A.Line)) return erRange;
      int64_t F = D.RealToFrozen(A.Line - 1);
      Put<int32_t>(A.Result, static_cast<int32_t>(F < 0 ? 0 : F + 1));
      return erOk;
    }
    case ekCursorRight: case ekCursorLeft: case ekCursorCharRight: case ekCursorCharLeft:
    case ekCursorUp: case ekCursorDown: case ekScrollScreenUp: case ekScrollScreenDown:
    case ekLeftOfLine: case ekRightOfLine: case ekTopOfScreen: case ekBottomOfScreen:
    case ekHomeCursor: case ekEndCursor: case ekCursorSwitchedRight: case ekCursorSwitchedLeft:
    case ekPageUp: case ekPageDown: case ekCursorLineToWindowTop: case ekCursorLineToWindowBottom:
    case ekLeftOfScreen: case ekRightOfScreen: case ekCenterLineInWindow: case ekFirstNonBlank:
    case ekMoveToRightMargin:
      return E.Motion(Op);
    case ekDeleteChar: return E.DeleteChar();
    case ekBackspaceDelete: return E.Backspace();
    case ekHighlightBlock:
      D.BlockHidden = false;
      D.SendEvent(eeBlockChanged, 0, 0);
      return erOk;
    case ekHideBlock:
      D.BlockHidden = true;
      D.SendEvent(eeBlockChanged, 0, 0);
      return erOk;
    case ekToggleHideBlock:
      D.BlockHidden = !D.BlockHidden;
      D.SendEvent(eeBlockChanged, 0, 0);
      return erOk;
    case ekCopyBlock: return E.CopyBlock(false);
    case ekMoveBlock: return E.CopyBlock(true);
    case ekDeleteBlock: return E.DeleteBlock(ArgsOf<TDeleteBlockArgs>(P).TempBlock != 0);
    case ekSwapPrevPos: {
      TTextPos Here = E.CursorPos();
      if (!D.MarkerSet(mkPrevPos)) return erNotFound;
      E.MoveTo(D.Marker(mkPrevPos));
      D.SetMarker(mkPrevPos, Here);
      return erOk;
    }
    case ekMoveToMark: {
      uint16_t N = ArgsOf<TMarkArgs>(P).MarkIndex;
      if (N > 9) return erBadArgument;
      if (!D.MarkerSet(mkBookmark0 + N)) return erNotFound;
      D.SetMarker(mkPrevPos, E.CursorPos());
      TTextPos Target = D.Marker(mkBookmark0 + N);
      D.Elisions().OpenAround(Target.Line);
      E.MoveTo(Target);
      return erOk;
    }
    case ekSetMark: {
      uint16_t N = ArgsOf<TMarkArgs>(P).MarkIndex;
      if (N > 9) return erBadArgument;
      D.SetMarker(mkBookmark0 + N, E.CursorPos());
      return erOk;
    }
    case ekInsertLiteral: {
      auto A = ArgsOf<TStringArgs>(P);
      std::string_view Text = StringArg(A.Str, A.Len, Ok);
      return Ok ? E.InsertLiteral(Text) : uint8_t(erBadArgument);
    }
    case ekInsertString: {
      auto A = ArgsOf<TStringArgs>(P);
      std::string_view Text = StringArg(A.Str, A.Len, Ok);
      return Ok ? E.InsertTyped(Text) : uint8_t(erBadArgument);
    }
    case ekOpenReadFile: {
      TEdFile F{};
      F.CharPos.LineNum = 1;
      Put(ArgsOf<TFileArgs>(P).File, F);
      return erOk;
    }
    case ekCloseReadFile: return erOk;
    case ekSeekTo: return E.SeekTo(ArgsOf<TSeekArgs>(P));
    case ekReadChars: return E.ReadChars(ArgsOf<TReadCharsArgs>(P));
    case ekTotalLines:
      Put<int32_t>(ArgsOf<TCountArgs>(P).Count, D.Rec()->NLines = static_cast<int32_t>(std::min<uint64_t>(D.LineCount(), INT32_MAX)));
      return erOk;
    case ekFixCursorPos: E.FixCursor(); return erOk;
    case ekFixScreenPos: E.FixScreen(false); return erOk;
    case ekCenterFixScreenPos: E.FixScreen(true); return erOk;
    case ekReplace: {
      auto A = ArgsOf<TReplaceArgs>(P);
      std::string_view Text = StringArg(A.Replace, A.ReplaceLen, Ok);
      return Ok ? E.Replace(Text, A.State) : uint8_t(erBadArgument);
    }
    case ekReplaceAll: {
      auto A = ArgsOf<TReplaceAllArgs>(P);
      bool Ok2;
      std::string_view Pat = StringArg(A.Pattern, A.PatternLen, Ok);
      std::string_view Rep = StringArg(A.Replace, A.ReplaceLen, Ok2);
      if (!Ok || !Ok2) return erBadArgument;
      return E.ReplaceAll(A.Flags, Pat, Rep, A.Count);
    }
    case ekEndSearch:
    case ekDropMatch:
      D.SpecialShown = false;
      if (Op == ekEndSearch) {
        D.ClearMarker(mkSpecialBeg);
        D.ClearMarker(mkSpecialEnd);
      }
      return erOk;
    case ekGetSyntaxLang: Put<uint8_t>(ArgsOf<TGetByteArgs>(P).Result, D.SyntaxLang); return erOk;
    case ekSetSyntaxLang:
      D.SyntaxLang = ArgsOf<TByteArgs>(P).Value;
      D.RepaintAll = true;
      return erOk;
    case ekUndo: return E.Undo();
    case ekRedo: return E.Redo();
    case ekGotoLineCol: {
      auto A = ArgsOf<TGotoLineColArgs>(P);
      return E.GotoLineCol(A.Pos, A.UnElide != 0);
    }
    case ekExtendBlockBeg:
    case ekExtendBlockEnd:
      D.SetMarker(Op == ekExtendBlockBeg ? mkBlockBeg : mkBlockEnd, E.CursorPos());
      D.BlockHidden = false;
      D.SendEvent(eeBlockChanged, 0, 0);
      return erOk;
    case ekFreezeBuffer: D.BufferFrozen = true; D.RepaintAll = true; return erOk;
    case ekUnfreezeBuffer: D.BufferFrozen = false; D.RepaintAll = true; return erOk;
    case ekGetTabRack: Put(ArgsOf<TTabRackArgs>(P).Rack, D.Rack); return erOk;
    case ekSetTabRack: {
      TTabRack* R = ArgsOf<TTabRackArgs>(P).Rack;
      if (!R) return erBadArgument;
      TTabRack Rack;
      std::memcpy(&Rack, R, sizeof Rack);
      if (!ValidTabRack(Rack)) return erBadArgument;
      D.Rack = Rack;
      ++D.LayoutGeneration;
      D.RepaintAll = true;
      return erOk;
    }
    case ekUpperCaseBlock: return E.ChangeCase(0);
    case ekLowerCaseBlock: return E.ChangeCase(1);
    case ekToggleCase: return E.ChangeCase(2);
    case ekSetBlockType: {
      uint8_t B = ArgsOf<TBlockTypeArgs>(P).BType;
      if (B > btNonInclusive) return erBadArgument;
      D.BlockType = B;
      D.SendEvent(eeBlockChanged, 0, 0);
      return erOk;
    }
    case ekGetBlockType: Put<uint8_t>(ArgsOf<TGetByteArgs>(P).Result, D.BlockType); return erOk;
    case ekGetUndoLimit: Put<uint32_t>(ArgsOf<TGetLimitArgs>(P).Limit, T.History().Limit()); return erOk;
    case ekSetUndoLimit: T.History().SetLimit(ArgsOf<TSetLimitArgs>(P).Limit); return erOk;
    case ekStartUndoGroup: T.History().StartGroup(); return erOk;
    case ekSetUndoGroup: {
      uint8_t G = ArgsOf<TUndoGroupArgs>(P).Group;
      if (G > ugGroupDefault) return erBadArgument;
      T.History().SetKind(static_cast<TUndoGroup>(G));
      return erOk;
    }
    case ekGetUndoGroup: {
      auto A = ArgsOf<TGetUndoGroupArgs>(P);
      Put<uint8_t>(A.Group, T.History().Kind());
      Put<uint8_t>(A.Started, T.History().Started());
      return erOk;
    }
    case ekAttachTrackTable:
      return D.AttachTrackTable(ArgsOf<TAddTrackTableArgs>(P)) ? erOk : erBadArgument;
    case ekDetachTrackTable:
      return D.DetachTrackTable(ArgsOf<TTrackTableArgs>(P).Table) ? erOk : erNotFound;
    case ekGotoCharPos: {
      auto A = ArgsOf<TGotoCharPosArgs>(P);
      return E.GotoCharPos(A.Pos, A.UnElide != 0);
    }
    case ekMarkOp: return E.MarkOp(ArgsOf<TMarkOpArgs>(P).MarkOp);
    case ekSkip: return E.Skip(ArgsOf<TSkipArgs>(P).Skip);
    case ekGetMarkerPos: {
      auto A = ArgsOf<TGetMarkerArgs>(P);
      if (A.ID >= MaxMarkers) return erBadArgument;
      TCharPos Pos{0, 0};
      if (D.MarkerSet(A.ID)) Pos = D.ToCharPos(D.Marker(A.ID));
      Put(A.Pos, Pos);
      return erOk;
    }
    case ekSetMarkerPos: {
      auto A = ArgsOf<TSetMarkerArgs>(P);
      return E.SetMarkerPos(A.ID, A.Pos, false);
    }
    case ekSetMarkerPosEx: {
      auto A = ArgsOf<TSetMarkerExArgs>(P);
      return E.SetMarkerPos(A.ID, A.Pos, A.ScreenPos != 0);
    }
    case ekSetMarkerOffset: {
      auto A = ArgsOf<TSetMarkerOffsetArgs>(P);
      if (A.ID >= MaxMarkers) return erBadArgument;
      if (A.Pos > T.Length()) return erRange;
      D.SetMarker(A.ID, T.PosOf(A.Pos));
      if (A.ID == mkBlockBeg || A.ID == mkBlockEnd) D.SendEvent(eeBlockChanged, 0, 0);
      return erOk;
    }
    case ekInsertAt: {
      auto A = ArgsOf<TInsertAtArgs>(P);
      std::string_view Text = StringArg(A.Str, A.Len, Ok);
      if (!Ok) return erBadArgument;
      if (A.Pos > T.Length()) return erRange;
      return E.InsertAt(A.Pos, Text);
    }
    case ekAddClientUndoProc:
    case ekAddClientUndoStep: {
      auto A = ArgsOf<TClientUndoArgs>(P);
      if (!A.UndoRedoProc) return erBadArgument;
      T.SetCursorForUndo(V->Cursor);
      T.AddClientUndo(A.UndoRedoProc, A.Context, Op == ekAddClientUndoStep);
      return erOk;
    }
    case ekGetLineFlags: {
      auto A = ArgsOf<TGetLineFlagsArgs>(P);
      if (!LineOk(A.Line)) return erRange;
      Put<uint32_t>(A.Flags, D.LineFlags(static_cast<uint64_t>(A.Line - 1)));
      return erOk;
    }
    case ekSetLineFlags: {
      auto A = ArgsOf<TSetLineFlagsArgs>(P);
      if (!LineOk(A.Line)) return erRange;
      D.SetLineFlags(static_cast<uint64_t>(A.Line - 1), A.Flags);
      return erOk;
    }
    case ekUserMarkToInternalMark: {
      auto A = ArgsOf<TUserMarkArgs>(P);
      if (A.MarkIndex > 9) return erBadArgument;
      Put<uint32_t>(A.Result, mkBookmark0 + A.MarkIndex);
      return erOk;
    }
    case ekRepaintLine: {
      int32_t Line = ArgsOf<TLineArgs>(P).Line;
      if (!LineOk(Line)) return erRange;
      D.RepaintLines.push_back(static_cast<uint64_t>(Line - 1));
      return erOk;
    }
    case ekGetLineLength: {
      auto A = ArgsOf<TLineLengthArgs>(P);
      if (!LineOk(A.InLin)) return erRange;
      std::string Text = D.LineText(static_cast<uint64_t>(A.InLin - 1));
      Put<int32_t>(A.length, static_cast<int32_t>(std::min<size_t>(Utf8CountChars(Text, Text.size()), INT32_MAX)));
      return erOk;
    }
    case ekSearchString: return E.SearchString(ArgsOf<TSearchStringArgs>(P));
    case ekQuery: {
      auto A = ArgsOf<TQueryArgs>(P);
      bool Known;
      uint16_t Answer = E.Answer(A.Query, Known);
      if (!Known) return erBadArgument;
      if (!A.Result) return Answer == A.Value ? erOk : erFailed;
      Put<uint8_t>(A.Result, Answer == A.Value);
      return erOk;
    }
    case ekGetMarkedRange: return E.GetMarkedRange(ArgsOf<TGetMarkedRangeArgs>(P));
    case ekSetMarkedRange: return E.SetMarkedRange(ArgsOf<TSetMarkedRangeArgs>(P));
    case ekHideUnhideBlock: {
      auto A = ArgsOf<THideUnhideArgs>(P);
      if (A.Special) D.SpecialShown = A.Show != 0;
      else D.BlockHidden = A.Show == 0;
      D.SendEvent(eeBlockChanged, 0, 0);
      return erOk;
    }
    case ekConvertPos: return E.ConvertPos(ArgsOf<TConvertPosArgs>(P));
    case ekConvertCharPosToPos: {
      auto A = ArgsOf<TCharPosToPosArgs>(P);
      if (!LineOk(A.chPos.LineNum)) return erRange;
      uint64_t Offset = T.OffsetOf(D.FromCharPos(A.chPos));
      if (Offset > INT32_MAX) return erTooLong;
      Put<int32_t>(A.Result, static_cast<int32_t>(Offset));
      return erOk;
    }
    case ekElideLines:
    case ekElisionBlock:
    case ekElisionArray:
    case ekElisionQuery:
      return ExecuteElision(E, Op, P);
    case ekGetLineBreakStyle: {
      auto A = ArgsOf<TGetLineBreakArgs>(P);
      if (!LineOk(A.Line)) return erRange;
      Put<uint8_t>(A.Style, T.Lines().BreakStyle(static_cast<uint64_t>(A.Line - 1)));
      return erOk;
    }
    case ekSetLineBreakStyle: {
      auto A = ArgsOf<TSetLineBreakArgs>(P);
      if (!LineOk(A.Line)) return erRange;
      return E.SetLineBreak(static_cast<uint64_t>(A.Line - 1), A.Style);
    }
    case ekClearLineModifiedFlags:
      D.ClearFlagBits(lfUnsaved);
      D.RepaintAll = true;
      return erOk;
    case ekBackTab: return E.BackTab();
    case ekForeTab: return E.ForeTab();
    case ekSetModes: {
      auto A = ArgsOf<TModesArgs>(P);
      D.Rec()->EdModes = (D.Rec()->EdModes & ~A.Mask) | (A.Value & A.Mask);
      return erOk;
    }
    case ekToggleModes:
      D.Rec()->EdModes ^= ArgsOf<TModesArgs>(P).Mask;
      return erOk;
    case ekMatchPair: return E.MatchPair(ArgsOf<TMatchPairArgs>(P).Forward != 0);
    case ekIndentBlock: {
      auto A = ArgsOf<TIndentArgs>(P);
      return E.IndentBlock(A.Outdent != 0, A.Columns);
    }
    case ekSetBlockIndent: {
      uint16_t N = ArgsOf<TBlockIndentArgs>(P).Columns;
      if (N == 0) return erBadArgument;
      D.BlockIndent = N;
      return erOk;
    }
    case ekGetLineText: {
      auto A = ArgsOf<TGetLineTextArgs>(P);
      if (!LineOk(A.Line)) return erRange;
      if (!A.Buffer && A.Size > 0) return erBadArgument;
      std::string Text = D.LineText(static_cast<uint64_t>(A.Line - 1));
      size_t N = std::min<size_t>(Text.size(), A.Size);
      if (N) std::memcpy(A.Buffer, Text.data(), N);
      Put<uint32_t>(A.Length, static_cast<uint32_t>(std::min<size_t>(Text.size(), UINT32_MAX)));
      return Text.size() > A.Size ? erTooLong : erOk;
    }
  }
  return erUnknownOp;
}

}  // namespace

uint16_t Evaluate(TEkEditor& Editor, uint8_t* Script, uint32_t Length) {
  TEvaluator Ev(Editor, Script, Length);
  TTextBuffer& T = Editor.Doc().Text();
  T.SetRecordUndo(!(Editor.Doc().Rec()->EdModes & emNoUndo));
  T.History().SetGroupLikeChanges((Editor.Doc().Rec()->EdModes & emGroupUndo) != 0);
  return Ev.Run();
}

}  // namespace nxs::ek
