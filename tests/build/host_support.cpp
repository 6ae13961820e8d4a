#include "hostsupport.h"

#include <cstdlib>
#include <functional>
#include <thread>

#include "build/messages/filesvc.h"
#include "build/progress.h"
#include "options/envoptions.h"
#include "shared/mainthread.h"
#include "support/wait.h"
#include "shared/settings.h"

namespace nxs::test {

void BuildHostTest::SetUp() {
  ::setenv("NXS_SETTINGS_DIR", (Dir / "settings").c_str(), 1);
  ResetSettingsStore();
  ResetEnvironmentOptions();
  MainThreadQueue().SetMainThread();
  ResetBuildHost();
  ResetProgressMonitor();
  LineBufferList().ClearAll();
}

void BuildHostTest::TearDown() {
  if (BuildHost().Building()) BuildHost().WaitForBuild();
  WaitForBackgroundCompile();
  MainThreadQueue().ProcessPending();
  ResetBuildHost();
  ResetProgressMonitor();
  LineBufferList().ClearAll();
  ResetEnvironmentOptions();
  ResetSettingsStore();
}

void BuildHostTest::SetCompiling(const char* Name, bool Value) {
  EnvironmentOptions().Compiling().SetValue(Name, TOptionValue(Value));
}

void RunOffMainThread(const std::function<void()>& Fn) {
  std::atomic<bool> Done{false};
  std::thread T([&] {
    Fn();
    Done = true;
    MainThreadQueue().Queue([] {});
  });
  ASSERT_TRUE(PumpUntil([&] { return Done.load(); })) << "the call off the main thread did not return";
  T.join();
}

std::vector<std::string> BuildHostTest::GroupLines(const std::string& Group) {
  std::vector<std::string> Lines;
  TLineBuffer* G = LineBufferList().GetGroup(Group);
  if (!G) return Lines;
  std::function<void(const TLine&, int)> Add = [&](const TLine& L, int Depth) {
    Lines.push_back(std::string(static_cast<size_t>(Depth) * 2, ' ') + L.GetLineText());
    for (int I = 0; I < L.GetChildCount(); ++I) Add(*L.GetChild(I), Depth + 1);
  };
  for (int I = 0; I < G->GetCount(); ++I) Add(*G->GetLines(I), 0);
  return Lines;
}

}  // namespace nxs::test
