// Shared set-up of the desktop and layout tests: the module tests' scratch folder and module
// layer, with settings and layouts of the test's own (tests run side by side) and the
// desktop handlers registered as start-up registers them.
#pragma once

#include <cstdlib>

#include "environment/desktop.h"
#include "modules/moduletest.h"
#include "shared/settings.h"

namespace nxs::test {

class DesktopTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    setenv("NXS_SETTINGS_DIR", (Dir / "settings").c_str(), 1);
    setenv("XDG_DATA_HOME", (Dir / "data").c_str(), 1);
    ResetSettingsStore();
    InitDesktop();
  }
  void TearDown() override {
    FreeModules(true);
    DoneDesktop();
    ModuleTest::TearDown();
    ResetSettingsStore();
  }
};

}  // namespace nxs::test
