// The editor's unsaved text in a compile, from a host that lists what it holds: the files
// asked about are the listed ones a compile may read (its sources, and what a walk of the
// project directory would find), and the text compiled is the editor's.
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "build/compilers/compilers.h"
#include "support/taskfakes.h"
#include "support/tempdir.h"

namespace nxs::compilers {
namespace {

namespace fs = std::filesystem;

TEST(EditorOverlay, AHostThatListsItsUnsavedFilesIsAskedAboutThoseAlone) {
  test::TTempDir Root;
  const std::string Dir = Root / "app", Shared = Root / "shared";
  fs::create_directories(Dir + "/src");
  fs::create_directories(Dir + "/.hidden");
  fs::create_directories(Shared);
  test::WriteText(Dir + "/src/value.h", "#pragma once\n#define VALUE 1\n");
  test::WriteText(Dir + "/src/main.cpp",
                  "#include <cstdio>\n#include \"value.h\"\nint Extra();\nint main() { std::printf(\"%d\\n\", VALUE + Extra()); }\n");
  test::WriteText(Shared + "/extra.cpp", "int Extra() { return 10; }\n");
  test::TFakeProject Project(Dir + "/app.kzproj");
  Project.Properties["OutputDir"] = "out";
  test::TFakeHost Host(Root.Path());
  Host.ListsUnsaved = true;
  Host.Unsaved[Dir + "/src/value.h"] = "#pragma once\n#define VALUE 2\n";
  Host.Unsaved[Shared + "/extra.cpp"] = "int Extra() { return 20; }\n";
  // Neither below the project directory as a walk would find it, nor a source: not asked.
  Host.Unsaved[Dir + "/.hidden/value.h"] = "#error hidden\n";
  Host.Unsaved[Shared + "/other.h"] = "#error elsewhere\n";
  Host.Unsaved[Dir + "/notes.txt"] = "notes\n";

  RegisterCompilerTasks();
  engine::TTaskFunction Task;
  ASSERT_TRUE(engine::FindTask("CppCompiler", Task));
  test::TFakeContext C("CppCompiler", Project, &Host);
  C.SetItems("Sources", {"src/main.cpp", "../shared/extra.cpp"});
  ASSERT_TRUE(Task(C));
  EXPECT_EQ(test::ProgramOutput({Dir + "/out/app"}), "22\n");
  std::vector<std::string> Asked = Host.Asked;
  std::sort(Asked.begin(), Asked.end());
  EXPECT_EQ(Asked, (std::vector<std::string>{Dir + "/src/value.h", Shared + "/extra.cpp"}));
  EXPECT_EQ(test::ReadText(Dir + "/src/value.h"), "#pragma once\n#define VALUE 1\n");
}

}  // namespace
}  // namespace nxs::compilers
