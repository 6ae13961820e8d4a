// Message records read from text: the words, the text after them, and what is refused.
#include "build/messages/msgrecord.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/errorof.h"

namespace nxs {
namespace {

TEST(MessageRecord, WordsThenTheTextAsItStands) {
  char Cwd[4096];
  ASSERT_NE(::getcwd(Cwd, sizeof Cwd), nullptr);
  auto M = ParseMessageRecord("error  u.pas 10   3 Undeclared  identifier x ");
  EXPECT_EQ(M->Kind(), msgError);
  EXPECT_EQ(M->GetFileName(), std::string(Cwd) + "/u.pas");
  EXPECT_EQ(M->Line(), 10);
  EXPECT_EQ(M->Column(), 3);
  EXPECT_EQ(M->Text(), "Undeclared  identifier x ");
  // Nothing after the column: no text; 0 places the message nowhere.
  M = ParseMessageRecord("info /tmp/a.pas 0 0");
  EXPECT_EQ(M->Kind(), msgInfo);
  EXPECT_EQ(M->Line(), 0);
  EXPECT_EQ(M->Text(), "");
  EXPECT_EQ(ParseMessageRecord("fatal /a 2147483647 1 x")->Line(), 2147483647);
}

TEST(MessageRecord, WrongWordsAreNamed) {
  auto ErrorOf = [](std::string_view R) { return test::ErrorOf([&] { ParseMessageRecord(R); }); };
  EXPECT_EQ(ErrorOf("error u.pas 10"), "expected Message KIND FILE LINE COL TEXT");
  EXPECT_EQ(ErrorOf("error u.pas 10    "), "expected Message KIND FILE LINE COL TEXT");
  EXPECT_EQ(ErrorOf("severe u.pas 1 1 x"), "unknown message kind 'severe' (hint, warning, error, fatal or info)");
  EXPECT_EQ(ErrorOf("error u.pas ten 1 x"), "LINE must be a number: 'ten'");
  EXPECT_EQ(ErrorOf("error u.pas 1 -1 x"), "COL must be a number: '-1'");
  EXPECT_EQ(ErrorOf("error u.pas 2147483648 1 x"), "LINE must be a number: '2147483648'");
}

}  // namespace
}  // namespace nxs
