// Folding as the editor uses it: wrappers around the kernel's folding commands. The folding
// parser, which fills a view's blocks from a language's regions, is editor/language/folding.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editor/buffers/edkrnl.h"
#include "editor/kernel/ek.h"

namespace nxs {

// One block as the wrappers hand it out.
struct TElidedBlock {
  TCharPos Start{0, 1}, End{0, 1};
  uint16_t Type = 0;
  std::string Desc;
  bool Folded = true;  // the blocks handed out are the folded ones
};

// Adds the blocks as AddElisionBlock would one by one, in a few kernel calls rather than one
// per block. Blocks outside the buffer or ending before they start are skipped; false when
// any was.
bool AddElisionBlocks(PEkView View, const std::vector<TElidedBlock>& Blocks);
bool RemoveElisionBlock(PEkView View, TCharPos Pos);
bool RemoveElisionBlock(PEkView View, TCharPos Start, TCharPos End);
// Folds or unfolds the blocks lying within the lines First..Last.
bool ElideRange(PEkView View, int32_t First, int32_t Last, bool Fold);
// The block starting on Line (else the innermost one holding it) is folded or unfolded.
bool ElideLine(PEkView View, int32_t Line, bool Fold);
// At the cursor: the block starting on its line is unfolded when folded, folded otherwise.
bool ToggleElide(PEkView View);
void ElideByType(PEkView View, uint16_t Type);
void UnElideAll(PEkView View);
void ClearAllElisions(PEkView View);
void ReconcileViewState(PEkView View);
void ResetEphemerals(PEkView View);
// Nothing to do here: the kernel opens blocks for the moment itself.
inline void ImplicitUnElide(PEkView) {}
inline void EndImplicitUnElide(PEkView) {}

std::vector<TElidedBlock> GetAllElidedBlocks(PEkView View);
// As AddElisionBlocks and GetAllElidedBlocks, with the blocks' indexes counting bytes of the
// line instead of characters, as the region parsers count them.
bool AddElisionBlocksByBytes(PEkView View, const std::vector<TElidedBlock>& Blocks);
std::vector<TElidedBlock> GetAllElidedBlocksByBytes(PEkView View);
bool IsElisionTreePresent(PEkView View);
bool IsStartOfElisionBlock(PEkView View, int32_t Line);
bool IsEndOfElisionBlock(PEkView View, int32_t Line);
bool IsInElisionBlock(PEkView View, int32_t Line);
bool BlockIsElided(PEkView View, int32_t Line);
bool LineIsElided(PEkView View, int32_t Line);
bool PointIsElided(PEkView View, int32_t Line, int32_t Column);
int32_t NumElidedLines(PEkView View);
int32_t ElisionsAtLine(PEkView View, int32_t Line);

// The saved form of folded blocks is the command layer's (PrintElisions, InsertSavedElisions).

}  // namespace nxs
