#include "modules/docmodule.h"

#include <gtest/gtest.h>

#include "modules/faultyfs.h"
#include "modules/moduletest.h"
#include "modules/openhandlers.h"
#include "modules/resstrings.h"

using namespace nxs;
using namespace nxs::test;
namespace fs = std::filesystem;

namespace {

using DocModule = ModuleTest;

class THandler : public IModuleHandler {
 public:
  std::optional<bool> Allow, Changed, Reload;
  int Notified = 0, DatesChecked = 0;
  std::optional<bool> AllowSave() override { return Allow; }
  std::optional<bool> CheckFileDate() override {
    ++DatesChecked;
    return Changed;
  }
  std::optional<bool> CanReloadFile() override { return Reload; }
  void BeforeSave() override { ++Notified; }
};

}  // namespace

TEST_F(DocModule, SaveAsksOnlyAboutModifiedModulesAndHonoursTheAnswer) {
  WriteText(Dir / "u.pas", "old\n");
  TSourceModule* M = Open("u.pas");
  EXPECT_TRUE(M->Save(false, false));
  EXPECT_TRUE(Q->Asked.empty());

  TypeInto(*M, "new ");
  Q->Answers = {mrCancel, mrNo};
  EXPECT_FALSE(M->Save(false, false));
  ASSERT_EQ(Q->Asked.size(), 1u);
  EXPECT_EQ(Q->Asked[0], "Save changes to u.pas?");
  EXPECT_EQ(Q->Buttons[0], unsigned(mbYes | mbNo | mbCancel));
  EXPECT_TRUE(M->Save(false, false));
  EXPECT_EQ(ReadText(Dir / "u.pas"), "old\n");
  EXPECT_TRUE(M->GetModified());

  NoCancelOnSave = true;
  Q->Answers = {mrYes};
  EXPECT_TRUE(M->Save(false, false));
  NoCancelOnSave = false;
  EXPECT_EQ(Q->Buttons.back(), unsigned(mbYes | mbNo));
  EXPECT_EQ(ReadText(Dir / "u.pas"), "new old\n");
  EXPECT_FALSE(M->GetModified());
}

TEST_F(DocModule, SaveAsRenamesAndAFailedWriteRestoresTheOldName) {
  WriteText(Dir / "u.pas", "text\n");
  TSourceModule* M = Open("u.pas");
  std::vector<std::pair<std::string, std::string>> Saved;
  EvModuleSaved().Add(this, [&](TEvModuleSaved& A) { Saved.emplace_back(A.OldModuleName, A.ModuleName); });

  // No extension typed: the old one is kept.
  Q->FileNames = {Dir / "v"};
  ASSERT_TRUE(M->Save(true, true));
  EXPECT_EQ(M->GetFileName(), Dir / "v.pas");
  EXPECT_EQ(ReadText(Dir / "v.pas"), "text\n");
  EXPECT_EQ(Q->Asked.back(), "Save u As");
  ASSERT_EQ(Saved.size(), 1u);
  EXPECT_EQ(Saved[0].first, Dir / "u.pas");

  auto Faulty = std::make_shared<TFaultyFileSystem>();
  Faulty->FailWritesTo = "w.pas";
  SetFileSystem(Faulty);
  M->IsUnnamed = true;
  Q->FileNames = {Dir / "w.pas"};
  EXPECT_THROW(M->Save(false, true), EInOutError);
  SetFileSystem(nullptr);
  EXPECT_EQ(M->GetFileName(), Dir / "v.pas");
  EXPECT_TRUE(M->IsUnnamed);
  EXPECT_EQ(FindDocModule(Dir / "w.pas"), nullptr);

  // The dialog cancelled: nothing happens.
  Q->FileNames = {""};
  EXPECT_FALSE(M->Save(true, true));
  EvModuleSaved().Remove(this);
}

// Saved under a chosen name, a module is named: the next save asks for no name. Choosing its
// own name again is no overwrite of another file.
TEST_F(DocModule, SecondSavesAfterSaveAsAskNothing) {
  WriteText(Dir / "u.pas", "text\n");
  TSourceModule* M = Open("u.pas");
  M->IsUnnamed = true;
  Q->FileNames = {Dir / "named.pas"};
  ASSERT_TRUE(M->Save(false, true));
  EXPECT_FALSE(M->IsUnnamed);
  TypeInto(*M, "more ");
  const size_t Asked = Q->Asked.size();
  EXPECT_TRUE(M->Save(false, true));
  EXPECT_EQ(Q->Asked.size(), Asked);
  EXPECT_EQ(ReadText(Dir / "named.pas"), "more text\n");

  TypeInto(*M, "again ");
  Q->FileNames = {Dir / "named.pas"};
  EXPECT_TRUE(M->Save(true, true));
  EXPECT_EQ(Q->Asked.size(), Asked + 1);  // the dialog's title only
  EXPECT_EQ(ReadText(Dir / "named.pas"), "more again text\n");
}

TEST_F(DocModule, SaveAsOverAnotherFileAsksFirst) {
  WriteText(Dir / "u.pas", "mine\n");
  WriteText(Dir / "other.pas", "theirs\n");
  TSourceModule* M = Open("u.pas");
  Q->FileNames = {Dir / "other.pas"};
  Q->Answers = {mrNo};
  EXPECT_FALSE(M->Save(true, true));
  EXPECT_EQ(ReadText(Dir / "other.pas"), "theirs\n");
  EXPECT_EQ(M->GetFileName(), Dir / "u.pas");
  ASSERT_FALSE(Q->Asked.empty());
  EXPECT_NE(Q->Asked.back().find(Dir / "other.pas"), std::string::npos);
}

TEST_F(DocModule, FileNamesCompareExactlyButOneFileReachedTwoWaysIsOneModule) {
  WriteText(Dir / "a.pas", "lower\n");
  WriteText(Dir / "A.pas", "upper\n");
  fs::create_directories(Dir / "sub");
  fs::create_symlink(Dir / "a.pas", Dir / "link.pas");
  TSourceModule* Lower = Open("a.pas");
  TSourceModule* Upper = Open("A.pas");
  EXPECT_NE(Lower, Upper);
  EXPECT_EQ(ModuleList().Count(), 2);
  EXPECT_EQ(FindDocModule(Dir / "./a.pas"), Lower);
  EXPECT_EQ(FindDocModule(Dir / "sub/../a.pas"), Lower);
  EXPECT_EQ(FindDocModule(Dir / "link.pas"), Lower);
  EXPECT_EQ(Open("link.pas"), Lower);
  EXPECT_EQ(FindDocModule(Dir / "A.pas"), Upper);
  EXPECT_EQ(FindDocModule(Dir / "a.PAS"), nullptr);
}

TEST_F(DocModule, HardLinksAndLinksThatMoveAfterTheModuleWasSeen) {
  WriteText(Dir / "x.pas", "x\n");
  WriteText(Dir / "y.pas", "y\n");
  fs::create_symlink(Dir / "x.pas", Dir / "m.pas");
  TSourceModule* M = Open("m.pas");
  EXPECT_EQ(FindDocModule(Dir / "x.pas"), M);  // the module's name is resolved and kept
  ASSERT_EQ(::link((Dir / "x.pas").c_str(), (Dir / "hard.pas").c_str()), 0);
  EXPECT_EQ(FindDocModule(Dir / "hard.pas"), M);
  // The module's link now leads elsewhere: what it led to before is no longer this module.
  fs::remove(Dir / "m.pas");
  fs::create_symlink(Dir / "y.pas", Dir / "m.pas");
  EXPECT_EQ(FindDocModule(Dir / "x.pas"), nullptr);
  EXPECT_EQ(FindDocModule(Dir / "hard.pas"), nullptr);
}

TEST_F(DocModule, AModuleIsFoundByTheBuffersItHoldsNowUnderTheirPresentNames) {
  WriteText(Dir / "u.pas", "unit u;\n");
  WriteText(Dir / "u.inc", "{ inc }\n");
  TSourceModule* M = Open("u.pas");
  EXPECT_EQ(FindDocModule(Dir / "u.inc"), nullptr);
  TEditBuffer* Inc = M->OpenSourceBuffer(Dir / "u.inc");
  EXPECT_EQ(FindDocModule(Dir / "u.inc"), M);
  ASSERT_EQ(::link((Dir / "u.inc").c_str(), (Dir / "hard.inc").c_str()), 0);
  EXPECT_EQ(FindDocModule(Dir / "hard.inc"), M);
  // A buffer saved under another name on its own.
  Inc->Rename(Dir / "w.inc");
  EXPECT_EQ(FindDocModule(Dir / "w.inc"), M);
  EXPECT_EQ(FindDocModule(Dir / "u.inc"), nullptr);
  M->CloseSourceBuffer(Inc);
  EXPECT_EQ(FindDocModule(Dir / "w.inc"), nullptr);
  EXPECT_EQ(FindDocModule(Dir / "u.pas"), M);
}

TEST_F(DocModule, RenameDropsTheStaleIndexEntryAndIndexesTheNewName) {
  WriteText(Dir / "u.pas", "x\n");
  TSourceModule* M = Open("u.pas");
  ASSERT_EQ(FindDocModule(Dir / "u.pas"), M);
  ASSERT_TRUE(M->RenameModule("v"));
  EXPECT_EQ(M->GetFileName(), Dir / "v.pas");
  EXPECT_EQ(ModuleList().IndexedModule(Dir / "u.pas"), M);
  EXPECT_EQ(FindDocModule(Dir / "u.pas"), nullptr);
  EXPECT_EQ(ModuleList().IndexedModule(Dir / "u.pas"), nullptr);
  EXPECT_EQ(FindDocModule(Dir / "v.pas"), M);
  EXPECT_EQ(ModuleList().IndexedModule(Dir / "v.pas"), M);
  EXPECT_TRUE(fs::exists(Dir / "v.pas"));
  EXPECT_FALSE(fs::exists(Dir / "u.pas"));
}

TEST_F(DocModule, RenameNamesAreCheckedAndExpanded) {
  WriteText(Dir / "u.txt", "x\n");
  WriteText(Dir / "taken.txt", "keep\n");
  TSourceModule* M = Open("u.txt");
  for (const char* Bad : {"", "  ", ".txt"}) {
    try {
      M->RenameModule(Bad);
      ADD_FAILURE() << "accepted '" << Bad << "'";
    } catch (const EModuleError& E) {
      EXPECT_STREQ(E.what(), "You must enter a name");
    }
  }
  try {
    M->RenameModule("taken");
    ADD_FAILURE() << "renamed over another file";
  } catch (const EModuleError& E) {
    EXPECT_EQ(E.Message(), "Unable to rename '" + (Dir / "u.txt") + "' to '" + (Dir / "taken.txt") + "'");
  }
  EXPECT_EQ(ReadText(Dir / "taken.txt"), "keep\n");

  // Another extension asks first; No leaves everything as it was.
  Q->Answers = {mrNo};
  EXPECT_FALSE(M->RenameModule("u.pas"));
  EXPECT_EQ(Q->Asked.back(), res::SChangeExtension);
  EXPECT_EQ(M->GetFileName(), Dir / "u.txt");
  // The same file: nothing to do.
  EXPECT_FALSE(M->RenameModule(Dir / "./u.txt"));
  ASSERT_TRUE(M->RenameModule("n"));
  EXPECT_EQ(M->GetFileName(), Dir / "n.txt");
}

TEST_F(DocModule, CompanionFilesFollowTheirUnitOnDisk) {
  WriteText(Dir / "u.pas", "unit u;\n");
  WriteText(Dir / "u.xfm", "object F: TForm\nend\n");
  WriteText(Dir / "notes.txt", "n\n");
  TSourceModule* M = Open("u.pas");
  M->OpenSourceBuffer(Dir / "u.xfm");
  M->OpenSourceBuffer(Dir / "notes.txt");
  M->OpenSourceBuffer(Dir / "u.xfm");
  EXPECT_EQ(M->GetSourceBufferCount(), 3);
  // The same buffer added again is found, not listed twice.
  EXPECT_EQ(M->SourceBuffers().Add(M->SourceBuffers().GetRef(1)), 1);
  EXPECT_EQ(M->GetSourceBufferCount(), 3);
  EXPECT_EQ(FindDocModule(Dir / "u.xfm"), M);

  ASSERT_TRUE(M->RenameModule("main"));
  EXPECT_EQ(M->GetSourceBuffer(1)->FileName(), Dir / "main.xfm");
  EXPECT_EQ(M->GetSourceBuffer(2)->FileName(), Dir / "notes.txt");
  EXPECT_EQ(ReadText(Dir / "main.pas"), "unit u;\n");
  EXPECT_EQ(ReadText(Dir / "main.xfm"), "object F: TForm\nend\n");
  EXPECT_FALSE(fs::exists(Dir / "u.pas"));
  EXPECT_FALSE(fs::exists(Dir / "u.xfm"));
  EXPECT_TRUE(fs::exists(Dir / "notes.txt"));
  EXPECT_EQ(FindDocModule(Dir / "main.xfm"), M);
  EXPECT_TRUE(M->GetModified());
}

TEST_F(DocModule, FilesChangedOnDiskAreReloadedOnlyWhenTheAnswerIsYes) {
  WriteText(Dir / "a.txt", "a1\n");
  WriteText(Dir / "b.txt", "b1\n");
  TSourceModule* A = Open("a.txt");
  TSourceModule* B = Open("b.txt");
  CheckFileDates(false);
  EXPECT_TRUE(Q->Asked.empty());

  auto Touch = [&](const char* Name, const char* Text) {
    WriteText(Dir / Name, Text);
    fs::last_write_time(Dir / Name, fs::file_time_type::clock::now() + std::chrono::hours(1));
  };
  Touch("a.txt", "a2\n");
  Q->Answers = {mrNo};
  CheckFileDates(false);
  ASSERT_EQ(Q->Asked.size(), 1u);
  EXPECT_EQ(Q->Asked[0], "Module " + (Dir / "a.txt") + "'s time/date changed. Reload?");
  EXPECT_EQ(A->GetMainSource()->GetLine(0), "a1");

  // Modified in memory: the longer question.
  Touch("a.txt", "a3\n");
  TypeInto(*A, "edit ");
  Q->Answers = {mrYes};
  CheckFileDates(false);
  ASSERT_EQ(Q->Asked.size(), 2u);
  EXPECT_NE(Q->Asked[1].find("In-memory changes to this module have been detected as well"), std::string::npos);
  EXPECT_EQ(A->GetMainSource()->GetLine(0), "a3");
  EXPECT_FALSE(A->GetModified());

  // No to All ends the pass: b is left for the next one.
  Touch("a.txt", "a4\n");
  Touch("b.txt", "b2\n");
  A->Activate();
  Q->Answers = {mrNoToAll};
  CheckFileDates(false);
  EXPECT_EQ(Q->Asked.size(), 3u);
  EXPECT_EQ(B->GetMainSource()->GetLine(0), "b1");
  // The next pass asks about b; Yes to All reloads it and the rest without asking.
  Touch("a.txt", "a5\n");
  Q->Answers = {mrYesToAll};
  CheckFileDates(false);
  EXPECT_EQ(Q->Asked.size(), 4u);
  EXPECT_EQ(A->GetMainSource()->GetLine(0), "a5");
  EXPECT_EQ(B->GetMainSource()->GetLine(0), "b2");

  // Silent, or with the option off for unmodified modules: reloaded without a question.
  Touch("b.txt", "b3\n");
  CheckFileDates(true);
  DocModuleHooks().AskToReloadModifiedFiles = false;
  Touch("a.txt", "a6\n");
  CheckFileDates(false);
  EXPECT_EQ(Q->Asked.size(), 4u);
  EXPECT_EQ(B->GetMainSource()->GetLine(0), "b3");
  EXPECT_EQ(A->GetMainSource()->GetLine(0), "a6");
}

TEST_F(DocModule, ModuleHandlersDecideTogether) {
  WriteText(Dir / "u.pas", "x\n");
  TSourceModule* M = Open("u.pas");
  auto Silent = std::make_shared<THandler>(), Refuses = std::make_shared<THandler>();
  M->CodeIModule().AddModuleHandler(Silent);
  M->CodeIModule().AddModuleHandler(Silent);
  EXPECT_EQ(M->CodeIModule().ModuleHandlerCount(), 1);
  EXPECT_TRUE(M->CodeIModule().AllowSave());
  EXPECT_FALSE(M->CodeIModule().CheckFileDate());
  M->CodeIModule().AddModuleHandler(Refuses);
  Refuses->Allow = false;
  Silent->Allow = true;
  TypeInto(*M, "y");
  // Save is refused quietly: nothing written, reported as done.
  EXPECT_TRUE(M->Save(false, true));
  EXPECT_EQ(ReadText(Dir / "u.pas"), "x\n");
  Refuses->Allow.reset();

  // Any handler that saw the file change makes the module changed.
  Refuses->Changed = true;
  EXPECT_TRUE(M->CheckFileDate());
  Refuses->Changed = false;
  EXPECT_FALSE(M->CheckFileDate());

  // Handlers start off the notifier calls.
  EXPECT_TRUE(M->Save(false, true));
  EXPECT_EQ(Silent->Notified, 0);
  M->CodeIModule().ModuleHandlerAlsoOnNotifyList(Silent);
  TypeInto(*M, "z");
  EXPECT_TRUE(M->Save(false, true));
  EXPECT_EQ(Silent->Notified, 1);
  M->CodeIModule().ModuleHandlerNoLongerOnNotifyList(Silent);
  TypeInto(*M, "w");
  EXPECT_TRUE(M->Save(false, true));
  EXPECT_EQ(Silent->Notified, 1);
}

// Each handler sees the disk checked, also after another one already reported a change.
TEST_F(DocModule, EveryHandlerIsAskedAboutTheDisk) {
  WriteText(Dir / "u.pas", "x\n");
  TSourceModule* M = Open("u.pas");
  auto First = std::make_shared<THandler>(), Second = std::make_shared<THandler>();
  M->CodeIModule().AddModuleHandler(First);
  M->CodeIModule().AddModuleHandler(Second);
  First->Changed = true;
  EXPECT_TRUE(M->CheckFileDate());
  EXPECT_EQ(First->DatesChecked, 1);
  EXPECT_EQ(Second->DatesChecked, 1);
}

TEST_F(DocModule, ModuleEventsGoFromTheLastListenerToTheFirstAndActivationMovesToTheFront) {
  WriteText(Dir / "a.txt", "a\n");
  WriteText(Dir / "b.txt", "b\n");
  std::string Order;
  int First = 0, Second = 0;
  EvModuleCreated().Add(&First, [&](TEvModuleCreated&) { Order += "1"; });
  EvModuleCreated().Add(&Second, [&](TEvModuleCreated&) { Order += "2"; });
  int Activated = 0;
  EvModuleActivated().Add(&Activated, [&](TEvModuleActivated&) { ++Activated; });
  TSourceModule* A = Open("a.txt");
  TSourceModule* B = Open("b.txt");
  EXPECT_EQ(Order, "2121");
  EXPECT_EQ(ModuleList().Item(0), A);
  B->Activate();
  B->Activate();
  EXPECT_EQ(Activated, 1);
  EXPECT_EQ(ActiveModule(), B);
  EvModuleCreated().Remove(&First);
  EvModuleCreated().Remove(&Second);
  EvModuleActivated().Remove(&Activated);
}

TEST_F(DocModule, GauntletRunsByPriorityThenInsertionOrder) {
  struct TMember : TModuleHandlerGauntletMember {
    std::string& Log;
    char Tag;
    TMember(std::string& L, char T) : Log(L), Tag(T) {}
    void AttachHandler(TDocModule&) override { Log += Tag; }
  };
  std::string Log;
  TMember A(Log, 'a'), B(Log, 'b'), C(Log, 'c'), D(Log, 'd');
  ModuleHandlerGauntlet().Add(&A, 5);
  ModuleHandlerGauntlet().Add(&B, 1);
  ModuleHandlerGauntlet().Add(&C, 5);
  ModuleHandlerGauntlet().Add(&D, 3);
  WriteText(Dir / "u.pas", "x\n");
  Open("u.pas");
  for (auto* M : {&A, &B, &C, &D}) ModuleHandlerGauntlet().Remove(M);
  EXPECT_EQ(Log, "bdac");
  EXPECT_EQ(ModuleHandlerGauntlet().Count(), 0);
}

TEST_F(DocModule, ClosingRemembersTheFileAndAVetoKeepsTheModule) {
  WriteText(Dir / "u.pas", "1\n2\n3\n4\n5\n");
  TSourceModule* M = Open("u.pas");
  GotoLineCol(M->ShowEditor().EkView(), 4, 2);
  struct TVeto : IFileNotifier {
    bool Veto = true;
    void FileNotification(TFileNotification Op, const std::string&, bool& Cancel) override {
      if (Op == TFileNotification::fnFileClosing && Veto) Cancel = true;
    }
  };
  auto Veto = std::make_shared<TVeto>();
  const int Index = AddFileNotifier(Veto);
  EXPECT_FALSE(M->Close(true));
  EXPECT_TRUE(ModuleList().Contains(M));
  EXPECT_EQ(ClosedFiles().ClosedFileList().Count(), 0);
  Veto->Veto = false;
  EXPECT_TRUE(M->Close(true));
  RemoveFileNotifier(Index);
  EXPECT_EQ(ModuleList().Count(), 0);
  ASSERT_EQ(ClosedFiles().ClosedFileList().Count(), 1);
  EXPECT_EQ(ClosedFiles().ClosedFileList().Item(0)->FileName(), Dir / "u.pas");

  // Reopening takes the entry out of the list and puts the cursor back.
  TSourceModule* Again = Open("u.pas");
  EXPECT_EQ(ClosedFiles().ClosedFileList().Count(), 0);
  const TEdPos At = Again->ShowEditor().Cursor();  // packed: compared by value
  EXPECT_EQ(static_cast<int>(At.LineNum), 4);
  EXPECT_EQ(static_cast<int>(At.Col), 2);
}

// A module closed by its owner rather than by the user is not offered for reopening.
TEST_F(DocModule, ClosingWithoutTheListLeavesTheClosedFilesAlone) {
  WriteText(Dir / "u.pas", "x\n");
  TSourceModule* M = Open("u.pas");
  EXPECT_TRUE(M->Close(false));
  EXPECT_EQ(ModuleList().Count(), 0);
  EXPECT_EQ(ClosedFiles().ClosedFileList().Count(), 0);
}

TEST_F(DocModule, SaveModifiedModulesSavesWithoutAskingAndSaveModulesAsks) {
  WriteText(Dir / "a.txt", "a\n");
  WriteText(Dir / "b.txt", "b\n");
  TSourceModule* A = Open("a.txt");
  TSourceModule* B = Open("b.txt");
  TypeInto(*A, "1");
  TypeInto(*B, "2");
  EXPECT_TRUE(AnyModuleModified());
  int Saving = 0, Saved = 0;
  EvSavingModifiedModules().Add(&Saving, [&](TEvModuleListArgs&) { ++Saving; });
  EvSavedModifiedModules().Add(&Saved, [&](TEvModuleListArgs&) { ++Saved; });
  Q->Answers = {mrNo, mrCancel};
  EXPECT_FALSE(SaveModules());
  EXPECT_EQ(Q->Asked.size(), 2u);
  EXPECT_TRUE(A->GetModified());
  EXPECT_TRUE(SaveModifiedModules());
  EXPECT_EQ(Q->Asked.size(), 2u);
  EXPECT_EQ(Saving, 1);
  EXPECT_EQ(Saved, 1);
  EXPECT_FALSE(AnyModuleModified());
  EXPECT_EQ(ReadText(Dir / "a.txt"), "1a\n");
  EXPECT_EQ(ReadText(Dir / "b.txt"), "2b\n");
  EvSavingModifiedModules().Remove(&Saving);
  EvSavedModifiedModules().Remove(&Saved);
}

TEST_F(DocModule, UniqueNamesSkipOpenModulesAndFilesOnDisk) {
  WriteText(Dir / "Unit1.pas", "");
  WriteText(Dir / "Unit3.xfm", "");
  WriteText(Dir / "Unit2.txt", "");
  Open("Unit2.pas");
  EXPECT_EQ(MakeUniqueModuleName("Unit%d", Dir.Path()), "Unit3");
  EXPECT_EQ(MakeUniqueModuleName("Unit", Dir.Path(), {".xfm"}), "Unit4");
  EXPECT_EQ(MakeUniqueModuleName("Form%d", Dir.Path()), "Form1");
  EXPECT_THROW(MakeUniqueModuleName("1Unit", Dir.Path()), EModuleError);
  try {
    ValidateIdent("begin");
    ADD_FAILURE();
  } catch (const EModuleError& E) {
    EXPECT_STREQ(E.what(), "'begin' is a reserved word");
  }
  try {
    ValidateIdent("my-unit");
    ADD_FAILURE();
  } catch (const EModuleError& E) {
    EXPECT_STREQ(E.what(), "'my-unit' is not a valid identifier");
  }
  EXPECT_NO_THROW(ValidateIdent("Unit_2"));
}

TEST_F(DocModule, FormsAreFoundByNameAndANewUnitAndItsFormTakeOneFreeNumber) {
  WriteText(Dir / "Unit1.pas", "");
  WriteText(Dir / "Unit2.vfm", "");
  WriteText(Dir / "Other.pas", "unit Other;\n");
  WriteText(Dir / "Other.vfm", "object Form3: TForm3\nend\n");
  WriteText(Dir / "Plain.pas", "unit Plain;\n");
  TSourceModule* Other = Open("Other.pas");
  Open("Plain.pas");
  EXPECT_EQ(Other->GetFormName(), "Form3");
  EXPECT_EQ(FindFormModule("form3"), Other);  // an identifier: letter case aside
  EXPECT_EQ(FindFormModule("Plain"), nullptr);
  EXPECT_EQ(FindFormModule(""), nullptr);
  TNewModuleNames N;
  MakeUniqueModuleName(N, "Unit%d", Dir.Path());
  EXPECT_EQ(N.UnitIdent, "Unit2");
  EXPECT_EQ(N.FormName, "");
  EXPECT_EQ(N.FileName, Dir / "Unit2.pas");
  // With a form: Unit2 has a form file, Form3 is open.
  MakeUniqueModuleName(N, "Unit", "Form", Dir.Path());
  EXPECT_EQ(N.UnitIdent, "Unit4");
  EXPECT_EQ(N.FormName, "Form4");
  EXPECT_EQ(N.FileName, Dir / "Unit4.pas");
  EXPECT_THROW(MakeUniqueModuleName(N, "Unit%d", "2Form", Dir.Path()), EModuleError);
}

TEST_F(DocModule, TheDisplayIsRefreshedWhenTheModifiedStateChanges) {
  WriteText(Dir / "u.pas", "x\n");
  TSourceModule* M = Open("u.pas");
  int Refreshed = 0;
  std::vector<std::string> Modified;
  DocModuleHooks().UpdateModuleDisplay = [&] { ++Refreshed; };
  DocModuleHooks().SourceModified = [&](const std::string& F) { Modified.push_back(F); };
  TypeInto(*M, "a");
  EXPECT_EQ(Refreshed, 1);
  ASSERT_FALSE(Modified.empty());
  EXPECT_EQ(Modified.back(), Dir / "u.pas");
  ASSERT_TRUE(M->Save(false, true));
  EXPECT_EQ(Refreshed, 2);
  TypeInto(*M, "b");
  EXPECT_EQ(Refreshed, 3);
}
