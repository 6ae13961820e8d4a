// Buffers and views: sharing, modification flags and events, transfers and their errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "editor/kernel/ekfixture.h"

namespace nxs::ektest {
namespace {

TEST(KernelBuffer, ViewsShareTextAndUndoButKeepTheirCursors) {
  TKernelView A;
  A.Load("shared\n");
  TEkView B{};
  ASSERT_TRUE(A.Kernel->EkNew(A.View.Editor, &B, 0));
  EXPECT_EQ(+A.Buffer().viewCount, 2);
  EXPECT_EQ(B.PrevWin, &A.View);
  A.Goto(1, 7);
  A.Type("!");
  TEkScript Undo;
  Undo.Add(ekUndo);
  Undo.End();
  EXPECT_EQ(A.Kernel->EkEval(&B, Undo.Data(), Undo.Length()), 0);  // B undoes A's change
  EXPECT_EQ(A.Save(), "shared\n");
  EXPECT_EQ(+B.Cursor.Col, 7);  // B's cursor followed the undo
  A.Kernel->EkEnd(&B);
  EXPECT_EQ(+A.Buffer().viewCount, 1);
  EXPECT_EQ(A.Kernel->EkEval(&B, Undo.Data(), Undo.Length()), erNoView);
  TEkView C{};
  TEditorBuffer Fake{};
  EXPECT_FALSE(A.Kernel->EkNew(&Fake, &C, 0));  // not a buffer of the kernel
}

TEST(KernelBuffer, OtherViewsStayOnTheirTextWhileOneViewTypes) {
  TKernelView A;
  A.Load("one\ntwo\n\tthree\nfour\n");
  TEkView B{};
  ASSERT_TRUE(A.Kernel->EkNew(A.View.Editor, &B, 0));
  const auto OnB = [&](TEkOp Op, auto Args) {
    TEkScript S;
    S.Add(Op, Args);
    S.End();
    return A.Kernel->EkEval(&B, S.Data(), S.Length());
  };
  ASSERT_EQ(OnB(ekGotoLineCol, TGotoLineColArgs{TEdPos{10, 3}, 1}), 0);  // on the "h" after the tab
  B.WinTopLine = 2;
  A.Goto(1, 1);
  A.Type("new\rnew\r");
  EXPECT_EQ(B.Cursor.LineNum, 5);
  EXPECT_EQ(+B.Cursor.Col, 10);
  EXPECT_EQ(B.WinTopLine, 4);
  // Text typed before it on its line: the tab now spans from column 11.
  A.Goto(5, 1);
  A.Type("abcdefghij");
  EXPECT_EQ(B.Cursor.LineNum, 5);
  EXPECT_EQ(+B.Cursor.Col, 18);
  // Lines taken away above it.
  A.Goto(1, 1);
  for (int I = 0; I < 8; ++I) ASSERT_EQ(A.Run(ekDeleteChar), 0);
  EXPECT_EQ(A.Line(1), "one");
  EXPECT_EQ(B.Cursor.LineNum, 3);
  EXPECT_EQ(+B.Cursor.Col, 18);
  EXPECT_EQ(B.WinTopLine, 2);
  // A cursor past its line's end keeps the columns beyond it; one changed below stays put.
  ASSERT_EQ(OnB(ekGotoLineCol, TGotoLineColArgs{TEdPos{20, 4}, 1}), 0);
  A.Goto(1, 1);
  A.Type("\r");
  EXPECT_EQ(B.Cursor.LineNum, 5);
  EXPECT_EQ(+B.Cursor.Col, 20);
  A.Goto(6, 1);
  A.Type("tail\r");
  EXPECT_EQ(B.Cursor.LineNum, 5);
  EXPECT_EQ(B.WinTopLine, 3);
  // One inside a tab stays at its column inside it.
  ASSERT_EQ(OnB(ekGotoLineCol, TGotoLineColArgs{TEdPos{13, 4}, 1}), 0);
  ASSERT_EQ(A.Line(4), "abcdefghij\tthree");
  A.Goto(1, 1);
  A.Type("\r");
  EXPECT_EQ(B.Cursor.LineNum, 5);
  EXPECT_EQ(+B.Cursor.Col, 13);
  A.Kernel->EkEnd(&B);
}

TEST(KernelBuffer, ModifyFlagsAndEventsFollowChanges) {
  TKernelView K;
  struct TLog {
    int Modified = 0, Changed = 0;
  } Log;
  K.Buffer().EventHandlers[0] = TEdEvent{eeModified | eeTextChanged,
                                         [](void* C, PEditorBuffer, uint16_t Event, int32_t, int32_t) {
                                           auto* L = static_cast<TLog*>(C);
                                           if (Event == eeModified) ++L->Modified;
                                           if (Event == eeTextChanged) ++L->Changed;
                                         },
                                         &Log};
  K.Load("text");
  EXPECT_EQ(+K.Buffer().ModifyFlags, 0);
  K.Type("a");
  EXPECT_EQ(K.Buffer().ModifyFlags & (mfModified | mfModifiedNotify | mfModifiedSince),
            mfModified | mfModifiedNotify | mfModifiedSince);
  K.Type("b");
  EXPECT_EQ(Log.Modified, 1);  // only on becoming modified
  EXPECT_EQ(Log.Changed, 2);
  EXPECT_EQ(+K.Buffer().UndoAvailable, 1);
  K.Buffer().ModifyFlags = 0;  // saved
  K.Run(ekGotoLineCol, TGotoLineColArgs{TEdPos{1, 1}, 0});
  EXPECT_EQ(+K.Buffer().ModifyFlags, 0);  // moving is no change
  EXPECT_EQ(K.Query(qModified), 0);
}

TEST(KernelBuffer, TransfersReportReaderAndWriterErrors) {
  TKernelView K;
  K.Load("keep");
  auto Failing = [](void*, char*, int32_t) -> int32_t { return -1; };
  EXPECT_EQ(K.Run(ekReadBuffer, TReadBufferArgs{Failing, nullptr}), FileReadError);
  auto Refusing = [](void*, const char*, int32_t) -> int32_t { return -1; };
  K.Load("keep");
  EXPECT_EQ(K.Run(ekWriteBuffer, TWriteBufferArgs{Refusing, nullptr, 1, 0}), FileWriteError);
  std::string Out;
  EXPECT_EQ(K.Run(ekWriteBuffer, TWriteBufferArgs{&AppendTo, &Out, 1, 1}), FileWriteInvalidBlock);
  K.Goto(1, 2);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  K.Goto(1, 4);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  EXPECT_EQ(K.Run(ekWriteBuffer, TWriteBufferArgs{&AppendTo, &Out, 1, 1}), 0);
  EXPECT_EQ(Out, "ee");
  EXPECT_EQ(K.Run(ekReadBuffer, TReadBufferArgs{nullptr, nullptr}), erBadArgument);
}

TEST(KernelBuffer, AdoptedTextIsKeptAsItLies) {
  TKernelView K;
  K.Load("old text");
  K.Type("!");
  const auto Adopt = [&](std::string_view Text, uint32_t Skip) {
    char* Data = static_cast<char*>(std::malloc(Text.size() + 1));
    std::memcpy(Data, Text.data(), Text.size());
    return K.Run(ekAdoptBuffer, TAdoptBufferArgs{Data, Text.size(), Skip});
  };
  // The byte-order mark is left out; every kind of line break counts, CR LF as one.
  ASSERT_EQ(Adopt("\xEF\xBB\xBFone\r\ntwo\rthree\n\nfour", 3), FileReadOk);
  EXPECT_EQ(K.Save(), "one\r\ntwo\rthree\n\nfour");
  int32_t Lines = 0;
  K.Run(ekTotalLines, TCountArgs{&Lines});
  EXPECT_EQ(Lines, 5);
  EXPECT_EQ(K.Line(2), "two");
  EXPECT_EQ(K.Line(5), "four");
  EXPECT_EQ(+K.Buffer().ModifyFlags, 0);
  EXPECT_EQ(+K.Buffer().UndoAvailable, 0);  // the history went with the old text
  // Typing into it goes to the kernel's own block; undo takes it back.
  K.Goto(2, 4);
  K.Type("s");
  EXPECT_EQ(K.Line(2), "twos");
  K.Run(ekUndo);
  EXPECT_EQ(K.Save(), "one\r\ntwo\rthree\n\nfour");
  // Lone CRs beyond what the count of line feeds foresaw.
  ASSERT_EQ(Adopt(std::string(300, '\r') + "x\n", 0), FileReadOk);
  K.Run(ekTotalLines, TCountArgs{&Lines});
  EXPECT_EQ(Lines, 302);
  // Only a byte-order mark: an empty text.
  ASSERT_EQ(Adopt("\xEF\xBB\xBF", 3), FileReadOk);
  EXPECT_EQ(K.Save(), "");
  // A mark longer than the text is refused, and the text stays as it was.
  K.Load("kept");
  EXPECT_EQ(Adopt("ab", 3), erBadArgument);
  EXPECT_EQ(K.Save(), "kept");
}

TEST(KernelBuffer, IndentTabsAndBackspaceUnindent) {
  TKernelView K;
  K.Load("a\nb\nc");
  K.Goto(1, 1);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  K.Goto(3, 1);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  K.Run(ekIndentBlock, TIndentArgs{0, 4});
  EXPECT_EQ(K.Save(), "    a\n    b\nc");  // a block ending at a line start leaves that line
  K.Run(ekIndentBlock, TIndentArgs{1, 2});
  EXPECT_EQ(K.Save(), "  a\n  b\nc");
  K.Goto(3, 1);
  K.Run(ekForeTab);
  EXPECT_EQ(K.Line(3), "        c");
  K.Run(ekSetModes, TModesArgs{emUseTabChar | emBackspaceUnindents, emUseTabChar | emBackspaceUnindents});
  K.Run(ekForeTab);
  EXPECT_EQ(K.Line(3), "        \tc");
  K.Goto(3, 9);
  K.Run(ekBackspaceDelete);
  EXPECT_EQ(K.Line(3), "\tc");
  K.Run(ekBackTab);
  EXPECT_EQ(+K.View.Cursor.Col, 1);
}

TEST(KernelBuffer, BlockKindQueriesAndHiding) {
  TKernelView K;
  K.Load("abc");
  for (uint8_t T = btInclusive; T <= btNonInclusive; ++T) {
    K.Run(ekSetBlockType, TBlockTypeArgs{T});
    EXPECT_EQ(K.Query(static_cast<uint8_t>(qInclusiveBlock + T)), 1);
    EXPECT_EQ(K.Query(static_cast<uint8_t>(qInclusiveBlock + (T + 1) % 4)), 0);
  }
  EXPECT_EQ(K.Run(ekSetBlockType, TBlockTypeArgs{4}), erBadArgument);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  EXPECT_EQ(K.Query(qValidEmptyBlock), 1);
  K.Run(ekHideBlock);
  EXPECT_EQ(K.Query(qBlockHidden), 1);
  K.Run(ekHideUnhideBlock, THideUnhideArgs{1, 0});
  EXPECT_EQ(K.Query(qBlockHidden), 0);
  TCharPos S{}, F{};
  EXPECT_EQ(K.Run(ekGetMarkedRange, TGetMarkedRangeArgs{0, 1, &S, &F}), erNoBlock);  // no match block
  EXPECT_EQ(K.Run(ekSetMarkedRange, TSetMarkedRangeArgs{0, 0, TCharPos{1, 1}, TCharPos{3, 1}}), 0);
  EXPECT_EQ(K.Run(ekGetMarkedRange, TGetMarkedRangeArgs{0, 0, &S, &F}), 0);
  EXPECT_EQ(+S.Index, 1);
  EXPECT_EQ(+F.Index, 3);
  EXPECT_EQ(K.Run(ekSetMarkedRange, TSetMarkedRangeArgs{0, 0, TCharPos{1, 1}, TCharPos{3, 9}}), erRange);
}

}  // namespace
}  // namespace nxs::ektest
