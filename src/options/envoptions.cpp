#include "options/envoptions.h"

#include <algorithm>

#include "options/resstrings.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

std::string SpeedSettingName(int64_t Value) {
  switch (Value & 0x7F) {
    case 1: return res::SSpeedClassic;
    case 2: return res::SSpeedBrief;
    case 3: return res::SSpeedEpsilon;
    case 4: return res::SSpeedVisualStudio;
    case 5: return res::SSpeedVisualBasic;
    default: return res::SSpeedDefault;
  }
}

// Older versions stored the speed setting as a number; the name replaces it for good.
static void MigrateSpeedSetting(TOptionSet& Set, TSettingsStore& Store) {
  TSettingsStore::TValueType Type;
  const char* Name = res::opt::EditorSpeedSetting;
  if (!Store.GetValueType(Set.KeyPath(), Name, Type) || Type != TSettingsStore::TValueType::Integer) return;
  std::string Speed = SpeedSettingName(Store.ReadInteger(Set.KeyPath(), Name, 0));
  TSettingsUpdate Batch(Store);
  Store.DeleteValue(Set.KeyPath(), Name);
  Store.WriteString(Set.KeyPath(), Name, Speed);
}

TEnvironmentOptions::TEnvironmentOptions(TSettingsStore& Store) : FStore(Store), FHistoryLists(Store) {
  TOptionTableHooks Hooks;
  Hooks.ValidateExtensions = [this](int Group, std::string_view List) { FGroups->ValidateExtensions(Group, List); };
  Hooks.ExtensionsChanged = [this] { FGroups->InvalidateChoice(); };
  FSets = MakeBuiltInOptionSets(Hooks);
  FSets.EditorOptions->BeforeLoad = MigrateSpeedSetting;
  FGroups = std::make_unique<TSourceOptionGroups>(*FSets.EditorSourceOptions, FStore);
}

TEnvironmentOptions::~TEnvironmentOptions() = default;

std::vector<TOptionSet*> TEnvironmentOptions::Sets() const {
  std::vector<TOptionSet*> All = {
      FSets.EditorAttributes.get(), FSets.EditorOptions.get(),       FSets.AutoSave.get(),
      FSets.Debugging.get(),        FSets.Compiling.get(),           FSets.Repository.get(),
      FSets.CodeInsight.get(),      FSets.SearchOptions.get(),       FSets.ReplaceOptions.get(),
      FSets.EditorSourceOptions.get(), FSets.StartupOptions.get(),   FSets.GlobalOptions.get(),
      FSets.ProjectManagerOptions.get(), FSets.AutoRecoverOptions.get(),
  };
  for (const auto& A : FAddIns) All.push_back(A.get());
  return All;
}

TOptionSet* TEnvironmentOptions::FindSet(std::string_view KeyPath, int& SubKey) const {
  std::string Key(KeyPath);
  while (!Key.empty() && (Key.back() == '\\' || Key.back() == '/')) Key.pop_back();
  std::replace(Key.begin(), Key.end(), '/', '\\');
  SubKey = -1;
  for (TOptionSet* S : Sets()) {
    if (SameText(S->KeyPath(), Key)) {
      SubKey = S->HasSubKeys() ? -1 : 0;
      return S;
    }
    if (!S->HasSubKeys() || Key.size() <= S->KeyPath().size() + 1 || !StartsText(S->KeyPath() + "\\", Key)) continue;
    int I = S->IndexOfSubKey(std::string_view(Key).substr(S->KeyPath().size() + 1));
    if (I >= 0) {
      SubKey = I;
      return S;
    }
  }
  return nullptr;
}

void TEnvironmentOptions::LoadSet(TOptionSet& Set) {
  if (&Set == FSets.EditorSourceOptions.get()) {
    if (Set.BeforeLoad) Set.BeforeLoad(Set, FStore);
    FGroups->LoadEditorSourceOptions();
    Set.SetModified(false);
    if (Set.AfterLoad) Set.AfterLoad(Set, FStore);
    return;
  }
  Set.Load(FStore);
}

void TEnvironmentOptions::LoadOptions() {
  for (TOptionSet* S : Sets()) LoadSet(*S);
  FHistoryLists.Load();
  FModified = false;
  Notify(nullptr, 0, {});
}

void TEnvironmentOptions::SaveOptions() {
  TSettingsUpdate Batch(FStore);
  for (TOptionSet* S : Sets()) {
    if (S != FSets.EditorSourceOptions.get()) {
      S->Save(FStore);
      continue;
    }
    FGroups->Save();
    S->SetModified(false);
    if (S->AfterSave) S->AfterSave(*S, FStore);
  }
  FHistoryLists.Save();
  FModified = false;
}

bool TEnvironmentOptions::GetIsModified() const {
  if (FModified) return true;
  for (TOptionSet* S : Sets())
    if (S->Modified()) return true;
  return false;
}

void TEnvironmentOptions::SendModified() { Notify(nullptr, 0, {}); }

void TEnvironmentOptions::Notify(TOptionSet* Set, int SubKey, std::string_view Name) {
  if (FUpdateCount > 0) {
    FPendingNotify = true;
    return;
  }
  TEvOptionsChanged Args;
  Args.Set = Set;
  Args.SubKey = SubKey;
  Args.OptionName = Name;
  FOnChange.Send(Args);
}

void TEnvironmentOptions::BeginUpdate() { ++FUpdateCount; }

void TEnvironmentOptions::EndUpdate() {
  if (FUpdateCount == 0 || --FUpdateCount > 0 || !FPendingNotify) return;
  FPendingNotify = false;
  Notify(nullptr, 0, {});
}

void TEnvironmentOptions::SetOption(TOptionSet& Set, int SubKey, std::string_view Name, const TOptionValue& Value) {
  if (!Set.SetValueAt(SubKey, Name, Value)) return;
  FModified = true;
  Notify(&Set, SubKey, Name);
}

void TEnvironmentOptions::StoreOption(TOptionSet& Set, int SubKey, std::string_view Name) {
  Set.SaveValue(FStore, SubKey, Name);
}

void TEnvironmentOptions::SetAndStoreOption(TOptionSet& Set, int SubKey, std::string_view Name,
                                            const TOptionValue& Value) {
  FStore.Locked([&] {
    Set.ReloadStoredValue(FStore, Name);
    SetOption(Set, SubKey, Name, Value);
    StoreOption(Set, SubKey, Name);
  });
}

void TEnvironmentOptions::SetOptionFromText(std::string_view KeyPath, std::string_view Name, std::string_view Text) {
  int SubKey;
  TOptionSet* Set = FindSet(KeyPath, SubKey);
  if (!Set || SubKey < 0) throw Exception(Format(res::SUnknownOptionKey, KeyPath));
  const TOptionField* Field = Set->FindField(Name);
  if (!Field) throw Exception(Format(res::SUnknownOption, Name, Set->SlotKeyPath(SubKey)));
  const TOptionValue Value = Set->ParseValue(*Field, Text);
  // Refused here, nothing is written; checked again under the lock as it is stored, and
  // nothing else is written unless it passes.
  SetOption(*Set, SubKey, Field->Name, Value);
  FStore.Locked([&] {
    if (FGroups->BuiltInsUnsaved() && !FStore.ReadSubKeys(res::KeySourceOptions).empty()) {
      // Another process wrote its groups since this one found none: those are the groups,
      // not the built-in ones made here.
      const std::string Slot = Set == FSets.EditorSourceOptions.get() ? Set->SubKeys()[SubKey] : std::string();
      LoadSet(*FSets.EditorSourceOptions);
      if (!Slot.empty() && (SubKey = Set->IndexOfSubKey(Slot)) < 0)
        throw Exception(Format(res::SUnknownOptionKey, KeyPath));
    }
    SetAndStoreOption(*Set, SubKey, Field->Name, Value);
    if (FGroups->BuiltInsUnsaved()) FGroups->Save();
  });
}

std::unique_ptr<TEnvironmentOptions> LoadStoredOptions(TSettingsStore& Store) {
  if (std::string Error = Store.ReadError(); !Error.empty()) throw Exception(Error);
  auto Options = std::make_unique<TEnvironmentOptions>(Store);
  Options->SourceOptionGroups().WriteBuiltIns = false;
  Options->LoadOptions();
  return Options;
}

namespace {

// The flags that the search and the replace options both hold, each under its option's name.
struct TFlagOption {
  TSearchFlag Flag;
  std::string_view Name;
};
const TFlagOption kCommonFlagOptions[] = {
    {sfCase, res::opt::CaseSensitive},     {sfWord, res::opt::WholeWords}, {sfRegExp, res::opt::RegularExpression},
    {sfGoForward, res::opt::SearchForward}, {sfFromCursor, res::opt::FromCursor}, {sfWholeFile, res::opt::Global},
};

TSearchFlags ReadCommonFlags(const TOptionSet& S) {
  TSearchFlags F;
  for (const auto& O : kCommonFlagOptions) F.Set(O.Flag, S.GetBool(O.Name));
  return F;
}

void WriteCommonFlags(TEnvironmentOptions& Options, TOptionSet& S, TSearchFlags Flags) {
  for (const auto& O : kCommonFlagOptions) Options.SetOption(S, 0, O.Name, Flags.Contains(O.Flag));
}

}  // namespace

TSearchFlags TEnvironmentOptions::GetSearchFlags() const {
  TSearchFlags F = ReadCommonFlags(*FSets.SearchOptions);
  F.Set(sfWrapAround, FSets.SearchOptions->GetBool(res::opt::WrapAround));
  return F;
}

void TEnvironmentOptions::SetSearchFlags(TSearchFlags Flags) {
  BeginUpdate();
  WriteCommonFlags(*this, *FSets.SearchOptions, Flags);
  SetOption(*FSets.SearchOptions, 0, res::opt::WrapAround, Flags.Contains(sfWrapAround));
  EndUpdate();
}

TSearchFlags TEnvironmentOptions::GetReplaceFlags() const {
  TSearchFlags F = ReadCommonFlags(*FSets.ReplaceOptions);
  F.Set(sfNoPrompting, !FSets.ReplaceOptions->GetBool(res::opt::PromptOnReplace));
  return F;
}

void TEnvironmentOptions::SetReplaceFlags(TSearchFlags Flags) {
  BeginUpdate();
  WriteCommonFlags(*this, *FSets.ReplaceOptions, Flags);
  SetOption(*FSets.ReplaceOptions, 0, res::opt::PromptOnReplace, !Flags.Contains(sfNoPrompting));
  EndUpdate();
}

const TTabStops* TEnvironmentOptions::GetTabRackPtr() {
  auto Rack = FGroups->GetTabRack();
  if (!Rack) return nullptr;
  FTabRack = std::move(*Rack);
  return &FTabRack;
}

void TEnvironmentOptions::RegisterAddInOptions(std::shared_ptr<TOptionSet> Options) {
  if (!Options) return;
  for (TOptionSet* S : Sets())
    if (SameText(S->KeyPath(), Options->KeyPath()))
      throw Exception(Format(res::SAddInOptionsRegistered, Options->KeyPath()));
  Options->Load(FStore);
  FAddIns.push_back(std::move(Options));
}

void TEnvironmentOptions::UnregisterAddInOptions(const TOptionSet* Options) {
  std::erase_if(FAddIns, [&](const std::shared_ptr<TOptionSet>& A) { return A.get() == Options; });
}

static std::unique_ptr<TEnvironmentOptions>& Instance() {
  static std::unique_ptr<TEnvironmentOptions> Options;
  return Options;
}

TEnvironmentOptions& EnvironmentOptions() {
  auto& I = Instance();
  if (!I) {
    I = std::make_unique<TEnvironmentOptions>(SettingsStore());
    I->LoadOptions();
  }
  return *I;
}

void ResetEnvironmentOptions() { Instance().reset(); }

}  // namespace nxs
