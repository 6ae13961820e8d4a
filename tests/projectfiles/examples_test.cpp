// The sample projects and other MSBuild files through the project document and back.
#include <gtest/gtest.h>

#include <filesystem>

#include "projectfiles/projectfile.h"
#include "shared/fileio.h"
#include "shared/testdir.h"

using namespace nxs;
using nxs::test::TTempDir;

namespace {

std::string FormatFile(const std::string& In, const std::string& Out) {
  MSBuildOpenProject(In)->SaveToFile(Out);
  return FileSystem().ReadFile(Out);
}

}  // namespace

TEST(ProjectFiles, SamplesInTheSystemsLayoutComeOutUnchanged) {
  TTempDir Dir;
  int Seen = 0;
  for (const auto& Entry : std::filesystem::recursive_directory_iterator(NXS_EXAMPLES_DIR)) {
    std::string Ext = Entry.path().extension().string();
    if (Ext != ".vproj" && Ext != ".kzproj") continue;
    ++Seen;
    std::string Original = FileSystem().ReadFile(Entry.path().string());
    EXPECT_EQ(FormatFile(Entry.path().string(), Dir / "out.xml"), Original) << Entry.path();
    EXPECT_EQ(Original.rfind("\xEF\xBB\xBF<Project xmlns=", 0), 0u);
  }
  EXPECT_GE(Seen, 2);
}

TEST(ProjectFiles, AnyOtherLayoutIsStableAfterOneFormat) {
  TTempDir Dir;
  // Two-space indentation, LF line breaks, an XML declaration, comments, a CDATA section,
  // single-quoted attributes, empty attributes, identifier comments, a deeper target.
  FileSystem().WriteFile(Dir / "in.kzproj",
                         "<?xml version='1.0' encoding='utf-8'?>\n"
                         "<Project xmlns='http://schemas.microsoft.com/developer/msbuild/2003' ToolsVersion=''>\n"
                         "  <!-- settings -->\n"
                         "  <PropertyGroup Condition=\"'$(Base)'!=''\"><Post><![CDATA[a && b]]></Post>\n"
                         "  <Text>it's</Text></PropertyGroup>\n"
                         "  <!-- __id-1 -->\n"
                         "  <ItemGroup>\n    <KestrelCompile Include='a.cpp'><BuildOrder>1</BuildOrder></KestrelCompile>\n"
                         "  </ItemGroup>\n"
                         "  <Choose><When Condition=\"'$(X)'=='1'\"><PropertyGroup><Y>1</Y></PropertyGroup></When>"
                         "<Otherwise/></Choose>\n"
                         "  <Target Name='T'><Exec Command='echo &quot;x&quot;'><Output TaskParameter='ExitCode' "
                         "PropertyName='E'/></Exec><OnError ExecuteTargets='Fail'/></Target>\n"
                         "  <ProjectExtensions><Tarvos.Personality>Kestrel.Personality</Tarvos.Personality>"
                         "</ProjectExtensions>\n"
                         "</Project>\n");
  std::string Once = FormatFile(Dir / "in.kzproj", Dir / "once.kzproj");
  std::string Twice = FormatFile(Dir / "once.kzproj", Dir / "twice.kzproj");
  EXPECT_EQ(Once, Twice);
  for (const char* Kept : {"<Post><![CDATA[a && b]]></Post>", "<Text>it&apos;s</Text>", "<!-- __id-1 -->",
                           "<KestrelCompile Include=\"a.cpp\">", "<Otherwise/>",
                           "<Exec Command=\"echo &quot;x&quot;\">",
                           "<Output TaskParameter=\"ExitCode\" PropertyName=\"E\"/>",
                           "<Tarvos.Personality>Kestrel.Personality.12</Tarvos.Personality>"})
    EXPECT_NE(Once.find(Kept), std::string::npos) << Kept;
  EXPECT_EQ(Once.find("ToolsVersion"), std::string::npos);
  EXPECT_EQ(Once.find("settings"), std::string::npos);
}
