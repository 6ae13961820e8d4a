// The packages loaded while the environment runs: TDesignPackages (the global Packages) with
// its name table, each TDesignPackage with the packages that require it, and the records of
// what a package registered (TRegModule, TRegClass). A package's registrations are undone
// before its library is closed, so that nothing the environment holds points into it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "packages/package.h"
#include "shared/event.h"

namespace nxs {

class TDesignPackage;
class TDesignPackages;
class TRegModule;

// A registration procedure raised: "Registration procedure, Unit.IDERegister in package FILE
// raised exception class CLASS: MESSAGE".
class EPackageRegistrationException : public Exception {
 public:
  using Exception::Exception;
};

// Declared for load failures that are not to be reported.
class ESilentPackageLoadException : public Exception {
 public:
  ESilentPackageLoadException() : Exception("") {}
};

// The exported name of a unit's registration procedure: the unit name in lower case with its
// first letter (after any leading underscores) raised; in a dotted name every "." becomes "@"
// and every lower-case letter after "@" or "_" is raised; then "@NAME@PROCEDURE$qqrv".
std::string RegistrationEntryName(const std::string& UnitName, const std::string& Procedure);

class TRegClass {
 public:
  TRegClass(std::string ClassRef, TRegModule* Module, std::string Page)
      : FClassRef(std::move(ClassRef)), FModule(Module), FPage(std::move(Page)) {}
  const std::string& ClassRef() const { return FClassRef; }
  TRegModule* Module() const { return FModule; }
  const std::string& Page() const { return FPage; }

 private:
  std::string FClassRef;
  TRegModule* FModule;
  std::string FPage;
};

class TRegModule {
 public:
  TRegModule(std::string Name, TDesignPackage* Package) : FName(std::move(Name)), FPackage(Package) {}
  TRegModule(const TRegModule&) = delete;  // its classes point back at it
  TRegModule& operator=(const TRegModule&) = delete;
  const std::string& Name() const { return FName; }
  TDesignPackage* Package() const { return FPackage; }
  TRegClass& AddClass(const std::string& ClassRef, const std::string& Page);
  const TRegClass* FindClass(const std::string& ClassRef) const;
  const std::vector<std::unique_ptr<TRegClass>>& Classes() const { return FClasses; }

 private:
  std::vector<std::unique_ptr<TRegClass>> FClasses;
  std::string FName;
  TDesignPackage* FPackage;
};

class TDesignPackage : public TPackage {
 public:
  explicit TDesignPackage(std::string FileName) : TPackage(std::move(FileName)) {}
  ~TDesignPackage() override;

  // Loads the library, enters the package in the required-by lists of the packages it requires
  // and runs its registration procedures; raises when loading or a registration fails, with
  // the package unloaded again.
  void Load() override;
  // Undoes the registrations and closes the library.
  void Unload() override;
  // Unloads the package and forgets its registrations.
  void Release();
  // Reads the package's information without loading it and leaves it pending: the list finds
  // it by its names, and its first use (LoadDelayLoadPackage, LoadCustomModuleClass) loads it.
  // Raises EPackageLoadError for a file that is no package.
  void DelayLoad();
  bool Pending() const { return FPending; }
  bool GetInstalled() const { return FInstalled; }
  // Enters this package in (Adding) or removes it from the required-by lists of the packages
  // it requires.
  void UpdateRequiredByLists(bool Adding);
  const std::vector<TDesignPackage*>& RequiredBy() const { return FRequiredByList; }

  TRegModule& AddModule(const std::string& UnitName);
  void RemoveModule(TRegModule* Module);
  TRegModule* FindComponentModule(const std::string& ClassRef) const;
  const TRegClass* GetComponentClass(const std::string& ClassRef) const;
  const std::vector<std::unique_ptr<TRegModule>>& Modules() const { return FModules; }

  // Called by what the package registers, to be undone (last first) before the library closes.
  void AddUnregistration(std::function<void()> Undo);

  TDesignPackages* List() const { return FList; }
  bool OfIDE() const { return FOfIDE; }
  void SetOfIDE(bool On) { FOfIDE = On; }
  bool Compiling() const { return FCompiling; }

 protected:
  // The name of the registration procedure each contained unit may export.
  virtual std::string RegistrationProcedure() const { return "Register"; }
  // Runs the registration procedures of the contained units, last unit first.
  void RunRegistrations();

 private:
  friend class TDesignPackages;
  void InternalUnload();

  std::vector<TDesignPackage*> FRequiredByList;
  TDesignPackages* FList = nullptr;
  bool FOfIDE = false;
  bool FUnloading = false;
  bool FCompiling = false;
  bool FPending = false;
  bool FInstalled = false;
  std::string FGroup;
  std::vector<std::unique_ptr<TRegModule>> FModules;
  std::vector<std::function<void()>> FUndo;
};

// The argument of the package events.
class TEvPackage : public TEvArgs {
 public:
  explicit TEvPackage(TDesignPackage* Package) : Package(Package) {}
  TDesignPackage* Package;
};

class TDesignPackages {
 public:
  TDesignPackages() = default;
  ~TDesignPackages();
  TDesignPackages(const TDesignPackages&) = delete;  // owns the packages
  TDesignPackages& operator=(const TDesignPackages&) = delete;

  // Takes the package into the list (not loading it) and returns it.
  TDesignPackage* AddPackage(std::unique_ptr<TDesignPackage> Package);
  // Unloads the package and drops it.
  void RemovePackage(TDesignPackage* Package);
  // By display name, name without extension or symbol file name, without regard to case.
  TDesignPackage* FindPackage(const std::string& Name);
  TDesignPackage* FindPackageByHandle(void* Handle) const;
  TDesignPackage* GetPackages(int Index) const { return FPackages.at(static_cast<size_t>(Index)).get(); }
  int GetCount() const { return static_cast<int>(FPackages.size()); }
  // Releases every package, those that require others first.
  void Clear();

  // Unloads Package and, recursively, every installed package that requires it, so that its
  // library can be rebuilt; ReloadPackages loads them again.
  void UnloadForCompile(TDesignPackage* Package);
  void ReloadPackages();
  const std::vector<TDesignPackage*>& UnloadedPackages() const { return FUnloadedPackages; }

  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return FUpdating > 0; }

  const TRegClass* GetComponentClass(const std::string& ClassRef) const;
  TRegModule* FindComponentModule(const std::string& ClassRef) const;

  // The package of that name (see FindPackage), loaded now when it was left pending by
  // DelayLoad; nullptr when there is none. Raises when it fails to load, leaving it unloaded
  // and no longer pending.
  TDesignPackage* LoadDelayLoadPackage(const std::string& Name);
  // The registered class ClassRef (a module class a file needs); when no loaded package has
  // registered it, the pending packages load one at a time, in list order, until one does.
  // nullptr when none does. A pending package that fails to load raises.
  const TRegClass* LoadCustomModuleClass(const std::string& ClassRef);

  // The shared libraries of the process itself, by file name: what was loaded before and
  // beside the packages of the list (the host, the libraries it links). Collected at the end
  // of loading the IDE packages; a package that requires one of them finds it there.
  const std::vector<std::string>& GetHostPackages() const { return FHostPackages; }
  void CollectHostPackages();

  // The package whose registration procedures run now, in whichever list; nullptr outside a
  // registration.
  static TDesignPackage* Registering();

  TEvent<TEvPackage> EvBeginUpdate, EvEndUpdate, EvInstalled, EvUninstalled, EvUninstalling;

 private:
  friend class TDesignPackage;
  static std::string Key(const std::string& Name);

  std::vector<std::unique_ptr<TDesignPackage>> FPackages;
  std::unordered_map<std::string, TDesignPackage*> FPackageHash;
  std::vector<TDesignPackage*> FUnloadedPackages;
  std::vector<std::string> FHostPackages;
  bool FFreeing = false;
  int FUpdating = 0;
  TDesignPackage* FCachedPackage = nullptr;
};

// The global package list: made on first use, freed by DonePackages.
TDesignPackages& Packages();
void DonePackages();

}  // namespace nxs
