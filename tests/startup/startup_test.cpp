#include "startup/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "build/engine/tasks.h"
#include "build/msbridge.h"
#include "editor/buffers/ekinit.h"
#include "editor/language/highlight.h"
#include "editor/language/parsethread.h"
#include "editor/language/regions.h"
#include "modules/modulelist.h"
#include "modules/openhandlers.h"
#include "modules/sourcemodule.h"
#include "packages/designpkgs.h"
#include "projectfiles/macros.h"
#include "projects/containers.h"
#include "projects/project.h"
#include "shared/install.h"
#include "shared/settings.h"
#include "support/errorof.h"
#include "support/tempdir.h"

namespace nxs::test {
namespace {

bool TaskRegistered(const std::string& Name) {
  engine::TTaskFunction Task;
  return engine::FindTask(Name, Task);
}

// Whether a kernel started now has the generic highlighters beside the built-in ones.
bool KernelFindsGenericHighlighters() {
  InitEditorKernel();
  const bool Found = HighlightManager().LookupHighlighter(std::string_view("Tarvos.Highlighter.HTML")) >= 0 &&
                     HighlightManager().LookupHighlighter(std::string_view("Tarvos.Highlighter.Pascal")) >= 0;
  DoneEditorKernel();
  return Found;
}

// What start-up registers, as the libraries see it.
struct TRegistrations {
  bool CompileTasks = TaskRegistered("PascalCompiler") && TaskRegistered("CppCompiler") &&
                      TaskRegistered("EvaluateProperties") && TaskRegistered("Exec") &&
                      TaskRegistered("LockIntermediateDir");
  bool HostObjects = nxs::HostObjects().count("CppCompiler") > 0;
  bool Macros = IDEMacros().FindMacro("IntermediateDir", nullptr) != nullptr;
  bool Highlighters = KernelFindsGenericHighlighters();
  bool RegionServices = RegionServicesRegistry().ServicesForFile("/src/unit1.pas") != nullptr &&
                        RegionServicesRegistry().ServicesForFile("/src/main.cpp") != nullptr;
  bool OpenHandlers = nxs::OpenHandlers().size() == ProjectOpenHandlers().size() &&
                      DefaultFileHandler() == &SourceOpenHandler();
  bool ContainerCreators = ContainerManager().Initialized();
  bool DirectoryServices = static_cast<bool>(DocModuleHooks().DefaultDirectory);
};

TEST(Startup, RegistersEachServiceOnceAndTakesEveryRegistrationBackAtShutdown) {
  ASSERT_FALSE(SystemStarted());
  const TRegistrations Before;
  EXPECT_FALSE(Before.CompileTasks);
  EXPECT_FALSE(Before.HostObjects);
  EXPECT_FALSE(Before.Macros);
  EXPECT_FALSE(Before.Highlighters);
  EXPECT_FALSE(Before.RegionServices);
  EXPECT_FALSE(Before.OpenHandlers);
  EXPECT_FALSE(Before.ContainerCreators);
  EXPECT_FALSE(Before.DirectoryServices);
  {
    TSystemStartup System;
    EXPECT_TRUE(SystemStarted());
    const TRegistrations Up;
    EXPECT_TRUE(Up.CompileTasks);
    EXPECT_TRUE(Up.HostObjects);
    EXPECT_TRUE(Up.Macros);
    EXPECT_TRUE(Up.Highlighters);
    EXPECT_TRUE(Up.RegionServices);
  EXPECT_TRUE(Up.OpenHandlers);
  EXPECT_TRUE(Up.ContainerCreators);
  EXPECT_TRUE(Up.DirectoryServices);
    // A file's parser is found without the parse thread: a command that only parses one file
    // does not start it.
    EXPECT_FALSE(ParseThreadRunning());
  }
  EXPECT_FALSE(SystemStarted());
  const TRegistrations After;
  EXPECT_FALSE(After.CompileTasks);
  EXPECT_FALSE(After.HostObjects);
  EXPECT_FALSE(After.Macros);
  EXPECT_FALSE(After.Highlighters);
  EXPECT_FALSE(After.RegionServices);
  EXPECT_FALSE(After.OpenHandlers);
  EXPECT_FALSE(After.ContainerCreators);
  EXPECT_FALSE(After.DirectoryServices);
  EXPECT_EQ(0, RegionServicesRegistry().Count());
}

TEST(Startup, ASecondStartIsRefusedAndAStartAfterShutdownWiresTheSystemAgain) {
  {
    TSystemStartup System;
    const std::vector<std::string> Steps = StartedSteps();
    EXPECT_EQ(ErrorOf([] { StartSystem(); }),
              "The system is started already; shut it down before starting it again");
    // The refused start left the running system as it was.
    EXPECT_EQ(StartedSteps(), Steps);
    EXPECT_TRUE(TRegistrations().CompileTasks);
  }
  ShutdownSystem();  // a second shutdown does nothing
  TSystemStartup Again;
  const TRegistrations Up;
  EXPECT_TRUE(Up.CompileTasks);
  EXPECT_TRUE(Up.Macros);
  EXPECT_TRUE(Up.Highlighters);
}

TEST(Startup, ShutdownTakesTheStepsDownInTheReverseOrderOfStartUp) {
  std::vector<std::pair<std::string, bool>> Trace;
  SetStartupTrace([&](std::string_view Step, bool Starting) { Trace.emplace_back(Step, Starting); });
  std::vector<std::string> Started;
  {
    TSystemStartup System;
    Started = StartedSteps();
  }
  SetStartupTrace(nullptr);
  const std::vector<std::string> Expected = {"cancel key",
                                             "message lines",
                                             "build host",
                                             "compile tasks",
                                             "environment variables",
                                             "debugger",
                                             "packages",
                                             "open handlers",
                                             "container creators",
                                             "highlighters",
                                             "module directory services",
                                             "region services",
                                             "open buffer text",
                                             "desktop handlers",
                                             "debugger line marks",
                                             "autorecover"};
  EXPECT_EQ(Started, Expected);
  std::vector<std::pair<std::string, bool>> Want;
  for (const std::string& Step : Expected) Want.emplace_back(Step, true);
  for (auto It = Expected.rbegin(); It != Expected.rend(); ++It) Want.emplace_back(*It, false);
  EXPECT_EQ(Trace, Want);
  EXPECT_TRUE(StartedSteps().empty());
}

TEST(Startup, ASessionsOwnHandlersLeaveTheStartupsInPlaceAndSavesStartWhereTheLastUnnamedOneWent) {
  TSystemStartup System;
  // A session registers the handlers too; its end leaves those of the running system.
  InitProjects();
  DoneProjects();
  EXPECT_TRUE(TRegistrations().OpenHandlers);
  TTempDir Dir;
  EXPECT_EQ(DocModuleHooks().DefaultDirectory(), DefaultModuleDirectory());
  DocModuleHooks().LastSaveDirectory(Dir.Path());
  EXPECT_EQ(DocModuleHooks().DefaultDirectory(), Dir.Path());
}

TEST(Startup, LeavingTheScopeByAnExceptionShutsTheSystemDown) {
  EXPECT_EQ(ErrorOf([] {
              TSystemStartup System;
              throw Exception("stop");
            }),
            "stop");
  EXPECT_FALSE(SystemStarted());
  EXPECT_FALSE(TRegistrations().CompileTasks);
}

TEST(Startup, PublishesTheVariablesPackagesFindLoadsThemAndUnloadsThemAtShutdown) {
  TTempDir Dir;
  SetPublishedVariable("NXS_TEST_PACKAGES", NXS_TEST_PACKAGES_DIR);
  ::unsetenv("NXSLIB");
  ::unsetenv("NXSPROJECTSDIR");
  SettingsStore().WriteString("Globals", "DefaultProjectsDirectory", Dir / "$(NXS_TEST_PACKAGES)x/Projects");
  SettingsStore().WriteString("IDEPackages", "$(NXS_TEST_PACKAGES)/testpkg_ok.so", "");
  {
    TStartupOptions Options;
    Options.LoadPackages = true;
    TSystemStartup System(Options);
    EXPECT_EQ(GetEnvironmentVariable("ProductVersion"), "20.0");
    EXPECT_EQ(GetEnvironmentVariable("NXSPROJECTSDIR"), Dir / NXS_TEST_PACKAGES_DIR "x/Projects");
    EXPECT_TRUE(std::filesystem::is_directory(Dir / NXS_TEST_PACKAGES_DIR "x/Projects"));
    for (const char* Name : {"NXSUSERDIR", "NXSCOMMONDIR", "NXSLIB", "NXSINCLUDE"})
      EXPECT_FALSE(GetEnvironmentVariable(Name).value_or("").empty()) << Name;
    ASSERT_EQ(Packages().GetCount(), 1);
    EXPECT_TRUE(Packages().GetPackages(0)->GetInstalled());
  }
  EXPECT_EQ(Packages().GetCount(), 0);
  EXPECT_FALSE(GetEnvironmentVariable("NXSLIB").has_value());
  // Without packages, the list is left alone.
  TSystemStartup Plain;
  EXPECT_EQ(Packages().GetCount(), 0);
  SettingsStore().EraseSection("IDEPackages");
  SettingsStore().EraseSection("Globals");
}

}  // namespace
}  // namespace nxs::test
