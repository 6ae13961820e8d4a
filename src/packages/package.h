// One package file: a shared library that the process loads with dlopen, with the information
// its section carries (what it requires and contains, its flags word, its symbol file and the
// platforms it targets). Loading it runs its code, so a file or folder that another user may
// change is refused before dlopen sees it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "packages/pkginfo.h"
#include "shared/exceptions.h"

namespace nxs {

// A package could not be loaded: missing, refused as unsafe, or refused by the dynamic loader.
class EPackageLoadError : public Exception {
 public:
  using Exception::Exception;
};

// The package file does not exist (nor does a link's target).
class EPackageMissing : public EPackageLoadError {
 public:
  using EPackageLoadError::EPackageLoadError;
};

// Refuses (EPackageLoadError, naming the file and why) a package file that is no regular file,
// or that it or its folder may be written by another user: group- or world-writable, or
// owned by someone other than the user and root. Symbolic links are followed, and the folder
// that holds the link is checked as well as the one that holds the file.
void CheckPackageFileSafe(const std::string& FileName);

// Told how long each timed stage of loading packages took: its label ("TPackage.Load",
// "IDERegister Procedure", "Startup"), what it was about (a file, a unit, "IDE Package Load")
// and the time in milliseconds. Nothing is timed while no timer is set.
using TPackageTimer = std::function<void(const std::string& Label, const std::string& Subject, double Milliseconds)>;
void SetPackageTimer(TPackageTimer Timer);

// Times its scope for the package timer; a scope left by an exception is timed too.
class TPackageTiming {
 public:
  TPackageTiming(const char* Label, std::string Subject);
  ~TPackageTiming();
  TPackageTiming(const TPackageTiming&) = delete;  // reports once
  TPackageTiming& operator=(const TPackageTiming&) = delete;

 private:
  const char* FLabel;
  std::string FSubject;
  bool FOn;
  std::chrono::steady_clock::time_point FStart;
};

class TPackage {
 public:
  explicit TPackage(std::string FileName);
  virtual ~TPackage();
  TPackage(const TPackage&) = delete;  // owns its library handle
  TPackage& operator=(const TPackage&) = delete;

  // Loads the library (nothing when it is loaded already) and reads its information.
  virtual void Load();
  virtual void Unload();
  bool IsLoaded() const { return FHandle != nullptr; }
  // Reads the information again from the file: requires, contains, symbol file, flags, targets.
  void Update();
  void Clear();
  // Takes over a handle the process already holds; the package does not close it.
  void SetHandle(void* Handle);
  void* Handle() const { return FHandle; }
  // The address of the exported symbol Name in the loaded library; nullptr when there is none.
  // Symbols the linker cannot export under their own name (names with "@") are found in the
  // library's symbol tables.
  void* FindSymbol(const std::string& Name) const;

  const std::vector<std::string>& Requires() const { return FRequiresList; }
  const std::vector<TContainedUnit>& Contains() const { return FContainsList; }
  // The contained units that were pulled in implicitly (neither main nor package units).
  std::vector<std::string> GetImplicitUnits() const;
  const std::string& GetDescription() const { return FDescription; }
  const std::string& GetModuleFileName() const { return FFilename; }
  const std::string& Name() const { return FName; }
  // The file name without its folder, in lower case.
  std::string GetDisplayName() const;
  const std::string& SymbolFileName() const { return FSymbolFileName; }
  void SetSymbolFileName(std::string Name) { FSymbolFileName = std::move(Name); }
  uint32_t TargetedPlatforms() const { return FTargetedPlatforms; }

  uint32_t Flags() const { return FFlags; }
  void SetFlags(uint32_t Flags) { FFlags = Flags; }
  void SetFlagBit(int Bit, bool On);
  bool GetNeverBuild() const { return FFlags & 1u; }
  void SetNeverBuild(bool On) { SetFlagBit(0, On); }
  bool GetDesigntimeOnly() const { return FFlags & 2u; }
  void SetDesigntimeOnly(bool On) { SetFlagBit(1, On); }
  bool GetRuntimeOnly() const { return FFlags & 4u; }
  void SetRuntimeOnly(bool On) { SetFlagBit(2, On); }
  // The two-bit producer number (bits 26-27).
  int GetProducer() const;
  // The four-bit consumer number (bits 20-23) when it is 1 or 2; otherwise 2 for a package
  // whose producer is 2, else 0.
  int GetConsumer() const;

 protected:
  // The loader's two calls, replaceable by a test.
  virtual void* DoLoadPackage(const std::string& FileName);
  virtual void DoUnloadPackage(void* Handle);
  // False for a plain shared library, which carries no package information: loading it reads
  // none.
  virtual bool CarriesInformation() const { return true; }
  void SetInfo(const TPackageInfoRecord& Info);
  // Reads the information from the file without loading the library; a file that is no
  // package raises EPackageLoadError "Can't load package FILE." and the reason.
  void ReadInformation();

 private:
  std::vector<std::string> FRequiresList;
  std::vector<TContainedUnit> FContainsList;
  std::string FFilename;
  void* FHandle = nullptr;
  bool FImplicit = false;
  std::string FName;
  uint32_t FTargetedPlatforms = 1;
  uint32_t FFlags = 0;
  std::string FSymbolFileName;
  std::string FDescription;
};

// A package read for its information only: the library is never loaded, so none of its code
// runs. The constructor reads the information; a file that is no package raises
// EPackageLoadError "Can't load package FILE." and the reason on the next line.
class TPackageInfo : public TPackage {
 public:
  explicit TPackageInfo(std::string FileName);
  void Load() override;
};

// A plain shared library that the environment loads for the packages that link against it
// (the "Known Assemblies"): the dynamic loader then finds it loaded, by its name, rather than
// along the library path. It carries no information and registers nothing; it is checked for
// safety as a package is, since loading it runs its code.
class TLibraryPackage : public TPackage {
 public:
  using TPackage::TPackage;

 protected:
  bool CarriesInformation() const override { return false; }
};

}  // namespace nxs
