#include "lsp/lspdiagnostics.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>

#include "build/engine/engine.h"
#include "editor/buffers/charwidth.h"
#include "build/engine/tasks.h"
#include "editor/buffers/editbuffer.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/utf8.h"

namespace nxs::lsp {

namespace {

bool IsPascalFile(const std::string& File) {
  static constexpr std::string_view Extensions[] = {".pas", ".pp", ".inc", ".vpr", ".lpr"};
  const std::string Ext = ExtractFileExt(File);
  return std::find(std::begin(Extensions), std::end(Extensions), Ext) != std::end(Extensions);
}

bool IsCppFile(const std::string& File) {
  static constexpr std::string_view Extensions[] = {".cpp", ".cc", ".cxx", ".c++", ".h", ".hpp", ".hh", ".hxx"};
  const std::string Ext = ExtractFileExt(File);
  return std::find(std::begin(Extensions), std::end(Extensions), Ext) != std::end(Extensions);
}

TBuildDiagnostic DiagnosticOf(const engine::TBuildEvent& E, std::string File) {
  TBuildDiagnostic D;
  D.File = std::move(File);
  D.Line = E.Line;
  D.Column = E.Column;
  D.Severity = E.Kind == engine::ekError ? 1 : E.Kind == engine::ekWarning ? 2 : 3;
  D.Text = E.Text;
  return D;
}

}  // namespace

size_t ColumnByte(const TBuildDiagnostic& D, std::string_view Line) {
  if (D.Column <= 1) return 0;
  const bool Bytes = IsPascalFile(D.File);
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

std::vector<TBuildDiagnostic> BuildDiagnostics(const std::string& Project, const std::string& Mode,
                                               const std::function<void(const std::string&)>& OnLine, bool* Succeeded,
                                               const std::string& Unsaved, const std::atomic<bool>* Cancel) {
  const std::string Dir = ExtractFileDir(Project);
  engine::TToolOutputParser Parser(engine::TToolOutputParser::tsGcc, "nxs", Dir);
  std::vector<engine::TBuildEvent> Events;
  engine::TProcessOptions Options;
  // The child is this very program: the kernel names it so in every process.
  Options.Argv = {"/proc/self/exe", "build", Project, "--mode", Mode, "--messages", "gcc"};
  if (!Unsaved.empty()) Options.Argv.insert(Options.Argv.end(), {"--background", "--unsaved", Unsaved});
  Options.WorkingDirectory = Dir;
  Options.Cancel = Cancel;
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
    Out.push_back(DiagnosticOf(E, File));
  }
  return Out;
}

std::string WriteUnsavedTexts(const std::string& Dir, const std::vector<TUnsavedText>& Texts) {
  std::string List;
  for (size_t I = 0; I < Texts.size(); ++I) {
    const std::string Copy = Dir + "/" + std::to_string(I) + ExtractFileExt(Texts[I].FileName);
    FileSystem().WriteFile(Copy, Texts[I].Text);
    List += Texts[I].FileName + '\0' + Copy + '\0';
  }
  const std::string ListFile = Dir + "/unsaved.list";
  FileSystem().WriteFile(ListFile, List);
  return ListFile;
}

namespace {

std::string MakeScratchDir() {
  std::error_code Ec;
  std::string Dir = (std::filesystem::temp_directory_path(Ec) / "nxs-check-XXXXXX").string();
  if (!mkdtemp(Dir.data())) return {};
  return Dir;
}

// A scratch folder that goes with everything in it.
struct TScratch {
  std::string Dir;
  ~TScratch() {
    std::error_code Ec;
    if (!Dir.empty()) std::filesystem::remove_all(Dir, Ec);
  }
};

}  // namespace

std::vector<TBuildDiagnostic> CheckProject(const std::string& Project, const std::vector<TUnsavedText>& Texts,
                                           const std::atomic<bool>* Cancel) {
  const TScratch Scratch{MakeScratchDir()};
  if (Scratch.Dir.empty()) return {};
  return BuildDiagnostics(Project, "check", {}, nullptr, WriteUnsavedTexts(Scratch.Dir, Texts), Cancel);
}

TUnsavedBuffers::TUnsavedBuffers(const std::string& ListFile) {
  const std::string List = FileSystem().ReadFile(ListFile);
  for (size_t At = 0; At < List.size();) {
    const size_t NameEnd = List.find('\0', At);
    if (NameEnd == std::string::npos) break;
    const size_t CopyEnd = List.find('\0', NameEnd + 1);
    if (CopyEnd == std::string::npos) break;
    const std::string Name = ExpandFileName(List.substr(At, NameEnd - At));
    const std::string Text = FileSystem().ReadFile(List.substr(NameEnd + 1, CopyEnd - NameEnd - 1));
    At = CopyEnd + 1;
    if (TEditBuffer::FindBuffer(Name)) continue;
    std::shared_ptr<TEditBuffer> Buffer = TEditBuffer::Create(Name, false);
    Buffer->ReadFromStreamUTF8(Text);
    Buffer->SetModified(true);
    FBuffers.push_back(std::move(Buffer));
  }
}

TUnsavedBuffers::~TUnsavedBuffers() {
  for (const auto& B : FBuffers) B->Close();
}

std::vector<TBuildDiagnostic> CheckFileText(const std::string& FileName, const std::string& Text,
                                            const std::atomic<bool>* Cancel) {
  const bool Pascal = IsPascalFile(FileName);
  if (!Pascal && !IsCppFile(FileName)) return {};
  const TScratch Scratch{MakeScratchDir()};
  if (Scratch.Dir.empty()) return {};
  const std::string& Dir = Scratch.Dir;
  const std::string Copy = Dir + "/" + ExtractFileName(FileName);
  try {
    FileSystem().WriteFile(Copy, Text);
  } catch (const std::exception&) {
    return {};
  }
  const std::string Home = ExtractFileDir(FileName);
  engine::TProcessOptions Options;
  if (Pascal)
    Options.Argv = {"fpc", "-vewbiq", "-s", "-FU" + Dir, "-FE" + Dir, "-Fu" + Home, "-Fi" + Home, Copy};
  else
    Options.Argv = {"g++", "-fsyntax-only", "-x", "c++", "-I" + Home, Copy};
  Options.WorkingDirectory = Home;
  Options.Cancel = Cancel;
  engine::TToolOutputParser Parser(Pascal ? engine::TToolOutputParser::tsFpc : engine::TToolOutputParser::tsGcc,
                                   "nxs", Home);
  std::vector<engine::TBuildEvent> Events;
  Options.OnLine = [&](const std::string& Line) { Parser.Parse(Line, Events); };
  engine::RunProcess(Options);
  Parser.Flush(Events);
  std::vector<TBuildDiagnostic> Out;
  for (const engine::TBuildEvent& E : Events)
    if (E.Line > 0 && ExpandFileName(E.File, Home) == Copy) Out.push_back(DiagnosticOf(E, FileName));
  return Out;
}

}  // namespace nxs::lsp
