#include "host/edrecover.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "host/cmdline.h"
#include "host/edmodules.h"
#include "host/resstrings.h"
#include "modules/autorecover.h"
#include "modules/recoverwindow.h"
#include "options/envoptions.h"
#include "shared/exceptions.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

// The options the session's autorecover follows, read as nxs ed reads them (writing nothing).
TEnvironmentOptions& SessionOptions() {
  static std::unique_ptr<TEnvironmentOptions> Options = [] {
    auto O = std::make_unique<TEnvironmentOptions>(SettingsStore());
    O->SourceOptionGroups().WriteBuiltIns = false;
    O->LoadOptions();
    return O;
  }();
  return *Options;
}

// The process's notifier, started for the session; nullptr where the system runs without it.
TAutoRecoverIDENotifier* StartedNotifier() {
  TAutoRecoverIDENotifier* N = AutoRecover();
  if (N && !N->Started()) {
    N->OnMessage = [](const std::string& M) { std::fprintf(stderr, "nxs: %s\n", M.c_str()); };
    N->OnRecoveredFiles = [] { std::fprintf(stderr, "nxs: %s\n", res::SEdRecoveredFilesWaiting); };
    N->ProductStarted(SessionOptions());
    // The timer runs on the steady clock (AutoRecoverRegister's), between commands and while
    // Wait keeps the session.
    N->SetTimerDriver(MakeMainThreadTimerDriver(N->Timer()));
  }
  return N;
}

}  // namespace

bool RunRecoverCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest) {
  TAutoRecoverIDENotifier* Running = StartedNotifier();
  // A tick that fell due while the session waited for this command runs before it.
  if (Running) Running->Timer().Poll();
  if (Word != "AutoRecoverTick" && Word != "Wait" && Word != "Recover") return false;
  if (!Running) throw Exception(res::SEdAutoRecoverNotRunning);
  TAutoRecoverIDENotifier& N = *Running;
  const std::string Arg = Trim(Rest);
  if (Word == "AutoRecoverTick") {
    if (!Arg.empty()) throw Exception(Format(res::SEdTakesNoArgument, Word));
    std::printf("%d\n", N.TimerExecute());
    return true;
  }
  if (Word == "Wait") {
    const int64_t Seconds = IntArgument<int64_t>(Arg, "SECONDS", 0, 86400);
    const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
    for (auto Now = std::chrono::steady_clock::now(); Now < Until; Now = std::chrono::steady_clock::now()) {
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Until - Now).count();
      MainThreadQueue().WaitAndProcess(static_cast<int>(std::min<int64_t>(Left, 1000)));
    }
    return true;
  }
  if (Word == "Recover") {
    if (Arg.empty()) throw Exception(Format(res::SEdExpectedArgument, Word, "FILE"));
    TAutoRecoverWindow Window(SettingsStore(), &N);
    Window.OnMessage = N.OnMessage;
    Window.LoadRecoveredFiles();
    TRecoveredFileInfo* Info = Window.Find(Arg);
    if (!Info) throw Exception(Format(res::SRecoverNothingFor, ExpandFileName(Arg)));
    const std::string FileName = Info->FileName;
    Window.RecoverModule(*Info);
    Modules.Run("Switch", FileName);
    return true;
  }
  return false;
}

}  // namespace nxs::host
