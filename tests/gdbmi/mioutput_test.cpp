// The reader of gdb's machine-interface output, on transcripts recorded from gdb 13 and on the
// syntax's corners.
#include "gdbmi/mioutput.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace nxs::gdbmi {
namespace {

std::vector<std::string> TranscriptLines(const std::string& Name) {
  std::ifstream In(std::string(NXS_GDBMI_TEST_DATA) + "/" + Name);
  EXPECT_TRUE(In.good()) << Name;
  std::vector<std::string> Lines;
  for (std::string Line; std::getline(In, Line);) Lines.push_back(Line);
  return Lines;
}

// The first record of Kind and Class in a transcript.
TMIRecord FindRecord(const std::vector<std::string>& Lines, TMIRecordKind Kind, const std::string& Class,
                     int Skip = 0) {
  for (const std::string& Line : Lines) {
    TMIRecord R = ParseMIRecord(Line);
    if (R.Kind == Kind && R.Class == Class && Skip-- == 0) return R;
  }
  ADD_FAILURE() << "no record " << Class;
  return {};
}

// The result record that answers the command with Token.
TMIRecord Answer(const std::vector<std::string>& Lines, uint64_t Token) {
  for (const std::string& Line : Lines) {
    TMIRecord R = ParseMIRecord(Line);
    if (R.Kind == TMIRecordKind::Result && R.Token == Token) return R;
  }
  ADD_FAILURE() << "no answer to " << Token;
  return {};
}

TEST(MIOutput, EveryRecordedLineReadsAsMachineOutputAndWritesBackAlike) {
  for (const char* Name : {"cpp-break-step.mi", "cpp-segv.mi", "pascal-step.mi"}) {
    const std::vector<std::string> Lines = TranscriptLines(Name);
    ASSERT_GT(Lines.size(), 20u) << Name;
    for (const std::string& Line : Lines) {
      const TMIRecord R = ParseMIRecord(Line);
      EXPECT_NE(R.Kind, TMIRecordKind::Text) << Name << ": " << Line;
      EXPECT_EQ(FormatMIRecord(R), Line) << Name;
      EXPECT_EQ(ParseMIRecord(FormatMIRecord(R)), R) << Name << ": " << Line;
    }
  }
}

TEST(MIOutput, RecordedRecordsGiveTheirTokensClassesAndValues) {
  const std::vector<std::string> Lines = TranscriptLines("cpp-break-step.mi");

  const TMIRecord Planted = Answer(Lines, 2);
  EXPECT_EQ(Planted.Class, "done");
  EXPECT_EQ(Planted.Results.Get("bkpt.line"), "5");
  EXPECT_EQ(Planted.Results.Get("bkpt.fullname"), "/tmp/gmi/t.cpp");
  ASSERT_EQ(Planted.Results.Find("bkpt.thread-groups")->Kind(), TMIValue::mvList);
  EXPECT_EQ(Planted.Results.Find("bkpt.thread-groups")->Items()[0].second.Text(), "i1");
  const TMIRecord Pending = Answer(Lines, 3);
  EXPECT_EQ(Pending.Results.Get("bkpt.pending"), "nosuch.cpp:3");

  const TMIRecord Stopped = FindRecord(Lines, TMIRecordKind::ExecAsync, "stopped");
  EXPECT_FALSE(Stopped.Token);
  EXPECT_EQ(Stopped.Results.Get("reason"), "breakpoint-hit");
  EXPECT_EQ(Stopped.Results.GetInt("frame.line"), 5);
  const TMIValue* Args = Stopped.Results.Find("frame.args");
  ASSERT_TRUE(Args);
  ASSERT_EQ(Args->Count(), 2u);
  EXPECT_EQ(Args->Items()[1].first, "");
  EXPECT_EQ(Args->Items()[1].second.Get("name"), "b");

  // A list of named items: the frames of a stack.
  const TMIRecord Stack = Answer(Lines, 5);
  const TMIValue* Frames = Stack.Results.Find("stack");
  ASSERT_TRUE(Frames);
  ASSERT_EQ(Frames->Count(), 2u);
  EXPECT_EQ(Frames->Items()[1].first, "frame");
  EXPECT_EQ(Frames->Items()[1].second.Get("func"), "main");

  const TMIRecord Error = Answer(Lines, 7);
  EXPECT_EQ(Error.Class, "error");
  EXPECT_EQ(Error.Results.Get("msg"), "No symbol \"p\" in current context.");

  const TMIRecord Console = FindRecord(Lines, TMIRecordKind::ConsoleStream, "", 3);
  EXPECT_EQ(Console.Text, "Breakpoint 1, add (a=0, b=0) at t.cpp:5\n");
  const TMIRecord Log = FindRecord(Lines, TMIRecordKind::LogStream, "");
  EXPECT_EQ(Log.Text, "No source file named nosuch.cpp.\n");

  // gdb writes exit codes in octal.
  EXPECT_EQ(FindRecord(Lines, TMIRecordKind::ExecAsync, "stopped", 3).Results.Get("exit-code"), "015");
  EXPECT_EQ(Answer(Lines, 14).Class, "exit");
}

TEST(MIOutput, CStringEscapesDecode) {
  // A value printed by gdb: a structure whose string holds a quote, a backslash, a line
  // break, a tab and a control character (octal).
  const TMIRecord R = Answer(TranscriptLines("cpp-segv.mi"), 5);
  EXPECT_EQ(R.Results.Get("value"), "{x = 3, s = 0x555555556027 \"a\\\"b\\\\c\\n\\t\\001\"}");

  const TMIRecord S = ParseMIRecord(R"(~"\101\12\0end\x41\x4a!\e\r\a\'\?\q")");
  ASSERT_EQ(S.Kind, TMIRecordKind::ConsoleStream);
  EXPECT_EQ(S.Text, std::string("A\n") + '\0' + "endAJ!\x1b\r\a'?q");
  // Bytes above ASCII pass through unchanged.
  EXPECT_EQ(ParseMIRecord("@\"gr\xC3\xBC\xC3\x9F\"").Text, "gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(QuoteMIString(std::string("a\"b\\c\n\t\x01\x7f", 9)), R"("a\"b\\c\n\t\001\177")");
  EXPECT_EQ(ParseMIRecord("~" + QuoteMIString(std::string("\0\x1f\xff", 3))).Text, std::string("\0\x1f\xff", 3));
}

TEST(MIOutput, SyntaxCorners) {
  EXPECT_EQ(ParseMIRecord("(gdb) ").Kind, TMIRecordKind::Prompt);
  EXPECT_EQ(ParseMIRecord("(gdb)\r").Kind, TMIRecordKind::Prompt);
  EXPECT_EQ(ParseMIRecord("12^done\r").Token, 12u);

  const TMIRecord Empty = ParseMIRecord("^done,a={},b=[],c=\"\"");
  EXPECT_EQ(Empty.Results.Find("a")->Kind(), TMIValue::mvTuple);
  EXPECT_EQ(Empty.Results.Find("b")->Kind(), TMIValue::mvList);
  EXPECT_EQ(Empty.Results.Find("b")->Count(), 0u);
  EXPECT_TRUE(Empty.Results.Find("c")->IsConst());

  // Several locations of one breakpoint, as older interface levels wrote them: bare tuples.
  const TMIRecord Multi = ParseMIRecord(R"(^done,bkpt={number="1"},{number="1.1"},{number="1.2"})");
  ASSERT_EQ(Multi.Kind, TMIRecordKind::Result);
  ASSERT_EQ(Multi.Results.Count(), 3u);
  EXPECT_EQ(Multi.Results.Items()[2].second.Get("number"), "1.2");
  EXPECT_EQ(ParseMIRecord(FormatMIRecord(Multi)), Multi);

  EXPECT_EQ(ParseMIRecord("+download,section=\".text\"").Kind, TMIRecordKind::StatusAsync);
  EXPECT_EQ(ParseMIRecord("=thread-created,id=\"2\",group-id=\"i1\"").Results.GetInt("id"), 2);
  EXPECT_EQ(ParseMIRecord("^done,n=\"x\"").Results.GetInt("n", -1), -1);
  EXPECT_EQ(ParseMIRecord("^done").Results.Get("missing", "dflt"), "dflt");
}

TEST(MIOutput, LinesOutsideTheSyntaxAreKeptAsText) {
  const std::string Deep = "^done,v=" + std::string(5000, '[') + std::string(5000, ']');
  for (const std::string& Line :
       {std::string("Hello from the program"), std::string(""), std::string("^"), std::string("^done,"),
        std::string("^done,a"), std::string("^done,a=\"open"), std::string("^done,a=\"x\\"),
        std::string("^done,a=\"x\"junk"), std::string("^done,a={b=\"1\""), std::string("^done,a=[\"1\",]"),
        std::string("1~\"streams carry no token\""), std::string("~\"x\" trailing"),
        std::string("99999999999999999999999^done"), std::string("(gdb) more"), Deep}) {
    const TMIRecord R = ParseMIRecord(Line);
    EXPECT_EQ(R.Kind, TMIRecordKind::Text) << Line.substr(0, 40);
    EXPECT_EQ(R.Text, Line) << Line.substr(0, 40);
  }
  // Nesting a real value may have still reads.
  const std::string Nested = "^done,v=" + std::string(100, '[') + std::string(100, ']');
  EXPECT_EQ(ParseMIRecord(Nested).Kind, TMIRecordKind::Result);
}

}  // namespace
}  // namespace nxs::gdbmi
