#include "modules/autorecover.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "modules/recoverini.h"
#include "modules/recoverwindow.h"
#include "moduletest.h"
#include "options/envoptions.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "support/wait.h"

namespace nxs::test {
namespace {

namespace fs = std::filesystem;

// A file system whose n-th write fails, as a full disk or a killed session would stop it.
class TFailNthWrite : public TDiskFileSystem {
 public:
  int FailAt = 0;
  int Writes = 0;
  void WriteFile(const std::string& Name, std::string_view Data) override {
    if (++Writes == FailAt) throw EInOutError("Cannot write file \"" + Name + "\": No space left on device");
    TDiskFileSystem::WriteFile(Name, Data);
  }
  // Saves that stream their text reach the disk through WriteFile too.
  std::unique_ptr<IFileWriter> CreateFileWriter(const std::string& Name) override {
    return IFileSystem::CreateFileWriter(Name);
  }
};

class AutoRecover : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    Store = std::make_unique<TSettingsStore>(Dir / "settings/settings.ini");
    Options = std::make_unique<TEnvironmentOptions>(*Store);
    StartNotifier();
  }
  void TearDown() override {
    Notifier.reset();
    ModuleTest::TearDown();
  }
  void StartNotifier() {
    Notifier = std::make_unique<TAutoRecoverIDENotifier>(Store.get(), [this] { return Clock; });
    Notifier->OnMessage = [this](const std::string& M) { Messages.push_back(M); };
    Notifier->WallClock = [] { return time_t(1796736000); };
  }
  // The session ends without a word to anyone: the module list frees its modules as the
  // process does at its end, then the notifier goes. What it wrote stays.
  void Crash() {
    DoneSourceModules();
    Notifier.reset();
    InitSourceModules();
  }
  TSourceModule* OpenTyped(const std::string& Name, const std::string& Text) {
    WriteText(Dir / Name, "saved\n");
    TSourceModule* M = Open(Name);
    TypeInto(*M, Text);
    return M;
  }
  std::vector<std::string> Sections() {
    std::vector<std::string> Names;
    const TRecoveryIni Record = TRecoveryIni::Parse(ReadText(Dir / "__recovery/__recovery.ini"));
    for (const auto& S : Record.Sections()) Names.push_back(S.Name);
    return Names;
  }
  void SetOption(const char* Name, const TOptionValue& Value) {
    Options->SetOption(Options->AutoRecoverOptions(), 0, Name, Value);
  }

  int64_t Clock = 0;
  std::unique_ptr<TSettingsStore> Store;
  std::unique_ptr<TEnvironmentOptions> Options;
  std::unique_ptr<TAutoRecoverIDENotifier> Notifier;
  std::vector<std::string> Messages;
};

TEST_F(AutoRecover, TwoModulesOfAFolderShareOneRecordUntilBothAreSaved) {
  TSourceModule* A = OpenTyped("a.pas", "alpha ");
  Notifier->ProductStarted(*Options);  // a module open and modified before the start is kept too
  TSourceModule* B = OpenTyped("b.txt", "beta ");
  EXPECT_EQ(Notifier->TimerExecute(), 2);
  EXPECT_EQ(ReadText(Dir / "__recovery/a.pas"), "alpha saved\n");
  EXPECT_EQ(ReadText(Dir / "__recovery/b.txt"), "beta saved\n");
  EXPECT_EQ(Sections(), (std::vector<std::string>{"a.pas", "b.txt"}));
  const TRecoveryIni Record = TRecoveryIni::Parse(ReadText(Dir / "__recovery/__recovery.ini"));
  EXPECT_EQ(Record.Read("a.pas", "FileCount"), "1");
  EXPECT_EQ(Record.Read("a.pas", "File0"), Dir / "a.pas");
  EXPECT_EQ(ParseRecoverSaveTime(Record.Read("b.txt", "SaveTime")), time_t(1796736000));
  EXPECT_EQ(ReadRecoverFolders(*Store), (std::vector<std::string>{Dir / "__recovery"}));
  EXPECT_EQ(ReadText(Dir / "a.pas"), "saved\n") << "a tick never touches the user's file";

  ASSERT_TRUE(A->Save(false, true));
  EXPECT_FALSE(fs::exists(Dir / "__recovery/a.pas"));
  EXPECT_EQ(Sections(), (std::vector<std::string>{"b.txt"}));
  EXPECT_EQ(ReadRecoverFolders(*Store).size(), 1u);
  EXPECT_EQ(Notifier->TimerExecute(), 1) << "the saved module has nothing to keep";

  ASSERT_TRUE(B->Save(false, true));
  EXPECT_FALSE(fs::exists(Dir / "__recovery/__recovery.ini"));
  EXPECT_TRUE(ReadRecoverFolders(*Store).empty());
  EXPECT_TRUE(fs::is_directory(Dir / "__recovery")) << "the folder stays";
  EXPECT_TRUE(Messages.empty());
}

TEST_F(AutoRecover, ModulesInARecoveryFolderAndModulesWithoutBuffersAreNotTracked) {
  Notifier->ProductStarted(*Options);
  fs::create_directories(Dir / "__recovery");
  WriteText(Dir / "__recovery/x.pas", "copy\n");
  TSourceModule* Copy = Open("__recovery/x.pas");
  TypeInto(*Copy, "more ");
  EXPECT_FALSE(Notifier->ModuleIsTracked(Copy));
  EXPECT_EQ(Notifier->TimerExecute(), 0);
  EXPECT_FALSE(fs::exists(Dir / "__recovery/__recovery"));
  EXPECT_TRUE(IsInRecoveryFolder("/p/__recovery/x.pas"));
  EXPECT_FALSE(IsInRecoveryFolder("/p/__recovery.x/x.pas"));
  EXPECT_FALSE(IsInRecoveryFolder("/p/my__recovery/x.pas")) << "a folder of the user's own";
}

TEST_F(AutoRecover, TheTimerRunsOnTheIntervalOfTheOptionsAndStopsWhenSwitchedOff) {
  SetOption("Interval", int64_t(1));
  Notifier->ProductStarted(*Options);
  EXPECT_EQ(Notifier->Timer().Interval(), 60000);
  OpenTyped("a.pas", "x");
  Clock = 59999;
  EXPECT_FALSE(Notifier->Timer().Poll());
  EXPECT_FALSE(fs::exists(Dir / "__recovery/a.pas"));
  Clock = 60000;
  EXPECT_TRUE(Notifier->Timer().Poll());
  EXPECT_TRUE(fs::exists(Dir / "__recovery/a.pas"));
  EXPECT_EQ(Notifier->Timer().MsToNextTick(), 60000);

  SetOption("Interval", int64_t(10));
  EXPECT_EQ(Notifier->Timer().Interval(), 600000);
  SetOption("Enabled", false);
  EXPECT_FALSE(fs::exists(Dir / "__recovery/a.pas")) << "switching off removes every copy at once";
  EXPECT_TRUE(ReadRecoverFolders(*Store).empty());
  EXPECT_EQ(Notifier->TrackedCount(), 0);
  EXPECT_EQ(Notifier->Timer().MsToNextTick(), -1);
  OpenTyped("b.pas", "y");
  EXPECT_EQ(Notifier->TrackedCount(), 0);

  SetOption("Enabled", true);
  EXPECT_EQ(Notifier->TrackedCount(), 2) << "switched on, every open module is tracked";
  EXPECT_EQ(Notifier->TimerExecute(), 2);
}

TEST_F(AutoRecover, RenamingClosingAndUndoingTakeTheCopiesAway) {
  Notifier->ProductStarted(*Options);
  TSourceModule* A = OpenTyped("a.pas", "x");
  Notifier->TimerExecute();
  ASSERT_TRUE(A->RenameModule(Dir / "c.pas"));
  EXPECT_FALSE(fs::exists(Dir / "__recovery/a.pas"));
  EXPECT_TRUE(Sections().empty());
  Notifier->TimerExecute();
  EXPECT_EQ(ReadText(Dir / "__recovery/c.pas"), "xsaved\n");

  A->UnModifySource();
  EXPECT_FALSE(fs::exists(Dir / "__recovery/c.pas"));
  TypeInto(*A, "y");
  Notifier->TimerExecute();
  EXPECT_TRUE(fs::exists(Dir / "__recovery/c.pas"));
  Q->Answers = {mrNo};  // closed without saving: the user let the text go
  ASSERT_TRUE(A->SaveAndClose());
  EXPECT_FALSE(fs::exists(Dir / "__recovery/c.pas"));
  EXPECT_EQ(Notifier->TrackedCount(), 0);
  EXPECT_TRUE(ReadRecoverFolders(*Store).empty());
}

// A folder the user may not write, and (for any user) a file where the recovery folder
// would go: the tick reports the module and changes nothing else, and tries again later.
TEST_F(AutoRecover, AFolderThatCannotBeWrittenGetsTheMessageAndNothingElse) {
  Notifier->ProductStarted(*Options);
  fs::create_directories(Dir / "ro");
  WriteText(Dir / "ro/a.pas", "saved\n");
  WriteText(Dir / "ro/__recovery", "in the way");
  TSourceModule* A = Open("ro/a.pas");
  TypeInto(*A, "x");
  const bool Root = ::geteuid() == 0;
  if (!Root) ::chmod((Dir / "ro").c_str(), 0555);
  Notifier->TimerExecute();
  if (!Root) {
    fs::remove(Dir / "ro/__recovery");
    Notifier->TimerExecute();
    ::chmod((Dir / "ro").c_str(), 0755);
  }
  EXPECT_EQ(Messages, (std::vector<std::string>(Root ? 1 : 2, "Could not create AutoRecover backup for " + Dir / "ro/a.pas")));
  std::vector<std::string> Left;
  for (const auto& E : fs::directory_iterator(Dir / "ro")) Left.push_back(E.path().filename().string());
  std::sort(Left.begin(), Left.end());
  EXPECT_EQ(Left, Root ? (std::vector<std::string>{"__recovery", "a.pas"}) : (std::vector<std::string>{"a.pas"}));
  EXPECT_EQ(ReadText(Dir / "ro/a.pas"), "saved\n");
  EXPECT_TRUE(ReadRecoverFolders(*Store).empty());
  fs::remove(Dir / "ro/__recovery");
  Notifier->TimerExecute();
  EXPECT_EQ(ReadText(Dir / "ro/__recovery/a.pas"), "xsaved\n") << "the next tick tries again";
}

TEST_F(AutoRecover, ATickStoppedAtAnyWriteLeavesARecordWhoseCopiesAreThere) {
  for (int FailAt = 1; FailAt <= 5; ++FailAt) {  // four writes: a copy and a record each
    SCOPED_TRACE(FailAt);
    fs::remove_all(Dir / "__recovery");
    Store->EraseSection("Recover Files");
    Notifier->ProductStarted(*Options);
    OpenTyped("a.pas", "first ");
    Notifier->TimerExecute();
    OpenTyped("b.pas", "second ");
    auto Faulty = std::make_shared<TFailNthWrite>();
    Faulty->FailAt = FailAt;
    SetFileSystem(Faulty);
    TypeInto(*dynamic_cast<TSourceModule*>(FindDocModule(Dir / "a.pas")), "again ");
    Notifier->TimerExecute();
    SetFileSystem(nullptr);
    Crash();
    StartNotifier();

    TAutoRecoverWindow Window(*Store);
    Window.LoadRecoveredFiles();
    ASSERT_FALSE(Window.Items().empty());
    for (const auto& I : Window.Items())
      EXPECT_TRUE(fs::exists(I->BackupFileName)) << I->FileName << " is listed without its copy";
    TRecoveredFileInfo* A = Window.Find(Dir / "a.pas");
    ASSERT_NE(A, nullptr) << "the section written before the failure stays";
    const std::string Kept = ReadText(A->BackupFileName);
    EXPECT_TRUE(Kept == "first saved\n" || Kept == "first again saved\n") << Kept;
    Window.ClearRecoveredFiles();
    Q->Answers = {mrNo, mrNo};
    FreeModules(true);
  }
}

TEST_F(AutoRecover, TheRecoveryWindowPutsTheCopiesBackIntoEditors) {
  Notifier->ProductStarted(*Options);
  OpenTyped("a.pas", "lost ");
  OpenTyped("b.pas", "gone ");
  Notifier->TimerExecute();
  Crash();
  fs::remove(Dir / "b.pas");  // the file itself went with the session
  fs::create_directories(Dir / "elsewhere/__recovery");
  WriteText(Dir / "elsewhere/__recovery/__recovery.ini", "");
  Store->WriteString("Recover Files", "Dir7", Dir / "vanished/__recovery");

  StartNotifier();
  bool Shown = false;
  Notifier->OnRecoveredFiles = [&] { Shown = true; };
  Notifier->ProductStarted(*Options);
  EXPECT_TRUE(Shown);
  TAutoRecoverWindow Window(*Store, Notifier.get());
  std::vector<std::string> Told;
  Window.OnMessage = [&](const std::string& M) { Told.push_back(M); };
  Window.LoadRecoveredFiles();
  EXPECT_EQ(Told, (std::vector<std::string>{"AutoRecover folder not found: " + Dir / "vanished/__recovery"}));
  ASSERT_EQ(Window.Items().size(), 2u);
  EXPECT_EQ(Window.Items()[0]->FileName, Dir / "a.pas");
  EXPECT_EQ(Window.Items()[0]->BackupFileName, Dir / "__recovery/a.pas");
  EXPECT_EQ(Window.Items()[0]->SaveTime, time_t(1796736000));
  EXPECT_EQ(TAutoRecoverWindow::BackupFileToRealFile("/p/q/__recovery/u.pas"), "/p/q/u.pas");

  TDocModule* A = Window.RecoverModule(*Window.Find(Dir / "a.pas"));
  auto* Source = dynamic_cast<TSourceModule*>(A);
  ASSERT_NE(Source, nullptr);
  EXPECT_EQ(Source->GetMainSource()->Text(), "lost saved\n");
  EXPECT_TRUE(A->GetModified());
  EXPECT_EQ(ReadText(Dir / "a.pas"), "saved\n");
  EXPECT_EQ(Window.Items().size(), 1u);
  EXPECT_EQ(ReadText(Dir / "__recovery/a.pas"), "lost saved\n") << "the tracked module keeps its copy at once";

  TDocModule* B = Window.RecoverModule(*Window.Find(Dir / "b.pas"));
  EXPECT_EQ(B->GetFileName(), Dir / "b.pas") << "a file that is gone comes back under its own name";
  EXPECT_TRUE(Notifier->ModuleIsTracked(B));
  ASSERT_TRUE(B->Save(false, true));
  EXPECT_EQ(ReadText(Dir / "b.pas"), "gone saved\n");
  ASSERT_TRUE(A->Save(false, true));
  EXPECT_EQ(ReadRecoverFolders(*Store), (std::vector<std::string>{Dir / "vanished/__recovery"}));
  EXPECT_FALSE(fs::exists(Dir / "__recovery/__recovery.ini"));
}

TEST_F(AutoRecover, ClosingTheWindowAsksBeforeDiscardingWhatIsLeft) {
  Notifier->ProductStarted(*Options);
  OpenTyped("a.pas", "1");
  OpenTyped("b.pas", "2");
  Notifier->TimerExecute();
  Crash();
  TAutoRecoverWindow Window(*Store);
  Window.LoadRecoveredFiles();
  Window.Discard(*Window.Find(Dir / "a.pas"));
  EXPECT_FALSE(fs::exists(Dir / "__recovery/a.pas"));
  Q->Answers = {mrNo};
  EXPECT_FALSE(Window.Close());
  EXPECT_EQ(Q->Asked, (std::vector<std::string>{"Discard remaining recovered files?"}));
  EXPECT_TRUE(fs::exists(Dir / "__recovery/b.pas"));
  Q->Answers = {mrYes};
  EXPECT_TRUE(Window.Close());
  EXPECT_FALSE(fs::exists(Dir / "__recovery/b.pas"));
  EXPECT_TRUE(ReadRecoverFolders(*Store).empty());
  EXPECT_FALSE(Window.Close()) << "nothing left, nothing asked";
  EXPECT_EQ(Q->Asked.size(), 2u);
}

// Two sessions editing files of one folder record their modules at once; each keeps the
// other's section, and the folder is listed once.
TEST_F(AutoRecover, TwoProcessesKeepEachOthersSections) {
  pid_t Children[2];
  for (int C = 0; C < 2; ++C) {
    Children[C] = ::fork();
    ASSERT_GE(Children[C], 0);
    if (Children[C] != 0) continue;
    int Status = 0;
    try {
      TSettingsStore Own(Dir / "settings/settings.ini");
      for (int I = 0; I < 40; ++I) {
        TAutoRecoverStorage S(Own, Dir / ("m" + std::to_string(C) + "_" + std::to_string(I) + ".pas"));
        S.AddFile(S.FileName());
        S.Save(time(nullptr));
      }
    } catch (...) {
      Status = 1;
    }
    ::_exit(Status);
  }
  for (pid_t P : Children) {
    int Status = -1;
    ASSERT_EQ(::waitpid(P, &Status, 0), P);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
  }
  EXPECT_EQ(Sections().size(), 80u);
  TSettingsStore Fresh(Dir / "settings/settings.ini");
  EXPECT_EQ(ReadRecoverFolders(Fresh), (std::vector<std::string>{Dir / "__recovery"}));
}

// The host's timer: a thread watches the clock and the tick runs on the main thread, once
// per interval.
TEST(RecoverTimer, ItsDriverHandsEachDueTickToTheMainThread) {
  MainThreadQueue().SetMainThread();
  std::atomic<int64_t> Now{0};
  TRecoverTimer Timer([&] { return Now.load(); });
  int Ticks = 0;
  bool OnMain = true;
  Timer.OnTimer = [&] {
    ++Ticks;
    OnMain = OnMain && MainThreadQueue().IsMainThread();
  };
  Timer.SetInterval(60000);
  Timer.SetEnabled(true);
  std::unique_ptr<ITimerDriver> Driver = MakeMainThreadTimerDriver(Timer);
  Now = 59999;
  MainThreadQueue().WaitAndProcess(20);
  EXPECT_EQ(Ticks, 0);
  Now = 60000;
  ASSERT_TRUE(PumpUntil([&] { return Ticks == 1; }));
  Now = 120000;
  ASSERT_TRUE(PumpUntil([&] { return Ticks == 2; }));
  Driver.reset();
  MainThreadQueue().ProcessPending();
  EXPECT_EQ(Ticks, 2);
  EXPECT_TRUE(OnMain);
}

TEST(RecoveryIni, OddNamesAndCaseKeepTheirSections) {
  TRecoveryIni Ini;
  Ini.WriteSection("a]b.pas", {{"File0", "/p/a]b.pas"}});
  Ini.WriteSection("line\nbreak.pas", {{"File0", "\"quoted\".pas"}});
  Ini.WriteSection("Unit1.pas", {{"FileCount", "1"}});
  Ini.WriteSection("unit1.pas", {{"FileCount", "2"}});
  const TRecoveryIni Back = TRecoveryIni::Parse(Ini.Text() + "garbage line\n[unclosed\n");
  ASSERT_EQ(Back.Sections().size(), 4u);
  EXPECT_EQ(Back.Read("a]b.pas", "File0"), "/p/a]b.pas");
  EXPECT_EQ(Back.Read("line\nbreak.pas", "file0"), "\"quoted\".pas");
  EXPECT_EQ(Back.Read("Unit1.pas", "FileCount"), "1");
  EXPECT_EQ(Back.Read("unit1.pas", "FileCount"), "2");
  TRecoveryIni Erased = Back;
  EXPECT_TRUE(Erased.EraseSection("Unit1.pas"));
  EXPECT_EQ(Erased.Read("unit1.pas", "FileCount"), "2");
  EXPECT_FALSE(Erased.EraseSection("Unit1.pas"));
}

}  // namespace
}  // namespace nxs::test
