// nxs ed: opens files as modules, each with one view, and runs the command session on them,
// one command per line, from a script file or standard input.
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "host/answers.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "script/eddesktop.h"
#include "script/edmodules.h"
#include "script/edsession.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

const char* const EdUsage =
    "nxs ed FILE... [--desktop DESKTOP] [--script SCRIPT] [--answer yes|no|cancel] [--answers FILE]";
const char* const EdHelp =
    "Runs editor commands on FILE, one per line, from SCRIPT or standard input.\n"
    "Commands: the editor's command-map names (MoveToMark N and SetMark N take a bookmark),\n"
    "  InsertText TEXT (\\n, \\t, \\\\ escapes), GoToLine LINE [COLUMN],\n"
    "  Find FLAGS /TEXT/, ReplaceAll FLAGS /FIND/REPLACEMENT/ (FLAGS '-' or c w r b a u),\n"
    "  Pos, Block, Lines, Modified, Print,\n"
    "  Key CHORD... (keys through the active keymap, e.g. Key Ctrl+K B), Keymap NAME,\n"
    "  RecordMacro, StopMacro, PlayMacro, Tokens (the current line's tokens).\n"
    "Modules: each FILE opens as a module, the first is current. Open FILE, Switch FILE,\n"
    "  Modules, SaveFile, SaveAll, Close, Rename NEWNAME, Reload.\n"
    "Compiler: ReadThrough FILE, Message KIND FILE LINE COL TEXT (KIND hint, warning, error,\n"
    "  fatal or info), Messages, GotoMessage N, Build [make|build|clean] (builds the project that\n"
    "  holds the current file, with the editor's unsaved text, and prints its messages).\n"
    "Folding: Parse (parses the file and applies its regions), Fold [LINE], Unfold [LINE],\n"
    "  UnfoldAll, FoldType KIND, Folds (the folded blocks in their saved form).\n"
    "Sync edit: SyncEdit (the identifiers of the marked block that occur more than once become\n"
    "  points; typing in one occurrence changes them all), Template TEXT (inserts TEXT and edits\n"
    "  its $name$ fields), NextPoint, PrevPoint, CancelSyncEdit, Points (TEXT COUNT LINE:COL...);\n"
    "  in the mode Key Tab and Key Shift+Tab move between the points, Key Esc ends it.\n"
    "Desktop: --desktop DESKTOP (a .dsk file, or a project or group whose desktop lies beside it)\n"
    "  opens the files it records, each with its views, cursor, folds and bookmarks; FILE may then\n"
    "  be left out. SaveDesktop [FILE] saves the open files' desktop (to DESKTOP without FILE); the\n"
    "  session's end saves it when the option \"Desktop\" of \"Auto Save\" is on or breakpoints changed.\n"
    "Debugger: Toggle [LINE] (a breakpoint on the cursor's line, or on LINE), Breakpoints (each with\n"
    "  its hint text); they are kept in the desktop. LineMarks prints the current file's marked lines,\n"
    "  one per line: LINE and its marks (breakpoint, execution-point, error).\n"
    "Autorecover: modified files are copied to a __recovery folder beside them every \"Interval\"\n"
    "  minutes; AutoRecoverTick copies them now (and prints how many modules it wrote), Wait SECONDS\n"
    "  keeps the session, Recover FILE puts FILE's recovered text into its editor.\n"
    "Questions take their answers from --answers FILE (one per line, in order), then --answer\n"
    "  (default cancel); each is echoed on standard error.";

int RunEd(const TCommandLine& Cmd) {
  const std::string Answer = Cmd.Get("--answer", "cancel");
  if (Answer != "yes" && Answer != "no" && Answer != "cancel") Cmd.Fail(res::SEdAnswerWords);
  SetQuestions(std::make_shared<TScriptAnswers>(Cmd.Has("--answers") ? ReadWholeFile(Cmd.Get("--answers")) : "", Answer));
  // Standard input is read a line at a time, so that another program can drive a session
  // and act between its commands.
  std::istringstream ScriptFile(Cmd.Has("--script") ? ReadWholeFile(Cmd.Get("--script")) : std::string());
  std::istream& Lines = Cmd.Has("--script") ? static_cast<std::istream&>(ScriptFile) : std::cin;
  if (Cmd.Positional().empty() && !Cmd.Has("--desktop")) Cmd.Fail(res::SEdFileOrDesktop);
  script::TEdModules Modules(Cmd.Positional());
  std::unique_ptr<script::TEdDesktop> Desktop;
  if (Cmd.Has("--desktop"))
    Desktop = std::make_unique<script::TEdDesktop>(Modules, Cmd.Get("--desktop"), Cmd.Positional().empty());
  script::TEdSession Session(Modules);
  int LineNo = 0;
  std::string Line;
  while (std::getline(Lines, Line)) {
    ++LineNo;
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (Trim(Line).empty() || Line[0] == '#') continue;
    try {
      Session.Run(Line);
    } catch (const Exception& E) {
      std::fflush(stdout);
      throw Exception(Format(res::SEdScriptLine, LineNo, E.Message()));
    }
    std::fflush(stdout);
  }
  if (Desktop) Desktop->Finish();
  Modules.Finish();
  return 0;
}

}  // namespace

TCommand EdCommand() {
  return Leaf("ed", "edit files with a command script", EdUsage, EdHelp,
              {{"--script", true}, {"--answer", true}, {"--answers", true}, {"--desktop", true}}, 0, SIZE_MAX, RunEd);
}

}  // namespace nxs::host
