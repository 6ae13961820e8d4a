#include "build/orchestration.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "build/messages/msglines.h"
#include "build/progress.h"
#include "build/buildgroups.h"
#include "build/engine/readahead.h"
#include "build/resstrings.h"
#include "options/envoptions.h"
#include "modules/modulelist.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projects/resstrings.h"
#include "modules/openhandlers.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

TProjectBuilderFactory& Factory() {
  static TProjectBuilderFactory F;
  return F;
}

TBuildRunner& Runner() {
  static TBuildRunner R;
  return R;
}

bool& CompileActiveWithFlagged() {
  static bool On = false;
  return On;
}

// The progress window's title; the host without a main window has no status area.
class TMonitorDisplay : public IBuildDisplay {
 public:
  void SetTitle(const std::string& Title) override {
    ProgressMonitor().SetTitle(Title);
    ProgressMonitor().DoUpdate();
  }
  void SetStatus(const std::string&) override {}
};

std::shared_ptr<IBuildDisplay>& Display() {
  static std::shared_ptr<IBuildDisplay> D = std::make_shared<TMonitorDisplay>();
  return D;
}

std::vector<TBaseProject*> GroupDependencies(TBaseProject& Project) {
  TProjectGroup* Group = GroupOfProject(&Project);
  return Group ? Group->GetProjectDependencies(&Project) : std::vector<TBaseProject*>{};
}

bool Contains(const std::vector<std::string>& List, const std::string& Name) {
  return std::any_of(List.begin(), List.end(), [&](const std::string& S) { return SameText(S, Name); });
}

const char* ModeTitle(TCompileMode Mode) {
  switch (Mode) {
    case cmMake: return res::SProgressCompile;
    case cmBuild: return res::SProgressBuild;
    case cmCheck: return res::SProgressBuildUnit;
    case cmClean: return res::SProgressClean;
    case cmLink: return res::SProgressLink;
    case cmKibitz: return nullptr;
  }
  return nullptr;
}

const char* EntryTitle(TCompileMode Mode) {
  switch (Mode) {
    case cmMake: return res::SCompilingProject;
    case cmBuild: return res::SBuildingProject;
    case cmClean: return res::SCleaningProject;
    default: return nullptr;
  }
}

// A warning line of the "Build" group, as the message view shows it.
void BuildWarning(const std::string& Text) {
  LineBufferList().AddList("Build")->Add(std::make_unique<TCompilerMsgLine>(msgWarn, "", "", 0, 0, Text));
}

// A group build that cannot start: projects of the group could not be opened, and building
// the rest would report success with part of the group unbuilt. Each is named.
class TUnopenedProjectsBuilder : public TBuilder {
 public:
  explicit TUnopenedProjectsBuilder(std::vector<std::string> Files) : FFiles(std::move(Files)) {}
  bool PreBuild() override {
    for (const auto& F : FFiles) {
      LineBufferList().AddList("Build")->Add(
          std::make_unique<TCompilerMsgLine>(msgError, "", "", 0, 0, Format(res::SProjectNotOpened, F)));
      ProgressMonitor().IncErrorCount(msgError);
    }
    return false;
  }
  bool DoBuild() override { return false; }

 private:
  std::vector<std::string> FFiles;
};

TCompileResult Run(std::shared_ptr<IBuilder> Builder, const TBuildControl& Control, bool Background = false) {
  if (Runner()) return Runner()(std::move(Builder), Control);
  return BuildHost().Build(std::move(Builder), Control, Background);
}

}  // namespace

TBuildControl TBuildControl::Create(TCompileMode CompileMode, bool Wait, bool ClearMessages, bool CheckActive,
                                    bool ChangeActiveOnError, bool AllowBackground, bool Silent) {
  TBuildControl C;
  C.FMode = CompileMode;
  C.FWait = Wait;
  C.FClearMessages = ClearMessages;
  C.FCheckActive = CheckActive;
  C.FChangeActiveOnError = ChangeActiveOnError;
  C.FAllowBackground = AllowBackground;
  C.FSilent = Silent;
  C.FBackground = false;  // the build host decides
  return C;
}

// -- Builders and events -------------------------------------------------------------------------

std::shared_ptr<IProjectBuilder> ProjectBuilderFor(TCustomCodeIProject& Project) {
  return Factory() ? Factory()(Project) : nullptr;
}

void SetProjectBuilderFactory(TProjectBuilderFactory F) { Factory() = std::move(F); }
void SetBuildRunner(TBuildRunner R) { Runner() = std::move(R); }
void SetCompileActiveWithFlagged(bool On) { CompileActiveWithFlagged() = On; }

IBuildDisplay& BuildDisplay() { return *Display(); }
void SetBuildDisplay(std::shared_ptr<IBuildDisplay> D) { Display() = D ? std::move(D) : std::make_shared<TMonitorDisplay>(); }

TProjectGroupCompileStartedEvent& ProjectGroupCompileStarted() {
  static TProjectGroupCompileStartedEvent E;
  return E;
}
TProjectCompileStartedEvent& ProjectCompileStarted() {
  static TProjectCompileStartedEvent E;
  return E;
}
TProjectCompileFinishedEvent& ProjectCompileFinished() {
  static TProjectCompileFinishedEvent E;
  return E;
}
TProjectGroupCompileFinishedEvent& ProjectGroupCompileFinished() {
  static TProjectGroupCompileFinishedEvent E;
  return E;
}
TEvent<TEvProjectAfterCompile>& ProjectAfterCompile() {
  static TEvent<TEvProjectAfterCompile> E;
  return E;
}

TProjectGroup* GroupOfProject(const TBaseProject* Project) {
  if (!Project) return nullptr;
  for (TDocModule* M : ModuleList().Snapshot())
    if (auto* G = dynamic_cast<TProjectGroup*>(M); G && G->GetProjectIndex(Project) >= 0) return G;
  return nullptr;
}

TCustomCodeIProject* ProjectOfFile(const std::string& FileName) {
  const std::string Name = ExpandFileName(FileName);
  for (TDocModule* M : ModuleList().Snapshot())
    if (auto* P = dynamic_cast<TCustomCodeIProject*>(M); P && P->FileInProject(Name)) return P;
  for (std::string Dir = ExtractFileDir(Name);; Dir = ExtractFileDir(Dir)) {
    std::vector<std::string> Candidates;
    std::vector<std::string> Names;
    try {
      Names = FileSystem().ListDirectory(Dir.empty() ? "/" : Dir);
    } catch (const std::exception&) {
      // An unreadable folder holds no project we could open.
    }
    for (const auto& N : Names)
      if (ExtractFileExt(N) == ".vproj" || ExtractFileExt(N) == ".kzproj") Candidates.push_back(N);
    std::sort(Candidates.begin(), Candidates.end());
    for (const auto& C : Candidates) {
      const std::string ProjectFile = IncludeTrailingPathDelimiter(Dir) + C;
      if (!FileSystem().FileExists(ProjectFile)) continue;
      TDocModule* Open = FindDocModule(ProjectFile);
      TCustomCodeIProject* P = nullptr;
      try {
        P = dynamic_cast<TCustomCodeIProject*>(Open ? Open : CallDefaultOpenProc(ProjectFile, false, nullptr));
      } catch (const Exception&) {
        continue;  // a project file that does not read is not the one
      }
      if (P && P->FileInProject(Name)) return P;
    }
    if (Dir.empty() || Dir == "/" || ExtractFileDir(Dir) == Dir) return nullptr;
  }
}

// -- The build list ----------------------------------------------------------------------------------

bool TProjectBuildList::Add(TCustomCodeIProject* Project, const std::string& Configuration,
                            const std::string& Platform) {
  if (!Project) return false;
  TProjectBuildInfo Entry;
  Entry.Project = Project;
  Entry.Configuration = Configuration.empty() ? Project->GetCurrentConfiguration() : Configuration;
  Entry.Platform = Platform.empty() ? Project->GetCurrentPlatform() : Platform;
  Entry.Switches = FSwitches;
  if (Find(Project, Entry.Configuration, Entry.Platform) >= 0) return false;
  Entry.Builder = ProjectBuilderFor(*Project);
  FItems.push_back(std::move(Entry));
  return true;
}

int TProjectBuildList::Find(const TCustomCodeIProject* Project, const std::string& Configuration,
                            const std::string& Platform) const {
  for (size_t I = 0; I < FItems.size(); ++I)
    if (FItems[I].Project == Project && SameText(FItems[I].Configuration, Configuration) &&
        SameText(FItems[I].Platform, Platform))
      return static_cast<int>(I);
  return -1;
}

std::vector<std::string> TProjectBuildList::ResolveDependencies(const TDependencyFn& DependenciesOf) {
  const TDependencyFn& Deps = DependenciesOf ? DependenciesOf : TDependencyFn(GroupDependencies);
  std::vector<TProjectBuildInfo> Requested = std::move(FItems);
  FItems.clear();
  std::vector<std::string> Cycles;
  std::vector<TCustomCodeIProject*> Path;
  // Entries whose dependencies are listed already: a project that many depend on is walked
  // once, and a cycle is met (and cut) once.
  std::set<std::tuple<TCustomCodeIProject*, std::string, std::string>> Resolved;

  // Adds the dependencies of Project (asked for Configuration and Platform), depth first.
  std::function<void(TCustomCodeIProject*, const std::string&, const std::string&)> AddDependencies =
      [&](TCustomCodeIProject* Project, const std::string& Configuration, const std::string& Platform) {
        if (!Resolved.emplace(Project, LowerCase(Configuration), LowerCase(Platform)).second) return;
        Path.push_back(Project);
        for (TBaseProject* D : Deps(*Project)) {
          auto* Dep = dynamic_cast<TCustomCodeIProject*>(D);
          if (!Dep) continue;
          if (auto On = std::find(Path.begin(), Path.end(), Dep); On != Path.end()) {
            std::vector<std::string> Names;
            for (auto It = On; It != Path.end(); ++It) Names.push_back((*It)->GetModuleName());
            Names.push_back(Dep->GetModuleName());
            std::string Text = Format(res::SDependencyCycleCut, Join(Names, " -> "), Dep->GetModuleName(),
                                      Project->GetModuleName());
            if (!Contains(Cycles, Text)) Cycles.push_back(Text);
            continue;
          }
          const std::string Cfg = Dep->GetConfigurations()->GetConfiguration(Configuration)
                                      ? Dep->GetConfigurations()->GetConfiguration(Configuration)->Name()
                                      : Dep->GetCurrentConfiguration();
          const std::string Plat = Contains(Dep->SupportedPlatforms(), Platform) ? Platform : Dep->GetCurrentPlatform();
          AddDependencies(Dep, Cfg, Plat);
          Add(Dep, Cfg, Plat);
        }
        Path.pop_back();
      };

  for (TProjectBuildInfo& Entry : Requested) {
    AddDependencies(Entry.Project, Entry.Configuration, Entry.Platform);
    if (Find(Entry.Project, Entry.Configuration, Entry.Platform) < 0) FItems.push_back(std::move(Entry));
  }
  return Cycles;
}

// -- The group builder ------------------------------------------------------------------------------------

TProjectGroupBuilder::TProjectGroupBuilder(const TProjectBuildList& List, const TBuildControl& Control)
    : FControl(Control) {
  FList.Assign(List);
}

const TBuildControl& TProjectGroupBuilder::Control() const { return FControl; }

bool TProjectGroupBuilder::PreBuild() {
  TEvGroupCompileStarted Started(this, Control());
  ProjectGroupCompileStarted().Send(Started);
  if (const char* Title = ModeTitle(Control().FMode)) BuildDisplay().SetTitle(Title);
  const TCompileMode Mode = Control().FMode;
  if (Mode == cmMake || Mode == cmBuild || Mode == cmLink) {
    BuildDisplay().SetStatus(res::SCheckingDependencies);
    FCycles = FList.ResolveDependencies(FDependencies);
    for (const auto& C : FCycles) BuildWarning(C);
  }
  for (int I = 0; I < FList.Count(); ++I) {
    TProjectBuildInfo& Entry = FList[I];
    if (!Entry.Builder) continue;
    Entry.Success = true;
    Entry.Builder->PreBuild(Entry, Control());
    if (!Entry.Success) {
      FSuccess = false;
      FFailed = Entry.Project;
      FResult = crFailed;
      return false;
    }
  }
  return true;
}

bool TProjectGroupBuilder::DoBuild() {
  const TCompileMode Mode = Control().FMode;
  // The project files are parsed on another core while the engine builds the ones before them.
  std::vector<std::string> Files;
  for (int I = 0; I < FList.Count(); ++I)
    if (FList[I].Builder) Files.push_back(FList[I].Project->GetFileName());
  const engine::TReadAhead ReadAhead(std::move(Files));
  for (int I = 0; I < FList.Count() && FSuccess; ++I) {
    TProjectBuildInfo& Entry = FList[I];
    if (!Entry.Builder) continue;
    FCurrent = I;
    TCustomCodeIProject* P = Entry.Project;
    if (Entry.Configuration.empty()) Entry.Configuration = P->GetCurrentConfiguration();
    if (Entry.Platform.empty()) Entry.Platform = P->GetCurrentPlatform();
    if (const char* Title = EntryTitle(Mode))
      BuildDisplay().SetTitle(Format(Title, P->GetModuleName()) +
                              Format(res::SConfigPlatform, Entry.Configuration, Entry.Platform));
    ProgressMonitor().SetProject(P->GetModuleName());
    TEvProjectCompile Started(this, Entry, Control());
    ProjectCompileStarted().Send(Started);

    // The entry's platform is the project's active one while it builds. The switch goes
    // through the configurations, not the module, so that a build does not leave the project
    // modified (it would ask to be saved) for a change it has undone.
    TBuildConfigurations& Configs = *P->GetConfigurations();
    const std::string Active = Configs.GetActivePlatform();
    const bool Switch = !SameText(Active, Entry.Platform);
    if (Switch) Configs.SetActivePlatform(Entry.Platform);
    Entry.Success = false;
    try {
      Entry.Builder->Build(Entry, Control());
    } catch (...) {
      if (Switch) Configs.SetActivePlatform(Active);
      FCurrent = -1;
      throw;
    }
    if (Switch) Configs.SetActivePlatform(Active);
    if (!Entry.Success) {
      FSuccess = false;
      FFailed = P;
    }
    TEvProjectAfterCompile After(P, Entry.Success);
    ProjectAfterCompile().Send(After);
    TEvProjectCompile Finished(this, Entry, Control());
    ProjectCompileFinished().Send(Finished);
  }
  FCurrent = -1;
  FResult = FSuccess ? crSucceeded : crFailed;
  return FSuccess;
}

bool TProjectGroupBuilder::PostBuild() {
  bool All = FSuccess;
  for (int I = 0; I < FList.Count(); ++I) {
    TProjectBuildInfo& Entry = FList[I];
    if (!Entry.Builder) continue;
    const bool Built = Entry.Success;
    Entry.Builder->PostBuild(Entry, Control());
    All = All && Built && Entry.Success;
  }
  BuildDisplay().SetStatus(All ? res::SBuilt : "");
  if (!All && Control().FChangeActiveOnError && FFailed)
    if (TProjectGroup* G = GroupOfProject(FFailed); G && G->ActiveProject() != FFailed) G->ActivateProject(FFailed);
  FResult = All ? crSucceeded : crFailed;
  TEvGroupCompileFinished Finished(this, All, Control());
  ProjectGroupCompileFinished().Send(Finished);
  // A background build brings its messages forward at the end.
  if (Control().FBackground) LineBufferList().SetCurrentGroup(LineBufferList().AddList("Build"));
  return All;
}

// -- The file builder -----------------------------------------------------------------------------------------

TFileBuilder::TFileBuilder(TCustomCodeIProject* Project, std::vector<std::string> Files, const TBuildControl& Control)
    : FFiles(std::move(Files)), FControl(Control) {
  FEntry.Project = Project;
  FEntry.Configuration = Project->GetCurrentConfiguration();
  FEntry.Platform = Project->GetCurrentPlatform();
  FEntry.Builder = ProjectBuilderFor(*Project);
}

bool TFileBuilder::PreBuild() {
  BuildDisplay().SetTitle(res::SProgressBuildUnit);
  return true;
}

bool TFileBuilder::DoBuild() {
  FEntry.Success = FEntry.Builder != nullptr;
  for (const auto& F : FFiles) {
    if (!FEntry.Success) break;
    FEntry.Builder->BuildFile(FEntry, F, FControl);
  }
  FResult = FEntry.Success ? crSucceeded : crFailed;
  return FEntry.Success;
}

bool TFileBuilder::PostBuild() {
  BuildDisplay().SetStatus(FEntry.Success ? res::SBuilt : "");
  if (!FEntry.Success) NextErrorMessage(true, true);
  return FEntry.Success;
}

// -- Requests ---------------------------------------------------------------------------------------------------

TCompileResult BuildProjects(const TProjectBuildList& List, const TBuildControl& Control) {
  return Run(std::make_shared<TProjectGroupBuilder>(List, Control), Control, List.Switches().Background);
}

TCompileResult BuildProject(TCustomCodeIProject* Project, const TBuildControl& Control) {
  TProjectBuildList List;
  List.Add(Project);
  return BuildProjects(List, Control);
}

TCompileResult CompileFiles(TCustomCodeIProject* Project, const std::vector<std::string>& Files,
                            const TBuildControl& Control) {
  return Run(std::make_shared<TFileBuilder>(Project, Files, Control), Control);
}

TCompileResult CompileFile(TCustomCodeIProject* Project, const std::string& FileName, const TBuildControl& Control) {
  return CompileFiles(Project, {FileName}, Control);
}

bool CompileProjects(const TProjectBuildList& List, TCompileMode Mode, bool ChangeActiveOnError, bool ClearMessages,
                     bool Wait) {
  const TBuildControl Control = TBuildControl::Create(Mode, Wait, ClearMessages, false, ChangeActiveOnError, true, false);
  const TCompileResult R = BuildProjects(List, Control);
  return R == crSucceeded || R == crBackground;
}

bool CompileAll(TProjectGroup& Group, TCompileMode Mode, bool Wait, TBaseProject* FromProject) {
  TProjectBuildList List;
  bool Reached = FromProject == nullptr;
  for (TBaseProject* P : Group.Projects()) {
    Reached = Reached || P == FromProject;
    if (Reached) List.Add(dynamic_cast<TCustomCodeIProject*>(P));
  }
  return CompileProjects(List, Mode, true, true, Wait);
}

bool CompileActive(TProjectGroup& Group, TCompileMode Mode, bool Wait) {
  TProjectBuildList List;
  for (TBaseProject* P : Group.Projects()) {
    auto* Project = dynamic_cast<TCustomCodeIProject*>(P);
    if (!Project) continue;
    bool Take = P == Group.ActiveProject();
    if (!Take && CompileActiveWithFlagged()) {
      std::shared_ptr<IProjectBuilder> B = ProjectBuilderFor(*Project);
      Take = B && (B->Flags() & 2) != 0;
    }
    if (Take) List.Add(Project);
  }
  return CompileProjects(List, Mode, false, true, Wait);
}

// -- The command line's build ------------------------------------------------------------------------------------

bool CompileModeFromWord(std::string_view Word, TCompileMode& Mode) {
  static const std::pair<const char*, TCompileMode> Words[] = {
      {"make", cmMake}, {"build", cmBuild}, {"clean", cmClean}, {"check", cmCheck}, {"link", cmLink}};
  for (const auto& [W, M] : Words)
    if (SameText(Word, W)) {
      Mode = M;
      return true;
    }
  return false;
}

namespace {

// The configuration and platform asked for where the project has them, else its active ones.
void AddAsAsked(TProjectBuildList& List, TCustomCodeIProject* P, const TBuildCommand& Command) {
  std::string Cfg;
  if (!Command.Configuration.empty())
    if (TBuildConfiguration* C = P->GetConfigurations()->GetConfiguration(Command.Configuration)) Cfg = C->Name();
  std::string Plat;
  if (!Command.Platform.empty() && Contains(P->SupportedPlatforms(), Command.Platform)) Plat = Command.Platform;
  List.Add(P, Cfg, Plat);
}

}  // namespace

TCompileResult RunBuildCommand(const TBuildCommand& Command, TProjectGroup* Group, TCustomCodeIProject* Project) {
  const TEngineRunSwitches Switches{Command.Jobs, Command.Wait, Command.Background};
  const TBuildControl Control =
      TBuildControl::Create(Command.Mode, true, true, false, Group != nullptr, Command.Background, false);
  TCompileResult Result;
  if (Group && !Group->UnopenedProjects().empty()) {
    Result = Run(std::make_shared<TUnopenedProjectsBuilder>(Group->UnopenedProjects()), Control, Command.Background);
  } else if (Group && !Command.BuildGroup.empty()) {
    TBuildGroups* Groups = CreateBuildGroups(*Group);
    if (!Groups || !Groups->Find(Command.BuildGroup))
      throw Exception(Format(res::SNoSuchBuildGroup, Command.BuildGroup));
    Result = CompileBuildGroup(*Group, Command.BuildGroup, Control, Switches);
  } else {
    TProjectBuildList List(Switches);
    if (Group) {
      TBaseProject* From = nullptr;
      if (!Command.From.empty() && !(From = Group->FindProject(Command.From)))
        throw Exception(Format(res::SNotInGroup, Command.From, Group->GetModuleName()));
      bool Reached = From == nullptr;
      for (TBaseProject* P : Group->Projects()) {
        Reached = Reached || P == From;
        if (auto* CP = dynamic_cast<TCustomCodeIProject*>(P); CP && Reached) AddAsAsked(List, CP, Command);
      }
    } else if (Project) {
      AddAsAsked(List, Project, Command);
    }
    Result = BuildProjects(List, Control);
  }
  if (Result == crBackground) {
    BuildHost().WaitForBuild();
    Result = BuildHost().Result();
  }
  return Result;
}

}  // namespace nxs
