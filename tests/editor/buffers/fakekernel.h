// A stand-in kernel library for the start-up tests: it starts, makes views on one buffer
// record and accepts every script, so that what the start-up layer does around the kernel
// (counting, locking, the modified event) shows on its own.
#pragma once

#include "editor/buffers/ekinit.h"

namespace nxs::test {

struct TFakeKernel {
  static TFakeKernel& Get();
  // Installs the fake as the kernel library and starts the kernel with it.
  void Start();
  void Stop();

  TEditorBuffer Buffer{};
  TEkInstance Instance{};
};

}  // namespace nxs::test
