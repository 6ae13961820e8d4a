// The debug adapter: the protocol's messages (requests answered by responses that carry their
// request's seq, events, every message numbered by a seq of its own) over the framing the
// language server uses, dispatched to a debugger session. A fault of the client's input is
// answered (an error response where there is a request to answer, else an output event that
// names it) and never ends the adapter: only "disconnect" or the end of the input do.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lsp/lspframe.h"

namespace nxs {
class TDebuggerMgr;
}

namespace nxs::dap {

class TDapSession;

class TDapServer {
 public:
  // Send takes one message's content (JSON), unframed.
  using TSend = std::function<void(const std::string& Content)>;
  TDapServer(TDebuggerMgr& Mgr, TSend Send);
  ~TDapServer();
  TDapServer(const TDapServer&) = delete;  // owns the session
  TDapServer& operator=(const TDapServer&) = delete;

  void HandleMessage(std::string_view Content);
  // A fault of the framing: told to the client as an output event.
  void HandleFault(const std::string& What);
  // Called after the main thread's work ran: tells the client what it changed that no event
  // reports (a breakpoint the kernel planted).
  void Idle();
  // The input ended: what runs is reset, the breakpoints are kept.
  void InputEnded();

  bool Ended() const { return FEnded; }
  // 0 after "disconnect", 1 when the input ended without one.
  int ExitCode() const { return FDisconnected ? 0 : 1; }

 private:
  void SendMessage(const std::string& Type, const std::string& Name, std::string Members);
  void Emit(const std::string& Event, std::string Body);

  std::unique_ptr<TDapSession> FSession;
  TSend FSend;
  int64_t FSeq = 0;
  bool FInitialized = false;
  bool FEnded = false;
  bool FDisconnected = false;
  // Events that a request's work causes go out after its response.
  bool FInRequest = false;
  std::vector<std::pair<std::string, std::string>> FHeld;
};

// Serves a session: Read (called on a thread of its own; what has arrived, 0 at the end) feeds
// the main thread, which handles the client's messages and the debugger's work in turn and
// writes framed messages with Write, until "disconnect" or the end of the input. Returns the
// exit code. A debug client's messages are small: a content over 4 MB is a fault.
int ServeDebugClient(TDebuggerMgr& Mgr, std::function<size_t(char*, size_t)> Read,
                     const std::function<bool(std::string_view)>& Write,
                     lsp::TFrameLimits Limits = {.MaxHeader = 8 * 1024, .MaxContent = 4 * 1024 * 1024});

}  // namespace nxs::dap
