#include "packages/package.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "packages/resstrings.h"
#include "shared/filenames.h"
#include "shared/fileprobes.h"
#include "shared/format.h"

namespace nxs {

namespace {

std::string FolderOf(const std::string& Path) {
  const size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) return ".";
  return Slash == 0 ? "/" : Path.substr(0, Slash);
}

// Refuses Path (the package file itself, or a folder on its way) when another user may
// write it.
void CheckOwnerAndMode(const std::string& Package, const std::string& Path, bool MustBeFile) {
  NoteFileProbe(Path);
  struct stat St {};
  if (::stat(Path.c_str(), &St) != 0) throw EPackageLoadError(Format(res::SPackageMissing, Package, Path));
  if (MustBeFile && !S_ISREG(St.st_mode)) throw EPackageLoadError(Format(res::SPackageNotRegularFile, Package, Path));
  if (St.st_uid != ::geteuid() && St.st_uid != 0)
    throw EPackageLoadError(Format(res::SPackageForeignOwner, Package, Path, static_cast<unsigned>(St.st_uid)));
  if (St.st_mode & (S_IWGRP | S_IWOTH)) {
    char Mode[8];
    std::snprintf(Mode, sizeof Mode, "%04o", static_cast<unsigned>(St.st_mode & 07777));
    throw EPackageLoadError(Format(res::SPackageWritableByOthers, Package, Path, Mode));
  }
}

TPackageTimer& Timer() {
  static TPackageTimer T;
  return T;
}

}  // namespace

void SetPackageTimer(TPackageTimer T) { Timer() = std::move(T); }

TPackageTiming::TPackageTiming(const char* Label, std::string Subject)
    : FLabel(Label), FSubject(std::move(Subject)), FOn(static_cast<bool>(Timer())) {
  if (FOn) FStart = std::chrono::steady_clock::now();
}

TPackageTiming::~TPackageTiming() {
  if (!FOn || !Timer()) return;
  const std::chrono::duration<double, std::milli> Took = std::chrono::steady_clock::now() - FStart;
  Timer()(FLabel, FSubject, Took.count());
}

void CheckPackageFileSafe(const std::string& FileName) {
  NoteFileProbe(FileName);
  char Resolved[PATH_MAX];
  if (!::realpath(FileName.c_str(), Resolved)) {
    const int Err = errno;
    if (Err == ENOENT || Err == ENOTDIR) throw EPackageMissing(Format(res::SPackageMissing, FileName, FileName));
    throw EPackageLoadError(Format(res::SPackageUnreachable, FileName, std::strerror(Err)));
  }
  const std::string Real = Resolved;
  CheckOwnerAndMode(FileName, Real, true);
  CheckOwnerAndMode(FileName, FolderOf(Real), false);
  // A link in a folder that others may write could be pointed elsewhere between the check
  // and the load.
  if (Real != FileName) {
    char Folder[PATH_MAX];
    if (::realpath(FolderOf(FileName).c_str(), Folder) && Folder != FolderOf(Real))
      CheckOwnerAndMode(FileName, Folder, false);
  }
}

TPackage::TPackage(std::string FileName) : FFilename(std::move(FileName)), FName(ExtractFileName(FFilename)) {}

TPackage::~TPackage() {
  if (FHandle && !FImplicit) DoUnloadPackage(FHandle);
}

void* TPackage::DoLoadPackage(const std::string& FileName) {
  CheckPackageFileSafe(FileName);
  // A name without a folder would send dlopen along the library path.
  const std::string Path = FileName.find('/') == std::string::npos ? "./" + FileName : FileName;
  void* Handle = ::dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Handle) {
    const char* Why = ::dlerror();
    throw EPackageLoadError(Format(res::SCantLoadPackage, FileName, Why ? Why : ""));
  }
  return Handle;
}

void TPackage::DoUnloadPackage(void* Handle) { ::dlclose(Handle); }

void TPackage::Load() {
  if (FHandle && !FImplicit) return;
  const TPackageTiming Timing(res::STimingPackageLoad, FFilename);
  if (FHandle) {
    // Hold a reference of our own on a library we took over.
    FHandle = DoLoadPackage(FFilename);
    FImplicit = false;
    return;
  }
  Clear();
  FHandle = DoLoadPackage(FFilename);
  if (!CarriesInformation()) return;
  try {
    Update();
  } catch (...) {
    DoUnloadPackage(FHandle);
    FHandle = nullptr;
    throw;
  }
}

void TPackage::Unload() {
  if (!FHandle) return;
  void* Handle = FHandle;
  const bool Implicit = FImplicit;
  FHandle = nullptr;
  FImplicit = false;
  if (!Implicit) DoUnloadPackage(Handle);
}

void TPackage::SetInfo(const TPackageInfoRecord& Info) {
  FRequiresList = Info.Requires;
  FContainsList = Info.Contains;
  FSymbolFileName = Info.SymbolFileName;
  FFlags = Info.Flags;
  FTargetedPlatforms = Info.Targets ? Info.Targets : 1;
  FDescription = Info.Description;
}

void TPackage::Update() {
  Clear();
  try {
    SetInfo(ReadPackageInfo(FFilename));
  } catch (const EElfError& E) {
    throw EPackageLoadError(E.what());
  }
}

void TPackage::ReadInformation() {
  Clear();
  try {
    SetInfo(ReadPackageInfo(FFilename));
  } catch (const EElfError& E) {
    throw EPackageLoadError(Format(res::SCantLoadPackage, FFilename, E.what()));
  }
}

void TPackage::Clear() {
  FRequiresList.clear();
  FContainsList.clear();
  FSymbolFileName.clear();
  FDescription.clear();
  FTargetedPlatforms = 1;
}

void TPackage::SetHandle(void* Handle) {
  if (FHandle && !FImplicit) DoUnloadPackage(FHandle);
  FHandle = Handle;
  FImplicit = Handle != nullptr;
}

void* TPackage::FindSymbol(const std::string& Name) const {
  if (!FHandle) return nullptr;
  if (void* Address = ::dlsym(FHandle, Name.c_str())) return Address;
  // Names the linker reads as versioned ("@Unit@IDERegister$qqrv") stay local symbols in
  // the library: their address is the load base plus their value in the file.
  try {
    TElfFile File(ElfFileBytes(FFilename), FFilename);
    const std::optional<TElfSymbol> Symbol = File.FindSymbol(Name);
    if (!Symbol || Symbol->Type != 2 /* STT_FUNC */) return nullptr;
    link_map* Map = nullptr;
    if (::dlinfo(FHandle, RTLD_DI_LINKMAP, &Map) != 0 || !Map) return nullptr;
    return reinterpret_cast<void*>(Map->l_addr + Symbol->Value);
  } catch (const EElfError&) {
    return nullptr;
  }
}

std::vector<std::string> TPackage::GetImplicitUnits() const {
  std::vector<std::string> Units;
  for (const TContainedUnit& U : FContainsList)
    if ((U.Flags & ufImplicitUnit) && !(U.Flags & (ufMainUnit | ufPackageUnit))) Units.push_back(U.Name);
  return Units;
}

std::string TPackage::GetDisplayName() const {
  std::string Name = FName;
  for (char& C : Name) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Name;
}

void TPackage::SetFlagBit(int Bit, bool On) {
  if (On) FFlags |= 1u << Bit;
  else FFlags &= ~(1u << Bit);
}

int TPackage::GetProducer() const { return static_cast<int>((FFlags >> 26) & 3u); }

int TPackage::GetConsumer() const {
  const int Consumer = static_cast<int>((FFlags >> 20) & 0xfu);
  if (Consumer == 1 || Consumer == 2) return Consumer;
  return GetProducer() == 2 ? 2 : 0;
}

TPackageInfo::TPackageInfo(std::string FileName) : TPackage(std::move(FileName)) { Load(); }

void TPackageInfo::Load() { ReadInformation(); }

}  // namespace nxs
