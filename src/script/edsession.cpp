#include "script/edsession.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
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
#include "script/edfolding.h"
#include "script/edmessages.h"
#include "script/edmodules.h"
#include "script/edsyncedit.h"
#include "script/resstrings.h"
#include "modules/sourcemodule.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::script {

namespace {

class ECommandFailed : public Exception {
 public:
  using Exception::Exception;
};

const char* BlockKind(TBlockType T) {
  switch (T) {
    case btInclusive: return "inclusive";
    case btLine: return "line";
    case btColumn: return "column";
    case btNonInclusive: return "noninclusive";
  }
  return "?";
}

}  // namespace

TEdSession::TEdSession(TEdModules& Modules) : FModules(Modules) {
  EvEditBufferChangeRefused().Add(this, &TEdSession::ChangeRefused);
}

TEdSession::~TEdSession() { EvEditBufferChangeRefused().Remove(this, &TEdSession::ChangeRefused); }

void TEdSession::Run(const std::string& Line) {
  FRefused.clear();
  try {
    RunCommand(Line);
  } catch (const Exception&) {
    if (FRefused.empty()) throw;
  }
  if (!FRefused.empty()) throw ECommandFailed(Format(res::SEditBufferReadOnly, FRefused));
}

void TEdSession::ChangeRefused(TEvEditBufferModified& Args) {
  const TEditBuffer* B = TEditBuffer::FromKernelBuffer(Args.Buffer);
  if (B && FRefused.empty()) FRefused = B->FileName();
}

TKeyboardServices& TEdSession::Keyboard() {
  if (!FKeyboard) FKeyboard = std::make_unique<TKeyboardServices>();
  return *FKeyboard;
}

void TEdSession::ProcessKey(uint32_t Key) {
  if (SyncEditKeyStroke(FModules.Current().ShowEditor(), Key)) return;
  TIDEKBDChildAPI Child(FModules.View());
  Keyboard().ProcessKeyStroke(Child, Key);
}

// ---- keys, keymaps, macros and tokens ----

bool TEdSession::RunKeyboardCommand(const std::string& Word, const std::string& Rest) {
  static const char* const Words[] = {"Key", "Keymap", "RecordMacro", "StopMacro", "PlayMacro", "Tokens"};
  if (std::find(std::begin(Words), std::end(Words), Word) == std::end(Words)) return false;
  if (Word == "Tokens") {
    const PEkView View = FModules.View();
    THighlighter* H = HighlighterForFile(FModules.Options().SourceOptionGroups(), FModules.Buffer().FileName());
    if (!H) H = FindHighlighter("None");
    FModules.Print(TokensOfLine(*H, View->Cursor.LineNum, [&](int L) { return GetLineText(View, L); }));
    return true;
  }
  if (Word == "Key") {
    auto Keys = ParseKeySequence(Rest);
    if (!Keys) throw ECommandFailed(Format(res::SEdNotAKeySequence, Rest));
    for (uint32_t K : *Keys) ProcessKey(K);
  } else if (Word == "Keymap") {
    const int I = Keyboard().LookupKeyBinding(Trim(Rest));
    if (I < 0) throw ECommandFailed(Format(res::SEdUnknownKeymap, Trim(Rest)));
    Keyboard().SetBindingIndex(I);
  } else if (Word == "RecordMacro") {
    Keyboard().RecordKeyMacro(true);
  } else if (Word == "StopMacro") {
    Keyboard().RecordKeyMacro(false);
  } else {
    TIDEKBDChildAPI Child(FModules.View());
    Keyboard().PlayKeyMacro(Child);
  }
  return true;
}

void TEdSession::Find(const std::string& Args) {
  TSearchRequest R = ParseSearchRequest(Args, 1);
  TEkSearchState State{};
  TSearchResult Result = SearchOk;
  const bool Found = DoOneSearch(FModules.View(), R.Flags, R.Brief, R.Parts[0], State, &Result);
  if (Result != SearchOk) throw ECommandFailed(SearchErrorMessage(FModules.View(), R.Parts[0], R.Brief, Result));
  if (!Found) {
    FModules.Print("not found\n");
    return;
  }
  const TEdPos At = ConvertPos(FModules.View(), State.MatchPos);
  const int Length = MatchCharLength(FModules.View(), State);
  GotoCharPos(FModules.View(), State.MatchPos);
  FModules.Print(Format("found %d %d %d\n", static_cast<int>(At.LineNum), static_cast<int>(At.Col), Length));
}

void TEdSession::ReplaceAllCmd(const std::string& Args) {
  TSearchRequest R = ParseSearchRequest(Args, 2);
  TSearchResult Result = SearchOk;
  const int32_t Count = ReplaceAll(FModules.View(), R.Flags, R.Brief, R.Parts[0], R.Parts[1], &Result);
  if (Result != SearchOk) throw ECommandFailed(SearchErrorMessage(FModules.View(), R.Parts[0], R.Brief, Result));
  FModules.Print(Format("%d\n", static_cast<int>(Count)));
}

void TEdSession::RunCommand(const std::string& Line) {
  const size_t Blank = Line.find(' ');
  const std::string Word = Line.substr(0, Blank);
  const std::string Rest = Blank == std::string::npos ? std::string() : Line.substr(Blank + 1);
  if (FModules.Run(Word, Rest) || RunMessageCommand(FModules, Word, Rest) ||
      RunKeyboardCommand(Word, Rest) || RunFoldingCommand(FModules, Word, Rest) ||
      RunSyncEditCommand(FModules, Word, Rest, UnescapeTypedText))
    return;
  if (Word == "InsertText") {
    InsertString(FModules.View(), UnescapeTypedText(Rest));
  } else if (Word == "GoToLine") {
    const std::vector<std::string> P = Split(Trim(Rest), ' ');
    if (P.empty() || P.size() > 2) throw ECommandFailed(res::SEdExpectedGoToLine);
    const int32_t L = IntArgument<int32_t>(P[0], "LINE", 1), C = P.size() > 1 ? IntArgument<int32_t>(P[1], "COLUMN", 1) : 1;
    GotoLineCol(FModules.View(), L, C);
  } else if (Word == "Find") {
    Find(Rest);
  } else if (Word == "ReplaceAll") {
    ReplaceAllCmd(Rest);
  } else if (Word == "Pos") {
    const TEkView& V = *FModules.View();
    FModules.Print(Format("%d %d\n", static_cast<int>(V.Cursor.LineNum), static_cast<int>(V.Cursor.Col)));
  } else if (Word == "Block") {
    if (!BlockIsMarked(FModules.View())) {
      FModules.Print("none\n");
      return;
    }
    TCharPos S, A;
    GetMarkedRange(FModules.View(), true, false, S, A);
    FModules.Print(Format("%d %d %d %d %s\n", static_cast<int>(S.LineNum), static_cast<int>(S.Index),
                          static_cast<int>(A.LineNum), static_cast<int>(A.Index), BlockKind(GetBlockType(FModules.View()))));
  } else if (Word == "Lines") {
    FModules.Print(Format("%d\n", static_cast<int>(TotalLinesInBuffer(FModules.View()))));
  } else if (Word == "Modified") {
    FModules.Print(Format("%s\n", FModules.Buffer().GetIsModified() ? "true" : "false"));
  } else if (Word == "Print") {
    FModules.Print(FModules.Buffer().SavedText());
  } else {
    const TNamedCommandResult R = RunNamedCommand(FModules.View(), Word, Rest);
    if (R.IsQuery) FModules.Print(Format("%s\n", R.Answer ? "true" : "false"));
  }
}

}  // namespace nxs::script
