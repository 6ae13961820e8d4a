// Shared set-up of the project tests: a scratch folder that also holds the settings, a fresh
// module layer with the project and group open handlers, scripted answers, and project files
// written by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "modules/closedfiles.h"
#include "modules/modulelist.h"
#include "modules/sourcemodule.h"
#include "projectfiles/startup.h"
#include "projects/containers.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "shared/dialogs.h"
#include "shared/fileio.h"
#include "shared/settings.h"
#include "support/files.h"
#include "support/tempdir.h"

namespace nxs::test {

class TAnswers : public IUserQuestions {
 public:
  std::deque<int> Answers;
  std::vector<std::string> Asked;
  int MessageDlg(const std::string& Message, TMsgDlgType, unsigned, int DefaultResult) override {
    Asked.push_back(Message);
    if (Answers.empty()) return DefaultResult;
    int A = Answers.front();
    Answers.pop_front();
    return A;
  }
  void ShowMessage(const std::string& Message) override { Asked.push_back(Message); }
  bool PromptForFileName(std::string&, const std::string&, bool) override { return false; }
};

// A project file with the given items (each "Type|Include") and global properties.
inline std::string ProjectXml(const std::vector<std::string>& Items, const std::string& Properties = {}) {
  std::string X = "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\n<PropertyGroup>" +
                  Properties + "</PropertyGroup>\n<ItemGroup>\n";
  for (const auto& I : Items) {
    size_t Bar = I.find('|');
    X += "<" + I.substr(0, Bar) + " Include=\"" + I.substr(Bar + 1) + "\"/>\n";
  }
  X += "</ItemGroup>\n<ProjectExtensions><Tarvos.Personality>Vellum.Personality</Tarvos.Personality>"
       "<Tarvos.ProjectType>Application</Tarvos.ProjectType></ProjectExtensions>\n</Project>\n";
  return X;
}

// The settings in the scratch folder and scripted answers, without the module layer.
class ProjectSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("NXS_SETTINGS_DIR", Dir.Path().c_str(), 1);
    ResetSettingsStore();
    ResetProjectSortOrderManager();
    ResetContainerManager();
    SetFileSystem(nullptr);
    Q = std::make_shared<TAnswers>();
    SetQuestions(Q);
  }
  void TearDown() override {
    ClosedFiles().FreeClosedFileLists();
    SetQuestions(nullptr);
    ResetProjectSortOrderManager();
    ResetContainerManager();
    ResetSettingsStore();
  }

  TTempDir Dir;
  std::shared_ptr<TAnswers> Q;
};

class ProjectTest : public ProjectSettingsTest {
 protected:
  void SetUp() override {
    ProjectSettingsTest::SetUp();
    StartProjectFiles();
    InitSourceModules();
    InitProjects();
    SetProjectGroupReporter([this](const std::string& M) { Reports.push_back(M); });
  }
  void TearDown() override {
    SetProjectGroupReporter(nullptr);
    DoneSourceModules();
    DoneProjects();
    ProjectSettingsTest::TearDown();
  }

  // Writes a project file (and the sources it names) and returns its path.
  std::string MakeProject(const std::string& Name, const std::vector<std::string>& Items = {},
                          const std::string& Properties = "<ProjectGuid>{00000000-0000-4000-8000-000000000001}</ProjectGuid>") {
    const std::string File = Dir / Name;
    std::filesystem::create_directories(std::filesystem::path(File).parent_path());
    WriteText(File, ProjectXml(Items, Properties));
    return File;
  }
  TBaseProject& Open(const std::string& File) {
    auto* P = dynamic_cast<TBaseProject*>(CallDefaultOpenProc(File, false, nullptr));
    if (!P) throw Exception("not a project: " + File);
    return *P;
  }

  std::vector<std::string> Reports;
};

}  // namespace nxs::test
