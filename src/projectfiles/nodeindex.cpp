#include "projectfiles/nodeindex.h"

namespace nxs::detail {

void TNodeIndex::Insert(TNode* Node, size_t Hash) {
  // At most four fifths full, so that probe runs stay short.
  if ((FCount + 1) * 5 > (FMask + 1) * 4) Grow();
  Place(Node, static_cast<uint32_t>(Hash));
  ++FCount;
}

void TNodeIndex::Place(TNode* Node, uint32_t Short) {
  size_t I = Short & FMask;
  while (FNodes[I]) I = (I + 1) & FMask;
  FNodes[I] = Node;
  FHashes[I] = Short;
}

void TNodeIndex::Grow() {
  size_t OldSize = FNodes ? FMask + 1 : 0;
  size_t NewSize = OldSize ? OldSize * 2 : 8;
  std::unique_ptr<TNode*[]> OldNodes = std::move(FNodes);
  std::unique_ptr<uint32_t[]> OldHashes = std::move(FHashes);
  FNodes = std::make_unique<TNode*[]>(NewSize);
  FHashes = std::make_unique_for_overwrite<uint32_t[]>(NewSize);
  FMask = NewSize - 1;
  for (size_t I = 0; I < OldSize; ++I)
    if (OldNodes[I]) Place(OldNodes[I], OldHashes[I]);
}

void TNodeIndex::Erase(TNode* Node, size_t Hash) {
  if (!FCount) return;
  uint32_t Short = static_cast<uint32_t>(Hash);
  for (size_t I = Short & FMask; FNodes[I]; I = (I + 1) & FMask)
    if (FNodes[I] == Node) {
      RemoveAt(I);
      return;
    }
  for (size_t I = 0; I <= FMask; ++I)
    if (FNodes[I] == Node) {
      RemoveAt(I);
      return;
    }
}

// Linear probing without tombstones: the entries behind the hole that cannot be found from
// their home slot any more move back into it.
void TNodeIndex::RemoveAt(size_t I) {
  FNodes[I] = nullptr;
  --FCount;
  for (size_t J = (I + 1) & FMask; FNodes[J]; J = (J + 1) & FMask) {
    size_t Home = FHashes[J] & FMask;
    bool Reachable = I <= J ? (Home > I && Home <= J) : (Home > I || Home <= J);
    if (Reachable) continue;
    FNodes[I] = FNodes[J];
    FHashes[I] = FHashes[J];
    FNodes[J] = nullptr;
    I = J;
  }
}

void TNodeIndex::Clear() {
  FNodes.reset();
  FHashes.reset();
  FMask = 0;
  FCount = 0;
  FBuilt = false;
}

}  // namespace nxs::detail
