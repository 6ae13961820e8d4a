// A kernel view for tests: loads and saves text through scripts and runs scripts on it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "editor/kernel/ek.h"

namespace nxs::ektest {

struct TStringSource {
  std::string_view Text;
  size_t At = 0;
  size_t Step = 1 << 20;
  static int32_t Read(void* Context, char* Buffer, int32_t Count) {
    auto* S = static_cast<TStringSource*>(Context);
    size_t N = std::min({static_cast<size_t>(Count), S->Text.size() - S->At, S->Step});
    std::copy(S->Text.begin() + S->At, S->Text.begin() + S->At + N, Buffer);
    S->At += N;
    return static_cast<int32_t>(N);
  }
};

inline int32_t AppendTo(void* Context, const char* Buffer, int32_t Count) {
  static_cast<std::string*>(Context)->append(Buffer, static_cast<size_t>(Count));
  return Count;
}

class TKernelView {
 public:
  TKernelView() {
    Kernel = EK_INIT(EkKernelVersion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_TRUE(Kernel && Kernel->EkNew(nullptr, &View, 0));
  }
  ~TKernelView() { Kernel->EkEnd(&View); }
  TKernelView(const TKernelView&) = delete;
  TKernelView& operator=(const TKernelView&) = delete;

  uint16_t Eval(TEkScript& S) { return Kernel->EkEval(&View, S.Data(), S.Length()); }
  // Runs one command and the end of a macro step.
  template <class TArgs>
  uint16_t Run(TEkOp Op, const TArgs& Args) {
    TEkScript S;
    S.Add(Op, Args);
    S.EndMacroStep();
    return Eval(S);
  }
  uint16_t Run(TEkOp Op) { return Run(Op, TEkNoArgs{}); }

  void Load(std::string_view Text, size_t Step = 1 << 20) {
    TStringSource Source{Text, 0, Step};
    ASSERT_EQ(Run(ekReadBuffer, TReadBufferArgs{&TStringSource::Read, &Source}), 0);
  }
  std::string Save(bool PreserveEnds = true) {
    std::string Out;
    EXPECT_EQ(Run(ekWriteBuffer, TWriteBufferArgs{&AppendTo, &Out, PreserveEnds, 0}), 0);
    return Out;
  }
  uint16_t Type(std::string_view Text) { return Run(ekInsertString, TStringArgs{Text.data(), static_cast<uint32_t>(Text.size())}); }
  uint16_t Goto(int Line, int Col) { return Run(ekGotoLineCol, TGotoLineColArgs{TEdPos{static_cast<int32_t>(Col), Line}, 1}); }
  std::string Line(int N) {
    char Buf[4096];
    uint32_t Len = 0;
    EXPECT_EQ(Run(ekGetLineText, TGetLineTextArgs{N, Buf, sizeof Buf, &Len}), 0);
    return std::string(Buf, Len);
  }
  uint8_t Query(uint8_t Q) {
    uint8_t R = 0xFF;
    EXPECT_EQ(Run(ekQuery, TQueryArgs{Q, 1, &R}), 0);
    return R;
  }
  TEditorBuffer& Buffer() { return *View.Editor; }

  TEkInstance* Kernel = nullptr;
  TEkView View{};
};

}  // namespace nxs::ektest
