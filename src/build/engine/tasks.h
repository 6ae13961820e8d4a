// Tasks: what a target's task elements run. The engine has its built-in tasks; compilers
// and packages register others by name, and the build host offers host objects to the task
// of a name (file times of open files, unsaved editor text, progress, counters).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "build/engine/engine.h"

namespace nxs::engine {

// The environment's side, as a task reaches it. Every operation may be called from the
// thread that runs the build.
class ITaskHostObject {
 public:
  virtual ~ITaskHostObject() = default;
  // Seconds since the epoch (fractional); negative for a missing file. An open project
  // gives its internal date.
  virtual double GetFileTime(const std::string& FileName) = 0;
  // When the editor holds unsaved text for FileName: writes it to a temporary file, gives its
  // name and returns true.
  virtual bool CreateTemporaryFile(const std::string& FileName, std::string& TempName) = 0;
  // Every file the editor holds unsaved text for, when the host can tell them all at once;
  // nothing when it cannot, and the task asks about each file it may read instead.
  virtual std::optional<std::vector<std::string>> UnsavedFiles() { return std::nullopt; }
  virtual void DeleteTemporaryFile(const std::string& TempName) = 0;
  // False when the user cancelled: the task stops.
  virtual bool UpdateProgress(int Kind, const std::string& FileName, int Lines, int TotalLines) = 0;
  virtual void IncErrorCount() = 0;
  virtual void IncWarningCount() = 0;
  virtual void IncHintCount() = 0;
  virtual void ShowCommandLine(const std::string& Tool, const std::string& Arguments, const std::string& Title) = 0;
  virtual void KibitzResult(const std::string& Task, const std::string& Result) = 0;
  virtual void IncBuildNumber(const std::string& ProjectFile, const std::string& Configuration,
                              const std::string& Platform) = 0;
};

// A task parameter as the engine hands it over: the expanded text, and the items it names.
struct TTaskParameter {
  std::string Text;
  std::vector<TTaskItem> Items;
};

// What a running task may use.
class TTaskContext {
 public:
  virtual ~TTaskContext() = default;
  virtual const std::string& TaskName() const = 0;
  // Names compare without regard to case; empty when the element does not set it.
  virtual bool HasParameter(const std::string& Name) const = 0;
  virtual const TTaskParameter& Parameter(const std::string& Name) const = 0;
  // Text of a Boolean parameter as the engine reads it ("true", "On", "yes" ...).
  virtual bool BoolParameter(const std::string& Name, bool Default) const = 0;
  // Outputs the task hands back (taken by <Output TaskParameter="..."/>).
  virtual void SetOutput(const std::string& Name, std::vector<TTaskItem> Items) = 0;
  virtual void SetOutput(const std::string& Name, const std::string& Text) = 0;
  virtual void Log(const TBuildEvent& E) = 0;
  void LogError(const std::string& Text, const std::string& File = {}, int Line = 0, int Column = 0);
  void LogWarning(const std::string& Text, const std::string& File = {}, int Line = 0, int Column = 0);
  void LogMessage(const std::string& Text, TImportance Importance = imNormal);
  // The project being built: its directory is the base of relative paths.
  virtual const TEvaluatedProject& Project() const = 0;
  virtual std::string ProjectDirectory() const = 0;
  // The host object registered for this task's name, or null.
  virtual ITaskHostObject* HostObject() const = 0;
  virtual bool Cancelled() const = 0;
  virtual TVerbosity Verbosity() const = 0;
  // Builds other projects (the MSBuild task): global properties added to the current ones.
  virtual bool BuildProject(const std::string& FileName, const std::string& Targets, const TPropertyMap& Properties,
                            std::vector<TTaskItem>* Outputs) = 0;
  // Runs targets of the project being built (the CallTarget task); each still runs once.
  virtual bool CallTargets(const std::vector<std::string>& Targets, std::vector<TTaskItem>* Outputs) = 0;
};

// How many tasks the engines of this process have started. A task that finds the count one
// above what it saw when it last ran knows that no other task ran in between.
uint64_t TasksStarted();
// Called by the engine as it starts a task.
void NoteTaskStarted();

// A task returns false when it failed (errors logged through the context).
using TTaskFunction = std::function<bool(TTaskContext&)>;
// Registers a task by name, replacing one of that name; the engine's built-in tasks are
// registered when the registry is first used, before anything else. Thread-safe.
void RegisterTask(const std::string& Name, TTaskFunction Task);
// Registers a task that holds a TFileChanges (filetimes.h) itself while it changes files or
// runs a tool, so that what it checks before may use the times the make knows; the engine
// holds one for every other task while it runs.
void RegisterCheckingTask(const std::string& Name, TTaskFunction Task);
void UnregisterTask(const std::string& Name);
// OwnChanges, when given, receives whether the task was registered as a checking one.
bool FindTask(const std::string& Name, TTaskFunction& Task, bool* OwnChanges = nullptr);

// A tool's output line is kept up to this width; longer ones are cut, marked where (at most a
// message view's line: a diagnostic's place and text come first).
inline constexpr size_t MaxToolLineBytes = 64 * 1024;

// Running a tool: its output line by line, stopped (the process group killed) when Cancel
// is set. Returns the exit code, or -1 when it could not be started or was stopped. The
// program is found as a shell finds it (programs.h); NotStarted, when given, receives why a
// tool could not be started (each place tried and what failed there).
struct TProcessOptions {
  std::vector<std::string> Argv;
  std::string WorkingDirectory;
  // Added to (or replacing) the environment's variables.
  std::vector<std::pair<std::string, std::string>> Environment;
  const std::atomic<bool>* Cancel = nullptr;
  std::function<void(const std::string& Line)> OnLine;  // stdout and stderr, merged
};
int RunProcess(const TProcessOptions& Options, std::string* NotStarted = nullptr);

// A tool's output line read as a diagnostic: "file:line:col: error: text" (and the forms of
// notes, warnings, "In file included from"), and "file(line,col) Error: text". The parser
// keeps the state a compiler's output needs to nest notes under their error.
class TToolOutputParser {
 public:
  enum TStyle { tsGcc, tsFpc };
  TToolOutputParser(TStyle Style, std::string Sender, std::string BaseDirectory);
  // True when the line was a diagnostic; Events receives it (with Id and ParentId set).
  bool Parse(const std::string& Line, std::vector<TBuildEvent>& Events);
  // What is held back (an "In file included from" chain waiting for its error).
  void Flush(std::vector<TBuildEvent>& Events);

 private:
  TStyle FStyle;
  std::string FSender;
  std::string FBase;
  int FLastErrorId = 0;
  std::vector<TBuildEvent> FPending;
};
// Process-wide message ids, never 0.
int NextMessageId();

}  // namespace nxs::engine
