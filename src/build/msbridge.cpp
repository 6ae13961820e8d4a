#include "build/msbridge.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <optional>
#include <thread>

#include "build/compilers/compilers.h"
#include "build/engine/tasks.h"
#include "build/hostobject.h"
#include "build/messages/filesvc.h"
#include "build/progress.h"
#include "build/resstrings.h"
#include "editor/buffers/editbuffer.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/configs.h"
#include "projectfiles/macros.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/xmlio.h"
#include "shared/dosdate.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/install.h"
#include "shared/mainthread.h"
#include "shared/text.h"

namespace nxs {

namespace {

// ---- what the engine reports ----

// Turns the engine's events into message records: errors, warnings and the notes a tool nests
// under them go to the "Build" group; the rest, as far as the verbosity shows it, to "Output".
// A silent run keeps only the errors' texts, for its caller. A tool's hint comes as a message
// whose text starts with "Hint: ".
class TEngineLogger : public engine::ILogger {
  static constexpr std::string_view HintPrefix = "Hint: ";

 public:
  TEngineLogger(TMSBuildVerbosity Verbosity, bool Silent) : FVerbosity(Verbosity), FSilent(Silent) {
    if (FVerbosity == vDefault) FVerbosity = vNormal;
  }

  void Event(const engine::TBuildEvent& E) override {
    if (E.Kind == engine::ekError) {
      std::lock_guard G(FLock);
      FErrors.push_back(E.File.empty() ? E.Text : Format("%s(%d): %s", E.File, E.Line, E.Text));
    }
    if (FSilent) return;
    switch (E.Kind) {
      case engine::ekError:
        PostBuild(E, msgError);
        break;
      case engine::ekWarning:
        PostBuild(E, msgWarn);
        break;
      case engine::ekMessage:
        if (!E.File.empty() && StartsText(HintPrefix, E.Text)) {
          engine::TBuildEvent Hint = E;
          Hint.Text.erase(0, HintPrefix.size());
          PostBuild(Hint, msgHint);
        } else if (E.ParentId != 0 || !E.File.empty()) {
          PostBuild(E, msgInfo);
        } else if (Shows(E.Importance)) {
          BuildHost().Messages().PostOutputMessage(E.Text);
        }
        break;
      case engine::ekOutput:
        if (FVerbosity >= vMinimal) BuildHost().Messages().PostOutputMessage(E.Text);
        break;
      default:
        // Projects and targets starting and finishing: shown from the detailed verbosity on.
        if (FVerbosity >= vDetailed && !E.Text.empty()) BuildHost().Messages().PostOutputMessage(E.Text);
        break;
    }
  }

  std::vector<std::string> Errors() const {
    std::lock_guard G(FLock);
    return FErrors;
  }

 private:
  bool Shows(engine::TImportance Importance) const {
    switch (Importance) {
      case engine::imHigh:
        return FVerbosity >= vMinimal;
      case engine::imNormal:
        return FVerbosity >= vNormal;
      case engine::imLow:
        return FVerbosity >= vDetailed;
    }
    return false;
  }

  // The tasks count what they report through their host object; the logger only shows it.
  void PostBuild(const engine::TBuildEvent& E, TMsgKind Kind) {
    TMessageInfo Info;
    Info.MsgKind = Kind;
    Info.Filename = E.File;
    Info.Message = E.Text;
    Info.Prefix = E.Sender;
    Info.Code = E.Code;
    Info.HelpKeyword = E.HelpKeyword;
    Info.Line = E.Line;
    Info.Col = E.Column;
    Info.Parent = E.ParentId;
    Info.Id = E.Id;
    BuildHost().Messages().PostBuildMessage(std::move(Info));
  }

  TMSBuildVerbosity FVerbosity;
  bool FSilent;
  mutable std::mutex FLock;
  std::vector<std::string> FErrors;
};

// ---- running the engine ----

// The thread the engine runs on: made for the first run and kept for the next, so that a make
// of a group of a thousand projects does not start and end a thousand threads. A run asked
// for while it is busy (an evaluation the main thread starts while a build runs) gets a
// thread of its own.
class TEngineThread {
 public:
  TEngineThread() : FThread([this] { Loop(); }) {}
  ~TEngineThread() {
    {
      std::lock_guard G(FLock);
      FStop = true;
    }
    FWake.notify_all();
    FThread.join();
  }
  TEngineThread(const TEngineThread&) = delete;  // the thread runs on its state
  TEngineThread& operator=(const TEngineThread&) = delete;

  // Hands Job to the thread, which sets Done once it is free for the next; false when it is
  // busy.
  bool TryRun(std::function<void()> Job, std::atomic<bool>& Done) {
    {
      std::lock_guard G(FLock);
      if (FJob || FBusy) return false;
      FJob = std::move(Job);
      FDone = &Done;
    }
    FWake.notify_all();
    return true;
  }

 private:
  void Loop() {
    SetCurrentThreadName("Build Engine");
    std::unique_lock L(FLock);
    for (;;) {
      FWake.wait(L, [this] { return FStop || FJob; });
      if (FStop) return;
      std::function<void()> Job = std::move(FJob);
      std::atomic<bool>* Done = FDone;
      FJob = nullptr;
      FBusy = true;
      L.unlock();
      Job();
      Job = nullptr;
      L.lock();
      FBusy = false;
      // Free before the caller hears of it: its next run finds the thread waiting.
      *Done = true;
      MainThreadQueue().Queue([] {});  // wakes the caller's pump
    }
  }

  std::mutex FLock;
  std::condition_variable FWake;
  std::function<void()> FJob;
  std::atomic<bool>* FDone = nullptr;
  bool FBusy = false;
  bool FStop = false;
  std::thread FThread;  // last: starts once the state above is made
};

TEngineThread& EngineThread() {
  static TEngineThread Thread;
  return Thread;
}

// The engine runs off the main thread, which meanwhile serves what the tasks hand it (their
// host-object calls, messages). Called off the main thread, it runs right there.
template <class F>
auto OffMainThread(F&& Fn) -> decltype(Fn()) {
  if (!MainThreadQueue().IsMainThread()) return Fn();
  decltype(Fn()) Result{};
  std::exception_ptr Error;
  std::atomic<bool> Done{false};
  auto Job = [&] {
    try {
      Result = Fn();
    } catch (...) {
      Error = std::current_exception();
    }
  };
  std::thread Own;
  if (!EngineThread().TryRun(Job, Done))
    Own = std::thread([&] {
      SetCurrentThreadName("Build Engine");
      Job();
      Done = true;
      MainThreadQueue().Queue([] {});  // wakes the pump below
    });
  while (!Done) MainThreadQueue().WaitAndProcess(50);
  if (Own.joinable()) Own.join();
  if (Error) std::rethrow_exception(Error);
  return Result;
}

// Makes a directory current for a while.
class TCurrentDirectory {
 public:
  explicit TCurrentDirectory(const std::string& Dir) {
    std::error_code Ec;
    FSaved = std::filesystem::current_path(Ec);
    if (Ec || Dir.empty()) return;
    std::filesystem::current_path(Dir, Ec);
    FChanged = !Ec;
  }
  ~TCurrentDirectory() {
    std::error_code Ec;
    if (FChanged) std::filesystem::current_path(FSaved, Ec);
  }
  TCurrentDirectory(const TCurrentDirectory&) = delete;  // restores once
  TCurrentDirectory& operator=(const TCurrentDirectory&) = delete;

 private:
  std::filesystem::path FSaved;
  bool FChanged = false;
};

struct TRunOptions {
  TMSBuildVerbosity Verbosity = vNormal;
  bool Silent = false;
  // Evaluation runs: an empty "Config" or "Platform" is left to the project's default.
  bool DropEmptyConfig = false;
};

struct TRunResult {
  bool Ok = false;
  std::vector<std::string> Errors;
};

// "Name=Value" pairs separated by ";". A piece without "=" continues the value before it, so
// that a list of names survives ("_EvaluatePropertyNames=A;B"); a value in double quotes (a
// file name with blanks) is the text between them.
engine::TPropertyMap ParseGlobalProperties(const std::string& Properties) {
  engine::TPropertyMap Map;
  std::string* Last = nullptr;
  for (const std::string& Piece : Split(Properties, ';')) {
    const size_t Eq = Piece.find('=');
    if (Eq == std::string::npos) {
      if (Last) *Last += ";" + Piece;
      continue;
    }
    const std::string Name = Trim(Piece.substr(0, Eq));
    if (Name.empty()) {
      Last = nullptr;
      continue;
    }
    Last = &(Map[Name] = Trim(Piece.substr(Eq + 1)));
  }
  for (auto& [Name, Value] : Map)
    if (Value.size() >= 2 && Value.front() == '"' && Value.back() == '"') Value = Value.substr(1, Value.size() - 2);
  return Map;
}

// Text null: the engine reads the file itself.
engine::TBuildRequest MakeRequest(const std::string& FileName, const std::string* Text,
                                  const std::string& Properties, const TRunOptions& Options, TEngineLogger& Logger,
                                  const std::optional<std::vector<std::string>>& Unsaved = std::nullopt) {
  engine::TBuildRequest R;
  R.GlobalProperties = ParseGlobalProperties(Properties);
  if (Options.DropEmptyConfig) {
    for (const char* Name : {"Config", "Platform"}) {
      auto It = R.GlobalProperties.find(Name);
      if (It != R.GlobalProperties.end() && It->second.empty()) R.GlobalProperties.erase(It);
    }
  }
  R.Logger = &Logger;
  R.Verbosity = static_cast<engine::TVerbosity>(Options.Verbosity);
  if (Text) {
    R.ProjectText = *Text;
    R.UseProjectText = true;
  }
  if (!Options.Silent) R.Cancel = &ProgressMonitor().CancelFlag();
  for (const auto& [Task, Class] : HostObjects()) {
    std::shared_ptr<engine::ITaskHostObject> Object = Class(FileName);
    if (auto* Ours = dynamic_cast<TNXSHostObject*>(Object.get())) {
      Ours->SetLogger(&Logger);
      if (Unsaved) Ours->SetUnsavedFiles(*Unsaved);
    }
    if (Object) R.HostObjects[Task] = std::move(Object);
  }
  return R;
}

TRunResult RunTargets(const std::string& FileName, const std::string* Text, const std::string& Targets,
                      const std::string& Properties, const TRunOptions& Options) {
  TEngineLogger Logger(Options.Verbosity, Options.Silent);
  TRunResult Result;
  // The editor's unsaved files as the run starts, for the run's tasks, while the main thread
  // is at hand.
  std::optional<std::vector<std::string>> Unsaved;
  if (MainThreadQueue().IsMainThread()) Unsaved = UnsavedEditorFiles();
  Result.Ok = OffMainThread([&] {
    engine::TBuildRequest R = MakeRequest(FileName, Text, Properties, Options, Logger, Unsaved);
    engine::TEngine Engine;
    return Engine.Build(FileName, Targets, R);
  });
  Result.Errors = Logger.Errors();
  return Result;
}

// Removes every empty "<ProjectExtensions/>" element (blanks before the slash allowed).
std::string StripEmptyProjectExtensions(std::string Text) {
  static const std::string Open = "<ProjectExtensions";
  size_t From = 0;
  while ((From = Text.find(Open, From)) != std::string::npos) {
    size_t P = From + Open.size();
    while (P < Text.size() && (Text[P] == ' ' || Text[P] == '\t' || Text[P] == '\r' || Text[P] == '\n')) ++P;
    if (Text.compare(P, 2, "/>") == 0) {
      Text.erase(From, P + 2 - From);
    } else {
      From = P;
    }
  }
  return Text;
}

// ---- the kibitz result and the host-object classes ----

std::mutex& BridgeLock() {
  static std::mutex Lock;
  return Lock;
}
std::string& KibitzResultText() {
  static std::string Text;
  return Text;
}
std::map<std::string, THostObjectClass, engine::TNoCaseLess>& HostObjectClasses() {
  static std::map<std::string, THostObjectClass, engine::TNoCaseLess> Classes;
  return Classes;
}

// ---- the engine view of a project document ----

class TEngineProjectView : public IEngineProjectView {
 public:
  TEngineProjectView(const std::string& Xml, std::string FileName)
      : FText(StripEmptyProjectExtensions(Xml)), FFileName(std::move(FileName)) {}
  // The document is the file on disk as it was read: the engine reads the file itself (a
  // make of a group parses what it has parsed before once, with the places the user sees).
  explicit TEngineProjectView(std::string FileName) : FFileName(std::move(FileName)) {}

  bool Build(const std::string& Targets, const std::string& Properties, int Verbosity) override {
    TRunOptions O;
    O.Verbosity = Verbosity >= vDefault && Verbosity <= vSTFU ? static_cast<TMSBuildVerbosity>(Verbosity) : vNormal;
    O.Silent = O.Verbosity == vSTFU;
    return RunTargets(FFileName, FText ? &*FText : nullptr, Targets, Properties, O).Ok;
  }

  // Text is expanded in the evaluated project: "$(OutputPath)", "@(Compile)".
  bool Query(const std::string& Text, std::string& Result) override {
    Result.clear();
    TEngineLogger Logger(vSTFU, true);
    TRunOptions O;
    O.Silent = true;
    engine::TBuildRequest R = MakeRequest(FFileName, FText ? &*FText : nullptr, {}, O, Logger);
    engine::TEngine Engine;
    try {
      Result = Engine.Evaluate(FFileName, R)->Expand(Text);
      return true;
    } catch (const engine::EEngineError&) {
      return false;
    }
  }

 private:
  std::optional<std::string> FText;
  std::string FFileName;
};

// ---- evaluation ----

std::string ItemsValue(const engine::TEvaluatedProject& P, const std::string& Type, const std::string& Metadata) {
  std::vector<std::string> Parts;
  for (const engine::TTaskItem& Item : P.GetItems(Type))
    Parts.push_back(Metadata.empty() ? Item.ItemSpec : Item.GetMetadata(Metadata));
  return Join(Parts, ";");
}

// The evaluation runs' common part: the values a target hands back through the kibitz
// result, or, for a project without the shipped targets, what evaluation computed.
TRunResult RunEvaluation(const TMSBuildSource& Source, const std::string& Target, const std::string& Properties,
                         const std::function<void(const engine::TEvaluatedProject&)>& Direct,
                         std::string& KibitzText) {
  const std::string Text = Source.Text();
  TCurrentDirectory Dir(ExtractFileDir(Source.FileName()));
  TRunOptions O;
  O.Verbosity = vSTFU;
  O.Silent = true;
  O.DropEmptyConfig = true;
  TEngineLogger Logger(O.Verbosity, O.Silent);
  TRunResult Result;
  bool ThroughTargets = false;
  // One engine for both steps: the build reads the files the evaluation has read already.
  Result.Ok = OffMainThread([&] {
    engine::TBuildRequest R = MakeRequest(Source.FileName(), &Text, Properties, O, Logger);
    engine::TEngine Engine;
    std::shared_ptr<engine::TEvaluatedProject> Evaluated = Engine.Evaluate(Source.FileName(), R);
    if (!Evaluated->HasTarget(res::SEvaluatePropertiesTarget)) {
      Direct(*Evaluated);
      return true;
    }
    ThroughTargets = true;
    ClearMSBuildKibitzResult();
    return Engine.Build(Source.FileName(), Target, R);
  });
  Result.Errors = Logger.Errors();
  if (ThroughTargets) KibitzText = GetMSBuildKibitzResult();
  return Result;
}

void AppendFileAndExtras(std::string& S, const std::string& FileToCompile, const std::string& ExtraProperties) {
  if (!FileToCompile.empty()) S += std::string(res::SFileToCompileProp) + "\"" + FileToCompile + "\"";
  if (!ExtraProperties.empty()) S += ";" + ExtraProperties;
}

TRunResult EvaluateProperties(const TMSBuildSource& Source, const std::vector<std::string>& Names,
                              const std::string& DependsOnTargets, const std::string& Config,
                              const std::string& Platform, const std::string& FileToCompile,
                              const std::string& ExtraProperties, std::vector<std::string>& Values) {
  Values.clear();
  std::string Kibitz;
  TRunResult R = RunEvaluation(
      Source, res::SEvaluatePropertiesTarget,
      EvaluatePropertiesString(Join(Names, ";"), DependsOnTargets, Config, Platform, FileToCompile, ExtraProperties),
      [&](const engine::TEvaluatedProject& P) {
        for (const std::string& Name : Names) Values.push_back(P.GetPropertyValue(Name));
      },
      Kibitz);
  if (R.Ok && Values.empty() && !Names.empty()) {
    Values = Split(Kibitz, '|');
    Values.resize(Names.size());
  }
  return R;
}

TRunResult EvaluateOne(const TMSBuildSource& Source, const std::string& Name, bool IsItem, const std::string& Config,
                       const std::string& Platform, const std::string& FileToCompile,
                       const std::string& ExtraProperties, const std::string& MetadataName, std::string& Value) {
  Value.clear();
  bool Direct = false;
  TRunResult R = RunEvaluation(
      Source, IsItem ? res::SEvaluateItemTarget : res::SEvaluatePropertyTarget,
      EvaluateString(Name, Config, Platform, FileToCompile, ExtraProperties, MetadataName),
      [&](const engine::TEvaluatedProject& P) {
        Direct = true;
        Value = IsItem ? ItemsValue(P, Name, MetadataName) : P.GetPropertyValue(Name);
      },
      Value);
  if (!R.Ok && !Direct) Value.clear();
  return R;
}

}  // namespace

// ---- sources ----

TMSBuildSource::TMSBuildSource(IProjectContext& Project) : FProject(&Project), FFileName(Project.GetFileName()) {}
TMSBuildSource::TMSBuildSource(std::string FileName) : FFileName(ExpandFileName(FileName)) {}

std::string TMSBuildSource::Text() const {
  if (!FProject || !FProject->GetProjectFile()) CheckRegularProjectFile(FFileName);
  try {
    if (FProject)
      if (IMSProjectFile* Doc = FProject->GetProjectFile()) return StripEmptyProjectExtensions(Doc->GetXml());
    std::string Text;
    if (!(MainThreadQueue().IsMainThread() && GetOpenBufferText(FFileName, Text)))
      Text = FileSystem().ReadFile(FFileName);
    return StripEmptyProjectExtensions(std::move(Text));
  } catch (const std::exception&) {
    throw Exception(Format(res::SUnknownProjectReadError, FFileName));
  }
}

// ---- the builder ----

TMSBuilder::TMSBuilder(TMSBuildSource Source, std::string Targets, std::string Properties,
                       TMSBuildVerbosity Verbosity, std::string DisplayName)
    : FSource(std::move(Source)), FTargets(std::move(Targets)), FProperties(std::move(Properties)),
      FVerbosity(Verbosity), FDisplayName(std::move(DisplayName)) {}

bool TMSBuilder::DoBuild() {
  // The intermediate folders the run locked are let go when it ends, however it ends.
  struct TLocks {
    ~TLocks() { compilers::ReleaseBuildLocks(); }
  } Locks;
  TProgressMonitor& Monitor = ProgressMonitor();
  Monitor.SetFileName(FDisplayName.empty() ? FSource.FileName() : FDisplayName);
  Monitor.DoUpdate();
  bool Ok;
  IMSProjectFile* Doc = FSource.Project() ? FSource.Project()->GetProjectFile() : nullptr;
  if (Doc) {
    // Through the document's engine view: the cached one while a background compile runs.
    Ok = Doc->EngineBuild(FTargets, FProperties, FVerbosity);
  } else {
    TRunOptions O;
    O.Verbosity = FVerbosity;
    O.Silent = FVerbosity == vSTFU;
    const std::string Text = FSource.Text();
    Ok = RunTargets(FSource.FileName(), &Text, FTargets, FProperties, O).Ok;
  }
  if (!Ok) Monitor.IncErrorCount(msgError);
  FResult = Ok ? crSucceeded : crFailed;
  return Ok;
}

// ---- the bridge ----

bool InvokeMSBuild(const TMSBuildSource& Source, const std::string& Targets, const std::string& Properties,
                   const TBuildControl& Control, TMSBuildVerbosity Verbosity, const std::string& DisplayName) {
  struct TBackgroundGuard {
    bool Disabled;
    explicit TBackgroundGuard(bool Disable) : Disabled(Disable) {
      if (Disabled) DisableBackgroundCompiling();
    }
    ~TBackgroundGuard() {
      if (Disabled) EnableBackgroundCompiling();
    }
  } Guard(!Control.FAllowBackground);
  std::unique_ptr<TCurrentDirectory> Dir;
  if (Source.FromFile()) Dir = std::make_unique<TCurrentDirectory>(ExtractFileDir(Source.FileName()));
  auto Builder = std::make_shared<TMSBuilder>(Source, Targets, Properties, Verbosity, DisplayName);
  // Inside a running build (a group builder's DoBuild) the run is part of that build.
  if (OnCompileThread() || BuildHost().Building()) return Builder->DoBuild();
  return BuildHost().Build(Builder, Control) != crFailed;
}

bool InvokeMSBuildSilent(const TMSBuildSource& Source, const std::string& Targets, const std::string& Properties) {
  TRunOptions O;
  O.Verbosity = vSTFU;
  O.Silent = true;
  const std::string Text = Source.Text();
  return RunTargets(Source.FileName(), &Text, Targets, Properties, O).Ok;
}

bool RunMSBuildKibitzer(const TMSBuildSource& Source, const std::string& Task, const std::string& Properties,
                        std::string& Result) {
  std::string Props = res::SKibitzTaskProperty + Task;
  if (!Properties.empty()) Props += ";" + Properties;
  const std::string Text = Source.Text();
  TCurrentDirectory Dir(ExtractFileDir(Source.FileName()));
  ClearMSBuildKibitzResult();
  TRunOptions O;
  O.Verbosity = vSTFU;
  O.Silent = true;
  const bool Ok = RunTargets(Source.FileName(), &Text, res::SKibitzTarget, Props, O).Ok;
  Result = GetMSBuildKibitzResult();
  return Ok;
}

std::string EvaluatePropertiesString(const std::string& Names, const std::string& DependsOnTargets,
                                     const std::string& Config, const std::string& Platform,
                                     const std::string& FileToCompile, const std::string& ExtraProperties) {
  std::string S = Format(res::SEvaluatePropertiesProps, Names, DependsOnTargets, Config, Platform);
  AppendFileAndExtras(S, FileToCompile, ExtraProperties);
  return S;
}

std::string EvaluateString(const std::string& Name, const std::string& Config, const std::string& Platform,
                           const std::string& FileToCompile, const std::string& ExtraProperties,
                           const std::string& MetadataName) {
  std::string S = Format(res::SEvaluateProps, Name, Config, Platform);
  AppendFileAndExtras(S, FileToCompile, ExtraProperties);
  if (!MetadataName.empty()) S = Format(res::SEvaluateMetadataProps, S, MetadataName);
  return S;
}

bool EvaluateMSBuildProperties(const TMSBuildSource& Source, const std::vector<std::string>& Names,
                               const std::string& DependsOnTargets, const std::string& Config,
                               const std::string& Platform, const std::string& FileToCompile,
                               const std::string& ExtraProperties, std::vector<std::string>& Values) {
  try {
    return EvaluateProperties(Source, Names, DependsOnTargets, Config, Platform, FileToCompile, ExtraProperties,
                              Values)
        .Ok;
  } catch (const engine::EEngineError&) {
    return false;
  }
}

bool EvaluateMSBuild(const TMSBuildSource& Source, const std::string& Name, bool IsItem, const std::string& Config,
                     const std::string& Platform, const std::string& FileToCompile,
                     const std::string& ExtraProperties, const std::string& MetadataName, std::string& Value) {
  try {
    return EvaluateOne(Source, Name, IsItem, Config, Platform, FileToCompile, ExtraProperties, MetadataName, Value)
        .Ok;
  } catch (const engine::EEngineError&) {
    return false;
  }
}

std::string GetMSBuildKibitzResult() {
  std::lock_guard G(BridgeLock());
  return KibitzResultText();
}

void ClearMSBuildKibitzResult() { SetMSBuildKibitzResult({}); }

void SetMSBuildKibitzResult(const std::string& Result) {
  std::lock_guard G(BridgeLock());
  KibitzResultText() = Result;
}

void RegisterHostObjectClass(const std::string& TaskName, THostObjectClass Class) {
  std::lock_guard G(BridgeLock());
  if (!HostObjectClasses().emplace(TaskName, std::move(Class)).second)
    throw Exception(Format(res::SHostObjectRegistered, TaskName));
}

void UnregisterHostObjectClass(const std::string& TaskName) {
  std::lock_guard G(BridgeLock());
  HostObjectClasses().erase(TaskName);
}

std::map<std::string, THostObjectClass, engine::TNoCaseLess> HostObjects() {
  std::lock_guard G(BridgeLock());
  return HostObjectClasses();
}

// ---- files the editor holds ----

std::shared_ptr<TCompilerStream> OpenVirtualFile(const std::string& FileName) {
  std::shared_ptr<TEditBuffer> Buffer = TEditBuffer::FindBuffer(FileName);
  if (!Buffer || !Buffer->GetIsModified()) return nullptr;
  std::string Text;
  if (!GetOpenBufferText(FileName, Text)) return nullptr;
  return std::make_shared<TCompilerStream>(TCompilerStream::skMemory, std::move(Text),
                                           UnixToFileDate(std::time(nullptr)), FileName);
}

std::string MakeTempFileForVFSStream(const TCompilerStream& Stream, const std::string& Ext) {
  const std::string Name = NewVFSTempName(Ext);
  FileSystem().WriteFile(Name, Stream.Data());
  return Name;
}

// ---- start-up ----


namespace {

// The shipped tasks that call back into the environment.
const char* const ShippedHostTasks[] = {"PascalCompiler", "CppCompiler", "EvaluateProperties",
                                        "EvaluateItem",   "KibitzResult", "Exec"};
// Properties of the shipped targets that build-event commands use and no built-in macro names.
const char* const ShippedMSBuildMacros[] = {"IntermediateDir"};

std::vector<std::shared_ptr<TMSBuildMacro>>& RegisteredMacros() {
  static std::vector<std::shared_ptr<TMSBuildMacro>> Macros;
  return Macros;
}

}  // namespace

void RegisterMSBuildMacros(const std::vector<std::string>& Names) {
  for (const std::string& Name : Names) {
    RegisteredMacros().push_back(std::make_shared<TMSBuildMacro>(Name));
    IDEMacros().Add(RegisteredMacros().back());
  }
}

void InitBuildHost() {
  // The shipped targets are imported through $(NXS), which the engine reads from the
  // environment.
  if (!GetEnvironmentVariable("NXS")) SetPublishedVariable("NXS", InstallDir());
  ProgressMonitor();
  for (const char* Task : ShippedHostTasks)
    if (!HostObjects().count(Task))
      RegisterHostObjectClass(Task, [](const std::string& Project) { return std::make_shared<TNXSHostObject>(Project); });
  TEngineViewHooks Hooks;
  Hooks.MakeView = [](const std::string& Xml, const std::string& FileName) {
    return std::make_shared<TEngineProjectView>(Xml, FileName);
  };
  Hooks.MakeFileView = [](const std::string& FileName) { return std::make_shared<TEngineProjectView>(FileName); };
  Hooks.BackgroundCompileActive = [] { return GetBackgroundCompileActive(); };
  SetEngineViewHooks(std::move(Hooks));
  TMSBuildMacro::SetResolver([](IProjectContext& Project, const std::string& Name, std::string& Value) {
    std::string Config, Platform;
    if (TBuildConfigurations* Configs = Project.GetConfigurations()) {
      Config = Configs->GetActiveConfiguration().Name();
      Platform = Configs->GetActivePlatform();
    }
    std::vector<std::string> Values;
    // A project whose targets have no "ResolveFiles" is asked without it.
    if (!EvaluateMSBuildProperties(Project, {Name}, res::SResolveFilesTarget, Config, Platform, {}, {}, Values) &&
        !EvaluateMSBuildProperties(Project, {Name}, {}, Config, Platform, {}, {}, Values))
      return false;
    Value = Values.empty() ? std::string() : Values.front();
    return true;
  });
  if (RegisteredMacros().empty()) RegisterMSBuildMacros({std::begin(ShippedMSBuildMacros), std::end(ShippedMSBuildMacros)});
}

void DoneBuildHost() {
  for (const char* Task : ShippedHostTasks) UnregisterHostObjectClass(Task);
  for (const std::shared_ptr<TMSBuildMacro>& Macro : RegisteredMacros()) IDEMacros().Remove(*Macro);
  RegisteredMacros().clear();
  TMSBuildMacro::SetResolver(nullptr);
  SetEngineViewHooks({});
  ResetProgressMonitor();
}

std::vector<std::string> EvaluateForCommandLine(const TEvaluateRequest& Request) {
  const TMSBuildSource Source(Request.FileName);
  const std::string Extra = Join(Request.Properties, ";");
  std::vector<std::string> Values;
  auto Check = [](const TRunResult& R) {
    if (R.Ok) return;
    throw Exception(R.Errors.empty() ? std::string("evaluation failed") : R.Errors.front());
  };
  if (!Request.Items && Request.Metadata.empty()) {
    Check(EvaluateProperties(Source, Request.Names, {}, Request.Config, Request.Platform, Request.FileToCompile,
                             Extra, Values));
    return Values;
  }
  for (const std::string& Name : Request.Names) {
    std::string Value;
    Check(EvaluateOne(Source, Name, Request.Items, Request.Config, Request.Platform, Request.FileToCompile, Extra,
                      Request.Metadata, Value));
    Values.push_back(std::move(Value));
  }
  return Values;
}

}  // namespace nxs
