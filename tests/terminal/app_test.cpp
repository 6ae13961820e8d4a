// The terminal IDE driven as a user would, through a terminal that queues keys and keeps the
// frames shown: typing, the prompt, the questions as dialogs, macros, resizing.
#include "terminal/app.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "build/buildhost.h"
#include "debugger/breakpoints.h"
#include "debugger/debugmgr.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/keyboard/keycodes.h"
#include "faketerminal.h"
#include "modules/sourcemodule.h"
#include "shared/dialogs.h"
#include "support/files.h"
#include "support/tempdir.h"
#include "editor/language/parsethread.h"
#include "editor/language/regions.h"
#include "environment/layouts.h"
#include "terminal/debugpanes.h"
#include "terminal/editorpane.h"
#include "terminal/keys.h"
#include "terminal/questions.h"

namespace nxs::term {
namespace {

using test::Key;

class TerminalIde : public ::testing::Test {
 protected:
  TerminalIde() {
    Ide = std::make_unique<TTerminalIDE>(Terminal);
    SetQuestions(std::make_shared<TDialogQuestions>(*Ide));
  }
  ~TerminalIde() override {
    Ide.reset();
    SetQuestions(nullptr);
    // The build host the IDE asked about goes before the message lines it is subscribed to.
    ResetBuildHost();
  }
  std::string Write(const std::string& Name, const std::string& Text) {
    const std::string Path = Temp / Name;
    nxs::test::WriteText(Path, Text);
    return Path;
  }
  void Type(const std::string& Text) {
    for (char C : Text) Ide->Dispatch(CharEvent(static_cast<unsigned char>(C), false));
  }
  void Press(uint32_t K) { Ide->Dispatch(Key(K)); }
  // Runs a line at the prompt as typed: F10, the text, Enter.
  void Prompt(const std::string& Line) {
    Press(0x79);
    Type(Line);
    Press(0x0D);
  }
  std::string Text() { return Ide->CurrentView()->Buffer().Text(); }
  // The rows of the frame shown, one string.
  std::string Screen() {
    Ide->Render();
    std::string S;
    for (int R = 0; R < Terminal.Shown.Rows(); ++R) S += Terminal.Row(R) + "\n";
    return S;
  }

  nxs::test::TTempDir Temp;
  test::TFakeTerminal Terminal;
  std::unique_ptr<TTerminalIDE> Ide;
};

TEST_F(TerminalIde, AFirstPartShowsTheFrameTheFileOpensWithAndLeavesNothingOpen) {
  std::string Whole, Part;
  for (int I = 1; I <= 200; ++I) {
    Whole += "key" + std::to_string(I) + "=" + std::to_string(I) + " ; a comment\n";
    if (I == 60) Part = Whole;
  }
  const std::string File = Write("big.ini", Whole);
  Ide->ShowFirstPart(File, Part);
  const test::TFakeTerminal Shown = Terminal;
  EXPECT_EQ(Shown.Presents, 1);
  EXPECT_EQ(Shown.Row(1).substr(0, 20), "   1  key1=1 ; a com");
  EXPECT_EQ(Shown.Row(23).substr(0, 4), " 1:1");
  EXPECT_EQ(Ide->CurrentModule(), nullptr);
  EXPECT_EQ(TEditBuffer::FindBuffer(File), nullptr);
  // The file opened: the same frame, colours, cursor and all.
  Ide->Open(File);
  Screen();
  EXPECT_TRUE(Terminal.Shown == Shown.Shown) << Screen();
  EXPECT_EQ(Terminal.CursorRow, Shown.CursorRow);
  EXPECT_EQ(Terminal.CursorCol, Shown.CursorCol);
  EXPECT_EQ(Text(), Whole) << "the buffer holds the whole file";
  // Once a file is open there is no first part to show.
  Ide->ShowFirstPart(File, "other\n");
  EXPECT_EQ(Terminal.Presents, Shown.Presents + 1);
}

TEST_F(TerminalIde, TypingChangesTheBufferAndTheScreenButNotTheFileUntilSaved) {
  const std::string File = Write("a.txt", "first\nsecond\n");
  Ide->Open(File);
  Press(0x23);  // End
  Type(" line");
  EXPECT_EQ(Text(), "first line\nsecond\n");
  EXPECT_EQ(nxs::test::ReadText(File), "first\nsecond\n");
  const std::string S = Screen();
  EXPECT_NE(S.find("first line"), std::string::npos);
  EXPECT_NE(S.find(" a.txt* "), std::string::npos);
  EXPECT_NE(S.find("Modified"), std::string::npos);
  EXPECT_EQ(Terminal.CursorRow, 1);
  Press('S' | kcCtrl);  // SaveFile in the default keymap
  EXPECT_EQ(nxs::test::ReadText(File), "first line\nsecond\n");
  EXPECT_NE(Screen().find(" a.txt  "), std::string::npos);
}

TEST_F(TerminalIde, ThePromptRunsTheScriptCommandsAndShowsTheirAnswerOrTheirFailure) {
  Ide->Open(Write("a.txt", "x\n"));
  std::vector<std::string> Seen;
  Ide->SetCommandRunner([&](const std::string& Word, const std::string& Rest, std::string& Out) {
    if (Word == "Fail") throw Exception("it failed");
    if (Word != "Pos") return false;
    Seen.push_back(Word + "|" + Rest);
    Out = "ignored\n1 1\n";
    return true;
  });
  Prompt("Pos  now ");
  EXPECT_EQ(Seen, std::vector<std::string>{"Pos|now"});
  EXPECT_EQ(Ide->MessageLine(), "1 1");
  Prompt("Fail");
  EXPECT_EQ(Ide->MessageLine(), "it failed");
  Prompt("NoSuchThing 1");
  EXPECT_EQ(Ide->MessageLine(), "Unknown command \"NoSuchThing\"");
  // Escape leaves the prompt without running it; the editor has the keys again.
  Press(0x79);
  Type("Fail");
  Press(0x1B);
  Type("y");
  EXPECT_EQ(Text(), "yx\n");
  EXPECT_EQ(Ide->MessageLine(), "Unknown command \"NoSuchThing\"");
}

// A parse asked for at the prompt runs at once, and the quiet period after a keystroke stays
// the editor's: with none, each key typed afterwards would start a parse of the whole text.
TEST_F(TerminalIde, AParseAskedAtThePromptLeavesTheQuietPeriodAsItWas) {
  const auto Pascal = MakePascalRegionServices();
  RegionServicesRegistry().Add(Pascal);
  Ide->Open(Write("u.pas", "unit u;\ninterface\nimplementation\nprocedure P;\nbegin\nend;\nend.\n"));
  const int Before = ParseThread().Delay();
  ASSERT_GT(Before, 0);
  Prompt("Parse");
  RegionServicesRegistry().Remove(Pascal.get());
  EXPECT_EQ(Ide->MessageLine(), "");
  EXPECT_EQ(ParseThread().Delay(), Before);
}

TEST_F(TerminalIde, ThePromptRunsTheScriptLanguageOnTheTabShownAndFollowsItsSwitches) {
  const std::string A = Write("a.txt", "aaa\n"), B = Write("b.txt", "bbb\n");
  Ide->Open(A);
  Ide->Open(B);
  Press(0x21 | kcCtrl);  // Ctrl+PgUp: back to a.txt
  ASSERT_EQ(Ide->CurrentModule()->GetFileName(), A);
  Prompt("InsertText x\\ty");
  EXPECT_EQ(Text(), "x\tyaaa\n");
  Prompt("Pos");
  EXPECT_EQ(Ide->MessageLine(), "1 " + std::to_string(Ide->CurrentView()->Cursor().Col));
  // A command that makes another module current takes the IDE's tab along.
  Prompt("Switch " + B);
  EXPECT_EQ(Ide->CurrentModule()->GetFileName(), B);
  // An answer of several lines goes to the message view, its last line to the message line.
  Prompt("Modules");
  const std::string S = Screen();
  EXPECT_NE(S.find(A + " modified"), std::string::npos) << S;
  EXPECT_NE(S.find(B + " saved"), std::string::npos) << S;
  EXPECT_NE(S.find(Ide->MessageLine()), S.rfind(Ide->MessageLine())) << "the last line shows twice";
  // The script's own errors show as they are.
  Prompt("GoToLine x");
  EXPECT_NE(Ide->MessageLine().find("LINE"), std::string::npos) << Ide->MessageLine();
}

TEST_F(TerminalIde, ClosingAModifiedFileAsksAndTheAnswerDecides) {
  const std::string File = Write("a.txt", "x\n");
  Ide->Open(File);
  Type("new ");
  // Cancel keeps the tab and the text.
  Terminal.Events = {Key(0x1B)};
  Press('W' | kcAlt);
  ASSERT_NE(Ide->CurrentModule(), nullptr);
  EXPECT_EQ(Text(), "new x\n");
  bool Asked = false;
  for (int R = 0; R < Terminal.Shown.Rows(); ++R) Asked |= Terminal.Row(R).find("Save changes to a.txt?") != std::string::npos;
  EXPECT_TRUE(Asked);
  // No closes it without writing.
  Terminal.Events = {Key('N')};
  Press('W' | kcAlt);
  Ide->Render();
  EXPECT_EQ(Ide->CurrentModule(), nullptr);
  EXPECT_EQ(nxs::test::ReadText(File), "x\n");
  // Yes writes it: the dialog's buttons move with Tab, and Enter chooses.
  Ide->Open(File);
  Press(0x24 | kcCtrl);  // the top: a file opened again comes back where it was left
  Type("z");
  Terminal.Events = {Key(0x09 | kcShift), Key(0x25), Key(0x0D)};
  Press('W' | kcAlt);
  EXPECT_EQ(nxs::test::ReadText(File), "zx\n");
  EXPECT_EQ(Terminal.ReadsPastEnd, 0);
}

TEST_F(TerminalIde, AKeyMacroRecordsAndPlaysAndUndoGoesBackToTheStart) {
  Ide->Open(Write("a.txt", "one\ntwo\nthree\n"));
  Press('R' | kcAlt);
  Press(0x24);  // Home
  Type("> ");
  Press(0x28);  // Down
  Press('R' | kcAlt);
  Press('P' | kcAlt);
  Press('P' | kcAlt);
  EXPECT_EQ(Text(), "> one\n> two\n> three\n");
  for (int I = 0; I < 3; ++I) Press('Z' | kcCtrl);
  EXPECT_EQ(Text(), "one\ntwo\nthree\n");
  EXPECT_FALSE(Ide->CurrentView()->Buffer().GetIsModified());
}

TEST_F(TerminalIde, AResizeShowsTheWholeFrameAgainAtTheNewSize) {
  std::string Lines;
  for (int I = 1; I <= 100; ++I) Lines += "line " + std::to_string(I) + "\n";
  Ide->Open(Write("a.txt", Lines));
  for (int I = 0; I < 50; ++I) Press(0x28);
  Screen();
  Terminal.Resize(12, 50);
  Ide->Dispatch(TInputEvent{TInputKind::Resize});
  const std::string S = Screen();
  EXPECT_EQ(Terminal.Invalidations, 1);
  EXPECT_EQ(Terminal.Shown.Rows(), 12);
  EXPECT_EQ(Terminal.Shown.Cols(), 50);
  // The cursor's line is still in sight, on the row the cursor shows on.
  ASSERT_GE(Terminal.CursorRow, 1);
  EXPECT_NE(Terminal.Row(Terminal.CursorRow).find("line 51"), std::string::npos);
  // Every row of text shows the buffer's line that its number names.
  for (int R = 1; R < 10; ++R) {
    const std::string Row = Terminal.Row(R);
    const int N = std::atoi(Row.c_str());
    if (N > 0) {
      EXPECT_NE(Row.find("line " + std::to_string(N) + " "), std::string::npos) << Row;
    }
  }
}

TEST_F(TerminalIde, AClickPutsTheCursorWhereItIsAndTheWheelScrolls) {
  std::string Lines;
  for (int I = 1; I <= 100; ++I) Lines += "line " + std::to_string(I) + "\n";
  Ide->Open(Write("a.txt", Lines));
  Screen();
  const int Gutter = Ide->EditorPane()->GutterWidth();
  Ide->Dispatch(TInputEvent{TInputKind::Mouse, 0, 0, 3, Gutter + 2, 1});
  EXPECT_EQ(Ide->CurrentView()->Cursor().LineNum, 3);
  EXPECT_EQ(Ide->CurrentView()->Cursor().Col, 3);
  Ide->Dispatch(TInputEvent{TInputKind::Mouse, 0, 0, 5, 10, 5});
  Screen();
  EXPECT_EQ(Ide->CurrentView()->EkView()->WinTopLine, 4);
  EXPECT_NE(Terminal.Row(1).find("line 4 "), std::string::npos) << Terminal.Row(1);
  // A click on the gutter moves nothing.
  const int32_t Line = Ide->CurrentView()->Cursor().LineNum;
  Ide->Dispatch(TInputEvent{TInputKind::Mouse, 0, 0, 2, 0, 1});
  EXPECT_EQ(Ide->CurrentView()->Cursor().LineNum, Line);
}

TEST_F(TerminalIde, CharactersBeyondAsciiAreTypedAsThemselves) {
  Ide->Open(Write("a.txt", "\n"));
  Ide->Dispatch(CharEvent(U'\u00e9', false));
  Ide->Dispatch(CharEvent(U'\u65e5', false));
  EXPECT_EQ(Text(), "\xC3\xA9\xE6\x97\xA5\n");
}

TEST_F(TerminalIde, ABreakpointToggledAtTheCursorShowsInTheGutterAndThePaneAndFollowsTheManager) {
  const std::string File = Write("a.cpp", "int a;\nint b;\nint c;\n");
  Ide->Open(File);
  Press(0x28);  // Down: line 2
  Prompt("Toggle");
  TRowsPane& Pane = Ide->Debugger().Pane(TDebugPanes::dpBreakpoints);
  ASSERT_EQ(Pane.Rows.size(), 1u);
  EXPECT_EQ(Pane.Rows[0].Text.rfind("a.cpp:2 | ", 0), 0u) << Pane.Rows[0].Text;
  EXPECT_EQ(Pane.Rows[0].FileName, File);
  EXPECT_EQ(Ide->CurrentView()->Buffer().BreakMarks(), std::vector<int32_t>{2});
  Screen();
  EXPECT_EQ(Terminal.Row(2).substr(0, 4), "*  2") << Terminal.Row(2);
  // A change made elsewhere (a script's Break) reaches the pane and the gutter; a disabled
  // one says so.
  Prompt("Break " + File + ":3 condition=b > 1");
  DebugMgr().Breakpoints().GetBreakpoint(0)->SetEnabled(false);
  ASSERT_EQ(Pane.Rows.size(), 2u);
  EXPECT_NE(Pane.Rows[0].Text.find("a.cpp:2 disabled"), std::string::npos) << Pane.Rows[0].Text;
  EXPECT_NE(Pane.Rows[1].Text.find("b > 1"), std::string::npos) << Pane.Rows[1].Text;
  EXPECT_EQ(Ide->CurrentView()->Buffer().BreakMarks(), (std::vector<int32_t>{2, 3}));
  // Toggling again takes it away.
  Prompt("Toggle");
  EXPECT_EQ(Ide->CurrentView()->Buffer().BreakMarks(), std::vector<int32_t>{3});
  EXPECT_EQ(Pane.Rows.size(), 1u);
  DebugMgr().Breakpoints().Clear();
  EXPECT_TRUE(Ide->CurrentView()->Buffer().BreakMarks().empty());
  // A file opened later gets the marks already set for it.
  const std::string Other = Write("b.cpp", "x\ny\n");
  Prompt("Break " + Other + ":2");
  Ide->Open(Other);
  EXPECT_EQ(Ide->CurrentView()->Buffer().BreakMarks(), std::vector<int32_t>{2});
  DebugMgr().Breakpoints().Clear();
}

TEST_F(TerminalIde, DebugCommandsWithNothingToRunSayWhy) {
  Ide->Open(Write("a.txt", "x\n"));
  Prompt("Run");
  EXPECT_NE(Ide->MessageLine().find("No project"), std::string::npos) << Ide->MessageLine();
  Prompt("Eval 1+1");
  EXPECT_FALSE(Ide->MessageLine().empty());
  EXPECT_TRUE(Ide->Debugger().Visible().empty());
}

TEST_F(TerminalIde, ALayoutKeepsWhichDebugPanesShow) {
  setenv("XDG_DATA_HOME", (Temp.Path() + "/data").c_str(), 1);
  TDesktopStates& States = DesktopStates();
  States.Clear();
  States.GetDesktops();
  States.LoadDesktop(&States.FindLayout("Default Layout"));
  EXPECT_TRUE(Ide->Debugger().Visible().empty());
  // The shipped debug layout shows every pane; the layout left gets back what it showed.
  States.LoadDesktop(&States.FindLayout("Debug Layout"));
  EXPECT_EQ(Ide->Debugger().Arrangement(), "CallStack,Locals,Breakpoints,Threads,EventLog");
  Ide->Debugger().SetArrangement("Locals, EventLog,Nonsense");
  EXPECT_EQ(Ide->Debugger().Visible().size(), 2u);
  States.Selected()->Save();
  States.LoadDesktop(&States.FindLayout("Default Layout"));
  EXPECT_TRUE(Ide->Debugger().Visible().empty());
  // What a layout saved is what it shows next time, read from its file.
  States.Clear();
  States.GetDesktops();
  States.LoadDesktop(&States.FindLayout("Debug Layout"));
  EXPECT_EQ(Ide->Debugger().Arrangement(), "Locals,EventLog");
  States.Clear();
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace nxs::term
