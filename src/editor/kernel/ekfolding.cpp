// The folding commands: adding and removing blocks, folding ranges and types, the array of
// folded blocks handed to the caller, and the line questions.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekeditor.h"
#include "editor/kernel/ekeval.h"
#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

namespace {

bool RangeOk(const TEkDocument& D, const TElisionRange& R) {
  auto LineOk = [&](int32_t L) { return L >= 1 && static_cast<uint64_t>(L) <= D.LineCount(); };
  return LineOk(R.ElisionStart.LineNum) && LineOk(R.ElisionEnd.LineNum);
}

// Converts between character indexes and byte columns as the document does, for many blocks
// at once. A long line gets, on first use, the byte offset of every 4096th character, so that
// a thousand blocks ending far out on one long line cost one pass over it, not a thousand;
// each conversion then reads at most a few thousand characters from the nearest mark.
class TLineColumns {
 public:
  // ByteIndexes: the caller's indexes count bytes of the line and need no conversion.
  TLineColumns(const TEkDocument& D, bool ByteIndexes) : FDoc(D), FBytes(ByteIndexes) {}
  TLineColumns(const TLineColumns&) = delete;  // keeps marks for the document's lines
  TLineColumns& operator=(const TLineColumns&) = delete;

  TTextPos FromCharPos(const TCharPos& P) {
    const uint64_t Line =
        P.LineNum < 1 ? 0 : std::min<uint64_t>(static_cast<uint64_t>(P.LineNum) - 1, FDoc.LineCount() - 1);
    const uint64_t Index = P.Index < 0 ? 0 : static_cast<uint64_t>(P.Index);
    if (Index == 0) return {Line, 0};
    const TSpan L = SpanOf(Line);
    if (FBytes) return {Line, std::min(Index, L.Length)};
    if (L.Length <= Short) return {Line, Utf8ByteOfChar(Piece(L, 0, L.Length), Index)};
    const std::vector<uint64_t>& Marks = MarksOf(Line, L);
    const uint64_t Mark = Index / Step;
    if (Mark >= Marks.size()) return {Line, L.Length};  // fewer characters than that: the line's end
    return {Line, Marks[Mark] + Utf8ByteOfChar(Piece(L, Marks[Mark], Short), Index % Step)};
  }

  TCharPos ToCharPos(TTextPos P) {
    if (FBytes) return Checked(P.Col, P.Line);
    const uint64_t Line = std::min(P.Line, FDoc.LineCount() - 1);
    const TSpan L = SpanOf(Line);
    const uint64_t Bytes = std::min<uint64_t>(P.Col, L.Length);
    uint64_t Chars = 0;
    if (L.Length <= Short) {
      Chars = Utf8CountChars(Piece(L, 0, L.Length), Bytes);
    } else {
      // From the last mark before Bytes; the bytes of a character running past Bytes are read too.
      const std::vector<uint64_t>& Marks = MarksOf(Line, L);
      const size_t Mark = static_cast<size_t>(std::lower_bound(Marks.begin(), Marks.end(), Bytes) - Marks.begin());
      if (Mark > 0)
        Chars = (Mark - 1) * Step +
                Utf8CountChars(Piece(L, Marks[Mark - 1], Bytes - Marks[Mark - 1] + 4), Bytes - Marks[Mark - 1]);
    }
    if (P.Col > L.Length) Chars += P.Col - L.Length;
    return Checked(Chars, P.Line);
  }

 private:
  static constexpr uint64_t Step = 4096;
  // Step characters take at most this many bytes; a shorter line is simply read whole.
  static constexpr uint64_t Short = 4 * Step + 4;

  static TCharPos Checked(uint64_t Index, uint64_t Line) {
    if (Index > INT32_MAX || Line >= INT32_MAX) throw TRangeError();  // no field can hold it
    TCharPos R;
    R.Index = static_cast<int32_t>(Index);
    R.LineNum = static_cast<int32_t>(Line + 1);
    return R;
  }
  struct TSpan {
    uint64_t Start, Length;  // the line's first byte and its length without its break
  };
  TSpan SpanOf(uint64_t Line) const {
    const TLineIndex& Lines = FDoc.Text().Lines();
    const uint64_t Start = Lines.LineStart(Line);
    return {Start, Lines.LineEnd(Line) - Start};
  }
  // Up to Count bytes of the line from byte From.
  std::string Piece(const TSpan& L, uint64_t From, uint64_t Count) const {
    return FDoc.Text().Tree().Text(L.Start + From, std::min(Count, L.Length - From));
  }
  const std::vector<uint64_t>& MarksOf(uint64_t Line, const TSpan& L) {
    auto [It, New] = FMarks.try_emplace(Line);
    if (!New) return It->second;
    const std::string Text = Piece(L, 0, L.Length);
    uint64_t Chars = 0;
    for (size_t I = 0; I < Text.size(); I += static_cast<size_t>(Utf8CharLength(Text, I)), ++Chars)
      if (Chars % Step == 0) It->second.push_back(I);
    return It->second;
  }

  const TEkDocument& FDoc;
  const bool FBytes;
  // Per long line: the byte offset of characters 0, Step, 2 Step, ...
  std::unordered_map<uint64_t, std::vector<uint64_t>> FMarks;
};

// The block an add command describes, checked as the add command checks it.
uint8_t FoldOf(const TEkDocument& D, TLineColumns& Columns, const TElision& El, TFold& Fold) {
  const TElisionRange& R = El.Range;
  if (!RangeOk(D, R)) return erRange;
  TTextPos S = Columns.FromCharPos(R.ElisionStart), End = Columns.FromCharPos(R.ElisionEnd);
  if (!(S < End)) return erRange;
  const TElisionDescription& Desc = El.Description;
  if (Desc.DescLen < 0 || Desc.DescLen > 65535 || (Desc.DescLen > 0 && !Desc.BlockDesc)) return erBadArgument;
  Fold.Start = S;
  Fold.End = End;
  Fold.Type = Desc.ElisionType;
  if (Desc.DescLen > 0) Fold.Desc.assign(Desc.BlockDesc, static_cast<size_t>(Desc.DescLen));
  Fold.Folded = El.Context.State == 4;
  return erOk;
}

}  // namespace

uint8_t ExecuteElision(TEkEditor& E, uint8_t Op, const uint8_t* P) {
  TEkDocument& D = E.Doc();
  TElisions& F = D.Elisions();
  D.RepaintAll = true;
  switch (Op) {
    case ekElideLines: {
      auto A = ArgsOf<TElideLinesArgs>(P);
      if (A.Command == ecUnfoldAll) {
        F.UnfoldAll();
        return erOk;
      }
      if (A.Command != ecFoldRange && A.Command != ecUnfoldRange) return erBadArgument;
      if (!RangeOk(D, A.Range)) return erRange;
      uint64_t First = static_cast<uint64_t>(A.Range.ElisionStart.LineNum - 1);
      uint64_t Last = static_cast<uint64_t>(A.Range.ElisionEnd.LineNum - 1);
      if (Last < First) return erRange;
      F.SetFolded(First, Last, A.Command == ecFoldRange);
      E.FixCursor();
      return erOk;
    }
    case ekElisionBlock: {
      auto A = ArgsOf<TElisionBlockArgs>(P);
      const TElisionRange& R = A.Elision.Range;
      switch (A.Command) {
        case ebAdd: {
          TFold Fold;
          TLineColumns Columns(D, false);
          if (uint8_t Status = FoldOf(D, Columns, A.Elision, Fold); Status != erOk) return Status;
          F.Add(std::move(Fold));
          E.FixCursor();
          return erOk;
        }
        case ebRemoveRange:
          if (!RangeOk(D, R)) return erRange;
          return F.RemoveRange(D.FromCharPos(R.ElisionStart), D.FromCharPos(R.ElisionEnd)) ? erOk : erNotFound;
        case ebRemoveAtPos:
          if (!RangeOk(D, R)) return erRange;
          return F.RemoveAt(D.FromCharPos(R.ElisionStart)) ? erOk : erNotFound;
        case ebTreePresent:
          Put<uint8_t>(A.Result, !F.Folds().empty());
          return erOk;
        case ebReconcile:
          E.FixCursor();
          return erOk;
        case ebResetEphemerals:
          F.ResetTemporary();
          E.FixCursor();
          return erOk;
        case ebClearAll:
          F.Clear();
          E.FixCursor();
          return erOk;
        case ebFoldType:
          F.FoldType(A.Elision.Description.ElisionType);
          E.FixCursor();
          return erOk;
      }
      return erBadArgument;
    }
    case ekElisionArray: {
      auto A = ArgsOf<TElisionArrayArgs>(P);
      if (!A.Array) return erBadArgument;
      TElisionArray Arr;
      std::memcpy(&Arr, A.Array, sizeof Arr);
      if (A.Command == eaRelease) {
        KernelFree(Arr.ElisionVec);
        Arr.ElisionVec = nullptr;
        Arr.NumElisions = 0;
        std::memcpy(A.Array, &Arr, sizeof Arr);
        return erOk;
      }
      if (A.Command == eaAddAll) {
        if (Arr.NumElisions < 0 || Arr.NumElisions > EkMaxElisions || (Arr.NumElisions > 0 && !Arr.ElisionVec))
          return erBadArgument;
        uint8_t Status = erOk;
        TLineColumns Columns(D, (Arr.All & eaByteIndexes) != 0);
        for (int32_t I = 0; I < Arr.NumElisions; ++I) {
          TElision El;
          std::memcpy(&El, reinterpret_cast<const uint8_t*>(Arr.ElisionVec) + static_cast<size_t>(I) * sizeof El,
                      sizeof El);
          TFold Fold;
          if (uint8_t Refused = FoldOf(D, Columns, El, Fold); Refused != erOk) {
            Status = Refused;
            continue;
          }
          F.Add(std::move(Fold));
        }
        E.FixCursor();
        return Status;
      }
      if (A.Command != eaGetFolded && A.Command != eaGetFoldedFrom) return erBadArgument;
      if (A.Command == eaGetFoldedFrom && Arr.NumElisions < 0) return erBadArgument;
      size_t Skip = A.Command == eaGetFoldedFrom ? static_cast<size_t>(Arr.NumElisions) : 0;
      const bool ByteIndexes = A.Command == eaGetFoldedFrom && (Arr.All & eaByteIndexes) != 0;
      const bool All = ByteIndexes ? (Arr.All & ~eaByteIndexes) != 0 : Arr.All != 0;
      if (!All && !RangeOk(D, A.Range)) return erRange;
      uint64_t First = All ? 0 : static_cast<uint64_t>(A.Range.ElisionStart.LineNum - 1);
      uint64_t Last = All ? UINT64_MAX : static_cast<uint64_t>(A.Range.ElisionEnd.LineNum - 1);
      std::vector<const TFold*> Picked;
      for (const TFold& Fold : F.Folds()) {
        if (!Fold.Folded || Fold.Start.Line < First || Fold.End.Line > Last) continue;
        if (Skip > 0) {
          --Skip;
          continue;
        }
        if (Picked.size() == EkMaxElisions) break;
        Picked.push_back(&Fold);
      }
      // One allocation: the records, then their descriptions.
      size_t Bytes = Picked.size() * sizeof(TElision);
      for (const TFold* Fold : Picked) Bytes += Fold->Desc.size() + 1;
      auto* Mem = static_cast<uint8_t*>(KernelAlloc(std::max<size_t>(Bytes, 1)));
      if (!Mem) return erFailed;
      char* Text = reinterpret_cast<char*>(Mem + Picked.size() * sizeof(TElision));
      TLineColumns Columns(D, ByteIndexes);
      for (size_t I = 0; I < Picked.size(); ++I) {
        const TFold& Fold = *Picked[I];
        TElision El{};
        El.Range.ElisionStart = Columns.ToCharPos(Fold.Start);
        El.Range.ElisionEnd = Columns.ToCharPos(Fold.End);
        El.Range.NumLines = static_cast<int32_t>(Fold.End.Line - Fold.Start.Line + 1);
        El.Context.State = 4;
        El.Description.ElisionType = Fold.Type;
        El.Description.DescLen = static_cast<int32_t>(Fold.Desc.size());
        std::memcpy(Text, Fold.Desc.c_str(), Fold.Desc.size() + 1);
        El.Description.BlockDesc = Text;
        Text += Fold.Desc.size() + 1;
        std::memcpy(Mem + I * sizeof(TElision), &El, sizeof El);
      }
      Arr.ElisionVec = reinterpret_cast<TElision*>(Mem);
      Arr.NumElisions = static_cast<int32_t>(Picked.size());
      Arr.Range = A.Range;
      std::memcpy(A.Array, &Arr, sizeof Arr);
      return erOk;
    }
    case ekElisionQuery: {
      auto A = ArgsOf<TElisionLineQueryArgs>(P);
      D.RepaintAll = false;
      if (A.Question == eqFoldedLines) {
        Put<int32_t>(A.ResultLine, static_cast<int32_t>(std::min<uint64_t>(F.HiddenLines(), INT32_MAX)));
        return erOk;
      }
      if (A.Line < 1 || static_cast<uint64_t>(A.Line) > D.LineCount()) return erRange;
      uint64_t Line = static_cast<uint64_t>(A.Line - 1);
      const TFold* Start = F.StartingOn(Line);
      switch (A.Question) {
        case eqStartsOnLine:
          Put<uint8_t>(A.ResultFlag, Start != nullptr);
          Put<int32_t>(A.ResultLine, Start ? static_cast<int32_t>(Start->End.Line + 1) : 0);
          return erOk;
        case eqBlockFolded: Put<uint8_t>(A.ResultFlag, Start && Start->Folded); return erOk;
        case eqEndsOnLine: Put<uint8_t>(A.ResultFlag, F.EndsOn(Line)); return erOk;
        case eqStartsOrEnds: Put<uint8_t>(A.ResultFlag, Start || F.EndsOn(Line)); return erOk;
        case eqInsideBlock: Put<uint8_t>(A.ResultFlag, F.BlocksAt(Line) > 0); return erOk;
        case eqLineFolded: Put<uint8_t>(A.ResultFlag, F.LineHidden(Line)); return erOk;
        case eqBlocksAtLine: Put<int32_t>(A.ResultLine, F.BlocksAt(Line)); return erOk;
        case eqPointFolded: {
          TTextPos At = E.PosOfColumn(Line, A.Column);
          Put<uint8_t>(A.ResultFlag, F.PointFolded(At));
          return erOk;
        }
      }
      return erBadArgument;
    }
  }
  return erUnknownOp;
}

}  // namespace nxs::ek
