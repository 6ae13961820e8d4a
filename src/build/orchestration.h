// Build orchestration: a request (make one project, build a group, clean from a project on)
// becomes an ordered list of (project, configuration, platform) entries; the group builder
// runs each entry through the project's builder and reports start, progress, per-project
// results and the overall result through its events. The per-project builders
// (projectbuilder.h) do the real work through the build host.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "build/buildhost.h"
#include "shared/event.h"

namespace nxs {

class TBaseProject;
class TCustomCodeIProject;
class TProjectGroup;
class IProjectBuilder;

// What a build request hands each project's engine run beyond the build control record.
struct TEngineRunSwitches {
  // How many compiler processes a project's build may run at once; 0: the tools' own default.
  int Jobs = 0;
  // Whether a project's build waits for another build (another process) that holds the
  // project's intermediate folder, or fails at once.
  bool WaitForOtherBuilds = true;
  // In the background (where the control allows it) whatever the "BackgroundCompilation"
  // option says.
  bool Background = false;
};

// One entry of a build list.
struct TProjectBuildInfo {
  TCustomCodeIProject* Project = nullptr;
  // Empty when the project has none: the entry is skipped.
  std::shared_ptr<IProjectBuilder> Builder;
  std::string Configuration;
  std::string Platform;
  TEngineRunSwitches Switches;  // the list's
  bool Success = false;         // set by the builder
};

// The builder of one kind of project. Each call sets Entry.Success.
class IProjectBuilder {
 public:
  virtual ~IProjectBuilder() = default;
  virtual void PreBuild(TProjectBuildInfo& Entry, const TBuildControl& Control) = 0;
  virtual void Build(TProjectBuildInfo& Entry, const TBuildControl& Control) = 0;
  virtual void PostBuild(TProjectBuildInfo& Entry, const TBuildControl& Control) = 0;
  // Compiles one source file of the project (the file builder).
  virtual void BuildFile(TProjectBuildInfo& Entry, const std::string& FileName, const TBuildControl& Control) = 0;
  // Bit 2: the project is built with the active one when that option is on (CompileActive).
  virtual int Flags() const { return 0; }
};

// The builder for a project: what the factory set by SetProjectBuilderFactory makes (start-up
// sets the MSBuild project builder's, InitProjectBuilders); none without a factory.
using TProjectBuilderFactory = std::function<std::shared_ptr<IProjectBuilder>(TCustomCodeIProject& Project)>;
std::shared_ptr<IProjectBuilder> ProjectBuilderFor(TCustomCodeIProject& Project);
void SetProjectBuilderFactory(TProjectBuilderFactory Factory);

// The projects a project depends on; by default those its group lists for it.
using TDependencyFn = std::function<std::vector<TBaseProject*>(TBaseProject& Project)>;

class TProjectBuildList {
 public:
  // Every entry, those that ResolveDependencies adds included, carries Switches.
  explicit TProjectBuildList(TEngineRunSwitches Switches = {}) : FSwitches(Switches) {}
  // Empty names take the project's active configuration and platform. An entry equal to one
  // listed (same project, configuration and platform) is not added again: false then.
  bool Add(TCustomCodeIProject* Project, const std::string& Configuration = {}, const std::string& Platform = {});
  void Assign(const TProjectBuildList& Other) {
    FItems = Other.FItems;
    FSwitches = Other.FSwitches;
  }
  void Clear() { FItems.clear(); }
  int Count() const { return static_cast<int>(FItems.size()); }
  const TEngineRunSwitches& Switches() const { return FSwitches; }
  // -1 when the entry is not listed; names compare without regard to case.
  int Find(const TCustomCodeIProject* Project, const std::string& Configuration, const std::string& Platform) const;
  TCustomCodeIProject* GetProject(int Index) const { return FItems.at(static_cast<size_t>(Index)).Project; }
  TProjectBuildInfo& operator[](int Index) { return FItems.at(static_cast<size_t>(Index)); }
  const TProjectBuildInfo& operator[](int Index) const { return FItems.at(static_cast<size_t>(Index)); }
  void Remove(int Index) { FItems.erase(FItems.begin() + Index); }

  // Puts every entry after the entries of the projects it depends on, depth first; each
  // (project, configuration, platform) once, independent projects in their order. A
  // dependency on a project already on the current path (a cycle in a hand-edited group) is
  // cut there; each cycle cut is described once in the result ("a -> b -> a").
  std::vector<std::string> ResolveDependencies(const TDependencyFn& DependenciesOf = {});

 private:
  std::vector<TProjectBuildInfo> FItems;
  TEngineRunSwitches FSwitches;
};

// The group builder's events.
class TEvGroupCompileStarted : public TEvArgs {
 public:
  TEvGroupCompileStarted(IBuilder* Sender, const TBuildControl& Control) : Sender(Sender), Control(Control) {}
  IBuilder* Sender;
  TBuildControl Control;
};
class TEvProjectCompile : public TEvArgs {
 public:
  TEvProjectCompile(IBuilder* Sender, TProjectBuildInfo& Entry, const TBuildControl& Control)
      : Sender(Sender), Entry(Entry), Control(Control) {}
  IBuilder* Sender;
  TProjectBuildInfo& Entry;
  TBuildControl Control;
};
class TEvGroupCompileFinished : public TEvArgs {
 public:
  TEvGroupCompileFinished(IBuilder* Sender, bool Result, const TBuildControl& Control)
      : Sender(Sender), Result(Result), Control(Control) {}
  IBuilder* Sender;
  bool Result;
  TBuildControl Control;
};
// The after-compile notification: a project was built (or failed).
class TEvProjectAfterCompile : public TEvArgs {
 public:
  TEvProjectAfterCompile(TCustomCodeIProject* Project, bool Success) : Project(Project), Success(Success) {}
  TCustomCodeIProject* Project;
  bool Success;
};
using TProjectGroupCompileStartedEvent = TEvent<TEvGroupCompileStarted>;
using TProjectCompileStartedEvent = TEvent<TEvProjectCompile>;
using TProjectCompileFinishedEvent = TEvent<TEvProjectCompile>;
using TProjectGroupCompileFinishedEvent = TEvent<TEvGroupCompileFinished>;
TProjectGroupCompileStartedEvent& ProjectGroupCompileStarted();
TProjectCompileStartedEvent& ProjectCompileStarted();
TProjectCompileFinishedEvent& ProjectCompileFinished();
TProjectGroupCompileFinishedEvent& ProjectGroupCompileFinished();
TEvent<TEvProjectAfterCompile>& ProjectAfterCompile();

// Where the orchestration shows what it does: the progress window's title and the main
// window's status area. The host fills it in; by default nothing is shown.
class IBuildDisplay {
 public:
  virtual ~IBuildDisplay() = default;
  virtual void SetTitle(const std::string& Title) = 0;
  virtual void SetStatus(const std::string& Text) = 0;
};
IBuildDisplay& BuildDisplay();
void SetBuildDisplay(std::shared_ptr<IBuildDisplay> Display);

// Runs a list of entries: dependencies resolved first (make, build and link), each entry's
// builder in order, stopping at the first failure; every builder's PostBuild at the end.
class TProjectGroupBuilder : public TBuilder {
 public:
  TProjectGroupBuilder(const TProjectBuildList& List, const TBuildControl& Control);
  TProjectGroupBuilder(const TProjectGroupBuilder&) = delete;  // one per build
  TProjectGroupBuilder& operator=(const TProjectGroupBuilder&) = delete;

  bool PreBuild() override;
  bool DoBuild() override;
  bool PostBuild() override;

  const TProjectBuildList& List() const { return FList; }
  // The entry being built, or nullptr.
  TProjectBuildInfo* Current() { return FCurrent < 0 ? nullptr : &FList[FCurrent]; }
  // The cycles that dependency resolution cut.
  const std::vector<std::string>& Cycles() const { return FCycles; }
  void SetDependencies(TDependencyFn Fn) { FDependencies = std::move(Fn); }

 private:
  const TBuildControl& Control() const;

  TProjectBuildList FList;
  TBuildControl FControl;
  TDependencyFn FDependencies;
  int FCurrent = -1;
  bool FSuccess = true;
  TCustomCodeIProject* FFailed = nullptr;
  std::vector<std::string> FCycles;
};

// Compiles single files of a project, stopping at the first that fails.
class TFileBuilder : public TBuilder {
 public:
  TFileBuilder(TCustomCodeIProject* Project, std::vector<std::string> Files, const TBuildControl& Control);
  bool PreBuild() override;
  bool DoBuild() override;
  bool PostBuild() override;

 private:
  TProjectBuildInfo FEntry;
  std::vector<std::string> FFiles;
  TBuildControl FControl;
};

// How builders reach the build host; tests and the host may put their own runner in place.
using TBuildRunner = std::function<TCompileResult(std::shared_ptr<IBuilder> Builder, const TBuildControl& Control)>;
void SetBuildRunner(TBuildRunner Runner);

TCompileResult BuildProject(TCustomCodeIProject* Project, const TBuildControl& Control);
TCompileResult BuildProjects(const TProjectBuildList& List, const TBuildControl& Control);
TCompileResult CompileFile(TCustomCodeIProject* Project, const std::string& FileName, const TBuildControl& Control);
TCompileResult CompileFiles(TCustomCodeIProject* Project, const std::vector<std::string>& Files,
                            const TBuildControl& Control);

// The group of an open project, or nullptr.
TProjectGroup* GroupOfProject(const TBaseProject* Project);
// The project that holds FileName: an open one, else the first project file (".vproj",
// ".kzproj", in name order) of the file's folder or a folder above it that lists the file,
// opened through the default open routine; nullptr when there is none.
TCustomCodeIProject* ProjectOfFile(const std::string& FileName);

// The group's build commands. CompileAll lists every project from FromProject on (all when
// null) in build order; CompileActive the active project (and, with the option below, every
// project whose builder carries flag 2). Both go through CompileProjects, which reports
// success for crSucceeded and crBackground.
bool CompileAll(TProjectGroup& Group, TCompileMode Mode, bool Wait, TBaseProject* FromProject = nullptr);
bool CompileActive(TProjectGroup& Group, TCompileMode Mode, bool Wait);
bool CompileProjects(const TProjectBuildList& List, TCompileMode Mode, bool ChangeActiveOnError, bool ClearMessages,
                     bool Wait);
// The option that widens CompileActive; off by default.
void SetCompileActiveWithFlagged(bool On);

// A build asked for from the command line.
struct TBuildCommand {
  TCompileMode Mode = cmMake;
  // Empty: each project's active one. A project that lacks the configuration (or does not
  // support the platform) is built with its active one.
  std::string Configuration;
  std::string Platform;
  std::string From;        // a project of the group: the group from it on
  std::string BuildGroup;  // a build group of the group
  bool Background = false;  // whatever the "BackgroundCompilation" option says
  int Jobs = 0;
  bool Wait = true;  // for another build that holds a project's intermediate folder
};
// "make", "build", "clean", "check", "link"; false for any other word.
bool CompileModeFromWord(std::string_view Word, TCompileMode& Mode);
// Builds what the command names of Group (opened from a group file) or of Project (opened
// alone) and waits for the end: the messages are in the "Build" group, the result in the
// build host. Raises for a --from project that is not in the group and a build group that
// does not exist.
TCompileResult RunBuildCommand(const TBuildCommand& Command, TProjectGroup* Group, TCustomCodeIProject* Project);

}  // namespace nxs
