#include "modules/inifile.h"

#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

std::string TSettingsIniFile::ReadString(std::string_view Section, std::string_view Ident, std::string_view Default) {
  TSettingsStore::TValueType Type;
  if (!FStore.GetValueType(Section, Ident, Type)) return std::string(Default);
  switch (Type) {
    case TSettingsStore::TValueType::Integer: return IntToStr(FStore.ReadInteger(Section, Ident, 0));
    case TSettingsStore::TValueType::Boolean: return FStore.ReadBool(Section, Ident, false) ? "1" : "0";
    case TSettingsStore::TValueType::String: break;
  }
  return FStore.ReadString(Section, Ident, Default);
}

int64_t TSettingsIniFile::ReadInteger(std::string_view Section, std::string_view Ident, int64_t Default) {
  TSettingsStore::TValueType Type;
  if (!FStore.GetValueType(Section, Ident, Type)) return Default;
  if (Type == TSettingsStore::TValueType::Integer) return FStore.ReadInteger(Section, Ident, Default);
  if (Type == TSettingsStore::TValueType::String) return StrToIntDef(Trim(FStore.ReadString(Section, Ident)), Default);
  return Default;
}

void TSettingsIniFile::WriteString(std::string_view Section, std::string_view Ident, std::string_view Value) {
  FStore.WriteString(Section, Ident, Value);
}

void TSettingsIniFile::WriteInteger(std::string_view Section, std::string_view Ident, int64_t Value) {
  FStore.WriteInteger(Section, Ident, Value);
}

std::vector<std::string> TSettingsIniFile::ReadSection(std::string_view Section) {
  return FStore.ReadValueNames(Section);
}

void TSettingsIniFile::EraseSection(std::string_view Section) { FStore.EraseSection(Section); }
void TSettingsIniFile::BeginUpdate() { FStore.BeginUpdate(); }
void TSettingsIniFile::EndUpdate() { FStore.EndUpdate(); }

}  // namespace nxs
