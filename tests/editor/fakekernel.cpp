// The recording kernel.
#include "fakekernel.h"

#include <cstring>

namespace nxs::test {

namespace {

TEkInstance* FakeInit(uint32_t Version, TEkMalloc, TEkFree, TEkMemMove, TEkCharMap, TEkCharMap, TEkCharTest,
                      TEkCharTest, TEkCharTest, TEkCharTest, TEkCharProbe, TEkCharProbe) {
  return Version == EkKernelVersion ? &TFakeKernel::Get().Instance : nullptr;
}

bool FakeNew(PEditorBuffer, PEkView View, uint32_t) {
  View->Editor = &TFakeKernel::Get().Buffer;
  return true;
}

void FakeEnd(PEkView View) { View->Editor = nullptr; }

template <class T>
T ArgsOf(const TRecordedCommand& C) {
  T A;
  std::memcpy(&A, C.Args.data(), sizeof A);
  return A;
}

uint16_t FakeEval(PEkView, TEdCmd* Script, uint32_t Length) {
  TFakeKernel& K = TFakeKernel::Get();
  auto* P = reinterpret_cast<uint8_t*>(Script);
  std::vector<TRecordedCommand> Commands;
  uint32_t At = 0;
  uint16_t Status = 0;
  while (At + 2 <= Length) {
    const uint8_t Op = P[At];
    const int Size = EkArgumentSize(Op);
    TRecordedCommand C{Op, std::vector<uint8_t>(P + At + 2, P + At + 2 + (Size > 0 ? Size : 0))};
    Commands.push_back(C);
    P[At + 1] = K.StatusForOp[Op];
    if (K.StatusForOp[Op] && !Status) Status = K.StatusForOp[Op];
    switch (Op) {
      case ekGetUndoGroup: {
        auto A = ArgsOf<TGetUndoGroupArgs>(C);
        *A.Group = K.UndoGroup;
        *A.Started = K.GroupStarted;
        break;
      }
      case ekSetUndoGroup: K.UndoGroup = ArgsOf<TUndoGroupArgs>(C).Group; K.GroupStarted = 0; break;
      case ekAttachTrackTable: {
        auto A = ArgsOf<TAddTrackTableArgs>(C);
        K.TrackTable = A.Table;
        K.TrackProc = A.TrackProc;
        K.TrackContext = A.Context;
        break;
      }
      case ekStartUndoGroup: K.GroupStarted = 1; break;
      case ekEndMacroStep: K.GroupStarted = 0; break;
      case ekGetUndoLimit: {
        uint32_t* Target;
        std::memcpy(&Target, C.Args.data(), sizeof Target);
        std::memcpy(Target, &K.UndoLimit, sizeof K.UndoLimit);
        break;
      }
      case ekSetUndoLimit: {
        // Read from the script itself: an earlier command may have written the value there.
        uint32_t Limit;
        std::memcpy(&Limit, P + At + 2, sizeof Limit);
        K.LimitsSet.push_back(Limit);
        K.UndoLimit = Limit;
        break;
      }
    }
    At += 2 + static_cast<uint32_t>(Size > 0 ? Size : 0);
    if (Op == ekEnd || Op == ekEndScript || Op == ekEndMacroStep) break;
  }
  K.Scripts.push_back(std::move(Commands));
  return Status;
}

class TFakeLibrary : public IEditorKernelLibrary {
 public:
  bool Load(const std::string&, std::string&) override { return true; }
  TEkInitProc GetEntry(const std::string& Name) override { return Name == "EK_INIT" ? &FakeInit : nullptr; }
  void Free() override {}
};

}  // namespace

TFakeKernel& TFakeKernel::Get() {
  static TFakeKernel K;
  return K;
}

void TFakeKernel::Start() {
  Scripts.clear();
  LimitsSet.clear();
  UndoGroup = ugGroupWithNone;
  GroupStarted = 0;
  std::memset(StatusForOp, 0, sizeof StatusForOp);
  Buffer = TEditorBuffer{};
  Instance = TEkInstance{};
  Instance.EkVersion = EkKernelVersion;
  Instance.EkNew = &FakeNew;
  Instance.EkEval = &FakeEval;
  Instance.EkEnd = &FakeEnd;
  SetEditorKernelLibrary(std::make_shared<TFakeLibrary>());
  InitEditorKernel();
}

void TFakeKernel::Stop() {
  DoneEditorKernel();
  SetEditorKernelLibrary(nullptr);
}

std::vector<uint8_t> TFakeKernel::Ops(size_t N) const {
  std::vector<uint8_t> R;
  for (const auto& C : Scripts.at(N)) R.push_back(C.Op);
  return R;
}

std::vector<uint8_t> TFakeKernel::AllOps() const {
  std::vector<uint8_t> R;
  for (size_t I = 0; I < Scripts.size(); ++I)
    for (uint8_t Op : Ops(I)) R.push_back(Op);
  return R;
}

}  // namespace nxs::test
