#include "lsp/lspserver.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <chrono>
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "editor/buffers/editbuffer.h"
#include "lsp/lspdocs.h"
#include "projectfiles/linuxplatform.h"
#include "projectfiles/projectfile.h"
#include "projects/projectgroup.h"
#include "projects/projectsession.h"
#include "shared/filenames.h"
#include "shared/mainthread.h"
#include "startup/startup.h"
#include "support/files.h"
#include "support/tempdir.h"

using namespace nxs;
using namespace nxs::lsp;
using json = nlohmann::json;

namespace {

class LspServer : public ::testing::Test {
 protected:
  TSystemStartup System;
  test::TTempDir Dir;
  std::vector<json> Sent;
  TLspServer Server{[this](const std::string& Content) { Sent.push_back(json::parse(Content)); }};

  // Sends one message and returns what the server answered to it.
  std::vector<json> Send(const json& Message) { return SendText(Message.dump()); }
  std::vector<json> SendText(const std::string& Content) {
    Sent.clear();
    Server.HandleMessage(Content);
    return Sent;
  }
  static json Request(int Id, const std::string& Method, json Params = json::object()) {
    return {{"jsonrpc", "2.0"}, {"id", Id}, {"method", Method}, {"params", std::move(Params)}};
  }
  static json Notification(const std::string& Method, json Params = json::object()) {
    return {{"jsonrpc", "2.0"}, {"method", Method}, {"params", std::move(Params)}};
  }
  // The code of the one error answered, 0 when the answer was a result or none came.
  static int ErrorCode(const std::vector<json>& Answers) {
    if (Answers.size() != 1 || !Answers[0].contains("error")) return 0;
    return Answers[0]["error"]["code"].get<int>();
  }
  void Initialize(json Capabilities = json::object()) {
    auto A = Send(Request(1, "initialize", {{"capabilities", Capabilities}}));
    ASSERT_EQ(A.size(), 1u);
    ASSERT_TRUE(A[0].contains("result")) << A[0];
    Send(Notification("initialized"));
  }
};

}  // namespace

TEST_F(LspServer, TheLifeCycleGoesAsTheProtocolSays) {
  // Before initialize: requests are refused, notifications dropped.
  EXPECT_EQ(ErrorCode(Send(Request(7, "textDocument/foldingRange"))), -32002);
  EXPECT_TRUE(Send(Notification("textDocument/didOpen")).empty());
  EXPECT_EQ(ErrorCode(Send(Request(8, "shutdown"))), -32002);

  auto A = Send(Request(1, "initialize", {{"capabilities", json::object()}}));
  ASSERT_EQ(A.size(), 1u);
  EXPECT_EQ(A[0]["id"], 1);
  EXPECT_EQ(A[0]["result"]["capabilities"]["positionEncoding"], "utf-16");
  EXPECT_EQ(A[0]["result"]["capabilities"]["textDocumentSync"]["change"], 2);
  EXPECT_EQ(ErrorCode(Send(Request(2, "initialize"))), -32600);
  EXPECT_EQ(ErrorCode(Send(Request(3, "no/such/method"))), -32601);
  EXPECT_TRUE(Send(Notification("no/such/notification")).empty());
  EXPECT_TRUE(Send(Notification("$/setTrace", {{"value", "off"}})).empty());

  A = Send(Request(4, "shutdown", nullptr));
  ASSERT_EQ(A.size(), 1u);
  EXPECT_TRUE(A[0]["result"].is_null());
  EXPECT_FALSE(Server.Exited());
  EXPECT_EQ(ErrorCode(Send(Request(5, "textDocument/foldingRange"))), -32600);
  EXPECT_TRUE(Send(Notification("exit")).empty());
  EXPECT_TRUE(Server.Exited());
  EXPECT_EQ(Server.ExitCode(), 0);
}

TEST_F(LspServer, ExitWithoutShutdownEndsWithStatusOne) {
  Send(Notification("exit"));
  EXPECT_TRUE(Server.Exited());
  EXPECT_EQ(Server.ExitCode(), 1);
}

TEST_F(LspServer, MalformedMessagesGetTheProtocolsErrorsAndTheServerGoesOn) {
  Initialize();
  EXPECT_EQ(ErrorCode(SendText("{\"jsonrpc\": \"2.0\", \"id\": 1,")), -32700);
  EXPECT_EQ(ErrorCode(SendText("")), -32700);
  EXPECT_EQ(ErrorCode(SendText("[1, 2]")), -32600);
  EXPECT_EQ(ErrorCode(SendText("42")), -32600);
  EXPECT_EQ(ErrorCode(Send({{"id", 1}, {"method", "shutdown"}})), -32600);      // no "jsonrpc"
  EXPECT_EQ(ErrorCode(Send({{"jsonrpc", "1.0"}, {"id", 1}, {"method", "x"}})), -32600);
  EXPECT_EQ(ErrorCode(Send({{"jsonrpc", "2.0"}, {"id", {1}}, {"method", "x"}})), -32600);
  EXPECT_EQ(ErrorCode(Send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", 5}})), -32600);
  EXPECT_EQ(ErrorCode(Send({{"jsonrpc", "2.0"}, {"id", 1}})), -32600);
  EXPECT_EQ(ErrorCode(Send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "textDocument/foldingRange"}, {"params", 3}})), -32602);
  // Parameters that are not what the method takes.
  EXPECT_EQ(ErrorCode(Send(Request(2, "textDocument/foldingRange"))), -32602);
  EXPECT_EQ(ErrorCode(Send(Request(3, "textDocument/foldingRange", {{"textDocument", {{"uri", 5}}}}))), -32602);
  EXPECT_EQ(ErrorCode(Send(Request(4, "textDocument/documentSymbol", {{"textDocument", {{"uri", "file:///not/open.pas"}}}}))),
            -32602);
  EXPECT_EQ(ErrorCode(Send(Request(5, "textDocument/semanticTokens/full", {{"textDocument", {{"uri", "http://x/y.pas"}}}}))),
            -32602);
  // A response to nothing the server asked is let be; a notification that fails is logged.
  EXPECT_TRUE(Send({{"jsonrpc", "2.0"}, {"id", 99}, {"result", nullptr}}).empty());
  auto A = Send(Notification("textDocument/didChange", {{"textDocument", {{"uri", "file:///nowhere.pas"}}}}));
  ASSERT_EQ(A.size(), 1u);
  EXPECT_EQ(A[0]["method"], "window/logMessage");
  // String ids are answered with the same id.
  A = Send({{"jsonrpc", "2.0"}, {"id", "abc"}, {"method", "no/such"}});
  ASSERT_EQ(A.size(), 1u);
  EXPECT_EQ(A[0]["id"], "abc");
  EXPECT_FALSE(Server.Exited());
}

TEST_F(LspServer, ACancellationAnswersTheRequestsItFollowsAsCancelled) {
  Initialize();
  Sent.clear();
  const json Cancel = Notification("$/cancelRequest", {{"id", 11}});
  Server.HandleMessages({Request(11, "shutdown").dump(), Request(12, "no/such").dump(), Cancel.dump()});
  ASSERT_EQ(Sent.size(), 2u);
  EXPECT_EQ(Sent[0]["id"], 11);
  EXPECT_EQ(Sent[0]["error"]["code"], -32800);
  EXPECT_EQ(Sent[1]["error"]["code"], -32601);
  // The cancelled shutdown did not happen; a cancellation of what is answered already is let be.
  Sent.clear();
  Server.HandleMessages({Cancel.dump(), Request(11, "shutdown").dump()});
  ASSERT_EQ(Sent.size(), 1u);
  EXPECT_TRUE(Sent[0].contains("result"));
}

TEST_F(LspServer, UTF8PositionsAreAgreedWhenTheClientOffersThem) {
  auto A = Send(Request(1, "initialize", {{"capabilities", {{"general", {{"positionEncodings", {"utf-32", "utf-8", "utf-16"}}}}}}}));
  EXPECT_EQ(A[0]["result"]["capabilities"]["positionEncoding"], "utf-8");
  EXPECT_EQ(Server.Encoding(), TPosEncoding::Utf8);
}

// -- Documents ---------------------------------------------------------------------------------

namespace {

// A character beyond the basic plane (two UTF-16 units, four bytes), and one of two bytes.
const std::string Emoji = "\xF0\x9F\x98\x80";
const std::string Eacute = "\xC3\xA9";

class LspDocument : public LspServer {
 protected:
  std::string Uri;
  void Open(const std::string& Disk, const std::string& Client) {
    test::WriteText(Dir / "u.pas", Disk);
    Uri = UriOfFileName(Dir / "u.pas");
    Send(Notification("textDocument/didOpen",
                      {{"textDocument", {{"uri", Uri}, {"languageId", "pascal"}, {"version", 1}, {"text", Client}}}}));
  }
  void Change(int64_t L1, int64_t C1, int64_t L2, int64_t C2, const std::string& Text) {
    const json Range = {{"start", {{"line", L1}, {"character", C1}}}, {"end", {{"line", L2}, {"character", C2}}}};
    json Changes = json::array();
    Changes.push_back({{"range", Range}, {"text", Text}});
    auto A = Send(Notification("textDocument/didChange",
                               {{"textDocument", {{"uri", Uri}, {"version", 2}}}, {"contentChanges", Changes}}));
    EXPECT_TRUE(A.empty()) << A[0];
  }
  // The document's text as its edit buffer holds it.
  std::string Text() {
    auto B = TEditBuffer::FindBuffer(Dir / "u.pas");
    return B ? B->Text() : "<no buffer>";
  }
  json Call(const std::string& Method, json Params) {
    Params["textDocument"] = {{"uri", Uri}};
    auto A = Send(Request(50, Method, Params));
    EXPECT_EQ(A.size(), 1u);
    return A.empty() || !A[0].contains("result") ? json() : A[0]["result"];
  }
};

}  // namespace

TEST_F(LspDocument, IncrementalChangesLandOnTheKernelsCharactersInUTF16) {
  Initialize();
  // Line 0 holds a tab and a character of two UTF-16 units; line 1 ends in CR LF.
  Open("disk\n", "a\t" + Emoji + "b\r\nline two\r\n");
  EXPECT_EQ(Text(), "a\t" + Emoji + "b\r\nline two\r\n");
  Change(0, 4, 0, 4, "X");  // after the pair: a, tab, 2 units
  EXPECT_EQ(Text(), "a\t" + Emoji + "Xb\r\nline two\r\n");
  Change(0, 2, 0, 4, "");  // the pair itself
  EXPECT_EQ(Text(), "a\tXb\r\nline two\r\n");
  Change(0, 1, 0, 2, "  ");  // the tab, as a character, not as columns
  EXPECT_EQ(Text(), "a  Xb\r\nline two\r\n");
  Change(0, 5, 1, 4, "");  // across a line break
  EXPECT_EQ(Text(), "a  Xb two\r\n");
  Change(0, 0, 0, 0, "new\n");
  EXPECT_EQ(Text().substr(0, 4), "new\n");
  // Past the end of a line, past the last line, and a range given end first.
  Change(0, 100, 0, 100, "!");
  Change(500, 0, 500, 9, "$");
  EXPECT_EQ(Text(), "new!\na  Xb two\r\n$");
  Change(1, 3, 1, 1, "");
  EXPECT_EQ(Text(), "new!\naXb two\r\n$");
  // The line after the last: the end of the text, where a client appends.
  Change(3, 0, 3, 0, "%");
  EXPECT_EQ(Text(), "new!\naXb two\r\n$%");
}

TEST_F(LspDocument, UTF8PositionsCountBytes) {
  Initialize({{"general", {{"positionEncodings", {"utf-8"}}}}});
  Open("", Eacute + Emoji + "z\n");
  Change(0, 6, 0, 7, "Z");  // é is 2 bytes, the emoji 4
  EXPECT_EQ(Text(), Eacute + Emoji + "Z\n");
  // A position inside a character reads as its start.
  Change(0, 3, 0, 3, "|");
  EXPECT_EQ(Text(), Eacute + "|" + Emoji + "Z\n");
}

TEST_F(LspDocument, OpeningGivesTheModuleTheClientsTextAndClosingDropsIt) {
  Initialize();
  Open("unit u;\n", "unit u; { unsaved }\n");
  EXPECT_EQ(Text(), "unit u; { unsaved }\n");
  auto B = TEditBuffer::FindBuffer(Dir / "u.pas");
  ASSERT_TRUE(B);
  EXPECT_TRUE(B->GetIsModified());
  B.reset();
  Send(Notification("textDocument/didClose", {{"textDocument", {{"uri", Uri}}}}));
  EXPECT_FALSE(TEditBuffer::FindBuffer(Dir / "u.pas"));
  EXPECT_EQ(test::ReadText(Dir / "u.pas"), "unit u;\n");
  EXPECT_EQ(ErrorCode(Send(Request(9, "textDocument/foldingRange", {{"textDocument", {{"uri", Uri}}}}))), -32602);
}

TEST_F(LspDocument, AReadOnlyFileStillTakesTheClientsEdits) {
  Initialize();
  test::WriteText(Dir / "u.pas", "unit u;\n");
  ::chmod((Dir / "u.pas").c_str(), 0444);
  Uri = UriOfFileName(Dir / "u.pas");
  Send(Notification("textDocument/didOpen",
                    {{"textDocument", {{"uri", Uri}, {"languageId", "pascal"}, {"version", 1}, {"text", "unit v;\n"}}}}));
  EXPECT_EQ(Text(), "unit v;\n");
  Change(0, 5, 0, 6, "w");
  EXPECT_EQ(Text(), "unit w;\n");
  auto B = TEditBuffer::FindBuffer(Dir / "u.pas");
  ASSERT_TRUE(B);
  EXPECT_TRUE(B->GetReadOnly());
}

TEST_F(LspDocument, FeaturesCountPositionsInTheAgreedUnits) {
  Initialize();
  // The routine starts after a character of two units in a comment on its line.
  Open("", "unit u;\ninterface\nimplementation\n{" + Emoji + "} procedure P;\nvar Count: Integer;\n"
           "begin\n  Count := Count + 1;\nend;\nend.\n");
  const json Folds = Call("textDocument/foldingRange", json::object());
  ASSERT_TRUE(Folds.is_array());
  bool Seen = false;
  for (const json& F : Folds)
    if (F["startLine"] == 3) {
      Seen = true;
      EXPECT_EQ(F["startCharacter"], 5) << F;
      EXPECT_EQ(F["endLine"], 7) << F;
    }
  EXPECT_TRUE(Seen) << Folds;

  const json Symbols = Call("textDocument/documentSymbol", json::object());
  ASSERT_EQ(Symbols.size(), 1u) << Symbols;
  const json& Routine = Symbols[0]["children"][0];
  EXPECT_EQ(Routine["kind"], 12);
  EXPECT_EQ(Routine["range"]["start"], json({{"line", 3}, {"character", 5}}));

  // "Count" on line 6 after two blanks: its three occurrences in the routine are linked.
  const json Linked = Call("textDocument/linkedEditingRange", {{"position", {{"line", 6}, {"character", 4}}}});
  ASSERT_TRUE(Linked.contains("ranges")) << Linked;
  ASSERT_EQ(Linked["ranges"].size(), 3u) << Linked;
  EXPECT_EQ(Linked["ranges"][1]["start"], json({{"line", 6}, {"character", 2}}));
  EXPECT_EQ(Linked["ranges"][1]["end"], json({{"line", 6}, {"character", 7}}));
  EXPECT_TRUE(Call("textDocument/linkedEditingRange", {{"position", {{"line", 0}, {"character", 0}}}}).is_null());
}

TEST_F(LspDocument, ASemanticTokensDeltaTurnsThePreviousResultIntoTheTokensOfTheTextNow) {
  Initialize();
  std::string Unit = "unit u;\ninterface\nimplementation\n";
  for (int I = 0; I < 300; ++I)
    Unit += "procedure P" + std::to_string(I) + ";\nbegin\n  WriteLn('" + Emoji + "', " + std::to_string(I) + "); { c }\nend;\n";
  Open("", Unit + "end.\n");
  json Full = Call("textDocument/semanticTokens/full", json::object());
  ASSERT_TRUE(Full["resultId"].is_string()) << Full;
  std::vector<uint32_t> Have = Full["data"].get<std::vector<uint32_t>>();
  std::string Previous = Full["resultId"];

  // Changes at the start, in the middle and at the end, lines inserted and removed, a comment
  // opened that colours what follows: each delta, applied, gives what a full request gives.
  const struct {
    int64_t L1, C1, L2, C2;
    const char* Text;
    bool Local;  // the change recolours only the lines it touches
  } Edits[] = {{0, 0, 0, 0, "{ first }\n", true},     {600, 2, 600, 9, "Write", true},
               {601, 0, 601, 0, "x := 1;\ny := 2;\n", true}, {10, 0, 30, 0, "", true},
               {500, 0, 500, 0, "{ open ", false},      {900, 0, 900, 0, "}", false},
               {1190, 0, 1200, 0, "end.", true},        {5, 3, 5, 3, "", true}};
  for (const auto& E : Edits) {
    Change(E.L1, E.C1, E.L2, E.C2, E.Text);
    const json Delta = Call("textDocument/semanticTokens/full/delta", {{"previousResultId", Previous}});
    ASSERT_TRUE(Delta.contains("edits")) << Delta;
    ASSERT_NE(Delta["resultId"], Previous);
    Previous = Delta["resultId"];
    // Edits refer to the previous data; apply them from the last.
    for (auto It = Delta["edits"].rbegin(); It != Delta["edits"].rend(); ++It) {
      const auto Start = (*It)["start"].get<size_t>(), Count = (*It)["deleteCount"].get<size_t>();
      ASSERT_LE(Start + Count, Have.size()) << *It;
      const auto Data = It->value("data", std::vector<uint32_t>());
      Have.erase(Have.begin() + static_cast<std::ptrdiff_t>(Start), Have.begin() + static_cast<std::ptrdiff_t>(Start + Count));
      Have.insert(Have.begin() + static_cast<std::ptrdiff_t>(Start), Data.begin(), Data.end());
      // A change of a few lines sends the tokens of a few runs, not of the whole text.
      if (E.Local) {
        EXPECT_LT(Data.size(), Have.size() / 8) << E.Text;
      }
    }
    Full = Call("textDocument/semanticTokens/full", json::object());
    ASSERT_EQ(Have, Full["data"].get<std::vector<uint32_t>>()) << "after " << E.Text;
    Previous = Full["resultId"];
  }
  // Nothing changed: no edit. A result that is not the last one: the whole tokens again.
  const json Same = Call("textDocument/semanticTokens/full/delta", {{"previousResultId", Previous}});
  EXPECT_EQ(Same["edits"], json::array());
  for (const std::string& Stale : {Previous, std::string("no such result")}) {
    const json Whole = Call("textDocument/semanticTokens/full/delta", {{"previousResultId", Stale}});
    EXPECT_EQ(Whole["data"].get<std::vector<uint32_t>>(), Have);
    EXPECT_TRUE(Whole.contains("resultId"));
  }
}

TEST_F(LspDocument, AnOpenDocumentHoldsTheClientsTextOnceAndUndoesNothingOfIt) {
  Initialize();
  std::string Unit = "unit u;\ninterface\nimplementation\n";
  while (Unit.size() < 4 * 1024 * 1024) Unit += "procedure P;\nbegin\n  WriteLn('text', 12345); { a comment }\nend;\n";
  const size_t Before = mallinfo2().uordblks;
  Open("unit u;\n", Unit + "end.\n");
  const size_t Held = mallinfo2().uordblks - Before;
  auto B = TEditBuffer::FindBuffer(Dir / "u.pas");
  ASSERT_TRUE(B);
  // The client's text differs from the file's: the buffer is modified, and has nothing the
  // server could undo (the client keeps its own history).
  EXPECT_TRUE(B->GetIsModified());
  EXPECT_FALSE(B->GetEditorState().UndoAvailable);
  Change(1, 0, 1, 0, "{ typed }");
  EXPECT_EQ(Text().substr(0, 20), "unit u;\n{ typed }int");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's allocator keeps what the heap count would show";
#endif
  // The text once, its line index and little else: an undo copy or a flag on every line
  // would each add most of the text again.
  EXPECT_LT(Held, Unit.size() * 3 / 2) << Held << " bytes for " << Unit.size();
}

namespace {

// Serves the main-thread queue and the server's due checks until a diagnostics notification
// comes (null after 60 s).
json AwaitDiagnostics(TLspServer& Server, std::vector<json>& Sent) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < Deadline) {
    for (const json& M : Sent)
      if (M.value("method", "") == "textDocument/publishDiagnostics") return M["params"];
    Server.RunDueChecks();
    MainThreadQueue().WaitAndProcess(50);
  }
  return nullptr;
}

}  // namespace

TEST_F(LspDocument, AChangedFileOfNoProjectIsCheckedAloneWithItsUnsavedTextAfterAPause) {
  Initialize();
  Server.SetCheckPause(0);
  // The file on disk is sound; the client's text uses a routine nothing declares, after a tab
  // and a character of two UTF-16 units.
  const std::string Good = "unit u;\ninterface\nimplementation\nprocedure P;\nbegin\nend;\nend.\n";
  Open(Good, Good);
  EXPECT_EQ(Server.MsUntilCheck(), -1);  // opening is no change
  // A sound change: the check says so with no diagnostics, which clears what a build of the
  // saved file may have published.
  Change(0, 0, 0, 0, "{ sound }");
  Sent.clear();
  json Params = AwaitDiagnostics(Server, Sent);
  ASSERT_TRUE(Params.is_object()) << "no diagnostics came";
  EXPECT_EQ(Params["diagnostics"], json::array());
  Change(0, 0, 0, 9, "");

  Change(4, 5, 4, 5, "\n\t{" + Emoji + "} Undeclared;");
  EXPECT_EQ(Server.MsUntilCheck(), 0);
  Sent.clear();
  Params = AwaitDiagnostics(Server, Sent);
  ASSERT_TRUE(Params.is_object()) << "no diagnostics came";
  EXPECT_EQ(Params["uri"], Uri);
  ASSERT_EQ(Params["diagnostics"].size(), 1u) << Params;
  EXPECT_EQ(Params["diagnostics"][0]["range"],
            json({{"start", {{"line", 5}, {"character", 6}}}, {"end", {{"line", 5}, {"character", 16}}}}));
  EXPECT_EQ(Params["diagnostics"][0]["severity"], 1);
  EXPECT_EQ(test::ReadText(Dir / "u.pas"), Good);  // the check never writes the user's file

  // Mended: the next check clears what the last one found.
  Change(5, 0, 6, 0, "");
  Sent.clear();
  Params = AwaitDiagnostics(Server, Sent);
  ASSERT_TRUE(Params.is_object()) << "no diagnostics came";
  EXPECT_EQ(Params["diagnostics"], json::array());

  // A C++ file the same way, with g++'s columns.
  test::WriteText(Dir / "m.cpp", "int main() { return 0; }\n");
  Uri = UriOfFileName(Dir / "m.cpp");
  Send(Notification("textDocument/didOpen",
                    {{"textDocument", {{"uri", Uri}, {"languageId", "cpp"}, {"version", 1}, {"text", "int main() { return 0; }\n"}}}}));
  Change(0, 20, 0, 20, " + undeclared_name");
  Sent.clear();
  Params = AwaitDiagnostics(Server, Sent);
  ASSERT_TRUE(Params.is_object()) << "no diagnostics came";
  ASSERT_FALSE(Params["diagnostics"].empty()) << Params;
  EXPECT_EQ(Params["diagnostics"][0]["range"]["start"], json({{"line", 0}, {"character", 23}}));
}

// -- The workspace -----------------------------------------------------------------------------

namespace {

// Makes a Pascal library project whose main source declares the function Name.
void MakeProject(TProjectSession& Session, const std::string& File, const std::string& Name) {
  Session.NewProject(File, SPersonalityPascal, "Library");
  std::string MainSource, Condition;
  Session.OpenDocument(File).GetProjectFile()->GetGlobalProperty("MainSource", MainSource, Condition);
  test::WriteText(ExtractFilePath(File) + MainSource, "unit " + Name + ";\ninterface\nfunction " + Name +
                                                          ": Integer;\nimplementation\nfunction " + Name +
                                                          ": Integer;\nbegin\n  Result := 1;\nend;\nend.\n");
}

}  // namespace

TEST_F(LspServer, TheWorkspaceIsTheGroupInItsFolderWithTheProjectsTheGroupNames) {
  for (const char* Folder : {"ws", "ws/stray", "elsewhere"}) ASSERT_EQ(mkdir((Dir / Folder).c_str(), 0755), 0);
  {
    TProjectSession Session;
    MakeProject(Session, Dir / "elsewhere/lib.vproj", "Elsewhere");
    MakeProject(Session, Dir / "ws/stray/stray.vproj", "Stray");
    Session.NewGroup(Dir / "ws/all.groupproj");
    TProjectGroup& Group = Session.OpenGroupToChange(Dir / "ws/all.groupproj");
    Group.AddTarget(&Session.OpenProject(Dir / "elsewhere/lib.vproj"));
    Session.SaveGroup(Group);
  }
  auto A = Send(Request(1, "initialize", {{"capabilities", json::object()}, {"rootUri", UriOfFileName(Dir / "ws")}}));
  ASSERT_TRUE(A.size() == 1 && A[0].contains("result")) << A[0];
  Send(Notification("initialized"));
  A = Send(Request(2, "workspace/symbol", {{"query", ""}}));
  ASSERT_EQ(A.size(), 1u);
  std::vector<std::string> Names;
  for (const json& S : A[0]["result"]) Names.push_back(S["name"]);
  EXPECT_EQ(Names, std::vector<std::string>{"function Elsewhere: Integer;"});
}
