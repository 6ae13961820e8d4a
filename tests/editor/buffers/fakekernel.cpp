// The stand-in kernel library.
#include "fakekernel.h"

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

uint16_t FakeEval(PEkView, TEdCmd*, uint32_t) { return 0; }

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

}  // namespace nxs::test
