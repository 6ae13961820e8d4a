#include "script/edsyncedit.h"

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/resstrings.h"
#include "editor/language/syncedit.h"
#include "script/edmodules.h"
#include "script/resstrings.h"
#include "modules/sourcemodule.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::script {

namespace {

// One line a point: its text, the number of its occurrences and where each starts
// (LINE:COLUMN, the column a character count from 1), the active point marked with "*". A
// text that is empty or holds blanks, line breaks or other control characters is printed in
// double quotes with C escapes, so that the line still splits into its fields.
void PrintPoints(const TEdModules& Modules) {
  TSyncEditController* C = SyncEditManager().Current();
  if (!C) {
    Modules.Print("none\n");
    return;
  }
  const TSyncEditPoints& Ps = *C->Points();
  for (int P = 0; P < Ps.Count(); ++P) {
    const TSyncEditPoint& Point = Ps.Points[static_cast<size_t>(P)];
    const bool Plain = !Point.Text.empty() && Point.Text.find(' ') == std::string::npos;
    std::string Line = (P == C->ActivePoint() ? "* " : "  ") + (Plain ? OneLine(Point.Text) : CQuoted(Point.Text)) + " " +
                       std::to_string(Point.Occurrences.size());
    for (const TSyncEditOccurrence& O : Point.Occurrences)
      Line += " " + std::to_string(O.Start.LineNum) + ":" + std::to_string(O.Start.Index + 1);
    Modules.Print(Line + "\n");
  }
}

void CheckEditable(TEdModules& Modules) {
  TEditBuffer& B = Modules.Buffer();
  if (B.GetReadOnly()) throw Exception(Format(res::SEditBufferReadOnly, B.FileName()));
}

TSyncEditController& Active(const std::string& Word) {
  TSyncEditController* C = SyncEditManager().Current();
  if (!C) throw Exception(Format(res::SEdNotInSyncEdit, Word));
  return *C;
}

}  // namespace

bool RunSyncEditCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest,
                        const std::function<std::string(std::string_view)>& Unescape) {
  auto NoArgument = [&] {
    if (!Trim(Rest).empty()) throw Exception(Format(res::SEdTakesNoArgument, Word));
  };
  if (Word == "SyncEdit") {
    NoArgument();
    CheckEditable(Modules);
    TEditView& View = Modules.Current().ShowEditor();
    if (!BlockIsMarked(View.EkView())) throw Exception(res::SEdSyncEditNoBlock);
    if (!SyncEditManager().SyncEditBlock(View))
      throw Exception(res::SEdSyncEditNoIdentifier);
    PrintPoints(Modules);
  } else if (Word == "Template") {
    if (Rest.empty()) throw Exception(res::SEdExpectedTemplate);
    CheckEditable(Modules);
    if (!InsertTemplate(Modules.Current().ShowEditor(), Unescape(Rest)))
      throw Exception(res::SEdTemplateFailed);
    PrintPoints(Modules);
  } else if (Word == "NextPoint" || Word == "PrevPoint") {
    NoArgument();
    TSyncEditController& C = Active(Word);
    Word == "NextPoint" ? C.NextPoint() : C.PrevPoint();
  } else if (Word == "CancelSyncEdit") {
    NoArgument();
    SyncEditManager().CancelSyncEdit();
  } else if (Word == "Points") {
    NoArgument();
    PrintPoints(Modules);
  } else {
    return false;
  }
  return true;
}

}  // namespace nxs::script
