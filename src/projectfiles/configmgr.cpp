#include "projectfiles/configmgr.h"

#include <algorithm>
#include <functional>
#include <set>

#include "projectfiles/conditions.h"
#include "projectfiles/msbnodes.h"
#include "projectfiles/names.h"
#include "projectfiles/optionsets.h"
#include "projectfiles/platforms.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/resstrings.h"
#include "projectfiles/xmlio.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs {

static constexpr const char* BaseKey = "Base";
static constexpr const char* FallbackPlatform = "Win32";

// ---- TPlatformList --------------------------------------------------------------------

TPlatformInfo& TPlatformList::Add(const std::string& Name) {
  if (TPlatformInfo* P = GetPlatformInfo(Name)) return *P;
  TPlatformInfo Info;
  Info.Name = Name;
  FItems.push_back(std::move(Info));
  return FItems.back();
}

int TPlatformList::IndexOfName(const std::string& Name) const {
  for (size_t I = 0; I < FItems.size(); ++I)
    if (SameText(FItems[I].Name, Name)) return static_cast<int>(I);
  return -1;
}

TPlatformInfo* TPlatformList::GetPlatformInfo(const std::string& Name) {
  int I = IndexOfName(Name);
  return I < 0 ? nullptr : &FItems[static_cast<size_t>(I)];
}

const TPlatformInfo* TPlatformList::GetPlatformInfo(const std::string& Name) const {
  int I = IndexOfName(Name);
  return I < 0 ? nullptr : &FItems[static_cast<size_t>(I)];
}

std::vector<std::string> TPlatformList::NamesToArray() const {
  std::vector<std::string> R;
  for (const auto& P : FItems) R.push_back(P.Name);
  return R;
}

void TPlatformList::Remove(const std::string& Name) {
  std::erase_if(FItems, [&](const TPlatformInfo& P) { return SameText(P.Name, Name); });
}

void TPlatformList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [](const TPlatformInfo& A, const TPlatformInfo& B) { return CompareText(A.Name, B.Name) < 0; });
}

// ---- construction, paths --------------------------------------------------------------

TBuildConfigurations::TBuildConfigurations(IProjectContext* Project) : FProject(Project) {}

TBuildConfigurations::~TBuildConfigurations() = default;

std::string TBuildConfigurations::ProjectDir() const {
  return FProject ? ExtractFilePath(FProject->GetFileName()) : std::string();
}

std::string TBuildConfigurations::RelativeToProject(const std::string& FileName) const {
  std::string Dir = ProjectDir();
  if (Dir.empty()) return FileName;
  return ToProjectPath(ExtractRelativePath(Dir, FileName));
}

std::string TBuildConfigurations::AbsoluteFromProject(const std::string& Stored) const {
  return ExpandFileName(ToDiskPath(Stored), ProjectDir());
}

std::string TBuildConfigurations::ImportCondition(const std::string& Key, const std::string& StoredPath) {
  return Format("'$(%s)'!='' And ", Key) + Format("Exists('%s')", StoredPath);
}

// ---- the tree -------------------------------------------------------------------------

TBuildConfiguration& TBuildConfigurations::GetBaseConfiguration() {
  if (!FBaseConfiguration) {
    FBaseConfiguration = std::make_unique<TBuildConfiguration>(this, BaseKey, BaseKey, nullptr);
    FBaseConfiguration->FGroupCondition = ValuesCondition(BaseKey);
    Register(*FBaseConfiguration);
  }
  return *FBaseConfiguration;
}

void TBuildConfigurations::Register(TBuildConfiguration& Config) {
  FItems[Config.Key()] = &Config;
  if (FNameIndexValid && Config.Platform().empty() && !Config.IsLocalOverride())
    FNameIndex.try_emplace(Config.Name(), &Config);
}

void TBuildConfigurations::Unregister(TBuildConfiguration& Config) {
  auto It = FItems.find(Config.Key());
  if (It != FItems.end() && It->second == &Config) FItems.erase(It);
  FNameIndexValid = false;
}

std::string TBuildConfigurations::NewKey() {
  std::string Key;
  do {
    Key = Format("Cfg_%d", ++FKeyIndex);
  } while (FItems.count(Key));
  return Key;
}

void TBuildConfigurations::ValidateName(const std::string& Name) const {
  if (Trim(Name).empty()) throw EInvalidName(Format(res::SInvalidName, Name, res::SInvalidNameChars));
  ValidName(Name);
  CheckXmlText(Name);  // the name is written into conditions
  if (GetConfiguration(Name)) throw EDuplicateConfiguration(Format(res::SDuplicateConfiguration, Name));
}

TBuildConfiguration& TBuildConfigurations::MakeChild(TBuildConfiguration& Parent, const std::string& Name,
                                                     const std::string& Key) {
  auto Child = std::make_unique<TBuildConfiguration>(this, Name, Key, &Parent);
  Child->MarkModified();
  Child->FGroupCondition = ValuesCondition(Key);
  TBuildConfiguration* Raw = Parent.AdoptChild(std::move(Child));
  Register(*Raw);
  return *Raw;
}

TBuildConfiguration& TBuildConfigurations::AddConfiguration(const std::string& Name, TBuildConfiguration* Parent) {
  ValidateName(Name);
  if (!Parent) Parent = &GetBaseConfiguration();
  TBuildConfiguration& Config = MakeChild(*Parent, Name, NewKey());
  if (!FLoading) {
    FModified = true;
    for (auto* N : std::vector<IConfigurationNotifier*>(FNotifiers)) N->ItemAdded(Config);
  }
  return Config;
}

std::vector<TBuildConfiguration*> TBuildConfigurations::GetGlobalConfigurations() const {
  std::vector<TBuildConfiguration*> R;
  if (!FBaseConfiguration) return R;
  // Depth first, parents before children, without recursion: a chain may be long.
  std::vector<TBuildConfiguration*> Stack{FBaseConfiguration.get()};
  while (!Stack.empty()) {
    TBuildConfiguration* C = Stack.back();
    Stack.pop_back();
    R.push_back(C);
    for (auto It = C->Children().rbegin(); It != C->Children().rend(); ++It) Stack.push_back(It->get());
  }
  return R;
}

std::vector<std::string> TBuildConfigurations::GetNames() const {
  std::vector<std::string> R;
  for (auto* C : GetGlobalConfigurations()) R.push_back(C->Name());
  return R;
}

TBuildConfiguration* TBuildConfigurations::GetConfiguration(const std::string& Name, const std::string& Platform) const {
  if (!FNameIndexValid) {
    FNameIndex.clear();
    for (auto* C : GetGlobalConfigurations()) FNameIndex.try_emplace(C->Name(), C);
    FNameIndexValid = true;
  }
  auto Found = FNameIndex.find(Name);
  if (Found == FNameIndex.end()) return nullptr;
  TBuildConfiguration* C = Found->second;
  if (Platform.empty()) return C;
  auto It = C->FPlatforms.find(Platform);
  return It == C->FPlatforms.end() ? nullptr : It->second.get();
}

TBuildConfiguration& TBuildConfigurations::Configuration(const std::string& Name, const std::string& Platform) const {
  TBuildConfiguration* C = GetConfiguration(Name, Platform);
  if (!C) throw EUnknownConfiguration(Format(res::SUnknownConfiguration, Platform.empty() ? Name : Name + " " + Platform));
  return *C;
}

TBuildConfiguration* TBuildConfigurations::GetConfigurationByKey(const std::string& Key) const {
  auto It = FItems.find(Key);
  return It == FItems.end() ? nullptr : It->second;
}

TLocalOverride* TBuildConfigurations::GetLocalConfiguration(const std::string& Key, const std::string& FileName) const {
  TBuildConfiguration* C = GetConfigurationByKey(Key);
  return C ? C->GetLocalOverride(FileName) : nullptr;
}

std::vector<TLocalOverride*> TBuildConfigurations::GetLocalConfigurations(const std::string& FileName) const {
  std::vector<TLocalOverride*> R;
  for (auto* C : GetGlobalConfigurations())
    if (TLocalOverride* L = C->GetLocalOverride(FileName)) R.push_back(L);
  return R;
}

void TBuildConfigurations::ForgetGroup(const std::string& Condition) {
  if (Condition.empty()) return;
  if (std::none_of(FStaleGroups.begin(), FStaleGroups.end(), [&](auto& C) { return SameConditionMeaning(C, Condition); }))
    FStaleGroups.push_back(Condition);
}

void TBuildConfigurations::NotifyRemoved(const std::string& Name, const std::string& Key) {
  FModified = true;
  if (FLoading) return;
  for (auto* N : std::vector<IConfigurationNotifier*>(FNotifiers)) N->ItemRemoved(Name, Key);
}

bool TBuildConfigurations::Remove(TBuildConfiguration& Configuration, bool Confirm) {
  if (&Configuration == FBaseConfiguration.get()) throw Exception(res::SCannotRemoveBase);
  if (auto* Local = dynamic_cast<TLocalOverride*>(&Configuration)) {
    Local->Parent()->RemoveOverride(Local->TargetFilename());
    return true;
  }
  if (Confirm && Questions().MessageDlg(Format(res::SDeleteConfiguration, Configuration.Name()),
                                        TMsgDlgType::mtConfirmation, mbYes | mbNo, mrYes) != mrYes)
    return false;
  std::string Name = Configuration.Name();
  std::string Key = Configuration.Key();
  TBuildConfiguration* Parent = Configuration.Parent();
  if (!Configuration.Platform().empty()) {
    ForgetGroup(PlatformDefinitionCondition(Configuration.Platform(), Parent->Key(), Key));
    ForgetGroup(ValuesCondition(Key));
    for (auto* L : Configuration.GetLocalOverrides()) ForgetGroup(L->GroupCondition());
    Unregister(Configuration);
    std::string Platform = Configuration.Platform();  // the configuration goes with the erase
    Parent->FPlatforms.erase(Platform);
    NotifyRemoved(Name, Key);
    return true;
  }
  while (!Configuration.FChildren.empty()) Remove(*Configuration.FChildren.back(), false);
  ForgetGroup(DefinitionCondition(Name, Key));
  ForgetGroup(ValuesCondition(Key));
  for (auto* L : Configuration.GetLocalOverrides()) ForgetGroup(L->GroupCondition());
  for (auto* P : Configuration.Platforms()) {
    ForgetGroup(PlatformDefinitionCondition(P->Platform(), Key, P->Key()));
    ForgetGroup(ValuesCondition(P->Key()));
    for (auto* L : P->GetLocalOverrides()) ForgetGroup(L->GroupCondition());
    Unregister(*P);
  }
  Unregister(Configuration);
  Parent->ReleaseChild(&Configuration);
  if (SameText(FActiveCfg, Name)) {
    auto All = GetGlobalConfigurations();
    FActiveCfg = All.size() > 1 ? All[1]->Name() : std::string(BaseKey);
  }
  NotifyRemoved(Name, Key);
  return true;
}

void TBuildConfigurations::RemoveLocalOverrides(const std::string& FileName) {
  for (auto* C : GetGlobalConfigurations()) {
    C->RemoveOverride(FileName);
    for (auto* P : C->Platforms()) P->RemoveOverride(FileName);
  }
}

void TBuildConfigurations::Rename(TBuildConfiguration& Configuration, const std::string& NewName) {
  if (&Configuration == FBaseConfiguration.get() || !Configuration.Platform().empty() ||
      Configuration.IsLocalOverride())
    throw EInvalidName(Format(res::SInvalidName, NewName, res::SInvalidNameChars));
  std::string OldName = Configuration.Name();
  if (OldName == NewName) return;
  if (!SameText(OldName, NewName)) ValidateName(NewName);
  ValidName(NewName);
  ForgetGroup(DefinitionCondition(OldName, Configuration.Key()));
  Configuration.Rename(NewName);
  FNameIndexValid = false;
  if (SameText(FActiveCfg, OldName)) FActiveCfg = NewName;
  FModified = true;
  for (auto* N : std::vector<IConfigurationNotifier*>(FNotifiers)) N->ItemRenamed(Configuration, OldName);
}

// ---- active configuration and platform ------------------------------------------------

TBuildConfiguration& TBuildConfigurations::GetActiveConfiguration() {
  if (TBuildConfiguration* C = GetConfiguration(FActiveCfg)) return *C;
  auto All = GetGlobalConfigurations();
  if (All.size() > 1) return *All[1];
  return GetBaseConfiguration();
}

void TBuildConfigurations::SetActiveConfiguration(const std::string& Name) {
  TBuildConfiguration& C = Configuration(Name);
  if (FActiveCfg == C.Name()) return;
  FActiveCfg = C.Name();
  FModified = true;
  if (FLoading) return;
  for (auto* N : std::vector<IConfigurationNotifier*>(FNotifiers))
    N->ActiveConfigurationChanged(FActiveCfg, GetActivePlatform());
}

std::string TBuildConfigurations::GetActivePlatform() const {
  std::string Personality = FProject ? FProject->GetPersonality() : std::string();
  if (!FActivePlatform.empty() && PlatformManager().PlatformAvailable(FActivePlatform, Personality))
    return FActivePlatform;
  if (FPlatformList.Contains(FallbackPlatform)) return FallbackPlatform;
  for (const auto& P : FPlatformList.Items())
    if (P.Enabled) return P.Name;
  return FActivePlatform.empty() ? std::string(FallbackPlatform) : FActivePlatform;
}

void TBuildConfigurations::SetActivePlatform(const std::string& Name) {
  auto Platform = PlatformManager().Platform(Name);
  if (FActivePlatform == Platform->GetName()) return;
  FActivePlatform = Platform->GetName();
  FModified = true;
  if (FLoading) return;
  for (auto* N : std::vector<IConfigurationNotifier*>(FNotifiers))
    N->ActiveConfigurationChanged(GetActiveConfiguration().Name(), FActivePlatform);
}

// ---- platform list --------------------------------------------------------------------

std::vector<std::string> TBuildConfigurations::GetEnabledPlatforms() const {
  std::vector<std::string> R;
  for (const auto& P : FPlatformList.Items())
    if (P.Enabled) R.push_back(P.Name);
  return R;
}

std::vector<std::string> TBuildConfigurations::GetSupportedPlatforms() const { return FPlatformList.NamesToArray(); }

bool TBuildConfigurations::GetPlatformEnabled(const std::string& Platform) const {
  const TPlatformInfo* P = FPlatformList.GetPlatformInfo(Platform);
  return P && P->Enabled;
}

void TBuildConfigurations::SetPlatformEnabled(const std::string& Platform, bool Enabled) {
  TPlatformInfo* P = FPlatformList.GetPlatformInfo(Platform);
  if (!P) {
    if (!Enabled) return;
    P = &FPlatformList.Add(Platform);
  } else if (P->Enabled == Enabled) {
    return;
  }
  P->Enabled = Enabled;
  FModified = true;
}

void TBuildConfigurations::SetPlatformSupported(const std::string& Platform, bool Supported) {
  if (Supported == FPlatformList.Contains(Platform)) return;
  if (Supported)
    FPlatformList.Add(Platform);
  else
    FPlatformList.Remove(Platform);
  FModified = true;
}

bool TBuildConfigurations::GetPlatformAvailable(const std::string& Platform) const {
  return PlatformManager().PlatformAvailable(Platform, FProject ? FProject->GetPersonality() : std::string());
}

static TPlatformInfo& ListedPlatform(TPlatformList& List, const std::string& Platform) {
  TPlatformInfo* P = List.GetPlatformInfo(Platform);
  if (!P) throw EPlatformNotSupported(Format(res::SPlatformNotSupported, Platform));
  return *P;
}

std::string TBuildConfigurations::GetPlatformProfile(const std::string& Platform) const {
  const TPlatformInfo* P = FPlatformList.GetPlatformInfo(Platform);
  return P ? P->Profile : std::string();
}

static bool Known(const std::vector<std::string>& List, const std::string& Name) {
  return std::any_of(List.begin(), List.end(), [&](const std::string& S) { return SameText(S, Name); });
}

void TBuildConfigurations::SetPlatformProfile(const std::string& Platform, const std::string& Profile) {
  TPlatformInfo& P = ListedPlatform(FPlatformList, Platform);
  if (!Profile.empty() && !Known(FKnownProfiles, Profile)) throw Exception(Format(res::SUnknownProfile, Profile));
  if (P.Profile == Profile) return;
  P.Profile = Profile;
  FModified = true;
}

std::string TBuildConfigurations::GetPlatformSDK(const std::string& Platform) const {
  const TPlatformInfo* P = FPlatformList.GetPlatformInfo(Platform);
  return P ? P->PlatformSDK : std::string();
}

void TBuildConfigurations::SetPlatformSDK(const std::string& Platform, const std::string& SDK) {
  TPlatformInfo& P = ListedPlatform(FPlatformList, Platform);
  if (!SDK.empty() && !Known(FKnownSDKs, SDK)) throw Exception(Format(res::SUnknownSDKVersion, SDK));
  if (P.PlatformSDK == SDK) return;
  P.PlatformSDK = SDK;
  FModified = true;
}

std::string TBuildConfigurations::GetActiveMobileDevice(const std::string& Platform) const {
  const TPlatformInfo* P = FPlatformList.GetPlatformInfo(Platform);
  return P ? P->ActiveMobileDevice : std::string();
}

void TBuildConfigurations::SetActiveMobileDevice(const std::string& Platform, const std::string& Device) {
  TPlatformInfo& P = ListedPlatform(FPlatformList, Platform);
  if (P.ActiveMobileDevice == Device) return;
  P.ActiveMobileDevice = Device;
  FModified = true;
}

void TBuildConfigurations::ClearActiveMobileDevice(const std::string& Platform) {
  if (FPlatformList.Contains(Platform)) SetActiveMobileDevice(Platform, {});
}

// ---- notification ---------------------------------------------------------------------

void TBuildConfigurations::AddNotifier(IConfigurationNotifier* Notifier) {
  if (std::find(FNotifiers.begin(), FNotifiers.end(), Notifier) == FNotifiers.end()) FNotifiers.push_back(Notifier);
}

void TBuildConfigurations::RemoveNotifier(IConfigurationNotifier* Notifier) { std::erase(FNotifiers, Notifier); }

void TBuildConfigurations::OptionValueChanged(TBuildConfiguration& Config, const std::string& Name) {
  if (FLoading) return;
  FModified = true;
  TEvOptionValueChanged Args(Config, Name);
  FOnOptionValueChanged.Send(Args);
  for (auto* N : std::vector<IConfigurationNotifier*>(FNotifiers)) N->OptionValueChanged(Config, Name);
}

bool TBuildConfigurations::IsModified() const {
  if (FModified) return true;
  for (auto* C : GetGlobalConfigurations()) {
    if (C->IsModified()) return true;
    for (auto* P : C->Platforms())
      if (P->IsModified()) return true;
    for (auto* L : C->GetLocalOverrides())
      if (L->IsModified()) return true;
  }
  return false;
}

void TBuildConfigurations::ModuleRemoved(const std::string& FileName) { RemoveLocalOverrides(FileName); }

void TBuildConfigurations::ProjectModuleRenamed(const std::string& OldName, const std::string& NewName) {
  for (auto* C : GetGlobalConfigurations()) {
    std::vector<TBuildConfiguration*> Levels{C};
    for (auto* P : C->Platforms()) Levels.push_back(P);
    for (auto* Level : Levels)
      if (TLocalOverride* L = Level->GetLocalOverride(OldName)) {
        ForgetGroup(L->GroupCondition());
        L->SetTargetFilename(NewName);
        L->SetStoredFilename(RelativeToProject(NewName));
        L->MarkModified();
        FModified = true;
      }
  }
}

std::shared_ptr<TNamedOptionSet> TBuildConfigurations::OpenOptionSet(const std::string& FileName) {
  std::string Full = ExpandFileName(FileName);
  auto It = FOpenSets.find(Full);
  if (It != FOpenSets.end()) return It->second;
  auto Set = OpenNamedOptionSet(Full);
  FOpenSets[Full] = Set;
  return Set;
}

}  // namespace nxs
