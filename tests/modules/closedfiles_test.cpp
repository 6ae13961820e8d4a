#include "modules/closedfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "modules/favorites.h"
#include "modules/srcclosedfile.h"
#include "modules/inifile.h"
#include "shared/settings.h"
#include "support/run.h"
#include "support/tempdir.h"

using namespace nxs;
using nxs::test::TTempDir;

namespace {

// A source module with one view, or another kind of module.
class TFakeModule : public IClosedFileModule, public IClosedSourceState {
 public:
  TFakeModule(std::string File, std::string Class = "TSourceModule", bool Project = false)
      : FFile(std::move(File)), FClass(std::move(Class)), FProject(Project) {}
  std::string GetFileName() const override { return FFile; }
  std::string GetReopenFileName() const override { return FFile; }
  bool GetIsProject() const override { return FProject; }
  std::string GetFileSystemIdent() const override { return FFileSystem; }
  bool CanAddClosedFile() const override { return FCanAdd; }
  std::string ModuleClassName() const override { return FClass; }
  IClosedSourceState* SourceState() override { return FClass == "TSourceModule" ? this : nullptr; }

  bool HasView() const override { return FHasView; }
  TClosedViewState ViewState() const override { return {FTop, FCursor, FElisions, FBookmarks}; }
  uint8_t DesignerState() const override { return FDesigner; }
  uint8_t FormOnTop() const override { return 0; }
  int LineCount() const override { return FLines; }
  void SetTopLeft(TClosedEdPos P) override { FTop = P; }
  void SetCursor(TClosedEdPos P) override { FCursor = P; }
  void InsertElisions(const std::string& T) override { FElisions = T; }
  void ClampViews() override { ++FClamped; }
  void InsertBookmarks(const std::string& T) override { FBookmarks = T; }
  bool IsClosed() const override { return false; }
  void ShowForm(int State) override { FShownForm = State; }

  std::string FFile, FClass, FFileSystem;
  bool FProject, FCanAdd = true, FHasView = true;
  TClosedEdPos FTop{3, 40}, FCursor{7, 52};
  std::string FElisions = "{{10,0},{20,3},{'begin, \\{x\\}'}}", FBookmarks = "{0,12,5}{3,40,1}";
  uint8_t FDesigner = 0;
  int FLines = 100, FClamped = 0, FShownForm = -1;
};

class TFakeServices : public IReopenServices {
 public:
  std::string HandlerNameFor(const IClosedFileModule& M) override {
    return M.ModuleClassName() == "TSourceModule" ? "TSourceModule" : "TProjectHandler";
  }
  bool HandlerExists(const std::string& H) override { return H == "TSourceModule"; }
  void OpenWithHandler(const std::string& H, const std::string& F) override { Log.push_back("open " + H + " " + F); }
  void SetProjectOpenMode() override { Log.push_back("project mode"); }
  void SwitchToLayout(const std::string& L) override { Log.push_back("layout " + L); }
  std::vector<std::string> Log;
};

class TPlainClosedFile : public TClosedFile {
 public:
  using TClosedFile::TClosedFile;
  void RestoreModule(IClosedFileModule&) override {}
};

TClosedFileClass ProjectClass() {
  TClosedFileClass C;
  C.ClassName = "TPlainClosedFile";
  C.CanHandleModule = [](const IClosedFileModule& M) { return M.GetIsProject(); };
  C.CreateEmpty = [] { return std::make_unique<TPlainClosedFile>(); };
  C.Create = [](const IClosedFileModule& M) { return std::make_unique<TPlainClosedFile>(M); };
  return C;
}

std::vector<std::string> FilesOf(TClosedFileList& L) {
  std::vector<std::string> R;
  for (int I = 0; I < L.Count(); ++I) R.push_back(L.Item(I)->FileName());
  return R;
}

class ClosedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReopenServices(&Services);
    Lists.InitClosedFileTypeList();
    Lists.RegisterClosedFileClass("TProjectHandler", ProjectClass());
  }
  void TearDown() override { SetReopenServices(nullptr); }
  void Close(const std::string& File) { Lists.AddClosedFile(TFakeModule(File)); }

  TFakeServices Services;
  TClosedFiles Lists;
  TTempDir Dir;
};

}  // namespace

TEST_F(ClosedFiles, MostRecentFirstMoveToFrontAndCapacity) {
  Lists.ClosedFileList().SetCapacity(3);
  Close("/p/a.pas");
  Close("/p/b.pas");
  Close("/p/c.pas");
  Close("/p/a.pas");  // the same file: moves to the front
  EXPECT_EQ(FilesOf(Lists.ClosedFileList()), (std::vector<std::string>{"/p/a.pas", "/p/c.pas", "/p/b.pas"}));
  Close("/p/d.pas");  // full: the oldest goes
  EXPECT_EQ(FilesOf(Lists.ClosedFileList()), (std::vector<std::string>{"/p/d.pas", "/p/a.pas", "/p/c.pas"}));
  Close("/P/A.PAS");  // another file, whatever its name looks like
  EXPECT_EQ(FilesOf(Lists.ClosedFileList()), (std::vector<std::string>{"/P/A.PAS", "/p/d.pas", "/p/a.pas"}));

  Lists.AddClosedFile(TFakeModule("/p/app.vproj", "TProjectModule", true));
  EXPECT_EQ(FilesOf(Lists.ClosedProjectList()), (std::vector<std::string>{"/p/app.vproj"}));
  EXPECT_EQ(Lists.ClosedProjectList().Item(0)->HandlerName(), "TProjectHandler");

  TFakeModule Remote("/r/x.pas");
  Remote.FFileSystem = "ftp";
  TFakeModule Refuses("/r/y.pas");
  Refuses.FCanAdd = false;
  TFakeModule Unknown("/r/z.txt", "TTextModule");
  for (auto* M : {&Remote, &Refuses, &Unknown}) Lists.AddClosedFile(*M);
  EXPECT_EQ(Lists.ClosedFileList().Count(), 3);
}

TEST_F(ClosedFiles, EntriesWithCommasAndQuotesSurviveStoreAndLoad) {
  TSettingsStore Store(Dir / "settings.ini");
  TSettingsIniFile Ini(Store);
  Close("/p/it's, odd.pas");
  Close("/p/'quoted'.pas");
  Close("/p/plain.pas");
  Lists.AddClosedFile(TFakeModule("/p/a,b's.vproj", "TProjectModule", true));
  Lists.StoreClosedHistory(Ini, true);
  Lists.StoreClosedHistory(Ini, false);
  EXPECT_EQ(Store.ReadInteger("Closed Files", "Max Closed Files", 0), 15);
  EXPECT_EQ(Store.ReadString("Closed Projects", "File_0"), "TProjectHandler,'/p/a,b''s.vproj',1");

  TSettingsStore Again(Dir / "settings.ini");
  TSettingsIniFile Ini2(Again);
  TClosedFiles Loaded;
  Loaded.InitClosedFileTypeList();
  Loaded.RegisterClosedFileClass("TProjectHandler", ProjectClass());
  Loaded.LoadClosedHistory(Ini2, true, false);
  Loaded.LoadClosedHistory(Ini2, false, false);
  EXPECT_EQ(FilesOf(Loaded.ClosedFileList()), FilesOf(Lists.ClosedFileList()));
  EXPECT_EQ(FilesOf(Loaded.ClosedProjectList()), (std::vector<std::string>{"/p/a,b's.vproj"}));
  EXPECT_TRUE(Loaded.ClosedProjectList().Item(0)->IsProject());

  auto* Src = dynamic_cast<TSourceModuleClosedFile*>(Loaded.ClosedFileList().Item(1));
  ASSERT_NE(Src, nullptr);
  EXPECT_EQ(Src->FViewTop, (TClosedEdPos{3, 40}));
  EXPECT_EQ(Src->FCursor, (TClosedEdPos{7, 52}));
  EXPECT_EQ(Src->FElisions, "{{10,0},{20,3},{'begin, \\{x\\}'}}");
  EXPECT_EQ(Src->FBookmarks, "{0,12,5}{3,40,1}");
}

TEST_F(ClosedFiles, LoadingSkipsUnknownHandlersAndEmptyValuesAndReadsOlderForms) {
  TSettingsStore Store(Dir / "settings.ini");
  TSettingsIniFile Ini(Store);
  Store.WriteInteger("Closed Files", "Max Closed Files", 4);
  Store.WriteString("Closed Files", "File_0", "TGoneHandler,'/p/gone.txt',0");
  Store.WriteString("Closed Files", "File_1", "");
  // Written by an older version: folded regions and bookmarks without quotes.
  Store.WriteString("Closed Files", "File_2", "TSourceModule,'/p/old.pas',0,1,5,2,9,0,0,{{1,0},{4,2},{'x'}},{0,3,1}");
  Store.WriteString("Closed Files", "File_3", "tsourcemodule,'/p/short.pas'");
  Store.WriteString("Closed Files", "File_4", "TSourceModule,'/p/beyond-max.pas',0");
  Lists.LoadClosedHistory(Ini, true, false);
  EXPECT_EQ(Lists.ClosedFileList().Capacity(), 4);
  EXPECT_EQ(FilesOf(Lists.ClosedFileList()), (std::vector<std::string>{"/p/old.pas", "/p/short.pas"}));
  auto* Old = dynamic_cast<TSourceModuleClosedFile*>(Lists.ClosedFileList().Item(0));
  EXPECT_EQ(Old->FElisions, "{{1,0},{4,2},{'x'}}");
  EXPECT_EQ(Old->FBookmarks, "{0,3,1}");
  EXPECT_EQ(Old->FCursor, (TClosedEdPos{2, 9}));
  auto* Short = dynamic_cast<TSourceModuleClosedFile*>(Lists.ClosedFileList().Item(1));
  EXPECT_EQ(Short->FCursor, (TClosedEdPos{1, 1}));
  EXPECT_FALSE(Short->IsProject());

  // Keeping the capacity ignores the stored maximum; an absurd maximum is capped.
  Lists.ClosedFileList().SetCapacity(1);
  Lists.LoadClosedHistory(Ini, true, true);
  EXPECT_EQ(FilesOf(Lists.ClosedFileList()), (std::vector<std::string>{}));
  Store.WriteInteger("Closed Files", "Max Closed Files", 2000000000);
  Lists.LoadClosedHistory(Ini, true, false);
  EXPECT_EQ(Lists.ClosedFileList().Capacity(), TClosedFiles::MaxClosedFilesLimit);
  EXPECT_EQ(Lists.ClosedFileList().Count(), 3);
}

// Another session's entries stay where they are; what this one closed goes first, also a file
// closed again while its entry was still listed. The stored list is cut at the maximum, and a
// maximum of 0 keeps nothing.
TEST_F(ClosedFiles, StoringPutsWhatThisSessionClosedFirstAndKeepsTheMaximum) {
  TSettingsStore Store(Dir / "settings.ini");
  TSettingsIniFile Ini(Store);
  Store.WriteInteger("Closed Files", "Max Closed Files", 3);
  Store.WriteString("Closed Files", "File_0", "TSourceModule,'/p/a.pas',0");
  Store.WriteString("Closed Files", "File_1", "TSourceModule,'/p/b.pas',0");
  Store.WriteString("Closed Files", "File_2", "TSourceModule,'/p/c.pas',0");
  Lists.LoadClosedHistory(Ini, true, false);
  Close("/p/b.pas");  // listed already: moves to the front
  Lists.StoreClosedHistory(Ini, true);
  EXPECT_EQ(FilesOf(Lists.ClosedFileList()), (std::vector<std::string>{"/p/b.pas", "/p/a.pas", "/p/c.pas"}));
  Close("/p/d.pas");
  Lists.StoreClosedHistory(Ini, true);
  EXPECT_EQ(FilesOf(Lists.ClosedFileList()), (std::vector<std::string>{"/p/d.pas", "/p/b.pas", "/p/a.pas"}));
  EXPECT_EQ(Store.ReadString("Closed Files", "File_3"), "");

  Store.WriteInteger("Closed Files", "Max Closed Files", 0);
  Lists.LoadClosedHistory(Ini, true, false);
  Close("/p/e.pas");
  EXPECT_EQ(Lists.ClosedFileList().Count(), 0);
  Lists.StoreClosedHistory(Ini, true);
  EXPECT_EQ(Store.ReadString("Closed Files", "File_0"), "");
  // A negative maximum is no maximum: the default holds.
  Store.WriteInteger("Closed Files", "Max Closed Files", -1);
  Lists.LoadClosedHistory(Ini, true, false);
  EXPECT_EQ(Lists.ClosedFileList().Capacity(), TClosedFiles::DefaultMaxClosedFiles);
}

TEST(ClosedFileValue, SplittingKeepsQuotedPartsWhole) {
  EXPECT_EQ(SplitClosedFileValue("H,'a,b''c',1"), (std::vector<std::string>{"H", "a,b'c", "1"}));
  EXPECT_EQ(SplitClosedFileValue(""), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitClosedFileValue("a,,'unterminated"), (std::vector<std::string>{"a", "", "unterminated"}));
}

TEST_F(ClosedFiles, ReopenMenuCaptionsAndLocking) {
  int Sent = 0;
  Lists.OnClosedFileListChanged().Add(&Sent, [&](TEvClosedFileListChanged&) { ++Sent; });
  Lists.LockClosedFileUpdates();
  Close("/p/R&D.pas");
  Lists.AddClosedFile(TFakeModule("/p/app.vproj", "TProjectModule", true));
  EXPECT_EQ(Sent, 0);
  EXPECT_TRUE(Lists.ReopenMenu().empty());
  Lists.UnlockClosedFileUpdates();
  EXPECT_EQ(Sent, 1);
  const auto& M = Lists.ReopenMenu();
  ASSERT_EQ(M.size(), 3u);
  EXPECT_EQ(M[0].Caption, "&0 /p/app.vproj");
  EXPECT_TRUE(M[1].IsSeparator());
  EXPECT_EQ(M[2].Caption, "&1 /p/R&&D.pas");
  EXPECT_EQ(M[2].HelpContext, 1013);
  EXPECT_EQ(M[2].Entry, Lists.ClosedFileList().Item(0));

  EXPECT_EQ(ReopenCaption(9, "f"), "&9 f");
  EXPECT_EQ(ReopenCaption(10, "f"), "&A f");
  EXPECT_EQ(ReopenCaption(35, "f"), "&Z f");
  EXPECT_EQ(ReopenCaption(36, "a&b"), "a&&b");
  EXPECT_EQ(ShortenPath("/home/user/projects/deep/folder/unit.pas", 30), "/home/.../deep/folder/unit.pas");
  EXPECT_EQ(ShortenPath("/short.pas", 30), "/short.pas");
  Lists.OnClosedFileListChanged().Remove(&Sent);
}

TEST_F(ClosedFiles, ReopeningUsesTheHandlerAndDropsEntriesWithoutOne) {
  Close("/p/a.pas");
  Lists.AddClosedFile(TFakeModule("/p/app.vproj", "TProjectModule", true));
  Lists.ClosedFileList().Item(0)->ReOpen();
  EXPECT_EQ(Services.Log, (std::vector<std::string>{"open TSourceModule /p/a.pas", "layout Default Layout"}));
  // The project's handler is not there any more: the entry leaves the list and the menu.
  Lists.ClosedProjectList().Item(0)->Open();
  EXPECT_EQ(Lists.ClosedProjectList().Count(), 0);
  EXPECT_EQ(Lists.ReopenMenu().size(), 1u);
}

TEST_F(ClosedFiles, ReopenedSourceModuleGetsItsEditorStateBack) {
  TFakeModule Closing("/p/a.pas");
  Closing.FDesigner = 1 | 4;
  Lists.AddClosedFile(Closing);
  TFakeModule Reopened("/p/a.pas");
  Reopened.FTop = {};
  Reopened.FCursor = {};
  Reopened.FElisions.clear();
  Reopened.FBookmarks.clear();
  Reopened.FLines = 45;  // shorter than when it was closed
  EXPECT_EQ(Lists.CheckClosedFileList(Reopened, false), nullptr);
  EXPECT_EQ(Reopened.FTop, (TClosedEdPos{3, 40}));
  EXPECT_EQ(Reopened.FCursor, (TClosedEdPos{7, 45}));
  EXPECT_EQ(Reopened.FElisions, Closing.FElisions);
  EXPECT_EQ(Reopened.FBookmarks, Closing.FBookmarks);
  EXPECT_EQ(Reopened.FClamped, 1);
  EXPECT_EQ(Reopened.FShownForm, 2);
  EXPECT_EQ(Lists.ClosedFileList().Count(), 1);

  TFakeModule Empty("/p/a.pas");
  Empty.FLines = 0;
  Empty.FCursor = {9, 9};
  auto Taken = Lists.CheckClosedFileList(Empty, true);
  ASSERT_NE(Taken, nullptr);
  EXPECT_EQ(Taken->List(), nullptr);
  EXPECT_EQ(Empty.FCursor, (TClosedEdPos{9, 9}));  // no lines: the cursor stays
  EXPECT_EQ(Lists.ClosedFileList().Count(), 0);
}

TEST_F(ClosedFiles, ProjectListCopiesAndCleaningByClass) {
  Lists.AddClosedFile(TFakeModule("/p/one.vproj", "TProjectModule", true));
  Lists.AddClosedFile(TFakeModule("/p/two.vproj", "TProjectModule", true));
  auto Copy = Lists.SaveClosedProjectFiles();
  ASSERT_EQ(Copy.size(), 2u);
  Lists.FreeClosedFileList(Lists.ClosedProjectList());
  EXPECT_EQ(Lists.ClosedProjectList().Count(), 0);
  Lists.SetClosedProjectFiles(Copy);
  EXPECT_EQ(FilesOf(Lists.ClosedProjectList()), (std::vector<std::string>{"/p/two.vproj", "/p/one.vproj"}));

  Close("/p/a.pas");
  Lists.CleanClosedFileLists("TPlainClosedFile");
  EXPECT_EQ(Lists.ClosedProjectList().Count(), 0);
  EXPECT_EQ(Lists.ClosedFileList().Count(), 1);
}

TEST(Favorites, LoadedOnceAddedWithoutRepeatsAndSaved) {
  TTempDir Dir;
  TSettingsStore Store(Dir / "settings.ini");
  TSettingsIniFile Ini(Store);
  Store.WriteString("Favorites", "x", "/p/first.pas");
  Store.WriteString("Favorites", "y", "");
  TFavorites Fav(Ini);
  EXPECT_EQ(Fav.AddToFavorites("/p/second.pas"), 1);
  EXPECT_EQ(Fav.AddToFavorites("/p/first.pas"), -1);
  EXPECT_EQ(Fav.AddToFavorites("/P/FIRST.PAS"), 2) << "another file on this platform";
  EXPECT_EQ(Fav.GetFavorite(0), "/p/first.pas");
  EXPECT_EQ(Store.ReadValueNames("Favorites"), (std::vector<std::string>{"0", "1", "2"}));
  Fav.LoadFavorites(Ini);  // once only
  EXPECT_EQ(Fav.Count(), 3);
  EXPECT_TRUE(Fav.RemoveFromFavorites("/p/first.pas"));
  EXPECT_FALSE(Fav.RemoveFromFavorites("/p/first.pas"));

  TSettingsStore Again(Dir / "settings.ini");
  TSettingsIniFile Ini2(Again);
  TFavorites Fav2(Ini2);
  EXPECT_EQ(Fav2.Items(), (std::vector<std::string>{"/p/second.pas", "/P/FIRST.PAS"}));
}

TEST(Favorites, AnotherProcessesFavouritesSurviveAddingAndRemoving) {
  TTempDir Dir;
  TSettingsStore Mine(Dir / "settings.ini"), Theirs(Dir / "settings.ini");
  TSettingsIniFile MyIni(Mine), TheirIni(Theirs);
  TFavorites MyList(MyIni), TheirList(TheirIni);
  MyList.AddToFavorites("/p/mine.pas");
  EXPECT_EQ(TheirList.Count(), 1);  // loaded now, and kept
  MyList.AddToFavorites("/p/later.pas");
  TheirList.AddToFavorites("/p/theirs.pas");
  MyList.RemoveFromFavorites("/p/mine.pas");
  TSettingsStore Fresh(Dir / "settings.ini");
  TSettingsIniFile FreshIni(Fresh);
  EXPECT_EQ(TFavorites(FreshIni).Items(), (std::vector<std::string>{"/p/later.pas", "/p/theirs.pas"}));
}

TEST(Favorites, ProcessesAddingAtOnceLoseNothing) {
  TTempDir Dir;
  const int kProcesses = 2, kEach = 30;
  ASSERT_TRUE(nxs::test::RunInProcesses(kProcesses, [&](int P) {
    TSettingsStore Store(Dir / "settings.ini");
    TSettingsIniFile Ini(Store);
    TFavorites Fav(Ini);
    for (int I = 0; I < kEach; ++I) {
      Fav.AddToFavorites("/p/" + std::to_string(P) + "/" + std::to_string(I) + ".pas");
      // Each also takes off one it added, so removals race with additions too.
      if (I % 10 == 9) Fav.RemoveFromFavorites("/p/" + std::to_string(P) + "/" + std::to_string(I) + ".pas");
    }
  }));
  TSettingsStore Store(Dir / "settings.ini");
  TSettingsIniFile Ini(Store);
  TFavorites Fav(Ini);
  EXPECT_EQ(Fav.Count(), kProcesses * (kEach - kEach / 10));
  for (int P = 0; P < kProcesses; ++P)
    for (int I = 0; I < kEach; ++I)
      EXPECT_EQ(Fav.IndexOf("/p/" + std::to_string(P) + "/" + std::to_string(I) + ".pas") >= 0, I % 10 != 9) << P << "/" << I;
}

TEST_F(ClosedFiles, ProcessesStoringAtOnceKeepEachOthersEntriesAndRemovals) {
  const int kEach = 20;
  {
    // Room for every entry, and one file that both take off the list again.
    TSettingsStore Store(Dir / "settings.ini");
    Store.WriteInteger("Closed Files", "Max Closed Files", 100);
    TSettingsIniFile Ini(Store);
    Lists.LoadClosedHistory(Ini, true, false);
    Close("/p/reopened.pas");
    Lists.StoreClosedHistory(Ini, true);
  }
  ASSERT_TRUE(nxs::test::RunInProcesses(2, [&](int P) {
    TSettingsStore Store(Dir / "settings.ini");
    TSettingsIniFile Ini(Store);
    TClosedFiles Mine;
    Mine.InitClosedFileTypeList();
    Mine.LoadClosedHistory(Ini, true, false);
    for (int I = 0; I < kEach; ++I) {
      Mine.AddClosedFile(TFakeModule("/p/" + std::to_string(P) + "/" + std::to_string(I) + ".pas"));
      if (I == kEach / 2) {
        TFakeModule Reopened("/p/reopened.pas");
        Mine.CheckClosedFileList(Reopened, true);
      }
      Mine.StoreClosedHistory(Ini, true);
    }
  }));
  TSettingsStore Store(Dir / "settings.ini");
  TSettingsIniFile Ini(Store);
  Lists.LoadClosedHistory(Ini, true, false);
  std::vector<std::string> Files = FilesOf(Lists.ClosedFileList());
  EXPECT_EQ(Files.size(), 2u * kEach);
  EXPECT_EQ(std::count(Files.begin(), Files.end(), "/p/reopened.pas"), 0);
  for (int P = 0; P < 2; ++P) {
    std::vector<std::string> Own;
    for (const auto& F : Files)
      if (F.rfind("/p/" + std::to_string(P) + "/", 0) == 0) Own.push_back(F);
    ASSERT_EQ(Own.size(), size_t(kEach));
    // Each process's own entries keep its order, most recent first.
    EXPECT_EQ(Own.front(), "/p/" + std::to_string(P) + "/" + std::to_string(kEach - 1) + ".pas");
    EXPECT_EQ(Own.back(), "/p/" + std::to_string(P) + "/0.pas");
  }
}
