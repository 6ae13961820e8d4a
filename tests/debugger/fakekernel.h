// A debugger kernel for tests: it "runs" a program described by a text file, one executed
// source line per line, and plants, counts and acts on the manager's source breakpoints as a
// real kernel does. Each command's effect comes back through a thread of the kernel's own
// and the manager's PostDebugMessage, as a real kernel's would.
//
// The program file:
//   FILE:LINE [NAME=VALUE]...   a source line executed, with the locals it sees; leading
//                               blanks, two per level, give the call depth
//   print TEXT                  the program writes TEXT to its standard output
//   fault SIGNAL                the program faults at the line before
//   exit CODE                   the program ends (the end of the file ends it with 0)
// A condition "NAME==VALUE" holds when the local NAME has VALUE; other conditions hold.
#pragma once

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "debugger/kernel.h"

namespace nxs::test {

struct TFakeStep {
  enum TKind { Line, Print, Fault, Exit } Kind = Line;
  std::string File;
  int LineNumber = 0;
  int Depth = 0;
  std::map<std::string, std::string> Locals;
  std::string Text;  // print, fault
  int Code = 0;      // exit
};

inline std::vector<TFakeStep> ReadFakeProgram(const std::string& FileName) {
  std::ifstream In(FileName);
  if (!In) throw std::runtime_error("Cannot open the program " + FileName);
  std::vector<TFakeStep> Steps;
  std::string Line;
  while (std::getline(In, Line)) {
    size_t Blanks = Line.find_first_not_of(' ');
    if (Blanks == std::string::npos) continue;
    TFakeStep S;
    S.Depth = static_cast<int>(Blanks / 2);
    std::istringstream Words(Line.substr(Blanks));
    std::string First;
    Words >> First;
    if (First == "print") {
      S.Kind = TFakeStep::Print;
      std::getline(Words >> std::ws, S.Text);
    } else if (First == "fault") {
      S.Kind = TFakeStep::Fault;
      Words >> S.Text;
    } else if (First == "exit") {
      S.Kind = TFakeStep::Exit;
      Words >> S.Code;
    } else {
      const size_t Colon = First.rfind(':');
      if (Colon == std::string::npos) throw std::runtime_error("Not a program line: " + Line);
      S.File = First.substr(0, Colon);
      S.LineNumber = std::stoi(First.substr(Colon + 1));
      std::string Pair;
      while (Words >> Pair) {
        const size_t Eq = Pair.find('=');
        if (Eq != std::string::npos) S.Locals[Pair.substr(0, Eq)] = Pair.substr(Eq + 1);
      }
    }
    Steps.push_back(std::move(S));
  }
  return Steps;
}

class TFakeKernel;

class TFakeThread : public IOTAThread {
 public:
  explicit TFakeThread(TFakeKernel& Kernel) : FKernel(Kernel) {}
  int GetThreadId() const override { return 1; }
  int64_t GetOSThreadId() const override { return 4242; }
  std::string GetName() const override { return "main"; }
  TOTAProcessState GetState() const override;
  std::string GetCurrentFile() const override;
  int GetCurrentLine() const override;
  std::vector<TOTAStackFrame> GetStackFrames(int MaxFrames) override;
  std::vector<TOTAVariable> GetLocals(int Frame) override;
  std::vector<TOTAVariable> GetArguments(int) override { return {}; }
  TOTAEvaluateResult Evaluate(const std::string& Expression, int Frame, bool) override;

 private:
  TFakeKernel& FKernel;
};

class TFakeProcess : public IOTAProcess {
 public:
  TFakeProcess(std::string ExeName, TFakeKernel& Kernel)
      : FExeName(std::move(ExeName)), FThread(std::make_shared<TFakeThread>(Kernel)) {}
  int AddNotifier(std::shared_ptr<IOTAProcessNotifier> N) override {
    FNotifiers.push_back(std::move(N));
    return static_cast<int>(FNotifiers.size()) - 1;
  }
  void RemoveNotifier(int Index) override {
    if (Index >= 0 && static_cast<size_t>(Index) < FNotifiers.size()) FNotifiers[static_cast<size_t>(Index)].reset();
  }
  int64_t GetProcessId() const override { return 4242; }
  std::string GetExeName() const override { return FExeName; }
  TOTAProcessState GetState() const override { return FState; }
  TOTAStopReason GetStopReason() const override { return FReason; }
  int GetExitCode() const override { return FExitCode; }
  std::string GetStopMessage() const override { return FStopMessage; }
  std::shared_ptr<IOTASourceBreakpoint> GetStopBreakpoint() const override { return FStopBreakpoint; }
  int GetThreadCount() const override { return 1; }
  std::shared_ptr<IOTAThread> GetThread(int) const override { return FThread; }
  std::shared_ptr<IOTAThread> GetCurrentThread() const override { return FThread; }
  void SetCurrentThread(const std::shared_ptr<IOTAThread>&) override {}
  int GetModuleCount() const override { return 0; }
  std::shared_ptr<IOTAModule> GetModule(int) const override { return nullptr; }
  bool IsBreakpointValid(const IOTABreakpoint&) override { return true; }

  void SetState(const std::shared_ptr<IOTAProcess>& Self, TOTAProcessState State, TOTAStopReason Reason) {
    FState = State;
    FReason = Reason;
    for (const auto Copy = FNotifiers; const auto& N : Copy)
      if (N) N->ProcessStateChanged(Self);
  }

  std::string FExeName;
  TOTAProcessState FState = psCreated;
  TOTAStopReason FReason = srNone;
  int FExitCode = 0;
  std::string FStopMessage;
  std::shared_ptr<IOTASourceBreakpoint> FStopBreakpoint;
  std::shared_ptr<TFakeThread> FThread;
  std::vector<std::shared_ptr<IOTAProcessNotifier>> FNotifiers;
};

class TFakeKernel : public IOTADebugger {
 public:
  enum TMode { mRun, mStepInto, mStepOver, mStepOut, mCursor };

  ~TFakeKernel() override { JoinPoster(); }

  std::string GetIdentifier() const override { return FIdentifier; }
  std::string GetDisplayName() const override { return "Fake debugger"; }
  std::string GetVersion() const override { return "1.0"; }
  void Registered(IOTADebuggerServices& Services) override { FServices = &Services; }
  void Unregistered() override {
    JoinPoster();
    FServices = nullptr;
  }
  int AddNotifier(std::shared_ptr<IOTADebuggerNotifier> N) override {
    FNotifiers.push_back(std::move(N));
    return static_cast<int>(FNotifiers.size()) - 1;
  }
  void RemoveNotifier(int Index) override {
    if (Index >= 0 && static_cast<size_t>(Index) < FNotifiers.size()) FNotifiers[static_cast<size_t>(Index)].reset();
  }

  int GetProcessCount() const override { return FProcess ? 1 : 0; }
  std::shared_ptr<IOTAProcess> GetProcess(int Index) const override { return Index == 0 ? FProcess : nullptr; }
  std::shared_ptr<IOTAProcess> GetCurrentProcess() const override { return FProcess; }
  void SetCurrentProcess(const std::shared_ptr<IOTAProcess>&) override {}

  std::shared_ptr<IOTAProcess> LoadProcess(const TOTALoadParams& Params) override {
    ++LoadCount;
    LastLoad = Params;
    FProgram = ReadFakeProgram(Params.ExeName);
    FPos = -1;
    FProcess = std::make_shared<TFakeProcess>(Params.ExeName, *this);
    for (const auto Copy = FNotifiers; const auto& N : Copy)
      if (N) N->ProcessCreated(FProcess);
    for (int I = 0; FServices && I < FServices->GetSourceBreakpointCount(); ++I) {
      auto B = FServices->GetSourceBreakpoint(I);
      B->ResetPassCount();
      Plant(B);
    }
    if (!Params.StopAtEntry) Start(mRun);
    return FProcess;
  }
  std::shared_ptr<IOTAProcess> AttachToProcess(int64_t) override { throw std::runtime_error("cannot attach"); }

  void Run(IOTAProcess&) override { Start(mRun); }
  void Pause(IOTAProcess&) override { ++PauseCount; }
  bool Reset(IOTAProcess&) override {
    ++ResetCount;
    if (RefuseReset) return false;
    End(-1);
    return true;
  }
  void Detach(IOTAProcess&) override { End(0); }
  void StepInto(IOTAProcess&) override { Start(mStepInto); }
  void StepOver(IOTAProcess&) override { Start(mStepOver); }
  void StepOut(IOTAProcess&) override { Start(mStepOut); }
  void StepToNextSource(IOTAProcess&) override { Start(mStepInto); }
  void InstructionStepInto(IOTAProcess&) override { Start(mStepInto); }
  void InstructionStepOver(IOTAProcess&) override { Start(mStepOver); }
  void RunToCursor(IOTAProcess&, const std::string& FileName, int LineNumber) override {
    FCursorFile = FileName;
    FCursorLine = LineNumber;
    Start(mCursor);
  }
  bool SetNextStatement(IOTAProcess&, const std::string& FileName, int LineNumber, std::string& Error) override {
    const TFakeStep* Here = Current();
    for (size_t I = 0; I < FProgram.size(); ++I) {
      const TFakeStep& S = FProgram[I];
      if (S.Kind == TFakeStep::Line && SameFile(S.File, FileName) && S.LineNumber == LineNumber &&
          (!Here || S.Depth == Here->Depth)) {
        FPos = static_cast<int>(I);
        return true;
      }
    }
    Error = "line " + std::to_string(LineNumber) + " is not in the current function";
    return false;
  }

  void DebugMessageHook(intptr_t WParam, intptr_t) override {
    ++MessagesHandled;
    if (WParam == 1) Advance();
  }

  uint32_t GetSupportedDebugCommands() const override { return Supported; }
  uint32_t GetEnabledDebugCommands() const override { return Supported; }

  void SourceBreakpointAdded(const std::shared_ptr<IOTASourceBreakpoint>& B) override {
    Notices.push_back("added " + B->GetFileName() + ":" + std::to_string(B->GetLineNumber()));
    if (FProcess) Plant(B);
  }
  void SourceBreakpointChanged(const std::shared_ptr<IOTASourceBreakpoint>& B) override {
    Notices.push_back("changed " + B->GetFileName() + ":" + std::to_string(B->GetLineNumber()));
  }
  void SourceBreakpointDeleted(const std::shared_ptr<IOTASourceBreakpoint>& B) override {
    Notices.push_back("deleted " + B->GetFileName() + ":" + std::to_string(B->GetLineNumber()));
  }
  void DebugOptionsChanged() override { ++OptionsChangedCount; }

  bool SupportsModuleLoadBreakpoints() const override { return ModuleLoadBreakpoints; }
  std::vector<std::string> GetModuleFileMasks() const override { return Masks; }
  int GetBreakpointCount() const override { return static_cast<int>(Held.size()); }
  std::shared_ptr<IOTABreakpoint> GetBreakpoint(int Index) const override { return Held.at(static_cast<size_t>(Index)); }

  // What a test sets and reads.
  std::string FIdentifier = "fake";
  uint32_t Supported = ~0u;
  bool RefuseReset = false;
  bool ModuleLoadBreakpoints = false;
  std::vector<std::string> Masks;
  std::vector<std::shared_ptr<IOTABreakpoint>> Held;
  std::vector<std::string> Notices;
  int LoadCount = 0, ResetCount = 0, PauseCount = 0, MessagesHandled = 0, OptionsChangedCount = 0;
  TOTALoadParams LastLoad;

  const TFakeStep* Current() const {
    return FPos >= 0 && static_cast<size_t>(FPos) < FProgram.size() ? &FProgram[static_cast<size_t>(FPos)] : nullptr;
  }
  std::shared_ptr<TFakeProcess> Process() const { return FProcess; }
  const std::vector<TFakeStep>& Program() const { return FProgram; }
  int Pos() const { return FPos; }

 private:
  static bool SameFile(const std::string& ProgramFile, const std::string& FileName) {
    if (ProgramFile == FileName) return true;
    // The program names files as the compiler saw them; a breakpoint may give a full path.
    return FileName.size() > ProgramFile.size() && FileName.compare(FileName.size() - ProgramFile.size(), std::string::npos, ProgramFile) == 0 &&
           FileName[FileName.size() - ProgramFile.size() - 1] == '/';
  }

  void Plant(const std::shared_ptr<IOTASourceBreakpoint>& B) {
    for (const TFakeStep& S : FProgram)
      if (S.Kind == TFakeStep::Line && SameFile(S.File, B->GetFileName()) && S.LineNumber >= B->GetLineNumber()) {
        B->Verified(bpPlanted, S.LineNumber);
        return;
      }
    B->Verified(bpInvalid, 0);
  }

  void JoinPoster() {
    if (FPoster.joinable()) FPoster.join();
  }

  // The command goes to the kernel's thread, which hands it back to the main thread.
  void Start(TMode Mode) {
    if (!FProcess || !FServices) return;
    JoinPoster();
    FMode = Mode;
    const TFakeStep* Here = Current();
    FStartDepth = Here ? Here->Depth : 0;
    FProcess->SetState(FProcess, Mode == mRun || Mode == mCursor ? psRunning : psStepping, srNone);
    IOTADebuggerServices* Services = FServices;
    FPoster = std::thread([this, Services] { Services->PostDebugMessage(*this, 1, 0); });
  }

  // Whether a breakpoint on S stops the program; runs its actions.
  bool HitBreakpoints(const TFakeStep& S, std::shared_ptr<IOTASourceBreakpoint>& Stopped) {
    bool Stop = false;
    for (int I = 0; I < FServices->GetSourceBreakpointCount(); ++I) {
      auto B = FServices->GetSourceBreakpoint(I);
      if (!B->GetEnabled() || B->GetVerifiedLine() != S.LineNumber || !SameFile(S.File, B->GetFileName())) continue;
      const std::string Cond = B->GetExpression();
      const size_t Eq = Cond.find("==");
      if (Eq != std::string::npos) {
        auto It = S.Locals.find(Cond.substr(0, Eq));
        if (It == S.Locals.end() || It->second != Cond.substr(Eq + 2)) continue;
      }
      B->SetCurPassCount(B->GetCurPassCount() + 1);
      if (B->GetPassCount() > 0) {
        if (B->GetCurPassCount() < B->GetPassCount()) continue;
        B->ResetPassCount();  // counts afresh towards the next stop
      }
      if (!B->GetLogMessage().empty()) FServices->LogString(B->GetLogMessage(), litBreakpoint);
      if (!B->GetEvalExpression().empty() && B->GetLogResult()) {
        auto It = S.Locals.find(B->GetEvalExpression());
        FServices->LogString(B->GetEvalExpression() + " = " + (It == S.Locals.end() ? "?" : It->second), litBreakpoint);
      }
      if (!B->GetEnableGroup().empty()) FServices->EnableBreakpointGroup(B->GetEnableGroup(), true);
      if (!B->GetDisableGroup().empty()) FServices->EnableBreakpointGroup(B->GetDisableGroup(), false);
      if (B->GetDoBreak() && !Stop) {
        Stop = true;
        Stopped = B;
      }
    }
    return Stop;
  }

  void Advance() {
    if (!FProcess) return;
    for (;;) {
      ++FPos;
      if (static_cast<size_t>(FPos) >= FProgram.size()) return End(0);
      const TFakeStep& S = FProgram[static_cast<size_t>(FPos)];
      if (S.Kind == TFakeStep::Exit) return End(S.Code);
      if (S.Kind == TFakeStep::Print) {
        FServices->LogString(S.Text, litOutput);
        continue;
      }
      if (S.Kind == TFakeStep::Fault) {
        // The line before faults and stays the current one; resumed, the program goes on.
        FProcess->FStopMessage = S.Text;
        FProgram.erase(FProgram.begin() + FPos);
        --FPos;
        FProcess->FStopBreakpoint = nullptr;
        return FProcess->SetState(FProcess, psFault, srFault);
      }
      std::shared_ptr<IOTASourceBreakpoint> Hit;
      if (HitBreakpoints(S, Hit)) {
        FProcess->FStopBreakpoint = Hit;
        return FProcess->SetState(FProcess, psStopped, srBreakpoint);
      }
      FProcess->FStopBreakpoint = nullptr;
      const bool Stops = (FMode == mStepInto) || (FMode == mStepOver && S.Depth <= FStartDepth) ||
                         (FMode == mStepOut && S.Depth < FStartDepth) ||
                         (FMode == mCursor && SameFile(S.File, FCursorFile) && S.LineNumber == FCursorLine);
      if (Stops) return FProcess->SetState(FProcess, psStopped, FMode == mCursor ? srCursor : srStep);
    }
  }

  void End(int Code) {
    std::shared_ptr<TFakeProcess> P = FProcess;
    P->FExitCode = Code;
    P->SetState(P, psTerminated, srNone);
    FProcess = nullptr;
    for (const auto Copy = FNotifiers; const auto& N : Copy)
      if (N) N->ProcessDestroyed(P);
  }

  IOTADebuggerServices* FServices = nullptr;
  std::vector<std::shared_ptr<IOTADebuggerNotifier>> FNotifiers;
  std::shared_ptr<TFakeProcess> FProcess;
  std::vector<TFakeStep> FProgram;
  int FPos = -1;
  TMode FMode = mRun;
  int FStartDepth = 0;
  std::string FCursorFile;
  int FCursorLine = 0;
  std::thread FPoster;
};

inline TOTAProcessState TFakeThread::GetState() const {
  auto P = FKernel.Process();
  return P ? P->GetState() : psNoProcess;
}
inline std::string TFakeThread::GetCurrentFile() const {
  const TFakeStep* S = FKernel.Current();
  return S ? S->File : "";
}
inline int TFakeThread::GetCurrentLine() const {
  const TFakeStep* S = FKernel.Current();
  return S ? S->LineNumber : 0;
}
inline std::vector<TOTAStackFrame> TFakeThread::GetStackFrames(int MaxFrames) {
  std::vector<TOTAStackFrame> Frames;
  const TFakeStep* S = FKernel.Current();
  if (!S) return Frames;
  int Depth = S->Depth + 1;
  for (int I = FKernel.Pos(); I >= 0 && (MaxFrames < 0 || static_cast<int>(Frames.size()) < MaxFrames); --I) {
    const TFakeStep& F = FKernel.Program()[static_cast<size_t>(I)];
    if (F.Kind != TFakeStep::Line || F.Depth >= Depth) continue;
    Depth = F.Depth;
    TOTAStackFrame Frame;
    Frame.Level = static_cast<int>(Frames.size());
    Frame.Function = "depth" + std::to_string(F.Depth);
    Frame.FileName = F.File;
    Frame.LineNumber = F.LineNumber;
    Frames.push_back(Frame);
  }
  return Frames;
}
inline std::vector<TOTAVariable> TFakeThread::GetLocals(int) {
  std::vector<TOTAVariable> Vars;
  if (const TFakeStep* S = FKernel.Current())
    for (const auto& [Name, Value] : S->Locals) Vars.push_back({Name, Value, "int"});
  return Vars;
}
inline TOTAEvaluateResult TFakeThread::Evaluate(const std::string& Expression, int, bool) {
  TOTAEvaluateResult R;
  const TFakeStep* S = FKernel.Current();
  auto It = S ? S->Locals.find(Expression) : std::map<std::string, std::string>::const_iterator();
  if (!S || It == S->Locals.end()) {
    R.Error = "No symbol \"" + Expression + "\" in current context.";
    return R;
  }
  R.Ok = true;
  R.Value = It->second;
  R.TypeName = "int";
  return R;
}

}  // namespace nxs::test
