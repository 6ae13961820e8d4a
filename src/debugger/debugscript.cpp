#include "debugger/debugscript.h"

#include <chrono>
#include <sstream>

#include "debugger/breakpoints.h"
#include "debugger/resstrings.h"
#include "shared/exceptions.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/text.h"

namespace nxs {

namespace {

const char* ReasonWord(TOTAStopReason Reason) {
  switch (Reason) {
    case srBreakpoint: return "breakpoint";
    case srStep: return "step";
    case srCursor: return "cursor";
    case srPause: return "pause";
    case srFault: return "fault";
    case srException: return "exception";
    case srEntry: return "entry";
    case srNone:
    case srOther: break;
  }
  return "signal";
}

bool IsStopped(TOTAProcessState S) { return S == psStopped || S == psFault || S == psException || S == psCreated; }

// The command word and the rest of the line, blanks around both trimmed.
void SplitCommand(const std::string& Line, std::string& Word, std::string& Rest) {
  const std::string T = Trim(Line);
  const size_t Blank = T.find_first_of(" \t");
  Word = T.substr(0, Blank);
  Rest = Blank == std::string::npos ? std::string() : Trim(T.substr(Blank + 1));
}

bool ParseInt(const std::string& Text, int& Value) {
  if (Text.empty() || Text.size() > 10) return false;
  size_t I = Text[0] == '-' ? 1 : 0;
  if (I == Text.size()) return false;
  for (size_t J = I; J < Text.size(); ++J)
    if (Text[J] < '0' || Text[J] > '9') return false;
  const long long V = std::stoll(Text);
  if (V < INT32_MIN || V > INT32_MAX) return false;
  Value = static_cast<int>(V);
  return true;
}

}  // namespace

std::string BreakpointRecord(const TBreakpoint& B) {
  std::string Hint = B.GetHintText();
  Hint = ReplaceAllText(Hint, res::SBpActionSeparator, ", ");
  Hint = ReplaceAllText(Hint, "\n", " | ");
  return B.GetFileName() + ":" + std::to_string(B.GetLineNumber()) + " " + (B.GetEnabled() ? "enabled" : "disabled") +
         " | " + Hint;
}

TDebugScript::TDebugScript(TDebuggerMgr& Mgr, TWriteLine Out, std::string BaseDir)
    : FMgr(Mgr), FOut(std::move(Out)), FBaseDir(std::move(BaseDir)) {
  FMgr.FEvProcessStateChanged.Add(this, &TDebugScript::StateChanged);
  FMgr.FEvProcessDestroyed.Add(this, &TDebugScript::Ended);
  FMgr.FEvProcessCreated.Add(this, [this](TEvProcessEvent&) { FEnded = nullptr; });
}

TDebugScript::~TDebugScript() {
  FMgr.FEvProcessStateChanged.Remove(this, &TDebugScript::StateChanged);
  FMgr.FEvProcessDestroyed.Remove(this, &TDebugScript::Ended);
  FMgr.FEvProcessCreated.Remove(this);
}

void TDebugScript::StateChanged(TEvProcessEvent& Ev) {
  IOTAProcess& P = *Ev.Process;
  const TOTAProcessState S = P.GetState();
  if (S == psTerminated) return Ended(Ev);
  if (S != psStopped && S != psFault && S != psException) return;
  std::string File;
  int Line = 0;
  if (std::shared_ptr<IOTAThread> T = P.GetCurrentThread()) {
    File = T->GetCurrentFile();
    Line = T->GetCurrentLine();
  }
  if (File.empty()) File = "??";
  FOut(Format(res::SDebugStopped, File, Line, ReasonWord(P.GetStopReason())));
}

void TDebugScript::Ended(TEvProcessEvent& Ev) {
  if (FEnded == Ev.Process.get()) return;
  FEnded = Ev.Process.get();
  FOut(Format(res::SDebugEnded, Ev.Process->GetExitCode()));
}

bool TDebugScript::ParseLocation(const std::string& Text, std::string& FileName, int& Line, std::string* Rest) const {
  // The first ":DIGITS" followed by the end or another colon ends the file name, so that a
  // condition after it may hold colons of its own.
  for (size_t Colon = Text.find(':'); Colon != std::string::npos; Colon = Text.find(':', Colon + 1)) {
    size_t End = Colon + 1;
    while (End < Text.size() && Text[End] >= '0' && Text[End] <= '9') ++End;
    if (End == Colon + 1 || (End < Text.size() && Text[End] != ':')) continue;
    if (!Rest && End != Text.size()) continue;
    if (Colon == 0 || !ParseInt(Text.substr(Colon + 1, End - Colon - 1), Line) || Line < 1) return false;
    FileName = ExpandFileName(Text.substr(0, Colon), FBaseDir);
    if (Rest) *Rest = End < Text.size() ? Text.substr(End + 1) : std::string();
    return true;
  }
  return false;
}

void TDebugScript::AddBreakpointText(const std::string& Text) {
  TBreakpointProps P;
  if (!ParseLocation(Text, P.FileName, P.LineNumber, &P.Expression)) throw Exception(Format(res::SDebugNotALocation, Text));
  const int I = FMgr.Breakpoints().Find(P.FileName, P.LineNumber);
  if (I >= 0) FMgr.Breakpoints().Delete(I);
  FMgr.Breakpoints().Add(P);
}

// Break FILE:LINE [condition=...] [pass=N] [group=...] [log=...] [eval=...]
// [enablegroup=...] [disablegroup=...] [nobreak]: a value runs up to the next option, so that
// a condition may hold blanks.
void TDebugScript::Break(const std::string& Args) {
  std::istringstream Words(Args);
  std::string Location;
  Words >> Location;
  TBreakpointProps P;
  if (!ParseLocation(Location, P.FileName, P.LineNumber, nullptr))
    throw Exception(Format(res::SDebugNotALocation, Location));
  std::string Key, Value, Word;
  auto Flush = [&] {
    if (Key.empty()) return;
    if (Key == "condition") {
      P.Expression = Value;
    } else if (Key == "pass") {
      if (!ParseInt(Value, P.PassCount) || P.PassCount < 0) throw Exception(Format(res::SDebugBadOption, "pass=" + Value));
    } else if (Key == "group") {
      P.GroupName = Value;
    } else if (Key == "log") {
      P.LogMessage = Value;
    } else if (Key == "eval") {
      P.EvalExpression = Value;
    } else if (Key == "enablegroup") {
      P.EnableGroup = Value;
    } else if (Key == "disablegroup") {
      P.DisableGroup = Value;
    }
    Key.clear();
    Value.clear();
  };
  while (Words >> Word) {
    const size_t Eq = Word.find('=');
    const std::string Name = Eq == std::string::npos ? Word : Word.substr(0, Eq);
    if (Word == "nobreak") {
      Flush();
      P.DoBreak = false;
    } else if (Word == "ignoreexceptions") {
      Flush();
      P.DoIgnoreExceptions = true;
    } else if (Word == "handleexceptions") {
      Flush();
      P.DoHandleExceptions = true;
    } else if (Eq != std::string::npos &&
               (Name == "condition" || Name == "pass" || Name == "group" || Name == "log" || Name == "eval" ||
                Name == "enablegroup" || Name == "disablegroup")) {
      Flush();
      Key = Name;
      Value = Word.substr(Eq + 1);
    } else if (!Key.empty()) {
      Value += " " + Word;
    } else {
      throw Exception(Format(res::SDebugBadOption, Word));
    }
  }
  Flush();
  const int I = FMgr.Breakpoints().Find(P.FileName, P.LineNumber);
  if (I >= 0) FMgr.Breakpoints().Delete(I);
  FMgr.Breakpoints().Add(P);
}

std::shared_ptr<IOTAThread> TDebugScript::StoppedThread() {
  std::shared_ptr<IOTAProcess> P = FMgr.GetCurrentProcess();
  if (!P) throw Exception(res::SDebugNoProcess);
  if (!IsStopped(P->GetState())) throw Exception(res::SDebugNotStopped);
  std::shared_ptr<IOTAThread> T = P->GetCurrentThread();
  if (!T) throw Exception(res::SDebugNotStopped);
  return T;
}

void TDebugScript::Wait(double Seconds) {
  using namespace std::chrono;
  const auto Until = steady_clock::now() + duration_cast<steady_clock::duration>(duration<double>(Seconds));
  auto Running = [&] {
    const TOTAProcessState S = FMgr.GetProcessState();
    return S == psRunning || S == psStepping || S == psStopping;
  };
  MainThreadQueue().ProcessPending();
  while (Running()) {
    if (steady_clock::now() >= Until) throw Exception(Format(res::SDebugStillRunning, std::to_string(static_cast<int>(Seconds))));
    MainThreadQueue().WaitAndProcess(20);
  }
}

void TDebugScript::Finish() {
  MainThreadQueue().ProcessPending();
  if (FMgr.GetProcessCount() == 0) return;
  (void)FMgr.ResetAll();
  const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (FMgr.GetProcessCount() > 0 && std::chrono::steady_clock::now() < Until) MainThreadQueue().WaitAndProcess(20);
}

void TDebugScript::Execute(const std::string& Line) {
  std::string Word, Rest;
  SplitCommand(Line, Word, Rest);
  if (Word.empty() || Word[0] == '#') return;
  auto Location = [&](std::string& File, int& LineNo) {
    if (!ParseLocation(Rest, File, LineNo, nullptr)) throw Exception(Format(res::SDebugNotALocation, Rest));
  };
  auto Needs = [&](const char* What) {
    if (Rest.empty()) throw Exception(Format(res::SDebugCommandNeeds, Word, What));
  };

  if (SameText(Word, "Run")) {
    if (!FMgr.GetCurrentDebugger()) throw Exception(res::SDebugNoKernel);
    FMgr.Run();
  } else if (SameText(Word, "StepInto")) {
    FMgr.StepInto();
  } else if (SameText(Word, "StepOver")) {
    FMgr.StepOver();
  } else if (SameText(Word, "StepOut")) {
    FMgr.StepOut();
  } else if (SameText(Word, "RunToCursor")) {
    std::string File;
    int LineNo = 0;
    Location(File, LineNo);
    FMgr.RunToCursor(File, LineNo);
  } else if (SameText(Word, "SetNext")) {
    std::string File;
    int LineNo = 0;
    Location(File, LineNo);
    FMgr.SetNextStatement(File, LineNo);
  } else if (SameText(Word, "Pause")) {
    FMgr.Pause();
  } else if (SameText(Word, "Reset")) {
    FMgr.Reset();
  } else if (SameText(Word, "Wait")) {
    int Seconds = 30;
    if (!Rest.empty() && (!ParseInt(Rest, Seconds) || Seconds < 0))
      throw Exception(Format(res::SDebugCommandNeeds, Word, "a number of seconds"));
    Wait(Seconds);
  } else if (SameText(Word, "Eval")) {
    Needs("an expression");
    const TOTAEvaluateResult R =
        StoppedThread()->Evaluate(Rest, 0, FMgr.DebugOptions().FAllowSideEffectsInWatches);
    FOut(R.Ok ? Rest + " = " + R.Value : Rest + ": " + R.Error);
  } else if (SameText(Word, "Stack")) {
    for (const TOTAStackFrame& F : StoppedThread()->GetStackFrames(-1))
      FOut("#" + std::to_string(F.Level) + " " + F.Function + " " + (F.FileName.empty() ? "??" : F.FileName) + ":" +
           std::to_string(F.LineNumber));
  } else if (SameText(Word, "Locals")) {
    std::shared_ptr<IOTAThread> T = StoppedThread();
    for (const TOTAVariable& V : T->GetArguments(0)) FOut(V.Name + " = " + V.Value);
    for (const TOTAVariable& V : T->GetLocals(0)) FOut(V.Name + " = " + V.Value);
  } else if (SameText(Word, "Threads")) {
    std::shared_ptr<IOTAProcess> P = FMgr.GetCurrentProcess();
    if (!P) throw Exception(res::SDebugNoProcess);
    std::shared_ptr<IOTAThread> Current = P->GetCurrentThread();
    for (int I = 0; I < P->GetThreadCount(); ++I) {
      std::shared_ptr<IOTAThread> T = P->GetThread(I);
      if (!T) continue;
      FOut(std::string(T == Current ? "* " : "  ") + std::to_string(T->GetThreadId()) + " " + T->GetName() + " " +
           ProcessStateName(T->GetState()));
    }
  } else if (SameText(Word, "Toggle")) {
    std::string File;
    int LineNo = 0;
    Location(File, LineNo);
    FMgr.Breakpoints().Toggle(File, LineNo);
  } else if (SameText(Word, "Break")) {
    Needs("FILE:LINE");
    Break(Rest);
  } else if (SameText(Word, "Breakpoints")) {
    TBreakpointManager& M = FMgr.Breakpoints();
    for (int I = 0; I < M.GetCount(); ++I) FOut(BreakpointRecord(*M.GetBreakpoint(I)));
  } else if (SameText(Word, "EnableGroup") || SameText(Word, "DisableGroup")) {
    Needs("a group name");
    FMgr.Breakpoints().EnableGroup(Rest, SameText(Word, "EnableGroup"));
  } else if (SameText(Word, "Log")) {
    MainThreadQueue().ProcessPending();
    for (int I = 0; I < FMgr.GetLogCount(); ++I) FOut(FMgr.GetLogItem(I).LogItem);
  } else {
    throw Exception(Format(res::SDebugUnknownCommand, Word));
  }
}

void TDebugScript::RunScript(const std::string& Text) {
  std::istringstream In(Text);
  std::string Line;
  for (int No = 1; std::getline(In, Line); ++No) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    try {
      Execute(Line);
    } catch (const Exception& E) {
      throw Exception(Format(res::SDebugScriptLine, No, E.Message()));
    }
  }
}

}  // namespace nxs
