// Folded ("elided") blocks of a document: ranges that can hide their lines behind the first
// one. Blocks move with the text like markers; one that loses its range is dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "editor/kernel/ektext.h"

namespace nxs::ek {

struct TFold {
  TTextPos Start, End;  // End is inclusive of its line: lines Start.Line+1 .. End.Line hide
  uint16_t Type = 0;
  std::string Desc;
  bool Folded = false;
  bool TempOpen = false;  // unfolded for the moment (the cursor went inside)
  bool Hides() const { return Folded && !TempOpen; }
};

// The blocks keep the order they were added in (the saved form lists them so). A parse
// result adds tens of thousands of blocks at once and the painter asks about every line,
// so two things are kept beside the list and rebuilt only when they went stale: an index
// from range to block, and the hidden lines as sorted, merged runs.
class TElisions {
 public:
  const std::vector<TFold>& Folds() const { return FFolds; }
  // A block with the same range as an earlier one replaces it in its place.
  void Add(TFold F);
  bool RemoveRange(TTextPos Start, TTextPos End);
  bool RemoveAt(TTextPos P);  // the innermost block holding P
  // Folds or unfolds every block whose range lies within [First, Last] lines.
  int SetFolded(uint64_t First, uint64_t Last, bool Folded);
  void UnfoldAll();
  int FoldType(uint16_t Type);
  void ResetTemporary();
  void OpenAround(uint64_t Line);  // unfolds for the moment what hides Line
  void Clear();

  bool LineHidden(uint64_t Line) const;
  uint64_t HiddenLines() const;
  const TFold* StartingOn(uint64_t Line) const;
  bool EndsOn(uint64_t Line) const;
  int BlocksAt(uint64_t Line) const;
  bool PointFolded(TTextPos P) const;
  // The next line shown after Line (skips hidden ones); LineCount when none.
  uint64_t NextVisible(uint64_t Line, uint64_t LineCount) const;
  uint64_t PrevVisible(uint64_t Line) const;

  void Move(const TChange& C);
  // Moves every block's ends within their lines (the lines stay where they are).
  void MoveColumns(const std::function<TTextPos(TTextPos)>& Map);

 private:
  struct TRangeHash {
    size_t operator()(const std::pair<TTextPos, TTextPos>& R) const;
  };
  using TRun = std::pair<uint64_t, uint64_t>;  // hidden lines First..Last

  void RangesChanged() { FIndexed = false, FHiddenStale = true; }
  // The run of hidden lines holding Line; nullptr when Line is shown.
  const TRun* HiddenRun(uint64_t Line) const;

  std::vector<TFold> FFolds;
  // Range -> position in FFolds, for the first block with that range. Dropped when blocks
  // move or go, rebuilt by the next Add.
  std::unordered_map<std::pair<TTextPos, TTextPos>, size_t, TRangeHash> FIndex;
  bool FIndexed = true;
  // Built on the first question after a change to what hides.
  mutable std::vector<TRun> FHidden;
  mutable bool FHiddenStale = false;
};

}  // namespace nxs::ek
