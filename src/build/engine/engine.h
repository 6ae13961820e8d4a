// The build engine: reads MSBuild project files (ours and hand-written ones), evaluates them
// in the engine's passes (properties, imports, item definitions, items) and runs their
// targets and tasks. It knows nothing of the environment: the build host hands it global
// properties, a logger, host objects by task name and a cancel flag.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shared/exceptions.h"

namespace nxs::engine {

// Bad project text, a malformed condition, an unknown property function, a missing import:
// the message names the file, line and column ("file(line,col): error: text"); Text is the
// message alone, for loggers that show the place apart.
class EEngineError : public Exception {
 public:
  EEngineError(const std::string& Text, std::string File = {}, int Line = 0, int Column = 0);
  std::string Text;
  std::string File;
  int Line;
  int Column;
};

// Names of properties, items, metadata and targets compare without regard to case.
struct TNoCaseLess {
  bool operator()(const std::string& A, const std::string& B) const;
};
using TPropertyMap = std::map<std::string, std::string, TNoCaseLess>;

// An item as tasks see it: its evaluated include and its metadata (escaped values unescaped).
struct TTaskItem {
  std::string ItemSpec;
  TPropertyMap Metadata;
  // The directory a relative ItemSpec is taken from (the project's); empty: the current one.
  std::string BaseDirectory;
  // The well-known metadata (FullPath, Filename, ...) and the custom metadata.
  std::string GetMetadata(const std::string& Name) const;
};

// What the engine reports while it builds; called on the thread that runs the build.
enum TEventKind { ekError, ekWarning, ekMessage, ekProjectStarted, ekProjectFinished, ekTargetStarted,
                  ekTargetFinished, ekTaskStarted, ekTaskFinished, ekOutput };
enum TImportance { imHigh, imNormal, imLow };
struct TBuildEvent {
  TEventKind Kind = ekMessage;
  TImportance Importance = imNormal;
  std::string Text;
  std::string File;
  int Line = 0;
  int Column = 0;
  std::string Code;
  std::string HelpKeyword;
  // The tool that reported it (a compiler's name); empty for the engine itself.
  std::string Sender;
  // Ids let a tool nest notes and "In file included from" lines under their error.
  int Id = 0;
  int ParentId = 0;
  bool Succeeded = true;  // for ek...Finished
};
class ILogger {
 public:
  virtual ~ILogger() = default;
  virtual void Event(const TBuildEvent& E) = 0;
};

// Verbosity, quietest last (as the build host passes it).
enum TVerbosity { vbDefault, vbQuiet, vbMinimal, vbNormal, vbDetailed, vbDiagnostic, vbSilent };

class ITaskHostObject;  // tasks.h

struct TBuildRequest {
  TPropertyMap GlobalProperties;
  ILogger* Logger = nullptr;
  TVerbosity Verbosity = vbNormal;
  // Offered to the task of that name (host objects registered by task name).
  std::map<std::string, std::shared_ptr<ITaskHostObject>, TNoCaseLess> HostObjects;
  // Set by another thread to stop the build: tasks stop their processes and the build fails.
  const std::atomic<bool>* Cancel = nullptr;
  // Text to read in place of the file on disk (an open project with unsaved changes).
  std::string ProjectText;
  bool UseProjectText = false;
};

// One evaluated project: what evaluation computed, read by eval commands and by the build.
class TEvaluatedProject {
 public:
  virtual ~TEvaluatedProject() = default;
  virtual const std::string& FullPath() const = 0;
  // Empty string for a property that is not defined.
  virtual std::string GetPropertyValue(const std::string& Name) const = 0;
  virtual bool HasProperty(const std::string& Name) const = 0;
  virtual std::vector<TTaskItem> GetItems(const std::string& ItemType) const = 0;
  // Expands $(...), @(...) and %(...) of text in the evaluated project (outside a target).
  virtual std::string Expand(const std::string& Text) const = 0;
  virtual bool HasTarget(const std::string& Name) const = 0;
};

class TEngine {
 public:
  TEngine();
  ~TEngine();
  TEngine(const TEngine&) = delete;
  TEngine& operator=(const TEngine&) = delete;

  // Reads and evaluates a project file (or Request.ProjectText under its name). Raises
  // EEngineError.
  std::shared_ptr<TEvaluatedProject> Evaluate(const std::string& FileName, const TBuildRequest& Request);
  // Runs Targets (names separated by ";"; empty: the default targets) of the project; each
  // target runs once per build (per project and global properties). Errors are logged, not
  // raised; true on success. Outputs receives the Returns (or, where no target of the
  // project has Returns, the Outputs) of the targets named, in order.
  bool Build(const std::string& FileName, const std::string& Targets, const TBuildRequest& Request,
             std::vector<TTaskItem>* Outputs = nullptr);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// "Name=Value;Name2=Value2" as the build host passes global properties.
TPropertyMap ParsePropertyString(const std::string& Properties);

}  // namespace nxs::engine
