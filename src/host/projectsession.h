// The module layer as the group and project commands use it: source modules, the project and
// group open handlers and the project-file layer, started for one command and shut down after.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shared/filelock.h"

namespace nxs {
class TBaseProject;
class TProjectGroup;
}  // namespace nxs

namespace nxs::host {

class TProjectSession {
 public:
  TProjectSession();
  ~TProjectSession();
  TProjectSession(const TProjectSession&) = delete;  // owns the module layer for the run
  TProjectSession& operator=(const TProjectSession&) = delete;

  // Takes the lock of a file the command changes, before it reads it, and holds it until the
  // session ends: another command that changes the file waits, and then reads the change.
  void Lock(const std::string& FileName);
  // Opens a project file through the module layer.
  TBaseProject& OpenProject(const std::string& FileName);
  // Opens a group file through the module layer; the messages about projects that could
  // not be opened are kept in Reports.
  TProjectGroup& OpenGroup(const std::string& FileName);
  // The project of the group named by PROJECT as the user typed it.
  TBaseProject& GroupProject(TProjectGroup& Group, const std::string& Name);
  // Saves the group without asking, and each of its projects that changed (a new GUID).
  void SaveGroup(TProjectGroup& Group);

  std::vector<std::string> Reports;

 private:
  std::vector<std::unique_ptr<TFileLock>> FLocks;
};

}  // namespace nxs::host
