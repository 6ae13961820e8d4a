// The project session: the projects and groups one command works on, opened for it and closed
// when it ends. A project opens either as a project module (its files, its groups, its
// builds; the module layer starts with the first one) or as its document alone (its
// configurations: nothing is converted or written but what the command changes). Both answer
// the macros alike: the output file and the file entries come from the same rules.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "projectfiles/projectcontext.h"
#include "projects/containers.h"
#include "shared/filelock.h"

namespace nxs {

class IMSProjectFile;
class TBaseProject;
class TBuildConfigurations;
class TProjectGroup;

// A project held as its document and configurations, without a project module.
class TProjectDocument : public IProjectContext {
 public:
  ~TProjectDocument() override;
  TProjectDocument(const TProjectDocument&) = delete;  // the configurations point back at it
  TProjectDocument& operator=(const TProjectDocument&) = delete;

  std::string GetFileName() const override { return FFileName; }
  std::string GetPersonality() const override;
  std::string GetApplicationType() const override { return FAppType; }
  std::string GetFrameworkType() const override { return FFrameworkType; }
  TBuildConfigurations* GetConfigurations() override { return FConfigs.get(); }
  IMSProjectFile* GetProjectFile() override { return FDocument.get(); }
  bool FindFileEntry(const std::string& FileName, TProjectFileEntry& Entry) override;
  std::string GetOutputFileName() override;

  TBuildConfigurations& Configs() { return *FConfigs; }
  // Writes the configurations into the document and the document to its file.
  void Save();

 private:
  friend class TProjectSession;
  explicit TProjectDocument(std::string FileName);

  std::string FFileName;
  std::shared_ptr<IMSProjectFile> FDocument;
  std::unique_ptr<TBuildConfigurations> FConfigs;
  std::vector<TProjectFileItem> FItems;
  std::string FAppType;
  std::string FFrameworkType;
};

class TProjectSession {
 public:
  // Starts the project-file layer (platforms, tool descriptions, published variables).
  TProjectSession();
  ~TProjectSession();
  TProjectSession(const TProjectSession&) = delete;  // owns what it opened, and the module layer
  TProjectSession& operator=(const TProjectSession&) = delete;

  // Takes the lock of a file the command changes, before it reads it, and holds it until the
  // session ends: another command that changes the file waits, and then reads the change.
  void Lock(const std::string& FileName);

  // -- Projects as documents
  TProjectDocument& OpenDocument(const std::string& FileName);
  // The same for a command that changes the project: under the file's lock (Lock).
  TProjectDocument& OpenDocumentToChange(const std::string& FileName);
  // Writes a new project FileName (as the user typed it) for the personality, building
  // ProjectType: the configurations Base, Debug and Release, the personality's build and its
  // main source (written first, unless it exists). Raises "File "%s" already exists" when the
  // project exists; two sessions that make one take turns, and the second finds the first's.
  // The lock is held while the project is made only: the lock of a missing file is its
  // folder's, which a second one in the same session would wait for.
  void NewProject(const std::string& FileName, const std::string& Personality, const std::string& ProjectType);

  // -- Project modules and groups
  // Opens a project file through the module layer.
  TBaseProject& OpenProject(const std::string& FileName);
  // Opens a group file through the module layer; the messages about projects that could
  // not be opened are kept in Reports.
  TProjectGroup& OpenGroup(const std::string& FileName);
  // The same for a command that changes the group: under the file's lock (Lock).
  TProjectGroup& OpenGroupToChange(const std::string& FileName);
  // The same for upgrading a legacy group: under the locks of the file and of the
  // ".groupproj" the upgrade writes beside it.
  TProjectGroup& OpenGroupToUpgrade(const std::string& FileName);
  // Writes an empty group FileName (as the user typed it); a group that exists keeps its
  // projects: raises "%s already exists" and writes nothing.
  void NewGroup(const std::string& FileName);
  // The project of the group named by Name as the user typed it; raises "%s is not a
  // project of group %s" when there is none.
  TBaseProject& GroupProject(TProjectGroup& Group, const std::string& Name);
  // Saves the group without asking, and each of its projects that changed (a new GUID).
  void SaveGroup(TProjectGroup& Group);

  std::vector<std::string> Reports;

 private:
  void StartModules();

  std::vector<std::unique_ptr<TFileLock>> FLocks;  // go last: held until everything else is gone
  std::vector<std::unique_ptr<TProjectDocument>> FDocuments;
  bool FModulesStarted = false;
};

}  // namespace nxs
