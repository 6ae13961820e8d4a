#include "projects/projectgroup.h"

#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "modules/modulelist.h"
#include "projectfiles/errors.h"
#include "projectfiles/msbnodes.h"
#include "projectfiles/readahead.h"
#include "projectfiles/resstrings.h"
#include "projectfiles/xmlio.h"
#include "projects/project.h"
#include "projects/resstrings.h"
#include "shared/dialogs.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filelock.h"
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

TProjectGroupDisplay& Display() {
  static TProjectGroupDisplay D;
  return D;
}

void ShowStatus(const std::string& Text) {
  if (Display().ShowStatus) Display().ShowStatus(Text);
}

// The progress of one operation, shown while the object lives.
class TOperationProgress {
 public:
  TOperationProgress(std::string Operation, const std::string& Caption) : FOperation(std::move(Operation)) {
    if (Display().BeginProgress) Display().BeginProgress(FOperation, Caption);
  }
  ~TOperationProgress() {
    if (Display().EndProgress) Display().EndProgress(FOperation);
  }
  TOperationProgress(const TOperationProgress&) = delete;  // one begin, one end
  TOperationProgress& operator=(const TOperationProgress&) = delete;

 private:
  std::string FOperation;
};

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

std::string Sanitize(const std::string& Name) { return ReplaceAllText(Name, ".", "_"); }

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
      FCurrent->FileName = ExpandFileName(ToDiskPath(MSBuildUnescape(Value)), FDir);
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
void SetProjectGroupDisplay(TProjectGroupDisplay D) { Display() = std::move(D); }

std::vector<TFileOpenHandler*> ProjectOpenHandlers() { return {&ProjectHandler(), &GroupHandler(), &LegacyGroupHandler()}; }

void InitProjects() {
  for (TFileOpenHandler* H : ProjectOpenHandlers()) RegisterOpenHandler(H);
}

void DoneProjects() {
  for (TFileOpenHandler* H : ProjectOpenHandlers()) UnregisterOpenHandler(H);
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
  TOperationProgress Progress(res::SProjectOperation,
                              (FLegacy ? res::SOpenLegacyGroup : res::SOpenMSBuildGroup) + GetFileName());
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

bool TProjectGroup::CheckFileDate() {
  const TFileInfo Now = FileSystem().Stat(GetFileName());
  return (FFileVersion.Exists && Now.Exists && !SameFileVersion(Now, FFileVersion)) || TDocModule::CheckFileDate();
}

bool TProjectGroup::CanReloadFile() {
  return FileSystem().Stat(GetFileName()).Exists && TDocModule::CanReloadFile();
}

void TProjectGroup::ReloadFile() {
  // Read first: a file that cannot be read leaves the group as it stands.
  std::shared_ptr<IMSProjectFile> Document = FDocument;
  const TFileInfo Version = FFileVersion;
  std::vector<TBaseProject*> Projects = FProjects;
  std::map<std::string, std::vector<std::string>> Dependencies = FDependencies;
  FProjects.clear();
  FDependencies.clear();
  FGuidCountsStale = true;
  try {
    Load();
  } catch (...) {
    FDocument = std::move(Document);
    FFileVersion = Version;
    FProjects = std::move(Projects);
    FDependencies = std::move(Dependencies);
    throw;
  }
  // Projects the file no longer lists leave the group.
  for (TBaseProject* P : Projects)
    if (GetProjectIndex(P) < 0 && ModuleList().Contains(P) && P->IsOwnedBy(this)) P->RemoveOwner(this);
  TDocModule::ReloadFile();
}

void TProjectGroup::LoadMSBuild(std::vector<TEntry>& Entries, std::vector<std::string>& Order, std::string& Active) {
  FFileVersion = FileSystem().Stat(GetFileName());
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
  FFileVersion = FileSystem().Stat(GetFileName());
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
  FProjectTargets.clear();
  // The entries of the build order, each with its project, or none where it did not open:
  // such a project stays listed (a file on a drive that is not there today is no reason to
  // forget it), and only removing it takes it out.
  std::vector<std::pair<const TEntry*, TBaseProject*>> Listed;
  std::unordered_set<const TEntry*> ListedEntries;
  auto IsListed = [&](const TEntry* E) { return ListedEntries.count(E) != 0; };
  bool Dropped = false;
  // Target names compare as SameText of their sanitized forms: keyed so, each name of the
  // order finds its entry (the first of that name) at once, however large the group.
  const auto TargetKey = [](const std::string& Name) { return LowerCase(Sanitize(Name)); };
  std::unordered_map<std::string, const TEntry*> EntryByTarget;
  for (const TEntry& E : Entries) EntryByTarget.emplace(TargetKey(E.TargetName), &E);
  // The project files are read and parsed on another core while the projects before them open.
  std::vector<std::string> Files;
  for (const auto& Name : Order)
    if (auto Found = EntryByTarget.find(TargetKey(Name)); Found != EntryByTarget.end() && !Found->second->FileName.empty())
      Files.push_back(Found->second->FileName);
  const TProjectReadAhead ReadAhead(Files);
  for (const auto& Name : Order) {
    auto Found = EntryByTarget.find(TargetKey(Name));
    if (Found == EntryByTarget.end()) continue;
    const TEntry* It = Found->second;
    if (It->FileName.empty() || IsListed(It)) continue;
    if (!FileSystem().FileExists(It->FileName)) {
      Report(Format(res::SUnableToLocateProject, It->FileName));
      Listed.emplace_back(It, nullptr);
      ListedEntries.insert(It);
      continue;
    }
    ShowStatus(Format(res::SLoadingProject, ExtractFileName(It->FileName)));
    try {
      TDocModule* M = CallDefaultOpenProc(It->FileName, false, this);
      auto* P = dynamic_cast<TBaseProject*>(M);
      if (!P) {
        if (M && ModuleList().Contains(M) && !M->IsOwned()) M->Close(false);
        throw Exception(res::SUnknownProjectType);
      }
      if (GetProjectIndex(P) >= 0) continue;
      AddTarget(P);
      Listed.emplace_back(It, P);
      ListedEntries.insert(It);
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& E) {
      Report(std::string(E.what()) + "\n\n" + Format(res::SUnableToCreateProject, It->FileName));
      Listed.emplace_back(It, nullptr);
      ListedEntries.insert(It);
    }
  }
  const TBaseProject* Last = nullptr;
  // The key each listed entry goes by in dependency lists: its project's GUID, or for one that
  // did not open the key it keeps (that of the first unopened entry of its file).
  std::unordered_map<const TEntry*, std::string> EntryKeys;
  std::unordered_map<std::string, std::string> UnopenedKeys;  // file -> key
  for (const auto& [E, P] : Listed) {
    FProjectTargets.push_back(E->TargetName);
    if (P) {
      Last = P;
      EntryKeys[E] = GuidOf(P);
      continue;
    }
    // A GUID names the project in the legacy format's dependency lists.
    FUnopened.push_back({E->FileName, ByGuid && !E->Guid.empty() ? E->Guid : "file:" + E->FileName, {}, Last});
    EntryKeys[E] = UnopenedKeys.emplace(E->FileName, FUnopened.back().Key).first->second;
  }
  auto KeyOf = [&](const TEntry* E) -> std::string {
    auto K = EntryKeys.find(E);
    return K == EntryKeys.end() ? std::string() : K->second;
  };
  // Dependencies: by target name, or by GUID in the legacy format; one that would close a
  // cycle (a hand-edited file) is dropped. Where names repeat, the first entry listed answers,
  // then (by GUID) the last project of the group.
  std::unordered_map<std::string, const TEntry*> ListedByKey;
  for (const auto& [Other, Q] : Listed) ListedByKey.emplace(ByGuid ? LowerCase(Other->Guid) : TargetKey(Other->TargetName), Other);
  std::unordered_map<std::string, std::string> GroupGuids;  // lower case -> as the project has it
  std::unordered_map<std::string, TBaseProject*> ProjectByGuid;
  for (TBaseProject* Q : FProjects) {
    if (ByGuid) GroupGuids[LowerCase(GuidOf(Q))] = GuidOf(Q);
    ProjectByGuid[GuidOf(Q)] = Q;
  }
  for (const auto& [Entry, P] : Listed) {
    std::vector<std::string> Keys;
    for (const auto& D : Entry->Dependencies) {
      std::string Key;
      if (auto O = ListedByKey.find(ByGuid ? LowerCase(D) : TargetKey(D)); O != ListedByKey.end()) Key = KeyOf(O->second);
      if (auto G = GroupGuids.find(LowerCase(D)); Key.empty() && ByGuid && G != GroupGuids.end()) Key = G->second;
      if (Key.empty() || Key == KeyOf(Entry) || std::find(Keys.begin(), Keys.end(), Key) != Keys.end()) continue;
      Keys.push_back(Key);
    }
    if (!P) {
      for (auto& U : FUnopened)
        if (U.FileName == Entry->FileName) U.Dependencies = Keys;
      continue;
    }
    std::vector<std::string>& Own = FDependencies[GuidOf(P)];
    for (const auto& Key : Keys) {
      auto Found = ProjectByGuid.find(Key);
      TBaseProject* D = Found == ProjectByGuid.end() ? nullptr : Found->second;
      if (D) {
        if (std::vector<TBaseProject*> Cycle = CycleThrough(P, D); !Cycle.empty()) {
          Report(CycleMessage(P, D, Cycle));
          Dropped = true;
          continue;
        }
      }
      Own.push_back(Key);
    }
    if (Own.empty()) FDependencies.erase(GuidOf(P));
  }
  FActive = nullptr;
  FActiveUnopened.clear();
  const std::string Dir = ExtractFilePath(GetFileName());
  if (!Active.empty())
    for (const auto& [E, P] : Listed)
      if (SameText(Sanitize(E->TargetName), Sanitize(Active)) ||
          SameFileName(E->FileName, ExpandFileName(ToDiskPath(Active), Dir))) {
        if (P) FActive = P;
        else FActiveUnopened = KeyOf(E);
        break;
      }
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

std::vector<std::string> TProjectGroup::UnopenedProjects() const {
  std::vector<std::string> Names;
  for (const TSlot& S : Slots())
    if (S.Unopened) Names.push_back(S.Unopened->FileName);
  return Names;
}

std::string TProjectGroup::TSlot::FileName() const { return Project ? Project->GetFileName() : Unopened->FileName; }
std::string TProjectGroup::TSlot::Key() const { return Project ? GuidOf(Project) : Unopened->Key; }

std::vector<TProjectGroup::TSlot> TProjectGroup::Slots() const {
  std::vector<TSlot> Out;
  auto Following = [&](const TBaseProject* P) {
    for (const auto& U : FUnopened)
      if (U.After == P) Out.push_back({nullptr, &U});
  };
  Following(nullptr);
  for (TBaseProject* P : FProjects) {
    Out.push_back({P, nullptr});
    Following(P);
  }
  return Out;
}

std::vector<std::string> TProjectGroup::DependencyKeys(const TSlot& Slot) const {
  if (Slot.Unopened) return Slot.Unopened->Dependencies;
  auto It = FDependencies.find(GuidOf(Slot.Project));
  return It == FDependencies.end() ? std::vector<std::string>() : It->second;
}

void TProjectGroup::Unanchor(const TBaseProject* Project) {
  const int Index = GetProjectIndex(Project);
  const TBaseProject* Before = Index > 0 ? FProjects[static_cast<size_t>(Index - 1)] : nullptr;
  for (auto& U : FUnopened)
    if (U.After == Project) U.After = Before;
}

void TProjectGroup::ForgetDependencyKey(const std::string& Key) {
  for (auto It = FDependencies.begin(); It != FDependencies.end();) {
    std::erase(It->second, Key);
    It = It->second.empty() ? FDependencies.erase(It) : std::next(It);
  }
  for (auto& U : FUnopened) std::erase(U.Dependencies, Key);
}

void TProjectGroup::RemoveProjectNamed(const std::string& NameOrFile) {
  if (TBaseProject* P = FindProject(NameOrFile)) {
    RemoveProject(P);
    return;
  }
  const std::string Dir = ExtractFilePath(GetFileName());
  for (auto It = FUnopened.begin(); It != FUnopened.end(); ++It) {
    if (!SameFileName(It->FileName, ExpandFileName(NameOrFile)) &&
        !SameFileName(It->FileName, ExpandFileName(ToDiskPath(NameOrFile), Dir)) &&
        !SameText(ChangeFileExt(ExtractFileName(It->FileName), ""), NameOrFile))
      continue;
    const std::string Key = It->Key;
    FUnopened.erase(It);
    ForgetDependencyKey(Key);
    if (FActiveUnopened == Key) FActiveUnopened.clear();
    Modified();
    return;
  }
  throw Exception(Format(res::SNotInGroup, NameOrFile, GetModuleName()));
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
  Unanchor(Project);
  FProjects.erase(FProjects.begin() + Index);
  FGuidCountsStale = true;
  const std::string Guid = GuidOf(Project);
  FDependencies.erase(Guid);
  ForgetDependencyKey(Guid);  // RemoveDependentGUID
  if (FActive == Project) {
    FActive = FProjects.empty() ? nullptr : FProjects[std::min<size_t>(static_cast<size_t>(Index), FProjects.size() - 1)];
  }
  if (ModuleList().Contains(Project) && Project->IsOwnedBy(this)) Project->RemoveOwner(this);
  Modified();
}

void TProjectGroup::ProjectClosing(TBaseProject* Project) {
  if (GetProjectIndex(Project) < 0) return;
  Unanchor(Project);
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
  if (FActive == Project && FActiveUnopened.empty()) return;
  FActive = Project;
  FActiveUnopened.clear();
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
  // Dependencies on projects that could not be opened are none of the list's business.
  for (const auto& Key : DependencyKeys({Project, nullptr}))
    if (std::any_of(FUnopened.begin(), FUnopened.end(), [&](const TUnopened& U) { return U.Key == Key; }))
      Guids.push_back(Key);
  if (Guids.empty()) FDependencies.erase(GuidOf(Project));
  else FDependencies[GuidOf(Project)] = std::move(Guids);
  Modified();
  TProjectGroupProjectAdded Args(Project);
  OnDependenciesModified.Send(Args);
}

void TProjectGroup::AddProjectDependencies(TBaseProject* Project, const std::vector<TBaseProject*>& List) {
  std::vector<TBaseProject*> Deps = GetProjectDependencies(Project);
  Deps.insert(Deps.end(), List.begin(), List.end());
  SetProjectDependencies(Project, Deps);
}

void TProjectGroup::RemoveProjectDependency(TBaseProject* Project, const TBaseProject* Dependency) {
  std::vector<TBaseProject*> Deps = GetProjectDependencies(Project);
  std::erase(Deps, Dependency);
  SetProjectDependencies(Project, Deps);
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

std::string TProjectGroup::RelativePath(const std::string& FileName) const {
  return ToProjectPath(ExtractRelativePath(ExtractFilePath(GetFileName()), FileName));
}

std::vector<std::string> GroupTargetNames(const std::vector<std::string>& FileNames,
                                          const std::vector<std::string>& Reserved) {
  std::set<std::string, CaseInsensitiveLess> Taken(Reserved.begin(), Reserved.end());
  Taken.insert({"Build", "Clean", "Make"});
  Taken.insert(std::begin(GroupTargetsFileTargets), std::end(GroupTargetsFileTargets));
  std::vector<std::string> Names;
  for (const auto& File : FileNames) {
    const std::string Base = SanitizedTargetName(File);
    std::string Name = Base;
    for (int N = 2; Taken.count(Name); ++N) Name = Base + "_" + IntToStr(N);
    Taken.insert(Name);
    Names.push_back(Name);
  }
  return Names;
}

bool TProjectGroup::OwnsTarget(std::string_view Name) const {
  if (SameText(Name, "Build") || SameText(Name, "Clean") || SameText(Name, "Make")) return true;
  const size_t Colon = Name.find(':');
  const std::string_view Kind = Colon == std::string_view::npos ? std::string_view() : Name.substr(Colon + 1);
  if (Colon != std::string_view::npos && !SameText(Kind, "Clean") && !SameText(Kind, "Make")) return false;
  const std::string_view Project = Name.substr(0, Colon);
  return std::any_of(FProjectTargets.begin(), FProjectTargets.end(),
                     [&](const std::string& T) { return SameText(T, Project); });
}

// Writes what the group owns into the document and leaves the rest where it stands: the
// targets, property groups, item groups, imports and sections a user wrote by hand.
void TProjectGroup::MSBSaveProjectGroup(IMSProjectFile& Doc) {
  msb::TProjectNode* Root = dynamic_cast<IProjectNodeAccess&>(Doc).GetProjectNode();
  const std::vector<TSlot> Order = Slots();
  std::vector<std::string> Files, Paths, UserTargets;
  for (const TSlot& S : Order) {
    Files.push_back(S.FileName());
    Paths.push_back(MSBuildEscape(RelativePath(S.FileName())));
  }
  for (msb::TTarget* T : Root->GetTargets())
    if (!OwnsTarget(T->Name())) UserTargets.push_back(T->Name());
  const std::vector<std::string> Names = GroupTargetNames(Files, UserTargets);
  // Each place's dependencies as places of the order.
  auto DependenciesOf = [&](size_t I) {
    std::vector<size_t> Deps;
    for (const auto& Key : DependencyKeys(Order[I]))
      for (size_t J = 0; J < Order.size(); ++J)
        if (J != I && Order[J].Key() == Key) Deps.push_back(J);
    return Deps;
  };

  // The items: one "Projects" item per project in build order, where the first one stood.
  msb::TItemGroup* Items = nullptr;
  int ItemsAt = -1;
  for (msb::TItemGroup* G : Root->GetItemGroups()) {
    if (!G->GetCondition().empty()) continue;
    for (msb::TItem* I : G->GetItems())
      if (SameText(I->NameView(), "Projects")) {
        if (!Items) {
          Items = G;
          ItemsAt = I->Index();
        }
        G->RemoveNode(I);
      }
  }
  for (msb::TItemGroup* G : Root->GetItemGroups())
    if (!Items && G->GetCondition().empty() && G->ItemCount() == 0) Items = G;
  if (!Items) {
    TNode* Before = Root->FindFirstChild("ProjectExtensions");
    auto Group = std::make_unique<msb::TItemGroup>();
    Items = Group.get();
    Root->InsertNode(std::move(Group), Before ? Before->Index() : -1);
  }
  for (size_t I = 0; I < Order.size(); ++I) {
    std::vector<std::string> Deps;
    for (size_t D : DependenciesOf(I)) Deps.push_back(Paths[D]);
    msb::TItem* Item = Items->AddItem("Projects", Paths[I]);
    Item->AddMetadata("Dependencies", Join(Deps, ";"));
    if (ItemsAt >= 0) Item->SetIndex(ItemsAt++);
  }
  if (FExtension) FExtension->Write(*Root, *Items);

  // The personality section: the options, each where it stood, and the active project.
  TNode* Ext = Root->GetProjectExtensions();
  TNode* Section = Ext->FindFirstChild("TarvosProject");
  if (!Section) Section = Ext->CreateChildNode("TarvosProject");
  TNode* Pers = Section->FindFirstChild(PersonalityName);
  if (!Pers) Pers = Section->CreateChildNode(PersonalityName);
  std::vector<TNode*> Unused = Pers->FindChildren("Option");
  TNode* LastOption = Unused.empty() ? nullptr : Unused.back();
  for (const auto& O : FOptions) {
    auto It = std::find_if(Unused.begin(), Unused.end(),
                           [&](TNode* N) { return SameText(N->GetAttribute("Name"), O.Name); });
    TNode* N = nullptr;
    if (It != Unused.end()) {
      N = *It;
      Unused.erase(It);
    } else {
      N = Pers->CreateChildNode("Option", {}, LastOption);
      LastOption = N;
    }
    N->SetAttribute("Name", O.Name);
    N->SetAttribute("Type", O.Type);
    N->SetValue(O.Value);
  }
  for (TNode* N : Unused) Pers->RemoveNode(N);
  std::string Active;
  for (size_t I = 0; I < Order.size(); ++I)
    if (FActiveUnopened.empty() ? Order[I].Project == FActive && FActive : Order[I].Key() == FActiveUnopened)
      Active = RelativePath(Files[I]);
  TNode* ProjectsNode = Pers->FindFirstChild("Projects");
  if (!ProjectsNode) ProjectsNode = Pers->CreateChildNode("Projects");
  TNode* ActiveNode = nullptr;
  for (TNode* N : ProjectsNode->FindChildren("Projects"))
    if (N->GetAttribute("Name") != "ActiveProject") continue;
    else if (!ActiveNode) ActiveNode = N;
    else ProjectsNode->RemoveNode(N);
  if (!ActiveNode) {
    ActiveNode = ProjectsNode->CreateChildNode("Projects");
    ActiveNode->SetAttribute("Name", "ActiveProject");
  }
  ActiveNode->SetValue(Active);

  // The targets: three per project, then the aggregates, where the group's targets stood.
  int TargetsAt = -1;
  for (msb::TTarget* T : Root->GetTargets())
    if (OwnsTarget(T->Name())) {
      if (TargetsAt < 0) TargetsAt = T->Index();
      Root->RemoveNode(T);
    }
  auto AddTarget = [&](std::unique_ptr<msb::TTarget> Target) {
    msb::TTarget* T = Target.get();
    Root->InsertNode(std::move(Target), TargetsAt);
    if (TargetsAt >= 0) ++TargetsAt;
    return T;
  };
  std::vector<std::string> Plain, Clean, Make;
  for (size_t I = 0; I < Order.size(); ++I) {
    for (const char* Kind : {"", "Clean", "Make"}) {
      const std::string Suffix = *Kind ? std::string(":") + Kind : std::string();
      std::vector<std::string> Depends;
      for (size_t D : DependenciesOf(I)) Depends.push_back(Names[D] + Suffix);
      auto Target = std::make_unique<msb::TTarget>();
      Target->SetTargetName(Names[I] + Suffix);
      if (!Depends.empty()) Target->SetDependsOnTargets(Join(Depends, ";"));
      msb::TTask* Task = AddTarget(std::move(Target))->GetTask("MSBuild", true);
      Task->SetParameter("Projects", Paths[I]);
      if (*Kind) Task->SetParameter("Targets", Kind);
    }
    Plain.push_back(Names[I]);
    Clean.push_back(Names[I] + ":Clean");
    Make.push_back(Names[I] + ":Make");
  }
  for (auto [Name, List] : {std::pair<const char*, std::vector<std::string>*>{"Build", &Plain},
                            {"Clean", &Clean},
                            {"Make", &Make}}) {
    auto Target = std::make_unique<msb::TTarget>();
    Target->SetTargetName(Name);
    AddTarget(std::move(Target))->GetTask("CallTarget", true)->SetParameter("Targets", Join(*List, ";"));
  }
  FProjectTargets = Names;

  // The import of the group targets file: the first one made current, repeats of it dropped.
  const std::string Targets = std::string(MSBTargetLocation) + GroupTargetsFile;
  bool Imported = false;
  for (msb::TImport* I : Root->GetImports()) {
    if (!EndsText(GroupTargetsFile, I->Project()) && !EndsText(OldGroupTargetsFile, I->Project())) continue;
    if (Imported) {
      Root->RemoveNode(I);
      continue;
    }
    I->SetProject(Targets);
    I->SetAttribute("Condition", "Exists('" + Targets + "')");
    Imported = true;
  }
  if (!Imported) Root->AddImport(Targets, "Exists('" + Targets + "')");
}

std::string TProjectGroup::LegacyText() {
  const std::vector<TSlot> Order = Slots();
  std::vector<std::string> Files;
  for (const TSlot& S : Order) Files.push_back(S.FileName());
  const std::vector<std::string> Names = GroupTargetNames(Files, {});
  // The legacy format names projects by GUID; an unopened one without a GUID has none.
  auto GuidOfSlot = [](const TSlot& S) { return S.Key().starts_with("file:") ? std::string() : S.Key(); };
  TNode Root("TarvosProject");
  TNode* Projects = Root.CreateChildNode("Projects");
  std::string Active;
  for (size_t I = 0; I < Order.size(); ++I) {
    TNode* N = Projects->CreateChildNode("Project");
    N->SetAttribute("Name", Names[I]);
    N->SetAttribute("File", RelativePath(Files[I]));
    N->SetAttribute("GUID", GuidOfSlot(Order[I]));
    TNode* D = nullptr;
    for (const auto& Key : DependencyKeys(Order[I]))
      for (size_t J = 0; J < Order.size(); ++J)
        if (J != I && Order[J].Key() == Key && !GuidOfSlot(Order[J]).empty()) {
          if (!D) D = N->CreateChildNode("Dependencies");
          D->CreateChildNode("Dependency")->SetAttribute("GUID", GuidOfSlot(Order[J]));
        }
    if (FActiveUnopened.empty() ? Order[I].Project == FActive && FActive : Order[I].Key() == FActiveUnopened)
      Active = Names[I];
  }
  Root.CreateChildNode("Targets")->SetValue(Join(Names, " "));
  Root.CreateChildNode("ActiveProject")->SetValue(Active);
  return WriteXmlText(Root);
}

msb::TProjectNode* TProjectGroup::GetProjectNode() {
  if (FLegacy) return nullptr;
  if (!FDocument) {
    FDocument = MSBuildCreateProjectFromXml(
        GetFileName(), "<Project xmlns=\"" + std::string(msb::MSBuildNamespace) + "\"></Project>", PersonalityName);
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
    // As a project document does: never over a version another process wrote since the read.
    TFileLock Lock(GetFileName());
    TFileInfo Now = FileSystem().Stat(GetFileName());
    if (FFileVersion.Exists && Now.Exists && !SameFileVersion(Now, FFileVersion))
      throw EProjectFileException(Format(res::SChangedOnDisk, GetFileName()));
    WriteFileAtomic(GetFileName(), Bom + LegacyText());
    FFileVersion = FileSystem().Stat(GetFileName());
    return;
  }
  GroupFileText();
  FDocument->SaveToFile(GetFileName());
  FFileVersion = FileSystem().Stat(GetFileName());
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
