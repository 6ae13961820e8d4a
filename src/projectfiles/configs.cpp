#include "projectfiles/configs.h"

#include <algorithm>

#include "projectfiles/conditions.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/msbnodes.h"
#include "projectfiles/optionmgr.h"
#include "projectfiles/optionsets.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/resstrings.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs {

static constexpr const char* CfgDependentOn = "CfgDependentOn";
static constexpr const char* CDataOpen = "<![CDATA[";
static constexpr const char* CDataClose = "]]>";

// ---- TPropertyGroup -------------------------------------------------------------------

TPropertyGroup::TPropertyGroup(std::string Name) : FName(std::move(Name)) {}

const TPropData* TPropertyGroup::Find(const std::string& Name) const {
  auto It = FProperties.find(Name);
  return It == FProperties.end() ? nullptr : &It->second;
}

TPropData& TPropertyGroup::Entry(const std::string& Name) {
  auto [It, Added] = FProperties.try_emplace(Name);
  if (Added) It->second.LoadPosition = FNextPosition++;
  return It->second;
}

std::string TPropertyGroup::GetValue(const std::string& Name) const {
  const TPropData* D = Find(Name);
  return D ? D->Value : std::string();
}

void TPropertyGroup::SetValue(const std::string& Name, const std::string& Value) {
  if (Value.empty()) {
    if (!FProperties.erase(Name)) return;
  } else {
    auto It = FProperties.find(Name);
    if (It != FProperties.end() && It->second.Value == Value) return;
    Entry(Name).Value = Value;
  }
  FModified = true;
  ValueChanged(Name);
}

bool TPropertyGroup::HasValue(const std::string& Name) const { return Find(Name) != nullptr; }

std::string TPropertyGroup::GetCondition(const std::string& Name) const {
  const TPropData* D = Find(Name);
  return D ? D->Condition : std::string();
}

void TPropertyGroup::SetCondition(const std::string& Name, const std::string& Condition) {
  auto It = FProperties.find(Name);
  if (It == FProperties.end() || It->second.Condition == Condition) return;
  It->second.Condition = Condition;
  FModified = true;
}

bool TPropertyGroup::GetMerged(const std::string& Name) const {
  const TPropData* D = Find(Name);
  return D && D->Merged;
}

void TPropertyGroup::SetMerged(const std::string& Name, bool Merged) {
  auto It = FProperties.find(Name);
  if (It == FProperties.end() || It->second.Merged == Merged) return;
  It->second.Merged = Merged;
  FModified = true;
  ValueChanged(Name);
}

void TPropertyGroup::Remove(const std::string& Name) { SetValue(Name, {}); }

void TPropertyGroup::Rename(const std::string& NewName) {
  if (FName == NewName) return;
  FName = NewName;
  FModified = true;
}

void TPropertyGroup::WriteEmptyValue(const std::string& Name) {
  if (HasValue(Name)) return;
  Entry(Name);
  FModified = true;
}

std::vector<std::string> TPropertyGroup::GetPropertyNames() const {
  std::vector<std::pair<int, std::string>> Order;
  for (const auto& [Name, Data] : FProperties) Order.emplace_back(Data.LoadPosition, Name);
  std::sort(Order.begin(), Order.end());
  std::vector<std::string> R;
  for (auto& [Pos, Name] : Order) R.push_back(std::move(Name));
  return R;
}

void TPropertyGroup::Clear() {
  // What the file holds under other conditions goes too.
  std::erase_if(FStored, [](const TStoredProperty& P) { return !P.Owned; });
  if (FProperties.empty()) return;
  FProperties.clear();
  FModified = true;
}

namespace {
class TBagReader : public IPropertyReader {
 public:
  explicit TBagReader(std::function<void(const std::string&, const std::string&, const std::string&)> Fn)
      : FFn(std::move(Fn)) {}
  void ReadProperty(const std::string& Name, const std::string& Value, const std::string& Condition) override {
    FFn(Name, Value, Condition);
  }

 private:
  std::function<void(const std::string&, const std::string&, const std::string&)> FFn;
};

// Text with every "$(Name)" (without regard to case) replaced by Value.
std::string SubstituteOwn(const std::string& Text, const std::string& Name, const std::string& Value) {
  std::string Own = "$(" + Name + ")";
  std::string R;
  size_t Pos = 0;
  for (size_t Hit; (Hit = FindText(Text, Own, Pos)) != std::string::npos; Pos = Hit + Own.size()) {
    R.append(Text, Pos, Hit - Pos);
    R += Value;
  }
  R.append(Text, Pos, std::string::npos);
  return R;
}

bool SameEntry(const TPropData& A, const TPropData& B) {
  return A.Value == B.Value && A.Condition == B.Condition && A.Merged == B.Merged;
}

// Makes the properties of Group those of Want, in that order, reusing the property nodes
// that have the same name and condition (so that their identifiers stay) and changing only
// values that differ.
void SyncGroup(msb::TPropertyGroup& Group, const std::vector<const TPropertyGroup::TStoredProperty*>& Want) {
  std::vector<msb::TProperty*> Existing = Group.GetProperties();
  std::vector<bool> Used(Existing.size(), false);
  std::vector<TNode*> Order;
  for (const auto* W : Want) {
    msb::TProperty* Node = nullptr;
    for (size_t J = 0; J < Existing.size() && !Node; ++J)
      if (!Used[J] && SameText(Existing[J]->NameView(), W->Name) && Existing[J]->GetCondition() == W->Condition) {
        Used[J] = true;
        Node = Existing[J];
      }
    if (Node) {
      if (Node->ValueView() != W->Value) {
        if (Node->GetValueIsCData() && W->Value.rfind("<![CDATA[", 0) == 0) Node->SetValueIsCData(false);
        Node->SetValue(W->Value);
      }
    } else {
      Node = Group.AddProperty(W->Name, W->Condition, W->Value);
    }
    Order.push_back(Node);
  }
  for (size_t J = 0; J < Existing.size(); ++J)
    if (!Used[J]) Group.RemoveNode(Existing[J]);
  for (size_t I = 0; I < Order.size(); ++I)
    if (Order[I]->Index() != static_cast<int>(I)) Order[I]->SetIndex(static_cast<int>(I));
}
}  // namespace

void TPropertyGroup::Load(IMSProjectFile& ProjectFile, const std::string& GroupCondition) {
  FGroupCondition = GroupCondition;
  FStored.clear();
  int Group = 0;
  auto Read = [this, &Group](const std::string& N, const std::string& V, const std::string& C) {
    TStoredProperty Stored{Group, N, V, C, true};
    const TPropData* Old = Find(N);
    if (C.empty()) {
      // The build engine evaluates the properties in order: a later one replaces an earlier
      // one, and its "$(Name)" is the value so far.
      std::string Value = V;
      if (Old && Old->Condition.empty()) {
        Value = SubstituteOwn(V, N, StoredValue(N, *Old));
      } else if (Old) {
        for (auto& P : FStored)
          if (SameText(P.Name, N)) P.Owned = false;
      }
      ReadStoredProperty(N, Value, C);
    } else if (Old) {
      Stored.Owned = false;  // another condition beside the entry: kept as it stands
    } else {
      ReadStoredProperty(N, V, C);
    }
    FStored.push_back(std::move(Stored));
  };
  TBagReader Reader(Read);
  if (auto* Doc = dynamic_cast<TNativeMSBuildProject*>(&ProjectFile)) {
    for (msb::TPropertyGroup* G : Doc->GroupsWith(GroupCondition)) {
      for (msb::TProperty* P : G->GetProperties()) Read(P->GetName(), P->GetValue(), P->GetCondition());
      ++Group;
    }
  } else {
    ProjectFile.ReadPropertyGroup(GroupCondition, Reader);
  }
  FLoaded = FProperties;
}

void TPropertyGroup::ReadStoredProperty(const std::string& Name, const std::string& Value, const std::string& Condition) {
  TPropData& D = Entry(Name);
  D.Value = Value;
  D.Condition = Condition;
}

std::string TPropertyGroup::StoredValue(const std::string& Name, const TPropData& Data) const { return Data.Value; }

void TPropertyGroup::WriteGroups(IMSProjectFile& ProjectFile, const std::vector<TStoredProperty>& Extra) {
  auto Changed = [&](const std::string& Name) {
    const TPropData* Now = Find(Name);
    auto Was = FLoaded.find(Name);
    return !Now || Was == FLoaded.end() || !SameEntry(*Now, Was->second);
  };
  // What each group is to hold, in order.
  std::vector<TStoredProperty> Written;
  std::unordered_map<std::string, bool, CaseInsensitiveHash, CaseInsensitiveEqual> Placed;
  for (const auto& P : FStored) {
    if (!P.Owned || !Changed(P.Name)) {
      Written.push_back(P);
      if (P.Owned) Placed[P.Name] = true;
      continue;
    }
    const TPropData* Now = Find(P.Name);
    if (!Now || Placed[P.Name]) continue;
    Placed[P.Name] = true;
    Written.push_back({P.Group, P.Name, StoredValue(P.Name, *Now), Now->Condition, true});
  }
  std::vector<TStoredProperty> New;
  for (const auto& Name : GetPropertyNames())
    if (!Placed[Name]) {
      const TPropData& D = FProperties.at(Name);
      New.push_back({0, Name, StoredValue(Name, D), D.Condition, true});
    }
  New.insert(New.end(), Extra.begin(), Extra.end());
  // New entries go behind the last property of the first group.
  auto At = std::find_if(Written.begin(), Written.end(), [](const TStoredProperty& P) { return P.Group > 0; });
  Written.insert(At, New.begin(), New.end());

  auto* Doc = dynamic_cast<TNativeMSBuildProject*>(&ProjectFile);
  if (!Doc) {
    ProjectFile.ClearPropertyGroups(FGroupCondition);
    ProjectFile.BeginPropertyGroup(FGroupCondition);
    for (const auto& P : Written) ProjectFile.WriteProperty(P.Name, P.Value, true, P.Condition);
    ProjectFile.EndPropertyGroup();
  } else {
    std::vector<msb::TPropertyGroup*> Groups = Doc->GroupsWith(FGroupCondition);
    if (Groups.empty()) {
      ProjectFile.BeginPropertyGroup(FGroupCondition);
      ProjectFile.EndPropertyGroup();
      Groups = Doc->GroupsWith(FGroupCondition);
    }
    std::vector<std::vector<const TStoredProperty*>> Want(Groups.size());
    for (auto& P : Written) {
      P.Group = std::min(P.Group, static_cast<int>(Groups.size()) - 1);
      Want[static_cast<size_t>(P.Group)].push_back(&P);
    }
    for (size_t G = 0; G < Groups.size(); ++G) SyncGroup(*Groups[G], Want[G]);
  }
  FStored = std::move(Written);
  FLoaded = FProperties;
}

void TPropertyGroup::Save(IMSProjectFile& ProjectFile) {
  WriteGroups(ProjectFile, {});
  FModified = false;
}

void TPropertyGroup::AssignTo(TPropertyGroup& Target, TPropertyAssignType AssignType) const {
  if (AssignType == patReplaceAll) Target.Clear();
  for (const auto& Name : GetPropertyNames()) {
    if (AssignType == patPreserve && Target.HasValue(Name)) continue;
    const TPropData& D = FProperties.at(Name);
    TPropData& T = Target.Entry(Name);
    T.Value = D.Value;
    T.Condition = D.Condition;
    T.Merged = D.Merged;
    Target.FModified = true;
    Target.ValueChanged(Name);
  }
}

// ---- TBuildConfiguration --------------------------------------------------------------

TBuildConfiguration::TBuildConfiguration(TBuildConfigurations* Owner, std::string Name, std::string Key,
                                         TBuildConfiguration* Parent)
    : TPropertyGroup(std::move(Name)), FParent(Parent), FKey(std::move(Key)), FOwner(Owner) {}

TBuildConfiguration::~TBuildConfiguration() {
  // The descendants go one by one, without recursion: a chain of configurations may be long.
  std::vector<std::unique_ptr<TBuildConfiguration>> Pending = std::move(FChildren);
  while (!Pending.empty()) {
    std::unique_ptr<TBuildConfiguration> C = std::move(Pending.back());
    Pending.pop_back();
    for (auto& Child : C->FChildren) Pending.push_back(std::move(Child));
    C->FChildren.clear();
  }
}

bool TBuildConfiguration::IsLocalOverride() const { return dynamic_cast<const TLocalOverride*>(this) != nullptr; }

std::vector<TPlatformConfiguration*> TBuildConfiguration::Platforms() const {
  std::vector<TPlatformConfiguration*> R;
  for (const auto& [Name, P] : FPlatforms) R.push_back(P.get());
  return R;
}

TPlatformConfiguration* TBuildConfiguration::GetPlatformConfiguration(const std::string& Platform, bool Create) {
  auto It = FPlatforms.find(Platform);
  if (It != FPlatforms.end()) return It->second.get();
  if (!Create || !FPlatform.empty() || IsLocalOverride()) return nullptr;
  auto P = std::make_unique<TPlatformConfiguration>(FOwner, this, Platform);
  TPlatformConfiguration* Raw = P.get();
  FPlatforms[Platform] = std::move(P);
  if (FOwner) FOwner->Register(*Raw);
  return Raw;
}

bool TBuildConfiguration::HasPlatformConfiguration(const std::string& Platform) const {
  return FPlatforms.count(Platform) != 0;
}

TLocalOverride* TBuildConfiguration::GetLocalOverride(const std::string& FileName) const {
  for (const auto& L : FLocals)
    if (SameFileName(L->TargetFilename(), FileName)) return L.get();
  return nullptr;
}

std::vector<TLocalOverride*> TBuildConfiguration::GetLocalOverrides() const {
  std::vector<TLocalOverride*> R;
  for (const auto& L : FLocals) R.push_back(L.get());
  std::sort(R.begin(), R.end(), [](auto* A, auto* B) {
    return CompareFileNames(A->TargetFilename(), B->TargetFilename()) < 0;
  });
  return R;
}

TLocalOverride* TBuildConfiguration::SetLocalOverride(const std::string& FileName) {
  if (TLocalOverride* L = GetLocalOverride(FileName)) return L;
  FLocals.push_back(std::make_unique<TLocalOverride>(FOwner, this, FileName));
  if (FOwner) FOwner->MarkModified();
  return FLocals.back().get();
}

void TBuildConfiguration::RemoveOverride(const std::string& FileName) {
  auto It = std::find_if(FLocals.begin(), FLocals.end(),
                         [&](auto& L) { return SameFileName(L->TargetFilename(), FileName); });
  if (It == FLocals.end()) return;
  if (FOwner) {
    FOwner->ForgetGroup((*It)->GroupCondition());
    FOwner->MarkModified();
  }
  FLocals.erase(It);
}

// -- values --

static const TProjectOption* OptionOf(const std::string& Name) { return OptionManager().GetOption(Name); }

static char DelimiterOf(const TProjectOption* Option) {
  const IOTAListArgument* L = Option ? Option->ListArgument() : nullptr;
  return L ? L->ValueDelimiter() : ';';
}

static bool MergesLists(const TProjectOption* Option) {
  const IOTAListArgument* L = Option ? Option->ListArgument() : nullptr;
  return L && L->AllowsMerging();
}

const TBuildConfiguration* TBuildConfiguration::NextLevel(const std::string& Platform) const {
  if (!FParent) return nullptr;
  // A platform sub-configuration's next level is its configuration itself.
  if (!FPlatform.empty()) return FParent;
  if (!Platform.empty()) {
    auto It = FParent->FPlatforms.find(Platform);
    if (It != FParent->FPlatforms.end()) return It->second.get();
  }
  return FParent;
}

// The climb through the levels, without recursion (a chain of configurations may be long):
// the first level with its own value gives it; a merged list value goes on to the next
// levels and ends with the first unmerged value, an option set's value, or the option's
// default. With Own false the walk starts above this configuration's own entry.
std::string TBuildConfiguration::Walk(const std::string& Name, const std::string& Platform,
                                      const TProjectOption* Option, bool Own) const {
  std::string Result;
  bool Merging = false;
  auto Add = [&](const std::string& V) {
    if (Merging) Result += DelimiterOf(Option);
    Result += V;
  };
  for (const TBuildConfiguration* Level = this; Level; Level = Level->NextLevel(Platform), Own = true) {
    const TPropData* D = Own ? Level->Find(Name) : nullptr;
    if (D && !D->Value.empty()) {
      Add(D->Value);
      if (!D->Merged || !MergesLists(Option)) return Result;
      Merging = true;
    }
    for (const auto& Ref : Level->FOptionSets) {
      std::string V = Ref.OptionSet->TPropertyGroup::GetValue(Name);
      if (!V.empty()) {
        Add(V);
        return Result;
      }
    }
    if (Level->IsLocalOverride() && Option && Option->LocalPreventMerge()) break;
  }
  if (Merging && !Option->DefaultValue().empty()) Add(Option->DefaultValue());
  return Result;
}

std::string TBuildConfiguration::LookupInherited(const std::string& Name, const std::string& Platform,
                                                 const TProjectOption* Option) const {
  return Walk(Name, Platform, Option, false);
}

std::string TBuildConfiguration::Lookup(const std::string& Name, const std::string& Platform,
                                        const TProjectOption* Option) const {
  return Walk(Name, Platform, Option, true);
}

std::string TBuildConfiguration::GetPlatformValue(const std::string& Name, const std::string& Platform) const {
  // For a configuration and a platform the lookup starts at the sub-configuration.
  if (FPlatform.empty() && !Platform.empty() && !IsLocalOverride()) {
    auto It = FPlatforms.find(Platform);
    if (It != FPlatforms.end()) return It->second->GetPlatformValue(Name, Platform);
  }
  const TProjectOption* Option = OptionOf(Name);
  std::string V = Lookup(Name, Platform, Option);
  if (V.empty() && Option) V = Option->DefaultValue();
  return V;
}

std::string TBuildConfiguration::GetValue(const std::string& Name, bool Inherited) const {
  if (!Inherited) return TPropertyGroup::GetValue(Name);
  return GetPlatformValue(Name, GetEffectivePlatform());
}

std::string TBuildConfiguration::GetInheritedValue(const std::string& Name) const {
  const TProjectOption* Option = OptionOf(Name);
  std::string V = LookupInherited(Name, GetEffectivePlatform(), Option);
  if (V.empty() && Option) V = Option->DefaultValue();
  return V;
}

static std::vector<std::string> SplitValues(const std::string& Text, char Delimiter) {
  std::vector<std::string> R;
  if (Text.empty()) return R;
  for (auto& Part : Split(Text, Delimiter))
    if (!Part.empty()) R.push_back(std::move(Part));
  return R;
}

static void RequireList(const std::string& Name, const TProjectOption* Option) {
  if (Option && !Option->ListArgument()) throw ERequiresListArgument(Format(res::SRequiresListArgument, Name));
}

std::vector<std::string> TBuildConfiguration::GetValues(const std::string& Name, bool Inherited) const {
  const TProjectOption* Option = OptionOf(Name);
  RequireList(Name, Option);
  return SplitValues(GetValue(Name, Inherited), DelimiterOf(Option));
}

std::vector<std::string> TBuildConfiguration::GetInheritedValues(const std::string& Name) const {
  const TProjectOption* Option = OptionOf(Name);
  RequireList(Name, Option);
  return SplitValues(GetInheritedValue(Name), DelimiterOf(Option));
}

void TBuildConfiguration::SetValues(const std::string& Name, const std::vector<std::string>& Values) {
  const TProjectOption* Option = OptionOf(Name);
  RequireList(Name, Option);
  SetValue(Name, Join(Values, std::string(1, DelimiterOf(Option))));
}

void TBuildConfiguration::InsertValues(const std::string& Name, const std::vector<std::string>& Values, int Index) {
  std::vector<std::string> Own = GetValues(Name, false);
  size_t At = Index < 0 || static_cast<size_t>(Index) > Own.size() ? Own.size() : static_cast<size_t>(Index);
  Own.insert(Own.begin() + static_cast<long>(At), Values.begin(), Values.end());
  SetValues(Name, Own);
}

void TBuildConfiguration::RemoveValues(const std::string& Name, const std::vector<std::string>& Values) {
  std::vector<std::string> Own = GetValues(Name, false);
  std::erase_if(Own, [&](const std::string& V) {
    return std::any_of(Values.begin(), Values.end(), [&](const std::string& X) { return SameText(X, V); });
  });
  SetValues(Name, Own);
}

void TBuildConfiguration::SetListValue(const std::string& Name, const std::string& Value, bool Merged) {
  const TProjectOption* Option = OptionOf(Name);
  if (Merged) {
    if (!Option || !Option->ListArgument()) throw ERequiresListArgument(Format(res::SRequiresListArgument, Name));
    if (!MergesLists(Option)) throw EMergeNotAllowed(Format(res::SMergeNotAllowed, Name));
  }
  SetValue(Name, Value);
  if (!Value.empty()) SetMerged(Name, Merged);
}

bool TBuildConfiguration::ParentHasValue(const std::string& Name) const {
  return !LookupInherited(Name, GetEffectivePlatform(), OptionOf(Name)).empty();
}

bool TBuildConfiguration::ContainsValue(const std::string& Name, const std::string& Value) const {
  auto Values = SplitValues(GetValue(Name), DelimiterOf(OptionOf(Name)));
  return std::any_of(Values.begin(), Values.end(), [&](const std::string& V) { return SameText(V, Value); });
}

bool TBuildConfiguration::IsOverride(const std::string& Name) const {
  return !TPropertyGroup::GetValue(Name).empty() && ParentHasValue(Name);
}

bool TBuildConfiguration::GetBoolean(const std::string& Name) const { return SameText(GetValue(Name), "true"); }

void TBuildConfiguration::SetBoolean(const std::string& Name, bool Value) { SetValue(Name, Value ? "true" : "false"); }

int64_t TBuildConfiguration::GetInteger(const std::string& Name) const {
  std::string V = GetValue(Name);
  if (V.empty()) return 0;
  auto N = TryStrToInt(V);
  if (!N) throw EInvalidOptionValue(Format(res::SInvalidOptionValue, Name, Format(res::SNotAnInteger, V)));
  return *N;
}

void TBuildConfiguration::SetInt(const std::string& Name, int64_t Value) { SetValue(Name, IntToStr(Value)); }

void TBuildConfiguration::ValueChanged(const std::string& Name) {
  if (FOwner) FOwner->OptionValueChanged(*this, Name);
}

// -- stored form of list and CDATA values --

static std::string UnwrapCData(const std::string& V) {
  if (V.size() >= 12 && V.rfind(CDataOpen, 0) == 0 && V.compare(V.size() - 3, 3, CDataClose) == 0) {
    std::string Inner = V.substr(9, V.size() - 12);
    if (Inner.find(CDataClose) == std::string::npos) return Inner;
  }
  return V;
}

void TBuildConfiguration::ReadStoredProperty(const std::string& Name, const std::string& Value,
                                             const std::string& Condition) {
  const TProjectOption* Option = OptionOf(Name);
  std::string V = Value;
  bool Merged = false;
  if (Option && Option->Argument()->ValueIsCDATA()) V = UnwrapCData(V);
  if (MergesLists(Option)) {
    char Delim = DelimiterOf(Option);
    std::vector<std::string> Parts = Split(V, Delim);
    std::string Own = "$(" + Name + ")";
    for (size_t I = Parts.size(); I > 0; --I)
      if (SameText(Trim(Parts[I - 1]), Own)) {
        Parts.erase(Parts.begin() + static_cast<long>(I - 1));
        Merged = true;
        break;
      }
    if (Merged) V = Join(Parts, std::string(1, Delim));
  }
  TPropData& D = Entry(Name);
  D.Value = V;
  D.Condition = Condition;
  D.Merged = Merged;
  if (Option && FOwner && FOwner->Options().CheckValuesOnLoad) {
    std::string Problem = Option->CheckValue(V);
    if (!Problem.empty()) FOwner->FLoadMessages.push_back(Format(res::SInvalidOptionValue, Name, Problem));
  }
}

std::string TBuildConfiguration::StoredValue(const std::string& Name, const TPropData& Data) const {
  const TProjectOption* Option = OptionOf(Name);
  std::string V = Data.Value;
  if (Data.Merged && MergesLists(Option)) {
    std::string Own = "$(" + Name + ")";
    V = V.empty() ? Own : V + DelimiterOf(Option) + Own;
  }
  bool AsCData = Option && Option->Argument()->ValueIsCDATA() && !V.empty();
  // The writer passes a text that starts like a CDATA section through unchanged; such a
  // value is only safe inside a real section.
  if (V.rfind(CDataOpen, 0) == 0) AsCData = true;
  if (AsCData && V.find(CDataClose) == std::string::npos) return Format("<![CDATA[%s]]>", V);
  return V;
}

// -- option sets --

void TBuildConfiguration::AddReference(std::shared_ptr<TNamedOptionSet> OptionSet, int Index,
                                       const std::string& StoredPath) {
  if (!OptionSet || HasReference(OptionSet->GetFilename())) return;
  TOptionSetReference Ref{OptionSet, StoredPath};
  if (Ref.StoredPath.empty())
    Ref.StoredPath = FOwner ? FOwner->RelativeToProject(OptionSet->GetFilename()) : OptionSet->GetFilename();
  size_t At = Index < 0 || static_cast<size_t>(Index) > FOptionSets.size() ? FOptionSets.size() : static_cast<size_t>(Index);
  FOptionSets.insert(FOptionSets.begin() + static_cast<long>(At), std::move(Ref));
  FModified = true;
  if (FOwner && !FOwner->Loading()) FOwner->MarkModified();
}

bool TBuildConfiguration::RemoveReference(const TNamedOptionSet& OptionSet, bool Confirm) {
  int I = OptionSetIndex(OptionSet.GetFilename());
  if (I < 0) return false;
  if (Confirm &&
      Questions().MessageDlg(Format(res::SRemoveReference, ExtractFileName(OptionSet.GetFilename())),
                             TMsgDlgType::mtConfirmation, mbYes | mbNo, mrYes) != mrYes)
    return false;
  FOptionSets.erase(FOptionSets.begin() + I);
  FModified = true;
  if (FOwner) FOwner->MarkModified();
  return true;
}

int TBuildConfiguration::OptionSetIndex(const std::string& FileName) const {
  for (size_t I = 0; I < FOptionSets.size(); ++I)
    if (SameFileName(FOptionSets[I].OptionSet->GetFilename(), FileName)) return static_cast<int>(I);
  return -1;
}

bool TBuildConfiguration::HasReference(const std::string& FileName) const { return OptionSetIndex(FileName) >= 0; }

std::vector<std::shared_ptr<TNamedOptionSet>> TBuildConfiguration::GetOptionSets() const {
  std::vector<std::shared_ptr<TNamedOptionSet>> R;
  for (const auto& Ref : FOptionSets) R.push_back(Ref.OptionSet);
  return R;
}

void TBuildConfiguration::LoadReferences(IMSProjectFile& ProjectFile) {
  std::string List = TPropertyGroup::GetValue(CfgDependentOn);
  if (!HasValue(CfgDependentOn)) return;
  FProperties.erase(CfgDependentOn);
  if (!FOwner) return;
  for (auto& Part : Split(List, ';')) {
    std::string Stored = Trim(Part);
    if (Stored.empty()) continue;
    // The import the file holds for the reference; the save drops it with the reference.
    FOwner->FImports.emplace_back(Stored, FOwner->ImportCondition(FKey, Stored));
    try {
      AddReference(FOwner->OpenOptionSet(FOwner->AbsoluteFromProject(Stored)), -1, Stored);
    } catch (const Exception& E) {
      std::string Project = FOwner->Project() ? ExtractFileName(FOwner->Project()->GetFileName()) : std::string();
      FOwner->FLoadMessages.push_back(Format(res::SOptionSetNotLoaded, Stored, Project) + "\n" + res::SErrorMessage +
                                      ": " + E.Message());
      // The reference is gone: the next save drops its import and its entry.
      FOwner->FLoadChanged = true;
    }
  }
}

// -- temporary values --

std::string TBuildConfiguration::GetTempValue(const std::string& Name) const {
  auto It = FTemproraryValues.find(Name);
  return It == FTemproraryValues.end() ? std::string() : It->second;
}

void TBuildConfiguration::SetTempValue(const std::string& Name, const std::string& Value) {
  if (GetTempValue(Name) == Value) return;
  if (Value.empty())
    FTemproraryValues.erase(Name);
  else
    FTemproraryValues[Name] = Value;
  auto Listeners = FTemproraryValuesListeners;
  for (auto& [Owner, Fn] : Listeners) Fn(*this, Name);
}

void TBuildConfiguration::CleanAllTempValues() {
  std::vector<std::string> Names;
  for (const auto& [N, V] : FTemproraryValues) Names.push_back(N);
  for (const auto& N : Names) SetTempValue(N, {});
}

void TBuildConfiguration::AddTempNotifer(const void* Owner, TTempListener Listener) {
  RemoveTempNotifer(Owner);
  FTemproraryValuesListeners.emplace_back(Owner, std::move(Listener));
}

void TBuildConfiguration::RemoveTempNotifer(const void* Owner) {
  std::erase_if(FTemproraryValuesListeners, [&](auto& L) { return L.first == Owner; });
}

void TBuildConfiguration::SetBuildEvent(const std::string& EventName, const TBuildEvent& Event) {
  auto It = FBuildEvents.find(EventName);
  if (Event.Command.empty()) {
    if (It == FBuildEvents.end()) return;
    FBuildEvents.erase(It);
  } else {
    if (It != FBuildEvents.end() && It->second == Event) return;
    FBuildEvents[EventName] = Event;
  }
  if (FOwner) FOwner->MarkModified();
}

// -- tree --

TBuildConfiguration* TBuildConfiguration::AdoptChild(std::unique_ptr<TBuildConfiguration> Child) {
  Child->FParent = this;
  FChildren.push_back(std::move(Child));
  return FChildren.back().get();
}

std::unique_ptr<TBuildConfiguration> TBuildConfiguration::ReleaseChild(TBuildConfiguration* Child) {
  auto It = std::find_if(FChildren.begin(), FChildren.end(), [&](auto& C) { return C.get() == Child; });
  if (It == FChildren.end()) return nullptr;
  std::unique_ptr<TBuildConfiguration> R = std::move(*It);
  FChildren.erase(It);
  return R;
}

void TBuildConfiguration::Delete() {
  if (FOwner) FOwner->Remove(*this, false);
}

void TBuildConfiguration::DeleteChildren() {
  while (!FChildren.empty()) FChildren.back()->Delete();
}

void TBuildConfiguration::EmptyChildren() {
  for (auto& C : FChildren) {
    C->Clear();
    C->EmptyChildren();
  }
}

std::vector<std::string> TBuildConfiguration::AncestorKeys() const {
  std::vector<std::string> R;
  for (const TBuildConfiguration* A = FParent; A; A = A->FParent) R.push_back(A->FKey);
  return R;
}

void TBuildConfiguration::Load(IMSProjectFile& ProjectFile, const std::string& Condition) {
  TPropertyGroup::Load(ProjectFile, Condition);
  LoadReferences(ProjectFile);
  FModified = false;
}

void TBuildConfiguration::Save(IMSProjectFile& ProjectFile) {
  std::vector<TStoredProperty> Extra;
  if (!FOptionSets.empty()) {
    std::vector<std::string> Paths;
    for (const auto& Ref : FOptionSets) Paths.push_back(Ref.StoredPath);
    Extra.push_back({0, CfgDependentOn, Join(Paths, ";"), {}, true});
  }
  // The references are written from the list: their property is no stored entry.
  std::erase_if(FStored, [](const TStoredProperty& P) { return SameText(P.Name, CfgDependentOn); });
  WriteGroups(ProjectFile, Extra);
  std::erase_if(FStored, [](const TStoredProperty& P) { return SameText(P.Name, CfgDependentOn); });
  FModified = false;
}

void TBuildConfiguration::SaveAsDefaults(IMSProjectFile& ProjectFile) {
  FSaveToDefaults = true;
  Save(ProjectFile);
  FSaveToDefaults = false;
}

// ---- sub-configurations ---------------------------------------------------------------

TPlatformConfiguration::TPlatformConfiguration(TBuildConfigurations* Owner, TBuildConfiguration* Parent,
                                               const std::string& Platform)
    : TBuildConfiguration(Owner, Parent->Name(), Parent->Key() + "_" + Platform, Parent) {
  FPlatform = Platform;
  FGroupCondition = ValuesCondition(FKey);
}

std::string TPlatformConfiguration::Name() const { return FParent->Name(); }

TLocalOverride::TLocalOverride(TBuildConfigurations* Owner, TBuildConfiguration* Parent, std::string TargetFilename)
    : TBuildConfiguration(Owner, Parent->Name(), Parent->Key(), Parent), FTargetFilename(std::move(TargetFilename)) {}

std::string TLocalOverride::Name() const { return FParent->Name(); }

}  // namespace nxs
