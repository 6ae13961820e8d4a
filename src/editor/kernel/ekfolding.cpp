// The folding commands: adding and removing blocks, folding ranges and types, the array of
// folded blocks handed to the caller, and the line questions.
#include <algorithm>
#include <cstring>

#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekeditor.h"
#include "editor/kernel/ekeval.h"

namespace nxs::ek {

namespace {

bool RangeOk(const TEkDocument& D, const TElisionRange& R) {
  auto LineOk = [&](int32_t L) { return L >= 1 && static_cast<uint64_t>(L) <= D.LineCount(); };
  return LineOk(R.ElisionStart.LineNum) && LineOk(R.ElisionEnd.LineNum);
}

// The block an add command describes, checked as the add command checks it.
uint8_t FoldOf(const TEkDocument& D, const TElision& El, TFold& Fold) {
  const TElisionRange& R = El.Range;
  if (!RangeOk(D, R)) return erRange;
  TTextPos S = D.FromCharPos(R.ElisionStart), End = D.FromCharPos(R.ElisionEnd);
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
          if (uint8_t Status = FoldOf(D, A.Elision, Fold); Status != erOk) return Status;
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
        for (int32_t I = 0; I < Arr.NumElisions; ++I) {
          TElision El;
          std::memcpy(&El, reinterpret_cast<const uint8_t*>(Arr.ElisionVec) + static_cast<size_t>(I) * sizeof El,
                      sizeof El);
          TFold Fold;
          if (uint8_t Refused = FoldOf(D, El, Fold); Refused != erOk) {
            Status = Refused;
            continue;
          }
          F.Add(std::move(Fold));
        }
        E.FixCursor();
        return Status;
      }
      if (A.Command != eaGetFolded) return erBadArgument;
      bool All = Arr.All != 0;
      if (!All && !RangeOk(D, A.Range)) return erRange;
      uint64_t First = All ? 0 : static_cast<uint64_t>(A.Range.ElisionStart.LineNum - 1);
      uint64_t Last = All ? UINT64_MAX : static_cast<uint64_t>(A.Range.ElisionEnd.LineNum - 1);
      std::vector<const TFold*> Picked;
      for (const TFold& Fold : F.Folds())
        if (Fold.Folded && Fold.Start.Line >= First && Fold.End.Line <= Last && Picked.size() < EkMaxElisions)
          Picked.push_back(&Fold);
      // One allocation: the records, then their descriptions.
      size_t Bytes = Picked.size() * sizeof(TElision);
      for (const TFold* Fold : Picked) Bytes += Fold->Desc.size() + 1;
      auto* Mem = static_cast<uint8_t*>(KernelAlloc(std::max<size_t>(Bytes, 1)));
      if (!Mem) return erFailed;
      char* Text = reinterpret_cast<char*>(Mem + Picked.size() * sizeof(TElision));
      for (size_t I = 0; I < Picked.size(); ++I) {
        const TFold& Fold = *Picked[I];
        TElision El{};
        El.Range.ElisionStart = D.ToCharPos(Fold.Start);
        El.Range.ElisionEnd = D.ToCharPos(Fold.End);
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
