// Tables made from the operation list and the command map: argument sizes, names, lookup by
// command-map name, and the scripts that carry out command-map commands.
#include "editor/kernel/ek.h"

#include <array>

#include "shared/text.h"

namespace nxs {

namespace {

struct TOpInfo {
  int ArgSize = -1;
  std::string_view Name;
};

constexpr std::array<TOpInfo, 256> MakeOpTable() {
  std::array<TOpInfo, 256> Table{};
#define EK_OP(Name, Code, Args) Table[Code] = TOpInfo{static_cast<int>(EkArgSize<Args>), #Name};
#include "editor/kernel/ekops.def"
#undef EK_OP
  return Table;
}

constexpr std::array<TOpInfo, 256> OpTable = MakeOpTable();

}  // namespace

int EkArgumentSize(uint8_t Op) { return OpTable[Op].ArgSize; }

std::string_view EkOpName(uint8_t Op) { return OpTable[Op].Name; }

const std::vector<TEkCommandMapEntry>& EkCommandMap() {
  static const std::vector<TEkCommandMapEntry> Map = {
#define EK_CMD(Name, Class, Code) \
  {#Name, TEkCommandRef{Class, Code, static_cast<int16_t>((Class) == 0x0C ? -1 : 0)}},
#include "editor/kernel/ekcmdmap.def"
#undef EK_CMD
  };
  return Map;
}

std::optional<TEkCommandRef> EkFindCommand(std::string_view Name) {
  for (const TEkCommandMapEntry& E : EkCommandMap())
    if (SameText(E.Name, Name)) return E.Ref;
  return std::nullopt;
}

bool TEkScript::AddMapCommand(const TEkCommandRef& Ref) {
  switch (Ref.Class) {
    case 0x02:
    case 0x03:
      if (EkArgumentSize(static_cast<uint8_t>(Ref.Code)) != 0 || Ref.Code > 0xFF) return false;
      Add(static_cast<TEkOp>(Ref.Code));
      return true;
    case 0x04:
      Add(ekSkip, TSkipArgs{static_cast<uint8_t>(Ref.Code)});
      return true;
    case 0x05:
      Add(ekSetUndoGroup, TUndoGroupArgs{static_cast<uint8_t>(Ref.Code)});
      Add(ekStartUndoGroup);
      return true;
    case 0x06:
      Add(ekMarkOp, TMarkOpArgs{static_cast<uint8_t>(Ref.Code)});
      return true;
    case 0x07:
      // The bookmark number is the caller's to add; the command alone works on bookmark 0.
      Add(Ref.Code == 0x2A ? ekMoveToMark : ekSetMark, TMarkArgs{0});
      return true;
    case 0x08:
      Add(ekQuery, TQueryArgs{static_cast<uint8_t>(Ref.Code), 1, nullptr});
      return true;
    case 0x09:
      Add(ekQuery, TQueryArgs{static_cast<uint8_t>(qInclusiveBlock + Ref.Code), 1, nullptr});
      return true;
    case 0x0A:
      Add(ekQuery, TQueryArgs{qCursorOnChar, 1, nullptr});
      return true;
    case 0x0C:
      switch (Ref.Code) {
        case 1: Add(ekDeleteBlock, TDeleteBlockArgs{0}); return true;
        case 2: Add(ekDeleteBlock, TDeleteBlockArgs{1}); return true;
        case 3: case 4: case 5: case 6:
          Add(ekSetBlockType, TBlockTypeArgs{static_cast<uint8_t>(Ref.Code - 3)});
          return true;
        case 7: Add(ekUndo); return true;
        case 8: Add(ekRedo); return true;
        case 9: Add(ekBackTab); return true;
        case 0xA: Add(ekForeTab); return true;
      }
      return false;
    case 0x0D:
      Add(ekIndentBlock, TIndentArgs{static_cast<uint8_t>(Ref.Code != 0), 0});
      return true;
    case 0x12:
      Add(ekSetModes, TModesArgs{Ref.Code, Ref.Code});
      return true;
    case 0x13:
      Add(ekToggleModes, TModesArgs{Ref.Code, 0});
      return true;
    case 0x17:
      Add(ekMatchPair, TMatchPairArgs{static_cast<uint8_t>(Ref.Code != 0)});
      return true;
  }
  return false;
}

}  // namespace nxs
