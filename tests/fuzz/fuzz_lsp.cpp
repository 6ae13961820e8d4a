// Fuzzes the language server's framing and dispatch with random input.
//
// Input: one byte choosing the size of the pieces the input arrives in, then the bytes a
// client sends, after an initialize request and the opening of a Pascal document, which
// the fuzzer sends first so that the document requests reach the documents. The framing must
// find the same messages and faults whatever the pieces, and everything the server writes
// must be a JSON-RPC message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "lsp/lspframe.h"
#include "lsp/lspserver.h"

namespace {

using namespace nxs::lsp;
using json = nlohmann::json;

void Check(bool Ok) {
  if (!Ok) std::abort();
}

std::vector<std::string> Frame(std::string_view Input, size_t Piece) {
  std::vector<std::string> Events;
  TFrameReader Reader({.MaxHeader = 256, .MaxContent = 4096});
  auto OnMessage = [&](std::string_view M) { Events.push_back("m" + std::string(M)); };
  auto OnFault = [&](const std::string& F) { Events.push_back("f" + F); };
  for (size_t At = 0; At < Input.size(); At += Piece) Reader.Feed(Input.substr(At, Piece), OnMessage, OnFault);
  Reader.Finish(OnFault);
  return Events;
}

const std::string Prologue =
    FrameMessage(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{}}})") +
    FrameMessage(R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":)"
                 R"({"uri":"file:///nonexistent-nxs-fuzz/u.pas","version":1,"text":"unit u;\ninterface\nimplementation\n)"
                 R"(procedure P;\nvar A: Integer;\nbegin\n  A := A;\nend;\nend.\n"}}})");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  const size_t Piece = Data[0] % 64 + 1;
  const std::string_view Input(reinterpret_cast<const char*>(Data + 1), Size - 1);
  Check(Frame(Input, Piece) == Frame(Input, Input.size() + 1));

  const std::string Stream = Prologue + std::string(Input);
  size_t At = 0;
  auto Read = [&](char* Buffer, size_t Room) {
    const size_t N = std::min({Room, Piece, Stream.size() - At});
    Stream.copy(Buffer, N, At);
    At += N;
    return N;
  };
  auto Write = [&](std::string_view Framed) {
    const size_t Body = Framed.find("\r\n\r\n");
    Check(Body != std::string_view::npos);
    const json M = json::parse(Framed.substr(Body + 4), nullptr, false);
    Check(M.is_object() && M.value("jsonrpc", "") == "2.0");
    return true;
  };
  ServeLanguageClient(Read, Write, {.MaxHeader = 256, .MaxContent = 1 << 16});
  return 0;
}
