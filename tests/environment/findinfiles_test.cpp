// Find in files: the walk over directories (order, masks, directories reached twice, groups of
// directories, files named as directories, folders that cannot be read), files read in scans,
// threads, cancel and the hits that wait between them, and the search group a search fills.
#include "environment/findinfiles.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "environment/dirgroups.h"
#include "options/envoptions.h"
#include "environment/resstrings.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editview.h"
#include "modules/formfile.h"
#include "modules/modulelist.h"
#include "modules/sourcemodule.h"
#include "shared/dialogs.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "support/run.h"
#include "support/tempdir.h"
#include "support/threads.h"
#include "support/wait.h"

namespace nxs {
namespace {

using Strings = std::vector<std::string>;

TEST(SearchTexts, FormTextTitlesListsAndMasks) {
  // A "'" only where plain characters and coded ones meet.
  EXPECT_EQ(FormTextOf("abc"), "abc");
  EXPECT_EQ(FormTextOf("ab\xC3\xA9"), "ab'#233");
  EXPECT_EQ(FormTextOf("\xC3\xA9x\xC3\xA9"), "#233'x'#233");
  EXPECT_EQ(FormTextOf("\xC3\xA9\xE2\x82\xAC"), "#233#8364");
  // A broken sequence gives its lead byte alone: the plain character after it stays.
  EXPECT_EQ(FormTextOf("\xC3(x"), "#195'(x");
  EXPECT_EQ(FormTextOf("a\xE2\x82"), "a'#226#130");
  EXPECT_EQ(SearchGroupTitle("0123456789012345678901234"), "Search for '01234567890123456789...'");
  EXPECT_EQ(SearchGroupTitle("a&b"), "Search for 'a&&b'");
  EXPECT_EQ(SplitSearchList(" *.PAS;\t *.inc ,, x "), (Strings{"*.PAS", "*.inc", "x"}));
  EXPECT_TRUE(MatchesSearchMask("unit1.pas", "*.pas"));
  EXPECT_TRUE(MatchesSearchMask("makefile", "*.*"));
  EXPECT_TRUE(MatchesSearchMask("a.b.c", "a?b*"));
  EXPECT_TRUE(MatchesSearchMask("a.b", "a?b*"));  // a star at the end takes nothing too
  EXPECT_FALSE(MatchesSearchMask("unit1.pasx", "*.pas"));
  EXPECT_FALSE(MatchesSearchMask("x", "x?"));
  EXPECT_TRUE(MatchesSearchMask("Unit1.PAS", "*.pas"));  // case does not count
  EXPECT_TRUE(MatchesSearchMask("unit1.pas", "*.PAS"));
  EXPECT_TRUE(MatchesSearchMask("*x.pas", "*.pas"));    // a star in the name is a byte like any other
  EXPECT_FALSE(MatchesSearchMask("ab", "[ab]b"));       // no sets in a search mask
}

void Write(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

class FindTree : public ::testing::Test {
 protected:
  void SetUp() override {
    ::mkdir((T / "b").c_str(), 0755);
    ::mkdir((T / "a").c_str(), 0755);
    ::mkdir((T / ".hidden").c_str(), 0755);
    Write(T / "z.pas", "hit\n");
    Write(T / "a/2.PAS", "hit\n");
    Write(T / "a/1.inc", "x\nhit");
    Write(T / "b/c.txt", "hit\n");
    Write(T / ".hidden/d.pas", "hit\n");
  }
  // The store's directory groups are these, read afresh; none when empty.
  static void SetGroups(const std::vector<std::pair<std::string, std::string>>& Groups) {
    SettingsStore().EraseSection(GroupsSection);
    for (const auto& [Name, List] : Groups) SettingsStore().WriteString(GroupsSection, Name, List);
    ResetDirectoryGroups();
  }
  static constexpr const char* GroupsSection = "Search\\DirectoryLists";
  std::vector<std::string> Files(TFindRequest R) {
    R.Text = "hit";
    std::vector<std::string> Out;
    TFindEngine E(R);
    E.Run([&](const TFileHits& F) {
      const std::string Name = F.FileName.substr(T.Path().size() + 1);
      if (!F.Hits.empty() && (Out.empty() || Out.back() != Name)) Out.push_back(Name);
    });
    return Out;
  }
  test::TTempDir T;
};

TEST_F(FindTree, WalksInNameOrderWithFoldedMasksAndSkipsDotDirectories) {
  TFindRequest R;
  R.Directories = T.Path();
  R.Masks = "*.PAS; *.inc";
  R.Advanced = AdvFlag(asfIncludeSubDirs);
  EXPECT_EQ(Files(R), (Strings{"a/1.inc", "a/2.PAS", "z.pas"}));
  R.Advanced = 0;
  EXPECT_EQ(Files(R), (Strings{"z.pas"}));
  R.Masks = "";
  R.Advanced = AdvFlag(asfIncludeSubDirs);
  EXPECT_EQ(Files(R), (Strings{"a/1.inc", "a/2.PAS", "b/c.txt", "z.pas"}));
}

TEST_F(FindTree, ADirectoryReachedTwiceIsSearchedOnce) {
  ASSERT_EQ(::symlink((T / "a").c_str(), (T / "b/link").c_str()), 0);
  ASSERT_EQ(::symlink(T.Path().c_str(), (T / "a/loop").c_str()), 0);
  TFindRequest R;
  R.Directories = T.Path() + " , " + T / "a/";
  R.Masks = "*.pas;*.inc";
  R.Advanced = AdvFlag(asfIncludeSubDirs);
  EXPECT_EQ(Files(R), (Strings{"a/1.inc", "a/2.PAS", "z.pas"}));
}

TEST_F(FindTree, AFileNamedTwiceInAListIsSearchedOnce) {
  TFindRequest R;
  R.Scope = asOpenFiles;
  R.Files = {T / "z.pas", T / "a/1.inc", T / "z.pas"};
  R.Threads = 2;
  EXPECT_EQ(Files(R), (Strings{"z.pas", "a/1.inc"}));
}

TEST_F(FindTree, AMissingPathStopsTheSearchBeforeItStarts) {
  TFindRequest R;
  R.Directories = T.Path() + ";" + T / "missing";
  try {
    TFindEngine E(R);
    FAIL() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(std::string(E.what()), "Cannot find the specified path: \"" + T / "missing/" + "\"");
  }
}

TEST_F(FindTree, DirectoryGroupsUnwindAndACycleEnds) {
  SetGroups({{"one", T / "a" + ";@two"}, {"Two", "@ONE, " + T / "b"}});
  TDirectoryGroups& G = DirectoryGroups();
  EXPECT_TRUE(G.IsValidGroup("@two"));
  EXPECT_FALSE(G.IsValidGroup("two"));  // a reference needs its prefix
  EXPECT_FALSE(G.IsValidGroup("@three"));
  Strings List{"stale"};
  G.GetDirectoryList("two", List);
  EXPECT_EQ(List, (Strings{"@ONE, " + T / "b"}));  // split at ";" only
  EXPECT_EQ(G.Unwind("@one", false), T / "a;@two");
  EXPECT_EQ(G.Unwind("one", true), T / "a;" + T / "b");
  // The group that closes the cycle is named once however often it is met.
  Strings Dirs, Cycles;
  G.Unwind("@one", Dirs, true, &Cycles);
  G.Unwind("@Two", Dirs, true, &Cycles);
  EXPECT_EQ(Dirs, (Strings{T / "a", T / "b", T / "a", T / "b"}));
  EXPECT_EQ(Cycles, (Strings{"one", "Two"}));
  EXPECT_EQ(PrepareSearchDirectories("@one"), (Strings{T / "a/", T / "b/"}));
  EXPECT_EQ(PrepareSearchDirectories("@nothing").size(), 1u);  // the current directory

  // Saving writes the section again: a group dropped here is gone from the store.
  G.DeleteGroup("@two");
  G.SetGroup("three", T / "b");
  ResetDirectoryGroups();
  EXPECT_FALSE(SettingsStore().ValueExists(GroupsSection, "two"));
  EXPECT_EQ(SettingsStore().ReadString(GroupsSection, "three"), T / "b");
  EXPECT_EQ(DirectoryGroups().Unwind("@one", true), T / "a");
  SetGroups({});
}

TEST_F(FindTree, FormFilesAreSearchedInTextFormAndForTheCodedText) {
  ::mkdir((T / "f").c_str(), 0755);
  const std::string Form = "object F: TF\n  Caption = 'Gr'#252'n'\nend\n";
  Write(T / "f/binary.vfm", FormTextToBinary(Form));
  Write(T / "f/plain.pas", "Gr\xC3\xBCn\n");
  Write(T / "f/text.LFM", Form);
  Write(T / "f/unit.pas", "Caption := 'Gr'#252'n';\n");  // not a form: searched once
  TFindRequest R;
  R.Text = "gr\xC3\xBCn";
  R.Directories = T / "f";
  Strings Found;
  TFindEngine(R).Run([&](const TFileHits& F) {
    for (const auto& H : F.Hits) Found.push_back(F.FileName.substr(T.Path().size() + 3) + ":" + std::to_string(H.Line) + ":" + std::string(F.LineText(H)));
  });
  // The binary form reads as text with its characters as they are; the text form holds them
  // coded.
  EXPECT_EQ(Found, (Strings{"binary.vfm:2:  Caption = 'Gr\xC3\xBCn'", "plain.pas:1:Gr\xC3\xBCn",
                            "text.LFM:2:  Caption = 'Gr'#252'n'"}));
  // A plain text finds the binary form's text too.
  R.Text = "Caption";
  Found.clear();
  TFindEngine(R).Run([&](const TFileHits& F) { Found.push_back(F.FileName.substr(T.Path().size() + 3)); });
  EXPECT_EQ(Found, (Strings{"binary.vfm", "text.LFM", "unit.pas"}));
}

// "file:line:column" of every hit, and "! problem" for each problem, as the engine hands
// them over; Runs counts the hand-overs of hits.
Strings Search(TFindRequest R, size_t* Runs = nullptr) {
  Strings Out;
  TFindEngine(R).Run([&](const TFileHits& F) {
    if (!F.Hits.empty() && Runs) ++*Runs;
    for (const auto& H : F.Hits) Out.push_back(F.FileName + ":" + std::to_string(H.Line) + ":" + std::to_string(H.CharColumn));
    if (!F.Problem.empty()) Out.push_back("! " + F.Problem);
  });
  return Out;
}

TEST_F(FindTree, AFileOfManyScansIsSearchedAsOneText) {
  // Random lines of every break, with a CR LF pair and a LF CR pair split by the scan's
  // boundaries, and a line longer than a scan.
  std::mt19937 Random(20);
  const char* Pieces[] = {"hit", "x", "\n", "\r\n", "\r", "\n\r", "\xC3\xA9", "  "};
  std::string Text = "\xEF\xBB\xBF";
  while (Text.size() < 4 * ScanSize) Text += Pieces[Random() % std::size(Pieces)];
  Text.replace(ScanSize - 1, 2, "\r\n");
  Text.replace(2 * ScanSize - 2, 2, "\n\r");
  Text.insert(3 * ScanSize, std::string(ScanSize + 100, 'y') + "hit");
  Write(T / "big.txt", Text);
  TLineMatcher M("hit", {sfCase}, false);
  TFoundHits Hits;
  M.Search(std::string_view(Text).substr(3), Hits);
  Strings Expected;
  for (const auto& H : Hits.Hits) Expected.push_back(T / "big.txt:" + std::to_string(H.Line) + ":" + std::to_string(H.CharColumn));
  ASSERT_GT(Expected.size(), 1000u);
  TFindRequest R;
  R.Text = "hit";
  R.Flags = {sfCase};
  R.Scope = asOpenFiles;
  R.Files = {T / "big.txt"};
  EXPECT_EQ(Search(R), Expected);
  R.Flags = {sfCase, sfRegExp};
  R.Text = "h[i]t";
  EXPECT_EQ(Search(R), Expected);
}

TEST_F(FindTree, ALineTooLongToHoldIsPassedOverAndReportedAndTheRestSearched) {
  // Line 2 is a run of zero bytes past the limit (a sparse file: nothing is written).
  const std::string Name = T / "sparse.bin";
  const int Fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(Fd, 0);
  const off_t Tail = static_cast<off_t>(MaxSearchedLine + ScanSize + 4);
  ASSERT_EQ(::pwrite(Fd, "hit\n", 4, 0), 4);
  ASSERT_EQ(::pwrite(Fd, "\r\nx hit\n", 8, Tail), 8);
  ::close(Fd);
  TFindRequest R;
  R.Text = "hit";
  R.Scope = asOpenFiles;
  R.Files = {Name};
  EXPECT_EQ(Search(R), (Strings{Name + ":1:1", Name + ":3:3",
                                "! Cannot read file \"" + Name + "\": line 2 is longer than 16 MB and was not searched"}));
  // A CR alone ends the passed-over line as the last byte of a read (the second read of the
  // line): the line after it is searched.
  const std::string CrName = T / "sparsecr.bin";
  const int CrFd = ::open(CrName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(CrFd, 0);
  const off_t Cr = static_cast<off_t>(4 + 2 * MaxSearchedLine - 1);
  ASSERT_EQ(::pwrite(CrFd, "hit\n", 4, 0), 4);
  ASSERT_EQ(::pwrite(CrFd, "\rx hit\n", 8, Cr), 8);
  ::close(CrFd);
  R.Files = {CrName};
  EXPECT_EQ(Search(R), (Strings{CrName + ":1:1", CrName + ":3:3",
                                "! Cannot read file \"" + CrName + "\": line 2 is longer than 16 MB and was not searched"}));
}

TEST_F(FindTree, FilesAndFoldersThatCannotBeReadAreReportedInTheirPlace) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs another user than the files' owner: run as the superuser";
  Write(T / "a/locked.pas", "hit\n");
  ::mkdir((T / "a/shut").c_str(), 0755);
  Write(T / "a/shut/in.pas", "hit\n");
  ASSERT_EQ(::chmod((T / "a/locked.pas").c_str(), 0), 0);
  ASSERT_EQ(::chmod((T / "a/shut").c_str(), 0), 0);
  for (const char* D : {"a", "b", ".hidden"}) ::chmod((T / D).c_str(), 0755);
  T.OpenToAll();
  TFindRequest R;
  R.Text = "hit";
  R.Directories = T.Path();
  R.Masks = "*.pas";
  R.Advanced = AdvFlag(asfIncludeSubDirs);
  for (unsigned Threads : {1u, 3u}) {
    R.Threads = Threads;
    const std::string Seen = test::RunUnprivileged([&] {
      std::string Out;
      for (const auto& L : Search(R)) Out += L + "\n";
      return Out;
    });
    EXPECT_EQ(Seen, T / "a/2.PAS:1:1\n" + "! Cannot read file \"" + T / "a/locked.pas" + "\": Permission denied\n" +
                        "! Cannot read folder \"" + T / "a/shut/" + "\": Permission denied\n" + T / "z.pas:1:1\n")
        << Threads;
  }
  // A directory named for the search that cannot be read stops it before it starts, with
  // the system's text.
  R.Directories = T / "a/shut";
  EXPECT_EQ(test::RunUnprivileged([&] {
    try {
      TFindEngine E(R);
    } catch (const std::exception& E) {
      return std::string(E.what());
    }
    return std::string("(started)");
  }), "Permission denied");
}

TEST_F(FindTree, AFileNamedWhereADirectoryIsExpectedIsSearchedWhateverTheMasks) {
  TFindRequest R;
  R.Text = "hit";
  R.Masks = "*.inc";
  R.Directories = T / "z.pas;" + T / "b";
  EXPECT_EQ(Files(R), (Strings{"z.pas"}));
  R.Directories.clear();
  R.DirectoryList = {T / "a", T / "z.pas", T / "z.pas"};
  EXPECT_EQ(Files(R), (Strings{"a/1.inc", "z.pas"}));
  EXPECT_EQ(PrepareSearchDirectories("", {T / "z.pas/", T / "a"}), (Strings{T / "z.pas", T / "a/"}));
}

TEST_F(FindTree, DirectoryNamesInAListStayWhole) {
  for (const char* D : {"x,y", "p;q", " blank ", "$(NXS)"}) {
    ::mkdir((T / D).c_str(), 0755);
    Write(T / (std::string(D) + "/f.pas"), "hit\n");
  }
  TFindRequest R;
  R.Text = "hit";
  R.DirectoryList = {T / "x,y", T / "p;q", T / " blank ", T / "$(NXS)"};
  EXPECT_EQ(Files(R), (Strings{"x,y/f.pas", "p;q/f.pas", " blank /f.pas", "$(NXS)/f.pas"}));
  // A group by its name is still a group.
  SetGroups({{"both", T / "a;" + T / "b"}});
  R.DirectoryList = {"@both"};
  R.Masks = "*.pas;*.txt";
  EXPECT_EQ(Files(R), (Strings{"a/2.PAS", "b/c.txt"}));
  SetGroups({});
}

TEST_F(FindTree, HitsComeAsTheyAreFoundAndWaitInBoundsInTheOrderOfOneThread) {
  // More hits per file than may wait, in more files than threads: every thread waits for
  // room at some point, and the order is that of one thread.
  std::string Many;
  for (int I = 0; I < 5000; ++I) Many += "hit hit\n";
  for (int F = 0; F < 6; ++F) Write(T / ("b/m" + std::to_string(F) + ".pas"), Many);
  static_assert(10000 > TFindEngine::HeadRoom && 6 * 10000 > TFindEngine::AheadRoom);
  TFindRequest R;
  R.Text = "hit";
  R.Directories = T / "b";
  R.Masks = "*.pas";
  R.Threads = 1;
  size_t Runs = 0;
  const Strings One = Search(R, &Runs);
  ASSERT_EQ(One.size(), 6u * 10000u);
  // Runs of a bounded size, not one per file.
  EXPECT_GE(Runs, 6u * 10000u / TLineMatcher::FlushAt);
  for (unsigned Threads : {2u, 4u}) {
    R.Threads = Threads;
    EXPECT_EQ(Search(R), One) << Threads;
  }
  R.Scope = asOpenFiles;
  for (int F = 0; F < 6; ++F) R.Files.push_back(T / ("b/m" + std::to_string(F) + ".pas"));
  R.Threads = 3;
  EXPECT_EQ(Search(R), One);
}

TEST_F(FindTree, ManyThreadsGiveTheOrderOfOneAndCancelStopsThemAll) {
  // More files than the walk goes ahead of the hand-over: it waits for it, and a cancel
  // meanwhile stops it too.
  for (int I = 0; I < 3000; ++I) Write(T / ("b/f" + std::to_string(10000 + I) + ".pas"), "x\nhit hit\n");
  TFindRequest R;
  R.Directories = T.Path();
  R.Advanced = AdvFlag(asfIncludeSubDirs);
  R.Threads = 1;
  auto One = Files(R);
  R.Threads = 4;
  EXPECT_EQ(Files(R), One);
  EXPECT_EQ(One.size(), 3004u);
  R.Threads = 2;
  EXPECT_EQ(Files(R), One);

  // A request for more threads than is sensible gets a few per core; never more than files.
  const unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
  EXPECT_EQ(SearchThreadCount(100000, 9600), MaxThreadsPerCore * Cores);
  EXPECT_EQ(SearchThreadCount(0, 9600), Cores);
  EXPECT_EQ(SearchThreadCount(4, 2), 2u);
  EXPECT_EQ(SearchThreadCount(4, 0), 1u);
  R.Threads = 4;

  R.Text = "hit";
  TFindEngine E(R);
  int Seen = 0;
  bool Finished = E.Run([&](const TFileHits&) {
    if (++Seen == 10) E.Cancel();
  });
  EXPECT_FALSE(Finished);
  EXPECT_EQ(Seen, 10);  // nothing is handed over after the cancel
}

// The search object with its message group, on a main thread the test pumps.
class FindInFiles : public FindTree {
 protected:
  struct TBoxes : IUserQuestions {
    int MessageDlg(const std::string& M, TMsgDlgType, unsigned, int D) override {
      Shown.push_back(M);
      return D;
    }
    void ShowMessage(const std::string& M) override { Shown.push_back(M); }
    bool PromptForFileName(std::string&, const std::string&, bool) override { return false; }
    Strings Shown;
  };
  void SetUp() override {
    FindTree::SetUp();
    MainThreadQueue().SetMainThread();
    SetQuestions(Boxes);
    LineBufferList().AddList("Build");  // the group that always stays
  }
  void TearDown() override {
    ResetFindInFiles();
    SetOpenFileNamesHook(nullptr);
    SetQuestions(nullptr);
    FinalizeMessageLines();
  }
  TSearchLineBuffer* Search(const std::string& Text, TAdvancedSearchFlags Adv = AdvFlag(asfIncludeSubDirs)) {
    TFindRequest R;
    R.Text = Text;
    R.Directories = T.Path();
    R.Masks = "*.pas";
    R.Advanced = Adv;
    DoFindInFiles(R);
    if (!test::PumpUntil([] { return RunningSearch()->Finished(); })) {
      ADD_FAILURE() << "the search did not finish";
      return nullptr;
    }
    MainThreadQueue().ProcessPending();
    return SearchGroups().empty() ? nullptr : SearchGroups().back();
  }
  Strings Lines(TLineBuffer* G) {
    Strings Out;
    for (int I = 0; I < G->GetCount(); ++I) {
      Out.push_back(G->GetLines(I)->GetLineText());
      for (int C = 0; C < G->GetLines(I)->GetChildCount(); ++C) Out.push_back("  " + G->GetLines(I)->GetChild(C)->GetLineText());
    }
    return Out;
  }
  std::shared_ptr<TBoxes> Boxes = std::make_shared<TBoxes>();
};

TEST_F(FindInFiles, HitsFillOneGroupGroupedByFileWhenAsked) {
  TSearchLineBuffer* G = Search("hit", AdvFlag(asfIncludeSubDirs) | AdvFlag(asfGroupByFile));
  ASSERT_NE(G, nullptr);
  EXPECT_EQ(G->GetGroupName(), "Search for 'hit'");
  EXPECT_EQ(Lines(G), (Strings{T / "a/2.PAS [1]", "  " + T / "a/2.PAS(1): hit", T / "z.pas [1]",
                               "  " + T / "z.pas(1): hit"}));
  EXPECT_TRUE(Boxes->Shown.empty());
  // Without separate results the next search takes the group's place.
  G = Search("hit", AdvFlag(asfIncludeSubDirs));
  EXPECT_EQ(SearchGroups().size(), 1u);
  EXPECT_EQ(Lines(G), (Strings{T / "a/2.PAS(1): hit", T / "z.pas(1): hit"}));
  Search("it", AdvFlag(asfSeparateResults));
  EXPECT_EQ(SearchGroups().size(), 2u);
  // The same text again reuses its group, emptied, as the current one.
  G = Search("hit", AdvFlag(asfSeparateResults));
  EXPECT_EQ(SearchGroups().size(), 2u);
  EXPECT_EQ(SearchGroups().back(), G);
  EXPECT_EQ(Lines(G), (Strings{T / "z.pas(1): hit"}));
}

TEST_F(FindInFiles, ClearingTheGroupWhileAGroupedSearchRunsGivesTheFileATitleAgain) {
  // The group is cleared after the first batch of the file's hits: the rest come after.
  std::string Many;
  for (int I = 0; I < 100000; ++I) Many += "hit\n";
  Write(T / "b/many.pas", Many);
  TFindRequest R;
  R.Text = "hit";
  R.Directories = T / "b";
  R.Masks = "*.pas";
  R.Advanced = AdvFlag(asfGroupByFile);
  DoFindInFiles(R);
  int Cleared = -1;
  RunningSearch()->SetOnReported([&] {
    if (Cleared >= 0) return;
    TSearchLineBuffer* G = SearchGroups().back();
    Cleared = G->GetLines(0)->GetChildCount();
    LineBufferList().ClearList(G);
  });
  ASSERT_TRUE(test::PumpUntil([] { return RunningSearch()->Finished(); })) << "the search did not finish";
  MainThreadQueue().ProcessPending();
  ASSERT_GT(Cleared, 0);
  ASSERT_LT(Cleared, 100000);
  TSearchLineBuffer* G = SearchGroups().back();
  ASSERT_EQ(G->GetCount(), 1);
  EXPECT_EQ(G->GetLines(0)->GetLineText(), T / "b/many.pas [" + std::to_string(100000 - Cleared) + "]");
}

TEST_F(FindInFiles, AFileThatCannotBeReadIsALineOfTheGroupInItsPlace) {
  Write(T / "a/3.pas", "x\n");
  // A line past the limit: the file is reported after its hits.
  const std::string Name = T / "a/3.pas";
  ASSERT_EQ(::truncate(Name.c_str(), static_cast<off_t>(MaxSearchedLine + 10)), 0);
  const int Fd = ::open(Name.c_str(), O_WRONLY | O_APPEND);
  ASSERT_EQ(::write(Fd, "\nhit\n", 5), 5);
  ::close(Fd);
  TSearchLineBuffer* G = Search("hit", AdvFlag(asfIncludeSubDirs) | AdvFlag(asfGroupByFile));
  ASSERT_NE(G, nullptr);
  const std::string Problem = "Cannot read file \"" + Name + "\": line 2 is longer than 16 MB and was not searched";
  EXPECT_EQ(Lines(G), (Strings{T / "a/2.PAS [1]", "  " + T / "a/2.PAS(1): hit", Name + " [1]", "  " + Name + "(3): hit",
                               Problem, T / "z.pas [1]", "  " + T / "z.pas(1): hit"}));
  EXPECT_EQ(RunningSearch()->Problems(), Strings{Problem});
}

TEST_F(FindInFiles, ACycleOfDirectoryGroupsIsReportedOnceAndTheRestSearched) {
  SetGroups({{"one", T / "a" + ";@two;@one"}, {"two", "@one;" + T / "b"}});
  TFindRequest R;
  R.Text = "hit";
  R.Directories = "@one;@two";
  R.Masks = "*.inc;*.txt";
  DoFindInFiles(R);
  ASSERT_TRUE(test::PumpUntil([] { return RunningSearch()->Finished(); })) << "the search did not finish";
  MainThreadQueue().ProcessPending();
  EXPECT_EQ(Boxes->Shown, (Strings{"The directory group 'one' refers back to itself; the reference is not followed",
                                   "The directory group 'two' refers back to itself; the reference is not followed"}));
  ASSERT_FALSE(SearchGroups().empty());
  EXPECT_EQ(Lines(SearchGroups().back()), (Strings{T / "a/1.inc(2): hit", T / "b/c.txt(1): hit"}));
  SetGroups({});
}

TEST_F(FindInFiles, NoHitShowsTheNotFoundBox) {
  EXPECT_EQ(Search("absent"), nullptr);
  EXPECT_EQ(Boxes->Shown, (Strings{"Search string 'absent' not found"}));
}

TEST_F(FindInFiles, AFileOpenInTheEditorIsSearchedInItsUnsavedText) {
  const std::string Open = T / "z.pas";
  SetOpenFileNamesHook([Open] { return Strings{Open}; });
  EvCompilerFileOpen().Add(this, [Open](TEvCompilerFileOpen& A) {
    if (A.FileName == Open) A.Stream = std::make_shared<TCompilerStream>(TCompilerStream::skMemory, "new\nhit\n");
  });
  TSearchLineBuffer* G = Search("hit", AdvFlag(asfIncludeSubDirs));
  EvCompilerFileOpen().Remove(this);
  ASSERT_NE(G, nullptr);
  EXPECT_EQ(Lines(G), (Strings{T / "a/2.PAS(1): hit", Open + "(2): hit"}));
}

TEST_F(FindInFiles, TheOpenFilesAreTheModulesFilesSearchedInTheirEditorText) {
  InitSourceModules();
  auto* M = dynamic_cast<TSourceModule*>(OpenFile(T / "z.pas", false, true));
  ASSERT_NE(M, nullptr);
  InsertString(M->ShowEditor().EkView(), "unsaved hit\r");
  EXPECT_EQ(OpenFileNames(), Strings{T / "z.pas"});
  TFindRequest R;
  R.Text = "hit";
  R.Scope = asOpenFiles;
  DoFindInFiles(R);
  ASSERT_TRUE(test::PumpUntil([] { return RunningSearch()->Finished(); })) << "the search did not finish";
  MainThreadQueue().ProcessPending();
  ASSERT_FALSE(SearchGroups().empty());
  EXPECT_EQ(Lines(SearchGroups().back()), (Strings{T / "z.pas(1): unsaved hit", T / "z.pas(2): hit"}));
  TerminateFindInFiles();
  M->UnModifySource();
  DoneSourceModules();
}

TEST_F(FindInFiles, ACancelledSearchEndsWithTheTerminatedLineAndNoBox) {
  for (int I = 0; I < 2000; ++I) Write(T / ("b/f" + std::to_string(10000 + I) + ".pas"), "hit\n");
  TFindRequest R;
  R.Text = "hit";
  R.Directories = T.Path();
  R.Advanced = AdvFlag(asfIncludeSubDirs);
  DoFindInFiles(R);
  RunningSearch()->Terminate();
  ASSERT_TRUE(test::PumpUntil([] { return RunningSearch()->Finished(); })) << "the search did not finish";
  MainThreadQueue().ProcessPending();
  ASSERT_FALSE(SearchGroups().empty());
  TLineBuffer* G = SearchGroups().back();
  EXPECT_EQ(G->GetLines(G->GetCount() - 1)->GetLineText(), "* Search terminated by user *");
  EXPECT_LT(G->GetCount(), 2000);
  EXPECT_TRUE(Boxes->Shown.empty());
}

TEST_F(FindInFiles, TheProgressWindowFollowsTheSearchAndItsCancelStopsEveryThread) {
  TSearchLineBuffer* G = Search("hit");
  ASSERT_NE(G, nullptr);
  EXPECT_FALSE(SearchProgress().Visible());
  EXPECT_EQ(SearchProgress().HitCount(), 2);
  EXPECT_EQ(SearchProgress().FileName(), T / "z.pas");  // the last file searched

  for (int I = 0; I < 3000; ++I) Write(T / ("b/f" + std::to_string(10000 + I) + ".pas"), "hit\n");
  TFindRequest R;
  R.Text = "hit";
  R.Directories = T.Path();
  R.Advanced = AdvFlag(asfIncludeSubDirs);
  R.Threads = 3;
  DoFindInFiles(R);
  EXPECT_TRUE(SearchProgress().Visible());
  // The search thread runs one step below this one (it waits for this thread to take hits,
  // once it has named itself).
  int Nice = -100;
  test::WaitUntil([&] { return (Nice = test::ThreadNice(res::SFindInFilesThread)) != -100; });
  EXPECT_EQ(Nice, std::min(19, ::getpriority(PRIO_PROCESS, 0) + 1));
  SearchProgress().Cancel();
  ASSERT_TRUE(test::PumpUntil([] { return RunningSearch()->Finished(); })) << "the search did not finish";
  MainThreadQueue().ProcessPending();
  EXPECT_FALSE(SearchProgress().Visible());
  G = SearchGroups().back();
  EXPECT_EQ(G->GetLines(G->GetCount() - 1)->GetLineText(), "* Search terminated by user *");
  EXPECT_LT(G->GetCount(), 3000);
  EXPECT_TRUE(Boxes->Shown.empty());
}

TEST_F(FindInFiles, PerformFindInFilesSearchesWhatTheDialogStored) {
  ResetEnvironmentOptions();
  bool Ok = false;
  SetFindInFilesDialog([&] {
    TEnvironmentOptions& E = EnvironmentOptions();
    E.HistoryLists().Add(hlSearchText, "HIT");
    E.SetSearchFlags(TSearchFlags{sfCase});
    E.SetOption(E.SearchOptions(), 0, "File Mask", std::string("*.pas;*.inc"));
    E.SetOption(E.SearchOptions(), 0, "Search Directory", T / "a");
    E.SetOption(E.SearchOptions(), 0, "Include Sub Dirs", true);
    E.SetOption(E.SearchOptions(), 0, "Group results by file", false);
    SettingsStore().WriteInteger(FindInFilesScopeSection, FindInFilesScopeValue, asFileMask);
    return Ok;
  });
  PerformFindInFiles();  // cancelled: nothing runs
  EXPECT_EQ(RunningSearch(), nullptr);
  EXPECT_EQ(GetAdvancedSearchFlags(), AdvFlag(asfIncludeSubDirs));
  Ok = true;
  PerformFindInFiles();
  ASSERT_NE(RunningSearch(), nullptr);
  ASSERT_TRUE(test::PumpUntil([] { return RunningSearch()->Finished(); })) << "the search did not finish";
  EXPECT_EQ(Boxes->Shown, (Strings{"Search string 'HIT' not found"}));  // case counts
  EnvironmentOptions().SetSearchFlags(TSearchFlags{});
  Ok = false;
  SetFindInFilesDialog([&] { return true; });
  PerformFindInFiles();
  ASSERT_TRUE(test::PumpUntil([] { return RunningSearch()->Finished(); })) << "the search did not finish";
  MainThreadQueue().ProcessPending();
  ASSERT_FALSE(SearchGroups().empty());
  EXPECT_EQ(Lines(SearchGroups().back()), (Strings{T / "a/1.inc(2): hit", T / "a/2.PAS(1): hit"}));
  SetFindInFilesDialog(nullptr);
  SettingsStore().DeleteValue(FindInFilesScopeSection, FindInFilesScopeValue);
  ResetEnvironmentOptions();
}

}  // namespace
}  // namespace nxs
