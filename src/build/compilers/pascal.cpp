// The Pascal compile task: fpc once per program or library (it finds and compiles the units
// itself), switches from the project's options, its messages read into events.
#include <cstring>
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

// What fpc writes into the unit folder: compiled units, objects, resource-string tables.
bool IsCompiledUnitFile(const std::string& Name) {
  const std::string Ext = ExtractFileExt(Name);
  return Ext == ".ppu" || Ext == ".o" || Ext == ".rsj" || Ext == ".rst";
}

// The list of what the compiles wrote into UnitDir. Only such files are taken from it, so
// that a list an earlier version wrote (it took in whatever changed in the project's folder
// while fpc ran) never makes Clean delete a source.
std::vector<std::string> ReadManifest(const std::string& Name, const std::string& UnitDir) {
  std::vector<std::string> L;
  std::string Text;
  try {
    Text = ReadWholeFile(Name);
  } catch (const Exception&) {
    return L;
  }
  size_t Start = 0;
  for (size_t Nl; (Nl = Text.find('\n', Start)) != std::string::npos; Start = Nl + 1)
    if (std::string F = Text.substr(Start, Nl - Start); IsCompiledUnitFile(F) && ExtractFileDir(F) == UnitDir)
      L.push_back(std::move(F));
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
  NoteFileProbe(Output);
  NoteFileProbe(Manifest);
  const auto Made = fs::last_write_time(Output, Ec);
  if (Ec || !fs::is_regular_file(Manifest, Ec)) return false;
  auto Older = [&](const fs::path& F) {
    NoteFileProbe(F.string());
    const auto T = fs::last_write_time(F, Ec);
    return !Ec && T < Made;
  };
  for (const auto& F : Files)
    if (!Older(F)) return false;
  if (!ProjectFile.empty() && !Older(ProjectFile)) return false;
  for (const auto* Dirs : {&UnitPath, &IncludePath})
    for (const auto& D : *Dirs) {
      // A file added to a unit folder changes the folder's time.
      NoteFileProbe(D);
      for (const auto& E : fs::directory_iterator(D, Ec))
        if (E.is_regular_file(Ec) && E.path() != fs::path(Output) && !Older(E.path())) return false;
    }
  return true;
}

// Runs fpc: the files it compiles (as Compiling: progCompiling, or progChecking for a check)
// and its link go to the host as progress.
int RunFpc(TTaskContext& Context, TTaskCancel& Cancel, TEventSink& Sink, const std::vector<std::string>& Argv,
           const std::string& Directory, const TEditorOverlay& Overlay, const std::string& Output,
           TProgressKind Compiling) {
  ITaskHostObject* Host = Context.HostObject();
  TCompilerRun Run;
  Run.Argv = Argv;
  Run.Directory = Directory;
  Run.Style = TToolOutputParser::tsFpc;
  Run.Sender = "fpc";
  Run.OnOther = [&](const std::string& Line) {
    std::string_view L = Line;
    if (L.size() > 2 && L.front() == '(' && L.find(") ") != std::string_view::npos) L.remove_prefix(L.find(") ") + 2);
    for (auto [Word, Kind] : {std::pair{std::string_view("Compiling "), progCompiling}, {"Linking ", progLinking}}) {
      if (L.substr(0, Word.size()) != Word || !Host) continue;
      std::string File = Overlay.RealName(ExpandFileName(L.substr(Word.size()), Directory));
      if (Kind == progCompiling) Kind = Compiling;
      if (!Host->UpdateProgress(Kind, Kind == progLinking ? Output : File, 0, 0)) Cancel.Set();
    }
    Sink.Message(Line, imLow);
    return true;
  };
  return RunCompiler(Context, Cancel, Sink, Run);
}

// fpc compiles a unit again when its source's time, to the second, differs from the one the
// compiled unit recorded: a second save within the second of the first went unnoticed. A
// compiled unit that is not newer than its source goes, so that fpc compiles the source.
void RemoveUnitsAsOldAsTheirSource(const std::vector<std::string>& Sources, const std::string& UnitDir) {
  std::error_code Ec;
  for (const auto& S : Sources) {
    const std::string Ext = LowerCase(ExtractFileExt(S));
    if (Ext != ".pas" && Ext != ".pp") continue;
    const std::string Unit = UnitDir + "/" + LowerCase(ChangeFileExt(ExtractFileName(S), ".ppu"));
    const auto Compiled = fs::last_write_time(Unit, Ec);
    if (Ec) continue;
    const auto Saved = fs::last_write_time(S, Ec);
    if (!Ec && Saved >= Compiled) fs::remove(Unit, Ec);
  }
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
  // fpc links (and ar archives) into a folder of its own beside the output, which takes the
  // result's place once it is whole: a link cut short never leaves a broken output that the
  // next make would take for up to date. The file keeps its name, which a library carries.
  const std::string LinkDir = OutDir + "/." + ExtractFileName(Output) + ".link";
  ITaskHostObject* Host = Context.HostObject();

  if (Context.BoolParameter("Clean", false)) {
    if (Host) Host->UpdateProgress(progCleaning, Context.Project().FullPath(), 0, 0);
    std::vector<std::string> Files = ReadManifest(Manifest, UnitDir);
    Files.push_back(Output);
    Files.push_back(Manifest);
    Files.push_back(UnitDir + "/" + Opt.OutputName() + ".switches");
    DeleteListed(Context, Files);
    RemoveStaleOverlays(Context, UnitDir);
    std::error_code Ec;
    fs::remove_all(LinkDir, Ec);  // what a link cut short left
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
  // not take them for up to date. A check (fpc's -s: no assembler run, no link) compiles into
  // a folder of its own that goes afterwards; it is named as the overlays are, so that Clean
  // removes one that a check which did not finish left.
  const bool Check = !Kibitz && Context.BoolParameter("Check", false);
  std::string CheckDir = UnitDir + "/unsaved-check-XXXXXX";
  if (Check && !mkdtemp(CheckDir.data())) {
    ReportError(Context, Format(res::SCannotWrite, CheckDir, std::strerror(errno)));
    return false;
  }
  if (!Check) CheckDir.clear();
  struct TScratch {
    std::string Dir;
    ~TScratch() {
      std::error_code Ec;
      if (!Dir.empty()) fs::remove_all(Dir, Ec);
    }
  } CheckScratch{CheckDir};
  const std::string CompiledUnits = Check ? CheckDir : Overlay.Active() ? Overlay.Dir() + "/.units" : UnitDir;
  if (!Kibitz) fs::create_directories(CompiledUnits, Ec);

  // fpc reads ";" in a search path as a separator of paths, and the linker script it writes
  // breaks at one in the path of an object. The compile passes such a path relative to the
  // folder fpc runs in, where the part they share (the project's folder) falls away; code
  // insight, which runs nothing, keeps the full paths.
  const std::string CompileName = Overlay.CompileName(Main);
  const std::string RunDir = ExtractFileDir(CompileName);
  std::string Unpassable;
  auto Pass = [&](const std::string& Path) {
    if (Kibitz || Path.find(';') == std::string::npos) return Path;
    std::string Rel = Path == RunDir ? "." : ExtractRelativePath(IncludeTrailingPathDelimiter(RunDir), Path);
    if (Rel.find(';') != std::string::npos && Unpassable.empty()) Unpassable = Path;
    return Rel;
  };

  std::string Verbose = "-ve";
  if (Opt.Bool("Pascal_ShowWarnings", true)) Verbose += 'w';
  if (Opt.Bool("Pascal_ShowNotes", false)) Verbose += 'n';
  if (Opt.Bool("Pascal_ShowHints", false)) Verbose += 'h';
  Verbose += "biq";  // b: messages name files with their full path
  const bool Links =
      !Check && Opt.Kind() != "StaticLibrary" && (Single.empty() || Single == MainSourceOf(Context, Opt));
  const std::string LinkOutput = LinkDir + "/" + ExtractFileName(Output);
  std::vector<std::string> Argv{Opt.Get("Pascal_Compiler", "fpc"), Verbose, "-FU" + Pass(CompiledUnits),
                                "-FE" + Pass(Check ? CheckDir : Links && !Kibitz ? LinkDir : OutDir)};
  if (Links) Argv.push_back("-o" + Pass(Kibitz ? Output : LinkOutput));
  if (Check) Argv.push_back("-s");
  if (Context.BoolParameter("BuildAll", false)) Argv.push_back("-B");
  auto SearchPath = [&](const std::string& Switch, const std::vector<std::string>& Dirs) {
    for (const auto& D : Dirs)
      if (std::string M = Overlay.MirrorOf(D); !M.empty()) Argv.push_back(Switch + Pass(M));
    for (const auto& D : Dirs) Argv.push_back(Switch + Pass(D));
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
  Argv.push_back(Pass(CompileName));
  if (!Unpassable.empty()) {
    ReportError(Context, Format(res::SSemicolonInPath, Unpassable));
    return false;
  }

  if (Kibitz) {
    std::vector<std::string> Args(Argv.begin() + 1, Argv.end() - 1);
    if (Host) Host->KibitzResult(Context.TaskName(), Join(Args, "\n"));
    return true;
  }

  if (Check) {
    TTaskCancel Cancel(Context);
    TEventSink Sink(Context, &Overlay);
    const int Code = RunFpc(Context, Cancel, Sink, Argv, RunDir, Overlay, Output, progChecking);
    if (Code > 0 && Sink.Errors() == 0) ReportError(Context, Format(res::SCompilerFailed, Argv[0], Code));
    return Code == 0 && Sink.Errors() == 0;
  }

  // Make leaves a project alone when its output is newer than every source it can reach and
  // its switches are those of the last compile (fpc would compile the main source and link
  // again all the same). Link links again all the same.
  const std::string Switches = UnitDir + "/" + Opt.OutputName() + ".switches";
  const std::string SwitchText = Join(Argv, "\n") + "\n";
  std::string OldSwitches;
  try {
    OldSwitches = ReadWholeFile(Switches);
  } catch (const Exception&) {
  }
  if (!Context.BoolParameter("BuildAll", false) && !Context.BoolParameter("Link", false) && Single.empty() &&
      !Overlay.Active() && OldSwitches == SwitchText &&
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

  if (!Overlay.Active()) RemoveUnitsAsOldAsTheirSource(Files, UnitDir);
  fs::remove_all(LinkDir, Ec);
  if (Links || Opt.Kind() == "StaticLibrary") fs::create_directories(LinkDir, Ec);
  // Whatever ends the compile, the link folder goes; a failed compile also forgets the
  // switches, whose record is only true of an output they made.
  struct TLinkFolder {
    const std::string& Dir;
    const std::string& Switches;
    bool Made = false;
    ~TLinkFolder() {
      std::error_code Ec;
      fs::remove_all(Dir, Ec);
      if (!Made) fs::remove(Switches, Ec);
    }
  } Linking{LinkDir, Switches};

  TSnapshot Before, After;
  Snapshot(CompiledUnits, Before);
  TTaskCancel Cancel(Context);
  TEventSink Sink(Context, &Overlay);
  int Code = RunFpc(Context, Cancel, Sink, Argv, RunDir, Overlay, Output, progCompiling);

  // The units and objects fpc wrote join the list that Clean deletes (with the output, which
  // Clean deletes by name). Nothing else is taken from the folders, whatever changed in them
  // meanwhile: the output folder is often the project's own, where the user saves.
  Snapshot(CompiledUnits, After);
  std::vector<std::string> Written = ReadManifest(Manifest, UnitDir);
  std::set<std::string> Known(Written.begin(), Written.end());
  if (!Overlay.Active())
    for (const auto& [F, T] : After)
      if (IsCompiledUnitFile(F) && (!Before.count(F) || Before[F] != T) && Known.insert(F).second)
        Written.push_back(F);
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
    TCompilerRun Run;
    Run.Argv = {"ar", "rcs", LinkOutput};
    for (const auto& F : Written)
      if (EndsText(".o", F) && fs::exists(F, Ec)) Run.Argv.push_back(F);
    Run.Directory = RunDir;
    Run.Sender = "ar";
    if (Host && !Host->UpdateProgress(progLinking, Output, 0, 0)) return false;
    Code = RunCompiler(Context, Cancel, Sink, Run);
    if (Code != 0) {
      if (Code > 0 && Sink.Errors() == 0) ReportError(Context, Format(res::SCompilerFailed, "ar", Code));
      return false;
    }
  }
  if (Sink.Errors() != 0) return false;
  if ((Links || Opt.Kind() == "StaticLibrary") && fs::exists(LinkOutput, Ec)) {
    fs::rename(LinkOutput, Output, Ec);
    if (Ec) {
      ReportError(Context, Format(res::SCannotWrite, Output, Ec.message()));
      return false;
    }
  }
  Linking.Made = true;
  return true;
}

}  // namespace nxs::compilers
