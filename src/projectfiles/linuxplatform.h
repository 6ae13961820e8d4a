// The platform package of this machine: "Win32", the platform every project falls back to
// (registered so that projects naming it load, but without a compiler here), and "Linux64"
// with its Pascal and C++ compilers. Registrations last as long as the package object.
#pragma once

#include <memory>
#include <string>

#include "projectfiles/platforms.h"

namespace nxs {

inline constexpr const char* SPlatformWin32 = "Win32";
inline constexpr const char* SPlatformLinux64 = "Linux64";
inline constexpr const char* SPersonalityPascal = "Vellum.Personality";
inline constexpr const char* SPersonalityCpp = "Kestrel.Personality";
inline constexpr const char* SPersonalityDefault = "Default.Personality";

inline constexpr uint16_t Win32PlatformId = 0x0001;
inline constexpr uint16_t Linux64PlatformId = 0x0080;

class TWin32Platform : public TBasePlatform {
 public:
  TWin32Platform();
  uint16_t GetId() const override { return Win32PlatformId; }

 protected:
  void InitializeExtensionMap() override;
  void InitializeOutputMaps() override;
};

class TLinux64Platform : public TBasePlatform {
 public:
  TLinux64Platform();
  uint16_t GetId() const override { return Linux64PlatformId; }
  std::string GetPlatformRemoteDir() const override { return "./"; }
  std::string GetOSFamilyDisplayName() const override { return "Linux"; }

 protected:
  void InitializeExtensionMap() override;
  void InitializeOutputMaps() override;
};

// A compiler that describes itself; the build runs Command.
class TToolCompiler : public ICompiler {
 public:
  TToolCompiler(std::string Name, std::string Platform, std::string Personality, std::string Command,
                std::string TaskName)
      : FName(std::move(Name)), FPlatform(std::move(Platform)), FPersonality(std::move(Personality)),
        FCommand(std::move(Command)), FTaskName(std::move(TaskName)) {}
  std::string GetName() const override { return FName; }
  std::string GetPlatform() const override { return FPlatform; }
  std::string GetPersonality() const override { return FPersonality; }
  std::string GetCommand() const override { return FCommand; }
  std::string GetTaskName() const override { return FTaskName; }

 private:
  std::string FName, FPlatform, FPersonality, FCommand, FTaskName;
};

// Registers the platforms and compilers with a registry when made and takes them out again
// when destroyed.
class TLinuxPlatformPackage {
 public:
  explicit TLinuxPlatformPackage(TPlatformManager& Manager);
  ~TLinuxPlatformPackage();
  TLinuxPlatformPackage(const TLinuxPlatformPackage&) = delete;  // owns its registrations
  TLinuxPlatformPackage& operator=(const TLinuxPlatformPackage&) = delete;

 private:
  TPlatformManager& FManager;
};

}  // namespace nxs
