// The curses terminal on a virtual terminal (a file that takes what curses writes): a frame
// shown again costs nothing, one changed cell costs a few bytes, and what the text holds
// never reaches the terminal as control sequences.
#include "terminal/curses.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "support/files.h"
#include "support/tempdir.h"

namespace nxs::term {
namespace {

class CursesTerminal : public ::testing::Test {
 protected:
  CursesTerminal() {
    setenv("LINES", "10", 1);
    setenv("COLUMNS", "40", 1);
    Out = std::fopen((Temp / "screen").c_str(), "w+");
    if (::pipe(Pipe) != 0) std::abort();
    In = ::fdopen(Pipe[0], "r");
    Terminal = std::make_unique<TCursesTerminal>(In, Out, "xterm-256color");
  }
  ~CursesTerminal() override {
    Terminal.reset();
    std::fclose(Out);
    std::fclose(In);
    ::close(Pipe[1]);
    unsetenv("LINES");
    unsetenv("COLUMNS");
  }
  // The bytes written since the last call.
  std::string Sent() {
    std::fflush(Out);
    const std::string All = nxs::test::ReadText(Temp / "screen");
    std::string New = All.substr(std::min(Seen, All.size()));
    Seen = All.size();
    return New;
  }

  nxs::test::TTempDir Temp;
  FILE* Out = nullptr;
  FILE* In = nullptr;
  int Pipe[2] = {-1, -1};
  size_t Seen = 0;
  std::unique_ptr<TCursesTerminal> Terminal;
};

TEST_F(CursesTerminal, OnlyWhatChangedIsSent) {
  ASSERT_EQ(Terminal->Rows(), 10);
  ASSERT_EQ(Terminal->Cols(), 40);
  TCellGrid Frame(10, 40);
  for (int R = 0; R < 9; ++R) Frame.Put(R, 0, "line " + std::to_string(R) + " of the frame", TCellStyle{2, -1, 0});
  Terminal->Present(Frame, 0, 0);
  EXPECT_NE(Sent().find("of the frame"), std::string::npos);
  Terminal->Present(Frame, 0, 0);
  EXPECT_EQ(Sent(), "");
  Frame.PutChar(4, 20, U'X', 1, TCellStyle{2, -1, 0});
  Terminal->Present(Frame, 4, 21);
  const std::string One = Sent();
  EXPECT_NE(One.find('X'), std::string::npos);
  EXPECT_LT(One.size(), 40u) << One;
  // After Invalidate the whole frame goes out again.
  Terminal->Invalidate();
  Terminal->Present(Frame, 4, 21);
  EXPECT_NE(Sent().find("line 8 of the frame"), std::string::npos);
}

TEST_F(CursesTerminal, TheTextsControlCharactersNeverReachTheTerminal) {
  TCellGrid Frame(10, 40);
  Frame.Put(1, 0, "a\x1b]0;title\x07z", TCellStyle{});
  Terminal->Present(Frame, -1, 0);
  const std::string S = Sent();
  EXPECT_NE(S.find("a?]0;title?z"), std::string::npos) << S;
  EXPECT_EQ(S.find('\x07'), std::string::npos);
}

}  // namespace
}  // namespace nxs::term
