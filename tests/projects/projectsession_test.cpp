// The project session: a project opened as a module and as its document answers the macros
// alike, and a new project or group is never written over a file that exists.
#include "projects/projectsession.h"

#include "projectfiles/configmgr.h"
#include "projectfiles/configtarget.h"
#include "projectfiles/linuxplatform.h"
#include "projectfiles/macros.h"
#include "projects/newproject.h"
#include "projecttest.h"
#include "shared/text.h"
#include "support/errorof.h"

namespace nxs::test {
namespace {

// The session starts and ends the module layer itself.
using SessionTest = ProjectSettingsTest;

TEST_F(SessionTest, MacrosResolveAlikeWhicheverWayTheProjectOpened) {
  const std::string File = Dir / "app.vproj";
  {
    TProjectSession Session;
    Session.NewProject(File, SPersonalityPascal, "Application");
    TProjectDocument& Doc = Session.OpenDocumentToChange(File);
    Doc.Configs().SetPlatformSupported(SPlatformWin32, true);
    ActivateConfiguration(Doc.Configs(), "Release", SPlatformWin32);
    SetConfigValue(Doc.Configs(), {}, "OutputDir", "bin\\out", false);
    Doc.Save();
  }
  // A file of the project with the command the user gave it.
  WriteText(File, ReplaceAllText(ReadText(File), "</Project>",
                             "<ItemGroup><None Include=\"tool.txt\"><LocalCommand>run it</LocalCommand></None>"
                             "</ItemGroup></Project>"));

  const std::string Text = "$(OUTPUTPATH)|$(OUTPUTDIR)|$(OUTPUTNAME)|$(OUTPUTEXT)|$(INPUTPATH)|$(LOCALCOMMAND)";
  auto Expand = [&](IProjectContext& Project, const std::string& Source) {
    return IDEMacros().ExpandMacros(Text, Source, &Project);
  };
  TProjectSession Session;
  TProjectDocument& Doc = Session.OpenDocument(File);
  TBaseProject& Module = Session.OpenProject(File);
  const std::string Out = Dir / "bin/out/";
  EXPECT_EQ(Expand(Doc, ""), Out + "app.exe|" + Out + "|app|.exe|" + File + "|");
  EXPECT_EQ(Expand(Doc, Dir / "tool.txt"),
            Dir / "tool.txt|" + Dir.Path() + "/|tool|.txt|" + Dir / "tool.txt|run it");
  // A file the project does not hold has no entry: the project's names stand.
  EXPECT_EQ(Expand(Doc, Dir / "elsewhere.txt"), Expand(Doc, ""));
  for (const std::string& Source : {std::string(), Dir / "tool.txt", Dir / "elsewhere.txt"})
    EXPECT_EQ(Expand(Module, Source), Expand(Doc, Source)) << Source;
}

TEST_F(SessionTest, NewProjectsAndGroupsAreNeverWrittenOverAFile) {
  EXPECT_EQ(ProjectFileExtension("kestrel.personality"), ".kzproj");
  EXPECT_EQ(ProjectFileExtension(SPersonalityPascal), ".vproj");
  EXPECT_EQ(ProjectFileExtension(SPersonalityDefault), ".vproj");

  const std::string Project = Dir / "p" + ProjectFileExtension(SPersonalityCpp);
  const std::string Group = Dir / "g.groupproj";
  WriteText(Project, "mine");
  WriteText(Group, "ours");
  TProjectSession Session;
  EXPECT_EQ(ErrorOf([&] { Session.NewProject(Project, SPersonalityCpp, "Application"); }),
            "File \"" + Project + "\" already exists");
  EXPECT_EQ(ErrorOf([&] { Session.NewGroup(Group); }), Group + " already exists");
  EXPECT_EQ(ReadText(Project), "mine");
  EXPECT_EQ(ReadText(Group), "ours");

  Session.NewGroup(Dir / "new.groupproj");
  Session.NewProject(Dir / "new.kzproj", SPersonalityCpp, "Library");
  TProjectGroup& Made = Session.OpenGroupToChange(Dir / "new.groupproj");
  Made.AddTarget(&Session.OpenProject(Dir / "new.kzproj"));
  Session.SaveGroup(Made);
  EXPECT_EQ(Session.OpenDocument(Dir / "new.kzproj").GetApplicationType(), "Library");
  EXPECT_NE(ReadText(Dir / "new.groupproj").find("new.kzproj"), std::string::npos);
}

}  // namespace
}  // namespace nxs::test
