// Loading a project's configurations from its document and saving them back: definition
// groups, value groups, local overrides, option-set imports, the project-level properties,
// the platform list section and build events.
#include <algorithm>
#include <functional>
#include <map>
#include <unordered_map>

#include "projectfiles/conditions.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/msbnodes.h"
#include "projectfiles/names.h"
#include "projectfiles/optionsets.h"
#include "projectfiles/platforms.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/resstrings.h"
#include "projectfiles/xmlio.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs {

static constexpr const char* BaseKey = "Base";
static constexpr const char* FallbackPlatform = "Win32";
static constexpr const char* BuildEventNames[] = {"PreBuildEvent", "PreLinkEvent", "PostBuildEvent"};
static constexpr const char* StorageSection = "TarvosProject";
static constexpr const char* PlatformsSection = "Platforms";

namespace {

class TFnReader : public IPropertyReader {
 public:
  using TFn = std::function<void(const std::string&, const std::string&, const std::string&)>;
  explicit TFnReader(TFn Fn) : FFn(std::move(Fn)) {}
  void ReadProperty(const std::string& Name, const std::string& Value, const std::string& Condition) override {
    FFn(Name, Value, Condition);
  }

 private:
  TFn FFn;
};

std::string GroupProperty(IMSProjectFile& File, const std::string& Condition, const std::string& Name) {
  std::string Value;
  TFnReader Reader([&](const std::string&, const std::string& V, const std::string&) { Value = V; });
  File.ReadGroupProperty(Name, Condition, Reader);
  return Value;
}

msb::TProjectNode* RootOf(IMSProjectFile& File) {
  auto* Access = dynamic_cast<IProjectNodeAccess*>(&File);
  return Access ? Access->GetProjectNode() : nullptr;
}

// One definition group as read.
struct TDefinition {
  TConditionInfo Info;
  std::string Condition;
  std::string CfgParent;
  enum { dsNew, dsVisiting, dsDone } State = dsNew;
  TBuildConfiguration* Config = nullptr;
};

}  // namespace

// ---- loading --------------------------------------------------------------------------

// New keys never take a number that any group of the file names, defined or not: a group left
// as it stands (an unknown platform, a parent that is missing) would otherwise be claimed by a
// new configuration on the next load.
void TBuildConfigurations::ReserveKeysIn(const std::vector<std::string>& Conditions) {
  for (const auto& Cond : Conditions) {
    for (size_t P = FindText(Cond, "$(Cfg_"); P != std::string::npos; P = FindText(Cond, "$(Cfg_", P + 1)) {
      size_t I = P + 6;
      int N = 0;
      while (I < Cond.size() && Cond[I] >= '0' && Cond[I] <= '9' && N < 100000000) N = N * 10 + (Cond[I++] - '0');
      if (I > P + 6 && N > FKeyIndex) FKeyIndex = N;
    }
  }
}

void TBuildConfigurations::Load(IMSProjectFile& ProjectFile) {
  FLoading = true;
  FLoadMessages.clear();
  FStaleGroups.clear();
  FImports.clear();
  FBuildEventGroups.clear();
  FItems.clear();
  FNameIndexValid = false;
  FBaseConfiguration.reset();
  FModified = false;
  FLoadChanged = false;
  try {
    std::vector<std::string> Conditions;
    ProjectFile.GetGroupConditions(Conditions);
    ReserveKeysIn(Conditions);
    GetBaseConfiguration().Load(ProjectFile, ValuesCondition(BaseKey));
    std::vector<std::pair<TConditionInfo, std::string>> EventGroups = LoadDefinitions(ProjectFile, Conditions);

    std::string Value, Condition;
    if (!ProjectFile.GetGlobalProperty("Config", Value, Condition) || Value.empty())
      ProjectFile.GetGlobalProperty("Configuration", Value, Condition);
    FActiveCfg = Value;
    Value.clear();
    ProjectFile.GetGlobalProperty("Platform", Value, Condition);
    FActivePlatform = Value;
    LoadPlatformList(ProjectFile);
    LoadBuildEventGroups(ProjectFile, EventGroups);
  } catch (...) {
    FLoading = false;
    throw;
  }
  for (auto* C : GetGlobalConfigurations()) {
    C->ClearModified();
    for (auto* P : C->Platforms()) P->ClearModified();
    for (auto* L : C->GetLocalOverrides()) L->ClearModified();
  }
  FModified = FLoadChanged;
  FLoading = false;
  if (!FLoadMessages.empty()) Questions().ShowMessage(Join(FLoadMessages, "\n\n"));
}

std::vector<std::pair<TConditionInfo, std::string>> TBuildConfigurations::LoadDefinitions(
    IMSProjectFile& ProjectFile, const std::vector<std::string>& Conditions) {
  std::vector<TDefinition> Defs;
  std::vector<std::pair<TConditionInfo, std::string>> Others;
  for (const auto& Cond : Conditions) {
    if (Cond.empty()) continue;
    TConditionInfo Info = TConfigurationConditionParser::Parse(Cond);
    // A key is written as an element name: a group whose key cannot be one (a hand-written
    // '$(1fg_1)'!='') is no configuration of ours and stays as it is.
    if ((Info.Kind == ckDefinition || Info.Kind == ckPlatformDefinition) && !IsXmlName(Info.Key)) continue;
    switch (Info.Kind) {
      case ckDefinition:
      case ckPlatformDefinition:
      case ckOldStyleDefinition:
        Defs.push_back({Info, Cond, GroupProperty(ProjectFile, Cond, "CfgParent")});
        break;
      case ckLocalOverride:
      case ckBuildEvent:
      case ckLocalBuildEvent:
        Others.emplace_back(Info, Cond);
        break;
      default:
        break;
    }
  }

  // Ordinary definitions, parents first. A parent that is not defined, or a "CfgParent"
  // chain that comes back to itself, leaves the configuration under "Base". Chains are
  // followed without recursion, and parents found through an index: a project may hold a
  // chain of many thousands.
  std::unordered_map<std::string, size_t, CaseInsensitiveHash, CaseInsensitiveEqual> DefinitionOfKey;
  for (size_t I = 0; I < Defs.size(); ++I)
    if (Defs[I].Info.Kind == ckDefinition) DefinitionOfKey.try_emplace(Defs[I].Info.Key, I);
  auto ParentOf = [&](TDefinition& D) -> TDefinition* {
    if (D.CfgParent.empty() || SameText(D.CfgParent, D.Info.Key)) return nullptr;
    auto It = DefinitionOfKey.find(D.CfgParent);
    return It == DefinitionOfKey.end() ? nullptr : &Defs[It->second];
  };
  auto MakeOne = [&](TDefinition& D, TBuildConfiguration* Parent) -> TBuildConfiguration* {
    D.State = TDefinition::dsDone;
    if (!Parent) Parent = &GetBaseConfiguration();
    if (SameText(D.Info.Key, BaseKey)) return D.Config = &GetBaseConfiguration();
    if (TBuildConfiguration* Existing = GetConfigurationByKey(D.Info.Key)) return D.Config = Existing;
    if (GetConfiguration(D.Info.Name)) return nullptr;  // a second group of a name in use stays as it is
    D.Config = &MakeChild(*Parent, D.Info.Name, D.Info.Key);
    D.Config->Load(ProjectFile, ValuesCondition(D.Info.Key));
    return D.Config;
  };
  for (auto& First : Defs) {
    if (First.Info.Kind != ckDefinition || !First.Info.Platform.empty() || First.State != TDefinition::dsNew) continue;
    std::vector<TDefinition*> Chain;
    TDefinition* Stop = &First;
    while (Stop && Stop->State == TDefinition::dsNew) {
      Stop->State = TDefinition::dsVisiting;
      Chain.push_back(Stop);
      Stop = ParentOf(*Stop);
    }
    // Stop: none, one made before, or one of this chain again (a cycle: under "Base").
    TBuildConfiguration* Parent = Stop && Stop->State == TDefinition::dsDone ? Stop->Config : nullptr;
    for (size_t I = Chain.size(); I > 0; --I) Parent = MakeOne(*Chain[I - 1], Parent);
  }

  for (auto& D : Defs) {
    if (D.Info.Kind != ckPlatformDefinition && !(D.Info.Kind == ckDefinition && !D.Info.Platform.empty())) continue;
    // A platform the registry does not know: the group is left as it is.
    if (!PlatformManager().PlatformExists(D.Info.Platform)) continue;
    std::string ParentKey = D.Info.Kind == ckPlatformDefinition ? D.Info.ParentKey : D.CfgParent;
    TBuildConfiguration* Parent = GetConfigurationByKey(ParentKey.empty() ? D.CfgParent : ParentKey);
    if (!Parent && D.Info.Kind == ckDefinition) Parent = GetConfiguration(D.Info.Name);
    if (!Parent || !Parent->Platform().empty() || Parent->HasPlatformConfiguration(D.Info.Platform)) continue;
    TBuildConfiguration* Sub = Parent->GetPlatformConfiguration(D.Info.Platform, true);
    Sub->Load(ProjectFile, ValuesCondition(D.Info.Key));
    if (!SameText(Sub->Key(), D.Info.Key)) {
      // Written under a key of its own: the next save writes it under the key it has now.
      ForgetGroup(D.Condition);
      ForgetGroup(ValuesCondition(D.Info.Key));
      FLoadChanged = true;
    }
  }

  // Old-style definitions become configurations of the current form; their group is
  // replaced by the new groups on the next save.
  for (auto& D : Defs) {
    if (D.Info.Kind != ckOldStyleDefinition) continue;
    TBuildConfiguration* Target = GetConfiguration(D.Info.Name);
    if (!Target) {
      try {
        ValidName(D.Info.Name);
      } catch (const EInvalidName&) {
        continue;
      }
      Target = &MakeChild(GetBaseConfiguration(), D.Info.Name, NewKey());
    }
    if (!D.Info.Platform.empty() && PlatformManager().PlatformExists(D.Info.Platform))
      Target = Target->GetPlatformConfiguration(D.Info.Platform, true);
    TPropertyGroup Old(D.Info.Name);
    Old.Load(ProjectFile, D.Condition);
    Old.AssignTo(*Target, patPreserve);
    ForgetGroup(D.Condition);
    FLoadChanged = true;
  }

  std::vector<std::pair<TConditionInfo, std::string>> EventGroups;
  for (auto& [Info, Cond] : Others) {
    if (Info.Kind != ckLocalOverride) {
      EventGroups.emplace_back(Info, Cond);
      continue;
    }
    TBuildConfiguration* Config = GetConfigurationByKey(Info.Key);
    if (!Config) continue;
    TLocalOverride* Local = Config->SetLocalOverride(AbsoluteFromProject(Info.FileName));
    Local->SetStoredFilename(Info.FileName);
    Local->Load(ProjectFile, Cond);
  }
  return EventGroups;
}

static bool IsBuildEventProperty(const std::string& Name) {
  for (const char* Event : BuildEventNames)
    for (const char* Setting : {"", "ExecuteWhen", "CancelOnError", "IgnoreExitCode"})
      if (SameText(Name, std::string(Event) + Setting)) return true;
  return false;
}

// A group whose condition names a configuration and a platform (or a file) is a build-event
// group only when it holds build-event properties: hand-written and converted projects use
// that shape for groups of their own, which are left exactly as they stand. The events of a
// platform go to that platform's sub-configuration when there is one, else to the
// configuration itself when the platform is the active one (as they are written); no
// sub-configuration is made for them.
void TBuildConfigurations::LoadBuildEventGroups(IMSProjectFile& ProjectFile,
                                                const std::vector<std::pair<TConditionInfo, std::string>>& Groups) {
  for (const auto& [Info, Cond] : Groups) {
    TBuildConfiguration* Config = GetConfiguration(Info.Name);
    if (!Config || Config == FBaseConfiguration.get()) continue;
    TBuildConfiguration* Target = nullptr;
    if (Info.Kind == ckBuildEvent) {
      Target = Config->GetPlatformConfiguration(Info.Platform, false);
      if (!Target && SameText(Info.Platform, GetActivePlatform())) Target = Config;
    } else {
      std::string File = AbsoluteFromProject(Info.FileName);
      Target = Config->GetLocalOverride(File);
      if (!Target) {
        std::vector<std::string> Names;
        ProjectFile.GetGroupPropertyNames(Cond, Names);
        if (std::none_of(Names.begin(), Names.end(), IsBuildEventProperty)) continue;
        TLocalOverride* Local = Config->SetLocalOverride(File);
        Local->SetStoredFilename(Info.FileName);
        Target = Local;
      }
    }
    if (Target && Target->FEventGroupCondition.empty()) LoadBuildEvents(ProjectFile, Cond, *Target);
  }
}

bool TBuildConfigurations::LoadBuildEvents(IMSProjectFile& ProjectFile, const std::string& Condition,
                                           TBuildConfiguration& Target) {
  std::map<std::string, std::string, CaseInsensitiveLess> Props;
  bool Any = false;
  TFnReader Reader([&](const std::string& N, const std::string& V, const std::string&) {
    if (!IsBuildEventProperty(N)) return;
    Props[N] = V;
    Any = true;
  });
  ProjectFile.ReadPropertyGroup(Condition, Reader);
  if (!Any) return false;
  for (const char* Name : BuildEventNames) {
    std::string N = Name;
    TBuildEvent E{Props[N], Props[N + "ExecuteWhen"], Props[N + "CancelOnError"], Props[N + "IgnoreExitCode"]};
    if (!E.Command.empty()) Target.FBuildEvents[N] = E;
  }
  Target.FEventGroupCondition = Condition;
  FBuildEventGroups.push_back(Condition);
  return true;
}

void TBuildConfigurations::LoadPlatformList(IMSProjectFile& ProjectFile) {
  FPlatformList.Clear();
  msb::TProjectNode* Root = RootOf(ProjectFile);
  TNode* Section = Root ? Root->FindFirstChild(std::string("ProjectExtensions\\") + StorageSection + "\\" +
                                               PlatformsSection)
                        : nullptr;
  if (!Section) {
    FPlatformList.Add(FallbackPlatform);
    FActivePlatform = FallbackPlatform;
    return;
  }
  for (int I = 0; I < Section->Count(); ++I) {
    TNode* Node = Section->GetNode(I);
    std::string Name = Node->GetAttribute("value");
    if (!SameText(Node->GetName(), "Platform") || Name.empty() || FPlatformList.Contains(Name)) continue;
    TPlatformInfo& P = FPlatformList.Add(Name);
    P.Enabled = SameText(Trim(Node->GetValue()), "True");
    P.Profile = Node->GetAttribute("Profile");
    P.PlatformSDK = Node->GetAttribute("PlatformSDK");
    P.ActiveMobileDevice = Node->GetAttribute("ActiveMobileDevice");
  }
}

// ---- saving ---------------------------------------------------------------------------

TNode* TBuildConfigurations::PlaceGroup(IMSProjectFile& ProjectFile, const std::string& Condition, TNode* After) {
  msb::TProjectNode* Root = RootOf(ProjectFile);
  if (!Root) return nullptr;
  if (msb::TPropertyGroup* G = Root->GetPropertyGroup(Condition, false)) return G;
  // Without a neighbour the document puts a new group behind the last property group.
  return After ? Root->AddPropertyGroup(Condition, After) : nullptr;
}

static TNode* GroupNode(IMSProjectFile& ProjectFile, const std::string& Condition) {
  msb::TProjectNode* Root = RootOf(ProjectFile);
  return Root ? Root->GetPropertyGroup(Condition, false) : nullptr;
}

TNode* TBuildConfigurations::WriteDefinition(IMSProjectFile& ProjectFile, TBuildConfiguration& Config, TNode* After) {
  std::string Cond = Config.Platform().empty()
                         ? DefinitionCondition(Config.Name(), Config.Key())
                         : PlatformDefinitionCondition(Config.Platform(), Config.Parent()->Key(), Config.Key());
  PlaceGroup(ProjectFile, Cond, After);
  ProjectFile.ClearPropertyGroups(Cond);
  ProjectFile.BeginPropertyGroup(Cond);
  ProjectFile.WriteProperty(Config.Key(), "true", false, {});
  if (Config.Parent()) ProjectFile.WriteProperty("CfgParent", Config.Parent()->Key(), false, {});
  for (const auto& Key : Config.AncestorKeys()) ProjectFile.WriteProperty(Key, "true", false, {});
  ProjectFile.EndPropertyGroup();
  return GroupNode(ProjectFile, Cond);
}

void TBuildConfigurations::SaveTree(IMSProjectFile& ProjectFile, bool AsDefaults) {
  GetBaseConfiguration();
  FPlatformList.Sort();
  for (const auto& Cond : FStaleGroups) ProjectFile.RemovePropertyGroups(Cond);
  FStaleGroups.clear();

  // Depth first: a configuration, its platform sub-configurations, then its children.
  std::vector<TBuildConfiguration*> Order;
  std::function<void(TBuildConfiguration*)> Walk = [&](TBuildConfiguration* C) {
    Order.push_back(C);
    for (auto* P : C->Platforms()) Order.push_back(P);
    for (const auto& Child : C->Children()) Walk(Child.get());
  };
  Walk(FBaseConfiguration.get());

  TNode* After = nullptr;
  for (auto* C : Order) After = WriteDefinition(ProjectFile, *C, After);
  for (auto* C : Order) {
    C->FGroupCondition = ValuesCondition(C->Key());
    PlaceGroup(ProjectFile, C->FGroupCondition, After);
    if (AsDefaults)
      C->SaveAsDefaults(ProjectFile);
    else
      C->Save(ProjectFile);
    After = GroupNode(ProjectFile, C->FGroupCondition);
    for (auto* L : C->GetLocalOverrides()) {
      if (L->StoredFilename().empty()) L->SetStoredFilename(RelativeToProject(L->TargetFilename()));
      std::string Cond = LocalOverrideCondition(C->Key(), L->StoredFilename());
      if (!L->FGroupCondition.empty() && !SameConditionMeaning(L->FGroupCondition, Cond)) ProjectFile.RemovePropertyGroups(L->FGroupCondition);
      L->FGroupCondition = Cond;
      PlaceGroup(ProjectFile, Cond, After);
      L->Save(ProjectFile);
      After = GroupNode(ProjectFile, Cond);
    }
  }
}

void TBuildConfigurations::SaveImports(IMSProjectFile& ProjectFile) {
  std::vector<std::pair<std::string, std::string>> Wanted;
  for (auto* C : GetGlobalConfigurations()) {
    std::vector<TBuildConfiguration*> Levels{C};
    for (auto* P : C->Platforms()) Levels.push_back(P);
    for (auto* Level : Levels)
      for (const auto& Ref : Level->GetReferences())
        Wanted.emplace_back(Ref.StoredPath, ImportCondition(Level->Key(), Ref.StoredPath));
  }
  auto Has = [](const auto& List, const std::pair<std::string, std::string>& I) {
    return std::any_of(List.begin(), List.end(), [&](auto& W) {
      return SameFileName(W.first, I.first) && SameText(W.second, I.second);
    });
  };
  for (const auto& I : FImports)
    if (!Has(Wanted, I)) ProjectFile.RemoveImport(I.first, I.second);
  for (const auto& I : Wanted)
    if (!ProjectFile.HasImport(I.first, I.second)) ProjectFile.AddImport(I.first, I.second);
  FImports = Wanted;
}

void TBuildConfigurations::SaveProjectProperties(IMSProjectFile& ProjectFile) {
  ProjectFile.SetGlobalProperty("Base", "True", false, {});
  ProjectFile.SetGlobalProperty("Config", GetActiveConfiguration().Name(), false, "'$(Config)'==''");
  ProjectFile.SetGlobalProperty("Platform", FActivePlatform.empty() ? GetActivePlatform() : FActivePlatform, false,
                                "'$(Platform)'==''");
  if (!FProject) return;
  unsigned Targeted = 0;
  for (const auto& P : FPlatformList.Items())
    if (P.Enabled)
      if (auto Platform = PlatformManager().GetPlatform(P.Name)) Targeted |= Platform->GetId();
  ProjectFile.SetGlobalProperty("TargetedPlatforms", IntToStr(Targeted), false, {});
  for (const auto& P : FPlatformList.Items()) {
    std::string Cond = Format("'$(Platform)'=='%s'", P.Name);
    ProjectFile.SetGlobalProperty("Profile", P.Profile, false, Cond);
    ProjectFile.SetGlobalProperty("PlatformSDK", P.PlatformSDK, false, Cond);
  }
  ProjectFile.SetGlobalProperty("AppType", FProject->GetApplicationType(), false, {});
  ProjectFile.SetGlobalProperty("FrameworkType", FProject->GetFrameworkType(), false, {});
}

void TBuildConfigurations::SavePlatformList(IMSProjectFile& ProjectFile) {
  msb::TProjectNode* Root = RootOf(ProjectFile);
  if (!Root) return;
  TNode* Extensions = Root->GetProjectExtensions();
  TNode* Storage = Extensions->FindFirstChild(StorageSection);
  if (!Storage) Storage = Extensions->CreateChildNode(StorageSection);
  TNode* Old = Storage->FindFirstChild(PlatformsSection);
  int Position = Old ? Storage->RemoveNode(Old) : -1;
  TNode* Section = Storage->CreateChildNode(PlatformsSection);
  if (Position >= 0) Section->SetIndex(Position);
  for (const auto& P : FPlatformList.Items()) {
    TNode* Node = Section->CreateChildNode("Platform");
    Node->SetAttribute("value", P.Name);
    Node->SetAttribute("Profile", P.Profile);
    Node->SetAttribute("PlatformSDK", P.PlatformSDK);
    Node->SetAttribute("ActiveMobileDevice", P.ActiveMobileDevice);
    Node->SetValue(P.Enabled ? "True" : "False");
  }
}

// Writes the build-event properties of Source (none when null) into the group of Condition
// and changes nothing else of it; a group that holds nothing afterwards goes.
void TBuildConfigurations::WriteBuildEvents(IMSProjectFile& ProjectFile, const std::string& Condition,
                                            const TBuildConfiguration* Source) {
  bool HasEvents = Source && !Source->BuildEvents().empty();
  auto* Doc = dynamic_cast<TNativeMSBuildProject*>(&ProjectFile);
  std::vector<msb::TPropertyGroup*> Groups = Doc ? Doc->GroupsWith(Condition) : std::vector<msb::TPropertyGroup*>{};
  if (!HasEvents && Doc && Groups.empty()) return;
  ProjectFile.BeginPropertyGroup(Condition);
  for (const char* Name : BuildEventNames) {
    TBuildEvent E;
    if (HasEvents) {
      auto It = Source->BuildEvents().find(Name);
      if (It != Source->BuildEvents().end()) E = It->second;
    }
    std::string N = Name;
    ProjectFile.WriteProperty(N, E.Command, false, {});
    ProjectFile.WriteProperty(N + "ExecuteWhen", E.ExecuteWhen, false, {});
    ProjectFile.WriteProperty(N + "CancelOnError", E.CancelOnError, false, {});
    ProjectFile.WriteProperty(N + "IgnoreExitCode", E.IgnoreExitCode, false, {});
  }
  ProjectFile.EndPropertyGroup();
  if (Doc)
    for (msb::TPropertyGroup* G : Doc->GroupsWith(Condition))
      if (!G->HasChildren()) Doc->GetProjectNode()->RemoveNode(G);
}

void TBuildConfigurations::SaveBuildEvents(IMSProjectFile& ProjectFile) {
  std::vector<std::string> Written;
  auto Write = [&](TBuildConfiguration& C, const std::string& Cond) {
    // A group read from the file keeps its own spelling.
    std::string Spelled =
        !C.FEventGroupCondition.empty() && SameConditionMeaning(C.FEventGroupCondition, Cond) ? C.FEventGroupCondition : Cond;
    if (C.BuildEvents().empty() && C.FEventGroupCondition.empty()) return;
    WriteBuildEvents(ProjectFile, Spelled, &C);
    C.FEventGroupCondition = C.BuildEvents().empty() ? std::string() : Spelled;
    if (!C.BuildEvents().empty()) Written.push_back(Spelled);
  };
  for (auto* C : GetGlobalConfigurations()) {
    if (C == FBaseConfiguration.get()) continue;
    Write(*C, BuildEventCondition(C->Name(), GetActivePlatform()));
    for (auto* P : C->Platforms()) Write(*P, BuildEventCondition(C->Name(), P->Platform()));
    for (auto* L : C->GetLocalOverrides()) Write(*L, LocalBuildEventCondition(C->Name(), L->StoredFilename()));
  }
  // Groups read before whose events went elsewhere or away lose their event properties.
  for (const auto& Old : FBuildEventGroups)
    if (std::none_of(Written.begin(), Written.end(), [&](auto& W) { return SameConditionMeaning(W, Old); }))
      WriteBuildEvents(ProjectFile, Old, nullptr);
  FBuildEventGroups = Written;
}

void TBuildConfigurations::Save(IMSProjectFile& ProjectFile) {
  SaveTree(ProjectFile, false);
  SaveImports(ProjectFile);
  SaveProjectProperties(ProjectFile);
  SavePlatformList(ProjectFile);
  SaveBuildEvents(ProjectFile);
  FModified = false;
}

void TBuildConfigurations::SaveAsDefaults(IMSProjectFile& ProjectFile) {
  SaveTree(ProjectFile, true);
  SaveImports(ProjectFile);
}

}  // namespace nxs
