// Project groups: the ".groupproj" layout written and read back, projects that cannot be
// opened, the legacy format with its check and upgrade, order, activation and dependencies.
#include <filesystem>

#include "projectfiles/projectfile.h"
#include "projecttest.h"
#include "support/errorof.h"

namespace nxs::test {
namespace {

class GroupTest : public ProjectTest {
 protected:
  // Three projects with distinct GUIDs; the second one's module name holds a dot.
  void MakeThree() {
    A = MakeProject("a/a.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-00000000000A}</ProjectGuid>");
    B = MakeProject("b/My.App.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-00000000000B}</ProjectGuid>");
    C = MakeProject("c.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-00000000000C}</ProjectGuid>");
  }
  TProjectGroup& NewGroupOfThree(const std::string& Name) {
    MakeThree();
    TProjectGroup* G = TProjectGroup::NewGroup(Dir / Name);
    for (const auto& F : {A, B, C}) G->AddTarget(&Open(F));
    return *G;
  }
  // The group's projects as "name[deps]" in build order, the active one marked "*".
  static std::string Describe(const TProjectGroup& G) {
    std::string S;
    for (TBaseProject* P : G.Projects()) {
      S += (P == G.ActiveProject() ? "*" : "") + P->GetModuleName() + "[";
      for (TBaseProject* D : G.GetProjectDependencies(P)) S += D->GetModuleName() + ";";
      S += "] ";
    }
    return S;
  }
  // Frees every module, as a new session of the environment would start.
  void Restart() {
    DoneSourceModules();
    InitSourceModules();
  }

  std::string A, B, C;
};

TEST_F(GroupTest, AWrittenGroupLoadsBackWithItsOrderDependenciesAndActiveProject) {
  TProjectGroup& G = NewGroupOfThree("g.groupproj");
  TBaseProject* PA = G.FindProject("a");
  TBaseProject* PB = G.FindProject("My.App");
  TBaseProject* PC = G.FindProject("c.vproj");
  G.SetProjectDependencies(PA, {PB, PC});
  G.SetProjectDependencies(PC, {PB});
  G.DemoteProject(PA);
  G.ActivateProject(PC);
  G.SetOption("Parallel", "Boolean", "True");
  ASSERT_TRUE(G.Save(false, true));
  const std::string Saved = ReadText(Dir / "g.groupproj");
  const std::string Before = Describe(G);
  EXPECT_EQ(Before, "My.App[] a[My.App;c;] *c[My.App;] ");

  // The targets follow the "." to "_" rule, and the dependencies become DependsOnTargets.
  EXPECT_NE(Saved.find("<Target Name=\"My_App:Make\">"), std::string::npos);
  EXPECT_NE(Saved.find("<Target Name=\"a:Clean\" DependsOnTargets=\"My_App:Clean;c:Clean\">"), std::string::npos);
  EXPECT_NE(Saved.find("<MSBuild Projects=\"a\\a.vproj\" Targets=\"Make\"/>"), std::string::npos);
  EXPECT_NE(Saved.find("<CallTarget Targets=\"My_App;a;c\"/>"), std::string::npos);
  EXPECT_NE(Saved.find("<Projects Include=\"a\\a.vproj\">\r\n            <Dependencies>b\\My.App.vproj;c.vproj</Dependencies>"),
            std::string::npos);
  EXPECT_NE(Saved.find("<Import Project=\"$(NXS)\\data\\targets\\Meldrin.Group.Targets\" "
                       "Condition=\"Exists('$(NXS)\\data\\targets\\Meldrin.Group.Targets')\"/>"),
            std::string::npos);
  // The layout is the system's own: written again it is the same to the byte.
  auto Doc = MSBuildOpenProject(Dir / "g.groupproj");
  Doc->SaveToFile(Dir / "again.groupproj");
  EXPECT_EQ(ReadText(Dir / "again.groupproj"), Saved);

  Restart();
  TProjectGroup* Loaded = TProjectGroup::OpenGroup(Dir / "g.groupproj");
  EXPECT_EQ(Describe(*Loaded), Before);
  EXPECT_EQ(Loaded->GetOption("parallel"), "True");
  EXPECT_FALSE(Loaded->GetModified());
  EXPECT_TRUE(Reports.empty());
  ASSERT_TRUE(Loaded->Save(false, true));
  EXPECT_EQ(ReadText(Dir / "g.groupproj"), Saved);
}

// Opening a group shows the operation's progress under its caption and each project it
// opens in the status area.
TEST_F(GroupTest, OpeningShowsItsProgressAndEachProjectItLoads) {
  TProjectGroup& G = NewGroupOfThree("g.groupproj");
  ASSERT_TRUE(G.Save(false, true));
  std::filesystem::remove(C);
  Restart();
  std::vector<std::string> Shown;
  TProjectGroupDisplay Display;
  Display.BeginProgress = [&](const std::string& Op, const std::string& Caption) { Shown.push_back(Op + ": " + Caption); };
  Display.EndProgress = [&](const std::string& Op) { Shown.push_back("end " + Op); };
  Display.ShowStatus = [&](const std::string& Text) { Shown.push_back(Text); };
  SetProjectGroupDisplay(Display);
  TProjectGroup::OpenGroup(Dir / "g.groupproj");
  SetProjectGroupDisplay({});
  EXPECT_EQ(Shown, (std::vector<std::string>{"Project Operation: Open MSBuild Project Group: " + (Dir / "g.groupproj"),
                                             "Loading project a.vproj", "Loading project My.App.vproj",
                                             "end Project Operation"}));
  EXPECT_EQ(Reports.size(), 1u);  // the missing one is reported, not loaded
}

// A group file changed on disk is offered for reloading, and read again the group holds what
// the file lists now; a file that cannot be read leaves the group as it was.
TEST_F(GroupTest, AGroupFileChangedOnDiskIsReadAgain) {
  TProjectGroup& G = NewGroupOfThree("g.groupproj");
  EXPECT_FALSE(G.CheckFileDate());
  ASSERT_TRUE(G.Save(false, true));
  EXPECT_FALSE(G.CheckFileDate()) << "its own save is no change";
  TBaseProject* PB = G.FindProject("My.App");
  std::string Text = ReadText(Dir / "g.groupproj");
  const std::string Order = "<CallTarget Targets=\"a;My_App;c\"/>";
  ASSERT_NE(Text.find(Order), std::string::npos);
  Text.replace(Text.find(Order), Order.size(), "<CallTarget Targets=\"c;a\"/>");
  WriteText(Dir / "g.groupproj", Text);
  EXPECT_TRUE(G.CheckFileDate());
  EXPECT_TRUE(G.CanReloadFile());
  CheckFileDates(true);
  EXPECT_EQ(Describe(G), "*c[] a[] ");
  EXPECT_FALSE(PB->IsOwnedBy(&G));
  EXPECT_FALSE(G.CheckFileDate());

  const std::string Before = Describe(G);
  WriteText(Dir / "g.groupproj", "<Project");
  EXPECT_TRUE(G.CheckFileDate());
  EXPECT_THROW(G.ReloadFile(), EInvalidProjectGroup);
  EXPECT_EQ(Describe(G), Before);
  std::filesystem::remove(Dir / "g.groupproj");
  EXPECT_FALSE(G.CanReloadFile());
}

TEST_F(GroupTest, ProjectsThatCannotBeOpenedAreReportedAndKeptWhereTheyStood) {
  MakeThree();
  const std::string TextA = ReadText(A), TextB = ReadText(B);
  for (const std::string Name : {"g.groupproj", "old.nxsgroup"}) {
    SCOPED_TRACE(Name);
    Restart();
    WriteText(A, TextA);
    WriteText(B, TextB);
    TProjectGroup* G = TProjectGroup::NewGroup(Dir / Name);
    for (const auto& F : {A, B, C}) G->AddTarget(&Open(F));
    G->SetProjectDependencies(G->FindProject("a"), {G->FindProject("My.App")});
    G->SetProjectDependencies(G->FindProject("c"), {G->FindProject("a"), G->FindProject("My.App")});
    G->ActivateProject(G->FindProject("a"));
    ASSERT_TRUE(G->Save(false, true));
    const std::string Before = Describe(*G);

    Restart();
    Reports.clear();
    std::filesystem::remove(A);
    WriteText(B, "<Project");
    G = TProjectGroup::OpenGroup(Dir / Name);
    EXPECT_EQ(Describe(*G), "*c[] ");  // for now: the file keeps "a"
    ASSERT_EQ(Reports.size(), 2u);
    EXPECT_EQ(Reports[0], "Unable to locate project " + A + ".  The project reference is kept in the project group.");
    EXPECT_NE(
        Reports[1].find("\n\nUnable to create project " + B + ". The project reference is kept in the project group."),
        std::string::npos);
    EXPECT_EQ(G->UnopenedProjects(), (std::vector<std::string>{A, B}));
    EXPECT_FALSE(G->GetModified());
    // An unrelated change keeps them, in their places, with their dependencies and the
    // dependencies on them, and the active project.
    G->SetOption("Parallel", "Boolean", "True");
    ASSERT_TRUE(G->Save(false, true));
    Restart();
    WriteText(A, TextA);
    WriteText(B, TextB);
    G = TProjectGroup::OpenGroup(Dir / Name);
    EXPECT_EQ(Describe(*G), Before);

    // Only removing one takes it out, with the dependencies on it.
    Restart();
    std::filesystem::remove(A);
    G = TProjectGroup::OpenGroup(Dir / Name);
    G->RemoveProjectNamed("a");
    EXPECT_EQ(ErrorOf([&] { G->RemoveProjectNamed("a"); }), "a is not a project of group " + G->GetModuleName());
    ASSERT_TRUE(G->Save(false, true));
    Restart();
    WriteText(A, TextA);
    G = TProjectGroup::OpenGroup(Dir / Name);
    EXPECT_EQ(Describe(*G), "*My.App[] c[My.App;] ");
  }
}

TEST_F(GroupTest, ASaveChangesOnlyWhatTheGroupOwnsAndLeavesTheRestWhereItStood) {
  MakeThree();
  const std::string Mine[] = {
      "<PropertyGroup>\r\n        <Mine>1</Mine>\r\n    </PropertyGroup>",
      "<Extra Include=\"notes.txt\"/>",
      "<Target Name=\"Before\">\r\n        <Message Text=\"before\"/>\r\n    </Target>",
      "<Target Name=\"Deploy\" DependsOnTargets=\"Build\">\r\n        <Exec Command=\"true\"/>\r\n    </Target>",
      "<Import Project=\"my.targets\"/>",
      "<Note>mine</Note>",
      "<Mine/>",
  };
  WriteText(Dir / "h.groupproj",
            "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">" + Mine[0] +
                "<ItemGroup><Projects Include=\"c.vproj\"><Dependencies/></Projects>" + Mine[1] + "</ItemGroup>" +
                Mine[2] +
                "<Target Name=\"c\"><MSBuild Projects=\"c.vproj\"/></Target>"
                "<Target Name=\"c:Clean\"><MSBuild Projects=\"c.vproj\" Targets=\"Clean\"/></Target>"
                "<Target Name=\"c:Make\"><MSBuild Projects=\"c.vproj\" Targets=\"Make\"/></Target>" +
                Mine[3] +
                "<Target Name=\"Build\"><CallTarget Targets=\"c\"/></Target>"
                "<Target Name=\"Clean\"><CallTarget Targets=\"c:Clean\"/></Target>"
                "<Target Name=\"Make\"><CallTarget Targets=\"c:Make\"/></Target>"
                "<Import Project=\"$(NXS)\\data\\targets\\Tarvos.Group.Targets\"/>" +
                Mine[4] + "<ProjectExtensions><TarvosProject><Default.Personality>" + Mine[5] +
                "</Default.Personality></TarvosProject>" + Mine[6] + "</ProjectExtensions></Project>");
  TProjectGroup* G = TProjectGroup::OpenGroup(Dir / "h.groupproj");
  G->AddTarget(&Open(A));
  G->SetProjectDependencies(G->FindProject("a"), {G->FindProject("c")});
  ASSERT_TRUE(G->Save(false, true));
  const std::string Saved = ReadText(Dir / "h.groupproj");
  // Each of the user's elements as it was, and in the order it was.
  size_t At = 0;
  for (const std::string& M : Mine) {
    const size_t Found = Saved.find(M);
    ASSERT_NE(Found, std::string::npos) << M << " in\n" << Saved;
    EXPECT_GE(Found, At) << M << " moved in\n" << Saved;
    At = Found;
  }
  // The group's own parts, where its parts stood.
  EXPECT_LT(Saved.find("<Projects Include=\"a\\a.vproj\">"), Saved.find(Mine[1]));
  EXPECT_LT(Saved.find(Mine[2]), Saved.find("<Target Name=\"a:Make\" DependsOnTargets=\"c:Make\">"));
  EXPECT_LT(Saved.find("<CallTarget Targets=\"c;a\"/>"), Saved.find(Mine[3]));
  EXPECT_EQ(Saved.find("Tarvos.Group.Targets"), std::string::npos);
  EXPECT_LT(Saved.find("Meldrin.Group.Targets"), Saved.find(Mine[4]));
  Restart();
  EXPECT_EQ(Describe(*TProjectGroup::OpenGroup(Dir / "h.groupproj")), "*c[] a[c;] ");
}

TEST_F(GroupTest, TargetNamesAreValidAndUniqueWithinTheGroup) {
  EXPECT_EQ(GroupTargetNames({"/x/My Lib.vproj", "/x/a;b:c.vproj", "/x/p.vproj", "/y/p.vproj", "/z/P.vproj",
                              "/x/p_2.vproj", "/x/Build.vproj", "/x/_Kibitz.vproj", "/x/Deploy.vproj",
                              "/x/My.App.vproj"},
                             {"Deploy"}),
            (std::vector<std::string>{"My_Lib", "a_b_c", "p", "p_2", "P_3", "p_2_2", "Build_2", "_Kibitz_2", "Deploy_2",
                                      "My_App"}));
  // Every group this system writes reads back whole, in both formats.
  const std::vector<std::string> Files = {
      MakeProject("My Lib.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-000000000011}</ProjectGuid>"),
      MakeProject("a;b.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-000000000012}</ProjectGuid>"),
      MakeProject("one/p.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-000000000013}</ProjectGuid>"),
      MakeProject("two/p.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-000000000014}</ProjectGuid>"),
      MakeProject("Build.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-000000000015}</ProjectGuid>")};
  for (const std::string Name : {"g.groupproj", "old.nxsgroup"}) {
    SCOPED_TRACE(Name);
    Restart();
    TProjectGroup* G = TProjectGroup::NewGroup(Dir / Name);
    for (const auto& F : Files) G->AddTarget(&Open(F));
    std::vector<TBaseProject*> P = G->Projects();
    G->SetProjectDependencies(P[4], {P[0], P[1], P[3]});
    G->SetProjectDependencies(P[1], {P[2]});
    G->ActivateProject(P[3]);
    ASSERT_TRUE(G->Save(false, true));
    const std::string Before = Describe(*G);
    EXPECT_EQ(Before, "My Lib[] a;b[p;] p[] *p[] Build[My Lib;a;b;p;] ");
    Restart();
    G = TProjectGroup::OpenGroup(Dir / Name);
    EXPECT_EQ(Describe(*G), Before);
    EXPECT_EQ(G->GetProject(3)->GetFileName(), Files[3]);
    EXPECT_TRUE(Reports.empty());
    // And once more after a change: nothing is lost by the group's own write.
    G->DemoteProject(G->GetProject(0));
    ASSERT_TRUE(G->Save(false, true));
    Restart();
    EXPECT_EQ(Describe(*TProjectGroup::OpenGroup(Dir / Name)), "a;b[p;] My Lib[] p[] *p[] Build[My Lib;a;b;p;] ");
  }
}

TEST_F(GroupTest, DependencyNamesAreReadThroughTheDotRuleAndTheFirstTargetWins) {
  MakeThree();
  WriteText(Dir / "h.groupproj",
            "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">"
            "<Target Name=\"c\" DependsOnTargets=\"my.APP;c;My_App\"><MSBuild Projects=\"c.vproj\"/></Target>"
            "<Target Name=\"c\"><MSBuild Projects=\"a\\a.vproj\"/></Target>"
            "<Target Name=\"My_App\"><MSBuild Projects=\"b/My.App.vproj\"/></Target>"
            "<Target Name=\"My_App:Make\"><MSBuild Projects=\"a\\a.vproj\"/></Target>"
            "<Target Name=\"Build\"><CallTarget Targets=\"MY_App;C\"/></Target></Project>");
  TProjectGroup* G = TProjectGroup::OpenGroup(Dir / "h.groupproj");
  EXPECT_EQ(Describe(*G), "*My.App[] c[My.App;] ");
}

TEST_F(GroupTest, ACycleInAHandEditedFileIsBrokenAndReported) {
  MakeThree();
  WriteText(Dir / "h.groupproj",
            "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">"
            "<Target Name=\"a\" DependsOnTargets=\"c\"><MSBuild Projects=\"a/a.vproj\"/></Target>"
            "<Target Name=\"c\" DependsOnTargets=\"a\"><MSBuild Projects=\"c.vproj\"/></Target>"
            "<Target Name=\"Build\"><CallTarget Targets=\"a;c\"/></Target></Project>");
  TProjectGroup* G = TProjectGroup::OpenGroup(Dir / "h.groupproj");
  const std::string Shown = Describe(*G);
  EXPECT_TRUE(Shown == "*a[c;] c[] " || Shown == "*a[] c[a;] ") << Shown;
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_NE(Reports[0].find("that would make the cycle"), std::string::npos);
  EXPECT_TRUE(G->GetModified());
}

TEST_F(GroupTest, OrderActivationAndValidDependencies) {
  TProjectGroup& G = NewGroupOfThree("g.groupproj");
  TBaseProject* PA = G.FindProject("a");
  TBaseProject* PB = G.FindProject("My.App");
  TBaseProject* PC = G.FindProject("c");
  EXPECT_EQ(G.ActiveProject(), nullptr);
  EXPECT_FALSE(G.PromoteProject(PA));
  EXPECT_FALSE(G.DemoteProject(PC));
  EXPECT_TRUE(G.PromoteProject(PC));
  EXPECT_EQ(Describe(G), "a[] c[] My.App[] ");

  G.SetProjectDependencies(PB, {PA});
  G.SetProjectDependencies(PC, {PB});
  // Neither a project itself nor one that depends on it, directly or not.
  EXPECT_EQ(G.GetValidProjectDependencies(PA), std::vector<TBaseProject*>{});
  EXPECT_EQ(G.GetValidProjectDependencies(PB), (std::vector<TBaseProject*>{PA}));
  EXPECT_EQ(G.GetValidProjectDependencies(PC), (std::vector<TBaseProject*>{PA, PB}));
  EXPECT_EQ(ErrorOf([&] { G.SetProjectDependencies(PA, {PC}); }),
            "a cannot depend on c: that would make the cycle a -> c -> My.App -> a");
  EXPECT_EQ(ErrorOf([&] { G.SetProjectDependencies(PA, {PA}); }), "a cannot depend on a: that would make the cycle a -> a");

  // Removing a project takes it out of the others' dependencies and passes the activation on.
  G.ActivateProject(PB);
  G.RemoveProject(PB);
  EXPECT_EQ(Describe(G), "a[] *c[] ");
  EXPECT_EQ(G.ActiveProject(), PC);
}

// Dependencies named one command at a time add to those the project has, and go one by one.
TEST_F(GroupTest, DependenciesAreAddedToThoseThereAndTakenOutOneByOne) {
  TProjectGroup& G = NewGroupOfThree("g.groupproj");
  TBaseProject* PA = G.FindProject("a");
  TBaseProject* PB = G.FindProject("My.App");
  TBaseProject* PC = G.FindProject("c");
  G.AddProjectDependencies(PA, {PC});
  G.AddProjectDependencies(PA, {PB, PC});
  EXPECT_EQ(Describe(G), "a[c;My.App;] My.App[] c[] ");
  // One that would close a cycle changes nothing.
  G.AddProjectDependencies(PC, {PB});
  EXPECT_EQ(ErrorOf([&] { G.AddProjectDependencies(PB, {PA}); }),
            "My.App cannot depend on a: that would make the cycle My.App -> a -> c -> My.App");
  EXPECT_EQ(Describe(G), "a[c;My.App;] My.App[] c[My.App;] ");
  G.RemoveProjectDependency(PA, PC);
  G.RemoveProjectDependency(PA, PA);
  EXPECT_EQ(Describe(G), "a[My.App;] My.App[] c[My.App;] ");
}

// Asked twice for the same dependency, the group keeps it once; a legacy file in which a
// project names a dependency twice and its own GUID among them opens with the one dependency
// and without a report.
TEST_F(GroupTest, ADependencyChosenTwiceOrOnItselfIsNoSecondDependency) {
  TProjectGroup& G = NewGroupOfThree("old.nxsgroup");
  TBaseProject* PA = G.FindProject("a");
  TBaseProject* PC = G.FindProject("c");
  G.SetProjectDependencies(PA, {PC, PC});
  EXPECT_EQ(G.GetProjectDependencies(PA), std::vector<TBaseProject*>{PC});
  G.SetProjectDependencies(PA, {PC, G.GetProjectDependencies(PA).front()});
  EXPECT_EQ(Describe(G), "a[c;] My.App[] c[] ");
  ASSERT_TRUE(G.Save(false, true));
  const std::string Text = ReadText(Dir / "old.nxsgroup");
  const std::string GuidA = GUIDToString(PA->GetProjectGUID());
  const std::string Dependency = "<Dependency GUID=\"" + GUIDToString(PC->GetProjectGUID()) + "\"/>";
  ASSERT_NE(Text.find(Dependency), std::string::npos);
  WriteText(Dir / "old.nxsgroup",
            ReplaceAllText(Text, Dependency, Dependency + "<Dependency GUID=\"" + GuidA + "\"/>" + Dependency));
  Restart();
  TProjectGroup* Loaded = TProjectGroup::OpenGroup(Dir / "old.nxsgroup");
  EXPECT_EQ(Describe(*Loaded), "*a[c;] My.App[] c[] ");
  EXPECT_TRUE(Reports.empty());
  EXPECT_FALSE(Loaded->GetModified());
}

TEST_F(GroupTest, ARepeatedGuidIsReplaced) {
  MakeThree();
  const std::string Twin =
      MakeProject("twin.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-00000000000A}</ProjectGuid>");
  TProjectGroup* G = TProjectGroup::NewGroup(Dir / "g.groupproj");
  G->AddTarget(&Open(A));
  TBaseProject& T = Open(Twin);
  G->AddTarget(&T);
  EXPECT_NE(T.GetProjectGUID(), G->FindProject("a")->GetProjectGUID());
  EXPECT_TRUE(T.GetModified());
  EXPECT_EQ(ErrorOf([&] { G->AddTarget(&T); }), Twin + " is already a project of group g");
}

TEST_F(GroupTest, AGuidIsReplacedOnlyWhileAnotherProjectOfTheGroupHasIt) {
  MakeThree();
  const auto WithGuid = [&](const std::string& Name, const TGUID& Guid) {
    return MakeProject(Name, {}, "<ProjectGuid>" + GUIDToString(Guid) + "</ProjectGuid>");
  };
  TProjectGroup* G = TProjectGroup::NewGroup(Dir / "g.groupproj");
  TBaseProject& Pa = Open(A);
  G->AddTarget(&Pa);
  const TGUID Old = Pa.GetProjectGUID();
  // a takes another GUID after it joined: its old one is free, its new one taken.
  Pa.GenerateNewGuid();
  TBaseProject& Free = Open(WithGuid("free.vproj", Old));
  G->AddTarget(&Free);
  EXPECT_EQ(Free.GetProjectGUID(), Old);
  EXPECT_FALSE(Free.GetModified());
  TBaseProject& Taken = Open(WithGuid("taken.vproj", Pa.GetProjectGUID()));
  G->AddTarget(&Taken);
  EXPECT_NE(Taken.GetProjectGUID(), Pa.GetProjectGUID());
  // A project that left the group holds its GUID no more.
  const TGUID Left = Pa.GetProjectGUID();
  G->RemoveProject(&Pa);
  TBaseProject& After = Open(WithGuid("after.vproj", Left));
  G->AddTarget(&After);
  EXPECT_EQ(After.GetProjectGUID(), Left);
}

TEST_F(GroupTest, LegacyGroupsAreCheckedReadAndUpgraded) {
  TProjectGroup& G = NewGroupOfThree("old.nxsgroup");
  G.SetProjectDependencies(G.FindProject("c"), {G.FindProject("My.App")});
  G.ActivateProject(G.FindProject("My.App"));
  ASSERT_TRUE(G.Save(false, true));
  const std::string Text = ReadText(Dir / "old.nxsgroup");
  EXPECT_NE(Text.find("<Targets>a My_App c</Targets>"), std::string::npos);
  const std::string Before = Describe(G);
  Restart();

  TProjectGroup* Loaded = TProjectGroup::OpenGroup(Dir / "old.nxsgroup");
  EXPECT_EQ(Describe(*Loaded), Before);
  Loaded->UpgradeProjectToMSBuild();
  EXPECT_TRUE(std::filesystem::exists(Dir / "old.groupproj"));
  EXPECT_TRUE(std::filesystem::exists(Dir / "old.nxsgroup"));
  EXPECT_EQ(ErrorOf([&] {
              Restart();
              TProjectGroup::OpenGroup(Dir / "old.nxsgroup")->UpgradeProjectToMSBuild();
            }),
            Dir / "old.groupproj" + " already exists");
  Restart();
  EXPECT_EQ(Describe(*TProjectGroup::OpenGroup(Dir / "old.groupproj")), Before);

  // A build order naming a target without a project is refused, naming the target.
  WriteText(Dir / "bad.nxsgroup", ReplaceAllText(Text, "<Targets>a My_App c</Targets>", "<Targets>a ghost c</Targets>"));
  Restart();
  EXPECT_EQ(ErrorOf<EInvalidProjectGroup>([&] { TProjectGroup::OpenGroup(Dir / "bad.nxsgroup"); }),
            "Project group inconsistent.  Cannot locate project file(s) for target(s) \"ghost\"");
  EXPECT_EQ(FindDocModule(Dir / "bad.nxsgroup"), nullptr);
}

TEST_F(GroupTest, OpeningThroughTheModuleLayerAndNaming) {
  TProjectGroup& G = NewGroupOfThree("g.groupproj");
  ASSERT_TRUE(G.Save(false, true));
  Restart();
  TDocModule* M = CallDefaultOpenProc(Dir / "g.groupproj", false, nullptr);
  ASSERT_NE(dynamic_cast<TProjectGroup*>(M), nullptr);
  EXPECT_TRUE(M->GetIsProjectGroup());
  EXPECT_EQ(FindDocModule(A)->GetOwner(0), M);
  EXPECT_EQ(ErrorOf([] { TProjectGroup::OpenGroup(""); }), "Must supply a name if opening an existing project group");
  EXPECT_EQ(TProjectGroup::DefaultGroupFileName(Dir.Path(), false), Dir / "ProjectGroup1.groupproj");
  WriteText(Dir / "ProjectGroup1.nxsgroup", "");
  EXPECT_EQ(TProjectGroup::DefaultGroupFileName(Dir.Path(), true), Dir / "ProjectGroup2.nxsgroup");
  // Closing a project takes it out of the group; closing the active one makes the first
  // project active.
  auto* P = dynamic_cast<TBaseProject*>(FindDocModule(C));
  auto* Opened = static_cast<TProjectGroup*>(M);
  Opened->ActivateProject(P);
  P->RemoveOwner(M);
  ASSERT_TRUE(P->HideOrClose());
  EXPECT_EQ(Opened->GetProjectCount(), 2);
  EXPECT_EQ(Opened->ActiveProject(), Opened->GetProject(0));
  // A modified group asks before it is saved.
  static_cast<TProjectGroup*>(M)->ActivateProject(nullptr);
  Q->Answers = {mrCancel};
  EXPECT_FALSE(M->Save(false, false));
  EXPECT_EQ(Q->Asked.back(), "Save changes to project group g?");
}

}  // namespace
}  // namespace nxs::test
