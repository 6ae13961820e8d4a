// The environment's packages as a whole: where the shipped ones live, the variables published
// before any package loads, loading the IDE packages and the installed design packages at
// start-up, and the operations on the lists that the settings keep (install, uninstall,
// enable, disable, list).
#pragma once

#include <string>
#include <vector>

#include "packages/idepkgs.h"

namespace nxs {

class TSettingsStore;

// The installed design packages: file name and description.
inline constexpr const char* SKnownPackagesKey = "Known Packages";
inline constexpr const char* SDisabledPackagesKey = "Disabled Packages";
// Plain shared libraries that packages link against, loaded before the packages: file name
// and description. The environment's own ("Known IDE Assemblies") load first.
inline constexpr const char* SKnownIDEAssembliesKey = "Known IDE Assemblies";
inline constexpr const char* SKnownAssembliesKey = "Known Assemblies";

// The folder of the shipped packages ($NXS_PACKAGES_DIR when set; "<prefix>/lib/nxs/packages"
// when installed; else the build tree's), and of the headers a package is compiled against.
std::string ShippedPackagesDir();
std::string PackageIncludeDir();
// The IDE packages loaded when the settings name none.
std::vector<TIDEPackageEntry> ShippedIDEPackages();

// Publishes the variables packages find (PublishStartupVariables), NXSLIB naming the shipped
// packages' folder and NXSINCLUDE the headers' unless the user set them, and creates the
// projects folder (one that cannot be made is left to the first save there).
// RestorePackageEnvironment gives the variables their values from before.
void PublishPackageEnvironment();
void RestorePackageEnvironment();

// Loads the known assemblies, then the IDE packages for the personalities (all when empty),
// then the installed design packages that are not disabled; UnloadEnvironmentPackages unloads
// all, the last first. An assembly or design package that fails is told about and left out.
void LoadEnvironmentPackages(TSettingsStore& Store, const std::vector<std::string>& Personalities);
void UnloadEnvironmentPackages();

// While on, a build of a project unloads the loaded package it makes (a package named as the
// project, "NAME.so") and every package that requires it, and loads them again when the build
// is over, so that the environment runs the package's new code and never code of a library
// being rewritten.
void WatchPackageBuilds(bool On);

struct TPackageListing {
  std::string Kind;   // "ide", "design" or "assembly"
  std::string State;  // "loaded", "disabled" or "unloaded"
  std::string FileName;
  std::string Description;
  std::vector<std::string> Personalities;
};
std::vector<TPackageListing> ListPackages(TSettingsStore& Store);

// What an installed package is: a design package ("Known Packages"), an IDE package that every
// start loads ("Known IDE Packages"), or a plain library that packages link against ("Known
// Assemblies").
enum class TInstallKind { ikDesign, ikIDE, ikAssembly };
// Loads the package (its registrations run), then records it as installed; raises when it
// cannot load, recording nothing.
void InstallPackage(TSettingsStore& Store, const std::string& FileName, TInstallKind Kind = TInstallKind::ikDesign);
// Unloads and forgets an installed package (of any kind) named by its file or file name.
void UninstallPackage(TSettingsStore& Store, const std::string& Name);
// Takes an IDE or design package off its disabled list, or puts it there.
void EnablePackage(TSettingsStore& Store, const std::string& Name);
void DisablePackage(TSettingsStore& Store, const std::string& Name);

}  // namespace nxs
