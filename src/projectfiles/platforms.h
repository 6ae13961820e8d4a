// The registry of target platforms (TPlatformManager, reached through PlatformManager), the
// compilers and environment options registered per platform and personality, and the base
// classes that platform packages derive their records from.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "shared/exceptions.h"
#include "shared/text.h"

namespace nxs {

class IProjectContext;

class EUnknownPlatform : public Exception {
 public:
  using Exception::Exception;
};
class EPlatformNotSupported : public Exception {
 public:
  using Exception::Exception;
};
class ECompilerNotSupported : public Exception {
 public:
  using Exception::Exception;
};

// A compiler as a platform package registers it. Running it belongs to the build; here it
// only describes itself.
class ICompiler {
 public:
  virtual ~ICompiler() = default;
  virtual std::string GetName() const = 0;
  virtual std::string GetPlatform() const = 0;
  virtual std::string GetPersonality() const = 0;
  // The program the build runs ("fpc", "g++").
  virtual std::string GetCommand() const = 0;
  // The option-registry task that describes the compiler's options.
  virtual std::string GetTaskName() const = 0;
};

// The environment options of one platform and personality. They belong to the environment
// options library; this registry only holds what is registered.
class IPlatformEnvOptions {
 public:
  virtual ~IPlatformEnvOptions() = default;
};

// A target platform.
class IOTAPlatform {
 public:
  virtual ~IOTAPlatform() = default;
  virtual std::string GetName() const = 0;
  virtual std::string GetDisplayName() const = 0;
  // One bit; a project's "TargetedPlatforms" is the union of its platforms' identifiers.
  virtual uint16_t GetId() const = 0;
  virtual int GetImageIndex() const = 0;
  virtual std::string GetPathDelim() const = 0;
  virtual std::string GetOSFamily() const = 0;
  virtual std::string GetOSFamilyDisplayName() const = 0;
  virtual int GetFileType(const std::string& FileName) const = 0;
  virtual std::string GetFileExtension(int FileType) const = 0;
  virtual int GetOutputType(const std::string& FileName) const = 0;
  virtual std::string GetOutputExtension(const std::string& Extension) const = 0;
  virtual std::string GetOutputFilePrefix(const std::string& Extension) const = 0;
  virtual std::string GetProjectDisplayName(IProjectContext& Project) const = 0;
  virtual std::string GetPlatformProjectType(IProjectContext& Project) const = 0;
  virtual std::string GetPlatformRemoteDir() const = 0;
  virtual std::string GetNamespaceSearchPaths() const = 0;
  virtual std::string GetSDKFamilyName() const = 0;
  virtual std::string GetCppPreprocessorToolName() const = 0;
  virtual bool IsAvailable(const std::string& Personality) const = 0;
  // Adds a message for each reason the project cannot be built for this platform; false
  // when it added one.
  virtual bool CheckProject(IProjectContext& Project, std::vector<std::string>& Messages) const = 0;
  virtual bool IsRemoteProfileRequiredToCompile() const = 0;
  virtual bool IsRemoteProfileRequiredToRun() const = 0;
  virtual bool IsSDKRequiredToCompile() const = 0;
  virtual bool IsSDKRequiredToRun() const = 0;
  virtual bool PlatformSupports(const std::string& Feature) const = 0;
  virtual bool ProjectTypeSupportsOperation(const std::string& ProjectType, const std::string& Operation) const = 0;
  virtual bool SupportsPlatformProjectType(const std::string& ProjectType) const = 0;
  virtual bool ForceShowWhenUnique() const = 0;
};

// File-type numbers the platform maps to extensions.
enum TPlatformFileType : int {
  ftNone = 0,
  ftPascalSource = 1,
  ftPascalProgram = 2,
  ftCppSource = 3,
  ftCppHeader = 4,
  ftObject = 5,
  ftExecutable = 6,
  ftLibrary = 7,
  ftStaticLibrary = 8,
  ftPascalUnitOutput = 9,
};

// The record platform packages derive from. Maps are filled by the two initialisers, which
// Create runs after construction (a base constructor cannot reach a derived override).
class TBasePlatform : public IOTAPlatform {
 public:
  template <class TPlatform, class... TArgs>
  static std::shared_ptr<TPlatform> Create(TArgs&&... Args) {
    auto P = std::make_shared<TPlatform>(std::forward<TArgs>(Args)...);
    TBasePlatform* Base = P.get();
    Base->InitializeExtensionMap();
    Base->InitializeOutputMaps();
    return P;
  }

  TBasePlatform(std::string Name, std::string DisplayName, std::string PathDelim, int ImageIndex);
  TBasePlatform(const TBasePlatform&) = delete;  // registered by identity
  TBasePlatform& operator=(const TBasePlatform&) = delete;

  std::string GetName() const override { return FName; }
  std::string GetDisplayName() const override { return FDisplayName; }
  uint16_t GetId() const override { return 0; }
  int GetImageIndex() const override { return FImageIndex; }
  std::string GetPathDelim() const override { return FPathDelim; }
  std::string GetOSFamily() const override { return FOSFamily; }
  std::string GetOSFamilyDisplayName() const override { return FOSFamily; }
  int GetFileType(const std::string& FileName) const override;
  std::string GetFileExtension(int FileType) const override;
  int GetOutputType(const std::string& FileName) const override;
  std::string GetOutputExtension(const std::string& Extension) const override;
  std::string GetOutputFilePrefix(const std::string& Extension) const override;
  std::string GetProjectDisplayName(IProjectContext& Project) const override;
  std::string GetPlatformProjectType(IProjectContext& Project) const override;
  std::string GetPlatformRemoteDir() const override { return ".\\"; }
  std::string GetNamespaceSearchPaths() const override { return {}; }
  std::string GetSDKFamilyName() const override { return {}; }
  std::string GetCppPreprocessorToolName() const override { return {}; }
  bool IsAvailable(const std::string& Personality) const override;
  bool CheckProject(IProjectContext& Project, std::vector<std::string>& Messages) const override;
  bool IsRemoteProfileRequiredToCompile() const override { return false; }
  bool IsRemoteProfileRequiredToRun() const override { return false; }
  bool IsSDKRequiredToCompile() const override { return false; }
  bool IsSDKRequiredToRun() const override { return false; }
  bool PlatformSupports(const std::string& Feature) const override { return false; }
  bool ProjectTypeSupportsOperation(const std::string& ProjectType, const std::string& Operation) const override {
    return false;
  }
  bool SupportsPlatformProjectType(const std::string& ProjectType) const override { return false; }
  bool ForceShowWhenUnique() const override { return false; }

 protected:
  virtual void InitializeExtensionMap() {}
  virtual void InitializeOutputMaps() {}

  std::string FName;
  std::string FDisplayName;
  std::string FPathDelim;
  int FImageIndex;
  std::string FOSFamily;
  // Kept in registration order: lookups take the first match.
  std::vector<std::pair<int, std::string>> FExtensionMap;
  std::vector<std::pair<std::string, std::string>> FOutputExtensionMap;
  std::vector<std::pair<std::string, std::string>> FOutputPrefixMap;
};

// A property of a build type: where the environment and the project keep it.
struct TBuildTypeProperty {
  std::string EnvironmentKey;
  std::string ProjectOptionKey;
};

// One form in which a signable platform's output is signed and deployed.
class TBuildType {
 public:
  TBuildType(std::string Name, std::string DisplayName, int ImageIndex, std::string Frame = {})
      : FName(std::move(Name)), FDisplayName(std::move(DisplayName)), FImageIndex(ImageIndex),
        FFrame(std::move(Frame)) {}
  const std::string& Name() const { return FName; }
  const std::string& DisplayName() const { return FDisplayName; }
  int ImageIndex() const { return FImageIndex; }
  const std::string& Frame() const { return FFrame; }
  void AddProperty(const std::string& Name, TBuildTypeProperty Property) { FProperties[Name] = std::move(Property); }
  const std::map<std::string, TBuildTypeProperty, CaseInsensitiveLess>& Properties() const { return FProperties; }

 private:
  std::string FName;
  std::string FDisplayName;
  int FImageIndex;
  std::string FFrame;  // the options page class for this build type
  std::map<std::string, TBuildTypeProperty, CaseInsensitiveLess> FProperties;
};

class TBaseSignablePlatform : public TBasePlatform {
 public:
  using TBasePlatform::TBasePlatform;

  void AddBuildType(std::unique_ptr<TBuildType> BuildType);
  // Names in the order they were added.
  std::vector<std::string> AllBuildTypes() const;
  std::vector<std::string> AllBuildTypeProperties(const std::string& BuildType) const;
  std::string GetBuildTypeDisplayName(const std::string& BuildType) const;
  int GetBuildTypeImageIndex(const std::string& BuildType) const;
  // The key under which configurations of this platform keep the build type's settings.
  std::string GetBuildTypeKey(const std::string& BuildType) const;
  std::string GetEnvironmentKey(const std::string& BuildType, const std::string& Property) const;
  std::string GetProjectOptionKey(const std::string& BuildType, const std::string& Property) const;

 private:
  const TBuildType& GetBuildType(const std::string& Name) const;

  std::vector<std::unique_ptr<TBuildType>> FBuildTypes;
  std::unordered_map<std::string, TBuildType*, CaseInsensitiveHash, CaseInsensitiveEqual> FBuildTypesDictionary;
};

// "%s.%s": platform and personality.
std::string PlatformPersonalityKey(const std::string& Platform, const std::string& Personality);

class TPlatformManager {
 public:
  TPlatformManager() = default;
  TPlatformManager(const TPlatformManager&) = delete;  // the process's one registry
  TPlatformManager& operator=(const TPlatformManager&) = delete;

  // Registers the platform and the unit namespaces it uses (text separated by ";"). A
  // second platform of a registered name replaces the first.
  void Add(std::shared_ptr<IOTAPlatform> Platform, const std::string& Namespaces = {});
  // Forgets a registered platform (a package going away).
  void Unregister(const std::string& Name);
  // Takes the platform out of the project's platform list.
  void Remove(IProjectContext& Project, const std::string& Platform);
  // Puts a registered platform into the project's platform list, enabled.
  void AddPlatformToProject(IProjectContext& Project, const std::string& Platform);

  std::shared_ptr<IOTAPlatform> GetPlatform(const std::string& Name) const;
  // As GetPlatform, raising EUnknownPlatform for a name that is not registered.
  std::shared_ptr<IOTAPlatform> Platform(const std::string& Name) const;
  bool PlatformExists(const std::string& Name) const;
  bool PlatformAvailable(const std::string& Platform, const std::string& Personality) const;
  // Names of the platforms available for the personality; every one for an empty personality.
  std::vector<std::string> AvailablePlatforms(const std::string& Personality) const;
  // Every registered name, sorted.
  std::vector<std::string> AllPlatforms() const;
  int GetCount() const { return static_cast<int>(FPlatforms.size()); }
  std::shared_ptr<IOTAPlatform> GetPlatformFromDisplayName(const std::string& DisplayName) const;
  std::shared_ptr<IOTAPlatform> PlatformFromId(uint16_t Id) const;
  std::vector<std::string> PlatformsFromNamespace(const std::string& Namespace) const;
  // Namespaces every platform uses (text separated by ";").
  void AddGlobalNamespaces(const std::string& Namespaces);

  void RegisterCompiler(const std::string& Platform, const std::string& Personality, std::shared_ptr<ICompiler> Compiler);
  void UnregisterCompiler(const std::string& Platform, const std::string& Personality);
  std::shared_ptr<ICompiler> GetCompiler(const std::string& Platform, const std::string& Personality) const;
  // As GetCompiler, raising ECompilerNotSupported when none is registered.
  std::shared_ptr<ICompiler> Compiler(const std::string& Platform, const std::string& Personality) const;

  void RegisterEnvOptions(const std::string& Platform, const std::string& Personality,
                          std::shared_ptr<IPlatformEnvOptions> Options);
  void UnregisterEnvOptions(const std::string& Platform, const std::string& Personality);
  std::shared_ptr<IPlatformEnvOptions> GetEnvOptions(const std::string& Platform, const std::string& Personality) const;

 private:
  template <class T>
  using TNameMap = std::unordered_map<std::string, T, CaseInsensitiveHash, CaseInsensitiveEqual>;
  TNameMap<std::shared_ptr<IOTAPlatform>> FPlatforms;
  TNameMap<std::shared_ptr<ICompiler>> FCompilers;
  TNameMap<std::shared_ptr<IPlatformEnvOptions>> FEnvOptions;
  TNameMap<std::vector<std::string>> FPlatformNamespaces;
  std::vector<std::string> FGlobalNamespaces;
};

// The process's registry, made on first use.
TPlatformManager& PlatformManager();

// The union of the platform lists of the given projects, sorted.
std::vector<std::string> GatherPlatforms(const std::vector<IProjectContext*>& Projects, bool EnabledOnly = true);

// Options pages per platform and build type, for the options dialog.
void RegisterPlatformConfigurationFrame(const std::string& FrameClass, const std::string& Platform,
                                        const std::string& BuildType);
void UnregisterPlatformConfigurationFrame(const std::string& Platform, const std::string& BuildType);
std::string FindPlatformConfigurationFrame(const std::string& Platform, const std::string& BuildType);

// The choices of a platform combo box: "All platforms" first when asked for, then each
// platform's display name, the active one marked " (active)".
std::vector<std::string> PlatformComboItems(const std::vector<std::string>& Platforms, const std::string& Active,
                                            bool WithAllPlatforms);

}  // namespace nxs
