// nxs build: builds a project or a group and prints the "Build" group's lines as the message
// view shows them, ending with "Success" or "Failed" and the elapsed time. On a terminal one
// progress line (project, file, hints, warnings, errors) is rewritten in place while it runs.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "build/buildhost.h"
#include "build/makerecord.h"
#include "build/messages/msglines.h"
#include "build/orchestration.h"
#include "build/progress.h"
#include "build/projectbuilder.h"
#include "script/buildprint.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "lsp/lspdiagnostics.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projects/projectsession.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/signals.h"
#include "shared/terminal.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

// The monitor whose cancel flag a stop signal sets; set before the handlers are installed, so
// that the handler only stores to an atomic flag (it may not lock what ProgressMonitor locks).
std::atomic<TProgressMonitor*> StopTarget{nullptr};

// What a stop signal does to a build: asks it to stop. The tasks kill their tools' process
// groups (ninja, the compilers it started, fpc and its linker) and the build ends Failed.
void CancelBuild() {
  if (TProgressMonitor* M = StopTarget.load()) M->Cancel();
}

// Interrupt, terminate and hang-up stop the build while it runs, so that no tool is left
// writing into the project after nxs has gone; a second such signal ends the program as it
// would have ended without a build.
class TStopSignals {
 public:
  TStopSignals() {
    StopTarget = &ProgressMonitor();
    FOld = SetSignalCancelHook(OnStopSignal);
  }
  ~TStopSignals() {
    SetSignalCancelHook(FOld);
    StopTarget = nullptr;
  }
  TStopSignals(const TStopSignals&) = delete;  // restores the hook once
  TStopSignals& operator=(const TStopSignals&) = delete;

 private:
  // The first signal cancels; a second one ends the program with the signal's own action.
  static void OnStopSignal(int Signal) {
    static std::atomic<bool> Cancelled{false};
    if (!Cancelled.exchange(true)) {
      CancelBuild();
      return;
    }
    std::signal(Signal, SIG_DFL);
    std::raise(Signal);
  }
  TSignalCancelHook FOld = nullptr;
};

int RunBuild(const TCommandLine& Cmd) {
  const auto Started = std::chrono::steady_clock::now();
  TBuildCommand Command;
  if (Cmd.Has("--mode") && !CompileModeFromWord(Cmd.Get("--mode"), Command.Mode))
    Cmd.Fail(Format(res::SBuildUnknownMode, Cmd.Get("--mode")));
  Command.Configuration = Cmd.Get("--config");
  Command.Platform = Cmd.Get("--platform");
  Command.From = Cmd.Get("--from");
  Command.BuildGroup = Cmd.Get("--buildgroup");
  Command.Background = Cmd.Has("--background");
  Command.Wait = !Cmd.Has("--no-wait");
  Command.Jobs = Cmd.GetInt<int>("-j", Command.Jobs, 1, 1024);
  const std::string Messages = Cmd.Get("--messages", "view");
  if (Messages != "view" && Messages != "gcc") Cmd.Fail(res::SBuildMessagesWords);

  // A make asked again with nothing changed prints what the last one printed, without opening
  // a project; any other build goes the whole way, and a make that may be replayed is recorded.
  const TMakeRecord Record(Cmd[0]);
  std::optional<TMakeRecording> Recording;
  if (ReplayableMake(Command.Mode == cmMake, Command.Background, Cmd.Has("--unsaved"))) {
    if (std::optional<std::string> Output = Record.Replay(Started)) {
      std::fputs(Output->c_str(), stdout);
      std::fflush(stdout);
      return 0;
    }
    Recording.emplace(Record);
  } else {
    Record.Forget();
  }

  TProjectSession Session;
  TProjectGroup* Group = nullptr;
  TCustomCodeIProject* Project = nullptr;
  const std::string Ext = ExtractFileExt(Cmd[0]);
  if (Ext == ".groupproj" || Ext == ".nxsgroup") {
    Group = &Session.OpenGroup(Cmd[0]);
    for (const auto& R : Session.Reports) std::fputs(Format(res::SCliErrorLine, R).c_str(), stderr);
  } else {
    if (!Command.From.empty() || !Command.BuildGroup.empty()) Cmd.Fail(res::SBuildNeedsGroupFile);
    Project = dynamic_cast<TCustomCodeIProject*>(&Session.OpenProject(Cmd[0]));
  }
  if (Group && !Command.BuildGroup.empty() && !Command.From.empty()) Cmd.Fail(res::SBuildFromOrBuildGroup);

  InitProjectBuilders();
  std::unique_ptr<lsp::TUnsavedBuffers> Unsaved;
  if (Cmd.Has("--unsaved")) Unsaved = std::make_unique<lsp::TUnsavedBuffers>(Cmd.Get("--unsaved"));
  const script::TPrintFn Stdout = script::StdoutPrinter();
  script::TBuildPrinter Printer(Messages == "gcc", StdoutIsTerminal(), [&](std::string_view Text) {
    Stdout(Text);
    if (Recording) Recording->Printed(Text);
  });
  TCompileResult Result;
  try {
    TStopSignals Stop;
    Result = RunBuildCommand(Command, Group, Project);
  } catch (...) {
    DoneProjectBuilders();
    throw;
  }
  Printer.Finish();
  DoneProjectBuilders();
  if (Recording && Result == crSucceeded && Session.Reports.empty()) Recording->Commit();
  return Result == crSucceeded ? 0 : 1;
}

}  // namespace

TCommand BuildCommand() {
  return Leaf("build", "build a project or a group",
              "nxs build FILE [--mode make|build|clean|check|link] [--config NAME] [--platform NAME] "
              "[--from PROJECT] [--buildgroup NAME] [--background] [-j N] [--messages gcc] [--no-wait] [--unsaved LIST]",
              "Builds the project or group FILE (make by default: what changed) and prints the \"Build\"\n"
              "messages as the message view shows them (children indented two spaces), then Success or\n"
              "Failed and the elapsed time; the status is 0 on success, 1 on failure. A group builds its\n"
              "projects in build order after the projects they depend on; --from starts at a project,\n"
              "--buildgroup builds a build group of the group file. --config and --platform apply where a\n"
              "project has them. -j N lets a project run N compilers at once. --messages gcc prints\n"
              "diagnostics as FILE:LINE:COL: error: TEXT. On a terminal a progress line shows the project,\n"
              "the file and the counts of hints, warnings and errors. A project that another build is\n"
              "building is built once that build has ended (nxs says that it waits); --no-wait fails at once\n"
              "instead. Interrupt, terminate and hang-up stop the build: its tools are ended and it ends\n"
              "Failed. --unsaved LIST (the language server's) builds with the texts LIST names in place of\n"
              "their files, as the editor's unsaved text; the files are not written. A make that finds\n"
              "nothing changed since the last one with the same words, which ran no tool (no file, folder,\n"
              "import, setting or environment variable it read has changed), prints what that one printed\n"
              "without opening the projects.",
              {{"--mode", true},
               {"--config", true},
               {"--platform", true},
               {"--from", true},
               {"--buildgroup", true},
               {"--background", false},
               {"-j", true},
               {"--messages", true},
               {"--no-wait", false},
               {"--unsaved", true}},
              1, 1, RunBuild);
}

}  // namespace nxs::host
