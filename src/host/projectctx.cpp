#include "host/projectctx.h"

#include "projectfiles/platforms.h"
#include "projectfiles/startup.h"
#include "shared/filenames.h"

namespace nxs::host {

void StartProjectLayer() { StartProjectFiles(); }

std::unique_ptr<TCommandProject> TCommandProject::Open(const std::string& FileName) {
  StartProjectLayer();
  std::unique_ptr<TCommandProject> P(new TCommandProject(ExpandFileName(FileName)));
  P->FDocument = MSBuildOpenProject(P->FFileName);
  std::string Condition;
  P->FDocument->GetGlobalProperty("AppType", P->FAppType, Condition);
  P->FDocument->GetGlobalProperty("FrameworkType", P->FFrameworkType, Condition);
  P->FConfigs = std::make_unique<TBuildConfigurations>(P.get());
  P->FConfigs->Load(*P->FDocument);
  return P;
}

std::unique_ptr<TCommandProject> TCommandProject::OpenToChange(const std::string& FileName) {
  auto Lock = std::make_unique<TFileLock>(ExpandFileName(FileName));
  std::unique_ptr<TCommandProject> P = Open(FileName);
  P->FLock = std::move(Lock);
  return P;
}

std::unique_ptr<TCommandProject> TCommandProject::Create(const std::string& FileName, const std::string& Personality,
                                                         const std::string& ProjectType) {
  StartProjectLayer();
  std::unique_ptr<TCommandProject> P(new TCommandProject(ExpandFileName(FileName)));
  std::string ExtensionXml;
  P->FDocument = MSBuildCreateProject(P->FFileName, Personality, ProjectType, ExtensionXml);
  P->FAppType = ProjectType;
  P->FFrameworkType = "None";
  P->FConfigs = std::make_unique<TBuildConfigurations>(P.get());
  return P;
}

bool TCommandProject::FindFileEntry(const std::string& FileName, TProjectFileEntry& Entry) {
  Entry.FileName = ExpandFileName(FileName);
  Entry.LocalCommand.clear();
  return true;
}

std::string TCommandProject::GetOutputFileName() {
  std::string Platform = FConfigs->GetActivePlatform();
  std::string Dir = FConfigs->GetActiveConfiguration().GetPlatformValue("OutputDir", Platform);
  std::string Name = ChangeFileExt(ExtractFileName(FFileName), "");
  if (auto P = PlatformManager().GetPlatform(Platform)) Name += P->GetFileExtension(ftExecutable);
  return ExpandFileName(ToDiskPath(IncludeTrailingPathDelimiter(Dir.empty() ? "." : Dir)) + Name,
                        ExtractFilePath(FFileName));
}

void TCommandProject::Save() {
  FConfigs->Save(*FDocument);
  FDocument->SaveToFile(FFileName);
}

}  // namespace nxs::host
