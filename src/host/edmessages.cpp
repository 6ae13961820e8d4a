// nxs ed: ReadThrough FILE, Message KIND FILE LINE COL TEXT, Messages, GotoMessage N and
// Build [make|build|clean].
#include "host/edmessages.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <vector>

#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "build/orchestration.h"
#include "build/projectbuilder.h"
#include "host/buildprint.h"
#include "projectfiles/startup.h"
#include "modules/sourcemodule.h"
#include "projects/project.h"
#include "editor/editview.h"
#include "host/edmodules.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

int32_t PositiveNumber(const std::string& Text, const char* What) {
  const std::optional<int64_t> N = TryStrToInt(Text);
  if (!N || *N < 0 || *N > INT32_MAX) throw Exception(Format("%s must be a number: '%s'", What, Text));
  return static_cast<int32_t>(*N);
}

// KIND FILE LINE COL, then the text to the end of the line.
void AddMessage(const std::string& Rest) {
  std::vector<std::string> P;
  size_t At = 0;
  for (int I = 0; I < 4; ++I) {
    while (At < Rest.size() && Rest[At] == ' ') ++At;
    const size_t End = Rest.find(' ', At);
    if (At >= Rest.size()) throw Exception("expected Message KIND FILE LINE COL TEXT");
    P.push_back(Rest.substr(At, End == std::string::npos ? std::string::npos : End - At));
    At = End == std::string::npos ? Rest.size() : End + 1;
  }
  TMsgKind Kind;
  if (!MsgKindFromWord(P[0], Kind)) throw Exception(Format("unknown message kind '%s' (hint, warning, error, fatal or info)", P[0]));
  const std::string Text = At < Rest.size() ? Rest.substr(At) : std::string();
  LineBufferList().AddList("Build")->Add(std::make_unique<TCompilerMsgLine>(
      Kind, "", ExpandFileName(P[1]), PositiveNumber(P[2], "LINE"), PositiveNumber(P[3], "COL"), Text));
}

// Builds the project that holds the current file, with the editor's text of every open file,
// and prints the "Build" group's lines.
void BuildCurrent(TEdModules& Modules, const std::string& ModeWord) {
  TCompileMode Mode = cmMake;
  if (!ModeWord.empty() && !CompileModeFromWord(ModeWord, Mode))
    throw Exception(Format("unknown build mode '%s' (make, build or clean)", ModeWord));
  const std::string File = Modules.Current().GetFileName();
  StartProjectFiles();
  InitProjects();
  TCustomCodeIProject* Project = ProjectOfFile(File);
  if (!Project) throw Exception(Format("no project holds %s", File));
  InitProjectBuilders();
  TBuildPrinter Printer(false, false);
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
      throw Exception(Format(res::SCannotReadFile, ExpandFileName(Arg), "No such file or directory"));
    std::fwrite(Text.data(), 1, Text.size(), stdout);
  } else if (Word == "Message") {
    AddMessage(Rest);
  } else if (Word == "Messages") {
    const std::string Text = MessageViewText();
    std::fwrite(Text.data(), 1, Text.size(), stdout);
  } else if (Word == "Build") {
    BuildCurrent(Modules, Arg);
  } else if (Word == "GotoMessage") {
    const int32_t N = PositiveNumber(Arg, "N");
    TLine* Line = MessageAt(N);
    if (!Line) throw Exception(Format("there is no message %d", N));
    if (!Line->CanGotoSource()) throw Exception(Format("message %d points at no file", N));
    Line->GotoSource();
    Modules.Run("Switch", Line->GetFileName());
    const TEkView& V = *Modules.View();
    std::printf("%d %d\n", static_cast<int>(V.Cursor.LineNum), static_cast<int>(V.Cursor.Col));
  } else {
    return false;
  }
  return true;
}

}  // namespace nxs::host
