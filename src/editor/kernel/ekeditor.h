// The operations of one view on its document: cursor motion, typing and deleting, blocks,
// marks, queries, search and folding. The evaluator calls them for the commands of a script;
// each returns an eResult (erOk or an error of TEkResult or the operation's own codes).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "editor/kernel/ek.h"
#include "editor/kernel/ekdocument.h"
#include "editor/kernel/eksearch.h"

namespace nxs::ek {

// Reads an argument record out of a script (records are packed; the copy is aligned).
template <class T>
T ArgsOf(const uint8_t* P) {
  T A;
  std::memcpy(&A, P, sizeof(T));
  return A;
}

// Writes a result into the caller's storage (records are packed: copied, never referenced);
// a nil pointer is skipped.
template <class T>
void Put(T* Dest, const T& Value) {
  if (Dest) std::memcpy(Dest, &Value, sizeof(T));
}

// A text argument: a nil pointer with a length is refused (Ok false).
inline std::string_view StringArg(const char* P, uint32_t Len, bool& Ok) {
  Ok = P || Len == 0;
  return P ? std::string_view(P, Len) : std::string_view();
}

// What the kernel hangs on a TEkView.
struct TEkViewState {
  // Where the cursor's screen position was last found in the text, while neither the text,
  // the tab rack nor the cursor changed since: typing reads no line again.
  struct TCursorCache {
    uint64_t Changes = UINT64_MAX;
    uint64_t Layout = 0;
    int32_t Line = 0, Col = 0;
    TTextPos Pos;
  } Cursor;
  std::vector<TEkLineView> LVec;
  TSearcher Searcher;
  bool MatchValid = false;  // the special block holds the last match
  // Why the last pattern did not compile (empty when it did), and where in it.
  std::string PatternError;
  uint32_t PatternErrorOffset = 0;
};

class TEkEditor {
 public:
  TEkEditor(TEkView* View, TEkDocument& Doc);

  TEkDocument& Doc() { return FDoc; }
  TEkView* View() { return FView; }

  // Cursor.
  uint64_t CursorLine() const;  // from 0, within the text
  // Exact: the cursor stands on the first column of a character or at the line's end.
  TTextPos CursorPos(int64_t* Beyond = nullptr, bool* Exact = nullptr) const;
  uint64_t CursorOffset() const { return FDoc.Text().OffsetOf(CursorPos()); }
  void MoveTo(TTextPos P);
  void MoveToOffset(uint64_t Offset) { MoveTo(FDoc.Text().PosOf(Offset)); }
  // The cursor, just placed, stands at P (spares the next CursorPos reading the line).
  void KnowCursor(TTextPos P);
  void SetScreen(int64_t Line, int64_t Col);  // line from 1, column from 1, clamped to the record's range
  int64_t ColumnOf(TTextPos P) const;
  TTextPos PosOfColumn(uint64_t Line, int64_t Col, int64_t* Beyond = nullptr, bool* Exact = nullptr) const;

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

  // Records the caller hands over (the operations of the same names).
  uint8_t ReadBuffer(const TReadBufferArgs& A);
  uint8_t AdoptBuffer(const TAdoptBufferArgs& A);
  uint8_t InsertFromReader(const TReadBufferArgs& A);
  uint8_t WriteBuffer(const TWriteBufferArgs& A);
  uint8_t SeekTo(const TSeekArgs& A);
  uint8_t ReadChars(const TReadCharsArgs& A);
  uint8_t GetMarkedRange(const TGetMarkedRangeArgs& A);
  uint8_t SetMarkedRange(const TSetMarkedRangeArgs& A);
  uint8_t SetMarkerPos(uint32_t Id, TCharPos Pos, bool Screen);
  uint8_t ConvertPos(const TConvertPosArgs& A);
  uint8_t SearchString(const TSearchStringArgs& A);
  bool LineInText(int32_t Line) const;  // a line number from 1 within the text

  // Search.
  uint8_t Search(uint16_t Flags, std::string_view Pattern, TEkSearchState* Out, bool Again);
  uint8_t Replace(std::string_view Replacement, TEkSearchState* Out);
  // Every match at once, as byte offsets found in one pass before anything changes: linear in
  // the text and the matches, and a replacement is never searched again.
  uint8_t ReplaceAllMatches(uint16_t Flags, std::string_view Pattern, std::string_view Replacement, int32_t* Count);
  const std::string& SearchError() { return State().PatternError; }
  uint32_t SearchErrorOffset() { return State().PatternErrorOffset; }

 private:
  std::string LineText(uint64_t Line) const { return FDoc.LineText(Line); }
  // What follows a whole new text: the cursor and window at its start, not modified.
  void AfterRead();
  // Makes the cursor's position exist in the text (pads lines and blanks) and returns its offset.
  uint64_t Materialize();
  std::string IndentFor(uint64_t Line) const;
  std::string Normalize(std::string_view Text) const;
  void Change(uint64_t Pos, uint64_t Count, std::string_view Text);
  // Makes a set of replacements as a change per line (or per run of matches on one line).
  void ReplaceLineByLine(const TReplacements& R);
  struct TColumnSpan {
    uint64_t Line;
    uint64_t From, To;  // byte columns
  };
  std::vector<TColumnSpan> ColumnSpans() const;
  // Prepares a searcher for the pattern and keeps why it failed for GetSearchError.
  uint8_t Prepare(TSearcher& S, std::string_view Pattern, TSearchFlags Flags);
  // The scope of a search: the shown stream block unless the whole file is asked for.
  void SearchScope(TSearchFlags F, uint64_t& Lo, uint64_t& Hi) const;
  TEkViewState& State() { return *static_cast<TEkViewState*>(FView->ViewData); }
  int64_t WinLength() const { return FView->FWinLength > 0 ? FView->FWinLength : 1; }
  uint32_t Modes() const { return FDoc.Rec()->EdModes; }

  TEkView* FView;
  TEkDocument& FDoc;
};

}  // namespace nxs::ek
