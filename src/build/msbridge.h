// The bridge to the build engine: runs a project's targets with global properties and a
// verbosity, offers the environment's host objects to the engine's tasks by task name, and
// turns what the engine reports into messages of the "Build" and "Output" groups. Also the
// quiet runs that ask the engine for values (kibitz and evaluation runs) and the engine view
// behind the project document's EngineBuild and EngineQuery.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "build/buildhost.h"
#include "build/engine/engine.h"

namespace nxs {

class IProjectContext;
class TCompilerStream;
namespace engine {
class ITaskHostObject;
}

enum TMSBuildVerbosity { vDefault, vQuiet, vMinimal, vNormal, vDetailed, vDiagnostic, vSTFU };

// What an engine run reads: an open project (its document's current text, unsaved changes
// included) or a project file (the editor's text when the file is open there, else the disk's).
class TMSBuildSource {
 public:
  TMSBuildSource(IProjectContext& Project);  // NOLINT: a project is a source
  TMSBuildSource(std::string FileName);      // NOLINT: so is a file name
  TMSBuildSource(const char* FileName) : TMSBuildSource(std::string(FileName)) {}  // NOLINT

  const std::string& FileName() const { return FFileName; }
  IProjectContext* Project() const { return FProject; }
  // True for the file form, whose run makes the file's directory current.
  bool FromFile() const { return FProject == nullptr; }
  // The text handed to the engine, empty "<ProjectExtensions/>" elements removed. Raises
  // "An unknown error occurred reading "%s"" when there is none.
  std::string Text() const;

 private:
  IProjectContext* FProject = nullptr;
  std::string FFileName;
};

// The builder that runs a project's targets through the engine.
class TMSBuilder : public TBuilder {
 public:
  // DisplayName: the file the progress display names (empty: the project file).
  TMSBuilder(TMSBuildSource Source, std::string Targets, std::string Properties, TMSBuildVerbosity Verbosity,
             std::string DisplayName = {});
  bool DoBuild() override;

 private:
  TMSBuildSource FSource;
  std::string FTargets;
  std::string FProperties;
  TMSBuildVerbosity FVerbosity;
  std::string FDisplayName;
};

// Builds with the targets (names separated by ";") and global properties ("Name=Value"
// pairs separated by ";"); true on success. The file form makes the file's directory current
// for the run and restores it. While the control does not allow background work, background
// compiling is disabled for the run. Inside a running build (a builder's DoBuild) the run
// happens at once on the calling thread.
bool InvokeMSBuild(const TMSBuildSource& Source, const std::string& Targets, const std::string& Properties,
                   const TBuildControl& Control, TMSBuildVerbosity Verbosity, const std::string& DisplayName = {});
// Without messages or progress, outside the build host.
bool InvokeMSBuildSilent(const TMSBuildSource& Source, const std::string& Targets, const std::string& Properties);

// Runs "_Kibitz" with "_KibitzTask=<Task>" (and ";" and Properties when given), quietest, in
// the project's directory; Result is what the task handed back.
bool RunMSBuildKibitzer(const TMSBuildSource& Source, const std::string& Task, const std::string& Properties,
                        std::string& Result);

// The values of Names, in their order, for a configuration and platform. A project without the
// shipped evaluation targets is evaluated by the engine directly. An empty configuration or
// platform is left out of the global properties: the project's own default applies (an empty
// global property would override it).
bool EvaluateMSBuildProperties(const TMSBuildSource& Source, const std::vector<std::string>& Names,
                               const std::string& DependsOnTargets, const std::string& Config,
                               const std::string& Platform, const std::string& FileToCompile,
                               const std::string& ExtraProperties, std::vector<std::string>& Values);
// One property, or one item type (its items separated by ";"), or with MetadataName that
// metadata of each item.
bool EvaluateMSBuild(const TMSBuildSource& Source, const std::string& Name, bool IsItem, const std::string& Config,
                     const std::string& Platform, const std::string& FileToCompile,
                     const std::string& ExtraProperties, const std::string& MetadataName, std::string& Value);
// The global-property texts of the evaluation runs, exactly as they are handed over.
std::string EvaluatePropertiesString(const std::string& Names, const std::string& DependsOnTargets,
                                     const std::string& Config, const std::string& Platform,
                                     const std::string& FileToCompile, const std::string& ExtraProperties);
std::string EvaluateString(const std::string& Name, const std::string& Config, const std::string& Platform,
                           const std::string& FileToCompile, const std::string& ExtraProperties,
                           const std::string& MetadataName);

// The process-wide result text of the last kibitz run.
std::string GetMSBuildKibitzResult();
void ClearMSBuildKibitzResult();
void SetMSBuildKibitzResult(const std::string& Result);

// Host objects by task name: each run offers a new instance to the task of that name.
using THostObjectClass = std::function<std::shared_ptr<engine::ITaskHostObject>(const std::string& ProjectFile)>;
// Raises "A host object for task "%s" is already registered"; the first stays.
void RegisterHostObjectClass(const std::string& TaskName, THostObjectClass Class);
void UnregisterHostObjectClass(const std::string& TaskName);
std::map<std::string, THostObjectClass, engine::TNoCaseLess> HostObjects();

// The text of a file as the editor holds it, or null when it is not open or not modified.
// Main thread.
std::shared_ptr<TCompilerStream> OpenVirtualFile(const std::string& FileName);
// Writes the stream to a new temporary file ("vfs..." in the temporary directory, with Ext)
// and gives its name.
std::string MakeTempFileForVFSStream(const TCompilerStream& Stream, const std::string& Ext = {});

// Connects the build host to the layers below: the project document's engine view, the
// MSBuild macros, the host objects of the shipped tasks, the compiler file services' progress
// monitor. DoneBuildHost undoes it and frees the monitor. The compile tasks are not its to
// register: start-up registers them as the packages' contribution.
void InitBuildHost();
void DoneBuildHost();
// Adds a macro for each MSBuild property name (its value evaluated for the project's active
// configuration and platform); DoneBuildHost removes them.
void RegisterMSBuildMacros(const std::vector<std::string>& Names);

// Values for the command line: the properties (or items, or their metadata) of a project file,
// one per name.
struct TEvaluateRequest {
  std::string FileName;
  std::vector<std::string> Names;
  std::string Config;
  std::string Platform;
  std::string FileToCompile;
  bool Items = false;
  std::string Metadata;
  std::vector<std::string> Properties;  // "Name=Value"
};
std::vector<std::string> EvaluateForCommandLine(const TEvaluateRequest& Request);

}  // namespace nxs
