#include "packages/idepkgs.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "packages/resstrings.h"
#include "projectfiles/macros.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/settings.h"

namespace nxs {

namespace {

void ExitNow(int Status) {
  std::fflush(nullptr);
  std::_Exit(Status);
}

TPackageTerminate Terminate = &ExitNow;

std::function<void(const std::string&)>& Splash() {
  static std::function<void(const std::string&)> S;
  return S;
}

bool Contains(const std::vector<std::string>& List, const std::string& Item) {
  for (const std::string& S : List)
    if (S == Item) return true;
  return false;
}

}  // namespace

TDisabledPackages::TDisabledPackages(TSettingsStore& Store, std::string Section) : FStore(Store), FSection(std::move(Section)) {}

bool TDisabledPackages::Contains(const std::string& FileName) const { return FStore.ValueExists(FSection, FileName); }

void TDisabledPackages::Add(const std::string& FileName, const std::string& Description) {
  FStore.WriteString(FSection, FileName, Description);
}

bool TDisabledPackages::Remove(const std::string& FileName) {
  if (!Contains(FileName)) return false;
  FStore.DeleteValue(FSection, FileName);
  return true;
}

std::vector<std::string> TDisabledPackages::FileNames() const { return FStore.ReadValueNames(FSection); }

TIDEPackageList::TIDEPackageList(TSettingsStore& Store, std::vector<TIDEPackageEntry> Defaults)
    : FDisabled(Store), FMissing(Store, SMissingIDEPackagesKey) {
  const std::vector<std::string> Personalities = Store.ReadSubKeys(SIDEPackagesKey);
  if (!Store.SectionExists(SIDEPackagesKey) && Personalities.empty()) {
    FEntries = std::move(Defaults);
    for (TIDEPackageEntry& E : FEntries) E.Source = TIDEPackageEntry::psShipped;
  } else {
    for (const std::string& File : Store.ReadValueNames(SIDEPackagesKey))
      FEntries.push_back({File, Store.ReadString(SIDEPackagesKey, File), {}});
    // A package listed under personalities only belongs to those; one listed in the main
    // section belongs to every personality.
    std::vector<std::string> Everywhere;
    for (const TIDEPackageEntry& E : FEntries) Everywhere.push_back(E.FileName);
    for (const std::string& Personality : Personalities) {
      const std::string Section = std::string(SIDEPackagesKey) + "\\" + Personality;
      for (const std::string& File : Store.ReadValueNames(Section)) {
        if (Contains(Everywhere, File)) continue;
        TIDEPackageEntry* Entry = nullptr;
        for (TIDEPackageEntry& E : FEntries)
          if (E.FileName == File) Entry = &E;
        if (!Entry) {
          FEntries.push_back({File, Store.ReadString(Section, File), {}});
          Entry = &FEntries.back();
        }
        Entry->Personalities.push_back(Personality);
      }
    }
  }
  // The IDE packages the user installed come after the list, whichever list it is.
  for (const std::string& File : Store.ReadValueNames(SKnownIDEPackagesKey)) {
    bool Listed = false;
    for (const TIDEPackageEntry& E : FEntries) Listed = Listed || E.FileName == File;
    if (!Listed)
      FEntries.push_back({File, Store.ReadString(SKnownIDEPackagesKey, File), {}, TIDEPackageEntry::psInstalled});
  }
  FRequired = Store.ReadValueNames(SRequiredIDEPackagesKey);
}

std::string TIDEPackageList::FileName(int Index) const { return ExpandRootMacros(Entry(Index).FileName); }

bool TIDEPackageList::IsDisabled(int Index) const {
  return FDisabled.Contains(Entry(Index).FileName) || FDisabled.Contains(FileName(Index));
}

bool TIDEPackageList::IsRequired(int Index) const {
  return Contains(FRequired, Entry(Index).FileName) || Contains(FRequired, FileName(Index));
}

void TIDEPackageList::HandleError(std::exception_ptr Error, int Index) {
  std::string Message;
  try {
    std::rethrow_exception(Error);
  } catch (const std::bad_alloc& E) {
    // Out of memory: told as it is; asking anything more could fail the same way.
    Questions().ShowMessage(E.what());
    return;
  } catch (const std::exception& E) {
    Message = E.what();
  } catch (...) {
    Message = res::SNoMessage;
  }
  const TIDEPackageEntry& E = Entry(Index);
  const std::string File = FileName(Index);
  const std::string Name = E.Description.empty() ? File : Format(res::SPackageNamed, E.Description, File);
  std::string Text = Message;
  if (Message.find(ExtractFileName(File)) == std::string::npos) Text = Format(res::SCantLoadPackage, Name, Message);
  if (IsRequired(Index)) {
    Text += "\n" + Format(res::SRequiredPackageMissing, res::SProductBaseName) + "\n" +
            Format(res::SWillNowExit, res::SProductBaseName);
    Questions().MessageDlg(Text, TMsgDlgType::mtError, mbOK, mrOk);
    Terminate(1);
    return;
  }
  Text += "\n" + Format(res::SLoadNextTime, res::SProductBaseName);
  if (Questions().MessageDlg(Text, TMsgDlgType::mtError, mbYes | mbNo, mrYes) == mrNo) {
    FDisabled.Add(E.FileName, E.Description);
    return;
  }
  try {
    std::rethrow_exception(Error);
  } catch (const EPackageMissing&) {
    FMissing.Add(E.FileName, E.Description);
  } catch (...) {
  }
}

bool TIDEPackageList::IsMissingKept(int Index) const { return FMissing.Contains(Entry(Index).FileName); }

void TIDEPackageList::ForgetMissing(int Index) {
  if (IsMissingKept(Index)) FMissing.Remove(Entry(Index).FileName);
}

void LoadIDEPackages(TIDEPackageList& List, const std::vector<std::string>& Personalities) {
  const TPackageTiming Timing(res::STimingStartup, res::STimingIDEPackageLoad);
  TDesignPackages& P = Packages();
  P.BeginUpdate();
  struct TEnd {
    TDesignPackages& P;
    ~TEnd() { P.EndUpdate(); }
  } End{P};
  for (int I = 0; I < List.Count(); ++I) {
    if (List.IsDisabled(I)) continue;
    const TIDEPackageEntry& E = List.Entry(I);
    if (!Personalities.empty() && !E.Personalities.empty()) {
      bool Wanted = false;
      for (const std::string& Personality : E.Personalities) Wanted = Wanted || Contains(Personalities, Personality);
      if (!Wanted) continue;
    }
    try {
      LoadIDEPackage(List.FileName(I));
      List.ForgetMissing(I);
    } catch (const EPackageMissing&) {
      // A shipped package that was not built, or one the user said to keep trying: told on the
      // splash, asked about at most once.
      if (E.Source == TIDEPackageEntry::psShipped || List.IsMissingKept(I))
        PackageSplash(Format(res::SPackageLeftOut, List.FileName(I)));
      else
        List.HandleError(std::current_exception(), I);
    } catch (...) {
      List.HandleError(std::current_exception(), I);
    }
  }
  PackageSplash(res::SAllIDEPackagesLoaded);
  P.CollectHostPackages();
}

TDesignPackage* LoadIDEPackage(const std::string& FileName) {
  TDesignPackages& P = Packages();
  for (int I = 0; I < P.GetCount(); ++I) {
    TDesignPackage* Known = P.GetPackages(I);
    if (Known->GetModuleFileName() != FileName) continue;
    Known->SetOfIDE(true);
    if (!Known->GetInstalled()) Known->Load();
    return Known;
  }
  TDesignPackage* New = P.AddPackage(std::make_unique<TIDEPackage>(FileName));
  New->SetOfIDE(true);
  try {
    New->Load();
  } catch (...) {
    P.RemovePackage(New);
    throw;
  }
  return New;
}

TWizardRegisteredProc WizardRegisteredProc;

void WizardRegistered(const std::shared_ptr<IOTAWizard>& Wizard) {
  if (WizardRegisteredProc) WizardRegisteredProc(Wizard);
}

void SetPackageTerminate(TPackageTerminate T) { Terminate = T ? T : &ExitNow; }

void SetPackageSplash(std::function<void(const std::string&)> S) { Splash() = std::move(S); }

void PackageSplash(const std::string& Text) {
  if (Splash()) Splash()(Text);
}

}  // namespace nxs
