#include "host/buildprint.h"

#include <cstdio>

#include "build/messages/msglines.h"
#include "build/progress.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs::host {

namespace {

const char* GccKind(TMsgKind Kind) {
  switch (Kind) {
    case msgWarn: return "warning";
    case msgError: return "error";
    case msgFatal: return "fatal error";
    default: return "note";
  }
}

int Depth(const TLine& Line) {
  int D = 0;
  for (const TLine* P = Line.Parent(); P; P = P->Parent()) ++D;
  return D;
}

}  // namespace

TBuildPrinter::TBuildPrinter(bool GccStyle, bool Progress)
    : FGroup(LineBufferList().AddList("Build")), FGcc(GccStyle), FProgress(Progress) {
  FGroup->EvLineAdded().Add(this, &TBuildPrinter::Added);
  FGroup->EvChildAdded().Add(this, &TBuildPrinter::Added);
  if (!FProgress) return;
  ProgressMonitor().SetOnUpdate([this](TProgressMonitor& M, bool&) {
    std::string Where = M.Project();
    if (!M.FileName().empty()) Where += (Where.empty() ? "" : " ") + ExtractFileName(M.FileName());
    if (Where.empty()) Where = M.Title();
    std::printf("\r\x1b[K%s  hints %d  warnings %d  errors %d", Where.c_str(), M.GetErrorCount(msgHint),
                M.GetErrorCount(msgWarn), M.GetErrorCounts({msgError, msgFatal}));
    std::fflush(stdout);
    FProgressShown = true;
  });
}

TBuildPrinter::~TBuildPrinter() {
  if (FProgress) ProgressMonitor().SetOnUpdate(nullptr);
  FGroup->EvLineAdded().Remove(this, &TBuildPrinter::Added);
  FGroup->EvChildAdded().Remove(this, &TBuildPrinter::Added);
}

void TBuildPrinter::ClearProgress() {
  if (!FProgressShown) return;
  std::printf("\r\x1b[K");
  FProgressShown = false;
}

void TBuildPrinter::Finish() {
  ClearProgress();
  std::fflush(stdout);
}

std::string TBuildPrinter::LineText(const TLine& Line, bool GccStyle) {
  const auto* C = dynamic_cast<const TCompilerMsgLine*>(&Line);
  if (GccStyle && C && !C->GetFileName().empty() && C->Line() > 0)
    return Format("%s:%d:%d: %s: %s", C->GetFileName(), C->Line(), C->Column() > 0 ? C->Column() : 1,
                  GccKind(C->Kind()), C->Text());
  return std::string(static_cast<size_t>(GccStyle ? 0 : 2 * Depth(Line)), ' ') + Line.GetLineText();
}

void TBuildPrinter::Added(TEvMessageLine& Args) {
  if (!Args.Line) return;
  ClearProgress();
  std::printf("%s\n", LineText(*Args.Line, FGcc).c_str());
  std::fflush(stdout);
}

}  // namespace nxs::host
