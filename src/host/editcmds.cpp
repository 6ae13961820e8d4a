// nxs edit: the terminal IDE on the files, projects and groups named, until the user quits.
#include <memory>
#include <string>

#include "editor/buffers/readahead.h"
#include "editor/keyboard/keyboard.h"
#include "environment/desktop.h"
#include "environment/layouts.h"
#include "host/answers.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "terminal/app.h"
#include "terminal/curses.h"
#include "terminal/hooks.h"
#include "terminal/questions.h"
#include "terminal/restore.h"

namespace nxs::host {

namespace {

int RunEdit(const TCommandLine& Cmd) {
  // The start-up reads hundreds of settings: from the file as it stands now, looked at once.
  auto Hold = std::make_unique<TSettingsReadHold>(SettingsStore());
  std::shared_ptr<IUserQuestions> Script;
  if (Cmd.Has("--answers") || Cmd.Has("--answer")) {
    const std::string Answer = Cmd.Get("--answer", "cancel");
    if (TScriptAnswers::ResultOf(Answer) == mrNone) Cmd.Fail(res::SEdAnswerWords);
    Script = std::make_shared<TScriptAnswers>(Cmd.Has("--answers") ? ReadWholeFile(Cmd.Get("--answers")) : "", Answer);
  }
  term::TStderrRedirect Log(Cmd.Get("--log"));
  term::TCursesTerminal Terminal;
  term::TTerminalIDE Ide(Terminal);
  SetQuestions(std::make_shared<term::TDialogQuestions>(Ide, Script));
  if (Cmd.Has("--keymap")) {
    const int I = Ide.Keyboard().LookupKeyBinding(Cmd.Get("--keymap"));
    if (I < 0) Cmd.Fail(Format(res::SKeysUnknownKeymap, Cmd.Get("--keymap")));
    Ide.Keyboard().SetBindingIndex(I);
  }
  // The layouts: the start-up one, or the default one when a project or group is named; the
  // debug layout comes while a program runs.
  std::string Project;
  for (const std::string& File : Cmd.Positional())
    if (Project.empty() && term::IsGroupOrProjectFile(File)) Project = ExpandFileName(File);
  try {
    LoadDefaultDesktopState(Project, false);  // the environment's desktop comes below
  } catch (const Exception& E) {
    Ide.ShowMessage(E.Message());
  }
  // A large file named last, whose first part was read as the program started, shows its
  // first screen from that part; then the rest is read, and the file opens below as any file
  // does, the keys typed meanwhile waiting in the terminal.
  if (Project.empty() && !Cmd.Positional().empty()) {
    std::string FirstPart;
    try {
      if (ReadAheadFirstPart(Cmd.Positional().back(), FirstPart)) Ide.ShowFirstPart(Cmd.Positional().back(), FirstPart);
    } catch (const Exception&) {
      // Only a first look: opening the file tells what is wrong with it.
    }
  }
  ReadAheadGoOn();
  for (const std::string& File : Cmd.Positional()) {
    try {
      Ide.Open(File);
    } catch (const Exception& E) {
      Ide.ShowMessage(E.Message());
    }
  }
  // The desktop: the environment's with no argument, else that of the project or group named;
  // what it records opens, and it is saved at the end as the options ask.
  const std::string Desktop = Cmd.Positional().empty() ? EnvironmentDesktopFileName() : Project;
  if (!Desktop.empty()) {
    try {
      Ide.OpenDesktop(Desktop);
    } catch (const Exception& E) {
      Ide.ShowMessage(E.Message());
    }
  }
  Hold.reset();
  Ide.Run();
  SetQuestions(nullptr);
  return 0;
}

}  // namespace

std::vector<std::unique_ptr<TFileReadAhead>> ReadEditFilesAhead(const TArgs& Args) {
  std::vector<std::unique_ptr<TFileReadAhead>> Ahead;
  if (Args.empty() || Args[0] != "edit") return Ahead;
  for (size_t I = 1; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (A.starts_with("--")) {
      if (A == "--keymap" || A == "--answers" || A == "--answer" || A == "--log") ++I;
      continue;
    }
    if (term::IsGroupOrProjectFile(A)) continue;
    Ahead.push_back(std::make_unique<TFileReadAhead>(A));
  }
  return Ahead;
}

TCommand EditCommand() {
  return Leaf("edit", "the IDE in the terminal", "nxs edit [FILE|PROJECT|GROUP]... [--keymap NAME] [--answers FILE] [--answer WORD] [--log FILE]",
              "Opens each FILE in an editor tab, and a project or group in the project tree, with its\n"
              "desktop; with no argument, the environment's desktop. The desktop is saved at the end when\n"
              "the option \"Auto Save\" \"Desktop\" is on. Files a session left unsaved are offered first.\n"
              "Keys go through the keymap (--keymap: Default, Classic, Brief, Epsilon, VisualStudio,\n"
              "...). F10 or Alt+X opens the command prompt, which takes the commands of nxs ed scripts\n"
              "and Open FILE, Grep TEXT, Build [make|build|clean], Messages, StopGrep, Quit. F6 moves\n"
              "between the editor, the project tree and the messages; Enter on a message shows its\n"
              "place. Alt+F finds in files, Alt+M makes, Alt+N goes to the next error, Alt+R records\n"
              "and Alt+P plays a key macro, Alt+K folds, Alt+J sync-edits the block, Alt+S saves all.\n"
              "The debugger: Run (Debug), StepOver, StepInto, StepOut, Eval EXPR, Toggle [FILE:LINE],\n"
              "Reset at the prompt, or the keymap's keys (F5, F7, F8, F9, Ctrl+F2) and Shift+F8.\n"
              "Questions are dialogs; --answers FILE (one answer a line) and --answer WORD answer them\n"
              "instead, each shown on the message line. What would go to standard error goes to --log.",
              {{"--keymap", true}, {"--answers", true}, {"--answer", true}, {"--log", true}}, 0, SIZE_MAX, RunEdit);
}

}  // namespace nxs::host
