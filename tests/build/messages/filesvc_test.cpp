// Compiler file services as a compiler uses them: the editor's unsaved text in place of the
// disk's, handles, virtual files, the cache that spares the disk, directory listings with
// editor-only files, forms, progress, and a compile on the background thread.
#include "build/messages/filesvc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "build/messages/kibitz.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "modules/formfile.h"
#include "shared/dialogs.h"
#include "shared/dosdate.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/mainthread.h"
#include "support/wait.h"
#include "shared/testdir.h"

namespace nxs {
namespace {

// Counts what reaches the disk.
class TCountingFileSystem : public TDiskFileSystem {
 public:
  std::atomic<int> Stats{0}, Reads{0};
  TFileInfo Stat(const std::string& Name) override {
    ++Stats;
    return TDiskFileSystem::Stat(Name);
  }
  std::string ReadFile(const std::string& Name) override {
    ++Reads;
    return TDiskFileSystem::ReadFile(Name);
  }
  // Files read into memory of the reader's go through ReadFile too.
  void ReadFileInto(const std::string& Name, IReadTarget& Target) override { IFileSystem::ReadFileInto(Name, Target); }
  int Touches() const { return Stats + Reads; }
};

class FileServices : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFileServices();
    FinalizeMessageLines();
    FS = std::make_shared<TCountingFileSystem>();
    SetFileSystem(FS);
  }
  void TearDown() override {
    ResetFileServices();
    FinalizeMessageLines();
    SetCompilerMessageService(nullptr);
    SetProgressMonitor(nullptr);
    SetFileServicesClock(nullptr);
    SetFileSystem(nullptr);
  }
  std::string Write(const std::string& Name, const std::string& Data) {
    const std::string P = Dir / Name;
    std::ofstream(P, std::ios::binary) << Data;
    return P;
  }
  static std::string ReadAll(int32_t H) {
    std::string Out;
    char Buf[7];  // small on purpose: reads come in pieces
    for (int32_t N; (N = BFILEREAD(H, Buf, sizeof Buf)) > 0;) Out.append(Buf, static_cast<size_t>(N));
    return Out;
  }
  static std::string ReadThrough(const std::string& Name) {
    const int32_t H = BFILEOPEN(Name.c_str());
    if (H < 0) return "<missing>";
    std::string Text = ReadAll(H);
    BFILECLOSE(H);
    return Text;
  }
  test::TTempDir Dir;
  std::shared_ptr<TCountingFileSystem> FS;
};

TEST_F(FileServices, CompilerReadsTheEditorsUnsavedTextAndItsDate) {
  const std::string File = Write("unit1.pas", "disk\n");
  EXPECT_EQ(ReadThrough(File), "disk\n");
  auto B = TEditBuffer::Create(File, true);
  auto V = B->OpenNewView();
  InsertString(V->EkView(), "unsaved ");
  EXPECT_EQ(ReadThrough(File), "unsaved disk\n");
  const int32_t H = BFILEOPENWITHBOM(File.c_str());
  EXPECT_EQ(ReadAll(H), "\xEF\xBB\xBFunsaved disk\n");
  EXPECT_EQ(BFILEGETDATE(H), B->FileAge());
  int32_t Date = 0, Size = 0;
  EXPECT_EQ(BFILESTATUS(H, &Date, &Size), 0);
  EXPECT_EQ(Size, 16);
  EXPECT_EQ(BFILESEEK(H, 3, 0), 3);
  EXPECT_EQ(BFILESEEK(H, -1, 2), 15);
  EXPECT_EQ(BFILESEEK(H, -100, 1), 0);  // before the start: failure
  EXPECT_EQ(BFILEWRITE(H, "x", 1), 1);  // a copy: the buffer does not change
  BFILECLOSE(H);
  EXPECT_EQ(B->SavedText(), "unsaved disk\n");
  // Once the buffer is gone, the disk's text again.
  V.reset();
  B.reset();
  EXPECT_EQ(ReadThrough(File), "disk\n");
  EXPECT_EQ(BFILEOPEN((Dir / "nothere.pas").c_str()), -1);
  EXPECT_EQ(BFILEREAD(99, nullptr, 1), 0);
  EXPECT_EQ(BFILESTATUS(99, &Date, &Size), -1);
}

TEST_F(FileServices, EditorTextComesAsTheFileWouldBeSavedAndDatesAreNotKeptOutsideTheCache) {
  // A compiler sees the same bytes whether the file is open or not: UTF-8 stays UTF-8.
  const std::string File = Write("accents.pas", "s := '\xC3\xA9';\n");
  auto B = TEditBuffer::Create(File, true);
  EXPECT_EQ(ReadThrough(File), "s := '\xC3\xA9';\n");
  B.reset();
  // Without the cache every question about a date goes to the disk again.
  const int32_t First = BCFILENAMEDATE(File.c_str());
  TDiskFileSystem().SetModifiedTime(File, FileDateToUnix(First) - 3600);
  EXPECT_NE(BCFILENAMEDATE(File.c_str()), First);
}

TEST_F(FileServices, HandlesAreReusedLowestFirst) {
  std::vector<int32_t> H;
  for (int I = 0; I < 6; ++I) H.push_back(BFILECREATEV(("/virtual/f" + std::to_string(I)).c_str()));
  EXPECT_EQ(H, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(BFILECLOSE(3), 0);
  EXPECT_EQ(BFILEOPEN("/virtual/f3"), 3);
  BFILECLOSE(4);
  BFILECLOSE(1);
  EXPECT_EQ(BFILEOPEN("/virtual/f0"), 1);
  EXPECT_EQ(BFILEOPEN("/virtual/f0"), 4);  // the next empty slot above the one taken
  EXPECT_EQ(BFILEOPEN("/virtual/f0"), 6);
  EXPECT_EQ(BFILECLOSE(-1), 0);
  EXPECT_EQ(BFILECLOSE(4), 0);
  EXPECT_EQ(BFILECLOSE(4), 0);  // twice: still one free slot
  EXPECT_EQ(BFILEOPEN("/virtual/f0"), 4);
  EXPECT_EQ(BFILEOPEN("/virtual/f0"), 7);
  EXPECT_EQ(OpenHandleCount(), 8);
}

TEST_F(FileServices, VirtualFilesLiveInMemoryUntilFreed) {
  const std::string Name = Dir / "gen.inc";
  int32_t H = BFILECREATEV(Name.c_str());
  EXPECT_EQ(BFILEWRITE(H, "generated", 9), 9);
  BFILECLOSE(H);
  EXPECT_EQ(ReadThrough(Name), "generated");  // rewound at every open
  EXPECT_EQ(ReadThrough(Name), "generated");
  EXPECT_FALSE(std::filesystem::exists(Name));
  EXPECT_NE(BCFILENAMEDATE(Name.c_str()), 0);  // a virtual file exists for the compiler
  H = BFILECREATEV(Name.c_str());  // made again: empty
  BFILECLOSE(H);
  EXPECT_EQ(ReadThrough(Name), "");
  FreeVirtualFiles();
  EXPECT_EQ(ReadThrough(Name), "<missing>");
}

TEST_F(FileServices, WrittenFilesReachTheDiskWholeAndAFailedWriteIsReported) {
  const std::string Out = Dir / "out.obj";
  Write("out.obj", "old");
  const int32_t H = BFILECREATE(Out.c_str());
  ASSERT_GE(H, 0);
  BFILEWRITE(H, "new ", 4);
  BFILEWRITE(H, "object", 6);
  EXPECT_EQ(BFILECLOSE(H), 0);
  EXPECT_EQ(ReadWholeFile(Out), "new object");
  EXPECT_EQ(BFILECREATE((Dir / "no/such/dir/x.obj").c_str()), -1);
  // The directory goes while the compiler writes: closing says so instead of succeeding.
  std::filesystem::create_directory(Dir / "sub");
  const int32_t G = BFILECREATE((Dir / "sub/y.obj").c_str());
  ASSERT_GE(G, 0);
  BFILEWRITE(G, "y", 1);
  std::filesystem::remove_all(Dir / "sub");
  EXPECT_EQ(BFILECLOSE(G), -1);
}

TEST_F(FileServices, WithTheCacheInForceAMissingFileStaysMissingWithoutTouchingTheDisk) {
  const std::string Missing = Dir / "missing.pas";
  const std::string Present = Write("present.pas", "here");
  BeginFileCacheUpdates();
  BeginFileCacheUpdates();  // nested
  EXPECT_EQ(BFILEOPEN(Missing.c_str()), -1);
  int Before = FS->Touches();
  EXPECT_GT(Before, 0);
  Write("missing.pas", "made meanwhile");
  EXPECT_EQ(BFILEOPEN(Missing.c_str()), -1);
  EXPECT_EQ(BFILEOPEN(Missing.c_str()), -1);
  EXPECT_EQ(FS->Touches(), Before);
  // Dates are asked once.
  const int32_t Date = BCFILENAMEDATE(Present.c_str());
  EXPECT_NE(Date, 0);
  Before = FS->Touches();
  EXPECT_EQ(BCFILENAMEDATE(Present.c_str()), Date);
  EXPECT_EQ(FS->Touches(), Before);
  EndFileCacheUpdates();
  EXPECT_TRUE(FileCacheInForce());
  EXPECT_EQ(BFILEOPEN(Missing.c_str()), -1);
  EndFileCacheUpdates();
  EXPECT_FALSE(FileCacheInForce());
  EndFileCacheUpdates();  // never below zero
  EXPECT_EQ(ReadThrough(Missing), "made meanwhile");
  // Invalidating forgets the missing mark at once.
  BeginFileCacheUpdates();
  EXPECT_EQ(BFILEOPEN((Dir / "late.pas").c_str()), -1);
  Write("late.pas", "late");
  InvalidateFileCache();
  EXPECT_EQ(ReadThrough(Dir / "late.pas"), "late");
  EndFileCacheUpdates();
}

TEST_F(FileServices, AnEditorOnlyFileIsListedWithTheEditorsDate) {
  const std::string OnDisk = Write("a.pas", "a");
  auto Only = TEditBuffer::Create(Dir / "b.pas", false);  // never saved
  auto Elsewhere = TEditBuffer::Create("/elsewhere/c.pas", false);
  std::map<std::string, int32_t> Listed;
  auto Collect = [](void* Ctx, int32_t Date, const char* Name) { (*static_cast<std::map<std::string, int32_t>*>(Ctx))[Name] = Date; };
  BCENUMPATHTIMESTAMPS(Collect, &Listed, Dir.Path().c_str());
  EXPECT_EQ(Listed.size(), 2u);
  EXPECT_EQ(Listed[OnDisk], UnixToFileDate(TDiskFileSystem().Stat(OnDisk).ModifiedTime));
  EXPECT_EQ(Listed[Dir / "b.pas"], Only->FileAge());
  EXPECT_NE(Only->FileAge(), 0);
  EXPECT_EQ(BCFILENAMEDATE((Dir / "b.pas").c_str()), Only->FileAge());
  int32_t Date = 0, Size = -1;
  EXPECT_EQ(BCFILENAMEINFO((Dir / "b.pas").c_str(), &Date, &Size), 0);
  EXPECT_EQ(Size, 0);
  EXPECT_EQ(BCFILENAMEINFO((Dir / "none.pas").c_str(), &Date, &Size), -1);
}

TEST_F(FileServices, AFormStoredAsTextReachesTheCompilerInBinary) {
  const std::string Text = "object Form1: TForm1\n  Caption = 'Hi'\nend\n";
  const std::string Form = Write("main.vfm", Text);
  EXPECT_EQ(ReadThrough(Form), FormTextToBinary(Text));
  const std::string Binary = Write("other.lfm", FormTextToBinary(Text));
  EXPECT_EQ(ReadThrough(Binary), FormTextToBinary(Text));
  // Not a form by its extension: as it is.
  EXPECT_EQ(ReadThrough(Write("notes.txt", Text)), Text);
  // A damaged form reaches the compiler as it is, for it to report.
  EXPECT_EQ(ReadThrough(Write("bad.vfm", "object X: TX\n")), "object X: TX\n");
}

TEST_F(FileServices, AliasCopiesHoldTheEditorsTextAndGoWithTheCache) {
  const std::string File = Write("u.pas", "disk");
  auto B = TEditBuffer::Create(File, true);
  auto V = B->OpenNewView();
  InsertString(V->EkView(), "ed ");
  BeginFileCacheUpdates();
  std::string Temp;
  ASSERT_TRUE(AliasVFSFile(File, Temp, false));
  EXPECT_EQ(ExtractFileName(Temp).substr(0, 3), "vfs");
  EXPECT_EQ(ReadWholeFile(Temp), "\xEF\xBB\xBF" "ed disk");
  std::string Again;
  EXPECT_TRUE(AliasVFSFile(File, Again, false));
  EXPECT_EQ(Again, Temp);
  EndFileCacheUpdates();
  EXPECT_FALSE(std::filesystem::exists(Temp));
  EXPECT_FALSE(AliasVFSFile(Dir / "none.pas", Temp, true));
}

TEST_F(FileServices, AFileAgeIsAskedAgainWhileTheCacheKeepsTheDateAskedByName) {
  const std::string File = Write("unit1.pas", "disk\n");
  BeginFileCacheUpdates();
  const int32_t Kept = CFileNameDate(File);
  const time_t HourEarlier = FileDateToUnix(Kept) - 3600;
  TDiskFileSystem().SetModifiedTime(File, HourEarlier);
  EXPECT_EQ(CFileNameDate(File), Kept);
  EXPECT_EQ(CFileAge(File), UnixToFileDate(HourEarlier));
  EndFileCacheUpdates();
  // The editor's date for an open file, a virtual file's own, none for a missing one; a
  // compiled file is asked of the disk only.
  auto B = TEditBuffer::Create(File, true);
  auto V = B->OpenNewView();
  InsertString(V->EkView(), "typed ");
  EXPECT_EQ(CFileAge(File), B->FileAge());
  BFILECLOSE(BFILECREATEV("/virtual/made.pas"));
  BFILECLOSE(BFILECREATEV("/virtual/made.obj"));
  EXPECT_NE(CFileAge("/virtual/made.pas"), -1);
  EXPECT_EQ(CFileAge("/virtual/made.obj"), -1);
  EXPECT_EQ(CFileAge(Dir / "none.pas"), -1);
}

TEST_F(FileServices, DependenciesReachTheirListenersFromTheMainThreadOnly) {
  MainThreadQueue().SetMainThread();
  SetCurrentProjectDir(Dir.Path());
  TFileDependencyRecord Record;
  const char* Deps[] = {"a.inc", nullptr, "/abs/b.pas"};
  EXPECT_EQ(BPOSTFILEDEPENDENCIES("unit1.pas", Deps, 3), 1);
  const std::vector<std::string>* Got = Record.Dependencies(Dir / "unit1.pas");
  ASSERT_NE(Got, nullptr);
  EXPECT_EQ(*Got, (std::vector<std::string>{"a.inc", "/abs/b.pas"}));
  // A listener may refuse; the others hear it all the same. No list is an empty list.
  EvCompilerFileDependencies().Add(this, [](TEvCompilerFileDependencies& A) { A.Accepted = false; });
  EXPECT_EQ(BPOSTFILEDEPENDENCIES("unit2.pas", nullptr, 5), 0);
  EvCompilerFileDependencies().Remove(this);
  ASSERT_NE(Record.Dependencies(Dir / "unit2.pas"), nullptr);
  EXPECT_TRUE(Record.Dependencies(Dir / "unit2.pas")->empty());
  EXPECT_EQ(BPOSTFILEDEPENDENCIES(nullptr, Deps, 3), 0);
  // What a background compile reports is taken and goes no further.
  std::atomic<int32_t> FromThread{-1};
  StartBackgroundCompile([&] { FromThread = BPOSTFILEDEPENDENCIES("unit3.pas", Deps, 1); });
  WaitForBackgroundCompile();
  EXPECT_EQ(FromThread.load(), 1);
  EXPECT_EQ(Record.Dependencies(Dir / "unit3.pas"), nullptr);
  EXPECT_EQ(Record.Count(), 2);
  // A record that is gone listens no more.
  { TFileDependencyRecord Gone; }
  EXPECT_EQ(BPOSTFILEDEPENDENCIES("unit4.pas", Deps, 1), 1);
}

class TCountingProgress : public IProgressMonitor {
 public:
  void Update(int Kind, const std::string& Text, int32_t, int32_t) override { Updates.push_back(std::to_string(Kind) + " " + Text); }
  void IncCount(TMsgKind Kind) override { ++Counts[Kind]; }
  void SetCount(TMsgKind Kind, int32_t N) override { Counts[Kind] = N; }
  std::vector<std::string> Updates;
  std::map<int, int> Counts;
};

TEST_F(FileServices, ProgressRedrawsAtMostEvery81MillisecondsForTheSameTextAndCarriesTheCancel) {
  auto P = std::make_shared<TCountingProgress>();
  SetProgressMonitor(P);
  int64_t Now = 1000;
  SetFileServicesClock([&] { return Now; });
  EXPECT_EQ(BPROGRESS(1, "unit1", 0, 0), 0);
  Now += 80;
  BPROGRESS(1, "unit1", 1, 0);  // the same within 81 ms: not drawn
  BPROGRESS(1, "unit2", 2, 0);  // other text: drawn
  BPROGRESS(2, "unit2", 2, 0);  // other kind: drawn
  Now += 81;
  BPROGRESS(2, "unit2", 3, 0);  // 81 ms on: drawn
  EXPECT_EQ(P->Updates, (std::vector<std::string>{"1 unit1", "1 unit2", "2 unit2", "2 unit2"}));

  BMSG(msgError, "/a.pas", 3, 1, "bad");
  BMSG(msgWarn, "/a.pas", 4, 1, "odd");
  const char* Extra[] = {"first", "second"};
  EXPECT_EQ(BMULTILINEMESSAGE(msgError, "/a.pas", 5, 1, "many", Extra, 2), 1);
  EXPECT_EQ(P->Counts[msgError], 1);  // a multi-line message is not counted
  EXPECT_EQ(P->Counts[msgWarn], 1);
  EXPECT_EQ(MessageViewText(), "[Error] a.pas(3): bad\n[Warning] a.pas(4): odd\n[Error] a.pas(5): many\n  first\n  second\n");
  BSETERRORCOUNT(7);
  EXPECT_EQ(P->Counts[msgError], 7);
  // A personality that handles messages itself takes them all.
  std::vector<std::string> Own;
  SetPersonalityMessageHook([&](const TCompilerMessage& M) { Own.push_back(M.Text); });
  BMSG(msgHint, "", 0, 0, "mine");
  SetPersonalityMessageHook(nullptr);
  EXPECT_EQ(Own, std::vector<std::string>{"mine"});
  EXPECT_EQ(LineBufferList().GetGroup("Build")->GetCount(), 3);

  DisableBackgroundCompiling();
  DisableBackgroundCompiling();
  EnableBackgroundCompiling();
  try {
    StartBackgroundCompile([] {});
    ADD_FAILURE();
  } catch (const EBackgroundCompileNotAllowed& E) {
    EXPECT_EQ(E.Message(), "Cannot create background compile thread. Disabled count = 1");
  }
  EnableBackgroundCompiling();
  EnableBackgroundCompiling();  // never below zero
  EXPECT_FALSE(BackgroundCompileDisabled());
}

TEST_F(FileServices, DirectMessagesReachTheServiceOnTheCompileThreadWithoutWaitingForTheMainThread) {
  MainThreadQueue().SetMainThread();
  auto P = std::make_shared<TCountingProgress>();
  SetProgressMonitor(P);
  std::vector<std::thread::id> CalledOn;  // the service runs on one thread at a time here
  SetCompilerMessageService([&](const TCompilerMessage&) { CalledOn.push_back(std::this_thread::get_id()); });
  SetDirectCompilerMessages(true);
  std::atomic<bool> Sent{false};
  std::thread::id CompileThread;
  StartBackgroundCompile([&] {
    CompileThread = std::this_thread::get_id();
    BMSG(msgWarn, "a.pas", 1, 1, "direct");
    Sent = true;
  });
  // This thread does not serve the queue meanwhile: the message arrives without it.
  EXPECT_TRUE(test::WaitUntil([&] { return Sent.load(); }));
  WaitForBackgroundCompile();
  EXPECT_EQ(CalledOn, std::vector<std::thread::id>{CompileThread});
  EXPECT_EQ(P->Counts[msgWarn], 1);  // counted on the main thread
  // Switched off, the message is handed to the main thread.
  SetDirectCompilerMessages(false);
  StartBackgroundCompile([] { BMSG(msgWarn, "a.pas", 2, 1, "handed over"); });
  WaitForBackgroundCompile();
  ASSERT_EQ(CalledOn.size(), 2u);
  EXPECT_EQ(CalledOn[1], std::this_thread::get_id());
  // Without a service the message becomes a line, which only the main thread makes.
  SetCompilerMessageService(nullptr);
  SetDirectCompilerMessages(true);
  StartBackgroundCompile([] { BMSG(msgHint, "", 0, 0, "a line"); });
  WaitForBackgroundCompile();
  EXPECT_EQ(MessageViewText(), "[Hint] a line\n");
  EXPECT_EQ(P->Counts[msgHint], 1);
}

class TAnswer : public IUserQuestions {
 public:
  explicit TAnswer(int A) : FAnswer(A) {}
  int MessageDlg(const std::string& M, TMsgDlgType, unsigned, int) override {
    Asked.push_back(M);
    return FAnswer;
  }
  void ShowMessage(const std::string&) override {}
  bool PromptForFileName(std::string&, const std::string&, bool) override { return false; }
  std::vector<std::string> Asked;

 private:
  int FAnswer;
};

TEST_F(FileServices, ABackgroundCompileReadsOpenFilesThroughTheMainThreadAndStopsOnCancel) {
  const std::string Open = Write("open.pas", "saved\n");
  const std::string Closed = Write("closed.pas", "closed\n");
  auto B = TEditBuffer::Create(Open, true);
  auto V = B->OpenNewView();
  InsertString(V->EkView(), "typed ");

  std::atomic<bool> Read{false};
  std::string SeenOpen, SeenClosed;
  std::atomic<int> Progressed{0};
  StartBackgroundCompile([&] {
    SeenOpen = ReadThrough(Open);
    SeenClosed = ReadThrough(Closed);
    BMSG(msgHint, Open.c_str(), 1, 1, "from the thread");
    Read = true;
    while (BPROGRESS(0, "compiling", 0, 0) == 0) {
      ++Progressed;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  EXPECT_TRUE(GetBackgroundCompileActive());
  ASSERT_TRUE(test::PumpUntil([&] { return Read.load(); })) << "the compile thread did not read the files";
  // The user may not want to stop.
  auto No = std::make_shared<TAnswer>(mrNo);
  SetQuestions(No);
  EXPECT_FALSE(CancelBackgroundCompile(true));
  EXPECT_TRUE(GetBackgroundCompileActive());
  EXPECT_EQ(No->Asked, std::vector<std::string>{"Cancel the background compile?"});
  SetQuestions(nullptr);
  EXPECT_THROW(StartBackgroundCompile([] {}), EBackgroundCompileNotAllowed);
  EXPECT_TRUE(CancelBackgroundCompile(false));
  EXPECT_FALSE(GetBackgroundCompileActive());
  EXPECT_EQ(SeenOpen, "typed saved\n");
  EXPECT_EQ(SeenClosed, "closed\n");
  EXPECT_EQ(MessageViewText(), "[Hint] open.pas(1): from the thread\n");
  EXPECT_EQ(OpenHandleCount(), 0);
  EXPECT_TRUE(CancelBackgroundCompile(true));  // nothing runs: nothing to ask
}

}  // namespace
}  // namespace nxs
