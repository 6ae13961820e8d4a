#include "cfgsupport.h"

#include <unistd.h>

#include "projectfiles/startup.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs::test {

void StartLayer() { StartProjectFiles(); }

std::string ScratchDir(const std::string& Name) {
  static int Counter = 0;
  std::string Dir = Format("%s/cfg-%d-%d-%s", NXS_TEST_TMP, static_cast<int>(getpid()), ++Counter, Name);
  FileSystem().ForceDirectories(Dir);
  return Dir;
}

TQuestionsScope::TQuestionsScope() : FQuestions(std::make_shared<TRecordingQuestions>()) { SetQuestions(FQuestions); }

TQuestionsScope::~TQuestionsScope() { SetQuestions(std::make_shared<TDefaultQuestions>()); }

TTestProject::TTestProject(std::string FileName, const std::string& Xml, std::string Personality)
    : FFileName(std::move(FileName)), FPersonality(std::move(Personality)) {
  StartLayer();
  if (Xml.empty()) {
    std::string Ext;
    Document = MSBuildCreateProject(FFileName, FPersonality, "Application", Ext);
  } else {
    Document = MSBuildCreateProjectFromXml(FFileName, Xml);
  }
}

bool TTestProject::FindFileEntry(const std::string& FileName, TProjectFileEntry& Entry) {
  Entry.FileName = ExpandFileName(FileName, ExtractFilePath(FFileName));
  Entry.LocalCommand = LocalCommand;
  return true;
}

std::string TTestProject::Save() {
  Configs.Save(*Document);
  return Document->GetXml();
}

std::string GroupText(const std::string& Xml, const std::string& Condition) {
  std::string Open = "<PropertyGroup Condition=\"" + Condition + "\"";
  size_t P = Xml.find(Open);
  if (P == std::string::npos) return {};
  size_t End = Xml.find("</PropertyGroup>", P);
  size_t SelfClose = Xml.find("/>", P);
  size_t Gt = Xml.find('>', P);
  if (SelfClose != std::string::npos && SelfClose + 1 == Gt) return Xml.substr(P, Gt + 1 - P);
  return Xml.substr(P, End == std::string::npos ? std::string::npos : End + 16 - P);
}

}  // namespace nxs::test
