// The Pascal compile task: fpc once per program or library (it finds and compiles the units
// itself), switches from the project's options, its messages read into events.
#include <filesystem>
#include <map>
#include <set>

#include "build/compilers/compilers.h"
#include "build/compilers/compiletask.h"
#include "build/compilers/resstrings.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::compilers {

namespace fs = std::filesystem;
using namespace engine;

namespace {

using TSnapshot = std::map<std::string, fs::file_time_type>;

// The regular files of a directory with their times: what fpc wrote is what changed.
void Snapshot(const std::string& Dir, TSnapshot& Files) {
  std::error_code Ec;
  for (const auto& E : fs::directory_iterator(Dir, Ec))
    if (E.is_regular_file(Ec)) Files[E.path().string()] = E.last_write_time(Ec);
}

std::vector<std::string> ReadManifest(const std::string& Name) {
  std::vector<std::string> L;
  std::string Text;
  try {
    Text = ReadWholeFile(Name);
  } catch (const Exception&) {
    return L;
  }
  size_t Start = 0;
  for (size_t Nl; (Nl = Text.find('\n', Start)) != std::string::npos; Start = Nl + 1)
    if (Nl > Start) L.push_back(Text.substr(Start, Nl - Start));
  return L;
}

// The main source: the Sources item marked MainSource, else the first, else $(MainSource).
std::string MainSourceOf(const TTaskContext& Context, const TProjectOptions& Opt) {
  if (Context.HasParameter("Sources")) {
    const auto& Items = Context.Parameter("Sources").Items;
    for (const auto& I : Items)
      if (!I.GetMetadata("MainSource").empty()) return Opt.Absolute(I.ItemSpec);
    if (!Items.empty()) return Opt.Absolute(Items.front().ItemSpec);
  }
  std::string M = Opt.Get("MainSource");
  return M.empty() ? std::string() : Opt.Absolute(M);
}

bool DeleteListed(TTaskContext& Context, const std::vector<std::string>& Files) {
  std::error_code Ec;
  for (const auto& F : Files)
    if (fs::is_regular_file(fs::symlink_status(F, Ec)) && fs::remove(F, Ec))
      Context.LogMessage(Format(res::SCleaned, F), imLow);
  return true;
}

// Whether Output is newer than every file a compile could read: the sources named, the files
// of the unit and include directories (compiled units of libraries among them) and the project
// file. (The caller checks that the switches are those of the compile that made it.)
bool UpToDate(const std::string& Output, const std::string& Manifest, const std::vector<std::string>& Files,
              const std::vector<std::string>& UnitPath, const std::vector<std::string>& IncludePath,
              const std::string& ProjectFile) {
  std::error_code Ec;
  const auto Made = fs::last_write_time(Output, Ec);
  if (Ec || !fs::is_regular_file(Manifest, Ec)) return false;
  auto Older = [&](const fs::path& F) {
    const auto T = fs::last_write_time(F, Ec);
    return !Ec && T < Made;
  };
  for (const auto& F : Files)
    if (!Older(F)) return false;
  if (!ProjectFile.empty() && !Older(ProjectFile)) return false;
  for (const auto* Dirs : {&UnitPath, &IncludePath})
    for (const auto& D : *Dirs)
      for (const auto& E : fs::directory_iterator(D, Ec))
        if (E.is_regular_file(Ec) && E.path() != fs::path(Output) && !Older(E.path())) return false;
  return true;
}

}  // namespace

bool RunPascalCompiler(TTaskContext& Context) {
  TProjectOptions Opt(Context);
  // One file alone (a unit compiled by itself) when the build names one.
  const std::string Single = FileToCompile(Opt);
  const std::string Main = Single.empty() ? MainSourceOf(Context, Opt) : Single;
  const std::string OutDir = Opt.OutputDir(), UnitDir = Opt.IntermediateDir();
  const std::string Output = Opt.OutputFile();
  const std::string Manifest = UnitDir + "/" + Opt.OutputName() + ".outputs";
  ITaskHostObject* Host = Context.HostObject();

  if (Context.BoolParameter("Clean", false)) {
    if (Host) Host->UpdateProgress(progCleaning, Context.Project().FullPath(), 0, 0);
    std::vector<std::string> Files = ReadManifest(Manifest);
    Files.push_back(Output);
    Files.push_back(Manifest);
    Files.push_back(UnitDir + "/" + Opt.OutputName() + ".switches");
    DeleteListed(Context, Files);
    RemoveStaleOverlays(Context, UnitDir);
    std::error_code Ec;
    if (UnitDir != Opt.ProjectDir()) fs::remove(UnitDir, Ec);  // only when empty
    return true;
  }
  if (Main.empty()) {
    ReportError(Context, res::SNoMainSource);
    return false;
  }

  std::error_code Ec;
  // Code insight asks for the switches alone: nothing is made on disk for it.
  const bool Kibitz = Context.BoolParameter("Kibitz", false);
  if (!Kibitz) {
    fs::create_directories(UnitDir, Ec);
    fs::create_directories(OutDir, Ec);
  }
  // The editor's text: the main source, the project's units, and the units and include
  // files of the project directory.
  std::vector<std::string> Files{Main};
  std::set<std::string> UnitDirs;
  if (Context.HasParameter("Units"))
    for (const auto& I : Context.Parameter("Units").Items) {
      Files.push_back(Opt.Absolute(I.ItemSpec));
      UnitDirs.insert(ExtractFileDir(Files.back()));
    }
  if (!Kibitz)
    for (auto& F : FilesBelow(Opt.ProjectDir(), {".pas", ".pp", ".inc"})) Files.push_back(std::move(F));
  TEditorOverlay Overlay(Kibitz ? nullptr : Host, Opt.ProjectDir(), UnitDir + "/unsaved-XXXXXX");
  Overlay.Collect(Files);
  // Units compiled from unsaved text go apart, so that the next compile from the disk does
  // not take them for up to date.
  const std::string CompiledUnits = Overlay.Active() ? Overlay.Dir() + "/.units" : UnitDir;
  if (!Kibitz) fs::create_directories(CompiledUnits, Ec);

  std::string Verbose = "-ve";
  if (Opt.Bool("Pascal_ShowWarnings", true)) Verbose += 'w';
  if (Opt.Bool("Pascal_ShowNotes", false)) Verbose += 'n';
  if (Opt.Bool("Pascal_ShowHints", false)) Verbose += 'h';
  Verbose += "biq";  // b: messages name files with their full path
  std::vector<std::string> Argv{Opt.Get("Pascal_Compiler", "fpc"), Verbose, "-FU" + CompiledUnits, "-FE" + OutDir};
  if (Opt.Kind() != "StaticLibrary" && (Single.empty() || Single == MainSourceOf(Context, Opt)))
    Argv.push_back("-o" + Output);
  if (Context.BoolParameter("BuildAll", false)) Argv.push_back("-B");
  auto SearchPath = [&](const std::string& Switch, const std::vector<std::string>& Dirs) {
    for (const auto& D : Dirs)
      if (std::string M = Overlay.MirrorOf(D); !M.empty()) Argv.push_back(Switch + M);
    for (const auto& D : Dirs) Argv.push_back(Switch + D);
  };
  std::vector<std::string> UnitPath(UnitDirs.begin(), UnitDirs.end());
  for (const auto& D : Opt.PathList("Pascal_UnitSearchPath")) UnitPath.push_back(D);
  SearchPath("-Fu", UnitPath);
  SearchPath("-Fi", Opt.PathList("IncludePath"));
  for (const auto& D : Opt.List("Defines")) Argv.push_back("-d" + D);
  if (Opt.Bool("Optimize", false)) Argv.push_back("-O" + Opt.Get("Pascal_OptimizationLevel", "2"));
  if (Opt.Bool("DebugInfo", true)) Argv.push_back("-g");
  Argv.push_back("-M" + Opt.Get("Pascal_SyntaxMode", "objfpc"));
  if (Opt.Bool("Pascal_RangeChecks", false)) Argv.push_back("-Cr");
  if (Opt.Bool("Pascal_OverflowChecks", false)) Argv.push_back("-Co");
  if (Opt.Bool("WarningsAsErrors", false)) Argv.push_back("-Sew");
  if (Opt.Kind() == "Library") Argv.push_back("-Cg");
  for (auto& A : Opt.ExtraOptions()) Argv.push_back(A);
  const std::string CompileName = Overlay.CompileName(Main);
  Argv.push_back(CompileName);

  if (Kibitz) {
    std::vector<std::string> Args(Argv.begin() + 1, Argv.end() - 1);
    if (Host) Host->KibitzResult(Context.TaskName(), Join(Args, "\n"));
    return true;
  }

  // Make leaves a project alone when its output is newer than every source it can reach and
  // its switches are those of the last compile (fpc would compile the main source and link
  // again all the same).
  const std::string Switches = UnitDir + "/" + Opt.OutputName() + ".switches";
  const std::string SwitchText = Join(Argv, "\n") + "\n";
  std::string OldSwitches;
  try {
    OldSwitches = ReadWholeFile(Switches);
  } catch (const Exception&) {
  }
  if (!Context.BoolParameter("BuildAll", false) && Single.empty() && !Overlay.Active() && OldSwitches == SwitchText &&
      UpToDate(Output, Manifest, Files, UnitPath, Opt.PathList("IncludePath"), Context.Project().FullPath())) {
    Context.LogMessage(Format(res::SUpToDate, Output), imNormal);
    return true;
  }
  if (OldSwitches != SwitchText) {
    try {
      WriteFileAtomic(Switches, SwitchText);
    } catch (const Exception& E) {
      Context.LogWarning(Format(res::SCannotWrite, Switches, E.what()));
    }
  }

  TSnapshot Before, After;
  Snapshot(CompiledUnits, Before);
  Snapshot(OutDir, Before);
  TTaskCancel Cancel(Context);
  TEventSink Sink(Context, &Overlay);
  TCompilerRun Run;
  Run.Argv = Argv;
  Run.Directory = ExtractFileDir(CompileName);
  Run.Style = TToolOutputParser::tsFpc;
  Run.Sender = "fpc";
  Run.OnOther = [&](const std::string& Line) {
    std::string_view L = Line;
    if (L.size() > 2 && L.front() == '(' && L.find(") ") != std::string_view::npos) L.remove_prefix(L.find(") ") + 2);
    for (auto [Word, Kind] : {std::pair{std::string_view("Compiling "), progCompiling}, {"Linking ", progLinking}}) {
      if (L.substr(0, Word.size()) != Word || !Host) continue;
      std::string File = Overlay.RealName(ExpandFileName(L.substr(Word.size()), Run.Directory));
      if (!Host->UpdateProgress(Kind, Kind == progLinking ? Output : File, 0, 0)) Cancel.Set();
    }
    Sink.Message(Line, imLow);
    return true;
  };
  int Code = RunCompiler(Context, Cancel, Sink, Run);

  // What fpc wrote joins the list that Clean deletes.
  Snapshot(CompiledUnits, After);
  Snapshot(OutDir, After);
  std::vector<std::string> Written = ReadManifest(Manifest);
  std::set<std::string> Known(Written.begin(), Written.end());
  if (!Overlay.Active())
    for (const auto& [F, T] : After)
      if ((!Before.count(F) || Before[F] != T) && Known.insert(F).second) Written.push_back(F);
  std::string Text;
  for (const auto& F : Written) Text += F + "\n";
  try {
    if (!Written.empty()) WriteFileAtomic(Manifest, Text);
  } catch (const Exception& E) {
    Context.LogWarning(Format(res::SCannotWrite, Manifest, E.what()));
  }

  if (Code != 0) {
    if (Code > 0 && Sink.Errors() == 0) ReportError(Context, Format(res::SCompilerFailed, Argv[0], Code));
    return false;
  }
  if (Opt.Kind() == "StaticLibrary") {
    std::vector<std::string> Ar{"ar", "rcs", Output};
    for (const auto& F : Written)
      if (EndsText(".o", F) && fs::exists(F, Ec)) Ar.push_back(F);
    fs::remove(Output, Ec);
    Run.Argv = Ar;
    Run.Sender = "ar";
    Run.Style = TToolOutputParser::tsGcc;
    Run.OnOther = nullptr;
    if (Host && !Host->UpdateProgress(progLinking, Output, 0, 0)) return false;
    Code = RunCompiler(Context, Cancel, Sink, Run);
    if (Code != 0) {
      if (Code > 0 && Sink.Errors() == 0) ReportError(Context, Format(res::SCompilerFailed, "ar", Code));
      return false;
    }
    if (Known.insert(Output).second) {
      Written.push_back(Output);
      Text += Output + "\n";
      WriteFileAtomic(Manifest, Text);
    }
  }
  return Sink.Errors() == 0;
}

}  // namespace nxs::compilers
