#include "modules/sourcemodule.h"

#include <gtest/gtest.h>

#include "modules/filehist.h"
#include "modules/moduletest.h"
#include "support/errorof.h"

using namespace nxs;
using namespace nxs::test;
namespace fs = std::filesystem;

namespace {

using SourceModule = ModuleTest;

}  // namespace

TEST_F(SourceModule, ThreeSavesOfAnEditedModuleLeaveThreeNumberedBackups) {
  WriteText(Dir / "u.pas", "v0\n");
  TSourceModule* M = Open("u.pas");
  ASSERT_NE(M, nullptr);
  for (int I = 1; I <= 3; ++I) {
    TypeInto(*M, "x");
    ASSERT_TRUE(M->GetModified());
    ASSERT_TRUE(M->Save(false, true));
    EXPECT_FALSE(M->GetModified());
  }
  EXPECT_EQ(ReadText(Dir / "u.pas"), "xxxv0\n");
  EXPECT_EQ(ReadText(Dir / "__history/u.pas.~1~"), "v0\n");
  EXPECT_EQ(ReadText(Dir / "__history/u.pas.~2~"), "xv0\n");
  EXPECT_EQ(ReadText(Dir / "__history/u.pas.~3~"), "xxv0\n");
  EXPECT_FALSE(fs::exists(Dir / "__history/u.pas.~4~"));
}

TEST_F(SourceModule, SaveFilterJoinsTheRegisteredFiltersAndEndsWithAnyFile) {
  WriteText(Dir / "u.pas", "");
  TSourceModule* M = Open("u.pas");
  EXPECT_EQ(M->GetSaveFilter(), "Any file (*.*)|*.*");
  RegisterSourceModuleSaveFilter("Pascal unit (*.pas)|*.pas");
  RegisterSourceModuleSaveFilter("Text (*.txt)|*.txt");
  RegisterSourceModuleSaveFilter("Pascal unit (*.pas)|*.pas");
  EXPECT_EQ(M->GetSaveFilter(), "Pascal unit (*.pas)|*.pas|Text (*.txt)|*.txt|Any file (*.*)|*.*");
  UnregisterSourceModuleSaveFilters();
}

TEST_F(SourceModule, AModuleNeedsAFileAndAReopenedEntryOpensThroughItsHandler) {
  try {
    TDocModule::Create<TSourceModule>("");
    ADD_FAILURE() << "a module without a file";
  } catch (const EModuleError& E) {
    EXPECT_STREQ(E.what(), "Creator must supply a source file");
  }
  EXPECT_EQ(ModuleList().Count(), 0);

  WriteText(Dir / "r.pas", "a\nb\nc\n");
  TSourceModule* M = Open("r.pas");
  GotoLineCol(M->ShowEditor().EkView(), 3, 1);
  ASSERT_TRUE(M->Close(true));
  ASSERT_EQ(ClosedFiles().ClosedFileList().Count(), 1);
  TClosedFile* Entry = ClosedFiles().ClosedFileList().Item(0);
  EXPECT_EQ(Entry->HandlerName(), "TSourceModule");
  Entry->ReOpen();
  auto* Reopened = dynamic_cast<TSourceModule*>(FindDocModule(Dir / "r.pas"));
  ASSERT_NE(Reopened, nullptr);
  EXPECT_EQ(ActiveModule(), Reopened);
  EXPECT_EQ(static_cast<int>(Reopened->ShowEditor().Cursor().LineNum), 3);
  EXPECT_EQ(ClosedFiles().ClosedFileList().Count(), 0);
}

TEST_F(SourceModule, AnEncodingChangeDeclinedSavesNothingAndKeepsNoBackup) {
  WriteText(Dir / "latin.pas", "caf\xE9\n");
  TSourceModule* M = Open("latin.pas");
  TypeInto(*M, "\xE2\x82\xAC");  // a character the 8-bit file cannot hold
  Q->Answers = {mrNo};
  EXPECT_FALSE(M->Save(false, true));
  EXPECT_EQ(Q->Asked.back(), "latin.pas holds characters that its 8-bit encoding cannot store. Save it as UTF-8 instead?");
  EXPECT_TRUE(M->GetModified());
  EXPECT_EQ(ReadText(Dir / "latin.pas"), "caf\xE9\n");
  EXPECT_FALSE(fs::exists(Dir / "__history"));
  // Saving everything stops there too.
  Q->Answers = {mrNo};
  EXPECT_FALSE(SaveModifiedModules());
  EXPECT_EQ(ReadText(Dir / "latin.pas"), "caf\xE9\n");
  Q->Answers = {mrYes};
  EXPECT_TRUE(M->Save(false, true));
  EXPECT_EQ(ReadText(Dir / "latin.pas"), "\xE2\x82\xAC" "caf\xC3\xA9\n");
  EXPECT_EQ(ReadText(Dir / "__history/latin.pas.~1~"), "caf\xE9\n");
}

TEST_F(SourceModule, SavesThatARefusedFileCannotTakeCostNoOlderBackup) {
  FileHistorySettings().FileBackupLevel = 2;
  WriteText(Dir / "ro.pas", "v3\n");
  fs::create_directories(Dir / "__history");
  WriteText(Dir / "__history/ro.pas.~1~", "v1\n");
  WriteText(Dir / "__history/ro.pas.~2~", "v2\n");
  TSourceModule* M = Open("ro.pas");
  fs::permissions(Dir / "ro.pas", fs::perms::owner_read | fs::perms::group_read);
  for (int Attempt = 0; Attempt < 3; ++Attempt)
    EXPECT_EQ(ErrorOf<EInOutError>([&] { M->Save(false, true); }),
              "Cannot write file \"" + Dir / "ro.pas" + "\": the file is read-only");
  EXPECT_EQ(ReadText(Dir / "__history/ro.pas.~1~"), "v1\n");
  EXPECT_EQ(ReadText(Dir / "__history/ro.pas.~2~"), "v2\n");
  EXPECT_FALSE(fs::exists(Dir / "__history/ro.pas.~3~"));
}
