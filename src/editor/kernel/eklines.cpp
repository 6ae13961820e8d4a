// Line queries answered from the piece tree's break counts.
#include "editor/kernel/eklines.h"

namespace nxs::ek {

uint64_t TLineIndex::LineEnd(uint64_t Line) const {
  if (Line + 1 >= LineCount()) return FTree.Length();
  uint64_t Next = FTree.BreakEnd(Line + 1);
  switch (BreakStyle(Line)) {
    case lbsCRLF: return Next - 2;
    case lbsNone: return Next;
    default: return Next - 1;
  }
}

TLineBreakStyle TLineIndex::BreakStyle(uint64_t Line) const {
  if (Line + 1 >= LineCount()) return lbsNone;
  uint64_t Next = FTree.BreakEnd(Line + 1);
  if (FTree.ByteAt(Next - 1) == '\r') return lbsCR;
  if (Next >= 2 && Next - 2 >= LineStart(Line) && FTree.ByteAt(Next - 2) == '\r') return lbsCRLF;
  return lbsLF;
}

std::string TLineIndex::LineText(uint64_t Line) const {
  uint64_t Start = LineStart(Line);
  return FTree.Text(Start, LineEnd(Line) - Start);
}

}  // namespace nxs::ek
