#include "packages/filechecks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "support/errorof.h"
#include "support/questions.h"
#include "support/tempdir.h"

namespace nxs::test {
namespace {

class FileChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* D : {"pkg", "lib", "other"}) std::filesystem::create_directory(Dir / D);
  }
  std::string Touch(const std::string& Name) {
    std::ofstream(Dir / Name) << "x";
    return Dir / Name;
  }
  TTempDir Dir;
};

TEST_F(FileChecks, NamesAreSplitAtBlanksQuotedOnesWholeAndEachIsFoundAsWrittenOrAlongThePath) {
  const std::string Blank = Touch("other/with blank.pas");
  const std::string OnPath = Touch("lib/shapes.pas");
  TDirList Path({Dir / "lib"}, Dir / "pkg");
  TBrowseFileDirector& Units = GetBrowseUnitFileDirector();
  EXPECT_EQ(Units.ValidateFileNames("\"" + Blank + "\"  shapes.pas", Path), (std::vector<std::string>{Blank, OnPath}));
  EXPECT_EQ(ErrorOf([&] { Units.ValidateFileNames("shapes.pas missing.pas", Path); }), "File missing.pas not found");
  EXPECT_EQ(ErrorOf([&] { Units.ValidateFileNames("shapes.txt", Path); }),
            "File extension .txt is not valid.  Expecting .pas or .vcu");
  // Three and more alternatives: commas, then "or".
  TBrowseFileDirector Three({".a", ".b", ".c"}, "");
  EXPECT_EQ(ErrorOf([&] { Three.ValidateFileExt("x"); }), "File extension  is not valid.  Expecting .a, .b or .c");
  EXPECT_EQ(GetBrowsePackageFileDirector().Filter(), "Compiled package (*.so)|*.so|Any file (*.*)|*.*");
}

TEST_F(FileChecks, AnotherFileOfTheSameBaseNameInThePackageFolderOrOnThePathIsRefused) {
  Touch("pkg/shapes.vcu");
  Touch("lib/area.pas");
  const std::string Shapes = Touch("other/shapes.pas");
  const std::string Area = Touch("other/area.vcu");
  const std::string Fresh = Touch("other/fresh.pas");
  TDirList Path({Dir / "lib"}, Dir / "pkg");
  EXPECT_EQ(ErrorOf([&] { Path.IncludePathOfNewFile(Shapes); }),
            Shapes + " can't be added to this package because another file with the same base name (shapes) is already "
                     "in the directory of the package");
  EXPECT_EQ(ErrorOf([&] { Path.IncludePathOfNewFile(Area); }),
            "Another file with the same base name (area) is already on the search path");
  EXPECT_FALSE(Path.SearchForPath(Dir / "other"));
  Path.IncludePathOfNewFile(Fresh);
  EXPECT_TRUE(Path.SearchForPath(Dir / "other"));
  EXPECT_EQ(Path.SearchForFile("fresh.pas"), Dir / "other");
  // The file itself, added again, is no other file.
  Path.IncludePathOfNewFile(Fresh);
  EXPECT_EQ(Path.Folders().size(), 2u);
}

TEST_F(FileChecks, AnUnnamedModuleIsSavedOnlyWhenTheUserSaysSo) {
  auto User = std::make_shared<TScriptedQuestions>();
  SetQuestions(User);
  int Saves = 0;
  User->Answers = {mrNo, mrYes};
  const auto Save = [&] { return ++Saves > 0; };
  EXPECT_FALSE(GetBrowseUnitFileDirector().SaveUnnamedModule("Unit1", Save));
  EXPECT_TRUE(GetBrowseUnitFileDirector().SaveUnnamedModule("Unit1", Save));
  EXPECT_EQ(Saves, 1);
  EXPECT_EQ(User->Asked.at(0), "Unit1 must be saved before adding to a package.  Save now?");
  SetQuestions(nullptr);
}

TEST_F(FileChecks, AnAddedDirectorTakesOverUntilRemoved) {
  auto Own = std::make_shared<TBrowseFileDirector>(std::vector<std::string>{".cpp"}, "C++");
  AddBrowseUnitFileDirector(Own);
  EXPECT_EQ(&GetBrowseUnitFileDirector(), Own.get());
  RemoveBrowseUnitFileDirector(Own);
  EXPECT_EQ(GetBrowseUnitFileDirector().Extensions(), (std::vector<std::string>{".pas", ".vcu"}));
}

}  // namespace
}  // namespace nxs::test
