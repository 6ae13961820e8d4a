// IProjectContext: what configurations, the option registry, platforms and macros need of the
// project that owns them. The project module of the projects library implements it; the
// command-line host implements it over a bare project document.
#pragma once

#include <string>

namespace nxs {

class TBuildConfigurations;
class IMSProjectFile;

// One file of a project as the macros see it.
struct TProjectFileEntry {
  std::string FileName;      // absolute
  std::string LocalCommand;  // entered by the user in the project manager
};

class IProjectContext {
 public:
  virtual ~IProjectContext() = default;

  // The project file, absolute.
  virtual std::string GetFileName() const = 0;
  virtual std::string GetPersonality() const = 0;
  // "AppType" and "FrameworkType" of the project file; empty when the project has none.
  virtual std::string GetApplicationType() const { return {}; }
  virtual std::string GetFrameworkType() const { return {}; }
  // The project's configurations; none while the project has not loaded them.
  virtual TBuildConfigurations* GetConfigurations() { return nullptr; }
  // The project document; none for a project kept in another format.
  virtual IMSProjectFile* GetProjectFile() { return nullptr; }
  // The entry of a file of the project; false when the project does not hold it.
  virtual bool FindFileEntry(const std::string& FileName, TProjectFileEntry& Entry) { return false; }
  // The file the project builds (absolute); empty when unknown.
  virtual std::string GetOutputFileName() { return {}; }
  // Saves the open document of a file before a command runs on it; nothing when it is not open.
  virtual void SaveFileBeforeUse(const std::string& FileName) {}
};

}  // namespace nxs
