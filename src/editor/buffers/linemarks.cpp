// Custom line marks kept per line, sorted by line number.
#include "editor/buffers/linemarks.h"

#include <algorithm>

#include "editor/buffers/edtracker.h"

namespace nxs {

TEditorLineMarks::TEditorLineMarks() = default;

TEditorLineMarks::TEditorLineMarks(TEditBuffer* Buffer) : FTracker(std::make_unique<TEdTracker>(Buffer)) {
  FTracker->FOnLineMoved = [this](int32_t, int32_t NewLine, uint32_t Id) { LineMoved(NewLine, Id); };
}

TEditorLineMarks::~TEditorLineMarks() = default;

void TEditorLineMarks::LineMoved(int32_t NewLine, uint32_t Id) {
  for (auto& E : FMarkCache)
    if (E->Id == Id) {
      E->Line = NewLine;
      FMoved = true;
      return;
    }
}

void TEditorLineMarks::Untrack(const TLineEntry& E) {
  if (!FTracker) return;
  const int I = FTracker->IndexOfData(E.Id);
  if (I >= 0) FTracker->Delete(I);
}

void TEditorLineMarks::Settle() {
  if (!FMoved) return;
  FMoved = false;
  FLineCache = nullptr;
  // A deleted line's entry was freed in the tracker already.
  std::erase_if(FMarkCache, [](const std::unique_ptr<TLineEntry>& E) { return E->Line < 1; });
  std::stable_sort(FMarkCache.begin(), FMarkCache.end(),
                   [](const std::unique_ptr<TLineEntry>& A, const std::unique_ptr<TLineEntry>& B) { return A->Line < B->Line; });
  for (size_t I = 1; I < FMarkCache.size();) {
    TLineEntry& Kept = *FMarkCache[I - 1];
    TLineEntry& Met = *FMarkCache[I];
    if (Met.Line != Kept.Line) {
      ++I;
      continue;
    }
    for (PEditorLineMark& M : Met.Marks)
      if (std::find(Kept.Marks.begin(), Kept.Marks.end(), M) == Kept.Marks.end()) Kept.Marks.push_back(std::move(M));
    Untrack(Met);
    FMarkCache.erase(FMarkCache.begin() + static_cast<std::ptrdiff_t>(I));
  }
}

TEditorLineMarks::TLineEntry* TEditorLineMarks::Entry(int Line) {
  Settle();
  // The gutter asks for the same line several times while it draws it.
  if (FLineCache && FLineCache->Line == Line) return FLineCache;
  const int I = Find(Line);
  return I < 0 ? nullptr : FMarkCache[static_cast<size_t>(I)].get();
}

int TEditorLineMarks::Find(int Line) {
  Settle();
  auto It = std::lower_bound(FMarkCache.begin(), FMarkCache.end(), Line,
                             [](const std::unique_ptr<TLineEntry>& E, int L) { return E->Line < L; });
  if (It == FMarkCache.end() || (*It)->Line != Line) return -1;
  FLineCache = It->get();
  return static_cast<int>(It - FMarkCache.begin());
}

void TEditorLineMarks::AddLineMark(int Line, PEditorLineMark Mark) {
  if (!Mark) return;
  int I = Find(Line);
  if (I < 0) {
    auto It = std::lower_bound(FMarkCache.begin(), FMarkCache.end(), Line,
                               [](const std::unique_ptr<TLineEntry>& E, int L) { return E->Line < L; });
    auto Entry = std::make_unique<TLineEntry>();
    Entry->Line = Line;
    Entry->Id = FNextId++;
    if (FTracker) {
      FTracker->Attach();
      FTracker->Add(Line, 0, Entry->Id);
    }
    It = FMarkCache.insert(It, std::move(Entry));
    I = static_cast<int>(It - FMarkCache.begin());
  }
  TLineEntry& E = *FMarkCache[static_cast<size_t>(I)];
  if (std::find(E.Marks.begin(), E.Marks.end(), Mark) == E.Marks.end()) E.Marks.push_back(std::move(Mark));
  FLineCache = &E;
}

void TEditorLineMarks::RemoveLineMark(int Line, const TCustomEditorLineMark* Mark) {
  const int I = Find(Line);
  if (I < 0) return;
  auto& Marks = FMarkCache[static_cast<size_t>(I)]->Marks;
  std::erase_if(Marks, [Mark](const PEditorLineMark& M) { return M.get() == Mark; });
  if (Marks.empty()) DeleteItem(I);
}

int TEditorLineMarks::GetMarkCount(int Line) {
  const TLineEntry* E = Entry(Line);
  return E ? static_cast<int>(E->Marks.size()) : 0;
}

PEditorLineMark TEditorLineMarks::GetMark(int Line, int Index) {
  const TLineEntry* E = Entry(Line);
  if (!E) return nullptr;
  const auto& Marks = E->Marks;
  if (Index < 0 || static_cast<size_t>(Index) >= Marks.size()) return nullptr;
  return Marks[static_cast<size_t>(Index)];
}

void TEditorLineMarks::DeleteItem(int Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= FMarkCache.size()) return;
  if (FLineCache == FMarkCache[static_cast<size_t>(Index)].get()) FLineCache = nullptr;
  Untrack(*FMarkCache[static_cast<size_t>(Index)]);
  FMarkCache.erase(FMarkCache.begin() + Index);
}

std::vector<int> TEditorLineMarks::Lines() {
  Settle();
  std::vector<int> Result;
  for (const auto& E : FMarkCache) Result.push_back(E->Line);
  return Result;
}

void TEditorLineMarks::Clear() {
  for (const auto& E : FMarkCache) Untrack(*E);
  FMarkCache.clear();
  FLineCache = nullptr;
  FMoved = false;
}

}  // namespace nxs
