// The built-in file tasks and incremental targets, on a real directory.
#include <filesystem>
#include <thread>

#include "enginefixture.h"
#include "support/files.h"

namespace nxs::engine::test {
namespace {

using nxs::test::ReadText;

namespace fs = std::filesystem;

// Sets a file's time some seconds away from now, so that comparisons do not depend on
// the clock's resolution.
void Age(const std::string& File, int Seconds) {
  fs::last_write_time(File, fs::file_time_type::clock::now() + std::chrono::seconds(Seconds));
}

TEST_F(EngineTest, CopyMakesDirectoriesKeepsTimesAndSkipsUnchangedFiles) {
  Write("src/a.txt", "alpha");
  Write("src/sub dir/b;c.txt", "beta");
  Request.Verbosity = vbNormal;
  const char* Body = R"P(
  <ItemGroup><F Include="src/**/*.txt" /></ItemGroup>
  <Target Name="Build">
    <Copy SourceFiles="@(F)" DestinationFiles="@(F->'out/%(RecursiveDir)%(Filename)%(Extension)')"
          SkipUnchangedFiles="true">
      <Output TaskParameter="CopiedFiles" ItemName="Copied" />
    </Copy>
    <Copy SourceFiles="@(F)" DestinationFolder="flat" />
    <Message Text="copied @(Copied)" />
  </Target>)P";
  EXPECT_TRUE(Build(Body)) << Log.Errors();
  EXPECT_EQ("alpha", ReadText(Dir / "out/a.txt"));
  EXPECT_EQ("beta", ReadText(Dir / "out/sub dir/b;c.txt"));
  EXPECT_EQ("beta", ReadText(Dir / "flat/b;c.txt"));
  EXPECT_EQ(fs::last_write_time(Dir / "src/a.txt"), fs::last_write_time(Dir / "out/a.txt"));
  EXPECT_EQ("copied out/a.txt;out/sub dir/b;c.txt", Log.Messages());
  Log.Events.clear();
  Write("src/a.txt", "alpha 2");
  Age(Dir / "src/a.txt", 5);
  EXPECT_TRUE(Build(Body));
  EXPECT_EQ("alpha 2", ReadText(Dir / "out/a.txt"));
  EXPECT_EQ("copied out/a.txt", Log.Messages());
  // An edit that keeps the size is a change all the same.
  Log.Events.clear();
  Write("src/a.txt", "ALPHA 2");
  Age(Dir / "src/a.txt", 10);
  EXPECT_TRUE(Build(Body));
  EXPECT_EQ("ALPHA 2", ReadText(Dir / "out/a.txt"));
  EXPECT_EQ("copied out/a.txt", Log.Messages());
}

TEST_F(EngineTest, CopyRefusesMismatchedListsAndMissingSources) {
  EXPECT_FALSE(Build(R"P(<Target Name="Build"><Copy SourceFiles="a;b" DestinationFiles="c" /></Target>)P"));
  EXPECT_EQ("Copy has 2 source file(s) but 1 destination file(s)", Log.Errors());
  Log.Events.clear();
  EXPECT_FALSE(Build(R"P(<Target Name="Build"><Copy SourceFiles="nothere" DestinationFolder="x" /></Target>)P"));
  EXPECT_EQ("Could not copy \"nothere\" to \"x/nothere\": the source does not exist", Log.Errors());
}

TEST_F(EngineTest, MakeDirTouchDeleteAndRemoveDir) {
  Write("old/inner/file.o", "x");
  Write("stale.o", "x");
  EXPECT_TRUE(Build(R"P(<Target Name="Build">
    <MakeDir Directories="made/deep;made/other" />
    <Touch Files="made/deep/stamp" AlwaysCreate="true" />
    <Delete Files="stale.o;never-there.o"><Output TaskParameter="DeletedFiles" PropertyName="Gone" /></Delete>
    <RemoveDir Directories="old" />
    <Message Text="gone $(Gone)" />
  </Target>)P")) << Log.Errors();
  EXPECT_TRUE(fs::is_directory(Dir / "made/other"));
  EXPECT_TRUE(fs::exists(Dir / "made/deep/stamp"));
  EXPECT_FALSE(fs::exists(Dir / "stale.o"));
  EXPECT_FALSE(fs::exists(Dir / "old"));
  EXPECT_EQ("gone stale.o", Log.Messages());
  Log.Events.clear();
  EXPECT_FALSE(Build(R"P(<Target Name="Build"><Touch Files="absent" /></Target>)P"));
  EXPECT_EQ("The file \"absent\" does not exist and AlwaysCreate is not set", Log.Errors());
  Log.Events.clear();
  EXPECT_FALSE(Build(R"P(<Target Name="Build"><RemoveDir Directories="$(MSBuildProjectDirectory)" /></Target>)P"));
  EXPECT_TRUE(fs::exists(Dir / "p.proj"));
}

TEST_F(EngineTest, WriteAndReadLines) {
  EXPECT_TRUE(Build(R"P(
  <ItemGroup><L Include="first;second" /></ItemGroup>
  <Target Name="Build">
    <WriteLinesToFile File="out/list.txt" Lines="@(L)" Overwrite="true" />
    <WriteLinesToFile File="out/list.txt" Lines="third%3Bwith semicolon" />
    <ReadLinesFromFile File="out/list.txt"><Output TaskParameter="Lines" ItemName="Read" /></ReadLinesFromFile>
    <ReadLinesFromFile File="none.txt"><Output TaskParameter="Lines" ItemName="None" /></ReadLinesFromFile>
    <Message Text="@(Read->Count()) [@(None)]" />
  </Target>)P")) << Log.Errors();
  EXPECT_EQ("first\nsecond\nthird;with semicolon\n", ReadText(Dir / "out/list.txt"));
  EXPECT_EQ("3 []", Log.Messages());

  // WriteOnlyWhenDifferent leaves a file with the same lines untouched, so that what depends
  // on it is not made again; different lines are written.
  Age(Dir / "out/list.txt", -100);
  auto Before = fs::last_write_time(Dir / "out/list.txt");
  const char* Rewrite = R"P(<ItemGroup><L Include="first;second" /></ItemGroup>
  <Target Name="Build">
    <WriteLinesToFile File="out/list.txt" Lines="@(L)" Overwrite="true" WriteOnlyWhenDifferent="true" />
  </Target>)P";
  Write("out/list.txt", "first\nsecond\n");
  Age(Dir / "out/list.txt", -100);
  Before = fs::last_write_time(Dir / "out/list.txt");
  EXPECT_TRUE(Build(Rewrite)) << Log.Errors();
  EXPECT_EQ(Before, fs::last_write_time(Dir / "out/list.txt"));
  Write("out/list.txt", "first\n");
  EXPECT_TRUE(Build(Rewrite)) << Log.Errors();
  EXPECT_EQ("first\nsecond\n", ReadText(Dir / "out/list.txt"));
}

TEST_F(EngineTest, TargetsWithUpToDateOutputsAreSkippedAndStaleItemsRebuiltAlone) {
  for (const char* F : {"a.c", "b.c", "c.c"}) Age(Write(F, F), -100);
  Request.Verbosity = vbNormal;
  const char* Body = R"P(
  <ItemGroup><C Include="*.c" /></ItemGroup>
  <Target Name="Build" DependsOnTargets="Compile;Link" />
  <Target Name="Compile" Inputs="@(C)" Outputs="@(C->'obj/%(Filename).o')">
    <Message Text="compile @(C)" />
    <Copy SourceFiles="@(C)" DestinationFiles="@(C->'obj/%(Filename).o')" />
    <Touch Files="@(C->'obj/%(Filename).o')" />
  </Target>
  <Target Name="Link" Inputs="@(C->'obj/%(Filename).o')" Outputs="app">
    <Message Text="link" />
    <Touch Files="app" AlwaysCreate="true" />
  </Target>)P";
  EXPECT_TRUE(Build(Body)) << Log.Errors();
  EXPECT_EQ("compile a.c;b.c;c.c|link", Log.Messages());

  Log.Events.clear();
  EXPECT_TRUE(Build(Body));
  EXPECT_EQ("Target \"Compile\" skipped: all outputs are up to date|Target \"Link\" skipped: all outputs are up to date",
            Log.Messages());

  for (const char* F : {"obj/a.o", "obj/b.o", "obj/c.o"}) Age(Dir / F, -50);
  Age(Dir / "app", -40);
  Log.Events.clear();
  Age(Dir / "b.c", -10);
  EXPECT_TRUE(Build(Body));
  EXPECT_EQ("Target \"Compile\" builds 1 of 3 input(s); the rest are up to date|compile b.c|link", Log.Messages());

  Log.Events.clear();
  fs::remove(Dir / "app");
  EXPECT_TRUE(Build(Body));
  EXPECT_EQ("Target \"Compile\" skipped: all outputs are up to date|link", Log.Messages());
}

// Copy keeps its source's time, so that its output has exactly the time of its input: that is
// up to date, for the whole target and item by item.
TEST_F(EngineTest, AnOutputWithExactlyItsInputsTimeIsUpToDate) {
  for (const char* F : {"a.c", "b.c"}) Age(Write(F, F), -100);
  Request.Verbosity = vbNormal;
  const char* Body = R"P(
  <ItemGroup><C Include="*.c" /></ItemGroup>
  <Target Name="Build" Inputs="@(C)" Outputs="@(C->'obj/%(Filename).o')">
    <Message Text="copy @(C)" />
    <Copy SourceFiles="@(C)" DestinationFiles="@(C->'obj/%(Filename).o')" />
  </Target>)P";
  EXPECT_TRUE(Build(Body)) << Log.Errors();
  EXPECT_EQ("copy a.c;b.c", Log.Messages());
  Log.Events.clear();
  EXPECT_TRUE(Build(Body));
  EXPECT_EQ("Target \"Build\" skipped: all outputs are up to date", Log.Messages());
  Log.Events.clear();
  Age(Write("b.c", "b.c changed"), -10);
  EXPECT_TRUE(Build(Body));
  EXPECT_EQ("Target \"Build\" builds 1 of 2 input(s); the rest are up to date|copy b.c", Log.Messages());
}

}  // namespace
}  // namespace nxs::engine::test
