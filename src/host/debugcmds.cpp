// nxs debug: runs a project's program under the current debugger kernel with a script of
// debug commands, printing every stop, end and answer as one line.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "build/projectbuilder.h"
#include "debugger/breakpoints.h"
#include "debugger/debugmgr.h"
#include "debugger/debugproject.h"
#include "debugger/debugscript.h"
#include "debugger/resstrings.h"
#include "host/answers.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projects/projectsession.h"
#include "script/eddesktop.h"
#include "script/edmodules.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

int RunDebug(const TCommandLine& Cmd) {
  SetQuestions(std::make_shared<TScriptAnswers>(Cmd.Has("--answers") ? ReadWholeFile(Cmd.Get("--answers")) : "",
                                                Cmd.Get("--answer", "cancel")));
  TDebuggerMgr& Mgr = DebugMgr();
  if (Cmd.Has("--debugger")) Mgr.ParseCommandLine({std::string(res::SDebuggerSwitch) + Cmd.Get("--debugger")});

  TProjectSession Session;
  TCustomCodeIProject* Project = nullptr;
  const std::string Ext = ExtractFileExt(Cmd[0]);
  if (Ext == ".groupproj" || Ext == ".nxsgroup") {
    TProjectGroup& Group = Session.OpenGroup(Cmd[0]);
    for (const auto& R : Session.Reports) std::fputs(Format(res::SCliErrorLine, R).c_str(), stderr);
    Project = dynamic_cast<TCustomCodeIProject*>(Group.ActiveProject());
    if (!Project) throw Exception(Format(res::SDebugNoActiveProject, Cmd[0]));
  } else {
    Project = dynamic_cast<TCustomCodeIProject*>(&Session.OpenProject(Cmd[0]));
    if (!Project) throw Exception(Format(res::SDebugNoActiveProject, Cmd[0]));
  }

  InitProjectBuilders();
  struct TDone {
    ~TDone() {
      DebugMgr().SetProjectHost(nullptr);
      DoneProjectBuilders();
    }
  } Done;
  Mgr.SetProjectHost(std::make_shared<TDebugProjectHost>(*Project, Cmd.Get("--config")));

  // The project's desktop brings back its files and breakpoints; breakpoints set in the
  // session go back into it with the rest of it kept.
  script::TEdModules Modules({});
  script::TEdDesktop Desktop(Modules, Cmd[0], true);
  TDebugScript Script(
      Mgr,
      [](const std::string& Line) {
        std::fputs(Line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
      },
      std::filesystem::current_path().string());
  // The breakpoints are kept whatever the script does: a failing command ends the session,
  // not what was set before it.
  auto Keep = [&] {
    Desktop.Finish();
    Modules.Finish();
  };
  try {
    for (const std::string& Text : Cmd.GetAll("--break")) Script.AddBreakpointText(Text);
    // Standard input is read a line at a time, so that another program can drive a session.
    std::istringstream ScriptFile(Cmd.Has("--script") ? ReadWholeFile(Cmd.Get("--script")) : std::string());
    std::istream& Lines = Cmd.Has("--script") ? static_cast<std::istream&>(ScriptFile) : std::cin;
    std::string Line;
    for (int LineNo = 1; std::getline(Lines, Line); ++LineNo) {
      if (!Line.empty() && Line.back() == '\r') Line.pop_back();
      try {
        Script.Execute(Line);
      } catch (const Exception& E) {
        throw Exception(Format(res::SEdScriptLine, LineNo, E.Message()));
      }
    }
  } catch (...) {
    Script.Finish();
    Keep();
    throw;
  }
  Script.Finish();
  Keep();
  return 0;
}

}  // namespace

TCommand DebugCommand() {
  return Leaf("debug", "run a project's program under the debugger",
              "nxs debug FILE [--config NAME] [--break FILE:LINE[:CONDITION]]... [--script S] [--debugger ID] "
              "[--answer WORD] [--answers FILE]",
              "Runs the program of the project FILE (or of the active project of the group FILE) under the\n"
              "current debugger kernel, with the commands of the script S (standard input without one),\n"
              "one per line: Run, StepInto, StepOver, StepOut, RunToCursor FILE:LINE, SetNext FILE:LINE,\n"
              "Pause, Reset, Wait [SECONDS] (until the process stops or ends), Eval EXPR, Stack, Locals,\n"
              "Threads, Toggle FILE:LINE, Break FILE:LINE [condition=...] [pass=N] [group=...] [log=...]\n"
              "[eval=...] [enablegroup=...] [disablegroup=...] [nobreak] [ignoreexceptions] [handleexceptions],\n"
              "Breakpoints, EnableGroup NAME, DisableGroup NAME and Log. Run builds the project first when it\n"
              "or a project of its group that it depends on is out of date. Each stop prints\n"
              "\"stopped FILE:LINE REASON\", each end \"ended EXITCODE\", every other answer one record per line. --break adds a breakpoint\n"
              "before the script runs; the breakpoints are kept in the project's desktop file for the next\n"
              "session. --debugger chooses a registered kernel by its identifier. Whatever still runs when\n"
              "the script ends is reset.",
              {{"--config", true},
               {"--break", true},
               {"--script", true},
               {"--debugger", true},
               {"--answer", true},
               {"--answers", true}},
              1, 1, RunDebug);
}

}  // namespace nxs::host
