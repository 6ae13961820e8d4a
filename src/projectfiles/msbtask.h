// TMSBuildTask: a task whose options come from a build tool's description, a data file of
// the build-tasks component shipped in "tools/" below the data directory, and the start-up
// step that registers one task per description found there.
#pragma once

#include <string>

#include "projectfiles/optionmgr.h"

namespace nxs {

class TNode;

// The description file (AssemblyFilename) holds one "ToolDescription" element named
// ResourceName: the tool's file extensions, personalities and platforms, its groups and
// their options. Initialize raises Exception "Tool description "<file>": <why>" for a file
// that cannot be read or does not describe the tool; the task is then not registered.
class TMSBuildTask : public TCustomTask {
 public:
  TMSBuildTask(std::string Name, std::string AssemblyFilename, std::string ResourceName)
      : TCustomTask(std::move(Name)), FAssemblyFilename(std::move(AssemblyFilename)),
        FResourceName(std::move(ResourceName)) {}

  const std::string& AssemblyFilename() const { return FAssemblyFilename; }
  const std::string& ResourceName() const { return FResourceName; }
  void Initialize() override;

 private:
  void ReadDescription(TNode& Root);
  void ReadGroup(TNode& Node, TOptionGroup* Parent, std::vector<std::shared_ptr<TProjectOption>>& Options);
  std::shared_ptr<TProjectOption> ReadOption(TNode& Node, const std::string& GroupName);
  // Sub-options under their parents, options into their groups.
  void OrganizeOptions(const std::vector<std::shared_ptr<TProjectOption>>& Options);

  std::string FAssemblyFilename;
  std::string FResourceName;
  bool FInitialized = false;
};

// Registers a TMSBuildTask for every "*.xml" file of Dir (named after the file), in name
// order. A description that fails is reported through the user-questions seam and skipped.
void RegisterMSBuildTasks(const std::string& Dir);

}  // namespace nxs
