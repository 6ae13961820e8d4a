#include "modules/inifile.h"

#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

TSettingsStore& TSettingsIniFile::Store() const { return FFixed ? *FFixed : SettingsStore(); }

std::string TSettingsIniFile::ReadString(std::string_view Section, std::string_view Ident, std::string_view Default) {
  TSettingsStore::TValueType Type;
  if (!Store().GetValueType(Section, Ident, Type)) return std::string(Default);
  switch (Type) {
    case TSettingsStore::TValueType::Integer: return IntToStr(Store().ReadInteger(Section, Ident, 0));
    case TSettingsStore::TValueType::Boolean: return Store().ReadBool(Section, Ident, false) ? "1" : "0";
    case TSettingsStore::TValueType::String: break;
  }
  return Store().ReadString(Section, Ident, Default);
}

int64_t TSettingsIniFile::ReadInteger(std::string_view Section, std::string_view Ident, int64_t Default) {
  TSettingsStore::TValueType Type;
  if (!Store().GetValueType(Section, Ident, Type)) return Default;
  if (Type == TSettingsStore::TValueType::Integer) return Store().ReadInteger(Section, Ident, Default);
  if (Type == TSettingsStore::TValueType::String) return StrToIntDef(Trim(Store().ReadString(Section, Ident)), Default);
  return Default;
}

void TSettingsIniFile::WriteString(std::string_view Section, std::string_view Ident, std::string_view Value) {
  Store().WriteString(Section, Ident, Value);
}

void TSettingsIniFile::WriteInteger(std::string_view Section, std::string_view Ident, int64_t Value) {
  Store().WriteInteger(Section, Ident, Value);
}

std::vector<std::string> TSettingsIniFile::ReadSection(std::string_view Section) {
  return Store().ReadValueNames(Section);
}

void TSettingsIniFile::EraseSection(std::string_view Section) { Store().EraseSection(Section); }
void TSettingsIniFile::BeginUpdate() { Store().BeginUpdate(); }
void TSettingsIniFile::EndUpdate() { Store().EndUpdate(); }
void TSettingsIniFile::Locked(const std::function<void()>& Fn) { Store().Locked(Fn); }

}  // namespace nxs
