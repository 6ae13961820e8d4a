// Shared set-up of the debugger tests: a manager over a scratch settings file, scripted
// answers to its questions, a fake kernel and the program files it runs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "debugger/breakpoints.h"
#include "debugger/debugmgr.h"
#include "fakekernel.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "support/files.h"
#include "support/questions.h"
#include "support/tempdir.h"
#include "support/wait.h"

namespace nxs::test {

class DebuggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MainThreadQueue().SetMainThread();
    Q = std::make_shared<TScriptedQuestions>();
    SetQuestions(Q);
    Store = std::make_unique<TSettingsStore>(Dir.Path() + "/settings.ini");
    Mgr = std::make_unique<TDebuggerMgr>(*Store);
  }
  void TearDown() override {
    Mgr.reset();
    while (MainThreadQueue().ProcessPending() > 0) {
    }
    SetQuestions(nullptr);
  }

  // A registered fake kernel.
  std::shared_ptr<TFakeKernel> AddKernel(const std::string& Identifier = "fake") {
    auto K = std::make_shared<TFakeKernel>();
    K->FIdentifier = Identifier;
    Mgr->AddDebugger(K);
    return K;
  }
  // Writes a program for the fake kernel; returns its file name.
  std::string Program(const std::string& Text, const std::string& Name = "prog") {
    const std::string File = Dir.Path() + "/" + Name;
    WriteText(File, Text);
    return File;
  }
  // Runs the main thread's queue until the current process is stopped or gone.
  bool WaitForStop() {
    return PumpUntil([&] {
      const TOTAProcessState S = Mgr->GetProcessState();
      return S != psRunning && S != psStepping;
    });
  }

  TTempDir Dir;
  std::shared_ptr<TScriptedQuestions> Q;
  std::unique_ptr<TSettingsStore> Store;
  std::unique_ptr<TDebuggerMgr> Mgr;
};

}  // namespace nxs::test
