#include "script/edfolding.h"

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/elisions.h"
#include "editor/language/folding.h"
#include "script/edmodules.h"
#include "script/resstrings.h"
#include "modules/sourcemodule.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/text.h"

namespace nxs::script {

namespace {

// The folding as a session sets it up: the folding parser on the process's parse thread,
// with the region services that start-up and the packages registered.
std::unique_ptr<TElisionParserEditorHooks> StartFolding() {
  return std::make_unique<TElisionParserEditorHooks>(ParseThread());
}

[[noreturn]] void NoParserFor(const std::string& FileName) {
  throw Exception(Format(res::SEdNoRegionParser, FileName));
}

int32_t LineArg(TEdModules& Modules, const std::string& Arg) {
  if (Arg.empty()) return Modules.View()->Cursor.LineNum;
  return IntArgument<int32_t>(Arg, "LINE", 1);
}

// Parses the current file on the parse thread and applies the result, as a window would
// once the typing paused.
void ParseCurrent(TEdModules& Modules) {
  PEkView View = Modules.View();
  const std::string File = Modules.Current().GetFileName();
  auto Hooks = StartFolding();
  auto Module = Hooks->EditorOpened(View, File);
  if (!Module) NoParserFor(File);
  TParseThread& Thread = ParseThread();
  // This parse is wanted now, not after the quiet period; the period is the editor's again
  // afterwards, or each keystroke that followed would start a parse of the whole text.
  const int Delay = Thread.Delay();
  Thread.SetDelay(0);
  bool Done = false;
  try {
    Done = Thread.WaitForParse(true, 30000);
  } catch (...) {
    Thread.SetDelay(Delay);
    throw;
  }
  Thread.SetDelay(Delay);
  Hooks->EditorClosed(Module.get());
  MainThreadQueue().ProcessPending();
  if (!Done) throw Exception(res::SEdParseTimedOut);
  for (const TParseError& E : Module->Errors()) Modules.Print(Format("%s:%d:%d: error: %s\n", File, E.Line, E.Col, E.Text));
}

}  // namespace

bool RunFoldingCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest) {
  const std::string Arg = Trim(Rest);
  if (Word == "Fold" || Word == "Unfold") {
    const int32_t Line = LineArg(Modules, Arg);
    if (!ElideLine(Modules.View(), Line, Word == "Fold"))
      throw Exception(Format(res::SEdNoFoldableBlock, static_cast<int>(Line)));
  } else if (Word == "UnfoldAll") {
    UnElideAll(Modules.View());
  } else if (Word == "FoldType") {
    const uint16_t Type = RegionTypeOfKind(Arg);
    if (Type == 0) throw Exception(Format(res::SEdUnknownRegionKind, Arg));
    ElideByType(Modules.View(), Type);
  } else if (Word == "Folds") {
    Modules.Print(PrintElisions(Modules.View()) + "\n");
  } else if (Word == "Parse") {
    ParseCurrent(Modules);
  } else {
    return false;
  }
  return true;
}

}  // namespace nxs::script
