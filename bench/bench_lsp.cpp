// The language server on a 10,000-line Pascal unit, as a client drives it: the semantic
// tokens of the whole text (request in, JSON answer out), one keystroke's incremental change,
// and what the open document costs in memory beside its text.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <nlohmann/json.hpp>
#include <string>

#include "lsp/lspdocs.h"
#include "lsp/lspserver.h"
#include "startup/startup.h"

namespace {

using namespace nxs;
using json = nlohmann::json;

// A unit of Lines lines: routines with comments, strings, numbers and a tab or two.
std::string PascalUnit(int Lines) {
  std::string Text = "unit Big;\n\ninterface\n\nimplementation\n\n";
  int N = 6, R = 0;
  while (N + 10 <= Lines) {
    const std::string Name = "Routine" + std::to_string(R++);
    Text += "{ " + Name + " adds what it is given }\nfunction " + Name + "(const A, B: Integer): Integer;\nvar\n"
            "\tTotal: Integer;\nbegin\n  Total := A + B * 2; // the sum\n  WriteLn('Total: ', Total, ' of ', $FF);\n"
            "  Result := Total;\nend;\n\n";
    N += 10;
  }
  for (; N < Lines - 1; ++N) Text += "\n";
  return Text + "end.\n";
}

// The heap in use: what the document keeps, not what its opening used for a while.
long HeapKb() { return static_cast<long>(mallinfo2().uordblks / 1024); }

class TSession {
 public:
  explicit TSession(const std::string& Text) {
    Server.HandleMessage(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}})");
    // The highlighter's tables are made on first use, once for every document: a small one
    // has them made before the measure.
    const std::string Small = lsp::UriOfFileName("/nonexistent-nxs-bench/small.pas");
    Open(Small, PascalUnit(20));
    Tokens(Small);
    const long Before = HeapKb();
    Open(Uri, Text);
    DocumentKb = HeapKb() - Before;
    // What the tokens a client asks for first leave behind for a later delta.
    Tokens(Uri);
    WithTokensKb = HeapKb() - Before;
  }
  void Open(const std::string& Doc, const std::string& Text) {
    Server.HandleMessage(json{{"jsonrpc", "2.0"},
                              {"method", "textDocument/didOpen"},
                              {"params", {{"textDocument", {{"uri", Doc}, {"version", 1}, {"text", Text}}}}}}
                             .dump());
  }
  void Tokens(const std::string& Doc) {
    Server.HandleMessage(json{{"jsonrpc", "2.0"}, {"id", 2}, {"method", "textDocument/semanticTokens/full"},
                              {"params", {{"textDocument", {{"uri", Doc}}}}}}
                             .dump());
  }
  TSystemStartup System;
  std::string Uri = lsp::UriOfFileName("/nonexistent-nxs-bench/big.pas");
  size_t LastAnswer = 0;
  long DocumentKb = 0;
  long WithTokensKb = 0;
  std::string LastResultId;
  lsp::TLspServer Server{[this](const std::string& Content) {
    LastAnswer = Content.size();
    const size_t At = Content.find("\"resultId\":\"");
    if (At != std::string::npos) LastResultId = Content.substr(At + 12, Content.find('"', At + 12) - At - 12);
  }};
};

TSession& Session() {
  static TSession S(PascalUnit(10000));
  return S;
}

void BM_SemanticTokensFull10kLines(benchmark::State& State) {
  TSession& S = Session();
  const std::string Request =
      json{{"jsonrpc", "2.0"}, {"id", 2}, {"method", "textDocument/semanticTokens/full"}, {"params", {{"textDocument", {{"uri", S.Uri}}}}}}
          .dump();
  for (auto _ : State) S.Server.HandleMessage(Request);
  State.counters["answer_kB"] = static_cast<double>(S.LastAnswer) / 1024;
}
BENCHMARK(BM_SemanticTokensFull10kLines)->Unit(benchmark::kMillisecond);

// A character typed in the middle of the text and taken away again: two changes a round.
void BM_DidChangeKeystroke(benchmark::State& State) {
  TSession& S = Session();
  auto Change = [&](int64_t From, int64_t To, const char* Text) {
    return json{{"jsonrpc", "2.0"},
                {"method", "textDocument/didChange"},
                {"params",
                 {{"textDocument", {{"uri", S.Uri}, {"version", 3}}},
                  {"contentChanges",
                   json::array({{{"range", {{"start", {{"line", 5003}, {"character", From}}}, {"end", {{"line", 5003}, {"character", To}}}}},
                                 {"text", Text}}})}}}}
        .dump();
  };
  const std::string Type = Change(4, 4, "x"), Erase = Change(4, 5, "");
  for (auto _ : State) {
    S.Server.HandleMessage(Type);
    S.Server.HandleMessage(Erase);
  }
  State.SetItemsProcessed(State.iterations() * 2);
}
BENCHMARK(BM_DidChangeKeystroke)->Unit(benchmark::kMicrosecond);

// A keystroke and the delta of the tokens that follows it, as a client asks after each change.
void BM_SemanticTokensDeltaAfterKeystroke(benchmark::State& State) {
  TSession& S = Session();
  std::string Previous;
  size_t Answer = 0;
  lsp::TLspServer& Server = S.Server;
  S.Tokens(S.Uri);
  int64_t Version = 10;
  for (auto _ : State) {
    const bool Type = Version % 2 == 0;
    Server.HandleMessage(json{{"jsonrpc", "2.0"},
                              {"method", "textDocument/didChange"},
                              {"params",
                               {{"textDocument", {{"uri", S.Uri}, {"version", ++Version}}},
                                {"contentChanges",
                                 json::array({{{"range", {{"start", {{"line", 5003}, {"character", 4}}},
                                                          {"end", {{"line", 5003}, {"character", Type ? 4 : 5}}}}},
                                               {"text", Type ? "x" : ""}}})}}}}
                             .dump());
    Server.HandleMessage(json{{"jsonrpc", "2.0"},
                              {"id", 3},
                              {"method", "textDocument/semanticTokens/full/delta"},
                              {"params", {{"textDocument", {{"uri", S.Uri}}}, {"previousResultId", S.LastResultId}}}}
                             .dump());
    Answer = S.LastAnswer;
  }
  State.counters["answer_B"] = static_cast<double>(Answer);
}
BENCHMARK(BM_SemanticTokensDeltaAfterKeystroke)->Unit(benchmark::kMillisecond);

void BM_OpenDocumentMemory(benchmark::State& State) {
  TSession& S = Session();
  for (auto _ : State) benchmark::DoNotOptimize(S.DocumentKb);
  State.counters["text_kB"] = static_cast<double>(PascalUnit(10000).size()) / 1024;
  State.counters["heap_kB"] = static_cast<double>(S.DocumentKb);
  State.counters["with_tokens_kB"] = static_cast<double>(S.WithTokensKb);
}
BENCHMARK(BM_OpenDocumentMemory)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
