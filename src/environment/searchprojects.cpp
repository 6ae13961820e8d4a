#include "environment/searchprojects.h"

#include <sys/stat.h>

#include <set>

#include "modules/formfile.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "shared/filenames.h"

namespace nxs {

namespace {

std::function<TSearchProjects()>& ProjectsHook() {
  static std::function<TSearchProjects()> Hook;
  return Hook;
}

bool FileExists(const std::string& Name) {
  struct stat St;
  return ::stat(Name.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

}  // namespace

void SetSearchProjectsHook(std::function<TSearchProjects()> Hook) { ProjectsHook() = std::move(Hook); }

TSearchProjects SearchProjects() { return ProjectsHook() ? ProjectsHook()() : TSearchProjects{}; }

std::vector<std::string> ProjectSearchFiles(const TBaseProject& Project) {
  std::vector<std::string> Out = Project.GetProjectFileList();
  std::set<std::string> Taken(Out.begin(), Out.end());
  // The form beside each unit, which the project lists only through its unit.
  const size_t Listed = Out.size();
  for (size_t I = 1; I < Listed; ++I) {
    if (IsFormFileName(Out[I])) continue;
    for (const char* Ext : FormFileExtensions) {
      std::string Form = ChangeFileExt(Out[I], Ext);
      if (!Taken.count(Form) && FileExists(Form)) {
        Taken.insert(Form);
        Out.push_back(std::move(Form));
      }
    }
  }
  return Out;
}

std::vector<std::string> GroupSearchFiles(const TProjectGroup& Group) {
  std::vector<std::string> Out;
  std::set<std::string> Taken;
  for (const TBaseProject* P : Group.Projects())
    for (auto& Name : ProjectSearchFiles(*P))
      if (Taken.insert(Name).second) Out.push_back(std::move(Name));
  return Out;
}

}  // namespace nxs
