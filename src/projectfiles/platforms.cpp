#include "projectfiles/platforms.h"

#include <algorithm>
#include <set>

#include "projectfiles/configmgr.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/resstrings.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs {

// ---- TBasePlatform --------------------------------------------------------------------

TBasePlatform::TBasePlatform(std::string Name, std::string DisplayName, std::string PathDelim, int ImageIndex)
    : FName(std::move(Name)), FDisplayName(std::move(DisplayName)), FPathDelim(std::move(PathDelim)),
      FImageIndex(ImageIndex) {}

int TBasePlatform::GetFileType(const std::string& FileName) const {
  std::string Ext = ExtractFileExt(FileName);
  if (Ext.empty()) return ftNone;
  for (const auto& [Type, MapExt] : FExtensionMap)
    if (SameText(MapExt, Ext)) return Type;
  return ftNone;
}

std::string TBasePlatform::GetFileExtension(int FileType) const {
  for (const auto& [Type, Ext] : FExtensionMap)
    if (Type == FileType) return Ext;
  return {};
}

int TBasePlatform::GetOutputType(const std::string& FileName) const {
  std::string Out = GetOutputExtension(ExtractFileExt(FileName));
  return Out.empty() ? ftNone : GetFileType("x" + Out);
}

std::string TBasePlatform::GetOutputExtension(const std::string& Extension) const {
  for (const auto& [Source, Output] : FOutputExtensionMap)
    if (SameText(Source, Extension)) return Output;
  return {};
}

std::string TBasePlatform::GetOutputFilePrefix(const std::string& Extension) const {
  for (const auto& [Source, Prefix] : FOutputPrefixMap)
    if (SameText(Source, Extension)) return Prefix;
  return {};
}

std::string TBasePlatform::GetProjectDisplayName(IProjectContext& Project) const {
  return ChangeFileExt(ExtractFileName(Project.GetFileName()), "");
}

std::string TBasePlatform::GetPlatformProjectType(IProjectContext& Project) const {
  return Project.GetApplicationType();
}

bool TBasePlatform::IsAvailable(const std::string& Personality) const {
  return PlatformManager().GetCompiler(FName, Personality) != nullptr;
}

bool TBasePlatform::CheckProject(IProjectContext& Project, std::vector<std::string>& Messages) const {
  std::string Personality = Project.GetPersonality();
  if (IsAvailable(Personality)) return true;
  Messages.push_back(Format(res::SPlatformPersonality, FName, Personality));
  return false;
}

// ---- TBaseSignablePlatform ------------------------------------------------------------

void TBaseSignablePlatform::AddBuildType(std::unique_ptr<TBuildType> BuildType) {
  auto It = FBuildTypesDictionary.find(BuildType->Name());
  if (It != FBuildTypesDictionary.end()) {
    auto Old = std::find_if(FBuildTypes.begin(), FBuildTypes.end(), [&](auto& B) { return B.get() == It->second; });
    FBuildTypesDictionary.erase(It);
    FBuildTypes.erase(Old);
  }
  FBuildTypesDictionary[BuildType->Name()] = BuildType.get();
  FBuildTypes.push_back(std::move(BuildType));
}

std::vector<std::string> TBaseSignablePlatform::AllBuildTypes() const {
  std::vector<std::string> R;
  for (const auto& B : FBuildTypes) R.push_back(B->Name());
  return R;
}

const TBuildType& TBaseSignablePlatform::GetBuildType(const std::string& Name) const {
  auto It = FBuildTypesDictionary.find(Name);
  if (It == FBuildTypesDictionary.end()) throw Exception(Format(res::SUnknownBuildType, Name));
  return *It->second;
}

std::vector<std::string> TBaseSignablePlatform::AllBuildTypeProperties(const std::string& BuildType) const {
  std::vector<std::string> R;
  for (const auto& [Name, Prop] : GetBuildType(BuildType).Properties()) R.push_back(Name);
  return R;
}

std::string TBaseSignablePlatform::GetBuildTypeDisplayName(const std::string& BuildType) const {
  return GetBuildType(BuildType).DisplayName();
}

int TBaseSignablePlatform::GetBuildTypeImageIndex(const std::string& BuildType) const {
  return GetBuildType(BuildType).ImageIndex();
}

std::string TBaseSignablePlatform::GetBuildTypeKey(const std::string& BuildType) const {
  return "BT_BuildType_" + GetBuildType(BuildType).Name();
}

std::string TBaseSignablePlatform::GetEnvironmentKey(const std::string& BuildType, const std::string& Property) const {
  const auto& Props = GetBuildType(BuildType).Properties();
  auto It = Props.find(Property);
  return It == Props.end() ? std::string() : It->second.EnvironmentKey;
}

std::string TBaseSignablePlatform::GetProjectOptionKey(const std::string& BuildType, const std::string& Property) const {
  const auto& Props = GetBuildType(BuildType).Properties();
  auto It = Props.find(Property);
  return It == Props.end() ? std::string() : It->second.ProjectOptionKey;
}

// ---- TPlatformManager -----------------------------------------------------------------

std::string PlatformPersonalityKey(const std::string& Platform, const std::string& Personality) {
  return Format("%s.%s", Platform, Personality);
}

static std::vector<std::string> SplitNamespaces(const std::string& Text) {
  std::vector<std::string> R;
  for (auto& N : Split(Text, ';')) {
    std::string T = Trim(N);
    if (!T.empty()) R.push_back(T);
  }
  return R;
}

void TPlatformManager::Add(std::shared_ptr<IOTAPlatform> Platform, const std::string& Namespaces) {
  std::string Name = Platform->GetName();
  FPlatforms[Name] = std::move(Platform);
  for (const auto& Ns : SplitNamespaces(Namespaces)) {
    auto& List = FPlatformNamespaces[Ns];
    if (std::none_of(List.begin(), List.end(), [&](const std::string& P) { return SameText(P, Name); }))
      List.push_back(Name);
  }
}

void TPlatformManager::Unregister(const std::string& Name) {
  FPlatforms.erase(Name);
  for (auto& [Ns, List] : FPlatformNamespaces)
    std::erase_if(List, [&](const std::string& P) { return SameText(P, Name); });
}

void TPlatformManager::Remove(IProjectContext& Project, const std::string& Platform) {
  if (TBuildConfigurations* Configs = Project.GetConfigurations()) Configs->SetPlatformSupported(Platform, false);
}

void TPlatformManager::AddPlatformToProject(IProjectContext& Project, const std::string& Platform) {
  if (!PlatformExists(Platform)) throw EUnknownPlatform(Format(res::SUnknownPlatform, Platform));
  TBuildConfigurations* Configs = Project.GetConfigurations();
  if (!Configs) return;
  Configs->SetPlatformSupported(Platform, true);
  Configs->SetPlatformEnabled(Platform, true);
}

std::shared_ptr<IOTAPlatform> TPlatformManager::GetPlatform(const std::string& Name) const {
  auto It = FPlatforms.find(Name);
  return It == FPlatforms.end() ? nullptr : It->second;
}

std::shared_ptr<IOTAPlatform> TPlatformManager::Platform(const std::string& Name) const {
  auto P = GetPlatform(Name);
  if (!P) throw EUnknownPlatform(Format(res::SUnknownPlatform, Name));
  return P;
}

bool TPlatformManager::PlatformExists(const std::string& Name) const { return FPlatforms.count(Name) != 0; }

bool TPlatformManager::PlatformAvailable(const std::string& Platform, const std::string& Personality) const {
  auto P = GetPlatform(Platform);
  return P && P->IsAvailable(Personality);
}

std::vector<std::string> TPlatformManager::AvailablePlatforms(const std::string& Personality) const {
  std::vector<std::string> R;
  for (const auto& Name : AllPlatforms())
    if (Personality.empty() || PlatformAvailable(Name, Personality)) R.push_back(Name);
  return R;
}

std::vector<std::string> TPlatformManager::AllPlatforms() const {
  std::vector<std::string> R;
  for (const auto& [Name, P] : FPlatforms) R.push_back(P->GetName());
  std::sort(R.begin(), R.end(), CaseInsensitiveLess());
  return R;
}

std::shared_ptr<IOTAPlatform> TPlatformManager::GetPlatformFromDisplayName(const std::string& DisplayName) const {
  for (const auto& Name : AllPlatforms()) {
    auto P = GetPlatform(Name);
    if (SameText(P->GetDisplayName(), DisplayName)) return P;
  }
  return nullptr;
}

std::shared_ptr<IOTAPlatform> TPlatformManager::PlatformFromId(uint16_t Id) const {
  for (const auto& Name : AllPlatforms()) {
    auto P = GetPlatform(Name);
    if (P->GetId() == Id) return P;
  }
  return nullptr;
}

std::vector<std::string> TPlatformManager::PlatformsFromNamespace(const std::string& Namespace) const {
  for (const auto& G : FGlobalNamespaces)
    if (SameText(G, Namespace)) return AllPlatforms();
  auto It = FPlatformNamespaces.find(Namespace);
  return It == FPlatformNamespaces.end() ? std::vector<std::string>() : It->second;
}

void TPlatformManager::AddGlobalNamespaces(const std::string& Namespaces) {
  for (const auto& Ns : SplitNamespaces(Namespaces))
    if (std::none_of(FGlobalNamespaces.begin(), FGlobalNamespaces.end(), [&](auto& G) { return SameText(G, Ns); }))
      FGlobalNamespaces.push_back(Ns);
}

void TPlatformManager::RegisterCompiler(const std::string& Platform, const std::string& Personality,
                                        std::shared_ptr<ICompiler> Compiler) {
  FCompilers[PlatformPersonalityKey(Platform, Personality)] = std::move(Compiler);
}

void TPlatformManager::UnregisterCompiler(const std::string& Platform, const std::string& Personality) {
  FCompilers.erase(PlatformPersonalityKey(Platform, Personality));
}

std::shared_ptr<ICompiler> TPlatformManager::GetCompiler(const std::string& Platform, const std::string& Personality) const {
  auto It = FCompilers.find(PlatformPersonalityKey(Platform, Personality));
  return It == FCompilers.end() ? nullptr : It->second;
}

std::shared_ptr<ICompiler> TPlatformManager::Compiler(const std::string& Platform, const std::string& Personality) const {
  auto C = GetCompiler(Platform, Personality);
  if (!C) throw ECompilerNotSupported(Format(res::SCompilerNotSupported, Platform, Personality));
  return C;
}

void TPlatformManager::RegisterEnvOptions(const std::string& Platform, const std::string& Personality,
                                          std::shared_ptr<IPlatformEnvOptions> Options) {
  FEnvOptions[PlatformPersonalityKey(Platform, Personality)] = std::move(Options);
}

void TPlatformManager::UnregisterEnvOptions(const std::string& Platform, const std::string& Personality) {
  FEnvOptions.erase(PlatformPersonalityKey(Platform, Personality));
}

std::shared_ptr<IPlatformEnvOptions> TPlatformManager::GetEnvOptions(const std::string& Platform,
                                                                     const std::string& Personality) const {
  auto It = FEnvOptions.find(PlatformPersonalityKey(Platform, Personality));
  return It == FEnvOptions.end() ? nullptr : It->second;
}

TPlatformManager& PlatformManager() {
  static TPlatformManager Manager;
  return Manager;
}

// ---- module operations ----------------------------------------------------------------

std::vector<std::string> GatherPlatforms(const std::vector<IProjectContext*>& Projects, bool EnabledOnly) {
  std::set<std::string, CaseInsensitiveLess> All;
  for (IProjectContext* P : Projects) {
    TBuildConfigurations* Configs = P ? P->GetConfigurations() : nullptr;
    if (!Configs) continue;
    for (const auto& Name : EnabledOnly ? Configs->GetEnabledPlatforms() : Configs->GetSupportedPlatforms())
      All.insert(Name);
  }
  return {All.begin(), All.end()};
}

static std::map<std::string, std::string, CaseInsensitiveLess>& Frames() {
  static std::map<std::string, std::string, CaseInsensitiveLess> F;
  return F;
}

void RegisterPlatformConfigurationFrame(const std::string& FrameClass, const std::string& Platform,
                                        const std::string& BuildType) {
  Frames()[PlatformPersonalityKey(Platform, BuildType)] = FrameClass;
}

void UnregisterPlatformConfigurationFrame(const std::string& Platform, const std::string& BuildType) {
  Frames().erase(PlatformPersonalityKey(Platform, BuildType));
}

std::string FindPlatformConfigurationFrame(const std::string& Platform, const std::string& BuildType) {
  auto It = Frames().find(PlatformPersonalityKey(Platform, BuildType));
  return It == Frames().end() ? std::string() : It->second;
}

std::vector<std::string> PlatformComboItems(const std::vector<std::string>& Platforms, const std::string& Active,
                                            bool WithAllPlatforms) {
  std::vector<std::string> R;
  if (WithAllPlatforms) R.push_back(res::SAllPlatforms);
  for (const auto& Name : Platforms) {
    auto P = PlatformManager().GetPlatform(Name);
    std::string Caption = P ? P->GetDisplayName() : Name;
    if (SameText(Name, Active)) Caption += res::SActivePlatformMark;
    R.push_back(Caption);
  }
  return R;
}

}  // namespace nxs
