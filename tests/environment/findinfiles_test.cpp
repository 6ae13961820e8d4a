// Find in files: the line matcher against the kernel's line search, the walk over directories
// (order, masks, directories reached twice, groups of directories), threads and cancel, and
// the search group a search fills.
#include "environment/findinfiles.h"

#include <gtest/gtest.h>
#include <dirent.h>
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
#include "environment/options/envoptions.h"
#include "environment/resstrings.h"
#include "editor/edkrnl.h"
#include "editor/editview.h"
#include "modules/formfile.h"
#include "modules/modulelist.h"
#include "modules/sourcemodule.h"
#include "shared/dialogs.h"
#include "shared/mainthread.h"
#include "shared/settings.h"
#include "support/tempdir.h"

namespace nxs {
namespace {

std::vector<TFindHit> Match(std::string_view Text, const std::string& Pattern, TSearchFlags Flags = {}) {
  TLineMatcher M(Pattern, Flags, false);
  std::vector<TFindHit> Hits;
  M.Search(Text, Hits);
  return Hits;
}

// "line:charcol" of every hit.
std::vector<std::string> Places(const std::vector<TFindHit>& Hits) {
  std::vector<std::string> Out;
  for (const auto& H : Hits) Out.push_back(std::to_string(H.Line) + ":" + std::to_string(H.CharColumn));
  return Out;
}

using Strings = std::vector<std::string>;

TEST(LineMatcher, LinesEndAtEveryKindOfBreakAndTheLastLineNeedsNone) {
  // LF, CR, CR LF and LF CR each end one line; the final line has no break.
  EXPECT_EQ(Places(Match("a x\nb x\rc x\r\nd x\n\re x", "x")), (Strings{"1:3", "2:3", "3:3", "4:3", "5:3"}));
  EXPECT_EQ(Places(Match("x\nx\rx\r\nx\n\rxx", "x")), (Strings{"1:1", "2:1", "3:1", "4:1", "5:1", "5:2"}));
  EXPECT_EQ(Places(Match("no break at the end: hit", "hit")), (Strings{"1:22"}));
  EXPECT_TRUE(Match("", "x").empty());
  // A hit right after the last break of a file with several empty lines.
  EXPECT_EQ(Places(Match("\n\n\nx", "x")), (Strings{"4:1"}));
}

TEST(LineMatcher, ALongLineIsSearchedWholeAndTheFileGoesOn) {
  std::string Long(100000, 'a');
  Long += "needle\nnext needle\n";
  EXPECT_EQ(Places(Match(Long, "needle", {sfCase})), (Strings{"1:100001", "2:6"}));
  EXPECT_EQ(Places(Match(Long, "NEEDLE")), (Strings{"1:100001", "2:6"}));
  EXPECT_EQ(Places(Match(Long, "ne+dle$", {sfRegExp})), (Strings{"1:100001", "2:6"}));
}

// Every hit of Needle (ASCII, no break) line by line, the lines split here by hand.
Strings ExpectedPlaces(const std::string& Text, const std::string& Needle, bool Fold) {
  auto Low = [&](std::string S) {
    if (Fold)
      for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return S;
  };
  Strings Out;
  int LineNo = 1;
  size_t Start = 0;
  for (size_t I = 0; I <= Text.size(); ++I) {
    if (I < Text.size() && Text[I] != '\n' && Text[I] != '\r') continue;
    const std::string Line = Low(Text.substr(Start, I - Start));
    for (size_t P = Line.find(Low(Needle)); P != std::string::npos; P = Line.find(Low(Needle), P + Needle.size())) {
      int Chars = 0;
      for (size_t K = 0; K < P; ++K) Chars += (static_cast<unsigned char>(Line[K]) & 0xC0) != 0x80;
      Out.push_back(std::to_string(LineNo) + ":" + std::to_string(Chars + 1));
    }
    if (I == Text.size()) break;
    if (I + 1 < Text.size() && (Text[I + 1] == '\n' || Text[I + 1] == '\r') && Text[I + 1] != Text[I]) ++I;
    Start = I + 1;
    ++LineNo;
  }
  return Out;
}

TEST(LineMatcher, OneScanFindsWhatALineByLineSearchFinds) {
  // Long stretches without a hit (the break count runs over many blocks), every kind of
  // break, several hits on a line, characters of two bytes before a hit.
  std::mt19937 Random(14);
  const char* Pieces[] = {"x", "xx", "\n", "\r\n", "\r", "\n\r", "\xC3\xA9", "ab", "AB", "aB b"};
  for (int Round = 0; Round < 60; ++Round) {
    std::string Text;
    const bool Sparse = Round % 3 == 0;
    const size_t Size = Random() % (Sparse ? 200000 : 40000);
    while (Text.size() < Size) {
      const unsigned R = Random() % (Sparse ? 20000 : 1000);
      Text += R < 3 ? Pieces[7 + R] : Pieces[R % 7];
    }
    EXPECT_EQ(Places(Match(Text, "ab", {sfCase})), ExpectedPlaces(Text, "ab", false)) << Round;
    EXPECT_EQ(Places(Match(Text, "Ab")), ExpectedPlaces(Text, "ab", true)) << Round;
  }
}

TEST(LineMatcher, ATextLongerThanOneScanIsSearchedAcrossItsParts) {
  // Lines of 100 bytes past 16 MB, with hits on the lines around the 16 MB boundary.
  std::string Text;
  const std::string Line(99, 'x');
  while (Text.size() < (size_t{1} << 24) + 500) Text += Line + '\n';
  // The first hit spans the boundary itself.
  for (size_t At : {(size_t{1} << 24) - 1, (size_t{1} << 24) + 160, (size_t{1} << 24) + 250}) Text.replace(At, 2, "ab");
  const Strings Expected = ExpectedPlaces(Text, "ab", false);
  ASSERT_EQ(Expected.size(), 3u);
  EXPECT_EQ(Places(Match(Text, "ab", {sfCase})), Expected);
  EXPECT_EQ(Places(Match(Text, "a+b", {sfCase, sfRegExp})), Expected);
}

TEST(LineMatcher, EveryMatchOfALineWithColumnsInCharacters) {
  auto Hits = Match("\xC3\xA9t\xC3\xA9 ab ab\n", "ab");
  ASSERT_EQ(Hits.size(), 2u);
  EXPECT_EQ(Hits[0].ByteColumn, 7);
  EXPECT_EQ(Hits[0].CharColumn, 5);
  EXPECT_EQ(Hits[1].CharColumn, 8);
  EXPECT_EQ(Hits[1].LineText, "\xC3\xA9t\xC3\xA9 ab ab");
  // The match length counts UTF-16 units: one for é, two for a character beyond 16 bits.
  EXPECT_EQ(Match("x\xC3\xA9y", "\xC3\xA9", {sfCase})[0].MatchLength, 1);
  EXPECT_EQ(Match("x\xF0\x9F\x98\x80y", "\xF0\x9F\x98\x80", {sfCase})[0].MatchLength, 2);
}

TEST(LineMatcher, KeepsTheKernelsCaseWordAndExpressionRules) {
  const char* Text = "Begin\nbegin_x\nxbegin\nBEGIN end\n";
  EXPECT_EQ(Places(Match(Text, "begin")), (Strings{"1:1", "2:1", "3:2", "4:1"}));
  EXPECT_EQ(Places(Match(Text, "begin", {sfCase})), (Strings{"2:1", "3:2"}));
  EXPECT_EQ(Places(Match(Text, "begin", {sfWord})), (Strings{"1:1", "4:1"}));
  // Anchors hold per line, though one call scans the whole text.
  EXPECT_EQ(Places(Match(Text, "^begin", {sfRegExp})), (Strings{"1:1", "2:1", "4:1"}));
  EXPECT_EQ(Places(Match(Text, "end$", {sfRegExp})), (Strings{"4:7"}));
  // An expression that could run across lines is still a line search.
  EXPECT_EQ(Places(Match("ab\ncd\n", "b\\s*c", {sfRegExp})), Strings{});
  // Case folding beyond ASCII.
  EXPECT_EQ(Places(Match("\xC3\x89T\xC3\x89\n", "\xC3\xA9t\xC3\xA9")), (Strings{"1:1"}));
}

TEST(LineMatcher, AnExpressionsRequiredCharactersNeverHideAHit) {
  // Only characters every match holds may pick the candidate lines.
  EXPECT_EQ(RequiredLiteral("[a-z]+Error\\(", false), "Error(");
  EXPECT_EQ(RequiredLiteral("ab?cd", false), "cd");
  EXPECT_EQ(RequiredLiteral("xy+z", false), "xy");
  EXPECT_EQ(RequiredLiteral("(foo)?bar", false), "bar");
  EXPECT_EQ(RequiredLiteral("foo|bar", false), "");
  EXPECT_EQ(RequiredLiteral("(?i)foo", false), "");
  EXPECT_EQ(RequiredLiteral("task", true), "ta");  // k and s fold to non-ASCII letters too
  // The same hits as the kernel gives line by line.
  EXPECT_EQ(Places(Match("x ac\nabbc\nAC\n", "ab*c", {sfRegExp})), (Strings{"1:3", "2:1", "3:1"}));
}

TEST(SearchTexts, FormTextTitlesListsAndMasks) {
  // A "'" only where plain characters and coded ones meet.
  EXPECT_EQ(FormTextOf("abc"), "abc");
  EXPECT_EQ(FormTextOf("ab\xC3\xA9"), "ab'#233");
  EXPECT_EQ(FormTextOf("\xC3\xA9x\xC3\xA9"), "#233'x'#233");
  EXPECT_EQ(FormTextOf("\xC3\xA9\xE2\x82\xAC"), "#233#8364");
  EXPECT_EQ(SearchGroupTitle("0123456789012345678901234"), "Search for '01234567890123456789...'");
  EXPECT_EQ(SearchGroupTitle("a&b"), "Search for 'a&&b'");
  EXPECT_EQ(SplitSearchList(" *.PAS;\t *.inc ,, x "), (Strings{"*.PAS", "*.inc", "x"}));
  EXPECT_TRUE(MatchesSearchMask("unit1.pas", "*.pas"));
  EXPECT_TRUE(MatchesSearchMask("makefile", "*.*"));
  EXPECT_TRUE(MatchesSearchMask("a.b.c", "a?b*"));
  EXPECT_FALSE(MatchesSearchMask("unit1.pasx", "*.pas"));
  EXPECT_FALSE(MatchesSearchMask("x", "x?"));
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
    E.Run([&](const TFileHits& F) { Out.push_back(F.FileName.substr(T.Path().size() + 1)); });
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
  } catch (const EFOpenError& E) {
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
    for (const auto& H : F.Hits) Found.push_back(F.FileName.substr(T.Path().size() + 3) + ":" + std::to_string(H.Line) + ":" + H.LineText);
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

TEST_F(FindTree, ManyThreadsGiveTheOrderOfOneAndCancelStopsThemAll) {
  for (int I = 0; I < 300; ++I) Write(T / ("b/f" + std::to_string(1000 + I) + ".pas"), "x\nhit hit\n");
  TFindRequest R;
  R.Directories = T.Path();
  R.Advanced = AdvFlag(asfIncludeSubDirs);
  R.Threads = 1;
  auto One = Files(R);
  R.Threads = 4;
  EXPECT_EQ(Files(R), One);
  EXPECT_EQ(One.size(), 304u);

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

// The nice value of a thread of this process named as the search thread; -100 when none.
int SearchThreadNice() {
  DIR* D = ::opendir("/proc/self/task");
  if (!D) return -100;
  int Nice = -100;
  while (dirent* E = ::readdir(D)) {
    std::ifstream In(std::string("/proc/self/task/") + E->d_name + "/stat");
    std::string Stat((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    // "tid (name) state ...": the nice value is the 17th field after the name.
    const size_t Open = Stat.find('('), Close = Stat.rfind(')');
    if (Open == std::string::npos || Close == std::string::npos) continue;
    if (Stat.substr(Open + 1, Close - Open - 1) != std::string(res::SFindInFilesThread).substr(0, 15)) continue;
    std::istringstream Fields(Stat.substr(Close + 2));
    std::string F;
    for (int I = 0; I < 17 && Fields >> F; ++I) {}
    Nice = std::stoi(F);
  }
  ::closedir(D);
  return Nice;
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
    while (!RunningSearch()->Finished()) MainThreadQueue().WaitAndProcess(5);
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

TEST_F(FindInFiles, ACycleOfDirectoryGroupsIsReportedOnceAndTheRestSearched) {
  SetGroups({{"one", T / "a" + ";@two;@one"}, {"two", "@one;" + T / "b"}});
  TFindRequest R;
  R.Text = "hit";
  R.Directories = "@one;@two";
  R.Masks = "*.inc;*.txt";
  DoFindInFiles(R);
  while (!RunningSearch()->Finished()) MainThreadQueue().WaitAndProcess(5);
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
  while (!RunningSearch()->Finished()) MainThreadQueue().WaitAndProcess(5);
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
  while (!RunningSearch()->Finished()) MainThreadQueue().WaitAndProcess(5);
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
  int Nice = SearchThreadNice();
  for (int I = 0; I < 200 && Nice == -100; ++I, Nice = SearchThreadNice())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(Nice, std::min(19, ::getpriority(PRIO_PROCESS, 0) + 1));
  SearchProgress().Cancel();
  while (!RunningSearch()->Finished()) MainThreadQueue().WaitAndProcess(5);
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
  while (!RunningSearch()->Finished()) MainThreadQueue().WaitAndProcess(5);
  EXPECT_EQ(Boxes->Shown, (Strings{"Search string 'HIT' not found"}));  // case counts
  EnvironmentOptions().SetSearchFlags(TSearchFlags{});
  Ok = false;
  SetFindInFilesDialog([&] { return true; });
  PerformFindInFiles();
  while (!RunningSearch()->Finished()) MainThreadQueue().WaitAndProcess(5);
  MainThreadQueue().ProcessPending();
  ASSERT_FALSE(SearchGroups().empty());
  EXPECT_EQ(Lines(SearchGroups().back()), (Strings{T / "a/1.inc(2): hit", T / "a/2.PAS(1): hit"}));
  SetFindInFilesDialog(nullptr);
  SettingsStore().DeleteValue(FindInFilesScopeSection, FindInFilesScopeValue);
  ResetEnvironmentOptions();
}

}  // namespace
}  // namespace nxs
