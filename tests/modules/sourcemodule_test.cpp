#include "modules/sourcemodule.h"

#include <gtest/gtest.h>

#include <map>

#include "modules/filehist.h"
#include "modules/moduletest.h"
#include "support/errorof.h"

using namespace nxs;
using namespace nxs::test;
namespace fs = std::filesystem;

namespace {

using SourceModule = ModuleTest;

// Keeps the views recorded for each file, as a desktop would.
class TMemoryViewStore : public IModuleViewStore {
 public:
  std::vector<TViewState> LoadViews(const std::string& FileName) override { return Views[FileName]; }
  void StoreViews(const std::string& FileName, const std::vector<TViewState>& V) override { Views[FileName] = V; }
  std::map<std::string, std::vector<TViewState>> Views;
};

}  // namespace

TEST_F(SourceModule, AModulesFileIsFoundOpenOnDiskOrInTheFoldersToSearch) {
  fs::create_directories(Dir / "lib");
  WriteText(Dir / "lib/Tools.pas", "unit Tools;\n");
  WriteText(Dir / "lib/Notes.txt", "");
  WriteText(Dir / "Main.pp", "");
  EXPECT_EQ(FindModuleFile("Tools", {Dir.Path(), Dir / "lib"}), Dir / "lib/Tools.pas");
  EXPECT_EQ(FindModuleFile("lib/Tools.pas", {Dir.Path()}), Dir / "lib/Tools.pas");
  EXPECT_EQ(FindModuleFile(Dir / "Main"), Dir / "Main.pp");
  EXPECT_EQ(FindModuleFile(Dir / "lib/Notes.txt"), Dir / "lib/Notes.txt");
  // An extension is never added to a name that has one, nor is a non-source one tried.
  EXPECT_EQ(FindModuleFile("Notes", {Dir / "lib"}), "");
  EXPECT_EQ(FindModuleFile("Tools.txt", {Dir / "lib"}), "");
  EXPECT_EQ(FindModuleFile("", {Dir.Path()}), "");
  // A module open under a name no file has yet is found too.
  OpenFile(Dir / "New.pas", true, false);
  EXPECT_EQ(FindModuleFile("New", {Dir.Path()}), Dir / "New.pas");
}

TEST_F(SourceModule, EditorViewsAreRecordedOnSaveAndComeBackWhenTheModuleOpensAgain) {
  auto Store = std::make_shared<TMemoryViewStore>();
  SetModuleViewStore(Store);
  std::string Lines;
  for (int I = 1; I <= 10; ++I) Lines += "line " + std::to_string(I) + "\n";
  WriteText(Dir / "Main.pas", Lines);
  WriteText(Dir / "Main.vfm", "object F: TF\n  Left = 1\nend\n");
  TSourceModule* M = Open("Main.pas");
  M->ShowEditor().SetCursor({3, 5});
  M->OpenView(*M->GetSourceBuffer(1)).SetCursor({1, 2});
  ASSERT_TRUE(M->Save(false, true));
  ASSERT_EQ(Store->Views[Dir / "Main.pas"].size(), 2u);
  ASSERT_TRUE(M->Close(false));
  M = Open("Main.pas");
  ASSERT_EQ(M->ViewCount(), 2);
  EXPECT_EQ(&M->View(0)->Buffer(), M->GetMainSource());
  EXPECT_EQ(M->View(0)->Cursor().LineNum, 5);
  EXPECT_EQ(M->View(0)->Cursor().Col, 3);
  EXPECT_EQ(M->View(1)->Buffer().FileName(), Dir / "Main.vfm");
  EXPECT_EQ(M->View(1)->Cursor().LineNum, 2);
  ASSERT_TRUE(M->Close(false));
  // The file shrank and lost its form since: the view of the form is left out, and the
  // place past the end lands in the file.
  WriteText(Dir / "Main.pas", "one\n");
  fs::remove(Dir / "Main.vfm");
  M = Open("Main.pas");
  ASSERT_EQ(M->ViewCount(), 1);
  EXPECT_LE(M->View(0)->Cursor().LineNum, M->GetMainSource()->LineCount());
  ASSERT_TRUE(M->Close(false));
  // A form view recorded alone comes after the default view, which stays on the main file.
  WriteText(Dir / "Main.vfm", "object F: TF\nend\n");
  Store->Views[Dir / "Main.pas"] = {{{"Module", Dir / "Main.vfm"}, {"CursorY", "2"}}};
  M = Open("Main.pas");
  ASSERT_EQ(M->ViewCount(), 2);
  EXPECT_EQ(&M->View(0)->Buffer(), M->GetMainSource());
  EXPECT_EQ(M->View(1)->Cursor().LineNum, 2);
  SetModuleViewStore(nullptr);
}

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
