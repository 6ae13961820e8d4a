#include "host/projectsession.h"

#include "host/projectctx.h"
#include "modules/modulelist.h"
#include "modules/sourcemodule.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projects/resstrings.h"
#include "shared/exceptions.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs::host {

TProjectSession::TProjectSession() {
  StartProjectLayer();
  InitSourceModules();
  InitProjects();
  SetProjectGroupReporter([this](const std::string& M) { Reports.push_back(M); });
}

TProjectSession::~TProjectSession() {
  SetProjectGroupReporter(nullptr);
  DoneSourceModules();
  DoneProjects();
}

void TProjectSession::Lock(const std::string& FileName) {
  FLocks.push_back(std::make_unique<TFileLock>(ExpandFileName(FileName)));
}

TBaseProject& TProjectSession::OpenProject(const std::string& FileName) {
  auto* P = dynamic_cast<TBaseProject*>(CallDefaultOpenProc(ExpandFileName(FileName), false, nullptr));
  if (!P) throw Exception(res::SUnknownProjectType);
  return *P;
}

TProjectGroup& TProjectSession::OpenGroup(const std::string& FileName) {
  return *TProjectGroup::OpenGroup(ExpandFileName(FileName));
}

TBaseProject& TProjectSession::GroupProject(TProjectGroup& Group, const std::string& Name) {
  TBaseProject* P = Group.FindProject(Name);
  if (!P) throw Exception(Format(res::SNotInGroup, Name, Group.GetModuleName()));
  return *P;
}

void TProjectSession::SaveGroup(TProjectGroup& Group) {
  for (TBaseProject* P : Group.Projects())
    if (P->GetModified()) P->Save(false, true);
  Group.Save(false, true);
}

}  // namespace nxs::host
