#include "debugger/debugmarks.h"

#include <algorithm>

#include "debugger/breakpoints.h"
#include "debugger/debugmgr.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/edkrnl.h"
#include "modules/modulelist.h"

namespace nxs {

namespace {

// Whether a kernel's name of the stopped source is the buffer's file. Kernels that know only
// the name the compiler was given report it relative; it then names the buffer's file when
// it is the end of its path.
bool IsStopFile(const std::string& StopFile, const std::string& BufferFile) {
  if (StopFile.empty()) return false;
  if (StopFile == BufferFile) return true;
  if (StopFile[0] == '/' || BufferFile.size() <= StopFile.size()) return false;
  return BufferFile.compare(BufferFile.size() - StopFile.size(), StopFile.size(), StopFile) == 0 &&
         BufferFile[BufferFile.size() - StopFile.size() - 1] == '/';
}

}  // namespace

TDebugLineMarks::TDebugLineMarks(TDebuggerMgr& Mgr) : FMgr(Mgr) {
  TBreakpointManager& B = FMgr.Breakpoints();
  B.EvSourceBreakpointAdded().Add(this, &TDebugLineMarks::BreakpointNotice);
  B.EvSourceBreakpointChanged().Add(this, &TDebugLineMarks::BreakpointNotice);
  B.EvSourceBreakpointDeleted().Add(this, &TDebugLineMarks::BreakpointNotice);
  FMgr.FEvProcessStateChanged.Add(this, &TDebugLineMarks::ProcessNotice);
  FMgr.FEvProcessDestroyed.Add(this, &TDebugLineMarks::ProcessNotice);
  FMgr.FEvCurrentProcessChanged.Add(this, &TDebugLineMarks::ProcessNotice);
  EvModuleCreated().Add(this, &TDebugLineMarks::ModuleCreated);
  UpdateAll();
}

TDebugLineMarks::~TDebugLineMarks() {
  TBreakpointManager& B = FMgr.Breakpoints();
  B.EvSourceBreakpointAdded().Remove(this, &TDebugLineMarks::BreakpointNotice);
  B.EvSourceBreakpointChanged().Remove(this, &TDebugLineMarks::BreakpointNotice);
  B.EvSourceBreakpointDeleted().Remove(this, &TDebugLineMarks::BreakpointNotice);
  FMgr.FEvProcessStateChanged.Remove(this, &TDebugLineMarks::ProcessNotice);
  FMgr.FEvProcessDestroyed.Remove(this, &TDebugLineMarks::ProcessNotice);
  FMgr.FEvCurrentProcessChanged.Remove(this, &TDebugLineMarks::ProcessNotice);
  EvModuleCreated().Remove(this, &TDebugLineMarks::ModuleCreated);
}

void TDebugLineMarks::BreakpointNotice(TEvSourceBreakpoint&) { UpdateAll(); }

void TDebugLineMarks::ProcessNotice(TEvProcessEvent&) {
  FStopFile.clear();
  FStopLine = 0;
  // The current process, not the one the notice is about: another process's stop moves no
  // execution point, and the current one gone takes it away.
  const std::shared_ptr<IOTAProcess> P = FMgr.GetCurrentProcess();
  const TOTAProcessState S = P ? P->GetState() : psNoProcess;
  if (S == psStopped || S == psFault || S == psException)
    if (const std::shared_ptr<IOTAThread> T = P->GetCurrentThread()) {
      FStopFile = T->GetCurrentFile();
      FStopLine = T->GetCurrentLine();
    }
  UpdateAll();
}

void TDebugLineMarks::ModuleCreated(TEvModuleSender&) { UpdateAll(); }

void TDebugLineMarks::UpdateAll() {
  for (const std::shared_ptr<TEditBuffer>& B : TEditBuffer::AllBuffers()) UpdateBuffer(*B);
}

void TDebugLineMarks::UpdateBuffer(TEditBuffer& Buffer) {
  // A disabled breakpoint stops nothing, so its line carries no mark.
  std::vector<int32_t> Lines;
  TBreakpointManager& M = FMgr.Breakpoints();
  for (int I = 0; I < M.GetCount(); ++I) {
    const std::shared_ptr<TBreakpoint> B = M.GetBreakpoint(I);
    if (B->GetEnabled() && B->GetFileName() == Buffer.FileName()) Lines.push_back(B->GetLineNumber());
  }
  std::sort(Lines.begin(), Lines.end());
  Lines.erase(std::unique(Lines.begin(), Lines.end()), Lines.end());
  // Each change repaints its lines: only what differs is touched.
  if (Buffer.BreakMarks() != Lines) Buffer.SetBreakMarks(Lines);

  const int32_t Stop = IsStopFile(FStopFile, Buffer.FileName()) ? FStopLine : 0;
  const std::vector<int32_t> Now = Buffer.CPULines();
  if (Stop > 0 && Now != std::vector<int32_t>{Stop}) Buffer.SetCPULine(Stop);
  if (Stop <= 0 && !Now.empty()) Buffer.ClearCPULine();
}

std::vector<std::string> LineMarkRecords(TEditBuffer& Buffer) {
  std::vector<int32_t> Lines = Buffer.BreakMarks();
  for (int32_t L : Buffer.CPULines()) Lines.push_back(L);
  if (Buffer.ErrorLine() > 0) Lines.push_back(Buffer.ErrorLine());
  std::sort(Lines.begin(), Lines.end());
  Lines.erase(std::unique(Lines.begin(), Lines.end()), Lines.end());
  // The kernel's flags, which the gutter draws, not the lists that put them there.
  std::vector<std::string> Records;
  for (int32_t L : Lines) {
    if (L < 1 || L > Buffer.LineCount()) continue;
    const uint32_t Flags = GetLineFlags(Buffer.EkView(), L);
    std::string R = std::to_string(L);
    if (Flags & lfBreakpoint) R += " breakpoint";
    if (Flags & lfExecutionPoint) R += " execution-point";
    if (Flags & lfErrorLine) R += " error";
    if (R.size() > std::to_string(L).size()) Records.push_back(std::move(R));
  }
  return Records;
}

}  // namespace nxs
