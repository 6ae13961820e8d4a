// The host object as the engine's tasks call it, and the registry that offers it by task name.
#include "build/hostobject.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "build/msbridge.h"
#include "build/progress.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editview.h"
#include "hostsupport.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/configs.h"
#include "projectfiles/projectcontext.h"
#include "shared/dialogs.h"
#include "shared/mainthread.h"
#include "support/errorof.h"
#include "support/files.h"

namespace nxs::test {
namespace {

class TBareProject : public IProjectContext {
 public:
  std::string GetFileName() const override { return "/p/app.vproj"; }
  std::string GetPersonality() const override { return "Vellum.Personality"; }
  TBuildConfigurations* GetConfigurations() override { return &Configs; }
  TBuildConfigurations Configs{this};
};

class TShownQuestions : public TDefaultQuestions {
 public:
  void ShowMessage(const std::string& Message) override { Shown.push_back(Message); }
  std::vector<std::string> Shown;
};

using HostObjectTest = BuildHostTest;

TEST_F(HostObjectTest, BuildNumberIncrementRewritesTheVersionKeys) {
  TBareProject P;
  TBuildConfiguration& Base = P.Configs.GetBaseConfiguration();
  Base.SetValue("VerInfo_MajorVer", "1");
  Base.SetValue("VerInfo_MinorVer", "2");
  Base.SetValue("VerInfo_Release", "3");
  Base.SetValue("VerInfo_Build", "4");
  Base.SetValue("VerInfo_AutoIncVersion", "true");
  Base.SetValue("VerInfo_Keys", "CompanyName=Acme;FileVersion=0.0.0.0;CFBundleVersion=;versionCode=1;Comments=a=b");
  IncBuildNumber(Base);
  EXPECT_EQ(Base.GetValue("VerInfo_Build"), "5");
  EXPECT_EQ(Base.GetValue("VerInfo_Keys"),
            "CompanyName=Acme;FileVersion=1.2.3.5;CFBundleVersion=1.2.5;versionCode=5;Comments=a=b");

  // Without auto-increment the number stays and the keys follow it.
  Base.SetValue("VerInfo_AutoIncVersion", "false");
  Base.SetValue("VerInfo_Build", "9");
  IncBuildNumber(Base);
  EXPECT_EQ(Base.GetValue("VerInfo_Build"), "9");
  EXPECT_EQ(Base.GetValue("VerInfo_Keys"),
            "CompanyName=Acme;FileVersion=1.2.3.9;CFBundleVersion=1.2.9;versionCode=9;Comments=a=b");
}

TEST_F(HostObjectTest, BuildNumberOfAProjectThatIsNotOpenIsShownAsAnException) {
  auto Q = std::make_shared<TShownQuestions>();
  SetQuestions(Q);
  TNXSHostObject H("/nowhere/app.vproj");
  RunOffMainThread([&] { H.IncBuildNumber("/nowhere/app.vproj", "Debug", "Linux64"); });
  std::string Content = "stale";
  EXPECT_FALSE(H.GetProjectContent("/nowhere/app.vproj", Content));
  EXPECT_EQ(Content, "");
  MainThreadQueue().ProcessPending();
  SetQuestions(nullptr);
  const std::string Expected = "Exception Exception: Fatal Error: unable to locate project file \"/nowhere/app.vproj\"";
  EXPECT_EQ(Q->Shown, (std::vector<std::string>{Expected, Expected}));
}

TEST_F(HostObjectTest, FileTimesOfDiskFilesAndMissingOnes) {
  TNXSHostObject H;
  const std::string Name = Dir / "unit.pas";
  WriteText(Name, "unit u;");
  struct stat St {};
  ASSERT_EQ(::stat(Name.c_str(), &St), 0);
  // Dates go through the two-second grain of file dates.
  EXPECT_NEAR(H.GetFileTime(Name), static_cast<double>(St.st_mtime), 2.0);
  EXPECT_LT(H.GetFileTime(Dir / "missing.pas"), 0);
  double FromThread = 0;
  std::thread([&] { FromThread = H.GetFileTime(Dir / "missing.pas"); }).join();
  EXPECT_LT(FromThread, 0);
}

TEST_F(HostObjectTest, TemporaryFilesOnlyForUnsavedEditorText) {
  TNXSHostObject H;
  std::string Temp = "x";
  EXPECT_FALSE(H.CreateTemporaryFile(Dir / "closed.pas", Temp));
  EXPECT_EQ(Temp, "");
  std::string NewName = "x";
  EXPECT_FALSE(H.ForceSaveFile(Dir / "closed.pas", NewName));
  EXPECT_EQ(NewName, "");
}

TEST_F(HostObjectTest, UnsavedFilesAreTheModifiedEditorBuffersAskedFromAnyThread) {
  TNXSHostObject H;
  const std::string Saved = Dir / "saved.pas", Changed = Dir / "changed.pas";
  WriteText(Saved, "unit saved;");
  WriteText(Changed, "unit changed;");
  auto A = TEditBuffer::Create(Saved, true);
  auto B = TEditBuffer::Create(Changed, true);
  auto View = B->OpenNewView();
  InsertString(View->EkView(), "{ edited } ");
  std::optional<std::vector<std::string>> Listed;
  RunOffMainThread([&] { Listed = H.UnsavedFiles(); });
  ASSERT_TRUE(Listed);
  EXPECT_EQ(*Listed, std::vector<std::string>{Changed});
  // What is listed is what the editor hands over.
  std::string Temp;
  EXPECT_TRUE(H.CreateTemporaryFile(Changed, Temp));
  EXPECT_EQ(ReadText(Temp), "{ edited } unit changed;");
  H.DeleteTemporaryFile(Temp);
  EXPECT_FALSE(H.CreateTemporaryFile(Saved, Temp));
}

TEST_F(HostObjectTest, CountersGoToTheProgressMonitor) {
  TNXSHostObject H;
  H.IncErrorCount();
  H.IncWarningCount();
  H.IncWarningCount();
  H.IncHintCount();
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgError), 1);
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgWarn), 2);
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgHint), 1);
  ProgressMonitor().Cancel();
  EXPECT_FALSE(H.UpdateProgress(progCompiling, "a.pas", 1, 1));
}

TEST_F(HostObjectTest, CommandLinesAreTitledInTheBuildGroup) {
  TNXSHostObject H;
  TNXSHostObject ForProject("/p/app.vproj");
  H.ShowCommandLine("/usr/bin/g++", "-c a.cpp", "");
  ForProject.ShowCommandLine("/usr/bin/ppcx64", "-B b.pas", "fpc");
  H.ShowCommandLine("/usr/bin/fpc", "", "fpc");  // nothing to show
  EXPECT_EQ(GroupLines("Build"), (std::vector<std::string>{"g++ command line", "  \"/usr/bin/g++\" -c a.cpp",
                                                           "fpc command line for \"app.vproj\"",
                                                           "  \"/usr/bin/ppcx64\" -B b.pas"}));
  SetCompiling("ShowCommandLine", false);
  H.ShowCommandLine("/usr/bin/g++", "-c a.cpp", "");
  EXPECT_EQ(GroupLines("Build").size(), 4u);
}

TEST_F(HostObjectTest, SecondRegistrationForATaskIsRefusedAndTheFirstStays) {
  auto First = [](const std::string& P) { return std::make_shared<TNXSHostObject>(P); };
  auto Second = [](const std::string&) -> std::shared_ptr<engine::ITaskHostObject> { return nullptr; };
  RegisterHostObjectClass("TestCompile", First);
  EXPECT_EQ(ErrorOf([&] { RegisterHostObjectClass("testcompile", Second); }),
            "A host object for task \"testcompile\" is already registered");
  auto Classes = HostObjects();
  ASSERT_EQ(Classes.count("TESTCOMPILE"), 1u);
  auto Made = Classes.at("TestCompile")("/p/app.vproj");
  ASSERT_NE(Made, nullptr);
  EXPECT_EQ(dynamic_cast<TNXSHostObject&>(*Made).GetProjectFullPath(), "/p/app.vproj");
  UnregisterHostObjectClass("TestCompile");
  EXPECT_EQ(HostObjects().count("TestCompile"), 0u);
  RegisterHostObjectClass("TestCompile", Second);
  UnregisterHostObjectClass("TestCompile");
}

TEST_F(HostObjectTest, ToolsRunWithTheirArgumentsInAResponseFile) {
  const std::string Tool = Dir / "my tool.sh";
  WriteText(Tool, "#!/bin/sh\necho \"args:$*\"\nfor a; do case $a in @*) cat \"${a#@}\"; echo; esac; done\nexit 3\n");
  ::chmod(Tool.c_str(), 0755);
  TNXSHostObject H(Dir / "app.vproj");
  int Exit = 0;
  EXPECT_TRUE(H.ExecTool(Tool, "-c 'a b.cpp'", false, Exit));
  EXPECT_EQ(Exit, 3);
  EXPECT_TRUE(H.ExecTool(Tool, "-c 'a b.cpp'", true, Exit));
  MainThreadQueue().ProcessPending();
  std::vector<std::string> Out = GroupLines("Output");
  ASSERT_EQ(Out.size(), 3u);
  EXPECT_EQ(Out[0], "args:-c a b.cpp");
  // The command line names the response file after " @"; it is gone once the tool ended.
  ASSERT_EQ(Out[1].rfind("args:@", 0), 0u) << Out[1];
  EXPECT_EQ(Out[1].substr(Out[1].size() - 4), ".rsp");
  EXPECT_EQ(Out[2], "-c 'a b.cpp'");
  EXPECT_FALSE(std::filesystem::exists(Out[1].substr(6)));
  EXPECT_EQ(ToolCommandLine("/bin/my tool", "-x"), "\"/bin/my tool\" -x");
}

TEST_F(HostObjectTest, KibitzResultIsKeptForTheBridge) {
  TNXSHostObject H;
  std::thread([&] { H.KibitzResult("Eval", "a|b"); }).join();
  EXPECT_EQ(GetMSBuildKibitzResult(), "a|b");
  ClearMSBuildKibitzResult();
  EXPECT_EQ(GetMSBuildKibitzResult(), "");
}

}  // namespace
}  // namespace nxs::test
