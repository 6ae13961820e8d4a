// Folded ("elided") blocks of a document: ranges that can hide their lines behind the first
// one. Blocks move with the text like markers; one that loses its range is dropped.
#pragma once

#include <cstdint>
#include <string>
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

class TElisions {
 public:
  const std::vector<TFold>& Folds() const { return FFolds; }
  // False when a block with the same range exists (it is updated instead).
  void Add(TFold F);
  bool RemoveRange(TTextPos Start, TTextPos End);
  bool RemoveAt(TTextPos P);  // the innermost block holding P
  // Folds or unfolds every block whose range lies within [First, Last] lines.
  int SetFolded(uint64_t First, uint64_t Last, bool Folded);
  void UnfoldAll();
  int FoldType(uint16_t Type);
  void ResetTemporary();
  void OpenAround(uint64_t Line);  // unfolds for the moment what hides Line
  void Clear() { FFolds.clear(); }

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

 private:
  std::vector<TFold> FFolds;
};

}  // namespace nxs::ek
