#include "packages/pkgsession.h"

#include <cctype>
#include <optional>
#include <utility>

#include "build/orchestration.h"
#include "packages/resstrings.h"
#include "projectfiles/macros.h"
#include "projectfiles/startup.h"
#include "projects/project.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/fileio.h"
#include "shared/format.h"
#include "shared/install.h"
#include "shared/settings.h"

namespace nxs {

namespace {

const char* const PublishedNames[] = {"NXSPROJECTSDIR", "NXSUSERDIR", "NXSCOMMONDIR", "NXSLIB", "NXSINCLUDE",
                                      "ProductVersion"};

std::vector<std::pair<std::string, std::optional<std::string>>>& Previous() {
  static std::vector<std::pair<std::string, std::optional<std::string>>> P;
  return P;
}

bool EndsWith(const std::string& S, const std::string& End) {
  return S.size() >= End.size() && S.compare(S.size() - End.size(), End.size(), End) == 0;
}

// The entry of the list named by Name: its file as stored or expanded, or its file name.
bool Names(const std::string& Entry, const std::string& Name) {
  const std::string Expanded = ExpandRootMacros(Entry);
  return Entry == Name || Expanded == Name || ExtractFileName(Expanded) == Name;
}

std::optional<std::string> FindEntry(const std::vector<std::string>& Entries, const std::string& Name) {
  for (const std::string& E : Entries)
    if (Names(E, Name)) return E;
  return std::nullopt;
}

// The sections of the assemblies, in the order they load.
const char* const AssemblySections[] = {SKnownIDEAssembliesKey, SKnownAssembliesKey};

// The known assemblies the environment loaded, in load order.
std::vector<std::unique_ptr<TLibraryPackage>>& Assemblies() {
  static std::vector<std::unique_ptr<TLibraryPackage>> A;
  return A;
}

bool IsLoaded(const std::string& FileName) {
  for (int I = 0; I < Packages().GetCount(); ++I)
    if (Packages().GetPackages(I)->GetModuleFileName() == FileName && Packages().GetPackages(I)->GetInstalled())
      return true;
  for (const auto& A : Assemblies())
    if (A->GetModuleFileName() == FileName && A->IsLoaded()) return true;
  return false;
}

const char* SectionOf(TInstallKind Kind) {
  switch (Kind) {
    case TInstallKind::ikIDE: return SKnownIDEPackagesKey;
    case TInstallKind::ikAssembly: return SKnownAssembliesKey;
    case TInstallKind::ikDesign: break;
  }
  return SKnownPackagesKey;
}

}  // namespace

std::string ShippedPackagesDir() {
  if (auto Env = GetEnvironmentVariable("NXS_PACKAGES_DIR"); Env && !Env->empty()) return ExcludeTrailingPathDelimiter(*Env);
  const std::string Data = DataDir();
  if (EndsWith(Data, "/share/nxs/data")) return ExpandFileName("../../../lib/nxs/packages", Data);
  return NXS_BUILD_PACKAGES_DIR;
}

std::string PackageIncludeDir() {
  const std::string Data = DataDir();
  if (EndsWith(Data, "/share/nxs/data")) return ExpandFileName("../../../include/nxs", Data);
  return NXS_SOURCE_INCLUDE_DIR;
}

std::vector<TIDEPackageEntry> ShippedIDEPackages() {
  return {{"$(NXSLIB)/makehl.so", res::SShippedMakefilePackage, {}}, {"$(NXSLIB)/gdbmi.so", res::SShippedDebuggerPackage, {}}};
}

void PublishPackageEnvironment() {
  auto& Saved = Previous();
  if (Saved.empty())
    for (const char* Name : PublishedNames) Saved.emplace_back(Name, GetEnvironmentVariable(Name));
  // The shipped packages and the headers packages compile against, unless the user has
  // named others.
  if (GetEnvironmentVariable("NXSLIB").value_or("").empty()) SetEnvironmentVariable("NXSLIB", ShippedPackagesDir());
  if (GetEnvironmentVariable("NXSINCLUDE").value_or("").empty())
    SetEnvironmentVariable("NXSINCLUDE", PackageIncludeDir());
  PublishStartupVariables();
  try {
    FileSystem().ForceDirectories(GetEnvironmentVariable("NXSPROJECTSDIR").value_or(""));
  } catch (const Exception&) {
    // A home the user may not write: the projects folder waits for the first save there.
  }
}

void RestorePackageEnvironment() {
  for (const auto& [Name, Value] : Previous()) {
    if (Value) SetEnvironmentVariable(Name, *Value);
    else ::unsetenv(Name.c_str());
  }
  Previous().clear();
}

void LoadEnvironmentPackages(TSettingsStore& Store, const std::vector<std::string>& Personalities) {
  for (const char* Section : AssemblySections)
    for (const std::string& File : Store.ReadValueNames(Section)) {
      auto Library = std::make_unique<TLibraryPackage>(ExpandRootMacros(File));
      try {
        Library->Load();
        Assemblies().push_back(std::move(Library));
      } catch (const std::exception& E) {
        Questions().ShowMessage(E.what());
      }
    }
  TIDEPackageList List(Store, ShippedIDEPackages());
  LoadIDEPackages(List, Personalities);
  TDisabledPackages Disabled(Store, SDisabledPackagesKey);
  for (const std::string& File : Store.ReadValueNames(SKnownPackagesKey)) {
    if (Disabled.Contains(File)) continue;
    TDesignPackage* P = Packages().AddPackage(std::make_unique<TDesignPackage>(File));
    try {
      P->Load();
    } catch (const std::exception& E) {
      Packages().RemovePackage(P);
      Questions().ShowMessage(E.what());
    }
  }
}

void UnloadEnvironmentPackages() {
  DonePackages();
  // The packages that link against them are gone: the last loaded first.
  auto& A = Assemblies();
  while (!A.empty()) A.pop_back();
}

namespace {

// The loaded package that building Project makes.
TDesignPackage* PackageBuiltBy(const TProjectBuildInfo& Entry) {
  if (!Entry.Project) return nullptr;
  std::string Name = ChangeFileExt(ExtractFileName(Entry.Project->GetFileName()), ".so");
  for (char& C : Name) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  for (int I = 0; I < Packages().GetCount(); ++I) {
    TDesignPackage* P = Packages().GetPackages(I);
    if (P->IsLoaded() && P->GetDisplayName() == Name) return P;
  }
  return nullptr;
}

const int BuildWatcher = 0;

}  // namespace

void WatchPackageBuilds(bool On) {
  ProjectCompileStarted().Remove(&BuildWatcher);
  ProjectCompileFinished().Remove(&BuildWatcher);
  if (!On) return;
  ProjectCompileStarted().Add(&BuildWatcher, [](TEvProjectCompile& E) {
    if (TDesignPackage* P = PackageBuiltBy(E.Entry)) Packages().UnloadForCompile(P);
  });
  ProjectCompileFinished().Add(&BuildWatcher, [](TEvProjectCompile&) {
    if (Packages().UnloadedPackages().empty()) return;
    try {
      Packages().ReloadPackages();
    } catch (const std::exception& E) {
      Questions().ShowMessage(E.what());
    }
  });
}

std::vector<TPackageListing> ListPackages(TSettingsStore& Store) {
  std::vector<TPackageListing> Out;
  TIDEPackageList List(Store, ShippedIDEPackages());
  for (int I = 0; I < List.Count(); ++I) {
    const TIDEPackageEntry& E = List.Entry(I);
    const std::string State = List.IsDisabled(I) ? "disabled" : IsLoaded(List.FileName(I)) ? "loaded" : "unloaded";
    Out.push_back({"ide", State, E.FileName, E.Description, E.Personalities});
  }
  TDisabledPackages Disabled(Store, SDisabledPackagesKey);
  for (const std::string& File : Store.ReadValueNames(SKnownPackagesKey)) {
    const std::string State = Disabled.Contains(File) ? "disabled" : IsLoaded(File) ? "loaded" : "unloaded";
    Out.push_back({"design", State, File, Store.ReadString(SKnownPackagesKey, File), {}});
  }
  for (const char* Section : AssemblySections)
    for (const std::string& File : Store.ReadValueNames(Section))
      Out.push_back({"assembly", IsLoaded(ExpandRootMacros(File)) ? "loaded" : "unloaded", File,
                     Store.ReadString(Section, File), {}});
  return Out;
}

void InstallPackage(TSettingsStore& Store, const std::string& FileName, TInstallKind Kind) {
  const std::string File = ExpandFileName(FileName);
  for (const char* Section : {SKnownPackagesKey, SKnownIDEPackagesKey, SKnownIDEAssembliesKey, SKnownAssembliesKey})
    if (Store.ValueExists(Section, File)) throw Exception(Format(res::SPackageAlreadyInstalled, File));
  if (Kind == TInstallKind::ikAssembly) {
    auto Library = std::make_unique<TLibraryPackage>(File);
    Library->Load();
    Assemblies().push_back(std::move(Library));
    Store.WriteString(SKnownAssembliesKey, File, "");
    return;
  }
  TDesignPackage* P = Kind == TInstallKind::ikIDE ? LoadIDEPackage(File) : nullptr;
  if (!P) {
    P = Packages().AddPackage(std::make_unique<TDesignPackage>(File));
    try {
      P->Load();
    } catch (...) {
      Packages().RemovePackage(P);
      throw;
    }
  }
  Store.WriteString(SectionOf(Kind), File, P->GetDescription());
}

void UninstallPackage(TSettingsStore& Store, const std::string& Name) {
  std::optional<std::string> File;
  const char* Section = nullptr;
  for (const char* S : {SKnownPackagesKey, SKnownIDEPackagesKey, SKnownIDEAssembliesKey, SKnownAssembliesKey})
    if (!File && (File = FindEntry(Store.ReadValueNames(S), Name))) Section = S;
  if (!File) {
    TIDEPackageList List(Store, ShippedIDEPackages());
    for (const TIDEPackageEntry& E : List.Entries())
      if (Names(E.FileName, Name)) throw Exception(Format(res::SNotADesignPackage, Name));
    throw Exception(Format(res::SNoSuchPackage, Name));
  }
  const std::string Loaded = ExpandRootMacros(*File);
  for (int I = 0; I < Packages().GetCount(); ++I)
    if (Packages().GetPackages(I)->GetModuleFileName() == Loaded) {
      Packages().RemovePackage(Packages().GetPackages(I));
      break;
    }
  std::erase_if(Assemblies(), [&](const auto& A) { return A->GetModuleFileName() == Loaded; });
  TSettingsUpdate Update(Store);
  Store.DeleteValue(Section, *File);
  Store.DeleteValue(Section == SKnownIDEPackagesKey ? SDisabledIDEPackagesKey : SDisabledPackagesKey, *File);
}

namespace {

// The disabled list and the entry that Name names, IDE packages first.
std::pair<TDisabledPackages, std::pair<std::string, std::string>> Lookup(TSettingsStore& Store, const std::string& Name) {
  TIDEPackageList List(Store, ShippedIDEPackages());
  for (const TIDEPackageEntry& E : List.Entries())
    if (Names(E.FileName, Name)) return {TDisabledPackages(Store), {E.FileName, E.Description}};
  if (auto File = FindEntry(Store.ReadValueNames(SKnownPackagesKey), Name))
    return {TDisabledPackages(Store, SDisabledPackagesKey), {*File, Store.ReadString(SKnownPackagesKey, *File)}};
  throw Exception(Format(res::SNoSuchPackage, Name));
}

}  // namespace

void EnablePackage(TSettingsStore& Store, const std::string& Name) {
  auto [Disabled, Entry] = Lookup(Store, Name);
  Disabled.Remove(Entry.first);
}

void DisablePackage(TSettingsStore& Store, const std::string& Name) {
  auto [Disabled, Entry] = Lookup(Store, Name);
  Disabled.Add(Entry.first, Entry.second);
}

}  // namespace nxs
