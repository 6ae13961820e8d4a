#include "dap/dapserver.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "debugger/debugtest.h"
#include "lsp/lspframe.h"

using namespace nxs;
using namespace nxs::dap;
using json = nlohmann::json;

namespace {

class DapServer : public test::DebuggerTest {
 protected:
  void SetUp() override {
    DebuggerTest::SetUp();
    Server = std::make_unique<TDapServer>(*Mgr, [this](const std::string& Content) { Sent.push_back(json::parse(Content)); });
  }
  void TearDown() override {
    Server.reset();
    DebuggerTest::TearDown();
  }

  // Sends one request and returns what the adapter sent for it: its response first, then the
  // events its work caused.
  std::vector<json> Request(const std::string& Command, json Args = json::object()) {
    return SendText(json({{"seq", ++FSeq}, {"type", "request"}, {"command", Command}, {"arguments", std::move(Args)}}).dump());
  }
  std::vector<json> SendText(const std::string& Content) {
    Sent.clear();
    Server->HandleMessage(Content);
    return Sent;
  }
  json Body(const std::string& Command, json Args = json::object()) {
    const std::vector<json> A = Request(Command, std::move(Args));
    EXPECT_FALSE(A.empty());
    if (A.empty()) return json();
    EXPECT_TRUE(A[0].value("success", false)) << A[0];
    return A[0].value("body", json());
  }
  // The events sent since the last request while the main thread's queue runs, until one
  // called Name came.
  std::vector<json> PumpUntilEvent(const std::string& Name) {
    Sent.clear();
    EXPECT_TRUE(test::PumpUntil([&] {
      Server->Idle();
      for (const json& M : Sent)
        if (M.value("event", "") == Name) return true;
      return false;
    })) << "no " << Name << " event";
    return Sent;
  }
  static std::vector<std::string> Names(const std::vector<json>& Messages) {
    std::vector<std::string> Out;
    for (const json& M : Messages) Out.push_back(M.value("type", "") == "response" ? "response" : M.value("event", "?"));
    return Out;
  }

  std::unique_ptr<TDapServer> Server;
  std::vector<json> Sent;
  int FSeq = 0;
};

}  // namespace

TEST_F(DapServer, MessagesAreNumberedAndAnsweredAsTheProtocolSays) {
  auto A = Request("threads");
  ASSERT_EQ(A.size(), 1u);
  EXPECT_EQ(A[0]["success"], false);
  EXPECT_EQ(A[0]["message"], "The adapter is not initialized");
  EXPECT_EQ(A[0]["request_seq"], 1);
  EXPECT_EQ(A[0]["command"], "threads");

  A = Request("initialize", {{"adapterID", "nxs"}});
  ASSERT_EQ(A.size(), 1u) << "the initialized event waits for the launch";
  EXPECT_EQ(A[0]["type"], "response");
  EXPECT_EQ(A[0]["request_seq"], 2);
  EXPECT_EQ(A[0]["body"]["supportsHitConditionalBreakpoints"], true);
  EXPECT_EQ(Request("initialize")[0]["success"], false);

  A = Request("fly");
  EXPECT_EQ(A[0]["message"], "Unrecognized request \"fly\"");
  EXPECT_EQ(A[0]["body"]["error"]["format"], "Unrecognized request \"fly\"");

  // Faults that name no request are told as output events; the adapter goes on.
  for (const std::string Bad : {"{oops", "[1,2]", R"({"seq":9,"type":"notify"})", "\xff\xfe"}) {
    A = SendText(Bad);
    ASSERT_EQ(A.size(), 1u) << Bad;
    EXPECT_EQ(A[0]["event"], "output") << Bad;
    EXPECT_EQ(A[0]["body"]["category"], "important") << Bad;
  }
  EXPECT_TRUE(SendText(R"({"seq":9,"type":"event","event":"x"})").empty());
  EXPECT_TRUE(SendText(R"({"seq":9,"type":"response","request_seq":1,"success":true})").empty());
  A = SendText(R"({"seq":"9","type":"request","command":"threads"})");
  EXPECT_EQ(A[0]["success"], false);
  EXPECT_EQ(A[0]["request_seq"], 0);
  A = SendText(R"({"seq":10,"type":"request","command":7})");
  EXPECT_EQ(A[0]["request_seq"], 10);
  EXPECT_EQ(A[0]["message"], "A request needs a number \"seq\" and a text \"command\"");
  EXPECT_EQ(Request("stackTrace", {{"threadId", "one"}})[0]["message"],
            "The argument \"threadId\" is missing or not a whole number");
  EXPECT_EQ(Request("stackTrace", {{"threadId", 1}})[0]["message"], "No process is being debugged");
  EXPECT_EQ(Request("scopes", {{"frameId", 1}})[0]["message"], "No stack frame 1");
  EXPECT_EQ(Body("threads"), json({{"threads", json::array()}}));
  EXPECT_EQ(Body("setExceptionBreakpoints", {{"filters", json::array()}}), json({{"breakpoints", json::array()}}));

  // Every message the adapter sends has a seq of its own, one more than the one before.
  Sent.clear();
  Request("fly");
  SendText("{oops");
  Request("threads");
  ASSERT_EQ(Sent.size(), 1u);
  const int64_t Last = Sent[0]["seq"].get<int64_t>();
  A = Request("threads");
  EXPECT_EQ(A[0]["seq"].get<int64_t>(), Last + 1);

  EXPECT_FALSE(Server->Ended());
  Body("disconnect");
  EXPECT_TRUE(Server->Ended());
  EXPECT_EQ(Server->ExitCode(), 0);
}

TEST_F(DapServer, AProgramStopsWhereItsBreakpointsSayAndEnds) {
  const auto Kernel = AddKernel();
  const std::string Prog = Program(
      "main.c:1\n"
      "  sq.c:5 N=1\n"
      "main.c:2\n"
      "  sq.c:5 N=2\n"
      "  sq.c:6 N=2 R=4\n"
      "main.c:3\n"
      "print done\n"
      "exit 7\n");
  Body("initialize", {{"linesStartAt1", false}, {"columnsStartAt1", false}});
  auto A = Request("launch", {{"program", Prog}, {"args", {"a", "b c"}}});
  EXPECT_EQ(Names(A), (std::vector<std::string>{"response", "initialized"}));

  // Lines count from 0 for this client. A line without code is planted on the next one.
  json Placed = Body("setBreakpoints", {{"source", {{"path", "/src/sq.c"}}},
                                        {"breakpoints", {{{"line", 3}, {"hitCondition", "2"}}, {{"line", 9}, {"hitCondition", "%2"}}}}});
  ASSERT_EQ(Placed["breakpoints"].size(), 2u);
  EXPECT_EQ(Placed["breakpoints"][0]["verified"], false);
  EXPECT_EQ(Placed["breakpoints"][1]["message"], "The hit condition must be a pass count (a whole number): %2");
  ASSERT_EQ(Mgr->Breakpoints().GetCount(), 1);
  EXPECT_EQ(Mgr->Breakpoints().GetBreakpoint(0)->GetPassCount(), 2);
  EXPECT_EQ(Mgr->Breakpoints().GetBreakpoint(0)->GetLineNumber(), 4);
  const int Id = Placed["breakpoints"][0]["id"];

  A = Request("configurationDone");
  ASSERT_FALSE(A.empty());
  EXPECT_EQ(A[0]["success"], true);
  EXPECT_EQ(Kernel->LastLoad.Parameters, "a 'b c'");
  for (const json& M : PumpUntilEvent("stopped")) A.push_back(M);
  json Changed, Stopped;
  for (const json& M : A) {
    if (M.value("event", "") == "breakpoint") Changed = M["body"];
    if (M.value("event", "") == "stopped") Stopped = M["body"];
  }
  EXPECT_EQ(Changed["reason"], "changed");
  EXPECT_EQ(Changed["breakpoint"]["id"], Id);
  EXPECT_EQ(Changed["breakpoint"]["verified"], true);
  EXPECT_EQ(Changed["breakpoint"]["line"], 4) << "the line the kernel uses";
  EXPECT_EQ(Stopped["reason"], "breakpoint");
  EXPECT_EQ(Stopped["hitBreakpointIds"], json::array({Id}));

  const json Frames = Body("stackTrace", {{"threadId", Stopped["threadId"]}})["stackFrames"];
  ASSERT_EQ(Frames.size(), 2u);
  EXPECT_EQ(Frames[0]["line"], 4);
  EXPECT_EQ(Frames[0]["column"], 0);
  EXPECT_EQ(Frames[0]["source"]["path"], "sq.c");
  EXPECT_EQ(Frames[1]["line"], 1);
  const json Scopes = Body("scopes", {{"frameId", Frames[0]["id"]}})["scopes"];
  const json Locals = Body("variables", {{"variablesReference", Scopes[0]["variablesReference"]}})["variables"];
  ASSERT_EQ(Locals.size(), 1u);
  EXPECT_EQ(Locals[0]["name"], "N");
  EXPECT_EQ(Locals[0]["value"], "2");
  EXPECT_EQ(Locals[0]["type"], "int");
  EXPECT_EQ(Body("evaluate", {{"expression", "N"}, {"frameId", Frames[0]["id"]}})["result"], "2");
  EXPECT_EQ(Request("evaluate", {{"expression", "Q"}})[0]["message"], "No symbol \"Q\" in current context.");

  A = Request("next", {{"threadId", Stopped["threadId"]}});
  EXPECT_EQ(Names(A), (std::vector<std::string>{"response", "continued"}));
  A = PumpUntilEvent("stopped");
  EXPECT_EQ(A.back()["body"]["reason"], "step");
  EXPECT_EQ(Request("scopes", {{"frameId", Frames[0]["id"]}})[0]["success"], false) << "frames go when the program runs on";

  Request("continue");
  A = PumpUntilEvent("terminated");
  std::vector<std::string> Tail;
  for (const json& M : A)
    if (M["event"] != "output" || M["body"]["category"] == "stdout") Tail.push_back(M["event"]);
  EXPECT_EQ(Tail, (std::vector<std::string>{"output", "exited", "terminated"}));
  for (const json& M : A) {
    if (M["event"] == "exited") {
      EXPECT_EQ(M["body"]["exitCode"], 7);
    }
  }
}

TEST_F(DapServer, TheClientsBreakpointsOfAFileReplaceTheManagersOfThatFile) {
  Body("initialize");
  TBreakpointManager& M = Mgr->Breakpoints();
  auto At = [](const std::string& File, int Line) {
    TBreakpointProps P;
    P.FileName = File;
    P.LineNumber = Line;
    return P;
  };
  M.Add(At("/src/other.c", 3));
  M.Add(At("/src/a.c", 1));
  // What the manager held before is new to the client.
  Sent.clear();
  Server->Idle();
  EXPECT_EQ(Names(Sent), (std::vector<std::string>{"breakpoint", "breakpoint"}));
  EXPECT_EQ(Sent[0]["body"]["reason"], "new");

  json Placed = Body("setBreakpoints", {{"source", {{"path", "/src/a.c"}}},
                                        {"breakpoints", {{{"line", 5}, {"condition", "x > 1"}},
                                                         {{"line", 9}, {"logMessage", "at {x}"}},
                                                         {{"line", 5}, {"hitCondition", "3"}}}}});
  ASSERT_EQ(M.GetCount(), 3);
  EXPECT_EQ(M.GetBreakpoint(0)->GetFileName(), "/src/other.c");
  const auto Log = M.GetBreakpoint(1);
  EXPECT_EQ(Log->GetLineNumber(), 9);
  EXPECT_EQ(Log->GetLogMessage(), "at {x}");
  EXPECT_FALSE(Log->GetDoBreak()) << "a log point never stops";
  const auto Later = M.GetBreakpoint(2);
  EXPECT_EQ(Later->GetLineNumber(), 5);
  EXPECT_EQ(Later->GetPassCount(), 3) << "two on one line are one: the later holds";
  EXPECT_EQ(Later->GetExpression(), "");

  // A request that does not read changes nothing.
  EXPECT_EQ(Request("setBreakpoints", {{"source", {{"path", "/src/a.c"}}}, {"breakpoints", {{{"line", 0}}}}})[0]["success"],
            false);
  EXPECT_EQ(M.GetCount(), 3);

  // Deleted by someone else: removed for the client.
  Sent.clear();
  M.Delete(0);
  Server->Idle();
  ASSERT_EQ(Names(Sent), (std::vector<std::string>{"breakpoint"}));
  EXPECT_EQ(Sent[0]["body"]["reason"], "removed");

  Body("setBreakpoints", {{"source", {{"path", "/src/a.c"}}}, {"breakpoints", json::array()}});
  EXPECT_EQ(M.GetCount(), 0);
}

TEST_F(DapServer, ASessionEndsAtDisconnectOrAtTheEndOfItsInput) {
  auto Serve = [&](std::string Input, std::string& Output) {
    // The reader may outlive the session (it ends at a disconnect): it owns what it reads.
    auto Left = std::make_shared<std::string>(std::move(Input));
    return ServeDebugClient(
        *Mgr,
        [Left](char* Buffer, size_t Size) {
          const size_t N = std::min<size_t>({Size, 7, Left->size()});
          Left->copy(Buffer, N);
          Left->erase(0, N);
          return N;
        },
        [&](std::string_view Data) {
          Output += Data;
          return true;
        });
  };
  const std::string Init = lsp::FrameMessage(R"({"seq":1,"type":"request","command":"initialize"})");
  std::string Out;
  EXPECT_EQ(Serve(Init + "Content-Length: x\r\n\r\n" +
                      lsp::FrameMessage(R"({"seq":2,"type":"request","command":"disconnect"})") + Init,
                  Out),
            0);
  EXPECT_NE(Out.find(R"("command":"initialize")"), std::string::npos);
  EXPECT_NE(Out.find(R"("category":"important")"), std::string::npos);
  EXPECT_NE(Out.find(R"("command":"disconnect")"), std::string::npos);
  EXPECT_EQ(Out.find(R"("request_seq":1,"success":false)"), std::string::npos) << "nothing after the disconnect";

  Out.clear();
  EXPECT_EQ(Serve(Init + "Content-Length: 90\r\n\r\n{", Out), 1);
  EXPECT_NE(Out.find("Input ended inside a message"), std::string::npos);
}
