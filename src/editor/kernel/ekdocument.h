// The kernel document behind one TEditorBuffer: the text buffer with everything that moves
// with the text (markers, bookmarks, the block, caller track tables, line flags, frozen line
// numbers, folded blocks), the search state, the buffer's settings and its views.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "editor/kernel/ek.h"
#include "editor/kernel/ekelision.h"
#include "editor/kernel/eklineflags.h"
#include "editor/kernel/ektext.h"
#include "editor/kernel/ektokens.h"

namespace nxs::ek {

// Thrown inside an operation for a position the text cannot take or a record cannot hold;
// the evaluator turns it into erRange.
struct TRangeError {};

inline constexpr uint32_t MaxMarkers = 64;
// Markers of the kernel's own beyond the public ones.
inline constexpr uint32_t mkSpecialBeg = 6;  // the search match
inline constexpr uint32_t mkSpecialEnd = 7;

class TEkDocument : public ITextWatcher {
 public:
  explicit TEkDocument(TEditorBuffer* Rec);
  ~TEkDocument() override;
  TEkDocument(const TEkDocument&) = delete;  // the record and the views point at it
  TEkDocument& operator=(const TEkDocument&) = delete;

  TEditorBuffer* Rec() const { return FRec; }
  TTextBuffer& Text() { return FText; }
  const TTextBuffer& Text() const { return FText; }
  uint64_t LineCount() const { return FText.Lines().LineCount(); }
  std::string LineText(uint64_t Line) const { return FText.Lines().LineText(Line); }
  std::vector<TEkView*>& Views() { return FViews; }
  TElisions& Elisions() { return FElisions; }

  // Settings.
  TTabRack Rack{};
  uint64_t LayoutGeneration = 0;  // counts changes of what maps bytes to columns (the rack)
  uint8_t SyntaxLang = 0;
  TLineClasses LineClasses;  // start class of each line for the tokenizer of SyntaxLang
  int BlockIndent = 2;  // columns of IndentBlock without a count
  std::string DefaultBreak = "\r\n";  // the break typed lines get: the file's first one
  bool BufferFrozen = false;
  bool Playback = false;

  // Search state: the last pattern and flags (SearchAgain).
  std::string LastPattern;
  uint16_t LastFlags = 0;
  bool HaveSearch = false;

  // Markers, in byte columns. Setting one to a position outside the text clamps it.
  bool MarkerSet(uint32_t Id) const { return Id < MaxMarkers && FMarkers[Id].first; }
  TTextPos Marker(uint32_t Id) const { return Id < MaxMarkers ? FMarkers[Id].second : TTextPos{}; }
  void SetMarker(uint32_t Id, TTextPos P);
  void ClearMarker(uint32_t Id);

  // The block: markers 2 and 3, its kind and visibility. Valid when both are set.
  uint8_t BlockType = btNonInclusive;
  bool BlockHidden = false;
  bool BlockValid() const { return MarkerSet(mkBlockBeg) && MarkerSet(mkBlockEnd); }
  bool SpecialShown = false;

  // Line flags (lines from 0).
  uint32_t LineFlags(uint64_t Line) const;
  void SetLineFlags(uint64_t Line, uint32_t Flags);
  void ClearFlagBits(uint32_t Bits);

  // Caller track tables. Their procedures hear of moved positions once the outermost script
  // has finished (FlushTrackReports), so that a procedure may run scripts of its own.
  [[nodiscard]] bool AttachTrackTable(const TAddTrackTableArgs& Args);
  [[nodiscard]] bool DetachTrackTable(void* Table);
  void FlushTrackReports();
  int EvalDepth = 0;  // scripts running on this document (a track procedure may start one)

  // Positions carried through the changes for a while (the other views' cursors and top lines
  // while a script runs on one view): moved as markers are, and flagged once they moved.
  struct TCarried {
    TTextPos Pos;
    bool Moved = false;
  };
  std::vector<TCarried> Carried;
  // The views whose cursor and top line Carried holds (two entries each), with what the text
  // positions do not say: lines past the text's end, columns inside a tab or past a line's end.
  struct TCarriedView {
    TEkView* View;
    int64_t LinesOver, ColsOver, TopOver;
  };
  std::vector<TCarriedView> CarriedViews;

  // Frozen line numbers (lines from 0; -1 for a line that did not exist when frozen).
  void FreezeLines();
  bool FrozenEnabled() const { return FFrozen; }
  int64_t RealToFrozen(int64_t Line) const;
  int64_t FrozenToReal(int64_t Line) const;

  // Conversions at the boundary. A character position past the line end reads as the end.
  TTextPos FromCharPos(const TCharPos& P) const;
  TCharPos ToCharPos(TTextPos P) const;

  // Asks the query handlers whether a change may happen and checks the read-only lock.
  [[nodiscard]] uint8_t CheckEditable(int32_t Line, int32_t Count);
  // Updates the record's counters after a script.
  void SyncRecord();
  void SendEvent(uint16_t Event, int32_t Line, int32_t Count);
  // Lines that need painting again since the last paint (all when RepaintAll).
  bool RepaintAll = true;
  std::vector<uint64_t> RepaintLines;

  void TextChanged(const TChange& C) override;
  void TextReset() override;
  void TextReplaced(const TReplacements& R, const std::vector<TTextPos>& At) override;

 private:
  struct TTracker {
    TAddTrackTableArgs Args;
    bool Moved = false;
  };
  // Moves every tracked position (line, character column from 0); Move returns false when
  // the position's line went.
  void MoveTrackers(const std::function<bool(uint64_t& Line, uint64_t& Col)>& Move);
  void MoveLineFlags(const TChange& C);
  void RecordFrozenShift(const TChange& C);
  void MarkModified();

  TEditorBuffer* FRec;
  TTextBuffer FText;
  std::vector<TEkView*> FViews;
  TElisions FElisions;
  std::array<std::pair<bool, TTextPos>, MaxMarkers> FMarkers{};
  std::vector<TTracker> FTrackers;
  TLineFlagTable FLineFlags;
  bool FFrozen = false;
  struct TShift {
    int64_t After;  // lines after this one are added or removed
    int64_t Delta;
  };
  std::vector<TShift> FShifts;
};

// Moves a position (line, column in any unit) for a change whose four positions are given in
// the same unit. Returns false when the position's line was deleted as a whole.
bool MovePosition(uint64_t& Line, uint64_t& Col, const TChange& C, TTextPos Before, TTextPos BeforeEnd,
                  TTextPos After, TTextPos AfterEnd);

}  // namespace nxs::ek
