#include "projectfiles/optionsets.h"

#include "projectfiles/configmgr.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/resstrings.h"
#include "shared/dialogs.h"
#include "shared/fileio.h"
#include "shared/filelock.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs {

static constexpr const char* ProjectGuidProperty = "ProjectGuid";

TNamedOptionSet::TNamedOptionSet(std::string FileName, std::shared_ptr<IMSProjectFile> ProjectFile)
    : TBuildConfiguration(nullptr, ChangeFileExt(ExtractFileName(FileName), ""), "Base", nullptr),
      FFilename(std::move(FileName)), FProjectFile(std::move(ProjectFile)) {
  FPersonality = FProjectFile->GetPersonality();
}

std::string TNamedOptionSet::RelativeFilename(IProjectContext& Project) const {
  return ToProjectPath(ExtractRelativePath(ExtractFilePath(Project.GetFileName()), FFilename));
}

std::string TNamedOptionSet::GetImportCondition(IProjectContext& Project, const TBuildConfiguration& Configuration) const {
  return Format("'$(%s)'!='' And ", Configuration.Key()) + Format("Exists('%s')", RelativeFilename(Project));
}

bool TNamedOptionSet::IsReferencedBy(const TBuildConfiguration& Configuration) const {
  return Configuration.HasReference(FFilename);
}

void TNamedOptionSet::LoadValues() {
  FProperties.clear();
  TPropertyGroup::Load(*FProjectFile, GetGroupCondition());
  FProperties.erase(ProjectGuidProperty);
  FModified = false;
}

void TNamedOptionSet::Save(IMSProjectFile& ProjectFile) {
  std::vector<std::string> Present;
  ProjectFile.GetGroupPropertyNames({}, Present);
  for (const auto& Name : Present)
    if (!SameText(Name, ProjectGuidProperty) && !HasValue(Name)) ProjectFile.RemoveGlobalProperty(Name);
  for (const auto& Name : GetPropertyNames()) {
    const TPropData& D = FProperties.at(Name);
    ProjectFile.SetGlobalProperty(Name, StoredValue(Name, D), true, D.Condition);
  }
  FModified = false;
}

void TNamedOptionSet::SaveToFile() {
  Save(*FProjectFile);
  FProjectFile->SaveToFile(FFilename);
}

void TNamedOptionSet::SetContents(const std::string& Xml) {
  FProjectFile = MSBuildCreateProjectFromXml(FFilename, Xml);
  FPersonality = FProjectFile->GetPersonality();
  LoadValues();
  FModified = true;
}

void TNamedOptionSet::SetPersonality(const std::string& Personality) {
  FProjectFile->SetPersonality(Personality);
  FPersonality = Personality;
}

std::string TNamedOptionSet::GetPersonalityVersion() const { return FProjectFile->GetPersonalityVersion(); }

void TNamedOptionSet::SetPersonalityVersion(const std::string& Version) { FProjectFile->SetPersonalityVersion(Version); }

std::shared_ptr<TNamedOptionSet> OpenNamedOptionSet(const std::string& FileName) {
  std::string Full = ExpandFileName(FileName);
  auto Set = std::make_shared<TNamedOptionSet>(Full, MSBuildOpenProject(Full));
  Set->LoadValues();
  return Set;
}

std::shared_ptr<TNamedOptionSet> NewOptionSet(const std::string& FileName, const std::string& Personality) {
  std::string Full = ExpandFileName(FileName);
  if (FileSystem().FileExists(Full)) return OpenNamedOptionSet(Full);
  std::string ExtensionXml;
  auto Set = std::make_shared<TNamedOptionSet>(
      Full, MSBuildCreateProject(Full, Personality, res::SOptionSetProjectType, ExtensionXml));
  Set->MarkModified();
  return Set;
}

void WriteNewOptionSet(const std::string& FileName, const std::string& Personality) {
  const std::string File = ExpandFileName(FileName);
  TFileLock Lock(File);
  if (FileSystem().Stat(File).Exists) throw Exception(Format(res::SOptionSetExists, FileName));
  NewOptionSet(File, Personality)->SaveToFile();
}

void SaveNamedOptionSet(TNamedOptionSet& OptionSet) { OptionSet.SaveToFile(); }

std::shared_ptr<TNamedOptionSet> SaveConfigurationToOptionSet(const TBuildConfiguration& Configuration,
                                                              const std::string& FileName) {
  std::string Personality;
  if (Configuration.Owner() && Configuration.Owner()->Project())
    Personality = Configuration.Owner()->Project()->GetPersonality();
  auto Set = NewOptionSet(FileName, Personality);
  Configuration.AssignTo(*Set, patReplaceAll);
  Set->SaveToFile();
  return Set;
}

std::string OptionsetFilter() { return Format(res::SOptionSetFilter, res::SOptionSetExt, res::SOptionSetExt); }

bool ConfirmSaveOptionSet(const TNamedOptionSet& OptionSet) {
  std::string Text = "\"" + OptionSet.Name() + "\"" + res::SMustBeSaved + "\n" + res::SContinue;
  return Questions().MessageDlg(Text, TMsgDlgType::mtConfirmation, mbYes | mbNo, mrYes) == mrYes;
}

}  // namespace nxs
