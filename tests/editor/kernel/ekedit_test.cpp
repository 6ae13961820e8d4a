// Editing through scripts: exact round trips, typing, deleting, undo groups, blocks, marks,
// track tables and line flags.
#include <gtest/gtest.h>

#include <random>

#include "editor/kernel/ekfixture.h"

namespace nxs::ektest {
namespace {

std::string MixedText() {
  std::string T = "first\r\nsecond\nthird\rtab\there\r\n";
  T += "wide \xE6\x97\xA5\xE6\x9C\xAC and e\xCC\x81 combining\n";  // CJK, e + combining acute
  T += std::string(100000, 'x') + "\r\n";
  T += "last line without break";
  return T;
}

TEST(KernelEdit, MixedFileSurvivesEditsSaveAndFullUndo) {
  TKernelView K;
  const std::string Original = MixedText();
  K.Load(Original, 4093);  // a reader that hands out odd-sized pieces
  EXPECT_EQ(K.Save(), Original);
  EXPECT_EQ(+K.Buffer().NLines, 7);
  EXPECT_EQ(+K.Buffer().ModifyFlags, 0);

  // Edits at many places, each its own undo step.
  std::mt19937 Rng(3);
  for (int I = 0; I < 200; ++I) {
    int Line = 1 + static_cast<int>(Rng() % 7);
    K.Goto(Line, 1 + static_cast<int>(Rng() % 30));
    switch (Rng() % 4) {
      case 0: K.Type("ab"); break;
      case 1: K.Run(ekDeleteChar); break;
      case 2: K.Run(ekBackspaceDelete); break;
      default: K.Type("\r"); break;
    }
  }
  EXPECT_NE(K.Save(), Original);
  EXPECT_TRUE(K.Buffer().ModifyFlags & 1);
  while (K.Run(ekUndo) == 0) {}
  EXPECT_EQ(K.Save(), Original);
  // And all the way forward again gives the edited text back.
  std::string Before = K.Save();
  int Redone = 0;
  while (K.Run(ekRedo) == 0) ++Redone;
  EXPECT_GT(Redone, 0);
  while (K.Run(ekUndo) == 0) {}
  EXPECT_EQ(K.Save(), Original);
}

TEST(KernelEdit, EachLineKeepsItsBreakAndNewBreaksFollowTheFile) {
  TKernelView K;
  K.Load("a\r\nb\nc");
  uint8_t Style = 0;
  EXPECT_EQ(K.Run(ekGetLineBreakStyle, TGetLineBreakArgs{1, &Style}), 0);
  EXPECT_EQ(Style, lbsCRLF);
  EXPECT_EQ(K.Run(ekGetLineBreakStyle, TGetLineBreakArgs{2, &Style}), 0);
  EXPECT_EQ(Style, lbsLF);
  K.Goto(3, 2);
  K.Type("\rd");  // the file's first break is CR LF
  EXPECT_EQ(K.Save(), "a\r\nb\nc\r\nd");
  EXPECT_EQ(K.Save(false), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(K.Run(ekSetLineBreakStyle, TSetLineBreakArgs{2, lbsCR}), 0);
  EXPECT_EQ(K.Save(), "a\r\nb\rc\r\nd");
  EXPECT_EQ(K.Run(ekSetLineBreakStyle, TSetLineBreakArgs{1, lbsNone}), erBadArgument);
  EXPECT_EQ(K.Run(ekGetLineBreakStyle, TGetLineBreakArgs{9, &Style}), erRange);
}

TEST(KernelEdit, TypingPastTheLineEndPadsAndOverwriteReplaces) {
  TKernelView K;
  K.Load("ab\ncd");
  K.Goto(1, 5);
  K.Type("x");
  EXPECT_EQ(K.Line(1), "ab  x");
  K.Run(ekSetModes, TModesArgs{emInsert, 0});
  K.Goto(2, 1);
  K.Type("XYZ");  // replaces "cd", never the break
  EXPECT_EQ(K.Save(), "ab  x\nXYZ");
  // A cursor a hundred thousand columns past the end is refused rather than padded.
  K.Goto(1, 100'000);
  EXPECT_NE(K.Type("y"), 0);
  EXPECT_EQ(K.Save(), "ab  x\nXYZ");
}

TEST(KernelEdit, AutoIndentCopiesTheIndentOfTheLine) {
  TKernelView K;
  K.Load("\tif x:\n");
  K.Run(ekSetModes, TModesArgs{emAutoIndent, emAutoIndent});
  K.Goto(1, 20);
  K.Run(ekRightOfLine);
  K.Type("\ry");
  EXPECT_EQ(K.Save(), "\tif x:\n\ty\n");
}

TEST(KernelEdit, AnOptionGroupsModeWordActsAsItsOptions) {
  TKernelView K;
  K.Load("\tx\n        y\n");
  // The C group's word: auto indent, tab character, backspace unindents, optimal fill, syntax
  // highlight; insert mode comes from the editor options.
  K.Buffer().EdModes = 0x10002056 | emInsert;
  K.Goto(1, 20);
  K.Run(ekRightOfLine);
  K.Type("\rz");
  EXPECT_EQ(K.Line(2), "\tz");
  K.Goto(3, 9);
  K.Run(ekBackspaceDelete);
  EXPECT_EQ(K.Line(3), "y");
  K.Run(ekForeTab);
  EXPECT_EQ(K.Line(3), "\ty");
  // The command map names bit 4 auto outdent.
  EXPECT_EQ(K.Query(qAutoOutdent), 1);
  TEkScript S;
  ASSERT_TRUE(S.AddMapCommand(*EkFindCommand("ToggleAutoOutdent")));
  S.EndMacroStep();
  K.Eval(S);
  EXPECT_EQ(K.Buffer().EdModes & emBackspaceUnindents, 0u);
}

TEST(KernelEdit, ByteOffsetsReachPastTheLastCountableCharacterOfALongLine) {
  TKernelView K;
  const std::string Long(40000, 'x');
  K.Load(Long + "\nend");
  const std::string Text = "a\rb";  // as given: the lone CR stays
  EXPECT_EQ(K.Run(ekInsertAt, TInsertAtArgs{39000, Text.data(), 3}), 0);
  EXPECT_EQ(K.Save(), Long.substr(0, 39000) + "a\rb" + Long.substr(39000) + "\nend");
  EXPECT_EQ(K.Run(ekSetMarkerOffset, TSetMarkerOffsetArgs{mkTempPos, 39000}), 0);
  EXPECT_EQ(K.Run(ekSetMarkerOffset, TSetMarkerOffsetArgs{mkTempEnd, 39003}), 0);
  EXPECT_EQ(K.Run(ekDeleteBlock, TDeleteBlockArgs{1}), 0);
  EXPECT_EQ(K.Save(), Long + "\nend");
  EXPECT_EQ(K.Run(ekInsertAt, TInsertAtArgs{40005, Text.data(), 3}), erRange);
  EXPECT_EQ(K.Run(ekSetMarkerOffset, TSetMarkerOffsetArgs{mkTempPos, 40005}), erRange);
  EXPECT_EQ(K.Run(ekSetMarkerOffset, TSetMarkerOffsetArgs{999, 0}), erBadArgument);
  K.Buffer().LockRefCount = 1;
  EXPECT_EQ(K.Run(ekInsertAt, TInsertAtArgs{0, Text.data(), 3}), erReadOnly);
}

TEST(KernelEdit, EveryColumnOfALongLineIsReachedByPosition) {
  TKernelView K;
  const std::string Long(40000, 'x');
  K.Load(Long + "\nend");
  // Typing in two steps far out on the line: each part lands where the cursor is.
  K.Goto(1, 32766);
  K.Type("ABCDE");
  K.Type("FGH");
  EXPECT_EQ(K.Save(), Long.substr(0, 32765) + "ABCDEFGH" + Long.substr(32765) + "\nend");
  EXPECT_EQ(+K.View.Cursor.Col, 32766 + 8);
  // The line end is found past column 32,767.
  K.Run(ekRightOfLine);
  EXPECT_EQ(+K.View.Cursor.Col, 40009);
  K.Type("!");
  EXPECT_EQ(K.Save(), Long.substr(0, 32765) + "ABCDEFGH" + Long.substr(32765) + "!\nend");
  // Character positions and screen positions convert both ways out there.
  TCharPos C{0, 0};
  TEdPos E{50000, 1};
  EXPECT_EQ(K.Run(ekConvertPos, TConvertPosArgs{cdEdToChar, &E, &C}), 0);
  EXPECT_EQ(+C.Index, 49999);
  TCharPos Marker{0, 0};
  ASSERT_EQ(K.Run(ekSetMarkerPos, TSetMarkerArgs{mkTempPos, TCharPos{40001, 1}}), 0);
  ASSERT_EQ(K.Run(ekGetMarkerPos, TGetMarkerArgs{mkTempPos, &Marker}), 0);
  EXPECT_EQ(+Marker.Index, 40001);
  int32_t Offset = -1;
  EXPECT_EQ(K.Run(ekConvertCharPosToPos, TCharPosToPosArgs{TCharPos{40001, 1}, &Offset}), 0);
  EXPECT_EQ(Offset, 40001);
}

TEST(KernelEdit, LiteralAndRawInsertsKeepOrConvertBreaks) {
  TKernelView K;
  K.Load("x\r\ny");
  K.Goto(2, 2);
  std::string Lit = "1\n2";
  K.Run(ekInsertLiteral, TStringArgs{Lit.data(), 3});
  EXPECT_EQ(K.Save(), "x\r\ny1\r\n2");
  TStringSource Raw{"\n3\r", 0};
  K.Run(ekInsertFromReader, TReadBufferArgs{&TStringSource::Read, &Raw});
  EXPECT_EQ(K.Save(), "x\r\ny1\r\n2\n3\r");
}

TEST(KernelEdit, TypingGroupsIntoOneUndoStepWithGroupUndo) {
  TKernelView K;
  K.Load("");
  auto TypeChar = [&](char C) {
    // As the command layer does: the data-change-add group, then the character.
    TEkScript S;
    S.Add(ekSetUndoGroup, TUndoGroupArgs{ugGroupWithDataChangeAdd});
    S.End();
    K.Eval(S);
    std::string T(1, C);
    K.Type(T);
  };
  for (char C : std::string("hello")) TypeChar(C);
  K.Run(ekStartUndoGroup);
  for (char C : std::string(" you")) TypeChar(C);
  EXPECT_EQ(K.Save(), "hello you");
  EXPECT_EQ(K.Run(ekUndo), 0);
  EXPECT_EQ(K.Save(), "hello");
  EXPECT_EQ(K.Run(ekUndo), 0);
  EXPECT_EQ(K.Save(), "");
  EXPECT_EQ(K.Run(ekRedo), 0);
  EXPECT_EQ(K.Save(), "hello");
  // With the "none" group every step undoes alone.
  K.Run(ekSetUndoGroup, TUndoGroupArgs{ugGroupWithNone});
  K.Goto(1, 6);
  K.Type("!");
  K.Type("?");
  K.Run(ekUndo);
  EXPECT_EQ(K.Save(), "hello!");
}

TEST(KernelEdit, UndoLimitDropsOldestGroupsAndClientProceduresHearTheirFate) {
  TKernelView K;
  K.Load("");
  K.Run(ekSetUndoLimit, TSetLimitArgs{3});
  K.Run(ekSetUndoGroup, TUndoGroupArgs{ugGroupWithNone});
  std::vector<uint8_t> Calls;
  auto Proc = [](void* Context, uint8_t Op) { static_cast<std::vector<uint8_t>*>(Context)->push_back(Op); };
  K.Run(ekAddClientUndoProc, TClientUndoArgs{Proc, &Calls});
  EXPECT_EQ(K.Buffer().UndoAvailable, 0);  // a client procedure alone waits for a change
  K.Type("a");
  EXPECT_EQ(K.Run(ekUndo), 0);  // the text change and the client procedure
  EXPECT_EQ(K.Save(), "");
  EXPECT_EQ(Calls, std::vector<uint8_t>{EKExecuteOpUndo});
  EXPECT_EQ(K.Run(ekUndo), erNotFound);
  EXPECT_EQ(K.Run(ekRedo), 0);
  EXPECT_EQ(Calls.back(), EKExecuteOpRedo);
  for (char C : std::string("bcde")) K.Type(std::string(1, C));  // pushes it out of the history
  EXPECT_EQ(Calls.back(), EKExecuteOpDestroy);
  int Undone = 0;
  while (K.Run(ekUndo) == 0) ++Undone;
  EXPECT_EQ(Undone, 3);
}

TEST(KernelEdit, ReadOnlyBufferRefusesChangesAndVetoesAreHonoured) {
  TKernelView K;
  K.Load("abc");
  K.Buffer().LockRefCount = 1;
  EXPECT_EQ(K.Type("x"), erReadOnly);
  EXPECT_EQ(K.Run(ekDeleteChar), erReadOnly);
  K.Buffer().LockRefCount = 0;
  K.Buffer().QueryEventHandlers[0] = TEdQueryEvent{eeTextChanged, [](void*, PEditorBuffer, uint16_t, int32_t, int32_t) { return false; }, nullptr};
  EXPECT_EQ(K.Type("x"), erVetoed);
  K.Buffer().QueryEventHandlers[0] = TEdQueryEvent{};
  EXPECT_EQ(K.Save(), "abc");
}

TEST(KernelEdit, BlockKindsDeleteWhatTheyCover) {
  struct TCase {
    uint8_t Type;
    const char* Expected;
  };
  // Block from line 1 column 2 to line 2 column 3 of "abcd\nefgh\nijkl".
  for (TCase C : {TCase{btNonInclusive, "agh\nijkl"}, TCase{btInclusive, "ah\nijkl"}, TCase{btLine, "ijkl"},
                  TCase{btColumn, "acd\negh\nijkl"}}) {
    TKernelView K;
    K.Load("abcd\nefgh\nijkl");
    K.Run(ekSetBlockType, TBlockTypeArgs{C.Type});
    K.Goto(1, 2);
    K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
    K.Goto(2, 3);
    K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
    EXPECT_EQ(K.Query(qValidBlock), 1);
    EXPECT_EQ(K.Run(ekDeleteBlock, TDeleteBlockArgs{0}), 0);
    EXPECT_EQ(K.Save(), C.Expected) << int(C.Type);
    K.Run(ekUndo);
    EXPECT_EQ(K.Save(), "abcd\nefgh\nijkl");
  }
}

TEST(KernelEdit, BlocksCopyMoveAndChangeCase) {
  TKernelView K;
  K.Load("one two\n");
  K.Goto(1, 1);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  K.Goto(1, 4);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  K.Run(ekUpperCaseBlock);
  EXPECT_EQ(K.Line(1), "ONE two");
  K.Goto(1, 8);
  K.Run(ekCopyBlock);
  EXPECT_EQ(K.Line(1), "ONE twoONE");
  K.Goto(1, 1);
  K.Run(ekMoveBlock);  // the block is now the copy at the end
  EXPECT_EQ(K.Line(1), "ONEONE two");
  K.Run(ekToggleCase);
  EXPECT_EQ(K.Line(1), "oneONE two");
  EXPECT_EQ(K.Run(ekDeleteBlock, TDeleteBlockArgs{1}), erNoBlock);  // no temporary block
}

TEST(KernelEdit, TemporaryBlockBetweenMarkersFourAndFiveIsDeleted) {
  // As a writer's DeleteTo does: markers 4 and 5, then delete the temporary block.
  TKernelView K;
  K.Load("0123456789");
  TEkScript S;
  S.Add(ekSetMarkerPos, TSetMarkerArgs{mkTempPos, TCharPos{2, 1}});
  S.Add(ekSetMarkerPos, TSetMarkerArgs{mkTempEnd, TCharPos{5, 1}});
  S.Add(ekDeleteBlock, TDeleteBlockArgs{1});
  S.End();
  EXPECT_EQ(K.Eval(S), 0);
  EXPECT_EQ(K.Save(), "0156789");
}

TEST(KernelEdit, MarkersBookmarksAndPreviousPositionMoveWithTheText) {
  TKernelView K;
  K.Load("aaa\nbbb\nccc");
  K.Goto(3, 2);
  K.Run(ekSetMark, TMarkArgs{4});
  K.Goto(1, 1);
  K.Type("new\r");
  TCharPos Pos{};
  uint32_t Id = 0;
  K.Run(ekUserMarkToInternalMark, TUserMarkArgs{4, &Id});
  K.Run(ekGetMarkerPos, TGetMarkerArgs{Id, &Pos});
  EXPECT_EQ(+Pos.LineNum, 4);
  EXPECT_EQ(+Pos.Index, 1);
  EXPECT_EQ(K.Run(ekMoveToMark, TMarkArgs{4}), 0);
  EXPECT_EQ(+K.View.Cursor.LineNum, 4);
  EXPECT_EQ(K.Run(ekSwapPrevPos), 0);
  EXPECT_EQ(+K.View.Cursor.LineNum, 2);
  EXPECT_EQ(K.Run(ekMoveToMark, TMarkArgs{7}), erNotFound);
  EXPECT_EQ(K.Run(ekSetMarkerPos, TSetMarkerArgs{Id, TCharPos{0, 0}}), 0);  // line 0 clears it
  EXPECT_EQ(K.Run(ekMoveToMark, TMarkArgs{4}), erNotFound);
  EXPECT_EQ(K.Run(ekGetMarkerPos, TGetMarkerArgs{999, &Pos}), erBadArgument);
}

TEST(KernelEdit, TrackTablesMoveAndDeletedLinesGetTheDeletedValue) {
  TKernelView K;
  K.Load("l1\nl2\nl3\nl4\n");
  // The buffers' layout: a 16-bit count, then 20-byte entries starting with a TCharPos.
  struct TEntry {
    TCharPos Current;
    TCharPos Reported;
    uint32_t Data;
  };
  static_assert(sizeof(TEntry) == 20);
  uint8_t Table[2 + 3 * 20] = {};
  uint16_t Count = 3;
  std::memcpy(Table, &Count, 2);
  TEntry Entries[3] = {{{0, 2}, {}, 1}, {{0, 3}, {}, 2}, {{0, 4}, {}, 3}};
  std::memcpy(Table + 2, Entries, sizeof Entries);
  int Moves = 0;
  TAddTrackTableArgs Attach{0, 1, 0, 20, Table, [](void* C, void*) { ++*static_cast<int*>(C); }, &Moves};
  ASSERT_EQ(K.Run(ekAttachTrackTable, Attach), 0);
  K.Goto(3, 1);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  K.Goto(4, 1);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  K.Run(ekDeleteBlock, TDeleteBlockArgs{0});  // deletes line 3 as a whole
  std::memcpy(Entries, Table + 2, sizeof Entries);
  EXPECT_EQ(+Entries[0].Current.LineNum, 2);
  EXPECT_EQ(+Entries[1].Current.LineNum, 0);  // the deleted-line value
  EXPECT_EQ(+Entries[2].Current.LineNum, 3);
  EXPECT_GT(Moves, 0);
  EXPECT_EQ(K.Run(ekDetachTrackTable, TTrackTableArgs{Table}), 0);
  EXPECT_EQ(K.Run(ekDetachTrackTable, TTrackTableArgs{Table}), erNotFound);
  EXPECT_EQ(K.Run(ekAttachTrackTable, TAddTrackTableArgs{0, 0, 0, 4, Table, nullptr, nullptr}), erBadArgument);

  // Only the line makes an entry free: one at index 0 of a table counted from 1 still moves.
  uint8_t OneBased[2 + 20] = {};
  Count = 1;
  std::memcpy(OneBased, &Count, 2);
  TEntry Entry{{0, 2}, {}, 9};
  std::memcpy(OneBased + 2, &Entry, sizeof Entry);
  ASSERT_EQ(K.Run(ekAttachTrackTable, TAddTrackTableArgs{0, 0, 0, 20, OneBased, nullptr, nullptr}), 0);
  K.Goto(1, 1);
  K.Type("new\r");
  std::memcpy(&Entry, OneBased + 2, sizeof Entry);
  EXPECT_EQ(+Entry.Current.LineNum, 3);
  EXPECT_EQ(+Entry.Current.Index, 0);
}

TEST(KernelEdit, LineFlagsMoveWithLinesAndEditsMarkLinesModified) {
  TKernelView K;
  K.Load("a\nb\nc");
  ASSERT_EQ(K.Run(ekSetLineFlags, TSetLineFlagsArgs{3, 0x100}), 0);
  K.Goto(1, 1);
  K.Type("x\r");
  uint32_t Flags = 0;
  K.Run(ekGetLineFlags, TGetLineFlagsArgs{4, &Flags});
  EXPECT_EQ(Flags, 0x100u);
  K.Run(ekGetLineFlags, TGetLineFlagsArgs{1, &Flags});
  EXPECT_EQ(Flags, lfModified | lfUnsaved);
  K.Run(ekClearLineModifiedFlags);
  K.Run(ekGetLineFlags, TGetLineFlagsArgs{1, &Flags});
  EXPECT_EQ(Flags, lfModified);
  EXPECT_EQ(K.Run(ekGetLineFlags, TGetLineFlagsArgs{0, &Flags}), erRange);
}

TEST(KernelEdit, FrozenLineNumbersMapBothWays) {
  TKernelView K;
  K.Load("1\n2\n3\n4\n");
  K.Run(ekFreezeLineNumbers);
  K.Goto(2, 1);
  K.Type("new\r");  // a line before frozen line 2
  int32_t Frozen = -1;
  K.Run(ekRealToFrozen, TLineResultArgs{3, &Frozen});
  EXPECT_EQ(Frozen, 2);
  K.Run(ekRealToFrozen, TLineResultArgs{2, &Frozen});
  EXPECT_EQ(Frozen, 0);  // added since
  EXPECT_EQ(K.Run(ekGotoFrozenLine, TLineArgs{3}), 0);
  EXPECT_EQ(+K.View.Cursor.LineNum, 4);
}

TEST(KernelEdit, CursorMotionsSkipsAndQueries) {
  TKernelView K;
  K.Load("  foo bar\n\tx");
  K.Goto(1, 1);
  K.Run(ekFirstNonBlank);
  EXPECT_EQ(+K.View.Cursor.Col, 3);
  EXPECT_EQ(K.Query(qCursorAtBOW), 1);
  K.Run(ekSkip, TSkipArgs{skRightWordStream});
  EXPECT_EQ(+K.View.Cursor.Col, 7);
  K.Run(ekSkip, TSkipArgs{skRightWordStream});
  EXPECT_EQ(+K.View.Cursor.LineNum, 2);  // across the line break
  EXPECT_EQ(+K.View.Cursor.Col, 9);      // after the tab
  K.Run(ekCursorCharLeft);
  EXPECT_EQ(+K.View.Cursor.Col, 1);
  K.Run(ekCursorCharLeft);
  EXPECT_EQ(+K.View.Cursor.LineNum, 1);
  EXPECT_EQ(K.Query(qCursorAtEOL), 1);
  K.Run(ekCursorRight);
  EXPECT_EQ(K.Query(qCursorPastEOL), 1);
  K.Run(ekEndCursor);
  EXPECT_EQ(K.Query(qCursorAtEOF), 1);
  K.Run(ekHomeCursor);
  EXPECT_EQ(K.Query(qCursorAtBOF), 1);
  uint8_t R;
  EXPECT_EQ(K.Run(ekQuery, TQueryArgs{0x77, 1, &R}), erBadArgument);
}

TEST(KernelEdit, WideCharactersTakeTwoColumns) {
  TKernelView K;
  K.Load("\xE6\x97\xA5x");
  K.Goto(1, 1);
  K.Run(ekCursorCharRight);
  EXPECT_EQ(+K.View.Cursor.Col, 3);
  TCharPos Ch{};
  TEdPos Ed{3, 1};
  K.Run(ekConvertPos, TConvertPosArgs{cdEdToChar, &Ed, &Ch});
  EXPECT_EQ(+Ch.Index, 1);
  int32_t Offset = 0;
  K.Run(ekConvertCharPosToPos, TCharPosToPosArgs{TCharPos{1, 1}, &Offset});
  EXPECT_EQ(Offset, 3);
}

TEST(KernelEdit, PairMatchingUsesThePairTable) {
  TKernelView K;
  K.Load("f(a(b)c)");
  TPairDesc Pairs[] = {{1, 1, 0, '(', 0, ')', 0}};
  K.Buffer().PairTable = Pairs;
  K.Buffer().NPairs = 1;
  K.Goto(1, 2);
  EXPECT_EQ(K.Run(ekMatchPair, TMatchPairArgs{1}), 0);
  EXPECT_EQ(+K.View.Cursor.Col, 8);
  EXPECT_EQ(K.Run(ekMatchPair, TMatchPairArgs{0}), 0);
  EXPECT_EQ(+K.View.Cursor.Col, 2);
  K.Goto(1, 1);
  EXPECT_EQ(K.Run(ekMatchPair, TMatchPairArgs{1}), erNotFound);
}

TEST(KernelEdit, ReaderPositionsCountCharactersAndMidCharacterOffsets) {
  TKernelView K;
  K.Load("a\xC3\xA9z\nnext");
  TEdFile F{};
  K.Run(ekOpenReadFile, TFileArgs{&F});
  EXPECT_EQ(+F.CharPos.LineNum, 1);
  K.Run(ekSeekTo, TSeekArgs{&F, 2});
  EXPECT_EQ(+F.MidChar, 1);
  char Buf[16];
  uint32_t Read = 0;
  K.Run(ekReadChars, TReadCharsArgs{&F, Buf, 3, &Read});
  EXPECT_EQ(Read, 3u);
  EXPECT_EQ(+F.Pos, 5u);
  EXPECT_EQ(+F.CharPos.LineNum, 2);
  EXPECT_EQ(+F.CharPos.Index, 0);
  EXPECT_EQ(K.Run(ekSeekTo, TSeekArgs{&F, 99}), erRange);
}

TEST(KernelEdit, SlicesAreStoredBytesAtAnOffsetWithTheCountOfChangesSoFar) {
  TKernelView K;
  K.Load("ab\r\ncd");
  char Buf[16] = {};
  uint32_t Read = 0;
  uint64_t Changes = 0, Length = 0;
  EXPECT_EQ(K.Run(ekReadSlice, TReadSliceArgs{1, Buf, 3, &Read, &Changes, &Length}), 0);
  EXPECT_EQ(std::string(Buf, Read), "b\r\n");
  EXPECT_EQ(Length, 6u);
  // Cut at the end; an offset past it is refused.
  EXPECT_EQ(K.Run(ekReadSlice, TReadSliceArgs{4, Buf, 16, &Read, nullptr, nullptr}), 0);
  EXPECT_EQ(std::string(Buf, Read), "cd");
  EXPECT_EQ(K.Run(ekReadSlice, TReadSliceArgs{7, Buf, 1, &Read, nullptr, nullptr}), erRange);
  EXPECT_EQ(K.Run(ekReadSlice, TReadSliceArgs{0, nullptr, 1, &Read, nullptr, nullptr}), erBadArgument);
  const uint64_t Before = Changes;
  K.Run(ekInsertString, TStringArgs{"x", 1});
  EXPECT_EQ(K.Run(ekReadSlice, TReadSliceArgs{0, nullptr, 0, nullptr, &Changes, &Length}), 0);
  EXPECT_GT(Changes, Before);
  EXPECT_EQ(Length, 7u);
}

}  // namespace
}  // namespace nxs::ektest

namespace nxs::ektest {
namespace {

TEST(KernelEdit, TrackProceduresHearAfterTheScriptAndMayRunScripts) {
  TKernelView K;
  K.Load("a\nb\n");
  uint8_t Table[2 + 20] = {};
  uint16_t Count = 1;
  std::memcpy(Table, &Count, 2);
  TCharPos P{0, 2};
  std::memcpy(Table + 2, &P, sizeof P);
  struct TCtx {
    TKernelView* K;
    int32_t LinesSeen = 0;
    int Calls = 0;
  } Ctx{&K};
  auto Proc = [](void* C, void*) {
    auto* X = static_cast<TCtx*>(C);
    ++X->Calls;
    TEkScript S;
    S.Add(ekTotalLines, TCountArgs{&X->LinesSeen});
    S.End();
    X->K->Eval(S);  // a script of its own, on the same buffer
  };
  ASSERT_EQ(K.Run(ekAttachTrackTable, TAddTrackTableArgs{0, 1, 0, 20, Table, Proc, &Ctx}), 0);
  K.Goto(1, 1);
  TEkScript S;
  std::string Two = "x\ry\r";
  S.Add(ekInsertString, TStringArgs{Two.data(), 2});
  S.Add(ekInsertString, TStringArgs{Two.data() + 2, 2});
  S.EndMacroStep();
  EXPECT_EQ(K.Eval(S), 0);
  EXPECT_EQ(Ctx.Calls, 1);  // once, for the whole script
  EXPECT_EQ(Ctx.LinesSeen, 5);
  std::memcpy(&P, Table + 2, sizeof P);
  EXPECT_EQ(+P.LineNum, 4);
}

}  // namespace
}  // namespace nxs::ektest

namespace nxs::ektest {
namespace {

TEST(KernelEdit, ChangesWithoutUndoDropTheStaleHistory) {
  // Undoing offsets recorded before an unrecorded change would damage the text.
  TKernelView K;
  K.Load("abcdef");
  K.Goto(1, 4);
  K.Type("X");
  K.Run(ekSetModes, TModesArgs{emNoUndo, emNoUndo});
  K.Goto(1, 1);
  K.Type("123");
  K.Run(ekSetModes, TModesArgs{emNoUndo, 0});
  EXPECT_EQ(K.Run(ekUndo), erNotFound);
  EXPECT_EQ(K.Save(), "123abcXdef");
}

}  // namespace
}  // namespace nxs::ektest

namespace nxs::ektest {
namespace {

TEST(KernelEdit, ColumnBlocksMoveAndCaseChangesKeepBytesThatAreNotText) {
  TKernelView K;
  K.Load("abcd\nefgh\nijkl");
  K.Run(ekSetBlockType, TBlockTypeArgs{btColumn});
  K.Goto(1, 2);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  K.Goto(2, 4);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  K.Goto(1, 5);  // right of the block on its own line: the columns close up first
  ASSERT_EQ(K.Run(ekMoveBlock), 0);
  EXPECT_EQ(K.Save(), "adbc\nehfg\nijkl");
  K.Goto(3, 1);
  ASSERT_EQ(K.Run(ekMoveBlock), 0);
  EXPECT_EQ(K.Save(), "ad\neh\nbcijkl\nfg");
  K.Run(ekUndo);
  K.Run(ekUndo);
  EXPECT_EQ(K.Save(), "abcd\nefgh\nijkl");

  // Over-long forms and stray bytes stay as they are; the letters around them change.
  const std::string Odd = "a\xE0\x80\xAF" "b\xF0\x80\x80\x80" "c\xFF" "d";
  K.Load(Odd);
  K.Run(ekSetBlockType, TBlockTypeArgs{btNonInclusive});
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  K.Run(ekEndCursor);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  ASSERT_EQ(K.Run(ekUpperCaseBlock), 0);
  EXPECT_EQ(K.Save(), "A\xE0\x80\xAF" "B\xF0\x80\x80\x80" "C\xFF" "D");
}

TEST(KernelEdit, UndoGoesBackToTheEditAndTheLimitCountsGroups) {
  TKernelView K;
  K.Load("one\ntwo\nthree\n");
  // A client procedure recorded at opening joins the first change's group.
  K.Run(ekAddClientUndoProc, TClientUndoArgs{[](void*, uint8_t) {}, nullptr});
  K.Goto(3, 3);
  K.Type("x");
  ASSERT_EQ(K.Run(ekUndo), 0);
  EXPECT_EQ(+K.View.Cursor.LineNum, 3);
  EXPECT_EQ(+K.View.Cursor.Col, 3);

  // Five characters typed into one open group stay undoable under a limit of three.
  K.Run(ekSetUndoLimit, TSetLimitArgs{3});
  TEkScript Open;
  Open.Add(ekSetUndoGroup, TUndoGroupArgs{ugGroupWithDataChangeAdd});
  Open.Add(ekStartUndoGroup);
  Open.End();
  K.Eval(Open);
  K.Goto(1, 1);
  for (char C : std::string("abcde")) K.Type(std::string(1, C));
  EXPECT_EQ(K.Save(), "abcdeone\ntwo\nthree\n");
  ASSERT_EQ(K.Run(ekUndo), 0);
  EXPECT_EQ(K.Save(), "one\ntwo\nthree\n");
}

TEST(KernelEdit, TrailingBlanksSmartTabAndBlockIndentFollowTheirSettings) {
  TKernelView K;
  K.Load("");
  K.Buffer().EdModes = emInsert | emAutoIndent;
  K.Type("  if x  \r\rend");  // the ended lines lose their trailing blanks, the indent too
  EXPECT_EQ(K.Save(), "  if x\n\n  end");
  K.Load("");
  K.Buffer().EdModes = emInsert | emKeepTrailingBlanks;
  K.Type("a  \rb");
  EXPECT_EQ(K.Save(), "a  \nb");

  K.Load("int    value  = 1;\n");
  K.Buffer().EdModes = emInsert | emSmartTab;
  K.Run(ekEndCursor);
  K.Run(ekForeTab);  // under "value"
  K.Type("x");
  K.Run(ekForeTab);  // under "="
  K.Type("y");
  EXPECT_EQ(K.Save(), "int    value  = 1;\n       x      y");

  K.Load("a\nb\n");
  ASSERT_EQ(K.Run(ekSetBlockIndent, TBlockIndentArgs{4}), 0);
  EXPECT_EQ(K.Run(ekSetBlockIndent, TBlockIndentArgs{0}), erBadArgument);
  K.Run(ekSetBlockType, TBlockTypeArgs{btLine});
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  K.Goto(2, 1);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  ASSERT_EQ(K.Run(ekIndentBlock, TIndentArgs{0, 0}), 0);
  EXPECT_EQ(K.Save(), "    a\n    b\n");
}


TEST(KernelEdit, TypingInsideATabOrAfterWideCharactersPlacesTheCursorByTheText) {
  TKernelView K;
  K.Load("\tz");
  K.Goto(1, 4);  // inside the tab: typing goes before it
  K.Type("x");
  EXPECT_EQ(+K.View.Cursor.Col, 2);
  K.Type("y");
  EXPECT_EQ(K.Save(), "xy\tz");
  EXPECT_EQ(+K.View.Cursor.Col, 3);
  TTabRack Rack{};
  Rack.TabWidth = 4;
  ASSERT_EQ(K.Run(ekSetTabRack, TTabRackArgs{&Rack}), 0);
  K.Run(ekRightOfLine);
  EXPECT_EQ(+K.View.Cursor.Col, 6);  // "xy", the tab to column 5, "z"
  K.Goto(1, 3);
  K.Type("w");
  EXPECT_EQ(K.Save(), "xyw\tz");
  K.Load("\xE4\xB8\xAD" "z");
  K.Goto(1, 3);
  K.Type("ab");
  EXPECT_EQ(K.Save(), "\xE4\xB8\xAD" "abz");
  EXPECT_EQ(+K.View.Cursor.Col, 5);
}

}  // namespace
}  // namespace nxs::ektest
