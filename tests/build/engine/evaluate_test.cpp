// Evaluation as a user's hand-written project files exercise it: properties, imports, items,
// escaping and property functions.
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "build/engine/engine.h"
#include "enginefixture.h"
#include "support/errorof.h"
#include "shared/text.h"

namespace nxs::engine::test {
namespace {

using nxs::test::ErrorOf;

TEST_F(EngineTest, PropertiesTakeTheirValueInDocumentOrderAndGlobalPropertiesWin) {
  Request.GlobalProperties["Config"] = "Release";
  auto P = Eval(R"P(
  <PropertyGroup>
    <A>one</A>
    <B>$(A)-two</B>
    <A>three</A>
    <C>$(B);$( A )</C>
    <Config>Debug</Config>
    <Out>bin/$(Config)</Out>
    <Empty></Empty>
  </PropertyGroup>
  <PropertyGroup Condition=" '$(A)' == 'three' ">
    <D>seen</D>
  </PropertyGroup>
  <PropertyGroup Condition="'$(A)'=='one'">
    <E>not seen</E>
  </PropertyGroup>)P");
  EXPECT_EQ("three", P->GetPropertyValue("A"));
  EXPECT_EQ("one-two", P->GetPropertyValue("b"));  // names without regard to case
  EXPECT_EQ("one-two;three", P->GetPropertyValue("C"));
  EXPECT_EQ("Release", P->GetPropertyValue("Config"));
  EXPECT_EQ("bin/Release", P->GetPropertyValue("Out"));
  EXPECT_EQ("seen", P->GetPropertyValue("D"));
  EXPECT_FALSE(P->HasProperty("E"));
  EXPECT_TRUE(P->HasProperty("Empty"));
  EXPECT_EQ("", P->GetPropertyValue("Undefined"));
}

TEST_F(EngineTest, TreatAsLocalPropertyLetsTheProjectSetAGlobalProperty) {
  Request.GlobalProperties["Out"] = "global";
  Request.GlobalProperties["Kept"] = "global";
  auto P = Engine.Evaluate(Write("l.proj", R"P(<Project TreatAsLocalProperty=" Out ; Other">
  <PropertyGroup><Seen>$(Out)</Seen><Out>local</Out><Kept>local</Kept></PropertyGroup>
</Project>)P"), Request);
  EXPECT_EQ("global", P->GetPropertyValue("Seen"));
  EXPECT_EQ("local", P->GetPropertyValue("Out"));
  EXPECT_EQ("global", P->GetPropertyValue("Kept"));
}

TEST_F(EngineTest, EnvironmentVariablesAreProperties) {
  setenv("NXS_ENGINE_TEST_ENV", "from-env", 1);
  setenv("NXS_ENGINE_TEST_ENV2", "100%", 1);
  Request.GlobalProperties["NXS_ENGINE_TEST_ENV3"] = "global";
  setenv("NXS_ENGINE_TEST_ENV3", "env", 1);
  auto P = Eval(R"P(<PropertyGroup>
    <Seen>$(NXS_ENGINE_TEST_ENV)</Seen>
    <NXS_ENGINE_TEST_ENV>project</NXS_ENGINE_TEST_ENV>
    <NXS_ENGINE_TEST_ENV3>project</NXS_ENGINE_TEST_ENV3>
  </PropertyGroup>)P");
  EXPECT_EQ("from-env", P->GetPropertyValue("Seen"));
  EXPECT_EQ("project", P->GetPropertyValue("NXS_ENGINE_TEST_ENV"));
  EXPECT_EQ("100%", P->GetPropertyValue("NXS_ENGINE_TEST_ENV2"));  // kept literally
  EXPECT_EQ("global", P->GetPropertyValue("NXS_ENGINE_TEST_ENV3"));

  // The projects of one process share what they read of the environment until it changes: a
  // variable set again, or taken away, is what the next project sees.
  setenv("NXS_ENGINE_TEST_ENV", "changed", 1);
  unsetenv("NXS_ENGINE_TEST_ENV2");
  P = Eval("<PropertyGroup><Seen>$(NXS_ENGINE_TEST_ENV)</Seen></PropertyGroup>");
  EXPECT_EQ("changed", P->GetPropertyValue("Seen"));
  EXPECT_FALSE(P->HasProperty("NXS_ENGINE_TEST_ENV2"));
  unsetenv("NXS_ENGINE_TEST_ENV");
  unsetenv("NXS_ENGINE_TEST_ENV3");
}

TEST_F(EngineTest, ReservedPropertiesDescribeTheProjectAndTheFileBeingRead) {
  Write("dir with space/imports/common.targets", R"P(<Project>
  <PropertyGroup>
    <ImportDir>$(MSBuildThisFileDirectory)</ImportDir>
    <ImportFile>$(MSBuildThisFile)</ImportFile>
    <ImportName>$(MSBuildThisFileName)</ImportName>
  </PropertyGroup>
</Project>)P");
  std::string File = Project("dir with space/My App.v1.vproj", R"P(
  <PropertyGroup><Here>$(MSBuildThisFileFullPath)</Here></PropertyGroup>
  <Import Project="imports\common.targets" />)P");
  auto P = Engine.Evaluate(File, Request);
  std::string D = Dir / "dir with space";
  EXPECT_EQ(D, P->GetPropertyValue("MSBuildProjectDirectory"));
  EXPECT_EQ("My App.v1", P->GetPropertyValue("MSBuildProjectName"));
  EXPECT_EQ("My App.v1.vproj", P->GetPropertyValue("MSBuildProjectFile"));
  EXPECT_EQ(".vproj", P->GetPropertyValue("MSBuildProjectExtension"));
  EXPECT_EQ(File, P->GetPropertyValue("MSBuildProjectFullPath"));
  EXPECT_EQ(File, P->GetPropertyValue("Here"));
  EXPECT_EQ(D + "/imports/", P->GetPropertyValue("ImportDir"));
  EXPECT_EQ("common.targets", P->GetPropertyValue("ImportFile"));
  EXPECT_EQ("common", P->GetPropertyValue("ImportName"));
  EXPECT_FALSE(P->GetPropertyValue("MSBuildStartupDirectory").empty());

  std::string Bad = Project("bad.proj", "\n  <PropertyGroup>\n    <MSBuildProjectName>x</MSBuildProjectName>\n  </PropertyGroup>");
  EXPECT_EQ(Bad + "(4,5): error: The \"MSBuildProjectName\" property is reserved, and cannot be modified",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(Bad, Request); }));
}

TEST_F(EngineTest, ImportsAreReadRelativeToTheImportingFile) {
  Write("a/b/c/deep.props", "<Project><PropertyGroup><Deep>$(Mid)-deep</Deep></PropertyGroup></Project>");
  Write("a/b/mid.props", R"P(<Project>
  <PropertyGroup><Mid>$(Top)-mid</Mid></PropertyGroup>
  <Import Project="c/deep.props" Condition="Exists('c/deep.props')" />
  <Import Project="c/none.props" Condition="Exists('c/none.props')" />
</Project>)P");
  std::string File = Project("a/top.proj", R"P(
  <PropertyGroup><Top>top</Top></PropertyGroup>
  <Import Project="b\mid.props"/>
  <PropertyGroup><After>$(Deep)</After></PropertyGroup>)P");
  auto P = Engine.Evaluate(File, Request);
  EXPECT_EQ("top-mid-deep", P->GetPropertyValue("After"));
  EXPECT_EQ("", Log.Warnings());
}

// Each element of an imported file asks Exists() of two files of the same name, one beside
// the imported file and one beside the project, each setting what it found; which folder
// answered is the element's rule: the conditions of Import, ImportGroup and PropertyGroup look
// beside the file that holds them, every other condition beside the project.
TEST_F(EngineTest, ExistsInAnImportedFileLooksBesideItOnlyForImportsAndPropertyGroups) {
  Write("lib/lib.marker", "");
  Write("proj/proj.marker", "");
  for (const char* Folder : {"lib", "proj"})
    Write(std::string("lib/") + Folder + ".targets",
          std::string("<Project><PropertyGroup><ByImport>") + Folder + "</ByImport></PropertyGroup></Project>");
  for (const char* Folder : {"lib", "proj"})
    Write(std::string("lib/group-") + Folder + ".targets",
          std::string("<Project><PropertyGroup><ByImportGroup>") + Folder + "</ByImportGroup></PropertyGroup></Project>");
  Write("lib/common.targets", R"P(<Project>
  <Import Project="lib.targets" Condition="Exists('lib.marker')" />
  <Import Project="proj.targets" Condition="Exists('proj.marker')" />
  <ImportGroup Condition="Exists('lib.marker')"><Import Project="group-lib.targets" /></ImportGroup>
  <ImportGroup Condition="Exists('proj.marker')"><Import Project="group-proj.targets" /></ImportGroup>
  <PropertyGroup Condition="Exists('lib.marker')"><ByPropertyGroup>lib</ByPropertyGroup></PropertyGroup>
  <PropertyGroup Condition="Exists('proj.marker')"><ByPropertyGroup>proj</ByPropertyGroup></PropertyGroup>
  <PropertyGroup>
    <ByProperty Condition="Exists('lib.marker')">lib</ByProperty>
    <ByProperty Condition="Exists('proj.marker')">proj</ByProperty>
  </PropertyGroup>
  <Choose>
    <When Condition="Exists('lib.marker')"><PropertyGroup><ByWhen>lib</ByWhen></PropertyGroup></When>
    <When Condition="Exists('proj.marker')"><PropertyGroup><ByWhen>proj</ByWhen></PropertyGroup></When>
  </Choose>
  <ItemGroup Condition="Exists('lib.marker')"><ByItemGroup Include="lib" /></ItemGroup>
  <ItemGroup Condition="Exists('proj.marker')"><ByItemGroup Include="proj" /></ItemGroup>
  <ItemGroup>
    <ByItem Include="lib" Condition="Exists('lib.marker')" />
    <ByItem Include="proj" Condition="Exists('proj.marker')" />
  </ItemGroup>
</Project>)P");
  auto P = Engine.Evaluate(Project("proj/p.proj", R"P(  <Import Project="../lib/common.targets" />)P"), Request);
  EXPECT_EQ("lib", P->GetPropertyValue("ByImport"));
  EXPECT_EQ("lib", P->GetPropertyValue("ByImportGroup"));
  EXPECT_EQ("lib", P->GetPropertyValue("ByPropertyGroup"));
  EXPECT_EQ("proj", P->GetPropertyValue("ByProperty"));
  EXPECT_EQ("proj", P->GetPropertyValue("ByWhen"));
  EXPECT_EQ("proj", Specs(P->GetItems("ByItemGroup")));
  EXPECT_EQ("proj", Specs(P->GetItems("ByItem")));
}

TEST_F(EngineTest, AnImportSharedByEnginesIsReadAgainOnceItsTextChangedWhateverItsTime) {
  const std::string Import = Write("shared.props", "<Project><PropertyGroup><V>one</V></PropertyGroup></Project>");
  std::string File = Project("p.proj", "  <Import Project=\"shared.props\"/>");
  std::filesystem::last_write_time(Import, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  const auto Time = std::filesystem::last_write_time(Import);
  EXPECT_EQ("one", TEngine().Evaluate(File, Request)->GetPropertyValue("V"));
  // Rewritten in place at the same size, its time put back: another engine sees the new text.
  Write("shared.props", "<Project><PropertyGroup><V>two</V></PropertyGroup></Project>");
  std::filesystem::last_write_time(Import, Time);
  EXPECT_EQ("two", TEngine().Evaluate(File, Request)->GetPropertyValue("V"));
}

TEST_F(EngineTest, AMissingImportNamesBothFiles) {
  std::string File = Project("p.proj", "  <Import Project=\"nothere.targets\" />");
  EXPECT_EQ(File + "(2,3): error: The imported project \"" + (Dir / "nothere.targets") +
                "\" was not found (imported by \"" + File + "\")",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(File, Request); }));
}

TEST_F(EngineTest, AnImportOfADeviceIsRefusedInsteadOfReadForEver) {
  std::string File = Project("p.proj", "  <Import Project=\"/dev/zero\" />");
  EXPECT_EQ("/dev/zero: error: The project file \"/dev/zero\" could not be read: it is not a regular file",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(File, Request); }));
}

TEST_F(EngineTest, ARepeatedOrCyclicImportIsSkippedWithAWarning) {
  Write("one.props", R"P(<Project>
  <PropertyGroup><Count>$(Count)1</Count></PropertyGroup>
  <Import Project="two.props" />
</Project>)P");
  Write("two.props", R"P(<Project>
  <PropertyGroup><Count>$(Count)2</Count></PropertyGroup>
  <Import Project="one.props" />
</Project>)P");
  auto P = Eval(R"P(<Import Project="one.props" /><Import Project="one.props" />)P");
  EXPECT_EQ("12", P->GetPropertyValue("Count"));
  std::string Warnings = Log.Warnings();
  EXPECT_EQ(2, std::count(Warnings.begin(), Warnings.end(), '|') + 1) << Warnings;
  EXPECT_NE(std::string::npos, Log.Warnings().find("is imported again"));
}

TEST_F(EngineTest, WildcardImportsComeInSortedOrderAndADeepChainIsFollowed) {
  Write("ext/b.props", "<Project><PropertyGroup><Order>$(Order)b</Order></PropertyGroup></Project>");
  Write("ext/a.props", "<Project><PropertyGroup><Order>$(Order)a</Order></PropertyGroup></Project>");
  const int Depth = 60;
  for (int I = 0; I < Depth; ++I) {
    std::string Next = I + 1 < Depth ? "<Import Project=\"l" + std::to_string(I + 1) + "/chain.props\"/>" : "";
    std::string Path;
    for (int J = 0; J <= I; ++J) Path += "l" + std::to_string(J) + "/";
    Write(Path + "chain.props", "<Project><PropertyGroup><Level>" + std::to_string(I) +
                                    "</Level></PropertyGroup>" + Next + "</Project>");
  }
  auto P = Eval(R"P(<Import Project="ext/*.props" /><Import Project="none/*.props" /><Import Project="l0/chain.props" />)P");
  EXPECT_EQ("ab", P->GetPropertyValue("Order"));
  EXPECT_EQ(std::to_string(Depth - 1), P->GetPropertyValue("Level"));
}

TEST_F(EngineTest, ChooseTakesTheFirstBranchThatHolds) {
  auto P = Eval(R"P(
  <PropertyGroup><Platform>Linux64</Platform></PropertyGroup>
  <Choose>
    <When Condition="'$(Platform)' == 'Win32'"><PropertyGroup><Arch>x86</Arch></PropertyGroup></When>
    <When Condition="'$(Platform)' == 'linux64'">
      <PropertyGroup><Arch>x64</Arch></PropertyGroup>
      <ItemGroup><Lib Include="m;pthread" /></ItemGroup>
    </When>
    <Otherwise><PropertyGroup><Arch>other</Arch></PropertyGroup></Otherwise>
  </Choose>
  <Choose>
    <When Condition="false"><PropertyGroup><Second>when</Second></PropertyGroup></When>
    <Otherwise><PropertyGroup><Second>otherwise</Second></PropertyGroup></Otherwise>
  </Choose>)P");
  EXPECT_EQ("x64", P->GetPropertyValue("Arch"));
  EXPECT_EQ("otherwise", P->GetPropertyValue("Second"));
  EXPECT_EQ("m;pthread", Specs(P->GetItems("Lib")));
}

TEST_F(EngineTest, ItemsSplitTrimAndCarryTheirMetadata) {
  auto P = Eval(R"P(
  <ItemDefinitionGroup>
    <Compile><Opt>O2</Opt><Warn>all</Warn></Compile>
  </ItemDefinitionGroup>
  <PropertyGroup><Extra>x.c ; y.c</Extra></PropertyGroup>
  <ItemGroup>
    <Compile Include="  a.c ;b.c;;
       src\sub\c.c" Warn="none">
      <Opt Condition="'%(Filename)' == 'b'">O0</Opt>
      <Obj>obj/%(Filename).o</Obj>
    </Compile>
    <Compile Include="$(Extra)" />
    <Compile Remove="y.c" />
  </ItemGroup>)P");
  auto Items = P->GetItems("Compile");
  ASSERT_EQ(4u, Items.size());
  EXPECT_EQ("a.c;b.c;src/sub/c.c;x.c", Specs(Items));
  EXPECT_EQ("O2", Items[0].GetMetadata("Opt"));
  EXPECT_EQ("O0", Items[1].GetMetadata("Opt"));
  EXPECT_EQ("none", Items[0].GetMetadata("warn"));
  EXPECT_EQ("all", Items[3].GetMetadata("Warn"));
  EXPECT_EQ("obj/c.o", Items[2].GetMetadata("Obj"));
  EXPECT_EQ("", Items[3].GetMetadata("Obj"));
}

TEST_F(EngineTest, WellKnownMetadataComesFromTheSpec) {
  Write("src/sub/file.name.cpp", "");
  auto P = Eval(R"P(<ItemGroup><C Include="src\sub\file.name.cpp" /><C Include="noext" /></ItemGroup>)P");
  auto Items = P->GetItems("C");
  ASSERT_EQ(2u, Items.size());
  const TTaskItem& C = Items[0];
  EXPECT_EQ("src/sub/file.name.cpp", C.GetMetadata("Identity"));
  EXPECT_EQ("file.name", C.GetMetadata("Filename"));
  EXPECT_EQ(".cpp", C.GetMetadata("Extension"));
  EXPECT_EQ("src/sub/", C.GetMetadata("RelativeDir"));
  EXPECT_EQ(Dir / "src/sub/file.name.cpp", C.GetMetadata("FullPath"));
  EXPECT_EQ("/", C.GetMetadata("RootDir"));
  EXPECT_EQ((Dir / "src/sub/").substr(1), C.GetMetadata("Directory"));
  EXPECT_EQ("", C.GetMetadata("RecursiveDir"));
  EXPECT_EQ(27u, C.GetMetadata("ModifiedTime").size());  // "yyyy-MM-dd HH:mm:ss.fffffff"
  EXPECT_EQ("", Items[1].GetMetadata("Extension"));
  EXPECT_EQ("", Items[1].GetMetadata("RelativeDir"));
  EXPECT_EQ("", Items[1].GetMetadata("ModifiedTime"));
}

TEST_F(EngineTest, WildcardsAreSortedAndExcludesApply) {
  for (const char* F : {"src/b.c", "src/a.c", "src/a.h", "src/x/y/deep.c", "src/x/skip.c", "src/q1.c", "src/q10.c"})
    Write(F, "");
  auto P = Eval(R"P(<ItemGroup>
    <Top Include="src/*.c" />
    <All Include="src/**/*.c" Exclude="src/x/skip.c" />
    <One Include="src/q?.c" />
    <NotX Include="src\**\*.c" Exclude="src/x/**" />
  </ItemGroup>)P");
  EXPECT_EQ("src/a.c;src/b.c;src/q1.c;src/q10.c", Specs(P->GetItems("Top")));
  auto All = P->GetItems("All");
  EXPECT_EQ("src/a.c;src/b.c;src/q1.c;src/q10.c;src/x/y/deep.c", Specs(All));
  EXPECT_EQ("x/y/", All.back().GetMetadata("RecursiveDir"));
  EXPECT_EQ("", All.front().GetMetadata("RecursiveDir"));
  EXPECT_EQ("src/q1.c", Specs(P->GetItems("One")));
  EXPECT_EQ("src/a.c;src/b.c;src/q1.c;src/q10.c", Specs(P->GetItems("NotX")));
}

// "**" walks folders reached through links as "*/*" does; a link back to a folder being
// walked (to the folder itself, or to one above) is not walked again, so the walk ends.
TEST_F(EngineTest, RecursiveWildcardsFollowFolderLinksAndStopAtLoops) {
  for (const char* F : {"src/a.c", "src/real/b.c", "elsewhere/c.c", "elsewhere/deeper/d.c"}) Write(F, "");
  std::filesystem::create_directory_symlink("../elsewhere", Dir / "src/linked");
  std::filesystem::create_directory_symlink(".", Dir / "src/self");
  std::filesystem::create_directory_symlink("..", Dir / "src/real/up");
  std::filesystem::create_directory_symlink(Dir / "src", Dir / "elsewhere/back");
  auto P = Eval(R"P(<ItemGroup>
    <All Include="src/**/*.c" />
    <Below Include="src/**" Exclude="src/real/**" />
    <TwoDeep Include="src/*/*.c" />
  </ItemGroup>)P");
  auto All = P->GetItems("All");
  EXPECT_EQ("src/a.c;src/linked/c.c;src/linked/deeper/d.c;src/real/b.c", Specs(All));
  EXPECT_EQ("linked/deeper/", All[2].GetMetadata("RecursiveDir"));
  EXPECT_EQ("src/a.c;src/linked/c.c;src/linked/deeper/d.c", Specs(P->GetItems("Below")));
  // One level below each folder, links included: the link to the folder itself too.
  EXPECT_EQ("src/linked/c.c;src/real/b.c;src/self/a.c", Specs(P->GetItems("TwoDeep")));
}

TEST_F(EngineTest, UpdateChangesMetadataOfTheMatchingItems) {
  auto P = Eval(R"P(<ItemGroup>
    <C Include="a.c;b.c;c.cpp" Kind="c" />
    <C Update="b.c" Kind="special" />
    <C Update="*.cpp"><Kind>cpp</Kind></C>
  </ItemGroup>)P");
  auto Items = P->GetItems("C");
  ASSERT_EQ(3u, Items.size());
  EXPECT_EQ("c", Items[0].GetMetadata("Kind"));
  EXPECT_EQ("special", Items[1].GetMetadata("Kind"));
  EXPECT_EQ("cpp", Items[2].GetMetadata("Kind"));
}

TEST_F(EngineTest, EscapedCharactersStayLiteral) {
  auto P = Eval(R"P(
  <PropertyGroup>
    <Semi>a%3Bb</Semi>
    <Dollar>%24(NotAProperty)</Dollar>
    <Quote>it%27s</Quote>
  </PropertyGroup>
  <ItemGroup>
    <F Include="name%3Bwith%3Bsemicolons.c;other.c" />
    <G Include="$(Semi)" />
    <W Include="literal%2A.c" />
  </ItemGroup>)P");
  EXPECT_EQ("a;b", P->GetPropertyValue("Semi"));
  EXPECT_EQ("$(NotAProperty)", P->GetPropertyValue("Dollar"));
  EXPECT_EQ("it's", P->GetPropertyValue("Quote"));
  EXPECT_EQ("name;with;semicolons.c|other.c", Specs(P->GetItems("F")).replace(22, 1, "|"));
  EXPECT_EQ(1u, P->GetItems("G").size());
  EXPECT_EQ("literal*.c", Specs(P->GetItems("W")));
  EXPECT_EQ("a%3Bb", MSBuildEscape("a;b"));
  EXPECT_EQ("100%25 %24%28x%29 %40%28y%29", MSBuildEscape("100% $(x) @(y)"));
  EXPECT_EQ("a;b %zz %2", MSBuildUnescape("a%3bb %zz %2"));
}

TEST_F(EngineTest, ItemListsExpandWithTransformsAndSeparators) {
  auto P = Eval(R"P(<ItemGroup>
    <C Include="src/a.c;src/b.c" Kind="x" />
    <C Include="c.c" Kind="y" />
    <Copy Include="@(C)" />
  </ItemGroup>)P");
  EXPECT_EQ("src/a.c;src/b.c;c.c", P->Expand("@(C)"));
  EXPECT_EQ("a.o b.o c.o", P->Expand("@(C->'%(Filename).o', ' ')"));
  EXPECT_EQ("obj/src/a.o,obj/src/b.o,obj/c.o", P->Expand("@(C -> 'obj/%(RelativeDir)%(Filename).o' , ',')"));
  EXPECT_EQ("src/a.c;src/b.c", P->Expand("@(C->WithMetadataValue('Kind', 'X'))"));
  EXPECT_EQ("3", P->Expand("@(C->Count())"));
  EXPECT_EQ("x;y", P->Expand("@(C->Metadata('Kind')->Distinct())"));
  EXPECT_EQ("[]", P->Expand("[@(Nothing)]"));
  EXPECT_EQ("y", P->GetItems("Copy")[2].GetMetadata("Kind"));
  EXPECT_EQ(Dir / "p.proj: error: The item function \"Bogus\" is not available",
            ErrorOf<EEngineError>([&] { P->Expand("@(C->Bogus())"); }));
}

// Each item function beside its opposite: with and without a value, kept and reversed order,
// with and without regard to case.
TEST_F(EngineTest, ItemFunctionsInBothDirections) {
  Write("src/here.c", "");
  auto P = Eval(R"P(<ItemGroup>
    <C Include="src/here.c" Kind="x" />
    <C Include="gone.c" Kind="y" />
    <C Include="SRC/HERE.C" />
  </ItemGroup>)P");
  const std::string D = Dir.Path();
  struct {
    const char* Expr;
    std::string Want;
  } Cases[] = {
      {"@(C->WithMetadataValue('Kind', 'y'))", "gone.c"},
      {"@(C->WithoutMetadataValue('Kind', 'y'))", "src/here.c;SRC/HERE.C"},
      {"@(C->HasMetadata('Kind'))", "src/here.c;gone.c"},
      {"@(C->AnyHaveMetadataValue('Kind', 'x'))", "True"},
      {"@(C->AnyHaveMetadataValue('Kind', 'z'))", "False"},
      {"@(C->Reverse())", "SRC/HERE.C;gone.c;src/here.c"},
      {"@(C->Distinct())", "src/here.c;gone.c"},
      {"@(C->DistinctWithCase())", "src/here.c;gone.c;SRC/HERE.C"},
      {"@(C->Exists())", "src/here.c"},
      {"@(C->DirectoryName())", D + "/src;" + D + ";" + D + "/SRC"},
      {"@(C->ClearMetadata()->HasMetadata('Kind'))", ""},
      {"@(C->ToUpper()->Distinct())", "SRC/HERE.C;GONE.C"},
  };
  for (const auto& C : Cases) EXPECT_EQ(C.Want, P->Expand(C.Expr)) << C.Expr;
}

TEST_F(EngineTest, PropertyFunctionsCommonInProjects) {
  auto P = Eval(R"P(<PropertyGroup>
    <S>  Hello World  </S>
    <Path>src\sub\file.tar.gz</Path>
    <N>41</N>
  </PropertyGroup>)P");
  struct {
    const char* Expr;
    const char* Want;
  } Cases[] = {
      {"$(S.Trim())", "Hello World"},
      {"$(S.Trim().ToUpper())", "HELLO WORLD"},
      {"$(S.ToLower().Contains('world'))", "True"},
      {"$(S.Contains('world'))", "False"},
      {"$(S.Trim().Replace('World', 'There'))", "Hello There"},
      {"$(S.Trim().StartsWith('Hell'))", "True"},
      {"$(S.Trim().EndsWith(\"ld\"))", "True"},
      {"$(S.Trim().Substring(6))", "World"},
      {"$(S.Trim().Substring(0, 5))", "Hello"},
      {"$(S.Length)", "15"},
      {"$(S.IndexOf('o'))", "6"},
      {"$(S.Trim().Split(' '))", "Hello;World"},
      {"$([System.IO.Path]::Combine('a', 'b', 'c.txt'))", "a/b/c.txt"},
      {"$([System.IO.Path]::Combine('a/', '/abs'))", "/abs"},
      {"$([System.IO.Path]::GetFileName($(Path)))", "file.tar.gz"},
      {"$([System.IO.Path]::GetDirectoryName($(Path)))", "src/sub"},
      {"$([System.IO.Path]::GetExtension('$(Path)'))", ".gz"},
      {"$([System.IO.Path]::GetFileNameWithoutExtension($(Path)))", "file.tar"},
      {"$([MSBuild]::Add($(N), 1))", "42"},
      {"$([MSBuild]::Subtract(0x10, 1))", "15"},
      {"$([MSBuild]::Add(1.5, 1))", "2.5"},
      {"$([MSBuild]::EnsureTrailingSlash('out'))", "out/"},
      {"$([MSBuild]::EnsureTrailingSlash('out\\'))", "out\\"},
      {"$([MSBuild]::MakeRelative('/a/b/', '/a/c/d.txt'))", "../c/d.txt"},
      {"$([MSBuild]::NormalizePath('/a/b/../c', 'd'))", "/a/c/d"},
      {"$([MSBuild]::ValueOrDefault('$(Nothing)', 'fallback'))", "fallback"},
      {"$([MSBuild]::ValueOrDefault('set', 'fallback'))", "set"},
      {"$([System.String]::IsNullOrEmpty('$(Nothing)'))", "True"},
      {"$(Registry:HKEY_CURRENT_USER\\Software@Value)", ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(C.Want, P->Expand(C.Expr)) << C.Expr;
}

// Each function against what a project author expects of it, with the pairs that differ only
// in their direction (start or end, left or right, first or last) side by side.
TEST_F(EngineTest, PropertyFunctionsInBothDirections) {
  Write("marker.txt", "");
  Write("deep/er/file.txt", "");
  setenv("NXS_ENGINE_TEST_FN", "from env", 1);
  auto P = Eval(R"P(<PropertyGroup>
    <Ab>ab</Ab>
    <Text>abcdef</Text>
    <Hello>Hello World</Hello>
    <Xs>xxaxx</Xs>
    <Spaced>  x  </Spaced>
  </PropertyGroup>)P");
  std::string D = Dir.Path();
  struct {
    std::string Expr;
    std::string Want;
  } Cases[] = {
      {"[$(Ab.PadLeft(5))]", "[   ab]"},
      {"[$(Ab.PadRight(5))]", "[ab   ]"},
      {"$(Ab.PadLeft(4, '.'))", "..ab"},
      {"$(Ab.PadRight(4, '.'))", "ab.."},
      {"$(Ab.PadLeft(1))", "ab"},
      {"[$(Spaced.TrimStart())]", "[x  ]"},
      {"[$(Spaced.TrimEnd())]", "[  x]"},
      {"$(Xs.Trim('x'))", "a"},
      {"$(Xs.TrimStart('x'))", "axx"},
      {"$(Xs.TrimEnd('x'))", "xxa"},
      {"$(Hello.IndexOf('o'))", "4"},
      {"$(Hello.LastIndexOf('o'))", "7"},
      {"$(Hello.IndexOf('o', 5))", "7"},
      {"$(Hello.IndexOf('z'))", "-1"},
      {"$(Hello.LastIndexOf('z'))", "-1"},
      {"$(Hello.StartsWith('World'))", "False"},
      {"$(Hello.EndsWith('Hello'))", "False"},
      {"$(Text.Substring(1))", "bcdef"},
      {"$(Text.Substring(1, 2))", "bc"},
      {"$(Text.Substring(6))", ""},
      {"$(Text.Remove(1, 2))", "adef"},
      {"$(Text.Remove(2))", "ab"},
      {"$(Text.Remove(0, 0))", "abcdef"},
      {"$(Text.Insert(0, 'X'))", "Xabcdef"},
      {"$(Text.Insert(6, 'X'))", "abcdefX"},
      {"$(Text.Equals('abcdef'))", "True"},
      {"$(Text.Equals('ABCDEF'))", "False"},  // ordinal, as in the framework
      {"$(Text.ToUpper().ToLower())", "abcdef"},
      {"$(Text.Replace('c', '').Replace('ab', 'ba'))", "badef"},
      {"$([System.String]::Copy('a,b-c').Split(',', '-'))", "a;b;c"},
      {"$([System.String]::Concat('a', 'b', 'c'))", "abc"},
      {"$([System.String]::IsNullOrEmpty('x'))", "False"},
      {"$([System.String]::IsNullOrWhiteSpace(' '))", "True"},
      {"$([System.String]::IsNullOrWhiteSpace(' x '))", "False"},
      {"$([MSBuild]::Multiply(6, 7))", "42"},
      {"$([MSBuild]::Divide(7, 2))", "3.5"},
      {"$([MSBuild]::Modulo(7, 3))", "1"},
      {"$([MSBuild]::Modulo(-7, 3))", "-1"},
      {"$([MSBuild]::Modulo(7.5, 2))", "1.5"},
      {"$([MSBuild]::Subtract(2, 5))", "-3"},
      {"$([MSBuild]::Add(-1.5, -1))", "-2.5"},
      {"$([System.IO.Path]::ChangeExtension('a/b.c', 'o'))", "a/b.o"},
      {"$([System.IO.Path]::ChangeExtension('a\\b.c', '.o'))", "a/b.o"},
      {"$([System.IO.Path]::ChangeExtension('a/b', '.o'))", "a/b.o"},
      {"$([System.IO.Path]::HasExtension('a.c'))", "True"},
      {"$([System.IO.Path]::HasExtension('dir.d/a'))", "False"},
      {"$([System.IO.Path]::GetExtension('file.'))", ""},
      {"$([System.IO.Path]::GetFileNameWithoutExtension('dir.d/file'))", "file"},
      {"$([System.IO.Path]::IsPathRooted('/a'))", "True"},
      {"$([System.IO.Path]::IsPathRooted('a/b'))", "False"},
      {"$([System.IO.Path]::GetDirectoryName('/file'))", "/"},
      {"$([System.IO.Path]::GetDirectoryName('file'))", ""},
      {"$([System.IO.Path]::GetFileName('dir/'))", ""},
      {"$([System.IO.Path]::GetFullPath('sub/x'))", D + "/sub/x"},
      {"$([System.IO.Path]::Combine('', 'b'))", "b"},
      {"$([MSBuild]::MakeRelative('/a/b/', '/a/c/'))", "../c/"},
      {"$([MSBuild]::MakeRelative('/a/c/d', '/a/b'))", "../../b"},
      {"$([MSBuild]::MakeRelative('/a/b', '/a/b/c'))", "c"},
      {"$([MSBuild]::NormalizeDirectory('/a/b/../c'))", "/a/c/"},
      {"$([MSBuild]::NormalizeDirectory('/a/c/'))", "/a/c/"},
      {"$([MSBuild]::GetDirectoryNameOfFileAbove('$(MSBuildProjectDirectory)/deep/er', 'marker.txt'))", D},
      {"$([MSBuild]::GetDirectoryNameOfFileAbove('$(MSBuildProjectDirectory)/deep/er', 'file.txt'))", D + "/deep/er"},
      {"$([MSBuild]::GetDirectoryNameOfFileAbove('$(MSBuildProjectDirectory)', 'no such file'))", ""},
      {"$([MSBuild]::IsOSPlatform('linux'))", "True"},
      {"$([MSBuild]::IsOSPlatform('Windows'))", "False"},
      {"$([System.IO.File]::Exists('marker.txt'))", "True"},
      {"$([System.IO.File]::Exists('deep'))", "False"},
      {"$([System.IO.Directory]::Exists('deep'))", "True"},
      {"$([System.IO.Directory]::Exists('marker.txt'))", "False"},
      {"$([System.Environment]::GetEnvironmentVariable('NXS_ENGINE_TEST_FN'))", "from env"},
  };
  for (const auto& C : Cases) {
    std::string Got;
    try {
      Got = P->Expand(C.Expr);
    } catch (const EEngineError& E) {
      Got = E.Text;
    }
    EXPECT_EQ(C.Want, Got) << C.Expr;
  }
  EXPECT_EQ(Dir / "p.proj: error: The property function \"[MSBuild]::Modulo\" failed: division by zero",
            ErrorOf<EEngineError>([&] { P->Expand("$([MSBuild]::Modulo(1, 0))"); }));
  EXPECT_EQ(Dir / "p.proj: error: The property function \"Insert\" failed: the position lies outside the text",
            ErrorOf<EEngineError>([&] { P->Expand("$(Text.Insert(7, 'X'))"); }));
}

TEST_F(EngineTest, AnUnknownPropertyFunctionIsAnErrorNamingIt) {
  std::string File = Project("p.proj", "<PropertyGroup>\n  <X>$([System.IO.Path]::Frobnicate('a'))</X>\n</PropertyGroup>");
  EXPECT_EQ(File + "(3,3): error: The property function \"[System.IO.Path]::Frobnicate\" is not available",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(File, Request); }));
  auto P = Eval("");
  EXPECT_EQ(Dir / "p.proj: error: The property function \"Reverse\" is not available",
            ErrorOf<EEngineError>([&] { P->Expand("$(X.Reverse())"); }));
  EXPECT_EQ(Dir / "p.proj: error: The property function \"Substring\" failed: the range 5, 1 lies outside the "
                  "text of 0 characters",
            ErrorOf<EEngineError>([&] { P->Expand("$(X.Substring(5, 1))"); }));
}

TEST_F(EngineTest, ALongPropertyAndItemsInPropertiesStayAsWritten) {
  std::string Long(100000, 'x');
  auto P = Eval("<PropertyGroup><Long>" + Long + "</Long><Twice>$(Long)$(Long)</Twice><Items>@(C)</Items>"
                "</PropertyGroup><PropertyGroup Condition=\"'$(Long)' == '" + Long + "'\"><Same>yes</Same>"
                "</PropertyGroup><ItemGroup><C Include=\"a\"/></ItemGroup>");
  EXPECT_EQ(Long, P->GetPropertyValue("Long"));
  EXPECT_EQ(200000u, P->GetPropertyValue("Twice").size());
  EXPECT_EQ("yes", P->GetPropertyValue("Same"));
  EXPECT_EQ("@(C)", P->GetPropertyValue("Items"));
  EXPECT_EQ("a", P->Expand("$(Items)"));
}

TEST_F(EngineTest, BadProjectTextIsRefusedWithItsPlace) {
  std::string Broken = Write("broken.proj", "<Project>\n  <PropertyGroup>\n    <A>x</B>\n</Project>");
  EXPECT_EQ(Broken + "(3,11): error: The project file could not be read: mismatched tag",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(Broken, Request); }));
  std::string Doctype = Write("doctype.proj",
                              "<?xml version=\"1.0\"?>\n<!DOCTYPE Project [<!ENTITY e \"boom\">]>\n<Project/>");
  EXPECT_EQ(Doctype + "(2,19): error: The project file holds a document type declaration, which is not allowed",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(Doctype, Request); }));
  std::string Other = Write("other.proj", "<Solution/>");
  EXPECT_EQ(Other + "(1,1): error: The root element of a project file must be <Project>, not <Solution>",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(Other, Request); }));
  std::string Unknown = Project("unknown.proj", "<PropertyGrop/>");
  EXPECT_EQ(Unknown + "(2,1): error: The element <PropertyGrop> beneath element <Project> is unrecognized",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(Unknown, Request); }));
  std::string Absent = Dir / "absent.proj";
  EXPECT_EQ(0u, ErrorOf<EEngineError>([&] { Engine.Evaluate(Absent, Request); })
                    .find(Absent + ": error: The project file \"" + Absent + "\" could not be read: "));
}

TEST_F(EngineTest, ProjectTextStandsInForTheFileAndChangedImportsAreReadAgain) {
  std::string File = Project("p.proj", "<PropertyGroup><A>disk</A></PropertyGroup><Import Project=\"i.props\"/>");
  Write("i.props", "<Project><PropertyGroup><I>first</I></PropertyGroup></Project>");
  EXPECT_EQ("first", Engine.Evaluate(File, Request)->GetPropertyValue("I"));
  Write("i.props", "<Project><PropertyGroup><I>second, longer</I></PropertyGroup></Project>");
  Request.UseProjectText = true;
  Request.ProjectText = "<Project><PropertyGroup><A>editor</A></PropertyGroup><Import Project=\"i.props\"/></Project>";
  auto P = Engine.Evaluate(File, Request);
  EXPECT_EQ("editor", P->GetPropertyValue("A"));
  EXPECT_EQ("second, longer", P->GetPropertyValue("I"));
}

}  // namespace
}  // namespace nxs::engine::test

namespace nxs::engine::test {
namespace {

using nxs::test::ErrorOf;

TEST_F(EngineTest, HostileNestingIsRefusedRatherThanExhaustingTheStack) {
  std::string Deep = "<Project>";
  for (int I = 0; I < 100000; ++I) Deep += "<a>";
  std::string DeepFile = Write("deep.proj", Deep);
  EXPECT_EQ(DeepFile + "(1,775): error: The project file nests elements deeper than 256 levels",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(DeepFile, Request); }));

  std::string Parens(100000, '(');
  std::string Cond = Project("cond.proj", "<PropertyGroup Condition=\"" + Parens + "\" />");
  EXPECT_EQ(Cond + "(2,1): error: The condition \"" + Parens +
                "\" is malformed: parentheses nested too deeply at position 501",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(Cond, Request); }));

  std::string Nested = "x";
  for (int I = 0; I < 1000; ++I) Nested = "$([MSBuild]::ValueOrDefault('', " + Nested + "))";
  std::string Fn = Project("fn.proj", "<PropertyGroup><A>" + Nested + "</A></PropertyGroup>");
  EXPECT_EQ(Fn + "(2,16): error: The expression \"[MSBuild]::ValueOrDefault('', $([MSBuild]::ValueOrDefault(''\" "
                 "nests functions deeper than 100 levels",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(Fn, Request); }));
  // Within the limit the same expression works.
  Nested = "x";
  for (int I = 0; I < 50; ++I) Nested = "$([MSBuild]::ValueOrDefault('', " + Nested + "))";
  EXPECT_EQ("x", Eval("<PropertyGroup><A>" + Nested + "</A></PropertyGroup>")->GetPropertyValue("A"));
}

// Text that doubles itself forty times would take a terabyte: it is refused once the project's
// values, or its items, would take more than 256 MB, naming what grew too large and where.
TEST_F(EngineTest, ExponentialExpansionIsRefusedNamingWhatGrewAndWhere) {
  std::string Props = "<PropertyGroup>\n  <P0>x</P0>\n";
  for (int I = 1; I <= 40; ++I)
    Props += "  <P" + std::to_string(I) + ">$(P" + std::to_string(I - 1) + ")$(P" + std::to_string(I - 1) + ")</P" +
             std::to_string(I) + ">\n";
  std::string File = Project("props.proj", Props + "</PropertyGroup>");
  // P27 (128 MB) would bring the values to 256 MB, with what P0 to P26 and the environment hold.
  EXPECT_EQ(File + "(30,3): error: The value of the property \"P27\" would be larger than 256 MB",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(File, Request); }));

  std::string Items = "<ItemGroup>\n  <I0 Include=\"x\" />\n";
  for (int I = 1; I <= 40; ++I)
    Items += "  <I" + std::to_string(I) + " Include=\"@(I" + std::to_string(I - 1) + ");@(I" + std::to_string(I - 1) +
             ")\" />\n";
  File = Project("items.proj", Items + "</ItemGroup>");
  // An item weighs its text and 256 bytes: I19's 524,288 items would bring I0 to I19 past 256 MB.
  EXPECT_EQ(File + "(22,3): error: The item list \"I19\" would be larger than 256 MB",
            ErrorOf<EEngineError>([&] { Engine.Evaluate(File, Request); }));

  // One value that needs no doubling: a width far beyond the bound.
  EXPECT_EQ(Dir / "p.proj(3,3): error: The value of the property \"Wide\" would be larger than 256 MB",
            ErrorOf<EEngineError>([&] {
              Eval("<PropertyGroup>\n  <Wide>$([System.String]::Copy('x').PadLeft(1000000000000))</Wide>\n</PropertyGroup>");
            }));
}

TEST_F(EngineTest, AProjectThatBuildsItselfWithNewPropertiesForeverIsStopped) {
  EXPECT_FALSE(Build(R"P(<Target Name="Build">
    <MSBuild Projects="$(MSBuildProjectFullPath)" Properties="Level=$(Level)x" />
  </Target>)P"));
  EXPECT_EQ(0u, Log.Errors().find("Projects build other projects deeper than 64 levels"));
  Log.Events.clear();
  // The same project and properties again is the same instance: its running target is a cycle.
  EXPECT_FALSE(Build(R"P(<Target Name="Build"><MSBuild Projects="$(MSBuildProjectFullPath)" /></Target>)P"));
  EXPECT_EQ("The target \"Build\" depends on itself: Build -> Build", Log.Errors());
}

}  // namespace
}  // namespace nxs::engine::test
