// The operations that read and write records the caller hands over: whole-text transfer,
// read cursors, markers, ranges, position conversions and searching a given string.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekeditor.h"
#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

namespace {

// Transfers whole-text reads through a reader procedure.
int64_t ReadThrough(TEkReadProc Proc, void* Context, char* Dest, size_t Room) {
  int32_t Ask = static_cast<int32_t>(std::min<size_t>(Room, 1u << 30));
  int32_t N = Proc(Context, Dest, Ask);
  if (N > Ask) return -1;
  return N;
}

uint8_t WriteAll(TEkWriteProc Proc, void* Context, const char* P, size_t N) {
  while (N > 0) {
    int32_t Ask = static_cast<int32_t>(std::min<size_t>(N, 1u << 30));
    int32_t Done = Proc(Context, P, Ask);
    if (Done <= 0 || Done > Ask) return FileWriteError;
    P += Done;
    N -= static_cast<size_t>(Done);
  }
  return FileWriteOk;
}

}  // namespace

bool TEkEditor::LineInText(int32_t Line) const { return Line >= 1 && static_cast<uint64_t>(Line) <= FDoc.LineCount(); }

uint8_t TEkEditor::ReadBuffer(const TReadBufferArgs& A) {
  if (!A.ReadProc) return erBadArgument;
  bool Read = FDoc.Text().Load([&](char* Dest, size_t Room) { return ReadThrough(A.ReadProc, A.Context, Dest, Room); });
  AfterRead();
  return Read ? FileReadOk : FileReadError;
}

void TEkEditor::AfterRead() {
  FDoc.DefaultBreak = FDoc.Text().Lines().LineCount() > 1 ? LineBreakText(FDoc.Text().Lines().BreakStyle(0)) : "\n";
  FView->Cursor = TEdPos{1, 1};
  FView->WinTopLine = 1;
  FView->WinLeftCol = 1;
  FDoc.Rec()->ModifyFlags = 0;
}

uint8_t TEkEditor::AdoptBuffer(const TAdoptBufferArgs& A) {
  if (A.Size > UINT32_MAX || A.Skip > A.Size) {
    std::free(A.Data);
    return A.Skip > A.Size ? erBadArgument : erTooLong;
  }
  FDoc.Text().Adopt(A.Data, static_cast<size_t>(A.Size), A.Skip);
  AfterRead();
  return FileReadOk;
}

uint8_t TEkEditor::InsertFromReader(const TReadBufferArgs& A) {
  if (!A.ReadProc) return erBadArgument;
  std::string Text;
  std::vector<char> Buf(1 << 16);
  for (;;) {
    int32_t N = A.ReadProc(A.Context, Buf.data(), static_cast<int32_t>(Buf.size()));
    if (N < 0 || N > static_cast<int32_t>(Buf.size())) return erFailed;
    if (N == 0) break;
    Text.append(Buf.data(), static_cast<size_t>(N));
  }
  return InsertRaw(Text);
}

uint8_t TEkEditor::WriteBuffer(const TWriteBufferArgs& A) {
  if (!A.WriteProc) return erBadArgument;
  if (A.BlockOnly) {
    if (!FDoc.BlockValid()) return FileWriteInvalidBlock;
    std::string Text = BlockText();
    return WriteAll(A.WriteProc, A.Context, Text.data(), Text.size());
  }
  uint8_t R = FileWriteOk;
  if (A.PreserveEnds != 0 && A.PreserveEnds != wbLineFeeds) {
    FDoc.Text().Tree().ForEachChunk(0, FDoc.Text().Length(), [&](const char* C, size_t N) {
      R = WriteAll(A.WriteProc, A.Context, C, N);
      return R == FileWriteOk;
    });
    return R;
  }
  if (A.PreserveEnds == wbLineFeeds) {
    // The stored bytes as they lie, each CR LF or lone CR passed on as a line feed; a CR LF
    // may be split between two chunks.
    bool AfterCR = false;
    FDoc.Text().Tree().ForEachChunk(0, FDoc.Text().Length(), [&](const char* C, size_t N) {
      for (size_t I = 0; I < N && R == FileWriteOk;) {
        if (AfterCR) {
          AfterCR = false;
          if (C[I] == '\n') {
            ++I;
            continue;
          }
        }
        const void* CR = std::memchr(C + I, '\r', N - I);
        const size_t To = CR ? static_cast<size_t>(static_cast<const char*>(CR) - C) : N;
        R = WriteAll(A.WriteProc, A.Context, C + I, To - I);
        if (To == N || R != FileWriteOk) break;
        R = WriteAll(A.WriteProc, A.Context, "\n", 1);
        AfterCR = true;
        I = To + 1;
      }
      return R == FileWriteOk;
    });
    return R;
  }
  // Every line break written as the buffer's own.
  const std::string_view Break = FDoc.DefaultBreak;
  std::string Out;
  for (uint64_t L = 0; L < FDoc.LineCount() && R == FileWriteOk; ++L) {
    Out += FDoc.Text().Lines().LineText(L);
    if (L + 1 < FDoc.LineCount()) Out += Break;
    if (Out.size() >= (1u << 20) || L + 1 == FDoc.LineCount()) {
      R = WriteAll(A.WriteProc, A.Context, Out.data(), Out.size());
      Out.clear();
    }
  }
  return R;
}

uint8_t TEkEditor::SeekTo(const TSeekArgs& A) {
  if (A.Pos > FDoc.Text().Length()) return erRange;
  if (!A.File) return erBadArgument;
  TEdFile F{};
  F.Pos = A.Pos;
  TTextPos At = FDoc.Text().PosOf(A.Pos);
  F.CharPos = FDoc.ToCharPos(At);
  int B = FDoc.Text().Tree().ByteAt(A.Pos);
  F.MidChar = B >= 0 && (B & 0xC0) == 0x80;
  Put(A.File, F);
  return erOk;
}

uint8_t TEkEditor::ReadChars(const TReadCharsArgs& A) {
  if (!A.File || (!A.Buffer && A.Count > 0)) return erBadArgument;
  TEdFile F;
  std::memcpy(&F, A.File, sizeof F);
  uint64_t From = std::min<uint64_t>(F.Pos, FDoc.Text().Length());
  uint64_t N = std::min<uint64_t>(A.Count, FDoc.Text().Length() - From);
  uint64_t Copied = 0;
  FDoc.Text().Tree().ForEachChunk(From, N, [&](const char* C, size_t K) {
    std::memcpy(A.Buffer + Copied, C, K);
    Copied += K;
    return true;
  });
  F.Pos = static_cast<uint32_t>(From + Copied);
  F.CharPos = FDoc.ToCharPos(FDoc.Text().PosOf(F.Pos));
  int B = FDoc.Text().Tree().ByteAt(F.Pos);
  F.MidChar = B >= 0 && (B & 0xC0) == 0x80;
  std::memcpy(A.File, &F, sizeof F);
  Put<uint32_t>(A.Read, static_cast<uint32_t>(Copied));
  return erOk;
}

uint8_t TEkEditor::GetMarkedRange(const TGetMarkedRangeArgs& A) {
  uint32_t Beg = A.special ? mkSpecialBeg : mkBlockBeg, End = A.special ? mkSpecialEnd : mkBlockEnd;
  if (!FDoc.MarkerSet(Beg) || !FDoc.MarkerSet(End)) return erNoBlock;
  if (A.edPos) {
    TEdPos S, F;
    BlockBounds(A.special != 0, S, F);
    if (S.LineNum == 0) {
      // A hidden block still has its bounds.
      S = TEdPos{static_cast<int32_t>(ColumnOf(FDoc.Marker(Beg))), static_cast<int32_t>(FDoc.Marker(Beg).Line + 1)};
      F = TEdPos{static_cast<int32_t>(ColumnOf(FDoc.Marker(End))), static_cast<int32_t>(FDoc.Marker(End).Line + 1)};
    }
    if (A.startPos) std::memcpy(A.startPos, &S, sizeof S);
    if (A.afterPos) std::memcpy(A.afterPos, &F, sizeof F);
    return erOk;
  }
  TTextPos B = FDoc.Marker(Beg), F = FDoc.Marker(End);
  if (F < B) std::swap(B, F);
  Put(A.startPos, FDoc.ToCharPos(B));
  Put(A.afterPos, FDoc.ToCharPos(F));
  return erOk;
}

uint8_t TEkEditor::SetMarkedRange(const TSetMarkedRangeArgs& A) {
  if (!LineInText(A.startPos.LineNum) || !LineInText(A.afterPos.LineNum)) return erRange;
  auto Conv = [&](const TCharPos& C) {
    return A.edPos ? PosOfColumn(static_cast<uint64_t>(C.LineNum - 1), C.Index) : FDoc.FromCharPos(C);
  };
  FDoc.SetMarker(A.special ? mkSpecialBeg : mkBlockBeg, Conv(A.startPos));
  FDoc.SetMarker(A.special ? mkSpecialEnd : mkBlockEnd, Conv(A.afterPos));
  if (A.special) FDoc.SpecialShown = true;
  else FDoc.BlockHidden = false;
  FDoc.SendEvent(eeBlockChanged, 0, 0);
  return erOk;
}

uint8_t TEkEditor::ConvertPos(const TConvertPosArgs& A) {
  if (!A.edPos || !A.chPos) return erBadArgument;
  if (A.ebDt == cdEdToChar) {
    TEdPos In;
    std::memcpy(&In, A.edPos, sizeof In);
    if (!LineInText(In.LineNum)) return erRange;
    int64_t Beyond = 0;
    TTextPos At = PosOfColumn(static_cast<uint64_t>(In.LineNum - 1), In.Col, &Beyond);
    TCharPos Out = FDoc.ToCharPos(At);
    if (Out.Index + Beyond > INT32_MAX) return erTooLong;
    Out.Index = static_cast<int32_t>(Out.Index + Beyond);
    Put(A.chPos, Out);
    return erOk;
  }
  if (A.ebDt != cdCharToEd) return erBadArgument;
  TCharPos In;
  std::memcpy(&In, A.chPos, sizeof In);
  if (!LineInText(In.LineNum)) return erRange;
  TTextPos At = FDoc.FromCharPos(In);
  std::string Text = FDoc.LineText(At.Line);
  int64_t Extra = std::max<int64_t>(0, In.Index - static_cast<int64_t>(Utf8CountChars(Text, Text.size())));
  const int64_t Col = ColumnOf(At) + Extra;
  if (Col > INT32_MAX) return erTooLong;
  Put(A.edPos, TEdPos{static_cast<int32_t>(Col), In.LineNum});
  return erOk;
}

uint8_t TEkEditor::SearchString(const TSearchStringArgs& A) {
  bool Ok, Ok2;
  std::string_view Text = StringArg(A.str, A.strLen, Ok);
  std::string_view Pat = StringArg(A.pattern, A.patternLen, Ok2);
  if (!Ok || !Ok2) return erBadArgument;
  // Callers search line after line with one pattern: the prepared (compiled) pattern is kept
  // per thread until another pattern or other flags come.
  thread_local struct {
    std::string Pattern;
    uint16_t Flags = 0;
    std::unique_ptr<TSearcher> Searcher;
  } Last;
  if (!Last.Searcher || Last.Flags != A.flags || Last.Pattern != Pat) {
    auto S = std::make_unique<TSearcher>();
    Last.Searcher.reset();
    if (uint8_t R = Prepare(*S, Pat, TSearchFlags::FromBits(A.flags))) return R;
    Last.Searcher = std::move(S);
    Last.Pattern.assign(Pat);
    Last.Flags = A.flags;
  } else {
    State().PatternError.clear();
  }
  TSearcher& Searcher = *Last.Searcher;
  size_t Pos = 0, Found = 0;
  bool Hit = Searcher.FindIn(Text, 0, Pos, Found);
  Put<int32_t>(A.matchStart, Hit ? static_cast<int32_t>(Pos) : -1);
  Put<int32_t>(A.length, Hit ? static_cast<int32_t>(Found) : 0);
  return SearchOk;
}

uint8_t TEkEditor::SetMarkerPos(uint32_t Id, TCharPos Pos, bool Screen) {
  if (Id >= MaxMarkers) return erBadArgument;
  if (Pos.LineNum <= 0) {
    FDoc.ClearMarker(Id);
    return erOk;
  }
  if (static_cast<uint64_t>(Pos.LineNum) > FDoc.LineCount()) return erRange;
  TTextPos At = Screen ? PosOfColumn(static_cast<uint64_t>(Pos.LineNum - 1), Pos.Index) : FDoc.FromCharPos(Pos);
  FDoc.SetMarker(Id, At);
  if (Id == mkBlockBeg || Id == mkBlockEnd) FDoc.SendEvent(eeBlockChanged, 0, 0);
  return erOk;
}

}  // namespace nxs::ek
