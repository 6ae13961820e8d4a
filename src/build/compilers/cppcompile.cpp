// The C++ compile task: a ninja file in the intermediate directory that compiles each source
// to an object and links a program, a shared library or an archive. Ninja brings header
// dependencies (the compiler's depfiles), parallel jobs and the compiler launcher.
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "build/compilers/compilers.h"
#include "build/compilers/compiletask.h"
#include "build/compilers/ninjadeps.h"
#include "build/compilers/record.h"
#include "build/compilers/resstrings.h"
#include "build/engine/filetimes.h"
#include "build/engine/programs.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/install.h"
#include "shared/pkgformat.h"
#include "shared/text.h"

namespace nxs::compilers {

namespace fs = std::filesystem;
using namespace engine;

namespace {

// A path in a ninja file: "$", " ", ":" and line ends escaped with "$".
std::string NinjaPath(const std::string& Path) {
  std::string Out;
  for (char C : Path) {
    if (C == '$' || C == ' ' || C == ':' || C == '\n') Out += '$';
    Out += C;
  }
  return Out;
}

// A variable's value in a ninja file, holding shell-quoted arguments.
std::string NinjaValue(const std::vector<std::string>& Args) {
  return ReplaceAllText(ReplaceAllText(JoinCommandLine(Args), "$", "$$"), "\n", "$\n");
}

// The object of a source: its path below the project directory, below the intermediate one
// (".." becomes "__", so that sources beside the project get objects of their own).
std::string ObjectOf(const std::string& IntDir, const std::string& ProjectDir, const std::string& Source) {
  std::string Rel = ExtractRelativePath(IncludeTrailingPathDelimiter(ProjectDir), Source);
  if (IsAbsolutePath(Rel)) Rel = Rel.substr(1);
  Rel = ReplaceAllText(Rel, "..", "__");
  return IntDir + "/" + Rel + ".o";
}

// Why the shell that ninja runs a command with could not run it, from its complaint: "g++: not
// found" from "/bin/sh: 1: g++: not found" (or bash's "/bin/sh: line 1: g++: command not
// found"); "" for any other line.
std::string ShellFailure(std::string_view Line) {
  constexpr std::string_view Shell = "/bin/sh: ";
  if (!Line.starts_with(Shell)) return {};
  Line.remove_prefix(Shell.size());
  if (Line.starts_with("line ")) Line.remove_prefix(5);
  size_t Digits = Line.find_first_not_of("0123456789");
  if (Digits != 0 && Digits != std::string_view::npos && Line.substr(Digits).starts_with(": "))
    Line.remove_prefix(Digits + 2);
  return std::string(Line);
}

// Check: each source compiled for its diagnostics alone, nothing written; every source is
// checked, so that one run reports them all.
bool CheckSources(TTaskContext& Context, TEditorOverlay& Overlay, const std::vector<std::string>& Sources,
                  std::vector<std::string> Command, const std::string& Directory) {
  ITaskHostObject* Host = Context.HostObject();
  TTaskCancel Cancel(Context);
  TEventSink Sink(Context, &Overlay);
  Command.push_back("-fsyntax-only");
  bool Ok = true;
  for (const auto& S : Sources) {
    if (Host && !Host->UpdateProgress(progChecking, S, 0, 0)) Cancel.Set();
    TCompilerRun Run;
    Run.Argv = Command;
    // Read through the overlay, a source still finds what lies beside it on disk.
    if (Overlay.Active()) Run.Argv.insert(Run.Argv.end(), {"-iquote", ExtractFileDir(S)});
    Run.Argv.push_back(Overlay.CompileName(S));
    Run.Directory = Directory;
    Run.Sender = "g++";
    const int ErrorsBefore = Sink.Errors();
    const int Code = RunCompiler(Context, Cancel, Sink, Run);
    if (Code < 0) return false;  // not started or cancelled: said so
    if (Code > 0 && Sink.Errors() == ErrorsBefore) ReportError(Context, Format(res::SCompilerFailed, Command[0], Code));
    Ok = Ok && Code == 0;
  }
  return Ok && Sink.Errors() == 0;
}

// Link alone: the output made from the objects the last compile left, nothing compiled, under
// a temporary name as the ninja file links.
bool LinkObjects(TTaskContext& Context, const std::vector<std::string>& Objects, const std::string& Output,
                 bool Archive, const std::string& Compiler, const std::vector<std::string>& LinkFlags,
                 const std::string& Directory) {
  bool Missing = false;
  std::error_code Ec;
  for (const auto& O : Objects)
    if (!fs::is_regular_file(O, Ec)) {
      ReportError(Context, Format(res::SNotCompiled, O));
      Missing = true;
    }
  if (Missing) return false;
  ITaskHostObject* Host = Context.HostObject();
  TTaskCancel Cancel(Context);
  if (Host && !Host->UpdateProgress(progLinking, Output, 0, 0)) return false;
  const std::string Temp = Output + ".tmp";
  fs::remove(Temp, Ec);
  TEventSink Sink(Context, nullptr);
  TCompilerRun Run;
  Run.Argv = Archive ? std::vector<std::string>{"ar", "rcs", Temp} : std::vector<std::string>{Compiler};
  Run.Argv.insert(Run.Argv.end(), Objects.begin(), Objects.end());
  if (!Archive) {
    Run.Argv.insert(Run.Argv.end(), {"-o", Temp});
    Run.Argv.insert(Run.Argv.end(), LinkFlags.begin(), LinkFlags.end());
  }
  Run.Directory = Directory;
  Run.Sender = Archive ? "ar" : "g++";
  const int Code = RunCompiler(Context, Cancel, Sink, Run);
  if (Code == 0 && Sink.Errors() == 0) fs::rename(Temp, Output, Ec);
  if (Code == 0 && Sink.Errors() == 0 && !Ec) return true;
  fs::remove(Temp, Ec);
  if (Code > 0 && Sink.Errors() == 0) ReportError(Context, Format(res::SCompilerFailed, Run.Argv[0], Code));
  return false;
}

// After a whole make: each object with the files its compile read (and the compiler), the
// output with its objects and the libraries it links. A make that finds them all as they are
// now starts no tool.
void RecordMake(const TBuildRecord& Record, const std::string& Ninja, const std::string& NinjaFile,
                const std::string& Dir, const std::vector<std::string>& Objects, const std::string& Output,
                const std::vector<std::string>& Libraries, const std::string& CompilerFile) {
  std::optional<TObjectInputs> Inputs = NinjaObjectInputs(Ninja, NinjaFile, Dir, Objects);
  if (!Inputs) return;
  std::vector<TMadeFrom> Made;
  for (const auto& O : Objects) {
    Made.push_back({O, std::move((*Inputs)[O])});
    if (!CompilerFile.empty()) Made.back().Inputs.push_back(CompilerFile);
  }
  Made.push_back({Output, Objects});
  Made.back().Inputs.insert(Made.back().Inputs.end(), Libraries.begin(), Libraries.end());
  Record.Write(Made, {NinjaFile});
}

// An object with exactly the time of a file it was compiled from may be older than that file's
// text: the file was saved in the clock tick in which the compile ended. Ninja compiles again
// only what is older than one of its inputs, so such an object goes, and the make compiles it.
// So does an object made from a file that was replaced since with its time kept (Replaced:
// renamed over, or written and its time put back), which ninja cannot tell from the file it
// read. The inputs are those ninja recorded, or each object's source where it recorded none.
void RemoveObjectsAsOldAsAnInput(const std::string& Ninja, const std::string& NinjaFile, const std::string& Dir,
                                 const std::vector<std::string>& Objects, const std::vector<std::string>& Sources,
                                 const std::set<std::string>& Replaced) {
  std::optional<TObjectInputs> Recorded = NinjaObjectInputs(Ninja, NinjaFile, Dir, Objects);
  std::error_code Ec;
  for (size_t I = 0; I < Objects.size(); ++I) {
    const int64_t Made = FileSystem().ModifiedTimeNs(Objects[I]);
    if (Made < 0) continue;
    const std::vector<std::string> Own{Sources[I]};
    for (const auto& In : Recorded ? (*Recorded)[Objects[I]] : Own)
      if (Replaced.count(In) || FileSystem().ModifiedTimeNs(In) == Made) {
        fs::remove(Objects[I], Ec);
        break;
      }
  }
}

// A package's information source in the intermediate folder, written when it changed: the
// description, requires, units (the sources' base names unless PackageUnits names them),
// flags and targets of the project's properties. Returns the source; empty when it could not
// be written (reported).
std::string WritePackageInfoSource(TTaskContext& Context, const TProjectOptions& Opt,
                                   const std::vector<std::string>& Sources, const std::string& IntDir) {
  TPackageInfoRecord Info;
  Info.Description = Opt.Get("PackageDescription");
  Info.Requires = Opt.List("PackageRequires");
  std::vector<std::string> Units = Opt.List("PackageUnits");
  if (Units.empty())
    for (const auto& S : Sources) Units.push_back(ChangeFileExt(ExtractFileName(S), ""));
  for (const auto& U : Units) Info.Contains.push_back({U, 0});
  Info.Flags = static_cast<uint32_t>(TryStrToInt(Opt.Get("PackageFlags", "0")).value_or(0));
  Info.Targets = static_cast<uint32_t>(TryStrToInt(Opt.Get("PackageTargets", "0")).value_or(0));
  const std::string File = IntDir + "/" + ExtractFileName(Opt.OutputName()) + "_info.cpp";
  const std::string Text = PackageInfoSource(Info);
  std::string Old;
  try {
    Old = ReadWholeFile(File);
  } catch (const Exception&) {
  }
  try {
    if (Old != Text) WriteFileAtomic(File, Text);
  } catch (const Exception& E) {
    ReportError(Context, Format(res::SCannotWrite, File, E.what()));
    return {};
  }
  return File;
}

}  // namespace

bool RunCppCompiler(TTaskContext& Context) {
  TProjectOptions Opt(Context);
  ITaskHostObject* Host = Context.HostObject();
  const std::string IntDir = Opt.IntermediateDir(), OutDir = Opt.OutputDir();
  const std::string Output = Opt.OutputFile();
  const std::string Kind = Opt.Kind();
  std::vector<std::string> Sources;
  if (Context.HasParameter("Sources"))
    for (const auto& I : Context.Parameter("Sources").Items) Sources.push_back(Opt.Absolute(I.ItemSpec));
  // A file the build names alone is compiled even when it is no item of the project.
  if (std::string Single = FileToCompile(Opt); !Single.empty()) Sources.push_back(Single);
  std::set<std::string> Seen;
  std::erase_if(Sources, [&](const std::string& S) { return !Seen.insert(S).second; });
  std::error_code Ec;
  // A package carries its information in a section that a generated source puts there.
  if (Kind == "Package" && !Sources.empty() && !Context.BoolParameter("Kibitz", false)) {
    fs::create_directories(IntDir, Ec);
    const std::string Info = WritePackageInfoSource(Context, Opt, Sources, IntDir);
    if (Info.empty()) return false;
    Sources.push_back(Info);
  }

  // Registered as a checking task: from the first file it changes (or tool it runs) on, the
  // task holds Changes, and the checks of the make's later tasks ask the disk again.
  std::optional<TFileChanges> Changes;
  if (Context.BoolParameter("Clean", false)) {
    Changes.emplace();
    if (Host) Host->UpdateProgress(progCleaning, Context.Project().FullPath(), 0, 0);
    std::vector<std::string> Files{Output,          Output + ".tmp",         IntDir + "/build.ninja",
                                   IntDir + "/.ninja_log", IntDir + "/.ninja_deps", IntDir + "/build.record"};
    for (const auto& S : Sources) {
      Files.push_back(ObjectOf(IntDir, Opt.ProjectDir(), S));
      Files.push_back(Files.back() + ".d");
    }
    for (const auto& F : Files)
      if (fs::is_regular_file(fs::symlink_status(F, Ec)) && fs::remove(F, Ec))
        Context.LogMessage(Format(res::SCleaned, F), imLow);
    RemoveStaleOverlays(Context, IntDir);
    // The object directories that are empty now, deepest first, up to the intermediate one.
    std::set<std::string, std::greater<>> Dirs;
    for (const auto& S : Sources)
      for (std::string D = ExtractFileDir(ObjectOf(IntDir, Opt.ProjectDir(), S)); D.size() >= IntDir.size() && D != Opt.ProjectDir();
           D = ExtractFileDir(D))
        Dirs.insert(D);
    for (const auto& D : Dirs) fs::remove(D, Ec);
    return true;
  }
  if (Sources.empty()) {
    ReportError(Context, res::SNoSources);
    return false;
  }

  // Code insight asks for the switches alone: nothing is made on disk for it.
  const bool Kibitz = Context.BoolParameter("Kibitz", false);
  // The link phase of a make whose compile phase, the task just before, found nothing to do.
  if (!Kibitz && SameText(Context.Parameter("Phase").Text, "Link") && FileToCompile(Opt).empty() &&
      TBuildRecord(IntDir + "/build.record").JustFoundUpToDate()) {
    Context.LogMessage(Format(res::SUpToDate, Output), imNormal);
    return true;
  }
  if (!Kibitz) {
    fs::create_directories(IntDir, Ec);
    fs::create_directories(OutDir, Ec);
  }
  // The editor's text: the sources, and the headers and sources of the project directory.
  TEditorOverlay Overlay(Kibitz ? nullptr : Host, Opt.ProjectDir(), IntDir + "/unsaved-XXXXXX");
  Overlay.Collect(Sources, {".h", ".hh", ".hpp", ".hxx", ".inl", ".ipp", ".tcc", ".c", ".cc", ".cpp", ".cxx"});
  if (Overlay.Active()) Changes.emplace();

  // Switches.
  const bool Pic = Kind == "Library" || Kind == "Package";
  std::vector<std::string> Flags{"-fdiagnostics-color=never", "-std=" + Opt.Get("Cpp_LanguageStandard", "c++17")};
  if (Opt.Bool("Optimize", false)) Flags.push_back("-O" + Opt.Get("Cpp_OptimizationLevel", "2"));
  if (Opt.Bool("DebugInfo", true)) Flags.push_back("-g");
  if (Opt.Bool("Cpp_AllWarnings", true)) Flags.push_back("-Wall");
  if (Opt.Bool("Cpp_ExtraWarnings", false)) Flags.push_back("-Wextra");
  if (Opt.Bool("Cpp_Pedantic", false)) Flags.push_back("-Wpedantic");
  if (Opt.Bool("WarningsAsErrors", false)) Flags.push_back("-Werror");
  if (Pic) Flags.push_back("-fPIC");
  for (const auto& D : Opt.List("Defines")) Flags.push_back("-D" + D);
  std::vector<std::string> Includes = Opt.PathList("IncludePath");
  for (const auto& D : Includes)
    if (std::string M = Overlay.MirrorOf(D); !M.empty()) Flags.push_back("-I" + M);
  for (const auto& D : Includes) Flags.push_back("-I" + D);
  // A package is compiled against the environment's headers.
  if (Kind == "Package")
    if (std::string Dir = GetEnvironmentVariable("NXSINCLUDE").value_or(""); !Dir.empty()) Flags.push_back("-I" + Dir);
  for (auto& A : Opt.ExtraOptions()) Flags.push_back(A);
  std::vector<std::string> LinkFlags;
  if (Pic) LinkFlags.push_back("-shared");
  const std::vector<std::string> LibraryDirs = Opt.PathList("Cpp_LibraryPath"), Libraries = Opt.List("Cpp_Libraries");
  for (const auto& D : LibraryDirs) LinkFlags.push_back("-L" + D);
  for (const auto& L : Libraries) LinkFlags.push_back("-l" + L);

  const std::string Compiler = Opt.Get("Cpp_Compiler", "g++");
  // Objects depend on the compiler's file too: one put in its place compiles them again.
  const std::string CompilerFile = engine::FindProgramOnPath(Compiler, IntDir).Program;
  std::string Launcher = Opt.Get("CompilerLauncher");
  if (Kibitz) {
    if (Host) Host->KibitzResult(Context.TaskName(), Join(Flags, "\n"));
    return true;
  }
  // "Compile" builds the objects only (a pre-link step may follow), "Link" the rest; "Check"
  // and "LinkOnly" run the compiler or the linker alone, without ninja.
  const std::string Phase = Context.HasParameter("Phase") ? Context.Parameter("Phase").Text : "";
  if (SameText(Phase, "Check") || SameText(Phase, "LinkOnly")) Changes.emplace();
  if (SameText(Phase, "Check")) {
    std::vector<std::string> Command{Compiler};
    Command.insert(Command.end(), Flags.begin(), Flags.end());
    const std::string Single = FileToCompile(Opt);
    return CheckSources(Context, Overlay, Single.empty() ? Sources : std::vector<std::string>{Single}, Command,
                        Opt.ProjectDir());
  }
  if (SameText(Phase, "LinkOnly")) {
    std::vector<std::string> Objects;
    for (const auto& S : Sources) Objects.push_back(ObjectOf(IntDir, Opt.ProjectDir(), S));
    return LinkObjects(Context, Objects, Output, Kind == "StaticLibrary", Compiler, LinkFlags, IntDir);
  }

  // The ninja file.
  std::string N = "# Written by the C++ compile task; rewritten when the project changes.\n";
  N += "ninja_required_version = 1.3\n";
  N += "builddir = " + NinjaPath(IntDir) + "\n";
  N += "cxx = " + NinjaValue({Compiler}) + "\n";
  N += "launcher = " + (Launcher.empty() ? std::string() : NinjaValue({Launcher})) + "\n";
  N += "cflags = " + NinjaValue(Flags) + "\n";
  N += "ldflags = " + NinjaValue(LinkFlags) + "\n";
  N += "rule cxx\n  command = $launcher $cxx -MD -MF $out.d $cflags $extra -c $in -o $out\n"
       "  depfile = $out.d\n  deps = gcc\n  description = Compiling $source\n";
  // The link and the archive are made under a temporary name that takes the output's place
  // once it is whole: a link cut short never leaves a broken program where the last one was.
  N += "rule link\n  command = $cxx $in -o ${out}.tmp $ldflags && mv -f ${out}.tmp $out || { rm -f ${out}.tmp; exit 1; }\n"
       "  description = Linking $out\n";
  N += "rule ar\n  command = rm -f ${out}.tmp && ar rcs ${out}.tmp $in && mv -f ${out}.tmp $out || { rm -f ${out}.tmp; "
       "exit 1; }\n  description = Linking $out\n";
  std::vector<std::string> Objects, ObjectFiles;
  for (const auto& S : Sources) {
    std::string Obj = ObjectOf(IntDir, Opt.ProjectDir(), S);
    ObjectFiles.push_back(Obj);
    Objects.push_back(NinjaPath(Obj));
    N += "build " + Objects.back() + ": cxx " + NinjaPath(Overlay.CompileName(S)) +
         (CompilerFile.empty() ? "" : " | " + NinjaPath(CompilerFile)) + "\n";
    N += "  source = " + ReplaceAllText(S, "$", "$$") + "\n";
    // Read through the overlay, a source still finds what lies beside it on disk.
    if (Overlay.Active()) N += "  extra = " + NinjaValue({"-iquote", ExtractFileDir(S)}) + "\n";
  }
  N += "build objects: phony " + Join(Objects, " ") + "\n";
  // A program or shared library is linked again when a library it links changed (a static
  // library of the same group rebuilt after one of its headers changed).
  std::string LinkDeps;
  std::vector<std::string> LinkedFiles;
  if (Kind != "StaticLibrary")
    for (const auto& L : Libraries)
      for (const auto& D : LibraryDirs)
        for (const char* Ext : {".so", ".a"})
          if (std::string Lib = D + "/lib" + L + Ext; NoteFileProbe(Lib), fs::is_regular_file(Lib, Ec)) {
            LinkDeps += " " + NinjaPath(Lib);
            LinkedFiles.push_back(Lib);
          }
  N += "build " + NinjaPath(Output) + ": " + (Kind == "StaticLibrary" ? "ar " : "link ") + Join(Objects, " ") +
       (LinkDeps.empty() ? "" : " |" + LinkDeps) + "\n";
  N += "default " + NinjaPath(Output) + "\n";
  const std::string NinjaFile = IntDir + "/build.ninja";
  std::string Old;
  try {
    Old = ReadWholeFile(NinjaFile);
  } catch (const Exception&) {
  }
  if (Old != N) Changes.emplace();
  try {
    if (Old != N) WriteFileAtomic(NinjaFile, N);
  } catch (const Exception& E) {
    ReportError(Context, Format(res::SCannotWrite, NinjaFile, E.what()));
    return false;
  }

  // A make of the whole project from the disk's text has nothing to do when the ninja file
  // stayed the same and every file of the last make's record is as that make left it.
  const bool WholeMake = FileToCompile(Opt).empty() && !Overlay.Active();
  const TBuildRecord Record(IntDir + "/build.record");
  if (WholeMake && Old == N && Record.UpToDate()) {
    BuildFilesSeen(IntDir);
    if (!SameText(Phase, "Compile")) Context.LogMessage(Format(res::SUpToDate, Output), imNormal);
    return true;
  }
  if (!Changes) Changes.emplace();
  if (WholeMake) {
    const std::set<std::string> Replaced = Record.ReplacedFiles();
    Record.Forget();
    RemoveObjectsAsOldAsAnInput(Opt.Get("Ninja", "ninja"), NinjaFile, IntDir, ObjectFiles, Sources, Replaced);
  }
  std::string Jobs = Opt.Get("ParallelJobs");
  if (Jobs.empty() || !IsWholeNumber(Jobs) || Jobs == "0")
    Jobs = IntToStr(std::max(1u, std::thread::hardware_concurrency()));
  TTaskCancel Cancel(Context);
  TEventSink Sink(Context, &Overlay);
  TCompilerRun Run;
  Run.Argv = {Opt.Get("Ninja", "ninja"), "-f", NinjaFile, "-j", Jobs};
  if (std::string Single = FileToCompile(Opt); !Single.empty())
    Run.Argv.push_back(ObjectOf(IntDir, Opt.ProjectDir(), Single));
  else if (SameText(Phase, "Compile"))
    Run.Argv.push_back("objects");
  // The compiles run in the project's folder, as a check does, so that a relative path in the
  // extra options, and in what the compiler says about it, means the same file in both.
  Run.Directory = Opt.ProjectDir();
  Run.Sender = "g++";
  Run.OnOther = [&](const std::string& Line) {
    // "[3/7] Compiling src/a.cpp": ninja's progress.
    if (Line.size() > 2 && Line.front() == '[' && Line.find("] ") != std::string::npos) {
      std::string Rest = Line.substr(Line.find("] ") + 2);
      for (auto [Word, Kind] : {std::pair{std::string("Compiling "), progCompiling}, {"Linking ", progLinking}})
        if (StartsText(Word, Rest) && Host && !Host->UpdateProgress(Kind, Rest.substr(Word.size()), 0, 0)) Cancel.Set();
      Sink.Message(Rest, imNormal);
      return true;
    }
    if (Line == "ninja: no work to do.") {
      Sink.Message(Line, imLow);
      return true;
    }
    if (std::string Why = ShellFailure(Line); !Why.empty()) {
      std::vector<TBuildEvent> Failure(1);
      Failure[0].Kind = ekError;
      Failure[0].Importance = imHigh;
      Failure[0].Text = Why;
      Failure[0].Sender = Run.Sender;
      Failure[0].Id = NextMessageId();
      Sink.Log(Failure);
      return true;
    }
    return false;
  };
  int Code = RunCompiler(Context, Cancel, Sink, Run);
  if (Code != 0) {
    if (Code > 0 && Sink.Errors() == 0) ReportError(Context, Format(res::SCompilerFailed, "ninja", Code));
    return false;
  }
  if (Sink.Errors() != 0) return false;
  if (WholeMake && !SameText(Phase, "Compile"))
    RecordMake(Record, Run.Argv[0], NinjaFile, IntDir, ObjectFiles, Output, LinkedFiles, CompilerFile);
  return true;
}

}  // namespace nxs::compilers
