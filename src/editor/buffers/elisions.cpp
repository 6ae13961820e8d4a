#include "editor/buffers/elisions.h"

#include <algorithm>

#include "editor/buffers/edkrnl.h"

namespace nxs {

namespace {

TElision MakeElision(TCharPos Start, TCharPos End) {
  TElision E{};
  E.Range.ElisionStart = Start;
  E.Range.ElisionEnd = End;
  E.Range.NumLines = End.LineNum - Start.LineNum + 1;
  return E;
}

uint8_t BlockCommand(PEkView View, uint8_t Command, const TElision& E, uint8_t* Result = nullptr) {
  return EvalOne(View, ekElisionBlock, TElisionBlockArgs{E, Command, Result});
}

struct TLineAnswer {
  uint8_t Flag = 0;
  int32_t Line = 0;
};

TLineAnswer LineQuestion(PEkView View, uint8_t Question, int32_t Line, int32_t Column = 0) {
  TLineAnswer A;
  EvalOne(View, ekElisionQuery, TElisionLineQueryArgs{Line, Column, &A.Line, &A.Flag, Question});
  return A;
}

// ByteIndexes: the blocks' indexes count bytes of the line instead of characters.
bool AddBlocks(PEkView View, const std::vector<TElidedBlock>& Blocks, bool ByteIndexes) {
  bool All = true;
  std::vector<TElision> Chunk;
  Chunk.reserve(std::min<size_t>(Blocks.size(), EkMaxElisions));
  for (size_t From = 0; From < Blocks.size(); From += EkMaxElisions) {
    const size_t To = std::min(Blocks.size(), From + EkMaxElisions);
    Chunk.clear();
    for (size_t I = From; I < To; ++I) {
      const TElidedBlock& B = Blocks[I];
      TElision E = MakeElision(B.Start, B.End);
      E.Context.State = B.Folded ? 4 : 0;
      E.Description.ElisionType = B.Type;
      E.Description.DescLen = static_cast<int32_t>(B.Desc.size());
      E.Description.BlockDesc = const_cast<char*>(B.Desc.data());  // read, never written
      Chunk.push_back(E);
    }
    TElisionArray Arr{};
    Arr.All = ByteIndexes ? eaByteIndexes : 0;
    Arr.NumElisions = static_cast<int32_t>(Chunk.size());
    Arr.ElisionVec = Chunk.data();
    All = EvalOne(View, ekElisionArray, TElisionArrayArgs{eaAddAll, Arr.Range, &Arr}) == erOk && All;
  }
  return All;
}

std::vector<TElidedBlock> FoldedBlocks(PEkView View, bool ByteIndexes) {
  std::vector<TElidedBlock> Blocks;
  ForEachFoldedElision(
      View,
      [&](const TElision& E) {
        TElidedBlock B;
        B.Start = E.Range.ElisionStart;
        B.End = E.Range.ElisionEnd;
        B.Type = E.Description.ElisionType;
        if (E.Description.DescLen > 0)
          B.Desc.assign(E.Description.BlockDesc, static_cast<size_t>(E.Description.DescLen));
        Blocks.push_back(std::move(B));
      },
      ByteIndexes);
  return Blocks;
}

}  // namespace

bool AddElisionBlocks(PEkView View, const std::vector<TElidedBlock>& Blocks) { return AddBlocks(View, Blocks, false); }
bool AddElisionBlocksByBytes(PEkView View, const std::vector<TElidedBlock>& Blocks) { return AddBlocks(View, Blocks, true); }

bool RemoveElisionBlock(PEkView View, TCharPos Pos) {
  return BlockCommand(View, ebRemoveAtPos, MakeElision(Pos, Pos)) == erOk;
}

bool RemoveElisionBlock(PEkView View, TCharPos Start, TCharPos End) {
  return BlockCommand(View, ebRemoveRange, MakeElision(Start, End)) == erOk;
}

bool ElideRange(PEkView View, int32_t First, int32_t Last, bool Fold) {
  TElideLinesArgs A{MakeElision(TCharPos{0, First}, TCharPos{0, Last}).Range,
                    static_cast<uint8_t>(Fold ? ecFoldRange : ecUnfoldRange)};
  return EvalOne(View, ekElideLines, A) == erOk;
}

bool ElideLine(PEkView View, int32_t Line, bool Fold) {
  TLineAnswer Start = LineQuestion(View, eqStartsOnLine, Line);
  if (Start.Flag) return ElideRange(View, Line, Start.Line, Fold);
  // Otherwise the innermost block around the line: the nearest start above whose end
  // reaches the line.
  for (int32_t L = Line - 1; L >= 1; --L) {
    TLineAnswer Above = LineQuestion(View, eqStartsOnLine, L);
    if (Above.Flag && Above.Line >= Line) return ElideRange(View, L, Above.Line, Fold);
  }
  return false;
}

bool ToggleElide(PEkView View) {
  int32_t Line = View->Cursor.LineNum;
  if (!LineQuestion(View, eqStartsOnLine, Line).Flag) return false;
  return ElideLine(View, Line, !LineQuestion(View, eqBlockFolded, Line).Flag);
}

void ElideByType(PEkView View, uint16_t Type) {
  TElision E = MakeElision(TCharPos{0, 1}, TCharPos{0, 1});
  E.Description.ElisionType = Type;
  BlockCommand(View, ebFoldType, E);
}

void UnElideAll(PEkView View) {
  EvalOne(View, ekElideLines, TElideLinesArgs{MakeElision({0, 1}, {0, 1}).Range, ecUnfoldAll});
}

void ClearAllElisions(PEkView View) { BlockCommand(View, ebClearAll, MakeElision({0, 1}, {0, 1})); }
void ReconcileViewState(PEkView View) { BlockCommand(View, ebReconcile, MakeElision({0, 1}, {0, 1})); }
void ResetEphemerals(PEkView View) { BlockCommand(View, ebResetEphemerals, MakeElision({0, 1}, {0, 1})); }

std::vector<TElidedBlock> GetAllElidedBlocks(PEkView View) { return FoldedBlocks(View, false); }
std::vector<TElidedBlock> GetAllElidedBlocksByBytes(PEkView View) { return FoldedBlocks(View, true); }

bool IsElisionTreePresent(PEkView View) {
  uint8_t Present = 0;
  BlockCommand(View, ebTreePresent, MakeElision({0, 1}, {0, 1}), &Present);
  return Present != 0;
}
bool IsStartOfElisionBlock(PEkView View, int32_t Line) { return LineQuestion(View, eqStartsOnLine, Line).Flag; }
bool IsEndOfElisionBlock(PEkView View, int32_t Line) { return LineQuestion(View, eqEndsOnLine, Line).Flag; }
bool IsInElisionBlock(PEkView View, int32_t Line) { return LineQuestion(View, eqInsideBlock, Line).Flag; }
bool BlockIsElided(PEkView View, int32_t Line) { return LineQuestion(View, eqBlockFolded, Line).Flag; }
bool LineIsElided(PEkView View, int32_t Line) { return LineQuestion(View, eqLineFolded, Line).Flag; }
bool PointIsElided(PEkView View, int32_t Line, int32_t Column) {
  return LineQuestion(View, eqPointFolded, Line, Column).Flag;
}
int32_t NumElidedLines(PEkView View) { return LineQuestion(View, eqFoldedLines, 1).Line; }
int32_t ElisionsAtLine(PEkView View, int32_t Line) { return LineQuestion(View, eqBlocksAtLine, Line).Line; }

}  // namespace nxs
