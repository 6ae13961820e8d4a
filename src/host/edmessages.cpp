// nxs ed: ReadThrough FILE, Message KIND FILE LINE COL TEXT, Messages and GotoMessage N.
#include "host/edmessages.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <vector>

#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
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
