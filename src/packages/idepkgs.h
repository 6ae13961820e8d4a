// The IDE packages: the list the environment loads at start-up (settings "IDEPackages", with a
// sub-key per personality), the packages the user disabled ("Disabled IDE Packages"), loading
// them with the personality filter, and what happens when one fails.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "packages/designpkgs.h"

namespace nxs {

class TSettingsStore;

inline constexpr const char* SIDEPackagesKey = "IDEPackages";
inline constexpr const char* SDisabledIDEPackagesKey = "Disabled IDE Packages";
// The IDE packages the user installed: loaded at every start after the list above, whichever
// list that is (the settings' or the shipped one).
inline constexpr const char* SKnownIDEPackagesKey = "Known IDE Packages";
// The packages the user listed or installed that were missing at a start and that the user
// wants tried again: while they stay missing, later starts pass them by without asking again.
inline constexpr const char* SMissingIDEPackagesKey = "Missing IDE Packages";
// Packages the environment cannot run without: a failure to load one ends the process.
inline constexpr const char* SRequiredIDEPackagesKey = "Required IDE Packages";

// An IDE package: part of the environment itself, loaded once at start-up. Its units'
// registration procedures are called "IDERegister".
class TIDEPackage : public TDesignPackage {
 public:
  using TDesignPackage::TDesignPackage;

 protected:
  std::string RegistrationProcedure() const override { return "IDERegister"; }
};

// A list of packages by file name, with their descriptions, kept in a section of the settings:
// the disabled IDE packages unless another section is named.
class TDisabledPackages {
 public:
  explicit TDisabledPackages(TSettingsStore& Store, std::string Section = SDisabledIDEPackagesKey);
  bool Contains(const std::string& FileName) const;
  // Records the package and saves the list.
  void Add(const std::string& FileName, const std::string& Description);
  // Drops the package from the list and saves it; false when it was not there.
  bool Remove(const std::string& FileName);
  std::vector<std::string> FileNames() const;

 private:
  TSettingsStore& FStore;
  std::string FSection;
};

struct TIDEPackageEntry {
  std::string FileName;  // as the settings hold it, macros such as $(NXSLIB) unexpanded
  std::string Description;
  std::vector<std::string> Personalities;  // empty: every personality
  // Where the entry comes from: the settings' list, the shipped list that stands in for none,
  // or the packages the user installed ("Known IDE Packages").
  enum TSource { psListed, psShipped, psInstalled } Source = psListed;
};

class TIDEPackageList {
 public:
  // The list the settings hold; the shipped packages (Defaults) when they hold none.
  TIDEPackageList(TSettingsStore& Store, std::vector<TIDEPackageEntry> Defaults = {});
  const std::vector<TIDEPackageEntry>& Entries() const { return FEntries; }
  int Count() const { return static_cast<int>(FEntries.size()); }
  const TIDEPackageEntry& Entry(int Index) const { return FEntries.at(static_cast<size_t>(Index)); }
  // The entry's file name with the published variables ("$(NXSLIB)") replaced.
  std::string FileName(int Index) const;
  bool IsDisabled(int Index) const;
  bool IsRequired(int Index) const;
  TDisabledPackages& Disabled() { return FDisabled; }

  // Tells the user that package Index failed with Error and asks, unless the package is
  // required, whether to try it at the next start; "No" disables it. "Yes" for a package file
  // that is missing is kept, so that the next starts do not ask while it stays missing. A
  // required package's failure ends the process (see SetPackageTerminate).
  void HandleError(std::exception_ptr Error, int Index);
  // Whether the package was missing and the user wants it tried again without being asked;
  // LoadIDEPackages forgets that once it loads.
  bool IsMissingKept(int Index) const;
  void ForgetMissing(int Index);

 private:
  std::vector<TIDEPackageEntry> FEntries;
  std::vector<std::string> FRequired;
  TDisabledPackages FDisabled;
  TDisabledPackages FMissing;
};

// Loads the list's packages in order into Packages(), skipping disabled ones and, when
// Personalities is not empty, those whose personalities are all outside it. A package that
// fails goes to HandleError and the next one loads, but a shipped package whose file is
// missing (a build of nxs alone) is passed by with a line on the splash, not a question.
void LoadIDEPackages(TIDEPackageList& List, const std::vector<std::string>& Personalities);
// Loads one IDE package (or marks an already known package as one) and returns it.
TDesignPackage* LoadIDEPackage(const std::string& FileName);

// A wizard a package adds to the environment's menus and galleries.
class IOTAWizard {
 public:
  virtual ~IOTAWizard() = default;
  virtual std::string GetIDString() const = 0;
  virtual std::string GetName() const = 0;
  virtual void Execute() = 0;
};
// Told of each wizard a package registers; the host that shows wizards sets it.
using TWizardRegisteredProc = std::function<void(const std::shared_ptr<IOTAWizard>& Wizard)>;
extern TWizardRegisteredProc WizardRegisteredProc;
// Hands the wizard to WizardRegisteredProc; nothing when it is not set.
void WizardRegistered(const std::shared_ptr<IOTAWizard>& Wizard);

// How a required package's failure ends the process; std::_Exit(1) unless a test sets another.
using TPackageTerminate = void (*)(int Status);
void SetPackageTerminate(TPackageTerminate Terminate);

// What the package list shows while it loads ("Loading package FILE", "All IDE packages
// loaded"); nothing unless the host sets it.
void SetPackageSplash(std::function<void(const std::string&)> Splash);
void PackageSplash(const std::string& Text);

}  // namespace nxs
