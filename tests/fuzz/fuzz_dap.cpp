// Fuzzes the debug adapter's framing and dispatch with random input.
//
// Input: one byte choosing the size of the pieces the input arrives in, then the bytes a
// client sends, after an initialize request and a breakpoint request, which the fuzzer sends
// first so that the later requests reach a session that holds breakpoints. No kernel is
// registered: nothing runs. Everything the adapter writes must be a message of the protocol,
// numbered one after the other, and a response must name a request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "dap/dapserver.h"
#include "debugger/debugmgr.h"
#include "lsp/lspframe.h"
#include "shared/mainthread.h"
#include "shared/settings.h"

namespace {

using namespace nxs;
using json = nlohmann::json;

void Check(bool Ok) {
  if (!Ok) std::abort();
}

const std::string Prologue =
    lsp::FrameMessage(R"({"seq":1,"type":"request","command":"initialize","arguments":{"adapterID":"fuzz"}})") +
    lsp::FrameMessage(R"({"seq":2,"type":"request","command":"setBreakpoints","arguments":{"source":)"
                      R"({"path":"/nonexistent-nxs-fuzz/a.cpp"},"breakpoints":[{"line":3,"hitCondition":"2"},)"
                      R"({"line":5,"logMessage":"x={x}"}]}})");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  static TSettingsStore Store("/nonexistent-nxs-fuzz/settings.ini");
  const size_t Piece = Data[0] % 64 + 1;
  const std::string Stream = Prologue + std::string(reinterpret_cast<const char*>(Data + 1), Size - 1);

  TDebuggerMgr Mgr(Store);
  int64_t Seq = 0;
  dap::TDapServer Server(Mgr, [&](const std::string& Content) {
    const json M = json::parse(Content, nullptr, false);
    Check(M.is_object() && M.contains("seq") && M["seq"] == ++Seq);
    const std::string Type = M.value("type", "");
    Check(Type == "event" || Type == "response");
    if (Type == "response") Check(M.contains("request_seq") && M["success"].is_boolean() && M["command"].is_string());
  });
  lsp::TFrameReader Reader({.MaxHeader = 256, .MaxContent = 1 << 16});
  auto OnMessage = [&](std::string_view Content) {
    if (!Server.Ended()) Server.HandleMessage(Content);
  };
  auto OnFault = [&](const std::string& What) {
    if (!Server.Ended()) Server.HandleFault(What);
  };
  for (size_t At = 0; At < Stream.size(); At += Piece) Reader.Feed(std::string_view(Stream).substr(At, Piece), OnMessage, OnFault);
  Reader.Finish(OnFault);
  Server.InputEnded();
  while (MainThreadQueue().ProcessPending() > 0) {
  }
  return 0;
}
