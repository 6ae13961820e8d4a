// A process under gdb: its session, the records that change it, its threads and modules, and
// the source breakpoints planted in it.
#include <cxxabi.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <utility>

#include "gdbmi/gdbkernel.h"
#include "gdbmi/gdbstrings.h"
#include "shared/format.h"

namespace nxs::gdbmi {

namespace {

// A number gdb writes in Base ("015" exit codes are octal, addresses "0x..." hexadecimal);
// Default when it is not one.
long long ParseNumber(std::string_view Text, int Base, long long Default = 0) {
  if (Base == 16 && (Text.starts_with("0x") || Text.starts_with("0X"))) Text.remove_prefix(2);
  long long N = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), N, Base);
  return Error == std::errc() && End == Text.data() + Text.size() && !Text.empty() ? N : Default;
}

std::string BaseName(const std::string& Path) {
  const size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

std::string FolderOf(const std::string& Path) {
  const size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) return ".";
  return Slash == 0 ? "/" : Path.substr(0, Slash);
}

// The source of a frame: its full name when gdb found the file, else the name it was built as.
std::string FrameFile(const TMIValue& Frame) {
  std::string File = Frame.Get("fullname");
  return File.empty() ? Frame.Get("file") : File;
}

// The number of a signal by its name ("SIGSEGV"); 0 when unknown.
int SignalNumber(const std::string& Name) {
  for (int N = 1; N < NSIG; ++N) {
    const char* Abbrev = ::sigabbrev_np(N);
    if (Abbrev && Name == std::string("SIG") + Abbrev) return N;
  }
  return 0;
}

// A breakpoint's planting and line as gdb reports them in "bkpt".
void Verify(IOTASourceBreakpoint& Breakpoint, const TMIValue& Bkpt) {
  if (Bkpt.Find("pending") || Bkpt.Get("addr") == "<PENDING>") {
    Breakpoint.Verified(bpPending, 0);
    return;
  }
  long long Line = Bkpt.GetInt("line");
  if (Line == 0)
    if (const TMIValue* Locations = Bkpt.Find("locations"); Locations && Locations->Count() > 0)
      Line = Locations->Items()[0].second.GetInt("line");
  Breakpoint.Verified(Line > 0 ? bpPlanted : bpPending, static_cast<int>(Line));
}

// What the process should have planted for Breakpoint.
TPlantedBreakpoint Desired(const IOTASourceBreakpoint& Breakpoint) {
  TPlantedBreakpoint P;
  P.FileName = Breakpoint.GetFileName();
  P.LineNumber = Breakpoint.GetLineNumber();
  P.ThreadCondition = Breakpoint.GetThreadCondition();
  P.Enabled = Breakpoint.GetEnabled();
  P.Condition = Breakpoint.GetExpression();
  P.PassCount = Breakpoint.GetPassCount();
  return P;
}

bool IsNumber(const std::string& Text) {
  return !Text.empty() && Text.find_first_not_of("0123456789") == std::string::npos;
}

// The condition gdb evaluates: the breakpoint's own, and its thread's number when it names
// one (gdb's own thread option wants a thread that exists already, which it does not before
// the program runs).
std::string GdbCondition(const TPlantedBreakpoint& P) {
  if (!IsNumber(P.ThreadCondition)) return P.Condition;
  const std::string Thread = "$_thread == " + P.ThreadCondition;
  return P.Condition.empty() ? Thread : "(" + P.Condition + ") && " + Thread;
}

}  // namespace

// -- Modules and threads ------------------------------------------------------------------

std::string TGdbModule::GetModuleName() const { return BaseName(FFileName); }

TOTAProcessState TGdbThread::GetState() const { return FProcess ? FProcess->GetState() : psTerminated; }

namespace {
bool IsStoppedState(TOTAProcessState S) { return S == psStopped || S == psFault || S == psException || S == psCreated; }
}  // namespace

bool TGdbProcess::Inspectable() const { return IsStoppedState(FState) || FInActions; }

std::vector<TOTAStackFrame> TGdbThread::GetStackFrames(int MaxFrames) {
  std::vector<TOTAStackFrame> Frames;
  if (!FProcess || !FProcess->Inspectable() || MaxFrames == 0) return Frames;
  std::string Command = "-stack-list-frames --thread " + std::to_string(FId);
  if (MaxFrames > 0)
    Command += " " + std::to_string(FFrameBase) + " " + std::to_string(FFrameBase + MaxFrames - 1);
  else if (FFrameBase > 0)
    Command += " " + std::to_string(FFrameBase) + " " + std::to_string(INT32_MAX);
  const std::optional<TMIRecord> R = FProcess->TryExecute(Command);
  if (!R) return Frames;
  if (const TMIValue* Stack = R->Results.Find("stack"))
    for (const auto& [Name, Frame] : Stack->Items()) {
      TOTAStackFrame F;
      F.Level = static_cast<int>(Frame.GetInt("level")) - FFrameBase;
      F.Function = Frame.Get("func", "??");
      F.FileName = FrameFile(Frame);
      F.LineNumber = static_cast<int>(Frame.GetInt("line"));
      F.Address = static_cast<uint64_t>(ParseNumber(Frame.Get("addr"), 16));
      F.ModuleName = Frame.Get("from");
      Frames.push_back(std::move(F));
    }
  return Frames;
}

std::vector<TOTAVariable> TGdbThread::Variables(int Frame, bool Arguments) {
  std::vector<TOTAVariable> Vars;
  if (!FProcess || !FProcess->Inspectable()) return Vars;
  const std::optional<TMIRecord> R = FProcess->TryExecute("-stack-list-variables --thread " + std::to_string(FId) +
                                                          " --frame " + std::to_string(Frame + FFrameBase) +
                                                          " --all-values");
  if (!R) return Vars;
  if (const TMIValue* List = R->Results.Find("variables"))
    for (const auto& [Name, Var] : List->Items())
      if ((Var.Get("arg") == "1") == Arguments) Vars.push_back({Var.Get("name"), Var.Get("value"), Var.Get("type")});
  return Vars;
}

std::vector<TOTAVariable> TGdbThread::GetLocals(int Frame) { return Variables(Frame, false); }
std::vector<TOTAVariable> TGdbThread::GetArguments(int Frame) { return Variables(Frame, true); }

TOTAEvaluateResult TGdbThread::Evaluate(const std::string& Expression, int Frame, bool /*AllowSideEffects*/) {
  TOTAEvaluateResult Result;
  if (!FProcess || !FProcess->Inspectable()) {
    Result.Error = SNoProcessToStep;
    return Result;
  }
  try {
    const TMIRecord R = FProcess->Session().Execute("-data-evaluate-expression --thread " + std::to_string(FId) +
                                                    " --frame " + std::to_string(Frame + FFrameBase) + " " +
                                                    QuoteMIString(Expression));
    Result.Ok = true;
    Result.Value = R.Results.Get("value");
  } catch (const EGdbError& E) {
    Result.Error = E.Message();
  }
  return Result;
}

// -- The process ---------------------------------------------------------------------------

TGdbProcess::TGdbProcess(TGdbKernel& Kernel, int Serial, TGdbOptions Options) : FKernel(Kernel), FSerial(Serial) {
  FSession = std::make_unique<TGdbSession>([this](const TMIRecord* R) { Queue(R); },
                                           [this] { FKernel.Post(TGdbKernel::wmOutput, FSerial); }, std::move(Options));
}

TGdbProcess::~TGdbProcess() {
  FSession.reset();
  for (const auto& T : FThreads) T->FProcess = nullptr;
}

int TGdbProcess::AddNotifier(std::shared_ptr<IOTAProcessNotifier> Notifier) {
  FNotifiers.emplace_back(FNextNotifier, std::move(Notifier));
  return FNextNotifier++;
}

void TGdbProcess::RemoveNotifier(int Index) {
  std::erase_if(FNotifiers, [&](const auto& N) { return N.first == Index; });
}

void TGdbProcess::Notify(const std::function<void(IOTAProcessNotifier&)>& Call) {
  const auto Notifiers = FNotifiers;
  for (const auto& N : Notifiers) Call(*N.second);
}

std::shared_ptr<IOTAThread> TGdbProcess::GetThread(int Index) const {
  if (Index < 0 || Index >= GetThreadCount()) return nullptr;
  return FThreads[static_cast<size_t>(Index)];
}

std::shared_ptr<IOTAThread> TGdbProcess::GetCurrentThread() const {
  if (auto T = FindThread(FCurrentThread)) return T;
  return FThreads.empty() ? nullptr : FThreads.front();
}

void TGdbProcess::SetCurrentThread(const std::shared_ptr<IOTAThread>& Thread) {
  if (!Thread || !FindThread(Thread->GetThreadId())) return;
  FCurrentThread = Thread->GetThreadId();
  std::shared_ptr<TGdbProcess> Self = shared_from_this();
  Notify([&](IOTAProcessNotifier& N) { N.CurrentThreadChanged(Self, Thread); });
}

std::shared_ptr<IOTAModule> TGdbProcess::GetModule(int Index) const {
  if (Index < 0 || Index >= GetModuleCount()) return nullptr;
  return FModules[static_cast<size_t>(Index)];
}

bool TGdbProcess::IsBreakpointValid(const IOTABreakpoint& Breakpoint) {
  const auto It = FPlanted.find(dynamic_cast<const IOTASourceBreakpoint*>(&Breakpoint));
  return It != FPlanted.end() && It->second.second.Number > 0;
}

std::shared_ptr<TGdbThread> TGdbProcess::FindThread(int Id) const {
  for (const auto& T : FThreads)
    if (T->FId == Id) return T;
  return nullptr;
}

std::shared_ptr<IOTASourceBreakpoint> TGdbProcess::BreakpointOfNumber(int Number) const {
  for (const auto& [Key, Entry] : FPlanted)
    if (Entry.second.Number == Number) return Entry.first.lock();
  return nullptr;
}

void TGdbProcess::Log(const std::string& Text, TOTALogItemType Kind) {
  if (IOTADebuggerServices* S = FKernel.Services()) S->LogString(Text, Kind);
}

std::optional<TMIRecord> TGdbProcess::TryExecute(const std::string& Command) {
  try {
    return FSession->Execute(Command);
  } catch (const EGdbError& E) {
    Log(E.Message(), litKernel);
    return std::nullopt;
  }
}

void TGdbProcess::Load(const TOTALoadParams& Params) {
  FExeName = Params.ExeName;
  FSession->Start();
  FSession->Execute("-file-exec-and-symbols " + QuoteMIString(Params.ExeName));
  const TMIRecord Sources = FSession->Execute("-file-list-exec-source-files");
  if (const TMIValue* Files = Sources.Results.Find("files"); !Files || Files->Count() == 0)
    Log(Format(SLogNoDebugInfo, Params.ExeName), litKernel);
  FSession->Execute("-environment-cd " +
                    QuoteMIString(Params.WorkingDirectory.empty() ? FolderOf(Params.ExeName) : Params.WorkingDirectory));
  // The console reads the parameters as a command line would, quotes and all.
  FSession->Execute("-interpreter-exec console " + QuoteMIString("set args " + Params.Parameters));
  for (const std::string& Variable : Params.Environment)
    FSession->Execute("-interpreter-exec console " + QuoteMIString("set environment " + Variable));
  PlantAll();
  CatchExceptions();
  FSession->Execute(Params.StopAtEntry ? "-exec-run --start" : "-exec-run");
  SetState(psRunning);
}

void TGdbProcess::Attach(int64_t ProcessId) {
  FAttached = true;
  FPid = ProcessId;
  FSession->Start();
  FPauseRequested = true;  // the stop that attaching makes is a pause
  FSession->Execute("-target-attach " + std::to_string(ProcessId));
  char Exe[4096] = {};
  const std::string Link = "/proc/" + std::to_string(ProcessId) + "/exe";
  if (::readlink(Link.c_str(), Exe, sizeof Exe - 1) > 0) FExeName = Exe;
  PlantAll();
  CatchExceptions();
  SetState(psStopping);
}

void TGdbProcess::PlantAll() {
  for (const auto& B : FKernel.SourceBreakpoints()) PlantBreakpoint(B);
}

void TGdbProcess::CatchExceptions() {
  // A program without the C++ runtime never meets the catchpoint; one gdb cannot set is no
  // reason not to debug.
  try {
    FThrowCatchpoint = static_cast<int>(FSession->Execute("-catch-throw").Results.GetInt("bkpt.number"));
  } catch (const EGdbError& E) {
    Log(E.Message(), litKernel);
  }
}

void TGdbProcess::SetState(TOTAProcessState State) {
  if (FState == State) return;
  FState = State;
  std::shared_ptr<TGdbProcess> Self = shared_from_this();
  Notify([&](IOTAProcessNotifier& N) { N.ProcessStateChanged(Self); });
}

void TGdbProcess::Resume(const std::string& Command, bool Stepping) {
  if (!IsStoppedState(FState)) return;
  FStepping = Stepping;
  FStopBreakpoint.reset();
  FStepCommand = Stepping ? Command : std::string();
  FStepResume.clear();
  FStepDepth = -1;
  if (Stepping) {
    FStepThread = FCurrentThread;
    const std::shared_ptr<TGdbThread> T = FindThread(FCurrentThread);
    FStepFile = T ? T->FFile : std::string();
    FStepLine = T ? T->FLine : 0;
    // Only a breakpoint that runs on makes the step resume itself: the depth it needs then
    // costs gdb a look at the stack, which steps without one are spared.
    const bool RunsOn = std::any_of(FPlanted.begin(), FPlanted.end(), [](const auto& Entry) {
      const std::shared_ptr<IOTASourceBreakpoint> B = Entry.second.first.lock();
      return B && B->GetEnabled() && !B->GetDoBreak();
    });
    if (RunsOn) FStepDepth = StackDepth();
    // gdb's own step follows an exception to its handler; the catchpoint, which would
    // interrupt it, stays silent meanwhile, and the ignored exception goes unlogged.
    if (FIgnoreExceptions && FThrowCatchpoint > 0 && TryExecute("-break-condition " + std::to_string(FThrowCatchpoint) + " 0"))
      FCatchMuted = true;
  }
  if (!TryExecute(Command)) return;  // "finish" in the outermost frame: logged, still stopped
  SetState(Stepping ? psStepping : psRunning);
}

void TGdbProcess::Interrupt() {
  if (FState != psRunning && FState != psStepping) return;
  FPauseRequested = true;
  if (TryExecute("-exec-interrupt")) SetState(psStopping);
}

void TGdbProcess::RunToCursor(const std::string& FileName, int LineNumber) {
  if (!IsStoppedState(FState)) return;
  const std::optional<TMIRecord> R = TryExecute("-break-insert -t --source " + QuoteMIString(FileName) + " --line " +
                                                std::to_string(LineNumber));
  if (!R) return;
  FCursorBreakpoint = static_cast<int>(R->Results.GetInt("bkpt.number"));
  Resume("-exec-continue", false);
}

bool TGdbProcess::SetNextStatement(const std::string& FileName, int LineNumber, std::string& Error) {
  if (!IsStoppedState(FState)) {
    Error = SNoProcessToStep;
    return false;
  }
  // A jump out of the current function would run on with the wrong frame: refused.
  std::string Target, Here;
  try {
    const TMIRecord At = FSession->Execute("-data-disassemble -f " + QuoteMIString(FileName) + " -l " +
                                           std::to_string(LineNumber) + " -n 1 -- 0");
    const TMIValue* Insns = At.Results.Find("asm_insns");
    if (Insns && Insns->Count() > 0) Target = Insns->Items()[0].second.Get("func-name");
    const TMIRecord Pc = FSession->Execute("-data-disassemble -s $pc -e $pc+1 -- 0");
    const TMIValue* PcInsns = Pc.Results.Find("asm_insns");
    if (PcInsns && PcInsns->Count() > 0) Here = PcInsns->Items()[0].second.Get("func-name");
  } catch (const EGdbError& E) {
    Error = E.Message();
    return false;
  }
  if (Target.empty() || Target != Here) {
    Error = Format(SNotInCurrentFunction, FileName, LineNumber);
    return false;
  }
  // A jump resumes; the temporary breakpoint at its target stops it again at once.
  try {
    const std::string Location = "--source " + QuoteMIString(FileName) + " --line " + std::to_string(LineNumber);
    FSession->Execute("-break-insert -t " + Location);
    FJumping = true;
    FSession->Execute("-exec-jump " + QuoteMIString(FileName + ":" + std::to_string(LineNumber)));
  } catch (const EGdbError& E) {
    FJumping = false;
    Error = E.Message();
    return false;
  }
  SetState(psStepping);
  return true;
}

void TGdbProcess::Detach() {
  TryExecute("-target-detach");
  Terminate();
}

void TGdbProcess::Terminate() {
  if (FGone) return;
  FGone = true;
  FSession->Stop();
  HandleOutput();
  if (FState != psTerminated) {
    // Ended from here (reset, detached, gdb gone): the program gave no exit code.
    if (!FExited) FExitCode = -1;
    FState = psTerminated;
    std::shared_ptr<TGdbProcess> Self = shared_from_this();
    Notify([&](IOTAProcessNotifier& N) { N.ProcessStateChanged(Self); });
  }
  FKernel.ProcessEnded(*this);
}

// -- Breakpoints ---------------------------------------------------------------------------

void TGdbProcess::PlantBreakpoint(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) {
  if (!Breakpoint || FGone || !FSession->Alive()) return;
  TPlantedBreakpoint P = Desired(*Breakpoint);
  std::string Command = "-break-insert -f";
  if (!P.Enabled) Command += " -d";
  if (const std::string Condition = GdbCondition(P); !Condition.empty()) Command += " -c " + QuoteMIString(Condition);
  // gdb's ignore count skips the passes before the one that stops, without a stop each.
  if (P.PassCount > 1) Command += " -i " + std::to_string(P.PassCount - 1);
  Command += " --source " + QuoteMIString(P.FileName) + " --line " + std::to_string(P.LineNumber);
  try {
    const TMIRecord R = FSession->Execute(Command);
    P.Number = static_cast<int>(R.Results.GetInt("bkpt.number"));
    if (const TMIValue* Bkpt = R.Results.Find("bkpt")) Verify(*Breakpoint, *Bkpt);
  } catch (const EGdbCommandError& E) {
    Breakpoint->Verified(bpInvalid, 0);
    Log(Format(SLogBreakpointInvalid, P.FileName, P.LineNumber, E.Message()), litBreakpoint);
  } catch (const EGdbError& E) {
    Log(E.Message(), litKernel);
  }
  FPlanted[Breakpoint.get()] = {Breakpoint, P};
}

void TGdbProcess::ReplantBreakpoint(const std::shared_ptr<IOTASourceBreakpoint>& Breakpoint) {
  if (FGone || !FSession->Alive()) return;
  const auto It = FPlanted.find(Breakpoint.get());
  if (It == FPlanted.end()) return PlantBreakpoint(Breakpoint);
  TPlantedBreakpoint& Now = It->second.second;
  const TPlantedBreakpoint Want = Desired(*Breakpoint);
  if (Now.Number == 0 || Now.FileName != Want.FileName || Now.LineNumber != Want.LineNumber ||
      Now.ThreadCondition != Want.ThreadCondition) {
    RemoveBreakpoint(Breakpoint.get());
    return PlantBreakpoint(Breakpoint);
  }
  const std::string Number = std::to_string(Now.Number);
  if (Now.Enabled != Want.Enabled) TryExecute((Want.Enabled ? "-break-enable " : "-break-disable ") + Number);
  if (Now.Condition != Want.Condition) {
    const std::string Condition = GdbCondition(Want);
    TryExecute(Condition.empty() ? "-interpreter-exec console " + QuoteMIString("condition " + Number)
                                 : "-break-condition " + Number + " " + QuoteMIString(Condition));
  }
  if (Now.PassCount != Want.PassCount)
    TryExecute("-break-after " + Number + " " + std::to_string(Want.PassCount > 1 ? Want.PassCount - 1 : 0));
  const int Planted = Now.Number;
  Now = Want;
  Now.Number = Planted;
}

void TGdbProcess::RemoveBreakpoint(const IOTASourceBreakpoint* Breakpoint) {
  const auto It = FPlanted.find(Breakpoint);
  if (It == FPlanted.end()) return;
  const int Number = It->second.second.Number;
  FPlanted.erase(It);
  if (Number > 0 && !FGone && FSession->Alive()) TryExecute("-break-delete " + std::to_string(Number));
}

// -- What gdb reports ----------------------------------------------------------------------

void TGdbProcess::Queue(const TMIRecord* Record) {
  // Console chatter ("[New Thread ...]", the source line of a stop) is what the records say
  // already; leaving it out keeps a busy program from flooding the main thread.
  if (Record && Record->Kind == TMIRecordKind::ConsoleStream) return;
  // gdb reports every pass of a breakpoint, also the ones its ignore count skips: only a
  // change of where it stands is news (a pending breakpoint planted, a line moved).
  if (Record && Record->Kind == TMIRecordKind::NotifyAsync && Record->Class == "breakpoint-modified") {
    const TMIValue* Bkpt = Record->Results.Find("bkpt");
    if (!Bkpt) return;
    const TMIValue* Locations = Bkpt->Find("locations");
    std::string Where = Bkpt->Get("line") + "|" + Bkpt->Get("addr") + "|" + Bkpt->Get("pending") + "|" +
                        std::to_string(Locations ? Locations->Count() : 0);
    std::string& Last = FBreakpointStands[Bkpt->Get("number")];
    if (Last == Where) return;
    Last = std::move(Where);
  }
  bool Post;
  {
    std::lock_guard Lock(FQueueLock);
    Post = FQueue.empty() && !FEnded;
    if (Record)
      FQueue.push_back(*Record);
    else
      FEnded = true;
  }
  if (Post || !Record) FKernel.Post(TGdbKernel::wmRecords, FSerial);
}

void TGdbProcess::HandleQueued() {
  std::deque<TMIRecord> Records;
  bool Ended;
  {
    std::lock_guard Lock(FQueueLock);
    Records.swap(FQueue);
    Ended = FEnded;
  }
  std::shared_ptr<TGdbProcess> Self = shared_from_this();  // a record may end the process
  for (const TMIRecord& R : Records) {
    if (FGone) return;
    Handle(R);
  }
  if (Ended && !FGone) {
    Log(Format(SLogGdbEnded, FSession->EndReason()), litKernel);
    if (FState != psTerminated) HandleExited(-1, FSession->EndReason());
    else Terminate();
  }
}

void TGdbProcess::HandleOutput() {
  size_t Dropped = 0;
  std::string Text = FPartialOutput + FSession->TakeOutput(&Dropped);
  FPartialOutput.clear();
  if (Dropped > 0) Log(Format(SLogOutputDropped, Dropped), litOutput);
  size_t Start = 0;
  for (size_t Eol; (Eol = Text.find('\n', Start)) != std::string::npos; Start = Eol + 1)
    Log(Text.substr(Start, Eol - Start), litOutput);
  FPartialOutput = Text.substr(Start);
  // The last line of a program that ended, or one too long to wait for.
  if (!FPartialOutput.empty() && (FGone || FPartialOutput.size() > 65536)) {
    Log(FPartialOutput, litOutput);
    FPartialOutput.clear();
  }
}

void TGdbProcess::Handle(const TMIRecord& R) {
  const std::shared_ptr<TGdbProcess> Self = shared_from_this();
  const TMIValue& V = R.Results;
  switch (R.Kind) {
    case TMIRecordKind::ExecAsync:
      if (R.Class == "stopped") return HandleStopped(V);
      if (R.Class == "running" && !IsStoppedState(FState) && FState != psStopping)
        SetState(FStepping ? psStepping : psRunning);
      return;
    case TMIRecordKind::LogStream:
    case TMIRecordKind::Text: {
      std::string Line = R.Text;
      while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r')) Line.pop_back();
      if (!Line.empty()) Log(Line, litKernel);
      return;
    }
    case TMIRecordKind::NotifyAsync: break;
    default: return;
  }
  if (R.Class == "thread-group-started") {
    FPid = V.GetInt("pid");
    Log(Format(SLogProcessStarted, BaseName(FExeName), FPid), litProcess);
  } else if (R.Class == "thread-created") {
    auto T = std::make_shared<TGdbThread>(*this, static_cast<int>(V.GetInt("id")));
    FThreads.push_back(T);
    if (FCurrentThread == 0) FCurrentThread = T->FId;
    Log(Format(SLogThreadStart, T->FId, BaseName(FExeName), FPid), litThread);
    Notify([&](IOTAProcessNotifier& N) { N.ThreadCreated(Self, T); });
    Notify([&](IOTAProcessNotifier& N) { N.ThreadListChanged(Self); });
  } else if (R.Class == "thread-exited") {
    const int Id = static_cast<int>(V.GetInt("id"));
    std::shared_ptr<TGdbThread> T = FindThread(Id);
    if (!T) return;
    std::erase(FThreads, T);
    T->FProcess = nullptr;
    Log(Format(SLogThreadExit, Id, BaseName(FExeName), FPid), litThread);
    Notify([&](IOTAProcessNotifier& N) { N.ThreadDestroyed(Self, T); });
    Notify([&](IOTAProcessNotifier& N) { N.ThreadListChanged(Self); });
  } else if (R.Class == "library-loaded") {
    uint64_t Base = 0;
    if (const TMIValue* Ranges = V.Find("ranges"); Ranges && Ranges->Count() > 0)
      Base = static_cast<uint64_t>(ParseNumber(Ranges->Items()[0].second.Get("from"), 16));
    auto M = std::make_shared<TGdbModule>(V.Get("target-name", V.Get("id")), Base, V.Get("symbols-loaded") == "1");
    FModules.push_back(M);
    Log(Format(SLogModuleLoad, M->GetModuleName(), BaseName(FExeName), FPid), litModule);
    Notify([&](IOTAProcessNotifier& N) { N.ModuleCreated(Self, M); });
  } else if (R.Class == "library-unloaded") {
    const std::string Name = V.Get("target-name", V.Get("id"));
    const auto It = std::find_if(FModules.begin(), FModules.end(), [&](const auto& M) { return M->GetFileName() == Name; });
    if (It == FModules.end()) return;
    std::shared_ptr<TGdbModule> M = *It;
    FModules.erase(It);
    Log(Format(SLogModuleUnload, M->GetModuleName(), BaseName(FExeName), FPid), litModule);
    Notify([&](IOTAProcessNotifier& N) { N.ModuleDestroyed(Self, M); });
  } else if (R.Class == "breakpoint-modified") {
    // A pending breakpoint planted once its library loaded, or a hit counted.
    const TMIValue* Bkpt = V.Find("bkpt");
    if (!Bkpt) return;
    if (std::shared_ptr<IOTASourceBreakpoint> B = BreakpointOfNumber(static_cast<int>(Bkpt->GetInt("number"))))
      Verify(*B, *Bkpt);
  } else if (R.Class == "thread-group-exited" && V.Find("exit-code")) {
    HandleExited(static_cast<int>(ParseNumber(V.Get("exit-code"), 8)), {});
  }
}

void TGdbProcess::HandleStopped(const TMIValue& V) {
  const std::string Reason = V.Get("reason");
  if (Reason == "exited" || Reason == "exited-normally") {
    return HandleExited(static_cast<int>(ParseNumber(V.Get("exit-code", "0"), 8)), {});
  }
  if (Reason == "exited-signalled") {
    const std::string Signal = V.Get("signal-name");
    const int Number = SignalNumber(Signal);
    return HandleExited(Number > 0 ? 128 + Number : -1, Signal + ", " + V.Get("signal-meaning"));
  }
  if (const long long Thread = V.GetInt("thread-id"); Thread > 0) FCurrentThread = static_cast<int>(Thread);
  for (const auto& T : FThreads) T->FFrameBase = 0;
  if (const TMIValue* Frame = V.Find("frame"))
    if (std::shared_ptr<TGdbThread> T = FindThread(FCurrentThread)) {
      T->FFile = FrameFile(*Frame);
      T->FLine = static_cast<int>(Frame->GetInt("line"));
    }

  // A finish that climbed out of a function the step entered: the step goes on from there.
  if (Reason == "function-finished" && !FStepResume.empty()) {
    const std::string Command = std::exchange(FStepResume, std::string());
    if (TryExecute(Command + " --thread " + std::to_string(FStepThread))) return;
  }
  FStepResume.clear();
  if (FCatchMuted) {
    FCatchMuted = false;
    TryExecute("-interpreter-exec console " + QuoteMIString("condition " + std::to_string(FThrowCatchpoint)));
  }

  const int Number = static_cast<int>(V.GetInt("bkptno"));
  const bool AtCursor = FCursorBreakpoint > 0 && Reason == "breakpoint-hit" && Number == FCursorBreakpoint;
  FStopMessage.clear();
  // An exception ignored now runs on unseen: a run to the cursor goes on waiting there.
  const bool Thrown = !AtCursor && Reason == "breakpoint-hit" && Number > 0 && Number == FThrowCatchpoint;
  if (Thrown && !HandleException() && TryExecute("-exec-continue")) return;
  if (FCursorBreakpoint > 0 && !AtCursor) TryExecute("-break-delete " + std::to_string(FCursorBreakpoint));
  FCursorBreakpoint = 0;
  const bool Jumped = FJumping;
  FJumping = false;

  TOTAProcessState State = psStopped;
  FStopReason = srOther;
  FStopBreakpoint.reset();
  if (AtCursor || Reason == "location-reached") {
    FStopReason = srCursor;
  } else if (Thrown) {
    // A step that meets an exception ends there.
    State = psException;
    FStopReason = srException;
  } else if (Jumped || Reason == "end-stepping-range" || Reason == "function-finished") {
    FStopReason = srStep;
  } else if (Reason == "breakpoint-hit") {
    FStopReason = srBreakpoint;
    if (std::shared_ptr<IOTASourceBreakpoint> B = BreakpointOfNumber(Number)) {
      bool Stop = true;
      // The program stands still while the actions run, whatever the manager was told.
      FInActions = true;
      HandleBreakpointHit(B, Stop);
      FInActions = false;
      if (!Stop) {
        // The manager never sees this stop: the program runs on as it was, a step included,
        // unless the step ends here anyway.
        if (!FStepping) {
          if (TryExecute("-exec-continue")) return;
        } else if (ResumeStep()) {
          return;
        } else {
          FStopReason = srStep;
          B.reset();
        }
      }
      FStopBreakpoint = B;
    }
  } else if (Reason == "signal-received") {
    const std::string Signal = V.Get("signal-name");
    if (FPauseRequested && (Signal == "SIGINT" || Signal == "0")) {
      FStopReason = srPause;
    } else {
      State = psFault;
      FStopReason = srFault;
      FStopMessage = Signal + ", " + V.Get("signal-meaning");
      const std::shared_ptr<IOTAThread> T = GetCurrentThread();
      Log(Format(SLogFault, BaseName(FExeName), FPid, FStopMessage, T ? T->GetCurrentFile() : std::string(),
                 T ? T->GetCurrentLine() : 0),
          litProcess);
    }
  } else if (FPauseRequested) {
    FStopReason = srPause;
  }
  FPauseRequested = false;
  FStepping = false;
  // Every stop is news, even one that follows a stop.
  FState = State;
  const std::shared_ptr<TGdbProcess> Self = shared_from_this();
  Notify([&](IOTAProcessNotifier& N) { N.ProcessStateChanged(Self); });
}

void TGdbProcess::HandleBreakpointHit(const std::shared_ptr<IOTASourceBreakpoint>& B, bool& Stop) {
  const auto It = FPlanted.find(B.get());
  // gdb counted the passes before this one: re-armed, the next stop is as many passes on.
  if (It != FPlanted.end() && B->GetPassCount() > 1) {
    B->SetCurPassCount(B->GetPassCount());
    TryExecute("-break-after " + std::to_string(It->second.second.Number) + " " +
               std::to_string(B->GetPassCount() - 1));
  }
  // A notifier may decide: 0 runs on, 1 stops, either without the actions.
  const int Decision = B->Trigger();
  if (Decision < btDefault) {
    Stop = Decision == 1;
    return;
  }
  const std::string Process = BaseName(FExeName);
  if (!B->GetLogMessage().empty())
    Log(Format(SLogBreakpointMessage, B->GetLogMessage(), Process, FPid), litBreakpoint);
  if (!B->GetEvalExpression().empty()) {
    const std::shared_ptr<IOTAThread> T = GetCurrentThread();
    const TOTAEvaluateResult R = T ? T->Evaluate(B->GetEvalExpression(), 0, true) : TOTAEvaluateResult{};
    if (B->GetLogResult())
      Log(Format(SLogBreakpointExpression, B->GetEvalExpression(), R.Ok ? R.Value : R.Error, Process, FPid),
          litBreakpoint);
  }
  if (IOTADebuggerServices* S = FKernel.Services()) {
    if (!B->GetEnableGroup().empty()) S->EnableBreakpointGroup(B->GetEnableGroup(), true);
    if (!B->GetDisableGroup().empty()) S->EnableBreakpointGroup(B->GetDisableGroup(), false);
  }
  if (B->GetStackFramesToLog() != 0)
    if (const std::shared_ptr<IOTAThread> T = GetCurrentThread())
      for (const TOTAStackFrame& F : T->GetStackFrames(B->GetStackFramesToLog()))
        Log(Format(SLogStackFrame, F.Function, F.FileName, F.LineNumber), litBreakpoint);
  // The exceptions thrown from here on run through, or stop again.
  if (B->GetDoIgnoreExceptions()) FIgnoreExceptions = true;
  if (B->GetDoHandleExceptions()) FIgnoreExceptions = false;
  Stop = B->GetDoBreak();
}

std::string TGdbProcess::ExceptionClass() {
  // The runtime's throw probe has the thrown object's type information as its second
  // argument; the type information's second word is the class's mangled name, which gdb
  // shows as the last quoted string of the value.
  const std::optional<TMIRecord> R =
      TryExecute("-data-evaluate-expression \"*(char**)((char*)$_probe_arg1 + 8)\"");
  const std::string Value = R ? R->Results.Get("value") : std::string();
  const size_t Open = Value.find('"');
  const size_t Close = Value.rfind('"');
  if (Open == std::string::npos || Close <= Open + 1) return SUnknownExceptionClass;
  const std::string Mangled = Value.substr(Open + 1, Close - Open - 1);
  int Status = 0;
  char* Demangled = abi::__cxa_demangle(Mangled.c_str(), nullptr, nullptr, &Status);
  const std::string Class = Status == 0 && Demangled ? Demangled : Mangled;
  std::free(Demangled);
  return Class;
}

int TGdbProcess::StackDepth() {
  const std::optional<TMIRecord> R = TryExecute("-stack-info-depth --thread " + std::to_string(FCurrentThread));
  return R ? static_cast<int>(R->Results.GetInt("depth", -1)) : -1;
}

bool TGdbProcess::ResumeStep() {
  const std::string Thread = " --thread " + std::to_string(FStepThread);
  // Without the depth the step started at, or in another thread, it cannot be told where
  // the step was headed: the program runs on.
  const int Depth = FStepDepth >= 0 && FCurrentThread == FStepThread ? StackDepth() : -1;
  if (Depth < 0) return TryExecute("-exec-continue").has_value();
  const std::shared_ptr<TGdbThread> T = FindThread(FCurrentThread);
  const bool SameLine = T && T->FFile == FStepFile && T->FLine == FStepLine;
  if (FStepCommand == "-exec-finish") {
    // Out of the frame the step started in, however deep the breakpoint was.
    if (Depth < FStepDepth) return false;
    return TryExecute("-exec-finish" + Thread + " --frame " + std::to_string(Depth - FStepDepth)).has_value();
  }
  if (FStepCommand == "-exec-next" && Depth > FStepDepth) {
    // Deeper than the line stepped over: back out to it, then finish its line.
    FStepResume = FStepCommand;
    if (TryExecute("-exec-finish" + Thread + " --frame " + std::to_string(Depth - FStepDepth - 1))) return true;
    FStepResume.clear();
    return false;
  }
  // Still on the line it started from (a loop on one line): the step goes on; anywhere else
  // is where a step ends.
  if (Depth == FStepDepth && SameLine && (FStepCommand == "-exec-next" || FStepCommand == "-exec-step"))
    return TryExecute(FStepCommand + Thread).has_value();
  return false;
}

bool TGdbProcess::HandleException() {
  // The stop is inside the runtime, which has no source: the throw is the first frame out
  // of it that has one.
  FInActions = true;
  const std::string Class = ExceptionClass();
  const std::shared_ptr<TGdbThread> T = FindThread(FCurrentThread);
  if (T)
    for (const TOTAStackFrame& F : T->GetStackFrames(32))
      if (!F.FileName.empty() && F.LineNumber > 0) {
        T->FFile = F.FileName;
        T->FLine = F.LineNumber;
        T->FFrameBase = F.Level;
        break;
      }
  FInActions = false;
  const std::string File = T ? T->FFile : std::string();
  const int Line = T ? T->FLine : 0;
  Log(Format(FIgnoreExceptions ? SLogExceptionIgnored : SLogException, BaseName(FExeName), FPid, Class, File, Line),
      litProcess);
  FStopMessage = Class;
  return !FIgnoreExceptions;
}

void TGdbProcess::HandleExited(int ExitCode, const std::string& Message) {
  if (FGone) return;
  FExited = ExitCode >= 0;
  FExitCode = ExitCode;
  FStopMessage = Message;
  FStopReason = srNone;
  HandleOutput();
  Log(Format(SLogProcessExited, BaseName(FExeName), FPid, ExitCode), litProcess);
  Terminate();
}

}  // namespace nxs::gdbmi
