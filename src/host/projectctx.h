// The project as the command-line host holds it: a project document and its configurations,
// without a project module. Used by the config, macros and project commands.
#pragma once

#include <memory>
#include <string>

#include "projectfiles/configmgr.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "shared/filelock.h"

namespace nxs::host {

class TCommandProject : public IProjectContext {
 public:
  // Opens FileName and loads its configurations.
  static std::unique_ptr<TCommandProject> Open(const std::string& FileName);
  // The same for a command that changes the project: the file's lock is taken before it is
  // read and held until the project goes, so that a change another command makes meanwhile
  // waits for this one's save and is not lost by it.
  static std::unique_ptr<TCommandProject> OpenToChange(const std::string& FileName);
  // A new document (not written until Save).
  static std::unique_ptr<TCommandProject> Create(const std::string& FileName, const std::string& Personality,
                                                 const std::string& ProjectType);

  std::string GetFileName() const override { return FFileName; }
  std::string GetPersonality() const override { return FDocument->GetPersonality(); }
  std::string GetApplicationType() const override { return FAppType; }
  std::string GetFrameworkType() const override { return FFrameworkType; }
  TBuildConfigurations* GetConfigurations() override { return FConfigs.get(); }
  IMSProjectFile* GetProjectFile() override { return FDocument.get(); }
  // Every file is an entry here: the host keeps no file list of its own.
  bool FindFileEntry(const std::string& FileName, TProjectFileEntry& Entry) override;
  std::string GetOutputFileName() override;

  TBuildConfigurations& Configs() { return *FConfigs; }
  // Writes the configurations into the document and the document to its file.
  void Save();

 private:
  explicit TCommandProject(std::string FileName) : FFileName(std::move(FileName)) {}

  std::unique_ptr<TFileLock> FLock;  // goes last: held until everything else is gone
  std::string FFileName;
  std::shared_ptr<IMSProjectFile> FDocument;
  std::unique_ptr<TBuildConfigurations> FConfigs;
  std::string FAppType;
  std::string FFrameworkType;
};

// Starts the project-file layer (platforms, tool descriptions, published variables).
void StartProjectLayer();

}  // namespace nxs::host
