#include "projects/projectgroup.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "modules/modulelist.h"
#include "projectfiles/msbnodes.h"
#include "projectfiles/xmlio.h"
#include "projects/project.h"
#include "projects/resstrings.h"
#include "shared/dialogs.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

constexpr const char* Bom = "\xEF\xBB\xBF";
constexpr const char* PersonalityName = "Default.Personality";

std::function<void(const std::string&)>& Reporter() {
  static std::function<void(const std::string&)> R;
  return R;
}

std::string GuidOf(const TBaseProject* P) { return GUIDToString(P->GetProjectGUID()); }

std::vector<std::string> SplitList(const std::string& Text, char Separator) {
  std::vector<std::string> Out;
  for (const auto& Part : Split(Text, Separator))
    if (std::string T = Trim(Part); !T.empty()) Out.push_back(T);
  return Out;
}

std::vector<std::string> SplitBlanks(const std::string& Text) {
  std::vector<std::string> Out;
  std::string Cur;
  for (char C : Text + " ") {
    if (C == ' ' || C == '\t' || C == '\r' || C == '\n') {
      if (!Cur.empty()) Out.push_back(Cur);
      Cur.clear();
    } else {
      Cur += C;
    }
  }
  return Out;
}

std::string Sanitize(const std::string& Name) { return ReplaceAll(Name, ".", "_"); }

std::string CycleMessage(const TBaseProject* P, const TBaseProject* D, const std::vector<TBaseProject*>& Cycle) {
  std::vector<std::string> Names;
  for (TBaseProject* C : Cycle) Names.push_back(C->GetModuleName());
  return Format(res::SDependencyCycle, P->GetModuleName(), D->GetModuleName(), Join(Names, " -> "));
}

// Collects the project entries and the build order from the targets of a ".groupproj".
class TProjectTargetReader : public ITargetReader {
 public:
  TProjectTargetReader(std::string GroupDir, std::vector<std::string>& Order) : FDir(std::move(GroupDir)), FOrder(Order) {}

  struct TFound {
    std::string TargetName;
    std::string FileName;
    std::vector<std::string> Dependencies;
  };
  std::vector<TFound> Found;

  void BeginTarget(const std::string& Name, const std::string& /*Condition*/) override {
    FCurrent = nullptr;
    FInBuild = SameText(Name, "Build");
    FTask.clear();
    if (FInBuild || Name.find(':') != std::string::npos) return;
    for (const auto& F : Found)
      if (SameText(F.TargetName, Name)) return;  // the first target of a name wins
    Found.push_back({Name, {}, {}});
    FCurrent = &Found.back();
  }
  void DependsOnTargets(const std::string& Value) override {
    if (!FCurrent) return;
    for (const auto& D : SplitList(Value, ';')) {
      std::string Name = Sanitize(D);
      if (SameText(Name, FCurrent->TargetName)) continue;
      if (std::none_of(FCurrent->Dependencies.begin(), FCurrent->Dependencies.end(),
                       [&](const std::string& E) { return SameText(E, Name); }))
        FCurrent->Dependencies.push_back(Name);
    }
  }
  void BeginTask(const std::string& Name, const std::string& /*Condition*/) override { FTask = Name; }
  void TaskParameter(const std::string& Name, const std::string& Value) override {
    if (FInBuild && SameText(Name, "Targets")) {
      FOrder = SplitList(Value, ';');
    } else if (FCurrent && SameText(FTask, "MSBuild") && SameText(Name, "Projects") && FCurrent->FileName.empty()) {
      FCurrent->FileName = ExpandFileName(ToDiskPath(Value), FDir);
    }
  }

 private:
  std::string FDir;
  std::vector<std::string>& FOrder;
  TFound* FCurrent = nullptr;
  bool FInBuild = false;
  std::string FTask;
};

TProjectGroupOpenHandler& GroupHandler() {
  static TProjectGroupOpenHandler H(false);
  return H;
}
TProjectGroupOpenHandler& LegacyGroupHandler() {
  static TProjectGroupOpenHandler H(true);
  return H;
}
TProjectOpenHandler& ProjectHandler() {
  static TProjectOpenHandler H;
  return H;
}

}  // namespace

void SetProjectGroupReporter(std::function<void(const std::string&)> R) { Reporter() = std::move(R); }

void InitProjects() {
  RegisterOpenHandler(&ProjectHandler());
  RegisterOpenHandler(&GroupHandler());
  RegisterOpenHandler(&LegacyGroupHandler());
}

void DoneProjects() {
  UnregisterOpenHandler(&ProjectHandler());
  UnregisterOpenHandler(&GroupHandler());
  UnregisterOpenHandler(&LegacyGroupHandler());
}

// -- Life ----------------------------------------------------------------------------------------------

TProjectGroup::TProjectGroup(const std::string& FileName)
    : TDocModule(FileName), FLegacy(SameText(ExtractFileExt(FileName), ".nxsgroup")) {
  EvProjectClosing().Add(this, [this](TEvProjectModule& A) { ProjectClosing(A.Project); });
}

TProjectGroup::~TProjectGroup() {
  EvProjectClosing().Remove(this);
  for (TBaseProject* P : FProjects)
    if (ModuleList().Contains(P)) P->RemoveOwner(this);
}

TProjectGroup* TProjectGroup::NewGroup(const std::string& FileName) {
  if (FileName.empty()) throw Exception(res::SMustSupplyGroupName);
  auto* G = TDocModule::Create<TProjectGroup>(ExpandFileName(FileName));
  G->FIsModified = true;
  return G;
}

TProjectGroup* TProjectGroup::OpenGroup(const std::string& FileName) {
  if (FileName.empty()) throw Exception(res::SMustSupplyGroupName);
  const std::string Name = ExpandFileName(FileName);
  if (auto* Open = dynamic_cast<TProjectGroup*>(FindDocModule(Name))) return Open;
  auto* G = TDocModule::Create<TProjectGroup>(Name);
  try {
    G->Load();
  } catch (...) {
    for (TBaseProject* P : G->FProjects) P->RemoveOwner(G);
    G->FProjects.clear();
    G->FGuidCountsStale = true;
    ModuleList().Discard(G);
    throw;
  }
  return G;
}

std::string TProjectGroup::GetSaveFilter() const {
  return FLegacy ? res::SLegacyGroupFilter : Format(res::SGroupFilter, "Orvanti", "NXS");
}

std::string TProjectGroup::DefaultGroupFileName(const std::string& Dir, bool Legacy) {
  for (int N = 1;; ++N) {
    std::string Name = IncludeTrailingPathDelimiter(Dir) + Format("ProjectGroup%d", N) + (Legacy ? ".nxsgroup" : ".groupproj");
    if (!FileSystem().Stat(Name).Exists) return Name;
  }
}

void TProjectGroup::Report(const std::string& Message) {
  FOpenErrors.push_back(Message);
  if (Reporter()) Reporter()(Message);
  else Questions().ShowMessage(Message);
}

// -- Reading -----------------------------------------------------------------------------------------------

void TProjectGroup::Load() {
  std::vector<TEntry> Entries;
  std::vector<std::string> Order;
  std::string Active;
  try {
    if (FLegacy) LoadLegacy(Entries, Order, Active);
    else LoadMSBuild(Entries, Order, Active);
  } catch (const EInvalidProjectGroup&) {
    throw;
  } catch (const EInOutError&) {
    throw;
  } catch (const Exception& E) {
    throw EInvalidProjectGroup(Format(res::SInvalidGroupFile, GetFileName(), E.what()));
  }
  OpenProjects(Entries, Order, Active, FLegacy);
}

void TProjectGroup::LoadMSBuild(std::vector<TEntry>& Entries, std::vector<std::string>& Order, std::string& Active) {
  FDocument = MSBuildOpenProject(GetFileName());
  auto* Root = dynamic_cast<IProjectNodeAccess*>(FDocument.get())->GetProjectNode();
  FOptions.clear();
  if (TNode* Ext = Root->FindFirstChild("ProjectExtensions"))
    if (TNode* Pers = Ext->FindFirstChild(std::string("TarvosProject\\") + PersonalityName)) {
      for (TNode* O : Pers->FindChildren("Option"))
        FOptions.push_back({O->GetAttribute("Name"), O->GetAttribute("Type"), O->GetValue()});
      if (TNode* Projects = Pers->FindFirstChild("Projects"))
        for (int I = 0; I < Projects->Count(); ++I)
          if (Projects->GetNode(I)->GetAttribute("Name") == "ActiveProject") Active = Projects->GetNode(I)->GetValue();
    }
  TProjectTargetReader Reader(ExtractFilePath(GetFileName()), Order);
  FDocument->ReadTargets(Reader);
  for (auto& F : Reader.Found) Entries.push_back({F.TargetName, F.FileName, {}, F.Dependencies});
}

void TProjectGroup::LoadLegacy(std::vector<TEntry>& Entries, std::vector<std::string>& Order, std::string& Active) {
  TXmlReader Reader;
  std::unique_ptr<TNode> Root = Reader.ReadFile(GetFileName());
  if (!Root || Root->NameView() != "TarvosProject")
    throw EInvalidProjectGroup(Format(res::SInvalidGroupFile, GetFileName(), Root ? Root->GetName() : std::string()));
  const std::string Dir = ExtractFilePath(GetFileName());
  if (TNode* Projects = Root->FindFirstChild("Projects"))
    for (TNode* P : Projects->FindChildren("Project")) {
      TEntry E{P->GetAttribute("Name"), ExpandFileName(ToDiskPath(P->GetAttribute("File")), Dir), P->GetAttribute("GUID"), {}};
      if (TNode* Deps = P->FindFirstChild("Dependencies"))
        for (TNode* D : Deps->FindChildren("Dependency")) E.Dependencies.push_back(D->GetAttribute("GUID"));
      Entries.push_back(std::move(E));
    }
  if (TNode* T = Root->FindFirstChild("Targets")) Order = SplitBlanks(T->GetValue());
  if (TNode* A = Root->FindFirstChild("ActiveProject")) Active = A->GetValue();
  std::vector<std::string> Missing;
  for (const auto& Name : Order)
    if (std::none_of(Entries.begin(), Entries.end(), [&](const TEntry& E) { return SameText(E.TargetName, Name); }))
      Missing.push_back(Name);
  if (!Missing.empty()) throw EInvalidProjectGroup(Format(res::SGroupInconsistent, Join(Missing, " ")));
}

void TProjectGroup::OpenProjects(const std::vector<TEntry>& Entries, const std::vector<std::string>& Order,
                                 const std::string& Active, bool ByGuid) {
  FOpenErrors.clear();
  FUnopened.clear();
  std::map<const TEntry*, TBaseProject*> Opened;
  bool Dropped = false;
  // Target names compare as SameText of their sanitized forms: keyed so, each name of the
  // order finds its entry (the first of that name) at once, however large the group.
  const auto TargetKey = [](const std::string& Name) { return LowerCase(Sanitize(Name)); };
  std::unordered_map<std::string, const TEntry*> EntryByTarget;
  for (const TEntry& E : Entries) EntryByTarget.emplace(TargetKey(E.TargetName), &E);
  for (const auto& Name : Order) {
    auto Found = EntryByTarget.find(TargetKey(Name));
    if (Found == EntryByTarget.end()) continue;
    const TEntry* It = Found->second;
    if (It->FileName.empty() || Opened.count(It)) continue;
    if (!FileSystem().FileExists(It->FileName)) {
      Report(Format(res::SUnableToLocateProject, It->FileName));
      FUnopened.push_back(It->FileName);
      Dropped = true;
      continue;
    }
    try {
      TDocModule* M = CallDefaultOpenProc(It->FileName, false, this);
      auto* P = dynamic_cast<TBaseProject*>(M);
      if (!P) {
        if (M && ModuleList().Contains(M) && !M->IsOwned()) M->Close(false);
        throw Exception(res::SUnknownProjectType);
      }
      if (GetProjectIndex(P) >= 0) continue;
      AddTarget(P);
      Opened[It] = P;
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& E) {
      Report(std::string(E.what()) + "\n\n" + Format(res::SUnableToCreateProject, It->FileName));
      FUnopened.push_back(It->FileName);
      Dropped = true;
    }
  }
  // Dependencies: by target name, or by GUID in the legacy format; one that would close a
  // cycle (a hand-edited file) is dropped. Where names repeat, the last entry opened answers,
  // then (by GUID) the last project of the group.
  std::unordered_map<std::string, TBaseProject*> OpenedByKey, GroupByGuid;
  for (const auto& [Other, Q] : Opened) OpenedByKey[ByGuid ? LowerCase(Other->Guid) : TargetKey(Other->TargetName)] = Q;
  if (ByGuid)
    for (TBaseProject* Q : FProjects) GroupByGuid[LowerCase(GuidOf(Q))] = Q;
  for (const auto& [Entry, P] : Opened) {
    std::vector<TBaseProject*> Deps;
    for (const auto& D : Entry->Dependencies) {
      TBaseProject* Found = nullptr;
      if (auto O = OpenedByKey.find(ByGuid ? LowerCase(D) : TargetKey(D)); O != OpenedByKey.end()) Found = O->second;
      if (auto G = GroupByGuid.find(LowerCase(D)); !Found && G != GroupByGuid.end()) Found = G->second;
      if (Found && Found != P && std::find(Deps.begin(), Deps.end(), Found) == Deps.end()) Deps.push_back(Found);
    }
    for (TBaseProject* D : Deps) {
      std::vector<TBaseProject*> Now = GetProjectDependencies(P);
      if (std::vector<TBaseProject*> Cycle = CycleThrough(P, D); !Cycle.empty()) {
        Report(CycleMessage(P, D, Cycle));
        Dropped = true;
        continue;
      }
      Now.push_back(D);
      FDependencies[GuidOf(P)].clear();
      for (TBaseProject* N : Now) FDependencies[GuidOf(P)].push_back(GuidOf(N));
    }
  }
  FActive = nullptr;
  const std::string Dir = ExtractFilePath(GetFileName());
  for (TBaseProject* P : FProjects)
    if (!Active.empty() && (SameFileName(P->GetFileName(), ExpandFileName(ToDiskPath(Active), Dir)) ||
                            SameText(SanitizedTargetName(P->GetFileName()), Sanitize(Active))))
      FActive = P;
  if (!FActive) ActivateNextTarget();
  FIsModified = Dropped;
}

// -- Projects -------------------------------------------------------------------------------------------------

int TProjectGroup::GetProjectIndex(const TBaseProject* Project) const {
  auto It = std::find(FProjects.begin(), FProjects.end(), Project);
  return It == FProjects.end() ? -1 : static_cast<int>(It - FProjects.begin());
}

TBaseProject* TProjectGroup::FindProject(const std::string& NameOrFile) const {
  const std::string Dir = ExtractFilePath(GetFileName());
  for (TBaseProject* P : FProjects)
    if (SameFileName(P->GetFileName(), ExpandFileName(NameOrFile))) return P;
  for (TBaseProject* P : FProjects)
    if (SameFileName(P->GetFileName(), ExpandFileName(ToDiskPath(NameOrFile), Dir))) return P;
  for (TBaseProject* P : FProjects)
    if (SameText(P->GetModuleName(), NameOrFile)) return P;
  return nullptr;
}

bool TProjectGroup::IsProjectInProjectGroup(const std::string& FileName) const {
  return std::any_of(FProjects.begin(), FProjects.end(), [&](auto* P) { return SameFileName(P->GetFileName(), FileName); });
}

void TProjectGroup::UniqueGuid(TBaseProject* Project) {
  const TGUID Guid = Project->GetProjectGUID();
  bool Repeats = Guid.IsEmpty();
  if (!Repeats) {
    if (FGuidCountsStale) {
      FGuidCounts.clear();
      for (TBaseProject* P : FProjects) ++FGuidCounts[GuidOf(P)];
      FGuidCountsStale = false;
    }
    auto It = FGuidCounts.find(GUIDToString(Guid));
    int Others = It == FGuidCounts.end() ? 0 : It->second;
    if (Others && GetProjectIndex(Project) >= 0) --Others;
    Repeats = Others > 0;
  }
  if (Repeats) Project->GenerateNewGuid();
}

void TProjectGroup::AddTarget(TBaseProject* Project) {
  if (GetProjectIndex(Project) >= 0)
    throw Exception(Format(res::SProjectAlreadyInGroup, Project->GetFileName(), GetModuleName()));
  UniqueGuid(Project);
  FProjects.push_back(Project);
  if (!FGuidCountsStale) ++FGuidCounts[GuidOf(Project)];
  if (!Project->IsOwnedBy(this)) Project->AddOwner(this);
  Modified();
  TProjectGroupProjectAdded Args(Project);
  OnProjectAdded.Send(Args);
}

void TProjectGroup::RemoveProject(TBaseProject* Project) {
  int Index = GetProjectIndex(Project);
  if (Index < 0) throw Exception(Format(res::SNotInGroup, Project->GetFileName(), GetModuleName()));
  FProjects.erase(FProjects.begin() + Index);
  FGuidCountsStale = true;
  const std::string Guid = GuidOf(Project);
  FDependencies.erase(Guid);
  for (auto& [G, L] : FDependencies) std::erase(L, Guid);  // RemoveDependentGUID
  if (FActive == Project) {
    FActive = FProjects.empty() ? nullptr : FProjects[std::min<size_t>(static_cast<size_t>(Index), FProjects.size() - 1)];
  }
  if (ModuleList().Contains(Project) && Project->IsOwnedBy(this)) Project->RemoveOwner(this);
  Modified();
}

void TProjectGroup::ProjectClosing(TBaseProject* Project) {
  if (GetProjectIndex(Project) < 0) return;
  FProjects.erase(FProjects.begin() + GetProjectIndex(Project));
  FGuidCountsStale = true;
  if (FActive == Project) FActive = FProjects.empty() ? nullptr : FProjects.front();
}

void TProjectGroup::SetProjectIndex(int OldIndex, int NewIndex) {
  const int N = GetProjectCount();
  if (OldIndex < 0 || OldIndex >= N || NewIndex < 0 || NewIndex >= N || OldIndex == NewIndex) return;
  TBaseProject* P = FProjects[static_cast<size_t>(OldIndex)];
  FProjects.erase(FProjects.begin() + OldIndex);
  FProjects.insert(FProjects.begin() + NewIndex, P);
  Modified();
}

bool TProjectGroup::PromoteProject(TBaseProject* Project) {
  int I = GetProjectIndex(Project);
  if (I <= 0) return false;
  SetProjectIndex(I, I - 1);
  return true;
}

bool TProjectGroup::DemoteProject(TBaseProject* Project) {
  int I = GetProjectIndex(Project);
  if (I < 0 || I + 1 >= GetProjectCount()) return false;
  SetProjectIndex(I, I + 1);
  return true;
}

void TProjectGroup::ActivateProject(TBaseProject* Project) {
  if (Project && GetProjectIndex(Project) < 0)
    throw Exception(Format(res::SNotInGroup, Project->GetFileName(), GetModuleName()));
  if (FActive == Project) return;
  FActive = Project;
  Modified();
}

void TProjectGroup::ActivateNextTarget() {
  if (FProjects.empty()) {
    FActive = nullptr;
    return;
  }
  int I = FActive ? GetProjectIndex(FActive) : -1;
  FActive = FProjects[static_cast<size_t>(I + 1 < GetProjectCount() ? I + 1 : 0)];
}

// -- Dependencies -------------------------------------------------------------------------------------------

std::vector<TBaseProject*> TProjectGroup::GetProjectDependencies(const TBaseProject* Project) const {
  std::vector<TBaseProject*> Out;
  auto It = FDependencies.find(GuidOf(Project));
  if (It == FDependencies.end()) return Out;
  for (const auto& G : It->second)
    for (TBaseProject* P : FProjects)
      if (GuidOf(P) == G) Out.push_back(P);
  return Out;
}

bool TProjectGroup::DependsOn(const TBaseProject* From, const TBaseProject* To, std::vector<TBaseProject*>* Path) const {
  std::set<const TBaseProject*> Seen;
  std::function<bool(const TBaseProject*)> Walk = [&](const TBaseProject* P) {
    if (!Seen.insert(P).second) return false;
    for (TBaseProject* D : GetProjectDependencies(P)) {
      if (Path) Path->push_back(D);
      if (D == To || Walk(D)) return true;
      if (Path) Path->pop_back();
    }
    return false;
  };
  return Walk(From);
}

std::vector<TBaseProject*> TProjectGroup::CycleThrough(const TBaseProject* Project, const TBaseProject* Dependency) const {
  auto* P = const_cast<TBaseProject*>(Project);
  auto* D = const_cast<TBaseProject*>(Dependency);
  if (P == D) return {P, P};
  std::vector<TBaseProject*> Path;
  if (!DependsOn(D, P, &Path)) return {};
  std::vector<TBaseProject*> Cycle{P, D};
  Cycle.insert(Cycle.end(), Path.begin(), Path.end());
  return Cycle;
}

std::vector<TBaseProject*> TProjectGroup::GetValidProjectDependencies(const TBaseProject* Project) const {
  std::vector<TBaseProject*> Out;
  for (TBaseProject* P : FProjects)
    if (P != Project && !DependsOn(P, Project, nullptr)) Out.push_back(P);
  return Out;
}

void TProjectGroup::SetProjectDependencies(TBaseProject* Project, const std::vector<TBaseProject*>& List) {
  if (GetProjectIndex(Project) < 0) throw Exception(Format(res::SNotInGroup, Project->GetFileName(), GetModuleName()));
  for (TBaseProject* D : List) {
    if (GetProjectIndex(D) < 0) throw Exception(Format(res::SNotInGroup, D->GetFileName(), GetModuleName()));
    std::vector<TBaseProject*> Cycle = CycleThrough(Project, D);
    if (!Cycle.empty()) throw Exception(CycleMessage(Project, D, Cycle));
  }
  std::vector<std::string> Guids;
  for (TBaseProject* D : List)
    if (std::find(Guids.begin(), Guids.end(), GuidOf(D)) == Guids.end()) Guids.push_back(GuidOf(D));
  if (Guids.empty()) FDependencies.erase(GuidOf(Project));
  else FDependencies[GuidOf(Project)] = std::move(Guids);
  Modified();
  TProjectGroupProjectAdded Args(Project);
  OnDependenciesModified.Send(Args);
}

// -- Options ----------------------------------------------------------------------------------------------------

std::string TProjectGroup::GetOption(const std::string& Name) const {
  for (const auto& O : FOptions)
    if (SameText(O.Name, Name)) return O.Value;
  return {};
}

void TProjectGroup::SetOption(const std::string& Name, const std::string& Type, const std::string& Value) {
  for (auto& O : FOptions)
    if (SameText(O.Name, Name)) {
      O.Type = Type;
      O.Value = Value;
      Modified();
      return;
    }
  FOptions.push_back({Name, Type, Value});
  Modified();
}

// -- Writing --------------------------------------------------------------------------------------------------------

std::string TProjectGroup::RelativePath(const TBaseProject* Project) const {
  return ToProjectPath(ExtractRelativePath(ExtractFilePath(GetFileName()), Project->GetFileName()));
}

void TProjectGroup::MSBSaveProjectGroup(IMSProjectFile& Doc) {
  msb::TProjectNode* Root = dynamic_cast<IProjectNodeAccess&>(Doc).GetProjectNode();
  // The items: one "Projects" item per project in build order, in a group of their own.
  for (msb::TItemGroup* G : Root->GetItemGroups())
    for (msb::TItem* I : G->GetItems())
      if (SameText(I->NameView(), "Projects")) G->RemoveNode(I);
  msb::TItemGroup* Items = nullptr;
  for (msb::TItemGroup* G : Root->GetItemGroups())
    if (G->GetCondition().empty() && G->ItemCount() == 0) {
      Items = G;
      break;
    }
  if (!Items) {
    TNode* Before = Root->FindFirstChild("ProjectExtensions");
    auto Group = std::make_unique<msb::TItemGroup>();
    Items = Group.get();
    Root->InsertNode(std::move(Group), Before ? Before->Index() : -1);
  }
  for (TBaseProject* P : FProjects) {
    std::vector<std::string> Deps;
    for (TBaseProject* D : GetProjectDependencies(P)) Deps.push_back(RelativePath(D));
    Items->AddItem("Projects", RelativePath(P))->AddMetadata("Dependencies", Join(Deps, ";"));
  }
  if (FExtension) FExtension->Write(*Root, *Items);
  // The personality section: options and the active project.
  TNode* Ext = Root->GetProjectExtensions();
  TNode* Section = Ext->FindFirstChild("TarvosProject");
  if (!Section) Section = Ext->CreateChildNode("TarvosProject");
  TNode* Pers = Section->FindFirstChild(PersonalityName);
  if (!Pers) Pers = Section->CreateChildNode(PersonalityName);
  while (Pers->Count()) Pers->RemoveNode(Pers->Count() - 1);
  for (const auto& O : FOptions) {
    TNode* N = Pers->CreateChildNode("Option");
    N->SetAttribute("Name", O.Name);
    N->SetAttribute("Type", O.Type);
    N->SetValue(O.Value);
  }
  TNode* Active = Pers->CreateChildNode("Projects")->CreateChildNode("Projects");
  Active->SetAttribute("Name", "ActiveProject");
  if (FActive) Active->SetValue(RelativePath(FActive));
  // The targets: three per project, then the aggregates, then the group targets import.
  for (msb::TTarget* T : Root->GetTargets()) Root->RemoveNode(T);
  for (msb::TImport* I : Root->GetImports())
    if (EndsText(GroupTargetsFile, I->Project()) || EndsText(OldGroupTargetsFile, I->Project())) Root->RemoveNode(I);
  std::vector<std::string> Plain, Clean, Make;
  for (TBaseProject* P : FProjects) {
    const std::string Name = SanitizedTargetName(P->GetFileName());
    std::vector<std::string> DepNames;
    for (TBaseProject* D : GetProjectDependencies(P)) DepNames.push_back(SanitizedTargetName(D->GetFileName()));
    for (const char* Kind : {"", "Clean", "Make"}) {
      const std::string Suffix = *Kind ? std::string(":") + Kind : std::string();
      std::vector<std::string> Depends;
      for (const auto& D : DepNames) Depends.push_back(D + Suffix);
      auto Target = std::make_unique<msb::TTarget>();
      Target->SetTargetName(Name + Suffix);
      if (!Depends.empty()) Target->SetDependsOnTargets(Join(Depends, ";"));
      msb::TTarget* T = static_cast<msb::TTarget*>(Root->AddNode(std::move(Target)));
      msb::TTask* Task = T->GetTask("MSBuild", true);
      Task->SetParameter("Projects", RelativePath(P));
      if (*Kind) Task->SetParameter("Targets", Kind);
    }
    Plain.push_back(Name);
    Clean.push_back(Name + ":Clean");
    Make.push_back(Name + ":Make");
  }
  for (auto [Name, List] : {std::pair<const char*, std::vector<std::string>*>{"Build", &Plain},
                            {"Clean", &Clean},
                            {"Make", &Make}}) {
    auto Target = std::make_unique<msb::TTarget>();
    Target->SetTargetName(Name);
    msb::TTarget* T = static_cast<msb::TTarget*>(Root->AddNode(std::move(Target)));
    T->GetTask("CallTarget", true)->SetParameter("Targets", Join(*List, ";"));
  }
  const std::string Targets = std::string(MSBTargetLocation) + GroupTargetsFile;
  Root->AddImport(Targets, "Exists('" + Targets + "')");
}

std::string TProjectGroup::LegacyText() {
  TNode Root("TarvosProject");
  TNode* Projects = Root.CreateChildNode("Projects");
  std::vector<std::string> Names;
  for (TBaseProject* P : FProjects) {
    TNode* N = Projects->CreateChildNode("Project");
    N->SetAttribute("Name", SanitizedTargetName(P->GetFileName()));
    N->SetAttribute("File", RelativePath(P));
    N->SetAttribute("GUID", GuidOf(P));
    std::vector<TBaseProject*> Deps = GetProjectDependencies(P);
    if (!Deps.empty()) {
      TNode* D = N->CreateChildNode("Dependencies");
      for (TBaseProject* Q : Deps) D->CreateChildNode("Dependency")->SetAttribute("GUID", GuidOf(Q));
    }
    Names.push_back(SanitizedTargetName(P->GetFileName()));
  }
  Root.CreateChildNode("Targets")->SetValue(Join(Names, " "));
  Root.CreateChildNode("ActiveProject")->SetValue(FActive ? SanitizedTargetName(FActive->GetFileName()) : "");
  return WriteXmlText(Root);
}

msb::TProjectNode* TProjectGroup::GetProjectNode() {
  if (FLegacy) return nullptr;
  if (!FDocument) {
    FDocument = MSBuildCreateProjectFromXml(GetFileName(),
                                            "<Project xmlns=\"" + std::string(msb::MSBuildNamespace) + "\"></Project>");
    FDocument->SetPersonality(PersonalityName);
  }
  return dynamic_cast<IProjectNodeAccess&>(*FDocument).GetProjectNode();
}

std::string TProjectGroup::GroupFileText() {
  if (FLegacy) return LegacyText();
  GetProjectNode();
  MSBSaveProjectGroup(*FDocument);
  return FDocument->GetXml();
}

void TProjectGroup::SaveFile() {
  if (FLegacy) {
    WriteFileAtomic(GetFileName(), Bom + LegacyText());
    return;
  }
  GroupFileText();
  FDocument->SaveToFile(GetFileName());
}

bool TProjectGroup::Save(bool ChangeName, bool ForceSave) {
  if (!ForceSave && GetModified()) {
    const int Answer = Questions().MessageDlg(Format(res::SSaveGroupChanges, GetModuleName()),
                                              TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, mrCancel);
    if (Answer == mrNo) return true;
    if (Answer != mrYes) return false;
  }
  return TDocModule::Save(ChangeName, true);
}

void TProjectGroup::UpgradeProjectToMSBuild() {
  if (!FLegacy) return;
  const std::string NewName = ChangeFileExt(GetFileName(), ".groupproj");
  if (FileSystem().Stat(NewName).Exists) throw Exception(Format(res::SGroupFileExists, NewName));
  const std::string OldName = GetFileName();
  FLegacy = false;
  FDocument.reset();
  DoRename(NewName);
  try {
    SaveFile();
  } catch (...) {
    DoRename(OldName);
    FLegacy = true;
    throw;
  }
  FIsModified = false;
}

// -- Opening --------------------------------------------------------------------------------------------------------

bool TProjectGroupOpenHandler::CanOpen(int /*FilterID*/, const std::string& FileName) {
  return ExtractFileExt(FileName) == (FLegacy ? ".nxsgroup" : ".groupproj");
}

void TProjectGroupOpenHandler::GetFilters(std::vector<TFilterItem>& List, bool /*ProjectOnly*/) {
  List.push_back({FLegacy ? res::SLegacyGroupFilter : Format(res::SGroupFilter, "Orvanti", "NXS"), this, 0, true});
}

TDocModule* TProjectGroupOpenHandler::DoFileOpen(int /*FilterID*/, const std::string& FileName, bool /*Show*/,
                                                 TDocModule* /*AOwnerModule*/) {
  return TProjectGroup::OpenGroup(FileName);
}

}  // namespace nxs
