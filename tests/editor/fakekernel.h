// A stand-in kernel for the command-layer tests: records every script it is given and
// answers the few operations the tests need.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editor/ekinit.h"

namespace nxs::test {

struct TRecordedCommand {
  uint8_t Op;
  std::vector<uint8_t> Args;
};

struct TFakeKernel {
  static TFakeKernel& Get();
  // Installs the fake as the kernel library and starts the kernel with it.
  void Start();
  void Stop();

  std::vector<std::vector<TRecordedCommand>> Scripts;
  uint8_t UndoGroup = ugGroupWithNone;
  uint8_t GroupStarted = 0;
  uint32_t UndoLimit = 100;
  std::vector<uint32_t> LimitsSet;
  uint8_t StatusForOp[256] = {};
  TEditorBuffer Buffer{};
  void* TrackTable = nullptr;  // the last table attached
  TEkTrackProc TrackProc = nullptr;
  void* TrackContext = nullptr;
  TEkInstance Instance{};

  // Operation codes of script N, end commands included.
  std::vector<uint8_t> Ops(size_t N) const;
  std::vector<uint8_t> AllOps() const;
};

}  // namespace nxs::test
