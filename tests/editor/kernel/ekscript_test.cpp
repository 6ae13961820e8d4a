// Command scripts: validation of every byte, end codes, conditionals and the operation table.
#include <gtest/gtest.h>

#include <cstring>

#include "editor/kernel/ekfixture.h"

namespace nxs::ektest {
namespace {

TEST(KernelScript, UnknownOperationStopsWithItsStatus) {
  TKernelView K;
  uint8_t Script[] = {0x35, 0, 0, 0};  // truncated InsertString
  EXPECT_EQ(K.Kernel->EkEval(&K.View, reinterpret_cast<TEdCmd*>(Script), sizeof Script), erTruncated);
  EXPECT_EQ(Script[1], erTruncated);
  uint8_t Unknown[] = {0xEE, 0, 0x21, 0};
  EXPECT_EQ(K.Kernel->EkEval(&K.View, reinterpret_cast<TEdCmd*>(Unknown), sizeof Unknown), erUnknownOp);
  EXPECT_EQ(Unknown[1], erUnknownOp);
  // A header cut in half, and a script without an end, are both refused cleanly.
  uint8_t Half[] = {0x1E};
  EXPECT_EQ(K.Kernel->EkEval(&K.View, reinterpret_cast<TEdCmd*>(Half), sizeof Half), erTruncated);
  uint8_t NoEnd[] = {0x1E, 0};
  EXPECT_EQ(K.Kernel->EkEval(&K.View, reinterpret_cast<TEdCmd*>(NoEnd), sizeof NoEnd), erTruncated);
}

TEST(KernelScript, EndCodesStopTheScript) {
  TKernelView K;
  for (TEkOp End : {ekEnd, ekEndScript, ekEndMacroStep}) {
    K.Load("abc");
    TEkScript S;
    S.Add(End);
    std::string T = "x";
    S.Add(ekInsertString, TStringArgs{T.data(), 1});
    EXPECT_EQ(K.Eval(S), 0);
    EXPECT_EQ(K.Save(), "abc");
  }
}

TEST(KernelScript, FailingCommandStopsTheRestAndReportsItsResult) {
  TKernelView K;
  K.Load("abc");
  TEkScript S;
  size_t Undo = S.Add(ekUndo);  // nothing to undo
  std::string T = "x";
  S.Add(ekInsertString, TStringArgs{T.data(), 1});
  S.End();
  EXPECT_EQ(K.Eval(S), erNotFound);
  EXPECT_EQ(S.Result(Undo), erNotFound);
  EXPECT_EQ(K.Save(), "abc");
}

TEST(KernelScript, ConditionalRunsThenOrElseBranch) {
  TKernelView K;
  K.Load("abc");
  std::string Yes = "Y", No = "N";
  auto Script = [&]() {
    TEkScript S;
    S.Add(ekIf, TIfArgs{qCursorAtBOL, 1, 1, 1});
    S.Add(ekInsertString, TStringArgs{Yes.data(), 1});
    S.Add(ekInsertString, TStringArgs{No.data(), 1});
    S.EndMacroStep();
    return S;
  };
  TEkScript First = Script();
  EXPECT_EQ(K.Eval(First), 0);  // at the line start: then
  TEkScript Second = Script();
  EXPECT_EQ(K.Eval(Second), 0);  // no longer: else
  EXPECT_EQ(K.Save(), "YNabc");
}

TEST(KernelScript, NestedConditionalCountsAsOneCommand) {
  TKernelView K;
  K.Load("abc");
  std::string A = "A", B = "B", C = "C";
  TEkScript S;
  S.Add(ekIf, TIfArgs{qCursorAtBOL, 0, 1, 1});   // false: skip the nested If with its branches
  S.Add(ekIf, TIfArgs{qCursorAtBOL, 1, 1, 1});
  S.Add(ekInsertString, TStringArgs{A.data(), 1});
  S.Add(ekInsertString, TStringArgs{B.data(), 1});
  S.Add(ekInsertString, TStringArgs{C.data(), 1});  // the else branch of the outer If
  S.End();
  EXPECT_EQ(K.Eval(S), 0);
  EXPECT_EQ(K.Save(), "Cabc");
}

TEST(KernelScript, ClearUndoBufferScriptReadsSetsAndRestoresTheLimit) {
  // 52 writes the limit into the third command's argument, which then restores it.
  TKernelView K;
  K.Load("abc");
  K.Type("x");
  TEkScript S;
  size_t Get = S.Add(ekGetUndoLimit, TGetLimitArgs{nullptr});
  S.Add(ekSetUndoLimit, TSetLimitArgs{0});
  size_t Restore = S.Add(ekSetUndoLimit, TSetLimitArgs{0});
  S.EndMacroStep();
  S.Args<TGetLimitArgs>(Get)->Limit = &S.Args<TSetLimitArgs>(Restore)->Limit;
  EXPECT_EQ(K.Eval(S), 0);
  EXPECT_EQ(+K.Buffer().UndoAvailable, 0);
  uint32_t Limit = 0;
  EXPECT_EQ(K.Run(ekGetUndoLimit, TGetLimitArgs{&Limit}), 0);
  EXPECT_EQ(Limit, 32767u);
}

TEST(KernelScript, EveryListedOperationHasAHandler) {
  // Zeroed arguments: any result but "unknown operation" shows that the dispatcher knows the code.
  for (int Op = 0; Op < 256; ++Op) {
    int Size = EkArgumentSize(static_cast<uint8_t>(Op));
    if (Size < 0 || Op == ekIf) continue;
    TKernelView K;
    K.Load("one\ntwo\n");
    std::vector<uint8_t> Script(2 + static_cast<size_t>(Size), 0);
    Script[0] = static_cast<uint8_t>(Op);
    Script.push_back(ekEndScript);
    Script.push_back(0);
    uint16_t Status = K.Kernel->EkEval(&K.View, reinterpret_cast<TEdCmd*>(Script.data()), static_cast<uint32_t>(Script.size()));
    EXPECT_NE(Status, erUnknownOp) << EkOpName(static_cast<uint8_t>(Op));
    EXPECT_NE(Status, erInternal) << EkOpName(static_cast<uint8_t>(Op));
  }
}

TEST(KernelScript, ViewsTheKernelDidNotMakeAreRefused) {
  TKernelView K;
  TEkView Stranger{};
  TEkScript S;
  S.Add(ekHomeCursor);
  S.End();
  EXPECT_EQ(K.Kernel->EkEval(&Stranger, S.Data(), S.Length()), erNoView);
  EXPECT_EQ(K.Kernel->EkEval(nullptr, S.Data(), S.Length()), erNoView);
  K.Kernel->EkEnd(&Stranger);  // ignored
}

TEST(KernelScript, WrongVersionGetsNoTable) {
  EXPECT_EQ(EK_INIT(0x1000000, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr),
            nullptr);
}

TEST(KernelScript, CommandMapNamesBuildScripts) {
  auto Ref = EkFindCommand("cursordown");
  ASSERT_TRUE(Ref);
  EXPECT_EQ(+Ref->Class, 0x03);
  EXPECT_EQ(+Ref->Code, 0x15);
  EXPECT_EQ(EkFindCommand("UnDo")->Extra, -1);
  EXPECT_FALSE(EkFindCommand("NoSuchCommand"));
  TKernelView K;
  K.Load("one two");
  TEkScript S;
  ASSERT_TRUE(S.AddMapCommand(*EkFindCommand("CursorRightSkipWord")));
  ASSERT_TRUE(S.AddMapCommand(*EkFindCommand("SetBlockBeg")));
  ASSERT_TRUE(S.AddMapCommand(*EkFindCommand("ToggleInsert")));
  S.End();
  EXPECT_EQ(K.Eval(S), 0);
  EXPECT_EQ(+K.View.Cursor.Col, 4);
  EXPECT_EQ(K.Buffer().EdModes & emInsert, 0u);
}

}  // namespace
}  // namespace nxs::ektest
