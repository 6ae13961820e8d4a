// Kernel start-up: failures with their messages, reference counting, the serialised entry.
#include "editor/buffers/ekinit.h"

#include <gtest/gtest.h>

#include "editor/buffers/resstrings.h"
#include "fakekernel.h"

namespace nxs {
namespace {

class TBrokenLibrary : public IEditorKernelLibrary {
 public:
  enum TFault { NotLoadable, NoEntry, WrongVersion };
  explicit TBrokenLibrary(TFault Fault) : FFault(Fault) {}
  bool Load(const std::string&, std::string& Error) override {
    if (FFault != NotLoadable) return true;
    Error = "No such file or directory";
    return false;
  }
  TEkInitProc GetEntry(const std::string&) override { return FFault == NoEntry ? nullptr : &Refuse; }
  void Free() override { ++Freed; }
  int Freed = 0;

 private:
  static TEkInstance* Refuse(uint32_t, TEkMalloc, TEkFree, TEkMemMove, TEkCharMap, TEkCharMap, TEkCharTest,
                             TEkCharTest, TEkCharTest, TEkCharTest, TEkCharProbe, TEkCharProbe) {
    return nullptr;
  }
  TFault FFault;
};

std::string StartFailure(TBrokenLibrary::TFault Fault, int* Freed = nullptr) {
  auto Lib = std::make_shared<TBrokenLibrary>(Fault);
  SetEditorKernelLibrary(Lib);
  std::string Message;
  try {
    InitEditorKernel();
    DoneEditorKernel();
  } catch (const EEditorError& E) {
    Message = E.Message();
  }
  SetEditorKernelLibrary(nullptr);
  if (Freed) *Freed = Lib->Freed;
  EXPECT_FALSE(EditorKernelRunning());
  return Message;
}

TEST(EditorKernelStartup, ReportsEachFailureAndFreesTheLibrary) {
  EXPECT_EQ(StartFailure(TBrokenLibrary::NotLoadable), "Can't load tvseditu.dll.\nNo such file or directory");
  int Freed = 0;
  EXPECT_EQ(StartFailure(TBrokenLibrary::NoEntry, &Freed), "Can't get EK_INIT");
  EXPECT_EQ(Freed, 1);
  EXPECT_EQ(StartFailure(TBrokenLibrary::WrongVersion, &Freed), "Loaded wrong version of tvseditu.dll");
  EXPECT_EQ(Freed, 1);
}

TEST(EditorKernelStartup, OnlyTheFirstCallStartsAndTheLastStops) {
  test::TFakeKernel& K = test::TFakeKernel::Get();
  int HookRuns = 0;
  SetEditorKernelStartupHook([&](TEkInstance&) { ++HookRuns; });
  K.Start();
  InitEditorKernel();
  EXPECT_EQ(HookRuns, 1);
  DoneEditorKernel();
  EXPECT_TRUE(EditorKernelRunning());
  K.Stop();
  EXPECT_FALSE(EditorKernelRunning());
  SetEditorKernelStartupHook(nullptr);
}

TEST(EditorKernelStartup, NewEditorFailsWithoutAKernel) {
  TEkView View{};
  try {
    NewEditor(nullptr, &View);
    FAIL() << "expected an error";
  } catch (const EEditorError& E) {
    EXPECT_EQ(E.Message(), res::SCantCreateEditorBuffer);
  }
}

TEST(EditorKernelStartup, ScriptsThatLeaveTheNotifyBitSendTheModifiedEvent) {
  test::TFakeKernel& K = test::TFakeKernel::Get();
  K.Start();
  TEkView View{};
  NewEditor(nullptr, &View);
  int Sent = 0;
  EvEditBufferModified().Add(&Sent, [&](TEvEditBufferModified& A) {
    ++Sent;
    EXPECT_EQ(A.Buffer, &K.Buffer);
  });
  TEkScript S;
  S.End();
  EkEval(&View, S.Data(), S.Length());
  EXPECT_EQ(Sent, 0);
  K.Buffer.ModifyFlags = mfModified | mfModifiedNotify;
  const uint64_t Calls = APICount;
  EkEval(&View, S.Data(), S.Length());
  EXPECT_EQ(Sent, 1);
  EXPECT_EQ(APICount, Calls + 1);
  EXPECT_EQ(K.Buffer.ModifyFlags, mfModified);
  EkEval(&View, S.Data(), S.Length());
  EXPECT_EQ(Sent, 1);  // told once
  EvEditBufferModified().Remove(&Sent);
  KillEditor(&View);
  K.Stop();
}

TEST(EditorKernelStartup, WorkAfterAScriptThatIsCancelledByEarlierWorkDoesNotRun) {
  test::TFakeKernel& K = test::TFakeKernel::Get();
  K.Start();
  TEkView View{};
  NewEditor(nullptr, &View);
  // The first item ends the owner of the second, as a sync edit that ends frees its tracker
  // whose report was queued by the same script.
  int Owner = 0, Ran = 0;
  QueueAfterEval(&View, [&] { CancelAfterEval(&Owner); });
  QueueAfterEval(&Owner, [&] { ++Ran; });
  TEkScript S;
  S.End();
  EkEval(&View, S.Data(), S.Length());
  EXPECT_EQ(Ran, 0);
  KillEditor(&View);
  K.Stop();
}

}  // namespace
}  // namespace nxs
