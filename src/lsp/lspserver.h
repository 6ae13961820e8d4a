// The language server: JSON-RPC requests, notifications and responses over the base
// protocol's framing, the life cycle of a session (initialize, initialized, shutdown, exit),
// cancellation, and the dispatch of each method to the documents and their features. It
// writes its answers through Send and keeps every fault of the client's input to an answer
// or a log message: no message the client sends ends the server but "exit".
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lsp/lspframe.h"
#include "lsp/lsppos.h"

namespace nxs::lsp {

struct TBuildDiagnostic;
class TLspDocument;
class TLspDocuments;

class TLspServer {
 public:
  // Send takes one message's content (JSON), unframed.
  using TSend = std::function<void(const std::string& Content)>;
  explicit TLspServer(TSend Send);
  ~TLspServer();
  TLspServer(const TLspServer&) = delete;  // owns the session's documents
  TLspServer& operator=(const TLspServer&) = delete;

  // Serves messages that arrived together, in order; a "$/cancelRequest" among them cancels
  // a request before it that has not been answered yet (it is answered as cancelled).
  void HandleMessages(const std::vector<std::string>& Contents);
  void HandleMessage(std::string_view Content) { HandleMessages({std::string(Content)}); }
  // A fault of the framing: answered as a parse error without an id.
  void HandleFault(const std::string& What);

  // Checks of the documents the client changed: each is checked with its unsaved text once
  // it has gone unchanged for the pause, one at a time, on a thread of its own, so that the
  // messages go on being read; what a check finds is published from the main-thread queue.
  // Starts the checks that are due.
  void RunDueChecks();
  // Milliseconds until the next check is due; -1 when none waits (or one runs).
  int64_t MsUntilCheck() const;
  void SetCheckPause(int64_t Ms) { FCheckPauseMs = Ms; }
  bool Checking() const;

  bool Exited() const { return FExited; }
  // 0 when "exit" followed "shutdown", 1 otherwise.
  int ExitCode() const { return FShutdown ? 0 : 1; }
  TPosEncoding Encoding() const { return FEncoding; }

 private:
  // Makes the project of a saved document, after the build running if any, and publishes what
  // its build reports, by file.
  void PublishBuildDiagnostics(TLspDocument& Saved);
  // Starts the first build waiting when none runs.
  void StartNextBuild();
  // The running build has ended: publishes what it found, answers its request, starts the next.
  void FinishBuild(bool Succeeded, std::vector<TBuildDiagnostic> Found, const std::string& Fault);
  // Cancels the builds whose request id (or progress token, ByToken) is Which, in its JSON
  // form: the running one stops, the waiting ones are answered as cancelled.
  void CancelBuilds(bool ByToken, const std::string& Which);
  // Publishes a build's diagnostics by file, clearing those of files the last build of the
  // same project or group reported and this one does not.
  // Checked, when given, is published also when nothing was found in it.
  void PublishDiagnostics(const std::string& Built, std::vector<TBuildDiagnostic> Found,
                          const std::string& Checked = {});

  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
  TSend FSend;
  TPosEncoding FEncoding = TPosEncoding::Utf16;
  int64_t FCheckPauseMs = 500;
  bool FInitialized = false;
  bool FShutdown = false;
  bool FExited = false;
};

// Serves a session: reads with Read (what has arrived, 0 at the end) and writes framed
// messages with Write, until "exit" or the end of the input. Returns the exit code (1 when the
// input ended without "shutdown" and "exit").
int ServeLanguageClient(const std::function<size_t(char*, size_t)>& Read,
                        const std::function<bool(std::string_view)>& Write, TFrameLimits Limits = {});

}  // namespace nxs::lsp
