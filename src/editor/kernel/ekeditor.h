// The operations of one view on its document: cursor motion, typing and deleting, blocks,
// marks, queries, search and folding. The evaluator calls them for the commands of a script;
// each returns an eResult (erOk or an error of TEkResult or the operation's own codes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "editor/kernel/ek.h"
#include "editor/kernel/ekdocument.h"
#include "editor/kernel/eksearch.h"

namespace nxs::ek {

// What the kernel hangs on a TEkView.
struct TEkViewState {
  std::vector<TEkLineView> LVec;
  TSearcher Searcher;
  bool MatchValid = false;  // the special block holds the last match
};

class TEkEditor {
 public:
  TEkEditor(TEkView* View, TEkDocument& Doc);

  TEkDocument& Doc() { return FDoc; }
  TEkView* View() { return FView; }

  // Cursor.
  uint64_t CursorLine() const;  // from 0, within the text
  TTextPos CursorPos(int64_t* Beyond = nullptr) const;
  uint64_t CursorOffset() const { return FDoc.Text().OffsetOf(CursorPos()); }
  void MoveTo(TTextPos P);
  void MoveToOffset(uint64_t Offset) { MoveTo(FDoc.Text().PosOf(Offset)); }
  void SetScreen(int64_t Line, int64_t Col);  // line from 1, column from 1, clamped to the record's range
  int64_t ColumnOf(TTextPos P) const;
  TTextPos PosOfColumn(uint64_t Line, int64_t Col, int64_t* Beyond = nullptr) const;

  // Motions (operation codes of class 03 and the like).
  uint8_t Motion(uint8_t Op);
  uint8_t Skip(uint8_t Code);
  uint8_t MarkOp(uint8_t Code);
  uint8_t GotoLineCol(TEdPos Pos, bool UnElide);
  uint8_t GotoCharPos(TCharPos Pos, bool UnElide);
  void FixScreen(bool Center);
  void FixCursor();
  uint8_t MatchPair(bool Forward);

  // Editing.
  uint8_t InsertTyped(std::string_view Text);    // 35
  uint8_t InsertLiteral(std::string_view Text);  // 2C
  uint8_t InsertRaw(std::string_view Text);      // 06
  uint8_t InsertAt(uint64_t Pos, std::string_view Text);  // 98: as given, the cursor stays
  uint8_t DeleteChar();
  uint8_t Backspace();
  uint8_t ForeTab();
  uint8_t BackTab();
  uint8_t Undo();
  uint8_t Redo();
  uint8_t SetLineBreak(uint64_t Line, uint8_t Style);

  // Blocks.
  bool BlockStream(uint64_t& From, uint64_t& To) const;  // a stream or line block as offsets
  bool TempBlock(uint64_t& From, uint64_t& To) const;
  uint8_t DeleteBlock(bool Temp);
  uint8_t CopyBlock(bool Move);
  uint8_t ChangeCase(int Mode);  // 0 upper, 1 lower, 2 toggle
  uint8_t IndentBlock(bool Outdent, int Columns);
  std::string BlockText() const;  // column blocks: the lines' parts joined by the default break
  void BlockBounds(bool Special, TEdPos& Start, TEdPos& After) const;

  // Queries.
  uint16_t Answer(uint8_t Query, bool& Known);

  // Search.
  uint8_t Search(uint16_t Flags, std::string_view Pattern, TEkSearchState* Out, bool Again);
  uint8_t Replace(std::string_view Replacement, TEkSearchState* Out);
  // Every match at once, as byte offsets found in one pass before anything changes: linear in
  // the text and the matches, and a replacement is never searched again.
  uint8_t ReplaceAll(uint16_t Flags, std::string_view Pattern, std::string_view Replacement, int32_t* Count);

 private:
  std::string LineText(uint64_t Line) const { return FDoc.LineText(Line); }
  // Makes the cursor's position exist in the text (pads lines and blanks) and returns its offset.
  uint64_t Materialize();
  std::string IndentFor(uint64_t Line) const;
  std::string Normalize(std::string_view Text) const;
  void Change(uint64_t Pos, uint64_t Count, std::string_view Text);
  struct TColumnSpan {
    uint64_t Line;
    uint64_t From, To;  // byte columns
  };
  std::vector<TColumnSpan> ColumnSpans() const;
  // The scope of a search: the shown stream block unless the whole file is asked for.
  void SearchScope(TSearchFlags F, uint64_t& Lo, uint64_t& Hi) const;
  TEkViewState& State() { return *static_cast<TEkViewState*>(FView->ViewData); }
  int64_t WinLength() const { return FView->FWinLength > 0 ? FView->FWinLength : 1; }
  uint32_t Modes() const { return FDoc.Rec()->EdModes; }

  TEkView* FView;
  TEkDocument& FDoc;
};

}  // namespace nxs::ek
