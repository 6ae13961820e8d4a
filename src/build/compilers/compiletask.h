// What the compile tasks share: the project's options as switches need them, the editor's
// unsaved text laid over the project directory, and running a compiler with its output read
// into events that name the real files.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "build/engine/process.h"
#include "build/engine/tasks.h"

namespace nxs::compilers {

using engine::TTaskContext;

// The project's options, read from its properties; relative paths are relative to the
// project's directory.
class TProjectOptions {
 public:
  explicit TProjectOptions(const TTaskContext& Context);
  std::string Get(const std::string& Name, const std::string& Default = {}) const;
  bool Bool(const std::string& Name, bool Default) const;
  // A ";"-separated list without its empty entries.
  std::vector<std::string> List(const std::string& Name) const;
  std::vector<std::string> PathList(const std::string& Name) const;
  std::string Path(const std::string& Name, const std::string& Default) const;
  std::string Absolute(const std::string& Name) const;
  const std::string& ProjectDir() const { return FProjectDir; }
  // Where the output goes, where the intermediate files go, and the output's name without
  // directory and extension; the project kind: "Application", "Library" or "StaticLibrary".
  std::string OutputDir() const;
  std::string IntermediateDir() const;
  std::string OutputName() const;
  std::string Kind() const;
  // What the build makes: the program, lib<name>.so or lib<name>.a in the output directory.
  std::string OutputFile() const;
  // ExtraOptions split as a shell would split them (quotes kept together).
  std::vector<std::string> ExtraOptions() const;

 private:
  const TTaskContext& FContext;
  std::string FProjectDir;
};

// Files the editor holds unsaved, laid over the project directory: each directory that holds
// one (and each directory of a source compiled through the overlay) is mirrored in the
// overlay directory by links to the real files, with the editor's text in place of the
// unsaved ones. Compiling from the mirror lets the compiler find the editor's text exactly
// where it would find the file on disk. The disk is never written; the host's temporary
// files are deleted with the overlay. An overlay directory ending in "XXXXXX" is a template:
// the directory gets a name of its own when it is made, once there is unsaved text.
class TEditorOverlay {
 public:
  TEditorOverlay(engine::ITaskHostObject* Host, std::string ProjectDir, std::string OverlayDir);
  ~TEditorOverlay();
  TEditorOverlay(const TEditorOverlay&) = delete;  // owns temporary files
  TEditorOverlay& operator=(const TEditorOverlay&) = delete;
  // Asks the host for the editor's text of each file, and of the files below the project
  // directory with one of the extensions (lower case, with the dot): those the host lists as
  // unsaved, or, where it cannot list them, every such file on the disk.
  void Collect(const std::vector<std::string>& Files, const std::vector<std::string>& Extensions = {});
  bool Active() const { return !FUnsaved.empty(); }
  // The name the compiler should read a file under: in the mirror when the overlay is active
  // and the file lies below the project directory.
  std::string CompileName(const std::string& RealFile);
  // The mirror of a directory (for a search path), or "" when it has none.
  std::string MirrorOf(const std::string& RealDir) const;
  // An overlay or temporary file name mapped back to the real file.
  std::string RealName(const std::string& Name) const;
  const std::string& Dir() const { return FDir; }

 private:
  void Mirror(const std::string& RelDir);
  engine::ITaskHostObject* FHost;
  std::string FProjectDir;
  std::string FDir;
  std::map<std::string, std::string> FUnsaved;  // real file -> temporary file
  std::map<std::string, bool> FMirrored;        // relative directory
};

// Counts the events through the host object and logs them with their file names mapped back.
class TEventSink {
 public:
  TEventSink(TTaskContext& Context, const TEditorOverlay* Overlay) : FContext(Context), FOverlay(Overlay) {}
  void Log(std::vector<engine::TBuildEvent>& Events);
  void Message(const std::string& Text, engine::TImportance Importance);
  int Errors() const { return FErrors; }

 private:
  TTaskContext& FContext;
  const TEditorOverlay* FOverlay;
  int FErrors = 0;
};

// Runs a compiler: logs its command line (and shows it through the host), parses its output,
// hands lines that are no diagnostic to OnOther (which logs them when it returns false).
// Returns the exit code, -1 when it did not start or was cancelled.
struct TCompilerRun {
  std::vector<std::string> Argv;
  std::string Directory;
  std::vector<std::pair<std::string, std::string>> Environment;
  engine::TToolOutputParser::TStyle Style = engine::TToolOutputParser::tsGcc;
  std::string Sender;
  std::function<bool(const std::string& Line)> OnOther;
};
int RunCompiler(TTaskContext& Context, engine::TTaskCancel& Cancel, TEventSink& Sink, const TCompilerRun& Run);

// The file a build names to compile alone ($(FileToCompile), quotes taken off), absolute; or "".
std::string FileToCompile(const TProjectOptions& Options);

// The files below Dir with one of the extensions (lower case, with the dot): the ones to ask
// the editor about. Hidden directories and earlier compiles' overlays are left out, and a
// huge tree is walked only so far.
std::vector<std::string> FilesBelow(const std::string& Dir, const std::vector<std::string>& Extensions);

// Removes the overlays that compiles which did not finish left in the intermediate directory.
void RemoveStaleOverlays(TTaskContext& Context, const std::string& IntermediateDir);

// Logs an error of the task's own and counts it through the host object.
void ReportError(TTaskContext& Context, const std::string& Text);

// A command line as a shell reads it back: each argument quoted when it needs it.
std::string ShellQuote(const std::string& Arg);
std::string JoinCommandLine(const std::vector<std::string>& Argv);

void RegisterBuildLockTask();
// The build's files are in its intermediate folder now (a record found up to date): the
// folder's lock need not look for them when it goes, while nothing changes files meanwhile.
void BuildFilesSeen(const std::string& IntermediateDir);

bool RunPascalCompiler(TTaskContext& Context);
bool RunCppCompiler(TTaskContext& Context);

}  // namespace nxs::compilers
