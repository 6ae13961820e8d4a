// The session's compiler commands: ReadThrough FILE, Message KIND FILE LINE COL TEXT, Messages, GotoMessage N and
// Build [make|build|clean].
#include "script/edmessages.h"

#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "build/messages/msgrecord.h"
#include "build/orchestration.h"
#include "build/projectbuilder.h"
#include "script/buildprint.h"
#include "projectfiles/startup.h"
#include "modules/sourcemodule.h"
#include "projects/project.h"
#include "editor/buffers/editview.h"
#include "script/edmodules.h"
#include "script/resstrings.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/text.h"

namespace nxs::script {

namespace {

// Builds the project that holds the current file, with the editor's text of every open file,
// and prints the "Build" group's lines.
void BuildCurrent(TEdModules& Modules, const std::string& ModeWord) {
  TCompileMode Mode = cmMake;
  if (!ModeWord.empty() && !CompileModeFromWord(ModeWord, Mode))
    throw Exception(Format(res::SEdUnknownBuildMode, ModeWord));
  const std::string File = Modules.Current().GetFileName();
  StartProjectFiles();
  InitProjects();
  TCustomCodeIProject* Project = ProjectOfFile(File);
  if (!Project) throw Exception(Format(res::SEdNoProjectHolds, File));
  InitProjectBuilders();
  TBuildPrinter Printer(false, false, [&](std::string_view Text) { Modules.Print(Text); });
  const TCompileResult Result =
      BuildProject(Project, TBuildControl::Create(Mode, true, true, false, false, false, false));
  Printer.Finish();
  DoneProjectBuilders();
  (void)Result;  // the lines say how it went
}

}  // namespace

bool RunMessageCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest) {
  const std::string Arg = Trim(Rest);
  if (Word == "ReadThrough") {
    std::string Text;
    if (!CReadWholeFile(ExpandFileName(Arg), Text))
      throw Exception(Format(res::SCannotReadFile, ExpandFileName(Arg), res::SEdNoSuchFileOrDirectory));
    Modules.Print(Text);
  } else if (Word == "Message") {
    LineBufferList().AddList("Build")->Add(ParseMessageRecord(Rest));
  } else if (Word == "Messages") {
    Modules.Print(MessageViewText());
  } else if (Word == "Build") {
    BuildCurrent(Modules, Arg);
  } else if (Word == "GotoMessage") {
    const int32_t N = IntArgument<int32_t>(Arg, "N", 0);
    TLine* Line = MessageAt(N);
    if (!Line) throw Exception(Format(res::SEdNoMessage, N));
    if (!Line->CanGotoSource()) throw Exception(Format(res::SEdMessageWithoutFile, N));
    Line->GotoSource();
    Modules.Run("Switch", Line->GetFileName());
    const TEkView& V = *Modules.View();
    Modules.Print(Format("%d %d\n", static_cast<int>(V.Cursor.LineNum), static_cast<int>(V.Cursor.Col)));
  } else {
    return false;
  }
  return true;
}

}  // namespace nxs::script
