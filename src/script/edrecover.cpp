#include "script/edrecover.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "modules/autorecover.h"
#include "modules/recoverwindow.h"
#include "options/envoptions.h"
#include "script/edmodules.h"
#include "script/resstrings.h"
#include "shared/dialogs.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs::script {

namespace {

// The process's notifier, started for the session; nullptr where the system runs without it.
// Its options are read once and kept to the end of the process, past the session's own:
// the notifier follows them until start-up takes it down.
// Settings that cannot be read leave the session without autorecover, told once.
TAutoRecoverIDENotifier* StartedNotifier() {
  TAutoRecoverIDENotifier* N = AutoRecover();
  static std::unique_ptr<TEnvironmentOptions> Options;
  static bool Tried = false;
  if (!N || N->Started()) return N;
  if (Tried) return nullptr;
  Tried = true;
  try {
    Options = LoadStoredOptions(SettingsStore());
  } catch (const Exception& E) {
    Questions().ShowMessage(E.Message());
    return nullptr;
  }
  N->OnRecoveredFiles = [] { Questions().ShowMessage(res::SEdRecoveredFilesWaiting); };
  N->ProductStarted(*Options);
  // The steady clock (AutoRecoverRegister's) runs the timer; its ticks come through the
  // main-thread queue, which the session looks at between commands and while it waits.
  N->SetTimerDriver(MakeMainThreadTimerDriver(N->Timer()));
  return N;
}

}  // namespace

bool RunRecoverCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest) {
  TAutoRecoverIDENotifier* Running = StartedNotifier();
  // A tick that fell due while the session waited for this command runs before it.
  if (Running) Running->Timer().Poll();
  if (Word != "AutoRecoverTick" && Word != "Wait" && Word != "Recover") return false;
  if (!Running) throw Exception(res::SEdAutoRecoverNotRunning);
  const std::string Arg = Trim(Rest);
  if (Word == "AutoRecoverTick") {
    if (!Arg.empty()) throw Exception(Format(res::SEdTakesNoArgument, Word));
    Modules.Print(Format("%d\n", Running->TimerExecute()));
    return true;
  }
  if (Word == "Wait") {
    using namespace std::chrono;
    const auto Until = steady_clock::now() + seconds(IntArgument<int64_t>(Arg, "SECONDS", 0, 86400));
    for (auto Now = steady_clock::now(); Now < Until; Now = steady_clock::now())
      MainThreadQueue().WaitAndProcess(static_cast<int>(std::min<int64_t>(duration_cast<milliseconds>(Until - Now).count(), 1000)));
    return true;
  }
  if (Arg.empty()) throw Exception(Format(res::SEdExpectedArgument, Word, "FILE"));
  TAutoRecoverWindow Window(SettingsStore(), Running);
  Window.LoadRecoveredFiles();
  TRecoveredFileInfo& Info = Window.Get(Arg);
  const std::string FileName = Info.FileName;
  Window.RecoverModule(Info);
  Modules.Run("Switch", FileName);
  return true;
}

}  // namespace nxs::script
