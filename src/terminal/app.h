// The terminal IDE: editor tabs over the open source modules, the project tree, the message
// view with build and search results, a status line with the build's progress, the command
// prompt and the dialogs in which the core asks its questions. One loop reads the terminal,
// runs what came in, pumps the main-thread queue and shows the frame.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/buffers/attributes.h"
#include "terminal/cells.h"
#include "terminal/lineedit.h"
#include "terminal/palette.h"
#include "terminal/panes.h"
#include "terminal/screen.h"

namespace nxs {
class TKeyboardServices;
class TEditView;
class TProjectGroup;
class TSourceModule;
}  // namespace nxs

namespace nxs::term {

class TEditorPane;
class TIdeChild;
class TFindForm;
class TDebugPanes;
class TRecoverPane;

enum class TFocus { Editor, Tree, Messages, Debug, Recover };

// What the prompt runs that the IDE does not: the command language of editor scripts. Word
// is the command, Rest its arguments; Output receives what the command prints. False when
// Word names no command; a failure raises Exception.
using TCommandRunner = std::function<bool(const std::string& Word, const std::string& Rest, std::string& Output)>;

class TTerminalIDE {
 public:
  explicit TTerminalIDE(ITerminal& Terminal);
  ~TTerminalIDE();
  TTerminalIDE(const TTerminalIDE&) = delete;  // the panes and hooks point at it
  TTerminalIDE& operator=(const TTerminalIDE&) = delete;

  // Opens a file: a group or project shows in the tree, any other file as an editor tab.
  // Raises Exception for a file that cannot be opened.
  void Open(const std::string& FileName);
  void SetCommandRunner(TCommandRunner Runner) { FRunner = std::move(Runner); }
  // Opens what a desktop records (see TIdeHooks::OpenDesktop) and shows the file it was on.
  void OpenDesktop(const std::string& FileName);
  // Before any file opens: one frame as opening FileName would show it, from the text of its
  // first part (UTF-8, whole lines), while the file itself is still being read. Nothing of
  // it stays: the file opens as ever, and the frames after it show the whole file.
  void ShowFirstPart(const std::string& FileName, std::string_view Text);
  // Starts autorecover on its timer; when a session left copies behind, the recovery list
  // is offered. Run does it first.
  void StartAutoRecover();
  // The recovery list shown, or nullptr.
  TRecoverPane* RecoveryList() const { return FRecover.get(); }

  // Runs until Quit; the terminal shows every change.
  void Run();
  // One event as the loop would handle it, and the frame it leads to.
  void Dispatch(const TInputEvent& E);
  void Render();
  // Pumps the main-thread queue once.
  void Idle();
  bool Quitting() const { return FQuit; }
  void Quit();

  // A prompt line: an IDE command (Open, Grep, Build, Quit ...), else one of the runner's.
  // Failures show on the message line.
  void RunCommand(const std::string& Line);

  // A question of the core as a dialog: the loop runs for the dialog alone until a button
  // is chosen; returns its modal result.
  int Ask(const std::string& Message, unsigned Buttons, int DefaultResult);
  // A file name asked for in a dialog with a field that starts with FileName; false when the
  // user cancelled.
  bool AskFileName(const std::string& Title, std::string& FileName);
  void ShowMessage(const std::string& Message) { FMessage = Message; }
  // Shows a place in a file: opens it in a tab if needed, moves the cursor there (a column
  // counts characters from 1) and gives the editor the focus.
  void ShowSource(const std::string& FileName, int32_t Line, int32_t Column);

  TSourceModule* CurrentModule() const;
  TEditView* CurrentView() const;
  void SelectModule(TSourceModule* Module);
  TKeyboardServices& Keyboard();
  TFocus Focus() const { return FFocus; }
  const std::string& MessageLine() const { return FMessage; }
  const TCellGrid& Frame() const { return FGrid; }
  TEditorPane* EditorPane() const;
  TDebugPanes& Debugger() { return *FDebug; }

  // The IDE's commands that keys reach through the command map (SaveFile, NextError ...);
  // false for a name that is none of them.
  bool RunIdeCommand(const std::string& Name);

 private:
  struct TTab;
  void Layout();
  void DrawTabs();
  void DrawStatus();
  void DrawDialog();
  void EditorKey(const TInputEvent& E);
  bool GlobalKey(uint32_t Key);
  void PromptEvent(const TInputEvent& E);
  void DialogEvent(const TInputEvent& E);
  void Mouse(const TInputEvent& E);
  void DrawDebugPanes(bool Focused);
  void SyncTabs();
  void ShowOutput(std::string Output);
  void CloseCurrent();
  void Build(const std::string& ModeWord);
  void Grep(const std::string& Text);
  void StartFind(struct TFindFields& Fields);
  void OpenGroupFile(const std::string& FileName);
  void OpenSourceFile(const std::string& FileName);
  bool BusyInBackground() const;
  std::string ProgressText() const;

  ITerminal& FTerminal;
  TCellGrid FGrid;
  TAttributeArray FColors;
  TPalette FPalette;
  TPaneStyles FStyles;
  std::vector<std::unique_ptr<TTab>> FTabs;
  // The file ShowFirstPart shows, while it draws its frame.
  struct TFirstPart {
    std::string FileName;
    TEditView* View;
    TEditorPane* Pane;
  };
  const TFirstPart* FFirstPart = nullptr;
  size_t FCurrent = 0;
  TFocus FFocus = TFocus::Editor;
  std::unique_ptr<TTreePane> FTree;
  TMessagePane FMessages;
  bool FMessagesVisible = false;
  TRect FEditorRect{}, FTreeRect{}, FMessagesRect{}, FDebugRect{};
  std::unique_ptr<TDebugPanes> FDebug;
  std::unique_ptr<TRecoverPane> FRecover;
  void RecoverKey(uint32_t Key);
  size_t FDebugFocus = 0;  // which of the debugger's panes shown has the focus
  // The prompt.
  bool FPrompting = false;
  TLineEdit FPrompt;
  std::string FMessage;
  TCommandRunner FRunner;
  // The dialog of the question being asked, if one is.
  struct TDialog {
    std::string Message;
    std::vector<std::pair<std::string, int>> Buttons;
    size_t Focused = 0;
    int Result = 0;
    bool HasInput = false;
    TLineEdit Input;
  };
  int RunDialog(std::unique_ptr<TDialog> Dialog, std::string* Input);
  std::unique_ptr<TDialog> FDialog;
  int FDialogCursorRow = -1, FDialogCursorCol = -1;
  std::unique_ptr<TFindForm> FFindForm;
  bool FQuit = false;
  std::unique_ptr<struct TIdeHooks> FHooks;
};

}  // namespace nxs::term
