// The project module: a project open in the environment. TBaseProject ties the project
// document, its local document (".local"), its configurations and its node in the project tree
// together; it keeps the project GUID and version, the processes started from it and the
// transaction list of file operations, converts old project files when they open, and renames
// the modules of its files inside a transaction. TCustomCodeIProject is the face the rest of the
// environment talks to; TCustomProject adds the save protocol.
#pragma once

#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "modules/docmodule.h"
#include "modules/openhandlers.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "projects/containers.h"
#include "shared/event.h"

namespace nxs {

class TBaseProject;

// -- Events ------------------------------------------------------------------------------------

class TEvProjectModule : public TEvArgs {
 public:
  TEvProjectModule(TBaseProject* Project, std::string FileName, std::string NewFileName = {})
      : Project(Project), FileName(std::move(FileName)), NewFileName(std::move(NewFileName)) {}
  TBaseProject* Project;
  std::string FileName;
  std::string NewFileName;
};
using TEvModuleAdded = TEvProjectModule;
using TEvModuleRemoved = TEvProjectModule;
using TEvModuleRenamed = TEvProjectModule;
using TEvProjectRename = TEvProjectModule;
using TEvProjectSaved = TEvProjectModule;
using TEvProjectOptionsChanged = TEvProjectModule;
using TEvTransactionListChanged = TEvProjectModule;

// A project is about to close (the group takes it out).
TEvent<TEvProjectModule>& EvProjectClosing();
// A line for the message view (conversions of old project files).
TEvent<TEvProjectModule>& EvProjectMessage();

// One file operation of the transaction list.
struct TFileTransaction {
  enum TKind { ftRename } Kind = ftRename;
  std::string OldName;
  std::string NewName;
  time_t Time = 0;
};

// The upgrade settings: how an old project file is kept when it is converted.
enum TBackupType : int { btCopy = 0, btRename = 1, btNone = 2 };
struct TUpgradeSettings {
  int BackupType = btCopy;
  std::string BackupSuffix = ".bak";
  bool ShowDialog = false;
};
// Read from the settings section "ProjectUpgrade" ("BackupType", "BackupSuffix", "ShowDialog").
TUpgradeSettings ReadUpgradeSettings();
// The upgrade dialog: may change the settings; false when the user cancelled (the open is
// aborted). Without a dialog the settings stand.
void SetUpgradeDialog(std::function<bool(TUpgradeSettings&)> Dialog);

// The project version the environment writes.
inline constexpr int CurrentProjectVersionMajor = 20;
inline constexpr int CurrentProjectVersionMinor = 0;

// -- The module ------------------------------------------------------------------------------------

class TBaseProject : public TDocModule, public IProjectContext, public IContainerProject {
 public:
  ~TBaseProject() override;

  // -- Identity
  std::string GetFileName() const override { return TDocModule::GetFileName(); }
  bool GetIsProject() const override { return true; }
  std::string ModuleClassName() const override { return "TBaseProject"; }
  std::string GetPersonality() const override;
  std::string GetProjectType() const;
  std::string GetApplicationType() const override;
  std::string GetFrameworkType() const override;
  void SetFrameworkType(const std::string& Value);
  std::string GetSaveFilter() const override;

  // -- Documents
  IMSProjectFile& GetProjectDocument() { return *FDocument; }
  IMSProjectFile& GetLocalProjectDocument() { return *FLocal; }
  IMSProjectFile* GetProjectFile() override { return FDocument.get(); }
  TBuildConfigurations* GetConfigurations() override { return FConfigs.get(); }
  std::string LocalFileName() const { return GetFileName() + ".local"; }

  // -- GUID and version
  TGUID GetProjectGUID() const { return FGuid; }
  void GenerateNewGuid();
  // Tells the groups that own the project that its GUID is another now.
  void GuidChanged();
  // "ProjectVersion" split at the first "."; anything not a number reads as 0.
  void ReadProjectVersion(int& Major, int& Minor) const;
  void WriteProjectVersion(int Major, int Minor);

  // -- Files
  const std::vector<TProjectFileItem>& GetProjectFileEntries() override { return FEntries; }
  std::vector<TVirtualFolder> GetVirtualFolders() override;
  std::vector<std::string> GetProjectFileList() const;
  bool FindFileEntry(const std::string& FileName, TProjectFileEntry& Entry) override;
  std::string GetOutputFileName() override;
  bool FileInProject(const std::string& FileName) const;
  bool HoldsFile(const std::string& FileName) const override { return FileInProject(FileName); }
  bool HoldsFileHashed(const std::string& FileName, size_t Hash) const override {
    return FEntryHashes.count(Hash) != 0 && FileInProject(FileName);
  }
  // Adds a file (absolute, or relative to the current directory); Folder names a virtual folder,
  // made when missing. Raises when the file is already in the project.
  void AddFile(const std::string& FileName, const std::string& Folder = {});
  // Removes the file's item; raises when the project does not hold it.
  void RemoveFile(const std::string& FileName);
  // Renames the module of a file of the project, its companion files and the project's
  // reference together: a failure anywhere leaves all of them as they were.
  void RenameModule(const std::string& OldName, const std::string& NewName);
  // RenameModule for names as the user typed them: a NewName without a directory stays in
  // OldName's directory.
  void RenameModuleAsTyped(const std::string& OldName, const std::string& NewName);

  // -- Tree
  TStdProjectContainer& ProjectContainer();
  TNode* GetStorageSection(const std::string& Name, bool Create) override;
  void StorageChanged() override { Modified(); }

  // -- Transactions
  const std::vector<TFileTransaction>& GetTransactionList() const { return FTransactions; }

  // -- Processes
  void AddProcessId(int Pid) { FProcessIds.insert(Pid); }
  void ProcessCreated(int Pid) { AddProcessId(Pid); }
  void ProcessDestroyed(int Pid) { FProcessIds.erase(Pid); }
  std::vector<int> GetProcessIds() const { return {FProcessIds.begin(), FProcessIds.end()}; }
  // True while a process started from the project is alive.
  bool IsProcessProject() const;

  // -- Closing and disk changes
  // Raises "Cannot close %s while it is running" while a process of it runs; else closes the
  // modules it alone owns and then itself.
  bool HideOrClose();
  bool CheckFileDate() override;
  void ReloadFile() override;
  std::vector<TDocModule*> GetDependentModules() override;

  // Writes the local document (always UTF-8 with byte-order mark).
  void SaveLocalFile();

  TEvent<TEvModuleAdded> OnModuleAdded;
  TEvent<TEvModuleRemoved> OnModuleRemoved;
  TEvent<TEvModuleRenamed> OnModuleRenamed;
  TEvent<TEvProjectSaved> OnProjectSaved;
  TEvent<TEvTransactionListChanged> OnTransactionListChanged;

 protected:
  friend class TDocModule;
  explicit TBaseProject(const std::string& FileName);
  void AfterConstruction() override;
  void BeforeDestruction() override;
  void SaveFile() override;
  // Converts an old project file: keeps the old one as the upgrade settings say, reports it,
  // and writes the converted project.
  void UpgradeProject();
  void BackupProject(const TUpgradeSettings& Settings);

 private:
  void LoadDocuments();
  void ReadEntries();
  msb::TItem* FindItem(const std::string& FileName) const;
  std::string RelativeInclude(const std::string& FileName) const;
  void NotifyStorageSaving();

  std::shared_ptr<IMSProjectFile> FDocument;
  std::shared_ptr<IMSProjectFile> FLocal;
  bool FLocalReadable = true;
  std::unique_ptr<TBuildConfigurations> FConfigs;
  std::vector<TProjectFileItem> FEntries;
  std::unordered_set<std::string> FEntryNames;  // the entries' file names, for lookups
  std::unordered_set<size_t> FEntryHashes;       // and their FileNameHash
  std::shared_ptr<TStdProjectContainer> FContainer;
  std::vector<TFileTransaction> FTransactions;
  std::set<int> FProcessIds;
  TGUID FGuid;
  int64_t FFileTime = 0;
};

class TCustomCodeIProject : public TBaseProject {
 public:
  std::string ModuleClassName() const override { return "TCustomCodeIProject"; }
  std::string GetCurrentConfiguration();
  void SetCurrentConfiguration(const std::string& Name);
  std::string GetCurrentPlatform();
  void SetCurrentPlatform(const std::string& Name);
  std::vector<std::string> SupportedPlatforms();
  // The project's target name: its module name with "." replaced by "_".
  std::string GetTargetName() const;

 protected:
  using TBaseProject::TBaseProject;
};

class TCustomProject : public TCustomCodeIProject {
 public:
  std::string ModuleClassName() const override { return "TCustomProject"; }
  // Asks "Save changes to project %s?" unless ForceSave; No skips the project file but still
  // writes the local document; Cancel returns false.
  bool Save(bool ChangeName, bool ForceSave) override;

 protected:
  friend class TDocModule;
  using TCustomCodeIProject::TCustomCodeIProject;
};

// The open handler of project files (".vproj", ".kzproj").
class TProjectOpenHandler : public TFileOpenHandler {
 public:
  bool CanOpen(int FilterID, const std::string& FileName) override;
  void GetFilters(std::vector<TFilterItem>& List, bool ProjectOnly) override;

 protected:
  TDocModule* DoFileOpen(int FilterID, const std::string& FileName, bool Show, TDocModule* AOwnerModule) override;
};

// The open handlers of projects and project groups, in the order they are asked.
std::vector<TFileOpenHandler*> ProjectOpenHandlers();
// Registers the open handlers of projects and project groups; DoneProjects unregisters them.
void InitProjects();
void DoneProjects();

// The file a project builds, absolute: the project's name with the active platform's
// executable extension, in the active configuration's "OutputDir" for that platform (relative
// to the project's folder; the project's folder when the option is empty).
std::string ProjectOutputFileName(const std::string& ProjectFile, TBuildConfigurations& Configs);
// The files a project document lists (absolute, each once): the items of its unconditioned
// item groups but configurations, references and virtual folders, without the ones whose
// name still holds a property other than $(MainSource).
std::vector<TProjectFileItem> ReadProjectFileItems(IMSProjectFile& Doc, const std::string& ProjectFile);
// The entry of FileName among Items; false when none is of that file.
bool FindProjectFileEntry(const std::vector<TProjectFileItem>& Items, const std::string& FileName,
                          TProjectFileEntry& Entry);

// The module name with every "." replaced by "_".
std::string SanitizedTargetName(const std::string& FileName);
// The project file's item type for a file added to it.
std::string ItemTypeForFile(const std::string& FileName, const std::string& Personality);

}  // namespace nxs
