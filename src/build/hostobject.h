// The host object: the environment as the engine's tasks reach it. File times of open files,
// the editor's unsaved text through temporary files, progress and counters, command lines and
// tools, the project's unsaved text and build-number increments. Calls may come on any thread;
// what needs the modules or the user interface is done on the main thread. An exception inside
// an operation ends that operation with its failure result and is shown on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "build/engine/tasks.h"
#include "build/messages/msglines.h"

namespace nxs {

class TBuildConfiguration;

// What tells whether a project must be built and learns how its build went (the project
// builders fill it in). Without it the caller's value stands.
struct TProjectBuildStatusHooks {
  std::function<bool(const std::string& ProjectFile, const std::string& Config, bool& Build)> ShouldBuild;
  std::function<void(const std::string& ProjectFile, const std::string& Config, bool Success)> PostCompile;
};
void SetProjectBuildStatusHooks(TProjectBuildStatusHooks Hooks);

class TNXSHostObject : public engine::ITaskHostObject {
 public:
  TNXSHostObject() = default;
  explicit TNXSHostObject(std::string ProjectFile) : FProjectFullPath(std::move(ProjectFile)) {}
  TNXSHostObject(const TNXSHostObject&) = delete;  // tasks hold it by identity
  TNXSHostObject& operator=(const TNXSHostObject&) = delete;

  // Seconds since the epoch; an open project gives its own date (now while it has unsaved
  // changes); a missing file gives -1. Off the main thread dates come from the compile
  // thread's file cache, not from the editor.
  double GetFileTime(const std::string& FileName) override;
  bool CreateTemporaryFile(const std::string& FileName, std::string& TempName) override;
  // The modified editor buffers' files: those given by SetUnsavedFiles, else asked of the
  // main thread.
  std::optional<std::vector<std::string>> UnsavedFiles() override;
  // What the editor held unsaved when a run started, asked on the main thread: the tasks of
  // the run take it instead of each asking the main thread again.
  void SetUnsavedFiles(std::vector<std::string> Files);
  void DeleteTemporaryFile(const std::string& TempName) override;
  // Always gives an empty name and false.
  bool ForceSaveFile(const std::string& FileName, std::string& NewName);
  // The open project's current text when it has unsaved changes; false (and no text) when it
  // has none. A project that is not open raises "Fatal Error: unable to locate project file".
  bool GetProjectContent(const std::string& FileName, std::string& Content);
  std::string GetProjectFullPath() const;
  void SetProjectFullPath(const std::string& Value);
  void IncBuildNumber(const std::string& ProjectFile, const std::string& Configuration,
                      const std::string& Platform) override;
  void IncErrorCount() override;
  void IncWarningCount() override;
  void IncHintCount() override;
  bool ReportErrorCounts(std::string& Report);
  bool ShouldBuild(const std::string& ProjectFile, const std::string& Configuration, bool& Build);
  void PostCompile(const std::string& ProjectFile, const std::string& Configuration, bool Success);
  // Runs Tool with Arguments; with UseResponseFile the arguments go to a ".rsp" file that the
  // command line names after " @". Output lines go to the "Output" group. False when the
  // tool could not be run.
  bool ExecTool(const std::string& Tool, const std::string& Arguments, bool UseResponseFile, int& ExitCode);
  // Title names the tool (its file name when empty); the heading names the project served.
  void ShowCommandLine(const std::string& Tool, const std::string& Arguments, const std::string& Title) override;
  bool UpdateProgress(int Kind, const std::string& FileName, int Lines, int TotalLines) override;
  void KibitzResult(const std::string& Task, const std::string& Result) override;
  engine::ILogger* GetLogger() const;
  void SetLogger(engine::ILogger* Logger);
  std::shared_ptr<void> GetCallbackObject() const;
  void SetCallbackObject(std::shared_ptr<void> Callback);
  void ClearFileAgeCache();

 private:
  mutable std::mutex FLock;
  std::string FProjectFullPath;
  engine::ILogger* FLogger = nullptr;
  std::shared_ptr<void> FCallback;
  std::optional<std::vector<std::string>> FUnsaved;
};

// A tool's command line in the "Build" group: the heading ("g++ command line for "app.kzproj"")
// and the command under it. A printer of diagnostics alone leaves these lines out.
class TCommandLineLine : public TTitleLine {
 public:
  using TTitleLine::TTitleLine;
};

// The files of the modified editor buffers. Main thread.
std::vector<std::string> UnsavedEditorFiles();

// The command line ExecTool runs: the tool in double quotes, a blank, the arguments.
std::string ToolCommandLine(const std::string& Tool, const std::string& Arguments);
// The build-number step on one configuration: with "VerInfo_AutoIncVersion" on,
// "VerInfo_Build" goes up by one; "FileVersion", "CFBundleVersion" and "versionCode" of
// "VerInfo_Keys" are written from the version numbers, the other keys stay.
void IncBuildNumber(TBuildConfiguration& Config);
// The message the main thread shows for an exception a host-object call raised.
std::string HostObjectExceptionText(const std::exception& E);

}  // namespace nxs
