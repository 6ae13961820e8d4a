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

TEST_F(GroupTest, ProjectsThatCannotBeOpenedAreReportedAndLeftOut) {
  TProjectGroup& G = NewGroupOfThree("g.groupproj");
  G.SetProjectDependencies(G.FindProject("c"), {G.FindProject("a"), G.FindProject("My.App")});
  ASSERT_TRUE(G.Save(false, true));
  Restart();
  std::filesystem::remove(A);
  WriteText(B, "<Project");
  TProjectGroup* Loaded = TProjectGroup::OpenGroup(Dir / "g.groupproj");
  EXPECT_EQ(Describe(*Loaded), "*c[] ");
  ASSERT_EQ(Reports.size(), 2u);
  EXPECT_EQ(Reports[0], "Unable to locate project " + A +
                            ".  The project reference has been removed from the project group.");
  EXPECT_NE(Reports[1].find("\n\nUnable to create project " + B + ". This project will be removed from the project group."),
            std::string::npos);
  EXPECT_TRUE(Loaded->GetModified());  // the references are gone
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
  WriteText(Dir / "bad.nxsgroup", ReplaceAll(Text, "<Targets>a My_App c</Targets>", "<Targets>a ghost c</Targets>"));
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
  // Closing a project takes it out of the group.
  auto* P = dynamic_cast<TBaseProject*>(FindDocModule(C));
  P->RemoveOwner(M);
  ASSERT_TRUE(P->HideOrClose());
  EXPECT_EQ(static_cast<TProjectGroup*>(M)->GetProjectCount(), 2);
  // A modified group asks before it is saved.
  static_cast<TProjectGroup*>(M)->ActivateProject(nullptr);
  Q->Answers = {mrCancel};
  EXPECT_FALSE(M->Save(false, false));
  EXPECT_EQ(Q->Asked.back(), "Save changes to project group g?");
}

}  // namespace
}  // namespace nxs::test
