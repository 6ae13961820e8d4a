// The piece tree: a treap ordered by text offset whose nodes carry subtree byte and line-break
// counts.
#include "editor/kernel/ekpieces.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

#include "shared/largeblock.h"
#include "shared/linescan.h"

namespace nxs::ek {

// ---------------------------------------------------------------------------------------------
// TTextBlock

TTextBlock::TTextBlock(char* Data, size_t Size) : FData(Data), FSize(Size), FCapacity(Size) {}

TTextBlock::~TTextBlock() { std::free(FData); }

size_t TTextBlock::MemoryUse() const { return FCapacity + FBreaks.capacity() * sizeof(uint32_t); }

size_t TTextBlock::Append(std::string_view Text) {
  // A CR already recorded as a break of its own must not pair with an LF added now.
  size_t Need = Text.size() + 1;
  if (FSize + Need > FCapacity) {
    size_t NewCapacity = std::max<size_t>({FCapacity * 2, FSize + Need, 4096});
    char* P = static_cast<char*>(std::realloc(FData, NewCapacity));
    if (!P) throw std::bad_alloc();
    FData = P;
    FCapacity = NewCapacity;
  }
  if (FSize > 0 && FData[FSize - 1] == '\r' && !Text.empty() && Text[0] == '\n') FData[FSize++] = 0;
  size_t Start = FSize;
  std::memcpy(FData + FSize, Text.data(), Text.size());
  FSize += Text.size();
  ScanBreaks(Start, FSize);
  FinishScan();
  return Start;
}

namespace {

inline void RecordBreak(const char* Data, size_t I, size_t To, TBreakList& Breaks,
                        bool& PendingCR) {
  if (Data[I] == '\n') {
    Breaks.push_back(static_cast<uint32_t>(I));
    return;
  }
  if (I + 1 == To) {
    PendingCR = true;
    return;
  }
  if (Data[I + 1] != '\n') Breaks.push_back(static_cast<uint32_t>(I));
}

}  // namespace

void TTextBlock::ScanBreaks(size_t From, size_t To) {
  if (FPendingCR) {
    FPendingCR = false;
    if (From >= To || FData[From] != '\n') FBreaks.push_back(static_cast<uint32_t>(From - 1));
  }
  ForEachBreakByte(FData, From, To, [&](size_t I) { RecordBreak(FData, I, To, FBreaks, FPendingCR); });
}

std::unique_ptr<TTextBlock> TTextBlock::ForFilling(size_t Capacity) {
  // A large block is written whole at once: huge pages spare most of its page faults.
  char* Data = static_cast<char*>(AllocateLarge(Capacity));
  auto Block = std::make_unique<TTextBlock>(Data, 0);
  Block->FCapacity = Capacity;
  return Block;
}

std::unique_ptr<TTextBlock> TTextBlock::Adopt(char* Data, size_t Size) {
  auto Block = std::make_unique<TTextBlock>(Data, Size);
  // Counting first is one quick pass; the breaks then go into a list of the right size
  // instead of one that is copied as it doubles.
  bool HasCr = false;
  const size_t LineFeeds = CountLineFeeds(Data, Size, HasCr);
  Block->FBreaks.reserve(HasCr ? LineFeeds + LineFeeds / 8 + 16 : LineFeeds);
  Block->ScanBreaks(0, Size);
  Block->FinishScan();
  if (HasCr) Block->FBreaks.shrink_to_fit();
  return Block;
}

void TTextBlock::Commit(size_t Count) {
  Count = std::min(Count, Room());
  ScanBreaks(FSize, FSize + Count);
  FSize += Count;
}

void TTextBlock::Seal(bool MoreFollows, bool& Carry) {
  Carry = false;
  if (MoreFollows && FPendingCR) {
    FPendingCR = false;
    --FSize;
    Carry = true;
  }
  FinishScan();
  // Shrinking a large allocation gives the tail back without copying.
  if (char* P = static_cast<char*>(std::realloc(FData, std::max<size_t>(FSize, 1)))) FData = P;
  FCapacity = FSize;
  FBreaks.shrink_to_fit();
}

void TTextBlock::FinishScan() {
  if (FPendingCR) FBreaks.push_back(static_cast<uint32_t>(FSize - 1));
  FPendingCR = false;
}

// ---------------------------------------------------------------------------------------------
// TPieceTree

struct TPieceTree::TNode {
  uint32_t L = 0, R = 0, Prio = 0;
  uint32_t Block = 0, Start = 0, Len = 0;
  uint32_t FirstBreak = 0;   // index into the block's Breaks of the piece's first break
  uint32_t RangeBreaks : 31 = 0;  // breaks whose last byte lies in the piece
  uint32_t ExtraCR : 1 = 0;       // the piece ends between the CR and LF of a block's CR LF
  uint64_t SubLen = 0, SubBreaks = 0;

  uint32_t Breaks() const { return RangeBreaks + ExtraCR; }
};

TPieceTree::TPieceTree() { Clear(); }

TPieceTree::~TPieceTree() = default;

void TPieceTree::Clear() {
  FNodes.clear();
  FNodes.emplace_back();  // node 0 stands for "none"
  FFree.clear();
  FBlocks.clear();
  FBlocks.push_back(std::make_unique<TTextBlock>());
  FRoot = 0;
  FTypingEnd = UINT64_MAX;
}

uint32_t TPieceTree::Random() {
  FSeed ^= FSeed << 13;
  FSeed ^= FSeed >> 17;
  FSeed ^= FSeed << 5;
  return FSeed;
}

uint32_t TPieceTree::NewNode(uint32_t Block, uint32_t Start, uint32_t Len) {
  uint32_t N;
  if (!FFree.empty()) {
    N = FFree.back();
    FFree.pop_back();
    FNodes[N] = TNode();
  } else {
    N = static_cast<uint32_t>(FNodes.size());
    FNodes.emplace_back();
  }
  FNodes[N].Prio = Random();
  FNodes[N].Block = Block;
  SetPiece(N, Start, Len);
  Update(N);
  return N;
}

void TPieceTree::FreeTree(uint32_t N) {
  if (!N) return;
  std::vector<uint32_t>& Stack = FPath;  // scratch: no allocation per erase
  Stack.clear();
  Stack.push_back(N);
  while (!Stack.empty()) {
    uint32_t T = Stack.back();
    Stack.pop_back();
    if (FNodes[T].L) Stack.push_back(FNodes[T].L);
    if (FNodes[T].R) Stack.push_back(FNodes[T].R);
    FFree.push_back(T);
  }
}

void TPieceTree::SetPiece(uint32_t N, uint32_t Start, uint32_t Len) {
  TNode& T = FNodes[N];
  const TTextBlock& B = *FBlocks[T.Block];
  const TBreakList& Br = B.Breaks();
  auto First = std::lower_bound(Br.begin(), Br.end(), Start);
  auto Last = std::lower_bound(First, Br.end(), Start + Len);
  T.Start = Start;
  T.Len = Len;
  T.FirstBreak = static_cast<uint32_t>(First - Br.begin());
  T.RangeBreaks = static_cast<uint32_t>(Last - First);
  size_t End = size_t(Start) + Len;
  T.ExtraCR = Len > 0 && B.Data()[End - 1] == '\r' && End < B.Size() && B.Data()[End] == '\n';
}

void TPieceTree::Update(uint32_t N) {
  TNode& T = FNodes[N];
  T.SubLen = FNodes[T.L].SubLen + T.Len + FNodes[T.R].SubLen;
  T.SubBreaks = FNodes[T.L].SubBreaks + T.Breaks() + FNodes[T.R].SubBreaks;
}

void TPieceTree::Split(uint32_t T, uint64_t Pos, uint32_t& A, uint32_t& B) {
  if (!T) {
    A = B = 0;
    return;
  }
  uint64_t LeftLen = FNodes[FNodes[T].L].SubLen;
  if (Pos <= LeftLen) {
    uint32_t Right;
    Split(FNodes[T].L, Pos, A, Right);
    FNodes[T].L = Right;
    Update(T);
    B = T;
    return;
  }
  if (Pos >= LeftLen + FNodes[T].Len) {
    uint32_t Left;
    Split(FNodes[T].R, Pos - LeftLen - FNodes[T].Len, Left, B);
    FNodes[T].R = Left;
    Update(T);
    A = T;
    return;
  }
  // EnsureBoundary has cut the piece already.
  assert(false && "split inside a piece");
  A = T;
  B = 0;
}

// Cuts the piece that Pos falls inside into two, so that Split only meets piece boundaries
// (cutting inside Split would break the heap order of the priorities).
void TPieceTree::EnsureBoundary(uint64_t Pos) {
  const uint64_t Abs = Pos;
  std::vector<uint32_t>& Path = FPath;
  Path.clear();
  uint32_t T = FRoot;
  while (T) {
    uint64_t LeftLen = FNodes[FNodes[T].L].SubLen;
    if (Pos < LeftLen) {
      Path.push_back(T);
      T = FNodes[T].L;
    } else if (Pos < LeftLen + FNodes[T].Len) {
      Pos -= LeftLen;
      break;
    } else {
      Pos -= LeftLen + FNodes[T].Len;
      Path.push_back(T);
      T = FNodes[T].R;
    }
  }
  if (!T || Pos == 0) return;
  uint32_t K = static_cast<uint32_t>(Pos);
  uint32_t Block = FNodes[T].Block, Start = FNodes[T].Start, Len = FNodes[T].Len;
  SetPiece(T, Start, K);
  Update(T);
  for (auto It = Path.rbegin(); It != Path.rend(); ++It) Update(*It);
  uint32_t Tail = NewNode(Block, Start + K, Len - K);
  const bool Placed = InsertNode(Abs, Tail);  // Abs is the end of T's piece now
  assert(Placed && "the cut is a boundary");
  (void)Placed;
}

bool TPieceTree::InsertNode(uint64_t Pos, uint32_t N) {
  // Down to a free child as a leaf, then up by rotations while the priority says so: one
  // descent, where splitting and merging the whole tree would take several.
  std::vector<uint32_t>& Path = FPath;
  Path.clear();
  const uint64_t Len = FNodes[N].Len, Breaks = FNodes[N].Breaks();
  uint32_t* Link = &FRoot;
  for (uint32_t T = FRoot; T;) {
    TNode& X = FNodes[T];
    const uint64_t LeftLen = FNodes[X.L].SubLen;
    if (Pos > LeftLen && Pos < LeftLen + X.Len) {
      // Inside a piece: nothing changed yet but the lengths on the way, which go back.
      for (uint32_t A : Path) {
        FNodes[A].SubLen -= Len;
        FNodes[A].SubBreaks -= Breaks;
      }
      return false;
    }
    Path.push_back(T);
    X.SubLen += Len;  // N ends up inside every subtree on the way
    X.SubBreaks += Breaks;
    if (Pos <= LeftLen) {
      Link = &X.L;
      T = X.L;
    } else {
      Pos -= LeftLen + X.Len;
      Link = &X.R;
      T = X.R;
    }
  }
  *Link = N;
  while (!Path.empty()) {
    const uint32_t P = Path.back();
    if (FNodes[P].Prio >= FNodes[N].Prio) break;
    Path.pop_back();
    if (FNodes[P].L == N) {
      FNodes[P].L = FNodes[N].R;
      FNodes[N].R = P;
    } else {
      FNodes[P].R = FNodes[N].L;
      FNodes[N].L = P;
    }
    Update(P);
    Update(N);
    if (Path.empty()) {
      FRoot = N;
    } else if (FNodes[Path.back()].L == P) {
      FNodes[Path.back()].L = N;
    } else {
      FNodes[Path.back()].R = N;
    }
  }
  return true;
}

bool TPieceTree::EraseNode(uint64_t Pos, uint64_t Count, bool& AfterCR) {
  // The text to erase is one whole piece (undoing an insert usually meets one): its node
  // gives way to its children, merged, and the path loses its length.
  std::vector<uint32_t>& Path = FPath;
  Path.clear();
  uint32_t T = FRoot;
  uint32_t Before = 0;  // the nearest node passed on the left: T's predecessor unless T has a left subtree
  while (T) {
    const TNode& X = FNodes[T];
    const uint64_t LeftLen = FNodes[X.L].SubLen;
    if (Pos < LeftLen) {
      Path.push_back(T);
      T = X.L;
    } else if (Pos < LeftLen + X.Len) {
      if (Pos != LeftLen || X.Len != Count) return false;
      break;
    } else {
      Pos -= LeftLen + X.Len;
      Path.push_back(T);
      Before = T;
      T = X.R;
    }
  }
  if (!T) return false;
  // Whether a CR precedes the erased piece (then a CR LF pair may meet across the gap). The
  // predecessor is usually near: a left subtree's right spine is short in a treap.
  for (uint32_t L = FNodes[T].L; L; L = FNodes[L].R) Before = L;
  AfterCR = Before && FBlocks[FNodes[Before].Block]->Data()[FNodes[Before].Start + FNodes[Before].Len - 1] == '\r';
  const uint64_t Breaks = FNodes[T].Breaks();
  const uint32_t Rest = Merge(FNodes[T].L, FNodes[T].R);
  if (Path.empty()) {
    FRoot = Rest;
  } else if (FNodes[Path.back()].L == T) {
    FNodes[Path.back()].L = Rest;
  } else {
    FNodes[Path.back()].R = Rest;
  }
  for (uint32_t A : Path) {
    FNodes[A].SubLen -= Count;
    FNodes[A].SubBreaks -= Breaks;
  }
  FFree.push_back(T);
  return true;
}

uint32_t TPieceTree::Merge(uint32_t A, uint32_t B) {
  if (!A) return B;
  if (!B) return A;
  if (FNodes[A].Prio > FNodes[B].Prio) {
    uint32_t R = Merge(FNodes[A].R, B);
    FNodes[A].R = R;
    Update(A);
    return A;
  }
  uint32_t L = Merge(A, FNodes[B].L);
  FNodes[B].L = L;
  Update(B);
  return B;
}

void TPieceTree::AppendBlock(std::unique_ptr<TTextBlock> Block, size_t From) {
  if (Block->Size() <= From) return;
  FBlocks.push_back(std::move(Block));
  uint32_t Index = static_cast<uint32_t>(FBlocks.size() - 1);
  uint64_t Pos = Length();
  uint32_t N = NewNode(Index, static_cast<uint32_t>(From), static_cast<uint32_t>(FBlocks[Index]->Size() - From));
  FRoot = Merge(FRoot, N);
  MendCRLF(Pos);
  FTypingEnd = UINT64_MAX;
}

uint64_t TPieceTree::Length() const { return FNodes[FRoot].SubLen; }

uint64_t TPieceTree::BreakCount() const { return FNodes[FRoot].SubBreaks; }

size_t TPieceTree::PieceCount() const { return FNodes.size() - 1 - FFree.size(); }

size_t TPieceTree::MemoryUse() const {
  size_t Total = FNodes.capacity() * sizeof(TNode) + FFree.capacity() * sizeof(uint32_t);
  for (const auto& B : FBlocks)
    if (B) Total += B->MemoryUse();
  return Total;
}

bool TPieceTree::TryExtend(uint64_t Pos, std::string_view Text) {
  // Typing appends to the piece that ended at the append block's end: no new node.
  if (Pos == 0) return false;
  TTextBlock& Add = *FBlocks[0];
  if (Add.Size() > 0 && Add.Data()[Add.Size() - 1] == '\r' && Text[0] == '\n') return false;
  uint32_t Path[128];
  int Depth = 0;
  uint32_t T = FRoot;
  uint64_t Off = Pos - 1;
  while (T) {
    if (Depth == 128) return false;
    uint64_t LeftLen = FNodes[FNodes[T].L].SubLen;
    if (Off < LeftLen) {
      Path[Depth++] = T;
      T = FNodes[T].L;
    } else if (Off < LeftLen + FNodes[T].Len) {
      if (Off - LeftLen + 1 != FNodes[T].Len) return false;
      break;
    } else {
      Off -= LeftLen + FNodes[T].Len;
      Path[Depth++] = T;
      T = FNodes[T].R;
    }
  }
  if (!T || FNodes[T].Block != 0 || size_t(FNodes[T].Start) + FNodes[T].Len != Add.Size()) return false;
  if (uint64_t(FNodes[T].Len) + Text.size() >= 0x7FFFFFFFu) return false;
  uint32_t OldBreaks = FNodes[T].Breaks();
  Add.Append(Text);
  SetPiece(T, FNodes[T].Start, FNodes[T].Len + static_cast<uint32_t>(Text.size()));
  Update(T);
  uint64_t AddedBreaks = FNodes[T].Breaks() - OldBreaks;
  for (int I = 0; I < Depth; ++I) {
    FNodes[Path[I]].SubLen += Text.size();
    FNodes[Path[I]].SubBreaks += AddedBreaks;
  }
  return true;
}

void TPieceTree::Insert(uint64_t Pos, std::string_view Text) {
  if (Text.empty()) return;
  Pos = std::min(Pos, Length());
  // Typing goes on where the last insert ended; only there can the last piece grow.
  if (Pos != FTypingEnd || !TryExtend(Pos, Text)) {
    size_t Start = FBlocks[0]->Append(Text);
    uint32_t N = NewNode(0, static_cast<uint32_t>(Start), static_cast<uint32_t>(Text.size()));
    if (!InsertNode(Pos, N)) {
      EnsureBoundary(Pos);
      InsertNode(Pos, N);
    }
  }
  FTypingEnd = Pos + Text.size();
  // Only an LF that the text starts with or a CR that it ends with can pair across the seams.
  if (Text.front() == '\n') MendCRLF(Pos);
  if (Text.back() == '\r') MendCRLF(Pos + Text.size());
}

void TPieceTree::Erase(uint64_t Pos, uint64_t Count) {
  uint64_t Len = Length();
  if (Pos >= Len || Count == 0) return;
  Count = std::min(Count, Len - Pos);
  FTypingEnd = UINT64_MAX;
  bool AfterCR = true;
  if (!EraseNode(Pos, Count, AfterCR)) {
    uint32_t A, C;
    CutOut(Pos, Count, A, C);
    FRoot = Merge(A, C);
  }
  if (AfterCR) MendCRLF(Pos);
}

void TPieceTree::CutOut(uint64_t Pos, uint64_t Count, uint32_t& Before, uint32_t& After) {
  EnsureBoundary(Pos);
  EnsureBoundary(Pos + Count);
  uint32_t Rest, Middle;
  Split(FRoot, Pos, Before, Rest);
  Split(Rest, Count, Middle, After);
  FreeTree(Middle);
}

void TPieceTree::ReplaceSpan(uint64_t Pos, uint64_t Count, std::unique_ptr<TTextBlock> Block) {
  FTypingEnd = UINT64_MAX;
  uint32_t A, C;
  CutOut(Pos, Count, A, C);
  const uint64_t Size = Block->Size();
  uint32_t Mid = 0;
  if (Size > 0) {
    auto Free = std::find(FBlocks.begin() + 1, FBlocks.end(), nullptr);
    const auto Index = static_cast<uint32_t>(Free - FBlocks.begin());
    if (Free == FBlocks.end()) FBlocks.push_back(std::move(Block));
    else *Free = std::move(Block);
    Mid = NewNode(Index, 0, static_cast<uint32_t>(Size));
  }
  FRoot = Merge(Merge(A, Mid), C);
  MendCRLF(Pos);
  MendCRLF(Pos + Size);
  DropUnusedBlocks();
}

void TPieceTree::DropUnusedBlocks() {
  std::vector<bool> Used(FBlocks.size(), false);
  Used[0] = true;
  std::vector<uint32_t>& Stack = FPath;
  Stack.clear();
  if (FRoot) Stack.push_back(FRoot);
  while (!Stack.empty()) {
    const TNode& N = FNodes[Stack.back()];
    Stack.pop_back();
    Used[N.Block] = true;
    if (N.L) Stack.push_back(N.L);
    if (N.R) Stack.push_back(N.R);
  }
  for (size_t I = 1; I < FBlocks.size(); ++I)
    if (!Used[I]) FBlocks[I].reset();
}

bool TPieceTree::IsPieceBoundary(uint64_t Pos) const {
  uint32_t T = FRoot;
  while (T) {
    uint64_t LeftLen = FNodes[FNodes[T].L].SubLen;
    if (Pos < LeftLen) {
      T = FNodes[T].L;
    } else if (Pos < LeftLen + FNodes[T].Len) {
      return Pos == LeftLen;
    } else {
      Pos -= LeftLen + FNodes[T].Len;
      T = FNodes[T].R;
    }
  }
  return true;
}

// A CR at the end of one piece and an LF at the start of the next are one line break of the
// text but would count as two; they are replaced by one piece holding both.
void TPieceTree::MendCRLF(uint64_t Pos) {
  if (Pos == 0 || Pos >= Length()) return;
  if (ByteAt(Pos - 1) != '\r' || ByteAt(Pos) != '\n' || !IsPieceBoundary(Pos)) return;
  EnsureBoundary(Pos - 1);
  EnsureBoundary(Pos + 1);
  uint32_t A, B, M, C;
  Split(FRoot, Pos - 1, A, B);
  Split(B, 2, M, C);
  FreeTree(M);
  size_t Start = FBlocks[0]->Append("\r\n");
  uint32_t N = NewNode(0, static_cast<uint32_t>(Start), 2);
  FRoot = Merge(Merge(A, N), C);
}

int TPieceTree::ByteAt(uint64_t Pos) const {
  uint32_t T = FRoot;
  while (T) {
    const TNode& N = FNodes[T];
    uint64_t LeftLen = FNodes[N.L].SubLen;
    if (Pos < LeftLen) {
      T = N.L;
    } else if (Pos < LeftLen + N.Len) {
      return static_cast<unsigned char>(FBlocks[N.Block]->Data()[N.Start + (Pos - LeftLen)]);
    } else {
      Pos -= LeftLen + N.Len;
      T = N.R;
    }
  }
  return -1;
}

void TPieceTree::ForEachChunk(uint64_t Pos, uint64_t Count,
                              const std::function<bool(const char*, size_t)>& Sink) const {
  uint64_t Len = Length();
  if (Pos >= Len || Count == 0) return;
  Count = std::min(Count, Len - Pos);
  std::vector<uint32_t> Stack;  // ancestors still to visit, nearest last
  uint32_t T = FRoot;
  uint64_t Off = 0;
  while (T) {
    const TNode& N = FNodes[T];
    uint64_t LeftLen = FNodes[N.L].SubLen;
    if (Pos < LeftLen) {
      Stack.push_back(T);
      T = N.L;
    } else if (Pos < LeftLen + N.Len) {
      Off = Pos - LeftLen;
      break;
    } else {
      Pos -= LeftLen + N.Len;
      T = N.R;
    }
  }
  while (T && Count > 0) {
    const TNode& N = FNodes[T];
    uint64_t Take = std::min<uint64_t>(N.Len - Off, Count);
    if (!Sink(FBlocks[N.Block]->Data() + N.Start + Off, Take)) return;
    Count -= Take;
    Off = 0;
    // Next in order: the leftmost node of the right subtree, else the nearest pending ancestor.
    if (N.R) {
      T = N.R;
      while (FNodes[T].L) {
        Stack.push_back(T);
        T = FNodes[T].L;
      }
    } else if (!Stack.empty()) {
      T = Stack.back();
      Stack.pop_back();
    } else {
      T = 0;
    }
  }
}

void TPieceTree::ForEachChunkBackward(uint64_t Pos, uint64_t Count,
                                      const std::function<bool(const char*, size_t)>& Sink) const {
  uint64_t Len = Length();
  if (Pos >= Len || Count == 0) return;
  Count = std::min(Count, Len - Pos);
  uint64_t Last = Pos + Count - 1;
  std::vector<uint32_t> Stack;
  uint32_t T = FRoot;
  uint64_t Off = 0;  // offset of the last byte wanted in the piece
  while (T) {
    const TNode& N = FNodes[T];
    uint64_t LeftLen = FNodes[N.L].SubLen;
    if (Last < LeftLen) {
      T = N.L;
    } else if (Last < LeftLen + N.Len) {
      Off = Last - LeftLen;
      break;
    } else {
      Stack.push_back(T);
      Last -= LeftLen + N.Len;
      T = N.R;
    }
  }
  while (T && Count > 0) {
    const TNode& N = FNodes[T];
    uint64_t Take = std::min<uint64_t>(Off + 1, Count);
    if (!Sink(FBlocks[N.Block]->Data() + N.Start + Off + 1 - Take, Take)) return;
    Count -= Take;
    if (N.L) {
      T = N.L;
      while (FNodes[T].R) {
        Stack.push_back(T);
        T = FNodes[T].R;
      }
    } else if (!Stack.empty()) {
      T = Stack.back();
      Stack.pop_back();
    } else {
      T = 0;
    }
    if (T) Off = FNodes[T].Len - 1;
  }
}

std::string TPieceTree::Text(uint64_t Pos, uint64_t Count) const {
  std::string S;
  if (Pos < Length()) S.reserve(std::min(Count, Length() - Pos));
  ForEachChunk(Pos, Count, [&](const char* P, size_t N) {
    S.append(P, N);
    return true;
  });
  return S;
}

uint64_t TPieceTree::BreakEndInPiece(uint32_t N, uint32_t K) const {
  const TNode& T = FNodes[N];
  if (K < T.RangeBreaks) return FBlocks[T.Block]->Breaks()[T.FirstBreak + K] - T.Start + 1;
  return T.Len;
}

uint32_t TPieceTree::BreaksInPieceBefore(uint32_t N, uint32_t Offset) const {
  const TNode& T = FNodes[N];
  if (Offset >= T.Len) return T.Breaks();
  const TBreakList& Br = FBlocks[T.Block]->Breaks();
  auto First = Br.begin() + T.FirstBreak;
  auto It = std::lower_bound(First, First + T.RangeBreaks, T.Start + Offset);
  return static_cast<uint32_t>(It - First);
}

uint64_t TPieceTree::BreakEnd(uint64_t N) const {
  if (N == 0) return 0;
  if (N > BreakCount()) return Length();
  uint32_t T = FRoot;
  uint64_t Base = 0;
  while (T) {
    const TNode& Node = FNodes[T];
    uint64_t LeftBreaks = FNodes[Node.L].SubBreaks;
    if (N <= LeftBreaks) {
      T = Node.L;
      continue;
    }
    uint64_t LeftLen = FNodes[Node.L].SubLen;
    if (N <= LeftBreaks + Node.Breaks())
      return Base + LeftLen + BreakEndInPiece(T, static_cast<uint32_t>(N - LeftBreaks - 1));
    N -= LeftBreaks + Node.Breaks();
    Base += LeftLen + Node.Len;
    T = Node.R;
  }
  return Length();
}

uint64_t TPieceTree::BreaksBefore(uint64_t Pos) const {
  uint32_t T = FRoot;
  uint64_t Count = 0;
  while (T) {
    const TNode& N = FNodes[T];
    uint64_t LeftLen = FNodes[N.L].SubLen;
    if (Pos < LeftLen) {
      T = N.L;
      continue;
    }
    Count += FNodes[N.L].SubBreaks;
    uint64_t K = Pos - LeftLen;
    if (K <= N.Len) return Count + BreaksInPieceBefore(T, static_cast<uint32_t>(K));
    Count += N.Breaks();
    Pos -= LeftLen + N.Len;
    T = N.R;
  }
  return Count;
}

uint64_t TPieceTree::LineAt(uint64_t Pos, uint64_t& Start) const {
  // As BreaksBefore, remembering the nearest region passed on the left that holds a break:
  // its last break ends where the line starts. A piece's breaks are read off its block; a
  // subtree's last break takes a short descent of its own, and only when no later piece had one.
  uint32_t T = FRoot;
  uint64_t Count = 0, Base = 0;
  uint32_t LastPiece = 0, LastTree = 0;  // at most one is set: the nearest one
  uint64_t LastBase = 0;
  auto Passed = [&](uint32_t Node, uint64_t NodeBase) {
    const TNode& N = FNodes[Node];
    if (N.Breaks() > 0) {
      LastPiece = Node;
      LastTree = 0;
      LastBase = NodeBase + FNodes[N.L].SubLen;
    } else if (FNodes[N.L].SubBreaks > 0) {
      LastPiece = 0;
      LastTree = N.L;
      LastBase = NodeBase;
    }
  };
  while (T) {
    const TNode& N = FNodes[T];
    uint64_t LeftLen = FNodes[N.L].SubLen;
    if (Pos < LeftLen) {
      T = N.L;
      continue;
    }
    uint64_t K = Pos - LeftLen;
    if (K <= N.Len) {
      uint32_t Before = BreaksInPieceBefore(T, static_cast<uint32_t>(K));
      Count += FNodes[N.L].SubBreaks + Before;
      if (Before > 0) {
        Start = Base + LeftLen + BreakEndInPiece(T, Before - 1);
        return Count;
      }
      if (FNodes[N.L].SubBreaks > 0) {
        LastPiece = 0;
        LastTree = N.L;
        LastBase = Base;
      }
      break;
    }
    Count += FNodes[N.L].SubBreaks + N.Breaks();
    Passed(T, Base);
    Base += LeftLen + N.Len;
    Pos -= LeftLen + N.Len;
    T = N.R;
  }
  if (LastPiece) {
    Start = LastBase + BreakEndInPiece(LastPiece, FNodes[LastPiece].Breaks() - 1);
    return Count;
  }
  if (!LastTree) {
    Start = 0;
    return Count;
  }
  // The last break of the subtree: right while the right side has one.
  T = LastTree;
  uint64_t Off = LastBase;
  for (;;) {
    const TNode& N = FNodes[T];
    uint64_t LeftLen = FNodes[N.L].SubLen;
    if (FNodes[N.R].SubBreaks > 0) {
      Off += LeftLen + N.Len;
      T = N.R;
    } else if (N.Breaks() > 0) {
      Start = Off + LeftLen + BreakEndInPiece(T, N.Breaks() - 1);
      return Count;
    } else {
      T = N.L;
    }
  }
}

bool TPieceTree::Validate() const {
  // Aggregates first, then the break count against a plain scan of the text.
  std::function<bool(uint32_t)> Check = [&](uint32_t T) -> bool {
    if (!T) return true;
    const TNode& N = FNodes[T];
    if (N.L && FNodes[N.L].Prio > N.Prio) return false;
    if (N.R && FNodes[N.R].Prio > N.Prio) return false;
    if (!Check(N.L) || !Check(N.R)) return false;
    return N.SubLen == FNodes[N.L].SubLen + N.Len + FNodes[N.R].SubLen &&
           N.SubBreaks == FNodes[N.L].SubBreaks + N.Breaks() + FNodes[N.R].SubBreaks;
  };
  if (!Check(FRoot)) return false;
  std::string S = Text(0, Length());
  uint64_t Breaks = 0;
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] == '\n' || (S[I] == '\r' && (I + 1 == S.size() || S[I + 1] != '\n'))) {
      ++Breaks;
      if (BreakEnd(Breaks) != I + 1) return false;
    }
  }
  return Breaks == BreakCount();
}

}  // namespace nxs::ek
