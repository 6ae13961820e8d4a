#include "packages/designpkgs.h"

#include <cxxabi.h>
#include <link.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <typeinfo>

#include "packages/idepkgs.h"
#include "packages/resstrings.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs {

namespace {

std::string Lower(std::string S) {
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

bool IsLower(char C) { return C >= 'a' && C <= 'z'; }
char Upper(char C) { return IsLower(C) ? static_cast<char>(C - 'a' + 'A') : C; }

std::string WithoutExtension(const std::string& Name) {
  const size_t Dot = Name.rfind('.');
  return Dot == std::string::npos || Dot == 0 ? Name : Name.substr(0, Dot);
}

std::string Demangled(const char* Name) {
  int Status = 0;
  char* Out = abi::__cxa_demangle(Name, nullptr, nullptr, &Status);
  std::string Result = Status == 0 && Out ? Out : Name;
  std::free(Out);
  return Result;
}

// The package whose registration procedures run: registrations happen on the main thread, one
// package at a time (a registration that loads another package nests).
TDesignPackage* RegisteringPackage = nullptr;

std::unique_ptr<TDesignPackages>& PackagesSlot() {
  static std::unique_ptr<TDesignPackages> P;
  return P;
}

}  // namespace

std::string RegistrationEntryName(const std::string& UnitName, const std::string& Procedure) {
  std::string Name = Lower(UnitName);
  size_t First = 0;
  while (First < Name.size() && Name[First] == '_') ++First;
  if (First < Name.size()) Name[First] = Upper(Name[First]);
  if (Name.find('.') != std::string::npos) {
    for (size_t I = 0; I < Name.size(); ++I) {
      if (Name[I] == '.') Name[I] = '@';
      if (I > 0 && (Name[I - 1] == '@' || Name[I - 1] == '_')) Name[I] = Upper(Name[I]);
    }
  }
  return "@" + Name + "@" + Procedure + "$qqrv";
}

TRegClass& TRegModule::AddClass(const std::string& ClassRef, const std::string& Page) {
  FClasses.push_back(std::make_unique<TRegClass>(ClassRef, this, Page));
  return *FClasses.back();
}

const TRegClass* TRegModule::FindClass(const std::string& ClassRef) const {
  for (const auto& C : FClasses)
    if (Lower(C->ClassRef()) == Lower(ClassRef)) return C.get();
  return nullptr;
}

TDesignPackage::~TDesignPackage() { InternalUnload(); }

void TDesignPackage::Load() {
  if (IsLoaded() && FInstalled) return;
  FPending = false;
  PackageSplash(Format(res::SLoadingPackage, GetModuleFileName()));
  TPackage::Load();
  try {
    UpdateRequiredByLists(true);
    RunRegistrations();
  } catch (...) {
    // Half a registration is undone with the rest: nothing may point into a library that
    // is closed again.
    InternalUnload();
    throw;
  }
  FInstalled = true;
  FCompiling = false;
  if (FList) {
    TEvPackage Args(this);
    FList->EvInstalled.Send(Args);
  }
}

void TDesignPackage::Unload() { InternalUnload(); }

void TDesignPackage::Release() {
  InternalUnload();
  FModules.clear();
}

void TDesignPackage::DelayLoad() {
  if (IsLoaded()) return;
  ReadInformation();
  FPending = true;
}

void TDesignPackage::InternalUnload() {
  if (!IsLoaded()) return;
  FUnloading = true;
  UpdateRequiredByLists(false);
  const bool WasInstalled = FInstalled;
  TEvPackage Args(this);
  if (WasInstalled && FList) FList->EvUninstalling.Send(Args);
  // Last registered, first undone; each undo (code of the library) is gone before the
  // library closes.
  while (!FUndo.empty()) {
    std::function<void()> Undo = std::move(FUndo.back());
    FUndo.pop_back();
    try {
      Undo();
    } catch (...) {
      // An undo that fails leaves the rest to run: the library closes either way.
    }
  }
  FModules.clear();
  TPackage::Unload();
  FInstalled = false;
  FUnloading = false;
  if (WasInstalled && FList) FList->EvUninstalled.Send(Args);
}

void TDesignPackage::RunRegistrations() {
  struct TRestore {
    TDesignPackage* Outer = RegisteringPackage;
    ~TRestore() { RegisteringPackage = Outer; }
  } Restore;
  RegisteringPackage = this;
  const std::string Procedure = RegistrationProcedure();
  const std::string ProcedureLabel = Format(res::STimingProcedure, Procedure);
  const std::vector<TContainedUnit>& Units = Contains();
  for (auto It = Units.rbegin(); It != Units.rend(); ++It) {
    auto Entry = reinterpret_cast<void (*)()>(FindSymbol(RegistrationEntryName(It->Name, Procedure)));
    if (!Entry) continue;
    try {
      const TPackageTiming Timing(ProcedureLabel.c_str(), It->Name);
      Entry();
    } catch (const std::exception& E) {
      const std::string Message = *E.what() ? E.what() : res::SNoMessage;
      throw EPackageRegistrationException(
          Format(res::SRegistrationFailed, It->Name, Procedure, GetModuleFileName(), Demangled(typeid(E).name()), Message));
    } catch (...) {
      const std::type_info* Type = abi::__cxa_current_exception_type();
      throw EPackageRegistrationException(Format(res::SRegistrationFailed, It->Name, Procedure, GetModuleFileName(),
                                                 Type ? Demangled(Type->name()) : "?", res::SNoMessage));
    }
  }
}

void TDesignPackage::UpdateRequiredByLists(bool Adding) {
  if (!FList) return;
  for (const std::string& Name : Requires()) {
    TDesignPackage* Required = FList->FindPackage(Name);
    if (!Required || Required == this) continue;
    auto& By = Required->FRequiredByList;
    auto It = std::find(By.begin(), By.end(), this);
    if (Adding && It == By.end()) By.push_back(this);
    if (!Adding && It != By.end()) By.erase(It);
  }
}

TRegModule& TDesignPackage::AddModule(const std::string& UnitName) {
  FModules.push_back(std::make_unique<TRegModule>(UnitName, this));
  return *FModules.back();
}

void TDesignPackage::RemoveModule(TRegModule* Module) {
  std::erase_if(FModules, [&](const std::unique_ptr<TRegModule>& M) { return M.get() == Module; });
}

TRegModule* TDesignPackage::FindComponentModule(const std::string& ClassRef) const {
  for (const auto& M : FModules)
    if (M->FindClass(ClassRef)) return M.get();
  return nullptr;
}

const TRegClass* TDesignPackage::GetComponentClass(const std::string& ClassRef) const {
  const TRegModule* M = FindComponentModule(ClassRef);
  return M ? M->FindClass(ClassRef) : nullptr;
}

void TDesignPackage::AddUnregistration(std::function<void()> Undo) { FUndo.push_back(std::move(Undo)); }

TDesignPackages::~TDesignPackages() { Clear(); }

std::string TDesignPackages::Key(const std::string& Name) { return Lower(Name); }

TDesignPackage* TDesignPackages::AddPackage(std::unique_ptr<TDesignPackage> Package) {
  Package->FList = this;
  TDesignPackage* P = Package.get();
  FPackages.push_back(std::move(Package));
  FPackageHash.emplace(Key(P->GetDisplayName()), P);
  return P;
}

void TDesignPackages::RemovePackage(TDesignPackage* Package) {
  Package->InternalUnload();
  if (FCachedPackage == Package) FCachedPackage = nullptr;
  std::erase(FUnloadedPackages, Package);
  for (auto& P : FPackages) std::erase(P->FRequiredByList, Package);
  for (auto It = FPackageHash.begin(); It != FPackageHash.end();)
    It = It->second == Package ? FPackageHash.erase(It) : std::next(It);
  std::erase_if(FPackages, [&](const std::unique_ptr<TDesignPackage>& P) { return P.get() == Package; });
}

TDesignPackage* TDesignPackages::FindPackage(const std::string& Name) {
  const std::string K = Key(Name);
  if (FCachedPackage && Key(FCachedPackage->GetDisplayName()) == K) return FCachedPackage;
  if (auto It = FPackageHash.find(K); It != FPackageHash.end()) return FCachedPackage = It->second;
  for (const auto& P : FPackages) {
    const std::string Display = P->GetDisplayName();
    const std::string Symbols = Key(P->SymbolFileName());
    if (K == WithoutExtension(Display) || (!Symbols.empty() && (K == Symbols || K == WithoutExtension(Symbols))))
      return FCachedPackage = P.get();
  }
  return nullptr;
}

TDesignPackage* TDesignPackages::FindPackageByHandle(void* Handle) const {
  if (!Handle) return nullptr;
  for (const auto& P : FPackages)
    if (P->Handle() == Handle) return P.get();
  return nullptr;
}

void TDesignPackages::Clear() {
  if (FFreeing) return;
  FFreeing = true;
  // The last loaded first: a package goes before those it requires.
  for (auto It = FPackages.rbegin(); It != FPackages.rend(); ++It) (*It)->Release();
  FPackages.clear();
  FPackageHash.clear();
  FUnloadedPackages.clear();
  FCachedPackage = nullptr;
  FFreeing = false;
}

void TDesignPackages::UnloadForCompile(TDesignPackage* Package) {
  BeginUpdate();
  std::set<TDesignPackage*> Seen;
  std::function<void(TDesignPackage*)> Walk = [&](TDesignPackage* P) {
    if (!Seen.insert(P).second) return;
    // Those that require it go first: none may outlive what it rests on.
    const std::vector<TDesignPackage*> By = P->FRequiredByList;
    for (TDesignPackage* R : By) Walk(R);
    P->FCompiling = true;
    if (!P->IsLoaded()) return;
    if (std::find(FUnloadedPackages.begin(), FUnloadedPackages.end(), P) == FUnloadedPackages.end())
      FUnloadedPackages.push_back(P);
    P->InternalUnload();
  };
  try {
    Walk(Package);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TDesignPackages::ReloadPackages() {
  BeginUpdate();
  std::exception_ptr First;
  // The package that was rebuilt was unloaded last: it loads first, then those requiring it.
  std::vector<TDesignPackage*> Unloaded;
  Unloaded.swap(FUnloadedPackages);
  for (auto It = Unloaded.rbegin(); It != Unloaded.rend(); ++It) {
    try {
      (*It)->Load();
    } catch (...) {
      if (!First) First = std::current_exception();
    }
  }
  for (const auto& P : FPackages) P->FCompiling = false;
  EndUpdate();
  if (First) std::rethrow_exception(First);
}

void TDesignPackages::BeginUpdate() {
  if (FUpdating++ > 0) return;
  TEvPackage Args(nullptr);
  EvBeginUpdate.Send(Args);
}

void TDesignPackages::EndUpdate() {
  if (FUpdating == 0 || --FUpdating > 0) return;
  TEvPackage Args(nullptr);
  EvEndUpdate.Send(Args);
}

const TRegClass* TDesignPackages::GetComponentClass(const std::string& ClassRef) const {
  for (const auto& P : FPackages)
    if (const TRegClass* C = P->GetComponentClass(ClassRef)) return C;
  return nullptr;
}

TRegModule* TDesignPackages::FindComponentModule(const std::string& ClassRef) const {
  for (const auto& P : FPackages)
    if (TRegModule* M = P->FindComponentModule(ClassRef)) return M;
  return nullptr;
}

TDesignPackage* TDesignPackages::LoadDelayLoadPackage(const std::string& Name) {
  TDesignPackage* P = FindPackage(Name);
  if (P && P->FPending) P->Load();
  return P;
}

const TRegClass* TDesignPackages::LoadCustomModuleClass(const std::string& ClassRef) {
  if (const TRegClass* C = GetComponentClass(ClassRef)) return C;
  // By index: a registration may add packages to the list.
  for (size_t I = 0; I < FPackages.size(); ++I) {
    TDesignPackage* P = FPackages[I].get();
    if (!P->FPending) continue;
    P->Load();
    if (const TRegClass* C = P->GetComponentClass(ClassRef)) return C;
  }
  return nullptr;
}

void TDesignPackages::CollectHostPackages() {
  std::vector<std::string> Found;
  ::dl_iterate_phdr(
      [](dl_phdr_info* Info, size_t, void* Data) {
        // The program itself and the kernel's virtual library have no file name of their own.
        if (Info->dlpi_name && *Info->dlpi_name) static_cast<std::vector<std::string>*>(Data)->emplace_back(Info->dlpi_name);
        return 0;
      },
      &Found);
  FHostPackages.clear();
  for (const std::string& File : Found) {
    bool OfList = false;
    for (const auto& P : FPackages) OfList = OfList || (P->IsLoaded() && P->GetModuleFileName() == File);
    if (!OfList) FHostPackages.push_back(File);
  }
}

TDesignPackage* TDesignPackages::Registering() { return RegisteringPackage; }

TDesignPackages& Packages() {
  auto& P = PackagesSlot();
  if (!P) P = std::make_unique<TDesignPackages>();
  return *P;
}

void DonePackages() { PackagesSlot().reset(); }

}  // namespace nxs
