// Editor commands by name and the words of typed text and search requests, on the real
// kernel: what each command class takes and answers, and the errors a script reads.
#include "editor/buffers/edrun.h"

#include <gtest/gtest.h>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/ekinit.h"
#include "edfixture.h"
#include "support/errorof.h"

namespace nxs {
namespace {

class NamedCommands : public test::EditorFiles {
 protected:
  PEkView Open(const std::string& Text) {
    Buffer = TEditBuffer::Create(Write("named.txt", Text), true);
    return Buffer->EkView();
  }
  std::string Text() {
    std::string Out;
    EXPECT_TRUE(WriteToStream(Buffer->EkView(), Out, true));
    return Out;
  }
  // The message of the error the command raises; empty when it raises none.
  static std::string ErrorOf(PEkView V, const std::string& Name, const std::string& Args) {
    const std::string E = test::ErrorOf<EEditorError>([&] { RunNamedCommand(V, Name, Args); });
    return E == "(no error)" ? "" : E;
  }
  std::shared_ptr<TEditBuffer> Buffer;
};

TEST_F(NamedCommands, ArgumentsFollowTheCommandClass) {
  PEkView V = Open("one\ntwo\nthree\n");
  EXPECT_EQ(ErrorOf(V, "NoSuchCommand", ""), "unknown command 'NoSuchCommand'");
  EXPECT_EQ(ErrorOf(V, "CursorDown", "2"), "'CursorDown' takes no argument");
  EXPECT_EQ(ErrorOf(V, "CursorDown", "  "), "");  // blanks are no argument
  EXPECT_EQ(int32_t{V->Cursor.LineNum}, 2);
  // Undo takes not even a blank.
  EXPECT_EQ(ErrorOf(V, "UnDo", " "), "'UnDo' takes no argument");
  // Bookmarks are 0 to 9; one that was never set is an error, not a silent no-op.
  EXPECT_EQ(ErrorOf(V, "SetMark", "x"), "the bookmark must be a number: 'x'");
  EXPECT_EQ(ErrorOf(V, "SetMark", "10"), "bookmarks are numbered 0 to 9");
  EXPECT_EQ(ErrorOf(V, "SetMark", "-1"), "bookmarks are numbered 0 to 9");
  EXPECT_EQ(ErrorOf(V, "MoveToMark", "3"), "bookmark 3 is not set");
  EXPECT_EQ(ErrorOf(V, "SetMark", " 9 "), "");
  EXPECT_EQ(ErrorOf(V, "SetMark", "0"), "");
  RunNamedCommand(V, "CursorDown", "");
  RunNamedCommand(V, "MoveToMark", "9");
  EXPECT_EQ(int32_t{V->Cursor.LineNum}, 2);
}

TEST_F(NamedCommands, QueriesAnswerAndActionsGroupTheirUndo) {
  PEkView V = Open("abc\n");
  TNamedCommandResult R = RunNamedCommand(V, "CursorRight", "");
  EXPECT_FALSE(R.IsQuery);
  // A query answers, whatever status its operation leaves: it is no action that failed.
  R = RunNamedCommand(V, "InqCursorAtBOL", "");
  EXPECT_TRUE(R.IsQuery);
  EXPECT_FALSE(R.Answer);
  RunNamedCommand(V, "CursorLeft", "");
  EXPECT_TRUE(RunNamedCommand(V, "InqCursorAtBOL", "").Answer);
  RunNamedCommand(V, "CursorRight", "");
  // Deletions in a row are one undo step, apart from the cursor motion before them.
  for (int I = 0; I < 2; ++I) RunNamedCommand(V, "DeleteChar", "");
  EXPECT_EQ(Text(), "a\n");
  RunNamedCommand(V, "undo", "");  // names ignore case
  EXPECT_EQ(Text(), "abc\n");
  EXPECT_EQ(int32_t{V->Cursor.Col}, 2) << "the motion is not undone with the deletions";
  RunNamedCommand(V, "ReDo", "");
  EXPECT_EQ(Text(), "a\n");
}

TEST(TypedText, EscapesTypeLineBreaksTabsAndBackslashes) {
  EXPECT_EQ(UnescapeTypedText("a\\nb\\tc\\\\d\\"), "a\rb\tc\\d\\");
  EXPECT_EQ(test::ErrorOf<EEditorError>([] { UnescapeTypedText("a\\q"); }), "unknown escape '\\q'");
}

TEST(SearchRequest, FlagLettersAndDelimitedParts) {
  TSearchRequest R = ParseSearchRequest("- /abc/", 1);
  EXPECT_EQ(R.Flags, (TSearchFlags{sfFromCursor, sfGoForward}));
  EXPECT_FALSE(R.Brief);
  EXPECT_EQ(R.Parts, std::vector<std::string>{"abc"});
  R = ParseSearchRequest("cwau |a/b|c d|", 2);
  EXPECT_EQ(R.Flags, (TSearchFlags{sfFromCursor, sfCase, sfWord, sfWrapAround}));
  EXPECT_EQ(R.Parts, (std::vector<std::string>{"a/b", "c d"}));
  R = ParseSearchRequest("b /x+/", 1);
  EXPECT_TRUE(R.Brief);
  EXPECT_TRUE(R.Flags.Contains(sfRegExp));
  EXPECT_FALSE(ParseSearchRequest("r /x/", 1).Brief);

  auto ErrorOf = [](const std::string& Args, size_t Count) {
    return test::ErrorOf<EEditorError>([&] { ParseSearchRequest(Args, Count); });
  };
  EXPECT_EQ(ErrorOf("-", 1), "expected FLAGS /TEXT/");
  EXPECT_EQ(ErrorOf("- ", 1), "expected FLAGS /TEXT/");
  EXPECT_EQ(ErrorOf("cx /a/", 1), "unknown search flag 'x'");
  EXPECT_EQ(ErrorOf("- /a/", 2), "missing closing '/'");
  EXPECT_EQ(ErrorOf("- /a/b", 1), "unexpected text after the pattern");
}

}  // namespace
}  // namespace nxs
