#include "projects/projectsession.h"

#include "modules/modulelist.h"
#include "modules/sourcemodule.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/configtarget.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/resstrings.h"
#include "projectfiles/startup.h"
#include "projects/newproject.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projects/resstrings.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs {

namespace {

std::string GlobalProperty(IMSProjectFile& Doc, const std::string& Name) {
  std::string Value, Condition;
  Doc.GetGlobalProperty(Name, Value, Condition);
  return Value;
}

}  // namespace

// -- The project as a document ------------------------------------------------------------------

TProjectDocument::TProjectDocument(std::string FileName) : FFileName(std::move(FileName)) {}
TProjectDocument::~TProjectDocument() = default;

std::string TProjectDocument::GetPersonality() const { return FDocument->GetPersonality(); }

bool TProjectDocument::FindFileEntry(const std::string& FileName, TProjectFileEntry& Entry) {
  return FindProjectFileEntry(FItems, FileName, Entry);
}

std::string TProjectDocument::GetOutputFileName() { return ProjectOutputFileName(FFileName, *FConfigs); }

void TProjectDocument::Save() {
  FConfigs->Save(*FDocument);
  FDocument->SaveToFile(FFileName);
}

// -- The session ------------------------------------------------------------------------------------

TProjectSession::TProjectSession() { StartProjectFiles(); }

TProjectSession::~TProjectSession() {
  if (!FModulesStarted) return;
  SetProjectGroupReporter(nullptr);
  DoneSourceModules();
  DoneProjects();
}

void TProjectSession::StartModules() {
  if (FModulesStarted) return;
  FModulesStarted = true;
  InitSourceModules();
  InitProjects();
  SetProjectGroupReporter([this](const std::string& M) { Reports.push_back(M); });
}

void TProjectSession::Lock(const std::string& FileName) {
  FLocks.push_back(std::make_unique<TFileLock>(ExpandFileName(FileName)));
}

TProjectDocument& TProjectSession::OpenDocument(const std::string& FileName) {
  std::unique_ptr<TProjectDocument> P(new TProjectDocument(ExpandFileName(FileName)));
  P->FDocument = MSBuildOpenProject(P->FFileName);
  P->FAppType = GlobalProperty(*P->FDocument, "AppType");
  P->FFrameworkType = GlobalProperty(*P->FDocument, "FrameworkType");
  P->FConfigs = std::make_unique<TBuildConfigurations>(P.get());
  P->FConfigs->Load(*P->FDocument);
  P->FItems = ReadProjectFileItems(*P->FDocument, P->FFileName);
  return *FDocuments.emplace_back(std::move(P));
}

TProjectDocument& TProjectSession::OpenDocumentToChange(const std::string& FileName) {
  Lock(FileName);
  return OpenDocument(FileName);
}

void TProjectSession::NewProject(const std::string& FileName, const std::string& Personality,
                                 const std::string& ProjectType) {
  const std::string File = ExpandFileName(FileName);
  TFileLock FileLock(File);  // held while it is made only: it may lock the folder
  if (FileSystem().Stat(File).Exists) throw Exception(Format(res::SFileExists, FileName));
  std::unique_ptr<TProjectDocument> P(new TProjectDocument(File));
  std::string ExtensionXml;
  P->FDocument = MSBuildCreateProject(File, Personality, ProjectType, ExtensionXml);
  P->FAppType = ProjectType;
  P->FFrameworkType = "None";
  P->FConfigs = std::make_unique<TBuildConfigurations>(P.get());
  AddStandardConfigurations(P->Configs());
  TNewProjectFile Main = SetUpProjectBuild(*P->FDocument, File, Personality, ProjectType);
  // The main source first: a project file that exists always has its main source.
  if (!Main.FileName.empty() && !FileSystem().Stat(Main.FileName).Exists) WriteFileAtomic(Main.FileName, Main.Text);
  P->Save();
  FDocuments.push_back(std::move(P));
}

TBaseProject& TProjectSession::OpenProject(const std::string& FileName) {
  StartModules();
  auto* P = dynamic_cast<TBaseProject*>(CallDefaultOpenProc(ExpandFileName(FileName), false, nullptr));
  if (!P) throw Exception(res::SUnknownProjectType);
  return *P;
}

TProjectGroup& TProjectSession::OpenGroup(const std::string& FileName) {
  StartModules();
  return *TProjectGroup::OpenGroup(ExpandFileName(FileName));
}

TProjectGroup& TProjectSession::OpenGroupToChange(const std::string& FileName) {
  Lock(FileName);
  return OpenGroup(FileName);
}

TProjectGroup& TProjectSession::OpenGroupToUpgrade(const std::string& FileName) {
  Lock(ChangeFileExt(ExpandFileName(FileName), ".groupproj"));
  return OpenGroupToChange(FileName);
}

void TProjectSession::NewGroup(const std::string& FileName) {
  StartModules();
  TFileLock FileLock(ExpandFileName(FileName));  // held while it is made only: it may lock the folder
  if (FileSystem().Stat(ExpandFileName(FileName)).Exists) throw Exception(Format(res::SGroupFileExists, FileName));
  TProjectGroup::NewGroup(FileName)->Save(false, true);
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

}  // namespace nxs
