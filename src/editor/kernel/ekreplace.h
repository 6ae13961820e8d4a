// A set of replacements made in one pass (ReplaceAll): what the text buffer applies as one
// change, the undo history keeps as one record and the watchers follow in one call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nxs::ek {

struct TReplacements {
  struct TItem {
    uint64_t Pos = 0;  // where the replaced text starts, in the text before
    uint32_t OldLen = 0, NewLen = 0;
  };
  std::vector<TItem> Items;  // in order, none overlapping
  std::string Old;           // the replaced bytes, item after item
  std::string New;           // the replacing bytes, item after item

  // Turns the set into the one that takes it back.
  void Invert() {
    int64_t Growth = 0;
    for (TItem& I : Items) {
      I.Pos = static_cast<uint64_t>(static_cast<int64_t>(I.Pos) + Growth);
      Growth += static_cast<int64_t>(I.NewLen) - static_cast<int64_t>(I.OldLen);
      std::swap(I.OldLen, I.NewLen);
    }
    Old.swap(New);
  }
  size_t MemoryUse() const { return Items.capacity() * sizeof(TItem) + Old.capacity() + New.capacity(); }
};

}  // namespace nxs::ek
