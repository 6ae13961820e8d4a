#include "lsp/lspserver.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <map>
#include <optional>
#include <nlohmann/json.hpp>

#include "lsp/lspdiagnostics.h"
#include "lsp/lspdocs.h"
#include "lsp/lsperrors.h"
#include "lsp/lspfeatures.h"
#include "lsp/lspworkspace.h"
#include "lsp/resstrings.h"
#include "options/envoptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/utf8.h"

namespace nxs::lsp {

using json = nlohmann::json;

namespace {

std::string Dump(const json& J) { return J.dump(-1, ' ', false, json::error_handler_t::replace); }

const json& Member(const json& Object, const char* Key) {
  if (!Object.is_object()) throw ELspError(ecInvalidParams, Format("'%s' is missing", Key));
  auto It = Object.find(Key);
  if (It == Object.end()) throw ELspError(ecInvalidParams, Format("'%s' is missing", Key));
  return *It;
}

std::string UriOf(const json& Params) { return Member(Member(Params, "textDocument"), "uri").get<std::string>(); }

TLspPos PosOf(const json& Position) {
  return {Member(Position, "line").get<int64_t>(), Member(Position, "character").get<int64_t>()};
}

bool ValidId(const json& Id) { return Id.is_number_integer() || Id.is_string(); }

// The encoding the client offers that the server likes best: UTF-8 costs the least on both
// sides; UTF-16 is what every client speaks.
TPosEncoding ChooseEncoding(const json& Params) {
  const json* Offered = nullptr;
  if (Params.is_object()) {
    const json Pointer = Params.value(json::json_pointer("/capabilities/general/positionEncodings"), json());
    if (Pointer.is_array()) Offered = &Pointer;
    if (Offered)
      for (const json& E : *Offered)
        if (E.is_string() && E.get<std::string>() == "utf-8") return TPosEncoding::Utf8;
  }
  return TPosEncoding::Utf16;
}

// The workspace's folder: the first workspace folder, else the root URI, else the root path.
std::string WorkspaceRoot(const json& Params) {
  if (!Params.is_object()) return {};
  try {
    const json Folders = Params.value("workspaceFolders", json());
    if (Folders.is_array() && !Folders.empty() && Folders[0].is_object() && Folders[0].contains("uri"))
      return FileNameOfUri(Folders[0]["uri"].get<std::string>());
    const json Uri = Params.value("rootUri", json());
    if (Uri.is_string()) return FileNameOfUri(Uri.get<std::string>());
    const json Path = Params.value("rootPath", json());
    if (Path.is_string()) return Path.get<std::string>();
  } catch (const std::exception&) {
    // A root that is no file's serves no workspace symbols; the session goes on.
  }
  return {};
}

// A progress value for the client's token; nothing when it gave none.
void SendProgress(const std::function<void(const std::string&)>& Send, const json& Token, const json& Value) {
  if (!Token.is_null())
    Send(Dump({{"jsonrpc", "2.0"}, {"method", "$/progress"}, {"params", {{"token", Token}, {"value", Value}}}}));
}

// The answer to a request that was cancelled; nothing for a build no request asked for.
void AnswerCancelled(const std::function<void(const std::string&)>& Send, const json& Id) {
  if (!Id.is_null())
    Send(Dump({{"jsonrpc", "2.0"},
               {"id", Id},
               {"error", {{"code", ecRequestCancelled}, {"message", Format(res::SLspCancelled, Id.dump())}}}}));
}

}  // namespace

struct TLspServer::TImpl {
  using TRequestHandler = std::function<std::string(const json& Params)>;
  using TNotificationHandler = std::function<void(const json& Params)>;
  std::map<std::string, TRequestHandler> Requests;
  std::map<std::string, TNotificationHandler> Notifications;
  // The workspace goes after the documents: their module layer frees its projects first.
  std::unique_ptr<TLspWorkspace> Workspace;
  std::unique_ptr<TLspDocuments> Documents;
  // The files whose diagnostics were published, by the project whose build found them: the
  // next build of that project clears those it no longer reports.
  std::map<std::string, std::set<std::string>> Published;

  // The documents changed since their last check, by URI, with the time their check is due.
  std::map<std::string, std::chrono::steady_clock::time_point> Due;
  std::thread Checker;
  std::atomic<bool> CancelCheck{false};
  bool CheckRunning = false;
  std::string Checking;  // the URI the running check is for
  // Read and changed on the main thread only: a check's or a build's result queued after the
  // server went finds it false.
  std::shared_ptr<bool> Alive = std::make_shared<bool>(true);

  // The builds the client's commands and its saves ask for: one runs at a time, on a thread
  // of its own, so that the messages go on being read and answered (a cancellation among
  // them); the others wait their turn.
  struct TBuildJob {
    std::string Target;  // the project or group file
    std::string Mode;    // make, build or clean
    json Id;             // the command's request, answered when the build ends; null for a save's make
    json Token;          // the client's progress token; null when it gave none
  };
  std::deque<TBuildJob> Builds;
  std::optional<TBuildJob> Building;
  std::thread Builder;
  std::atomic<bool> CancelBuild{false};

  // The request being served, and whether its handler answers it later itself.
  json RequestId;
  bool Deferred = false;

  ~TImpl() {
    *Alive = false;
    CancelCheck = true;
    CancelBuild = true;
    if (Checker.joinable()) Checker.join();
    if (Builder.joinable()) Builder.join();
  }

  TLspDocuments& Docs() {
    if (!Documents) Documents = std::make_unique<TLspDocuments>();
    return *Documents;
  }
};

TLspServer::TLspServer(TSend Send) : FImpl(std::make_unique<TImpl>()), FSend(std::move(Send)) {
  auto& R = FImpl->Requests;
  auto& N = FImpl->Notifications;
  R["initialize"] = [this](const json& Params) {
    FEncoding = ChooseEncoding(Params);
    FImpl->Docs();
    FImpl->Workspace = std::make_unique<TLspWorkspace>(WorkspaceRoot(Params));
    FInitialized = true;
    const json Legend = json::parse(SemanticTokensLegend());
    const json Result = {
        {"capabilities",
         {{"positionEncoding", EncodingName(FEncoding)},
          {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
          {"foldingRangeProvider", true},
          {"documentSymbolProvider", true},
          {"semanticTokensProvider", {{"legend", Legend}, {"full", {{"delta", true}}}, {"range", false}}},
          {"linkedEditingRangeProvider", true},
          {"documentFormattingProvider", true},
          {"workspaceSymbolProvider", true},
          {"executeCommandProvider", {{"commands", {"nxs.make", "nxs.build", "nxs.clean"}}}}}},
        {"serverInfo", {{"name", "nxs"}}}};
    return Dump(Result);
  };
  R["shutdown"] = [this](const json&) {
    FShutdown = true;
    // The builds asked for are not made: the one running stops and answers as cancelled.
    if (FImpl->Building) FImpl->CancelBuild = true;
    while (!FImpl->Builds.empty()) {
      AnswerCancelled(FSend, FImpl->Builds.front().Id);
      FImpl->Builds.pop_front();
    }
    return std::string("null");
  };
  R["textDocument/foldingRange"] = [this](const json& Params) {
    return FoldingRanges(FImpl->Docs().Get(UriOf(Params)), FEncoding);
  };
  R["textDocument/documentSymbol"] = [this](const json& Params) {
    return DocumentSymbols(FImpl->Docs().Get(UriOf(Params)), FEncoding);
  };
  R["textDocument/semanticTokens/full"] = [this](const json& Params) {
    return SemanticTokensFull(FImpl->Docs().Get(UriOf(Params)), FImpl->Docs().Options().SourceOptionGroups(), FEncoding);
  };
  R["textDocument/semanticTokens/full/delta"] = [this](const json& Params) {
    const json& Previous = Member(Params, "previousResultId");
    return SemanticTokensDelta(FImpl->Docs().Get(UriOf(Params)), Previous.is_string() ? Previous.get<std::string>() : "",
                               FImpl->Docs().Options().SourceOptionGroups(), FEncoding);
  };
  R["textDocument/formatting"] = [this](const json& Params) {
    return FormatProjectFile(FImpl->Docs().Get(UriOf(Params)), FEncoding);
  };
  R["workspace/symbol"] = [this](const json& Params) {
    return WorkspaceSymbols(FImpl->Workspace->SourceFiles(), Member(Params, "query").get<std::string>(), FImpl->Docs(), FEncoding);
  };
  // Builds the project or group the first argument names (a URI), else the workspace's
  // group, else its one project; progress goes to the client's token, line by line. The
  // answer comes when the build ends: the build waits for the one running, if any, and
  // "$/cancelRequest" or a cancel of its progress stops it.
  R["workspace/executeCommand"] = [this](const json& Params) {
    const std::string Command = Member(Params, "command").get<std::string>();
    if (Command != "nxs.make" && Command != "nxs.build" && Command != "nxs.clean")
      throw ELspError(ecInvalidParams, Format(res::SLspUnknownCommand, Command));
    const json Arguments = Params.value("arguments", json::array());
    std::string Target;
    if (Arguments.is_array() && !Arguments.empty() && Arguments[0].is_string())
      Target = FileNameOfUri(Arguments[0].get<std::string>());
    if (Target.empty()) Target = FImpl->Workspace->BuildFile();
    if (Target.empty()) throw ELspError(ecRequestFailed, res::SLspNothingToBuild);
    json Token = Params.value("workDoneToken", json());
    if (!ValidId(Token)) Token = nullptr;
    FImpl->Builds.push_back({Target, Command.substr(4), FImpl->RequestId, Token});
    FImpl->Deferred = true;
    StartNextBuild();
    return std::string();
  };
  R["textDocument/linkedEditingRange"] = [this](const json& Params) {
    return LinkedEditingRanges(FImpl->Docs().Get(UriOf(Params)), PosOf(Member(Params, "position")), FEncoding);
  };

  // What the workspace could not open is told once the client is ready to hear it.
  N["initialized"] = [this](const json&) {
    for (const std::string& M : FImpl->Workspace->Reports)
      FSend(Dump({{"jsonrpc", "2.0"}, {"method", "window/logMessage"}, {"params", {{"type", 2}, {"message", M}}}}));
    FImpl->Workspace->Reports.clear();
  };
  N["textDocument/didOpen"] = [this](const json& Params) {
    const json& Doc = Member(Params, "textDocument");
    FImpl->Docs().Open(Member(Doc, "uri").get<std::string>(), Member(Doc, "text").get<std::string>(),
                       Doc.value("version", int64_t{0}));
  };
  N["textDocument/didChange"] = [this](const json& Params) {
    TLspDocument& Doc = FImpl->Docs().Get(UriOf(Params));
    for (const json& Change : Member(Params, "contentChanges")) {
      const std::string& Text = Member(Change, "text").get_ref<const std::string&>();
      auto Range = Change.find("range");
      if (Range == Change.end()) {
        Doc.ReplaceAll(Text);
        continue;
      }
      Doc.Replace(PosOf(Member(*Range, "start")), PosOf(Member(*Range, "end")), Text, FEncoding);
    }
    const json& Id = Member(Params, "textDocument");
    if (Id.contains("version") && Id["version"].is_number_integer()) Doc.Version = Id["version"].get<int64_t>();
    ++Doc.Changes;
    // A running check of this document's text is stale now: its compiler is stopped, and the
    // document is checked again after the pause.
    if (FImpl->CheckRunning && FImpl->Checking == Doc.Uri()) FImpl->CancelCheck = true;
    FImpl->Due[Doc.Uri()] = std::chrono::steady_clock::now() + std::chrono::milliseconds(FCheckPauseMs);
  };
  N["textDocument/didSave"] = [this](const json& Params) {
    TLspDocument& Saved = FImpl->Docs().Get(UriOf(Params));
    // A saved project or group file changes what the workspace's projects name.
    if (TLspWorkspace::IsProjectOrGroupFile(Saved.FileName())) FImpl->Workspace->Reload();
    PublishBuildDiagnostics(Saved);
  };
  // A cancellation reaches a request answered later: a build, running or waiting.
  N["$/cancelRequest"] = [this](const json& Params) {
    if (Params.is_object() && Params.contains("id") && ValidId(Params["id"])) CancelBuilds(false, Params["id"].dump());
  };
  N["window/workDoneProgress/cancel"] = [this](const json& Params) {
    if (Params.is_object() && Params.contains("token") && ValidId(Params["token"])) CancelBuilds(true, Params["token"].dump());
  };
  N["textDocument/didClose"] = [this](const json& Params) {
    const std::string Uri = UriOf(Params);
    if (FImpl->CheckRunning && FImpl->Checking == Uri) FImpl->CancelCheck = true;
    FImpl->Due.erase(Uri);
    FImpl->Docs().Close(Uri);
  };
}

TLspServer::~TLspServer() = default;

namespace {

bool IsWordChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' ||
         static_cast<unsigned char>(C) >= 0x80;
}

// A diagnostic's range on its line: from its column over the word that starts there (one
// character where none does; the whole line where the tool gave no column).
json DiagnosticRange(const TBuildDiagnostic& D, std::string_view Line, TPosEncoding Encoding) {
  const size_t From = ColumnByte(D, Line);
  size_t To = From;
  if (D.Column <= 0) {
    To = Line.size();
  } else {
    while (To < Line.size() && IsWordChar(Line[To])) ++To;
    if (To == From && To < Line.size()) To += static_cast<size_t>(Utf8CharLength(Line, To, TUtf8Policy::Framing));
  }
  const int64_t L = D.Line - 1;
  return {{"start", {{"line", L}, {"character", BytesToUnits(Line, From, Encoding)}}},
          {"end", {{"line", L}, {"character", BytesToUnits(Line, To, Encoding)}}}};
}

}  // namespace

void TLspServer::PublishBuildDiagnostics(TLspDocument& Saved) {
  const std::string Project = FImpl->Workspace->ProjectOf(Saved.FileName());
  if (Project.empty()) return;
  // A make of the project waiting already reads this save too; one running may have read the
  // file before it.
  for (const TImpl::TBuildJob& Job : FImpl->Builds)
    if (Job.Target == Project && Job.Mode == "make" && Job.Id.is_null()) return;
  FImpl->Builds.push_back({Project, "make", nullptr, nullptr});
  StartNextBuild();
}

void TLspServer::CancelBuilds(bool ByToken, const std::string& Which) {
  auto Matches = [&](const TImpl::TBuildJob& Job) {
    const json& Mine = ByToken ? Job.Token : Job.Id;
    return !Mine.is_null() && Mine.dump() == Which;
  };
  if (FImpl->Building && Matches(*FImpl->Building)) FImpl->CancelBuild = true;
  for (auto It = FImpl->Builds.begin(); It != FImpl->Builds.end();) {
    if (!Matches(*It)) {
      ++It;
      continue;
    }
    AnswerCancelled(FSend, It->Id);
    It = FImpl->Builds.erase(It);
  }
}

void TLspServer::StartNextBuild() {
  if (FImpl->Building || FImpl->Builds.empty()) return;
  if (FImpl->Builder.joinable()) FImpl->Builder.join();
  FImpl->Building = std::move(FImpl->Builds.front());
  FImpl->Builds.pop_front();
  const TImpl::TBuildJob& Job = *FImpl->Building;
  SendProgress(FSend, Job.Token, {{"kind", "begin"}, {"title", Job.Mode + " " + ExtractFileName(Job.Target)}, {"cancellable", true}});
  FImpl->CancelBuild = false;
  FImpl->Builder = std::thread([this, Alive = FImpl->Alive, Target = Job.Target, Mode = Job.Mode, Token = Job.Token] {
    SetCurrentThreadName("LSP Build Thread");
    bool Succeeded = false;
    std::vector<TBuildDiagnostic> Found;
    std::string Fault;
    try {
      auto OnLine = [&](const std::string& Line) {
        if (Token.is_null()) return;
        MainThreadQueue().Queue([this, Alive, Token, Line] {
          if (*Alive) SendProgress(FSend, Token, {{"kind", "report"}, {"message", Line}});
        });
      };
      Found = BuildDiagnostics(Target, Mode, OnLine, &Succeeded, {}, &FImpl->CancelBuild);
    } catch (const std::exception& E) {
      Fault = E.what();
    }
    MainThreadQueue().Queue([this, Alive, Succeeded, Found = std::move(Found), Fault]() mutable {
      if (*Alive) FinishBuild(Succeeded, std::move(Found), Fault);
    });
  });
}

void TLspServer::FinishBuild(bool Succeeded, std::vector<TBuildDiagnostic> Found, const std::string& Fault) {
  TImpl::TBuildJob Job = std::move(*FImpl->Building);
  FImpl->Building.reset();
  // A build stopped part way reports only some of what it would have: what was published
  // stands until a whole build replaces it.
  const bool Cancelled = FImpl->CancelBuild && !Succeeded;
  if (!Cancelled && Fault.empty()) PublishDiagnostics(Job.Target, std::move(Found));
  SendProgress(FSend, Job.Token, {{"kind", "end"}, {"message", Cancelled ? "Cancelled" : Succeeded ? "Success" : "Failed"}});
  if (Cancelled) {
    AnswerCancelled(FSend, Job.Id);
  } else if (!Fault.empty()) {
    if (!Job.Id.is_null())
      FSend(Dump({{"jsonrpc", "2.0"}, {"id", Job.Id}, {"error", {{"code", ecRequestFailed}, {"message", Fault}}}}));
    else
      FSend(Dump({{"jsonrpc", "2.0"},
                  {"method", "window/logMessage"},
                  {"params", {{"type", 1}, {"message", Format(res::SLspNotifyFailed, "textDocument/didSave", Fault)}}}}));
  } else if (!Job.Id.is_null()) {
    FSend(Dump({{"jsonrpc", "2.0"}, {"id", Job.Id}, {"result", {{"succeeded", Succeeded}}}}));
  }
  StartNextBuild();
}

bool TLspServer::Checking() const { return FImpl->CheckRunning; }

int64_t TLspServer::MsUntilCheck() const {
  if (FImpl->CheckRunning || FImpl->Due.empty()) return -1;
  auto First = FImpl->Due.begin()->second;
  for (const auto& [Uri, When] : FImpl->Due) First = std::min(First, When);
  const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(First - std::chrono::steady_clock::now());
  return std::max<int64_t>(0, Left.count());
}

void TLspServer::RunDueChecks() {
  if (FImpl->CheckRunning || FShutdown) return;
  const auto Now = std::chrono::steady_clock::now();
  auto Next = FImpl->Due.end();
  for (auto It = FImpl->Due.begin(); It != FImpl->Due.end(); ++It)
    if (It->second <= Now && (Next == FImpl->Due.end() || It->second < Next->second)) Next = It;
  if (Next == FImpl->Due.end()) return;
  const std::string Uri = Next->first;
  FImpl->Due.erase(Next);
  TLspDocument& Doc = FImpl->Docs().Get(Uri);
  // The check reads copies of the texts as they are now; a change meanwhile makes its result
  // stale. A file of a project is checked as the project's check builds it, with every
  // document the client changed in place of its file; a file of no project alone.
  const std::string File = Doc.FileName();
  const std::string Project = FImpl->Workspace->ProjectOf(File);
  std::vector<TUnsavedText> Texts{{File, Doc.Text()}};
  if (!Project.empty())
    for (const auto& [Other, D] : FImpl->Docs().All())
      if (D.get() != &Doc && D->Changes > 0) Texts.push_back({D->FileName(), D->Text()});
  const uint64_t Changes = Doc.Changes;
  if (FImpl->Checker.joinable()) FImpl->Checker.join();
  FImpl->CheckRunning = true;
  FImpl->Checking = Uri;
  FImpl->CancelCheck = false;
  FImpl->Checker = std::thread([this, Alive = FImpl->Alive, Uri, File, Project, Texts = std::move(Texts), Changes] {
    SetCurrentThreadName("LSP Check Thread");
    std::vector<TBuildDiagnostic> Found;
    try {
      Found = Project.empty() ? CheckFileText(File, Texts[0].Text, &FImpl->CancelCheck)
                              : CheckProject(Project, Texts, &FImpl->CancelCheck);
    } catch (const std::exception&) {
      // A check that could not run reports nothing; the next change or save tries again.
    }
    MainThreadQueue().Queue([this, Alive, Uri, File, Project, Changes, Found = std::move(Found)]() mutable {
      if (!*Alive) return;
      FImpl->CheckRunning = false;
      const auto& Open = FImpl->Docs().All();
      auto Doc = Open.find(Uri);
      if (Doc == Open.end() || Doc->second->Changes != Changes || FShutdown) return;
      PublishDiagnostics("check " + (Project.empty() ? File : Project), std::move(Found), File);
    });
  });
}

void TLspServer::PublishDiagnostics(const std::string& Built, std::vector<TBuildDiagnostic> Found,
                                    const std::string& Checked) {
  std::map<std::string, std::vector<TBuildDiagnostic>> ByFile;
  if (!Checked.empty()) ByFile[Checked];
  for (TBuildDiagnostic& D : Found) ByFile[D.File].push_back(std::move(D));
  std::set<std::string>& Before = FImpl->Published[Built];
  for (const std::string& File : Before) ByFile.try_emplace(File);
  Before.clear();
  for (const auto& [File, List] : ByFile) {
    // Lines as the client has them where the file is open, else as saved.
    TLspDocument* Doc = nullptr;
    for (const auto& [Uri, D] : FImpl->Docs().All())
      if (D->FileName() == File) Doc = D.get();
    std::vector<std::string> DiskLines;
    if (!Doc && !List.empty()) {
      std::string Text;
      try {
        Text = FileSystem().ReadFile(File);
      } catch (const std::exception&) {
      }
      size_t From = 0;
      for (size_t At; (At = Text.find('\n', From)) != std::string::npos; From = At + 1) DiskLines.push_back(Text.substr(From, At - From));
      DiskLines.push_back(Text.substr(From));
    }
    json Diagnostics = json::array();
    for (const TBuildDiagnostic& D : List) {
      std::string Line = Doc ? Doc->LineText(D.Line)
                             : D.Line <= static_cast<int>(DiskLines.size()) ? DiskLines[static_cast<size_t>(D.Line - 1)] : "";
      if (!Line.empty() && Line.back() == '\r') Line.pop_back();
      Diagnostics.push_back({{"range", DiagnosticRange(D, Line, FEncoding)}, {"severity", D.Severity}, {"source", "nxs"},
                             {"message", D.Text}});
    }
    if (!List.empty()) Before.insert(File);
    json Params = {{"uri", Doc ? Doc->Uri() : UriOfFileName(File)}, {"diagnostics", Diagnostics}};
    if (Doc) Params["version"] = Doc->Version;
    FSend(Dump({{"jsonrpc", "2.0"}, {"method", "textDocument/publishDiagnostics"}, {"params", Params}}));
  }
}

void TLspServer::HandleFault(const std::string& What) {
  FSend(Dump({{"jsonrpc", "2.0"}, {"id", nullptr}, {"error", {{"code", ecParseError}, {"message", What}}}}));
}

void TLspServer::HandleMessages(const std::vector<std::string>& Contents) {
  auto SendError = [&](const json& Id, TLspErrorCode Code, const std::string& Message) {
    FSend(Dump({{"jsonrpc", "2.0"}, {"id", Id}, {"error", {{"code", Code}, {"message", Message}}}}));
  };
  auto Log = [&](const std::string& Message) {
    FSend(Dump({{"jsonrpc", "2.0"}, {"method", "window/logMessage"}, {"params", {{"type", 1}, {"message", Message}}}}));
  };

  struct TIncoming {
    json Message;
    std::string ParseFault;  // why the content is no JSON; empty when it is
  };
  std::vector<TIncoming> Messages;
  Messages.reserve(Contents.size());
  // Where the last cancellation of each id comes: a request before it is answered as cancelled.
  std::map<std::string, size_t> CancelledAt;
  for (const std::string& C : Contents) {
    try {
      Messages.push_back({json::parse(C), {}});
    } catch (const json::exception& E) {
      Messages.push_back({json(), E.what()});
      continue;
    }
    const json& M = Messages.back().Message;
    if (M.is_object() && M.value("method", json()) == "$/cancelRequest" && M.contains("params") && M["params"].is_object() &&
        M["params"].contains("id") && ValidId(M["params"]["id"]))
      CancelledAt[M["params"]["id"].dump()] = Messages.size() - 1;
  }

  for (size_t I = 0; I < Messages.size() && !FExited; ++I) {
    const json& M = Messages[I].Message;
    if (!Messages[I].ParseFault.empty()) {
      SendError(nullptr, ecParseError, Format(res::SLspParseError, Messages[I].ParseFault));
      continue;
    }
    if (!M.is_object()) {
      SendError(nullptr, ecInvalidRequest, res::SLspNotAnObject);
      continue;
    }
    auto IdIt = M.find("id");
    const bool HasId = IdIt != M.end();
    const json Id = HasId && ValidId(*IdIt) ? *IdIt : json();
    if (M.value("jsonrpc", json()) != "2.0") {
      SendError(Id, ecInvalidRequest, res::SLspBadVersion);
      continue;
    }
    auto MethodIt = M.find("method");
    if (MethodIt == M.end()) {
      // A response to a request of the server's own: it sends none that wait for one.
      if (HasId && (M.contains("result") || M.contains("error"))) continue;
      SendError(Id, ecInvalidRequest, res::SLspNotAMessage);
      continue;
    }
    if (!MethodIt->is_string()) {
      SendError(Id, ecInvalidRequest, res::SLspNotAMessage);
      continue;
    }
    const std::string& Method = MethodIt->get_ref<const std::string&>();
    if (HasId && !ValidId(*IdIt)) {
      SendError(nullptr, ecInvalidRequest, res::SLspBadId);
      continue;
    }
    const json Params = M.value("params", json());
    const bool ParamsValid = Params.is_null() || Params.is_object() || Params.is_array();

    if (!HasId) {
      if (Method == "exit") {
        FExited = true;
        break;
      }
      if (!FInitialized || FShutdown) continue;
      auto Handler = FImpl->Notifications.find(Method);
      // Unknown notifications are dropped; those of "$/" may be, by the protocol.
      if (Handler == FImpl->Notifications.end()) continue;
      try {
        if (!ParamsValid) throw ELspError(ecInvalidParams, res::SLspBadParams);
        Handler->second(Params);
      } catch (const std::exception& E) {
        Log(Format(res::SLspNotifyFailed, Method, E.what()));
      }
      continue;
    }

    auto Cancel = CancelledAt.find(Id.dump());
    if (Cancel != CancelledAt.end() && Cancel->second > I) {
      SendError(Id, ecRequestCancelled, Format(res::SLspCancelled, Id.dump()));
      continue;
    }
    if (FShutdown) {
      SendError(Id, ecInvalidRequest, res::SLspShutDown);
      continue;
    }
    if (Method == "initialize" && FInitialized) {
      SendError(Id, ecInvalidRequest, res::SLspInitializedTwice);
      continue;
    }
    if (!FInitialized && Method != "initialize") {
      SendError(Id, ecServerNotInitialized, res::SLspNotInitialized);
      continue;
    }
    auto Handler = FImpl->Requests.find(Method);
    if (Handler == FImpl->Requests.end()) {
      SendError(Id, ecMethodNotFound, Format(res::SLspUnknownMethod, Method));
      continue;
    }
    if (!ParamsValid) {
      SendError(Id, ecInvalidParams, res::SLspBadParams);
      continue;
    }
    try {
      FImpl->RequestId = Id;
      FImpl->Deferred = false;
      const std::string Result = Handler->second(Params);
      if (FImpl->Deferred) continue;
      // A result may be large (the tokens of a whole file): it is copied once.
      const std::string Head = "{\"jsonrpc\":\"2.0\",\"id\":" + Id.dump() + ",\"result\":";
      std::string Response;
      Response.reserve(Head.size() + Result.size() + 1);
      Response.append(Head).append(Result) += '}';
      FSend(Response);
    } catch (const ELspError& E) {
      SendError(Id, E.Code(), E.what());
    } catch (const json::exception& E) {
      SendError(Id, ecInvalidParams, Format(res::SLspInvalidParams, Method, E.what()));
    } catch (const Exception& E) {
      SendError(Id, ecRequestFailed, E.what());
    } catch (const std::exception& E) {
      SendError(Id, ecInternalError, E.what());
    }
  }
}

namespace {

// What the reading thread hands the main thread: the pieces of input as they came.
struct TInput {
  std::function<size_t(char*, size_t)> Read;
  std::mutex Lock;
  std::condition_variable Idle;
  std::deque<std::string> Pieces;
  bool Ended = false;   // the input ended
  bool Stop = false;    // the session ended: read no more
  bool Reading = false;  // inside Read
};

void ReadInput(const std::shared_ptr<TInput>& In) {
  SetCurrentThreadName("LSP Reader Thread");
  std::vector<char> Buffer(64 * 1024);
  for (;;) {
    {
      std::lock_guard L(In->Lock);
      if (In->Stop) break;
      In->Reading = true;
    }
    const size_t N = In->Read(Buffer.data(), Buffer.size());
    {
      std::lock_guard L(In->Lock);
      In->Reading = false;
      if (N == 0)
        In->Ended = true;
      else
        In->Pieces.emplace_back(Buffer.data(), N);
    }
    In->Idle.notify_all();
    MainThreadQueue().Queue([] {});  // wakes the main thread
    if (N == 0) break;
  }
}

}  // namespace

int ServeLanguageClient(const std::function<size_t(char*, size_t)>& Read,
                        const std::function<bool(std::string_view)>& Write, TFrameLimits Limits) {
  bool Writable = true;
  TLspServer Server([&](const std::string& Content) {
    if (Writable) Writable = Write(FrameMessage(Content));
  });
  TFrameReader Reader(Limits);
  std::vector<std::string> Batch;
  auto OnMessage = [&](std::string_view Content) { Batch.emplace_back(Content); };
  // A fault is answered in its place among the messages of the batch.
  auto Flush = [&] {
    Server.HandleMessages(Batch);
    Batch.clear();
  };
  auto OnFault = [&](const std::string& What) {
    Flush();
    Server.HandleFault(What);
  };
  // The input is read on a thread of its own, so that the main thread serves the queue (the
  // checks' results) and the checks' pauses while no message comes.
  auto In = std::make_shared<TInput>();
  In->Read = Read;
  std::thread Reading(ReadInput, In);
  bool Ended = false;
  while (!Server.Exited() && Writable) {
    std::deque<std::string> Pieces;
    {
      std::lock_guard L(In->Lock);
      Pieces.swap(In->Pieces);
      Ended = In->Ended;
    }
    // What arrived together is served together: a cancellation reaches the requests before it.
    for (const std::string& Piece : Pieces) Reader.Feed(Piece, OnMessage, OnFault);
    Flush();
    if (Server.Exited() || !Writable || Ended) break;
    Server.RunDueChecks();
    const int64_t Due = Server.MsUntilCheck();
    MainThreadQueue().WaitAndProcess(static_cast<int>(Due < 0 ? 1000 : std::min<int64_t>(Due + 1, 1000)));
  }
  if (Ended && !Server.Exited()) Reader.Finish(OnFault);
  // A reader still waiting in Read after a moment waits on a client that keeps its end open:
  // it is let go, and ends with the process.
  bool Idle;
  {
    std::unique_lock L(In->Lock);
    In->Stop = true;
    Idle = In->Idle.wait_for(L, std::chrono::milliseconds(200), [&] { return !In->Reading || In->Ended; });
  }
  if (Idle)
    Reading.join();
  else
    Reading.detach();
  return Server.Exited() ? Server.ExitCode() : 1;
}

}  // namespace nxs::lsp
