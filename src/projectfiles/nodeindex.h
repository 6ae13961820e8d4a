// An index of child nodes by a key the owner computes from each node (a property's name and
// condition, an item's include and condition): open addressing over the hash codes, so a
// group of a hundred thousand items costs a few bytes per item and no allocation per item.
// The owner builds it on the first lookup and keeps it up to date from then on, so that a
// document that is only read and written never pays for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace nxs {

class TNode;

namespace detail {

class TNodeIndex {
 public:
  TNodeIndex() = default;
  TNodeIndex(const TNodeIndex&) = delete;  // refers to one owner's children
  TNodeIndex& operator=(const TNodeIndex&) = delete;

  void Insert(TNode* Node, size_t Hash);
  // Removes Node, which was inserted with Hash (found by a full scan if its key changed
  // without the index hearing of it).
  void Erase(TNode* Node, size_t Hash);
  // Empties the index; it is not built any more.
  void Clear();
  size_t Size() const { return FCount; }
  bool Built() const { return FBuilt; }
  void MarkBuilt() { FBuilt = true; }

  // Calls Visit(Node) for every node inserted with Hash, until it returns true; returns
  // that node or null.
  template <class TVisit>
  TNode* Find(size_t Hash, TVisit&& Visit) const {
    if (!FCount) return nullptr;
    uint32_t Short = static_cast<uint32_t>(Hash);
    for (size_t I = Short & FMask; FNodes[I]; I = (I + 1) & FMask)
      if (FHashes[I] == Short && Visit(FNodes[I])) return FNodes[I];
    return nullptr;
  }

 private:
  void Grow();
  void Place(TNode* Node, uint32_t Short);
  void RemoveAt(size_t I);

  std::unique_ptr<TNode*[]> FNodes;
  std::unique_ptr<uint32_t[]> FHashes;
  size_t FMask = 0;
  size_t FCount = 0;
  bool FBuilt = false;
};

}  // namespace detail
}  // namespace nxs
