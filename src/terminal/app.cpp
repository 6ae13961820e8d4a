#include "terminal/app.h"

#include <algorithm>
#include <climits>
#include <tuple>

#include "build/messages/msglines.h"
#include "build/progress.h"
#include "debugger/debugmgr.h"
#include "editor/buffers/charwidth.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/elisions.h"
#include "editor/keyboard/cmdmap.h"
#include "editor/keyboard/keyboard.h"
#include "editor/keyboard/keycodes.h"
#include "editor/language/syncedit.h"
#include "modules/modulelist.h"
#include "modules/sourcemodule.h"
#include "shared/dialogs.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "shared/text.h"
#include "shared/utf8.h"
#include "terminal/debugpanes.h"
#include "terminal/editorpane.h"
#include "terminal/recoverpane.h"
#include "terminal/findform.h"
#include "terminal/keys.h"
#include "terminal/hooks.h"
#include "terminal/resstrings.h"

namespace nxs::term {

struct TTerminalIDE::TTab {
  TSourceModule* Module;
  std::unique_ptr<TEditorPane> Pane;
};

namespace {

constexpr uint32_t vkEscape = 0x1B, vkReturn = 0x0D, vkTab = 0x09, vkLeft = 0x25, vkRight = 0x27, vkF6 = 0x75,
                   vkF8 = 0x77, vkF10 = 0x79, vkPrior = 0x21, vkNext = 0x22;

// The command-map commands go to the editor first; what it does not carry out is the IDE's.
class TIdeChildApi : public TIDEKBDChildAPI {
 public:
  TIdeChildApi(TTerminalIDE& Ide, PEkView View) : TIDEKBDChildAPI(View), FIde(Ide) {}
  bool ExecuteCommand(int Command) override {
    if (TIDEKBDChildAPI::ExecuteCommand(Command)) return true;
    if (Command < 0 || Command >= CmdMapManager().Count()) return false;
    return FIde.RunIdeCommand(CmdMapManager().Entry(Command).Name);
  }

 private:
  TTerminalIDE& FIde;
};

const std::pair<unsigned, std::pair<const char*, int>> ButtonNames[] = {
    {mbYes, {"Yes", mrYes}},       {mbNo, {"No", mrNo}},           {mbOK, {"OK", mrOk}},
    {mbCancel, {"Cancel", mrCancel}}, {mbAbort, {"Abort", mrAbort}}, {mbRetry, {"Retry", mrRetry}},
    {mbIgnore, {"Ignore", mrIgnore}}, {mbAll, {"All", mrAll}},       {mbNoToAll, {"No to All", mrNoToAll}},
    {mbYesToAll, {"Yes to All", mrYesToAll}}, {mbClose, {"Close", mrClose}},
};

}  // namespace

TTerminalIDE::TTerminalIDE(ITerminal& Terminal)
    : FTerminal(Terminal), FPalette(Terminal.Colors()), FHooks(std::make_unique<TIdeHooks>(*this)) {
  FColors.Load(SettingsStore());
  const bool Color = FPalette.Colors() >= 8;
  FStyles.Normal = TCellStyle{};
  FStyles.Selected = TCellStyle{-1, -1, caReverse};
  FStyles.Title = Color ? TCellStyle{0, 7, 0} : TCellStyle{-1, -1, caReverse};
  FStyles.TitleFocused = Color ? TCellStyle{7, 4, caBold} : TCellStyle{-1, -1, caReverse | caBold};
  FStyles.Error = Color ? TCellStyle{1, -1, caBold} : TCellStyle{-1, -1, caBold};
  FRunner = [this](const std::string& Word, const std::string& Rest, std::string& Output) {
    TSourceModule* Now = FHooks->RunScript(Rest.empty() ? Word : Word + " " + Rest, CurrentModule(), Output);
    SyncTabs();
    if (Now) SelectModule(Now);
    return true;
  };
  FDebug = std::make_unique<TDebugPanes>(
      DebugMgr(), TDebugPanes::THost{[this](const std::string& File, int Line) { ShowSource(File, Line, 1); },
                                     [this] { return FHooks->ProjectToRun(); },
                                     [this](const std::string& Text) { FMessage = Text; }});
  // Work that a thread hands to the main thread wakes the loop from its wait for a key.
  MainThreadQueue().SetWakeHook([&T = FTerminal] { T.Wake(); });
}

TTerminalIDE::~TTerminalIDE() {
  FRecover.reset();
  FDebug.reset();
  MainThreadQueue().SetWakeHook(nullptr);
  FTabs.clear();
  FTree.reset();
  FHooks.reset();
}

TKeyboardServices& TTerminalIDE::Keyboard() { return FHooks->Keyboard(); }

// ---- tabs ----

TSourceModule* TTerminalIDE::CurrentModule() const { return FCurrent < FTabs.size() ? FTabs[FCurrent]->Module : nullptr; }

TEditView* TTerminalIDE::CurrentView() const {
  TSourceModule* M = CurrentModule();
  return M ? &M->ShowEditor() : nullptr;
}

TEditorPane* TTerminalIDE::EditorPane() const {
  if (FCurrent < FTabs.size()) return FTabs[FCurrent]->Pane.get();
  return FFirstPart ? FFirstPart->Pane : nullptr;
}

void TTerminalIDE::SyncTabs() {
  // Tabs whose module has gone close; source modules opened elsewhere (a message's file, a
  // command) get a tab.
  TSourceModule* Current = CurrentModule();
  TModuleList& List = ModuleList();
  std::erase_if(FTabs, [&](const std::unique_ptr<TTab>& T) { return !List.Contains(T->Module); });
  for (TDocModule* D : List.Snapshot()) {
    auto* M = dynamic_cast<TSourceModule*>(D);
    if (!M || !M->GetMainSource()) continue;
    if (std::any_of(FTabs.begin(), FTabs.end(), [&](const auto& T) { return T->Module == M; })) continue;
    FHooks->Prepare(*M);
    if (FDebug) FDebug->MarkBuffer(*M->GetMainSource());
    auto Tab = std::make_unique<TTab>();
    Tab->Module = M;
    Tab->Pane = std::make_unique<TEditorPane>(M->ShowEditor(), FColors, FPalette);
    Tab->Pane->SetDecorations(SyncEditDecorations(M->ShowEditor()));
    FTabs.push_back(std::move(Tab));
  }
  FCurrent = 0;
  for (size_t I = 0; I < FTabs.size(); ++I)
    if (FTabs[I]->Module == Current) FCurrent = I;
}

void TTerminalIDE::SelectModule(TSourceModule* Module) {
  SyncTabs();
  for (size_t I = 0; I < FTabs.size(); ++I)
    if (FTabs[I]->Module == Module) {
      FCurrent = I;
      Module->Activate();
    }
}

void TTerminalIDE::OpenSourceFile(const std::string& FileName) {
  const std::string Name = ExpandFileName(FileName);
  if (FileSystem().Stat(Name).IsDirectory) throw Exception(Format(res::STermNotASourceFile, Name));
  // A file that does not exist yet opens empty, to be written by the first save.
  auto* M = dynamic_cast<TSourceModule*>(OpenFile(Name, true, true));
  if (!M) throw Exception(Format(res::STermNotASourceFile, Name));
  SelectModule(M);
  FFocus = TFocus::Editor;
}

void TTerminalIDE::Open(const std::string& FileName) {
  const std::string Ext = ExtractFileExt(FileName);
  if (IsGroupOrProjectFile(FileName)) {
    TBaseProject* Project = nullptr;
    TProjectGroup* Group = FHooks->OpenGroup(ExpandFileName(FileName), Project);
    FTree = std::make_unique<TTreePane>(Group, Project, [this](const std::string& F) { OpenSourceFile(F); });
    FFocus = TFocus::Tree;
    return;
  }
  OpenSourceFile(FileName);
}

void TTerminalIDE::ShowFirstPart(const std::string& FileName, std::string_view Text) {
  SyncTabs();
  if (!FTabs.empty() || FTree) return;
  // A buffer of the frame's own under the file's name, which picks its options and colours;
  // it goes with the frame, before the file opens.
  std::shared_ptr<TEditBuffer> Buffer = TEditBuffer::Create(ExpandFileName(FileName), false);
  Buffer->ReadFromStreamUTF8(Text);
  FHooks->Highlight(*Buffer);
  TEditView View(Buffer);
  TEditorPane Pane(View, FColors, FPalette);
  const TFirstPart Part{Buffer->FileName(), &View, &Pane};
  const TFocus Focus = FFocus;
  FFirstPart = &Part;
  FFocus = TFocus::Editor;
  try {
    Render();
  } catch (...) {
    FFirstPart = nullptr;
    FFocus = Focus;
    throw;
  }
  FFirstPart = nullptr;
  FFocus = Focus;
}

void TTerminalIDE::OpenDesktop(const std::string& FileName) {
  SyncTabs();
  const bool HadTabs = !FTabs.empty();  // files named on the command line keep the focus
  TSourceModule* Current = FHooks->OpenDesktop(FileName);
  SyncTabs();
  if (Current && !HadTabs) {
    SelectModule(Current);
    FFocus = TFocus::Editor;
  }
}

void TTerminalIDE::StartAutoRecover() {
  FHooks->StartAutoRecover([this] {
    FRecover = std::make_unique<TRecoverPane>(FHooks->AutoRecovering(), [this](TDocModule& M) {
      auto* S = dynamic_cast<TSourceModule*>(&M);
      if (!S) return;
      SelectModule(S);
      // The text came in whole: it shows from its start.
      if (TEditBuffer* B = S->GetMainSource()) B->ShowLineCol(1, 1);
    });
    if (FRecover->Empty()) FRecover.reset();
    else FFocus = TFocus::Recover;
  });
}

void TTerminalIDE::RecoverKey(uint32_t Key) {
  constexpr uint32_t vkDelete = 0x2E;
  if (Key == vkDelete) FRecover->Discard(FRecover->Selected());
  else if (Key == vkEscape) FRecover->Close();
  else FRecover->Key(Key);
  if (Key == vkEscape || FRecover->Empty()) {
    FRecover.reset();
    FFocus = TFocus::Editor;
  }
}

void TTerminalIDE::ShowSource(const std::string& FileName, int32_t Line, int32_t Column) {
  std::shared_ptr<TEditBuffer> B = TEditBuffer::FindBuffer(FileName);
  if (!B) {
    OpenSourceFile(FileName);
    B = TEditBuffer::FindBuffer(FileName);
  }
  if (!B) return;
  SyncTabs();
  for (auto& T : FTabs)
    if (T->Module->GetMainSource() == B.get()) SelectModule(T->Module);
  FFocus = TFocus::Editor;
  if (Line < 1 || !CurrentView()) return;
  // Tools count characters; the editor goes to screen columns, which tabs and wide characters
  // move further right.
  PEkView V = CurrentView()->EkView();
  const int32_t Col = ConvertPos(V, TCharPos{std::max(Column, 1) - 1, Line}).Col;
  B->ShowLineCol(Line, std::clamp<int32_t>(Col, 1, INT32_MAX), smError);
}

void TTerminalIDE::CloseCurrent() {
  TSourceModule* M = CurrentModule();
  if (!M) return;
  if (!M->Save(false, false)) return;  // cancelled: it stays open
  M->Close(true);
  SyncTabs();
  if (FCurrent >= FTabs.size() && !FTabs.empty()) FCurrent = FTabs.size() - 1;
}

// ---- the loop ----

bool TTerminalIDE::BusyInBackground() const { return FHooks->Busy(); }

void TTerminalIDE::Idle() {
  MainThreadQueue().ProcessPending();
  FHooks->Tick();
}

void TTerminalIDE::Run() {
  StartAutoRecover();
  Render();
  while (!FQuit) {
    const TInputEvent E = FTerminal.Read(BusyInBackground() ? 40 : 1000);
    Dispatch(E);
    Idle();
    Render();
  }
}

void TTerminalIDE::Quit() {
  // Each modified module is asked about, as closing it would; Cancel keeps the IDE running.
  for (TDocModule* D : ModuleList().Snapshot()) {
    auto* M = dynamic_cast<TSourceModule*>(D);
    if (M && M->GetModified() && !M->Save(false, false)) return;
  }
  FQuit = true;
}

void TTerminalIDE::Dispatch(const TInputEvent& E) {
  if (E.Kind == TInputKind::None || E.Kind == TInputKind::Wake) return;
  if (E.Kind == TInputKind::Resize) {
    FTerminal.Invalidate();
    return;
  }
  try {
    if (FDialog) return DialogEvent(E);
    if (FFindForm) {
      const TFindForm::TResult R = FFindForm->Handle(E);
      if (R == TFindForm::TResult::Open) return;
      std::unique_ptr<TFindForm> Form = std::move(FFindForm);
      if (R == TFindForm::TResult::Run) FHooks->StartFind(Form->Request());
      return;
    }
    if (FPrompting) return PromptEvent(E);
    if (E.Kind == TInputKind::Mouse) return Mouse(E);
    if (E.Kind == TInputKind::Key && GlobalKey(E.Key)) return;
    switch (FFocus) {
      case TFocus::Editor: EditorKey(E); break;
      case TFocus::Tree:
        if (E.Kind == TInputKind::Key && E.Key == vkEscape) FFocus = TFocus::Editor;
        else if (FTree && E.Kind == TInputKind::Key) FTree->Key(E.Key);
        break;
      case TFocus::Messages:
        if (E.Kind == TInputKind::Key && E.Key == vkEscape) {
          if (!FHooks->StopFind()) FFocus = TFocus::Editor;
        } else if (E.Kind == TInputKind::Key) {
          FMessages.Key(E.Key);
        }
        break;
      case TFocus::Recover:
        if (FRecover && E.Kind == TInputKind::Key) RecoverKey(E.Key);
        else if (!FRecover) FFocus = TFocus::Editor;
        break;
      case TFocus::Debug: {
        const std::vector<TRowsPane*> Panes = FDebug->Visible();
        if (E.Kind == TInputKind::Key && E.Key == vkEscape) FFocus = TFocus::Editor;
        else if (FDebugFocus < Panes.size() && E.Kind == TInputKind::Key) Panes[FDebugFocus]->Key(E.Key);
        break;
      }
    }
  } catch (const EAbort&) {
    // The user cancelled: nothing to say.
  } catch (const Exception& X) {
    FMessage = X.Message();
  }
}

bool TTerminalIDE::GlobalKey(uint32_t Key) {
  switch (Key) {
    case vkF10:
    case 'X' | kcAlt:
      FPrompting = true;
      FPrompt.SetText("");
      return true;
    case vkF6:
    case vkF6 | kcShift: {
      // The editor, the tree, the messages, then each of the debugger's panes shown.
      std::vector<std::pair<TFocus, size_t>> Order{{TFocus::Editor, 0}};
      if (FTree) Order.emplace_back(TFocus::Tree, 0);
      if (FMessagesVisible) Order.emplace_back(TFocus::Messages, 0);
      for (size_t I = 0; I < FDebug->Visible().size(); ++I) Order.emplace_back(TFocus::Debug, I);
      const std::pair<TFocus, size_t> Now{FFocus, FFocus == TFocus::Debug ? FDebugFocus : 0};
      const auto It = std::find(Order.begin(), Order.end(), Now);
      const size_t At = It == Order.end() ? 0 : static_cast<size_t>(It - Order.begin());
      std::tie(FFocus, FDebugFocus) = Order[(At + (Key & kcShift ? Order.size() - 1 : 1)) % Order.size()];
      return true;
    }
    case 'R' | kcAlt:
      Keyboard().RecordKeyMacro(!Keyboard().Recording());
      FMessage = Keyboard().Recording() ? res::STermRecording : "";
      return true;
    case 'P' | kcAlt:
      if (TEditView* V = CurrentView()) {
        TIdeChildApi Child(*this, V->EkView());
        Keyboard().PlayKeyMacro(Child);
      }
      return true;
    case 'J' | kcAlt: return RunIdeCommand("SyncEdit");
    case 'K' | kcAlt: return RunIdeCommand("ElideNearest");
    case 'U' | kcAlt: return RunIdeCommand("unElideAll");
    case 'S' | kcAlt: return RunIdeCommand("SaveAll");
    case 'W' | kcAlt: return RunIdeCommand("ClosePage");
    case 'M' | kcAlt: RunCommand("Build make"); return true;
    case 'B' | kcAlt: RunCommand("Build build"); return true;
    case 'N' | kcAlt: return RunIdeCommand("NextError");
    case vkF8 | kcShift: RunCommand("StepOut"); return true;
    case 'F' | kcAlt:
      FFindForm = std::make_unique<TFindForm>(CurrentView() ? WordAtCursor(*CurrentView()) : "", FHooks->Group() != nullptr);
      return true;
    case 'G' | kcAlt:
      FPrompting = true;
      FPrompt.SetText("GoToLine ");
      return true;
    case vkPrior | kcCtrl:
    case vkNext | kcCtrl:
      if (!FTabs.empty()) {
        FCurrent = (FCurrent + (Key == (vkPrior | kcCtrl) ? FTabs.size() - 1 : 1)) % FTabs.size();
        FTabs[FCurrent]->Module->Activate();
      }
      return true;
    default: break;
  }
  if (Key >= ('1' | kcAlt) && Key <= ('9' | kcAlt)) {
    const size_t N = (Key & 0xFF) - '1';
    if (N < FTabs.size()) FCurrent = N;
    return true;
  }
  return false;
}

void TTerminalIDE::EditorKey(const TInputEvent& E) {
  TEditView* View = CurrentView();
  if (!View) return;
  if (E.Kind == TInputKind::Char) {
    std::string S;
    AppendUtf8(S, static_cast<uint32_t>(E.Char));
    InsertString(View->EkView(), S);
    return;
  }
  if (E.Kind != TInputKind::Key) return;
  if (SyncEditKeyStroke(*View, E.Key)) return;
  TIdeChildApi Child(*this, View->EkView());
  Keyboard().ProcessKeyStroke(Child, E.Key);
}

void TTerminalIDE::PromptEvent(const TInputEvent& E) {
  if (E.Kind == TInputKind::Key && E.Key == vkEscape) {
    FPrompting = false;
    return;
  }
  if (E.Kind == TInputKind::Key && E.Key == vkReturn) {
    FPrompting = false;
    const std::string Line = FPrompt.Text();
    FPrompt.Remember(Line);
    RunCommand(Line);
    return;
  }
  FPrompt.Handle(E);
}

void TTerminalIDE::DialogEvent(const TInputEvent& E) {
  if (E.Kind != TInputKind::Key && E.Kind != TInputKind::Char) return;
  TDialog& D = *FDialog;
  if (D.HasInput && D.Input.Handle(E)) return;
  if (E.Kind == TInputKind::Key) {
    if (E.Key == vkReturn) {
      D.Result = D.Buttons[D.Focused].second;
      return;
    }
    if (E.Key == vkEscape) {
      // Escape is Cancel where there is one, else No, else the last button.
      for (int Want : {int(mrCancel), int(mrNo), int(mrClose), int(mrOk)})
        for (const auto& B : D.Buttons)
          if (B.second == Want && D.Result == 0) D.Result = Want;
      if (D.Result == 0) D.Result = D.Buttons.back().second;
      return;
    }
    if (E.Key == vkTab || E.Key == vkRight) D.Focused = (D.Focused + 1) % D.Buttons.size();
    if (E.Key == (vkTab | kcShift) || E.Key == vkLeft) D.Focused = (D.Focused + D.Buttons.size() - 1) % D.Buttons.size();
  }
  // A button's first letter chooses it.
  if (D.HasInput) return;
  const char32_t C = E.Kind == TInputKind::Key ? KeyChar(E.Key & ~kcShift) : E.Char;
  for (const auto& B : D.Buttons)
    if (C && static_cast<char32_t>(std::tolower(static_cast<unsigned char>(B.first[0]))) == C) {
      D.Result = B.second;
      return;
    }
}

void TTerminalIDE::Mouse(const TInputEvent& E) {
  if (FEditorRect.Contains(E.Row, E.Col) && EditorPane()) {
    FFocus = TFocus::Editor;
    TEditView* View = CurrentView();
    if (E.Button == 4 || E.Button == 5) {
      TEkView& V = *View->EkView();
      for (int I = 0; I < 3; ++I) EvalOne(&V, E.Button == 4 ? ekScrollScreenUp : ekScrollScreenDown, TEkNoArgs{});
      return;
    }
    TEdPos Pos{};
    if (EditorPane()->PositionAt(E.Row, E.Col, Pos)) GotoLineCol(View->EkView(), Pos.LineNum, Pos.Col);
    return;
  }
  if (FTree && FTreeRect.Contains(E.Row, E.Col)) {
    FFocus = TFocus::Tree;
    FTree->Click(E.Row);
    return;
  }
  if (FDebugRect.Cols > 0 && FDebugRect.Contains(E.Row, E.Col)) {
    const std::vector<TRowsPane*> Panes = FDebug->Visible();
    for (size_t I = 0; I < Panes.size(); ++I)
      if (Panes[I]->Bounds().Contains(E.Row, E.Col)) {
        FFocus = TFocus::Debug;
        FDebugFocus = I;
        Panes[I]->Click(E.Row);
      }
    return;
  }
  if (FMessagesVisible && FMessagesRect.Contains(E.Row, E.Col)) {
    FFocus = TFocus::Messages;
    FMessages.Click(E.Row);
    return;
  }
  if (E.Row == 0) {
    // The tab bar: the tab under the click.
    int Col = 0;
    for (size_t I = 0; I < FTabs.size(); ++I) {
      const int W = CalcDisplayWidth(ExtractFileName(FTabs[I]->Module->GetFileName())) + 4;
      if (E.Col >= Col && E.Col < Col + W) FCurrent = I;
      Col += W;
    }
  }
}

int TTerminalIDE::Ask(const std::string& Message, unsigned Buttons, int DefaultResult) {
  auto D = std::make_unique<TDialog>();
  D->Message = Message;
  for (const auto& [Bit, Named] : ButtonNames)
    if (Buttons & Bit) D->Buttons.emplace_back(Named.first, Named.second);
  if (D->Buttons.empty()) D->Buttons.emplace_back("OK", mrOk);
  for (size_t I = 0; I < D->Buttons.size(); ++I)
    if (D->Buttons[I].second == DefaultResult) D->Focused = I;
  return RunDialog(std::move(D), nullptr);
}

bool TTerminalIDE::AskFileName(const std::string& Title, std::string& FileName) {
  auto D = std::make_unique<TDialog>();
  D->Message = Title;
  D->Buttons = {{"OK", mrOk}, {"Cancel", mrCancel}};
  D->HasInput = true;
  D->Input.SetText(FileName);
  std::string Text;
  if (RunDialog(std::move(D), &Text) != mrOk || Text.empty()) return false;
  FileName = Text;
  return true;
}

int TTerminalIDE::RunDialog(std::unique_ptr<TDialog> Dialog, std::string* Input) {
  // One question at a time: one asked while another waits (a notifier's) gets its default.
  if (FDialog) return Dialog->Buttons[Dialog->Focused].second;
  FDialog = std::move(Dialog);
  while (FDialog->Result == 0) {
    Render();
    const TInputEvent E = FTerminal.Read(-1);
    if (E.Kind == TInputKind::Resize) FTerminal.Invalidate();
    else DialogEvent(E);
  }
  const int Result = FDialog->Result;
  if (Input) *Input = FDialog->Input.Text();
  FDialog.reset();
  return Result;
}

// ---- commands ----

bool TTerminalIDE::RunIdeCommand(const std::string& Name) {
  // The keymaps' debugger commands, by the names the prompt gives them.
  static const std::pair<const char*, const char*> DebugCommands[] = {
      {"ToggleBreakpoint", "Toggle"}, {"RunProgram", "Run"},         {"Step", "StepOver"},
      {"Trace", "StepInto"},          {"RunToHere", "RunToCursor"}, {"TerminateProgram", "Reset"}};
  for (const auto& [Command, Line] : DebugCommands)
    if (Name == Command) {
      RunCommand(Line);
      return true;
    }
  TSourceModule* M = CurrentModule();
  TEditView* View = CurrentView();
  if (Name == "SaveFile") {
    if (M) M->Save(false, true);
  } else if (Name == "SaveAll") {
    SaveModifiedModules();
  } else if (Name == "ClosePage") {
    CloseCurrent();
  } else if (Name == "NextError" || Name == "PrevError") {
    TLine* L = NextErrorMessage(Name == "NextError");
    if (L) {
      FMessagesVisible = true;
      FMessages.Select(FMessages.RowOf(L));
      if (L->CanGotoSource()) L->GotoSource();
    }
  } else if (Name == "MakeProject") {
    RunCommand("Build make");
  } else if (Name == "BuildProject") {
    RunCommand("Build build");
  } else if (Name == "ElideNearest" || Name == "unElideNearest") {
    if (View) FHooks->ToggleFold(*View);
  } else if (Name == "unElideAll") {
    if (View) UnElideAll(View->EkView());
  } else if (Name == "SyncEdit") {
    if (View && !FHooks->SyncEdit(*View)) FMessage = res::STermSyncEditNothing;
  } else if (Name == "GoToLine") {
    FPrompting = true;
    FPrompt.SetText("GoToLine ");
  } else {
    return false;
  }
  return true;
}

void TTerminalIDE::RunCommand(const std::string& Line) {
  const std::string Trimmed = Trim(Line);
  if (Trimmed.empty()) return;
  const size_t Blank = Trimmed.find(' ');
  const std::string Word = Trimmed.substr(0, Blank);
  const std::string Rest = Blank == std::string::npos ? std::string() : Trim(Trimmed.substr(Blank + 1));
  FMessage.clear();
  try {
    if (Word == "Quit") return Quit();
    if (Word == "Open" && !Rest.empty()) return Open(Rest);
    if (Word == "Grep" && !Rest.empty()) return FHooks->Grep(Rest);
    if (Word == "Build") return FHooks->Build(Rest);
    if (Word == "StopGrep") {
      FHooks->StopFind();
      return;
    }
    if (Word == "Messages") {
      FMessagesVisible = !FMessagesVisible || FFocus != TFocus::Messages;
      FFocus = FMessagesVisible ? TFocus::Messages : TFocus::Editor;
      return;
    }
    std::string Output;
    if (FDebug->Command(Word, Rest, CurrentView(), Output)) {
      ShowOutput(Output);
      return;
    }
    // The IDE's commands that scripts do not know, by their command-map names.
    static const char* const IdeOnly[] = {"NextError", "PrevError", "ClosePage", "MakeProject", "BuildProject",
                                          "ToggleBreakpoint", "ElideNearest", "unElideNearest", "unElideAll"};
    if (std::find(std::begin(IdeOnly), std::end(IdeOnly), Word) != std::end(IdeOnly) && RunIdeCommand(Word)) return;
    if (!FRunner || !FRunner(Word, Rest, Output)) {
      FMessage = Format(res::STermUnknownCommand, Word);
      return;
    }
    SyncTabs();
    ShowOutput(Output);
  } catch (const EAbort&) {
  } catch (const Exception& X) {
    FMessage = X.Message();
  }
}

void TTerminalIDE::ShowOutput(std::string Output) {
  // What a command prints shows on the message line: its last line, which is the answer of
  // the query commands. An answer of several lines goes to the message view as well.
  while (!Output.empty() && Output.back() == '\n') Output.pop_back();
  if (Output.empty()) return;  // what the command said otherwise (a question) stays
  const size_t Last = Output.rfind('\n');
  FMessage = Last == std::string::npos ? Output : Output.substr(Last + 1);
  if (Last == std::string::npos) return;
  TLineBuffer* Group = LineBufferList().AddList(res::STermPromptGroup);
  Group->Clear();
  for (const std::string& L : Split(Output, '\n')) TTitleLine::Make(*Group, L);
  LineBufferList().SetCurrentGroup(Group);
  FMessagesVisible = true;
}

// ---- drawing ----

void TTerminalIDE::Layout() {
  const int Rows = FGrid.Rows(), Cols = FGrid.Cols();
  if (FHooks->MessagesWanted()) FMessagesVisible = true;
  const int Body = std::max(Rows - 2, 1);  // the tab bar and the status line
  const int MsgRows = FMessagesVisible || FRecover ? std::clamp(Body / 3, 3, Body - 3 > 3 ? Body - 3 : 3) : 0;
  const int TreeCols = FTree ? std::clamp(Cols / 4, 16, 40) : 0;
  // The debugger's panes stand in a column at the right, one above the other.
  const int DebugCols = FDebug->Visible().empty() ? 0 : std::clamp(Cols / 3, 20, 50);
  FTreeRect = TRect{1, 0, Body - MsgRows, std::min(TreeCols, Cols)};
  const int EditorCol = TreeCols ? TreeCols + 1 : 0;
  FEditorRect = TRect{1, EditorCol, Body - MsgRows, std::max(Cols - EditorCol - (DebugCols ? DebugCols + 1 : 0), 1)};
  FDebugRect = TRect{1, Cols - DebugCols, Body - MsgRows, DebugCols};
  FMessagesRect = TRect{1 + Body - MsgRows, 0, MsgRows, Cols};
}

void TTerminalIDE::DrawTabs() {
  FGrid.Fill(TRect{0, 0, 1, FGrid.Cols()}, FStyles.Title);
  int Col = 0;
  if (FFirstPart && FTabs.empty()) {
    Col += FGrid.Put(0, Col, " " + ExtractFileName(FFirstPart->FileName) + "  ", FStyles.TitleFocused);
    FGrid.Put(0, Col, "|", FStyles.Title);
  }
  for (size_t I = 0; I < FTabs.size(); ++I) {
    TSourceModule* M = FTabs[I]->Module;
    const std::string Name = " " + ExtractFileName(M->GetFileName()) + (M->GetModified() ? "*" : " ") + " ";
    const TCellStyle S = I == FCurrent ? FStyles.TitleFocused : FStyles.Title;
    Col += FGrid.Put(0, Col, Name, S);
    Col += FGrid.Put(0, Col, "|", FStyles.Title);
  }
}

void TTerminalIDE::DrawDebugPanes(bool Focused) {
  const std::vector<TRowsPane*> Panes = FDebug->Visible();
  if (Panes.empty() || FDebugRect.Cols <= 0) {
    if (FFocus == TFocus::Debug) FFocus = TFocus::Editor;
    return;
  }
  FDebugFocus = std::min(FDebugFocus, Panes.size() - 1);
  FGrid.Fill(TRect{FDebugRect.Row, FDebugRect.Col - 1, FDebugRect.Rows, 1}, FStyles.Title, U'|');
  const int N = static_cast<int>(Panes.size());
  int Row = FDebugRect.Row;
  for (int I = 0; I < N; ++I) {
    // The rows shared out evenly, the first panes taking what does not divide.
    const int Rows = FDebugRect.Rows / N + (I < FDebugRect.Rows % N ? 1 : 0);
    Panes[static_cast<size_t>(I)]->Draw(FGrid, TRect{Row, FDebugRect.Col, Rows, FDebugRect.Cols},
                                        Focused && static_cast<size_t>(I) == FDebugFocus, FStyles);
    Row += Rows;
  }
}

void TTerminalIDE::DrawStatus() {
  const int Row = FGrid.Rows() - 1;
  FGrid.Fill(TRect{Row, 0, 1, FGrid.Cols()}, FStyles.Title);
  if (FPrompting) {
    FGrid.Put(Row, 0, "> ", FStyles.TitleFocused);
    return;
  }
  std::string Left;
  TEditView* V = CurrentView();
  if (!V && FFirstPart) V = FFirstPart->View;
  if (V) {
    const TEdPos C = V->Cursor();
    Left = Format("%d:%d", C.LineNum, C.Col);
    if (V->Buffer().GetIsModified()) Left += " Modified";
    if (!(V->Buffer().KernelBuffer()->EdModes & emInsert)) Left += " Overwrite";
    if (Keyboard().Recording()) Left += " REC";
    if (const TSyncEditController* C = SyncEditManager().ControllerOf(*V); C && C->Mode() != semNone)
      Left += " SyncEdit";
  }
  const std::string Progress = FHooks->ProgressText();
  std::string Text = Left + (Progress.empty() ? "" : "  " + Progress) + (FMessage.empty() ? "" : "  " + FMessage);
  FGrid.Put(Row, 1, Text, FStyles.Title, FGrid.Cols() - 1);
}

void TTerminalIDE::DrawDialog() {
  const TDialog& D = *FDialog;
  std::vector<std::string> Lines = Split(D.Message, '\n');
  const int W = std::clamp(FGrid.Cols() - 8, 20, 76);
  const int H = static_cast<int>(Lines.size()) + 4 + (D.HasInput ? 2 : 0);
  const TRect Box{std::max((FGrid.Rows() - H) / 2, 0), std::max((FGrid.Cols() - W) / 2, 0), H, W};
  FGrid.Fill(Box, FStyles.Title);
  for (size_t I = 0; I < Lines.size(); ++I)
    FGrid.Put(Box.Row + 1 + static_cast<int>(I), Box.Col + 2, Lines[I], FStyles.Title, W - 4);
  if (D.HasInput) {
    const int Row = Box.Row + 2 + static_cast<int>(Lines.size());
    FDialogCursorRow = Row;
    FDialogCursorCol = D.Input.Draw(FGrid, Row, Box.Col + 2, W - 4, FStyles.Normal);
  }
  int Col = Box.Col + 2;
  for (size_t I = 0; I < D.Buttons.size(); ++I) {
    const std::string Label = "[" + D.Buttons[I].first + "]";
    Col += FGrid.Put(Box.Bottom() - 2, Col, Label, I == D.Focused ? FStyles.TitleFocused : FStyles.Title) + 2;
  }
}

void TTerminalIDE::Render() {
  if (FGrid.Rows() != FTerminal.Rows() || FGrid.Cols() != FTerminal.Cols())
    FGrid.Resize(FTerminal.Rows(), FTerminal.Cols());
  if (FGrid.Rows() < 3 || FGrid.Cols() < 10) return;
  SyncTabs();
  Layout();
  DrawTabs();
  int CursorRow = -1, CursorCol = -1;
  if (FTree) {
    FTree->Draw(FGrid, FTreeRect, FFocus == TFocus::Tree, FStyles);
    FGrid.Fill(TRect{FTreeRect.Row, FTreeRect.Right(), FTreeRect.Rows, 1}, FStyles.Title, U'|');
  }
  if (TEditorPane* P = EditorPane()) {
    P->Draw(FGrid, FEditorRect);
    if (FFocus == TFocus::Editor && !P->CursorCell(CursorRow, CursorCol)) CursorRow = -1;
  } else {
    FGrid.Fill(FEditorRect, TCellStyle{});
    FGrid.Put(FEditorRect.Row + 1, FEditorRect.Col + 2, res::STermNoFileOpen, TCellStyle{});
  }
  if (FRecover) FRecover->Draw(FGrid, FMessagesRect, FFocus == TFocus::Recover, FStyles);
  else if (FMessagesVisible) FMessages.Draw(FGrid, FMessagesRect, FFocus == TFocus::Messages, FStyles);
  DrawDebugPanes(FFocus == TFocus::Debug);
  DrawStatus();
  if (FPrompting) {
    CursorRow = FGrid.Rows() - 1;
    CursorCol = FPrompt.Draw(FGrid, CursorRow, 2, FGrid.Cols() - 3, FStyles.TitleFocused);
  }
  if (FFindForm) FFindForm->Draw(FGrid, TRect{0, 0, FGrid.Rows(), FGrid.Cols()}, FStyles, CursorRow, CursorCol);
  if (FDialog) {
    FDialogCursorRow = -1;
    DrawDialog();
    CursorRow = FDialogCursorRow;
    CursorCol = FDialogCursorCol;
  }
  FTerminal.Present(FGrid, CursorRow, CursorCol);
}

}  // namespace nxs::term
