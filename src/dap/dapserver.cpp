#include "dap/dapserver.h"

#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "dap/dapsession.h"
#include "dap/resstrings.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/mainthread.h"

namespace nxs::dap {

namespace {

std::string Dump(const json& J) { return J.dump(-1, ' ', false, json::error_handler_t::replace); }

using TRequest = json (TDapSession::*)(const json& Args);

const std::map<std::string, TRequest, std::less<>>& Requests() {
  static const std::map<std::string, TRequest, std::less<>> Table = {
      {"launch", &TDapSession::Launch},
      {"attach", &TDapSession::Attach},
      {"setBreakpoints", &TDapSession::SetBreakpoints},
      {"setExceptionBreakpoints", &TDapSession::SetExceptionBreakpoints},
      {"configurationDone", &TDapSession::ConfigurationDone},
      {"continue", &TDapSession::Continue},
      {"next", &TDapSession::Next},
      {"stepIn", &TDapSession::StepIn},
      {"stepOut", &TDapSession::StepOut},
      {"pause", &TDapSession::Pause},
      {"threads", &TDapSession::Threads},
      {"stackTrace", &TDapSession::StackTrace},
      {"scopes", &TDapSession::Scopes},
      {"variables", &TDapSession::Variables},
      {"evaluate", &TDapSession::Evaluate},
      {"terminate", &TDapSession::Terminate},
      {"disconnect", &TDapSession::Disconnect},
  };
  return Table;
}

}  // namespace

TDapServer::TDapServer(TDebuggerMgr& Mgr, TSend Send) : FSend(std::move(Send)) {
  FSession = std::make_unique<TDapSession>(Mgr, [this](const std::string& Event, json Body) { Emit(Event, Dump(Body)); });
}

TDapServer::~TDapServer() = default;

void TDapServer::SendMessage(const std::string& Type, const std::string& Name, std::string Members) {
  FSend("{\"seq\":" + std::to_string(++FSeq) + ",\"type\":\"" + Type + "\"" + (Name.empty() ? "" : ",") + Name + Members +
        "}");
}

void TDapServer::Emit(const std::string& Event, std::string Body) {
  // Output is told as it comes: a make at launch streams its messages, and a client that
  // ends the session on a failed launch has read them first.
  if (FInRequest && Event != "output") {
    FHeld.emplace_back(Event, std::move(Body));
    return;
  }
  SendMessage("event", "\"event\":" + Dump(Event), ",\"body\":" + Body);
}

void TDapServer::HandleFault(const std::string& What) {
  Emit("output", Dump({{"category", "important"}, {"output", Format(res::SDapFault, What)}}));
}

void TDapServer::HandleMessage(std::string_view Content) {
  json M;
  try {
    M = json::parse(Content);
  } catch (const json::exception& E) {
    return HandleFault(Format(res::SDapParseError, std::string(E.what())));
  }
  if (!M.is_object() || M.value("type", json()) != "request") {
    // A response to a request of the adapter's own: it sends none. An event from the client
    // means nothing.
    if (M.is_object() && (M.value("type", json()) == "response" || M.value("type", json()) == "event")) return;
    return HandleFault(res::SDapNotARequest);
  }
  const json Seq = M.value("seq", json());
  const json Command = M.value("command", json());
  const int64_t RequestSeq = Seq.is_number_integer() ? Seq.get<int64_t>() : 0;
  const std::string Name = Command.is_string() ? Command.get<std::string>() : std::string();

  auto Respond = [&](const json& Body) {
    SendMessage("response", "\"request_seq\":" + std::to_string(RequestSeq),
                ",\"success\":true,\"command\":" + Dump(Name) + ",\"body\":" + Dump(Body));
  };
  auto Refuse = [&](const std::string& Message) {
    const json Error = {{"id", 1}, {"format", Message}, {"showUser", true}};
    SendMessage("response", "\"request_seq\":" + std::to_string(RequestSeq),
                ",\"success\":false,\"command\":" + Dump(Name) + ",\"message\":" + Dump(Message) +
                    ",\"body\":" + Dump({{"error", Error}}));
  };

  if (!Seq.is_number_integer() || !Command.is_string()) return Refuse(res::SDapBadRequest);
  const json Args = M.value("arguments", json::object());
  FInRequest = true;
  try {
    if (Name == "initialize") {
      if (FInitialized) throw Exception(res::SDapInitializedTwice);
      Respond(FSession->Initialize(Args));
      FInitialized = true;
    } else {
      auto It = Requests().find(Name);
      if (It == Requests().end()) throw Exception(Format(res::SDapUnknownCommand, Name));
      if (!FInitialized && Name != "disconnect") throw Exception(res::SDapNotInitialized);
      const json Body = (FSession.get()->*It->second)(Args);
      Respond(Body);
      // Configuration requests are welcome once the adapter knows what it debugs.
      if (Name == "launch" || Name == "attach") FHeld.insert(FHeld.begin(), {"initialized", "{}"});
      if (Name == "disconnect") {
        FDisconnected = true;
        FEnded = true;
      }
    }
  } catch (const json::exception& E) {
    Refuse(E.what());
  } catch (const std::exception& E) {
    Refuse(E.what());
  }
  FInRequest = false;
  std::vector<std::pair<std::string, std::string>> Held;
  Held.swap(FHeld);
  for (auto& [Event, Body] : Held) Emit(Event, std::move(Body));
  if (!FEnded) FSession->SyncBreakpoints();
}

void TDapServer::Idle() {
  if (!FEnded) FSession->SyncBreakpoints();
}

void TDapServer::InputEnded() {
  if (FEnded) return;
  FEnded = true;
  FSession->Abandon();
}

namespace {

// What the reader thread hands to the main thread. Shared, so that a reader still waiting for
// input when the session ends holds nothing that went.
struct TInbox {
  std::mutex Lock;
  std::deque<std::string> Chunks;
  bool Ended = false;
  bool Closed = false;  // the session went: the reader posts nothing more
};

}  // namespace

int ServeDebugClient(TDebuggerMgr& Mgr, std::function<size_t(char*, size_t)> Read,
                     const std::function<bool(std::string_view)>& Write, lsp::TFrameLimits Limits) {
  bool Writable = true;
  TDapServer Server(Mgr, [&](const std::string& Content) {
    if (Writable) Writable = Write(lsp::FrameMessage(Content));
  });
  auto Inbox = std::make_shared<TInbox>();
  // The debugger's work arrives on the main thread's queue; the input is read on a thread of
  // its own, which wakes the queue, so that the main thread waits on one thing.
  std::thread Reader([Inbox, Read = std::move(Read)] {
    SetCurrentThreadName("DAP Input");
    std::vector<char> Buffer(64 * 1024);
    for (;;) {
      const size_t N = Read(Buffer.data(), Buffer.size());
      {
        std::lock_guard Guard(Inbox->Lock);
        if (Inbox->Closed) return;
        if (N == 0)
          Inbox->Ended = true;
        else
          Inbox->Chunks.emplace_back(Buffer.data(), N);
      }
      MainThreadQueue().Queue([] {});
      if (N == 0) return;
    }
  });

  lsp::TFrameReader Frames(Limits);
  auto OnMessage = [&](std::string_view Content) {
    if (!Server.Ended()) Server.HandleMessage(Content);
  };
  auto OnFault = [&](const std::string& What) {
    if (!Server.Ended()) Server.HandleFault(What);
  };
  bool InputOver = false;
  while (!Server.Ended() && Writable) {
    MainThreadQueue().WaitAndProcess(1000);
    std::deque<std::string> Chunks;
    {
      std::lock_guard Guard(Inbox->Lock);
      Chunks.swap(Inbox->Chunks);
      InputOver = Inbox->Ended;
    }
    for (const std::string& C : Chunks) Frames.Feed(C, OnMessage, OnFault);
    if (InputOver && !Server.Ended()) {
      Frames.Finish(OnFault);
      break;
    }
    Server.Idle();
  }
  Server.InputEnded();
  {
    std::lock_guard Guard(Inbox->Lock);
    Inbox->Closed = true;
    InputOver = InputOver || Inbox->Ended;
  }
  // A reader still waiting for input that will not come is left to the process's end.
  if (InputOver)
    Reader.join();
  else
    Reader.detach();
  return Server.ExitCode();
}

}  // namespace nxs::dap
