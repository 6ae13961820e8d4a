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
  {#Name, TEkCommandRef{Class, Code, static_cast<int16_t>((Class) == ccOperation ? -1 : 0)}},
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
  const auto Code8 = static_cast<uint8_t>(Ref.Code);
  // Every class is handled below (the compiler checks it); a number no class has falls out.
  switch (static_cast<TEkCommandClass>(Ref.Class)) {
    case ccEdit:
    case ccMotion:
      if (EkArgumentSize(Code8) != 0 || Ref.Code > 0xFF) return false;
      Add(static_cast<TEkOp>(Code8));
      return true;
    case ccSkip:
      Add(ekSkip, TSkipArgs{Code8});
      return true;
    case ccUndoGroup:
      Add(ekSetUndoGroup, TUndoGroupArgs{Code8});
      Add(ekStartUndoGroup);
      return true;
    case ccMarkOp:
      Add(ekMarkOp, TMarkOpArgs{Code8});
      return true;
    case ccBookmark:
      // The bookmark number is the caller's to add; the command alone works on bookmark 0.
      Add(Ref.Code == ekMoveToMark ? ekMoveToMark : ekSetMark, TMarkArgs{0});
      return true;
    case ccQuery:
      Add(ekQuery, TQueryArgs{Code8, 1, nullptr});
      return true;
    case ccBlockQuery:
      Add(ekQuery, TQueryArgs{static_cast<uint8_t>(qInclusiveBlock + Ref.Code), 1, nullptr});
      return true;
    case ccCharQuery:
      Add(ekQuery, TQueryArgs{qCursorOnChar, 1, nullptr});
      return true;
    case ccOperation:
      switch (static_cast<TEkMapOperation>(Code8)) {
        case mpDeleteBlock: Add(ekDeleteBlock, TDeleteBlockArgs{0}); return true;
        case mpDeleteTempBlock: Add(ekDeleteBlock, TDeleteBlockArgs{1}); return true;
        case mpSetInclusiveBlock:
        case mpSetLineBlock:
        case mpSetColumnBlock:
        case mpSetNonInclusiveBlock:
          Add(ekSetBlockType, TBlockTypeArgs{static_cast<uint8_t>(Code8 - mpSetInclusiveBlock)});
          return true;
        case mpUndo: Add(ekUndo); return true;
        case mpRedo: Add(ekRedo); return true;
        case mpBackTab: Add(ekBackTab); return true;
        case mpForeTab: Add(ekForeTab); return true;
      }
      return false;
    case ccIndent:
      Add(ekIndentBlock, TIndentArgs{static_cast<uint8_t>(Ref.Code == icOutdent), 0});
      return true;
    case ccSetModes:
      Add(ekSetModes, TModesArgs{Ref.Code, Ref.Code});
      return true;
    case ccToggleModes:
      Add(ekToggleModes, TModesArgs{Ref.Code, 0});
      return true;
    case ccMatchPair:
      Add(ekMatchPair, TMatchPairArgs{static_cast<uint8_t>(Ref.Code == pdForward)});
      return true;
  }
  return false;
}

}  // namespace nxs
