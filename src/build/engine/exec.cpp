// The Exec task: a command run by the shell in the project's directory (or the one given),
// its output logged line by line, gcc-style diagnostics in it logged as errors and warnings.
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "build/engine/process.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::engine {

namespace {

constexpr const char* SExecExited = "The command \"%s\" exited with code %d.";
constexpr const char* SExecNoDirectory = "The working directory \"%s\" does not exist.";
constexpr const char* SExecNotStarted = "The command \"%s\" could not be started: %s.";
constexpr const char* SExecCancelled = "The command \"%s\" was cancelled.";

bool IsDirectory(const std::string& Name) {
  struct stat St;
  return stat(Name.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool RunExec(TTaskContext& Context) {
  const std::string Command = Context.HasParameter("Command") ? Context.Parameter("Command").Text : "";
  std::string Dir = Context.ProjectDirectory();
  if (Context.HasParameter("WorkingDirectory") && !Context.Parameter("WorkingDirectory").Text.empty())
    Dir = ExpandFileName(ToDiskPath(Context.Parameter("WorkingDirectory").Text), Context.ProjectDirectory());
  const bool IgnoreExitCode = Context.BoolParameter("IgnoreExitCode", false);
  const bool Capture = Context.BoolParameter("ConsoleToMSBuild", false);
  if (!Context.BoolParameter("EchoOff", false)) Context.LogMessage(Command, imNormal);
  // What the command reports is counted through the host object, as a compiler's would be.
  ITaskHostObject* Host = Context.HostObject();
  auto Count = [Host](TEventKind Kind) {
    if (Host && Kind == ekError) Host->IncErrorCount();
    if (Host && Kind == ekWarning) Host->IncWarningCount();
  };
  auto Error = [&](const std::string& Text) {
    Count(ekError);
    Context.LogError(Text);
  };
  if (!Dir.empty() && !IsDirectory(Dir)) {
    Error(Format(SExecNoDirectory, Dir));
    Context.SetOutput("ExitCode", "-1");
    return false;
  }

  TToolOutputParser Parser(TToolOutputParser::tsGcc, "Exec", Dir);
  std::vector<TTaskItem> Console;
  bool ErrorLogged = false;
  std::vector<TBuildEvent> Events;
  auto Pass = [&] {
    for (auto& E : Events) {
      ErrorLogged |= E.Kind == ekError;
      Count(E.Kind);
      Context.Log(E);
    }
    Events.clear();
  };
  TTaskCancel Cancel(Context);
  TProcessOptions Options;
  Options.Argv = {"/bin/sh", "-c", Command};
  Options.WorkingDirectory = Dir;
  Options.Cancel = Cancel.Flag();
  Options.OnLine = [&](const std::string& Line) {
    if (Capture) Console.push_back(TTaskItem{Line, {}, Dir});
    if (!Parser.Parse(Line, Events)) {
      TBuildEvent E;
      E.Kind = ekMessage;
      E.Importance = imNormal;
      E.Text = Line;
      E.Sender = "Exec";
      Events.push_back(std::move(E));
    }
    Pass();
  };
  std::string NotStarted;
  int Code = RunProcess(Options, &NotStarted);
  Parser.Flush(Events);
  Pass();
  if (Capture) Context.SetOutput("ConsoleOutput", std::move(Console));
  if (Code < 0) {
    Context.SetOutput("ExitCode", "-1");
    if (Cancel.IsSet()) {
      Context.LogMessage(Format(SExecCancelled, Command), imHigh);
      return false;
    }
    Error(Format(SExecNotStarted, Command, NotStarted));
    return false;
  }
  Context.SetOutput("ExitCode", IntToStr(Code));
  if (Code != 0 && !IgnoreExitCode && !ErrorLogged) Error(Format(SExecExited, Command, Code));
  return !ErrorLogged && (Code == 0 || IgnoreExitCode);
}

}  // namespace

TTaskCancel::TTaskCancel(const TTaskContext& Context) {
  FWatcher = std::thread([this, &Context] {
    std::unique_lock Lock(FMutex);
    while (!FStop) {
      if (Context.Cancelled()) {
        FFlag = true;
        return;
      }
      FWake.wait_for(Lock, std::chrono::milliseconds(20));
    }
  });
}

TTaskCancel::~TTaskCancel() {
  {
    std::lock_guard Lock(FMutex);
    FStop = true;
  }
  FWake.notify_all();
  FWatcher.join();
}

void RegisterExecTask() { RegisterTask("Exec", RunExec); }

}  // namespace nxs::engine
