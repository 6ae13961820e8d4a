// nxs grep as scripts use it: the two formats, the exit status, the unsaved text of a file
// open in the editor, and the same (file, line) hits as the system's rg on a source tree.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "support/checked.h"
#include "support/run.h"
#include "support/tempdir.h"

namespace nxs {
namespace {

using test::RunNxs;

void Write(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

class Grep : public ::testing::Test {
 protected:
  void SetUp() override {
    ::mkdir((T / "sub").c_str(), 0755);
    Write(T / "a.pas", "begin\n  Hello(x); hello\nend.");
    Write(T / "sub/b.inc", "hello");
  }
  test::TTempDir T;
};

TEST_F(Grep, PrintsBothFormatsAndTellsHitsByItsStatus) {
  auto R = RunNxs({"grep", "hello", T.Path(), "--subdirs"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, "Search for 'hello'\n" + T / "a.pas(2):   Hello(x); hello\n" + T / "a.pas(2):   Hello(x); hello\n" +
                       T / "sub/b.inc(1): hello\n");
  R = RunNxs({"grep", "hello", T.Path(), "--subdirs", "-c", "--format", "gcc", "-j", "2"});
  EXPECT_EQ(R.Out, T / "a.pas:2:13:  Hello(x); hello\n" + T / "sub/b.inc:1:1:hello\n");
  R = RunNxs({"grep", "hello", T.Path(), "--subdirs", "--group-by-file", "--mask", "*.INC"});
  EXPECT_EQ(R.Out, "Search for 'hello'\n" + T / "sub/b.inc [1]\n  " + T / "sub/b.inc(1): hello\n");
  R = RunNxs({"grep", "^end\\.$", T.Path(), "-r", "--format", "gcc"});
  EXPECT_EQ(R.Out, T / "a.pas:3:1:end.\n");
  R = RunNxs({"grep", "H?llo", T.Path(), "-b", "-c", "--format", "gcc"});  // BRIEF: "?" is any character
  EXPECT_EQ(R.Out, T / "a.pas:2:3:  Hello(x); hello\n");
  // A byte-order mark is no character of the first line.
  ::mkdir((T / "bom").c_str(), 0755);
  Write(T / "bom/u.pas", "\xEF\xBB\xBFhello\n");
  R = RunNxs({"grep", "hello", T / "bom", "--format", "gcc"});
  EXPECT_EQ(R.Out, T / "bom/u.pas:1:1:hello\n");

  R = RunNxs({"grep", "absent", T.Path()});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Out, "");
  R = RunNxs({"grep", "hello", T / "missing"});
  EXPECT_EQ(R.Status, 2);
  EXPECT_NE(R.Err.find("Cannot find the specified path: \"" + T / "missing/\""), std::string::npos) << R.Err;
  R = RunNxs({"grep", "(unclosed", T.Path(), "-r"});
  EXPECT_EQ(R.Status, 2);
  EXPECT_EQ(R.Err, "nxs: Invalid search expression '(unclosed': missing closing parenthesis at offset 9\n");
  EXPECT_EQ(RunNxs({"grep", "x", "--format", "json"}).Status, 2);
  // A thread count is a number from 1: "-1" is not read as four billion threads.
  for (const char* J : {"-1", "0", "2x", ""}) {
    R = RunNxs({"grep", "hello", T.Path(), "-j", J});
    EXPECT_EQ(R.Status, 2) << J;
    EXPECT_NE(R.Err.find("-j takes a number from 1\n"), std::string::npos) << R.Err;
  }
}

TEST_F(Grep, SearchesTheEditorTextOfAnOpenFile) {
  Write(T / "edited.txt", "begin\nunsaved hello\n");
  auto R = RunNxs({"grep", "hello", T.Path(), "--mask", "*.pas", "--format", "gcc", "--open", T / "a.pas=" + T / "edited.txt"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, T / "a.pas:2:9:unsaved hello\n");
  // Open files alone are the scope when no directory is named.
  R = RunNxs({"grep", "unsaved", "--format", "gcc", "--open", T / "a.pas=" + T / "edited.txt"});
  EXPECT_EQ(R.Out, T / "a.pas:2:1:unsaved hello\n");
}

TEST_F(Grep, SearchesTheFilesOfAProjectOrOfEveryProjectOfAGroup) {
  ::mkdir((T / "p1").c_str(), 0755);
  ::mkdir((T / "p2").c_str(), 0755);
  Write(T / "p1/u1.pas", "unit u1; { needle }\n");
  Write(T / "p1/u1.lfm", "object F: TF\n  Caption = 'needle'\nend\n");  // the unit's form
  Write(T / "p1/stray.pas", "needle, but in no project\n");
  Write(T / "p2/u2.pas", "needle\n");
  const std::string One = T / "p1/one.vproj", Two = T / "p2/two.vproj", Group = T / "all.groupproj";
  for (const auto& P : {One, Two})
    ASSERT_EQ(RunNxs({"project", "new", P, "--personality", "Vellum.Personality"}).Status, 0);
  ASSERT_EQ(RunNxs({"project", "add", One, T / "p1/u1.pas"}).Status, 0);
  ASSERT_EQ(RunNxs({"project", "add", Two, T / "p2/u2.pas", T / "p1/u1.pas"}).Status, 0);
  ASSERT_EQ(RunNxs({"group", "new", Group}).Status, 0);
  ASSERT_EQ(RunNxs({"group", "add", Group, One, Two}).Status, 0);

  auto R = RunNxs({"grep", "needle", "--project", One, "--format", "gcc"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, T / "p1/u1.pas:1:12:unit u1; { needle }\n" + T / "p1/u1.lfm:2:14:  Caption = 'needle'\n");
  // Every project in turn; a file of two projects is searched once.
  R = RunNxs({"grep", "needle", "--group", Group, "--format", "gcc"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, T / "p1/u1.pas:1:12:unit u1; { needle }\n" + T / "p1/u1.lfm:2:14:  Caption = 'needle'\n" +
                       T / "p2/u2.pas:1:1:needle\n");
  EXPECT_EQ(RunNxs({"grep", "needle", "--project", T / "missing.vproj"}).Status, 2);
  EXPECT_EQ(RunNxs({"grep", "needle", T.Path(), "--project", One}).Status, 2);
}

TEST_F(Grep, AFileOfManyHitsGroupedHasOneTitleAfterAllItsHits) {
  // Its hits come in several batches: the title is printed once, when the file is done.
  ::mkdir((T / "many").c_str(), 0755);
  std::string Many;
  for (int I = 0; I < 10000; ++I) Many += "hit\n";
  Write(T / "many/m.txt", Many);
  Write(T / "many/n.txt", "hit\n");
  const auto R = RunNxs({"grep", "hit", T / "many", "--group-by-file", "-c"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  std::vector<std::string> Titles;
  size_t Lines = 0;
  std::istringstream In(R.Out);
  for (std::string L; std::getline(In, L); ++Lines)
    if (L.rfind("  ", 0) != 0) Titles.push_back(L);
  EXPECT_EQ(Titles, (std::vector<std::string>{"Search for 'hit'", T / "many/m.txt [10000]", T / "many/n.txt [1]"}));
  EXPECT_EQ(Lines, 10004u);
}

#if defined(NXS_TEST_CHECKED)
// A checked build is slower and takes memory of its own: fewer lines, and no bound.
constexpr size_t LongLines = 40;
constexpr bool MemoryBound = false;
#else
constexpr size_t LongLines = 400;
constexpr bool MemoryBound = true;
#endif

TEST_F(Grep, ManyHitsOnLongLinesStreamInBoundedMemoryCutAroundEachHit) {
  // 400 lines of 7,000 characters, a hit every 7: 400,000 hits in 2.8 MB.
  std::string Line;
  for (int I = 0; I < 1000; ++I) Line += "a hit; ";
  std::string Text;
  for (size_t I = 0; I < LongLines; ++I) Text += Line + "\n";
  const size_t Hits = LongLines * 1000;
  ::mkdir((T / "long").c_str(), 0755);
  Write(T / "long/big.txt", Text);
  const std::string Name = T / "long/big.txt";
  // Every hit in both formats, each line the same piece of its line: sampled ones are checked
  // against the file, all are counted, and the process's peak stays far below the file's
  // hits times its line.
  std::map<size_t, std::string> Pieces[2];
  for (int F = 0; F < 2; ++F) {
    size_t Count = 0;
    test::TRunOptions O;
    O.OnLine = [&](std::string_view Out) {
      const size_t I = Count++;
      // The message format has its title first.
      if (F == 1 && I == 0) return;
      const size_t H = F == 0 ? I : I - 1;
      if (H % 997 != 0 && H != Hits - 1) return;
      std::string_view Piece;
      if (F == 0) {
        // FILE:LINE:COL:TEXT
        const size_t A = Name.size() + 1, B = Out.find(':', A), C = Out.find(':', B + 1);
        EXPECT_EQ(std::stoul(std::string(Out.substr(A, B - A))), H / 1000 + 1);
        EXPECT_EQ(std::stoul(std::string(Out.substr(B + 1, C - B - 1))), (H % 1000) * 7 + 3);
        Piece = Out.substr(C + 1);
      } else {
        // FILE(LINE): TEXT
        Piece = Out.substr(Out.find("): ") + 3);
      }
      std::string_view Bare = Piece;
      const bool Front = Bare.substr(0, 3) == "...", Back = Bare.size() >= 3 && Bare.substr(Bare.size() - 3) == "...";
      if (Front) Bare.remove_prefix(3);
      if (Back) Bare.remove_suffix(3);
      EXPECT_EQ(Bare.size(), 200u);
      EXPECT_NE(Line.find(Bare), std::string::npos);
      EXPECT_EQ(Front, H % 1000 > 8) << H;
      EXPECT_EQ(Back, H % 1000 < 980) << H;
      Pieces[F][H] = std::string(Piece);
    };
    const auto R = test::RunNxs({"grep", "hit", T / "long", "-c", "--format", F == 0 ? "gcc" : "message"}, O);
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(Count, F == 0 ? Hits : Hits + 1);
    if (MemoryBound) {
      EXPECT_LT(R.PeakKB, 64 * 1024) << (F == 0 ? "gcc" : "message");
    }
    EXPECT_GT(R.PeakKB, 0);
  }
  EXPECT_EQ(Pieces[0].size(), (Hits - 1) / 997 + 2);
  EXPECT_EQ(Pieces[0], Pieces[1]);
}

TEST_F(Grep, AFileIsSearchedUpToTheSizeItHadWhenOpened) {
  // The search's own output goes to the end of the file it searches: what it appends is not
  // searched again (the search would never end), and the file is searched to its end.
  ::mkdir((T / "grow").c_str(), 0755);
  std::string Text;
  for (int I = 0; I < 200000; ++I) Text += "hit\n";
  Write(T / "grow/out.txt", Text);
  const std::string Out = T / "grow/out.txt";
  pid_t Pid = ::fork();
  if (Pid == 0) {
    const int Fd = ::open(Out.c_str(), O_WRONLY | O_APPEND);
    ::dup2(Fd, 1);
    // A search that fed on itself ends here rather than fill the disk.
    struct rlimit Limit {64u << 20, 64u << 20};
    ::setrlimit(RLIMIT_FSIZE, &Limit);
    const std::string Program = test::NxsBinary();
    ::execl(Program.c_str(), Program.c_str(), "grep", "hit", (T / "grow").c_str(), "--format", "gcc", "-c", nullptr);
    ::_exit(127);
  }
  int Status = 0;
  ASSERT_EQ(::waitpid(Pid, &Status, 0), Pid);
  ASSERT_TRUE(WIFEXITED(Status)) << "the search fed on its own output";
  EXPECT_EQ(WEXITSTATUS(Status), 0);
  std::ifstream In(Out, std::ios::binary);
  size_t Lines = 0;
  for (std::string L; std::getline(In, L);) ++Lines;
  EXPECT_EQ(Lines, 400000u);
}

// Runs nxs as a user who is not the files' owner.
class GrepAsAnother : public Grep {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs another user than the files' owner: run as the superuser";
    Grep::SetUp();
    Options.Unprivileged = true;
    Options.Env = {{"NXS_SETTINGS_DIR", T / "settings"}};
    T.OpenToAll();
  }
  test::TRunOptions Options;
};

TEST_F(GrepAsAnother, AFileOrFolderThatCannotBeReadIsReportedAndTheRestSearched) {
  ::mkdir((T / "sub/shut").c_str(), 0755);
  Write(T / "sub/shut/c.pas", "hello\n");
  Write(T / "sub/locked.pas", "hello\n");
  ASSERT_EQ(::chmod((T / "sub/shut").c_str(), 0), 0);
  ASSERT_EQ(::chmod((T / "sub/locked.pas").c_str(), 0), 0);
  auto R = RunNxs({"grep", "hello", T.Path(), "--subdirs", "-c", "--format", "gcc"}, Options);
  EXPECT_EQ(R.Status, 2);
  EXPECT_EQ(R.Out, T / "a.pas:2:13:  Hello(x); hello\n" + T / "sub/b.inc:1:1:hello\n");
  EXPECT_EQ(R.Err, "nxs: Cannot read file \"" + T / "sub/locked.pas" + "\": Permission denied\n" +
                       "nxs: Cannot read folder \"" + T / "sub/shut/" + "\": Permission denied\n");
  // The message format prints the same lines, the problems on standard error alone.
  R = RunNxs({"grep", "hello", T.Path(), "--subdirs", "-c", "--group-by-file"}, Options);
  EXPECT_EQ(R.Status, 2);
  EXPECT_EQ(R.Out, "Search for 'hello'\n" + T / "a.pas [1]\n  " + T / "a.pas(2):   Hello(x); hello\n" + T / "sub/b.inc [1]\n  " +
                       T / "sub/b.inc(1): hello\n");
  // Only problems: still the error status.
  R = RunNxs({"grep", "absent", T / "sub", "--subdirs"}, Options);
  EXPECT_EQ(R.Status, 2);
  EXPECT_EQ(R.Out, "");
  // A folder named for the search that cannot be read: the search does not start.
  R = RunNxs({"grep", "hello", T / "sub/shut"}, Options);
  EXPECT_EQ(R.Status, 2);
  EXPECT_EQ(R.Err, "nxs: Permission denied\n");
}

TEST_F(Grep, FilesAndFoldersNamedAsTheyAre) {
  // A file where a folder is expected is searched, whatever the masks.
  auto R = RunNxs({"grep", "hello", T / "a.pas", "--format", "gcc", "--mask", "*.inc"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, T / "a.pas:2:3:  Hello(x); hello\n" + T / "a.pas:2:13:  Hello(x); hello\n");
  // Named twice, it is searched once, as a folder named twice is.
  R = RunNxs({"grep", "hello", T / "a.pas", T / "a.pas", "-c", "--format", "gcc"});
  EXPECT_EQ(R.Out, T / "a.pas:2:13:  Hello(x); hello\n");
  // Folders whose names hold the separators of a list.
  for (const char* D : {"x,y", "p;q"}) {
    ::mkdir((T / D).c_str(), 0755);
    Write(T / (std::string(D) + "/f.txt"), "hello\n");
  }
  R = RunNxs({"grep", "hello", T / "x,y", T / "p;q", "--format", "gcc"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, T / "x,y/f.txt:1:1:hello\n" + T / "p;q/f.txt:1:1:hello\n");
}

// (file, line) of each output line "FILE:LINE:...".
std::set<std::string> FileLines(const std::string& Out) {
  std::set<std::string> Set;
  std::istringstream In(Out);
  for (std::string L; std::getline(In, L);) {
    size_t A = L.find(':');
    size_t B = A == std::string::npos ? A : L.find(':', A + 1);
    if (B != std::string::npos) Set.insert(L.substr(0, B));
  }
  return Set;
}

std::string Capture(const std::string& Command) {
  std::string Out;
  FILE* P = ::popen(Command.c_str(), "r");
  if (!P) return Out;
  char Buf[65536];
  for (size_t N; (N = std::fread(Buf, 1, sizeof Buf, P)) > 0;) Out.append(Buf, N);
  ::pclose(P);
  return Out;
}

TEST(GrepAgainstRg, TheSameLinesOnTheWholeSourceTree) {
  // Lines end at CR LF there too (--crlf): "$" holds before a CR LF as it does in the editor.
#if defined(NXS_TEST_CHECKED)
  const std::string Tree = "/usr/share/fpcsrc/3.2.2/rtl/objpas";  // a checked build is ten times slower
#else
  const std::string Tree = "/usr/share/fpcsrc";
#endif
  struct stat St;
  if (::system("command -v rg >/dev/null 2>&1") != 0 || ::stat(Tree.c_str(), &St) != 0)
    GTEST_SKIP() << "rg or the sources are not installed";
  struct TCase {
    std::vector<std::string> Nxs;
    std::string Rg;
  };
  const std::vector<TCase> Cases = {
      {{"procedure", "-c"}, "-s 'procedure'"},
      {{"WideString"}, "-i 'WideString'"},
      {{"result", "-w", "-c"}, "-s -w 'result'"},
      {{"^\\s*end;$", "-r"}, "-i '^\\s*end;$'"},
      {{"[a-z]+Error\\(", "-r", "-c"}, "-s '[a-z]+Error\\('"},
      {{"raise E[a-z]+\\.Create", "-r"}, "-i 'raise E[a-z]+\\.Create'"},
      {{"[0-9][0-9][0-9][0-9][0-9]", "-r"}, "-i '[0-9][0-9][0-9][0-9][0-9]'"},  // no run of characters to look for
      // Alternations and small classes: the needles of each branch, with case folded or not.
      {{"(inc|dec)\\([A-Za-z_]+, *[0-9]+\\)", "-r"}, "-i '(inc|dec)\\([A-Za-z_]+, *[0-9]+\\)'"},
      {{"FreeMem|GetMem|ReallocMem", "-r", "-c"}, "-s 'FreeMem|GetMem|ReallocMem'"},
      {{"colou?r|[Hh]ighlight", "-r"}, "-i 'colou?r|[Hh]ighlight'"},
  };
  for (const auto& C : Cases) {
    std::vector<std::string> Args{"grep"};
    Args.insert(Args.end(), C.Nxs.begin(), C.Nxs.end());
    Args.insert(Args.end(), {Tree, "--subdirs", "--format", "gcc"});
    auto R = RunNxs(Args);
    ASSERT_EQ(R.Status, 0) << C.Rg << R.Err;
    auto Mine = FileLines(R.Out);
    auto Theirs = FileLines(Capture("rg -a -n --no-heading --no-ignore --crlf " + C.Rg + " " + Tree));
    EXPECT_FALSE(Mine.empty()) << C.Rg;
    EXPECT_EQ(Mine, Theirs) << C.Rg;
  }
}

}  // namespace
}  // namespace nxs
