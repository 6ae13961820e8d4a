// Editor options read from the settings store, for when the environment options are not
// connected (tests, the command-line host).
#include "editor/buffers/edoptions.h"

#include <mutex>

#include "shared/filenames.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

namespace {

constexpr const char* EditorOptionsKey = "Editor\\Options";
constexpr const char* SourceOptionsKey = "Editor\\Source Options";

std::mutex SourceLock;
std::shared_ptr<IEditorOptionsSource>& CurrentSource() {
  static std::shared_ptr<IEditorOptionsSource> S = std::make_shared<TSettingsEditorOptions>();
  return S;
}

bool ExtensionListMatches(std::string_view List, const std::string& FileName) {
  const std::string Ext = ExtractFileExt(FileName);
  if (Ext.empty()) return false;
  for (const std::string& Entry : Split(List, ';')) {
    std::string E;
    for (char C : Entry)
      if (C != ' ' && C != '\t') E += C;
    if (!E.empty() && SameText("." + E, Ext)) return true;
  }
  return false;
}

}  // namespace

IEditorOptionsSource& EditorOptionsSource() {
  std::lock_guard<std::mutex> G(SourceLock);
  return *CurrentSource();
}

void SetEditorOptionsSource(std::shared_ptr<IEditorOptionsSource> Source) {
  std::lock_guard<std::mutex> G(SourceLock);
  CurrentSource() = Source ? std::move(Source) : std::make_shared<TSettingsEditorOptions>();
}

TEdOptionsStruct TSettingsEditorOptions::EditorOptions() {
  TSettingsStore& S = SettingsStore();
  TEdOptionsStruct O;
  O.UndoLimit = static_cast<int>(S.ReadInteger(EditorOptionsKey, "Undo Limit", O.UndoLimit));
  O.CreateBackupFile = S.ReadBool(EditorOptionsKey, "Create Backup File", O.CreateBackupFile);
  O.InsertMode = S.ReadBool(EditorOptionsKey, "Insert", O.InsertMode);
  O.GroupUndo = S.ReadBool(EditorOptionsKey, "Group Undo", O.GroupUndo);
  O.PersistentBlocks = S.ReadBool(EditorOptionsKey, "Persistent Blocks", O.PersistentBlocks);
  O.OverwriteBlocks = S.ReadBool(EditorOptionsKey, "Overwrite Blocks", O.OverwriteBlocks);
  O.PreserveLineEnds = S.ReadBool(EditorOptionsKey, "Preserve Line Ends", O.PreserveLineEnds);
  O.CursorBeyondEOF = S.ReadBool(EditorOptionsKey, "Cursor Beyond EOF", O.CursorBeyondEOF);
  O.UndoAfterSave = S.ReadBool(EditorOptionsKey, "Undo After Save", O.UndoAfterSave);
  return O;
}

TBufferSourceOptions TSettingsEditorOptions::SourceOptionsFor(const std::string& FileName) {
  TSettingsStore& S = SettingsStore();
  const TEdOptionsStruct Ed = EditorOptions();
  TBufferSourceOptions O;
  std::string Section;
  for (const std::string& Group : S.ReadSubKeys(SourceOptionsKey)) {
    const std::string Key = std::string(SourceOptionsKey) + "\\" + Group;
    if (ExtensionListMatches(S.ReadString(Key, "File Extensions"), FileName)) {
      Section = Key;
      break;
    }
  }
  auto Flag = [&](const char* Name, bool Default) { return Section.empty() ? Default : S.ReadBool(Section, Name, Default); };
  uint32_t Modes = 0;
  if (Ed.InsertMode) Modes |= emInsert;
  if (Ed.GroupUndo) Modes |= emGroupUndo;
  if (Ed.PersistentBlocks) Modes |= emPersistentBlocks;
  if (Ed.OverwriteBlocks) Modes |= emOverwriteBlocks;
  if (Ed.CursorBeyondEOF) Modes |= emCursorBeyondEOF;
  if (Ed.UndoAfterSave) Modes |= emUndoAfterSave;
  if (Flag("Auto Indent", true)) Modes |= emAutoIndent;
  if (Flag("Tab Character", false)) Modes |= emUseTabChar;
  if (Flag("Backspace Unindents", true)) Modes |= emBackspaceUnindents;
  if (Flag("Keep Trailing Blanks", false)) Modes |= emKeepTrailingBlanks;
  if (Flag("Optimal Fill", false)) Modes |= emOptimalFill;
  if (Flag("Smart Tab", false)) Modes |= emSmartTab;
  if (Flag("Use Syntax Highlight", true)) Modes |= emSyntaxHighlight;
  if (Flag("Cursor Through Tabs", true)) Modes |= emCursorThroughTabs;
  O.EdModes = Modes;
  if (!Section.empty()) {
    O.TabStops = S.ReadString(Section, "Tab Stops", O.TabStops);
    O.BlockIndent = static_cast<int>(S.ReadInteger(Section, "Block Indent", O.BlockIndent));
    O.SyntaxLangID = S.ReadString(Section, "Syntax Highlighter ID");
  }
  return O;
}

bool TSettingsEditorOptions::BriefRegExp() { return SettingsStore().ReadBool(EditorOptionsKey, "BRIEF RegEx", false); }

std::string TSettingsEditorOptions::DefaultFileFilter() {
  return SettingsStore().ReadString("Editor", "DefaultFileFilter", "Tarvos.FileFilter.ANSI");
}

bool ParseTabStops(const std::string& Text, std::vector<int>& Stops) {
  Stops.clear();
  std::string Word;
  auto Flush = [&]() {
    if (Word.empty()) return true;
    auto V = TryStrToInt(Word);
    Word.clear();
    if (!V || *V < 1 || *V > 1024 || (!Stops.empty() && *V <= Stops.back())) return false;
    Stops.push_back(static_cast<int>(*V));
    return true;
  };
  for (char C : Text) {
    if (C == ' ' || C == ',' || C == '\t') {
      if (!Flush()) return false;
    } else {
      Word += C;
    }
  }
  return Flush() && !Stops.empty();
}

}  // namespace nxs
