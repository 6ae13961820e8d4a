// The points of a sync edit and the tracker that keeps them in step with the text.
//
// A point is a group of occurrences that always hold the same text (every use of one
// identifier in the block, or one named field of a code template). Each occurrence has three
// tracked positions: its start, its end, and an anchor on the character before it. The kernel
// moves a position that text is inserted at to the end of the insertion, which suits the end
// (typing at an occurrence's end extends it) but not the start: the anchor, which an insertion
// at the start leaves alone, tells where the start was.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/buffers/edtracker.h"

namespace nxs {

struct TSyncEditOccurrence {
  TCharPos Start{0, 0};
  TCharPos End{0, 0};  // the position after the last character
  std::string Text;    // what it held when last looked at
  // Entries of the tracker; -1 when not tracked (no anchor before the first character).
  int StartEntry = -1, EndEntry = -1, AnchorEntry = -1;
};

struct TSyncEditPoint {
  std::string Text;  // what every occurrence holds
  std::vector<TSyncEditOccurrence> Occurrences;
};

// The point collection of one sync edit: what a plug-in sees and what a template hands in.
class TSyncEditPoints {
 public:
  std::vector<TSyncEditPoint> Points;
  int Count() const { return static_cast<int>(Points.size()); }
};

// Entries' data words: the point number in the high 8 bits, the occurrence in the low 24.
inline constexpr uint32_t PackPointData(int Point, int Occurrence) {
  return (static_cast<uint32_t>(Point) << 24) | (static_cast<uint32_t>(Occurrence) & 0xFFFFFF);
}
inline constexpr int PointOfData(uint32_t Data) { return static_cast<int>(Data >> 24); }
inline constexpr int OccurrenceOfData(uint32_t Data) { return static_cast<int>(Data & 0xFFFFFF); }
inline constexpr int MaxSyncEditPoints = 256;

inline bool SamePos(TCharPos A, TCharPos B) { return A.LineNum == B.LineNum && A.Index == B.Index; }
inline bool PosBefore(TCharPos A, TCharPos B) { return A.LineNum != B.LineNum ? A.LineNum < B.LineNum : A.Index < B.Index; }

class TPointTracker : public TEdTracker {
 public:
  explicit TPointTracker(TEditBuffer* Buffer);
  // Stops the reports first: detaching runs the kernel, which would deliver a report still
  // queued to a tracker whose points are already gone.
  ~TPointTracker() override;

  // Enters every occurrence of the points (occurrences beyond the table's limit are dropped)
  // and attaches the table to the buffer.
  void Track(std::shared_ptr<TSyncEditPoints> Points);
  TSyncEditPoints* Points() const { return FPoints.get(); }
  const std::shared_ptr<TSyncEditPoints>& PointsRef() const { return FPoints; }

  // Reads the tracked bounds of an occurrence back into it and settles its entries there: the
  // start is the earlier of the tracked start and the place after the anchor. False when the
  // occurrence's line went away.
  bool Refresh(TSyncEditOccurrence& O);
  // Moves the occurrence's entries to its stored bounds and puts the anchor on the character
  // before its start (a line start anchors on the end of the line before; the text's first
  // position has no anchor).
  void Store(TSyncEditOccurrence& O, int Point, int Occurrence);
  // Frees the occurrence's entries.
  void Forget(TSyncEditOccurrence& O);
  // The character before the occurrence was deleted since its entries were last stored: a
  // change that began before it reached into it.
  bool AnchorSwallowed(const TSyncEditOccurrence& O) const;

 private:
  static TCharPos AfterAnchor(TCharPos Anchor, TCharPos Start) {
    return Anchor.LineNum < Start.LineNum ? TCharPos{0, Anchor.LineNum + 1} : TCharPos{Anchor.Index + 1, Anchor.LineNum};
  }
  // A stored bound moves with its entry when the entry was where the bound says.
  void PosMoved(TCharPos OldPos, TCharPos NewPos, uint32_t Data);

  std::shared_ptr<TSyncEditPoints> FPoints;
};

}  // namespace nxs
