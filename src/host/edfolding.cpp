#include "host/edfolding.h"

#include <cstdio>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/elisions.h"
#include "editor/language/folding.h"
#include "host/cmdline.h"
#include "host/edmodules.h"
#include "host/resstrings.h"
#include "modules/sourcemodule.h"
#include "build/messages/filesvc.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

// The folding as a session sets it up: the folding parser on the process's parse thread,
// with the region services that start-up and the packages registered.
std::unique_ptr<TElisionParserEditorHooks> StartFolding() {
  return std::make_unique<TElisionParserEditorHooks>(ParseThread());
}

[[noreturn]] void NoParserFor(const std::string& FileName) {
  throw Exception(Format(res::SEdNoRegionParser, FileName));
}

int RunOutline(const TCommandLine& Cmd) {
  const std::string File = ExpandFileName(Cmd[0]);
  std::string Text;
  if (!CReadWholeFile(File, Text)) throw Exception(Format(res::SEdCannotReadFile, File));
  auto Services = RegionServicesRegistry().ServicesForFile(File);
  if (!Services) NoParserFor(File);
  TRegionResult R = Services->RegionParser()->Parse(Text, {});
  for (const TRegion& G : R.Regions)
    std::printf("%s%d %d %s %s\n", std::string(2 * static_cast<size_t>(G.Level), ' ').c_str(), G.StartLine,
                G.EndLine, G.Kind.c_str(), G.Description.c_str());
  for (const TParseError& E : R.Errors) std::printf("%s:%d:%d: error: %s\n", Cmd[0].c_str(), E.Line, E.Col, E.Text.c_str());
  return 0;
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
  Thread.SetDelay(0);
  const bool Done = Thread.WaitForParse(true, 30000);
  Hooks->EditorClosed(Module.get());
  MainThreadQueue().ProcessPending();
  if (!Done) throw Exception(res::SEdParseTimedOut);
  for (const TParseError& E : Module->Errors()) std::printf("%s:%d:%d: error: %s\n", File.c_str(), E.Line, E.Col, E.Text.c_str());
}

}  // namespace

TCommand OutlineCommand() {
  return Leaf("outline", "the foldable regions and the errors a parser finds in a source file", "nxs outline FILE",
              "Prints one region per line, indented two blanks per nesting level:\n"
              "  START-LINE END-LINE KIND DESCRIPTION\n"
              "then the error locations as FILE:LINE:COL: error: TEXT.\n",
              {}, 1, 1, RunOutline);
}

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
    std::printf("%s\n", PrintElisions(Modules.View()).c_str());
  } else if (Word == "Parse") {
    ParseCurrent(Modules);
  } else {
    return false;
  }
  return true;
}

}  // namespace nxs::host
