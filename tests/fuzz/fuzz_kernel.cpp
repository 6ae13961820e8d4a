// Fuzzes the editor kernel with random text and random command scripts.
//
// Input: two bytes of text length, the text (loaded into the buffer), one byte of editor
// modes, then the script. Every byte of the script reaches the kernel as given, except the
// fields that the boundary trusts: pointers (they are pointed at scratch storage, procedures
// at the harness's own) and the lengths that go with them (cut to the scratch size). Opcodes,
// record lengths, line numbers, indices and codes stay random: the kernel must refuse them.
// Search, SearchString and ReplaceAll take random patterns and flags over random text; run it
// with a time bound per input (-timeout), which a pattern that never ends would break.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "editor/kernel/ek.h"

namespace {

using namespace nxs;

enum TKind : uint8_t { kBuf, kLen, kRead, kWrite, kTrack, kUndo, kTable, kElemSize, kElArray, kDescLen, kNone, kNoSize };

struct TField {
  uint8_t Op;
  uint16_t Offset;
  TKind Kind;
};

#define F(Op, Type, Member, Kind) {Op, static_cast<uint16_t>(offsetof(Type, Member)), Kind}

const TField Fields[] = {
    F(ekReadBuffer, TReadBufferArgs, ReadProc, kRead),     F(ekReadBuffer, TReadBufferArgs, Context, kBuf),
    F(ekInsertFromReader, TReadBufferArgs, ReadProc, kRead), F(ekInsertFromReader, TReadBufferArgs, Context, kBuf),
    F(ekWriteBuffer, TWriteBufferArgs, WriteProc, kWrite), F(ekWriteBuffer, TWriteBufferArgs, Context, kBuf),
    F(ekSearch, TSearchArgs, Pattern, kBuf),               F(ekSearch, TSearchArgs, PatternLen, kLen),
    F(ekSearch, TSearchArgs, State, kBuf),                 F(ekSearchAgain, TSearchAgainArgs, State, kBuf),
    F(ekRealToFrozen, TLineResultArgs, Result, kBuf),      F(ekInsertLiteral, TStringArgs, Str, kBuf),
    F(ekInsertLiteral, TStringArgs, Len, kLen),            F(ekInsertString, TStringArgs, Str, kBuf),
    F(ekInsertString, TStringArgs, Len, kLen),             F(ekSeekTo, TSeekArgs, File, kBuf),
    F(ekReadChars, TReadCharsArgs, File, kBuf),            F(ekReadChars, TReadCharsArgs, Buffer, kBuf),
    F(ekReadChars, TReadCharsArgs, Count, kLen),           F(ekReadChars, TReadCharsArgs, Read, kBuf),
    F(ekReadSlice, TReadSliceArgs, Buffer, kBuf),          F(ekReadSlice, TReadSliceArgs, Count, kLen),
    F(ekReadSlice, TReadSliceArgs, Read, kBuf),            F(ekReadSlice, TReadSliceArgs, Changes, kBuf),
    F(ekReadSlice, TReadSliceArgs, Length, kBuf),
    F(ekTotalLines, TCountArgs, Count, kBuf),              F(ekReplace, TReplaceArgs, State, kBuf),
    F(ekReplace, TReplaceArgs, Replace, kBuf),             F(ekReplace, TReplaceArgs, ReplaceLen, kLen),
    F(ekGetSyntaxLang, TGetByteArgs, Result, kBuf),        F(ekGetBlockType, TGetByteArgs, Result, kBuf),
    F(ekOpenReadFile, TFileArgs, File, kBuf),              F(ekCloseReadFile, TFileArgs, File, kBuf),
    F(ekGetTabRack, TTabRackArgs, Rack, kBuf),             F(ekSetTabRack, TTabRackArgs, Rack, kBuf),
    F(ekGetUndoLimit, TGetLimitArgs, Limit, kBuf),         F(ekAttachTrackTable, TAddTrackTableArgs, ElementSize, kElemSize),
    F(ekAttachTrackTable, TAddTrackTableArgs, Table, kTable), F(ekAttachTrackTable, TAddTrackTableArgs, TrackProc, kTrack),
    F(ekAttachTrackTable, TAddTrackTableArgs, Context, kBuf), F(ekDetachTrackTable, TTrackTableArgs, Table, kTable),
    F(ekGetMarkerPos, TGetMarkerArgs, Pos, kBuf),          F(ekAddClientUndoProc, TClientUndoArgs, UndoRedoProc, kUndo),
    F(ekAddClientUndoProc, TClientUndoArgs, Context, kBuf), F(ekGetLineFlags, TGetLineFlagsArgs, Flags, kBuf),
    F(ekAddClientUndoStep, TClientUndoArgs, UndoRedoProc, kUndo), F(ekAddClientUndoStep, TClientUndoArgs, Context, kBuf),
    F(ekUserMarkToInternalMark, TUserMarkArgs, Result, kBuf), F(ekGetLineLength, TLineLengthArgs, length, kBuf),
    F(ekSearchString, TSearchStringArgs, str, kBuf),       F(ekSearchString, TSearchStringArgs, strLen, kLen),
    F(ekSearchString, TSearchStringArgs, pattern, kBuf),   F(ekSearchString, TSearchStringArgs, patternLen, kLen),
    F(ekSearchString, TSearchStringArgs, matchStart, kBuf), F(ekSearchString, TSearchStringArgs, length, kBuf),
    F(ekQuery, TQueryArgs, Result, kBuf),                  F(ekGetMarkedRange, TGetMarkedRangeArgs, startPos, kBuf),
    F(ekGetMarkedRange, TGetMarkedRangeArgs, afterPos, kBuf), F(ekConvertPos, TConvertPosArgs, edPos, kBuf),
    F(ekConvertPos, TConvertPosArgs, chPos, kBuf),
    F(ekElisionBlock, TElisionBlockArgs, Elision.Description.BlockDesc, kBuf),
    F(ekElisionBlock, TElisionBlockArgs, Elision.Description.DescLen, kDescLen),
    F(ekElisionBlock, TElisionBlockArgs, Result, kBuf),    F(ekElisionArray, TElisionArrayArgs, Array, kElArray),
    F(ekElisionQuery, TElisionLineQueryArgs, ResultLine, kBuf), F(ekElisionQuery, TElisionLineQueryArgs, ResultFlag, kBuf),
    F(ekGetLineBreakStyle, TGetLineBreakArgs, Style, kBuf), F(ekConvertCharPosToPos, TCharPosToPosArgs, Result, kBuf),
    F(ekGetUndoGroup, TGetUndoGroupArgs, Group, kBuf),     F(ekGetUndoGroup, TGetUndoGroupArgs, Started, kBuf),
    F(ekGetLineText, TGetLineTextArgs, Buffer, kBuf),      F(ekGetLineText, TGetLineTextArgs, Size, kLen),
    F(ekGetLineText, TGetLineTextArgs, Length, kBuf),      F(ekInsertAt, TInsertAtArgs, Str, kBuf),
    F(ekInsertAt, TInsertAtArgs, Len, kLen),
    F(ekGetSearchError, TSearchErrorArgs, Buffer, kBuf),   F(ekGetSearchError, TSearchErrorArgs, Size, kLen),
    F(ekGetSearchError, TSearchErrorArgs, Length, kBuf),   F(ekGetSearchError, TSearchErrorArgs, Offset, kBuf),
    // Random patterns (the scratch holds random bytes), flags and replacements.
    F(ekReplaceAll, TReplaceAllArgs, Pattern, kBuf),       F(ekReplaceAll, TReplaceAllArgs, PatternLen, kLen),
    F(ekReplaceAll, TReplaceAllArgs, Replace, kBuf),       F(ekReplaceAll, TReplaceAllArgs, ReplaceLen, kLen),
    F(ekReplaceAll, TReplaceAllArgs, Count, kBuf),
    // A text handed over is freed by the kernel: only an empty one, which any script may drop.
    F(ekAdoptBuffer, TAdoptBufferArgs, Data, kNone),       F(ekAdoptBuffer, TAdoptBufferArgs, Size, kNoSize),
};
#undef F

constexpr size_t ScratchSize = 1 << 16;
constexpr uint32_t MaxLen = 4096;
alignas(16) uint8_t Scratch[ScratchSize];
alignas(16) uint8_t TrackTable[2 + 8 * 16];
TElisionArray ElArray;

const uint8_t* ReadData;
size_t ReadLeft;

int32_t Read(void*, char* Buffer, int32_t Count) {
  if (ReadLeft == 0) return 0;
  size_t N = std::min<size_t>({ReadLeft, static_cast<size_t>(Count), 7});
  std::memcpy(Buffer, ReadData, N);
  ReadData += N;
  ReadLeft -= N;
  return static_cast<int32_t>(N);
}
int32_t Write(void*, const char*, int32_t Count) { return Count; }
void Track(void*, void*) {}
void ClientUndo(void*, uint8_t) {}

template <class T>
void Store(uint8_t* At, T Value) {
  std::memcpy(At, &Value, sizeof Value);
}

void Patch(uint8_t* Args, uint8_t Op) {
  for (const TField& Fd : Fields) {
    if (Fd.Op != Op) continue;
    uint8_t* At = Args + Fd.Offset;
    switch (Fd.Kind) {
      case kBuf: Store<void*>(At, Scratch); break;
      case kLen: {
        uint32_t V;
        std::memcpy(&V, At, sizeof V);
        Store<uint32_t>(At, V % MaxLen);
        break;
      }
      case kDescLen: {
        int32_t V;
        std::memcpy(&V, At, sizeof V);
        if (V > static_cast<int32_t>(MaxLen)) Store<int32_t>(At, V % static_cast<int32_t>(MaxLen));
        break;
      }
      case kElemSize: {
        uint16_t V;
        std::memcpy(&V, At, sizeof V);
        Store<uint16_t>(At, static_cast<uint16_t>(V % 17));
        break;
      }
      case kRead: Store(At, &Read); break;
      case kWrite: Store(At, &Write); break;
      case kTrack: Store(At, &Track); break;
      case kUndo: Store(At, &ClientUndo); break;
      case kTable: Store<void*>(At, TrackTable); break;
      case kElArray: Store<void*>(At, &ElArray); break;
      case kNone: Store<void*>(At, nullptr); break;
      case kNoSize: Store<uint64_t>(At, 0); break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TEkInstance* Kernel = EK_INIT(EkKernelVersion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr);
  if (Size < 3) return 0;
  size_t TextLen = std::min<size_t>(static_cast<size_t>(Data[0] | (Data[1] << 8)), Size - 3);
  const uint8_t* Text = Data + 2;
  uint8_t Modes = Data[2 + TextLen];
  std::vector<uint8_t> Script(Data + 3 + TextLen, Data + Size);

  std::memset(Scratch, 0, sizeof Scratch);
  std::memcpy(Scratch, Text, std::min(TextLen, sizeof Scratch));
  std::memset(TrackTable, 0, sizeof TrackTable);
  Store<uint16_t>(TrackTable, 4);
  std::memset(&ElArray, 0, sizeof ElArray);

  TEkView View{};
  if (!Kernel->EkNew(nullptr, &View, 0)) return 0;
  View.Editor->EdModes = (Modes & 0x7F) | ((Modes & 0x80) ? emCursorBeyondEOF : 0);
  ReadData = Text;
  ReadLeft = TextLen;
  TEkScript Load;
  Load.Add(ekReadBuffer, TReadBufferArgs{&Read, nullptr});
  Load.End();
  Kernel->EkEval(&View, Load.Data(), Load.Length());

  // Walks the script as the kernel will and patches the trusted fields of each command. Each
  // block copy or replacement may double the text, so a script keeps only the first few of them:
  // more would only measure how long a huge buffer takes, not find faults.
  int Doublings = 0;
  for (size_t At = 0; At + 2 <= Script.size();) {
    int ArgSize = EkArgumentSize(Script[At]);
    if (ArgSize < 0 || At + 2 + static_cast<size_t>(ArgSize) > Script.size()) break;
    if ((Script[At] == ekCopyBlock || Script[At] == ekReplaceAll) && ++Doublings > 12) {
      Script.resize(At);
      break;
    }
    Patch(Script.data() + At + 2, Script[At]);
    At += 2 + static_cast<size_t>(ArgSize);
  }
  ReadData = Text;
  ReadLeft = TextLen;
  Kernel->EkEval(&View, reinterpret_cast<TEdCmd*>(Script.data()), static_cast<uint32_t>(Script.size()));

  TPaintContext Ctx{};
  char Line[256];
  TAttrEntry Attrs[32];
  Ctx.LineBuffer = Line;
  Ctx.LineBufferSize = sizeof Line;
  Ctx.Attrs = Attrs;
  Ctx.AttrCapacity = 32;
  Kernel->EkBeginPaint(&View, &Ctx);
  for (int32_t L = 1; L <= 4; ++L) Kernel->EkGetLineContents(&View, L, &Ctx);

  if (ElArray.ElisionVec) {
    TEkScript Release;
    Release.Add(ekElisionArray, TElisionArrayArgs{eaRelease, TElisionRange{}, &ElArray});
    Release.End();
    Kernel->EkEval(&View, Release.Data(), Release.Length());
  }
  Kernel->EkEnd(&View);
  return 0;
}
