// Build orchestration: build lists and dependency order (cycles included), the group
// builder's run with its events, titles, platform switch, first failure and post-build, the
// file builder, and the group's build commands.
#include "buildtest.h"
#include "build/projectbuilder.h"
#include "projects/projectgroup.h"

namespace nxs::test {
namespace {

// The list's entries as "name cfg platform" lines.
std::string Entries(const TProjectBuildList& L) {
  std::string S;
  for (int I = 0; I < L.Count(); ++I)
    S += L[I].Project->GetModuleName() + " " + L[I].Configuration + " " + L[I].Platform + "\n";
  return S;
}

class OrchestrationTest : public BuildTest {
 protected:
  // a, b, c, d in one group; the group is made active's owner so that dependencies resolve.
  TProjectGroup& GroupOfFour() {
    A = &MakeBuildProject("a/a.vproj", 1);
    B = &MakeBuildProject("b/b.vproj", 2, /*NoRelease=*/true);
    C = &MakeBuildProject("c.vproj", 3);
    D = &MakeBuildProject("d.vproj", 4);
    TProjectGroup* G = TProjectGroup::NewGroup(Dir / "g.groupproj");
    for (auto* P : {A, B, C, D}) G->AddTarget(P);
    return *G;
  }
  TCustomCodeIProject *A = nullptr, *B = nullptr, *C = nullptr, *D = nullptr;
};

TEST_F(OrchestrationTest, DependenciesComeFirstOnceWithTheRequestedOrFallbackConfiguration) {
  TProjectGroup& G = GroupOfFour();
  G.SetProjectDependencies(A, {B, C});
  G.SetProjectDependencies(C, {B});

  // d does not depend on anything and keeps its place; b is listed too but built once.
  TProjectBuildList L;
  EXPECT_TRUE(L.Add(D));
  EXPECT_TRUE(L.Add(A, "Release", "Win32"));
  EXPECT_TRUE(L.Add(B));
  EXPECT_FALSE(L.Add(B, "debug", "linux64"));  // the same entry, names in another case
  EXPECT_TRUE(L.ResolveDependencies().empty());
  // b has no Release: its active configuration; it supports Win32, so that platform.
  EXPECT_EQ(Entries(L),
            "d Debug Linux64\n"
            "b Debug Win32\n"
            "c Release Win32\n"
            "a Release Win32\n"
            "b Debug Linux64\n");
  EXPECT_EQ(L.Find(C, "release", "WIN32"), 2);
  EXPECT_EQ(L.Find(C, "Debug", "Win32"), -1);
}

TEST_F(OrchestrationTest, EveryEntryOfARequestCarriesItsSwitchesToTheEngine) {
  TProjectGroup& G = GroupOfFour();
  G.SetProjectDependencies(A, {B});
  TProjectBuildList L({.Jobs = 4, .WaitForOtherBuilds = false});
  EXPECT_TRUE(L.Add(A));
  EXPECT_TRUE(L.ResolveDependencies().empty());
  ASSERT_EQ(Entries(L), "b Debug Linux64\na Debug Linux64\n");
  // The dependency the list added carries them as well as the entry asked for.
  for (int I = 0; I < L.Count(); ++I)
    EXPECT_EQ(MSBuildPropertiesFor(L[I]), "Config=Debug;Platform=Linux64;ParallelJobs=4;WaitForBuildLock=false");
  TProjectBuildList Copy;
  Copy.Assign(L);
  EXPECT_EQ(Copy.Switches().Jobs, 4);
  // Another request's list is its own: the tools' defaults, waiting for other builds.
  TProjectBuildList Plain;
  EXPECT_TRUE(Plain.Add(A));
  EXPECT_EQ(MSBuildPropertiesFor(Plain[0]), "Config=Debug;Platform=Linux64");
}

TEST_F(OrchestrationTest, ACycleIsCutAtTheProjectOnThePathAndReportedOnce) {
  GroupOfFour();
  // A hand-edited group: a -> b -> c -> a, and d -> a.
  auto Deps = [&](TBaseProject& P) -> std::vector<TBaseProject*> {
    if (&P == A) return {B};
    if (&P == B) return {C};
    if (&P == C) return {A};
    if (&P == D) return {A};
    return {};
  };
  TProjectBuildList L;
  L.Add(A);
  L.Add(D);
  L.Add(C);
  std::vector<std::string> Cycles = L.ResolveDependencies(Deps);
  EXPECT_EQ(Entries(L), "c Debug Linux64\nb Debug Linux64\na Debug Linux64\nd Debug Linux64\n");
  ASSERT_EQ(Cycles.size(), 1u);
  EXPECT_EQ(Cycles[0], "Project dependency cycle a -> b -> c -> a: a is not built before c");
  // A project that depends on itself.
  TProjectBuildList Self;
  Self.Add(B);
  EXPECT_EQ(Self.ResolveDependencies([&](TBaseProject& P) { return std::vector<TBaseProject*>{&P}; }).size(), 1u);
  EXPECT_EQ(Self.Count(), 1);
}

TEST_F(OrchestrationTest, AGroupBuildRunsInOrderStopsAtTheFirstFailureAndPostBuildsEveryEntry) {
  TProjectGroup& G = GroupOfFour();
  G.SetProjectDependencies(A, {B});
  G.ActivateProject(D);
  Log.FailBuild = {"a"};
  std::vector<std::string> Events;
  ProjectGroupCompileStarted().Add(this, [&](TEvGroupCompileStarted& E) { Events.push_back("group started"); (void)E; });
  ProjectCompileStarted().Add(this, [&](TEvProjectCompile& E) { Events.push_back("started " + E.Entry.Project->GetModuleName()); });
  ProjectAfterCompile().Add(this, [&](TEvProjectAfterCompile& E) {
    Events.push_back("after " + E.Project->GetModuleName() + (E.Success ? " ok" : " failed"));
  });
  ProjectCompileFinished().Add(this, [&](TEvProjectCompile& E) { Events.push_back("finished " + E.Entry.Project->GetModuleName()); });
  ProjectGroupCompileFinished().Add(this, [&](TEvGroupCompileFinished& E) {
    Events.push_back(std::string("group finished ") + (E.Result ? "ok" : "failed"));
  });

  EXPECT_FALSE(CompileAll(G, cmMake, true));
  ProjectGroupCompileStarted().Remove(this);
  ProjectCompileStarted().Remove(this);
  ProjectAfterCompile().Remove(this);
  ProjectCompileFinished().Remove(this);
  ProjectGroupCompileFinished().Remove(this);

  EXPECT_EQ(Log.Joined(),
            "PreBuild b\nPreBuild a\nPreBuild c\nPreBuild d\n"
            "Build b Debug Linux64 active Linux64\n"
            "Build a Debug Linux64 active Linux64\n"
            "PostBuild b\nPostBuild a\nPostBuild c\nPostBuild d\n");
  EXPECT_EQ(Join(Events, "|"),
            "group started|started b|after b ok|finished b|started a|after a failed|finished a|group finished failed");
  EXPECT_EQ(Join(Display->Titles, "|"),
            "Compile|Compiling b (Debug, Linux64)|Compiling a (Debug, Linux64)");
  EXPECT_EQ(Display->Status, "");
  // CompileAll asks to make the failing project the active one.
  EXPECT_EQ(G.ActiveProject(), A);
  ASSERT_FALSE(Log.Controls.empty());
  const TBuildControl& C0 = Log.Controls[0];
  EXPECT_TRUE(C0.FAllowBackground && C0.FClearMessages && C0.FChangeActiveOnError);
  EXPECT_FALSE(C0.FSilent || C0.FCheckActive || C0.FBackground);

  Log.Lines.clear();
  Log.FailBuild.clear();
  EXPECT_TRUE(CompileAll(G, cmBuild, true, C));  // from c on
  EXPECT_EQ(Log.Joined(),
            "PreBuild c\nPreBuild d\nBuild c Debug Linux64 active Linux64\nBuild d Debug Linux64 active Linux64\n"
            "PostBuild c\nPostBuild d\n");
  EXPECT_EQ(Display->Status, "Built");
  EXPECT_EQ(Display->Titles.back(), "Building d (Debug, Linux64)");
}

TEST_F(OrchestrationTest, PreBuildFailureCleanAndThePlatformOfAnEntry) {
  TProjectGroup& G = GroupOfFour();
  G.SetProjectDependencies(A, {B});
  // A failing PreBuild stops before anything is built.
  Log.FailPreBuild = {"b"};
  TProjectBuildList L;
  L.Add(A, "", "Win32");
  EXPECT_EQ(BuildProjects(L, TBuildControl::Create(cmMake, true, false, false, false, false, false)), crFailed);
  EXPECT_EQ(Log.Joined(), "PreBuild b\nPostBuild b\nPostBuild a\n");

  // Clean does not add dependencies; the entry's platform is the active one while it builds,
  // and the project's own comes back afterwards.
  Log.Lines.clear();
  Log.FailPreBuild.clear();
  const bool WasModified = A->GetModified();
  EXPECT_EQ(BuildProjects(L, TBuildControl::Create(cmClean, true, false, false, false, false, false)), crSucceeded);
  EXPECT_EQ(Log.Joined(), "PreBuild a\nBuild a Debug Win32 active Win32\nPostBuild a\n");
  EXPECT_EQ(A->GetCurrentPlatform(), "Linux64");
  EXPECT_EQ(A->GetModified(), WasModified);
  EXPECT_EQ(Display->Titles.back(), "Cleaning a (Debug, Win32)");

  // A project without a builder adds nothing to do.
  Log.Lines.clear();
  NoBuilder = {"c"};
  TProjectBuildList L2;
  L2.Add(C);
  L2.Add(D);
  EXPECT_EQ(BuildProjects(L2, TBuildControl::Create(cmMake, true, false, false, false, false, false)), crSucceeded);
  EXPECT_EQ(Log.Joined(), "PreBuild d\nBuild d Debug Linux64 active Linux64\nPostBuild d\n");
}

TEST_F(OrchestrationTest, TheDependencyCycleOfABuildIsAWarningLineOfTheBuildGroup) {
  GroupOfFour();
  TProjectBuildList L;
  L.Add(A);
  auto Builder = std::make_shared<TProjectGroupBuilder>(L, TBuildControl::Create(cmMake, true, false, false, false, false, false));
  Builder->SetDependencies([&](TBaseProject& P) -> std::vector<TBaseProject*> {
    if (&P == A) return {B};
    return {A};
  });
  ASSERT_TRUE(Builder->PreBuild());
  ASSERT_TRUE(Builder->DoBuild());
  ASSERT_TRUE(Builder->PostBuild());
  EXPECT_EQ(Builder->GetResult(), crSucceeded);
  TLineBuffer* Build = LineBufferList().GetGroup("Build");
  ASSERT_EQ(Build->GetCount(), 1);
  EXPECT_EQ(Build->GetLines(0)->GetLineText(), "[Warning] Project dependency cycle a -> b -> a: a is not built before b");
  EXPECT_EQ(Log.Joined(),
            "PreBuild b\nPreBuild a\nBuild b Debug Linux64 active Linux64\nBuild a Debug Linux64 active Linux64\n"
            "PostBuild b\nPostBuild a\n");
}

TEST_F(OrchestrationTest, CompileActiveAndTheFileBuilder) {
  TProjectGroup& G = GroupOfFour();
  G.ActivateProject(C);
  Flagged = {"a"};
  EXPECT_TRUE(CompileActive(G, cmMake, true));
  EXPECT_EQ(Log.Joined(), "PreBuild c\nBuild c Debug Linux64 active Linux64\nPostBuild c\n");
  EXPECT_FALSE(Log.Controls.back().FChangeActiveOnError);
  // With the option on, projects whose builder carries flag 2 come along, in group order.
  Log.Lines.clear();
  SetCompileActiveWithFlagged(true);
  EXPECT_TRUE(CompileActive(G, cmMake, true));
  SetCompileActiveWithFlagged(false);
  EXPECT_EQ(Log.Joined(),
            "PreBuild a\nPreBuild c\nBuild a Debug Linux64 active Linux64\nBuild c Debug Linux64 active Linux64\n"
            "PostBuild a\nPostBuild c\n");

  // The file builder stops at the first file that fails.
  Log.Lines.clear();
  Log.FailFiles = {"two.pas"};
  EXPECT_EQ(CompileFiles(A, {"one.pas", "two.pas", "three.pas"}, TBuildControl::Create(cmCheck, true, false, false, false, false, false)),
            crFailed);
  EXPECT_EQ(Log.Joined(), "BuildFile a one.pas\nBuildFile a two.pas\n");
  EXPECT_EQ(Display->Titles.back(), "Build Unit");
  EXPECT_EQ(Display->Status, "");
  Log.FailFiles.clear();
  EXPECT_EQ(CompileFile(A, "one.pas", TBuildControl::Create(cmCheck, true, false, false, false, false, false)), crSucceeded);
  EXPECT_EQ(Display->Status, "Built");
}

TEST_F(OrchestrationTest, ASecondBuildWhileOneRunsFailsAndLeavesTheFirstAlone) {
  GroupOfFour();
  const TBuildControl Control = TBuildControl::Create(cmMake, true, true, false, false, false, false);
  TCompileResult Inner = crSucceeded;
  bool Once = true;
  Log.DuringBuild = [&](TProjectBuildInfo&) {
    if (std::exchange(Once, false)) Inner = BuildProject(B, Control);
  };
  EXPECT_EQ(BuildProject(A, Control), crSucceeded);
  EXPECT_EQ(Inner, crFailed);
  EXPECT_EQ(Log.Joined(), "PreBuild a\nBuild a Debug Linux64 active Linux64\nPostBuild a\n");
  EXPECT_EQ(LineBufferList().GetGroup("Build")->GetLines(0)->GetLineText(), "Success");
}

TEST(BuildControl, CreateFillsTheRecordInItsOrder) {
  const TBuildControl C = TBuildControl::Create(cmClean, true, false, true, false, true, false);
  EXPECT_EQ(C.FMode, cmClean);
  EXPECT_TRUE(C.FWait && C.FCheckActive && C.FAllowBackground);
  EXPECT_FALSE(C.FClearMessages || C.FChangeActiveOnError || C.FSilent || C.FBackground);
}

}  // namespace
}  // namespace nxs::test
