// The text buffer: the piece tree with its line index and undo history. Every change passes
// Insert or Delete, which record undo and tell the watchers (markers, trackers, line flags).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/kernel/ek.h"
#include "editor/kernel/eklines.h"
#include "editor/kernel/ekpieces.h"
#include "editor/kernel/ekreplace.h"
#include "editor/kernel/ekundo.h"

namespace nxs::ek {

// A position as line (from 0) and byte column.
struct TTextPos {
  uint64_t Line = 0;
  uint64_t Col = 0;
  friend bool operator<(const TTextPos& A, const TTextPos& B) {
    return A.Line != B.Line ? A.Line < B.Line : A.Col < B.Col;
  }
  friend bool operator==(const TTextPos&, const TTextPos&) = default;
};

// One change as the watchers see it. Before: where the changed range started and ended
// (for an insertion Before == BeforeEnd). After: where the range's start and end are now.
// LineDelta: lines added (negative: removed).
struct TChange {
  bool Insert = true;
  uint64_t Pos = 0;
  uint64_t Len = 0;
  TTextPos Before, BeforeEnd;
  TTextPos After, AfterEnd;
  int64_t LineDelta = 0;
  // The same four columns counted in characters; filled only while SetNeedCharColumns is on.
  uint64_t BeforeChars = 0, BeforeEndChars = 0, AfterChars = 0, AfterEndChars = 0;
};

class ITextWatcher {
 public:
  virtual ~ITextWatcher() = default;
  virtual void TextChanged(const TChange& Change) = 0;
  // The whole text was replaced (loading, clearing).
  virtual void TextReset() = 0;
  // A set of replacements none of which took or made a line break: every line keeps its
  // number. At holds where each replaced text started (line and byte column), in order.
  virtual void TextReplaced(const TReplacements& R, const std::vector<TTextPos>& At) = 0;
};

class TTextBuffer {
 public:
  TTextBuffer() : FLines(FTree) {}
  TTextBuffer(const TTextBuffer&) = delete;  // watchers hold pointers into it
  TTextBuffer& operator=(const TTextBuffer&) = delete;

  const TPieceTree& Tree() const { return FTree; }
  const TLineIndex& Lines() const { return FLines; }
  TUndoHistory& History() { return FHistory; }
  uint64_t Length() const { return FTree.Length(); }
  TTextPos PosOf(uint64_t Offset) const;
  uint64_t OffsetOf(TTextPos P) const;  // columns past the line end read as the end
  std::string Text(uint64_t Pos, uint64_t Count) const { return FTree.Text(Pos, Count); }

  void AddWatcher(ITextWatcher* W) { FWatchers.push_back(W); }
  void RemoveWatcher(ITextWatcher* W);

  // The two gateways. RecordUndo off (no-undo mode) still tells the watchers, and drops the
  // history that the change makes stale.
  void Insert(uint64_t Pos, std::string_view Text);
  void Delete(uint64_t Pos, uint64_t Count);
  // The gateway for many replacements at once (R.Items and R.New given): the text they span
  // is copied once into a block of its own, whatever their number, and the change undoes as
  // one record, which takes R over. False, with nothing done and R as it was, when a replaced
  // or replacing text holds a line break, when the replacements would join a CR and an LF,
  // or when the span is too large for one block: the caller then changes the text piece by
  // piece.
  bool Replace(TReplacements& R);
  void SetRecordUndo(bool On) { FRecordUndo = On; }
  bool RecordUndo() const { return FRecordUndo; }
  void SetNeedCharColumns(bool On) { FNeedChars = On; }
  // Characters of the line before byte column P.Col.
  uint64_t CharColumn(TTextPos P) const;
  // The cursor recorded with the next change, restored when it is undone.
  void SetCursorForUndo(TEdPos Cursor) { FCursor = Cursor; }
  void AddClientUndo(TEkClientUndoProc Proc, void* Context, bool OwnStep = false);

  // Undo or redo one group; Where receives the offset of the last change and Cursor the
  // cursor recorded before the group (both untouched by a group that changed no text). False
  // when there is nothing to do.
  bool Undo(uint64_t& Where, TEdPos& Cursor);
  bool Redo(uint64_t& Where);

  // Replaces the text with what Read yields; false (text empty) when it reports an error.
  bool Load(const std::function<int64_t(char*, size_t)>& Read);
  // Replaces the text with Size bytes at Data, from malloc, which the text keeps as they lie
  // (no copy) and frees; the first Skip bytes are no text (a byte-order mark). Size under 4 GB.
  void Adopt(char* Data, size_t Size, size_t Skip);
  void Clear();
  // Counts every change (undo and redo included).
  uint64_t ChangeCount() const { return FChangeCount; }
  size_t MemoryUse() const { return FTree.MemoryUse() + FHistory.MemoryUse(); }

 private:
  void ForgetHistory();
  void RawInsert(uint64_t Pos, std::string_view Text);
  // Deleted: the bytes that go, when the caller has them at hand (positions follow cheaper).
  void RawDelete(uint64_t Pos, uint64_t Count, std::string_view Deleted);
  // The text that R's span [Lo, Hi) becomes, as a block; nullptr when Check finds that lines
  // would change (see Replace). Check also fills R.Old.
  std::unique_ptr<TTextBlock> BuildReplaced(TReplacements& R, bool Check, uint64_t& Lo, uint64_t& Hi) const;
  void RawReplace(const TReplacements& R, uint64_t Lo, uint64_t Hi, std::unique_ptr<TTextBlock> Block);
  // Undoes or redoes a set of replacements: turns it into its inverse and applies that.
  void ReapplyInverse(TReplacements& R, uint64_t& Where);

  TPieceTree FTree;
  TLineIndex FLines;
  TUndoHistory FHistory;
  std::vector<ITextWatcher*> FWatchers;
  bool FRecordUndo = true;
  bool FNeedChars = false;
  TEdPos FCursor{1, 1};
  uint64_t FChangeCount = 0;
};

}  // namespace nxs::ek
