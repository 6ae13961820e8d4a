// The chunked line-flag table.
#include "editor/kernel/eklineflags.h"

#include <algorithm>

namespace nxs::ek {

namespace {
constexpr size_t ChunkMax = 256;
}

size_t TLineFlagTable::ChunkFor(uint64_t Line) const {
  // The first chunk whose last line is at or after Line (FChunks.size() when none).
  size_t Lo = 0, Hi = FChunks.size();
  while (Lo < Hi) {
    size_t Mid = (Lo + Hi) / 2;
    if (FChunks[Mid].Last() < Line) Lo = Mid + 1;
    else Hi = Mid;
  }
  return Lo;
}

void TLineFlagTable::Settle(TChunk& C) {
  if (C.Offset == 0) return;
  for (auto& E : C.Lines) E.first = static_cast<uint64_t>(static_cast<int64_t>(E.first) + C.Offset);
  C.Offset = 0;
  C.Keys();
}

void TLineFlagTable::Tidy(size_t I) {
  if (FChunks[I].Lines.empty()) FChunks.erase(FChunks.begin() + static_cast<std::ptrdiff_t>(I));
  else FChunks[I].Keys();
}

uint32_t TLineFlagTable::Get(uint64_t Line) const {
  size_t I = ChunkFor(Line);
  if (I == FChunks.size()) return 0;
  const TChunk& C = FChunks[I];
  if (Line < C.First()) return 0;
  uint64_t Key = static_cast<uint64_t>(static_cast<int64_t>(Line) - C.Offset);
  auto It = std::lower_bound(C.Lines.begin(), C.Lines.end(), std::make_pair(Key, 0u));
  return It != C.Lines.end() && It->first == Key ? It->second : 0;
}

void TLineFlagTable::Add(size_t I, uint64_t Line, uint32_t Flags) {
  if (I == FChunks.size()) {
    if (FChunks.empty() || FChunks.back().Lines.size() >= ChunkMax) FChunks.emplace_back();
    I = FChunks.size() - 1;
  }
  TChunk& C = FChunks[I];
  Settle(C);
  auto It = std::lower_bound(C.Lines.begin(), C.Lines.end(), std::make_pair(Line, 0u));
  C.Lines.insert(It, {Line, Flags});
  if (C.Lines.size() > 2 * ChunkMax) {
    TChunk Tail;
    Tail.Lines.assign(C.Lines.begin() + ChunkMax, C.Lines.end());
    Tail.Keys();
    C.Lines.resize(ChunkMax);
    C.Keys();
    FChunks.insert(FChunks.begin() + static_cast<std::ptrdiff_t>(I) + 1, std::move(Tail));
    return;
  }
  C.Keys();
}

void TLineFlagTable::Set(uint64_t Line, uint32_t Flags) {
  size_t I = ChunkFor(Line);
  if (I < FChunks.size() && Line >= FChunks[I].First()) {
    TChunk& C = FChunks[I];
    uint64_t Key = static_cast<uint64_t>(static_cast<int64_t>(Line) - C.Offset);
    auto It = std::lower_bound(C.Lines.begin(), C.Lines.end(), std::make_pair(Key, 0u));
    if (It != C.Lines.end() && It->first == Key) {
      if (Flags) {
        It->second = Flags;
        return;
      }
      C.Lines.erase(It);
      Tidy(I);
      return;
    }
  }
  if (Flags) Add(I, Line, Flags);
}

void TLineFlagTable::Or(uint64_t Line, uint32_t Bits) {
  size_t I = ChunkFor(Line);
  if (I < FChunks.size() && Line >= FChunks[I].First()) {
    TChunk& C = FChunks[I];
    uint64_t Key = static_cast<uint64_t>(static_cast<int64_t>(Line) - C.Offset);
    auto It = std::lower_bound(C.Lines.begin(), C.Lines.end(), std::make_pair(Key, 0u));
    if (It != C.Lines.end() && It->first == Key) {
      It->second |= Bits;
      return;
    }
  }
  if (Bits) Add(I, Line, Bits);
}

void TLineFlagTable::OrLines(const std::vector<uint64_t>& Lines, uint32_t Bits) {
  if (!Bits) return;
  // A few lines go in one by one; many, merged with the entries into chunks made anew.
  if (Lines.size() * 16 < Size()) {
    for (uint64_t Line : Lines) Or(Line, Bits);
    return;
  }
  std::vector<TChunk> Chunks;
  Chunks.reserve((Size() + Lines.size()) / ChunkMax + 1);
  auto Put = [&](uint64_t Line, uint32_t Flags) {
    if (Chunks.empty() || Chunks.back().Lines.size() == ChunkMax) {
      if (!Chunks.empty()) Chunks.back().Keys();
      Chunks.emplace_back().Lines.reserve(ChunkMax);
    }
    Chunks.back().Lines.emplace_back(Line, Flags);
  };
  auto Next = Lines.begin();
  for (TChunk& C : FChunks) {
    Settle(C);
    for (const auto& [Line, Flags] : C.Lines) {
      for (; Next != Lines.end() && *Next < Line; ++Next) Put(*Next, Bits);
      const bool Same = Next != Lines.end() && *Next == Line;
      Put(Line, Same ? Flags | Bits : Flags);
      if (Same) ++Next;
    }
  }
  for (; Next != Lines.end(); ++Next) Put(*Next, Bits);
  if (!Chunks.empty()) Chunks.back().Keys();
  FChunks = std::move(Chunks);
}

void TLineFlagTable::Shift(uint64_t From, int64_t Delta) {
  if (Delta == 0) return;
  size_t I = ChunkFor(From);
  if (I == FChunks.size()) return;
  TChunk& C = FChunks[I];
  if (C.First() >= From) {
    C.Offset += Delta;
  } else {
    Settle(C);
    for (auto& E : C.Lines)
      if (E.first >= From) E.first = static_cast<uint64_t>(static_cast<int64_t>(E.first) + Delta);
    C.Keys();
  }
  for (size_t K = I + 1; K < FChunks.size(); ++K) FChunks[K].Offset += Delta;
}

void TLineFlagTable::Erase(uint64_t First, uint64_t Last) {
  for (size_t I = ChunkFor(First); I < FChunks.size() && FChunks[I].First() <= Last;) {
    TChunk& C = FChunks[I];
    Settle(C);
    C.Lines.erase(std::remove_if(C.Lines.begin(), C.Lines.end(),
                                 [&](const auto& E) { return E.first >= First && E.first <= Last; }),
                  C.Lines.end());
    const bool Gone = C.Lines.empty();
    Tidy(I);
    if (!Gone) ++I;
  }
}

void TLineFlagTable::ClearBits(uint32_t Bits) {
  for (TChunk& C : FChunks) {
    for (auto& E : C.Lines) E.second &= ~Bits;
    C.Lines.erase(std::remove_if(C.Lines.begin(), C.Lines.end(), [](const auto& E) { return E.second == 0; }),
                  C.Lines.end());
    if (!C.Lines.empty()) C.Keys();
  }
  FChunks.erase(std::remove_if(FChunks.begin(), FChunks.end(), [](const TChunk& C) { return C.Lines.empty(); }),
                FChunks.end());
}

size_t TLineFlagTable::Size() const {
  size_t N = 0;
  for (const TChunk& C : FChunks) N += C.Lines.size();
  return N;
}

}  // namespace nxs::ek
