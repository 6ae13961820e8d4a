// TEditSource: the facade through which plug-ins and the rest of the system read and change
// a buffer: its editor options, the block, content, undo, readers, writers and notifiers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/edtracker.h"
#include "editor/kernel/ek.h"

namespace nxs {

class TEditView;
class TEditWriter;
class TEditViewReader;

class TEditSource {
 public:
  explicit TEditSource(TEditBuffer& Buffer);
  TEditSource(const TEditSource&) = delete;  // bound to its buffer
  TEditSource& operator=(const TEditSource&) = delete;

  // Options of the buffer (edit-mode bits of the kernel buffer, or kept here).
  bool GetAutoIndent() const { return Mode(emAutoIndent); }
  void SetAutoIndent(bool V) { SetMode(emAutoIndent, V); }
  bool GetBackspaceUnindents() const { return Mode(emBackspaceUnindents); }
  void SetBackspaceUnindents(bool V) { SetMode(emBackspaceUnindents, V); }
  bool GetCursorThroughTabs() const { return Mode(emCursorThroughTabs); }
  void SetCursorThroughTabs(bool V) { SetMode(emCursorThroughTabs, V); }
  bool GetGroupUndo() const { return Mode(emGroupUndo); }
  void SetGroupUndo(bool V) { SetMode(emGroupUndo, V); }
  bool GetInsertMode() const { return Mode(emInsert); }
  void SetInsertMode(bool V) { SetMode(emInsert, V); }
  bool GetKeepTrailingBlanks() const { return Mode(emKeepTrailingBlanks); }
  void SetKeepTrailingBlanks(bool V) { SetMode(emKeepTrailingBlanks, V); }
  bool GetOverwriteBlocks() const { return Mode(emOverwriteBlocks); }
  void SetOverwriteBlocks(bool V) { SetMode(emOverwriteBlocks, V); }
  bool GetPersistentBlocks() const { return Mode(emPersistentBlocks); }
  void SetPersistentBlocks(bool V) { SetMode(emPersistentBlocks, V); }
  bool GetSmartTab() const { return Mode(emSmartTab); }
  void SetSmartTab(bool V) { SetMode(emSmartTab, V); }
  bool GetUndoAfterSave() const { return Mode(emUndoAfterSave); }
  void SetUndoAfterSave(bool V) { SetMode(emUndoAfterSave, V); }
  bool GetUseTabCharacter() const { return Mode(emUseTabChar); }
  void SetUseTabCharacter(bool V) { SetMode(emUseTabChar, V); }
  bool GetPreserveLineEnds() const;
  void SetPreserveLineEnds(bool V);
  int GetRightMargin() const;
  // 0..4095, else "RightMargin must be an integer between 0 and 4095".
  void SetRightMargin(int V);
  int GetLeftGutterWidth() const { return FLeftGutterWidth; }
  void SetLeftGutterWidth(int V);
  int GetUndoLimit() const;
  void SetUndoLimit(int V);
  std::string GetTabStops() const;
  // Stops separated by blanks, rising; a text that does not parse is ignored.
  void SetTabStops(const std::string& V);
  bool CreateBackupFile = true;
  bool HighlightCurrentLine = true;
  bool ShowLineBreaks = false;
  bool ShowSpace = false;
  bool ShowTab = false;
  bool SyntaxHighlight = true;

  // The block, in character positions.
  TCharPos BlockStart() const;
  TCharPos BlockAfter() const;
  TBlockType BlockType() const;
  bool BlockVisible() const;
  void SetBlock(TCharPos Start, TCharPos After, TBlockType Type);

  // The text as it is saved (without a byte-order mark).
  std::string GetContent() const;
  // Replaces the whole text as one undoable change.
  void SetContent(std::string_view Text);
  int32_t GetContentAge() const;
  int32_t GetLinesInBuffer() const;
  void Undo();
  void Redo();
  void ClearUndo();
  // Indents (positive) or outdents (negative) the block by that many columns.
  void Indent(int Columns);

  std::unique_ptr<TEditViewReader> CreateReader();
  std::unique_ptr<TEditWriter> CreateWriter();
  std::unique_ptr<TEditWriter> CreateUndoableWriter();

  // The notifiers are the buffer's (IEditSourceNotifier), which tells them as it saves and changes.
  int AddNotifier(std::shared_ptr<IEditSourceNotifier> Notifier);
  void RemoveNotifier(int Index);
  void NotifyBeforeSave();
  void NotifyAfterSave();
  void NotifyModified();

  TEditView* TopView() const;
  void SwitchToView(int Index);
  void Show() {}
  void ShowSource() {}
  void Print() {}

  // Line trackers handed to plug-ins.
  TEdTracker& EditTracker();

 private:
  bool Mode(uint32_t Bit) const;
  void SetMode(uint32_t Bit, bool On);

  TEditBuffer& FEditBuffer;
  int FTopView = 0;
  int FLeftGutterWidth = 20;
  std::unique_ptr<TEdTracker> FEditTracker;
  int FEditTrackerCounter = 0;
};

}  // namespace nxs
