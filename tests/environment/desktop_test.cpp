// Desktop files: the INI text they are kept in, a desktop saved and loaded again with each
// file's views, entries that cannot be put back, saves that fail at any step, and what
// other parts store through the registries.
#include "environment/desktop.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/elisions.h"
#include "environment/deskini.h"
#include "environment/layouts.h"
#include "environment/desktoptest.h"
#include "options/envoptions.h"
#include "options/resstrings.h"
#include "shared/settings.h"
#include "shared/text.h"
#include "support/errorof.h"

namespace nxs::test {
namespace {

namespace fs = std::filesystem;

TEST(DesktopIni, SectionsCompareExactlyAndValuesKeepTheirBytes) {
  TDesktopIniFile Ini;
  Ini.WriteString("/p/README.md", "ModuleType", "TSourceModule");
  Ini.WriteString("/p/Readme.md", "moduletype", "Other");
  Ini.WriteString("/p/a]b [c].txt", "Key", "  two blanks; and $x %y  ");
  Ini.WriteInteger("Modules", "Count", 3);
  Ini.WriteString("Modules", "COUNT", "4");  // one value, whatever the case of its name
  const std::string Text = Ini.Text();
  TDesktopIniFile Back("\xEF\xBB\xBF" + ReplaceAllText(Text, "\n", "\r\n") + "garbage line\n[unclosed\nx=1\n");
  EXPECT_EQ(Back.ReadString("/p/README.md", "MODULETYPE", ""), "TSourceModule");
  EXPECT_EQ(Back.ReadString("/p/Readme.md", "ModuleType", ""), "Other");
  EXPECT_EQ(Back.ReadString("/p/readme.md", "ModuleType", "none"), "none");
  EXPECT_EQ(Back.ReadString("/p/a]b [c].txt", "Key", ""), "  two blanks; and $x %y  ");
  EXPECT_EQ(Back.ReadInteger("Modules", "Count", 0), 4);
  EXPECT_EQ(Back.ReadSection("Modules"), std::vector<std::string>{"Count"});
  EXPECT_EQ(Back.Text(), Text);
  // However many CRs end a line, they are its break, not part of the value.
  TDesktopIniFile Doubled("[S]\r\nK=v\r\r\nL=w\r\r");
  EXPECT_EQ(Doubled.ReadString("S", "K", ""), "v");
  EXPECT_EQ(Doubled.ReadString("S", "L", ""), "w");
  EXPECT_EQ(TDesktopIniFile(Doubled.Text()).Text(), Doubled.Text());
  // A line break would split the entry into lines that read as something else.
  EXPECT_THROW(Ini.WriteString("a\nb", "K", "v"), Exception);
  EXPECT_THROW(Ini.WriteString("S", "K", "v\r[Modules]"), Exception);
  for (const char* Name : {"", "a=b", "[x", ";x", " x"}) EXPECT_THROW(Ini.WriteString("S", Name, "v"), Exception) << Name;
  EXPECT_EQ(Ini.Text(), Text);
}

class Desktop : public DesktopTest {
 protected:
  // Ten numbered lines.
  static std::string Lines(int N = 10) {
    std::string S;
    for (int I = 1; I <= N; ++I) S += "line " + std::to_string(I) + "\n";
    return S;
  }

  TSourceModule* OpenAt(const std::string& Name, int Line, int Col) {
    WriteText(Dir / Name, Lines());
    TSourceModule* M = Open(Name);
    M->ShowEditor().SetCursor({Col, Line});
    return M;
  }

  void CloseAll() {
    for (TDocModule* M : ModuleList().Snapshot()) ASSERT_TRUE(M->Close(false));
    FreeModules(true);
    ASSERT_EQ(ModuleList().Count(), 0);
  }
};

TEST_F(Desktop, EachFileComesBackWithItsCursorFoldsBookmarksAndViews) {
  // Odd names, and two files whose names differ only in case.
  TSourceModule* A = OpenAt("a b;$x%.txt", 3, 2);
  TSourceModule* R1 = OpenAt("README.md", 7, 4);
  TSourceModule* R2 = OpenAt("Readme.md", 2, 1);
  ASSERT_TRUE(AddElisionBlocks(A->ShowEditor().EkView(), {TElidedBlock{{0, 5}, {6, 8}, 0, "", true}}));
  ASSERT_TRUE(R1->ShowEditor().BookmarkRecord(3, false));
  R1->OpenView(*R1->GetMainSource()).SetCursor({1, 9});
  TViewState WantA, WantR1, WantR1Second, WantR2;
  A->ShowEditor().SaveViewState(WantA);
  R1->View(0)->SaveViewState(WantR1);
  R1->View(1)->SaveViewState(WantR1Second);
  R2->ShowEditor().SaveViewState(WantR2);
  ASSERT_NE(WantA["Elisions"], "");
  ASSERT_NE(WantR1["Bookmarks"], "");
  R2->Activate();  // the file the user looked at last

  const std::string Desk = Dir / "work.dsk";
  SaveDeskFile(Desk, false);
  CloseAll();
  const TDesktopLoadReport Report = LoadDeskFile(Desk);
  EXPECT_TRUE(Report.Skipped.empty());
  EXPECT_TRUE(Q->Asked.empty());
  ASSERT_EQ(Report.Opened.size(), 3u);
  auto* NewA = dynamic_cast<TSourceModule*>(FindDocModule(Dir / "a b;$x%.txt"));
  auto* NewR1 = dynamic_cast<TSourceModule*>(FindDocModule(Dir / "README.md"));
  auto* NewR2 = dynamic_cast<TSourceModule*>(FindDocModule(Dir / "Readme.md"));
  ASSERT_TRUE(NewA && NewR1 && NewR2);
  ASSERT_NE(NewR1, NewR2);
  EXPECT_EQ(Report.Current, NewR2);
  ASSERT_EQ(NewR1->ViewCount(), 2);
  TViewState GotA, GotR1, GotR1Second, GotR2;
  NewA->View(0)->SaveViewState(GotA);
  NewR1->View(0)->SaveViewState(GotR1);
  NewR1->View(1)->SaveViewState(GotR1Second);
  NewR2->View(0)->SaveViewState(GotR2);
  EXPECT_EQ(GotA, WantA);
  EXPECT_EQ(GotR1, WantR1);
  EXPECT_EQ(GotR1Second, WantR1Second);
  EXPECT_EQ(GotR2, WantR2);
  // Loading again over the open files opens nothing twice.
  EXPECT_EQ(LoadDeskFile(Desk).Opened.size(), 3u);
  EXPECT_EQ(ModuleList().Count(), 3);
}

TEST_F(Desktop, EntriesThatCannotComeBackAreSkippedAndToldInOneMessage) {
  OpenAt("one.txt", 2, 1);
  OpenAt("two.txt", 4, 1);
  OpenAt("three.txt", 6, 1);
  const std::string Desk = Dir / "d.dsk";
  SaveDeskFile(Desk, false);
  CloseAll();
  fs::remove(Dir / "two.txt");
  TDesktopLoadReport Report = LoadDeskFile(Desk);
  EXPECT_EQ(Report.Opened.size(), 2u);
  ASSERT_NE(FindDocModule(Dir / "three.txt"), nullptr);
  EXPECT_EQ(dynamic_cast<TSourceModule*>(FindDocModule(Dir / "three.txt"))->View(0)->Cursor().LineNum, 6);
  ASSERT_EQ(Q->Asked.size(), 1u);
  EXPECT_EQ(Q->Asked[0], "Some entries of the desktop \"" + Desk + "\" could not be restored and were skipped:\n" +
                             Dir / "two.txt" + ": the file does not exist");
  CloseAll();
  Q->Asked.clear();

  // A hand-made desktop: a handler nobody registered, a count far past the entries, an entry
  // without a type (a plain source file), a missing entry, views that name nothing.
  WriteText(Dir / "two.txt", Lines());
  WriteText(Desk, "[Modules]\nCount=999999999\nModule0=" + Dir / "one.txt" + "\nModule1=" + Dir / "two.txt" +
                      "\nModule3=" + Dir / "three.txt" + "\nEditWindowCount=1\n[" + Dir / "one.txt" +
                      "]\nModuleType=TFormDesigner\n[EditWindow0]\nViewCount=3\nView0=V0\nView1=Nowhere\nView2=V2\n"
                      "[V0]\nModule=" + Dir / "two.txt" + "\nCursorY=x\nCursorX=3\n[V2]\nModule=" + Dir / "three.txt" +
                      "\nCursorY=5\nElisions=garbage{\nBookmarks={1,2\n");
  Report = LoadDeskFile(Desk);
  ASSERT_EQ(Report.Opened.size(), 2u);
  EXPECT_EQ(Report.Opened[0]->GetFileName(), Dir / "two.txt");
  EXPECT_EQ(Report.Opened[1]->GetFileName(), Dir / "three.txt");
  EXPECT_EQ(dynamic_cast<TSourceModule*>(Report.Opened[0])->View(0)->Cursor().LineNum, 1);
  EXPECT_EQ(dynamic_cast<TSourceModule*>(Report.Opened[0])->View(0)->Cursor().Col, 3);
  EXPECT_EQ(dynamic_cast<TSourceModule*>(Report.Opened[1])->View(0)->Cursor().LineNum, 5);
  ASSERT_EQ(Q->Asked.size(), 1u);
  EXPECT_EQ(Q->Asked[0], "Some entries of the desktop \"" + Desk + "\" could not be restored and were skipped:\n" +
                             Dir / "one.txt" + ": no desktop handler named \"TFormDesigner\" is registered\n" +
                             "Module2: the entry is damaged\nNowhere: the entry is damaged");
  // No count, however damaged, reads past the entries there are.
}

// Fails the n-th change it is asked to make to the disk, and counts them.
class TNthWriteFails : public TDiskFileSystem {
 public:
  int FailAt = 0;
  int Count = 0;
  void Tick(const std::string& Name) {
    if (++Count == FailAt) throw EInOutError("Cannot write file \"" + Name + "\": No space left on device");
  }
  void WriteFile(const std::string& Name, std::string_view Data) override {
    Tick(Name);
    TDiskFileSystem::WriteFile(Name, Data);
  }
  bool CreateNewFile(const std::string& Name, std::string_view Data) override {
    Tick(Name);
    return TDiskFileSystem::CreateNewFile(Name, Data);
  }
  // Saves that stream their text reach the disk through WriteFile too.
  std::unique_ptr<IFileWriter> CreateFileWriter(const std::string& Name) override {
    return IFileSystem::CreateFileWriter(Name);
  }
  void CopyFile(const std::string& From, const std::string& To) override {
    Tick(To);
    TDiskFileSystem::CopyFile(From, To);
  }
  void Rename(const std::string& From, const std::string& To) override {
    Tick(To);
    TDiskFileSystem::Rename(From, To);
  }
  void DeleteFile(const std::string& Name) override {
    Tick(Name);
    TDiskFileSystem::DeleteFile(Name);
  }
  void ForceDirectories(const std::string& Dir) override {
    Tick(Dir);
    TDiskFileSystem::ForceDirectories(Dir);
  }
};

TEST_F(Desktop, ASaveThatFailsAtAnyWriteLeavesTheOldDesktopOrTheNewOne) {
  OpenAt("a.txt", 2, 1);
  const std::string Desk = Dir / "p.dsk";
  SaveDeskFile(Desk, true);
  const std::string Old = ReadText(Desk);
  OpenAt("b.txt", 3, 1);
  const std::string New = DesktopText(true);
  ASSERT_NE(Old, New);
  for (const bool Backup : {true, false}) {
    FileHistorySettings().CreateBackup = Backup;
    for (int N = 1;; ++N) {
      SCOPED_TRACE("backup " + std::to_string(Backup) + ", write " + std::to_string(N));
      WriteText(Desk, Old);
      auto FS = std::make_shared<TNthWriteFails>();
      FS->FailAt = N;
      SetFileSystem(FS);
      const std::string Error = ErrorOf([&] { SaveDeskFile(Desk, true); });
      SetFileSystem(nullptr);
      const std::string Now = ReadText(Desk);
      EXPECT_TRUE(Now == Old || Now == New);
      EXPECT_EQ(TDesktopIniFile(Now).ReadInteger("Modules", "Count", -1), Now == Old ? 1 : 2);
      if (Error == "(no error)") {
        EXPECT_EQ(Now, New);
        EXPECT_GE(N, 2);
        break;
      }
      EXPECT_EQ(Now, Old);
      EXPECT_FALSE(fs::exists(Dir / "p.$$$"));
      EXPECT_EQ(Error.rfind("Cannot save the desktop \"" + Desk + "\": ", 0), 0u) << Error;
      ASSERT_LT(N, 20);
    }
  }
  // With backups on, the desktop it replaced is kept in the history folder.
  FileHistorySettings().CreateBackup = true;
  WriteText(Desk, Old);
  SaveDeskFile(Desk, true);
  EXPECT_EQ(ReadText(Dir / "__history/p.dsk.~1~"), Old);
}

TEST_F(Desktop, ASaveThatCannotWriteKeepsTheDesktopAndSaysWhy) {
  OpenAt("a.txt", 2, 1);
  const std::string Desk = Dir / "x.dsk";
  WriteText(Desk, "[Modules]\nCount=0\n");
  // The temporary file's name is taken by a folder: no user, root included, can write it.
  fs::create_directory(Dir / "x.$$$");
  const std::string Error = ErrorOf([&] { SaveDeskFile(Desk, false); });
  EXPECT_EQ(Error.rfind("Cannot save the desktop \"" + Desk + "\": ", 0), 0u) << Error;
  EXPECT_EQ(ReadText(Desk), "[Modules]\nCount=0\n");
  EXPECT_TRUE(fs::is_directory(Dir / "x.$$$"));  // what was there is not removed
}

TEST_F(Desktop, OtherPartsStoreTheirSectionsThroughProceduresNotifiersAndLoaders) {
  OpenAt("a.txt", 2, 1);
  // A breakpoint list, as the debugger keeps it.
  std::string Loaded;
  const int Procs = RegisterDesktopProcs({[&](TCustomIniFile& Ini) { Loaded = Ini.ReadString("Breakpoints", "Breakpoint0", ""); },
                                          [](TCustomIniFile& Ini) { Ini.WriteString("Breakpoints", "Breakpoint0", "'a.txt',2"); }});
  // A plug-in that adds to the saved file before it takes its name.
  struct TNotifier : IDesktopNotifier {
    std::vector<std::string> Heard;
    void ProjectDesktopSave(const std::string& F) override { Heard.push_back("project " + F); }
    void DefaultDesktopSave(const std::string& F) override {
      Heard.push_back("default " + F);
      WriteText(F, ReadText(F) + "[Plugin]\nKey=1\n");
    }
    void DesktopLoad(const std::string& F) override { Heard.push_back("load " + F); }
  };
  auto N = std::make_shared<TNotifier>();
  const int Index = AddDesktopNotifier(N);
  struct TLoader : TDesktopWindowLoader {
    std::string Seen;
    void LoadWindows(TCustomIniFile& Ini) override { Seen = Ini.ReadString("Pane", "Height", ""); }
    void SaveWindows(TCustomIniFile& Ini) override { Ini.WriteString("Pane", "Height", "12"); }
  };
  auto L = std::make_shared<TLoader>();
  DesktopWindowLoaders().RegisterDesktopWindowLoader(L);

  SaveDeskFile(Dir / "e.dsk", false);
  SaveDeskFile(Dir / "p.dsk", true);
  TDesktopIniFile Saved(ReadText(Dir / "e.dsk"));
  EXPECT_EQ(Saved.ReadString("Plugin", "Key", ""), "1");
  EXPECT_EQ(Saved.ReadString("Breakpoints", "Breakpoint0", ""), "'a.txt',2");
  LoadDeskFile(Dir / "e.dsk");
  EXPECT_EQ(Loaded, "'a.txt',2");
  EXPECT_EQ(L->Seen, "12");
  EXPECT_EQ(N->Heard, (std::vector<std::string>{"default " + Dir / "e.$$$", "project " + Dir / "p.$$$", "load " + Dir / "e.dsk"}));
  // Handlers are found by name whatever its case; gone once unregistered.
  EXPECT_NE(DesktopFormHandlers().FindHandlerByName("tsourcemodule"), nullptr);
  UnregisterDesktopProcs(Procs);
  RemoveDesktopNotifier(Index);
  DesktopWindowLoaders().UnRegisterDesktopWindowLoader(L.get());
  SaveDeskFile(Dir / "e.dsk", false);
  EXPECT_FALSE(TDesktopIniFile(ReadText(Dir / "e.dsk")).SectionExists("Breakpoints"));
  EXPECT_EQ(N->Heard.size(), 3u);
}

TEST_F(Desktop, ProjectDesktopsLieBesideTheProjectAndTheSessionRecordsIt) {
  OpenAt("a.txt", 2, 1);
  const std::string Project = Dir / "app.vproj";
  SaveProjectDesktop(Project);  // no project file: nothing written
  EXPECT_FALSE(fs::exists(Dir / "app.dsk"));
  WriteText(Project, "<Project/>\n");
  SaveProjectDesktop(Project);
  ASSERT_TRUE(fs::exists(Dir / "app.dsk"));
  CloseAll();
  TEnvironmentOptions Options(SettingsStore());
  LoadProjectDesktop(Project, Options);
  EXPECT_NE(FindDocModule(Dir / "a.txt"), nullptr);
  EXPECT_EQ(SettingsStore().ReadString("Session", "Project", ""), "");
  Options.AutoSave().SetValue(res::opt::AutoSaveDesktop, true);
  LoadProjectDesktop(Project, Options);
  EXPECT_EQ(SettingsStore().ReadString("Session", "Project", ""), Project);
  // A project recorded by its base name: a group first, then a project, then older groups.
  EXPECT_EQ(FindRecordedProjectFile(Dir / "app"), Project);
  WriteText(Dir / "app.tpg", "");
  EXPECT_EQ(FindRecordedProjectFile(Dir / "app"), Project);
  WriteText(Dir / "app.groupproj", "");
  EXPECT_EQ(FindRecordedProjectFile(Dir / "app"), Dir / "app.groupproj");
  EXPECT_EQ(FindRecordedProjectFile(Dir / "none"), "");
}

}  // namespace
}  // namespace nxs::test
