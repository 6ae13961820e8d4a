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
#include "modules/inifile.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projects/projectsession.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

// The "Breakpoints" section of a project's desktop file, read and written with the rest of
// the file kept line for line.
class TDesktopBreakpoints : public TCustomIniFile {
 public:
  explicit TDesktopBreakpoints(std::string FileName) : FFileName(std::move(FileName)) {
    if (!FileSystem().FileExists(FFileName)) return;
    std::istringstream In(ReadWholeFile(FFileName));
    std::string Line;
    bool Inside = false;
    while (std::getline(In, Line)) {
      if (!Line.empty() && Line.back() == '\r') Line.pop_back();
      if (!Line.empty() && Line[0] == '[') Inside = Line == "[Breakpoints]";
      if (!Inside) {
        FOther += Line + "\n";
        continue;
      }
      const size_t Eq = Line.find('=');
      if (Eq != std::string::npos) FValues.emplace_back(Line.substr(0, Eq), Line.substr(Eq + 1));
    }
  }
  std::string ReadString(std::string_view, std::string_view Ident, std::string_view Default) override {
    for (const auto& [K, V] : FValues)
      if (SameText(K, Ident)) return V;
    return std::string(Default);
  }
  int64_t ReadInteger(std::string_view Section, std::string_view Ident, int64_t Default) override {
    const std::string V = ReadString(Section, Ident, "");
    if (V.empty() || V.size() > 18 || V.find_first_not_of("-0123456789") != std::string::npos) return Default;
    return std::stoll(V);
  }
  void WriteString(std::string_view, std::string_view Ident, std::string_view Value) override {
    FValues.emplace_back(std::string(Ident), std::string(Value));
  }
  void WriteInteger(std::string_view Section, std::string_view Ident, int64_t Value) override {
    WriteString(Section, Ident, std::to_string(Value));
  }
  std::vector<std::string> ReadSection(std::string_view) override {
    std::vector<std::string> Names;
    for (const auto& KV : FValues) Names.push_back(KV.first);
    return Names;
  }
  void EraseSection(std::string_view) override { FValues.clear(); }

  void Save() {
    std::string Text = FOther;
    if (!FValues.empty()) {
      if (!Text.empty() && Text.substr(Text.size() - 2) != "\n\n") Text += "\n";
      Text += "[Breakpoints]\n";
      for (const auto& [K, V] : FValues) Text += K + "=" + V + "\n";
    }
    WriteFileAtomic(FFileName, Text);
  }

 private:
  std::string FFileName;
  std::string FOther;
  std::vector<std::pair<std::string, std::string>> FValues;
};

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
  const std::string DesktopFile = ChangeFileExt(ExpandFileName(Cmd[0]), ".dsk");

  InitProjectBuilders();
  struct TDone {
    ~TDone() {
      DebugMgr().SetProjectHost(nullptr);
      DoneProjectBuilders();
    }
  } Done;
  Mgr.SetProjectHost(std::make_shared<TDebugProjectHost>(*Project, Cmd.Get("--config")));

  TDesktopBreakpoints Desktop(DesktopFile);
  Mgr.Breakpoints().LoadBreakpoints(Desktop);
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
    if (!Mgr.Breakpoints().GetModified()) return;
    Mgr.Breakpoints().SaveBreakpoints(Desktop, false);
    Desktop.Save();
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
              "[eval=...] [enablegroup=...] [disablegroup=...] [nobreak], Breakpoints, EnableGroup NAME, DisableGroup NAME and Log. Run builds\n"
              "the project first when it is out of date. Each stop prints \"stopped FILE:LINE REASON\", each\n"
              "end \"ended EXITCODE\", every other answer one record per line. --break adds a breakpoint\n"
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
