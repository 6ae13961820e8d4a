#include "build/buildgroups.h"

#include <algorithm>

#include "build/orchestration.h"
#include "build/resstrings.h"
#include "build/messages/msglines.h"
#include "modules/modulelist.h"
#include "projectfiles/conditions.h"
#include "projects/project.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

constexpr const char* ItemType = "BuildGroupProject";
constexpr const char* ActiveProperty = "ActiveBuildGroup";

std::string GuidOf(const TBaseProject& P) { return GUIDToString(P.GetProjectGUID()); }

std::vector<std::string> SplitNames(const std::string& Text) {
  std::vector<std::string> Out;
  for (const auto& Part : Split(Text, ';'))
    if (std::string T = Trim(Part); !T.empty()) Out.push_back(T);
  return Out;
}

// The build group a condition names: "'$(BuildGroup)'=='name'" read as an expression, the
// operands either way round; empty for any other condition.
std::string BuildGroupOfCondition(const std::string& Condition) {
  std::vector<TConditionComparison> Comparisons;
  try {
    Comparisons = TConfigurationConditionParser::Comparisons(Condition);
  } catch (const std::exception&) {
    return {};
  }
  if (Comparisons.size() != 1 || Comparisons[0].Op != tkEqual) return {};
  const TConditionToken& L = Comparisons[0].Left;
  const TConditionToken& R = Comparisons[0].Right;
  if (L.Kind == tkVariable && SameText(L.Text, "BuildGroup") && R.Kind == tkLiteral) return R.Text;
  if (R.Kind == tkVariable && SameText(R.Text, "BuildGroup") && L.Kind == tkLiteral) return L.Text;
  return {};
}

bool ReadBool(const std::string& Text, bool Default) {
  if (SameText(Trim(Text), "true")) return true;
  if (SameText(Trim(Text), "false")) return false;
  return Default;
}

TBuildGroupItem DefaultItem(TBaseProject& Project) {
  TBuildGroupItem Item;
  Item.ProjectGuid = GuidOf(Project);
  if (auto* P = dynamic_cast<TCustomCodeIProject*>(&Project)) {
    Item.Configurations = P->GetCurrentConfiguration();
    Item.Platforms = P->GetCurrentPlatform();
  }
  return Item;
}

}  // namespace

TEvent<TEvBuildGroupModified>& EvBuildGroupModified() {
  static TEvent<TEvBuildGroupModified> E;
  return E;
}

TBuildGroupItem* TBuildGroup::FindItem(const std::string& ProjectGuid) {
  for (auto& I : FItems)
    if (SameText(I.ProjectGuid, ProjectGuid)) return &I;
  return nullptr;
}

// -- The model ------------------------------------------------------------------------------------

TBuildGroups::TBuildGroups(TProjectGroup& Group) : FGroup(Group) {
  for (TBaseProject* P : Group.Projects()) Watch(P);
  // A project that closes leaves the group: its configurations go with it.
  EvProjectClosing().Add(this, [this](TEvProjectModule& A) { Unwatch(A.Project); });
  Group.OnProjectAdded.Add(this, [this](TProjectGroupProjectAdded& A) { Watch(A.Project); });
}

TBuildGroups::~TBuildGroups() {
  FGroup.OnProjectAdded.Remove(this);
  EvProjectClosing().Remove(this);
  for (TBaseProject* P : std::vector<TBaseProject*>(FWatched)) Unwatch(P);
}

void TBuildGroups::Watch(TBaseProject* Project) {
  if (!Project || std::find(FWatched.begin(), FWatched.end(), Project) != FWatched.end()) return;
  Project->GetConfigurations()->AddNotifier(this);
  FWatched.push_back(Project);
}

void TBuildGroups::Unwatch(TBaseProject* Project) {
  auto It = std::find(FWatched.begin(), FWatched.end(), Project);
  if (It == FWatched.end()) return;
  if (ModuleList().Contains(Project)) Project->GetConfigurations()->RemoveNotifier(this);
  FWatched.erase(It);
}

void TBuildGroups::ItemRenamed(TBuildConfiguration& Config, const std::string& OldName) {
  const std::string NewName = Config.Name();
  TBaseProject* Owner = nullptr;
  for (TBaseProject* P : FWatched)
    if (P->GetConfigurations() == Config.Owner()) Owner = P;
  if (!Owner) return;
  for (auto& G : FGroups) {
    TBuildGroupItem* Item = G->FindItem(GuidOf(*Owner));
    if (!Item) continue;
    std::vector<std::string> Names = SplitNames(Item->Configurations);
    bool Renamed = false;
    for (auto& N : Names)
      if (SameText(N, OldName)) {
        N = NewName;
        Renamed = true;
      }
    if (!Renamed) continue;
    Item->Configurations = Join(Names, ";");
    Changed(G.get());
  }
}

TBaseProject* TBuildGroups::ProjectOfGuid(const std::string& Guid) const {
  for (TBaseProject* P : FGroup.Projects())
    if (SameText(GuidOf(*P), Guid)) return P;
  return nullptr;
}

TBuildGroup* TBuildGroups::Find(const std::string& Name) {
  for (auto& G : FGroups)
    if (SameText(G->Name(), Name)) return G.get();
  return nullptr;
}

TBuildGroupItem& TBuildGroups::ItemFor(TBuildGroup& Group, TBaseProject& Project) {
  if (TBuildGroupItem* Item = Group.FindItem(GuidOf(Project))) return *Item;
  Group.Items().push_back(DefaultItem(Project));
  return Group.Items().back();
}

TBuildGroup& TBuildGroups::Add(const std::string& Name) {
  Remove(Name);
  FGroups.push_back(std::make_unique<TBuildGroup>(Name));
  TBuildGroup& G = *FGroups.back();
  for (TBaseProject* P : FGroup.Projects()) ItemFor(G, *P);
  Changed(&G);
  return G;
}

void TBuildGroups::Remove(const std::string& Name) {
  auto It = std::find_if(FGroups.begin(), FGroups.end(), [&](const auto& G) { return SameText(G->Name(), Name); });
  if (It == FGroups.end()) return;
  FGroups.erase(It);
  if (SameText(FActive, Name)) FActive.clear();
  Changed(nullptr);
}

void TBuildGroups::SetActiveBuildGroup(const std::string& Name) {
  if (FActive == Name) return;
  FActive = Name;
  Changed(Find(Name));
}

void TBuildGroups::Changed(TBuildGroup* Group) {
  FGroup.Modified();
  TEvBuildGroupModified Args(Group);
  EvBuildGroupModified().Send(Args);
}

// -- Reading and writing ----------------------------------------------------------------------------------

void TBuildGroups::Load(msb::TProjectNode& Root) {
  FGroups.clear();
  FActive.clear();
  for (msb::TPropertyGroup* PG : Root.GetPropertyGroups())
    for (msb::TProperty* P : PG->GetProperties())
      if (SameText(P->NameView(), ActiveProperty)) FActive = P->GetValue();
  for (msb::TItemGroup* IG : Root.GetItemGroups()) {
    const std::string Name = BuildGroupOfCondition(IG->GetCondition());
    if (Name.empty()) continue;
    TBuildGroup* G = Find(Name);
    if (!G) {
      FGroups.push_back(std::make_unique<TBuildGroup>(Name));
      G = FGroups.back().get();
    }
    for (msb::TItem* I : IG->GetItems()) {
      if (!SameText(I->NameView(), ItemType)) continue;
      TBuildGroupItem Item;
      Item.Enabled = true;
      for (int K = 0; K < I->Count(); ++K) {
        TNode* M = I->GetNode(K);
        const std::string Value = M->GetValue();
        if (SameText(M->NameView(), "ProjectGuid")) Item.ProjectGuid = Trim(Value);
        else if (SameText(M->NameView(), "Configurations")) Item.Configurations = Value;
        else if (SameText(M->NameView(), "Platforms")) Item.Platforms = Value;
        else if (SameText(M->NameView(), "Enabled")) Item.Enabled = ReadBool(Value, true);
      }
      // An item without a GUID names its project by path.
      if (Item.ProjectGuid.empty())
        if (TBaseProject* P = FGroup.FindProject(I->Include())) Item.ProjectGuid = GuidOf(*P);
      if (!Item.ProjectGuid.empty() && !G->FindItem(Item.ProjectGuid)) G->Items().push_back(Item);
    }
  }
  for (auto& G : FGroups)
    for (TBaseProject* P : FGroup.Projects()) ItemFor(*G, *P);
}

void TBuildGroups::Write(msb::TProjectNode& Root, msb::TItemGroup& Items) {
  for (msb::TItemGroup* IG : Root.GetItemGroups())
    if (!BuildGroupOfCondition(IG->GetCondition()).empty()) Root.RemoveNode(IG);
  const std::string Dir = ExtractFilePath(FGroup.GetFileName());
  TNode* After = &Items;
  for (auto& G : FGroups) {
    msb::TItemGroup* IG = Root.AddItemGroup(Format(res::SBuildGroupCondition, G->Name()), After);
    After = IG;
    // In build order; items of projects that left the group are dropped.
    for (TBaseProject* P : FGroup.Projects()) {
      const TBuildGroupItem& Item = ItemFor(*G, *P);
      msb::TItem* I = IG->AddItem(ItemType, ToProjectPath(ExtractRelativePath(Dir, P->GetFileName())));
      I->AddMetadata("ProjectGuid", Item.ProjectGuid);
      I->AddMetadata("Configurations", Item.Configurations);
      I->AddMetadata("Platforms", Item.Platforms);
      I->AddMetadata("Enabled", Item.Enabled ? "True" : "False");
    }
  }
  for (msb::TPropertyGroup* PG : Root.GetPropertyGroups())
    for (msb::TProperty* P : PG->GetProperties())
      if (SameText(P->NameView(), ActiveProperty)) PG->RemoveNode(P);
  if (FActive.empty()) return;
  msb::TPropertyGroup* PG = nullptr;
  for (msb::TPropertyGroup* G : Root.GetPropertyGroups())
    if (G->GetCondition().empty()) {
      PG = G;
      break;
    }
  if (!PG) {
    auto New = std::make_unique<msb::TPropertyGroup>();
    PG = New.get();
    Root.InsertNode(std::move(New), Items.Index());
  }
  PG->AddProperty(ActiveProperty, "", FActive);
}

TBuildGroups* CreateBuildGroups(TProjectGroup& Group) {
  if (auto* Existing = dynamic_cast<TBuildGroups*>(Group.GetExtension())) return Existing;
  msb::TProjectNode* Root = Group.GetProjectNode();
  if (!Root) return nullptr;
  auto Groups = std::make_unique<TBuildGroups>(Group);
  Groups->Load(*Root);
  TBuildGroups* Made = Groups.get();
  Group.SetExtension(std::move(Groups));
  return Made;
}

// -- Building -------------------------------------------------------------------------------------------------------

TCompileResult CompileBuildGroup(TProjectGroup& Group, const std::string& Name, const TBuildControl& Control,
                                 const TEngineRunSwitches& Switches) {
  TBuildGroups* Groups = CreateBuildGroups(Group);
  TBuildGroup* BG = Groups && !Name.empty() ? Groups->Find(Name) : nullptr;
  if (!BG) return crFailed;
  BuildDisplay().SetTitle(Format(res::SBuildingGroup, BG->Name()));
  TProjectBuildList List(Switches);
  for (TBaseProject* P : Group.Projects()) {
    auto* Project = dynamic_cast<TCustomCodeIProject*>(P);
    TBuildGroupItem* Item = BG->FindItem(GuidOf(*P));
    if (!Project || !Item || !Item->Enabled) continue;
    for (const auto& Cfg : SplitNames(Item->Configurations))
      for (const auto& Plat : SplitNames(Item->Platforms)) List.Add(Project, Cfg, Plat);
  }
  return BuildProjects(List, Control);
}

}  // namespace nxs
