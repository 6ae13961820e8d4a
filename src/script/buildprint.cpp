#include "script/buildprint.h"

#include <cstdio>

#include "build/hostobject.h"
#include "build/messages/msglines.h"
#include "build/progress.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::script {

namespace {

const char* GccKind(TMsgKind Kind) {
  switch (Kind) {
    case msgWarn: return "warning";
    case msgError: return "error";
    case msgFatal: return "fatal error";
    default: return "note";
  }
}

constexpr std::string_view NoteWord = "note: ";

int Depth(const TLine& Line) {
  int D = 0;
  for (const TLine* P = Line.Parent(); P; P = P->Parent()) ++D;
  return D;
}

}  // namespace

TBuildPrinter::TBuildPrinter(bool GccStyle, bool Progress, TPrintFn Out)
    : FGroup(LineBufferList().AddList("Build")),
      FOut(Out ? std::move(Out) : StdoutPrinter()),
      FGcc(GccStyle),
      FProgress(Progress) {
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
  PrintHeld();
  ClearProgress();
  std::fflush(stdout);
}

namespace {

// A compiler's note: the tool's own word before its text ("note: ", fpc's "Note: ").
bool IsNote(const TCompilerMsgLine& C) { return C.Kind() == msgInfo && StartsText(NoteWord, C.Text()); }

}  // namespace

std::string TBuildPrinter::LineText(const TLine& Line, bool GccStyle) {
  const auto* C = dynamic_cast<const TCompilerMsgLine*>(&Line);
  if (GccStyle && C && C->Kind() == msgInfo && !IsNote(*C))
    return C->Text();  // a diagnostic's context as the tool printed it, place included
  if (GccStyle && C && !C->GetFileName().empty() && C->Line() > 0) {
    std::string_view Text = C->Text();
    if (IsNote(*C)) Text.remove_prefix(NoteWord.size());  // the form gives the word once
    return Format("%s:%d:%d: %s: %s", C->GetFileName(), C->Line(), C->Column() > 0 ? C->Column() : 1,
                  GccKind(C->Kind()), std::string(Text));
  }
  return std::string(static_cast<size_t>(GccStyle ? 0 : 2 * Depth(Line)), ' ') + Line.GetLineText();
}

void TBuildPrinter::Print(const std::string& Text) {
  ClearProgress();
  FOut(Text + "\n");
}

void TBuildPrinter::PrintHeld() {
  if (!FHeld) return;
  FHeld = nullptr;
  Print(FHeldText);
}

void TBuildPrinter::Added(TEvMessageLine& Args) {
  const TLine* Line = Args.Line;
  if (!Line) return;
  if (!FGcc) {
    Print(LineText(*Line, false));
    return;
  }
  // Command lines are no diagnostics: the form that tools read leaves them out.
  if (dynamic_cast<const TCommandLineLine*>(Line)) return;
  // The view nests a diagnostic's context ("In function 'int main()'", "In file included
  // from") under it; the form prints it before the diagnostic, as the compiler did. So a
  // diagnostic waits until the lines that are not its context come.
  const auto* C = dynamic_cast<const TCompilerMsgLine*>(Line);
  if (FHeld && Line->Parent() == FHeld && C && C->Kind() == msgInfo && !IsNote(*C)) {
    Print(LineText(*Line, true));
    return;
  }
  PrintHeld();
  if (C && !Line->Parent() && C->Kind() != msgInfo) {
    FHeld = Line;
    FHeldText = LineText(*Line, true);
    return;
  }
  Print(LineText(*Line, true));
}

}  // namespace nxs::script
