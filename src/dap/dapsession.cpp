#include "dap/dapsession.h"

#include <chrono>
#include <cstdio>

#include "build/messages/msglines.h"
#include "build/projectbuilder.h"
#include "build/resstrings.h"
#include "dap/dapvalues.h"
#include "dap/resstrings.h"
#include "debugger/breakpoints.h"
#include "debugger/debugmgr.h"
#include "debugger/debugproject.h"
#include "debugger/resstrings.h"
#include "environment/deskini.h"
#include "environment/desktop.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projects/projectsession.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/text.h"

namespace nxs::dap {

namespace {

bool IsStopped(TOTAProcessState S) { return S == psStopped || S == psFault || S == psException || S == psCreated; }

// The reason word of a stopped event.
const char* StopReason(TOTAStopReason Reason) {
  switch (Reason) {
    case srBreakpoint: return "breakpoint";
    case srStep: return "step";
    case srCursor: return "goto";
    case srFault:
    case srException: return "exception";
    case srEntry: return "entry";
    case srPause:
    case srNone:
    case srOther: break;
  }
  return "pause";
}

const json& Argument(const json& Args, const char* Name, json::value_t Type, const char* What) {
  auto It = Args.is_object() ? Args.find(Name) : Args.end();
  const bool Fits = It != Args.end() && (It->type() == Type || (Type == json::value_t::number_integer &&
                                                                 It->type() == json::value_t::number_unsigned));
  if (!Fits) throw Exception(Format(res::SDapBadArgument, Name, What));
  return *It;
}

int IntArgument(const json& Args, const char* Name) {
  const int64_t V = Argument(Args, Name, json::value_t::number_integer, "a whole number").get<int64_t>();
  if (V < INT32_MIN || V > INT32_MAX) throw Exception(Format(res::SDapBadArgument, Name, "a whole number"));
  return static_cast<int>(V);
}

std::string StringArgument(const json& Args, const char* Name) {
  return Argument(Args, Name, json::value_t::string, "a text").get<std::string>();
}

// An optional argument of the given type; Default when it is missing or of another type.
template <class T>
T Optional(const json& Args, const char* Name, T Default) {
  if (!Args.is_object()) return Default;
  auto It = Args.find(Name);
  if (It == Args.end()) return Default;
  if constexpr (std::is_same_v<T, bool>) {
    return It->is_boolean() ? It->get<bool>() : Default;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return It->is_string() ? It->get<std::string>() : Default;
  } else {
    return It->is_number_integer() ? It->get<T>() : Default;
  }
}

// One argument as gdb's "set args" reads it, which is as a shell reads a command line.
std::string QuoteArgument(const std::string& Arg) {
  if (!Arg.empty() && Arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=./,:@%") ==
                          std::string::npos)
    return Arg;
  return "'" + ReplaceAllText(Arg, "'", "'\\''") + "'";
}

// A pass count from a hit condition: a whole number, blanks around it allowed; -1 when the
// condition is none.
int PassCount(const std::string& HitCondition) {
  const std::string T = Trim(HitCondition);
  if (T.empty() || T.size() > 9 || T.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(T);
}

}  // namespace

// Serves a log point's hit in the session, where the session still exists; a breakpoint with
// other actions than its message is left to them.
class TDapSession::TLogPointNotifier : public IOTABreakpointNotifier {
 public:
  explicit TLogPointNotifier(std::weak_ptr<TDapSession*> Session) : FSession(std::move(Session)) {}
  int Trigger(IOTABreakpoint& B) override {
    std::shared_ptr<TDapSession*> Session = FSession.lock();
    if (!Session || !*Session || B.GetDoBreak() || B.GetLogMessage().empty() || !B.GetEvalExpression().empty() ||
        !B.GetEnableGroup().empty() || !B.GetDisableGroup().empty() || B.GetStackFramesToLog() != 0)
      return btDefault;
    (*Session)->LogPointHit(B);
    return 0;  // runs on
  }

 private:
  std::weak_ptr<TDapSession*> FSession;
};

// Tells the client the "Build" group's lines while the project is made, indented as the
// message view nests them; a line with a place in a file carries it, so that the client can
// show the file there.
class TDapSession::TBuildLines {
 public:
  explicit TBuildLines(TDapSession& Session) : FSession(Session), FGroup(LineBufferList().AddList(res::SBuildGroup)) {
    FGroup->EvLineAdded().Add(this, &TBuildLines::Added);
    FGroup->EvChildAdded().Add(this, &TBuildLines::Added);
  }
  ~TBuildLines() {
    FGroup->EvLineAdded().Remove(this, &TBuildLines::Added);
    FGroup->EvChildAdded().Remove(this, &TBuildLines::Added);
  }
  TBuildLines(const TBuildLines&) = delete;  // registered with the group's events
  TBuildLines& operator=(const TBuildLines&) = delete;

 private:
  void Added(TEvMessageLine& Ev) {
    const TLine* Line = Ev.Line;
    if (!Line) return;
    size_t Depth = 0;
    for (const TLine* P = Line->Parent(); P; P = P->Parent()) ++Depth;
    json Body = {{"category", "console"}, {"output", std::string(2 * Depth, ' ') + Line->GetLineText() + "\n"}};
    if (const auto* F = dynamic_cast<const TFileMessageLine*>(Line); F && !F->FileName().empty() && F->Line() > 0) {
      Body["source"] = FSession.Source(F->FileName());
      Body["line"] = FSession.ClientLine(F->Line());
      if (F->Column() > 0) Body["column"] = F->Column() - 1 + FSession.FColumnBase;
    }
    FSession.Emit("output", std::move(Body));
  }

  TDapSession& FSession;
  TLineBuffer* FGroup;
};

TDapSession::TDapSession(TDebuggerMgr& Mgr, TEmit Emit)
    : FMgr(Mgr), FEmit(std::move(Emit)), FSelf(std::make_shared<TDapSession*>(this)) {
  FMgr.FEvProcessStateChanged.Add(this, &TDapSession::StateChanged);
  FMgr.FEvProcessDestroyed.Add(this, &TDapSession::ProcessGone);
  FMgr.FEvProcessCreated.Add(this, [this](TEvProcessEvent&) { FEnded = nullptr; });
  FMgr.FEvLogStringAdded.Add(this, &TDapSession::Logged);
}

TDapSession::~TDapSession() {
  *FSelf = nullptr;
  FMgr.FEvProcessStateChanged.Remove(this, &TDapSession::StateChanged);
  FMgr.FEvProcessDestroyed.Remove(this, &TDapSession::ProcessGone);
  FMgr.FEvProcessCreated.Remove(this);
  FMgr.FEvLogStringAdded.Remove(this, &TDapSession::Logged);
  if (FProjects) FMgr.SetProjectHost(nullptr);
  if (FBuildersStarted) DoneProjectBuilders();
}

void TDapSession::Emit(const std::string& Event, json Body) {
  if (!FEventsOff) FEmit(Event, std::move(Body));
}

// -- Events --------------------------------------------------------------------------------

void TDapSession::StateChanged(TEvProcessEvent& Ev) {
  IOTAProcess& P = *Ev.Process;
  const TOTAProcessState S = P.GetState();
  if (S == psTerminated) return ProcessGone(Ev);
  const std::shared_ptr<IOTAThread> T = P.GetCurrentThread();
  const int ThreadId = T ? T->GetThreadId() : 0;
  if (S == psRunning || S == psStepping) {
    if (!FStopped) return;
    ForgetStop();
    Emit("continued", {{"threadId", ThreadId}, {"allThreadsContinued", true}});
    return;
  }
  if (S != psStopped && S != psFault && S != psException) return;
  ForgetStop();
  FStopped = true;
  // The first stop of a program launched to stop at its entry is that stop, though a kernel
  // may reach it through a breakpoint of its own.
  const bool Entry = FEntryPending && P.GetStopReason() == srBreakpoint && !P.GetStopBreakpoint();
  FEntryPending = false;
  json Body = {{"reason", Entry ? "entry" : StopReason(P.GetStopReason())}, {"threadId", ThreadId}, {"allThreadsStopped", true}};
  if (!P.GetStopMessage().empty()) {
    Body["description"] = P.GetStopMessage();
    Body["text"] = P.GetStopMessage();
  }
  if (std::shared_ptr<IOTASourceBreakpoint> B = P.GetStopBreakpoint()) {
    auto It = FKnown.find(B.get());
    if (It != FKnown.end()) Body["hitBreakpointIds"] = json::array({It->second.Id});
  }
  SyncBreakpoints();
  Emit("stopped", std::move(Body));
}

void TDapSession::ProcessGone(TEvProcessEvent& Ev) {
  if (FEnded == Ev.Process.get()) return;
  FEnded = Ev.Process.get();
  ForgetStop();
  Emit("exited", {{"exitCode", Ev.Process->GetExitCode()}});
  Emit("terminated", json::object());
}

void TDapSession::Logged(TEvLogString& Ev) {
  Emit("output", {{"category", Ev.Item.LogItemType == litOutput ? "stdout" : "console"}, {"output", Ev.Item.LogItem + "\n"}});
}

void TDapSession::LogPointHit(IOTABreakpoint& B) {
  const std::string Message = B.GetLogMessage();
  std::shared_ptr<IOTAThread> T;
  if (std::shared_ptr<IOTAProcess> P = Process()) T = P->GetCurrentThread();
  std::string Out;
  for (size_t At = 0; At < Message.size();) {
    const size_t Open = Message.find('{', At);
    const size_t Close = Open == std::string::npos ? std::string::npos : Message.find('}', Open + 1);
    if (Close == std::string::npos) {
      Out += Message.substr(At);
      break;
    }
    Out += Message.substr(At, Open - At);
    const std::string Expression = Message.substr(Open + 1, Close - Open - 1);
    const TOTAEvaluateResult R = T ? T->Evaluate(Expression, 0, false) : TOTAEvaluateResult{};
    Out += R.Ok ? R.Value : "{" + (R.Error.empty() ? Expression : R.Error) + "}";
    At = Close + 1;
  }
  json Body = {{"category", "console"}, {"output", Out + "\n"}};
  if (auto* Own = dynamic_cast<IOTASourceBreakpoint*>(&B)) {
    Body["source"] = Source(Own->GetFileName());
    Body["line"] = ClientLine(Own->GetLineNumber());
  }
  Emit("output", std::move(Body));
}

void TDapSession::ForgetStop() {
  FStopped = false;
  FFrames.clear();
  FScopes.clear();
}

// -- Breakpoints ---------------------------------------------------------------------------

json TDapSession::Source(const std::string& FileName) const {
  return {{"name", ExtractFileName(FileName)}, {"path", FileName}};
}

json TDapSession::BreakpointBody(const TBreakpoint& B, int Id) const {
  const TOTABreakpointPlanting Planting = B.GetPlanting();
  const int Line = Planting == bpPlanted && B.GetVerifiedLine() > 0 ? B.GetVerifiedLine() : B.GetLineNumber();
  json Body = {{"id", Id}, {"verified", Planting == bpPlanted}, {"line", ClientLine(Line)}, {"source", Source(B.GetFileName())}};
  if (Planting == bpInvalid) Body["message"] = res::SDapNotPlanted;
  if (Planting == bpPending) Body["message"] = res::SDapPending;
  return Body;
}

int TDapSession::Register(const std::shared_ptr<TBreakpoint>& B) {
  TKnownBreakpoint& K = FKnown[B.get()];
  K.Id = FNextBreakpointId++;
  K.Breakpoint = B;
  K.Verified = B->GetPlanting() == bpPlanted;
  K.Line = B->GetVerifiedLine();
  return K.Id;
}

void TDapSession::SyncBreakpoints() {
  TBreakpointManager& M = FMgr.Breakpoints();
  std::set<const IOTASourceBreakpoint*> Listed;
  for (int I = 0; I < M.GetCount(); ++I) {
    const std::shared_ptr<TBreakpoint> B = M.GetBreakpoint(I);
    Listed.insert(B.get());
    auto It = FKnown.find(B.get());
    if (It == FKnown.end() || It->second.Breakpoint.lock() != B) {
      if (It != FKnown.end()) FKnown.erase(It);
      const int Id = Register(B);
      Emit("breakpoint", {{"reason", "new"}, {"breakpoint", BreakpointBody(*B, Id)}});
      continue;
    }
    TKnownBreakpoint& K = It->second;
    const bool Verified = B->GetPlanting() == bpPlanted;
    if (K.Verified == Verified && K.Line == B->GetVerifiedLine()) continue;
    K.Verified = Verified;
    K.Line = B->GetVerifiedLine();
    Emit("breakpoint", {{"reason", "changed"}, {"breakpoint", BreakpointBody(*B, K.Id)}});
  }
  for (auto It = FKnown.begin(); It != FKnown.end();) {
    if (Listed.count(It->first) && !It->second.Breakpoint.expired()) {
      ++It;
      continue;
    }
    Emit("breakpoint", {{"reason", "removed"}, {"breakpoint", {{"id", It->second.Id}, {"verified", false}}}});
    It = FKnown.erase(It);
  }
}

// The client's breakpoints of one file replace the manager's of that file; the others stay.
json TDapSession::SetBreakpoints(const json& Args) {
  const json& SourceArg = Argument(Args, "source", json::value_t::object, "an object");
  const std::string FileName = ExpandFileName(StringArgument(SourceArg, "path"));
  const json Wanted = Args.value("breakpoints", json::array());
  if (!Wanted.is_array()) throw Exception(Format(res::SDapBadArgument, "breakpoints", "an array"));
  // The answer's breakpoints stand in the order asked, so the requests are read before any
  // breakpoint is deleted: a bad one changes nothing.
  std::vector<TBreakpointProps> Props;
  std::vector<std::string> Refused(Wanted.size());
  for (size_t I = 0; I < Wanted.size(); ++I) {
    const json& W = Wanted[I];
    TBreakpointProps P;
    P.FileName = FileName;
    P.LineNumber = OwnLine(IntArgument(W, "line"));
    if (P.LineNumber < 1) throw Exception(Format(res::SDapBadArgument, "line", "a line of the file"));
    P.Expression = Optional<std::string>(W, "condition", "");
    const std::string Hit = Optional<std::string>(W, "hitCondition", "");
    P.PassCount = PassCount(Hit);
    if (P.PassCount < 0 && !Trim(Hit).empty()) Refused[I] = Format(res::SDapBadHitCondition, Hit);
    if (P.PassCount < 0) P.PassCount = 0;
    P.LogMessage = Optional<std::string>(W, "logMessage", "");
    P.DoBreak = P.LogMessage.empty();
    Props.push_back(std::move(P));
  }

  TBreakpointManager& M = FMgr.Breakpoints();
  for (int I = M.GetCount() - 1; I >= 0; --I) {
    const std::shared_ptr<TBreakpoint> B = M.GetBreakpoint(I);
    if (B->GetFileName() != FileName) continue;
    FKnown.erase(B.get());
    M.Delete(I);
  }
  FClientFiles.insert(FileName);
  json Answer = json::array();
  for (size_t I = 0; I < Props.size(); ++I) {
    if (!Refused[I].empty()) {
      Answer.push_back({{"verified", false}, {"line", ClientLine(Props[I].LineNumber)}, {"message", Refused[I]}});
      continue;
    }
    // Two breakpoints on one line are one in the manager: the later one's properties hold.
    if (const int Old = M.Find(FileName, Props[I].LineNumber); Old >= 0) {
      FKnown.erase(M.GetBreakpoint(Old).get());
      M.Delete(Old);
    }
    const std::shared_ptr<TBreakpoint> B = M.GetBreakpoint(M.Add(Props[I]));
    if (!Props[I].LogMessage.empty()) B->AddNotifier(std::make_shared<TLogPointNotifier>(FSelf));
    Answer.push_back(BreakpointBody(*B, Register(B)));
  }
  SaveBreakpoints();
  return {{"breakpoints", Answer}};
}

json TDapSession::SetExceptionBreakpoints(const json&) { return {{"breakpoints", json::array()}}; }

void TDapSession::LoadDesktopBreakpoints() {
  if (FDesktop.empty() || !FileSystem().FileExists(FDesktop)) return;
  TDesktopIniFile Ini(ReadWholeFile(FDesktop));
  // Files whose breakpoints the client set already keep the client's.
  TBreakpointManager& M = FMgr.Breakpoints();
  const int64_t Count = Ini.ReadInteger(res::SBreakpointsSection, res::SBreakpointsCount, 0);
  for (int64_t I = 0; I < Count && I < 1000000; ++I) {
    TBreakpointProps P;
    if (!TBreakpointManager::ParseBreakpoint(Ini.ReadString(res::SBreakpointsSection, Format(res::SBreakpointKey, I), ""), P))
      continue;
    if (FClientFiles.count(P.FileName) || M.Find(P.FileName, P.LineNumber) >= 0) continue;
    const bool Enabled = P.Enabled;
    M.GetBreakpoint(M.Add(P))->SetEnabled(Enabled);
  }
  for (int I = 0; I < FMgr.GetDebuggerCount(); ++I) FMgr.GetDebugger(I)->LoadBreakpoints(Ini);
  M.SetModified(false);
}

void TDapSession::SaveBreakpoints() {
  TBreakpointManager& M = FMgr.Breakpoints();
  if (FDesktop.empty() || !M.GetModified()) return;
  const bool Exists = FileSystem().FileExists(FDesktop);
  if (!Exists && M.GetCount() == 0) return;
  // Read again at each save: another session may have saved the desktop since.
  TDesktopIniFile Ini(Exists ? ReadWholeFile(FDesktop) : std::string());
  M.SaveBreakpoints(Ini, false);
  WriteFileAtomic(FDesktop, Ini.Text());
}

// -- Starting ------------------------------------------------------------------------------

json TDapSession::Initialize(const json& Args) {
  FLineBase = Optional<bool>(Args, "linesStartAt1", true) ? 1 : 0;
  FColumnBase = Optional<bool>(Args, "columnsStartAt1", true) ? 1 : 0;
  return {{"supportsConfigurationDoneRequest", true},
          {"supportsConditionalBreakpoints", true},
          {"supportsHitConditionalBreakpoints", true},
          {"supportsLogPoints", true},
          {"supportsTerminateRequest", true},
          {"supportTerminateDebuggee", true},
          {"supportsEvaluateForHovers", true}};
}

void TDapSession::Prepare() {
  if (FStarted) throw Exception(res::SDapSessionStarted);
  if (!FMgr.GetCurrentDebugger()) throw Exception(res::SDebugNoKernel);
}

json TDapSession::Launch(const json& Args) {
  Prepare();
  const std::string Project = Optional<std::string>(Args, "project", "");
  const std::string Program = Optional<std::string>(Args, "program", "");
  if (Project.empty() && Program.empty()) throw Exception(res::SDapNothingToLaunch);
  TOTALoadParams Params;
  if (!Project.empty()) {
    const std::string FileName = ExpandFileName(Project);
    auto Projects = std::make_unique<TProjectSession>();
    TCustomCodeIProject* Code = nullptr;
    const std::string Ext = ExtractFileExt(FileName);
    if (Ext == ".groupproj" || Ext == ".nxsgroup") {
      TProjectGroup& Group = Projects->OpenGroup(FileName);
      for (const std::string& R : Projects->Reports) Emit("output", {{"category", "console"}, {"output", R + "\n"}});
      Code = dynamic_cast<TCustomCodeIProject*>(Group.ActiveProject());
    } else {
      Code = dynamic_cast<TCustomCodeIProject*>(&Projects->OpenProject(FileName));
    }
    if (!Code) throw Exception(Format(res::SDapNotAProject, FileName));
    // A launch that failed may be tried again: the builders start once.
    if (!FBuildersStarted) InitProjectBuilders();
    FBuildersStarted = true;
    FMgr.SetProjectHost(nullptr);
    FProjects = std::move(Projects);
    auto Host = std::make_shared<TDebugProjectHost>(*Code, Optional<std::string>(Args, "configuration", ""));
    FMgr.SetProjectHost(Host);
    FDesktop = ProjectDesktopFileName(FileName);
    LoadDesktopBreakpoints();
    FMgr.CheckProjectDependencies();
    TBuildLines Lines(*this);
    if (!FMgr.MakeCurrentProject()) throw Exception(Format(res::SDapNotMade, FileName));
    if (!Host->GetLoadParams(Params)) throw Exception(Format(res::SDapNotAProject, FileName));
  } else {
    Params.ExeName = ExpandFileName(Program);
  }
  // Told now rather than at the configuration's end; a library project has no program either.
  if (!FileSystem().FileExists(Params.ExeName)) throw Exception(Format(res::SDapNoProgram, Params.ExeName));
  if (Args.contains("args")) {
    const json& A = Args["args"];
    if (A.is_string()) {
      Params.Parameters = A.get<std::string>();
    } else if (A.is_array()) {
      std::string Line;
      for (const json& Arg : A) {
        if (!Arg.is_string()) throw Exception(Format(res::SDapBadArgument, "args", "an array of texts"));
        Line += (Line.empty() ? "" : " ") + QuoteArgument(Arg.get<std::string>());
      }
      Params.Parameters = Line;
    } else {
      throw Exception(Format(res::SDapBadArgument, "args", "an array of texts"));
    }
  }
  if (const std::string Cwd = Optional<std::string>(Args, "cwd", ""); !Cwd.empty()) Params.WorkingDirectory = ExpandFileName(Cwd);
  if (Args.contains("env") && Args["env"].is_object())
    for (const auto& [Name, Value] : Args["env"].items())
      if (Value.is_string()) Params.Environment.push_back(Name + "=" + Value.get<std::string>());
  Params.StopAtEntry = Optional<bool>(Args, "stopOnEntry", false);
  FLoadParams = std::move(Params);
  FStarted = true;
  SyncBreakpoints();
  return json::object();
}

json TDapSession::Attach(const json& Args) {
  Prepare();
  const int64_t Pid = Argument(Args, "processId", json::value_t::number_integer, "a process id").get<int64_t>();
  if (Pid <= 0) throw Exception(Format(res::SDapBadArgument, "processId", "a process id"));
  FAttachId = Pid;
  FAttach = true;
  FStarted = true;
  return json::object();
}

json TDapSession::ConfigurationDone(const json&) {
  if (!FStarted || FRunning) return json::object();
  FRunning = true;
  FEntryPending = !FAttach && FLoadParams.StopAtEntry;
  try {
    if (FAttach)
      FMgr.AttachToProcess(FAttachId);
    else
      FMgr.LoadProcess(FLoadParams);
  } catch (const std::exception&) {
    // Nothing runs: the client ends the session.
    Emit("terminated", json::object());
    throw;
  }
  return json::object();
}

// -- Execution -----------------------------------------------------------------------------

std::shared_ptr<IOTAProcess> TDapSession::Process() const { return FMgr.GetCurrentProcess(); }

std::shared_ptr<IOTAProcess> TDapSession::StoppedProcess() const {
  std::shared_ptr<IOTAProcess> P = Process();
  if (!P) throw Exception(res::SDapNoProcess);
  if (!IsStopped(P->GetState())) throw Exception(res::SDapNotStopped);
  return P;
}

std::shared_ptr<IOTAThread> TDapSession::Thread(int ThreadId) const {
  std::shared_ptr<IOTAProcess> P = StoppedProcess();
  for (int I = 0; I < P->GetThreadCount(); ++I)
    if (std::shared_ptr<IOTAThread> T = P->GetThread(I); T && T->GetThreadId() == ThreadId) return T;
  throw Exception(Format(res::SDapNoThread, ThreadId));
}

void TDapSession::SelectThread(const json& Args) {
  std::shared_ptr<IOTAProcess> P = StoppedProcess();
  if (!Args.is_object() || !Args.contains("threadId")) return;
  std::shared_ptr<IOTAThread> T = Thread(IntArgument(Args, "threadId"));
  if (T != P->GetCurrentThread()) P->SetCurrentThread(T);
}

json TDapSession::Continue(const json& Args) {
  SelectThread(Args);
  std::shared_ptr<IOTAProcess> P = Process();
  // The kernel resumes; the manager's Run would make the project again first.
  FMgr.GetCurrentDebugger()->Run(*P);
  return {{"allThreadsContinued", true}};
}

json TDapSession::Next(const json& Args) {
  SelectThread(Args);
  FMgr.StepOver();
  return json::object();
}

json TDapSession::StepIn(const json& Args) {
  SelectThread(Args);
  FMgr.StepInto();
  return json::object();
}

json TDapSession::StepOut(const json& Args) {
  SelectThread(Args);
  FMgr.StepOut();
  return json::object();
}

json TDapSession::Pause(const json&) {
  if (!Process()) throw Exception(res::SDapNoProcess);
  FMgr.Pause();
  return json::object();
}

// -- Inspection ----------------------------------------------------------------------------

json TDapSession::Threads(const json&) {
  json List = json::array();
  if (std::shared_ptr<IOTAProcess> P = Process())
    for (int I = 0; I < P->GetThreadCount(); ++I)
      if (std::shared_ptr<IOTAThread> T = P->GetThread(I)) {
        const std::string Name = T->GetName();
        List.push_back({{"id", T->GetThreadId()}, {"name", Name.empty() ? "Thread " + std::to_string(T->GetThreadId()) : Name}});
      }
  return {{"threads", List}};
}

json TDapSession::StackTrace(const json& Args) {
  const int ThreadId = IntArgument(Args, "threadId");
  const std::vector<TOTAStackFrame> Frames = Thread(ThreadId)->GetStackFrames(-1);
  const size_t Start = static_cast<size_t>(std::max<int64_t>(0, Optional<int64_t>(Args, "startFrame", 0)));
  const int64_t Levels = Optional<int64_t>(Args, "levels", 0);
  json List = json::array();
  for (size_t I = Start; I < Frames.size() && (Levels <= 0 || I < Start + static_cast<size_t>(Levels)); ++I) {
    const TOTAStackFrame& F = Frames[I];
    FFrames.push_back({ThreadId, F.Level});
    json Frame = {{"id", FFrames.size()}, {"name", F.Function}, {"line", 0}, {"column", 0}};
    if (!F.FileName.empty()) {
      Frame["source"] = Source(F.FileName);
      Frame["line"] = ClientLine(F.LineNumber);
      Frame["column"] = FColumnBase;
    } else {
      Frame["presentationHint"] = "subtle";
    }
    if (F.Address != 0) {
      char Address[24];
      std::snprintf(Address, sizeof Address, "0x%llx", static_cast<unsigned long long>(F.Address));
      Frame["instructionPointerReference"] = Address;
    }
    List.push_back(std::move(Frame));
  }
  return {{"stackFrames", List}, {"totalFrames", Frames.size()}};
}

json TDapSession::Scopes(const json& Args) {
  const int Id = IntArgument(Args, "frameId");
  if (Id < 1 || static_cast<size_t>(Id) > FFrames.size()) throw Exception(Format(res::SDapNoFrame, Id));
  const TFrameRef F = FFrames[static_cast<size_t>(Id - 1)];
  FScopes.push_back({F.ThreadId, F.Level, false, false, {}});
  const size_t Locals = FScopes.size();
  FScopes.push_back({F.ThreadId, F.Level, true, false, {}});
  return {{"scopes",
           {{{"name", res::SDapLocals}, {"presentationHint", "locals"}, {"variablesReference", Locals}, {"expensive", false}},
            {{"name", res::SDapArguments}, {"presentationHint", "arguments"}, {"variablesReference", Locals + 1},
             {"expensive", false}}}}};
}

int TDapSession::ValueReference(const std::string& Value) {
  if (ValueParts(Value).empty()) return 0;
  FScopes.push_back({0, 0, false, true, Value});
  return static_cast<int>(FScopes.size());
}

json TDapSession::Variables(const json& Args) {
  const int Ref = IntArgument(Args, "variablesReference");
  if (Ref < 1 || static_cast<size_t>(Ref) > FScopes.size()) throw Exception(Format(res::SDapNoVariables, Ref));
  const TScopeRef S = FScopes[static_cast<size_t>(Ref - 1)];
  json List = json::array();
  auto Add = [&](const std::string& Name, const std::string& Value, const std::string& TypeName) {
    json Variable = {{"name", Name}, {"value", Value}, {"variablesReference", ValueReference(Value)}};
    // A type the kernel does not know is left out, not shown blank.
    if (!TypeName.empty()) Variable["type"] = TypeName;
    List.push_back(std::move(Variable));
  };
  if (S.Parts) {
    for (const TValuePart& P : ValueParts(S.Value)) Add(P.Name, P.Value, "");
    return {{"variables", List}};
  }
  std::shared_ptr<IOTAThread> T = Thread(S.ThreadId);
  for (const TOTAVariable& V : S.Arguments ? T->GetArguments(S.Level) : T->GetLocals(S.Level)) Add(V.Name, V.Value, V.TypeName);
  return {{"variables", List}};
}

json TDapSession::Evaluate(const json& Args) {
  const std::string Expression = StringArgument(Args, "expression");
  std::shared_ptr<IOTAThread> T;
  int Level = 0;
  if (Args.contains("frameId")) {
    const int Id = IntArgument(Args, "frameId");
    if (Id < 1 || static_cast<size_t>(Id) > FFrames.size()) throw Exception(Format(res::SDapNoFrame, Id));
    const TFrameRef F = FFrames[static_cast<size_t>(Id - 1)];
    T = Thread(F.ThreadId);
    Level = F.Level;
  } else {
    T = StoppedProcess()->GetCurrentThread();
    if (!T) throw Exception(res::SDapNotStopped);
  }
  // What the user types in the console may change the program; a watch or a hover only as
  // the options allow.
  const bool SideEffects = Optional<std::string>(Args, "context", "") == "repl" || FMgr.DebugOptions().FAllowSideEffectsInWatches;
  const TOTAEvaluateResult R = T->Evaluate(Expression, Level, SideEffects);
  if (!R.Ok) throw Exception(Format(res::SDapEvaluateFailed, R.Error));
  json Body = {{"result", R.Value}, {"variablesReference", ValueReference(R.Value)}};
  if (!R.TypeName.empty()) Body["type"] = R.TypeName;
  return Body;
}

// -- Ending --------------------------------------------------------------------------------

void TDapSession::WaitForProcesses() {
  const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (FMgr.GetProcessCount() > 0 && std::chrono::steady_clock::now() < Until) MainThreadQueue().WaitAndProcess(20);
  // What a kernel posted before its processes went is served now: left in the queue, it would
  // outlive the kernel's package, which start-up unloads when the command ends.
  for (int Round = 0; Round < 100 && MainThreadQueue().ProcessPending() > 0; ++Round) {
  }
}

json TDapSession::Terminate(const json&) {
  if (!Process()) {
    Emit("terminated", json::object());
    return json::object();
  }
  FMgr.Reset();
  return json::object();
}

json TDapSession::Disconnect(const json& Args) {
  FEventsOff = true;
  MainThreadQueue().ProcessPending();
  if (FMgr.GetProcessCount() > 0) {
    if (Optional<bool>(Args, "terminateDebuggee", !FAttach))
      (void)FMgr.ResetAll();
    else
      FMgr.DetachAll();
  }
  WaitForProcesses();
  SaveBreakpoints();
  return json::object();
}

void TDapSession::Abandon() {
  FEventsOff = true;
  MainThreadQueue().ProcessPending();
  if (FMgr.GetProcessCount() > 0) (void)FMgr.ResetAll();
  WaitForProcesses();
  SaveBreakpoints();
}

}  // namespace nxs::dap
