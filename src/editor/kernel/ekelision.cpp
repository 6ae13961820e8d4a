// Folded blocks: adding, folding, queries and moving with the text.
#include "editor/kernel/ekelision.h"

#include <algorithm>

#include "editor/kernel/ekdocument.h"

namespace nxs::ek {

void TElisions::Add(TFold F) {
  for (TFold& Old : FFolds)
    if (Old.Start == F.Start && Old.End == F.End) {
      Old = std::move(F);
      return;
    }
  FFolds.push_back(std::move(F));
}

bool TElisions::RemoveRange(TTextPos Start, TTextPos End) {
  auto It = std::find_if(FFolds.begin(), FFolds.end(),
                         [&](const TFold& F) { return F.Start == Start && F.End == End; });
  if (It == FFolds.end()) return false;
  FFolds.erase(It);
  return true;
}

bool TElisions::RemoveAt(TTextPos P) {
  int Best = -1;
  for (size_t I = 0; I < FFolds.size(); ++I) {
    const TFold& F = FFolds[I];
    if (P < F.Start || F.End < P) continue;
    if (Best < 0 || FFolds[Best].Start < F.Start) Best = static_cast<int>(I);
  }
  if (Best < 0) return false;
  FFolds.erase(FFolds.begin() + Best);
  return true;
}

int TElisions::SetFolded(uint64_t First, uint64_t Last, bool Folded) {
  int N = 0;
  for (TFold& F : FFolds)
    if (F.Start.Line >= First && F.End.Line <= Last) {
      F.Folded = Folded;
      F.TempOpen = false;
      ++N;
    }
  return N;
}

void TElisions::UnfoldAll() {
  for (TFold& F : FFolds) F.Folded = F.TempOpen = false;
}

int TElisions::FoldType(uint16_t Type) {
  int N = 0;
  for (TFold& F : FFolds)
    if (F.Type == Type) {
      F.Folded = true;
      ++N;
    }
  return N;
}

void TElisions::ResetTemporary() {
  for (TFold& F : FFolds) F.TempOpen = false;
}

void TElisions::OpenAround(uint64_t Line) {
  for (TFold& F : FFolds)
    if (F.Hides() && Line > F.Start.Line && Line <= F.End.Line) F.TempOpen = true;
}

bool TElisions::LineHidden(uint64_t Line) const {
  for (const TFold& F : FFolds)
    if (F.Hides() && Line > F.Start.Line && Line <= F.End.Line) return true;
  return false;
}

uint64_t TElisions::HiddenLines() const {
  // Union of the hidden ranges.
  std::vector<std::pair<uint64_t, uint64_t>> R;
  for (const TFold& F : FFolds)
    if (F.Hides() && F.End.Line > F.Start.Line) R.emplace_back(F.Start.Line + 1, F.End.Line);
  std::sort(R.begin(), R.end());
  uint64_t Count = 0, Upto = 0;
  bool Any = false;
  for (auto [A, B] : R) {
    if (Any && A <= Upto) {
      if (B > Upto) Count += B - Upto, Upto = B;
      continue;
    }
    Count += B - A + 1;
    Upto = B;
    Any = true;
  }
  return Count;
}

const TFold* TElisions::StartingOn(uint64_t Line) const {
  const TFold* Best = nullptr;
  for (const TFold& F : FFolds)
    if (F.Start.Line == Line && (!Best || Best->End < F.End)) Best = &F;
  return Best;
}

bool TElisions::EndsOn(uint64_t Line) const {
  return std::any_of(FFolds.begin(), FFolds.end(), [&](const TFold& F) { return F.End.Line == Line; });
}

int TElisions::BlocksAt(uint64_t Line) const {
  return static_cast<int>(std::count_if(FFolds.begin(), FFolds.end(), [&](const TFold& F) {
    return Line >= F.Start.Line && Line <= F.End.Line;
  }));
}

bool TElisions::PointFolded(TTextPos P) const {
  for (const TFold& F : FFolds)
    if (F.Hides() && F.Start < P && P < F.End) return true;
  return false;
}

uint64_t TElisions::NextVisible(uint64_t Line, uint64_t LineCount) const {
  uint64_t Next = Line + 1;
  while (Next < LineCount && LineHidden(Next)) ++Next;
  return Next;
}

uint64_t TElisions::PrevVisible(uint64_t Line) const {
  if (Line == 0) return 0;
  uint64_t Prev = Line - 1;
  while (Prev > 0 && LineHidden(Prev)) --Prev;
  return Prev;
}

void TElisions::Move(const TChange& C) {
  if (FFolds.empty()) return;
  for (TFold& F : FFolds) {
    MovePosition(F.Start.Line, F.Start.Col, C, C.Before, C.BeforeEnd, C.After, C.AfterEnd);
    MovePosition(F.End.Line, F.End.Col, C, C.Before, C.BeforeEnd, C.After, C.AfterEnd);
  }
  FFolds.erase(std::remove_if(FFolds.begin(), FFolds.end(), [](const TFold& F) { return !(F.Start < F.End); }),
               FFolds.end());
}

}  // namespace nxs::ek
