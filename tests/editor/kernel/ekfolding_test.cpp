// Folding commands, the paint line vector and painted lines.
#include <gtest/gtest.h>

#include <cstring>

#include "editor/kernel/ekfixture.h"

namespace nxs::ektest {
namespace {

TElision Block(int StartLine, int EndLine, bool Folded, const char* Desc = "Folded Region") {
  TElision E{};
  E.Range.ElisionStart = TCharPos{0, StartLine};
  E.Range.ElisionEnd = TCharPos{0, EndLine};
  E.Range.NumLines = EndLine - StartLine + 1;
  E.Context.State = Folded ? 4 : 0;
  E.Description.DescLen = static_cast<int32_t>(std::strlen(Desc));
  E.Description.BlockDesc = const_cast<char*>(Desc);
  return E;
}

int32_t FoldedLines(TKernelView& K) {
  int32_t N = -1;
  K.Run(ekElisionQuery, TElisionLineQueryArgs{1, 1, &N, nullptr, eqFoldedLines});
  return N;
}

TEST(KernelFolding, BlocksFoldHideLinesAndComeBackAsAnArray) {
  TKernelView K;
  K.Load("1\n2\n3\n4\n5\n6\n");
  EXPECT_EQ(K.Run(ekElisionBlock, TElisionBlockArgs{Block(2, 4, true, "body"), ebAdd, nullptr}), 0);
  EXPECT_EQ(FoldedLines(K), 2);
  uint8_t Flag = 0;
  K.Run(ekElisionQuery, TElisionLineQueryArgs{3, 1, nullptr, &Flag, eqLineFolded});
  EXPECT_EQ(Flag, 1);
  K.Goto(1, 1);
  K.Run(ekCursorDown);
  K.Run(ekCursorDown);
  EXPECT_EQ(+K.View.Cursor.LineNum, 5);  // over the folded lines
  TElisionArray Arr{};
  Arr.All = 1;
  ASSERT_EQ(K.Run(ekElisionArray, TElisionArrayArgs{eaGetFolded, TElisionRange{}, &Arr}), 0);
  ASSERT_EQ(+Arr.NumElisions, 1);
  EXPECT_EQ(+Arr.ElisionVec[0].Range.ElisionStart.LineNum, 2);
  EXPECT_EQ(std::string(Arr.ElisionVec[0].Description.BlockDesc), "body");
  ASSERT_EQ(K.Run(ekElisionArray, TElisionArrayArgs{eaRelease, TElisionRange{}, &Arr}), 0);
  EXPECT_EQ(+Arr.ElisionVec, nullptr);
  K.Run(ekElideLines, TElideLinesArgs{TElisionRange{}, ecUnfoldAll});
  EXPECT_EQ(FoldedLines(K), 0);
}

TEST(KernelFolding, BadRangesAreRefusedAndBlocksMoveWithTheText) {
  TKernelView K;
  K.Load("1\n2\n3\n");
  EXPECT_EQ(K.Run(ekElisionBlock, TElisionBlockArgs{Block(3, 2, false), ebAdd, nullptr}), erRange);
  EXPECT_EQ(K.Run(ekElisionBlock, TElisionBlockArgs{Block(2, 9, false), ebAdd, nullptr}), erRange);
  ASSERT_EQ(K.Run(ekElisionBlock, TElisionBlockArgs{Block(2, 3, true), ebAdd, nullptr}), 0);
  K.Goto(1, 1);
  K.Type("0\r");
  uint8_t Flag = 0;
  int32_t End = 0;
  K.Run(ekElisionQuery, TElisionLineQueryArgs{3, 1, &End, &Flag, eqStartsOnLine});
  EXPECT_EQ(Flag, 1);
  EXPECT_EQ(End, 4);
  EXPECT_EQ(K.Run(ekElisionBlock, TElisionBlockArgs{Block(3, 4, false), ebRemoveRange, nullptr}), 0);
  K.Run(ekElisionBlock, TElisionBlockArgs{Block(1, 1, false), ebTreePresent, &Flag});
  EXPECT_EQ(Flag, 0);
}

TEST(KernelPaint, LinesRenderWithTabsWideCharactersAndTheBlock) {
  TKernelView K;
  K.Load("a\tb\xE6\x97\xA5z\nsecond");
  K.View.WinWidth = 20;
  K.Goto(1, 2);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockBeg});
  K.Goto(1, 10);
  K.Run(ekMarkOp, TMarkOpArgs{moSetBlockEnd});
  TPaintContext Ctx{};
  ASSERT_TRUE(K.Kernel->EkBeginPaint(&K.View, &Ctx));
  EXPECT_EQ(+K.View.VisibleLines, 2);
  EXPECT_EQ(+K.View.LVec[0].RepaintFlags, rfLine);
  EXPECT_EQ(+Ctx.MarkedStart.Col, 2);
  char Buf[64];
  TAttrEntry Attrs[16];
  Ctx.LineBuffer = Buf;
  Ctx.LineBufferSize = sizeof Buf;
  Ctx.Attrs = Attrs;
  Ctx.AttrCapacity = 16;
  Ctx.TabChar = 0xBB;  // shows the tab's first column
  ASSERT_TRUE(K.Kernel->EkGetLineContents(&K.View, 1, &Ctx));
  EXPECT_EQ(std::string(Buf, Ctx.LineLength), "a\xC2\xBB      b\xE6\x97\xA5z");
  ASSERT_EQ(+Ctx.NAttrs, 3);
  EXPECT_EQ(+Attrs[0].MarkAttr, maNone);
  EXPECT_EQ(+Attrs[0].ToCol, 1);
  EXPECT_EQ(+Attrs[1].MarkAttr, maBlock);
  EXPECT_EQ(+Attrs[1].ToCol, 9);
  EXPECT_FALSE(K.Kernel->EkGetLineContents(&K.View, 3, &Ctx));
  ASSERT_TRUE(K.Kernel->EkBeginPaint(&K.View, nullptr));
  EXPECT_EQ(+K.View.LVec[0].RepaintFlags, 0u);  // painted already
}

TEST(KernelTokens, TablesHashWordsAndRegistrationsAreCounted) {
  TEkInstance* I = EK_INIT(EkKernelVersion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr);
  const char* Words[] = {"BEGIN", "END", "IF"};
  TEkSymbolTable Table{};
  ASSERT_TRUE(I->EkBuildTables(&Table, Words, 3, 101, false, 7));
  EXPECT_EQ(+Table.MinLength, 2);
  EXPECT_EQ(+Table.MaxLength, 5);
  I->EkFreeTables(&Table, 1);
  EXPECT_EQ(+Table.HashTable, nullptr);
  uint8_t Id = I->EkMakeSyntaxID();
  EXPECT_GT(I->EkMakeSyntaxID(), Id);
  EXPECT_FALSE(I->EkTokenizerIsRegistered(250));
}

}  // namespace
}  // namespace nxs::ektest
