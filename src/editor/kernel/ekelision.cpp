// Folded blocks: adding, folding, queries and moving with the text.
#include "editor/kernel/ekelision.h"

#include <algorithm>

#include "editor/kernel/ekdocument.h"

namespace nxs::ek {

size_t TElisions::TRangeHash::operator()(const std::pair<TTextPos, TTextPos>& R) const {
  uint64_t H = R.first.Line * 0x9E3779B97F4A7C15ULL;
  for (uint64_t V : {R.first.Col, R.second.Line, R.second.Col}) H = (H ^ V) * 0x100000001B3ULL + (H >> 29);
  return static_cast<size_t>(H);
}

void TElisions::Add(TFold F) {
  if (!FIndexed) {
    FIndex.clear();
    FIndex.reserve(FFolds.size());
    for (size_t I = 0; I < FFolds.size(); ++I) FIndex.try_emplace({FFolds[I].Start, FFolds[I].End}, I);
    FIndexed = true;
  }
  auto [It, New] = FIndex.try_emplace({F.Start, F.End}, FFolds.size());
  if (F.Hides() || (!New && FFolds[It->second].Hides())) FHiddenStale = true;
  if (!New) {
    FFolds[It->second] = std::move(F);
    return;
  }
  FFolds.push_back(std::move(F));
}

bool TElisions::RemoveRange(TTextPos Start, TTextPos End) {
  auto It = std::find_if(FFolds.begin(), FFolds.end(),
                         [&](const TFold& F) { return F.Start == Start && F.End == End; });
  if (It == FFolds.end()) return false;
  FFolds.erase(It);
  RangesChanged();
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
  RangesChanged();
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
  FHiddenStale = FHiddenStale || N > 0;
  return N;
}

void TElisions::UnfoldAll() {
  for (TFold& F : FFolds) F.Folded = F.TempOpen = false;
  FHidden.clear();
  FHiddenStale = false;
}

int TElisions::FoldType(uint16_t Type) {
  int N = 0;
  for (TFold& F : FFolds)
    if (F.Type == Type) {
      F.Folded = true;
      ++N;
    }
  FHiddenStale = FHiddenStale || N > 0;
  return N;
}

void TElisions::ResetTemporary() {
  for (TFold& F : FFolds) F.TempOpen = false;
  FHiddenStale = true;
}

void TElisions::OpenAround(uint64_t Line) {
  // Most calls come from typing on a shown line: nothing hides it and nothing changes.
  if (!LineHidden(Line)) return;
  for (TFold& F : FFolds)
    if (F.Hides() && Line > F.Start.Line && Line <= F.End.Line) F.TempOpen = true;
  FHiddenStale = true;
}

void TElisions::Clear() {
  FFolds.clear();
  FIndex.clear();
  FIndexed = true;
  FHidden.clear();
  FHiddenStale = false;
}

const TElisions::TRun* TElisions::HiddenRun(uint64_t Line) const {
  if (FHiddenStale) {
    FHidden.clear();
    for (const TFold& F : FFolds)
      if (F.Hides() && F.End.Line > F.Start.Line) FHidden.emplace_back(F.Start.Line + 1, F.End.Line);
    std::sort(FHidden.begin(), FHidden.end());
    // Merge overlapping and touching runs, so the line after a run is always shown.
    size_t Out = 0;
    for (const TRun& R : FHidden) {
      if (Out > 0 && R.first <= FHidden[Out - 1].second + 1) {
        FHidden[Out - 1].second = std::max(FHidden[Out - 1].second, R.second);
        continue;
      }
      FHidden[Out++] = R;
    }
    FHidden.resize(Out);
    FHiddenStale = false;
  }
  // The last run starting at or before Line.
  auto It = std::upper_bound(FHidden.begin(), FHidden.end(), Line,
                             [](uint64_t L, const TRun& R) { return L < R.first; });
  if (It == FHidden.begin()) return nullptr;
  --It;
  return Line <= It->second ? &*It : nullptr;
}

bool TElisions::LineHidden(uint64_t Line) const { return HiddenRun(Line) != nullptr; }

uint64_t TElisions::HiddenLines() const {
  HiddenRun(0);  // brings the runs up to date
  uint64_t Count = 0;
  for (const TRun& R : FHidden) Count += R.second - R.first + 1;
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
  if (Next >= LineCount) return Next;
  const TRun* R = HiddenRun(Next);
  return R ? std::min(R->second + 1, LineCount) : Next;
}

uint64_t TElisions::PrevVisible(uint64_t Line) const {
  if (Line == 0) return 0;
  uint64_t Prev = Line - 1;
  const TRun* R = HiddenRun(Prev);
  return R ? R->first - 1 : Prev;  // a run starts after its block's first line, never at 0
}

void TElisions::Move(const TChange& C) {
  if (FFolds.empty()) return;
  bool Moved = false, LinesMoved = false;
  for (TFold& F : FFolds) {
    const TTextPos WasStart = F.Start, WasEnd = F.End;
    MovePosition(F.Start.Line, F.Start.Col, C, C.Before, C.BeforeEnd, C.After, C.AfterEnd);
    MovePosition(F.End.Line, F.End.Col, C, C.Before, C.BeforeEnd, C.After, C.AfterEnd);
    Moved = Moved || !(WasStart == F.Start && WasEnd == F.End);
    LinesMoved = LinesMoved || WasStart.Line != F.Start.Line || WasEnd.Line != F.End.Line;
  }
  const size_t Before = FFolds.size();
  FFolds.erase(std::remove_if(FFolds.begin(), FFolds.end(), [](const TFold& F) { return !(F.Start < F.End); }),
               FFolds.end());
  // Typing within a line moves columns only: the hidden lines stay as they were.
  if (Moved || FFolds.size() != Before) FIndexed = false;
  if (LinesMoved || FFolds.size() != Before) FHiddenStale = true;
}

void TElisions::MoveColumns(const std::function<TTextPos(TTextPos)>& Map) {
  bool Moved = false;
  for (TFold& F : FFolds) {
    const TTextPos Start = Map(F.Start), End = Map(F.End);
    Moved = Moved || !(Start == F.Start && End == F.End);
    F.Start = Start;
    F.End = End;
  }
  if (Moved) FIndexed = false;
}

}  // namespace nxs::ek
