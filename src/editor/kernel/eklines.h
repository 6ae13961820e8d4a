// The line index over the piece tree: lines are numbered from 0 here, each keeps its own line
// break (CR LF, LF or CR; the last line has none).
#pragma once

#include <cstdint>
#include <string>

#include "editor/kernel/ek.h"
#include "editor/kernel/ekpieces.h"

namespace nxs::ek {

class TLineIndex {
 public:
  explicit TLineIndex(const TPieceTree& Tree) : FTree(Tree) {}

  uint64_t LineCount() const { return FTree.BreakCount() + 1; }
  // Offset of the line's first byte; lines past the end read as the text's end.
  uint64_t LineStart(uint64_t Line) const { return FTree.BreakEnd(Line); }
  // Offset just past the line's last character (its break excluded).
  uint64_t LineEnd(uint64_t Line) const;
  uint64_t LineLength(uint64_t Line) const { return LineEnd(Line) - LineStart(Line); }
  TLineBreakStyle BreakStyle(uint64_t Line) const;
  // The line holding the byte at Pos (a position between CR and LF belongs to the CR's line).
  uint64_t LineOf(uint64_t Pos) const { return FTree.BreaksBefore(Pos); }
  // The line's text without its break.
  std::string LineText(uint64_t Line) const;

 private:
  const TPieceTree& FTree;
};

inline const char* LineBreakText(TLineBreakStyle Style) {
  switch (Style) {
    case lbsCRLF: return "\r\n";
    case lbsLF: return "\n";
    case lbsCR: return "\r";
    default: return "";
  }
}

}  // namespace nxs::ek
