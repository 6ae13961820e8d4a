// The editor options that buffers and the command layer read, behind a small interface:
// the environment options object answers at run time (start-up connects it); until then,
// and in tests, the values come from the settings store with their documented defaults.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/kernel/ek.h"

namespace nxs {

// What a new buffer takes from the source option group of its file type.
struct TBufferSourceOptions {
  uint32_t EdModes = emInsert | emAutoIndent | emCursorThroughTabs;
  std::vector<TPairDesc> Pairs;
  std::string TabStops = "8";   // the "Tab Stops" text: stops separated by blanks
  int BlockIndent = 2;
  std::string SyntaxLangID;     // highlighter identifier; empty for none
};

// The editor options (section "Editor\Options") the buffers use.
struct TEdOptionsStruct {
  std::string TabRack = "8";
  int UndoLimit = 32767;
  std::string BackupPath;
  bool CreateBackupFile = true;
  bool InsertMode = true;
  bool AutoIndent = true;
  bool UseTabChar = false;
  bool OptimalFill = false;
  bool AutoOutdent = false;
  bool CursorThruTabs = true;
  bool GroupUndo = true;
  bool PersistentBlocks = false;
  bool OverwriteBlocks = true;
  bool PreserveLineEnds = true;
  bool KeepTrailingBlanks = false;
  bool CursorBeyondEOF = false;
  bool UndoAfterSave = true;
};

class IEditorOptionsSource {
 public:
  virtual ~IEditorOptionsSource() = default;
  // The source options of the group whose extensions match FileName.
  virtual TBufferSourceOptions SourceOptionsFor(const std::string& FileName) = 0;
  virtual TEdOptionsStruct EditorOptions() = 0;
  // The search options' BRIEF regular-expression switch.
  virtual bool BriefRegExp() = 0;
  // The "DefaultFileFilter" of section "Editor".
  virtual std::string DefaultFileFilter() = 0;
};

// Reads "Editor\Options", "Editor\Source Options" and "Editor" in the settings store; a
// missing value takes its default.
class TSettingsEditorOptions : public IEditorOptionsSource {
 public:
  TBufferSourceOptions SourceOptionsFor(const std::string& FileName) override;
  TEdOptionsStruct EditorOptions() override;
  bool BriefRegExp() override;
  std::string DefaultFileFilter() override;
};

IEditorOptionsSource& EditorOptionsSource();
// Start-up connects the environment options; tests put in their own. nullptr restores the
// settings-store reader.
void SetEditorOptionsSource(std::shared_ptr<IEditorOptionsSource> Source);

// Parses a tab-stop text ("4 8 12" or "4,8"); stops must rise. False when it does not parse.
[[nodiscard]] bool ParseTabStops(const std::string& Text, std::vector<int>& Stops);

}  // namespace nxs
