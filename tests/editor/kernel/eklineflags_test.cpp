// The chunked line-flag table against a plain map.
#include "editor/kernel/eklineflags.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace nxs::ek {
namespace {

TEST(LineFlagTable, AgreesWithAMapUnderRandomShiftsAndErasures) {
  TLineFlagTable Table;
  std::map<uint64_t, uint32_t> Model;
  std::mt19937 Rng(11);
  for (int Step = 0; Step < 20000; ++Step) {
    uint64_t Line = Rng() % 5000;
    switch (Rng() % 5) {
      case 3: {
        uint32_t Bits = 1 + Rng() % 4;
        Table.Or(Line, Bits);
        Model[Line] |= Bits;
        break;
      }
      case 0:
      case 1: {
        uint32_t Flags = Rng() % 4;
        Table.Set(Line, Flags);
        if (Flags) Model[Line] = Flags;
        else Model.erase(Line);
        break;
      }
      case 2: {
        int64_t Delta = static_cast<int64_t>(Rng() % 7) - 3;
        if (Delta < 0) {
          // Lines removed first, as an edit does.
          uint64_t Last = Line + static_cast<uint64_t>(-Delta) - 1;
          Table.Erase(Line, Last);
          for (auto It = Model.lower_bound(Line); It != Model.end() && It->first <= Last;) It = Model.erase(It);
          Table.Shift(Last + 1, Delta);
          std::map<uint64_t, uint32_t> Moved;
          for (auto [L, F] : Model) Moved[L > Last ? static_cast<uint64_t>(static_cast<int64_t>(L) + Delta) : L] = F;
          Model.swap(Moved);
        } else {
          Table.Shift(Line, Delta);
          std::map<uint64_t, uint32_t> Moved;
          for (auto [L, F] : Model) Moved[L >= Line ? L + static_cast<uint64_t>(Delta) : L] = F;
          Model.swap(Moved);
        }
        break;
      }
      default:
        EXPECT_EQ(Table.Get(Line), Model.count(Line) ? Model[Line] : 0u) << "step " << Step;
    }
  }
  EXPECT_EQ(Table.Size(), Model.size());
  for (auto [L, F] : Model) EXPECT_EQ(Table.Get(L), F);
  Table.ClearBits(1);
  for (auto [L, F] : Model) EXPECT_EQ(Table.Get(L), F & ~1u);
}

}  // namespace
}  // namespace nxs::ek
