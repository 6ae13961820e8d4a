// nxs grep as scripts use it: the two formats, the exit status, the unsaved text of a file
// open in the editor, and the same (file, line) hits as the system's rg on a source tree.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

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
    EXPECT_NE(R.Err.find("-j takes a number of threads from 1"), std::string::npos) << R.Err;
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
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
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
  };
  for (const auto& C : Cases) {
    std::vector<std::string> Args{"grep"};
    Args.insert(Args.end(), C.Nxs.begin(), C.Nxs.end());
    Args.insert(Args.end(), {Tree, "--subdirs", "--format", "gcc"});
    auto R = RunNxs(Args);
    ASSERT_EQ(R.Status, 0) << C.Rg << R.Err;
    auto Mine = FileLines(R.Out);
    auto Theirs = FileLines(Capture("rg -a -n --no-heading --no-ignore --crlf " + C.Rg + " " + Tree));
    EXPECT_GT(Mine.size(), 10u) << C.Rg;
    EXPECT_EQ(Mine, Theirs) << C.Rg;
  }
}

}  // namespace
}  // namespace nxs
