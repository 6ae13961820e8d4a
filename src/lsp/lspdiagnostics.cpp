#include "lsp/lspdiagnostics.h"

#include <algorithm>

#include "build/engine/engine.h"
#include "editor/buffers/charwidth.h"
#include "build/engine/tasks.h"
#include "lsp/lspworkspace.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/utf8.h"

namespace nxs::lsp {

size_t ColumnByte(const TBuildDiagnostic& D, std::string_view Line) {
  if (D.Column <= 1) return 0;
  static constexpr std::string_view PascalExtensions[] = {".pas", ".pp", ".inc", ".vpr", ".lpr"};
  const std::string Ext = ExtractFileExt(D.File);
  const bool Bytes = std::find(std::begin(PascalExtensions), std::end(PascalExtensions), Ext) != std::end(PascalExtensions);
  size_t At = 0;
  int Column = 1;
  while (At < Line.size() && Column < D.Column) {
    const int Length = Utf8CharLength(Line, At, TUtf8Policy::Framing);
    if (Bytes) {
      Column += Length;
    } else if (Line[At] == '\t') {
      Column += 8 - (Column - 1) % 8;
    } else {
      uint32_t Ch = 0;
      bool Valid = false;
      DecodeUtf8(Line.substr(At), Ch, Valid, TUtf8Policy::Framing);
      Column += Valid ? GetUCS4CharWidth(Ch) : 1;
    }
    At += static_cast<size_t>(Length);
  }
  return At;
}

std::string ProjectOfFile(const std::string& File, const std::string& Root) {
  std::string Dir = ExtractFileDir(File);
  for (;;) {
    for (const std::string& Project : FindProjectFiles(Dir, 0)) {
      const std::vector<std::string> Files = ProjectSourceFiles(Project);
      if (std::find(Files.begin(), Files.end(), File) != Files.end()) return Project;
    }
    if (Dir == Root || Dir.empty() || Dir == "/") return {};
    Dir = ExtractFileDir(Dir);
  }
}

std::vector<TBuildDiagnostic> BuildDiagnostics(const std::string& Project, const std::string& Mode,
                                               const std::function<void(const std::string&)>& OnLine, bool* Succeeded) {
  const std::string Dir = ExtractFileDir(Project);
  engine::TToolOutputParser Parser(engine::TToolOutputParser::tsGcc, "nxs", Dir);
  std::vector<engine::TBuildEvent> Events;
  engine::TProcessOptions Options;
  // The child is this very program: the kernel names it so in every process.
  Options.Argv = {"/proc/self/exe", "build", Project, "--mode", Mode, "--messages", "gcc"};
  Options.WorkingDirectory = Dir;
  Options.OnLine = [&](const std::string& Line) {
    if (OnLine) OnLine(Line);
    Parser.Parse(Line, Events);
  };
  const int Status = engine::RunProcess(Options);
  if (Succeeded) *Succeeded = Status == 0;
  Parser.Flush(Events);
  std::vector<TBuildDiagnostic> Out;
  for (const engine::TBuildEvent& E : Events) {
    if (E.File.empty() || E.Line <= 0) continue;
    // The build's own targets files report the failure once more; they are none of the
    // client's sources.
    const std::string File = ExpandFileName(E.File, Dir);
    if (ExtractFileExt(File) == ".Targets" || ExtractFileExt(File) == ".targets") continue;
    TBuildDiagnostic D;
    D.File = File;
    D.Line = E.Line;
    D.Column = E.Column;
    D.Severity = E.Kind == engine::ekError ? 1 : E.Kind == engine::ekWarning ? 2 : 3;
    D.Text = E.Text;
    Out.push_back(std::move(D));
  }
  return Out;
}

}  // namespace nxs::lsp
