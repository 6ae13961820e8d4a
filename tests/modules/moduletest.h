// Shared set-up of the module tests: a scratch folder, a fresh module layer, scripted answers
// to the questions the modules ask, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "modules/closedfiles.h"
#include "modules/filehist.h"
#include "modules/modulelist.h"
#include "modules/sourcemodule.h"
#include "shared/dialogs.h"
#include "shared/fileio.h"
#include "support/files.h"
#include "support/questions.h"
#include "support/tempdir.h"

namespace nxs::test {

// Types Text at the start of the module's main buffer, as a user in its editor would.
inline void TypeInto(TSourceModule& M, const std::string& Text) {
  TEditView& V = M.ShowEditor();
  InsertString(V.EkView(), Text);
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFileSystem(nullptr);
    FileHistorySettings() = TFileHistorySettings{};
    Q = std::make_shared<TScriptedQuestions>();
    SetQuestions(Q);
    InitSourceModules();
  }
  void TearDown() override {
    DoneSourceModules();
    ClosedFiles().FreeClosedFileLists();
    SetQuestions(nullptr);
    DocModuleHooks() = TDocModuleHooks{};
    FileHistorySettings() = TFileHistorySettings{};
  }

  TSourceModule* Open(const std::string& Name) {
    return dynamic_cast<TSourceModule*>(OpenFile(Dir / Name, true, true));
  }

  TTempDir Dir;
  std::shared_ptr<TScriptedQuestions> Q;
};

}  // namespace nxs::test
