#include "options/optionset.h"

#include <array>
#include <cassert>
#include <cstdio>

#include "options/resstrings.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

TOptionField BoolOption(std::string Name, bool Default) {
  TOptionField F;
  F.Name = std::move(Name);
  F.Type = TOptionType::Boolean;
  F.Default = Default;
  return F;
}

TOptionField IntOption(std::string Name, int64_t Default, int64_t Min, int64_t Max) {
  TOptionField F;
  F.Name = std::move(Name);
  F.Type = TOptionType::Integer;
  F.Default = Default;
  F.HasRange = true;
  F.Min = Min;
  F.Max = Max;
  return F;
}

TOptionField StrOption(std::string Name, std::string Default) {
  TOptionField F;
  F.Name = std::move(Name);
  F.Type = TOptionType::String;
  F.Default = std::move(Default);
  return F;
}

TOptionField ColorOption(std::string Name, int64_t Default) {
  TOptionField F;
  F.Name = std::move(Name);
  F.Type = TOptionType::Color;
  F.Default = Default;
  return F;
}

TOptionField EnumOption(std::string Name, int64_t Default, std::vector<std::string> Names) {
  TOptionField F;
  F.Name = std::move(Name);
  F.Type = TOptionType::Enum;
  F.Default = Default;
  F.HasRange = true;
  F.Min = 0;
  F.Max = static_cast<int64_t>(Names.size()) - 1;
  F.EnumNames = std::move(Names);
  return F;
}

namespace {

struct TColorName {
  const char* Name;
  int64_t Value;
};

// Colours are 0x00BBGGRR; system colours have the top byte 0xFF and read as negative.
constexpr std::array<TColorName, 18> ColorNames = {{
    {"clBlack", 0x000000},  {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000},   {"clPurple", 0x800080}, {"clTeal", 0x808000},  {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},    {"clLime", 0x00FF00},  {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},   {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
    {"clNone", 0x1FFFFFFF}, {"clDefault", 0x20000000},
}};

constexpr int64_t ColorMin = INT32_MIN;
constexpr int64_t ColorMax = INT32_MAX;

}  // namespace

std::string ColorToString(int64_t Color) {
  for (const auto& C : ColorNames)
    if (C.Value == Color) return C.Name;
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "$%.8X", static_cast<unsigned>(static_cast<uint32_t>(Color)));
  return Buf;
}

bool TryStringToColor(std::string_view Text, int64_t& Color) {
  std::string T = Trim(Text);
  for (const auto& C : ColorNames)
    if (SameText(C.Name, T)) {
      Color = C.Value;
      return true;
    }
  auto N = TryStrToInt(T);
  if (!N) return false;
  // "$FF00000F" is a system colour: the hexadecimal forms name the 32-bit pattern.
  int64_t V = *N;
  if (V > ColorMax && V <= static_cast<int64_t>(UINT32_MAX) && (T[0] == '$' || StartsText("0x", T)))
    V = static_cast<int32_t>(static_cast<uint32_t>(V));
  if (V < ColorMin || V > ColorMax) return false;
  Color = V;
  return true;
}

TOptionSet::TOptionSet(std::string Name, std::string KeyPath, std::vector<TOptionField> Fields, bool ThreadSafe)
    : FName(std::move(Name)), FKeyPath(std::move(KeyPath)), FFields(std::move(Fields)), FThreadSafe(ThreadSafe) {
  for (auto& F : FFields)
    if (F.Label.empty()) F.Label = F.Name;
  FSlots.push_back(DefaultSlot());
}

std::unique_lock<std::mutex> TOptionSet::Guard() const {
  return FThreadSafe ? std::unique_lock<std::mutex>(FMutex) : std::unique_lock<std::mutex>();
}

TOptionSet::TSlot TOptionSet::DefaultSlot() const {
  TSlot S;
  for (const auto& F : FFields) S.Values.push_back(F.Default);
  S.Stored.assign(FFields.size(), false);
  S.InStore.assign(FFields.size(), std::nullopt);
  return S;
}

const TOptionField* TOptionSet::FindField(std::string_view Name) const {
  int I = IndexOfField(Name);
  return I < 0 ? nullptr : &FFields[I];
}

int TOptionSet::IndexOfField(std::string_view Name) const {
  for (size_t I = 0; I < FFields.size(); ++I)
    if (SameText(FFields[I].Name, Name)) return static_cast<int>(I);
  return -1;
}

int TOptionSet::CheckedField(std::string_view Name) const {
  int I = IndexOfField(Name);
  if (I < 0) throw Exception(Format(res::SUnknownOption, Name, FKeyPath));
  return I;
}

void TOptionSet::SetHasSubKeys(bool Value) {
  auto L = Guard();
  FHasSubKeys = Value;
  FSubKeys.clear();
  FSlots.clear();
  if (!Value) FSlots.push_back(DefaultSlot());
  FKeyIndex = 0;
}

int TOptionSet::SubKeyCount() const { return FHasSubKeys ? static_cast<int>(FSubKeys.size()) : 1; }

int TOptionSet::IndexOfSubKey(std::string_view SubKey) const {
  for (size_t I = 0; I < FSubKeys.size(); ++I)
    if (SameText(FSubKeys[I], SubKey)) return static_cast<int>(I);
  return -1;
}

int TOptionSet::AddSubKey(const std::string& SubKey) {
  assert(FHasSubKeys && "only a set stored per subkey takes subkeys");
  auto L = Guard();
  FSubKeys.push_back(SubKey);
  FSlots.push_back(DefaultSlot());
  return static_cast<int>(FSubKeys.size()) - 1;
}

void TOptionSet::DeleteSubKey(int Index) {
  auto L = Guard();
  if (!FHasSubKeys || Index < 0 || Index >= static_cast<int>(FSubKeys.size())) return;
  FSubKeys.erase(FSubKeys.begin() + Index);
  FSlots.erase(FSlots.begin() + Index);
  if (FKeyIndex >= static_cast<int>(FSubKeys.size())) FKeyIndex = FSubKeys.empty() ? 0 : static_cast<int>(FSubKeys.size()) - 1;
  else if (FKeyIndex > Index) --FKeyIndex;
}

void TOptionSet::ClearSubKeys() {
  auto L = Guard();
  if (!FHasSubKeys) return;
  FSubKeys.clear();
  FSlots.clear();
  FKeyIndex = 0;
}

void TOptionSet::SetKeyIndex(int Index) {
  auto L = Guard();
  if (Index >= 0 && Index < static_cast<int>(FSlots.size())) FKeyIndex = Index;
}

std::string TOptionSet::SlotKeyPath(int SubKey) const {
  if (!FHasSubKeys) return FKeyPath;
  if (SubKey < 0 || SubKey >= static_cast<int>(FSubKeys.size())) return FKeyPath;
  return FKeyPath.empty() ? FSubKeys[SubKey] : FKeyPath + "\\" + FSubKeys[SubKey];
}

void TOptionSet::CheckSlot(int SubKey) const {
  if (SubKey < 0 || SubKey >= static_cast<int>(FSlots.size()))
    throw Exception(Format(res::SUnknownOptionKey, FKeyPath + "\\?"));
}

// A slot that does not exist reads as the defaults: a set stored per subkey may have none.
TOptionValue TOptionSet::ValueAt(int SubKey, std::string_view Name) const {
  int F = CheckedField(Name);
  auto L = Guard();
  if (SubKey < 0 || SubKey >= static_cast<int>(FSlots.size())) return FFields[F].Default;
  return FSlots[SubKey].Values[F];
}

bool TOptionSet::IsStored(int SubKey, std::string_view Name) const {
  int F = CheckedField(Name);
  auto L = Guard();
  if (SubKey < 0 || SubKey >= static_cast<int>(FSlots.size())) return false;
  return FSlots[SubKey].Stored[F];
}

bool TOptionSet::GetBool(std::string_view Name) const { return GetBoolAt(FKeyIndex, Name); }
int64_t TOptionSet::GetInt(std::string_view Name) const { return GetIntAt(FKeyIndex, Name); }
std::string TOptionSet::GetStr(std::string_view Name) const { return GetStrAt(FKeyIndex, Name); }

bool TOptionSet::GetBoolAt(int SubKey, std::string_view Name) const {
  TOptionValue V = ValueAt(SubKey, Name);
  const bool* B = std::get_if<bool>(&V);
  assert(B && "option read with the wrong type");
  return B && *B;
}

int64_t TOptionSet::GetIntAt(int SubKey, std::string_view Name) const {
  TOptionValue V = ValueAt(SubKey, Name);
  const int64_t* I = std::get_if<int64_t>(&V);
  assert(I && "option read with the wrong type");
  return I ? *I : 0;
}

std::string TOptionSet::GetStrAt(int SubKey, std::string_view Name) const {
  TOptionValue V = ValueAt(SubKey, Name);
  const std::string* S = std::get_if<std::string>(&V);
  assert(S && "option read with the wrong type");
  return S ? *S : std::string();
}

static std::string EnumNameList(const TOptionField& Field) {
  return Join(Field.EnumNames, ", ");
}

void TOptionSet::CheckValue(const TOptionField& Field, int SubKey, const TOptionValue& Value) const {
  switch (Field.Type) {
    case TOptionType::Boolean:
      if (!std::holds_alternative<bool>(Value)) throw Exception(Format(res::SOptionBoolean, Field.Name));
      break;
    case TOptionType::String:
      if (!std::holds_alternative<std::string>(Value)) throw Exception(Format(res::SOptionString, Field.Name));
      break;
    case TOptionType::Integer:
    case TOptionType::Enum:
    case TOptionType::Color: {
      const int64_t* I = std::get_if<int64_t>(&Value);
      if (Field.Type == TOptionType::Color) {
        if (!I || *I < ColorMin || *I > ColorMax) throw Exception(Format(res::SOptionColor, Field.Name));
        break;
      }
      bool InRange = I && (!Field.HasRange || (*I >= Field.Min && *I <= Field.Max));
      if (InRange) break;
      if (Field.Type == TOptionType::Enum)
        throw Exception(Format(res::SOptionEnum, Field.Name, Field.Min, Field.Max, EnumNameList(Field)));
      throw Exception(Format(res::SOptionIntegerRange, Field.Name, Field.Min, Field.Max));
    }
  }
  if (Field.Validate) Field.Validate(*this, SubKey, Value);
}

bool TOptionSet::SetValueAt(int SubKey, std::string_view Name, const TOptionValue& Value) {
  int F = CheckedField(Name);
  CheckSlot(SubKey);
  const TOptionField& Field = FFields[F];
  CheckValue(Field, SubKey, Value);
  {
    auto L = Guard();
    TSlot& S = FSlots[SubKey];
    bool Same = S.Values[F] == Value && S.Stored[F];
    S.Values[F] = Value;
    S.Stored[F] = true;
    if (Same) return false;
    FModified = true;
  }
  if (Field.OnChange) Field.OnChange(*this, SubKey, Field);
  return true;
}

void TOptionSet::AssignAt(int SubKey, std::string_view Name, const TOptionValue& Value) {
  int F = CheckedField(Name);
  CheckSlot(SubKey);
  auto L = Guard();
  FSlots[SubKey].Values[F] = Value;
  FSlots[SubKey].Stored[F] = true;
}

TOptionValue TOptionSet::ParseValue(const TOptionField& Field, std::string_view Text) const {
  switch (Field.Type) {
    case TOptionType::Boolean:
      if (SameText(Text, "True") || Text == "1") return true;
      if (SameText(Text, "False") || Text == "0") return false;
      throw Exception(Format(res::SOptionBoolean, Field.Name));
    case TOptionType::String:
      return std::string(Text);
    case TOptionType::Color: {
      int64_t C;
      if (!TryStringToColor(Text, C)) throw Exception(Format(res::SOptionColor, Field.Name));
      return C;
    }
    case TOptionType::Enum:
      for (size_t I = 0; I < Field.EnumNames.size(); ++I)
        if (SameText(Field.EnumNames[I], Text)) return static_cast<int64_t>(I);
      if (auto N = TryStrToInt(Text)) return *N;
      throw Exception(Format(res::SOptionEnum, Field.Name, Field.Min, Field.Max, EnumNameList(Field)));
    case TOptionType::Integer:
      if (auto N = TryStrToInt(Text)) return *N;
      throw Exception(Format(res::SOptionIntegerRange, Field.Name, Field.Min, Field.Max));
  }
  return std::string(Text);
}

std::string TOptionSet::FormatValue(const TOptionField& Field, const TOptionValue& Value) {
  if (const bool* B = std::get_if<bool>(&Value)) return *B ? "True" : "False";
  if (const std::string* S = std::get_if<std::string>(&Value)) return *S;
  int64_t I = std::get<int64_t>(Value);
  if (Field.Type == TOptionType::Color) return ColorToString(I);
  return IntToStr(I);
}

void TOptionSet::Load(TSettingsStore& Store) {
  if (BeforeLoad) BeforeLoad(*this, Store);
  for (int I = 0; I < static_cast<int>(FSlots.size()); ++I) LoadSlot(Store, I);
  FModified = false;
  if (AfterLoad) AfterLoad(*this, Store);
}

// The stored value of a field; false when there is none the field can take (absent, of
// another type, or out of range).
static bool ReadStored(TSettingsStore& Store, const std::string& Key, const TOptionField& F, TOptionValue& V) {
  TSettingsStore::TValueType Type;
  if (!Store.GetValueType(Key, F.Name, Type)) return false;
  switch (F.Type) {
    case TOptionType::Boolean:
      if (Type != TSettingsStore::TValueType::Boolean) return false;
      V = Store.ReadBool(Key, F.Name, false);
      return true;
    case TOptionType::String:
      if (Type != TSettingsStore::TValueType::String) return false;
      V = Store.ReadString(Key, F.Name);
      return true;
    default: {
      if (Type != TSettingsStore::TValueType::Integer) return false;
      int64_t N = Store.ReadInteger(Key, F.Name, 0);
      bool InRange = F.Type == TOptionType::Color ? N >= ColorMin && N <= ColorMax
                                                   : !F.HasRange || (N >= F.Min && N <= F.Max);
      if (!InRange) return false;
      V = N;
      return true;
    }
  }
}

void TOptionSet::ReloadStoredValue(TSettingsStore& Store, std::string_view Name) {
  int F = CheckedField(Name);
  for (int SubKey = 0; SubKey < static_cast<int>(FSlots.size()); ++SubKey) {
    TOptionValue V;
    if (!ReadStored(Store, SlotKeyPath(SubKey), FFields[F], V)) continue;
    auto L = Guard();
    TSlot& S = FSlots[SubKey];
    // A value changed here and not saved yet stays this process's.
    if (S.Stored[F] && S.InStore[F] != S.Values[F]) continue;
    S.Values[F] = V;
    S.InStore[F] = V;
    S.Stored[F] = true;
  }
}

void TOptionSet::LoadSlot(TSettingsStore& Store, int SubKey) {
  CheckSlot(SubKey);
  std::string Key = SlotKeyPath(SubKey);
  TSlot Fresh = DefaultSlot();
  for (size_t I = 0; I < FFields.size(); ++I) {
    TOptionValue V;
    if (!ReadStored(Store, Key, FFields[I], V)) continue;
    Fresh.InStore[I] = V;
    Fresh.Values[I] = std::move(V);
    Fresh.Stored[I] = true;
  }
  auto L = Guard();
  FSlots[SubKey] = std::move(Fresh);
}

void TOptionSet::Save(TSettingsStore& Store) {
  TSettingsUpdate Batch(Store);
  for (int I = 0; I < static_cast<int>(FSlots.size()); ++I) SaveSlot(Store, I);
  FModified = false;
  if (AfterSave) AfterSave(*this, Store);
}

void TOptionSet::SaveSlot(TSettingsStore& Store, int SubKey) {
  TSettingsUpdate Batch(Store);
  for (size_t F = 0; F < FFields.size(); ++F) {
    bool Changed;
    {
      auto L = Guard();
      const TSlot& S = FSlots[SubKey];
      Changed = S.Stored[F] && S.InStore[F] != S.Values[F];
    }
    if (Changed) SaveValue(Store, SubKey, FFields[F].Name);
  }
}

void TOptionSet::SaveValue(TSettingsStore& Store, int SubKey, std::string_view Name) {
  int F = CheckedField(Name);
  CheckSlot(SubKey);
  std::string Key = SlotKeyPath(SubKey);
  TOptionValue V;
  {
    auto L = Guard();
    V = FSlots[SubKey].Values[F];
    FSlots[SubKey].Stored[F] = true;
    FSlots[SubKey].InStore[F] = V;
  }
  const std::string& N = FFields[F].Name;
  if (const bool* B = std::get_if<bool>(&V)) Store.WriteBool(Key, N, *B);
  else if (const std::string* S = std::get_if<std::string>(&V)) Store.WriteString(Key, N, *S);
  else Store.WriteInteger(Key, N, std::get<int64_t>(V));
}

}  // namespace nxs
