// Shared set-up of the orchestration tests: the project fixture with projects that have Debug
// and Release configurations and the Win32 and Linux64 platforms, fake project builders that
// log what they are asked to do; builds run through the process's build host.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "build/buildhost.h"
#include "build/orchestration.h"
#include "build/progress.h"
#include "build/messages/msglines.h"
#include "projects/projecttest.h"

namespace nxs::test {

// A project with Base, Debug (active) and, unless NoRelease, Release; Win32 and Linux64.
inline std::string BuildProjectXml(const std::string& Guid, bool NoRelease = false) {
  std::string X =
      "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\n"
      "<PropertyGroup><ProjectGuid>" + Guid + "</ProjectGuid>"
      "<Config Condition=\"'$(Config)'==''\">Debug</Config>"
      "<Platform Condition=\"'$(Platform)'==''\">Linux64</Platform></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Config)'=='Base' or '$(Base)'!=''\"><Base>true</Base></PropertyGroup>\n"
      "<PropertyGroup Condition=\"'$(Config)'=='Debug' or '$(Cfg_1)'!=''\"><Cfg_1>true</Cfg_1>"
      "<CfgParent>Base</CfgParent><Base>true</Base></PropertyGroup>\n";
  if (!NoRelease)
    X += "<PropertyGroup Condition=\"'$(Config)'=='Release' or '$(Cfg_2)'!=''\"><Cfg_2>true</Cfg_2>"
         "<CfgParent>Base</CfgParent><Base>true</Base></PropertyGroup>\n";
  X += "<ItemGroup><BuildConfiguration Include=\"Base\"><Key>Base</Key></BuildConfiguration>"
       "<BuildConfiguration Include=\"Debug\"><Key>Cfg_1</Key><CfgParent>Base</CfgParent></BuildConfiguration>";
  if (!NoRelease)
    X += "<BuildConfiguration Include=\"Release\"><Key>Cfg_2</Key><CfgParent>Base</CfgParent></BuildConfiguration>";
  X += "</ItemGroup>\n<ProjectExtensions><Tarvos.Personality>Vellum.Personality</Tarvos.Personality>"
       "<Tarvos.ProjectType>Application</Tarvos.ProjectType><TarvosProject><Platforms>"
       "<Platform value=\"Win32\">True</Platform><Platform value=\"Linux64\">True</Platform>"
       "</Platforms></TarvosProject></ProjectExtensions>\n</Project>\n";
  return X;
}

// What the fake builders were asked, one line per call: "Build a Debug Linux64".
struct TBuildLog {
  std::vector<std::string> Lines;
  std::set<std::string> FailBuild;    // module names whose Build fails
  std::set<std::string> FailPreBuild;
  std::set<std::string> FailFiles;    // file names whose BuildFile fails
  std::vector<TBuildControl> Controls;  // as each PreBuild saw it
  std::function<void(TProjectBuildInfo&)> DuringBuild;
  std::string Joined() const {
    std::string S;
    for (const auto& L : Lines) S += L + "\n";
    return S;
  }
};

class TFakeProjectBuilder : public IProjectBuilder {
 public:
  TFakeProjectBuilder(TBuildLog& Log, int Flags = 0) : FLog(Log), FFlags(Flags) {}
  void PreBuild(TProjectBuildInfo& E, const TBuildControl& C) override {
    FLog.Lines.push_back("PreBuild " + Name(E));
    FLog.Controls.push_back(C);
    E.Success = !FLog.FailPreBuild.count(E.Project->GetModuleName());
  }
  void Build(TProjectBuildInfo& E, const TBuildControl&) override {
    FLog.Lines.push_back("Build " + Name(E) + " " + E.Configuration + " " + E.Platform + " active " +
                         E.Project->GetCurrentPlatform());
    E.Success = !FLog.FailBuild.count(E.Project->GetModuleName());
    if (FLog.DuringBuild) FLog.DuringBuild(E);
  }
  void PostBuild(TProjectBuildInfo& E, const TBuildControl&) override { FLog.Lines.push_back("PostBuild " + Name(E)); }
  void BuildFile(TProjectBuildInfo& E, const std::string& File, const TBuildControl&) override {
    FLog.Lines.push_back("BuildFile " + Name(E) + " " + File);
    E.Success = !FLog.FailFiles.count(File);
  }
  int Flags() const override { return FFlags; }

 private:
  static std::string Name(const TProjectBuildInfo& E) { return E.Project->GetModuleName(); }
  TBuildLog& FLog;
  int FFlags;
};

// Records the titles and the status area.
class TRecordingDisplay : public IBuildDisplay {
 public:
  std::vector<std::string> Titles;
  std::string Status = "(none)";
  void SetTitle(const std::string& T) override { Titles.push_back(T); }
  void SetStatus(const std::string& S) override { Status = S; }
};

class BuildTest : public ProjectTest {
 protected:
  void SetUp() override {
    ProjectTest::SetUp();
    SetProjectBuilderFactory([this](TCustomCodeIProject& P) -> std::shared_ptr<IProjectBuilder> {
      if (NoBuilder.count(P.GetModuleName())) return nullptr;
      return std::make_shared<TFakeProjectBuilder>(Log, Flagged.count(P.GetModuleName()) ? 2 : 0);
    });
    Display = std::make_shared<TRecordingDisplay>();
    SetBuildDisplay(Display);
    InitializeMessageLines();
  }
  void TearDown() override {
    FinalizeMessageLines();
    SetBuildDisplay(nullptr);
    ResetBuildHost();
    ResetProgressMonitor();
    SetProjectBuilderFactory(nullptr);
    ProjectTest::TearDown();
  }

  TCustomCodeIProject& MakeBuildProject(const std::string& Name, int Number, bool NoRelease = false) {
    char Guid[64];
    std::snprintf(Guid, sizeof Guid, "{00000000-0000-4000-8000-%012d}", Number);
    const std::string File = Dir / Name;
    std::filesystem::create_directories(std::filesystem::path(File).parent_path());
    WriteText(File, BuildProjectXml(Guid, NoRelease));
    return dynamic_cast<TCustomCodeIProject&>(Open(File));
  }

  TBuildLog Log;
  std::set<std::string> NoBuilder;
  std::set<std::string> Flagged;
  std::shared_ptr<TRecordingDisplay> Display;
};

}  // namespace nxs::test
