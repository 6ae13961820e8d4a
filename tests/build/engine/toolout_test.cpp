// Compiler output read as diagnostics: kinds, positions, file names made absolute, and the
// nesting of context lines and notes under their error.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "build/engine/tasks.h"

namespace nxs::engine {
namespace {

std::vector<TBuildEvent> ParseAll(TToolOutputParser::TStyle Style, const std::vector<std::string>& Lines,
                                  std::vector<bool>* Recognised = nullptr) {
  TToolOutputParser P(Style, "tool", "/src");
  std::vector<TBuildEvent> Events;
  for (const auto& L : Lines) {
    bool R = P.Parse(L, Events);
    if (Recognised) Recognised->push_back(R);
  }
  P.Flush(Events);
  return Events;
}

TEST(ToolOutputParser, GccDiagnosticsWithTheirContextAndNotesNested) {
  std::vector<bool> Recognised;
  auto E = ParseAll(TToolOutputParser::tsGcc,
                    {"a b.cpp: In function \xe2\x80\x98int main()\xe2\x80\x99:",
                     "a b.cpp:3:11: error: expected primary-expression before \xe2\x80\x98;\xe2\x80\x99 token",
                     "    3 |   int x = ;",
                     "      |           ^",
                     "a b.cpp:4:5: warning: unused [-Wunused]",
                     "In file included from /inc/my h.h:2,",
                     "                 from a b.cpp:1:",
                     "/inc/my h.h:1:7: note:   initializing argument 1",
                     "sub/c.cpp:7: error: no column",
                     "\x1b[01m\x1b[Ksub/c.cpp:8:2:\x1b[m\x1b[K \x1b[01;31m\x1b[Kfatal error: \x1b[m\x1b[Knope.h: No such file",
                     "compilation terminated."},
                    &Recognised);
  EXPECT_EQ(Recognised, (std::vector<bool>{true, true, false, false, true, true, true, true, true, true, false}));
  ASSERT_EQ(E.size(), 8u);
  // The error comes first, then what was held for it, nested under it.
  EXPECT_EQ(E[0].Kind, ekError);
  EXPECT_EQ(E[0].File, "/src/a b.cpp");
  EXPECT_EQ(E[0].Line, 3);
  EXPECT_EQ(E[0].Column, 11);
  EXPECT_EQ(E[0].Text, "expected primary-expression before \xe2\x80\x98;\xe2\x80\x99 token");
  EXPECT_EQ(E[0].Sender, "tool");
  EXPECT_EQ(E[0].ParentId, 0);
  EXPECT_EQ(E[1].Kind, ekMessage);
  EXPECT_EQ(E[1].Text, "a b.cpp: In function \xe2\x80\x98int main()\xe2\x80\x99");
  EXPECT_EQ(E[1].ParentId, E[0].Id);
  // The warning takes over as parent: the include chain and the note go under it.
  EXPECT_EQ(E[2].Kind, ekWarning);
  EXPECT_EQ(E[2].Line, 4);
  EXPECT_EQ(E[3].Text, "note:   initializing argument 1");
  EXPECT_EQ(E[3].File, "/inc/my h.h");
  EXPECT_EQ(E[3].Line, 1);
  EXPECT_EQ(E[3].Column, 7);
  EXPECT_EQ(E[3].ParentId, E[2].Id);
  EXPECT_EQ(E[4].Text, "In file included from /inc/my h.h:2");
  EXPECT_EQ(E[4].Line, 2);
  EXPECT_EQ(E[4].ParentId, E[2].Id);
  EXPECT_EQ(E[5].Text, "from a b.cpp:1");
  EXPECT_EQ(E[5].File, "/src/a b.cpp");
  EXPECT_EQ(E[5].ParentId, E[2].Id);
  EXPECT_EQ(E[6].File, "/src/sub/c.cpp");
  EXPECT_EQ(E[6].Line, 7);
  EXPECT_EQ(E[6].Column, 0);
  EXPECT_EQ(E[6].ParentId, 0);
  EXPECT_EQ(E[7].Kind, ekError);
  EXPECT_EQ(E[7].Line, 8);
  EXPECT_EQ(E[7].Text, "nope.h: No such file");
  // Ids are distinct and never 0.
  for (size_t I = 0; I < E.size(); ++I) {
    EXPECT_NE(E[I].Id, 0);
    for (size_t J = 0; J < I; ++J) EXPECT_NE(E[I].Id, E[J].Id);
  }
}

TEST(ToolOutputParser, TemplateContextAndLinkerMessages) {
  auto E = ParseAll(TToolOutputParser::tsGcc,
                    {"t.cpp: In instantiation of \xe2\x80\x98void g(T) [with T = int]\xe2\x80\x99:",
                     "t.cpp:2:14:   required from here",
                     "t.cpp:1:34: error: request for member",
                     "/usr/bin/ld: /tmp/cc1.o: in function `main':",
                     "l.cpp:(.text+0x5): undefined reference to `foo()'",
                     "/usr/bin/ld: m.cpp:(.text+0x9): multiple definition of `x'; a.o:(.bss+0x0): first defined here",
                     "/usr/bin/ld: cannot find -lnope: No such file or directory",
                     "collect2: error: ld returned 1 exit status",
                     "g++: fatal error: no input files"});
  ASSERT_EQ(E.size(), 9u);
  EXPECT_EQ(E[0].Kind, ekError);
  EXPECT_EQ(E[0].Line, 1);
  EXPECT_EQ(E[1].ParentId, E[0].Id);
  EXPECT_EQ(E[2].Text, "t.cpp:2:14:   required from here");
  EXPECT_EQ(E[2].Line, 2);
  EXPECT_EQ(E[2].ParentId, E[0].Id);
  EXPECT_EQ(E[3].Kind, ekError);
  EXPECT_EQ(E[3].File, "/src/l.cpp");
  EXPECT_EQ(E[3].Text, "undefined reference to `foo()'");
  EXPECT_EQ(E[4].Text, "/tmp/cc1.o: in function `main'");
  EXPECT_EQ(E[4].ParentId, E[3].Id);
  EXPECT_EQ(E[5].Kind, ekError);
  EXPECT_EQ(E[5].File, "/src/m.cpp");
  EXPECT_EQ(E[6].Text, "cannot find -lnope: No such file or directory");
  EXPECT_EQ(E[6].File, "");
  EXPECT_EQ(E[7].Text, "collect2: ld returned 1 exit status");
  EXPECT_EQ(E[7].File, "");
  EXPECT_EQ(E[8].Text, "g++: no input files");
}

TEST(ToolOutputParser, LinkerWarningsBesideLinkerErrors) {
  auto E = ParseAll(TToolOutputParser::tsGcc,
                    {"/usr/bin/ld: warning: libdep.so.1, needed by ./libx.so, not found (try using -rpath or -rpath-link)",
                     "/usr/bin/ld: ./libx.so: undefined reference to `Dep()'",
                     "ld.gold: warning: skipping incompatible ./liby.so while searching for y",
                     "collect2: error: ld returned 1 exit status"});
  ASSERT_EQ(E.size(), 4u);
  EXPECT_EQ(E[0].Kind, ekWarning);
  EXPECT_EQ(E[0].Text, "libdep.so.1, needed by ./libx.so, not found (try using -rpath or -rpath-link)");
  EXPECT_EQ(E[1].Kind, ekError);
  EXPECT_EQ(E[2].Kind, ekWarning);
  EXPECT_EQ(E[2].Text, "skipping incompatible ./liby.so while searching for y");
  EXPECT_EQ(E[3].Kind, ekError);
}

TEST(ToolOutputParser, FpcMessagesWithAndWithoutNumbers) {
  std::vector<bool> Recognised;
  auto E = ParseAll(TToolOutputParser::tsFpc,
                    {"(3104) Compiling p.pas", "my dir (1)/p.pas(4,3) Error: (5000) Identifier not found \"x\"",
                     "p.pas(6) Fatal: There were 1 errors compiling module, stopping", "Fatal: (1018) Compilation aborted",
                     "/abs/u.pas(10,5) Warning: (5025) Local variable \"i\" not used", "u.pas(2,1) Hint: Unit not used",
                     "u.pas(3,1) Note: (3124) Inlining disabled", "Linking p", "Error: (9999) x(1,2) inside"},
                    &Recognised);
  EXPECT_EQ(Recognised, (std::vector<bool>{false, true, true, true, true, true, true, false, true}));
  ASSERT_EQ(E.size(), 7u);
  EXPECT_EQ(E[0].Kind, ekError);
  EXPECT_EQ(E[0].File, "/src/my dir (1)/p.pas");
  EXPECT_EQ(E[0].Line, 4);
  EXPECT_EQ(E[0].Column, 3);
  EXPECT_EQ(E[0].Code, "5000");
  EXPECT_EQ(E[0].Text, "Identifier not found \"x\"");
  EXPECT_EQ(E[1].Kind, ekError);
  EXPECT_EQ(E[1].Line, 6);
  EXPECT_EQ(E[1].Column, 0);
  EXPECT_EQ(E[1].Code, "");
  EXPECT_EQ(E[2].File, "");
  EXPECT_EQ(E[2].Code, "1018");
  EXPECT_EQ(E[3].Kind, ekWarning);
  EXPECT_EQ(E[3].File, "/abs/u.pas");
  EXPECT_EQ(E[4].Kind, ekMessage);
  EXPECT_EQ(E[4].Text, "Hint: Unit not used");
  EXPECT_EQ(E[5].Text, "Note: Inlining disabled");
  EXPECT_EQ(E[6].Text, "x(1,2) inside");
  EXPECT_EQ(E[6].File, "");
}

}  // namespace
}  // namespace nxs::engine
