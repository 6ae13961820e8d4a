#include "startup/startup.h"

#include <chrono>
#include <cstdio>

#include "build/buildhost.h"
#include "build/compilers/compilers.h"
#include "build/messages/kibitz.h"
#include "build/messages/msglines.h"
#include "build/msbridge.h"
#include "debugger/breakpoints.h"
#include "debugger/debugmarks.h"
#include "debugger/debugmgr.h"
#include "debugger/resstrings.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/ekinit.h"
#include "editor/language/generic.h"
#include "editor/language/highlight.h"
#include "editor/language/regions.h"
#include "environment/desktop.h"
#include "modules/autorecover.h"
#include "modules/inifile.h"
#include "modules/modulelist.h"
#include "modules/openhandlers.h"
#include "modules/sourcemodule.h"
#include "packages/designpkgs.h"
#include "packages/pkgservices.h"
#include "packages/pkgsession.h"
#include "projectfiles/projectfile.h"
#include "projects/containers.h"
#include "projects/project.h"
#include "shared/exceptions.h"
#include "shared/install.h"
#include "shared/settings.h"
#include "startup/resstrings.h"

namespace nxs {

namespace {

// The highlighters that are not the kernel's: the generic ones, then the packages'.
void AddStartupHighlighters(THighlightManager& Manager) {
  AddGenericHighlighters(Manager);
  AddPackageHighlighters(Manager);
}

// Where an unnamed module's save dialog starts: the folder the last unnamed module was saved
// in, else the folder new modules go to.
std::string& LastSaveDirectory() {
  static std::string Dir;
  return Dir;
}

void StartDirectoryServices() {
  DocModuleHooks().DefaultDirectory = [] {
    return LastSaveDirectory().empty() ? DefaultModuleDirectory() : LastSaveDirectory();
  };
  DocModuleHooks().LastSaveDirectory = [](const std::string& Dir) { LastSaveDirectory() = Dir; };
}

void StopDirectoryServices() {
  DocModuleHooks().DefaultDirectory = nullptr;
  DocModuleHooks().LastSaveDirectory = nullptr;
  LastSaveDirectory().clear();
}

// The personalities' region services while the system runs, to take back at shutdown.
std::vector<std::shared_ptr<IRegionServices>>& PersonalityRegions() {
  static std::vector<std::shared_ptr<IRegionServices>> Services;
  return Services;
}

struct TStep {
  const char* Name;
  void (*Start)(const TStartupOptions& Options);
  void (*Stop)();
};

// The steps in the order they start; shutdown runs them backwards, so that each step finds
// the ones it rests on still in place.
// The desktop procedures of the breakpoints: desktop files keep the source breakpoints.
int& BreakpointDesktopProcs() {
  static int Index = -1;
  return Index;
}

void InitDesktopWithBreakpoints() {
  InitDesktop();
  BreakpointDesktopProcs() =
      RegisterDesktopProcs({[](TCustomIniFile& Ini) { DebugMgr().Breakpoints().LoadBreakpoints(Ini); },
                            [](TCustomIniFile& Ini) {
                              // A desktop without breakpoints holds no section of them.
                              TBreakpointManager& B = DebugMgr().Breakpoints();
                              if (B.GetCount() > 0) return B.SaveBreakpoints(Ini, false);
                              Ini.EraseSection(res::SBreakpointsSection);
                              B.SetModified(false);
                            },
                            [] { return DebugMgr().GetVDGoodies() && DebugMgr().Breakpoints().GetModified(); }});
}

void DoneDesktopWithBreakpoints() {
  if (BreakpointDesktopProcs() >= 0) UnregisterDesktopProcs(BreakpointDesktopProcs());
  BreakpointDesktopProcs() = -1;
  DoneDesktop();
}

// The debugger's marks in the open buffers, while the system runs.
std::unique_ptr<TDebugLineMarks>& DebugLineMarks() {
  static std::unique_ptr<TDebugLineMarks> Marks;
  return Marks;
}

const TStep Steps[] = {
    // The host's seams.
    {"cancel key", [](const TStartupOptions& O) { SetCancelKey(O.CancelKey); }, [] { SetCancelKey(nullptr); }},
    // The message groups, which the build host watches until it goes.
    {"message lines", [](const TStartupOptions&) { InitializeMessageLines(); }, [] { FinalizeMessageLines(); }},
    // The build host publishes $(NXS), gives the project document its engine view and the
    // MSBuild macros their values, and offers the shipped tasks their host objects.
    {"build host", [](const TStartupOptions&) { InitBuildHost(); },
     [] {
       DoneBuildHost();
       ResetBuildHost();
     }},
    // What the personalities contribute: their compile tasks ...
    {"compile tasks", [](const TStartupOptions&) { compilers::RegisterCompilerTasks(); },
     [] { compilers::UnregisterCompilerTasks(); }},
    // What packages find before the first of them loads: the variables naming the folders
    // and the product's version, and the projects folder.
    {"environment variables", [](const TStartupOptions&) { PublishPackageEnvironment(); },
     [] { RestorePackageEnvironment(); }},
    // The debugger manager, before the packages that register its kernels; a kernel a
    // package registers goes when the package unloads.
    {"debugger",
     [](const TStartupOptions&) {
       InitDebug();
       SetDebuggerRegistrationHook([](std::function<void()> Undo) {
         if (TDesignPackage* P = TDesignPackages::Registering()) P->AddUnregistration(std::move(Undo));
       });
     },
     [] {
       SetDebuggerRegistrationHook(nullptr);
       DoneDebug();
     }},
    // The IDE packages and the installed design packages; each registers what it adds. They
    // load before any module is opened, so that one that fails takes no open file with it.
    {"packages",
     [](const TStartupOptions& O) {
       if (O.LoadPackages) LoadEnvironmentPackages(SettingsStore(), O.Personalities);
       WatchPackageBuilds(true);
     },
     [] {
       WatchPackageBuilds(false);
       UnloadEnvironmentPackages();
     }},
    // The open handlers of projects and groups, and the source files' handler of last resort;
    // after the packages, whose handlers are asked first.
    {"open handlers",
     [](const TStartupOptions&) {
       for (TFileOpenHandler* H : ProjectOpenHandlers()) RegisterOpenHandler(H);
       if (!DefaultFileHandler()) SetDefaultFileHandler(&SourceOpenHandler());
     },
     [] {
       for (TFileOpenHandler* H : ProjectOpenHandlers()) UnregisterOpenHandler(H);
       if (DefaultFileHandler() == &SourceOpenHandler()) SetDefaultFileHandler(nullptr);
     }},
    // The container creators the packages registered are initialised together.
    {"container creators", [](const TStartupOptions&) { ContainerManager().InitializeContainerCreators(); },
     [] { ResetContainerManager(); }},
    // The highlighters, the packages' among them. The manager goes with its highlighters
    // unless a kernel still runs (a buffer outlives shutdown): the kernel's tokenizers may call
    // on them until it ends.
    {"highlighters", [](const TStartupOptions&) { InstallHighlighters(&AddStartupHighlighters); },
     [] {
       InstallHighlighters(nullptr);
       SetEditorKernelStartupHook(nullptr);
       if (!EditorKernelRunning()) ResetHighlightManager();
     }},
    // The folder an unnamed module's save dialog starts in.
    {"module directory services", [](const TStartupOptions&) { StartDirectoryServices(); },
     [] { StopDirectoryServices(); }},
    // The region services through which the folding and the outline find a file's parser.
    {"region services",
     [](const TStartupOptions&) {
       for (auto Make : {&MakePascalRegionServices, &MakeCppRegionServices}) {
         PersonalityRegions().push_back(Make());
         RegionServicesRegistry().Add(PersonalityRegions().back());
       }
     },
     [] {
       for (const auto& Services : PersonalityRegions()) RegionServicesRegistry().Remove(Services.get());
       PersonalityRegions().clear();
     }},
    // The project document reads a file open in an edit buffer rather than the disk copy.
    {"open buffer text", [](const TStartupOptions&) { SetOpenBufferTextHook(&GetOpenBufferText); },
     [] { SetOpenBufferTextHook(nullptr); }},
    // The desktop form handlers ("TSourceModule"), the layout switches the modules ask for,
    // and the breakpoints kept in desktop files.
    {"desktop handlers", [](const TStartupOptions&) { InitDesktopWithBreakpoints(); }, [] { DoneDesktopWithBreakpoints(); }},
    // The breakpoints' and the execution point's marks on the lines of open buffers.
    {"debugger line marks", [](const TStartupOptions&) { DebugLineMarks() = std::make_unique<TDebugLineMarks>(DebugMgr()); },
     [] { DebugLineMarks().reset(); }},
    // Autorecover, which an editing session starts once its files are open.
    {"autorecover", [](const TStartupOptions&) { AutoRecoverRegister(); }, [] { AutoRecoverUnregister(); }},
};

struct TState {
  std::vector<const TStep*> Started;
  bool Running = false;
  TStartupTrace Trace;
};

// NXS_TRACE_STARTUP=1 prints each step with the time it took, on standard error.
bool Tracing() {
  static const bool On = GetEnvironmentVariable("NXS_TRACE_STARTUP").value_or("") == "1";
  return On;
}

template <class F>
void Timed(const char* Kind, const char* Step, F&& Run) {
  if (!Tracing()) return Run();
  const auto Start = std::chrono::steady_clock::now();
  Run();
  const std::chrono::duration<double, std::milli> Took = std::chrono::steady_clock::now() - Start;
  std::fprintf(stderr, "startup: %s %s %.3f ms\n", Kind, Step, Took.count());
}

TState& State() {
  static TState S;
  return S;
}

void StopStarted() {
  TState& S = State();
  while (!S.Started.empty()) {
    const TStep* Step = S.Started.back();
    S.Started.pop_back();
    if (S.Trace) S.Trace(Step->Name, false);
    Timed("stop", Step->Name, [&] { Step->Stop(); });
  }
  S.Running = false;
}

}  // namespace

void StartSystem(const TStartupOptions& Options) {
  TState& S = State();
  if (S.Running) throw Exception(res::SSystemAlreadyStarted);
  S.Running = true;
  if (Tracing()) {
    SetPackageSplash([](const std::string& Text) { std::fprintf(stderr, "startup: %s\n", Text.c_str()); });
    SetPackageTimer([](const std::string& Label, const std::string& Subject, double Ms) {
      std::fprintf(stderr, "startup: timing %s: %s %.3f ms\n", Label.c_str(), Subject.c_str(), Ms);
    });
  }
  try {
    for (const TStep& Step : Steps) {
      if (S.Trace) S.Trace(Step.Name, true);
      Timed("start", Step.Name, [&] { Step.Start(Options); });
      S.Started.push_back(&Step);
    }
  } catch (...) {
    StopStarted();
    throw;
  }
}

void ShutdownSystem() {
  if (State().Running) StopStarted();
}

bool SystemStarted() { return State().Running; }

std::vector<std::string> StartedSteps() {
  std::vector<std::string> Names;
  for (const TStep* Step : State().Started) Names.emplace_back(Step->Name);
  return Names;
}

void SetStartupTrace(TStartupTrace Trace) { State().Trace = std::move(Trace); }

}  // namespace nxs
