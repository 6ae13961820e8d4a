// The folding tests' fixture: a buffer opened on a file written for the test, on the main
// thread, so that parse results queued to it can be applied.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "editor/buffers/editbuffer.h"
#include "editor/kernel/ek.h"
#include "shared/mainthread.h"

namespace nxs::test {

namespace fs = std::filesystem;

class Folding : public ::testing::Test {
 protected:
  void SetUp() override {
    Path = (fs::path(NXS_TEST_TMP) / ("elisions-" + std::to_string(::getpid()) + "-" +
                                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pas"))
               .string();
    fs::create_directories(fs::path(Path).parent_path());
    MainThreadQueue().SetMainThread();
  }
  void TearDown() override {
    Buffer.reset();
    fs::remove(Path);
  }
  PEkView Open(const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
    Buffer = TEditBuffer::Create(Path, true);
    return Buffer->EkView();
  }
  static std::string Lines(int N) {
    std::string S;
    for (int I = 1; I <= N; ++I) S += "line " + std::to_string(I) + "\n";
    return S;
  }
  std::string Path;
  std::shared_ptr<TEditBuffer> Buffer;
};

}  // namespace nxs::test
