// Build groups: kept in the group file and read back, default items, configuration renames
// followed, and the entries a build group yields.
#include "build/buildgroups.h"
#include "buildtest.h"
#include "projects/projectgroup.h"

namespace nxs::test {
namespace {

class BuildGroupsTest : public BuildTest {
 protected:
  TProjectGroup& GroupOfTwo() {
    A = &MakeBuildProject("a/a.vproj", 1);
    B = &MakeBuildProject("My.B.vproj", 2);
    TProjectGroup* G = TProjectGroup::NewGroup(Dir / "g.groupproj");
    G->AddTarget(A);
    G->AddTarget(B);
    return *G;
  }
  void Restart() {
    DoneSourceModules();
    InitSourceModules();
  }
  TCustomCodeIProject *A = nullptr, *B = nullptr;
};

TEST_F(BuildGroupsTest, BuildGroupsAreWrittenWithTheGroupAndReadBack) {
  TProjectGroup& G = GroupOfTwo();
  TBuildGroups* BG = CreateBuildGroups(G);
  ASSERT_NE(BG, nullptr);
  EXPECT_EQ(CreateBuildGroups(G), BG);  // made once
  TBuildGroup& Nightly = BG->Add("Nightly");
  TBuildGroupItem& ItemA = BG->ItemFor(Nightly, *A);
  ItemA.Configurations = "Debug;Release";
  ItemA.Platforms = "Win32;Linux64";
  BG->ItemFor(Nightly, *B).Enabled = false;
  BG->Add("Quick");
  BG->SetActiveBuildGroup("Nightly");
  ASSERT_TRUE(G.Save(false, true));

  const std::string Saved = ReadText(Dir / "g.groupproj");
  EXPECT_NE(Saved.find("<ActiveBuildGroup>Nightly</ActiveBuildGroup>"), std::string::npos) << Saved;
  EXPECT_NE(Saved.find("<ItemGroup Condition=\"'$(BuildGroup)'=='Nightly'\">\r\n"
                       "        <BuildGroupProject Include=\"a\\a.vproj\">\r\n"
                       "            <ProjectGuid>{00000000-0000-4000-8000-000000000001}</ProjectGuid>\r\n"
                       "            <Configurations>Debug;Release</Configurations>\r\n"
                       "            <Platforms>Win32;Linux64</Platforms>\r\n"
                       "            <Enabled>True</Enabled>\r\n"
                       "        </BuildGroupProject>"),
            std::string::npos)
      << Saved;
  EXPECT_NE(Saved.find("<Enabled>False</Enabled>"), std::string::npos);
  // Saved twice, the build groups are not repeated.
  G.Modified();
  ASSERT_TRUE(G.Save(false, true));
  EXPECT_EQ(ReadText(Dir / "g.groupproj"), Saved);

  Restart();
  TProjectGroup* Loaded = TProjectGroup::OpenGroup(Dir / "g.groupproj");
  TBuildGroups* Read = CreateBuildGroups(*Loaded);
  ASSERT_NE(Read, nullptr);
  ASSERT_EQ(Read->Count(), 2);
  EXPECT_EQ(Read->ActiveBuildGroup(), "Nightly");
  TBuildGroup* N = Read->Find("nightly");
  ASSERT_NE(N, nullptr);
  ASSERT_EQ(N->Items().size(), 2u);
  EXPECT_EQ(N->Items()[0].Configurations, "Debug;Release");
  EXPECT_EQ(N->Items()[0].Platforms, "Win32;Linux64");
  EXPECT_TRUE(N->Items()[0].Enabled);
  EXPECT_FALSE(N->Items()[1].Enabled);
}

TEST_F(BuildGroupsTest, AHandWrittenBuildGroupGetsDefaultItemsAndIgnoresOtherMetadata) {
  A = &MakeBuildProject("a/a.vproj", 1);
  B = &MakeBuildProject("My.B.vproj", 2);
  {
    TProjectGroup* G = TProjectGroup::NewGroup(Dir / "g.groupproj");
    G->AddTarget(A);
    G->AddTarget(B);
    ASSERT_TRUE(G->Save(false, true));
  }
  std::string Text = ReadText(Dir / "g.groupproj");
  const std::string Hand =
      "<ItemGroup Condition=\" '$(BuildGroup)' == 'Hand' \">"
      "<BuildGroupProject Include=\"My.B.vproj\"><ProjectGuid>{00000000-0000-4000-8000-000000000002}</ProjectGuid>"
      "<Configurations>Release</Configurations><Platforms>Win32</Platforms><Colour>red</Colour></BuildGroupProject>"
      "</ItemGroup><ItemGroup Condition=\"'$(Other)'=='Hand'\"/>";
  Text.insert(Text.find("<ProjectExtensions>"), Hand);
  WriteText(Dir / "g.groupproj", Text);
  Restart();
  TProjectGroup* G = TProjectGroup::OpenGroup(Dir / "g.groupproj");
  TBuildGroups* BG = CreateBuildGroups(*G);
  ASSERT_EQ(BG->Count(), 1);
  TBuildGroup& Hand1 = BG->Get(0);
  EXPECT_EQ(Hand1.Name(), "Hand");
  ASSERT_EQ(Hand1.Items().size(), 2u);
  EXPECT_EQ(Hand1.Items()[0].Configurations, "Release");
  // a had no item: its active configuration and platform, enabled.
  EXPECT_EQ(Hand1.Items()[1].Configurations, "Debug");
  EXPECT_EQ(Hand1.Items()[1].Platforms, "Linux64");
  EXPECT_TRUE(Hand1.Items()[1].Enabled);
}

TEST_F(BuildGroupsTest, ABuildGroupYieldsConfigurationsOuterPlatformsInnerAndFollowsRenames) {
  TProjectGroup& G = GroupOfTwo();
  TBuildGroups* BG = CreateBuildGroups(G);
  TBuildGroup& All = BG->Add("All");
  BG->ItemFor(All, *A).Configurations = "Debug;Release";
  BG->ItemFor(All, *A).Platforms = "Win32;Linux64";
  BG->ItemFor(All, *B).Enabled = false;
  int Modified = 0;
  EvBuildGroupModified().Add(this, [&](TEvBuildGroupModified&) { ++Modified; });

  // Renaming a configuration of a renames it in the items that list it.
  A->GetConfigurations()->Rename(*A->GetConfigurations()->GetConfiguration("Release"), "Shipping");
  EvBuildGroupModified().Remove(this);
  EXPECT_EQ(BG->ItemFor(All, *A).Configurations, "Debug;Shipping");
  EXPECT_EQ(Modified, 1);

  const TBuildControl Control = TBuildControl::Create(cmBuild, true, false, false, false, false, false);
  EXPECT_EQ(CompileBuildGroup(G, "All", Control), crSucceeded);
  EXPECT_EQ(Log.Joined(),
            "PreBuild a\nPreBuild a\nPreBuild a\nPreBuild a\n"
            "Build a Debug Win32 active Win32\nBuild a Debug Linux64 active Linux64\n"
            "Build a Shipping Win32 active Win32\nBuild a Shipping Linux64 active Linux64\n"
            "PostBuild a\nPostBuild a\nPostBuild a\nPostBuild a\n");
  EXPECT_EQ(Display->Titles.front(), "Building group \"All\"");

  // Nothing for an empty name or one that is not a build group.
  Log.Lines.clear();
  EXPECT_EQ(CompileBuildGroup(G, "", Control), crFailed);
  EXPECT_EQ(CompileBuildGroup(G, "None", Control), crFailed);
  EXPECT_TRUE(Log.Lines.empty());
}

}  // namespace
}  // namespace nxs::test
