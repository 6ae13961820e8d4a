// The files that the project scopes of a search take: the active project's, or every
// project's of the group, with the forms beside their units.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace nxs {

class TBaseProject;
class TProjectGroup;

// The projects the project scopes search: the active project and the project group. The
// environment's owner of projects fills the hook; without it no project is open.
struct TSearchProjects {
  TBaseProject* Active = nullptr;
  TProjectGroup* Group = nullptr;
};
void SetSearchProjectsHook(std::function<TSearchProjects()> Hook);
TSearchProjects SearchProjects();
// A project's search files: the project file, the files it lists and the forms beside them.
std::vector<std::string> ProjectSearchFiles(const TBaseProject& Project);
// Every project's search files, in project order, each name once where it first comes.
std::vector<std::string> GroupSearchFiles(const TProjectGroup& Group);

}  // namespace nxs
