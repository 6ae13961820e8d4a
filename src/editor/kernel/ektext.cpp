// The text buffer's gateways, undo and loading.
#include "editor/kernel/ektext.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <new>

#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

TTextPos TTextBuffer::PosOf(uint64_t Offset) const {
  Offset = std::min(Offset, FTree.Length());
  uint64_t Start = 0;
  uint64_t Line = FTree.LineAt(Offset, Start);
  return {Line, Offset - Start};
}

uint64_t TTextBuffer::OffsetOf(TTextPos P) const {
  uint64_t Line = std::min(P.Line, FLines.LineCount() - 1);
  uint64_t Start = FLines.LineStart(Line);
  return Start + std::min(P.Col, FLines.LineEnd(Line) - Start);
}

uint64_t TTextBuffer::CharColumn(TTextPos P) const {
  uint64_t Start = FLines.LineStart(P.Line);
  std::string Prefix = FTree.Text(Start, P.Col);
  return Utf8CountChars(Prefix, Prefix.size()) + (P.Col > Prefix.size() ? P.Col - Prefix.size() : 0);
}

void TTextBuffer::RemoveWatcher(ITextWatcher* W) {
  FWatchers.erase(std::remove(FWatchers.begin(), FWatchers.end(), W), FWatchers.end());
}

namespace {

// A text of neither line breaks nor multi-byte characters: inserting or deleting it moves
// nothing but the columns after it on its own line, so positions follow by arithmetic.
bool IsPlainText(std::string_view Text) {
  for (char C : Text)
    if (C == '\r' || C == '\n' || static_cast<unsigned char>(C) >= 0x80) return false;
  return true;
}

bool HasBreak(std::string_view Text) {
  return std::memchr(Text.data(), '\n', Text.size()) || std::memchr(Text.data(), '\r', Text.size());
}

}  // namespace

void TTextBuffer::RawInsert(uint64_t Pos, std::string_view Text) {
  TChange C;
  C.Insert = true;
  C.Pos = Pos;
  C.Len = Text.size();
  C.Before = C.BeforeEnd = PosOf(Pos);
  uint64_t Breaks = FTree.BreakCount();
  FTree.Insert(Pos, Text);
  C.LineDelta = static_cast<int64_t>(FTree.BreakCount() - Breaks);
  // No break split or joined either: the text went in on one line and ends on it. Otherwise
  // even its start may have moved (a CR inserted between a CR and an LF ends a line).
  const bool Plain = C.LineDelta == 0 && IsPlainText(Text);
  C.After = Plain ? C.Before : PosOf(Pos);
  C.AfterEnd = Plain ? TTextPos{C.Before.Line, C.Before.Col + Text.size()} : PosOf(Pos + Text.size());
  if (FNeedChars) {
    C.BeforeChars = C.BeforeEndChars = CharColumn(C.Before);
    C.AfterChars = Plain ? C.BeforeChars : CharColumn(C.After);
    C.AfterEndChars = Plain ? C.BeforeChars + Text.size() : CharColumn(C.AfterEnd);
  }
  ++FChangeCount;
  for (ITextWatcher* W : FWatchers) W->TextChanged(C);
}

void TTextBuffer::RawDelete(uint64_t Pos, uint64_t Count, std::string_view Deleted) {
  TChange C;
  C.Insert = false;
  C.Pos = Pos;
  C.Len = Count;
  C.Before = PosOf(Pos);
  const bool PlainText = Deleted.size() == Count && IsPlainText(Deleted);
  C.BeforeEnd = PlainText ? TTextPos{C.Before.Line, C.Before.Col + Count} : PosOf(Pos + Count);
  if (FNeedChars) {
    C.BeforeChars = CharColumn(C.Before);
    C.BeforeEndChars = PlainText ? C.BeforeChars + Count : CharColumn(C.BeforeEnd);
  }
  uint64_t Breaks = FTree.BreakCount();
  FTree.Erase(Pos, Count);
  C.LineDelta = static_cast<int64_t>(FTree.BreakCount()) - static_cast<int64_t>(Breaks);
  // Unless a CR and an LF met, what came before the deleted text stays where it was.
  const bool Same = PlainText && C.LineDelta == 0;
  C.After = C.AfterEnd = Same ? C.Before : PosOf(Pos);
  if (FNeedChars) C.AfterChars = C.AfterEndChars = Same ? C.BeforeChars : CharColumn(C.After);
  ++FChangeCount;
  for (ITextWatcher* W : FWatchers) W->TextChanged(C);
}

void TTextBuffer::Insert(uint64_t Pos, std::string_view Text) {
  Pos = std::min(Pos, FTree.Length());
  if (Text.empty()) return;
  if (!FRecordUndo) ForgetHistory();
  if (FRecordUndo) {
    TUndoRecord R;
    R.Kind = TUndoRecord::ukInsert;
    R.Pos = Pos;
    R.Text.assign(Text);
    R.CursorBefore = FCursor;
    FHistory.Record(std::move(R));
  }
  RawInsert(Pos, Text);
}

void TTextBuffer::Delete(uint64_t Pos, uint64_t Count) {
  uint64_t Len = FTree.Length();
  if (Pos >= Len || Count == 0) return;
  Count = std::min(Count, Len - Pos);
  if (!FRecordUndo) {
    ForgetHistory();
    RawDelete(Pos, Count, {});
    return;
  }
  TUndoRecord R;
  R.Kind = TUndoRecord::ukDelete;
  R.Pos = Pos;
  R.Text = FTree.Text(Pos, Count);
  R.CursorBefore = FCursor;
  RawDelete(Pos, Count, R.Text);
  FHistory.Record(std::move(R));
}

std::unique_ptr<TTextBlock> TTextBuffer::BuildReplaced(TReplacements& R, bool Check, uint64_t& Lo, uint64_t& Hi) const {
  const std::vector<TReplacements::TItem>& Items = R.Items;
  Lo = Items.front().Pos;
  Hi = Items.back().Pos + Items.back().OldLen;
  int64_t Growth = 0;
  for (const TReplacements::TItem& I : Items) Growth += static_cast<int64_t>(I.NewLen) - static_cast<int64_t>(I.OldLen);
  const uint64_t Size = static_cast<uint64_t>(static_cast<int64_t>(Hi - Lo) + Growth);
  // A block's offsets are 32-bit; a larger span goes piece by piece.
  constexpr uint64_t MaxSpan = uint64_t{1} << 31;
  if (Check) {
    if (Hi > FTree.Length() || Size >= MaxSpan || Hi - Lo >= MaxSpan) return nullptr;
    if (HasBreak(R.New)) return nullptr;
    R.Old.clear();
    R.Old.reserve(static_cast<size_t>(static_cast<int64_t>(R.New.size()) - Growth));
  }
  auto Block = TTextBlock::ForFilling(static_cast<size_t>(Size));
  char* const Out = Block->Tail();
  size_t Written = 0, I = 0, NewAt = 0;
  uint64_t At = Lo;
  // Puts in item I's replacement and those of the empty items that follow at the same place.
  auto PutNew = [&] {
    do {
      std::memcpy(Out + Written, R.New.data() + NewAt, Items[I].NewLen);
      Written += Items[I].NewLen;
      NewAt += Items[I].NewLen;
      ++I;
    } while (I < Items.size() && Items[I].OldLen == 0 && Items[I].Pos == At);
  };
  if (Items[0].OldLen == 0) PutNew();
  FTree.ForEachChunk(Lo, Hi - Lo, [&](const char* P, size_t N) {
    while (N > 0) {
      if (I < Items.size() && At >= Items[I].Pos) {
        // Inside item I's replaced text.
        const uint64_t End = Items[I].Pos + Items[I].OldLen;
        const size_t K = static_cast<size_t>(std::min<uint64_t>(N, End - At));
        if (Check) R.Old.append(P, K);
        P += K;
        N -= K;
        At += K;
        if (At == End) PutNew();
        continue;
      }
      const uint64_t Stop = I < Items.size() ? Items[I].Pos : Hi;
      const size_t K = static_cast<size_t>(std::min<uint64_t>(N, Stop - At));
      std::memcpy(Out + Written, P, K);
      Written += K;
      P += K;
      N -= K;
      At += K;
      if (I < Items.size() && Items[I].OldLen == 0 && Items[I].Pos == At) PutNew();
    }
    return true;
  });
  if (I < Items.size()) PutNew();  // empty items at the span's end
  assert(Written == Size && "the replacements fill the block");
  Block->Commit(Written);
  bool Carry = false;
  Block->Seal(false, Carry);  // may move the bytes: Out is stale from here on
  if (!Check) return Block;
  if (HasBreak(R.Old)) return nullptr;
  // A CR and an LF that meet (inside the span, or at its seams) would join two breaks.
  const uint64_t Breaks = FTree.BreaksBefore(Hi) - FTree.BreaksBefore(Lo);
  if (Block->Breaks().size() != Breaks) return nullptr;
  const char* const Made = Block->Data();
  const int Before = Lo > 0 ? FTree.ByteAt(Lo - 1) : -1, After = FTree.ByteAt(Hi);
  const int First = Written ? static_cast<unsigned char>(Made[0]) : After;
  const int Last = Written ? static_cast<unsigned char>(Made[Written - 1]) : Before;
  if ((Before == '\r' && First == '\n') || (Last == '\r' && After == '\n')) return nullptr;
  return Block;
}

void TTextBuffer::RawReplace(const TReplacements& R, uint64_t Lo, uint64_t Hi, std::unique_ptr<TTextBlock> Block) {
  // Where each item starts: its line counted from the block's breaks; its column before is
  // its column now less what the items before it on its line added.
  const TTextPos Base = PosOf(Lo);
  const TBreakList& Breaks = Block->Breaks();
  std::vector<TTextPos> At;
  At.reserve(R.Items.size());
  size_t B = 0;
  int64_t Growth = 0, LineGrowth = 0;
  for (const TReplacements::TItem& I : R.Items) {
    const uint64_t Q = static_cast<uint64_t>(static_cast<int64_t>(I.Pos - Lo) + Growth);  // in the block
    while (B < Breaks.size() && Breaks[B] < Q) ++B;
    const uint64_t Line = Base.Line + B;
    if (!At.empty() && At.back().Line != Line) LineGrowth = 0;
    const uint64_t NewCol = B ? Q - (uint64_t{Breaks[B - 1]} + 1) : Base.Col + Q;
    At.push_back({Line, static_cast<uint64_t>(static_cast<int64_t>(NewCol) - LineGrowth)});
    const int64_t D = static_cast<int64_t>(I.NewLen) - static_cast<int64_t>(I.OldLen);
    Growth += D;
    LineGrowth += D;
  }
  FTree.ReplaceSpan(Lo, Hi - Lo, std::move(Block));
  ++FChangeCount;
  for (ITextWatcher* W : FWatchers) W->TextReplaced(R, At);
}

bool TTextBuffer::Replace(TReplacements& R) {
  if (R.Items.empty()) return true;
  uint64_t Lo = 0, Hi = 0;
  std::unique_ptr<TTextBlock> Block = BuildReplaced(R, true, Lo, Hi);
  if (!Block) return false;
  if (!FRecordUndo) {
    ForgetHistory();
    RawReplace(R, Lo, Hi, std::move(Block));
    return true;
  }
  TUndoRecord U;
  U.Kind = TUndoRecord::ukReplace;
  U.Pos = Lo;
  U.Batch = std::make_unique<TReplacements>(std::move(R));
  U.CursorBefore = FCursor;
  RawReplace(*U.Batch, Lo, Hi, std::move(Block));
  FHistory.Record(std::move(U));
  return true;
}

void TTextBuffer::ReapplyInverse(TReplacements& R, uint64_t& Where) {
  R.Invert();
  uint64_t Lo = 0, Hi = 0;
  // The block first: building it finds the span [Lo, Hi) that the replace then takes.
  std::unique_ptr<TTextBlock> Block = BuildReplaced(R, false, Lo, Hi);
  RawReplace(R, Lo, Hi, std::move(Block));
  Where = Lo;
}

void TTextBuffer::ForgetHistory() {
  // Recorded offsets would no longer fit a text changed without record: undoing them would
  // damage it.
  if (!FHistory.Empty()) FHistory.Clear();
}

void TTextBuffer::AddClientUndo(TEkClientUndoProc Proc, void* Context, bool OwnStep) {
  TUndoRecord R;
  R.Kind = TUndoRecord::ukClient;
  R.OwnStep = OwnStep;
  R.Proc = Proc;
  R.Context = Context;
  R.CursorBefore = FCursor;
  FHistory.Record(std::move(R));
}

bool TTextBuffer::Undo(uint64_t& Where, TEdPos& Cursor) {
  return FHistory.UndoGroup([&](TUndoRecord& R) {
    switch (R.Kind) {
      case TUndoRecord::ukInsert:
        RawDelete(R.Pos, R.Text.size(), R.Text);
        Where = R.Pos;
        break;
      case TUndoRecord::ukDelete:
        RawInsert(R.Pos, R.Text);
        Where = R.Pos;
        break;
      case TUndoRecord::ukReplace:
        ReapplyInverse(*R.Batch, Where);
        break;
      case TUndoRecord::ukClient:
        // A client record may be older than the group's first change (one added when the
        // buffer was opened): the cursor goes back to where the text changed, and stays where
        // it is for a step of the client's own.
        if (R.Proc) R.Proc(R.Context, EKExecuteOpUndo);
        return;
    }
    Cursor = R.CursorBefore;
  });
}

bool TTextBuffer::Redo(uint64_t& Where) {
  return FHistory.RedoGroup([&](TUndoRecord& R) {
    switch (R.Kind) {
      case TUndoRecord::ukInsert:
        RawInsert(R.Pos, R.Text);
        Where = R.Pos + R.Text.size();
        break;
      case TUndoRecord::ukDelete:
        RawDelete(R.Pos, R.Text.size(), R.Text);
        Where = R.Pos;
        break;
      case TUndoRecord::ukReplace:
        ReapplyInverse(*R.Batch, Where);
        break;
      case TUndoRecord::ukClient:
        if (R.Proc) R.Proc(R.Context, EKExecuteOpRedo);
        break;
    }
  });
}

void TTextBuffer::Clear() {
  FTree.Clear();
  FHistory.Clear();
  ++FChangeCount;
  for (ITextWatcher* W : FWatchers) W->TextReset();
}

void TTextBuffer::Adopt(char* Data, size_t Size, size_t Skip) {
  std::unique_ptr<TTextBlock> Block = TTextBlock::Adopt(Data, Size);
  FTree.Clear();
  FHistory.Clear();
  FTree.AppendBlock(std::move(Block), Skip);
  ++FChangeCount;
  for (ITextWatcher* W : FWatchers) W->TextReset();
}

bool TTextBuffer::Load(const std::function<int64_t(char*, size_t)>& Read) {
  // The text is read straight into the blocks that the pieces keep: one copy from the source.
  // Blocks double from 64 KB, so that a small file takes little and a large one few blocks.
  constexpr size_t FirstBlock = size_t(1) << 16;
  constexpr size_t MaxBlock = size_t(1) << 30;
  std::vector<std::unique_ptr<TTextBlock>> Blocks;
  size_t Capacity = FirstBlock;
  bool Carry = false;
  bool Ok = true;
  bool AtEnd = false;
  while (!AtEnd) {
    auto Block = TTextBlock::ForFilling(Capacity);
    if (Carry) {
      *Block->Tail() = '\r';
      Block->Commit(1);
    }
    while (Block->Room() > 0) {
      int64_t N = Read(Block->Tail(), Block->Room());
      if (N < 0) {
        Ok = false;
        break;
      }
      if (N == 0) {
        AtEnd = true;
        break;
      }
      Block->Commit(static_cast<size_t>(N));
    }
    if (!Ok) break;
    Block->Seal(!AtEnd, Carry);
    Blocks.push_back(std::move(Block));
    Capacity = std::min(Capacity * 2, MaxBlock);
  }
  FTree.Clear();
  FHistory.Clear();
  if (Ok)
    for (auto& B : Blocks) FTree.AppendBlock(std::move(B));
  ++FChangeCount;
  for (ITextWatcher* W : FWatchers) W->TextReset();
  return Ok;
}

}  // namespace nxs::ek
