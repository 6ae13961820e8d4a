// nxs ed: opens files as modules, each with one view, and runs editor and module commands on
// the current one, one per line, from a script file or standard input. Files on disk change
// only through the saving and renaming commands.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "editor/buffers/charwidth.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/edrun.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/resstrings.h"
#include "editor/keyboard/keyboard.h"
#include "editor/language/render.h"
#include "editor/language/syncedit.h"
#include "options/envoptions.h"
#include "host/answers.h"
#include "shared/settings.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/edfolding.h"
#include "host/edmessages.h"
#include "host/edmodules.h"
#include "host/edrecover.h"
#include "host/edsyncedit.h"
#include "host/resstrings.h"
#include "modules/sourcemodule.h"
#include "shared/fileio.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

const char* const EdUsage = "nxs ed FILE... [--script SCRIPT] [--answer yes|no|cancel] [--answers FILE]";
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
    "Questions take their answers from --answers FILE (one per line, in order), then --answer\n"
    "  (default cancel); each is echoed on standard error.";

class ECommandFailed : public Exception {
 public:
  using Exception::Exception;
};

// The source option groups of the settings, read once, to find a file's highlighter.
TSourceOptionGroups& EdSourceOptions() {
  static std::unique_ptr<TEnvironmentOptions> Options = [] {
    auto O = std::make_unique<TEnvironmentOptions>(SettingsStore());
    O->SourceOptionGroups().WriteBuiltIns = false;
    O->LoadOptions();
    return O;
  }();
  return Options->SourceOptionGroups();
}

const char* BlockKind(TBlockType T) {
  switch (T) {
    case btInclusive: return "inclusive";
    case btLine: return "line";
    case btColumn: return "column";
    case btNonInclusive: return "noninclusive";
  }
  return "?";
}

class TEdSession {
 public:
  explicit TEdSession(TEdModules& Modules) : FModules(Modules) {
    EvEditBufferChangeRefused().Add(this, &TEdSession::ChangeRefused);
  }
  ~TEdSession() { EvEditBufferChangeRefused().Remove(this, &TEdSession::ChangeRefused); }
  TEdSession(const TEdSession&) = delete;  // subscribed by address
  TEdSession& operator=(const TEdSession&) = delete;

  // Runs one command; a command that tried to change a read-only buffer fails with the
  // buffer's message, whichever way it came to the change (typing, a key, a replace, a macro).
  void Run(const std::string& Line) {
    FRefused.clear();
    try {
      RunCommand(Line);
    } catch (const Exception&) {
      if (FRefused.empty()) throw;
    }
    if (!FRefused.empty()) throw ECommandFailed(Format(res::SEditBufferReadOnly, FRefused));
  }

 private:
  void RunCommand(const std::string& Line);
  void ChangeRefused(TEvEditBufferModified& Args) {
    const TEditBuffer* B = TEditBuffer::FromKernelBuffer(Args.Buffer);
    if (B && FRefused.empty()) FRefused = B->FileName();
  }
  bool RunKeyboardCommand(const std::string& Word, const std::string& Rest);
  PEkView V() { return FModules.View(); }
  TEditBuffer& Buffer() { return FModules.Buffer(); }
  void Find(const std::string& Args);
  void ReplaceAllCmd(const std::string& Args);

  TEdModules& FModules;
  std::unique_ptr<TKeyboardServices> FKeyboard;  // made by the first keyboard command
  std::string FRefused;  // the read-only file the current command tried to change
};

// ---- keys, keymaps, macros and tokens ----

bool TEdSession::RunKeyboardCommand(const std::string& Word, const std::string& Rest) {
  static const char* const Words[] = {"Key", "Keymap", "RecordMacro", "StopMacro", "PlayMacro", "Tokens"};
  if (std::find(std::begin(Words), std::end(Words), Word) == std::end(Words)) return false;
  if (Word == "Tokens") {
    THighlighter* H = HighlighterForFile(EdSourceOptions(), Buffer().FileName());
    if (!H) H = FindHighlighter("None");
    std::string Out = TokensOfLine(*H, V()->Cursor.LineNum, [&](int L) { return GetLineText(V(), L); });
    std::fwrite(Out.data(), 1, Out.size(), stdout);
    return true;
  }
  if (!FKeyboard) FKeyboard = std::make_unique<TKeyboardServices>();
  TIDEKBDChildAPI Child(V());
  if (Word == "Key") {
    auto Keys = ParseKeySequence(Rest);
    if (!Keys) throw ECommandFailed(Format(res::SEdNotAKeySequence, Rest));
    for (uint32_t K : *Keys)
      if (!SyncEditKeyStroke(FModules.Current().ShowEditor(), K)) FKeyboard->ProcessKeyStroke(Child, K);
  } else if (Word == "Keymap") {
    const int I = FKeyboard->LookupKeyBinding(Trim(Rest));
    if (I < 0) throw ECommandFailed(Format(res::SEdUnknownKeymap, Trim(Rest)));
    FKeyboard->SetBindingIndex(I);
  } else if (Word == "RecordMacro") {
    FKeyboard->RecordKeyMacro(true);
  } else if (Word == "StopMacro") {
    FKeyboard->RecordKeyMacro(false);
  } else {
    FKeyboard->PlayKeyMacro(Child);
  }
  return true;
}

void TEdSession::Find(const std::string& Args) {
  TSearchRequest R = ParseSearchRequest(Args, 1);
  TEkSearchState State{};
  TSearchResult Result = SearchOk;
  const bool Found = DoOneSearch(V(), R.Flags, R.Brief, R.Parts[0], State, &Result);
  if (Result != SearchOk) throw ECommandFailed(SearchErrorMessage(V(), R.Parts[0], R.Brief, Result));
  if (!Found) {
    std::printf("not found\n");
    return;
  }
  const TEdPos At = ConvertPos(V(), State.MatchPos);
  const int Length = MatchCharLength(V(), State);
  GotoCharPos(V(), State.MatchPos);
  std::printf("found %d %d %d\n", static_cast<int>(At.LineNum), static_cast<int>(At.Col), Length);
}

void TEdSession::ReplaceAllCmd(const std::string& Args) {
  TSearchRequest R = ParseSearchRequest(Args, 2);
  TSearchResult Result = SearchOk;
  const int32_t Count = ReplaceAll(V(), R.Flags, R.Brief, R.Parts[0], R.Parts[1], &Result);
  if (Result != SearchOk) throw ECommandFailed(SearchErrorMessage(V(), R.Parts[0], R.Brief, Result));
  std::printf("%d\n", static_cast<int>(Count));
}

void TEdSession::RunCommand(const std::string& Line) {
  const size_t Blank = Line.find(' ');
  const std::string Word = Line.substr(0, Blank);
  const std::string Rest = Blank == std::string::npos ? std::string() : Line.substr(Blank + 1);
  if (RunRecoverCommand(FModules, Word, Rest) || FModules.Run(Word, Rest) || RunMessageCommand(FModules, Word, Rest) ||
      RunKeyboardCommand(Word, Rest) || RunFoldingCommand(FModules, Word, Rest) ||
      RunSyncEditCommand(FModules, Word, Rest, UnescapeTypedText))
    return;
  if (Word == "InsertText") {
    InsertString(V(), UnescapeTypedText(Rest));
  } else if (Word == "GoToLine") {
    const std::vector<std::string> P = Split(Trim(Rest), ' ');
    if (P.empty() || P.size() > 2) throw ECommandFailed(res::SEdExpectedGoToLine);
    const int32_t L = IntArgument<int32_t>(P[0], "LINE", 1), C = P.size() > 1 ? IntArgument<int32_t>(P[1], "COLUMN", 1) : 1;
    GotoLineCol(V(), L, C);
  } else if (Word == "Find") {
    Find(Rest);
  } else if (Word == "ReplaceAll") {
    ReplaceAllCmd(Rest);
  } else if (Word == "Pos") {
    std::printf("%d %d\n", static_cast<int>(V()->Cursor.LineNum), static_cast<int>(V()->Cursor.Col));
  } else if (Word == "Block") {
    if (!BlockIsMarked(V())) {
      std::printf("none\n");
      return;
    }
    TCharPos S, A;
    GetMarkedRange(V(), true, false, S, A);
    std::printf("%d %d %d %d %s\n", static_cast<int>(S.LineNum), static_cast<int>(S.Index), static_cast<int>(A.LineNum),
                static_cast<int>(A.Index), BlockKind(GetBlockType(V())));
  } else if (Word == "Lines") {
    std::printf("%d\n", static_cast<int>(TotalLinesInBuffer(V())));
  } else if (Word == "Modified") {
    std::printf("%s\n", Buffer().GetIsModified() ? "true" : "false");
  } else if (Word == "Print") {
    const std::string Text = Buffer().SavedText();
    std::fwrite(Text.data(), 1, Text.size(), stdout);
  } else {
    const TNamedCommandResult R = RunNamedCommand(V(), Word, Rest);
    if (R.IsQuery) std::printf("%s\n", R.Answer ? "true" : "false");
  }
}

}  // namespace

static int RunEd(const TCommandLine& Cmd) {
  const std::string Answer = Cmd.Get("--answer", "cancel");
  if (Answer != "yes" && Answer != "no" && Answer != "cancel") Cmd.Fail(res::SEdAnswerWords);
  SetQuestions(std::make_shared<TScriptAnswers>(Cmd.Has("--answers") ? ReadWholeFile(Cmd.Get("--answers")) : "", Answer));
  // Standard input is read a line at a time, so that another program can drive a session
  // and act between its commands.
  std::istringstream ScriptFile(Cmd.Has("--script") ? ReadWholeFile(Cmd.Get("--script")) : std::string());
  std::istream& Lines = Cmd.Has("--script") ? static_cast<std::istream&>(ScriptFile) : std::cin;
  TEdModules Modules(Cmd.Positional());
  TEdSession Session(Modules);
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
  Modules.Finish();
  return 0;
}

TCommand EdCommand() {
  return Leaf("ed", "edit files with a command script", EdUsage, EdHelp,
              {{"--script", true}, {"--answer", true}, {"--answers", true}}, 1, SIZE_MAX, RunEd);
}

}  // namespace nxs::host
