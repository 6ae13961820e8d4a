// Project modules: opening through the module layer, GUID and version, the save protocol with
// the local document, conversion of old files, module renames as one transaction, closing.
#include <unistd.h>

#include <filesystem>

#include "projecttest.h"
#include "support/errorof.h"

namespace nxs::test {
namespace {

using ProjectModule = ProjectTest;

TEST_F(ProjectModule, OpensAsAModuleThatTheModuleLayerFinds) {
  WriteText(Dir / "a.pas", "unit a;");
  const std::string File = MakeProject("app.vproj", {"UnitReference|a.pas", "BuildConfiguration|Base"});
  TBaseProject& P = Open(File);
  EXPECT_EQ(FindDocModule(File), &P);
  EXPECT_EQ(&Open(File), &P);  // opened once
  EXPECT_EQ(P.GetProjectFileList(), (std::vector<std::string>{File, Dir / "a.pas"}));
  // A source opened on its own afterwards is one of the project's modules.
  TDocModule* Source = OpenFile(Dir / "a.pas", false, false);
  ASSERT_NE(Source, nullptr);
  EXPECT_TRUE(Source->IsOwnedBy(&P));
  EXPECT_EQ(std::vector<TDocModule*>{Source}, P.GetDependentModules());
}

TEST_F(ProjectModule, VersionAndGuid) {
  TBaseProject& V = Open(MakeProject("v.vproj"));
  for (auto [Text, Major, Minor] : {std::tuple{"12.4", 12, 4}, {"12", 12, 0}, {"abc", 0, 0}, {"7.x", 7, 0}}) {
    V.GetProjectDocument().SetGlobalProperty("ProjectVersion", Text, false, {});
    int Ma = -1, Mi = -1;
    V.ReadProjectVersion(Ma, Mi);
    EXPECT_EQ(Ma, Major) << Text;
    EXPECT_EQ(Mi, Minor) << Text;
  }
  // Without a GUID (or with text that is none) the project gets one and keeps it.
  const std::string File = MakeProject("noguid.vproj", {}, "<ProjectGuid>not a guid</ProjectGuid>");
  TBaseProject& P = Open(File);
  const TGUID Made = P.GetProjectGUID();
  EXPECT_FALSE(Made.IsEmpty());
  EXPECT_TRUE(P.GetModified());
  ASSERT_TRUE(P.Save(false, true));
  EXPECT_NE(ReadText(File).find(GUIDToString(Made)), std::string::npos);
  P.WriteProjectVersion(12, 4);
  int Ma = 0, Mi = 0;
  P.ReadProjectVersion(Ma, Mi);
  EXPECT_EQ(Ma * 100 + Mi, 1204);
}

TEST_F(ProjectModule, AnsweringNoKeepsTheProjectFileButWritesTheLocalDocument) {
  const std::string File = MakeProject("app.vproj");
  TBaseProject& P = Open(File);
  const std::string Before = ReadText(File);
  P.SetFrameworkType("WRF");
  Q->Answers = {mrNo};
  EXPECT_TRUE(P.Save(false, false));
  EXPECT_EQ(Q->Asked.back(), "Save changes to project app?");
  EXPECT_EQ(ReadText(File), Before);
  EXPECT_TRUE(std::filesystem::exists(File + ".local"));
  Q->Answers = {mrCancel};
  EXPECT_FALSE(P.Save(false, false));
  Q->Answers = {mrYes};
  EXPECT_TRUE(P.Save(false, false));
  EXPECT_NE(ReadText(File).find("<FrameworkType>WRF</FrameworkType>"), std::string::npos);
  EXPECT_FALSE(P.GetModified());
}

TEST_F(ProjectModule, ALocalDocumentThatCannotBeReadIsNeverOverwritten) {
  const std::string File = MakeProject("app.vproj");
  WriteText(File + ".local", "<not xml");
  TBaseProject& P = Open(File);
  P.SetFrameworkType("None");
  ASSERT_TRUE(P.Save(false, true));
  EXPECT_EQ(ReadText(File + ".local"), "<not xml");
}

TEST_F(ProjectModule, ConversionKeepsTheOldFileAsItsBackupTypeSays) {
  std::vector<std::string> Messages;
  const int Listener = 0;
  EvProjectMessage().Add(&Listener, [&](TEvProjectModule& A) { Messages.push_back(A.FileName); });
  struct TCase {
    int Type;
    bool CopyKept, OriginalKept;
    const char* Message;
  };
  for (const TCase& C : {TCase{btCopy, true, true, "\"%1\" converted, created backup file \"%1.old\""},
                         TCase{btRename, true, true, "\"%1\" converted, renamed to \"%1.old\", preserved \"%1.old\""},
                         TCase{btNone, false, true, "\"%1\" converted in place (no backup)"}}) {
    const std::string Name = "old" + std::to_string(C.Type) + ".vproj";
    const std::string File = MakeProject(Name, {}, "<ProjectVersion>12.0</ProjectVersion>");
    const std::string Old = ReadText(File);
    SettingsStore().WriteInteger("ProjectUpgrade", "BackupType", C.Type);
    SettingsStore().WriteString("ProjectUpgrade", "BackupSuffix", ".old");
    TBaseProject& P = Open(File);
    int Major = 0, Minor = 0;
    P.ReadProjectVersion(Major, Minor);
    EXPECT_EQ(Major, CurrentProjectVersionMajor);
    EXPECT_NE(ReadText(File).find("<ProjectVersion>20.0</ProjectVersion>"), std::string::npos);
    EXPECT_EQ(std::filesystem::exists(File + ".old"), C.CopyKept) << C.Type;
    if (C.CopyKept) {
      EXPECT_EQ(ReadText(File + ".old"), Old);
    }
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back(), ReplaceAllText(C.Message, "%1", File));
  }
  EvProjectMessage().Remove(&Listener);
  // A cancelled upgrade dialog aborts the open.
  const std::string File = MakeProject("cancel.vproj", {}, "<ProjectVersion>12.0</ProjectVersion>");
  SettingsStore().WriteBool("ProjectUpgrade", "ShowDialog", true);
  SetUpgradeDialog([](TUpgradeSettings&) { return false; });
  EXPECT_THROW(Open(File), EAbort);
  SetUpgradeDialog(nullptr);
  EXPECT_EQ(FindDocModule(File), nullptr);
}

TEST_F(ProjectModule, AddingAndRemovingFiles) {
  std::filesystem::create_directories(Dir / "src");
  WriteText(Dir / "src/b.pas", "unit b;");
  const std::string File = MakeProject("app.vproj");
  TBaseProject& P = Open(File);
  P.AddFile(Dir / "src/b.pas", "Units");
  EXPECT_EQ(ErrorOf([&] { P.AddFile(Dir / "src/b.pas"); }), Dir / "src/b.pas" + " is already a file of project app");
  EXPECT_EQ(FormatContainerTree(P.ProjectContainer()), "app\n  Units\n    b.pas\n");
  ASSERT_TRUE(P.Save(false, true));
  EXPECT_NE(ReadText(File).find("<UnitReference Include=\"src\\b.pas\">"), std::string::npos);
  P.RemoveFile(Dir / "src/b.pas");
  EXPECT_EQ(FormatContainerTree(P.ProjectContainer()), "app\n  Units\n");
  EXPECT_EQ(ErrorOf([&] { P.RemoveFile(Dir / "src/b.pas"); }), Dir / "src/b.pas" + " is not a file of project app");
}

// A hand-written file may name one file twice, in both separators: it is one file of the
// project, and taking it out leaves no reference behind.
TEST_F(ProjectModule, AFileNamedTwiceIsOneFileOfTheProject) {
  std::filesystem::create_directories(Dir / "src");
  WriteText(Dir / "src/b.pas", "unit b;");
  const std::string File = MakeProject("app.vproj", {"UnitReference|src\\b.pas", "UnitReference|src/b.pas"});
  TBaseProject& P = Open(File);
  EXPECT_EQ(P.GetProjectFileList(), (std::vector<std::string>{File, Dir / "src/b.pas"}));
  P.RemoveFile(Dir / "src/b.pas");
  EXPECT_FALSE(P.FileInProject(Dir / "src/b.pas"));
  EXPECT_EQ(P.GetProjectFileList(), std::vector<std::string>{File});
}

TEST_F(ProjectModule, FileNamesMSBuildWouldReadAsExpressionsAreWrittenEscapedAndReadBackAsTheyAre) {
  for (const char* Name : {"a$b.pas", "x;y.cpp", "50%.pas", "f(1)@'q'.pas", "all*.pas"}) WriteText(Dir / Name, "");
  const std::string File = MakeProject("app.vproj");
  {
    TBaseProject& P = Open(File);
    for (const char* Name : {"a$b.pas", "x;y.cpp", "50%.pas", "f(1)@'q'.pas", "all*.pas"}) P.AddFile(Dir / Name);
    ASSERT_TRUE(P.Save(false, true));
  }
  const std::string Text = ReadText(File);
  for (const char* Include : {"a%24b.pas", "x%3By.cpp", "50%25.pas", "f%281%29%40%27q%27.pas", "all%2A.pas"})
    EXPECT_NE(Text.find(std::string("Include=\"") + Include + "\""), std::string::npos) << Include;
  DoneSourceModules();
  InitSourceModules();
  TBaseProject& P = Open(File);
  for (const char* Name : {"a$b.pas", "x;y.cpp", "50%.pas", "f(1)@'q'.pas", "all*.pas"})
    EXPECT_TRUE(P.FileInProject(Dir / Name)) << Name;
  EXPECT_EQ(P.GetProjectFileEntries().size(), 5u);
  P.RemoveFile(Dir / "x;y.cpp");
  P.RenameModule(Dir / "a$b.pas", Dir / "c$d.pas");
  ASSERT_TRUE(P.Save(false, true));
  EXPECT_EQ(ReadText(File).find("x%3By.cpp"), std::string::npos);
  EXPECT_NE(ReadText(File).find("Include=\"c%24d.pas\""), std::string::npos);
}

TEST_F(ProjectModule, ARenameIntoAFolderThatDoesNotExistMakesItAndAFailedOneTakesItAway) {
  WriteText(Dir / "form.pas", "unit form;");
  const std::string File = MakeProject("app.vproj", {"UnitReference|form.pas"});
  TBaseProject& P = Open(File);
  P.RenameModule(Dir / "form.pas", Dir / "new/deeper/main.pas");
  EXPECT_EQ(ReadText(Dir / "new/deeper/main.pas"), "unit form;");
  EXPECT_TRUE(P.FileInProject(Dir / "new/deeper/main.pas"));

  // Refused by a listener once the file has moved: the file goes back, the folders go.
  const int Listener = 0;
  EvFileRenamed().Add(&Listener, [&](TEvFileRenamed&) { throw Exception("refused"); });
  EXPECT_THROW(P.RenameModule(Dir / "new/deeper/main.pas", Dir / "other/place/main.pas"), Exception);
  EvFileRenamed().Remove(&Listener);
  EXPECT_TRUE(std::filesystem::exists(Dir / "new/deeper/main.pas"));
  EXPECT_FALSE(std::filesystem::exists(Dir / "other"));
}

TEST_F(ProjectModule, AFileOpenedLaterIsOwnedByTheProjectsHoldingItThen) {
  WriteText(Dir / "b.pas", "unit b;");
  WriteText(Dir / "c.pas", "unit c;");
  TBaseProject& P = Open(MakeProject("p.vproj", {"UnitReference|b.pas"}));
  TBaseProject& Q = Open(MakeProject("q.vproj", {}, "<ProjectGuid>{00000000-0000-4000-8000-000000000002}</ProjectGuid>"));
  Q.AddFile(Dir / "b.pas");
  Q.AddFile(Dir / "c.pas");
  TDocModule* B = OpenFile(Dir / "b.pas", true, true);
  ASSERT_EQ(B->GetOwnerCount(), 2);
  EXPECT_EQ(B->GetOwner(0), &P);
  EXPECT_EQ(B->GetOwner(1), &Q);
  Q.RemoveFile(Dir / "c.pas");
  EXPECT_FALSE(OpenFile(Dir / "c.pas", true, true)->IsOwned());
}

TEST_F(ProjectModule, ARenameMovesTheFileItsCompanionAndTheReferenceTogether) {
  WriteText(Dir / "form.pas", "unit form;");
  WriteText(Dir / "form.vfm", "object F end");
  const std::string File = MakeProject("app.vproj", {"UnitReference|form.pas", "FormResources|form.vfm"});
  TBaseProject& P = Open(File);
  FormatContainerTree(P.ProjectContainer());
  P.RenameModule(Dir / "form.pas", Dir / "main.pas");
  EXPECT_TRUE(std::filesystem::exists(Dir / "main.pas"));
  EXPECT_TRUE(std::filesystem::exists(Dir / "main.vfm"));
  EXPECT_FALSE(std::filesystem::exists(Dir / "form.vfm"));
  EXPECT_TRUE(P.FileInProject(Dir / "main.pas"));
  EXPECT_TRUE(P.FileInProject(Dir / "main.vfm"));
  EXPECT_EQ(FormatContainerTree(P.ProjectContainer()), "app\n  main.pas\n  main.vfm\n");
  ASSERT_EQ(P.GetTransactionList().size(), 1u);
  EXPECT_EQ(P.GetTransactionList()[0].NewName, Dir / "main.pas");
  // The module layer sees the same module under its new name.
  EXPECT_NE(FindDocModule(Dir / "main.pas"), nullptr);
  EXPECT_EQ(FindDocModule(Dir / "form.pas"), nullptr);
}

TEST_F(ProjectModule, ARenameThatFailsHalfWayLeavesEverythingAsItWas) {
  WriteText(Dir / "form.pas", "unit form;");
  WriteText(Dir / "form.vfm", "object F end");
  const std::string File = MakeProject("app.vproj", {"UnitReference|form.pas", "FormResources|form.vfm"});
  TBaseProject& P = Open(File);
  TDocModule* Source = OpenFile(Dir / "form.pas", false, false);
  ASSERT_NE(Source, nullptr);
  // The companion's new name is taken once the source has moved: the move fails half-way.
  const int Listener = 0;
  EvFileRenamed().Add(&Listener, [&](TEvFileRenamed& A) {
    if (A.FileName == Dir / "main.pas") WriteText(Dir / "main.vfm", "someone else's");
  });
  EXPECT_THROW(P.RenameModule(Dir / "form.pas", Dir / "main.pas"), Exception);
  EvFileRenamed().Remove(&Listener);
  EXPECT_TRUE(std::filesystem::exists(Dir / "form.pas"));
  EXPECT_TRUE(std::filesystem::exists(Dir / "form.vfm"));
  EXPECT_FALSE(std::filesystem::exists(Dir / "main.pas"));
  EXPECT_EQ(ReadText(Dir / "main.vfm"), "someone else's");
  EXPECT_TRUE(P.FileInProject(Dir / "form.pas"));
  EXPECT_FALSE(P.FileInProject(Dir / "main.pas"));
  EXPECT_EQ(Source->GetFileName(), Dir / "form.pas");
  EXPECT_TRUE(P.GetTransactionList().empty());
}

// A file of two projects is closed with the second of them, not the first, which is no owner
// once it has gone; a project closing its files offers none of them for reopening.
TEST_F(ProjectModule, AFileOfTwoProjectsClosesWithTheLastOfThem) {
  WriteText(Dir / "shared.pas", "unit shared;");
  WriteText(Dir / "own.pas", "unit own;");
  TBaseProject& A = Open(MakeProject("a.vproj", {"UnitReference|shared.pas", "UnitReference|own.pas"}));
  TBaseProject& B = Open(MakeProject("b.vproj", {"UnitReference|shared.pas"},
                                     "<ProjectGuid>{00000000-0000-4000-8000-000000000002}</ProjectGuid>"));
  TDocModule* Shared = OpenFile(Dir / "shared.pas", false, false);
  TDocModule* Own = OpenFile(Dir / "own.pas", false, false);
  ASSERT_TRUE(Shared && Own);
  EXPECT_TRUE(Shared->IsOwnedBy(&A) && Shared->IsOwnedBy(&B));
  EXPECT_EQ(A.GetDependentModules(), std::vector<TDocModule*>{Own});
  EXPECT_TRUE(A.HideOrClose());
  EXPECT_EQ(FindDocModule(Dir / "own.pas"), nullptr);
  EXPECT_EQ(FindDocModule(Dir / "shared.pas"), Shared);
  // The closed project is no owner any more.
  EXPECT_EQ(Shared->GetOwnerCount(), 1);
  EXPECT_TRUE(B.HideOrClose());
  EXPECT_EQ(FindDocModule(Dir / "shared.pas"), nullptr);
  EXPECT_EQ(ClosedFiles().ClosedFileList().Count(), 0);
}

TEST_F(ProjectModule, ARunningProjectCannotClose) {
  const std::string File = MakeProject("app.vproj");
  TBaseProject& P = Open(File);
  P.ProcessCreated(static_cast<int>(::getpid()));
  EXPECT_EQ(ErrorOf([&] { P.HideOrClose(); }), "Cannot close app while it is running");
  P.ProcessDestroyed(static_cast<int>(::getpid()));
  EXPECT_TRUE(P.HideOrClose());
  EXPECT_EQ(FindDocModule(File), nullptr);
}

TEST_F(ProjectModule, AChangeOnDiskIsSeenAndReloaded) {
  WriteText(Dir / "a.pas", "");
  const std::string File = MakeProject("app.vproj");
  TBaseProject& P = Open(File);
  EXPECT_EQ(FormatContainerTree(P.ProjectContainer()), "app\n");
  EXPECT_FALSE(P.CheckFileDate());
  WriteText(File, ProjectXml({"UnitReference|a.pas"}, "<ProjectGuid>{00000000-0000-4000-8000-000000000001}</ProjectGuid>"));
  FileSystem().SetModifiedTime(File, 12345);
  EXPECT_TRUE(P.CheckFileDate());
  P.ReloadFile();
  EXPECT_FALSE(P.CheckFileDate());
  EXPECT_EQ(FormatContainerTree(P.ProjectContainer()), "app\n  a.pas\n");
  // The project's own save is no change on disk.
  P.SetFrameworkType("None");
  ASSERT_TRUE(P.Save(false, true));
  EXPECT_FALSE(P.CheckFileDate());

  // Another program writes the file again the moment it has been read: that version is a
  // change still to be seen.
  struct TRacingFileSystem : TDiskFileSystem {
    std::string Next;
    void ReadFileInto(const std::string& Name, IReadTarget& Target) override {
      TDiskFileSystem::ReadFileInto(Name, Target);
      if (Next.empty()) return;
      WriteText(Name, Next);
      SetModifiedTime(Name, 34567);
      Next.clear();
    }
  };
  auto Racing = std::make_shared<TRacingFileSystem>();
  SetFileSystem(Racing);
  WriteText(File, ProjectXml({}, "<ProjectGuid>{00000000-0000-4000-8000-000000000001}</ProjectGuid>"));
  FileSystem().SetModifiedTime(File, 23456);
  Racing->Next = ProjectXml({"UnitReference|a.pas"}, "<ProjectGuid>{00000000-0000-4000-8000-000000000001}</ProjectGuid>");
  ASSERT_TRUE(P.CheckFileDate());
  P.ReloadFile();
  EXPECT_EQ(FormatContainerTree(P.ProjectContainer()), "app\n");
  EXPECT_TRUE(P.CheckFileDate());
  P.ReloadFile();
  EXPECT_EQ(FormatContainerTree(P.ProjectContainer()), "app\n  a.pas\n");
  EXPECT_FALSE(P.CheckFileDate());
  SetFileSystem(nullptr);
}

}  // namespace
}  // namespace nxs::test
